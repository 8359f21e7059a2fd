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

#include "geometry/building_model.h"
#include "geometry/shadow_outline.h"
#include "geometry/tolerances.h"
#include "shadow/shadow_casting.h"
#include "shadow/tokutei.h"
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
        for (int i = 0; i < 4; ++i) edges.pop_back();  // a line with thickness: one wall only
    }
    AddBox(edges, 20000, 62000, 30000, 10000, 12000);
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

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
