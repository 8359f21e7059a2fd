// The sky factor of a measurement point by the triangle method (三斜求積), on the exact envelope
// of the covered sky. Every covered stretch of the horizon is a sector of the map; the open sky
// inside it is measured as a fan of triangles with their apex at the centre, between fan points
// on the outline: the corners of the outline and rays at most 10 degrees apart between them.
//
// 計画 (inscribed): each chord runs between two outline points, drawn in where the outline between
// them comes closer, so the triangle lies in the open sky and the sky factor is never overstated.
// 適合 (circumscribed): each chord pushed out, parallel to itself, until the outline between its
// rays lies inside the triangle, so the sky factor is never understated. A round tower counts as
// the polygon drawn round it for 計画 and as the polygon inscribed in it for 適合.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/types.h"
#include "sky/sky_envelope.h"

namespace pimu::sky {

using geometry::TAcadPoint;

// The largest turn at an outline vertex that still counts as a corner: 178.2 degrees.
inline constexpr double kCornerLimit = 3.1101767270538954;
// Fan rays are at most this far apart: 10 degrees.
inline constexpr double kFanStep = 0.17453292519943295;
// Triangles this low or lower (drawing units) are left out.
inline constexpr double kMinTriangleHeight = 0.1;

// x rounded to 3 or 5 decimals as formatting it with "%.3f" / "%.5f" and reading it back does.
double dec3(double x);
double dec5(double x);

// One triangle of the method; m is the fan point farther from the centre (the base runs from the
// centre to m), o the other one, foot the foot of o on the base line. Map coordinates, north up.
struct TSansya {
    std::int32_t no = 0;   // running number from 1
    double teihen = 0.0;   // base, drawing units
    double takasa = 0.0;   // height, drawing units
    double menseki = 0.0;  // rounded area, paper mm2
    TAcadPoint m;
    TAcadPoint o;
    TAcadPoint foot;
};

// One covered stretch of the horizon as a sector of the map, from corner A counter-clockwise to
// corner B (map coordinates, north up); all round, A and B are the same corner.
struct SansyaSector {
    TAcadPoint A;
    TAcadPoint B;
    double alpha = 0.0;  // central angle, degrees, dec3
    double Q = 0.0;      // sector area pi r2 alpha / 360, paper mm2
    bool full = false;
    std::size_t firstTriangle = 0;  // its triangles in the pass
    std::size_t triangleCount = 0;
};

// One pass (inscribed or circumscribed) over every covered stretch.
struct SansyaPass {
    std::vector<TAcadPoint> corners;  // counter-clockwise, sector after sector
    std::vector<TAcadPoint> fan;      // the fan points, sector after sector
    std::vector<SansyaSector> sectors;
    std::vector<TSansya> triangles;
    double alpha = 0.0;  // sum of the sectors' angles, degrees
    double Q = 0.0;      // sum of the sector areas, paper mm2
    double T = 0.0;      // sum of the rounded triangle areas, paper mm2
    double F = 0.0;      // covered area dec3(Q - T), paper mm2
    double value = 0.0;  // sky factor, percent
    // The sky factor of the same triangles without any rounding and with the triangles too low
    // to be listed: what the construction guarantees (計画 <= true <= 適合) holds for it.
    double unrounded = 0.0;
};

// The circle and sector of the result.
struct SkyAreas {
    double K = 0.0;  // circle area dec3(pi r2), paper mm2
    double Q = 0.0;  // sector area pi r2 alpha / 360
    double F = 0.0;  // covered area dec3(Q - T)
    double value = 0.0;
};

// Circle, sector, covered area and sky factor from the paper radius r, the sector angle alpha in
// degrees (already rounded) and the triangle sum T.
SkyAreas SkyFactorFromAreas(double r, double alpha, double T);

// Where the map is and how large: the paper radius r, the drawing scale s and true north.
struct SansyaFrame {
    double r = 0.0;
    double s = 1.0;
    double north = 90.0;
};

// One pass over the envelope.
SansyaPass TrianglePass(const SkyEnvelope &envelope, bool inscribed, const SansyaFrame &frame);

enum class TenkuRituStatus {
    Ok,
    Inconsistent,  // 計画 <= 精算 <= 適合 does not hold: no value may be shown
};

struct TenkuRituResult {
    TenkuRituStatus status = TenkuRituStatus::Ok;
    double K = 0.0;          // circle area, paper mm2
    SansyaPass naisetuPass;  // inscribed: 計画
    SansyaPass gaisetuPass;  // circumscribed: 適合
    double naisetu = 100.0;  // percent
    double gaisetu = 100.0;  // percent
    double exact = 100.0;    // 精算, percent
    double areacmd = 100.0;  // the AREA target has no computation of its own
    bool Ok() const { return status == TenkuRituStatus::Ok; }
};

// The sky factors of the point (x, y) on the plane at height e: both passes and the exact value,
// with the check that the exact value lies between the two. `exact`, when given, receives the
// exact envelope (towers as circles) for the hatch and the outline of the map.
TenkuRituResult GetTenkuRitu(const SkyBuildings &buildings, TAcadPoint point, double e,
                             const SansyaFrame &frame, SkyEnvelope *exact = nullptr);

// The message for a point whose values break 計画 <= 精算 <= 適合, naming the point.
std::string InconsistentMessage(const std::string &point, const TenkuRituResult &result);

}  // namespace pimu::sky
