#include "lzss/PatternOutput.hpp"

#include "common/OutputFile.hpp"
#include "common/Statistics.hpp"
#include "common/Threads.hpp"

#include <cstdio>

namespace {

CodecTrial encodeTrial(const uint8_t *data, size_t length, int32_t dictSize, int32_t threshold) {
    LzssStats stats;
    CodecTrial trial;
    trial.dictSize = dictSize;
    trial.threshold = threshold;
    trial.bytes = lzssEncodeBuffer(lzssMakeSettings(threshold, dictSize), data, length, &stats);
    trial.compressedSize = stats.bytesWritten;
    return trial;
}

} // namespace

CodecTrial searchCodecSettings(const uint8_t *data, size_t length, bool verbose, int32_t threads) {
    if (verbose)
        std::fputs("Trying codec settings", stdout);
    std::vector<CodecTrial> trials(kAutoDictSizes.size() * kAutoThresholds.size());
    runPieces(threads, trials.size(), [&](size_t i) {
        trials[i] = encodeTrial(data, length, kAutoDictSizes[i / kAutoThresholds.size()],
                                kAutoThresholds[i % kAutoThresholds.size()]);
    });
    for (size_t i = 0; i < trials.size() && verbose; ++i) {
        std::fputs(".", stdout);
        std::fflush(stdout);
    }
    if (verbose)
        std::fputs("\n", stdout);
    size_t chosen = 0;
    for (size_t i = 1; i < trials.size(); ++i)
        if (trials[i].compressedSize < trials[chosen].compressedSize)
            chosen = i;
    // Also without -v: the stream unpacks only with these settings.
    std::printf("Using LZSS settings -dict %d -threshold %d.\n", trials[chosen].dictSize,
                trials[chosen].threshold);
    return std::move(trials[chosen]);
}

CodecSettings writeCompressedPatterns(const PatternOutput &output, bool search,
                                      CodecSettings settings) {
    CodecTrial trial =
        search ? searchCodecSettings(output.data, output.length, output.verbose, output.threads)
               : encodeTrial(output.data, output.length, settings.dictSize, settings.threshold);
    writeJobFile(output.fileName, trial.bytes.data(), trial.bytes.size());
    const double unoptimised = static_cast<double>(output.unoptimisedSize);
    const double length = static_cast<double>(output.length);
    std::printf("Unoptimized size: %lld bytes.\nOptimized size: %lld bytes (%1.0f%%).\n"
                "Compressed size: %d bytes (%1.0f%%).\n",
                static_cast<long long>(output.unoptimisedSize),
                static_cast<long long>(output.length), percentOf(length, unoptimised),
                trial.compressedSize, percentOf(trial.compressedSize, unoptimised));
    return {trial.dictSize, trial.threshold};
}

void writeRawPatterns(const PatternOutput &output, bool statistics) {
    writeJobFile(output.fileName, output.data, output.length);
    if (statistics)
        std::printf("Unoptmized size: %lld bytes.\nOptimized size: %lld bytes (%1.0f%%).\n",
                    static_cast<long long>(output.unoptimisedSize),
                    static_cast<long long>(output.length),
                    percentOf(static_cast<double>(output.length),
                              static_cast<double>(output.unoptimisedSize)));
}
