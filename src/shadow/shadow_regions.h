// The shadow of the buildings on the measurement plane at one instant, as regions with holes.
//
// Every building edge casts a quadrilateral: its foot on the ground, its shadow on the plane and
// the two connectors between them. The shadow of the buildings is the union of these
// quadrilaterals and of the footprints the edges enclose (a closed outline of edges stands for a
// volume, so the ground under it is shaded even where its own shadow is shorter than it is deep).
// The union is computed with a polygon-clipping library on integer coordinates, so that shadows
// running almost along building edges come out exactly. It is computed in tiles of bounded size
// stitched together, so that the time grows near-linearly with the number of edges and a stop is
// heard between any two calls of the library. The literal segment trace of
// geometry/shadow_outline.h stays the reference, and so does the union in one piece.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/tolerances.h"
#include "geometry/types.h"
#include "solar/sun.h"

namespace pimu::shadow {

// The most vertices of the input overlapping one tile of the union before it is split.
inline constexpr std::size_t kTileWork = 6000;

// One connected piece of shadow: its outer ring counter-clockwise, starting at the lowest vertex of
// its left-most column of vertices; the lit holes inside it clockwise, starting alike, west first.
// Rings are open (the last vertex is not repeated), without collinear or repeated vertices, in
// drawing units with z 0.
struct ShadowRegion {
    std::vector<geometry::TAcadPoint> outer;
    std::vector<std::vector<geometry::TAcadPoint>> holes;
};

enum class RegionStatus {
    Done,     // the regions are complete (possibly none)
    Stopped,  // the progress asked to stop; no regions
    NoSun,    // the sun is not above the horizon at that instant; no regions
};

struct ShadowRegions {
    RegionStatus status = RegionStatus::Done;
    // Western region first (ordered by the start vertex of the outer ring: x, then y). A region
    // lying in another region's hole is a region of its own.
    std::vector<ShadowRegion> regions;
    // The integer grid the union was computed on: one unit is this many drawing units. The result
    // is exact for the input rounded to this grid.
    double resolution = 0.0;
};

// The quadrilateral of one edge at an instant: foot start, foot end, shadow of the end, shadow of
// the start (the segments the literal routines make for the edge), all at z 0. The feet are the
// shadows of the edge's ends at its base (on the ground, or under a raised volume's underside,
// moved along the shadow where the base is above the plane).
struct EdgeQuad {
    geometry::TAcadPoint footSt, footEd, shadowEd, shadowSt;
};

// The quadrilateral of edge e for a shadow angle and ratio on the plane at height h.
EdgeQuad ShadowQuad(const geometry::TLineEnt &e, double h, double shadowAngle, double ratio);

// The shadow regions of the model's edges at time t (hours) on the plane at height h (drawing
// units). The footprints are the areas enclosed by closed chains of the edges' feet (closed
// polylines, circles, lines drawn end to end; a raised volume's underside cast on the plane);
// lines and open chains cast only their shadows. A chain inside an odd number of chains of the
// same height is a courtyard, not a footprint. Edges at or below the plane take no part.
// Asks progress.KeepRunning() between batches of work.
ShadowRegions ShadowRegionsAt(std::span<const geometry::TLineEnt> edges,
                              const solar::SolarState &sun, double t, double h,
                              Progress &progress = NoProgress());

// The footprints alone at time t: the areas ShadowRegionsAt counts as shaded because the edges'
// feet enclose them, united, courtyards as holes, in the same convention. They change with t
// only where an edge above the plane stands on a base above it (a raised underside).
ShadowRegions ShadowFootprintsAt(std::span<const geometry::TLineEnt> edges,
                                 const solar::SolarState &sun, double t, double h,
                                 Progress &progress = NoProgress());

// The same with tiles of up to tileWork vertices (tests make them small, so that every region
// crosses many tile borders).
ShadowRegions ShadowRegionsInTilesAt(std::span<const geometry::TLineEnt> edges,
                                     const solar::SolarState &sun, double t, double h,
                                     std::size_t tileWork, Progress &progress = NoProgress());

// The same regions united by the library in one piece (its merges grow faster than the number of
// edges and are not interrupted): the reference for tests and benchmarks.
ShadowRegions ShadowRegionsSingleUnionAt(std::span<const geometry::TLineEnt> edges,
                                         const solar::SolarState &sun, double t, double h,
                                         Progress &progress = NoProgress());

// The union of closed rings, each taken as the area it encloses whatever its orientation (a ring
// that crosses itself counts every part it winds around). Rings with fewer than three distinct
// vertices add nothing. The same output convention as ShadowRegionsAt.
ShadowRegions UnionRings(const std::vector<std::vector<geometry::TAcadPoint>> &rings,
                         Progress &progress = NoProgress());
// The same united by the library in one piece: the reference.
ShadowRegions UnionRingsSingle(const std::vector<std::vector<geometry::TAcadPoint>> &rings,
                               Progress &progress = NoProgress());

enum class PointPlace { Outside, On, Inside };

// Where p lies against the regions: On when it is within tol of a ring (outer or hole), Inside
// when it is in a region's outer ring and in none of its holes, otherwise Outside.
PointPlace LocatePoint(const ShadowRegions &shadow, geometry::TAcadPoint p,
                       double tol = geometry::kPointTol);

// The signed area of an open ring (positive counter-clockwise).
double RingArea(const std::vector<geometry::TAcadPoint> &ring);

// The shaded area of the regions: outer rings less their holes.
double ShadedArea(const ShadowRegions &shadow);

}  // namespace pimu::shadow
