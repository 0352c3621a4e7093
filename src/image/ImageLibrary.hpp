// Binding of the image module, loaded at start with dlopen.
#pragma once

#include "morvik_image.h"

constexpr const char *kImageModuleName = "libmorvik-image.so";

struct ImageLibrary {
    void *handle = nullptr;
    decltype(&CXI_LoadImage) loadImage = nullptr;
    decltype(&CXI_SaveImage) saveImage = nullptr;
    decltype(&CXI_FreeImage) freeImage = nullptr;
    decltype(&CXI_GetBits) getBits = nullptr;
    decltype(&CXI_GetWidth) getWidth = nullptr;
    decltype(&CXI_GetHeight) getHeight = nullptr;
    decltype(&CXI_GetBpp) getBpp = nullptr;
    decltype(&CXI_GetPaletteSize) getPaletteSize = nullptr;
    decltype(&CXI_GetPalette) getPalette = nullptr;
    decltype(&CXI_Resize) resize = nullptr;
    decltype(&CXI_LastError) lastError = nullptr; // optional: older modules lack it
};

// Loads the module and resolves all ten entry points; false (and an empty
// record) when the module or any entry point is missing.
bool bindImageLibrary(ImageLibrary &library);

// True when every entry point is present.
bool imageLibraryReady(const ImageLibrary &library);
