#include "parallel/HugePages.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orvala {

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

// Freed blocks of up to KeptBlockBytes are kept, up to KeptTotalBytes in all,
// and handed out again for a request of the same rounded size: work that
// makes and drops the same scratch blocks over and over (a histogram per
// parameter, a picture set per data change) then touches fresh pages once
// instead of every time. Fresh pages are zeroed by the kernel, and on virtual
// machines that give freed memory back to the host, faulted in from the host
// as well. Bigger blocks (value matrices) go back to the system at once.
constexpr size_t HugeBytes = size_t(2) << 20;
constexpr size_t KeptBlockBytes = size_t(64) << 20;
constexpr size_t KeptTotalBytes = size_t(256) << 20;

struct KeptBlocks {
    std::mutex mutex;
    std::vector<std::pair<size_t, void*>> blocks;  // rounded size, block
    size_t total = 0;
};

KeptBlocks& kept()
{
    static KeptBlocks* k = new KeptBlocks;  // never destroyed: blocks may be freed during exit
    return *k;
}

size_t roundedSize(size_t bytes) { return (bytes + HugeBytes - 1) / HugeBytes * HugeBytes; }

}  // namespace

void* allocateLargeBlock(size_t bytes)
{
    const size_t rounded = roundedSize(bytes);
    if (rounded <= KeptBlockBytes) {
        KeptBlocks& k = kept();
        std::lock_guard<std::mutex> lock(k.mutex);
        for (size_t i = 0; i < k.blocks.size(); ++i)
            if (k.blocks[i].first == rounded) {
                void* p = k.blocks[i].second;
                k.blocks.erase(k.blocks.begin() + std::ptrdiff_t(i));
                k.total -= rounded;
                return p;
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
    if (rounded <= KeptBlockBytes) {
        KeptBlocks& k = kept();
        std::lock_guard<std::mutex> lock(k.mutex);
        if (k.total + rounded <= KeptTotalBytes) {
            try {
                k.blocks.emplace_back(rounded, p);
                k.total += rounded;
                return;
            } catch (...) {
                // no room to remember it: give it back below
            }
        }
    }
    std::free(p);
}

}  // namespace orvala
