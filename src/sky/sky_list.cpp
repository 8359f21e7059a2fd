#include "sky/sky_list.h"

namespace pimu::sky {

SkyPointResult ComputeSkyPoint(const SkyBuildings &buildings, TAcadPoint point, double e, double r,
                               double s) {
    const TenkuRituResult ritu = GetTenkuRitu(buildings, point, e, SansyaFrame{r, s, 90.0});
    SkyPointResult out;
    out.Consistent = ritu.Ok();
    out.naisetu = ritu.naisetu;
    out.gaisetu = ritu.gaisetu;
    out.exact = ritu.exact;
    return out;
}

}  // namespace pimu::sky
