// The isochronal shadow diagram as one computation: the extent pass frames the ground shaded for
// the first checked hour, the fine pass counts the shaded instants on the chosen raster, and the
// hour loop traces the outline of every checked hour. The window writes the result.
#pragma once

#include <array>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_raster.h"
#include "solar/sun.h"

namespace pimu::shadow {

struct ToujiInputs {
    double PlaneHeight = 0.0;  // mm
    double Start = 8.0;        // GB_kaisi
    double End = 16.0;         // GB_owari
    EvaluationInterval Interval;
    std::array<bool, kHourItemCount> Checked{};  // CheckListBox1
    bool Smoothing = false;                      // CheckBox8
    int SmoothingFactor = 4;                     // UpDown5
    double TrueNorthDegrees = 90.0;              // GB_kita
};

// Why the diagram cannot be made for the inputs; the window words each case.
enum class ToujiCheck {
    Ok,
    StartNotBeforeEnd,  // Start >= End
    OutsideSunHours,    // Start before kFirstSunTime or End after kLastSunTime
    NothingChecked,     // no hour item checked
};

// The range checks; NothingChecked is the command's, the mesh-size preview needs no hour.
ToujiCheck CheckToujiRange(const ToujiInputs &in);
ToujiCheck CheckToujiInputs(const ToujiInputs &in);

// The index of the first checked hour item, -1 when none is.
int FirstCheckedHour(const ToujiInputs &in);

enum class ToujiStatus {
    Done,      // Contours holds the outlines (possibly none: the window says so)
    Invalid,   // Check tells why; nothing was computed
    Stopped,   // the user stopped the run
    NoExtent,  // no ground is shaded for the first checked hour
};

struct ToujiDiagram {
    ToujiStatus Status = ToujiStatus::Done;
    ToujiCheck Check = ToujiCheck::Ok;
    ToujiHani Hani;         // the extent pass
    RasterGeometry Raster;  // the fine raster (the mesh size is Raster.Cell)
    PassSummary Counted;    // the fine pass (SkippedNoSun: instants without sun)
    ContourRun Contours;    // the traced hours
};

// The phases the progress sees, each opened by one Start: the extent pass, the fine pass (with
// each instant's time as Status) and the hour loop (with each hour's item text as Status).
enum class ToujiPhase { Extent = 0, Counting = 1, Hours = 2 };

// The extent pass alone (the mesh-size preview): GetPimuHani widened and counted on the coarse
// raster for the first checked hour (1.5 when none).
ToujiHani FindToujiHani(const geometry::BuildingModel &model, const solar::SolarState &sun,
                        const ToujiInputs &in, ShadowCountGrid &grid, Progress &progress);

// The whole diagram on `grid` (overwritten), counting with `threads` threads. The extent pass
// cannot be interrupted; a stop asked during it ends the run after it.
ToujiDiagram ComputeToujikan(const geometry::BuildingModel &model, const solar::SolarState &sun,
                             const ToujiInputs &in, ShadowCountGrid &grid, Progress &progress,
                             int threads = 1);

}  // namespace pimu::shadow
