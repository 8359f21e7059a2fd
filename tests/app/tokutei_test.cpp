// Specific points end to end on the embedded drawing: filling the point grids, both ways of
// picking, the times in StringGrid2, the busy state and stopping, bad cells, name editing and the
// summary block placed as single texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "cad_fixture.h"
#include "cadlink/embedded/drawing.h"
#include "shadow/tokutei.h"
#include "solar/timetext.h"

namespace pimu::app {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using geometry::TAcadPoint;
using testing::CadWindow;
using testing::kSiteSmall;
using testing::OnLayer;

geometry::TTempPoint Picked(double x, double y, std::string name = {}, double z = 0.0) {
    geometry::TTempPoint p;
    p.pt = {x, y, z};
    p.Name = std::move(name);
    return p;
}

std::vector<std::string> Column(const TStringGrid &g, int col) {
    std::vector<std::string> out;
    for (int r = 1; r < g.RowCount(); ++r) out.push_back(g.Cell(col, r));
    return out;
}

using Strings = std::vector<std::string>;

TEST(TokuteiGrid, DuplicatesSortAndColumns) {
    CadWindow w;
    w.form.FormCreate();
    auto &tp = w.form.Workspace.TempPoints;
    // Spread more in y than in x: listed by increasing y. The first of two points at the same
    // place (within 1e-5) is dropped, the last one stays with its name.
    tp = {Picked(100, 900, "A"), Picked(0.5, 100, ""), Picked(100.000001, 900, "A2", 4500),
          Picked(50, 500, "7")};
    w.form.StringGrid2.Cell(6, 1) = "old";
    w.form.TempPointsToSG(1);
    const TStringGrid &g = w.form.StringGrid2;
    EXPECT_TRUE(tp.empty());
    ASSERT_EQ(g.RowCount(), 4);
    EXPECT_EQ(Column(g, 0), (Strings{"1", "2", "3"}));
    EXPECT_EQ(Column(g, 1), (Strings{"0.5", "50", "100.000001"}));
    EXPECT_EQ(Column(g, 2), (Strings{"100", "500", "900"}));
    EXPECT_EQ(Column(g, 3), (Strings{"1", "7", "A2"}));   // no name: the row number
    EXPECT_EQ(Column(g, 4), (Strings{"0", "0", "4.5"}));  // z / 1000 until computed
    EXPECT_EQ(g.Cell(6, 1), "");
    EXPECT_EQ(g.Cell(0, 0), "番号");  // the header row stays

    // Spread more in x: listed by x. The sky grid has its own 7 columns.
    tp = {Picked(900, 0), Picked(-300, 10), Picked(200, 20)};
    w.form.TempPointsToSG(0);
    EXPECT_EQ(Column(w.form.StringGrid1, 1), (Strings{"-300", "200", "900"}));
    EXPECT_EQ(w.form.StringGrid1.ColCount(), 7);
    EXPECT_EQ(w.form.StringGrid2.RowCount(), 4);  // untouched
}

// Site A (north of building A), B (north of building B: the eastern shadow island) and C (south
// of everything), as circles with labels on layer MARKS; C has no label.
void AddMarks(CadWindow &w) {
    const auto circle = [&](double x, double y) {
        EntityData e;
        e.kind = EntityKind::Circle;
        e.layer = "MARKS";
        e.p1 = {x, y, 0};
        e.radius = 300;
        w.drawing().Add(e);
    };
    const auto text = [&](double x, double y, const std::string &s) {
        EntityData e;
        e.kind = EntityKind::Text;
        e.layer = "MARKS";
        e.p1 = {x, y, 0};
        e.height = 300;
        e.text = s;
        w.drawing().Add(e);
    };
    circle(15000, 21000);
    text(15400, 21500, "P-A");
    circle(83000, 15500);
    text(82000, 16500, "P-B");  // 1000 off in x and y: still its label
    circle(50000, 3000);
    text(50000, 4200, "far");  // 1200 off: not the label of C
}

const std::vector<TAcadPoint> kMarkPoints = {
    {50000, 3000, 0}, {15000, 21000, 0}, {83000, 15500, 0}};

TEST(TokuteiEndToEnd, MarksTimesAndSummaryBlock) {
    CadWindow w;
    w.form.FormCreate();
    w.Acquire(kSiteSmall, {OnLayer("BLD"), OnLayer("TOWER")});
    ASSERT_TRUE(w.form.HasBuildingModel());
    AddMarks(w);
    w.form.Edit6.text = "1.5";
    w.form.RadioGroup3.itemIndex = 2;  // 60 s
    w.input.Select({OnLayer("MARKS")});
    w.form.Button22Click();
    EXPECT_TRUE(w.Messages().empty()) << w.Messages().front();
    const TStringGrid &g = w.form.StringGrid2;
    ASSERT_EQ(g.RowCount(), 4);
    // Spread more in x: by x.
    EXPECT_EQ(Column(g, 1), (Strings{"15000", "50000", "83000"}));
    EXPECT_EQ(Column(g, 3), (Strings{"P-A", "2", "P-B"}));

    // The same times as the computation gives for these points with the tab's settings.
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    const std::vector<TAcadPoint> pts = {kMarkPoints[1], kMarkPoints[0], kMarkPoints[2]};
    const shadow::TokuteiResult r =
        shadow::GetTokuteiJikan(pts, w.form.Model, sun, {8.0, 16.0, 1.0, 1500.0});
    ASSERT_EQ(r.Status, shadow::TokuteiStatus::Done);
    for (int k = 0; k < 3; ++k) {
        const shadow::PointShadowTimes &t = r.Points[static_cast<std::size_t>(k)];
        EXPECT_EQ(g.Cell(4, k + 1), solar::FormatHMS(*t.TotalHours)) << k;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string in =
                i < t.Intervals.size() ? solar::FormatHMS(t.Intervals[i].In) : "";
            EXPECT_EQ(g.Cell(5 + 2 * static_cast<int>(i), k + 1), in) << k;
        }
    }
    EXPECT_GT(r.Points[0].ShadedInstants, 0);  // A
    EXPECT_EQ(r.Points[1].ShadedInstants, 0);  // C
    EXPECT_GT(r.Points[2].ShadedInstants, 0);  // B, in the second island
    EXPECT_EQ(g.Cell(4, 2), "00:00'00\"");

    // Busy state given back.
    EXPECT_FALSE(w.form.RunFlag);
    EXPECT_EQ(w.form.Button23.caption, "再計算");
    EXPECT_FALSE(w.form.Button7.enabled);
    EXPECT_TRUE(w.form.Button15.enabled);
    EXPECT_TRUE(w.form.Button4.enabled);

    // The summary block: placed by the user, exploded into single texts, its definition gone.
    const std::size_t before = w.drawing().ModelSpace().size();
    w.input.Place({120000, 40000, 0});
    w.form.Button15Click();
    EXPECT_TRUE(w.Messages().empty());
    std::vector<EntityData> texts;
    for (std::size_t i = before; i < w.drawing().ModelSpace().size(); ++i) {
        const EntityData &e = w.drawing().Get(w.drawing().ModelSpace()[i]);
        EXPECT_NE(e.kind, EntityKind::Insert);
        if (e.kind == EntityKind::Text) texts.push_back(e);
    }
    ASSERT_EQ(texts.size(), 4u);
    std::vector<std::string> lines;
    for (const EntityData &t : texts) lines.push_back(t.text);
    const std::string lineA =
        "P-A " + g.Cell(4, 1) + " [" + g.Cell(5, 1) + "-" + g.Cell(6, 1) + "] ";
    EXPECT_NE(std::find(lines.begin(), lines.end(), "測定面の高さ= 1.5 メートル /評価時間= 60 秒"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), lineA), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "2 00:00'00\" [-] "), lines.end());
    for (const EntityData &t : texts) {
        EXPECT_DOUBLE_EQ(t.height, 300.0);
        EXPECT_DOUBLE_EQ(t.widthFactor, 0.8);
    }
    EXPECT_EQ(w.drawing().FindBlock("PIMU_1"), nullptr);
    EXPECT_FALSE(w.doc().undoGroupOpen());

    // A new plane height: the block waits for the times.
    w.form.Edit6Change();
    EXPECT_FALSE(w.form.Button15.enabled);
    w.form.Button23Click();
    EXPECT_TRUE(w.form.Button15.enabled);
}

TEST(TokuteiEndToEnd, ContinuousPickingBothMethods) {
    for (const std::string progId : {"AutoCAD.Application.24", "BricscadApp.AcadApplication"}) {
        SCOPED_TRACE(progId);
        CadWindow w;
        w.form.FormCreate();
        w.Acquire(kSiteSmall, {OnLayer("BLD")});
        AddMarks(w);
        w.form.ProgID = progId;
        w.form.Edit7.text = "10";  // two hours are enough here
        w.input.Point({15000, 21000, 0}).Point({200000, 3000, 0});
        const bool idMethod = progId.find("Auto") != std::string::npos;
        // The ID method ends at the origin; the other at Enter (no answer).
        if (idMethod) w.input.Point({0, 0, 0}).Point({1, 1, 0});
        w.form.Button21Click();
        EXPECT_TRUE(w.Messages().empty());
        EXPECT_EQ(w.input.Remaining(), idMethod ? 1u : 0u);
        const TStringGrid &g = w.form.StringGrid2;
        ASSERT_EQ(g.RowCount(), 3);
        // Named after the text around it, else its number in picking order.
        EXPECT_EQ(Column(g, 3), (Strings{"P-A", "2"}));
        EXPECT_EQ(Column(g, 1), (Strings{"15000", "200000"}));  // fixed notation, never 2e+05
        EXPECT_FALSE(g.Cell(4, 1).empty());
        EXPECT_NE(g.Cell(5, 1), "");  // north of building A: shaded for a while
        EXPECT_TRUE(w.form.Workspace.TempPoints.empty());
        EXPECT_EQ(std::get<int>(w.doc().GetVariable("BLIPMODE")), 0);
        int said = 0;
        for (const std::string &p : w.doc().prompts())
            said += p.find("座標が指示されました.") != std::string::npos;
        EXPECT_EQ(said, 2);
    }
}

TEST(TokuteiEndToEnd, StopBadCellsAndChecks) {
    CadWindow w;
    w.form.FormCreate();
    // Without buildings or points the buttons say so.
    w.form.Button23Click();
    w.form.Button15Click();
    EXPECT_EQ(w.Messages(), (Strings{"建物データがありません．", "建物データがありません．"}));
    w.host.messages.clear();
    w.Acquire(kSiteSmall, {OnLayer("BLD")});
    w.form.Button23Click();
    EXPECT_EQ(w.Messages(), (Strings{"測定点データがありません．"}));
    w.host.messages.clear();

    w.form.Workspace.TempPoints = {Picked(15000, 21000), Picked(15000, 24000)};
    w.form.TempPointsToSG(1);
    TStringGrid &g = w.form.StringGrid2;

    // A cell that is not a number: named with its row, the grid left as it was.
    g.Cell(2, 2) = "24000x";
    const std::vector<std::string> before = g.Row(1);
    w.form.Button23Click();
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_NE(w.Messages()[0].find("2 行目"), std::string::npos) << w.Messages()[0];
    EXPECT_NE(w.Messages()[0].find("24000x"), std::string::npos);
    EXPECT_EQ(g.Row(1), before);
    EXPECT_FALSE(w.form.RunFlag);
    g.Cell(2, 2) = "24000";
    w.host.messages.clear();

    // Stopped by Button7 during the run: busy state seen, partial intervals, no totals.
    int events = 0;
    bool busySeen = false;
    w.host.onPendingEvents = [&] {
        if (++events == 1)
            busySeen = w.form.Button23.caption == "中止" && w.form.Button7.enabled &&
                       !w.form.Button2.enabled && !w.form.Button15.enabled && w.form.RunFlag;
        if (events == 300) w.form.Button7Click();
    };
    w.form.Button23Click();
    w.host.onPendingEvents = nullptr;
    EXPECT_TRUE(busySeen);
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_EQ(g.Cell(4, 1), "");
    EXPECT_EQ(w.form.Button23.caption, "再計算");
    EXPECT_FALSE(w.form.Button7.enabled);
    EXPECT_TRUE(w.form.Button2.enabled);

    // Stopped through Button23 itself, which reads 中止 while the times run.
    w.host.onPendingEvents = [&] { w.form.Button23Click(); };
    w.form.Button23Click();
    w.host.onPendingEvents = nullptr;
    EXPECT_EQ(g.Cell(4, 1), "");
    EXPECT_EQ(w.form.Button23.caption, "再計算");

    // Inputs with no instant are refused before anything changes.
    w.form.Edit2.text = "9";
    w.form.Edit7.text = "8";
    w.form.Button23Click();
    EXPECT_EQ(w.Messages(),
              (Strings{"開始時刻から終了時刻までに評価する時刻がありません．（9 ～ 8）"}));
}

TEST(TokuteiEndToEnd, NameEditing) {
    CadWindow w;
    w.form.FormCreate();
    w.form.Workspace.TempPoints = {Picked(0, 0, "A"), Picked(0, 100, "B")};
    w.form.TempPointsToSG(1);
    TStringGrid &g = w.form.StringGrid2;
    g.row = 2;
    w.form.StringGrid2Click();
    EXPECT_EQ(w.form.Edit41.text, "B");
    w.form.Edit41.text = "B-north";
    w.form.Edit41Change();
    EXPECT_EQ(g.Cell(3, 2), "B-north");
    EXPECT_EQ(g.Cell(3, 1), "A");
    // A row without coordinates is not renamed.
    g.SetRowCount(4);
    g.row = 3;
    w.form.Edit41Change();
    EXPECT_EQ(g.Cell(3, 3), "");
}

}  // namespace
}  // namespace pimu::app
