#include "ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvala {

size_t MemorySource::readAt(int64_t offset, void* dst, size_t n) const
{
    if (offset < 0 || offset >= int64_t(bytes_.size())) return 0;
    const size_t count = std::min(n, bytes_.size() - size_t(offset));
    std::memcpy(dst, bytes_.data() + offset, count);
    return count;
}

namespace {

#ifdef _WIN32
class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE h) : h_(h)
    {
        LARGE_INTEGER s;
        size_ = GetFileSizeEx(h_, &s) ? int64_t(s.QuadPart) : 0;
    }
    ~FileSource() override { CloseHandle(h_); }
    int64_t size() const override { return size_; }
    size_t readAt(int64_t offset, void* dst, size_t n) const override
    {
        size_t done = 0;
        while (done < n && offset + int64_t(done) < size_) {
            OVERLAPPED ov{};
            const int64_t at = offset + int64_t(done);
            ov.Offset = DWORD(uint64_t(at) & 0xFFFFFFFFu);
            ov.OffsetHigh = DWORD(uint64_t(at) >> 32);
            DWORD got = 0;
            const DWORD want = DWORD(std::min<size_t>(n - done, 1u << 30));
            if (!ReadFile(h_, static_cast<char*>(dst) + done, want, &got, &ov) || got == 0) break;
            done += got;
        }
        return done;
    }

private:
    HANDLE h_;
    int64_t size_ = 0;
};
#else
class FileSource : public ByteSource {
public:
    FileSource(int fd, int64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    int64_t size() const override { return size_; }
    size_t readAt(int64_t offset, void* dst, size_t n) const override
    {
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, static_cast<char*>(dst) + done, std::min<size_t>(n - done, size_t(1) << 30),
                                        off_t(offset + int64_t(done)));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += size_t(got);
        }
        return done;
    }

private:
    int fd_;
    int64_t size_;
};
#endif

}  // namespace

std::unique_ptr<ByteSource> openFileSource(const std::string& filename)
{
#ifdef _WIN32
    HANDLE h = CreateFileA(filename.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<FileSource>(h);
#else
    const int fd = ::open(filename.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FileSource>(fd, int64_t(st.st_size));
#endif
}

}  // namespace orvala
