// The time-of-day shadow diagram end to end: acquisition, outlines of every instant, the DXF
// file, its insertion into the embedded drawing, stopping and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "cad_fixture.h"
#include "cadlink/embedded/drawing.h"
#include "cadlink/textcodec.h"

namespace pimu::app {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using testing::CadWindow;
using testing::EntityQuery;
using testing::kSiteSmall;
using testing::OnLayer;

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

// A closed box footprint with a height, as the user draws it.
void Box(CadWindow &w, double x0, double y0, double x1, double y1, double height) {
    EntityData e;
    e.kind = EntityKind::LwPolyline;
    e.layer = "BLD";
    e.closed = true;
    e.thickness = height;
    e.vertices = {{{x0, y0, 0}, 0}, {{x1, y0, 0}, 0}, {{x1, y1, 0}, 0}, {{x0, y1, 0}, 0}};
    w.drawing().Add(e);
}

const std::string kGolden = std::string(PIMU_TEST_DATA) + "/golden/jikoku_site_small.dxf";

// Labels of the inserted diagram in drawing order, and how many outlines each instant has.
std::vector<std::string> Labels(CadWindow &w) {
    std::vector<std::string> out;
    for (const EntityData &e : ModelEntities(w, EntityKind::Text))
        if (e.layer == "PIMU_JIKOKU") out.push_back(e.text);
    return out;
}

TEST(Jikoku, SiteDiagramEndToEnd) {
    CadWindow w;
    w.Acquire(kSiteSmall, {OnLayer("BLD"), OnLayer("TOWER")});
    w.form.Edit11.text = "0.5";
    const long long waitedBefore = w.cad.Waits().totalMs;
    int maxSeen = 0;
    w.host.onPendingEvents = [&] { maxSeen = w.form.ProgressBar1.max; };
    w.form.Button3Click();
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_EQ(maxSeen, 17);

    // The file beside the program, named after a new block, inserted exploded at the origin.
    const auto file = w.dir / "PIMU_1.dxf";
    ASSERT_TRUE(std::filesystem::exists(file));
    ASSERT_EQ(w.doc().commands().size(), 1u);
    EXPECT_EQ(w.doc().commands()[0], "-INSERT\r\"*" + file.string() + "\"\r0,0 1 0\r");
    EXPECT_EQ(w.cad.Waits().totalMs - waitedBefore, 100);  // after saving, before inserting
    // Other CADs keep the definition the insertion made; the next name counts past it.
    EXPECT_NE(w.drawing().FindBlock("PIMU_1"), nullptr);
    const std::string bytes = ReadBytes(file);
    if (std::getenv("PIMU_UPDATE_GOLDEN")) {
        std::ofstream(kGolden, std::ios::binary) << bytes;
    }
    EXPECT_EQ(bytes, ReadBytes(kGolden)) << "regenerate with PIMU_UPDATE_GOLDEN=1";

    const std::vector<EntityData> outlines = ModelEntities(w, EntityKind::Polyline2d);
    const std::vector<std::string> labels = Labels(w);
    // Building A, the tower ring and building B stand apart: three outlines per instant, each
    // with its label, until 16:00, when the long shadow of A reaches the tower's. Half hours are
    // dashed, whole hours in the layer's own linetype.
    std::vector<int> instantOf;
    for (int half = 0; half < 17; ++half)
        for (int k = 0; k < (half == 16 ? 2 : 3); ++k) instantOf.push_back(half);
    ASSERT_EQ(outlines.size(), instantOf.size());
    ASSERT_EQ(labels.size(), outlines.size());
    for (std::size_t i = 0; i < outlines.size(); ++i) {
        const int half = instantOf[i];  // 0 = 08:00, 1 = 08:30, ...
        const std::string time = (8 + half / 2 < 10 ? "0" : "") + std::to_string(8 + half / 2) +
                                 (half % 2 ? ":30" : ":00");
        EXPECT_EQ(labels[i], time) << i;
        EXPECT_EQ(outlines[i].layer, "PIMU_JIKOKU");
        EXPECT_EQ(outlines[i].linetype, half % 2 ? "HIDDEN2" : "BYLAYER") << i;
        EXPECT_TRUE(outlines[i].closed);
        EXPECT_EQ(outlines[i].elevation, 4000.0);
    }
    EXPECT_NE(w.drawing().FindLayer("PIMU_JIKOKU"), nullptr);
    EXPECT_NE(w.drawing().FindLinetype("HIDDEN2"), nullptr);
    EXPECT_EQ(w.doc().undoGroups(), 1u);
    EXPECT_FALSE(w.doc().undoGroupOpen());
    EXPECT_EQ(w.doc().regenCount(), 1);

    // Buttons and progress given back.
    EXPECT_TRUE(w.form.Button2.enabled);
    EXPECT_TRUE(w.form.Button3.enabled);
    EXPECT_FALSE(w.form.Button10.enabled);
    EXPECT_FALSE(w.form.Button17.enabled);
    EXPECT_FALSE(w.form.RunFlag);
    EXPECT_EQ(w.form.ProgressBar1.position, 0);

    // The next diagram gets the next name.
    w.form.Button3Click();
    EXPECT_TRUE(std::filesystem::exists(w.dir / "PIMU_2.dxf"));
}

TEST(Jikoku, PcadDropsTheInsertedDefinition) {
    CadWindow w;
    Box(w, 10000, 10000, 20000, 18000, 9000);
    w.Acquire("", {EntityQuery{}});
    w.form.ProgID = "PCAD.Application";
    w.form.Button3Click();
    EXPECT_TRUE(w.Messages().empty());
    ASSERT_EQ(w.doc().commands().size(), 2u);  // the dashed linetype is loaded by command
    EXPECT_EQ(w.doc().commands()[0].rfind("-LINETYPE", 0), 0u);
    EXPECT_EQ(ModelEntities(w, EntityKind::Polyline2d).size(), 9u);
    EXPECT_EQ(w.drawing().FindBlock("PIMU_1"), nullptr);
}

TEST(Jikoku, OutlinesPerInstantByModel) {
    struct Case {
        const char *name;
        std::function<void(CadWindow &)> draw;
        std::size_t perInstant;
    };
    const Case cases[] = {
        {"two separate buildings",
         [](CadWindow &w) {
             Box(w, 10000, 10000, 20000, 18000, 9000);
             Box(w, 80000, 10000, 86000, 14000, 6000);
         },
         2},
        {"courtyard: only the outer outline unless holes are asked for",
         [](CadWindow &w) {
             Box(w, 10000, 10000, 40000, 40000, 12000);
             Box(w, 20000, 20000, 30000, 30000, 12000);
         },
         1},
        {"partly overlapping walls",
         [](CadWindow &w) {
             Box(w, 10000, 10000, 20000, 20000, 9000);
             Box(w, 20000, 15000, 30000, 30000, 6000);
         },
         1},
        {"all below the plane: nothing",
         [](CadWindow &w) {
             Box(w, 10000, 10000, 20000, 20000, 3000);
             Box(w, 50000, 10000, 60000, 20000, 2000);
         },
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CadWindow w;
        c.draw(w);
        w.Acquire("", {EntityQuery{}});
        w.form.Button3Click();
        EXPECT_TRUE(w.Messages().empty());
        EXPECT_EQ(ModelEntities(w, EntityKind::Polyline2d).size(), 9 * c.perInstant);
        EXPECT_EQ(Labels(w).size(), 9 * c.perInstant);
    }
}

TEST(Jikoku, SingleBoxAtNoonWithAzimuthLabels) {
    CadWindow w;
    Box(w, 10000, 10000, 20000, 18000, 9000);
    w.Acquire("", {EntityQuery{}});
    w.form.Edit2.text = "10";
    w.form.Edit7.text = "12";
    w.form.Edit11.text = "2";
    w.form.CheckBox11.checked = false;
    w.form.Button3Click();
    EXPECT_EQ(Labels(w), (std::vector<std::string>{"10:00 -30.17%%d", "12:00 0.00%%d"}));
    // At noon with north up the shadow falls straight north: the label sits on the outline's
    // northmost vertex, and the outline spans the box's width.
    const std::vector<EntityData> outlines = ModelEntities(w, EntityKind::Polyline2d);
    ASSERT_EQ(outlines.size(), 2u);
    double ymax = 0, xmin = 1e9, xmax = 0;
    for (const auto &v : outlines[1].vertices) {
        ymax = std::max(ymax, v.pt.y);
        xmin = std::min(xmin, v.pt.x);
        xmax = std::max(xmax, v.pt.x);
    }
    EXPECT_NEAR(xmin, 10000, 1e-6);
    EXPECT_NEAR(xmax, 20000, 1e-6);
    EXPECT_GT(ymax, 18000 + 5000);  // 5 m above the plane cast well over 5 m in winter
    const EntityData label = ModelEntities(w, EntityKind::Text).back();
    EXPECT_NEAR(label.p1.y, ymax, 1e-6);
    EXPECT_EQ(label.height, 300.0);
}

TEST(Jikoku, RepeatedAdditionStillReachesTheEndTime) {
    const auto run = [](const char *t0, const char *t1, const char *dt) {
        auto w = std::make_unique<CadWindow>();
        Box(*w, 10000, 10000, 20000, 18000, 9000);
        w->Acquire("", {EntityQuery{}});
        w->form.Edit2.text = t0;
        w->form.Edit7.text = t1;
        w->form.Edit11.text = dt;
        w->form.Button3Click();
        EXPECT_TRUE(w->Messages().empty());
        return w;
    };
    // 7.5 + 0.9 added ten times passes 16.5 by a hair: the last instant is still drawn, and
    // with the sun of 16:30, not a made-up one.
    auto w = run("7.5", "16.5", "0.9");
    const std::vector<std::string> labels = Labels(*w);
    ASSERT_EQ(labels.size(), 11u);
    EXPECT_EQ(labels.back(), "16:30");
    auto direct = run("16.5", "16.5", "1");
    const EntityData last = ModelEntities(*w, EntityKind::Polyline2d).back();
    const EntityData exact = ModelEntities(*direct, EntityKind::Polyline2d).back();
    ASSERT_EQ(last.vertices.size(), exact.vertices.size());
    for (std::size_t i = 0; i < last.vertices.size(); ++i) {
        EXPECT_NEAR(last.vertices[i].pt.x, exact.vertices[i].pt.x, 1e-6);
        EXPECT_NEAR(last.vertices[i].pt.y, exact.vertices[i].pt.y, 1e-6);
    }

    // 8 + 0.1 added ten times is a hair below 9: still a whole hour, solid, not dashed.
    w = run("8", "9", "0.1");
    ASSERT_EQ(Labels(*w).size(), 11u);
    EXPECT_EQ(Labels(*w).back(), "09:00");
    EXPECT_EQ(ModelEntities(*w, EntityKind::Polyline2d).back().linetype, "BYLAYER");
}

TEST(Jikoku, BadInputStopsBeforeAnythingIsDrawn) {
    struct Case {
        const char *field;
        const char *text;
        const char *expect;  // part of the message
    };
    const Case cases[] = {
        {"Edit11", "0", "間隔"},
        {"Edit11", "-0.5", "間隔"},
        {"Edit11", "abc", "間隔"},
        {"Edit11", "0.00001", "間隔"},
        {"Edit11", "0.0009", "間隔が小さすぎます"},  // 8,900 instants: minutes of work
        {"Edit2", "12x", "時刻（開始）"},
        {"Edit7", "", "時刻（終了）"},
        {"Edit2", "17", "開始時刻が終了時刻より後"},
        {"Edit2", "7", "7.5 ～ 16.5"},
        {"Edit7", "17", "7.5 ～ 16.5"},
        {"Edit4", "4,0", "測定面の高さ"},
        {"Edit3", "", "緯度（度）"},
        {"Edit3", "91", "緯度は -90 ～ 90 度の範囲"},
        {"Edit3", "-91", "緯度は -90 ～ 90 度の範囲"},
        {"Edit5", "30", "緯度は -90 ～ 90 度の範囲"},  // 90 degrees and 30 minutes
        {"Edit3", "1e308", "緯度は -90 ～ 90 度の範囲"},
        {"Edit12", "north", "真北"},
        {"Edit38", "big", "文字高さ"},
        {"Edit27", "PIMU\nJIKOKU", ""},
        {"Edit43", "x", "経度"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.field) + " = " + c.text);
        CadWindow w;
        Box(w, 10000, 10000, 20000, 18000, 9000);
        w.Acquire("", {EntityQuery{}});
        const std::size_t entities = w.drawing().ModelSpace().size();
        w.form.Edit3.text = c.field == std::string("Edit5") ? "90" : "35";
        w.form.Edit(c.field).text = c.text;
        w.form.Button3Click();
        ASSERT_EQ(w.Messages().size(), 1u);
        EXPECT_NE(w.Messages()[0].find(c.expect), std::string::npos) << w.Messages()[0];
        EXPECT_TRUE(w.doc().commands().empty());
        EXPECT_EQ(w.drawing().ModelSpace().size(), entities);
        EXPECT_EQ(w.drawing().FindLayer("PIMU_JIKOKU"), nullptr);
        EXPECT_EQ(w.doc().undoGroups(), 0u);
        EXPECT_FALSE(std::filesystem::exists(w.dir / "PIMU_1.dxf"));
        EXPECT_TRUE(w.form.Button3.enabled);
    }
}

TEST(Jikoku, LatitudeOutsideJapanIsSaidOnceAndDrawn) {
    CadWindow w;
    Box(w, 10000, 10000, 20000, 18000, 9000);
    w.Acquire("", {EntityQuery{}});
    // At 50 degrees in winter the sun is down at 8:00 and 16:00: those instants are said apart.
    const auto latitudeMessages = [&w] {
        std::vector<std::string> out;
        for (const std::string &m : w.Messages())
            if (m.find("日本の範囲") != std::string::npos) out.push_back(m);
        return out;
    };
    w.form.Edit3.text = "50";
    w.form.Button3Click();
    w.form.Button3Click();  // the same latitude: not said again
    ASSERT_EQ(latitudeMessages().size(), 1u);
    EXPECT_NE(latitudeMessages()[0].find("緯度 50 度は日本の範囲"), std::string::npos);
    EXPECT_EQ(w.doc().commands().size(), 2u);  // both diagrams drawn
    w.form.Edit3.text = "-35";                 // another latitude: said again
    w.form.Button3Click();
    EXPECT_EQ(latitudeMessages().size(), 2u);
    w.form.Edit3.text = "35";
    w.form.Button3Click();
    EXPECT_EQ(latitudeMessages().size(), 2u);
    EXPECT_EQ(w.doc().commands().size(), 4u);
}

TEST(Jikoku, StopLeavesNothingInTheDrawing) {
    // Stopped at the 1st, a middle and a late chance to stop: instants, building edges, traces.
    for (int k : {1, 2, 30, 200, 600}) {
        SCOPED_TRACE(k);
        CadWindow w;
        w.Acquire(kSiteSmall, {OnLayer("BLD")});
        const std::size_t entities = w.drawing().ModelSpace().size();
        int calls = 0;
        w.host.onPendingEvents = [&] {
            if (++calls == k) w.form.Button10Click();
        };
        w.form.Button3Click();
        EXPECT_GE(calls, k);
        EXPECT_TRUE(w.doc().commands().empty());
        EXPECT_EQ(w.drawing().ModelSpace().size(), entities);
        EXPECT_EQ(w.drawing().FindBlock("PIMU_1"), nullptr);
        EXPECT_FALSE(std::filesystem::exists(w.dir / "PIMU_1.dxf"));
        EXPECT_TRUE(w.form.Button2.enabled);
        EXPECT_TRUE(w.form.Button3.enabled);
        EXPECT_FALSE(w.form.Button10.enabled);
        EXPECT_EQ(w.form.ProgressBar1.position, 0);
        EXPECT_FALSE(w.doc().undoGroupOpen());
    }
}

TEST(Jikoku, AStrayWallBelowThePlaneDoesNotSpoilTheDiagram) {
    // A lone wall 1 mm high (below the plane), west of the building, is the left-most vertex of
    // the graph; it casts no shadow and must not stop the building's outline from being traced.
    CadWindow w;
    Box(w, 40000, 10000, 50000, 18000, 9000);
    w.doc().ModelSpace().AddLine({1000, 5000, 1}, {1000, 9000, 1});
    w.Acquire("", {EntityQuery{}});
    w.form.Edit2.text = "9";
    w.form.Edit7.text = "10";
    w.form.Button3Click();
    EXPECT_TRUE(w.Messages().empty());
    ASSERT_EQ(w.doc().commands().size(), 1u);
}

TEST(Jikoku, HolesDrawnOnlyWhenAskedInTheOutlinesLayerAndLinetype) {
    // Four wings round a court: at noon the south wing shades only part of the court.
    for (bool holes : {false, true}) {
        SCOPED_TRACE(holes);
        CadWindow w;
        Box(w, 0, 0, 40000, 8000, 12000);
        Box(w, 0, 52000, 40000, 60000, 12000);
        Box(w, 0, 8000, 8000, 52000, 12000);
        Box(w, 32000, 8000, 40000, 52000, 12000);
        w.Acquire("", {EntityQuery{}});
        w.form.Edit2.text = "11.5";
        w.form.Edit7.text = "12";
        w.form.Edit11.text = "0.5";
        w.form.CheckBox16.checked = holes;
        w.form.Button3Click();
        EXPECT_TRUE(w.Messages().empty());
        const std::vector<EntityData> lines = ModelEntities(w, EntityKind::Polyline2d);
        ASSERT_EQ(Labels(w).size(), 2u);  // one outline (and label) per instant
        ASSERT_EQ(lines.size(), holes ? 4u : 2u);
        // Outline, its hole; dashed at 11:30, the layer's linetype at 12:00.
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].layer, "PIMU_JIKOKU");
            EXPECT_TRUE(lines[i].closed);
            const bool dashed = holes ? i < 2 : i < 1;
            EXPECT_EQ(lines[i].linetype, dashed ? "HIDDEN2" : "BYLAYER") << i;
        }
    }
}

TEST(Jikoku, InstantsWithoutSunAreSkippedAndSaid) {
    CadWindow w;
    Box(w, 10000, 10000, 20000, 18000, 9000);
    w.Acquire("", {EntityQuery{}});
    w.form.Edit3.text = "66";
    w.form.Button3Click();
    ASSERT_EQ(w.Messages().size(), 2u);  // outside Japan, then the skipped instants
    EXPECT_NE(w.Messages()[1].find("08:00, 09:00"), std::string::npos) << w.Messages()[1];
    EXPECT_NE(w.Messages()[1].find("16:00）"), std::string::npos) << w.Messages()[1];
    const std::vector<std::string> labels = Labels(w);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "08:00"), 0);
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "12:00"), 1);
}

TEST(Jikoku, NoModelNoAnimationAndTheExtent) {
    CadWindow w;
    w.form.Button3Click();
    EXPECT_EQ(w.Messages(), std::vector<std::string>{"建物の図形が取得されていません．"});
    w.form.Button17Click();
    EXPECT_EQ(w.Messages().back(), "[アニメ]には対応していません．");
    double x0 = 1, y0 = 2, x1 = 3, y1 = 4;
    EXPECT_FALSE(w.form.GetPimuHani(x0, y0, x1, y1));
    EXPECT_EQ(x0, 1.0);

    Box(w, 10000, 10000, 20000, 18000, 9000);
    w.Acquire("", {EntityQuery{}});
    ASSERT_TRUE(w.form.GetPimuHani(x0, y0, x1, y1));
    EXPECT_EQ(y0, 10000.0);
    EXPECT_GT(y1, 18000.0 + 5000.0);  // the winter shadows reach far north
    EXPECT_LT(x0, 10000.0);
    EXPECT_GT(x1, 20000.0);
}

}  // namespace
}  // namespace pimu::app
