#include "solar/ratiotable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "solar/sun.h"

namespace pimu::solar {
namespace {

std::vector<std::string> Fields(const std::string &line) {
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        out.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return out;
        start = tab + 1;
    }
}

TEST(RatioTable, DefaultLatitudeDecimalForm) {
    const auto lines = RatioTableLines(36.0, "36°0′0″");
    ASSERT_EQ(19u, lines.size());
    EXPECT_EQ("影倍率表 [ 緯度 = 36.0000°] [ 冬至 ]", lines[0]);
    EXPECT_EQ("時刻\t太陽高度\t太陽方位角\t影長倍率\tX倍率\tY倍率", lines[1]);
    EXPECT_EQ("8:00", Fields(lines[2])[0]);
    EXPECT_EQ("8:30", Fields(lines[3])[0]);
    EXPECT_EQ("16:00", Fields(lines[18])[0]);
    EXPECT_EQ("12:00\t30.5500\t0.0000\t1.6943\t0.0000\t1.6943", lines[10]);
    const auto nine = Fields(lines[4]);
    EXPECT_EQ("9:00", nine[0]);
    EXPECT_EQ("16.9122", nine[1]);
    EXPECT_EQ("-42.6898", nine[2]);
    // Afternoon rows mirror the morning ones with the azimuth and X ratio negated.
    for (int k = 0; k < 8; ++k) {
        const auto am = Fields(lines[2 + k]);
        const auto pm = Fields(lines[18 - k]);
        EXPECT_EQ(am[1], pm[1]);
        EXPECT_EQ(am[2], "-" + pm[2]);
        EXPECT_EQ(am[3], pm[3]);
        EXPECT_EQ(am[4], "-" + pm[4]);
        EXPECT_EQ(am[5], pm[5]);
    }
}

TEST(RatioTable, DmsAndThreeDecimals) {
    const auto dms = RatioTableLines(36.0, "36°00′00″", {true, false});
    EXPECT_EQ("影倍率表 [ 緯度 = 36°00′00″] [ 冬至 ]", dms[0]);  // the texts as typed
    EXPECT_EQ("12:00\t30°33′00″\t0°00′00″\t1.6943\t0.0000\t1.6943", dms[10]);
    EXPECT_EQ("-42°41′23″", Fields(dms[4])[2]);
    EXPECT_EQ("16°54′43″", Fields(dms[4])[1]);

    const auto three = RatioTableLines(36.0, "36°0′0″", {false, true});
    EXPECT_EQ("影倍率表 [ 緯度 = 36.000°] [ 冬至 ]", three[0]);
    EXPECT_EQ("12:00\t30.550\t0.000\t1.694\t0.000\t1.694", three[10]);

    // Three decimals leave the degrees-minutes-seconds columns alone.
    const auto both = RatioTableLines(36.0, "36°00′00″", {true, true});
    EXPECT_EQ("12:00\t30°33′00″\t0°00′00″\t1.694\t0.000\t1.694", both[10]);
}

TEST(RatioTable, LatitudeFromMinutesAndSeconds) {
    const auto lines = RatioTableLines(LatitudeDegrees(35, 30, 36), "35°30′36″");
    EXPECT_EQ("影倍率表 [ 緯度 = 35.5100°] [ 冬至 ]", lines[0]);
}

TEST(RatioTableFormat, RoundsHalfAwayAndNeverShowsMinusZero) {
    EXPECT_EQ("0.3", FormatDecimal(0.25, 1));  // printf alone would give 0.2
    EXPECT_EQ("-0.3", FormatDecimal(-0.25, 1));
    EXPECT_EQ("3", FormatDecimal(2.5, 0));
    EXPECT_EQ("0.0000", FormatDecimal(-0.00001, 4));
    EXPECT_EQ("5°03′09″", FormatDms(false, 5, 3, 9));
    EXPECT_EQ("-0°30′00″", FormatDms(true, 0, 30, 0));  // a small negative angle keeps its sign
}

}  // namespace
}  // namespace pimu::solar
