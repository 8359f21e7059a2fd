// The statutory measurement points, the conforming buildings and the comparison, checked against
// positions worked out by hand and against an integration of the slant-plane solids written here.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "geometry/tolerances.h"
#include "sky/sky_compare.h"
#include "sky_test_util.h"

namespace pimu::sky {
namespace {

using testing::Box;

// A 20 m x 30 m site, counter-clockwise from its south-west corner; side 0 faces south.
CompareSite Rectangle(std::vector<RoadSide> roads, double north = 90.0) {
    CompareSite site;
    site.ring = {{0, 0, 0}, {20000, 0, 0}, {20000, 30000, 0}, {0, 30000, 0}};
    site.roads = std::move(roads);
    site.north = north;
    return site;
}

std::vector<double> Xs(const std::vector<MeasurementPoint> &pts) {
    std::vector<double> v;
    for (const auto &p : pts) v.push_back(p.pt.x);
    return v;
}

TEST(SkyComparePoints, RectangularSiteWithOneRoad) {
    const CompareSite site = Rectangle({{0, 6000.0, 0.0}});
    const SlantRules rules = SlantRulesOf(SlantZone::Residential);

    // Road: the far side y = -6 m, x 0..20 m at most 3 m apart: 7 gaps, 8 points.
    const auto road = MeasurementPoints(site, rules, SlantLimit::Road);
    ASSERT_EQ(road.size(), 8u);
    for (std::size_t k = 0; k < road.size(); ++k) {
        EXPECT_NEAR(road[k].pt.x, 20000.0 * k / 7.0, 1e-6);
        EXPECT_NEAR(road[k].pt.y, -6000.0, 1e-6);
    }
    EXPECT_EQ(road.front().label, "道1");
    EXPECT_EQ(road.back().label, "道8");

    // Adjacent: 16 m out, at most 8 m apart. East x = 36 m, y 0..30 m: 5 points; the arc round
    // the north-east corner (25.1 m): 4 more; north y = 46 m, x 20..0 m: 3 more; the north-west
    // arc: 4; west x = -16 m, y 30..0 m: 4. None round the corners at the road.
    const auto adj = MeasurementPoints(site, rules, SlantLimit::Adjacent);
    ASSERT_EQ(adj.size(), 20u);
    EXPECT_NEAR(adj[0].pt.x, 36000.0, 1e-6);
    EXPECT_NEAR(adj[0].pt.y, 0.0, 1e-6);
    EXPECT_NEAR(adj[4].pt.y, 30000.0, 1e-6);
    EXPECT_NEAR(adj[6].pt.x, 20000.0 + 16000.0 * std::cos(geometry::kPi / 4), 1e-6);
    EXPECT_NEAR(adj[6].pt.y, 30000.0 + 16000.0 * std::sin(geometry::kPi / 4), 1e-6);
    EXPECT_NEAR(adj.back().pt.x, -16000.0, 1e-6);
    EXPECT_NEAR(adj.back().pt.y, 0.0, 1e-6);
    for (const auto &p : adj) {
        // Every point 16 m from the nearest adjacent side.
        double d = 1e300;
        for (int i = 1; i <= 3; ++i) {
            const auto a = site.ring[i], b = site.ring[(i + 1) % 4];
            const double t =
                std::clamp(((p.pt.x - a.x) * (b.x - a.x) + (p.pt.y - a.y) * (b.y - a.y)) /
                               (std::pow(b.x - a.x, 2) + std::pow(b.y - a.y, 2)),
                           0.0, 1.0);
            d = std::min(
                d, std::hypot(p.pt.x - a.x - t * (b.x - a.x), p.pt.y - a.y - t * (b.y - a.y)));
        }
        EXPECT_NEAR(d, 16000.0, 1e-6) << p.label;
    }

    // No north limit in this zone; a frontage shorter than half the road: its two ends only.
    EXPECT_TRUE(MeasurementPoints(site, rules, SlantLimit::North).empty());
    CompareSite narrow = site;
    narrow.ring[1].x = 2500.0;
    narrow.ring[2].x = 2500.0;
    EXPECT_EQ(Xs(MeasurementPoints(narrow, rules, SlantLimit::Road)),
              (std::vector<double>{0.0, 2500.0}));

    // A setback moves the line out by it.
    const auto setback =
        MeasurementPoints(Rectangle({{0, 6000.0, 1000.0}}), rules, SlantLimit::Road);
    EXPECT_NEAR(setback.front().pt.y, -7000.0, 1e-6);
}

TEST(SkyComparePoints, CornerSiteWithTwoRoadsAndAnInnerCorner) {
    // An L of 40 m with its inner corner at (20, 20) m; roads on the south (6 m) and the west (8
    // m).
    CompareSite site;
    site.ring = {{0, 0, 0},         {40000, 0, 0},     {40000, 20000, 0},
                 {20000, 20000, 0}, {20000, 40000, 0}, {0, 40000, 0}};
    site.roads = {{0, 6000.0, 0.0}, {5, 8000.0, 0.0}};
    const SlantRules rules = SlantRulesOf(SlantZone::Residential);
    const auto road = MeasurementPoints(site, rules, SlantLimit::Road);
    // South: y = -6 m, x 0..40 m at most 3 m apart: 15; west: x = -8 m, y 40..0 m at most 4 m: 11.
    ASSERT_EQ(road.size(), 26u);
    EXPECT_NEAR(road[15].pt.x, -8000.0, 1e-6);
    EXPECT_NEAR(road[15].pt.y, 40000.0, 1e-6);

    // At the inner corner the two adjacent lines end where they meet, (36, 36) m; every point
    // lies 16 m from the nearest adjacent side.
    const auto adj = MeasurementPoints(site, rules, SlantLimit::Adjacent);
    bool meet = false;
    for (const auto &p : adj) {
        meet = meet || std::hypot(p.pt.x - 36000.0, p.pt.y - 36000.0) < 1e-3;
        double d = 1e300;
        for (std::size_t i = 1; i <= 4; ++i) {
            const auto a = site.ring[i], b = site.ring[i + 1];
            const double t =
                std::clamp(((p.pt.x - a.x) * (b.x - a.x) + (p.pt.y - a.y) * (b.y - a.y)) /
                               (std::pow(b.x - a.x, 2) + std::pow(b.y - a.y, 2)),
                           0.0, 1.0);
            d = std::min(
                d, std::hypot(p.pt.x - a.x - t * (b.x - a.x), p.pt.y - a.y - t * (b.y - a.y)));
        }
        EXPECT_NEAR(d, 16000.0, 1e-6) << p.label;
    }
    EXPECT_TRUE(meet);
}

TEST(SkyComparePoints, NorthBoundaryFollowsTrueNorth) {
    const SlantRules low = SlantRulesOf(SlantZone::LowRise);
    EXPECT_TRUE(
        MeasurementPoints(Rectangle({{0, 6000.0, 0.0}}), low, SlantLimit::Adjacent).empty());
    // North up: the north side moved 4 m north, every metre: 21 points.
    const auto up = MeasurementPoints(Rectangle({{0, 6000.0, 0.0}}), low, SlantLimit::North);
    ASSERT_EQ(up.size(), 21u);
    for (const auto &p : up) EXPECT_NEAR(p.pt.y, 34000.0, 1e-6);
    // North at 60 degrees: the east side faces north too; both move 4 m along north.
    const auto turned =
        MeasurementPoints(Rectangle({{0, 6000.0, 0.0}}, 60.0), low, SlantLimit::North);
    ASSERT_EQ(turned.size(), 31u + 20u);  // east 30 m: 31; north 20 m: 21, one shared end
    EXPECT_NEAR(turned.front().pt.x, 20000.0 + 4000.0 * 0.5, 1e-6);
    EXPECT_NEAR(turned.front().pt.y, 4000.0 * std::sqrt(3.0) / 2.0, 1e-6);
}

// The sky factor of a solid given by its height over the plan (none: not built), integrated
// along rays: in every azimuth the highest elevation found marching outward, then the share of
// the map under it.
double IntegratedSkyFactor(const std::function<std::optional<double>(double, double)> &height,
                           TAcadPoint p, double reach) {
    const int azimuths = 3600;
    double covered = 0.0;
    for (int k = 0; k < azimuths; ++k) {
        const double phi = (k + 0.5) * 2.0 * geometry::kPi / azimuths;
        double best = 0.0;
        for (double t = 5.0; t < reach; t += 5.0) {
            const auto h = height(p.x + t * std::cos(phi), p.y + t * std::sin(phi));
            if (h) best = std::max(best, *h / t);
        }
        covered += best * best / (1.0 + best * best);
    }
    return 100.0 * (1.0 - covered / azimuths);
}

TEST(SkyCompareConforming, AgreesWithAnIntegrationOfTheSlantSolid) {
    const CompareSite site = Rectangle({{0, 6000.0, 0.0}});
    const SlantRules rules = SlantRulesOf(SlantZone::Residential);
    const auto inSite = [](double x, double y) {
        return x >= 0 && x <= 20000 && y >= 0 && y <= 30000;
    };
    // Road: 1.25 x the distance from the far side, within 20 m of it.
    const auto road = [&](double x, double y) -> std::optional<double> {
        if (!inSite(x, y) || y > 14000.0) return std::nullopt;
        return 1.25 * (6000.0 + y);
    };
    // Adjacent: 20 m + 1.25 x the distance from the nearest of east, north and west.
    const auto adjacent = [&](double x, double y) -> std::optional<double> {
        if (!inSite(x, y)) return std::nullopt;
        return 20000.0 + 1.25 * std::min({20000.0 - x, 30000.0 - y, x});
    };
    const SansyaFrame frame{100.0, 200.0, 90.0};
    struct Case {
        SlantLimit limit;
        std::function<std::optional<double>(double, double)> height;
        std::size_t point;
    };
    for (const Case &c : {Case{SlantLimit::Road, road, 3}, Case{SlantLimit::Adjacent, adjacent, 2},
                          Case{SlantLimit::Adjacent, adjacent, 7}}) {
        const ConformingBuilding b = ConformingBuildingOf(site, rules, c.limit);
        const TAcadPoint pt = MeasurementPoints(site, rules, c.limit)[c.point].pt;
        const double expected = IntegratedSkyFactor(c.height, pt, 120000.0);
        const TenkuRituResult r = GetTenkuRitu(b.sky, pt, 0.0, frame);
        ASSERT_TRUE(r.Ok());
        EXPECT_NEAR(r.exact, expected, 0.02) << static_cast<int>(c.limit) << " " << c.point;
        EXPECT_GE(r.gaisetu, r.exact);
    }
}

TEST(SkyCompareConforming, ConcaveSiteStaysOnTheSite) {
    // Every edge of the conforming building lies over the L-shaped site, under its planes.
    CompareSite site;
    site.ring = {{0, 0, 0},         {20000, 0, 0},     {20000, 15000, 0},
                 {10000, 15000, 0}, {10000, 30000, 0}, {0, 30000, 0}};
    site.roads = {{0, 6000.0, 0.0}};
    const SlantRules rules = SlantRulesOf(SlantZone::Residential);
    const ConformingBuilding b = ConformingBuildingOf(site, rules, SlantLimit::Adjacent);
    ASSERT_FALSE(b.Empty());
    for (const auto &e : b.sky.edges) {
        const TAcadPoint m{(e.st.x + e.ed.x) / 2, (e.st.y + e.ed.y) / 2, (e.st.z + e.ed.z) / 2};
        const bool onSite =
            (m.x >= -1e-6 && m.x <= 20000 + 1e-6 && m.y >= -1e-6 && m.y <= 15000 + 1e-6) ||
            (m.x >= -1e-6 && m.x <= 10000 + 1e-6 && m.y >= -1e-6 && m.y <= 30000 + 1e-6);
        EXPECT_TRUE(onSite) << m.x << "," << m.y;
        // Never above the limit measured from the nearest adjacent boundary.
        const double d = std::min(
            {20000.0 - m.x, std::fabs(15000.0 - m.y) + (m.x < 10000 ? 1e300 : 0.0),
             m.x <= 10000 ? 30000.0 - m.y : 1e300, 10000.0 - m.x + (m.y <= 15000 ? 1e300 : 0.0)});
        EXPECT_LE(m.z, 20000.0 + 1.25 * std::max(0.0, d) + 1e-6);
    }
}

TEST(SkyCompare, VerdictOnAPlanThatPassesAndOneThatFails) {
    const CompareSite site = Rectangle({{0, 6000.0, 0.0}});
    const SlantRules rules = SlantRulesOf(SlantZone::Residential);
    const SansyaFrame frame{100.0, 200.0, 90.0};
    const std::vector<SlantLimit> limits = {SlantLimit::Road, SlantLimit::Adjacent};

    // A low block in the middle keeps far more sky than the conforming buildings.
    const auto low = CompareSkyFactors(testing::ModelOf({{5000, 5000, 15000, 25000, 10000}}), site,
                                       rules, limits, frame, 3);
    ASSERT_EQ(low.status, ComparisonStatus::Done);
    ASSERT_EQ(low.rows.size(), 28u);
    EXPECT_TRUE(low.Complies());
    for (const auto &r : low.rows) {
        EXPECT_GE(r.difference, 0.0) << r.point.label;
        EXPECT_LE(r.planned, r.plannedExact);
        EXPECT_GE(r.conforming, r.conformingExact);
    }

    // A 60 m slab along the east side: the east points lose, the west ones still pass.
    const auto slab = CompareSkyFactors(testing::ModelOf({{15000, 2000, 20000, 28000, 60000}}),
                                        site, rules, limits, frame, 3);
    ASSERT_EQ(slab.status, ComparisonStatus::Done);
    EXPECT_FALSE(slab.Complies());
    const auto &worst = slab.rows[slab.worst];
    EXPECT_FALSE(worst.passes);
    EXPECT_EQ(worst.point.limit, SlantLimit::Adjacent);
    EXPECT_GT(worst.point.pt.x, 20000.0);
    bool westPasses = false;
    for (const auto &r : slab.rows) westPasses = westPasses || (r.point.pt.x < 0 && r.passes);
    EXPECT_TRUE(westPasses);
}

TEST(SkyCompare, RoadLimitSeesOnlyThePartWithinTheApplicableDistance) {
    // A tower beyond 20 m from the far side of the road is left out of the road comparison.
    const CompareSite site = Rectangle({{0, 6000.0, 0.0}});
    const SlantRules rules = SlantRulesOf(SlantZone::Residential);
    const auto far = testing::ModelOf({{5000, 20000, 15000, 28000, 80000}});
    const SkyBuildings planned = PlannedBuildingsFor(far, site, rules, SlantLimit::Road);
    EXPECT_TRUE(planned.edges.empty() && planned.rings.empty());
    const auto straddling = testing::ModelOf({{5000, 10000, 15000, 28000, 80000}});
    for (const auto &e : PlannedBuildingsFor(straddling, site, rules, SlantLimit::Road).edges) {
        EXPECT_LE(e.st.y, 14000.0 + 1e-6);
        EXPECT_LE(e.ed.y, 14000.0 + 1e-6);
    }
}

TEST(SkyCompare, RoundingErrsAgainstThePlan) {
    struct Case {
        double value;
        double down, up;
    };
    for (const Case &c : {Case{61.2345, 61.234, 61.235}, Case{61.234, 61.234, 61.234},
                          Case{99.9999, 99.999, 100.0}, Case{0.0004, 0.0, 0.001}}) {
        EXPECT_DOUBLE_EQ(RoundDown(c.value, 3), c.down) << c.value;
        EXPECT_DOUBLE_EQ(RoundUp(c.value, 3), c.up) << c.value;
    }
}

}  // namespace
}  // namespace pimu::sky
