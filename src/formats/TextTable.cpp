#include "TextTable.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <limits>
#include <memory>

#include "ByteSource.h"
#include "ParallelChunks.h"
#include "core/Messages.h"
#include "core/TData.h"

namespace orvala {

namespace {

constexpr size_t HeadRead = size_t(64) << 10;
// Text read at once (by all workers), parsed, and copied into the matrix
// before the next; the block is kept between files, so it faults in once.
constexpr size_t BlockBytes = size_t(32) << 20;
// Pieces parsed by one worker: small enough that the last of a block leaves
// the other workers idle only briefly.
constexpr size_t PieceBytes = size_t(1) << 20;
constexpr size_t MinPieceBytes = size_t(64) << 10;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool isDigit(char c) { return unsigned(c - '0') < 10; }
unsigned char byteOf(char c) { return static_cast<unsigned char>(c); }

// Instruments write these where a value was out of range or missing.
bool isRejectMark(std::string_view f) { return f == "MAX" || f == "MIN" || f == "ERR"; }

// One piece of a block, parsed by one worker: its accepted rows in order, and
// the first field that is not a number, if any (parsing stops there). Pieces
// are reused from block to block, so their buffers are touched once.
struct Piece {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::vector<double, DefaultInitAllocator<double>> values;  // rows * cases in use, the rest is room
    std::vector<std::string> names;
    int rows = 0;
    int64_t lines = 0;
    int64_t badLine = -1;  // 0-based within the piece
    std::string badField;

    void reset(const char* b, const char* e)
    {
        begin = b;
        end = e;
        names.clear();
        rows = 0;
        lines = 0;
        badLine = -1;
        badField.clear();
    }
};

// Character classes of the line scanner: field text, delimiter, line end.
enum : uint8_t { FieldChar = 0, DelimiterChar = 1, LineEnd = 2 };
using Classes = std::array<uint8_t, 256>;

// Cuts the line at p into fields and gives the start of the next line.
const char* splitLine(const char* p, const char* end, const Classes& cls, std::vector<std::string_view>& fields)
{
    fields.clear();
    for (;;) {
        while (p < end && cls[byteOf(*p)] == DelimiterChar) ++p;
        if (p == end || *p == '\n') break;
        const char* f = p;
        while (p < end && cls[byteOf(*p)] == FieldChar) ++p;
        fields.emplace_back(f, size_t(p - f));
    }
    if (p < end) ++p;  // past the line feed
    // A CR LF line end leaves its CR on the last field.
    if (!fields.empty() && fields.back().back() == '\r') {
        fields.back().remove_suffix(1);
        if (fields.back().empty()) fields.pop_back();
    }
    return p;
}

// The line at p when all its values are plain decimals and nothing needs a
// second look: writes the values into row, counts the fields, keeps field 0
// and gives the start of the next line. nullptr sends the line to the general
// path (reject marks, blanks inside fields, other numbers, a stray CR, more
// fields than a row of exactly fieldCount takes); what it wrote into row is
// then overwritten or dropped.
const char* plainLine(const char* p, const char* end, const TextTable::Rule& rule, const Classes& cls, double* row,
                      int& fieldCount, std::string_view& first)
{
    const int firstValue = rule.firstValue;
    const int endValue = rule.firstValue + rule.cases;
    int fc = 0;
    for (;;) {
        while (p < end && cls[byteOf(*p)] == DelimiterChar) ++p;
        if (p == end) break;
        if (*p == '\n') {
            ++p;
            break;
        }
        if (*p == '\r' && (p + 1 == end || p[1] == '\n')) {
            p += p + 1 == end ? 1 : 2;
            break;
        }
        if (rule.exactFields && fc == rule.fieldCount) return nullptr;
        const char* f = p;
        if (fc >= firstValue && fc < endValue) {
            p = TextTable::ParsePlainDecimal(p, end, row[fc - firstValue]);
            if (!p) return nullptr;
        } else {
            while (p < end && cls[byteOf(*p)] == FieldChar && *p != '\r') ++p;
        }
        if (fc == 0) first = std::string_view(f, size_t(p - f));
        ++fc;
        // Only the CR of a CR LF line end may follow a field directly.
        if (p < end && cls[byteOf(*p)] == FieldChar && (*p != '\r' || (p + 1 < end && p[1] != '\n'))) return nullptr;
    }
    fieldCount = fc;
    return p;
}

void parsePiece(Piece& piece, const TextTable::Rule& rule, const Classes& cls, bool plain,
                std::vector<std::string_view>& fields)
{
    const size_t cases = size_t(rule.cases);
    const char* p = piece.begin;
    const char* const end = piece.end;
    size_t used = 0;  // values of the accepted rows
    while (p < end) {
        if (used + cases > piece.values.size())
            piece.values.resize(std::max({piece.values.size() * 2, used + cases, size_t(4096)}));
        // Every line gets a row of its own: a rejected line leaves nothing
        // behind for a shorter line that follows.
        double* row = piece.values.data() + used;
        const int64_t lineIndex = piece.lines++;
        int fc = 0;
        std::string_view first;
        const char* next = plain ? plainLine(p, end, rule, cls, row, fc, first) : nullptr;
        if (next) {
            p = next;
            if (rule.exactFields ? fc != rule.fieldCount : fc == 0) continue;
            const int count = std::clamp(fc - rule.firstValue, 0, rule.cases);
            std::fill(row + count, row + cases, 0.0);
        } else {
            p = splitLine(p, end, cls, fields);
            fc = int(fields.size());
            if (rule.exactFields ? fc != rule.fieldCount : fc == 0) continue;
            const int count = std::clamp(fc - rule.firstValue, 0, rule.cases);
            std::fill(row + count, row + cases, 0.0);
            bool rejected = false;
            for (int j = 0; j < count; ++j) {
                const std::string_view f = fields[size_t(rule.firstValue + j)];
                if (isRejectMark(f)) {
                    rejected = true;
                    break;
                }
                if (!TextTable::ParseNumber(f, row[j])) {
                    piece.badLine = lineIndex;
                    piece.badField = std::string(f);
                    return;
                }
            }
            if (rejected) continue;
            first = fields[0];
        }
        if (rule.eventNames) piece.names.emplace_back(first);
        used += cases;
        ++piece.rows;
    }
}

// Cuts [begin, end) into pieces of about want bytes that end after a line feed.
void cutPieces(const char* begin, const char* end, size_t want, std::vector<Piece>& pieces, size_t& used)
{
    used = 0;
    const char* p = begin;
    while (p < end) {
        const char* cut = p + std::min(want, size_t(end - p));
        if (cut < end) {
            const char* nl = static_cast<const char*>(std::memchr(cut, '\n', size_t(end - cut)));
            cut = nl ? nl + 1 : end;
        }
        if (used == pieces.size()) pieces.emplace_back();
        pieces[used++].reset(p, cut);
        p = cut;
    }
}

// The text block of ReadLines. Big ones come from the kept large blocks, so
// reading file after file does not fault in fresh pages every time.
class TextBlock {
public:
    ~TextBlock() { release(); }
    char* data() const { return data_; }
    size_t capacity() const { return capacity_; }
    // At least bytes of room, keeping the first keep bytes.
    void grow(size_t bytes, size_t keep)
    {
        char* bigger = bytes >= kLargeBlockBytes ? static_cast<char*>(allocateLargeBlock(bytes)) : new char[bytes];
        if (keep) std::memcpy(bigger, data_, keep);
        release();
        data_ = bigger;
        capacity_ = bytes;
    }

private:
    void release()
    {
        if (capacity_ >= kLargeBlockBytes)
            freeLargeBlock(data_, capacity_);
        else
            delete[] data_;
    }
    char* data_ = nullptr;
    size_t capacity_ = 0;
};

}  // namespace

void TextTable::Split(std::string_view line, const Delimiters& delimiters, std::vector<std::string_view>& fields)
{
    fields.clear();
    const size_t n = line.size();
    size_t i = 0;
    while (i < n) {
        while (i < n && delimiters[static_cast<unsigned char>(line[i])]) ++i;
        if (i == n) break;
        const size_t start = i;
        while (i < n && !delimiters[static_cast<unsigned char>(line[i])]) ++i;
        fields.emplace_back(line.data() + start, i - start);
    }
}

const char* TextTable::ParsePlainDecimal(const char* begin, const char* end, double& value)
{
    // Powers of ten that are exact doubles.
    static constexpr double Pow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = begin;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    uint64_t m = 0;
    const char* digits = p;
    while (p < end && isDigit(*p)) m = m * 10 + unsigned(*p++ - '0');
    int count = int(p - digits);
    int fraction = 0;
    if (p < end && *p == '.') {
        const char* f = ++p;
        while (p < end && isDigit(*p)) m = m * 10 + unsigned(*p++ - '0');
        fraction = int(p - f);
        count += fraction;
    }
    // 19 digits cannot overflow the 64-bit mantissa.
    if (count == 0 || count > 19 || m > (uint64_t(1) << 53)) return nullptr;
    int exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool down = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+')) ++p;
        const char* e = p;
        while (p < end && isDigit(*p) && p - e < 4) exponent = exponent * 10 + (*p++ - '0');
        if (p == e || (p < end && isDigit(*p))) return nullptr;
        if (down) exponent = -exponent;
    }
    const int k = exponent - fraction;
    if (k < -22 || k > 22) return nullptr;
    // Both operands are exact, so the one rounding of the product or quotient
    // is the correct rounding of the decimal.
    const double x = k < 0 ? double(m) / Pow10[-k] : double(m) * Pow10[k];
    value = negative ? -x : x;
    return p;
}

bool TextTable::ParseNumber(std::string_view f, double& value)
{
    while (!f.empty() && isBlank(f.front())) f.remove_prefix(1);
    while (!f.empty() && isBlank(f.back())) f.remove_suffix(1);
    if (f.size() > 1 && f.front() == '+' && f[1] != '-' && f[1] != '+') f.remove_prefix(1);
    if (f.empty()) return false;
    const char* b = f.data();
    const char* e = b + f.size();
    double plain = 0;
    if (ParsePlainDecimal(b, e, plain) == e) {
        value = plain;
        return true;
    }
    double v = 0;
    const auto [ptr, ec] = std::from_chars(b, e, v, std::chars_format::general);
    if (ptr != e) return false;
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: strtod's infinity or zero, but
        // independent of the locale.
        const bool negative = *b == '-';
        const char* x = std::find_if(b, e, [](char c) { return c == 'e' || c == 'E'; });
        const bool tiny = x != e && x + 1 < e && x[1] == '-';
        v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        if (negative) v = -v;
    } else if (ec != std::errc()) {
        return false;
    }
    value = v;
    return true;
}

bool TextTable::LineReader::Next(std::string& line)
{
    line.clear();
    lineStart_ = position_;
    bool any = false;
    for (;;) {
        if (bufPos_ == buf_.size()) {
            bufStart_ = position_;
            buf_.resize(HeadRead);
            buf_.resize(source_.readAt(bufStart_, buf_.data(), HeadRead));
            bufPos_ = 0;
            if (buf_.empty()) break;
        }
        any = true;
        const char* b = buf_.data() + bufPos_;
        const size_t left = buf_.size() - bufPos_;
        const char* nl = static_cast<const char*>(std::memchr(b, '\n', left));
        const size_t take = nl ? size_t(nl - b) : left;
        line.append(b, take);
        bufPos_ += take + (nl ? 1 : 0);
        position_ += int64_t(take + (nl ? 1 : 0));
        if (nl) break;
    }
    if (!any) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++lineNumber_;
    return true;
}

void TextTable::ReadLines(const ByteSource& source, int64_t offset, int64_t firstLine, const Rule& rule,
                          const std::string& name, TData& d, TMultiThread* pool)
{
    d.Eventnames.clear();
    d.setEvents(0);
    if (rule.cases <= 0) return;
    const int64_t size = source.size();
    const int64_t limit = rule.eventLimit > 0 ? rule.eventLimit : INT_MAX;
    const int threads = threadCount(pool);
    Classes cls{};
    for (int c = 0; c < 256; ++c) cls[size_t(c)] = rule.delimiters[size_t(c)] ? DelimiterChar : FieldChar;
    cls['\n'] = LineEnd;
    // The quick line path reads numbers and CR LF ends as field text.
    bool plain = true;
    for (const char c : std::string_view("0123456789+-.eE\r")) plain = plain && cls[byteOf(c)] == FieldChar;
    std::vector<std::vector<std::string_view>> fields(static_cast<size_t>(threads));
    std::vector<Piece> pieces;
    const size_t cases = size_t(rule.cases);
    const size_t pieceBytes = std::clamp(size_t(size - std::min(offset, size)) / size_t(threads * 16 + 1),
                                         MinPieceBytes, PieceBytes);
    int64_t total = 0;
    int64_t line = firstLine;
    int64_t pos = offset;
    bool reserved = false;
    TextBlock buf;
    size_t carry = 0;  // bytes of an unfinished line at the start of buf

    while (pos < size && total < limit) {
        // Room for half a block after the unfinished line at least; a small
        // file gets a block of its own size.
        const size_t remaining = size_t(size - pos);
        if (carry + std::min(BlockBytes / 2, remaining) > buf.capacity())
            buf.grow(carry + std::min(BlockBytes, remaining), carry);
        const size_t want = std::min(buf.capacity() - carry, remaining);
        // Copying out of the page cache is work too: the workers read parts of the block side by side.
        const size_t parts = std::max<size_t>(1, std::min<size_t>(size_t(threads) * 2, want / MinPieceBytes));
        forChunks(pool, int(parts), 1, [&](int first, int end, int) {
            for (int i = first; i < end; ++i) {
                const size_t from = want * size_t(i) / parts, to = want * size_t(i + 1) / parts;
                // Short only when the file shrank or failed under us.
                if (source.readAt(pos + int64_t(from), buf.data() + carry + from, to - from) != to - from)
                    throw OrvalaError("Cannot read file " + name);
            }
        });
        pos += int64_t(want);
        const size_t have = carry + want;
        size_t used = have;
        if (pos < size) {
            const char* b = buf.data();
            size_t k = have;
            while (k > 0 && b[k - 1] != '\n') --k;
            if (k == 0) {  // no line ends in this block: read on
                carry = have;
                continue;
            }
            used = k;
        }

        size_t count = 0;
        cutPieces(buf.data(), buf.data() + used, pieceBytes, pieces, count);
        forChunks(pool, int(count), 1, [&](int first, int end, int thread) {
            for (int i = first; i < end; ++i)
                parsePiece(pieces[size_t(i)], rule, cls, plain, fields[size_t(thread)]);
        });

        // Rows this block adds, in file order, up to the limit or the first bad value.
        std::vector<int64_t> at(count + 1, total);
        size_t taken = 0;
        for (; taken < count; ++taken) {
            Piece& piece = pieces[taken];
            const int64_t take = std::min<int64_t>(piece.rows, limit - at[taken]);
            at[taken + 1] = at[taken] + take;
            if (at[taken + 1] >= limit) {
                ++taken;
                break;
            }
            if (piece.badLine >= 0) {
                throw OrvalaError("File " + name + ", line " + std::to_string(line + piece.badLine) + ": \"" +
                                  piece.badField + "\" is not a number");
            }
            line += piece.lines;
        }
        const int64_t newTotal = at[taken];
        if (newTotal > INT_MAX) throw OrvalaError(name + " holds more events than a data set can take");
        if (!reserved && newTotal > total) {
            // Room for the whole file at the density of its first block, so
            // the matrix grows in place instead of being copied as it grows.
            const double perByte = double(newTotal - total) / double(used);
            const int64_t guess = int64_t(perByte * double(size - offset) * 1.05) + 16;
            d.data.reserveRows(int(std::min<int64_t>({guess, limit, INT_MAX})));
            // Only a block that will be filled: a huge page is zeroed whole at its first touch.
            if (size - offset > int64_t(BlockBytes)) AdviseHugePages(d.data.data(), d.data.bytes());
            reserved = true;
        }
        d.data.resizeForOverwrite(int(newTotal));
        forChunks(pool, int(taken), 1, [&](int first, int end, int) {
            for (int i = first; i < end; ++i) {
                const Piece& piece = pieces[size_t(i)];
                const size_t n = size_t(at[size_t(i) + 1] - at[size_t(i)]) * cases;
                std::copy_n(piece.values.data(), n, d.data.data() + size_t(at[size_t(i)]) * cases);
            }
        });
        if (rule.eventNames)
            for (size_t i = 0; i < taken; ++i) {
                Piece& piece = pieces[i];
                const auto n = std::ptrdiff_t(at[i + 1] - at[i]);
                d.Eventnames.insert(d.Eventnames.end(), std::make_move_iterator(piece.names.begin()),
                                    std::make_move_iterator(piece.names.begin() + n));
            }
        total = newTotal;
        std::memmove(buf.data(), buf.data() + used, have - used);
        carry = have - used;
    }
    d.setEvents(int(total));
}

}  // namespace orvala
