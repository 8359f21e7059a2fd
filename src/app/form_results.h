// The results of the commands that present texts or rows, kept as data by their handlers: the
// window shows them in their controls (which the user may edit afterwards), the command line
// prints and writes them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sky/sky_list.h"

namespace pimu::app {

// One measurement point of the sky-factor list as 再計算 (Button9) took it from its row of
// StringGrid1, with its sky factors.
struct SkyListRow {
    std::string number, x, y, name, height;  // the row's cells as they were
    // None while not computed, and for a point whose values broke 計画 <= 精算 <= 適合.
    std::optional<sky::SkyPointResult> values;
};

// One specific point as the shadow-time computation (GetTokuteiJikan) took it from its row of
// StringGrid2, with its times as the grid shows them.
struct PointTimesRow {
    std::string number, x, y, name;  // the row's cells as they were
    std::string total;               // the hours in shadow, "" while not computed
    std::vector<std::pair<std::string, std::string>> intervals;  // enters, leaves ("" if it stays)
};

struct FormResults {
    std::string eqTime;            // 均時差計算 (Button19), shown in Edit45
    std::string eqTimeDifference;  // the plots' largest difference (Button1, Button25), Label65
    std::string trueSolarNoon;     // the true solar noon (ChihouTaiyouji), shown in a message
    std::vector<std::string> ratioTable;  // 影倍率表 (SpeedButton3): lines of tab-separated cells
    std::vector<SkyListRow> skyList;      // 再計算 (Button9): the points it read, in grid order
    // The specific points' shadow times (Button21, Button22, Button23), in grid order.
    std::vector<PointTimesRow> pointTimes;
};

// The headers of StringGrid1's result columns (5 to 8) as 再計算 sets them.
inline constexpr const char *kSkyResultHeaders[] = {"計画", "適合", "AREA", "精算"};

// The sky list as a table: a header row, then the cells of each point as StringGrid1 shows them
// (blanks around them removed; the AREA column empty).
std::vector<std::vector<std::string>> SkyListTable(const std::vector<SkyListRow> &rows);
// The specific points as a table: StringGrid2's header, then each point's cells as the grid shows
// them (blanks around them removed; as many interval columns as the grid has).
std::vector<std::vector<std::string>> PointTimesTable(const std::vector<PointTimesRow> &rows);

}  // namespace pimu::app
