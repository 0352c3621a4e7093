#include "cli/Program.hpp"

#include "cli/CommandLine.hpp"
#include "cli/Jobs.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <string_view>

static bool isHelpOption(std::string_view argument) {
    return argument == "-h" || argument == "-help" || argument == "-?";
}

// -dict as parsed, and -threshold or the default when it does not fit that size.
static CodecSettings settleCodecSettings(const JobSettings &settings) {
    const int32_t dictSize = settings.dictSize.value_or(kDefaultDictSize);
    const int32_t threshold = settings.threshold.value_or(kDefaultThreshold);
    if (lzssThresholdValid(threshold, dictSize))
        return {dictSize, threshold};
    std::fputs("Warning: Bad value for threshold. Using default (2).\n", stdout);
    return {dictSize, kDefaultThreshold};
}

static int runJob(const JobSettings &settings, const ImageLibrary &library) {
    const CodecSettings codec = settleCodecSettings(settings);
    if (!settings.imageInput)
        return runPlainFileJob(settings, codec);
    if (settings.compressionMode == CompressionMode::Unpack)
        failJob("Bad combination of file type and compression mode. Nothing will be done.\n");
    return runImageJob(settings, codec, library);
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
    return runWithinErrorBoundary([&] { return runJob(settings, library); });
}
