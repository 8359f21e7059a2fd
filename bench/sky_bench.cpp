// Sky factors of 100 measurement points round the example site: the exact value and the
// triangle method (projection, outline trace of the literal planar routines, triangles), each
// alone on one thread and both together on two threads.
#include <benchmark/benchmark.h>

#include <cmath>
#include <thread>
#include <vector>

#include "base/progress.h"
#include "example_site.h"
#include "geometry/building_model.h"
#include "geometry/tolerances.h"
#include "sky/exact_sky.h"
#include "sky/sky_factor.h"
#include "sky/sky_projection.h"

namespace {

using pimu::geometry::TAcadPoint;
using pimu::geometry::TLineEnt;

using pimu::bench::ExampleSite;

// 100 points on the road and the side boundaries, every building on one side of each.
std::vector<TAcadPoint> Points() {
    std::vector<TAcadPoint> pts;
    for (int i = 0; i < 40; ++i) pts.push_back({12000.0 + i * 1450.0, 6000.0, 0.0});
    for (int i = 0; i < 30; ++i) pts.push_back({74000.0, 12000.0 + i * 1550.0, 0.0});
    for (int i = 0; i < 30; ++i) pts.push_back({6000.0, 12000.0 + i * 1550.0, 0.0});
    return pts;
}

struct PointResult {
    double exact = 0.0;
    double naisetu = 0.0;
    double gaisetu = 0.0;
    bool ok = false;
    friend bool operator==(const PointResult &, const PointResult &) = default;
};

constexpr double kPaperR = 25.0;
constexpr double kScale = 200.0;

PointResult Triangle(const pimu::geometry::BuildingModel &model, TAcadPoint p) {
    pimu::sky::SkyView view;
    view.IDPOINT1 = p;
    view.SkyRadius = kPaperR * kScale;
    PointResult r;
    const pimu::sky::SkyOutline out = pimu::sky::GetTenkuLine(model, view, pimu::NoProgress());
    if (out.status != pimu::sky::SkyStatus::Ok) return r;
    const pimu::sky::TenkuRituResult t = pimu::sky::GetTenkuRitu(out.AryLine, kPaperR, kScale);
    r.ok = t.Ok();
    r.naisetu = t.naisetu;
    r.gaisetu = t.gaisetu;
    return r;
}

// Both computations for points first, first + stride, ...
void Both(const pimu::geometry::BuildingModel &model, const std::vector<TAcadPoint> &pts,
          std::size_t first, std::size_t stride, std::vector<PointResult> &out) {
    for (std::size_t i = first; i < pts.size(); i += stride) {
        PointResult r = Triangle(model, pts[i]);
        r.exact = pimu::sky::ExactSkyFactor(model, pts[i], 0.0);
        out[i] = r;
    }
}

std::vector<PointResult> BothOnThreads(const pimu::geometry::BuildingModel &model,
                                       const std::vector<TAcadPoint> &pts, std::size_t threads) {
    std::vector<PointResult> out(pts.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] { Both(model, pts, t, threads, out); });
    }
    for (std::thread &th : pool) th.join();
    return out;
}

void BM_Exact100Points(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = ExampleSite();
    const std::vector<TAcadPoint> pts = Points();
    for (auto _ : state) {
        for (const TAcadPoint &p : pts) {
            benchmark::DoNotOptimize(pimu::sky::ExactSkyFactor(model, p, 0.0));
        }
    }
}
BENCHMARK(BM_Exact100Points)->Unit(benchmark::kMillisecond);

void BM_TriangleMethod100Points(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = ExampleSite();
    const std::vector<TAcadPoint> pts = Points();
    for (auto _ : state) {
        for (const TAcadPoint &p : pts) benchmark::DoNotOptimize(Triangle(model, p));
    }
}
BENCHMARK(BM_TriangleMethod100Points)->Unit(benchmark::kMillisecond);

// Both together, the points shared out over 1 or 2 threads; the results must not depend on it.
void BM_Both100Points(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = ExampleSite();
    const std::vector<TAcadPoint> pts = Points();
    const auto threads = static_cast<std::size_t>(state.range(0));
    const std::vector<PointResult> single = BothOnThreads(model, pts, 1);
    for (const PointResult &r : single) {
        if (!r.ok) state.SkipWithError("a point without sky factor");
    }
    if (BothOnThreads(model, pts, threads) != single) {
        state.SkipWithError("threads changed the results");
    }
    for (auto _ : state) benchmark::DoNotOptimize(BothOnThreads(model, pts, threads));
}
BENCHMARK(BM_Both100Points)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
