// The desktop window: how long it takes to start on the example (window model, both windows,
// the drawing opened and painted once), and the frame time of panning a 10,000-entity drawing
// in the drawing view (one pan step and one full repaint of a 1200 x 800 view).
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <filesystem>

#include "cadlink/embedded/scene.h"
#include "gui/session.h"

namespace {

namespace fs = std::filesystem;
using namespace pimu;

// A site of 10,000 entities: lines, closed polylines with thickness, circles and texts.
cadlink::embedded::Drawing BigDrawing() {
    cadlink::embedded::Drawing d;
    for (int i = 0; i < 10000; ++i) {
        const double x = (i % 100) * 2000.0, y = (i / 100) * 2000.0;
        cadlink::embedded::EntityData e;
        e.layer = "0";
        switch (i % 4) {
            case 0:
                e.kind = cadlink::embedded::EntityKind::Line;
                e.p1 = {x, y, 0};
                e.p2 = {x + 1500, y + 700, 0};
                break;
            case 1:
                e.kind = cadlink::embedded::EntityKind::LwPolyline;
                e.vertices = {{{x, y, 0}, 0},
                              {{x + 1200, y, 0}, 0.3},
                              {{x + 1200, y + 900, 0}, 0},
                              {{x, y + 900, 0}, 0}};
                e.closed = true;
                e.thickness = 9000;
                break;
            case 2:
                e.kind = cadlink::embedded::EntityKind::Circle;
                e.p1 = {x + 800, y + 800, 0};
                e.radius = 600;
                break;
            default:
                e.kind = cadlink::embedded::EntityKind::Text;
                e.p1 = {x, y, 0};
                e.height = 300;
                e.text = "建物 " + std::to_string(i);
                break;
        }
        d.Add(e);
    }
    return d;
}

void BM_PanFrame(benchmark::State &state) {
    gui::DrawingView view;
    view.resize(1200, 800);
    view.SetScene(cadlink::embedded::SceneOf(BigDrawing()), true);
    // Zoomed in to a quarter of the drawing's width, as when working on part of a site.
    view.ZoomAt(QPointF(600, 400), state.range(0));
    QImage frame(1200, 800, QImage::Format_RGB32);
    double size = 0;
    for (auto _ : state) {
        view.PanBy(QPointF(7, 3));
        QPainter p(&frame);
        view.PaintScene(p);
        size += static_cast<double>(view.PaintedCount());
    }
    state.counters["primitives"] = size / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PanFrame)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_StartOnExample(benchmark::State &state) {
    const fs::path folder = fs::temp_directory_path() / "pimu-gui-bench";
    fs::create_directories(folder);
    for (auto _ : state) {
        gui::GuiOptions o;
        o.programFolder = folder;
        o.drawing = fs::path(PIMU_SOURCE_DIR) / "examples" / "site.dxf";
        gui::GuiSession session(o);
        session.Show();
        QCoreApplication::processEvents();
        session.Main().grab();
        session.Drawing().grab();
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_StartOnExample)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    gui::SetUpApplication(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
