#include "common/OutputFile.hpp"
#include "lzss/Lzss.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {

constexpr size_t kBlockSize = 64 * 1024;

// Key comparisons load eight bytes at a time and may read up to seven bytes past the
// last byte of a key; these zero bytes behind the window copy never decide a result.
constexpr size_t kCompareSlack = 8;

// Raw views of the record's arrays, so the hot loops work on plain pointers.
struct LzssTree {
    const uint8_t *ring = nullptr;
    int32_t *leftChild = nullptr;
    int32_t *rightChild = nullptr;
    int32_t *parent = nullptr;
    int32_t size = 0;   // N
    int32_t maxLen = 0; // F
    int32_t nil = 0;
    int32_t matchLength = 0;
    int32_t matchPosition = 0;
};

// The flag byte and up to eight items of at most two bytes each.
struct LzssGroup {
    std::array<uint8_t, 17> bytes{};
    int32_t length = 1; // entries in use, the flag byte included
    uint32_t mask = 1;  // flag bit of the next item
};

struct LzssMemorySource {
    const uint8_t *next;
    const uint8_t *end;

    bool get(uint8_t &byte) {
        if (next == end)
            return false;
        byte = *next++;
        return true;
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

    bool get(uint8_t &byte) {
        if (position == filled && !refill()) [[unlikely]]
            return false;
        byte = block[position++];
        return true;
    }
};

struct LzssBufferSink {
    std::vector<uint8_t> &stream;

    void write(const uint8_t *bytes, size_t length) {
        stream.insert(stream.end(), bytes, bytes + length);
    }
};

// Collects groups into large blocks so the file sees few, big writes.
struct LzssFileSink {
    OutputFile &file;
    std::vector<uint8_t> block = std::vector<uint8_t>(kBlockSize);
    size_t used = 0;

    void flush() {
        writeOutputBytes(file, block.data(), used);
        used = 0;
    }

    void write(const uint8_t *bytes, size_t length) {
        if (used + length > block.size())
            flush();
        std::memcpy(block.data() + used, bytes, length);
        used += length;
    }
};

// Frees the run's arrays however the run ends.
struct LzssArrayRelease {
    LzssParams &params;

    ~LzssArrayRelease() {
        params.ringBuffer = std::vector<uint8_t>();
        params.leftChild = std::vector<int32_t>();
        params.rightChild = std::vector<int32_t>();
        params.parent = std::vector<int32_t>();
    }
};

int32_t clampCount(int64_t count) {
    return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

// Eight bytes as one number whose order is the order of the bytes compared one by one.
uint64_t loadOrdered64(const uint8_t *bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::little)
        return __builtin_bswap64(word);
    else
        return word;
}

// a > b ? x : y. The walk down a tree goes left or right as good as at random, so a
// branch here would be mispredicted half the time; compilers do not reliably emit the
// conditional move on their own.
inline int32_t lzssPickAbove(uint64_t a, uint64_t b, int32_t x, int32_t y) {
#if defined(__GNUC__) && defined(__x86_64__)
    asm("cmp %2, %1\n\tcmova %3, %0" : "+r"(y) : "r"(a), "r"(b), "r"(x) : "cc");
    return y;
#else
    return a > b ? x : y;
#endif
}

struct LzssKeyOrder {
    int32_t length;      // bytes the two keys have in common, at most F
    bool greaterOrEqual; // the new key sorts at or after the node
};

// Compares two keys whose bytes 0 to 8 agree, eight bytes at a time up to F; kept out
// of the descent loop, which it would otherwise crowd.
[[gnu::noinline]] LzssKeyOrder lzssCompareTail(const uint8_t *key, const uint8_t *node,
                                               int32_t maxLen) {
    for (int32_t i = 9; i < maxLen; i += 8) {
        const uint64_t keyWord = loadOrdered64(key + i);
        const uint64_t nodeWord = loadOrdered64(node + i);
        if (keyWord != nodeWord) {
            i += __builtin_clzll(keyWord ^ nodeWord) >> 3;
            return {std::min(i, maxLen), keyWord > nodeWord};
        }
    }
    return {maxLen, true};
}

void lzssInitTree(LzssParams &params, LzssTree &tree) {
    const int32_t n = params.dictionarySize;
    params.leftChild.assign(n + 1, params.nilIndex);
    params.rightChild.assign(n + 257, params.nilIndex);
    params.parent.assign(n + 1, params.nilIndex);
    tree.ring = params.ringBuffer.data();
    tree.leftChild = params.leftChild.data();
    tree.rightChild = params.rightChild.data();
    tree.parent = params.parent.data();
    tree.size = n;
    tree.maxLen = params.maxLen;
    tree.nil = params.nilIndex;
    tree.matchLength = 0;
    tree.matchPosition = 0;
}

// The link of node `up` on the given side, picked by indexing rather than by a branch.
int32_t &lzssLink(LzssTree &tree, int32_t up, bool rightSide) {
    int32_t *const sides[2] = {tree.leftChild, tree.rightChild};
    return sides[rightSide][up];
}

// Points the link of oldNode's parent that leads to oldNode at newNode instead.
void lzssRelink(LzssTree &tree, int32_t oldNode, int32_t newNode) {
    const int32_t up = tree.parent[oldNode];
    lzssLink(tree, up, tree.rightChild[up] == oldNode) = newNode;
}

// The new node r takes the place of q, whose key equals r's over all F bytes.
void lzssReplaceNode(LzssTree &tree, int32_t q, int32_t r) {
    tree.parent[r] = tree.parent[q];
    tree.leftChild[r] = tree.leftChild[q];
    tree.rightChild[r] = tree.rightChild[q];
    tree.parent[tree.leftChild[q]] = r;
    tree.parent[tree.rightChild[q]] = r;
    lzssRelink(tree, q, r);
    tree.parent[q] = tree.nil;
}

// Inserts position r into the tree of its first byte and records the longest match met
// on the way down; among equally long matches the first one met wins.
[[gnu::always_inline]] inline void lzssInsertNode(LzssTree &tree, int32_t r) {
    const uint8_t *ring = tree.ring;
    const uint8_t *key = ring + r;
    const int32_t *left = tree.leftChild;
    const int32_t *right = tree.rightChild;
    const int32_t nil = tree.nil;
    // Bytes 1 to 8 of the new key as one number, compared with the same bytes of each
    // node on the way down; F >= 16, so they all belong to the key.
    const uint64_t keyHead = loadOrdered64(key + 1);
    tree.rightChild[r] = nil;
    tree.leftChild[r] = nil;
    int32_t matchLength = 0;
    int32_t matchPosition = tree.matchPosition;
    int32_t q = tree.size + 1 + key[0];
    int32_t next = right[q];
    bool greaterOrEqual = true;
    while (next != nil) {
        q = next;
        // Both links are loaded while the key is compared, so a step down waits for
        // one load only.
        const int32_t leftLink = left[q];
        const int32_t rightLink = right[q];
        const uint64_t nodeHead = loadOrdered64(ring + q + 1);
        next = lzssPickAbove(keyHead, nodeHead, rightLink, leftLink);
        greaterOrEqual = keyHead > nodeHead;
        int32_t length;
        if (keyHead != nodeHead) [[likely]] {
            length = 1 + (__builtin_clzll(keyHead ^ nodeHead) >> 3);
        } else {
            const LzssKeyOrder order = lzssCompareTail(key, ring + q, tree.maxLen);
            greaterOrEqual = order.greaterOrEqual;
            length = order.length;
            next = greaterOrEqual ? rightLink : leftLink;
        }
        const bool longer = length > matchLength;
        matchPosition = longer ? q : matchPosition;
        matchLength = longer ? length : matchLength;
        if (length >= tree.maxLen) [[unlikely]] {
            tree.matchLength = matchLength;
            tree.matchPosition = matchPosition;
            lzssReplaceNode(tree, q, r);
            return;
        }
    }
    lzssLink(tree, q, greaterOrEqual) = r;
    tree.parent[r] = q;
    tree.matchLength = matchLength;
    tree.matchPosition = matchPosition;
}

// Unhooks q, the rightmost node below p's left child, and gives it p's left subtree.
void lzssTakePredecessor(LzssTree &tree, int32_t p, int32_t q) {
    int32_t *left = tree.leftChild;
    int32_t *parent = tree.parent;
    tree.rightChild[parent[q]] = left[q];
    parent[left[q]] = parent[q];
    left[q] = left[p];
    parent[left[p]] = q;
}

[[gnu::always_inline]] inline void lzssDeleteNode(LzssTree &tree, int32_t p) {
    int32_t *right = tree.rightChild;
    int32_t *parent = tree.parent;
    const int32_t nil = tree.nil;
    if (parent[p] == nil)
        return;
    const int32_t leftLink = tree.leftChild[p];
    const int32_t rightLink = right[p];
    // With one child or none, that child (or nil) takes p's place.
    int32_t q = rightLink == nil ? leftLink : rightLink;
    if (leftLink != nil && rightLink != nil) {
        // Two children: the in-order predecessor takes p's place.
        q = leftLink;
        if (right[q] != nil) {
            do
                q = right[q];
            while (right[q] != nil);
            lzssTakePredecessor(tree, p, q);
        }
        right[q] = rightLink;
        parent[rightLink] = q;
    }
    parent[q] = parent[p];
    lzssRelink(tree, p, q);
    parent[p] = nil;
}

// Adds the match of the last insertion, or the literal at r when it is too short.
void lzssAppendItem(LzssGroup &group, LzssTree &tree, const LzssParams &params, int32_t r) {
    if (tree.matchLength <= params.threshold) {
        tree.matchLength = 1;
        group.bytes[0] |= static_cast<uint8_t>(group.mask);
        group.bytes[group.length++] = tree.ring[r];
    } else {
        const int32_t position = tree.matchPosition;
        const int32_t high = (position >> (params.positionBits - 8)) & params.positionHighMask;
        group.bytes[group.length++] = static_cast<uint8_t>(position & 0xFF);
        group.bytes[group.length++] =
            static_cast<uint8_t>(high | (tree.matchLength - params.threshold - 1));
    }
    group.mask <<= 1;
}

template <typename Sink> void lzssFlushGroup(LzssGroup &group, Sink &sink, int64_t &written) {
    sink.write(group.bytes.data(), static_cast<size_t>(group.length));
    written += group.length;
    group = LzssGroup();
}

// One encoding run from any byte source into any sink.
template <typename Source, typename Sink>
void lzssEncodeRun(LzssParams &params, Source &source, Sink &sink) {
    // Re-deriving is a no-op for a record set up by lzssSetParams and keeps the widths
    // below consistent with N and the threshold for any other.
    lzssSetParams(params, params.threshold, params.dictionarySize);
    LzssArrayRelease release{params};
    const int32_t n = params.dictionarySize;
    const int32_t f = params.maxLen;
    const int32_t wrap = n - 1;
    params.bytesRead = 0;
    params.bytesWritten = 0;
    params.ringBuffer.assign(static_cast<size_t>(n + f - 1) + kCompareSlack, params.fillByte);
    LzssTree tree;
    lzssInitTree(params, tree);
    uint8_t *ring = params.ringBuffer.data();

    int32_t s = 0;
    int32_t r = n - f;
    int32_t len = 0;
    for (uint8_t byte; len < f && source.get(byte); ++len)
        ring[r + len] = byte;
    int64_t bytesRead = len;
    int64_t bytesWritten = 0;
    if (len == 0)
        return;
    for (int32_t i = 1; i <= f; ++i)
        lzssInsertNode(tree, r - i);
    lzssInsertNode(tree, r);

    LzssGroup group;
    while (len > 0) {
        tree.matchLength = std::min(tree.matchLength, len);
        lzssAppendItem(group, tree, params, r);
        if (group.mask > 0xFF)
            lzssFlushGroup(group, sink, bytesWritten);
        const int32_t last = tree.matchLength;
        int32_t i = 0;
        for (uint8_t byte; i < last && source.get(byte); ++i) {
            lzssDeleteNode(tree, s);
            ring[s] = byte;
            if (s < f - 1)
                ring[s + n] = byte; // keep the copy behind the window in step
            s = (s + 1) & wrap;
            r = (r + 1) & wrap;
            lzssInsertNode(tree, r);
        }
        bytesRead += i;
        // The input has ended: the look-ahead shrinks by one per byte still owed.
        for (; i < last; ++i) {
            lzssDeleteNode(tree, s);
            s = (s + 1) & wrap;
            r = (r + 1) & wrap;
            if (--len != 0)
                lzssInsertNode(tree, r);
        }
    }
    if (group.length > 1)
        lzssFlushGroup(group, sink, bytesWritten);
    params.matchLength = tree.matchLength;
    params.matchPosition = tree.matchPosition;
    params.bytesRead = clampCount(bytesRead);
    params.bytesWritten = clampCount(bytesWritten);
}

struct LzssFileCloser {
    void operator()(std::FILE *stream) const { std::fclose(stream); }
};

} // namespace

LzssFileResult lzssEncodeFile(LzssParams &params, const std::string &inputName,
                              const std::string &outputName) {
    params.bytesRead = 0;
    params.bytesWritten = 0;
    std::unique_ptr<std::FILE, LzssFileCloser> input(std::fopen(inputName.c_str(), "rb"));
    if (!input)
        return {LzssFileStatus::OpenFailed, errno};
    OutputFile output;
    if (!openOutputFile(output, outputName))
        return {LzssFileStatus::CreateFailed, output.errorCode};
    try {
        LzssFileSource source{input.get()};
        LzssFileSink sink{output};
        lzssEncodeRun(params, source, sink);
        sink.flush();
        if (source.errorCode != 0)
            return {LzssFileStatus::ReadFailed, source.errorCode};
    } catch (const std::bad_alloc &) {
        return {LzssFileStatus::OutOfMemory, ENOMEM};
    }
    if (!commitOutputFile(output))
        return {LzssFileStatus::CreateFailed, output.errorCode};
    if (params.bytesRead == 0)
        return {LzssFileStatus::EmptyInput, 0};
    return {};
}

std::vector<uint8_t> lzssEncodeBuffer(LzssParams &params, const uint8_t *source, size_t length) {
    std::vector<uint8_t> stream;
    if (source == nullptr)
        length = 0;
    // Literals cost nine bits a byte and, above threshold 0, matches less than that.
    if (length > 0)
        stream.reserve(length + length / 8 + 1);
    LzssMemorySource input{source, source + length};
    LzssBufferSink sink{stream};
    lzssEncodeRun(params, input, sink);
    return stream;
}
