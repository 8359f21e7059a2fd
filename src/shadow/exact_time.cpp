#include "shadow/exact_time.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "geometry/tolerances.h"
#include "shadow/touji_raster.h"

namespace pimu::shadow {

using geometry::TAcadPoint;
using geometry::TLineEnt;

ExactShadow::ExactShadow(std::span<const TLineEnt> edges, const solar::SolarState &sun, double h,
                         std::span<const geometry::Volume> volumes, double start, double end)
    : edges_(edges), volumes_(volumes), sun_(sun), h_(h) {
    // The shadows every minute; between two of them a shadow point moves less than the chord
    // between its places, by which the box is widened.
    std::vector<Instant> instants;
    const int steps = std::max(1, static_cast<int>(std::ceil((end - start) * 60.0)));
    for (int k = 0; k <= steps; ++k) instants.push_back(At(start + (end - start) * k / steps));
    reach_.reserve(edges_.size());
    for (const TLineEnt &e : edges_) {
        Box b{std::min(e.st.x, e.ed.x), std::min(e.st.y, e.ed.y), std::max(e.st.x, e.ed.x),
              std::max(e.st.y, e.ed.y)};
        double pad = 0.0;
        for (const TAcadPoint &p : {e.st, e.ed}) {
            bool first = true;
            TAcadPoint last;
            for (const Instant &s : instants) {
                if (!s.sun) continue;
                const TAcadPoint q = Cast(p, s);
                b = {std::min(b.x0, q.x), std::min(b.y0, q.y), std::max(b.x1, q.x),
                     std::max(b.y1, q.y)};
                if (!first) pad = std::max(pad, std::hypot(q.x - last.x, q.y - last.y));
                last = q;
                first = false;
            }
        }
        pad += 1.0;
        reach_.push_back({b.x0 - pad, b.y0 - pad, b.x1 + pad, b.y1 + pad});
    }
}

bool ExactShadow::UnderVolume(TAcadPoint p, const Instant &s) const {
    for (std::size_t i = 0; i < volumes_.size(); ++i) {
        const geometry::Volume &v = volumes_[i];
        if (!(v.top > h_)) continue;
        // A volume raised above the plane shades its underside's shadow, not the ground under it.
        TAcadPoint q = p;
        if (v.bottom > h_) {
            q.x -= (v.bottom - h_) * s.dx;
            q.y -= (v.bottom - h_) * s.dy;
        }
        // Each group of the same bottom and top once, at its first volume.
        bool first = true;
        for (std::size_t j = 0; j < i && first; ++j)
            first = volumes_[j].top != v.top || volumes_[j].bottom != v.bottom;
        if (!first) continue;
        bool inside = false;
        for (std::size_t j = i; j < volumes_.size(); ++j) {
            if (volumes_[j].top != v.top || volumes_[j].bottom != v.bottom) continue;
            const std::vector<TAcadPoint> &ring = volumes_[j].footprint;
            for (std::size_t k = 0, m = ring.size(); k < m; ++k) {
                const TAcadPoint a = ring[k], b = ring[(k + 1) % m];
                if ((a.y > q.y) != (b.y > q.y) &&
                    q.x < a.x + (q.y - a.y) * (b.x - a.x) / (b.y - a.y))
                    inside = !inside;
            }
        }
        if (inside) return true;
    }
    return false;
}

ExactShadow::Instant ExactShadow::At(double t) const {
    Instant s;
    const solar::SunResult pos = solar::SunPosition(sun_, t);
    if (!CastsShadows(pos)) return s;
    s.sun = true;
    const double theta = solar::ShadowAngle(sun_, pos.Azimuth);
    s.dx = std::cos(theta) * pos.Ratio;
    s.dy = std::sin(theta) * pos.Ratio;
    return s;
}

namespace {

double Cross(double ax, double ay, double bx, double by) {
    return ax * by - ay * bx;
}

}  // namespace

TAcadPoint ExactShadow::Cast(TAcadPoint p, const Instant &s) const {
    if (p.z > h_) return {p.x + (p.z - h_) * s.dx, p.y + (p.z - h_) * s.dy, 0.0};
    return {p.x, p.y, 0.0};
}

bool ExactShadow::InQuad(const TLineEnt &e, const Instant &s, TAcadPoint p) const {
    // Only an edge above the plane casts a shadow of some size.
    if (!(e.st.z > h_ || e.ed.z > h_)) return false;
    const TAcadPoint v[4] = {Cast({e.st.x, e.st.y, e.base}, s), Cast({e.ed.x, e.ed.y, e.base}, s),
                             Cast(e.ed, s), Cast(e.st, s)};
    const double tol = geometry::kPointTol;
    if ((p.x < v[0].x - tol && p.x < v[1].x - tol && p.x < v[2].x - tol && p.x < v[3].x - tol) ||
        (p.x > v[0].x + tol && p.x > v[1].x + tol && p.x > v[2].x + tol && p.x > v[3].x + tol) ||
        (p.y < v[0].y - tol && p.y < v[1].y - tol && p.y < v[2].y - tol && p.y < v[3].y - tol) ||
        (p.y > v[0].y + tol && p.y > v[1].y + tol && p.y > v[2].y + tol && p.y > v[3].y + tol))
        return false;
    double area = 0.0;
    for (int k = 0; k < 4; ++k) area += Cross(v[k].x, v[k].y, v[(k + 1) % 4].x, v[(k + 1) % 4].y);
    if (!std::isfinite(area) || area == 0.0) return false;
    const double sign = area > 0.0 ? 1.0 : -1.0;
    // The quadrilateral is convex: p is in it, or within the point tolerance of it, when it lies
    // on the inner side of every side.
    for (int k = 0; k < 4; ++k) {
        const TAcadPoint a = v[k], b = v[(k + 1) % 4];
        const double dx = b.x - a.x, dy = b.y - a.y;
        if (sign * Cross(dx, dy, p.x - a.x, p.y - a.y) < -geometry::kPointTol * std::hypot(dx, dy))
            return false;
    }
    return true;
}

bool ExactShadow::ShadedBy(std::span<const std::size_t> edges, TAcadPoint p, double t) const {
    const Instant s = At(t);
    if (!s.sun) return false;
    if (UnderVolume(p, s)) return true;
    for (std::size_t i : edges)
        if (InQuad(edges_[i], s, p)) return true;
    return false;
}

bool ExactShadow::Shaded(TAcadPoint p, double t) const {
    const Instant s = At(t);
    if (!s.sun) return false;
    if (UnderVolume(p, s)) return true;
    for (const TLineEnt &e : edges_)
        if (InQuad(e, s, p)) return true;
    return false;
}

double ExactShadow::ShadedHours(TAcadPoint p, double start, double end, double stepMinutes) const {
    if (!(end > start) || !(stepMinutes > 0.0)) return 0.0;
    const double step = stepMinutes / 60.0;
    const int steps = std::max(1, static_cast<int>(std::ceil((end - start) / step - 1e-9)));
    const auto time = [&](int k) { return k == steps ? end : start + step * k; };

    // The edges whose shadows reach p at all.
    std::vector<std::size_t> reaching;
    for (std::size_t i = 0; i < edges_.size(); ++i) {
        const Box &b = reach_[i];
        if (p.x >= b.x0 && p.x <= b.x1 && p.y >= b.y0 && p.y <= b.y1) reaching.push_back(i);
    }
    // The edges whose quadrilateral (or its box, widened a little for the path between the two
    // instants) comes near p in a step.
    std::vector<std::size_t> near;
    const auto nearEdges = [&](double t0, double t1) {
        near.clear();
        const Instant a = At(t0), b = At(t1);
        for (std::size_t i : reaching) {
            const TLineEnt &e = edges_[i];
            if (!(e.st.z > h_ || e.ed.z > h_)) continue;
            double x0 = std::min(e.st.x, e.ed.x), x1 = std::max(e.st.x, e.ed.x);
            double y0 = std::min(e.st.y, e.ed.y), y1 = std::max(e.st.y, e.ed.y);
            for (const Instant &s : {a, b}) {
                if (!s.sun) continue;
                for (const TAcadPoint &v : {Cast(e.st, s), Cast(e.ed, s)}) {
                    x0 = std::min(x0, v.x);
                    x1 = std::max(x1, v.x);
                    y0 = std::min(y0, v.y);
                    y1 = std::max(y1, v.y);
                }
            }
            const double pad = 0.05 * std::max(x1 - x0, y1 - y0) + 1.0;
            if (p.x >= x0 - pad && p.x <= x1 + pad && p.y >= y0 - pad && p.y <= y1 + pad)
                near.push_back(i);
        }
    };

    double shaded = 0.0;
    bool was = ShadedBy(reaching, p, time(0));
    for (int k = 1; k <= steps; ++k) {
        const double t0 = time(k - 1), t1 = time(k);
        const bool is = ShadedBy(reaching, p, t1);
        if (is == was) {
            if (is) shaded += t1 - t0;
            continue;
        }
        // One change in the step, placed by bisection among the edges near p.
        nearEdges(t0, t1);
        double lo = t0, hi = t1;
        while (hi - lo > kExactTimeResolution) {
            const double mid = (lo + hi) / 2.0;
            (ShadedBy(near, p, mid) == was ? lo : hi) = mid;
        }
        const double change = (lo + hi) / 2.0;
        shaded += was ? change - t0 : t1 - change;
        was = is;
    }
    return shaded;
}

}  // namespace pimu::shadow
