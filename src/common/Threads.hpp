// Running a stage's independent pieces on a few threads. Callers give every
// piece its own output slot and merge the slots in piece order, so results
// never depend on how many threads ran.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

// The threads to use for -j n; 0 (not given) means one per core.
inline int32_t threadCount(int32_t requested) {
    if (requested > 0)
        return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int32_t>(std::min(cores, 64u));
}

// Calls work(piece) for every piece in 0..pieces-1, spread over at most
// `threads` threads (the calling thread is one of them). The first exception
// a piece throws is rethrown here once every thread has stopped.
template <typename Work> void runPieces(int32_t threads, size_t pieces, const Work &work) {
    const size_t workers = std::min(pieces, static_cast<size_t>(std::max(threads, 1)));
    if (workers <= 1) {
        for (size_t piece = 0; piece < pieces; ++piece)
            work(piece);
        return;
    }
    std::vector<std::exception_ptr> failures(workers);
    auto runShare = [&](size_t worker) {
        try {
            for (size_t piece = worker; piece < pieces; piece += workers)
                work(piece);
        } catch (...) {
            failures[worker] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(workers);
        size_t started = 1;
        try {
            for (; started < workers; ++started)
                helpers.emplace_back(runShare, started);
        } catch (const std::system_error &) {
            // No thread to be had (address space, process limits): this one does the rest.
        }
        runShare(0);
        for (size_t worker = started; worker < workers; ++worker)
            runShare(worker);
    }
    for (const std::exception_ptr &failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

// Splits `count` items into about `pieces` contiguous ranges; range i is
// [bounds[i], bounds[i + 1]).
inline std::vector<size_t> splitRange(size_t count, size_t pieces) {
    pieces = std::max<size_t>(1, std::min(pieces, count));
    std::vector<size_t> bounds(pieces + 1, 0);
    for (size_t i = 0; i <= pieces; ++i)
        bounds[i] = count * i / pieces;
    return bounds;
}

// How many pieces a stage cuts its work into: a fixed number whatever the
// thread count, since where the pieces start can show in the result.
inline size_t bandsFor(int32_t) {
    return 8;
}
