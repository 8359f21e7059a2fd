#include "geometry/shadow_outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "outline_test_util.h"

namespace pimu::geometry {
namespace {

using testing::AddBox;
using testing::Edge;
using testing::IsClosedChain;
using testing::MinX;
using testing::Seg;
using testing::SignedArea;

constexpr double kTol = 1e-6;

TEST(MergeCollinear, MergesOverlapsAndDropsShortSegments) {
    struct Case {
        const char *name;
        std::vector<TLineEnt> in;
        std::vector<TLineEnt> out;
    };
    const std::vector<Case> cases = {
        {"partial overlap", {Seg(0, 0, 10, 0), Seg(5, 0, 20, 0)}, {Seg(0, 0, 20, 0)}},
        {"end to end", {Seg(0, 0, 10, 0), Seg(10, 0, 20, 0)}, {Seg(0, 0, 20, 0)}},
        {"later inside earlier", {Seg(0, 0, 20, 0), Seg(5, 0, 10, 0)}, {Seg(0, 0, 20, 0)}},
        // Only the later segment's ends are tested against the earlier one.
        {"earlier inside later",
         {Seg(5, 0, 10, 0), Seg(0, 0, 20, 0)},
         {Seg(5, 0, 10, 0), Seg(0, 0, 20, 0)}},
        {"corner", {Seg(0, 0, 10, 0), Seg(10, 0, 10, 10)}, {Seg(0, 0, 10, 0), Seg(10, 0, 10, 10)}},
        {"parallel apart",
         {Seg(0, 0, 10, 0), Seg(0, 1, 10, 1)},
         {Seg(0, 0, 10, 0), Seg(0, 1, 10, 1)}},
        {"short dropped", {Seg(0, 0, 0.00001, 0), Seg(1, 1, 2, 3)}, {Seg(1, 1, 2, 3)}},
        {"short last kept", {Seg(1, 1, 2, 3), Seg(0, 0, 0, 0)}, {Seg(1, 1, 2, 3), Seg(0, 0, 0, 0)}},
        {"chain of three",
         {Seg(0, 0, 10, 0), Seg(8, 0, 15, 0), Seg(14, 0, 30, 0)},
         {Seg(0, 0, 30, 0)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PolygonWorkspace ws;
        ws.AryLine = c.in;
        ws.MergeCollinear();
        ASSERT_EQ(ws.AryLine.size(), c.out.size());
        for (std::size_t i = 0; i < c.out.size(); ++i) {
            // The merged span may run either way.
            const TLineEnt &got = ws.AryLine[i];
            const TLineEnt &want = c.out[i];
            EXPECT_TRUE((Near2D(got.st, want.st) && Near2D(got.ed, want.ed)) ||
                        (Near2D(got.st, want.ed) && Near2D(got.ed, want.st)))
                << got.st.x << "," << got.st.y << " " << got.ed.x << "," << got.ed.y;
        }
    }
}

TEST(GetMaxSpan, LargestDistanceBetweenEndsOfDifferentSegments) {
    PolygonWorkspace ws;
    ws.MaxSpan = 7;
    ws.AryLine = {Seg(0, 0, 100, 0)};
    ws.GetMaxSpan();
    EXPECT_EQ(ws.MaxSpan, 0.0);  // a segment's own length does not count
    ws.AryLine = {Seg(0, 0, 100, 0), Seg(3, 4, 1, 1), Seg(50, 50, 50, 60)};
    ws.GetMaxSpan();
    EXPECT_DOUBLE_EQ(ws.MaxSpan, std::hypot(99, 1));  // (100,0) to (1,1)
}

TEST(SplitAtCrossings, SplitsAtCrossingsAndTouchingEnds) {
    PolygonWorkspace ws;
    ws.AryLine = {Edge(TAcadPoint{0, 0, 7}, TAcadPoint{10, 0, 7}), Seg(5, -5, 5, 5)};
    ws.SplitAtCrossings();
    ASSERT_EQ(ws.AryRinkaku.size(), 4u);
    EXPECT_TRUE(Near2D(ws.AryRinkaku[0].ed, TAcadPoint{5, 0, 0}));
    EXPECT_EQ(ws.AryRinkaku[0].ed.z, 7.0);  // crossings carry the z of the split segment's start
    EXPECT_TRUE(Near2D(ws.AryRinkaku[1].st, TAcadPoint{5, 0, 0}));

    // A T-junction: the touching end splits the other segment; the touching one stays whole.
    ws.AryRinkaku.clear();
    ws.AryLine = {Seg(0, 0, 10, 0), Seg(5, 0, 5, 5)};
    ws.SplitAtCrossings();
    ASSERT_EQ(ws.AryRinkaku.size(), 3u);
    EXPECT_TRUE(Near2D(ws.AryRinkaku[0].st, TAcadPoint{0, 0, 0}));
    EXPECT_TRUE(Near2D(ws.AryRinkaku[0].ed, TAcadPoint{5, 0, 0}));
    EXPECT_TRUE(Near2D(ws.AryRinkaku[1].ed, TAcadPoint{10, 0, 0}));
    EXPECT_TRUE(Near2D(ws.AryRinkaku[2].st, TAcadPoint{5, 0, 0}));
    EXPECT_TRUE(Near2D(ws.AryRinkaku[2].ed, TAcadPoint{5, 5, 0}));
}

TEST(SortByDistance, SelectionSortSwapsCloserPointsForward) {
    PolygonWorkspace ws;
    const auto run = [&](std::vector<double> xs) {
        ws.TempPoints.clear();
        for (double x : xs) ws.TempPoints.push_back(TTempPoint{0, TAcadPoint{x, 0, 0}, {}});
        ws.SortByDistance(TAcadPoint{});
        std::vector<double> out;
        for (const TTempPoint &p : ws.TempPoints) out.push_back(p.pt.x);
        return out;
    };
    // Equal distances keep the order the swaps leave them in.
    EXPECT_EQ(run({3, 1, -1, 2}), (std::vector<double>{1, -1, 2, 3}));
    EXPECT_EQ(run({-1, 3, 1}), (std::vector<double>{-1, 1, 3}));
    EXPECT_EQ(run({}), std::vector<double>{});
}

TEST(RemoveDuplicates, KeepsTheLastCopyInOrderAndEmptiesAryLine) {
    PolygonWorkspace ws;
    ws.AryLine = {Seg(9, 9, 9, 9)};
    ws.AryRinkaku = {Seg(0, 0, 1, 0), Seg(5, 5, 6, 6), Seg(1, 0, 0, 0),
                     Seg(0.000001, 0, 1, 0.000002), Seg(5, 5, 6, 6.00002)};
    ws.RemoveDuplicates();
    ASSERT_EQ(ws.AryRinkaku.size(), 3u);
    EXPECT_EQ(ws.AryRinkaku[0].ed.y, 6.0);
    EXPECT_EQ(ws.AryRinkaku[1].st.x, 0.000001);
    EXPECT_EQ(ws.AryRinkaku[2].ed.y, 6.00002);
    EXPECT_TRUE(ws.AryLine.empty());
}

TEST(TraceStart, LowestVertexOfTheLeftMostColumn) {
    PolygonWorkspace ws;
    ws.TraceStart = TAcadPoint{-1, -1, -1};
    ws.GetMinCorner();  // empty graph: unchanged
    EXPECT_EQ(ws.GetTraceStart(), (TAcadPoint{-1, -1, -1}));

    ws.AryRinkaku = {Edge({0.000005, 8, 3}, {4, -2, 0}), Seg(0, 5, 0, 20), Seg(0, 5, 2, 1)};
    ws.GetMinCorner();
    EXPECT_EQ(ws.MinCorner, (TAcadPoint{0, -2, 3}));
    EXPECT_EQ(ws.GetTraceStart(), (TAcadPoint{0, 5, 0}));
}

TEST(TurnAngle, CounterClockwiseFromTheWayBack) {
    const TAcadPoint b{0, 0, 0};
    EXPECT_DOUBLE_EQ(TurnAngle({0, -1, 0}, b, {1, 0, 0}, false), kHalfPi);
    EXPECT_DOUBLE_EQ(TurnAngle({0, -1, 0}, b, {0, 1, 0}, false), kPi);
    EXPECT_DOUBLE_EQ(TurnAngle({0, -1, 0}, b, {-1, 0, 0}, false), kThreeHalfPi);
    EXPECT_DOUBLE_EQ(TurnAngle({0, -1, 0}, b, {1, 0, 0}, true), kThreeHalfPi);
    EXPECT_EQ(TurnAngle({1, 0, 0}, b, {1, 0, 0}, false), 0.0);
}

// Runs TraceOutline on a hand-made graph from its min corner.
bool TraceGraph(PolygonWorkspace &ws, std::vector<TLineEnt> graph) {
    ws.AryRinkaku = std::move(graph);
    return ws.TraceFromMinCorner();
}

std::vector<TLineEnt> SquareGraph() {
    return {Seg(0, 0, 10, 0), Seg(10, 0, 10, 5), Seg(10, 5, 10, 10), Seg(10, 10, 0, 10),
            Seg(0, 10, 0, 0)};
}

TEST(TraceOutline, TracesTheOuterBoundaryAndLeavesDeadEndsOut) {
    PolygonWorkspace ws;
    // Inner segments are passed by; the right-most turn keeps to the outside.
    auto graph = SquareGraph();
    graph.push_back(Seg(0, 0, 10, 10));
    graph.push_back(Seg(10, 5, 5, 7));
    ASSERT_TRUE(TraceGraph(ws, graph));
    EXPECT_EQ(ws.AryLine.size(), 5u);
    EXPECT_NEAR(SignedArea(ws.AryLine), 100.0, 1e-9);

    // A dead end of two segments is walked in and out again and leaves no spike.
    graph = SquareGraph();
    graph.push_back(Seg(10, 5, 15, 5));
    graph.push_back(Seg(15, 5, 20, 5));
    ASSERT_TRUE(TraceGraph(ws, graph));
    EXPECT_EQ(ws.AryLine.size(), 5u);
    EXPECT_TRUE(IsClosedChain(ws.AryLine));
    EXPECT_NEAR(SignedArea(ws.AryLine), 100.0, 1e-9);
    for (const TLineEnt &s : ws.AryLine) EXPECT_LE(s.ed.x, 10.0);
}

TEST(TraceOutline, FailsOnAnIsolatedSegment) {
    PolygonWorkspace ws;
    EXPECT_FALSE(TraceGraph(ws, {Seg(0, 0, 10, 0)}));
    EXPECT_TRUE(ws.AryLine.empty());
    EXPECT_FALSE(TraceGraph(ws, {}));
}

TEST(PointInOutline, InsideOnAndOutside) {
    const std::vector<TLineEnt> square = {Seg(0, 0, 10, 0), Seg(10, 0, 10, 10), Seg(10, 10, 0, 10),
                                          Seg(0, 10, 0, 0)};
    const std::vector<TLineEnt> diamond = {Seg(0, -5, 5, 0), Seg(5, 0, 0, 5), Seg(0, 5, -5, 0),
                                           Seg(-5, 0, 0, -5)};
    struct Case {
        const char *name;
        const std::vector<TLineEnt> *outline;
        TAcadPoint p;
        bool in;
    };
    const Case cases[] = {
        {"vertex", &square, {10, 0, 0}, true},
        {"on an edge", &square, {5, 0, 0}, true},
        {"5e-6 outside an edge", &square, {5, -0.000005, 0}, true},
        {"5e-6 outside a sloped edge", &diamond, {2.5 + 0.0000035, -2.5 - 0.0000035, 0}, true},
        {"inside", &square, {3, 7, 0}, true},
        {"far outside", &square, {50, 50, 0}, false},
        {"just outside", &square, {10.001, 5, 0}, false},
        // The ray along +x would pass through vertices; it is turned away from them.
        {"level with an edge, outside", &square, {-5, 0, 0}, false},
        {"ray through a vertex, inside", &diamond, {0, 0, 0}, true},
        {"ray through a vertex, outside", &diamond, {-7, 0, 0}, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(PointInOutline(c.p, 20.0, *c.outline), c.in) << c.name;
    }
}

TEST(RemoveEnclosed, DropsSegmentsInsideOrTouchingTheOutline) {
    PolygonWorkspace ws;
    ws.AryLine = {Seg(0, 0, 10, 0), Seg(10, 0, 10, 10), Seg(10, 10, 0, 10), Seg(0, 10, 0, 0)};
    ws.MaxSpan = 20;
    ws.AryRinkaku = {Seg(1, 1, 2, 2), Seg(20, 0, 30, 0), Seg(10, 10, 15, 15), Seg(30, 0, 30, 5)};
    ws.RemoveEnclosed();
    ASSERT_EQ(ws.AryRinkaku.size(), 2u);
    EXPECT_EQ(ws.AryRinkaku[0].st.x, 20.0);
    EXPECT_EQ(ws.AryRinkaku[1].st.x, 30.0);
}

TEST(RemoveDangling, OnePassDropsSegmentsWithAFreeEnd) {
    PolygonWorkspace ws;
    ws.AryRinkaku = SquareGraph();
    ws.AryRinkaku.push_back(Seg(10, 5, 15, 5));
    ws.AryRinkaku.push_back(Seg(15, 5, 20, 5));
    ws.AryRinkaku.push_back(Seg(40, 40, 50, 50));
    ws.RemoveDangling();
    EXPECT_EQ(ws.AryRinkaku.size(), 6u);  // only the tip of the chain goes in one pass
    EXPECT_EQ(ws.AryRinkaku.back().ed.x, 15.0);
    ws.RemoveDangling();
    EXPECT_EQ(ws.AryRinkaku.size(), 5u);
    ws.RemoveDangling();
    EXPECT_EQ(ws.AryRinkaku.size(), 5u);
}

TEST(RemoveBackPairs, DropsMutuallyReversedSegments) {
    struct Case {
        const char *name;
        std::vector<TLineEnt> in;
        std::size_t left;
    };
    const std::vector<Case> cases = {
        {"pair among others",
         {Seg(0, 0, 1, 0), Seg(1, 0, 2, 0), Seg(1, 0, 0, 0), Seg(2, 0, 3, 0)},
         2},
        // A segment already marked may be matched again.
        {"three in a row", {Seg(0, 0, 1, 0), Seg(1, 0, 0, 0), Seg(0, 0, 1, 0)}, 0},
        {"same direction is no pair", {Seg(0, 0, 1, 0), Seg(0, 0, 1, 0)}, 2},
        {"single", {Seg(0, 0, 0, 0)}, 1},
    };
    for (const Case &c : cases) {
        PolygonWorkspace ws;
        ws.AryLine = c.in;
        ws.RemoveBackPairs();
        EXPECT_EQ(ws.AryLine.size(), c.left) << c.name;
    }
    PolygonWorkspace ws;
    ws.AryLine = {Seg(0, 0, 1, 0), Seg(1, 0, 2, 0), Seg(1, 0, 0, 0), Seg(2, 0, 3, 0)};
    ws.RemoveBackPairs();
    EXPECT_EQ(ws.AryLine[0].st.x, 1.0);
    EXPECT_EQ(ws.AryLine[1].st.x, 2.0);
}

TEST(AllOutlines, LooseEndsCannotSpoilTheTrace) {
    // A spur hanging from the start vertex and a stray segment west of everything: left in the
    // graph either would be walked first and the trace would come back with nothing.
    PolygonWorkspace ws;
    ws.AryLine = {Seg(0, 0, 10, 0), Seg(10, 0, 10, 10), Seg(10, 10, 0, 10),
                  Seg(0, 10, 0, 0), Seg(0, 0, 5, -5),   Seg(-20, 3, -20, 8)};
    std::vector<std::vector<TLineEnt>> outlines;
    EXPECT_EQ(ws.AllOutlines(MaxSpanRule::Measure, [&](const auto &o) { outlines.push_back(o); }),
              OutlineLoopResult::Done);
    ASSERT_EQ(outlines.size(), 1u);
    EXPECT_EQ(outlines[0].size(), 4u);
    EXPECT_TRUE(Near2D(outlines[0][0].st, MakePoint(0, 0, 0)));

    // A lone segment gives no outline and no failure.
    ws.AryLine = {Seg(0, 0, 10, 0)};
    EXPECT_EQ(ws.AllOutlines(MaxSpanRule::Measure, {}), OutlineLoopResult::Done);
}

}  // namespace
}  // namespace pimu::geometry
