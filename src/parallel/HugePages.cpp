#include "parallel/HugePages.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orvala {

namespace {

// The C library maps every allocation above 32 MiB afresh and unmaps it when
// freed, so an event list or link vector of ten million events (40 MB)
// costs some ten thousand page faults each time it is made: on our virtual
// machines 0.1 s, more than the work that fills it. Up to 256 MiB they now
// come from the heap and go back to it, and up to 256 MiB of free heap top is
// kept for the next one. Blocks of value matrices take their own path below.
[[maybe_unused]] const bool heapReused = [] {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    return true;
}();

}  // namespace

void AdviseHugePages(void* data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t Huge = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + Huge - 1) & ~(Huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(Huge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

namespace {

// Freed blocks are kept and handed out again for a request of the same
// rounded size: work that makes and drops blocks of one size over and over (a
// histogram per parameter, a picture set per data change, the rows of a gate
// being moved, a transform run again) then touches fresh pages once instead
// of every time. Fresh pages are zeroed by the kernel, and on virtual machines
// that give freed memory back to the host they are faulted in from the host as
// well, at about a second per gigabyte.
//
// Blocks of up to KeptBlockBytes are kept as they are, up to KeptTotalBytes in
// all. Bigger ones (value matrices) are rounded to sixteen size classes per
// power of two, so a block fits requests within about 6 % of its size, and are
// kept only after MADV_FREE: the kernel may take their pages back whenever it
// needs memory, so keeping them costs the system nothing; pages it did not
// take come back without a fault. At most a quarter of the machine's memory is
// kept that way; the oldest blocks go first.
constexpr size_t HugeBytes = size_t(2) << 20;
constexpr size_t KeptBlockBytes = size_t(64) << 20;
constexpr size_t KeptTotalBytes = size_t(256) << 20;

struct Kept {
    size_t rounded;
    void* block;
    bool lazy;  // given MADV_FREE; counts against the big total
};

struct KeptBlocks {
    std::mutex mutex;
    std::vector<Kept> blocks;  // oldest first
    size_t total = 0, lazyTotal = 0;
};

KeptBlocks& kept()
{
    static KeptBlocks* k = new KeptBlocks;  // never destroyed: blocks may be freed during exit
    return *k;
}

size_t lazyLimit()
{
#if defined(__linux__)
    static const size_t limit = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
        return pages > 0 && page > 0 ? size_t(pages) * size_t(page) / 4 : size_t(0);
    }();
    return limit;
#else
    return 0;
#endif
}

size_t roundedSize(size_t bytes)
{
    size_t step = HugeBytes;
    if (bytes > KeptBlockBytes) step = std::max(step, std::bit_floor(bytes) / 16);
    return (bytes + step - 1) / step * step;
}

// Lets the kernel take the block's pages when it needs them; false where it cannot.
bool freeLazily(void* p, size_t bytes)
{
#if defined(__linux__) && defined(MADV_FREE)
    return ::madvise(p, bytes, MADV_FREE) == 0;
#else
    (void)p;
    (void)bytes;
    return false;
#endif
}

}  // namespace

void* allocateLargeBlock(size_t bytes)
{
    const size_t rounded = roundedSize(bytes);
    {
        KeptBlocks& k = kept();
        std::lock_guard<std::mutex> lock(k.mutex);
        for (size_t i = k.blocks.size(); i-- > 0;)
            if (k.blocks[i].rounded == rounded) {
                const Kept b = k.blocks[i];
                k.blocks.erase(k.blocks.begin() + std::ptrdiff_t(i));
                (b.lazy ? k.lazyTotal : k.total) -= rounded;
                return b.block;
            }
    }
    void* p = std::aligned_alloc(HugeBytes, rounded);
    if (!p) throw std::bad_alloc();
    AdviseHugePages(p, rounded);
    return p;
}

void freeLargeBlock(void* p, size_t bytes) noexcept
{
    if (!p) return;
    const size_t rounded = roundedSize(bytes);
    const bool lazy = rounded > KeptBlockBytes;
    bool keep = !lazy || (rounded <= lazyLimit() && freeLazily(p, rounded));
    if (keep) {
        KeptBlocks& k = kept();
        std::lock_guard<std::mutex> lock(k.mutex);
        size_t& total = lazy ? k.lazyTotal : k.total;
        const size_t limit = lazy ? lazyLimit() : KeptTotalBytes;
        // A big block makes room by letting go of the oldest big ones; that
        // happens only past a quarter of the machine's memory.
        while (lazy && total + rounded > limit) {
            const auto oldest = std::find_if(k.blocks.begin(), k.blocks.end(), [](const Kept& b) { return b.lazy; });
            if (oldest == k.blocks.end()) break;
            std::free(oldest->block);
            total -= oldest->rounded;
            k.blocks.erase(oldest);
        }
        keep = total + rounded <= limit;
        if (keep) {
            try {
                k.blocks.push_back({rounded, p, lazy});
                total += rounded;
            } catch (...) {
                keep = false;  // no room to remember it
            }
        }
    }
    if (!keep) std::free(p);
}

}  // namespace orvala
