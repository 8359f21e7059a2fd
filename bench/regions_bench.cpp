// The shadow regions (integer polygon union in tiles) against the same union in one piece and the
// literal outline trace, in one run: neighbourhoods of 10, 100 and 1,000 blocks over the 17
// half-hours of the winter solstice, and soups of 5,000 to 500,000 free-standing edges for the
// growth of the merge.
//
// The literal trace is run only where it finishes in reasonable time (it grows far faster than
// the number of edges); each benchmark reports edges, regions and the time per instant. The soups
// also report the longest time between two questions to the progress (how long a stop waits).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/shadow_outline.h"
#include "geometry/types.h"
#include "shadow/shadow_casting.h"
#include "shadow/shadow_regions.h"
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

double Uniform(std::mt19937 &rng, double lo, double hi) {
    return lo + (hi - lo) * (static_cast<double>(rng()) / 4294967296.0);
}

// Blocks square to the drawing on a 25 m grid (40 to a row), each a closed polyline with a
// thickness as the acquisition makes it: bottom ring, then a top edge and two verticals per side.
pimu::geometry::BuildingModel Blocks(int count) {
    std::mt19937 rng(11);
    std::vector<TLineEnt> edges;
    for (int b = 0; b < count; ++b) {
        const double x = (b % 40) * 25000.0 + Uniform(rng, 0, 8000);
        const double y = (b / 40) * 25000.0 + Uniform(rng, 0, 8000);
        const double w = Uniform(rng, 6000, 16000), d = Uniform(rng, 6000, 16000);
        const double z = Uniform(rng, 4000, 40000);
        const TAcadPoint f[4] = {{x, y, 0}, {x + w, y, 0}, {x + w, y + d, 0}, {x, y + d, 0}};
        for (int i = 0; i < 4; ++i) edges.push_back(Edge(f[i], f[(i + 1) % 4]));
        for (int i = 0; i < 4; ++i) {
            const TAcadPoint a = f[i], b2 = f[(i + 1) % 4];
            const TAcadPoint at{a.x, a.y, z}, bt{b2.x, b2.y, z};
            edges.push_back(Edge(at, bt));
            edges.push_back(Edge(a, at));
            edges.push_back(Edge(bt, b2));
        }
    }
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

// Free-standing raised edges (the tops of LINEs with a thickness) at a constant density: one per
// 100 square metres, 2 to 10 m long, 3 to 30 m high.
pimu::geometry::BuildingModel Segments(int count) {
    std::mt19937 rng(5);
    const double side = std::sqrt(static_cast<double>(count)) * 10000.0;
    std::vector<TLineEnt> edges;
    edges.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TAcadPoint a{Uniform(rng, 0, side), Uniform(rng, 0, side), 0};
        const double len = Uniform(rng, 2000, 10000), dir = Uniform(rng, 0, 6.283185307179586);
        const double z = Uniform(rng, 3000, 30000);
        edges.push_back(
            Edge({a.x, a.y, z}, {a.x + len * std::cos(dir), a.y + len * std::sin(dir), z}));
    }
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

// North typed to four decimals, as on most sites square to true north.
const pimu::solar::SolarState kSun =
    pimu::solar::MakeSolarState(35.68, pimu::solar::kWinterDeclination, 89.9999);
constexpr double kPlane = 4000.0;
constexpr int kInstants = 17;  // 8:00 to 16:00 every half hour

void Report(benchmark::State &state, std::size_t edges, std::size_t regions, int instants) {
    state.counters["edges"] = static_cast<double>(edges);
    state.counters["regions"] = static_cast<double>(regions);
    state.counters["s_per_instant"] = benchmark::Counter(
        static_cast<double>(instants),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RegionsBlocks(benchmark::State &state) {
    const auto model = Blocks(static_cast<int>(state.range(0)));
    std::size_t regions = 0;
    for (auto _ : state) {
        regions = 0;
        for (int i = 0; i < kInstants; ++i) {
            const auto r =
                pimu::shadow::ShadowRegionsAt(model.AryTatemono, kSun, 8.0 + 0.5 * i, kPlane);
            regions += r.regions.size();
        }
    }
    Report(state, model.AryTatemono.size(), regions, kInstants);
}

void BM_ReferenceBlocks(benchmark::State &state) {
    const auto model = Blocks(static_cast<int>(state.range(0)));
    pimu::geometry::PolygonWorkspace ws;
    std::size_t outlines = 0;
    for (auto _ : state) {
        outlines = 0;
        for (int i = 0; i < kInstants; ++i) {
            pimu::shadow::ShadowSegments(ws, model, kSun, 8.0 + 0.5 * i, kPlane);
            ws.AllOutlines(pimu::geometry::MaxSpanRule::MeasureTimes1000,
                           [&](const std::vector<TLineEnt> &) { ++outlines; });
        }
    }
    Report(state, model.AryTatemono.size(), outlines, kInstants);
}

// The longest wait between two questions, in milliseconds.
class GapClock : public pimu::Progress {
public:
    bool KeepRunning() override {
        const auto now = std::chrono::steady_clock::now();
        if (asked_)
            longest =
                std::max(longest, std::chrono::duration<double, std::milli>(now - last_).count());
        asked_ = true;
        last_ = now;
        return true;
    }
    double longest = 0.0;

private:
    bool asked_ = false;
    std::chrono::steady_clock::time_point last_;
};

template <bool Tiled>
void BM_Segments(benchmark::State &state) {
    const auto model = Segments(static_cast<int>(state.range(0)));
    std::size_t regions = 0;
    double gap = 0.0;
    for (auto _ : state) {
        GapClock clock;
        const auto r =
            Tiled ? pimu::shadow::ShadowRegionsAt(model.AryTatemono, kSun, 10.0, kPlane, clock)
                  : pimu::shadow::ShadowRegionsSingleUnionAt(model.AryTatemono, kSun, 10.0, kPlane,
                                                             clock);
        regions = r.regions.size();
        gap = std::max(gap, clock.longest);
    }
    Report(state, model.AryTatemono.size(), regions, 1);
    state.counters["longest_stop_wait_ms"] = gap;
    state.SetComplexityN(state.range(0));
}

// Production: the union in tiles.
void BM_RegionsSegments(benchmark::State &state) {
    BM_Segments<true>(state);
}
// The previous path: the same union in one piece.
void BM_SingleUnionSegments(benchmark::State &state) {
    BM_Segments<false>(state);
}

void BM_ReferenceSegments(benchmark::State &state) {
    const auto model = Segments(static_cast<int>(state.range(0)));
    pimu::geometry::PolygonWorkspace ws;
    std::size_t outlines = 0;
    for (auto _ : state) {
        outlines = 0;
        pimu::shadow::ShadowSegments(ws, model, kSun, 10.0, kPlane);
        ws.AllOutlines(pimu::geometry::MaxSpanRule::MeasureTimes1000,
                       [&](const std::vector<TLineEnt> &) { ++outlines; });
    }
    Report(state, model.AryTatemono.size(), outlines, 1);
}

// One round outline of n vertices with a 20 m thickness (a finely drawn tower), edges in the
// order the acquisition gives them: the bottom ring, then per side its top edge and two verticals.
pimu::geometry::BuildingModel RoundOutline(int n) {
    std::vector<TAcadPoint> ring;
    for (int k = 0; k < n; ++k) {
        const double a = 6.283185307179586 * k / n;
        ring.push_back({50000.0 + 30000.0 * std::cos(a), 50000.0 + 30000.0 * std::sin(a), 0});
    }
    std::vector<TLineEnt> edges;
    for (int i = 0; i < n; ++i) edges.push_back(Edge(ring[i], ring[(i + 1) % n]));
    for (int i = 0; i < n; ++i) {
        const TAcadPoint a = ring[i], b = ring[(i + 1) % n];
        const TAcadPoint at{a.x, a.y, 20000}, bt{b.x, b.y, 20000};
        edges.push_back(Edge(at, bt));
        edges.push_back(Edge(a, at));
        edges.push_back(Edge(bt, b));
    }
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

// Production: the edges that continue each other swept as one ring, the union in tiles.
void BM_RegionsRoundOutline(benchmark::State &state) {
    const auto model = RoundOutline(static_cast<int>(state.range(0)));
    std::size_t regions = 0;
    double gap = 0.0;
    for (auto _ : state) {
        GapClock clock;
        const auto r = pimu::shadow::ShadowRegionsAt(model.AryTatemono, kSun, 10.0, kPlane, clock);
        regions = r.regions.size();
        gap = std::max(gap, clock.longest);
    }
    Report(state, model.AryTatemono.size(), regions, 1);
    state.counters["longest_stop_wait_ms"] = gap;
}

// The literal trace on the same outline.
void BM_ReferenceRoundOutline(benchmark::State &state) {
    const auto model = RoundOutline(static_cast<int>(state.range(0)));
    pimu::geometry::PolygonWorkspace ws;
    std::size_t outlines = 0;
    for (auto _ : state) {
        outlines = 0;
        pimu::shadow::ShadowSegments(ws, model, kSun, 10.0, kPlane);
        ws.AllOutlines(pimu::geometry::MaxSpanRule::MeasureTimes1000,
                       [&](const std::vector<TLineEnt> &) { ++outlines; });
    }
    Report(state, model.AryTatemono.size(), outlines, 1);
}

BENCHMARK(BM_RegionsRoundOutline)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceRoundOutline)
    ->Arg(1000)
    ->Arg(4000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegionsBlocks)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
// 1,000 blocks take the literal trace many minutes per instant: left out.
BENCHMARK(BM_ReferenceBlocks)->Arg(10)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegionsSegments)
    ->Arg(5000)
    ->Arg(50000)
    ->Arg(500000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK(BM_SingleUnionSegments)
    ->Arg(5000)
    ->Arg(50000)
    ->Arg(500000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
// 50,000 edges and more take the literal trace far beyond reasonable time: left out.
BENCHMARK(BM_ReferenceSegments)->Arg(5000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
