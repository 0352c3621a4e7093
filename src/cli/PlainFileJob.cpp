#include "cli/Jobs.hpp"

#include "common/Statistics.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <cstring>

// Prints the message for a codec run that failed; true when it did.
static bool reportFileFailure(const LzssFileResult &result, const JobSettings &settings) {
    switch (result.status) {
    case LzssFileStatus::Ok:
    case LzssFileStatus::EmptyInput:
        return false;
    case LzssFileStatus::OpenFailed:
        std::printf("Error: Failed to open file %s: %s\n", settings.inputName.c_str(),
                    std::strerror(result.errorCode));
        return true;
    case LzssFileStatus::ReadFailed:
        std::printf("Error: Failed to read file %s: %s\n", settings.inputName.c_str(),
                    std::strerror(result.errorCode));
        return true;
    case LzssFileStatus::CreateFailed:
        std::printf("Error: Failed to create file %s: %s\n", settings.outputName.c_str(),
                    std::strerror(result.errorCode));
        return true;
    }
    return true;
}

static int packFile(JobSettings &settings) {
    if (settings.outputName.empty())
        settings.outputName = settings.outputBaseName + ".lzs";
    if (settings.verbose)
        std::printf("Encoding file %s into %s\n", settings.inputName.c_str(),
                    settings.outputName.c_str());
    const LzssFileResult result =
        lzssEncodeFile(lzssMakeSettings(settings.threshold, settings.dictSize), settings.inputName,
                       settings.outputName);
    if (reportFileFailure(result, settings))
        return kExitFailure;
    std::printf("Input size: %d bytes.\nCompressed size: %d bytes (%1.0f%%).\n",
                result.stats.bytesRead, result.stats.bytesWritten,
                percentOf(result.stats.bytesWritten, result.stats.bytesRead));
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

static int unpackFile(JobSettings &settings) {
    if (settings.outputName.empty())
        settings.outputName = settings.outputBaseName + ".bin";
    if (settings.verbose)
        std::printf("Decoding file %s into %s\n", settings.inputName.c_str(),
                    settings.outputName.c_str());
    const LzssFileResult result =
        lzssDecodeFile(lzssMakeSettings(settings.threshold, settings.dictSize), settings.inputName,
                       settings.outputName);
    if (reportFileFailure(result, settings))
        return kExitFailure;
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

int runPlainFileJob(JobSettings &settings) {
    if (settings.compressionMode == CompressionMode::None) {
        std::fputs("Done.\n", stdout);
        return kExitSuccess;
    }
    if (settings.inputName.empty()) {
        std::fputs("Error: No input file.\n", stdout);
        return kExitFailure;
    }
    if (settings.compressionMode == CompressionMode::Pack)
        return packFile(settings);
    return unpackFile(settings);
}
