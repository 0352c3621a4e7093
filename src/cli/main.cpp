#include "cli/Program.hpp"

#include <cstdio>

int main(int argc, char **argv) {
    ImageLibrary library;
    if (!bindImageLibrary(library))
        std::printf("error loading %s\n", kImageModuleName);
    int status = runMorvik(argc, argv, library);
    std::fflush(stdout);
    return status;
}
