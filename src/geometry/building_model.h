// The building model: the flat list of 3D edges every shadow and sky computation starts from.
#pragma once

#include <utility>
#include <vector>

#include "geometry/types.h"

namespace pimu::geometry {

// Edges in world coordinates of the drawing (mm) with absolute heights. There are no faces or
// building identities; edges may repeat and may have zero length. The acquisition replaces the
// whole model; every computation only reads it.
struct BuildingModel {
    std::vector<TLineEnt> AryTatemono;
    // The largest st.z or ed.z, or 0 when no height is above 0.
    double gbzmax = 0.0;

    bool Empty() const { return AryTatemono.empty(); }

    // Replaces the edges and recomputes gbzmax.
    void SetEdges(std::vector<TLineEnt> edges) {
        AryTatemono = std::move(edges);
        gbzmax = 0.0;
        for (const TLineEnt &e : AryTatemono) {
            if (e.st.z > gbzmax) gbzmax = e.st.z;
            if (e.ed.z > gbzmax) gbzmax = e.ed.z;
        }
    }
};

}  // namespace pimu::geometry
