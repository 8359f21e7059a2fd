// The direction shadows fall in at one instant, its cosine and sine found once: casting a point
// with it gives geometry::PolarPoint's result to the last bit (the four axis directions exact),
// without two trigonometric calls per point.
#pragma once

#include <cmath>

#include "geometry/primitives.h"
#include "geometry/types.h"

namespace pimu::shadow {

struct ShadowDirection {
    double cx = 1.0, sy = 0.0;

    explicit ShadowDirection(double angle) {
        if (angle == 0.0) return;
        if (angle == geometry::kHalfPi) {
            cx = 0.0, sy = 1.0;
        } else if (angle == geometry::kPi) {
            cx = -1.0, sy = 0.0;
        } else if (angle == geometry::kThreeHalfPi) {
            cx = 0.0, sy = -1.0;
        } else {
            cx = std::cos(angle), sy = std::sin(angle);
        }
    }

    // The shadow of (x, y) at height z on the plane at height h for the ratio (solar::ShadowPoint
    // with z 0): the point itself when it is not above the plane.
    geometry::TAcadPoint Cast(double x, double y, double z, double h, double ratio) const {
        if (!(z > h)) return {x, y, 0.0};
        const double dist = (z - h) * ratio;
        return {x + dist * cx, y + dist * sy, 0.0};
    }
};

}  // namespace pimu::shadow
