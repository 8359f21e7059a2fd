// Counting the isochronal raster: the byte-wise production counting against the per-pixel
// reference, on a site of a few blocks at the 1600 raster (the "30 s" interval).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "shadow/reference_counting.h"
#include "shadow/touji_raster.h"

namespace {

using pimu::geometry::TLineEnt;
using namespace pimu::shadow;

void AddBox(std::vector<TLineEnt> &edges, double x0, double y0, double x1, double y1, double h) {
    const double xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        for (const auto &[z0, z1] : {std::pair{0.0, 0.0}, {h, h}}) {
            TLineEnt e;
            e.st = {xs[i], ys[i], z0};
            e.ed = {xs[j], ys[j], z1};
            edges.push_back(e);
        }
        TLineEnt v;
        v.st = {xs[i], ys[i], 0};
        v.ed = {xs[i], ys[i], h};
        edges.push_back(v);
    }
}

// A mid-rise block with a tower, a slab and two low wings; heights 9 to 45 m.
struct Site {
    std::vector<TLineEnt> edges;
    pimu::solar::SolarState sun =
        pimu::solar::MakeSolarState(35.68, pimu::solar::kWinterDeclination);
    Extent extent{-80000, -20000, 100000, 140000};
    Site() {
        AddBox(edges, 0, 0, 30000, 18000, 31000);
        AddBox(edges, 8000, 4000, 20000, 14000, 45000);
        AddBox(edges, 32000, 0, 40000, 40000, 19000);
        AddBox(edges, -15000, -5000, -2000, 10000, 9000);
        AddBox(edges, 42000, 20000, 60000, 28000, 12000);
    }
};

constexpr int kN = 1600;
constexpr double kPlane = 4000;  // 4 m plane
constexpr double kStep = 0.5;    // minutes: the "30 s" interval, 959 instants from 8:00 to 16:00

void BM_FinePass_Production(benchmark::State &state) {
    const Site site;
    auto grid = std::make_unique<ShadowCountGrid>();
    RasterGeometry raster;
    for (auto _ : state) {
        const PassSummary s =
            CountFinePass(site.edges, site.sun, site.extent, kPlane, kN, kStep, 8.0, 16.0, *grid,
                          pimu::NoProgress(), raster, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(grid->At(800, 800));
    }
    state.counters["instants"] = InstantCount(8.0, 16.0, kStep) - 1;
}

void BM_FinePass_Reference(benchmark::State &state) {
    const Site site;
    auto grid = std::make_unique<ShadowCountGrid>();
    for (auto _ : state) {
        reference::FinePass(site.edges, site.sun, site.extent, kPlane, kN, kStep, 8.0, 16.0, *grid);
        benchmark::DoNotOptimize(grid->At(800, 800));
    }
    state.counters["instants"] = InstantCount(8.0, 16.0, kStep) - 1;
}

// One instant (10:00), split into painting and counting.
void BM_Instant_Paint(benchmark::State &state) {
    const Site site;
    const RasterGeometry raster{site.extent.XMin, site.extent.YMin, 180000.0 / kN, kN};
    ShadowBitmap bitmap(kN);
    PaintedRange range;
    for (auto _ : state) {
        bitmap.Clear();
        bitmap.SetColor(PixelColor::Black);
        benchmark::DoNotOptimize(
            PaintShadowBitmap(site.edges, site.sun, 10.0, kPlane, raster, bitmap, range));
    }
}

void BM_Instant_CountProduction(benchmark::State &state) {
    const Site site;
    const RasterGeometry raster{site.extent.XMin, site.extent.YMin, 180000.0 / kN, kN};
    ShadowBitmap bitmap(kN);
    bitmap.SetColor(PixelColor::Black);
    PaintedRange range;
    PaintShadowBitmap(site.edges, site.sun, 10.0, kPlane, raster, bitmap, range);
    auto grid = std::make_unique<ShadowCountGrid>();
    for (auto _ : state) {
        CountShadowBitmap(bitmap, range, *grid);
        benchmark::DoNotOptimize(grid->At(800, 800));
    }
}

void BM_Instant_CountReference(benchmark::State &state) {
    const Site site;
    const RasterGeometry raster{site.extent.XMin, site.extent.YMin, 180000.0 / kN, kN};
    ShadowBitmap bitmap(kN);
    bitmap.SetColor(PixelColor::Black);
    PaintedRange range;
    PaintShadowBitmap(site.edges, site.sun, 10.0, kPlane, raster, bitmap, range);
    auto grid = std::make_unique<ShadowCountGrid>();
    for (auto _ : state) {
        reference::CountEveryPixel(bitmap, *grid);
        benchmark::DoNotOptimize(grid->At(800, 800));
    }
}

// Argument: counting threads.
BENCHMARK(BM_FinePass_Production)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FinePass_Reference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Instant_Paint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Instant_CountProduction)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Instant_CountReference)->Unit(benchmark::kMicrosecond);

}  // namespace
