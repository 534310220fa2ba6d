#include "TDataFilter.h"

#include <algorithm>
#include <cassert>

#include "TData.h"
#include "numerics/Hyperspherical.h"
#include "numerics/VectorOps.h"

namespace orvala {

std::unique_ptr<TDataFilter> TDataFilter::Create() { return std::make_unique<TDataFilter>(); }

std::unique_ptr<TDataFilter> TDataFilter::fCopy() const
{
    auto copy = std::make_unique<TDataFilter>(*this);
    copy->FOutput.assign(FIndices.size(), 0.0);
    return copy;
}

void TDataFilter::setIndices(const TIntVector& indices)
{
    FIndices = indices;
    FOutput.assign(FIndices.size(), 0.0);
}

int TDataFilter::WorkLength(int eventLength) const
{
    return FIndices.empty() ? std::max(eventLength, 0) : int(FIndices.size());
}

int TDataFilter::OutputLength(int eventLength) const
{
    const int a = WorkLength(eventLength);
    return (Hyper && !Includer && a > 0) ? a - 1 : a;
}

int TDataFilter::OutputLength() const
{
    const int a = int(FIndices.size());
    return (Hyper && !Includer && a > 0) ? a - 1 : a;
}

int TDataFilter::Pass(const double* row, int length, double* out) const
{
    int a = WorkLength(length);
    if (FIndices.empty()) {
        std::copy(row, row + a, out);
    } else {
        for (int i = 0; i < a; ++i) {
            const int index = FIndices[size_t(i)];
            out[i] = (index >= 0 && index < length) ? row[index] : 0.0;
        }
    }
    if (Normalized) Normalize(out, a);
    if (Hyper) {
        HyperSpherical(out, a);
        if (!Includer && a > 0) {
            std::copy(out + 1, out + a, out);
            --a;
        }
    }
    if (PCAType == 0) {
        const int nm = std::min(a, int(FMean.size()));
        const int nd = std::min(a, int(FDeviation.size()));
        for (int i = 0; i < nm; ++i) out[i] -= FMean[size_t(i)];
        for (int i = 0; i < nd; ++i) out[i] /= FDeviation[size_t(i)];
    } else if (PCAType == 1) {
        const int nm = std::min(a, int(FMean.size()));
        for (int i = 0; i < nm; ++i) out[i] -= FMean[size_t(i)];
    }
    return a;
}

TVector TDataFilter::Pass(const double* row, int length)
{
    const size_t work = size_t(WorkLength(length));
    if (FOutput.size() < work) FOutput.resize(work);
    const int n = Pass(row, length, FOutput.data());
    return TVector(FOutput.begin(), FOutput.begin() + n);
}

TVector TData::FilteredData(int k) const
{
    assert(k >= 0 && k < data.rows());
    const double* row = data[k];
    if (!filter) return TVector(row, row + data.cols());
    return filter->Pass(row, data.cols());
}

}  // namespace orvala
