#include "shadow/jikoku.h"

#include "shadow/shadow_casting.h"

namespace pimu::shadow {

JikokuCheck CheckJikokuInputs(const JikokuInputs &in, int &instants) {
    if (!(in.Interval > 0.0)) return JikokuCheck::IntervalNotPositive;
    if (in.Start > in.End) return JikokuCheck::StartAfterEnd;
    const double steps = std::floor((in.End - in.Start) / in.Interval + kTimeSlack);
    if (!(steps + 1.0 <= kMaxJikokuInstants)) return JikokuCheck::TooManyInstants;
    // Outside this window there is no computed sun: an outline would be drawn for a made-up one.
    const double last = in.Start + steps * in.Interval;
    if (in.Start < solar::kFirstSunTime - kTimeSlack || last > solar::kLastSunTime + kTimeSlack)
        return JikokuCheck::OutsideSunHours;
    instants = static_cast<int>(steps) + 1;
    return JikokuCheck::Ok;
}

JikokuDiagram ComputeJikoku(const geometry::BuildingModel &model, const solar::SolarState &sun,
                            const JikokuInputs &in, double northAngle,
                            geometry::PolygonWorkspace &ws, Progress &progress) {
    JikokuDiagram diagram;
    int instants = 0;
    diagram.Check = CheckJikokuInputs(in, instants);
    if (diagram.Check != JikokuCheck::Ok) return diagram;

    progress.Start(instants);
    const auto stop = [&progress] { return !progress.KeepRunning(); };
    double t = in.Start;
    for (int i = 0; i < instants; ++i, t += in.Interval) {
        progress.Position(i + 1);
        bool stopped = stop();
        for (std::size_t e = 0; e < model.AryTatemono.size() && !stopped; ++e) stopped = stop();
        if (stopped) {
            diagram.Stopped = true;
            break;
        }
        JikokuInstant instant;
        instant.Time = t;
        // Drift must not move the first or last instant out of the sun's window.
        instant.SunTime = std::fmin(std::fmax(t, solar::kFirstSunTime), solar::kLastSunTime);
        instant.WholeHour = std::fabs(t - std::round(t)) <= kTimeSlack;
        instant.AzimuthDegrees =
            solar::SunPosition(sun, instant.SunTime).Azimuth * geometry::kRadToDeg;
        ShadowSegments(ws, model, sun, instant.SunTime, in.PlaneHeight);

        const auto keep = [&](const std::vector<geometry::TLineEnt> &outline) {
            JikokuOutline o;
            o.Points.push_back(outline.front().st);
            for (std::size_t k = 0; k + 1 < outline.size(); ++k) o.Points.push_back(outline[k].ed);
            o.Label = NorthmostVertex(outline, northAngle);
            instant.Outlines.push_back(std::move(o));
        };
        const geometry::OutlineLoopResult result =
            ws.AllOutlines(geometry::MaxSpanRule::MeasureTimes1000, keep, stop);
        instant.TraceFailed = result == geometry::OutlineLoopResult::TraceFailed;
        diagram.Instants.push_back(std::move(instant));
        if (result == geometry::OutlineLoopResult::Stopped) {
            diagram.Stopped = true;
            break;
        }
    }
    ws.AryLine.clear();
    return diagram;
}

}  // namespace pimu::shadow
