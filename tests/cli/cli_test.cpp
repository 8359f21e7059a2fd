// `pimu` run as a user runs it: exit statuses, messages, tables and the drawings it saves.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/embedded_cad.h"
#include "app/form.h"
#include "app/recording_host.h"
#include "cadlink/embedded/dxfio.h"
#include "cli/selection.h"
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
                          "boundary", "ratio-table", "preview", "layers", "settings"}) {
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
        {{"ratio-table", "--set", "Common/ido1=abc"},
         2,
         "--set Common/ido1=abc: \"abc\" is not a number (緯度 度, Common/ido1)"},
        {{"ratio-table", "--set", "Common/kisetsu=summer"}, 2, "it would be 0"},
        {{"ratio-table", "--set", "Bairitsu/useDMS=yes"}, 2, "Bairitsu/useDMS=yes: not a value"},
        {{"ratio-table", "--set", "Common/kisetsu=7"}, 2, "Common/kisetsu=7: not a value"},
        {{"ratio-table", "--latitude", "35,4x"}, 2, "--latitude \"35,4x\": degrees"},
        {{"shadow", "--season", "autumn"}, 2, "winter, equinox or summer"},
        // A running CAD is reached through COM, which only the Windows build has.
        {{"shadow", "--cad", "running"}, 2, "only the Windows build"},
        {{"shadow", "--cad", "other"}, 2, "--cad \"other\": running"},
    };
    for (const Case &c : cases) {
        const auto r = RunPimu(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace pimu::cli

namespace pimu::cli {
namespace {

using cadlink::embedded::Drawing;
using cadlink::embedded::EntityData;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;
namespace fs = std::filesystem;

const fs::path kFixtures = kSource / "tests" / "data" / "cli";
const std::string kBuildings = "layer:建物,隣地建物";
const std::string kExampleSettings = (kSource / "examples" / "pimu.ini").string();

std::vector<EntityData> OnLayer(const Drawing &d, const std::string &layer) {
    std::vector<EntityData> out;
    for (auto id : d.ModelSpace())
        if (d.Get(id).layer == layer) out.push_back(d.Get(id));
    return out;
}

// What the window itself draws on the example: the window model with the embedded drawing,
// the same settings file and the same selection.
Drawing DrawnByTheWindow(
    const std::function<void(app::TForm1 &, cadlink::embedded::ScriptedInput &)> &command) {
    Scratch dir;
    fs::copy_file(kExampleSettings, dir / "pimu.ini");
    app::RecordingUiHost host;
    auto doc = std::make_shared<cadlink::embedded::EmbeddedDocument>(Drawing{}, dir.path());
    app::EmbeddedCad cad(doc);
    cadlink::embedded::ScriptedInput input;
    doc->SetInputSource(&input);
    app::TForm1 form(app::FormPaths(dir.path(), "pimu"), host, &cad);
    form.FormCreate();
    doc->Open(kExample);
    input.Select(ParseSelection(kBuildings, "--buildings"));
    form.Button2Click();
    command(form, input);
    EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
    return doc->drawing();
}

void ExpectSameEntities(const std::vector<EntityData> &a, const std::vector<EntityData> &b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].kind, b[i].kind) << i;
        EXPECT_EQ(a[i].text, b[i].text) << i;
        EXPECT_EQ(a[i].linetype, b[i].linetype) << i;
        ASSERT_EQ(a[i].vertices.size(), b[i].vertices.size()) << i;
        for (size_t k = 0; k < a[i].vertices.size(); ++k) {
            EXPECT_NEAR(a[i].vertices[k].pt.x, b[i].vertices[k].pt.x, 1e-6) << i;
            EXPECT_NEAR(a[i].vertices[k].pt.y, b[i].vertices[k].pt.y, 1e-6) << i;
        }
        EXPECT_NEAR(a[i].p1.x, b[i].p1.x, 1e-6) << i;
        EXPECT_NEAR(a[i].p1.y, b[i].p1.y, 1e-6) << i;
        EXPECT_NEAR(a[i].p2.x, b[i].p2.x, 1e-6) << i;
        EXPECT_NEAR(a[i].p2.y, b[i].p2.y, 1e-6) << i;
    }
}

// The example run: the input untouched, the result reloads (also in ezdxf) and holds what the
// window draws, the pictures exist.
TEST(CliDrawing, ShadowOnTheExample) {
    Scratch dir;
    fs::copy_file(kExample, dir / "site.dxf");
    const std::string before = dir.Read("site.dxf");
    const auto r = RunPimu({"shadow", "site.dxf", "--settings", kExampleSettings, "--buildings",
                            kBuildings, "--svg", "s.svg", "--png", "s.png"},
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("site-shadow.dxf"), std::string::npos) << r.out;
    EXPECT_EQ(dir.Read("site.dxf"), before);

    const Drawing saved = cadlink::embedded::OpenDxf(dir / "site-shadow.dxf");
    const Drawing window = DrawnByTheWindow([](app::TForm1 &f, auto &) { f.Button3Click(); });
    const auto drawn = OnLayer(saved, "PIMU_JIKOKU");
    EXPECT_EQ(drawn.size(), 20u);  // 8:00 ... 16:00, one island each but one of two, labelled
    ExpectSameEntities(drawn, OnLayer(window, "PIMU_JIKOKU"));
    EXPECT_EQ(OnLayer(saved, "建物").size(),
              OnLayer(cadlink::embedded::OpenDxf(kExample), "建物").size());

    EXPECT_EQ(testing::RunPython("import ezdxf,sys; d=ezdxf.readfile(sys.argv[1]); "
                                 "sys.exit(1 if d.audit().has_errors else 0)",
                                 dir / "site-shadow.dxf"),
              0);
    EXPECT_EQ(dir.Read("s.png").substr(1, 3), "PNG");
    EXPECT_NE(dir.Read("s.svg").find("<svg"), std::string::npos);
}

TEST(CliDrawing, IsochroneOnTheExample) {
    Scratch dir;
    const auto r = RunPimu({"isochrone", kExample.string(), "--settings", kExampleSettings,
                            "--buildings", kBuildings, "-o", "i.dxf"},
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto drawn = OnLayer(cadlink::embedded::OpenDxf(dir / "i.dxf"), "PIMU_TOUJI");
    EXPECT_GT(drawn.size(), 14u);
    ExpectSameEntities(
        drawn,
        OnLayer(DrawnByTheWindow([](app::TForm1 &f, auto &) { f.Button6Click(); }), "PIMU_TOUJI"));
}

TEST(CliDrawing, PreviewPictureAndPlacedBlock) {
    Scratch dir;
    const auto r = RunPimu({"preview", kExample.string(), "--buildings", kBuildings, "--png",
                            "p.png", "--view", "30,20", "--place", "100000,0", "-o", "p.dxf"},
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string png = dir.Read("p.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(static_cast<unsigned char>(png[18]) * 256 + static_cast<unsigned char>(png[19]),
              214 * 4);  // the window's 214-pixel picture, four times
    const Drawing saved = cadlink::embedded::OpenDxf(dir / "p.dxf");
    const Drawing window = DrawnByTheWindow([](app::TForm1 &f, auto &input) {
        for (int i = 0; i < 80 && f.GB_Draw3dHdeg != 30; ++i)
            f.UpDown3Click(app::UpDownButton::Next);
        for (int i = 0; i < 80 && f.GB_Draw3dVdeg != 20; ++i)
            f.UpDown4Click(app::UpDownButton::Next);
        input.Place({100000, 0, 0});
        f.SpeedButton2Click();
    });
    ExpectSameEntities(OnLayer(saved, "0"), OnLayer(window, "0"));
    EXPECT_GT(OnLayer(saved, "0").size(), 100u);
}

// The wall picked at --wall X,Y: the elevation lies along the wall line as the window draws it;
// with Hekimen/senjou=0 it goes where --place says. A point beside every line is refused.
TEST(CliDrawing, WallOnTheExample) {
    Scratch dir;
    const std::vector<std::string> common = {
        "--settings", kExampleSettings, "--start", "11", "--end", "13", "--step", "60"};
    auto args = [&](std::vector<std::string> own) {
        own.insert(own.begin() + 2, common.begin(), common.end());
        return own;
    };
    const auto r = RunPimu(
        args({"wall", kExample.string(), "--wall", "35000,62000", "-o", "w.dxf"}), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const Drawing saved = cadlink::embedded::OpenDxf(dir / "w.dxf");
    const Drawing window = DrawnByTheWindow([](app::TForm1 &f, auto &input) {
        f.Edit2.text = "11";
        f.Edit7.text = "13";
        f.RadioGroup6.itemIndex = 2;
        const auto handle = LineHandleAt(cadlink::embedded::OpenDxf(kExample), {35000, 62000, 0});
        input.Entity(*handle, {35000, 62000, 0});
        f.Button5Click();
    });
    for (const char *layer : {"PIMU_HWAKU", "PIMU_HJIKOKU", "PIMU_HTOJI"}) {
        const auto drawn = OnLayer(saved, layer);
        EXPECT_FALSE(drawn.empty()) << layer;
        ExpectSameEntities(drawn, OnLayer(window, layer));
    }

    const auto placed = RunPimu(args({"wall", kExample.string(), "--wall", "35000,62000", "--set",
                                      "Hekimen/senjou=0", "--place", "0,-40000", "-o", "p.dxf"}),
                                dir.path());
    ASSERT_EQ(placed.status, 0) << placed.err;
    const auto frame = OnLayer(cadlink::embedded::OpenDxf(dir / "p.dxf"), "PIMU_HWAKU");
    ASSERT_FALSE(frame.empty());
    // The ground line is drawn when the elevation does not lie on the wall line.
    EXPECT_EQ(frame.size(), OnLayer(saved, "PIMU_HWAKU").size() + 1);
    double xmin = 1e300, ymin = 1e300;
    for (const EntityData &e : frame) {
        xmin = std::min({xmin, e.p1.x, e.p2.x});
        ymin = std::min({ymin, e.p1.y, e.p2.y});
    }
    EXPECT_NEAR(xmin, 0.0, 1e-6);
    EXPECT_NEAR(ymin, -40000.0, 1e-6);

    const auto missed =
        RunPimu(args({"wall", kExample.string(), "--wall", "35000,63000"}), dir.path());
    EXPECT_EQ(missed.status, 2);
    EXPECT_NE(missed.err.find("no LINE passes within 1 drawing unit"), std::string::npos)
        << missed.err;
    const auto unplaced = RunPimu(
        args({"wall", kExample.string(), "--wall", "35000,62000", "--set", "Hekimen/senjou=0"}),
        dir.path());
    EXPECT_EQ(unplaced.status, 2);
    EXPECT_NE(unplaced.err.find("--place"), std::string::npos) << unplaced.err;
}

// The ratio table drawn where --place says, text for text as the window draws it.
TEST(CliDrawing, RatioTablePlaced) {
    Scratch dir;
    const auto r = RunPimu({"ratio-table", kExample.string(), "--settings", kExampleSettings,
                            "--place", "80000,50000", "-o", "t.dxf"},
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("12:00"), std::string::npos);
    const Drawing saved = cadlink::embedded::OpenDxf(dir / "t.dxf");
    const Drawing window = DrawnByTheWindow([](app::TForm1 &f, auto &input) {
        f.SpeedButton3Click();
        input.Place({80000, 50000, 0});
        f.SpeedButton5Click();
    });
    const auto drawn = OnLayer(saved, "0");
    ExpectSameEntities(drawn, OnLayer(window, "0"));
    // 1 + 6 * 18 texts, 17 + 1 + 1 horizontal and 6 + 1 vertical rules.
    EXPECT_EQ(drawn.size(), 109u + 19u + 7u);
    const auto twelve = std::find_if(drawn.begin(), drawn.end(),
                                     [](const EntityData &e) { return e.text == "12:00"; });
    ASSERT_NE(twelve, drawn.end());
    EXPECT_GT(twelve->p2.x, 80000.0);  // placed, not at the origin
}

// Bad input: a clear message, the right status, and no result drawing.
TEST(CliDrawing, BadInput) {
    Scratch dir;
    fs::copy_file(kFixtures / "one_block.dxf", dir / "b.dxf");
    fs::copy_file(kFixtures / "broken.dxf", dir / "broken.dxf");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *message;
    };
    const Case cases[] = {
        {{"shadow"}, 2, "which drawing?"},
        {{"shadow", "missing.dxf"}, 1, "missing.dxf: no such file"},
        {{"shadow", "broken.dxf"}, 1, "broken.dxf: line 1817"},
        {{"shadow", "b.dxf", "-o", "b.dxf"}, 2, "is the input drawing"},
        {{"shadow", "b.dxf", "-o", "./b.dxf"}, 2, "is the input drawing"},
        {{"shadow", "b.dxf", "--buildings", "layer:nosuch"}, 2, "nothing in the drawing matches"},
        {{"shadow", "b.dxf", "--buildings", "layer:測定点"}, 1, "no building edges"},
        {{"shadow", "b.dxf", "--buildings", "sideways"}, 2, "--buildings \"sideways\""},
        {{"shadow", "b.dxf", "--set", "Jikoku/kankaku=abc"}, 2, "\"abc\" is not a number"},
        {{"shadow", "b.dxf", "--buildings", "all", "--set", "Jikoku/kankaku=0"},
         1,
         "間隔には 0 より大きい"},
        {{"shadow", "b.dxf", "--set", "Jikoku/kankakuu=1"}, 2, "no such setting"},
        {{"ratio-table", "b.dxf"}, 2, "--place X,Y says where"},
        {{"shadow", "b.dxf", "-o", "nodir/x.dxf"}, 2, "-o \"nodir/x.dxf\": no folder"},
        {{"shadow", "b.dxf", "--png", "nodir/x.png"}, 2, "--png \"nodir/x.png\": no folder"},
        {{"preview", "b.dxf"}, 2, "give --svg FILE, --png FILE or --place"},
        {{"preview", "b.dxf", "--png", "p.png", "--view", "33,20"}, 2, "steps of 5"},
    };
    for (const Case &c : cases) {
        const auto r = RunPimu(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "b-shadow.dxf")) << c.message;
    }
    EXPECT_EQ(dir.Read("b.dxf"), Scratch::ReadFile(kFixtures / "one_block.dxf"));
}

// The day and the latitude by their own options are the settings they stand for.
TEST(CliDrawing, SeasonAndLatitudeOptions) {
    Scratch dir;
    const std::string block = (kFixtures / "one_block.dxf").string();
    auto shadows = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"shadow", block, "-o", "r.dxf", "--buildings", "all"});
        const auto r = RunPimu(args, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        return OnLayer(cadlink::embedded::OpenDxf(dir / "r.dxf"), "PIMU_JIKOKU");
    };
    const auto summer = shadows({"--season", "summer", "--latitude", "35,41"});
    ExpectSameEntities(summer, shadows({"--set", "Common/kisetsu=2", "--set", "Common/ido1=35",
                                        "--set", "Common/ido2=41"}));
    const auto winter = shadows({"--latitude", "35,41"});
    ASSERT_FALSE(summer.empty());
    ASSERT_FALSE(winter.empty());
    // The winter shadows are longer: the outlines reach further north.
    auto north = [](const std::vector<EntityData> &drawn) {
        double y = -1e300;
        for (const auto &e : drawn)
            for (const auto &v : e.vertices) y = std::max(y, v.pt.y);
        return y;
    };
    EXPECT_GT(north(winter), north(summer) + 10000.0);
}

// What Pimu does not model either reaches the result or is named on stderr; never lost silently.
TEST(CliDrawing, EntitiesPimuDoesNotModel) {
    Scratch dir;
    const auto r = RunPimu(
        {"shadow", (kFixtures / "with_hatch.dxf").string(), "-o", "r.dxf", "--buildings", "all"},
        dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const int kept = testing::RunPython(
        "import ezdxf,sys; m=ezdxf.readfile(sys.argv[1]).modelspace(); "
        "sys.exit(0 if len(m.query(\"HATCH\")) == 1 and len(m.query(\"MTEXT\")) == 1 else 1)",
        dir / "r.dxf");
    if (kept != 0) {
        EXPECT_NE(r.err.find("not carried into the result drawing (not modelled by Pimu): "
                             "HATCH 1, MTEXT 1"),
                  std::string::npos)
            << r.err;
    } else {
        EXPECT_EQ(r.err, "");
    }
}

// --workdir keeps the DXF files Pimu writes for the CAD; --verbose shows the CAD's prompts.
TEST(CliDrawing, WorkdirAndVerbose) {
    Scratch dir;
    fs::create_directory(dir / "work");
    const auto r = RunPimu({"shadow", (kFixtures / "one_block.dxf").string(), "-o", "r.dxf",
                            "--workdir", "work", "--verbose", "--buildings", "all"},
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("CAD: 建物図形を選択して下さい."), std::string::npos) << r.err;
    bool written = false;
    for (const auto &e : fs::directory_iterator(dir / "work"))
        written |= e.path().filename().string().starts_with("PIMU_");
    EXPECT_TRUE(written);
    EXPECT_TRUE(fs::exists(dir / "r.dxf"));
}

}  // namespace
}  // namespace pimu::cli
