#include "image/PictureSignature.hpp"

#include "common/InputFile.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr std::array<std::string_view, 6> kSignatures = {
    std::string_view("\x89PNG\r\n\x1a\n", 8), "BM", "GIF87a", "GIF89a", "\xFF\xD8\xFF", "8BPS",
};

bool isPnmHeader(const unsigned char *bytes, size_t length) {
    return length >= 3 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '6' &&
           std::strchr(" \t\r\n", bytes[2]) != nullptr && bytes[2] != '\0';
}

} // namespace

bool looksLikePicture(const std::string &fileName) {
    InputFile file = openInputFile(fileName);
    if (!file)
        return false;
    unsigned char bytes[8] = {};
    const size_t length = std::fread(bytes, 1, sizeof bytes, file.get());
    for (std::string_view signature : kSignatures)
        if (length >= signature.size() &&
            std::memcmp(bytes, signature.data(), signature.size()) == 0)
            return true;
    return isPnmHeader(bytes, length);
}

std::string loadFailureReason(const std::string &fileName, const char *decoderMessage) {
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0)
        return "Error: " + std::string(std::strerror(errno)) + ".\n";
    if (S_ISDIR(info.st_mode))
        return "Error: " + fileName + " is a directory.\n";
    if (!S_ISREG(info.st_mode))
        return "Error: " + fileName + " is not a regular file.\n";
    InputFile file = openInputFile(fileName);
    if (!file)
        return "Error: " + std::string(std::strerror(errno)) + ".\n";
    if (info.st_size == 0)
        return "Error: The file is empty.\n";
    std::string reason = looksLikePicture(fileName)
                             ? "Error: The picture's data is truncated or corrupt"
                             : "Error: Not a picture format morvik reads (PNG, BMP, GIF, JPEG, "
                               "TGA, PNM, PSD), or a damaged one";
    if (decoderMessage != nullptr && *decoderMessage != '\0')
        reason += std::string(": ") + decoderMessage;
    return reason + ".\n";
}
