#include "sky/sky_list.h"

#include "sky/exact_sky.h"

namespace pimu::sky {

SkyPointResult ComputeSkyPoint(const geometry::BuildingModel &model, const SkyView &view, double r,
                               double s, Progress &progress, const SkyTracer &tracer) {
    SkyPointResult out;
    const SkyOutline outline = GetTenkuLine(model, view, progress, tracer);
    out.outline = outline.status;
    if (outline.status == SkyStatus::Stopped) {
        out.Stopped = true;
        return out;
    }
    if (outline.status == SkyStatus::Ok) {
        const TenkuRituResult ritu = GetTenkuRitu(outline.AryLine, r, s);
        out.ritu = ritu.status;
        if (ritu.Ok()) {
            out.HasTriangles = true;
            out.naisetu = ritu.naisetu;
            out.gaisetu = ritu.gaisetu;
        }
    }
    out.exact = ExactSkyFactor(model, view.IDPOINT1, view.e);
    return out;
}

}  // namespace pimu::sky
