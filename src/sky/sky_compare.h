// The sky-factor comparison that frees a building from the slant-plane height limits: at every
// statutory measurement point the planned building must keep at least the sky factor of the
// building that just satisfies the limit (the conforming building, 適合建築物).
//
// Building Standards Act art. 56 para. 1 and 7; Enforcement Order art. 135-5 to 135-11. What
// this file builds, for each limit (road, adjacent, north):
// - the measurement points: evenly spaced on the limit's measurement line, the ends included;
// - the conforming building: the solid over the site (for the road limit the part within the
//   applicable distance) under the limit's slant planes, as the top edges the sky sees;
// - the comparison: 計画 of the planned building against 適合 of the conforming building, both
//   beside their exact values, rounded against the planned building.
//
// How corners and concave sites are treated (one treatment, the same for points and solids):
// - Every side's slant plane is the side's own plane, produced past the side's ends. On a convex
//   site this is the distance from the nearest boundary the Act measures; at an inner corner the
//   produced planes cut lower than the distance from the corner would, so the conforming building
//   is never larger than the limit allows (the comparison errs against the planned building).
// - Adjacent line: each side moved out by the line's distance, cut where it meets its neighbour at
//   an inner corner and joined by the arc round an outer corner between two adjacent sides;
//   points nearer to the adjacent boundary than the line's distance are left out.
// - Road line: the far side of the road (moved out by the setback) between the feet of the
//   frontage's ends. North line: each side facing north moved north by the line's distance.
// - The measurement points and the site stand at the drawing's z = 0 (road centre and ground at
//   one level). With a setback the conforming building keeps the same setback from the road.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/types.h"
#include "sky/sky_envelope.h"
#include "sky/sky_factor.h"

namespace pimu::sky {

enum class SlantLimit { Road = 0, Adjacent = 1, North = 2 };

// The zones as the slant limits group them (Act art. 56 para. 1, appended table 3):
// LowRise: first and second class low-rise residential and rural residential zones (no adjacent
//   limit; north 5 m + 1.25);
// MidHigh: first and second class mid/high-rise residential (adjacent 20 m + 1.25; north
//   10 m + 1.25);
// Residential: first and second class residential and quasi-residential (adjacent 20 m + 1.25);
// Other: commercial, industrial and unzoned (road 1.5; adjacent 31 m + 2.5).
enum class SlantZone { LowRise, MidHigh, Residential, Other };

// The figures of a zone's limits; lengths in mm. Every figure may be overridden.
struct SlantRules {
    double roadSlope = 1.25;
    double roadDistance = 20000.0;  // applicable distance from the far side of the road
    bool adjacent = true;
    double adjacentRise = 20000.0;
    double adjacentSlope = 1.25;
    double adjacentLine = 16000.0;  // measurement line, outside the boundary
    double adjacentSpacing = 8000.0;
    bool north = false;
    double northRise = 0.0;
    double northSlope = 1.25;
    double northLine = 0.0;  // measurement line, north of the boundary
    double northSpacing = 0.0;
};

SlantRules SlantRulesOf(SlantZone zone);

// A side of the site that faces a road: the side's index in the ring, the road's width and the
// building's setback from the road (mm).
struct RoadSide {
    std::size_t side = 0;
    double width = 0.0;
    double setback = 0.0;
};

struct CompareSite {
    std::vector<TAcadPoint> ring;  // counter-clockwise, first != last; side i runs i -> i + 1
    std::vector<RoadSide> roads;
    double north = 90.0;  // true north, degrees counter-clockwise from +x
};

struct MeasurementPoint {
    SlantLimit limit = SlantLimit::Road;
    std::size_t side = 0;  // the side of the site whose line it lies on
    TAcadPoint pt;         // z: the measurement plane (0)
    std::string label;     // 道1, 隣1, 北1, ...
};

// The points of one limit, in order along the site; none when the zone has no such limit or the
// site no such side.
std::vector<MeasurementPoint> MeasurementPoints(const CompareSite &site, const SlantRules &rules,
                                                SlantLimit limit);

// The conforming building of a limit: its top faces (3D rings, for the drawing) and the edges of
// their outlines as the sky sees them (each standing down to the ground).
struct ConformingBuilding {
    std::vector<std::vector<TAcadPoint>> faces;
    SkyBuildings sky;
    bool Empty() const { return sky.edges.empty(); }
};

ConformingBuilding ConformingBuildingOf(const CompareSite &site, const SlantRules &rules,
                                        SlantLimit limit);

// The planned buildings a limit compares: for the road limit only their part within the
// applicable distance of some road, for the others all of them.
SkyBuildings PlannedBuildingsFor(const geometry::BuildingModel &model, const CompareSite &site,
                                 const SlantRules &rules, SlantLimit limit);

// A building model that the sky sees as `buildings` (for the sky maps): the edges as walls, each
// ring as a round volume with the polygon drawn round it.
geometry::BuildingModel ModelOf(const SkyBuildings &buildings);

struct ComparisonRow {
    MeasurementPoint point;
    bool consistent = true;  // 計画 <= 精算 <= 適合 held for both buildings
    double planned = 0.0;    // 計画 of the planned building, rounded down
    double plannedExact = 0.0;
    double conforming = 0.0;  // 適合 of the conforming building, rounded up
    double conformingExact = 0.0;
    double difference = 0.0;  // planned - conforming
    bool passes = false;
};

enum class ComparisonStatus { Done, NoPoints, Inconsistent, Stopped };

struct SkyComparison {
    ComparisonStatus status = ComparisonStatus::Done;
    std::vector<ComparisonRow> rows;
    int decimals = 3;
    std::size_t worst = 0;  // the row with the smallest difference
    bool Complies() const;
};

// Rounding of the table: down for the planned building, up for the conforming one.
double RoundDown(double value, int decimals);
double RoundUp(double value, int decimals);

// The comparison at every point of the limits asked for, in their order. A row whose triangles
// break 計画 <= 精算 <= 適合 makes the whole comparison Inconsistent (no verdict).
SkyComparison CompareSkyFactors(const geometry::BuildingModel &model, const CompareSite &site,
                                const SlantRules &rules, const std::vector<SlantLimit> &limits,
                                const SansyaFrame &frame, int decimals,
                                Progress &progress = NoProgress());

}  // namespace pimu::sky
