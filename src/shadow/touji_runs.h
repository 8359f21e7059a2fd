// Counting the isochronal raster by runs: each instant's shadow polygons are rasterised row by row
// into runs of pixels with exactly the rules of ShadowBitmap::FillPolygon, the runs of a row are
// united (on bit rows, 64 pixels a word, of which the rows the polygons reach are read back and
// cleared), and each united run adds one to a difference array. The counts, summed once at the end,
// are those of painting every instant into the bitmap and counting its black pixels, without
// touching the cells inside the runs at every instant.
#pragma once

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
    void Emit(std::int64_t row, std::int64_t first, std::int64_t last);
    void Fill(std::span<const PixelPoint> vertices);
    void Segment(PixelPoint a, PixelPoint b);
    void Unite();
    void Flush();

    int n_;
    int words_;  // per bit row
    // Per row, N + 1 entries: +w where a united run starts, -w after it ends.
    std::vector<std::int32_t> diff_;
    // The pixels of the instant being united, and the rows its polygons reach.
    std::vector<std::uint64_t> bits_;
    int minRow_ = ShadowCountGrid::kSize, maxRow_ = -1;
    // The polygons of the current instant and of the last one ended (their vertices, each
    // polygon closed by its vertex count), to find an instant painted exactly as the last one.
    std::vector<std::int32_t> polygons_, lastPolygons_;
    // The united runs of the last instant ended and how many instants still owe them.
    std::vector<Run> united_;
    std::int32_t weight_ = 0;
    // Work arrays of the rasterisation and of the union.
    struct Edge {
        std::int64_t topX, topY, dx, dy;
    };
    std::vector<Edge> edges_;
    std::vector<std::int64_t> crossings_;  // per row of the polygon, a slot per edge
    std::vector<int> crossingCount_;
};

// One instant of the fine pass by runs: the shadow polygons of PaintShadowBitmap at `time` go to
// the counter as one instant. Returns false, adding nothing, where PaintShadowBitmap paints
// nothing. Throws std::invalid_argument when raster.N differs from the counter's size.
bool CountShadowRuns(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun,
                     double time, double planeHeight, const RasterGeometry &raster,
                     RunCounter &counter);

}  // namespace pimu::shadow
