// The "-INSERT" commands that put the program's drawings into the CAD, and what follows them:
// the PCAD clean-up after an exploded insertion and the sequence for insertions the user places.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cadlink/automation.h"
#include "cadlink/connection.h"

namespace pimu::cadlink {

enum class InsertForm {
    ExplodedAtOrigin,         // "-INSERT" CR "*path" CR "0,0 1 0" CR
    ExplodedAtOriginLowerS,   // the same spelled "-INsERT"
    ExplodedAtOriginSplit,    // "-InSERT" CR "*path" CR "0,0" CR "1 0" CR
    ExplodedAtPoint,          // "-InSERT" CR "*path" CR x,y CR "1 0" CR
    ExplodedAtPointBlankEnd,  // "-INSERt" CR "*path" CR x,y CR "1 0 "
    ExplodedAtPointRotated,   // "-INSERT" CR "*path" CR x,y CR "1.0" CR angle CR
    BlockAtPointRotated,      // "-INSERT" CR "path" CR x,y CR "1.0 1.0" CR angle CR
    PlacedByUser,             // "-INSERT" CR "path" CR "S" CR "1.0" CR "R" CR angle CR
    BlockPlacedByUser,        // "-INSERT" CR name CR "S" CR "1.0" CR "R" CR "0.0" CR
};

bool IsExploded(InsertForm form);
bool IsPlacedByUser(InsertForm form);

struct InsertArgs {
    double x = 0.0;
    double y = 0.0;
    // The angle in degrees exactly as the caller formats it ("0", "0.0", "%.12f", or
    // FormatCommandNumber); it must read as a number.
    std::string angle = "0";
    // An insertion the user places stays a block reference: not exploded, its definition kept.
    bool keepPlacedBlock = false;
};

// Shortest general form with up to 15 significant digits, '.' as separator ("12.5", "-0.25").
std::string FormatCommandNumber(double value);

// The command text of a form. `target` is the file's path, or the block's name for
// BlockPlacedByUser. Text that could end an input early or start another command (line breaks,
// control characters, double quotes; and blanks in an unquoted block name) is refused with
// CadError rather than sent.
std::string InsertCommandText(InsertForm form, std::string_view target,
                              const InsertArgs &args = {});

// The block name a file becomes: its base name without the extension.
std::string BlockNameOfFile(std::string_view path);

// What the insertion protocol needs besides the CAD.
struct InsertContext {
    IApplication &app;
    std::string progId;
    ISleeper &sleeper;
    Progress &progress;                        // its KeepRunning is WaitQuiescent's stop test
    std::function<void()> minimiseMainWindow;  // may be empty
    std::function<void()> restoreMainWindow;   // may be empty
};

// Sends the insertion and cleans up after it. A file that does not exist is not inserted and
// false is returned (no message). Errors of the CAD are not caught. After an exploded insertion
// into a PCAD-family CAD the block definition named after the file is deleted once the CAD is
// idle; after an insertion the user placed, the placed reference is exploded and both the
// reference and its definition are deleted.
// Where a user-placed insertion landed: `placed` is set when the user placed it (the reference
// was exploded), with its insertion point in `at`. `explodeFailed` names the block whose placed
// reference could not be exploded and purged (see ExplodeLastInsert); empty when none failed.
struct InsertPlacement {
    bool placed = false;
    TAcadPoint at;
    std::string explodeFailed;
};

bool InsertDxf(const InsertContext &context, InsertForm form, const std::string &target,
               const InsertArgs &args = {}, InsertPlacement *placement = nullptr);

}  // namespace pimu::cadlink
