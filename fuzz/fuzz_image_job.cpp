// libFuzzer target: Runs the image job on a PNG and options made from the input.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkImageJob(data, size));
}
