// The isochronal shadow diagram end to end: counting, the hour outlines, the DXF file and its
// insertion into the embedded drawing; the mesh-size preview; refusals, stopping and the
// messages of the tracing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/recording_host.h"
#include "cad_fixture.h"
#include "cadlink/embedded/drawing.h"

namespace pimu::app {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using testing::CadWindow;
using testing::EntityQuery;
using testing::kSiteSmall;
using testing::OnLayer;

const std::string kGolden = std::string(PIMU_TEST_DATA) + "/golden/touji_site_small.dxf";

std::string ReadBytes(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<EntityData> ModelEntities(CadWindow &w, EntityKind kind) {
    std::vector<EntityData> out;
    for (auto id : w.drawing().ModelSpace()) {
        const EntityData &e = w.drawing().Get(id);
        if (e.kind == kind) out.push_back(e);
    }
    return out;
}

void Box(CadWindow &w, double x0, double y0, double x1, double y1, double height) {
    EntityData e;
    e.kind = EntityKind::LwPolyline;
    e.layer = "BLD";
    e.closed = true;
    e.thickness = height;
    e.vertices = {{{x0, y0, 0}, 0}, {{x1, y0, 0}, 0}, {{x1, y1, 0}, 0}, {{x0, y1, 0}, 0}};
    w.drawing().Add(e);
}

// Only the listed hour items checked ("1.5Hr" is index 0, "8.0Hr" index 13).
void CheckHours(TForm1 &f, std::initializer_list<int> items) {
    f.CheckListBox1.checked.assign(14, false);
    for (int i : items) f.CheckListBox1.checked[static_cast<std::size_t>(i)] = true;
}

// A window with one 10 x 8 m building, 9 m high, the 60-second interval and a clock that
// advances one second per reading.
struct BoxWindow : CadWindow {
    explicit BoxWindow(std::initializer_list<int> hours) {
        Box(*this, 10000, 10000, 20000, 18000, 9000);
        Acquire("", {EntityQuery{}});
        form.RadioGroup5.itemIndex = 2;
        CheckHours(form, hours);
        form.ElapsedClock = [this] {
            return std::chrono::steady_clock::time_point{} + std::chrono::seconds(ticks++);
        };
    }
    int ticks = 0;
};

// Buttons, run flag and progress bar given back; the undo group closed.
void ExpectIdle(CadWindow &w) {
    EXPECT_FALSE(w.doc().undoGroupOpen());
    for (const TButton *b : {&w.form.Button2, &w.form.Button3, &w.form.Button4, &w.form.Button5,
                             &w.form.Button6, &w.form.Button8, &w.form.Button9, &w.form.Button11})
        EXPECT_TRUE(b->enabled) << b->name;
    EXPECT_FALSE(w.form.Button7.enabled);
    EXPECT_FALSE(w.form.RunFlag);
    EXPECT_EQ(w.form.ProgressBar1.position, 0);
}

// Nothing written beside the program or inserted into the drawing.
void ExpectUntouched(CadWindow &w, std::size_t entities) {
    EXPECT_TRUE(w.doc().commands().empty());
    EXPECT_EQ(w.drawing().ModelSpace().size(), entities);
    EXPECT_EQ(w.drawing().FindBlock("PIMU_1"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(w.dir / "PIMU_1.dxf"));
    ExpectIdle(w);
}

TEST(Touji, SiteDiagramEndToEnd) {
    CadWindow w;
    w.Acquire(kSiteSmall, {OnLayer("BLD"), OnLayer("TOWER")});
    w.form.RadioGroup5.itemIndex = 2;  // 60 seconds: 1200 cells
    CheckHours(w.form, {1, 5});        // "2.0Hr", "4.0Hr"
    int ticks = 0;
    w.form.ElapsedClock = [&] {
        return std::chrono::steady_clock::time_point{} + std::chrono::seconds(ticks++ * 61);
    };

    // The preview frames the same extent the command counts over.
    w.form.PageControl1Change(1);
    const std::string preview = w.form.Label22.caption;
    ASSERT_EQ(preview.rfind("ﾒｯｼｭｻｲｽﾞ : ", 0), 0u) << preview;

    std::vector<std::string> statuses;
    w.host.onPendingEvents = [&] {
        if (statuses.empty() || statuses.back() != w.form.Label2.caption)
            statuses.push_back(w.form.Label2.caption);
    };
    w.form.Button6Click();
    EXPECT_TRUE(w.Messages().empty());

    const auto file = w.dir / "PIMU_1.dxf";
    ASSERT_TRUE(std::filesystem::exists(file));
    ASSERT_EQ(w.doc().commands().size(), 1u);
    EXPECT_EQ(w.doc().commands()[0], "-INsERT\r\"*" + file.string() + "\"\r0,0 1 0\r");
    const std::string bytes = ReadBytes(file);
    if (std::getenv("PIMU_UPDATE_GOLDEN")) std::ofstream(kGolden, std::ios::binary) << bytes;
    EXPECT_EQ(bytes, ReadBytes(kGolden)) << "regenerate with PIMU_UPDATE_GOLDEN=1";

    // Closed outlines on the layer, longest hour first, each with its label in the hour's colour.
    const std::vector<EntityData> outlines = ModelEntities(w, EntityKind::Polyline2d);
    std::vector<EntityData> labels, meshText;
    for (const EntityData &t : ModelEntities(w, EntityKind::Text))
        if (t.layer == "PIMU_TOUJI")
            (t.text.ends_with(" mm/mesh") ? meshText : labels).push_back(t);
    ASSERT_GE(outlines.size(), 2u);
    ASSERT_EQ(labels.size(), outlines.size());
    std::vector<std::string> hours;
    for (std::size_t i = 0; i < outlines.size(); ++i) {
        EXPECT_EQ(outlines[i].layer, "PIMU_TOUJI");
        EXPECT_TRUE(outlines[i].closed);
        EXPECT_EQ(outlines[i].elevation, 4000.0);
        EXPECT_GE(outlines[i].vertices.size(), 3u);
        EXPECT_EQ(labels[i].layer, "PIMU_TOUJI");
        EXPECT_EQ(labels[i].height, 300.0);
        EXPECT_EQ(outlines[i].color, labels[i].color);
        EXPECT_EQ(outlines[i].color, labels[i].text == "4.0Hr" ? 2 : 3) << labels[i].text;
        // The label sits on the outline's northernmost vertex (north is up).
        double ymax = -1e300;
        for (const auto &v : outlines[i].vertices) ymax = std::max(ymax, v.pt.y);
        EXPECT_NEAR(labels[i].p1.y, ymax, 1e-6);
        if (hours.empty() || hours.back() != labels[i].text) hours.push_back(labels[i].text);
    }
    EXPECT_EQ(hours, (std::vector<std::string>{"4.0Hr", "2.0Hr"}));

    // The mesh size in the drawing, on the tab, and as the preview showed it.
    ASSERT_EQ(meshText.size(), 1u);
    EXPECT_EQ(meshText[0].color, 256);
    EXPECT_EQ(w.form.Label22.caption, preview);
    EXPECT_EQ("ﾒｯｼｭｻｲｽﾞ : " + meshText[0].text.substr(0, meshText[0].text.size() - 8), preview);
    EXPECT_EQ(w.form.Label2.caption.rfind("所要時間 : 0:", 0), 0u) << w.form.Label2.caption;

    // What the tab showed on the way: the instants, then the hours.
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "時刻：08:00"), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "時刻：15:59"), statuses.end());
    EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "時刻：16:00"), statuses.end());
    const auto hour4 = std::find(statuses.begin(), statuses.end(), "等時間：4.0Hr");
    const auto hour2 = std::find(statuses.begin(), statuses.end(), "等時間：2.0Hr");
    EXPECT_LT(hour4, hour2);
    EXPECT_NE(hour2, statuses.end());

    EXPECT_EQ(w.doc().undoGroups(), 1u);
    EXPECT_FALSE(w.doc().undoGroupOpen());
    EXPECT_EQ(w.doc().regenCount(), 1);
    ExpectIdle(w);
}

TEST(Touji, FullRangeHourAndSmoothing) {
    // 8:00-16:00 at 60 s samples 480 instants: "8.0Hr" needs all of them. Its outline
    // encloses the footprint, which is shaded all day.
    for (bool smoothing : {false, true}) {
        SCOPED_TRACE(smoothing);
        BoxWindow w({13});
        w.form.CheckBox8.checked = smoothing;
        w.form.Button6Click();
        EXPECT_TRUE(w.Messages().empty());
        const std::vector<EntityData> outlines = ModelEntities(w, EntityKind::Polyline2d);
        ASSERT_EQ(outlines.size(), 1u);
        EXPECT_EQ(outlines[0].color, 5);
        double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
        for (const auto &v : outlines[0].vertices) {
            x0 = std::min(x0, v.pt.x);
            y0 = std::min(y0, v.pt.y);
            x1 = std::max(x1, v.pt.x);
            y1 = std::max(y1, v.pt.y);
        }
        const double cell = 200.0;  // well above the fine cells of this small extent
        EXPECT_NEAR(x0, 10000, cell);
        EXPECT_NEAR(x1, 20000, cell);
        EXPECT_NEAR(y0, 10000, cell);
        EXPECT_GT(y1, 18000);
        const std::vector<EntityData> texts = ModelEntities(w, EntityKind::Text);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].text, "8.0Hr");
        EXPECT_EQ(texts[0].color, 5);
    }
    // Smoothing thins the cell-by-cell outline.
    BoxWindow plain({5}), smooth({5});
    plain.form.CheckBox8.checked = false;
    smooth.form.CheckBox8.checked = true;
    plain.form.Button6Click();
    smooth.form.Button6Click();
    const auto a = ModelEntities(plain, EntityKind::Polyline2d);
    const auto b = ModelEntities(smooth, EntityKind::Polyline2d);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_LT(b[0].vertices.size() * 2, a[0].vertices.size());
    EXPECT_EQ(ReadBytes(plain.dir / "PIMU_1.dxf").find(" 62\r\n2\r\n") != std::string::npos, true);
}

TEST(Touji, RefusedBeforeAnythingIsDrawn) {
    struct Case {
        const char *what;
        std::function<void(TForm1 &)> set;
        const char *expect;  // part of the message
    };
    const Case cases[] = {
        {"nothing checked", [](TForm1 &f) { CheckHours(f, {}); }, "チェック"},
        {"plane height", [](TForm1 &f) { f.Edit4.text = "4,0"; }, "測定面の高さ"},
        {"text height", [](TForm1 &f) { f.Edit38.text = "big"; }, "文字高さ"},
        {"layer", [](TForm1 &f) { f.Edit28.text = "PIMU\nTOUJI"; }, ""},
        {"longitude", [](TForm1 &f) { f.Edit43.text = "x"; }, "経度"},
        {"before the sun", [](TForm1 &f) { f.Edit2.text = "7"; }, "7.5 ～ 16.5"},
        {"after the sun", [](TForm1 &f) { f.Edit7.text = "17"; }, "7.5 ～ 16.5"},
        {"reversed range",
         [](TForm1 &f) {
             f.Edit2.text = "12";
             f.Edit7.text = "10";
         },
         "開始時刻より後"},
        {"empty range", [](TForm1 &f) { f.Edit7.text = "8"; }, "開始時刻より後"},
        {"latitude past the pole", [](TForm1 &f) { f.Edit3.text = "-91"; }, "-90 ～ 90"},
        // An interval the window does not offer (only an edited settings file gives one).
        {"interval", [](TForm1 &f) { f.RadioGroup5.itemIndex = 7; }, "Touji/kankaku2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        BoxWindow w({5});
        const std::size_t entities = w.drawing().ModelSpace().size();
        c.set(w.form);
        w.form.Button6Click();
        ASSERT_EQ(w.Messages().size(), 1u);
        EXPECT_NE(w.Messages()[0].find(c.expect), std::string::npos) << w.Messages()[0];
        EXPECT_EQ(w.host.messages[0].caption, kAppTitle);
        EXPECT_EQ(w.drawing().FindLayer("PIMU_TOUJI"), nullptr);
        EXPECT_EQ(w.doc().undoGroups(), 0u);
        ExpectUntouched(w, entities);
    }

    // No buildings yet; no CAD.
    CadWindow empty;
    empty.form.Button6Click();
    EXPECT_EQ(empty.Messages(), std::vector<std::string>{"基準データが作成されていません．"});
    RecordingUiHost host;
    RecordingCadConnection cad;
    cad.running = false;
    testing::TempDir dir;
    TForm1 f(FormPaths{dir.path(), "pimu.exe"}, host, &cad);
    f.Model.SetEdges({{0, {0, 0, 5000}, {1000, 0, 5000}}});
    f.Button6Click();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "有効な CAD が見つかりません．");
}

TEST(Touji, NothingReachesTheHours) {
    // A building below the plane shades nothing: told once, the drawing not touched.
    CadWindow w;
    Box(w, 10000, 10000, 20000, 18000, 3000);
    w.Acquire("", {EntityQuery{}});
    w.form.RadioGroup5.itemIndex = 2;
    CheckHours(w.form, {0});
    const std::size_t entities = w.drawing().ModelSpace().size();
    w.form.Button6Click();
    EXPECT_EQ(w.Messages(), std::vector<std::string>{"指定された等時間の日影線はありません．"});
    EXPECT_EQ(w.doc().undoGroups(), 0u);
    ExpectUntouched(w, entities);
}

TEST(Touji, InstantsWithoutSunAreLeftOutAndTold) {
    // At 62 degrees north in winter the sun rises after 9:00 and sets before 15:00.
    BoxWindow w({0});
    w.form.Edit3.text = "62";
    w.form.Button6Click();
    // First that 62 degrees lies outside Japan (the command goes on), then the instants.
    ASSERT_EQ(w.Messages().size(), 2u);
    EXPECT_NE(w.Messages()[0].find("日本の範囲"), std::string::npos) << w.Messages()[0];
    EXPECT_NE(w.Messages()[1].find("太陽が地平線より下にある時刻"), std::string::npos)
        << w.Messages()[1];
    EXPECT_EQ(w.doc().commands().size(), 1u);  // what was counted is still drawn
}

TEST(Touji, StopLeavesNothingInTheDrawing) {
    struct Case {
        const char *phase;  // Label2 while the stop is clicked
        int at;             // at the n-th event of that phase
        bool traced;        // whether an hour was reached
    };
    const Case cases[] = {
        {"", 1, false},        // during the extent pass: stops at the first instant
        {"時刻：", 1, false},  // the first instant of the counting
        {"時刻：", 200, false}, {"等時間：", 1, true},  // the first step of the tracing
        {"等時間：", 40, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.phase) + std::to_string(c.at));
        BoxWindow w({1, 5});
        const std::size_t entities = w.drawing().ModelSpace().size();
        int seen = 0;
        int afterStop = 0;  // the window's events handled once the stop was clicked
        bool hourSeen = false;
        w.host.onPendingEvents = [&] {
            const std::string &label = w.form.Label2.caption;
            if (label.rfind("等時間：", 0) == 0) hourSeen = true;
            if (seen == c.at) ++afterStop;
            if (!w.form.RunFlag) return;
            if (std::string(c.phase).empty() ? label.empty() : label.rfind(c.phase, 0) == 0) {
                if (++seen == c.at) w.form.Button7Click();
            }
        };
        w.form.Button6Click();
        EXPECT_EQ(seen, c.at);
        EXPECT_LE(afterStop, 1);  // the next look at the stop ends the run, in whichever pass
        EXPECT_EQ(hourSeen, c.traced);
        EXPECT_TRUE(w.Messages().empty());
        EXPECT_EQ(w.doc().undoGroups(), 0u);  // the drawing is not touched until the end
        ExpectUntouched(w, entities);
    }
}

TEST(Touji, BorderMessageHasItsOwnCaptionAndTheNextHourGoesOn) {
    // A counted grid with two regions long enough for "4.0Hr" (240 at 60 s): one well inside,
    // found first, and one running into the raster's south-east corner.
    BoxWindow w({1, 5});
    shadow::ShadowCountGrid &grid = w.form.CountGrid();
    grid.Clear();
    const shadow::RasterGeometry raster{0.0, 0.0, 100.0, 64};
    for (int r = 10; r < 20; ++r)
        for (int k = 10; k < 20; ++k) grid.At(r, k) = 300;
    for (int r = 56; r < 64; ++r)
        for (int k = 56; k < 64; ++k) grid.At(r, k) = 300;
    shadow::ContourSettings settings;
    settings.Checked[1] = settings.Checked[5] = true;
    settings.StepMinutes = 1.0;
    shadow::ShadowBitmap bitmap(raster.N);
    const shadow::ContourRun run =
        shadow::TraceToujiContours(grid, raster, bitmap, settings, NoProgress());
    EXPECT_FALSE(run.Stopped);
    w.form.ShowToujiIssues(run.Issues);
    ASSERT_EQ(w.host.messages.size(), 2u);
    for (const auto &m : w.host.messages) {
        EXPECT_EQ(m.caption, "Pimu");
        EXPECT_EQ(m.owner, "Form1");
    }
    EXPECT_EQ(w.host.messages[0].text,
              "等時間：4.0Hr 時刻範囲を超えているため、作成しません．(1) ");
    EXPECT_EQ(w.host.messages[1].text,
              "等時間：2.0Hr 時刻範囲を超えているため、作成しません．(1) ");
    // The outline traced before the border is kept, and the next hour is still drawn.
    ASSERT_EQ(run.Outlines.size(), 2u);
    EXPECT_EQ(run.Outlines[0].ItemText, "4.0Hr");
    EXPECT_EQ(run.Outlines[1].ItemText, "2.0Hr");
}

TEST(Touji, MeshPreviewRunsOnlyWhenItsInputsChange) {
    BoxWindow w({5});
    int events = 0;
    w.host.onPendingEvents = [&] { ++events; };
    w.form.CheckListBox1Click();
    const std::string at60 = w.form.Label22.caption;
    ASSERT_EQ(at60.rfind("ﾒｯｼｭｻｲｽﾞ : ", 0), 0u);
    EXPECT_GT(events, 200);  // the extent pass at 2-minute steps
    EXPECT_EQ(w.form.GB_toujiidx, 5);
    EXPECT_EQ(w.form.GB_hyoukaidx, 2);

    // The same first hour and interval: nothing is rerun.
    events = 0;
    w.form.CheckListBox1.checked[9] = true;
    w.form.CheckListBox1Click();
    EXPECT_EQ(events, 0);
    EXPECT_EQ(w.form.Label22.caption, at60);

    // A finer interval: the same extent over more cells.
    w.form.RadioGroup5.itemIndex = 0;
    w.form.RadioGroup5Click();
    EXPECT_GT(events, 0);
    const double c60 = std::stod(at60.substr(at60.find(':') + 2));
    const std::string at10 = w.form.Label22.caption;
    EXPECT_NEAR(std::stod(at10.substr(at10.find(':') + 2)), c60 * 1200 / 2000, 0.06);

    // A longer first hour frames a smaller area.
    w.form.CheckListBox1.checked[5] = false;
    w.form.CheckListBox1Click();
    EXPECT_LT(std::stod(w.form.Label22.caption.substr(at10.find(':') + 2)),
              std::stod(at10.substr(at10.find(':') + 2)));

    // Only while the command can run; a bad field shows nothing and is retried next time.
    events = 0;
    w.form.Button6.enabled = false;
    w.form.RadioGroup5.itemIndex = 1;
    w.form.RadioGroup5Click();
    EXPECT_EQ(events, 0);
    w.form.Button6.enabled = true;
    w.form.Edit4.text = "x";
    w.form.RadioGroup5Click();
    EXPECT_EQ(w.form.Label22.caption, "");
    EXPECT_TRUE(w.Messages().empty());
    w.form.Edit4.text = "4";
    w.form.RadioGroup5Click();
    EXPECT_NE(w.form.Label22.caption, "");
}

}  // namespace
}  // namespace pimu::app
