#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "analysis/DoPca.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "core/TDataFilter.h"
#include "numerics/TRandom.h"
#include "parallel/TMultiThread.h"

using namespace orvala;

namespace {

// Five parameters: 0..2 correlated, 3 noise, 4 a large offset.
DataRef makeData(int events)
{
    DataRef d(TData::Create("pca", 5, events));
    TRandom r;
    for (int k = 0; k < events; ++k) {
        const double a = r.Normal();
        d->data[k][0] = 100 + 20 * a + r.Normal();
        d->data[k][1] = 50 + 10 * a + 2 * r.Normal();
        d->data[k][2] = 5 * a + 3 * r.Normal();
        d->data[k][3] = 10 + r.Normal();
        d->data[k][4] = 1e4 + 50 * r.Normal();
    }
    return d;
}

}  // namespace

TEST(DoPCA, RefusesRequestsThatCannotRun)
{
    DataRef d = makeData(100);
    DataRef empty(TData::Create("empty", 5, 0));
    struct Case {
        TData* data;
        PcaRequest request;
        const char* message;
    };
    const Case cases[] = {
        {d.get(), {{2}, false, false, 1, 0}, "PCA needs at least two parameters"},
        {d.get(), {{2, 2}, false, false, 1, 0}, "PCA needs at least two parameters"},
        {d.get(), {{0, 1}, true, false, 1, 0}, "PCA in Hyperspherical coordinates needs at least 3 parameters"},
        {empty.get(), {{0, 1}, false, false, 1, 0}, "Void data file"},
    };
    for (const auto& c : cases) {
        RecordingSink sink;
        EXPECT_EQ(DoPCA(*c.data, c.request, sink, nullptr), nullptr) << c.message;
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], c.message);
        EXPECT_EQ(c.data->filter, nullptr);
    }
}

TEST(DoPCA, StoresTheAnalysisInANewFilterOfTheDataSet)
{
    DataRef d = makeData(5000);
    d->Desc()[0].name = "FSC";
    d->Desc()[2].name = "SSC";
    d->Desc()[4].name = "FL1";
    for (int type : {TPca::Correlation, TPca::Covariation, TPca::CrossProducts}) {
        RecordingSink sink;
        const auto pca = DoPCA(*d, {{4, 0, 2}, false, false, type, TPca::QL}, sink, nullptr);
        ASSERT_NE(pca, nullptr);
        ASSERT_NE(d->filter, nullptr);
        const TDataFilter& f = *d->filter;
        EXPECT_EQ(f.Indices(), (TIntVector{0, 2, 4}));
        EXPECT_EQ(f.PCAType, type);
        EXPECT_EQ(f.Mean(), pca->mean);
        EXPECT_EQ(f.Deviation(), pca->StdDev);
        EXPECT_EQ(f.evects(), pca->evects);
        EXPECT_EQ(pca->Count(), 3);
        EXPECT_EQ(pca->Parnames, (TStrVector{"FSC", "SSC", "FL1"}));
        EXPECT_FALSE(f.Hyper || f.Normalized || f.Includer);
    }
    // Covariation: the filtered events are centred, and their variance along
    // each eigenvector is its eigenvalue.
    RecordingSink sink;
    const auto pca = DoPCA(*d, {{0, 1, 2}, false, false, TPca::Covariation, TPca::Jacobi}, sink, nullptr);
    ASSERT_EQ(pca->Count(), 3);
    for (int c = 0; c < 3; ++c) {
        double sum = 0, sum2 = 0;
        for (int k = 0; k < d->events(); ++k) {
            const TVector x = d->FilteredData(k);
            double p = 0;
            for (int i = 0; i < 3; ++i) p += x[size_t(i)] * pca->evects[size_t(c)][size_t(i)];
            sum += p;
            sum2 += p * p;
        }
        EXPECT_NEAR(sum / d->events(), 0, 1e-9);
        EXPECT_NEAR(sum2 / (d->events() - 1), pca->evals[size_t(c)], 1e-6 * pca->evals[0]);
    }
}

TEST(DoPCA, HypersphericalRunAnalysesTheAngles)
{
    DataRef d = makeData(20000);
    TMultiThread pool(2);
    RecordingSink sink;
    const auto pca = DoPCA(*d, {{0, 1, 2, 3}, true, true, TPca::Covariation, TPca::QL}, sink, &pool);
    ASSERT_NE(pca, nullptr);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(pca->Count(), 3);  // four parameters, the radius dropped
    EXPECT_EQ(pca->Parnames, (TStrVector{"PHI0", "PHI1", "PHI2"}));
    EXPECT_TRUE(d->filter->Hyper && d->filter->Normalized && !d->filter->Includer);

    // The same analysis without the pool, and by hand from the filter's angles.
    DataRef again = makeData(20000);
    const auto alone = DoPCA(*again, {{0, 1, 2, 3}, true, true, TPca::Covariation, TPca::QL}, sink, nullptr);
    EXPECT_EQ(alone->cormat, pca->cormat);
    TDataFilter plain;
    plain.setIndices({0, 1, 2, 3});
    plain.Hyper = true;
    plain.Normalized = true;
    double mean0 = 0;
    for (int k = 0; k < d->events(); ++k) mean0 += plain.Pass(d->data[k], 5)[0];
    EXPECT_NEAR(pca->mean[0], mean0 / d->events(), 1e-12);
}

TEST(DoPCA, WorkerPoolGivesTheSameResultAsOneThread)
{
    DataRef d = makeData(100000);
    RecordingSink sink;
    const auto alone = DoPCA(*d, {{0, 1, 2, 3, 4}, false, false, TPca::Correlation, TPca::QL}, sink, nullptr);
    for (int workers : {1, 2, 3}) {
        TMultiThread pool(workers);
        const auto pooled = DoPCA(*d, {{0, 1, 2, 3, 4}, false, false, TPca::Correlation, TPca::QL}, sink, &pool);
        EXPECT_EQ(pooled->cormat, alone->cormat) << workers;
        EXPECT_EQ(pooled->evects, alone->evects) << workers;
    }
}

TEST(DoPCA, FailedDecompositionStillReplacesTheFilter)
{
    DataRef d = makeData(200);
    d->data[10][1] = NAN;
    d->filter = TDataFilter::Create();
    d->filter->setEvects({{1, 0}, {0, 1}});
    RecordingSink sink;
    const auto pca = DoPCA(*d, {{0, 1, 2}, false, false, TPca::Covariation, TPca::QL}, sink, nullptr);
    ASSERT_NE(pca, nullptr);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "No convergence in TLQI.");
    ASSERT_NE(d->filter, nullptr);
    EXPECT_EQ(d->filter->Count(), 0);  // no unusable eigenvectors left behind
    EXPECT_EQ(d->filter->Indices(), (TIntVector{0, 1, 2}));
    EXPECT_EQ(d->filter->PCAType, TPca::Covariation);
}
