#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/PcaFile.h"
#include "core/Records.h"
#include "core/Stream.h"
#include "core/TDataFilter.h"

using namespace orvala;
namespace fs = std::filesystem;

namespace {

using orvala::test::TempDir;

TDataFilter sampleFilter()
{
    TDataFilter f;
    f.setIndices({0, 2, 3});
    f.PCAType = 0;
    f.Normalized = true;
    f.FMean = {1.5, -2.25, 1e6};
    f.FDeviation = {0.5, 3, 7.125};
    f.Fevects = {{0.6, 0.8, 0}, {-0.8, 0.6, 0}, {0, 0, 1}};
    return f;
}

std::vector<char> bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

TEST(PcaFile, RoundTripKeepsEveryFieldAndTheProjection)
{
    TempDir dir;
    const TDataFilter f = sampleFilter();
    const std::string path = dir.file("a.pca");
    SavePcaFile(path, f);
    std::unique_ptr<TDataFilter> g = LoadPcaFile(path);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->FIndices, f.FIndices);
    EXPECT_EQ(g->PCAType, f.PCAType);
    EXPECT_EQ(g->Normalized, f.Normalized);
    EXPECT_EQ(g->Hyper, f.Hyper);
    EXPECT_EQ(g->Includer, f.Includer);
    EXPECT_EQ(g->FMean, f.FMean);
    EXPECT_EQ(g->FDeviation, f.FDeviation);
    EXPECT_EQ(g->Fevects, f.Fevects);
    EXPECT_EQ(g->FOutput.size(), f.FIndices.size());
    TDataFilter copy = f;
    const TVector event{3, 99, -4, 12.5};
    EXPECT_EQ(g->Pass(event), copy.Pass(event));
    // Exactly one filter record, nothing else.
    MemoryStream s;
    SaveFilterToStream(s, f);
    EXPECT_EQ(bytesOf(path).size(), s.bytes().size());
    EXPECT_FALSE(fs::exists(path + ".part"));
}

TEST(PcaFile, DamagedFilesGiveNoFilter)
{
    TempDir dir;
    const std::string good = dir.file("good.pca");
    SavePcaFile(good, sampleFilter());
    const std::vector<char> bytes = bytesOf(good);
    ASSERT_GT(bytes.size(), 40u);

    std::vector<char> badVersion = bytes;
    badVersion[0] = 9;
    std::vector<char> trailing = bytes;
    trailing.push_back('x');
    // Three eigenvector rows for a filter that reads two columns.
    TDataFilter mismatched = sampleFilter();
    mismatched.setIndices({0, 1});
    MemoryStream m;
    SaveFilterToStream(m, mismatched);
    const std::vector<char> mismatchedBytes(m.bytes().begin(), m.bytes().end());

    struct Case {
        const char* name;
        std::vector<char> content;
    };
    const std::vector<Case> cases{
        {"empty", {}},
        {"cut in the version", {bytes.begin(), bytes.begin() + 2}},
        {"cut in the eigenvectors", {bytes.begin(), bytes.end() - 5}},
        {"cut after the flags", {bytes.begin(), bytes.begin() + long(bytes.size() / 2)}},
        {"unknown version", badVersion},
        {"bytes after the record", trailing},
        {"sizes that disagree", mismatchedBytes},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("bad.pca");
        writeBytes(path, c.content);
        EXPECT_EQ(LoadPcaFile(path), nullptr) << c.name;
    }
    EXPECT_THROW(LoadPcaFile(dir.file("missing.pca")), OrvalaError);
}

TEST(PcaFile, FailedSaveLeavesTheOldFileAlone)
{
    TempDir dir;
    const std::string path = dir.file("keep.pca");
    SavePcaFile(path, sampleFilter());
    const std::vector<char> before = bytesOf(path);
    // The temporary file cannot be created where a directory of its name stands.
    fs::create_directory(path + ".part");
    TDataFilter other = sampleFilter();
    other.PCAType = 1;
    EXPECT_THROW(SavePcaFile(path, other), OrvalaError);
    EXPECT_EQ(bytesOf(path), before);
    fs::remove(path + ".part");
    // Saving again replaces the file.
    SavePcaFile(path, other);
    ASSERT_TRUE(LoadPcaFile(path));
    EXPECT_EQ(LoadPcaFile(path)->PCAType, 1);
}
