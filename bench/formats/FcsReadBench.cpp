// Reading speed of the FCS reader, file to finished data set, from a warm page
// cache: a 2,000,000 x 32 float file and a 16-bit integer file with a spillover
// matrix. Prints MB/s of DATA segment.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "formats/FcsOpen.h"
#include "formats/ReaderPool.h"
#include "formats/TFCStream.h"

using namespace orvala;

namespace {

struct BenchFile {
    std::string path;
    int64_t dataBytes = 0;
};

// Writes an FCS 3.0 list-mode file; values come from fill(event, parameter).
template <class T, class Fill>
BenchFile writeFile(const std::string& name, int events, int pars, char type, const std::string& extra, Fill fill)
{
    const auto dir = std::filesystem::temp_directory_path() / "orvala-fcs-bench";
    std::filesystem::create_directories(dir);
    BenchFile f;
    f.path = (dir / name).string();
    f.dataBytes = int64_t(events) * pars * int64_t(sizeof(T));
    std::string kw = "/$DATATYPE/" + std::string(1, type) + "/$MODE/L/$BYTEORD/1,2,3,4/$PAR/" + std::to_string(pars) +
                     "/$TOT/" + std::to_string(events) + "/";
    for (int p = 1; p <= pars; ++p) {
        const std::string n = std::to_string(p);
        kw += "$P" + n + "B/" + std::to_string(8 * sizeof(T)) + "/$P" + n + "E/0,0/$P" + n + "N/FL" + n + "-A/$P" + n +
              "R/" + (type == 'I' ? "65536" : "262144") + "/";
    }
    kw += extra;
    const int64_t textStart = 58;
    // $BEGINDATA/$ENDDATA of fixed width so the TEXT length is known before they are.
    const int64_t textLen = int64_t(kw.size()) + 2 * (12 + 20 + 2);
    const int64_t dataStart = textStart + textLen, dataEnd = dataStart + f.dataBytes - 1;
    char num[2][24];
    std::snprintf(num[0], sizeof num[0], "%020lld", (long long)dataStart);
    std::snprintf(num[1], sizeof num[1], "%020lld", (long long)dataEnd);
    kw += std::string("$BEGINDATA/") + num[0] + "/$ENDDATA/" + num[1] + "/";
    char header[160];
    std::snprintf(header, sizeof header, "FCS3.0    %8lld%8lld%8lld%8lld%8d%8d", (long long)textStart,
                  (long long)(textStart + int64_t(kw.size()) - 1), dataEnd < 99999999 ? (long long)dataStart : 0LL,
                  dataEnd < 99999999 ? (long long)dataEnd : 0LL, 0, 0);
    std::ofstream out(f.path, std::ios::binary);
    out.write(header, 58);
    out.write(kw.data(), std::streamsize(kw.size()));
    std::vector<T> row(size_t(pars) * 4096);
    for (int e0 = 0; e0 < events; e0 += 4096) {
        const int n = std::min(4096, events - e0);
        for (int e = 0; e < n; ++e)
            for (int p = 0; p < pars; ++p) row[size_t(e) * size_t(pars) + size_t(p)] = fill(e0 + e, p);
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(sizeof(T) * size_t(n) * size_t(pars)));
    }
    return f;
}

const BenchFile& floatFile()
{
    static const BenchFile f = [] {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> u(0, 262144);
        return writeFile<float>("floats_2M_x_32.fcs", 2'000'000, 32, 'F', "", [&](int, int) { return u(rng); });
    }();
    return f;
}

const BenchFile& intSpillFile()
{
    static const BenchFile f = [] {
        // 8 fluorescence channels spilling 10 % into their neighbour.
        std::string spill = "$SPILLOVER/8";
        for (int i = 1; i <= 8; ++i) spill += ",FL" + std::to_string(i) + "-A";
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j) spill += i == j ? ",1" : (j == i + 1 ? ",0.1" : ",0");
        spill += "/";
        std::mt19937 rng(11);
        std::uniform_int_distribution<int> u(0, 65535);
        return writeFile<uint16_t>("int16_2M_x_16_spill.fcs", 2'000'000, 16, 'I', spill,
                                   [&](int, int) { return uint16_t(u(rng)); });
    }();
    return f;
}

void openFile(benchmark::State& state, const BenchFile& f)
{
    RecordingSink sink;
    for (auto _ : state) {
        TData* d = CreateFromFile(f.path, 0, sink, readerPool());
        benchmark::DoNotOptimize(d->data.data());
        if (d->events() == 0) state.SkipWithError("the file did not open");
        delete d;
    }
    state.SetBytesProcessed(state.iterations() * f.dataBytes);
    state.counters["MB/s"] =
        benchmark::Counter(double(f.dataBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The same reading into a value matrix that already has its memory: shows the
// reader's own work without the first touch of a fresh 512 MB block, which the
// data set's matrix pays once per opened file.
void decodeIntoWarmMatrix(benchmark::State& state, const BenchFile& f)
{
    RecordingSink sink;
    DataMatrix m;
    for (auto _ : state) {
        TFCStream stream(f.path, false, sink, readerPool());
        TDataSet& ds = *stream.DataSet(0);
        ds.ReadValues(m, readerPool());
        ds.BuildResult(m, readerPool());
        benchmark::DoNotOptimize(m.data());
    }
    state.SetBytesProcessed(state.iterations() * f.dataBytes);
    state.counters["MB/s"] =
        benchmark::Counter(double(f.dataBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_FcsFloat2Mx32(benchmark::State& state) { openFile(state, floatFile()); }
void BM_FcsFloat2Mx32WarmMatrix(benchmark::State& state) { decodeIntoWarmMatrix(state, floatFile()); }
void BM_FcsInt16WithSpilloverWarmMatrix(benchmark::State& state) { decodeIntoWarmMatrix(state, intSpillFile()); }
void BM_FcsInt16WithSpillover(benchmark::State& state) { openFile(state, intSpillFile()); }

}  // namespace

BENCHMARK(BM_FcsFloat2Mx32)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FcsInt16WithSpillover)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FcsFloat2Mx32WarmMatrix)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FcsInt16WithSpilloverWarmMatrix)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The files are a few hundred megabytes: do not leave them behind.
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::temp_directory_path() / "orvala-fcs-bench", ec);
    return 0;
}
