// Sun position on the three design days and the shadow a point casts on a horizontal plane.
//
// The solar state is a plain value built once per command; SunPosition and the shadow helpers
// are cheap inline functions for the per-instant and per-vertex loops of the shadow drawings.
#pragma once

#include <cmath>

#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "geometry/types.h"

namespace pimu::solar {

// The declination of each design day, by the index of the season choice.
inline constexpr double kWinterDeclination = -0.40927970959267024;  // -23.45 degrees
inline constexpr double kEquinoxDeclination = 0.0;
inline constexpr double kSummerDeclination = 0.40927970959267024;  // +23.45 degrees

enum class Season { Winter = 0, Equinox = 1, Summer = 2 };

// 4.5 pi, the turn between azimuths from south and drawing angles from +x.
inline constexpr double kFourAndHalfPi = 14.137166941154069;
// 15 degrees of hour angle per hour, in radians.
inline constexpr double kHourAngleStep = 0.2617993877991494;
// The first and last clock times for which the sun is computed.
inline constexpr double kFirstSunTime = 7.5;
inline constexpr double kLastSunTime = 16.5;

constexpr double DeclinationOf(Season season) {
    switch (season) {
        case Season::Winter:
            return kWinterDeclination;
        case Season::Equinox:
            return kEquinoxDeclination;
        case Season::Summer:
            return kSummerDeclination;
    }
    return kWinterDeclination;
}

// Season from the index of the season choice (0 winter, 1 equinox, 2 summer); false when the
// index is none of these.
constexpr bool SeasonFromIndex(int index, Season &season) {
    if (index < 0 || index > 2) return false;
    season = static_cast<Season>(index);
    return true;
}

// Latitude in decimal degrees from its degrees, minutes and seconds.
constexpr double LatitudeDegrees(double degrees, double minutes, double seconds) {
    return degrees + minutes / 60.0 + seconds / 3600.0;
}

// Drawing angle of the true-north direction turned into the angle added to azimuths: 4.5 pi minus
// the north angle, reduced below 2 pi (never raised). North up (90 degrees) gives exactly 0.
constexpr double NorthAngleFromDegrees(double northDegrees) {
    double a = kFourAndHalfPi - northDegrees * geometry::kDegToRad;
    while (a >= geometry::kTwoPi) a -= geometry::kTwoPi;
    return a;
}

// The optional conversion from central standard time to true solar time.
struct StandardTime {
    bool UseStdTime = false;
    double Longitude = 135.0;  // degrees east
    double EqOfTime = 1.896;   // minutes
};

struct SolarState {
    double Declination = kWinterDeclination;
    double SinLat = 0.0;
    double CosLat = 1.0;
    double SinDecl = 0.0;
    double CosDecl = 1.0;
    double NorthAngle = 0.0;
    bool UseStdTime = false;
    double Longitude = 135.0;
    double EqOfTime = 1.896;
};

inline SolarState MakeSolarState(double latitudeDegrees, double declination,
                                 double northDegrees = 90.0, const StandardTime &std = {}) {
    const double phi = latitudeDegrees * geometry::kDegToRad;
    SolarState s;
    s.Declination = declination;
    s.SinLat = std::sin(phi);
    s.CosLat = std::cos(phi);
    s.SinDecl = std::sin(declination);
    s.CosDecl = std::cos(declination);
    s.NorthAngle = NorthAngleFromDegrees(northDegrees);
    s.UseStdTime = std.UseStdTime;
    s.Longitude = std.Longitude;
    s.EqOfTime = std.EqOfTime;
    return s;
}

// Azimuth from south, positive towards west (radians), and the shadow-length ratio cot(altitude).
// Outside 7.5-16.5 h and with the sun exactly on the horizon, Ok is false with Azimuth 0 and
// Ratio 1. A sun below the horizon gives a negative ratio; a sun in the zenith gives Ratio 0 and
// Azimuth 0.
struct SunResult {
    bool Ok = false;
    double Azimuth = 0.0;
    double Ratio = 1.0;
};

// t is the clock time in decimal hours (true solar time unless the state converts standard time).
inline SunResult SunPosition(const SolarState &s, double t) {
    SunResult r;
    if (t < kFirstSunTime || t > kLastSunTime) return r;
    if (s.UseStdTime) t = t + (s.Longitude - 135.0) * 4.0 / 60.0 + s.EqOfTime / 60.0;
    const double hourAngle = (t - 12.0) * kHourAngleStep;
    const double sinH = s.SinLat * s.SinDecl + s.CosLat * s.CosDecl * std::cos(hourAngle);
    // Rounding can put sin h a hair above 1 near the zenith; the square root must not see a
    // negative number.
    const double cosH = std::sqrt(std::fmax(0.0, 1.0 - sinH * sinH));
    if (sinH == 0.0) return r;  // on the horizon the shadow would be infinitely long
    if (cosH == 0.0) {          // in the zenith: no shadow, no direction
        r.Ok = true;
        r.Ratio = 0.0;
        return r;
    }
    const double sA = s.CosDecl * (std::sin(hourAngle) / cosH);
    const double cA = (sinH * s.SinLat - s.SinDecl) / (cosH * s.CosLat);
    if (sA == 0.0 && cA == 0.0) return r;
    double a = std::fabs(cA) >= std::fabs(sA)
                   ? std::atan(std::fabs(sA) / std::fabs(cA))
                   : geometry::kHalfPi - std::atan(std::fabs(cA) / std::fabs(sA));
    if (cA < 0.0) a = geometry::kPi - a;
    if (sA < 0.0) a = -a;
    while (a >= geometry::kTwoPi) a -= geometry::kTwoPi;
    r.Azimuth = a;
    r.Ratio = 1.0 / (sinH / cosH);
    r.Ok = true;
    return r;
}

// Drawing angle (for PolarPoint) in which shadows fall for the azimuth A. With north up the
// noon shadow points to +y.
constexpr double ShadowAngle(const SolarState &s, double azimuth) {
    return kFourAndHalfPi - (azimuth + s.NorthAngle);
}

// The shadow of p on the horizontal plane at height planeHeight, for a shadow angle and ratio.
// A point at or below the plane is its own shadow. The result lies at z = resultZ (callers use
// 0 or the plane height).
inline geometry::TAcadPoint ShadowPoint(geometry::TAcadPoint p, double planeHeight,
                                        double shadowAngle, double ratio, double resultZ) {
    if (p.z > planeHeight) p = geometry::PolarPoint(p, shadowAngle, (p.z - planeHeight) * ratio);
    p.z = resultZ;
    return p;
}

}  // namespace pimu::solar
