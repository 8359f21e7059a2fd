// What the shadow-regulation check leaves behind: its result table (for the drawing, the report,
// the CSV file and the terminal) and its drawing items on their own layers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "boundary/kyoukaisen.h"
#include "cadlink/dxftext.h"
#include "geometry/types.h"
#include "regulation/regulation.h"

namespace pimu::app {

// The layers of the check's drawing items.
inline constexpr const char *kRegulationLine5Layer = "規制_5mライン";
inline constexpr const char *kRegulationLine10Layer = "規制_10mライン";
inline constexpr const char *kRegulationRegionLayer = "規制_等時間";
inline constexpr const char *kRegulationCrossingLayer = "規制_超過";
inline constexpr const char *kRegulationTableLayer = "規制_表";
// The window's and the command line's word for the limits typed in directly.
inline constexpr const char *kDirectLimits = "直接指定";
inline constexpr const char *kComplies = "適合";
inline constexpr const char *kFails = "不適合";

// The result table: first the whole check (zone, plane, hours, verdict), each a caption and a
// value; then a header row naming the two lines and one row per quantity with a value for each.
std::vector<std::vector<std::string>> RegulationRows(const regulation::RegulationResult &result);

// The points of a closed line with its arcs cut into chords no longer than `maxAngle` radians
// of turn (the first vertex is not repeated at the end).
std::vector<geometry::TAcadPoint> FlattenLine(const boundary::KyoukaisenLine &line,
                                              double maxAngle = 0.05);

// Parallel lines `spacing` apart at `angleDegrees` (counter-clockwise from +x), clipped to the
// area the closed rings enclose by the even-odd rule (a hole's ring cuts it out).
std::vector<std::pair<geometry::TAcadPoint, geometry::TAcadPoint>> HatchSegments(
    const std::vector<std::vector<geometry::TAcadPoint>> &rings, double spacing,
    double angleDegrees = 45.0);

// The bounds of everything the check draws on the plan (lines, regions, site outlines).
struct PlanBounds {
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    bool empty = true;
    void Add(const geometry::TAcadPoint &p);
};
PlanBounds RegulationBounds(const regulation::RegulationResult &result);

// The check's drawing items into `sl` (between Begin and Finish): the two lines as closed
// polylines with their bulges, each limit's regions and holes labelled with the limit hours,
// the crossings outlined and hatched, and the result table to the right of it all. Texts are
// `textHeight` drawing units high.
void AddRegulationDxf(cadlink::DxfText &sl, const regulation::RegulationResult &result,
                      double textHeight);

}  // namespace pimu::app
