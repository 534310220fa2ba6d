#include "TMultiThread.h"

#include <chrono>

namespace orvala {

void ManualEvent::set()
{
    {
        std::lock_guard<std::mutex> g(m_);
        set_ = true;
    }
    cv_.notify_all();
}

void ManualEvent::reset()
{
    std::lock_guard<std::mutex> g(m_);
    set_ = false;
}

void ManualEvent::wait()
{
    std::unique_lock<std::mutex> g(m_);
    cv_.wait(g, [this] { return set_; });
}

bool ManualEvent::waitFor(int milliseconds)
{
    std::unique_lock<std::mutex> g(m_);
    return cv_.wait_for(g, std::chrono::milliseconds(milliseconds), [this] { return set_; });
}

bool ManualEvent::isSet()
{
    std::lock_guard<std::mutex> g(m_);
    return set_;
}

TItemThread::TItemThread(TMultiThread* p, int number) : parent(p), Number(number)
{
    thread = std::thread([this] { loop(); });
}

void TItemThread::loop()
{
    for (;;) {
        Ready.set();
        Event.wait();
        Event.reset();
        if (terminating) return;
        int index = 0, size = 0;
        while (parent->takeChunk(index, size)) {
            try {
                int count = Count.load(std::memory_order_relaxed);
                parent->ProcessItem(Number, index, size, count, parent->aborted_);
                Count.store(count, std::memory_order_relaxed);
            } catch (...) {
                // This worker's part of the run ends; the others take the chunks left.
                parent->workerFailed(std::current_exception());
                break;
            }
        }
    }
}

TMultiThread::TMultiThread(int aNumberOfThreads)
{
    int n = aNumberOfThreads;
    if (n <= 0) n = int(std::thread::hardware_concurrency());
    if (n <= 0) n = 1;
    for (int i = 0; i < n; ++i) Threads.push_back(std::make_unique<TItemThread>(this, i));
    waitAllReady();
}

TMultiThread::~TMultiThread()
{
    Stop();
    for (auto& t : Threads) {
        t->terminating = true;
        t->Event.set();
    }
    for (auto& t : Threads) t->thread.join();
}

bool TMultiThread::takeChunk(int& index, int& size)
{
    std::function<void()> completion;
    {
        std::lock_guard<std::mutex> g(Lock);
        if (CurrentChunk < int(indices_.size()) && !aborted_) {
            index = indices_[size_t(CurrentChunk)];
            size = sizes_[size_t(CurrentChunk)];
            ++CurrentChunk;
            return true;
        }
        if (RunningThreads > 0) --RunningThreads;
        if (RunningThreads == 0 && !RunAndWaitMode && OnTerminate) {
            const bool success = !aborted_ && !firstError_;
            TOnTerminate done = OnTerminate;
            completion = [done, success] { done(success); };
        }
    }
    if (completion) {
        if (PostToUi)
            PostToUi(std::move(completion));
        else
            completion();
    }
    return false;
}

void TMultiThread::workerFailed(std::exception_ptr error)
{
    std::lock_guard<std::mutex> g(Lock);
    if (!firstError_) firstError_ = error;
}

void TMultiThread::waitAllReady()
{
    for (auto& t : Threads) t->Ready.wait();
}

void TMultiThread::Stop()
{
    aborted_ = true;
    waitAllReady();
}

void TMultiThread::Run(int Count, TOnTerminate OnTerminateProc, int ChunkSize)
{
    if (!ProcessItem) return;
    Stop();
    OnTerminate = std::move(OnTerminateProc);
    Total = Count < 0 ? 0 : Count;
    const int n = NumberOfThreads();
    indices_.clear();
    sizes_.clear();
    if (ChunkSize > 0) {
        for (int start = 0; start < Total; start += ChunkSize) {
            indices_.push_back(start);
            sizes_.push_back(std::min(ChunkSize, Total - start));
        }
    } else {
        const int a = Total / n, r = Total % n;
        int start = 0;
        for (int i = 0; i < n; ++i) {
            const int size = a + (i < r ? 1 : 0);
            indices_.push_back(start);
            sizes_.push_back(size);
            start += size;
        }
    }
    {
        std::lock_guard<std::mutex> g(Lock);
        CurrentChunk = 0;
        RunningThreads = n;
        firstError_ = nullptr;
    }
    aborted_ = false;
    for (auto& t : Threads) {
        t->Count = 0;
        t->Ready.reset();
        t->Event.set();
    }
}

void TMultiThread::reportProgress()
{
    if (!OnProgress || Total <= 0) return;
    long long sum = 0;
    for (auto& t : Threads) sum += t->Count.load(std::memory_order_relaxed);
    try {
        OnProgress(int((sum * 100 + Total / 2) / Total));
    } catch (...) {
        // A failing progress display must not stop the work.
    }
}

void TMultiThread::RunAndWait(int Count, TOnTerminate OnTerminateProc, int ChunkSize)
{
    if (!ProcessItem) return;
    RunAndWaitMode = true;
    Run(Count, OnTerminateProc, ChunkSize);
    for (auto& t : Threads)
        while (!t->Ready.waitFor(500)) reportProgress();
    std::exception_ptr error;
    {
        std::lock_guard<std::mutex> g(Lock);
        error = firstError_;
    }
    RunAndWaitMode = false;
    if (OnTerminate) OnTerminate(!error);
    if (error) std::rethrow_exception(error);
}

void TMultiThread::Process(TOnProcessItem aProcessItem, TOnTerminate OnTerminateProc, int Count, int ChunkSize)
{
    Stop();
    ProcessItem = std::move(aProcessItem);
    RunAndWait(Count, std::move(OnTerminateProc), ChunkSize);
}

void TCustomMulti::install()
{
    MT->Stop();
    MT->ProcessItem = [this](int t, int i, int s, int& c, std::atomic<bool>& a) { ProcessItem(t, i, s, c, a); };
}

void TCustomMulti::Run(int Count, int ChunkSize)
{
    install();
    MT->Run(Count, OnTerminate, ChunkSize);
}

void TCustomMulti::RunAndWait(int Count, int ChunkSize)
{
    install();
    MT->RunAndWait(Count, OnTerminate, ChunkSize);
}

}  // namespace orvala
