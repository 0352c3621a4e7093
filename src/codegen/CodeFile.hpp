// The assembly source written beside compressed pattern data: the codec's
// constants, the data included between two labels, and a routine that hands
// its address and length to the console-side decoder.
#pragma once

#include "targets/Targets.hpp"

#include <cstdint>
#include <ctime>
#include <string>

struct CodeFileValues {
    int32_t dictSize = 4096;
    int32_t threshold = 2;
    int32_t planeCount = 0;     // planes stored per pixel
    int32_t formatPlanes = 0;   // the format's signed plane value
    std::string outputBaseName; // stem of the included .lzs name (verbatim) and of the labels
    std::tm time{};             // local date and time for the header line
};

// The label stem: outputBaseName without its directory part, every character
// other than A-Z, a-z, 0-9 and _ replaced by _, and a leading digit preceded by _.
std::string codeLabelStem(const std::string &outputBaseName);

// The file's text for the given form ("" for CodeForm::None).
std::string renderCodeFile(CodeForm form, const CodeFileValues &values);

// Writes the text (through a temporary file renamed into place); a file that
// cannot be written ends the job.
void writeCodeFile(const std::string &fileName, CodeForm form, const CodeFileValues &values);
