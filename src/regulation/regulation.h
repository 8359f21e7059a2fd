// The shadow-regulation check: do the planned buildings keep the shadow times their zone allows on
// the land around the site? The ground beyond the 5 m line may be shaded at most Limit5 hours, the
// ground beyond the 10 m line at most Limit10 hours, counted on the measurement plane on the
// winter solstice between the zone's hours of true solar time. The check finds the regions shaded
// at least each limit, the parts of them that cross their line, and how far a compliant design
// stays inside.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/progress.h"
#include "boundary/kyoukaisen.h"
#include "geometry/building_model.h"
#include "geometry/types.h"
#include "shadow/instants.h"
#include "solar/sun.h"

namespace pimu::regulation {

using geometry::TAcadPoint;
using geometry::TLineEnt;

// One row of the zone table: a kind of district, one of the limit pairs an ordinance may choose
// for it, and the plane height.
struct ZoneRule {
    std::string_view Name;     // what --zone takes, e.g. "2-1-4" (ASCII)
    std::string_view Caption;  // what the window and the report show (Japanese)
    double PlaneHeight = 0.0;  // mm above the average ground level
    double Limit5 = 0.0;       // hours allowed between the 5 m and the 10 m line
    double Limit10 = 0.0;      // hours allowed beyond the 10 m line
    bool Northern = false;     // the northern region: 9:00-15:00 instead of 8:00-16:00
};

// Every row, in the order the window lists them.
std::span<const ZoneRule> ZoneRules();
// The row of that name, nullptr when there is none.
const ZoneRule *FindZoneRule(std::string_view name);

// A side of the site that faces a road, a river, a railway or the like: the outline side nearest
// to `Near` faces open ground `Width` mm wide. The boundary on that side is taken half the width
// out, or, where the width exceeds 10 m, 5 m short of the far side.
struct OpenSide {
    TAcadPoint Near;
    double Width = 0.0;  // mm
};

struct RegulationInputs {
    std::string Zone;          // the zone's caption, "" when the limits were given directly
    double PlaneHeight = 0.0;  // mm
    double Limit5 = 0.0;       // hours
    double Limit10 = 0.0;      // hours
    double Start = 8.0;        // true solar time, hours
    double End = 16.0;
    double StepMinutes = 1.0;  // sampling step of the check
    std::vector<OpenSide> OpenSides;
};

// The inputs of a zone row (its plane, limits and hours).
RegulationInputs InputsForZone(const ZoneRule &rule);

// The sampled instants of the check are those of every count of shadow time (shadow/instants.h):
// the middles of the K steps between Start and End, K = round((End - Start) * 60 / step), so that
// the shadow time of a point is its shaded instants times the step. 0 when the inputs give no
// whole step.
int RegulationInstantCount(const RegulationInputs &in);
inline double RegulationInstant(const RegulationInputs &in, int i) {
    return shadow::InstantTime(in.Start, in.StepMinutes, i);
}

// The count of shaded instants that reaches `hours` ("at least": 2.5 h at 1 min is 150).
int RegulationCount(double hours, double stepMinutes);

// The outline as deemed after the open sides: each open side (the outline side nearest its Near
// point) is moved outward in parallel by Width / 2, or by Width - 5 m where Width exceeds 10 m;
// the neighbouring sides are extended or cut to meet the moved ones. Several open sides on the
// same side take the widest. `outline` is closed and counter-clockwise (each segment's ed the
// next one's st). Empty when a move would fold the outline (a neighbouring side cut to nothing
// or turned round): the site cannot be deemed that way.
std::vector<TLineEnt> DeemOutline(const std::vector<TLineEnt> &outline,
                                  std::span<const OpenSide> sides);

// Points along a closed line, its arcs included, no two consecutive ones further apart than
// `spacing` (mm, positive); the vertices are among them.
std::vector<TAcadPoint> SampleLine(const boundary::KyoukaisenLine &line, double spacing);

// Why the check cannot run; the front ends word each case.
enum class RegulationCheck {
    Ok,
    BadLimits,       // a limit not positive, not finite, or longer than the hours
    BadPlaneHeight,  // negative or not finite
    BadHours,        // start not before end, or outside the hours the sun is computed for
    BadStep,         // the step not positive or longer than the hours
    BadOpenSide,     // a width not positive or not finite, or a move that folds the outline
};
RegulationCheck CheckRegulationInputs(const RegulationInputs &in);

enum class RegulationStatus {
    Done,           // both limits checked
    Invalid,        // Check tells why; nothing computed
    NoModel,        // no building edges
    SiteNotClosed,  // the site's lines close no outline
    Stopped,        // the user stopped the run
};

// One limit and its line.
struct LimitResult {
    double Distance = 0.0;          // 5000 or 10000 (mm)
    double LimitHours = 0.0;        // shaded hours allowed beyond the line
    boundary::KyoukaisenLine Line;  // the measurement line (closed, counter-clockwise)
    // The regions shaded at least LimitHours (closed outlines; holes are lit ground inside).
    std::vector<std::vector<TAcadPoint>> Regions;
    std::vector<std::vector<TAcadPoint>> Holes;
    // The parts of the regions beyond the line (closed outlines), their total area (mm2) and the
    // largest distance of a crossing point from the line (mm); empty and 0 when it complies.
    std::vector<std::vector<TAcadPoint>> Crossings;
    double CrossingArea = 0.0;
    double MaxBeyond = 0.0;
    // How far inside the line the regions stay (mm): the smallest distance from the line to a
    // point shaded at least LimitHours; empty when nothing is shaded that long.
    std::optional<double> Margin;
    // The largest shadow time found on the line (hours, a whole number of seconds) and where.
    double MaxHoursOnLine = 0.0;
    TAcadPoint MaxHoursAt;
    bool Complies = true;
    // The count of shaded instants that reaches LimitHours.
    int Threshold = 0;
};

// The phases the progress sees, each opened by one Start: the extent pass, the counting of the
// raster (each instant's time as Status), the exact shadow times on and near the lines (each
// instant's time as Status) and the tracing of the regions and crossings.
enum class RegulationPhase { Extent = 0, Counting = 1, Lines = 2, Tracing = 3 };

struct RegulationResult {
    RegulationStatus Status = RegulationStatus::Done;
    RegulationCheck Check = RegulationCheck::Ok;
    RegulationInputs Inputs;
    // The site outline as picked (closed, counter-clockwise) and as deemed after the open sides.
    std::vector<TLineEnt> SiteOutline;
    std::vector<TLineEnt> DeemedOutline;
    std::array<LimitResult, 2> Limits;  // the 5 m line, then the 10 m line
    int Instants = 0;                   // sampled instants
    int NoSunInstants = 0;              // of them, with the sun down (counted lit)
    double Cell = 0.0;                  // cell size of the count grid (mm)
    int LineSamples = 0;                // points of both lines sampled
    int RefinedCells = 0;               // cells near the lines counted point by point
    bool Complies() const { return Limits[0].Complies && Limits[1].Complies; }
};

// The check. The sun's latitude and north are used; the day is the winter solstice and the
// times are true solar time, whatever the state says. `siteEdges` are the planar edges of the
// picked site lines (as the boundary command takes them).
// - The site outline is traced as the boundary command traces it and deemed after the open sides
//   (DeemOutline); the lines are the outlines 5 m and 10 m outside the deemed one.
// - The instants are RegulationInstant's; those with the sun down count as lit (NoSunInstants).
// - A point is "beyond" a line when it lies at least the line's distance from the deemed outline:
//   a point on the line counts as beyond, since a sampled raster cannot place it more exactly.
// - The regions are counted on a 2000-cell raster over the ground shaded about the smaller limit.
// - Each line is decided from exact shadow times (shadow::ExactShadow: every change of shade
//   placed to the millisecond whatever the step, however short the shadow or the lit gap, judged
//   to the second). The lines are sampled every 50 mm; every
//   sample whose count at the check's instants lies near its limit or near the line's largest
//   count gets its exact time, and the largest time between two samples around each peak is
//   searched for. A limit is reached by a time equal to it to the second. So the verdict and the
//   largest time of a line depend neither on the step nor on the other line's limit.
// - Where a line is not crossed, the cells beyond it whose count is near its limit get exact
//   times too, so that a region beyond the line that does not touch it is judged alike.
// - CrossingArea is the crossing cells times the cell's area, MaxBeyond the largest distance of a
//   crossing cell beyond the line. Where the line is crossed Margin is -MaxBeyond (0 or
//   negative); otherwise it is the distance from the line of the nearest point whose exact time
//   reaches the limit: the nearest cells that reach it, each followed towards the line to where
//   the time falls below the limit (to a millimetre).
// Progress: the RegulationPhase phases, KeepRunning asked within every long loop; a stop returns
// Stopped with the inputs and lines but nothing judged.
RegulationResult CheckRegulation(const geometry::BuildingModel &model, const solar::SolarState &sun,
                                 std::vector<TLineEnt> siteEdges, const RegulationInputs &in,
                                 Progress &progress = NoProgress());

}  // namespace pimu::regulation
