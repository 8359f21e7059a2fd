// The shadow-regulation check: the zone table, the deemed outline of open sides, and the check
// itself against an independent computation (rays from points of the plane towards the sun,
// tested against the buildings' boxes in closed form) on a single box and an L-shaped block.
#include "regulation/regulation.h"
#include "shadow/exact_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace pimu::regulation {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLatitude = 35.68;  // degrees north
constexpr double kStep = 2.0;        // minutes

TLineEnt Seg(TAcadPoint a, TAcadPoint b) {
    TLineEnt e;
    e.st = a;
    e.ed = b;
    return e;
}

std::vector<TLineEnt> Closed(const std::vector<TAcadPoint> &pts) {
    std::vector<TLineEnt> edges;
    for (std::size_t i = 0; i < pts.size(); ++i)
        edges.push_back(Seg(pts[i], pts[(i + 1) % pts.size()]));
    return edges;
}

// A box standing on the ground, as the acquisition makes a closed polyline with a thickness.
struct Box {
    double x0, y0, x1, y1, height;
};

void AddPrism(std::vector<TLineEnt> &edges, const std::vector<TAcadPoint> &footprint, double h) {
    const std::size_t n = footprint.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint a = footprint[i], b = footprint[(i + 1) % n];
        edges.push_back(Seg({a.x, a.y, 0}, {b.x, b.y, 0}));
        edges.push_back(Seg({a.x, a.y, h}, {b.x, b.y, h}));
        edges.push_back(Seg({a.x, a.y, 0}, {a.x, a.y, h}));
    }
}

geometry::BuildingModel Model(const std::vector<std::vector<TAcadPoint>> &footprints, double h) {
    std::vector<TLineEnt> edges;
    for (const auto &f : footprints) AddPrism(edges, f, h);
    geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

// The sun at true solar time t on the winter solstice: a unit vector (east, north, up).
struct SunVector {
    double e, n, u;
};
SunVector Sun(double t) {
    const double phi = kLatitude * kPi / 180.0, delta = -23.45 * kPi / 180.0;
    const double h = (t - 12.0) * 15.0 * kPi / 180.0;
    return {-std::cos(delta) * std::sin(h),
            std::cos(phi) * std::sin(delta) - std::sin(phi) * std::cos(delta) * std::cos(h),
            std::sin(phi) * std::sin(delta) + std::cos(phi) * std::cos(delta) * std::cos(h)};
}

// Whether the ray from p (at the plane height) towards the sun meets the box (slab method).
bool RayHits(TAcadPoint p, double plane, const SunVector &s, const Box &b) {
    const double o[3] = {p.x, p.y, plane}, d[3] = {s.e, s.n, s.u};
    const double lo[3] = {b.x0, b.y0, 0.0}, hi[3] = {b.x1, b.y1, b.height};
    double t0 = 0.0, t1 = std::numeric_limits<double>::infinity();
    for (int k = 0; k < 3; ++k) {
        if (std::fabs(d[k]) < 1e-15) {
            if (o[k] < lo[k] || o[k] > hi[k]) return false;
            continue;
        }
        double a = (lo[k] - o[k]) / d[k], c = (hi[k] - o[k]) / d[k];
        if (a > c) std::swap(a, c);
        t0 = std::max(t0, a);
        t1 = std::min(t1, c);
    }
    return t0 <= t1;
}

// Shaded instants of a point at the documented instants (midpoints of the steps).
int RayCount(TAcadPoint p, const RegulationInputs &in, const std::vector<Box> &boxes) {
    const int k = static_cast<int>(std::lround((in.End - in.Start) * 60.0 / in.StepMinutes));
    int count = 0;
    for (int i = 0; i < k; ++i) {
        const SunVector s = Sun(in.Start + (i + 0.5) * in.StepMinutes / 60.0);
        if (s.u <= 0.0) continue;
        for (const Box &b : boxes)
            if (RayHits(p, in.PlaneHeight, s, b)) {
                ++count;
                break;
            }
    }
    return count;
}

// The line at distance d around a rectangle, in closed form: the sides moved out and quarter
// circles at the corners.
std::vector<TAcadPoint> RoundedRect(double x0, double y0, double x1, double y1, double d,
                                    double spacing) {
    std::vector<TAcadPoint> pts;
    auto straight = [&](TAcadPoint a, TAcadPoint b) {
        const int n = static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y) / spacing));
        for (int j = 0; j < n; ++j)
            pts.push_back({a.x + (b.x - a.x) * j / n, a.y + (b.y - a.y) * j / n, 0});
    };
    auto arc = [&](double cx, double cy, double a0) {
        const int n = static_cast<int>(std::ceil(d * kPi / 2.0 / spacing));
        for (int j = 0; j < n; ++j) {
            const double a = a0 + kPi / 2.0 * j / n;
            pts.push_back({cx + d * std::cos(a), cy + d * std::sin(a), 0});
        }
    };
    straight({x0, y0 - d}, {x1, y0 - d});
    arc(x1, y0, -kPi / 2.0);
    straight({x1 + d, y0}, {x1 + d, y1});
    arc(x1, y1, 0.0);
    straight({x1, y1 + d}, {x0, y1 + d});
    arc(x0, y1, kPi / 2.0);
    straight({x0 - d, y1}, {x0 - d, y0});
    arc(x0, y0, kPi);
    return pts;
}

// Distance from a rectangle (0 inside).
double RectDistance(TAcadPoint p, double x0, double y0, double x1, double y1) {
    const double dx = std::max({x0 - p.x, 0.0, p.x - x1});
    const double dy = std::max({y0 - p.y, 0.0, p.y - y1});
    return std::hypot(dx, dy);
}

RegulationInputs Inputs(double limit5, double limit10, double plane = 4000.0) {
    RegulationInputs in;
    in.PlaneHeight = plane;
    in.Limit5 = limit5;
    in.Limit10 = limit10;
    in.StepMinutes = kStep;
    return in;
}

const solar::SolarState kSun = solar::MakeSolarState(kLatitude, solar::kWinterDeclination);

// --- the zone table --------------------------------------------------------------------------

TEST(RegulationZones, RowsCarryTheLawsPlanesLimitsAndHours) {
    struct Row {
        const char *name;
        double plane, limit5, limit10;
        bool northern;
    };
    for (const Row &row : {Row{"1-1", 1500, 3, 2, false}, Row{"1-3", 1500, 5, 3, false},
                           Row{"2-2-6.5", 6500, 4, 2.5, false}, Row{"3-1-4", 4000, 4, 2.5, false},
                           Row{"3-2-6.5", 6500, 5, 3, false}, Row{"4ro-1", 4000, 3, 2, false},
                           Row{"1-1-n", 1500, 2, 1.5, true}, Row{"3-2-4-n", 4000, 4, 2.5, true}}) {
        SCOPED_TRACE(row.name);
        const ZoneRule *rule = FindZoneRule(row.name);
        ASSERT_NE(rule, nullptr);
        EXPECT_EQ(rule->PlaneHeight, row.plane);
        EXPECT_EQ(rule->Limit5, row.limit5);
        EXPECT_EQ(rule->Limit10, row.limit10);
        const RegulationInputs in = InputsForZone(*rule);
        EXPECT_EQ(in.Start, row.northern ? 9.0 : 8.0);
        EXPECT_EQ(in.End, row.northern ? 15.0 : 16.0);
        EXPECT_EQ(CheckRegulationInputs(in), RegulationCheck::Ok);
    }
    EXPECT_EQ(FindZoneRule("9-9"), nullptr);
    for (const ZoneRule &rule : ZoneRules()) EXPECT_GT(rule.Limit5, rule.Limit10) << rule.Name;
}

TEST(RegulationZones, InstantsAreTheStepMidpointsAndThresholdsRoundAtLeast) {
    RegulationInputs in = Inputs(3, 2);
    in.StepMinutes = 1.0;
    EXPECT_EQ(RegulationInstantCount(in), 480);
    EXPECT_DOUBLE_EQ(RegulationInstant(in, 0), 8.0 + 0.5 / 60.0);
    EXPECT_DOUBLE_EQ(RegulationInstant(in, 479), 16.0 - 0.5 / 60.0);
    EXPECT_EQ(RegulationCount(2.5, 1.0), 150);
    EXPECT_EQ(RegulationCount(1.5, 0.1), 900);  // 1.5 * 60 / 0.1 is a hair above 900
    EXPECT_EQ(RegulationCount(2.5, 2.0), 75);
    EXPECT_EQ(RegulationCount(2.0, 7.0), 18);  // 17.14 instants: 18 reach two hours
}

// --- the deemed outline ----------------------------------------------------------------------

std::vector<TAcadPoint> Corners(const std::vector<TLineEnt> &outline) {
    std::vector<TAcadPoint> pts;
    for (const TLineEnt &e : outline) pts.push_back({e.st.x, e.st.y, 0});
    return pts;
}

void ExpectCorners(const std::vector<TLineEnt> &outline, const std::vector<TAcadPoint> &want) {
    ASSERT_EQ(outline.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(outline[i].st.x, want[i].x, 1e-6) << i;
        EXPECT_NEAR(outline[i].st.y, want[i].y, 1e-6) << i;
        EXPECT_EQ(outline[i].ed, outline[(i + 1) % want.size()].st);
    }
}

TEST(RegulationDeemed, OpenSidesMoveOutHalfTheWidthOrToFiveMetresShortOfTheFarSide) {
    const std::vector<TLineEnt> rect =
        Closed({{0, 0, 0}, {20000, 0, 0}, {20000, 15000, 0}, {0, 15000, 0}});
    const std::vector<OpenSide> road8{{{10000, -500, 0}, 8000}};
    ExpectCorners(DeemOutline(rect, road8),
                  {{0, -4000}, {20000, -4000}, {20000, 15000}, {0, 15000}});
    const std::vector<OpenSide> road16{{{10000, 100, 0}, 16000}};
    ExpectCorners(DeemOutline(rect, road16),
                  {{0, -11000}, {20000, -11000}, {20000, 15000}, {0, 15000}});
    // Exactly 10 m is still halved; two sides at once; the wider of two on one side.
    const std::vector<OpenSide> two{
        {{20500, 7000, 0}, 10000}, {{10000, 15100, 0}, 6000}, {{10000, 15200, 0}, 4000}};
    ExpectCorners(DeemOutline(rect, two), {{0, 0}, {25000, 0}, {25000, 18000}, {0, 18000}});
    ExpectCorners(DeemOutline(rect, {}), Corners(rect));
}

TEST(RegulationDeemed, NeighboursAreCutAtAConcaveCornerAndAFoldIsRefused) {
    // An L-shaped site; the top of its eastern arm faces a road 4 m wide.
    const std::vector<TLineEnt> site = Closed({{0, 0, 0},
                                               {20000, 0, 0},
                                               {20000, 10000, 0},
                                               {10000, 10000, 0},
                                               {10000, 20000, 0},
                                               {0, 20000, 0}});
    const std::vector<OpenSide> road{{{15000, 10200, 0}, 4000}};
    ExpectCorners(DeemOutline(site, road),
                  {{0, 0}, {20000, 0}, {20000, 12000}, {10000, 12000}, {10000, 20000}, {0, 20000}});
    // A river 30 m wide moves the side 25 m, past the end of the western arm's side.
    const std::vector<OpenSide> river{{{15000, 10200, 0}, 30000}};
    EXPECT_TRUE(DeemOutline(site, river).empty());
    RegulationInputs in = Inputs(3, 2);
    in.OpenSides = river;
    const RegulationResult r = CheckRegulation(
        Model({{{2000, 2000, 0}, {8000, 2000, 0}, {8000, 8000, 0}}}, 10000), kSun, site, in);
    EXPECT_EQ(r.Status, RegulationStatus::Invalid);
    EXPECT_EQ(r.Check, RegulationCheck::BadOpenSide);
}

// --- the check against rays ------------------------------------------------------------------

struct Case {
    const char *name;
    std::vector<std::vector<TAcadPoint>> footprints;
    std::vector<Box> boxes;  // the same volume for the rays
    double height;
};

// A 30 x 30 m site with a 10 x 12 m box 20 m high; a 40 x 30 m site with an L-shaped block
// 16 m high 3 m from its northern boundary.
std::vector<Case> Cases() {
    return {
        {"box",
         {{{10000, 12000, 0}, {20000, 12000, 0}, {20000, 24000, 0}, {10000, 24000, 0}}},
         {{10000, 12000, 20000, 24000, 20000}},
         20000},
        {"L-block",
         {{{8000, 14000, 0},
           {32000, 14000, 0},
           {32000, 20000, 0},
           {16000, 20000, 0},
           {16000, 27000, 0},
           {8000, 27000, 0}}},
         {{8000, 14000, 32000, 20000, 16000}, {8000, 20000, 16000, 27000, 16000}},
         16000},
    };
}

struct SiteRect {
    double x1, y1;
};
SiteRect SiteOf(const Case &c) {
    return c.boxes.size() == 1 ? SiteRect{30000, 30000} : SiteRect{40000, 30000};
}

// The largest ray count on the line at distance d, sampled every 50 mm.
int RayMaxOnLine(const Case &c, const RegulationInputs &in, double d) {
    const SiteRect s = SiteOf(c);
    int best = 0;
    for (const TAcadPoint &p : RoundedRect(0, 0, s.x1, s.y1, d, 50.0))
        best = std::max(best, RayCount(p, in, c.boxes));
    return best;
}

RegulationResult CheckCase(const Case &c, const RegulationInputs &in) {
    const SiteRect s = SiteOf(c);
    return CheckRegulation(Model(c.footprints, c.height), kSun,
                           Closed({{0, 0, 0}, {s.x1, 0, 0}, {s.x1, s.y1, 0}, {0, s.y1, 0}}), in);
}

TEST(RegulationRun, LargestTimeOnEachLineAgreesWithRaysAndTheVerdictFlipsAStepAway) {
    const double step = kStep / 60.0;
    for (const Case &c : Cases()) {
        SCOPED_TRACE(c.name);
        const RegulationResult found = CheckCase(c, Inputs(7.9, 7.9));
        ASSERT_EQ(found.Status, RegulationStatus::Done);
        EXPECT_EQ(found.Instants, 240);
        EXPECT_EQ(found.NoSunInstants, 0);
        std::array<double, 2> max{};
        for (int k = 0; k < 2; ++k) {
            const LimitResult &limit = found.Limits[static_cast<std::size_t>(k)];
            const int rays = RayMaxOnLine(c, found.Inputs, limit.Distance);
            SCOPED_TRACE(limit.Distance);
            EXPECT_GT(rays, 30);
            EXPECT_NEAR(limit.MaxHoursOnLine, rays * step, step + 1e-9);
            // The point it names has that time by the rays too.
            EXPECT_NEAR(RayCount(limit.MaxHoursAt, found.Inputs, c.boxes) * step,
                        limit.MaxHoursOnLine, step + 1e-9);
            max[static_cast<std::size_t>(k)] = limit.MaxHoursOnLine;
        }
        EXPECT_GT(max[0], max[1]);

        // A step above the maximum complies, exactly the maximum and a step below do not.
        const RegulationResult above = CheckCase(c, Inputs(max[0] + step, max[1] + step));
        ASSERT_EQ(above.Status, RegulationStatus::Done);
        for (const LimitResult &limit : above.Limits) {
            EXPECT_TRUE(limit.Complies) << limit.Distance;
            EXPECT_TRUE(limit.Crossings.empty());
            EXPECT_EQ(limit.CrossingArea, 0.0);
            ASSERT_TRUE(limit.Margin.has_value());
            EXPECT_GE(*limit.Margin, 0.0);
            EXPECT_LT(*limit.Margin, 1000.0);  // the region reaches close to its line
            EXPECT_FALSE(limit.Regions.empty());
        }
        EXPECT_TRUE(above.Complies());
        for (double below : {0.0, step}) {
            const RegulationResult r = CheckCase(c, Inputs(max[0] - below, max[1] - below));
            ASSERT_EQ(r.Status, RegulationStatus::Done);
            EXPECT_FALSE(r.Limits[0].Complies);
            EXPECT_FALSE(r.Limits[1].Complies);
            EXPECT_FALSE(r.Complies());
            EXPECT_LE(*r.Limits[0].Margin, 0.0);
        }
    }
}

TEST(RegulationRun, ACrossingDesignGivesTheAreaAndReachOfTheRaysAndACompliantOneAMargin) {
    const Case c = Cases()[0];
    const SiteRect s = SiteOf(c);
    const RegulationInputs in = Inputs(2.0, 1.0);
    const RegulationResult r = CheckCase(c, in);
    ASSERT_EQ(r.Status, RegulationStatus::Done);
    // Brute force: points every 250 mm, beyond each line, shaded at least the limit.
    const double grid = 250.0;
    for (int k = 0; k < 2; ++k) {
        const LimitResult &limit = r.Limits[static_cast<std::size_t>(k)];
        SCOPED_TRACE(limit.Distance);
        const int threshold = RegulationCount(limit.LimitHours, kStep);
        double area = 0.0, reach = 0.0;
        for (double x = -30000; x <= 60000; x += grid)
            for (double y = 0; y <= 90000; y += grid) {
                const double beyond = RectDistance({x, y, 0}, 0, 0, s.x1, s.y1) - limit.Distance;
                if (beyond < 0.0) continue;
                if (RayCount({x, y, 0}, in, c.boxes) < threshold) continue;
                area += grid * grid;
                reach = std::max(reach, beyond);
            }
        ASSERT_GT(area, 20e6);  // the case does cross, by tens of square metres
        EXPECT_FALSE(limit.Complies);
        EXPECT_FALSE(limit.Crossings.empty());
        EXPECT_NEAR(limit.CrossingArea, area, 0.05 * area);
        EXPECT_NEAR(limit.MaxBeyond, reach, grid + 2.0 * r.Cell);
        ASSERT_TRUE(limit.Margin.has_value());
        EXPECT_DOUBLE_EQ(*limit.Margin, -limit.MaxBeyond);
        // The outlines enclose about the area counted.
        double traced = 0.0;
        for (const std::vector<TAcadPoint> &ring : limit.Crossings) {
            double a = 0.0;
            for (std::size_t i = 0; i < ring.size(); ++i) {
                const TAcadPoint p = ring[i], q = ring[(i + 1) % ring.size()];
                a += (p.x * q.y - q.x * p.y) / 2.0;
            }
            traced += std::fabs(a);
        }
        EXPECT_NEAR(traced, area, 0.1 * area);
    }

    // A design whose regions stay inside: the margin is the distance of the nearest point
    // shaded that long, by the rays.
    const RegulationInputs loose = Inputs(5.0, 3.5);
    const RegulationResult ok = CheckCase(c, loose);
    ASSERT_EQ(ok.Status, RegulationStatus::Done);
    EXPECT_TRUE(ok.Complies());
    for (int k = 0; k < 2; ++k) {
        const LimitResult &limit = ok.Limits[static_cast<std::size_t>(k)];
        SCOPED_TRACE(limit.Distance);
        const int threshold = RegulationCount(limit.LimitHours, kStep);
        double margin = std::numeric_limits<double>::infinity();
        for (double x = -10000; x <= 40000; x += grid)
            for (double y = 0; y <= 50000; y += grid) {
                const double beyond = RectDistance({x, y, 0}, 0, 0, s.x1, s.y1) - limit.Distance;
                if (beyond >= 0.0 || beyond < -limit.Distance) continue;
                if (RayCount({x, y, 0}, loose, c.boxes) >= threshold)
                    margin = std::min(margin, -beyond);
            }
        ASSERT_TRUE(std::isfinite(margin));
        ASSERT_TRUE(limit.Margin.has_value());
        EXPECT_GT(*limit.Margin, 0.0);
        EXPECT_NEAR(*limit.Margin, margin, grid + 2.0 * ok.Cell);
    }
}

TEST(RegulationRun, TheDayIsTheWinterSolsticeInTrueSolarTimeAndTheNorthUsesNineToThree) {
    const Case c = Cases()[0];
    const RegulationInputs in = Inputs(3.0, 2.0);
    const RegulationResult winter = CheckCase(c, in);
    solar::StandardTime std;
    std.UseStdTime = true;
    std.Longitude = 139.7;
    const RegulationResult other =
        CheckRegulation(Model(c.footprints, c.height),
                        solar::MakeSolarState(kLatitude, solar::kSummerDeclination, 90.0, std),
                        Closed({{0, 0, 0}, {30000, 0, 0}, {30000, 30000, 0}, {0, 30000, 0}}), in);
    ASSERT_EQ(other.Status, RegulationStatus::Done);
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(other.Limits[static_cast<std::size_t>(k)].MaxHoursOnLine,
                  winter.Limits[static_cast<std::size_t>(k)].MaxHoursOnLine);

    RegulationInputs north = InputsForZone(*FindZoneRule("2-1-4-n"));
    north.StepMinutes = kStep;
    const RegulationResult r = CheckCase(c, north);
    ASSERT_EQ(r.Status, RegulationStatus::Done);
    EXPECT_EQ(r.Instants, 180);
    for (const LimitResult &limit : r.Limits)
        EXPECT_NEAR(limit.MaxHoursOnLine, RayMaxOnLine(c, north, limit.Distance) * kStep / 60.0,
                    kStep / 60.0 + 1e-9);
}

// --- a line near its limit, judged to the second ----------------------------------------------

// The sun in drawing axes (x, y, up) at latitude lat and true north at `north` degrees from +x.
SunVector SunIn(double lat, double north, double t) {
    const double phi = lat * kPi / 180.0, delta = -23.45 * kPi / 180.0;
    const double h = (t - 12.0) * 15.0 * kPi / 180.0;
    const double e = -std::cos(delta) * std::sin(h);
    const double n =
        std::cos(phi) * std::sin(delta) - std::sin(phi) * std::cos(delta) * std::cos(h);
    const double u =
        std::sin(phi) * std::sin(delta) + std::cos(phi) * std::cos(delta) * std::cos(h);
    const double a = north * kPi / 180.0;
    return {n * std::cos(a) + e * std::sin(a), n * std::sin(a) - e * std::cos(a), u};
}

// The shaded hours of p by rays: every `seconds` (20 s), each change placed by bisection to 10 ms.
double RayHours(TAcadPoint p, double plane, const std::vector<Box> &boxes, double lat, double north,
                double start, double end, double seconds = 20.0) {
    const auto shaded = [&](double t) {
        const SunVector s = SunIn(lat, north, t);
        if (s.u <= 0.0) return false;
        for (const Box &b : boxes)
            if (RayHits(p, plane, s, b)) return true;
        return false;
    };
    const double step = seconds / 3600.0;
    const int n = static_cast<int>(std::lround((end - start) / step));
    double hours = 0.0;
    bool was = shaded(start);
    for (int k = 1; k <= n; ++k) {
        const double t0 = start + (k - 1) * step, t1 = k == n ? end : start + k * step;
        const bool is = shaded(t1);
        if (is != was) {
            double lo = t0, hi = t1;
            while (hi - lo > 0.01 / 3600.0) {
                const double mid = (lo + hi) / 2.0;
                (shaded(mid) == was ? lo : hi) = mid;
            }
            hours += was ? lo - t0 : t1 - lo;
        } else if (is) {
            hours += t1 - t0;
        }
        was = is;
    }
    return hours;
}

// Exact times do not depend on a sampling step: two poles 150 mm square and 45 m tall, 100 mm
// apart, seen from 49 m away, shade a point for 57 s each with a lit gap of 38 s between; a
// point 2 m from them is shaded by each for a quarter of an hour. Each agrees with rays taken
// every second.
TEST(ExactTimes, ShadowsAndLitGapsShorterThanAMinuteArePlaced) {
    const double lat = 35.68, north = 90.0, plane = 4000.0;
    const std::vector<Box> poles{{0, 0, 150, 150, 45000}, {250, -250, 400, -100, 45000}};
    std::vector<TLineEnt> edges;
    for (const Box &b : poles)
        AddPrism(edges, {{b.x0, b.y0, 0}, {b.x1, b.y0, 0}, {b.x1, b.y1, 0}, {b.x0, b.y1, 0}},
                 b.height);
    geometry::BuildingModel model;
    model.SetEdges(edges);
    const solar::SolarState sun = solar::MakeSolarState(lat, solar::kWinterDeclination, north);
    const shadow::ExactShadow exact(model.AryTatemono, sun, plane, model.Volumes, 8.0, 16.0);
    for (const TAcadPoint p : {TAcadPoint{20000, 45000, 0}, TAcadPoint{75, 2000, 0}}) {
        SCOPED_TRACE(std::to_string(p.x) + ", " + std::to_string(p.y));
        const double rays = RayHours(p, plane, poles, lat, north, 8.0, 16.0, 1.0);
        EXPECT_GT(rays, 0.0);
        EXPECT_NEAR(exact.ShadedHours(p), rays, 1.0 / 3600.0);
    }
}

TEST(RegulationRun, ALineNearItsLimitIsJudgedToTheSecondWhateverTheStepOrTheOtherLimit) {
    // An L-shaped site at 34 degrees 30 minutes north, north 75 degrees from the x axis, with a
    // 20 m block in its western arm. The 5 m line's longest shadow is a few tens of seconds
    // under 3 hours, at the line's inner corner (23, 23) m.
    const double lat = 34.5, north = 75.0;
    const std::vector<Box> boxes{{6000, 6000, 16400, 14000, 20000}};
    const geometry::BuildingModel model =
        Model({{{6000, 6000, 0}, {16400, 6000, 0}, {16400, 14000, 0}, {6000, 14000, 0}}}, 20000);
    const solar::SolarState sun = solar::MakeSolarState(lat, solar::kWinterDeclination, north);
    const std::vector<TLineEnt> site = Closed({{0, 0, 0},
                                               {30000, 0, 0},
                                               {30000, 18000, 0},
                                               {18000, 18000, 0},
                                               {18000, 30000, 0},
                                               {0, 30000, 0}});
    const auto check = [&](double step, double limit5, double limit10) {
        RegulationInputs in = InputsForZone(*FindZoneRule("2-1-4"));
        in.StepMinutes = step;
        in.Limit5 = limit5;
        in.Limit10 = limit10;
        RegulationResult r = CheckRegulation(model, sun, site, in);
        EXPECT_EQ(r.Status, RegulationStatus::Done);
        return r;
    };
    const RegulationResult zone = check(1.0, 3.0, 2.0);
    const LimitResult &line = zone.Limits[0];

    // The rays: the line's longest time, on both sides of its corner every 50 mm.
    const auto rays = [&](TAcadPoint p) { return RayHours(p, 4000.0, boxes, lat, north, 8, 16); };
    double rayMax = 0.0;
    for (int j = -60; j <= 60; ++j) {
        rayMax = std::max(
            rayMax, rays({23000.0 + 50.0 * std::max(j, 0), 23000.0 + 50.0 * std::max(-j, 0), 0}));
    }
    EXPECT_GT(rayMax, 3.0 - 60.0 / 3600.0);
    EXPECT_LT(rayMax, 3.0);
    EXPECT_NEAR(line.MaxHoursOnLine, rayMax, 1.0 / 3600.0);
    EXPECT_NEAR(rays(line.MaxHoursAt), line.MaxHoursOnLine, 1.0 / 3600.0);
    EXPECT_TRUE(line.Complies);
    EXPECT_EQ(line.CrossingArea, 0.0);

    // The margin: the nearest point of the ground shaded 3 hours, by rays along directions from
    // the corner every 3 degrees into the ground inside the line (the time rises towards the
    // block), each boundary placed to a millimetre. The line near its corner is the two rays
    // from (23, 23) m to the east and to the north.
    const auto toLine = [](TAcadPoint q) {
        const double dx = q.x - 23000.0, dy = q.y - 23000.0;
        const double east = dx >= 0.0 ? std::fabs(dy) : std::hypot(dx, dy);
        const double north = dy >= 0.0 ? std::fabs(dx) : std::hypot(dx, dy);
        return std::min(east, north);
    };
    double rayMargin = std::numeric_limits<double>::infinity();
    for (int deg = 93; deg <= 357; deg += 3) {
        const double a = deg * kPi / 180.0;
        const auto along = [&](double r) {
            return TAcadPoint{23000.0 + r * std::cos(a), 23000.0 + r * std::sin(a), 0};
        };
        double lo = 0.0, hi = 800.0;
        if (rays(along(hi)) < 3.0) continue;
        while (hi - lo > 1.0) {
            const double mid = (lo + hi) / 2.0;
            (rays(along(mid)) >= 3.0 ? hi : lo) = mid;
        }
        rayMargin = std::min(rayMargin, toLine(along(hi)));
    }
    ASSERT_TRUE(line.Margin.has_value());
    EXPECT_NEAR(*line.Margin, rayMargin, 20.0);

    // The same figures at a coarse step with another limit beyond the 10 m line.
    const RegulationResult other = check(5.0, 3.0, 3.0);
    EXPECT_EQ(other.Limits[0].MaxHoursOnLine, line.MaxHoursOnLine);
    EXPECT_TRUE(other.Limits[0].Complies);
    ASSERT_TRUE(other.Limits[0].Margin.has_value());
    EXPECT_NEAR(*other.Limits[0].Margin, rayMargin, 20.0);

    // A limit equal to the longest time is reached: the line does not comply.
    const RegulationResult at = check(2.0, line.MaxHoursOnLine, 2.0);
    EXPECT_FALSE(at.Limits[0].Complies);
    EXPECT_EQ(at.Limits[0].MaxHoursOnLine, line.MaxHoursOnLine);
}

// --- stops and refusals ----------------------------------------------------------------------

class StopAfter : public Progress {
public:
    explicit StopAfter(int calls) : left_(calls) {}
    bool KeepRunning() override { return --left_ > 0; }

private:
    int left_;
};

TEST(RegulationRun, AStopInAnyPhaseJudgesNothing) {
    const Case c = Cases()[0];
    const geometry::BuildingModel model = Model(c.footprints, c.height);
    const std::vector<TLineEnt> site =
        Closed({{0, 0, 0}, {30000, 0, 0}, {30000, 30000, 0}, {0, 30000, 0}});
    // Count the questions and phases of a whole run, then stop at points spread over it.
    class Counting : public Progress {
    public:
        int asked = 0, phases = 0;
        bool KeepRunning() override { return ++asked > 0; }
        void Start(int) override { ++phases; }
    } counting;
    ASSERT_EQ(CheckRegulation(model, kSun, site, Inputs(3, 2), counting).Status,
              RegulationStatus::Done);
    EXPECT_GE(counting.phases, 4);
    const int total = counting.asked;
    ASSERT_GT(total, 500);
    for (int at : {1, total / 2, total - 1}) {
        SCOPED_TRACE(at);
        StopAfter stop(at);
        const RegulationResult r = CheckRegulation(model, kSun, site, Inputs(3, 2), stop);
        EXPECT_EQ(r.Status, RegulationStatus::Stopped);
        for (const LimitResult &limit : r.Limits) {
            EXPECT_TRUE(limit.Regions.empty());
            EXPECT_TRUE(limit.Crossings.empty());
            EXPECT_FALSE(limit.Margin.has_value());
            EXPECT_EQ(limit.MaxHoursOnLine, 0.0);
        }
    }
}

TEST(RegulationRun, BadInputsAndMissingModelOrSiteAreRefused) {
    struct Bad {
        const char *what;
        RegulationInputs in;
        RegulationCheck check;
    };
    auto with = [](auto change) {
        RegulationInputs in = Inputs(3, 2);
        change(in);
        return in;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Bad &bad : {
             Bad{"limit 0", with([](RegulationInputs &in) { in.Limit10 = 0; }),
                 RegulationCheck::BadLimits},
             Bad{"limit past the hours", with([](RegulationInputs &in) { in.Limit5 = 8.5; }),
                 RegulationCheck::BadLimits},
             Bad{"limit NaN", with([nan](RegulationInputs &in) { in.Limit5 = nan; }),
                 RegulationCheck::BadLimits},
             Bad{"plane below", with([](RegulationInputs &in) { in.PlaneHeight = -1; }),
                 RegulationCheck::BadPlaneHeight},
             Bad{"start after end", with([](RegulationInputs &in) { in.Start = 16.5; }),
                 RegulationCheck::BadHours},
             Bad{"before sunrise hours", with([](RegulationInputs &in) { in.Start = 6; }),
                 RegulationCheck::BadHours},
             Bad{"step 0", with([](RegulationInputs &in) { in.StepMinutes = 0; }),
                 RegulationCheck::BadStep},
             Bad{"too many instants", with([](RegulationInputs &in) { in.StepMinutes = 0.001; }),
                 RegulationCheck::BadStep},
             Bad{"road width 0", with([](RegulationInputs &in) {
                     in.OpenSides = {{{0, 0, 0}, 0.0}};
                 }),
                 RegulationCheck::BadOpenSide},
         }) {
        SCOPED_TRACE(bad.what);
        EXPECT_EQ(CheckRegulationInputs(bad.in), bad.check);
        const RegulationResult r = CheckCase(Cases()[0], bad.in);
        EXPECT_EQ(r.Status, RegulationStatus::Invalid);
        EXPECT_EQ(r.Check, bad.check);
    }
    const std::vector<TLineEnt> site =
        Closed({{0, 0, 0}, {30000, 0, 0}, {30000, 30000, 0}, {0, 30000, 0}});
    EXPECT_EQ(CheckRegulation(geometry::BuildingModel{}, kSun, site, Inputs(3, 2)).Status,
              RegulationStatus::NoModel);
    const Case c = Cases()[0];
    std::vector<TLineEnt> open = site;
    open.pop_back();
    EXPECT_EQ(CheckRegulation(Model(c.footprints, c.height), kSun, open, Inputs(3, 2)).Status,
              RegulationStatus::SiteNotClosed);
}

// A town block of 200 buildings from 8 to 30 m on a 160 x 120 m site. The point the check names
// as each line's longest shaded has the time it shows, to the second, by the rays; and no point
// of the line's northern side (every 4 m) is shaded longer. Shadows pass the line one after
// another with lit gaps of seconds between them, which sampling would fill (rays every 20 s
// overstate the 10 m line by 15 s at x = 76 m).
TEST(RegulationRun, TwoHundredBlocksAgreeWithRaysToTheSecond) {
    const double lat = 35.68, north = 90.0;
    std::vector<Box> boxes;
    std::vector<TLineEnt> edges;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 10; ++j) {
            const double x0 = 4000.0 + 7800.0 * i, y0 = 4000.0 + 11500.0 * j;
            const double h = 8000.0 + 1000.0 * ((i * 7 + j * 13) % 23);
            boxes.push_back({x0, y0, x0 + 5000.0, y0 + 7000.0, h});
            AddPrism(edges,
                     {{x0, y0, 0},
                      {x0 + 5000.0, y0, 0},
                      {x0 + 5000.0, y0 + 7000.0, 0},
                      {x0, y0 + 7000.0, 0}},
                     h);
        }
    geometry::BuildingModel model;
    model.SetEdges(edges);
    const solar::SolarState sun = solar::MakeSolarState(lat, solar::kWinterDeclination, north);
    const std::vector<TLineEnt> site =
        Closed({{0, 0, 0}, {160000, 0, 0}, {160000, 120000, 0}, {0, 120000, 0}});
    const RegulationResult r = CheckRegulation(model, sun, site, Inputs(5.0, 3.0));
    ASSERT_EQ(r.Status, RegulationStatus::Done);
    // Rays every 20 s fill lit gaps shorter than that: the points within a minute of the
    // longest are taken again every second.
    const auto rays = [&](TAcadPoint p, double seconds) {
        return RayHours(p, 4000.0, boxes, lat, north, 8, 16, seconds);
    };
    for (const LimitResult &line : r.Limits) {
        SCOPED_TRACE(line.Distance);
        std::vector<std::pair<double, TAcadPoint>> coarse;
        double coarseMax = 0.0;
        for (double x = 0.0; x <= 160000.0; x += 4000.0) {
            const TAcadPoint p{x, 120000.0 + line.Distance, 0};
            coarse.push_back({rays(p, 20.0), p});
            coarseMax = std::max(coarseMax, coarse.back().first);
        }
        double rayMax = 0.0;
        for (const auto &[hours, p] : coarse)
            if (hours >= coarseMax - 1.0 / 60.0) rayMax = std::max(rayMax, rays(p, 1.0));
        EXPECT_GT(rayMax, 1.0);
        EXPECT_GE(line.MaxHoursOnLine, rayMax - 1.0 / 3600.0);
        EXPECT_NEAR(rays(line.MaxHoursAt, 1.0), line.MaxHoursOnLine, 1.0 / 3600.0);
    }
}

}  // namespace
}  // namespace pimu::regulation
