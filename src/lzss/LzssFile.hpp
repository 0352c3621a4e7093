// The frame the file encoder and decoder share: open the input, create the output,
// run the codec between them and put the output in place.
#pragma once

#include "common/OutputFile.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <functional>
#include <string>

// Reads `input` through and writes to `output`; returns errno of a failed read, else 0.
using LzssFileCore = std::function<int(std::FILE *input, OutputFile &output)>;

// The input is opened before the output is created, so a missing input leaves no
// output behind; the output is renamed into place only after a complete run.
LzssFileResult lzssRunFile(const std::string &inputName, const std::string &outputName,
                           const LzssFileCore &core);
