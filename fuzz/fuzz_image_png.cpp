// libFuzzer target: Loads the input as a PNG file (its signature forced) and
// resizes what loads.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkImageFormat(ImageFormat::Png, data, size));
}
