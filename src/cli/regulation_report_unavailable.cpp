// The report sheet where cairo is not built in (the Windows build): every request says so.
#include "cli/regulation_report.h"
#include "cli/sky_compare_report.h"

namespace pimu::cli {

bool ReportsAvailable() {
    return false;
}

void WriteRegulationReport(const regulation::RegulationResult &, const geometry::BuildingModel &,
                           const ReportInfo &, const std::filesystem::path &, ReportFormat) {
    throw RenderError(
        "the report sheet (--report) is not available in this build of Pimu; the result table "
        "is printed and --csv writes it");
}

void WriteSkyCompareReport(const sky::CompareSite &, const sky::SlantRules &,
                           const sky::SkyComparison &, const geometry::BuildingModel &,
                           const ReportInfo &, const std::filesystem::path &, ReportFormat) {
    throw RenderError(
        "the report (--report) is not available in this build of Pimu; the table is printed "
        "and --csv writes it");
}

}  // namespace pimu::cli
