// Angles about the centre of a sky map (the measurement point, at the origin of the map's
// coordinates), shared by the projection and the triangle method.
#pragma once

#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "geometry/types.h"

namespace pimu::sky {

// The counter-clockwise angle at the map's centre from p to q, in [0, 2pi).
inline double CcwAngle(geometry::TAcadPoint p, geometry::TAcadPoint q) {
    constexpr geometry::TAcadPoint centre{0.0, 0.0, 0.0};
    double a = geometry::Angle2D(centre, q) - geometry::Angle2D(centre, p);
    if (a < 0.0) a += geometry::kTwoPi;
    if (a >= geometry::kTwoPi) a -= geometry::kTwoPi;
    return a;
}

// An angle in [0, 2pi) folded onto [0, pi]: the opening between two directions.
inline double Fold(double a) {
    return a > geometry::kPi ? geometry::kTwoPi - a : a;
}

}  // namespace pimu::sky
