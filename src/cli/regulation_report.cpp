#include "cli/regulation_report.h"

#include "cli/report_draw.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "app/regulation_output.h"
#include "base/atomic_file.h"
#include "cadlink/dxftext.h"
#include "solar/timetext.h"

namespace pimu::cli {
namespace {

// A4 landscape in points.
constexpr double kPageW = kReportPageW;
constexpr double kPageH = kReportPageH;
constexpr double kMargin = kReportMargin;
// The plan on the left, the legend and the table on the right.
constexpr double kPlanX = kMargin, kPlanY = 74.0, kPlanW = 470.0, kPlanH = kPageH - 74.0 - kMargin;
constexpr double kSideX = kPlanX + kPlanW + 18.0, kSideW = kPageW - kMargin - kSideX;

constexpr Rgb kBuilding{0.35, 0.35, 0.35};
constexpr Rgb kSite{0, 0, 0};
constexpr Rgb kDeemed{0.45, 0.45, 0.45};
constexpr Rgb kLine5{0.0, 0.55, 0.75};
constexpr Rgb kLine10{0.1, 0.2, 0.75};
constexpr Rgb kRegion5{0.55, 0.8, 0.45};
constexpr Rgb kRegion10{0.85, 0.55, 0.85};
constexpr Rgb kCrossing{0.85, 0.1, 0.1};
constexpr Rgb kPass{0.0, 0.5, 0.2};

Ring OutlineRing(const std::vector<geometry::TLineEnt> &outline) {
    Ring ring;
    for (const auto &e : outline) ring.push_back(e.st);
    return ring;
}

void DrawPlan(cairo_t *cr, const regulation::RegulationResult &r,
              const geometry::BuildingModel &model, double north) {
    app::PlanBounds b = app::RegulationBounds(r);
    for (const auto &e : model.AryTatemono) {
        b.Add(e.st);
        b.Add(e.ed);
    }
    if (b.empty) return;
    const double w = std::max(b.maxX - b.minX, 1.0), h = std::max(b.maxY - b.minY, 1.0);
    const double pad = 12.0;
    Frame f;
    f.scale = std::min((kPlanW - 2 * pad) / w, (kPlanH - 2 * pad) / h);
    f.ox = kPlanX + (kPlanW - w * f.scale) / 2.0 - b.minX * f.scale;
    f.oy = kPlanY + kPlanH - (kPlanH - h * f.scale) / 2.0 + b.minY * f.scale;

    cairo_save(cr);
    cairo_rectangle(cr, kPlanX, kPlanY, kPlanW, kPlanH);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_set_line_width(cr, 0.6);
    cairo_stroke_preserve(cr);
    cairo_clip(cr);

    // The regions, holes cut out. The shorter limit's region holds the longer one's, so it goes
    // below; with equal limits the 5 m line's is drawn over.
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    const Rgb regionColours[] = {kRegion5, kRegion10};
    const bool fiveAbove = r.Limits[0].LimitHours >= r.Limits[1].LimitHours;
    for (int k : {fiveAbove ? 1 : 0, fiveAbove ? 0 : 1}) {
        const auto &l = r.Limits[static_cast<std::size_t>(k)];
        for (const Ring &ring : l.Regions) RingPath(cr, f, ring);
        for (const Ring &ring : l.Holes) RingPath(cr, f, ring);
        SetColor(cr, regionColours[k], 0.45);
        cairo_fill_preserve(cr);
        SetColor(cr, regionColours[k]);
        cairo_set_line_width(cr, 0.7);
        cairo_stroke(cr);
    }
    // The crossings: outlined and hatched every 3 points.
    for (const auto &l : r.Limits) {
        if (l.Crossings.empty()) continue;
        for (const Ring &ring : l.Crossings) RingPath(cr, f, ring);
        SetColor(cr, kCrossing, 0.2);
        cairo_fill_preserve(cr);
        SetColor(cr, kCrossing);
        cairo_set_line_width(cr, 0.9);
        cairo_stroke(cr);
        cairo_set_line_width(cr, 0.5);
        for (const auto &[a, c] : app::HatchSegments(l.Crossings, 3.0 / f.scale)) {
            cairo_move_to(cr, f.X(a.x), f.Y(a.y));
            cairo_line_to(cr, f.X(c.x), f.Y(c.y));
        }
        cairo_stroke(cr);
    }
    // The buildings' edges as seen from above.
    SetColor(cr, kBuilding);
    cairo_set_line_width(cr, 0.5);
    for (const auto &e : model.AryTatemono) {
        cairo_move_to(cr, f.X(e.st.x), f.Y(e.st.y));
        cairo_line_to(cr, f.X(e.ed.x), f.Y(e.ed.y));
    }
    cairo_stroke(cr);
    // The site, the deemed outline where it differs, the two lines.
    SetColor(cr, kSite);
    cairo_set_line_width(cr, 1.2);
    RingPath(cr, f, OutlineRing(r.SiteOutline));
    cairo_stroke(cr);
    const double dashes[] = {4.0, 2.0};
    const double dashDot[] = {6.0, 2.0, 1.0, 2.0};
    if (r.DeemedOutline.size() != r.SiteOutline.size() ||
        !std::equal(
            r.DeemedOutline.begin(), r.DeemedOutline.end(), r.SiteOutline.begin(),
            [](const auto &a, const auto &c) { return a.st.x == c.st.x && a.st.y == c.st.y; })) {
        SetColor(cr, kDeemed);
        cairo_set_line_width(cr, 0.8);
        cairo_set_dash(cr, dashes, 2, 0.0);
        RingPath(cr, f, OutlineRing(r.DeemedOutline));
        cairo_stroke(cr);
    }
    const Rgb lineColours[] = {kLine5, kLine10};
    for (int k = 0; k < 2; ++k) {
        const auto &l = r.Limits[static_cast<std::size_t>(k)];
        SetColor(cr, lineColours[k]);
        cairo_set_line_width(cr, 1.0);
        if (k == 0)
            cairo_set_dash(cr, dashes, 2, 0.0);
        else
            cairo_set_dash(cr, dashDot, 4, 0.0);
        RingPath(cr, f, app::FlattenLine(l.Line));
        cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0.0);
    // Where each line is shaded longest.
    for (int k = 0; k < 2; ++k) {
        const auto &l = r.Limits[static_cast<std::size_t>(k)];
        if (!(l.MaxHoursOnLine > 0.0)) continue;
        const double x = f.X(l.MaxHoursAt.x), y = f.Y(l.MaxHoursAt.y);
        SetColor(cr, l.Complies ? lineColours[k] : kCrossing);
        cairo_new_path(cr);  // a text leaves its end as the current point
        cairo_arc(cr, x, y, 2.2, 0, 2 * std::numbers::pi);
        cairo_fill(cr);
        Text(cr, x + 3.5, y - 3.0, 7.0, solar::FormatClock(l.MaxHoursOnLine),
             l.Complies ? lineColours[k] : kCrossing);
    }
    cairo_restore(cr);

    DrawNorthArrow(cr, kPlanX + kPlanW - 34.0, kPlanY + 40.0, north);
    DrawScaleBar(cr, f, kPlanX + 12.0, kPlanY + kPlanH - 14.0, kPlanW);
}

void LegendSwatch(cairo_t *cr, double x, double y, const Rgb &c, int kind) {
    switch (kind) {
        case 0:  // a line
            SetColor(cr, c);
            cairo_set_line_width(cr, 1.2);
            cairo_move_to(cr, x, y - 3.0);
            cairo_line_to(cr, x + 22.0, y - 3.0);
            cairo_stroke(cr);
            break;
        case 1:  // a filled area
            cairo_rectangle(cr, x, y - 7.0, 22.0, 8.0);
            SetColor(cr, c, 0.45);
            cairo_fill_preserve(cr);
            SetColor(cr, c);
            cairo_set_line_width(cr, 0.7);
            cairo_stroke(cr);
            break;
        default:  // hatched
            cairo_rectangle(cr, x, y - 7.0, 22.0, 8.0);
            SetColor(cr, kCrossing, 0.2);
            cairo_fill_preserve(cr);
            SetColor(cr, kCrossing);
            cairo_set_line_width(cr, 0.8);
            cairo_stroke(cr);
            cairo_set_line_width(cr, 0.5);
            for (double s = 3.0; s < 30.0; s += 3.0) {
                cairo_move_to(cr, x + std::max(0.0, s - 8.0), y + 1.0 - std::min(s, 8.0) + 0.0);
                cairo_line_to(cr, x + std::min(s, 22.0), y + 1.0 - std::max(0.0, s - 22.0));
            }
            cairo_stroke(cr);
            break;
    }
}

double DrawLegend(cairo_t *cr, const regulation::RegulationResult &r, double y) {
    Text(cr, kSideX, y, 9.0, "凡例", kBlack, true);
    y += 14.0;
    const std::string h5 = cadlink::DxfNumber(r.Limits[0].LimitHours);
    const std::string h10 = cadlink::DxfNumber(r.Limits[1].LimitHours);
    struct Item {
        Rgb colour;
        int kind;
        std::string text;
    };
    const Item items[] = {
        {kBuilding, 0, "建物（平面）"},
        {kSite, 0, "敷地境界線（みなし境界線は破線）"},
        {kLine5, 0, "5mライン（破線）"},
        {kLine10, 0, "10mライン（一点鎖線）"},
        {kRegion5, 1, h5 + " 時間以上の日影（5mラインの規制）"},
        {kRegion10, 1, h10 + " 時間以上の日影（10mラインの規制）"},
        {kCrossing, 2, "ラインを超える部分"},
    };
    for (const Item &item : items) {
        LegendSwatch(cr, kSideX, y, item.colour, item.kind);
        Text(cr, kSideX + 28.0, y, 7.5, item.text);
        y += 12.0;
    }
    return y;
}

void DrawTable(cairo_t *cr, const std::vector<std::vector<std::string>> &rows, double y) {
    const double rowH = 15.0, size = 7.5;
    const double c0 = 92.0, c1 = (kSideW - c0) / 2.0;
    const double xs[] = {kSideX, kSideX + c0, kSideX + c0 + c1, kSideX + kSideW};
    cairo_set_line_width(cr, 0.5);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto &row = rows[i];
        const double top = y + rowH * static_cast<double>(i);
        const bool span = row.size() < 3 || row[2].empty();
        SetColor(cr, kBlack);
        cairo_rectangle(cr, xs[0], top, xs[3] - xs[0], rowH);
        cairo_move_to(cr, xs[1], top);
        cairo_line_to(cr, xs[1], top + rowH);
        if (!span) {
            cairo_move_to(cr, xs[2], top);
            cairo_line_to(cr, xs[2], top + rowH);
        }
        cairo_stroke(cr);
        for (std::size_t c = 0; c < row.size() && c < 3; ++c) {
            if (row[c].empty()) continue;
            const double room = (span && c == 1 ? xs[3] : xs[c + 1]) - xs[c] - 6.0;
            double s = size;
            while (s > 4.0 && TextWidth(cr, s, row[c]) > room) s -= 0.25;
            const bool fail = row[c] == app::kFails;
            const bool pass = row[c] == app::kComplies;
            Text(cr, xs[c] + 3.0, top + rowH - 4.5, s, row[c],
                 fail   ? kCrossing
                 : pass ? kPass
                        : kBlack,
                 fail || pass);
        }
    }
}

void DrawPage(cairo_t *cr, const regulation::RegulationResult &r,
              const geometry::BuildingModel &model, const ReportInfo &info) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    Text(cr, kMargin, 36.0, 16.0, "日影規制チェック", kBlack, true);
    const bool ok = r.Complies();
    const std::string verdict = std::string("判定：") + (ok ? app::kComplies : app::kFails);
    Text(cr, kPageW - kMargin - TextWidth(cr, 16.0, verdict) - 4.0, 36.0, 16.0, verdict,
         ok ? kPass : kCrossing, true);
    const auto rows = app::RegulationRows(r);
    std::string sub = rows.empty() ? std::string() : rows[0][1];
    if (!info.drawingName.empty()) sub = info.drawingName + "    " + sub;
    double s = 9.0;
    while (s > 5.0 && TextWidth(cr, s, sub) > kPageW - 2 * kMargin) s -= 0.25;
    Text(cr, kMargin, 56.0, s, sub);
    DrawPlan(cr, r, model, info.northDegrees);
    const double legendEnd = DrawLegend(cr, r, kPlanY + 10.0);
    DrawTable(cr, rows, legendEnd + 8.0);
    Text(cr, kSideX, kPageH - kMargin, 6.5,
         "日影時間は冬至日の真太陽時で、測定面上の各点が日影になる時間の合計です．");
}

}  // namespace

bool ReportsAvailable() {
    return true;
}

void WriteRegulationReport(const regulation::RegulationResult &result,
                           const geometry::BuildingModel &model, const ReportInfo &info,
                           const std::filesystem::path &path, ReportFormat format) {
    WriteReportPages(path, format, 1, [&](cairo_t *cr, int) { DrawPage(cr, result, model, info); });
}

}  // namespace pimu::cli
