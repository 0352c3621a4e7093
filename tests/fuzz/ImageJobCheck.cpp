// The image job check: a small PNG made from the input, options picked by the
// input, the whole program run in process, and its status, messages and files
// checked.
#include "fuzz/FuzzChecks.hpp"
#include "fuzz/FuzzSupport.hpp"

#include "cli/CommandLine.hpp"
#include "cli/Program.hpp"
#include "imagemodule/TestImages.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace fuzzing;

namespace {

constexpr uint32_t kLargestSide = 64;
constexpr const char *kTargetNames[] = {"", "sms", "sgg", "snes", "tgx", "smd", "32x"};
constexpr const char *kFormatNames[] = {"p1", "p2", "p4", "p8", "l4", "l8", "d15"};
constexpr int32_t kDictChoices[] = {512, 1024, 2048, 4096, 100, 5000};
constexpr int32_t kThresholdChoices[] = {0, 1, 2, 3, 4, 200, -1};
// With one dot in its name the whole input name is the stem of the outputs.
constexpr const char *kPictureName = "picture.png";
constexpr const char *kStem = "picture.png";

// Option flags, one bit each in the input's second and third bytes.
enum JobFlag : uint32_t {
    kTransparency = 1u << 0,
    kOptimise = 1u << 1,
    kDither = 1u << 2,
    kChain = 1u << 3,
    kPack = 1u << 4,
    kAutoCompress = 1u << 5,
    kCode = 1u << 6,
    kPreview = 1u << 7,
    kQuantise = 1u << 8,
    kPlanes = 1u << 9,
    kBase = 1u << 10,
    kBackground = 1u << 11,
    kCodec = 1u << 12,
    kResize = 1u << 13,
    kVerbose = 1u << 14,
    kFormat = 1u << 15,
};

// What the run is asked to do, and what follows from it for the checks.
struct JobRequest {
    uint32_t flags = 0;
    std::string target; // empty: no target
    std::string format; // empty: the target's default
    std::vector<std::string> options;
    int32_t dictSize = kDefaultDictSize; // as the run takes them
    int32_t threshold = kDefaultThreshold;
    uint32_t width = 0; // of the picture after resizing
    uint32_t height = 0;

    bool has(JobFlag flag) const { return (flags & flag) != 0; }
    bool bitmap() const { return target == "32x"; }
    bool directColour() const { return bitmap() && format == "d15"; }
};

std::string number(int64_t value) {
    return std::to_string(value);
}

// Colour type and bit depth: palette at 8, 4, 2 or 1 bits, RGB, RGBA, grey, grey and alpha.
testimages::PngPicture pictureShape(ByteReader &reader) {
    constexpr int kColourTypes[] = {PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_PALETTE,
                                    PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_PALETTE,
                                    PNG_COLOR_TYPE_RGB,     PNG_COLOR_TYPE_RGB_ALPHA,
                                    PNG_COLOR_TYPE_GRAY,    PNG_COLOR_TYPE_GRAY_ALPHA};
    constexpr int kBitDepths[] = {8, 4, 2, 1, 8, 8, 8, 8};
    const uint32_t kind = takeChoice(reader, 8);
    const uint32_t width = 1 + takeChoice(reader, kLargestSide);
    const uint32_t height = 1 + takeChoice(reader, kLargestSide);
    return testimages::makePngPicture(width, height, kColourTypes[kind], kBitDepths[kind]);
}

void takePalette(ByteReader &reader, testimages::PngPicture &picture) {
    if (picture.colorType != PNG_COLOR_TYPE_PALETTE)
        return;
    const uint32_t entries = 1 + takeChoice(reader, 1u << picture.bitDepth);
    for (uint32_t i = 0; i < entries; ++i) {
        testimages::Rgb colour;
        colour.red = takeByte(reader);
        colour.green = takeByte(reader);
        colour.blue = takeByte(reader);
        picture.palette.push_back(colour);
    }
}

int channelsOf(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    default:
        return 1;
    }
}

// The rows from the bytes left, repeated as often as needed.
void fillRows(const std::vector<uint8_t> &samples, testimages::PngPicture &picture) {
    const size_t rowSamples = picture.width * static_cast<size_t>(channelsOf(picture.colorType));
    size_t next = 0;
    for (uint32_t y = 0; y < picture.height; ++y) {
        std::vector<uint8_t> row(rowSamples, 0);
        for (uint8_t &sample : row)
            sample = samples.empty() ? 0 : samples[next++ % samples.size()];
        picture.rows.push_back(testimages::packSamples(row, picture.bitDepth));
    }
}

void addOption(JobRequest &request, const std::string &name, const std::string &value = {}) {
    request.options.push_back(name);
    if (!value.empty())
        request.options.push_back(value);
}

void takeCodecOptions(ByteReader &reader, JobRequest &request) {
    const int32_t dict = kDictChoices[takeChoice(reader, std::size(kDictChoices))];
    const int32_t threshold = kThresholdChoices[takeChoice(reader, std::size(kThresholdChoices))];
    addOption(request, "-dict", number(dict));
    addOption(request, "-threshold", number(threshold));
    const int32_t size = dictSizeFromOption(dict);
    request.dictSize = size != 0 ? size : kDefaultDictSize;
    request.threshold =
        lzssThresholdValid(threshold, request.dictSize) ? threshold : kDefaultThreshold;
}

void takeResizeOptions(ByteReader &reader, JobRequest &request) {
    const uint32_t width = takeChoice(reader, kLargestSide + 1);
    const uint32_t height = takeChoice(reader, kLargestSide + 1);
    addOption(request, "-width", number(width));
    addOption(request, "-height", number(height));
    addOption(request, "-sizefilter", number(takeChoice(reader, 4)));
    request.width = width != 0 ? width : request.width;
    request.height = height != 0 ? height : request.height;
}

void takeSwitches(JobRequest &request) {
    const std::pair<JobFlag, const char *> switches[] = {
        {kTransparency, "-t"}, {kOptimise, "-opt"}, {kDither, "-dither"},
        {kChain, "-chain"},    {kPack, "-pack"},    {kAutoCompress, "-autocomp"},
        {kCode, "-code"},      {kVerbose, "-v"},
    };
    for (const auto &[flag, name] : switches)
        if (request.has(flag))
            addOption(request, name);
    // The chosen codec settings are only printed in verbose mode.
    if (request.has(kAutoCompress) && !request.has(kVerbose))
        addOption(request, "-v");
}

void takeValueOptions(ByteReader &reader, JobRequest &request, const std::string &folder) {
    if (!request.target.empty())
        addOption(request, "-target", request.target);
    if (request.has(kFormat)) {
        request.format = kFormatNames[takeChoice(reader, std::size(kFormatNames))];
        addOption(request, "-format", request.format);
    }
    if (request.has(kQuantise))
        addOption(request, "-q", number(takeByte(reader)));
    if (request.has(kPlanes))
        addOption(request, "-planes", number(static_cast<int32_t>(takeChoice(reader, 11)) - 1));
    if (request.has(kBase))
        addOption(request, "-base", number(static_cast<int8_t>(takeByte(reader))));
    if (request.has(kBackground)) {
        const int32_t x = static_cast<int32_t>(takeChoice(reader, kLargestSide + 12)) - 4;
        const int32_t y = static_cast<int32_t>(takeChoice(reader, kLargestSide + 12)) - 4;
        addOption(request, "-bg", number(x) + "," + number(y));
    }
    if (request.has(kCodec))
        takeCodecOptions(reader, request);
    if (request.has(kResize))
        takeResizeOptions(reader, request);
    if (request.has(kPreview))
        addOption(request, "-preview", folder + "/preview.bmp");
}

JobRequest takeRequest(ByteReader &reader, const testimages::PngPicture &picture,
                       const std::string &folder) {
    JobRequest request;
    request.flags = takeByte(reader);
    request.flags |= uint32_t{takeByte(reader)} << 8;
    request.target = kTargetNames[takeChoice(reader, std::size(kTargetNames))];
    request.width = picture.width;
    request.height = picture.height;
    takeSwitches(request);
    takeValueOptions(reader, request, folder);
    return request;
}

struct RunOutcome {
    int status = -1;
    std::string output;
};

// The image module, bound once; null when it cannot be loaded.
const ImageLibrary *jobLibrary() {
    static ImageLibrary library;
    static const bool bound = bindImageLibrary(library);
    return bound ? &library : nullptr;
}

RunOutcome runJob(const std::vector<std::string> &options, const std::string &input) {
    std::vector<const char *> argv{"morvik", "-image"};
    for (const std::string &option : options)
        argv.push_back(option.c_str());
    argv.push_back(input.c_str());
    const std::string capture = scratchDir() + "/stdout.txt";
    RunOutcome outcome;
    {
        StdoutRedirect redirect(capture);
        outcome.status = runMorvik(static_cast<int>(argv.size()), argv.data(), *jobLibrary());
    }
    const std::vector<uint8_t> printed = readBytes(capture);
    outcome.output.assign(printed.begin(), printed.end());
    return outcome;
}

bool hasLineStarting(const std::string &output, const std::string &prefix) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

std::vector<std::string> folderEntries(const std::string &folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    return names;
}

std::string checkNoTemporaryFiles(const std::string &folder) {
    for (const std::string &name : folderEntries(folder))
        if (name.rfind(".morvik-", 0) == 0)
            return "temporary file " + name + " left behind";
    return {};
}

std::string checkFailureMessage(const RunOutcome &run) {
    for (const char *prefix : {"Error: ", "Bad ", "Missing "})
        if (hasLineStarting(run.output, prefix))
            return {};
    return "status 1 without a message:\n" + run.output;
}

// The settings the pattern data was packed with.
void packedSettings(const JobRequest &request, const std::string &output, int32_t &dictSize,
                    int32_t &threshold) {
    dictSize = request.bitmap() ? kDefaultDictSize : request.dictSize;
    threshold = request.bitmap() ? kDefaultThreshold : request.threshold;
    const std::string marker = "Using LZSS settings -dict ";
    const size_t at = output.find(marker);
    if (request.has(kAutoCompress) && !request.bitmap() && at != std::string::npos)
        std::sscanf(output.c_str() + at + marker.size(), "%d -threshold %d", &dictSize, &threshold);
}

// The packed patterns must decode to what the same run writes unpacked.
std::string checkPackedPatterns(const JobRequest &request, const RunOutcome &run,
                                const std::string &folder, const std::string &input) {
    int32_t dictSize = 0;
    int32_t threshold = 0;
    packedSettings(request, run.output, dictSize, threshold);
    const std::vector<uint8_t> stream = readBytes(folder + "/" + kStem + ".lzs");
    std::vector<std::string> plainOptions;
    for (const std::string &option : request.options)
        if (option != "-pack" && option != "-autocomp" && option != "-code")
            plainOptions.push_back(option);
    const RunOutcome plain = runJob(plainOptions, input);
    if (plain.status != 0)
        return "the run without -pack failed:\n" + plain.output;
    if (lzssDecodeBuffer(lzssMakeSettings(threshold, dictSize), stream.data(), stream.size()) !=
        readBytes(folder + "/" + kStem + ".pat"))
        return "the .lzs does not decode to the .pat (dict " + number(dictSize) + ", threshold " +
               number(threshold) + ")";
    return {};
}

std::string checkNameTable(const JobRequest &request, const std::string &stem) {
    const bool exists = fileExists(stem + ".nam");
    if (request.bitmap())
        return exists ? "a name table for a bitmap target" : "";
    const size_t tiles = ((request.width + 7) / 8) * ((request.height + 7) / 8);
    const size_t size = readBytes(stem + ".nam").size();
    if (size != 2 * tiles)
        return "name table of " + number(static_cast<int64_t>(size)) + " bytes for " +
               number(static_cast<int64_t>(tiles)) + " tiles";
    return {};
}

std::string checkPreview(const std::string &folder) {
    const std::vector<uint8_t> bitmap = readBytes(folder + "/preview.bmp");
    if (bitmap.size() < 54 || bitmap[0] != 'B' || bitmap[1] != 'M')
        return "preview is not a bitmap";
    const uint32_t declared = bitmap[2] | (uint32_t{bitmap[3]} << 8) | (uint32_t{bitmap[4]} << 16) |
                              (uint32_t{bitmap[5]} << 24);
    return declared == bitmap.size() ? "" : "preview size differs from its header";
}

std::string checkWrittenFiles(const JobRequest &request, const std::string &folder) {
    const std::string stem = folder + "/" + kStem;
    const bool pack = request.has(kPack);
    if (!fileExists(stem + (pack ? ".lzs" : ".pat")))
        return "no pattern file";
    const size_t paletteSize = readBytes(stem + ".pal").size();
    if (!request.directColour() && (paletteSize == 0 || paletteSize > 512))
        return "palette of " + number(static_cast<int64_t>(paletteSize)) + " bytes";
    // Only sms, sgg (WLA) and smd (GNU as) have a code file template.
    const bool template_ = request.target == "sms" || request.target == "sgg" ||
                           request.target == "smd";
    const std::string codeName = stem + (request.target == "smd" ? ".s" : ".asm");
    if (pack && request.has(kCode) && fileExists(codeName) != template_)
        return template_ ? "no code file" : "a code file without a template";
    if (request.has(kPreview) && !request.directColour()) {
        std::string failure = checkPreview(folder);
        if (!failure.empty())
            return failure;
    }
    return checkNameTable(request, stem);
}

std::string checkSuccess(const JobRequest &request, const RunOutcome &run,
                         const std::string &folder, const std::string &input) {
    if (!hasLineStarting(run.output, "Done."))
        return "status 0 without Done.:\n" + run.output;
    if (request.target.empty()) {
        const std::vector<std::string> entries = folderEntries(folder);
        return entries.size() == 1 ? "" : "files written without a target";
    }
    std::string failure = checkWrittenFiles(request, folder);
    if (failure.empty() && request.has(kPack))
        failure = checkPackedPatterns(request, run, folder, input);
    return failure;
}

std::string checkRun(const JobRequest &request, const RunOutcome &run, const std::string &folder,
                     const std::string &input) {
    std::string failure = checkNoTemporaryFiles(folder);
    if (!failure.empty())
        return failure;
    if (run.status == 1)
        return checkFailureMessage(run);
    if (run.status == 0)
        return checkSuccess(request, run, folder, input);
    return "exit status " + number(run.status);
}

std::string joinOptions(const JobRequest &request) {
    std::string line;
    for (const std::string &option : request.options)
        line += " " + option;
    return line;
}

} // namespace

std::string checkImageJob(const uint8_t *data, size_t size) {
    if (jobLibrary() == nullptr)
        return "cannot bind the image module";
    ByteReader reader{data, size, 0};
    testimages::PngPicture picture = pictureShape(reader);
    takePalette(reader, picture);
    const std::string folder = scratchDir() + "/job";
    const JobRequest request = takeRequest(reader, picture, folder);
    fillRows(takeRest(reader), picture);
    const std::vector<uint8_t> png = testimages::encodePng(picture);
    if (png.empty())
        return {};
    clearFolder(folder);
    const std::string input = folder + "/" + kPictureName;
    if (!writeBytes(input, png.data(), png.size()))
        return "cannot write " + input;
    const RunOutcome run = runJob(request.options, input);
    std::string failure = checkRun(request, run, folder, input);
    return failure.empty() ? failure : failure + "\noptions:" + joinOptions(request);
}
