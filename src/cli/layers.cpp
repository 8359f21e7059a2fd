#include "cli/layers.h"

#include <algorithm>

#include "base/ascii.h"

namespace pimu::cli {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;

bool IsClosedShape(const EntityData &e) {
    return e.kind == EntityKind::Circle ||
           ((e.kind == EntityKind::LwPolyline || e.kind == EntityKind::Polyline2d) && e.closed);
}

// Drawn above the ground: a circle's centre or a polyline's elevation (the roof of a tower
// drawn at its height).
bool IsRaised(const EntityData &e) {
    return e.kind == EntityKind::Circle ? e.p1.z != 0.0 : e.elevation != 0.0;
}

}  // namespace

bool IsBuildingShape(const EntityData &e) {
    return IsClosedShape(e) && (e.thickness != 0.0 || IsRaised(e));
}

bool IsFlatShape(const EntityData &e) {
    return IsClosedShape(e) && e.thickness == 0.0 && !IsRaised(e);
}

std::vector<LayerCount> CountLayers(const cadlink::embedded::Drawing &drawing) {
    std::vector<LayerCount> counts;
    for (const auto &layer : drawing.Layers()) counts.push_back({layer.name});
    for (const auto id : drawing.ModelSpace()) {
        const EntityData &e = drawing.Get(id);
        auto it = std::find_if(counts.begin(), counts.end(), [&](const LayerCount &c) {
            return UpperAscii(c.layer) == UpperAscii(e.layer);
        });
        if (it == counts.end()) it = counts.insert(counts.end(), {e.layer});
        ++it->entities;
        if (IsBuildingShape(e)) ++it->buildings;
    }
    return counts;
}

Rows LayerRows(const std::vector<LayerCount> &counts, Lang lang) {
    Rows rows;
    if (lang == Lang::Ja)
        rows.push_back({"画層", "図形", "厚みか高さのある閉じた図形"});
    else
        rows.push_back({"layer", "entities", "closed shapes with thickness or height"});
    for (const LayerCount &c : counts)
        rows.push_back({c.layer, std::to_string(c.entities), std::to_string(c.buildings)});
    return rows;
}

}  // namespace pimu::cli
