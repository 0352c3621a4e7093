#include "fuzz/FuzzSupport.hpp"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace fuzzing {

namespace {

struct ScratchFolder {
    std::string path;

    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "morvik-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

uint8_t takeByte(ByteReader &reader) {
    return reader.offset < reader.size ? reader.data[reader.offset++] : 0;
}

uint32_t takeChoice(ByteReader &reader, uint32_t count) {
    return takeByte(reader) % count;
}

std::vector<uint8_t> takeRest(ByteReader &reader) {
    std::vector<uint8_t> rest;
    if (reader.offset < reader.size)
        rest.assign(reader.data + reader.offset, reader.data + reader.size);
    reader.offset = reader.size;
    return rest;
}

const std::string &scratchDir() {
    static const ScratchFolder folder;
    return folder.path;
}

void clearFolder(const std::string &path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    std::filesystem::create_directories(path, ignored);
}

bool writeBytes(const std::string &path, const uint8_t *data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

std::vector<uint8_t> readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

bool fileExists(const std::string &path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

StdoutRedirect::StdoutRedirect(const std::string &path) {
    std::fflush(stdout);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    savedFd = dup(STDOUT_FILENO);
    if (savedFd >= 0)
        dup2(fd, STDOUT_FILENO);
    close(fd);
}

StdoutRedirect::~StdoutRedirect() {
    std::fflush(stdout);
    if (savedFd < 0)
        return;
    dup2(savedFd, STDOUT_FILENO);
    close(savedFd);
}

} // namespace fuzzing
