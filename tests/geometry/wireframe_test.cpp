// The wireframe preview: projection, foot lines and the mapping onto the picture.
#include "geometry/wireframe.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pimu::geometry {
namespace {

TLineEnt Edge(TAcadPoint st, TAcadPoint ed) {
    TLineEnt e;
    e.st = st;
    e.ed = ed;
    return e;
}

TEST(Wireframe, ProjectionTurnsThePlanAndTilts) {
    // H = 360: no turn; V = 0: the plan itself.
    ProjectedPoint p = ProjectPoint({3, 4, 100}, 360, 0);
    EXPECT_NEAR(p.x, 3, 1e-12);
    EXPECT_NEAR(p.y, 4, 1e-12);
    // V = 90: an elevation, y is the height.
    p = ProjectPoint({3, 4, 100}, 360, 90);
    EXPECT_NEAR(p.y, 100, 1e-9);
    // A point on the y axis sits at pi/2, turned by the view.
    p = ProjectPoint({0, 5, 0}, 90, 0);
    EXPECT_NEAR(p.x, -5, 1e-9);
    EXPECT_NEAR(p.y, 0, 1e-9);
}

TEST(Wireframe, NegativeXIsNotMirrored) {
    // (-x, -y) is the point opposite (x, y), not the same place.
    for (const TAcadPoint q : {TAcadPoint{-3, -4, 0}, TAcadPoint{-3, 4, 0}, TAcadPoint{0, -5, 0}}) {
        const ProjectedPoint p = ProjectPoint(q, 360, 0);
        EXPECT_NEAR(p.x, q.x, 1e-9);
        EXPECT_NEAR(p.y, q.y, 1e-9);
    }
    // Positive x keeps the plain arc tangent.
    const ProjectedPoint p = ProjectPoint({3, 4, 0}, 315, 60);
    const double a = std::atan(4.0 / 3.0) - (2 * 3.141592653589793 - 315 * 0.017453292519943295);
    EXPECT_EQ(p.x, 5 * std::cos(a));
}

TEST(Wireframe, FootLinesAndPicture) {
    const std::vector<TLineEnt> edges = {Edge({0, 0, 0}, {1000, 0, 0}),
                                         Edge({0, 0, 3000}, {1000, 0, 3000})};
    const Wireframe plain = ProjectWireframe(edges, 315, 60, false);
    ASSERT_EQ(plain.segments.size(), 2u);
    const Wireframe feet = ProjectWireframe(edges, 315, 60, true);
    // 2 edges + 2 dropped + the 2 verticals of the raised edge.
    ASSERT_EQ(feet.segments.size(), 6u);
    EXPECT_EQ(feet.segments[2].kind, PreviewKind::Plan);
    EXPECT_EQ(feet.segments[4].kind, PreviewKind::Vertical);
    EXPECT_EQ(feet.segments[5].kind, PreviewKind::Vertical);

    PreviewScale scale;
    const PreviewPicture pic = PaintWireframe(feet, scale);
    EXPECT_GT(scale.cvsc, 0.0);
    ASSERT_EQ(pic.segments.size(), 6u);
    EXPECT_EQ(pic.segments[0].colour, 0xFF0000u);
    EXPECT_EQ(pic.segments[2].colour, 0xC0C0C0u);
    EXPECT_EQ(pic.segments[4].colour, 0x808080u);
    EXPECT_EQ(PreviewColourIndex(PreviewKind::Plan), 9);
    // The picture is fitted with a margin: every end lies inside 214 x 212.
    for (const PictureSegment &s : pic.segments)
        for (int x : {s.x1, s.x2}) EXPECT_TRUE(x >= 0 && x <= 214) << x;
    // A kept scale keeps the size when the view turns.
    const double kept = scale.cvsc;
    PaintWireframe(ProjectWireframe(edges, 320, 60, true), scale);
    EXPECT_EQ(scale.cvsc, kept);
}

TEST(Wireframe, SinglePointModelStillPaints) {
    PreviewScale scale;
    const PreviewPicture pic =
        PaintWireframe(ProjectWireframe({Edge({5, 5, 0}, {5, 5, 0})}, 315, 60, true), scale);
    ASSERT_EQ(pic.segments.size(), 2u);
    EXPECT_EQ(pic.segments[0].x1, 107);
}

}  // namespace
}  // namespace pimu::geometry
