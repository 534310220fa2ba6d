// The standard's compliance cases: every gate of every document, evaluated on
// data1.fcs, must give its truth file event by event.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "GmlTestSupport.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlEvaluator.h"
#include "gatingml/GmlFcs.h"
#include "parallel/TMultiThread.h"

namespace orvala {
namespace {

namespace fs = std::filesystem;

using gmltest::complianceDir;
using gmltest::truthOf;

TEST(GatingMlCompliance, EveryGateMatchesItsTruthFileOnData1)
{
    const fs::path dir = complianceDir();
    if (!fs::exists(dir / "index.tsv")) GTEST_SKIP() << "the shared compliance cases are not at " << dir;
    TMultiThread pool(2);
    const GmlFcsData data = ReadFcsScaleValues((dir / "data1.fcs").string(), &pool);
    ASSERT_EQ(data.values.rows(), 13367);
    const GmlEvents events = data.Events();

    std::map<std::string, GmlMembership> results;
    int checked = 0;
    for (const auto& [file, gate, truthFile] : gmltest::complianceCases()) {
        SCOPED_TRACE(file + " / " + gate);
        if (!results.count(file)) {
            const GmlDocument doc = ReadGatingMlFile((dir / "gml" / file).string());
            results.emplace(file, EvaluateGatingMl(doc, events, &pool));
        }
        const GmlMembership& m = results.at(file);
        const int g = m.IndexOf(gate);
        ASSERT_GE(g, 0) << "gate missing from the document";
        const std::vector<char> truth = truthOf(dir / "truth" / truthFile);
        ASSERT_EQ(int64_t(truth.size()), m.EventCount());
        int64_t wrong = 0, firstWrong = -1;
        for (int64_t e = 0; e < m.EventCount(); ++e)
            if (m.Contains(g, e) != bool(truth[size_t(e)])) {
                if (firstWrong < 0) firstWrong = e;
                ++wrong;
            }
        EXPECT_EQ(wrong, 0) << "first differing event " << firstWrong << ", " << m.Count(g) << " events in the gate";
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// Evaluating on the worker pool and on the calling thread gives the same bitmaps.
TEST(GatingMlCompliance, PoolAndSequentialAgree)
{
    const fs::path dir = complianceDir();
    if (!fs::exists(dir / "index.tsv")) GTEST_SKIP() << "the shared compliance cases are not at " << dir;
    const GmlFcsData data = ReadFcsScaleValues((dir / "data1.fcs").string());
    TMultiThread pool(3);
    for (const char* file : {"gml_boolean_or2_gate.xml", "gml_transform_logicle_range5_gate.xml", "gml_ellipsoid3d_gate.xml"}) {
        const GmlDocument doc = ReadGatingMlFile((dir / "gml" / file).string());
        const GmlMembership a = EvaluateGatingMl(doc, data.Events(), nullptr);
        const GmlMembership b = EvaluateGatingMl(doc, data.Events(), &pool);
        for (int g = 0; g < a.GateCount(); ++g) EXPECT_EQ(a.Bits(g), b.Bits(g)) << file << " " << a.Ids()[size_t(g)];
    }
}

}  // namespace
}  // namespace orvala

#include "transforms/DisplayTransform.h"

namespace orvala {
namespace {

// The compliance range gates on logicle and flog axes, drawn as display
// transforms: a range [min, max) in the display's coordinates of FL1-H selects
// the truth file's events.
TEST(GatingMlCompliance, DisplayTransformsSelectTheRangeGatesOfTheirGatingMlEquals)
{
    const fs::path dir = complianceDir();
    if (!fs::exists(dir / "index.tsv")) GTEST_SKIP() << "the shared compliance cases are not at " << dir;
    const GmlFcsData data = ReadFcsScaleValues((dir / "data1.fcs").string());
    size_t fl1 = 0;
    while (fl1 < data.names.size() && data.names[fl1] != "FL1-H") ++fl1;
    ASSERT_LT(fl1, data.names.size());
    const struct {
        const char* truth;
        DisplayTransform display;
    } cases[] = {
        {"Results_ScaleRange4.txt", DisplayTransform::Logicle(10000, 0.5, 4.5, 0)},
        {"Results_ScaleRange5.txt", DisplayTransform::Logicle(10000, 1, 4, 0.5)},
        {"Results_ScaleRange6.txt", DisplayTransform::Log(10000, 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.truth);
        const std::vector<char> truth = truthOf(dir / "truth" / c.truth);
        ASSERT_EQ(int64_t(truth.size()), data.values.rows());
        int64_t wrong = 0, in = 0;
        for (int e = 0; e < data.values.rows(); ++e) {
            const double y = c.display.Forward(data.values.at(e, int(fl1)));
            const bool inside = y >= 0.37 && y < 0.63;
            in += inside;
            wrong += inside != bool(truth[size_t(e)]);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(in, 0);
    }
}

}  // namespace
}  // namespace orvala
