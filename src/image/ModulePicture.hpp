// A picture decoded by the image module, held until the program has its own
// padded copy.
#pragma once

#include "image/ImageLibrary.hpp"
#include "image/WorkImage.hpp"

#include <memory>
#include <string>

struct ModuleImageRelease {
    decltype(&CXI_FreeImage) freeImage = nullptr;
    void operator()(MorvikImage *image) const {
        if (freeImage != nullptr)
            freeImage(image);
    }
};

using ModuleImage = std::unique_ptr<MorvikImage, ModuleImageRelease>;

// Decodes the file; null when the module cannot.
ModuleImage loadModuleImage(const ImageLibrary &library, const std::string &fileName);

// The module's own words on its last failed load, or null when it has none.
const char *lastModuleError(const ImageLibrary &library);

// The module's pixels as they are now (after any resize).
PictureView viewOfModuleImage(const ImageLibrary &library, MorvikImage *image);

// The palette of an 8-bit picture, blue, green, red; entries past the module's
// entry count, and every entry of a picture without a palette, are zero.
Palette modulePalette(const ImageLibrary &library, MorvikImage *image);
