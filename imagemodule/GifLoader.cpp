// Reading the first frame of GIF files through giflib. The picture is the
// logical screen at 32 bits a pixel: the frame's colours opaque, its
// transparent index clear, and the screen around the frame clear, or the
// background colour when the header names one past entry 0 of the global table.
#include "ImageInternal.hpp"

#include <algorithm>

#include <cstring>

#include <gif_lib.h>

namespace imagemodule {

namespace {

// LZW codes of 12 bits can stand for strings of up to 4096 indexes.
constexpr uint64_t kMaxPixelsPerFileByte = 4096;

struct MemoryInput {
    const std::vector<uint8_t> &data;
    size_t offset = 0;
};

int readFromMemory(GifFileType *gif, GifByteType *out, int length) {
    auto *input = static_cast<MemoryInput *>(gif->UserData);
    if (input == nullptr || length <= 0 || input->offset > input->data.size())
        return 0;
    const size_t count = std::min(static_cast<size_t>(length), input->data.size() - input->offset);
    std::memcpy(out, input->data.data() + input->offset, count);
    input->offset += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType *gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

// Reads an extension to its end; a graphic control block sets the transparent index.
bool readExtension(GifFileType *gif, int &transparent) {
    int code = 0;
    GifByteType *block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
        transparent = (block[1] & 1) != 0 ? block[4] : -1;
    while (block != nullptr)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
            return false;
    return true;
}

// The rows of the frame in the order they are stored, interlaced or not.
std::vector<size_t> storedRowOrder(size_t height, bool interlaced) {
    std::vector<size_t> rows;
    if (!interlaced) {
        for (size_t y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    const size_t starts[] = {0, 4, 2, 1};
    const size_t steps[] = {8, 8, 4, 2};
    for (size_t pass = 0; pass < 4; ++pass)
        for (size_t y = starts[pass]; y < height; y += steps[pass])
            rows.push_back(y);
    return rows;
}

void fillAroundFrame(const GifImageDesc &frame, const GifColorType &colour, MorvikImage &image) {
    const auto left = static_cast<size_t>(frame.Left);
    const auto top = static_cast<size_t>(frame.Top);
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        uint8_t *out = rowFromTop(image, y);
        const bool rowInFrame = y >= top && y < top + static_cast<size_t>(frame.Height);
        for (size_t x = 0; x < static_cast<size_t>(image.width); ++x, out += 4) {
            if (rowInFrame && x >= left && x < left + static_cast<size_t>(frame.Width))
                continue;
            out[0] = colour.Blue;
            out[1] = colour.Green;
            out[2] = colour.Red;
            out[3] = 255;
        }
    }
}

bool frameFits(const GifFileType *gif) {
    const GifImageDesc &frame = gif->Image;
    return frame.Width >= 1 && frame.Height >= 1 && frame.Left >= 0 && frame.Top >= 0 &&
           frame.Left + frame.Width <= gif->SWidth && frame.Top + frame.Height <= gif->SHeight;
}

// Decodes the frame whose descriptor giflib just read; false for damaged data
// or an index past the frame's colour table.
bool decodeFrame(GifFileType *gif, int transparent, MorvikImage &image) {
    if (DGifGetImageDesc(gif) == GIF_ERROR || !frameFits(gif))
        return false;
    const GifImageDesc &frame = gif->Image;
    const ColorMapObject *table = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (table == nullptr || table->Colors == nullptr)
        return false;
    const auto width = static_cast<size_t>(frame.Width);
    std::vector<GifPixelType> line(width, 0);
    for (size_t y : storedRowOrder(static_cast<size_t>(frame.Height), frame.Interlace)) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
            return false;
        uint8_t *out = rowFromTop(image, static_cast<size_t>(frame.Top) + y) + 4 * frame.Left;
        for (size_t x = 0; x < width; ++x, out += 4) {
            const int index = line[x];
            if (index >= table->ColorCount)
                return false;
            if (index == transparent)
                continue; // stays clear
            const GifColorType &colour = table->Colors[index];
            out[0] = colour.Blue;
            out[1] = colour.Green;
            out[2] = colour.Red;
            out[3] = 255;
        }
    }
    const ColorMapObject *global = gif->SColorMap;
    const int background = gif->SBackGroundColor;
    if (global != nullptr && background > 0 && background < global->ColorCount)
        fillAroundFrame(frame, global->Colors[background], image);
    return true;
}

} // namespace

std::unique_ptr<MorvikImage> loadGif(const std::vector<uint8_t> &data) {
    MemoryInput input{data, 0};
    int error = 0;
    GifPtr gif(DGifOpen(&input, readFromMemory, &error));
    if (!gif || !fileCouldHold(gif->SWidth, gif->SHeight, data.size(), kMaxPixelsPerFileByte))
        return nullptr;
    std::unique_ptr<MorvikImage> image = makeImage(gif->SWidth, gif->SHeight, 4);
    if (!image)
        return nullptr;
    int transparent = -1;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
            return nullptr;
        if (record == EXTENSION_RECORD_TYPE) {
            if (!readExtension(gif.get(), transparent))
                return nullptr;
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            return decodeFrame(gif.get(), transparent, *image) ? std::move(image) : nullptr;
        } else {
            return nullptr; // the end, or no frame at all
        }
    }
}

} // namespace imagemodule
