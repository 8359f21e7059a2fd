// What the report sheets share: an A4 landscape page drawn with cairo, its texts in a Japanese
// font, the plan's frame, north arrow and scale bar, and the writing of the pages as PDF (or the
// first page as a PNG picture) in one atomic step.
#pragma once

#include <cairo.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/regulation_report.h"
#include "geometry/types.h"
#include "view/colors.h"

namespace pimu::cli {

using Ring = std::vector<geometry::TAcadPoint>;

// A4 landscape in points.
inline constexpr double kReportPageW = 841.89;
inline constexpr double kReportPageH = 595.28;
inline constexpr double kReportMargin = 28.0;

using view::Rgb;
inline constexpr Rgb kBlack{0, 0, 0};

void SetColor(cairo_t *cr, const Rgb &c, double alpha = 1.0);

// World (drawing units) to page points.
struct Frame {
    double scale = 1.0, ox = 0.0, oy = 0.0;
    double X(double x) const { return ox + x * scale; }
    double Y(double y) const { return oy - y * scale; }
};

void RingPath(cairo_t *cr, const Frame &f, const Ring &ring);
void Text(cairo_t *cr, double x, double y, double size, const std::string &text,
          const Rgb &colour = kBlack, bool bold = false);
double TextWidth(cairo_t *cr, double size, const std::string &text);

// A north arrow in a circle centred at (x, y), north `north` degrees ccw from the drawing's +x.
void DrawNorthArrow(cairo_t *cr, double x, double y, double north);
// A scale bar of 1, 2 or 5 times a power of ten metres, about a fifth of `planWidth` points,
// its left end at (x, y).
void DrawScaleBar(cairo_t *cr, const Frame &f, double x, double y, double planWidth);

// Draws `pages` pages with `draw` (page index from 0) and writes them to `path`: every page as
// PDF, or the first as a PNG picture at 144 dpi. Throws RenderError when it cannot.
void WriteReportPages(const std::filesystem::path &path, ReportFormat format, int pages,
                      const std::function<void(cairo_t *, int)> &draw);

}  // namespace pimu::cli
