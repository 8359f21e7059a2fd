// Filling a point grid (StringGrid1 of the sky tab, StringGrid2 of the specific points) from
// picked points, and the points of picked marks. The picking commands and the command line share
// these routines.
#pragma once

#include <string>
#include <vector>

#include "app/controls.h"
#include "geometry/types.h"

namespace pimu::app {

// The order the rows take.
enum class PointOrder {
    Sorted,   // as picking fills the grid: by x when the points spread wider than tall, else by y
    AsGiven,  // in the order of the list (points typed on the command line)
};

// Fills `sg` from `TempPoints`: of points at the same x, y (within 1e-5) only the last stays; one
// row per point with its number (column 0), x and y (1, 2), name or else number (3) and z / 1000
// (4); the result columns from 5 on are cleared. The row count becomes the points + 1 (at least
// 2: the grid keeps one empty data row).
void FillPointGrid(TStringGrid &sg, std::vector<geometry::TTempPoint> TempPoints, PointOrder order);

// A text of a point mark: its insertion point and string.
struct MarkText {
    geometry::TAcadPoint at;
    std::string text;
};

// The measurement points of marks: the centre of every circle in selection order, named by the
// first text whose insertion point lies within 1000 drawing units in both x and y (inclusive);
// without one the name stays empty.
std::vector<geometry::TTempPoint> PointsFromMarks(const std::vector<geometry::TAcadPoint> &circles,
                                                  const std::vector<MarkText> &texts);

}  // namespace pimu::app
