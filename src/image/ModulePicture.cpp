#include "image/ModulePicture.hpp"

#include <algorithm>
#include <cstring>

ModuleImage loadModuleImage(const ImageLibrary &library, const std::string &fileName) {
    return ModuleImage(library.loadImage(fileName.c_str(), 1, 0, 0),
                       ModuleImageRelease{library.freeImage});
}

const char *lastModuleError(const ImageLibrary &library) {
    return library.lastError != nullptr ? library.lastError() : nullptr;
}

PictureView viewOfModuleImage(const ImageLibrary &library, MorvikImage *image) {
    return {library.getWidth(image), library.getHeight(image), library.getBpp(image),
            library.getBits(image)};
}

Palette modulePalette(const ImageLibrary &library, MorvikImage *image) {
    Palette palette{};
    if (image == nullptr || library.getBpp(image) != 8)
        return palette;
    const uint8_t *entries = library.getPalette(image);
    if (entries == nullptr)
        return palette;
    const int32_t count = std::clamp(library.getPaletteSize(image) / 4, 0, 256);
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(palette.data() + 3 * i, entries + 4 * i, 3);
    return palette;
}
