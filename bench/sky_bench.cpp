// Sky factors of 100 measurement points in the streets of a 100-block site: the point list as
// it is computed now (the exact envelope: both triangle passes and the exact value), on one and
// on two threads, against the path it replaced (projection, outline trace of the literal planar
// routines, one-sector triangles).
#include <benchmark/benchmark.h>

#include <cmath>
#include <thread>
#include <vector>

#include "base/progress.h"
#include "example_site.h"
#include "geometry/building_model.h"
#include "sky/reference/sky_factor_traced.h"
#include "sky/sky_list.h"
#include "sky/sky_projection.h"

namespace {

using pimu::geometry::TAcadPoint;
using pimu::geometry::TLineEnt;

constexpr double kPaperR = 100.0;
constexpr double kScale = 200.0;

// A 10 x 10 grid of 20 m blocks with 10 m streets, 10 to 60 m high.
pimu::geometry::BuildingModel HundredBlocks() {
    std::vector<TLineEnt> edges;
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            const double x = 30000.0 * i;
            const double y = 30000.0 * j;
            const double h = 10000.0 + 5000.0 * ((i * 7 + j * 3) % 11);
            pimu::bench::AddPrism(
                edges, {{x, y, 0}, {x + 20000, y, 0}, {x + 20000, y + 20000, 0}, {x, y + 20000, 0}},
                0.0, h);
        }
    }
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

// 100 points in the streets between the blocks.
std::vector<TAcadPoint> StreetPoints() {
    std::vector<TAcadPoint> pts;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            pts.push_back({30000.0 * i + 25000.0, 30000.0 * j + 4000.0 + 1200.0 * i, 0.0});
    return pts;
}

struct PointValues {
    double naisetu = 0.0;
    double gaisetu = 0.0;
    double exact = 0.0;
    bool ok = false;
    friend bool operator==(const PointValues &, const PointValues &) = default;
};

std::vector<PointValues> EnvelopeList(const pimu::sky::SkyBuildings &b,
                                      const std::vector<TAcadPoint> &pts, std::size_t threads) {
    std::vector<PointValues> out(pts.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (std::size_t i = t; i < pts.size(); i += threads) {
                const pimu::sky::SkyPointResult r =
                    pimu::sky::ComputeSkyPoint(b, pts[i], 0.0, kPaperR, kScale);
                out[i] = PointValues{r.naisetu, r.gaisetu, r.exact, r.Consistent};
            }
        });
    }
    for (std::thread &th : pool) th.join();
    return out;
}

void BM_EnvelopeList100Points(benchmark::State &state) {
    const pimu::sky::SkyBuildings b = pimu::sky::SkyBuildingsOf(HundredBlocks());
    const std::vector<TAcadPoint> pts = StreetPoints();
    const auto threads = static_cast<std::size_t>(state.range(0));
    const std::vector<PointValues> single = EnvelopeList(b, pts, 1);
    for (const PointValues &v : single)
        if (!v.ok) state.SkipWithError("a point whose values do not check out");
    if (EnvelopeList(b, pts, threads) != single) state.SkipWithError("threads changed a value");
    for (auto _ : state) benchmark::DoNotOptimize(EnvelopeList(b, pts, threads));
}
BENCHMARK(BM_EnvelopeList100Points)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The replaced path: one projection and literal outline trace per point, then the triangles.
void BM_TracedList100Points(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = HundredBlocks();
    const std::vector<TAcadPoint> pts = StreetPoints();
    for (auto _ : state) {
        for (const TAcadPoint &p : pts) {
            pimu::sky::SkyView view;
            view.IDPOINT1 = p;
            view.SkyRadius = kPaperR * kScale;
            const pimu::sky::SkyOutline out =
                pimu::sky::GetTenkuLine(model, view, pimu::NoProgress());
            if (out.status == pimu::sky::SkyStatus::Ok)
                benchmark::DoNotOptimize(
                    pimu::sky::traced::GetTenkuRitu(out.AryLine, kPaperR, kScale));
        }
    }
}
BENCHMARK(BM_TracedList100Points)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
