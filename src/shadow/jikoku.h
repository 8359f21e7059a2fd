// The time-of-day shadow diagram as a computation: the shadow outlines of the buildings at every
// time step with their instants (ComputeJikoku), where an outline's label goes, and the ground
// extent of the shadows over the day. The window writes the outlines into the drawing.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/primitives.h"
#include "geometry/shadow_outline.h"
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

// More time steps than this means an interval typed by mistake (under half a minute over a whole
// day): thousands of outlines that take minutes to trace and no one can read.
inline constexpr int kMaxJikokuInstants = 1000;

// What the diagram is made for: the times in decimal hours and the plane height in mm.
struct JikokuInputs {
    double Start = 8.0;     // GB_kaisi
    double End = 16.0;      // GB_owari
    double Interval = 1.0;  // hours between instants
    double PlaneHeight = 0.0;
};

// Why a diagram cannot be made for the inputs; the window words each case.
enum class JikokuCheck {
    Ok,
    IntervalNotPositive,  // Interval under half a second (or not a number)
    StartAfterEnd,        // Start > End
    TooManyInstants,      // more than kMaxJikokuInstants instants
    OutsideSunHours,      // an instant before kFirstSunTime or after kLastSunTime
};

// The instants of a diagram in whole seconds of the day. The start, the end and the interval are
// each rounded to the nearest second, so an interval typed as 0.3333 h is 20 minutes and one
// typed as 0.1667 h is 10 minutes; instant i is Start + i * Interval, the last one not past End.
struct JikokuTimes {
    long long Start = 0;
    long long End = 0;
    long long Interval = 0;
    int Count = 0;
    long long At(int i) const { return Start + Interval * i; }
};

// The checked times of the inputs; `times` is set only when the check is Ok.
JikokuCheck CheckJikokuInputs(const JikokuInputs &in, JikokuTimes &times);
// The same, for callers that only want the number of instants.
JikokuCheck CheckJikokuInputs(const JikokuInputs &in, int &instants);

// One connected piece of shadow: its outer outline (closed: the last vertex joins the first,
// counter-clockwise), its label point, the vertex farthest towards true north, and the lit holes
// inside it (clockwise).
struct JikokuOutline {
    std::vector<geometry::TAcadPoint> Points;
    geometry::TAcadPoint Label;
    std::vector<std::vector<geometry::TAcadPoint>> Holes;
};

// One instant of the diagram.
struct JikokuInstant {
    long long Seconds = 0;        // the instant in whole seconds of the day
    double Time = 0.0;            // the same in hours: the clock time of the label and of the sun
    bool WholeHour = false;       // drawn in the layer's linetype; other instants are dashed
    double AzimuthDegrees = 0.0;  // of the sun at Time
    bool NoSun = false;           // the sun is at or below the horizon: no outlines
    std::vector<JikokuOutline> Outlines;  // western piece first
};

struct JikokuDiagram {
    JikokuCheck Check = JikokuCheck::Ok;
    std::vector<JikokuInstant> Instants;
    // The user stopped the run: the instants so far are listed, the diagram is not complete.
    bool Stopped = false;
};

// The shadow outlines of the model at every instant of the inputs: the regions of the shadow
// engine (shadow_regions.h), outer outlines with their holes. Progress: Start(instants), then per
// instant Position(i + 1) and a KeepRunning before it, one KeepRunning per building edge, and the
// engine's own questions; a false answer stops the run (Stopped). `northAngle` (radians, the
// drawing angle of true north) places the labels.
JikokuDiagram ComputeJikoku(const geometry::BuildingModel &model, const solar::SolarState &sun,
                            const JikokuInputs &in, double northAngle, Progress &progress);

}  // namespace pimu::shadow
