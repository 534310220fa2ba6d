#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <stdexcept>

#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {
struct Call {
    int index, size;
};
}  // namespace

TEST(TMultiThread, ChunkLayouts)
{
    struct Case {
        int threads, count, chunk;
        std::vector<std::pair<int, int>> chunks;
    };
    const Case cases[] = {
        {4, 3, 0, {{0, 1}, {1, 1}, {2, 1}, {3, 0}}},
        {2, 10, 4, {{0, 4}, {4, 4}, {8, 2}}},
        {2, 8, 4, {{0, 4}, {4, 4}}},
        {3, 10, 0, {{0, 4}, {4, 3}, {7, 3}}},
        {2, 0, 0, {{0, 0}, {0, 0}}},
        {2, 0, 5, {}},
    };
    for (const auto& c : cases) {
        TMultiThread pool(c.threads);
        std::mutex m;
        std::vector<Call> calls;
        pool.ProcessItem = [&](int, int index, int size, int&, std::atomic<bool>&) {
            std::lock_guard<std::mutex> g(m);
            calls.push_back({index, size});
        };
        bool completed = false;
        pool.RunAndWait(c.count, [&](bool ok) { completed = ok; }, c.chunk);
        EXPECT_TRUE(completed);
        std::sort(calls.begin(), calls.end(), [](const Call& a, const Call& b) {
            return a.index != b.index ? a.index < b.index : a.size > b.size;
        });
        ASSERT_EQ(calls.size(), c.chunks.size()) << c.count << "/" << c.chunk;
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].index, c.chunks[i].first);
            EXPECT_EQ(calls[i].size, c.chunks[i].second);
        }
        ASSERT_EQ(pool.Indices().size(), c.chunks.size());
    }
}

TEST(TMultiThread, ParallelSumEqualsSequential)
{
    TMultiThread pool(0);
    std::vector<double> v(1'000'003);
    std::iota(v.begin(), v.end(), 1.0);
    std::vector<double> partial(size_t(pool.NumberOfThreads()), 0.0);
    pool.Process(
        [&](int t, int index, int size, int& count, std::atomic<bool>&) {
            for (int i = index; i < index + size; ++i) partial[size_t(t)] += v[size_t(i)];
            count += size;
        },
        nullptr, int(v.size()), 1000);
    const double sum = std::accumulate(partial.begin(), partial.end(), 0.0);
    EXPECT_DOUBLE_EQ(sum, double(v.size()) * double(v.size() + 1) / 2);
}

TEST(TMultiThread, StopWhileIdleReturnsAndPoolIsReusable)
{
    TMultiThread pool(2);
    pool.Stop();
    pool.Stop();
    std::atomic<int> items{0};
    pool.ProcessItem = [&](int, int, int size, int&, std::atomic<bool>&) { items += size; };
    for (int run = 0; run < 50; ++run) pool.RunAndWait(100, nullptr, 7);
    EXPECT_EQ(items.load(), 5000);
}

TEST(TMultiThread, FailedChunkIsReportedNotPassedAsSuccess)
{
    TMultiThread pool(2);
    std::atomic<int> processed{0};
    pool.ProcessItem = [&](int, int index, int size, int&, std::atomic<bool>&) {
        if (index == 30) throw std::runtime_error("bad chunk");
        processed += size;
    };
    bool success = true;
    EXPECT_THROW(pool.RunAndWait(100, [&](bool ok) { success = ok; }, 10), std::runtime_error);
    EXPECT_FALSE(success);
    // The other workers took the chunks left: only the failing chunk is missing
    // (plus at most the rest of nothing, since every chunk is its own call).
    EXPECT_EQ(processed.load(), 90);
    // The pool recovers for the next job.
    processed = 0;
    pool.ProcessItem = [&](int, int, int size, int&, std::atomic<bool>&) { processed += size; };
    pool.RunAndWait(100, nullptr, 10);
    EXPECT_EQ(processed.load(), 100);
}

TEST(TMultiThread, AsyncRunCompletesThroughPostToUi)
{
    TMultiThread pool(2);
    std::mutex m;
    std::condition_variable cv;
    int completions = 0;
    bool result = false;
    pool.PostToUi = [&](std::function<void()> f) { f(); };
    pool.ProcessItem = [&](int, int, int, int&, std::atomic<bool>&) {};
    pool.Run(
        20,
        [&](bool ok) {
            std::lock_guard<std::mutex> g(m);
            ++completions;
            result = ok;
            cv.notify_all();
        },
        3);
    {
        std::unique_lock<std::mutex> g(m);
        cv.wait(g, [&] { return completions > 0; });
    }
    pool.Stop();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(result);
}

TEST(TMultiThread, StopAbortsALongRun)
{
    TMultiThread pool(2);
    std::atomic<int> started{0};
    pool.ProcessItem = [&](int, int, int, int&, std::atomic<bool>& aborted) {
        ++started;
        while (!aborted) std::this_thread::yield();
    };
    pool.Run(1000, nullptr, 1);
    while (started < 1) std::this_thread::yield();
    pool.Stop();
    EXPECT_LE(started.load(), 2);
    EXPECT_TRUE(pool.Aborted());
}

TEST(TMultiThread, ProgressIsReportedWhileWaiting)
{
    TMultiThread pool(2);
    std::vector<int> reports;
    pool.OnProgress = [&](int p) { reports.push_back(p); };
    pool.ProcessItem = [&](int, int, int size, int& count, std::atomic<bool>&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        count += size;
    };
    pool.RunAndWait(8, nullptr, 1);
    ASSERT_FALSE(reports.empty());
    for (int p : reports) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
    }
}
