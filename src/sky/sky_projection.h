// The sky map of a measurement point: the buildings projected orthographically onto the sky
// hemisphere, drawn in the horizontal circle of radius R around the point (zenith at the centre,
// horizon on the circle, true north up), and the outline of the covered sky traced from it.
//
// ProjectSky is the one projection: the sky-factor computation and the map drawing both call it
// and take what they need from its result (segments, each element's chain of points, the ground
// arc, AryTateiti). Tracing is a separate step that receives the segments, so the tracer can be
// exchanged without touching the projection.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/types.h"

namespace pimu::sky {

using geometry::TAcadPoint;
using geometry::TLineEnt;

// The subdivision step of the projected elements (mm along the 3D edge).
inline constexpr double kSubdivisionStep = 250.0;
// The step of the ground arc along the horizon: 0.25 degrees.
inline constexpr double kGroundArcStep = 0.004363323129985824;

// Where and how a sky map is seen.
struct SkyView {
    TAcadPoint IDPOINT1;     // the measurement point; x and y are used
    double e = 0.0;          // measurement plane height, mm (MENTAKA x 1000)
    double north = 90.0;     // true north, degrees counter-clockwise from +x
    double SkyRadius = 0.0;  // R, drawing units: the radius field of the map type x the scale
};

// The map sizes a sky computation reads: both radius fields (paper mm) and the drawing scale.
struct SkyMapSizes {
    double HankeiA = 25.0;   // type A radius, paper mm
    double HankeiB = 100.0;  // type B radius, paper mm
    double Syakudo = 200.0;  // drawing scale s (200 for 1:200)
};

// The radius field of map type typ (0 = A, 1 = B), paper mm.
double PaperRadius(const SkyMapSizes &sizes, int typ);
// R = radius field of the type x the scale, drawing units.
double SkyRadiusOf(const SkyMapSizes &sizes, int typ);

// A building vertex seen from the measurement point, for the position table.
struct TTateiti {
    std::int32_t no = 0;   // index in AryLine of the segment starting (or ending) at the vertex
    double kyori = 0.0;    // plan distance from the measurement point, mm
    double takasa = 0.0;   // height above the measurement plane, mm
    double houido = 0.0;   // azimuth, degrees counter-clockwise from +x (not turned for north)
    double miagedo = 0.0;  // elevation angle, degrees
    double rcosh = 0.0;    // R cos(elevation): distance of the projected point from the centre
};

// Everything the projection produces.
struct SkyProjection {
    // The sky segments relative to the measurement point, north up, z 0: each element's chain
    // of segments in element order, then the ground arc.
    std::vector<TLineEnt> AryLine;
    // For every subdivided element its points P0 ... Pn, turned north up (one map polyline each).
    std::vector<std::vector<TAcadPoint>> Chains;
    // The ground arc's points A, Q1 ... Qm, B turned north up; empty when there is no arc.
    std::vector<TAcadPoint> GroundArc;
    // The first and last point of each subdivided element above the plane.
    std::vector<TTateiti> AryTateiti;
    // The progress asked to stop: the lists hold what was projected so far.
    bool Stopped = false;
};

// The points P0 ... Pn of one element subdivided along its 3D length: every 250 mm, the end
// last; an element shorter than 250 mm is split at one third; a vertical one at its thirds.
std::vector<TAcadPoint> SubdivideElement(const TLineEnt &element);

// The working list: the model's edges above the plane as top edges (id 0), their feet on the
// plane (id 1) and two verticals each (id 2); repeated elements are marked -1 (the later copy
// stays). Asks progress.KeepRunning() while it looks for the repeated ones; `stopped` (when given)
// tells that it answered no, and the list is then empty.
std::vector<TLineEnt> ExpandModel(const geometry::BuildingModel &model, double e,
                                  Progress &progress = NoProgress(), bool *stopped = nullptr);

// Projects the model onto the sky map of the view.
SkyProjection ProjectSky(const geometry::BuildingModel &model, const SkyView &view,
                         Progress &progress);

// How a sky computation ended.
enum class SkyStatus {
    Ok,
    NoSegments,   // fewer than 3 sky segments: nothing stands above the plane
    TraceFailed,  // the outline did not close
    Stopped,      // the progress asked to stop
};

// The covered-sky outline: a closed chain of segments, counter-clockwise around the covered
// area, relative to the measurement point, north up.
struct SkyOutline {
    SkyStatus status = SkyStatus::NoSegments;
    std::vector<TLineEnt> AryLine;
};

// Turns sky segments (in) into the closed outline (out); true when it closed with more than two
// segments. The segments are those of ProjectSky, possibly scaled.
using SkyTracer = std::function<bool(std::vector<TLineEnt> &segments, Progress &progress)>;

// The outline tracing of the literal planar routines: collinear merge, split at crossings,
// duplicates dropped, loose ends pruned, the outer boundary traced from the lowest left-most
// vertex with the reference point 1000 below the least corner.
bool TraceSkyLiteral(std::vector<TLineEnt> &segments, Progress &progress);

// The outline for the sky-factor computation: projection, then tracing.
SkyOutline GetTenkuLine(const geometry::BuildingModel &model, const SkyView &view,
                        Progress &progress, const SkyTracer &tracer = TraceSkyLiteral);

// The working scale of the map drawing's outline: the outline is traced at the size of the
// larger map type (k > 1 only for the smaller type).
double WorkingScale(const SkyMapSizes &sizes, int typ);

// The outline for a drawn map, from the segments of its projection: traced at the working scale
// k, with pairs of mutually reversed segments removed, and scaled back.
SkyOutline TenkuRinkaku(std::vector<TLineEnt> segments, double k, Progress &progress,
                        const SkyTracer &tracer = TraceSkyLiteral);

}  // namespace pimu::sky
