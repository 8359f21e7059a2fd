#include "solar/sun.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pimu::solar {
namespace {

using geometry::kDegToRad;
using geometry::kPi;
using geometry::kTwoPi;
using geometry::TAcadPoint;

// Altitude and azimuth from the sun's direction vector in east/north/up coordinates: a formula
// independent of the quadrant logic of SunPosition.
struct Reference {
    double azimuth;  // from south, positive west
    double ratio;    // cot(altitude)
};

Reference ReferenceSun(double latDeg, double decl, double t) {
    const double phi = latDeg * kDegToRad;
    const double h = (t - 12.0) * kPi / 12.0;
    const double west = std::cos(decl) * std::sin(h);
    const double north =
        std::cos(phi) * std::sin(decl) - std::sin(phi) * std::cos(decl) * std::cos(h);
    const double up = std::sin(phi) * std::sin(decl) + std::cos(phi) * std::cos(decl) * std::cos(h);
    return {std::atan2(west, -north), std::hypot(west, north) / up};
}

TEST(SunPosition, AgreesWithAnIndependentFormula) {
    const double latitudes[] = {24.3, 35.0, 36.0, 43.06, 45.5, 66.0};
    const double declinations[] = {kWinterDeclination, kEquinoxDeclination, kSummerDeclination};
    for (double lat : latitudes) {
        for (double decl : declinations) {
            const SolarState s = MakeSolarState(lat, decl);
            for (double t = 7.5; t <= 16.5; t += 0.25) {
                const SunResult sun = SunPosition(s, t);
                const Reference ref = ReferenceSun(lat, decl, t);
                ASSERT_TRUE(sun.Ok);
                EXPECT_NEAR(0.0, std::remainder(sun.Azimuth - ref.azimuth, kTwoPi), 1e-9)
                    << "lat " << lat << " decl " << decl << " t " << t;
                EXPECT_NEAR(ref.ratio, sun.Ratio, 1e-9 * std::fmax(1.0, std::fabs(ref.ratio)))
                    << "lat " << lat << " decl " << decl << " t " << t;
            }
        }
    }
}

TEST(SunPosition, KnownValuesAtThirtySixDegrees) {
    const SolarState winter = MakeSolarState(36.0, kWinterDeclination);
    const SunResult noon = SunPosition(winter, 12.0);
    EXPECT_TRUE(noon.Ok);
    EXPECT_EQ(0.0, noon.Azimuth);
    EXPECT_NEAR(1.69428, noon.Ratio, 1e-5);
    EXPECT_NEAR(30.55, std::atan(1.0 / noon.Ratio) / kDegToRad, 1e-9);

    const SolarState equinox = MakeSolarState(36.0, kEquinoxDeclination);
    const SunResult am = SunPosition(equinox, 9.0);
    const SunResult pm = SunPosition(equinox, 15.0);
    EXPECT_NEAR(-59.55, am.Azimuth / kDegToRad, 0.01);
    EXPECT_NEAR(59.55, pm.Azimuth / kDegToRad, 0.01);
    EXPECT_NEAR(1.43378, am.Ratio, 1e-5);
    EXPECT_DOUBLE_EQ(am.Ratio, pm.Ratio);
}

TEST(SunPosition, OutsideTheWindowIsNoSun) {
    const SolarState s = MakeSolarState(36.0, kWinterDeclination);
    for (double t : {7.4, 16.6, -1.0, 25.0}) {
        const SunResult r = SunPosition(s, t);
        EXPECT_FALSE(r.Ok) << t;
        EXPECT_EQ(0.0, r.Azimuth) << t;
        EXPECT_EQ(1.0, r.Ratio) << t;
    }
    EXPECT_TRUE(SunPosition(s, 7.5).Ok);
    EXPECT_TRUE(SunPosition(s, 16.5).Ok);
}

TEST(SunPosition, StandardTimeShiftsTheClockButNotTheWindow) {
    const SolarState solar = MakeSolarState(36.0, kWinterDeclination);
    const SolarState same = MakeSolarState(36.0, kWinterDeclination, 90.0, {true, 135.0, 0.0});
    const SolarState tokyo = MakeSolarState(36.0, kWinterDeclination, 90.0, {true, 139.75, 0.0});
    for (double t : {8.0, 10.5, 14.25}) {
        EXPECT_EQ(SunPosition(solar, t).Azimuth, SunPosition(same, t).Azimuth);
        EXPECT_EQ(SunPosition(solar, t).Ratio, SunPosition(same, t).Ratio);
        EXPECT_NEAR(SunPosition(solar, t + 19.0 / 60).Azimuth, SunPosition(tokyo, t).Azimuth,
                    1e-12);
        EXPECT_NEAR(SunPosition(solar, t + 19.0 / 60).Ratio, SunPosition(tokyo, t).Ratio, 1e-12);
    }
    // The window applies to the clock time before the conversion.
    EXPECT_TRUE(SunPosition(tokyo, 16.4).Ok);
    const SolarState west = MakeSolarState(36.0, kWinterDeclination, 90.0, {true, 130.0, 0.0});
    EXPECT_FALSE(SunPosition(west, 16.6).Ok);
    // The equation of time is in minutes.
    const SolarState eq = MakeSolarState(36.0, kWinterDeclination, 90.0, {true, 135.0, 6.0});
    EXPECT_NEAR(SunPosition(solar, 10.1).Ratio, SunPosition(eq, 10.0).Ratio, 1e-12);
}

TEST(SunPosition, HorizonZenithAndBelowHorizon) {
    // Pole at the equinox: the sun runs exactly along the horizon.
    SolarState pole;
    pole.SinLat = 1.0;
    pole.CosLat = 0.0;
    pole.SinDecl = 0.0;
    pole.CosDecl = 1.0;
    const SunResult horizon = SunPosition(pole, 10.0);
    EXPECT_FALSE(horizon.Ok);
    EXPECT_EQ(0.0, horizon.Azimuth);
    EXPECT_EQ(1.0, horizon.Ratio);

    // Sun overhead: no shadow and a finite azimuth, also where rounding puts sin h above 1.
    const SunResult zenith = SunPosition(MakeSolarState(0.0, kEquinoxDeclination), 12.0);
    EXPECT_TRUE(zenith.Ok);
    EXPECT_EQ(0.0, zenith.Ratio);
    // At this latitude sin^2 + cos^2 rounds to 1.0000000000000002.
    for (double lat : {23.45, -29.988999999999987}) {
        const SunResult r = SunPosition(MakeSolarState(lat, lat * kDegToRad), 12.0);
        EXPECT_TRUE(std::isfinite(r.Azimuth)) << lat;
        EXPECT_TRUE(std::isfinite(r.Ratio)) << lat;
        EXPECT_NEAR(0.0, r.Ratio, 1e-6) << lat;
    }

    // Below the horizon the ratio turns negative and is passed on.
    const SunResult low = SunPosition(MakeSolarState(66.0, kWinterDeclination), 8.0);
    EXPECT_TRUE(low.Ok);
    EXPECT_LT(low.Ratio, 0.0);
}

TEST(SolarState, NorthAngleAndSeason) {
    EXPECT_EQ(0.0, NorthAngleFromDegrees(90.0));
    EXPECT_NEAR(0.5 * kPi, NorthAngleFromDegrees(0.0), 1e-12);
    EXPECT_NEAR(kPi, NorthAngleFromDegrees(270.0 - 360.0), 1e-12);
    Season season{};
    EXPECT_TRUE(SeasonFromIndex(2, season));
    EXPECT_EQ(kSummerDeclination, DeclinationOf(season));
    EXPECT_EQ(-0.40927970959267024, DeclinationOf(Season::Winter));
    EXPECT_NEAR(-23.45 * kDegToRad, kWinterDeclination, 1e-15);
    EXPECT_FALSE(SeasonFromIndex(3, season));
    EXPECT_FALSE(SeasonFromIndex(-1, season));
    EXPECT_DOUBLE_EQ(36.5125, LatitudeDegrees(36, 30, 45));
}

TEST(Shadow, DirectionFollowsTrueNorth) {
    const double h = 1000.0;
    // North up: the noon shadow points to +y, exactly along the axis.
    const SolarState up = MakeSolarState(36.0, kWinterDeclination, 90.0);
    const SunResult noon = SunPosition(up, 12.0);
    const double thetaUp = ShadowAngle(up, noon.Azimuth);
    EXPECT_EQ(4.5 * kPi, thetaUp);
    const TAcadPoint s = ShadowPoint({100, 200, 11000}, h, thetaUp, noon.Ratio, h);
    EXPECT_NEAR(100.0, s.x, 1e-9);
    EXPECT_NEAR(200.0 + 10000 * noon.Ratio, s.y, 1e-9);
    EXPECT_EQ(h, s.z);

    // North along +x: the noon shadow points to +x.
    const SolarState right = MakeSolarState(36.0, kWinterDeclination, 0.0);
    const TAcadPoint r = ShadowPoint({0, 0, 2000}, h, ShadowAngle(right, 0.0), 2.0, 0.0);
    EXPECT_NEAR(2000.0, r.x, 1e-9);
    EXPECT_NEAR(0.0, r.y, 1e-9);

    // Morning sun in the south-east: the shadow falls to the north-west.
    const SunResult am = SunPosition(up, 9.0);
    const TAcadPoint m = ShadowPoint({0, 0, 2000}, h, ShadowAngle(up, am.Azimuth), am.Ratio, 0.0);
    EXPECT_LT(m.x, 0.0);
    EXPECT_GT(m.y, 0.0);
    EXPECT_NEAR(1000.0 * am.Ratio, std::hypot(m.x, m.y), 1e-9);
}

TEST(Shadow, PointsAtOrBelowThePlaneAreTheirOwnShadow) {
    const TAcadPoint onPlane = ShadowPoint({5, 6, 1000}, 1000.0, 1.0, 3.0, 0.0);
    EXPECT_EQ((TAcadPoint{5, 6, 0}), onPlane);
    const TAcadPoint below = ShadowPoint({5, 6, 10}, 1000.0, 1.0, 3.0, 1000.0);
    EXPECT_EQ((TAcadPoint{5, 6, 1000}), below);
}

}  // namespace
}  // namespace pimu::solar
