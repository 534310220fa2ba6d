#include "TDBSpec.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "core/Messages.h"
#include "core/SaveTarget.h"

namespace orvala {

namespace fs = std::filesystem;

namespace {

const char* const StreamReadError = "Stream Read Error";

int32_t readInt32(const std::string& bytes, size_t& pos)
{
    if (bytes.size() - pos < 4) throw OrvalaError(StreamReadError);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + pos);
    pos += 4;
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

void writeInt32(std::string& out, int32_t v)
{
    const auto u = uint32_t(v);
    for (int i = 0; i < 4; ++i) out.push_back(char((u >> (8 * i)) & 0xFF));
}

double readDouble(const unsigned char* b)
{
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = (u << 8) | b[i];
    double v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

void writeDouble(std::string& out, double v)
{
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 8; ++i) out.push_back(char((u >> (8 * i)) & 0xFF));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw OrvalaError("Can not open the spectra library " + path);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) throw OrvalaError("Can not read the spectra library " + path);
    return bytes;
}

}  // namespace

std::vector<TSpecEntry> TDBSpec::Parse(const std::string& bytes)
{
    std::vector<TSpecEntry> entries;
    size_t pos = 0;
    while (pos < bytes.size()) {
        TSpecEntry e;
        const int32_t len = readInt32(bytes, pos);
        if (len < 0) throw OrvalaError(StreamReadError);
        const size_t take = std::min(size_t(len), bytes.size() - pos);
        e.name.assign(bytes, pos, take);
        pos += take;
        const int32_t n = readInt32(bytes, pos);
        // The count is checked against the bytes that can hold it before any allocation.
        if (n < 0 || size_t(n) > (bytes.size() - pos) / 8) throw OrvalaError(StreamReadError);
        e.spdata.data.resize(size_t(n));
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + pos);
        for (size_t i = 0; i < size_t(n); ++i) e.spdata.data[i] = readDouble(b + 8 * i);
        pos += 8 * size_t(n);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string TDBSpec::Serialize(const std::vector<TSpecEntry>& entries)
{
    std::string out;
    for (const TSpecEntry& e : entries) {
        writeInt32(out, int32_t(e.name.size()));
        out += e.name;
        writeInt32(out, int32_t(e.spdata.data.size()));
        for (double v : e.spdata.data) writeDouble(out, v);
    }
    return out;
}

TDBSpec::TDBSpec(std::string path, std::string fallback) : fname(std::move(path))
{
    std::error_code ec;
    if (fs::exists(fname, ec)) {
        specs = Parse(readFile(fname));
    } else if (!fallback.empty() && fs::exists(fallback, ec)) {
        specs = Parse(readFile(fallback));
        // The default library is never written; a change goes to fname.
    }
    saved = true;
}

TDBSpec::~TDBSpec()
{
    try {
        Save();
    } catch (const std::exception& e) {
        defaultSink().message(e.what());
    }
}

void TDBSpec::Add(const std::string& desc, const TVector& spe)
{
    specs.push_back({desc, Tspdata{spe}});
    saved = false;
}

void TDBSpec::Delete(int i)
{
    if (i < 0 || i >= Count()) return;
    specs.erase(specs.begin() + i);
    saved = false;
}

void TDBSpec::Save()
{
    if (saved) return;
    const std::string target = SaveTarget(fname);
    const std::string temp = target + ".part";
    try {
        const fs::path dir = fs::path(fname).parent_path();
        if (!dir.empty()) fs::create_directories(dir);
        const std::string bytes = Serialize(specs);
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            if (!out) throw std::runtime_error("can not create " + temp);
            out.write(bytes.data(), std::streamsize(bytes.size()));
            out.close();
            if (!out) throw std::runtime_error("can not write " + temp);
        }
        fs::rename(temp, target);
    } catch (const std::exception& ex) {
        std::error_code ec;
        fs::remove(temp, ec);
        throw OrvalaError("Can not save the spectra library " + fname + ": " + ex.what());
    }
    saved = true;
}

std::string SpectrumEntryName(const std::string& text)
{
    const char* ws = " \t\r\n\f\v";
    const size_t a = text.find_first_not_of(ws);
    if (a == std::string::npos) return "Default";
    const size_t b = text.find_last_not_of(ws);
    return text.substr(a, b - a + 1);
}

void NormalizeToMax(TVector& values)
{
    if (values.empty()) return;
    double top = -std::numeric_limits<double>::infinity();  // NaN values never win
    for (double v : values)
        if (v > top) top = v;
    if (top == 0 || !std::isfinite(top)) return;
    for (double& v : values) v /= top;
}

void SaveSpectrumToLibrary(const std::string& path, const std::string& fallback, const std::string& name, TVector values,
                           bool normalize)
{
    if (normalize) NormalizeToMax(values);
    TDBSpec lib(path, fallback);
    lib.Add(SpectrumEntryName(name), values);
    lib.Save();
}

}  // namespace orvala
