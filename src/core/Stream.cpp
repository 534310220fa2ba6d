#include "Stream.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace orvala {

void ByteStream::readExact(void* dst, size_t n)
{
    if (n == 0) return;
    if (read(dst, n) != n) throw StreamReadError();
}

void ByteStream::skip(int64_t n)
{
    if (n < 0 || n > bytesLeft()) throw StreamReadError();
    std::vector<uint8_t> sink(size_t(std::min<int64_t>(n, 1 << 16)));
    while (n > 0) {
        const size_t part = size_t(std::min<int64_t>(n, int64_t(sink.size())));
        readExact(sink.data(), part);
        n -= int64_t(part);
    }
}

size_t MemoryStream::read(void* dst, size_t n)
{
    const size_t k = std::min(n, bytes_.size() - pos_);
    if (k) std::memcpy(dst, bytes_.data() + pos_, k);
    pos_ += k;
    return k;
}

void MemoryStream::write(const void* src, size_t n)
{
    if (pos_ + n > bytes_.size()) bytes_.resize(pos_ + n);
    if (n) std::memcpy(bytes_.data() + pos_, src, n);
    pos_ += n;
}

FileStream::FileStream(const std::string& path, Mode mode)
{
    f_ = std::fopen(path.c_str(), mode == Mode::Read ? "rb" : "wb");
    if (!f_) throw OrvalaError("Cannot open file " + path + ": " + std::strerror(errno));
    if (mode == Mode::Read) {
        std::fseek(f_, 0, SEEK_END);
        size_ = std::ftell(f_);
        std::fseek(f_, 0, SEEK_SET);
    }
}

FileStream::~FileStream()
{
    if (f_) std::fclose(f_);
}

size_t FileStream::read(void* dst, size_t n)
{
    const size_t k = std::fread(dst, 1, n, f_);
    pos_ += int64_t(k);
    return k;
}

void FileStream::write(const void* src, size_t n)
{
    if (n && std::fwrite(src, 1, n, f_) != n) throw OrvalaError(std::string("Write error: ") + std::strerror(errno));
    pos_ += int64_t(n);
    size_ = std::max(size_, pos_);
}

void FileStream::close()
{
    if (!f_) return;
    const bool ok = std::fflush(f_) == 0;
    const bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    if (!ok || !closed) throw OrvalaError(std::string("Write error: ") + std::strerror(errno));
}

// Little-endian on disk; this program runs on little-endian machines only.
static_assert(std::endian::native == std::endian::little, "records are little-endian");

void WriteInt(ByteStream& s, int32_t v) { s.write(&v, 4); }
void WriteBool(ByteStream& s, bool v)
{
    const uint8_t b = v ? 1 : 0;
    s.write(&b, 1);
}
void WriteDouble(ByteStream& s, double v) { s.write(&v, 8); }
void WriteString(ByteStream& s, const std::string& v)
{
    WriteInt(s, int32_t(v.size()));
    s.write(v.data(), v.size());
}
void WriteVector(ByteStream& s, const TVector& v)
{
    WriteInt(s, int32_t(v.size()));
    s.write(v.data(), v.size() * 8);
}
void WriteIntVector(ByteStream& s, const TIntVector& v)
{
    WriteInt(s, int32_t(v.size()));
    s.write(v.data(), v.size() * 4);
}
void WriteColorVector(ByteStream& s, const std::vector<uint32_t>& v)
{
    WriteInt(s, int32_t(v.size()));
    s.write(v.data(), v.size() * 4);
}
void WriteMatrix(ByteStream& s, const TMatrix& m)
{
    WriteInt(s, int32_t(m.size()));
    for (const auto& row : m) WriteVector(s, row);
}

int32_t ReadInt(ByteStream& s)
{
    int32_t v;
    s.readExact(&v, 4);
    return v;
}

bool ReadBool(ByteStream& s)
{
    uint8_t b;
    s.readExact(&b, 1);
    return b != 0;
}

double ReadDouble(ByteStream& s)
{
    double v;
    s.readExact(&v, 8);
    return v;
}

std::string ReadString(ByteStream& s)
{
    const int32_t n = ReadInt(s);
    const int64_t k = std::clamp<int64_t>(n, 0, s.bytesLeft());
    std::string v(size_t(k), '\0');
    s.readExact(v.data(), size_t(k));
    return v;
}

int32_t ReadCount(ByteStream& s, int64_t itemBytes)
{
    const int32_t n = ReadInt(s);
    if (n < 0 || int64_t(n) * itemBytes > s.bytesLeft()) throw StreamReadError();
    return n;
}

TVector ReadVector(ByteStream& s)
{
    TVector v(size_t(ReadCount(s, 8)));
    s.readExact(v.data(), v.size() * 8);
    return v;
}

TIntVector ReadIntVector(ByteStream& s)
{
    TIntVector v(size_t(ReadCount(s, 4)));
    s.readExact(v.data(), v.size() * 4);
    return v;
}

std::vector<uint32_t> ReadColorVector(ByteStream& s)
{
    std::vector<uint32_t> v(size_t(ReadCount(s, 4)));
    s.readExact(v.data(), v.size() * 4);
    return v;
}

TMatrix ReadMatrix(ByteStream& s)
{
    TMatrix m(size_t(ReadCount(s, 4)));  // every row holds at least its count
    for (auto& row : m) row = ReadVector(s);
    return m;
}

}  // namespace orvala
