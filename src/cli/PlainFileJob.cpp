#include "cli/Jobs.hpp"

#include "common/OutputFile.hpp"
#include "common/Statistics.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <cstring>

// Prints the message for a codec run that failed; true when it did.
static bool reportFileFailure(const LzssFileResult &result, const JobSettings &settings,
                              const std::string &outputName) {
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
        std::fputs(createFileError(outputName, result.errorCode).c_str(), stdout);
        return true;
    case LzssFileStatus::OutOfMemory:
        std::fputs("Error: Failed to allocate memory.\n", stdout);
        return true;
    }
    return true;
}

static std::string outputFileName(const JobSettings &settings, const char *extension) {
    return settings.outputName.empty() ? settings.outputBaseName + extension : settings.outputName;
}

static int packFile(const JobSettings &settings, CodecSettings codec) {
    const std::string outputName = outputFileName(settings, ".lzs");
    if (settings.verbose)
        std::printf("Encoding file %s into %s\n", settings.inputName.c_str(), outputName.c_str());
    LzssParams params;
    lzssSetParams(params, codec.threshold, codec.dictSize);
    LzssFileResult result = lzssEncodeFile(params, settings.inputName, outputName);
    if (reportFileFailure(result, settings, outputName))
        return kExitFailure;
    std::printf("Input size: %d bytes.\nCompressed size: %d bytes (%1.0f%%).\n", params.bytesRead,
                params.bytesWritten, percentOf(params.bytesWritten, params.bytesRead));
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

static int unpackFile(const JobSettings &settings, CodecSettings codec) {
    const std::string outputName = outputFileName(settings, ".bin");
    if (settings.verbose)
        std::printf("Decoding file %s into %s\n", settings.inputName.c_str(), outputName.c_str());
    LzssParams params;
    lzssSetParams(params, codec.threshold, codec.dictSize);
    LzssFileResult result = lzssDecodeFile(params, settings.inputName, outputName);
    if (reportFileFailure(result, settings, outputName))
        return kExitFailure;
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

int runPlainFileJob(const JobSettings &settings, CodecSettings codec) {
    if (settings.compressionMode == CompressionMode::None) {
        std::fputs("Done.\n", stdout);
        return kExitSuccess;
    }
    if (settings.inputName.empty()) {
        std::fputs("Error: No input file.\n", stdout);
        return kExitFailure;
    }
    if (settings.compressionMode == CompressionMode::Pack)
        return packFile(settings, codec);
    return unpackFile(settings, codec);
}
