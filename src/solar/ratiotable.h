// The shadow magnification table: sun altitude, azimuth and shadow ratios on the winter solstice
// every half hour from 8:00 to 16:00, as the text the ratio tab shows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pimu::solar {

struct RatioTableOptions {
    bool UseDms = false;         // angles as degrees, minutes and seconds
    bool ThreeDecimals = false;  // 3 decimals instead of 4
};

// The 19 lines of the table (title, column heads, 17 rows; columns separated by tabs) at
// `latitude` decimal degrees. The title shows the latitude with the table's decimals, or
// `dmsTitle` (the latitude as the user typed it, e.g. "35°41′00″") with UseDms.
std::vector<std::string> RatioTableLines(double latitude, std::string_view dmsTitle,
                                         const RatioTableOptions &options = {});

// A value rounded half away from zero at `decimals` places and written with that many decimals.
std::string FormatDecimal(double v, int decimals);

// degrees + "°" + minutes + "′" + seconds + "″", minutes and seconds padded to two digits. A
// negative angle is written with one leading "-".
std::string FormatDms(bool negative, long long degrees, long long minutes, long long seconds);

}  // namespace pimu::solar
