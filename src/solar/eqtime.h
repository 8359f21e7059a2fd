// The equation of time and the standard time at which true solar noon falls.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

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

}  // namespace pimu::solar
