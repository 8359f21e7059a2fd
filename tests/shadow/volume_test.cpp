// Raised volumes (pilotis, bridges), volumes straddling the plane and volumes under it, in every
// diagram, against independent ray casting: a point is shaded at an instant when the ray from it
// towards the sun passes through the box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "geometry/acquisition.h"
#include "geometry/building_model.h"
#include "shadow/exact_time.h"
#include "shadow/shadow_regions.h"
#include "shadow/tokutei.h"
#include "shadow/touji.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_raster.h"
#include "shadow/wall.h"
#include "solar/sun.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;

// A box in plan x0..x1, y0..y1, between bottom and top (mm).
struct Box {
    double x0, y0, x1, y1, bottom, top;
};

// The model the acquisition makes of one closed polyline at `elevation` with `thickness`.
geometry::BuildingModel Acquire(const Box &b, double elevation, double thickness) {
    geometry::EntityArrays a;
    geometry::TLwpEnt p;
    p.hand = "1A";
    p.code70 = 1;
    p.code38 = elevation;
    p.code39 = p.atumi = thickness;
    a.AryLwp.push_back(p);
    const double corners[4][2] = {{b.x0, b.y0}, {b.x1, b.y0}, {b.x1, b.y1}, {b.x0, b.y1}};
    for (const auto &q : corners) a.AryLwpEle.push_back({"1A", {q[0], q[1], elevation}, 0.0});
    return geometry::ConvertAcquisition(a).Model;
}

// Where shadows fall at t: the unit direction in plan and the horizontal run per unit of height.
struct Sun {
    bool up = false;
    double ux = 0.0, uy = 0.0, ratio = 0.0;
};
Sun SunAt(const solar::SolarState &s, double t) {
    const solar::SunResult pos = solar::SunPosition(s, t);
    Sun r;
    if (!pos.Ok || !(pos.Ratio > 0.0) || !std::isfinite(pos.Ratio)) return r;
    const double theta = solar::ShadowAngle(s, pos.Azimuth);
    return {true, std::cos(theta), std::sin(theta), pos.Ratio};
}

// Whether the ray from p towards the sun passes through the box: p - d u at the height
// p.z + d / ratio, for some run d >= 0.
bool RayHits(const Box &b, TAcadPoint p, const Sun &s) {
    if (!s.up) return false;
    double lo = std::max(0.0, (b.bottom - p.z) * s.ratio), hi = (b.top - p.z) * s.ratio;
    const auto slab = [&](double pc, double uc, double c0, double c1) {
        if (std::fabs(uc) < 1e-12) {
            if (pc < c0 || pc > c1) hi = -1.0;
            return;
        }
        double d0 = (pc - c0) / uc, d1 = (pc - c1) / uc;  // p - d u reaches c0, c1
        if (d0 > d1) std::swap(d0, d1);
        lo = std::max(lo, d0);
        hi = std::min(hi, d1);
    };
    slab(p.x, s.ux, b.x0, b.x1);
    slab(p.y, s.uy, b.y0, b.y1);
    return lo <= hi;
}

// Seconds shaded between start and end, every `step` seconds at the midpoints.
double RayHours(const Box &b, TAcadPoint p, const solar::SolarState &s, double start, double end,
                double step) {
    int shaded = 0;
    const int n = static_cast<int>(std::round((end - start) * 3600.0 / step));
    for (int i = 0; i < n; ++i)
        if (RayHits(b, p, SunAt(s, start + (i + 0.5) * step / 3600.0))) ++shaded;
    return shaded * step / 3600.0;
}

constexpr double kTwoPiForTest = 6.283185307179586;

const solar::SolarState kTokyo = solar::MakeSolarState(35.68, solar::kWinterDeclination, 90.0);
constexpr double kPlane = 4000.0;
// A deep block, 30 m east-west and 24 m north-south, so that its shadow sweeps less than its depth.
constexpr Box kPlan{20000, 20000, 50000, 44000, 0, 0};

struct Case {
    const char *name;
    double elevation, thickness;
    Box box;  // the solid the rays see
};
// The drawing, and the solid it stands for in each reading.
const Case kCases[] = {
    {"raised 9-18 m over open ground", 9000, 9000, {20000, 20000, 50000, 44000, 9000, 18000}},
    {"straddling the plane, 2-12 m", 2000, 10000, {20000, 20000, 50000, 44000, 2000, 12000}},
    {"wholly under the plane, 0-3.5 m", 0, 3500, {20000, 20000, 50000, 44000, 0, 3500}},
    {"drawn at 9 m without thickness: a roof on the ground",
     9000,
     0,
     {20000, 20000, 50000, 44000, 0, 9000}},
};

Box OnGround(Box b) {
    b.bottom = std::min(b.bottom, 0.0);
    return b;
}

// The time-of-day shadow is the sweep of the box from max(bottom, plane) to top: its area in
// closed form (the plan swept along the shadow) and, point by point, the rays.
TEST(RaisedVolumes, TimeOfDayShadowIsTheSweepSeenByRays) {
    for (const Case &c : kCases) {
        for (bool ground : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (ground ? ", every volume on the ground" : ""));
            geometry::BuildingModel model = Acquire(kPlan, c.elevation, c.thickness);
            if (ground) model = geometry::StandingOnGround(std::move(model));
            const Box b = ground ? OnGround(c.box) : c.box;
            for (double t : {9.0, 12.0, 14.5}) {
                SCOPED_TRACE("t " + std::to_string(t));
                const ShadowRegions shadow = ShadowRegionsAt(model.AryTatemono, kTokyo, t, kPlane);
                ASSERT_EQ(shadow.status, RegionStatus::Done);
                const Sun s = SunAt(kTokyo, t);
                const double w = b.x1 - b.x0, d = b.y1 - b.y0;
                const double run = std::max(0.0, b.top - std::max(b.bottom, kPlane)) * s.ratio;
                const double area = b.top > kPlane
                                        ? w * d + run * (w * std::fabs(s.uy) + d * std::fabs(s.ux))
                                        : 0.0;
                EXPECT_NEAR(ShadedArea(shadow), area, 1e-6 * (area + 1.0));
                int disagree = 0, shaded = 0;
                for (double x = 1000; x <= 100000; x += 1500)
                    for (double y = 0; y <= 110000; y += 1500) {
                        const PointPlace place = LocatePoint(shadow, {x, y, 0}, 1.0);
                        if (place == PointPlace::On) continue;
                        const bool ray = RayHits(b, {x, y, kPlane}, s);
                        shaded += ray;
                        disagree += (place == PointPlace::Inside) != ray;
                    }
                EXPECT_EQ(disagree, 0);
                EXPECT_EQ(shaded > 0, b.top > kPlane);
            }
        }
    }
}

// The isochrone counts of every cell against the rays at the same instants; the open ground
// under the raised block is lit part of the day, the block under the plane leaves no mark.
TEST(RaisedVolumes, IsochroneCountsAgreeWithRays) {
    ToujiInputs in;
    in.PlaneHeight = kPlane;
    in.Interval = EvaluationIntervalFor(3, false);  // 640 cells, 120 s
    in.Checked[1] = in.Checked[3] = in.Checked[5] = true;
    auto grid = std::make_unique<ShadowCountGrid>();
    for (const Case &c : kCases) {
        for (bool ground : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (ground ? ", every volume on the ground" : ""));
            geometry::BuildingModel model = Acquire(kPlan, c.elevation, c.thickness);
            if (ground) model = geometry::StandingOnGround(std::move(model));
            const Box b = ground ? OnGround(c.box) : c.box;
            const ToujiDiagram d = ComputeToujikan(model, kTokyo, in, *grid, NoProgress());
            if (!(b.top > kPlane)) {
                EXPECT_EQ(d.Status, ToujiStatus::NoExtent);
                continue;
            }
            ASSERT_EQ(d.Status, ToujiStatus::Done);
            // The counts as the diagram has them before its lines are traced.
            RasterGeometry raster;
            const PassSummary pass =
                CountFinePass(model.AryTatemono, kTokyo, d.Hani.Rect, kPlane,
                              in.Interval.RasterSize, in.Interval.StepMinutes(), in.Start, in.End,
                              *grid, NoProgress(), raster, 1, model.Volumes);
            CountFootprints(model.Volumes, kPlane, raster, pass.Counted, *grid);
            const int m = pass.Maximum;
            std::vector<Sun> suns;
            for (int i = 0; i < m; ++i)  // the middles of the steps
                suns.push_back(
                    SunAt(kTokyo, in.Start + in.Interval.StepMinutes() * (i + 0.5) / 60.0));
            int outside = 0, underBlock = -1;
            for (int r = 0; r < raster.N; r += 9)
                for (int col = 0; col < raster.N; col += 9) {
                    const TAcadPoint p = CellPoint(raster, r, col);
                    // The painting rounds to cells: a count lies between the rays' counts of
                    // the points a cell around the centre, give or take an instant or two where
                    // a shadow's edge runs along the cells.
                    int lo = std::numeric_limits<int>::max(), hi = 0;
                    for (int i = -1; i <= 1; ++i)
                        for (int j = -1; j <= 1; ++j) {
                            const TAcadPoint q{p.x + i * raster.Cell, p.y + j * raster.Cell,
                                               kPlane};
                            int rays = 0;
                            for (const Sun &s : suns) rays += RayHits(b, q, s);
                            lo = std::min(lo, rays);
                            hi = std::max(hi, rays);
                        }
                    const int counted = grid->At(r, col);
                    if (counted < lo - 2 || counted > hi + 2) {
                        ++outside;
                        ADD_FAILURE() << p.x << ", " << p.y << ": " << counted << " not in " << lo
                                      << ".." << hi;
                    }
                    if (std::fabs(p.x - 35000) < 5 * raster.Cell &&
                        std::fabs(p.y - 22000) < 5 * raster.Cell)
                        underBlock = counted;
                }
            EXPECT_EQ(outside, 0);
            // The south edge of the footprint: lit in the morning and the afternoon when raised.
            const bool raised = b.bottom > kPlane;
            EXPECT_EQ(underBlock < m - 10, raised) << underBlock;  // m: shaded all day
        }
    }
}

// Exact times (the regulation's) and the specific points' times against rays at 5 s.
TEST(RaisedVolumes, PointTimesAgreeWithRays) {
    const std::vector<TAcadPoint> points = {
        {35000, 22000, 0}, {35000, 40000, 0}, {25000, 50000, 0}, {45000, 60000, 0}};
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        const geometry::BuildingModel model = Acquire(kPlan, c.elevation, c.thickness);
        const ExactShadow exact(model.AryTatemono, kTokyo, kPlane, model.Volumes, 8.0, 16.0);
        TokuteiInputs in;
        in.PlaneHeight = kPlane;
        const TokuteiResult listed = GetTokuteiJikan(points, model, kTokyo, in);
        ASSERT_EQ(listed.Status, TokuteiStatus::Done);
        for (std::size_t i = 0; i < points.size(); ++i) {
            SCOPED_TRACE("point " + std::to_string(i));
            TAcadPoint p = points[i];
            p.z = kPlane;
            const double rays = RayHours(c.box, p, kTokyo, 8.0, 16.0, 5.0);
            EXPECT_NEAR(exact.ShadedHours(points[i]), rays, 2.0 / 3600.0);
            ASSERT_TRUE(listed.Points[i].TotalHours.has_value());
            EXPECT_NEAR(*listed.Points[i].TotalHours, rays, 2.0 / 60.0);
        }
    }
}

// A wall north of the raised block: its shadow is the rays', the underside included.
TEST(RaisedVolumes, WallShadowAgreesWithRays) {
    const Case &c = kCases[0];
    const geometry::BuildingModel model = Acquire(kPlan, c.elevation, c.thickness);
    geometry::TLineEnt picked;
    picked.st = {10000, 60000, 0};
    picked.ed = {60000, 60000, 0};
    const std::optional<WallLine> wall = MakeWallLine(picked, model);
    ASSERT_TRUE(wall.has_value());
    const double len = WallLength(*wall), ux = (wall->ed.x - wall->st.x) / len,
                 uy = (wall->ed.y - wall->st.y) / len;
    int compared = 0;
    for (double t : {9.5, 12.0, 14.0}) {
        SCOPED_TRACE("t " + std::to_string(t));
        const ShadowRegions shadow =
            WallShadowAt(model.AryTatemono, *wall, kTokyo, t, NoProgress(), model.Volumes);
        const Sun s = SunAt(kTokyo, t);
        for (double a = 250; a < len; a += 1000)
            for (double z = 250; z < WallHeight(*wall); z += 500) {
                const PointPlace place = LocatePoint(shadow, {a, z, 0}, 1.0);
                if (place == PointPlace::On) continue;
                const TAcadPoint p{wall->st.x + a * ux, wall->st.y + a * uy, z};
                EXPECT_EQ(place == PointPlace::Inside, RayHits(c.box, p, s)) << a << ", " << z;
                ++compared;
            }
    }
    EXPECT_GT(compared, 500);
}

// A round tower's shadow is the union of its circle and the circle's shadow joined by their
// tangents: every point within R of the segment between the two centres. Its outline never runs
// inside that and at most 10 mm outside it, for a small tower and a large one, with and without a
// thickness.
TEST(RoundVolumes, TowerShadowHoldsTheTrueOneWithin10mm) {
    struct Tower {
        geometry::TCircleEnt circle;
        double top;
    };
    const Tower towers[] = {
        {{{30000, 20000, 33000}, 4500, 0, {0, 0, 1}}, 33000},   // drawn at its height
        {{{30000, 20000, 0}, 3000, 24000, {0, 0, 1}}, 24000},   // a thickness from the ground
        {{{60000, 50000, 0}, 40000, 12000, {0, 0, 1}}, 12000},  // a wide round hall
    };
    for (const Tower &tower : towers) {
        SCOPED_TRACE("radius " + std::to_string(tower.circle.hankei));
        geometry::EntityArrays a;
        a.AryCircle.push_back(tower.circle);
        const geometry::BuildingModel model = geometry::ConvertAcquisition(a).Model;
        const double R = tower.circle.hankei;
        const TAcadPoint c{tower.circle.center.x, tower.circle.center.y, 0};
        for (double t : {8.5, 10.0, 12.0, 15.0}) {
            SCOPED_TRACE("t " + std::to_string(t));
            const ShadowRegions shadow = ShadowRegionsAt(model.AryTatemono, kTokyo, t, kPlane);
            ASSERT_EQ(shadow.regions.size(), 1u);
            const Sun s = SunAt(kTokyo, t);
            const double L = (tower.top - kPlane) * s.ratio;
            const TAcadPoint e{c.x + L * s.ux, c.y + L * s.uy, 0};
            // Distance in plan from the segment c..e.
            const auto reach = [&](TAcadPoint p) {
                const double k =
                    std::clamp(((p.x - c.x) * s.ux + (p.y - c.y) * s.uy) / L, 0.0, 1.0);
                return std::hypot(p.x - c.x - k * (e.x - c.x), p.y - c.y - k * (e.y - c.y));
            };
            const double tol = 2.0 * shadow.resolution;
            for (const TAcadPoint &p : shadow.regions[0].outer) {
                EXPECT_GE(reach(p), R - tol);
                EXPECT_LE(reach(p), R + 10.0 + tol);
            }
            // The true outline lies within the drawn one.
            for (int k = 0; k < 720; ++k) {
                const double phi = kTwoPiForTest * k / 720;
                for (const TAcadPoint &o : {c, e}) {
                    const TAcadPoint p{o.x + (R - tol) * std::cos(phi),
                                       o.y + (R - tol) * std::sin(phi), 0};
                    EXPECT_NE(LocatePoint(shadow, p, 0.0), PointPlace::Outside) << k;
                }
            }
            const double area = 3.14159265358979323846 * R * R + 2.0 * R * L;
            EXPECT_GE(ShadedArea(shadow), area * (1 - 1e-9));
            EXPECT_LE(ShadedArea(shadow), area + 10.0 * (2.0 * 3.15 * R + 2.0 * L));
        }
    }
}

}  // namespace
}  // namespace pimu::shadow
