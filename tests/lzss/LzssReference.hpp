// A plain, slow transcription of the classic LZSS tree encoder and ring-buffer decoder:
// one byte at a time, no shortcuts. The tests hold the fast codec to it byte for byte
// and the benchmark measures the fast encoder against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LzssReference {
    int n = 0; // window size
    int f = 0; // longest match
    int threshold = 0;
    int positionBits = 0;
    int nil = 0;
    int matchLength = 0;
    int matchPosition = 0;
    std::vector<unsigned char> ring;
    std::vector<int> left, right, parent;
};

inline LzssReference lzssReferenceSetup(int dictSize, int threshold) {
    LzssReference ref;
    while ((dictSize >> ref.positionBits) > 1)
        ++ref.positionBits;
    ref.n = 1 << ref.positionBits;
    ref.f = (1 << (16 - ref.positionBits)) + threshold;
    ref.threshold = threshold;
    ref.nil = ref.n;
    ref.ring.assign(ref.n + ref.f - 1, 0);
    ref.left.assign(ref.n + 1, ref.nil);
    ref.right.assign(ref.n + 257, ref.nil);
    ref.parent.assign(ref.n + 1, ref.nil);
    return ref;
}

inline void lzssReferenceInsert(LzssReference &t, int r) {
    int cmp = 1;
    int p = t.n + 1 + t.ring[r];
    t.right[r] = t.left[r] = t.nil;
    t.matchLength = 0;
    for (;;) {
        if (cmp >= 0) {
            if (t.right[p] != t.nil) {
                p = t.right[p];
            } else {
                t.right[p] = r;
                t.parent[r] = p;
                return;
            }
        } else {
            if (t.left[p] != t.nil) {
                p = t.left[p];
            } else {
                t.left[p] = r;
                t.parent[r] = p;
                return;
            }
        }
        int i;
        for (i = 1; i < t.f; i++)
            if ((cmp = t.ring[r + i] - t.ring[p + i]) != 0)
                break;
        if (i > t.matchLength) {
            t.matchPosition = p;
            if ((t.matchLength = i) >= t.f)
                break;
        }
    }
    t.parent[r] = t.parent[p];
    t.left[r] = t.left[p];
    t.right[r] = t.right[p];
    t.parent[t.left[p]] = r;
    t.parent[t.right[p]] = r;
    if (t.right[t.parent[p]] == p)
        t.right[t.parent[p]] = r;
    else
        t.left[t.parent[p]] = r;
    t.parent[p] = t.nil;
}

inline void lzssReferenceDelete(LzssReference &t, int p) {
    int q;
    if (t.parent[p] == t.nil)
        return;
    if (t.right[p] == t.nil) {
        q = t.left[p];
    } else if (t.left[p] == t.nil) {
        q = t.right[p];
    } else {
        q = t.left[p];
        if (t.right[q] != t.nil) {
            do {
                q = t.right[q];
            } while (t.right[q] != t.nil);
            t.right[t.parent[q]] = t.left[q];
            t.parent[t.left[q]] = t.parent[q];
            t.left[q] = t.left[p];
            t.parent[t.left[p]] = q;
        }
        t.right[q] = t.right[p];
        t.parent[t.right[p]] = q;
    }
    t.parent[q] = t.parent[p];
    if (t.right[t.parent[p]] == p)
        t.right[t.parent[p]] = q;
    else
        t.left[t.parent[p]] = q;
    t.parent[p] = t.nil;
}

inline std::vector<unsigned char> lzssReferenceEncode(const unsigned char *data, size_t size,
                                                      int dictSize, int threshold) {
    LzssReference t = lzssReferenceSetup(dictSize, threshold);
    std::vector<unsigned char> out;
    size_t at = 0;
    unsigned char code[17];
    int codeLength = 1;
    unsigned mask = 1;
    code[0] = 0;
    int s = 0;
    int r = t.n - t.f;
    int len;
    for (len = 0; len < t.f && at < size; len++)
        t.ring[r + len] = data[at++];
    if (len == 0)
        return out;
    for (int i = 1; i <= t.f; i++)
        lzssReferenceInsert(t, r - i);
    lzssReferenceInsert(t, r);
    do {
        if (t.matchLength > len)
            t.matchLength = len;
        if (t.matchLength <= t.threshold) {
            t.matchLength = 1;
            code[0] |= mask;
            code[codeLength++] = t.ring[r];
        } else {
            code[codeLength++] = (unsigned char)t.matchPosition;
            code[codeLength++] = (unsigned char)(((t.matchPosition >> 8) << (16 - t.positionBits)) |
                                                 (t.matchLength - (t.threshold + 1)));
        }
        if ((mask <<= 1) == 256) {
            for (int i = 0; i < codeLength; i++)
                out.push_back(code[i]);
            code[0] = 0;
            codeLength = mask = 1;
        }
        int last = t.matchLength;
        int i;
        for (i = 0; i < last && at < size; i++) {
            unsigned char c = data[at++];
            lzssReferenceDelete(t, s);
            t.ring[s] = c;
            if (s < t.f - 1)
                t.ring[s + t.n] = c;
            s = (s + 1) & (t.n - 1);
            r = (r + 1) & (t.n - 1);
            lzssReferenceInsert(t, r);
        }
        while (i++ < last) {
            lzssReferenceDelete(t, s);
            s = (s + 1) & (t.n - 1);
            r = (r + 1) & (t.n - 1);
            if (--len)
                lzssReferenceInsert(t, r);
        }
    } while (len > 0);
    if (codeLength > 1)
        for (int i = 0; i < codeLength; i++)
            out.push_back(code[i]);
    return out;
}

inline std::vector<unsigned char> lzssReferenceDecode(const unsigned char *stream, size_t size,
                                                      int dictSize, int threshold) {
    LzssReference t = lzssReferenceSetup(dictSize, threshold);
    const int lenBits = 16 - t.positionBits;
    std::vector<unsigned char> out;
    size_t at = 0;
    int r = t.n - t.f;
    unsigned flags = 0;
    for (;;) {
        if (((flags >>= 1) & 256) == 0) {
            if (at == size)
                break;
            flags = stream[at++] | 0xFF00;
        }
        if (at == size)
            break;
        int c = stream[at++];
        if (flags & 1) {
            out.push_back((unsigned char)c);
            t.ring[r++] = (unsigned char)c;
            r &= t.n - 1;
        } else {
            if (at == size)
                break;
            int j = stream[at++];
            int i = c | ((j >> lenBits) << 8);
            j = (j & ((1 << lenBits) - 1)) + t.threshold + 1;
            for (int k = 0; k < j; k++) {
                c = t.ring[(i + k) & (t.n - 1)];
                out.push_back((unsigned char)c);
                t.ring[r++] = (unsigned char)c;
                r &= t.n - 1;
            }
        }
    }
    return out;
}
