// The command-line check: any argument vector is read without harm and leaves
// settings that fit together.
#include "fuzz/FuzzChecks.hpp"
#include "fuzz/FuzzSupport.hpp"

#include "cli/CommandLine.hpp"

#include <vector>

using namespace fuzzing;

namespace {

constexpr size_t kMaxArguments = 32;
constexpr size_t kMaxArgumentLength = 256;

// The input split at NUL bytes, each piece cut to kMaxArgumentLength.
std::vector<std::string> splitArguments(const uint8_t *data, size_t size) {
    std::vector<std::string> arguments{"morvik"};
    std::string current;
    for (size_t i = 0; i < size && arguments.size() < kMaxArguments; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else if (current.size() < kMaxArgumentLength) {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (arguments.size() < kMaxArguments && (size == 0 || data[size - 1] != 0))
        arguments.push_back(current);
    return arguments;
}

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string checkSettings(const JobSettings &settings) {
    const int32_t dictSize = settings.dictSize.value_or(4096);
    if (dictSizeFromOption(dictSize) != dictSize)
        return "dictionary size " + std::to_string(dictSize);
    if (settings.resizeFilter != ResizeFilter::Smooth &&
        settings.resizeFilter != ResizeFilter::Nearest)
        return "resize filter " + std::to_string(static_cast<int>(settings.resizeFilter));
    if (!startsWith(settings.inputName, settings.inputBaseName))
        return "input base name '" + settings.inputBaseName + "' of '" + settings.inputName + "'";
    // An -o name with an empty stem (".x") leaves the stem to the input name
    // when the input comes later; an empty stem stays when it came first.
    const std::string outputStem = deriveOutputBaseName(settings.outputName);
    const bool outputStemOk =
        outputStem.empty()
            ? settings.outputBaseName.empty() || settings.outputBaseName == settings.inputBaseName
            : settings.outputBaseName == outputStem;
    if (!outputStemOk)
        return "output base name '" + settings.outputBaseName + "'";
    return {};
}

} // namespace

std::string checkCommandLine(const uint8_t *data, size_t size) {
    const std::vector<std::string> arguments = splitArguments(data, size);
    std::vector<const char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    JobSettings settings;
    ParseOutcome outcome = ParseOutcome::Failed;
    {
        StdoutRedirect quiet("/dev/null");
        outcome = parseCommandLine(static_cast<int>(arguments.size()), argv.data(), settings);
    }
    return outcome == ParseOutcome::Run ? checkSettings(settings) : std::string();
}
