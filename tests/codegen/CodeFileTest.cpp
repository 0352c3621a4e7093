// The assembly file written beside compressed pattern data: both source forms
// line by line, the label stem, the writer, and a real m68k assembly run.
#include "codegen/CodeFile.hpp"
#include "common/JobError.hpp"
#include "common/OutputFile.hpp"

#include "common/ShellCommands.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

std::tm sixthOfDecember() {
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 6;
    time.tm_hour = 5;
    time.tm_min = 2;
    time.tm_sec = 44;
    return time;
}

CodeFileValues titleValues(int32_t dictSize, int32_t threshold) {
    CodeFileValues values;
    values.dictSize = dictSize;
    values.threshold = threshold;
    values.planeCount = 4;
    values.formatPlanes = 4;
    values.outputBaseName = "title";
    values.time = sixthOfDecember();
    return values;
}

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::string lineStartingWith(const std::string &text, const std::string &prefix) {
    for (const std::string &line : splitLines(text)) {
        if (line.rfind(prefix, 0) == 0)
            return line;
    }
    return "<no line starting with " + prefix + ">";
}

struct ScratchDir {
    fs::path path;
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "codefile-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty())
            fs::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
};

std::string readFile(const fs::path &name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path &name, const std::string &bytes) {
    std::ofstream out(name, std::ios::binary);
    out << bytes;
}

using shell::commandOutput;
using shell::quoted;
using shell::runShell;
using shell::toolOnPath;

// Symbol name to address, from nm's "address type name" lines.
std::map<std::string, unsigned long> symbolAddresses(const std::string &nmOutput) {
    std::map<std::string, unsigned long> symbols;
    for (const std::string &line : splitLines(nmOutput)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            symbols[name] = std::stoul(address, nullptr, 16);
    }
    return symbols;
}

// ---------------------------------------------------------------------------

TEST(CodeFileWla, TitleExampleHasItsNineteenLines) {
    std::string text = renderCodeFile(CodeForm::Wla, titleValues(4096, 2));
    const std::vector<std::string> expected = {
        "; Created by Morvik on 12/06/26 05:02:44",
        "",
        ".DEFINE LZSS_DICTIONARY_SIZE 4096",
        ".DEFINE LZSS_THRESHOLD 2",
        ".DEFINE LZSS_LEN_BITS 4",
        ".DEFINE LZSS_LEN_MASK $0f",
        ".DEFINE LZSS_MAX_LEN 18",
        ".DEFINE LZSS_PLANES_USED 4",
        ".DEFINE LZSS_FORMAT_PLANES 4",
        "",
        "title_pattern:",
        ".incbin \"title.lzs\"",
        "title_pattern_end:",
        "",
        "title_pattern_decode:",
        "ld ix,title_pattern",
        "ld iy,title_pattern_end-title_pattern",
        "call lzss_decode_vram",
        "ret",
    };
    EXPECT_EQ(splitLines(text), expected);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(CodeFileWla, SmallestDictionaryLeavesSevenLengthBits) {
    std::string text = renderCodeFile(CodeForm::Wla, titleValues(512, 3));
    EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_DICTIONARY_SIZE"),
              ".DEFINE LZSS_DICTIONARY_SIZE 512");
    EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_LEN_BITS"), ".DEFINE LZSS_LEN_BITS 7");
    EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_LEN_MASK"), ".DEFINE LZSS_LEN_MASK $7f");
    EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_MAX_LEN"), ".DEFINE LZSS_MAX_LEN 131");
}

TEST(CodeFileWla, EveryAllowedDictionaryGivesItsConstants) {
    struct Row {
        int32_t dictSize;
        const char *bits;
        const char *mask;
        const char *maxLen;
    };
    const Row rows[] = {{512, "7", "$7f", "132"},
                        {1024, "6", "$3f", "68"},
                        {2048, "5", "$1f", "36"},
                        {4096, "4", "$0f", "20"}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.dictSize);
        std::string text = renderCodeFile(CodeForm::Wla, titleValues(row.dictSize, 4));
        EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_LEN_BITS"),
                  std::string(".DEFINE LZSS_LEN_BITS ") + row.bits);
        EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_LEN_MASK"),
                  std::string(".DEFINE LZSS_LEN_MASK ") + row.mask);
        EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_MAX_LEN"),
                  std::string(".DEFINE LZSS_MAX_LEN ") + row.maxLen);
    }
}

TEST(CodeFileWla, OnePlaneFormatWritesBothPlaneLinesAsOne) {
    CodeFileValues values = titleValues(4096, 2);
    values.planeCount = 1;
    values.formatPlanes = 1;
    std::string text = renderCodeFile(CodeForm::Wla, values);
    EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_PLANES_USED"), ".DEFINE LZSS_PLANES_USED 1");
    EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_FORMAT_PLANES"), ".DEFINE LZSS_FORMAT_PLANES 1");
}

TEST(CodeFileWla, FormatPlanesAreWrittenSigned) {
    CodeFileValues values = titleValues(4096, 2);
    values.formatPlanes = -4;
    std::string text = renderCodeFile(CodeForm::Wla, values);
    EXPECT_EQ(lineStartingWith(text, ".DEFINE LZSS_FORMAT_PLANES"),
              ".DEFINE LZSS_FORMAT_PLANES -4");
}

TEST(CodeFileWla, HeaderUsesTwoDigitFieldsAndTheTwentyFourHourClock) {
    CodeFileValues values = titleValues(4096, 2);
    values.time.tm_year = 1999 - 1900;
    values.time.tm_mon = 0;
    values.time.tm_mday = 31;
    values.time.tm_hour = 23;
    values.time.tm_min = 9;
    values.time.tm_sec = 0;
    std::string text = renderCodeFile(CodeForm::Wla, values);
    EXPECT_EQ(splitLines(text).front(), "; Created by Morvik on 01/31/99 23:09:00");
}

TEST(CodeFileWla, DataFileKeepsTheBaseNameWhileLabelsAreCleaned) {
    CodeFileValues values = titleValues(4096, 2);
    values.outputBaseName = "build/3d-logo";
    std::string text = renderCodeFile(CodeForm::Wla, values);
    EXPECT_EQ(lineStartingWith(text, ".incbin"), ".incbin \"build/3d-logo.lzs\"");
    EXPECT_EQ(lineStartingWith(text, "ld ix,"), "ld ix,_3d_logo_pattern");
    EXPECT_EQ(lineStartingWith(text, "ld iy,"), "ld iy,_3d_logo_pattern_end-_3d_logo_pattern");
    EXPECT_NE(text.find("\n_3d_logo_pattern:\n"), std::string::npos);
    EXPECT_NE(text.find("\n_3d_logo_pattern_end:\n"), std::string::npos);
    EXPECT_NE(text.find("\n_3d_logo_pattern_decode:\n"), std::string::npos);
}

// ---------------------------------------------------------------------------

TEST(CodeFileGnu, MediumDictionaryExampleIsWrittenWhole) {
    std::string text = renderCodeFile(CodeForm::Gnu, titleValues(1024, 3));
    const std::vector<std::string> expected = {
        "# Created by Morvik on 12/06/26 05:02:44",
        "",
        ".EQU LZSS_DICTIONARY_SIZE, 1024",
        ".EQU LZSS_THRESHOLD, 3",
        ".EQU LZSS_LEN_BITS, 6",
        ".EQU LZSS_LEN_MASK, 0x3f",
        ".EQU LZSS_MAX_LEN, 67",
        "",
        ".text",
        ".globl title_pattern_decode",
        "",
        "title_pattern:",
        ".incbin \"title.lzs\"",
        "title_pattern_end:",
        "",
        ".align 2",
        "title_pattern_decode:",
        "move.l #title_pattern,%a2",
        "move.l #(title_pattern_end-title_pattern),%d0",
        "jsr lzss_decode_vram",
        "rts",
        "",
        ".align 2",
        ".include \"..\\\\..\\\\decoder\\\\smd\\\\lzss_decode.s\"",
    };
    EXPECT_EQ(splitLines(text), expected);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
}

TEST(CodeFileGnu, IncludeLineHoldsTwoBackslashesAtEverySeparator) {
    std::string text = renderCodeFile(CodeForm::Gnu, titleValues(4096, 2));
    std::string line = lineStartingWith(text, ".include");
    const std::string path = std::string("..") + '\\' + '\\' + ".." + '\\' + '\\' + "decoder" +
                             '\\' + '\\' + "smd" + '\\' + '\\' + "lzss_decode.s";
    EXPECT_EQ(line, ".include \"" + path + "\"");
    EXPECT_EQ(std::count(line.begin(), line.end(), '\\'), 8);
}

TEST(CodeFileGnu, HasNoPlaneLines) {
    std::string text = renderCodeFile(CodeForm::Gnu, titleValues(4096, 2));
    EXPECT_EQ(text.find("PLANES"), std::string::npos);
    EXPECT_EQ(lineStartingWith(text, ".EQU LZSS_LEN_MASK"), ".EQU LZSS_LEN_MASK, 0x0f");
    EXPECT_EQ(lineStartingWith(text, ".EQU LZSS_MAX_LEN"), ".EQU LZSS_MAX_LEN, 18");
}

TEST(CodeFileGnu, SmallestDictionaryMask) {
    std::string text = renderCodeFile(CodeForm::Gnu, titleValues(512, 2));
    EXPECT_EQ(lineStartingWith(text, ".EQU LZSS_LEN_BITS"), ".EQU LZSS_LEN_BITS, 7");
    EXPECT_EQ(lineStartingWith(text, ".EQU LZSS_LEN_MASK"), ".EQU LZSS_LEN_MASK, 0x7f");
    EXPECT_EQ(lineStartingWith(text, ".EQU LZSS_MAX_LEN"), ".EQU LZSS_MAX_LEN, 130");
}

TEST(CodeFileForms, NoneRendersNothing) {
    EXPECT_EQ(renderCodeFile(CodeForm::None, titleValues(4096, 2)), "");
}

// ---------------------------------------------------------------------------

TEST(CodeFileLabelStem, PlainNameIsKept) {
    EXPECT_EQ(codeLabelStem("title"), "title");
    EXPECT_EQ(codeLabelStem("Title_2"), "Title_2");
}

TEST(CodeFileLabelStem, DirectoryPartIsDropped) {
    EXPECT_EQ(codeLabelStem("build/title"), "title");
    EXPECT_EQ(codeLabelStem("/abs/path/to/sprites"), "sprites");
    EXPECT_EQ(codeLabelStem("./title"), "title");
}

TEST(CodeFileLabelStem, ForeignCharactersBecomeUnderscores) {
    EXPECT_EQ(codeLabelStem("title.v2"), "title_v2");
    EXPECT_EQ(codeLabelStem("my logo-big"), "my_logo_big");
    EXPECT_EQ(codeLabelStem("a\\b"), "a_b");
    EXPECT_EQ(codeLabelStem("caf\xc3\xa9"), "caf__");
}

TEST(CodeFileLabelStem, LeadingDigitGetsAnUnderscore) {
    EXPECT_EQ(codeLabelStem("3d-logo"), "_3d_logo");
    EXPECT_EQ(codeLabelStem("gfx/0"), "_0");
    EXPECT_EQ(codeLabelStem("x9"), "x9");
}

TEST(CodeFileLabelStem, EmptyStemBecomesAnUnderscore) {
    EXPECT_EQ(codeLabelStem(""), "_");
    EXPECT_EQ(codeLabelStem("build/"), "_");
}

// ---------------------------------------------------------------------------

// The message of the failure that ends the job, or "" when the file was written.
std::string codeFileFailure(const fs::path &name, CodeForm form) {
    try {
        writeCodeFile(name.string(), form, titleValues(4096, 2));
    } catch (const JobError &error) {
        return error.message;
    }
    return {};
}

TEST(CodeFileWrite, WritesTheRenderedText) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    fs::path name = dir.path / "title.asm";
    CodeFileValues values = titleValues(2048, 2);
    writeCodeFile(name.string(), CodeForm::Wla, values);
    EXPECT_EQ(readFile(name), renderCodeFile(CodeForm::Wla, values));
}

TEST(CodeFileWrite, ReplacesAnOlderFile) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    fs::path name = dir.path / "title.s";
    writeFile(name, std::string(5000, 'x'));
    CodeFileValues values = titleValues(4096, 2);
    writeCodeFile(name.string(), CodeForm::Gnu, values);
    EXPECT_EQ(readFile(name), renderCodeFile(CodeForm::Gnu, values));
}

TEST(CodeFileWrite, NoFormStillCreatesAnEmptyFile) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    fs::path name = dir.path / "title.asm";
    writeCodeFile(name.string(), CodeForm::None, titleValues(4096, 2));
    ASSERT_TRUE(fs::exists(name));
    EXPECT_EQ(fs::file_size(name), 0u);
}

TEST(CodeFileWrite, MissingDirectoryFailsWithoutLeftovers) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    fs::path name = dir.path / "missing" / "title.asm";
    EXPECT_EQ(codeFileFailure(name, CodeForm::Wla), createFileError(name.string(), ENOENT));
    EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST(CodeFileWrite, DirectoryInTheWayFails) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    fs::path name = dir.path / "title.s";
    fs::create_directory(name);
    EXPECT_NE(codeFileFailure(name, CodeForm::Gnu), "");
    EXPECT_TRUE(fs::is_directory(name));
    EXPECT_TRUE(fs::is_empty(name));
}

// ---------------------------------------------------------------------------

// The GNU form assembled for real: the included data must land between the
// two labels byte for byte, and the decoder include must resolve. The include
// names its path with backslash escapes, so gas on this system opens a single
// file named ..\..\decoder\smd\lzss_decode.s in its working directory.
TEST(CodeFileAssembly, GnuFormAssemblesWithItsDataBetweenTheLabels) {
    if (!toolOnPath("m68k-linux-gnu-as") || !toolOnPath("m68k-linux-gnu-objcopy") ||
        !toolOnPath("m68k-linux-gnu-nm"))
        GTEST_SKIP() << "m68k-linux-gnu binutils are not installed";
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());

    std::string data;
    for (int i = 0; i < 37; ++i)
        data += static_cast<char>((i * 73 + 5) & 0xFF);
    writeFile(dir.path / "title.lzs", data);
    const std::string decoderName =
        std::string("..") + '\\' + ".." + '\\' + "decoder" + '\\' + "smd" + '\\' + "lzss_decode.s";
    writeFile(dir.path / decoderName, ".globl lzss_decode_vram\nlzss_decode_vram:\nrts\n");

    writeCodeFile((dir.path / "title.s").string(), CodeForm::Gnu, titleValues(1024, 3));

    const std::string inDir = "cd " + quoted(dir.path.string()) + " && ";
    // The data has an odd size: the routine must still start on an even address.
    ASSERT_TRUE(runShell(inDir + "m68k-linux-gnu-as -m68000 -o title.o title.s 2>as.log"))
        << readFile(dir.path / "as.log");
    ASSERT_TRUE(runShell(inDir + "m68k-linux-gnu-objcopy -O binary -j .text title.o title.bin"));
    auto symbols = symbolAddresses(commandOutput(inDir + "m68k-linux-gnu-nm title.o"));
    // Registers must assemble as registers, not as undefined symbols.
    EXPECT_EQ(commandOutput(inDir + "m68k-linux-gnu-nm -u title.o"), "");

    ASSERT_TRUE(symbols.count("title_pattern"));
    ASSERT_TRUE(symbols.count("title_pattern_end"));
    ASSERT_TRUE(symbols.count("title_pattern_decode"));
    ASSERT_TRUE(symbols.count("lzss_decode_vram"));
    unsigned long start = symbols["title_pattern"];
    unsigned long end = symbols["title_pattern_end"];
    ASSERT_EQ(end - start, data.size());
    EXPECT_EQ(symbols["title_pattern_decode"], end + 1);
    EXPECT_GT(symbols["lzss_decode_vram"], end);
    EXPECT_EQ(symbols["lzss_decode_vram"] % 2, 0u);

    std::string text = readFile(dir.path / "title.bin");
    ASSERT_GE(text.size(), end);
    EXPECT_EQ(text.substr(start, end - start), data);

    // The constants are real symbols with the values of the header lines.
    EXPECT_EQ(symbols["LZSS_DICTIONARY_SIZE"], 1024u);
    EXPECT_EQ(symbols["LZSS_LEN_MASK"], 0x3fu);
    EXPECT_EQ(symbols["LZSS_MAX_LEN"], 67u);
}

} // namespace
