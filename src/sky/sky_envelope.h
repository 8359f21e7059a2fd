// The covered sky of a measurement point as it is: in every azimuth the highest building
// elevation, over every building in every direction, as an exact function of the azimuth.
//
// Each top edge above the measurement plane stands for a wall down to the plane. Seen from the
// point, a straight top edge lies in a plane through the eye, so its elevation obeys
// tan h = kx cos(phi) + ky sin(phi), and on the sky map (orthographic, radius R) it draws an arc
// of an ellipse centred on the map. A round tower's top is a horizontal circle: its near side
// gives tan h = H / d(phi). The envelope is the highest of these in every azimuth: a list of
// pieces over [0, 2pi), each held by one element or open down to the horizon. It is star-shaped
// about the centre, so the covered sky is everything between the envelope and the horizon.
//
// Everything the sky factors need is read off the envelope exactly: the exact covered share
// (closed form for walls, quadrature along the circle for towers), the corners, the fan points
// and the bounds of the outline between two directions.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/types.h"

namespace pimu::sky {

using geometry::TAcadPoint;
using geometry::TLineEnt;

// A round volume: its top circle stands on the ground (the wall of a tower).
struct SkyRing {
    TAcadPoint centre;  // x, y
    double radius = 0.0;
    double top = 0.0;  // z of the top circle, mm
};

// What the sky sees of the buildings: the top edges of walls (absolute heights) and the tops of
// round towers.
struct SkyBuildings {
    std::vector<TLineEnt> edges;
    std::vector<SkyRing> rings;
};

// The buildings of a model: every edge, except that a round volume is its circle.
SkyBuildings SkyBuildingsOf(const geometry::BuildingModel &model);

// How a round tower is seen: as its true circle (the exact value), as the polygon drawn round it
// (covers at least the tower: 計画) or the polygon inscribed in it (covers at most: 適合).
enum class RoundAs { Curve, Outside, Inside };

// The number of sides of the polygons that stand for a circle of this radius: the polygon
// strays from the circle by at most 10 mm.
int RingSides(double radius);

// One element of the envelope, relative to the measurement point, heights above the plane.
struct SkyElement {
    bool ring = false;
    // A wall: its top edge from a (at `start`) to b, both at or above the plane.
    TAcadPoint a;
    TAcadPoint b;
    double kx = 0.0;  // tan h = kx cos phi + ky sin phi
    double ky = 0.0;
    double e1[3] = {0.0, 0.0, 0.0};  // unit vectors spanning the wall's plane through the eye;
    double e2[3] = {0.0, 0.0, 0.0};  // e1 points at a
    // A ring: centre relative to the point, radius and height above the plane; `inside` when
    // the point lies within the circle.
    TAcadPoint c;
    double radius = 0.0;
    double H = 0.0;
    bool inside = false;
    // The azimuths it covers: [start, start + span], start in [0, 2pi).
    double start = 0.0;
    double span = 0.0;

    bool Contains(double phi) const;
    // tan of the elevation in the azimuth phi (inside the span).
    double Tan(double phi) const;
    // d tan h / d phi.
    double TanSlope(double phi) const;
    // The integral of sin^2 h over [lo, hi] (inside the span, hi - lo < pi for a wall).
    double Integral(double lo, double hi) const;
};

// The elements of the buildings seen from the point (x, y) on the plane at height e: walls above
// the plane (cut where they cross it), rings as `round` says (polygons become walls). Walls seen
// edge on (radial, or through the point) cover nothing and are left out.
std::vector<SkyElement> SkyElementsOf(const SkyBuildings &buildings, TAcadPoint point, double e,
                                      RoundAs round);

// A stretch of azimuths held by one element, or open sky (element -1).
struct SkyPiece {
    double lo = 0.0;
    double hi = 0.0;
    int element = -1;
};

// A maximal stretch of covered azimuths, counter-clockwise from `lo` to `hi` (hi may pass 2pi);
// `full` when the buildings stand all round.
struct SkyRun {
    double lo = 0.0;
    double hi = 0.0;
    bool full = false;
};

struct SkyEnvelope {
    std::vector<SkyElement> elements;
    std::vector<SkyPiece> pieces;  // in order, covering [0, 2pi) without gaps

    bool Covered() const;
    // The piece holding the azimuth phi (any real number).
    std::size_t PieceAt(double phi) const;
    // tan h of the highest building in the azimuth phi; 0 when the sky is open there.
    double TanAt(double phi) const;
    // The covered stretches in counter-clockwise order, starting with the first one that
    // begins at or after azimuth 0.
    std::vector<SkyRun> Runs() const;
    // The covered share of the sky map: (1 / 2pi) times the integral of sin^2 h.
    double CoveredShare() const;
};

// The highest of the elements in every azimuth.
SkyEnvelope BuildEnvelope(std::vector<SkyElement> elements);

// Distance from the map centre of the outline point whose elevation has this tangent, for a map
// of radius R (R on open sky).
inline double MapRadius(double tanH, double R) {
    return tanH <= 0.0 ? R : R / std::sqrt(1.0 + tanH * tanH);
}

// The exact sky factor in percent of the point (x, y) on the plane at height e.
double ExactSkyFactor(const SkyBuildings &buildings, TAcadPoint point, double e);
double ExactSkyFactor(const geometry::BuildingModel &model, TAcadPoint point, double e);

}  // namespace pimu::sky
