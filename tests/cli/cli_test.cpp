// `pimu` run as a user runs it: exit statuses, messages, tables and the drawings it saves.
#include <gtest/gtest.h>

#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using testing::kExample;
using testing::RunPimu;
using testing::Scratch;

TEST(Cli, HelpForEveryCommand) {
    Scratch dir;
    const auto all = RunPimu({"--help"}, dir.path());
    EXPECT_EQ(all.status, 0);
    for (const char *c : {"shadow", "isochrone", "wall", "points", "sky", "sky-list", "sky-batch",
                          "boundary", "ratio-table", "preview"}) {
        EXPECT_NE(all.out.find(c), std::string::npos) << c;
        const auto one = RunPimu({c, "--help"}, dir.path());
        EXPECT_EQ(one.status, 0) << c;
        EXPECT_NE(one.out.find(std::string("usage: pimu ") + c), std::string::npos) << c;
    }
}

TEST(Cli, RatioTableThroughTheWindowModel) {
    Scratch dir;
    // Latitude 36 by default: the 12:00 row has azimuth 0 and ratio 1.6943.
    const auto r = RunPimu({"ratio-table", "--csv", "t.csv"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("影倍率表 [ 緯度 = 36.0000°] [ 冬至 ]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("12:00  30.5500   0.0000      1.6943    0.0000   1.6943"),
              std::string::npos)
        << r.out;
    const std::string csv = dir.Read("t.csv");
    EXPECT_NE(csv.find("9:00,16.9122,-42.6898,"), std::string::npos) << csv;

    const auto dms = RunPimu({"ratio-table", "--dms", "--latitude", "35,41"}, dir.path());
    ASSERT_EQ(dms.status, 0) << dms.err;
    EXPECT_NE(dms.out.find("緯度 = 35°41′0″"), std::string::npos) << dms.out;

    // Settings from a file, one of them overridden.
    dir.Write("mine.ini", "[Common]\nido1=40\n[Bairitsu]\nwdigit=1\n");
    const auto file = RunPimu({"ratio-table", "--settings", "mine.ini"}, dir.path());
    EXPECT_NE(file.out.find("40.000°"), std::string::npos) << file.out;
    const auto both =
        RunPimu({"ratio-table", "--settings", "mine.ini", "--set", "common/IDO1=30"}, dir.path());
    EXPECT_NE(both.out.find("30.000°"), std::string::npos) << both.out;
    EXPECT_EQ(dir.Read("mine.ini"), "[Common]\nido1=40\n[Bairitsu]\nwdigit=1\n");
}

// Wrong use: a clear line on stderr and status 2; a value that is not a number: the window's
// message and status 1.
TEST(Cli, BadUse) {
    Scratch dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *message;
    };
    const Case cases[] = {
        {{}, 2, "usage: pimu COMMAND"},
        {{"frobnicate"}, 2, "unknown command frobnicate"},
        {{"ratio-table", "--frobnicate"}, 2, "unknown option --frobnicate"},
        {{"ratio-table", "--set", "Common/nosuch=1"}, 2, "Common/nosuch: no such setting"},
        {{"ratio-table", "--set", "Common"}, 2, "expected SECTION/KEY=VALUE"},
        {{"ratio-table", "--settings", "missing.ini"}, 2, "missing.ini: no such file"},
        {{"ratio-table", "--workdir", "nowhere"}, 2, "nowhere: no such folder"},
        {{"ratio-table", "--place", "1,2"}, 2, "need a drawing"},
        {{"ratio-table", "--set", "Common/ido1=abc"}, 1, "Pimu: "},
        {{"ratio-table", "--latitude", "35,4x"}, 1, "4x"},
    };
    for (const Case &c : cases) {
        const auto r = RunPimu(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace pimu::cli
