#include "ReaderPool.h"

#include <atomic>
#include <memory>

#include "parallel/TMultiThread.h"

namespace orvala {

namespace {
std::atomic<TMultiThread*> installed{nullptr};
}

TMultiThread* readerPool()
{
    if (TMultiThread* pool = installed.load()) return pool;
    thread_local const std::unique_ptr<TMultiThread> own = std::make_unique<TMultiThread>(0);
    return own.get();
}

TMultiThread* setReaderPool(TMultiThread* pool)
{
    return installed.exchange(pool);
}

}  // namespace orvala
