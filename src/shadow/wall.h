// Shadows on a vertical wall: the wall picked as a line in plan is seen as an elevation (x along
// the wall from its start, y the height above the ground), and the buildings' shadows on it are
// drawn as one outline per time step (the wall shadow lines) and as the outlines of the parts
// shaded for 8, 7, ... 1 hours (the wall isochrones).
//
// The shadow on the wall at one instant is the union of the shadows of the buildings' vertical
// faces (the area below every edge down to the ground), projected along the sun's rays onto the
// wall's plane. Only what stands on the lit side of the wall casts a shadow on it, and the face
// seen in the elevation (the one towards the buildings) is lit only while the sun is on its side;
// behind the wall nothing is drawn.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/types.h"
#include "shadow/shadow_bitmap.h"
#include "shadow/shadow_regions.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_raster.h"
#include "solar/sun.h"

namespace pimu::shadow {

// The height of a wall whose ends give none.
inline constexpr double kDefaultWallHeight = 20000.0;

// The wall as the commands use it: `st` and `ed` in plan with the top height in z, thickness in
// `atumi`. Made from the picked line by MakeWallLine.
using WallLine = geometry::TLineEnt;

// The picked line (its ends and thickness) made into the wall: an end at z 0 takes `gbzmax`, and
// a thickness above an end's height replaces it. The ends are then ordered so that the buildings
// lie to the right of st -> ed (the elevation is seen from the buildings' side, st on the left):
// the first building vertex off the wall line decides. nullopt when the line has no length in
// plan.
std::optional<WallLine> MakeWallLine(const geometry::TLineEnt &picked,
                                     const geometry::BuildingModel &model);

// L: the wall's length in plan.
double WallLength(const WallLine &wall);
// H: the higher end, or kDefaultWallHeight when neither end is above 0.
double WallHeight(const WallLine &wall);

// One line of the elevation's frame, in wall coordinates.
struct WallFrameLine {
    geometry::TAcadPoint st, ed;
    bool dashed = false;  // odd height lines
    bool vertical = false;
};

// Height lines every metre (y = 1000 i, i from 1, or from 0 when `onWallLine` is false, up to
// truncate(H / 1000); odd i dashed) and vertical lines every 5 m (x = 5000 i up to truncate(L /
// 5000)) plus one at x = L.
std::vector<WallFrameLine> WallFrameLines(double length, double height, bool onWallLine);

// How far around the wall rectangle shadows are kept: 5 % of the larger side.
double WallMargin(double length, double height);

// The shadow polygons on the wall's plane at one instant, in wall coordinates: one per casting
// face (a quadrilateral, or fewer or more corners where the margin cuts it), what WallShadowAt
// unites and PaintWallShadowBitmap paints. Each edge casts the face below it down to its base;
// a volume raised off the ground also casts its underside (a courtyard in it is cast with it).
std::vector<std::vector<geometry::TAcadPoint>> WallShadowPolygons(
    std::span<const geometry::TLineEnt> edges, const WallLine &wall, const solar::SolarState &sun,
    double time, std::span<const geometry::Volume> volumes = {});

// The shadow on the wall's plane at one instant, in wall coordinates: the union of the faces'
// shadows, kept within the wall rectangle widened by WallMargin on every side. No regions when the
// sun casts no shadow, runs along the wall or lies behind its seen face.
ShadowRegions WallShadowAt(std::span<const geometry::TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, double time,
                           Progress &progress = NoProgress(),
                           std::span<const geometry::Volume> volumes = {});

// Cuts a closed outline (last point joined to the first) at the wall rectangle 0 <= x <= L,
// 0 <= y <= H and joins what is left into open chains: a chain continues while the next kept
// segment starts where the last one ended (within 1e-5). A chain that ends where the first one
// starts is joined to it. Chains of one point are dropped.
std::vector<std::vector<geometry::TAcadPoint>> ClipOutlineToWall(
    std::span<const geometry::TAcadPoint> outline, double length, double height);

// A chain as it goes into the drawing with its label.
struct WallChain {
    std::vector<geometry::TAcadPoint> Points;
    geometry::TAcadPoint Label;
    double LabelAngle = 0.0;  // radians; the shadow lines' labels are not turned (0)
};

// ---- The wall shadow lines ----------------------------------------------------------------

struct WallLineInputs {
    double Start = 8.0;     // Edit2
    double End = 16.0;      // Edit7
    double Interval = 0.5;  // Edit11, hours
    double TextHeight = 300.0;
};

struct WallInstant {
    double Time = 0.0;
    bool WholeHour = true;  // drawn solid; a time with a fractional part is dashed
    // Per outline of the instant (west first) its chains; the first chain of each outline is
    // labelled at its end, later ones at their start, each 0.2 text heights down-right.
    std::vector<std::vector<WallChain>> Outlines;
};

struct WallShadowLines {
    std::vector<WallInstant> Instants;  // every instant of the range, also those without shadow
    bool Stopped = false;
};

// The instants start, start + interval, ... while <= end (with a tolerance of a millionth of an
// interval), rounded to whole seconds, each with its outlines cut to the wall. Progress:
// Start(instants), Position and KeepRunning before each.
WallShadowLines ComputeWallShadowLines(std::span<const geometry::TLineEnt> edges,
                                       const WallLine &wall, const solar::SolarState &sun,
                                       const WallLineInputs &in, Progress &progress,
                                       std::span<const geometry::Volume> volumes = {});

// ---- The wall isochrones ------------------------------------------------------------------

// Paints the wall shadow of one instant into the bitmap in its current colour (pixel mapping as
// PaintShadowBitmap's: column (x - X0) / Cell, row N - (y - Y0) / Cell). False, painting nothing,
// when nothing can be painted (no edges, no positive cell, no shadow on the wall's plane).
bool PaintWallShadowBitmap(std::span<const geometry::TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, double time, const RasterGeometry &raster,
                           ShadowBitmap &bitmap, PaintedRange &range,
                           std::span<const geometry::Volume> volumes = {});

// The counting pass on the wall: clears the grid and counts the M instants of shadow/instants.h,
// with `threads` threads (same result as one). Progress as CountFinePass.
PassSummary CountWallPass(std::span<const geometry::TLineEnt> edges, const WallLine &wall,
                          const solar::SolarState &sun, const RasterGeometry &raster,
                          double stepMinutes, double startHour, double endHour,
                          ShadowCountGrid &grid, Progress &progress, int threads = 1,
                          std::span<const geometry::Volume> volumes = {});

// The extent pass: the wall rectangle widened by WallMargin, then by 2.5 % on every side, counted
// on the 480-cell raster every 2 minutes; the rectangle around the cells shaded for an hour (at
// every sampled instant when the range is shorter), with the margins of GetToujiHani.
ToujiHani GetKabeToujiHani(std::span<const geometry::TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, double startHour, double endHour,
                           ShadowCountGrid &grid, std::span<const geometry::Volume> volumes = {});

struct WallToujiInputs {
    double Start = 8.0;
    double End = 16.0;
    EvaluationInterval Interval;  // RadioGroup6
    int SmoothingFactor = 4;      // UpDown5; always applied
    double TextHeight = 300.0;
};

struct WallHourLines {
    int Hour = 0;       // 8 .. 1, also the colour index
    std::string Label;  // "8.0Hr"
    // Per traced outline its chains; the first chain of each outline is labelled along its last
    // segment (turned end to start), later ones along their first segment.
    std::vector<std::vector<WallChain>> Outlines;
};

enum class WallToujiStatus {
    Done,     // Hours holds the lines (at least one outline was traced)
    NoMesh,   // nothing on the wall is shaded long enough to frame a raster
    Stopped,  // the user stopped the run
    NoLine,   // no outline was traced
};

struct WallTouji {
    WallToujiStatus Status = WallToujiStatus::Done;
    ToujiHani Hani;
    RasterGeometry Raster;  // Raster.Cell is the mesh size
    PassSummary Counted;
    std::vector<WallHourLines> Hours;  // 8 first
};

// The phases the progress sees: the counting (each instant's time as Status) and the hour loop
// (Start(8), then Position(k + 1), Status "8.0Hr" ... and KeepRunning for every hour).
WallTouji ComputeWallTouji(std::span<const geometry::TLineEnt> edges, const WallLine &wall,
                           const solar::SolarState &sun, const WallToujiInputs &in,
                           ShadowCountGrid &grid, Progress &progress, int threads = 1,
                           std::span<const geometry::Volume> volumes = {});

}  // namespace pimu::shadow
