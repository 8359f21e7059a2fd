#include "geometry/height_check.h"

#include <algorithm>
#include <cmath>

#include "geometry/acquisition.h"
#include "geometry/primitives.h"

namespace pimu::geometry {
namespace {

// How far a footprint's vertex may lie from the vertex of the raised entity above it.
constexpr double kFootprintTol = 1.0;

struct Box {
    TAcadPoint lo{HUGE_VAL, HUGE_VAL, HUGE_VAL};
    TAcadPoint hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    void Add(TAcadPoint p) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    void Add(const std::vector<TLineEnt> &edges) {
        for (const TLineEnt &e : edges) Add(e.st), Add(e.ed);
    }
    bool Empty() const { return !(lo.x <= hi.x); }
};

// The raised vertices (x, y) and circles (x, y, radius), sorted by x for the footprint test.
struct RaisedPoints {
    std::vector<TAcadPoint> points;  // z holds the radius for circles and arcs, 0 otherwise

    void Add(TAcadPoint p, double radius = 0.0) { points.push_back({p.x, p.y, radius}); }
    void Sort() {
        std::sort(points.begin(), points.end(),
                  [](const TAcadPoint &a, const TAcadPoint &b) { return a.x < b.x; });
    }
    bool Has(TAcadPoint p, double radius = 0.0) const {
        auto it = std::lower_bound(points.begin(), points.end(), p.x - kFootprintTol,
                                   [](const TAcadPoint &a, double x) { return a.x < x; });
        for (; it != points.end() && it->x <= p.x + kFootprintTol; ++it)
            if (std::abs(it->y - p.y) <= kFootprintTol && std::abs(it->z - radius) <= kFootprintTol)
                return true;
        return false;
    }
};

// One entity as the check sees it.
struct Entity {
    HeightFinding finding;
    Box box;  // of its edges, thickness included
    double thickness = 0.0;
    std::vector<TAcadPoint> vertices;  // the footprint test's vertices (empty: no test)
    double radius = 0.0;
    bool ok = false;  // it gives a height and lies within a site
};

const TEntitySource *SourceOf(const std::vector<TEntitySource> &sources, std::size_t i) {
    return i < sources.size() ? &sources[i] : nullptr;
}

// The median of the values (the upper one of an even count).
double Median(std::vector<double> v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

}  // namespace

std::vector<HeightFinding> FindEntitiesWithoutHeight(const EntityArrays &a) {
    std::vector<Entity> all;
    const auto take = [&](const char *kind, const TEntitySource *source, Box box, double thickness,
                          std::vector<TAcadPoint> vertices, double radius) {
        Entity e;
        e.finding.Kind = kind;
        if (source) {
            e.finding.Hand = source->hand;
            e.finding.Layer = source->layer;
        }
        e.box = box;
        e.thickness = thickness;
        e.vertices = std::move(vertices);
        e.radius = radius;
        all.push_back(std::move(e));
    };

    for (std::size_t i = 0; i < a.AryLine.size(); ++i) {
        const TLineEnt &l = a.AryLine[i];
        const TAcadPoint up = ScalePoint(l.code210, l.atumi);
        Box box;
        for (TAcadPoint p : {l.st, l.ed, AddPoint(l.st, up), AddPoint(l.ed, up)}) box.Add(p);
        take("LINE", SourceOf(a.LineSource, i), box, l.atumi, {l.st, l.ed}, 0.0);
    }
    // The vertices of each polyline are the next run of its handle in AryLwpEle.
    std::size_t v = 0;
    for (std::size_t i = 0; i < a.AryLwp.size(); ++i) {
        const TLwpEnt &p = a.AryLwp[i];
        const std::size_t first = v;
        while (v < a.AryLwpEle.size() && a.AryLwpEle[v].hand == p.hand) ++v;
        std::vector<TAcadPoint> vertices;
        Box box;
        for (std::size_t k = first; k < v; ++k) {
            const TLwpEle &e = a.AryLwpEle[k];
            vertices.push_back(e.code10);
            box.Add(e.code10);
            box.Add({e.code10.x, e.code10.y, e.code10.z + p.atumi});
            const bool last = k + 1 == v;
            if (e.code42 == 0.0 || (last && !(p.code70 & 1))) continue;
            // A bulged segment reaches at most its radius beyond its centre.
            const TBulgeArc arc =
                BulgeToArc(e.code10, a.AryLwpEle[last ? first : k + 1].code10, e.code42);
            box.Add({arc.Center.x - arc.Radius, arc.Center.y - arc.Radius, e.code10.z});
            box.Add({arc.Center.x + arc.Radius, arc.Center.y + arc.Radius, e.code10.z});
        }
        take("POLYLINE", SourceOf(a.LwpSource, i), box, p.atumi, std::move(vertices), 0.0);
    }
    for (std::size_t i = 0; i < a.AryCircle.size(); ++i) {
        std::vector<TLineEnt> edges;
        CirclesToLines({a.AryCircle[i]}, kTessellationStep, edges);
        const TCircleEnt &c = a.AryCircle[i];
        Box box;
        box.Add(edges);
        take("CIRCLE", SourceOf(a.CircleSource, i), box, c.atumi, {c.center}, c.hankei);
    }
    for (std::size_t i = 0; i < a.AryArc.size(); ++i) {
        std::vector<TLineEnt> edges;
        ArcsToLines({a.AryArc[i]}, kTessellationStep, edges);
        const TArcEnt &c = a.AryArc[i];
        Box box;
        box.Add(edges);
        take("ARC", SourceOf(a.ArcSource, i), box, c.atumi, {c.center}, c.hankei);
    }
    for (std::size_t i = 0; i < a.AryEllipse.size(); ++i) {
        std::vector<TLineEnt> edges;
        EllipsesToLines({a.AryEllipse[i]}, kTessellationStep, edges);
        Box box;
        box.Add(edges);
        take("ELLIPSE", SourceOf(a.EllipseSource, i), box, 0.0, {}, 0.0);
    }

    // The middle of the buildings: the median of the entities' centres.
    std::vector<double> xs, ys;
    for (const Entity &e : all)
        if (!e.box.Empty())
            xs.push_back((e.box.lo.x + e.box.hi.x) / 2),
                ys.push_back((e.box.lo.y + e.box.hi.y) / 2);
    const double cx = xs.empty() ? 0.0 : Median(xs), cy = ys.empty() ? 0.0 : Median(ys);
    const double half = kMaxSiteSpan / 2;

    RaisedPoints raised;
    for (Entity &e : all) {
        const Box &b = e.box;
        HeightFault &fault = e.finding.Fault;
        if (e.thickness < 0.0) {
            fault = HeightFault::NegativeThickness;
        } else if (b.Empty() || !(b.hi.z > 0.0)) {
            fault = HeightFault::NoHeight;  // a broken record gives no height either
            // Only a footprint without thickness may stand under a raised entity.
            if (e.thickness == 0.0 && !b.Empty()) continue;
        } else if (std::max(b.hi.x - b.lo.x, b.hi.y - b.lo.y) > kMaxSiteSpan) {
            fault = HeightFault::TooLarge;
        } else if (std::max(b.hi.z, -b.lo.z) > kMaxBuildingHeight) {
            fault = HeightFault::TooHigh;
        } else if (b.lo.x < cx - half || b.hi.x > cx + half || b.lo.y < cy - half ||
                   b.hi.y > cy + half) {
            fault = HeightFault::FarFromOthers;
        } else {
            e.ok = true;
            for (const TAcadPoint &p : e.vertices) raised.Add(p, e.radius);
        }
        e.vertices.clear();
    }
    raised.Sort();
    std::vector<HeightFinding> findings;
    for (Entity &e : all) {
        if (e.ok) continue;
        const bool footprint = !e.vertices.empty() &&
                               std::all_of(e.vertices.begin(), e.vertices.end(),
                                           [&](TAcadPoint p) { return raised.Has(p, e.radius); });
        if (!footprint) findings.push_back(std::move(e.finding));
    }
    return findings;
}

}  // namespace pimu::geometry
