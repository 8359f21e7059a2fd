// The point and edge records that every layer passes around.
#pragma once

#include <cstdint>
#include <string>

namespace pimu::geometry {

// A point or a vector in drawing units (mm).
struct TAcadPoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    friend bool operator==(const TAcadPoint &, const TAcadPoint &) = default;
};

// One edge or segment. `id` is a scratch mark: 0 kept, -1 and -2 removed.
struct TLineEnt {
    std::int32_t id = 0;
    TAcadPoint st;
    TAcadPoint ed;
    double atumi = 0.0;                 // thickness
    TAcadPoint code210{0.0, 0.0, 1.0};  // extrusion direction
    // Building edges: the height of the edge's foot. The edge stands for the wall below it down
    // to this height (0: down to the ground; the underside of a raised volume for its edges).
    double base = 0.0;
};

// A picked or scratch point with a name.
struct TTempPoint {
    std::int32_t id = 0;
    TAcadPoint pt;
    std::string Name;
};

}  // namespace pimu::geometry
