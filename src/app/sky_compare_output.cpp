#include "app/sky_compare_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/regulation_output.h"

namespace pimu::app {

namespace {

constexpr int kTableColour = 7;
constexpr int kFailColour = 1;
constexpr int kConformingColour = 4;
constexpr double kWidthFactor = 0.8;

std::string Fixed(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

// Display width of a UTF-8 text in half-width characters (a multi-byte character counts two).
double Columns(const std::string &text) {
    double n = 0.0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) n += c < 0x80 ? 1.0 : 2.0;
    return n;
}

std::vector<sky::SlantLimit> LimitsOf(const sky::SkyComparison &result) {
    std::vector<sky::SlantLimit> out;
    for (const sky::ComparisonRow &r : result.rows)
        if (std::find(out.begin(), out.end(), r.point.limit) == out.end())
            out.push_back(r.point.limit);
    return out;
}

}  // namespace

std::string SlantLimitName(sky::SlantLimit limit) {
    switch (limit) {
        case sky::SlantLimit::Road:
            return "道路斜線";
        case sky::SlantLimit::Adjacent:
            return "隣地斜線";
        case sky::SlantLimit::North:
            return "北側斜線";
    }
    return "";
}

std::vector<std::vector<std::string>> SkyCompareRows(const sky::SkyComparison &result) {
    const int d = result.decimals;
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"測定点", "斜線", "X (m)", "Y (m)", "計画建築物 計画", "計画建築物 精算",
                    "適合建築物 適合", "適合建築物 精算", "差", "判定"});
    for (const sky::ComparisonRow &r : result.rows) {
        rows.push_back({r.point.label, SlantLimitName(r.point.limit),
                        Fixed(r.point.pt.x / 1000.0, 3), Fixed(r.point.pt.y / 1000.0, 3),
                        r.consistent ? Fixed(r.planned, d) : "-", Fixed(r.plannedExact, d),
                        r.consistent ? Fixed(r.conforming, d) : "-", Fixed(r.conformingExact, d),
                        r.consistent ? Fixed(r.difference, d) : "-",
                        r.passes ? kComplies : kFails});
    }
    rows.push_back(
        {"総合", "", "", "", "", "", "", "", "", result.Complies() ? kComplies : kFails});
    return rows;
}

std::string SkyCompareVerdict(const sky::SkyComparison &result) {
    std::string text = std::string("天空率比較：") + (result.Complies() ? kComplies : kFails);
    if (!result.rows.empty()) {
        const sky::ComparisonRow &w = result.rows[result.worst];
        text += "  最小の差 " + w.point.label + " " + Fixed(w.difference, result.decimals);
    }
    return text;
}

geometry::TAcadPoint AddSkyCompareDxf(cadlink::DxfText &sl, const sky::CompareSite &site,
                                      const sky::SlantRules &rules,
                                      const sky::SkyComparison &result, double textHeight) {
    const double h = textHeight;
    PlanBounds bounds;
    for (const geometry::TAcadPoint &p : site.ring) bounds.Add(p);
    // The points.
    for (const sky::ComparisonRow &r : result.rows) {
        const geometry::TAcadPoint p = r.point.pt;
        bounds.Add(p);
        sl.AddCircle(kSkyPointLayer, p.x, p.y, h / 3.0);
        cadlink::DxfTextItem item{p.x + h / 2.0, p.y + h / 2.0, 0.0, h, r.point.label};
        item.widthFactor = kWidthFactor;
        if (!r.passes) item.colour = kFailColour;
        sl.AddText(kSkyPointLayer, item);
    }
    // The conforming buildings.
    const cadlink::DxfLineStyle line{.colour = kConformingColour};
    for (sky::SlantLimit limit : LimitsOf(result)) {
        const sky::ConformingBuilding b = sky::ConformingBuildingOf(site, rules, limit);
        for (const geometry::TLineEnt &e : b.sky.edges)
            sl.Add3DLine(kSkyConformingLayer, e.st, e.ed, line);
        for (const auto &face : b.faces)
            for (const geometry::TAcadPoint &p : face)
                if (p.z > 0.0) sl.Add3DLine(kSkyConformingLayer, {p.x, p.y, 0.0}, p, line);
    }
    // The table to the right.
    const std::vector<std::vector<std::string>> rows = SkyCompareRows(result);
    std::vector<double> widths(rows.front().size(), 0.0);
    for (const auto &row : rows)
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], (Columns(row[c]) * 0.65 + 1.0) * h);
    double width = 0.0;
    for (double w : widths) width += w;
    const double x0 = (bounds.empty ? 0.0 : bounds.maxX) + 4.0 * h;
    const double y0 = bounds.empty ? 0.0 : bounds.maxY;
    const double rowHeight = 2.0 * h;
    const cadlink::DxfLineStyle rule{.colour = kTableColour};
    for (std::size_t r = 0; r <= rows.size(); ++r) {
        const double y = y0 - rowHeight * static_cast<double>(r);
        sl.AddLine(kSkyCompareTableLayer, {x0, y, 0.0}, {x0 + width, y, 0.0}, rule);
    }
    const double bottom = y0 - rowHeight * static_cast<double>(rows.size());
    double x = x0;
    for (std::size_t c = 0; c <= widths.size(); ++c) {
        sl.AddLine(kSkyCompareTableLayer, {x, y0, 0.0}, {x, bottom, 0.0}, rule);
        if (c < widths.size()) x += widths[c];
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        double cx = x0;
        const double y = y0 - rowHeight * (static_cast<double>(r) + 0.5);
        for (std::size_t c = 0; c < rows[r].size() && c < widths.size(); ++c) {
            if (!rows[r][c].empty()) {
                cadlink::DxfTextItem item{cx + h / 2.0, y, 0.0, h, rows[r][c]};
                item.align = cadlink::DxfTextAlign{cx + h / 2.0, y, 0.0, cadlink::DxfHAlign::Left,
                                                   cadlink::DxfVAlign::Middle};
                item.widthFactor = kWidthFactor;
                item.colour = rows[r][c] == kFails ? kFailColour : kTableColour;
                item.writeZ = false;
                sl.AddText(kSkyCompareTableLayer, item);
            }
            cx += widths[c];
        }
    }
    return {x0, bottom, 0.0};
}

}  // namespace pimu::app
