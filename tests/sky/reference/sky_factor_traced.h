// The reference triangle method on a traced covered-sky outline, as the program computed it
// before the covered sky was taken from its exact envelope: corners of the traced chain, one
// sector of at most half a turn between the widest pair of corners, fan rays against the chain.
// It measures only one covered stretch and can misplace far corners; it stays for the benchmark
// and for the tests that show the envelope keeps its triangles where it was right.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/types.h"
#include "sky/sky_factor.h"

namespace pimu::sky::traced {

using geometry::TAcadPoint;
using geometry::TLineEnt;

using sky::dec3;
using sky::dec5;
using sky::kCornerLimit;
using sky::kFanStep;
using sky::kMinTriangleHeight;
using sky::SkyAreas;
using sky::SkyFactorFromAreas;

// One triangle of the method; m is the fan point farther from the centre (the base runs from the
// centre to m), o the other one, foot the foot of o on the base line.
struct TSansya {
    std::int32_t no = 0;   // running number from 1
    double teihen = 0.0;   // base, drawing units
    double takasa = 0.0;   // height, drawing units
    double menseki = 0.0;  // rounded area, paper mm2
    TAcadPoint m;
    TAcadPoint o;
    TAcadPoint foot;
};

// Open sky between two consecutive fan points that reaches down to the horizon (a gap between
// buildings): measured as the circle's sector between them instead of a triangle.
struct OpenSector {
    TAcadPoint from;       // the fan point at the clockwise end
    TAcadPoint to;         // the fan point at the counter-clockwise end
    double angle = 0.0;    // radians
    double menseki = 0.0;  // dec3 of the sector's area, paper mm2
};

// One pass (inscribed or circumscribed).
struct SansyaPass {
    std::vector<TSansya> triangles;
    std::vector<OpenSector> openSectors;
    double T = 0.0;      // sum of the rounded triangle and open-sector areas, paper mm2
    double F = 0.0;      // covered area dec3(Q - T), paper mm2
    double value = 0.0;  // sky factor, percent; meaningful only with triangles
};

enum class TenkuRituStatus {
    Ok,
    TooFewSegments,  // the outline has fewer than 3 segments
    TooFewCorners,   // fewer than 2 corners
    NoTriangles,     // a pass produced no triangle
    BeyondHalfTurn,  // the corners do not fit in half a turn: the sector cannot hold them
};

struct TenkuRituResult {
    TenkuRituStatus status = TenkuRituStatus::TooFewSegments;
    // The corners counter-clockwise from A to B (TempPoints after the ordering).
    std::vector<geometry::TTempPoint> TempPoints;
    TAcadPoint A;
    TAcadPoint B;
    double alpha = 0.0;  // sector angle, degrees, dec3
    double K = 0.0;
    double Q = 0.0;
    std::vector<TAcadPoint> fan;  // the fan points
    SansyaPass naisetuPass;       // inscribed: 計画
    SansyaPass gaisetuPass;       // circumscribed: 適合
    double naisetu = 0.0;         // percent
    double gaisetu = 0.0;         // percent
    double areacmd = 100.0;       // the AREA target has no computation of its own
    bool Ok() const { return status == TenkuRituStatus::Ok; }
};

// The outline vertices that are corners: a turn under 178.2 degrees, strictly inside the circle
// of radius R (by the margin g = R x 0.000005). In outline order.
std::vector<TAcadPoint> FindCorners(const std::vector<TLineEnt> &outline, double R);

// The fan points between consecutive corners (counter-clockwise order): the corners and, between
// two corners, rays at most 10 degrees apart meeting the outline.
std::vector<TAcadPoint> FanPoints(const std::vector<TAcadPoint> &corners,
                                  const std::vector<TLineEnt> &outline, double R);

// The inscribed and the circumscribed triangles of consecutive fan points (numbered from 1).
// Inscribed triangles need only the fan points.
std::vector<TSansya> InscribedTriangles(const std::vector<TAcadPoint> &fan);

// Both passes over the fan of an outline for a map of paper radius r at scale s: triangles,
// open sectors where the sky between two fan points reaches the horizon, areas and sky factor.
SansyaPass InscribedPass(const std::vector<TAcadPoint> &fan, const std::vector<TLineEnt> &outline,
                         double r, double s, double alpha);
SansyaPass CircumscribedPass(const std::vector<TAcadPoint> &fan,
                             const std::vector<TLineEnt> &outline, double r, double s,
                             double alpha);

// The sky factors of a covered-sky outline (GetTenkuLine's, relative to the measurement point,
// north up) for a map of paper radius r at drawing scale s.
TenkuRituResult GetTenkuRitu(const std::vector<TLineEnt> &outline, double r, double s);

}  // namespace pimu::sky::traced
