// Runs the built morvik binary and captures what it prints.
#pragma once

#include "imagemodule/TestImages.hpp"

#include <string>
#include <vector>

struct RunResult {
    std::string output; // standard output
    int status = -1;    // exit status; -1 when it did not exit normally
};

// Runs `binary` with `arguments` in the folder `workDir`.
RunResult runProgram(const std::string &binary, const std::vector<std::string> &arguments,
                     const std::string &workDir);

// Runs the morvik binary of this build.
RunResult runMorvik(const std::vector<std::string> &arguments, const std::string &workDir);

using testimages::TempDir;

std::vector<unsigned char> readFileBytes(const std::string &path);
void writeFileBytes(const std::string &path, const std::vector<unsigned char> &bytes);
bool fileExists(const std::string &path);
// Names of the entries of a folder, sorted.
std::vector<std::string> listDir(const std::string &path);
