// `pimu sky-list`: the measurement points from --point or --marks, 再計算 through the window
// model, the point list on stdout and in CSV, and the exit statuses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;

const std::string kSettings = (kSource / "examples" / "pimu.ini").string();

std::vector<std::vector<std::string>> CsvRows(const std::string &csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(csv);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> cells;
        std::string cell;
        std::istringstream l(line);
        while (std::getline(l, cell, ',')) cells.push_back(cell);
        if (!line.empty() && line.back() == ',') cells.emplace_back();
        rows.push_back(cells);
    }
    return rows;
}

TEST(CliSkyList, MarksAndPointsGiveTheSameRows) {
    Scratch dir;
    const auto marks = RunPimu({"sky-list", kExample.string(), "--settings", kSettings, "--marks",
                                "layer:測定点", "--csv", "marks.csv"},
                               dir.path());
    ASSERT_EQ(marks.status, 0) << marks.err;
    const auto rows = CsvRows(dir.Read("marks.csv"));
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"番号", "X座標", "Y座標", "測定点", "測定面",
                                                 "計画", "適合", "AREA", "精算"}));
    for (std::size_t r = 1; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), 9u) << r;
        EXPECT_EQ(rows[r][1], std::to_string(14000 + 8000 * (r - 1))) << r;
        EXPECT_EQ(rows[r][3], std::to_string(r)) << r;  // the number beside the circle
        EXPECT_EQ(rows[r][7], "") << r;
        EXPECT_FALSE(rows[r][8].empty()) << r;
    }
    EXPECT_NE(marks.out.find("精算"), std::string::npos) << marks.out;

    // The same points typed, in the order given, on a plane 0 m up as Tenku/Takasa says.
    const auto typed = RunPimu({"sky-list", kExample.string(), "--settings", kSettings, "--point",
                                "30000,6000", "--point", "14000,6000", "--csv", "typed.csv"},
                               dir.path());
    ASSERT_EQ(typed.status, 0) << typed.err;
    const auto given = CsvRows(dir.Read("typed.csv"));
    ASSERT_EQ(given.size(), 3u);
    for (auto [g, m] : {std::pair{1, 3}, std::pair{2, 1}})
        for (int c : {1, 2, 4, 5, 6, 8}) EXPECT_EQ(given[g][c], rows[m][c]) << g << "," << c;

    // A higher plane sees more sky.
    const auto high = RunPimu({"sky-list", kExample.string(), "--settings", kSettings, "--point",
                               "14000,6000", "--set", "Tenku/Takasa=10", "--csv", "high.csv"},
                              dir.path());
    ASSERT_EQ(high.status, 0) << high.err;
    const auto up = CsvRows(dir.Read("high.csv"));
    EXPECT_EQ(up[1][4], "10");
    EXPECT_GT(std::stod(up[1][8]), std::stod(rows[1][8]));
}

TEST(CliSkyList, Refusals) {
    Scratch dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *message;
    };
    const std::string ex = kExample.string();
    const Case cases[] = {
        {{"sky-list", ex, "--settings", kSettings}, 2, "--point X,Y"},
        {{"sky-list", ex, "--settings", kSettings, "--point", "1,2", "--marks", "all"},
         2,
         "--point X,Y"},
        {{"sky-list", ex, "--settings", kSettings, "--point", "1,x"}, 2, "--point"},
        {{"sky-list", ex, "--settings", kSettings, "--point", "1,2", "--png", "a.png"}, 2, "--png"},
        {{"sky-list", ex, "--settings", kSettings, "--point", "1,2", "--set", "Tenku/Takasa=abc"},
         2,
         "Tenku/Takasa"},
        {{"sky-list", ex, "--settings", kSettings, "--marks", "layer:敷地"}, 1, "no circle"},
        {{"sky-list", ex, "--settings", kSettings, "--point", "1,2", "--set", "Tenku/Syakudo=0"},
         1,
         "図面の尺度"},
    };
    for (const Case &c : cases) {
        const auto r = RunPimu(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    const auto help = RunPimu({"sky-list", "--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.find("not available"), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("--png"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--marks"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace pimu::cli
