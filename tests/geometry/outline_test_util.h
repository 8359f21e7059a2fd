// Building models and outline measures shared by the outline tests.
#pragma once

#include <cmath>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/types.h"

namespace pimu::geometry::testing {

inline TLineEnt Edge(TAcadPoint st, TAcadPoint ed) {
    TLineEnt e;
    e.st = st;
    e.ed = ed;
    return e;
}

inline TLineEnt Seg(double x0, double y0, double x1, double y1) {
    return Edge(TAcadPoint{x0, y0, 0.0}, TAcadPoint{x1, y1, 0.0});
}

// A prism over a closed footprint (counter-clockwise or not), as the acquisition makes it from a
// polyline with thickness: bottom edges, top edges and a vertical at each end of every edge.
inline void AddPrism(std::vector<TLineEnt> &edges, const std::vector<TAcadPoint> &footprint,
                     double height) {
    const std::size_t n = footprint.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint a = footprint[i];
        const TAcadPoint b = footprint[(i + 1) % n];
        edges.push_back(Edge(a, b));
    }
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint a = footprint[i];
        const TAcadPoint b = footprint[(i + 1) % n];
        const TAcadPoint at{a.x, a.y, a.z + height};
        const TAcadPoint bt{b.x, b.y, b.z + height};
        edges.push_back(Edge(at, bt));
        edges.push_back(Edge(a, at));
        edges.push_back(Edge(bt, b));
    }
}

inline std::vector<TAcadPoint> Rect(double x0, double y0, double w, double d) {
    return {{x0, y0, 0.0}, {x0 + w, y0, 0.0}, {x0 + w, y0 + d, 0.0}, {x0, y0 + d, 0.0}};
}

inline void AddBox(std::vector<TLineEnt> &edges, double x0, double y0, double w, double d,
                   double height) {
    AddPrism(edges, Rect(x0, y0, w, d), height);
}

// Signed area of a chain of segments (positive counter-clockwise).
inline double SignedArea(const std::vector<TLineEnt> &outline) {
    double a = 0.0;
    for (const TLineEnt &s : outline) a += s.st.x * s.ed.y - s.ed.x * s.st.y;
    return a / 2.0;
}

inline double MinX(const std::vector<TLineEnt> &outline) {
    double x = outline.front().st.x;
    for (const TLineEnt &s : outline) x = std::fmin(x, std::fmin(s.st.x, s.ed.x));
    return x;
}

// Each segment ends where the next one starts, and the last where the first starts.
inline bool IsClosedChain(const std::vector<TLineEnt> &outline) {
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const TAcadPoint a = outline[i].ed;
        const TAcadPoint b = outline[(i + 1) % outline.size()].st;
        if (std::fabs(a.x - b.x) >= 1e-5 || std::fabs(a.y - b.y) >= 1e-5) return false;
    }
    return !outline.empty();
}

}  // namespace pimu::geometry::testing
