// The colours of the AutoCAD colour index as a picture or a drawing view shows them.
#pragma once

namespace pimu::view {

enum class Background { White, Dark };

struct Rgb {
    double r = 0, g = 0, b = 0;
};

// The RGB of a colour index (1..255); 7 and anything outside 1..255 is black on white and white
// on dark.
Rgb AciColor(int index, Background background);

// The paper colour of a background.
Rgb PaperColor(Background background);

}  // namespace pimu::view
