// The shadow regions against an independent union (shapely) on the sites users draw:
// blocks square to true north with north typed to a few decimals, times landing a hair off noon,
// random sites, courtyards, far coordinates, metre drawings, a neighbourhood of 1,000 buildings;
// and against the literal outline trace where that one is right.
#include "shadow/shadow_regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "geometry/acquisition.h"
#include "geometry/outline_test_util.h"
#include "geometry/primitives.h"
#include "geometry/shadow_outline.h"
#include "shadow/shadow_casting.h"
#include "shadow/shapely_union.h"
#include "solar/sun.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;
using geometry::TLineEnt;
using geometry::testing::AddPrism;
using geometry::testing::Rect;
using Ring = std::vector<TAcadPoint>;

// A site: its edges and the footprints of its volumes (what the independent union fills).
struct Site {
    std::vector<TLineEnt> edges;
    std::vector<Ring> footprints;
    std::vector<double> tops;  // of the footprints added by Add; the others rise above any plane
    void Add(const Ring &footprint, double height) {
        AddPrism(edges, footprint, height);
        footprints.push_back(footprint);
        tops.push_back(height);
    }
};

// The polygons whose union is the shadow: every edge's quadrilateral and the footprints, relative
// to origin (far drawings lose no digits).
std::vector<Ring> ShadowParts(const Site &site, const solar::SolarState &sun, double t, double h,
                              TAcadPoint origin) {
    const solar::SunResult pos = solar::SunPosition(sun, t);
    const double theta = solar::ShadowAngle(sun, pos.Azimuth);
    std::vector<Ring> parts;
    const auto moved = [&](TAcadPoint p) { return TAcadPoint{p.x - origin.x, p.y - origin.y, 0}; };
    for (const TLineEnt &e : site.edges) {
        const EdgeQuad q = ShadowQuad(e, h, theta, pos.Ratio);
        parts.push_back({moved(q.footSt), moved(q.footEd), moved(q.shadowEd), moved(q.shadowSt)});
    }
    for (std::size_t i = 0; i < site.footprints.size(); ++i) {
        if (i < site.tops.size() && !(site.tops[i] > h)) continue;  // a volume under the plane
        parts.emplace_back();
        for (const TAcadPoint &p : site.footprints[i]) parts.back().push_back(moved(p));
    }
    return parts;
}

using testing::ShapelyAreas;

double IndependentArea(const Site &site, const solar::SolarState &sun, double t, double h,
                       TAcadPoint origin = {}) {
    const std::vector<double> areas = ShapelyAreas({ShadowParts(site, sun, t, h, origin)});
    EXPECT_EQ(areas.size(), 1u);
    return areas.empty() ? -1.0 : areas.front();
}

// Orientation, start vertex and vertex hygiene of every ring.
void ExpectConvention(const ShadowRegions &shadow) {
    const auto check = [](const Ring &ring, bool ccw) {
        ASSERT_GE(ring.size(), 3u);
        EXPECT_EQ(RingArea(ring) > 0.0, ccw);
        for (const TAcadPoint &p : ring) {
            EXPECT_EQ(p.z, 0.0);
            EXPECT_TRUE(p.x > ring.front().x || (p.x == ring.front().x && p.y >= ring.front().y));
        }
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const TAcadPoint a = ring[i], b = ring[(i + 1) % ring.size()],
                             c = ring[(i + 2) % ring.size()];
            EXPECT_FALSE(a.x == b.x && a.y == b.y);
            // No exactly collinear triple (the grid makes collinear vertices exact).
            const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
            EXPECT_NE(cross, 0.0);
        }
    };
    for (std::size_t i = 0; i < shadow.regions.size(); ++i) {
        check(shadow.regions[i].outer, true);
        for (const Ring &hole : shadow.regions[i].holes) check(hole, false);
        if (i > 0) {
            const TAcadPoint a = shadow.regions[i - 1].outer.front();
            const TAcadPoint b = shadow.regions[i].outer.front();
            EXPECT_TRUE(a.x < b.x || (a.x == b.x && a.y < b.y));  // western first
        }
    }
}

class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    double Uniform(double lo, double hi) {
        return lo + (hi - lo) * (static_cast<double>(engine_()) / 4294967296.0);
    }
    int Int(int lo, int hi) {
        return lo + static_cast<int>(engine_() % static_cast<std::uint32_t>(hi - lo + 1));
    }

private:
    std::mt19937 engine_;
};

TAcadPoint Turned(TAcadPoint c, double a, double x, double y) {
    return TAcadPoint{c.x + x * std::cos(a) - y * std::sin(a),
                      c.y + x * std::sin(a) + y * std::cos(a), 0.0};
}

Ring RandomFootprint(Random &rnd, double span) {
    const TAcadPoint centre{rnd.Uniform(0, span), rnd.Uniform(0, span), 0.0};
    const double turn = rnd.Uniform(0, geometry::kTwoPi);
    Ring pts;
    if (rnd.Int(0, 1) == 0) {
        const double w = rnd.Uniform(3000, 15000) / 2, d = rnd.Uniform(3000, 15000) / 2;
        pts = {Turned(centre, turn, -w, -d), Turned(centre, turn, w, -d),
               Turned(centre, turn, w, d), Turned(centre, turn, -w, d)};
    } else {
        const double r = rnd.Uniform(3000, 10000);
        for (int k = 0; k <= 18; ++k) {
            const double a = k * 10.0 * geometry::kDegToRad;
            pts.push_back(Turned(centre, turn, r * std::cos(a), r * std::sin(a)));
        }
    }
    return pts;
}

// An L-shaped block and blocks square to the drawing axes, as most sites are drawn.
Site AlignedSite() {
    Site s;
    s.Add({{0, 0, 0},
           {30000, 0, 0},
           {30000, 10000, 0},
           {10000, 10000, 0},
           {10000, 25000, 0},
           {0, 25000, 0}},
          15000);
    s.Add(Rect(40000, 0, 12000, 8000), 9000);
    s.Add(Rect(40000, 20000, 12000, 8000), 21000);  // in the shadow of nothing, casting north
    s.Add(Rect(46000, 4000, 10000, 10000), 12000);  // overlapping the 9 m block
    s.Add(Rect(0, 40000, 30000, 6000), 6000);       // wider than its shadow is long
    return s;
}

constexpr double kRelative = 1e-6;

TEST(ShadowRegions, AlignedSitesMatchTheIndependentUnionNearNoon) {
    const Site site = AlignedSite();
    const double norths[] = {90.0, 89.9999, 90.0001, 89.99999, 90.00001, 0.0001, 180.0};
    // Noon, a 10-minute step typed as 0.1666667 h from 8:00 (24 steps land 8e-7 h after noon), a
    // 20-minute step typed as 0.3333, and a whole hour.
    double drift = 8.0;
    for (int i = 0; i < 24; ++i) drift += 0.1666667;
    const double times[] = {12.0, drift, 8.0 + 12 * 0.3333, 10.0};
    const double planes[] = {0.0, 4000.0};
    std::vector<std::vector<Ring>> cases;
    std::vector<double> areas;
    std::vector<std::string> names;
    for (double north : norths) {
        const solar::SolarState sun =
            solar::MakeSolarState(35.68, solar::kWinterDeclination, north);
        for (double t : times) {
            for (double h : planes) {
                names.push_back("north " + std::to_string(north) + " t " + std::to_string(t) +
                                " h " + std::to_string(h));
                SCOPED_TRACE(names.back());
                const ShadowRegions shadow = ShadowRegionsAt(site.edges, sun, t, h);
                ASSERT_EQ(shadow.status, RegionStatus::Done);
                ExpectConvention(shadow);
                areas.push_back(ShadedArea(shadow));
                cases.push_back(ShadowParts(site, sun, t, h, {}));
            }
        }
    }
    const std::vector<double> expected = ShapelyAreas(cases);
    ASSERT_EQ(expected.size(), areas.size());
    for (std::size_t i = 0; i < areas.size(); ++i)
        EXPECT_NEAR(areas[i], expected[i], kRelative * expected[i]) << names[i];
}

// The L-shaped block at 12:00 with north typed as 89.99999 degrees: the shadow is, to within the
// turn of 1e-5 degrees, the one with north exactly up, which is known in closed form.
TEST(ShadowRegions, LShapedBlockAtNoonWithNorthTypedToFiveDecimals) {
    Site site;
    site.Add({{0, 0, 0},
              {20000, 0, 0},
              {20000, 10000, 0},
              {10000, 10000, 0},
              {10000, 30000, 0},
              {0, 30000, 0}},
             10000);
    const double h = 4000.0;
    const solar::SolarState up = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    const double L = (10000.0 - h) * solar::SunPosition(up, 12.0).Ratio;  // shadow length
    // Footprint plus the strips cast north by the south-facing roof edges.
    // West arm: footprint 30 m deep plus L; east arm: 10 m plus L.
    const double exact = 10000.0 * (30000.0 + L) + 10000.0 * (10000.0 + L);
    for (double north : {90.0, 89.99999, 90.00001}) {
        SCOPED_TRACE(north);
        const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, north);
        const ShadowRegions shadow = ShadowRegionsAt(site.edges, sun, 12.0, h);
        ASSERT_EQ(shadow.regions.size(), 1u);
        EXPECT_TRUE(shadow.regions[0].holes.empty());
        EXPECT_NEAR(ShadedArea(shadow), exact, 1e-6 * exact);
        EXPECT_NEAR(ShadedArea(shadow), IndependentArea(site, sun, 12.0, h), 1e-6 * exact);
    }
}

// Random sites: the area agrees with the independent union, and each region's outer ring with the
// literal trace, which is right on such sites.
TEST(ShadowRegions, RandomSitesMatchTheUnionAndTheReference) {
    const double times[] = {8.0, 9.5, 11.0, 12.0, 13.5, 15.0, 16.0};
    const double planes[] = {0.0, 1500.0, 4000.0};
    int compared = 0;
    std::vector<std::vector<Ring>> cases;
    std::vector<double> areas;
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        Random rnd(seed);
        Site site;
        const int buildings = rnd.Int(1, 6);
        for (int b = 0; b < buildings; ++b)
            site.Add(RandomFootprint(rnd, 40000), rnd.Uniform(3000, 20000));
        const solar::SolarState sun = solar::MakeSolarState(
            rnd.Uniform(30, 45), solar::DeclinationOf(static_cast<solar::Season>(rnd.Int(0, 2))),
            rnd.Uniform(0, 360));
        const double t = times[rnd.Int(0, 6)];
        const double h = planes[rnd.Int(0, 2)];
        SCOPED_TRACE("seed " + std::to_string(seed));

        const ShadowRegions shadow = ShadowRegionsAt(site.edges, sun, t, h);
        ASSERT_EQ(shadow.status, RegionStatus::Done);
        ExpectConvention(shadow);
        areas.push_back(ShadedArea(shadow));
        cases.push_back(ShadowParts(site, sun, t, h, {}));

        // The literal trace of the edges above the plane (those at or below it cast nothing).
        std::vector<TLineEnt> above;
        for (const TLineEnt &e : site.edges)
            if (std::max(e.st.z, e.ed.z) > h) above.push_back(e);
        geometry::BuildingModel model;
        model.SetEdges(above);
        geometry::PolygonWorkspace ws;
        ShadowSegments(ws, model, sun, t, h);
        std::vector<std::vector<TLineEnt>> outlines;
        ws.AllOutlines(geometry::MaxSpanRule::MeasureTimes1000,
                       [&](const std::vector<TLineEnt> &o) { outlines.push_back(o); });
        // The literal trace leaves out islands lying in a hole of another region.
        ShadowRegions outerOnly;
        for (const ShadowRegion &r : shadow.regions) outerOnly.regions.push_back({r.outer, {}});
        std::vector<const Ring *> islands;
        for (std::size_t i = 0; i < shadow.regions.size(); ++i) {
            ShadowRegions others = outerOnly;
            others.regions.erase(others.regions.begin() + static_cast<std::ptrdiff_t>(i));
            const TAcadPoint start = shadow.regions[i].outer.front();
            if (LocatePoint(others, start) == PointPlace::Outside)
                islands.push_back(&shadow.regions[i].outer);
        }
        ASSERT_EQ(outlines.size(), islands.size());
        for (std::size_t i = 0; i < outlines.size(); ++i) {
            const Ring &outer = *islands[i];
            double perimeter = 0.0;
            for (const TLineEnt &s : outlines[i]) perimeter += geometry::Dist2D(s.st, s.ed);
            // The literal trace merges segments within 0.01 of a line, so it may stray that far.
            EXPECT_NEAR(RingArea(outer), geometry::testing::SignedArea(outlines[i]),
                        0.05 * perimeter);
            // Both start at the lowest vertex of the left-most column.
            EXPECT_NEAR(outer.front().x, outlines[i].front().st.x, 0.05);
            EXPECT_NEAR(outer.front().y, outlines[i].front().st.y, 0.05);
            for (const TLineEnt &s : outlines[i]) {
                EXPECT_NE(LocatePoint(shadow, s.st, 0.05), PointPlace::Outside);
            }
            for (const TAcadPoint &p : outer) {
                ShadowRegions traced;
                traced.regions.emplace_back();
                for (const TLineEnt &s : outlines[i]) traced.regions[0].outer.push_back(s.st);
                EXPECT_EQ(LocatePoint(traced, p, 0.05), PointPlace::On);
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 40);
    const std::vector<double> expected = ShapelyAreas(cases);
    ASSERT_EQ(expected.size(), areas.size());
    for (std::size_t i = 0; i < areas.size(); ++i)
        EXPECT_NEAR(areas[i], expected[i], kRelative * expected[i]) << "seed " << i + 1;
}

// The ring without the vertices lying within tol of the line through their neighbours.
Ring WithoutCollinear(Ring ring, double tol) {
    bool changed = true;
    while (changed && ring.size() > 3) {
        changed = false;
        for (std::size_t i = 0; i < ring.size() && ring.size() > 3; ++i) {
            const TAcadPoint a = ring[(i + ring.size() - 1) % ring.size()], p = ring[i],
                             b = ring[(i + 1) % ring.size()];
            const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
            if (std::fabs(cross) <= tol * std::hypot(b.x - a.x, b.y - a.y)) {
                ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(i));
                changed = true;
            }
        }
    }
    return ring;
}

// The same region set: the same regions and holes in the same order, each ring with the same
// vertices once those collinear to the grid's resolution are taken out (tiles cut edges where the
// union in one piece does not, and the cuts are taken out again to the grid's rounding), and the
// same areas.
void ExpectSameRegions(const ShadowRegions &tiled, const ShadowRegions &single) {
    ASSERT_EQ(tiled.status, single.status);
    ASSERT_EQ(tiled.regions.size(), single.regions.size());
    const double tol = 3.0 * std::max(tiled.resolution, single.resolution);
    const auto covered = [&](const Ring &x, const Ring &y) {
        for (const TAcadPoint &p : x) {
            const bool near = std::any_of(y.begin(), y.end(), [&](const TAcadPoint &q) {
                return std::hypot(p.x - q.x, p.y - q.y) <= tol;
            });
            if (!near) return false;
        }
        return true;
    };
    const auto same = [&](const Ring &tiledRing, const Ring &singleRing) {
        const Ring x = WithoutCollinear(tiledRing, tol), y = WithoutCollinear(singleRing, tol);
        EXPECT_EQ(x.size(), y.size());
        EXPECT_TRUE(covered(x, y) && covered(y, x));
        EXPECT_NEAR(RingArea(tiledRing), RingArea(singleRing),
                    1e-9 * std::fabs(RingArea(singleRing)));
    };
    for (std::size_t i = 0; i < tiled.regions.size(); ++i) {
        SCOPED_TRACE("region " + std::to_string(i));
        same(tiled.regions[i].outer, single.regions[i].outer);
        ASSERT_EQ(tiled.regions[i].holes.size(), single.regions[i].holes.size());
        for (std::size_t k = 0; k < tiled.regions[i].holes.size(); ++k)
            same(tiled.regions[i].holes[k], single.regions[i].holes[k]);
    }
    EXPECT_NEAR(ShadedArea(tiled), ShadedArea(single), 1e-9 * ShadedArea(single));
}

// The union in tiles against the union in one piece, with tiles small enough that every region
// crosses tile borders many times: random sites, blocks square to north with north a hair off,
// a courtyard, and a long wall whose shadow runs across a field of small blocks.
TEST(ShadowRegions, TilesGiveTheSameRegionsAsOneUnion) {
    struct Case {
        std::string name;
        Site site;
        solar::SolarState sun;
        double t, h;
    };
    std::vector<Case> cases;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        Random rnd(seed * 7919);
        Case c{"random " + std::to_string(seed), {}, {}, rnd.Uniform(8, 16), 0.0};
        const int buildings = rnd.Int(2, 12);
        for (int b = 0; b < buildings; ++b)
            c.site.Add(RandomFootprint(rnd, 50000), rnd.Uniform(3000, 30000));
        c.sun = solar::MakeSolarState(rnd.Uniform(30, 45), solar::kWinterDeclination,
                                      rnd.Uniform(0, 360));
        c.h = rnd.Int(0, 1) * 1500.0;
        cases.push_back(std::move(c));
    }
    for (double north : {90.0, 89.9999, 90.0001}) {
        for (double t : {12.0, 12.0 + 8e-7, 10.0}) {
            cases.push_back({"aligned north " + std::to_string(north) + " t " + std::to_string(t),
                             AlignedSite(),
                             solar::MakeSolarState(35.68, solar::kWinterDeclination, north), t,
                             4000.0});
        }
    }
    Site court;
    court.Add(Rect(0, 0, 40000, 8000), 12000);
    court.Add(Rect(0, 52000, 40000, 8000), 12000);
    court.Add(Rect(0, 8000, 8000, 44000), 12000);
    court.Add(Rect(32000, 8000, 8000, 44000), 12000);
    court.Add(Rect(18000, 38000, 4000, 4000), 3000);
    cases.push_back({"courtyard", court,
                     solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0), 12.0, 4000.0});
    Site field;
    field.Add({{0, 0, 0}, {120000, 70000, 0}, {120500, 69000, 0}, {500, -1000, 0}}, 30000);
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 8; ++j)
            field.Add(Rect(i * 11000.0 - 5000, j * 13000.0 + 4000, 3000, 2000), 5000);
    cases.push_back({"wall across a field", field,
                     solar::MakeSolarState(35.0, solar::kWinterDeclination, 90.0), 9.0, 0.0});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ShadowRegions single = ShadowRegionsSingleUnionAt(c.site.edges, c.sun, c.t, c.h);
        ASSERT_EQ(single.status, RegionStatus::Done);
        ASSERT_FALSE(single.regions.empty());
        for (std::size_t work : {8u, 40u, 300u}) {
            SCOPED_TRACE("tiles of " + std::to_string(work));
            const ShadowRegions tiled = ShadowRegionsInTilesAt(c.site.edges, c.sun, c.t, c.h, work);
            ExpectConvention(tiled);
            ExpectSameRegions(tiled, single);
        }
    }
    // The courtyard's hole survives the tiles.
    const ShadowRegions tiled =
        ShadowRegionsInTilesAt(court.edges, cases[cases.size() - 2].sun, 12.0, 4000.0, 8);
    ASSERT_EQ(tiled.regions.size(), 1u);
    EXPECT_EQ(tiled.regions[0].holes.size(), 1u);
}

// Free-standing raised edges as a huge drawing has them, at the production tile size: a soup
// large enough to be cut into tiles.
TEST(ShadowRegions, LooseEdgesInProductionTilesMatchOneUnion) {
    Random rnd(5);
    std::vector<TLineEnt> edges;
    const double side = std::sqrt(4000.0) * 10000.0;
    for (int i = 0; i < 4000; ++i) {
        const double x = rnd.Uniform(0, side), y = rnd.Uniform(0, side);
        const double len = rnd.Uniform(2000, 10000), dir = rnd.Uniform(0, geometry::kTwoPi);
        const double z = rnd.Uniform(3000, 30000);
        edges.push_back(geometry::testing::Edge(
            {x, y, z}, {x + len * std::cos(dir), y + len * std::sin(dir), z}));
    }
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination, 89.9999);
    const ShadowRegions single = ShadowRegionsSingleUnionAt(edges, sun, 10.0, 4000.0);
    const ShadowRegions tiled = ShadowRegionsAt(edges, sun, 10.0, 4000.0);
    ExpectConvention(tiled);
    ExpectSameRegions(tiled, single);
    std::size_t holes = 0;
    for (const ShadowRegion &r : tiled.regions) holes += r.holes.size();
    EXPECT_GT(holes, 0u);
}

// Four wings around a court: at noon the south wing shades the south part of the court, the rest
// is a lit hole; a building standing in the court is a region of its own.
TEST(ShadowRegions, CourtyardGivesItsHole) {
    Site site;
    const double H = 12000.0, h = 4000.0;
    site.Add(Rect(0, 0, 40000, 8000), H);            // south wing
    site.Add(Rect(0, 52000, 40000, 8000), H);        // north wing
    site.Add(Rect(0, 8000, 8000, 44000), H);         // west wing
    site.Add(Rect(32000, 8000, 8000, 44000), H);     // east wing
    site.Add(Rect(18000, 38000, 4000, 4000), 3000);  // a shed in the court, below the plane: lit
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    const double L = (H - h) * solar::SunPosition(sun, 12.0).Ratio;
    ASSERT_LT(L, 44000.0);

    const ShadowRegions shadow = ShadowRegionsAt(site.edges, sun, 12.0, h);
    ASSERT_EQ(shadow.status, RegionStatus::Done);
    ExpectConvention(shadow);
    ASSERT_EQ(shadow.regions.size(), 1u);
    ASSERT_EQ(shadow.regions[0].holes.size(), 1u);
    const Ring &hole = shadow.regions[0].holes[0];
    EXPECT_NEAR(-RingArea(hole), 24000.0 * (44000.0 - L), 1.0);
    // The lowest vertex of the left-most column, to the grid's resolution.
    EXPECT_NEAR(hole.front().x, 8000.0, shadow.resolution);
    EXPECT_NEAR(hole.front().y, 8000.0 + L, shadow.resolution);
    EXPECT_NEAR(ShadedArea(shadow), IndependentArea(site, sun, 12.0, h),
                kRelative * ShadedArea(shadow));

    EXPECT_EQ(LocatePoint(shadow, {20000, 30000 + L / 2, 0}), PointPlace::Outside);  // lit court
    EXPECT_EQ(LocatePoint(shadow, {20000, 9000, 0}), PointPlace::Inside);            // shaded court
    EXPECT_EQ(LocatePoint(shadow, {20000, 8000 + L, 0}), PointPlace::On);            // hole's edge
    EXPECT_EQ(LocatePoint(shadow, {20000, 40000, 0}), PointPlace::Outside);  // the shed: lit
    EXPECT_EQ(LocatePoint(shadow, {-1, 100, 0}), PointPlace::Outside);
}

// The same site far from the origin, and drawn in metres: the same shadow, scaled and moved.
// A building drawn as an outer and an inner closed polyline of the same height has a court; a
// tower drawn on a podium stands on it and makes no hole in it.
TEST(ShadowRegions, NestedFootprintsCourtyardAndTowerOnPodium) {
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    const double H = 9000.0;
    const double L = H * solar::SunPosition(sun, 12.0).Ratio;
    ASSERT_LT(L, 20000.0);
    std::vector<TLineEnt> court;
    AddPrism(court, Rect(0, 0, 40000, 40000), H);
    AddPrism(court, Rect(10000, 10000, 20000, 20000), H);
    const ShadowRegions c = ShadowRegionsAt(court, sun, 12.0, 0.0);
    ASSERT_EQ(c.regions.size(), 1u);
    ASSERT_EQ(c.regions[0].holes.size(), 1u);
    // The court's south wall shades its south part; the rest is lit.
    EXPECT_NEAR(-RingArea(c.regions[0].holes[0]), 20000.0 * (20000.0 - L), 1.0);
    EXPECT_EQ(LocatePoint(c, {20000, 29000, 0}), PointPlace::Outside);
    // A volume in the court (inside the inner outline again) is shaded ground once more.
    std::vector<TLineEnt> kiosk = court;
    AddPrism(kiosk, Rect(24000, 26000, 3000, 3000), H);
    const ShadowRegions k = ShadowRegionsAt(kiosk, sun, 12.0, 0.0);
    EXPECT_EQ(LocatePoint(k, {25500, 27500, 0}), PointPlace::Inside);
    EXPECT_EQ(LocatePoint(k, {15000, 29000, 0}), PointPlace::Outside);

    // Podium 6 m, tower from 6 m to 30 m drawn inside it.
    std::vector<TLineEnt> tower;
    AddPrism(tower, Rect(0, 0, 40000, 40000), 6000);
    std::vector<TAcadPoint> top = Rect(10000, 10000, 10000, 10000);
    for (TAcadPoint &p : top) p.z = 6000;
    AddPrism(tower, top, 24000);
    const ShadowRegions t = ShadowRegionsAt(tower, sun, 12.0, 0.0);
    ASSERT_EQ(t.regions.size(), 1u);
    EXPECT_TRUE(t.regions[0].holes.empty());
    EXPECT_EQ(LocatePoint(t, {15000, 15000, 0}), PointPlace::Inside);
    EXPECT_EQ(LocatePoint(t, {35000, 5000, 0}), PointPlace::Inside);
}

TEST(ShadowRegions, FarCoordinatesAndMetreDrawings) {
    Random rnd(7);
    Site base;
    for (int b = 0; b < 8; ++b) base.Add(RandomFootprint(rnd, 60000), rnd.Uniform(3000, 30000));
    const solar::SolarState sun = solar::MakeSolarState(35.0, solar::kWinterDeclination, 89.9999);
    const TAcadPoint offset{1e8, -3e7, 0.0};
    Site far, metres;
    for (const TLineEnt &e : base.edges) {
        TLineEnt f = e, m = e;
        f.st.x += offset.x, f.st.y += offset.y, f.ed.x += offset.x, f.ed.y += offset.y;
        m.st = {e.st.x / 1000, e.st.y / 1000, e.st.z / 1000};
        m.ed = {e.ed.x / 1000, e.ed.y / 1000, e.ed.z / 1000};
        far.edges.push_back(f);
        metres.edges.push_back(m);
    }
    for (const Ring &r : base.footprints) {
        Ring f, m;
        for (const TAcadPoint &p : r) {
            f.push_back({p.x + offset.x, p.y + offset.y, 0});
            m.push_back({p.x / 1000, p.y / 1000, 0});
        }
        far.footprints.push_back(f);
        metres.footprints.push_back(m);
    }
    for (double t : {9.0, 12.0, 15.5}) {
        SCOPED_TRACE(t);
        const ShadowRegions a = ShadowRegionsAt(base.edges, sun, t, 4000.0);
        const ShadowRegions b = ShadowRegionsAt(far.edges, sun, t, 4000.0);
        const ShadowRegions c = ShadowRegionsAt(metres.edges, sun, t, 4.0);
        const double area = ShadedArea(a);
        EXPECT_NEAR(ShadedArea(b), area, kRelative * area);
        EXPECT_NEAR(ShadedArea(c) * 1e6, area, kRelative * area);
        EXPECT_NEAR(ShadedArea(b), IndependentArea(far, sun, t, 4000.0, offset), kRelative * area);
        EXPECT_NEAR(ShadedArea(c), IndependentArea(metres, sun, t, 4.0), kRelative * area * 1e-6);
        ASSERT_EQ(b.regions.size(), a.regions.size());
        ASSERT_EQ(c.regions.size(), a.regions.size());
        for (std::size_t i = 0; i < a.regions.size(); ++i) {
            EXPECT_NEAR(b.regions[i].outer.front().x - offset.x, a.regions[i].outer.front().x,
                        1e-3);
            EXPECT_NEAR(c.regions[i].outer.front().y * 1000, a.regions[i].outer.front().y, 1e-3);
        }
        // The grid follows the extent, not the distance from the origin.
        EXPECT_LT(b.resolution, 1e-3);
        EXPECT_LT(c.resolution, 1e-6);
    }
}

TEST(ShadowRegions, NeighbourhoodOfAThousandBuildings) {
    Random rnd(11);
    Site site;
    for (int b = 0; b < 1000; ++b) {
        const double x = (b % 40) * 25000.0 + rnd.Uniform(0, 8000);
        const double y = (b / 40) * 25000.0 + rnd.Uniform(0, 8000);
        site.Add(Rect(x, y, rnd.Uniform(6000, 16000), rnd.Uniform(6000, 16000)),
                 rnd.Uniform(4000, 40000));
    }
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination, 89.9999);
    for (double t : {9.0, 12.0}) {
        const ShadowRegions shadow = ShadowRegionsAt(site.edges, sun, t, 4000.0);
        ASSERT_EQ(shadow.status, RegionStatus::Done);
        ExpectConvention(shadow);
        const double expected = IndependentArea(site, sun, t, 4000.0);
        EXPECT_NEAR(ShadedArea(shadow), expected, kRelative * expected);
    }
}

// Outlines of many vertices (a finely drawn round tower with bays, a serrated facade whose edges
// turn to the sun and away from it by turns): the edges that continue each other are swept as one
// ring, and the union is still the independent union of every edge's quadrilateral.
TEST(ShadowRegions, ManyVertexOutlinesMatchTheIndependentUnion) {
    struct Case {
        const char *name;
        int vertices;
        double wave;  // radial amplitude of the bays, mm
        int period;   // vertices per bay
    };
    const Case cases[] = {{"round with bays", 8000, 1500.0, 800}, {"serrated", 3000, 400.0, 2}};
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination, 90.0);
    for (const Case &c : cases) {
        Site site;
        Ring ring;
        for (int k = 0; k < c.vertices; ++k) {
            const double a = geometry::kTwoPi * k / c.vertices;
            const double r =
                30000.0 + c.wave * std::sin(geometry::kTwoPi * (k % c.period) / c.period);
            ring.push_back({50000.0 + r * std::cos(a), 50000.0 + r * std::sin(a), 0.0});
        }
        site.Add(ring, 20000.0);
        for (double t : {9.0, 12.0, 14.5}) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(t));
            const ShadowRegions shadow = ShadowRegionsAt(site.edges, sun, t, 4000.0);
            ASSERT_EQ(shadow.status, RegionStatus::Done);
            ASSERT_EQ(shadow.regions.size(), 1u);
            ExpectConvention(shadow);
            const double expected = IndependentArea(site, sun, t, 4000.0);
            EXPECT_NEAR(ShadedArea(shadow), expected, kRelative * expected);
        }
    }
}

// A circle with a thickness, as CAD programs draw round towers, casts the shadow of a cylinder.
TEST(ShadowRegions, CylinderFromACircleWithThickness) {
    geometry::EntityArrays a;
    a.AryCircle.push_back({{30000, 20000, 0}, 4500, 33000, {0, 0, 1}});
    geometry::ConvertToEdges(a);
    Site site;
    site.edges = a.AryLine;
    site.footprints.emplace_back();
    for (int k = 0; k < 35; ++k) site.footprints.back().push_back(a.AryLine[k].st);
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination, 90.0);
    for (double t : {9.0, 12.0, 14.5}) {
        SCOPED_TRACE(t);
        const ShadowRegions shadow = ShadowRegionsAt(site.edges, sun, t, 4000.0);
        ASSERT_EQ(shadow.regions.size(), 1u);
        EXPECT_TRUE(shadow.regions[0].holes.empty());
        const double L = 29000.0 * solar::SunPosition(sun, t).Ratio;
        // At least the disc's width swept over most of the shadow's length.
        EXPECT_GT(ShadedArea(shadow), 0.9 * 9000.0 * L);
        const double expected = IndependentArea(site, sun, t, 4000.0);
        EXPECT_NEAR(ShadedArea(shadow), expected, kRelative * expected);
    }
}

// Degenerate models and instants give sound results, never a made-up outline.
TEST(ShadowRegions, DegenerateInputs) {
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    const auto line = [](TAcadPoint a, TAcadPoint b) { return geometry::testing::Edge(a, b); };
    struct Case {
        const char *name;
        std::vector<TLineEnt> edges;
        double t;
        RegionStatus status;
        std::size_t regions;
        double area;
    };
    std::vector<TLineEnt> box;
    AddPrism(box, Rect(0, 0, 10000, 10000), 3000);
    std::vector<TLineEnt> withZero = box;
    withZero.push_back(line({5000, 5000, 0}, {5000, 5000, 0}));
    withZero.push_back(line({20000, 0, 0}, {20000, 0, 9000}));  // a vertical on its own
    std::vector<TLineEnt> nan = box;
    nan.push_back(line({NAN, 0, 0}, {1, 1, 5000}));
    const std::vector<TLineEnt> lines = {line({0, 0, 0}, {10000, 0, 0}),
                                         line({0, 5000, 0}, {10000, 6000, 0})};
    const Case cases[] = {
        {"empty model", {}, 12.0, RegionStatus::Done, 0, 0.0},
        {"all below the plane: nothing, not even the footprint", box, 12.0, RegionStatus::Done, 0,
         0.0},
        {"zero-length edges and lone verticals add nothing", withZero, 12.0, RegionStatus::Done, 0,
         0.0},
        {"a coordinate that is not a number is left out", nan, 12.0, RegionStatus::Done, 0, 0.0},
        {"lines without thickness", lines, 12.0, RegionStatus::Done, 0, 0.0},
        {"no sun before 7:30", box, 7.0, RegionStatus::NoSun, 0, 0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ShadowRegions shadow = ShadowRegionsAt(c.edges, sun, c.t, 4000.0);
        EXPECT_EQ(shadow.status, c.status);
        EXPECT_EQ(shadow.regions.size(), c.regions);
        EXPECT_NEAR(ShadedArea(shadow), c.area, 1e-3);
    }
    // The sun at or below the horizon: winter at 70 degrees north, where it never rises.
    const solar::SolarState arctic = solar::MakeSolarState(70.0, solar::kWinterDeclination, 90.0);
    std::vector<TLineEnt> tall;
    AddPrism(tall, Rect(0, 0, 10000, 10000), 30000);
    EXPECT_EQ(ShadowRegionsAt(tall, arctic, 12.0, 0.0).status, RegionStatus::NoSun);
}

// A progress that says stop after a number of questions.
class StopAfter : public Progress {
public:
    explicit StopAfter(int n) : left_(n) {}
    bool KeepRunning() override {
        ++asked;
        return left_-- > 0;
    }
    int asked = 0;

private:
    int left_;
};

TEST(ShadowRegions, StopReturnsNothingMarkedStopped) {
    std::vector<TLineEnt> edges;
    for (int i = 0; i < 20000; ++i) {
        const double x = (i % 200) * 3000.0, y = (i / 200) * 3000.0;
        edges.push_back(geometry::testing::Edge({x, y, 5000}, {x + 2000, y + 500, 5000}));
    }
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    StopAfter count(1 << 30);
    const ShadowRegions full = ShadowRegionsAt(edges, sun, 10.0, 0.0, count);
    ASSERT_EQ(full.status, RegionStatus::Done);
    EXPECT_FALSE(full.regions.empty());
    EXPECT_GT(count.asked, 8);  // asked along the way, not only at the ends
    // Wherever the stop comes, including in the middle of the tiles and of their stitching, it
    // is the last question: the union returns at once, with nothing.
    for (int n :
         {0, 1, 3, count.asked / 4, count.asked / 2, 3 * count.asked / 4, count.asked - 1}) {
        StopAfter stop(n);
        const ShadowRegions shadow = ShadowRegionsAt(edges, sun, 10.0, 0.0, stop);
        EXPECT_EQ(shadow.status, RegionStatus::Stopped) << n;
        EXPECT_EQ(stop.asked, n + 1) << n;
        EXPECT_TRUE(shadow.regions.empty());
    }
}

TEST(ShadowRegions, UnionOfRings) {
    const Ring cw{{0, 0, 0}, {0, 10, 0}, {10, 10, 0}, {10, 0, 0}};  // clockwise
    const Ring ccw{{5, 5, 0}, {15, 5, 0}, {15, 15, 0}, {5, 15, 0}};
    const Ring inner{{2, 2, 0}, {4, 2, 0}, {4, 4, 0}, {2, 4, 0}};
    struct Case {
        const char *name;
        std::vector<Ring> rings;
        std::size_t regions, holes;
        double area;
    };
    const Case cases[] = {
        {"either orientation fills", {cw, ccw}, 1, 0, 175.0},
        {"a ring inside another is no hole", {cw, inner}, 1, 0, 100.0},
        {"a frame of four rings leaves its hole",
         {Rect(0, 0, 30, 10), Rect(0, 20, 30, 10), Rect(0, 0, 10, 30), Rect(20, 0, 10, 30)},
         1,
         1,
         800.0},
        {"degenerate rings add nothing",
         {{{0, 0, 0}, {5, 5, 0}}, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}},
         0,
         0,
         0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ShadowRegions u = UnionRings(c.rings);
        ExpectConvention(u);
        ASSERT_EQ(u.regions.size(), c.regions);
        if (c.regions > 0) {
            EXPECT_EQ(u.regions[0].holes.size(), c.holes);
        }
        EXPECT_NEAR(ShadedArea(u), c.area, 1e-9);
    }
    const ShadowRegions frame = UnionRings(cases[2].rings);
    EXPECT_EQ(LocatePoint(frame, {15, 15, 0}), PointPlace::Outside);
    EXPECT_EQ(LocatePoint(frame, {5, 15, 0}), PointPlace::Inside);
    EXPECT_EQ(LocatePoint(frame, {10, 15, 0}), PointPlace::On);
    EXPECT_EQ(LocatePoint(frame, {0, 0, 0}), PointPlace::On);
    // The box's outer ring: four corners from the south-west one, counter-clockwise.
    const Ring &outer = frame.regions[0].outer;
    ASSERT_EQ(outer.size(), 4u);
    EXPECT_EQ(outer[0].x, 0.0);
    EXPECT_EQ(outer[0].y, 0.0);
    EXPECT_EQ(outer[1].x, 30.0);
    EXPECT_EQ(outer[1].y, 0.0);
}

}  // namespace
}  // namespace pimu::shadow
