// Input files are read through a stdio stream that closes itself.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct InputFileCloser {
    void operator()(std::FILE *stream) const { std::fclose(stream); }
};

using InputFile = std::unique_ptr<std::FILE, InputFileCloser>;

// Opens a file for binary reading; empty, with errno set, when it cannot.
inline InputFile openInputFile(const std::string &name) {
    return InputFile(std::fopen(name.c_str(), "rb"));
}
