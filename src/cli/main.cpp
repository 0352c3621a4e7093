#include "cli/Program.hpp"
#include "common/OutputFile.hpp"

#include <csignal>
#include <cstdio>

int main(int argc, char **argv) {
    installInterruptCleanup();
    // Past the file size limit a write then fails with EFBIG, reported like any
    // other write error, instead of the signal ending the run.
    std::signal(SIGXFSZ, SIG_IGN);
    ImageLibrary library;
    if (!bindImageLibrary(library))
        std::printf("error loading %s\n", kImageModuleName);
    int status = runMorvik(argc, argv, library);
    std::fflush(stdout);
    return status;
}
