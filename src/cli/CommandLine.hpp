// Reading the argument vector into JobSettings.
#pragma once

#include "cli/JobSettings.hpp"

#include <string>
#include <string_view>

enum class ParseOutcome { Run, Help, Failed };

// Reads the options in one pass, printing the option messages as it meets
// them. Help and Failed end the run.
ParseOutcome parseCommandLine(int argc, const char *const *argv, JobSettings &settings);

// Decimal integer as build scripts write it: leading white space, an optional
// sign, then digits up to the first other character; no digits give 0.
// Values beyond 32 bits saturate.
int32_t parseNumber(std::string_view text);

// inputBaseName: drops the last extension only when the file name has two or more.
std::string deriveInputBaseName(const std::string &inputName);

// outputBaseName from -o: the value up to the first "." of its file name.
std::string deriveOutputBaseName(const std::string &outputName);

// -dict: floor(n / 512) must be 1, 2, 4 or 8; returns 0 for any other value.
int32_t dictSizeFromOption(int32_t value);

void printHelp();
void printUsage();
