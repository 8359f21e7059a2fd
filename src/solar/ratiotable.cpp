#include "solar/ratiotable.h"

#include <cmath>
#include <cstdio>

#include "geometry/primitives.h"
#include "solar/sun.h"

namespace pimu::solar {
namespace {

std::string Pad2(long long v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

// Altitude split by truncation; the sign goes in front so that angles under one degree keep it.
std::string AltitudeDms(double h) {
    const double a = std::fabs(h);
    const double deg = std::trunc(a);
    const double min = std::trunc((a - deg) * 60.0);
    const double sec = std::trunc(((a - deg) - min / 60.0) * 3600.0);
    return FormatDms(h < 0.0, static_cast<long long>(deg), static_cast<long long>(min),
                     static_cast<long long>(sec));
}

std::string AzimuthDms(double a) {
    const double abs = std::fabs(a);
    const double deg = std::trunc(abs);
    const double m = (abs - deg) * 60.0;
    const double min = std::trunc(m);
    const double sec = std::trunc((m - min) * 60.0);
    return FormatDms(a < 0.0, static_cast<long long>(deg), static_cast<long long>(min),
                     static_cast<long long>(sec));
}

}  // namespace

std::string FormatDecimal(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    // + 0.0 turns a rounded -0 into 0, so no column ever shows "-0.0000".
    const double r = geometry::RoundHalfAway(v * scale) / scale + 0.0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
    return buf;
}

std::string FormatDms(bool negative, long long degrees, long long minutes, long long seconds) {
    return (negative ? "-" : "") + std::to_string(degrees) + "°" + Pad2(minutes) + "′" +
           Pad2(seconds) + "″";
}

std::vector<std::string> RatioTableLines(double phi, std::string_view dmsTitle,
                                         const RatioTableOptions &options) {
    const int d = options.ThreeDecimals ? 3 : 4;

    // The table is always for the winter solstice in true solar time.
    const SolarState state = MakeSolarState(phi, kWinterDeclination);

    std::vector<std::string> lines;
    lines.reserve(19);
    std::string latitude;
    if (options.UseDms) {
        latitude = std::string(dmsTitle);
    } else {
        latitude = FormatDecimal(phi, d) + "°";
    }
    lines.push_back("影倍率表 [ 緯度 = " + latitude + "] [ 冬至 ]");
    lines.push_back("時刻\t太陽高度\t太陽方位角\t影長倍率\tX倍率\tY倍率");

    for (int k = 0; k <= 16; ++k) {
        const double t = 8.0 + 0.5 * k;
        const SunResult sun = SunPosition(state, t);
        const double altitude = std::atan(1.0 / sun.Ratio) * geometry::kRadToDeg;
        const double azimuth = sun.Azimuth * geometry::kRadToDeg;
        std::string line = std::to_string(8 + k / 2) + (k % 2 == 0 ? ":00" : ":30");
        line += "\t" + (options.UseDms ? AltitudeDms(altitude) : FormatDecimal(altitude, d));
        line += "\t" + (options.UseDms ? AzimuthDms(azimuth) : FormatDecimal(azimuth, d));
        line += "\t" + FormatDecimal(sun.Ratio, d);
        line += "\t" + FormatDecimal(sun.Ratio * std::sin(sun.Azimuth), d);
        line += "\t" + FormatDecimal(sun.Ratio * std::cos(sun.Azimuth), d);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace pimu::solar
