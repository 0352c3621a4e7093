#include "codegen/CodeFile.hpp"

#include "common/OutputFile.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <initializer_list>
#include <string_view>

namespace {

// The codec constants as the console-side decoder needs them.
struct CodecConstants {
    int32_t lenBits = 0;
    int32_t lenMask = 0;
    int32_t maxLen = 0;
};

CodecConstants codecConstants(int32_t dictSize, int32_t threshold) {
    const int32_t positionBits = lzssFloorLog2(static_cast<uint32_t>(dictSize));
    CodecConstants constants;
    constants.lenBits = 16 - positionBits;
    // Sizes beyond 65536 leave no length bits; keep the shifts defined.
    int32_t lengthRange = constants.lenBits > 0 ? (1 << constants.lenBits) : 1;
    constants.lenMask = lengthRange - 1;
    constants.maxLen = lengthRange + threshold;
    return constants;
}

std::string formatTime(const std::tm &time, const char *format) {
    char text[32] = {};
    size_t length = std::strftime(text, sizeof text, format, &time);
    return std::string(text, length);
}

std::string dateAndTime(const std::tm &time) {
    return formatTime(time, "%m/%d/%y") + " " + formatTime(time, "%H:%M:%S");
}

std::string hexByte(int32_t value) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "%02x", static_cast<unsigned>(value));
    return text;
}

std::string number(int32_t value) {
    return std::to_string(value);
}

// Appends the pieces in order.
void add(std::string &text, std::initializer_list<std::string_view> pieces) {
    for (std::string_view piece : pieces)
        text.append(piece);
}

// The data between its two labels; the caller adds the line break after the end label.
void addPatternBlock(std::string &text, const std::string &stem, const std::string &dataFile) {
    add(text, {stem, "_pattern:\n.incbin \"", dataFile, "\"\n", stem, "_pattern_end:"});
}

std::string renderWla(const CodeFileValues &values) {
    const CodecConstants constants = codecConstants(values.dictSize, values.threshold);
    const std::string stem = codeLabelStem(values.outputBaseName);
    std::string text;
    add(text, {"; Created by Morvik on ", dateAndTime(values.time), "\n\n"});
    add(text, {".DEFINE LZSS_DICTIONARY_SIZE ", number(values.dictSize), "\n"});
    add(text, {".DEFINE LZSS_THRESHOLD ", number(values.threshold), "\n"});
    add(text, {".DEFINE LZSS_LEN_BITS ", number(constants.lenBits), "\n"});
    add(text, {".DEFINE LZSS_LEN_MASK $", hexByte(constants.lenMask), "\n"});
    add(text, {".DEFINE LZSS_MAX_LEN ", number(constants.maxLen), "\n"});
    add(text, {".DEFINE LZSS_PLANES_USED ", number(values.planeCount), "\n"});
    add(text, {".DEFINE LZSS_FORMAT_PLANES ", number(values.formatPlanes), "\n"});
    text += "\n";
    addPatternBlock(text, stem, values.outputBaseName + ".lzs");
    add(text, {"\n\n", stem, "_pattern_decode:\n"});
    add(text, {"ld ix,", stem, "_pattern\n"});
    add(text, {"ld iy,", stem, "_pattern_end-", stem, "_pattern\n"});
    add(text, {"call lzss_decode_vram\nret\n"});
    return text;
}

std::string renderGnu(const CodeFileValues &values) {
    const CodecConstants constants = codecConstants(values.dictSize, values.threshold);
    const std::string stem = codeLabelStem(values.outputBaseName);
    std::string text;
    add(text, {"# Created by Morvik on ", dateAndTime(values.time), "\n\n"});
    add(text, {".EQU LZSS_DICTIONARY_SIZE, ", number(values.dictSize), "\n"});
    add(text, {".EQU LZSS_THRESHOLD, ", number(values.threshold), "\n"});
    add(text, {".EQU LZSS_LEN_BITS, ", number(constants.lenBits), "\n"});
    add(text, {".EQU LZSS_LEN_MASK, 0x", hexByte(constants.lenMask), "\n"});
    add(text, {".EQU LZSS_MAX_LEN, ", number(constants.maxLen), "\n"});
    add(text, {"\n.text\n.globl ", stem, "_pattern_decode\n\n"});
    addPatternBlock(text, stem, values.outputBaseName + ".lzs");
    // The 68000 runs code only from even addresses and the data may have any
    // length, so the routine and the decoder are aligned to a word (.align
    // counts bytes on this assembler).
    add(text, {"\n\n.align 2\n", stem, "_pattern_decode:\n"});
    // Registers carry the % prefix: without it GNU as for m68k Linux takes a2
    // and d0 for symbols, and every m68k GNU as accepts it.
    add(text, {"move.l #", stem, "_pattern,%a2\n"});
    add(text, {"move.l #(", stem, "_pattern_end-", stem, "_pattern),%d0\n"});
    add(text, {"jsr lzss_decode_vram\nrts\n\n.align 2\n"});
    // The decoder's fixed relative path, each separator written as an escaped backslash.
    add(text, {R"(.include "..\\..\\decoder\\smd\\lzss_decode.s")", "\n"});
    return text;
}

bool isLabelCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

std::string codeLabelStem(const std::string &outputBaseName) {
    size_t slash = outputBaseName.rfind('/');
    std::string stem =
        slash == std::string::npos ? outputBaseName : outputBaseName.substr(slash + 1);
    for (char &c : stem) {
        if (!isLabelCharacter(c))
            c = '_';
    }
    if (stem.empty() || (stem[0] >= '0' && stem[0] <= '9'))
        stem.insert(stem.begin(), '_');
    return stem;
}

std::string renderCodeFile(CodeForm form, const CodeFileValues &values) {
    switch (form) {
    case CodeForm::Wla:
        return renderWla(values);
    case CodeForm::Gnu:
        return renderGnu(values);
    case CodeForm::None:
        break;
    }
    return std::string();
}

void writeCodeFile(const std::string &fileName, CodeForm form, const CodeFileValues &values) {
    const std::string text = renderCodeFile(form, values);
    writeJobFile(fileName, text.data(), text.size(), /*textMode=*/true);
}
