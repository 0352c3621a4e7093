// Throughput of the LZSS encoder, the plain transcription it must stay identical to,
// and the decoder, on 4 MiB each of random bytes, English-like text, 4bpp tiles and zeros.
#include "lzss/Lzss.hpp"
#include "lzss/LzssReference.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kInputSize = 4 << 20;

Bytes randomBytes() {
    std::mt19937_64 rng(1);
    Bytes data(kInputSize);
    for (uint8_t &byte : data)
        byte = static_cast<uint8_t>(rng());
    return data;
}

// Words drawn with a skewed distribution, with punctuation and line breaks.
Bytes englishText() {
    static const char *const words[] = {
        "the",    "of",    "and",      "to",    "a",     "in",      "is",    "it",     "you",
        "that",   "he",    "was",      "for",   "on",    "are",     "with",  "as",     "his",
        "they",   "be",    "at",       "one",   "have",  "this",    "from",  "or",     "had",
        "by",     "word",  "but",      "what",  "some",  "we",      "can",   "out",    "other",
        "were",   "all",   "there",    "when",  "up",    "use",     "your",  "how",    "said",
        "an",     "each",  "she",      "which", "do",    "their",   "time",  "if",     "will",
        "way",    "about", "many",     "then",  "them",  "write",   "would", "like",   "so",
        "these",  "her",   "long",     "make",  "thing", "see",     "him",   "two",    "has",
        "look",   "more",  "day",      "could", "go",    "come",    "did",   "number", "sound",
        "no",     "most",  "people",   "my",    "over",  "know",    "water", "than",   "call",
        "first",  "who",   "may",      "down",  "side",  "been",    "now",   "find",   "any",
        "new",    "work",  "part",     "take",  "get",   "place",   "made",  "live",   "where",
        "after",  "back",  "little",   "only",  "round", "man",     "year",  "came",   "show",
        "every",  "good",  "me",       "give",  "our",   "under",   "name",  "very",   "through",
        "just",   "form",  "sentence", "great", "think", "say",     "help",  "low",    "line",
        "differ", "turn",  "cause",    "much",  "mean",  "before",  "move",  "right",  "boy",
        "old",    "too",   "same",     "tell",  "does",  "set",     "three", "want",   "air",
        "well",   "also",  "play",     "small", "end",   "put",     "home",  "read",   "hand",
        "port",   "large", "spell",    "add",   "even",  "land",    "here",  "must",   "big",
        "high",   "such",  "follow",   "act",   "why",   "ask",     "men",   "change", "went",
        "light",  "kind",  "off",      "need",  "house", "picture", "try",   "us",     "again",
        "animal", "point", "mother",   "world", "near",  "build",   "self",  "earth",  "father",
        "head",   "stand"};
    constexpr size_t wordCount = std::size(words);
    std::mt19937 rng(2);
    std::geometric_distribution<size_t> rank(0.04);
    Bytes text;
    text.reserve(kInputSize + 16);
    bool capital = true;
    size_t lineLength = 0;
    while (text.size() < kInputSize) {
        std::string word = words[rank(rng) % wordCount];
        if (capital)
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        capital = false;
        text.insert(text.end(), word.begin(), word.end());
        lineLength += word.size() + 1;
        const unsigned roll = rng() % 100;
        if (roll < 8) {
            text.push_back('.');
            capital = true;
        } else if (roll < 14) {
            text.push_back(',');
        }
        if (lineLength > 70) {
            text.push_back('\n');
            lineLength = 0;
        } else {
            text.push_back(' ');
        }
    }
    text.resize(kInputSize);
    return text;
}

using Tile = std::array<uint8_t, 64>; // 8 x 8 pixels of 4-bit palette indexes

// A tile with a few flat areas, a gradient band and some noise, like game graphics.
Tile makeTile(std::mt19937 &rng) {
    Tile tile{};
    const uint8_t background = static_cast<uint8_t>(rng() % 16);
    const uint8_t shape = static_cast<uint8_t>(rng() % 16);
    const int left = static_cast<int>(rng() % 8);
    const int top = static_cast<int>(rng() % 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            uint8_t pixel = background;
            if (x >= left && y >= top)
                pixel = shape;
            if (y == 7 - x)
                pixel = static_cast<uint8_t>((shape + y) % 16);
            if (rng() % 10 == 0)
                pixel = static_cast<uint8_t>(rng() % 16);
            tile[y * 8 + x] = pixel;
        }
    }
    return tile;
}

// Four bitplane bytes per row, leftmost pixel in bit 7, as the Master System stores tiles.
void appendPlanarTile(Bytes &data, const Tile &tile) {
    for (int y = 0; y < 8; ++y) {
        for (int plane = 0; plane < 4; ++plane) {
            uint8_t bits = 0;
            for (int x = 0; x < 8; ++x)
                bits = static_cast<uint8_t>(bits << 1 | ((tile[y * 8 + x] >> plane) & 1));
            data.push_back(bits);
        }
    }
}

// A level's tile data: a small tile set used over and over with the odd new tile.
Bytes tileData() {
    std::mt19937 rng(3);
    std::vector<Tile> tileSet(96);
    for (Tile &tile : tileSet)
        tile = makeTile(rng);
    Bytes data;
    data.reserve(kInputSize);
    while (data.size() < kInputSize) {
        if (rng() % 8 == 0)
            tileSet[rng() % tileSet.size()] = makeTile(rng);
        appendPlanarTile(data, tileSet[rng() % tileSet.size()]);
    }
    data.resize(kInputSize);
    return data;
}

void encodeBench(benchmark::State &state, const Bytes *input, int32_t dictSize) {
    const LzssSettings settings = lzssMakeSettings(2, dictSize);
    LzssStats stats;
    for (auto _ : state) {
        Bytes stream = lzssEncodeBuffer(settings, input->data(), input->size(), &stats);
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input->size()));
    state.counters["ratio"] = static_cast<double>(stats.bytesWritten) / input->size();
}

void referenceBench(benchmark::State &state, const Bytes *input, int32_t dictSize) {
    for (auto _ : state) {
        Bytes stream = lzssReferenceEncode(input->data(), input->size(), dictSize, 2);
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input->size()));
}

// Throughput counts the decoded bytes.
void decodeBench(benchmark::State &state, const Bytes *input, int32_t dictSize) {
    const LzssSettings settings = lzssMakeSettings(2, dictSize);
    const Bytes stream = lzssEncodeBuffer(settings, input->data(), input->size());
    for (auto _ : state) {
        Bytes decoded = lzssDecodeBuffer(settings, stream.data(), stream.size());
        if (decoded.size() != input->size())
            state.SkipWithError("decoded size differs");
        benchmark::DoNotOptimize(decoded.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input->size()));
}

// "kind/input/N", the name a benchmark is listed and filtered by.
std::string benchName(const char *kind, const char *input, int32_t dictSize) {
    std::string name(kind);
    name.append("/").append(input).append("/").append(std::to_string(dictSize));
    return name;
}

} // namespace

int main(int argc, char **argv) {
    const std::pair<const char *, Bytes> inputs[] = {{"random", randomBytes()},
                                                     {"text", englishText()},
                                                     {"tiles", tileData()},
                                                     {"zeros", Bytes(kInputSize, 0)}};
    for (int32_t dictSize : {4096, 1024}) {
        for (const auto &[name, data] : inputs) {
            benchmark::RegisterBenchmark(benchName("encode", name, dictSize).c_str(), encodeBench,
                                         &data, dictSize)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(benchName("reference", name, dictSize).c_str(),
                                         referenceBench, &data, dictSize)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(benchName("decode", name, dictSize).c_str(), decodeBench,
                                         &data, dictSize)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
