// The instants every count of shadow time samples: the isochrones, the wall isochrones, the
// points and the regulation's regions.
//
// The range from start to end holds K whole steps (a part-step left at the end is not counted).
// Step k is sampled at its middle, start + (k + 1/2) * step, and a point shaded there counts as
// shaded for that whole step. So a count of n instants is n steps of shadow, the steps tile the
// range (8:00-16:00 at one minute: 480 instants, 8:00:30 ... 15:59:30; a point shaded at every one
// is shaded 8 h), neither end of the range is an instant of its own, and a shadow's start or end
// is placed at the step boundary nearest to it.
#pragma once

#include <cmath>

namespace pimu::shadow {

// K = the whole steps from start to end; 0 when the range is empty, not finite, or longer than a
// day (such a range cannot be meant and would run for ever), or the step is not positive. A range
// such as 0.3 h at one minute, which decimal inputs put a hair below 18 steps, holds 18.
inline int InstantCount(double startHour, double endHour, double stepMinutes) {
    const double span = endHour - startHour;
    if (!std::isfinite(span) || !(stepMinutes > 0.0) || span <= 0.0 || span > 24.0) return 0;
    return static_cast<int>(std::floor(span * 60.0 / stepMinutes + 1e-9));
}

// The clock time (hours) of instant k: the middle of step k.
inline double InstantTime(double startHour, double stepMinutes, int k) {
    return startHour + stepMinutes * (k + 0.5) / 60.0;
}

// The clock time (hours) at which step k begins; step K begins where the counted range ends.
inline double StepStartTime(double startHour, double stepMinutes, int k) {
    return startHour + stepMinutes * k / 60.0;
}

}  // namespace pimu::shadow
