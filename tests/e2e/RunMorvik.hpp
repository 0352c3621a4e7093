// Runs the built morvik binary and captures what it prints.
#pragma once

#include "imagemodule/TestImages.hpp"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// How the child process is set up before it starts the program.
struct RunOptions {
    bool asNobody = false;          // when run as root: the child runs as uid and gid 65534,
                                    // from a copy of the program every user can reach
    uint64_t fileSizeLimit = 0;     // RLIMIT_FSIZE in bytes; 0 leaves the limit alone
    uint64_t addressSpaceLimit = 0; // RLIMIT_AS in bytes; 0 leaves the limit alone
    std::vector<std::pair<std::string, std::string>> environment; // set in the child
};

struct RunResult {
    std::string output; // standard output
    int status = -1;    // exit status; -1 when it did not exit normally
    int signal = 0;     // the signal that ended it, 0 when it exited
    long maxRssKb = 0;  // the child's peak resident set size in KiB
};

// A child started by startProgram and not waited for yet.
struct RunningProgram {
    pid_t pid = -1;
    int outputFd = -1; // reading end of the child's standard output
};

// Starts `binary` with `arguments` in the folder `workDir`; the interrupt signals
// are unblocked and at their default action in the child.
RunningProgram startProgram(const std::string &binary, const std::vector<std::string> &arguments,
                            const std::string &workDir, const RunOptions &options = {});

// Reads the child's output to its end and waits for it.
RunResult finishProgram(RunningProgram &program);

// Runs `binary` with `arguments` in the folder `workDir`.
RunResult runProgram(const std::string &binary, const std::vector<std::string> &arguments,
                     const std::string &workDir, const RunOptions &options = {});

// Starts / runs the morvik binary of this build.
RunningProgram startMorvik(const std::vector<std::string> &arguments, const std::string &workDir,
                           const RunOptions &options = {});
RunResult runMorvik(const std::vector<std::string> &arguments, const std::string &workDir,
                    const RunOptions &options = {});

// True when the processes this test starts are bound by file permission bits:
// not root, or root able to start children as nobody.
bool permissionsApply();

using testimages::TempDir;

std::vector<unsigned char> readFileBytes(const std::string &path);
void writeFileBytes(const std::string &path, const std::vector<unsigned char> &bytes);
bool fileExists(const std::string &path);
// Names of the entries of a folder, sorted.
std::vector<std::string> listDir(const std::string &path);
