// The equation of time and the standard time at which true solar noon falls.
#pragma once

#include <chrono>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/types.h"

namespace pimu::solar {

// Equation of time in minutes for a day number d (days since 1 January, fractional allowed).
double EqTimeSimple(double d);
// The same by a five-term series.
double EqTimeSpencer(double d);

// Whole days from 1 January of the date's year to the date (0 on 1 January).
int DayNumber(std::chrono::year_month_day date);

// The calculator's text: EqTimeSimple of the date's day number plus the offset typed beside it
// (0 when that text is not a number), written with 4 decimals.
std::string EqTimeText(std::chrono::year_month_day date, std::string_view offsetText);

// The standard time of true solar noon at a longitude (degrees east) and equation of time
// (minutes): "真太陽時 = " followed by the clock text, e.g. "真太陽時 = 11:58:30".
std::string TrueSolarNoonText(double longitude, double eqOfTime);

// A tabulated equation of time, one value in minutes per line; a line that is not a number
// counts as 0.
std::vector<double> ParseEqTimeTable(std::string_view text);

// One line of an equation-of-time plot in model space: 2 drawing units a day along x, 10 units a
// minute along y, at z 0, in a colour index.
struct EqTimePlotLine {
    geometry::TAcadPoint st;
    geometry::TAcadPoint ed;
    int colour = 7;
};

// The curves of a plot, day after day, and the largest difference between the two curves shown.
struct EqTimePlot {
    std::vector<EqTimePlotLine> lines;
    double maxDifference = 0.0;  // minutes
};

// Two tables against each other, per day: the second table (colour 1), the first minus the second
// (colour 4) and the first table (colour 7). The plot ends with the shorter table.
EqTimePlot CompareEqTimeTables(std::span<const double> first, std::span<const double> second);

// The five-term formula against a table, per day: the formula (colour 7), the table minus the
// formula (colour 4) and the table (colour 1).
EqTimePlot CompareEqTimeFormula(std::span<const double> table);

// The largest difference as the plots report it: "%.3f min".
std::string EqTimeDifferenceText(double maxDifference);

}  // namespace pimu::solar
