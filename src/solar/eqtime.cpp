#include "solar/eqtime.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "base/numconv.h"
#include "geometry/tolerances.h"
#include "solar/timetext.h"

namespace pimu::solar {
namespace {
constexpr double kTropicalYear = 365.24219;
// Plot scales: drawing units per day and per minute.
constexpr double kUnitsPerDay = 2.0;
constexpr double kUnitsPerMinute = 10.0;

// Adds the day-k-to-day-k+1 line of a curve.
void AddDayLine(EqTimePlot &plot, std::size_t k, double y0, double y1, int colour) {
    const double x0 = kUnitsPerDay * static_cast<double>(k);
    plot.lines.push_back({{x0, y0, 0.0}, {x0 + kUnitsPerDay, y1, 0.0}, colour});
}

// Plots a curve, b and their difference a - b, tracking the largest difference.
EqTimePlot ComparePlot(std::span<const double> a, std::span<const double> b, int colourA,
                       int colourB) {
    EqTimePlot plot;
    double largest = 0.0;  // drawing units
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t k = 0; k + 1 < n; ++k) {
        AddDayLine(plot, k, kUnitsPerMinute * b[k], kUnitsPerMinute * b[k + 1], colourB);
        const double y0 = kUnitsPerMinute * a[k] - kUnitsPerMinute * b[k];
        const double y1 = kUnitsPerMinute * a[k + 1] - kUnitsPerMinute * b[k + 1];
        AddDayLine(plot, k, y0, y1, 4);
        largest = std::max({largest, std::fabs(y0), std::fabs(y1)});
        AddDayLine(plot, k, kUnitsPerMinute * a[k], kUnitsPerMinute * a[k + 1], colourA);
    }
    plot.maxDifference = largest / kUnitsPerMinute;
    return plot;
}
}  // namespace

double EqTimeSimple(double d) {
    const double theta = d / kTropicalYear * geometry::kTwoPi;
    return -7.657 * std::sin(theta) + 9.862 * std::sin(2.0 * theta + 3.559);
}

double EqTimeSpencer(double d) {
    const double theta = (d + 0.5) / kTropicalYear * geometry::kTwoPi;
    const double e = 0.000075 + 0.001868 * std::cos(theta) - 0.032077 * std::sin(theta) -
                     0.014615 * std::cos(2.0 * theta) - 0.040849 * std::sin(2.0 * theta);
    return e / geometry::kPi * 180.0 / 15.0 * 60.0;
}

int DayNumber(std::chrono::year_month_day date) {
    const std::chrono::sys_days first{date.year() / std::chrono::January / 1};
    return static_cast<int>((std::chrono::sys_days{date} - first).count());
}

std::string EqTimeText(std::chrono::year_month_day date, std::string_view offsetText) {
    double offset = 0.0;
    if (!TryParseNumber(offsetText, offset)) offset = 0.0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", EqTimeSimple(DayNumber(date) + offset));
    return buf;
}

std::string TrueSolarNoonText(double longitude, double eqOfTime) {
    return "真太陽時 = " + FormatClock(12.0 - ((longitude - 135.0) * 4.0 / 60.0 + eqOfTime / 60.0));
}

std::vector<double> ParseEqTimeTable(std::string_view text) {
    std::vector<double> values;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        double v = 0.0;
        if (!TryParseNumber(line, v)) v = 0.0;
        values.push_back(v);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return values;
}

EqTimePlot CompareEqTimeTables(std::span<const double> first, std::span<const double> second) {
    return ComparePlot(first, second, 7, 1);
}

EqTimePlot CompareEqTimeFormula(std::span<const double> table) {
    std::vector<double> formula(table.size());
    for (std::size_t k = 0; k < table.size(); ++k)
        formula[k] = EqTimeSpencer(static_cast<double>(k));
    return ComparePlot(table, formula, 1, 7);
}

std::string EqTimeDifferenceText(double maxDifference) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f min", maxDifference);
    return buf;
}

}  // namespace pimu::solar
