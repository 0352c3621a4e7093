#include "cli/Jobs.hpp"

#include "common/Statistics.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Prints the message for a codec run that failed; true when it did.
bool reportFileFailure(const LzssFileResult &result, const JobSettings &settings) {
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

using FileCodecRun = LzssFileResult (*)(const LzssSettings &, const std::string &,
                                        const std::string &);

// What tells packing from unpacking; the job around the codec is the same.
struct FileCodec {
    const char *extension; // of the output name made from the input's
    const char *verb;      // of the verbose line
    FileCodecRun run;
    bool printsSizes;
};

constexpr FileCodec kPack{".lzs", "Encoding", lzssEncodeFile, true};
constexpr FileCodec kUnpack{".bin", "Decoding", lzssDecodeFile, false};

int runFileCodec(JobSettings &settings, const FileCodec &codec) {
    if (settings.outputName.empty())
        settings.outputName = settings.outputBaseName + codec.extension;
    if (settings.verbose)
        std::printf("%s file %s into %s\n", codec.verb, settings.inputName.c_str(),
                    settings.outputName.c_str());
    const LzssFileResult result = codec.run(lzssMakeSettings(settings.threshold, settings.dictSize),
                                            settings.inputName, settings.outputName);
    if (reportFileFailure(result, settings))
        return kExitFailure;
    if (codec.printsSizes)
        std::printf("Input size: %d bytes.\nCompressed size: %d bytes (%1.0f%%).\n",
                    result.stats.bytesRead, result.stats.bytesWritten,
                    percentOf(result.stats.bytesWritten, result.stats.bytesRead));
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

} // namespace

int runPlainFileJob(JobSettings &settings) {
    if (settings.compressionMode == CompressionMode::None) {
        std::fputs("Done.\n", stdout);
        return kExitSuccess;
    }
    if (settings.inputName.empty()) {
        std::fputs("Error: No input file.\n", stdout);
        return kExitFailure;
    }
    return runFileCodec(settings,
                        settings.compressionMode == CompressionMode::Pack ? kPack : kUnpack);
}
