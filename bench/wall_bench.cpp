// Counting the wall isochrones: the production pass (byte-wise counting, one or two threads)
// against the per-pixel reference, for a 40 m wall facing a site of a few blocks at the 1200
// raster (the "60 s" interval, 480 instants from 8:00 to 16:00).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "shadow/reference_counting.h"
#include "shadow/wall.h"

namespace {

using pimu::geometry::TLineEnt;
using namespace pimu::shadow;

void AddBox(std::vector<TLineEnt> &edges, double x0, double y0, double x1, double y1, double h) {
    const double xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
        TLineEnt top;
        top.st = {xs[i], ys[i], h};
        top.ed = {xs[(i + 1) % 4], ys[(i + 1) % 4], h};
        edges.push_back(top);
    }
}

struct Site {
    std::vector<TLineEnt> edges;
    pimu::solar::SolarState sun =
        pimu::solar::MakeSolarState(35.68, pimu::solar::kWinterDeclination);
    WallLine wall;
    RasterGeometry raster;
    Site() {
        AddBox(edges, 0, 0, 30000, 18000, 31000);
        AddBox(edges, 8000, 4000, 20000, 14000, 45000);
        AddBox(edges, 32000, 0, 40000, 16000, 19000);
        AddBox(edges, -15000, -5000, -2000, 10000, 9000);
        wall.st = {-10000, 30000, 25000};
        wall.ed = {30000, 30000, 25000};
        raster = {-2000, -2000, 44000.0 / kN, kN};
    }
    static constexpr int kN = 1200;
};

constexpr double kStep = 1.0;  // minutes

void BM_WallPass_Production(benchmark::State &state) {
    const Site site;
    auto grid = std::make_unique<ShadowCountGrid>();
    for (auto _ : state) {
        const PassSummary s =
            CountWallPass(site.edges, site.wall, site.sun, site.raster, kStep, 8.0, 16.0, *grid,
                          pimu::NoProgress(), static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(grid->At(600, 600));
    }
}

void BM_WallPass_Reference(benchmark::State &state) {
    const Site site;
    auto grid = std::make_unique<ShadowCountGrid>();
    ShadowBitmap bitmap(Site::kN);
    const int m = InstantCount(8.0, 16.0, kStep);
    for (auto _ : state) {
        grid->Clear();
        for (int i = 0; i < m; ++i) {
            bitmap.Clear();
            bitmap.SetColor(PixelColor::Black);
            PaintedRange unused;
            if (PaintWallShadowBitmap(site.edges, site.wall, site.sun, InstantTime(8.0, kStep, i),
                                      site.raster, bitmap, unused))
                reference::CountEveryPixel(bitmap, *grid);
        }
        benchmark::DoNotOptimize(grid->At(600, 600));
    }
}

}  // namespace

BENCHMARK(BM_WallPass_Production)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WallPass_Reference)->Unit(benchmark::kMillisecond)->UseRealTime();
