// orvala-cli unmix on files written here: detectors matched by name, the
// other parameters kept, one parameter per spectrum, both methods and formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "cli/CliRun.h"
#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "formats/TFCSWrite.h"

using namespace orvala;
using orvala::test::slurp;
using orvala::test::TempDir;

namespace {

using orvala::test::CliRun;
using orvala::test::quoted;
using orvala::test::runCli;

// Three detectors (stored out of order) between scatter and time; event e
// holds e+1 of dye X and 2 - e/2 of dye Y (negative for the last events).
const double SpecX[3] = {1.0, 0.5, 0.1};  // over D1, D2, D3
const double SpecY[3] = {0.2, 1.0, 0.6};
constexpr int Events = 8;

std::string writeSample(const TempDir& dir)
{
    DataRef d(TData::Create("sample", 5, Events));
    const char* names[5] = {"FSC-A", "D3", "D1", "Time", "D2"};
    for (int c = 0; c < 5; ++c) d->Desc()[size_t(c)].name = names[c];
    for (int e = 0; e < Events; ++e) {
        const double x = e + 1, y = 2 - e / 2.0;
        d->data[e][0] = 1000 + e;
        d->data[e][1] = x * SpecX[2] + y * SpecY[2];
        d->data[e][2] = x * SpecX[0] + y * SpecY[0];
        d->data[e][3] = 10 * e;
        d->data[e][4] = x * SpecX[1] + y * SpecY[1];
    }
    const std::string path = dir.file("sample.fcs");
    SaveAsFCS(*d, path);
    return path;
}

}  // namespace

TEST(CliUnmix, WritesKeptParametersThenOneParameterPerSpectrum)
{
    TempDir dir;
    const std::string sample = writeSample(dir);
    const std::string spectra = dir.write("spectra.csv", "fluor,D1,D2,D3\r\nX dye,1,0.5,0.1\r\nY dye,0.2,1,0.6\r\n");
    for (const char* method : {"ls", "nnls"}) {
        SCOPED_TRACE(method);
        const std::string out = dir.file(std::string("out_") + method + ".fcs");
        const CliRun r = runCli(dir, {"unmix", sample, "--spectra", spectra, "--method", method, "--to", out});
        ASSERT_EQ(r.code, 0) << r.err;
        RecordingSink sink;
        DataRef d(TData::TryOpen(out, 0));
        ASSERT_TRUE(d);
        ASSERT_EQ(d->CaseSize(), 4);
        ASSERT_EQ(d->events(), Events);
        EXPECT_EQ(d->Desc()[0].name, "FSC-A");
        EXPECT_EQ(d->Desc()[1].name, "Time");
        EXPECT_EQ(d->Desc()[2].name, "X dye");
        EXPECT_EQ(d->Desc()[3].name, "Y dye");
        const bool nnls = std::string(method) == "nnls";
        for (int e = 0; e < Events; ++e) {
            const double x = e + 1, y = 2 - e / 2.0;
            EXPECT_EQ(d->data[e][0], 1000 + e);
            EXPECT_EQ(d->data[e][1], 10 * e);
            if (!nnls || y >= 0) {
                EXPECT_NEAR(d->data[e][2], x, 1e-5 * x);
                EXPECT_NEAR(d->data[e][3], y, 1e-5 * 8);
            } else {
                EXPECT_GT(d->data[e][2], 0);
                EXPECT_EQ(d->data[e][3], 0.0);
            }
        }
    }
    // Text output: a names row, then one row per event.
    const std::string txt = dir.file("out.txt");
    ASSERT_EQ(runCli(dir, {"unmix", sample, "--spectra", spectra, "--to", txt}).code, 0);
    EXPECT_EQ(slurp(txt).substr(0, 24), "FSC-A\tTime\tX dye\tY dye\r\n");
}

TEST(CliUnmix, ErrorsNameWhatIsWrong)
{
    TempDir dir;
    const std::string sample = writeSample(dir);
    const std::string missing = dir.write("missing.csv", "fluor,D1,D9\nX,1,0\nY,0,1\n");
    const std::string dependent = dir.write("dep.csv", "fluor,D1,D2,D3\nX,1,0.5,0.1\nX2,2,1,0.2\n");
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--spectra", missing, "--to", dir.file("o.fcs")}, "orvala-cli: the data set sample has no detector D9\n"},
        {{"--spectra", dependent, "--to", dir.file("o.fcs")}, "orvala-cli: Mat not OK\n"},
        {{"--spectra", dependent, "--to", dir.file("o.csv")},
         "orvala-cli: cannot tell the output format of " + dir.file("o.csv") + ": use .fcs or .txt\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"unmix", sample};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun r = runCli(dir, args);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, c.error);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.fcs")));
}
