#include "view/hittest.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/clip.h"

namespace pimu::view {
namespace {

constexpr double kTurn = 2.0 * std::numbers::pi;

double SegmentDistance(TAcadPoint p, TAcadPoint a, TAcadPoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool SegmentMeets(TAcadPoint a, TAcadPoint b, const Box &box) {
    return geometry::SegmentMeetsRect(a, b, box.minX, box.minY, box.maxX, box.maxY);
}

// The arc as counter-clockwise start and non-negative sweep.
struct CcwArc {
    TAcadPoint c;
    double r, start, sweep;
    bool full;
};
CcwArc Ccw(const Arc &a) {
    CcwArc out{a.center, a.radius, a.start, a.sweep, a.circle || std::abs(a.sweep) >= kTurn};
    if (out.sweep < 0.0) out.start += out.sweep, out.sweep = -out.sweep;
    return out;
}
bool OnSweep(const CcwArc &a, double angle) {
    if (a.full) return true;
    double d = std::fmod(angle - a.start, kTurn);
    if (d < 0.0) d += kTurn;
    return d <= a.sweep;
}
TAcadPoint At(const CcwArc &a, double angle) {
    return {a.c.x + a.r * std::cos(angle), a.c.y + a.r * std::sin(angle), a.c.z};
}

double ArcDistance(const Arc &arc, TAcadPoint p) {
    const CcwArc a = Ccw(arc);
    const double d = std::hypot(p.x - a.c.x, p.y - a.c.y);
    if (OnSweep(a, std::atan2(p.y - a.c.y, p.x - a.c.x))) return std::abs(d - a.r);
    const TAcadPoint s = At(a, a.start), e = At(a, a.start + a.sweep);
    return std::min(std::hypot(p.x - s.x, p.y - s.y), std::hypot(p.x - e.x, p.y - e.y));
}

// The exact bounds of an arc: its ends and the quarter points it passes.
Box ArcBox(const Arc &arc) {
    const CcwArc a = Ccw(arc);
    Box b;
    if (a.full) {
        b.Add(TAcadPoint{a.c.x - a.r, a.c.y - a.r, 0.0});
        b.Add(TAcadPoint{a.c.x + a.r, a.c.y + a.r, 0.0});
        return b;
    }
    b.Add(At(a, a.start));
    b.Add(At(a, a.start + a.sweep));
    for (int k = 0; k < 4; ++k)
        if (OnSweep(a, k * kTurn / 4.0)) b.Add(At(a, k * kTurn / 4.0));
    return b;
}

bool ArcMeets(const Arc &arc, const Box &box) {
    const CcwArc a = Ccw(arc);
    if (a.full) {
        if (box.Contains(At(a, 0.0))) return true;
    } else if (box.Contains(At(a, a.start)) || box.Contains(At(a, a.start + a.sweep))) {
        return true;
    }
    // Otherwise the arc must cross an edge of the box.
    const TAcadPoint corners[4] = {{box.minX, box.minY, 0.0},
                                   {box.maxX, box.minY, 0.0},
                                   {box.maxX, box.maxY, 0.0},
                                   {box.minX, box.maxY, 0.0}};
    for (int k = 0; k < 4; ++k) {
        const TAcadPoint p = corners[k], q = corners[(k + 1) % 4];
        const double dx = q.x - p.x, dy = q.y - p.y;
        const double fx = p.x - a.c.x, fy = p.y - a.c.y;
        const double qa = dx * dx + dy * dy, qb = 2.0 * (fx * dx + fy * dy);
        const double qc = fx * fx + fy * fy - a.r * a.r;
        const double disc = qb * qb - 4.0 * qa * qc;
        if (qa == 0.0 || disc < 0.0) continue;
        for (double sign : {-1.0, 1.0}) {
            const double t = (-qb + sign * std::sqrt(disc)) / (2.0 * qa);
            if (t < 0.0 || t > 1.0) continue;
            const double x = p.x + t * dx, y = p.y + t * dy;
            if (OnSweep(a, std::atan2(y - a.c.y, x - a.c.x))) return true;
        }
    }
    return false;
}

// Calls f(a, b, bulge) for each segment of a polyline.
template <typename F>
bool AnySegment(const Polyline &pl, F f) {
    const std::size_t n = pl.vertices.size();
    const std::size_t segments = pl.closed ? n : n - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const PolyVertex &a = pl.vertices[i];
        const PolyVertex &b = pl.vertices[(i + 1) % n];
        if (f(a.pt, b.pt, std::abs(a.bulge) < kStraightBulge ? 0.0 : a.bulge)) return true;
    }
    return false;
}

bool InsideConvex(const std::vector<TAcadPoint> &quad, TAcadPoint p) {
    bool pos = false, neg = false;
    for (std::size_t k = 0; k < quad.size(); ++k) {
        const TAcadPoint a = quad[k], b = quad[(k + 1) % quad.size()];
        const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
        pos = pos || cross > 0.0;
        neg = neg || cross < 0.0;
    }
    return !(pos && neg);
}

}  // namespace

double DistanceTo(const Shape &shape, TAcadPoint p) {
    if (const auto *l = std::get_if<Line>(&shape)) return SegmentDistance(p, l->a, l->b);
    if (const auto *pl = std::get_if<Polyline>(&shape)) {
        double best = std::numeric_limits<double>::infinity();
        AnySegment(*pl, [&](TAcadPoint a, TAcadPoint b, double bulge) {
            best = std::min(best, bulge == 0.0 ? SegmentDistance(p, a, b)
                                               : ArcDistance(ArcOfBulge(a, b, bulge), p));
            return false;
        });
        return best;
    }
    if (const auto *a = std::get_if<Arc>(&shape)) return ArcDistance(*a, p);
    if (const auto *t = std::get_if<Text>(&shape)) {
        const auto quad = TextOutline(*t);
        if (InsideConvex(quad, p)) return 0.0;
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < 4; ++k)
            best = std::min(best, SegmentDistance(p, quad[k], quad[(k + 1) % 4]));
        return best;
    }
    const auto &d = std::get<Dot>(shape);
    return std::hypot(p.x - d.at.x, p.y - d.at.y);
}

bool Meets(const Shape &shape, const Box &box) {
    if (const auto *l = std::get_if<Line>(&shape)) return SegmentMeets(l->a, l->b, box);
    if (const auto *pl = std::get_if<Polyline>(&shape)) {
        return AnySegment(*pl, [&](TAcadPoint a, TAcadPoint b, double bulge) {
            return bulge == 0.0 ? SegmentMeets(a, b, box) : ArcMeets(ArcOfBulge(a, b, bulge), box);
        });
    }
    if (const auto *a = std::get_if<Arc>(&shape)) return ArcMeets(*a, box);
    if (const auto *t = std::get_if<Text>(&shape)) {
        const auto quad = TextOutline(*t);
        for (std::size_t k = 0; k < 4; ++k)
            if (SegmentMeets(quad[k], quad[(k + 1) % 4], box)) return true;
        return InsideConvex(quad, {box.minX, box.minY, 0.0});  // the box inside the text
    }
    return box.Contains(std::get<Dot>(shape).at);
}

bool Inside(const Shape &shape, const Box &box) {
    if (const auto *l = std::get_if<Line>(&shape)) return box.Contains(l->a) && box.Contains(l->b);
    if (const auto *pl = std::get_if<Polyline>(&shape)) {
        return !AnySegment(*pl, [&](TAcadPoint a, TAcadPoint b, double bulge) {
            if (bulge == 0.0) return !(box.Contains(a) && box.Contains(b));
            return !box.Contains(ArcBox(ArcOfBulge(a, b, bulge)));
        });
    }
    if (const auto *a = std::get_if<Arc>(&shape)) return box.Contains(ArcBox(*a));
    if (const auto *t = std::get_if<Text>(&shape)) {
        const auto quad = TextOutline(*t);
        return std::all_of(quad.begin(), quad.end(), [&](TAcadPoint c) { return box.Contains(c); });
    }
    return box.Contains(std::get<Dot>(shape).at);
}

std::optional<PickHit> PickEntity(const Scene &scene, TAcadPoint at, double aperture) {
    const Box box = Box::Around(at, aperture);
    std::vector<int> candidates;
    scene.Query(box, candidates);
    std::optional<PickHit> best;
    for (int i : candidates) {
        const Primitive &p = scene.Primitives()[static_cast<std::size_t>(i)];
        if (!Meets(p.shape, box)) continue;
        const double d = DistanceTo(p.shape, at);
        if (!best || d <= best->distance) best = PickHit{p.entity, i, d};
    }
    return best;
}

namespace {

std::vector<int> Select(const Scene &scene, TAcadPoint c1, TAcadPoint c2, bool crossing) {
    const Box box = Box::Spanning(c1, c2);
    std::vector<int> candidates, out;
    scene.Query(box, candidates);
    const auto &prims = scene.Primitives();
    int looked = -1;  // an entity's primitives are consecutive: each entity is judged once
    for (int i : candidates) {
        const Primitive &p = prims[static_cast<std::size_t>(i)];
        if (p.entity == looked) continue;
        looked = p.entity;
        if (crossing) {
            if (Meets(p.shape, box)) out.push_back(p.entity);
            continue;
        }
        // Every visible primitive of the entity inside.
        const Entity &e = scene.Entities()[static_cast<std::size_t>(p.entity)];
        bool all = true;
        for (int k = e.first; k < e.first + e.count && all; ++k) {
            const Primitive &q = prims[static_cast<std::size_t>(k)];
            if (scene.Visible(q)) all = Inside(q.shape, box);
        }
        if (all) out.push_back(p.entity);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

}  // namespace

std::vector<int> WindowSelect(const Scene &scene, TAcadPoint c1, TAcadPoint c2) {
    return Select(scene, c1, c2, false);
}

std::vector<int> CrossingSelect(const Scene &scene, TAcadPoint c1, TAcadPoint c2) {
    return Select(scene, c1, c2, true);
}

std::optional<SnapHit> SnapPoint(const Scene &scene, TAcadPoint at, double aperture) {
    const Box box = Box::Around(at, aperture);
    std::vector<int> candidates;
    scene.Query(box, candidates);
    // Points in the box come first, nearest first; a centre reached only through its arc after
    // them, by the distance to the arc.
    std::optional<SnapHit> best;
    int bestTier = 0;
    double bestReach = 0.0;
    auto offer = [&](TAcadPoint p, SnapKind kind, int entity, int tier, double reach) {
        if (!std::isfinite(reach)) return;
        const bool better =
            !best || tier < bestTier ||
            (tier == bestTier &&
             (reach < bestReach || (reach == bestReach && kind == SnapKind::Endpoint &&
                                    best->kind == SnapKind::Center)));
        if (better) best = SnapHit{p, kind, entity}, bestTier = tier, bestReach = reach;
    };
    auto end = [&](TAcadPoint p, int entity) {
        if (box.Contains(p))
            offer(p, SnapKind::Endpoint, entity, 0, std::hypot(p.x - at.x, p.y - at.y));
    };
    for (int i : candidates) {
        const Primitive &prim = scene.Primitives()[static_cast<std::size_t>(i)];
        const int e = prim.entity;
        if (const auto *l = std::get_if<Line>(&prim.shape)) {
            end(l->a, e), end(l->b, e);
        } else if (const auto *pl = std::get_if<Polyline>(&prim.shape)) {
            if (pl->curve) {
                if (!pl->closed) end(pl->vertices.front().pt, e), end(pl->vertices.back().pt, e);
            } else {
                for (const auto &v : pl->vertices) end(v.pt, e);
            }
        } else if (const auto *a = std::get_if<Arc>(&prim.shape)) {
            const CcwArc c = Ccw(*a);
            if (!c.full) end(At(c, c.start), e), end(At(c, c.start + c.sweep), e);
            if (box.Contains(a->center))
                offer(a->center, SnapKind::Center, e, 0,
                      std::hypot(a->center.x - at.x, a->center.y - at.y));
            else if (ArcMeets(*a, box))
                offer(a->center, SnapKind::Center, e, 1, ArcDistance(*a, at));
        } else if (const auto *d = std::get_if<Dot>(&prim.shape)) {
            end(d->at, e);
        }
    }
    return best;
}

}  // namespace pimu::view
