#include "cli/Jobs.hpp"

#include "common/OutputFile.hpp"
#include "common/Statistics.hpp"
#include "image/PictureSignature.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Ends the job with the message for a codec run that failed.
void failOnFileError(const LzssFileResult &result, const JobSettings &settings,
                     const std::string &outputName) {
    const char *reason = std::strerror(result.errorCode);
    switch (result.status) {
    case LzssFileStatus::Ok:
    case LzssFileStatus::EmptyInput:
        return;
    case LzssFileStatus::OpenFailed:
        failJob("Error: Failed to open file " + settings.inputName + ": " + reason + "\n");
    case LzssFileStatus::ReadFailed:
        failJob("Error: Failed to read file " + settings.inputName + ": " + reason + "\n");
    case LzssFileStatus::CreateFailed:
        failJob(createFileError(outputName, result.errorCode));
    }
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

int runFileCodec(const JobSettings &settings, CodecSettings codecSettings, const FileCodec &codec) {
    const std::string outputName = settings.outputName.empty()
                                       ? settings.outputBaseName + codec.extension
                                       : settings.outputName;
    if (sameFile(settings.inputName, outputName))
        failJob("Error: Output files collide: " + outputName + "\n");
    if (settings.verbose)
        std::printf("%s file %s into %s\n", codec.verb, settings.inputName.c_str(),
                    outputName.c_str());
    const LzssFileResult result =
        codec.run(lzssMakeSettings(codecSettings.threshold, codecSettings.dictSize),
                  settings.inputName, outputName);
    failOnFileError(result, settings, outputName);
    if (codec.printsSizes)
        std::printf("Input size: %d bytes.\nCompressed size: %d bytes (%1.0f%%).\n",
                    result.stats.bytesRead, result.stats.bytesWritten,
                    percentOf(result.stats.bytesWritten, result.stats.bytesRead));
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

} // namespace

int runPlainFileJob(const JobSettings &settings, CodecSettings codec) {
    if (settings.compressionMode == CompressionMode::None) {
        if (!settings.inputName.empty() && looksLikePicture(settings.inputName))
            std::fputs(
                "Warning: Nothing to do: add -image to convert a picture, or -pack/-unpack.\n",
                stdout);
        std::fputs("Done.\n", stdout);
        return kExitSuccess;
    }
    if (settings.inputName.empty())
        failJob("Error: No input file.\n");
    return runFileCodec(settings, codec,
                        settings.compressionMode == CompressionMode::Pack ? kPack : kUnpack);
}
