// libFuzzer target: Encodes and decodes the input with the settings its first byte picks.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkLzssRoundTrip(data, size));
}
