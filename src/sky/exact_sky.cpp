#include "sky/exact_sky.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "geometry/tolerances.h"

namespace pimu::sky {

using geometry::kPi;
using geometry::kPointTol;
using geometry::kTwoPi;
using geometry::TAcadPoint;
using geometry::TLineEnt;

namespace {

// Angles this close count as equal when deciding whether an azimuth lies on a wall.
constexpr double kAngleSlack = 1e-12;

double Wrap(double a) {
    a = std::fmod(a, kTwoPi);
    return a < 0.0 ? a + kTwoPi : a;
}

// a brought into (-pi, pi].
double Centered(double a) {
    a = Wrap(a);
    return a > kPi ? a - kTwoPi : a;
}

// One wall: a straight top edge above the plane standing on the plane. Over its azimuths
// [start, start + span] its elevation is tan h = kx cos phi + ky sin phi.
struct Wall {
    double start = 0.0;
    double span = 0.0;
    double kx = 0.0;
    double ky = 0.0;

    bool Contains(double phi) const { return Wrap(phi - start) <= span + kAngleSlack; }
    double TanH(double phi) const { return kx * std::cos(phi) + ky * std::sin(phi); }

    // The integral of sin^2 h over [a, b] (b - a < pi).
    double Integral(double a, double b) const {
        const double p2 = kx * kx + ky * ky;
        const double q = std::sqrt(1.0 + p2);
        const double psi = std::atan2(ky, kx);
        const auto g = [q, psi](double phi) {
            const double t = phi - psi;
            return std::atan2(std::sin(t), q * std::cos(t));
        };
        // sin^2 h = 1 - 1 / (1 + p^2 cos^2 t), whose integral is t - atan(tan t / q) / q.
        return (b - a) - Centered(g(b) - g(a)) / q;
    }
};

double PlanDistanceToSegment(TAcadPoint a, TAcadPoint b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? -(a.x * dx + a.y * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(a.x + t * dx, a.y + t * dy);
}

}  // namespace

double ExactSkyFactor(const geometry::BuildingModel &model, TAcadPoint point, double e) {
    std::vector<Wall> walls;
    for (const TLineEnt &l : model.AryTatemono) {
        if (!(l.st.z > e && l.ed.z > e && l.st.z > kPointTol && l.ed.z > kPointTol)) continue;
        const TAcadPoint a{l.st.x - point.x, l.st.y - point.y, l.st.z - e};
        const TAcadPoint b{l.ed.x - point.x, l.ed.y - point.y, l.ed.z - e};
        // A wall through the measurement point is seen edge on and covers nothing, as in the
        // projection, where such points fall on the zenith.
        if (PlanDistanceToSegment(a, b) < kPointTol) continue;
        const double nz = a.x * b.y - a.y * b.x;
        double start = std::atan2(a.y, a.x);
        double span = Centered(std::atan2(b.y, b.x) - start);
        if (span < 0.0) {
            start += span;
            span = -span;
        }
        if (span <= kAngleSlack || nz == 0.0) continue;  // radial: no area
        const double nx = a.y * b.z - a.z * b.y;
        const double ny = a.z * b.x - a.x * b.z;
        walls.push_back(Wall{Wrap(start), span, -nx / nz, -ny / nz});
    }
    if (walls.empty()) return 100.0;

    std::vector<double> cuts;
    for (const Wall &w : walls) {
        cuts.push_back(w.start);
        cuts.push_back(Wrap(w.start + w.span));
    }
    for (std::size_t i = 0; i < walls.size(); ++i) {
        for (std::size_t j = i + 1; j < walls.size(); ++j) {
            const double dx = walls[i].kx - walls[j].kx;
            const double dy = walls[i].ky - walls[j].ky;
            if (dx == 0.0 && dy == 0.0) continue;
            const double base = std::atan2(dy, dx);
            for (const double phi : {Wrap(base + kPi / 2.0), Wrap(base - kPi / 2.0)}) {
                if (walls[i].Contains(phi) && walls[j].Contains(phi)) cuts.push_back(phi);
            }
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

    double covered = 0.0;
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        const double lo = cuts[k];
        const double hi = k + 1 < cuts.size() ? cuts[k + 1] : cuts.front() + kTwoPi;
        if (hi - lo <= 0.0) continue;
        const double mid = (lo + hi) / 2.0;
        const Wall *top = nullptr;
        double best = 0.0;
        for (const Wall &w : walls) {
            if (!w.Contains(mid)) continue;
            const double t = w.TanH(mid);
            if (top == nullptr || t > best) {
                top = &w;
                best = t;
            }
        }
        if (top != nullptr && best > 0.0) covered += top->Integral(lo, hi);
    }
    return 100.0 * (1.0 - covered / kTwoPi);
}

}  // namespace pimu::sky
