// Helpers shared by the fuzz checks: reading choices from the input, a
// scratch folder for the process, and standard output redirected to a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

// Hands out the input's bytes in order; zero once they are used up.
struct ByteReader {
    const uint8_t *data = nullptr;
    size_t size = 0;
    size_t offset = 0;
};

uint8_t takeByte(ByteReader &reader);
// A value in 0..count-1 from the next byte; count must be 1..256.
uint32_t takeChoice(ByteReader &reader, uint32_t count);
std::vector<uint8_t> takeRest(ByteReader &reader);

// A folder of this process under the system's temporary folder, removed at exit.
const std::string &scratchDir();

// Removes everything in the folder (creating it if needed).
void clearFolder(const std::string &path);

bool writeBytes(const std::string &path, const uint8_t *data, size_t size);
std::vector<uint8_t> readBytes(const std::string &path);
bool fileExists(const std::string &path);

// Points standard output at the file while it lives; flushes on both changes.
struct StdoutRedirect {
    int savedFd = -1;

    explicit StdoutRedirect(const std::string &path);
    StdoutRedirect(const StdoutRedirect &) = delete;
    StdoutRedirect &operator=(const StdoutRedirect &) = delete;
    ~StdoutRedirect();
};

} // namespace fuzzing
