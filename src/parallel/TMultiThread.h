#pragma once
// The program's one pool of worker threads. A job is split into contiguous
// chunks that share no writable state; workers take chunks in turn until none
// is left. Callers block in RunAndWait, which is how every job runs.
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "numerics/Matrices.h"

namespace orvala {

// Processes Size items from Index; may add to Count for progress and must
// return soon after Aborted becomes true.
using TOnProcessItem = std::function<void(int ThreadNum, int Index, int Size, int& Count, std::atomic<bool>& Aborted)>;
using TOnTerminate = std::function<void(bool Success)>;
using TOnProgress = std::function<void(int Percent)>;

class TMultiThread;

// A manual-reset event.
class ManualEvent {
public:
    void set();
    void reset();
    void wait();
    // False when the time ran out.
    bool waitFor(int milliseconds);
    bool isSet();

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool set_ = false;
};

class TItemThread {
public:
    TItemThread(TMultiThread* parent, int number);
    TMultiThread* parent;
    int Number;
    ManualEvent Ready;  // set while idle
    ManualEvent Event;  // starts a batch
    std::atomic<int> Count{0};
    bool terminating = false;
    std::thread thread;

private:
    void loop();
};

class TMultiThread {
public:
    // 0 threads means one per logical processor.
    explicit TMultiThread(int aNumberOfThreads = 0);
    ~TMultiThread();
    TMultiThread(const TMultiThread&) = delete;
    TMultiThread& operator=(const TMultiThread&) = delete;

    // Starts a run of Count items and returns at once; OnTerminateProc is called
    // through PostToUi when the last worker finds the queue empty.
    void Run(int Count, TOnTerminate OnTerminateProc, int ChunkSize);
    // Runs and returns when every worker is idle again, after calling
    // OnTerminateProc on this thread. If a work function raised, the rest of
    // the run still completes, the closure gets Success = false and the first
    // exception is rethrown here: a lost chunk must not pass for a result.
    void RunAndWait(int Count, TOnTerminate OnTerminateProc, int ChunkSize);
    void Process(TOnProcessItem aProcessItem, TOnTerminate OnTerminateProc, int Count, int ChunkSize);
    // Sets Aborted and waits until every worker is idle; returns at once when idle.
    void Stop();

    int NumberOfThreads() const { return int(Threads.size()); }
    // Chunk layout of the last run: first item and item count of each chunk.
    const TIntVector& Indices() const { return indices_; }
    const TIntVector& Sizes() const { return sizes_; }
    bool Aborted() const { return aborted_; }

    TOnProcessItem ProcessItem;
    TOnProgress OnProgress;  // every 500 ms of RunAndWait, on the waiting thread
    // How a completion of the asynchronous Run reaches the user-interface thread.
    // Unset: called on the worker that finished last.
    std::function<void(std::function<void()>)> PostToUi;

private:
    friend class TItemThread;
    // Next chunk under the lock; false when none is left.
    bool takeChunk(int& index, int& size);
    void workerFailed(std::exception_ptr error);
    void waitAllReady();
    void reportProgress();

    std::vector<std::unique_ptr<TItemThread>> Threads;
    std::mutex Lock;
    TIntVector indices_, sizes_;
    int CurrentChunk = 0;
    int RunningThreads = 0;
    int Total = 0;
    bool RunAndWaitMode = false;
    std::atomic<bool> aborted_{false};
    TOnTerminate OnTerminate;
    std::exception_ptr firstError_;
};

// Base of a job that runs on the pool: installs its own work function and completion.
class TCustomMulti {
public:
    explicit TCustomMulti(TMultiThread* multiThread) : MT(multiThread) {}
    virtual ~TCustomMulti() = default;
    virtual void ProcessItem(int ThreadNum, int Index, int Size, int& Count, std::atomic<bool>& Aborted) = 0;
    void Run(int Count, int ChunkSize);
    void RunAndWait(int Count, int ChunkSize);
    void Stop() { MT->Stop(); }

    std::mutex criticalsection;
    TMultiThread* MT;  // not owned
    TOnTerminate OnTerminate;

private:
    void install();
};

}  // namespace orvala
