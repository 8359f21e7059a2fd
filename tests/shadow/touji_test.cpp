// The isochronal diagram as one computation: its input checks, the phases its progress sees,
// and how a stop and an empty extent end it.
#include "shadow/touji.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "geometry/outline_test_util.h"
#include "shadow/jikoku.h"
#include "shadow/tokutei.h"

namespace pimu::shadow {
namespace {

ToujiInputs Inputs(double start, double end, std::vector<int> checked) {
    ToujiInputs in;
    in.Start = start;
    in.End = end;
    in.Interval = EvaluationIntervalFor(3, false);  // 640 cells, 120 s
    for (int i : checked) in.Checked[static_cast<std::size_t>(i)] = true;
    return in;
}

TEST(ToujiInputs, ChecksBeforeAnythingIsCounted) {
    struct Case {
        ToujiInputs in;
        ToujiCheck check;
    } cases[] = {
        {Inputs(8, 16, {0}), ToujiCheck::Ok},
        {Inputs(8, 8, {0}), ToujiCheck::StartNotBeforeEnd},
        {Inputs(12, 10, {0}), ToujiCheck::StartNotBeforeEnd},
        {Inputs(7, 16, {0}), ToujiCheck::OutsideSunHours},
        {Inputs(8, 17, {0}), ToujiCheck::OutsideSunHours},
        {Inputs(8, 16, {}), ToujiCheck::NothingChecked},
    };
    auto grid = std::make_unique<ShadowCountGrid>();
    for (const Case &c : cases) {
        EXPECT_EQ(CheckToujiInputs(c.in), c.check);
        const ToujiDiagram d =
            ComputeToujikan(geometry::BuildingModel{}, solar::MakeSolarState(35.0, -0.4), c.in,
                            *grid, NoProgress());
        EXPECT_EQ(d.Status,
                  c.check == ToujiCheck::Ok ? ToujiStatus::NoExtent : ToujiStatus::Invalid);
        EXPECT_EQ(d.Check, c.check);
    }
    EXPECT_EQ(FirstCheckedHour(Inputs(8, 16, {5, 2})), 2);
    EXPECT_EQ(FirstCheckedHour(Inputs(8, 16, {})), -1);
}

// Counts the phases and answers "stop" at the n-th KeepRunning.
struct Phases : Progress {
    std::vector<int> maxima;
    int calls = 0;
    int stopAt = -1;
    void Start(int m) override { maxima.push_back(m); }
    bool KeepRunning() override { return ++calls != stopAt && (stopAt < 0 || calls < stopAt); }
};

TEST(ComputeToujikan, PhasesAndStops) {
    std::vector<geometry::TLineEnt> edges;
    geometry::testing::AddBox(edges, 0, 0, 10000, 10000, 20000);
    geometry::BuildingModel model;
    model.SetEdges(edges);
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination);
    auto grid = std::make_unique<ShadowCountGrid>();

    Phases all;
    const ToujiDiagram done = ComputeToujikan(model, sun, Inputs(8, 16, {1}), *grid, all);
    EXPECT_EQ(done.Status, ToujiStatus::Done);
    // The extent pass (2-minute steps), the fine pass (120 s), the 14 hour items.
    EXPECT_EQ(all.maxima, (std::vector<int>{240, 240, kHourItemCount}));
    ASSERT_FALSE(done.Contours.Outlines.empty());
    EXPECT_EQ(done.Contours.Outlines.front().ItemText, "2.0Hr");
    EXPECT_EQ(done.Raster.N, 640);

    // A stop ends the run at once, in whichever pass it is asked.
    for (int at : {1, 100, 300, all.calls}) {
        SCOPED_TRACE(at);
        Phases stopping;
        stopping.stopAt = at;
        const ToujiDiagram d = ComputeToujikan(model, sun, Inputs(8, 16, {1}), *grid, stopping);
        EXPECT_EQ(d.Status, ToujiStatus::Stopped);
        EXPECT_EQ(stopping.calls, at);
        EXPECT_EQ(d.Contours.Outlines.empty(), at != all.calls);  // what was traced is kept
        EXPECT_EQ(stopping.maxima.size(), at <= 100 ? 1u : at == 300 ? 2u : 3u);
    }

    // Below the plane nothing is shaded: no extent.
    const ToujiDiagram none = ComputeToujikan(
        model, sun,
        [] {
            ToujiInputs in = Inputs(8, 16, {1});
            in.PlaneHeight = 30000;
            return in;
        }(),
        *grid, NoProgress());
    EXPECT_EQ(none.Status, ToujiStatus::NoExtent);
}

// Whether the horizontal segment from p to p + v meets the rectangle (Liang-Barsky).
bool SegmentMeetsRect(double px, double py, double vx, double vy, double x0, double y0, double x1,
                      double y1) {
    double lo = 0.0, hi = 1.0;
    const double p[4] = {-vx, vx, -vy, vy};
    const double q[4] = {px - x0, x1 - px, py - y0, y1 - py};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0) return false;
        } else {
            const double r = q[k] / p[k];
            if (p[k] < 0.0)
                lo = std::max(lo, r);
            else
                hi = std::min(hi, r);
        }
    }
    return lo <= hi;
}

// The isochrone of a box against the line worked out without the raster: a point on the plane is
// shaded at an instant when the way towards the sun, up to the height of the roof, passes over the
// footprint; its count is the number of instants sampled (as the fine pass samples them) at which
// it is. Points of the analytic line found by bisection on rays out of the box lie within half a
// cell of the traced line (cells are drawn where they are counted; drawn half a cell east, the
// lines east and west of the box fail).
TEST(ComputeToujikan, BoxIsochroneLiesWithinHalfACellOfTheAnalyticLine) {
    const double x0 = 0, y0 = 0, x1 = 12000, y1 = 8000, roof = 25000, plane = 4000;
    std::vector<geometry::TLineEnt> edges;
    geometry::testing::AddBox(edges, x0, y0, x1 - x0, y1 - y0, roof);
    geometry::BuildingModel model;
    model.SetEdges(edges);
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination);
    auto grid = std::make_unique<ShadowCountGrid>();

    struct Case {
        int item;                          // the hour
        int interval;                      // EvaluationIntervalFor index
    } cases[] = {{3, 3}, {7, 3}, {1, 2}};  // 3.0Hr and 5.0Hr at 640 cells, 2.0Hr at 1200
    // (5.0Hr runs along the east and west walls)
    for (const Case &c : cases) {
        SCOPED_TRACE(HourItemText(c.item));
        ToujiInputs in = Inputs(8, 16, {c.item});
        in.PlaneHeight = plane;
        in.Interval = EvaluationIntervalFor(c.interval, false);
        const ToujiDiagram d = ComputeToujikan(model, sun, in, *grid, NoProgress());
        ASSERT_EQ(d.Status, ToujiStatus::Done);
        ASSERT_FALSE(d.Contours.Outlines.empty());

        const double step = in.Interval.StepMinutes();
        const int m = InstantCount(8, 16, step);
        std::vector<std::pair<double, double>> shadows;  // the shadow vector of every instant
        for (int i = 0; i < m; ++i) {
            const solar::SunResult pos = solar::SunPosition(sun, 8.0 + step * (i + 0.5) / 60.0);
            if (!CastsShadows(pos)) continue;
            const double a = solar::ShadowAngle(sun, pos.Azimuth), len = (roof - plane) * pos.Ratio;
            shadows.push_back({len * std::cos(a), len * std::sin(a)});
        }
        const double threshold = HourThreshold(HourOfItem(c.item), step);
        auto count = [&](std::pair<double, double> p) {
            int shadedInstants = 0;
            for (const auto &[vx, vy] : shadows)
                shadedInstants += SegmentMeetsRect(p.first, p.second, -vx, -vy, x0, y0, x1, y1);
            return shadedInstants;
        };
        auto shaded = [&](double x, double y) { return count({x, y}) >= threshold; };

        const double cell = d.Raster.Cell;
        int tight = 0, rays = 0;
        for (int k = 0; k < 24; ++k) {
            const double a = k * 2.0 * geometry::kPi / 24;
            const double cx = 6000 + 1000 * std::cos(a), cy = 4000 + 1000 * std::sin(a);
            auto at = [&](double t) {
                return std::pair{cx + t * std::cos(a), cy + t * std::sin(a)};
            };
            // Out from the box in quarter cells to the first lit point, then bisect.
            double in_ = 0.0, out = 0.0;
            bool found = false;
            for (double t = 0.0; t < 200000; t += cell / 4) {
                const auto [x, y] = at(t);
                if (!shaded(x, y)) {
                    out = t;
                    found = true;
                    break;
                }
                in_ = t;
            }
            if (!found || out == 0.0) continue;
            for (int it = 0; it < 40; ++it) {
                const double mid = (in_ + out) / 2;
                const auto [x, y] = at(mid);
                (shaded(x, y) ? in_ : out) = mid;
            }
            const auto [qx, qy] = at(in_);
            double best = 1e300;
            for (const ToujiOutline &o : d.Contours.Outlines) {
                for (std::size_t i = 0; i < o.Points.size(); ++i) {
                    const geometry::TAcadPoint &p = o.Points[i],
                                               &q = o.Points[(i + 1) % o.Points.size()];
                    const double ex = q.x - p.x, ey = q.y - p.y, len2 = ex * ex + ey * ey;
                    const double t =
                        len2 > 0 ? std::clamp(((qx - p.x) * ex + (qy - p.y) * ey) / len2, 0.0, 1.0)
                                 : 0.0;
                    best = std::min(best, std::hypot(p.x + t * ex - qx, p.y + t * ey - qy));
                }
            }
            // Where the count changes slowly across the line (its far end to the north), a count
            // an instant or two off (shadow corners rounded to the other pixel) moves the line by
            // the cells those instants span; that much more is allowed there.
            const double slope = (count(at(in_ - cell)) - count(at(in_ + cell))) / 2.0;
            ASSERT_GT(slope, 0.0) << "ray " << k;
            const double allowed = 0.5 + 0.1 + 2.0 / slope;
            EXPECT_LE(best / cell, allowed) << "ray " << k << " at " << qx << ", " << qy;
            ++rays;
            tight += allowed <= 0.8;
        }
        EXPECT_GE(rays, 20);
        EXPECT_GE(tight, 8);  // along the walls and the south side: half a cell
    }
}

// A deep low block (50 x 40 m, 10 m tall, plane 4 m): its shadow is shorter than it is deep, so
// the ground under it is shaded only because it is under it. No line runs inside its footprint,
// and the longest hour's region holds the whole footprint; a point a cell outside the footprint
// on its sunny side is lit by the rays at every instant and lies in no region.
TEST(ComputeToujikan, NoLineRunsInsideADeepBlockAndItsGroundCountsAsShadedAllDay) {
    const double x0 = 10000, y0 = 10000, w = 50000, d = 40000;
    std::vector<geometry::TLineEnt> edges;
    geometry::testing::AddBox(edges, x0, y0, w, d, 10000);
    geometry::BuildingModel model;
    model.SetEdges(edges);
    geometry::Volume v;
    v.footprint = {{x0, y0, 0}, {x0 + w, y0, 0}, {x0 + w, y0 + d, 0}, {x0, y0 + d, 0}};
    v.top = 10000;
    v.edgeCount = edges.size();
    model.Volumes.push_back(v);
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination);
    auto grid = std::make_unique<ShadowCountGrid>();
    ToujiInputs in = Inputs(8, 16, {1, 5, 11, 13});  // 2.0, 4.0, 7.0 and 8.0 hours
    in.PlaneHeight = 4000;
    const ToujiDiagram diagram = ComputeToujikan(model, sun, in, *grid, NoProgress());
    ASSERT_EQ(diagram.Status, ToujiStatus::Done);
    const double cell = diagram.Raster.Cell;
    const auto insideRing = [](const std::vector<geometry::TAcadPoint> &ring, double x, double y) {
        bool inside = false;
        for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
            if ((ring[i].y > y) != (ring[j].y > y) &&
                x < ring[i].x + (y - ring[i].y) * (ring[j].x - ring[i].x) / (ring[j].y - ring[i].y))
                inside = !inside;
        return inside;
    };
    std::array<int, kHourItemCount> holding{};
    for (const ToujiOutline &o : diagram.Contours.Outlines) {
        for (const geometry::TAcadPoint &p : o.Points) {
            const double depth = std::min({p.x - x0, x0 + w - p.x, p.y - y0, y0 + d - p.y});
            EXPECT_LT(depth, cell) << o.ItemText << " at " << p.x << ", " << p.y;
        }
        if (insideRing(o.Points, x0 + w / 2, y0 + d / 2))
            ++holding[static_cast<std::size_t>(o.ItemIndex)];
        // South of the block, a cell out: lit all day.
        EXPECT_FALSE(insideRing(o.Points, x0 + w / 2, y0 - 1.5 * cell)) << o.ItemText;
    }
    for (int item : {1, 5, 11, 13}) EXPECT_EQ(holding[static_cast<std::size_t>(item)], 1) << item;
}

// Where the site lies in the drawing changes nothing: the same blocks moved half a kilometre
// into negative coordinates (by a power of two, so every coordinate moves exactly) give the same
// isochrones, time-of-day outlines and point times, moved with them.
TEST(ShadowResults, DoNotDependOnWhereTheSiteLies) {
    const double dx = -524288.0, dy = -393216.0;
    auto site = [](double x0, double y0) {
        std::vector<geometry::TLineEnt> edges;
        geometry::testing::AddBox(edges, x0, y0, 12000, 8000, 18000);
        geometry::testing::AddBox(edges, x0 + 20000, y0 + 4000, 6000, 6000, 30000);
        geometry::testing::AddBox(edges, x0 - 15000, y0 + 16000, 9000, 5000, 12000);
        geometry::BuildingModel model;
        model.SetEdges(edges);
        return model;
    };
    const geometry::BuildingModel here = site(0, 0), there = site(dx, dy);
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination, 80.0);
    auto same = [&](const std::vector<geometry::TAcadPoint> &a,
                    const std::vector<geometry::TAcadPoint> &b) {
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(a[i].x + dx, b[i].x, 1e-6);
            EXPECT_NEAR(a[i].y + dy, b[i].y, 1e-6);
        }
    };

    ToujiInputs in = Inputs(8, 16, {1, 3, 5});
    in.PlaneHeight = 4000;
    auto grid = std::make_unique<ShadowCountGrid>();
    const ToujiDiagram a = ComputeToujikan(here, sun, in, *grid, NoProgress());
    const ToujiDiagram b = ComputeToujikan(there, sun, in, *grid, NoProgress());
    ASSERT_EQ(a.Status, ToujiStatus::Done);
    ASSERT_EQ(b.Status, ToujiStatus::Done);
    ASSERT_EQ(a.Contours.Outlines.size(), b.Contours.Outlines.size());
    ASSERT_FALSE(a.Contours.Outlines.empty());
    for (std::size_t i = 0; i < a.Contours.Outlines.size(); ++i)
        same(a.Contours.Outlines[i].Points, b.Contours.Outlines[i].Points);

    const JikokuInputs hours{8.0, 16.0, 1.0, 4000};
    const JikokuDiagram ja = ComputeJikoku(here, sun, hours, 1.4, NoProgress());
    const JikokuDiagram jb = ComputeJikoku(there, sun, hours, 1.4, NoProgress());
    ASSERT_EQ(ja.Instants.size(), jb.Instants.size());
    for (std::size_t i = 0; i < ja.Instants.size(); ++i) {
        ASSERT_EQ(ja.Instants[i].Outlines.size(), jb.Instants[i].Outlines.size());
        for (std::size_t k = 0; k < ja.Instants[i].Outlines.size(); ++k)
            same(ja.Instants[i].Outlines[k].Points, jb.Instants[i].Outlines[k].Points);
    }

    std::vector<geometry::TAcadPoint> points, moved;
    for (int i = 0; i < 20; ++i) {
        points.push_back({-20000.0 + 2500.0 * i, 9000.0 + 1700.0 * i, 0.0});
        moved.push_back({points.back().x + dx, points.back().y + dy, 0.0});
    }
    const TokuteiInputs pin{8.0, 16.0, 1.0, 4000};
    const TokuteiResult pa = GetTokuteiJikan(points, here, sun, pin, NoProgress());
    const TokuteiResult pb = GetTokuteiJikan(moved, there, sun, pin, NoProgress());
    int shaded = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        EXPECT_EQ(pa.Points[k].ShadedInstants, pb.Points[k].ShadedInstants) << k;
        shaded += pa.Points[k].ShadedInstants > 0;
    }
    EXPECT_GT(shaded, 5);
}

}  // namespace
}  // namespace pimu::shadow
