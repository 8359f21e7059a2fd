// Small operations on the drawing's tables that the drawing commands share: layers, the dashed
// linetype, block names and definitions, and the temporary selection set.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cadlink/automation.h"
#include "cadlink/connection.h"

namespace pimu::cadlink {

inline constexpr const char *kTempSelectionSet = "ssTemp";
inline constexpr const char *kPimuSelectionSet = "ssPimu";

// Adds the layer unless one of that name (compared without regard to case) exists. Returns true.
bool EnsureLayer(IDocument &doc, const std::string &name);

struct DashedLinetypeChoice {
    std::string file;  // empty: this CAD has no known linetype file
    std::string name;  // "HIDDEN2", or "HIDDEN" for the PCAD family
};
DashedLinetypeChoice ChooseDashedLinetype(std::string_view progId);

// What EnsureDashedLinetype needs besides the CAD: waits, and the program's message box
// (owner and caption are the caller's) and the desktop to bring the CAD back afterwards.
struct LinetypeContext {
    std::string progId;
    ISleeper &sleeper;
    IDesktop &desktop;
    std::function<void(const std::string &)> showMessage;
};

// Makes sure the dashed linetype is in the drawing; returns its name as stored, or "" when it
// was loaded by a typed command (PCAD family) or could not be loaded ("線種ロードエラー" shown).
std::string EnsureDashedLinetype(IApplication &app, const LinetypeContext &context);

// The prefix followed by one more than the largest number that follows the prefix (compared
// without regard to case) in the drawing's block names; "PIMU_A" counts as 0.
std::string NewBlockName(IDocument &doc, std::string_view prefix);
BlockPtr NewBlock(IDocument &doc, std::string_view prefix);
// Deletes the first block of that name (any case); a failure (referenced, missing) is ignored.
void DeleteBlock(IDocument &doc, std::string_view name);

// The named set, cleared, or a new one of that name.
SelectionSetPtr GetSelectionSet(IDocument &doc, const std::string &name);
SelectionSetPtr GetTempSelectionSet(IDocument &doc);

// The object id of the drawing's last entity; 0 when there is none or on any error.
ObjectId LastObjectId(IDocument &doc);

// If the last entity is a reference to exactly `blockName`: reads its insertion point, explodes it and deletes the reference. False (and nothing changed)
// otherwise or on any error; then `failed`, when given, names the block that could not be
// exploded: the last reference's own block when it is another, `blockName` when the CAD failed
// (left empty when the last entity is no block reference).
bool ExplodeLastInsert(IDocument &doc, std::string_view blockName, TAcadPoint &insertionPoint,
                       std::string *failed = nullptr);

}  // namespace pimu::cadlink
