// Shadow times of specific points: the instants, the intervals and totals, every island and hole,
// stopping, and two independent checks: the literal outline routines at the same instants, and
// rays cast from the points towards the sun past a box.
#include "shadow/tokutei.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "geometry/outline_test_util.h"
#include "geometry/shadow_outline.h"
#include "shadow/shadow_casting.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_raster.h"
#include "solar/sun.h"
#include "solar/timetext.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;
using geometry::TLineEnt;
using geometry::testing::AddBox;
using geometry::testing::AddPrism;
using geometry::testing::Rect;

geometry::BuildingModel Model(const std::vector<TLineEnt> &edges) {
    geometry::BuildingModel m;
    m.SetEdges(edges);
    return m;
}

solar::SolarState Winter() {
    return solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
}

TEST(TokuteiCheck, Instants) {
    struct Case {
        double start, end, step;
        TokuteiCheck check;
        int instants;
    };
    const Case cases[] = {
        {8.0, 16.0, 1.0, TokuteiCheck::Ok, 480},         // 8:00:30 ... 15:59:30
        {8.0, 16.0, 0.5, TokuteiCheck::Ok, 960},         // 30 s
        {8.0, 16.0, 1.0 / 6.0, TokuteiCheck::Ok, 2880},  // 10 s
        {8.0, 8.3, 1.0, TokuteiCheck::Ok, 18},           // 0.3 h is not quite 18 minutes in binary
        {8.0, 8.01, 1.0, TokuteiCheck::NoInstants, 0},   // shorter than a step
        {9.0, 8.0, 1.0, TokuteiCheck::NoInstants, 0},
        {8.0, 16.0, 0.0, TokuteiCheck::StepNotPositive, 0},
        {7.0, 9.0, 1.0, TokuteiCheck::OutsideSunHours, 0},
        {8.0, 17.0, 1.0, TokuteiCheck::OutsideSunHours, 0},
        {16.0, 16.51, 1.0, TokuteiCheck::Ok, 30},  // the last instant, 16:29, has a sun
    };
    for (const Case &c : cases) {
        int n = 0;
        EXPECT_EQ(CheckTokuteiInputs({c.start, c.end, c.step, 0.0}, n), c.check)
            << c.start << "-" << c.end << " /" << c.step;
        if (c.check == TokuteiCheck::Ok) {
            EXPECT_EQ(n, c.instants) << c.start << "-" << c.end;
        }
    }
}

// A pattern of instants, '#' shaded, '.' lit, from 8:00 in steps of one minute.
PointShadowTimes Tally(const std::string &pattern, bool finish = true) {
    PointShadowTimes times;
    ShadowTimeTally tally(times);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        tally.Add(pattern[i] == '#', 8.0 + static_cast<double>(i) / 60.0);
    if (finish) tally.Finish(8.0 + static_cast<double>(pattern.size()) / 60.0, 1.0);
    return times;
}

TEST(TokuteiTally, IntervalsAndTotals) {
    struct Case {
        std::string pattern;
        std::vector<std::pair<int, int>> intervals;  // minutes after 8:00; -1: no out
        int runs, shaded;
    };
    const Case cases[] = {
        {"....", {}, 0, 0},
        {"####", {{0, 4}}, 1, 4},  // closed at the last instant plus a step
        {".##.", {{1, 3}}, 1, 2},
        {"#.#.#", {{0, 1}, {2, 3}, {4, 5}}, 3, 3},
        // A fourth interval is not listed; its instants count.
        {"#.#.#.##", {{0, 1}, {2, 3}, {4, 5}}, 4, 5},
        {"#.#.#.#.", {{0, 1}, {2, 3}, {4, 5}}, 4, 4},
    };
    for (const Case &c : cases) {
        const PointShadowTimes t = Tally(c.pattern);
        ASSERT_EQ(t.Intervals.size(), c.intervals.size()) << c.pattern;
        for (std::size_t k = 0; k < c.intervals.size(); ++k) {
            EXPECT_DOUBLE_EQ(t.Intervals[k].In, 8.0 + c.intervals[k].first / 60.0) << c.pattern;
            ASSERT_TRUE(t.Intervals[k].Out.has_value()) << c.pattern;
            EXPECT_DOUBLE_EQ(*t.Intervals[k].Out, 8.0 + c.intervals[k].second / 60.0) << c.pattern;
        }
        EXPECT_EQ(t.Runs, c.runs) << c.pattern;
        EXPECT_EQ(t.ShadedInstants, c.shaded) << c.pattern;
        ASSERT_TRUE(t.TotalHours.has_value());
        EXPECT_DOUBLE_EQ(*t.TotalHours, c.shaded / 60.0) << c.pattern;
    }
    // Not finished (a stopped run): the open interval stays open and there is no total.
    const PointShadowTimes open = Tally(".#.##", false);
    ASSERT_EQ(open.Intervals.size(), 2u);
    EXPECT_TRUE(open.Intervals[0].Out.has_value());
    EXPECT_FALSE(open.Intervals[1].Out.has_value());
    EXPECT_FALSE(open.TotalHours.has_value());
}

TEST(Tokutei, ShadedTheWholeRange) {
    // A point under a building is in its shadow at every instant, 8:00:30 to 15:59:30.
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 10000, 10000, 10000);
    const TAcadPoint points[] = {{5000, 5000, 0}, {5000, -20000, 0}};
    const TokuteiResult r = GetTokuteiJikan(points, Model(edges), Winter(), {8.0, 16.0, 1.0, 0.0});
    ASSERT_EQ(r.Status, TokuteiStatus::Done);
    EXPECT_EQ(r.Instants, 480);
    const PointShadowTimes &under = r.Points[0];
    EXPECT_EQ(under.ShadedInstants, 480);
    ASSERT_EQ(under.Intervals.size(), 1u);
    EXPECT_EQ(solar::FormatHMS(under.Intervals[0].In), "08:00'00\"");
    EXPECT_EQ(solar::FormatHMS(*under.Intervals[0].Out), "16:00'00\"");
    EXPECT_EQ(solar::FormatHMS(*under.TotalHours), "08:00'00\"");
    // South of the building: never shaded, a total of nothing.
    EXPECT_TRUE(r.Points[1].Intervals.empty());
    EXPECT_EQ(solar::FormatHMS(*r.Points[1].TotalHours), "00:00'00\"");
}

TEST(Tokutei, EveryIslandAndHoles) {
    // Two buildings far apart: the eastern shadow is the second island of every instant. A ring
    // building leaves its courtyard lit at noon.
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 10000, 10000, 10000);
    AddBox(edges, 100000, 0, 10000, 10000, 10000);
    AddPrism(edges, Rect(200000, 0, 60000, 8000), 3000);  // four wings round a court
    AddPrism(edges, Rect(200000, 52000, 60000, 8000), 3000);
    AddPrism(edges, Rect(200000, 8000, 8000, 44000), 3000);
    AddPrism(edges, Rect(252000, 8000, 8000, 44000), 3000);
    const geometry::BuildingModel model = Model(edges);
    const solar::SolarState sun = Winter();
    // North of the eastern box at noon; in the courtyard, beyond the walls' shadows.
    const TAcadPoint points[] = {{105000, 15000, 0}, {230000, 30000, 0}};
    const TokuteiResult r = GetTokuteiJikan(points, model, sun, {12.0, 12.02, 1.0, 0.0});
    ASSERT_EQ(r.Status, TokuteiStatus::Done);
    EXPECT_EQ(r.Points[0].ShadedInstants, 1);
    // The literal first outline misses it: it is the western box's alone.
    geometry::PolygonWorkspace ws;
    ASSERT_TRUE(ShadowOutlineAt(ws, model, sun, 12.0, 0.0));
    EXPECT_FALSE(geometry::PointInOutline(points[0], 100 * ws.MaxSpan, ws.AryLine));
    // The court: inside the wings' outer ring, but a lit hole.
    EXPECT_EQ(r.Points[1].ShadedInstants, 0);
}

// A progress that answers "stop" from the given call of KeepRunning on.
class StopAfter : public Progress {
public:
    explicit StopAfter(int calls) : left_(calls) {}
    bool KeepRunning() override { return left_-- > 0; }
    int started = -1;
    void Start(int maximum) override { started = maximum; }

private:
    int left_;
};

TEST(Tokutei, StoppedRunKeepsWhatItHasNoTotals) {
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 10000, 10000, 10000);
    const TAcadPoint points[] = {{5000, 5000, 0}};
    StopAfter stop(12);
    const TokuteiResult r =
        GetTokuteiJikan(points, Model(edges), Winter(), {8.0, 16.0, 1.0, 0.0}, stop);
    EXPECT_EQ(stop.started, 480);
    EXPECT_EQ(r.Status, TokuteiStatus::Stopped);
    ASSERT_EQ(r.Points[0].Intervals.size(), 1u);
    EXPECT_FALSE(r.Points[0].Intervals[0].Out.has_value());
    EXPECT_FALSE(r.Points[0].TotalHours.has_value());

    // No model, bad inputs: nothing computed.
    EXPECT_EQ(GetTokuteiJikan(points, Model({}), Winter(), {}).Status, TokuteiStatus::NoModel);
    const TokuteiResult refused =
        GetTokuteiJikan(points, Model(edges), Winter(), {8.0, 8.0, 1.0, 0.0});
    EXPECT_EQ(refused.Status, TokuteiStatus::Refused);
    EXPECT_EQ(refused.Check, TokuteiCheck::NoInstants);
}

// The literal routines at the same instants: every outline of the instant traced with the
// segment operations and each point tested with PointInOutline. Points within a centimetre of
// the production outline are left out: the literal routines round to a coarser grid (at 10:15 a
// point 7 mm outside an edge's shadow is inside theirs).
TEST(Tokutei, AgreesWithTheLiteralOutlines) {
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 12000, 8000, 15000);
    AddBox(edges, 30000, 5000, 8000, 8000, 24000);
    AddPrism(edges,
             {{-20000, 20000, 0},
              {-5000, 20000, 0},
              {-5000, 26000, 0},
              {-14000, 26000, 0},
              {-14000, 34000, 0},
              {-20000, 34000, 0}},
             12000);
    const geometry::BuildingModel model = Model(edges);
    const solar::SolarState sun = Winter();
    std::vector<TAcadPoint> points;
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 8; ++j)
            points.push_back({-40000.0 + i * 7100.0, -5000.0 + j * 7300.0, 0});
    const TokuteiInputs in{8.0, 16.0, 30.0, 2000.0};
    int instants = 0;
    ASSERT_EQ(CheckTokuteiInputs(in, instants), TokuteiCheck::Ok);
    int compared = 0, shadedSeen = 0;
    for (int i = 0; i < instants; ++i) {
        const double t = TokuteiInstant(in, i);
        std::vector<std::vector<TLineEnt>> outlines;
        geometry::PolygonWorkspace ws;
        ShadowSegments(ws, model, sun, t, in.PlaneHeight);
        ASSERT_EQ(ws.AllOutlines(geometry::MaxSpanRule::MeasureTimes1000,
                                 [&](const std::vector<TLineEnt> &o) { outlines.push_back(o); }),
                  geometry::OutlineLoopResult::Done);
        const ShadowRegions regions = ShadowRegionsAt(model.AryTatemono, sun, t, in.PlaneHeight);
        const std::vector<char> production = PointsInShadow(regions, points);
        for (std::size_t k = 0; k < points.size(); ++k) {
            if (LocatePoint(regions, points[k], 10.0) == PointPlace::On) continue;
            bool literal = false;
            for (const auto &o : outlines)
                literal = literal || geometry::PointInOutline(points[k], 100 * ws.MaxSpan, o);
            EXPECT_EQ(production[k] != 0, literal) << "t " << t << " point " << k;
            ++compared;
            shadedSeen += literal;
        }
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(shadedSeen, 50);
}

// Whether the ray from p towards the sun (horizontal direction `sunAngle`, rising 1/ratio per
// unit) meets the box [x0, x1] x [y0, y1] x [0, top]: slabs, with the part before p cut off.
bool RayHitsBox(TAcadPoint p, double sunAngle, double ratio, double x0, double y0, double x1,
                double y1, double top) {
    const double d[3] = {std::cos(sunAngle), std::sin(sunAngle), 1.0 / ratio};
    const double o[3] = {p.x, p.y, p.z};
    const double lo[3] = {x0, y0, 0.0}, hi[3] = {x1, y1, top};
    double s0 = 0.0, s1 = 1e300;
    for (int a = 0; a < 3; ++a) {
        if (d[a] == 0.0) {
            if (o[a] < lo[a] || o[a] > hi[a]) return false;
            continue;
        }
        double ta = (lo[a] - o[a]) / d[a], tb = (hi[a] - o[a]) / d[a];
        if (ta > tb) std::swap(ta, tb);
        s0 = std::max(s0, ta);
        s1 = std::min(s1, tb);
    }
    return s0 <= s1;
}

TEST(Tokutei, TotalsAgreeWithRaysTowardsTheSun) {
    const double x0 = 0, y0 = 0, x1 = 14000, y1 = 9000, top = 18000, h = 1500;
    std::vector<TLineEnt> edges;
    AddBox(edges, x0, y0, x1 - x0, y1 - y0, top);
    for (double north : {90.0, 62.5}) {
        const solar::SolarState sun = solar::MakeSolarState(35.5, solar::kWinterDeclination, north);
        std::vector<TAcadPoint> points;
        for (int i = 0; i < 9; ++i)
            for (int j = 0; j < 9; ++j)
                points.push_back({-30000.0 + i * 9300.0, -30000.0 + j * 9700.0, h});
        const TokuteiInputs in{8.0, 16.0, 10.0, h};
        const TokuteiResult r = GetTokuteiJikan(points, Model(edges), sun, in);
        ASSERT_EQ(r.Status, TokuteiStatus::Done);
        int shadedPoints = 0;
        for (std::size_t k = 0; k < points.size(); ++k) {
            int rays = 0;
            bool grazing = false;
            for (int i = 0; i < r.Instants; ++i) {
                const solar::SunResult pos = solar::SunPosition(sun, TokuteiInstant(in, i));
                const double toSun = solar::ShadowAngle(sun, pos.Azimuth) + geometry::kPi;
                const bool in0 = RayHitsBox(points[k], toSun, pos.Ratio, x0 + 1, y0 + 1, x1 - 1,
                                            y1 - 1, top - 1);
                const bool in1 = RayHitsBox(points[k], toSun, pos.Ratio, x0 - 1, y0 - 1, x1 + 1,
                                            y1 + 1, top + 1);
                grazing = grazing || in0 != in1;
                rays += in1;
            }
            if (grazing) continue;
            EXPECT_EQ(r.Points[k].ShadedInstants, rays) << "north " << north << " point " << k;
            EXPECT_DOUBLE_EQ(*r.Points[k].TotalHours, rays * in.StepMinutes / 60.0);
            shadedPoints += rays > 0;
        }
        EXPECT_GT(shadedPoints, 10) << north;
    }
}

// One convention of instants: a point and the isochrone cell it stands for are sampled at the
// same instants, whole range included (the ground right by a north wall counts every one of the
// 480 instants, 8 h, in both). The raster paints a shadow's outline pixels as shaded, so a cell
// may count more instants than its centre, never fewer.
TEST(Tokutei, PointsCountTheIsochronesInstants) {
    std::vector<TLineEnt> edges;
    AddBox(edges, 0, 0, 12000, 8000, 18000);
    AddBox(edges, 20000, 4000, 6000, 6000, 30000);
    const solar::SolarState sun = Winter();
    const double plane = 4000;
    auto grid = std::make_unique<ShadowCountGrid>();
    RasterGeometry raster;
    const PassSummary pass = CountFinePass(edges, sun, {-30000, -5000, 50000, 75000}, plane, 128,
                                           1.0, 8.0, 16.0, *grid, NoProgress(), raster);
    ASSERT_EQ(pass.Counted, 480);
    std::vector<TAcadPoint> points;
    std::vector<int> counts;
    for (int row = 2; row < raster.N; row += 5)
        for (int col = 2; col < raster.N; col += 5) {
            const TAcadPoint p = CellPoint(raster, row, col);
            const bool underA = p.x >= 0 && p.x <= 12000 && p.y >= 0 && p.y <= 8000;
            const bool underB = p.x >= 20000 && p.x <= 26000 && p.y >= 4000 && p.y <= 10000;
            if (underA || underB) continue;  // footprints are counted apart from the shadows
            points.push_back(p);
            counts.push_back(grid->At(row, col));
        }
    const TokuteiResult r = GetTokuteiJikan(points, Model(edges), sun, {8.0, 16.0, 1.0, plane});
    ASSERT_EQ(r.Status, TokuteiStatus::Done);
    int same = 0, shaded = 0, allDay = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const int instants = r.Points[k].ShadedInstants;
        EXPECT_LE(instants, counts[k]) << points[k].x << "," << points[k].y;
        same += instants == counts[k];
        shaded += instants > 0;
        allDay += instants == 480 && counts[k] == 480;
    }
    EXPECT_GT(shaded, 100);
    EXPECT_GT(same, 200);
    EXPECT_GT(allDay, 0);
}

// A ring of n vertices round (cx, cy): radius r with bays `wave` deep every `period` vertices.
std::vector<TAcadPoint> BayRing(double cx, double cy, double r, double wave, int n, int period) {
    std::vector<TAcadPoint> ring;
    for (int k = 0; k < n; ++k) {
        const double a = geometry::kTwoPi * k / n;
        const double rk = r + wave * std::sin(geometry::kTwoPi * (k % period) / period);
        ring.push_back({cx + rk * std::cos(a), cy + rk * std::sin(a), 0.0});
    }
    return ring;
}

// The points are tested against each edge's shadow quadrilateral and the footprints; the times
// are those of locating them in the traced shadow regions, on a site of 400 boxes, a courtyard
// building, a tower on a podium and an outline of 4,000 vertices, points inside buildings and
// courts included.
TEST(Tokutei, AgreesWithTheTracedRegions) {
    struct Case {
        const char *name;
        std::vector<TLineEnt> edges;
        double plane;
    };
    std::vector<Case> cases(4);
    cases[0].name = "400 boxes";
    for (int i = 0; i < 400; ++i)
        AddBox(cases[0].edges, (i % 20) * 15000.0, (i / 20) * 14000.0, 8000, 6000,
               9000.0 + (i * 7919 % 22) * 1000.0);
    cases[0].plane = 4000;
    cases[1].name = "courtyard";
    AddPrism(cases[1].edges, Rect(0, 0, 40000, 30000), 12000);
    AddPrism(cases[1].edges, Rect(10000, 8000, 20000, 14000), 12000);
    cases[1].plane = 1500;
    cases[2].name = "tower on a podium";
    AddBox(cases[2].edges, 0, 0, 30000, 20000, 6000);
    AddBox(cases[2].edges, 8000, 5000, 10000, 8000, 40000);
    cases[2].plane = 4000;
    cases[3].name = "round with bays";
    AddPrism(cases[3].edges, BayRing(50000, 50000, 30000, 1500, 4000, 400), 20000);
    cases[3].plane = 4000;
    const solar::SolarState sun = Winter();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
        for (const TLineEnt &e : c.edges) {
            x0 = std::min(x0, e.st.x), x1 = std::max(x1, e.st.x);
            y0 = std::min(y0, e.st.y), y1 = std::max(y1, e.st.y);
        }
        std::vector<TAcadPoint> points;
        for (int i = 0; i <= 12; ++i)
            for (int j = 0; j <= 12; ++j)
                points.push_back({x0 - 20000.0 + (x1 - x0 + 40000.0) * (i + 0.37) / 12.0,
                                  y0 - 10000.0 + (y1 - y0 + 60000.0) * (j + 0.61) / 12.0, 0.0});
        const TokuteiInputs in{8.0, 16.0, 20.0, c.plane};
        const geometry::BuildingModel model = Model(c.edges);
        const TokuteiResult fast = GetTokuteiJikan(points, model, sun, in);
        const TokuteiResult traced = GetTokuteiJikanTraced(points, model, sun, in);
        ASSERT_EQ(fast.Status, TokuteiStatus::Done);
        ASSERT_EQ(traced.Status, TokuteiStatus::Done);
        int shaded = 0;
        for (std::size_t k = 0; k < points.size(); ++k) {
            const PointShadowTimes &a = fast.Points[k], &b = traced.Points[k];
            EXPECT_EQ(a.ShadedInstants, b.ShadedInstants) << points[k].x << "," << points[k].y;
            EXPECT_EQ(a.Runs, b.Runs) << points[k].x << "," << points[k].y;
            ASSERT_EQ(a.Intervals.size(), b.Intervals.size());
            for (std::size_t n = 0; n < a.Intervals.size(); ++n) {
                EXPECT_EQ(a.Intervals[n].In, b.Intervals[n].In);
                EXPECT_EQ(a.Intervals[n].Out, b.Intervals[n].Out);
            }
            shaded += a.ShadedInstants > 0;
        }
        EXPECT_GT(shaded, 10);
    }
}

// A round building of 2,000 vertices with bays and a courtyard against rays: a point on the plane
// is shaded when the ray from it towards the sun enters the solid (between the two rings, up to
// the roof), that is when its plan from the point to where it reaches the roof's height meets
// the solid's plan. Points where a millimetre decides are left out.
TEST(Tokutei, ManyVertexOutlineAgreesWithRays) {
    const std::vector<TAcadPoint> outer = BayRing(0, 0, 30000, 1500, 2000, 200);
    const std::vector<TAcadPoint> court = BayRing(0, 0, 12000, 800, 600, 60);
    const double top = 20000, h = 4000;
    std::vector<TLineEnt> edges;
    AddPrism(edges, outer, top);
    AddPrism(edges, court, top);
    const auto inRing = [](const std::vector<TAcadPoint> &ring, double x, double y) {
        bool in = false;
        for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
            if ((ring[i].y > y) != (ring[j].y > y) &&
                x < ring[j].x + (y - ring[j].y) * (ring[i].x - ring[j].x) / (ring[i].y - ring[j].y))
                in = !in;
        return in;
    };
    const auto solid = [&](double x, double y) {
        return inRing(outer, x, y) != inRing(court, x, y);
    };
    const auto crosses = [](const std::vector<TAcadPoint> &ring, double ax, double ay, double bx,
                            double by) {
        const auto side = [](double px, double py, double qx, double qy, double rx, double ry) {
            return (qx - px) * (ry - py) - (qy - py) * (rx - px);
        };
        for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
            const TAcadPoint c = ring[j], d = ring[i];
            if ((side(ax, ay, bx, by, c.x, c.y) > 0) != (side(ax, ay, bx, by, d.x, d.y) > 0) &&
                (side(c.x, c.y, d.x, d.y, ax, ay) > 0) != (side(c.x, c.y, d.x, d.y, bx, by) > 0))
                return true;
        }
        return false;
    };
    const solar::SolarState sun = Winter();
    const TokuteiInputs in{8.0, 16.0, 30.0, h};
    // Whether the point (x, y) is in the shadow at instant i.
    const auto ray = [&](double x, double y, int i) {
        const solar::SunResult pos = solar::SunPosition(sun, TokuteiInstant(in, i));
        const double toSun = solar::ShadowAngle(sun, pos.Azimuth) + geometry::kPi;
        const double run = (top - h) * pos.Ratio;
        const double ex = x + run * std::cos(toSun), ey = y + run * std::sin(toSun);
        return solid(x, y) || solid(ex, ey) || crosses(outer, x, y, ex, ey) ||
               crosses(court, x, y, ex, ey);
    };
    std::vector<TAcadPoint> points;
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j)
            points.push_back({-45000.0 + i * 15100.0, -20000.0 + j * 15300.0, h});
    const TokuteiResult r = GetTokuteiJikan(points, Model(edges), sun, in);
    ASSERT_EQ(r.Status, TokuteiStatus::Done);
    int compared = 0, shaded = 0, lit = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        int rays = 0;
        bool grazing = false;
        for (int i = 0; i < r.Instants; ++i) {
            const bool at = ray(points[k].x, points[k].y, i);
            for (double dx : {-1.0, 1.0})
                for (double dy : {-1.0, 1.0})
                    grazing = grazing || ray(points[k].x + dx, points[k].y + dy, i) != at;
            rays += at;
        }
        if (grazing) continue;
        ++compared;
        EXPECT_EQ(r.Points[k].ShadedInstants, rays) << points[k].x << "," << points[k].y;
        shaded += rays > 0 && rays < r.Instants;
        lit += rays == 0;
    }
    EXPECT_GT(compared, 40);
    EXPECT_GT(shaded, 5);
    EXPECT_GT(lit, 5);
}

}  // namespace
}  // namespace pimu::shadow
