// Shadow times of specific points: for each point on the measurement plane, when it enters and
// leaves the buildings' shadow (the first three intervals) and how long it is shaded in all.
//
// A point is shaded at an instant when it lies in the shadow quadrilateral of some edge or in a
// footprint (the ground under a volume; a point in a lit courtyard is not shaded), which is where
// the shadow regions of ShadowRegionsAt lie: the quadrilaterals are tested against the points
// (QuadProbe) and the footprints traced once (every instant only when a raised volume's underside
// moves them), so the union of the instant's shadow is never built.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/types.h"
#include "shadow/instants.h"
#include "shadow/shadow_regions.h"
#include "solar/sun.h"

namespace pimu::shadow {

// Intervals listed per point; later ones only add to the total.
inline constexpr int kListedIntervals = 3;

// What the times are computed for: start and end in decimal hours, the step in minutes and the
// plane height in mm.
struct TokuteiInputs {
    double Start = 8.0;        // GB_kaisi
    double End = 16.0;         // GB_owari
    double StepMinutes = 1.0;  // the evaluation interval
    double PlaneHeight = 0.0;  // GB_takasa
};

// Why the times cannot be computed for the inputs; the window words each case.
enum class TokuteiCheck {
    Ok,
    StepNotPositive,  // StepMinutes <= 0 (or not a number)
    NoInstants,       // no instant from Start before End
    OutsideSunHours,  // the counted range begins before kFirstSunTime or ends after kLastSunTime
};

// The instants: the middles of the K whole steps from Start to End (shadow/instants.h); each
// stands for its step. `instants` is set only when Ok.
TokuteiCheck CheckTokuteiInputs(const TokuteiInputs &in, int &instants);

// The clock time of instant i.
inline double TokuteiInstant(const TokuteiInputs &in, int i) {
    return InstantTime(in.Start, in.StepMinutes, i);
}

// One shadow interval: the start of the first step whose instant found the point shaded, and the
// start of the first step found lit again (or, for a shadow lasting to the end, the end of the
// counted range), so that the intervals add up to the total. No Out: the run stopped while the
// point was shaded.
struct ShadowInterval {
    double In = 0.0;
    std::optional<double> Out;
};

// The shadow times of one point.
struct PointShadowTimes {
    std::vector<ShadowInterval> Intervals;  // the first kListedIntervals, in order
    int Runs = 0;                           // shadow intervals in all
    int ShadedInstants = 0;
    std::optional<double> TotalHours;  // StepMinutes * ShadedInstants / 60; only a complete run
};

// Adds one instant at a time to a point's times.
class ShadowTimeTally {
public:
    explicit ShadowTimeTally(PointShadowTimes &times) : times_(times) {}
    // The point at the instant of the step that begins at `stepStart` (hours).
    void Add(bool shaded, double stepStart);
    // The run is complete: an open interval closes at `end`, the total is `stepMinutes` times the
    // shaded instants.
    void Finish(double end, double stepMinutes);

private:
    PointShadowTimes &times_;
    bool open_ = false;
};

// Whether each point is in shadow (inside a region or on its edge, holes lit) at the instant the
// regions were made for.
std::vector<char> PointsInShadow(const ShadowRegions &shadow,
                                 std::span<const geometry::TAcadPoint> points);

enum class TokuteiStatus {
    Done,     // every instant evaluated, the totals given
    NoModel,  // no building: nothing computed
    Stopped,  // the progress asked to stop: intervals so far, no totals
    Refused,  // the inputs were refused (Check)
};

struct TokuteiResult {
    TokuteiStatus Status = TokuteiStatus::Done;
    TokuteiCheck Check = TokuteiCheck::Ok;
    int Instants = 0;       // K
    int NoSunInstants = 0;  // instants with the sun below the horizon: no point counted shaded
    std::vector<PointShadowTimes> Points;  // one per input point
};

// The shadow times of the points (x, y; z is not used: the points lie on the plane). Progress:
// Start(K), then per instant KeepRunning and Position(i); the engine asks KeepRunning within an
// instant as well. A false answer stops the run (Stopped).
TokuteiResult GetTokuteiJikan(std::span<const geometry::TAcadPoint> points,
                              const geometry::BuildingModel &model, const solar::SolarState &sun,
                              const TokuteiInputs &in, Progress &progress = NoProgress());

// The same by tracing every instant's shadow regions (ShadowRegionsAt) and locating the points
// in them: the reference the production path is tested and timed against. Its time grows with
// the union's, which the production path never builds.
TokuteiResult GetTokuteiJikanTraced(std::span<const geometry::TAcadPoint> points,
                                    const geometry::BuildingModel &model,
                                    const solar::SolarState &sun, const TokuteiInputs &in,
                                    Progress &progress = NoProgress());

}  // namespace pimu::shadow
