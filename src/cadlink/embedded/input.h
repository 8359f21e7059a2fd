// Where the embedded drawing gets what a CAD user does: picked points and angles, picked
// entities, on-screen selections and placement points. The drawing view of the GUI answers
// from the mouse; ScriptedInput answers from a queue for tests and the command line.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cadlink/automation.h"

namespace pimu::cadlink::embedded {

// One way of choosing entities on screen. A selection is the union of its queries.
struct EntityQuery {
    enum class Kind {
        All,       // everything in model space
        Layer,     // text: layer name (any case)
        Type,      // text: DXF types, comma separated ("LINE,LWPOLYLINE")
        Window,    // p1, p2: entities entirely inside
        Crossing,  // p1, p2: entities inside or crossing
        Handles,   // text: handles, comma separated
    };
    Kind kind = Kind::All;
    std::string text;
    TAcadPoint p1, p2;
};

struct EntityPick {
    std::string handle;
    TAcadPoint point;
};

// Every call may return nullopt: the user cancelled (Escape) or ended input.
class IInputSource {
public:
    virtual ~IInputSource() = default;
    virtual std::optional<TAcadPoint> PickPoint(const std::string &prompt) = 0;
    virtual std::optional<double> PickAngle(const std::string &prompt) = 0;  // radians
    virtual std::optional<EntityPick> PickEntity(const std::string &prompt) = 0;
    // An empty list: the user finished without choosing anything.
    virtual std::optional<std::vector<EntityQuery>> SelectOnScreen(const std::string &prompt) = 0;
    // The insertion point of a block the user places.
    virtual std::optional<TAcadPoint> PlacementPoint(const std::string &blockName) = 0;
};

// A queue of answers consumed in order. An answer of the wrong kind for a request throws CadError
// (a script out of step with the program is a fault); an empty queue answers "cancelled".
class ScriptedInput : public IInputSource {
public:
    struct Item {
        enum class Kind { Point, Angle, Entity, Selection, Placement, Cancel, Fail };
        Kind kind = Kind::Cancel;
        TAcadPoint point;
        double angle = 0.0;
        std::string text;  // Entity: handle; Fail: message
        std::vector<EntityQuery> selection;
    };

    ScriptedInput &Point(const TAcadPoint &p);
    ScriptedInput &Angle(double radians);
    ScriptedInput &Entity(const std::string &handle, const TAcadPoint &at = {});
    ScriptedInput &Select(std::vector<EntityQuery> queries);
    ScriptedInput &Place(const TAcadPoint &p);
    ScriptedInput &Cancel();
    ScriptedInput &Fail(const std::string &message);  // the next request throws CadError

    // Reads a script, one answer per line ('#' starts a comment):
    //   point X,Y[,Z] | angle DEGREES | entity HANDLE | place X,Y[,Z] | cancel
    //   select all | select layer NAME | select type LINE,ARC | select handles 1A,2B
    //   select window X1,Y1 X2,Y2 | select crossing X1,Y1 X2,Y2 | select none
    // Several "select" lines in a row joined by "+" at the line start form one selection.
    static ScriptedInput Parse(std::string_view script);

    std::size_t Remaining() const { return queue_.size(); }

    std::optional<TAcadPoint> PickPoint(const std::string &prompt) override;
    std::optional<double> PickAngle(const std::string &prompt) override;
    std::optional<EntityPick> PickEntity(const std::string &prompt) override;
    std::optional<std::vector<EntityQuery>> SelectOnScreen(const std::string &prompt) override;
    std::optional<TAcadPoint> PlacementPoint(const std::string &blockName) override;

private:
    std::deque<Item> queue_;
    std::optional<Item> Take(Item::Kind wanted, const char *request);
};

}  // namespace pimu::cadlink::embedded
