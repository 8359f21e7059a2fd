// Shadow times of 100 specific points round the example site over the 480 one-minute instants of
// the winter solstice, 8:00 to 16:00: the production path (each instant traced once by the
// shadow regions engine, every point located against it) against the literal per-point loop
// (for each point, each instant's first outline traced by the segment operations and the point
// tested with PointInOutline), and the literal loop tracing each instant once for all points.
//
// The literal per-point loop runs for a few points only (its time grows with points x instants);
// its "per_point" counter times 100 is the whole list's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "example_site.h"
#include "geometry/building_model.h"
#include "geometry/shadow_outline.h"
#include "geometry/tolerances.h"
#include "shadow/shadow_casting.h"
#include "shadow/tokutei.h"
#include "solar/sun.h"

namespace {

using pimu::geometry::TAcadPoint;
using pimu::geometry::TLineEnt;

using pimu::bench::ExampleSite;

// 100 points north of the site and between the buildings, where the shadows come and go.
std::vector<TAcadPoint> Points() {
    std::vector<TAcadPoint> pts;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) pts.push_back({8000.0 + i * 6100.0, 26000.0 + j * 6300.0, 0});
    return pts;
}

const pimu::solar::SolarState kSun =
    pimu::solar::MakeSolarState(35.0 + 41.0 / 60.0, pimu::solar::kWinterDeclination, 90.0);
const pimu::shadow::TokuteiInputs kInputs{8.0, 16.0, 1.0, 0.0};

void BM_Production(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = ExampleSite();
    const std::vector<TAcadPoint> points = Points();
    long shaded = 0;
    for (auto _ : state) {
        const pimu::shadow::TokuteiResult r =
            pimu::shadow::GetTokuteiJikan(points, model, kSun, kInputs);
        shaded = 0;
        for (const auto &p : r.Points) shaded += p.ShadedInstants;
        benchmark::DoNotOptimize(shaded);
    }
    state.counters["points"] = static_cast<double>(points.size());
    state.counters["shaded_point_instants"] = static_cast<double>(shaded);
}
BENCHMARK(BM_Production)->Unit(benchmark::kMillisecond);

// The large sites: 400 boxes in rows (range 0) or a round outline of range(1) vertices with bays
// (range 0 = 1), four points north of them, one-minute steps; the production path (each
// quadrilateral against the points, footprints found once) against tracing every instant's
// shadow regions (GetTokuteiJikanTraced, the previous production path).
pimu::geometry::BuildingModel LargeSite(int round, int vertices) {
    std::vector<TLineEnt> edges;
    if (round == 0) {
        for (int i = 0; i < 400; ++i) {
            const double x = (i % 20) * 15000.0, y = (i / 20) * 14000.0;
            pimu::bench::AddPrism(
                edges, {{x, y, 0}, {x + 8000, y, 0}, {x + 8000, y + 6000, 0}, {x, y + 6000, 0}},
                0.0, 9000.0 + (i * 7919 % 22) * 1000.0);
        }
    } else {
        std::vector<TAcadPoint> ring;
        for (int k = 0; k < vertices; ++k) {
            const double a = pimu::geometry::kTwoPi * k / vertices;
            const double r = 30000.0 + 1500.0 * std::sin(pimu::geometry::kTwoPi * (k % 800) / 800);
            ring.push_back({50000.0 + r * std::cos(a), 50000.0 + r * std::sin(a), 0.0});
        }
        pimu::bench::AddPrism(edges, ring, 0.0, 20000.0);
    }
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

template <bool kTraced>
void BM_LargeSite(benchmark::State &state) {
    const pimu::geometry::BuildingModel model =
        LargeSite(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const double side = state.range(0) == 0 ? 300000.0 : 100000.0;
    std::vector<TAcadPoint> points;
    for (int i = 0; i < 4; ++i) points.push_back({side * (0.2 + 0.2 * i), side + 5000.0, 0.0});
    const pimu::shadow::TokuteiInputs in{8.0, 16.0, 1.0, 4000.0};
    long shaded = 0;
    for (auto _ : state) {
        const pimu::shadow::TokuteiResult r =
            kTraced ? pimu::shadow::GetTokuteiJikanTraced(points, model, kSun, in)
                    : pimu::shadow::GetTokuteiJikan(points, model, kSun, in);
        shaded = 0;
        for (const auto &p : r.Points) shaded += p.ShadedInstants;
        benchmark::DoNotOptimize(shaded);
    }
    state.counters["shaded_point_instants"] = static_cast<double>(shaded);
}
BENCHMARK(BM_LargeSite<false>)
    ->Name("BM_LargeSite/production")
    ->Args({0, 0})
    ->Args({1, 16000})
    ->Args({1, 100000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_LargeSite<true>)
    ->Name("BM_LargeSite/traced")
    ->Args({0, 0})
    ->Args({1, 16000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The literal loop, tracing per point: for each point, for each instant, ShadowOutlineAt and
// PointInOutline with 100 x MaxSpan.
void BM_LiteralPerPoint(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = ExampleSite();
    std::vector<TAcadPoint> points = Points();
    points.resize(static_cast<std::size_t>(state.range(0)));
    int instants = 0;
    pimu::shadow::CheckTokuteiInputs(kInputs, instants);
    pimu::geometry::PolygonWorkspace ws;
    for (auto _ : state) {
        long shaded = 0;
        for (const TAcadPoint &p : points)
            for (int i = 0; i < instants; ++i) {
                const double t = pimu::shadow::TokuteiInstant(kInputs, i);
                if (pimu::shadow::ShadowOutlineAt(ws, model, kSun, t, kInputs.PlaneHeight))
                    shaded += pimu::geometry::PointInOutline(p, 100 * ws.MaxSpan, ws.AryLine);
            }
        benchmark::DoNotOptimize(shaded);
    }
    state.counters["per_point"] = benchmark::Counter(
        static_cast<double>(points.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LiteralPerPoint)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

// The literal routines tracing each instant once (every island) and testing all 100 points.
void BM_LiteralPerInstant(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = ExampleSite();
    const std::vector<TAcadPoint> points = Points();
    int instants = 0;
    pimu::shadow::CheckTokuteiInputs(kInputs, instants);
    pimu::geometry::PolygonWorkspace ws;
    for (auto _ : state) {
        long shaded = 0;
        for (int i = 0; i < instants; ++i) {
            const double t = pimu::shadow::TokuteiInstant(kInputs, i);
            pimu::shadow::ShadowSegments(ws, model, kSun, t, kInputs.PlaneHeight);
            std::vector<char> in(points.size(), 0);
            ws.AllOutlines(
                pimu::geometry::MaxSpanRule::MeasureTimes1000, [&](const std::vector<TLineEnt> &o) {
                    for (std::size_t k = 0; k < points.size(); ++k)
                        if (!in[k])
                            in[k] = pimu::geometry::PointInOutline(points[k], 100 * ws.MaxSpan, o);
                });
            for (char c : in) shaded += c;
        }
        benchmark::DoNotOptimize(shaded);
    }
}
BENCHMARK(BM_LiteralPerInstant)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
