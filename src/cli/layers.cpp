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

}  // namespace

bool IsBuildingShape(const EntityData &e) {
    return IsClosedShape(e) && e.thickness != 0.0;
}

bool IsFlatShape(const EntityData &e) {
    return IsClosedShape(e) && e.thickness == 0.0;
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
        rows.push_back({"画層", "図形", "厚みのある閉じた図形"});
    else
        rows.push_back({"layer", "entities", "closed shapes with thickness"});
    for (const LayerCount &c : counts)
        rows.push_back({c.layer, std::to_string(c.entities), std::to_string(c.buildings)});
    return rows;
}

}  // namespace pimu::cli
