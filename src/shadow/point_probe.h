// Which of a fixed set of points on the measurement plane lie in the shadow quadrilateral of some
// building edge at an instant, without uniting the quadrilaterals: the points are kept in buckets
// once, and each quadrilateral looks only at the buckets under its box that still hold a point
// not found shaded. The work per instant grows with the edges and the points near them.
#pragma once

#include <span>
#include <vector>

#include "base/progress.h"
#include "geometry/tolerances.h"
#include "geometry/types.h"

namespace pimu::shadow {

class QuadProbe {
public:
    explicit QuadProbe(std::span<const geometry::TAcadPoint> points);

    // Sets shaded[i] for every point inside the quadrilateral (ShadowQuad) of an edge rising
    // above the plane at height h, or within tol of it, for the shadow angle and ratio of one
    // instant; points already set are not looked at. Edges whose quadrilateral has no area or is
    // not finite add nothing, as in the shadow regions. Asks progress.KeepRunning() every few
    // thousand edges; false when it answered no (shaded then holds part of the answer).
    bool Mark(std::span<const geometry::TLineEnt> edges, double h, double shadowAngle, double ratio,
              std::vector<char> &shaded, Progress &progress, double tol = geometry::kPointTol);

    // Sets shaded[i] for every point that lies inside the ring (even-odd) moved by (dx, dy): the
    // underside of a volume raised above the plane cast onto it. Points already set are not looked
    // at, nor points outside the moved ring's box.
    void MarkInRing(std::span<const geometry::TAcadPoint> ring, double dx, double dy,
                    std::vector<char> &shaded) const;

private:
    int Col(double x) const;
    int Row(double y) const;

    std::vector<geometry::TAcadPoint> points_;
    double x0_ = 0.0, x1_ = 0.0, y0_ = 0.0, y1_ = 0.0, size_ = 1.0;
    int cols_ = 1, rows_ = 1;
    std::vector<int> first_, order_;  // the points of bucket b: order_[first_[b] .. first_[b+1])
    std::vector<int> open_;           // per bucket, its points not yet found shaded
};

}  // namespace pimu::shadow
