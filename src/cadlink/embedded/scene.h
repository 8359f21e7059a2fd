// The scene of an embedded drawing's model space for painting and picking (view/scene.h).
// The conversion lives here, above the view library, so that view knows nothing of the drawing
// database: it resolves object coordinates, block placements and the drawing's tables, and
// hands the view plan geometry.
#pragma once

#include "cadlink/embedded/drawing.h"
#include "view/scene.h"

namespace pimu::cadlink::embedded {

// Every model-space entity (its key the EntityId value) with block references expanded; layers
// that are off or frozen are in the scene switched off.
view::Scene SceneOf(const Drawing &drawing);

}  // namespace pimu::cadlink::embedded
