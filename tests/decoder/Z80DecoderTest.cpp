// The Master System / Game Gear decoder, decoder/sms/lzss_decode.asm, assembled with
// pasmo together with the code file morvik writes and run in z80ex: the bytes it sends
// to the VDP data port must be the pattern data of the same job without -pack, each
// tile row widened to the format's planes.
//
// The WLA-DX directives are translated line by line: `.DEFINE NAME VALUE` becomes
// `NAME EQU VALUE`, `.incbin` becomes `INCBIN`, `.IF` and `.ENDIF` become `IF` and
// `ENDIF`; everything else is written the same for both assemblers.
#include "e2e/RunMorvik.hpp"
#include "lzss/Lzss.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#if defined(MORVIK_HAVE_Z80EX)
#include <z80ex.h>
#endif

namespace {

using testimages::Rgb;

constexpr uint32_t kStackTop = 0xDFF0;
constexpr uint32_t kStackFloor = 0xDF00;    // the stack may grow down to here
constexpr uint32_t kRingEnd = 0xD000;       // each ring buffer ends here
constexpr uint64_t kTStateLimit = 50000000; // a runaway program stops here
constexpr uint8_t kRamFill = 0xA5;          // RAM holds this before the program runs

// ---------------------------------------------------------------------------
// Assembling

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The WLA-DX source in pasmo's syntax; an unknown directive fails the test.
std::string translateWla(const std::string &text) {
    std::istringstream in(text);
    std::string out;
    std::string line;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(" \t");
        const std::string body = start == std::string::npos ? std::string() : line.substr(start);
        if (startsWithNoCase(body, ".DEFINE ")) {
            std::istringstream words(body.substr(8));
            std::string name;
            std::string value;
            words >> name;
            std::getline(words >> std::ws, value);
            out += name + " EQU " + value + "\n";
        } else if (startsWithNoCase(body, ".INCBIN ")) {
            out += "INCBIN " + body.substr(8) + "\n";
        } else if (startsWithNoCase(body, ".IF ")) {
            out += "IF " + body.substr(4) + "\n";
        } else if (startsWithNoCase(body, ".ENDIF")) {
            out += "ENDIF\n";
        } else {
            EXPECT_NE(body.rfind('.', 0), 0u) << "directive left untranslated: " << line;
            out += line + "\n";
        }
    }
    return out;
}

std::string findProgram(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string();
}

const std::string &pasmoPath() {
    static const std::string path = findProgram("pasmo");
    return path;
}

std::string decoderSource() {
    const std::vector<unsigned char> bytes =
        readFileBytes(std::string(MORVIK_SOURCE_DIR) + "/decoder/sms/lzss_decode.asm");
    return std::string(bytes.begin(), bytes.end());
}

struct Program {
    std::vector<uint8_t> bytes; // loaded at address 0
    std::map<std::string, uint32_t> symbols;
};

// Reads pasmo's symbol file: one `name EQU 0XXXXH` a line.
std::map<std::string, uint32_t> readSymbols(const std::string &path) {
    const std::vector<unsigned char> bytes = readFileBytes(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::map<std::string, uint32_t> symbols;
    std::string name;
    std::string equ;
    std::string value;
    while (in >> name >> equ >> value) {
        if (!value.empty() && (value.back() == 'H' || value.back() == 'h'))
            value.pop_back();
        symbols[name] = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
    }
    return symbols;
}

// The driver calls `entry` `calls` times and halts; then come the ring buffer's
// address, the code file and the decoder, all translated.
Program assemble(const TempDir &dir, const std::string &wlaCodeFile, const std::string &entry,
                 uint32_t ringBuffer, int calls = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "ORG 0\nld sp,$%04X\n", kStackTop);
    std::string source = text;
    for (int i = 0; i < calls; ++i)
        source += "call " + entry + "\n";
    source += "halt\n";
    std::snprintf(text, sizeof text, "LZSS_RING_BUFFER EQU $%04X\n", ringBuffer);
    source += text;
    source += translateWla(wlaCodeFile);
    source += translateWla(decoderSource());
    source += "lzss_program_end:\n";
    writeFileBytes(dir.file("program.asm"),
                   std::vector<unsigned char>(source.begin(), source.end()));
    const RunResult result = runProgram(
        pasmoPath(), {"--bin", "program.asm", "program.bin", "program.sym"}, dir.path.string());
    Program program;
    EXPECT_EQ(result.status, 0) << "pasmo failed:\n" << result.output << source;
    if (result.status != 0)
        return program;
    const std::vector<unsigned char> bytes = readFileBytes(dir.file("program.bin"));
    program.bytes.assign(bytes.begin(), bytes.end());
    program.symbols = readSymbols(dir.file("program.sym"));
    return program;
}

// ---------------------------------------------------------------------------
// Running

struct Z80Run {
    std::vector<uint8_t> port; // bytes written to port $BE, in order
    uint64_t tStates = 0;      // from the first instruction to the halt
    uint64_t entry = 0;        // T-state at which lzss_decode_vram is first entered
    uint64_t firstOut = 0;     // T-state of the first and the last write to $BE
    uint64_t lastOut = 0;      //
    uint64_t shortestGap = std::numeric_limits<uint64_t>::max(); // between writes to $BE
    uint32_t stackBytes = 0; // stack used below lzss_decode_vram's return address
    bool halted = false;
    uint32_t haltSp = 0; // SP and IX at the halt
    uint32_t haltIx = 0;
    int calls = 0;   // times lzss_decode_vram was entered
    int returns = 0; // times it came back to its return address with the stack as it was
    std::vector<std::string> strayWrites; // memory outside ring and stack, other ports
};

#if defined(MORVIK_HAVE_Z80EX)

struct Z80exDeleter {
    void operator()(Z80EX_CONTEXT *cpu) const { z80ex_destroy(cpu); }
};
using Z80exCpu = std::unique_ptr<Z80EX_CONTEXT, Z80exDeleter>;

struct Machine {
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x10000, kRamFill);
    uint32_t ringStart = 0;
    uint32_t ringEnd = 0;
    uint32_t lowestStackWrite = kStackTop;
    uint64_t clock = 0; // T-states before the instruction being run
    bool outSeen = false;
    Z80Run run;
};

std::string hexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "$%04X", value);
    return text;
}

Z80EX_BYTE readMemory(Z80EX_CONTEXT *, Z80EX_WORD address, int, void *user) {
    return static_cast<Machine *>(user)->memory[address];
}

void writeMemory(Z80EX_CONTEXT *, Z80EX_WORD address, Z80EX_BYTE value, void *user) {
    Machine &machine = *static_cast<Machine *>(user);
    machine.memory[address] = value;
    if (address >= machine.ringStart && address < machine.ringEnd)
        return;
    if (address >= kStackFloor && address < kStackTop) {
        machine.lowestStackWrite = std::min<uint32_t>(machine.lowestStackWrite, address);
        return;
    }
    machine.run.strayWrites.push_back("memory " + hexWord(address));
}

Z80EX_BYTE readPort(Z80EX_CONTEXT *, Z80EX_WORD, void *) {
    return 0xFF;
}

void writePort(Z80EX_CONTEXT *cpu, Z80EX_WORD port, Z80EX_BYTE value, void *user) {
    Machine &machine = *static_cast<Machine *>(user);
    if ((port & 0xFF) != 0xBE) {
        machine.run.strayWrites.push_back("port " + hexWord(port));
        return;
    }
    const uint64_t now = machine.clock + static_cast<uint64_t>(z80ex_op_tstate(cpu));
    if (machine.outSeen)
        machine.run.shortestGap = std::min(machine.run.shortestGap, now - machine.run.lastOut);
    else
        machine.run.firstOut = now;
    machine.outSeen = true;
    machine.run.lastOut = now;
    machine.run.port.push_back(value);
}

Z80EX_BYTE readInterruptVector(Z80EX_CONTEXT *, void *) {
    return 0xFF;
}

bool emulatorAvailable() {
    return true;
}

Z80Run runZ80(const Program &program, uint32_t ringStart, uint32_t ringSize) {
    Machine machine;
    std::copy(program.bytes.begin(), program.bytes.end(), machine.memory.begin());
    machine.ringStart = ringStart;
    machine.ringEnd = ringStart + ringSize;
    Z80exCpu cpu(z80ex_create(readMemory, &machine, writeMemory, &machine, readPort, &machine,
                              writePort, &machine, readInterruptVector, &machine));
    if (!cpu)
        return machine.run;
    const auto decoder = program.symbols.find("lzss_decode_vram");
    const uint32_t decoderAddress = decoder == program.symbols.end() ? 0x10000 : decoder->second;
    uint32_t entrySp = 0;
    uint32_t returnAddress = 0x10000; // none pending
    uint32_t returnSp = 0;
    while (!z80ex_doing_halt(cpu.get()) && machine.clock < kTStateLimit) {
        const uint32_t pc = z80ex_get_reg(cpu.get(), regPC);
        const uint32_t sp = z80ex_get_reg(cpu.get(), regSP);
        if (pc == decoderAddress) {
            if (entrySp == 0) {
                entrySp = sp;
                machine.run.entry = machine.clock;
            }
            ++machine.run.calls;
            returnAddress = machine.memory[sp] | machine.memory[(sp + 1) & 0xFFFF] << 8;
            returnSp = sp + 2;
        } else if (pc == returnAddress && sp == returnSp) {
            ++machine.run.returns;
            returnAddress = 0x10000;
        }
        machine.clock += static_cast<uint64_t>(z80ex_step(cpu.get()));
    }
    machine.run.halted = z80ex_doing_halt(cpu.get()) != 0;
    machine.run.tStates = machine.clock;
    machine.run.haltSp = z80ex_get_reg(cpu.get(), regSP);
    machine.run.haltIx = z80ex_get_reg(cpu.get(), regIX);
    if (entrySp != 0 && machine.lowestStackWrite < entrySp)
        machine.run.stackBytes = entrySp - machine.lowestStackWrite;
    return machine.run;
}

#else

bool emulatorAvailable() {
    return false;
}

Z80Run runZ80(const Program &, uint32_t, uint32_t) {
    return Z80Run();
}

#endif

// ---------------------------------------------------------------------------
// Streams and expected bytes

// Each ring buffer ends at kRingEnd, so it is aligned to its own size and never at
// the same address for two sizes.
uint32_t ringAddress(int32_t dictSize) {
    return kRingEnd - static_cast<uint32_t>(dictSize);
}

int32_t defineValue(const std::string &codeFile, const std::string &name) {
    const std::string key = ".DEFINE " + name + " ";
    const size_t at = codeFile.find(key);
    if (at == std::string::npos) {
        ADD_FAILURE() << name << " missing from the code file";
        return -1;
    }
    std::string value = codeFile.substr(at + key.size());
    value = value.substr(0, value.find('\n'));
    if (!value.empty() && value[0] == '$')
        return static_cast<int32_t>(std::strtol(value.c_str() + 1, nullptr, 16));
    return static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
}

// The bytes VRAM receives: each row's planesUsed bytes and zeros up to formatPlanes.
std::vector<uint8_t> widenRows(const std::vector<uint8_t> &patterns, int32_t planesUsed,
                               int32_t formatPlanes) {
    if (planesUsed <= 0 || planesUsed >= formatPlanes)
        return patterns;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < patterns.size(); ++i) {
        out.push_back(patterns[i]);
        if ((i + 1) % static_cast<size_t>(planesUsed) == 0)
            out.insert(out.end(), static_cast<size_t>(formatPlanes - planesUsed), 0);
    }
    return out;
}

// A code file in the form morvik writes, for a stream of plain bytes sent as they are.
std::string plainCodeFile(int32_t dictSize, int32_t threshold, const std::string &stem) {
    const LzssSettings lzss = lzssMakeSettings(threshold, dictSize);
    char mask[16];
    std::snprintf(mask, sizeof mask, "$%02x", static_cast<unsigned>(lzss.lenMask));
    std::string text;
    text += ".DEFINE LZSS_DICTIONARY_SIZE " + std::to_string(lzss.dictionarySize) + "\n";
    text += ".DEFINE LZSS_THRESHOLD " + std::to_string(lzss.threshold) + "\n";
    text += ".DEFINE LZSS_LEN_BITS " + std::to_string(16 - lzss.positionBits) + "\n";
    text += ".DEFINE LZSS_LEN_MASK " + std::string(mask) + "\n";
    text += ".DEFINE LZSS_MAX_LEN " + std::to_string(lzss.maxLen) + "\n";
    text += ".DEFINE LZSS_PLANES_USED 1\n.DEFINE LZSS_FORMAT_PLANES 1\n\n";
    text += stem + "_pattern:\n.incbin \"" + stem + ".lzs\"\n" + stem + "_pattern_end:\n\n";
    text += stem + "_pattern_decode:\nld ix," + stem + "_pattern\n";
    text += "ld iy," + stem + "_pattern_end-" + stem + "_pattern\ncall lzss_decode_vram\nret\n";
    return text;
}

// Where the items of a stream start, walked as the decoder walks it.
struct StreamShape {
    std::vector<size_t> flagBytes;
    std::vector<size_t> literals;
    std::vector<size_t> matches;
    int lastGroupItems = 0; // items of the last group, complete ones only
    int longestMatch = 0;
};

StreamShape streamShape(const std::vector<uint8_t> &stream, const LzssSettings &lzss) {
    StreamShape shape;
    size_t at = 0;
    while (at < stream.size()) {
        const uint8_t flags = stream[at];
        shape.flagBytes.push_back(at++);
        shape.lastGroupItems = 0;
        for (int item = 0; item < 8 && at < stream.size(); ++item) {
            if (flags & (1 << item)) {
                shape.literals.push_back(at);
                at += 1;
            } else {
                if (at + 2 > stream.size())
                    return shape;
                shape.matches.push_back(at);
                shape.longestMatch = std::max(shape.longestMatch,
                                              (stream[at + 1] & lzss.lenMask) + lzss.threshold + 1);
                at += 2;
            }
            ++shape.lastGroupItems;
        }
    }
    return shape;
}

// ---------------------------------------------------------------------------
// Pictures

// The 64 colours of the Master System, the first `count` of them.
std::vector<Rgb> smsColours(int count) {
    std::vector<Rgb> colours;
    for (int i = 0; i < count; ++i)
        colours.push_back({static_cast<uint8_t>(85 * (i % 4)),
                           static_cast<uint8_t>(85 * (i / 4 % 4)),
                           static_cast<uint8_t>(85 * (i / 16))});
    return colours;
}

// Tiles of several kinds (flat, stripes, checks, noise, copies of earlier tiles), in
// exactly `colours` colours, all of which appear.
std::vector<Rgb> tilePicture(uint32_t width, uint32_t height, int colours, uint32_t seed) {
    std::mt19937 random(seed);
    const std::vector<Rgb> palette = smsColours(colours);
    std::vector<int> index(static_cast<size_t>(width) * height, 0);
    const uint32_t columns = width / 8;
    const uint32_t tiles = columns * (height / 8);
    auto pixel = [&](uint32_t tile, uint32_t x, uint32_t y) -> int & {
        return index[(tile / columns * 8 + y) * width + tile % columns * 8 + x];
    };
    for (uint32_t tile = 0; tile < tiles; ++tile) {
        const uint32_t kind = random() % 6;
        const int a = static_cast<int>(random() % static_cast<uint32_t>(colours));
        const int b = static_cast<int>(random() % static_cast<uint32_t>(colours));
        const uint32_t source = tile > 0 ? static_cast<uint32_t>(random() % tile) : 0;
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t x = 0; x < 8; ++x) {
                int &value = pixel(tile, x, y);
                switch (kind) {
                case 0:
                    value = a;
                    break;
                case 1:
                    value = (x / 2) % 2 ? a : b;
                    break;
                case 2:
                    value = (x + y) % 2 ? a : b;
                    break;
                case 3:
                    value = static_cast<int>(random() % static_cast<uint32_t>(colours));
                    break;
                default:
                    value = tile > 0 ? pixel(source, x, y) : a;
                    break;
                }
            }
    }
    for (int c = 0; c < colours; ++c)
        index[static_cast<size_t>(c)] = c;
    std::vector<Rgb> pixels;
    for (int value : index)
        pixels.push_back(palette[static_cast<size_t>(value)]);
    return pixels;
}

// ---------------------------------------------------------------------------
// The fixture

struct DecodeResult {
    Z80Run run;
    std::vector<uint8_t> expected;
    Program program;
    uint32_t streamAddress = 0; // where the code file puts the stream
    std::vector<uint8_t> stream;
    int32_t planesUsed = 0;
    int32_t dictSize = 0;
    int32_t threshold = 0;
};

struct Z80DecoderTest : testing::Test {
    TempDir dir;

    void SetUp() override {
        if (!emulatorAvailable())
            GTEST_SKIP() << "built without z80ex";
        if (pasmoPath().empty())
            GTEST_SKIP() << "pasmo is not installed";
    }

    // The checks every run must pass: halted, nothing written outside ring and stack,
    // and the port bytes as expected.
    static void checkRun(const DecodeResult &result, const std::string &what) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(result.run.halted);
        EXPECT_EQ(result.run.strayWrites, std::vector<std::string>());
        EXPECT_LE(result.run.stackBytes, 8u);
        EXPECT_GE(result.run.shortestGap, 32u); // slow enough for the VDP in active display
        // Back in the driver with the stack as it was and IX kept.
        EXPECT_EQ(result.run.haltSp, kStackTop);
        EXPECT_EQ(result.run.haltIx, result.streamAddress);
        EXPECT_GE(result.run.calls, 1);
        EXPECT_EQ(result.run.returns, result.run.calls);
        ASSERT_EQ(result.run.port.size(), result.expected.size());
        const auto differ =
            std::mismatch(result.run.port.begin(), result.run.port.end(), result.expected.begin());
        EXPECT_TRUE(differ.first == result.run.port.end())
            << "first difference at byte " << (differ.first - result.run.port.begin());
    }

    // Packs a picture with `packArguments`, runs the code file and compares with the
    // pattern data of the same job without -pack.
    DecodeResult decodePicture(const std::string &picture, const std::string &base,
                               const std::vector<std::string> &jobArguments,
                               const std::vector<std::string> &packArguments) {
        DecodeResult result;
        std::vector<std::string> raw = {"-image", picture};
        raw.insert(raw.end(), jobArguments.begin(), jobArguments.end());
        std::vector<std::string> packed = raw;
        raw.insert(raw.end(), {"-o", base + ".pat"});
        packed.insert(packed.end(), {"-pack", "-code"});
        packed.insert(packed.end(), packArguments.begin(), packArguments.end());
        packed.insert(packed.end(), {"-o", base + ".lzs"});
        EXPECT_EQ(runMorvik(raw, dir.path.string()).status, 0);
        EXPECT_EQ(runMorvik(packed, dir.path.string()).status, 0);
        const std::vector<unsigned char> codeBytes = readFileBytes(dir.file(base + ".asm"));
        const std::string codeFile(codeBytes.begin(), codeBytes.end());
        result.dictSize = defineValue(codeFile, "LZSS_DICTIONARY_SIZE");
        result.threshold = defineValue(codeFile, "LZSS_THRESHOLD");
        result.planesUsed = defineValue(codeFile, "LZSS_PLANES_USED");
        const int32_t formatPlanes = defineValue(codeFile, "LZSS_FORMAT_PLANES");
        const std::vector<unsigned char> patterns = readFileBytes(dir.file(base + ".pat"));
        result.expected = widenRows(std::vector<uint8_t>(patterns.begin(), patterns.end()),
                                    result.planesUsed, formatPlanes);
        if (result.dictSize <= 0)
            return result;
        const uint32_t ring = ringAddress(result.dictSize);
        result.program = assemble(dir, codeFile, base + "_pattern_decode", ring);
        result.run = runZ80(result.program, ring, static_cast<uint32_t>(result.dictSize));
        result.streamAddress = result.program.symbols[base + "_pattern"];
        return result;
    }

    // Runs a stream of plain bytes through a code file written here; `calls` decodes in
    // a row must each give `expected`.
    DecodeResult decodeStream(const std::vector<uint8_t> &stream, int32_t dictSize,
                              int32_t threshold, const std::vector<uint8_t> &expected,
                              int calls = 1) {
        DecodeResult result;
        result.stream = stream;
        writeFileBytes(dir.file("stream.lzs"),
                       std::vector<unsigned char>(stream.begin(), stream.end()));
        const uint32_t ring = ringAddress(dictSize);
        result.program = assemble(dir, plainCodeFile(dictSize, threshold, "stream"),
                                  "stream_pattern_decode", ring, calls);
        result.run = runZ80(result.program, ring, static_cast<uint32_t>(dictSize));
        result.streamAddress = result.program.symbols["stream_pattern"];
        for (int i = 0; i < calls; ++i)
            result.expected.insert(result.expected.end(), expected.begin(), expected.end());
        result.dictSize = dictSize;
        result.threshold = threshold;
        return result;
    }

    // Packs the bytes with the plain-file job and decodes them.
    DecodeResult packAndDecode(const std::vector<uint8_t> &data, int32_t dictSize,
                               int32_t threshold) {
        writeFileBytes(dir.file("data.bin"), std::vector<unsigned char>(data.begin(), data.end()));
        const RunResult packed =
            runMorvik({"-pack", "data.bin", "-dict", std::to_string(dictSize), "-threshold",
                       std::to_string(threshold), "-o", "data.lzs"},
                      dir.path.string());
        EXPECT_EQ(packed.status, 0) << packed.output;
        const std::vector<unsigned char> stream = readFileBytes(dir.file("data.lzs"));
        return decodeStream(std::vector<uint8_t>(stream.begin(), stream.end()), dictSize, threshold,
                            data);
    }

    void writePicture(const std::string &name, uint32_t width, uint32_t height, int colours,
                      uint32_t seed) {
        ASSERT_TRUE(testimages::writeRgbPng(dir.file(name), width, height,
                                            tilePicture(width, height, colours, seed)));
    }
};

std::vector<uint8_t> randomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t &byte : bytes)
        byte = static_cast<uint8_t>(random() >> 24);
    return bytes;
}

// Words from a small vocabulary between random bytes: literals and matches of many
// lengths and distances.
std::vector<uint8_t> mixedBytes(size_t count, uint32_t seed) {
    static const char *const words[] = {"tile",   "plane",  "palette", "sprite",
                                        "scroll", "vblank", "    ",    "0000000000000000"};
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes;
    while (bytes.size() < count) {
        if (random() % 3 == 0) {
            bytes.push_back(static_cast<uint8_t>(random() >> 24));
        } else {
            const std::string_view word = words[random() % 8];
            bytes.insert(bytes.end(), word.begin(), word.end());
        }
    }
    bytes.resize(count);
    return bytes;
}

std::string settingsName(int32_t dictSize, int32_t threshold) {
    return "-dict " + std::to_string(dictSize) + " -threshold " + std::to_string(threshold);
}

// ---------------------------------------------------------------------------
// Tests

TEST_F(Z80DecoderTest, PicturesWithEveryDictionaryAndThreshold) {
    writePicture("pic.png", 128, 64, 16, 1);
    for (int32_t dictSize : {512, 1024, 2048, 4096})
        for (int32_t threshold : {2, 3, 4}) {
            const std::string base =
                "d" + std::to_string(dictSize) + "t" + std::to_string(threshold);
            const DecodeResult result = decodePicture(
                "pic.png", base, {"-target", "sms"},
                {"-dict", std::to_string(dictSize), "-threshold", std::to_string(threshold)});
            EXPECT_EQ(result.dictSize, dictSize);
            EXPECT_EQ(result.threshold, threshold);
            EXPECT_EQ(result.planesUsed, 4);
            EXPECT_EQ(result.expected.size(), 128u * 64u / 2u);
            checkRun(result, settingsName(dictSize, threshold));
        }
    const DecodeResult chosen = decodePicture("pic.png", "auto", {"-target", "sms"}, {"-autocomp"});
    checkRun(chosen, "-autocomp");
}

TEST_F(Z80DecoderTest, PicturesWithOneToFourPlanes) {
    struct Case {
        int colours;
        int32_t planes;
        std::vector<std::string> job;
    };
    const std::vector<Case> cases = {
        {2, 1, {"-target", "sms"}},          {3, 2, {"-target", "sms"}},
        {4, 2, {"-target", "sgg"}},          {5, 3, {"-target", "sms"}},
        {8, 3, {"-target", "sms", "-opt"}},  {9, 4, {"-target", "sms"}},
        {16, 4, {"-target", "sgg", "-opt"}}, {2, 1, {"-target", "sms", "-format", "p1"}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const std::string picture = "pic" + std::to_string(i) + ".png";
        writePicture(picture, 96, 48, c.colours, static_cast<uint32_t>(10 + i));
        const DecodeResult result = decodePicture(picture, "case" + std::to_string(i), c.job,
                                                  {"-dict", "1024", "-threshold", "2"});
        EXPECT_EQ(result.planesUsed, c.planes) << c.colours << " colours";
        EXPECT_FALSE(result.expected.empty());
        checkRun(result, std::to_string(c.colours) + " colours, case " + std::to_string(i));
    }
}

TEST_F(Z80DecoderTest, PictureOfOneColourWritesNothing) {
    writePicture("flat.png", 16, 16, 1, 3);
    const DecodeResult result = decodePicture("flat.png", "flat", {"-target", "sms"}, {});
    EXPECT_EQ(result.planesUsed, 0);
    EXPECT_TRUE(result.expected.empty());
    checkRun(result, "one colour");
}

TEST_F(Z80DecoderTest, PlainData) {
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> kinds = {
        {"random", randomBytes(3000, 7)},
        {"zeros", std::vector<uint8_t>(5000, 0)},
        {"mixed", mixedBytes(4000, 8)},
        {"one byte", {0x5A}},
        {"empty", {}},
    };
    // (512, 128) gives matches of exactly 256 bytes, (4096, 300) longer ones.
    const std::vector<std::pair<int32_t, int32_t>> settings = {{512, 2},  {1024, 3},  {2048, 4},
                                                               {4096, 2}, {512, 128}, {4096, 300}};
    for (const auto &[name, data] : kinds)
        for (const auto &[dictSize, threshold] : settings) {
            const DecodeResult result = packAndDecode(data, dictSize, threshold);
            checkRun(result, name + " " + settingsName(dictSize, threshold));
            if (name == "zeros" && threshold > 100) {
                const LzssSettings lzss = lzssMakeSettings(threshold, dictSize);
                EXPECT_EQ(streamShape(result.stream, lzss).longestMatch, lzss.maxLen);
            }
        }
}

TEST_F(Z80DecoderTest, StreamsEndingAnywhere) {
    const std::vector<uint8_t> data = mixedBytes(3000, 9);
    const LzssSettings lzss = lzssMakeSettings(2, 1024);
    const std::vector<uint8_t> stream = lzssEncodeBuffer(lzss, data.data(), data.size());
    const StreamShape shape = streamShape(stream, lzss);
    ASSERT_GT(stream.size(), 600u);
    ASSERT_GT(shape.matches.size(), 3u);
    ASSERT_GT(shape.literals.size(), 3u);
    // Cuts after a flag byte, inside a group after a literal and after a match, after
    // the first byte of a match, and at both sides of the 256-byte pages.
    std::vector<size_t> cuts = {0, 1, 2, 255, 256, 257, 511, 512, 513, stream.size() - 1};
    for (size_t k : {size_t{2}, shape.flagBytes.size() / 2, shape.flagBytes.size() - 1})
        cuts.push_back(shape.flagBytes[k] + 1);
    for (size_t k : {size_t{1}, shape.literals.size() / 2})
        cuts.push_back(shape.literals[k] + 1);
    for (size_t k : {size_t{1}, shape.matches.size() / 2, shape.matches.size() - 1}) {
        cuts.push_back(shape.matches[k] + 1);
        cuts.push_back(shape.matches[k] + 2);
    }
    for (size_t cut : cuts) {
        const std::vector<uint8_t> part(stream.begin(), stream.begin() + static_cast<long>(cut));
        const std::vector<uint8_t> expected = lzssDecodeBuffer(lzss, part.data(), part.size());
        const DecodeResult result = decodeStream(part, 1024, 2, expected);
        checkRun(result, "cut at " + std::to_string(cut));
    }
}

TEST_F(Z80DecoderTest, LastGroupPartial) {
    // 3 literals: a flag byte and a group of three items.
    for (size_t count : {size_t{3}, size_t{10}, size_t{21}}) {
        const std::vector<uint8_t> data = randomBytes(count, static_cast<uint32_t>(count));
        const LzssSettings lzss = lzssMakeSettings(2, 512);
        const std::vector<uint8_t> stream = lzssEncodeBuffer(lzss, data.data(), data.size());
        const StreamShape shape = streamShape(stream, lzss);
        EXPECT_EQ(shape.lastGroupItems, static_cast<int>(count % 8));
        checkRun(decodeStream(stream, 512, 2, data), std::to_string(count) + " literals");
    }
}

TEST_F(Z80DecoderTest, EachCallStartsAfresh) {
    // The ring buffer is zeroed at every call: a second call gives the same bytes.
    const std::vector<uint8_t> data = mixedBytes(2500, 11);
    const LzssSettings lzss = lzssMakeSettings(3, 2048);
    const std::vector<uint8_t> stream = lzssEncodeBuffer(lzss, data.data(), data.size());
    checkRun(decodeStream(stream, 2048, 3, data, 2), "two calls");
}

// Prints what a run of the example picture costs: code, RAM and time.
void printFigures(const std::string &label, const DecodeResult &result, size_t streamBytes) {
    const auto symbol = [&](const std::string &name) {
        const auto found = result.program.symbols.find(name);
        return found == result.program.symbols.end() ? 0u : found->second;
    };
    const uint32_t codeBytes = symbol("lzss_program_end") - symbol("lzss_decode_vram");
    const uint64_t decodeTStates = result.run.tStates - result.run.entry;
    const uint64_t streamingTStates = result.run.lastOut - result.run.firstOut;
    const double bytes = static_cast<double>(std::max<size_t>(result.run.port.size(), 1));
    std::printf("%s: -dict %d -threshold %d, planes %d, %zu stream bytes -> %zu VRAM bytes\n"
                "  decoder code %u bytes; RAM %d ring bytes + %u stack bytes + return address\n"
                "  %llu T-states in all (%.1f a byte), %llu before the first byte, %.1f a byte "
                "after it; port writes at least %llu apart\n",
                label.c_str(), result.dictSize, result.threshold, result.planesUsed, streamBytes,
                result.run.port.size(), codeBytes, result.dictSize, result.run.stackBytes,
                static_cast<unsigned long long>(decodeTStates),
                static_cast<double>(decodeTStates) / bytes,
                static_cast<unsigned long long>(result.run.firstOut - result.run.entry),
                static_cast<double>(streamingTStates) / bytes,
                static_cast<unsigned long long>(result.run.shortestGap));
    EXPECT_GT(codeBytes, 100u);
    EXPECT_LT(codeBytes, 256u);
}

TEST_F(Z80DecoderTest, ExamplePictureFigures) {
    // As `make demo` converts it, and quantised to four colours (two planes, padded).
    const std::string example = std::string(MORVIK_SOURCE_DIR) + "/examples/title.png";
    const DecodeResult full =
        decodePicture(example, "title", {"-target", "sms", "-opt"}, {"-autocomp"});
    checkRun(full, "examples/title.png");
    EXPECT_EQ(full.planesUsed, 4);
    printFigures("title.png", full, readFileBytes(dir.file("title.lzs")).size());
    const DecodeResult padded =
        decodePicture(example, "title4", {"-target", "sms", "-opt", "-q", "4"}, {"-autocomp"});
    checkRun(padded, "examples/title.png in four colours");
    EXPECT_EQ(padded.planesUsed, 2);
    printFigures("title.png -q 4", padded, readFileBytes(dir.file("title4.lzs")).size());
}

} // namespace
