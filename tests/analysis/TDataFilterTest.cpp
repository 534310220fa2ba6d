#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/TData.h"
#include "core/TDataFilter.h"

using namespace orvala;

TEST(TDataFilter, NewFilterHasNoCentringAndNothingSet)
{
    const auto f = TDataFilter::Create();
    EXPECT_EQ(f->PCAType, -1);
    EXPECT_FALSE(f->Normalized || f->Hyper || f->Includer);
    EXPECT_TRUE(f->Indices().empty() && f->Mean().empty() && f->Deviation().empty() && f->FOutput.empty());
    EXPECT_EQ(f->Count(), 0);
    EXPECT_EQ(f->OutputLength(), 0);
}

TEST(TDataFilter, PropertiesCopyAndSizeTheBuffer)
{
    TDataFilter f;
    TIntVector indices{4, 0, 2};
    f.setIndices(indices);
    indices[0] = 99;
    EXPECT_EQ(f.Indices(), (TIntVector{4, 0, 2}));
    EXPECT_EQ(f.FOutput.size(), 3u);
    f.setEvects({{1, 0, 0}, {0, 1, 0}});
    EXPECT_EQ(f.Count(), 2);

    struct Case {
        bool hyper, includer;
        int expected;
    };
    for (const Case c : {Case{false, false, 3}, Case{false, true, 3}, Case{true, false, 2}, Case{true, true, 3}}) {
        f.Hyper = c.hyper;
        f.Includer = c.includer;
        EXPECT_EQ(f.OutputLength(), c.expected) << c.hyper << c.includer;
    }
}

TEST(TDataFilter, PassSelectsNormalisesAndCentres)
{
    const TVector event{3, 100, 4, 7};
    struct Case {
        const char* what;
        TIntVector indices;
        bool normalized;
        int pcaType;
        TVector expected;
    };
    const Case cases[] = {
        {"all parameters", {}, false, -1, {3, 100, 4, 7}},
        {"selection in order", {2, 0}, false, -1, {4, 3}},
        {"normalised", {0, 2}, false, -1, {3, 4}},
        {"normalised", {0, 2}, true, -1, {0.6, 0.8}},
        {"centred and scaled", {0, 2}, false, 0, {(3 - 1) / 2.0, (4 - 2) / 4.0}},
        {"centred", {0, 2}, false, 1, {3 - 1, 4 - 2}},
        {"cross-products: unchanged", {0, 2}, false, 2, {3, 4}},
    };
    for (const auto& c : cases) {
        TDataFilter f;
        f.setIndices(c.indices);
        f.Normalized = c.normalized;
        f.PCAType = c.pcaType;
        f.setMean({1, 2});
        f.setDeviation({2, 4});
        const TVector out = f.Pass(event);
        ASSERT_EQ(out.size(), c.expected.size()) << c.what;
        for (size_t i = 0; i < out.size(); ++i) EXPECT_DOUBLE_EQ(out[i], c.expected[i]) << c.what;
    }
}

TEST(TDataFilter, NormalisingAZeroEventLeavesItZero)
{
    TDataFilter f;
    f.Normalized = true;
    EXPECT_EQ(f.Pass(TVector{0, 0, 0}), (TVector{0, 0, 0}));
}

TEST(TDataFilter, HyperDropsTheRadiusUnlessIncluderKeepsIt)
{
    const TVector event{9, 1, 2, 2};
    TDataFilter f;
    f.setIndices({1, 2, 3});
    f.Hyper = true;
    const TVector angles = f.Pass(event);
    ASSERT_EQ(angles.size(), 2u);
    EXPECT_EQ(f.OutputLength(), 2);
    EXPECT_DOUBLE_EQ(angles[0], std::atan2(std::sqrt(8.0), 1.0));
    EXPECT_DOUBLE_EQ(angles[1], std::numbers::pi / 4);

    f.Includer = true;
    const TVector all = f.Pass(event);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_DOUBLE_EQ(all[0], 3);
    EXPECT_DOUBLE_EQ(all[1], angles[0]);

    // Centring applies to the output elements, i.e. to the angles.
    f.Includer = false;
    f.PCAType = 1;
    f.setMean({1, 0.5});
    const TVector centred = f.Pass(event);
    EXPECT_DOUBLE_EQ(centred[0], angles[0] - 1);
    EXPECT_DOUBLE_EQ(centred[1], angles[1] - 0.5);
}

TEST(TDataFilter, BufferFreePassMatchesAndIndicesBeyondTheEventReadZero)
{
    TDataFilter f;
    f.setIndices({0, 5, 1});
    f.Normalized = true;
    const double row[] = {3, 4};
    double out[3];
    const int n = f.Pass(row, 2, out);
    ASSERT_EQ(n, 3);
    EXPECT_DOUBLE_EQ(out[0], 0.6);
    EXPECT_DOUBLE_EQ(out[1], 0);
    EXPECT_DOUBLE_EQ(out[2], 0.8);
    EXPECT_EQ(f.Pass(row, 2), (TVector{out[0], out[1], out[2]}));
}

TEST(TDataFilter, CopyIsIndependent)
{
    TDataFilter f;
    f.setIndices({1, 2});
    f.Hyper = true;
    f.Includer = true;
    f.Normalized = true;
    f.PCAType = 0;
    f.setMean({1, 2});
    f.setDeviation({3, 4});
    f.setEvects({{0.6, 0.8}, {0.8, -0.6}});
    f.FOutput = {42, 42, 42, 42};  // a buffer left longer by an earlier pass

    const auto copy = f.fCopy();
    EXPECT_EQ(copy->Indices(), f.Indices());
    EXPECT_EQ(copy->Mean(), f.Mean());
    EXPECT_EQ(copy->Deviation(), f.Deviation());
    EXPECT_EQ(copy->evects(), f.evects());
    EXPECT_TRUE(copy->Hyper && copy->Includer && copy->Normalized);
    EXPECT_EQ(copy->PCAType, 0);
    EXPECT_EQ(copy->FOutput, (TVector{0, 0}));

    f.FMean[0] = -7;
    f.Fevects[0][0] = -7;
    EXPECT_EQ(copy->Mean()[0], 1);
    EXPECT_EQ(copy->evects()[0][0], 0.6);
}

TEST(TDataFilter, FilteredDataUsesTheDataSetsOwnFilter)
{
    TData* d = TData::Create("filtered", 3, 2);
    DataRef hold(d);
    d->data[1][0] = 5;
    d->data[1][1] = 6;
    d->data[1][2] = 7;
    EXPECT_EQ(d->FilteredData(1), (TVector{5, 6, 7}));  // no filter: the event itself

    d->filter = TDataFilter::Create();
    d->filter->setIndices({2, 0});
    d->filter->PCAType = 1;
    d->filter->setMean({1, 1});
    EXPECT_EQ(d->FilteredData(1), (TVector{6, 4}));
    EXPECT_EQ(d->FilteredData(0), (TVector{-1, -1}));
}
