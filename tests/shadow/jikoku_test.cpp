#include "shadow/jikoku.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
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

TEST(CheckJikokuInputs, RefusesWhatCannotBeDrawn) {
    struct Case {
        double start, end, interval;
        JikokuCheck check;
        int instants;
    } cases[] = {
        {8.0, 16.0, 1.0, JikokuCheck::Ok, 9},
        {8.0, 16.0, 0.1, JikokuCheck::Ok, 81},  // drift of the summed steps still reaches 16:00
        {8.0, 8.0, 1.0, JikokuCheck::Ok, 1},
        {8.0, 16.0, 0.0, JikokuCheck::IntervalNotPositive, 0},
        {8.0, 16.0, -1.0, JikokuCheck::IntervalNotPositive, 0},
        {12.0, 10.0, 1.0, JikokuCheck::StartAfterEnd, 0},
        {8.0, 16.0, 0.0009, JikokuCheck::TooManyInstants, 0},
        {7.0, 16.0, 1.0, JikokuCheck::OutsideSunHours, 0},
        {8.0, 17.0, 1.0, JikokuCheck::OutsideSunHours, 0},
        {8.0, 17.0, 4.0, JikokuCheck::Ok, 3},  // the last instant (16:00) is what counts
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.interval);
        int instants = 0;
        EXPECT_EQ(CheckJikokuInputs({c.start, c.end, c.interval, 0.0}, instants), c.check);
        EXPECT_EQ(instants, c.instants);
    }
}

// Answers "stop" at the n-th KeepRunning.
struct StopAt : Progress {
    int calls = 0;
    int at = -1;
    int maximum = -1;
    void Start(int m) override { maximum = m; }
    bool KeepRunning() override { return ++calls != at; }
};

TEST(ComputeJikoku, OneOutlinePerIslandAndInstantWithItsLabelAndStops) {
    const solar::SolarState sun = solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
    std::vector<TLineEnt> edges;
    geometry::testing::AddBox(edges, 0, 0, 10000, 10000, 10000);
    geometry::testing::AddBox(edges, 60000, 0, 10000, 10000, 10000);
    geometry::BuildingModel model;
    model.SetEdges(edges);
    geometry::PolygonWorkspace ws;
    StopAt progress;
    const JikokuDiagram d =
        ComputeJikoku(model, sun, {8.0, 16.0, 0.5, 0.0}, geometry::kHalfPi, ws, progress);
    EXPECT_EQ(progress.maximum, 17);
    ASSERT_EQ(d.Instants.size(), 17u);
    EXPECT_FALSE(d.Stopped);
    for (std::size_t i = 0; i < d.Instants.size(); ++i) {
        const JikokuInstant &in = d.Instants[i];
        EXPECT_DOUBLE_EQ(in.Time, 8.0 + 0.5 * i);
        EXPECT_EQ(in.WholeHour, i % 2 == 0);
        EXPECT_FALSE(in.TraceFailed);
        // Morning sun in the south-east throws shadows to the north-west, and so on: the
        // azimuth has the sign of the hour angle.
        EXPECT_EQ(in.AzimuthDegrees < 0.0, in.Time < 12.0) << in.Time;
        ASSERT_GE(in.Outlines.size(), 1u);
        for (const JikokuOutline &o : in.Outlines) {
            double ymax = -1e300;
            for (const TAcadPoint &p : o.Points) ymax = std::max(ymax, p.y);
            EXPECT_NEAR(o.Label.y, ymax, 1e-6);  // north is up
        }
    }
    // Two separate boxes: two islands at noon, the western first.
    const JikokuInstant &noon = d.Instants[8];
    ASSERT_EQ(noon.Outlines.size(), 2u);
    EXPECT_LT(noon.Outlines[0].Points[0].x, noon.Outlines[1].Points[0].x);

    // Stopped at the first chance, inside the edge checks and inside a trace: never more
    // instants than were announced, and the run says it stopped.
    for (int at : {1, 5, 40, 400}) {
        SCOPED_TRACE(at);
        StopAt stopping;
        stopping.at = at;
        const JikokuDiagram s =
            ComputeJikoku(model, sun, {8.0, 16.0, 0.5, 0.0}, geometry::kHalfPi, ws, stopping);
        EXPECT_TRUE(s.Stopped);
        EXPECT_LT(s.Instants.size(), 17u);
        EXPECT_EQ(stopping.calls, at);
    }
}

}  // namespace
}  // namespace pimu::shadow
