#include "view/scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/ascii.h"
#include "geometry/primitives.h"

namespace pimu::view {
namespace {

constexpr double kTurn = 2.0 * std::numbers::pi;
constexpr double kQuarter = std::numbers::pi / 2.0;
// Cells of the pick grid: about one per primitive, at most this many a side; a primitive that
// would fill more than kLargeCells cells is kept in a list every query reads.
constexpr int kMaxGridSide = 1024;
constexpr int kLargeCells = 256;

TAcadPoint ArcNode(const Arc &arc, int i, int n) {
    const double a = arc.start + arc.sweep * i / n;
    return {arc.center.x + arc.radius * std::cos(a), arc.center.y + arc.radius * std::sin(a),
            arc.center.z};
}

// Rough bounds of a text: a CJK character is about as wide as it is high.
Box TextBounds(const Text &t) {
    const double len = t.height * t.widthFactor * static_cast<double>(t.text.size()) / 2.0;
    Box b;
    b.Add(TAcadPoint{t.at.x - len, t.at.y - t.height, 0.0});
    b.Add(TAcadPoint{t.at.x + len, t.at.y + t.height, 0.0});
    return b;
}

Box BoundsOf(const Shape &shape) {
    Box b;
    if (const auto *l = std::get_if<Line>(&shape)) {
        b.Add(l->a);
        b.Add(l->b);
    } else if (const auto *pl = std::get_if<Polyline>(&shape)) {
        bool bulged = false;
        for (const auto &v : pl->vertices) {
            b.Add(v.pt);
            bulged = bulged || std::abs(v.bulge) >= kStraightBulge;
        }
        if (bulged) {
            std::vector<TAcadPoint> pts;
            Flatten(*pl, pts);
            for (const auto &p : pts) b.Add(p);
        }
    } else if (const auto *a = std::get_if<Arc>(&shape)) {
        b = FlattenedBounds(*a);
    } else if (const auto *t = std::get_if<Text>(&shape)) {
        b = TextBounds(*t);
    } else if (const auto *d = std::get_if<Dot>(&shape)) {
        b.Add(d->at);
    }
    return b;
}

}  // namespace

Box Box::Around(TAcadPoint p, double half) {
    Box b;
    b.Add(TAcadPoint{p.x - half, p.y - half, 0.0});
    b.Add(TAcadPoint{p.x + half, p.y + half, 0.0});
    return b;
}

Box Box::Spanning(TAcadPoint c1, TAcadPoint c2) {
    Box b;
    b.Add(c1);
    b.Add(c2);
    return b;
}

void Box::Add(TAcadPoint p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
}

void Box::Add(const Box &b) {
    if (b.Empty()) return;
    minX = std::min(minX, b.minX), maxX = std::max(maxX, b.maxX);
    minY = std::min(minY, b.minY), maxY = std::max(maxY, b.maxY);
}

bool Linetype::Dashed() const {
    return std::any_of(pattern.begin(), pattern.end(), [](double d) { return d < 0.0; });
}

Arc ArcOfBulge(TAcadPoint p1, TAcadPoint p2, double bulge) {
    const geometry::TBulgeArc b = geometry::BulgeToArc(p1, p2, bulge);
    Arc arc;
    arc.center = {b.Center.x, b.Center.y, p1.z};
    arc.radius = b.Radius;
    // The routine gives the arc counter-clockwise; a clockwise bulge starts at its end angle.
    arc.start = bulge < 0.0 ? b.EndAngle : b.StartAngle;
    arc.sweep = 4.0 * std::atan(bulge);
    return arc;
}

int ArcSteps(double sweep) {
    // Sweeps beyond a few turns are not drawn arcs (a corrupt angle): they get a turn's steps.
    const double turns = std::abs(sweep) <= 4.0 * kTurn ? std::abs(sweep) / kTurn : 1.0;
    return std::max(kMinArcSteps, static_cast<int>(std::ceil(turns * kArcStepsPerTurn)));
}

void Flatten(const Arc &arc, std::vector<TAcadPoint> &out) {
    const int n = ArcSteps(arc.sweep);
    for (int i = 0; i <= n; ++i) out.push_back(ArcNode(arc, i, n));
}

void Flatten(const Polyline &pl, std::vector<TAcadPoint> &out) {
    const std::size_t count = pl.vertices.size();
    for (std::size_t i = 0; i < count; ++i) {
        const PolyVertex &a = pl.vertices[i];
        out.push_back(a.pt);
        const bool last = i + 1 == count;
        if (std::abs(a.bulge) < kStraightBulge || (last && !pl.closed)) continue;
        const PolyVertex &b = pl.vertices[last ? 0 : i + 1];
        if (std::hypot(b.pt.x - a.pt.x, b.pt.y - a.pt.y) < kStraightBulge) continue;
        const Arc arc = ArcOfBulge(a.pt, b.pt, a.bulge);
        const int steps = std::max(
            kMinBulgeSteps, static_cast<int>(std::abs(arc.sweep) / kTurn * kArcStepsPerTurn));
        for (int k = 1; k < steps; ++k) out.push_back(ArcNode(arc, k, steps));
    }
}

Box FlattenedBounds(const Arc &arc) {
    // The extreme nodes lie next to the quarter angles the arc passes (cos and sin fall away
    // from them on both sides) or at its ends; the nodes around each are computed exactly as
    // Flatten computes them, so the box is the box of the flattened arc.
    const int n = ArcSteps(arc.sweep);
    Box b;
    b.Add(ArcNode(arc, 0, n));
    b.Add(ArcNode(arc, n, n));
    if (!std::isfinite(arc.start) || !std::isfinite(arc.sweep) || arc.sweep == 0.0) return b;
    const double lo = std::min(arc.start, arc.start + arc.sweep);
    const double hi = std::max(arc.start, arc.start + arc.sweep);
    for (double k = std::floor(lo / kQuarter); k <= std::ceil(hi / kQuarter); k += 1.0) {
        const double t = (k * kQuarter - arc.start) / arc.sweep * n;
        const int i0 = static_cast<int>(std::floor(std::clamp(t, -2.0, n + 2.0)));
        for (int i = std::max(0, i0 - 1); i <= std::min(n, i0 + 2); ++i) b.Add(ArcNode(arc, i, n));
    }
    return b;
}

std::vector<TAcadPoint> TextOutline(const Text &t) {
    double ems = 0.0;
    for (unsigned char c : t.text) {
        if ((c & 0xC0) == 0x80) continue;  // continuation byte
        ems += c >= 0xE0 ? 1.0 : 0.6;
    }
    const double h = t.height, w = h * t.widthFactor * ems;
    int hAlign = t.hAlign, vAlign = t.vAlign;
    if (hAlign == 4) hAlign = 1, vAlign = 2;
    double x0 = 0.0, y0 = -0.2 * h, y1 = h;  // left on the baseline, with the descent
    if (hAlign == 1) x0 = -w / 2.0;
    if (hAlign == 2) x0 = -w;
    if (vAlign == 1) y0 = 0.0, y1 = 1.2 * h;
    if (vAlign == 2) y0 = -h / 2.0, y1 = h / 2.0;
    if (vAlign == 3) y0 = -h, y1 = 0.0;
    const double c = std::cos(t.rotation), s = std::sin(t.rotation);
    auto corner = [&](double x, double y) {
        return TAcadPoint{t.at.x + x * c - y * s, t.at.y + x * s + y * c, t.at.z};
    };
    return {corner(x0, y0), corner(x0 + w, y0), corner(x0 + w, y1), corner(x0, y1)};
}

int Scene::FindLayer(std::string_view name) const {
    const std::string key = UpperAscii(name);
    for (std::size_t i = 0; i < layers_.size(); ++i)
        if (UpperAscii(layers_[i].name) == key) return static_cast<int>(i);
    return -1;
}

void Scene::SetLayerOn(int layer, bool on) {
    layers_.at(static_cast<std::size_t>(layer)).on = on;
    UpdatePaths();
}

void Scene::UpdatePaths() {
    pathOn_.assign(paths_.size(), 1);
    for (std::size_t i = 0; i < paths_.size(); ++i)
        for (int l : paths_[i])
            if (!layers_[static_cast<std::size_t>(l)].on) pathOn_[i] = 0;
}

Box Scene::Extents() const {
    Box b;
    for (const auto &p : primitives_)
        if (Visible(p)) b.Add(p.bounds);
    return b;
}

void Scene::BuildIndex() {
    pickBounds_.clear();
    gridBox_ = Box{};
    for (const auto &p : primitives_) {
        Box b = p.bounds;
        if (const auto *t = std::get_if<Text>(&p.shape))
            for (const auto &c : TextOutline(*t)) b.Add(c);
        pickBounds_.push_back(b);
        gridBox_.Add(b);
    }
    cellStart_.clear(), cellItems_.clear(), large_.clear();
    if (gridBox_.Empty()) {
        nx_ = ny_ = 0;
        return;
    }
    const double w = std::max(gridBox_.maxX - gridBox_.minX, 1e-9);
    const double h = std::max(gridBox_.maxY - gridBox_.minY, 1e-9);
    const double cells = std::max<double>(1.0, static_cast<double>(primitives_.size()));
    const double side = std::sqrt(w * h / cells);
    nx_ = std::clamp(static_cast<int>(std::ceil(w / side)), 1, kMaxGridSide);
    ny_ = std::clamp(static_cast<int>(std::ceil(h / side)), 1, kMaxGridSide);
    cellW_ = w / nx_, cellH_ = h / ny_;

    // Two passes: count per cell, then fill (a compressed row layout).
    auto range = [&](const Box &b, int &x0, int &x1, int &y0, int &y1) {
        x0 = std::clamp(static_cast<int>((b.minX - gridBox_.minX) / cellW_), 0, nx_ - 1);
        x1 = std::clamp(static_cast<int>((b.maxX - gridBox_.minX) / cellW_), 0, nx_ - 1);
        y0 = std::clamp(static_cast<int>((b.minY - gridBox_.minY) / cellH_), 0, ny_ - 1);
        y1 = std::clamp(static_cast<int>((b.maxY - gridBox_.minY) / cellH_), 0, ny_ - 1);
    };
    cellStart_.assign(static_cast<std::size_t>(nx_) * ny_ + 1, 0);
    std::vector<char> isLarge(primitives_.size(), 0);
    for (std::size_t i = 0; i < primitives_.size(); ++i) {
        if (pickBounds_[i].Empty()) continue;
        int x0, x1, y0, y1;
        range(pickBounds_[i], x0, x1, y0, y1);
        if (static_cast<long>(x1 - x0 + 1) * (y1 - y0 + 1) > kLargeCells) {
            isLarge[i] = 1;
            large_.push_back(static_cast<int>(i));
            continue;
        }
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) ++cellStart_[static_cast<std::size_t>(y) * nx_ + x + 1];
    }
    for (std::size_t c = 1; c < cellStart_.size(); ++c) cellStart_[c] += cellStart_[c - 1];
    cellItems_.assign(static_cast<std::size_t>(cellStart_.back()), 0);
    std::vector<int> fill(cellStart_.begin(), cellStart_.end() - 1);
    for (std::size_t i = 0; i < primitives_.size(); ++i) {
        if (pickBounds_[i].Empty() || isLarge[i]) continue;
        int x0, x1, y0, y1;
        range(pickBounds_[i], x0, x1, y0, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                cellItems_[static_cast<std::size_t>(
                    fill[static_cast<std::size_t>(y) * nx_ + x]++)] = static_cast<int>(i);
    }
}

void Scene::Query(const Box &box, std::vector<int> &out) const {
    out.clear();
    if (nx_ == 0 || box.Empty() || !box.Intersects(gridBox_)) return;
    auto cell = [](double v, double origin, double size, int n) {
        return std::clamp(static_cast<int>(std::floor((v - origin) / size)), 0, n - 1);
    };
    const int x0 = cell(box.minX, gridBox_.minX, cellW_, nx_);
    const int x1 = cell(box.maxX, gridBox_.minX, cellW_, nx_);
    const int y0 = cell(box.minY, gridBox_.minY, cellH_, ny_);
    const int y1 = cell(box.maxY, gridBox_.minY, cellH_, ny_);
    auto consider = [&](int i) {
        const auto k = static_cast<std::size_t>(i);
        if (Visible(primitives_[k]) && pickBounds_[k].Intersects(box)) out.push_back(i);
    };
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const std::size_t c = static_cast<std::size_t>(y) * nx_ + x;
            for (int k = cellStart_[c]; k < cellStart_[c + 1]; ++k)
                consider(cellItems_[static_cast<std::size_t>(k)]);
        }
    }
    for (int i : large_) consider(i);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

SceneBuilder::SceneBuilder() {
    stack_.push_back({});
    scene_.paths_.push_back({});
    pathIndex_[{}] = 0;
}

void SceneBuilder::AddLayer(std::string_view name, int color, std::string_view linetype,
                            bool frozen) {
    const std::string key = UpperAscii(name);
    Layer layer{std::string(name), std::abs(color), std::string(linetype), color >= 0 && !frozen};
    if (const auto it = layerByName_.find(key); it != layerByName_.end()) {
        scene_.layers_[static_cast<std::size_t>(it->second)] = std::move(layer);
        return;
    }
    layerByName_[key] = static_cast<int>(scene_.layers_.size());
    scene_.layers_.push_back(std::move(layer));
}

void SceneBuilder::AddLinetype(std::string_view name, std::vector<double> pattern) {
    const std::string key = UpperAscii(name);
    if (const auto it = linetypeByName_.find(key); it != linetypeByName_.end()) {
        scene_.linetypes_[static_cast<std::size_t>(it->second)].pattern = std::move(pattern);
        return;
    }
    linetypeByName_[key] = static_cast<int>(scene_.linetypes_.size());
    scene_.linetypes_.push_back({std::string(name), std::move(pattern)});
}

int SceneBuilder::LayerIndex(std::string_view name) {
    const std::string key = UpperAscii(name);
    if (const auto it = layerByName_.find(key); it != layerByName_.end()) return it->second;
    // A layer the drawing does not list shows as layer "0" would by default.
    AddLayer(name, 7, "CONTINUOUS", false);
    return layerByName_[key];
}

int SceneBuilder::LinetypeIndex(std::string_view name) const {
    const auto it = linetypeByName_.find(UpperAscii(name));
    return it == linetypeByName_.end() ? -1 : it->second;
}

SceneBuilder::Resolved SceneBuilder::Resolve(const Props &props) {
    const Inherited &in = stack_.back();
    int layer = LayerIndex(props.layer);
    if (in.layer >= 0 && props.layer == "0") layer = in.layer;
    const Layer &l = scene_.layers_[static_cast<std::size_t>(layer)];
    int color = props.color;
    if (color == 256) color = l.color;
    if (color == 0) color = in.color;
    const std::string type = UpperAscii(props.linetype);
    int linetype;
    if (type == "BYBLOCK")
        linetype = in.linetype;
    else
        linetype = LinetypeIndex(type == "BYLAYER" ? std::string_view(l.linetype) : props.linetype);
    return {layer, color, linetype};
}

void SceneBuilder::BeginEntity(std::int64_t key) {
    stack_.resize(1);
    Entity e;
    e.key = key;
    e.first = static_cast<int>(scene_.primitives_.size());
    scene_.entities_.push_back(e);
}

void SceneBuilder::Push(const Props &props, Shape shape, const Box &bounds) {
    if (scene_.entities_.empty()) BeginEntity(0);
    const Resolved r = Resolve(props);
    Primitive p;
    p.shape = std::move(shape);
    p.entity = static_cast<int>(scene_.entities_.size() - 1);
    p.layer = r.layer;
    p.path = stack_.back().path;
    p.color = r.color;
    p.linetype = r.linetype;
    p.bounds = bounds;
    scene_.primitives_.push_back(std::move(p));
    ++scene_.entities_.back().count;
}

void SceneBuilder::AddLine(const Props &props, TAcadPoint a, TAcadPoint b) {
    Shape s = Line{a, b};
    const Box box = BoundsOf(s);
    Push(props, std::move(s), box);
}

void SceneBuilder::AddPolyline(const Props &props, Polyline polyline) {
    if (polyline.vertices.size() < 2) return;
    Shape s = std::move(polyline);
    const Box box = BoundsOf(s);
    Push(props, std::move(s), box);
}

void SceneBuilder::AddArc(const Props &props, const Arc &arc) {
    Shape s = arc;
    const Box box = BoundsOf(s);
    Push(props, std::move(s), box);
}

std::string DisplayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 2 >= text.size() || text[i + 1] != '%') {
            out += text[i];
            continue;
        }
        switch (text[i + 2]) {
            case 'd':
            case 'D':
                out += "\u00B0";
                break;
            case 'p':
            case 'P':
                out += "\u00B1";
                break;
            case 'c':
            case 'C':
                out += "\u2300";
                break;
            case '%':
                out += '%';
                break;
            case 'u':
            case 'U':
            case 'o':
            case 'O':
                break;
            default:
                out.append(text.substr(i, 3));
                break;
        }
        i += 2;
    }
    return out;
}

void SceneBuilder::AddText(const Props &props, Text text) {
    if (text.text.empty() || !(text.height > 0.0)) return;
    if (!(text.widthFactor > 0.0)) text.widthFactor = 1.0;
    text.text = DisplayText(text.text);
    Shape s = std::move(text);
    const Box box = BoundsOf(s);
    Push(props, std::move(s), box);
}

void SceneBuilder::AddDot(const Props &props, TAcadPoint at) {
    Shape s = Dot{at};
    const Box box = BoundsOf(s);
    Push(props, std::move(s), box);
}

bool SceneBuilder::BeginBlock(const Props &reference) {
    if (static_cast<int>(stack_.size()) > kMaxBlockDepth) return false;
    const Resolved r = Resolve(reference);
    std::vector<int> path = scene_.paths_[static_cast<std::size_t>(stack_.back().path)];
    path.push_back(r.layer);
    auto [it, added] = pathIndex_.try_emplace(path, static_cast<int>(scene_.paths_.size()));
    if (added) scene_.paths_.push_back(std::move(path));
    stack_.push_back({r.color, r.linetype, r.layer, it->second});
    return true;
}

void SceneBuilder::EndBlock() {
    if (stack_.size() > 1) stack_.pop_back();
}

Scene SceneBuilder::Finish() {
    scene_.UpdatePaths();
    scene_.BuildIndex();
    Scene done = std::move(scene_);
    scene_ = Scene{};
    stack_.assign(1, {});
    layerByName_.clear(), linetypeByName_.clear(), pathIndex_.clear();
    scene_.paths_.push_back({});
    pathIndex_[{}] = 0;
    return done;
}

}  // namespace pimu::view
