#include "lzss/LzssFile.hpp"

#include "common/InputFile.hpp"

#include <cerrno>

LzssFileResult lzssRunFile(const std::string &inputName, const std::string &outputName,
                           const LzssFileCore &core) {
    const InputFile input = openInputFile(inputName);
    if (!input)
        return {LzssFileStatus::OpenFailed, errno, {}};
    OutputFile output;
    if (!openOutputFile(output, outputName))
        return {LzssFileStatus::CreateFailed, output.errorCode, {}};
    const int readError = core(input.get(), output);
    if (readError != 0)
        return {LzssFileStatus::ReadFailed, readError, {}};
    if (!commitOutputFile(output))
        return {LzssFileStatus::CreateFailed, output.errorCode, {}};
    return {};
}
