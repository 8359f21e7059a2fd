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

TEST(EqTime, TablesPlottedAgainstEachOther) {
    const std::vector<double> a = {1.0, 2.0, 3.5, 9.0};  // the longer table ends the plot later
    const std::vector<double> b = {0.5, 2.5, 3.0};
    const EqTimePlot plot = CompareEqTimeTables(a, b);
    // Per day: the second table, the difference, the first table; 2 units a day, 10 a minute.
    struct Expected {
        double x0, y0, x1, y1;
        int colour;
    };
    const std::vector<Expected> expected = {
        {0, 5, 2, 25, 1},  {0, 5, 2, -5, 4}, {0, 10, 2, 20, 7},
        {2, 25, 4, 30, 1}, {2, -5, 4, 5, 4}, {2, 20, 4, 35, 7},
    };
    ASSERT_EQ(expected.size(), plot.lines.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const EqTimePlotLine &l = plot.lines[i];
        EXPECT_EQ(expected[i].x0, l.st.x) << i;
        EXPECT_EQ(expected[i].x1, l.ed.x) << i;
        EXPECT_NEAR(expected[i].y0, l.st.y, 1e-12) << i;
        EXPECT_NEAR(expected[i].y1, l.ed.y, 1e-12) << i;
        EXPECT_EQ(expected[i].colour, l.colour) << i;
        EXPECT_EQ(0.0, l.st.z + l.ed.z);
    }
    EXPECT_NEAR(0.5, plot.maxDifference, 1e-12);
    EXPECT_EQ("0.500 min", EqTimeDifferenceText(plot.maxDifference));

    // A table of one day or none plots nothing.
    EXPECT_TRUE(CompareEqTimeTables(a, std::vector<double>{1.0}).lines.empty());
    EXPECT_EQ("0.000 min", EqTimeDifferenceText(CompareEqTimeTables({}, {}).maxDifference));
}

TEST(EqTime, FormulaPlottedAgainstATable) {
    std::vector<double> table(366);
    for (std::size_t k = 0; k < table.size(); ++k)
        table[k] = EqTimeSpencer(k) + (k == 40 ? 0.25 : 0.0);
    const EqTimePlot plot = CompareEqTimeFormula(table);
    ASSERT_EQ(3u * 365u, plot.lines.size());
    EXPECT_EQ(7, plot.lines[0].colour);  // the formula
    EXPECT_EQ(4, plot.lines[1].colour);  // the table minus the formula
    EXPECT_EQ(1, plot.lines[2].colour);  // the table
    EXPECT_NEAR(10.0 * EqTimeSpencer(1), plot.lines[0].ed.y, 1e-12);
    EXPECT_NEAR(2.5, plot.lines[3 * 39 + 1].ed.y, 1e-9);
    EXPECT_NEAR(0.25, plot.maxDifference, 1e-9);
    EXPECT_EQ(730.0, plot.lines.back().ed.x);
}

}  // namespace
}  // namespace pimu::solar
