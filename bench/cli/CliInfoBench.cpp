// Writes a 2,000,000-event x 32-parameter float FCS file and times
// `orvala-cli info` on it as a user would run it: process start, reading,
// ranges and printing. Usage: bench_cli_info [events] [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "FcsFixtureWriter.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    const int events = argc > 1 ? std::atoi(argv[1]) : 2000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    constexpr int pars = 32;
    const fs::path dir = fs::temp_directory_path() / ("orvala-cli-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "large.fcs").string();
    {
        orvala::fixtures::FcsDataSet set;
        for (int p = 0; p < pars; ++p) set.parameters.push_back({"P" + std::to_string(p + 1), "", 262144});
        set.values.resize(size_t(events) * pars);
        uint32_t h = 12345;
        for (float& v : set.values) {
            h = h * 1664525u + 1013904223u;
            v = float(h >> 14);
        }
        if (!orvala::fixtures::writeFcs30(file, {set})) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
    }
    std::printf("file: %d events x %d float parameters, %.0f MB\n", events, pars,
                double(fs::file_size(file)) / 1e6);

    const std::string cmd = std::string("'") + ORVALA_CLI + "' info '" + file + "' >/dev/null";
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        const int status = std::system(cmd.c_str());
        const auto t1 = std::chrono::steady_clock::now();
        if (status != 0) {
            std::fprintf(stderr, "orvala-cli info failed (status %d)\n", status);
            fs::remove_all(dir);
            return 1;
        }
        seconds.push_back(std::chrono::duration<double>(t1 - t0).count());
    }
    fs::remove_all(dir);
    std::sort(seconds.begin(), seconds.end());
    std::printf("orvala-cli info, process start included: best %.3f s, median %.3f s over %d runs\n", seconds.front(),
                seconds[seconds.size() / 2], runs);
    return 0;
}
