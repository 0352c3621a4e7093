// The big-map job `-image MAP.png -target snes -format p4 -opt -o out.pat`
// against libpng decoding the same file alone, on the four generated map
// shapes, each saved as a 16-colour palette PNG and as a 24-bit RGB PNG.
// Rounds are interleaved (every map and thread count once per round) and the
// medians reported, as the machine is shared and noisy.
//
//   map_speed_bench [rounds]          (default 9)
//   map_speed_bench -write FOLDER     only writes the eight PNG files there
//   map_speed_bench -peak PROGRAM ARGS...  (used by itself) prints a run's peak KiB
#include "MapShapes.hpp"
#include "cli/CommandLine.hpp"
#include "cli/ImageOutputs.hpp"
#include "cli/JobPlan.hpp"
#include "cli/Program.hpp"
#include "common/Threads.hpp"
#include "image/ColourReduction.hpp"
#include "image/ModulePicture.hpp"
#include "imagemodule/TestImages.hpp"
#include "tiles/PaletteFile.hpp"
#include "tiles/TileSet.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const std::vector<std::string> kStages = {"decode", "count",  "pad",  "reduce",
                                          "tiles",  "encode", "write"};

struct Input {
    std::string label; // shape and kind
    std::string path;
    bool palette = false;
};

struct Sample {
    double wall = 0;
    double cpu = 0;
};

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

Sample timed(const std::function<void()> &work) {
    const double wall = nowMs();
    const double cpu = cpuMs();
    work();
    return {nowMs() - wall, cpuMs() - cpu};
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void writeMap(const mapshapes::TileMap &map, bool palette, const std::string &path) {
    using namespace testimages;
    PngPicture picture =
        makePngPicture(map.width, map.height, palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                       palette ? 4 : 8);
    auto colourOf = [](uint8_t index) {
        return Rgb{static_cast<uint8_t>(index * 16), static_cast<uint8_t>(255 - index * 9),
                   static_cast<uint8_t>((index * 71) & 0xFF)};
    };
    for (uint8_t i = 0; i < 16 && palette; ++i)
        picture.palette.push_back(colourOf(i));
    for (uint32_t y = 0; y < map.height; ++y) {
        const auto row = map.indexes.begin() + static_cast<std::ptrdiff_t>(y) * map.width;
        std::vector<uint8_t> samples;
        for (uint32_t x = 0; x < map.width; ++x) {
            const Rgb c = colourOf(row[x]);
            if (palette)
                samples.push_back(row[x]);
            else
                samples.insert(samples.end(), {c.red, c.green, c.blue});
        }
        picture.rows.push_back(packSamples(samples, picture.bitDepth));
    }
    writePng(path, picture);
}

// libpng's simplified reader, as an application would call it: indexes with
// the colour map for a palette file, blue, green, red otherwise.
void decodeWithLibpng(const Input &input) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, input.path.c_str()))
        return;
    image.format = input.palette ? PNG_FORMAT_BGR_COLORMAP : PNG_FORMAT_BGR;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image), 0);
    std::vector<uint8_t> colourMap(PNG_IMAGE_COLORMAP_SIZE(image), 0);
    png_image_finish_read(&image, nullptr, pixels.data(), 0, colourMap.data());
    png_image_free(&image);
}

std::vector<std::string> jobArguments(const Input &input, const std::string &out, int threads) {
    return {"morvik", "-image", input.path, "-target", "snes", "-format",
            "p4",     "-opt",   "-o",       out,       "-j",   std::to_string(threads)};
}

std::vector<const char *> argvOf(const std::vector<std::string> &arguments) {
    std::vector<const char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    return argv;
}

// Runs `work` with standard output sent to /dev/null.
void quietly(const std::function<void()> &work) {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return;
    work();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

// The job's stages one by one, as convertImage runs them.
std::map<std::string, double> timeStages(const Input &input, const std::string &out, int threads,
                                         const ImageLibrary &library) {
    const std::vector<std::string> arguments = jobArguments(input, out, threads);
    const std::vector<const char *> argv = argvOf(arguments);
    JobSettings settings;
    std::map<std::string, double> times;
    quietly([&] {
        parseCommandLine(static_cast<int>(argv.size()), argv.data(), settings);
        const JobPlan plan = settleJobPlan(
            settings, {settings.dictSize.value_or(4096), settings.threshold.value_or(2)});
        ModuleImage image;
        PictureView view;
        ColourList colours;
        WorkImage padded;
        ConvertedImage converted;
        EncodedPatterns patterns;
        QuantNetwork network;
        const int32_t threads = threadCount(settings.threads);
        times["decode"] = timed([&] {
                              image = loadModuleImage(library, input.path);
                              view = viewOfModuleImage(library, image.get());
                          }).wall;
        // As the job does it: a truecolour picture is numbered while it is counted.
        const bool indexed = view.bitsPerPixel == 8;
        NumberedColours counted;
        times["count"] = timed([&] {
                             if (indexed)
                                 colours = countColours(view, plan.colourLimit, threads);
                             else
                                 counted = countAndNumberColours(
                                     view, static_cast<int32_t>(paddedSide(view.width)),
                                     static_cast<int32_t>(paddedSide(view.height)),
                                     plan.colourLimit, threads);
                         }).wall;
        if (!indexed)
            colours = counted.colours;
        times["pad"] = timed([&] {
                           padded = indexed ? padAndFlipImage(view, 0, 0)
                                            : padNumberedPicture(std::move(counted), view,
                                                                 planPadding(view, 0, 0,
                                                                             FillRow::FromBottom));
                       }).wall;
        const Palette palette = modulePalette(library, image.get());
        times["reduce"] = timed([&] {
                              converted.indexed =
                                  indexed ? reduceColours(colours, std::move(padded), palette,
                                                          network,
                                                          {false, plan.colourLimit, false, false,
                                                           threads})
                                          : numberedImage(colours, std::move(padded));
                          }).wall;
        converted.planeCount =
            choosePlaneCount(converted.indexed.colourCount, 0, *plan.format, plan.planes);
        converted.consolePalette =
            reduceComponents(converted.indexed.palette, plan.target->componentBits);
        times["tiles"] = timed([&] {
                             converted.tiles =
                                 buildTileSet(converted.indexed.image, true, true, false, threads);
                         }).wall;
        times["encode"] =
            timed([&] { patterns = encodeImagePatterns(settings, plan, converted, 0); }).wall;
        times["write"] =
            timed([&] { writeImageOutputs(settings, plan, converted, patterns); }).wall;
    });
    return times;
}

Sample timeJob(const Input &input, const std::string &out, int threads,
               const ImageLibrary &library) {
    const std::vector<std::string> arguments = jobArguments(input, out, threads);
    const std::vector<const char *> argv = argvOf(arguments);
    Sample sample;
    quietly([&] {
        sample = timed([&] { runMorvik(static_cast<int>(argv.size()), argv.data(), library); });
    });
    return sample;
}

std::string besideThisProgram(const std::string &name) {
    std::vector<char> path(PATH_MAX + 1, 0);
    const ssize_t length = readlink("/proc/self/exe", path.data(), PATH_MAX);
    std::string self(path.data(), length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.rfind('/') + 1) + name;
}

// Peak resident memory of a run of the program, in KiB. A child keeps the
// peak of the process it was forked from across exec, so the program is
// started from a fresh, small copy of this benchmark (`-peak`), not from here.
long peakOfRun(char **argv) {
    const pid_t child = fork();
    if (child == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            _exit(127);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

// Peak resident memory of the built program running the job, in MiB.
double peakMemory(const Input &input, const std::string &out, int threads) {
    std::string command = besideThisProgram("map_speed_bench") + " -peak " +
                          besideThisProgram("morvik");
    std::vector<std::string> arguments = jobArguments(input, out, threads);
    for (size_t i = 1; i < arguments.size(); ++i)
        command += " '" + arguments[i] + "'";
    std::fflush(stdout);
    FILE *pipe = popen(command.c_str(), "r");
    long kib = 0;
    if (pipe != nullptr) {
        if (std::fscanf(pipe, "%ld", &kib) != 1)
            kib = 0;
        pclose(pipe);
    }
    return static_cast<double>(kib) / 1024.0;
}

struct Results {
    std::map<std::string, std::vector<double>> values; // by "label|what|threads"
    void add(const std::string &key, double value) { values[key].push_back(value); }
    double get(const std::string &key) const {
        auto found = values.find(key);
        return found == values.end() ? 0 : median(found->second);
    }
};

std::string keyOf(const Input &input, const std::string &what, int threads) {
    return input.label + "|" + what + "|" + std::to_string(threads);
}

void runRound(const std::vector<Input> &inputs, const std::string &out, const ImageLibrary &library,
              Results &results) {
    for (const Input &input : inputs) {
        Sample decode = timed([&] { decodeWithLibpng(input); });
        results.add(keyOf(input, "libpng", 0), decode.wall);
        for (int threads : {1, 2}) {
            Sample job = timeJob(input, out, threads, library);
            results.add(keyOf(input, "wall", threads), job.wall);
            results.add(keyOf(input, "cpu", threads), job.cpu);
            for (const auto &[stage, ms] : timeStages(input, out, threads, library))
                results.add(keyOf(input, stage, threads), ms);
        }
    }
}

void printTable(const std::vector<Input> &inputs, const Results &r,
                const std::map<std::string, double> &memory) {
    std::printf("| map | -j |");
    for (const std::string &stage : kStages)
        std::printf(" %s |", stage.c_str());
    std::printf(" job wall | job CPU | libpng | wall/libpng | CPU/libpng | peak MiB |\n|---|---|");
    for (size_t i = 0; i < kStages.size() + 6; ++i)
        std::printf("---|");
    std::printf("\n");
    for (const Input &input : inputs)
        for (int threads : {1, 2}) {
            std::printf("| %s | %d |", input.label.c_str(), threads);
            for (const std::string &stage : kStages)
                std::printf(" %.1f |", r.get(keyOf(input, stage, threads)));
            const double libpng = r.get(keyOf(input, "libpng", 0));
            const double wall = r.get(keyOf(input, "wall", threads));
            const double cpu = r.get(keyOf(input, "cpu", threads));
            std::printf(" %.1f | %.1f | %.1f | %.2f | %.2f | %.0f |\n", wall, cpu, libpng,
                        wall / libpng, cpu / libpng, memory.at(keyOf(input, "mem", threads)));
        }
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 2 && std::string(argv[1]) == "-peak") {
        std::printf("%ld\n", peakOfRun(argv + 2));
        return 0;
    }
    const bool writeOnly = argc > 2 && std::string(argv[1]) == "-write";
    const int rounds = argc > 1 && !writeOnly ? std::max(1, std::atoi(argv[1])) : 9;
    testimages::TempDir dir;
    const std::filesystem::path folder = writeOnly ? std::filesystem::path(argv[2]) : dir.path;
    std::vector<Input> inputs;
    for (const mapshapes::MapShape &shape : mapshapes::mapShapes()) {
        const mapshapes::TileMap map = mapshapes::makeMap(shape);
        for (bool palette : {true, false}) {
            Input input{shape.name + (palette ? " pal4" : " rgb24"),
                        (folder / (shape.name + (palette ? "-pal.png" : "-rgb.png"))).string(),
                        palette};
            writeMap(map, palette, input.path);
            inputs.push_back(input);
        }
    }
    if (writeOnly)
        return 0;
    ImageLibrary library;
    if (!bindImageLibrary(library)) {
        std::fputs("The image module did not load.\n", stderr);
        return 1;
    }
    const std::string out = dir.file("out.pat");
    std::map<std::string, double> memory;
    for (const Input &input : inputs)
        for (int threads : {1, 2})
            memory[keyOf(input, "mem", threads)] = peakMemory(input, out, threads);
    Results results;
    for (int round = 0; round < rounds; ++round) {
        runRound(inputs, out, library, results);
        std::fprintf(stderr, "round %d of %d\n", round + 1, rounds);
    }
    std::printf("Medians of %d rounds, ms (peak memory: the program run once).\n\n", rounds);
    printTable(inputs, results, memory);
    return 0;
}
