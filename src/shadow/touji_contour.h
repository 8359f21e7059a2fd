// The isochronal contours: for every checked hour, the closed outlines of the raster cells that
// are shaded for at least that long and the outlines of the holes in them (ground shaded for less
// time than the line around it says), traced cell by cell on the counted ShadowCountGrid, erased
// from the grid once traced, optionally smoothed, and labelled at their northernmost point.
// The counting pass runs first (touji_raster.h; touji.h runs the whole diagram); the window writes
// the outlines returned here into the DXF.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/progress.h"
#include "geometry/types.h"
#include "shadow/shadow_bitmap.h"
#include "shadow/touji_raster.h"

namespace pimu::shadow {

// The hour list of the isochronal tab: items "1.5Hr", "2.0Hr", ... "8.0Hr" (index 0..13),
// drawn from the last item to the first.
inline constexpr int kHourItemCount = 14;

// Item text of index 0..13 ("1.5Hr" ... "8.0Hr").
std::string HourItemText(int index);

// The hour an item stands for: the number in its first three characters. Throws when
// they hold no number (std::invalid_argument).
double HourOfItemText(std::string_view itemText);

// CAD colour index of an hour's outlines and label: index mod 5 + 2.
constexpr int HourColor(int index) {
    return index % 5 + 2;
}

// Count a cell must reach to lie inside hour `hour`'s outline: hour * 60 / step, the instants of
// that many hours (each instant stands for one step; shadow/instants.h). An hour as long as the
// whole range needs every instant.
double HourThreshold(double hour, double stepMinutes);

// The value a traced cell is lowered to: truncate(threshold) - 1, kept within the counter's
// range. It stays at or above the thresholds of every lower hour.
std::uint16_t LoweredCount(double threshold);

// Drawing coordinates of cell (row, col): the point the counting pass samples for it (pixel
// centres are the integer pixel coordinates, RasterGeometry), so a cell is drawn where it was
// counted.
geometry::TAcadPoint CellPoint(const RasterGeometry &raster, int row, int col);

// One hour as the extraction sees it.
struct ContourHour {
    int ItemIndex = 0;
    std::string ItemText;
    double Hour = 0.0;
    double Threshold = 0.0;
    // Hour <= end - start: the border case is a range the hour does not fit rather than a
    // failure (the window words the two differently).
    bool WithinRange = true;
};

ContourHour MakeContourHour(int itemIndex, double stepMinutes, double startHour, double endHour);

// One traced outline: the cells in trace order as pixels (column, row) and as drawing points.
// The line of a hole runs through the shaded cells around it, as an outer line runs through the
// outermost shaded cells, so that the cells between the lines are exactly the shaded ones.
struct TracedOutline {
    std::vector<PixelPoint> Pixels;
    std::vector<geometry::TAcadPoint> Points;
};

// Why the attempts of an hour ended.
enum class HourEnd {
    NoStart,    // no cell reaches the threshold any more: every region was traced
    SameStart,  // the start cell of the previous attempt was found again (a guard; cannot happen)
    Border,     // an outline reached the raster border (the window tells the user)
    TooLong,    // the trace did not come back to its start (the window tells the user)
    Stopped,    // the run was stopped
};

struct HourExtraction {
    std::vector<TracedOutline> Outlines;  // the regions, in the order of their top-left cells
    // The holes of the traced regions, in the order of their top-left cells. A region in a hole
    // is a region of its own.
    std::vector<TracedOutline> Holes;
    HourEnd End = HourEnd::NoStart;
};

// An hour whose tracing ended early (HourEnd::Border or HourEnd::TooLong): the outlines before
// it stand, the hour's remaining regions are not drawn.
struct HourIssue {
    int ItemIndex = 0;
    std::string ItemText;
    HourEnd End = HourEnd::Border;
    bool WithinRange = true;
    friend bool operator==(const HourIssue &, const HourIssue &) = default;
};

// The count a cell must have to reach `threshold`: counts are whole numbers, and a threshold a
// rounding error above one (1.5 h at 6 s is 900.0000000000001) still takes that count.
double CountThreshold(double threshold);

// Traces every region of one hour, found in the order of their top-left cells, and lowers each
// traced region in `grid` to LoweredCount so that the next attempt finds the next region; a region
// of one or two cells (which the cell trace cannot follow) gets the square half a cell round its
// cells as its outline. Then traces the holes of the traced regions (places
// enclosed by a region whose count is below the threshold), on the grid as it was when the hour
// began. There is no limit on the number of regions or holes.
// The bitmap is the N x N work bitmap of the counting pass; it is overwritten.
// KeepRunning is asked before every row of a start-cell search and every trace step.
// Throws std::invalid_argument unless 8 <= raster.N <= ShadowCountGrid::kSize and the bitmap is
// N x N.
HourExtraction ExtractHour(ShadowCountGrid &grid, const RasterGeometry &raster,
                           ShadowBitmap &bitmap, const ContourHour &hour, Progress &progress);

// Thins an outline with smoothing factor s (looking up to s points ahead for the first turn of at
// least a right angle), then removes the points that lie on the line through their predecessor
// and themselves. Outlines of s + 2 points or fewer, and factors below 1, are returned unchanged.
std::vector<geometry::TAcadPoint> SmoothOutline(std::span<const geometry::TAcadPoint> points,
                                                int factor);

// Where an outline's label goes: its point farthest along true north (`northAngle`, radians
// counter-clockwise from +x); on ties the later point. Throws std::invalid_argument when empty.
geometry::TAcadPoint LabelPoint(std::span<const geometry::TAcadPoint> points, double northAngle);

struct ContourSettings {
    std::array<bool, kHourItemCount> Checked{};  // CheckListBox1
    double StepMinutes = 0.5;                    // of the counting pass
    double StartHour = 8.0;                      // GB_kaisi
    double EndHour = 16.0;                       // GB_owari
    bool Smoothing = false;                      // CheckBox8
    int SmoothingFactor = 4;                     // UpDown5 (2..20)
    double TrueNorthDegrees = 90.0;              // Edit12
};

// One outline as it goes into the drawing.
struct ToujiOutline {
    int ItemIndex = 0;
    std::string ItemText;  // the label, e.g. "8.0Hr"
    int Color = 0;
    std::vector<geometry::TAcadPoint> Points;  // closed; z = 0
    geometry::TAcadPoint Label;
    bool Hole = false;  // the line around a hole of the hour's region
};

struct ContourRun {
    // In drawing order: 8.0Hr first; within an hour its regions, then their holes.
    std::vector<ToujiOutline> Outlines;
    std::vector<HourIssue> Issues;  // in the order they arose
    // Stopped by the user: the caller calls RunEsc and inserts nothing.
    bool Stopped = false;
};

// The hour loop over the counted grid: every checked hour from "8.0Hr" down to "1.5Hr".
// Progress: Start(14); before every item Position(1..14) and KeepRunning; the item text of each
// checked hour as Status while it is traced; then as ExtractHour.
// Throws std::invalid_argument for a step that is not positive and finite, and as ExtractHour.
ContourRun TraceToujiContours(ShadowCountGrid &grid, const RasterGeometry &raster,
                              ShadowBitmap &bitmap, const ContourSettings &settings,
                              Progress &progress);

}  // namespace pimu::shadow
