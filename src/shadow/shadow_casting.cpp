#include "shadow/shadow_casting.h"

#include <vector>

#include "geometry/types.h"

namespace pimu::shadow {

using geometry::TAcadPoint;
using geometry::TLineEnt;

namespace {

TLineEnt Segment(TAcadPoint st, TAcadPoint ed) {
    TLineEnt s;
    s.st = st;
    s.ed = ed;
    return s;
}

TAcadPoint Ground(TAcadPoint p) {
    return TAcadPoint{p.x, p.y, 0.0};
}

}  // namespace

void ShadowSegments(geometry::PolygonWorkspace &ws, const geometry::BuildingModel &model,
                    const solar::SolarState &sun, double t, double h) {
    // Outside the sun's hours SunPosition still gives a usable fallback (due north, ratio 1).
    const solar::SunResult pos = solar::SunPosition(sun, t);
    const double theta = solar::ShadowAngle(sun, pos.Azimuth);
    const std::vector<TLineEnt> &edges = model.AryTatemono;

    std::vector<TLineEnt> &out = ws.AryLine;
    out.clear();
    out.reserve(edges.size() * 4);
    for (const TLineEnt &e : edges) out.push_back(Segment(Ground(e.st), Ground(e.ed)));
    for (const TLineEnt &e : edges) {
        const TAcadPoint s1 = solar::ShadowPoint(e.st, h, theta, pos.Ratio, 0.0);
        const TAcadPoint s2 = solar::ShadowPoint(e.ed, h, theta, pos.Ratio, 0.0);
        out.push_back(Segment(s1, s2));
        out.push_back(Segment(s1, Ground(e.st)));
        out.push_back(Segment(s2, Ground(e.ed)));
    }
}

bool ShadowOutlineAt(geometry::PolygonWorkspace &ws, const geometry::BuildingModel &model,
                     const solar::SolarState &sun, double t, double h) {
    if (model.Empty()) return false;
    ShadowSegments(ws, model, sun, t, h);
    return ws.StandardSequence(geometry::MaxSpanRule::MeasureTimes1000);
}

}  // namespace pimu::shadow
