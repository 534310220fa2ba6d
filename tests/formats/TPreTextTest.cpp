// The keyword store's parameter helpers and the display decoding of 8-bit text.
#include <gtest/gtest.h>

#include "core/Messages.h"
#include "core/TPreText.h"
#include "formats/DisplayText.h"

using namespace orvala;

namespace {

TPreText store(std::vector<std::pair<std::string, std::string>> kv)
{
    TPreText t;
    for (auto& [k, v] : kv) {
        t.keys.push_back(k);
        t.Values.push_back(v);
    }
    return t;
}

}  // namespace

TEST(TPreText, DeleteParamRenumbersHigherParameters)
{
    TPreText t = store({{"$PAR", "3"}, {"$P1N", "FSC"}, {"$P2N", "SSC"}, {"$P2DISPLAY", "LOG"}, {"$P3N", "FL1"},
                        {"$p3S", "CD4"}, {"$P12X3Y", "odd"}, {"P3N", "no dollar"}, {"$TOT", "5"}});
    t.pars.resize(3);
    t.pars[2].name = "FL1";
    t.par_Count = 3;
    t.DeleteParam(2);
    const std::vector<std::string> keys = {"$PAR", "$P1N", "$P2N", "$p2S", "$P11X3Y", "P3N", "$TOT"};
    EXPECT_EQ(t.keys, keys);
    EXPECT_EQ(t.GetValue("$PAR"), "2");
    EXPECT_EQ(t.GetValue("$P2N"), "FL1");
    EXPECT_EQ(t.DeletedPars, TIntVector{2});
    ASSERT_EQ(t.pars.size(), 2u);
    EXPECT_EQ(t.pars[1].name, "FL1");
    EXPECT_EQ(t.par_Count, 2);

    TPreText noPar = store({{"$P1N", "FSC"}});
    EXPECT_THROW(noPar.DeleteParam(1), OrvalaError);

    // A $PAR that counts nothing (at the int64 limit it would overflow when
    // lowered) gives way to the parameters the keywords describe.
    TPreText damaged = store({{"$PAR", "-9223372036854775808"}, {"$P1N", "FSC"}, {"$P2N", "SSC"}});
    damaged.pars.resize(2);
    damaged.par_Count = 2;
    damaged.DeleteParam(1);
    EXPECT_EQ(damaged.GetValue("$PAR"), "1");
    EXPECT_EQ(damaged.GetValue("$P1N"), "SSC");
}

TEST(TPreText, ParameterNameHelpers)
{
    TPreText t = store({{"$PAR", " 4 "},
                        {"$P1N", " FSC-A "},
                        {"$P1S", "Forward"},
                        {"$P2N", "FL1 Log"},
                        {"$P2S", "CD4 FITC"},
                        {"P3N", "FL2 lin"},
                        {"P3S", "CD8 PE"},
                        {"$P4N", "SSC"},
                        {"$P4S", "SSC"}});
    EXPECT_EQ(t.ParCount(), 4);
    EXPECT_EQ(t.ParShortName(0), "FSC-A");
    EXPECT_EQ(t.ParSomeName(0), "Forward");
    EXPECT_EQ(t.ParSomeName(1), "Log CD4 FITC");
    EXPECT_EQ(t.ParSomeName(2), "Lin CD8 PE");  // FCS 2.0 keys without "$"
    EXPECT_EQ(t.ParSomeName(3), "SSC");

    EXPECT_EQ(t.ParIndByName("fsc-a"), 0);        // short name, ignoring case
    EXPECT_EQ(t.ParIndByName("cd8 pe"), 2);       // long name
    EXPECT_EQ(t.ParIndByName("FL1 Log-H"), 1);    // short name as prefix
    EXPECT_EQ(t.ParIndByName("forward scatter"), 0);  // long name as prefix
    EXPECT_EQ(t.ParIndByName("nothing"), -1);
    // A missing long name is an empty prefix of every name, unless that is switched off.
    TPreText noLong = store({{"$PAR", "2"}, {"$P1N", "FSC"}, {"$P2N", "SSC"}, {"$P2S", "Side"}});
    EXPECT_EQ(noLong.ParIndByName("zzz"), 0);
    EXPECT_EQ(noLong.ParIndByName("zzz", false), -1);
    EXPECT_EQ(noLong.ParIndByName("side scatter", false), 1);

    TPreText noPar = store({{"$P1N", "a"}, {"$P7B", "16"}, {"$P3N", "c"}});
    EXPECT_EQ(noPar.ParCount(), 7);
    TPreText none = store({{"$TOT", "1"}});
    EXPECT_EQ(none.ParCount(), 0);
}

TEST(TPreText, ParOfParNamesListsSuffixesInFirstOrder)
{
    TPreText t = store({{"$P1N", "a"}, {"$P1B", "16"}, {"$P2N", "b"}, {"P2DISPLAY", "LOG"}, {"$P1", "x"},
                        {"$PAR", "2"}, {"$P2V2X", "1"}, {"#P1N", "no"}});
    const std::vector<std::string> expected = {"N", "B", "DISPLAY", "", "V"};
    EXPECT_EQ(t.ParOfParNames(), expected);
}

TEST(TPreText, AssignCopiesEverything)
{
    TPreText a = store({{"$PAR", "1"}});
    a.DataType = 'I';
    a.TimePar = 3;
    a.pars.resize(1);
    a.pars[0].name = "X";
    TPreText b;
    b.Assign(a);
    EXPECT_EQ(b.keys, a.keys);
    EXPECT_EQ(b.DataType, 'I');
    EXPECT_EQ(b.TimePar, 3);
    EXPECT_EQ(b.pars[0].name, "X");
}

TEST(DisplayText, Utf8StaysLatin1IsConverted)
{
    EXPECT_EQ(displayText("CD4 \xE2\x84\xA2"), "CD4 \xE2\x84\xA2");     // valid UTF-8 (FCS 3.1)
    EXPECT_EQ(displayText("\xB5m"), "\xC2\xB5m");                       // Latin-1 micro sign
    EXPECT_EQ(displayText("Alexa Fluor\xAE"), "Alexa Fluor\xC2\xAE");   // lone Latin-1 byte
    EXPECT_EQ(displayText("\xC0\xAF"), "\xC3\x80\xC2\xAF");             // overlong form is not UTF-8
    EXPECT_EQ(displayText("abc\xE2\x84"), "abc\xC3\xA2\xC2\x84");       // cut sequence
    EXPECT_EQ(displayText(""), "");
}
