// The commands of the smaller tools end to end on the embedded drawing: the deemed boundary lines,
// the shadow ratio table drawn into the drawing, and the equation-of-time tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cad_fixture.h"
#include "solar/eqtime.h"

namespace pimu::app::testing {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using namespace std::chrono;

std::vector<EntityData> Added(CadWindow &w, std::size_t before) {
    std::vector<EntityData> out;
    const auto &ids = w.drawing().ModelSpace();
    for (std::size_t i = before; i < ids.size(); ++i) out.push_back(w.drawing().Get(ids[i]));
    return out;
}

void AddEntity(CadWindow &w, EntityData e) {
    e.layer = "SITE";
    w.drawing().Add(e);
}

EntityData Line(double x0, double y0, double x1, double y1) {
    EntityData e;
    e.kind = EntityKind::Line;
    e.p1 = {x0, y0, 0};
    e.p2 = {x1, y1, 0};
    return e;
}

EntityData ClosedPolyline(std::vector<std::pair<double, double>> xy) {
    EntityData e;
    e.kind = EntityKind::LwPolyline;
    e.closed = true;
    for (auto [x, y] : xy) e.vertices.push_back({{x, y, 0}, 0});
    return e;
}

std::size_t Count(const std::string &text, const std::string &what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// ---- Deemed boundary lines --------------------------------------------------------------

TEST(Boundary, RectangleSiteGetsBothLinesInsertedAtTheOrigin) {
    CadWindow w;
    AddEntity(w, ClosedPolyline({{0, 0}, {20000, 0}, {20000, 10000}, {0, 10000}}));
    const std::size_t before = w.drawing().ModelSpace().size();
    w.input.Select({OnLayer("SITE")});
    w.form.Button20Click();
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_EQ(w.doc().prompts().front(), "敷地の線分、ポリラインを選択 : \r\n");
    EXPECT_EQ(w.doc().undoGroups(), 1u);
    EXPECT_FALSE(w.doc().undoGroupOpen());
    EXPECT_TRUE(w.form.Model.Empty());  // the buildings are not the site

    // The file: HEADER, no TABLES, the 5000 line first, both closed on layer "0".
    const std::filesystem::path file = w.dir / "PIMU_1.dxf";
    ASSERT_TRUE(std::filesystem::exists(file));
    ASSERT_EQ(w.doc().commands().size(), 1u);
    EXPECT_EQ(w.doc().commands()[0], "-InSERT\r\"*" + file.string() + "\"\r0,0\r1 0\r");
    const std::string text = w.dir.Read("PIMU_1.dxf");
    EXPECT_EQ(text.rfind("  0\r\nSECTION\r\n  2\r\nHEADER\r\n", 0), 0u);
    EXPECT_EQ(text.find("TABLES"), std::string::npos);
    EXPECT_EQ(Count(text, "POLYLINE\r\n  8\r\n0\r\n"), 2u);
    EXPECT_EQ(Count(text, " 70\r\n     1\r\n"), 2u);
    EXPECT_LT(text.find(" 20\r\n-5000\r\n"), text.find(" 20\r\n-10000\r\n"));
    EXPECT_TRUE(text.ends_with("SEQEND\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n"))
        << text.substr(text.size() - 40);

    // In the drawing: two closed polylines with four quarter arcs each.
    const std::vector<EntityData> added = Added(w, before);
    ASSERT_EQ(added.size(), 2u);
    for (std::size_t j = 0; j < 2; ++j) {
        const EntityData &e = added[j];
        EXPECT_EQ(e.layer, "0");
        EXPECT_TRUE(e.closed);
        ASSERT_EQ(e.vertices.size(), 8u);
        const double d = 5000.0 * static_cast<double>(j + 1);
        EXPECT_NEAR(e.vertices[0].pt.x, 0.0, 1e-9);
        EXPECT_NEAR(e.vertices[0].pt.y, -d, 1e-9);
        int arcs = 0;
        for (const auto &v : e.vertices) {
            if (v.bulge == 0.0) continue;
            ++arcs;
            EXPECT_NEAR(v.bulge, std::tan(M_PI / 8.0), 1e-14);
        }
        EXPECT_EQ(arcs, 4);
    }
}

TEST(Boundary, SitesThatDrawNothing) {
    struct Case {
        const char *name;
        std::vector<EntityData> site;
        bool failurePrompt;
    };
    const std::vector<Case> cases = {
        {"nothing selected", {}, false},
        {"two lines", {Line(0, 0, 20000, 0), Line(20000, 0, 20000, 10000)}, false},
        {"three lines that do not close",
         {Line(0, 0, 20000, 0), Line(20000, 0, 20000, 10000), Line(20000, 10000, 0, 10000)},
         true},
    };
    for (const Case &c : cases) {
        CadWindow w;
        for (const EntityData &e : c.site) AddEntity(w, e);
        AddEntity(w, Line(90000, 0, 90001, 0));  // elsewhere, not selected
        const std::size_t before = w.drawing().ModelSpace().size();
        cadlink::embedded::EntityQuery q;
        q.kind = cadlink::embedded::EntityQuery::Kind::Window;
        q.p1 = {-1, -1, 0};
        q.p2 = {30000, 30000, 0};
        w.input.Select({q});
        w.form.Button20Click();
        EXPECT_EQ(w.drawing().ModelSpace().size(), before) << c.name;
        EXPECT_TRUE(w.doc().commands().empty()) << c.name;
        const auto &p = w.doc().prompts();
        EXPECT_EQ(
            std::find(p.begin(), p.end(), "\r\nみなし境界線の作成に失敗しました.\r\n") != p.end(),
            c.failurePrompt)
            << c.name;
        EXPECT_TRUE(w.Messages().empty()) << c.name;
        EXPECT_FALSE(w.doc().undoGroupOpen()) << c.name;
    }
}

TEST(Boundary, CircleAndArcsBecomeChordsOfTheOutline) {
    CadWindow w;
    EntityData circle;
    circle.kind = EntityKind::Circle;
    circle.p1 = {50000, 50000, 0};
    circle.radius = 10000;
    AddEntity(w, circle);
    const std::size_t before = w.drawing().ModelSpace().size();
    w.input.Select({OnLayer("SITE")});
    ASSERT_EQ(w.form.RunCommand(FormCommand::Boundary), CommandOutcome::Ran);
    const std::vector<EntityData> added = Added(w, before);
    ASSERT_EQ(added.size(), 2u);
    // The circle's polygon inscribed in it, 71 sides within 10 mm of it (a site never reaches
    // beyond its circle), each moved out, and an arc at every corner.
    EXPECT_EQ(added[0].vertices.size(), 142u);
    EXPECT_EQ(added[1].vertices.size(), 142u);
}

// ---- The shadow ratio table in the drawing ----------------------------------------------

TEST(RatioTable, DrawnWithTheFallbackTextHeightWhereTheUserPlacesIt) {
    CadWindow w;
    w.form.Edit38.text = "abc";  // not a number: 300
    w.form.PageControl1Change(7);
    ASSERT_EQ(w.form.Memo1.lines.size(), 19u);
    w.input.Place({1000, 2000, 0});
    w.form.SpeedButton5Click();
    const std::vector<EntityData> added = Added(w, 0);
    // 1 + 6 * 18 texts, 17 + 1 + 1 horizontal and 6 + 1 vertical rules.
    ASSERT_EQ(added.size(), 109u + 19u + 7u);
    int texts = 0;
    for (const EntityData &e : added) {
        if (e.kind != EntityKind::Text) continue;
        ++texts;
        EXPECT_EQ(e.height, 300.0) << e.text;
    }
    EXPECT_EQ(texts, 109);
    const auto title = std::find_if(added.begin(), added.end(),
                                    [](const EntityData &e) { return e.kind == EntityKind::Text; });
    EXPECT_NEAR(title->p2.x, 1000.0 + 300.0, 1e-9);  // middle-left at th from the left rule
    EXPECT_NEAR(title->p2.y, 2000.0, 1e-9);
    EXPECT_EQ(w.drawing().FindBlock("PIMU_1"), nullptr);
}

TEST(RatioTable, DisplaySwitchesRefillMemo1) {
    CadWindow w;
    w.form.SpeedButton3Click();
    const std::string noon4 = w.form.Memo1.lines[10];
    w.form.CheckBox15.checked = true;
    w.form.CheckBox15Click();
    EXPECT_NE(w.form.Memo1.lines[10], noon4);
    EXPECT_NE(w.form.Memo1.lines[10].find("\t1.694\t"), std::string::npos)
        << w.form.Memo1.lines[10];
    w.form.CheckBox14.checked = true;
    w.form.CheckBox14Click();
    EXPECT_NE(w.form.Memo1.lines[10].find("0°00′00″"), std::string::npos) << w.form.Memo1.lines[10];
}

// ---- Equation of time -------------------------------------------------------------------

TEST(EqTimeTools, CalculatorAndTrueSolarNoon) {
    CadWindow w;
    w.form.Today = [] { return 2025y / January / 1; };
    w.form.Edit1.text = "-2.5";
    ASSERT_EQ(w.form.RunCommand(FormCommand::EqTime), CommandOutcome::Ran);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%.4f", solar::EqTimeSimple(-2.5));
    EXPECT_EQ(w.form.Edit45.text, expected);

    w.form.Edit43.text = "139.75";
    w.form.Edit44.text = "0";
    w.form.Invoke([&] { w.form.RunCommand(FormCommand::TrueSolarNoon); });
    ASSERT_EQ(w.Messages().size(), 1u);
    EXPECT_EQ(w.Messages()[0], "真太陽時 = 11:41:00");

    w.form.Edit43.text = "east";  // says which field, shows no time
    w.form.Invoke([&] { w.form.RunCommand(FormCommand::TrueSolarNoon); });
    ASSERT_EQ(w.Messages().size(), 2u);
    EXPECT_NE(w.Messages()[1].find("経度"), std::string::npos) << w.Messages()[1];
}

TEST(EqTimeTools, PlotsOfTheTablesBesideTheProgram) {
    CadWindow w;
    // Both plots need their tables; without them nothing is drawn.
    w.form.Button1Click();
    w.form.Button25Click();
    EXPECT_TRUE(w.drawing().ModelSpace().empty());
    EXPECT_EQ(w.form.Label65.caption, "");

    w.dir.Write("kinjisa_2025-135.txt", "-3.0\r\n-3.5\r\nx\r\n-4.5\r\n");
    w.form.Button1Click();  // the 2024 table is still missing
    EXPECT_TRUE(w.drawing().ModelSpace().empty());

    w.dir.Write("kinjisa_2024-135.txt", "-3.25\n-3.5\n-4.0\n-4.5\n-5.0\n-5.5\n");
    w.form.Button1Click();
    std::vector<EntityData> lines = Added(w, 0);
    ASSERT_EQ(lines.size(), 9u);  // three days of the shorter table, three curves each
    const int colours[] = {1, 4, 7};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].kind, EntityKind::Line);
        EXPECT_EQ(lines[i].color, colours[i % 3]) << i;
        EXPECT_EQ(lines[i].p1.x, 2.0 * static_cast<double>(i / 3)) << i;
    }
    EXPECT_NEAR(lines[3].p2.y, 0.0, 1e-12);          // "x" counts as 0 minutes
    EXPECT_EQ(w.form.Label65.caption, "4.000 min");  // -4.0 - 0
    EXPECT_EQ(w.doc().undoGroups(), 1u);

    w.form.Button25Click();
    lines = Added(w, 9);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0].color, 7);  // the formula first, the table last
    EXPECT_EQ(lines[2].color, 1);
    EXPECT_NEAR(lines[0].p1.y, 10.0 * solar::EqTimeSpencer(0), 1e-9);
    EXPECT_EQ(
        w.form.Label65.caption,
        solar::EqTimeDifferenceText(
            solar::CompareEqTimeFormula(std::vector<double>{-3.0, -3.5, 0.0, -4.5}).maxDifference));
}

}  // namespace
}  // namespace pimu::app::testing
