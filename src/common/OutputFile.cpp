#include "common/OutputFile.hpp"

#include "common/JobError.hpp"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

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

static std::string directoryOf(const std::string &name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
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
    struct stat info {};
    if (stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        file.errorCode = EISDIR;
        return false;
    }
    std::string pattern = directoryOf(name) + ".morvik-XXXXXX";
    int fd = -1;
    {
        InterruptBlock block;
        fd = mkstemp(pattern.data());
        if (fd < 0) {
            file.errorCode = errno;
            return false;
        }
        file.tempName = pattern;
        file.registrySlot = registerTemporaryFile(pattern);
    }
    // mkstemp creates 0600; give the file the usual mode for new files.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file.stream = fdopen(fd, textMode ? "w" : "wb");
    if (file.stream == nullptr) {
        file.errorCode = errno;
        close(fd);
        removeTemporaryFile(file);
        return false;
    }
    return true;
}

void writeOutputBytes(OutputFile &file, const void *data, size_t length) {
    if (file.stream == nullptr || file.failed || length == 0)
        return;
    errno = 0;
    if (std::fwrite(data, 1, length, file.stream) != length) {
        file.failed = true;
        file.errorCode = errno != 0 ? errno : EIO;
    }
}

bool commitOutputFile(OutputFile &file) {
    if (file.stream == nullptr) {
        if (file.errorCode == 0)
            file.errorCode = EBADF;
        return false;
    }
    errno = 0;
    if (!file.failed && std::fflush(file.stream) != 0) {
        file.failed = true;
        file.errorCode = errno != 0 ? errno : EIO;
    }
    errno = 0;
    int closeResult = std::fclose(file.stream);
    file.stream = nullptr;
    if (!file.failed && closeResult != 0) {
        file.failed = true;
        file.errorCode = errno != 0 ? errno : EIO;
    }
    if (file.failed) {
        removeTemporaryFile(file);
        return false;
    }
    InterruptBlock block;
    if (std::rename(file.tempName.c_str(), file.finalName.c_str()) != 0) {
        file.failed = true;
        file.errorCode = errno;
        unlink(file.tempName.c_str());
    }
    file.tempName.clear();
    unregisterTemporaryFile(file.registrySlot);
    return !file.failed;
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
    writeOutputBytes(file, data, length);
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
