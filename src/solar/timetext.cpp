#include "solar/timetext.h"

#include <cmath>
#include <cstdio>

namespace pimu::solar {
namespace {

struct Hms {
    long long hours = 0;
    long long minutes = 0;
    long long seconds = 0;
};

Hms SplitTime(double t) {
    if (!(std::fabs(t) < 1e9)) t = 0.0;  // keeps the integer conversions below defined
    t += kClockSlack;
    Hms r;
    const double hours = std::trunc(t);
    const double frac = t - hours;
    const double minutes = std::trunc(frac * 60.0);
    r.hours = static_cast<long long>(hours);
    r.minutes = static_cast<long long>(minutes);
    r.seconds = static_cast<long long>(std::trunc((frac - minutes / 60.0) * 3600.0));
    return r;
}

std::string Pad2(long long v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

}  // namespace

std::string FormatHM(double t) {
    const Hms v = SplitTime(t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2.2lld:%2.2lld", v.hours, v.minutes);
    return buf;
}

std::string FormatHMS(double t) {
    Hms v = SplitTime(t);
    if (v.seconds % 5 != 0) v.seconds += 5 - v.seconds % 5;
    if (v.seconds >= 60) {
        v.seconds = 0;
        ++v.minutes;
    }
    if (v.minutes >= 60) {
        v.minutes = 0;
        ++v.hours;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2lld:%.2lld'%.2lld\"", v.hours, v.minutes, v.seconds);
    return buf;
}

std::string FormatClock(double t) {
    const Hms v = SplitTime(t);
    return std::to_string(v.hours) + ":" + Pad2(v.minutes) + ":" + Pad2(v.seconds);
}

}  // namespace pimu::solar
