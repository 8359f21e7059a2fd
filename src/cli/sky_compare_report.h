// The report of a sky-factor comparison: an A4 landscape sheet with the plan (site, buildings,
// conforming buildings, the points marked as they pass or fail, north arrow and scale bar) and a
// summary per limit, then the table of every point on as many pages as it needs.
#pragma once

#include <filesystem>

#include "cli/regulation_report.h"
#include "geometry/building_model.h"
#include "sky/sky_compare.h"

namespace pimu::cli {

// Writes the report (PDF; PNG: the first page as a picture). Throws RenderError when it cannot.
void WriteSkyCompareReport(const sky::CompareSite &site, const sky::SlantRules &rules,
                           const sky::SkyComparison &result, const geometry::BuildingModel &model,
                           const ReportInfo &info, const std::filesystem::path &path,
                           ReportFormat format);

}  // namespace pimu::cli
