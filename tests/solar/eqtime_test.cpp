#include "solar/eqtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace pimu::solar {
namespace {

using namespace std::chrono;

TEST(EqTime, FormulasAgreeWithKnownValues) {
    EXPECT_NEAR(9.862 * std::sin(3.559), EqTimeSimple(0.0), 1e-12);
    EXPECT_NEAR(-3.998, EqTimeSimple(0.0), 5e-4);
    // About -14.2 min in mid-February and +16.4 min early in November.
    EXPECT_NEAR(-14.2, EqTimeSimple(41), 0.6);
    EXPECT_NEAR(-14.2, EqTimeSpencer(41), 0.6);
    EXPECT_NEAR(16.4, EqTimeSimple(306), 0.6);
    EXPECT_NEAR(16.4, EqTimeSpencer(306), 0.6);
    // The two formulas stay within a minute of each other all year.
    for (int d = 0; d < 366; ++d) EXPECT_NEAR(EqTimeSimple(d), EqTimeSpencer(d), 1.0) << d;
}

TEST(EqTime, DayNumberAndCalculatorText) {
    EXPECT_EQ(0, DayNumber(2025y / January / 1));
    EXPECT_EQ(59, DayNumber(2025y / March / 1));
    EXPECT_EQ(60, DayNumber(2024y / March / 1));
    EXPECT_EQ(365, DayNumber(2024y / December / 31));

    char expected[32];
    std::snprintf(expected, sizeof expected, "%.4f", EqTimeSimple(-2.5));
    EXPECT_EQ(expected, EqTimeText(2025y / January / 1, "-2.5"));
    std::snprintf(expected, sizeof expected, "%.4f", EqTimeSimple(31));
    EXPECT_EQ(expected, EqTimeText(2025y / February / 1, "abc"));  // offset 0
}

TEST(EqTime, TrueSolarNoonText) {
    EXPECT_EQ("真太陽時 = 11:58:30", TrueSolarNoonText(135.0, 1.498));
    EXPECT_EQ("真太陽時 = 11:41:00", TrueSolarNoonText(139.75, 0.0));
    EXPECT_EQ("真太陽時 = 12:00:00", TrueSolarNoonText(135.0, 0.0));
}

TEST(EqTime, TableLinesThatAreNotNumbersCountAsZero) {
    const auto v = ParseEqTimeTable("1.5\r\nabc\n\n-2\n");
    ASSERT_EQ(4u, v.size());
    EXPECT_EQ(1.5, v[0]);
    EXPECT_EQ(0.0, v[1]);
    EXPECT_EQ(0.0, v[2]);
    EXPECT_EQ(-2.0, v[3]);
}

}  // namespace
}  // namespace pimu::solar
