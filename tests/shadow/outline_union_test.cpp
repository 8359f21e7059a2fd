// An independent check of the traced outlines on random sites: each outline must enclose the same
// area as the outer boundary of its island of the union of the edge shadows, computed here with a
// polygon-clipping library.
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/linestring.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "geometry/outline_test_util.h"
#include "geometry/primitives.h"
#include "geometry/shadow_outline.h"
#include "shadow/shadow_casting.h"
#include "solar/sun.h"

namespace pimu::geometry {
namespace {

namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint, false>;  // counter-clockwise
using BMulti = bg::model::multi_polygon<BPolygon>;
using BLine = bg::model::linestring<BPoint>;

// The boundary as a line: distances to it are not 0 inside.
BLine Boundary(const BPolygon &poly) {
    return BLine(poly.outer().begin(), poly.outer().end());
}

using testing::AddPrism;
using testing::IsClosedChain;
using testing::MinX;
using testing::SignedArea;

// Uniform numbers from the engine's raw output, the same on every standard library.
class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    double Uniform(double lo, double hi) {
        return lo + (hi - lo) * (static_cast<double>(engine_()) / 4294967296.0);
    }
    int Int(int lo, int hi) {  // inclusive
        return lo + static_cast<int>(engine_() % static_cast<std::uint32_t>(hi - lo + 1));
    }

private:
    std::mt19937 engine_;
};

TAcadPoint Turned(TAcadPoint centre, double a, double x, double y) {
    return TAcadPoint{centre.x + x * std::cos(a) - y * std::sin(a),
                      centre.y + x * std::sin(a) + y * std::cos(a), 0.0};
}

// A box, or a prism whose footprint is a half disc with its arc cut into 10-degree chords.
std::vector<TAcadPoint> RandomFootprint(Random &rnd) {
    const TAcadPoint centre{rnd.Uniform(0, 40000), rnd.Uniform(0, 40000), 0.0};
    const double turn = rnd.Uniform(0, kTwoPi);
    std::vector<TAcadPoint> pts;
    if (rnd.Int(0, 1) == 0) {
        const double w = rnd.Uniform(3000, 15000) / 2;
        const double d = rnd.Uniform(3000, 15000) / 2;
        pts = {Turned(centre, turn, -w, -d), Turned(centre, turn, w, -d),
               Turned(centre, turn, w, d), Turned(centre, turn, -w, d)};
    } else {
        const double r = rnd.Uniform(3000, 10000);
        for (int k = 0; k <= 18; ++k) {
            const double a = k * 10.0 * kDegToRad;
            pts.push_back(Turned(centre, turn, r * std::cos(a), r * std::sin(a)));
        }
    }
    return pts;
}

BPolygon ToPolygon(const std::vector<TAcadPoint> &pts) {
    BPolygon poly;
    for (const TAcadPoint &p : pts) bg::append(poly.outer(), BPoint(p.x, p.y));
    bg::correct(poly);
    return poly;
}

double RingArea(const std::vector<TAcadPoint> &pts) {
    double a = 0.0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const TAcadPoint p = pts[i];
        const TAcadPoint q = pts[(i + 1) % pts.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2.0;
}

struct Island {
    double minX;
    double area;
    BLine boundary;
};

// The union of every edge's quadrilateral (foot, shadow and connectors) and of the footprints;
// of each polygon the outer boundary, except polygons that lie in another one's hole.
std::vector<Island> UnionIslands(const std::vector<TLineEnt> &edges,
                                 const std::vector<std::vector<TAcadPoint>> &footprints,
                                 const solar::SolarState &sun, double t, double h) {
    const solar::SunResult pos = solar::SunPosition(sun, t);
    const double theta = solar::ShadowAngle(sun, pos.Azimuth);
    std::vector<BPolygon> parts;
    for (const TLineEnt &e : edges) {
        const std::vector<TAcadPoint> quad = {{e.st.x, e.st.y, 0},
                                              {e.ed.x, e.ed.y, 0},
                                              solar::ShadowPoint(e.ed, h, theta, pos.Ratio, 0.0),
                                              solar::ShadowPoint(e.st, h, theta, pos.Ratio, 0.0)};
        if (std::fabs(RingArea(quad)) > 1.0) parts.push_back(ToPolygon(quad));
    }
    for (const auto &f : footprints) parts.push_back(ToPolygon(f));

    BMulti acc;
    for (const BPolygon &p : parts) {
        BMulti next;
        bg::union_(acc, p, next);
        acc = std::move(next);
    }
    std::vector<Island> islands;
    for (std::size_t i = 0; i < acc.size(); ++i) {
        BPolygon outer;
        outer.outer() = acc[i].outer();
        bool inHole = false;
        for (std::size_t j = 0; j < acc.size() && !inHole; ++j) {
            if (j == i) continue;
            BPolygon other;
            other.outer() = acc[j].outer();
            inHole = bg::covered_by(acc[i].outer().front(), other);
        }
        if (inHole) continue;
        double minX = acc[i].outer().front().x();
        for (const BPoint &p : acc[i].outer()) minX = std::min(minX, p.x());
        islands.push_back(Island{minX, bg::area(outer), Boundary(outer)});
    }
    std::sort(islands.begin(), islands.end(),
              [](const Island &a, const Island &b) { return a.minX < b.minX; });
    return islands;
}

// How far a traced vertex may lie from the exact union boundary (mm).
constexpr double kStray = 0.05;

TEST(OutlineUnion, RandomSitesMatchTheUnionOfTheEdgeShadows) {
    const double times[] = {8.0, 9.5, 11.0, 12.0, 13.5, 15.0, 16.0};
    const double planes[] = {0.0, 1500.0, 4000.0};
    int outlinesChecked = 0;
    for (std::uint32_t seed = 1; seed <= 36; ++seed) {
        Random rnd(seed);
        std::vector<TLineEnt> edges;
        std::vector<std::vector<TAcadPoint>> footprints;
        const int buildings = rnd.Int(1, 5);
        for (int b = 0; b < buildings; ++b) {
            footprints.push_back(RandomFootprint(rnd));
            AddPrism(edges, footprints.back(), rnd.Uniform(3000, 20000));
        }
        const solar::SolarState sun = solar::MakeSolarState(
            rnd.Uniform(30, 45), solar::DeclinationOf(static_cast<solar::Season>(rnd.Int(0, 2))),
            rnd.Uniform(0, 360));
        const double t = times[rnd.Int(0, 6)];
        const double h = planes[rnd.Int(0, 2)];
        SCOPED_TRACE("seed " + std::to_string(seed));

        BuildingModel model;
        model.SetEdges(edges);
        PolygonWorkspace ws;
        shadow::ShadowSegments(ws, model, sun, t, h);
        std::vector<std::vector<TLineEnt>> outlines;
        const OutlineLoopResult result =
            ws.AllOutlines(MaxSpanRule::MeasureTimes1000,
                           [&](const std::vector<TLineEnt> &o) { outlines.push_back(o); });
        EXPECT_EQ(result, OutlineLoopResult::Done);

        const std::vector<Island> islands = UnionIslands(edges, footprints, sun, t, h);
        ASSERT_EQ(outlines.size(), islands.size());
        for (std::size_t i = 0; i < outlines.size(); ++i) {
            SCOPED_TRACE("outline " + std::to_string(i));
            EXPECT_TRUE(IsClosedChain(outlines[i]));
            EXPECT_NEAR(MinX(outlines[i]), islands[i].minX, 1e-3);
            const double area = SignedArea(outlines[i]);
            EXPECT_GT(area, 0.0);  // counter-clockwise
            // Nearly collinear segments (within 0.01 mm) are merged into one, so the outline may
            // stray from the exact boundary by a few hundredths of a millimetre.
            double perimeter = 0.0;
            double farthest = 0.0;
            for (const TLineEnt &s : outlines[i]) {
                perimeter += Dist2D(s.st, s.ed);
                const BPoint p(s.st.x, s.st.y);
                farthest = std::max(farthest, bg::distance(p, islands[i].boundary));
            }
            BPolygon traced;
            for (const TLineEnt &s : outlines[i])
                bg::append(traced.outer(), BPoint(s.st.x, s.st.y));
            bg::correct(traced);
            const BLine tracedBoundary = Boundary(traced);
            for (const BPoint &p : islands[i].boundary) {
                farthest = std::max(farthest, bg::distance(p, tracedBoundary));
            }
            EXPECT_LT(farthest, kStray);
            EXPECT_NEAR(area, islands[i].area, kStray * perimeter);
            ++outlinesChecked;
        }
    }
    EXPECT_GT(outlinesChecked, 36);
}

}  // namespace
}  // namespace pimu::geometry
