// Writes a 2,000,000-event x 32-parameter float FCS file and times
// `orvala-cli info` on it as a user would run it: process start, reading,
// ranges and printing; and the process start alone (--help) for comparison.
// Usage: bench_cli_info [events] [runs]
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

    // Wall seconds of each run of cmd, sorted; empty when a run failed.
    auto timeRuns = [runs](const std::string& cmd) {
        std::vector<double> seconds;
        for (int r = 0; r < runs; ++r) {
            const auto t0 = std::chrono::steady_clock::now();
            const int status = std::system(cmd.c_str());
            const auto t1 = std::chrono::steady_clock::now();
            if (status != 0) {
                std::fprintf(stderr, "%s failed (status %d)\n", cmd.c_str(), status);
                return std::vector<double>();
            }
            seconds.push_back(std::chrono::duration<double>(t1 - t0).count());
        }
        std::sort(seconds.begin(), seconds.end());
        return seconds;
    };
    const std::string cli = std::string("'") + ORVALA_CLI + "'";
    // Process start alone: loading the executable and its libraries, parsing no file.
    const std::vector<double> start = timeRuns(cli + " --help >/dev/null");
    const std::vector<double> info = timeRuns(cli + " info '" + file + "' >/dev/null");
    fs::remove_all(dir);
    if (start.empty() || info.empty()) return 1;
    std::printf("orvala-cli --help (process start): best %.3f s, median %.3f s over %d runs\n", start.front(),
                start[start.size() / 2], runs);
    std::printf("orvala-cli info, process start included: best %.3f s, median %.3f s over %d runs\n", info.front(),
                info[info.size() / 2], runs);
    return 0;
}
