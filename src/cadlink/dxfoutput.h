// Saving a finished DXF text beside the executable under a new block name of the drawing, so the
// insertion that follows makes a block that does not collide with an earlier drawing's.
#pragma once

#include <filesystem>
#include <string_view>

#include "cadlink/automation.h"
#include "cadlink/connection.h"
#include "cadlink/dxftext.h"

namespace pimu::cadlink {

// Ends the list (unless it ends already), names the file NewBlockName(doc, prefix) + ".dxf" in
// `folder`, saves it (an old file of that name is replaced), waits 100 ms and returns the path.
// A failed save throws DxfError.
std::filesystem::path WriteDxfFile(DxfText &list, std::string_view prefix, IDocument &doc,
                                   const std::filesystem::path &folder, ISleeper &sleeper);

}  // namespace pimu::cadlink
