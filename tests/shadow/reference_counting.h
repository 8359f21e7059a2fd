// The plain way to count a pass, kept as the yardstick for the production counting: every pixel
// of the whole raster is read one at a time, with no range and no byte tricks.
#pragma once

#include <algorithm>
#include <span>

#include "shadow/touji_raster.h"

namespace pimu::shadow::reference {

inline void CountEveryPixel(const ShadowBitmap &bitmap, ShadowCountGrid &grid) {
    for (int r = 0; r < bitmap.Size(); ++r)
        for (int c = 0; c < bitmap.Size(); ++c)
            if (!bitmap.IsWhite(c, r)) ++grid.At(r, c);
}

// The fine pass counted per pixel; same raster, instants and skipping as CountFinePass.
inline void FinePass(std::span<const geometry::TLineEnt> edges, const solar::SolarState &sun,
                     const Extent &extent, double planeHeight, int n, double stepMinutes,
                     double startHour, double endHour, ShadowCountGrid &grid) {
    grid.Clear();
    const RasterGeometry raster{extent.XMin, extent.YMin,
                                std::max(extent.XMax - extent.XMin, extent.YMax - extent.YMin) / n,
                                n};
    ShadowBitmap bitmap(n);
    const int m = InstantCount(startHour, endHour, stepMinutes);
    for (int i = 0; i < m; ++i) {
        const double time = startHour + stepMinutes * (i + 0.5) / 60.0;
        bitmap.Clear();
        bitmap.SetColor(PixelColor::Black);
        PaintedRange unused;
        if (PaintShadowBitmap(edges, sun, time, planeHeight, raster, bitmap, unused)) {
            CountEveryPixel(bitmap, grid);
        }
    }
}

}  // namespace pimu::shadow::reference
