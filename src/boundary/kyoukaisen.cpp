// Deemed boundary lines: the site's outer outline, then per distance the offset sides and corner
// arcs, split where they cross and kept where they lie exactly at the distance from the site.
#include "boundary/kyoukaisen.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "geometry/box_tree.h"
#include "geometry/primitives.h"
#include "geometry/shadow_outline.h"
#include "geometry/tolerances.h"
#include "shadow/shadow_regions.h"
#include "solar/sun.h"

namespace pimu::boundary {
namespace {

using geometry::Angle2D;
using geometry::kDegToRad;
using geometry::kHalfPi;
using geometry::kRadToDeg;
using geometry::kTwoPi;
using geometry::PolarPoint;

// Relative tolerances of the offset construction (times the distance, so 0.005 mm at 5 m).
// A corner whose sides turn by less than kStraightTurn radians runs straight on.
constexpr double kRelTol = 1e-6;
constexpr double kStraightTurn = 1e-9;
// Parameters within this of a piece's end do not split it.
constexpr double kParamEps = 1e-9;

// One offset side (a segment) or corner arc (counter-clockwise about `centre` from `a` to `b`,
// start angle `a0`, angle `sweep`).
struct Raw {
    bool arc = false;
    TAcadPoint a;
    TAcadPoint b;
    TAcadPoint centre;
    double a0 = 0.0;
    double sweep = 0.0;
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;  // bounding box
};

// A split point of a raw piece: its parameter (0..1 along a segment, the angle from a0 on an arc)
// and the point itself, shared by both pieces that cross there.
struct Split {
    double param;
    TAcadPoint pt;
};

struct Piece {
    std::size_t raw;
    double p0, p1;
    TAcadPoint st, ed;
};

double NormAngle(double a) {
    while (a < 0.0) a += kTwoPi;
    while (a >= kTwoPi) a -= kTwoPi;
    return a;
}

// The angle of p on arc r measured from its start, in [0, 2pi).
double ArcParam(const Raw &r, TAcadPoint p) {
    return NormAngle(std::atan2(p.y - r.centre.y, p.x - r.centre.x) - r.a0);
}

// Whether an arc parameter lies on the arc (within kParamEps); a value just below 2pi is taken as
// its start.
bool OnArc(const Raw &r, double &u) {
    if (u > kTwoPi - kParamEps) u = 0.0;
    return u <= r.sweep + kParamEps;
}

void SetBox(Raw &r, double d) {
    if (r.arc) {
        // Its ends and the points where it passes an axis direction from its centre.
        r.minX = std::min(r.a.x, r.b.x);
        r.maxX = std::max(r.a.x, r.b.x);
        r.minY = std::min(r.a.y, r.b.y);
        r.maxY = std::max(r.a.y, r.b.y);
        for (int k = 0; k < 4; ++k) {
            double u = NormAngle(k * kHalfPi - r.a0);
            if (!OnArc(r, u)) continue;
            r.minX = std::min(r.minX, r.centre.x + d * std::cos(k * kHalfPi));
            r.maxX = std::max(r.maxX, r.centre.x + d * std::cos(k * kHalfPi));
            r.minY = std::min(r.minY, r.centre.y + d * std::sin(k * kHalfPi));
            r.maxY = std::max(r.maxY, r.centre.y + d * std::sin(k * kHalfPi));
        }
    } else {
        r.minX = std::min(r.a.x, r.b.x);
        r.maxX = std::max(r.a.x, r.b.x);
        r.minY = std::min(r.a.y, r.b.y);
        r.maxY = std::max(r.a.y, r.b.y);
    }
}

bool BoxesMeet(const Raw &p, const Raw &q, double slack) {
    return p.minX <= q.maxX + slack && q.minX <= p.maxX + slack && p.minY <= q.maxY + slack &&
           q.minY <= p.maxY + slack;
}

void AddSplit(std::vector<Split> &splits, double param, double end, TAcadPoint pt) {
    if (param > kParamEps && param < end - kParamEps) splits.push_back({param, pt});
}

void CrossSegments(const Raw &p, const Raw &q, std::vector<Split> &sp, std::vector<Split> &sq) {
    // The formula of Intersect2D, so that a concave corner is cut exactly where it would be.
    const TAcadPoint p1 = p.a, p2 = p.b, p3 = q.a, p4 = q.b;
    const double den = (p4.x - p3.x) * (p2.y - p1.y) - (p2.x - p1.x) * (p4.y - p3.y);
    const double scale =
        std::hypot(p2.x - p1.x, p2.y - p1.y) * std::hypot(p4.x - p3.x, p4.y - p3.y);
    if (std::fabs(den) <= geometry::kParamTol * std::max(1.0, scale)) return;
    const double s = ((p4.x - p3.x) * (p3.y - p1.y) - (p4.y - p3.y) * (p3.x - p1.x)) / den;
    const double t = ((p2.x - p1.x) * (p3.y - p1.y) - (p2.y - p1.y) * (p3.x - p1.x)) / den;
    if (s < -kParamEps || s > 1.0 + kParamEps || t < -kParamEps || t > 1.0 + kParamEps) return;
    const TAcadPoint x{p1.x + s * (p2.x - p1.x), p1.y + s * (p2.y - p1.y), p1.z};
    AddSplit(sp, s, 1.0, x);
    AddSplit(sq, t, 1.0, x);
}

void CrossSegmentArc(const Raw &seg, const Raw &arc, double r, std::vector<Split> &ss,
                     std::vector<Split> &sa) {
    const double vx = seg.b.x - seg.a.x, vy = seg.b.y - seg.a.y;
    const double wx = seg.a.x - arc.centre.x, wy = seg.a.y - arc.centre.y;
    const double A = vx * vx + vy * vy;
    if (A <= 0.0) return;
    const double B = 2.0 * (vx * wx + vy * wy);
    const double C = wx * wx + wy * wy - r * r;
    double disc = B * B - 4.0 * A * C;
    if (disc < 0.0) {
        // A tangent a rounding away counts as touching.
        if (disc < -1e-12 * B * B) return;
        disc = 0.0;
    }
    const double root = std::sqrt(disc);
    const double ts[2] = {(-B - root) / (2.0 * A), (-B + root) / (2.0 * A)};
    for (int i = 0; i < (root > 0.0 ? 2 : 1); ++i) {
        const double t = ts[i];
        if (t < -kParamEps || t > 1.0 + kParamEps) continue;
        const TAcadPoint x{seg.a.x + t * vx, seg.a.y + t * vy, seg.a.z};
        double u = ArcParam(arc, x);
        if (!OnArc(arc, u)) continue;
        AddSplit(ss, t, 1.0, x);
        AddSplit(sa, u, arc.sweep, x);
    }
}

void CrossArcs(const Raw &p, const Raw &q, double r, std::vector<Split> &sp,
               std::vector<Split> &sq) {
    const double dx = q.centre.x - p.centre.x, dy = q.centre.y - p.centre.y;
    const double D = std::hypot(dx, dy);
    if (D <= 0.0 || D > 2.0 * r * (1.0 + 1e-12)) return;
    const double h = std::sqrt(std::max(0.0, r * r - D * D / 4.0));
    const double mx = p.centre.x + dx / 2.0, my = p.centre.y + dy / 2.0;
    const TAcadPoint xs[2] = {{mx - h * dy / D, my + h * dx / D, p.centre.z},
                              {mx + h * dy / D, my - h * dx / D, p.centre.z}};
    for (int i = 0; i < (h > 0.0 ? 2 : 1); ++i) {
        double u = ArcParam(p, xs[i]);
        double v = ArcParam(q, xs[i]);
        if (!OnArc(p, u) || !OnArc(q, v)) continue;
        AddSplit(sp, u, p.sweep, xs[i]);
        AddSplit(sq, v, q.sweep, xs[i]);
    }
}

double DistToSegment(TAcadPoint p, const TLineEnt &s) {
    const double vx = s.ed.x - s.st.x, vy = s.ed.y - s.st.y;
    const double len2 = vx * vx + vy * vy;
    double t = 0.0;
    if (len2 > 0.0) t = std::clamp(((p.x - s.st.x) * vx + (p.y - s.st.y) * vy) / len2, 0.0, 1.0);
    return std::hypot(p.x - (s.st.x + t * vx), p.y - (s.st.y + t * vy));
}

TAcadPoint ArcPoint(const Raw &r, double u, double d) {
    return TAcadPoint{r.centre.x + d * std::cos(r.a0 + u), r.centre.y + d * std::sin(r.a0 + u),
                      r.centre.z};
}

double PieceLength(const Raw &r, const Piece &p, double d) {
    if (r.arc) return (p.p1 - p.p0) * d;
    return (p.p1 - p.p0) * geometry::Dist2D(r.a, r.b);
}

TAcadPoint PieceMid(const Raw &r, const Piece &p, double d) {
    if (r.arc) return ArcPoint(r, (p.p0 + p.p1) / 2.0, d);
    return TAcadPoint{(p.st.x + p.ed.x) / 2.0, (p.st.y + p.ed.y) / 2.0, p.st.z};
}

// The bulge of an arc piece, from the directions of its ends as seen from the corner.
double Bulge(TAcadPoint centre, TAcadPoint st, TAcadPoint ed) {
    const double stdeg = Angle2D(centre, st) * kRadToDeg;
    const double eddeg = Angle2D(centre, ed) * kRadToDeg;
    double delta = eddeg - stdeg;
    if (delta < 0.0) delta += 360.0;
    return std::tan(delta / 4.0 * kDegToRad);
}

// Signed area of a chain of pieces, arcs included.
double ChainArea(const std::vector<Piece> &chain, const std::vector<Raw> &raws, double d) {
    double a = 0.0;
    for (const Piece &p : chain) {
        a += (p.st.x * p.ed.y - p.ed.x * p.st.y) / 2.0;
        if (raws[p.raw].arc) {
            const double theta = p.p1 - p.p0;
            a += d * d / 2.0 * (theta - std::sin(theta));
        }
    }
    return a;
}

}  // namespace

bool TraceSiteLiteral(std::vector<TLineEnt> &segments, Progress &progress) {
    geometry::PolygonWorkspace ws;
    ws.ProgressDetail = &progress;
    ws.AryLine = std::move(segments);
    const bool ok = ws.StandardSequence(geometry::MaxSpanRule::Measure);
    segments = std::move(ws.AryLine);
    return ok;
}

bool TraceSiteRegions(std::vector<TLineEnt> &segments, Progress &progress) {
    // On a plane at the height of the highest edge nothing casts a shadow: what is shaded is the
    // area the edges enclose. Any instant with the sun up will do.
    double top = 0.0;
    for (const TLineEnt &e : segments) top = std::max({top, e.st.z, e.ed.z});
    const solar::SolarState noon = solar::MakeSolarState(35.0, 0.0, 90.0, {});
    const shadow::ShadowRegions site = shadow::ShadowRegionsAt(segments, noon, 12.0, top, progress);
    if (site.status == shadow::RegionStatus::Stopped) return false;
    if (site.regions.empty() || site.regions.front().outer.size() < 3)
        return TraceSiteLiteral(segments, progress);
    const std::vector<TAcadPoint> &ring = site.regions.front().outer;
    segments.clear();
    for (std::size_t i = 0; i < ring.size(); ++i) {
        TLineEnt s;
        s.st = ring[i];
        s.ed = ring[(i + 1) % ring.size()];
        segments.push_back(s);
    }
    return true;
}

KyoukaisenLine OffsetOutline(const std::vector<TLineEnt> &outline, double d, Progress &progress) {
    KyoukaisenLine line;
    line.distance = d;
    const std::size_t n = outline.size();
    if (n < 3 || !(d > 0.0)) return line;
    const double tol = kRelTol * d;

    // The offset sides (each moved to its right, which is outside for a counter-clockwise
    // outline), and an arc about every convex corner from the end of one moved side to the start
    // of the next.
    std::vector<TLineEnt> moved(n);
    for (std::size_t k = 0; k < n; ++k) {
        double phi = Angle2D(outline[k].ed, outline[k].st) + kHalfPi;
        if (phi >= kTwoPi) phi -= kTwoPi;  // keeps axis-parallel sides exact
        moved[k].st = PolarPoint(outline[k].st, phi, d);
        moved[k].ed = PolarPoint(outline[k].ed, phi, d);
    }
    std::vector<Raw> raws;
    for (std::size_t k = 0; k < n; ++k) {
        Raw seg;
        seg.a = moved[k].st;
        seg.b = moved[k].ed;
        SetBox(seg, d);
        raws.push_back(seg);
        const std::size_t next = (k + 1) % n;
        const TLineEnt &s0 = outline[k];
        const TLineEnt &s1 = outline[next];
        const double ux = s0.ed.x - s0.st.x, uy = s0.ed.y - s0.st.y;
        const double vx = s1.ed.x - s1.st.x, vy = s1.ed.y - s1.st.y;
        const double turn = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
        if (turn > kStraightTurn) {
            Raw arc;
            arc.arc = true;
            arc.centre = s0.ed;
            arc.a = moved[k].ed;
            arc.b = moved[next].st;
            arc.a0 = std::atan2(arc.a.y - arc.centre.y, arc.a.x - arc.centre.x);
            arc.sweep = turn;
            SetBox(arc, d);
            raws.push_back(arc);
        }
    }

    // Split every piece where another one crosses it: the pairs whose boxes meet, in the order
    // of the pieces.
    std::vector<geometry::BoxTree::Box> rawBoxes;
    rawBoxes.reserve(raws.size());
    for (const Raw &r : raws) rawBoxes.push_back({r.minX, r.minY, r.maxX, r.maxY});
    const geometry::BoxTree rawTree(std::move(rawBoxes));
    std::vector<std::vector<Split>> splits(raws.size());
    std::vector<std::size_t> partners;
    for (std::size_t i = 0; i < raws.size(); ++i) {
        if (i % 4096 == 0 && !progress.KeepRunning()) return line;
        const Raw &p = raws[i];
        partners.clear();
        rawTree.Query(
            [&](const geometry::BoxTree::Box &b) {
                return !(p.minX <= b.maxX + tol && b.minX <= p.maxX + tol &&
                         p.minY <= b.maxY + tol && b.minY <= p.maxY + tol);
            },
            [&](std::size_t j) {
                if (j > i) partners.push_back(j);
                return true;
            });
        std::sort(partners.begin(), partners.end());
        for (const std::size_t j : partners) {
            const Raw &q = raws[j];
            if (!BoxesMeet(p, q, tol)) continue;
            if (!p.arc && !q.arc) {
                CrossSegments(p, q, splits[i], splits[j]);
            } else if (!p.arc) {
                CrossSegmentArc(p, q, d, splits[i], splits[j]);
            } else if (!q.arc) {
                CrossSegmentArc(q, p, d, splits[j], splits[i]);
            } else {
                CrossArcs(p, q, d, splits[i], splits[j]);
            }
        }
    }

    // The pieces that lie at the distance from the site (nothing of the site nearer), in order.
    std::vector<geometry::BoxTree::Box> sideBoxes;
    sideBoxes.reserve(n);
    for (const TLineEnt &e : outline)
        sideBoxes.push_back({std::min(e.st.x, e.ed.x), std::min(e.st.y, e.ed.y),
                             std::max(e.st.x, e.ed.x), std::max(e.st.y, e.ed.y)});
    const geometry::BoxTree sideTree(std::move(sideBoxes));
    std::vector<Piece> kept;
    for (std::size_t i = 0; i < raws.size(); ++i) {
        if (i % 4096 == 0 && !progress.KeepRunning()) return line;
        const Raw &r = raws[i];
        const double end = r.arc ? r.sweep : 1.0;
        std::vector<Split> &sp = splits[i];
        std::sort(sp.begin(), sp.end(),
                  [](const Split &x, const Split &y) { return x.param < y.param; });
        sp.insert(sp.begin(), Split{0.0, r.a});
        sp.push_back(Split{end, r.b});
        for (std::size_t m = 0; m + 1 < sp.size(); ++m) {
            const Piece piece{i, sp[m].param, sp[m + 1].param, sp[m].pt, sp[m + 1].pt};
            if (PieceLength(r, piece, d) < tol) continue;
            const TAcadPoint mid = PieceMid(r, piece, d);
            // Kept unless a side of the site lies nearer than d - tol (only sides whose boxes
            // lie that near can).
            bool nearer = false;
            sideTree.Query(
                [&](const geometry::BoxTree::Box &b) { return BoxDistance(b, mid) >= d - tol; },
                [&](std::size_t k) {
                    nearer = DistToSegment(mid, outline[k]) < d - tol;
                    return !nearer;
                });
            if (!nearer) kept.push_back(piece);
        }
    }

    // Chain the pieces into closed loops (each piece's end is the next one's start); the line
    // around the site is the loop of the largest area, the others go round holes.
    std::vector<bool> used(kept.size(), false);
    // The pieces by the x of their start, to find the one starting where a chain ends.
    std::vector<std::size_t> byX(kept.size());
    for (std::size_t m = 0; m < kept.size(); ++m) byX[m] = m;
    std::sort(byX.begin(), byX.end(), [&](std::size_t a, std::size_t b) {
        return kept[a].st.x < kept[b].st.x || (kept[a].st.x == kept[b].st.x && a < b);
    });
    std::vector<Piece> best;
    double bestArea = 0.0;
    for (std::size_t first = 0; first < kept.size(); ++first) {
        if (used[first]) continue;
        used[first] = true;
        std::vector<Piece> chain{kept[first]};
        bool closed = false;
        for (;;) {
            const TAcadPoint end = chain.back().ed;
            if (chain.size() > 1 && geometry::Near2D(end, chain.front().st, tol)) {
                closed = true;
                break;
            }
            // The first unused piece (in order) starting near the end.
            std::size_t next = kept.size();
            auto it = std::lower_bound(byX.begin(), byX.end(), end.x - tol,
                                       [&](std::size_t m, double x) { return kept[m].st.x < x; });
            for (; it != byX.end() && kept[*it].st.x <= end.x + tol; ++it)
                if (*it < next && !used[*it] && geometry::Near2D(kept[*it].st, end, tol))
                    next = *it;
            if (next == kept.size()) break;
            used[next] = true;
            chain.push_back(kept[next]);
        }
        if (!closed) continue;
        const double area = ChainArea(chain, raws, d);
        if (area > bestArea) {
            bestArea = area;
            best = std::move(chain);
        }
    }
    if (best.empty()) return line;

    // Begin where the first offset side begins when it is part of the line; join pieces of one
    // offset side or arc that follow each other.
    const auto start = std::find_if(best.begin(), best.end(),
                                    [](const Piece &p) { return p.raw == 0 && p.p0 == 0.0; });
    if (start != best.end()) std::rotate(best.begin(), start, best.end());
    std::vector<Piece> joined;
    for (const Piece &p : best) {
        if (!joined.empty() && joined.back().raw == p.raw && joined.back().p1 == p.p0) {
            joined.back().p1 = p.p1;
            joined.back().ed = p.ed;
        } else {
            joined.push_back(p);
        }
    }
    if (joined.size() > 1 && joined.back().raw == joined.front().raw &&
        joined.back().p1 == joined.front().p0) {
        joined.front().p0 = joined.back().p0;
        joined.front().st = joined.back().st;
        joined.pop_back();
    }
    for (const Piece &p : joined) {
        KyoukaisenVertex v{p.st, std::nullopt};
        if (raws[p.raw].arc) v.bulge = Bulge(raws[p.raw].centre, p.st, p.ed);
        line.vertices.push_back(v);
    }
    return line;
}

KyoukaisenResult MakeKyoukaisen(std::vector<TLineEnt> siteEdges, Progress &progress,
                                const SiteTracer &tracer) {
    KyoukaisenResult result;
    if (siteEdges.size() <= 2) return result;
    const bool ok = tracer(siteEdges, progress);
    if (!progress.KeepRunning()) {
        result.status = KyoukaisenStatus::Stopped;
        return result;
    }
    if (!ok || siteEdges.size() < 3) {
        result.status = KyoukaisenStatus::TraceFailed;
        return result;
    }
    result.outline = std::move(siteEdges);
    for (const double d : kKyoukaisenDistances) {
        KyoukaisenLine line = OffsetOutline(result.outline, d, progress);
        if (!progress.KeepRunning()) {
            result.lines.clear();
            result.status = KyoukaisenStatus::Stopped;
            return result;
        }
        if (line.vertices.size() < 2) {
            result.lines.clear();
            result.status = KyoukaisenStatus::TraceFailed;
            return result;
        }
        result.lines.push_back(std::move(line));
    }
    result.status = KyoukaisenStatus::Done;
    return result;
}

double EnclosedArea(const KyoukaisenLine &line) {
    const std::size_t n = line.vertices.size();
    double a = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const KyoukaisenVertex &v = line.vertices[i];
        const TAcadPoint p = v.pt;
        const TAcadPoint q = line.vertices[(i + 1) % n].pt;
        a += (p.x * q.y - q.x * p.y) / 2.0;
        if (v.bulge && *v.bulge != 0.0) {
            // The circular segment between the chord and the arc.
            const double theta = 4.0 * std::atan(*v.bulge);
            const double c = geometry::Dist2D(p, q);
            const double r = c / 2.0 / std::sin(theta / 2.0);
            a += r * r / 2.0 * (theta - std::sin(theta));
        }
    }
    return a;
}

}  // namespace pimu::boundary
