// The NeuQuant quantiser against the plain transcription it must stay identical to,
// on a synthetic photo-like picture: smooth gradients and soft shapes plus noise.
#include "image/NeuQuant.hpp"
#include "image/NeuQuantReference.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

WorkImage photoLike(int32_t side) {
    WorkImage image{side, side, 24, {}};
    image.pixels.reserve(static_cast<size_t>(side) * side * 3);
    std::mt19937 rng(12345);
    std::normal_distribution<double> grain(0.0, 6.0);
    for (int32_t y = 0; y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            double u = double(x) / side;
            double v = double(y) / side;
            double sky = 1.0 - v;
            double sun = std::exp(-((u - 0.7) * (u - 0.7) + (v - 0.25) * (v - 0.25)) * 40.0);
            double hills = 0.5 + 0.5 * std::sin(u * 9.0 + std::sin(v * 5.0) * 2.0);
            double channel[3] = {60 + 150 * sky + 40 * hills * v,           // blue
                                 50 + 90 * hills * v + 60 * sky + 80 * sun, // green
                                 40 + 60 * v + 120 * sun + 30 * hills * v}; // red
            for (double c : channel)
                image.pixels.push_back(
                    static_cast<uint8_t>(std::clamp(c + grain(rng), 0.0, 255.0)));
        }
    }
    return image;
}

const WorkImage &picture(int32_t side) {
    static const WorkImage small = photoLike(1024);
    static const WorkImage large = photoLike(2048);
    return side == 1024 ? small : large;
}

// Sends the quantiser's progress lines to /dev/null while it lives.
struct QuietStdout {
    int saved = -1;
    QuietStdout() {
        std::fflush(stdout);
        saved = dup(1);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            close(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved >= 0) {
            dup2(saved, 1);
            close(saved);
        }
    }
    QuietStdout(const QuietStdout &) = delete;
    QuietStdout &operator=(const QuietStdout &) = delete;
};

void fast(benchmark::State &state) {
    const WorkImage &image = picture(static_cast<int32_t>(state.range(0)));
    QuietStdout quiet;
    for (auto _ : state) {
        QuantNetwork network;
        IndexedImage result = quantiseImage(network, image, static_cast<int32_t>(state.range(1)),
                                            state.range(2) != 0);
        benchmark::DoNotOptimize(result.image.pixels.data());
    }
}

void plain(benchmark::State &state) {
    const WorkImage &image = picture(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        reference::Result result =
            reference::quantise(image.pixels.data(), image.width, image.height,
                                static_cast<int32_t>(state.range(1)), state.range(2) != 0);
        benchmark::DoNotOptimize(result.indexes.data());
    }
}

} // namespace

BENCHMARK(fast)
    ->ArgNames({"side", "q", "dither"})
    ->ArgsProduct({{1024}, {16, 256}, {0, 1}})
    ->Args({2048, 16, 0})
    ->Args({2048, 256, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(plain)
    ->ArgNames({"side", "q", "dither"})
    ->ArgsProduct({{1024}, {16, 256}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
