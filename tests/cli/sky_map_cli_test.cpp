// `pimu sky` and `pimu sky-batch`: the maps land at --place / --center, state the sky factor the
// point list shows, leave no block behind, and the AREA target is refused with status 1.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cadlink/embedded/drawing.h"
#include "cadlink/embedded/dxfio.h"
#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using cadlink::embedded::Drawing;
using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;

const std::string kSettings = (kSource / "examples" / "pimu.ini").string();

std::vector<EntityData> Circles(const Drawing &d, const std::string &layer) {
    std::vector<EntityData> out;
    for (auto id : d.ModelSpace())
        if (const EntityData &e = d.Get(id); e.kind == EntityKind::Circle && e.layer == layer)
            out.push_back(e);
    return out;
}

bool HasText(const Drawing &d, const std::string &text) {
    for (auto id : d.ModelSpace())
        if (const EntityData &e = d.Get(id); e.kind == EntityKind::Text && e.text == text)
            return true;
    return false;
}

// The 計画 column of the point list for one point.
std::string Keikaku(Scratch &dir, const std::string &point) {
    const auto r = RunPimu({"sky-list", kExample.string(), "--settings", kSettings, "--point",
                            point, "--csv", "k.csv"},
                           dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string csv = dir.Read("k.csv");
    const std::string row = csv.substr(csv.find('\n') + 1);
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t c = 0; c <= row.size(); ++c)
        if (c == row.size() || row[c] == ',') {
            cells.push_back(row.substr(start, c - start));
            start = c + 1;
        }
    return cells.size() > 5 ? cells[5] : "";
}

TEST(CliSky, OneMapWithItsTablesAtThePlacement) {
    Scratch dir;
    const std::string value = Keikaku(dir, "30000,6000");
    ASSERT_FALSE(value.empty());
    const auto r = RunPimu({"sky", kExample.string(), "--settings", kSettings, "--point",
                            "30000,6000", "--type", "B", "--place", "30000,-30000", "-o", "b.dxf"},
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const Drawing d = cadlink::embedded::OpenDxf(dir.path() / "b.dxf");
    const auto circles = Circles(d, "PIMU_TENKU");
    ASSERT_EQ(circles.size(), 1u);
    EXPECT_NEAR(circles[0].p1.x, 30000.0, 1e-6);
    EXPECT_NEAR(circles[0].p1.y, -30000.0, 1e-6);
    EXPECT_NEAR(circles[0].radius, 20000.0, 1e-6);
    EXPECT_TRUE(HasText(d, "天空率 = " + value + "%")) << value;
    EXPECT_TRUE(HasText(d, "三角形No."));
    EXPECT_TRUE(HasText(d, "建物位置確認表"));
    for (const auto &b : d.Blocks()) EXPECT_FALSE(b.name.starts_with("PIMU_")) << b.name;

    const auto area = RunPimu({"sky", kExample.string(), "--settings", kSettings, "--set",
                               "Tenku/Menseki=0", "--point", "30000,6000", "--place", "0,0"},
                              dir.path());
    EXPECT_EQ(area.status, 1);
    EXPECT_NE(area.err.find("[AREA]には対応していません"), std::string::npos) << area.err;
    const auto usage = RunPimu(
        {"sky", kExample.string(), "--settings", kSettings, "--point", "30000,6000"}, dir.path());
    EXPECT_EQ(usage.status, 2) << usage.err;
}

TEST(CliSkyBatch, EveryMarkedPointInARow) {
    Scratch dir;
    const auto r = RunPimu({"sky-batch", kExample.string(), "--settings", kSettings, "--marks",
                            "layer:測定点", "--type", "A", "--center", "0,-20000", "-o", "a.dxf"},
                           dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const Drawing d = cadlink::embedded::OpenDxf(dir.path() / "a.dxf");
    const auto circles = Circles(d, "PIMU_TENKU");
    ASSERT_EQ(circles.size(), 7u);
    for (std::size_t i = 0; i < circles.size(); ++i) {
        EXPECT_NEAR(circles[i].p1.x, 75.0 * 200.0 * static_cast<double>(i), 1e-6) << i;
        EXPECT_NEAR(circles[i].radius, 5000.0, 1e-6);
    }
    EXPECT_FALSE(HasText(d, "三角形No."));
    for (const auto &b : d.Blocks()) EXPECT_FALSE(b.name.starts_with("PIMU_")) << b.name;
}

}  // namespace
}  // namespace pimu::cli
