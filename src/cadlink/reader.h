// Copies the entities of a selection set into plain records, one array per kind. Everything that
// later works on buildings or site outlines reads these arrays, never the CAD objects.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cadlink/automation.h"
#include "geometry/entities.h"
#include "geometry/types.h"

namespace pimu::cadlink {

using geometry::TLineEnt;

using geometry::EntityArrays;
using geometry::TArcEnt;
using geometry::TCircleEnt;
using geometry::TEllipseEnt;
using geometry::TFaceEnt;
using geometry::TInsertEnt;
using geometry::TLwpEle;
using geometry::TLwpEnt;
using geometry::TPointEnt;
using geometry::TTextEnt;

// x, y, z from elements 0, 1, 2 (z 0 when the array has two elements).
TAcadPoint ReadPoint(std::span<const double> values);

// Empties every array, reads the set and returns count(AryLine) + count(AryCircle) +
// count(AryLwp). A CAD error ends the walk and reaches the caller.
int ReadEntities(ISelectionSet &set, EntityArrays &arrays);

// Empties AryArc, AryCircle, AryEllipse, AryLwp, AryInsert and AryText (the scratch arrays of
// the polygon operations belong to their owner).
void ClearAryEnt(EntityArrays &arrays);

}  // namespace pimu::cadlink
