// Output files: the registry of open temporary files and the interrupt handler
// that removes them. The handler tests run in a forked child, which is ended by
// the signal.
#include "common/OutputFile.hpp"

#include "imagemodule/TestImages.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testimages::TempDir;

std::vector<std::string> entries(const std::filesystem::path &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Named temporary files while it lives: the registry and the interrupt handler
// only see those (unnamed ones vanish with the process by themselves).
struct NamedTemporaries {
    NamedTemporaries() { useNamedTemporaryFiles(true); }
    NamedTemporaries(const NamedTemporaries &) = delete;
    NamedTemporaries &operator=(const NamedTemporaries &) = delete;
    ~NamedTemporaries() { useNamedTemporaryFiles(false); }
};

// Runs `body` in a child process and returns its wait status.
template <typename Body> int inChild(Body body) {
    pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST(OutputFileRegistry, TracksTheOpenTemporaryFiles) {
    NamedTemporaries named;
    TempDir dir;
    const size_t before = openTemporaryFileCount();
    OutputFile kept;
    ASSERT_TRUE(openOutputFile(kept, dir.file("kept.bin")));
    {
        OutputFile dropped;
        ASSERT_TRUE(openOutputFile(dropped, dir.file("dropped.bin")));
        EXPECT_EQ(openTemporaryFileCount(), before + 2);
    }
    EXPECT_EQ(openTemporaryFileCount(), before + 1);
    writeOutputBytes(kept, "abc", 3);
    EXPECT_TRUE(commitOutputFile(kept));
    EXPECT_EQ(openTemporaryFileCount(), before);

    OutputFile discarded;
    ASSERT_TRUE(openOutputFile(discarded, dir.file("discarded.bin")));
    discardOutputFile(discarded);
    EXPECT_EQ(openTemporaryFileCount(), before);
    EXPECT_EQ(entries(dir.path), std::vector<std::string>{"kept.bin"});
}

TEST(OutputFileRegistry, FailedOpenAndFailedCommitLeaveNothingRegistered) {
    NamedTemporaries named;
    TempDir dir;
    const size_t before = openTemporaryFileCount();
    OutputFile missingFolder;
    EXPECT_FALSE(openOutputFile(missingFolder, dir.file("no/such/folder.bin")));
    EXPECT_EQ(openTemporaryFileCount(), before);

    std::filesystem::create_directory(dir.path / "taken");
    OutputFile renamedOntoFolder;
    ASSERT_TRUE(openOutputFile(renamedOntoFolder, dir.file("late.bin")));
    renamedOntoFolder.targetName = dir.file("taken"); // the rename fails
    EXPECT_FALSE(commitOutputFile(renamedOntoFolder));
    EXPECT_EQ(openTemporaryFileCount(), before);
    EXPECT_EQ(entries(dir.path), std::vector<std::string>{"taken"});
}

TEST(OutputFileRegistry, ManyFilesAtOnceStillWork) {
    NamedTemporaries named;
    TempDir dir;
    const size_t before = openTemporaryFileCount();
    std::vector<std::unique_ptr<OutputFile>> files;
    for (int i = 0; i < 40; ++i) {
        std::string name = "f";
        name += std::to_string(i);
        files.push_back(std::make_unique<OutputFile>());
        ASSERT_TRUE(openOutputFile(*files.back(), dir.file(name)));
    }
    for (auto &file : files)
        EXPECT_TRUE(commitOutputFile(*file));
    EXPECT_EQ(entries(dir.path).size(), 40u);
    EXPECT_EQ(openTemporaryFileCount(), before);
}

class InterruptCleanup : public testing::TestWithParam<int> {};

TEST_P(InterruptCleanup, RemovesOpenTemporaryFilesAndEndsBySignal) {
    TempDir dir;
    const int signalNumber = GetParam();
    NamedTemporaries named;
    int status = inChild([&] {
        installInterruptCleanup();
        OutputFile done;
        openOutputFile(done, dir.file("done.bin"));
        writeOutputBytes(done, "done", 4);
        commitOutputFile(done);
        OutputFile first;
        OutputFile second;
        openOutputFile(first, dir.file("first.bin"));
        openOutputFile(second, dir.file("second.bin"));
        writeOutputBytes(first, "partial", 7);
        std::raise(signalNumber);
        _exit(3); // not reached
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), signalNumber);
    EXPECT_EQ(entries(dir.path), std::vector<std::string>{"done.bin"});
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptCleanup, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::string(sigabbrev_np(info.param));
                         });

TEST(InterruptCleanupInstall, LeavesAnIgnoredSignalIgnored) {
    TempDir dir;
    int status = inChild([&] {
        std::signal(SIGHUP, SIG_IGN);
        installInterruptCleanup();
        OutputFile file;
        openOutputFile(file, dir.file("kept.bin"));
        std::raise(SIGHUP);
        _exit(commitOutputFile(file) ? 0 : 4);
    });
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(entries(dir.path), std::vector<std::string>{"kept.bin"});
}

} // namespace
