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

// The result of parsing one piece of a block: the accepted rows in order, and
// the first field that is not a number, if any (parsing stops there).
struct Piece {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::vector<double> values;
    std::vector<std::string> names;
    int rows = 0;
    int64_t lines = 0;
    int64_t badLine = -1;  // 0-based within the piece
    std::string badField;
};

void parsePiece(Piece& piece, const TextTable::Rule& rule, std::vector<std::string_view>& fields)
{
    const size_t cases = size_t(rule.cases);
    piece.values.reserve(size_t(piece.end - piece.begin) / 8);  // about one value per 8 bytes
    const char* p = piece.begin;
    while (p < piece.end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(piece.end - p)));
        const char* lineEnd = nl ? nl : piece.end;
        std::string_view line(p, size_t(lineEnd - p));
        p = nl ? nl + 1 : piece.end;
        const int64_t lineIndex = piece.lines++;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        TextTable::Split(line, rule.delimiters, fields);
        const int fc = int(fields.size());
        if (rule.exactFields ? fc != rule.fieldCount : fc == 0) continue;
        const int count = std::clamp(fc - rule.firstValue, 0, rule.cases);
        // A fresh zeroed row for every line: a rejected line leaves nothing
        // behind for a shorter line that follows.
        const size_t start = piece.values.size();
        piece.values.resize(start + cases, 0.0);
        double* row = piece.values.data() + start;
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
std::vector<Piece> cutPieces(const char* begin, const char* end, int n)
{
    std::vector<Piece> pieces;
    const size_t total = size_t(end - begin);
    const size_t want = std::max(MinPieceBytes, total / size_t(std::max(n, 1)) + 1);
    const char* p = begin;
    while (p < end) {
        const char* cut = p + std::min(want, size_t(end - p));
        if (cut < end) {
            const char* nl = static_cast<const char*>(std::memchr(cut, '\n', size_t(end - cut)));
            cut = nl ? nl + 1 : end;
        }
        Piece piece;
        piece.begin = p;
        piece.end = cut;
        pieces.push_back(std::move(piece));
        p = cut;
    }
    return pieces;
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
    const int limit = rule.eventLimit > 0 ? rule.eventLimit : INT_MAX;
    const int threads = threadCount(pool);
    std::vector<std::vector<std::string_view>> fields(static_cast<size_t>(threads));
    std::vector<std::vector<double>> blocks;  // accepted values, block by block
    TStrVector names;
    int64_t total = 0;
    int64_t line = firstLine;
    int64_t pos = offset;
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
        const bool last = pos >= size;
        size_t used = have;
        if (!last) {
            const char* b = buf.get();
            size_t k = have;
            while (k > 0 && b[k - 1] != '\n') --k;
            if (k == 0) {  // no line ends in this block: read on
                carry = have;
                continue;
            }
            used = k;
        }

        std::vector<Piece> pieces = cutPieces(buf.get(), buf.get() + used, threads * 4);
        forChunks(pool, int(pieces.size()), 1, [&](int first, int end, int thread) {
            for (int i = first; i < end; ++i) parsePiece(pieces[size_t(i)], rule, fields[size_t(thread)]);
        });

        for (Piece& piece : pieces) {
            const int take = int(std::min<int64_t>(piece.rows, limit - total));
            piece.values.resize(size_t(take) * size_t(rule.cases));
            blocks.push_back(std::move(piece.values));
            if (rule.eventNames)
                names.insert(names.end(), std::make_move_iterator(piece.names.begin()),
                             std::make_move_iterator(piece.names.begin() + take));
            total += take;
            if (total >= limit) break;
            if (piece.badLine >= 0)
                throw OrvalaError("File " + name + ", line " + std::to_string(line + piece.badLine) + ": \"" +
                                  piece.badField + "\" is not a number");
            line += piece.lines;
        }
        std::memmove(buf.get(), buf.get() + used, have - used);
        carry = have - used;
    }

    if (total > INT_MAX) throw OrvalaError(name + " holds more events than a data set can take");
    d.data.resizeForOverwrite(int(total));
    double* out = d.data.data();
    for (const auto& b : blocks) {
        std::copy(b.begin(), b.end(), out);
        out += b.size();
    }
    d.Eventnames = std::move(names);
    d.setEvents(int(total));
}

}  // namespace orvala
