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
constexpr size_t BlockBytes = size_t(32) << 20;  // read at once, then parsed by all workers
constexpr size_t MinPieceBytes = size_t(256) << 10;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Instruments write these where a value was out of range or missing.
bool isRejectMark(std::string_view f) { return f == "MAX" || f == "MIN" || f == "ERR"; }

// One piece of a block, parsed by one worker: its accepted rows in order, and
// the first field that is not a number, if any (parsing stops there). Pieces
// are reused from block to block, so their buffers are touched once.
struct Piece {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::vector<double, DefaultInitAllocator<double>> values;
    std::vector<std::string> names;
    int rows = 0;
    int64_t lines = 0;
    int64_t badLine = -1;  // 0-based within the piece
    std::string badField;

    void reset(const char* b, const char* e)
    {
        begin = b;
        end = e;
        values.clear();
        names.clear();
        rows = 0;
        lines = 0;
        badLine = -1;
        badField.clear();
    }
};

// Character classes of the line scanner: field text, delimiter, line end.
enum : uint8_t { FieldChar = 0, DelimiterChar = 1, LineEnd = 2 };

void parsePiece(Piece& piece, const TextTable::Rule& rule, const std::array<uint8_t, 256>& cls,
                std::vector<std::string_view>& fields)
{
    const size_t cases = size_t(rule.cases);
    const char* p = piece.begin;
    const char* const end = piece.end;
    while (p < end) {
        // Splits the line in the same pass that finds its end.
        fields.clear();
        for (;;) {
            while (p < end && cls[static_cast<unsigned char>(*p)] == DelimiterChar) ++p;
            if (p == end || *p == '\n') break;
            const char* f = p;
            while (p < end && cls[static_cast<unsigned char>(*p)] == FieldChar) ++p;
            fields.emplace_back(f, size_t(p - f));
        }
        if (p < end) ++p;  // past the line feed
        // A CR LF line end leaves its CR on the last field.
        if (!fields.empty() && fields.back().back() == '\r') {
            fields.back().remove_suffix(1);
            if (fields.back().empty()) fields.pop_back();
        }
        const int64_t lineIndex = piece.lines++;
        const int fc = int(fields.size());
        if (rule.exactFields ? fc != rule.fieldCount : fc == 0) continue;
        const int count = std::clamp(fc - rule.firstValue, 0, rule.cases);
        // Every line gets a row of its own: a rejected line leaves nothing
        // behind for a shorter line that follows.
        const size_t start = piece.values.size();
        piece.values.resize(start + cases);
        double* row = piece.values.data() + start;
        std::fill(row + count, row + cases, 0.0);
        bool rejected = false;
        for (int j = 0; j < count; ++j) {
            const std::string_view f = fields[size_t(rule.firstValue + j)];
            if (isRejectMark(f)) {
                rejected = true;
                break;
            }
            if (!TextTable::ParseNumber(f, row[j])) {
                piece.values.resize(start);
                piece.badLine = lineIndex;
                piece.badField = std::string(f);
                return;
            }
        }
        if (rejected) {
            piece.values.resize(start);
            continue;
        }
        if (rule.eventNames) piece.names.emplace_back(fields[0]);
        ++piece.rows;
    }
}

// Cuts [begin, end) into about n pieces that end after a line feed.
void cutPieces(const char* begin, const char* end, int n, std::vector<Piece>& pieces, size_t& used)
{
    const size_t total = size_t(end - begin);
    const size_t want = std::max(MinPieceBytes, total / size_t(std::max(n, 1)) + 1);
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

bool TextTable::ParseNumber(std::string_view f, double& value)
{
    while (!f.empty() && isBlank(f.front())) f.remove_prefix(1);
    while (!f.empty() && isBlank(f.back())) f.remove_suffix(1);
    if (f.size() > 1 && f.front() == '+' && f[1] != '-' && f[1] != '+') f.remove_prefix(1);
    if (f.empty()) return false;
    const char* b = f.data();
    const char* e = b + f.size();
    // Most values are short decimals. With at most 15 digits the digits are an
    // exact integer and 10^k for k <= 22 an exact double, so one division gives
    // the correctly rounded value, the same one from_chars gives.
    {
        const char* q = b;
        const bool negative = *q == '-';
        if (negative) ++q;
        uint64_t m = 0;
        int digits = 0, fraction = 0;
        bool point = false;
        for (; q < e && digits <= 15; ++q) {
            const unsigned d = unsigned(*q - '0');
            if (d < 10) {
                m = m * 10 + d;
                ++digits;
                fraction += point;
            } else if (*q == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (q == e && digits > 0 && digits <= 15) {
            static constexpr double Pow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            const double x = double(m) / Pow10[fraction];
            value = negative ? -x : x;
            return true;
        }
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
    std::array<uint8_t, 256> cls{};
    for (int c = 0; c < 256; ++c) cls[size_t(c)] = rule.delimiters[size_t(c)] ? DelimiterChar : FieldChar;
    cls['\n'] = LineEnd;
    std::vector<std::vector<std::string_view>> fields(static_cast<size_t>(threads));
    std::vector<Piece> pieces;
    const size_t cases = size_t(rule.cases);
    int64_t total = 0;
    int64_t line = firstLine;
    int64_t pos = offset;
    bool reserved = false;
    // Not a vector: its resize would zero every block before the read overwrites it.
    std::unique_ptr<char[]> buf;
    size_t capacity = 0;
    size_t carry = 0;  // bytes of an unfinished line at the start of buf

    while (pos < size && total < limit) {
        const size_t want = size_t(std::min<int64_t>(int64_t(std::max(BlockBytes, carry)), size - pos));
        if (carry + want > capacity) {
            std::unique_ptr<char[]> bigger(new char[carry + want]);
            if (carry) std::memcpy(bigger.get(), buf.get(), carry);
            buf = std::move(bigger);
            capacity = carry + want;
        }
        const size_t got = source.readAt(pos, buf.get() + carry, want);
        if (got == 0) throw OrvalaError("Cannot read file " + name);
        pos += int64_t(got);
        const size_t have = carry + got;
        size_t used = have;
        if (pos < size) {
            const char* b = buf.get();
            size_t k = have;
            while (k > 0 && b[k - 1] != '\n') --k;
            if (k == 0) {  // no line ends in this block: read on
                carry = have;
                continue;
            }
            used = k;
        }

        size_t count = 0;
        cutPieces(buf.get(), buf.get() + used, threads * 4, pieces, count);
        forChunks(pool, int(count), 1, [&](int first, int end, int thread) {
            for (int i = first; i < end; ++i) parsePiece(pieces[size_t(i)], rule, cls, fields[size_t(thread)]);
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
        std::memmove(buf.get(), buf.get() + used, have - used);
        carry = have - used;
    }
    d.setEvents(int(total));
}

}  // namespace orvala
