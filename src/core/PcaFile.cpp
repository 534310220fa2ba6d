#include "PcaFile.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "Messages.h"
#include "Records.h"
#include "SaveTarget.h"
#include "Stream.h"
#include "TDataFilter.h"

namespace orvala {

namespace {

// A filter record that parsed may still be nonsense (a file of another kind
// that happens to read as one); refuse what the plot could not use safely.
bool consistent(const TDataFilter& f)
{
    for (int32_t index : f.FIndices)
        if (index < 0) return false;
    const size_t m = f.Fevects.size();
    for (const TVector& row : f.Fevects)
        if (row.size() != m) return false;
    // With explicit indices the output length is known: the analysis ran on exactly that many columns.
    if (!f.FIndices.empty() && m > 0 && int(m) != f.OutputLength()) return false;
    if (m > 0 && !f.FMean.empty() && f.FMean.size() != m) return false;
    if (m > 0 && !f.FDeviation.empty() && f.FDeviation.size() != m) return false;
    return true;
}

}  // namespace

void SavePcaFile(const std::string& path, const TDataFilter& filter)
{
    const std::string target = SaveTarget(path);
    try {
        WriteAndReplace(target, [&](const std::string& temp) {
            FileStream s(temp, FileStream::Mode::Write);
            SaveFilterToStream(s, filter);
            s.close();
        });
    } catch (const std::exception& ex) {
        throw OrvalaError("Can not save the PCA file " + path + ": " + ex.what());
    }
}

std::unique_ptr<TDataFilter> LoadPcaFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    {
        FileStream file(path, FileStream::Mode::Read);
        // A filter record is small; anything near this size is not one.
        constexpr int64_t MaxBytes = int64_t(1) << 30;
        if (file.size() > MaxBytes) return nullptr;
        bytes.resize(size_t(file.size()));
        if (!bytes.empty() && file.read(bytes.data(), bytes.size()) != bytes.size()) return nullptr;
    }
    MemoryStream s(std::move(bytes));
    try {
        const int32_t version = ReadInt(s);
        if (version < 1 || version > FilterRecordVersion) return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    s.seek(0);
    std::unique_ptr<TDataFilter> filter = LoadFilterFromStream(s);
    if (!filter || s.bytesLeft() != 0 || !consistent(*filter)) return nullptr;
    // The stored working buffer is only scratch space: size it for the indices.
    filter->setIndices(filter->FIndices);
    return filter;
}

}  // namespace orvala
