#pragma once
// Byte streams and the little-endian primitive encodings every saved record
// uses (data sets, gates, filters, protocols). Readers check every count
// against the bytes left before allocating, so a damaged or hostile stream
// fails with "Stream Read Error" instead of exhausting memory.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Messages.h"
#include "numerics/Matrices.h"

namespace orvala {

class StreamReadError : public OrvalaError {
public:
    StreamReadError() : OrvalaError("Stream Read Error") {}
};

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Reads up to n bytes; returns how many were read.
    virtual size_t read(void* dst, size_t n) = 0;
    // Writes n bytes or throws.
    virtual void write(const void* src, size_t n) = 0;
    virtual int64_t position() const = 0;
    virtual int64_t size() const = 0;
    int64_t bytesLeft() const { return size() - position(); }

    // Reads exactly n bytes or throws StreamReadError.
    void readExact(void* dst, size_t n);
    // Skips n bytes or throws StreamReadError.
    void skip(int64_t n);
};

class MemoryStream : public ByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    size_t read(void* dst, size_t n) override;
    void write(const void* src, size_t n) override;
    int64_t position() const override { return int64_t(pos_); }
    int64_t size() const override { return int64_t(bytes_.size()); }
    void seek(size_t pos) { pos_ = pos < bytes_.size() ? pos : bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

// A file opened for reading or for writing; throws OrvalaError when it cannot be opened.
class FileStream : public ByteStream {
public:
    enum class Mode { Read, Write };
    FileStream(const std::string& path, Mode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    size_t read(void* dst, size_t n) override;
    void write(const void* src, size_t n) override;
    int64_t position() const override { return pos_; }
    int64_t size() const override { return size_; }
    // Flushes and closes; throws when the data did not reach the disk.
    void close();

private:
    std::FILE* f_ = nullptr;
    int64_t pos_ = 0;
    int64_t size_ = 0;
};

// Primitive writers.
void WriteInt(ByteStream& s, int32_t v);
void WriteBool(ByteStream& s, bool v);
void WriteDouble(ByteStream& s, double v);
void WriteString(ByteStream& s, const std::string& v);
void WriteVector(ByteStream& s, const TVector& v);
void WriteIntVector(ByteStream& s, const TIntVector& v);
void WriteColorVector(ByteStream& s, const std::vector<uint32_t>& v);
void WriteMatrix(ByteStream& s, const TMatrix& m);

// Primitive readers; each throws StreamReadError on a short or impossible stream.
int32_t ReadInt(ByteStream& s);
bool ReadBool(ByteStream& s);
double ReadDouble(ByteStream& s);
// The length is clamped to the bytes left: a cut string yields what is there.
std::string ReadString(ByteStream& s);
TVector ReadVector(ByteStream& s);
TIntVector ReadIntVector(ByteStream& s);
std::vector<uint32_t> ReadColorVector(ByteStream& s);
TMatrix ReadMatrix(ByteStream& s);
// Reads an element count for items of at least itemBytes each; throws when
// negative or when the stream cannot hold that many.
int32_t ReadCount(ByteStream& s, int64_t itemBytes);

}  // namespace orvala
