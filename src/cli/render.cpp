#include "cli/render.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <variant>
#include <vector>

#include "base/atomic_file.h"
#include "cadlink/embedded/scene.h"

namespace pimu::cli {
namespace {

using cadlink::embedded::Drawing;

constexpr double kPi = std::numbers::pi;
constexpr const char *kFontFamily = "IPAGothic";

void SetColor(cairo_t *cr, const view::Rgb &c) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

// Strokes first, then points, then texts, each in the scene's order.
void Paint(cairo_t *cr, const view::Scene &scene, const view::Box &b, double scale, double margin,
           double height, Background background) {
    SetColor(cr, view::PaperColor(background));
    cairo_paint(cr);
    auto X = [&](double x) { return margin + (x - b.minX) * scale; };
    auto Y = [&](double y) { return height - margin - (y - b.minY) * scale; };

    cairo_set_line_width(cr, 1.0);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    // Dashed linetypes are drawn with one dash the size of the picture, not of the drawing.
    const double dashes[] = {6.0, 3.0};
    std::vector<geometry::TAcadPoint> points;
    for (const auto &p : scene.Primitives()) {
        if (!scene.Visible(p)) continue;
        points.clear();
        bool closed = false;
        if (const auto *l = std::get_if<view::Line>(&p.shape)) {
            points = {l->a, l->b};
        } else if (const auto *pl = std::get_if<view::Polyline>(&p.shape)) {
            view::Flatten(*pl, points);
            closed = pl->closed;
        } else if (const auto *a = std::get_if<view::Arc>(&p.shape)) {
            view::Flatten(*a, points);
            closed = a->circle;
        } else {
            continue;
        }
        SetColor(cr, AciColor(p.color, background));
        cairo_set_dash(cr, dashes, scene.Dashed(p) ? 2 : 0, 0.0);
        cairo_move_to(cr, X(points[0].x), Y(points[0].y));
        for (size_t i = 1; i < points.size(); ++i)
            cairo_line_to(cr, X(points[i].x), Y(points[i].y));
        if (closed) cairo_close_path(cr);
        cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0.0);
    for (const auto &p : scene.Primitives()) {
        const auto *d = std::get_if<view::Dot>(&p.shape);
        if (!d || !scene.Visible(p)) continue;
        SetColor(cr, AciColor(p.color, background));
        cairo_arc(cr, X(d->at.x), Y(d->at.y), 1.5, 0, 2 * kPi);
        cairo_fill(cr);
    }

    cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    for (const auto &p : scene.Primitives()) {
        const auto *l = std::get_if<view::Text>(&p.shape);
        if (!l || !scene.Visible(p)) continue;
        const double h = l->height * scale;
        if (h < 0.5) continue;
        // CAD text height is the height of a capital; the font size is the em square.
        cairo_set_font_size(cr, h / 0.73);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, l->text.c_str(), &ext);
        const double w = ext.x_advance;
        double dx = 0, dy = 0;
        int hAlign = l->hAlign, vAlign = l->vAlign;
        if (hAlign == 4) hAlign = 1, vAlign = 2;  // "middle": centred both ways
        if (hAlign == 1) dx = -w / 2.0;
        if (hAlign == 2) dx = -w;
        if (vAlign == 1) dy = -0.2 * h;  // bottom: below the baseline by the descent
        if (vAlign == 2) dy = h / 2.0;
        if (vAlign == 3) dy = h;
        cairo_save(cr);
        SetColor(cr, AciColor(p.color, background));
        cairo_translate(cr, X(l->at.x), Y(l->at.y));
        cairo_rotate(cr, -l->rotation);
        cairo_scale(cr, l->widthFactor, 1.0);
        cairo_move_to(cr, dx, dy);
        cairo_show_text(cr, l->text.c_str());
        cairo_restore(cr);
    }
}

extern "C" cairo_status_t AppendToString(void *closure, const unsigned char *data,
                                         unsigned int length) {
    static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// Makes the SVG or PNG surface, lets `paint` draw on it and writes the file (atomically, as
// every file of the program).
void WithSurface(const std::filesystem::path &path, PictureFormat format, double width,
                 double height, const std::function<void(cairo_t *)> &paint) {
    std::string bytes;
    cairo_surface_t *surface =
        format == PictureFormat::Svg
            ? cairo_svg_surface_create_for_stream(AppendToString, &bytes, width, height)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width),
                                         static_cast<int>(height));
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(surface,
                                                                             cairo_surface_destroy);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        throw RenderError("cannot draw the picture for " + path.string());
    cairo_t *cr = cairo_create(surface);
    try {
        paint(cr);
    } catch (...) {  // a stop: the picture is given up
        cairo_destroy(cr);
        throw;
    }
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    if (drawn != CAIRO_STATUS_SUCCESS)
        throw RenderError(std::string("drawing failed: ") + cairo_status_to_string(drawn));
    if (format == PictureFormat::Png) {
        if (cairo_surface_write_to_png_stream(surface, AppendToString, &bytes) !=
            CAIRO_STATUS_SUCCESS)
            throw RenderError("cannot encode the picture for " + path.string());
    } else {
        cairo_surface_finish(surface);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
            throw RenderError("cannot encode the picture for " + path.string());
    }
    try {
        WriteFileAtomically(path, bytes);
    } catch (const FileWriteError &e) {
        throw RenderError(std::string("cannot write ") + e.what());
    }
}

}  // namespace

bool PicturesAvailable() {
    return true;
}

void RenderDrawing(const Drawing &drawing, const std::filesystem::path &path, PictureFormat format,
                   const RenderOptions &options) {
    const view::Scene scene = cadlink::embedded::SceneOf(drawing);
    const view::Box b = scene.Extents();
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
                   PictureFormat format, int zoom, const std::function<bool()> &keepRunning) {
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
        constexpr std::size_t kAskEvery = 4096;
        for (std::size_t i = 0; i < picture.segments.size(); ++i) {
            if (keepRunning && i % kAskEvery == 0 && !keepRunning()) throw RenderStopped();
            const geometry::PictureSegment &s = picture.segments[i];
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
