#include "TFCSWrite.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/Messages.h"
#include "core/SaveTarget.h"
#include "core/TData.h"

namespace orvala {

namespace fs = std::filesystem;

namespace {

constexpr int64_t HeaderFieldMax = 99'999'999;
constexpr const char* Reserved = "0000000000";

std::string escaped(const std::string& s)
{
    if (s.empty()) return " ";
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        out += c;
        if (c == '/') out += '/';
    }
    return out;
}

// An 8-character right-aligned HEADER field; offsets that do not fit are
// written as 0 and carried by $BEGINDATA/$ENDDATA instead.
std::string headerField(int64_t v)
{
    if (v < 0 || v > HeaderFieldMax) v = 0;
    std::string digits = std::to_string(v);
    return std::string(8 - digits.size(), ' ') + digits;
}

std::string ioError(const std::string& what, const std::string& name)
{
    return what + " " + name + ": " + std::strerror(errno);
}

}  // namespace

std::string TFCSWrite::TextSegment(const TPreText& text)
{
    std::string out(1, '/');
    for (int i = 0; i < text.count(); ++i) {
        out += escaped(text.keys[size_t(i)]);
        out += '/';
        out += escaped(text.Values[size_t(i)]);
        out += '/';
    }
    return out;
}

TFCSWrite::TFCSWrite(const std::string& filename) : target_(filename)
{
    Text.Delim = '/';
    replaced_ = SaveTarget(filename);
    temp_ = replaced_ + ".part";
    fcs_ = std::fopen(temp_.c_str(), "wb");
    if (!fcs_) throw OrvalaError(ioError("Cannot create file", filename));
    std::setvbuf(fcs_, nullptr, _IOFBF, 1 << 20);
}

TFCSWrite::~TFCSWrite()
{
    if (fcs_) {
        std::fclose(fcs_);
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void TFCSWrite::raw(const void* p, size_t n)
{
    if (n && std::fwrite(p, 1, n, fcs_) != n) throw OrvalaError(ioError("Cannot write file", target_));
}

void TFCSWrite::BeginData()
{
    textstart = 256;
    Count = 0;
    Text.SetValue("$TOT", Reserved);
    Text.SetValue("$BEGINDATA", Reserved);
    Text.SetValue("$ENDDATA", Reserved);
    textstop = textstart + int64_t(TextSegment(Text).size()) - 1;
    datastart = (textstop / 256 + 1) * 256;
    if (fseeko(fcs_, off_t(datastart), SEEK_SET) != 0) throw OrvalaError(ioError("Cannot write file", target_));
}

void TFCSWrite::WriteData(const uint32_t* row, int n)
{
    raw(row, size_t(n) * 4);
    ++Count;
}

void TFCSWrite::WriteData(const float* row, int n)
{
    raw(row, size_t(n) * 4);
    ++Count;
}

void TFCSWrite::WriteData(int32_t value)
{
    raw(&value, 4);
    ++Count;
}

void TFCSWrite::WriteRows(const float* values, int events, int n)
{
    raw(values, size_t(events) * size_t(n) * 4);
    Count += events;
}

void TFCSWrite::EndData(int EventCount)
{
    const off_t end = ftello(fcs_);
    if (end < 0) throw OrvalaError(ioError("Cannot write file", target_));
    datastop = int64_t(end) - 1;
    const int64_t reservedStop = textstop;
    Text.SetValue("$TOT", std::to_string(EventCount != 0 ? EventCount : Count));
    Text.SetValue("$BEGINDATA", std::to_string(datastart));
    Text.SetValue("$ENDDATA", std::to_string(datastop));
    const std::string text = TextSegment(Text);
    textstop = textstart + int64_t(text.size()) - 1;
    if (textstop > reservedStop) throw OrvalaError("File too large for FCS offsets: " + target_);

    std::string head = "FCS3.0    ";
    head += headerField(textstart) + headerField(textstop) + headerField(datastart) + headerField(datastop);
    head += headerField(0) + headerField(0);
    head.resize(256, ' ');
    std::string block = head + text;
    block.resize(size_t(datastart), ' ');
    if (fseeko(fcs_, 0, SEEK_SET) != 0) throw OrvalaError(ioError("Cannot write file", target_));
    raw(block.data(), block.size());
    const bool flushed = std::fflush(fcs_) == 0;
    const bool closed = std::fclose(fcs_) == 0;
    fcs_ = nullptr;
    std::error_code ec;
    if (!flushed || !closed) {
        fs::remove(temp_, ec);
        throw OrvalaError(ioError("Cannot write file", target_));
    }
    fs::rename(temp_, replaced_, ec);
    if (ec) {
        fs::remove(temp_, ec);
        throw OrvalaError("Cannot replace file " + target_ + ": " + ec.message());
    }
}

uint32_t ChannelValue(int B, bool logarithmic, double F, double v)
{
    if (F == 0 || B < 1 || B > 31) return 0;
    const double E = double((uint32_t(1) << B) - 1);
    double r;
    if (logarithmic) {
        if (v < 0) v = 0;
        r = std::nearbyint(std::log10(v * 9999.0 / F + 1) * E / 4);
    } else {
        if (v <= 0) v = 0;
        r = std::nearbyint(E * v / F);
    }
    if (!(r >= 0)) r = 0;  // a negative full scale or NaN
    return uint32_t(std::min(r, E));
}

void SaveAsFCS(const TData& data, const std::string& filename)
{
    TFCSWrite w(filename);
    const int n = data.CaseSize();
    w.Text.Add("$DATATYPE", "F");
    w.Text.Add("$PAR", std::to_string(n));
    w.Text.Add("$MODE", "L");
    w.Text.Add("$BYTEORD", "1,2,3,4");
    w.Text.Add("$TOT", "0");
    w.Text.Add("$NEXTDATA", "0");
    for (int p = 0; p < n; ++p) {
        const TParDescriptor& d = data.Desc()[size_t(p)];
        const std::string k = "$P" + std::to_string(p + 1);
        w.Text.Add(k + "B", "32");
        const double r = std::nearbyint(d.resolution);
        w.Text.Add(k + "R", d.resolution != 0 && std::isfinite(r) ? std::to_string(int64_t(r)) : "2240");
        w.Text.Add(k + "N", d.name);
        // FCS 3.0 requires $PnE for every parameter; the values are linear floats.
        w.Text.Add(k + "E", "0,0");
    }
    w.BeginData();
    constexpr int blockEvents = 8192;
    std::vector<float> block(size_t(blockEvents) * size_t(n));
    for (int start = 0; start < data.events(); start += blockEvents) {
        const int count = std::min(blockEvents, data.events() - start);
        const double* src = data.data[start];
        std::transform(src, src + size_t(count) * size_t(n), block.begin(), [](double v) { return float(v); });
        w.WriteRows(block.data(), count, n);
    }
    w.EndData(0);
}

void SaveAsTXT(const TData& data, const std::string& filename, bool scaled)
{
    const std::string target = SaveTarget(filename);
    const std::string temp = target + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) throw OrvalaError(ioError("Cannot create file", filename));
    std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
    std::string line;
    bool ok = true;
    auto flushLine = [&] {
        line += "\r\n";
        ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size();
        line.clear();
    };
    const int n = data.CaseSize();
    for (int p = 0; p < n; ++p) {
        if (p) line += '\t';
        line += data.Desc()[size_t(p)].name;
    }
    flushLine();
    const double lo = data.Absmin(), hi = data.Absmax();
    const double span = hi - lo;
    char buf[64];
    for (int e = 0; e < data.events() && ok; ++e) {
        const double* row = data.data[e];
        for (int p = 0; p < n; ++p) {
            if (p) line += '\t';
            std::to_chars_result r;
            if (scaled && std::isfinite(row[p])) {
                const double v = span != 0 ? std::nearbyint((row[p] - lo) * 1023.0 / span) : 0.0;
                r = std::to_chars(buf, buf + sizeof buf, int64_t(v));
            } else {
                r = std::to_chars(buf, buf + sizeof buf, row[p], std::chars_format::general, 15);
            }
            line.append(buf, r.ptr);
        }
        flushLine();
    }
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) fs::rename(temp, target, ec);
    if (!ok || ec) {
        fs::remove(temp, ec);
        throw OrvalaError(ioError("Cannot write file", filename));
    }
}

}  // namespace orvala
