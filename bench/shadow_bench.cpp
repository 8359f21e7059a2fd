// The fine pass of the isochronal raster on the example site at the finest interval (2000 cells,
// 10 s, 8:00 to 16:00: 2,879 instants), in one run: counting by united runs (production) against
// painting every instant into the bitmap and counting it by bytes, and against the per-pixel
// reference. All three give the same counts (tests/shadow/touji_raster_test.cpp).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "example_site.h"
#include "shadow/reference_counting.h"
#include "shadow/touji.h"
#include "shadow/touji_raster.h"
#include "shadow/touji_runs.h"

namespace {

using namespace pimu::shadow;

constexpr int kN = 2000;
constexpr double kStep = 10.0 / 60.0;  // minutes
constexpr double kPlane = 4000.0;      // 4 m
constexpr double kStart = 8.0, kEnd = 16.0;

struct Example {
    pimu::geometry::BuildingModel model = pimu::bench::ExampleSite();
    pimu::solar::SolarState sun =
        pimu::solar::MakeSolarState(35.68, pimu::solar::kWinterDeclination);
    Extent extent;
    Example() {
        // The extent the command counts over for "1.5Hr".
        auto grid = std::make_unique<ShadowCountGrid>();
        ToujiInputs in;
        in.PlaneHeight = kPlane;
        in.Checked[0] = true;
        extent = FindToujiHani(model, sun, in, *grid, pimu::NoProgress()).Rect;
    }
};

const Example &Site() {
    static const Example site;
    return site;
}

void Report(benchmark::State &state) {
    state.counters["instants"] = InstantCount(kStart, kEnd, kStep);
    state.counters["edges"] = static_cast<double>(Site().model.AryTatemono.size());
}

void BM_FinePass_Runs(benchmark::State &state) {
    const Example &site = Site();
    auto grid = std::make_unique<ShadowCountGrid>();
    RasterGeometry raster;
    for (auto _ : state) {
        CountFinePass(site.model.AryTatemono, site.sun, site.extent, kPlane, kN, kStep, kStart,
                      kEnd, *grid, pimu::NoProgress(), raster, 1);
        benchmark::DoNotOptimize(grid->At(1000, 1000));
    }
    Report(state);
}

// Every instant painted into the bitmap and counted by whole bytes over its painted range.
void BM_FinePass_Bitmap(benchmark::State &state) {
    const Example &site = Site();
    auto grid = std::make_unique<ShadowCountGrid>();
    const RasterGeometry raster{site.extent.XMin, site.extent.YMin, FineCellSize(site.extent, kN),
                                kN};
    ShadowBitmap bitmap(kN);
    for (auto _ : state) {
        grid->Clear();
        const int m = InstantCount(kStart, kEnd, kStep);
        for (int i = 0; i < m; ++i)
            CountShadowInstant(site.model.AryTatemono, site.sun, InstantTime(kStart, kStep, i),
                               kPlane, raster, bitmap, *grid);
        benchmark::DoNotOptimize(grid->At(1000, 1000));
    }
    Report(state);
}

void BM_FinePass_PerPixel(benchmark::State &state) {
    const Example &site = Site();
    auto grid = std::make_unique<ShadowCountGrid>();
    for (auto _ : state) {
        reference::FinePass(site.model.AryTatemono, site.sun, site.extent, kPlane, kN, kStep,
                            kStart, kEnd, *grid);
        benchmark::DoNotOptimize(grid->At(1000, 1000));
    }
    Report(state);
}

BENCHMARK(BM_FinePass_Runs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FinePass_Bitmap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_FinePass_PerPixel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
