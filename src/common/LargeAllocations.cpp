// The program's allocation functions: the standard ones, except that large
// blocks (decoded pictures, their padded and indexed copies) are marked for
// transparent huge pages. A picture of tens of megabytes otherwise costs a
// page fault per 4 KiB, which on big maps took longer than decoding them.
// The image module, loaded into this process, allocates through these too.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace {

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
constexpr size_t kLargeBlock = 4 * kHugePage;

void *allocateBlock(size_t size) {
    void *block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    if (size >= kLargeBlock) {
        // Only the huge pages lying wholly inside the block; a refusal changes nothing.
        const auto first = reinterpret_cast<uintptr_t>(block);
        const uintptr_t start = (first + kHugePage - 1) & ~(kHugePage - 1);
        const uintptr_t end = (first + size) & ~(kHugePage - 1);
        if (end > start)
            madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
    return block;
}

} // namespace

void *operator new(size_t size) {
    return allocateBlock(size);
}

void *operator new[](size_t size) {
    return allocateBlock(size);
}

void operator delete(void *block) noexcept {
    std::free(block);
}

void operator delete[](void *block) noexcept {
    std::free(block);
}

void operator delete(void *block, size_t) noexcept {
    std::free(block);
}

void operator delete[](void *block, size_t) noexcept {
    std::free(block);
}
