// Tracing the isochronal contours on the counted grid, one hour at a time.
#include "shadow/touji_contour.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "base/numconv.h"
#include "geometry/primitives.h"
#include "geometry/shadow_outline.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;

// A count this close below the threshold reaches it (see CountThreshold).
constexpr double kStartTolerance = 1e-5;
// A lone cell below the threshold amid shaded ones is raster noise, as a lone shaded cell is
// (which gets no line either): a hole needs this many cells to be drawn.
constexpr std::int64_t kFewestHoleCells = 2;

// Neighbour d of cell (row, col) is (row + kRowStep[d], col + kColStep[d]): 0 west, then
// clockwise on the screen through south-west, south, ... to north-west (rows grow southward).
constexpr int kRowStep[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kColStep[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

void CheckRaster(const ShadowCountGrid &, const RasterGeometry &raster,
                 const ShadowBitmap &bitmap) {
    if (raster.N < 8 || raster.N > ShadowCountGrid::kSize)
        throw std::invalid_argument("raster size outside the count grid");
    if (bitmap.Size() != raster.N)
        throw std::invalid_argument("work bitmap does not match the raster size");
}

bool Reaches(std::uint16_t count, double threshold) {
    return static_cast<double>(count) >= threshold;
}

// Calls f(col) for every black pixel of `row`.
template <class F>
void ForEachBlackPixel(const ShadowBitmap &bitmap, int row, F f) {
    const auto line = bitmap.Scanline(row);
    for (std::size_t b = 0; b < line.size(); ++b) {
        const std::uint8_t byte = line[b];
        if (byte == 0xFF) continue;
        for (int k = 0; k < 8; ++k)
            if ((byte & (0x80u >> k)) == 0) f(static_cast<int>(b) * 8 + k);
    }
}

enum class TraceEnd { Closed, Isolated, Border, TooLong, Stopped };

// The cells of an hour's regions as 1 and all others as 0, for tracing the holes apart from the
// grid the regions are erased from.
class CellMask {
public:
    explicit CellMask(int n) : n_(n), cells_(static_cast<std::size_t>(n) * n, 0) {}
    std::uint16_t &At(int row, int col) { return cells_[Index(row, col)]; }
    std::uint16_t At(int row, int col) const { return cells_[Index(row, col)]; }

private:
    std::size_t Index(int row, int col) const {
        return static_cast<std::size_t>(row) * n_ + static_cast<std::size_t>(col);
    }
    int n_;
    std::vector<std::uint16_t> cells_;
};

// Moore-neighbour trace from the start cell until the trace comes back to it. Neighbours outside
// the N x N raster read as 0, so a start on the raster's first row or column is safe. The first
// search begins after direction `from`, a cell outside the region: west of the top-left cell of
// a region, south of the cell above the top-left cell of a hole.
template <class Cells>
class Tracer {
public:
    Tracer(Cells &grid, const RasterGeometry &raster, double threshold, std::uint16_t lowered)
        : grid_(grid), raster_(raster), n_(raster.N), threshold_(threshold), lowered_(lowered) {}

    TraceEnd Trace(int startRow, int startCol, int from, Progress &progress, TracedOutline &out,
                   PixelPoint &isolated) {
        int row = startRow;
        int col = startCol;
        int d = from;
        ReadNeighbours(row, col);
        // A closed trace visits a cell at most once per neighbour; more steps mean a cycle that
        // misses the start, which must not hang the window.
        const std::int64_t maxSteps = 8 * static_cast<std::int64_t>(n_) * n_ + 8;
        for (std::int64_t step = 0;; ++step) {
            if (!progress.KeepRunning()) return Clear(out, TraceEnd::Stopped);
            if (step >= maxSteps) return Clear(out, TraceEnd::TooLong);
            out.Pixels.push_back(PixelPoint{col, row});
            out.Points.push_back(CellPoint(raster_, row, col));

            int found = -1;
            for (int i = 1; i <= 8; ++i) {
                const int dir = (d + i) % 8;
                if (Reaches(neighbours_[dir], threshold_)) {
                    found = dir;
                    break;
                }
            }
            if (found < 0) {
                isolated = PixelPoint{col, row};
                return Clear(out, TraceEnd::Isolated);
            }
            if (found == d && out.Pixels.size() >= 2) {
                // A dead end: the tip is removed from the grid and from the outline, so the way
                // back does not repeat it.
                std::uint16_t &cell = grid_.At(row, col);
                if (Reaches(cell, threshold_)) cell = lowered_;
                out.Pixels.resize(out.Pixels.size() - 2);
                out.Points.resize(out.Points.size() - 2);
            }
            row += kRowStep[found];
            col += kColStep[found];
            d = (found + 4) % 8;
            if (!(row > 0 && row < n_ - 2 && col > 0 && col < n_ - 2))
                return Clear(out, TraceEnd::Border);
            ReadNeighbours(row, col);
            if (row == startRow && col == startCol) return TraceEnd::Closed;
        }
    }

private:
    static TraceEnd Clear(TracedOutline &out, TraceEnd end) {
        out.Pixels.clear();
        out.Points.clear();
        return end;
    }

    std::uint16_t CountAt(int row, int col) const {
        if (row < 0 || row >= n_ || col < 0 || col >= n_) return 0;
        return grid_.At(row, col);
    }

    void ReadNeighbours(int row, int col) {
        for (int dir = 0; dir < 8; ++dir)
            neighbours_[dir] = CountAt(row + kRowStep[dir], col + kColStep[dir]);
    }

    Cells &grid_;
    const RasterGeometry &raster_;
    int n_;
    double threshold_;
    std::uint16_t lowered_;
    std::array<std::uint16_t, 8> neighbours_{};
};

// The cells of an hour as they are when the hour begins: the regions (8-connected cells that
// reach the threshold), numbered from 1 in the order of their top-left cells, and the holes
// (4-connected cells below it closed off from the raster's edge), each with its top-left cell,
// the region around it and its size.
struct HourCells {
    struct Hole {
        int Row = 0;
        int Col = 0;
        std::int32_t Region = 0;
        std::int64_t Cells = 0;
    };
    int N = 0;
    std::int32_t RegionCount = 0;
    std::vector<std::int32_t> Region;  // per cell: its region, 0 outside every region
    std::vector<Hole> Holes;

    std::int32_t RegionAt(int row, int col) const {
        return Region[static_cast<std::size_t>(row) * N + static_cast<std::size_t>(col)];
    }
};

HourCells LabelHourCells(const ShadowCountGrid &grid, int n, double threshold) {
    HourCells cells;
    cells.N = n;
    const std::size_t size = static_cast<std::size_t>(n) * n;
    cells.Region.assign(size, 0);
    auto index = [n](int row, int col) {
        return static_cast<std::size_t>(row) * n + static_cast<std::size_t>(col);
    };
    std::vector<std::pair<int, int>> stack;

    // Regions, 8-connected.
    std::int32_t regions = 0;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            if (cells.Region[index(r, c)] != 0 || !Reaches(grid.At(r, c), threshold)) continue;
            cells.Region[index(r, c)] = ++regions;
            stack.assign(1, {r, c});
            while (!stack.empty()) {
                const auto [row, col] = stack.back();
                stack.pop_back();
                for (int dir = 0; dir < 8; ++dir) {
                    const int rr = row + kRowStep[dir], cc = col + kColStep[dir];
                    if (rr < 0 || rr >= n || cc < 0 || cc >= n) continue;
                    std::int32_t &label = cells.Region[index(rr, cc)];
                    if (label != 0 || !Reaches(grid.At(rr, cc), threshold)) continue;
                    label = regions;
                    stack.push_back({rr, cc});
                }
            }
        }
    }

    // The ground below the threshold: what reaches the raster's edge, even through the corner
    // between two diagonal cells, is outside every region (a notch in the line open at a corner is
    // raster noise, not a hole); the rest, in 4-connected pieces, are holes.
    enum : std::uint8_t { Unseen, Seen };
    std::vector<std::uint8_t> seen(size, Unseen);
    auto flood = [&](int r, int c, int dirStep) {
        std::int64_t count = 1;
        seen[index(r, c)] = Seen;
        stack.assign(1, {r, c});
        while (!stack.empty()) {
            const auto [row, col] = stack.back();
            stack.pop_back();
            for (int dir = 0; dir < 8; dir += dirStep) {
                const int rr = row + kRowStep[dir], cc = col + kColStep[dir];
                if (rr < 0 || rr >= n || cc < 0 || cc >= n) continue;
                if (seen[index(rr, cc)] == Seen || cells.Region[index(rr, cc)] != 0) continue;
                seen[index(rr, cc)] = Seen;
                stack.push_back({rr, cc});
                ++count;
            }
        }
        return count;
    };
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const bool edge = r == 0 || c == 0 || r == n - 1 || c == n - 1;
            if (edge && cells.Region[index(r, c)] == 0 && seen[index(r, c)] == Unseen)
                flood(r, c, 1);
        }
    }
    for (int r = 1; r < n - 1; ++r) {
        for (int c = 1; c < n - 1; ++c) {
            if (cells.Region[index(r, c)] != 0 || seen[index(r, c)] == Seen) continue;
            // The first cell of a hole in raster order: the cell above it belongs to the region
            // around the hole (a region inside the hole lies lower down).
            const std::int32_t around = cells.RegionAt(r - 1, c);
            cells.Holes.push_back({r, c, around, flood(r, c, 2)});
        }
    }
    cells.RegionCount = regions;
    return cells;
}

// Lowers the traced region so that the next start search passes over it: first the cells around
// the outline's pixels, then every cell of the region inside the filled outline (a region lying in
// one of its holes stays for an attempt of its own). Only the rows of the outline are visited,
// and they are left white again.
void EraseRegion(ShadowCountGrid &grid, int n, ShadowBitmap &bitmap,
                 const std::vector<PixelPoint> &pixels, double threshold, std::uint16_t lowered,
                 const HourCells &cells, std::int32_t region) {
    auto lower = [&](int row, int col) {
        std::uint16_t &cell = grid.At(row, col);
        if (Reaches(cell, threshold)) cell = lowered;
    };
    int top = n - 1, bottom = 0;
    for (const PixelPoint &p : pixels) {
        top = std::min(top, static_cast<int>(p.y));
        bottom = std::max(bottom, static_cast<int>(p.y));
    }
    top = std::max(top, 0);
    bottom = std::min(bottom, n - 1);
    bitmap.SetColor(PixelColor::Black);
    bitmap.DrawPolyline(pixels);
    for (int r = std::max(top, 1); r <= std::min(bottom, n - 2); ++r) {
        ForEachBlackPixel(bitmap, r, [&](int c) {
            for (int dir = 0; dir < 8; ++dir) {
                const int rr = r + kRowStep[dir];
                const int cc = c + kColStep[dir];
                if (cc >= 0 && cc < n) lower(rr, cc);
            }
        });
    }
    bitmap.FillPolygon(pixels);
    for (int r = top; r <= bottom; ++r) {
        ForEachBlackPixel(bitmap, r, [&](int c) {
            if (cells.RegionAt(r, c) == region) lower(r, c);
        });
        std::fill(bitmap.Scanline(r).begin(), bitmap.Scanline(r).end(), std::uint8_t{0xFF});
    }
}

}  // namespace

std::string HourItemText(int index) {
    if (index < 0 || index >= kHourItemCount)
        throw std::invalid_argument("hour item index out of range");
    const int tenths = 15 + 5 * index;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "Hr";
}

double HourOfItemText(std::string_view itemText) {
    double hour = 0.0;
    if (!TryParseNumber(itemText.substr(0, 3), hour))
        throw std::invalid_argument("hour item without an hour: " + std::string(itemText));
    return hour;
}

double HourThreshold(double hour, double stepMinutes) {
    return hour * 60.0 / stepMinutes;
}

double CountThreshold(double threshold) {
    return std::ceil(threshold - kStartTolerance);
}

std::uint16_t LoweredCount(double threshold) {
    const double v = std::trunc(threshold) - 1.0;
    if (!(v > 0.0)) return 0;
    if (v >= std::numeric_limits<std::uint16_t>::max())
        return std::numeric_limits<std::uint16_t>::max();
    return static_cast<std::uint16_t>(v);
}

geometry::TAcadPoint CellPoint(const RasterGeometry &raster, int row, int col) {
    return TAcadPoint{raster.X0 + raster.Cell * col, raster.Y0 + raster.Cell * (raster.N - row),
                      0.0};
}

ContourHour MakeContourHour(int itemIndex, double stepMinutes, double startHour, double endHour) {
    ContourHour hour;
    hour.ItemIndex = itemIndex;
    hour.ItemText = HourItemText(itemIndex);
    hour.Hour = HourOfItemText(hour.ItemText);
    hour.Threshold = HourThreshold(hour.Hour, stepMinutes);
    hour.WithinRange = hour.Hour <= endHour - startHour;
    return hour;
}

HourExtraction ExtractHour(ShadowCountGrid &grid, const RasterGeometry &raster,
                           ShadowBitmap &bitmap, const ContourHour &hour, Progress &progress) {
    CheckRaster(grid, raster, bitmap);
    const int n = raster.N;
    const double threshold = CountThreshold(hour.Threshold);
    const std::uint16_t lowered = LoweredCount(hour.Threshold);
    const HourCells cells = LabelHourCells(grid, n, threshold);
    std::vector<bool> traced(static_cast<std::size_t>(cells.RegionCount) + 1, false);
    Tracer tracer(grid, raster, threshold, lowered);
    HourExtraction result;
    auto finish = [&](HourEnd end) {
        result.End = end;
        return result;
    };
    bitmap.Clear(PixelColor::White);

    bool havePrevious = false;
    int previousRow = 0;
    int previousCol = 0;
    HourEnd end = HourEnd::NoStart;
    for (;;) {
        // Cells are only ever lowered, so everything before the previous start is still below
        // the threshold and the search can resume there.
        int startRow = -1;
        int startCol = -1;
        for (int r = havePrevious ? previousRow : 0; r <= n - 2 && startRow < 0; ++r) {
            if (!progress.KeepRunning()) return finish(HourEnd::Stopped);
            const auto row = grid.Row(r);
            for (int c = (havePrevious && r == previousRow) ? previousCol : 0; c <= n - 2; ++c) {
                if (Reaches(row[c], threshold)) {
                    startRow = r;
                    startCol = c;
                    break;
                }
            }
        }
        if (startRow < 0) break;
        if (havePrevious && startRow == previousRow && startCol == previousCol) {
            end = HourEnd::SameStart;
            break;
        }
        havePrevious = true;
        previousRow = startRow;
        previousCol = startCol;

        TracedOutline outline;
        PixelPoint isolated{startCol, startRow};
        const TraceEnd traceEnd = tracer.Trace(startRow, startCol, 0, progress, outline, isolated);
        if (traceEnd == TraceEnd::Stopped) return finish(HourEnd::Stopped);
        if (traceEnd == TraceEnd::Border || traceEnd == TraceEnd::TooLong) {
            end = traceEnd == TraceEnd::Border ? HourEnd::Border : HourEnd::TooLong;
            break;
        }
        if (traceEnd == TraceEnd::Isolated || outline.Pixels.empty()) {
            // A region of one or two cells (the tracer's dead-end rule takes the tip of a
            // two-cell region and leaves a lone cell): its line is the square round its cells,
            // half a cell out. The cells are taken out and the search goes on.
            const std::int32_t region = cells.RegionAt(isolated.y, isolated.x);
            int r0 = n, r1 = -1, c0 = n, c1 = -1;
            for (int r = std::max(0, isolated.y - 2); r <= std::min(n - 1, isolated.y + 2); ++r)
                for (int c = std::max(0, isolated.x - 2); c <= std::min(n - 1, isolated.x + 2);
                     ++c) {
                    if (region == 0 || cells.RegionAt(r, c) != region) continue;
                    r0 = std::min(r0, r);
                    r1 = std::max(r1, r);
                    c0 = std::min(c0, c);
                    c1 = std::max(c1, c);
                    outline.Pixels.push_back(PixelPoint{c, r});
                    std::uint16_t &cell = grid.At(r, c);
                    if (Reaches(cell, threshold)) cell = lowered;
                }
            std::uint16_t &cell = grid.At(isolated.y, isolated.x);
            if (Reaches(cell, threshold)) cell = lowered;
            if (r1 < 0 || traced[static_cast<std::size_t>(region)]) continue;
            const double half = raster.Cell / 2.0;
            const TAcadPoint low = CellPoint(raster, r1, c0), high = CellPoint(raster, r0, c1);
            outline.Points = {{low.x - half, low.y - half, 0.0},
                              {high.x + half, low.y - half, 0.0},
                              {high.x + half, high.y + half, 0.0},
                              {low.x - half, high.y + half, 0.0}};
            traced[static_cast<std::size_t>(region)] = true;
            result.Outlines.push_back(std::move(outline));
            continue;
        }
        const std::int32_t region = cells.RegionAt(startRow, startCol);
        EraseRegion(grid, n, bitmap, outline.Pixels, threshold, lowered, cells, region);
        traced[static_cast<std::size_t>(region)] = true;
        result.Outlines.push_back(std::move(outline));
    }

    // The holes of the regions traced, on the cells as they were when the hour began.
    std::optional<CellMask> mask;
    for (const HourCells::Hole &hole : cells.Holes) {
        if (!traced[static_cast<std::size_t>(hole.Region)] || hole.Cells < kFewestHoleCells)
            continue;
        if (!mask) {
            mask.emplace(n);
            for (int r = 0; r < n; ++r)
                for (int c = 0; c < n; ++c) mask->At(r, c) = cells.RegionAt(r, c) != 0 ? 1 : 0;
        }
        Tracer<CellMask> holeTracer(*mask, raster, 1.0, 0);
        TracedOutline outline;
        PixelPoint unused;
        switch (holeTracer.Trace(hole.Row - 1, hole.Col, 2, progress, outline, unused)) {
            case TraceEnd::Stopped:
                return finish(HourEnd::Stopped);
            case TraceEnd::Border:
            case TraceEnd::TooLong:
                if (end == HourEnd::NoStart) end = HourEnd::TooLong;
                break;
            case TraceEnd::Closed:
            case TraceEnd::Isolated:
                if (!outline.Pixels.empty()) result.Holes.push_back(std::move(outline));
                break;
        }
    }
    return finish(end);
}

std::vector<TAcadPoint> SmoothOutline(std::span<const TAcadPoint> points, int factor) {
    const int n = static_cast<int>(points.size());
    const int s = factor;
    if (s < 1 || n <= s + 2) return {points.begin(), points.end()};

    // The outline is closed: the first s points follow the last one again.
    std::vector<TAcadPoint> p(points.begin(), points.end());
    for (int k = 0; k < s; ++k) p.push_back(points[k]);
    const int total = n + s;

    std::vector<TAcadPoint> kept;
    TAcadPoint back = p[total - 1];
    int i = 0;
    for (;;) {
        kept.push_back(p[i]);
        int j = 1;
        double best = 0.0;
        bool any = false;
        for (int k = 1; k <= s; ++k) {
            const double a = geometry::TurnAngle(back, p[i], p[i + k], false);
            if (a >= geometry::kHalfPi && (!any || a < best)) {
                any = true;
                best = a;
                j = k;
            }
        }
        back = p[i];
        if (i + j + s >= total - 1) break;
        i += j;
    }

    std::vector<TAcadPoint> result;
    result.reserve(kept.size());
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const bool inner = k > 0 && k + 1 < kept.size();
        if (inner && geometry::Collinear4(kept[k - 1], kept[k], kept[k], kept[k + 1])) continue;
        result.push_back(kept[k]);
    }
    return result;
}

TAcadPoint LabelPoint(std::span<const TAcadPoint> points, double northAngle) {
    if (points.empty()) throw std::invalid_argument("label point of an empty outline");
    // y after turning the drawing counter-clockwise by pi/2 - north, so that north points up.
    const double a = geometry::kHalfPi - northAngle;
    const double sinA = std::sin(a);
    const double cosA = std::cos(a);
    TAcadPoint best = points.front();
    double bestY = -std::numeric_limits<double>::infinity();
    for (const TAcadPoint &p : points) {
        const double y = p.x * sinA + p.y * cosA;
        if (y >= bestY) {
            bestY = y;
            best = p;
        }
    }
    return best;
}

ContourRun TraceToujiContours(ShadowCountGrid &grid, const RasterGeometry &raster,
                              ShadowBitmap &bitmap, const ContourSettings &settings,
                              Progress &progress) {
    if (!(settings.StepMinutes > 0.0) || !std::isfinite(settings.StepMinutes))
        throw std::invalid_argument("evaluation step must be a positive number of minutes");
    CheckRaster(grid, raster, bitmap);
    const double north = settings.TrueNorthDegrees * geometry::kDegToRad;

    ContourRun run;
    progress.Start(kHourItemCount);
    int position = 0;
    for (int index = kHourItemCount - 1; index >= 0; --index) {
        progress.Position(++position);
        if (!progress.KeepRunning()) {
            run.Stopped = true;
            break;
        }
        if (!settings.Checked[static_cast<std::size_t>(index)]) continue;
        const ContourHour hour =
            MakeContourHour(index, settings.StepMinutes, settings.StartHour, settings.EndHour);
        progress.Status(hour.ItemText);

        HourExtraction extraction = ExtractHour(grid, raster, bitmap, hour, progress);
        auto add = [&](const TracedOutline &traced, bool hole) {
            std::vector<TAcadPoint> points =
                settings.Smoothing ? SmoothOutline(traced.Points, settings.SmoothingFactor)
                                   : traced.Points;
            if (points.size() < 2) return;
            ToujiOutline outline;
            outline.ItemIndex = index;
            outline.ItemText = hour.ItemText;
            outline.Color = HourColor(index);
            outline.Label = LabelPoint(points, north);
            outline.Points = std::move(points);
            outline.Hole = hole;
            run.Outlines.push_back(std::move(outline));
        };
        for (const TracedOutline &traced : extraction.Outlines) add(traced, false);
        for (const TracedOutline &traced : extraction.Holes) add(traced, true);
        if (extraction.End == HourEnd::Border || extraction.End == HourEnd::TooLong)
            run.Issues.push_back({index, hour.ItemText, extraction.End, hour.WithinRange});
        if (extraction.End == HourEnd::Stopped) {
            run.Stopped = true;
            break;
        }
    }
    return run;
}

}  // namespace pimu::shadow
