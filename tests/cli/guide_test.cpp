// The command line as a new user meets it: which entities are the buildings, the plain options
// and the settings keys they stand for, the result names, the messages about the drawings users
// bring, help and version. Each case is one command line with its exit status and its text.
#include <gtest/gtest.h>

#include <sstream>

#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;
namespace fs = std::filesystem;

const fs::path kFixtures = kSource / "tests" / "data" / "cli";

// A folder holding the example drawing, its settings (site.ini, which names the building layers)
// and the same settings without them (nolayers.ini), and the test drawings.
void Furnish(const Scratch &dir) {
    fs::copy_file(kExample, dir / "site.dxf");
    const std::string settings = Scratch::ReadFile(kSource / "examples" / "pimu.ini");
    dir.Write("site.ini", settings);
    const size_t layer = settings.find("[Layer]");
    ASSERT_NE(layer, std::string::npos);
    const size_t next = settings.find('[', layer + 1);
    dir.Write("nolayers.ini", settings.substr(0, layer) + settings.substr(next));
    for (const char *f : {"no_thickness.dxf", "paper_space_only.dxf", "one_block.dxf"})
        fs::copy_file(kFixtures / f, dir / f);
}

// Every line on stderr has the one form of pimu's messages.
void ExpectOneMessageForm(const std::string &err) {
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.starts_with("Pimu: ") || line.starts_with("      ")) << line;
}

struct Case {
    const char *what;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> err = {};      // texts stderr holds
    std::vector<std::string> out = {};      // texts stdout holds
    std::vector<std::string> nowhere = {};  // texts neither holds
    std::vector<std::string> files = {};    // files the run leaves
    std::vector<std::string> nofiles = {};  // files it does not leave
};

void RunCases(const std::vector<Case> &cases) {
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Scratch dir;
        Furnish(dir);
        const auto r = RunPimu(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const auto &t : c.err)
            EXPECT_NE(r.err.find(t), std::string::npos) << t << "\n" << r.err;
        for (const auto &t : c.out)
            EXPECT_NE(r.out.find(t), std::string::npos) << t << "\n" << r.out;
        for (const auto &t : c.nowhere) {
            EXPECT_EQ(r.out.find(t), std::string::npos) << t;
            EXPECT_EQ(r.err.find(t), std::string::npos) << t;
        }
        for (const auto &f : c.files) EXPECT_TRUE(fs::exists(dir / f)) << f;
        for (const auto &f : c.nofiles) EXPECT_FALSE(fs::exists(dir / f)) << f;
        ExpectOneMessageForm(r.err);
    }
}

// The example's layers as `pimu layers` and the stop without a building selection show them.
const std::string kBuildingRow = "建物       6         4";
const std::string kNeighbourRow = "隣地建物   1         1";

TEST(CliGuide, WhichEntitiesAreTheBuildings) {
    RunCases({
        {"no --buildings and no building layers in the settings: stop with the layer table",
         {"shadow", "site.dxf", "--settings", "nolayers.ini"},
         2,
         {"which entities are the buildings?", "Layer/Tatemono=NAME,NAME",
          "closed shapes with thickness", kBuildingRow, kNeighbourRow},
         {},
         {},
         {},
         {"site-shadow.dxf"}},
        {"the settings name the building layers",
         {"shadow", "site.dxf", "--settings", "site.ini"},
         0,
         {},
         {"shadow: 20 entities added, saved site-shadow.dxf"},
         {},
         {"site-shadow.dxf"}},
        {"the building layers by --set",
         {"shadow", "site.dxf", "--settings", "nolayers.ini", "--set", "Layer/Tatemono=建物"},
         0,
         {},
         {"saved site-shadow.dxf"}},
        {"the layer table",
         {"layers", "site.dxf"},
         0,
         {},
         {"layer      entities  closed shapes with thickness or height", kBuildingRow,
          kNeighbourRow}},
        {"a layer the drawing does not have: the layers it has",
         {"shadow", "site.dxf", "--buildings", "layer:nosuch"},
         2,
         {"--buildings layer:nosuch: nothing in the drawing matches", kNeighbourRow},
         {},
         {},
         {},
         {"site-shadow.dxf"}},
        {"in Japanese",
         {"shadow", "site.dxf", "--settings", "nolayers.ini", "--lang", "ja"},
         2,
         {"建物はどの図形ですか", "厚みか高さのある閉じた図形", "隣地建物   1     1"}},
    });
}

TEST(CliGuide, PlainOptionsAndSettingsKeys) {
    RunCases({
        {"help names each option's key",
         {"shadow", "--help"},
         0,
         {},
         {"--start HOUR", "Jikoku/kaishi", "--end HOUR", "Jikoku/owari", "--interval HOURS",
          "Jikoku/kankaku", "--plane-height M", "Common/takasa", "--north DEG", "Common/makita",
          "--text-height MM", "Common/takasa2", "--latitude", "--season"},
         {"--hours", "--step", "--dms", "--csv", "--view"}},
        {"the isochrone's own options",
         {"isochrone", "--help"},
         0,
         {},
         {"--hours H[,H...]", "Touji/chk0..13", "--step 10|30|60", "Touji/kankaku2"},
         {"--interval", "--dms"}},
        {"the ratio table's own options",
         {"ratio-table", "--help"},
         0,
         {},
         {"--latitude", "--dms", "--place X,Y"},
         {"--buildings", "--season", "--start"}},
        {"every key with value, default and meaning",
         {"settings", "--settings", "site.ini", "--start", "9.5"},
         0,
         {},
         {"key", "value", "default", "what it does", "Common/takasa2", "1500.0", "300.0",
          "--text-height", "Touji/chk13", "Layer/Tatemono", "建物,隣地建物", "Target/ProgID",
          "first hour", "9.5"}},
        {"a value that is not a number names the option, the field and the key",
         {"shadow", "site.dxf", "--start", "abc"},
         2,
         {"--start abc: \"abc\" is not a number (時刻, Jikoku/kaishi)"}},
        {"a latitude with a degree sign is a usage error",
         {"ratio-table", "--latitude", "35°41"},
         2,
         {"--latitude \"35°41\": degrees[,minutes[,seconds]] as numbers"}},
        {"the window's message about a value, and the option it came from",
         {"shadow", "site.dxf", "--settings", "site.ini", "--interval", "0"},
         1,
         {"間隔には 0 より大きい", "--interval 0 (Jikoku/kankaku)  間隔"},
         {},
         {},
         {},
         {"site-shadow.dxf"}},
        {"an evaluation interval the window does not offer",
         {"isochrone", "site.dxf", "--step", "20"},
         2,
         {"--step \"20\": 10, 30 or 60 seconds (Touji/kankaku2)"}},
        {"an hour that is not an isochrone",
         {"isochrone", "site.dxf", "--hours", "1.5,1.7"},
         2,
         {"--hours \"1.5,1.7\": hours from 1.5 to 8.0"}},
        {"an option the command does not use",
         {"ratio-table", "--start", "9"},
         2,
         {"this command does not take --start"}},
    });
}

TEST(CliGuide, DrawingsUsersBring) {
    RunCases({
        {"nothing in model space",
         {"shadow", "paper_space_only.dxf", "--buildings", "all"},
         1,
         {"paper_space_only.dxf: no entities in model space"}},
        {"outlines without thickness: which, and how to give them one",
         {"shadow", "no_thickness.dxf", "--buildings", "layer:建物"},
         1,
         {"--buildings layer:建物: no height above the ground in 1 building entity:",
          "POLYLINE handle 31 on layer 建物", "Properties > Thickness", "group code 39"},
         {},
         {},
         {},
         {"no_thickness-shadow.dxf"}},
        {"one without thickness among buildings: nothing drawn from the rest either",
         {"shadow", "no_thickness.dxf", "--buildings", "all"},
         1,
         {"no height above the ground in 1 building entity"},
         {},
         {"saved"},
         {},
         {"no_thickness-shadow.dxf"}},
        {"in Japanese",
         {"shadow", "no_thickness.dxf", "--buildings", "layer:建物", "--lang", "ja"},
         1,
         {"高さのない建物図形が 1 個あります", "ハンドル 31 画層 建物"}},
    });
}

TEST(CliGuide, HelpVersionPictures) {
    RunCases({
        {"version", {"--version"}, 0, {}, {"pimu 0."}},
        {"every command in the overview", {"--help"}, 0, {}, {"layers", "settings", "--version"}},
        {"a PNG under an SVG name",
         {"preview", "site.dxf", "--settings", "site.ini", "--png", "p.svg"},
         2,
         {"--png \"p.svg\": --png writes a PNG picture; give a name ending in .png"},
         {},
         {},
         {},
         {"p.svg"}},
        {"an SVG under a PNG name",
         {"shadow", "site.dxf", "--settings", "site.ini", "--svg", "s.png"},
         2,
         {"--svg writes a SVG picture"}},
        {"the preview says what it wrote",
         {"preview", "site.dxf", "--settings", "site.ini", "--png", "p.png"},
         0,
         {},
         {"preview: wrote p.png"},
         {},
         {"p.png"}},
    });
}

// Each command has its own result name; an existing result is replaced (by the atomic save)
// unless --no-clobber says to keep it.
TEST(CliGuide, ResultNames) {
    Scratch dir;
    Furnish(dir);
    const std::vector<std::string> shadow = {"shadow", "site.dxf", "--settings", "site.ini"};
    ASSERT_EQ(RunPimu(shadow, dir.path()).status, 0);
    const std::string first = dir.Read("site-shadow.dxf");
    const auto table = RunPimu(
        {"ratio-table", "site.dxf", "--settings", "site.ini", "--place", "0,0"}, dir.path());
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("saved site-ratio-table.dxf"), std::string::npos) << table.out;
    EXPECT_EQ(dir.Read("site-shadow.dxf"), first);

    auto keep = shadow;
    keep.insert(keep.end(), {"--start", "9", "--no-clobber"});
    const auto kept = RunPimu(keep, dir.path());
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("site-shadow.dxf exists; --no-clobber leaves it as it is"),
              std::string::npos)
        << kept.err;
    EXPECT_EQ(dir.Read("site-shadow.dxf"), first);

    auto replace = shadow;
    replace.insert(replace.end(), {"--start", "9"});
    ASSERT_EQ(RunPimu(replace, dir.path()).status, 0);
    EXPECT_NE(dir.Read("site-shadow.dxf"), first);
    for (const auto &e : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(e.path().filename().string().find(".tmp") != std::string::npos) << e.path();
}

// A plain option is exactly its settings key: the same values reach the window.
TEST(CliGuide, PlainOptionsAreTheirKeys) {
    Scratch dir;
    Furnish(dir);
    const auto plain =
        RunPimu({"settings", "--start",        "9",       "--end",   "15", "--interval",
                 "2",        "--plane-height", "1.5",     "--north", "80", "--text-height",
                 "800",      "--hours",        "2.5,4.0", "--step",  "60", "--latitude",
                 "35,41",    "--season",       "summer"},
                dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    std::vector<std::string> keys = {"--set", "Jikoku/kaishi=9",  "--set", "Jikoku/owari=15",
                                     "--set", "Jikoku/kankaku=2", "--set", "Common/takasa=1.5",
                                     "--set", "Common/makita=80", "--set", "Common/takasa2=800",
                                     "--set", "Touji/kankaku2=2", "--set", "Common/ido1=35",
                                     "--set", "Common/ido2=41",   "--set", "Common/kisetsu=2"};
    keys.insert(keys.begin(), "settings");
    for (int i = 0; i < 14; ++i)
        keys.insert(keys.end(), {"--set", "Touji/chk" + std::to_string(i) + "=" +
                                              (i == 2 || i == 5 ? "1" : "0")});
    const auto set = RunPimu(keys, dir.path());
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(plain.out, set.out);
    EXPECT_NE(plain.out.find("Jikoku/kaishi    9 "), std::string::npos) << plain.out;

    // And a drawing made with them is the one made with the keys.
    const auto a = RunPimu({"shadow", "one_block.dxf", "--buildings", "all", "--start", "9",
                            "--end", "15", "--interval", "2", "-o", "a.dxf"},
                           dir.path());
    const auto b =
        RunPimu({"shadow", "one_block.dxf", "--buildings", "all", "--set", "Jikoku/kaishi=9",
                 "--set", "Jikoku/owari=15", "--set", "Jikoku/kankaku=2", "-o", "b.dxf"},
                dir.path());
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_NE(a.out.find("8 entities added"), std::string::npos) << a.out;  // 9, 11, 13, 15
    EXPECT_EQ(dir.Read("a.dxf"), dir.Read("b.dxf"));
}

}  // namespace
}  // namespace pimu::cli
