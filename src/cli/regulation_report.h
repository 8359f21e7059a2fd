// The report sheet of a shadow-regulation check: one A4 landscape page with the plan (building
// edges, site and deemed outline, the 5 m and 10 m lines, the regions shaded at least each
// limit, the crossings hatched, a north arrow and a scale bar), the legend and the result table.
#pragma once

#include <filesystem>
#include <string>

#include "cli/render.h"
#include "geometry/building_model.h"
#include "regulation/regulation.h"

namespace pimu::cli {

enum class ReportFormat { Pdf, Png };

struct ReportInfo {
    double northDegrees = 90.0;  // direction of north in the drawing, ccw from +x
    std::string drawingName;     // shown under the title; may be empty
};

// False in a build without cairo (Windows): WriteRegulationReport then throws RenderError.
bool ReportsAvailable();

// Writes the sheet (PDF, or the same page as a PNG picture at 144 dpi). Throws RenderError when
// the file cannot be written.
void WriteRegulationReport(const regulation::RegulationResult &result,
                           const geometry::BuildingModel &model, const ReportInfo &info,
                           const std::filesystem::path &path, ReportFormat format);

}  // namespace pimu::cli
