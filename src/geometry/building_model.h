// The building model: the flat list of 3D edges every shadow and sky computation starts from.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "geometry/types.h"

namespace pimu::geometry {

// One closed outline of the drawing taken as a solid: the prism of its footprint between bottom
// and top. A closed polyline or a circle with a thickness runs from its elevation through its
// thickness; one drawn at a height without a thickness is a roof standing on the ground (bottom
// 0). Its edges are a contiguous range of the model's edges.
struct Volume {
    std::vector<TAcadPoint> footprint;  // closed ring in plan (x, y; z unused), first != last
    double bottom = 0.0;                // z of the underside, mm
    double top = 0.0;                   // z of the top, mm (top > bottom)
    bool circle = false;        // round: centre and radius are exact, footprint approximates
    TAcadPoint centre;          // circle only (x, y)
    double radius = 0.0;        // circle only, mm
    std::size_t firstEdge = 0;  // its edges are AryTatemono[firstEdge, firstEdge + edgeCount)
    std::size_t edgeCount = 0;
};

// Edges in world coordinates of the drawing (mm) with absolute heights. Edges may repeat and may
// have zero length. Beside them the volumes the closed outlines stand for; edges outside every
// volume (lines, open polylines, arcs) are walls or fences of their own, standing on the ground;
// a volume's edges have its bottom as their base, so a raised one casts only from its underside
// up. The acquisition replaces
// the whole model; every computation only reads it.
struct BuildingModel {
    std::vector<TLineEnt> AryTatemono;
    std::vector<Volume> Volumes;
    // The largest st.z or ed.z, or 0 when no height is above 0.
    double gbzmax = 0.0;

    bool Empty() const { return AryTatemono.empty(); }

    // Replaces the edges and recomputes gbzmax; the volumes, which index the old edges, are
    // cleared.
    void SetEdges(std::vector<TLineEnt> edges) {
        AryTatemono = std::move(edges);
        Volumes.clear();
        gbzmax = 0.0;
        for (const TLineEnt &e : AryTatemono) {
            if (e.st.z > gbzmax) gbzmax = e.st.z;
            if (e.ed.z > gbzmax) gbzmax = e.ed.z;
        }
    }
};

// The model as if every volume stood on the ground: raised volumes reach down to it, as drawings
// were read before volumes had an underside (the setting that keeps that reading).
inline BuildingModel StandingOnGround(BuildingModel model) {
    for (TLineEnt &e : model.AryTatemono) e.base = std::min(e.base, 0.0);
    for (Volume &v : model.Volumes) v.bottom = std::min(v.bottom, 0.0);
    return model;
}

}  // namespace pimu::geometry
