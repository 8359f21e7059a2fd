// The sky map commands end to end on the embedded drawing: 測定点指示, 作図 and 一括 for both map
// types place the map, its overlay and its tables where the user put them, leave no block
// definitions behind, and state the sky factor that 再計算 shows for the same point.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "app/point_grid.h"
#include "cad_fixture.h"
#include "cadlink/embedded/drawing.h"

namespace pimu::app {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using testing::CadWindow;
using testing::kSiteSmall;
using testing::OnLayer;

constexpr geometry::TAcadPoint kPoint{15000, 4000, 0};

struct MapWindow : CadWindow {
    explicit MapWindow(int target = 1, const std::string &site = kSiteSmall) {
        Acquire(site, {OnLayer("BLD")});
        form.RadioGroup2.itemIndex = target;
        form.RadioGroup2Click();
    }
    std::vector<EntityData> On(const std::string &layer, EntityKind kind) {
        std::vector<EntityData> out;
        for (auto id : drawing().ModelSpace()) {
            const EntityData &e = drawing().Get(id);
            if (e.layer == layer && e.kind == kind) out.push_back(e);
        }
        return out;
    }
    std::optional<EntityData> Text(const std::string &text) {
        for (auto id : drawing().ModelSpace()) {
            const EntityData &e = drawing().Get(id);
            if (e.kind == EntityKind::Text && e.text == text) return e;
        }
        return std::nullopt;
    }
    std::optional<EntityData> TextStarting(const std::string &start) {
        for (auto id : drawing().ModelSpace()) {
            const EntityData &e = drawing().Get(id);
            if (e.kind == EntityKind::Text && e.text.starts_with(start)) return e;
        }
        return std::nullopt;
    }
    bool NoProgramBlocks() {
        for (const auto &b : drawing().Blocks())
            if (b.name.starts_with("PIMU_")) return false;
        return true;
    }
    // 再計算 of the point: its 計画 and 適合 columns.
    std::pair<std::string, std::string> GridValues(geometry::TAcadPoint p) {
        geometry::TTempPoint t;
        t.pt = p;
        FillPointGrid(form.StringGrid1, {t}, PointOrder::AsGiven);
        form.Button9Click();
        return {form.StringGrid1.Cell(5, 1), form.StringGrid1.Cell(6, 1)};
    }
};

// Buildings in four directions and all round a courtyard: the map hatches every building, its
// table lists every sector, and it states the sky factor the point list shows.
TEST(SkyMap, BuildingsRoundThePointAreAllOnTheMap) {
    for (const char *site : {"/sky_four_blocks.dxf", "/sky_courtyard.dxf"}) {
        SCOPED_TRACE(site);
        MapWindow w(1, std::string(PIMU_TEST_DATA) + site);
        const geometry::TAcadPoint point{50000, 50000, 0};
        const auto [keikaku, tekigou] = w.GridValues(point);
        ASSERT_FALSE(keikaku.empty());
        ASSERT_FALSE(tekigou.empty());
        EXPECT_LT(std::stod(keikaku), std::stod(w.form.StringGrid1.Cell(8, 1)));
        EXPECT_GT(std::stod(tekigou), std::stod(w.form.StringGrid1.Cell(8, 1)));
        const geometry::TAcadPoint map{50000, -40000, 0};
        w.input.Point(point).Place(map).Place({120000, -30000, 0}).Place({220000, -30000, 0});
        w.form.Button8Click(w.form.Button11);
        EXPECT_TRUE(w.Messages().empty()) << w.Messages().front();
        EXPECT_TRUE(w.Text("天空率 = " + keikaku + "%").has_value()) << keikaku;
        // Hatch lines in all four quarters of the map.
        bool quarter[4] = {false, false, false, false};
        for (const EntityData &l : w.On("PIMU_THATCH", EntityKind::Line)) {
            const double a = std::atan2(l.p2.y - map.y, l.p2.x - map.x);
            quarter[static_cast<int>(std::floor((a + M_PI) / (M_PI / 2))) % 4] = true;
        }
        for (bool q : quarter) EXPECT_TRUE(q);
        const bool ring = std::string(site) == "/sky_courtyard.dxf";
        EXPECT_EQ(w.Text("扇形1").has_value() || w.TextStarting("扇形1 ").has_value(), !ring);
        const std::optional<EntityData> sum = w.TextStarting("(");
        ASSERT_TRUE(sum.has_value());
        EXPECT_TRUE(sum->text.ends_with(" = " + keikaku + "%")) << sum->text;
    }
}

// Picked with 測定点指示 for both types, each placed by the user with both tables beside it.
TEST(SkyMap, PickedPointMapOverlayAndTablesLandWhereTheUserPlacedThem) {
    struct Case {
        const TButton TForm1::*button;
        double R, t;  // drawing units at 1:200 with the defaults
        int target;
    };
    for (const Case &c :
         {Case{&TForm1::Button8, 5000, 600, 1}, Case{&TForm1::Button11, 20000, 2000, 2}}) {
        MapWindow w(c.target);
        const auto [keikaku, tekigou] = w.GridValues(kPoint);
        ASSERT_FALSE(keikaku.empty());
        const geometry::TAcadPoint map{15000, -40000, 0};
        const geometry::TAcadPoint table{60000, -30000, 0};
        const geometry::TAcadPoint position{150000, -30000, 0};
        w.input.Point(kPoint).Place(map).Place(table).Place(position);
        const int before = (w.form.*c.button).name == "Button8" ? w.form.UpDown2.position
                                                                : w.form.UpDown6.position;
        w.form.Button8Click(w.form.*c.button);
        EXPECT_TRUE(w.Messages().empty()) << w.Messages().front();
        EXPECT_EQ(w.input.Remaining(), 0u);

        // The map: its circle round the placed centre, N one text height above it.
        const auto circles = w.On("PIMU_TENKU", EntityKind::Circle);
        ASSERT_EQ(circles.size(), 1u);
        EXPECT_NEAR(circles[0].p1.x, map.x, 1e-6);
        EXPECT_NEAR(circles[0].p1.y, map.y, 1e-6);
        EXPECT_NEAR(circles[0].radius, c.R, 1e-6);
        const std::optional<EntityData> n = w.Text("N");
        ASSERT_TRUE(n.has_value());
        EXPECT_NEAR(n->p2.y, map.y + c.R + c.t, 1e-6);
        EXPECT_NEAR(n->height, 0.8 * c.t, 1e-9);
        // The overlay over it: hatch (type B only by default) and the result texts below it.
        EXPECT_EQ(w.On("PIMU_THATCH", EntityKind::Line).empty(), c.R == 5000);
        const std::string value = c.target == 1 ? keikaku : tekigou;
        const std::optional<EntityData> result = w.Text("天空率 = " + value + "%");
        ASSERT_TRUE(result.has_value()) << value;
        EXPECT_NEAR(result->p2.x, map.x, 1e-6);
        EXPECT_NEAR(result->p2.y, map.y - 1.25 * c.R - 2 * c.t * 3.5, 1e-6);
        EXPECT_FALSE(w.On("PIMU_TSANSYA", EntityKind::Circle).empty());
        EXPECT_FALSE(w.On("PIMU_TTATEITI", EntityKind::Circle).empty());
        // The triangle table at its placement, its last line the same sky factor.
        const std::optional<EntityData> head = w.Text("三角形No.");
        ASSERT_TRUE(head.has_value());
        EXPECT_NEAR(head->p2.x, table.x + 2 * (2 * c.t), 1e-3);
        EXPECT_NEAR(head->p2.y, table.y - 0.5 * (2 * c.t), 1e-3);
        const std::optional<EntityData> sum = w.TextStarting("(");
        ASSERT_TRUE(sum.has_value());
        EXPECT_TRUE(sum->text.ends_with(" = " + value + "%")) << sum->text;
        // The position table at its placement.
        const std::optional<EntityData> title = w.Text("建物位置確認表");
        ASSERT_TRUE(title.has_value());
        EXPECT_NEAR(title->p2.x, position.x + 2 * c.t, 1e-3);
        EXPECT_NEAR(title->p2.y, position.y + 0.5 * 2 * c.t, 1e-3);
        EXPECT_TRUE(w.Text("[1]").has_value());
        EXPECT_TRUE(w.NoProgramBlocks());
        EXPECT_NEAR(w.form.IDPOINT2.x, map.x, 1e-9);
        const int after = (w.form.*c.button).name == "Button8" ? w.form.UpDown2.position
                                                               : w.form.UpDown6.position;
        EXPECT_EQ(after, before + 1);
        EXPECT_FALSE(w.form.RunFlag);
    }
}

TEST(SkyMap, BatchDrawsEveryRowAPitchApart) {
    for (const bool b : {false, true}) {
        MapWindow w;
        std::vector<geometry::TTempPoint> points(2);
        points[0].pt = kPoint;
        points[1].pt = {15000, 25000, 0};
        FillPointGrid(w.form.StringGrid1, points, PointOrder::AsGiven);
        w.form.Button9Click();
        const std::string first = w.form.StringGrid1.Cell(5, 1);
        w.input.Point({0, -50000, 0});
        w.form.Button18Click(b ? w.form.Button24 : w.form.Button18);
        EXPECT_TRUE(w.Messages().empty());
        const double pitch = (b ? 300.0 : 75.0) * 200.0;
        const auto circles = w.On("PIMU_TENKU", EntityKind::Circle);
        ASSERT_EQ(circles.size(), 2u);
        EXPECT_NEAR(circles[0].p1.x, 0.0, 1e-6);
        EXPECT_NEAR(circles[1].p1.x, pitch, 1e-6);
        EXPECT_NEAR(circles[1].p1.y, -50000.0, 1e-6);
        // Overlays without tables or vertex marks.
        EXPECT_TRUE(w.Text("天空率 = " + first + "%").has_value());
        EXPECT_TRUE(w.On("PIMU_TTATEITI", EntityKind::Circle).empty());
        EXPECT_FALSE(w.Text("三角形No.").has_value());
        EXPECT_TRUE(w.NoProgramBlocks());
        EXPECT_EQ(w.doc().prompts().back(), "天空図作成 ... 終了しました．");
    }
}

TEST(SkyMap, ACancelledPickDrawsNothing) {
    MapWindow w;
    const std::size_t before = w.drawing().ModelSpace().size();
    w.input.Cancel();
    w.form.Button8Click(w.form.Button11);
    EXPECT_EQ(w.drawing().ModelSpace().size(), before);
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_EQ(w.form.UpDown6.position, 1);
}

TEST(SkyMap, ALabelAroundThePickedPointNamesTheMap) {
    MapWindow w;
    EntityData label;
    label.kind = EntityKind::Text;
    label.p1 = {kPoint.x + 500, kPoint.y + 300, 0};
    label.height = 300;
    label.text = "P-7";
    w.drawing().Add(label);
    w.input.Point(kPoint).Place({15000, -40000, 0}).Cancel().Cancel();
    w.form.Button8Click(w.form.Button11);
    EXPECT_EQ(w.form.GB_TenMeiB, "P-7");
    EXPECT_TRUE(w.Text("測定点 P-7").has_value());
    // The tables' placements were cancelled: nothing of them, and no blocks left over.
    EXPECT_FALSE(w.Text("三角形No.").has_value());
    EXPECT_TRUE(w.NoProgramBlocks());
}

TEST(SkyMap, RefusalsAndTheirMessages) {
    MapWindow area(0);
    area.form.Button8Click(area.form.Button8);
    area.form.Button13Click(area.form.Button13);
    area.form.Button18Click(area.form.Button24);
    EXPECT_EQ(
        area.Messages(),
        (std::vector<std::string>{
            "[AREA]には対応していません．\n[計画建物]または[適合建物]にチェックを付けて下さい．",
            "[AREA]には対応していません．\n[計画]または[適合]にチェックを付けて下さい．",
            "[AREA]には対応していません．\n[計画]または[適合]にチェックを付けて下さい．"}));

    MapWindow w;
    w.form.StringGrid1.row = 0;
    w.form.Button13Click(w.form.Button13);
    w.form.Button18Click(w.form.Button18);  // an empty grid: no point is asked for
    EXPECT_EQ(w.Messages(), (std::vector<std::string>{"測定点データが選択されていません．",
                                                      "測定点データがありません．"}));
    // A batch whose centre pick fails.
    geometry::TTempPoint t;
    t.pt = kPoint;
    FillPointGrid(w.form.StringGrid1, {t}, PointOrder::AsGiven);
    w.input.Cancel();
    w.form.Button18Click(w.form.Button18);
    EXPECT_EQ(w.Messages().back(), "座標指示失敗．");
    EXPECT_TRUE(w.On("PIMU_TENKU", EntityKind::Circle).empty());
}

TEST(SkyMap, RowMapTakesTheRowAndMovesOn) {
    MapWindow w;
    std::vector<geometry::TTempPoint> points(2);
    points[0].pt = kPoint;
    points[0].Name = "S1";
    points[1].pt = {15000, 25000, 0};
    FillPointGrid(w.form.StringGrid1, points, PointOrder::AsGiven);
    w.form.StringGrid1.row = 1;
    w.form.CheckBox9.checked = true;
    w.input.Place({15000, -40000, 0}).Cancel().Cancel();
    w.form.Button13Click(w.form.Button14);
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_TRUE(w.Text("測定点 S1").has_value());
    EXPECT_EQ(w.form.StringGrid1.row, 2);
}

}  // namespace
}  // namespace pimu::app
