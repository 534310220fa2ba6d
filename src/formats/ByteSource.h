#pragma once
// Random access to the bytes of a file or of a memory block. readAt is safe to
// call from several threads at once, which lets the worker pool read disjoint
// ranges of a DATA segment in parallel.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvala {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int64_t size() const = 0;
    // Copies up to n bytes from offset; fewer at the end of the source, 0 past it.
    virtual size_t readAt(int64_t offset, void* dst, size_t n) const = 0;
};

// The file opened read-only, or nullptr when it cannot be opened.
std::unique_ptr<ByteSource> openFileSource(const std::string& filename);

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    MemorySource(const uint8_t* data, size_t n) : bytes_(data, data + n) {}
    int64_t size() const override { return int64_t(bytes_.size()); }
    size_t readAt(int64_t offset, void* dst, size_t n) const override;

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace orvala
