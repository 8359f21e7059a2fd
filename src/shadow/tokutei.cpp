#include "shadow/tokutei.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/tolerances.h"
#include "shadow/point_probe.h"

namespace pimu::shadow {

namespace {

// (End - Start) * 60 / step is rounded away from a whole number by the decimal inputs
// (0.3 h / 1 min = 17.9999...); this much still counts as reaching it.
constexpr double kStepSlack = 1e-9;
// More instants than this cannot come from the window's intervals within the sun's hours.
constexpr double kMaxInstants = 1e7;

}  // namespace

TokuteiCheck CheckTokuteiInputs(const TokuteiInputs &in, int &instants) {
    if (!(in.StepMinutes > 0.0) || !std::isfinite(in.StepMinutes))
        return TokuteiCheck::StepNotPositive;
    const double steps = std::floor((in.End - in.Start) * 60.0 / in.StepMinutes + kStepSlack);
    if (!(steps >= 1.0)) return TokuteiCheck::NoInstants;
    // Outside this window there is no computed sun: the times would be those of a made-up one.
    const double end = in.Start + in.StepMinutes * steps / 60.0;
    if (!(in.Start >= solar::kFirstSunTime - kStepSlack) ||
        !(end <= solar::kLastSunTime + kStepSlack) || steps > kMaxInstants)
        return TokuteiCheck::OutsideSunHours;
    instants = static_cast<int>(steps);
    return TokuteiCheck::Ok;
}

void ShadowTimeTally::Add(bool shaded, double stepStart) {
    if (shaded) {
        ++times_.ShadedInstants;
        if (open_) return;
        open_ = true;
        ++times_.Runs;
        if (static_cast<int>(times_.Intervals.size()) < kListedIntervals)
            times_.Intervals.push_back({stepStart, std::nullopt});
        return;
    }
    if (!open_) return;
    open_ = false;
    if (times_.Runs <= kListedIntervals) times_.Intervals.back().Out = stepStart;
}

void ShadowTimeTally::Finish(double end, double stepMinutes) {
    if (open_ && times_.Runs <= kListedIntervals) times_.Intervals.back().Out = end;
    open_ = false;
    times_.TotalHours = stepMinutes * times_.ShadedInstants / 60.0;
}

std::vector<char> PointsInShadow(const ShadowRegions &shadow,
                                 std::span<const geometry::TAcadPoint> points) {
    std::vector<char> shaded(points.size(), 0);
    if (shadow.regions.empty()) return shaded;
    // Points beyond every region's box are lit without walking the rings.
    double xmin = std::numeric_limits<double>::infinity(), ymin = xmin;
    double xmax = -xmin, ymax = -xmin;
    for (const ShadowRegion &r : shadow.regions)
        for (const geometry::TAcadPoint &p : r.outer) {
            xmin = std::min(xmin, p.x);
            xmax = std::max(xmax, p.x);
            ymin = std::min(ymin, p.y);
            ymax = std::max(ymax, p.y);
        }
    const double tol = geometry::kPointTol;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const geometry::TAcadPoint p = points[i];
        if (!(p.x >= xmin - tol && p.x <= xmax + tol && p.y >= ymin - tol && p.y <= ymax + tol))
            continue;
        shaded[i] = LocatePoint(shadow, {p.x, p.y, 0.0}, tol) != PointPlace::Outside;
    }
    return shaded;
}

namespace {

// The result's frame: the inputs checked, the points' tallies. False when the run cannot start.
bool StartTokutei(std::span<const geometry::TAcadPoint> points,
                  const geometry::BuildingModel &model, const TokuteiInputs &in,
                  TokuteiResult &result, int &instants) {
    if (model.Empty()) {
        result.Status = TokuteiStatus::NoModel;
        return false;
    }
    result.Check = CheckTokuteiInputs(in, instants);
    if (result.Check != TokuteiCheck::Ok) {
        result.Status = TokuteiStatus::Refused;
        return false;
    }
    result.Instants = instants;
    result.Points.resize(points.size());
    return true;
}

// Whether the feet of some edge above the plane move with the sun (it stands on a base above
// the plane): then the footprints differ from instant to instant.
bool FootprintsMove(std::span<const geometry::TLineEnt> edges, double h) {
    return std::any_of(edges.begin(), edges.end(), [h](const geometry::TLineEnt &e) {
        return std::max(e.st.z, e.ed.z) > h && e.base > h;
    });
}

// What one instant's marking found.
enum class InstantMark { Marked, NoSun, Stopped };

// The instants of a run, one after the other: `mark(t, shaded)` sets shaded[k] for each point
// shaded at the instant t (hours); the tallies of the points follow. Both ways of finding the
// shaded points share this loop, so they count, stop and list alike.
template <class Mark>
TokuteiResult RunInstants(std::span<const geometry::TAcadPoint> points,
                          const geometry::BuildingModel &model, const TokuteiInputs &in,
                          Progress &progress, Mark &&mark) {
    TokuteiResult result;
    int instants = 0;
    if (!StartTokutei(points, model, in, result, instants)) return result;
    std::vector<ShadowTimeTally> tallies;
    tallies.reserve(points.size());
    for (PointShadowTimes &p : result.Points) tallies.emplace_back(p);

    std::vector<char> shaded;
    progress.Start(instants);
    for (int i = 0; i < instants; ++i) {
        progress.Position(i);
        if (!progress.KeepRunning()) {
            result.Status = TokuteiStatus::Stopped;
            return result;
        }
        shaded.assign(points.size(), 0);
        switch (mark(TokuteiInstant(in, i), shaded)) {
            case InstantMark::Stopped:
                result.Status = TokuteiStatus::Stopped;
                return result;
            case InstantMark::NoSun:
                ++result.NoSunInstants;
                break;
            case InstantMark::Marked:
                break;
        }
        const double stepStart = StepStartTime(in.Start, in.StepMinutes, i);
        for (std::size_t k = 0; k < points.size(); ++k) tallies[k].Add(shaded[k] != 0, stepStart);
    }
    const double end = StepStartTime(in.Start, in.StepMinutes, instants);
    for (ShadowTimeTally &tally : tallies) tally.Finish(end, in.StepMinutes);
    progress.Position(instants);
    return result;
}

}  // namespace

TokuteiResult GetTokuteiJikan(std::span<const geometry::TAcadPoint> points,
                              const geometry::BuildingModel &model, const solar::SolarState &sun,
                              const TokuteiInputs &in, Progress &progress) {
    // A point is shaded at an instant when it lies in some edge's quadrilateral or in a
    // footprint: the shadow regions hold exactly these, so their union is never built.
    const std::span<const geometry::TLineEnt> edges = model.AryTatemono;
    QuadProbe probe(points);
    const bool moving = FootprintsMove(edges, in.PlaneHeight);
    bool fixedUnder = false;
    std::vector<char> under;
    return RunInstants(points, model, in, progress, [&](double t, std::vector<char> &shaded) {
        const solar::SunResult pos = solar::SunPosition(sun, t);
        if (!pos.Ok || !(pos.Ratio >= 0.0) || !std::isfinite(pos.Ratio)) return InstantMark::NoSun;
        const double theta = solar::ShadowAngle(sun, pos.Azimuth);
        if (!probe.Mark(edges, in.PlaneHeight, theta, pos.Ratio, shaded, progress))
            return InstantMark::Stopped;
        if (std::find(shaded.begin(), shaded.end(), 0) == shaded.end()) return InstantMark::Marked;
        // The points under a footprint: found once when the footprints stay put.
        if (moving || !fixedUnder) {
            const ShadowRegions footprints =
                ShadowFootprintsAt(edges, sun, t, in.PlaneHeight, progress);
            if (footprints.status == RegionStatus::Stopped) return InstantMark::Stopped;
            under = PointsInShadow(footprints, points);
            fixedUnder = !moving;
        }
        for (std::size_t k = 0; k < points.size(); ++k) shaded[k] |= under[k];
        return InstantMark::Marked;
    });
}

TokuteiResult GetTokuteiJikanTraced(std::span<const geometry::TAcadPoint> points,
                                    const geometry::BuildingModel &model,
                                    const solar::SolarState &sun, const TokuteiInputs &in,
                                    Progress &progress) {
    return RunInstants(points, model, in, progress, [&](double t, std::vector<char> &shaded) {
        const ShadowRegions shadow =
            ShadowRegionsAt(model.AryTatemono, sun, t, in.PlaneHeight, progress);
        if (shadow.status == RegionStatus::Stopped) return InstantMark::Stopped;
        shaded = PointsInShadow(shadow, points);
        return shadow.status == RegionStatus::NoSun ? InstantMark::NoSun : InstantMark::Marked;
    });
}

}  // namespace pimu::shadow
