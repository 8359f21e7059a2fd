#include "sky/sky_projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/progress.h"
#include "geometry/outline_test_util.h"
#include "geometry/primitives.h"
#include "sky_test_util.h"

namespace pimu::sky {
namespace {

using geometry::testing::Edge;
using geometry::testing::IsClosedChain;
using geometry::testing::SignedArea;
using testing::Box;
using testing::ModelOf;

constexpr double kR = 5000.0;  // 25 mm at 1:200

SkyView ViewAt(double x, double y, double e = 0.0, double north = 90.0) {
    SkyView v;
    v.IDPOINT1 = TAcadPoint{x, y, 0.0};
    v.e = e;
    v.north = north;
    v.SkyRadius = kR;
    return v;
}

double Azimuth(TAcadPoint p) {
    return geometry::Angle2D(TAcadPoint{}, p);
}

TEST(SubdivideElement, StepsAlongTheEdge) {
    struct Case {
        TLineEnt element;
        std::vector<double> along;  // distance of each point from st along the 3D edge
    };
    const std::vector<Case> cases = {
        {Edge({0, 0, 5000}, {600, 0, 5000}), {0, 250, 500, 600}},
        // Shorter than one step: split at one third, not at the middle.
        {Edge({0, 0, 5000}, {150, 0, 5000}), {0, 50, 150}},
        // A sloping edge is stepped along its true length; a whole number of steps repeats the
        // end.
        {Edge({0, 0, 5000}, {300, 0, 5400}), {0, 250, 500, 500}},
        {Edge({0, 0, 5400}, {300, 0, 5000}), {0, 250, 500, 500}},
        // A vertical edge: its thirds, the foot twice.
        {Edge({0, 0, 3000}, {0, 0, 0}), {0, 1000, 2000, 3000, 3000}},
    };
    for (const Case &c : cases) {
        const std::vector<TAcadPoint> pts = SubdivideElement(c.element);
        ASSERT_EQ(pts.size(), c.along.size());
        for (std::size_t k = 0; k < pts.size(); ++k) {
            const TAcadPoint p = pts[k];
            const double d = std::hypot(std::hypot(p.x - c.element.st.x, p.y - c.element.st.y),
                                        p.z - c.element.st.z);
            EXPECT_NEAR(d, c.along[k], 1e-9) << "point " << k;
            // Every point lies on the edge.
            const double t = c.along[k] / c.along.back();
            EXPECT_NEAR(p.z, c.element.st.z + t * (c.element.ed.z - c.element.st.z), 1e-9);
        }
        EXPECT_EQ(pts.back().x, c.element.ed.x);
        EXPECT_EQ(pts.back().z, c.element.ed.z);
    }
}

TEST(ExpandModel, KeepsEdgesAbovePlaneAndDropsSharedVerticals) {
    const geometry::BuildingModel box = ModelOf({{0, 0, 10000, 10000, 9000}});
    const std::vector<TLineEnt> work = ExpandModel(box, 0.0);
    int tops = 0, feet = 0, verticals = 0, dropped = 0;
    for (const TLineEnt &l : work) {
        if (l.id == 0) ++tops;
        if (l.id == 1) ++feet;
        if (l.id == 2) ++verticals;
        if (l.id == -1) ++dropped;
    }
    // Only the four roof edges qualify (bottom and model verticals touch the ground); each
    // corner's vertical comes twice and is kept once.
    EXPECT_EQ(tops, 4);
    EXPECT_EQ(feet, 4);
    EXPECT_EQ(verticals, 4);
    EXPECT_EQ(dropped, 4);

    // A top exactly at the plane, and an edge crossing the plane, give nothing.
    EXPECT_TRUE(ExpandModel(box, 9000.0).empty());
    geometry::BuildingModel slope;
    slope.SetEdges({Edge({0, 0, 2000}, {5000, 0, 8000})});
    EXPECT_TRUE(ExpandModel(slope, 4000.0).empty());
    EXPECT_EQ(ExpandModel(slope, 1000.0).size(), 4u);
}

// The repeats found through cells are those every pair of elements gives: edges repeated with
// their ends moved by amounts on both sides of the tolerance, across cell borders, either way
// round; and a stop asked while they are looked for gives an empty list.
TEST(ExpandModel, RepeatsAreThoseOfEveryPair) {
    std::vector<TLineEnt> edges;
    const double shifts[] = {0.0, 0.4e-5, -0.9e-5, 0.99e-5, 1.01e-5, -1.5e-5, 3e-5};
    for (int k = 0; k < 40; ++k) {
        // Near a multiple of the tolerance, so that the shifted copies fall into other cells.
        const double x = 1000.0 * k + 5e-6 * (k % 3), y = 7.0 * k;
        const double d = shifts[k % 7], d2 = shifts[(k + 3) % 7];
        edges.push_back(Edge({x, y, 9000}, {x + 500, y + 300, 9000}));
        edges.push_back(Edge({x + d, y - d2, 9000 + d}, {x + 500 - d2, y + 300 + d, 9000}));
        edges.push_back(Edge({x + 500 + d2, y + 300, 9000}, {x, y + d, 9000 - d2}));
    }
    geometry::BuildingModel model;
    model.SetEdges(edges);
    const std::vector<TLineEnt> work = ExpandModel(model, 0.0);
    ASSERT_EQ(work.size(), 4 * edges.size());
    int dropped = 0;
    for (std::size_t i = 0; i < work.size(); ++i) {
        bool repeated = false;
        for (std::size_t j = i + 1; j < work.size() && !repeated; ++j) {
            const TLineEnt &a = work[i], &b = work[j];
            repeated = (geometry::Near3D(a.st, b.st) && geometry::Near3D(a.ed, b.ed)) ||
                       (geometry::Near3D(a.st, b.ed) && geometry::Near3D(a.ed, b.st));
        }
        EXPECT_EQ(work[i].id == -1, repeated) << i;
        dropped += repeated;
    }
    EXPECT_GT(dropped, 40);

    struct Stop : Progress {
        bool KeepRunning() override { return false; }
    } stop;
    bool stopped = false;
    EXPECT_TRUE(ExpandModel(model, 0.0, stop, &stopped).empty());
    EXPECT_TRUE(stopped);
}

TEST(GetTenkuLine, PlaneAboveEveryWallGivesNoOutline) {
    const geometry::BuildingModel box = ModelOf({{0, 10000, 10000, 20000, 9000}});
    const SkyOutline out = GetTenkuLine(box, ViewAt(5000, 0, 9000.0), NoProgress());
    EXPECT_EQ(out.status, SkyStatus::NoSegments);
    EXPECT_TRUE(out.AryLine.empty());
    EXPECT_EQ(GetTenkuLine(box, ViewAt(5000, 0, 12000.0), NoProgress()).status,
              SkyStatus::NoSegments);
}

TEST(ProjectSky, ProjectsOrthographicallyAndTurnsNorthUp) {
    // One wall due east of the point, 10 m away and 10 m high: its ends lie at 45 degrees.
    geometry::BuildingModel wall;
    wall.SetEdges({Edge({20000, 0, 10000}, {20000, 2000, 10000})});
    const SkyProjection north_up = ProjectSky(wall, ViewAt(10000, 0), NoProgress());
    ASSERT_FALSE(north_up.Chains.empty());
    const TAcadPoint p0 = north_up.Chains.front().front();
    EXPECT_NEAR(p0.x, kR * std::cos(geometry::kPi / 4), 1e-9);
    EXPECT_NEAR(p0.y, 0.0, 1e-9);
    ASSERT_FALSE(north_up.AryTateiti.empty());
    const TTateiti &t = north_up.AryTateiti.front();
    EXPECT_EQ(t.no, 0);
    EXPECT_NEAR(t.kyori, 10000.0, 1e-9);
    EXPECT_NEAR(t.takasa, 10000.0, 1e-9);
    EXPECT_NEAR(t.houido, 0.0, 1e-9);
    EXPECT_NEAR(t.miagedo, 45.0, 1e-9);
    EXPECT_NEAR(t.rcosh, kR * std::cos(geometry::kPi / 4), 1e-9);
    // The last entry of the top edge names the last segment of its chain.
    const std::size_t chain = north_up.Chains.front().size();
    EXPECT_EQ(north_up.AryTateiti[1].no, static_cast<int>(chain) - 2);

    // North pointing along +x in the drawing: the map turns by 90 degrees, so east goes up.
    const SkyProjection turned = ProjectSky(wall, ViewAt(10000, 0, 0.0, 0.0), NoProgress());
    const TAcadPoint q0 = turned.Chains.front().front();
    EXPECT_NEAR(q0.x, 0.0, 1e-9);
    EXPECT_NEAR(q0.y, kR * std::cos(geometry::kPi / 4), 1e-9);
    // The position table keeps the drawing's azimuth.
    EXPECT_NEAR(turned.AryTateiti.front().houido, 0.0, 1e-9);
    for (const TLineEnt &s : turned.AryLine) EXPECT_EQ(s.st.z, 0.0);
}

TEST(ProjectSky, GroundArcJoinsTheWidestPairTheShortWayRound) {
    // A box east of the point (feet from -10 to +10 degrees) and one to the north-west (120 to
    // 140 degrees): the widest pair is -10 .. 140 degrees, joined through north, not south.
    const double d = 20000.0;
    const auto at = [&](double deg) {
        return TAcadPoint{d * std::cos(deg * geometry::kDegToRad),
                          d * std::sin(deg * geometry::kDegToRad), 0.0};
    };
    std::vector<TLineEnt> edges;
    for (const auto &[a, b] : {std::pair{-10.0, 10.0}, std::pair{120.0, 140.0}}) {
        TAcadPoint p = at(a), q = at(b);
        p.z = q.z = 6000;
        edges.push_back(Edge(p, q));
    }
    geometry::BuildingModel model;
    model.SetEdges(edges);
    SkyView view = ViewAt(0, 0);
    const SkyProjection proj = ProjectSky(model, view, NoProgress());
    ASSERT_GE(proj.GroundArc.size(), 3u);
    EXPECT_NEAR(Azimuth(proj.GroundArc.front()) * geometry::kRadToDeg, 350.0, 1e-6);
    EXPECT_NEAR(Azimuth(proj.GroundArc.back()) * geometry::kRadToDeg, 140.0, 1e-6);
    bool through_north = false;
    for (const TAcadPoint &p : proj.GroundArc) {
        EXPECT_NEAR(std::hypot(p.x, p.y), kR, 1e-6);
        const double deg = Azimuth(p) * geometry::kRadToDeg;
        EXPECT_FALSE(deg > 140.001 && deg < 349.999) << deg;
        if (std::fabs(deg - 90.0) < 0.2) through_north = true;
    }
    EXPECT_TRUE(through_north);
    // 150 degrees in quarter-degree steps, plus the closing piece to B.
    EXPECT_NEAR(static_cast<double>(proj.GroundArc.size()), 602.0, 1.0);
}

TEST(ProjectSky, NegativeCoordinatesProjectLikeAnyOther) {
    const std::vector<Box> boxes = {{0, 10000, 12000, 18000, 15000}};
    std::vector<Box> moved = boxes;
    for (Box &b : moved) b = {b.x0 - 60000, b.y0 - 60000, b.x1 - 60000, b.y1 - 60000, b.height};
    const SkyProjection a = ProjectSky(ModelOf(boxes), ViewAt(4000, 0), NoProgress());
    const SkyProjection b = ProjectSky(ModelOf(moved), ViewAt(-56000, -60000), NoProgress());
    ASSERT_EQ(a.AryLine.size(), b.AryLine.size());
    for (std::size_t i = 0; i < a.AryLine.size(); ++i) {
        EXPECT_NEAR(a.AryLine[i].st.x, b.AryLine[i].st.x, 1e-6);
        EXPECT_NEAR(a.AryLine[i].ed.y, b.AryLine[i].ed.y, 1e-6);
    }
}

TEST(ProjectSky, VertexAboveThePointFallsOnTheZenith) {
    // The point is the south-west corner of a box: that corner's top is right above it.
    const geometry::BuildingModel box = ModelOf({{10000, 10000, 20000, 20000, 10000}});
    const SkyProjection proj = ProjectSky(box, ViewAt(10000, 10000), NoProgress());
    bool centre = false;
    for (const TLineEnt &s : proj.AryLine) {
        for (const TAcadPoint p : {s.st, s.ed}) {
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
            if (p.x == 0.0 && p.y == 0.0) centre = true;
        }
    }
    EXPECT_TRUE(centre);
    // Its azimuth in the position table is the direction its walls run away in (east, north).
    for (const TTateiti &t : proj.AryTateiti) {
        if (t.kyori >= 1e-5) continue;
        EXPECT_DOUBLE_EQ(t.miagedo, 90.0);
        EXPECT_TRUE(std::fabs(t.houido) < 1e-9 || std::fabs(t.houido - 90.0) < 1e-9) << t.houido;
    }
    // The corner's vertical, seen end on, adds no segment running to the horizon in the
    // south-west (the direction an undefined azimuth would give).
    for (const TLineEnt &s : proj.AryLine) {
        EXPECT_FALSE(s.ed.x < -1.0 && s.ed.y < -1.0) << s.ed.x << "," << s.ed.y;
    }
    const SkyOutline out = GetTenkuLine(box, ViewAt(10000, 10000), NoProgress());
    EXPECT_EQ(out.status, SkyStatus::Ok);
}

TEST(GetTenkuLine, TracesTheCoveredSkyCounterClockwise) {
    const geometry::BuildingModel model =
        ModelOf({{0, 10000, 12000, 18000, 15000}, {9000, 14000, 20000, 22000, 24000}});
    const SkyOutline a = GetTenkuLine(model, ViewAt(6000, 0), NoProgress());
    ASSERT_EQ(a.status, SkyStatus::Ok);
    EXPECT_TRUE(IsClosedChain(a.AryLine));
    EXPECT_GT(SignedArea(a.AryLine), 0.0);
    for (const TLineEnt &s : a.AryLine) EXPECT_LE(std::hypot(s.st.x, s.st.y), kR + 1e-6);

    // The drawn map's outline: traced four times larger and scaled back, without reversed
    // pairs, covers the same area.
    const SkyProjection proj = ProjectSky(model, ViewAt(6000, 0), NoProgress());
    const SkyOutline b = TenkuRinkaku(proj.AryLine, 4.0, NoProgress());
    ASSERT_EQ(b.status, SkyStatus::Ok);
    EXPECT_TRUE(IsClosedChain(b.AryLine));
    EXPECT_NEAR(SignedArea(b.AryLine), SignedArea(a.AryLine), 1e-6 * SignedArea(a.AryLine));
}

TEST(GetTenkuLine, HandsTheProjectionToTheTracer) {
    const geometry::BuildingModel model = ModelOf({{0, 10000, 12000, 18000, 15000}});
    const SkyProjection proj = ProjectSky(model, ViewAt(6000, 0), NoProgress());
    std::size_t seen = 0;
    const SkyTracer refuse = [&](std::vector<TLineEnt> &segments, Progress &) {
        seen = segments.size();
        return false;
    };
    EXPECT_EQ(GetTenkuLine(model, ViewAt(6000, 0), NoProgress(), refuse).status,
              SkyStatus::TraceFailed);
    EXPECT_EQ(seen, proj.AryLine.size());
}

TEST(WorkingScale, TracesAtTheLargerMapType) {
    SkyMapSizes sizes;  // A 25 mm, B 100 mm
    EXPECT_DOUBLE_EQ(WorkingScale(sizes, 0), 4.0);
    EXPECT_DOUBLE_EQ(WorkingScale(sizes, 1), 1.0);
    sizes.HankeiA = 150.0;
    EXPECT_DOUBLE_EQ(WorkingScale(sizes, 0), 1.0);
    EXPECT_DOUBLE_EQ(WorkingScale(sizes, 1), 1.5);
    EXPECT_DOUBLE_EQ(SkyRadiusOf(sizes, 1), 100.0 * 200.0);
}

// Stops at the n-th question.
class StopAfter : public Progress {
public:
    explicit StopAfter(int n) : left_(n) {}
    bool KeepRunning() override { return --left_ > 0; }

private:
    int left_;
};

TEST(GetTenkuLine, StopsWhenAsked) {
    const geometry::BuildingModel model = ModelOf({{0, 10000, 12000, 18000, 15000}});
    for (const int n : {1, 3, 30}) {
        StopAfter stop(n);
        EXPECT_EQ(GetTenkuLine(model, ViewAt(6000, 0), stop).status, SkyStatus::Stopped) << n;
    }
}

}  // namespace
}  // namespace pimu::sky
