// Exact shadow times of single points: when a point of the measurement plane enters and leaves
// the buildings' shadow, found to a fraction of a second, not to the sampling step.
//
// A point is shaded at an instant when it lies in (or on) the quadrilateral an edge and its
// shadow span (ShadowQuad), in the footprint of a volume rising above the plane from at or below
// it, or in the shadow of the underside of a volume raised above the plane. The day is
// sampled every `step` minutes, both ends of the range included; every change between two samples
// is narrowed by bisection, looking only at the edges whose quadrilaterals come near the point in
// that step.
#pragma once

#include <span>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/types.h"
#include "solar/sun.h"

namespace pimu::shadow {

// How finely a change of shade is placed (hours): a millisecond.
inline constexpr double kExactTimeResolution = 1e-3 / 3600.0;

class ExactShadow {
public:
    // The edges and volumes must outlive the object. h is the plane height (mm). Footprints of
    // volumes with the same bottom and top are taken together by the even-odd rule (a courtyard
    // stays lit). Times asked for lie between start and end (hours): each edge's shadows over
    // that range are framed once, so that a point looks only at the edges whose shadows reach it.
    ExactShadow(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun, double h,
                std::span<const geometry::Volume> volumes = {}, double start = 8.0,
                double end = 16.0);

    // Whether p is in the shadow at time t (hours); lit when the sun casts no shadow then.
    bool Shaded(geometry::TAcadPoint p, double t) const;

    // The hours p is shaded between start and end, sampled every stepMinutes (the last step
    // ends at `end`), each change placed to kExactTimeResolution.
    double ShadedHours(geometry::TAcadPoint p, double start, double end, double stepMinutes) const;

private:
    struct Instant {
        bool sun = false;
        double dx = 0.0, dy = 0.0;  // the shadow of a unit of height above the plane
    };
    Instant At(double t) const;
    geometry::TAcadPoint Cast(geometry::TAcadPoint p, const Instant &s) const;
    bool InQuad(const geometry::TLineEnt &e, const Instant &s, geometry::TAcadPoint p) const;
    bool ShadedBy(std::span<const std::size_t> edges, geometry::TAcadPoint p, double t) const;
    bool UnderVolume(geometry::TAcadPoint p, const Instant &s) const;

    struct Box {
        double x0, y0, x1, y1;
    };

    std::span<const geometry::TLineEnt> edges_;
    std::span<const geometry::Volume> volumes_;
    std::vector<Box> reach_;  // per edge: the box of its shadows between start and end
    solar::SolarState sun_;
    double h_ = 0.0;
};

}  // namespace pimu::shadow
