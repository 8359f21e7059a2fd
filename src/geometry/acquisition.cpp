#include "geometry/acquisition.h"

#include <algorithm>
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

PolylineVertexIndex::PolylineVertexIndex(const std::vector<TLwpEle> &AryLwpEle)
    : vertices_(AryLwpEle) {
    for (std::size_t i = 0; i < AryLwpEle.size(); ++i)
        byHand_[std::string_view(AryLwpEle[i].hand)].push_back(i);
}

std::vector<TLwpEle> PolylineVertexIndex::Of(const std::string &hand) const {
    std::vector<TLwpEle> v;
    const auto it = byHand_.find(std::string_view(hand));
    if (it == byHand_.end()) return v;
    v.reserve(it->second.size());
    for (std::size_t i : it->second) v.push_back(vertices_[i]);
    return v;
}

namespace {

// One polyline's segments, its vertices `v` given (see PolylinesToLines).
void PolylineToLines(const TLwpEnt &p, std::vector<TLwpEle> v, std::vector<TArcEnt> &AryArc,
                     std::vector<TLineEnt> &AryLine) {
    if (v.empty()) return;
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
    if (h == 0.0 || !any) return;
    for (std::size_t i = first; i <= last; ++i) {
        const TLineEnt e = AryLine[i];
        AryLine.push_back(Edge(Raised(e.st, h), Raised(e.ed, h)));
        AryLine.push_back(Edge(e.st, Raised(e.st, h)));
        AryLine.push_back(Edge(Raised(e.ed, h), e.ed));
    }
}

}  // namespace

void PolylinesToLines(const std::vector<TLwpEnt> &AryLwp, const std::vector<TLwpEle> &AryLwpEle,
                      std::vector<TArcEnt> &AryArc, std::vector<TLineEnt> &AryLine) {
    const PolylineVertexIndex index(AryLwpEle);
    for (const TLwpEnt &p : AryLwp) PolylineToLines(p, index.Of(p.hand), AryArc, AryLine);
}

double ChordStep(double radius, double step) {
    const double r = std::fabs(radius);
    if (!(r > kMaxSagitta)) return step;
    const double fit = 2.0 * std::acos(1.0 - kMaxSagitta / r) * kRadToDeg;
    return std::min(step, fit);
}

void ArcsToLines(const std::vector<TArcEnt> &AryArc, double step, std::vector<TLineEnt> &AryLine) {
    const double k = kDegToRad;
    for (const TArcEnt &arc : AryArc) {
        const double a = arc.stdeg * k;
        double b = arc.eddeg * k;
        if (b < a) b += kTwoPi;
        const double chord = ChordStep(arc.hankei, step);
        const double q = (b - a) / (chord * k);
        // A span that is not finite or absurdly large cannot be cut into chords; such an arc is
        // left out rather than looping without end.
        if (std::isnan(q) || q > 1e6) continue;
        const auto n = q > 0.0 ? static_cast<long>(std::trunc(q)) : 0L;

        const std::size_t first = AryLine.size();
        AryLine.push_back(
            Edge(PolarPoint(arc.center, arc.stdeg * kPi / 180.0, arc.hankei), {}, arc.code210));
        double deg = arc.stdeg;
        for (long i = 0; i < n; ++i) {
            deg += chord;
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

int CircleSides(double radius, double step, CircleFit fit) {
    if (!(step > 0.0) || !std::isfinite(step)) return 0;
    const double least = std::ceil(360.0 / step - 1e-9);
    const double r = std::fabs(radius);
    double sides = least;
    // Round: R (1 / cos(pi / n) - 1) <= kMaxSagitta; inside: R (1 - cos(pi / n)) <= kMaxSagitta.
    const double c = fit == CircleFit::Round ? r / (r + kMaxSagitta) : 1.0 - kMaxSagitta / r;
    if (r > kMaxSagitta && std::isfinite(r))
        sides = std::max(least, std::ceil(kPi / std::acos(c) - 1e-9));
    return sides > kMaxCircleSides ? kMaxCircleSides : static_cast<int>(sides);
}

void CirclesToLines(const std::vector<TCircleEnt> &AryCircle, double step,
                    std::vector<TLineEnt> &AryLine, CircleFit fit) {
    for (const TCircleEnt &c : AryCircle) {
        const int n = CircleSides(c.hankei, step, fit);
        if (n < 3) continue;
        // Round: the polygon drawn round the circle, its sides touching it, its corners
        // R / cos(pi / n) from the centre; inside: the corners on the circle. The first at 0.
        const double corner = fit == CircleFit::Round ? c.hankei / std::cos(kPi / n) : c.hankei;
        std::vector<TAcadPoint> q;
        q.reserve(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k)
            q.push_back(
                AddPoint(OcsToWcs(PolarPoint({}, kTwoPi * k / n, corner), c.code210), c.center));
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

void ConvertToEdges(EntityArrays &a, CircleFit circles) {
    ExtrudeLines(a.AryLine);
    PolylinesToLines(a.AryLwp, a.AryLwpEle, a.AryArc, a.AryLine);
    ArcsToLines(a.AryArc, kTessellationStep, a.AryLine);
    CirclesToLines(a.AryCircle, kTessellationStep, a.AryLine, circles);
    EllipsesToLines(a.AryEllipse, kTessellationStep, a.AryLine);
}

namespace {

// A half-open range of indices.
struct IndexRange {
    std::size_t first = 0;
    std::size_t last = 0;
};

// A plan outline: drawn in the xy plane, its extrusion straight up.
bool PlanNormal(TAcadPoint n) {
    return std::fabs(n.x) < 1e-9 && std::fabs(n.y) < 1e-9 && n.z > 0.0;
}

// The underside and top of an outline at height z with thickness h: the thickness runs from the
// outline; without one the outline is a roof standing on the ground. False when that is no solid.
bool VolumeHeights(double z, double h, double &bottom, double &top) {
    if (h != 0.0) {
        bottom = std::min(z, z + h);
        top = std::max(z, z + h);
    } else {
        bottom = 0.0;
        top = z;
    }
    return std::isfinite(bottom) && std::isfinite(top) && top > bottom;
}

// Appends p unless it repeats the ring's last point.
void AddRingPoint(std::vector<TAcadPoint> &ring, TAcadPoint p) {
    p.z = 0.0;
    if (ring.empty() || !Near2D(ring.back(), p, kPointTol)) ring.push_back(p);
}

// The points of an arc's bottom chords (its first chords in AryLine) from the end nearer `from`.
std::vector<TAcadPoint> ArcChordPoints(const std::vector<TLineEnt> &lines, IndexRange r, bool thick,
                                       TAcadPoint from) {
    const std::size_t size = r.last - r.first;
    const std::size_t chords = thick ? (size - 1) / 3 : size;
    std::vector<TAcadPoint> pts;
    if (chords == 0) return pts;
    for (std::size_t i = 0; i < chords; ++i) pts.push_back(lines[r.first + i].st);
    pts.push_back(lines[r.first + chords - 1].ed);
    if (Dist2D(pts.front(), from) > Dist2D(pts.back(), from)) std::reverse(pts.begin(), pts.end());
    return pts;
}

// A volume found in the conversion, with the indices of its edges in AryLine (ascending).
struct FoundVolume {
    Volume volume;
    std::vector<std::size_t> edges;
};

}  // namespace

AcquiredModel ConvertAcquisition(EntityArrays &arrays, Progress &progress) {
    AcquiredModel r;
    // The stop is asked between entities, whenever about kAskEvery more edges or vertices were
    // made or walked (`work` counts them).
    constexpr std::size_t kAskEvery = 32768;
    std::size_t work = 0, nextAsk = 0;
    const auto stop = [&] {
        if (work < nextAsk) return false;
        nextAsk = work + kAskEvery;
        if (progress.KeepRunning()) return false;
        r = AcquiredModel{};
        r.Stopped = true;
        return true;
    };
    if (stop()) return r;
    // Before the conversion changes the arrays: the entities that give no height.
    r.WithoutHeight = FindEntitiesWithoutHeight(arrays);
    work += kAskEvery;  // asked again after the check
    if (stop()) return r;
    // The steps of ConvertToEdges in their order, one entity at a time, so that the edges of each
    // closed polyline and circle are known.
    std::vector<TLineEnt> &lines = arrays.AryLine;
    ExtrudeLines(lines);

    const PolylineVertexIndex vertices(arrays.AryLwpEle);
    std::vector<IndexRange> lwpLines, lwpArcs;
    for (const TLwpEnt &p : arrays.AryLwp) {
        if (stop()) return r;
        const IndexRange l0{lines.size(), 0}, a0{arrays.AryArc.size(), 0};
        PolylineToLines(p, vertices.Of(p.hand), arrays.AryArc, lines);
        lwpLines.push_back({l0.first, lines.size()});
        lwpArcs.push_back({a0.first, arrays.AryArc.size()});
        work += lines.size() - l0.first + 1;
    }
    std::vector<IndexRange> arcLines;
    for (const TArcEnt &arc : arrays.AryArc) {
        if (stop()) return r;
        const std::size_t first = lines.size();
        ArcsToLines({arc}, kTessellationStep, lines);
        arcLines.push_back({first, lines.size()});
        work += lines.size() - first + 1;
    }
    std::vector<IndexRange> circleLines;
    for (const TCircleEnt &c : arrays.AryCircle) {
        if (stop()) return r;
        const std::size_t first = lines.size();
        CirclesToLines({c}, kTessellationStep, lines);
        circleLines.push_back({first, lines.size()});
        work += lines.size() - first + 1;
    }
    EllipsesToLines(arrays.AryEllipse, kTessellationStep, lines);

    std::vector<FoundVolume> found;
    for (std::size_t i = 0; i < arrays.AryLwp.size(); ++i) {
        if (stop()) return r;
        const TLwpEnt &p = arrays.AryLwp[i];
        work += lwpLines[i].last - lwpLines[i].first + 1;
        if (!(p.code70 & 1) || !PlanNormal(p.code210)) continue;
        const std::vector<TLwpEle> v = vertices.Of(p.hand);
        if (v.size() < 3) continue;
        bool level = true;
        for (const TLwpEle &e : v) level = level && e.code10.z == v.front().code10.z;
        FoundVolume f;
        if (!level || !VolumeHeights(v.front().code10.z, p.atumi, f.volume.bottom, f.volume.top))
            continue;
        std::size_t arc = lwpArcs[i].first;
        for (std::size_t k = 0; k < v.size(); ++k) {
            AddRingPoint(f.volume.footprint, v[k].code10);
            if (v[k].code42 == 0.0 || arc >= lwpArcs[i].last) continue;
            for (TAcadPoint q : ArcChordPoints(lines, arcLines[arc], p.atumi != 0.0, v[k].code10))
                AddRingPoint(f.volume.footprint, q);
            ++arc;
        }
        std::vector<TAcadPoint> &ring = f.volume.footprint;
        while (ring.size() > 1 && Near2D(ring.back(), ring.front(), kPointTol)) ring.pop_back();
        if (ring.size() < 3) continue;
        for (std::size_t e = lwpLines[i].first; e < lwpLines[i].last; ++e) f.edges.push_back(e);
        for (std::size_t a = lwpArcs[i].first; a < lwpArcs[i].last; ++a)
            for (std::size_t e = arcLines[a].first; e < arcLines[a].last; ++e) f.edges.push_back(e);
        found.push_back(std::move(f));
    }
    for (std::size_t i = 0; i < arrays.AryCircle.size(); ++i) {
        const TCircleEnt &c = arrays.AryCircle[i];
        const IndexRange r = circleLines[i];
        if (r.first == r.last || !PlanNormal(c.code210)) continue;
        FoundVolume f;
        if (!VolumeHeights(c.center.z, c.atumi, f.volume.bottom, f.volume.top)) continue;
        f.volume.circle = true;
        f.volume.centre = {c.center.x, c.center.y, 0.0};
        f.volume.radius = c.hankei;
        const std::size_t chords = c.atumi != 0.0 ? (r.last - r.first) / 4 : r.last - r.first;
        for (std::size_t e = r.first; e < r.first + chords; ++e)
            AddRingPoint(f.volume.footprint, lines[e].st);
        for (std::size_t e = r.first; e < r.last; ++e) f.edges.push_back(e);
        found.push_back(std::move(f));
    }

    // The model's edges are the converted ones in their order, except that a volume's edges are
    // moved together to where its first one stands (the chords of a polyline's arcs come after
    // every polyline in the conversion).
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::size_t> owner(lines.size(), kNone);
    for (std::size_t k = 0; k < found.size(); ++k)
        for (std::size_t e : found[k].edges) owner[e] = k;
    work += kAskEvery;
    if (stop()) return r;
    std::vector<TLineEnt> edges;
    edges.reserve(lines.size());
    std::vector<bool> placed(found.size(), false);
    for (std::size_t e = 0; e < lines.size(); ++e) {
        const std::size_t k = owner[e];
        if (k == kNone) {
            edges.push_back(lines[e]);
            continue;
        }
        if (placed[k]) continue;
        placed[k] = true;
        found[k].volume.firstEdge = edges.size();
        found[k].volume.edgeCount = found[k].edges.size();
        for (std::size_t i : found[k].edges) edges.push_back(lines[i]);
    }

    // A volume's edges stand on its underside.
    for (const FoundVolume &f : found)
        for (std::size_t e = 0; e < f.volume.edgeCount; ++e)
            edges[f.volume.firstEdge + e].base = f.volume.bottom;
    r.Model.SetEdges(std::move(edges));
    for (FoundVolume &f : found) r.Model.Volumes.push_back(std::move(f.volume));
    return r;
}

}  // namespace pimu::geometry
