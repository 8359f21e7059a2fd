#include "sky/sky_factor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "geometry/tolerances.h"

namespace pimu::sky {

using geometry::kDegToRad;
using geometry::kPi;
using geometry::kRadToDeg;
using geometry::kTwoPi;

namespace {

double RoundFormatted(double x, int digits) {
    char buf[512];
    const auto written = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, digits);
    if (written.ec != std::errc{}) return x;
    double value = x;
    std::from_chars(buf, written.ptr, value);
    return value;
}

double Wrap(double a) {
    a = std::fmod(a, kTwoPi);
    if (a < 0.0) a += kTwoPi;
    if (a >= kTwoPi) a -= kTwoPi;
    return a;
}

// A point of the outline: its drawing azimuth and its distance from the map centre.
struct Polar {
    double phi = 0.0;
    double rho = 0.0;
};

struct Vec {
    double x = 0.0;
    double y = 0.0;
};

Vec At(double phi, double rho) {
    return Vec{rho * std::cos(phi), rho * std::sin(phi)};
}

// The covered pieces of a run in order, their azimuths increasing from run.lo (offsets of 2pi
// added where the run passes 2pi).
std::vector<SkyPiece> RunPieces(const SkyEnvelope &env, const SkyRun &run) {
    std::vector<SkyPiece> seq;
    const std::size_t n = env.pieces.size();
    std::size_t k = run.full ? 0 : env.PieceAt(run.lo);
    double offset = run.lo - Wrap(run.lo);
    if (!run.full && env.pieces[k].lo + offset < run.lo - 1e-9) {
        // run.lo sits at the end of the piece before: step on.
        ++k;
        if (k == n) {
            k = 0;
            offset += kTwoPi;
        }
    }
    for (std::size_t count = 0; count < n; ++count) {
        const SkyPiece &p = env.pieces[k];
        if (p.element < 0) break;
        seq.push_back(SkyPiece{p.lo + offset, p.hi + offset, p.element});
        ++k;
        if (k == n) {
            k = 0;
            offset += kTwoPi;
        }
    }
    return seq;
}

// The outline's distance from the centre in the azimuth phi along one element, and its slope.
struct Radius {
    double rho = 0.0;
    double slope = 0.0;
};

Radius RadiusOf(const SkyElement &el, double phi, double R) {
    const double t = std::max(el.Tan(phi), 0.0);
    const double q = 1.0 + t * t;
    return Radius{R / std::sqrt(q), -R * t * el.TanSlope(phi) / (q * std::sqrt(q))};
}

// The corners of a run, counter-clockwise: its two ends and every change of element where the
// outline jumps, turns by more than 1.8 degrees or turns inwards (where the open sky has a notch,
// a chord across it would leave the open sky).
std::vector<Polar> RunCorners(const SkyEnvelope &env, const SkyRun &run,
                              const std::vector<SkyPiece> &seq, double R) {
    std::vector<Polar> corners;
    const auto element = [&](const SkyPiece &p) -> const SkyElement & {
        return env.elements[static_cast<std::size_t>(p.element)];
    };
    const auto boundary = [&](const SkyPiece &left, const SkyPiece &right, double phi) {
        const Radius l = RadiusOf(element(left), phi, R);
        const Radius r = RadiusOf(element(right), phi, R);
        if (std::fabs(l.rho - r.rho) > 1e-9 * R) {
            corners.push_back(Polar{phi, l.rho});
            corners.push_back(Polar{phi, r.rho});
            return;
        }
        const double rho = (l.rho + r.rho) / 2.0;
        // Tangents (d rho / d phi, rho) on the radial and the across direction.
        const double cross = rho * (l.slope - r.slope);
        const double dot = l.slope * r.slope + rho * rho;
        const double turn = std::atan2(std::fabs(cross), dot);
        const bool notch = r.slope - l.slope > 1e-12 * R && turn > 1e-9;
        if (turn > kPi - kCornerLimit || notch) corners.push_back(Polar{phi, rho});
    };
    if (!run.full)
        corners.push_back(
            Polar{seq.front().lo, RadiusOf(element(seq.front()), seq.front().lo, R).rho});
    for (std::size_t i = 0; i + 1 < seq.size(); ++i) boundary(seq[i], seq[i + 1], seq[i].hi);
    if (run.full) {
        boundary(seq.back(), seq.front(), seq.back().hi);
        // The corner at the end of the list lies at the start of the first piece.
        if (!corners.empty() && corners.back().phi >= kTwoPi - 1e-15) {
            for (Polar &c : corners)
                if (c.phi >= kTwoPi - 1e-15) c.phi -= kTwoPi;
        }
        std::stable_sort(corners.begin(), corners.end(),
                         [](const Polar &a, const Polar &b) { return a.phi < b.phi; });
        if (corners.empty())
            corners.push_back(
                Polar{seq.front().lo, RadiusOf(element(seq.front()), seq.front().lo, R).rho});
    } else {
        corners.push_back(
            Polar{seq.back().hi, RadiusOf(element(seq.back()), seq.back().hi, R).rho});
    }
    return corners;
}

// The smallest and largest of n . x over the outline points x between the azimuths lo and hi.
struct Span {
    double min = 0.0;
    double max = 0.0;
};

void Include(Span &s, double v) {
    s.min = std::min(s.min, v);
    s.max = std::max(s.max, v);
}

// n . x along one element over the azimuths [a, b].
void ElementSpan(const SkyElement &el, double a, double b, Vec n, double R, Span &s) {
    const auto value = [&](double phi) {
        const Vec p = At(phi, MapRadius(el.Tan(phi), R));
        return n.x * p.x + n.y * p.y;
    };
    Include(s, value(a));
    Include(s, value(b));
    if (el.ring) {
        for (int k = 1; k < 256; ++k) Include(s, value(a + (b - a) * k / 256.0));
        return;
    }
    // On the wall's great circle the map point is R (cos tau e1 + sin tau e2) in plan, so
    // n . x = R (A cos tau + B sin tau): its extremes are at tau* and tau* + pi.
    const auto tau = [&](double phi) {
        const double v[3] = {std::cos(phi), std::sin(phi), std::max(el.Tan(phi), 0.0)};
        const double c1 = v[0] * el.e1[0] + v[1] * el.e1[1] + v[2] * el.e1[2];
        const double c2 = v[0] * el.e2[0] + v[1] * el.e2[1] + v[2] * el.e2[2];
        return std::atan2(c2, c1);
    };
    const double ta = tau(a);
    const double width = Wrap(tau(b) - ta);
    const double A = n.x * el.e1[0] + n.y * el.e1[1];
    const double B = n.x * el.e2[0] + n.y * el.e2[1];
    const double star = std::atan2(B, A);
    const double amp = R * std::hypot(A, B);
    if (width < kPi) {
        if (Wrap(star - ta) <= width) Include(s, amp);
        if (Wrap(star + kPi - ta) <= width) Include(s, -amp);
    }
}

Span OutlineSpan(const SkyEnvelope &env, double lo, double hi, Vec n, double R) {
    Span s{1e300, -1e300};
    std::size_t k = env.PieceAt(lo);
    double offset = lo - Wrap(lo);
    if (env.pieces[k].hi + offset <= lo) {
        ++k;
        if (k == env.pieces.size()) {
            k = 0;
            offset += kTwoPi;
        }
    }
    for (std::size_t count = 0; count <= env.pieces.size(); ++count) {
        const SkyPiece &p = env.pieces[k];
        const double a = std::max(p.lo + offset, lo);
        const double b = std::min(p.hi + offset, hi);
        if (b >= a) {
            if (p.element >= 0) {
                ElementSpan(env.elements[static_cast<std::size_t>(p.element)], a, b, n, R, s);
            } else {
                Include(s, n.x * R * std::cos(a) + n.y * R * std::sin(a));
                Include(s, n.x * R * std::cos(b) + n.y * R * std::sin(b));
            }
        }
        if (p.hi + offset >= hi) break;
        ++k;
        if (k == env.pieces.size()) {
            k = 0;
            offset += kTwoPi;
        }
    }
    return s;
}

TAcadPoint ToMap(Vec v, double turn) {
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    return TAcadPoint{v.x * c - v.y * s, v.x * s + v.y * c, 0.0};
}

// The worst rounding of one listed area: dec3(dec5(x) * dec5(y)) against x * y.
double RoundingBound(double x, double y) {
    return 0.0005 + 5e-6 * (std::fabs(x) + std::fabs(y)) + 2.5e-11;
}

}  // namespace

double dec3(double x) {
    return RoundFormatted(x, 3);
}

double dec5(double x) {
    return RoundFormatted(x, 5);
}

SkyAreas SkyFactorFromAreas(double r, double alpha, double T) {
    SkyAreas a;
    const double circle = kPi * r * r;
    a.K = dec3(circle);
    a.Q = circle * alpha / 360.0;
    a.F = dec3(a.Q - T);
    a.value = (a.K - a.F) / a.K * 100.0;
    return a;
}

namespace {

// The pass and the largest difference its rounding and left-out triangles can make, in percent.
struct PassWithBound {
    SansyaPass pass;
    double bound = 0.0;
};

PassWithBound Pass(const SkyEnvelope &env, bool inscribed, const SansyaFrame &frame) {
    PassWithBound out;
    SansyaPass &pass = out.pass;
    const double r = frame.r;
    const double s = frame.s;
    const double R = r * s;
    const double turn = (90.0 - frame.north) * kDegToRad;
    const double circle = kPi * r * r;
    double exactOpen = 0.0;    // paper mm2 of the triangles as constructed
    double exactSector = 0.0;  // paper mm2
    double slack = 0.0005;     // paper mm2: dec3 of the covered area

    for (const SkyRun &run : env.Runs()) {
        const std::vector<SkyPiece> seq = RunPieces(env, run);
        if (seq.empty()) continue;
        std::vector<Polar> corners = RunCorners(env, run, seq, R);
        if (run.full) corners.push_back(Polar{corners.front().phi + kTwoPi, corners.front().rho});

        std::vector<Polar> fan;
        for (std::size_t i = 0; i + 1 < corners.size(); ++i) {
            const Polar c = corners[i];
            const double beta = std::max(corners[i + 1].phi - c.phi, 0.0);
            const double h = std::trunc(beta / kFanStep + 1.0);
            fan.push_back(c);
            for (int j = 1; j < static_cast<int>(h); ++j) {
                const double phi = c.phi + beta * j / h;
                fan.push_back(Polar{phi, MapRadius(env.TanAt(phi), R)});
            }
        }
        fan.push_back(corners.back());

        SansyaSector sector;
        sector.full = run.full;
        sector.A = ToMap(At(corners.front().phi, corners.front().rho), turn);
        sector.B = ToMap(At(corners.back().phi, corners.back().rho), turn);
        const double angle = run.full ? kTwoPi : run.hi - run.lo;
        sector.alpha = run.full ? 360.0 : dec3(angle * kRadToDeg);
        sector.Q = circle * sector.alpha / 360.0;
        slack += circle * 0.0005 / 360.0;
        exactSector += r * r * angle / 2.0;
        sector.firstTriangle = pass.triangles.size();

        for (std::size_t i = 0; i + 1 < fan.size(); ++i) {
            const Polar f1 = fan[i];
            const Polar f2 = fan[i + 1];
            if (!(f2.phi - f1.phi > 1e-12)) continue;  // both on one ray: no area
            const Vec p = At(f1.phi, f1.rho);
            const Vec q = At(f2.phi, f2.rho);
            const double dx = q.x - p.x;
            const double dy = q.y - p.y;
            const double len = std::hypot(dx, dy);
            if (!(len > 0.0)) continue;
            Vec n{dy / len, -dx / len};
            if (n.x * p.x + n.y * p.y < 0.0) n = Vec{-n.x, -n.y};
            Span span = OutlineSpan(env, f1.phi, f2.phi, n, R);
            Include(span, n.x * p.x + n.y * p.y);
            Include(span, n.x * q.x + n.y * q.y);
            const double c = inscribed ? span.min : span.max;
            const Vec u1{std::cos(f1.phi), std::sin(f1.phi)};
            const Vec u2{std::cos(f2.phi), std::sin(f2.phi)};
            const double d1 = n.x * u1.x + n.y * u1.y;
            const double d2 = n.x * u2.x + n.y * u2.y;
            if (!(c > 0.0) || !(d1 > 0.0) || !(d2 > 0.0)) continue;
            const Vec a{u1.x * c / d1, u1.y * c / d1};
            const Vec b{u2.x * c / d2, u2.y * c / d2};
            const bool second = std::hypot(b.x, b.y) > std::hypot(a.x, a.y);
            const Vec m = second ? b : a;
            const Vec o = second ? a : b;
            const double base = std::hypot(m.x, m.y);
            const double along = (o.x * m.x + o.y * m.y) / base;
            const Vec foot{m.x / base * along, m.y / base * along};
            const double height = std::hypot(o.x - foot.x, o.y - foot.y);
            const double area = base * height / 2.0 / (s * s);
            exactOpen += area;
            if (!(height > kMinTriangleHeight)) {
                slack += area;
                continue;
            }
            TSansya t;
            t.no = static_cast<std::int32_t>(pass.triangles.size() + 1);
            t.teihen = base;
            t.takasa = height;
            t.menseki = dec3(dec5(base / s) * dec5(height / s * 0.5));
            t.m = ToMap(m, turn);
            t.o = ToMap(o, turn);
            t.foot = ToMap(foot, turn);
            slack += RoundingBound(base / s, height / s * 0.5);
            pass.T += t.menseki;
            pass.triangles.push_back(t);
        }
        sector.triangleCount = pass.triangles.size() - sector.firstTriangle;
        for (const Polar &c : corners) {
            if (run.full && &c == &corners.back()) break;
            pass.corners.push_back(ToMap(At(c.phi, c.rho), turn));
        }
        for (const Polar &f : fan) pass.fan.push_back(ToMap(At(f.phi, f.rho), turn));
        pass.alpha += sector.alpha;
        pass.Q += sector.Q;
        pass.sectors.push_back(sector);
    }
    const double K = dec3(circle);
    pass.F = dec3(pass.Q - pass.T);
    pass.value = (K - pass.F) / K * 100.0;
    pass.unrounded = (circle - (exactSector - exactOpen)) / circle * 100.0;
    out.bound = slack / K * 100.0;
    return out;
}

std::string Fixed3(double v) {
    char buf[64];
    const auto w = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
    return w.ec == std::errc{} ? std::string(buf, w.ptr) : std::string("?");
}

}  // namespace

SansyaPass TrianglePass(const SkyEnvelope &envelope, bool inscribed, const SansyaFrame &frame) {
    return Pass(envelope, inscribed, frame).pass;
}

TenkuRituResult GetTenkuRitu(const SkyBuildings &buildings, TAcadPoint point, double e,
                             const SansyaFrame &frame, SkyEnvelope *exact) {
    TenkuRituResult res;
    res.K = dec3(kPi * frame.r * frame.r);
    const SkyEnvelope outside = BuildEnvelope(SkyElementsOf(buildings, point, e, RoundAs::Outside));
    const bool round = !buildings.rings.empty();
    const PassWithBound in = Pass(outside, true, frame);
    const PassWithBound out =
        round
            ? Pass(BuildEnvelope(SkyElementsOf(buildings, point, e, RoundAs::Inside)), false, frame)
            : Pass(outside, false, frame);
    SkyEnvelope curve;
    if (round) curve = BuildEnvelope(SkyElementsOf(buildings, point, e, RoundAs::Curve));
    const SkyEnvelope &truth = round ? curve : outside;
    const double share = truth.CoveredShare();
    if (exact != nullptr) *exact = truth;
    res.naisetuPass = in.pass;
    res.gaisetuPass = out.pass;
    res.naisetu = in.pass.value;
    res.gaisetu = out.pass.value;
    res.exact = 100.0 * (1.0 - share);
    res.areacmd = 100.0;
    // What the construction guarantees, checked before anything is shown: the triangles as built
    // bracket the exact value, and the listed values do so up to their rounding.
    constexpr double kFloat = 1e-7;
    const bool consistent = in.pass.unrounded <= res.exact + kFloat &&
                            res.exact <= out.pass.unrounded + kFloat &&
                            res.naisetu <= res.exact + in.bound + kFloat &&
                            res.exact <= res.gaisetu + out.bound + kFloat;
    res.status = consistent ? TenkuRituStatus::Ok : TenkuRituStatus::Inconsistent;
    return res;
}

std::string InconsistentMessage(const std::string &point, const TenkuRituResult &result) {
    return "天空率の検算に失敗しました (" + point + "): 計画 " + Fixed3(result.naisetu) +
           " ≤ 精算 " + Fixed3(result.exact) + " ≤ 適合 " + Fixed3(result.gaisetu) +
           " が成り立ちません．この点の値は表示しません．";
}

}  // namespace pimu::sky
