#include "shadow/shadow_casting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/outline_test_util.h"
#include "solar/sun.h"

namespace pimu::shadow {

namespace {

using namespace geometry;

using geometry::testing::AddBox;
using geometry::testing::Edge;
using geometry::testing::IsClosedChain;
using geometry::testing::MinX;
using geometry::testing::Seg;
using geometry::testing::SignedArea;

constexpr double kTol = 1e-6;

solar::SolarState WinterAt36() {
    return solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
}

double NoonShadowLength(double height) {
    return height * solar::SunPosition(WinterAt36(), 12.0).Ratio;
}

std::vector<std::vector<TLineEnt>> AllOutlinesOf(PolygonWorkspace &ws, const BuildingModel &model,
                                                 double t, double h,
                                                 OutlineLoopResult *result = nullptr) {
    std::vector<std::vector<TLineEnt>> outlines;
    ShadowSegments(ws, model, WinterAt36(), t, h);
    const OutlineLoopResult r =
        ws.AllOutlines(MaxSpanRule::MeasureTimes1000,
                       [&](const std::vector<TLineEnt> &o) { outlines.push_back(o); });
    if (result != nullptr) *result = r;
    return outlines;
}

void ExpectChain(const std::vector<TLineEnt> &outline, const std::vector<TAcadPoint> &vertices) {
    ASSERT_EQ(outline.size(), vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        SCOPED_TRACE("segment " + std::to_string(i));
        EXPECT_NEAR(outline[i].st.x, vertices[i].x, kTol);
        EXPECT_NEAR(outline[i].st.y, vertices[i].y, kTol);
        const TAcadPoint end = vertices[(i + 1) % vertices.size()];
        EXPECT_NEAR(outline[i].ed.x, end.x, kTol);
        EXPECT_NEAR(outline[i].ed.y, end.y, kTol);
    }
}

TEST(ShadowOutline, OneBoxAtNoonIsTracedCounterClockwiseFromTheSouthWestCorner) {
    BuildingModel model;
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 10000, 10000, 10000);
    model.SetEdges(edges);
    EXPECT_EQ(model.gbzmax, 10000.0);

    PolygonWorkspace ws;
    ASSERT_TRUE(ShadowOutlineAt(ws, model, WinterAt36(), 12.0, 0.0));
    const double s = NoonShadowLength(10000);
    // West and east sides stay in three pieces: split where the footprint's north edge and the
    // shadow's south edge meet them.
    ExpectChain(ws.AryLine, {{0, 0, 0},
                             {10000, 0, 0},
                             {10000, 10000, 0},
                             {10000, s, 0},
                             {10000, 10000 + s, 0},
                             {0, 10000 + s, 0},
                             {0, s, 0},
                             {0, 10000, 0}});
    for (const TLineEnt &seg : ws.AryLine) EXPECT_EQ(seg.st.z, 0.0);
}

TEST(ShadowOutline, EmptyModelHasNoOutline) {
    PolygonWorkspace ws;
    EXPECT_FALSE(ShadowOutlineAt(ws, BuildingModel{}, WinterAt36(), 12.0, 0.0));
    OutlineLoopResult r{};
    EXPECT_TRUE(AllOutlinesOf(ws, BuildingModel{}, 12.0, 0.0, &r).empty());
    EXPECT_EQ(r, OutlineLoopResult::Done);
}

TEST(ShadowOutline, SeparateBuildingsGiveOneOutlineEachWesternFirst) {
    BuildingModel model;
    std::vector<TLineEnt> edges;
    AddBox(edges, 30000, 5000, 10000, 10000, 10000);  // the eastern one comes first in the model
    AddBox(edges, 0, 0, 10000, 10000, 10000);
    model.SetEdges(edges);
    PolygonWorkspace ws;
    OutlineLoopResult r{};
    const auto outlines = AllOutlinesOf(ws, model, 12.0, 0.0, &r);
    EXPECT_EQ(r, OutlineLoopResult::Done);
    ASSERT_EQ(outlines.size(), 2u);
    const double s = NoonShadowLength(10000);
    EXPECT_NEAR(MinX(outlines[0]), 0.0, kTol);
    EXPECT_NEAR(MinX(outlines[1]), 30000.0, kTol);
    for (const auto &o : outlines) {
        EXPECT_TRUE(IsClosedChain(o));
        EXPECT_NEAR(SignedArea(o), 10000.0 * (10000.0 + s), 1e-3);
    }
}

TEST(ShadowOutline, ShadowInsideAnotherShadowAddsNothing) {
    std::vector<TLineEnt> big;
    AddBox(big, 0, 0, 20000, 20000, 30000);
    std::vector<TLineEnt> both = big;
    AddBox(both, 5000, 5000, 3000, 3000, 3000);
    BuildingModel alone;
    alone.SetEdges(big);
    BuildingModel model;
    model.SetEdges(both);

    PolygonWorkspace ws;
    const auto expected = AllOutlinesOf(ws, alone, 12.0, 0.0);
    const auto outlines = AllOutlinesOf(ws, model, 12.0, 0.0);
    ASSERT_EQ(expected.size(), 1u);
    ASSERT_EQ(outlines.size(), 1u);
    ASSERT_EQ(outlines[0].size(), expected[0].size());
    for (std::size_t i = 0; i < outlines[0].size(); ++i) {
        EXPECT_TRUE(Near2D(outlines[0][i].st, expected[0][i].st, kTol));
        EXPECT_TRUE(Near2D(outlines[0][i].ed, expected[0][i].ed, kTol));
    }
}

TEST(ShadowOutline, CourtyardGivesOnlyTheOuterOutline) {
    // A ring of four wings around a 10 m courtyard that stays partly sunlit.
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 50000, 20000, 3000);
    AddBox(edges, 0, 30000, 50000, 20000, 3000);
    AddBox(edges, 0, 20000, 20000, 10000, 3000);
    AddBox(edges, 30000, 20000, 20000, 10000, 3000);
    BuildingModel model;
    model.SetEdges(edges);
    PolygonWorkspace ws;
    OutlineLoopResult r{};
    const auto outlines = AllOutlinesOf(ws, model, 12.0, 0.0, &r);
    EXPECT_EQ(r, OutlineLoopResult::Done);
    ASSERT_EQ(outlines.size(), 1u);
    EXPECT_NEAR(SignedArea(outlines[0]), 50000.0 * (50000.0 + NoonShadowLength(3000)), 1e-2);
}

TEST(ShadowOutline, ModelBelowThePlaneGivesTheFootprint) {
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 10000, 5000, 3000);
    BuildingModel model;
    model.SetEdges(edges);
    PolygonWorkspace ws;
    ASSERT_TRUE(ShadowOutlineAt(ws, model, WinterAt36(), 10.0, 4000.0));
    ExpectChain(ws.AryLine, {{0, 0, 0}, {10000, 0, 0}, {10000, 5000, 0}, {0, 5000, 0}});
}

// Records the progress the steps report and presses "stop" after a number of event pumps.
class RecordingProgress : public Progress {
public:
    int max = -1;
    int position = 0;
    int highest = 0;
    int pumps = 0;
    const int *outlinesSeen = nullptr;  // press stop once this many outlines were drawn
    bool stopPressed = false;
    bool overflow = false;

    void Start(int m) override { max = m; }
    void Position(int p) override {
        position = p;
        highest = std::max(highest, p);
        if (p > max) overflow = true;
    }
    bool KeepRunning() override {
        ++pumps;
        if (outlinesSeen != nullptr && *outlinesSeen >= 1) stopPressed = true;
        return !stopPressed;  // the steps only pump events; AllOutlines' stop decides
    }
};

BuildingModel TwoBoxes() {
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 10000, 10000, 10000);
    AddBox(edges, 30000, 0, 10000, 10000, 10000);
    BuildingModel model;
    model.SetEdges(edges);
    return model;
}

TEST(AllOutlines, ReportsProgressAndStopsBetweenSteps) {
    const BuildingModel model = TwoBoxes();
    RecordingProgress progress;
    PolygonWorkspace ws;
    ws.ProgressDetail = &progress;
    int outlines = 0;
    ShadowSegments(ws, model, WinterAt36(), 10.0, 0.0);
    EXPECT_EQ(ws.AllOutlines(MaxSpanRule::MeasureTimes1000,
                             [&](const std::vector<TLineEnt> &) { ++outlines; }),
              OutlineLoopResult::Done);
    EXPECT_EQ(outlines, 2);
    EXPECT_GT(progress.pumps, 0);
    EXPECT_GT(progress.highest, 0);
    EXPECT_FALSE(progress.overflow);
    EXPECT_EQ(progress.position, 0);

    // Stop pressed while the steps after the first outline pump events: no second outline.
    RecordingProgress stopping;
    outlines = 0;
    stopping.outlinesSeen = &outlines;
    ws.ProgressDetail = &stopping;
    ShadowSegments(ws, model, WinterAt36(), 10.0, 0.0);
    const OutlineLoopResult r = ws.AllOutlines(
        MaxSpanRule::MeasureTimes1000, [&](const std::vector<TLineEnt> &) { ++outlines; },
        stopping);
    EXPECT_EQ(r, OutlineLoopResult::Stopped);
    EXPECT_EQ(outlines, 1);
}

}  // namespace
}  // namespace pimu::shadow
