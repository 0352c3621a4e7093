// Tile set building (with and without -opt, with and without mirrors) and
// pattern encoding on a 4096x4096 map of about 300 distinct 16-colour tiles
// placed with repeats and random mirrors.
#include "BenchImages.hpp"
#include "targets/Targets.hpp"
#include "tiles/TileEncoder.hpp"
#include "tiles/TileSet.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

namespace {

constexpr int32_t kMapSide = 4096;
constexpr size_t kDistinctTiles = 300;
constexpr uint32_t kColours = 16;

void fillMap(WorkImage &map) {
    map.width = kMapSide;
    map.height = kMapSide;
    map.bitsPerPixel = 8;
    map.pixels = benchimages::tileMapIndexes(kMapSide, kDistinctTiles, kColours);
}

// Built once, shared by every benchmark.
const WorkImage &tileMap() {
    static WorkImage map;
    if (map.pixels.empty())
        fillMap(map);
    return map;
}

void BM_BuildTileSet(benchmark::State &state, bool optimise, bool canFlip) {
    const WorkImage &image = tileMap();
    size_t unique = 0;
    for (auto _ : state) {
        const TileSet set = buildTileSet(image, optimise, canFlip, false);
        unique = set.uniqueTiles.size();
        benchmark::DoNotOptimize(set.tileMap.data());
    }
    state.counters["unique"] = static_cast<double>(unique);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMapSide * kMapSide);
}

void BM_EncodePatterns(benchmark::State &state, Target target, bool optimise) {
    const WorkImage &image = tileMap();
    const TileSet set = buildTileSet(image, optimise, targetRow(target).canFlip, false);
    for (auto _ : state) {
        PatternBuffer buffer;
        const bool ok = encodePatterns(image, set, targetRow(target).layout, 4, false, {}, buffer);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(buffer.bytes.data());
    }
    state.counters["unique"] = static_cast<double>(set.uniqueTiles.size());
}

BENCHMARK_CAPTURE(BM_BuildTileSet, opt_flip, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BuildTileSet, opt_noflip, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BuildTileSet, noopt, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EncodePatterns, interleaved_p4_opt, Target::Sms, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EncodePatterns, pairs_p4_opt, Target::Snes, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EncodePatterns, interleaved_p4_noopt, Target::Sms, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EncodePatterns, pairs_p4_noopt, Target::Snes, false)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
