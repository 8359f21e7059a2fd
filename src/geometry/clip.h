// Clipping against an axis-aligned rectangle in the plan: the one routine the view's picks and
// crossing selections and the embedded drawing's crossing selection sets share.
#pragma once

#include <algorithm>

#include "geometry/types.h"

namespace pimu::geometry {

// Whether segment ab meets the rectangle [minX, maxX] x [minY, maxY] in the plan, its edges
// included (Liang-Barsky clipping). A segment of one point meets it when the point lies in it.
inline bool SegmentMeetsRect(TAcadPoint a, TAcadPoint b, double minX, double minY, double maxX,
                             double maxY) {
    double t0 = 0.0, t1 = 1.0;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - minX, maxX - a.x, a.y - minY, maxY - a.y};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0) return false;
        } else {
            const double t = q[k] / p[k];
            if (p[k] < 0.0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            if (t0 > t1) return false;
        }
    }
    return true;
}

}  // namespace pimu::geometry
