#include "DoPca.h"

#include <algorithm>
#include <cassert>
#include <string>

#include "core/Messages.h"
#include "core/TData.h"
#include "core/TDataFilter.h"

namespace orvala {

std::unique_ptr<TPca> DoPCA(TData& data, const PcaRequest& request, MessageSink& sink, TMultiThread* pool)
{
    TIntVector params = request.params;
    std::sort(params.begin(), params.end());
    params.erase(std::unique(params.begin(), params.end()), params.end());
    // The panel lists only the data set's own parameters; never read past a row.
    const int cols = data.data.cols();
    assert(params.empty() || (params.front() >= 0 && params.back() < cols));
    std::erase_if(params, [cols](int index) { return index < 0 || index >= cols; });
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

    // Every event goes through the filter as the products are summed, so the
    // filtered matrix is never stored. Only Pass's buffer-free form is used:
    // the workers share the filter.
    MatrixView view = MatrixView::Whole(data.data.data(), data.data.rows(), data.data.cols());
    view.cols = filter->OutputLength(data.data.cols());
    if (filter->Hyper || filter->Normalized) {
        const TDataFilter* f = filter.get();
        const int length = data.data.cols();
        view.convert = [f, length](const double* row, double* out) { f->Pass(row, length, out); };
        view.convertRoom = filter->WorkLength(length);
    } else if (int(params.size()) != cols) {
        view.columns = filter->Indices().data();  // pure selection: read the columns where they are
    }  // else every parameter in order: the rows as they are
    std::unique_ptr<TPca> pca = TPca::Create(view, request.matrixType, request.algorithm, sink, pool);

    filter->setMean(pca->mean);
    filter->setDeviation(pca->StdDev);
    filter->setEvects(pca->evects);
    filter->PCAType = request.matrixType;
    data.filter = std::move(filter);

    pca->Parnames.clear();
    if (request.hyper) {
        for (int j = 0; j < data.filter->OutputLength(); ++j) pca->Parnames.push_back("PHI" + std::to_string(j));
    } else {
        const TDescriptorVector& desc = data.Desc();
        for (int index : params) pca->Parnames.push_back(size_t(index) < desc.size() ? desc[size_t(index)].name : std::string());
    }
    return pca;
}

}  // namespace orvala
