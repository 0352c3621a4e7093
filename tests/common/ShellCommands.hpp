// Running external tools (assemblers, binutils) from tests through the shell.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace shell {

// The text as one single-quoted shell word.
inline std::string quoted(const std::string &text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

// True when the command ran and exited with status 0.
inline bool runShell(const std::string &command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline bool toolOnPath(const std::string &tool) {
    return runShell("command -v " + quoted(tool) + " >/dev/null 2>&1");
}

// What the command printed on standard output.
inline std::string commandOutput(const std::string &command) {
    std::string output;
    std::FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    pclose(pipe);
    return output;
}

} // namespace shell
