#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace orvala {

// Asks for 2 MiB pages under a fresh block that is about to be filled. The
// first touch of each 4 KiB page costs a kernel fault and a zeroed page; for a
// matrix of hundreds of megabytes that is more than the work written into it,
// and huge pages cost 512 times fewer faults. Only the advice changes, never
// the contents; where the kernel cannot follow it nothing happens.
void AdviseHugePages(void* data, size_t bytes);

// Blocks of kLargeBlockBytes and more start on a 2 MiB boundary with the
// advice given before anything touches them, so even a zero-filled resize
// faults in 2 MiB pages (on our machines a fresh 1 GB block costs seconds of
// 4 KiB faults and about a tenth of a second of 2 MiB ones).
inline constexpr size_t kLargeBlockBytes = size_t(4) << 20;
// Freed blocks are kept for reuse by the next request of about the same size
// (up to a fixed total; big ones only where the kernel may reclaim them); their
// contents are then whatever was left in them, or zeros where the kernel took
// the pages, so callers write every byte they read.
void* allocateLargeBlock(size_t bytes);  // throws std::bad_alloc
void freeLargeBlock(void* p, size_t bytes) noexcept;

// Allocator of the big value, key and scratch vectors: large blocks as above,
// and no zero fill when a vector grows without a value, so code that writes
// every element on its workers does not pay for a serial fill first.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    T* allocate(size_t n)
    {
        if (n * sizeof(T) >= kLargeBlockBytes && n <= SIZE_MAX / sizeof(T))
            return static_cast<T*>(allocateLargeBlock(n * sizeof(T)));
        return std::allocator<T>::allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept
    {
        if (n * sizeof(T) >= kLargeBlockBytes && n <= SIZE_MAX / sizeof(T))
            freeLargeBlock(p, n * sizeof(T));
        else
            std::allocator<T>::deallocate(p, n);
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

}  // namespace orvala
