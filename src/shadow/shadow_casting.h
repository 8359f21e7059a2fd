// Shadow casting onto the measurement plane: the segments every building edge throws at one
// instant, handed to the polygon operations of geometry/shadow_outline.h, which trace them.
#pragma once

#include "geometry/building_model.h"
#include "geometry/shadow_outline.h"
#include "solar/sun.h"

namespace pimu::shadow {

// ws.AryLine = the feet of every edge, then per edge its shadow and the two connectors to the
// foot (4n segments, all at z 0). t in hours, h the plane height in mm.
void ShadowSegments(geometry::PolygonWorkspace &ws, const geometry::BuildingModel &model,
                    const solar::SolarState &sun, double t, double h);

// The first shadow outline of the model at time t on the plane at height h, in ws.AryLine.
// False when the model is empty or the trace fails.
bool ShadowOutlineAt(geometry::PolygonWorkspace &ws, const geometry::BuildingModel &model,
                     const solar::SolarState &sun, double t, double h);

}  // namespace pimu::shadow
