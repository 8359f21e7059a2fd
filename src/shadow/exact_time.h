// Exact shadow times of single points: when a point of the measurement plane enters and leaves
// the buildings' shadow, found to a fraction of a second, not to the sampling step.
//
// A point is shaded at an instant when it lies in (or on) the quadrilateral an edge and its
// shadow span (ShadowQuad), in the footprint of a volume rising above the plane from at or below
// it, or in the shadow of the underside of a volume raised above the plane.
//
// The times do not depend on a sampling step. Whether a point lies in a quadrilateral changes only
// where one of five smooth functions of time changes sign: the side of each of its four sides the
// point lies on, and the sign of its area. Each function of each edge near the point is looked at
// every minute and every change of sign narrowed by bisection on that function alone, so that a
// shadow, or a lit gap between two shadows, shorter than a minute is placed as exactly as a long
// one. Between two such changes nothing can change, and the point is looked at once. (A function
// that changes sign twice within one minute and back would be missed: the sides through the
// edge's ends turn with the sun and change sign once a day; the far side and the area would have
// to graze the point.)
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

    // The hours p is shaded between start and end given to the constructor, each change placed
    // to kExactTimeResolution.
    double ShadedHours(geometry::TAcadPoint p) const;

private:
    struct Instant {
        bool sun = false;
        double dx = 0.0, dy = 0.0;  // the shadow of a unit of height above the plane
    };
    Instant At(double t) const;
    geometry::TAcadPoint Cast(geometry::TAcadPoint p, const Instant &s) const;
    bool InQuad(const geometry::TLineEnt &e, const Instant &s, geometry::TAcadPoint p) const;
    bool ShadedBy(std::span<const std::size_t> edges, geometry::TAcadPoint p,
                  const Instant &s) const;
    bool UnderVolume(geometry::TAcadPoint p, const Instant &s) const;
    // e's quadrilateral at s: its feet, then its shadow.
    void Quad(const geometry::TLineEnt &e, const Instant &s, geometry::TAcadPoint v[4]) const;
    // The five functions whose signs decide whether p is in the quadrilateral v: the side of each
    // side p lies on, then twice the area.
    static void Sides(const geometry::TAcadPoint v[4], geometry::TAcadPoint p, double out[5]);
    // Where function j of e's quadrilateral changes sign between lo and hi (it is flo at lo and
    // fhi at hi), to kExactTimeResolution.
    double Change(const geometry::TLineEnt &e, geometry::TAcadPoint p, int j, double lo, double hi,
                  double flo, double fhi) const;

    struct Box {
        double x0, y0, x1, y1;
    };
    // The volumes of one bottom and top, taken together by the even-odd rule, and their box.
    struct VolumeGroup {
        double bottom, top;
        std::vector<std::size_t> members;
        Box box;
    };
    std::vector<VolumeGroup> groups_;
    // Whether p lies near the boxes of a quadrilateral at both ends of a step.
    static bool Near(geometry::TAcadPoint p, const Box &a, const Box &b);
    // Whether p lies outside the quadrilateral at both ends of a step by one side that keeps its
    // sign, the area keeping its own.
    static bool OutsideThroughout(const double before[5], const double after[5]);

    std::span<const geometry::TLineEnt> edges_;
    std::span<const geometry::Volume> volumes_;
    std::vector<Box> reach_;  // per edge: the box of its shadows between start and end
    solar::SolarState sun_;
    double h_ = 0.0;
    // Every minute from start, the last at end; the sun at each and at the middle of each step.
    std::vector<double> times_;
    std::vector<Instant> atTimes_, atMiddles_;
    // Per step: where the sun rises or sets in it, or a negative number.
    std::vector<double> sunChange_;
};

}  // namespace pimu::shadow
