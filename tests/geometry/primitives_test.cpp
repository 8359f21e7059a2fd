#include "geometry/primitives.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geometry/clip.h"

namespace pimu::geometry {
namespace {

constexpr TAcadPoint P(double x, double y, double z = 0.0) {
    return TAcadPoint{x, y, z};
}

void ExpectPointEq(TAcadPoint expected, TAcadPoint actual) {
    EXPECT_EQ(expected.x, actual.x);
    EXPECT_EQ(expected.y, actual.y);
    EXPECT_EQ(expected.z, actual.z);
}

TEST(Angle2D, SnapsNearAxisDirectionsAndCoversEveryQuadrant) {
    struct Case {
        TAcadPoint p, q;
        double expected;
    } cases[] = {
        {P(0, 0), P(0, 0), kThreeHalfPi},    // coincident: treated as vertical, downwards
        {P(0, 0), P(0.000005, 5), kHalfPi},  // vertical test first
        {P(0, 0), P(-3, 0.000001), kPi},     // near-horizontal
        {P(0, 0), P(3, -0.000001), 0.0},
        {P(0, 0), P(0.000009, 0.000009), kHalfPi},  // both within 1e-5: vertical wins
        {P(0, 0), P(1, -1), 7 * kPi / 4},
        {P(0, 0), P(1, 1), kPi / 4},
        {P(0, 0), P(-1, 1), 3 * kPi / 4},
        {P(0, 0), P(-1, -1), 5 * kPi / 4},
        {P(5, 5, 9), P(5, 2, -1), kThreeHalfPi},  // z is ignored
    };
    for (const auto &c : cases) {
        EXPECT_DOUBLE_EQ(c.expected, Angle2D(c.p, c.q)) << c.q.x << "," << c.q.y;
    }
    // Axis results are the exact constants PolarPoint's shortcuts compare against.
    EXPECT_EQ(kHalfPi, Angle2D(P(0, 0), P(0, 1)));
    EXPECT_EQ(kPi, Angle2D(P(0, 0), P(-1, 0)));
}

TEST(PolarPoint, AxisAnglesMoveOneCoordinateExactly) {
    const TAcadPoint base = P(10.1, 20.3, 5);
    ExpectPointEq(P(10.1 + 3, 20.3, 5), PolarPoint(base, 0.0, 3));
    ExpectPointEq(P(10.1, 20.3 + 3, 5), PolarPoint(base, kHalfPi, 3));
    ExpectPointEq(P(10.1 - 3, 20.3, 5), PolarPoint(base, kPi, 3));
    ExpectPointEq(P(10.1, 20.3 - 3, 5), PolarPoint(base, kThreeHalfPi, 3));
    ExpectPointEq(P(7, 20, 5), PolarPoint(P(10, 20, 5), kPi, 3));
    ExpectPointEq(P(13, 20, 5), PolarPoint(P(10, 20, 5), kPi, -3));  // negative distance
}

TEST(PolarPoint, OtherAnglesGoThroughCosAndSin) {
    const TAcadPoint base = P(10, 20, 5);
    const double a = kHalfPi + 1e-12;
    const TAcadPoint r = PolarPoint(base, a, 3);
    EXPECT_EQ(10 + 3 * std::cos(a), r.x);
    EXPECT_NE(10.0, r.x);
    EXPECT_EQ(5.0, r.z);
    // Angles beyond 2 pi are used as they are.
    const TAcadPoint w = PolarPoint(base, 4.5 * kPi, 2);
    EXPECT_NEAR(10.0, w.x, 1e-12);
    EXPECT_NEAR(22.0, w.y, 1e-12);
}

TEST(Intersect2D, ParameterBoundsExcludeStartsAndIncludeEnds) {
    struct Case {
        const char *name;
        TAcadPoint p1, p2, p3, p4;
        bool bounded, ok;
        TAcadPoint x;
    } cases[] = {
        {"plain crossing", P(0, 0, 7), P(2, 2), P(0, 2), P(2, 0), true, true, P(1, 1, 7)},
        {"parallel", P(0, 0), P(2, 0), P(0, 1), P(2, 1), false, false, {}},
        {"collinear overlap", P(0, 0), P(2, 0), P(1, 0), P(3, 0), true, false, {}},
        {"collinear unbounded", P(0, 0), P(2, 0), P(1, 0), P(3, 0), false, false, {}},
        {"at p1 (s = 0)", P(0, 0), P(2, 0), P(0, -1), P(0, 1), true, false, {}},
        {"at p2 (s = 1)", P(0, 0), P(2, 0), P(2, -1), P(2, 1), true, true, P(2, 0)},
        {"at p3 (t = 0)", P(0, -1), P(0, 1), P(0, 0), P(2, 0), true, false, {}},
        {"at p4 (t = 1)", P(0, -1), P(0, 1), P(2, 0), P(0, 0), true, true, P(0, 0)},
        {"beyond the segments", P(0, 0), P(1, 0), P(5, -1), P(5, 1), true, false, {}},
        {"beyond, unbounded", P(0, 0), P(1, 0), P(5, -1), P(5, 1), false, true, P(5, 0)},
    };
    for (const auto &c : cases) {
        const TAcadPoint sentinel = P(-99, -99, -99);
        TAcadPoint x = sentinel;
        EXPECT_EQ(c.ok, Intersect2D(c.p1, c.p2, c.p3, c.p4, c.bounded, x)) << c.name;
        if (c.ok) {
            EXPECT_NEAR(c.x.x, x.x, 1e-12) << c.name;
            EXPECT_NEAR(c.x.y, x.y, 1e-12) << c.name;
            EXPECT_EQ(c.x.z, x.z) << c.name;
        } else {
            ExpectPointEq(sentinel, x);  // untouched on failure
        }
    }
}

TEST(Intersect2D, OutputMayAliasAnInput) {
    TAcadPoint p1 = P(0, 0), p2 = P(2, 2);
    ASSERT_TRUE(Intersect2D(p1, p2, P(0, 2), P(2, 0), true, p1));
    EXPECT_NEAR(1.0, p1.x, 1e-12);
    EXPECT_NEAR(1.0, p1.y, 1e-12);
}

TEST(BulgeToArc, HalfCirclesOnEitherSideOfTheChord) {
    const TBulgeArc below = BulgeToArc(P(0, 0), P(2, 0), 1.0);
    ExpectPointEq(P(1, 0), below.Center);
    EXPECT_DOUBLE_EQ(1.0, below.Radius);
    EXPECT_EQ(kPi, below.StartAngle);
    EXPECT_EQ(0.0, below.EndAngle);

    const TBulgeArc above = BulgeToArc(P(0, 0), P(2, 0), -1.0);
    ExpectPointEq(P(1, 0), above.Center);
    EXPECT_DOUBLE_EQ(1.0, above.Radius);
    EXPECT_EQ(0.0, above.StartAngle);
    EXPECT_EQ(kPi, above.EndAngle);
}

TEST(BulgeToArc, QuarterArcLiesOnItsCircle) {
    // tan(22.5 deg): a quarter circle counter-clockwise from (1,0) to (0,1) about the origin.
    const TBulgeArc arc = BulgeToArc(P(1, 0), P(0, 1), std::tan(kPi / 8));
    EXPECT_NEAR(0.0, arc.Center.x, 1e-12);
    EXPECT_NEAR(0.0, arc.Center.y, 1e-12);
    EXPECT_NEAR(1.0, arc.Radius, 1e-12);
    EXPECT_NEAR(0.0, arc.StartAngle, 1e-12);
    EXPECT_EQ(kHalfPi, arc.EndAngle);
}

// The rectangle [0, 10] x [0, 5]: crossing, touching an edge or a corner, inside, missing beside
// or along an edge, and points.
TEST(SegmentMeetsRect, CrossingTouchingInsideAndMissing) {
    struct Case {
        TAcadPoint a, b;
        bool meets;
    };
    const Case cases[] = {
        {{-5, 2, 0}, {15, 3, 0}, true},    // through both sides
        {{2, 1, 0}, {3, 4, 0}, true},      // inside
        {{10, -3, 0}, {10, 8, 0}, true},   // along the right edge
        {{-1, 5, 0}, {1, 4, 0}, true},     // across the left edge below the corner (0, 5)
        {{-2, 7, 0}, {2, 3, 0}, true},     // through the corner (0, 5) exactly
        {{-3, 6, 0}, {0, 6.5, 0}, false},  // above, to the left
        {{11, 0, 0}, {11, 5, 0}, false},   // beside the right edge
        {{-5, 9, 0}, {9, 20, 0}, false},   // past the corner (0, 5)
        {{4, 4, 0}, {4, 4, 0}, true},      // a point inside
        {{4, 6, 0}, {4, 6, 0}, false},     // a point outside
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.a.x << "," << c.a.y << " " << c.b.x << "," << c.b.y);
        EXPECT_EQ(SegmentMeetsRect(c.a, c.b, 0, 0, 10, 5), c.meets);
        EXPECT_EQ(SegmentMeetsRect(c.b, c.a, 0, 0, 10, 5), c.meets);
    }
}

TEST(OnSegmentAndCollinear4, UseTheirOwnTolerances) {
    EXPECT_TRUE(OnSegment(P(1, 0), P(0, 0), P(2, 0)));
    EXPECT_TRUE(OnSegment(P(0, 0), P(0, 0), P(2, 0)));   // an end point
    EXPECT_FALSE(OnSegment(P(3, 0), P(0, 0), P(2, 0)));  // on the line, beyond the end
    EXPECT_FALSE(OnSegment(P(1, 0.01), P(0, 0), P(2, 0)));
    EXPECT_TRUE(OnSegment(P(1, 0.001), P(0, 0), P(2, 0)));  // detour 1e-6

    EXPECT_TRUE(Collinear4(P(0, 0), P(10, 0), P(5, 0.009), P(-20, -0.009)));
    EXPECT_FALSE(Collinear4(P(0, 0), P(10, 0), P(5, 0.011), P(20, 0)));
    EXPECT_FALSE(Collinear4(P(0, 0), P(10, 0), P(5, 0), P(20, 0.011)));
    EXPECT_TRUE(Collinear4(P(0, 0), P(10, 10), P(-3, -3), P(7, 7.001)));
}

TEST(FarthestPair, FirstStrictMaximumWinsAndZeroLeavesOutputsAlone) {
    TAcadPoint a = P(-1, -1), b = P(-2, -2);
    FarthestPair(P(0, 0), P(1, 0), P(5, 0), P(2, 0), a, b);
    ExpectPointEq(P(0, 0), a);
    ExpectPointEq(P(5, 0), b);

    // A square: both diagonals tie; the earlier pair (p0, p2) is kept.
    FarthestPair(P(0, 0), P(1, 0), P(1, 1), P(0, 1), a, b);
    ExpectPointEq(P(0, 0), a);
    ExpectPointEq(P(1, 1), b);

    a = P(-1, -1);
    b = P(-2, -2);
    FarthestPair(P(3, 3), P(3, 3), P(3, 3), P(3, 3), a, b);
    ExpectPointEq(P(-1, -1), a);
    ExpectPointEq(P(-2, -2), b);

    // Outputs aliasing inputs read the inputs before writing.
    TAcadPoint p0 = P(0, 0), p1 = P(4, 0);
    FarthestPair(p0, p1, P(1, 0), P(2, 0), p1, p0);
    ExpectPointEq(P(0, 0), p1);
    ExpectPointEq(P(4, 0), p0);
}

TEST(Near, ComparisonsAreStrictPerCoordinate) {
    EXPECT_TRUE(Near2D(P(0, 0), P(0.5e-5, -0.5e-5)));
    EXPECT_FALSE(Near2D(P(0, 0), P(0.25, 0), 0.25));  // exactly tol apart
    EXPECT_TRUE(Near2D(P(0, 0, 0), P(0, 0, 100)));    // z ignored
    EXPECT_FALSE(Near3D(P(0, 0, 0), P(0, 0, 100)));
    EXPECT_TRUE(Near3D(P(1, 2, 3), P(1, 2, 3 + 0.5e-5)));
    // Per coordinate, not by distance: 0.9 tol in x and y is near though the distance exceeds tol.
    EXPECT_TRUE(Near2D(P(0, 0), P(0.9, 0.9), 1.0));
}

TEST(VectorOps, ComponentWiseAndCross) {
    ExpectPointEq(P(5, 7, 9), AddPoint(P(1, 2, 3), P(4, 5, 6)));
    ExpectPointEq(P(2, 4, 6), ScalePoint(P(1, 2, 3), 2));
    ExpectPointEq(P(4, 10, 18), MulPoint(P(1, 2, 3), P(4, 5, 6)));
    ExpectPointEq(P(0, 0, 1), Cross(P(1, 0, 0), P(0, 1, 0)));
    ExpectPointEq(P(-3, 6, -3), Cross(P(1, 2, 3), P(4, 5, 6)));
    ExpectPointEq(P(0, 0.6, 0.8), Normalize(P(0, 3, 4)));
    ExpectPointEq(P(0, 0, 0), Normalize(P(0, 0, 0)));
    static_assert(LocalToWorld(P(1, 2, 3), P(10, 20, 30), P(1, 0, 0), P(0, 1, 0), P(0, 0, 1)) ==
                  P(11, 22, 33));
    ExpectPointEq(P(10 - 2, 20 + 1, 30 + 3),
                  LocalToWorld(P(1, 2, 3), P(10, 20, 30), P(0, 1, 0), P(-1, 0, 0), P(0, 0, 1)));
}

TEST(RotatePoint, TurnsClockwise) {
    const TAcadPoint r = RotatePoint(P(1, 0, 7), kHalfPi);
    EXPECT_NEAR(0.0, r.x, 1e-15);
    EXPECT_NEAR(-1.0, r.y, 1e-15);
    EXPECT_EQ(7.0, r.z);
}

TEST(OcsToWcs, ArbitraryAxisRule) {
    ExpectPointEq(P(1, 2, 3), OcsToWcs(P(1, 2, 3), P(0, 0, 1)));
    ExpectPointEq(P(1, 2, 3), OcsToWcs(P(1, 2, 3), P(0, 0, 5)));  // normal need not be unit
    const TAcadPoint flipped = OcsToWcs(P(1, 2, 3), P(0, 0, -1));
    EXPECT_DOUBLE_EQ(-1.0, flipped.x);
    EXPECT_DOUBLE_EQ(2.0, flipped.y);
    EXPECT_DOUBLE_EQ(-3.0, flipped.z);
    // A normal along +x (outside the 1/64 cone): Ax = z x N = (0,1,0), Ay = N x Ax = (0,0,1).
    const TAcadPoint side = OcsToWcs(P(1, 2, 3), P(1, 0, 0));
    EXPECT_NEAR(3.0, side.x, 1e-15);
    EXPECT_NEAR(1.0, side.y, 1e-15);
    EXPECT_NEAR(2.0, side.z, 1e-15);
}

TEST(RoundHalfAway, HalvesGoAwayFromZero) {
    struct Case {
        double x, expected;
    } cases[] = {{0.5, 1}, {-0.5, -1}, {1.49, 1}, {-1.49, -1}, {2.5, 3}, {-2.5, -3}, {0, 0}};
    for (const auto &c : cases) EXPECT_EQ(c.expected, RoundHalfAway(c.x)) << c.x;
    EXPECT_EQ(1e20, RoundHalfAway(1e20));  // no integer overflow
}

}  // namespace
}  // namespace pimu::geometry
