// What every fuzz target does with the outcome of its check: nothing when it
// holds, else print what failed and stop so that libFuzzer saves the input.
#pragma once

#include "fuzz/FuzzChecks.hpp"

#include <cstdio>

inline int stopOnFailure(const std::string &failure) {
    if (failure.empty())
        return 0;
    std::fprintf(stderr, "Check failed: %s\n", failure.c_str());
    std::fflush(stderr);
    __builtin_trap();
}
