#include "e2e/RunMorvik.hpp"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kChildSetupFailed = 126;
constexpr int kExecFailed = 127;

bool dropToNobody() {
    return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

bool setLimit(int resource, uint64_t bytes) {
    if (bytes == 0)
        return true;
    rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    return setrlimit(resource, &limit) == 0;
}

// The test runner may have been started with these ignored or blocked.
void resetSignals() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(signalNumber, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

bool setUpChild(const RunOptions &options) {
    resetSignals();
    if (!setLimit(RLIMIT_FSIZE, options.fileSizeLimit) ||
        !setLimit(RLIMIT_AS, options.addressSpaceLimit))
        return false;
    for (const auto &[name, value] : options.environment)
        if (setenv(name.c_str(), value.c_str(), 1) != 0)
            return false;
    return !options.asNobody || geteuid() != 0 || dropToNobody();
}

// True when every user may enter each folder from the root down to `folder`.
bool everyoneCanEnter(const std::filesystem::path &folder) {
    std::filesystem::path path;
    for (const std::filesystem::path &part : std::filesystem::absolute(folder)) {
        path /= part;
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0)
            return false;
    }
    return true;
}

// A program and the image module beside it, copied into a folder of their own.
struct ProgramCopy {
    TempDir dir;
    std::string binary;
    explicit ProgramCopy(const std::filesystem::path &parent) : dir(parent) {}
};

// Where a run as nobody starts `binary` from: a copy of it and of the image module
// beside it in a folder every user can reach, made once per binary. The build
// folder may lie where nobody may not enter (a checkout under root's home, say),
// and nobody could then neither start the program nor load the module.
const std::string &copyForNobody(const std::string &binary) {
    namespace fs = std::filesystem;
    static std::map<std::string, std::unique_ptr<ProgramCopy>> copies;
    std::unique_ptr<ProgramCopy> &copy = copies[binary];
    if (copy)
        return copy->binary;
    fs::path temporary = fs::temp_directory_path();
    copy = std::make_unique<ProgramCopy>(everyoneCanEnter(temporary) ? temporary : "/tmp");
    chmod(copy->dir.path.c_str(), 0755);
    const fs::path source(binary);
    const fs::path module = source.parent_path() / fs::path(MORVIK_IMAGE_MODULE).filename();
    for (const fs::path &file : {source, module}) {
        const fs::path target = copy->dir.path / file.filename();
        std::error_code error; // a missing copy shows as a failed start
        if (fs::copy_file(file, target, error))
            chmod(target.c_str(), 0755);
    }
    copy->binary = (copy->dir.path / source.filename()).string();
    return copy->binary;
}

} // namespace

RunningProgram startProgram(const std::string &binary, const std::vector<std::string> &arguments,
                            const std::string &workDir, const RunOptions &options) {
    const std::string &program = options.asNobody ? copyForNobody(binary) : binary;
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (chdir(workDir.c_str()) != 0 || !setUpChild(options))
            _exit(kChildSetupFailed);
        execv(program.c_str(), argv.data());
        _exit(kExecFailed);
    }
    close(pipeEnds[1]);
    if (child < 0) {
        close(pipeEnds[0]);
        return {};
    }
    return {child, pipeEnds[0]};
}

RunResult finishProgram(RunningProgram &program) {
    RunResult result;
    if (program.pid < 0)
        return result;
    char buffer[4096];
    ssize_t count;
    while ((count = read(program.outputFd, buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<size_t>(count));
    close(program.outputFd);
    int status = 0;
    rusage usage{};
    wait4(program.pid, &status, 0, &usage);
    program = RunningProgram{};
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.maxRssKb = usage.ru_maxrss;
    return result;
}

RunResult runProgram(const std::string &binary, const std::vector<std::string> &arguments,
                     const std::string &workDir, const RunOptions &options) {
    RunningProgram program = startProgram(binary, arguments, workDir, options);
    return finishProgram(program);
}

RunningProgram startMorvik(const std::vector<std::string> &arguments, const std::string &workDir,
                           const RunOptions &options) {
    return startProgram(MORVIK_BINARY, arguments, workDir, options);
}

RunResult runMorvik(const std::vector<std::string> &arguments, const std::string &workDir,
                    const RunOptions &options) {
    return runProgram(MORVIK_BINARY, arguments, workDir, options);
}

bool permissionsApply() {
    static const bool apply = [] {
        if (geteuid() != 0)
            return true;
        pid_t child = fork();
        if (child == 0)
            _exit(dropToNobody() ? 0 : 1);
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }();
    return apply;
}

std::vector<unsigned char> readFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::string &path, const std::vector<unsigned char> &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string &path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> listDir(const std::string &path) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
