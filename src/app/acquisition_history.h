// The acquisition history: the entities of an acquisition kept as a DXF drawing, so an earlier
// building model can be brought back without selecting it again. The files are written and read
// through the embedded drawing whatever CAD the window works with, so this lives with the window
// model, which chooses backends; the generic CAD link names none.
#pragma once

#include <filesystem>

#include "geometry/entities.h"

namespace pimu::app {

// Writes the lines, circles, arcs, ellipses and polylines of the arrays (as the entity reader
// filled them) as a DXF drawing. The file is replaced only when the new one is complete; a
// failure throws cadlink::CadError.
void SaveAcquiredEntities(const geometry::EntityArrays &arrays, const std::filesystem::path &path);

// Reads such a drawing back into entity arrays exactly as the entity reader would fill them from
// a selection of all its entities. A missing or broken file throws cadlink::CadError.
geometry::EntityArrays LoadAcquiredEntities(const std::filesystem::path &path);

}  // namespace pimu::app
