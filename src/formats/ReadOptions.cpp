#include "ReadOptions.h"

#include <mutex>

namespace orvala {

namespace {
std::mutex lock;
ReadOptions current;
}  // namespace

ReadOptions readOptions()
{
    std::lock_guard<std::mutex> guard(lock);
    return current;
}

void setReadOptions(const ReadOptions& options)
{
    std::lock_guard<std::mutex> guard(lock);
    current = options;
}

}  // namespace orvala
