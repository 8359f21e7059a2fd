// The wall command end to end on the embedded drawing: the pick, the elevation with its shadow
// lines and isochrones, each insertion form, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/recording_host.h"
#include "cad_fixture.h"
#include "cadlink/embedded/drawing.h"
#include "geometry/tolerances.h"

namespace pimu::app {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using geometry::TAcadPoint;
using testing::CadWindow;
using testing::OnLayer;

std::string Hex(std::uint64_t handle) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(handle));
    return buf;
}

std::string ReadBytes(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A 10 x 8 m building, 9 m high, south of a 20 m wall line drawn from east to west at z 0 (as
// high as the building), 9:00 to 15:00 every half hour, the coarsest wall raster.
struct WallWindow : CadWindow {
    std::string wallHandle;
    explicit WallWindow(double buildingY = 10000) {
        EntityData b;
        b.kind = EntityKind::LwPolyline;
        b.layer = "BLD";
        b.closed = true;
        b.thickness = 9000;
        b.vertices = {{{10000, buildingY, 0}, 0},
                      {{20000, buildingY, 0}, 0},
                      {{20000, buildingY + 8000, 0}, 0},
                      {{10000, buildingY + 8000, 0}, 0}};
        drawing().Add(b);
        EntityData l;
        l.kind = EntityKind::Line;
        l.layer = "WALL";
        l.p1 = {25000, 23000, 0};
        l.p2 = {5000, 23000, 0};
        wallHandle = Hex(drawing().Get(drawing().Add(l)).handle);
        Acquire("", {OnLayer("BLD")});
        form.Edit2.text = "9";
        form.Edit7.text = "15";
        form.Edit11.text = "0.5";
        form.RadioGroup6.itemIndex = -1;  // 640 cells, 120 s
    }
    void PickWall() { input.Entity(wallHandle, {15000, 23000, 0}); }
    std::vector<EntityData> Entities(const std::vector<cadlink::embedded::EntityId> &ids) {
        std::vector<EntityData> out;
        for (auto id : ids) out.push_back(drawing().Get(id));
        return out;
    }
};

void ExpectIdle(CadWindow &w) {
    EXPECT_FALSE(w.doc().undoGroupOpen());
    for (const TButton *b : {&w.form.Button2, &w.form.Button3, &w.form.Button5, &w.form.Button6})
        EXPECT_TRUE(b->enabled) << b->name;
    EXPECT_FALSE(w.form.Button7.enabled);
    EXPECT_FALSE(w.form.RunFlag);
}

TEST(Wall, InsertionForms) {
    struct Case {
        bool onWall, block;
        const char *command;  // after the path
        bool insertKept;
        TAcadPoint at;
    };
    const Case cases[] = {
        {true, true, "\"\r5000,23000\r1.0 1.0\r0\r", true, {5000, 23000, 0}},
        {true, false, "\"\r5000,23000\r1.0\r0\r", false, {5000, 23000, 0}},
        {false, true, "\"\rS\r1.0\rR\r0.0\r", true, {1000, 2000, 0}},
        {false, false, "\"\rS\r1.0\rR\r0.0\r", false, {1000, 2000, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.onWall ? "on the wall" : "placed") +
                     (c.block ? ", block" : ", exploded"));
        WallWindow w;
        w.form.CheckBox4.checked = c.onWall;
        w.form.CheckBox12.checked = c.block;
        w.PickWall();
        if (!c.onWall) w.input.Place(c.at);
        const std::size_t before = w.drawing().ModelSpace().size();
        w.form.Button5Click();
        EXPECT_TRUE(w.Messages().empty()) << w.Messages().front();
        ExpectIdle(w);
        EXPECT_EQ(w.doc().prompts().back(), "線分が選択されました.\r\n");
        // The wall: st in the west (the building lies to the right), 9 m high from gbzmax.
        EXPECT_EQ(w.form.WallLine.st, (TAcadPoint{5000, 23000, 9000}));
        EXPECT_EQ(w.form.WallLine.ed, (TAcadPoint{25000, 23000, 9000}));
        const auto file = w.dir / "PIMU_1.dxf";
        ASSERT_TRUE(std::filesystem::exists(file));
        ASSERT_EQ(w.doc().commands().size(), 1u);
        const std::string star = c.onWall && !c.block ? "*" : "";
        EXPECT_EQ(w.doc().commands()[0], "-INSERT\r\"" + star + file.string() + c.command);

        std::vector<EntityData> inserts, frame;
        for (auto id : w.drawing().ModelSpace()) {
            const EntityData &e = w.drawing().Get(id);
            if (e.kind == EntityKind::Insert) inserts.push_back(e);
            if (e.layer == "PIMU_HWAKU") frame.push_back(e);
        }
        if (c.insertKept) {
            ASSERT_EQ(inserts.size(), 1u);
            EXPECT_EQ(inserts[0].blockName, "PIMU_1");
            EXPECT_EQ(inserts[0].p1, c.at);
            EXPECT_EQ(inserts[0].rotation, 0.0);
            EXPECT_EQ(w.drawing().ModelSpace().size(), before + 1);
        } else {
            EXPECT_TRUE(inserts.empty());
            // The frame lies in plan with its origin at the insertion point: verticals every 5 m.
            std::vector<double> xs;
            for (const EntityData &e : frame)
                if (e.kind == EntityKind::Line && e.p1.x == e.p2.x) xs.push_back(e.p1.x - c.at.x);
            std::sort(xs.begin(), xs.end());
            EXPECT_EQ(xs, (std::vector<double>{0, 5000, 10000, 15000, 20000, 20000}));
        }
        if (!c.onWall && !c.block) {
            EXPECT_EQ(w.drawing().FindBlock("PIMU_1"), nullptr);
        }
    }
}

// The block's contents: the frame, the shadow lines and the isochrones as the drawing holds them.
TEST(Wall, ElevationContents) {
    WallWindow w;
    w.form.CheckBox12.checked = true;
    w.form.Edit38.text = "250";
    w.PickWall();
    w.form.Button5Click();
    ASSERT_TRUE(w.Messages().empty());
    const auto *block = w.drawing().FindBlock("PIMU_1");
    ASSERT_NE(block, nullptr);

    std::vector<double> heights, dashed;
    std::vector<std::string> times, hours;
    int solid = 0, dashedLines = 0, turned = 0;
    for (const EntityData &e : w.Entities(block->entities)) {
        if (e.layer == "PIMU_HWAKU") {
            EXPECT_EQ(e.color, 251);
            if (e.p1.y == e.p2.y) {
                heights.push_back(e.p1.y);
                if (e.linetype == "HIDDEN2") dashed.push_back(e.p1.y);
            }
        } else if (e.layer == "PIMU_HJIKOKU") {
            if (e.kind == EntityKind::Polyline2d) {
                EXPECT_FALSE(e.closed);
                (e.linetype == "HIDDEN2" ? dashedLines : solid)++;
            } else {
                ASSERT_EQ(e.kind, EntityKind::Text);
                EXPECT_EQ(e.rotation, 0.0);
                EXPECT_EQ(e.vAlign, 3);
                EXPECT_EQ(e.height, 250.0);
                times.push_back(e.text);
            }
        } else if (e.layer == "PIMU_HTOJI") {
            if (e.kind == EntityKind::Text) {
                hours.push_back(e.text);
                EXPECT_EQ(e.text, std::to_string(e.color) + ".0Hr");
                turned += e.rotation != 0.0;
            } else {
                EXPECT_FALSE(e.closed);
                for (const auto &v : e.vertices) {
                    EXPECT_GE(v.pt.x, -1e-6);
                    EXPECT_LE(v.pt.x, 20000 + 1e-6);
                    EXPECT_GE(v.pt.y, -1e-6);
                    EXPECT_LE(v.pt.y, 9000 + 1e-6);
                }
            }
        }
    }
    // On the wall line: no height line at 0; odd metres dashed.
    EXPECT_EQ(heights, (std::vector<double>{1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000}));
    EXPECT_EQ(dashed, (std::vector<double>{1000, 3000, 5000, 7000, 9000}));
    EXPECT_GT(solid, 0);
    EXPECT_GT(dashedLines, 0);
    for (const std::string &t : times) {
        ASSERT_EQ(t.size(), 5u);
        EXPECT_TRUE(t.ends_with(":00") || t.ends_with(":30")) << t;
    }
    EXPECT_FALSE(hours.empty());
    EXPECT_GT(turned, 0);
    EXPECT_EQ(w.form.Label24.caption.rfind("ﾒｯｼｭｻｲｽﾞ : ", 0), 0u);
}

TEST(Wall, SmoothedWhateverTheCheckBox) {
    std::string bytes[3];
    const struct {
        bool check;
        int factor;
    } runs[] = {{false, 2}, {true, 2}, {false, 12}};
    for (int i = 0; i < 3; ++i) {
        WallWindow w;
        w.form.CheckBox8.checked = runs[i].check;
        w.form.UpDown5.position = runs[i].factor;
        w.PickWall();
        w.form.Button5Click();
        bytes[i] = ReadBytes(w.dir / "PIMU_1.dxf");
        ASSERT_FALSE(bytes[i].empty());
    }
    EXPECT_EQ(bytes[0], bytes[1]);
    EXPECT_NE(bytes[0], bytes[2]);
}

TEST(Wall, NothingDrawnWithoutALineOrAShadow) {
    {
        WallWindow w;  // nothing picked
        w.form.Button5Click();
        EXPECT_EQ(w.doc().prompts().back(), "線分取得失敗\r\n");
        EXPECT_TRUE(w.doc().commands().empty());
        ExpectIdle(w);
    }
    {
        WallWindow w;  // the building picked instead of a line
        w.input.Entity(Hex(w.drawing().Get(w.drawing().ModelSpace().front()).handle));
        w.form.Button5Click();
        EXPECT_TRUE(w.doc().commands().empty());
        EXPECT_TRUE(w.Messages().empty());
        ExpectIdle(w);
    }
    {
        // The building north of the wall: the face towards it never sees the winter sun.
        WallWindow w(30000);
        w.PickWall();
        w.form.Button5Click();
        ASSERT_EQ(w.host.messages.size(), 1u);
        EXPECT_EQ(w.host.messages[0].text, "壁面等時間は作成できません．");
        EXPECT_EQ(w.host.messages[0].caption, "Pimu.exe");
        EXPECT_TRUE(w.doc().commands().empty());
        EXPECT_FALSE(std::filesystem::exists(w.dir / "PIMU_1.dxf"));
        ExpectIdle(w);
    }
    {
        WallWindow w;  // a time that is not a number
        w.form.Edit11.text = "x";
        w.PickWall();
        w.form.Button5Click();
        ASSERT_EQ(w.host.messages.size(), 1u);
        EXPECT_NE(w.host.messages[0].text.find("間隔"), std::string::npos);
        EXPECT_TRUE(w.doc().commands().empty());
    }
}

TEST(Wall, StopEndsTheRunWithNothingInserted) {
    WallWindow w;
    w.PickWall();
    // Stopped while the wall isochrones count.
    w.host.onPendingEvents = [&] {
        if (w.form.Label26.caption.starts_with("時刻：")) w.form.Button7Click();
    };
    w.form.Button5Click();
    EXPECT_TRUE(w.doc().commands().empty());
    EXPECT_FALSE(std::filesystem::exists(w.dir / "PIMU_1.dxf"));
    ExpectIdle(w);
}

}  // namespace
}  // namespace pimu::app
