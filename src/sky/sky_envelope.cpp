#include "sky/sky_envelope.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "geometry/tolerances.h"

namespace pimu::sky {

using geometry::kPi;
using geometry::kPointTol;
using geometry::kTwoPi;

namespace {

// Azimuths this close count as one.
constexpr double kAngleSlack = 1e-12;
// The largest gap between a circle and the polygons that stand for it, mm.
constexpr double kRingSagitta = 10.0;

double Wrap(double a) {
    a = std::fmod(a, kTwoPi);
    if (a < 0.0) a += kTwoPi;
    if (a >= kTwoPi) a -= kTwoPi;
    return a;
}

// a brought into (-pi, pi].
double Centered(double a) {
    a = Wrap(a);
    return a > kPi ? a - kTwoPi : a;
}

double PlanDistanceToSegment(TAcadPoint a, TAcadPoint b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? -(a.x * dx + a.y * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(a.x + t * dx, a.y + t * dy);
}

// A wall from its top edge relative to the point (heights above the plane); false when it is
// seen edge on.
bool MakeWall(TAcadPoint a, TAcadPoint b, SkyElement &w) {
    if (PlanDistanceToSegment(a, b) < kPointTol) return false;
    double span = Centered(std::atan2(b.y, b.x) - std::atan2(a.y, a.x));
    if (span < 0.0) {
        std::swap(a, b);
        span = -span;
    }
    const double nz = a.x * b.y - a.y * b.x;
    if (span <= kAngleSlack || !(nz > 0.0)) return false;
    const double nx = a.y * b.z - a.z * b.y;
    const double ny = a.z * b.x - a.x * b.z;
    w = SkyElement{};
    w.a = a;
    w.b = b;
    w.kx = -nx / nz;
    w.ky = -ny / nz;
    const double la = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    w.e1[0] = a.x / la;
    w.e1[1] = a.y / la;
    w.e1[2] = a.z / la;
    const double along = b.x * w.e1[0] + b.y * w.e1[1] + b.z * w.e1[2];
    double o[3] = {b.x - along * w.e1[0], b.y - along * w.e1[1], b.z - along * w.e1[2]};
    const double lo = std::sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]);
    if (!(lo > 0.0)) return false;
    for (int k = 0; k < 3; ++k) w.e2[k] = o[k] / lo;
    w.start = Wrap(std::atan2(a.y, a.x));
    w.span = span;
    return true;
}

// The part of the edge above the level L, relative to the point, heights above the plane e.
bool CutAbove(const TLineEnt &edge, TAcadPoint point, double e, double L, TAcadPoint &a,
              TAcadPoint &b) {
    TAcadPoint s = edge.st;
    TAcadPoint t = edge.ed;
    if (s.z <= L && t.z <= L) return false;
    if (s.z <= L || t.z <= L) {
        if (s.z <= L) std::swap(s, t);
        // s above, t at or below: cut at L.
        const double f = (s.z - L) / (s.z - t.z);
        t = TAcadPoint{s.x + f * (t.x - s.x), s.y + f * (t.y - s.y), L};
    }
    a = TAcadPoint{s.x - point.x, s.y - point.y, s.z - e};
    b = TAcadPoint{t.x - point.x, t.y - point.y, t.z - e};
    return true;
}

// Points where a line meets a circle.
void LineCircle(double kx, double ky, double k0, TAcadPoint c, double r, std::vector<double> &out) {
    // The line kx x + ky y = k0.
    const double n2 = kx * kx + ky * ky;
    if (!(n2 > 0.0)) return;
    const double off = (kx * c.x + ky * c.y - k0) / n2;
    const double fx = c.x - off * kx;
    const double fy = c.y - off * ky;
    const double dist2 = off * off * n2;
    if (dist2 > r * r) return;
    const double half = std::sqrt(r * r - dist2) / std::sqrt(n2);
    out.push_back(Wrap(std::atan2(fy + half * kx, fx - half * ky)));
    out.push_back(Wrap(std::atan2(fy - half * kx, fx + half * ky)));
}

void CircleCircle(TAcadPoint c1, double r1, TAcadPoint c2, double r2, std::vector<double> &out) {
    const double dx = c2.x - c1.x;
    const double dy = c2.y - c1.y;
    const double d = std::hypot(dx, dy);
    if (!(d > 0.0) || d > r1 + r2 || d < std::fabs(r1 - r2)) return;
    const double along = (r1 * r1 - r2 * r2 + d * d) / (2.0 * d);
    const double h = std::sqrt(std::max(r1 * r1 - along * along, 0.0));
    const double mx = c1.x + along * dx / d;
    const double my = c1.y + along * dy / d;
    out.push_back(Wrap(std::atan2(my + h * dx / d, mx - h * dy / d)));
    out.push_back(Wrap(std::atan2(my - h * dx / d, mx + h * dy / d)));
}

// Azimuths where two elements may change places (some of them may be no crossing at all).
void Crossings(const SkyElement &p, const SkyElement &q, std::vector<double> &out) {
    if (!p.ring && !q.ring) {
        const double dx = p.kx - q.kx;
        const double dy = p.ky - q.ky;
        if (dx == 0.0 && dy == 0.0) return;
        const double base = std::atan2(dy, dx);
        out.push_back(Wrap(base + kPi / 2.0));
        out.push_back(Wrap(base - kPi / 2.0));
        return;
    }
    if (p.ring && q.ring) {
        // Where q's circle meets p's circle seen at q's height.
        const double k = q.H / p.H;
        CircleCircle(TAcadPoint{p.c.x * k, p.c.y * k, 0.0}, p.radius * k, q.c, q.radius, out);
        return;
    }
    const SkyElement &ring = p.ring ? p : q;
    const SkyElement &wall = p.ring ? q : p;
    // The wall's plane is z = kx x + ky y: it meets the ring's height along a line.
    LineCircle(wall.kx, wall.ky, ring.H, ring.c, ring.radius, out);
}

using Pieces = std::vector<SkyPiece>;

void Push(Pieces &out, double lo, double hi, int element) {
    if (!(hi > lo)) return;
    // A sliver between two cuts that are one azimuth in all but rounding is no piece of its own.
    if (!out.empty() && (out.back().element == element || hi - lo <= kAngleSlack)) {
        out.back().hi = hi;
        return;
    }
    if (!out.empty() && out.back().hi - out.back().lo <= kAngleSlack) {
        out.back().hi = hi;
        out.back().element = element;
        return;
    }
    out.push_back(SkyPiece{lo, hi, element});
}

Pieces Single(const SkyElement &el, int index) {
    Pieces out;
    if (el.span >= kTwoPi) {
        Push(out, 0.0, kTwoPi, index);
        return out;
    }
    const double end = el.start + el.span;
    if (end <= kTwoPi) {
        Push(out, 0.0, el.start, -1);
        Push(out, el.start, end, index);
        Push(out, end, kTwoPi, -1);
    } else {
        Push(out, 0.0, end - kTwoPi, index);
        Push(out, end - kTwoPi, el.start, -1);
        Push(out, el.start, kTwoPi, index);
    }
    return out;
}

Pieces Merge(const std::vector<SkyElement> &els, const Pieces &A, const Pieces &B) {
    Pieces out;
    out.reserve(A.size() + B.size());
    std::size_t i = 0;
    std::size_t j = 0;
    double cur = 0.0;
    std::vector<double> cuts;
    std::vector<double> found;
    while (i < A.size() && j < B.size()) {
        const double next = std::min(A[i].hi, B[j].hi);
        const int ea = A[i].element;
        const int eb = B[j].element;
        if (ea < 0) {
            Push(out, cur, next, eb);
        } else if (eb < 0) {
            Push(out, cur, next, ea);
        } else {
            found.clear();
            Crossings(els[static_cast<std::size_t>(ea)], els[static_cast<std::size_t>(eb)], found);
            cuts.clear();
            cuts.push_back(cur);
            for (const double c : found)
                if (c > cur + kAngleSlack && c < next - kAngleSlack) cuts.push_back(c);
            cuts.push_back(next);
            std::sort(cuts.begin() + 1, cuts.end() - 1);
            for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
                const double mid = (cuts[k] + cuts[k + 1]) / 2.0;
                const double ta = els[static_cast<std::size_t>(ea)].Tan(mid);
                const double tb = els[static_cast<std::size_t>(eb)].Tan(mid);
                const int top = ta > tb || (ta == tb && ea < eb) ? ea : eb;
                Push(out, cuts[k], cuts[k + 1], top);
            }
        }
        cur = next;
        if (A[i].hi == next) ++i;
        if (B[j].hi == next) ++j;
    }
    return out;
}

Pieces Build(const std::vector<SkyElement> &els, std::size_t lo, std::size_t hi) {
    if (hi - lo == 1) return Single(els[lo], static_cast<int>(lo));
    const std::size_t mid = lo + (hi - lo) / 2;
    return Merge(els, Build(els, lo, mid), Build(els, mid, hi));
}

// 10-point Gauss-Legendre on [a, b].
template <class F>
double Gauss10(const F &f, double a, double b) {
    static constexpr double kX[5] = {0.1488743389816312, 0.4333953941292472, 0.6794095682990244,
                                     0.8650633666889845, 0.9739065285171717};
    static constexpr double kW[5] = {0.2955242247147529, 0.2692667193099963, 0.2190863625159820,
                                     0.1494513491505806, 0.0666713443086881};
    const double m = (a + b) / 2.0;
    const double h = (b - a) / 2.0;
    double sum = 0.0;
    for (int k = 0; k < 5; ++k) sum += kW[k] * (f(m - h * kX[k]) + f(m + h * kX[k]));
    return sum * h;
}

template <class F>
double Adaptive(const F &f, double a, double b, double whole, int depth) {
    const double m = (a + b) / 2.0;
    const double left = Gauss10(f, a, m);
    const double right = Gauss10(f, m, b);
    if (depth >= 30 || std::fabs(left + right - whole) <= 1e-15 * (1.0 + std::fabs(left + right)))
        return left + right;
    return Adaptive(f, a, m, left, depth + 1) + Adaptive(f, m, b, right, depth + 1);
}

}  // namespace

int RingSides(double radius) {
    if (!(radius > kRingSagitta)) return 16;
    const double n = std::ceil(kPi / std::acos(1.0 - kRingSagitta / radius));
    return static_cast<int>(std::clamp(n, 16.0, 4096.0));
}

bool SkyElement::Contains(double phi) const {
    return span >= kTwoPi || Wrap(phi - start) <= span + kAngleSlack;
}

double SkyElement::Tan(double phi) const {
    const double ux = std::cos(phi);
    const double uy = std::sin(phi);
    if (!ring) return kx * ux + ky * uy;
    const double along = c.x * ux + c.y * uy;
    const double across = c.x * uy - c.y * ux;
    const double root = std::sqrt(std::max(radius * radius - across * across, 0.0));
    const double d = std::max(inside ? along + root : along - root, radius * 1e-12);
    return H / d;
}

double SkyElement::TanSlope(double phi) const {
    if (!ring) return -kx * std::sin(phi) + ky * std::cos(phi);
    const double step = 1e-7;
    return (Tan(phi + step) - Tan(phi - step)) / (2.0 * step);
}

double SkyElement::Integral(double lo, double hi) const {
    if (!(hi > lo)) return 0.0;
    if (!ring) {
        const double q = std::sqrt(1.0 + kx * kx + ky * ky);
        const double psi = std::atan2(ky, kx);
        const auto g = [q, psi](double phi) {
            const double t = phi - psi;
            return std::atan2(std::sin(t), q * std::cos(t));
        };
        // sin^2 h = 1 - 1 / (1 + p^2 cos^2 t), whose integral is t - atan(tan t / q) / q.
        return (hi - lo) - Centered(g(hi) - g(lo)) / q;
    }
    // Along the circle's own angle theta the integrand is smooth up to the tangent points.
    const auto theta = [this](double phi) {
        const double t = Tan(phi);
        const double d = H / t;
        return std::atan2(d * std::sin(phi) - c.y, d * std::cos(phi) - c.x);
    };
    const double t0 = theta(lo);
    double dt;
    if (inside) {
        dt = hi - lo >= kTwoPi - kAngleSlack ? kTwoPi : Wrap(theta(hi) - t0);
    } else {
        dt = Centered(theta(hi) - t0);
    }
    const auto f = [this](double th) {
        const double px = c.x + radius * std::cos(th);
        const double py = c.y + radius * std::sin(th);
        const double d2 = px * px + py * py;
        const double dphi = (px * radius * std::cos(th) + py * radius * std::sin(th)) / d2;
        return H * H / (H * H + d2) * dphi;
    };
    const double a = t0;
    const double b = t0 + dt;
    return std::fabs(Adaptive(f, a, b, Gauss10(f, a, b), 0));
}

SkyBuildings SkyBuildingsOf(const geometry::BuildingModel &model) {
    SkyBuildings out;
    // A round volume is its circle; its chords stay out.
    std::vector<bool> round(model.AryTatemono.size(), false);
    for (const geometry::Volume &v : model.Volumes) {
        if (!v.circle || !(v.radius > 0.0)) continue;
        const std::size_t end = std::min(v.firstEdge + v.edgeCount, round.size());
        for (std::size_t i = v.firstEdge; i < end; ++i) round[i] = true;
        out.rings.push_back(SkyRing{v.centre, v.radius, v.top});
    }
    out.edges.reserve(model.AryTatemono.size());
    for (std::size_t i = 0; i < model.AryTatemono.size(); ++i)
        if (!round[i]) out.edges.push_back(model.AryTatemono[i]);
    return out;
}

std::vector<SkyElement> SkyElementsOf(const SkyBuildings &buildings, TAcadPoint point, double e,
                                      RoundAs round) {
    std::vector<SkyElement> out;
    const double L = std::max(e, kPointTol);
    const auto wall = [&](const TLineEnt &edge) {
        TAcadPoint a;
        TAcadPoint b;
        if (!CutAbove(edge, point, e, L, a, b)) return;
        SkyElement w;
        if (MakeWall(a, b, w)) out.push_back(w);
    };
    for (const TLineEnt &edge : buildings.edges) wall(edge);
    for (const SkyRing &r : buildings.rings) {
        if (!(r.top > L) || !(r.radius > 0.0)) continue;
        if (round == RoundAs::Curve) {
            SkyElement ring;
            ring.ring = true;
            ring.c = TAcadPoint{r.centre.x - point.x, r.centre.y - point.y, 0.0};
            ring.radius = r.radius;
            ring.H = r.top - e;
            const double dist = std::hypot(ring.c.x, ring.c.y);
            // A point on the circle itself is taken as just outside it.
            if (std::fabs(dist - r.radius) <= 1e-9 * r.radius) ring.radius = dist * (1.0 - 1e-9);
            ring.inside = dist < ring.radius;
            if (ring.inside) {
                ring.start = 0.0;
                ring.span = kTwoPi;
            } else {
                const double half = std::asin(ring.radius / dist);
                ring.start = Wrap(std::atan2(ring.c.y, ring.c.x) - half);
                ring.span = 2.0 * half;
            }
            out.push_back(ring);
            continue;
        }
        const int n = RingSides(r.radius);
        const double corner = round == RoundAs::Outside ? r.radius / std::cos(kPi / n) : r.radius;
        const auto vertex = [&](int k) {
            const double a = kTwoPi * k / n;
            return TAcadPoint{r.centre.x + corner * std::cos(a), r.centre.y + corner * std::sin(a),
                              r.top};
        };
        for (int k = 0; k < n; ++k) {
            TLineEnt edge;
            edge.st = vertex(k);
            edge.ed = vertex(k + 1 == n ? 0 : k + 1);
            wall(edge);
        }
    }
    return out;
}

bool SkyEnvelope::Covered() const {
    return std::any_of(pieces.begin(), pieces.end(),
                       [](const SkyPiece &p) { return p.element >= 0; });
}

std::size_t SkyEnvelope::PieceAt(double phi) const {
    phi = Wrap(phi);
    const auto it = std::upper_bound(pieces.begin(), pieces.end(), phi,
                                     [](double v, const SkyPiece &p) { return v < p.lo; });
    return it == pieces.begin() ? 0 : static_cast<std::size_t>(it - pieces.begin()) - 1;
}

double SkyEnvelope::TanAt(double phi) const {
    if (pieces.empty()) return 0.0;
    const SkyPiece &p = pieces[PieceAt(phi)];
    if (p.element < 0) return 0.0;
    return std::max(elements[static_cast<std::size_t>(p.element)].Tan(phi), 0.0);
}

std::vector<SkyRun> SkyEnvelope::Runs() const {
    std::vector<SkyRun> runs;
    const std::size_t n = pieces.size();
    std::size_t open = n;
    for (std::size_t k = 0; k < n; ++k) {
        if (pieces[k].element < 0) {
            open = k;
            break;
        }
    }
    if (open == n) {
        if (n > 0) runs.push_back(SkyRun{0.0, kTwoPi, true});
        return runs;
    }
    // Walk once round from the open piece; a run may pass 2pi.
    bool in = false;
    SkyRun run;
    for (std::size_t step = 1; step <= n; ++step) {
        const std::size_t k = (open + step) % n;
        const double offset = open + step >= n ? kTwoPi : 0.0;
        const SkyPiece &p = pieces[k];
        if (p.element >= 0) {
            if (!in) {
                run = SkyRun{p.lo + offset, p.hi + offset, false};
                in = true;
            } else {
                run.hi = p.hi + offset;
            }
        } else if (in) {
            runs.push_back(run);
            in = false;
        }
    }
    if (in) runs.push_back(run);
    for (SkyRun &r : runs) {
        if (r.lo >= kTwoPi) {
            r.lo -= kTwoPi;
            r.hi -= kTwoPi;
        }
    }
    std::sort(runs.begin(), runs.end(),
              [](const SkyRun &a, const SkyRun &b) { return a.lo < b.lo; });
    return runs;
}

double SkyEnvelope::CoveredShare() const {
    double covered = 0.0;
    for (const SkyPiece &p : pieces) {
        if (p.element < 0) continue;
        covered += elements[static_cast<std::size_t>(p.element)].Integral(p.lo, p.hi);
    }
    return covered / kTwoPi;
}

SkyEnvelope BuildEnvelope(std::vector<SkyElement> elements) {
    SkyEnvelope env;
    env.elements = std::move(elements);
    if (env.elements.empty()) {
        env.pieces.push_back(SkyPiece{0.0, kTwoPi, -1});
        return env;
    }
    env.pieces = Build(env.elements, 0, env.elements.size());
    return env;
}

double ExactSkyFactor(const SkyBuildings &buildings, TAcadPoint point, double e) {
    const SkyEnvelope env = BuildEnvelope(SkyElementsOf(buildings, point, e, RoundAs::Curve));
    return 100.0 * (1.0 - env.CoveredShare());
}

double ExactSkyFactor(const geometry::BuildingModel &model, TAcadPoint point, double e) {
    return ExactSkyFactor(SkyBuildingsOf(model), point, e);
}

}  // namespace pimu::sky
