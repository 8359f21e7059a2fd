#include "sky/sky_factor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/progress.h"
#include "geometry/acquisition.h"
#include "geometry/outline_test_util.h"
#include "sky/reference/sky_factor_traced.h"
#include "sky/sky_envelope.h"
#include "sky/sky_projection.h"
#include "sky_test_util.h"

namespace pimu::sky {
namespace {

using testing::Block;
using testing::IndependentSkyFactor;
using testing::Prism;
using testing::Site;
using testing::Tower;

constexpr double kPaperR = 100.0;
constexpr double kScale = 200.0;

SkyBuildings BuildingsOf(const Site &site) {
    SkyBuildings b;
    for (const Prism &p : site.prisms) {
        std::vector<TAcadPoint> footprint;
        for (const auto &[x, y] : p.footprint) footprint.push_back(TAcadPoint{x, y, 0.0});
        geometry::testing::AddPrism(b.edges, footprint, p.height);
    }
    for (const Tower &t : site.towers)
        b.rings.push_back(SkyRing{TAcadPoint{t.cx, t.cy, 0.0}, t.radius, t.height});
    return b;
}

TenkuRituResult Ritu(const Site &site, double x, double y, double e = 0.0, double north = 90.0) {
    return GetTenkuRitu(BuildingsOf(site), TAcadPoint{x, y, 0.0}, e,
                        SansyaFrame{kPaperR, kScale, north});
}

// 計画 <= true <= 適合 for the triangles as built, and for the listed values up to their rounding;
// the exact value against the independent one.
void ExpectBracketed(const Site &site, double x, double y, double e, double tolerance = 0.001) {
    const TenkuRituResult r = Ritu(site, x, y, e);
    const double truth = IndependentSkyFactor(site, x, y, e);
    EXPECT_TRUE(r.Ok());
    EXPECT_NEAR(r.exact, truth, tolerance);
    EXPECT_LE(r.naisetuPass.unrounded, r.exact + 1e-9);
    EXPECT_GE(r.gaisetuPass.unrounded, r.exact - 1e-9);
    EXPECT_LE(r.naisetu, truth + 0.001);
    EXPECT_GE(r.gaisetu, truth - 0.001);
    EXPECT_GE(r.naisetu, 0.0);
    EXPECT_LE(r.gaisetu, 100.0 + 1e-9);
}

TEST(SkyFactorFromAreas, WorkedExample) {
    const SkyAreas a = SkyFactorFromAreas(250.0, 90.0, 30000.0);
    EXPECT_DOUBLE_EQ(a.K, 196349.541);
    EXPECT_NEAR(a.Q, 49087.385, 0.001);
    EXPECT_DOUBLE_EQ(a.F, 19087.385);
    EXPECT_NEAR(a.value, 90.27887, 1e-5);
}

TEST(Rounding, FormatsAndReadsBack) {
    EXPECT_DOUBLE_EQ(dec3(1.23449), 1.234);
    EXPECT_DOUBLE_EQ(dec3(-2.0005), -2.001);
    EXPECT_DOUBLE_EQ(dec5(0.123456), 0.12346);
}

// The sites that broke the old one-sector method, and the shapes users draw.
TEST(SkyFactors, BracketTheIndependentValueOnEverySite) {
    struct Case {
        const char *name;
        Site site;
        double x, y, e;
    };
    const Prism north = Block(50000, 62000, 20000, 8000, 0, 20000);
    const Prism south = Block(48000, 38000, 14000, 6000, 0, 12000);
    const Prism east = Block(62000, 50000, 6000, 16000, 0, 15000);
    const Prism west = Block(37000, 51000, 8000, 10000, 0, 9000);
    const std::vector<Case> cases = {
        {"one block north", {{north}, {}}, 50000, 50000, 0},
        {"north and south", {{north, south}, {}}, 50000, 50000, 0},
        {"four round the point", {{north, south, east, west}, {}}, 50000, 50000, 0},
        {"a courtyard",
         {{Block(50000, 61000, 26000, 4000, 0, 12000), Block(50000, 39000, 26000, 4000, 0, 9000),
           Block(61000, 50000, 4000, 18000, 0, 15000), Block(39000, 50000, 4000, 18000, 0, 6000)},
          {}},
         50000,
         50000,
         0},
        {"a block turned so a far corner sets its edge",
         {{Block(58000, 64000, 24000, 6000, 35, 18000)}, {}},
         50000,
         50000,
         0},
        {"turned blocks both sides",
         {{Block(58000, 64000, 24000, 6000, 35, 18000), Block(42000, 37000, 9000, 9000, 20, 25000)},
          {}},
         50000,
         50000,
         0},
        {"a point above ground, one block lower than it",
         {{north, Block(50000, 40000, 10000, 10000, 0, 5000)}, {}},
         50000,
         50000,
         6000},
        {"an L-shaped block",
         {{Prism{{{40000, 56000},
                  {64000, 56000},
                  {64000, 74000},
                  {58000, 74000},
                  {58000, 62000},
                  {40000, 62000}},
                 24000}},
          {}},
         50000,
         50000,
         0},
        {"a point on a face's line", {{north}, {}}, 30000, 58000, 0},
        {"a point at a block's corner", {{north}, {}}, 40000, 58000, 0},
        {"a round tower", {{}, {{60000, 60000, 6000, 30000}}}, 50000, 50000, 0},
        {"a tower in front of a block", {{north}, {{52000, 55000, 2500, 30000}}}, 50000, 50000, 0},
        {"towers and blocks round the point",
         {{north, south}, {{62000, 48000, 3000, 40000}, {38000, 52000, 4000, 10000}}},
         50000,
         50000,
         1500},
        {"standing in a tower's shade at its foot",
         {{}, {{50000, 56000, 6000, 30000}}},
         50000,
         49990,
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ExpectBracketed(c.site, c.x, c.y, c.e);
    }
}

// Buildings in two directions are two sectors, each with its own triangles; all round, one
// sector of a whole turn.
TEST(TrianglePass, EveryCoveredStretchIsASector) {
    const Prism north = Block(50000, 62000, 20000, 8000, 0, 20000);
    const Prism south = Block(48000, 38000, 14000, 6000, 0, 12000);
    const TenkuRituResult two = Ritu({{north, south}, {}}, 50000, 50000);
    ASSERT_EQ(two.naisetuPass.sectors.size(), 2u);
    double alpha = 0.0;
    for (const SansyaSector &s : two.naisetuPass.sectors) {
        EXPECT_GT(s.triangleCount, 0u);
        EXPECT_FALSE(s.full);
        alpha += s.alpha;
    }
    EXPECT_DOUBLE_EQ(two.naisetuPass.alpha, alpha);
    EXPECT_NEAR(two.naisetuPass.F, two.naisetuPass.Q - two.naisetuPass.T, 0.0005);

    const Site ring{
        {Block(50000, 61000, 26000, 4000, 0, 12000), Block(50000, 39000, 26000, 4000, 0, 9000),
         Block(61000, 50000, 4000, 18000, 0, 15000), Block(39000, 50000, 4000, 18000, 0, 6000)},
        {}};
    const TenkuRituResult all = Ritu(ring, 50000, 50000);
    ASSERT_EQ(all.naisetuPass.sectors.size(), 1u);
    EXPECT_TRUE(all.naisetuPass.sectors[0].full);
    EXPECT_DOUBLE_EQ(all.naisetuPass.alpha, 360.0);
    // Triangles all round: the open sky is what the triangles hold.
    EXPECT_GT(all.naisetu, 0.0);
    EXPECT_LT(all.naisetu, all.exact);

    const TenkuRituResult open = Ritu({}, 0, 0);
    EXPECT_TRUE(open.Ok());
    EXPECT_TRUE(open.naisetuPass.sectors.empty());
    EXPECT_DOUBLE_EQ(open.naisetu, 100.0);
    EXPECT_DOUBLE_EQ(open.gaisetu, 100.0);
    EXPECT_DOUBLE_EQ(open.exact, 100.0);
}

// The near face of a block seen square on: its corners 25 degrees apart give three triangles,
// 9 degrees apart one; a triangle no higher than a tenth of a drawing unit has no row.
TEST(TrianglePass, FanRaysAtMostTenDegreesApart) {
    const auto face = [](double left, double right) {
        // Corners of the near face at azimuths left and right (degrees), 10 m north.
        const double y0 = 10000.0;
        const double x0 = y0 / std::tan(left * M_PI / 180.0);
        const double x1 = y0 / std::tan(right * M_PI / 180.0);
        return Site{{Prism{{{x1, y0}, {x0, y0}, {x0, y0 + 8000}, {x1, y0 + 8000}}, 20000}}, {}};
    };
    const TenkuRituResult wide = Ritu(face(105, 80), 0, 0);
    ASSERT_EQ(wide.naisetuPass.sectors.size(), 1u);
    EXPECT_EQ(wide.naisetuPass.triangles.size(), 3u);
    EXPECT_NEAR(wide.naisetuPass.alpha, 25.0, 0.001);
    const TenkuRituResult narrow = Ritu(face(94.5, 85.5), 0, 0);
    EXPECT_EQ(narrow.naisetuPass.triangles.size(), 1u);
    for (const TSansya &t : wide.gaisetuPass.triangles) EXPECT_GT(t.takasa, kMinTriangleHeight);
}

// Where the one-sector method was right (a single box on one side of the point), the triangles
// stay as they were: same corners, same count, values within what the traced chords of 250 mm
// moved them.
TEST(TrianglePass, KeepsTheTrianglesWhereTheOldMethodWasRight) {
    const std::vector<testing::Box> boxes = {{40000, 60000, 60000, 70000, 20000}};
    for (const auto &[x, y] :
         {std::pair{50000.0, 50000.0}, std::pair{30000.0, 45000.0}, std::pair{70000.0, 52000.0}}) {
        SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
        const geometry::BuildingModel model = testing::ModelOf(boxes);
        SkyView view;
        view.IDPOINT1 = TAcadPoint{x, y, 0.0};
        view.SkyRadius = kPaperR * kScale;
        const SkyOutline outline = GetTenkuLine(model, view, NoProgress());
        ASSERT_EQ(outline.status, SkyStatus::Ok);
        const traced::TenkuRituResult old = traced::GetTenkuRitu(outline.AryLine, kPaperR, kScale);
        ASSERT_TRUE(old.Ok());
        const TenkuRituResult now = GetTenkuRitu(SkyBuildingsOf(model), view.IDPOINT1, 0.0,
                                                 SansyaFrame{kPaperR, kScale, 90.0});
        ASSERT_TRUE(now.Ok());
        ASSERT_EQ(now.naisetuPass.sectors.size(), 1u);
        EXPECT_EQ(now.naisetuPass.corners.size(), old.TempPoints.size());
        EXPECT_EQ(now.naisetuPass.triangles.size(), old.naisetuPass.triangles.size());
        EXPECT_NEAR(now.naisetuPass.alpha, old.alpha, 0.001);
        EXPECT_NEAR(now.naisetu, old.naisetu, 0.005);
        EXPECT_NEAR(now.gaisetu, old.gaisetu, 0.005);
    }
}

// A tower is the polygon drawn round it for 計画 and the one inscribed in it for 適合: both close
// to the cylinder, on their own side of it.
TEST(TrianglePass, RoundTowersAsPolygonsEachOnItsSide) {
    const Site tower{{}, {{60000, 60000, 6000, 30000}}};
    const TenkuRituResult r = Ritu(tower, 50000, 50000);
    ASSERT_TRUE(r.Ok());
    EXPECT_LT(r.naisetu, r.exact);
    EXPECT_GT(r.gaisetu, r.exact);
    EXPECT_LT(r.exact - r.naisetu, 0.1);
    EXPECT_LT(r.gaisetu - r.exact, 0.1);
    EXPECT_LE(6000.0 / std::cos(M_PI / RingSides(6000.0)) - 6000.0, 10.0);
}

// A circle with a thickness in the drawing is a tower: the sky sees its circle, not its chords.
TEST(SkyBuildingsOf, ARoundVolumeIsItsCircle) {
    geometry::EntityArrays arrays;
    geometry::TCircleEnt c;
    c.center = TAcadPoint{60000, 60000, 0};
    c.hankei = 6000;
    c.atumi = 30000;
    arrays.AryCircle.push_back(c);
    geometry::testing::AddBox(arrays.AryLine, 30000, 62000, 8000, 8000, 0);
    const geometry::AcquiredModel acquired = geometry::ConvertAcquisition(arrays);
    const SkyBuildings b = SkyBuildingsOf(acquired.Model);
    ASSERT_EQ(b.rings.size(), 1u);
    EXPECT_DOUBLE_EQ(b.rings[0].radius, 6000.0);
    EXPECT_DOUBLE_EQ(b.rings[0].top, 30000.0);
    const Site tower{{}, {{60000, 60000, 6000, 30000}}};
    EXPECT_NEAR(ExactSkyFactor(acquired.Model, TAcadPoint{50000, 50000, 0}, 0.0),
                IndependentSkyFactor(tower, 50000, 50000, 0.0), 0.001);
}

// 200 random points round one to six blocks and towers of random size, turn and height.
TEST(SkyFactors, RandomSitesStayBracketed) {
    std::mt19937 rng(20261211);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 200; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        Site site;
        const int blocks = 1 + static_cast<int>(unit(rng) * 6);
        for (int k = 0; k < blocks; ++k) {
            const double angle = unit(rng) * 2 * M_PI;
            const double dist = 12000 + unit(rng) * 30000;
            const double cx = 50000 + dist * std::cos(angle);
            const double cy = 50000 + dist * std::sin(angle);
            if (unit(rng) < 0.25) {
                site.towers.push_back(
                    Tower{cx, cy, 2000 + unit(rng) * 6000, 5000 + unit(rng) * 45000});
            } else {
                site.prisms.push_back(Block(cx, cy, 4000 + unit(rng) * 16000,
                                            4000 + unit(rng) * 10000, unit(rng) * 180,
                                            4000 + unit(rng) * 40000));
            }
        }
        const double e = unit(rng) < 0.3 ? unit(rng) * 6000 : 0.0;
        const TenkuRituResult r = Ritu(site, 50000, 50000, e);
        const double truth = IndependentSkyFactor(site, 50000, 50000, e, 60);
        ASSERT_TRUE(r.Ok());
        EXPECT_NEAR(r.exact, truth, 0.001);
        EXPECT_LE(r.naisetuPass.unrounded, r.exact + 1e-9);
        EXPECT_GE(r.gaisetuPass.unrounded, r.exact - 1e-9);
        EXPECT_LE(r.naisetu, truth + 0.001);
        EXPECT_GE(r.gaisetu, truth - 0.001);
    }
}

// The envelope of walls in every direction agrees with the closed form of one wall.
TEST(SkyEnvelope, OneWallInClosedForm) {
    // An infinitely long wall is half the sky up to its elevation; a finite one, in the middle,
    // pi * (share) within the closed form of its plane.
    SkyBuildings b;
    TLineEnt top;
    top.st = TAcadPoint{-1e7, 10000, 10000};
    top.ed = TAcadPoint{1e7, 10000, 10000};
    b.edges.push_back(top);
    // A wall at distance p and height H covers sin^2 h over the half turn: (1 - p / sqrt(p^2 +
    // H^2)) / 2 of the map.
    const double share = (1.0 - 10000.0 / std::hypot(10000.0, 10000.0)) / 2.0;
    EXPECT_NEAR(ExactSkyFactor(b, TAcadPoint{0, 0, 0}, 0.0), 100.0 * (1.0 - share), 1e-6);
}

}  // namespace
}  // namespace pimu::sky
