#include "cli/Jobs.hpp"

#include <cstdio>

int runImageJob(JobSettings &settings, const ImageLibrary &library) {
    if (settings.inputName.empty()) {
        std::fputs("Error: No input file.\n", stdout);
        return kExitFailure;
    }
    if (!imageLibraryReady(library)) {
        std::fputs("Error: Image module not loaded.\n", stdout);
        return kExitFailure;
    }
    if (settings.verbose)
        std::printf("Loading image file: %s\n", settings.inputName.c_str());
    MorvikImage *image = library.loadImage(settings.inputName.c_str(), 1, 0, 0);
    if (image == nullptr) {
        std::printf("Error: Failed to load image file: %s\n", settings.inputName.c_str());
        return kExitFailure;
    }
    library.freeImage(image);
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}
