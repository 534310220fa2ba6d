#include "parallel/HugePages.h"

#include <cstdint>
#include <cstdlib>

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

void* allocateLargeBlock(size_t bytes)
{
    constexpr size_t huge = size_t(2) << 20;
    const size_t rounded = (bytes + huge - 1) / huge * huge;
    void* p = std::aligned_alloc(huge, rounded);
    if (!p) throw std::bad_alloc();
    AdviseHugePages(p, rounded);
    return p;
}

void freeLargeBlock(void* p) noexcept
{
    std::free(p);
}

}  // namespace orvala
