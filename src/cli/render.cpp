#include "cli/render.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

namespace pimu::cli {
namespace {

using cadlink::embedded::Drawing;
using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using cadlink::embedded::OcsToWcs;
using geometry::TAcadPoint;

constexpr double kPi = std::numbers::pi;
constexpr const char *kFontFamily = "IPAGothic";
constexpr int kMaxBlockDepth = 16;

// What one entity contributes to the picture, already in world x, y.
struct Stroke {
    std::vector<TAcadPoint> points;
    bool closed = false;
    Rgb color;
    bool dashed = false;
};
struct Label {
    std::string text;
    TAcadPoint at;  // insertion or alignment point, as the alignment asks
    double height = 0, rotation = 0, widthFactor = 1;
    int hAlign = 0, vAlign = 0;
    Rgb color;
};
struct Dot {
    TAcadPoint at;
    Rgb color;
};
struct Scene {
    std::vector<Stroke> strokes;
    std::vector<Label> labels;
    std::vector<Dot> dots;
};

// The inherited properties of a block reference for BYBLOCK entities inside it.
struct Inherited {
    int color = 7;
    bool dashed = false;
};

class SceneBuilder {
public:
    SceneBuilder(const Drawing &drawing, Background background)
        : drawing_(drawing), background_(background) {}

    void AddEntity(const EntityData &e, const Inherited &parent, int depth) {
        const auto *layer = drawing_.FindLayer(e.layer);
        // Layers that are off (negative colour) or frozen are not shown, as in the CAD.
        if (layer && (layer->color < 0 || (layer->flags & 1))) return;
        int color = e.color;
        if (color == 256) color = layer ? std::abs(layer->color) : 7;
        if (color == 0) color = parent.color;
        bool dashed = false;
        if (e.linetype == "BYBLOCK" || e.linetype == "ByBlock") {
            dashed = parent.dashed;
        } else {
            const std::string name = pimu::UpperAscii(e.linetype) == "BYLAYER"
                                         ? (layer ? layer->linetype : std::string("CONTINUOUS"))
                                         : e.linetype;
            const auto *lt = drawing_.FindLinetype(name);
            dashed = lt && std::any_of(lt->pattern.begin(), lt->pattern.end(),
                                       [](double d) { return d < 0.0; });
        }
        const Rgb rgb = AciColor(color, background_);
        switch (e.kind) {
            case EntityKind::Line:
                Add({{e.p1, e.p2}, false, rgb, dashed});
                break;
            case EntityKind::Point:
                scene.dots.push_back({e.p1, rgb});
                break;
            case EntityKind::Circle:
                Add({ArcPoints(e, 0.0, 2.0 * kPi), true, rgb, dashed});
                break;
            case EntityKind::Arc: {
                double end = e.endAngle;
                while (end <= e.startAngle) end += 2.0 * kPi;
                Add({ArcPoints(e, e.startAngle, end), false, rgb, dashed});
                break;
            }
            case EntityKind::Ellipse:
                Add({EllipsePoints(e), false, rgb, dashed});
                break;
            case EntityKind::LwPolyline:
            case EntityKind::Polyline2d:
            case EntityKind::Polyline3d:
                Add({PolylinePoints(e), e.closed, rgb, dashed});
                break;
            case EntityKind::Text:
                AddText(e, rgb);
                break;
            case EntityKind::Insert:
                AddInsert(e, {color, dashed}, depth);
                break;
        }
    }

    Scene scene;

private:
    void Add(Stroke s) {
        if (s.points.size() >= 2) scene.strokes.push_back(std::move(s));
    }

    static std::vector<TAcadPoint> ArcPoints(const EntityData &e, double from, double to) {
        const int n = std::max(8, static_cast<int>(std::ceil((to - from) / (2.0 * kPi) * 144)));
        std::vector<TAcadPoint> pts;
        for (int i = 0; i <= n; ++i) {
            const double a = from + (to - from) * i / n;
            pts.push_back(
                OcsToWcs({e.p1.x + e.radius * std::cos(a), e.p1.y + e.radius * std::sin(a), e.p1.z},
                         e.normal));
        }
        return pts;
    }

    static std::vector<TAcadPoint> EllipsePoints(const EntityData &e) {
        const TAcadPoint u = e.p2;
        // The minor axis: the normal crossed with the major axis, scaled by the ratio.
        const TAcadPoint n = e.normal;
        const TAcadPoint v{(n.y * u.z - n.z * u.y) * e.ratio, (n.z * u.x - n.x * u.z) * e.ratio,
                           (n.x * u.y - n.y * u.x) * e.ratio};
        double from = e.startAngle, to = e.endAngle;
        while (to <= from) to += 2.0 * kPi;
        const int n2 = std::max(8, static_cast<int>(std::ceil((to - from) / (2.0 * kPi) * 144)));
        std::vector<TAcadPoint> pts;
        for (int i = 0; i <= n2; ++i) {
            const double t = from + (to - from) * i / n2;
            pts.push_back({e.p1.x + u.x * std::cos(t) + v.x * std::sin(t),
                           e.p1.y + u.y * std::cos(t) + v.y * std::sin(t), 0.0});
        }
        return pts;
    }

    static std::vector<TAcadPoint> PolylinePoints(const EntityData &e) {
        std::vector<TAcadPoint> pts;
        const bool planar = e.kind != EntityKind::Polyline3d;
        auto world = [&](const TAcadPoint &p) {
            return planar ? OcsToWcs({p.x, p.y, e.elevation}, e.normal) : p;
        };
        const size_t count = e.vertices.size();
        for (size_t i = 0; i < count; ++i) {
            const auto &a = e.vertices[i];
            pts.push_back(world(a.pt));
            const bool last = i + 1 == count;
            if (!planar || std::abs(a.bulge) < 1e-12 || (last && !e.closed)) continue;
            const auto &b = e.vertices[last ? 0 : i + 1];
            // A bulge is tan(included angle / 4); positive runs counter-clockwise.
            const double dx = b.pt.x - a.pt.x, dy = b.pt.y - a.pt.y;
            const double chord = std::hypot(dx, dy);
            if (chord < 1e-12) continue;
            const double theta = 4.0 * std::atan(a.bulge);
            const double r = chord / (2.0 * std::sin(theta / 2.0));
            const double mx = (a.pt.x + b.pt.x) / 2.0, my = (a.pt.y + b.pt.y) / 2.0;
            const double h = r * std::cos(theta / 2.0);
            const double cx = mx - dy / chord * h, cy = my + dx / chord * h;
            const double start = std::atan2(a.pt.y - cy, a.pt.x - cx);
            const int steps = std::max(4, static_cast<int>(std::abs(theta) / (2.0 * kPi) * 144));
            for (int k = 1; k < steps; ++k) {
                const double ang = start + theta * k / steps;
                pts.push_back(world(
                    {cx + std::abs(r) * std::cos(ang), cy + std::abs(r) * std::sin(ang), 0.0}));
            }
        }
        return pts;
    }

    void AddText(const EntityData &e, const Rgb &rgb) {
        if (e.text.empty() || e.height <= 0.0) return;
        const bool aligned = e.hAlign != 0 || e.vAlign != 0;
        Label l;
        l.text = e.text;
        l.at = OcsToWcs(aligned ? e.p2 : e.p1, e.normal);
        l.height = e.height;
        l.rotation = e.normal.z < 0 ? -e.rotation : e.rotation;
        l.widthFactor = e.widthFactor > 0 ? e.widthFactor : 1.0;
        l.hAlign = e.hAlign;
        l.vAlign = e.vAlign;
        l.color = rgb;
        scene.labels.push_back(std::move(l));
    }

    void AddInsert(const EntityData &e, const Inherited &inherited, int depth) {
        if (depth >= kMaxBlockDepth) return;
        const auto *block = drawing_.FindBlock(e.blockName);
        if (!block) return;
        cadlink::embedded::Placement pl;
        pl.base = block->base;
        pl.origin = OcsToWcs(e.p1, e.normal);
        pl.scale = e.sx;
        pl.rotation = e.rotation;
        for (const auto id : block->entities) {
            if (!drawing_.Exists(id)) continue;
            EntityData placed = Transformed(drawing_.Get(id), pl);
            AddEntity(placed, inherited, depth + 1);
        }
    }

    const Drawing &drawing_;
    Background background_;
};

struct Bounds {
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    void Add(double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y)) return;
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    bool Empty() const { return minX > maxX; }
};

Bounds SceneBounds(const Scene &scene) {
    Bounds b;
    for (const auto &s : scene.strokes)
        for (const auto &p : s.points) b.Add(p.x, p.y);
    for (const auto &d : scene.dots) b.Add(d.at.x, d.at.y);
    for (const auto &l : scene.labels) {
        // A rough box: a CJK character is about as wide as it is high.
        const double len = l.height * l.widthFactor * static_cast<double>(l.text.size()) / 2.0;
        b.Add(l.at.x - len, l.at.y - l.height);
        b.Add(l.at.x + len, l.at.y + l.height);
    }
    return b;
}

void SetColor(cairo_t *cr, const Rgb &c) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

void Paint(cairo_t *cr, const Scene &scene, const Bounds &b, double scale, double margin,
           double height, Background background) {
    const Rgb paper = background == Background::White ? Rgb{1, 1, 1} : Rgb{0.13, 0.14, 0.16};
    SetColor(cr, paper);
    cairo_paint(cr);
    auto X = [&](double x) { return margin + (x - b.minX) * scale; };
    auto Y = [&](double y) { return height - margin - (y - b.minY) * scale; };

    cairo_set_line_width(cr, 1.0);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    const double dashes[] = {6.0, 3.0};
    for (const auto &s : scene.strokes) {
        SetColor(cr, s.color);
        cairo_set_dash(cr, dashes, s.dashed ? 2 : 0, 0.0);
        cairo_move_to(cr, X(s.points[0].x), Y(s.points[0].y));
        for (size_t i = 1; i < s.points.size(); ++i)
            cairo_line_to(cr, X(s.points[i].x), Y(s.points[i].y));
        if (s.closed) cairo_close_path(cr);
        cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0.0);
    for (const auto &d : scene.dots) {
        SetColor(cr, d.color);
        cairo_arc(cr, X(d.at.x), Y(d.at.y), 1.5, 0, 2 * kPi);
        cairo_fill(cr);
    }

    cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    for (const auto &l : scene.labels) {
        const double h = l.height * scale;
        if (h < 0.5) continue;
        // CAD text height is the height of a capital; the font size is the em square.
        cairo_set_font_size(cr, h / 0.73);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, l.text.c_str(), &ext);
        const double w = ext.x_advance;
        double dx = 0, dy = 0;
        int hAlign = l.hAlign, vAlign = l.vAlign;
        if (hAlign == 4) hAlign = 1, vAlign = 2;  // "middle": centred both ways
        if (hAlign == 1) dx = -w / 2.0;
        if (hAlign == 2) dx = -w;
        if (vAlign == 1) dy = -0.2 * h;  // bottom: below the baseline by the descent
        if (vAlign == 2) dy = h / 2.0;
        if (vAlign == 3) dy = h;
        cairo_save(cr);
        SetColor(cr, l.color);
        cairo_translate(cr, X(l.at.x), Y(l.at.y));
        cairo_rotate(cr, -l.rotation);
        cairo_scale(cr, l.widthFactor, 1.0);
        cairo_move_to(cr, dx, dy);
        cairo_show_text(cr, l.text.c_str());
        cairo_restore(cr);
    }
}

// Makes the SVG or PNG surface, lets `paint` draw on it and writes the file.
void WithSurface(const std::filesystem::path &path, PictureFormat format, double width,
                 double height, const std::function<void(cairo_t *)> &paint) {
    cairo_surface_t *surface =
        format == PictureFormat::Svg
            ? cairo_svg_surface_create(path.c_str(), width, height)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width),
                                         static_cast<int>(height));
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(surface,
                                                                             cairo_surface_destroy);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        throw RenderError("cannot write " + path.string());
    cairo_t *cr = cairo_create(surface);
    paint(cr);
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    if (drawn != CAIRO_STATUS_SUCCESS)
        throw RenderError(std::string("drawing failed: ") + cairo_status_to_string(drawn));
    if (format == PictureFormat::Png) {
        if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS)
            throw RenderError("cannot write " + path.string());
    } else {
        cairo_surface_finish(surface);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
            throw RenderError("cannot write " + path.string());
    }
}

}  // namespace

bool PicturesAvailable() {
    return true;
}

Rgb AciColor(int index, Background background) {
    static constexpr Rgb kBase[] = {{0, 0, 0},       {1, 0, 0},         {1, 1, 0}, {0, 1, 0},
                                    {0, 1, 1},       {0, 0, 1},         {1, 0, 1}, {1, 1, 1},
                                    {0.5, 0.5, 0.5}, {0.75, 0.75, 0.75}};
    if (index == 7 || index <= 0 || index > 255)
        return background == Background::White ? Rgb{0, 0, 0} : Rgb{1, 1, 1};
    if (index < 10) return kBase[index];
    if (index >= 250) {
        const double g = 0.2 + 0.16 * (index - 250);
        return {g, g, g};
    }
    // 10..249: 24 hues of 15 degrees, each in five shades, full and pale.
    const double hue = (index / 10 - 1) * 15.0;
    const int shade = index % 10;
    static constexpr double kValue[] = {1.0, 1.0, 0.8, 0.8, 0.6, 0.6, 0.5, 0.5, 0.3, 0.3};
    const double v = kValue[shade];
    const double s = shade % 2 == 0 ? 1.0 : 0.5;
    const double c = v * s;
    const double hp = hue / 60.0;
    const double x = c * (1.0 - std::abs(std::fmod(hp, 2.0) - 1.0));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(hp)) {
        case 0:
            r = c, g = x;
            break;
        case 1:
            r = x, g = c;
            break;
        case 2:
            g = c, b = x;
            break;
        case 3:
            g = x, b = c;
            break;
        case 4:
            r = x, b = c;
            break;
        default:
            r = c, b = x;
            break;
    }
    const double m = v - c;
    return {r + m, g + m, b + m};
}

void RenderDrawing(const Drawing &drawing, const std::filesystem::path &path, PictureFormat format,
                   const RenderOptions &options) {
    SceneBuilder builder(drawing, options.background);
    for (const auto id : drawing.ModelSpace()) {
        if (drawing.Exists(id)) builder.AddEntity(drawing.Get(id), {}, 0);
    }
    const Scene &scene = builder.scene;
    const Bounds b = SceneBounds(scene);
    if (b.Empty()) throw RenderError("the drawing has nothing to show");

    const double longSide = std::max(64, options.widthPixels);
    const double margin = longSide * 0.03;
    const double spanX = std::max(b.maxX - b.minX, 1e-9), spanY = std::max(b.maxY - b.minY, 1e-9);
    const double scale = (longSide - 2 * margin) / std::max(spanX, spanY);
    const double width = std::ceil(spanX * scale + 2 * margin);
    const double height = std::ceil(spanY * scale + 2 * margin);

    WithSurface(path, format, width, height, [&](cairo_t *cr) {
        Paint(cr, scene, b, scale, margin, height, options.background);
    });
}

void RenderPreview(const geometry::PreviewPicture &picture, const std::filesystem::path &path,
                   PictureFormat format, int zoom) {
    if (picture.segments.empty()) throw RenderError("the preview is empty");
    const double z = std::max(1, zoom);
    auto rgb = [](std::uint32_t c) {
        return Rgb{((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0};
    };
    WithSurface(path, format, picture.width * z, picture.height * z, [&](cairo_t *cr) {
        SetColor(cr, rgb(picture.background));
        cairo_paint(cr);
        cairo_set_line_width(cr, std::max(1.0, z / 2.0));
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        for (const auto &s : picture.segments) {
            SetColor(cr, rgb(s.colour));
            // Pixel centres, as the window's canvas draws them.
            cairo_move_to(cr, (s.x1 + 0.5) * z, (s.y1 + 0.5) * z);
            cairo_line_to(cr, (s.x2 + 0.5) * z, (s.y2 + 0.5) * z);
            cairo_stroke(cr);
        }
    });
}

void ReleaseRenderCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace pimu::cli
