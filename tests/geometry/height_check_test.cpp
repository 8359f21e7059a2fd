// Which picked entities give the buildings no height: one case per way a height goes missing,
// and the footprints that stand under a raised entity.
#include "geometry/height_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace pimu::geometry {
namespace {

TLineEnt Line(TAcadPoint st, TAcadPoint ed, double thickness = 0.0) {
    TLineEnt l;
    l.st = st;
    l.ed = ed;
    l.atumi = thickness;
    return l;
}

void AddLine(EntityArrays &a, const std::string &hand, TAcadPoint st, TAcadPoint ed,
             double thickness = 0.0) {
    a.AryLine.push_back(Line(st, ed, thickness));
    a.LineSource.push_back({hand, "B"});
}

// A closed 10 x 8 m outline at `elevation` with `thickness`.
void AddBox(EntityArrays &a, const std::string &hand, double elevation, double thickness,
            double x = 0.0) {
    TLwpEnt p;
    p.hand = hand;
    p.code70 = 1;
    p.code38 = elevation;
    p.code39 = p.atumi = thickness;
    a.AryLwp.push_back(p);
    a.LwpSource.push_back({hand, "B"});
    for (TAcadPoint v : {TAcadPoint{x, 0, elevation}, TAcadPoint{x + 10000, 0, elevation},
                         TAcadPoint{x + 10000, 8000, elevation}, TAcadPoint{x, 8000, elevation}})
        a.AryLwpEle.push_back({hand, v, 0.0});
}

void AddCircle(EntityArrays &a, const std::string &hand, TAcadPoint centre, double thickness) {
    TCircleEnt c;
    c.center = centre;
    c.hankei = 3000;
    c.atumi = thickness;
    a.AryCircle.push_back(c);
    a.CircleSource.push_back({hand, "B"});
}

struct Case {
    const char *what;
    std::function<void(EntityArrays &)> fill;
    std::vector<std::string> named;  // handles behind the fault's prefix (kPrefix)
};

// No height, negative thickness, too large, too high, far from the others.
const std::string kPrefix[] = {"", "-", "L", "H", "F"};

TEST(HeightCheck, EntitiesWithoutHeight) {
    const Case cases[] = {
        {"a box with a thickness", [](EntityArrays &a) { AddBox(a, "A", 0, 9000); }, {}},
        {"an outline drawn at a height: a roof standing on the ground",
         [](EntityArrays &a) { AddBox(a, "A", 9000, 0); },
         {}},
        {"the thickness lost", [](EntityArrays &a) { AddBox(a, "A", 0, 0); }, {"A"}},
        {"a negative thickness", [](EntityArrays &a) { AddBox(a, "A", 0, -21000); }, {"-A"}},
        {"a negative thickness hanging from a height",
         [](EntityArrays &a) { AddBox(a, "A", 30000, -21000); },
         {"-A"}},
        {"below the ground", [](EntityArrays &a) { AddBox(a, "A", -5000, 3000); }, {"A"}},
        {"four lines without thickness",
         [](EntityArrays &a) {
             AddLine(a, "1", {0, 0, 0}, {10000, 0, 0});
             AddLine(a, "2", {10000, 0, 0}, {10000, 8000, 0});
             AddLine(a, "3", {10000, 8000, 0}, {0, 8000, 0});
             AddLine(a, "4", {0, 8000, 0}, {0, 0, 0});
         },
         {"1", "2", "3", "4"}},
        {"a wall of lines with thickness, a flat line beside it",
         [](EntityArrays &a) {
             AddLine(a, "1", {0, 0, 0}, {10000, 0, 0}, 6000);
             AddLine(a, "2", {0, 5000, 0}, {10000, 5000, 0});
         },
         {"2"}},
        {"a wireframe: bottom lines under the top, verticals at the corners",
         [](EntityArrays &a) {
             AddLine(a, "b", {0, 0, 0}, {10000, 0, 0});
             AddLine(a, "t", {0, 0, 6000}, {10000, 0, 6000});
             AddLine(a, "v1", {0, 0, 0}, {0, 0, 6000});
             AddLine(a, "v2", {10000, 0, 0}, {10000, 0, 6000});
         },
         {}},
        {"a footprint under an outline drawn at a height",
         [](EntityArrays &a) {
             AddBox(a, "roof", 9000, 0);
             AddBox(a, "foot", 0, 0);
         },
         {}},
        {"a footprint beside, not under, a raised outline",
         [](EntityArrays &a) {
             AddBox(a, "roof", 9000, 0);
             AddBox(a, "foot", 0, 0, 500);
         },
         {"foot"}},
        {"one volume of two lost its thickness",
         [](EntityArrays &a) {
             AddBox(a, "A", 0, 9000);
             AddBox(a, "B", 0, 0, 20000);
         },
         {"B"}},
        {"circles: a tower, its flat footprint, a flat one elsewhere",
         [](EntityArrays &a) {
             AddCircle(a, "T", {5000, 5000, 0}, 30000);
             AddCircle(a, "F", {5000, 5000, 0}, 0);
             AddCircle(a, "X", {50000, 5000, 0}, 0);
             AddCircle(a, "N", {80000, 5000, 0}, -3000);
         },
         {"X", "-N"}},
        {"a circle of radius 1e9: wider than a site",
         [](EntityArrays &a) {
             AddBox(a, "A", 0, 9000);
             AddCircle(a, "C", {5000, 5000, 0}, 30000);
             a.AryCircle.back().hankei = 1e9;
         },
         {"LC"}},
        {"a thickness of 1e9: higher than a building",
         [](EntityArrays &a) { AddBox(a, "A", 0, 1e9); },
         {"HA"}},
        {"a bulge of 1e4 on a 10 m side: an arc wider than a site",
         [](EntityArrays &a) {
             AddBox(a, "A", 0, 9000);
             a.AryLwpEle[1].code42 = 1e4;
         },
         {"LA"}},
        {"a bulge of 100 stays within the site",
         [](EntityArrays &a) {
             AddBox(a, "A", 0, 9000);
             a.AryLwpEle[1].code42 = 100;
         },
         {}},
        {"one of three boxes 20 km away, one at 4 km",
         [](EntityArrays &a) {
             AddBox(a, "A", 0, 9000);
             AddBox(a, "B", 0, 9000, 4000000);
             AddBox(a, "C", 0, 9000, 20000000);
         },
         {"FC"}},
        {"a record without a source is named without a handle",
         [](EntityArrays &a) {
             a.AryLine.push_back(Line({0, 0, 0}, {1000, 0, 0}));
         },
         {""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EntityArrays a;
        c.fill(a);
        std::vector<std::string> named;
        for (const HeightFinding &f : FindEntitiesWithoutHeight(a)) {
            named.push_back(kPrefix[static_cast<int>(f.Fault)] + f.Hand);
            if (!f.Hand.empty()) {
                EXPECT_EQ(f.Layer, "B");
            }
        }
        EXPECT_EQ(named, c.named);
    }
}

}  // namespace
}  // namespace pimu::geometry
