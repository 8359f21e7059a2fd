// The isochronal diagram as one computation: its input checks, the phases its progress sees,
// and how a stop and an empty extent end it.
#include "shadow/touji.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "geometry/outline_test_util.h"

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

}  // namespace
}  // namespace pimu::shadow
