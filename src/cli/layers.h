// What a drawing offers as buildings, layer by layer: the table `pimu layers` prints and a
// drawing command shows when it is not told which entities are the buildings.
#pragma once

#include <string>
#include <vector>

#include "cadlink/embedded/drawing.h"
#include "cli/options.h"
#include "cli/tables.h"

namespace pimu::cli {

// A closed polyline or a circle with a thickness, or drawn above the ground (a roof at its
// height): the outline of one building volume.
bool IsBuildingShape(const cadlink::embedded::EntityData &e);
// A closed polyline or a circle on the ground without a thickness: an outline with no height.
bool IsFlatShape(const cadlink::embedded::EntityData &e);

struct LayerCount {
    std::string layer;
    int entities = 0;
    int buildings = 0;  // IsBuildingShape
};

// Every layer of the drawing in its table's order (then layers used but not in the table) with
// the model-space entities on it.
std::vector<LayerCount> CountLayers(const cadlink::embedded::Drawing &drawing);

// The table, header first.
Rows LayerRows(const std::vector<LayerCount> &counts, Lang lang);

}  // namespace pimu::cli
