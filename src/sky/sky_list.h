// The sky factors of one measurement point as the point list shows them: the triangle method's
// 計画 (inscribed) and 適合 (circumscribed) values and the exact value (精算) of the same walls.
#pragma once

#include "base/progress.h"
#include "geometry/building_model.h"
#include "sky/sky_factor.h"
#include "sky/sky_projection.h"

namespace pimu::sky {

struct SkyPointResult {
    SkyStatus outline = SkyStatus::NoSegments;  // how the covered-sky outline ended
    TenkuRituStatus ritu = TenkuRituStatus::TooFewSegments;
    bool HasTriangles = false;  // naisetu and gaisetu are meaningful
    double naisetu = 0.0;       // 計画, percent
    double gaisetu = 0.0;       // 適合, percent
    double exact = 100.0;       // 精算, percent; meaningful unless stopped
    bool Stopped = false;
};

// The point's outline (GetTenkuLine of the view), its triangle-method sky factors for a map of
// paper radius r at drawing scale s (R = r x s is the view's SkyRadius), and its exact sky factor.
SkyPointResult ComputeSkyPoint(const geometry::BuildingModel &model, const SkyView &view, double r,
                               double s, Progress &progress,
                               const SkyTracer &tracer = TraceSkyLiteral);

}  // namespace pimu::sky
