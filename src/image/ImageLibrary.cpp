#include "image/ImageLibrary.hpp"

#include <dlfcn.h>

template <typename Function>
static bool resolve(void *handle, const char *name, Function &target) {
    target = reinterpret_cast<Function>(dlsym(handle, name));
    return target != nullptr;
}

bool bindImageLibrary(ImageLibrary &library) {
    library = ImageLibrary{};
    // The executable's RUNPATH ($ORIGIN first) makes dlopen look beside it.
    void *handle = dlopen(kImageModuleName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return false;
    ImageLibrary bound;
    bound.handle = handle;
    bool ok = resolve(handle, "CXI_LoadImage", bound.loadImage) &&
              resolve(handle, "CXI_SaveImage", bound.saveImage) &&
              resolve(handle, "CXI_FreeImage", bound.freeImage) &&
              resolve(handle, "CXI_GetBits", bound.getBits) &&
              resolve(handle, "CXI_GetWidth", bound.getWidth) &&
              resolve(handle, "CXI_GetHeight", bound.getHeight) &&
              resolve(handle, "CXI_GetBpp", bound.getBpp) &&
              resolve(handle, "CXI_GetPaletteSize", bound.getPaletteSize) &&
              resolve(handle, "CXI_GetPalette", bound.getPalette) &&
              resolve(handle, "CXI_Resize", bound.resize);
    if (!ok) {
        dlclose(handle);
        return false;
    }
    library = bound;
    return true;
}

bool imageLibraryReady(const ImageLibrary &library) {
    return library.handle != nullptr && library.loadImage && library.saveImage &&
           library.freeImage && library.getBits && library.getWidth && library.getHeight &&
           library.getBpp && library.getPaletteSize && library.getPalette && library.resize;
}
