// Drawings written by another DXF producer (ezdxf, see tests/data/cadlink/make_fixtures.py)
// read with every value intact.
#include <cmath>
#include <numbers>

#include "cadlink/embedded/dxfio.h"
#include "test_util.h"

namespace pimu::cadlink::embedded {
namespace {

using test::OfKind;
constexpr double kTol = 1e-9;
constexpr double kDeg = std::numbers::pi / 180.0;

class FixtureTest : public ::testing::TestWithParam<const char *> {};

TEST_P(FixtureTest, EveryEntityKeepsItsValues) {
    const std::string file = GetParam();
    const bool r12 = file == "ezdxf_r12.dxf";
    const Drawing d = OpenDxf(test::kData / file);

    ASSERT_NE(d.FindLayer("BLD"), nullptr);
    EXPECT_EQ(d.FindLayer("BLD")->color, 3);
    ASSERT_NE(d.FindLayer("建物"), nullptr);

    const auto lines = OfKind(d, EntityKind::Line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].layer, "BLD");
    EXPECT_EQ(lines[0].thickness, 3000.0);
    EXPECT_POINT_NEAR(lines[0].p2, 1000, 0, 0, kTol);
    EXPECT_EQ(lines[1].layer, "建物");
    EXPECT_POINT_NEAR(lines[1].p2, 1000, 500, 250, kTol);

    const auto circles = OfKind(d, EntityKind::Circle);
    ASSERT_EQ(circles.size(), 1u);
    EXPECT_POINT_NEAR(circles[0].normal, 0, 0, -1, 0);
    EXPECT_POINT_NEAR(circles[0].p1, 100, 200, 0, kTol);  // OCS, as stored
    EXPECT_EQ(circles[0].radius, 50.0);
    EXPECT_EQ(circles[0].thickness, 1500.0);
    EXPECT_POINT_NEAR(OcsToWcs(circles[0].p1, circles[0].normal), -100, 200, 0, kTol);

    const auto arcs = OfKind(d, EntityKind::Arc);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_NEAR(arcs[0].startAngle, 0.0, kTol);
    EXPECT_NEAR(arcs[0].endAngle, 90 * kDeg, kTol);
    EXPECT_EQ(arcs[0].thickness, 2000.0);

    const auto p2d = OfKind(d, EntityKind::Polyline2d);
    ASSERT_EQ(p2d.size(), 1u);
    EXPECT_TRUE(p2d[0].closed);
    EXPECT_EQ(p2d[0].thickness, 700.0);
    EXPECT_EQ(p2d[0].elevation, 30.0);
    ASSERT_EQ(p2d[0].vertices.size(), 3u);
    EXPECT_EQ(p2d[0].vertices[0].bulge, 0.25);
    EXPECT_POINT_NEAR(p2d[0].vertices[2].pt, 10, 10, 0, kTol);

    const auto p3d = OfKind(d, EntityKind::Polyline3d);
    ASSERT_EQ(p3d.size(), 1u);
    ASSERT_EQ(p3d[0].vertices.size(), 3u);
    EXPECT_POINT_NEAR(p3d[0].vertices[1].pt, 10, 0, 5, kTol);
    EXPECT_POINT_NEAR(p3d[0].vertices[2].pt, 10, 10, 9, kTol);

    const auto texts = OfKind(d, EntityKind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "日影図 テスト");
    EXPECT_EQ(texts[0].layer, "建物");
    EXPECT_EQ(texts[0].height, 250.0);
    EXPECT_NEAR(texts[0].rotation, 30 * kDeg, kTol);
    EXPECT_EQ(texts[0].widthFactor, 0.8);
    EXPECT_EQ(texts[0].hAlign, 1);
    EXPECT_EQ(texts[0].vAlign, 2);
    EXPECT_POINT_NEAR(texts[0].p2, 500, 600, 0, kTol);

    const auto points = OfKind(d, EntityKind::Point);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_POINT_NEAR(points[0].p1, 7, 8, 9, 0);

    ASSERT_NE(d.FindBlock("WALL"), nullptr);
    const auto wall = OfKind(d, EntityKind::Line, "WALL");
    ASSERT_EQ(wall.size(), 1u);
    EXPECT_EQ(wall[0].thickness, 1200.0);
    const auto inserts = OfKind(d, EntityKind::Insert);
    ASSERT_EQ(inserts.size(), 1u);
    EXPECT_EQ(inserts[0].blockName, "WALL");
    EXPECT_POINT_NEAR(inserts[0].p1, 5000, 5000, 0, kTol);
    EXPECT_NEAR(inserts[0].rotation, 90 * kDeg, kTol);

    if (r12) return;  // R12 has neither ellipses nor lightweight polylines

    const auto ellipses = OfKind(d, EntityKind::Ellipse);
    ASSERT_EQ(ellipses.size(), 2u);
    EXPECT_POINT_NEAR(ellipses[0].p1, 1000, 2000, 0, kTol);
    EXPECT_POINT_NEAR(ellipses[0].p2, 3000, 0, 0, kTol);
    EXPECT_EQ(ellipses[0].ratio, 0.5);
    EXPECT_NEAR(ellipses[0].endAngle - ellipses[0].startAngle, 2 * std::numbers::pi, kTol);
    EXPECT_POINT_NEAR(ellipses[1].p2, 0, 200, 0, kTol);
    EXPECT_EQ(ellipses[1].startAngle, 0.5);
    EXPECT_EQ(ellipses[1].endAngle, 2.0);

    const auto lwp = OfKind(d, EntityKind::LwPolyline);
    ASSERT_EQ(lwp.size(), 2u);
    EXPECT_TRUE(lwp[0].closed);
    EXPECT_EQ(lwp[0].elevation, 100.0);
    EXPECT_EQ(lwp[0].thickness, 6000.0);
    EXPECT_EQ(lwp[0].layer, "BLD");
    ASSERT_EQ(lwp[0].vertices.size(), 4u);
    EXPECT_EQ(lwp[0].vertices[1].bulge, 0.5);
    EXPECT_POINT_NEAR(lwp[0].vertices[2].pt, 4000, 3000, 0, kTol);
    EXPECT_POINT_NEAR(lwp[1].normal, 0, 0, -1, 0);
    EXPECT_EQ(lwp[1].elevation, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Producers, FixtureTest,
                         ::testing::Values("ezdxf_r12.dxf", "ezdxf_r2000.dxf", "ezdxf_r2018.dxf"));

}  // namespace
}  // namespace pimu::cadlink::embedded
