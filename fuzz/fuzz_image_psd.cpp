// libFuzzer target: Loads the input as a PSD file (its signature forced) and
// resizes what loads.
#include "FuzzTarget.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return stopOnFailure(checkImageFormat(ImageFormat::Psd, data, size));
}
