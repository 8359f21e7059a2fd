// The measurement point list of the sky tab end to end: point marks in the embedded drawing fill
// StringGrid1, 再計算 fills the 計画, 適合 and 精算 columns with what the sky computations give for
// the same points, and the editing of a row's label and height.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/point_grid.h"
#include "cad_fixture.h"
#include "cadlink/dxftext.h"
#include "cadlink/embedded/drawing.h"
#include "sky/sky_list.h"

namespace pimu::app {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using testing::CadWindow;
using testing::kSiteSmall;
using testing::OnLayer;

void AddMark(CadWindow &w, double x, double y, const std::string &label) {
    EntityData c;
    c.kind = EntityKind::Circle;
    c.layer = "MARK";
    c.p1 = {x, y, 0};
    c.radius = 300;
    w.drawing().Add(c);
    if (label.empty()) return;
    EntityData t;
    t.kind = EntityKind::Text;
    t.layer = "MARK";
    t.p1 = {x + 400, y + 400, 0};
    t.height = 300;
    t.text = label;
    w.drawing().Add(t);
}

// The marks of the drawing as the picking by marks takes them: circles and texts in drawing order.
std::vector<geometry::TTempPoint> MarkPoints(CadWindow &w) {
    std::vector<geometry::TAcadPoint> circles;
    std::vector<MarkText> texts;
    for (auto id : w.drawing().ModelSpace()) {
        const EntityData &e = w.drawing().Get(id);
        if (e.layer != "MARK") continue;
        if (e.kind == EntityKind::Circle) circles.push_back(e.p1);
        if (e.kind == EntityKind::Text) texts.push_back({e.p1, e.text});
    }
    return PointsFromMarks(circles, texts);
}

struct SkyWindow : CadWindow {
    SkyWindow() {
        Acquire(kSiteSmall, {OnLayer("BLD"), OnLayer("TOWER")});
        AddMark(*this, 30000, 14000, "E1");
        AddMark(*this, 15000, 4000, "S1");
        AddMark(*this, 83000, 20000, "");
        AddMark(*this, 15000, 25000, "N1");
        FillPointGrid(form.StringGrid1, MarkPoints(*this), PointOrder::Sorted);
    }
    std::string Cell(int c, int r) { return form.StringGrid1.Cell(c, r); }
};

TEST(SkyList, MarksFillTheGridAndRecomputeMatchesTheCore) {
    SkyWindow w;
    TStringGrid &sg = w.form.StringGrid1;
    // Wider than tall: by x. The mark without a text is named by its row.
    ASSERT_EQ(sg.RowCount(), 5);
    const std::vector<std::vector<std::string>> filled = {{"1", "15000", "4000", "S1", "0"},
                                                          {"2", "15000", "25000", "N1", "0"},
                                                          {"3", "30000", "14000", "E1", "0"},
                                                          {"4", "83000", "20000", "4", "0"}};
    for (int r = 1; r <= 4; ++r)
        for (int c = 0; c < 5; ++c) EXPECT_EQ(w.Cell(c, r), filled[r - 1][c]) << c << "," << r;

    w.form.StringGrid1.Cell(4, 2) = "3.5";  // N1 measured 3.5 m up
    for (TButton *b : {&w.form.Button13, &w.form.Button14}) b->enabled = false;
    int progressSteps = 0;
    w.host.onPendingEvents = [&] { ++progressSteps; };
    ASSERT_EQ(w.form.RunCommand(FormCommand::SkyFactors), CommandOutcome::Ran);
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_GT(progressSteps, 0);

    ASSERT_EQ(sg.ColCount(), 9);
    const std::vector<std::string> headers = {"番号",  " X座標", " Y座標", " 測定点", " 測定面",
                                              " 計画", " 適合",  " AREA",  " 精算"};
    for (int c = 0; c < 9; ++c) EXPECT_EQ(w.Cell(c, 0), headers[c]);
    EXPECT_EQ(sg.ColWidth(7), sg.ColWidth(6));

    // Type B (radius 100 > 25) at 1:200, true north 90.
    sky::SkyMapSizes sizes;
    for (int r = 1; r <= 4; ++r) {
        const geometry::TAcadPoint p{std::stod(w.Cell(1, r)), std::stod(w.Cell(2, r)), 0};
        const sky::SkyPointResult ref = sky::ComputeSkyPoint(sky::SkyBuildingsOf(w.form.Model), p,
                                                             std::stod(w.Cell(4, r)) * 1000.0,
                                                             sky::PaperRadius(sizes, 1), 200.0);
        ASSERT_TRUE(ref.Consistent) << r;
        EXPECT_EQ(w.Cell(7, r), "") << r;
        EXPECT_EQ(w.Cell(8, r), cadlink::DxfFixed(ref.exact, 3)) << r;
        EXPECT_EQ(w.Cell(5, r), cadlink::DxfFixed(ref.naisetu, 3)) << r;
        EXPECT_EQ(w.Cell(6, r), cadlink::DxfFixed(ref.gaisetu, 3)) << r;
        // Every row, E1 among the buildings round it included: 計画 <= 精算 <= 適合.
        EXPECT_LE(std::stod(w.Cell(5, r)), std::stod(w.Cell(8, r))) << r;
        EXPECT_LE(std::stod(w.Cell(8, r)), std::stod(w.Cell(6, r))) << r;
    }
    EXPECT_EQ(w.form.MENTAKA, "0");  // the last row's height
    EXPECT_EQ(sg.row, 4);
    for (TButton *b :
         {&w.form.Button9, &w.form.Button13, &w.form.Button14, &w.form.Button18, &w.form.Button24})
        EXPECT_TRUE(b->enabled) << b->name;
    EXPECT_FALSE(w.form.RunFlag);
    EXPECT_EQ(w.form.ProgressBar1.position, 0);
}

TEST(SkyList, StopsBetweenRowsAndLeavesTheRestEmpty) {
    SkyWindow w;
    w.host.onPendingEvents = [&] {
        if (!w.Cell(8, 1).empty()) w.form.StopCommand();
    };
    w.form.Button9Click();
    EXPECT_FALSE(w.Cell(8, 1).empty());
    EXPECT_EQ(w.Cell(8, 3), "");
    EXPECT_EQ(w.Cell(5, 4), "");
    EXPECT_TRUE(w.form.Button9.enabled);
}

// What 再計算 says about grids and models it cannot compute, and what it leaves.
TEST(SkyList, RefusesWhatItCannotCompute) {
    struct Case {
        const char *what;
        std::function<void(SkyWindow &)> setup;
        std::string message;  // part of the one message
        bool computed;        // row 1 got its values
    };
    const std::vector<Case> cases = {
        {"empty grid",
         [](SkyWindow &w) { FillPointGrid(w.form.StringGrid1, {}, PointOrder::AsGiven); },
         "測定点データがありません．", false},
        {"no model", [](SkyWindow &w) { w.form.Model = {}; }, "建物データがありません．", false},
        {"row without Y ends the list", [](SkyWindow &w) { w.form.StringGrid1.Cell(2, 2).clear(); },
         "測定点データがありません．", true},
        {"height not a number", [](SkyWindow &w) { w.form.StringGrid1.Cell(4, 3) = "1.2.3"; },
         "測定面（3 行目）", false},
        {"x not a number", [](SkyWindow &w) { w.form.StringGrid1.Cell(1, 4) = "abc"; },
         "X座標（4 行目）", false},
        {"zero scale", [](SkyWindow &w) { w.form.Edit19.text = "0"; }, "図面の尺度", false},
        {"radius not a number", [](SkyWindow &w) { w.form.Edit21.text = "x"; }, "半径 (type B)",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SkyWindow w;
        c.setup(w);
        w.form.Invoke([&] { w.form.Button9Click(); });
        ASSERT_EQ(w.Messages().size(), 1u);
        EXPECT_NE(w.Messages()[0].find(c.message), std::string::npos) << w.Messages()[0];
        EXPECT_EQ(w.form.StringGrid1.ColCount() == 9 && !w.Cell(8, 1).empty(), c.computed);
        EXPECT_TRUE(w.form.Button9.enabled);
        EXPECT_TRUE(w.form.Button18.enabled);
    }
}

TEST(SkyList, WaitsWhileAnotherCommandRuns) {
    SkyWindow w;
    w.form.RunFlag = true;  // e.g. the time-of-day diagram, which leaves Button9 enabled
    w.form.Button9Click();
    EXPECT_TRUE(w.form.RunFlag);
    EXPECT_EQ(w.form.StringGrid1.ColCount(), 7);
}

TEST(SkyList, TimeInTheHeightCellBecomesZero) {
    SkyWindow w;
    w.form.StringGrid1.Cell(4, 1) = "1:30";
    w.form.Button9Click();
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_EQ(w.Cell(4, 1), "0");
    EXPECT_FALSE(w.Cell(5, 1).empty());
}

TEST(SkyList, PlaneAboveEveryWallIsOpenSky) {
    SkyWindow w;
    w.form.StringGrid1.Cell(4, 1) = "20";
    w.form.Button9Click();
    EXPECT_EQ(w.Cell(5, 1), "100.000");
    EXPECT_EQ(w.Cell(6, 1), "100.000");
    EXPECT_EQ(w.Cell(8, 1), "100.000");
}

TEST(SkyList, EditingTheSelectedRow) {
    SkyWindow w;
    TForm1 &f = w.form;
    f.StringGrid1.row = 2;
    f.StringGrid1Click();
    EXPECT_EQ(f.Edit10.text, "N1");
    EXPECT_EQ(f.Edit26.text, "0");

    f.Edit10.text = "North";
    f.Edit10Change();
    EXPECT_EQ(w.Cell(3, 2), "North");
    EXPECT_FALSE(f.Edit10KeyPress(kKeyEnter));
    EXPECT_EQ(f.ActiveControl, "Edit26");

    f.Edit26.text = "1.5";
    f.Edit26Change();
    EXPECT_EQ(w.Cell(4, 2), "1.5");
    for (TButton *b : {&f.Button13, &f.Button14, &f.Button18, &f.Button24})
        EXPECT_FALSE(b->enabled) << b->name;
    EXPECT_TRUE(f.Button9.enabled);

    // Only digits, ".", "-", Enter and Backspace reach Edit26.
    for (char32_t k : {U'7', U'.', U'-', kKeyBackspace}) EXPECT_TRUE(f.Edit26KeyPress(k));
    for (char32_t k : {U'a', U':', U' '}) EXPECT_FALSE(f.Edit26KeyPress(k));

    // Enter keeps a blank height as it was, moves to the next row and back to Edit10.
    f.Edit26.text = " ";
    EXPECT_FALSE(f.Edit26KeyPress(kKeyEnter));
    EXPECT_EQ(w.Cell(4, 2), "1.5");
    EXPECT_EQ(f.StringGrid1.row, 3);
    f.Edit26.text = "2";
    f.StringGrid1.row = 4;
    EXPECT_FALSE(f.Edit26KeyPress(kKeyEnter));
    EXPECT_EQ(w.Cell(4, 4), "2");
    EXPECT_EQ(f.StringGrid1.row, 1);  // after the last row, the first
    EXPECT_EQ(f.ActiveControl, "Edit10");
    EXPECT_EQ(f.Edit10.text, "S1");

    // A row without a point takes no edits.
    FillPointGrid(f.StringGrid1, {}, PointOrder::AsGiven);
    f.Edit10.text = "x";
    f.Edit10Change();
    f.Edit26.text = "9";
    f.Edit26Change();
    EXPECT_EQ(w.Cell(3, 1), "");
    EXPECT_EQ(w.Cell(4, 1), "");
}

TEST(SkyList, DimscaleIntoTheScaleField) {
    SkyWindow w;
    w.doc().SetVariable("DIMSCALE", 150.0);
    w.form.SpeedButton8Click();
    EXPECT_EQ(w.form.Edit19.text, "150.00");
}

TEST(PointGrid, DuplicatesOrderAndNames) {
    TStringGrid sg("g");
    sg.SetColCount(7);
    auto pt = [](double x, double y, double z, std::string n) {
        geometry::TTempPoint p;
        p.pt = {x, y, z};
        p.Name = std::move(n);
        return p;
    };
    // Taller than wide: by y. Of the two points at (0, 5) only the later one stays.
    FillPointGrid(
        sg, {pt(0, 5, 0, "a"), pt(1, -3, 2500, ""), pt(0, 5 + 1e-6, 0, "b"), pt(2, 1, 0, "c")},
        PointOrder::Sorted);
    ASSERT_EQ(sg.RowCount(), 4);
    EXPECT_EQ(sg.Row(1), (std::vector<std::string>{"1", "1", "-3", "1", "2.5", "", ""}));
    EXPECT_EQ(sg.Cell(3, 2), "c");
    EXPECT_EQ(sg.Cell(3, 3), "b");
    FillPointGrid(sg, {pt(5, 0, 0, "p"), pt(1, 0, 0, "q")}, PointOrder::AsGiven);
    ASSERT_EQ(sg.RowCount(), 3);
    EXPECT_EQ(sg.Cell(3, 1), "p");
    EXPECT_EQ(sg.Cell(3, 2), "q");
}

}  // namespace
}  // namespace pimu::app
