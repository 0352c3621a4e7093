// The image job in process on big pictures, next to decoding the PNG alone:
// the job's own work is the difference. The PNGs are written once into a
// temporary folder.
#include "BenchImages.hpp"
#include "cli/Program.hpp"
#include "common/OutputFile.hpp"
#include "image/ColourReduction.hpp"
#include "image/ModulePicture.hpp"
#include "imagemodule/TestImages.hpp"
#include "lzss/PatternOutput.hpp"
#include "targets/Targets.hpp"
#include "tiles/NameTable.hpp"
#include "tiles/PaletteFile.hpp"
#include "tiles/TileEncoder.hpp"
#include "tiles/TileSet.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

struct Pictures {
    testimages::TempDir dir;
    std::string map;
    std::string photo;
    ImageLibrary library;
};

void writeRgb(const std::string &path, uint32_t width, uint32_t height,
              const std::vector<uint8_t> &rgb) {
    testimages::PngPicture picture = testimages::makePngPicture(width, height, PNG_COLOR_TYPE_RGB);
    for (uint32_t y = 0; y < height; ++y)
        picture.rows.emplace_back(rgb.begin() + static_cast<std::ptrdiff_t>(y) * width * 3,
                                  rgb.begin() + static_cast<std::ptrdiff_t>(y + 1) * width * 3);
    testimages::writePng(path, picture);
}

void makePictures(Pictures &made) {
    constexpr uint32_t kMapSide = 4096;
    std::vector<uint8_t> indexes = benchimages::tileMapIndexes(kMapSide, 300, 16);
    std::vector<uint8_t> rgb(indexes.size() * 3);
    for (size_t i = 0; i < indexes.size(); ++i) {
        auto colour = benchimages::mapColour(indexes[i]);
        std::copy(colour.begin(), colour.end(), rgb.begin() + static_cast<std::ptrdiff_t>(3 * i));
    }
    made.map = made.dir.file("map.png");
    writeRgb(made.map, kMapSide, kMapSide, rgb);
    made.photo = made.dir.file("photo.png");
    writeRgb(made.photo, 2048, 2048, benchimages::photoPixels(2048, 2048));
    bindImageLibrary(made.library);
}

Pictures &pictures() {
    static Pictures p;
    static bool made = false;
    if (!made) {
        makePictures(p);
        made = true;
    }
    return p;
}

// Runs morvik with its standard output sent to /dev/null.
int quietRun(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "morvik");
    std::vector<const char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    std::fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    std::FILE *null = std::freopen("/dev/null", "w", stdout);
    int status = runMorvik(static_cast<int>(argv.size()), argv.data(), pictures().library);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    (void)null;
    return status;
}

void BM_DecodeOnly(benchmark::State &state, bool map) {
    Pictures &p = pictures();
    for (auto _ : state) {
        MorvikImage *image = p.library.loadImage((map ? p.map : p.photo).c_str(), 1, 0, 0);
        benchmark::DoNotOptimize(image);
        p.library.freeImage(image);
    }
}

void BM_Job(benchmark::State &state, bool map, std::vector<std::string> options) {
    Pictures &p = pictures();
    options.insert(options.begin(), {"-image", map ? p.map : p.photo, "-o", p.dir.file("out")});
    for (auto _ : state)
        benchmark::DoNotOptimize(quietRun(options));
}

// The stages of `-target sms -opt -pack -autocomp` on the map, each timed alone.
struct MapStages {
    MorvikImage *handle = nullptr;
    IndexedImage indexed;
    ColourList colours;
    TileSet tiles;
    PatternBuffer patterns;
    QuantNetwork network;
};

void reduceMap(MapStages &m) {
    const ImageLibrary &library = pictures().library;
    const PictureView loaded = viewOfModuleImage(library, m.handle);
    m.colours = countColours(loaded, 16);
    m.indexed = reduceColours(m.colours, padAndFlipImage(loaded, 0, 0),
                              modulePalette(library, m.handle), m.network, {false, 16});
}

void BM_MapStage(benchmark::State &state, int stage) {
    Pictures &p = pictures();
    MapStages m;
    m.handle = p.library.loadImage(p.map.c_str(), 1, 0, 0);
    reduceMap(m);
    m.tiles = buildTileSet(m.indexed.image, true, true, false);
    encodePatterns(m.indexed.image, m.tiles, PatternLayout::Interleaved, 4, false, {}, m.patterns);
    std::string out = p.dir.file("stage");
    for (auto _ : state) {
        int error = 0;
        switch (stage) {
        case 0:
            reduceMap(m);
            break;
        case 1:
            benchmark::DoNotOptimize(buildTileSet(m.indexed.image, true, true, false));
            break;
        case 2:
            encodePatterns(m.indexed.image, m.tiles, PatternLayout::Interleaved, 4, false, {},
                           m.patterns);
            break;
        case 3:
            benchmark::DoNotOptimize(
                searchCodecSettings(m.patterns.bytes.data(), m.patterns.length, false));
            break;
        default: {
            auto pal = encodePalette(m.indexed.palette, ColourWord::Sms, 16, false, 0);
            auto nam = encodeNameTable(m.tiles, NameEntry::Sms);
            writeWholeFile(out + ".pal", pal.data(), pal.size(), error);
            writeWholeFile(out + ".nam", nam.data(), nam.size(), error);
            writeWholeFile(out + ".lzs", m.patterns.bytes.data(), m.patterns.length, error);
        }
        }
    }
    p.library.freeImage(m.handle);
}

} // namespace

BENCHMARK_CAPTURE(BM_MapStage, reduction, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapStage, tiles, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapStage, encoding, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapStage, search, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapStage, writing, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeOnly, map4096, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, map4096_sms_opt, true, {"-target", "sms", "-opt"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, map4096_snes_opt, true, {"-target", "snes", "-opt"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, map4096_sms_noopt, true, {"-target", "sms"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, map4096_snes_noopt, true, {"-target", "snes"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, map4096_sms_opt_pack_autocomp, true,
                  {"-target", "sms", "-opt", "-pack", "-autocomp"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeOnly, photo2048, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, photo2048_q16, false, {"-target", "snes", "-format", "p8", "-q", "16"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, photo2048_q16_dither, false,
                  {"-target", "snes", "-format", "p8", "-q", "16", "-dither"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, photo2048_q256, false, {"-target", "snes", "-format", "p8", "-q", "256"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Job, photo2048_q256_dither, false,
                  {"-target", "snes", "-format", "p8", "-q", "256", "-dither"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
