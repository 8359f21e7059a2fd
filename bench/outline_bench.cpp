// All shadow outlines of one instant for a realistic site, through the literal (reference)
// polygon operations. A faster path is to be timed against this in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/shadow_outline.h"
#include "geometry/tolerances.h"
#include "shadow/shadow_casting.h"
#include "solar/sun.h"

namespace {

using pimu::geometry::TAcadPoint;
using pimu::geometry::TLineEnt;

TLineEnt Edge(TAcadPoint st, TAcadPoint ed) {
    TLineEnt e;
    e.st = st;
    e.ed = ed;
    return e;
}

// Bottom, top and vertical edges of a prism, as the acquisition makes them from a polyline with
// thickness.
void AddPrism(std::vector<TLineEnt> &edges, const std::vector<TAcadPoint> &footprint,
              double height) {
    const std::size_t n = footprint.size();
    for (std::size_t i = 0; i < n; ++i) edges.push_back(Edge(footprint[i], footprint[(i + 1) % n]));
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint a = footprint[i];
        const TAcadPoint b = footprint[(i + 1) % n];
        const TAcadPoint at{a.x, a.y, height};
        const TAcadPoint bt{b.x, b.y, height};
        edges.push_back(Edge(at, bt));
        edges.push_back(Edge(a, at));
        edges.push_back(Edge(bt, b));
    }
}

// Six buildings, 164 edges: four boxes (two of them overlapping), an L-shaped block and a
// half-round tower cut into 10-degree chords.
pimu::geometry::BuildingModel Site() {
    std::vector<TLineEnt> edges;
    AddPrism(edges, {{0, 0, 0}, {18000, 0, 0}, {18000, 12000, 0}, {0, 12000, 0}}, 15000);
    AddPrism(edges, {{12000, 8000, 0}, {26000, 8000, 0}, {26000, 20000, 0}, {12000, 20000, 0}},
             9000);
    AddPrism(edges, {{40000, -5000, 0}, {52000, -2000, 0}, {49000, 10000, 0}, {37000, 7000, 0}},
             21000);
    AddPrism(edges, {{-20000, 30000, 0}, {-8000, 30000, 0}, {-8000, 38000, 0}, {-20000, 38000, 0}},
             6000);
    AddPrism(edges,
             {{5000, 40000, 0},
              {25000, 40000, 0},
              {25000, 46000, 0},
              {11000, 46000, 0},
              {11000, 58000, 0},
              {5000, 58000, 0}},
             12000);
    std::vector<TAcadPoint> tower;
    for (int k = 0; k <= 18; ++k) {
        const double a = k * 10.0 * pimu::geometry::kDegToRad;
        tower.push_back({60000 + 8000 * std::cos(a), 30000 + 8000 * std::sin(a), 0});
    }
    AddPrism(edges, tower, 30000);
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

void BM_ReferenceAllOutlinesOneInstant(benchmark::State &state) {
    const pimu::geometry::BuildingModel model = Site();
    const pimu::solar::SolarState sun =
        pimu::solar::MakeSolarState(36.0, pimu::solar::kWinterDeclination, 80.0);
    const double t = static_cast<double>(state.range(0)) / 2.0;
    pimu::geometry::PolygonWorkspace ws;
    pimu::shadow::ShadowSegments(ws, model, sun, t, 4000.0);
    ws.BuildGraph(pimu::geometry::MaxSpanRule::MeasureTimes1000);
    const std::size_t graph = ws.AryRinkaku.size();
    std::size_t outlines = 0;
    for (auto _ : state) {
        outlines = 0;
        pimu::shadow::ShadowSegments(ws, model, sun, t, 4000.0);
        const auto result = ws.AllOutlines(pimu::geometry::MaxSpanRule::MeasureTimes1000,
                                           [&](const std::vector<TLineEnt> &) { ++outlines; });
        benchmark::DoNotOptimize(result);
    }
    state.counters["edges"] = static_cast<double>(model.AryTatemono.size());
    state.counters["graph"] = static_cast<double>(graph);
    state.counters["outlines"] = static_cast<double>(outlines);
}
// Half-hours: 10:00 and 14:30.
BENCHMARK(BM_ReferenceAllOutlinesOneInstant)->Arg(20)->Arg(29)->Unit(benchmark::kMillisecond);

}  // namespace
