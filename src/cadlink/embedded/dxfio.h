// Opening and saving the embedded drawing as ASCII DXF.
//
// The reader is strict: it stops at the first fault and names the line and the reason. It reads
// R12 and R2000+ files; text is Shift-JIS when $DWGCODEPAGE is ANSI_932 or absent (before R2007),
// UTF-8 from R2007 on, and \U+XXXX escapes are decoded in every version, except escapes of
// control characters, which stay as written so that every name and text can be saved again.
// Entities of kinds the drawing does not model, and paper-space entities, are kept as read in
// their place (Drawing::AddRaw) and counted in Drawing::skipped; arcs, circles and ellipses
// without a proper size are kept the same way and noted in Drawing::degenerate; the header,
// tables, layouts, CLASSES, OBJECTS and other sections are kept in Drawing::kept. Kept groups are
// checked as strictly as the rest.
//
// Saving writes R2000 (AC1015) in Shift-JIS (R12 has no lightweight polyline or ellipse), except
// that a drawing read from an R2000+ file is saved in its own version (UTF-8 from R2007 on) with
// everything it kept: header variables, CLASSES, tables, layouts, OBJECTS and the entities the
// drawing does not model, as read and with their handles.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "cadlink/embedded/drawing.h"

namespace pimu::cadlink::embedded {

class DxfError : public CadError {
public:
    DxfError(const std::string &source, int line, const std::string &reason);
    int line() const { return line_; }

private:
    int line_;
};

// A reading stopped because keepGoing answered false.
class ReadStopped : public DxfError {
public:
    explicit ReadStopped(const std::string &source) : DxfError(source, 0, "stopped") {}
};

// keepGoing, when given, is asked many times a second while the text is read; once it answers
// false the reading ends with ReadStopped.
Drawing ReadDxf(std::string_view bytes, const std::string &source = "DXF");
// The same over bytes the drawing then shares: entities it does not change are saved from them.
Drawing ReadDxf(std::shared_ptr<const std::string> bytes, const std::string &source = "DXF",
                const std::function<bool()> &keepGoing = {});
// Throws DxfError for a missing or unreadable file; the file is only read.
Drawing OpenDxf(const std::filesystem::path &path, const std::function<bool()> &keepGoing = {});

std::string WriteDxf(const Drawing &drawing);
// Writes through WriteFileAtomically (base/atomic_file.h): a failed save leaves an existing file
// intact, and only a regular file (or a link to one) is replaced.
// keepGoing, when given, is asked before and while the file is written; once it answers false
// the old file stays and WriteStopped (base/atomic_file.h) is thrown.
void SaveDxf(const Drawing &drawing, const std::filesystem::path &path,
             const std::function<bool()> &keepGoing = {});

}  // namespace pimu::cadlink::embedded
