#include "DataCalculator.h"

#include <algorithm>
#include <memory>

#include "Averages.h"
#include "RowPasses.h"
#include "core/Messages.h"
#include "core/Records.h"
#include "core/Stream.h"
#include "core/TData.h"
#include "core/TGate.h"

namespace orvala {

CalcOperator CalcOperatorOf(const std::string& text)
{
    if (text == "-") return CalcOperator::Subtract;
    if (text == "+") return CalcOperator::Add;
    throw OrvalaError("Unknown operator \"" + text + "\": use \"-\" or \"+\"");
}

TData* DataCalculate(TData& a, TData& b, CalcOperator op, const std::string& name, TMultiThread* pool)
{
    if (b.events() <= 0)
        throw OrvalaError(b.ShortName() + " has no events: there is no mean spectrum to " +
                          (op == CalcOperator::Subtract ? "subtract" : "add"));
    // The record round trip makes the copy independent of a: its own
    // descriptors, colours and no parent.
    MemoryStream stream;
    SaveDataToStream(stream, a);
    stream.seek(0);
    std::unique_ptr<TData> copy(LoadDataFromStream(stream));
    if (!copy) throw OrvalaError("Cannot copy " + a.ShortName() + " for the data calculator");
    copy->gate.reset();  // a top-level data set has no gate of its own

    const TVector m = Average(b, 0, 0, pool);
    const int p = copy->CaseSize();
    const int common = std::min(p, b.CaseSize());
    const double sign = op == CalcOperator::Subtract ? -1.0 : 1.0;
    double* values = copy->data.data();
    ForRows(pool, copy->events(), size_t(p), [&](int from, int to) {
        for (int e = from; e < to; ++e) {
            double* r = values + size_t(e) * size_t(p);
            for (int j = 0; j < common; ++j) r[j] += sign * m[size_t(j)];
        }
    });
    copy->setShortName(name);
    return copy.release();
}

}  // namespace orvala
