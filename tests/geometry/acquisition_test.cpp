// The conversion of picked entities into building edges, one case per kind of entity.
#include "geometry/acquisition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "geometry/primitives.h"

namespace pimu::geometry {
namespace {

TLineEnt Line(TAcadPoint st, TAcadPoint ed, double thickness = 0.0,
              TAcadPoint normal = {0.0, 0.0, 1.0}) {
    TLineEnt l;
    l.st = st;
    l.ed = ed;
    l.atumi = thickness;
    l.code210 = normal;
    return l;
}

void ExpectPoint(TAcadPoint p, TAcadPoint q, double tol = 1e-9) {
    EXPECT_NEAR(p.x, q.x, tol);
    EXPECT_NEAR(p.y, q.y, tol);
    EXPECT_NEAR(p.z, q.z, tol);
}

struct Case {
    std::string name;
    std::function<void(EntityArrays &)> fill;
    std::size_t edges;
    std::function<void(const EntityArrays &)> check;
};

TEST(Acquisition, ConversionCases) {
    const Case cases[] = {
        {"line with thickness: bottom, top, two verticals",
         [](EntityArrays &a) {
             a.AryLine.push_back(Line({0, 0, 0}, {1000, 0, 0}, 3000));
         },
         4,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[0].ed, {1000, 0, 0});
             EXPECT_EQ(a.AryLine[0].atumi, 0.0);
             ExpectPoint(a.AryLine[1].st, {0, 0, 3000});
             ExpectPoint(a.AryLine[1].ed, {1000, 0, 3000});
             ExpectPoint(a.AryLine[2].ed, {0, 0, 3000});
             ExpectPoint(a.AryLine[3].st, {1000, 0, 0});
             BuildingModel m;
             m.SetEdges(a.AryLine);
             EXPECT_EQ(m.gbzmax, 3000.0);
         }},
        {"negative thickness: top below ground",
         [](EntityArrays &a) {
             a.AryLine.push_back(Line({0, 0, 0}, {1000, 0, 0}, -3000));
         },
         4,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[1].st, {0, 0, -3000});
         }},
        {"closed rectangle with thickness: 4 bottom + 4 top + 8 verticals",
         [](EntityArrays &a) {
             TLwpEnt p;
             p.hand = "A1";
             p.code70 = 1;
             p.atumi = p.code39 = 6000;
             a.AryLwp.push_back(p);
             for (TAcadPoint v : {TAcadPoint{0, 0, 0}, TAcadPoint{10000, 0, 0},
                                  TAcadPoint{10000, 5000, 0}, TAcadPoint{0, 5000, 0}})
                 a.AryLwpEle.push_back({"A1", v, 0.0});
             // Another polyline's vertex between them must not be picked up.
             a.AryLwpEle.push_back({"B2", {7, 7, 7}, 0.0});
         },
         16,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[3].ed, {0, 0, 0});  // closing edge back to the first vertex
             ExpectPoint(a.AryLine[4].st, {0, 0, 6000});
             ExpectPoint(a.AryLine[5].ed, {0, 0, 6000});      // vertical up from st
             ExpectPoint(a.AryLine[6].st, {10000, 0, 6000});  // vertical down to ed
             ExpectPoint(a.AryLine[6].ed, {10000, 0, 0});
         }},
        {"bulge 1: half circle of 18 chords and a closing chord of practically zero length",
         [](EntityArrays &a) {
             TLwpEnt p;
             p.hand = "C";
             a.AryLwp.push_back(p);
             a.AryLwpEle.push_back({"C", {0, 0, 0}, 1.0});
             a.AryLwpEle.push_back({"C", {2000, 0, 0}, 0.0});
         },
         19,
         [](const EntityArrays &a) {
             ASSERT_EQ(a.AryArc.size(), 1u);
             EXPECT_NEAR(a.AryArc[0].stdeg, 180.0, 1e-9);
             EXPECT_NEAR(a.AryArc[0].eddeg, 0.0, 1e-9);
             ExpectPoint(a.AryArc[0].center, {1000, 0, 0}, 1e-9);
             ExpectPoint(a.AryLine[0].st, {0, 0, 0}, 1e-9);
             ExpectPoint(a.AryLine[17].ed, {2000, 0, 0}, 1e-6);
             EXPECT_LT(Dist2D(a.AryLine[18].st, a.AryLine[18].ed), 1e-6);
         }},
        {"circle: the polygon of 36 sides round it, the first corner at angle 0",
         [](EntityArrays &a) {
             a.AryCircle.push_back({{5000, 5000, 0}, 1000, 0, {0, 0, 1}});
         },
         36,
         [](const EntityArrays &a) {
             const double corner = 1000 / std::cos(5 * kDegToRad);
             ExpectPoint(a.AryLine[0].st, PolarPoint({5000, 5000, 0}, 0.0, corner));
             ExpectPoint(a.AryLine[35].st, PolarPoint({5000, 5000, 0}, 350 * kDegToRad, corner));
             ExpectPoint(a.AryLine[35].ed, a.AryLine[0].st);
             for (const TLineEnt &e : a.AryLine) {
                 EXPECT_EQ(e.st.z, 0.0);
                 // Each side touches the circle at its middle.
                 const TAcadPoint m{(e.st.x + e.ed.x) / 2, (e.st.y + e.ed.y) / 2, 0};
                 EXPECT_NEAR(Dist2D(m, {5000, 5000, 0}), 1000.0, 1e-9);
             }
         }},
        {"circle with thickness: the ring, then per chord a raised chord and two verticals",
         [](EntityArrays &a) {
             a.AryCircle.push_back({{5000, 5000, 100}, 1000, 2000, {0, 0, 1}});
         },
         36 * 4,
         [](const EntityArrays &a) {
             for (int k = 0; k < 36; ++k) {
                 const TLineEnt &chord = a.AryLine[k];
                 const TLineEnt &top = a.AryLine[36 + 3 * k];
                 ExpectPoint(top.st, {chord.st.x, chord.st.y, 2100});
                 ExpectPoint(top.ed, {chord.ed.x, chord.ed.y, 2100});
                 ExpectPoint(a.AryLine[37 + 3 * k].st, chord.st);
                 ExpectPoint(a.AryLine[37 + 3 * k].ed, top.st);
                 ExpectPoint(a.AryLine[38 + 3 * k].st, top.ed);
                 ExpectPoint(a.AryLine[38 + 3 * k].ed, chord.ed);
             }
         }},
        {"arc 350 to 10 degrees: one chord to 360 and the closing chord",
         [](EntityArrays &a) {
             TArcEnt arc;
             arc.center = {0, 0, 100};
             arc.hankei = 1000;
             arc.stdeg = 350;
             arc.eddeg = 10;
             a.AryArc.push_back(arc);
         },
         2,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[0].ed, {1000, 0, 100}, 1e-6);
             ExpectPoint(a.AryLine[1].ed, PolarPoint({0, 0, 100}, 10 * kDegToRad, 1000));
         }},
        {"arc with thickness: chords, raised chords, verticals and one closing vertical",
         [](EntityArrays &a) {
             TArcEnt arc;
             arc.hankei = 1000;
             arc.stdeg = 0;
             arc.eddeg = 25;
             arc.atumi = 3000;
             a.AryArc.push_back(arc);
         },
         3 + 3 + 4,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[3].st, {1000, 0, 3000});
             ExpectPoint(a.AryLine[9].st, a.AryLine[2].ed);
             ExpectPoint(a.AryLine[9].ed, AddPoint(a.AryLine[2].ed, {0, 0, 3000}));
         }},
        {"full ellipse: 36 chords of 10 degrees of parameter",
         [](EntityArrays &a) {
             TEllipseEnt e;
             e.center = {0, 0, 0};
             e.endpoint = {2000, 0, 0};
             e.henpei = 0.5;
             e.kaisi = 0;
             e.owari = 360;
             a.AryEllipse.push_back(e);
         },
         36,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[8].ed, {0, 1000, 0}, 1e-9);  // parameter 90: the minor axis
             ExpectPoint(a.AryLine[35].ed, {2000, 0, 0}, 1e-9);
         }},
        {"ellipse whose end is not after its start: nothing",
         [](EntityArrays &a) {
             TEllipseEnt e;
             e.endpoint = {2000, 0, 0};
             e.kaisi = 90;
             e.owari = 90;
             a.AryEllipse.push_back(e);
         },
         0, [](const EntityArrays &) {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EntityArrays a;
        c.fill(a);
        ConvertToEdges(a);
        ASSERT_EQ(a.AryLine.size(), c.edges);
        c.check(a);
    }
}

TEST(Acquisition, LinesAreExtrudedBeforePolylineEdgesExist) {
    // A polyline edge carries its own thickness handling: extruding it again would double it.
    EntityArrays a;
    a.AryLine.push_back(Line({0, 0, 0}, {10, 0, 0}, 5));
    TLwpEnt p;
    p.hand = "P";
    p.atumi = 7;
    a.AryLwp.push_back(p);
    a.AryLwpEle.push_back({"P", {0, 10, 0}, 0.0});
    a.AryLwpEle.push_back({"P", {10, 10, 0}, 0.0});
    ConvertToEdges(a);
    ASSERT_EQ(a.AryLine.size(), 4u + 4u);
    for (const TLineEnt &e : a.AryLine) EXPECT_EQ(e.atumi, 0.0);
    EXPECT_EQ(a.AryLine[5].st.z, 7.0);
}

TLwpEnt Outline(EntityArrays &a, const std::string &hand, std::vector<TLwpEle> vertices,
                double elevation, double thickness, bool closed = true) {
    TLwpEnt p;
    p.hand = hand;
    p.code70 = closed ? 1 : 0;
    p.code38 = elevation;
    p.atumi = p.code39 = thickness;
    a.AryLwp.push_back(p);
    for (TLwpEle v : vertices) {
        v.hand = hand;
        v.code10.z = elevation;
        a.AryLwpEle.push_back(v);
    }
    return p;
}

double PlanArea(const std::vector<TAcadPoint> &ring) {
    double s = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const TAcadPoint &p = ring[i], &q = ring[(i + 1) % ring.size()];
        s += p.x * q.y - q.x * p.y;
    }
    return s / 2.0;
}

// Distance in plan from p to the closed ring's boundary.
double DistanceToRing(TAcadPoint p, const std::vector<TAcadPoint> &ring) {
    double best = 1e300;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const TAcadPoint a = ring[i], b = ring[(i + 1) % ring.size()];
        const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
        double t = l2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(best, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
    }
    return best;
}

struct VolumeCase {
    std::string name;
    std::function<void(EntityArrays &)> fill;
    std::vector<Volume> expected;  // footprint: only its size is compared, and its area below
    std::vector<double> areas;
};

TEST(Acquisition, VolumesOfClosedOutlines) {
    const std::vector<TLwpEle> square{{"", {0, 0, 0}, 0.0},
                                      {"", {20000, 0, 0}, 0.0},
                                      {"", {20000, 10000, 0}, 0.0},
                                      {"", {0, 10000, 0}, 0.0}};
    const auto volume = [](std::size_t points, double bottom, double top, std::size_t first,
                           std::size_t count) {
        Volume v;
        v.footprint.resize(points);
        v.bottom = bottom;
        v.top = top;
        v.firstEdge = first;
        v.edgeCount = count;
        return v;
    };
    const VolumeCase cases[] = {
        {"raised block after a wall: elevation is the underside",
         [&](EntityArrays &a) {
             a.AryLine.push_back(Line({0, -5000, 0}, {1000, -5000, 0}, 2000));
             Outline(a, "R", square, 9000, 9000);
         },
         {volume(4, 9000, 18000, 4, 16)},
         {2e8}},
        {"roof at a height without thickness stands on the ground",
         [&](EntityArrays &a) { Outline(a, "F", square, 5000, 0); },
         {volume(4, 0, 5000, 0, 4)},
         {2e8}},
        {"thickness downwards: between elevation and elevation + thickness",
         [&](EntityArrays &a) { Outline(a, "D", square, 6000, -2000); },
         {volume(4, 4000, 6000, 0, 16)},
         {2e8}},
        {"repeated closing vertex dropped; open outlines and flat outlines are no volumes",
         [&](EntityArrays &a) {
             std::vector<TLwpEle> repeated = square;
             repeated.push_back(square.front());
             Outline(a, "O", square, 0, 3000, false);
             Outline(a, "G", square, 0, 0);
             Outline(a, "P", repeated, 0, 3000);
         },
         {volume(4, 0, 3000, 3 * 4 + 4, 5 * 4)},
         {2e8}},
        {"circle with thickness at an elevation: exact centre and radius",
         [](EntityArrays &a) {
             a.AryCircle.push_back({{5000, 5000, 100}, 1000, 2000, {0, 0, 1}});
         },
         {volume(36, 100, 2100, 0, 36 * 4)},
         {36.0 * std::tan(kPi / 36.0) * 1e6}},
        {"bulged outline: its arc's chords join its edges, the next outline follows them",
         [&](EntityArrays &a) {
             // A 20 x 10 m block with a half-round end to the east, then a second block.
             std::vector<TLwpEle> rounded = square;
             rounded[1].code42 = 1.0;
             Outline(a, "B", rounded, 0, 12000);
             std::vector<TLwpEle> other = square;
             for (TLwpEle &v : other) v.code10.x += 40000;
             Outline(a, "N", other, 0, 6000);
         },
         // Chords of ChordStep(5000) = 7.25 degrees (10 mm from the arc), 24 and a last one.
         {volume(4 + 24, 0, 12000, 0, 3 * 4 + 25 * 3 + 1), volume(4, 0, 6000, 88, 16)},
         {2e8 + 25e6 / 2.0 *
                    (24.0 * std::sin(ChordStep(5000, 10) * kDegToRad) +
                     std::sin((180.0 - 24.0 * ChordStep(5000, 10)) * kDegToRad)),
          2e8}},
    };
    for (const VolumeCase &c : cases) {
        SCOPED_TRACE(c.name);
        EntityArrays a;
        c.fill(a);
        EntityArrays literal = a;
        ConvertToEdges(literal);
        const AcquiredModel r = ConvertAcquisition(a);
        const std::vector<Volume> &got = r.Model.Volumes;
        ASSERT_EQ(got.size(), c.expected.size());
        // The same edges as the literal conversion, a volume's moved together.
        ASSERT_EQ(r.Model.AryTatemono.size(), literal.AryLine.size());
        const auto key = [](const TLineEnt &e) {
            return std::tuple(e.st.x, e.st.y, e.st.z, e.ed.x, e.ed.y, e.ed.z);
        };
        std::vector<std::tuple<double, double, double, double, double, double>> x, y;
        for (const TLineEnt &e : r.Model.AryTatemono) x.push_back(key(e));
        for (const TLineEnt &e : literal.AryLine) y.push_back(key(e));
        std::sort(x.begin(), x.end());
        std::sort(y.begin(), y.end());
        EXPECT_EQ(x, y);
        for (std::size_t k = 0; k < got.size(); ++k) {
            const Volume &v = got[k], &e = c.expected[k];
            EXPECT_EQ(v.footprint.size(), e.footprint.size());
            EXPECT_EQ(v.bottom, e.bottom);
            EXPECT_EQ(v.top, e.top);
            EXPECT_EQ(v.firstEdge, e.firstEdge);
            EXPECT_EQ(v.edgeCount, e.edgeCount);
            EXPECT_NEAR(std::fabs(PlanArea(v.footprint)), c.areas[k], 1e-3);
            EXPECT_FALSE(Near2D(v.footprint.front(), v.footprint.back()));
            // Every edge of the volume lies on its footprint's boundary, between bottom and top.
            for (std::size_t i = v.firstEdge; i < v.firstEdge + v.edgeCount; ++i) {
                const TLineEnt &edge = r.Model.AryTatemono[i];
                for (TAcadPoint p : {edge.st, edge.ed}) {
                    EXPECT_LT(DistanceToRing(p, v.footprint), 1e-6);
                    EXPECT_GE(p.z, v.bottom - 1e-9);
                    EXPECT_LE(p.z, v.top + 1e-9);
                }
            }
        }
    }
    EntityArrays a;
    a.AryCircle.push_back({{5000, 6000, 0}, 1500, 0, {0, 0, 1}});
    a.AryCircle.push_back({{5000, 6000, 3000}, 1500, 0, {0, 0, 1}});
    const AcquiredModel r = ConvertAcquisition(a);
    ASSERT_EQ(r.Model.Volumes.size(), 1u);  // the circle on the ground has no height
    const Volume &v = r.Model.Volumes[0];
    EXPECT_TRUE(v.circle);
    EXPECT_EQ(v.centre, (TAcadPoint{5000, 6000, 0}));
    EXPECT_EQ(v.radius, 1500.0);
    EXPECT_EQ(v.bottom, 0.0);
    EXPECT_EQ(v.top, 3000.0);
    EXPECT_EQ(v.firstEdge, 36u);
}

}  // namespace
}  // namespace pimu::geometry

namespace pimu::geometry {
namespace {

// A building's circle is the polygon round it, a site's the one inscribed in it; either strays at
// most 10 mm from the circle, with at least 36 sides.
TEST(Acquisition, CirclesRoundForBuildingsInsideForSites) {
    for (CircleFit fit : {CircleFit::Round, CircleFit::Inside}) {
        for (double r : {300.0, 4500.0, 40000.0}) {
            SCOPED_TRACE(std::to_string(r) + (fit == CircleFit::Round ? " round" : " inside"));
            std::vector<TLineEnt> edges;
            CirclesToLines({{{1000, 2000, 0}, r, 0, {0, 0, 1}}}, kTessellationStep, edges, fit);
            ASSERT_GE(edges.size(), 36u);
            for (const TLineEnt &e : edges) {
                const double corner = Dist2D(e.st, {1000, 2000, 0});
                const double middle =
                    Dist2D({(e.st.x + e.ed.x) / 2, (e.st.y + e.ed.y) / 2, 0}, {1000, 2000, 0});
                EXPECT_NEAR(fit == CircleFit::Round ? middle : corner, r, 1e-6 * r);
                EXPECT_LE(corner - middle, 10.0);
            }
        }
    }
}

}  // namespace
}  // namespace pimu::geometry
