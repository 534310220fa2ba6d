#include "ReaderPool.h"

#include <memory>

#include "parallel/TMultiThread.h"

namespace orvala {

namespace {
TMultiThread* installed = nullptr;
}

TMultiThread* readerPool()
{
    if (installed) return installed;
    static const std::unique_ptr<TMultiThread> own = std::make_unique<TMultiThread>(0);
    return own.get();
}

TMultiThread* setReaderPool(TMultiThread* pool)
{
    TMultiThread* previous = installed;
    installed = pool;
    return previous;
}

}  // namespace orvala
