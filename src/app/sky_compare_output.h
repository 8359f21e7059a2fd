// What the sky-factor comparison leaves behind: its table (for the drawing, the CSV file and the
// terminal) and its drawing items on their own layers.
#pragma once

#include <string>
#include <vector>

#include "cadlink/dxftext.h"
#include "sky/sky_compare.h"

namespace pimu::app {

inline constexpr const char *kSkyPointLayer = "天空_測定点";
inline constexpr const char *kSkyConformingLayer = "天空_適合建築物";
inline constexpr const char *kSkyCompareTableLayer = "天空_比較表";

// The name of a limit as the table writes it.
std::string SlantLimitName(sky::SlantLimit limit);

// The table: a header row, one row per point (label, limit, x and y in metres, the planned
// building's 計画 and 精算, the conforming building's 適合 and 精算, the difference, the verdict),
// then the overall verdict. Values at the comparison's decimals.
std::vector<std::vector<std::string>> SkyCompareRows(const sky::SkyComparison &result);

// The verdict line the window shows: overall, and the worst point with its margin.
std::string SkyCompareVerdict(const sky::SkyComparison &result);

// The drawing items: each point as a small circle with its label, each conforming building as
// 3D lines (its top faces' outlines and the verticals at their corners), and the table to the
// right of it all. Texts are `textHeight` drawing units high. Returns the table's lower left
// corner.
geometry::TAcadPoint AddSkyCompareDxf(cadlink::DxfText &sl, const sky::CompareSite &site,
                                      const sky::SlantRules &rules,
                                      const sky::SkyComparison &result, double textHeight);

}  // namespace pimu::app
