// The scene of an embedded drawing: block references placed, rotated and scaled with BYBLOCK
// taken from the reference, entities seen from below mirrored, tables carried over.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "cadlink/embedded/scene.h"
#include "view/hittest.h"

namespace pimu::cadlink::embedded {
namespace {

constexpr double kPi = std::numbers::pi;

#define EXPECT_AT(p, X, Y)             \
    do {                               \
        EXPECT_NEAR((p).x, (X), 1e-9); \
        EXPECT_NEAR((p).y, (Y), 1e-9); \
    } while (0)

EntityData Line(TAcadPoint a, TAcadPoint b, int color = 256) {
    EntityData e;
    e.kind = EntityKind::Line;
    e.p1 = a;
    e.p2 = b;
    e.color = color;
    return e;
}

TEST(SceneOf, BlockReferencePlacedRotatedScaledWithByblockColour) {
    Drawing d;
    d.AddBlock("B", {10, 0, 0});
    d.Add(Line({10, 0, 0}, {110, 0, 0}, 1), "B");
    d.Add(Line({10, 0, 0}, {10, -100, 0}, 0), "B");
    EntityData arc;
    arc.kind = EntityKind::Arc;
    arc.p1 = {60, 0, 0};
    arc.radius = 10;
    arc.startAngle = 0;
    arc.endAngle = kPi / 2;
    arc.color = 0;
    d.Add(arc, "B");
    const EntityId first = d.Add(Line({0, 0, 0}, {1, 0, 0}));
    EntityData insert;
    insert.kind = EntityKind::Insert;
    insert.blockName = "B";
    insert.p1 = {500, 500, 0};
    insert.sx = insert.sy = insert.sz = 2.0;
    insert.rotation = kPi / 2;
    insert.color = 3;
    const EntityId ref = d.Add(insert);

    const view::Scene scene = SceneOf(d);
    ASSERT_EQ(scene.Entities().size(), 2u);
    EXPECT_EQ(scene.Entities()[0].key, first.value);
    EXPECT_EQ(scene.Entities()[1].key, ref.value);
    ASSERT_EQ(scene.Entities()[1].count, 3);
    const auto &prims = scene.Primitives();
    // The red line runs up from the insertion point, twice as long; the BYBLOCK one runs right
    // in the reference's green.
    const auto &red = std::get<view::Line>(prims[1].shape);
    EXPECT_AT(red.a, 500, 500);
    EXPECT_AT(red.b, 500, 700);
    EXPECT_EQ(prims[1].color, 1);
    const auto &byBlock = std::get<view::Line>(prims[2].shape);
    EXPECT_AT(byBlock.b, 700, 500);
    EXPECT_EQ(prims[2].color, 3);
    const auto &a = std::get<view::Arc>(prims[3].shape);
    EXPECT_AT(a.center, 500, 600);
    EXPECT_NEAR(a.radius, 20, 1e-9);
    EXPECT_NEAR(a.start, kPi / 2, 1e-9);
    EXPECT_NEAR(a.sweep, kPi / 2, 1e-9);
    EXPECT_EQ(prims[3].color, 3);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(prims[static_cast<std::size_t>(i)].entity, 1);
    const view::Box e = scene.Extents();
    EXPECT_NEAR(e.minX, 0, 1e-9);
    EXPECT_NEAR(e.maxX, 700, 1e-9);
    EXPECT_NEAR(e.maxY, 700, 1e-9);

    // Picking any placed line picks the reference.
    const auto hit = view::PickEntity(scene, {501, 650, 0}, 2);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(scene.Entities()[static_cast<std::size_t>(hit->entity)].key, ref.value);
}

// An arc and a bulged polyline whose extrusion points down are seen mirrored from above.
TEST(SceneOf, EntitiesSeenFromBelowAreMirrored) {
    Drawing d;
    EntityData arc;
    arc.kind = EntityKind::Arc;
    arc.normal = {0, 0, -1};
    arc.p1 = {100, 0, 0};
    arc.radius = 10;
    arc.startAngle = 0;
    arc.endAngle = kPi / 2;
    d.Add(arc);
    EntityData pl;
    pl.kind = EntityKind::LwPolyline;
    pl.normal = {0, 0, -1};
    pl.vertices = {{{0, 0, 0}, 1.0}, {{2, 0, 0}, 0.0}};
    d.Add(pl);
    EntityData tilted = arc;
    tilted.kind = EntityKind::Circle;
    tilted.normal = {0, 0.6, 0.8};
    d.Add(tilted);

    const view::Scene scene = SceneOf(d);
    ASSERT_EQ(scene.Primitives().size(), 3u);
    std::vector<TAcadPoint> pts;
    view::Flatten(std::get<view::Arc>(scene.Primitives()[0].shape), pts);
    for (double t : {0.0, 0.5, 1.0}) {
        const double angle = kPi / 2 * t;
        const TAcadPoint want =
            OcsToWcs({100 + 10 * std::cos(angle), 10 * std::sin(angle), 0}, arc.normal);
        const auto &got = pts[static_cast<std::size_t>(t * (pts.size() - 1))];
        EXPECT_AT(got, want.x, want.y);
    }
    EXPECT_AT(pts.front(), -110, 0);  // x mirrored

    pts.clear();
    view::Flatten(std::get<view::Polyline>(scene.Primitives()[1].shape), pts);
    // In its own plane the half circle runs below the chord: from above, below and mirrored.
    EXPECT_AT(pts.front(), 0, 0);
    EXPECT_AT(pts[pts.size() / 2], -1, -1);

    const auto &circle = std::get<view::Polyline>(scene.Primitives()[2].shape);
    EXPECT_TRUE(circle.closed);
    EXPECT_TRUE(circle.curve);
    const TAcadPoint at0 = OcsToWcs({110, 0, 0}, tilted.normal);
    EXPECT_AT(circle.vertices.front().pt, at0.x, at0.y);
}

TEST(SceneOf, TablesAndMissingOrEndlessBlocks) {
    Drawing d;
    d.AddLayer({"Off", -2, "CONTINUOUS", 0});
    d.AddLayer({"Frozen", 2, "DASHED", 1});
    EntityData e = Line({0, 0, 0}, {10, 0, 0});
    e.layer = "Off";
    d.Add(e);
    d.AddBlock("Loop", {0, 0, 0});
    EntityData insert;
    insert.kind = EntityKind::Insert;
    insert.blockName = "Loop";
    d.Add(Line({0, 0, 0}, {0, 5, 0}), "Loop");
    d.Add(insert, "Loop");  // the block contains itself
    d.Add(insert);
    insert.blockName = "Nowhere";
    d.Add(insert);

    const view::Scene scene = SceneOf(d);
    const int off = scene.FindLayer("off"), frozen = scene.FindLayer("FROZEN");
    ASSERT_GE(off, 0);
    ASSERT_GE(frozen, 0);
    EXPECT_FALSE(scene.Layers()[static_cast<std::size_t>(off)].on);
    EXPECT_EQ(scene.Layers()[static_cast<std::size_t>(off)].color, 2);
    EXPECT_FALSE(scene.Layers()[static_cast<std::size_t>(frozen)].on);
    EXPECT_EQ(scene.Layers()[static_cast<std::size_t>(frozen)].linetype, "DASHED");
    ASSERT_EQ(scene.Entities().size(), 3u);
    EXPECT_EQ(scene.Entities()[1].count, view::kMaxBlockDepth);  // one line per level
    EXPECT_EQ(scene.Entities()[2].count, 0);
    EXPECT_EQ(scene.Extents().maxY, 5.0);  // the line on "Off" does not count
}

}  // namespace
}  // namespace pimu::cadlink::embedded
