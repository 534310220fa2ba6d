#include "DoPca.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <string>

#include "core/Messages.h"
#include "core/TData.h"
#include "core/TDataFilter.h"
#include "plot/TMultiThread.h"

namespace orvala {

namespace {

// Every event through the filter into one row each. Uses the filter's
// buffer-free Pass, so the workers can share it.
DataMatrix filterAll(const TData& data, const TDataFilter& filter, TMultiThread* pool)
{
    const int rows = data.data.rows(), cols = data.data.cols();
    const int outLength = filter.OutputLength(cols);
    const int work = filter.WorkLength(cols);
    DataMatrix out(rows, outLength);
    auto passRange = [&](int first, int count) {
        TVector buffer(size_t(std::max(work, 1)));
        for (int r = first; r < first + count; ++r) {
            filter.Pass(data.data[r], cols, buffer.data());
            std::copy(buffer.begin(), buffer.begin() + outLength, out[r]);
        }
    };
    if (pool && rows > 4096) {
        pool->Process([&](int, int index, int size, int& count, std::atomic<bool>&) {
            passRange(index, size);
            count += size;
        }, {}, rows, 0);
    } else {
        passRange(0, rows);
    }
    return out;
}

}  // namespace

std::unique_ptr<TPca> DoPCA(TData& data, const PcaRequest& request, MessageSink& sink, TMultiThread* pool)
{
    TIntVector params = request.params;
    std::sort(params.begin(), params.end());
    params.erase(std::unique(params.begin(), params.end()), params.end());
    assert(params.empty() || (params.front() >= 0 && params.back() < data.data.cols()));
    if (params.size() < 2) {
        sink.message("PCA needs at least two parameters");
        return nullptr;
    }
    if (request.hyper && params.size() < 3) {
        sink.message("PCA in Hyperspherical coordinates needs at least 3 parameters");
        return nullptr;
    }
    if (data.events() == 0 || data.data.rows() == 0) {
        sink.message("Void data file");
        return nullptr;
    }

    auto filter = TDataFilter::Create();
    filter->PCAType = -1;
    filter->Hyper = request.hyper;
    filter->Normalized = request.normalize;
    filter->Includer = false;
    filter->setIndices(params);

    std::unique_ptr<TPca> pca;
    if (!filter->Hyper && !filter->Normalized) {
        // The filter only selects columns: analyse them where they are rather
        // than copying the whole selection first.
        const MatrixView view{data.data.data(), data.data.rows(), data.data.cols(), int(params.size()), params.data()};
        pca = TPca::Create(view, request.matrixType, request.algorithm, sink, pool);
    } else {
        const DataMatrix filtered = filterAll(data, *filter, pool);
        pca = TPca::Create(filtered, request.matrixType, request.algorithm, sink, pool);
    }

    filter->setMean(pca->mean);
    filter->setDeviation(pca->StdDev);
    filter->setEvects(pca->evects);
    filter->PCAType = request.matrixType;
    data.filter = std::move(filter);

    pca->Parnames.clear();
    if (request.hyper) {
        for (int j = 0; j < data.filter->OutputLength(); ++j) pca->Parnames.push_back("PHI" + std::to_string(j));
    } else {
        for (int index : params) pca->Parnames.push_back(data.Desc()[size_t(index)].name);
    }
    return pca;
}

}  // namespace orvala
