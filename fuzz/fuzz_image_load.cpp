// libFuzzer target: Loads the input as an image file and resizes what loads.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkImageLoad(data, size));
}
