// The conversion of picked entities into building edges, one case per kind of entity.
#include "geometry/acquisition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

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
             EXPECT_FALSE(HasNegativeCoordinate(a.AryLine));
         }},
        {"negative thickness: top below ground, flagged",
         [](EntityArrays &a) {
             a.AryLine.push_back(Line({0, 0, 0}, {1000, 0, 0}, -3000));
         },
         4,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[1].st, {0, 0, -3000});
             EXPECT_TRUE(HasNegativeCoordinate(a.AryLine));
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
        {"circle: 35 chords, none at angle 0",
         [](EntityArrays &a) {
             a.AryCircle.push_back({{5000, 5000, 0}, 1000, 0, {0, 0, 1}});
         },
         35,
         [](const EntityArrays &a) {
             ExpectPoint(a.AryLine[0].st, PolarPoint({5000, 5000, 0}, 10 * kDegToRad, 1000));
             ExpectPoint(a.AryLine[34].st, PolarPoint({5000, 5000, 0}, 350 * kDegToRad, 1000));
             ExpectPoint(a.AryLine[34].ed, a.AryLine[0].st);
             for (const TLineEnt &e : a.AryLine) EXPECT_EQ(e.st.z, 0.0);
         }},
        {"circle with thickness: the ring, then per chord a raised chord and two verticals",
         [](EntityArrays &a) {
             a.AryCircle.push_back({{5000, 5000, 100}, 1000, 2000, {0, 0, 1}});
         },
         35 * 4,
         [](const EntityArrays &a) {
             for (int k = 0; k < 35; ++k) {
                 const TLineEnt &chord = a.AryLine[k];
                 const TLineEnt &top = a.AryLine[35 + 3 * k];
                 ExpectPoint(top.st, {chord.st.x, chord.st.y, 2100});
                 ExpectPoint(top.ed, {chord.ed.x, chord.ed.y, 2100});
                 ExpectPoint(a.AryLine[36 + 3 * k].st, chord.st);
                 ExpectPoint(a.AryLine[36 + 3 * k].ed, top.st);
                 ExpectPoint(a.AryLine[37 + 3 * k].st, top.ed);
                 ExpectPoint(a.AryLine[37 + 3 * k].ed, chord.ed);
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

}  // namespace
}  // namespace pimu::geometry
