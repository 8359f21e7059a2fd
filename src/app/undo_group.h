// One undo group around a command's changes to the drawing, closed once with a regeneration of
// the view on every path out of the command: by Close() or, at the latest, when it goes out of
// scope (also when the command stops or throws).
#pragma once

#include "cadlink/automation.h"

namespace pimu::app {

class UndoGroup {
public:
    explicit UndoGroup(cadlink::IDocument &doc) : doc_(doc) { doc_.StartUndoMark(); }
    UndoGroup(const UndoGroup &) = delete;
    UndoGroup &operator=(const UndoGroup &) = delete;
    ~UndoGroup() {
        try {
            Close();
        } catch (...) {
            // A CAD that refuses to end the group now has nothing more to undo from us; the
            // error that ended the command is the one the user needs to see.
        }
    }

    // Ends the group and regenerates; later calls do nothing.
    void Close() {
        if (!open_) return;
        open_ = false;
        doc_.EndUndoMark();
        doc_.Regen(0);
    }

private:
    cadlink::IDocument &doc_;
    bool open_ = true;
};

}  // namespace pimu::app
