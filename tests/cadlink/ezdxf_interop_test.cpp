// Drawings saved by the embedded drawing load without complaint in an independent DXF reader
// (Debian's python3-ezdxf, installed by deps/test-cadlink.txt).
#include <cstdlib>
#include <numbers>
#include <sstream>

#include "cadlink/embedded/dxfio.h"
#include "test_util.h"

namespace pimu::cadlink::embedded {
namespace {

// Runs the checker and returns its output lines.
std::vector<std::string> Check(const std::filesystem::path &file, const char *encoding,
                               const std::filesystem::path &out) {
    const std::string command =
        std::string(PIMU_SYSTEM_PYTHON) + " \"" + (test::kData / "ezdxf_check.py").string() +
        "\" \"" + file.string() + "\" " + encoding + " > \"" + out.string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    const std::string text = test::ReadFile(out);
    EXPECT_EQ(status, 0) << "ezdxf (python3-ezdxf, see deps/test-cadlink.txt) failed:\n" << text;
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(EzdxfInterop, SavedDrawingLoadsWithEveryEntityIntact) {
    Drawing d;
    d.AddLayer({"建物", 3, "CONTINUOUS", 0});
    auto add = [&](EntityData e) { d.Add(std::move(e)); };
    EntityData line;
    line.kind = EntityKind::Line;
    line.layer = "建物";
    line.p1 = {0, 0, 0};
    line.p2 = {1000, 0, 0};
    line.thickness = 3000;
    add(line);
    EntityData circle;
    circle.kind = EntityKind::Circle;
    circle.p1 = {100, 200, 0};
    circle.radius = 50;
    circle.normal = {0, 0, -1};
    circle.thickness = 1500;
    add(circle);
    EntityData arc = circle;
    arc.kind = EntityKind::Arc;
    arc.normal = {0, 0, 1};
    arc.endAngle = std::numbers::pi / 2;
    add(arc);
    EntityData ellipse;
    ellipse.kind = EntityKind::Ellipse;
    ellipse.p1 = {1000, 2000, 0};
    ellipse.p2 = {3000, 0, 0};
    ellipse.ratio = 0.5;
    ellipse.endAngle = 2 * std::numbers::pi;
    add(ellipse);
    EntityData lw;
    lw.kind = EntityKind::LwPolyline;
    lw.vertices = {{{0, 0, 0}, 0}, {{4000, 0, 0}, 0.5}, {{4000, 3000, 0}, 0}};
    lw.closed = true;
    lw.elevation = 100;
    lw.thickness = 6000;
    lw.normal = {0, 0, -1};
    add(lw);
    EntityData p2 = lw;
    p2.kind = EntityKind::Polyline2d;
    p2.normal = {0, 0, 1};
    add(p2);
    EntityData p3;
    p3.kind = EntityKind::Polyline3d;
    p3.vertices = {{{0, 0, 0}, 0}, {{10, 0, 5}, 0}};
    add(p3);
    EntityData text;
    text.kind = EntityKind::Text;
    text.text = "日影図 8:00";
    text.p1 = text.p2 = {5, 6, 0};
    text.height = 250;
    text.rotation = std::numbers::pi / 6;
    text.widthFactor = 0.8;
    text.style = "明朝";
    add(text);
    EntityData point;
    point.kind = EntityKind::Point;
    point.p1 = {7, 8, 9};
    add(point);
    d.AddBlock("WALL", {0, 0, 0});
    d.Add(line, "WALL");
    EntityData ref;
    ref.kind = EntityKind::Insert;
    ref.blockName = "WALL";
    ref.p1 = {5000, 5000, 0};
    ref.rotation = std::numbers::pi / 2;
    add(ref);

    test::TempDir dir;
    SaveDxf(d, dir / "saved.dxf");
    const auto lines = Check(dir / "saved.dxf", "cp932", dir / "out.txt");
    const std::vector<std::string> expected = {
        "audit 0",
        "LINE|建物|3000.000000|0.000000,0.000000,1.000000|0.000000,0.000000,0.000000;1000.000000,0."
        "000000,0.000000",
        "CIRCLE|0|1500.000000|0.000000,0.000000,-1.000000|100.000000,200.000000,0.000000;50.000000",
        "ARC|0|1500.000000|0.000000,0.000000,1.000000|100.000000,200.000000,0.000000;50.000000;0."
        "000000;90.000000",
        "ELLIPSE|0|-|0.000000,0.000000,1.000000|1000.000000,2000.000000,0.000000;3000.000000,0."
        "000000,0.000000;0."
        "500000",
        "LWPOLYLINE|0|6000.000000|0.000000,0.000000,-1.000000|100.000000;True;0.000000,0.000000,0."
        "000000;4000.000000,"
        "0.000000,0.500000;4000.000000,3000.000000,0.000000",
        "POLYLINE|0|6000.000000|0.000000,0.000000,1.000000|2d;0.000000,0.000000,100.000000;True;0."
        "000000,0.000000,0."
        "000000/0.000000;4000.000000,0.000000,0.000000/0.500000;4000.000000,3000.000000,0.000000/"
        "0.000000",
        "POLYLINE|0|0.000000|0.000000,0.000000,1.000000|3d;0.000000,0.000000,0.000000;False;0."
        "000000,0.000000,0."
        "000000/0.000000;10.000000,0.000000,5.000000/0.000000",
        "TEXT|0|0.000000|0.000000,0.000000,1.000000|日影図 8:00;250.000000;30.000000;0.800000",
        "POINT|0|0.000000|0.000000,0.000000,1.000000|7.000000,8.000000,9.000000",
        "INSERT|0|-|0.000000,0.000000,1.000000|WALL;5000.000000,5000.000000,0.000000;90.000000",
        "blocks WALL",
    };
    EXPECT_EQ(lines, expected);
}

TEST(EzdxfInterop, OtherProducersDrawingsSurviveOpenAndSave) {
    for (const char *file : {"ezdxf_r12.dxf", "ezdxf_r2000.dxf", "ezdxf_r2018.dxf"}) {
        SCOPED_TRACE(file);
        test::TempDir dir;
        const std::string encoding = std::string(file) == "ezdxf_r2018.dxf" ? "utf-8" : "cp932";
        const auto original = Check(test::kData / file, encoding.c_str(), dir / "a.txt");
        SaveDxf(OpenDxf(test::kData / file), dir / "saved.dxf");
        // A drawing read from R2007 or later is saved in its own version, hence in UTF-8.
        const auto saved = Check(dir / "saved.dxf", encoding.c_str(), dir / "b.txt");
        EXPECT_EQ(saved, original);
    }
}

}  // namespace
}  // namespace pimu::cadlink::embedded
