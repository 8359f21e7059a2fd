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
    // The sun every minute, at the middle of every minute, and where it rises or sets.
    const int steps = std::max(1, static_cast<int>(std::ceil((end - start) * 60.0 - 1e-9)));
    for (int k = 0; k <= steps; ++k) {
        times_.push_back(k == steps ? end : start + (end - start) * k / steps);
        atTimes_.push_back(At(times_.back()));
    }
    for (int k = 0; k < steps; ++k) {
        const double t0 = times_[static_cast<std::size_t>(k)];
        const double t1 = times_[static_cast<std::size_t>(k) + 1];
        atMiddles_.push_back(At((t0 + t1) / 2.0));
        const bool up = atTimes_[static_cast<std::size_t>(k)].sun;
        if (up == atTimes_[static_cast<std::size_t>(k) + 1].sun) {
            sunChange_.push_back(-1.0);
            continue;
        }
        double lo = t0, hi = t1;
        while (hi - lo > kExactTimeResolution) {
            const double mid = (lo + hi) / 2.0;
            (At(mid).sun == up ? lo : hi) = mid;
        }
        sunChange_.push_back((lo + hi) / 2.0);
    }

    // Between two minutes a shadow point moves less than the chord between its places, by which
    // each edge's box is widened.
    reach_.reserve(edges_.size());
    for (const TLineEnt &e : edges_) {
        Box b{std::min(e.st.x, e.ed.x), std::min(e.st.y, e.ed.y), std::max(e.st.x, e.ed.x),
              std::max(e.st.y, e.ed.y)};
        double pad = 0.0;
        for (const TAcadPoint &p : {e.st, e.ed}) {
            bool first = true;
            TAcadPoint last;
            for (const Instant &s : atTimes_) {
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

    for (std::size_t i = 0; i < volumes_.size(); ++i) {
        const geometry::Volume &v = volumes_[i];
        if (!(v.top > h_) || v.footprint.empty()) continue;
        auto g = std::find_if(groups_.begin(), groups_.end(), [&](const VolumeGroup &x) {
            return x.top == v.top && x.bottom == v.bottom;
        });
        if (g == groups_.end()) {
            const TAcadPoint &a = v.footprint.front();
            groups_.push_back({v.bottom, v.top, {}, {a.x, a.y, a.x, a.y}});
            g = groups_.end() - 1;
        }
        g->members.push_back(i);
        for (const TAcadPoint &a : v.footprint)
            g->box = {std::min(g->box.x0, a.x), std::min(g->box.y0, a.y), std::max(g->box.x1, a.x),
                      std::max(g->box.y1, a.y)};
    }
}

bool ExactShadow::UnderVolume(TAcadPoint p, const Instant &s) const {
    for (const VolumeGroup &g : groups_) {
        // A volume raised above the plane shades its underside's shadow, not the ground under it.
        TAcadPoint q = p;
        if (g.bottom > h_) {
            q.x -= (g.bottom - h_) * s.dx;
            q.y -= (g.bottom - h_) * s.dy;
        }
        if (q.x < g.box.x0 || q.x > g.box.x1 || q.y < g.box.y0 || q.y > g.box.y1) continue;
        bool inside = false;
        for (std::size_t j : g.members) {
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

void ExactShadow::Quad(const TLineEnt &e, const Instant &s, TAcadPoint v[4]) const {
    v[0] = Cast({e.st.x, e.st.y, e.base}, s);
    v[1] = Cast({e.ed.x, e.ed.y, e.base}, s);
    v[2] = Cast(e.ed, s);
    v[3] = Cast(e.st, s);
}

void ExactShadow::Sides(const TAcadPoint v[4], TAcadPoint p, double out[5]) {
    out[4] = 0.0;
    for (int k = 0; k < 4; ++k) {
        const TAcadPoint a = v[k], b = v[(k + 1) % 4];
        out[k] = Cross(b.x - a.x, b.y - a.y, p.x - a.x, p.y - a.y);
        out[4] += Cross(a.x, a.y, b.x, b.y);
    }
}

bool ExactShadow::Near(TAcadPoint p, const Box &a, const Box &b) {
    const Box u{std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1),
                std::max(a.y1, b.y1)};
    const double pad = 0.05 * std::max(u.x1 - u.x0, u.y1 - u.y0) + 1.0;
    return p.x >= u.x0 - pad && p.x <= u.x1 + pad && p.y >= u.y0 - pad && p.y <= u.y1 + pad;
}

bool ExactShadow::OutsideThroughout(const double before[5], const double after[5]) {
    if ((before[4] < 0.0) != (after[4] < 0.0) || before[4] == 0.0 || after[4] == 0.0) return false;
    const double sign = before[4] > 0.0 ? 1.0 : -1.0;
    for (int j = 0; j < 4; ++j)
        if (sign * before[j] < 0.0 && sign * after[j] < 0.0) return true;
    return false;
}

double ExactShadow::Change(const TLineEnt &e, TAcadPoint p, int j, double lo, double hi, double flo,
                           double fhi) const {
    // Regula falsi, the end kept twice halved (Illinois), each guess kept a quarter of the
    // resolution inside the bracket so that the bracket closes once the guess is good.
    const bool negative = flo < 0.0;
    int kept = 0;
    TAcadPoint v[4];
    double f[5];
    for (int it = 0; it < 60 && hi - lo > kExactTimeResolution; ++it) {
        const double margin = kExactTimeResolution / 4.0;
        double x = it < 40 && fhi != flo ? (lo * fhi - hi * flo) / (fhi - flo) : (lo + hi) / 2.0;
        if (!(x > lo + margin)) x = lo + margin;
        if (!(x < hi - margin)) x = hi - margin;
        Quad(e, At(x), v);
        Sides(v, p, f);
        if ((f[j] < 0.0) == negative) {
            lo = x;
            flo = f[j];
            if (kept < 0) fhi /= 2.0;
            kept = kept < 0 ? kept - 1 : -1;
        } else {
            hi = x;
            fhi = f[j];
            if (kept > 0) flo /= 2.0;
            kept = kept > 0 ? kept + 1 : 1;
        }
    }
    return (lo + hi) / 2.0;
}

bool ExactShadow::ShadedBy(std::span<const std::size_t> edges, TAcadPoint p,
                           const Instant &s) const {
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

double ExactShadow::ShadedHours(TAcadPoint p) const {
    const std::size_t steps = times_.size() - 1;
    if (steps == 0 || !(times_.back() > times_.front())) return 0.0;

    // The edges above the plane whose shadows reach p at all.
    std::vector<std::size_t> reaching;
    for (std::size_t i = 0; i < edges_.size(); ++i) {
        const Box &b = reach_[i];
        const TLineEnt &e = edges_[i];
        if ((e.st.z > h_ || e.ed.z > h_) && p.x >= b.x0 && p.x <= b.x1 && p.y >= b.y0 &&
            p.y <= b.y1)
            reaching.push_back(i);
    }

    // Step by step: the changes of sign in the step, and the edges whose quadrilateral may hold p
    // in it. An edge is passed over in a step when its box at both ends (widened a little for
    // the path between) is far from p, or when p lies outside one of its sides at both ends of
    // the step and that side and the area keep their signs in between. Between two changes p is
    // looked at once, at the middle.
    struct Last {
        TAcadPoint v[4];
        Box box;
        double f[5];
        bool sides;  // f holds the sides of v
    };
    std::vector<Last> last(reaching.size());
    std::vector<std::size_t> edges;
    std::vector<double> cuts;
    double now[5];
    TAcadPoint v[4];
    double shaded = 0.0;
    for (std::size_t k = 0; k <= steps; ++k) {
        const Instant &s = atTimes_[k];
        const bool before = k > 0 && atTimes_[k - 1].sun;
        edges.clear();
        cuts.clear();
        for (std::size_t n = 0; n < reaching.size(); ++n) {
            const std::size_t i = reaching[n];
            if (!s.sun) {
                // A step with the sun down at one end: the edge is looked at in it as a whole.
                if (k > 0) edges.push_back(i);
                continue;
            }
            const TLineEnt &e = edges_[i];
            Quad(e, s, v);
            Box b{v[0].x, v[0].y, v[0].x, v[0].y};
            for (const TAcadPoint &q : v)
                b = {std::min(b.x0, q.x), std::min(b.y0, q.y), std::max(b.x1, q.x),
                     std::max(b.y1, q.y)};
            Last &l = last[n];
            bool sides = false;
            if (k > 0 && !before) {
                edges.push_back(i);
            } else if (k > 0 && Near(p, l.box, b)) {
                if (!l.sides) Sides(l.v, p, l.f);
                Sides(v, p, now);
                sides = true;
                if (!OutsideThroughout(l.f, now)) {
                    edges.push_back(i);
                    for (int j = 0; j < 5; ++j)
                        if ((l.f[j] < 0.0) != (now[j] < 0.0))
                            cuts.push_back(
                                Change(e, p, j, times_[k - 1], times_[k], l.f[j], now[j]));
                }
            }
            std::copy(v, v + 4, l.v);
            l.box = b;
            l.sides = sides;
            if (sides) std::copy(now, now + 5, l.f);
        }
        if (k == 0) continue;
        const double t0 = times_[k - 1], t1 = times_[k];
        if (sunChange_[k - 1] >= 0.0) cuts.push_back(sunChange_[k - 1]);
        if (cuts.empty()) {
            if (ShadedBy(edges, p, atMiddles_[k - 1])) shaded += t1 - t0;
            continue;
        }
        for (double &c : cuts) c = std::clamp(c, t0, t1);
        cuts.push_back(t0);
        cuts.push_back(t1);
        std::sort(cuts.begin(), cuts.end());
        for (std::size_t c = 1; c < cuts.size(); ++c) {
            const double a = cuts[c - 1], b = cuts[c];
            if (b > a && ShadedBy(edges, p, At((a + b) / 2.0))) shaded += b - a;
        }
    }
    return shaded;
}

}  // namespace pimu::shadow
