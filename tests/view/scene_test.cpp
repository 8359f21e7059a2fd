// The scene: bulge arcs, flattening and its bounds, BYLAYER/BYBLOCK resolution inside block
// references, layers on and off, extents, and the grid behind the queries.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "view/scene.h"

namespace pimu::view {
namespace {

constexpr double kPi = std::numbers::pi;

TAcadPoint P(double x, double y) {
    return {x, y, 0.0};
}

Box BoxOf(const std::vector<TAcadPoint> &pts) {
    Box b;
    for (const auto &p : pts) b.Add(p);
    return b;
}

// The arc of a bulge starts at p1, runs to p2 and bulges to the side the sign says.
TEST(ArcOfBulge, StartsAtTheFirstVertexAndBulgesToItsSide) {
    struct Case {
        const char *name;
        TAcadPoint p1, p2;
        double bulge;
        TAcadPoint center, middle;  // the arc's centre and its point halfway
        double radius;
    };
    const double quarter = std::tan(kPi / 8);
    const Case cases[] = {
        {"half circle, counter-clockwise: below", P(0, 0), P(2, 0), 1.0, P(1, 0), P(1, -1), 1},
        {"half circle, clockwise: above", P(0, 0), P(2, 0), -1.0, P(1, 0), P(1, 1), 1},
        {"quarter about the origin", P(1, 0), P(0, 1), quarter, P(0, 0),
         P(std::sqrt(0.5), std::sqrt(0.5)), 1},
        {"quarter back, clockwise", P(0, 1), P(1, 0), -quarter, P(0, 0),
         P(std::sqrt(0.5), std::sqrt(0.5)), 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Arc arc = ArcOfBulge(c.p1, c.p2, c.bulge);
        EXPECT_NEAR(arc.center.x, c.center.x, 1e-9);
        EXPECT_NEAR(arc.center.y, c.center.y, 1e-9);
        EXPECT_NEAR(arc.radius, c.radius, 1e-9);
        EXPECT_NEAR(arc.sweep, 4 * std::atan(c.bulge), 1e-12);
        auto at = [&](double t) {
            const double a = arc.start + arc.sweep * t;
            return P(arc.center.x + arc.radius * std::cos(a),
                     arc.center.y + arc.radius * std::sin(a));
        };
        EXPECT_NEAR(at(0).x, c.p1.x, 1e-9);
        EXPECT_NEAR(at(0).y, c.p1.y, 1e-9);
        EXPECT_NEAR(at(1).x, c.p2.x, 1e-9);
        EXPECT_NEAR(at(1).y, c.p2.y, 1e-9);
        EXPECT_NEAR(at(0.5).x, c.middle.x, 1e-9);
        EXPECT_NEAR(at(0.5).y, c.middle.y, 1e-9);
    }
}

TEST(Flatten, BulgedPolylineRunsAlongItsArcs) {
    Polyline pl;
    pl.closed = true;
    pl.vertices = {{P(0, 0), 1.0}, {P(2, 0), 0.0}, {P(2, 2), 0.0}};
    std::vector<TAcadPoint> pts;
    Flatten(pl, pts);
    // The half circle below the first edge in 72 steps, then the straight edges.
    ASSERT_EQ(pts.size(), 3u + 71u);
    EXPECT_EQ(pts[0], P(0, 0));
    EXPECT_EQ(pts[72], P(2, 0));
    EXPECT_EQ(pts[73], P(2, 2));
    for (int k = 1; k < 72; ++k) {
        EXPECT_NEAR(std::hypot(pts[k].x - 1, pts[k].y), 1.0, 1e-12);
        EXPECT_LT(pts[k].y, 0.0);
    }
    const Box b = BoxOf(pts);
    EXPECT_NEAR(b.minY, -1.0, 1e-12);
    // A tiny bulge is a straight segment; the closing segment's bulge is drawn too.
    pl.vertices = {{P(0, 0), 1e-13}, {P(2, 0), 0.0}, {P(2, 2), 0.0}};
    pl.vertices[2].bulge = 0.5;
    pts.clear();
    Flatten(pl, pts);
    EXPECT_EQ(pts[1], P(2, 0));
    EXPECT_GT(pts.size(), 4u);
}

// The cheap bounds are exactly the bounds of what is drawn, whatever the arc.
TEST(Flatten, BoundsOfAnArcAreThoseOfItsDrawnPoints) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> angle(-7.0, 7.0), sweep(-2 * kPi, 2 * kPi);
    for (int i = 0; i < 2000; ++i) {
        Arc arc;
        arc.center = P(1234.5, -77.25);
        arc.radius = 1 + i;
        arc.start = i % 10 == 0 ? 0.0 : angle(rng);
        arc.sweep = i % 10 == 0 ? 2 * kPi : sweep(rng);
        if (i % 7 == 0) arc.start = kPi / 2 * (i % 5);  // quarter angles exactly
        std::vector<TAcadPoint> pts;
        Flatten(arc, pts);
        const Box want = BoxOf(pts), got = FlattenedBounds(arc);
        ASSERT_EQ(got.minX, want.minX) << i;
        ASSERT_EQ(got.maxX, want.maxX) << i;
        ASSERT_EQ(got.minY, want.minY) << i;
        ASSERT_EQ(got.maxY, want.maxY) << i;
    }
    // A corrupt sweep is drawn with a turn's steps, not billions.
    EXPECT_EQ(ArcSteps(1e300), kArcStepsPerTurn);
    EXPECT_EQ(ArcSteps(std::nan("")), kArcStepsPerTurn);
    EXPECT_EQ(ArcSteps(0.01), kMinArcSteps);
}

// A drawing's tables as most drawings have them.
SceneBuilder Tables() {
    SceneBuilder b;
    b.AddLinetype("CONTINUOUS", {});
    b.AddLinetype("HIDDEN2", {3.175, -1.5875});
    b.AddLayer("0", 7, "CONTINUOUS", false);
    b.AddLayer("Red", 1, "CONTINUOUS", false);
    b.AddLayer("Dash", 5, "HIDDEN2", false);
    b.AddLayer("Off", -3, "CONTINUOUS", false);
    b.AddLayer("Frozen", 4, "CONTINUOUS", true);
    return b;
}

TEST(SceneBuilder, ColoursAndLinetypesResolveThroughLayersAndBlocks) {
    SceneBuilder b = Tables();
    struct Case {
        const char *name;
        Props reference;  // the block reference around the line, or layer "" for none
        Props line;
        int color;
        const char *layer;
        bool dashed;
    };
    const Case cases[] = {
        {"BYLAYER", {""}, {"Red"}, 1, "Red", false},
        {"own colour", {""}, {"Red", 30}, 30, "Red", false},
        {"BYBLOCK in model space", {""}, {"Red", 0, "BYBLOCK"}, 7, "Red", false},
        {"BYLAYER linetype", {""}, {"dash"}, 5, "Dash", true},
        {"named linetype", {""}, {"Red", 256, "hidden2"}, 1, "Red", true},
        {"BYBLOCK takes the reference's",
         {"Red", 3, "HIDDEN2"},
         {"Dash", 0, "ByBlock"},
         3,
         "Dash",
         true},
        {"BYBLOCK of a BYLAYER reference", {"Dash"}, {"Red", 0, "BYBLOCK"}, 5, "Red", true},
        {"layer 0 shows on the reference's layer", {"Dash", 2}, {"0"}, 5, "Dash", true},
        {"other layers keep their own", {"Dash", 2}, {"Red"}, 1, "Red", false},
        {"unknown layer", {""}, {"Nowhere"}, 7, "Nowhere", false},
    };
    for (const Case &c : cases) {
        b.BeginEntity(0);
        const bool inBlock = !c.reference.layer.empty();
        if (inBlock) {
            ASSERT_TRUE(b.BeginBlock(c.reference));
        }
        b.AddLine(c.line, P(0, 0), P(1, 1));
        if (inBlock) b.EndBlock();
    }
    const Scene scene = b.Finish();
    ASSERT_EQ(scene.Primitives().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const Primitive &p = scene.Primitives()[i];
        EXPECT_EQ(p.color, cases[i].color);
        EXPECT_EQ(scene.Layers()[static_cast<std::size_t>(p.layer)].name, cases[i].layer);
        EXPECT_EQ(scene.Dashed(p), cases[i].dashed);
        EXPECT_EQ(p.entity, static_cast<int>(i));
    }
}

TEST(SceneBuilder, LayersOffHideTheirPrimitivesAndBlockContents) {
    SceneBuilder b = Tables();
    b.BeginEntity(10);
    b.AddLine({"Red"}, P(0, 0), P(10, 10));
    b.BeginEntity(11);
    b.AddLine({"Off"}, P(0, 0), P(100, 100));
    b.BeginEntity(12);
    b.AddLine({"Frozen"}, P(0, 0), P(-100, 0));
    b.BeginEntity(13);  // a reference on "Off" whose line is on "Red"
    ASSERT_TRUE(b.BeginBlock({"Off"}));
    b.AddLine({"Red"}, P(0, 0), P(0, 500));
    b.EndBlock();
    Scene scene = b.Finish();
    ASSERT_EQ(scene.Entities().size(), 4u);
    EXPECT_EQ(scene.Entities()[3].key, 13);
    const auto &prims = scene.Primitives();
    EXPECT_TRUE(scene.Visible(prims[0]));
    EXPECT_FALSE(scene.Visible(prims[1]));
    EXPECT_FALSE(scene.Visible(prims[2]));
    EXPECT_FALSE(scene.Visible(prims[3]));
    Box e = scene.Extents();
    EXPECT_EQ(e.maxX, 10.0);
    EXPECT_EQ(e.maxY, 10.0);

    scene.SetLayerOn(scene.FindLayer("OFF"), true);
    EXPECT_TRUE(scene.Visible(prims[1]));
    EXPECT_TRUE(scene.Visible(prims[3]));
    EXPECT_EQ(scene.Extents().maxY, 500.0);
    scene.SetLayerOn(scene.FindLayer("red"), false);
    EXPECT_FALSE(scene.Visible(prims[3]));  // its own layer is off now
    std::vector<int> found;
    scene.Query(Box::Around(P(0, 0), 1), found);
    EXPECT_EQ(found, std::vector<int>{1});
    EXPECT_EQ(scene.FindLayer("nothing"), -1);
}

TEST(SceneBuilder, ExtentsCoverTextsArcsAndPoints) {
    SceneBuilder b = Tables();
    b.BeginEntity(1);
    Text t;
    t.text = "ab";
    t.height = 10;
    t.at = P(100, 100);
    b.AddText({"0"}, t);
    t.height = 0;  // nothing to draw
    b.AddText({"0"}, t);
    b.BeginEntity(2);
    Arc a;
    a.center = P(0, 0);
    a.radius = 50;
    a.start = 0;
    a.sweep = kPi;  // the upper half
    b.AddArc({"0"}, a);
    b.BeginEntity(3);
    b.AddDot({"0"}, P(-70, -20));
    b.BeginEntity(4);
    b.AddPolyline({"0"}, Polyline{{{P(5, 5), 0.0}}});  // one vertex: nothing
    const Scene scene = b.Finish();
    EXPECT_EQ(scene.Primitives().size(), 3u);
    EXPECT_EQ(scene.Entities()[3].count, 0);
    const Box e = scene.Extents();
    EXPECT_EQ(e.minX, -70.0);
    EXPECT_EQ(e.minY, -20.0);
    EXPECT_EQ(e.maxX, 110.0);  // the rough text box: half a height per byte each side
    EXPECT_EQ(e.maxY, 110.0);
    EXPECT_TRUE(SceneBuilder().Finish().Extents().Empty());
}

TEST(SceneBuilder, NestingStopsAtTheDepthLimit) {
    SceneBuilder b = Tables();
    b.BeginEntity(1);
    int opened = 0;
    while (b.BeginBlock({"0"}) && opened < 100) ++opened;
    EXPECT_EQ(opened, kMaxBlockDepth);
}

// The grid answers as a look at every primitive would, for small and large primitives alike.
TEST(Scene, QueryFindsWhatABruteForceFinds) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> coord(0, 100000), size(0, 2000);
    SceneBuilder b = Tables();
    for (int i = 0; i < 3000; ++i) {
        b.BeginEntity(i);
        const TAcadPoint p = P(coord(rng), coord(rng));
        switch (i % 4) {
            case 0:
                b.AddLine({"Red"}, p, P(p.x + size(rng), p.y - size(rng)));
                break;
            case 1:
                b.AddArc({"0"}, Arc{p, size(rng), 1.0, 2.0, false});
                break;
            case 2:
                b.AddDot({"Off"}, p);
                break;
            default:
                b.AddText({"0"}, Text{"日影", p, 300, 0.7, 1, 0, 0});
        }
    }
    b.BeginEntity(9999);
    b.AddLine({"0"}, P(-5000, -5000), P(105000, 105000));  // spans the whole grid
    const Scene scene = b.Finish();
    std::vector<int> got;
    for (int q = 0; q < 200; ++q) {
        const TAcadPoint c = P(coord(rng), coord(rng));
        const Box box = Box::Spanning(
            c, q % 10 == 0 ? P(coord(rng), coord(rng)) : P(c.x + size(rng), c.y - size(rng)));
        scene.Query(box, got);
        std::vector<int> want;
        for (std::size_t i = 0; i < scene.Primitives().size(); ++i)
            if (scene.Visible(scene.Primitives()[i]) &&
                scene.PickBounds(static_cast<int>(i)).Intersects(box))
                want.push_back(static_cast<int>(i));
        ASSERT_EQ(got, want) << q;
    }
}

}  // namespace
}  // namespace pimu::view

namespace pimu::view {
namespace {

TEST(DisplayText, ControlCodesShowAsTheCadShowsThem) {
    struct Case {
        const char *in;
        const char *out;
    };
    for (const Case &c : {Case{"目盛間隔 10%%d", "目盛間隔 10°"}, Case{"%%p0.5 %%C20", "±0.5 ⌀20"},
                          Case{"100%%% %%uA%%U", "100% A"}, Case{"5%", "5%"}, Case{"a%%", "a%%"},
                          Case{"%%x", "%%x"}})
        EXPECT_EQ(DisplayText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace pimu::view
