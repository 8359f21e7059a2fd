#include "shadow/shadow_regions.h"

#include <polyclipping/clipper.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "geometry/primitives.h"

namespace pimu::shadow {

using geometry::TAcadPoint;
using geometry::TLineEnt;
namespace cl = ClipperLib;

namespace {

// Integer coordinates stay within this bound so that the clipper keeps to its fast 64-bit range
// (it switches to 128-bit arithmetic above 2^30) and every product of two coordinates fits.
constexpr double kMaxGridCoordinate = 536870912.0;  // 2^29
// Work between two questions to the progress: a batch of edges, a batch of paths to unite.
constexpr std::size_t kEdgeBatch = 16384;
constexpr std::size_t kUnionBatch = 4096;
constexpr std::size_t kMergeFanIn = 4;
// A closed walk along already used feet is given up after this many steps.
constexpr std::size_t kMaxDetour = 4096;

bool Finite(TAcadPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// Drawing coordinates to the integer grid and back. The grid is centred on the input's extent
// and its unit is a power of two, chosen so that the extent fills the fast range: far coordinates
// (1e8 mm) and metre drawings get the same relative precision.
class Grid {
public:
    void Extend(TAcadPoint p) {
        xmin_ = std::min(xmin_, p.x);
        xmax_ = std::max(xmax_, p.x);
        ymin_ = std::min(ymin_, p.y);
        ymax_ = std::max(ymax_, p.y);
    }
    void Fix() {
        if (!(xmin_ <= xmax_)) {
            xmin_ = xmax_ = ymin_ = ymax_ = 0.0;
        }
        cx_ = (xmin_ + xmax_) / 2.0;
        cy_ = (ymin_ + ymax_) / 2.0;
        const double half = std::max({xmax_ - cx_, cx_ - xmin_, ymax_ - cy_, cy_ - ymin_});
        int exponent = 0;
        if (half > 0.0 && std::isfinite(half)) {
            std::frexp(kMaxGridCoordinate / half, &exponent);
            exponent -= 1;  // 2^exponent <= kMaxGridCoordinate / half
        }
        scale_ = std::ldexp(1.0, exponent);
    }
    cl::IntPoint ToGrid(TAcadPoint p) const {
        return cl::IntPoint(static_cast<cl::cInt>(std::llround((p.x - cx_) * scale_)),
                            static_cast<cl::cInt>(std::llround((p.y - cy_) * scale_)));
    }
    TAcadPoint FromGrid(const cl::IntPoint &q) const {
        return TAcadPoint{cx_ + static_cast<double>(q.X) / scale_,
                          cy_ + static_cast<double>(q.Y) / scale_, 0.0};
    }
    double Resolution() const { return 1.0 / scale_; }

private:
    double xmin_ = std::numeric_limits<double>::infinity();
    double xmax_ = -std::numeric_limits<double>::infinity();
    double ymin_ = std::numeric_limits<double>::infinity();
    double ymax_ = -std::numeric_limits<double>::infinity();
    double cx_ = 0.0, cy_ = 0.0, scale_ = 1.0;
};

// Twice the signed area, exact: coordinates below 2^29 keep every sum of products below 2^63 for
// the short rings this is used on; long rings are summed in long double.
long double TwiceArea(const cl::Path &path) {
    long double a = 0.0L;
    const std::size_t n = path.size();
    for (std::size_t i = 0; i < n; ++i) {
        const cl::IntPoint &p = path[i];
        const cl::IntPoint &q = path[(i + 1) % n];
        a += static_cast<long double>(p.X) * static_cast<long double>(q.Y) -
             static_cast<long double>(q.X) * static_cast<long double>(p.Y);
    }
    return a;
}

// Consecutive repeated vertices and vertices on the line through their neighbours (including
// spikes) removed; the first vertex is not treated specially.
void DropCollinear(cl::Path &path) {
    bool changed = true;
    while (changed && path.size() >= 3) {
        changed = false;
        cl::Path out;
        out.reserve(path.size());
        const std::size_t n = path.size();
        for (std::size_t i = 0; i < n; ++i) {
            const cl::IntPoint &a = out.empty() ? path[(i + n - 1) % n] : out.back();
            const cl::IntPoint &b = path[i];
            const cl::IntPoint &c = path[(i + 1) % n];
            const long double cross =
                static_cast<long double>(b.X - a.X) * static_cast<long double>(c.Y - b.Y) -
                static_cast<long double>(b.Y - a.Y) * static_cast<long double>(c.X - b.X);
            if ((b.X == a.X && b.Y == a.Y) || cross == 0.0L) {
                changed = true;
                continue;
            }
            out.push_back(b);
        }
        path.swap(out);
    }
    if (path.size() < 3) path.clear();
}

// The ring turned to start at its lowest vertex of the left-most column, in the orientation asked
// for.
void Normalise(cl::Path &path, bool counterClockwise) {
    DropCollinear(path);
    if (path.empty()) return;
    if ((TwiceArea(path) > 0.0L) != counterClockwise) std::reverse(path.begin(), path.end());
    const auto start = std::min_element(path.begin(), path.end(),
                                        [](const cl::IntPoint &a, const cl::IntPoint &b) {
                                            return a.X != b.X ? a.X < b.X : a.Y < b.Y;
                                        });
    std::rotate(path.begin(), start, path.end());
}

// The union of paths under the non-zero rule, in batches so that the progress is asked between
// two calls of the clipper. Each partial result has winding 0 or 1 everywhere (outer rings
// positive, holes negative), so the partial results unite under the same rule.
// `whole` is one more partial result (winding 0 or 1), united with the rest as it is.
bool UnitePaths(cl::Paths paths, const cl::Paths &whole, cl::PolyTree &tree, Progress &progress) {
    // The clipper's sweep visits every edge crossing the current scan line, so a batch spread
    // over the whole site costs far more than a narrow one: batches are strips of paths ordered by
    // their west end, and neighbouring strips are merged first.
    std::vector<std::pair<cl::cInt, std::size_t>> order(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        cl::cInt x = paths[i].empty() ? 0 : paths[i].front().X;
        for (const cl::IntPoint &p : paths[i]) x = std::min(x, p.X);
        order[i] = {x, i};
    }
    std::sort(order.begin(), order.end());
    {
        cl::Paths sorted(paths.size());
        for (std::size_t i = 0; i < order.size(); ++i) sorted[i].swap(paths[order[i].second]);
        paths.swap(sorted);
    }
    std::vector<cl::Paths> parts;
    for (std::size_t i = 0; i < paths.size() || parts.empty(); i += kUnionBatch) {
        if (!progress.KeepRunning()) return false;
        const std::size_t end = std::min(paths.size(), i + kUnionBatch);
        cl::Clipper c;
        for (std::size_t k = i; k < end; ++k) c.AddPath(paths[k], cl::ptSubject, true);
        if (parts.empty() && end == paths.size()) {
            // Everything fits in one batch.
            c.AddPaths(whole, cl::ptSubject, true);
            c.Execute(cl::ctUnion, tree, cl::pftNonZero, cl::pftNonZero);
            return progress.KeepRunning();
        }
        parts.emplace_back();
        c.Execute(cl::ctUnion, parts.back(), cl::pftNonZero, cl::pftNonZero);
        if (end == paths.size()) break;
    }
    paths.clear();
    parts.push_back(whole);
    while (true) {
        if (!progress.KeepRunning()) return false;
        if (parts.size() <= kMergeFanIn) {
            cl::Clipper c;
            for (const cl::Paths &p : parts) c.AddPaths(p, cl::ptSubject, true);
            c.Execute(cl::ctUnion, tree, cl::pftNonZero, cl::pftNonZero);
            return progress.KeepRunning();
        }
        std::vector<cl::Paths> next;
        for (std::size_t i = 0; i < parts.size(); i += kMergeFanIn) {
            if (!progress.KeepRunning()) return false;
            cl::Clipper c;
            for (std::size_t k = i; k < std::min(parts.size(), i + kMergeFanIn); ++k)
                c.AddPaths(parts[k], cl::ptSubject, true);
            next.emplace_back();
            c.Execute(cl::ctUnion, next.back(), cl::pftNonZero, cl::pftNonZero);
        }
        parts.swap(next);
    }
}

void CollectRegions(const cl::PolyNode &node, const Grid &grid, std::vector<ShadowRegion> &out) {
    for (const cl::PolyNode *outer : node.Childs) {
        cl::Path ring = outer->Contour;
        Normalise(ring, true);
        if (ring.empty()) continue;
        ShadowRegion region;
        for (const cl::IntPoint &q : ring) region.outer.push_back(grid.FromGrid(q));
        std::vector<cl::Path> holes;
        for (const cl::PolyNode *hole : outer->Childs) {
            cl::Path h = hole->Contour;
            Normalise(h, false);
            if (!h.empty()) holes.push_back(std::move(h));
            CollectRegions(*hole, grid, out);  // islands inside the hole
        }
        std::sort(holes.begin(), holes.end(), [](const cl::Path &a, const cl::Path &b) {
            return a.front().X != b.front().X ? a.front().X < b.front().X
                                              : a.front().Y < b.front().Y;
        });
        for (const cl::Path &h : holes) {
            std::vector<TAcadPoint> pts;
            for (const cl::IntPoint &q : h) pts.push_back(grid.FromGrid(q));
            region.holes.push_back(std::move(pts));
        }
        out.push_back(std::move(region));
    }
}

ShadowRegions Finish(cl::Paths paths, const Grid &grid, Progress &progress,
                     const cl::Paths &whole = {}) {
    ShadowRegions result;
    result.resolution = grid.Resolution();
    cl::PolyTree tree;
    if (!UnitePaths(std::move(paths), whole, tree, progress)) {
        result.status = RegionStatus::Stopped;
        return result;
    }
    CollectRegions(tree, grid, result.regions);
    std::sort(result.regions.begin(), result.regions.end(),
              [](const ShadowRegion &a, const ShadowRegion &b) {
                  return a.outer.front().x != b.outer.front().x
                             ? a.outer.front().x < b.outer.front().x
                             : a.outer.front().y < b.outer.front().y;
              });
    return result;
}

// The footprints: closed walks along the distinct feet of the edges. Feet that dangle (an end
// meeting no other foot) are pruned first; each walk then follows the drawing order where it can
// (the next edge continues a polyline or a circle) and takes an unused foot at a fork. A walk that
// finds no unused foot may go on along used ones for a while, so that two outlines sharing a side
// both close. Each closed walk is returned counter-clockwise.
struct FootIn {
    cl::IntPoint a, b;
    double z;  // the height of the edge's top above the ground
};

struct Walk {
    cl::Path path;  // counter-clockwise
    double z;       // the highest of its edges
};

cl::Paths NestedFootprints(std::vector<Walk> walks, Progress &progress, bool &stopped);

cl::Paths FootprintWalks(const std::vector<FootIn> &feet, Progress &progress, bool &stopped) {
    std::vector<Walk> walks;
    const auto less = [](const cl::IntPoint &a, const cl::IntPoint &b) {
        return a.X != b.X ? a.X < b.X : a.Y < b.Y;
    };
    // Node ids.
    std::vector<cl::IntPoint> nodes;
    nodes.reserve(feet.size() * 2);
    for (const auto &f : feet) {
        nodes.push_back(f.a);
        nodes.push_back(f.b);
    }
    std::sort(nodes.begin(), nodes.end(), less);
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    const auto id = [&](const cl::IntPoint &p) {
        return static_cast<std::uint32_t>(std::lower_bound(nodes.begin(), nodes.end(), p, less) -
                                          nodes.begin());
    };
    // Distinct undirected feet, the first occurrence kept, in drawing order.
    struct Foot {
        std::uint32_t a, b;
        std::size_t order;
        double z;
    };
    std::vector<Foot> all;
    all.reserve(feet.size());
    for (std::size_t i = 0; i < feet.size(); ++i) {
        if (i % kEdgeBatch == 0 && !progress.KeepRunning()) {
            stopped = true;
            return {};
        }
        std::uint32_t a = id(feet[i].a), b = id(feet[i].b);
        if (a == b) continue;
        all.push_back(Foot{a, b, i, feet[i].z});
    }
    std::sort(all.begin(), all.end(), [](const Foot &x, const Foot &y) {
        const auto kx = std::minmax(x.a, x.b), ky = std::minmax(y.a, y.b);
        return kx != ky ? kx < ky : x.order < y.order;
    });
    // A foot stands for the highest of the edges above it (a wall's bottom and top share it).
    for (std::size_t i = all.size(); i-- > 1;) {
        if (std::minmax(all[i].a, all[i].b) == std::minmax(all[i - 1].a, all[i - 1].b))
            all[i - 1].z = std::max(all[i - 1].z, all[i].z);
    }
    all.erase(std::unique(all.begin(), all.end(),
                          [](const Foot &x, const Foot &y) {
                              return std::minmax(x.a, x.b) == std::minmax(y.a, y.b);
                          }),
              all.end());
    std::sort(all.begin(), all.end(),
              [](const Foot &x, const Foot &y) { return x.order < y.order; });

    // Adjacency (compressed rows) and pruning of dangling feet.
    const std::size_t n = nodes.size(), m = all.size();
    std::vector<std::uint32_t> start(n + 1, 0), degree(n, 0);
    for (const Foot &f : all) {
        ++start[f.a + 1];
        ++start[f.b + 1];
    }
    for (std::size_t i = 0; i < n; ++i) start[i + 1] += start[i];
    std::vector<std::uint32_t> adj(start[n]);
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::uint32_t e = 0; e < m; ++e) {
            adj[fill[all[e].a]++] = e;
            adj[fill[all[e].b]++] = e;
        }
    }
    std::vector<char> alive(m, 1), used(m, 0);
    for (std::size_t i = 0; i < n; ++i) degree[i] = start[i + 1] - start[i];
    std::vector<std::uint32_t> queue;
    for (std::uint32_t v = 0; v < n; ++v)
        if (degree[v] == 1) queue.push_back(v);
    while (!queue.empty()) {
        const std::uint32_t v = queue.back();
        queue.pop_back();
        if (degree[v] != 1) continue;
        for (std::uint32_t k = start[v]; k < start[v + 1]; ++k) {
            const std::uint32_t e = adj[k];
            if (!alive[e]) continue;
            alive[e] = 0;
            const std::uint32_t other = all[e].a == v ? all[e].b : all[e].a;
            --degree[v];
            if (--degree[other] == 1) queue.push_back(other);
        }
    }

    for (std::uint32_t e0 = 0; e0 < m; ++e0) {
        if (!alive[e0] || used[e0]) continue;
        if (e0 % 1024 == 0 && !progress.KeepRunning()) {
            stopped = true;
            return {};
        }
        used[e0] = 1;
        const std::uint32_t first = all[e0].a;
        std::uint32_t cur = all[e0].b, prev = e0;
        std::vector<std::uint32_t> walk{first, cur};
        double z = all[e0].z;
        std::size_t detour = 0;
        bool closed = false;
        while (detour <= kMaxDetour) {
            if (cur == first) {
                closed = true;
                break;
            }
            // The next foot: the one drawn next if it continues here, else the first unused one,
            // else a used one other than the way back.
            std::int64_t pick = -1, fallback = -1;
            for (std::uint32_t k = start[cur]; k < start[cur + 1]; ++k) {
                const std::uint32_t e = adj[k];
                if (!alive[e] || e == prev) continue;
                if (!used[e]) {
                    if (pick < 0 || e == prev + 1) pick = e;
                } else if (fallback < 0) {
                    fallback = e;
                }
            }
            if (pick < 0) {
                if (fallback < 0) break;
                pick = fallback;
                ++detour;
            }
            const auto e = static_cast<std::uint32_t>(pick);
            used[e] = 1;
            z = std::max(z, all[e].z);
            cur = all[e].a == cur ? all[e].b : all[e].a;
            prev = e;
            walk.push_back(cur);
        }
        if (!closed || walk.size() < 4) continue;
        walk.pop_back();
        cl::Path path;
        path.reserve(walk.size());
        for (std::uint32_t v : walk) path.push_back(nodes[v]);
        if (TwiceArea(path) < 0.0L) std::reverse(path.begin(), path.end());
        walks.push_back(Walk{std::move(path), z});
    }
    return NestedFootprints(std::move(walks), progress, stopped);
}

// The footprints with courtyards: a closed chain lying inside an odd number of chains of the same
// height is a courtyard (the inner outline of a building drawn as an outer and an inner polyline);
// inside another one again it is a volume. Chains of other heights do not count: a tower drawn on
// a podium stands on it, and its area lies inside the podium anyway. Courtyards are returned
// clockwise, so that under the non-zero rule they cancel the chain around them and nothing else.
cl::Paths NestedFootprints(std::vector<Walk> walks, Progress &progress, bool &stopped) {
    struct Box {
        cl::cInt x0, y0, x1, y1;
    };
    std::vector<Box> boxes;
    boxes.reserve(walks.size());
    for (const Walk &w : walks) {
        Box b{w.path[0].X, w.path[0].Y, w.path[0].X, w.path[0].Y};
        for (const cl::IntPoint &p : w.path) {
            b.x0 = std::min(b.x0, p.X);
            b.y0 = std::min(b.y0, p.Y);
            b.x1 = std::max(b.x1, p.X);
            b.y1 = std::max(b.y1, p.Y);
        }
        boxes.push_back(b);
    }
    // The candidates that may hold walk i: those whose box holds its box, found through the walks
    // sorted by the west side of their box (a box holding i's starts no later than i's).
    std::vector<std::size_t> byWest(walks.size());
    for (std::size_t i = 0; i < byWest.size(); ++i) byWest[i] = i;
    std::sort(byWest.begin(), byWest.end(),
              [&](std::size_t a, std::size_t b) { return boxes[a].x0 < boxes[b].x0; });
    // The widest box so far along byWest: the scan back stops where no earlier box reaches i.
    std::vector<cl::cInt> reach(byWest.size());
    for (std::size_t k = 0; k < byWest.size(); ++k)
        reach[k] = std::max(k ? reach[k - 1] : boxes[byWest[k]].x1, boxes[byWest[k]].x1);
    std::vector<char> odd(walks.size(), 0);
    for (std::size_t k = 0; k < byWest.size(); ++k) {
        if (k % 1024 == 0 && !progress.KeepRunning()) {
            stopped = true;
            return {};
        }
        const std::size_t i = byWest[k];
        const Box &bi = boxes[i];
        int depth = 0;
        const auto end = static_cast<std::size_t>(
            std::upper_bound(byWest.begin(), byWest.end(), bi.x0,
                             [&](cl::cInt x, std::size_t b) { return x < boxes[b].x0; }) -
            byWest.begin());
        for (std::size_t m = end; m-- > 0;) {
            if (reach[m] < bi.x1) break;
            const std::size_t j = byWest[m];
            const Box &bj = boxes[j];
            if (j == i || walks[j].z != walks[i].z || bj.x0 > bi.x0 || bj.x1 < bi.x1 ||
                bj.y0 > bi.y0 || bj.y1 < bi.y1)
                continue;
            // Inside when a vertex of i off j's outline is inside j (two chains of a site do not
            // cross; where they share a side the other vertices decide).
            for (const cl::IntPoint &p : walks[i].path) {
                const int place = cl::PointInPolygon(p, walks[j].path);
                if (place == 0) break;
                if (place == 1) {
                    ++depth;
                    break;
                }
            }
        }
        odd[i] = depth % 2 == 1;
    }
    for (std::size_t i = 0; i < walks.size(); ++i)
        if (odd[i]) std::reverse(walks[i].path.begin(), walks[i].path.end());
    cl::Paths out;
    out.reserve(walks.size());
    for (Walk &w : walks) out.push_back(std::move(w.path));
    return out;
}

}  // namespace

EdgeQuad ShadowQuad(const TLineEnt &e, double h, double shadowAngle, double ratio) {
    EdgeQuad q;
    q.footSt = TAcadPoint{e.st.x, e.st.y, 0.0};
    q.footEd = TAcadPoint{e.ed.x, e.ed.y, 0.0};
    q.shadowEd = solar::ShadowPoint(e.ed, h, shadowAngle, ratio, 0.0);
    q.shadowSt = solar::ShadowPoint(e.st, h, shadowAngle, ratio, 0.0);
    return q;
}

ShadowRegions ShadowRegionsAt(std::span<const TLineEnt> edges, const solar::SolarState &sun,
                              double t, double h, Progress &progress) {
    ShadowRegions result;
    const solar::SunResult pos = solar::SunPosition(sun, t);
    if (!pos.Ok || !(pos.Ratio >= 0.0) || !std::isfinite(pos.Ratio)) {
        result.status = RegionStatus::NoSun;
        return result;
    }
    const double theta = solar::ShadowAngle(sun, pos.Azimuth);

    std::vector<EdgeQuad> quads;
    std::vector<double> tops;  // the top of each quadrilateral's edge
    quads.reserve(edges.size());
    tops.reserve(edges.size());
    Grid grid;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (i % kEdgeBatch == 0 && !progress.KeepRunning()) {
            result.status = RegionStatus::Stopped;
            return result;
        }
        const EdgeQuad q = ShadowQuad(edges[i], h, theta, pos.Ratio);
        if (!Finite(q.footSt) || !Finite(q.footEd) || !Finite(q.shadowSt) || !Finite(q.shadowEd))
            continue;
        grid.Extend(q.footSt);
        grid.Extend(q.footEd);
        grid.Extend(q.shadowSt);
        grid.Extend(q.shadowEd);
        quads.push_back(q);
        tops.push_back(std::max(edges[i].st.z, edges[i].ed.z));
    }
    grid.Fix();

    cl::Paths paths;
    paths.reserve(quads.size());
    std::vector<FootIn> feet;
    feet.reserve(quads.size());
    for (std::size_t i = 0; i < quads.size(); ++i) {
        if (i % kEdgeBatch == 0 && !progress.KeepRunning()) {
            result.status = RegionStatus::Stopped;
            return result;
        }
        const EdgeQuad &q = quads[i];
        cl::Path path{grid.ToGrid(q.footSt), grid.ToGrid(q.footEd), grid.ToGrid(q.shadowEd),
                      grid.ToGrid(q.shadowSt)};
        feet.push_back(FootIn{path[0], path[1], tops[i]});
        const long double a = TwiceArea(path);
        if (a == 0.0L) continue;  // a vertical edge, or an edge at or below the plane
        if (a < 0.0L) std::reverse(path.begin(), path.end());
        paths.push_back(std::move(path));
    }
    quads.clear();
    quads.shrink_to_fit();

    bool stopped = false;
    cl::Paths walks = FootprintWalks(feet, progress, stopped);
    if (stopped) {
        result.status = RegionStatus::Stopped;
        return result;
    }
    feet.clear();
    feet.shrink_to_fit();
    // The footprints with their courtyards in one union: a courtyard (clockwise) cancels the
    // outline around it only when both are united together.
    cl::Paths footprints;
    {
        cl::Clipper c;
        c.AddPaths(walks, cl::ptSubject, true);
        c.Execute(cl::ctUnion, footprints, cl::pftPositive, cl::pftPositive);
    }
    if (!progress.KeepRunning()) {
        result.status = RegionStatus::Stopped;
        return result;
    }
    return Finish(std::move(paths), grid, progress, footprints);
}

ShadowRegions UnionRings(const std::vector<std::vector<TAcadPoint>> &rings, Progress &progress) {
    Grid grid;
    for (const auto &ring : rings) {
        bool finite = true;
        for (const TAcadPoint &p : ring) finite = finite && Finite(p);
        if (!finite) continue;
        for (const TAcadPoint &p : ring) grid.Extend(p);
    }
    grid.Fix();
    cl::Paths paths;
    for (std::size_t i = 0; i < rings.size(); ++i) {
        if (i % kEdgeBatch == 0 && !progress.KeepRunning()) {
            ShadowRegions stopped;
            stopped.status = RegionStatus::Stopped;
            return stopped;
        }
        bool finite = true;
        for (const TAcadPoint &p : rings[i]) finite = finite && Finite(p);
        if (!finite) continue;
        cl::Path path;
        for (const TAcadPoint &p : rings[i]) path.push_back(grid.ToGrid(p));
        // Each ring counts for the area it winds around, whichever way it was drawn.
        if (TwiceArea(path) < 0.0L) std::reverse(path.begin(), path.end());
        if (path.size() >= 3) paths.push_back(std::move(path));
    }
    return Finish(std::move(paths), grid, progress);
}

namespace {

double SegmentDistance(TAcadPoint p, TAcadPoint a, TAcadPoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double s = len2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
    s = std::clamp(s, 0.0, 1.0);
    return std::hypot(p.x - (a.x + s * dx), p.y - (a.y + s * dy));
}

bool OnRing(const std::vector<TAcadPoint> &ring, TAcadPoint p, double tol) {
    for (std::size_t i = 0; i < ring.size(); ++i)
        if (SegmentDistance(p, ring[i], ring[(i + 1) % ring.size()]) <= tol) return true;
    return false;
}

// Crossing number of a ray towards +x; half-open rule on y, so a vertex is counted once.
bool InRing(const std::vector<TAcadPoint> &ring, TAcadPoint p) {
    bool in = false;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const TAcadPoint a = ring[i], b = ring[j];
        if ((a.y > p.y) != (b.y > p.y)) {
            const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
            if (p.x < x) in = !in;
        }
    }
    return in;
}

}  // namespace

PointPlace LocatePoint(const ShadowRegions &shadow, TAcadPoint p, double tol) {
    bool inside = false;
    for (const ShadowRegion &r : shadow.regions) {
        if (r.outer.empty()) continue;
        if (OnRing(r.outer, p, tol)) return PointPlace::On;
        for (const auto &hole : r.holes)
            if (OnRing(hole, p, tol)) return PointPlace::On;
        if (inside || !InRing(r.outer, p)) continue;
        bool inHole = false;
        for (const auto &hole : r.holes) inHole = inHole || InRing(hole, p);
        inside = !inHole;  // a region in a hole of another one is looked at on its own
    }
    return inside ? PointPlace::Inside : PointPlace::Outside;
}

double RingArea(const std::vector<TAcadPoint> &ring) {
    // Relative to the first vertex: far coordinates would cancel away the area otherwise.
    if (ring.size() < 3) return 0.0;
    const TAcadPoint o = ring.front();
    double a = 0.0;
    for (std::size_t i = 1; i + 1 < ring.size(); ++i) {
        const double px = ring[i].x - o.x, py = ring[i].y - o.y;
        const double qx = ring[i + 1].x - o.x, qy = ring[i + 1].y - o.y;
        a += px * qy - qx * py;
    }
    return a / 2.0;
}

double ShadedArea(const ShadowRegions &shadow) {
    double a = 0.0;
    for (const ShadowRegion &r : shadow.regions) {
        a += RingArea(r.outer);
        for (const auto &hole : r.holes) a += RingArea(hole);  // negative: clockwise
    }
    return a;
}

}  // namespace pimu::shadow
