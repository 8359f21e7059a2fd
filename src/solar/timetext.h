// Texts for clock times given in decimal hours (8.5 = 08:30).
#pragma once

#include <string>

namespace pimu::solar {

// Times built by repeated addition of a step (8 + 0.1 = 8.0999999...) are nudged by this many
// hours before the truncations, so a label never reads a minute or second early.
inline constexpr double kClockSlack = 1e-9;

// "HH:MM", minutes truncated: 8.5 -> "08:30", 9.99 -> "09:59".
std::string FormatHM(double t);

// "HH:MM'SS\"", seconds raised to the next multiple of 5 and carried: 8.999 -> "09:00'00\"".
std::string FormatHMS(double t);

// "H:MM:SS", truncated seconds, hours unpadded: 9.25 -> "9:15:00".
std::string FormatClock(double t);

}  // namespace pimu::solar
