#include "cadlink/embedded/document.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "cadlink/embedded/dxfio.h"
#include "geometry/clip.h"
#include "view/scene.h"

namespace pimu::cadlink::embedded {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::vector<LinetypeRecord> StandardLinetypes() {
    return {
        {"HIDDEN", "Hidden __ __ __ __ __ __ __ __ __ __ __ __ __ __", {6.35, -3.175}},
        {"HIDDEN2", "Hidden (.5x) _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _", {3.175, -1.5875}},
        {"DASHED", "Dashed __ __ __ __ __ __ __ __ __ __ __ __ __ _", {12.7, -6.35}},
        {"CENTER", "Center ____ _ ____ _ ____ _ ____ _ ____ _ ____", {31.75, -6.35, 6.35, -6.35}},
    };
}

// Rejects names that would break a table or a typed command.
void CheckName(const std::string &name, const char *what) {
    if (name.empty()) throw CadError(std::string(what) + " name is empty");
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F ||
            std::string_view("<>/\\\":;?*|,=`").find(static_cast<char>(c)) !=
                std::string_view::npos)
            throw CadError(std::string(what) + " name \"" + name +
                           "\" contains an invalid character");
}

bool WildMatch(std::string_view pattern, std::string_view text) {
    if (pattern.empty()) return text.empty();
    if (pattern.front() == '*') {
        for (std::size_t k = 0; k <= text.size(); ++k)
            if (WildMatch(pattern.substr(1), text.substr(k))) return true;
        return false;
    }
    if (text.empty()) return false;
    if (pattern.front() != '?' && pattern.front() != text.front()) return false;
    return WildMatch(pattern.substr(1), text.substr(1));
}

bool MatchesList(const std::string &list, const std::string &value) {
    const std::string upper = UpperAscii(value);
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        std::string item = UpperAscii(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        while (!item.empty() && item.front() == ' ') item.erase(0, 1);
        while (!item.empty() && item.back() == ' ') item.pop_back();
        if (WildMatch(item, upper)) return true;
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
}

bool PassesFilter(const EntityData &e, const SelectionFilter &filter) {
    for (const auto &[code, value] : filter) {
        if (code == 0) {
            if (!MatchesList(value, std::string(DxfTypeName(e.kind)))) return false;
        } else if (code == 8) {
            if (!MatchesList(value, e.layer)) return false;
        } else {
            throw CadError("Selection filter group " + std::to_string(code) + " is not supported");
        }
    }
    return true;
}

TAcadPoint Add3(const TAcadPoint &a, const TAcadPoint &b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
TAcadPoint Scale3(const TAcadPoint &a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}

TAcadPoint ArcPoint(const EntityData &e, double angle) {
    return OcsToWcs(
        {e.p1.x + e.radius * std::cos(angle), e.p1.y + e.radius * std::sin(angle), e.p1.z},
        e.normal);
}

TAcadPoint EllipsePoint(const EntityData &e, double t) {
    const TAcadPoint &u = e.p2;
    const TAcadPoint &n = e.normal;
    const double len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    const TAcadPoint nn{n.x / len, n.y / len, n.z / len};
    const TAcadPoint v{nn.y * u.z - nn.z * u.y, nn.z * u.x - nn.x * u.z, nn.x * u.y - nn.y * u.x};
    return Add3(e.p1, Add3(Scale3(u, std::cos(t)), Scale3(v, e.ratio * std::sin(t))));
}

// The entity's trace in world coordinates, for window selections.
std::vector<TAcadPoint> Outline(const EntityData &e) {
    std::vector<TAcadPoint> pts;
    switch (e.kind) {
        case EntityKind::Line:
            return {e.p1, e.p2};
        case EntityKind::Point:
            return {e.p1};
        case EntityKind::Text:
        case EntityKind::Insert:
            return {OcsToWcs(e.p1, e.normal)};
        case EntityKind::Circle:
        case EntityKind::Arc: {
            double a = e.kind == EntityKind::Arc ? e.startAngle : 0.0;
            double b = e.kind == EntityKind::Arc ? e.endAngle : kTwoPi;
            if (b < a) b += kTwoPi;
            for (int k = 0; k <= 72; ++k) pts.push_back(ArcPoint(e, a + (b - a) * k / 72.0));
            return pts;
        }
        case EntityKind::Ellipse: {
            double a = e.startAngle, b = e.endAngle;
            if (b <= a) b += kTwoPi;
            for (int k = 0; k <= 72; ++k) pts.push_back(EllipsePoint(e, a + (b - a) * k / 72.0));
            return pts;
        }
        case EntityKind::LwPolyline:
        case EntityKind::Polyline2d:
        case EntityKind::Polyline3d: {
            const bool is3d = e.kind == EntityKind::Polyline3d;
            const std::size_t n = e.vertices.size();
            for (std::size_t k = 0; k < n; ++k) {
                const Vertex &v = e.vertices[k];
                const TAcadPoint p =
                    is3d ? v.pt : OcsToWcs({v.pt.x, v.pt.y, e.elevation}, e.normal);
                pts.push_back(p);
                const bool last = k + 1 == n;
                if (is3d || v.bulge == 0.0 || (last && !e.closed)) continue;
                const Vertex &w = e.vertices[last ? 0 : k + 1];
                if (w.pt.x == v.pt.x && w.pt.y == v.pt.y) continue;
                // Points along the bulge arc.
                const view::Arc arc = view::ArcOfBulge(v.pt, w.pt, v.bulge);
                for (int s = 1; s < 16; ++s) {
                    const double a = arc.start + arc.sweep * s / 16.0;
                    pts.push_back(OcsToWcs({arc.center.x + arc.radius * std::cos(a),
                                            arc.center.y + arc.radius * std::sin(a), e.elevation},
                                           e.normal));
                }
            }
            if (e.closed && !pts.empty()) pts.push_back(pts.front());
            return pts;
        }
    }
    return pts;
}

bool InBox(const EntityData &e, const TAcadPoint &c1, const TAcadPoint &c2, bool crossing) {
    const double x0 = std::min(c1.x, c2.x), x1 = std::max(c1.x, c2.x);
    const double y0 = std::min(c1.y, c2.y), y1 = std::max(c1.y, c2.y);
    const std::vector<TAcadPoint> pts = Outline(e);
    auto inside = [&](const TAcadPoint &p) {
        return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1;
    };
    if (!crossing) return std::all_of(pts.begin(), pts.end(), inside);
    if (pts.size() == 1) return inside(pts[0]);
    for (std::size_t k = 0; k + 1 < pts.size(); ++k)
        if (geometry::SegmentMeetsRect(pts[k], pts[k + 1], x0, y0, x1, y1)) return true;
    return false;
}

double BulgeSegmentArea(const Vertex &v, const Vertex &w) {
    if (v.bulge == 0.0 || (w.pt.x == v.pt.x && w.pt.y == v.pt.y)) return 0.0;
    const view::Arc arc = view::ArcOfBulge(v.pt, w.pt, v.bulge);
    const double theta = std::abs(arc.sweep);
    const double seg = arc.radius * arc.radius / 2.0 * (theta - std::sin(theta));
    return v.bulge > 0 ? seg : -seg;
}

struct Alignment {
    int h, v;
};
constexpr Alignment kAlignments[] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {0, 3}, {1, 3},
                                     {2, 3}, {0, 2}, {1, 2}, {2, 2}, {0, 1}, {1, 1}, {2, 1}};

}  // namespace

const std::vector<LinetypeRecord> *BuiltInLinetypeFile(std::string_view fileName) {
    static const std::vector<LinetypeRecord> standard = StandardLinetypes();
    const std::string key =
        UpperAscii(std::filesystem::path(std::string(fileName)).filename().string());
    for (const char *known : {"ACADISO.LIN", "ISO.LIN", "GCADISO.LIN", "ZWCADISO.LIN", "MM.LIN"})
        if (key == known) return &standard;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Proxies

class EntityProxy;

struct EmbeddedDocument::Impl {
    EmbeddedDocument &doc;
    std::vector<std::pair<std::string, std::vector<EntityId>>> sets;
    std::unique_ptr<IEntityContainer> modelSpace;
    std::unique_ptr<IBlocks> blocks;
    std::unique_ptr<ILayers> layers;
    std::unique_ptr<ILinetypes> linetypes;
    std::unique_ptr<ISelectionSets> selectionSets;
    std::unique_ptr<IUtility> utility;

    explicit Impl(EmbeddedDocument &d);
    Drawing &dw() { return doc.drawing_; }
    EntityPtr Proxy(EntityId id);
    IInputSource &Input() {
        if (!doc.input_) throw CadError("The drawing has no user input");
        return *doc.input_;
    }
    std::vector<EntityId> *FindSet(const std::string &name) {
        for (auto &[n, ids] : sets)
            if (UpperAscii(n) == UpperAscii(name)) return &ids;
        return nullptr;
    }
    std::vector<EntityId> Resolve(const std::vector<EntityQuery> &queries) {
        // Handles are looked up once, not per entity.
        std::vector<EntityId> byHandle;
        for (const EntityQuery &q : queries) {
            if (q.kind != EntityQuery::Kind::Handles) continue;
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = q.text.find(',', start);
                std::string h = q.text.substr(
                    start, comma == std::string::npos ? std::string::npos : comma - start);
                while (!h.empty() && h.front() == ' ') h.erase(0, 1);
                while (!h.empty() && h.back() == ' ') h.pop_back();
                if (auto found = dw().FindHandle(h)) byHandle.push_back(*found);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        }
        std::sort(byHandle.begin(), byHandle.end());
        std::vector<EntityId> out;
        for (EntityId id : dw().ModelSpace()) {
            const EntityData &e = dw().Get(id);
            bool hit = std::binary_search(byHandle.begin(), byHandle.end(), id);
            for (const EntityQuery &q : queries) {
                if (hit) break;
                switch (q.kind) {
                    case EntityQuery::Kind::All:
                        hit = true;
                        break;
                    case EntityQuery::Kind::Layer:
                        hit = UpperAscii(e.layer) == UpperAscii(q.text);
                        break;
                    case EntityQuery::Kind::Type:
                        hit = MatchesList(q.text, std::string(DxfTypeName(e.kind)));
                        break;
                    case EntityQuery::Kind::Window:
                        hit = InBox(e, q.p1, q.p2, false);
                        break;
                    case EntityQuery::Kind::Crossing:
                        hit = InBox(e, q.p1, q.p2, true);
                        break;
                    case EntityQuery::Kind::Handles:
                        break;
                }
            }
            if (hit) out.push_back(id);
        }
        return out;
    }
};

class EntityProxy : public IEntity {
public:
    EntityProxy(EmbeddedDocument::Impl &impl, EntityId id) : impl_(impl), id_(id) {}

    std::string EntityName() override { return std::string(ClassName(E().kind)); }
    std::string Handle() override {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(E().handle));
        return buf;
    }
    std::string FileHandle() override {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%llX",
                      static_cast<unsigned long long>(impl_.dw().FileHandle(id_)));
        return buf;
    }
    ObjectId ObjectID() override {
        E();
        return ObjectId{id_.value};
    }
    TAcadPoint StartPoint() override {
        const EntityData &e = E();
        if (e.kind == EntityKind::Line) return e.p1;
        if (e.kind == EntityKind::Arc) return ArcPoint(e, e.startAngle);
        if (e.kind == EntityKind::Ellipse) return EllipsePoint(e, e.startAngle);
        return No("StartPoint");
    }
    TAcadPoint EndPoint() override {
        const EntityData &e = E();
        if (e.kind == EntityKind::Line) return e.p2;
        if (e.kind == EntityKind::Arc) return ArcPoint(e, e.endAngle);
        if (e.kind == EntityKind::Ellipse) return EllipsePoint(e, e.endAngle);
        return No("EndPoint");
    }
    TAcadPoint Center() override {
        const EntityData &e =
            Need({EntityKind::Circle, EntityKind::Arc, EntityKind::Ellipse}, "Center");
        return e.kind == EntityKind::Ellipse ? e.p1 : OcsToWcs(e.p1, e.normal);
    }
    double Radius() override {
        return Need({EntityKind::Circle, EntityKind::Arc}, "Radius").radius;
    }
    double StartAngle() override {
        const EntityData &e = Need({EntityKind::Arc, EntityKind::Ellipse}, "StartAngle");
        return e.kind == EntityKind::Arc ? e.startAngle : ParamToAngle(e, e.startAngle);
    }
    double EndAngle() override {
        const EntityData &e = Need({EntityKind::Arc, EntityKind::Ellipse}, "EndAngle");
        return e.kind == EntityKind::Arc ? e.endAngle : ParamToAngle(e, e.endAngle);
    }
    double StartParameter() override {
        return Need({EntityKind::Ellipse}, "StartParameter").startAngle;
    }
    double EndParameter() override { return Need({EntityKind::Ellipse}, "EndParameter").endAngle; }
    double RadiusRatio() override { return Need({EntityKind::Ellipse}, "RadiusRatio").ratio; }
    TAcadPoint MajorAxis() override { return Need({EntityKind::Ellipse}, "MajorAxis").p2; }
    double Thickness() override {
        const EntityData &e = E();
        if (e.kind == EntityKind::Ellipse || e.kind == EntityKind::Polyline3d ||
            e.kind == EntityKind::Insert)
            No("Thickness");
        return e.thickness;
    }
    TAcadPoint Normal() override {
        const EntityData &e = E();
        if (e.kind == EntityKind::Polyline3d) No("Normal");
        return e.normal;
    }
    double Elevation() override {
        return Need({EntityKind::LwPolyline, EntityKind::Polyline2d}, "Elevation").elevation;
    }
    std::vector<double> Coordinates() override {
        const EntityData &e = Poly("Coordinates");
        std::vector<double> out;
        for (const Vertex &v : e.vertices) {
            out.push_back(v.pt.x);
            out.push_back(v.pt.y);
            if (e.kind == EntityKind::Polyline3d)
                out.push_back(v.pt.z);
            else if (e.kind == EntityKind::Polyline2d)
                out.push_back(e.elevation);
        }
        return out;
    }
    // One vertex is read without copying the polyline: a reader asking for each vertex in turn
    // takes time in proportion to the vertices, not to their square.
    TAcadPoint Coordinate(int index) override {
        const EntityData *held = impl_.dw().Peek(id_);
        const EntityData copy = held ? EntityData{} : Poly("Coordinate");
        const EntityData &e = held ? *held : copy;
        if (held && !IsPolyline(e.kind)) No("Coordinate");
        const Vertex &v = At(e, index);
        if (e.kind == EntityKind::Polyline3d) return v.pt;
        return {v.pt.x, v.pt.y, e.elevation};
    }
    double GetBulge(int index) override {
        const EntityData *held = impl_.dw().Peek(id_);
        const EntityData copy =
            held ? EntityData{}
                 : Need({EntityKind::LwPolyline, EntityKind::Polyline2d}, "GetBulge");
        const EntityData &e = held ? *held : copy;
        if (held && e.kind != EntityKind::LwPolyline && e.kind != EntityKind::Polyline2d)
            No("GetBulge");
        return At(e, index).bulge;
    }
    void SetBulge(int index, double bulge) override {
        Need({EntityKind::LwPolyline, EntityKind::Polyline2d}, "SetBulge");
        if (!std::isfinite(bulge)) throw CadError("Invalid bulge");
        At(E(), index);
        Edit().vertices[static_cast<std::size_t>(index)].bulge = bulge;
    }
    std::string TextString() override { return Need({EntityKind::Text}, "TextString").text; }
    double Height() override { return Need({EntityKind::Text}, "Height").height; }
    double Area() override {
        const EntityData &e = E();
        switch (e.kind) {
            case EntityKind::Circle:
                return std::numbers::pi * e.radius * e.radius;
            case EntityKind::Ellipse: {
                const double a = std::hypot(e.p2.x, e.p2.y, e.p2.z);
                return std::numbers::pi * a * a * e.ratio;
            }
            case EntityKind::LwPolyline:
            case EntityKind::Polyline2d:
            case EntityKind::Polyline3d: {
                double twice = 0.0, bulges = 0.0;
                const std::size_t n = e.vertices.size();
                for (std::size_t k = 0; k < n; ++k) {
                    const Vertex &v = e.vertices[k], &w = e.vertices[(k + 1) % n];
                    twice += v.pt.x * w.pt.y - w.pt.x * v.pt.y;
                    if (e.kind != EntityKind::Polyline3d && (k + 1 < n || e.closed))
                        bulges += BulgeSegmentArea(v, w);
                }
                return std::abs(twice / 2.0 + bulges);
            }
            default:
                return 0.0;
        }
    }
    std::string Name() override { return Need({EntityKind::Insert}, "Name").blockName; }
    bool Closed() override { return Poly("Closed").closed; }
    void SetClosed(bool closed) override {
        Poly("Closed");
        Edit().closed = closed;
    }
    TAcadPoint InsertionPoint() override {
        const EntityData &e = Need({EntityKind::Text, EntityKind::Insert}, "InsertionPoint");
        return OcsToWcs(e.p1, e.normal);
    }
    void SetInsertionPoint(const TAcadPoint &p) override {
        const EntityData &e = Need({EntityKind::Text, EntityKind::Insert}, "InsertionPoint");
        Edit().p1 = WcsToOcs(p, e.normal);
    }
    int Color() override { return E().color; }
    void SetColor(int color) override {
        if (color < 0 || color > 256) throw CadError("Invalid colour " + std::to_string(color));
        Edit().color = color;
    }
    std::string Layer() override { return E().layer; }
    void SetLayer(const std::string &name) override {
        const LayerRecord *l = impl_.dw().FindLayer(name);
        if (!l) throw CadError("No layer named \"" + name + "\"");
        Edit().layer = l->name;
    }
    std::string Linetype() override { return E().linetype; }
    void SetLinetype(const std::string &name) override {
        const LinetypeRecord *l = impl_.dw().FindLinetype(name);
        if (!l) throw CadError("No linetype named \"" + name + "\"");
        Edit().linetype = l->name;
    }
    double Rotation() override {
        return Need({EntityKind::Text, EntityKind::Insert}, "Rotation").rotation;
    }
    void SetRotation(double radians) override {
        Need({EntityKind::Text, EntityKind::Insert}, "Rotation");
        Edit().rotation = radians;
    }
    double ScaleFactor() override { return Need({EntityKind::Text}, "ScaleFactor").widthFactor; }
    void SetScaleFactor(double factor) override {
        Need({EntityKind::Text}, "ScaleFactor");
        if (!(factor > 0.0) || !std::isfinite(factor)) throw CadError("Invalid scale factor");
        Edit().widthFactor = factor;
    }
    TextAlignment Alignment() override {
        const EntityData &e = Need({EntityKind::Text}, "Alignment");
        for (int k = 0; k < 15; ++k)
            if (kAlignments[k].h == e.hAlign && kAlignments[k].v == e.vAlign)
                return static_cast<TextAlignment>(k);
        return TextAlignment::Left;
    }
    void SetAlignment(TextAlignment alignment) override {
        Need({EntityKind::Text}, "Alignment");
        const int k = static_cast<int>(alignment);
        if (k < 0 || k > 14) throw CadError("Invalid alignment");
        Edit().hAlign = kAlignments[k].h;
        Edit().vAlign = kAlignments[k].v;
    }
    int HorizontalAlignment() override {
        return Need({EntityKind::Text}, "HorizontalAlignment").hAlign;
    }
    void SetHorizontalAlignment(int value) override {
        Need({EntityKind::Text}, "HorizontalAlignment");
        if (value < 0 || value > 5) throw CadError("Invalid horizontal alignment");
        Edit().hAlign = value;
    }
    int VerticalAlignment() override {
        return Need({EntityKind::Text}, "VerticalAlignment").vAlign;
    }
    void SetVerticalAlignment(int value) override {
        Need({EntityKind::Text}, "VerticalAlignment");
        if (value < 0 || value > 3) throw CadError("Invalid vertical alignment");
        Edit().vAlign = value;
    }
    TAcadPoint TextAlignmentPoint() override {
        const EntityData &e = Need({EntityKind::Text}, "TextAlignmentPoint");
        return OcsToWcs(e.p2, e.normal);
    }
    void SetTextAlignmentPoint(const TAcadPoint &p) override {
        const EntityData &e = Need({EntityKind::Text}, "TextAlignmentPoint");
        Edit().p2 = WcsToOcs(p, e.normal);
    }
    std::vector<EntityPtr> Explode() override {
        const EntityData e = Need({EntityKind::Insert}, "Explode");
        const BlockRecord *block = impl_.dw().FindBlock(e.blockName);
        if (!block) throw CadError("Block \"" + e.blockName + "\" is not defined");
        const bool flat = e.normal.x == 0.0 && e.normal.y == 0.0 && e.normal.z == 1.0;
        if (!flat || e.sx <= 0.0 || e.sx != e.sy || e.sx != e.sz)
            throw CadError(
                "Only block references with equal positive scales in the plan can be exploded");
        const Placement placement{block->base, e.p1, e.sx, e.rotation};
        std::vector<EntityData> parts;
        for (EntityId id : block->entities) {
            // As a CAD's explode: the parts keep their own layer, colour and linetype.
            parts.push_back(Transformed(impl_.dw().Get(id), placement));
        }
        const std::string owner = impl_.dw().OwnerOf(id_);
        std::vector<EntityPtr> out;
        for (EntityData &part : parts)
            out.push_back(impl_.Proxy(impl_.dw().Add(std::move(part), owner)));
        return out;
    }
    void Delete() override { impl_.dw().Erase(id_); }
    void Highlight(bool on) override { Edit().highlighted = on; }
    void Update() override { E(); }

private:
    EmbeddedDocument::Impl &impl_;
    EntityId id_;

    EntityData E() { return impl_.dw().Get(id_); }
    EntityData &Edit() { return impl_.dw().Edit(id_); }
    [[noreturn]] TAcadPoint No(const char *member) {
        throw CadError(std::string(ClassName(E().kind)) + " has no property " + member);
    }
    EntityData Need(std::initializer_list<EntityKind> kinds, const char *member) {
        const EntityData &e = E();
        if (std::find(kinds.begin(), kinds.end(), e.kind) == kinds.end()) No(member);
        return e;
    }
    static bool IsPolyline(EntityKind k) {
        return k == EntityKind::LwPolyline || k == EntityKind::Polyline2d ||
               k == EntityKind::Polyline3d;
    }
    EntityData Poly(const char *member) {
        return Need({EntityKind::LwPolyline, EntityKind::Polyline2d, EntityKind::Polyline3d},
                    member);
    }
    static const Vertex &At(const EntityData &e, int index) {
        if (index < 0 || static_cast<std::size_t>(index) >= e.vertices.size())
            throw CadError("Vertex index " + std::to_string(index) + " is out of range");
        return e.vertices[static_cast<std::size_t>(index)];
    }
    static double ParamToAngle(const EntityData &e, double t) {
        if (std::abs(t - kTwoPi) < 1e-12) return kTwoPi;
        double a = std::atan2(e.ratio * std::sin(t), std::cos(t));
        if (a < 0.0) a += kTwoPi;
        return a;
    }
};

EntityPtr EmbeddedDocument::Impl::Proxy(EntityId id) {
    return std::make_shared<EntityProxy>(*this, id);
}

namespace {

using Impl = EmbeddedDocument::Impl;

void CheckPoint(const TAcadPoint &p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
        throw CadError("Invalid point");
}

class ContainerProxy : public IBlock {
public:
    ContainerProxy(Impl &impl, std::string owner) : impl_(impl), owner_(std::move(owner)) {}
    int Count() override { return static_cast<int>(List().size()); }
    EntityPtr Item(int index) override {
        const auto &list = List();
        if (index < 0 || static_cast<std::size_t>(index) >= list.size())
            throw CadError("Index out of range");
        return impl_.Proxy(list[static_cast<std::size_t>(index)]);
    }
    EntityPtr AddLine(const TAcadPoint &p1, const TAcadPoint &p2) override {
        CheckPoint(p1), CheckPoint(p2);
        EntityData e;
        e.kind = EntityKind::Line;
        e.p1 = p1, e.p2 = p2;
        return Add(std::move(e));
    }
    EntityPtr AddCircle(const TAcadPoint &center, double radius) override {
        CheckPoint(center);
        if (!(radius > 0.0) || !std::isfinite(radius)) throw CadError("Invalid radius");
        EntityData e;
        e.kind = EntityKind::Circle;
        e.p1 = center, e.radius = radius;
        return Add(std::move(e));
    }
    EntityPtr AddText(const std::string &text, const TAcadPoint &point, double height) override {
        CheckPoint(point);
        if (!(height > 0.0) || !std::isfinite(height)) throw CadError("Invalid text height");
        for (unsigned char c : text)
            if (c < 0x20 || c == 0x7F)
                throw CadError("A text cannot hold line breaks or control characters");
        EntityData e;
        e.kind = EntityKind::Text;
        e.text = text, e.p1 = point, e.p2 = point, e.height = height;
        return Add(std::move(e));
    }
    EntityPtr AddLightWeightPolyline(const std::vector<double> &xy) override {
        if (xy.size() < 4 || xy.size() % 2 != 0)
            throw CadError("A polyline needs pairs of x and y for two or more vertices");
        EntityData e;
        e.kind = EntityKind::LwPolyline;
        for (std::size_t k = 0; k < xy.size(); k += 2) {
            CheckPoint({xy[k], xy[k + 1], 0.0});
            e.vertices.push_back({{xy[k], xy[k + 1], 0.0}, 0.0});
        }
        return Add(std::move(e));
    }
    EntityPtr InsertBlock(const TAcadPoint &point, const std::string &name, double sx, double sy,
                          double sz, double rotation) override {
        CheckPoint(point);
        const BlockRecord *block = impl_.dw().FindBlock(name);
        if (!block) throw CadError("No block named \"" + name + "\"");
        for (double s : {sx, sy, sz})
            if (s == 0.0 || !std::isfinite(s)) throw CadError("Invalid scale factor");
        if (!owner_.empty() && UpperAscii(block->name) == UpperAscii(owner_))
            throw CadError("A block cannot contain itself");
        EntityData e;
        e.kind = EntityKind::Insert;
        e.p1 = point, e.blockName = block->name, e.sx = sx, e.sy = sy, e.sz = sz,
        e.rotation = rotation;
        return Add(std::move(e));
    }
    std::string Name() override { return Block().name; }
    TAcadPoint Origin() override { return Block().base; }
    void Delete() override { impl_.dw().RemoveBlock(owner_); }

private:
    Impl &impl_;
    std::string owner_;
    const std::vector<EntityId> &List() {
        return owner_.empty() ? impl_.dw().ModelSpace() : Block().entities;
    }
    const BlockRecord &Block() {
        if (owner_.empty()) throw CadError("Model space is not a block");
        const BlockRecord *b = impl_.dw().FindBlock(owner_);
        if (!b) throw CadError("Block \"" + owner_ + "\" was deleted");
        return *b;
    }
    EntityPtr Add(EntityData e) {
        if (!owner_.empty()) Block();
        return impl_.Proxy(impl_.dw().Add(std::move(e), owner_));
    }
};

class BlocksProxy : public IBlocks {
public:
    explicit BlocksProxy(Impl &impl) : impl_(impl) {}
    int Count() override { return static_cast<int>(impl_.dw().Blocks().size()); }
    BlockPtr Item(int index) override {
        const auto &blocks = impl_.dw().Blocks();
        if (index < 0 || static_cast<std::size_t>(index) >= blocks.size())
            throw CadError("Index out of range");
        return std::make_shared<ContainerProxy>(impl_,
                                                blocks[static_cast<std::size_t>(index)].name);
    }
    BlockPtr Add(const TAcadPoint &origin, const std::string &name) override {
        CheckName(name, "Block");
        CheckPoint(origin);
        if (!impl_.dw().FindBlock(name)) impl_.dw().AddBlock(name, origin);
        return std::make_shared<ContainerProxy>(impl_, impl_.dw().FindBlock(name)->name);
    }

private:
    Impl &impl_;
};

class RecordProxy : public ITableRecord {
public:
    explicit RecordProxy(std::string name) : name_(std::move(name)) {}
    std::string Name() override { return name_; }

private:
    std::string name_;
};

class LayersProxy : public ILayers {
public:
    explicit LayersProxy(Impl &impl) : impl_(impl) {}
    int Count() override { return static_cast<int>(impl_.dw().Layers().size()); }
    TableRecordPtr Item(int index) override {
        const auto &layers = impl_.dw().Layers();
        if (index < 0 || static_cast<std::size_t>(index) >= layers.size())
            throw CadError("Index out of range");
        return std::make_shared<RecordProxy>(layers[static_cast<std::size_t>(index)].name);
    }
    TableRecordPtr Add(const std::string &name) override {
        CheckName(name, "Layer");
        return std::make_shared<RecordProxy>(impl_.dw().AddLayer({name, 7, "CONTINUOUS", 0}).name);
    }

private:
    Impl &impl_;
};

class LinetypesProxy : public ILinetypes {
public:
    explicit LinetypesProxy(Impl &impl) : impl_(impl) {}
    int Count() override { return static_cast<int>(impl_.dw().Linetypes().size()); }
    TableRecordPtr Item(int index) override {
        const auto &lts = impl_.dw().Linetypes();
        if (index < 0 || static_cast<std::size_t>(index) >= lts.size())
            throw CadError("Index out of range");
        return std::make_shared<RecordProxy>(lts[static_cast<std::size_t>(index)].name);
    }
    void Load(const std::string &name, const std::string &file) override {
        const std::vector<LinetypeRecord> *records = BuiltInLinetypeFile(file);
        if (!records) throw CadError("Linetype file \"" + file + "\" not found");
        if (impl_.dw().FindLinetype(name))
            throw CadError("Linetype \"" + name + "\" is already loaded");
        for (const LinetypeRecord &r : *records)
            if (UpperAscii(r.name) == UpperAscii(name)) {
                impl_.dw().AddLinetype(r);
                return;
            }
        throw CadError("Linetype \"" + name + "\" is not in \"" + file + "\"");
    }

private:
    Impl &impl_;
};

class SelectionSetProxy : public ISelectionSet {
public:
    SelectionSetProxy(Impl &impl, std::string name) : impl_(impl), name_(std::move(name)) {}
    std::string Name() override { return name_; }
    int Count() override { return static_cast<int>(Ids().size()); }
    EntityPtr Item(int index) override {
        auto &ids = Ids();
        if (index < 0 || static_cast<std::size_t>(index) >= ids.size())
            throw CadError("Index out of range");
        const EntityId id = ids[static_cast<std::size_t>(index)];
        if (!impl_.dw().Exists(id)) throw CadError("The entity was erased");
        return impl_.Proxy(id);
    }
    void Clear() override { Ids().clear(); }
    void Delete() override {
        Ids();
        auto &sets = impl_.sets;
        sets.erase(
            std::remove_if(sets.begin(), sets.end(),
                           [&](const auto &s) { return UpperAscii(s.first) == UpperAscii(name_); }),
            sets.end());
    }
    void SelectOnScreen(const SelectionFilter &filter) override {
        Ids();
        std::string prompt = "Select objects:";
        auto answer = impl_.Input().SelectOnScreen(prompt);
        if (!answer) return;  // cancelled: nothing selected
        AddIds(impl_.Resolve(*answer), filter);
    }
    void Select(SelectMode mode, const TAcadPoint &p1, const TAcadPoint &p2,
                const SelectionFilter &filter) override {
        Ids();
        if (mode == SelectMode::Last) {
            if (auto last = impl_.dw().LastEntity()) AddIds({*last}, filter);
        } else if (mode == SelectMode::Crossing) {
            AddIds(impl_.Resolve({{EntityQuery::Kind::Crossing, "", p1, p2}}), filter);
        } else {
            throw CadError("Selection mode " + std::to_string(static_cast<int>(mode)) +
                           " is not supported");
        }
    }

private:
    Impl &impl_;
    std::string name_;
    std::vector<EntityId> &Ids() {
        auto *ids = impl_.FindSet(name_);
        if (!ids) throw CadError("Selection set \"" + name_ + "\" was deleted");
        return *ids;
    }
    void AddIds(const std::vector<EntityId> &found, const SelectionFilter &filter) {
        auto &ids = Ids();
        for (EntityId id : found)
            if (PassesFilter(impl_.dw().Get(id), filter) &&
                std::find(ids.begin(), ids.end(), id) == ids.end())
                ids.push_back(id);
    }
};

class SelectionSetsProxy : public ISelectionSets {
public:
    explicit SelectionSetsProxy(Impl &impl) : impl_(impl) {}
    int Count() override { return static_cast<int>(impl_.sets.size()); }
    SelectionSetPtr Item(int index) override {
        if (index < 0 || static_cast<std::size_t>(index) >= impl_.sets.size())
            throw CadError("Index out of range");
        return std::make_shared<SelectionSetProxy>(
            impl_, impl_.sets[static_cast<std::size_t>(index)].first);
    }
    SelectionSetPtr Add(const std::string &name) override {
        CheckName(name, "Selection set");
        if (impl_.FindSet(name)) throw CadError("Selection set \"" + name + "\" already exists");
        impl_.sets.push_back({name, {}});
        return std::make_shared<SelectionSetProxy>(impl_, name);
    }

private:
    Impl &impl_;
};

class UtilityProxy : public IUtility {
public:
    explicit UtilityProxy(Impl &impl) : impl_(impl) {}
    void Prompt(const std::string &text) override { impl_.doc.AppendPrompt(text); }
    TAcadPoint GetPoint(const std::optional<TAcadPoint> &, const std::string &prompt) override {
        auto p = impl_.Input().PickPoint(prompt);
        if (!p) throw CadError("User input was cancelled");
        return *p;
    }
    double GetAngle(const std::optional<TAcadPoint> &, const std::string &prompt) override {
        auto a = impl_.Input().PickAngle(prompt);
        if (!a) throw CadError("User input was cancelled");
        return *a;
    }
    std::pair<EntityPtr, TAcadPoint> GetEntity(const std::string &prompt) override {
        auto pick = impl_.Input().PickEntity(prompt);
        if (!pick) throw CadError("Nothing was picked");
        auto id = impl_.dw().FindHandle(pick->handle);
        if (!id || !impl_.dw().OwnerOf(*id).empty()) throw CadError("Nothing was picked");
        return {impl_.Proxy(*id), pick->point};
    }

private:
    Impl &impl_;
};

}  // namespace

// EmbeddedDocument::Impl's constructor needs the proxy classes above.
EmbeddedDocument::Impl::Impl(EmbeddedDocument &d)
    : doc(d),
      modelSpace(std::make_unique<ContainerProxy>(*this, "")),
      blocks(std::make_unique<BlocksProxy>(*this)),
      layers(std::make_unique<LayersProxy>(*this)),
      linetypes(std::make_unique<LinetypesProxy>(*this)),
      selectionSets(std::make_unique<SelectionSetsProxy>(*this)),
      utility(std::make_unique<UtilityProxy>(*this)) {}

// ---------------------------------------------------------------------------------------------

EmbeddedDocument::EmbeddedDocument(Drawing drawing, std::filesystem::path baseDirectory)
    : drawing_(std::move(drawing)),
      baseDirectory_(std::move(baseDirectory)),
      impl_(std::make_unique<Impl>(*this)) {
    variables_ = {{"BLIPMODE", 0},
                  {"FILEDIA", 1},
                  {"SNAPMODE", 0},
                  {"LASTPOINT", TAcadPoint{}},
                  {"DIMSCALE", 1.0}};
}

EmbeddedDocument::~EmbeddedDocument() = default;

void EmbeddedDocument::Open(const std::filesystem::path &path,
                            const std::function<bool()> &keepGoing) {
    Drawing loaded = OpenDxf(path, keepGoing);
    drawing_ = std::move(loaded);
    impl_->sets.clear();
    undoStack_.clear();
    openGroup_.reset();
    undoDepth_ = 0;
}

void EmbeddedDocument::Save(const std::filesystem::path &path,
                            const std::function<bool()> &keepGoing) const {
    SaveDxf(drawing_, path, keepGoing);
}

IEntityContainer &EmbeddedDocument::ModelSpace() {
    return *impl_->modelSpace;
}
IBlocks &EmbeddedDocument::Blocks() {
    return *impl_->blocks;
}
ILayers &EmbeddedDocument::Layers() {
    return *impl_->layers;
}
ILinetypes &EmbeddedDocument::Linetypes() {
    return *impl_->linetypes;
}
ISelectionSets &EmbeddedDocument::SelectionSets() {
    return *impl_->selectionSets;
}
IUtility &EmbeddedDocument::Utility() {
    return *impl_->utility;
}

void EmbeddedDocument::SetVariable(const std::string &name, const SysValue &value) {
    const std::string key = UpperAscii(name);
    auto it = variables_.find(key);
    if (it == variables_.end()) throw CadError("Unknown system variable \"" + name + "\"");
    if (key == "LASTPOINT") {
        if (!std::holds_alternative<TAcadPoint>(value)) throw CadError("LASTPOINT needs a point");
        CheckPoint(std::get<TAcadPoint>(value));
    } else if (key == "DIMSCALE") {
        double v = std::holds_alternative<int>(value) ? std::get<int>(value)
                   : std::holds_alternative<double>(value)
                       ? std::get<double>(value)
                       : throw CadError("DIMSCALE needs a number");
        if (!(v >= 0.0) || !std::isfinite(v)) throw CadError("DIMSCALE must be zero or positive");
        it->second = v;
        return;
    } else {
        if (!std::holds_alternative<int>(value) ||
            (std::get<int>(value) != 0 && std::get<int>(value) != 1))
            throw CadError(key + " takes 0 or 1");
    }
    it->second = value;
}

SysValue EmbeddedDocument::GetVariable(const std::string &name) {
    auto it = variables_.find(UpperAscii(name));
    if (it == variables_.end()) throw CadError("Unknown system variable \"" + name + "\"");
    return it->second;
}

void EmbeddedDocument::StartUndoMark() {
    if (undoDepth_++ == 0) openGroup_ = drawing_;
}

void EmbeddedDocument::EndUndoMark() {
    if (undoDepth_ == 0) return;  // an unmatched end is ignored, as a CAD does
    if (--undoDepth_ == 0) {
        undoStack_.push_back(std::move(*openGroup_));
        openGroup_.reset();
    }
}

bool EmbeddedDocument::UndoLastGroup() {
    while (undoDepth_ > 0) EndUndoMark();
    if (undoStack_.empty()) return false;
    drawing_ = std::move(undoStack_.back());
    undoStack_.pop_back();
    return true;
}

void EmbeddedDocument::Regen(int) {
    ++regens_;
}

EntityPtr EmbeddedDocument::ObjectIDToObject(ObjectId id) {
    if (!drawing_.Exists(EntityId{id.value}))
        throw CadError("No object with id " + std::to_string(id.value));
    return impl_->Proxy(EntityId{id.value});
}

namespace {
class State : public ICadState {
public:
    bool IsQuiescent() override { return true; }
};
}  // namespace

EmbeddedApplication::EmbeddedApplication(std::shared_ptr<EmbeddedDocument> document)
    : document_(std::move(document)) {}
CadStatePtr EmbeddedApplication::GetAcadState() {
    ++acadStateCalls;
    return std::make_shared<State>();
}
CadStatePtr EmbeddedApplication::GetGcadState() {
    ++gcadStateCalls;
    return std::make_shared<State>();
}
CadStatePtr EmbeddedApplication::GetZcadState() {
    ++zcadStateCalls;
    return std::make_shared<State>();
}

}  // namespace pimu::cadlink::embedded
