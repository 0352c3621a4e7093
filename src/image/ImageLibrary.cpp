#include "image/ImageLibrary.hpp"

#include <climits>
#include <dlfcn.h>
#include <string>
#include <unistd.h>
#include <vector>

template <typename Function> static bool resolve(void *handle, const char *name, Function &target) {
    target = reinterpret_cast<Function>(dlsym(handle, name));
    return target != nullptr;
}

// The folder of the running executable, with a trailing "/", or "" when unknown.
static std::string executableFolder() {
    std::vector<char> path(PATH_MAX + 1, 0);
    ssize_t length = readlink("/proc/self/exe", path.data(), PATH_MAX);
    if (length <= 0)
        return {};
    std::string folder(path.data(), static_cast<size_t>(length));
    size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

// Beside the executable, then in its ../lib/morvik, then the loader's own search.
// The executable's RUNPATH says the same, but a dlopen made through an
// interposing library (a sanitizer runtime, for one) does not see it.
static void *openImageModule() {
    std::string folder = executableFolder();
    std::vector<std::string> candidates;
    if (!folder.empty()) {
        candidates.push_back(folder + kImageModuleName);
        candidates.push_back(folder + "../lib/morvik/" + kImageModuleName);
    }
    candidates.push_back(kImageModuleName);
    for (const std::string &candidate : candidates)
        if (void *handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
    return nullptr;
}

bool bindImageLibrary(ImageLibrary &library) {
    library = ImageLibrary{};
    void *handle = openImageModule();
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
    resolve(handle, "CXI_LastError", bound.lastError);
    library = bound;
    return true;
}

bool imageLibraryReady(const ImageLibrary &library) {
    return library.handle != nullptr && library.loadImage && library.saveImage &&
           library.freeImage && library.getBits && library.getWidth && library.getHeight &&
           library.getBpp && library.getPaletteSize && library.getPalette && library.resize;
}
