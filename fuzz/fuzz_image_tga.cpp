// libFuzzer target: Loads the input as a TGA file (its colour map type made 0 or 1) and
// resizes what loads.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkImageFormat(ImageFormat::Tga, data, size));
}
