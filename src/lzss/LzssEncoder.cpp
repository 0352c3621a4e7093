#include "common/OutputFile.hpp"
#include "lzss/Lzss.hpp"
#include "lzss/LzssFile.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>

#if defined(__GNUC__) && defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace {

constexpr size_t kBlockSize = 64 * 1024;

// Key comparisons load eight bytes at a time and may read up to seven bytes past the
// last byte of a key; these fill bytes beyond the window copy never decide a result.
constexpr int32_t kCompareSlack = 8;

// The child links of a tree node. There is one node per window position, the 256 roots
// (N + 1 + first byte), a spare node and nil (2N). Links fit 16 bits as N <= 4096;
// the parents, which the descent does not read, are kept apart, so what a descent reads
// (window and child links, 21 KiB at most) stays in the L1 cache.
struct LzssNode {
    std::array<uint16_t, 2> child; // [0] smaller keys, [1] equal or greater keys
};

// Nodes are named by slot = N - 1 - position, and the window is stored backwards: the key
// of slot q runs down from window[q], so one little-endian load of the eight bytes below
// window[q] gives key bytes 1 to 8 already in the order in which keys sort.
struct LzssTree {
    uint8_t *window; // window[q] is the first byte of slot q's key
    LzssNode *nodes;
    uint16_t *parents;
    uint32_t size;  // N
    int32_t maxLen; // F
    uint32_t nil;
    uint32_t spare; // takes the writes a step does not need, so it needs no branch
};

// The longest match the last insertion met, by length and slot.
struct LzssMatch {
    int32_t length;
    uint32_t slot;
};

// Where the window stands: s is the slot of the oldest byte, r that of the next byte to
// encode; both count down.
struct LzssEncodeCursor {
    uint32_t s;
    uint32_t r;
};

// The flag byte and up to eight items of at most two bytes each.
struct LzssGroup {
    std::array<uint8_t, 17> bytes{};
    int32_t length = 1; // entries in use, the flag byte included
    uint32_t mask = 1;  // flag bit of the next item
};

// Sources hand out up to `want` contiguous bytes at a time; none means the input ended.
struct LzssMemorySource {
    const uint8_t *next;
    const uint8_t *end;

    size_t take(const uint8_t *&bytes, size_t want) {
        const size_t got = std::min(want, static_cast<size_t>(end - next));
        bytes = next;
        next += got;
        return got;
    }
};

struct LzssFileSource {
    std::FILE *stream;
    std::vector<uint8_t> block = std::vector<uint8_t>(kBlockSize);
    size_t position = 0;
    size_t filled = 0;
    bool ended = false;
    int errorCode = 0;

    bool refill() {
        if (ended)
            return false;
        errno = 0;
        filled = std::fread(block.data(), 1, block.size(), stream);
        position = 0;
        if (filled == 0) {
            ended = true;
            if (std::ferror(stream))
                errorCode = errno != 0 ? errno : EIO;
        }
        return filled != 0;
    }

    size_t take(const uint8_t *&bytes, size_t want) {
        if (position == filled && !refill())
            return 0;
        const size_t got = std::min(want, filled - position);
        bytes = block.data() + position;
        position += got;
        return got;
    }
};

struct LzssBufferSink {
    std::vector<uint8_t> &stream;

    void write(const uint8_t *bytes, size_t length) {
        stream.insert(stream.end(), bytes, bytes + length);
    }
};

struct LzssFileSink {
    OutputFile &file;

    void write(const uint8_t *bytes, size_t length) { writeOutputBytes(file, bytes, length); }
};

// Collects groups into large blocks, so that sinks see few, big writes. Each group is
// copied whole, unused bytes too, and then counted by its length: a fixed-size copy
// costs a move or two, where one of any length costs a library call.
struct LzssGroupBlock {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kBlockSize);
    size_t used = 0;
};

template <typename Sink> void lzssEmptyBlock(LzssGroupBlock &block, Sink &sink) {
    sink.write(block.bytes.data(), block.used);
    block.used = 0;
}

int32_t clampCount(int64_t count) {
    return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

// Eight key bytes of slot q from byte `from` on, as one number that orders like the
// bytes compared one by one (the window runs backwards, so on little-endian machines no
// byte swap is needed).
inline uint64_t lzssKeyWord(const uint8_t *window, uint32_t q, uint32_t from) {
    uint64_t word;
    std::memcpy(&word, window + q - (from + 7), sizeof word);
    if constexpr (std::endian::native == std::endian::big)
        word = __builtin_bswap64(word);
    return word;
}

// a > b ? x : y, unsigned. The walk down a tree goes left or right as
// good as at random and finds a longer match at no predictable step, so branches here
// would be mispredicted often; compilers do not reliably emit the conditional move.
inline uint32_t lzssPickAbove(uint64_t a, uint64_t b, uint32_t x, uint32_t y) {
#if defined(__GNUC__) && defined(__x86_64__)
    asm("cmp %2, %1\n\tcmova %3, %0" : "+r"(y) : "r"(a), "r"(b), "r"(x) : "cc");
    return y;
#else
    return a > b ? x : y;
#endif
}

// Takes score and slot when the score is below the best, with one comparison for both.
inline void lzssKeepBetter(int32_t score, uint32_t slot, int32_t &bestScore, uint32_t &bestSlot) {
#if defined(__GNUC__) && defined(__x86_64__)
    asm("cmp %0, %2\n\tcmovl %3, %1\n\tcmovl %2, %0"
        : "+r"(bestScore), "+r"(bestSlot)
        : "r"(score), "r"(slot)
        : "cc");
#else
    if (score < bestScore) {
        bestScore = score;
        bestSlot = slot;
    }
#endif
}

// The index of the highest set bit of a non-zero word.
inline int32_t lzssHighestBit(uint64_t word) {
#if defined(__GNUC__) && defined(__x86_64__)
    return static_cast<int32_t>(__bsrq(static_cast<long long>(word)));
#else
    return 63 - __builtin_clzll(word);
#endif
}

// (value & mask) == 0 ? x : y, and a != b ? x : y below, as conditional moves however
// the compiler would lay them out.
inline uint32_t lzssPickIfClear(uint32_t value, uint32_t mask, uint32_t x, uint32_t y) {
#if defined(__GNUC__) && defined(__x86_64__)
    asm("test %2, %1\n\tcmovz %3, %0" : "+r"(y) : "r"(value), "r"(mask), "r"(x) : "cc");
    return y;
#else
    return (value & mask) == 0 ? x : y;
#endif
}

inline uint32_t lzssPickIfDifferent(uint32_t a, uint32_t b, uint32_t x, uint32_t y) {
#if defined(__GNUC__) && defined(__x86_64__)
    asm("cmp %2, %1\n\tcmovne %3, %0" : "+r"(y) : "r"(a), "r"(b), "r"(x) : "cc");
    return y;
#else
    return a != b ? x : y;
#endif
}

struct LzssKeyOrder {
    int32_t length;      // bytes the two keys have in common, at most F
    bool greaterOrEqual; // the new key sorts at or after the node
};

// Compares two keys whose bytes 0 to 8 agree, eight bytes at a time up to F; kept out
// of the descent loop, which it would otherwise crowd.
[[gnu::noinline]] LzssKeyOrder lzssCompareTail(const uint8_t *window, uint32_t key, uint32_t node,
                                               int32_t maxLen) {
    for (int32_t i = 9; i < maxLen; i += 8) {
        const uint64_t keyWord = lzssKeyWord(window, key, static_cast<uint32_t>(i));
        const uint64_t nodeWord = lzssKeyWord(window, node, static_cast<uint32_t>(i));
        if (keyWord != nodeWord) {
            i += __builtin_clzll(keyWord ^ nodeWord) >> 3;
            return {std::min(i, maxLen), keyWord > nodeWord};
        }
    }
    return {maxLen, true};
}

// The new node r takes the place of q, whose key equals r's over all F bytes.
void lzssReplaceNode(const LzssTree &tree, uint32_t q, uint32_t r) {
    LzssNode *nodes = tree.nodes;
    uint16_t *parents = tree.parents;
    const uint32_t up = parents[q];
    nodes[r] = nodes[q];
    parents[r] = parents[q];
    parents[nodes[q].child[0]] = static_cast<uint16_t>(r);
    parents[nodes[q].child[1]] = static_cast<uint16_t>(r);
    nodes[up].child[nodes[up].child[1] == q] = static_cast<uint16_t>(r);
    parents[q] = static_cast<uint16_t>(tree.nil);
}

// Key bytes 1 to 8 of a node that orders with the new key as byte 1 says: below it or
// above it, never equal in byte 1, so the node never counts as a match longer than 1.
inline uint64_t lzssUnlikeHead(uint64_t keyHead) {
    return keyHead ^ (uint64_t{0x80} << 56);
}

inline void lzssStoreKeyWord(uint8_t *window, uint32_t q, uint64_t word) {
    if constexpr (std::endian::native == std::endian::big)
        word = __builtin_bswap64(word);
    std::memcpy(window + q - 8, &word, sizeof word);
}

// How many walks went on past the untested steps, and past two fewer steps.
struct LzssWalkCounts {
    uint32_t pastSteps = 0;
    uint32_t pastFewerSteps = 0;
};

// Inserts slot r into the tree of its first byte and returns the longest match met on
// the way down; among equally long matches the first one met wins. With no match at all
// the slot of the previous match is kept. The first `steps` steps do not test for the
// end of the walk; `walks` counts the walks that go on past them, and past two fewer.
[[gnu::always_inline]] inline LzssMatch lzssInsertNode(const LzssTree tree, uint32_t r,
                                                       uint32_t previousSlot, int32_t steps,
                                                       LzssWalkCounts &walks) {
    uint8_t *window = tree.window;
    LzssNode *nodes = tree.nodes;
    uint16_t *parents = tree.parents;
    const uint32_t nil = tree.nil;
    // Bytes 1 to 8 of the new key, compared with the same bytes of each node on the way
    // down; F >= 16, so they all belong to the key.
    const uint64_t keyHead = lzssKeyWord(window, r, 1);
    nodes[r].child = {static_cast<uint16_t>(nil), static_cast<uint16_t>(nil)};
    const uint32_t root = tree.size + 1 + window[r];
    uint32_t q = nodes[root].child[1];
    if (q == nil) {
        nodes[root].child[1] = static_cast<uint16_t>(r);
        parents[r] = static_cast<uint16_t>(root);
        return {0, previousSlot};
    }
    // nil gets a key that never matches, and its links lead back to nil: a walk that has
    // left the tree stays on nil and changes nothing, so the first steps need no test
    // for the end of the walk, whose step no branch predictor foresees.
    lzssStoreKeyWord(window, nil, lzssUnlikeHead(keyHead));
    int32_t bestScore = 8;
    uint32_t matchSlot = previousSlot;
    uint32_t last = q; // the last node of the tree on the way, r's parent to be
    uint32_t next = nil;
    // The last node whose key agreed with r's in bytes 1 to 8, and how the two sort.
    uint32_t tailNode = nil;
    uint32_t tailGreater = 0;
    // Compares r with node q's key, keeps the longer match and sets `next`, the child to
    // go to; true when the keys agree in all F bytes and r has taken q's place.
    const auto visit = [&](uint32_t q) __attribute__((always_inline)) {
        // Both links load while the key is compared, so a step down waits for one load only.
        const uint32_t leftLink = nodes[q].child[0];
        const uint32_t rightLink = nodes[q].child[1];
        const uint64_t nodeHead = lzssKeyWord(window, q, 1);
        next = lzssPickAbove(keyHead, nodeHead, rightLink, leftLink);
        const uint64_t difference = keyHead ^ nodeHead;
        // A match of length L scores 8 - L, so the longest match has the lowest score; for
        // keys that differ in bytes 1 to 8 that is the index of the highest differing byte.
        int32_t score;
        if (difference != 0) [[likely]] {
            score = lzssHighestBit(difference) >> 3;
        } else {
            const LzssKeyOrder order = lzssCompareTail(window, r, q, tree.maxLen);
            next = order.greaterOrEqual ? rightLink : leftLink;
            tailNode = q;
            tailGreater = order.greaterOrEqual;
            if (order.length >= tree.maxLen) [[unlikely]] {
                lzssReplaceNode(tree, q, r);
                return true;
            }
            score = 8 - order.length;
        }
        lzssKeepBetter(score, q, bestScore, matchSlot);
        return false;
    };
    for (int32_t step = 0; step < steps; ++step) {
        if (visit(q)) [[unlikely]]
            return {tree.maxLen, q};
        last = lzssPickIfClear(q, nil, q, last);
        q = next;
        if (step + 3 == steps)
            walks.pastFewerSteps += q != nil;
    }
    walks.pastSteps += q != nil;
    while (q != nil) {
        if (visit(q)) [[unlikely]]
            return {tree.maxLen, q};
        last = q;
        q = next;
    }
    // r sorts after `last` as the walk found: by bytes 1 to 8, or by the rest when those
    // agreed.
    const uint32_t after =
        lzssPickIfDifferent(last, tailNode, keyHead > lzssKeyWord(window, last, 1), tailGreater);
    nodes[last].child[after] = static_cast<uint16_t>(r);
    parents[r] = static_cast<uint16_t>(last);
    return {8 - bestScore, matchSlot};
}

// Removes p from its tree as the classic algorithm does: a node with one child or none
// gives way to that child (or nil), one with two children to its in-order predecessor.
// The cases are told apart by selects rather than branches, which would be mispredicted
// often; writes a case does not make go to the spare node.
[[gnu::always_inline]] inline void lzssDeleteNode(const LzssTree tree, uint32_t p) {
    LzssNode *nodes = tree.nodes;
    uint16_t *parents = tree.parents;
    const uint32_t nil = tree.nil;
    const uint32_t spare = tree.spare;
    const uint32_t up = parents[p];
    if (up == nil)
        return;
    const uint32_t leftLink = nodes[p].child[0];
    const uint32_t rightLink = nodes[p].child[1];
    // nil is 2N, a power of two above every node, so a link is nil exactly when it has
    // bit 2N set, and p has two children when neither link has it.
    const uint32_t nilBits = leftLink | rightLink;
    // The predecessor is the rightmost node below the left child; nil has no children,
    // so a walk from nil takes no steps.
    const uint32_t walkStart = lzssPickIfClear(nilBits, nil, leftLink, nil);
    // The first two steps, which cover most walks, are taken by selects.
    uint32_t q = walkStart;
    for (int step = 0; step < 2; ++step) {
        const uint32_t down = nodes[q].child[1];
        q = lzssPickIfClear(down, nil, down, q);
    }
    while (nodes[q].child[1] != nil)
        q = nodes[q].child[1];
    // A predecessor further down leaves its place to its left child and takes p's left
    // subtree.
    const uint32_t qUp = lzssPickIfDifferent(q, walkStart, parents[q], spare);
    const uint32_t qLeft = nodes[q].child[0];
    nodes[qUp].child[1] = static_cast<uint16_t>(qLeft);
    parents[lzssPickIfDifferent(q, walkStart, qLeft, spare)] = static_cast<uint16_t>(qUp);
    nodes[lzssPickIfDifferent(q, walkStart, q, spare)].child[0] = static_cast<uint16_t>(leftLink);
    parents[lzssPickIfDifferent(q, walkStart, leftLink, spare)] = static_cast<uint16_t>(q);
    // The predecessor takes p's right subtree; with one child or none, that child or nil
    // takes p's place.
    const uint32_t onlyChild = lzssPickIfClear(rightLink, nil, rightLink, leftLink);
    q = lzssPickIfClear(nilBits, nil, q, onlyChild);
    nodes[lzssPickIfClear(nilBits, nil, q, spare)].child[1] = static_cast<uint16_t>(rightLink);
    parents[lzssPickIfClear(nilBits, nil, rightLink, spare)] = static_cast<uint16_t>(q);
    parents[q] = static_cast<uint16_t>(up);
    nodes[up].child[nodes[up].child[1] == p] = static_cast<uint16_t>(q);
    parents[p] = static_cast<uint16_t>(nil);
}

// After r + 1 replaced the node of an equal key q + 1, the keys of r and q share their
// first F - 1 bytes; if their last bytes agree too and q is still in the tree, a descent
// would end at q and replace it, as all keys in a tree differ. Takes that shortcut and
// returns true, or returns false for a full insertion.
[[gnu::always_inline]] inline bool lzssContinueRun(const LzssTree &tree, uint32_t r,
                                                   LzssMatch &match) {
    const uint32_t follower = (match.slot - 1) & (tree.size - 1);
    const ptrdiff_t lastKeyByte = tree.maxLen - 1;
    if (tree.parents[follower] == tree.nil ||
        tree.window[static_cast<ptrdiff_t>(r) - lastKeyByte] !=
            tree.window[static_cast<ptrdiff_t>(follower) - lastKeyByte])
        return false;
    lzssReplaceNode(tree, follower, r);
    match = {tree.maxLen, follower};
    return true;
}

// One step of the window: the oldest byte's position leaves the tree, the new byte takes
// its place and the next position to encode enters the tree.
template <int32_t kSteps>
[[gnu::always_inline]] inline void lzssSlideStep(const LzssTree &tree, LzssEncodeCursor &cursor,
                                                 uint8_t byte, LzssMatch &match,
                                                 LzssWalkCounts &walks) {
    const uint32_t wrap = tree.size - 1;
    lzssDeleteNode(tree, cursor.s);
    // Keys near slot 0 run on below it into the copy of the window's top; every byte is
    // copied, which is cheaper than telling those few apart.
    tree.window[cursor.s] = byte;
    tree.window[static_cast<ptrdiff_t>(cursor.s) - static_cast<ptrdiff_t>(tree.size)] = byte;
    cursor.s = (cursor.s - 1) & wrap;
    cursor.r = (cursor.r - 1) & wrap;
    if (match.length != tree.maxLen || !lzssContinueRun(tree, cursor.r, match)) [[likely]]
        match = lzssInsertNode(tree, cursor.r, match.slot, kSteps, walks);
}

// Moves the window on by `count` > 0 new bytes and returns the last position's match.
template <int32_t kSteps>
[[gnu::always_inline]] inline LzssMatch lzssSlide(const LzssTree tree, LzssEncodeCursor &cursor,
                                                  const uint8_t *bytes, size_t count,
                                                  LzssMatch match, LzssWalkCounts &walks) {
    size_t i = 0;
    do
        lzssSlideStep<kSteps>(tree, cursor, bytes[i], match, walks);
    while (++i < count);
    return match;
}

// How deep the walks go. Too few untested steps and most walks end in a loop whose exit
// is mispredicted; too many and short walks idle on nil. Walks on random bytes mostly end
// within log2(N) - 6 steps, on text and graphics they often go further, so the encoder
// moves between that and two or four steps more; the output is the same either way.
struct LzssDepth {
    LzssWalkCounts walks;   // since the last choice
    uint32_t positions = 0; // positions inserted since then
    int32_t level = 0;      // 2 * level more untested steps
};

constexpr uint32_t kDepthPeriod = 4096;
constexpr int32_t kDeepestLevel = 2;

// A mispredicted loop exit costs about as much as four steps on nil, so two more
// untested steps pay when over half the walks go on past the present ones; a margin
// keeps the choice from flapping.
inline void lzssChooseDepth(LzssDepth &depth) {
    if (depth.level < kDeepestLevel && depth.walks.pastSteps > depth.positions / 2)
        ++depth.level;
    else if (depth.level > 0 && depth.walks.pastFewerSteps < depth.positions * 2 / 5)
        --depth.level;
    depth.walks = {};
    depth.positions = 0;
}

// Adds a match, or the literal at slot r when the match is too short; returns the
// number of bytes the item covers.
int32_t lzssAppendItem(LzssGroup &group, const LzssTree &tree, const LzssSettings &settings,
                       LzssMatch match, uint32_t r) {
    group.mask <<= 1;
    if (match.length <= settings.threshold) {
        group.bytes[0] |= static_cast<uint8_t>(group.mask >> 1);
        group.bytes[group.length++] = tree.window[r];
        return 1;
    }
    const int32_t position = static_cast<int32_t>(tree.size - 1 - match.slot);
    const int32_t high = (position >> (settings.positionBits - 8)) & settings.positionHighMask;
    group.bytes[group.length++] = static_cast<uint8_t>(position & 0xFF);
    group.bytes[group.length++] =
        static_cast<uint8_t>(high | (match.length - settings.threshold - 1));
    return match.length;
}

template <typename Sink>
void lzssFlushGroup(LzssGroup &group, LzssGroupBlock &block, Sink &sink, int64_t &written) {
    if (block.used + group.bytes.size() > block.bytes.size())
        lzssEmptyBlock(block, sink);
    std::memcpy(block.bytes.data() + block.used, group.bytes.data(), group.bytes.size());
    block.used += static_cast<size_t>(group.length);
    written += group.length;
    // Item bytes are written before they are read; only the flag byte starts empty.
    group.bytes[0] = 0;
    group.length = 1;
    group.mask = 1;
}

// One encoding run from any byte source into any sink.
// N is known at compile time, so the tree's sizes and nil are constants in the code.
template <int32_t kPositionBits, typename Source, typename Sink>
LzssStats lzssEncodeRun(const LzssSettings &settings, Source &source, Sink &sink) {
    constexpr int32_t n = 1 << kPositionBits;
    // Steps an insertion takes before it tests for the end of its walk, at the lowest
    // depth level: about the depth of a tree of N / 256 random keys.
    constexpr int32_t kSteps = kPositionBits - 6;
    const int32_t f = settings.maxLen;
    // Below slot 0 lie a copy of the window, whose top F - 1 bytes keys near slot 0 read,
    // and the compare slack.
    const int32_t below = n + kCompareSlack;
    // The tree's nil is 2N, a power of two above the roots, whose key lies in the window's
    // spare upper half.
    std::vector<uint8_t> windowBytes(static_cast<size_t>(below + 2 * n), settings.fillByte);
    const uint16_t nil = static_cast<uint16_t>(2 * n);
    std::vector<LzssNode> nodes(static_cast<size_t>(2 * n + 1), LzssNode{{nil, nil}});
    std::vector<uint16_t> parents(static_cast<size_t>(2 * n + 1), nil);
    const LzssTree tree{windowBytes.data() + below,
                        nodes.data(),
                        parents.data(),
                        static_cast<uint32_t>(n),
                        f,
                        nil,
                        static_cast<uint32_t>(n + 257)};
    const uint32_t wrap = tree.size - 1;

    LzssEncodeCursor cursor{wrap, static_cast<uint32_t>(f - 1)};
    int32_t len = 0;
    for (const uint8_t *bytes; len < f;) {
        const size_t got = source.take(bytes, static_cast<size_t>(f - len));
        if (got == 0)
            break;
        for (size_t i = 0; i < got; ++i, ++len)
            tree.window[cursor.r - len] = bytes[i];
    }
    int64_t bytesRead = len;
    int64_t bytesWritten = 0;
    if (len == 0)
        return {};
    LzssDepth depth;
    LzssMatch match{0, wrap};
    for (uint32_t i = 1; i <= static_cast<uint32_t>(f); ++i)
        match = lzssInsertNode(tree, cursor.r + i, match.slot, kSteps, depth.walks);
    match = lzssInsertNode(tree, cursor.r, match.slot, kSteps, depth.walks);

    LzssGroup group;
    LzssGroupBlock block;
    // Input taken from the source in large pieces and not yet in the window.
    const uint8_t *pending = nullptr;
    size_t pendingCount = 0;
    const auto slidePending = [&](size_t count) __attribute__((always_inline)) {
        if (depth.level == 0)
            match = lzssSlide<kSteps>(tree, cursor, pending, count, match, depth.walks);
        else if (depth.level == 1)
            match = lzssSlide<kSteps + 2>(tree, cursor, pending, count, match, depth.walks);
        else
            match = lzssSlide<kSteps + 4>(tree, cursor, pending, count, match, depth.walks);
        pending += count;
        pendingCount -= count;
        depth.positions += static_cast<uint32_t>(count);
        if (depth.positions >= kDepthPeriod)
            lzssChooseDepth(depth);
    };
    while (len > 0) {
        match.length = std::min(match.length, len);
        const int32_t last = lzssAppendItem(group, tree, settings, match, cursor.r);
        match.length = last;
        if (group.mask > 0xFF)
            lzssFlushGroup(group, block, sink, bytesWritten);
        int32_t i = 0;
        if (pendingCount >= static_cast<size_t>(last)) [[likely]] {
            slidePending(static_cast<size_t>(last));
            i = last;
        }
        while (i < last) {
            if (pendingCount == 0) {
                pendingCount = source.take(pending, kBlockSize);
                bytesRead += static_cast<int64_t>(pendingCount);
                if (pendingCount == 0)
                    break;
            }
            const size_t count = std::min(pendingCount, static_cast<size_t>(last - i));
            slidePending(count);
            i += static_cast<int32_t>(count);
        }
        // The input has ended: the look-ahead shrinks by one per byte still owed.
        for (; i < last; ++i) {
            lzssDeleteNode(tree, cursor.s);
            cursor.s = (cursor.s - 1) & wrap;
            cursor.r = (cursor.r - 1) & wrap;
            if (--len != 0)
                match = lzssInsertNode(tree, cursor.r, match.slot, kSteps, depth.walks);
        }
    }
    if (group.length > 1)
        lzssFlushGroup(group, block, sink, bytesWritten);
    lzssEmptyBlock(block, sink);
    return {clampCount(bytesRead), clampCount(bytesWritten)};
}

template <typename Source, typename Sink>
LzssStats lzssEncode(const LzssSettings &settings, Source &source, Sink &sink) {
    const LzssSettings model = lzssMakeSettings(settings.threshold, settings.dictionarySize);
    switch (model.positionBits) {
    case 9:
        return lzssEncodeRun<9>(model, source, sink);
    case 10:
        return lzssEncodeRun<10>(model, source, sink);
    case 11:
        return lzssEncodeRun<11>(model, source, sink);
    default:
        return lzssEncodeRun<12>(model, source, sink);
    }
}

} // namespace

LzssFileResult lzssEncodeFile(const LzssSettings &settings, const std::string &inputName,
                              const std::string &outputName) {
    LzssStats stats;
    LzssFileResult result =
        lzssRunFile(inputName, outputName, [&](std::FILE *input, OutputFile &output) {
            LzssFileSource source{input};
            LzssFileSink sink{output};
            stats = lzssEncode(settings, source, sink);
            return source.errorCode;
        });
    result.stats = stats;
    if (result.status == LzssFileStatus::Ok && stats.bytesRead == 0)
        result.status = LzssFileStatus::EmptyInput;
    return result;
}

std::vector<uint8_t> lzssEncodeBuffer(const LzssSettings &settings, const uint8_t *source,
                                      size_t length, LzssStats *stats) {
    std::vector<uint8_t> stream;
    if (source == nullptr)
        length = 0;
    // Literals cost nine bits a byte and, above threshold 0, matches less than that.
    if (length > 0)
        stream.reserve(length + length / 8 + 1);
    LzssMemorySource input{source, source + length};
    LzssBufferSink sink{stream};
    const LzssStats run = lzssEncode(settings, input, sink);
    if (stats != nullptr)
        *stats = run;
    return stream;
}
