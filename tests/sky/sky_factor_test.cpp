#include "sky/sky_factor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/progress.h"
#include "geometry/outline_test_util.h"
#include "geometry/primitives.h"
#include "sky/exact_sky.h"
#include "sky/sky_projection.h"
#include "sky_test_util.h"

namespace pimu::sky {
namespace {

using geometry::PolarPoint;
using geometry::testing::Seg;
using testing::Box;
using testing::ModelOf;
using testing::RaySkyFactor;

constexpr double kPaperR = 25.0;
constexpr double kScale = 200.0;
constexpr double kR = kPaperR * kScale;

std::string F3(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", x);
    return buf;
}

SkyView ViewAt(double x, double y, double e = 0.0) {
    SkyView v;
    v.IDPOINT1 = TAcadPoint{x, y, 0.0};
    v.e = e;
    v.SkyRadius = kR;
    return v;
}

TEST(SkyFactorFromAreas, WorkedExample) {
    const SkyAreas a = SkyFactorFromAreas(250.0, 90.0, 30000.0);
    EXPECT_DOUBLE_EQ(a.K, 196349.541);
    EXPECT_NEAR(a.Q, 49087.385212, 1e-6);
    EXPECT_DOUBLE_EQ(a.F, 19087.385);
    EXPECT_NEAR(a.value, 90.27887, 1e-5);
    EXPECT_EQ(F3(a.value), "90.279");
}

TEST(Rounding, FormatsAndReadsBack) {
    struct Case {
        double x, d3, d5;
    };
    for (const Case &c : {Case{0.1234567, 0.123, 0.12346}, Case{-1.2345678, -1.235, -1.23457},
                          Case{1.0005, 1.0, 1.0005}, Case{2.0, 2.0, 2.0}}) {
        EXPECT_DOUBLE_EQ(dec3(c.x), c.d3) << c.x;
        EXPECT_DOUBLE_EQ(dec5(c.x), c.d5) << c.x;
    }
}

// A closed outline through the given vertices.
std::vector<TLineEnt> Ring(const std::vector<TAcadPoint> &v) {
    std::vector<TLineEnt> out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        out.push_back(geometry::testing::Edge(v[i], v[(i + 1) % v.size()]));
    }
    return out;
}

TEST(FindCorners, TurnsUnder178Point2DegreesInsideTheCircle) {
    // A chain bent by 180 - turn degrees at (0, 1000), closed far away; the vertex on the
    // circle is never a corner.
    struct Case {
        double turn_deg;
        bool corner;
    };
    for (const Case c :
         {Case{178.0, true}, Case{178.19, true}, Case{178.21, false}, Case{179.5, false}}) {
        const TAcadPoint v{0, 1000, 0};
        const double bend = (180.0 - c.turn_deg) * geometry::kDegToRad;
        const TAcadPoint u = PolarPoint(v, geometry::kPi, 1000);
        const TAcadPoint w = PolarPoint(v, bend, 1000);
        const TAcadPoint on_circle{0, kR, 0};
        const std::vector<TAcadPoint> corners = FindCorners(Ring({u, v, w, on_circle}), kR);
        bool found = false;
        for (const TAcadPoint &p : corners) {
            EXPECT_FALSE(p == on_circle);
            if (p == v) found = true;
        }
        EXPECT_EQ(found, c.corner) << c.turn_deg;
    }
}

TEST(InscribedTriangles, LeavesOutTrianglesNoHigherThanATenth) {
    struct Case {
        double dx;
        std::size_t triangles;
    };
    for (const Case c : {Case{0.05, 0}, Case{0.1, 0}, Case{0.2, 1}}) {
        const std::vector<TAcadPoint> fan = {{0, 3000, 0}, {c.dx, 3000, 0}};
        const std::vector<TSansya> t = InscribedTriangles(fan);
        EXPECT_EQ(t.size(), c.triangles) << c.dx;
    }
    // Base from the centre to the farther point, height from the nearer one.
    const std::vector<TSansya> t = InscribedTriangles({{0, 2000, 0}, {1000, 3000, 0}});
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].no, 1);
    EXPECT_NEAR(t[0].teihen, std::hypot(1000, 3000), 1e-9);
    EXPECT_NEAR(t[0].takasa, 2000 * 1000 / std::hypot(1000, 3000), 1e-9);
}

// A box across the north of the point whose facing wall spans `deg` degrees.
geometry::BuildingModel FacingBox(double deg) {
    const double d = 10000.0;
    const double half = d * std::tan(deg / 2 * geometry::kDegToRad);
    return ModelOf({{50000 - half, 50000 + d, 50000 + half, 50000 + d + 8000, 20000}});
}

TEST(GetTenkuRitu, CornersTenDegreesApartAtMost) {
    struct Case {
        double deg;
        std::size_t fan, triangles;
    };
    for (const Case c : {Case{25.0, 4, 3}, Case{9.0, 2, 1}}) {
        const SkyOutline out = GetTenkuLine(FacingBox(c.deg), ViewAt(50000, 50000), NoProgress());
        ASSERT_EQ(out.status, SkyStatus::Ok);
        const TenkuRituResult r = GetTenkuRitu(out.AryLine, kPaperR, kScale);
        ASSERT_TRUE(r.Ok());
        EXPECT_EQ(r.TempPoints.size(), 2u) << c.deg;
        EXPECT_NEAR(r.alpha, c.deg, 1e-3);
        EXPECT_EQ(r.fan.size(), c.fan) << c.deg;
        EXPECT_EQ(r.naisetuPass.triangles.size(), c.triangles) << c.deg;
        EXPECT_EQ(r.gaisetuPass.triangles.size(), c.triangles) << c.deg;
        // A is the counter-clockwise start of the sector: the east corner.
        EXPECT_GT(r.A.x, 0.0);
        EXPECT_LT(r.B.x, 0.0);
        EXPECT_EQ(r.areacmd, 100.0);
    }
}

TEST(GetTenkuRitu, RefusesWhatIsNoSector) {
    EXPECT_EQ(GetTenkuRitu({}, kPaperR, kScale).status, TenkuRituStatus::TooFewSegments);
    // A sliver at the horizon: one corner inside the circle, the others on it.
    const std::vector<TLineEnt> sliver = {Seg(0, kR, 100, kR - 50), Seg(100, kR - 50, kR, 0),
                                          Seg(kR, 0, 0, kR)};
    EXPECT_EQ(GetTenkuRitu(sliver, kPaperR, kScale).status, TenkuRituStatus::TooFewCorners);
}

TEST(GetTenkuRitu, AreasFollowTheRoundingRule) {
    const SkyOutline out = GetTenkuLine(FacingBox(60.0), ViewAt(50000, 50000), NoProgress());
    ASSERT_EQ(out.status, SkyStatus::Ok);
    const TenkuRituResult r = GetTenkuRitu(out.AryLine, kPaperR, kScale);
    ASSERT_TRUE(r.Ok());
    double sum = 0.0;
    for (const TSansya &t : r.naisetuPass.triangles) {
        EXPECT_DOUBLE_EQ(t.menseki, dec3(dec5(t.teihen / kScale) * dec5(t.takasa / kScale * 0.5)));
        sum += t.menseki;
    }
    EXPECT_DOUBLE_EQ(r.naisetuPass.T, sum);
    const double circle = geometry::kPi * kPaperR * kPaperR;
    EXPECT_DOUBLE_EQ(r.K, dec3(circle));
    EXPECT_DOUBLE_EQ(r.naisetuPass.F, dec3(circle * r.alpha / 360.0 - sum));
    EXPECT_DOUBLE_EQ(r.naisetu, (r.K - r.naisetuPass.F) / r.K * 100.0);
    EXPECT_LT(r.naisetu, r.gaisetu);
}

// The exact value against rays cast over the hemisphere, and between the two triangle values.
TEST(ExactSkyFactor, AgreesWithRaysAndLiesBetweenTheTriangleValues) {
    struct Case {
        const char *name;
        std::vector<Box> boxes;
        double x, y, e;
        bool sector;       // the buildings lie within a half turn: the triangle method applies
        std::size_t gaps;  // open sky down to the horizon between buildings
    };
    const std::vector<Case> cases = {
        {"one box north", {{40000, 60000, 60000, 70000, 20000}}, 50000, 50000, 0.0, true, 0},
        {"two boxes, one behind",
         {{30000, 58000, 45000, 66000, 12000}, {38000, 70000, 70000, 80000, 30000}},
         50000,
         50000,
         1500.0,
         true,
         0},
        {"three boxes east",
         {{58000, 30000, 66000, 44000, 15000},
          {60000, 47000, 72000, 53000, 9000},
          {56000, 56000, 64000, 75000, 27000}},
         50000,
         50000,
         0.0,
         true,
         2},
        {"a courtyard",
         {{40000, 58000, 60000, 64000, 12000},
          {40000, 36000, 60000, 42000, 9000},
          {58000, 44000, 64000, 56000, 15000},
          {36000, 44000, 42000, 56000, 6000}},
         50000,
         50000,
         0.0,
         false,
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const geometry::BuildingModel model = ModelOf(c.boxes);
        const double exact = ExactSkyFactor(model, TAcadPoint{c.x, c.y, 0.0}, c.e);
        const double rays = RaySkyFactor(c.boxes, c.x, c.y, c.e);
        EXPECT_NEAR(exact, rays, 0.001);
        EXPECT_GT(exact, 0.0);
        EXPECT_LT(exact, 100.0);
        const SkyOutline out = GetTenkuLine(model, ViewAt(c.x, c.y, c.e), NoProgress());
        ASSERT_EQ(out.status, SkyStatus::Ok);
        const TenkuRituResult r = GetTenkuRitu(out.AryLine, kPaperR, kScale);
        if (!c.sector) {
            // The triangle method measures one sector of at most half a turn: it refuses.
            EXPECT_EQ(r.status, TenkuRituStatus::BeyondHalfTurn);
            continue;
        }
        ASSERT_TRUE(r.Ok());
        EXPECT_EQ(r.naisetuPass.openSectors.size(), c.gaps);
        EXPECT_EQ(r.gaisetuPass.openSectors.size(), c.gaps);
        EXPECT_LE(r.naisetu, exact);
        EXPECT_GE(r.gaisetu, exact);
    }
}

TEST(ExactSkyFactor, OpenSkyAndWallsThroughThePoint) {
    const geometry::BuildingModel box = ModelOf({{40000, 60000, 60000, 70000, 20000}});
    EXPECT_DOUBLE_EQ(ExactSkyFactor(geometry::BuildingModel{}, TAcadPoint{}, 0.0), 100.0);
    EXPECT_DOUBLE_EQ(ExactSkyFactor(box, TAcadPoint{50000, 50000, 0}, 20000.0), 100.0);
    // Standing on the box's corner: its two walls through the point are seen edge on, the two
    // far walls cover what they cover from a point just outside the corner.
    const double corner = ExactSkyFactor(box, TAcadPoint{40000, 60000, 0}, 0.0);
    const double near =
        RaySkyFactor({{40000, 60000, 60000, 70000, 20000}}, 40000 - 1e-7, 60000 - 1e-7, 0.0);
    EXPECT_TRUE(std::isfinite(corner));
    EXPECT_GT(corner, near);
}

}  // namespace
}  // namespace pimu::sky
