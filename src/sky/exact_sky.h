// The exact sky factor (精算) of the buildings the sky map shows, without the triangle method.
//
// Every top edge above the plane stands for a wall down to the plane, as in the projection. In
// the azimuth phi the walls cover the elevations [0, H(phi)], H the highest wall there, so the
// covered share of the orthographic sky map is (1 / 2pi) times the integral of sin^2 H(phi). A
// straight top edge lies in a plane through the measurement point: its elevation obeys
// tan h = p cos(phi - psi), and the integral of sin^2 h has a closed form. The upper envelope
// of the walls changes only at their end azimuths and where two of them cross, so the integral
// is summed exactly over the pieces between those azimuths: no subdivision, horizon exact.
#pragma once

#include "geometry/building_model.h"
#include "geometry/types.h"

namespace pimu::sky {

// The exact sky factor in percent of the measurement point (x, y) on the plane at height e (mm).
double ExactSkyFactor(const geometry::BuildingModel &model, geometry::TAcadPoint point, double e);

}  // namespace pimu::sky
