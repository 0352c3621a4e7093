#include "common/OutputFile.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <sys/stat.h>

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
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        file.errorCode = errno;
        return false;
    }
    // mkstemp creates 0600; give the file the usual mode for new files.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file.tempName = pattern;
    file.stream = fdopen(fd, textMode ? "w" : "wb");
    if (file.stream == nullptr) {
        file.errorCode = errno;
        close(fd);
        unlink(file.tempName.c_str());
        file.tempName.clear();
        return false;
    }
    return true;
}

void writeOutputBytes(OutputFile &file, const void *data, size_t length) {
    if (file.stream == nullptr || file.failed || length == 0)
        return;
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
    if (!file.failed && std::fflush(file.stream) != 0) {
        file.failed = true;
        file.errorCode = errno != 0 ? errno : EIO;
    }
    int closeResult = std::fclose(file.stream);
    file.stream = nullptr;
    if (!file.failed && closeResult != 0) {
        file.failed = true;
        file.errorCode = errno != 0 ? errno : EIO;
    }
    if (!file.failed && std::rename(file.tempName.c_str(), file.finalName.c_str()) != 0) {
        file.failed = true;
        file.errorCode = errno;
    }
    if (file.failed) {
        unlink(file.tempName.c_str());
        file.tempName.clear();
        return false;
    }
    file.tempName.clear();
    return true;
}

void discardOutputFile(OutputFile &file) {
    if (file.stream != nullptr) {
        std::fclose(file.stream);
        file.stream = nullptr;
    }
    if (!file.tempName.empty()) {
        unlink(file.tempName.c_str());
        file.tempName.clear();
    }
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
