// The acquisition history: the entities of an acquisition kept as a DXF drawing, so an earlier
// building model can be brought back without selecting it again.
#pragma once

#include <filesystem>

#include "geometry/entities.h"

namespace pimu::cadlink {

// Writes the lines, circles, arcs, ellipses and polylines of the arrays (as the entity reader
// filled them) as a DXF drawing. The file is replaced only when the new one is complete; a
// failure throws CadError.
void SaveAcquiredEntities(const geometry::EntityArrays &arrays, const std::filesystem::path &path);

// Reads such a drawing back into entity arrays exactly as the entity reader would fill them from
// a selection of all its entities. A missing or broken file throws CadError.
geometry::EntityArrays LoadAcquiredEntities(const std::filesystem::path &path);

}  // namespace pimu::cadlink
