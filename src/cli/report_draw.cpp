#include "cli/report_draw.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "base/atomic_file.h"
#include "cadlink/dxftext.h"

namespace pimu::cli {

namespace {

constexpr const char *kFontFamily = "IPAGothic";

// 1, 2 or 5 times a power of ten metres, about a fifth of the plan's width.
double ScaleBarMetres(double planWidthMetres) {
    const double target = std::max(planWidthMetres / 5.0, 1e-3);
    const double p = std::pow(10.0, std::floor(std::log10(target)));
    for (double m : {5.0, 2.0, 1.0})
        if (m * p <= target) return m * p;
    return p;
}

extern "C" cairo_status_t AppendBytes(void *closure, const unsigned char *data,
                                      unsigned int length) {
    static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void SetColor(cairo_t *cr, const Rgb &c, double alpha) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void RingPath(cairo_t *cr, const Frame &f, const Ring &ring) {
    if (ring.size() < 2) return;
    cairo_move_to(cr, f.X(ring[0].x), f.Y(ring[0].y));
    for (std::size_t i = 1; i < ring.size(); ++i) cairo_line_to(cr, f.X(ring[i].x), f.Y(ring[i].y));
    cairo_close_path(cr);
}

void Text(cairo_t *cr, double x, double y, double size, const std::string &text, const Rgb &colour,
          bool bold) {
    cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    SetColor(cr, colour);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text.c_str());
}

double TextWidth(cairo_t *cr, double size, const std::string &text) {
    cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text.c_str(), &ext);
    return ext.x_advance;
}

void DrawNorthArrow(cairo_t *cr, double nx, double ny, double north) {
    const double len = 16.0;
    const double t = north * std::numbers::pi / 180.0;
    const double dx = std::cos(t), dy = -std::sin(t);  // page y grows downwards
    SetColor(cr, kBlack);
    cairo_set_line_width(cr, 0.8);
    cairo_new_path(cr);
    cairo_arc(cr, nx, ny, len + 3.0, 0, 2 * std::numbers::pi);
    cairo_stroke(cr);
    cairo_move_to(cr, nx + dx * len, ny + dy * len);
    cairo_line_to(cr, nx - dx * len * 0.6 - dy * 6.0, ny - dy * len * 0.6 + dx * 6.0);
    cairo_line_to(cr, nx - dx * len * 0.3, ny - dy * len * 0.3);
    cairo_line_to(cr, nx - dx * len * 0.6 + dy * 6.0, ny - dy * len * 0.6 - dx * 6.0);
    cairo_close_path(cr);
    cairo_fill(cr);
    const double labelX = nx + dx * (len + 10.0), labelY = ny + dy * (len + 10.0);
    Text(cr, labelX - 3.5, labelY + 3.5, 10.0, "N", kBlack, true);
}

void DrawScaleBar(cairo_t *cr, const Frame &f, double bx, double by, double planWidth) {
    const double metres = ScaleBarMetres(planWidth / f.scale / 1000.0);
    const double barW = metres * 1000.0 * f.scale;
    cairo_set_line_width(cr, 1.0);
    SetColor(cr, kBlack);
    cairo_new_path(cr);
    cairo_rectangle(cr, bx, by - 3.0, barW / 2.0, 3.0);
    cairo_fill(cr);
    cairo_rectangle(cr, bx, by - 3.0, barW, 3.0);
    cairo_stroke(cr);
    Text(cr, bx, by - 6.0, 7.0, "0");
    Text(cr, bx + barW - 4.0, by - 6.0, 7.0, cadlink::DxfNumber(metres) + " m");
}

void WriteReportPages(const std::filesystem::path &path, ReportFormat format, int pages,
                      const std::function<void(cairo_t *, int)> &draw) {
    std::string bytes;
    constexpr double kPngZoom = 2.0;  // 144 dpi
    cairo_surface_t *surface =
        format == ReportFormat::Pdf
            ? cairo_pdf_surface_create_for_stream(AppendBytes, &bytes, kReportPageW, kReportPageH)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24,
                                         static_cast<int>(std::ceil(kReportPageW * kPngZoom)),
                                         static_cast<int>(std::ceil(kReportPageH * kPngZoom)));
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> guard(surface,
                                                                             cairo_surface_destroy);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        throw RenderError("cannot draw the report for " + path.string());
    cairo_t *cr = cairo_create(surface);
    if (format == ReportFormat::Png) cairo_scale(cr, kPngZoom, kPngZoom);
    const int count = format == ReportFormat::Png ? std::min(pages, 1) : pages;
    for (int i = 0; i < count; ++i) {
        draw(cr, i);
        if (format == ReportFormat::Pdf) cairo_show_page(cr);
    }
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    if (drawn != CAIRO_STATUS_SUCCESS)
        throw RenderError(std::string("drawing the report failed: ") +
                          cairo_status_to_string(drawn));
    if (format == ReportFormat::Png) {
        if (cairo_surface_write_to_png_stream(surface, AppendBytes, &bytes) != CAIRO_STATUS_SUCCESS)
            throw RenderError("cannot encode the report for " + path.string());
    } else {
        cairo_surface_finish(surface);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
            throw RenderError("cannot encode the report for " + path.string());
    }
    try {
        WriteFileAtomically(path, bytes);
    } catch (const FileWriteError &e) {
        throw RenderError(std::string("cannot write ") + e.what());
    }
}

}  // namespace pimu::cli
