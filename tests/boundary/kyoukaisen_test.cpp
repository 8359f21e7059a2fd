// Deemed boundary lines: the shape of the lines on plain sites, nothing made from an open outline,
// equality with the corner-by-corner construction where that one is right, and an independent
// check of every line against the site buffered with round joins by a polygon library.
#include "boundary/kyoukaisen.h"

#include <gtest/gtest.h>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/primitives.h"
#include "literal_kyoukaisen.h"

namespace pimu::boundary {
namespace {

namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint, false>;  // counter-clockwise
using BMulti = bg::model::multi_polygon<BPolygon>;

const double kQuarterBulge = std::tan(22.5 * geometry::kDegToRad);

TLineEnt Seg(double x0, double y0, double x1, double y1) {
    TLineEnt e;
    e.st = {x0, y0, 0.0};
    e.ed = {x1, y1, 0.0};
    return e;
}

// The sides of a closed polygon, as a closed polyline becomes edges.
std::vector<TLineEnt> Closed(const std::vector<TAcadPoint> &pts) {
    std::vector<TLineEnt> edges;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const TAcadPoint a = pts[i];
        const TAcadPoint b = pts[(i + 1) % pts.size()];
        edges.push_back(Seg(a.x, a.y, b.x, b.y));
    }
    return edges;
}

std::vector<TAcadPoint> Polygon(std::initializer_list<std::pair<double, double>> xy) {
    std::vector<TAcadPoint> pts;
    for (auto [x, y] : xy) pts.push_back({x, y, 0.0});
    return pts;
}

// A disc-like site: a circle of radius r cut into 10-degree chords, as the acquisition does.
std::vector<TAcadPoint> Disc(double cx, double cy, double r) {
    std::vector<TAcadPoint> pts;
    for (int k = 0; k < 36; ++k) {
        const double a = k * 10.0 * geometry::kDegToRad;
        pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a), 0.0});
    }
    return pts;
}

// The area outside the site's outer boundary's holes of the site buffered by d with round joins.
double BufferedArea(const std::vector<TLineEnt> &outline, double d) {
    BPolygon poly;
    for (const TLineEnt &s : outline) bg::append(poly.outer(), BPoint(s.st.x, s.st.y));
    bg::correct(poly);
    BMulti result;
    bg::buffer(poly, result, bg::strategy::buffer::distance_symmetric<double>(d),
               bg::strategy::buffer::side_straight(), bg::strategy::buffer::join_round(7200),
               bg::strategy::buffer::end_round(), bg::strategy::buffer::point_circle(7200));
    double area = 0.0;
    for (const BPolygon &p : result) {
        BPolygon outer;
        outer.outer() = p.outer();
        area = std::max(area, bg::area(outer));
    }
    return area;
}

int ArcCount(const KyoukaisenLine &line) {
    int n = 0;
    for (const KyoukaisenVertex &v : line.vertices) n += v.bulge ? 1 : 0;
    return n;
}

// ---- The plain sites ------------------------------------------------------------------------

TEST(Kyoukaisen, RectangleGivesTwoRectanglesWithQuarterArcs) {
    const KyoukaisenResult r =
        MakeKyoukaisen(Closed(Polygon({{0, 0}, {20000, 0}, {20000, 10000}, {0, 10000}})));
    ASSERT_EQ(KyoukaisenStatus::Done, r.status);
    ASSERT_EQ(2u, r.lines.size());
    for (std::size_t j = 0; j < 2; ++j) {
        const double d = 5000.0 * static_cast<double>(j + 1);
        const KyoukaisenLine &line = r.lines[j];
        EXPECT_EQ(d, line.distance);
        // From the moved bottom side counter-clockwise; an arc leaves every second vertex.
        const std::vector<TAcadPoint> expected = {{0, -d, 0},
                                                  {20000, -d, 0},
                                                  {20000 + d, 0, 0},
                                                  {20000 + d, 10000, 0},
                                                  {20000, 10000 + d, 0},
                                                  {0, 10000 + d, 0},
                                                  {-d, 10000, 0},
                                                  {-d, 0, 0}};
        ASSERT_EQ(expected.size(), line.vertices.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(expected[i].x, line.vertices[i].pt.x, 1e-9) << d << " " << i;
            EXPECT_NEAR(expected[i].y, line.vertices[i].pt.y, 1e-9) << d << " " << i;
            if (i % 2 == 1) {
                ASSERT_TRUE(line.vertices[i].bulge.has_value()) << d << " " << i;
                EXPECT_NEAR(kQuarterBulge, *line.vertices[i].bulge, 1e-15);
            } else {
                EXPECT_FALSE(line.vertices[i].bulge.has_value()) << d << " " << i;
            }
        }
        EXPECT_NEAR(20000.0 * 10000.0 + 2.0 * d * 30000.0 + geometry::kPi * d * d,
                    EnclosedArea(line), 1e-3);
    }
}

TEST(Kyoukaisen, LShapedSiteIsCutAtItsConcaveCorner) {
    const KyoukaisenResult r = MakeKyoukaisen(Closed(
        Polygon({{0, 0}, {30000, 0}, {30000, 15000}, {15000, 15000}, {15000, 30000}, {0, 30000}})));
    ASSERT_EQ(KyoukaisenStatus::Done, r.status);
    for (const KyoukaisenLine &line : r.lines) {
        const double d = line.distance;
        EXPECT_EQ(11u, line.vertices.size()) << d;  // six sides, five arcs
        EXPECT_EQ(5, ArcCount(line)) << d;
        bool cut = false;
        for (const KyoukaisenVertex &v : line.vertices) {
            if (v.bulge) {
                EXPECT_NEAR(kQuarterBulge, *v.bulge, 1e-15);
            }
            if (geometry::Near2D(v.pt, {15000 + d, 15000 + d, 0})) {
                cut = true;
                EXPECT_FALSE(v.bulge.has_value()) << d;
            }
        }
        EXPECT_TRUE(cut) << d;
    }
}

TEST(Kyoukaisen, OpenOrTooSmallSitesDrawNothing) {
    struct Case {
        const char *name;
        std::vector<TLineEnt> edges;
        KyoukaisenStatus status;
    };
    const std::vector<Case> cases = {
        {"no edge", {}, KyoukaisenStatus::TooFewEdges},
        {"two lines",
         {Seg(0, 0, 20000, 0), Seg(20000, 0, 20000, 10000)},
         KyoukaisenStatus::TooFewEdges},
        {"three lines, open",
         {Seg(0, 0, 20000, 0), Seg(20000, 0, 20000, 10000), Seg(0, 10000, 0, 0)},
         KyoukaisenStatus::TraceFailed},
        {"three separate lines",
         {Seg(0, 0, 100, 0), Seg(0, 500, 100, 500), Seg(0, 900, 100, 900)},
         KyoukaisenStatus::TraceFailed},
    };
    for (const Case &c : cases) {
        const KyoukaisenResult r = MakeKyoukaisen(c.edges);
        EXPECT_EQ(c.status, r.status) << c.name;
        EXPECT_TRUE(r.lines.empty()) << c.name;
    }
}

TEST(Kyoukaisen, StopDuringTheTraceMakesNothing) {
    class StopAtOnce : public Progress {
    public:
        bool KeepRunning() override { return false; }
    } stop;
    const KyoukaisenResult r =
        MakeKyoukaisen(Closed(Polygon({{0, 0}, {20000, 0}, {20000, 10000}, {0, 10000}})), stop);
    EXPECT_EQ(KyoukaisenStatus::Stopped, r.status);
    EXPECT_TRUE(r.lines.empty());
}

// ---- Against the corner-by-corner construction and a polygon library --------------------------

struct Site {
    std::string name;
    std::vector<TLineEnt> edges;
    bool literalIsRight;  // the corner-by-corner construction gives the right line here
};

std::vector<Site> Sites() {
    std::vector<Site> sites;
    sites.push_back(
        {"rectangle", Closed(Polygon({{0, 0}, {20000, 0}, {20000, 10000}, {0, 10000}})), true});
    sites.push_back(
        {"L, long arms",
         Closed(Polygon(
             {{0, 0}, {30000, 0}, {30000, 15000}, {15000, 15000}, {15000, 30000}, {0, 30000}})),
         true});
    sites.push_back({"disc in 10-degree chords", Closed(Disc(40000, 30000, 12000)), true});
    sites.push_back({"turned quadrilateral",
                     Closed(Polygon({{1000, 2000}, {23000, -3000}, {27000, 14000}, {4000, 19000}})),
                     true});
    // A line across the site splits its sides: the outline runs straight on at two corners.
    {
        auto edges = Closed(Polygon({{0, 0}, {20000, 0}, {20000, 10000}, {0, 10000}}));
        edges.push_back(Seg(8000, 0, 8000, 10000));
        sites.push_back({"rectangle with a dividing line", edges, true});
    }
    // Lines drawn past the corners, as sites often are.
    sites.push_back({"sides drawn past the corners",
                     {Seg(-1000, 0, 21000, 0), Seg(20000, -1000, 20000, 11000),
                      Seg(21000, 10000, -1000, 10000), Seg(0, 11000, 0, -1000)},
                     true});
    // Where the corner-by-corner construction goes wrong: the inner sides of this L are exactly
    // 10 m long, so the 10 m offsets meet at their ends and a 270-degree arc would be drawn.
    sites.push_back(
        {"L, inner sides of 10 m",
         Closed(Polygon(
             {{0, 0}, {20000, 0}, {20000, 10000}, {10000, 10000}, {10000, 20000}, {0, 20000}})),
         false});
    // A 1 m step in a long side: the short side between the two corners is swallowed.
    sites.push_back(
        {"1 m step",
         Closed(Polygon(
             {{0, 0}, {12000, 0}, {12000, -1000}, {25000, -1000}, {25000, 15000}, {0, 15000}})),
         false});
    // A notch 4 m wide: the moved sides of its walls overlap and it is filled.
    sites.push_back({"narrow notch",
                     Closed(Polygon({{0, 0},
                                     {13000, 0},
                                     {13000, 12000},
                                     {17000, 12000},
                                     {17000, 0},
                                     {30000, 0},
                                     {30000, 20000},
                                     {0, 20000}})),
                     false});
    // A ring with a 4 m gap: the gap closes and leaves a hole, which is not part of the line.
    sites.push_back({"ring with a narrow gap",
                     Closed(Polygon({{0, 0},
                                     {28000, 0},
                                     {28000, 5000},
                                     {5000, 5000},
                                     {5000, 55000},
                                     {55000, 55000},
                                     {55000, 5000},
                                     {32000, 5000},
                                     {32000, 0},
                                     {60000, 0},
                                     {60000, 60000},
                                     {0, 60000}})),
                     false});
    // A thin spike and sharp inlets, all wide enough for the corner-by-corner line.
    sites.push_back({"star",
                     Closed(Polygon({{0, 0},
                                     {9000, 4000},
                                     {20000, 0},
                                     {14000, 9000},
                                     {24000, 16000},
                                     {12000, 13000},
                                     {11000, 30000},
                                     {8000, 13000},
                                     {-3000, 14000},
                                     {5000, 8000}})),
                     true});
    return sites;
}

// The outline engine and the literal routines, the reference, trace the site.
struct Tracer {
    const char *name;
    SiteTracer trace;
};
const Tracer kTracers[] = {{"engine", TraceSiteRegions}, {"literal", TraceSiteLiteral}};

TEST(Kyoukaisen, EnclosesTheSiteBufferedWithRoundJoins) {
    for (const Site &site : Sites()) {
        for (const Tracer &tracer : kTracers) {
            SCOPED_TRACE(tracer.name);
            const KyoukaisenResult r = MakeKyoukaisen(site.edges, NoProgress(), tracer.trace);
            ASSERT_EQ(KyoukaisenStatus::Done, r.status) << site.name;
            ASSERT_EQ(2u, r.lines.size()) << site.name;
            for (const KyoukaisenLine &line : r.lines) {
                const double expected = BufferedArea(r.outline, line.distance);
                EXPECT_NEAR(expected, EnclosedArea(line), 1e-6 * expected)
                    << site.name << " at " << line.distance;
                for (const KyoukaisenVertex &v : line.vertices) {
                    if (v.bulge) {  // arcs only ever turn counter-clockwise, by less than a half
                                    // turn
                        EXPECT_GT(*v.bulge, 0.0) << site.name;
                        EXPECT_LT(*v.bulge, 1.0) << site.name;
                    }
                }
            }
        }
    }
}

// Sites of 20,000 vertices, round and with deep bays (concave stretches the lines pass over): the
// pieces that cross and the sides near each piece are found through boxes. The round site's lines
// enclose its area, perimeter times d and a disc of radius d (the closed form of a convex
// outline's offset); the bays' lines enclose the independent buffer, which Boost joins round
// every tiny corner with a few chords and so finds up to 1e-4 smaller. A stop while the pieces
// are cut gives no line.
TEST(Kyoukaisen, ManyVertexSitesEncloseTheBuffer) {
    constexpr int kN = 20000;
    for (const double wave : {0.0, 2000.0}) {
        std::vector<TAcadPoint> ring;
        for (int k = 0; k < kN; ++k) {
            const double a = geometry::kTwoPi * k / kN;
            const double r = 40000 + wave * std::sin(geometry::kTwoPi * (k % 1000) / 1000);
            ring.push_back({r * std::cos(a), r * std::sin(a), 0.0});
        }
        const std::vector<TLineEnt> outline = Closed(ring);
        for (double d : kKyoukaisenDistances) {
            const KyoukaisenLine line = OffsetOutline(outline, d);
            ASSERT_GE(line.vertices.size(), 3u) << d;
            if (wave == 0.0) {
                double area = 0.0, perimeter = 0.0;
                for (const TLineEnt &e : outline) {
                    area += (e.st.x * e.ed.y - e.ed.x * e.st.y) / 2.0;
                    perimeter += std::hypot(e.ed.x - e.st.x, e.ed.y - e.st.y);
                }
                const double expected = area + perimeter * d + geometry::kPi * d * d;
                EXPECT_NEAR(expected, EnclosedArea(line), 1e-9 * expected) << d;
            } else {
                const double expected = BufferedArea(outline, d);
                EXPECT_NEAR(expected, EnclosedArea(line), 2e-4 * expected) << d;
            }
        }
        struct StopAt : Progress {
            int calls = 0;
            bool KeepRunning() override { return ++calls < 3; }
        } stop;
        EXPECT_TRUE(OffsetOutline(outline, 5000.0, stop).vertices.empty());
        EXPECT_GE(stop.calls, 3);
    }
}

// The corner-by-corner line with its repeated points left out: the closing copy of the first
// vertex and the second point of each 0-degree arc.
KyoukaisenLine WithoutRepeats(KyoukaisenLine line) {
    std::vector<KyoukaisenVertex> out;
    for (std::size_t i = 0; i + 1 < line.vertices.size(); ++i) {
        KyoukaisenVertex v = line.vertices[i];
        if (v.bulge && *v.bulge == 0.0) continue;  // its point follows again
        out.push_back(v);
    }
    line.vertices = out;
    return line;
}

TEST(Kyoukaisen, EqualsTheCornerByCornerLineWhereThatIsRight) {
    for (const Site &site : Sites()) {
        const KyoukaisenResult r = MakeKyoukaisen(site.edges, NoProgress(), TraceSiteLiteral);
        ASSERT_EQ(KyoukaisenStatus::Done, r.status) << site.name;
        bool literalDiffers = false;
        for (const KyoukaisenLine &line : r.lines) {
            const KyoukaisenLine literal =
                WithoutRepeats(testing::LiteralOffsetOutline(r.outline, line.distance));
            const double literalArea = EnclosedArea(literal);
            if (!site.literalIsRight) {
                // The sites that show why the line is not built corner by corner.
                literalDiffers =
                    literalDiffers || std::fabs(literalArea - EnclosedArea(line)) > 1e4;
                continue;
            }
            ASSERT_EQ(literal.vertices.size(), line.vertices.size()) << site.name;
            for (std::size_t i = 0; i < line.vertices.size(); ++i) {
                const KyoukaisenVertex &a = literal.vertices[i];
                const KyoukaisenVertex &b = line.vertices[i];
                EXPECT_TRUE(geometry::Near2D(a.pt, b.pt, 1e-6)) << site.name << " " << i;
                ASSERT_EQ(a.bulge.has_value(), b.bulge.has_value()) << site.name << " " << i;
                if (a.bulge) {
                    EXPECT_NEAR(*a.bulge, *b.bulge, 1e-9) << site.name << " " << i;
                }
            }
        }
        EXPECT_EQ(!site.literalIsRight, literalDiffers) << site.name;
    }
}

}  // namespace
}  // namespace pimu::boundary
