// Writes a 2,000,000-event x 32-parameter float FCS file and times
// `orvala-cli info` on it as a user would run it: process start, reading,
// ranges and printing; the same held to one core (taskset -c 0, when there is
// one), and the process start alone (--help) for comparison. CPU time is that of
// the children (the shell that starts the program included).
// Usage: bench_cli_info [events] [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
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

    struct Runs {
        std::vector<double> wall, cpu;  // seconds of each run, each sorted; empty when a run failed
    };
    auto childCpu = [] {
        rusage u{};
        getrusage(RUSAGE_CHILDREN, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    auto timeRuns = [&](const std::string& cmd) {
        Runs r;
        for (int k = 0; k < runs; ++k) {
            const double c0 = childCpu();
            const auto t0 = std::chrono::steady_clock::now();
            const int status = std::system(cmd.c_str());
            const auto t1 = std::chrono::steady_clock::now();
            if (status != 0) {
                std::fprintf(stderr, "%s failed (status %d)\n", cmd.c_str(), status);
                return Runs();
            }
            r.wall.push_back(std::chrono::duration<double>(t1 - t0).count());
            r.cpu.push_back(childCpu() - c0);
        }
        std::sort(r.wall.begin(), r.wall.end());
        std::sort(r.cpu.begin(), r.cpu.end());
        return r;
    };
    const std::string cli = std::string("'") + ORVALA_CLI + "'";
    // Process start alone: loading the executable and its libraries, parsing no file.
    const Runs start = timeRuns(cli + " --help >/dev/null");
    const Runs info = timeRuns(cli + " info '" + file + "' >/dev/null");
    const bool oneCore = std::system("taskset -c 0 true >/dev/null 2>&1") == 0;
    const Runs single = oneCore ? timeRuns("taskset -c 0 " + cli + " info '" + file + "' >/dev/null") : Runs();
    fs::remove_all(dir);
    if (start.wall.empty() || info.wall.empty()) return 1;
    auto print = [runs](const char* what, const Runs& r) {
        std::printf("%s: best %.3f s, median %.3f s over %d runs (CPU median %.3f s)\n", what, r.wall.front(),
                    r.wall[r.wall.size() / 2], runs, r.cpu[r.cpu.size() / 2]);
    };
    print("orvala-cli --help (process start)", start);
    print("orvala-cli info, process start included", info);
    if (!single.wall.empty()) print("orvala-cli info on one core (taskset -c 0)", single);
    return 0;
}
