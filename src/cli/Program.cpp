#include "cli/Program.hpp"

#include "cli/CommandLine.hpp"
#include "cli/Jobs.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <string_view>

static bool isHelpOption(std::string_view argument) {
    return argument == "-h" || argument == "-help" || argument == "-?";
}

int runMorvik(int argc, const char *const *argv, const ImageLibrary &library) {
    JobSettings settings;
    if (argc < 3) {
        if (argc == 2 && isHelpOption(argv[1])) {
            printHelp();
            return kExitSuccess;
        }
        printUsage();
        return kExitFailure;
    }
    ParseOutcome outcome = parseCommandLine(argc, argv, settings);
    if (outcome == ParseOutcome::Help)
        return kExitSuccess;
    if (outcome == ParseOutcome::Failed)
        return kExitFailure;
    std::fputs("\n", stdout);
    if (!lzssThresholdValid(settings.threshold, settings.dictSize)) {
        std::fputs("Warning: Bad value for threshold. Using default (2).\n", stdout);
        settings.threshold = kDefaultThreshold;
    }
    if (settings.imageInput) {
        if (settings.compressionMode == CompressionMode::Unpack) {
            std::fputs("Bad combination of file type and compression mode. Nothing will be "
                       "done.\n",
                       stdout);
            return kExitFailure;
        }
        return runImageJob(settings, library);
    }
    return runPlainFileJob(settings);
}
