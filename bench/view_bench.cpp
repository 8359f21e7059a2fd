// The scene of a 10,000-entity drawing: building it, and what a drawing view does per frame or
// per mouse move (the primitives in a viewport, a pick, a crossing selection), each through the
// scene's grid against a look at every primitive in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "view/hittest.h"
#include "view/scene.h"

namespace {

using namespace pimu::view;

constexpr int kEntities = 10000;

// A plan 200 m square: lines, closed polylines with a bulge, circles, arcs and texts.
Scene MakeScene() {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coord(0, 200000), size(100, 3000), unit(0, 1);
    SceneBuilder b;
    b.AddLayer("0", 7, "CONTINUOUS", false);
    for (int i = 0; i < kEntities; ++i) {
        b.BeginEntity(i);
        const TAcadPoint p{coord(rng), coord(rng), 0};
        const double s = size(rng);
        switch (i % 5) {
            case 0:
                b.AddLine({}, p, {p.x + s, p.y + s * unit(rng), 0});
                break;
            case 1:
                b.AddPolyline({}, Polyline{{{p, 0.3},
                                            {{p.x + s, p.y, 0}, 0},
                                            {{p.x + s, p.y + s, 0}, 0},
                                            {{p.x, p.y + s, 0}, 0}},
                                           true,
                                           false});
                break;
            case 2:
                b.AddArc({}, Arc{p, s, 0, 2 * std::acos(-1.0), true});
                break;
            case 3:
                b.AddArc({}, Arc{p, s, unit(rng) * 6, unit(rng) * 3, false});
                break;
            default:
                b.AddText({}, Text{"日影 12", p, 500, 0, 1, 0, 0});
        }
    }
    return b.Finish();
}

const Scene &Shared() {
    static const Scene scene = MakeScene();
    return scene;
}

void BM_BuildScene(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(MakeScene());
}
BENCHMARK(BM_BuildScene)->Unit(benchmark::kMillisecond);

// A viewport of a tenth of the plan each way, moved across it as a pan does.
Box Viewport(int frame) {
    const double x = (frame * 7919) % 180000, y = (frame * 104729) % 180000;
    return Box::Spanning({x, y, 0}, {x + 20000, y + 20000, 0});
}

void BM_ViewportGrid(benchmark::State &state) {
    const Scene &scene = Shared();
    std::vector<int> out;
    int frame = 0;
    for (auto _ : state) {
        scene.Query(Viewport(frame++), out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ViewportGrid);

void BM_ViewportScan(benchmark::State &state) {
    const Scene &scene = Shared();
    std::vector<int> out;
    int frame = 0;
    for (auto _ : state) {
        const Box box = Viewport(frame++);
        out.clear();
        for (std::size_t i = 0; i < scene.Primitives().size(); ++i)
            if (scene.PickBounds(static_cast<int>(i)).Intersects(box))
                out.push_back(static_cast<int>(i));
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ViewportScan);

void BM_PickGrid(benchmark::State &state) {
    const Scene &scene = Shared();
    int k = 0;
    for (auto _ : state) {
        const TAcadPoint at{(k * 7919) % 200000 * 1.0, (k * 104729) % 200000 * 1.0, 0};
        ++k;
        benchmark::DoNotOptimize(PickEntity(scene, at, 200));
    }
}
BENCHMARK(BM_PickGrid);

void BM_PickScan(benchmark::State &state) {
    const Scene &scene = Shared();
    int k = 0;
    for (auto _ : state) {
        const TAcadPoint at{(k * 7919) % 200000 * 1.0, (k * 104729) % 200000 * 1.0, 0};
        ++k;
        const Box box = Box::Around(at, 200);
        double best = 1e300;
        for (const auto &p : scene.Primitives())
            if (Meets(p.shape, box)) best = std::min(best, DistanceTo(p.shape, at));
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(BM_PickScan);

void BM_CrossingGrid(benchmark::State &state) {
    const Scene &scene = Shared();
    int frame = 0;
    for (auto _ : state) {
        const Box b = Viewport(frame++);
        benchmark::DoNotOptimize(CrossingSelect(scene, {b.minX, b.minY, 0}, {b.maxX, b.maxY, 0}));
    }
}
BENCHMARK(BM_CrossingGrid);

void BM_CrossingScan(benchmark::State &state) {
    const Scene &scene = Shared();
    int frame = 0;
    for (auto _ : state) {
        const Box b = Viewport(frame++);
        std::vector<int> out;
        for (const auto &p : scene.Primitives())
            if (Meets(p.shape, b)) out.push_back(p.entity);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_CrossingScan);

}  // namespace
