// The wireframe preview in the window, drawing it into the CAD, and the true-north pick.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numbers>

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

TEST(Preview, ArrowsWrapAndRedraw) {
    CadWindow w;
    struct Step {
        UpDownButton button;
        int expect;
    };
    w.form.GB_Draw3dHdeg = 355;
    for (const Step s : {Step{UpDownButton::Next, 360}, Step{UpDownButton::Next, 0},
                         Step{UpDownButton::Next, 5}, Step{UpDownButton::Previous, 0},
                         Step{UpDownButton::Previous, 360}, Step{UpDownButton::Previous, 355}}) {
        w.form.UpDown3Click(s.button);
        EXPECT_EQ(w.form.GB_Draw3dHdeg, s.expect);
    }
    w.form.GB_Draw3dVdeg = 0;
    w.form.UpDown4Click(UpDownButton::Previous);
    EXPECT_EQ(w.form.GB_Draw3dVdeg, 360);
    // Without a model nothing is drawn.
    EXPECT_TRUE(w.form.Image2Picture.segments.empty());

    w.Acquire(kSiteSmall, {OnLayer("BLD")});
    const auto before = w.form.Image2Picture.segments;
    const double scale = w.form.GB_cvsc;
    w.form.UpDown3Click(UpDownButton::Next);
    EXPECT_EQ(w.form.GB_Draw3dHdeg, 320);
    EXPECT_EQ(w.form.GB_cvsc, scale);  // the size is kept while turning
    ASSERT_EQ(w.form.Image2Picture.segments.size(), before.size());
    EXPECT_NE(w.form.Image2Picture.segments[0].x1 * 1000 + w.form.Image2Picture.segments[0].y1,
              before[0].x1 * 1000 + before[0].y1);
}

TEST(Preview, FootLinesFollowCheckBox1) {
    CadWindow w;
    w.Acquire(kSiteSmall, {OnLayer("BLD")});
    const std::size_t edges = w.form.Model.AryTatemono.size();
    const auto count = [&](geometry::PreviewKind kind) {
        std::size_t n = 0;
        for (const auto &s : w.form.Image2Picture.segments) n += s.kind == kind;
        return n;
    };
    EXPECT_EQ(count(geometry::PreviewKind::Edge), edges);
    EXPECT_EQ(count(geometry::PreviewKind::Plan), edges);
    EXPECT_GT(count(geometry::PreviewKind::Vertical), 0u);

    w.form.CheckBox1.checked = false;
    w.form.CheckBox1Click();
    EXPECT_EQ(w.form.Image2Picture.segments.size(), edges);
    for (const auto &s : w.form.Image2Picture.segments) EXPECT_EQ(s.colour, 0xFF0000u);
    EXPECT_EQ(w.form.Image2Picture.width, 214);
    EXPECT_EQ(w.form.Image2Picture.height, 212);
}

TEST(Preview, DrawnIntoTheCadAsABlockTheUserPlaces) {
    CadWindow w;
    w.Acquire(kSiteSmall, {OnLayer("TOWER")});
    const std::size_t before = w.drawing().ModelSpace().size();
    const std::size_t segments = w.form.Image2Picture.segments.size();
    w.input.Place({1000, 2000, 0});
    w.form.SpeedButton2Click();
    ASSERT_EQ(w.doc().commands().size(), 1u);
    EXPECT_EQ(w.doc().commands()[0], "-INSERT\rPIMU_1\rS\r1.0\rR\r0.0\r");
    // Exploded where the user placed it; reference and definition cleaned up.
    EXPECT_EQ(w.drawing().ModelSpace().size(), before + segments);
    EXPECT_EQ(w.drawing().FindBlock("PIMU_1"), nullptr);
    std::map<int, int> colours;
    double xmin = 1e18;
    for (std::size_t i = before; i < w.drawing().ModelSpace().size(); ++i) {
        const EntityData &e = w.drawing().Get(w.drawing().ModelSpace()[i]);
        ASSERT_EQ(e.kind, EntityKind::Line);
        ++colours[e.color];
        xmin = std::min({xmin, e.p1.x, e.p2.x});
    }
    EXPECT_EQ(colours[1], 36);  // the ring's 36 sides in red
    EXPECT_EQ(colours[9], 36);  // dropped to the ground in silver
    EXPECT_EQ(colours[8], 72);  // verticals in grey
    EXPECT_NEAR(xmin, 1000, 1e-6);
    EXPECT_EQ(w.doc().undoGroups(), 1u);

    // Not placed: nothing to clean up, nothing drawn.
    w.form.SpeedButton2Click();
    EXPECT_EQ(w.drawing().ModelSpace().size(), before + segments);
}

TEST(Preview, TrueNorthFromTwoPoints) {
    CadWindow w;
    w.input.Angle(std::numbers::pi / 3);
    w.form.SpeedButton1Click();
    EXPECT_EQ(w.form.Edit12.text, "60.0000");
    EXPECT_EQ(w.doc().prompts().back(), "指示された角度 : 60.0000\r\n");
    EXPECT_EQ(std::get<int>(w.doc().GetVariable("BLIPMODE")), 0);

    // Cancelled: true north unchanged, blips off again and the window back.
    w.host.calls.clear();
    w.input.Cancel();
    w.form.SpeedButton1Click();
    EXPECT_EQ(w.form.Edit12.text, "60.0000");
    EXPECT_EQ(std::get<int>(w.doc().GetVariable("BLIPMODE")), 0);
    ASSERT_FALSE(w.host.calls.empty());
    EXPECT_EQ(w.host.calls.back(), "RestoreMainWindow");
}

}  // namespace
}  // namespace pimu::app
