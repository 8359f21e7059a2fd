// Sky factors of 100 measurement points round the example site: the exact value and the
// triangle method (projection, outline trace of the literal planar routines, triangles), each
// alone on one thread and both together on two threads.
#include <benchmark/benchmark.h>

#include <cmath>
#include <thread>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/tolerances.h"
#include "sky/exact_sky.h"
#include "sky/sky_factor.h"
#include "sky/sky_projection.h"

namespace {

using pimu::geometry::TAcadPoint;
using pimu::geometry::TLineEnt;

TLineEnt Edge(TAcadPoint st, TAcadPoint ed) {
    TLineEnt e;
    e.st = st;
    e.ed = ed;
    return e;
}

// The edges the acquisition makes of a closed polyline at elevation z0 with a thickness.
void AddPrism(std::vector<TLineEnt> &edges, const std::vector<TAcadPoint> &footprint, double z0,
              double height) {
    const std::size_t n = footprint.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint a{footprint[i].x, footprint[i].y, z0};
        const TAcadPoint b{footprint[(i + 1) % n].x, footprint[(i + 1) % n].y, z0};
        const TAcadPoint at{a.x, a.y, z0 + height};
        const TAcadPoint bt{b.x, b.y, z0 + height};
        edges.push_back(Edge(a, b));
        edges.push_back(Edge(at, bt));
        edges.push_back(Edge(a, at));
        edges.push_back(Edge(b, bt));
    }
}

void AddBox(std::vector<TLineEnt> &edges, double x, double y, double w, double d, double height,
            double z0 = 0.0) {
    AddPrism(edges, {{x, y, 0}, {x + w, y, 0}, {x + w, y + d, 0}, {x, y + d, 0}}, z0, height);
}

// The example site (examples/site.dxf): the 7-storey block, the stepped volume, the round tower
// (its roof circle in 10-degree chords), the low wing of two walls and the neighbour.
pimu::geometry::BuildingModel ExampleSite() {
    std::vector<TLineEnt> edges;
    AddBox(edges, 18000, 36000, 24000, 12000, 21000);
    AddBox(edges, 48000, 30000, 16000, 16000, 9000);
    AddBox(edges, 48000, 38000, 16000, 8000, 9000, 9000);
    for (int k = 0; k < 36; ++k) {
        const double a = k * 10.0 * pimu::geometry::kDegToRad;
        const double b = (k + 1) * 10.0 * pimu::geometry::kDegToRad;
        edges.push_back(Edge({30000 + 4500 * std::cos(a), 20000 + 4500 * std::sin(a), 33000},
                             {30000 + 4500 * std::cos(b), 20000 + 4500 * std::sin(b), 33000}));
    }
    for (const double x : {26000.0, 34000.0}) {
        AddPrism(edges, {{x, 24000, 0}, {x, 36000, 0}}, 0.0, 6000);
        edges.pop_back();  // a line with thickness, not a closed figure: one wall only
        edges.pop_back();
        edges.pop_back();
        edges.pop_back();
    }
    AddBox(edges, 20000, 62000, 30000, 10000, 12000);
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

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
