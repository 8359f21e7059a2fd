#include "cli/sky_compare_report.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "app/regulation_output.h"
#include "app/sky_compare_output.h"
#include "cli/report_draw.h"

namespace pimu::cli {
namespace {

constexpr double kM = kReportMargin;
constexpr double kPlanX = kM, kPlanY = 74.0, kPlanW = 470.0, kPlanH = kReportPageH - 74.0 - kM;
constexpr double kSideX = kPlanX + kPlanW + 18.0, kSideW = kReportPageW - kM - kSideX;
constexpr int kRowsPerPage = 30;

constexpr Rgb kBuilding{0.35, 0.35, 0.35};
constexpr Rgb kConforming{0.1, 0.55, 0.75};
constexpr Rgb kFail{0.85, 0.1, 0.1};
constexpr Rgb kPass{0.0, 0.5, 0.2};

void Title(cairo_t *cr, const sky::SkyComparison &r, const ReportInfo &info, int page, int pages) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    Text(cr, kM, 36.0, 16.0, "天空率比較（計画建築物と適合建築物）", kBlack, true);
    const bool ok = r.Complies();
    const std::string verdict = std::string("判定：") + (ok ? app::kComplies : app::kFails);
    Text(cr, kReportPageW - kM - TextWidth(cr, 16.0, verdict) - 4.0, 36.0, 16.0, verdict,
         ok ? kPass : kFail, true);
    std::string sub = info.drawingName;
    sub += (sub.empty() ? "" : "    ") + std::to_string(page + 1) + " / " + std::to_string(pages);
    Text(cr, kM, 56.0, 9.0, sub);
}

void DrawPlan(cairo_t *cr, const sky::CompareSite &site, const sky::SlantRules &rules,
              const sky::SkyComparison &r, const geometry::BuildingModel &model, double north) {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    const auto add = [&](const geometry::TAcadPoint &p) {
        minX = std::min(minX, p.x), minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
    };
    for (const auto &p : site.ring) add(p);
    for (const auto &row : r.rows) add(row.point.pt);
    if (!(maxX >= minX)) return;
    const double w = std::max(maxX - minX, 1.0), h = std::max(maxY - minY, 1.0);
    const double pad = 18.0;
    Frame f;
    f.scale = std::min((kPlanW - 2 * pad) / w, (kPlanH - 2 * pad) / h);
    f.ox = kPlanX + (kPlanW - w * f.scale) / 2.0 - minX * f.scale;
    f.oy = kPlanY + kPlanH - (kPlanH - h * f.scale) / 2.0 + minY * f.scale;

    cairo_save(cr);
    cairo_rectangle(cr, kPlanX, kPlanY, kPlanW, kPlanH);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_set_line_width(cr, 0.6);
    cairo_stroke_preserve(cr);
    cairo_clip(cr);
    // The conforming buildings' faces, the buildings' edges, the site.
    std::vector<sky::SlantLimit> limits;
    for (const auto &row : r.rows)
        if (std::find(limits.begin(), limits.end(), row.point.limit) == limits.end())
            limits.push_back(row.point.limit);
    for (sky::SlantLimit limit : limits)
        for (const auto &face : sky::ConformingBuildingOf(site, rules, limit).faces)
            RingPath(cr, f, face);
    SetColor(cr, kConforming, 0.12);
    cairo_fill_preserve(cr);
    SetColor(cr, kConforming);
    cairo_set_line_width(cr, 0.5);
    cairo_stroke(cr);
    SetColor(cr, kBuilding);
    for (const auto &e : model.AryTatemono) {
        cairo_move_to(cr, f.X(e.st.x), f.Y(e.st.y));
        cairo_line_to(cr, f.X(e.ed.x), f.Y(e.ed.y));
    }
    cairo_stroke(cr);
    SetColor(cr, kBlack);
    cairo_set_line_width(cr, 1.2);
    RingPath(cr, f, site.ring);
    cairo_stroke(cr);
    // The points; the failing ones and the smallest margin named.
    for (std::size_t i = 0; i < r.rows.size(); ++i) {
        const auto &row = r.rows[i];
        const double x = f.X(row.point.pt.x), y = f.Y(row.point.pt.y);
        cairo_new_path(cr);
        cairo_arc(cr, x, y, 1.8, 0, 2 * std::numbers::pi);
        SetColor(cr, row.passes ? kPass : kFail);
        cairo_fill(cr);
        // Named: the smallest margin and the ends of every run of failing points.
        const bool failedBefore = i > 0 && !r.rows[i - 1].passes;
        const bool failedAfter = i + 1 < r.rows.size() && !r.rows[i + 1].passes;
        if (i == r.worst || (!row.passes && (!failedBefore || !failedAfter)))
            Text(cr, x + 2.5, y - 2.5, 6.0, row.point.label, row.passes ? kPass : kFail);
    }
    cairo_restore(cr);
    DrawNorthArrow(cr, kSideX + kSideW - 30.0, kPlanY + kPlanH - 40.0, north);
    DrawScaleBar(cr, f, kPlanX + 12.0, kPlanY + kPlanH - 14.0, kPlanW);
}

std::string Fixed(double v, int d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", d, v);
    return buf;
}

void DrawSummary(cairo_t *cr, const sky::SlantRules &rules, const sky::SkyComparison &r) {
    double y = kPlanY + 10.0;
    Text(cr, kSideX, y, 9.0, "斜線ごとの結果", kBlack, true);
    y += 16.0;
    for (sky::SlantLimit limit :
         {sky::SlantLimit::Road, sky::SlantLimit::Adjacent, sky::SlantLimit::North}) {
        int count = 0, failed = 0;
        const sky::ComparisonRow *worst = nullptr;
        for (const auto &row : r.rows) {
            if (row.point.limit != limit) continue;
            ++count;
            failed += row.passes ? 0 : 1;
            if (!worst || row.difference < worst->difference) worst = &row;
        }
        if (count == 0) continue;
        Text(cr, kSideX, y, 8.5, app::SlantLimitName(limit), kBlack, true);
        const std::string v = failed ? app::kFails : app::kComplies;
        Text(cr, kSideX + kSideW - TextWidth(cr, 8.5, v) - 2.0, y, 8.5, v, failed ? kFail : kPass,
             true);
        y += 13.0;
        Text(cr, kSideX + 8.0, y, 7.5,
             "測定点 " + std::to_string(count) + "  不適合 " + std::to_string(failed));
        y += 11.0;
        Text(cr, kSideX + 8.0, y, 7.5,
             "最小の差 " + worst->point.label + "  " + Fixed(worst->planned, r.decimals) + " − " +
                 Fixed(worst->conforming, r.decimals) + " = " +
                 Fixed(worst->difference, r.decimals));
        y += 16.0;
    }
    y += 6.0;
    Text(cr, kSideX, y, 9.0, "条件", kBlack, true);
    y += 14.0;
    const auto line = [&](const std::string &t) {
        double s = 7.0;
        while (s > 4.5 && TextWidth(cr, s, t) > kSideW) s -= 0.25;
        Text(cr, kSideX, y, s, t);
        y += 11.0;
    };
    line("道路斜線 勾配 " + Fixed(rules.roadSlope, 2) + "  適用距離 " +
         Fixed(rules.roadDistance / 1000.0, 1) + " m");
    if (rules.adjacent)
        line("隣地斜線 " + Fixed(rules.adjacentRise / 1000.0, 1) + " m + " +
             Fixed(rules.adjacentSlope, 2) + "  測定線 " + Fixed(rules.adjacentLine / 1000.0, 1) +
             " m 外側, 間隔 " + Fixed(rules.adjacentSpacing / 1000.0, 1) + " m 以下");
    if (rules.north)
        line("北側斜線 " + Fixed(rules.northRise / 1000.0, 1) + " m + " +
             Fixed(rules.northSlope, 2) + "  測定線 真北に " + Fixed(rules.northLine / 1000.0, 1) +
             " m, 間隔 " + Fixed(rules.northSpacing / 1000.0, 1) + " m 以下");
    line("計画建築物は三斜の内接（計画）で切り捨て，適合建築物は外接（適合）で切り上げ．");
    line("精算は三斜によらない天空率．測定点と敷地は図面の z = 0．");
    // Legend.
    y += 8.0;
    const struct {
        Rgb c;
        const char *t;
    } items[] = {{kPass, "適合の測定点"},
                 {kFail, "不適合の測定点"},
                 {kConforming, "適合建築物（平面）"},
                 {kBuilding, "計画建築物（平面）"}};
    for (const auto &item : items) {
        cairo_new_path(cr);
        cairo_rectangle(cr, kSideX, y - 7.0, 14.0, 8.0);
        SetColor(cr, item.c, 0.6);
        cairo_fill(cr);
        Text(cr, kSideX + 20.0, y, 7.5, item.t);
        y += 12.0;
    }
}

void DrawTablePage(cairo_t *cr, const std::vector<std::vector<std::string>> &rows,
                   std::size_t first, std::size_t last) {
    const double widths[] = {48, 60, 64, 64, 88, 88, 88, 88, 60, 48};
    double total = 0.0;
    for (double w : widths) total += w;
    const double scale = (kReportPageW - 2 * kM) / total;
    const double rowH = 15.0;
    double y = kPlanY;
    std::vector<std::size_t> show = {0};
    for (std::size_t i = first; i < last; ++i) show.push_back(i);
    cairo_set_line_width(cr, 0.5);
    for (std::size_t k = 0; k < show.size(); ++k) {
        const auto &row = rows[show[k]];
        double x = kM;
        for (std::size_t c = 0; c < row.size() && c < std::size(widths); ++c) {
            const double w = widths[c] * scale;
            SetColor(cr, kBlack);
            cairo_rectangle(cr, x, y, w, rowH);
            cairo_stroke(cr);
            const bool fail = row[c] == app::kFails, pass = row[c] == app::kComplies;
            Text(cr, x + 3.0, y + rowH - 4.5, 7.5, row[c],
                 fail   ? kFail
                 : pass ? kPass
                        : kBlack,
                 fail || pass || k == 0);
            x += w;
        }
        y += rowH;
    }
}

}  // namespace

void WriteSkyCompareReport(const sky::CompareSite &site, const sky::SlantRules &rules,
                           const sky::SkyComparison &result, const geometry::BuildingModel &model,
                           const ReportInfo &info, const std::filesystem::path &path,
                           ReportFormat format) {
    const auto rows = app::SkyCompareRows(result);
    const std::size_t body = rows.size() - 1;  // without the header
    const int tablePages = static_cast<int>((body + kRowsPerPage - 1) / kRowsPerPage);
    const int pages = 1 + tablePages;
    WriteReportPages(path, format, pages, [&](cairo_t *cr, int page) {
        Title(cr, result, info, page, pages);
        if (page == 0) {
            DrawPlan(cr, site, rules, result, model, info.northDegrees);
            DrawSummary(cr, rules, result);
            return;
        }
        const std::size_t first = 1 + static_cast<std::size_t>(page - 1) * kRowsPerPage;
        DrawTablePage(cr, rows, first, std::min(rows.size(), first + kRowsPerPage));
    });
}

}  // namespace pimu::cli
