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
