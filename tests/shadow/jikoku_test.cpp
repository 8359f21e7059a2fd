#include "shadow/jikoku.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "geometry/outline_test_util.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;
using geometry::TLineEnt;
using geometry::testing::Edge;
using geometry::testing::Seg;

TEST(NorthmostVertex, FarthestTowardsNorthLaterVisitedOnTies) {
    const std::vector<TLineEnt> square = {Seg(0, 0, 10, 0), Seg(10, 0, 10, 10), Seg(10, 10, 0, 10),
                                          Seg(0, 10, 0, 0)};
    // (10,10) and (0,10) are equally far north; the later one wins.
    EXPECT_EQ(NorthmostVertex(square, geometry::kHalfPi), (TAcadPoint{0, 10, 0}));

    const std::vector<TLineEnt> triangle = {Seg(0, 0, 20, 5), Seg(20, 5, 0, 10), Seg(0, 10, 0, 0)};
    EXPECT_EQ(NorthmostVertex(triangle, 0.0), (TAcadPoint{20, 5, 0}));            // north to +x
    EXPECT_EQ(NorthmostVertex(triangle, geometry::kPi), (TAcadPoint{0, 10, 0}));  // north to -x

    // Ties by equal values, told apart by z: an end is looked at only when its segment's start
    // did not reach the best so far.
    const std::vector<TLineEnt> ties = {Edge({0, 0, 0}, {0, 10, 1}), Edge({0, -5, 0}, {0, 10, 2}),
                                        Edge({0, 10, 3}, {0, 0, 0})};
    EXPECT_EQ(NorthmostVertex(ties, geometry::kHalfPi).z, 3.0);
    EXPECT_EQ(NorthmostVertex({ties[0]}, geometry::kHalfPi), (TAcadPoint{0, 0, 0}));
    EXPECT_EQ(NorthmostVertex({ties[0], ties[1]}, geometry::kHalfPi).z, 2.0);
}

TEST(GetPimuHani, SamplesWholeHoursFromStartWhileNotPastEnd) {
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    geometry::BuildingModel model;
    model.SetEdges({Edge({1000, 2000, 0}, {1000, 2000, 10000})});  // a pole, 10 m
    const double h = 4000.0;
    const auto tip = [&](double t) {
        const solar::SunResult p = solar::SunPosition(sun, t);
        return geometry::PolarPoint(TAcadPoint{1000, 2000, 10000},
                                    solar::ShadowAngle(sun, p.Azimuth), (10000 - h) * p.Ratio);
    };

    const auto expectSamples = [&](double end, std::vector<double> hours) {
        double ex[4] = {1000, 2000, 1000, 2000};
        for (double t : hours) {
            const TAcadPoint p = tip(t);
            ex[0] = std::min(ex[0], p.x);
            ex[1] = std::min(ex[1], p.y);
            ex[2] = std::max(ex[2], p.x);
            ex[3] = std::max(ex[3], p.y);
        }
        double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
        GetPimuHani(model, sun, h, 8.0, end, xmin, ymin, xmax, ymax);
        EXPECT_EQ(xmin, ex[0]);
        EXPECT_EQ(ymin, ex[1]);
        EXPECT_EQ(xmax, ex[2]);
        EXPECT_EQ(ymax, ex[3]);
    };
    expectSamples(16.0, {8, 9, 10, 11, 12, 13, 14, 15, 16});
    expectSamples(15.5, {8, 9, 10, 11, 12, 13, 14, 15});  // the last sample is 15
    EXPECT_NE(tip(16.0).x, tip(15.0).x);

    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    // Below the plane only the edge itself counts.
    GetPimuHani(model, sun, 20000.0, 8.0, 16.0, xmin, ymin, xmax, ymax);
    EXPECT_EQ(xmin, 1000.0);
    EXPECT_EQ(xmax, 1000.0);

    double a = 1, b = 2, c = 3, d = 4;
    GetPimuHani(geometry::BuildingModel{}, sun, h, 8.0, 16.0, a, b, c, d);
    EXPECT_EQ(a, 1.0);
    EXPECT_EQ(b, 2.0);
    EXPECT_EQ(c, 3.0);
    EXPECT_EQ(d, 4.0);
}

TEST(GetPimuHani, RangesWithoutSamplesCoverTheEdges) {
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    geometry::BuildingModel model;
    model.SetEdges({Edge({0, 0, 0}, {5000, -3000, 0}), Edge({-2000, 4000, 0}, {0, 0, 0})});
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    GetPimuHani(model, sun, 0.0, 16.0, 8.0, xmin, ymin, xmax, ymax);  // start after end
    EXPECT_EQ(xmin, -2000.0);
    EXPECT_EQ(xmax, 5000.0);
    EXPECT_EQ(ymin, -3000.0);
    EXPECT_EQ(ymax, 4000.0);
    GetPimuHani(model, sun, 0.0, -1e300, 8.0, xmin, ymin, xmax, ymax);  // would never end
    EXPECT_EQ(xmax, 5000.0);
}

}  // namespace
}  // namespace pimu::shadow
