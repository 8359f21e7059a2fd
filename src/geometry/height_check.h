// The check of the picked entities' heights that every command needs before it computes: a
// building is a wall from the ground up to its edges, so an entity that has no edge above the
// ground (a LINE or an outline without thickness at z 0, a thickness lost on export) or that
// hangs below its outline (a negative thickness) is no building, and a result drawn from it
// would be a wrong one.
#pragma once

#include <string>
#include <vector>

#include "geometry/entities.h"
#include "geometry/site_limits.h"

namespace pimu::geometry {

enum class HeightFault {
    NoHeight,           // no edge above the ground
    NegativeThickness,  // the thickness runs downwards
    TooLarge,           // wider than a site (kMaxSiteSpan) by itself
    TooHigh,            // higher or deeper than kMaxBuildingHeight
    FarFromOthers,      // outside the kMaxSiteSpan square around the other buildings
};

// One entity the check refuses, named as the drawing names it.
struct HeightFinding {
    HeightFault Fault = HeightFault::NoHeight;
    std::string Kind;  // "LINE", "POLYLINE", "CIRCLE", "ARC", "ELLIPSE"
    std::string Hand;  // empty when the record carries no source
    std::string Layer;
};

// The entities of the arrays (as the entity reader filled them, before the conversion) that give
// no height. An entity without thickness lying on the ground is accepted when it is the footprint
// of one with a height: every vertex of it (a circle or arc: its centre and radius) lies within
// a millimetre under a vertex of an entity with a height, as the bottom lines of a wireframe
// lie under its top. Entities with a negative thickness are always named. So are entities no site
// can hold (geometry/site_limits.h): wider than a site, higher than a building, or outside the
// square of a site's side around the middle of the others (the median of their centres).
std::vector<HeightFinding> FindEntitiesWithoutHeight(const EntityArrays &arrays);

}  // namespace pimu::geometry
