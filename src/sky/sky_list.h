// The sky factors of one measurement point as the point list shows them: the triangle method's
// 計画 (inscribed) and 適合 (circumscribed) values and the exact value (精算) of the same
// buildings, checked against each other.
#pragma once

#include "sky/sky_envelope.h"
#include "sky/sky_factor.h"

namespace pimu::sky {

struct SkyPointResult {
    bool Consistent = true;  // 計画 <= 精算 <= 適合 holds; otherwise no value may be shown
    double naisetu = 100.0;  // 計画, percent
    double gaisetu = 100.0;  // 適合, percent
    double exact = 100.0;    // 精算, percent
};

// The point (x, y) on the plane at height e, for a map of paper radius r at drawing scale s.
SkyPointResult ComputeSkyPoint(const SkyBuildings &buildings, TAcadPoint point, double e, double r,
                               double s);

}  // namespace pimu::sky
