// `pimu points` on the example site: points given on the command line or taken from marks, the
// grid on stdout and in CSV, the summary block placed, and wrong use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cadlink/embedded/drawing.h"
#include "cadlink/embedded/dxfio.h"
#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using cadlink::embedded::Drawing;
using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;
namespace fs = std::filesystem;

const std::string kBuildings = "layer:建物,隣地建物";
const std::string kSettings = (kSource / "examples" / "pimu.ini").string();

// The example site with two marks: a circle north of the 7-storey block labelled "N1", and one
// south of the site without a label.
void WriteMarkedSite(const fs::path &path) {
    Drawing d = cadlink::embedded::OpenDxf(kExample);
    EntityData c;
    c.kind = EntityKind::Circle;
    c.layer = "MARKS";
    c.radius = 400;
    c.p1 = {30000, 52000, 0};
    d.Add(c);
    c.p1 = {30000, 3000, 0};  // beyond the reach of the site's own point labels
    d.Add(c);
    EntityData t;
    t.kind = EntityKind::Text;
    t.layer = "MARKS";
    t.height = 400;
    t.text = "N1";
    t.p1 = {30500, 52500, 0};
    d.Add(t);
    cadlink::embedded::SaveDxf(d, path);
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        out.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return out;
}

TEST(CliPoints, Table) {
    Scratch dir;
    WriteMarkedSite(dir / "marked.dxf");
    struct Case {
        std::string name;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> expected;  // in stdout (status 0) or stderr
    };
    const std::vector<std::string> base = {"points",  "marked.dxf",  "--settings",
                                           kSettings, "--buildings", kBuildings};
    const auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> a = base;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    const Case cases[] = {
        // A point given twice appears once; the grid's header row first.
        {"points",
         with({"--point", "30000,52000", "--point", "30000,3000", "--point", "30000,52000", "--csv",
               "p.csv"}),
         0,
         {"番号", "日影時間", "入時刻 1", "00:00'00\""}},
        {"marks",
         with({"--marks", "layer:MARKS", "--step", "60", "--plane-height", "1.5"}),
         0,
         {"N1", "00:00'00\""}},
        {"neither", with({}), 2, {"--point X,Y (repeatable) or --marks SEL"}},
        {"both", with({"--point", "1,2", "--marks", "all"}), 2, {"not both"}},
        {"no marks", with({"--marks", "layer:NOSUCH"}), 2, {"nothing in the drawing matches"}},
        {"summary is --place", with({"--summary", "1,2"}), 2, {"does not take --summary"}},
        {"times",
         with({"--point", "1,2", "--start", "9", "--end", "8"}),
         1,
         {"評価する時刻がありません"}},
    };
    for (const Case &c : cases) {
        const auto r = RunPimu(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
        for (const std::string &e : c.expected)
            EXPECT_NE((c.status == 0 ? r.out : r.err).find(e), std::string::npos)
                << c.name << ": " << e << "\n"
                << r.out << r.err;
        if (c.name == "points") {
            const std::vector<std::string> csv = Lines(dir.Read("p.csv"));
            ASSERT_GE(csv.size(), 3u);
            EXPECT_EQ(csv[0].rfind("番号,X座標,Y座標,測定点,日影時間,入時刻 1,", 0), 0u) << csv[0];
            EXPECT_EQ(csv[1].rfind("1,30000,3000,2,\"00:00'00\"\"\"", 0), 0u) << csv[1];
            EXPECT_EQ(csv[2].rfind("2,30000,52000,N1,", 0), 0u) << csv[2];  // the text by it
            EXPECT_TRUE(csv.size() == 3 || csv[3].empty());  // two rows, no duplicate
        }
        if (c.name == "marks") {
            // Tokutei/takasa and Touji/kankaku taken from the plain options.
            EXPECT_NE(r.out.find("N1"), std::string::npos);
        }
    }
}

TEST(CliPoints, SummaryBlockPlaced) {
    Scratch dir;
    WriteMarkedSite(dir / "marked.dxf");
    const auto r = RunPimu(
        {"points", "marked.dxf", "--settings", kSettings, "--buildings", kBuildings, "--marks",
         "layer:MARKS", "--plane-height", "1.5", "--place", "90000,60000", "-o", "out.dxf"},
        dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const Drawing saved = cadlink::embedded::OpenDxf(dir / "out.dxf");
    std::vector<std::string> texts;
    for (auto id : saved.ModelSpace()) {
        const EntityData &e = saved.Get(id);
        EXPECT_NE(e.kind, EntityKind::Insert);
        if (e.kind == EntityKind::Text && e.layer != "MARKS" && e.p1.x >= 90000)
            texts.push_back(e.text);
    }
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "1 00:00'00\" [-] "), texts.end());
    bool heading = false, n1 = false;
    for (const std::string &t : texts) {
        heading = heading || t.rfind("測定面の高さ= 1.5 メートル /評価時間= ", 0) == 0;
        n1 = n1 || t.rfind("N1 ", 0) == 0;
    }
    EXPECT_TRUE(heading);
    EXPECT_TRUE(n1);
}

}  // namespace
}  // namespace pimu::cli
