// Shadows on a picked wall: the faces' shadows projected onto the wall's plane, their outlines at
// every time step and the counted isochrones, all in the wall's own coordinates.
#include "shadow/wall.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "shadow/counting_loop.h"
#include "solar/timetext.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;
using geometry::TLineEnt;

// The wall's plan frame: origin st, unit direction u along the wall, unit normal n towards the
// buildings (to the right of st -> ed).
struct PlanFrame {
    TAcadPoint origin;
    double ux = 1.0, uy = 0.0;
    double nx = 0.0, ny = -1.0;

    explicit PlanFrame(const WallLine &w) : origin(w.st) {
        const double len = geometry::Dist2D(w.st, w.ed);
        ux = (w.ed.x - w.st.x) / len;
        uy = (w.ed.y - w.st.y) / len;
        nx = uy;
        ny = -ux;
    }
    double Along(double x, double y) const { return (x - origin.x) * ux + (y - origin.y) * uy; }
    double Side(double x, double y) const { return (x - origin.x) * nx + (y - origin.y) * ny; }
};

// Sutherland-Hodgman clip of a polygon to one half-plane.
template <class Inside, class Cut>
void ClipHalfPlane(std::vector<TAcadPoint> &poly, Inside inside, Cut cut) {
    std::vector<TAcadPoint> out;
    for (std::size_t i = 0; i < poly.size(); ++i) {
        const TAcadPoint a = poly[(i + poly.size() - 1) % poly.size()];
        const TAcadPoint b = poly[i];
        if (inside(b)) {
            if (!inside(a)) out.push_back(cut(a, b));
            out.push_back(b);
        } else if (inside(a)) {
            out.push_back(cut(a, b));
        }
    }
    poly.swap(out);
}

void ClipToBox(std::vector<TAcadPoint> &poly, double x0, double y0, double x1, double y1) {
    auto atX = [](TAcadPoint a, TAcadPoint b, double x) {
        return TAcadPoint{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x), 0.0};
    };
    auto atY = [](TAcadPoint a, TAcadPoint b, double y) {
        return TAcadPoint{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y, 0.0};
    };
    ClipHalfPlane(
        poly, [x0](TAcadPoint p) { return p.x >= x0; },
        [&](TAcadPoint a, TAcadPoint b) { return atX(a, b, x0); });
    ClipHalfPlane(
        poly, [x1](TAcadPoint p) { return p.x <= x1; },
        [&](TAcadPoint a, TAcadPoint b) { return atX(a, b, x1); });
    ClipHalfPlane(
        poly, [y0](TAcadPoint p) { return p.y >= y0; },
        [&](TAcadPoint a, TAcadPoint b) { return atY(a, b, y0); });
    ClipHalfPlane(
        poly, [y1](TAcadPoint p) { return p.y <= y1; },
        [&](TAcadPoint a, TAcadPoint b) { return atY(a, b, y1); });
}

}  // namespace

std::vector<std::vector<TAcadPoint>> WallShadowPolygons(std::span<const TLineEnt> edges,
                                                        const WallLine &wall,
                                                        const solar::SolarState &sun, double time,
                                                        std::span<const geometry::Volume> volumes) {
    std::vector<std::vector<TAcadPoint>> out;
    const double len = WallLength(wall);
    if (!(len > geometry::kPointTol) || edges.empty()) return out;
    const solar::SunResult pos = solar::SunPosition(sun, time);
    if (!CastsShadows(pos) || !(pos.Ratio > 0.0)) return out;
    const double theta = solar::ShadowAngle(sun, pos.Azimuth);
    const PlanFrame f(wall);
    // The shadow direction's components across and along the wall. The seen face is lit only
    // while shadows fall towards it from the buildings' side (across < 0).
    const double sx = std::cos(theta), sy = std::sin(theta);
    const double across = sx * f.nx + sy * f.ny;
    const double along = sx * f.ux + sy * f.uy;
    if (!(across < -1e-9)) return out;
    const double h = WallHeight(wall);
    const double m = WallMargin(len, h);

    // A point of a face at plan position (x, y) reaches the wall plane after d = side / -across
    // along the shadow direction, and sinks by d / ratio on the way.
    auto project = [&](double x, double y, double z) {
        const double side = f.Side(x, y);
        const double d = side / -across;
        return TAcadPoint{f.Along(x, y) + d * along, z - d / pos.Ratio, 0.0};
    };
    // A face's polygon on the wall, clipped to the margins round it; one with a vertex thrown
    // beyond every number (a sun grazing the wall) is left out.
    auto keep = [&](std::vector<TAcadPoint> &poly) {
        for (const TAcadPoint &p : poly)
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        ClipToBox(poly, -m, -m, len + m, h + m);
        if (poly.size() >= 3) out.push_back(poly);
    };
    std::vector<TAcadPoint> poly;
    for (const TLineEnt &e : edges) {
        if (!(e.st.z > 0.0 || e.ed.z > 0.0)) continue;
        TAcadPoint a = e.st, b = e.ed;
        const double sa = f.Side(a.x, a.y), sb = f.Side(b.x, b.y);
        if (!(std::isfinite(sa) && std::isfinite(sb) && std::isfinite(a.z) && std::isfinite(b.z)))
            continue;
        // Only the part of the face on the buildings' side of the wall plane. A face lying in
        // the plane (the wall drawn on a building's facade) is the wall itself: no shadow.
        if (sa <= geometry::kPointTol && sb <= geometry::kPointTol) continue;
        if (sa < 0.0 || sb < 0.0) {
            const double t = sa / (sa - sb);
            const TAcadPoint cut{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y),
                                 a.z + t * (b.z - a.z)};
            (sa < 0.0 ? a : b) = cut;
        }
        const TAcadPoint topA = project(a.x, a.y, std::max(a.z, 0.0));
        const TAcadPoint topB = project(b.x, b.y, std::max(b.z, 0.0));
        const double base = std::max(e.base, 0.0);
        const TAcadPoint footA = project(a.x, a.y, base);
        const TAcadPoint footB = project(b.x, b.y, base);
        poly.assign({topA, topB, footB, footA});
        keep(poly);
    }
    // The undersides of raised volumes: the part on the buildings' side of the wall plane.
    for (const geometry::Volume &v : volumes) {
        if (!(v.bottom > 0.0 && v.top > v.bottom) || v.footprint.size() < 3) continue;
        poly = v.footprint;
        ClipHalfPlane(
            poly, [&](TAcadPoint p) { return f.Side(p.x, p.y) >= 0.0; },
            [&](TAcadPoint a, TAcadPoint b) {
                const double sa = f.Side(a.x, a.y), sb = f.Side(b.x, b.y);
                const double t = sa / (sa - sb);
                return TAcadPoint{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), 0.0};
            });
        for (TAcadPoint &p : poly) p = project(p.x, p.y, v.bottom);
        keep(poly);
    }
    return out;
}

namespace {

// A pixel index clamped to [lo, hi] while still a double.
int ClampedIndex(double pixel, int lo, int hi) {
    const double r = geometry::RoundHalfAway(pixel);
    if (std::isnan(r) || r <= lo) return lo;
    if (r >= hi) return hi;
    return static_cast<int>(r);
}

bool CountWallInstant(std::span<const TLineEnt> edges, const WallLine &wall,
                      const solar::SolarState &sun, double time, const RasterGeometry &raster,
                      ShadowBitmap &bitmap, ShadowCountGrid &grid,
                      std::span<const geometry::Volume> volumes) {
    bitmap.Clear(PixelColor::White);
    bitmap.SetColor(PixelColor::Black);
    PaintedRange range;
    if (!PaintWallShadowBitmap(edges, wall, sun, time, raster, bitmap, range, volumes))
        return false;
    CountShadowBitmap(bitmap, range, grid);
    return true;
}

// The label of a chain: anchored at the end of its last segment (`atEnd`) or the start of its
// first, moved 0.2 text heights in the direction `offset` turns from it.
WallChain LabelledChain(std::vector<TAcadPoint> points, bool atEnd, double textHeight,
                        bool turned) {
    WallChain c;
    const std::size_t n = points.size();
    if (!turned) {
        c.Label = geometry::PolarPoint(atEnd ? points[n - 1] : points[0], -geometry::kPi / 4.0,
                                       0.2 * textHeight);
    } else if (atEnd) {
        // Along the last segment, turned from its end to its start.
        c.LabelAngle = geometry::Angle2D(points[n - 1], points[n - 2]);
        c.Label = geometry::PolarPoint(points[n - 1], c.LabelAngle + geometry::kPi / 4.0,
                                       0.2 * textHeight);
    } else {
        c.LabelAngle = geometry::Angle2D(points[0], points[1]);
        c.Label =
            geometry::PolarPoint(points[0], c.LabelAngle + geometry::kPi / 4.0, 0.2 * textHeight);
    }
    c.Label.z = 0.0;
    c.Points = std::move(points);
    return c;
}

std::vector<WallChain> LabelledChains(std::vector<std::vector<TAcadPoint>> chains,
                                      double textHeight, bool turned) {
    std::vector<WallChain> out;
    for (std::size_t i = 0; i < chains.size(); ++i)
        out.push_back(LabelledChain(std::move(chains[i]), i == 0, textHeight, turned));
    return out;
}

}  // namespace

std::optional<WallLine> MakeWallLine(const TLineEnt &picked, const geometry::BuildingModel &model) {
    WallLine w = picked;
    if (!(geometry::Dist2D(w.st, w.ed) > geometry::kPointTol)) return std::nullopt;
    for (TAcadPoint *p : {&w.st, &w.ed}) {
        if (p->z == 0.0) p->z = model.gbzmax;
        if (w.atumi > p->z) p->z = w.atumi;
    }
    const PlanFrame f(w);
    for (const TLineEnt &e : model.AryTatemono) {
        bool decided = false;
        for (const TAcadPoint &p : {e.st, e.ed}) {
            const double side = f.Side(p.x, p.y);
            if (std::fabs(side) <= geometry::kPointTol || !std::isfinite(side)) continue;
            if (side < 0.0) std::swap(w.st, w.ed);
            decided = true;
            break;
        }
        if (decided) break;
    }
    return w;
}

double WallLength(const WallLine &wall) {
    return geometry::Dist2D(wall.st, wall.ed);
}

double WallHeight(const WallLine &wall) {
    const double h = std::max(wall.st.z, wall.ed.z);
    return h > 0.0 ? h : kDefaultWallHeight;
}

double WallMargin(double length, double height) {
    return 0.05 * std::max(length, height);
}

std::vector<WallFrameLine> WallFrameLines(double length, double height, bool onWallLine) {
    std::vector<WallFrameLine> lines;
    const int rows = static_cast<int>(std::trunc(height / 1000.0));
    for (int i = onWallLine ? 1 : 0; i <= rows; ++i)
        lines.push_back({{0.0, 1000.0 * i, 0.0}, {length, 1000.0 * i, 0.0}, i % 2 == 1, false});
    const int columns = static_cast<int>(std::trunc(length / 5000.0));
    for (int i = 0; i <= columns; ++i)
        lines.push_back({{5000.0 * i, 0.0, 0.0}, {5000.0 * i, height, 0.0}, false, true});
    lines.push_back({{length, 0.0, 0.0}, {length, height, 0.0}, false, true});
    return lines;
}

ShadowRegions WallShadowAt(std::span<const TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, double time, Progress &progress,
                           std::span<const geometry::Volume> volumes) {
    return UnionRings(WallShadowPolygons(edges, wall, sun, time, volumes), progress);
}

std::vector<std::vector<TAcadPoint>> ClipOutlineToWall(std::span<const TAcadPoint> outline,
                                                       double length, double height) {
    std::vector<std::pair<TAcadPoint, TAcadPoint>> kept;
    const std::size_t n = outline.size();
    for (std::size_t i = 0; i < n && n >= 2; ++i) {
        TAcadPoint a = outline[i], b = outline[(i + 1) % n];
        a.z = b.z = 0.0;
        if (geometry::Near2D(a, b)) continue;
        bool inside = true;
        // Borders y = 0, y = H, x = 0, x = L, in this order: an end outside is moved onto it.
        for (int border = 0; border < 4 && inside; ++border) {
            const bool isY = border < 2;
            const double v = border == 0 ? 0.0 : border == 1 ? height : border == 2 ? 0.0 : length;
            const bool low = border == 0 || border == 2;  // inside is >= v
            auto out = [&](const TAcadPoint &p) {
                const double c = isY ? p.y : p.x;
                return low ? c < v : c > v;
            };
            const bool oa = out(a), ob = out(b);
            if (oa && ob) {
                inside = false;
            } else if (oa || ob) {
                TAcadPoint &p = oa ? a : b;
                if (isY) {
                    p = {a.x + (b.x - a.x) * (v - a.y) / (b.y - a.y), v, 0.0};
                } else {
                    p = {v, a.y + (b.y - a.y) * (v - a.x) / (b.x - a.x), 0.0};
                }
            }
        }
        if (inside && !geometry::Near2D(a, b)) kept.emplace_back(a, b);
    }
    std::vector<std::vector<TAcadPoint>> chains;
    for (const auto &[a, b] : kept) {
        if (chains.empty() || !geometry::Near2D(chains.back().back(), a)) chains.push_back({a});
        chains.back().push_back(b);
    }
    // The outline's first point is no cut: a chain running through it is one chain.
    if (chains.size() >= 2 && geometry::Near2D(chains.back().back(), chains.front().front())) {
        std::vector<TAcadPoint> joined = std::move(chains.back());
        joined.insert(joined.end(), chains.front().begin() + 1, chains.front().end());
        chains.front() = std::move(joined);
        chains.pop_back();
    }
    std::erase_if(chains, [](const auto &c) { return c.size() < 2; });
    return chains;
}

WallShadowLines ComputeWallShadowLines(std::span<const TLineEnt> edges, const WallLine &wall,
                                       const solar::SolarState &sun, const WallLineInputs &in,
                                       Progress &progress,
                                       std::span<const geometry::Volume> volumes) {
    WallShadowLines result;
    if (!(in.Interval > 0.0) || !std::isfinite(in.Start) || !std::isfinite(in.End)) return result;
    const int count = static_cast<int>(std::floor((in.End - in.Start) / in.Interval + 1e-6)) + 1;
    if (count <= 0 || count > 24 * 3600) return result;
    const double len = WallLength(wall), h = WallHeight(wall);
    progress.Start(count);
    for (int i = 0; i < count; ++i) {
        // Whole seconds, so that sums of a decimal interval still fall on the hour.
        const double t = std::round((in.Start + in.Interval * i) * 3600.0) / 3600.0;
        progress.Position(i + 1);
        if (!progress.KeepRunning()) {
            result.Stopped = true;
            break;
        }
        WallInstant instant;
        instant.Time = t;
        instant.WholeHour = std::fabs(t - std::round(t)) < 1e-9;
        const ShadowRegions shadow = WallShadowAt(edges, wall, sun, t, progress, volumes);
        if (shadow.status == RegionStatus::Stopped) {
            result.Stopped = true;
            break;
        }
        for (const ShadowRegion &r : shadow.regions) {
            std::vector<WallChain> chains =
                LabelledChains(ClipOutlineToWall(r.outer, len, h), in.TextHeight, false);
            if (!chains.empty()) instant.Outlines.push_back(std::move(chains));
        }
        result.Instants.push_back(std::move(instant));
    }
    return result;
}

bool PaintWallShadowBitmap(std::span<const TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, double time, const RasterGeometry &raster,
                           ShadowBitmap &bitmap, PaintedRange &range,
                           std::span<const geometry::Volume> volumes) {
    if (raster.N != bitmap.Size())
        throw std::invalid_argument("raster size differs from the bitmap's size");
    if (edges.empty() || !(raster.Cell > 0.0) || !std::isfinite(raster.Cell)) return false;
    const auto polygons = WallShadowPolygons(edges, wall, sun, time, volumes);
    if (polygons.empty()) return false;
    const double n = raster.N;
    // The polygons lie within the wall's margin, so far from kMaxCoord for any raster that frames
    // the wall; one that does not is refused rather than painted wrongly.
    constexpr double kLimit = 1 << 28;
    double xmin = std::numeric_limits<double>::infinity(), xmax = -xmin, ymin = xmin, ymax = -xmin;
    std::vector<PixelPoint> px;
    for (const auto &poly : polygons) {
        px.clear();
        for (const TAcadPoint &p : poly) {
            const double x = (p.x - raster.X0) / raster.Cell;
            const double y = n - (p.y - raster.Y0) / raster.Cell;
            if (!(std::fabs(x) <= kLimit && std::fabs(y) <= kLimit)) return false;
            px.push_back({static_cast<std::int32_t>(geometry::RoundHalfAway(x)),
                          static_cast<std::int32_t>(geometry::RoundHalfAway(y))});
            xmin = std::min(xmin, p.x);
            xmax = std::max(xmax, p.x);
            ymin = std::min(ymin, p.y);
            ymax = std::max(ymax, p.y);
        }
        bitmap.FillPolygon(px);
    }
    const int last = raster.N - 1;
    range.MinCol = ClampedIndex((xmin - raster.X0) / raster.Cell, 0, raster.N);
    range.MaxCol = ClampedIndex((xmax - raster.X0) / raster.Cell, -1, last);
    range.MinRow = ClampedIndex(n - (ymax - raster.Y0) / raster.Cell, 0, raster.N);
    range.MaxRow = ClampedIndex(n - (ymin - raster.Y0) / raster.Cell, -1, last);
    return true;
}

PassSummary CountWallPass(std::span<const TLineEnt> edges, const WallLine &wall,
                          const solar::SolarState &sun, const RasterGeometry &raster,
                          double stepMinutes, double startHour, double endHour,
                          ShadowCountGrid &grid, Progress &progress, int threads,
                          std::span<const geometry::Volume> volumes) {
    if (raster.N < 8 || raster.N > ShadowCountGrid::kSize || raster.N % 8 != 0)
        throw std::invalid_argument("raster size must be a multiple of 8 from 8 to 2000");
    if (!(stepMinutes > 0.0)) throw std::invalid_argument("the step must be positive");
    grid.Clear();
    PassSummary summary;
    summary.Maximum = InstantCount(startHour, endHour, stepMinutes);
    summary.Sampled = summary.Maximum;
    progress.Start(summary.Maximum);

    // Counting threads sum into grids of their own (the first into `grid`), so the result does
    // not depend on which thread counted what.
    const int workers = std::clamp(threads, 1, 16);
    struct Worker {
        explicit Worker(int n) : bitmap(n) {}
        ShadowBitmap bitmap;
        std::unique_ptr<ShadowCountGrid> own;
    };
    std::vector<std::unique_ptr<Worker>> pool;
    for (int t = 0; t < workers; ++t) {
        pool.push_back(std::make_unique<Worker>(raster.N));
        if (t > 0) pool.back()->own = std::make_unique<ShadowCountGrid>();
    }
    CountInstants(sun, startHour, stepMinutes, workers, progress, summary, [&](int k, double time) {
        Worker &me = *pool[static_cast<std::size_t>(k)];
        return CountWallInstant(edges, wall, sun, time, raster, me.bitmap, me.own ? *me.own : grid,
                                volumes);
    });
    for (auto &w : pool) {
        if (!w->own) continue;
        for (int r = 0; r < raster.N; ++r) {
            std::uint16_t *sum = grid.Row(r).data();
            const std::uint16_t *add = std::as_const(*w->own).Row(r).data();
            for (int c = 0; c < raster.N; ++c) sum[c] = static_cast<std::uint16_t>(sum[c] + add[c]);
        }
    }
    return summary;
}

ToujiHani GetKabeToujiHani(std::span<const TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, double startHour, double endHour,
                           ShadowCountGrid &grid, std::span<const geometry::Volume> volumes) {
    constexpr int n = kExtentRasterSize;
    const double len = WallLength(wall), h = WallHeight(wall), m = WallMargin(len, h);
    double xmin = -m, ymin = -m, xmax = len + m, ymax = h + m;
    const double w = xmax - xmin, ht = ymax - ymin;
    xmin -= w * 0.025;
    xmax += w * 0.025;
    ymin -= ht * 0.025;
    ymax += ht * 0.025;
    const double c = std::max(xmax - xmin, ymax - ymin) / n;
    const RasterGeometry raster{xmin, ymin, c, n};

    ToujiHani result;
    result.Cell = c;
    result.Summary = CountWallPass(edges, wall, sun, raster, kExtentStepMinutes, startHour, endHour,
                                   grid, NoProgress(), 1, volumes);
    // An hour, or every sampled instant when the range is shorter.
    const double threshold = std::max(
        1.0, std::min(60.0 / kExtentStepMinutes, static_cast<double>(result.Summary.Sampled)));
    int minCol = n - 1, maxCol = 0, minRow = n - 1, maxRow = 0;
    for (int r = 0; r < n; ++r) {
        const std::span<const std::uint16_t> row = std::as_const(grid).Row(r);
        for (int col = 0; col < n; ++col) {
            if (row[col] >= threshold - 1e-5) {
                result.Found = true;
                minCol = std::min(minCol, col);
                maxCol = std::max(maxCol, col);
                minRow = std::min(minRow, r);
                maxRow = std::max(maxRow, r);
            }
        }
    }
    result.Rect.XMin = xmin + c * (minCol - 10);
    result.Rect.XMax = xmin + c * (maxCol + 10);
    result.Rect.YMin = ymin + c * (n - maxRow - 11);
    result.Rect.YMax = ymin + c * (n - minRow + 9);
    return result;
}

WallTouji ComputeWallTouji(std::span<const TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, const WallToujiInputs &in,
                           ShadowCountGrid &grid, Progress &progress, int threads,
                           std::span<const geometry::Volume> volumes) {
    WallTouji result;
    result.Hani = GetKabeToujiHani(edges, wall, sun, in.Start, in.End, grid, volumes);
    const int n = in.Interval.RasterSize;
    const double c = FineCellSize(result.Hani.Rect, n);
    if (!result.Hani.Found || !(c > 0.0)) {
        result.Status = WallToujiStatus::NoMesh;
        return result;
    }
    result.Raster = {result.Hani.Rect.XMin, result.Hani.Rect.YMin, c, n};
    const double step = in.Interval.StepMinutes();
    result.Counted = CountWallPass(edges, wall, sun, result.Raster, step, in.Start, in.End, grid,
                                   progress, threads, volumes);
    if (result.Counted.Stopped) {
        result.Status = WallToujiStatus::Stopped;
        return result;
    }

    const double len = WallLength(wall), h = WallHeight(wall);
    ShadowBitmap bitmap(n);
    progress.Start(8);
    bool traced = false;
    for (int k = 0; k < 8; ++k) {
        const int hour = 8 - k;
        char label[16];
        std::snprintf(label, sizeof label, "%d.0Hr", hour);
        progress.Position(k + 1);
        progress.Status(label);
        if (!progress.KeepRunning()) {
            result.Status = WallToujiStatus::Stopped;
            return result;
        }
        ContourHour ch;
        ch.ItemIndex = 2 * hour - 3;
        ch.ItemText = label;
        ch.Hour = hour;
        ch.Threshold = HourThreshold(hour, step);
        ch.WithinRange = hour <= in.End - in.Start;
        const HourExtraction ex = ExtractHour(grid, result.Raster, bitmap, ch, progress);
        if (ex.End == HourEnd::Stopped) {
            result.Status = WallToujiStatus::Stopped;
            return result;
        }
        WallHourLines lines;
        lines.Hour = hour;
        lines.Label = label;
        for (const TracedOutline &o : ex.Outlines) {
            const std::vector<TAcadPoint> points = SmoothOutline(o.Points, in.SmoothingFactor);
            if (points.size() < 2) continue;
            traced = true;
            std::vector<WallChain> chains =
                LabelledChains(ClipOutlineToWall(points, len, h), in.TextHeight, true);
            if (!chains.empty()) lines.Outlines.push_back(std::move(chains));
        }
        result.Hours.push_back(std::move(lines));
    }
    if (!traced) result.Status = WallToujiStatus::NoLine;
    return result;
}

}  // namespace pimu::shadow
