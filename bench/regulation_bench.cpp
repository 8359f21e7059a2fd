// The shadow-regulation check (zone 2-1-4: 3 h / 2 h on the 4 m plane, 8:00-16:00 at 1 minute)
// on the example site and on a site of 100 blocks, in one run with its reference: the exact
// shadow times of the line samples by the edge quadrilaterals the check uses, against the same
// points by the shadow-regions engine of the specific-point times.
//
// The check reports the seconds of its phases as counters: extent (the coarse pass), counting
// (the fine raster at every instant and the distances of its cells), lines (the exact times of
// the line samples and the refined cells) and tracing (regions and crossings).
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <vector>

#include "example_site.h"
#include "regulation/regulation.h"
#include "shadow/tokutei.h"

namespace {

using pimu::geometry::TAcadPoint;
using pimu::geometry::TLineEnt;
namespace reg = pimu::regulation;

std::vector<TLineEnt> Rect(double x0, double y0, double x1, double y1) {
    const TAcadPoint p[4] = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
    std::vector<TLineEnt> edges;
    for (int i = 0; i < 4; ++i) edges.push_back(pimu::bench::Edge(p[i], p[(i + 1) % 4]));
    return edges;
}

struct Site {
    pimu::geometry::BuildingModel model;
    std::vector<TLineEnt> outline;
};

// The example's buildings on layer 建物 (the neighbour on 隣地建物 left out) and its site.
Site Example() {
    Site s;
    std::vector<TLineEnt> edges = pimu::bench::ExampleSite().AryTatemono;
    edges.resize(edges.size() - 16);  // the neighbour's box comes last
    s.model.SetEdges(edges);
    s.outline = Rect(10000, 10000, 70000, 55000);
    return s;
}

// 100 blocks, 10 x 10 on a 25 m grid, 6 to 16 m a side and 4 to 40 m high, on one site.
Site HundredBlocks() {
    std::mt19937 rng(11);
    auto uniform = [&](double lo, double hi) {
        return lo + (hi - lo) * (static_cast<double>(rng()) / 4294967296.0);
    };
    std::vector<TLineEnt> edges;
    for (int b = 0; b < 100; ++b) {
        const double x = (b % 10) * 25000.0 + uniform(0, 8000);
        const double y = (b / 10) * 25000.0 + uniform(0, 8000);
        pimu::bench::AddBox(edges, x, y, uniform(6000, 16000), uniform(6000, 16000),
                            uniform(4000, 40000));
    }
    Site s;
    s.model.SetEdges(edges);
    s.outline = Rect(-5000, -5000, 255000, 255000);
    return s;
}

reg::RegulationInputs Zone() {
    reg::RegulationInputs in = reg::InputsForZone(*reg::FindZoneRule("2-1-4"));
    in.StepMinutes = 1.0;
    return in;
}

const pimu::solar::SolarState kSun =
    pimu::solar::MakeSolarState(35.0 + 41.0 / 60.0, pimu::solar::kWinterDeclination);

// Times the phases by the Start of each.
class PhaseClock : public pimu::Progress {
public:
    void Start(int) override { starts.push_back(std::chrono::steady_clock::now()); }
    std::vector<std::chrono::steady_clock::time_point> starts;
};

void Check(benchmark::State &state, const Site &site) {
    const reg::RegulationInputs in = Zone();
    std::vector<double> phase(4, 0.0);
    reg::RegulationResult r;
    for (auto _ : state) {
        PhaseClock clock;
        r = reg::CheckRegulation(site.model, kSun, site.outline, in, clock);
        const auto end = std::chrono::steady_clock::now();
        clock.starts.push_back(end);
        const std::size_t n = clock.starts.size();  // the last four Starts open the phases
        for (std::size_t k = 0; k < 4 && n >= 5; ++k)
            phase[k] +=
                std::chrono::duration<double>(clock.starts[n - 5 + k + 1] - clock.starts[n - 5 + k])
                    .count();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["extent_s"] = phase[0] / runs;
    state.counters["counting_s"] = phase[1] / runs;
    state.counters["lines_s"] = phase[2] / runs;
    state.counters["tracing_s"] = phase[3] / runs;
    state.counters["cell_mm"] = r.Cell;
    state.counters["line_samples"] = r.LineSamples;
    state.counters["refined_cells"] = r.RefinedCells;
    state.counters["complies"] = r.Complies() ? 1 : 0;
    state.counters["max5_h"] = r.Limits[0].MaxHoursOnLine;
    state.counters["max10_h"] = r.Limits[1].MaxHoursOnLine;
}

// The reference for the lines: the same samples located in the shadow regions of every instant.
void LinesByRegions(benchmark::State &state, const Site &site) {
    const reg::RegulationInputs in = Zone();
    const reg::RegulationResult r = reg::CheckRegulation(site.model, kSun, site.outline, in);
    std::vector<TAcadPoint> points;
    for (const reg::LimitResult &limit : r.Limits) {
        const std::vector<TAcadPoint> s = reg::SampleLine(limit.Line, r.Cell / 2.0);
        points.insert(points.end(), s.begin(), s.end());
    }
    pimu::shadow::TokuteiInputs t;
    t.Start = in.Start;
    t.End = in.End;
    t.StepMinutes = in.StepMinutes;
    t.PlaneHeight = in.PlaneHeight;
    int best = 0;
    for (auto _ : state) {
        const pimu::shadow::TokuteiResult times =
            pimu::shadow::GetTokuteiJikan(points, site.model, kSun, t);
        for (const pimu::shadow::PointShadowTimes &p : times.Points)
            best = std::max(best, p.ShadedInstants);
        benchmark::DoNotOptimize(best);
    }
    state.counters["line_samples"] = static_cast<double>(points.size());
}

void BM_CheckExample(benchmark::State &state) {
    Check(state, Example());
}
void BM_CheckHundredBlocks(benchmark::State &state) {
    Check(state, HundredBlocks());
}
void BM_LinesByRegionsExample(benchmark::State &state) {
    LinesByRegions(state, Example());
}
void BM_LinesByRegionsHundredBlocks(benchmark::State &state) {
    LinesByRegions(state, HundredBlocks());
}

BENCHMARK(BM_CheckExample)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LinesByRegionsExample)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CheckHundredBlocks)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LinesByRegionsHundredBlocks)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
