#include "view/colors.h"

#include <cmath>

namespace pimu::view {

Rgb AciColor(int index, Background background) {
    static constexpr Rgb kBase[] = {{0, 0, 0},       {1, 0, 0},         {1, 1, 0}, {0, 1, 0},
                                    {0, 1, 1},       {0, 0, 1},         {1, 0, 1}, {1, 1, 1},
                                    {0.5, 0.5, 0.5}, {0.75, 0.75, 0.75}};
    if (index == 7 || index <= 0 || index > 255)
        return background == Background::White ? Rgb{0, 0, 0} : Rgb{1, 1, 1};
    if (index < 10) return kBase[index];
    if (index >= 250) {
        const double g = 0.2 + 0.16 * (index - 250);
        return {g, g, g};
    }
    // 10..249: 24 hues of 15 degrees, each in five shades, full and pale.
    const double hue = (index / 10 - 1) * 15.0;
    const int shade = index % 10;
    static constexpr double kValue[] = {1.0, 1.0, 0.8, 0.8, 0.6, 0.6, 0.5, 0.5, 0.3, 0.3};
    const double v = kValue[shade];
    const double s = shade % 2 == 0 ? 1.0 : 0.5;
    const double c = v * s;
    const double hp = hue / 60.0;
    const double x = c * (1.0 - std::abs(std::fmod(hp, 2.0) - 1.0));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(hp)) {
        case 0:
            r = c, g = x;
            break;
        case 1:
            r = x, g = c;
            break;
        case 2:
            g = c, b = x;
            break;
        case 3:
            g = x, b = c;
            break;
        case 4:
            r = x, b = c;
            break;
        default:
            r = c, b = x;
            break;
    }
    const double m = v - c;
    return {r + m, g + m, b + m};
}

Rgb PaperColor(Background background) {
    return background == Background::White ? Rgb{1, 1, 1} : Rgb{0.13, 0.14, 0.16};
}

}  // namespace pimu::view
