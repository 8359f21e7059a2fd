#include "solar/eqtime.h"

#include <cmath>
#include <cstdio>

#include "base/numconv.h"
#include "geometry/tolerances.h"
#include "solar/timetext.h"

namespace pimu::solar {
namespace {
constexpr double kTropicalYear = 365.24219;
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

}  // namespace pimu::solar
