// The plain reference codec behind out-of-line calls, so that the fuzz build can
// compile it without coverage feedback: the fuzzer should explore our codec, and
// instrumenting the slow reference as well cost most of each run.
#include "fuzz/ReferenceCodec.hpp"

#include "lzss/LzssReference.hpp"

std::vector<uint8_t> referenceEncode(const uint8_t *data, size_t size, int dictSize,
                                     int threshold) {
    return lzssReferenceEncode(data, size, dictSize, threshold);
}

std::vector<uint8_t> referenceDecode(const uint8_t *stream, size_t size, int dictSize,
                                     int threshold) {
    return lzssReferenceDecode(stream, size, dictSize, threshold);
}
