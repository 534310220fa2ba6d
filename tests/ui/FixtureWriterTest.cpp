// The FCS 3.0 writer behind the demo data set: segment offsets, chaining and keywords.
#include <QTest>
#include <cstring>
#include <map>

#include "FcsFixtureWriter.h"

using namespace orvala::fixtures;

namespace {

long long headerField(const std::string& bytes, size_t dataSetStart, int index)
{
    return std::stoll(bytes.substr(dataSetStart + 10 + size_t(index) * 8, 8));
}

std::map<std::string, std::string> keywords(const std::string& bytes, size_t start)
{
    const size_t textBegin = start + size_t(headerField(bytes, start, 0));
    const size_t textEnd = start + size_t(headerField(bytes, start, 1));
    const char delim = bytes[textBegin];
    std::map<std::string, std::string> kv;
    size_t pos = textBegin + 1;
    std::vector<std::string> fields;
    while (pos <= textEnd) {
        const size_t next = bytes.find(delim, pos);
        if (next == std::string::npos || next > textEnd) break;
        fields.push_back(bytes.substr(pos, next - pos));
        pos = next + 1;
    }
    for (size_t i = 0; i + 1 < fields.size(); i += 2) kv[fields[i]] = fields[i + 1];
    return kv;
}

FcsDataSet small(int params, int events, float base)
{
    FcsDataSet s;
    for (int p = 0; p < params; ++p) s.parameters.push_back({"P" + std::to_string(p + 1), "", 1024});
    for (int i = 0; i < params * events; ++i) s.values.push_back(base + float(i));
    return s;
}

}  // namespace

class FixtureWriterTest : public QObject {
    Q_OBJECT
private slots:
    void segmentsAreConsistentAndChained()
    {
        const std::string bytes = fcs30Bytes({small(2, 3, 0), small(3, 1, 100), small(1, 2, 200)});
        size_t start = 0;
        int sets = 0;
        float firstValue[3] = {};
        while (true) {
            QCOMPARE(bytes.substr(start, 6), std::string("FCS3.0"));
            const auto kv = keywords(bytes, start);
            const long long dataBegin = headerField(bytes, start, 2), dataEnd = headerField(bytes, start, 3);
            QCOMPARE(headerField(bytes, start, 1) + 1, dataBegin);  // DATA right after TEXT
            QCOMPARE(std::to_string(dataBegin), kv.at("$BEGINDATA"));
            QCOMPARE(std::to_string(dataEnd), kv.at("$ENDDATA"));
            const long long par = std::stoll(kv.at("$PAR")), tot = std::stoll(kv.at("$TOT"));
            QCOMPARE(dataEnd - dataBegin + 1, par * tot * 4);
            QCOMPARE(kv.at("$DATATYPE"), std::string("F"));
            std::memcpy(&firstValue[sets], bytes.data() + start + size_t(dataBegin), 4);
            ++sets;
            const long long next = std::stoll(kv.at("$NEXTDATA"));
            if (next == 0) {
                QCOMPARE(start + size_t(dataEnd) + 1, bytes.size());
                break;
            }
            QCOMPARE(next, dataEnd + 1);
            start += size_t(next);
        }
        QCOMPARE(sets, 3);
        QCOMPARE(firstValue[0], 0.0f);
        QCOMPARE(firstValue[1], 100.0f);
        QCOMPARE(firstValue[2], 200.0f);
    }

    void demoDataSetHasPopulationsAndASpilloverMatrix()
    {
        const FcsDataSet demo = makeDemoDataSet(2000);
        QCOMPARE(int(demo.parameters.size()), 12);
        QCOMPARE(demo.events(), 2000);
        std::string spill;
        for (const auto& [k, v] : demo.keywords)
            if (k == "$SPILLOVER") spill = v;
        QVERIFY(spill.rfind("9,FITC-A,PE-A,", 0) == 0);
        QCOMPARE(std::count(spill.begin(), spill.end(), ','), 9 + 81);
        // The same seed gives the same events.
        QCOMPARE(makeDemoDataSet(2000).values, demo.values);
        // CD3 (FITC) splits the events into a bright and a dim group.
        int bright = 0;
        for (int e = 0; e < demo.events(); ++e) bright += demo.values[size_t(e) * 12 + 2] > 1000;
        QVERIFY(bright > 600 && bright < 1400);
    }
};

int runFixtureWriterTests(int argc, char** argv)
{
    FixtureWriterTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "FixtureWriterTest.moc"
