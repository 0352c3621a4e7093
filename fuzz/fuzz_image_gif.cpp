// libFuzzer target: Loads the input as a GIF file (its signature forced) and
// resizes what loads.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkImageFormat(ImageFormat::Gif, data, size));
}
