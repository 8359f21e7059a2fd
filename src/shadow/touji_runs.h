// Counting the isochronal raster by runs: each instant's shadow polygons are rasterised row by row
// into runs of pixels with exactly the rules of ShadowBitmap::FillPolygon, the runs of a row are
// united, and each united run adds one to a difference array. The counts, summed once at the end,
// are those of painting every instant into the bitmap and counting its black pixels, without
// touching the cells inside the runs at every instant.
//
// Between two consecutive vertex rows of a polygon, a row that exactly two edges cross (every row
// of a convex quadrilateral but its vertex rows) is painted as one run: from the first outline
// pixel of the two edges in that row to the last one. Each edge's outline pixels in the row touch
// its crossing, and the even-odd interior lies between the crossings, so the row's pixels join up;
// the run's ends are stepped row by row in exact integer arithmetic. The other rows are painted
// piece by piece: each interior span and each edge's outline pixels. A run that touches one of
// the two runs the row holds widens it; only the others go to a bit row, united there.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "shadow/shadow_bitmap.h"
#include "shadow/touji_raster.h"

namespace pimu::shadow {

class RunCounter {
public:
    // An N x N raster, N from 1 to ShadowCountGrid::kSize; throws std::invalid_argument otherwise.
    explicit RunCounter(int n);

    int Size() const { return n_; }

    // The pixels the polygon paints (outline and even-odd interior, clipped to the raster) join
    // the current instant. Throws std::out_of_range as FillPolygon does, adding nothing.
    void AddPolygon(std::span<const PixelPoint> vertices);

    // Counts the current instant: every pixel painted by one of its polygons, once. The next
    // polygon starts a new instant. Instants that repeat the last one exactly are counted by
    // weight, without uniting their runs again.
    void EndInstant();

    // Adds the counts of every instant ended so far to rows and columns 0..N-1 of the grid.
    void AddTo(ShadowCountGrid &grid);

    // Forgets every instant.
    void Clear();

private:
    struct Run {
        std::int32_t row, first, last;
    };
    // An edge of a polygon, its ends ordered by row (y0 <= y1).
    struct Edge {
        std::int64_t x0, y0, x1, y1;
    };
    // A run of the row's pixels not in its bit row, empty when first > last.
    struct Span {
        std::int32_t first, last;
    };
    using RowSpans = std::array<Span, 2>;
    void Add(std::int64_t row, std::int64_t first, std::int64_t last);
    void Spill(std::size_t row, std::int64_t first, std::int64_t last);
    void Fill(std::span<const PixelPoint> vertices);
    // One row painted by the edges that take part in it (among `edges`).
    void Row(std::int64_t row, std::span<const Edge> edges);
    void Band(const Edge &a, const Edge &b, std::int64_t from, std::int64_t to);
    void Unite();
    void Flush();

    int n_;
    int words_;  // per bit row
    // Per row, N + 1 entries: +w where a united run starts, -w after it ends.
    std::vector<std::int32_t> diff_;
    // The pixels of the instant being united: per row two runs, each growing by the pieces added
    // that touch it, and a bit row for the pieces that touch neither (marked in spilled_).
    std::vector<RowSpans> spans_;
    std::vector<std::uint8_t> spilled_;
    std::vector<std::uint64_t> bits_;
    int minRow_ = ShadowCountGrid::kSize, maxRow_ = -1;
    // The polygons of the current instant and of the last one ended (their vertices, each
    // polygon closed by its vertex count), to find an instant painted exactly as the last one.
    std::vector<std::int32_t> polygons_, lastPolygons_;
    // The united runs of the last instant ended and how many instants still owe them.
    std::vector<Run> united_;
    std::int32_t weight_ = 0;
    // Work arrays of the rasterisation.
    std::vector<PixelPoint> vertices_;
    std::vector<Edge> edges_;
    std::vector<Edge> active_, band_;      // the edges of the current row, of the current band
    std::vector<std::int64_t> rows_;       // the rows of the polygon's vertices, sorted, once each
    std::vector<std::int64_t> crossings_;  // of one row
};

// One instant of the fine pass by runs: the shadow polygons of PaintShadowBitmap at `time` go to
// the counter as one instant. Returns false, adding nothing, where PaintShadowBitmap paints
// nothing. Throws std::invalid_argument when raster.N differs from the counter's size.
bool CountShadowRuns(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun,
                     double time, double planeHeight, const RasterGeometry &raster,
                     RunCounter &counter, std::span<const geometry::Volume> volumes = {});

}  // namespace pimu::shadow
