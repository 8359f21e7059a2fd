#include "sky/reference/sky_factor_traced.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <utility>

#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "sky/map_angles.h"

namespace pimu::sky::traced {

using geometry::Angle2D;
using geometry::Dist2D;
using geometry::Intersect2D;
using geometry::kHalfPi;
using geometry::kPi;
using geometry::kPointTol;
using geometry::kRadToDeg;
using geometry::kTwoPi;
using geometry::PolarPoint;
using geometry::TTempPoint;

namespace {

constexpr TAcadPoint kOrigin{0.0, 0.0, 0.0};
// The length of the helper lines whose direction alone matters.
constexpr double kProbeLength = 100.0;

double Radius(TAcadPoint p) {
    return Dist2D(kOrigin, p);
}

// The first outline segment, in outline order, that the ray from the centre to `end` crosses.
bool FirstCrossing(const std::vector<TLineEnt> &outline, TAcadPoint end, TAcadPoint &hit,
                   const TLineEnt **segment = nullptr) {
    for (const TLineEnt &s : outline) {
        TAcadPoint x;
        if (Intersect2D(kOrigin, end, s.st, s.ed, true, x)) {
            hit = TAcadPoint{x.x, x.y, 0.0};
            if (segment != nullptr) *segment = &s;
            return true;
        }
    }
    return false;
}

// The triangle of two fan points, or false when it is too low (or degenerate).
bool MakeTriangle(TAcadPoint p, TAcadPoint q, TSansya &t) {
    TAcadPoint m = p;
    TAcadPoint o = q;
    if (Radius(q) > Radius(p)) std::swap(m, o);
    const TAcadPoint probe = PolarPoint(o, Angle2D(kOrigin, m) + kHalfPi, kProbeLength);
    TAcadPoint foot;
    if (!Intersect2D(kOrigin, m, o, probe, false, foot)) return false;
    const double height = Dist2D(o, foot);
    if (height <= kMinTriangleHeight) return false;
    t.teihen = Radius(m);
    t.takasa = height;
    t.m = m;
    t.o = o;
    t.foot = TAcadPoint{foot.x, foot.y, 0.0};
    return true;
}

// True when some outline segment meets the ray from the centre in azimuth phi closer than
// `reach`. Unlike the fan rays this test includes the segments' ends, so that a ray through an
// outline vertex is not taken for a gap.
bool RayMeetsOutline(double phi, const std::vector<TLineEnt> &outline, double reach) {
    const double ux = std::cos(phi);
    const double uy = std::sin(phi);
    const auto meets = [&](TAcadPoint p) { return p.x * ux + p.y * uy > 0.0 && Radius(p) < reach; };
    for (const TLineEnt &s : outline) {
        const double ca = ux * s.st.y - uy * s.st.x;
        const double cb = ux * s.ed.y - uy * s.ed.x;
        if (ca * cb > 0.0) continue;
        if (ca == cb) {  // along the ray
            if (meets(s.st) || meets(s.ed)) return true;
            continue;
        }
        const double t = ca / (ca - cb);
        if (meets(
                TAcadPoint{s.st.x + t * (s.ed.x - s.st.x), s.st.y + t * (s.ed.y - s.st.y), 0.0})) {
            return true;
        }
    }
    return false;
}

// The open sky between two consecutive fan points reaches the horizon when the ray half way
// between them meets no outline segment inside the circle.
bool OpenToHorizon(TAcadPoint p, TAcadPoint q, const std::vector<TLineEnt> &outline, double R,
                   OpenSector &sector) {
    const double g = R * 0.000005;
    const double beta = Fold(CcwAngle(p, q));
    const bool ccw = CcwAngle(p, q) <= kPi;
    const double mid = Angle2D(kOrigin, ccw ? p : q) + beta / 2.0;
    if (RayMeetsOutline(mid, outline, R - g)) return false;
    sector.from = ccw ? p : q;
    sector.to = ccw ? q : p;
    sector.angle = beta;
    return true;
}

// Numbers the triangles, rounds the areas and sums up a pass.
SansyaPass Finish(SansyaPass pass, double r, double s, double alpha) {
    pass.T = 0.0;
    for (std::size_t i = 0; i < pass.triangles.size(); ++i) {
        TSansya &t = pass.triangles[i];
        t.no = static_cast<std::int32_t>(i + 1);
        t.menseki = dec3(dec5(t.teihen / s) * dec5(t.takasa / s * 0.5));
        pass.T += t.menseki;
    }
    for (OpenSector &o : pass.openSectors) {
        o.menseki = dec3(r * r * o.angle / 2.0);
        pass.T += o.menseki;
    }
    const SkyAreas areas = SkyFactorFromAreas(r, alpha, pass.T);
    pass.F = areas.F;
    pass.value = areas.value;
    return pass;
}

// The chord m-o pushed out, parallel to itself, to where its perpendicular bisector meets the
// outline segment seg.
void PushOut(const TLineEnt &seg, TAcadPoint mid, double R, TAcadPoint &m, TAcadPoint &o) {
    const double g = R * 0.000005;
    const double hc = Angle2D(m, o);
    TAcadPoint w;
    if (!Intersect2D(seg.st, seg.ed, mid, PolarPoint(mid, hc + kHalfPi, kProbeLength), false, w)) {
        return;
    }
    const double d = Dist2D(w, mid);
    if (!(d > kPointTol && d < R - g)) return;
    const TAcadPoint along = PolarPoint(w, hc, kProbeLength);
    TAcadPoint x;
    const TAcadPoint m0 = m;
    const TAcadPoint o0 = o;
    if (Intersect2D(w, along, kOrigin, m0, false, x) && Radius(x) < R) {
        m = TAcadPoint{x.x, x.y, 0.0};
    }
    if (Intersect2D(w, along, kOrigin, o0, false, x) && Radius(x) < R) {
        o = TAcadPoint{x.x, x.y, 0.0};
    }
}

}  // namespace

std::vector<TAcadPoint> FindCorners(const std::vector<TLineEnt> &outline, double R) {
    std::vector<TAcadPoint> corners;
    const std::size_t n = outline.size();
    if (n <= 2) return corners;
    const double g = R * 0.000005;
    const auto visit = [&](TAcadPoint u, TAcadPoint v, TAcadPoint w) {
        double theta = Angle2D(v, w) - Angle2D(v, u);
        if (theta < 0.0) theta += kTwoPi;
        if (theta >= kTwoPi) theta -= kTwoPi;
        if (Fold(theta) < kCornerLimit && Radius(v) + g < R) corners.push_back(v);
    };
    for (std::size_t i = 0; i + 1 < n; ++i) visit(outline[i].st, outline[i].ed, outline[i + 1].ed);
    visit(outline[n - 1].st, outline[n - 1].ed, outline[0].ed);
    return corners;
}

std::vector<TAcadPoint> FanPoints(const std::vector<TAcadPoint> &corners,
                                  const std::vector<TLineEnt> &outline, double R) {
    std::vector<TAcadPoint> fan;
    if (corners.empty()) return fan;
    const double g = R * 0.000005;
    for (std::size_t i = 0; i + 1 < corners.size(); ++i) {
        const TAcadPoint c = corners[i];
        const double beta = Fold(CcwAngle(c, corners[i + 1]));
        const double h = std::trunc(beta / kFanStep + 1.0);
        fan.push_back(c);
        const double start = Angle2D(kOrigin, c);
        for (int j = 1; j < static_cast<int>(h); ++j) {
            const TAcadPoint end = PolarPoint(kOrigin, start + beta * j / h, R - g);
            TAcadPoint hit;
            if (FirstCrossing(outline, end, hit)) fan.push_back(hit);
        }
    }
    fan.push_back(corners.back());
    return fan;
}

std::vector<TSansya> InscribedTriangles(const std::vector<TAcadPoint> &fan) {
    std::vector<TSansya> triangles;
    for (std::size_t i = 0; i + 1 < fan.size(); ++i) {
        TSansya t;
        if (!MakeTriangle(fan[i], fan[i + 1], t)) continue;
        t.no = static_cast<std::int32_t>(triangles.size() + 1);
        triangles.push_back(t);
    }
    return triangles;
}

SansyaPass InscribedPass(const std::vector<TAcadPoint> &fan, const std::vector<TLineEnt> &outline,
                         double r, double s, double alpha) {
    const double R = r * s;
    SansyaPass pass;
    for (std::size_t i = 0; i + 1 < fan.size(); ++i) {
        OpenSector open;
        if (OpenToHorizon(fan[i], fan[i + 1], outline, R, open)) {
            pass.openSectors.push_back(open);
            continue;
        }
        TSansya t;
        if (MakeTriangle(fan[i], fan[i + 1], t)) pass.triangles.push_back(t);
    }
    return Finish(std::move(pass), r, s, alpha);
}

SansyaPass CircumscribedPass(const std::vector<TAcadPoint> &fan,
                             const std::vector<TLineEnt> &outline, double r, double s,
                             double alpha) {
    const double R = r * s;
    const double g = R * 0.000005;
    SansyaPass pass;
    for (std::size_t i = 0; i + 1 < fan.size(); ++i) {
        TAcadPoint m = fan[i];
        TAcadPoint o = fan[i + 1];
        if (Radius(o) > Radius(m)) std::swap(m, o);
        const TAcadPoint mid{(m.x + o.x) / 2.0, (m.y + o.y) / 2.0, 0.0};
        TAcadPoint hit;
        const TLineEnt *seg = nullptr;
        if (FirstCrossing(outline, PolarPoint(kOrigin, Angle2D(kOrigin, mid), R - g), hit, &seg)) {
            PushOut(*seg, mid, R, m, o);
        } else {
            OpenSector open;
            if (OpenToHorizon(fan[i], fan[i + 1], outline, R, open)) {
                pass.openSectors.push_back(open);
                continue;
            }
        }
        TSansya t;
        if (MakeTriangle(m, o, t)) pass.triangles.push_back(t);
    }
    return Finish(std::move(pass), r, s, alpha);
}

TenkuRituResult GetTenkuRitu(const std::vector<TLineEnt> &outline, double r, double s) {
    TenkuRituResult res;
    res.areacmd = 100.0;
    if (outline.size() <= 2) return res;
    const double R = r * s;
    const std::vector<TAcadPoint> found = FindCorners(outline, R);
    if (found.size() <= 1) {
        res.status = TenkuRituStatus::TooFewCorners;
        return res;
    }

    // A and B: the widest pair of corners, at most a half turn apart, A first counter-clockwise.
    double best = 0.0;
    TAcadPoint a = found[0];
    TAcadPoint b = found[1];
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (std::size_t j = 0; j < found.size(); ++j) {
            if (i == j) continue;
            const double angle = Fold(CcwAngle(found[i], found[j]));
            if (angle > best) {
                best = angle;
                a = found[i];
                b = found[j];
            }
        }
    }
    if (CcwAngle(a, b) > CcwAngle(b, a)) std::swap(a, b);
    res.A = a;
    res.B = b;
    // Buildings round more than half the horizon (a courtyard) leave corners outside the sector
    // from A to B: the fan would measure the wrong side, so no sky factor is claimed.
    const double sector_angle = CcwAngle(a, b);
    for (const TAcadPoint &c : found) {
        if (CcwAngle(a, c) > sector_angle + kPointTol) {
            res.status = TenkuRituStatus::BeyondHalfTurn;
            return res;
        }
    }

    // The outline runs clockwise round the centre from the B end to the A end: number the
    // corners from B on (wrapping round) and reverse, which gives A ... B counter-clockwise.
    std::vector<TTempPoint> corners;
    corners.reserve(found.size());
    for (const TAcadPoint &p : found) corners.push_back(TTempPoint{0, p, {}});
    std::size_t first_b = 0;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        if (geometry::Near2D(corners[i].pt, b)) {
            first_b = i;
            break;
        }
    }
    const std::size_t count = corners.size();
    for (std::size_t k = 0; k < count; ++k) {
        corners[(first_b + k) % count].id = static_cast<std::int32_t>(k);
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = i + 1; j < count; ++j) {
            if (corners[j].id > corners[i].id) std::swap(corners[i], corners[j]);
        }
    }

    res.alpha = dec3(Fold(CcwAngle(a, b)) * kRadToDeg);
    const SkyAreas sector = SkyFactorFromAreas(r, res.alpha, 0.0);
    res.K = sector.K;
    res.Q = sector.Q;

    std::vector<TAcadPoint> ordered;
    ordered.reserve(count);
    for (const TTempPoint &c : corners) ordered.push_back(c.pt);
    res.TempPoints = std::move(corners);
    res.fan = FanPoints(ordered, outline, R);

    res.naisetuPass = InscribedPass(res.fan, outline, r, s, res.alpha);
    res.gaisetuPass = CircumscribedPass(res.fan, outline, r, s, res.alpha);
    res.naisetu = res.naisetuPass.value;
    res.gaisetu = res.gaisetuPass.value;
    const auto empty = [](const SansyaPass &p) {
        return p.triangles.empty() && p.openSectors.empty();
    };
    res.status = empty(res.naisetuPass) || empty(res.gaisetuPass) ? TenkuRituStatus::NoTriangles
                                                                  : TenkuRituStatus::Ok;
    return res;
}

}  // namespace pimu::sky::traced
