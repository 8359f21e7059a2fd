// Pure pieces of the time-of-day shadow diagram: where an outline's label goes, and the ground
// extent of the shadows over the day.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "geometry/types.h"
#include "solar/sun.h"

namespace pimu::shadow {

// The outline vertex farthest towards true north (northAngle: the drawing angle of north in
// radians); among equal ones the later visited. Each segment offers its st, and its ed only when
// the st did not reach the best so far. An empty outline gives the origin.
inline geometry::TAcadPoint NorthmostVertex(const std::vector<geometry::TLineEnt> &outline,
                                            double northAngle) {
    using geometry::TAcadPoint;
    if (outline.empty()) return TAcadPoint{};
    const TAcadPoint origin{};
    // The point's coordinate along north: the y after turning north to +y.
    const auto northward = [&](TAcadPoint p) {
        return geometry::PolarPoint(origin,
                                    geometry::Angle2D(origin, p) - (northAngle - geometry::kHalfPi),
                                    geometry::Dist2D(origin, p))
            .y;
    };
    TAcadPoint best = outline.front().st;
    double bestValue = northward(best);
    for (const geometry::TLineEnt &s : outline) {
        const double vst = northward(s.st);
        if (vst >= bestValue) {
            best = s.st;
            bestValue = vst;
            continue;
        }
        const double ved = northward(s.ed);
        if (ved >= bestValue) {
            best = s.ed;
            bestValue = ved;
        }
    }
    return best;
}

// The ground extent of the model's shadows on the plane at height h (mm), sampled at whole hours
// from start while t <= end. The edges' own ends are always inside, also when no hour is sampled.
// With an empty model the four values are left unchanged.
inline void GetPimuHani(const geometry::BuildingModel &model, const solar::SolarState &sun,
                        double h, double start, double end, double &xmin, double &ymin,
                        double &xmax, double &ymax) {
    const std::vector<geometry::TLineEnt> &edges = model.AryTatemono;
    if (edges.empty()) return;
    xmin = xmax = edges.front().st.x;
    ymin = ymax = edges.front().st.y;
    const auto extend = [&](geometry::TAcadPoint p) {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    };
    for (const geometry::TLineEnt &e : edges) {
        extend(e.st);
        extend(e.ed);
    }
    // A range that is not finite, or so large that adding an hour changes nothing, would never
    // end; such a range only samples the footprints.
    if (!std::isfinite(start) || !std::isfinite(end)) return;
    for (double t = start; t <= end && t + 1.0 != t; t += 1.0) {
        const solar::SunResult pos = solar::SunPosition(sun, t);
        const double theta = solar::ShadowAngle(sun, pos.Azimuth);
        for (const geometry::TLineEnt &e : edges) {
            if (e.st.z > h) extend(geometry::PolarPoint(e.st, theta, (e.st.z - h) * pos.Ratio));
            if (e.ed.z > h) extend(geometry::PolarPoint(e.ed, theta, (e.ed.z - h) * pos.Ratio));
        }
    }
}

}  // namespace pimu::shadow
