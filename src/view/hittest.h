// Picks on a scene, as a CAD answers them: the entity nearest a point within the pick box,
// window and crossing selections, and object snaps (endpoints, centres). Only visible
// primitives count. Entities are indices into Scene::Entities().
#pragma once

#include <optional>
#include <vector>

#include "view/scene.h"

namespace pimu::view {

struct PickHit {
    int entity = 0;
    int primitive = 0;
    double distance = 0.0;  // from the point to the primitive (0 inside a text's outline)
};

// The entity whose primitive comes nearest `at` among those meeting the square pick box of half
// side `aperture`; on a tie the one drawn later (on top).
std::optional<PickHit> PickEntity(const Scene &scene, TAcadPoint at, double aperture);

// Window: entities all of whose visible primitives lie inside the rectangle. Crossing: entities
// with a visible primitive inside or crossing it. Corners in any order; ascending entity order.
std::vector<int> WindowSelect(const Scene &scene, TAcadPoint c1, TAcadPoint c2);
std::vector<int> CrossingSelect(const Scene &scene, TAcadPoint c1, TAcadPoint c2);

enum class SnapKind { Endpoint, Center };
struct SnapHit {
    TAcadPoint at;
    SnapKind kind = SnapKind::Endpoint;
    int entity = 0;
};

// The snap point nearest `at` within the pick box: ends of lines, arcs and open polylines,
// polyline vertices and points (Endpoint), and centres of arcs and circles (Center); an endpoint
// wins a tie. When no point lies in the box, the centre of the arc or circle the box meets
// nearest, as a CAD offers the centre while the cursor is on the circle.
std::optional<SnapHit> SnapPoint(const Scene &scene, TAcadPoint at, double aperture);

// The geometry behind the picks, per primitive: distance from a point, whether it meets a box,
// whether it lies inside one.
double DistanceTo(const Shape &shape, TAcadPoint p);
bool Meets(const Shape &shape, const Box &box);
bool Inside(const Shape &shape, const Box &box);

}  // namespace pimu::view
