// Picks on a scene: the nearest entity in the pick box, window against crossing, snaps.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "view/hittest.h"

namespace pimu::view {
namespace {

constexpr double kPi = std::numbers::pi;

TAcadPoint P(double x, double y) {
    return {x, y, 0.0};
}

// A small plan, one entity each (keys 0..6), and a block reference of two lines (key 7).
Scene Plan() {
    SceneBuilder b;
    b.AddLayer("0", 7, "CONTINUOUS", false);
    b.AddLayer("Hidden", -1, "CONTINUOUS", false);
    b.BeginEntity(0);
    b.AddLine({}, P(0, 0), P(100, 0));
    b.BeginEntity(1);
    b.AddLine({}, P(0, 10), P(100, 10));
    b.BeginEntity(2);
    b.AddArc({}, Arc{P(200, 0), 50, 0, kPi / 2, false});  // quarter from (250,0) to (200,50)
    b.BeginEntity(3);
    b.AddArc({}, Arc{P(400, 0), 30, 0, 2 * kPi, true});
    b.BeginEntity(4);  // a square whose top edge bulges up to y = 150
    b.AddPolyline(
        {}, Polyline{
                {{P(0, 100), 0}, {P(40, 100), 0}, {P(40, 140), 0.5}, {P(0, 140), 0}}, true, false});
    b.BeginEntity(5);
    b.AddText({}, Text{"AB", P(300, 200), 10, 0, 1, 0, 0});
    b.BeginEntity(6);
    b.AddLine({"Hidden"}, P(0, 5), P(100, 5));
    b.BeginEntity(7);
    EXPECT_TRUE(b.BeginBlock({}));
    b.AddLine({}, P(500, 0), P(600, 0));
    b.AddLine({}, P(600, 0), P(600, 100));
    b.EndBlock();
    return b.Finish();
}

TEST(PickEntity, NearestInThePickBox) {
    const Scene s = Plan();
    struct Case {
        const char *name;
        TAcadPoint at;
        double aperture;
        int entity;  // -1: nothing
    };
    const Case cases[] = {
        {"nearer of two lines", P(50, 3), 4, 0},
        {"the other line", P(50, 7), 4, 1},
        {"hidden layer not picked", P(50, 5), 1, -1},
        {"nothing in the box", P(50, 30), 5, -1},
        {"on the quarter arc", P(200 + 50 * std::cos(0.7), 50 * std::sin(0.7) + 1), 2, 2},
        {"beside the arc's missing part", P(150, -1), 2, -1},
        {"circle outline", P(431, 0), 2, 3},
        {"circle's centre is not on it", P(400, 0), 2, -1},
        {"bulge of the polyline", P(20, 150.5), 1, 4},
        {"inside the polyline, away from its edges", P(20, 120), 5, -1},
        {"inside a text", P(305, 204), 0.5, 5},
        {"a line of a block reference picks the reference", P(600, 50), 1, 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto hit = PickEntity(s, c.at, c.aperture);
        if (c.entity < 0) {
            EXPECT_FALSE(hit.has_value());
        } else {
            ASSERT_TRUE(hit.has_value());
            EXPECT_EQ(hit->entity, c.entity);
        }
    }
    // On a tie the later one, drawn on top.
    const auto tie = PickEntity(s, P(50, 5), 6);
    ASSERT_TRUE(tie.has_value());
    EXPECT_EQ(tie->entity, 1);
    EXPECT_DOUBLE_EQ(tie->distance, 5.0);
}

TEST(Select, WindowTakesWhatIsInsideCrossingWhatItTouches) {
    const Scene s = Plan();
    struct Case {
        const char *name;
        TAcadPoint c1, c2;
        std::vector<int> window, crossing;
    };
    const Case cases[] = {
        {"both lines inside", P(-1, -1), P(101, 11), {0, 1}, {0, 1}},
        {"lines cut", P(50, -1), P(150, 11), {}, {0, 1}},
        {"corners in any order", P(101, 11), P(-1, -1), {0, 1}, {0, 1}},
        // The quarter arc's bounds are (200,0)-(250,50).
        {"arc inside", P(199, -1), P(251, 51), {2}, {2}},
        {"arc touched at its top", P(199, 45), P(205, 60), {}, {2}},
        {"circle's centre only", P(390, -10), P(410, 10), {}, {}},
        {"circle crossed", P(420, -10), P(440, 10), {}, {3}},
        // The vertices lie inside but the bulge reaches y = 150.
        {"bulge sticks out", P(-1, 99), P(41, 145), {}, {4}},
        {"bulge inside", P(-1, 99), P(41, 151), {4}, {4}},
        {"half the block", P(490, -10), P(610, 10), {}, {7}},
        {"whole block", P(490, -10), P(610, 110), {7}, {7}},
        {"text inside", P(299, 197), P(315, 211), {5}, {5}},
        {"box inside the text", P(303, 203), P(304, 204), {}, {5}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WindowSelect(s, c.c1, c.c2), c.window);
        EXPECT_EQ(CrossingSelect(s, c.c1, c.c2), c.crossing);
    }
}

TEST(SnapPoint, EndpointsAndCentres) {
    const Scene s = Plan();
    struct Case {
        const char *name;
        TAcadPoint at;
        double aperture;
        bool found;
        TAcadPoint snapped;
        SnapKind kind;
    };
    const Case cases[] = {
        {"line end", P(98, 1), 3, true, P(100, 0), SnapKind::Endpoint},
        {"nearest of two ends", P(1, 8), 3, true, P(0, 10), SnapKind::Endpoint},
        {"out of reach", P(50, 50), 3, false, {}, {}},
        {"arc end before the centre reached on the arc", P(201, 49), 2, true, P(200, 50),
         SnapKind::Endpoint},
        {"circle centre from its outline", P(429, 1), 2, true, P(400, 0), SnapKind::Center},
        {"circle centre from the centre", P(401, 1), 2, true, P(400, 0), SnapKind::Center},
        {"polyline vertex", P(39, 139), 2, true, P(40, 140), SnapKind::Endpoint},
        {"hidden line's end is not offered", P(0, 4), 0.5, false, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto hit = SnapPoint(s, c.at, c.aperture);
        ASSERT_EQ(hit.has_value(), c.found);
        if (!hit) continue;
        EXPECT_NEAR(hit->at.x, c.snapped.x, 1e-9);
        EXPECT_NEAR(hit->at.y, c.snapped.y, 1e-9);
        EXPECT_EQ(hit->kind, c.kind);
    }
}

TEST(SnapPoint, CurvesSnapOnlyAtTheirEnds) {
    SceneBuilder b;
    b.BeginEntity(0);
    Polyline ellipse;
    ellipse.curve = true;
    for (int i = 0; i <= 10; ++i) ellipse.vertices.push_back({P(i * 10, (i % 2) * 3), 0});
    b.AddPolyline({}, ellipse);
    const Scene s = b.Finish();
    EXPECT_FALSE(SnapPoint(s, P(50, 3), 2).has_value());
    ASSERT_TRUE(SnapPoint(s, P(99, 0), 2).has_value());
    EXPECT_EQ(SnapPoint(s, P(99, 0), 2)->at, P(100, 0));
}

// On many random primitives the grid-driven picks equal a look at every primitive.
TEST(Select, AgreesWithABruteForceLook) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> coord(0, 20000), size(0, 800), unit(0, 1);
    SceneBuilder b;
    for (int i = 0; i < 2000; ++i) {
        b.BeginEntity(i);
        const TAcadPoint p = P(coord(rng), coord(rng));
        if (i % 3 == 0)
            b.AddLine({}, p, P(p.x + size(rng), p.y + size(rng)));
        else if (i % 3 == 1)
            b.AddArc({}, Arc{p, size(rng), 6 * unit(rng), 4 * unit(rng) - 2, false});
        else
            b.AddPolyline({}, Polyline{{{p, unit(rng) - 0.5},
                                        {P(p.x + size(rng), p.y), 0},
                                        {P(p.x, p.y + size(rng)), 0}},
                                       true,
                                       false});
    }
    const Scene s = b.Finish();
    const auto &prims = s.Primitives();
    for (int q = 0; q < 100; ++q) {
        const TAcadPoint c = P(coord(rng), coord(rng));
        const Box box = Box::Spanning(c, P(c.x + 3 * size(rng), c.y + 3 * size(rng)));
        std::vector<int> window, crossing;
        for (const auto &p : prims) {
            if (Meets(p.shape, box)) crossing.push_back(p.entity);
            if (Inside(p.shape, box)) window.push_back(p.entity);
        }
        ASSERT_EQ(CrossingSelect(s, P(box.minX, box.minY), P(box.maxX, box.maxY)), crossing);
        ASSERT_EQ(WindowSelect(s, P(box.minX, box.minY), P(box.maxX, box.maxY)), window);
        // Whatever is inside also meets the window.
        for (int e : window) EXPECT_TRUE(std::binary_search(crossing.begin(), crossing.end(), e));

        const auto hit = PickEntity(s, c, 100);
        double best = std::numeric_limits<double>::infinity();
        const Box pick = Box::Around(c, 100);
        for (const auto &p : prims)
            if (Meets(p.shape, pick)) best = std::min(best, DistanceTo(p.shape, c));
        ASSERT_EQ(hit.has_value(), std::isfinite(best));
        if (hit) {
            EXPECT_EQ(hit->distance, best);
        }
    }
}

}  // namespace
}  // namespace pimu::view
