// `pimu sky-compare` as a user runs it on the bundled example: the refusals, a site that passes
// with its table, CSV and drawing, and one that does not.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cadlink/embedded/dxfio.h"
#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;
namespace fs = std::filesystem;

const std::string kSettings = (kSource / "examples" / "pimu.ini").string();

std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> args = {"sky-compare", kExample.string(), "--settings",
                                     kSettings,     "--lang",          "en",
                                     "--buildings", "layer:建物"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST(CliSkyCompare, RefusalsAndTheirStatus) {
    struct Case {
        std::vector<std::string> extra;
        int status;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{"--road", "30000,-1000,6"}, 2, "--site SEL"},
        {{"--site", "layer:敷地", "--road", "30000,-1000"}, 2, "X,Y,WIDTH[,SETBACK]"},
        {{"--site", "layer:敷地", "--road", "30000,-1000,0"}, 2, "above 0"},
        {{"--site", "layer:敷地", "--road", "30000,-1000,6,-1"}, 2, "0 or more"},
        {{"--site", "layer:敷地", "--zone", "commercial"}, 2, "low-rise, mid-high"},
        {{"--site", "layer:敷地", "--limits", "road,south"}, 2, "road, adjacent, north"},
        {{"--site", "layer:敷地", "--distance", "abc"}, 2, "applicable distance"},
        {{"--site", "layer:NONE"}, 2, "nothing in the drawing matches"},
        {{"--site", "layer:壁面"}, 1, "敷地の外形が閉じていません"},
        // Only the road limit, and no road: no point to compare at.
        {{"--site", "layer:敷地", "--limits", "road"}, 1, "測定点がありません"},
    };
    for (const Case &c : cases) {
        Scratch dir;
        const auto r = RunPimu(Args(c.extra), dir.path());
        std::string line;
        for (const auto &a : c.extra) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << line << "\n" << r.err;
        EXPECT_FALSE(fs::exists(dir / "site-sky-compare.dxf")) << line;
    }
}

// The example in the mid/high-rise zone group with its road on the south: every point passes;
// the table has the points of the three limits, the CSV its byte-order mark, the drawing its
// layers and the report its pages.
TEST(CliSkyCompare, ExampleComplies) {
    Scratch dir;
    const auto r = RunPimu(Args({"--site", "layer:敷地", "--road", "30000,-1000,6", "--zone",
                                 "mid-high", "--csv", "t.csv", "--report", "t.pdf", "-o", "t.dxf"}),
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *label : {"道1 ", "道21 ", "隣1 ", "隣29 ", "北1 ", "北31 "})
        EXPECT_NE(r.out.find(label), std::string::npos) << label << "\n" << r.out;
    EXPECT_EQ(r.out.find("不適合"), std::string::npos);
    const std::string csv = dir.Read("t.csv");
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF測定点,斜線,", 0), 0u) << csv.substr(0, 60);
    const std::string pdf = dir.Read("t.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_GT(pdf.size(), 5000u);
    const auto d = cadlink::embedded::OpenDxf(dir / "t.dxf");
    std::set<std::string> layers;
    for (auto id : d.ModelSpace()) layers.insert(d.Get(id).layer);
    // The points, the conforming buildings, the table and the two maps of the smallest margin.
    for (const char *l : {"天空_測定点", "天空_適合建築物", "天空_比較表", "PIMU_TENKU"})
        EXPECT_TRUE(layers.count(l)) << l;
}

// The low-rise group's north limit (5 m + 1.25 from a line 4 m out) is far below the example's
// blocks: status 3 and 不適合 on the north points.
TEST(CliSkyCompare, LowRiseNorthLimitFails) {
    Scratch dir;
    const auto r = RunPimu(Args({"--site", "layer:敷地", "--road", "30000,-1000,6", "--zone",
                                 "low-rise", "--limits", "north", "-o", "t.dxf"}),
                           dir.path());
    ASSERT_EQ(r.status, 3) << r.err << r.out;
    EXPECT_NE(r.out.find("不適合"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("道1 "), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "t.dxf"));
}

}  // namespace
}  // namespace pimu::cli
