// Painting and counting the shadow of the buildings, one instant at a time.
#include "shadow/touji_raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "geometry/primitives.h"
#include "shadow/counting_loop.h"
#include "shadow/shadow_direction.h"
#include "shadow/touji_runs.h"
#include "solar/timetext.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;
using geometry::TLineEnt;

// Pixel coordinates, unrounded.
struct PixelXY {
    double x;
    double y;
};

// Vertices farther out than this are clipped to a box kClipMargin beyond the raster before they
// are rounded, so that the bitmap only ever sees coordinates it can handle exactly.
constexpr double kFarLimit = 1 << 28;
constexpr double kClipMargin = 1 << 20;

// Sutherland-Hodgman clip of `poly` to one half-plane; `inside(p)` and `cut(a, b)` describe it.
template <class Inside, class Cut>
void ClipHalfPlane(std::vector<PixelXY> &poly, Inside inside, Cut cut) {
    std::vector<PixelXY> out;
    for (std::size_t i = 0; i < poly.size(); ++i) {
        const PixelXY a = poly[(i + poly.size() - 1) % poly.size()];
        const PixelXY b = poly[i];
        if (inside(b)) {
            if (!inside(a)) out.push_back(cut(a, b));
            out.push_back(b);
        } else if (inside(a)) {
            out.push_back(cut(a, b));
        }
    }
    poly.swap(out);
}

void ClipToBox(std::vector<PixelXY> &poly, double lo, double hi) {
    auto atX = [](PixelXY a, PixelXY b, double x) {
        return PixelXY{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)};
    };
    auto atY = [](PixelXY a, PixelXY b, double y) {
        return PixelXY{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y};
    };
    ClipHalfPlane(
        poly, [lo](PixelXY p) { return p.x >= lo; },
        [&](PixelXY a, PixelXY b) { return atX(a, b, lo); });
    ClipHalfPlane(
        poly, [hi](PixelXY p) { return p.x <= hi; },
        [&](PixelXY a, PixelXY b) { return atX(a, b, hi); });
    ClipHalfPlane(
        poly, [lo](PixelXY p) { return p.y >= lo; },
        [&](PixelXY a, PixelXY b) { return atY(a, b, lo); });
    ClipHalfPlane(
        poly, [hi](PixelXY p) { return p.y <= hi; },
        [&](PixelXY a, PixelXY b) { return atY(a, b, hi); });
}

PixelPoint Rounded(PixelXY p) {
    return {static_cast<std::int32_t>(geometry::RoundHalfAway(p.x)),
            static_cast<std::int32_t>(geometry::RoundHalfAway(p.y))};
}

// A pixel index clamped to [lo, hi] while still a double, so no cast can overflow.
int ClampedIndex(double pixel, int lo, int hi) {
    const double r = geometry::RoundHalfAway(pixel);
    if (std::isnan(r) || r <= lo) return lo;
    if (r >= hi) return hi;
    return static_cast<int>(r);
}

void CheckRasterSize(int n) {
    if (n < 8 || n > ShadowCountGrid::kSize || n % 8 != 0) {
        throw std::invalid_argument("raster size must be a multiple of 8 from 8 to 2000");
    }
}

// Quadrilaterals continuing each other painted as one ring from this many on.
constexpr std::size_t kLongRun = 64;

// 1 when the quadrilateral turns left at every vertex, -1 when right at every one, else 0.
inline int StrictTurn(const std::array<TAcadPoint, 4> &q) {
    int sign = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const TAcadPoint a = q[i], b = q[(i + 1) & 3], c = q[(i + 2) & 3];
        const double turn = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        const int s = turn > 0.0 ? 1 : turn < 0.0 ? -1 : 0;
        if (s == 0 || (sign != 0 && s != sign)) return 0;
        sign = s;
    }
    return sign;
}

template <class Paint>
bool ForEachShadowPolygon(std::span<const TLineEnt> edges,
                          std::span<const geometry::Volume> volumes, const solar::SolarState &sun,
                          double time, double planeHeight, const RasterGeometry &raster,
                          PaintedRange &range, Paint paint) {
    if (edges.empty() || !(raster.Cell > 0.0) || !std::isfinite(raster.Cell) ||
        !std::isfinite(raster.X0) || !std::isfinite(raster.Y0)) {
        return false;
    }
    const solar::SunResult pos = solar::SunPosition(sun, time);
    if (!CastsShadows(pos)) return false;
    const double theta = solar::ShadowAngle(sun, pos.Azimuth);

    const double n = raster.N;
    auto toPixel = [&](const TAcadPoint &p) {
        return PixelXY{(p.x - raster.X0) / raster.Cell, n - (p.y - raster.Y0) / raster.Cell};
    };

    // The box starts at the first edge's foot, painted or not; a box that only grows cannot
    // lose painted pixels, and scanning a little more white costs nothing.
    constexpr double inf = std::numeric_limits<double>::infinity();
    double xmin = inf, xmax = -inf, ymin = inf, ymax = -inf;
    auto extend = [&](const TAcadPoint &p) {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    };

    if (std::isfinite(edges[0].st.x) && std::isfinite(edges[0].st.y)) extend(edges[0].st);

    std::vector<PixelXY> clipped;
    std::vector<PixelPoint> far;
    // Paints one polygon given in drawing units, unless a vertex is not finite.
    // A long ring (see below) drops the vertices that round to the pixel before them.
    const auto paintPolygon = [&](std::span<const TAcadPoint> polygon, bool dropRepeats = false) {
        clipped.clear();
        bool near = true;
        for (const TAcadPoint &p : polygon) {
            const PixelXY q = toPixel(p);
            if (!std::isfinite(q.x) || !std::isfinite(q.y)) return;
            near = near && std::fabs(q.x) <= kFarLimit && std::fabs(q.y) <= kFarLimit;
            clipped.push_back(q);
        }
        for (const TAcadPoint &p : polygon) extend(p);
        if (!near) ClipToBox(clipped, -kClipMargin, n + kClipMargin);
        if (clipped.empty()) return;
        far.clear();
        for (const PixelXY &p : clipped) {
            const PixelPoint q = Rounded(p);
            if (dropRepeats && !far.empty() && far.back() == q) continue;
            far.push_back(q);
        }
        paint(std::span<const PixelPoint>(far));
    };
    const ShadowDirection dir(theta);
    const auto cast = [&](TAcadPoint p, double z) {
        return dir.Cast(p.x, p.y, z, planeHeight, pos.Ratio);
    };
    // A long run of quadrilaterals that continue each other, each strictly convex and all turning
    // the same way (a finely drawn curved outline), is painted as one ring, the feet forward and
    // the shadows back: as every edge of the run faces the sun the same way, the ring is simple
    // and encloses exactly their union, and a polygon of n vertices costs its rows, not n times
    // the rows of each quadrilateral. Shorter runs are painted quadrilateral by quadrilateral.
    std::vector<std::array<TAcadPoint, 4>> run;
    int runTurn = 0;
    std::vector<TAcadPoint> sweep;
    const auto flush = [&] {
        if (run.size() >= kLongRun) {
            sweep.clear();
            sweep.push_back(run.front()[0]);
            for (const auto &q : run) sweep.push_back(q[1]);
            for (auto q = run.rbegin(); q != run.rend(); ++q) sweep.push_back((*q)[2]);
            sweep.push_back(run.front()[3]);
            paintPolygon(sweep, true);
        } else {
            for (const auto &q : run) paintPolygon(q);
        }
        run.clear();
    };
    for (const TLineEnt &e : edges) {
        if (!(e.st.z > planeHeight && e.ed.z > planeHeight)) continue;
        const std::array<TAcadPoint, 4> quad{cast(e.st, e.base), cast(e.ed, e.base),
                                             cast(e.ed, e.ed.z), cast(e.st, e.st.z)};
        const int turn = StrictTurn(quad);
        if (turn == 0) {  // a vertical edge's line, or a quadrilateral that is no run's
            paintPolygon(quad);
            continue;
        }
        if (!run.empty() &&
            (turn != runTurn || run.back()[1] != quad[0] || run.back()[2] != quad[3]))
            flush();
        runTurn = turn;
        run.push_back(quad);
    }
    flush();
    // The underside of each volume raised above the plane, cast on it. (A courtyard in a raised
    // volume is painted with it: the count errs on the shaded side there.)
    std::vector<TAcadPoint> ring;
    for (const geometry::Volume &v : volumes) {
        if (!(v.bottom > planeHeight && v.top > v.bottom) || v.footprint.size() < 3) continue;
        ring.clear();
        for (const TAcadPoint &p : v.footprint) ring.push_back(cast(p, v.bottom));
        paintPolygon(ring);
    }

    const int last = raster.N - 1;
    range.MinCol = ClampedIndex((xmin - raster.X0) / raster.Cell, 0, raster.N);
    range.MaxCol = ClampedIndex((xmax - raster.X0) / raster.Cell, -1, last);
    range.MinRow = ClampedIndex(n - (ymax - raster.Y0) / raster.Cell, 0, raster.N);
    range.MaxRow = ClampedIndex(n - (ymin - raster.Y0) / raster.Cell, -1, last);
    return true;
}

}  // namespace

bool PaintShadowBitmap(std::span<const TLineEnt> edges, const solar::SolarState &sun, double time,
                       double planeHeight, const RasterGeometry &raster, ShadowBitmap &bitmap,
                       PaintedRange &range, std::span<const geometry::Volume> volumes) {
    if (raster.N != bitmap.Size()) {
        throw std::invalid_argument("raster size differs from the bitmap's size");
    }
    return ForEachShadowPolygon(
        edges, volumes, sun, time, planeHeight, raster, range,
        [&](std::span<const PixelPoint> polygon) { bitmap.FillPolygon(polygon); });
}

bool CountShadowRuns(std::span<const TLineEnt> edges, const solar::SolarState &sun, double time,
                     double planeHeight, const RasterGeometry &raster, RunCounter &counter,
                     std::span<const geometry::Volume> volumes) {
    if (raster.N != counter.Size()) {
        throw std::invalid_argument("raster size differs from the counter's size");
    }
    PaintedRange unused;
    const bool painted = ForEachShadowPolygon(
        edges, volumes, sun, time, planeHeight, raster, unused,
        [&](std::span<const PixelPoint> polygon) { counter.AddPolygon(polygon); });
    if (painted) counter.EndInstant();
    return painted;
}

void CountShadowBitmap(const ShadowBitmap &bitmap, const PaintedRange &range,
                       ShadowCountGrid &grid) {
    if (bitmap.Size() > ShadowCountGrid::kSize) {
        throw std::invalid_argument("bitmap larger than the count grid");
    }
    const int lastByte = bitmap.BytesPerRow() - 1;
    const int firstByte = std::max(range.MinCol, 0) / 8;
    // The walk stops after the first byte that starts beyond MaxCol; beyond it all is white.
    const int endByte = std::min(range.MaxCol / 8 + 1, lastByte);
    if (range.MaxCol < 0) return;
    const int lastRow = std::min(range.MaxRow, bitmap.Size() - 1);
    for (int r = std::max(range.MinRow, 0); r <= lastRow; ++r) {
        const std::uint8_t *line = bitmap.Scanline(r).data();
        std::uint16_t *counts = grid.Row(r).data();
        for (int b = firstByte; b <= endByte; ++b) {
            const std::uint8_t v = line[b];
            if (v == 0xFF) continue;
            std::uint16_t *cell = counts + b * 8;
            if (v == 0) {
                for (int k = 0; k < 8; ++k) ++cell[k];
            } else {
                for (int k = 0; k < 8; ++k) {
                    if ((v & (0x80 >> k)) == 0) ++cell[k];
                }
            }
        }
    }
}

bool CountShadowInstant(std::span<const TLineEnt> edges, const solar::SolarState &sun, double time,
                        double planeHeight, const RasterGeometry &raster, ShadowBitmap &bitmap,
                        ShadowCountGrid &grid, std::span<const geometry::Volume> volumes) {
    bitmap.Clear(PixelColor::White);
    bitmap.SetColor(PixelColor::Black);
    PaintedRange range;
    if (!PaintShadowBitmap(edges, sun, time, planeHeight, raster, bitmap, range, volumes))
        return false;
    CountShadowBitmap(bitmap, range, grid);
    return true;
}

PassSummary CountFinePass(std::span<const TLineEnt> edges, const solar::SolarState &sun,
                          const Extent &extent, double planeHeight, int n, double stepMinutes,
                          double startHour, double endHour, ShadowCountGrid &grid,
                          Progress &progress, RasterGeometry &raster, int threads,
                          std::span<const geometry::Volume> volumes) {
    CheckRasterSize(n);
    if (!(stepMinutes > 0.0)) throw std::invalid_argument("the step must be positive");
    grid.Clear();
    raster.X0 = extent.XMin;
    raster.Y0 = extent.YMin;
    raster.Cell = FineCellSize(extent, n);
    raster.N = n;

    PassSummary summary;
    summary.Maximum = InstantCount(startHour, endHour, stepMinutes);
    summary.Sampled = summary.Maximum;
    progress.Start(summary.Maximum);

    // The counts are sums: the grid is the same whatever thread counted which instant.
    std::vector<RunCounter> counters;
    const int workers = std::max(threads, 1);
    counters.reserve(static_cast<std::size_t>(workers));
    for (int k = 0; k < workers; ++k) counters.emplace_back(n);
    CountInstants(sun, startHour, stepMinutes, workers, progress, summary, [&](int k, double time) {
        return CountShadowRuns(edges, sun, time, planeHeight, raster,
                               counters[static_cast<std::size_t>(k)], volumes);
    });
    for (RunCounter &c : counters) c.AddTo(grid);
    return summary;
}

void CountFootprints(std::span<const geometry::Volume> volumes, double planeHeight,
                     const RasterGeometry &raster, int count, ShadowCountGrid &grid) {
    const int n = raster.N;
    if (n <= 0 || n > ShadowCountGrid::kSize || !(raster.Cell > 0.0) || count <= 0) return;
    const auto value = static_cast<std::uint16_t>(std::min(count, 65535));
    std::vector<bool> done(volumes.size(), false);
    std::vector<double> xs;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (done[i] || !(volumes[i].top > planeHeight) || volumes[i].bottom > planeHeight) continue;
        // The volumes of this height, taken together.
        std::vector<std::size_t> group;
        double ymin = std::numeric_limits<double>::infinity(), ymax = -ymin;
        for (std::size_t j = i; j < volumes.size(); ++j) {
            if (done[j] || volumes[j].top != volumes[i].top ||
                volumes[j].bottom != volumes[i].bottom)
                continue;
            done[j] = true;
            group.push_back(j);
            for (const TAcadPoint &p : volumes[j].footprint) {
                ymin = std::min(ymin, p.y);
                ymax = std::max(ymax, p.y);
            }
        }
        if (!(ymin <= ymax)) continue;
        // Row r samples y = Y0 + Cell * (N - r).
        const int r0 =
            std::max(0, static_cast<int>(std::floor(n - (ymax - raster.Y0) / raster.Cell)));
        const int r1 =
            std::min(n - 1, static_cast<int>(std::ceil(n - (ymin - raster.Y0) / raster.Cell)));
        for (int r = r0; r <= r1; ++r) {
            const double y = raster.Y0 + raster.Cell * (n - r);
            xs.clear();
            for (std::size_t j : group) {
                const std::vector<TAcadPoint> &ring = volumes[j].footprint;
                for (std::size_t k = 0; k < ring.size(); ++k) {
                    const TAcadPoint a = ring[k], b = ring[(k + 1) % ring.size()];
                    if ((a.y > y) == (b.y > y)) continue;
                    xs.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
                }
            }
            std::sort(xs.begin(), xs.end());
            std::span<std::uint16_t> row = grid.Row(r);
            for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
                const int c0 =
                    std::max(0, static_cast<int>(std::ceil((xs[k] - raster.X0) / raster.Cell)));
                const int c1 = std::min(
                    n - 1, static_cast<int>(std::floor((xs[k + 1] - raster.X0) / raster.Cell)));
                for (int c = c0; c <= c1; ++c)
                    row[static_cast<std::size_t>(c)] =
                        std::max(row[static_cast<std::size_t>(c)], value);
            }
        }
    }
}

ToujiHani GetToujiHani(std::span<const TLineEnt> edges, const solar::SolarState &sun,
                       double planeHeight, double startHour, double endHour, double referenceHour,
                       const Extent &pimuHani, ShadowCountGrid &grid, Progress &progress,
                       std::span<const geometry::Volume> volumes) {
    constexpr int n = kExtentRasterSize;
    grid.Clear();
    double xmin = pimuHani.XMin, ymin = pimuHani.YMin, xmax = pimuHani.XMax, ymax = pimuHani.YMax;
    xmin -= (xmax - xmin) * 0.025;
    ymin -= (ymax - ymin) * 0.025;
    xmax += (xmax - xmin) * 0.0244;
    ymax += (ymax - ymin) * 0.0244;
    const double c = std::max(xmax - xmin, ymax - ymin) / n;
    const RasterGeometry raster{xmin, ymin, c, n};

    ShadowBitmap bitmap(n);
    ToujiHani result;
    result.Cell = c;
    PassSummary &summary = result.Summary;
    summary.Maximum = InstantCount(startHour, endHour, kExtentStepMinutes);
    summary.Sampled = summary.Maximum;
    progress.Start(summary.Maximum);
    for (int k = 0; k < summary.Maximum; ++k) {
        const double time = InstantTime(startHour, kExtentStepMinutes, k);
        progress.Position(k + 1);
        if (!progress.KeepRunning()) {
            summary.Stopped = true;  // a stop ends the pass at once: its frame is not used
            break;
        }
        if (!CastsShadows(solar::SunPosition(sun, time))) {
            ++summary.SkippedNoSun;
            continue;
        }
        if (CountShadowInstant(edges, sun, time, planeHeight, raster, bitmap, grid, volumes)) {
            ++summary.Counted;
        }
    }

    // A range shorter than the reference hour frames the cells shaded at every instant.
    const double threshold =
        std::max(1.0, std::min(referenceHour * 60.0 / 2.0, static_cast<double>(summary.Sampled)));
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

EvaluationInterval EvaluationIntervalFor(int index, bool tenth) {
    if (index < 0 || index > 3) index = 3;
    EvaluationInterval e{MeshSizeTable[index], IntervalTable[index]};
    if (tenth) e.Seconds = std::max(e.Seconds / 10, 1);
    return e;
}

}  // namespace pimu::shadow
