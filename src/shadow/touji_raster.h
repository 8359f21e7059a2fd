// The isochronal shadow-time raster: every cell counts the evaluation instants at which it lies
// in the buildings' shadow on the measurement plane. The extent pass (GetToujiHani) finds where
// the fine pass has to look; the fine pass (CountFinePass) fills the grid the contours are traced
// from.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/types.h"
#include "shadow/instants.h"
#include "shadow/shadow_bitmap.h"
#include "solar/sun.h"

namespace pimu::shadow {

// Counters of shaded instants, row-major. Row 0 is the northern (greatest y) edge of the raster,
// column 0 its western edge. A pass over an N x N raster uses rows and columns 0..N-1 only. The
// owner allocates it once (8 MB) and hands it to every pass.
class ShadowCountGrid {
public:
    static constexpr int kSize = 2000;

    ShadowCountGrid() : counts_(static_cast<std::size_t>(kSize) * kSize, 0) {}

    void Clear() { std::fill(counts_.begin(), counts_.end(), std::uint16_t{0}); }

    std::uint16_t &At(int row, int col) { return counts_[Index(row, col)]; }
    std::uint16_t At(int row, int col) const { return counts_[Index(row, col)]; }
    std::span<std::uint16_t> Row(int row) { return {counts_.data() + Index(row, 0), kSize}; }
    std::span<const std::uint16_t> Row(int row) const {
        return {counts_.data() + Index(row, 0), kSize};
    }

    friend bool operator==(const ShadowCountGrid &, const ShadowCountGrid &) = default;

private:
    static std::size_t Index(int row, int col) {
        return static_cast<std::size_t>(row) * kSize + static_cast<std::size_t>(col);
    }
    std::vector<std::uint16_t> counts_;
};

// A square raster laid over the drawing: origin (X0, Y0) in mm, cell size, N cells a side.
// A drawing point (x, y) falls on pixel column (x - X0) / Cell and row N - (y - Y0) / Cell, each
// rounded half away from zero.
struct RasterGeometry {
    double X0 = 0.0;
    double Y0 = 0.0;
    double Cell = 0.0;
    int N = 0;
};

// A rectangle in drawing units.
struct Extent {
    double XMin = 0.0;
    double YMin = 0.0;
    double XMax = 0.0;
    double YMax = 0.0;
};

// The pixel rows and columns an instant's painting can have touched, clamped to the raster.
// An instant that paints nothing inside the raster may give MinCol > MaxCol or MinRow > MaxRow.
struct PaintedRange {
    int MinCol = 0;
    int MaxCol = 0;
    int MinRow = 0;
    int MaxRow = 0;
};

// A sun that casts real shadows: inside the computed daytime window and above the horizon.
// Outside the window SunPosition answers with a made-up sun (due south, 45 degrees) and below the
// horizon with a negative ratio; counting either would draw lines that are plainly wrong.
inline bool CastsShadows(const solar::SunResult &sun) {
    return sun.Ok && sun.Ratio >= 0.0 && std::isfinite(sun.Ratio);
}

// Paints, in the bitmap's current colour, the shadow that every building edge casts at `time`
// (hours) on the plane at `planeHeight` (mm): for each edge with both ends strictly above the
// plane, the quadrilateral of its feet (at its base, see ShadowQuad) and its shadow, outline
// included (see ShadowBitmap::FillPolygon), and the underside of each of `volumes` raised above
// the plane, cast on it. Edges with an end at or below the plane cast nothing.
// On success writes the touched range and returns true. Returns false, painting nothing and
// leaving `range` alone, when there are no edges, the cell size is not positive (or the raster is
// not finite), or the sun casts no shadows at that time (CastsShadows).
// Throws std::invalid_argument when raster.N differs from the bitmap's size.
bool PaintShadowBitmap(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun,
                       double time, double planeHeight, const RasterGeometry &raster,
                       ShadowBitmap &bitmap, PaintedRange &range,
                       std::span<const geometry::Volume> volumes = {});

// Adds 1 to the counter of every black pixel of the bitmap inside `range`, walking whole bytes:
// a byte of 0 adds to eight cells at once, a byte of 255 is passed over. Throws
// std::invalid_argument for a bitmap larger than the grid.
void CountShadowBitmap(const ShadowBitmap &bitmap, const PaintedRange &range,
                       ShadowCountGrid &grid);

// One instant: clears the bitmap to white, paints the shadow in black and counts it. Returns
// false when nothing was painted (see PaintShadowBitmap).
bool CountShadowInstant(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun,
                        double time, double planeHeight, const RasterGeometry &raster,
                        ShadowBitmap &bitmap, ShadowCountGrid &grid,
                        std::span<const geometry::Volume> volumes = {});

// What a pass did. Sampled = the M instants of shadow/instants.h (the middles of the steps), of
// which Counted were painted and counted and SkippedNoSun fell outside the daytime window or had
// the sun below the horizon (the command should tell the user when this is not 0).
struct PassSummary {
    int Maximum = 0;  // M
    int Sampled = 0;
    int Counted = 0;
    int SkippedNoSun = 0;
    bool Stopped = false;
};

// The cell size of an N-cell square raster over the extent: max(width, height) / N (also what the
// mesh-size preview shows). Not positive for an inverted extent.
inline double FineCellSize(const Extent &extent, int n) {
    return std::max(extent.XMax - extent.XMin, extent.YMax - extent.YMin) / n;
}

// The fine pass: clears the grid and counts the M instants of shadow/instants.h on the
// square N x N raster with origin (extent.XMin, extent.YMin) and cell size
// max(width, height) / N. Returns its summary; `raster` receives the raster geometry.
// With threads > 1 that many threads count the instants into grids of their own, which are then
// summed: the result is identical to one thread's, and `progress` is still called on the calling
// thread, in order, before each instant is counted (a few instants ahead of the counting).
// Progress: Start(M), then before instant i its time as Status ("HH:MM"), Position(i + 1) and
// KeepRunning; a false answer stops the pass before that instant (Stopped).
// Throws std::invalid_argument unless 8 <= n <= ShadowCountGrid::kSize and n is a multiple of 8,
// or when stepMinutes is not positive.
PassSummary CountFinePass(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun,
                          const Extent &extent, double planeHeight, int n, double stepMinutes,
                          double startHour, double endHour, ShadowCountGrid &grid,
                          Progress &progress, RasterGeometry &raster, int threads = 1,
                          std::span<const geometry::Volume> volumes = {});

// The ground under the buildings: every cell whose point (CellPoint) lies in the footprint of a
// volume rising above the plane from at or below it (bottom at or below planeHeight, top above
// it) is raised to `count`, the instants counted,
// since it is shaded at each of them. Footprints of volumes with the same bottom and top are taken
// together by the even-odd rule, so that a courtyard drawn inside its block stays lit.
void CountFootprints(std::span<const geometry::Volume> volumes, double planeHeight,
                     const RasterGeometry &raster, int count, ShadowCountGrid &grid);

// The extent pass over a 480 x 480 raster with 2-minute steps.
inline constexpr int kExtentRasterSize = 480;
inline constexpr double kExtentStepMinutes = 2.0;

struct ToujiHani {
    Extent Rect;         // txmin, tymin, txmax, tymax
    bool Found = false;  // some cell reached the reference hour; otherwise Rect is inverted
    double Cell = 0.0;   // cell size of the coarse raster
    PassSummary Summary;
};

// Widens the time-of-day shadow extent `pimuHani`, counts the coarse raster over it and returns
// the rectangle around the cells shaded for at least `referenceHour` hours, with a margin of 10
// cells west and east, 11 south and 9 north. A cell shaded at every sampled instant always
// qualifies (an hour as long as the whole range still frames its cells). When no cell qualifies
// the rectangle is inverted (txmin > txmax) and Found is false. Progress: Start(M), then
// Position(k + 1) and KeepRunning before instant k; the pass is short and always finishes, a
// false answer only marks the summary Stopped.
ToujiHani GetToujiHani(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun,
                       double planeHeight, double startHour, double endHour, double referenceHour,
                       const Extent &pimuHani, ShadowCountGrid &grid, Progress &progress,
                       std::span<const geometry::Volume> volumes = {});

// The hour of item `index` of the hour list ("1.5Hr" ... "8.0Hr"): 1.5 + 0.5 * index.
constexpr double HourOfItem(int index) {
    return 1.5 + 0.5 * index;
}
// The extent pass's reference hour: that of the first checked item, 1.5 when none (-1).
constexpr double ReferenceHour(int firstCheckedIndex) {
    return firstCheckedIndex < 0 ? 1.5 : HourOfItem(firstCheckedIndex);
}

// Raster size and seconds per instant by the evaluation-interval choice.
inline constexpr int MeshSizeTable[4] = {2000, 1600, 1200, 640};
inline constexpr int IntervalTable[4] = {10, 30, 60, 120};

struct EvaluationInterval {
    int RasterSize = 640;
    int Seconds = 120;
    double StepMinutes() const { return Seconds / 60.0; }
};

// Index 0..3 of the tables; any other index (no item selected) takes the coarsest, index 3
// (640 cells, 120 s). With `tenth` the seconds are divided by 10 (integer division, 0 -> 1).
EvaluationInterval EvaluationIntervalFor(int index, bool tenth);

}  // namespace pimu::shadow
