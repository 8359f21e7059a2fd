#include "shadow/jikoku.h"

#include "shadow/shadow_regions.h"

namespace pimu::shadow {

namespace {

constexpr double kSecondsPerHour = 3600.0;

// Hours to the nearest whole second; false when the value is not a number or beyond a day's
// worth of anything a diagram could use.
bool ToSeconds(double hours, long long &seconds) {
    if (!std::isfinite(hours) || std::fabs(hours) > 1e6) return false;
    seconds = std::llround(hours * kSecondsPerHour);
    return true;
}

// The label point of a closed outline: the vertex farthest towards true north, as the literal
// trace chose it from its segments.
geometry::TAcadPoint LabelOf(const std::vector<geometry::TAcadPoint> &ring, double northAngle) {
    std::vector<geometry::TLineEnt> segments;
    segments.reserve(ring.size());
    for (std::size_t i = 0; i < ring.size(); ++i) {
        geometry::TLineEnt s;
        s.st = ring[i];
        s.ed = ring[(i + 1) % ring.size()];
        segments.push_back(s);
    }
    return NorthmostVertex(segments, northAngle);
}

}  // namespace

JikokuCheck CheckJikokuInputs(const JikokuInputs &in, JikokuTimes &times) {
    long long interval = 0, start = 0, end = 0;
    if (!ToSeconds(in.Interval, interval) || interval <= 0) return JikokuCheck::IntervalNotPositive;
    if (!ToSeconds(in.Start, start) || !ToSeconds(in.End, end)) return JikokuCheck::OutsideSunHours;
    if (start > end) return JikokuCheck::StartAfterEnd;
    const long long steps = (end - start) / interval;
    if (steps + 1 > kMaxJikokuInstants) return JikokuCheck::TooManyInstants;
    // Outside this window there is no computed sun: an outline would be drawn for a made-up one.
    const long long first = std::llround(solar::kFirstSunTime * kSecondsPerHour);
    const long long last = std::llround(solar::kLastSunTime * kSecondsPerHour);
    if (start < first || start + steps * interval > last) return JikokuCheck::OutsideSunHours;
    times = JikokuTimes{start, end, interval, static_cast<int>(steps) + 1};
    return JikokuCheck::Ok;
}

JikokuCheck CheckJikokuInputs(const JikokuInputs &in, int &instants) {
    JikokuTimes times;
    const JikokuCheck check = CheckJikokuInputs(in, times);
    if (check == JikokuCheck::Ok) instants = times.Count;
    return check;
}

JikokuDiagram ComputeJikoku(const geometry::BuildingModel &model, const solar::SolarState &sun,
                            const JikokuInputs &in, double northAngle, Progress &progress) {
    JikokuDiagram diagram;
    JikokuTimes times;
    diagram.Check = CheckJikokuInputs(in, times);
    if (diagram.Check != JikokuCheck::Ok) return diagram;

    progress.Start(times.Count);
    const auto stop = [&progress] { return !progress.KeepRunning(); };
    for (int i = 0; i < times.Count; ++i) {
        progress.Position(i + 1);
        bool stopped = stop();
        for (std::size_t e = 0; e < model.AryTatemono.size() && !stopped; ++e) stopped = stop();
        if (stopped) {
            diagram.Stopped = true;
            break;
        }
        JikokuInstant instant;
        instant.Seconds = times.At(i);
        instant.Time = static_cast<double>(instant.Seconds) / kSecondsPerHour;
        instant.WholeHour = instant.Seconds % 3600 == 0;
        instant.AzimuthDegrees =
            solar::SunPosition(sun, instant.Time).Azimuth * geometry::kRadToDeg;
        const ShadowRegions shadow =
            ShadowRegionsAt(model.AryTatemono, sun, instant.Time, in.PlaneHeight, progress);
        if (shadow.status == RegionStatus::Stopped) {
            diagram.Stopped = true;
            break;
        }
        instant.NoSun = shadow.status == RegionStatus::NoSun;
        for (const ShadowRegion &r : shadow.regions) {
            JikokuOutline o;
            o.Points = r.outer;
            o.Label = LabelOf(r.outer, northAngle);
            o.Holes = r.holes;
            instant.Outlines.push_back(std::move(o));
        }
        diagram.Instants.push_back(std::move(instant));
    }
    return diagram;
}

}  // namespace pimu::shadow
