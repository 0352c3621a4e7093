// libFuzzer target: Reads the input, split at NUL bytes, as a command line.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkCommandLine(data, size));
}
