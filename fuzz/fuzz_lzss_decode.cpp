// libFuzzer target: Decodes a stream with the dictionary size and threshold its first byte picks.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkLzssDecode(data, size));
}
