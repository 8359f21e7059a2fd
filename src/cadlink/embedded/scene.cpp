#include "cadlink/embedded/scene.h"

#include <cmath>
#include <numbers>

namespace pimu::cadlink::embedded {
namespace {

constexpr double kTurn = 2.0 * std::numbers::pi;

// An arc's end angle after its start (counter-clockwise); absurd angles are first brought into
// one turn so the stepping ends.
bool ArcSpan(double &from, double &to) {
    if (!std::isfinite(from) || !std::isfinite(to)) return false;
    if (std::abs(from) > 1e3 || std::abs(to) > 1e3)
        from = std::fmod(from, kTurn), to = std::fmod(to, kTurn);
    while (to <= from) to += kTurn;
    return true;
}

bool WorldZ(const TAcadPoint &n) {
    return n.x == 0.0 && n.y == 0.0 && n.z == 1.0;
}
bool WorldMinusZ(const TAcadPoint &n) {
    return n.x == 0.0 && n.y == 0.0 && n.z == -1.0;
}

class Walker {
public:
    explicit Walker(const Drawing &drawing) : drawing_(drawing) {}

    void Entity(const EntityData &e) {
        const view::Props props{e.layer, e.color, e.linetype};
        switch (e.kind) {
            case EntityKind::Line:
                builder.AddLine(props, e.p1, e.p2);
                break;
            case EntityKind::Point:
                builder.AddDot(props, e.p1);
                break;
            case EntityKind::Circle:
            case EntityKind::Arc:
                AddArc(props, e);
                break;
            case EntityKind::Ellipse:
                AddEllipse(props, e);
                break;
            case EntityKind::LwPolyline:
            case EntityKind::Polyline2d:
            case EntityKind::Polyline3d:
                AddPolyline(props, e);
                break;
            case EntityKind::Text:
                AddText(props, e);
                break;
            case EntityKind::Insert:
                AddInsert(props, e);
                break;
        }
    }

    view::SceneBuilder builder;

private:
    void AddArc(const view::Props &props, const EntityData &e) {
        const bool circle = e.kind == EntityKind::Circle;
        double from = circle ? 0.0 : e.startAngle, to = circle ? kTurn : e.endAngle;
        if (!ArcSpan(from, to)) return;
        if (WorldZ(e.normal) || WorldMinusZ(e.normal)) {
            view::Arc arc;
            arc.center = OcsToWcs(e.p1, e.normal);
            arc.radius = e.radius;
            arc.start = from;
            arc.sweep = to - from;
            arc.circle = circle;
            if (WorldMinusZ(e.normal)) {  // seen from above, mirrored and clockwise
                arc.start = std::numbers::pi - from;
                arc.sweep = -arc.sweep;
            }
            builder.AddArc(props, arc);
            return;
        }
        // Tilted: its outline on the plan, point by point.
        view::Polyline pl;
        pl.closed = circle;
        pl.curve = true;
        const int n = view::ArcSteps(to - from);
        for (int i = 0; i <= n; ++i) {
            const double a = from + (to - from) * i / n;
            pl.vertices.push_back({OcsToWcs({e.p1.x + e.radius * std::cos(a),
                                             e.p1.y + e.radius * std::sin(a), e.p1.z},
                                            e.normal),
                                   0.0});
        }
        builder.AddPolyline(props, std::move(pl));
    }

    void AddEllipse(const view::Props &props, const EntityData &e) {
        const TAcadPoint u = e.p2;
        // The minor axis: the normal crossed with the major axis, scaled by the ratio.
        const TAcadPoint n = e.normal;
        const TAcadPoint v{(n.y * u.z - n.z * u.y) * e.ratio, (n.z * u.x - n.x * u.z) * e.ratio,
                           (n.x * u.y - n.y * u.x) * e.ratio};
        double from = e.startAngle, to = e.endAngle;
        if (!ArcSpan(from, to)) return;
        const int steps = view::ArcSteps(to - from);
        view::Polyline pl;
        pl.curve = true;
        for (int i = 0; i <= steps; ++i) {
            const double t = from + (to - from) * i / steps;
            pl.vertices.push_back({{e.p1.x + u.x * std::cos(t) + v.x * std::sin(t),
                                    e.p1.y + u.y * std::cos(t) + v.y * std::sin(t), 0.0},
                                   0.0});
        }
        builder.AddPolyline(props, std::move(pl));
    }

    void AddPolyline(const view::Props &props, const EntityData &e) {
        view::Polyline pl;
        pl.closed = e.closed;
        if (e.kind == EntityKind::Polyline3d) {
            for (const auto &v : e.vertices) pl.vertices.push_back({v.pt, 0.0});
        } else if (WorldZ(e.normal) || WorldMinusZ(e.normal)) {
            // Seen from below the bulges turn the other way.
            const double turn = e.normal.z < 0.0 ? -1.0 : 1.0;
            for (const auto &v : e.vertices)
                pl.vertices.push_back(
                    {OcsToWcs({v.pt.x, v.pt.y, e.elevation}, e.normal), v.bulge * turn});
        } else {
            // Tilted: the bulges flattened in their own plane, then every point placed.
            view::Polyline ocs;
            ocs.closed = e.closed;
            for (const auto &v : e.vertices)
                ocs.vertices.push_back({{v.pt.x, v.pt.y, e.elevation}, v.bulge});
            std::vector<TAcadPoint> pts;
            view::Flatten(ocs, pts);
            for (const auto &p : pts) pl.vertices.push_back({OcsToWcs(p, e.normal), 0.0});
        }
        builder.AddPolyline(props, std::move(pl));
    }

    void AddText(const view::Props &props, const EntityData &e) {
        const bool aligned = e.hAlign != 0 || e.vAlign != 0;
        view::Text t;
        t.text = e.text;
        t.at = OcsToWcs(aligned ? e.p2 : e.p1, e.normal);
        t.height = e.height;
        t.rotation = e.normal.z < 0 ? -e.rotation : e.rotation;
        t.widthFactor = e.widthFactor;
        t.hAlign = e.hAlign;
        t.vAlign = e.vAlign;
        builder.AddText(props, std::move(t));
    }

    void AddInsert(const view::Props &props, const EntityData &e) {
        const auto *block = drawing_.FindBlock(e.blockName);
        if (!block || !builder.BeginBlock(props)) return;
        Placement pl;
        pl.base = block->base;
        pl.origin = OcsToWcs(e.p1, e.normal);
        pl.scale = e.sx;
        pl.rotation = e.rotation;
        for (const auto id : block->entities)
            if (drawing_.Exists(id)) Entity(Transformed(drawing_.Get(id), pl));
        builder.EndBlock();
    }

    const Drawing &drawing_;
};

}  // namespace

view::Scene SceneOf(const Drawing &drawing) {
    Walker walker(drawing);
    for (const auto &lt : drawing.Linetypes()) walker.builder.AddLinetype(lt.name, lt.pattern);
    for (const auto &layer : drawing.Layers())
        walker.builder.AddLayer(layer.name, layer.color, layer.linetype, (layer.flags & 1) != 0);
    for (const auto id : drawing.ModelSpace()) {
        if (!drawing.Exists(id)) continue;
        walker.builder.BeginEntity(id.value);
        walker.Entity(drawing.Get(id));
    }
    return walker.builder.Finish();
}

}  // namespace pimu::cadlink::embedded
