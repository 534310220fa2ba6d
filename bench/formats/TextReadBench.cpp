// Reading speed of the instrument-log and text-table readers, file to finished
// data set, from a warm page cache: an iQSP-480 log of 32 channels (1 GB; set
// ORVALA_BENCH_LOG_MB for another size) and a delimited text of 1,000,000 x 32
// values. Prints MB/s of file.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <string>
#include <vector>

#include "formats/ReaderPool.h"
#include "formats/TextLogOpen.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

std::filesystem::path benchDir()
{
    const auto dir = std::filesystem::temp_directory_path() / "orvala-text-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

struct BenchFile {
    std::string path;
    int64_t bytes = 0;
};

const BenchFile& iqspLog()
{
    static const BenchFile f = [] {
        int64_t megabytes = 1024;
        if (const char* env = std::getenv("ORVALA_BENCH_LOG_MB")) megabytes = std::max(1, std::atoi(env));
        BenchFile b;
        b.path = (benchDir() / "iqsp480_32ch.log").string();
        std::string head = "Vtech iQSP-480";
        head.resize(66, ' ');
        std::vector<uint16_t> table(2000, 0);
        table[3] = 32;
        for (uint16_t w : table) {
            head += char(w >> 8);
            head += char(w & 0xFF);
        }
        constexpr int P = 74;  // header word, 4 blocks of 8 magnitudes and a sign word
        const int64_t packets = (megabytes << 20) / P;
        std::ofstream out(b.path, std::ios::binary);
        out.write(head.data(), std::streamsize(head.size()));
        std::mt19937 rng(5);
        std::vector<uint8_t> block;
        for (int64_t done = 0; done < packets;) {
            const int64_t n = std::min<int64_t>(65536, packets - done);
            block.resize(size_t(n) * P);
            for (auto& byte : block) byte = uint8_t(rng());
            out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size()));
            done += n;
        }
        b.bytes = int64_t(head.size()) + packets * P;
        return b;
    }();
    return f;
}

const BenchFile& delimitedText()
{
    static const BenchFile f = [] {
        BenchFile b;
        b.path = (benchDir() / "table_1M_x_32.txt").string();
        std::ofstream out(b.path, std::ios::binary);
        std::string line;
        for (int p = 1; p <= 32; ++p) line += (p > 1 ? "\tFL" : "FL") + std::to_string(p);
        line += "\r\n";
        out.write(line.data(), std::streamsize(line.size()));
        std::mt19937 rng(9);
        std::uniform_real_distribution<double> u(0, 262144);
        std::string chunk;
        char num[32];
        for (int e = 0; e < 1'000'000; ++e) {
            for (int p = 0; p < 32; ++p) {
                if (p) chunk += '\t';
                const auto r = std::to_chars(num, num + sizeof num, u(rng), std::chars_format::fixed, 2);
                chunk.append(num, r.ptr);
            }
            chunk += "\r\n";
            if (chunk.size() > (1u << 20)) {
                out.write(chunk.data(), std::streamsize(chunk.size()));
                chunk.clear();
            }
        }
        out.write(chunk.data(), std::streamsize(chunk.size()));
        out.close();
        b.bytes = int64_t(std::filesystem::file_size(b.path));
        return b;
    }();
    return f;
}

// CPU seconds of every thread of the process: on a shared machine the wall-clock
// rate depends on the other load, the rate per CPU second much less.
double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void openFile(benchmark::State& state, const BenchFile& f, const ReadOptions& options, TMultiThread* pool = readerPool())
{
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        TData* d = CreateFromTextOrLog(f.path, options, pool);
        benchmark::DoNotOptimize(d->data.data());
        if (d->events() == 0) state.SkipWithError("the file did not open");
        delete d;
    }
    state.SetBytesProcessed(state.iterations() * f.bytes);
    state.counters["MB/s"] =
        benchmark::Counter(double(f.bytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["MB/cpu-s"] = double(f.bytes) / 1e6 * double(state.iterations()) / (processCpuSeconds() - cpu0);
}

void BM_IqspLog32Channels(benchmark::State& state) { openFile(state, iqspLog(), {}); }

ReadOptions delimitedOptions()
{
    ReadOptions o;
    o.Text.parnam = true;  // a names row, then 32 numbers a line, as "Save As TXT" writes
    return o;
}

void BM_DelimitedText1Mx32(benchmark::State& state) { openFile(state, delimitedText(), delimitedOptions()); }

// The same on one worker: what the parallel split gains.
void BM_DelimitedText1Mx32OneWorker(benchmark::State& state)
{
    TMultiThread one(1);
    openFile(state, delimitedText(), delimitedOptions(), &one);
}

}  // namespace

BENCHMARK(BM_IqspLog32Channels)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DelimitedText1Mx32)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DelimitedText1Mx32OneWorker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The files are hundreds of megabytes: do not leave them behind.
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::temp_directory_path() / "orvala-text-bench", ec);
    return 0;
}
