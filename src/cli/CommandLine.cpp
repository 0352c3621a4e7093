#include "cli/CommandLine.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <limits>

namespace {

constexpr std::array<const char *, 35> kHelpLines = {
    "morvik r3",
    "(c) 2026 the morvik authors",
    "",
    "Options:",
    "",
    "-autocomp\tAutomatically choose the best settings for the LZSS encoder.",
    "-base n\t\tSpecify the base color. For example if the image uses 4 colors\n\t\tand the base "
    "color is 2, the image colors will be mapped",
    "\t\tto palette entries 2..5.",
    "-bg x,y\t\tThe color referenced by the pixel at x,y will be treated as the\n\t\tbackground "
    "color.",
    "\t\tWhen this option isn't used x,y will be set to 0,0.",
    "-dither\t\tEnabled dithering (only used when quantising is done).",
    "-height n\tSpecify a new height for the image.",
    "-image\t\tTreat the input file as an image file. If not specified the\n\t\tinput file will "
    "be treated as a plain binary file.",
    "-o filename\tSpecify the output filename.",
    "-opt\t\tEnable tile optimisation (redundant tiles will be excluded).",
    "-pack\t\tEncode data before generating the output file.",
    "-planes n\tSpecify the desired number of bitplanes to use for storing each\n\t\tpixel. At "
    "least n planes will be used.",
    "\t\tA value of 0 means that the smallest possible number of\n\t\tbitplanes will be used. That "
    "is the default; the maximum is\n\t\tthe format's planes (p1 1, p2 2, p4 4, p8 8).",
    "-preview fname\tCreate a .BMP file with a preview of what the processed image\n\t\twill "
    "look like.",
    "-q n\t\tQuantise the image to use n colors. The limits are 2 <= n <= the\n\t\tformat's "
    "colors (p1 2, p2 4, p4 and l4 16, p8 and l8 256).",
    "-sizefilter n\tIf n==1 smooth filtering will be used when resizing the image\n\t\t(when "
    "-width and/or -height is used).",
    "\t\tOtherwise nearest neighbor sampling will be used.",
    "-t\t\tEnable transparency. When this option is used, all pixels using\n\t\tthe background "
    "color (see -bg) will be mapped to color 0.",
    "-threshold n\tSet the threshold parameter for the LZSS codec. This can\n\t\tusually be left "
    "at the default value (2).",
    "-unpack\t\tDecode the input file (not valid when -image is used).",
    "-v\t\tVerbose mode.",
    "-width n\tSpecify a new width for the image.",
    "-target name\tThe console: sms, sgg, snes, tgx, smd or 32x. Without it the\n\t\timage is "
    "converted but no file is written.",
    "-format name\tThe pixel format: p1, p2, p4, p8 (planar), l4, l8 (linear) or\n\t\td15 (direct "
    "color). Each target takes some of them.",
    "-code\t\tWith -pack, also write the assembly file that calls the decoder\n\t\t(sms, sgg "
    "and smd).",
    "-dict n\t\tSet the dictionary size of the LZSS codec: 512, 1024, 2048 or\n\t\t4096 (the "
    "default).",
    "-chain\t\tNot supported; ignored with a warning.",
    "-palettes n\tSpread the colors over at most n sub-palettes (sms, sgg 2; snes 8;\n\t\tsmd 4; "
    "tgx 16), one per tile, chosen in the name table.",
    "-rom fname\tAlso write a ROM for the target (sms, sgg, smd, snes, tgx) that\n\t\tshows "
    "the converted picture.",
    "-j n\t\tUse at most n threads (the default is one per processor core);\n\t\tthe output "
    "is the same for every n.",
};

// What an option does with the settings; Failed ends the run.
enum class Action { Done, Help, Failed };

struct OptionContext {
    JobSettings &settings;
    const char *name;  // the option as typed
    const char *value; // null for options without a value
};

using Handler = Action (*)(OptionContext &);

struct OptionSpec {
    const char *name;
    bool takesValue;
    const char *missingMessage; // printf format; %s is the option as typed
    Handler handler;
};

Action fail(const char *message) {
    std::fputs(message, stdout);
    return Action::Failed;
}

// The file-name part: what follows the last "/".
size_t fileNameStart(const std::string &name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

Action setOutput(OptionContext &c) {
    c.settings.outputName = c.value;
    c.settings.outputBaseName = deriveOutputBaseName(c.settings.outputName);
    return Action::Done;
}

Action setFormat(OptionContext &c) {
    if (std::optional<Format> format = lookupFormat(c.value))
        c.settings.format = *format;
    else
        std::printf("Warning: Unknown format %s. Using the target's default.\n", c.value);
    return Action::Done;
}

Action setTarget(OptionContext &c) {
    std::optional<Target> target = lookupTarget(c.value);
    if (!target) {
        std::fputs("Error: Bad value for -target.\n", stdout);
        return fail("Error: The targets are sms, sgg, snes, tgx, smd and 32x.\n");
    }
    c.settings.target = *target;
    return Action::Done;
}

Action setBackground(OptionContext &c) {
    std::string_view value = c.value;
    size_t comma = value.find(',');
    if (comma == std::string_view::npos)
        return fail("Bad value for -bg.\n");
    c.settings.bgX = parseNumber(value.substr(0, comma));
    c.settings.bgY = parseNumber(value.substr(comma + 1));
    return Action::Done;
}

Action setDict(OptionContext &c) {
    int32_t size = dictSizeFromOption(parseNumber(c.value));
    if (size == 0) {
        std::fputs("Warning: Bad value for dict. Using default (4096).\n", stdout);
        size = kDefaultDictSize;
    }
    c.settings.dictSize = size;
    return Action::Done;
}

// Handlers that only store: a flag set, a number or a name taken as it is.
template <auto Field> Action setFlag(OptionContext &c) {
    c.settings.*Field = true;
    return Action::Done;
}

template <auto Field> Action setNumber(OptionContext &c) {
    c.settings.*Field = parseNumber(c.value);
    return Action::Done;
}

template <CompressionMode Mode> Action setCompression(OptionContext &c) {
    c.settings.compressionMode = Mode;
    return Action::Done;
}

Action help(OptionContext &) {
    return Action::Help;
}

Action ignore(OptionContext &) {
    return Action::Done;
}

Action setPreview(OptionContext &c) {
    c.settings.previewName = c.value;
    return Action::Done;
}

Action setRom(OptionContext &c) {
    c.settings.romName = c.value;
    return Action::Done;
}

// -j: at least one thread; 0 (not given) leaves the choice to the machine.
Action setThreads(OptionContext &c) {
    const int32_t threads = parseNumber(c.value);
    if (threads < 1)
        return fail("Error: Bad value for -j.\n");
    c.settings.threads = threads;
    return Action::Done;
}

Action setResizeFilter(OptionContext &c) {
    c.settings.resizeFilter =
        parseNumber(c.value) % 2 != 0 ? ResizeFilter::Smooth : ResizeFilter::Nearest;
    return Action::Done;
}

// The options in the order in which they are tested.
const OptionSpec kOptions[] = {
    {"-h", false, nullptr, help},
    {"-help", false, nullptr, help},
    {"-?", false, nullptr, help},
    {"-pack", false, nullptr, setCompression<CompressionMode::Pack>},
    {"-unpack", false, nullptr, setCompression<CompressionMode::Unpack>},
    {"-v", false, nullptr, setFlag<&JobSettings::verbose>},
    {"-o", true, "Error: Missing value for -o\n", setOutput},
    {"-preview", true, "Error: Missing value for -preview\n", setPreview},
    {"-format", true, "Error: Missing value for -format.\n", setFormat},
    {"-target", true, "Error: Missing value for -target.\n", setTarget},
    {"-opt", false, nullptr, setFlag<&JobSettings::optimiseTiles>},
    {"-dither", false, nullptr, setFlag<&JobSettings::dither>},
    {"-t", false, nullptr, setFlag<&JobSettings::transparency>},
    {"-image", false, nullptr, setFlag<&JobSettings::imageInput>},
    {"-bat", false, nullptr, ignore},
    {"-chain", false, nullptr, setFlag<&JobSettings::chainTiles>},
    {"-code", false, nullptr, setFlag<&JobSettings::writeCode>},
    {"-lzss", false, nullptr, ignore},
    {"-autocomp", false, nullptr, setFlag<&JobSettings::autoCompress>},
    {"-bg", true, "Missing value for -bg.\n", setBackground},
    {"-planes", true, "Missing value for -planes.\n", setNumber<&JobSettings::minPlanes>},
    {"-threshold", true, "Missing value for -threshold.\n", setNumber<&JobSettings::threshold>},
    {"-base", true, "Missing value for %s.\n", setNumber<&JobSettings::baseColour>},
    {"-q", true, "Missing value for %s.\n", setNumber<&JobSettings::quantiseColours>},
    {"-width", true, "Missing value for %s.\n", setNumber<&JobSettings::newWidth>},
    {"-sizefilter", true, "Missing value for %s.\n", setResizeFilter},
    {"-height", true, "Missing value for %s.\n", setNumber<&JobSettings::newHeight>},
    {"-dict", true, "Missing value for -dict.\n", setDict},
    {"-palettes", true, "Missing value for %s.\n", setNumber<&JobSettings::palettes>},
    {"-rom", true, "Error: Missing value for -rom\n", setRom},
    {"-j", true, "Missing value for %s.\n", setThreads},
};

const OptionSpec *findOption(std::string_view argument) {
    for (const OptionSpec &option : kOptions)
        if (argument == option.name)
            return &option;
    return nullptr;
}

void takeInput(JobSettings &settings, const char *argument) {
    if (!settings.inputName.empty()) {
        std::printf("Warning: Ignoring argument: %s\n", argument);
        return;
    }
    settings.inputName = argument;
    settings.inputBaseName = deriveInputBaseName(settings.inputName);
    if (settings.outputBaseName.empty())
        settings.outputBaseName = settings.inputBaseName;
}

} // namespace

int32_t parseNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(kLimit, value * 10 + (text[i] - '0'));
    value = negative ? -value : value;
    value = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(value);
}

std::string deriveInputBaseName(const std::string &inputName) {
    size_t start = fileNameStart(inputName);
    size_t first = inputName.find('.', start);
    size_t last = inputName.rfind('.');
    if (first == std::string::npos || first == last)
        return inputName;
    return inputName.substr(0, last);
}

std::string deriveOutputBaseName(const std::string &outputName) {
    size_t dot = outputName.find('.', fileNameStart(outputName));
    return dot == std::string::npos ? outputName : outputName.substr(0, dot);
}

int32_t dictSizeFromOption(int32_t value) {
    int32_t quotient = value >> 9; // floor division by 512, also for negative values
    if (quotient == 1 || quotient == 2 || quotient == 4 || quotient == 8)
        return quotient * 512;
    return 0;
}

void printHelp() {
    for (const char *line : kHelpLines) {
        std::fputs(line, stdout);
        std::fputs("\n", stdout);
    }
}

void printUsage() {
    std::fputs("Usage: morvik [options] <input>\n", stdout);
}

ParseOutcome parseCommandLine(int argc, const char *const *argv, JobSettings &settings) {
    int index = 1;
    while (index < argc) {
        const char *argument = argv[index];
        if (argument[0] != '-') {
            takeInput(settings, argument);
            ++index;
            continue;
        }
        const OptionSpec *option = findOption(argument);
        if (option == nullptr) {
            std::printf("Error: Unknown option: %s\n", argument);
            return ParseOutcome::Failed;
        }
        OptionContext context{settings, argument, nullptr};
        if (option->takesValue) {
            if (index + 1 >= argc) {
                std::printf(option->missingMessage, argument);
                return ParseOutcome::Failed;
            }
            context.value = argv[index + 1];
        }
        Action action = option->handler(context);
        if (action == Action::Help) {
            printHelp();
            return ParseOutcome::Help;
        }
        if (action == Action::Failed)
            return ParseOutcome::Failed;
        index += option->takesValue ? 2 : 1;
    }
    return ParseOutcome::Run;
}
