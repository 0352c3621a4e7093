// The Mega Drive decoder (decoder/smd/lzss_decode.s) on an emulated 68000: the
// code file morvik writes is assembled and linked with the m68k binutils, the
// program is loaded into Unicorn and called, and the words written to the VDP
// data port must spell the pattern data, high byte first. The routine must keep
// every register, touch no memory but its ring buffer, its stack and the data
// port, read the stream with byte accesses only and never read past its end.
#include "codegen/CodeFile.hpp"
#include "e2e/RunMorvik.hpp"
#include "lzss/Lzss.hpp"

#include "common/ShellCommands.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#ifdef MORVIK_HAVE_UNICORN
#include <unicorn/unicorn.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef MORVIK_HAVE_UNICORN

// ---------------------------------------------------------------------------
// Tools

using shell::commandOutput;
using shell::quoted;
using shell::runShell;
using shell::toolOnPath;

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// Why the emulated runs cannot happen here, or "" when they can.
std::string missingPieces() {
    for (const char *tool : {"m68k-linux-gnu-as", "m68k-linux-gnu-ld", "m68k-linux-gnu-objcopy",
                             "m68k-linux-gnu-nm", "m68k-linux-gnu-objdump"}) {
        if (!toolOnPath(tool))
            return std::string(tool) + " is not on PATH (binutils-m68k-linux-gnu)";
    }
    return "";
}

#else

std::string missingPieces() {
    return "built without Unicorn (libunicorn-dev)";
}

#endif // MORVIK_HAVE_UNICORN

#define SKIP_WITHOUT_EMULATION()                                                                   \
    do {                                                                                           \
        const std::string missing = missingPieces();                                               \
        if (!missing.empty())                                                                      \
            GTEST_SKIP() << missing;                                                               \
    } while (false)

#ifdef MORVIK_HAVE_UNICORN

// ---------------------------------------------------------------------------
// Building a program

constexpr uint32_t kTextBase = 0x000200;
constexpr uint32_t kReturnMarker = 0x000100; // the emulation stops when the PC gets here
constexpr uint32_t kRomSize = 0x100000;
constexpr uint32_t kLooseStreams = 0x080000; // where the tests put streams of their own
constexpr uint32_t kVdpBase = 0xC00000;
constexpr uint32_t kVdpData = 0xC00000;    // data port and its mirror at +2
constexpr uint32_t kVdpControl = 0xC00004; // control port and its mirror at +2
constexpr uint32_t kRamBase = 0xFF0000;
constexpr uint32_t kRamSize = 0x10000;
constexpr uint32_t kStackTop = 0xFFFF00;
constexpr uint32_t kStackFloor = 0xFFF000;
constexpr uint64_t kInstructionLimit = 50'000'000;

const std::string kDecoderSource = std::string(MORVIK_SOURCE_DIR) + "/decoder/smd/lzss_decode.s";

// The one file name gas opens for the code file's backslash include.
const std::string kIncludedName =
    std::string("..") + '\\' + ".." + '\\' + "decoder" + '\\' + "smd" + '\\' + "lzss_decode.s";

struct Symbol {
    uint32_t address = 0;
    uint32_t size = 0;
};

struct Instruction {
    uint32_t address = 0;
    std::string mnemonic; // objdump's (MIT) spelling: movew, beqs, dbf, ...
    std::string operands;
};

struct Program {
    std::vector<uint8_t> text; // loaded at kTextBase
    std::map<std::string, Symbol> symbols;
    std::vector<Instruction> decoder; // lzss_decode_vram disassembled
    std::string log;                  // what the tools printed
};

// "address [size] type name" lines of nm -S.
std::map<std::string, Symbol> parseSymbols(const std::string &nmOutput) {
    std::map<std::string, Symbol> symbols;
    for (const std::string &line : splitLines(nmOutput)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string part; fields >> part;)
            parts.push_back(part);
        Symbol symbol;
        if (parts.size() == 4) {
            symbol.address = static_cast<uint32_t>(std::stoul(parts[0], nullptr, 16));
            symbol.size = static_cast<uint32_t>(std::stoul(parts[1], nullptr, 16));
            symbols[parts[3]] = symbol;
        } else if (parts.size() == 3) {
            symbol.address = static_cast<uint32_t>(std::stoul(parts[0], nullptr, 16));
            symbols[parts[2]] = symbol;
        }
    }
    return symbols;
}

// objdump -d lines "  4b2:\t48e7 fef0      \tmoveml %d0-%d6/%a0-%a3,%sp@-".
std::vector<Instruction> parseDisassembly(const std::string &text, uint32_t from, uint32_t to) {
    std::vector<Instruction> instructions;
    for (const std::string &line : splitLines(text)) {
        const size_t colon = line.find(":\t");
        if (colon == std::string::npos)
            continue;
        const size_t second = line.find('\t', colon + 2);
        if (second == std::string::npos)
            continue;
        Instruction instruction;
        try {
            instruction.address =
                static_cast<uint32_t>(std::stoul(line.substr(0, colon), nullptr, 16));
        } catch (const std::exception &) {
            continue;
        }
        if (instruction.address < from || instruction.address >= to)
            continue;
        std::istringstream rest(line.substr(second + 1));
        rest >> instruction.mnemonic;
        std::getline(rest >> std::ws, instruction.operands);
        instructions.push_back(instruction);
    }
    return instructions;
}

// Assembles dir/<base>.s (its include must already resolve), links it with the
// text at kTextBase and .bss in work RAM, and loads the pieces the tests need.
bool buildProgram(const fs::path &dir, const std::string &base, Program &program) {
    const std::string inDir = "cd " + quoted(dir.string()) + " && ";
    // The code file names its registers without the % prefix.
    const std::string assemble =
        "m68k-linux-gnu-as -m68000 -o " + quoted(base + ".o") + " " + quoted(base + ".s");
    const std::string link = "m68k-linux-gnu-ld -e 0x200 -Ttext=0x200 -Tbss=0xFF0000 -o " +
                             quoted(base + ".elf") + " " + quoted(base + ".o");
    const std::string extract = "m68k-linux-gnu-objcopy -O binary -j .text " +
                                quoted(base + ".elf") + " " + quoted(base + ".bin");
    const bool built = runShell(inDir + assemble + " >build.log 2>&1 && " + link +
                                " >>build.log 2>&1 && " + extract + " >>build.log 2>&1");
    const std::vector<uint8_t> log = readFileBytes((dir / "build.log").string());
    program.log.assign(log.begin(), log.end());
    if (!built)
        return false;
    program.text = readFileBytes((dir / (base + ".bin")).string());
    program.symbols =
        parseSymbols(commandOutput(inDir + "m68k-linux-gnu-nm -S " + quoted(base + ".elf")));
    const auto decoder = program.symbols.find("lzss_decode_vram");
    if (decoder == program.symbols.end())
        return false;
    program.decoder = parseDisassembly(
        commandOutput(inDir + "m68k-linux-gnu-objdump -d " + quoted(base + ".elf")),
        decoder->second.address, decoder->second.address + decoder->second.size);
    return !program.text.empty() && kTextBase + program.text.size() <= kLooseStreams;
}

void copyDecoderAs(const fs::path &target) {
    fs::copy_file(kDecoderSource, target, fs::copy_options::overwrite_existing);
}

// The code file morvik would write for a plain data file named <base>.lzs.
void writeCodeFileFor(const fs::path &dir, const std::string &base, int32_t dictSize,
                      int32_t threshold) {
    CodeFileValues values;
    values.dictSize = dictSize;
    values.threshold = threshold;
    values.outputBaseName = base;
    const std::string code = renderCodeFile(CodeForm::Gnu, values);
    writeFileBytes((dir / (base + ".s")).string(), std::vector<uint8_t>(code.begin(), code.end()));
}

// ---------------------------------------------------------------------------
// The console

struct EngineCloser {
    void operator()(uc_engine *engine) const { uc_close(engine); }
};
using Engine = std::unique_ptr<uc_engine, EngineCloser>;

// D0-D7, A0-A7 in that order.
using RegisterFile = std::array<uint32_t, 16>;

struct Console {
    Engine engine;
    uint32_t decoderStart = 0;
    uint32_t decoderEnd = 0;
    uint32_t ringStart = 0;
    uint32_t ringEnd = 0;
    // The call being watched.
    uint32_t streamStart = 0;
    uint32_t streamEnd = 0;
    std::vector<uint16_t> dataWords;
    uint64_t controlWrites = 0;
    uint64_t instructions = 0;        // all executed
    uint64_t decoderInstructions = 0; // executed inside lzss_decode_vram
    uint32_t lowestStackWrite = kStackTop;
    std::vector<std::string> faults;
    // Per decoder halfword: times executed, and times followed by the next instruction.
    std::vector<uint64_t> executed;
    std::vector<uint64_t> fellThrough;
    uint32_t previousAddress = 0;
    uint32_t previousSize = 0;
};

std::string hex(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "$%06llX", static_cast<unsigned long long>(value));
    return text;
}

void addFault(Console &console, const std::string &fault) {
    if (console.faults.size() < 20)
        console.faults.push_back(fault);
}

void onCode(uc_engine *engine, uint64_t address, uint32_t size, void *data) {
    Console &console = *static_cast<Console *>(data);
    if (++console.instructions > kInstructionLimit)
        uc_emu_stop(engine);
    const auto inDecoder = [&console](uint64_t at) {
        return at >= console.decoderStart && at < console.decoderEnd;
    };
    if (inDecoder(console.previousAddress) &&
        address == uint64_t{console.previousAddress} + console.previousSize)
        ++console.fellThrough[(console.previousAddress - console.decoderStart) / 2];
    if (inDecoder(address)) {
        ++console.decoderInstructions;
        ++console.executed[(address - console.decoderStart) / 2];
    }
    console.previousAddress = static_cast<uint32_t>(address);
    console.previousSize = size;
}

void onWrite(uc_engine *, uc_mem_type, uint64_t address, int size, int64_t value, void *data) {
    Console &console = *static_cast<Console *>(data);
    if (size > 1 && (address & 1) != 0)
        addFault(console, "word write at odd address " + hex(address));
    if (address >= kVdpData && address < kVdpData + 4) {
        if (size != 2)
            addFault(console, "data port write of " + std::to_string(size) + " bytes");
        else
            console.dataWords.push_back(static_cast<uint16_t>(value));
    } else if (address >= kVdpControl && address < kVdpControl + 4) {
        ++console.controlWrites;
    } else if (address >= console.ringStart && address + size <= console.ringEnd) {
    } else if (address >= kStackFloor && address + size <= kStackTop) {
        console.lowestStackWrite =
            std::min(console.lowestStackWrite, static_cast<uint32_t>(address));
    } else {
        addFault(console, "write to " + hex(address));
    }
}

void onRead(uc_engine *, uc_mem_type, uint64_t address, int size, int64_t, void *data) {
    Console &console = *static_cast<Console *>(data);
    if (size > 1 && (address & 1) != 0)
        addFault(console, "word read at odd address " + hex(address));
    if (address < kRamBase &&
        (address < console.streamStart || address >= console.streamEnd || size != 1))
        addFault(console, "read of " + std::to_string(size) + " bytes at " + hex(address) +
                              " outside the stream");
}

bool onBadAccess(uc_engine *, uc_mem_type, uint64_t address, int, int64_t, void *data) {
    addFault(*static_cast<Console *>(data), "access to unmapped " + hex(address));
    return false; // stop the run
}

bool check(uc_err result, const char *what, std::string &error) {
    if (result == UC_ERR_OK)
        return true;
    error = std::string(what) + ": " + uc_strerror(result);
    return false;
}

// A 68000 with the program in ROM, work RAM full of junk, and the VDP ports.
std::unique_ptr<Console> makeConsole(const Program &program, std::string &error) {
    auto console = std::make_unique<Console>();
    uc_engine *raw = nullptr;
    if (!check(uc_open(UC_ARCH_M68K, UC_MODE_BIG_ENDIAN, &raw), "uc_open", error))
        return nullptr;
    console->engine.reset(raw);
    uc_engine *engine = raw;
    if (!check(uc_ctl_set_cpu_model(engine, UC_CPU_M68K_M68000), "cpu model", error) ||
        !check(uc_mem_map(engine, 0, kRomSize, UC_PROT_READ | UC_PROT_EXEC), "map ROM", error) ||
        !check(uc_mem_map(engine, kVdpBase, 0x1000, UC_PROT_READ | UC_PROT_WRITE), "map VDP",
               error) ||
        !check(uc_mem_map(engine, kRamBase, kRamSize, UC_PROT_READ | UC_PROT_WRITE), "map RAM",
               error) ||
        !check(uc_mem_write(engine, kTextBase, program.text.data(), program.text.size()),
               "load ROM", error))
        return nullptr;
    const std::vector<uint8_t> junk(kRamSize, 0xA5);
    if (!check(uc_mem_write(engine, kRamBase, junk.data(), junk.size()), "fill RAM", error))
        return nullptr;

    const Symbol decoder = program.symbols.at("lzss_decode_vram");
    const Symbol ring = program.symbols.at("lzss_ring_buffer");
    console->decoderStart = decoder.address;
    console->decoderEnd = decoder.address + decoder.size;
    console->ringStart = ring.address;
    console->ringEnd = ring.address + ring.size;
    console->executed.assign(decoder.size / 2 + 1, 0);
    console->fellThrough.assign(decoder.size / 2 + 1, 0);

    uc_hook hook = 0;
    Console *data = console.get();
    if (!check(
            uc_hook_add(engine, &hook, UC_HOOK_CODE, reinterpret_cast<void *>(&onCode), data, 1, 0),
            "code hook", error) ||
        !check(uc_hook_add(engine, &hook, UC_HOOK_MEM_WRITE, reinterpret_cast<void *>(&onWrite),
                           data, 1, 0),
               "write hook", error) ||
        !check(uc_hook_add(engine, &hook, UC_HOOK_MEM_READ, reinterpret_cast<void *>(&onRead), data,
                           1, 0),
               "read hook", error) ||
        !check(uc_hook_add(engine, &hook, UC_HOOK_MEM_INVALID,
                           reinterpret_cast<void *>(&onBadAccess), data, 1, 0),
               "unmapped hook", error))
        return nullptr;
    return console;
}

// Distinct values for every register a call must keep.
RegisterFile callerRegisters() {
    RegisterFile registers{};
    for (uint32_t i = 0; i < 8; ++i)
        registers[i] = 0xD0000000u | (i * 0x01010101u) | 0x00800000u;
    for (uint32_t i = 0; i < 7; ++i)
        registers[8 + i] = 0x00A00000u + i * 0x1234u + 0x10;
    registers[15] = kStackTop;
    return registers;
}

// Calls `entry` with the given registers and a return address at kReturnMarker;
// the registers hold what the routine left when it returned.
bool callRoutine(Console &console, uint32_t entry, RegisterFile &registers, std::string &error) {
    uc_engine *engine = console.engine.get();
    console.dataWords.clear();
    console.controlWrites = 0;
    console.instructions = 0;
    console.decoderInstructions = 0;
    console.lowestStackWrite = kStackTop;
    console.faults.clear();
    std::fill(console.executed.begin(), console.executed.end(), 0);
    std::fill(console.fellThrough.begin(), console.fellThrough.end(), 0);
    console.previousAddress = 0;
    console.previousSize = 0;

    const uint32_t stack = registers[15] - 4;
    const uint8_t returnAddress[4] = {0, 0, static_cast<uint8_t>(kReturnMarker >> 8),
                                      static_cast<uint8_t>(kReturnMarker)};
    if (!check(uc_mem_write(engine, stack, returnAddress, 4), "push", error))
        return false;
    // The status register first: a change of mode would swap the stack pointers.
    const uint32_t status = 0x2700;
    uc_reg_write(engine, UC_M68K_REG_SR, &status);
    for (int i = 0; i < 8; ++i) {
        uc_reg_write(engine, UC_M68K_REG_D0 + i, &registers[i]);
        uc_reg_write(engine, UC_M68K_REG_A0 + i, i == 7 ? &stack : &registers[8 + i]);
    }
    if (!check(uc_emu_start(engine, entry, kReturnMarker, 0, 0), "run", error)) {
        for (const std::string &fault : console.faults)
            error += "; " + fault;
        return false;
    }
    uint32_t pc = 0;
    uc_reg_read(engine, UC_M68K_REG_PC, &pc);
    if (pc != kReturnMarker) {
        error = "stopped at " + hex(pc) + " after " + std::to_string(console.instructions) +
                " instructions";
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        uc_reg_read(engine, UC_M68K_REG_D0 + i, &registers[i]);
        uc_reg_read(engine, UC_M68K_REG_A0 + i, &registers[8 + i]);
    }
    return true;
}

// The bytes of the data port words, high byte first.
std::vector<uint8_t> wordBytes(const std::vector<uint16_t> &words) {
    std::vector<uint8_t> bytes;
    for (uint16_t word : words) {
        bytes.push_back(static_cast<uint8_t>(word >> 8));
        bytes.push_back(static_cast<uint8_t>(word));
    }
    return bytes;
}

// The words must be the expected bytes in pairs; an odd last byte comes with a 0.
void expectWordsSpell(const std::vector<uint16_t> &words, const std::vector<uint8_t> &expected) {
    std::vector<uint8_t> padded = expected;
    if (padded.size() % 2 != 0)
        padded.push_back(0);
    const std::vector<uint8_t> got = wordBytes(words);
    ASSERT_EQ(got.size(), padded.size());
    const auto mismatch = std::mismatch(got.begin(), got.end(), padded.begin());
    EXPECT_TRUE(mismatch.first == got.end())
        << "first difference at byte " << (mismatch.first - got.begin());
}

void expectCleanCall(const Console &console, const RegisterFile &before, const RegisterFile &after,
                     bool keepsD0AndA2) {
    for (const std::string &fault : console.faults)
        ADD_FAILURE() << fault;
    EXPECT_EQ(console.controlWrites, 0u);
    for (int i = 0; i < 16; ++i) {
        if (!keepsD0AndA2 && (i == 0 || i == 10))
            continue;
        EXPECT_EQ(after[i], before[i]) << (i < 8 ? "D" : "A") << (i % 8) << " changed";
    }
}

// ---------------------------------------------------------------------------
// Estimated cycles

// Effective address calculation times of the 68000 (byte/word, long).
int addressingCycles(const std::string &operand, bool isLong) {
    if (operand.empty() || operand[0] == '%') {
        if (operand.find('@') == std::string::npos)
            return 0; // Dn, An
        if (operand.back() == '@' || operand.back() == '+')
            return isLong ? 8 : 4; // (An), (An)+
        if (operand.back() == '-')
            return isLong ? 10 : 6; // -(An)
        if (operand.find(',') != std::string::npos)
            return isLong ? 14 : 10; // d8(An,Xn)
        return isLong ? 12 : 8;      // d16(An)
    }
    if (operand[0] == '#')
        return isLong ? 8 : 4;
    return isLong ? 16 : 12; // absolute long (objdump prints the address)
}

// Splits objdump's operand text at the commas outside parentheses and <symbol> notes.
std::vector<std::string> splitOperands(const std::string &text) {
    std::vector<std::string> operands(1);
    int depth = 0;
    for (char c : text) {
        if (c == '(' || c == '<')
            ++depth;
        else if (c == ')' || c == '>')
            --depth;
        if (c == ',' && depth == 0) {
            operands.emplace_back();
            continue;
        }
        operands.back() += c;
    }
    for (std::string &operand : operands) {
        const size_t note = operand.find(" <");
        if (note != std::string::npos)
            operand.erase(note);
    }
    return operands;
}

int registerListCount(const std::string &list) {
    int count = 0;
    std::istringstream parts(list);
    for (std::string part; std::getline(parts, part, '/');) {
        const size_t dash = part.find('-');
        if (dash == std::string::npos)
            ++count;
        else
            count += part[dash + 3] - part[2] + 1; // %d0-%d6
    }
    return count;
}

// Cycles of one execution on a 68000 without wait states, or -1 for a form this
// table does not know. `taken`: a branch went to its target.
int instructionCycles(const Instruction &instruction, bool taken) {
    const std::string &m = instruction.mnemonic;
    const std::vector<std::string> ops = splitOperands(instruction.operands);
    const char size = m.empty() ? ' ' : m.back();
    const bool isLong = size == 'l';
    const auto source = [&](bool isLongOperand) { return addressingCycles(ops[0], isLongOperand); };
    const auto starts = [&m](const char *prefix) { return m.rfind(prefix, 0) == 0; };
    if (m == "rts")
        return 16;
    if (m == "jsr")
        return ops[0][0] == '%' ? 16 : 20;
    if (m == "dbf")
        return taken ? 10 : 14;
    if (starts("bra"))
        return 10;
    if (m.size() == 4 && m[0] == 'b' && (size == 's' || size == 'w'))
        return taken ? 10 : (size == 's' ? 8 : 12);
    if (starts("moveq"))
        return 4;
    if (starts("moveml")) {
        const bool toMemory = ops.size() == 2 && ops[1].find('@') != std::string::npos;
        return toMemory ? 8 + 8 * registerListCount(ops[0]) : 12 + 8 * registerListCount(ops[1]);
    }
    if (starts("move") && ops.size() == 2) {
        int destination = addressingCycles(ops[1], isLong);
        if (!ops[1].empty() && ops[1].back() == '-')
            destination = isLong ? 8 : 4; // -(An) costs a destination no more than (An)
        return 4 + source(isLong) + destination;
    }
    if (m == "lea") {
        const int calc = addressingCycles(ops[0], false);
        return calc == 10 ? 12 : calc; // d8(An,Xn) takes 12 in LEA
    }
    if (starts("addq") || starts("subq"))
        return ops[1][0] == '%' && ops[1][1] == 'd' && !isLong ? 4 : 8;
    if (starts("cmpa"))
        return 6 + source(isLong);
    if (starts("andi") || starts("ori") || starts("addi") || starts("subi") || starts("cmpi"))
        return isLong ? 16 : 8;
    if (starts("and") || starts("or") || starts("add") || starts("sub") || starts("cmp")) {
        if (!isLong)
            return 4 + source(false);
        const int calc = source(true);
        return calc <= 8 && (ops[0][0] == '#' || ops[0].find('@') == std::string::npos) ? 8
                                                                                        : 6 + calc;
    }
    if (starts("lsl") || starts("lsr") || starts("asl") || starts("asr") || starts("rox") ||
        starts("rol") || starts("ror")) {
        if (ops.size() != 2 || ops[0][0] != '#')
            return -1;
        const int count = std::atoi(ops[0].c_str() + 1);
        return (isLong ? 8 : 6) + 2 * count;
    }
    if (starts("clr"))
        return isLong ? 6 : 4;
    return -1;
}

struct Estimate {
    uint64_t cycles = 0;
    uint64_t setupCycles = 0; // the part before the first item: saving registers, clearing the ring
    std::vector<std::string> unknown;
};

Estimate estimateDecoderCycles(const Console &console, const std::vector<Instruction> &decoder) {
    Estimate estimate;
    bool inSetup = true;
    for (const Instruction &instruction : decoder) {
        if (instruction.mnemonic == "lsrb")
            inSetup = false;
        const size_t slot = (instruction.address - console.decoderStart) / 2;
        const uint64_t runs = console.executed[slot];
        if (runs == 0)
            continue;
        const uint64_t falls = console.fellThrough[slot];
        const int takenCycles = instructionCycles(instruction, true);
        const int fallCycles = instructionCycles(instruction, false);
        if (takenCycles < 0 || fallCycles < 0) {
            estimate.unknown.push_back(instruction.mnemonic + " " + instruction.operands);
            continue;
        }
        const uint64_t cycles = (runs - falls) * static_cast<uint64_t>(takenCycles) +
                                falls * static_cast<uint64_t>(fallCycles);
        estimate.cycles += cycles;
        if (inSetup)
            estimate.setupCycles += cycles;
    }
    return estimate;
}

// ---------------------------------------------------------------------------
// Jobs

struct Setting {
    int32_t dictSize;
    int32_t threshold;
};

// Runs the code file's <stem>_pattern_decode on a fresh console, checks the words
// against `expected` and hands the console back for its counts.
void runPatternDecode(const Program &program, const std::string &stem,
                      const std::vector<uint8_t> &expected, std::unique_ptr<Console> &console) {
    std::string error;
    console = makeConsole(program, error);
    ASSERT_TRUE(console) << error;
    const Symbol start = program.symbols.at(stem + "_pattern");
    const Symbol end = program.symbols.at(stem + "_pattern_end");
    console->streamStart = start.address;
    console->streamEnd = end.address;
    const RegisterFile before = callerRegisters();
    RegisterFile after = before;
    ASSERT_TRUE(
        callRoutine(*console, program.symbols.at(stem + "_pattern_decode").address, after, error))
        << error;
    expectCleanCall(*console, before, after, false);
    // lzss_decode_vram keeps the arguments the routine gave it.
    EXPECT_EQ(after[0], end.address - start.address);
    EXPECT_EQ(after[10], start.address);
    expectWordsSpell(console->dataWords, expected);
}

void runPatternDecode(const Program &program, const std::string &stem,
                      const std::vector<uint8_t> &expected) {
    std::unique_ptr<Console> console;
    runPatternDecode(program, stem, expected, console);
}

std::vector<std::string> withSetting(std::vector<std::string> arguments, const Setting &setting) {
    arguments.insert(arguments.end(), {"-dict", std::to_string(setting.dictSize), "-threshold",
                                       std::to_string(setting.threshold)});
    return arguments;
}

const std::string kTitlePicture = std::string(MORVIK_SOURCE_DIR) + "/examples/title.png";

// ---------------------------------------------------------------------------
// Random streams in the stream model

// A stream of `items` items that exercises the model's corners: matches that
// overlap their own output, that read positions never written, that start at
// the write position, and that cross the end of the ring.
std::vector<uint8_t> modelStream(const LzssSettings &lzss, int items, std::mt19937 &random) {
    const int32_t n = lzss.dictionarySize;
    const int32_t lenBits = 16 - lzss.positionBits;
    int32_t r = n - lzss.maxLen;
    std::vector<uint8_t> stream;
    size_t flagAt = 0;
    for (int item = 0; item < items; ++item) {
        if (item % 8 == 0) {
            flagAt = stream.size();
            stream.push_back(0);
        }
        if (random() % 3 == 0) {
            stream[flagAt] |= static_cast<uint8_t>(1u << (item % 8));
            stream.push_back(static_cast<uint8_t>(random() % 7 == 0 ? 0 : random()));
            r = (r + 1) & (n - 1);
            continue;
        }
        int32_t position = 0;
        switch (random() % 5) {
        case 0: // overlapping its own output
            position = r - 1 - static_cast<int32_t>(random() % 4);
            break;
        case 1: // the write position itself: the byte written N ago
            position = r;
            break;
        case 2: // across the end of the ring
            position = n - 1 - static_cast<int32_t>(random() % 6);
            break;
        default:
            position = static_cast<int32_t>(random() % static_cast<uint32_t>(n));
            break;
        }
        position &= n - 1;
        const int32_t lengthCode = static_cast<int32_t>(random() % (1u << lenBits));
        stream.push_back(static_cast<uint8_t>(position & 0xFF));
        stream.push_back(static_cast<uint8_t>(((position >> 8) << lenBits) | lengthCode));
        r = (r + lengthCode + lzss.threshold + 1) & (n - 1);
    }
    return stream;
}

// ---------------------------------------------------------------------------

// Every dictionary size with thresholds 2, 3 and 4 on the example picture's
// tiles (unoptimised, so the data is long and repetitive).
TEST(M68kDecoder, EveryDictionaryAndThresholdDecodesThePicture) {
    SKIP_WITHOUT_EMULATION();
    for (int32_t dictSize : {512, 1024, 2048, 4096}) {
        for (int32_t threshold : {2, 3, 4}) {
            SCOPED_TRACE("-dict " + std::to_string(dictSize) + " -threshold " +
                         std::to_string(threshold));
            TempDir dir;
            ASSERT_FALSE(dir.path.empty());
            fs::copy_file(kTitlePicture, dir.path / "title.png");
            copyDecoderAs(dir.path / kIncludedName);
            const Setting setting{dictSize, threshold};
            const RunResult packed = runMorvik(withSetting({"-image", "title.png", "-target", "smd",
                                                            "-pack", "-code", "-o", "title.lzs"},
                                                           setting),
                                               dir.path.string());
            ASSERT_EQ(packed.status, 0) << packed.output;
            const RunResult raw = runMorvik(
                {"-image", "title.png", "-target", "smd", "-o", "title.pat"}, dir.path.string());
            ASSERT_EQ(raw.status, 0) << raw.output;
            Program program;
            ASSERT_TRUE(buildProgram(dir.path, "title", program)) << program.log;
            const std::vector<uint8_t> pattern = readFileBytes(dir.file("title.pat"));
            ASSERT_EQ(pattern.size(), 24576u);
            runPatternDecode(program, "title", pattern);
        }
    }
}

// The settings search's choice on the optimised example, with the decoder
// where the code file's include points: <project>/decoder/smd/lzss_decode.s
// and the code file two folders below <project>. Also reports the figures.
TEST(M68kDecoder, SearchedSettingsDecodeInTheProjectLayout) {
    SKIP_WITHOUT_EMULATION();
    TempDir project;
    ASSERT_FALSE(project.path.empty());
    fs::create_directories(project.path / "decoder" / "smd");
    copyDecoderAs(project.path / "decoder" / "smd" / "lzss_decode.s");
    const fs::path dir = project.path / "gfx" / "title";
    fs::create_directories(dir);
    fs::copy_file(kTitlePicture, dir / "title.png");

    const RunResult packed = runMorvik({"-image", "title.png", "-target", "smd", "-opt", "-pack",
                                        "-autocomp", "-code", "-o", "title.lzs", "-v"},
                                       dir.string());
    ASSERT_EQ(packed.status, 0) << packed.output;
    const RunResult raw = runMorvik(
        {"-image", "title.png", "-target", "smd", "-opt", "-o", "title.pat"}, dir.string());
    ASSERT_EQ(raw.status, 0) << raw.output;
    const size_t chosenAt = packed.output.find("Using LZSS settings");
    ASSERT_NE(chosenAt, std::string::npos) << packed.output;

    // gas takes the backslash path as one file name in its working folder, so
    // the real folders alone do not satisfy it; a link under that name does.
    Program program;
    EXPECT_FALSE(buildProgram(dir, "title", program));
    fs::create_symlink(fs::path("..") / ".." / "decoder" / "smd" / "lzss_decode.s",
                       dir / kIncludedName);
    ASSERT_TRUE(buildProgram(dir, "title", program)) << program.log;

    const std::vector<uint8_t> pattern = readFileBytes((dir / "title.pat").string());
    std::unique_ptr<Console> console;
    runPatternDecode(program, "title", pattern, console);
    if (HasFatalFailure())
        return;
    const Console &measured = *console;

    const Symbol decoder = program.symbols.at("lzss_decode_vram");
    const Symbol ring = program.symbols.at("lzss_ring_buffer");
    const uint32_t stackBytes = kStackTop - measured.lowestStackWrite;
    const Estimate estimate = estimateDecoderCycles(measured, program.decoder);
    EXPECT_TRUE(estimate.unknown.empty()) << estimate.unknown.front();
    EXPECT_EQ(stackBytes, 4u + 4u + 44u); // two return addresses and the saved registers
    const double bytes = static_cast<double>(pattern.size());
    for (const std::string &line : splitLines(packed.output.substr(chosenAt))) {
        if (line.find("size") != std::string::npos || line.find("settings") != std::string::npos)
            std::printf("[ measure  ] %s\n", line.c_str());
    }
    std::printf("[ measure  ] pattern data %zu bytes, stream %u bytes\n", pattern.size(),
                program.symbols.at("title_pattern_end").address -
                    program.symbols.at("title_pattern").address);
    std::printf("[ measure  ] lzss_decode_vram: %u bytes of code; RAM: %u bytes ring + %u bytes "
                "stack (with the two calls)\n",
                decoder.size, ring.size, stackBytes);
    std::printf("[ measure  ] %llu instructions, %.2f per output byte; about %llu cycles "
                "(%.2f ms at 7.67 MHz), %.1f per byte; %llu of them before the first item "
                "(registers saved, ring cleared), %.1f per byte after\n",
                static_cast<unsigned long long>(measured.decoderInstructions),
                static_cast<double>(measured.decoderInstructions) / bytes,
                static_cast<unsigned long long>(estimate.cycles),
                static_cast<double>(estimate.cycles) / 7670.0,
                static_cast<double>(estimate.cycles) / bytes,
                static_cast<unsigned long long>(estimate.setupCycles),
                static_cast<double>(estimate.cycles - estimate.setupCycles) / bytes);
    // What the search compares: every dictionary size with thresholds 2 to 4.
    for (int32_t dictSize : {512, 1024, 2048, 4096}) {
        std::printf("[ measure  ] -dict %4d:", dictSize);
        for (int32_t threshold : {2, 3, 4}) {
            const LzssSettings lzss = lzssMakeSettings(threshold, dictSize);
            const size_t size = lzssEncodeBuffer(lzss, pattern.data(), pattern.size()).size();
            std::printf("  -threshold %d: %zu bytes", threshold, size);
        }
        std::printf("\n");
    }
}

// A noisy picture quantised to 16 colours: tile data with few repeats, packed
// with an odd threshold.
TEST(M68kDecoder, NoisyPictureDecodes) {
    SKIP_WITHOUT_EMULATION();
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::mt19937 random(7);
    std::vector<testimages::Rgb> pixels(48 * 40);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint8_t shade = static_cast<uint8_t>((i % 48) * 5 + random() % 40);
        pixels[i] = {shade, static_cast<uint8_t>(random()), static_cast<uint8_t>(255 - shade)};
    }
    ASSERT_TRUE(testimages::writeRgbPng(dir.file("noise.png"), 48, 40, pixels));
    copyDecoderAs(dir.path / kIncludedName);
    const Setting setting{2048, 3};
    const RunResult packed = runMorvik(withSetting({"-image", "noise.png", "-target", "smd", "-opt",
                                                    "-pack", "-code", "-o", "noise.lzs"},
                                                   setting),
                                       dir.path.string());
    ASSERT_EQ(packed.status, 0) << packed.output;
    const RunResult raw = runMorvik(
        {"-image", "noise.png", "-target", "smd", "-opt", "-o", "noise.pat"}, dir.path.string());
    ASSERT_EQ(raw.status, 0) << raw.output;
    Program program;
    ASSERT_TRUE(buildProgram(dir.path, "noise", program)) << program.log;
    const std::vector<uint8_t> pattern = readFileBytes(dir.file("noise.pat"));
    ASSERT_EQ(pattern.size(), 30u * 32u);
    runPatternDecode(program, "noise", pattern);
}

// Plain files packed with the plain-file job: random bytes, zeros, one byte,
// nothing, and lengths whose last group is partial.
TEST(M68kDecoder, PlainFilesOfEveryShape) {
    SKIP_WITHOUT_EMULATION();
    std::mt19937 random(1234);
    struct Case {
        const char *name;
        std::vector<uint8_t> data;
    };
    std::vector<Case> cases;
    std::vector<uint8_t> noise(1001);
    for (uint8_t &byte : noise)
        byte = static_cast<uint8_t>(random());
    cases.push_back({"random", noise});
    cases.push_back({"zeros", std::vector<uint8_t>(3000, 0)});
    cases.push_back({"one byte", {0x5A}});
    cases.push_back({"empty", {}});
    std::vector<uint8_t> words;
    for (int i = 0; i < 777; ++i)
        words.push_back(static_cast<uint8_t>("the quick brown fox "[(i * 7 + i / 50) % 20]));
    cases.push_back({"text", words});
    const Setting settings[] = {{512, 2}, {1024, 3}, {4096, 4}};
    for (const Case &item : cases) {
        for (const Setting &setting : settings) {
            SCOPED_TRACE(std::string(item.name) + " -dict " + std::to_string(setting.dictSize) +
                         " -threshold " + std::to_string(setting.threshold));
            TempDir dir;
            ASSERT_FALSE(dir.path.empty());
            writeFileBytes(dir.file("data.bin"), item.data);
            const RunResult packed = runMorvik(
                withSetting({"-pack", "-o", "data.lzs", "data.bin"}, setting), dir.path.string());
            ASSERT_TRUE(fileExists(dir.file("data.lzs"))) << packed.output;
            writeCodeFileFor(dir.path, "data", setting.dictSize, setting.threshold);
            copyDecoderAs(dir.path / kIncludedName);
            Program program;
            ASSERT_TRUE(buildProgram(dir.path, "data", program)) << program.log;
            runPatternDecode(program, "data", item.data);
        }
    }
}

// Streams written to the stream model rather than by the encoder, at even and
// odd addresses, cut at every length, decoded one after another by the same
// console (so each call finds the last one's ring): the words must match the
// reference decoder for every setting, the largest thresholds included.
TEST(M68kDecoder, ModelStreamsMatchTheReferenceDecoder) {
    SKIP_WITHOUT_EMULATION();
    const Setting settings[] = {{512, 0},  {512, 3},  {512, 128}, {1024, 1},
                                {1024, 4}, {2048, 2}, {2048, 9},  {4096, 0},
                                {4096, 2}, {4096, 3}, {4096, 4},  {4096, 2032}};
    std::mt19937 random(99);
    for (const Setting &setting : settings) {
        SCOPED_TRACE("-dict " + std::to_string(setting.dictSize) + " -threshold " +
                     std::to_string(setting.threshold));
        const LzssSettings lzss = lzssMakeSettings(setting.threshold, setting.dictSize);
        ASSERT_EQ(lzss.threshold, setting.threshold);
        TempDir dir;
        ASSERT_FALSE(dir.path.empty());
        writeFileBytes(dir.file("data.lzs"), {});
        writeCodeFileFor(dir.path, "data", setting.dictSize, setting.threshold);
        copyDecoderAs(dir.path / kIncludedName);
        Program program;
        ASSERT_TRUE(buildProgram(dir.path, "data", program)) << program.log;
        std::string error;
        std::unique_ptr<Console> console = makeConsole(program, error);
        ASSERT_TRUE(console) << error;
        const uint32_t entry = program.symbols.at("lzss_decode_vram").address;

        // Items enough for about `bytes` bytes of output, at least `fewest`.
        const auto itemsFor = [&lzss](int bytes, int fewest) {
            const int averageMatch = lzss.threshold + 1 + (lzss.maxLen - lzss.threshold) / 2;
            return std::clamp(bytes * 3 / (2 * averageMatch + 1), fewest, 400);
        };
        std::vector<std::vector<uint8_t>> streams;
        // At least one whole group and the start of the next.
        const std::vector<uint8_t> cutStream = modelStream(lzss, itemsFor(600, 9), random);
        for (size_t length = 0; length <= cutStream.size(); ++length)
            streams.emplace_back(cutStream.begin(), cutStream.begin() + static_cast<long>(length));
        for (int i = 0; i < 4; ++i)
            streams.push_back(modelStream(lzss, itemsFor(6000, 4), random));
        std::vector<uint8_t> noise(2000);
        for (uint8_t &byte : noise)
            byte = static_cast<uint8_t>(random());
        streams.push_back(noise);

        for (size_t i = 0; i < streams.size(); ++i) {
            const std::vector<uint8_t> &stream = streams[i];
            SCOPED_TRACE("stream " + std::to_string(i) + ", " + std::to_string(stream.size()) +
                         " bytes");
            const uint32_t at = kLooseStreams + static_cast<uint32_t>(i % 2);
            if (!stream.empty()) {
                ASSERT_EQ(uc_mem_write(console->engine.get(), at, stream.data(), stream.size()),
                          UC_ERR_OK);
            }
            console->streamStart = at;
            console->streamEnd = at + static_cast<uint32_t>(stream.size());
            RegisterFile before = callerRegisters();
            before[0] = static_cast<uint32_t>(stream.size());
            before[10] = at;
            RegisterFile after = before;
            ASSERT_TRUE(callRoutine(*console, entry, after, error)) << error;
            expectCleanCall(*console, before, after, true);
            expectWordsSpell(console->dataWords,
                             lzssDecodeBuffer(lzss, stream.data(), stream.size()));
            if (HasFailure())
                return;
        }
    }
}

#else

TEST(M68kDecoder, NeedsUnicorn) {
    SKIP_WITHOUT_EMULATION();
}

#endif // MORVIK_HAVE_UNICORN

} // namespace
