// The plain reference codec for the fuzz checks, in its own translation unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

std::vector<uint8_t> referenceEncode(const uint8_t *data, size_t size, int dictSize, int threshold);
std::vector<uint8_t> referenceDecode(const uint8_t *stream, size_t size, int dictSize,
                                     int threshold);
