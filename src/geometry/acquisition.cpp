#include "geometry/acquisition.h"

#include <cmath>

#include "geometry/primitives.h"
#include "geometry/tolerances.h"

namespace pimu::geometry {
namespace {

constexpr TAcadPoint kUp{0.0, 0.0, 1.0};

TLineEnt Edge(TAcadPoint st, TAcadPoint ed, TAcadPoint normal = kUp) {
    TLineEnt e;
    e.st = st;
    e.ed = ed;
    e.code210 = normal;
    return e;
}

TAcadPoint Raised(TAcadPoint p, double h) {
    p.z += h;
    return p;
}

}  // namespace

void ExtrudeLines(std::vector<TLineEnt> &AryLine) {
    const std::size_t n = AryLine.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (AryLine[i].atumi == 0.0) continue;
        const TLineEnt l = AryLine[i];  // the array grows below
        const TAcadPoint up = ScalePoint(l.code210, l.atumi);
        const TLineEnt top = Edge(AddPoint(l.st, up), AddPoint(l.ed, up));
        AryLine.push_back(top);
        AryLine[i].code210 = kUp;
        AryLine[i].atumi = 0.0;
        AryLine.push_back(Edge(l.st, top.st));
        AryLine.push_back(Edge(l.ed, top.ed));
    }
}

void PolylinesToLines(const std::vector<TLwpEnt> &AryLwp, const std::vector<TLwpEle> &AryLwpEle,
                      std::vector<TArcEnt> &AryArc, std::vector<TLineEnt> &AryLine) {
    for (const TLwpEnt &p : AryLwp) {
        std::vector<TLwpEle> v;
        for (const TLwpEle &e : AryLwpEle)
            if (e.hand == p.hand) v.push_back(e);
        if (v.empty()) continue;
        if (p.code70 & 1) v.push_back(v.front());

        std::size_t first = 0, last = 0;
        bool any = false;
        for (std::size_t k = 0; k + 1 < v.size(); ++k) {
            if (v[k].code42 == 0.0) {
                AryLine.push_back(Edge(v[k].code10, v[k + 1].code10, p.code210));
                if (!any) first = AryLine.size() - 1;
                last = AryLine.size() - 1;
                any = true;
            } else {
                const TBulgeArc b = BulgeToArc(v[k].code10, v[k + 1].code10, v[k].code42);
                TArcEnt arc;
                arc.center = b.Center;
                arc.center.z = v[k].code10.z;
                arc.hankei = b.Radius;
                arc.stdeg = b.StartAngle * kRadToDeg;
                arc.eddeg = b.EndAngle * kRadToDeg;
                arc.atumi = p.atumi;
                arc.code210 = p.code210;
                AryArc.push_back(arc);
            }
        }
        const double h = p.atumi;
        if (h == 0.0 || !any) continue;
        for (std::size_t i = first; i <= last; ++i) {
            const TLineEnt e = AryLine[i];
            AryLine.push_back(Edge(Raised(e.st, h), Raised(e.ed, h)));
            AryLine.push_back(Edge(e.st, Raised(e.st, h)));
            AryLine.push_back(Edge(Raised(e.ed, h), e.ed));
        }
    }
}

void ArcsToLines(const std::vector<TArcEnt> &AryArc, double step, std::vector<TLineEnt> &AryLine) {
    const double k = kDegToRad;
    for (const TArcEnt &arc : AryArc) {
        const double a = arc.stdeg * k;
        double b = arc.eddeg * k;
        if (b < a) b += kTwoPi;
        const double q = (b - a) / (step * k);
        // A span that is not finite or absurdly large cannot be cut into chords; such an arc is
        // left out rather than looping without end.
        if (std::isnan(q) || q > 1e6) continue;
        const auto n = q > 0.0 ? static_cast<long>(std::trunc(q)) : 0L;

        const std::size_t first = AryLine.size();
        AryLine.push_back(
            Edge(PolarPoint(arc.center, arc.stdeg * kPi / 180.0, arc.hankei), {}, arc.code210));
        double deg = arc.stdeg;
        for (long i = 0; i < n; ++i) {
            deg += step;
            const TAcadPoint p = PolarPoint(arc.center, deg * kPi / 180.0, arc.hankei);
            AryLine.back().ed = p;
            AryLine.push_back(Edge(p, {}, arc.code210));
        }
        AryLine.back().ed = PolarPoint(arc.center, arc.eddeg * kPi / 180.0, arc.hankei);
        const std::size_t last = AryLine.size() - 1;

        const double h = arc.atumi;
        if (h == 0.0) continue;
        for (std::size_t i = first; i <= last; ++i) {
            const TLineEnt c = AryLine[i];
            AryLine.push_back(Edge(Raised(c.st, h), Raised(c.ed, h)));
        }
        for (std::size_t i = first; i <= last; ++i) {
            const TLineEnt c = AryLine[i];
            AryLine.push_back(Edge(c.st, Raised(c.st, h)));
            if (i == last) AryLine.push_back(Edge(c.ed, Raised(c.ed, h)));
        }
    }
}

void CirclesToLines(const std::vector<TCircleEnt> &AryCircle, double step,
                    std::vector<TLineEnt> &AryLine) {
    const double s = step * kPi / 180.0;
    const auto n = static_cast<int>(std::trunc(kTwoPi / s - 0.5));
    if (n < 2) return;
    for (const TCircleEnt &c : AryCircle) {
        std::vector<TAcadPoint> q;
        q.reserve(static_cast<std::size_t>(n));
        for (int k = 1; k <= n; ++k)
            q.push_back(AddPoint(
                OcsToWcs(PolarPoint({}, k * step * kPi / 180.0, c.hankei), c.code210), c.center));
        const std::size_t first = AryLine.size();
        for (int k = 0; k + 1 < n; ++k) AryLine.push_back(Edge(q[k], q[k + 1]));
        AryLine.push_back(Edge(q.back(), q.front()));
        // A circle with a thickness is a cylinder, as a closed polyline with a thickness is a
        // prism: raised chords and a vertical at each end of every chord.
        if (c.atumi == 0.0) continue;
        const TAcadPoint up = ScalePoint(c.code210, c.atumi);
        const std::size_t last = AryLine.size();
        for (std::size_t i = first; i < last; ++i) {
            const TLineEnt chord = AryLine[i];
            const TLineEnt top = Edge(AddPoint(chord.st, up), AddPoint(chord.ed, up));
            AryLine.push_back(top);
            AryLine.push_back(Edge(chord.st, top.st));
            AryLine.push_back(Edge(top.ed, chord.ed));
        }
    }
}

void EllipsesToLines(const std::vector<TEllipseEnt> &AryEllipse, double step,
                     std::vector<TLineEnt> &AryLine) {
    for (const TEllipseEnt &el : AryEllipse) {
        const double a = std::sqrt(el.endpoint.x * el.endpoint.x + el.endpoint.y * el.endpoint.y +
                                   el.endpoint.z * el.endpoint.z);
        if (!(a > 0.0)) continue;  // no axis, no ellipse
        const TAcadPoint u = ScalePoint(el.endpoint, 1.0 / a);
        const TAcadPoint nrm = el.code210;
        const TAcadPoint v = Cross(u, nrm);
        const double r = el.henpei;
        const auto point = [&](double t) {
            return LocalToWorld({a * std::cos(t), -a * r * std::sin(t), 0.0}, el.center, u, v, nrm);
        };
        double t = el.kaisi * kPi / 180.0;
        const double end = el.owari * kPi / 180.0;
        const double s = step * kPi / 180.0;
        if (!std::isfinite(t) || !std::isfinite(end) || (end - t) / s > 1e6) continue;
        TAcadPoint p = point(t);
        while (t < end) {
            t += s;
            if (t > end) t = end;
            const TAcadPoint q = point(t);
            if (!Near3D(p, q, kPointTol)) AryLine.push_back(Edge(p, q));
            p = q;
        }
    }
}

void ConvertToEdges(EntityArrays &a) {
    ExtrudeLines(a.AryLine);
    PolylinesToLines(a.AryLwp, a.AryLwpEle, a.AryArc, a.AryLine);
    ArcsToLines(a.AryArc, kTessellationStep, a.AryLine);
    CirclesToLines(a.AryCircle, kTessellationStep, a.AryLine);
    EllipsesToLines(a.AryEllipse, kTessellationStep, a.AryLine);
}

bool HasNegativeCoordinate(const std::vector<TLineEnt> &edges) {
    for (const TLineEnt &e : edges)
        if (e.st.x < 0.0 || e.st.y < 0.0 || e.st.z < 0.0 || e.ed.x < 0.0 || e.ed.y < 0.0 ||
            e.ed.z < 0.0)
            return true;
    return false;
}

AcquiredModel ConvertAcquisition(EntityArrays &arrays) {
    AcquiredModel r;
    r.WithoutHeight = FindEntitiesWithoutHeight(arrays);
    ConvertToEdges(arrays);
    r.Model.SetEdges(arrays.AryLine);
    r.NegativeCoordinate = HasNegativeCoordinate(r.Model.AryTatemono);
    return r;
}

}  // namespace pimu::geometry
