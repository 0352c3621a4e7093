// Outputs that cannot be written: a read-only folder, a full disk, the file size
// limit, a directory in the way, an output that is also the input, and runs ended
// by a signal. Whatever happens, a final name holds either its old contents or the
// complete new file, the run says which file failed and why, and no temporary file
// is left behind.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;
using testimages::Rgb;

const Bytes kOldContents{'o', 'l', 'd', '\n'};
constexpr uint64_t kSmallLimit = 64 * 1024;

Bytes noise(size_t length, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (unsigned char &byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

std::string createError(const std::string &name, int errorCode) {
    return "Error: Failed to create file " + name + ": " + std::strerror(errorCode) + "\n";
}

// The whole output of a plain-file job that failed on its output.
std::string plainJobFailure(const std::string &name, int errorCode) {
    return "\nError: Failed to create file " + name + ": " + std::strerror(errorCode) + "\n";
}

std::vector<std::string> temporaryFiles(const std::string &folder) {
    std::vector<std::string> found;
    for (const std::string &name : listDir(folder))
        if (name.rfind(".morvik-", 0) == 0)
            found.push_back(name);
    return found;
}

// A picture of `colours` colours in vertical stripes, as a palette PNG.
bool writeStripes(const std::string &path, uint32_t width, uint32_t height, int colours) {
    std::vector<Rgb> palette;
    for (int c = 0; c < colours; ++c)
        palette.push_back({static_cast<uint8_t>(c * 3), static_cast<uint8_t>(255 - c),
                           static_cast<uint8_t>(c * 7)});
    std::vector<uint8_t> indexes(size_t{width} * height);
    for (size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = static_cast<uint8_t>((i % width) * 7 % static_cast<size_t>(colours));
    return testimages::writeIndexedPng(path, width, height, indexes, palette);
}

// A test folder every user may write into: the program may run as nobody.
struct FailureInjection : testing::Test {
    TempDir dir;
    std::vector<std::string> lockedFolders;

    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        ASSERT_EQ(chmod(dir.path.c_str(), 0777), 0);
    }
    void TearDown() override {
        for (const std::string &folder : lockedFolders)
            chmod(file(folder).c_str(), 0755); // so that the folder can be removed
    }
    std::string file(const std::string &name) const { return dir.file(name); }
    void put(const std::string &name, const Bytes &bytes) {
        writeFileBytes(file(name), bytes);
        ASSERT_EQ(chmod(file(name).c_str(), 0666), 0);
    }
    void putPicture(const std::string &name, uint32_t width, uint32_t height, int colours) {
        ASSERT_TRUE(writeStripes(file(name), width, height, colours));
        ASSERT_EQ(chmod(file(name).c_str(), 0666), 0);
    }
    void makeFolder(const std::string &name) {
        ASSERT_EQ(mkdir(file(name).c_str(), 0777), 0);
        ASSERT_EQ(chmod(file(name).c_str(), 0777), 0);
    }
    void lockFolder(const std::string &name) {
        ASSERT_EQ(chmod(file(name).c_str(), 0555), 0);
        lockedFolders.push_back(name);
    }
    RunResult run(const std::vector<std::string> &arguments, const RunOptions &options = {}) {
        return runMorvik(arguments, dir.path, options);
    }
    // The run failed on `name` for `errorCode`, as a clean exit with status 1.
    static void expectCreateFailure(const RunResult &r, const std::string &name, int errorCode) {
        EXPECT_NE(r.output.find(createError(name, errorCode)), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("Done."), std::string::npos) << r.output;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.signal, 0);
    }
    void expectOldContents(const std::string &name) const {
        EXPECT_EQ(readFileBytes(file(name)), kOldContents) << name;
    }
    void expectMissing(const std::string &name) const {
        EXPECT_FALSE(fileExists(file(name))) << name;
    }
    void expectNoTemporaries(const std::string &folder = ".") const {
        EXPECT_EQ(temporaryFiles(file(folder)), std::vector<std::string>{}) << folder;
    }
};

RunOptions asNobody() {
    RunOptions options;
    options.asNobody = true;
    return options;
}

RunOptions fileSizeLimit(uint64_t bytes) {
    RunOptions options;
    options.fileSizeLimit = bytes;
    return options;
}

// ---------------------------------------------------------------------------
// A read-only output folder. Root ignores permission bits, so as root the
// program runs as nobody.

struct ReadOnlyFolder : FailureInjection {
    void SetUp() override {
        FailureInjection::SetUp();
        if (!permissionsApply())
            GTEST_SKIP() << "permission bits cannot be enforced on the program";
        makeFolder("ro");
        put("ro/old.lzs", kOldContents);
        put("ro/pic.pal", kOldContents);
        lockFolder("ro");
    }
};

TEST_F(ReadOnlyFolder, PlainOutputIsRefusedAndTheOldFileKept) {
    put("in.bin", noise(5000, 1));
    RunResult replace = run({"-pack", "in.bin", "-o", "ro/old.lzs"}, asNobody());
    EXPECT_EQ(replace.output, plainJobFailure("ro/old.lzs", EACCES));
    expectCreateFailure(replace, "ro/old.lzs", EACCES);
    expectOldContents("ro/old.lzs");

    RunResult fresh = run({"-pack", "in.bin", "-o", "ro/new.lzs"}, asNobody());
    expectCreateFailure(fresh, "ro/new.lzs", EACCES);
    expectMissing("ro/new.lzs");
    expectNoTemporaries("ro");
}

TEST_F(ReadOnlyFolder, UnpackIntoTheFolderIsRefused) {
    // Any bytes are a stream.
    RunResult r = run({"-unpack", "ro/old.lzs", "-o", "ro/new.bin"}, asNobody());
    expectCreateFailure(r, "ro/new.bin", EACCES);
    expectOldContents("ro/old.lzs");
    expectMissing("ro/new.bin");
    expectNoTemporaries("ro");
}

TEST_F(ReadOnlyFolder, ImageOutputsAreRefusedFromTheFirstOne) {
    putPicture("pic.png", 16, 16, 4);
    RunResult r = run({"-image", "pic.png", "-target", "sms", "-o", "ro/pic.pat"}, asNobody());
    expectCreateFailure(r, "ro/pic.pal", EACCES);
    expectOldContents("ro/pic.pal");
    expectMissing("ro/pic.nam");
    expectMissing("ro/pic.pat");
    expectNoTemporaries("ro");
}

TEST_F(ReadOnlyFolder, PreviewInAReadOnlyFolderFailsLast) {
    putPicture("pic.png", 16, 16, 4);
    RunResult r =
        run({"-image", "pic.png", "-target", "sms", "-preview", "ro/view.bmp"}, asNobody());
    expectCreateFailure(r, "ro/view.bmp", EACCES);
    EXPECT_TRUE(fileExists(file("pic.png.pat")));
    expectMissing("ro/view.bmp");
    expectNoTemporaries("ro");
    expectNoTemporaries();
}

// The runs above are made as nobody, who may not enter the build folder when the
// checkout lies in a private folder (root's home, say). Here the program lies in one.
TEST_F(ReadOnlyFolder, HoldsWhereverTheProgramLies) {
    makeFolder("private");
    ASSERT_EQ(chmod(file("private").c_str(), 0700), 0);
    const std::filesystem::path module(MORVIK_IMAGE_MODULE);
    std::filesystem::copy_file(MORVIK_BINARY, file("private/morvik"));
    std::filesystem::copy_file(module, file("private/" + module.filename().string()));
    putPicture("pic.png", 16, 16, 4);
    RunResult r = runProgram(file("private/morvik"),
                             {"-image", "pic.png", "-target", "sms", "-o", "ro/pic.pat"}, dir.path,
                             asNobody());
    // Only a run that loaded the image module gets as far as its outputs.
    expectCreateFailure(r, "ro/pic.pal", EACCES);
    expectOldContents("ro/pic.pal");
}

// ---------------------------------------------------------------------------
// A full disk: a small tmpfs mounted in the test folder (root only).

struct SmallDisk {
    std::string path;
    bool mounted = false;
    int errorCode = 0;
    SmallDisk(const std::string &folder, const char *size) : path(folder) {
        std::string options = std::string("size=") + size + ",mode=0777";
        mounted = mkdir(path.c_str(), 0777) == 0 &&
                  mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
        errorCode = mounted ? 0 : errno;
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    ~SmallDisk() {
        if (mounted)
            umount2(path.c_str(), MNT_DETACH);
    }
};

struct FullDisk : FailureInjection {
    std::unique_ptr<SmallDisk> disk;
    void SetUp() override {
        FailureInjection::SetUp();
        disk = std::make_unique<SmallDisk>(file("small"), "64k");
        if (!disk->mounted)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(disk->errorCode);
        put("small/keep.lzs", kOldContents);
    }
    void TearDown() override {
        disk.reset();
        FailureInjection::TearDown();
    }
};

TEST_F(FullDisk, PackReportsNoSpaceAndKeepsTheOldFile) {
    put("big.bin", noise(1 << 20, 2));
    RunResult replace = run({"-pack", "big.bin", "-o", "small/keep.lzs"});
    EXPECT_EQ(replace.output, plainJobFailure("small/keep.lzs", ENOSPC));
    expectCreateFailure(replace, "small/keep.lzs", ENOSPC);
    expectOldContents("small/keep.lzs");

    RunResult fresh = run({"-pack", "big.bin", "-o", "small/new.lzs"});
    expectCreateFailure(fresh, "small/new.lzs", ENOSPC);
    expectMissing("small/new.lzs");
    expectNoTemporaries("small");
}

TEST_F(FullDisk, ImagePatternsReportNoSpace) {
    putPicture("pic.png", 512, 256, 200); // 128 KiB of pattern data as 32X l8
    RunResult r = run({"-image", "pic.png", "-target", "32x", "-o", "small/pic.pat"});
    expectCreateFailure(r, "small/pic.pat", ENOSPC);
    EXPECT_EQ(readFileBytes(file("small/pic.pal")).size(), 400u); // written before, complete
    expectMissing("small/pic.pat");
    expectNoTemporaries("small");
}

// ---------------------------------------------------------------------------
// The file size limit (ulimit -f): the write fails with EFBIG, not the process.

TEST_F(FailureInjection, FileSizeLimitStopsPackCleanly) {
    put("big.bin", noise(1 << 20, 3));
    put("out.lzs", kOldContents);
    RunResult r = run({"-pack", "big.bin", "-o", "out.lzs"}, fileSizeLimit(kSmallLimit));
    EXPECT_EQ(r.output, "\nError: Failed to create file out.lzs: File too large\n");
    expectCreateFailure(r, "out.lzs", EFBIG);
    expectOldContents("out.lzs");
    expectNoTemporaries();
}

TEST_F(FailureInjection, FileSizeLimitStopsUnpackCleanly) {
    put("zeros.bin", Bytes(1 << 18, 0));
    ASSERT_EQ(run({"-pack", "zeros.bin", "-o", "zeros.lzs"}).status, 0);
    ASSERT_LT(readFileBytes(file("zeros.lzs")).size(), kSmallLimit);
    RunResult r = run({"-unpack", "zeros.lzs", "-o", "zeros.out"}, fileSizeLimit(kSmallLimit));
    EXPECT_EQ(r.output, plainJobFailure("zeros.out", EFBIG));
    expectCreateFailure(r, "zeros.out", EFBIG);
    expectMissing("zeros.out");
    expectNoTemporaries();
}

TEST_F(FailureInjection, FileSizeLimitStopsImageJobCleanly) {
    putPicture("pic.png", 512, 256, 200);
    RunResult r = run({"-image", "pic.png", "-target", "32x", "-preview", "view.bmp"},
                      fileSizeLimit(kSmallLimit));
    expectCreateFailure(r, "pic.png.pat", EFBIG);
    expectMissing("pic.png.pat");
    expectMissing("view.bmp");
    expectNoTemporaries();
}

// ---------------------------------------------------------------------------
// A directory where an output should go.

TEST_F(FailureInjection, PlainOutputNamedLikeADirectory) {
    put("in.bin", noise(1000, 4));
    makeFolder("sub");
    RunResult r = run({"-pack", "in.bin", "-o", "sub"});
    EXPECT_EQ(r.output, "\nError: Failed to create file sub: Is a directory\n");
    expectCreateFailure(r, "sub", EISDIR);
    EXPECT_TRUE(std::filesystem::is_directory(file("sub")));
    EXPECT_EQ(listDir(file("sub")), std::vector<std::string>{});
    expectNoTemporaries();
}

TEST_F(FailureInjection, ImageOutputsNamedLikeADirectory) {
    putPicture("pic.png", 16, 16, 4);
    makeFolder("tiles.pat");
    RunResult patterns = run({"-image", "pic.png", "-target", "sms", "-o", "tiles.pat"});
    expectCreateFailure(patterns, "tiles.pat", EISDIR);
    EXPECT_TRUE(std::filesystem::is_directory(file("tiles.pat")));

    makeFolder("view.bmp");
    RunResult preview =
        run({"-image", "pic.png", "-target", "sms", "-pack", "-preview", "view.bmp"});
    expectCreateFailure(preview, "view.bmp", EISDIR);
    EXPECT_TRUE(fileExists(file("pic.png.lzs")));
    EXPECT_EQ(listDir(file("view.bmp")), std::vector<std::string>{});
    expectNoTemporaries();
}

// ---------------------------------------------------------------------------
// Outputs that name the same file, or the input: refused before anything is written.

TEST_F(FailureInjection, CollidingOutputsAreRefusedBeforeAnyWrite) {
    putPicture("pic.png", 24, 16, 5);
    const Bytes picture = readFileBytes(file("pic.png"));
    struct Case {
        std::vector<std::string> arguments;
        const char *name;
    };
    const Case cases[] = {
        {{"-pack", "-code", "-o", "t.asm"}, "t.asm"},
        {{"-o", "t.pal"}, "t.pal"},
        {{"-preview", "t.pat", "-o", "t.pat"}, "t.pat"},
        {{"-preview", "x.bmp", "-o", "sub/../x.bmp"}, "x.bmp"},
        {{"-o", "pic.png"}, "pic.png"}, // the patterns would replace the picture
    };
    makeFolder("sub");
    for (const Case &c : cases) {
        std::vector<std::string> arguments = {"-image", "pic.png", "-target", "sms"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        RunResult r = run(arguments);
        EXPECT_EQ(r.output, std::string("\nError: Output files collide: ") + c.name + "\n")
            << c.name;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"pic.png", "sub"})) << c.name;
    }
    EXPECT_EQ(readFileBytes(file("pic.png")), picture);
    // Outputs that would not be written do not collide: d15 writes no palette.
    RunResult direct =
        run({"-image", "pic.png", "-target", "32x", "-format", "d15", "-o", "d.pal"});
    EXPECT_EQ(direct.status, 0) << direct.output;
}

// ---------------------------------------------------------------------------
// Interrupted runs: the program reads a FIFO that never ends, so it waits with
// its temporary output open until the signal comes.

// Ends a child still running when the test gives up, and closes the FIFO.
struct InterruptedRun {
    RunningProgram program;
    int writer = -1;
    InterruptedRun() = default;
    InterruptedRun(const InterruptedRun &) = delete;
    InterruptedRun &operator=(const InterruptedRun &) = delete;
    ~InterruptedRun() {
        if (program.pid > 0) {
            kill(program.pid, SIGKILL);
            finishProgram(program);
        }
        if (writer >= 0)
            close(writer);
    }
};

// Ignores SIGPIPE while it lives, should the child close the FIFO early.
struct IgnoreBrokenPipe {
    struct sigaction previous {};
    IgnoreBrokenPipe() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
    }
    IgnoreBrokenPipe(const IgnoreBrokenPipe &) = delete;
    IgnoreBrokenPipe &operator=(const IgnoreBrokenPipe &) = delete;
    ~IgnoreBrokenPipe() { sigaction(SIGPIPE, &previous, nullptr); }
};

template <typename Condition> bool waitUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// True once the process holds a file open in `folder` other than its input:
// its output, named or not yet named.
bool writesInto(pid_t pid, const std::string &folder) {
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(fds, error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.rfind(folder + "/", 0) == 0 && target.find("in.fifo") == std::string::npos)
            return true;
    }
    return false;
}

// Runs the program, killing it should it still run after 20 seconds.
RunResult runWithDeadline(const std::vector<std::string> &arguments, const std::string &folder,
                          const RunOptions &options = {}) {
    RunningProgram program = startMorvik(arguments, folder, options);
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!finished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!finished)
            kill(program.pid, SIGKILL);
    });
    RunResult result = finishProgram(program);
    finished = true;
    watchdog.join();
    return result;
}

struct InterruptCase {
    const char *name;
    int signalNumber;
    const char *mode; // -pack or -unpack
};

void PrintTo(const InterruptCase &c, std::ostream *out) {
    *out << c.name;
}

struct Interrupted : FailureInjection, testing::WithParamInterface<InterruptCase> {};

TEST_P(Interrupted, LeavesNoTemporaryFile) {
    const InterruptCase &c = GetParam();
    ASSERT_EQ(mkfifo(file("in.fifo").c_str(), 0666), 0);
    put("out.bin", kOldContents);
    IgnoreBrokenPipe ignoreBrokenPipe;
    InterruptedRun run;
    run.program = startMorvik({c.mode, "in.fifo", "-o", "out.bin"}, dir.path);
    ASSERT_GT(run.program.pid, 0);
    // Opening without blocking succeeds once the program has opened its end.
    ASSERT_TRUE(waitUntil([&] {
        run.writer = open(file("in.fifo").c_str(), O_WRONLY | O_NONBLOCK);
        return run.writer >= 0;
    })) << "the program never opened its input";
    Bytes data = noise(4096, 6);
    ASSERT_EQ(write(run.writer, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    ASSERT_TRUE(waitUntil([&] { return writesInto(run.program.pid, dir.path); }))
        << "no temporary output appeared";

    ASSERT_EQ(kill(run.program.pid, c.signalNumber), 0);
    RunResult r = finishProgram(run.program);
    EXPECT_EQ(r.signal, c.signalNumber);
    EXPECT_EQ(r.status, -1);
    expectOldContents("out.bin");
    expectNoTemporaries();
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted,
                         testing::Values(InterruptCase{"IntPack", SIGINT, "-pack"},
                                         InterruptCase{"TermPack", SIGTERM, "-pack"},
                                         InterruptCase{"HupPack", SIGHUP, "-pack"},
                                         InterruptCase{"IntUnpack", SIGINT, "-unpack"},
                                         InterruptCase{"TermUnpack", SIGTERM, "-unpack"}),
                         [](const testing::TestParamInfo<InterruptCase> &info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// A source that never ends: the first write that fails stops the job at once.

TEST_F(FullDisk, EndlessInputStopsAtTheFirstFailedWrite) {
    for (const char *mode : {"-unpack", "-pack"}) {
        RunResult r = runWithDeadline({mode, "/dev/zero", "-o", "small/z.bin"}, dir.path);
        EXPECT_EQ(r.output, plainJobFailure("small/z.bin", ENOSPC)) << mode;
        expectCreateFailure(r, "small/z.bin", ENOSPC);
        expectMissing("small/z.bin");
    }
    expectNoTemporaries("small");
}

TEST_F(FailureInjection, EndlessInputStopsAtTheFileSizeLimit) {
    RunResult r = runWithDeadline({"-pack", "/dev/urandom", "-o", "r.lzs"}, dir.path,
                                  fileSizeLimit(kSmallLimit));
    EXPECT_EQ(r.output, plainJobFailure("r.lzs", EFBIG));
    expectMissing("r.lzs");
    expectNoTemporaries();
}

// ---------------------------------------------------------------------------
// Special output names: written through, followed or refused, never replaced.

TEST_F(FailureInjection, FifoOutputIsWrittenDirectly) {
    put("in.bin", noise(20000, 9));
    ASSERT_EQ(run({"-pack", "in.bin", "-o", "ref.lzs"}).status, 0);
    ASSERT_EQ(mkfifo(file("out.fifo").c_str(), 0666), 0);
    // The reader never blocks, so a program that replaced the FIFO fails the test
    // instead of hanging it.
    int fifo = open(file("out.fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    Bytes received;
    std::atomic<bool> finished{false};
    std::thread reader([&] {
        unsigned char buffer[4096];
        for (;;) {
            const bool last = finished;
            ssize_t count = read(fifo, buffer, sizeof buffer);
            if (count > 0)
                received.insert(received.end(), buffer, buffer + count);
            else if (last)
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    RunResult r = runWithDeadline({"-pack", "in.bin", "-o", "out.fifo"}, dir.path);
    finished = true;
    reader.join();
    close(fifo);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(received, readFileBytes(file("ref.lzs")));
    struct stat info {};
    ASSERT_EQ(stat(file("out.fifo").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    expectNoTemporaries();
}

TEST_F(FailureInjection, CharacterDeviceOutputIsWrittenDirectly) {
    if (mknod(file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    put("in.bin", noise(5000, 10));
    RunResult r = run({"-pack", "in.bin", "-o", "null"});
    EXPECT_EQ(r.status, 0) << r.output;
    struct stat info {};
    ASSERT_EQ(stat(file("null").c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    expectNoTemporaries();
}

TEST_F(FailureInjection, SymbolicLinkIsFollowedAndItsTargetReplaced) {
    put("in.bin", noise(5000, 11));
    ASSERT_EQ(run({"-pack", "in.bin", "-o", "ref.lzs"}).status, 0);
    makeFolder("real");
    put("real/old.lzs", kOldContents);
    std::filesystem::create_symlink("real/old.lzs", file("link.lzs"));
    std::filesystem::create_symlink("real/new.lzs", file("dangling.lzs"));
    for (const char *link : {"link.lzs", "dangling.lzs"}) {
        RunResult r = run({"-pack", "in.bin", "-o", link});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(std::filesystem::is_symlink(file(link))) << link;
    }
    EXPECT_EQ(readFileBytes(file("real/old.lzs")), readFileBytes(file("ref.lzs")));
    EXPECT_EQ(readFileBytes(file("real/new.lzs")), readFileBytes(file("ref.lzs")));
    expectNoTemporaries();
    expectNoTemporaries("real");
}

TEST_F(FailureInjection, ReadOnlyFileSocketAndLoopAreRefused) {
    put("in.bin", noise(5000, 12));
    put("locked.lzs", kOldContents);
    ASSERT_EQ(chmod(file("locked.lzs").c_str(), 0444), 0);
    RunResult locked = run({"-pack", "in.bin", "-o", "locked.lzs"});
    EXPECT_EQ(locked.output, plainJobFailure("locked.lzs", EACCES));
    expectOldContents("locked.lzs");

    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketName = file("sock");
    ASSERT_LT(socketName.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketName.c_str(), socketName.size() + 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    RunResult sock = run({"-pack", "in.bin", "-o", "sock"});
    close(listener);
    EXPECT_EQ(sock.output, plainJobFailure("sock", ENXIO));
    EXPECT_TRUE(std::filesystem::is_socket(file("sock")));

    std::filesystem::create_symlink("loop", file("loop"));
    RunResult loop = run({"-pack", "in.bin", "-o", "loop"});
    EXPECT_EQ(loop.output, plainJobFailure("loop", ELOOP));
    expectNoTemporaries();
}

// ---------------------------------------------------------------------------
// SIGKILL cannot be caught: the output has no name until it is complete.

TEST_F(FailureInjection, KilledRunsLeaveNoFileBehind) {
    put("big.bin", noise(4 << 20, 13));
    for (int delay : {0, 5, 20, 60}) {
        RunningProgram program = startMorvik({"-pack", "big.bin", "-o", "out.lzs"}, dir.path);
        ASSERT_GT(program.pid, 0);
        ASSERT_TRUE(waitUntil([&] { return writesInto(program.pid, dir.path); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        kill(program.pid, SIGKILL);
        RunResult r = finishProgram(program);
        EXPECT_EQ(r.signal, SIGKILL) << delay;
        EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"big.bin"})) << delay;
    }
}

} // namespace
