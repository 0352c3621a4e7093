// Damaged pictures of every format, converted twice while the allocator fills
// the memory it hands out with different bytes (MALLOC_PERTURB_): any output
// byte that no decoder wrote would differ between the two runs. Each picture
// must give the same status, messages and files both times.
#include "e2e/RunMorvik.hpp"
#include "imagemodule/FormatWriters.hpp"
#include "imagemodule/JpegWriter.hpp"

#include <gtest/gtest.h>

#include <map>

namespace {

using Bytes = std::vector<uint8_t>;
using testimages::Rgb;

// Samples with some structure, so that every coder has something to code.
Bytes samples(uint32_t width, uint32_t height, size_t channels) {
    Bytes out;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (size_t c = 0; c < channels; ++c)
                out.push_back(static_cast<uint8_t>((x * (c + 3) + y * 5) ^ (x * y >> 4)));
    return out;
}

std::vector<Rgb> palette(size_t entries) {
    std::vector<Rgb> colours;
    for (size_t i = 0; i < entries; ++i)
        colours.push_back(Rgb{static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 9),
                              static_cast<uint8_t>(i * 40)});
    return colours;
}

Bytes tga(uint8_t type, uint8_t bits, uint16_t width, uint16_t height) {
    testimages::TgaPicture picture;
    picture.imageType = type;
    picture.bitsPerPixel = bits;
    picture.width = width;
    picture.height = height;
    picture.pixels = samples(width, height, bits / 8);
    return testimages::encodeTga(picture);
}

Bytes bmp8(uint32_t width, uint32_t height) {
    testimages::BmpPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = 8;
    picture.palette = palette(16);
    for (uint8_t sample : samples(width, height, 1))
        picture.pixels.push_back(sample % 16);
    return testimages::encodeBmp(picture);
}

Bytes png(uint32_t width, uint32_t height) {
    testimages::PngPicture picture =
        testimages::makePngPicture(width, height, PNG_COLOR_TYPE_RGB, 8);
    const Bytes pixels = samples(width, height, 3);
    for (uint32_t y = 0; y < height; ++y)
        picture.rows.emplace_back(pixels.begin() + y * width * 3,
                                  pixels.begin() + (y + 1) * width * 3);
    return testimages::encodePng(picture);
}

Bytes gif(uint16_t width, uint16_t height) {
    Bytes indexes;
    for (uint8_t sample : samples(width, height, 1))
        indexes.push_back(sample % 16);
    return testimages::encodeGif(width, height, palette(16), indexes);
}

Bytes psd(uint32_t width, uint32_t height) {
    testimages::PsdPicture picture;
    picture.width = width;
    picture.height = height;
    picture.runLength = true;
    const Bytes pixels = samples(width, height, 1);
    for (size_t c = 0; c < 4; ++c)
        picture.planes.push_back(pixels);
    return testimages::encodePsd(picture);
}

Bytes ppm(uint32_t width, uint32_t height) {
    const std::string header =
        "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
    Bytes out(header.begin(), header.end());
    const Bytes pixels = samples(width, height, 3);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

std::vector<std::pair<std::string, Bytes>> wholePictures() {
    testimages::JpegOptions progressive;
    progressive.progressive = true;
    return {
        {"big.tga", tga(2, 24, 512, 256)},
        {"rle.tga", tga(10, 32, 128, 64)},
        {"photo.jpg", testimages::encodeJpeg(samples(256, 128, 3), 256, 128)},
        {"progressive.jpg", testimages::encodeJpeg(samples(128, 64, 3), 128, 64, progressive)},
        {"rgb.bmp", testimages::encodeBmp24(200, 100, samples(200, 100, 3))},
        {"palette.bmp", bmp8(120, 80)},
        {"rgb.png", png(128, 64)},
        {"palette.gif", gif(100, 60)},
        {"layers.psd", psd(64, 64)},
        {"rgb.ppm", ppm(100, 50)},
    };
}

// Each picture cut at three lengths, and with three header bytes inverted.
std::vector<std::pair<std::string, Bytes>> damagedPictures() {
    std::vector<std::pair<std::string, Bytes>> damaged;
    for (const auto &[name, whole] : wholePictures()) {
        for (size_t length : {whole.size() / 3, whole.size() * 2 / 3, whole.size() - 1})
            damaged.emplace_back("cut" + std::to_string(length) + "-" + name,
                                 Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
        for (size_t offset : {size_t{5}, size_t{13}, size_t{22}}) {
            Bytes bytes = whole;
            bytes[offset] ^= 0xFF;
            damaged.emplace_back("flip" + std::to_string(offset) + "-" + name, bytes);
        }
    }
    return damaged;
}

struct Outcome {
    int status = -1;
    int signal = 0;
    std::string output;
    std::map<std::string, Bytes> files;
};

Outcome convert(const std::string &folder, const std::string &name, const Bytes &bytes,
                const std::string &perturb) {
    std::filesystem::create_directories(folder);
    writeFileBytes(folder + "/" + name, bytes);
    RunOptions options;
    options.environment = {{"MALLOC_PERTURB_", perturb}};
    const RunResult run =
        runMorvik({"-image", name, "-target", "sms", "-o", "out.pat", "-preview", "preview.bmp"},
                  folder, options);
    Outcome outcome{run.status, run.signal, run.output, {}};
    for (const std::string &file : listDir(folder))
        if (file != name)
            outcome.files[file] = readFileBytes(folder + "/" + file);
    return outcome;
}

TEST(DamagedImage, OutputDoesNotDependOnWhatTheHeapHeld) {
    TempDir dir;
    for (const auto &[name, bytes] : damagedPictures()) {
        SCOPED_TRACE(name);
        const Outcome first = convert(dir.file("a-" + name), name, bytes, "85");
        const Outcome second = convert(dir.file("b-" + name), name, bytes, "170");
        EXPECT_EQ(first.signal, 0);
        EXPECT_TRUE(first.status == 0 || first.status == 1) << first.output;
        EXPECT_EQ(first.status, second.status);
        EXPECT_EQ(first.output, second.output);
        EXPECT_TRUE(first.files == second.files);
    }
}

} // namespace
