// The smaller tools on the command line: deemed boundary lines and the equation-of-time commands.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cadlink/embedded/dxfio.h"
#include "cli_test_util.h"
#include "solar/eqtime.h"

namespace pimu::cli {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using testing::kExample;
using testing::RunPimu;
using testing::Scratch;

TEST(CliTools, BoundaryAroundTheExampleSite) {
    Scratch dir;
    const auto r =
        RunPimu({"boundary", kExample.string(), "--site", "layer:敷地", "-o", "b.dxf"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("boundary: 2 entities added"), std::string::npos) << r.out;
    const auto saved = cadlink::embedded::OpenDxf(dir / "b.dxf");
    std::vector<EntityData> lines;
    for (auto id : saved.ModelSpace()) {
        const EntityData &e = saved.Get(id);
        if (e.layer == "0" && e.closed && !e.vertices.empty()) lines.push_back(e);
    }
    // The 60 m x 45 m site from (10000, 10000): the 5000 line first, from its moved south side.
    ASSERT_EQ(lines.size(), 2u);
    for (std::size_t j = 0; j < 2; ++j) {
        ASSERT_EQ(lines[j].vertices.size(), 8u);
        EXPECT_NEAR(lines[j].vertices[0].pt.x, 10000.0, 1e-6);
        EXPECT_NEAR(lines[j].vertices[0].pt.y, 10000.0 - 5000.0 * static_cast<double>(j + 1), 1e-6);
    }
}

TEST(CliTools, BoundaryRefusals) {
    Scratch dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *message;
    };
    const Case cases[] = {
        {{"boundary", kExample.string()}, 2, "--site SEL"},
        {{"boundary", kExample.string(), "--site", "layer:nothing"}, 2, "nothing in the drawing"},
        // The site's title text alone: no outline, nothing drawn.
        {{"boundary", kExample.string(), "--site", "window:9000,1000,40000,4000"},
         1,
         "nothing was drawn"},
        {{"boundary", kExample.string(), "--site", "layer:敷地", "--date", "2025-01-01"},
         2,
         "does not take --date"},
    };
    for (const Case &c : cases) {
        const auto r = RunPimu(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.args.back() << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(CliTools, EquationOfTimeAndTrueSolarNoon) {
    Scratch dir;
    const auto eot = RunPimu({"eot", "--date", "2025-01-01", "--offset", "-2.5"}, dir.path());
    ASSERT_EQ(eot.status, 0) << eot.err;
    char expected[32];
    std::snprintf(expected, sizeof expected, "%.4f\n", solar::EqTimeSimple(-2.5));
    EXPECT_EQ(eot.out, expected);
    const auto feb = RunPimu({"eot", "--date", "2025-02-11", "--offset", "0"}, dir.path());
    std::snprintf(expected, sizeof expected, "%.4f\n", solar::EqTimeSimple(41));
    EXPECT_EQ(feb.out, expected);

    const auto noon = RunPimu({"solar-noon", "--longitude", "139.75", "--eot", "0"}, dir.path());
    ASSERT_EQ(noon.status, 0) << noon.err;
    EXPECT_EQ(noon.out, "真太陽時 = 11:41:00\n");

    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"eot", "--date", "2025-02-30"},
          {"eot", "--offset", "soon"},
          {"solar-noon", "--longitude", "east"},
          {"eot", "DRAWING.dxf"}}) {
        const auto r = RunPimu(bad, dir.path());
        EXPECT_EQ(r.status, 2) << bad.back() << r.err;
    }
    const auto help = RunPimu({"eot", "--help"}, dir.path());
    EXPECT_NE(help.out.find("--date"), std::string::npos);
    EXPECT_EQ(help.out.find("--site"), std::string::npos);
    EXPECT_EQ(help.out.find("--longitude"), std::string::npos);
}

TEST(CliTools, EquationOfTimePlots) {
    Scratch dir;
    std::filesystem::create_directories(dir / "tables");
    std::string t2024, t2025;
    for (int k = 0; k < 366; ++k) {
        t2024 += std::to_string(solar::EqTimeSpencer(k) + 0.01) + "\r\n";
        t2025 += std::to_string(solar::EqTimeSpencer(k)) + "\r\n";
    }
    dir.Write("tables/kinjisa_2024-135.txt", t2024);
    const std::string drawing = kExample.string();

    // The 2025 table is missing.
    auto r = RunPimu({"eot-plot", drawing, "--tables", "tables", "--compare-tables"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("kinjisa_2025-135.txt: no such file"), std::string::npos) << r.err;

    dir.Write("tables/kinjisa_2025-135.txt", t2025);
    r = RunPimu({"eot-plot", drawing, "--tables", "tables", "--compare-tables", "-o", "c.dxf"},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("largest difference: 0.010 min"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1095 entities added"), std::string::npos) << r.out;

    r = RunPimu({"eot-plot", drawing, "--tables", "tables", "--formula", "-o", "f.dxf"},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("largest difference: 0.000 min"), std::string::npos) << r.out;

    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"eot-plot", drawing, "--tables", "tables"},
          {"eot-plot", drawing, "--tables", "tables", "--formula", "--compare-tables"},
          {"eot-plot", drawing, "--formula"}}) {
        r = RunPimu(bad, dir.path());
        EXPECT_EQ(r.status, 2) << bad.back() << r.err;
    }
}

}  // namespace
}  // namespace pimu::cli
