#include "app/regulation_output.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/primitives.h"
#include "solar/timetext.h"

namespace pimu::app {

namespace {

using geometry::TAcadPoint;

// Colours of the items (the CAD's colour numbers).
constexpr int kLine5Colour = 4;     // cyan
constexpr int kLine10Colour = 5;    // blue
constexpr int kRegion5Colour = 3;   // green
constexpr int kRegion10Colour = 6;  // magenta
constexpr int kCrossingColour = 1;  // red
constexpr int kTableColour = 7;     // white or black

std::string Fixed(double v, int decimals) {
    return cadlink::DxfFixed(v, decimals);
}

std::string Hours(double h) {
    return cadlink::DxfNumber(h) + " 時間";
}

// 8.0 as "8:00", 15.5 as "15:30".
std::string Clock(double hours) {
    const int minutes = static_cast<int>(std::lround(hours * 60.0));
    const int m = minutes % 60;
    return std::to_string(minutes / 60) + (m < 10 ? ":0" : ":") + std::to_string(m);
}

std::string Verdict(bool complies) {
    return complies ? kComplies : kFails;
}

// The width of a text in drawing units at height `h` and width factor `w`. A text's height is
// that of a capital, about 0.73 of the font's em; a full-width character takes the em, a
// half-width one half of it (a little more than most proportional glyphs need).
double TextWidth(const std::string &text, double h, double w) {
    const double em = h / 0.73 * w;
    double width = 0.0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        width += (n >= 3 ? 1.0 : 0.5) * em;
        i += n;
    }
    return width;
}

void AddRing(cadlink::DxfText &sl, const char *layer, const std::vector<TAcadPoint> &ring,
             int colour) {
    if (ring.size() < 3) return;
    cadlink::DxfPolylineStyle style;
    style.closed = true;
    style.colour = colour;
    sl.AddPolyline(layer, ring, style);
}

void AddLabel(cadlink::DxfText &sl, const char *layer, const TAcadPoint &at, double h,
              const std::string &text, int colour) {
    cadlink::DxfTextItem item{at.x, at.y, 0.0, h, text};
    item.colour = colour;
    item.writeZ = false;
    sl.AddText(layer, item);
}

}  // namespace

std::vector<std::vector<std::string>> RegulationRows(const regulation::RegulationResult &result) {
    const regulation::RegulationInputs &in = result.Inputs;
    const regulation::LimitResult &a = result.Limits[0];
    const regulation::LimitResult &b = result.Limits[1];
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"用途地域", in.Zone.empty() ? std::string(kDirectLimits) : in.Zone, ""});
    rows.push_back({"測定面の高さ", Fixed(in.PlaneHeight / 1000.0, 1) + " m", ""});
    rows.push_back({"測定時間",
                    "冬至日 真太陽時 " + Clock(in.Start) + "～" + Clock(in.End) + "（" +
                        cadlink::DxfNumber(in.StepMinutes) + " 分ごと）",
                    ""});
    rows.push_back({"判定", Verdict(result.Complies()), ""});
    rows.push_back({"", "5mライン", "10mライン"});
    rows.push_back({"規制時間", Hours(a.LimitHours), Hours(b.LimitHours)});
    // To the second the line was judged by (2:59:08), so a time just under a limit never reads
    // as the limit itself.
    rows.push_back({"ライン上の最大日影時間", solar::FormatClock(a.MaxHoursOnLine),
                    solar::FormatClock(b.MaxHoursOnLine)});
    rows.push_back({"はみ出し面積", Fixed(a.CrossingArea / 1e6, 2) + " ㎡",
                    Fixed(b.CrossingArea / 1e6, 2) + " ㎡"});
    rows.push_back({"最大はみ出し距離", Fixed(a.MaxBeyond / 1000.0, 2) + " m",
                    Fixed(b.MaxBeyond / 1000.0, 2) + " m"});
    auto margin = [](const regulation::LimitResult &l) -> std::string {
        if (!l.Complies) return "-";
        if (!l.Margin) return "規制時間以上の日影なし";
        return Fixed(*l.Margin / 1000.0, 2) + " m";
    };
    rows.push_back({"余裕（ラインまで）", margin(a), margin(b)});
    rows.push_back({"判定", Verdict(a.Complies), Verdict(b.Complies)});
    return rows;
}

std::vector<TAcadPoint> FlattenLine(const boundary::KyoukaisenLine &line, double maxAngle) {
    std::vector<TAcadPoint> out;
    const std::size_t n = line.vertices.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint p = line.vertices[i].pt;
        const TAcadPoint q = line.vertices[(i + 1) % n].pt;
        out.push_back(p);
        const double bulge = line.vertices[i].bulge.value_or(0.0);
        if (bulge == 0.0 || !std::isfinite(bulge)) continue;
        const geometry::TBulgeArc arc = geometry::BulgeToArc(p, q, bulge);
        const TAcadPoint centre = arc.Center;
        const double sweep = 4.0 * std::atan(bulge);
        const double r = arc.Radius;
        const double a0 = std::atan2(p.y - centre.y, p.x - centre.x);
        const int steps = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / maxAngle)));
        for (int k = 1; k < steps; ++k) {
            const double a = a0 + sweep * k / steps;
            out.push_back({centre.x + r * std::cos(a), centre.y + r * std::sin(a), 0.0});
        }
    }
    return out;
}

std::vector<std::pair<TAcadPoint, TAcadPoint>> HatchSegments(
    const std::vector<std::vector<TAcadPoint>> &rings, double spacing, double angleDegrees) {
    std::vector<std::pair<TAcadPoint, TAcadPoint>> out;
    if (!(spacing > 0.0) || !std::isfinite(spacing)) return out;
    const double t = angleDegrees * std::numbers::pi / 180.0;
    const double c = std::cos(t), s = std::sin(t);
    // In a frame turned by -t the hatch lines are horizontal.
    auto toFrame = [&](const TAcadPoint &p) {
        return TAcadPoint{c * p.x + s * p.y, -s * p.x + c * p.y, 0.0};
    };
    auto fromFrame = [&](double u, double v) {
        return TAcadPoint{c * u - s * v, s * u + c * v, 0.0};
    };
    std::vector<std::vector<TAcadPoint>> turned;
    double lo = INFINITY, hi = -INFINITY;
    for (const auto &ring : rings) {
        if (ring.size() < 3) continue;
        auto &r = turned.emplace_back();
        for (const TAcadPoint &p : ring) {
            r.push_back(toFrame(p));
            lo = std::min(lo, r.back().y);
            hi = std::max(hi, r.back().y);
        }
    }
    if (turned.empty()) return out;
    // Lines at half-steps of the grid, so a vertex on a grid line is rare; a limit on their
    // number keeps a spacing far too fine for the area from filling the drawing.
    const double first = (std::floor(lo / spacing) + 0.5) * spacing;
    const double count = (hi - first) / spacing;
    if (count > 100000.0) return out;
    std::vector<double> xs;
    for (double v = first; v < hi; v += spacing) {
        xs.clear();
        for (const auto &r : turned)
            for (std::size_t i = 0; i < r.size(); ++i) {
                const TAcadPoint &a = r[i];
                const TAcadPoint &b = r[(i + 1) % r.size()];
                if ((a.y <= v) == (b.y <= v)) continue;  // half-open: each crossing once
                xs.push_back(a.x + (v - a.y) / (b.y - a.y) * (b.x - a.x));
            }
        std::sort(xs.begin(), xs.end());
        for (std::size_t k = 0; k + 1 < xs.size(); k += 2)
            if (xs[k + 1] > xs[k]) out.push_back({fromFrame(xs[k], v), fromFrame(xs[k + 1], v)});
    }
    return out;
}

void PlanBounds::Add(const TAcadPoint &p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    if (empty) {
        minX = maxX = p.x;
        minY = maxY = p.y;
        empty = false;
        return;
    }
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
}

PlanBounds RegulationBounds(const regulation::RegulationResult &result) {
    PlanBounds b;
    for (const auto &l : result.Limits) {
        for (const TAcadPoint &p : FlattenLine(l.Line)) b.Add(p);
        for (const auto &ring : l.Regions)
            for (const TAcadPoint &p : ring) b.Add(p);
    }
    for (const auto *outline : {&result.SiteOutline, &result.DeemedOutline})
        for (const geometry::TLineEnt &e : *outline) {
            b.Add(e.st);
            b.Add(e.ed);
        }
    return b;
}

void AddRegulationDxf(cadlink::DxfText &sl, const regulation::RegulationResult &result,
                      double textHeight) {
    const double h = textHeight;
    const char *lineLayers[] = {kRegulationLine5Layer, kRegulationLine10Layer};
    const int lineColours[] = {kLine5Colour, kLine10Colour};
    const int regionColours[] = {kRegion5Colour, kRegion10Colour};
    const char *lineNames[] = {"5mライン", "10mライン"};
    for (int k = 0; k < 2; ++k) {
        const regulation::LimitResult &l = result.Limits[static_cast<std::size_t>(k)];
        if (l.Line.vertices.size() >= 2) {
            std::vector<cadlink::DxfVertex> vertices;
            for (const boundary::KyoukaisenVertex &v : l.Line.vertices) {
                cadlink::DxfVertex vertex{v.pt.x, v.pt.y};
                if (v.bulge) vertex.bulge = cadlink::DxfValue(*v.bulge);
                vertices.push_back(vertex);
            }
            cadlink::DxfPolylineStyle style;
            style.closed = true;
            style.colour = lineColours[k];
            sl.AddPolyline(lineLayers[k], vertices, style);
            AddLabel(sl, lineLayers[k], l.Line.vertices.front().pt, h, lineNames[k],
                     lineColours[k]);
        }
        const std::string hours = cadlink::DxfNumber(l.LimitHours) + "時間";
        for (const auto &ring : l.Regions) {
            AddRing(sl, kRegulationRegionLayer, ring, regionColours[k]);
            if (ring.size() >= 3)
                AddLabel(sl, kRegulationRegionLayer, ring.front(), h, hours, regionColours[k]);
        }
        for (const auto &ring : l.Holes)
            AddRing(sl, kRegulationRegionLayer, ring, regionColours[k]);
        for (const auto &ring : l.Crossings)
            AddRing(sl, kRegulationCrossingLayer, ring, kCrossingColour);
        for (const auto &[a, b] : HatchSegments(l.Crossings, 2.0 * h))
            sl.AddLine(kRegulationCrossingLayer, a, b, {.colour = kCrossingColour});
    }

    // The table to the right of the plan, its top level with the plan's top.
    const PlanBounds bounds = RegulationBounds(result);
    const double x0 = bounds.empty ? 0.0 : bounds.maxX + 4.0 * h;
    const double y0 = bounds.empty ? 0.0 : bounds.maxY;
    const auto rows = RegulationRows(result);
    constexpr double kWidthFactor = 0.8;
    // A row whose last cell is empty gives its second cell both value columns.
    auto spans = [](const std::vector<std::string> &row) {
        return row.size() < 3 || row[2].empty();
    };
    auto cellWidth = [&](const std::string &text) {
        return TextWidth(text, h, kWidthFactor) + 2.0 * h;
    };
    std::vector<double> widths(3, 0.0);
    for (const auto &row : rows) {
        if (!row.empty()) widths[0] = std::max(widths[0], cellWidth(row[0]));
        if (spans(row)) continue;
        for (std::size_t c = 1; c < 3; ++c) widths[c] = std::max(widths[c], cellWidth(row[c]));
    }
    for (const auto &row : rows) {
        if (row.size() < 2 || !spans(row)) continue;
        const double missing = cellWidth(row[1]) - widths[1] - widths[2];
        if (missing > 0.0) {
            widths[1] += missing / 2.0;
            widths[2] += missing / 2.0;
        }
    }
    const double rowHeight = 2.0 * h;
    const double width = widths[0] + widths[1] + widths[2];
    const cadlink::DxfLineStyle rule{.colour = kTableColour};
    for (std::size_t r = 0; r <= rows.size(); ++r) {
        const double y = y0 - rowHeight * static_cast<double>(r);
        sl.AddLine(kRegulationTableLayer, {x0, y, 0.0}, {x0 + width, y, 0.0}, rule);
    }
    const double bottom = y0 - rowHeight * static_cast<double>(rows.size());
    const double split = x0 + widths[0] + widths[1];
    for (double x : {x0, x0 + widths[0], x0 + width})
        sl.AddLine(kRegulationTableLayer, {x, y0, 0.0}, {x, bottom, 0.0}, rule);
    // The rule between the value columns runs down the rows that have two values.
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (spans(rows[r])) continue;
        const double top = y0 - rowHeight * static_cast<double>(r);
        sl.AddLine(kRegulationTableLayer, {split, top, 0.0}, {split, top - rowHeight, 0.0}, rule);
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        double cx = x0;
        const double y = y0 - rowHeight * (static_cast<double>(r) + 0.5);
        for (std::size_t c = 0; c < rows[r].size() && c < widths.size(); ++c) {
            if (!rows[r][c].empty()) {
                cadlink::DxfTextItem item{cx + h, y, 0.0, h, rows[r][c]};
                item.align = cadlink::DxfTextAlign{cx + h, y, 0.0, cadlink::DxfHAlign::Left,
                                                   cadlink::DxfVAlign::Middle};
                item.widthFactor = kWidthFactor;
                item.colour = rows[r][c] == kFails ? kCrossingColour : kTableColour;
                item.writeZ = false;
                sl.AddText(kRegulationTableLayer, item);
            }
            cx += widths[c];
        }
    }
}

}  // namespace pimu::app
