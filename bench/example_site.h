// The example site (examples/site.dxf) as the acquisition makes its edges, for the benchmarks
// that need a building model without reading a drawing.
#pragma once

#include <cmath>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/tolerances.h"
#include "geometry/types.h"

namespace pimu::bench {

using geometry::TAcadPoint;
using geometry::TLineEnt;

inline TLineEnt Edge(TAcadPoint st, TAcadPoint ed) {
    TLineEnt e;
    e.st = st;
    e.ed = ed;
    return e;
}

// The edges the acquisition makes of a closed polyline at elevation z0 with a thickness.
inline void AddPrism(std::vector<TLineEnt> &edges, const std::vector<TAcadPoint> &footprint,
                     double z0, double height) {
    const std::size_t n = footprint.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint a{footprint[i].x, footprint[i].y, z0};
        const TAcadPoint b{footprint[(i + 1) % n].x, footprint[(i + 1) % n].y, z0};
        const TAcadPoint at{a.x, a.y, z0 + height};
        const TAcadPoint bt{b.x, b.y, z0 + height};
        edges.push_back(Edge(a, b));
        edges.push_back(Edge(at, bt));
        edges.push_back(Edge(a, at));
        edges.push_back(Edge(b, bt));
    }
}

inline void AddBox(std::vector<TLineEnt> &edges, double x, double y, double w, double d,
                   double height, double z0 = 0.0) {
    AddPrism(edges, {{x, y, 0}, {x + w, y, 0}, {x + w, y + d, 0}, {x, y + d, 0}}, z0, height);
}

// The example site (examples/site.dxf): the 7-storey block, the stepped volume, the round tower
// (its roof circle in 10-degree chords), the low wing of two walls and the neighbour.
inline pimu::geometry::BuildingModel ExampleSite() {
    std::vector<TLineEnt> edges;
    AddBox(edges, 18000, 36000, 24000, 12000, 21000);
    AddBox(edges, 48000, 30000, 16000, 16000, 9000);
    AddBox(edges, 48000, 38000, 16000, 8000, 9000, 9000);
    for (int k = 0; k < 36; ++k) {
        const double a = k * 10.0 * pimu::geometry::kDegToRad;
        const double b = (k + 1) * 10.0 * pimu::geometry::kDegToRad;
        edges.push_back(Edge({30000 + 4500 * std::cos(a), 20000 + 4500 * std::sin(a), 33000},
                             {30000 + 4500 * std::cos(b), 20000 + 4500 * std::sin(b), 33000}));
    }
    for (const double x : {26000.0, 34000.0}) {
        AddPrism(edges, {{x, 24000, 0}, {x, 36000, 0}}, 0.0, 6000);
        edges.pop_back();  // a line with thickness, not a closed figure: one wall only
        edges.pop_back();
        edges.pop_back();
        edges.pop_back();
    }
    AddBox(edges, 20000, 62000, 30000, 10000, 12000);
    pimu::geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

}  // namespace pimu::bench
