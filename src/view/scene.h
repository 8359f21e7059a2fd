// The scene of a drawing: what is painted, in drawing units on the plan. Lines, polylines with
// bulges, arcs and circles, texts and points, each with its entity, its colour index and
// linetype resolved through BYLAYER and BYBLOCK, and its layer; block references are expanded
// into their contents. A scene is built once (SceneBuilder) and then painted and picked many
// times: the cairo pictures and the desktop drawing view paint the same primitives, and
// hittest.h picks on them through the scene's grid.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "geometry/types.h"

namespace pimu::view {

using geometry::TAcadPoint;

// How finely curves are drawn: a full turn in 144 steps, an arc in no fewer than 8, a bulge in
// no fewer than 4. Below kStraightBulge a polyline segment is straight.
inline constexpr int kArcStepsPerTurn = 144;
inline constexpr int kMinArcSteps = 8;
inline constexpr int kMinBulgeSteps = 4;
inline constexpr double kStraightBulge = 1e-12;
// Block references nested deeper than this are not drawn (a block that contains itself).
inline constexpr int kMaxBlockDepth = 16;

// An axis-aligned box on the plan; empty until a finite point is added.
struct Box {
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;

    static Box Around(TAcadPoint p, double half);
    static Box Spanning(TAcadPoint c1, TAcadPoint c2);  // corners in any order
    void Add(TAcadPoint p);                             // non-finite points are ignored
    void Add(const Box &b);
    bool Empty() const { return minX > maxX; }
    bool Intersects(const Box &b) const {
        return minX <= b.maxX && b.minX <= maxX && minY <= b.maxY && b.minY <= maxY;
    }
    bool Contains(TAcadPoint p) const {
        return p.x >= minX && p.x <= maxX && p.y >= minY && p.y <= maxY;
    }
    bool Contains(const Box &b) const {
        return b.minX >= minX && b.maxX <= maxX && b.minY >= minY && b.maxY <= maxY;
    }
};

struct Line {
    TAcadPoint a, b;
};
struct PolyVertex {
    TAcadPoint pt;
    double bulge = 0.0;  // of the segment that starts here; positive counter-clockwise
};
struct Polyline {
    std::vector<PolyVertex> vertices;  // at least two
    bool closed = false;
    bool curve = false;  // the vertices trace a curve (ellipse, tilted arc): only the ends snap
};
// Points at start + sweep * t for t in [0, 1]; a negative sweep runs clockwise. A circle is a
// closed full turn.
struct Arc {
    TAcadPoint center;
    double radius = 0.0;
    double start = 0.0;
    double sweep = 0.0;
    bool circle = false;
};
// A single-line text. `at` is the insertion point or, when aligned, the alignment point;
// hAlign/vAlign as DXF groups 72/73 (hAlign 4 is "middle": centred both ways).
struct Text {
    std::string text;
    TAcadPoint at;
    double height = 0.0, rotation = 0.0, widthFactor = 1.0;
    int hAlign = 0, vAlign = 0;
};
struct Dot {
    TAcadPoint at;
};
using Shape = std::variant<Line, Polyline, Arc, Text, Dot>;

struct Primitive {
    Shape shape;
    int entity = 0;     // index into Scene::Entities()
    int layer = 0;      // index into Scene::Layers(): the layer it is shown on
    int path = 0;       // the layers of the block references around it (Scene::Visible)
    int color = 7;      // colour index, BYLAYER and BYBLOCK resolved
    int linetype = -1;  // index into Scene::Linetypes(); -1 continuous
    Box bounds;         // of what is drawn (curves as flattened); texts roughly
};

// A model-space entity: its primitives are Primitives()[first, first + count).
struct Entity {
    std::int64_t key = 0;  // the drawing's own id
    int first = 0, count = 0;
};

struct Layer {
    std::string name;
    int color = 7;
    std::string linetype = "CONTINUOUS";
    bool on = true;
};

struct Linetype {
    std::string name;
    std::vector<double> pattern;  // dashes positive, gaps negative, dots 0
    bool Dashed() const;          // has a gap
};

class Scene {
public:
    const std::vector<Layer> &Layers() const { return layers_; }
    const std::vector<Linetype> &Linetypes() const { return linetypes_; }
    const std::vector<Primitive> &Primitives() const { return primitives_; }
    const std::vector<Entity> &Entities() const { return entities_; }
    int FindLayer(std::string_view name) const;  // any case; -1 when absent
    bool Dashed(const Primitive &p) const {
        return p.linetype >= 0 && linetypes_[static_cast<std::size_t>(p.linetype)].Dashed();
    }

    // A primitive shows while its layer and the layers of every block reference around it are
    // on. Turning layers on and off does not rebuild anything.
    void SetLayerOn(int layer, bool on);
    bool Visible(const Primitive &p) const {
        return layers_[static_cast<std::size_t>(p.layer)].on &&
               pathOn_[static_cast<std::size_t>(p.path)];
    }

    // The bounds of every visible primitive; empty when nothing shows.
    Box Extents() const;

    // The visible primitives whose pick bounds meet `box`, in painting order (ascending index).
    void Query(const Box &box, std::vector<int> &out) const;
    // What a pick or selection must consider: the bounds, for texts widened to their outline.
    const Box &PickBounds(int primitive) const {
        return pickBounds_[static_cast<std::size_t>(primitive)];
    }

private:
    friend class SceneBuilder;
    void BuildIndex();
    void UpdatePaths();

    std::vector<Layer> layers_;
    std::vector<Linetype> linetypes_;
    std::vector<Primitive> primitives_;
    std::vector<Entity> entities_;
    std::vector<std::vector<int>> paths_;  // path 0: model space, no reference around
    std::vector<char> pathOn_;
    std::vector<Box> pickBounds_;

    // A uniform grid over the pick bounds; primitives spanning many cells are kept aside.
    Box gridBox_;
    int nx_ = 0, ny_ = 0;
    double cellW_ = 1.0, cellH_ = 1.0;
    std::vector<int> cellStart_, cellItems_, large_;
};

// The properties an entity carries, as the drawing stores them: colour 256 BYLAYER, 0 BYBLOCK;
// linetype names "BYLAYER" and "BYBLOCK" in any case.
struct Props {
    std::string_view layer = "0";
    int color = 256;
    std::string_view linetype = "BYLAYER";
};

// Builds a scene. Declare the layers and linetypes, then for each model-space entity call
// BeginEntity and add its shapes (in world coordinates on the plan); a block reference wraps its
// contents in BeginBlock/EndBlock. Inside a block, BYBLOCK takes the reference's colour and
// linetype, and contents on layer "0" are shown on the reference's layer.
class SceneBuilder {
public:
    SceneBuilder();
    // `color` negative: the layer is off (its colour is the absolute value).
    void AddLayer(std::string_view name, int color, std::string_view linetype, bool frozen);
    void AddLinetype(std::string_view name, std::vector<double> pattern);

    void BeginEntity(std::int64_t key);
    void AddLine(const Props &props, TAcadPoint a, TAcadPoint b);
    void AddPolyline(const Props &props, Polyline polyline);  // fewer than 2 vertices: nothing
    void AddArc(const Props &props, const Arc &arc);
    void AddText(const Props &props, Text text);  // empty or not positive height: nothing
    void AddDot(const Props &props, TAcadPoint at);
    // Returns false (and pushes nothing) when the nesting is too deep.
    bool BeginBlock(const Props &reference);
    void EndBlock();

    Scene Finish();

private:
    struct Inherited {
        int color = 7;
        int linetype = -1;
        int layer = -1;
        int path = 0;
    };
    struct Resolved {
        int layer, color, linetype;
    };
    int LayerIndex(std::string_view name);
    int LinetypeIndex(std::string_view name) const;
    Resolved Resolve(const Props &props);
    void Push(const Props &props, Shape shape, const Box &bounds);

    Scene scene_;
    std::vector<Inherited> stack_;
    std::map<std::string, int> layerByName_, linetypeByName_;  // upper-cased names
    std::map<std::vector<int>, int> pathIndex_;
};

// The arc of a polyline segment from p1 to p2 (geometry::BulgeToArc), starting at p1.
Arc ArcOfBulge(TAcadPoint p1, TAcadPoint p2, double bulge);

// The number of straight steps an arc of `sweep` radians is drawn with.
int ArcSteps(double sweep);

// The points an arc or a polyline is drawn through, appended to `out`. An arc gives
// ArcSteps + 1 points; a polyline its vertices with the inner points of each bulged segment
// after its start (a closed one's closing segment too; the painter closes the path).
void Flatten(const Arc &arc, std::vector<TAcadPoint> &out);
void Flatten(const Polyline &polyline, std::vector<TAcadPoint> &out);

// The bounds of Flatten(arc), found without flattening the whole arc.
Box FlattenedBounds(const Arc &arc);

// A text as the CAD shows it: the control codes %%d (degree sign), %%p (plus-minus), %%c
// (diameter) and %%% (percent) become their characters, the underline and overline switches %%u
// and %%o are dropped (in either case); anything else stays as written.
std::string DisplayText(std::string_view text);

// The four corners of a text's outline (estimated from its height and characters: a wide
// character one height, others 0.6), counter-clockwise from the start of its baseline box.
std::vector<TAcadPoint> TextOutline(const Text &text);

}  // namespace pimu::view
