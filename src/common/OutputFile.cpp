#include "common/OutputFile.hpp"

#include "common/JobError.hpp"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>
#include <pthread.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The temporary files currently open, kept where the interrupt handler can read
// them without allocating: fixed slots of fixed size. A slot is claimed, then
// its name written, then marked ready; the handler only reads ready slots.
constexpr size_t kTemporarySlots = 16;
constexpr int kSlotFree = 0;
constexpr int kSlotClaimed = 1;
constexpr int kSlotReady = 2;

struct TemporarySlot {
    std::atomic<int> state{kSlotFree};
    char name[PATH_MAX] = {};
};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the slots");

TemporarySlot temporarySlots[kTemporarySlots];

const int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t interruptSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : kInterruptSignals)
        sigaddset(&set, signalNumber);
    return set;
}

// Holds the interrupt signals back for its lifetime, so that the handler never
// sees a temporary file created but not registered, or renamed but still listed.
struct InterruptBlock {
    sigset_t previous{};
    InterruptBlock() {
        sigset_t set = interruptSignalSet();
        pthread_sigmask(SIG_BLOCK, &set, &previous);
    }
    InterruptBlock(const InterruptBlock &) = delete;
    InterruptBlock &operator=(const InterruptBlock &) = delete;
    ~InterruptBlock() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
};

// The slot now holding the name, or -1 when the name is too long or every slot
// is taken (the file then works as usual but an interrupt leaves it behind).
int registerTemporaryFile(const std::string &name) {
    if (name.size() >= PATH_MAX)
        return -1;
    for (size_t i = 0; i < kTemporarySlots; ++i) {
        TemporarySlot &slot = temporarySlots[i];
        int expected = kSlotFree;
        if (!slot.state.compare_exchange_strong(expected, kSlotClaimed))
            continue;
        std::memcpy(slot.name, name.c_str(), name.size() + 1);
        slot.state.store(kSlotReady);
        return static_cast<int>(i);
    }
    return -1;
}

void unregisterTemporaryFile(int &slot) {
    if (slot >= 0 && static_cast<size_t>(slot) < kTemporarySlots)
        temporarySlots[slot].state.store(kSlotFree);
    slot = -1;
}

// Removes the temporary file and forgets it, as one step for the handler.
void removeTemporaryFile(OutputFile &file) {
    InterruptBlock block;
    unlink(file.tempName.c_str());
    file.tempName.clear();
    unregisterTemporaryFile(file.registrySlot);
}

// Only async-signal-safe calls: unlink, sigaction, raise.
void removeTemporaryFilesAndRaise(int signalNumber) {
    for (TemporarySlot &slot : temporarySlots)
        if (slot.state.load() == kSlotReady)
            unlink(slot.name);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
    raise(signalNumber); // delivered, with the default action, when the handler returns
}

void catchInterrupt(int signalNumber) {
    struct sigaction previous {};
    if (sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = removeTemporaryFilesAndRaise;
    action.sa_mask = interruptSignalSet();
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

void installInterruptCleanup() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int signalNumber : kInterruptSignals)
        catchInterrupt(signalNumber);
}

size_t openTemporaryFileCount() {
    size_t count = 0;
    for (const TemporarySlot &slot : temporarySlots)
        if (slot.state.load() == kSlotReady)
            ++count;
    return count;
}

OutputFile::~OutputFile() {
    discardOutputFile(*this);
}

namespace {

constexpr int kMaxLinkHops = 40; // as the kernel allows in a path

bool namedTemporariesOnly = false;

std::string directoryOf(const std::string &name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// The name with every symbolic link on its last component followed; a link
// to a missing file gives that file's name. Empty, with errno set, on a loop.
std::string followLinks(const std::string &name) {
    std::string current = name;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::vector<char> target(static_cast<size_t>(PATH_MAX) + 1, 0);
        ssize_t length = readlink(current.c_str(), target.data(), PATH_MAX);
        if (length <= 0)
            return current;
        std::string next(target.data(), static_cast<size_t>(length));
        current = next[0] == '/' ? next : directoryOf(current) + next;
    }
    errno = ELOOP;
    return {};
}

// errno for an existing target the program must not replace, or 0.
int refusalOf(const struct stat &info, const std::string &target) {
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (S_ISSOCK(info.st_mode))
        return ENXIO;
    if (S_ISREG(info.st_mode) && ((info.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0))
        return EACCES;
    return 0;
}

bool isStream(const struct stat &info) {
    return S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode);
}

bool attachStream(OutputFile &file, int fd, bool textMode) {
    file.stream = fdopen(fd, textMode ? "w" : "wb");
    if (file.stream != nullptr)
        return true;
    file.errorCode = errno;
    close(fd);
    return false;
}

// An unnamed file in the target's folder; -1 where the file system has none.
int openAnonymous(const std::string &target, int &errorCode) {
    if (namedTemporariesOnly || access("/proc/self/fd", X_OK) != 0) // linked in through /proc
        return -1;
    std::string folder = directoryOf(target);
    int fd = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        errorCode = errno;
    return fd;
}

// A named temporary file beside the target, registered for the interrupt handler.
int openNamed(OutputFile &file) {
    std::string pattern = directoryOf(file.targetName) + ".morvik-XXXXXX";
    InterruptBlock block;
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        file.errorCode = errno;
        return -1;
    }
    file.tempName = pattern;
    file.registrySlot = registerTemporaryFile(pattern);
    // mkstemp creates 0600; give the file the usual mode for new files.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return fd;
}

bool openTemporary(OutputFile &file, bool textMode) {
    int fd = openAnonymous(file.targetName, file.errorCode);
    if (file.errorCode != 0)
        return false;
    file.kind = fd >= 0 ? OutputKind::Anonymous : OutputKind::Named;
    if (fd < 0)
        fd = openNamed(file);
    if (fd < 0)
        return false;
    if (attachStream(file, fd, textMode))
        return true;
    if (file.kind == OutputKind::Named)
        removeTemporaryFile(file);
    return false;
}

bool fail(OutputFile &file, int errorCode) {
    if (!file.failed) {
        file.failed = true;
        file.errorCode = errorCode != 0 ? errorCode : EIO;
    }
    return false;
}

// Gives the unnamed file its final name: directly when the name is free, else
// through a named link renamed over the old file, so the name always holds a
// whole file.
bool linkAnonymous(OutputFile &file, int fd) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file.targetName.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != EEXIST)
        return fail(file, errno);
    for (int attempt = 0; attempt < 100; ++attempt) {
        InterruptBlock block;
        std::string pattern = directoryOf(file.targetName) + ".morvik-XXXXXX";
        int probe = mkstemp(pattern.data()); // a unique name, freed again for the link
        if (probe < 0)
            return fail(file, errno);
        close(probe);
        unlink(pattern.c_str());
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, pattern.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return fail(file, errno);
        }
        if (std::rename(pattern.c_str(), file.targetName.c_str()) == 0)
            return true;
        int error = errno;
        unlink(pattern.c_str());
        return fail(file, error);
    }
    return fail(file, EEXIST);
}

// Flushes and closes the stream; the descriptor of an unnamed file is kept
// open in `keptFd` so that it can still be linked.
bool closeStream(OutputFile &file, int &keptFd) {
    errno = 0;
    if (!file.failed && std::fflush(file.stream) != 0)
        fail(file, errno);
    if (file.kind == OutputKind::Anonymous && !file.failed)
        keptFd = dup(fileno(file.stream));
    errno = 0;
    int closeResult = std::fclose(file.stream);
    file.stream = nullptr;
    if (!file.failed && closeResult != 0)
        fail(file, errno);
    if (!file.failed && file.kind == OutputKind::Anonymous && keptFd < 0)
        fail(file, errno);
    return !file.failed;
}

bool placeFile(OutputFile &file, int keptFd) {
    switch (file.kind) {
    case OutputKind::Direct:
        return true;
    case OutputKind::Anonymous:
        return linkAnonymous(file, keptFd);
    case OutputKind::Named:
        break;
    }
    InterruptBlock block;
    if (std::rename(file.tempName.c_str(), file.targetName.c_str()) != 0) {
        fail(file, errno);
        unlink(file.tempName.c_str());
    }
    file.tempName.clear();
    unregisterTemporaryFile(file.registrySlot);
    return !file.failed;
}

} // namespace

void useNamedTemporaryFiles(bool named) {
    namedTemporariesOnly = named;
}

bool openOutputFile(OutputFile &file, const std::string &name, bool textMode) {
    discardOutputFile(file);
    file.finalName = name;
    file.failed = false;
    file.errorCode = 0;
    if (name.empty()) {
        file.errorCode = ENOENT;
        return false;
    }
    file.targetName = followLinks(name);
    if (file.targetName.empty()) {
        file.errorCode = errno;
        return false;
    }
    struct stat info {};
    if (stat(file.targetName.c_str(), &info) == 0) {
        file.errorCode = refusalOf(info, file.targetName);
        if (file.errorCode != 0)
            return false;
        if (isStream(info)) {
            file.kind = OutputKind::Direct;
            int fd = open(file.targetName.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0) {
                file.errorCode = errno;
                return false;
            }
            return attachStream(file, fd, textMode);
        }
    }
    return openTemporary(file, textMode);
}

bool appendOutputBytes(OutputFile &file, const void *data, size_t length) {
    if (file.failed)
        return false;
    if (file.stream == nullptr || length == 0)
        return true;
    errno = 0;
    if (std::fwrite(data, 1, length, file.stream) != length)
        return fail(file, errno);
    return true;
}

void writeOutputBytes(OutputFile &file, const void *data, size_t length) {
    if (!appendOutputBytes(file, data, length))
        failJob(createFileError(file.finalName, file.errorCode));
}

bool commitOutputFile(OutputFile &file) {
    if (file.stream == nullptr) {
        if (file.errorCode == 0)
            file.errorCode = EBADF;
        return false;
    }
    int keptFd = -1;
    bool placed = closeStream(file, keptFd) && placeFile(file, keptFd);
    if (keptFd >= 0)
        close(keptFd);
    if (!placed && file.kind == OutputKind::Named && !file.tempName.empty())
        removeTemporaryFile(file);
    return placed;
}

void discardOutputFile(OutputFile &file) {
    if (file.stream != nullptr) {
        std::fclose(file.stream);
        file.stream = nullptr;
    }
    if (!file.tempName.empty())
        removeTemporaryFile(file);
}

bool writeWholeFile(const std::string &name, const void *data, size_t length, int &errorCode,
                    bool textMode) {
    OutputFile file;
    if (!openOutputFile(file, name, textMode)) {
        errorCode = file.errorCode;
        return false;
    }
    appendOutputBytes(file, data, length);
    if (!commitOutputFile(file)) {
        errorCode = file.errorCode;
        return false;
    }
    return true;
}

std::string createFileError(const std::string &name, int errorCode) {
    return "Error: Failed to create file " + name + ": " + std::strerror(errorCode) + "\n";
}

void writeJobFile(const std::string &name, const void *data, size_t length, bool textMode) {
    int errorCode = 0;
    if (!writeWholeFile(name, data, length, errorCode, textMode))
        failJob(createFileError(name, errorCode));
}

bool sameFile(const std::string &first, const std::string &second) {
    struct stat a {};
    struct stat b {};
    const bool haveFirst = stat(first.c_str(), &a) == 0;
    const bool haveSecond = stat(second.c_str(), &b) == 0;
    if ((haveFirst && isStream(a)) || (haveSecond && isStream(b)))
        return false;
    if (haveFirst && haveSecond)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    std::error_code error;
    const auto one = std::filesystem::weakly_canonical(std::filesystem::absolute(first), error);
    if (error)
        return first == second;
    const auto other = std::filesystem::weakly_canonical(std::filesystem::absolute(second), error);
    return !error && one == other;
}

const std::string *firstCollision(const std::vector<const std::string *> &names) {
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (!names[i]->empty() && !names[j]->empty() && sameFile(*names[j], *names[i]))
                return names[i];
    return nullptr;
}
