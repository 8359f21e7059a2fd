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

// One connected piece of the union on the grid: its outer ring and its holes, in any orientation
// and from any start vertex (Emit puts them right).
struct RawRegion {
    cl::Path outer;
    cl::Paths holes;
};

void CollectRegions(const cl::PolyNode &node, std::vector<RawRegion> &out) {
    for (const cl::PolyNode *outer : node.Childs) {
        RawRegion region;
        region.outer = outer->Contour;
        for (const cl::PolyNode *hole : outer->Childs) {
            region.holes.push_back(hole->Contour);
            CollectRegions(*hole, out);  // islands inside the hole
        }
        out.push_back(std::move(region));
    }
}

// The regions in the output convention: rings normalised, holes and regions west first.
ShadowRegions Emit(std::vector<RawRegion> raw, const Grid &grid) {
    ShadowRegions result;
    result.resolution = grid.Resolution();
    for (RawRegion &r : raw) {
        Normalise(r.outer, true);
        if (r.outer.empty()) continue;
        ShadowRegion region;
        for (const cl::IntPoint &q : r.outer) region.outer.push_back(grid.FromGrid(q));
        std::vector<cl::Path> holes;
        for (cl::Path &h : r.holes) {
            Normalise(h, false);
            if (!h.empty()) holes.push_back(std::move(h));
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
        result.regions.push_back(std::move(region));
    }
    std::sort(result.regions.begin(), result.regions.end(),
              [](const ShadowRegion &a, const ShadowRegion &b) {
                  return a.outer.front().x != b.outer.front().x
                             ? a.outer.front().x < b.outer.front().x
                             : a.outer.front().y < b.outer.front().y;
              });
    return result;
}

// The rings of regions as paths: outer rings counter-clockwise, holes clockwise, so that they
// wind 0 or 1 everywhere.
cl::Paths Flatten(std::vector<RawRegion> raw) {
    cl::Paths out;
    for (RawRegion &r : raw) {
        if (TwiceArea(r.outer) < 0.0L) std::reverse(r.outer.begin(), r.outer.end());
        out.push_back(std::move(r.outer));
        for (cl::Path &h : r.holes) {
            if (TwiceArea(h) > 0.0L) std::reverse(h.begin(), h.end());
            out.push_back(std::move(h));
        }
    }
    return out;
}

// The union in tiles. The library's sweep costs far more than linear in the number of edges it
// holds and cannot be interrupted, so the plane is cut into tiles holding a bounded amount of
// work each (a quadtree: a tile with too many vertices overlapping it is split in four), each
// tile's share of the union is computed on its own, clipped to the tile, and the pieces are
// stitched back together along the tile borders: where two pieces meet along a border their
// opposite border edges cancel, the rest of the border edges are the union's own, and the
// vertices the clipping made where an edge of the union crosses a border are taken out again.
// The progress is asked between two tiles and every so many steps of the stitching.
constexpr int kMaxTileDepth = 16;
// A tile is split only while its quarters together hold at most this many times its work.
constexpr std::size_t kMaxSplitGrowth = 2;
constexpr std::size_t kStitchBatch = 65536;

struct Box {
    cl::cInt x0, y0, x1, y1;
    bool Overlaps(const Box &o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

Box BoxOf(const cl::Path &path) {
    Box b{path[0].X, path[0].Y, path[0].X, path[0].Y};
    for (const cl::IntPoint &p : path) {
        b.x0 = std::min(b.x0, p.X);
        b.y0 = std::min(b.y0, p.Y);
        b.x1 = std::max(b.x1, p.X);
        b.y1 = std::max(b.y1, p.Y);
    }
    return b;
}

long double Cross(const cl::IntPoint &a, const cl::IntPoint &b, const cl::IntPoint &c) {
    return static_cast<long double>(b.X - a.X) * static_cast<long double>(c.Y - a.Y) -
           static_cast<long double>(b.Y - a.Y) * static_cast<long double>(c.X - a.X);
}

// Whether the path turns left or goes straight at every vertex and encloses some area: it winds
// 0 or 1 everywhere, and inside it at least once.
bool ConvexCounterClockwise(const cl::Path &path) {
    const std::size_t n = path.size();
    if (n < 3 || TwiceArea(path) <= 0.0L) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (Cross(path[i], path[(i + 1) % n], path[(i + 2) % n]) < 0.0L) return false;
    return true;
}

bool ConvexHolds(const cl::Path &convex, const Box &b) {
    const cl::IntPoint corners[4] = {{b.x0, b.y0}, {b.x1, b.y0}, {b.x1, b.y1}, {b.x0, b.y1}};
    const std::size_t n = convex.size();
    for (std::size_t i = 0; i < n; ++i)
        for (const cl::IntPoint &c : corners)
            if (Cross(convex[i], convex[(i + 1) % n], c) < 0.0L) return false;
    return true;
}

// The path with every run of three or more consecutive vertices strictly beyond one side of the
// tile cut to its two ends. The part cut off and the chord that replaces it both lie beyond that
// side, so the winding inside the tile is unchanged, and no new vertex is made.
cl::Path Trimmed(const cl::Path &path, const Box &tile) {
    const auto side = [&](const cl::IntPoint &p) {
        return p.X < tile.x0 ? 1 : p.X > tile.x1 ? 2 : p.Y < tile.y0 ? 3 : p.Y > tile.y1 ? 4 : 0;
    };
    cl::Path out;
    out.reserve(path.size());
    std::size_t i = 0;
    while (i < path.size()) {
        const int s = side(path[i]);
        std::size_t j = i + 1;
        if (s != 0)
            while (j < path.size() && side(path[j]) == s) ++j;
        out.push_back(path[i]);
        if (j - i >= 2) out.push_back(path[j - 1]);
        i = j;
    }
    return out;
}

// A directed edge of a stitched ring with the piece of the tile union it came from.
struct PieceEdge {
    cl::IntPoint a, b;
    std::uint32_t piece;
};

// An edge along a grid line: on the line x = line (vertical) or y = line, from lo to hi when dir
// is 1, from hi to lo when it is -1.
struct LineEdge {
    cl::cInt line, lo, hi;
    int dir;
    std::uint32_t piece;
};

class UnionFind {
public:
    std::uint32_t Add() {
        parent_.push_back(static_cast<std::uint32_t>(parent_.size()));
        return parent_.back();
    }
    std::uint32_t Find(std::uint32_t i) {
        while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
        return i;
    }
    void Join(std::uint32_t a, std::uint32_t b) { parent_[Find(a)] = Find(b); }
    std::size_t Size() const { return parent_.size(); }

private:
    std::vector<std::uint32_t> parent_;
};

// The edges of one grid line with their opposite overlaps cancelled: pieces whose edges cancel
// meet along the line and become one region.
void CancelLine(std::span<const LineEdge> line, bool vertical, UnionFind &pieces,
                std::vector<PieceEdge> &out) {
    struct Event {
        cl::cInt at;
        bool start;
        std::size_t edge;
    };
    std::vector<Event> events;
    events.reserve(line.size() * 2);
    for (std::size_t i = 0; i < line.size(); ++i) {
        events.push_back({line[i].lo, true, i});
        events.push_back({line[i].hi, false, i});
    }
    std::sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return a.at != b.at ? a.at < b.at : a.start < b.start;
    });
    const cl::cInt at = line[0].line;
    const auto point = [&](cl::cInt v) {
        return vertical ? cl::IntPoint(at, v) : cl::IntPoint(v, at);
    };
    std::vector<std::size_t> up, down;
    cl::cInt from = 0;
    // The last edge put out, extended while the next stretch continues it.
    std::int64_t open = -1;
    int openDir = 0;
    for (std::size_t k = 0; k < events.size();) {
        const cl::cInt to = events[k].at;
        if (!up.empty() || !down.empty()) {
            if (!up.empty() && !down.empty()) {
                for (std::size_t u : up) pieces.Join(line[u].piece, line[up[0]].piece);
                for (std::size_t d : down) pieces.Join(line[d].piece, line[up[0]].piece);
            }
            const int net = static_cast<int>(up.size()) - static_cast<int>(down.size());
            if (net != 0 && to > from) {
                const int dir = net > 0 ? 1 : -1;
                const std::uint32_t piece = net > 0 ? line[up[0]].piece : line[down[0]].piece;
                const bool extends =
                    net * dir == 1 && open >= 0 && openDir == dir &&
                    out[static_cast<std::size_t>(open)].piece == piece &&
                    (dir > 0 ? out[static_cast<std::size_t>(open)].b
                             : out[static_cast<std::size_t>(open)].a) == point(from);
                if (extends) {
                    PieceEdge &e = out[static_cast<std::size_t>(open)];
                    (dir > 0 ? e.b : e.a) = point(to);
                } else {
                    for (int c = 0; c < net * dir; ++c) {
                        out.push_back(dir > 0 ? PieceEdge{point(from), point(to), piece}
                                              : PieceEdge{point(to), point(from), piece});
                    }
                    open = net * dir == 1 ? static_cast<std::int64_t>(out.size()) - 1 : -1;
                    openDir = dir;
                }
            }
        }
        for (; k < events.size() && events[k].at == to; ++k) {
            const std::size_t e = events[k].edge;
            std::vector<std::size_t> &set = line[e].dir > 0 ? up : down;
            if (events[k].start) {
                set.push_back(e);
            } else {
                set.erase(std::find(set.begin(), set.end(), e));
            }
        }
        from = to;
    }
}

// How far the direction of w turns clockwise from u, in (0, 2 pi]: the next edge of a ring is the
// one turning least clockwise from the way back, which keeps the ring around one region where
// two regions touch at a vertex.
double ClockwiseTurn(const cl::IntPoint &u, const cl::IntPoint &w) {
    constexpr double kTwoPi = 6.283185307179586;
    double a = std::atan2(static_cast<double>(u.Y), static_cast<double>(u.X)) -
               std::atan2(static_cast<double>(w.Y), static_cast<double>(w.X));
    while (a <= 0.0) a += kTwoPi;
    while (a > kTwoPi) a -= kTwoPi;
    return a;
}

// The union of paths under the fill rule, in tiles. `whole` is one more set of paths that winds
// 0 or 1 everywhere (regions put out before), united with the rest.
// Paths from firstPositive on are known to wind 0 or more everywhere.
bool TiledUnion(const cl::Paths &paths, const cl::Paths &whole, cl::PolyFillType fill,
                std::size_t tileWork, std::vector<RawRegion> &out, Progress &progress,
                std::size_t firstPositive = std::numeric_limits<std::size_t>::max()) {
    // Every path with its box; the ones that surely wind 0 or 1 everywhere may fill a tile alone.
    struct Item {
        const cl::Path *path;
        Box box;
        bool convex;  // counter-clockwise and convex
        bool safe;    // winds 0 or more everywhere together with the other safe ones
    };
    std::vector<Item> items;
    items.reserve(paths.size() + whole.size());
    Box all{std::numeric_limits<cl::cInt>::max(), std::numeric_limits<cl::cInt>::max(),
            std::numeric_limits<cl::cInt>::min(), std::numeric_limits<cl::cInt>::min()};
    for (std::size_t i = 0; i < paths.size() + whole.size(); ++i) {
        if (i > 0 && i % kStitchBatch == 0 && !progress.KeepRunning()) return false;
        const bool fromWhole = i >= paths.size();
        const cl::Path &p = fromWhole ? whole[i - paths.size()] : paths[i];
        if (p.size() < 3) continue;
        const Box b = BoxOf(p);
        if (b.x0 == b.x1 || b.y0 == b.y1) continue;  // encloses nothing
        const bool convex = ConvexCounterClockwise(p);
        items.push_back(Item{&p, b, convex, convex || fromWhole || i >= firstPositive});
        all = Box{std::min(all.x0, b.x0), std::min(all.y0, b.y0), std::max(all.x1, b.x1),
                  std::max(all.y1, b.y1)};
    }
    if (items.empty()) return true;
    all = Box{all.x0 - 1, all.y0 - 1, all.x1 + 1, all.y1 + 1};

    // The tiles, each put through the library as soon as it is small enough.
    UnionFind pieces;
    std::vector<PieceEdge> edges;
    std::vector<LineEdge> vertical, horizontal;
    std::vector<cl::cInt> bordersX, bordersY;
    const auto addRing = [&](const cl::Path &ring, std::uint32_t piece) {
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const cl::IntPoint &a = ring[i], &b = ring[(i + 1) % ring.size()];
            if (a == b) continue;
            if (a.X == b.X) {
                vertical.push_back(LineEdge{a.X, std::min(a.Y, b.Y), std::max(a.Y, b.Y),
                                            b.Y > a.Y ? 1 : -1, piece});
            } else if (a.Y == b.Y) {
                horizontal.push_back(LineEdge{a.Y, std::min(a.X, b.X), std::max(a.X, b.X),
                                              b.X > a.X ? 1 : -1, piece});
            } else {
                edges.push_back(PieceEdge{a, b, piece});
            }
        }
    };
    const auto addBorders = [&](const Box &b) {
        bordersX.push_back(b.x0);
        bordersX.push_back(b.x1);
        bordersY.push_back(b.y0);
        bordersY.push_back(b.y1);
    };
    const auto addTree = [&](const cl::PolyNode &node, const auto &self) -> void {
        for (const cl::PolyNode *outer : node.Childs) {
            const std::uint32_t piece = pieces.Add();
            addRing(outer->Contour, piece);
            for (const cl::PolyNode *hole : outer->Childs) {
                addRing(hole->Contour, piece);
                self(*hole, self);
            }
        }
    };
    struct Tile {
        Box box;
        std::vector<std::uint32_t> items;
        int depth;
    };
    std::vector<Tile> stack;
    {
        Tile root{all, {}, 0};
        root.items.resize(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            root.items[i] = static_cast<std::uint32_t>(i);
        stack.push_back(std::move(root));
    }
    while (!stack.empty()) {
        if (!progress.KeepRunning()) return false;
        Tile tile = std::move(stack.back());
        stack.pop_back();
        const cl::Path rect{{tile.box.x0, tile.box.y0},
                            {tile.box.x1, tile.box.y0},
                            {tile.box.x1, tile.box.y1},
                            {tile.box.x0, tile.box.y1}};
        // A tile inside one convex path, with nothing there that could wind backwards, is full.
        std::size_t work = 0;
        bool safe = true, full = false;
        for (std::uint32_t i : tile.items) {
            work += items[i].path->size();
            safe = safe && items[i].safe;
            full = full || (items[i].convex && ConvexHolds(*items[i].path, tile.box));
        }
        if (safe && full) {
            addRing(rect, pieces.Add());
            addBorders(tile.box);
            continue;
        }
        // Split while that divides the work: once the tile is no larger than the paths over it,
        // each quarter would hold nearly all of them again.
        const cl::cInt w = tile.box.x1 - tile.box.x0, h = tile.box.y1 - tile.box.y0;
        if (work > tileWork && tile.depth < kMaxTileDepth && (w > 1 || h > 1)) {
            const cl::cInt mx = w > 1 ? tile.box.x0 + w / 2 : tile.box.x1;
            const cl::cInt my = h > 1 ? tile.box.y0 + h / 2 : tile.box.y1;
            const Box quarters[4] = {{tile.box.x0, tile.box.y0, mx, my},
                                     {mx, tile.box.y0, tile.box.x1, my},
                                     {tile.box.x0, my, mx, tile.box.y1},
                                     {mx, my, tile.box.x1, tile.box.y1}};
            std::vector<Tile> children;
            std::size_t childWork = 0;
            for (const Box &q : quarters) {
                if (q.x0 == q.x1 || q.y0 == q.y1) continue;
                Tile child{q, {}, tile.depth + 1};
                for (std::uint32_t i : tile.items) {
                    if (items[i].box.Overlaps(q)) {
                        child.items.push_back(i);
                        childWork += items[i].path->size();
                    }
                }
                if (!child.items.empty()) children.push_back(std::move(child));
            }
            if (childWork <= kMaxSplitGrowth * work) {
                for (Tile &child : children) stack.push_back(std::move(child));
                continue;
            }
        }
        addBorders(tile.box);
        cl::Clipper c;
        for (std::uint32_t i : tile.items) {
            const cl::Path &p = *items[i].path;
            if (p.size() > 8) {
                c.AddPath(Trimmed(p, tile.box), cl::ptSubject, true);
            } else {
                c.AddPath(p, cl::ptSubject, true);
            }
        }
        c.AddPath(rect, cl::ptClip, true);
        cl::PolyTree tree;
        c.Execute(cl::ctIntersection, tree, fill, cl::pftNonZero);
        addTree(tree, addTree);
    }

    // The border edges: opposite overlaps cancel, the rest are edges of the union.
    const auto stitchLines = [&](std::vector<LineEdge> &lines, bool isVertical) {
        std::sort(lines.begin(), lines.end(), [](const LineEdge &a, const LineEdge &b) {
            return a.line != b.line ? a.line < b.line : a.lo < b.lo;
        });
        std::size_t done = 0;
        for (std::size_t i = 0; i < lines.size();) {
            std::size_t j = i;
            while (j < lines.size() && lines[j].line == lines[i].line) ++j;
            CancelLine(std::span<const LineEdge>(lines.data() + i, j - i), isVertical, pieces,
                       edges);
            done += j - i;
            if (done >= kStitchBatch) {
                done = 0;
                if (!progress.KeepRunning()) return false;
            }
            i = j;
        }
        lines.clear();
        lines.shrink_to_fit();
        return true;
    };
    if (!stitchLines(vertical, true) || !stitchLines(horizontal, false)) return false;

    // The rings: each edge followed by the one leaving its end that turns least clockwise.
    const auto less = [](const cl::IntPoint &a, const cl::IntPoint &b) {
        return a.X != b.X ? a.X < b.X : a.Y < b.Y;
    };
    std::sort(edges.begin(), edges.end(),
              [&](const PieceEdge &x, const PieceEdge &y) { return less(x.a, y.a); });
    std::vector<char> used(edges.size(), 0);
    std::sort(bordersX.begin(), bordersX.end());
    bordersX.erase(std::unique(bordersX.begin(), bordersX.end()), bordersX.end());
    std::sort(bordersY.begin(), bordersY.end());
    bordersY.erase(std::unique(bordersY.begin(), bordersY.end()), bordersY.end());
    const auto onBorder = [&](const cl::IntPoint &p) {
        return std::binary_search(bordersX.begin(), bordersX.end(), p.X) ||
               std::binary_search(bordersY.begin(), bordersY.end(), p.Y);
    };
    struct Ring {
        cl::Path path;
        std::uint32_t piece;
    };
    std::vector<Ring> rings;
    std::size_t steps = 0;
    for (std::size_t e0 = 0; e0 < edges.size(); ++e0) {
        if (used[e0]) continue;
        Ring ring{{edges[e0].a}, edges[e0].piece};
        std::size_t cur = e0;
        used[e0] = 1;
        bool closed = false;
        while (true) {
            if (++steps % kStitchBatch == 0 && !progress.KeepRunning()) return false;
            const cl::IntPoint v = edges[cur].b;
            const cl::IntPoint back(edges[cur].a.X - v.X, edges[cur].a.Y - v.Y);
            const auto first = std::lower_bound(
                edges.begin(), edges.end(), v,
                [&](const PieceEdge &x, const cl::IntPoint &p) { return less(x.a, p); });
            std::int64_t pick = -1;
            double best = 0.0;
            for (auto it = first; it != edges.end() && it->a == v; ++it) {
                const auto k = static_cast<std::size_t>(it - edges.begin());
                if (used[k] && k != e0) continue;
                const double turn = ClockwiseTurn(back, cl::IntPoint(it->b.X - v.X, it->b.Y - v.Y));
                if (pick < 0 || turn < best) {
                    pick = static_cast<std::int64_t>(k);
                    best = turn;
                }
            }
            if (pick < 0) break;  // cannot happen for a union's boundary: the ring is left out
            if (static_cast<std::size_t>(pick) == e0) {
                closed = true;
                break;
            }
            cur = static_cast<std::size_t>(pick);
            used[cur] = 1;
            pieces.Join(edges[cur].piece, ring.piece);
            ring.path.push_back(v);
        }
        if (!closed) continue;
        // The vertices the tiles made where an edge crosses a border: on a border and within a
        // grid unit or two of the line through their neighbours.
        cl::Path &path = ring.path;
        bool changed = true;
        while (changed && path.size() > 3) {
            changed = false;
            cl::Path kept;
            kept.reserve(path.size());
            const std::size_t n = path.size();
            for (std::size_t i = 0; i < n; ++i) {
                const cl::IntPoint &prev = kept.empty() ? path[(i + n - 1) % n] : kept.back();
                const cl::IntPoint &p = path[i], &next = path[(i + 1) % n];
                if (onBorder(p) && kept.size() + (n - i) > 3) {
                    const long double dx = static_cast<long double>(next.X - prev.X);
                    const long double dy = static_cast<long double>(next.Y - prev.Y);
                    const long double len = std::sqrt(dx * dx + dy * dy);
                    if (std::fabs(Cross(prev, next, p)) <= 2.0L * len) {
                        changed = true;
                        continue;
                    }
                }
                kept.push_back(p);
            }
            path.swap(kept);
        }
        rings.push_back(std::move(ring));
    }

    // The regions: each group of joined pieces has its outer ring (counter-clockwise) and holes.
    std::vector<std::vector<std::size_t>> outers(pieces.Size());
    std::vector<std::vector<std::size_t>> holes(outers.size());
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const long double a = TwiceArea(rings[r].path);
        if (a == 0.0L) continue;
        const std::uint32_t g = pieces.Find(rings[r].piece);
        (a > 0.0L ? outers : holes)[g].push_back(r);
    }
    for (std::size_t g = 0; g < outers.size(); ++g) {
        if (g > 0 && g % kStitchBatch == 0 && !progress.KeepRunning()) return false;
        if (outers[g].empty()) continue;
        const std::size_t first = out.size();
        for (std::size_t r : outers[g]) out.push_back(RawRegion{std::move(rings[r].path), {}});
        for (std::size_t r : holes[g]) {
            // Touching regions joined along a border share a group: a hole belongs to the one
            // of them it lies in.
            std::size_t owner = first;
            if (outers[g].size() > 1) {
                for (std::size_t k = first; k < out.size(); ++k) {
                    bool inside = false;
                    for (const cl::IntPoint &p : rings[r].path) {
                        const int place = cl::PointInPolygon(p, out[k].outer);
                        if (place == 0) continue;
                        inside = place == 1;
                        break;
                    }
                    if (inside) {
                        owner = k;
                        break;
                    }
                }
            }
            out[owner].holes.push_back(std::move(rings[r].path));
        }
    }
    return true;
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
    q.footSt = solar::ShadowPoint({e.st.x, e.st.y, e.base}, h, shadowAngle, ratio, 0.0);
    q.footEd = solar::ShadowPoint({e.ed.x, e.ed.y, e.base}, h, shadowAngle, ratio, 0.0);
    q.shadowEd = solar::ShadowPoint(e.ed, h, shadowAngle, ratio, 0.0);
    q.shadowSt = solar::ShadowPoint(e.st, h, shadowAngle, ratio, 0.0);
    return q;
}

namespace {

// The quadrilaterals of consecutive edges of one outline, each continuing the last (its foot and
// shadow start where the last one's end) and turning the same way, swept as one ring: the feet
// forward, then the shadows back. The connector two of them share is walked once each way and
// cancels, so the ring winds around every point as many times as the quadrilaterals do; as each
// of them is strictly convex and turns the same way, that is 0 or more, and the ring covers
// exactly their union. A long outline so gives the union a few rings instead of one
// quadrilateral per edge, whose shared edges the library joins in time growing with the square
// of their number.
class ChainSweep {
public:
    // Takes the quadrilateral (foot start, foot end, shadow end, shadow start) with the sign of
    // its area into the chain, putting the chain before it into `out` when it does not continue
    // it; false when the quadrilateral is not strictly convex, so stays a path of its own.
    bool Add(const cl::Path &quad, int sign, cl::Paths &out) {
        for (std::size_t i = 0; i < 4; ++i) {
            const long double turn = Cross(quad[i], quad[(i + 1) % 4], quad[(i + 2) % 4]);
            if (turn == 0.0L || (turn > 0.0L) != (sign > 0)) {
                Flush(out);
                return false;
            }
        }
        if (feet_.empty() || sign != sign_ || feet_.back() != quad[0] ||
            shadows_.back() != quad[3]) {
            Flush(out);
            sign_ = sign;
            feet_.push_back(quad[0]);
            shadows_.push_back(quad[3]);
        }
        feet_.push_back(quad[1]);
        shadows_.push_back(quad[2]);
        return true;
    }
    void Flush(cl::Paths &out) {
        if (feet_.empty()) return;
        cl::Path ring = std::move(feet_);
        ring.insert(ring.end(), shadows_.rbegin(), shadows_.rend());
        if (sign_ < 0) std::reverse(ring.begin(), ring.end());
        out.push_back(std::move(ring));
        feet_.clear();
        shadows_.clear();
    }

private:
    cl::Path feet_, shadows_;
    int sign_ = 0;
};

// The union of the paths and of `whole` (winding 0 or 1 everywhere), in tiles of up to tileWork
// vertices or, for the reference (tileWork 0), by the library alone.
// Paths from firstPositive on wind 0 or more everywhere, whatever their shape.
ShadowRegions Unite(cl::Paths paths, const cl::Paths &whole, const Grid &grid, std::size_t tileWork,
                    Progress &progress,
                    std::size_t firstPositive = std::numeric_limits<std::size_t>::max()) {
    std::vector<RawRegion> raw;
    if (tileWork > 0) {
        if (!TiledUnion(paths, whole, cl::pftNonZero, tileWork, raw, progress, firstPositive)) {
            ShadowRegions stopped;
            stopped.status = RegionStatus::Stopped;
            return stopped;
        }
    } else {
        cl::PolyTree tree;
        if (!UnitePaths(std::move(paths), whole, tree, progress)) {
            ShadowRegions stopped;
            stopped.status = RegionStatus::Stopped;
            return stopped;
        }
        CollectRegions(tree, raw);
    }
    return Emit(std::move(raw), grid);
}

// The shadow regions at t, or with footprintsOnly the footprints alone (the quadrilaterals left
// out of the union).
ShadowRegions RegionsAt(std::span<const TLineEnt> edges, const solar::SolarState &sun, double t,
                        double h, std::size_t tileWork, Progress &progress,
                        bool footprintsOnly = false) {
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
        // An edge at or below the plane casts nothing and bounds no footprint there.
        if (!(std::max(edges[i].st.z, edges[i].ed.z) > h)) continue;
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

    cl::Paths paths, swept;
    paths.reserve(quads.size());
    std::vector<FootIn> feet;
    feet.reserve(quads.size());
    ChainSweep chain;
    for (std::size_t i = 0; i < quads.size(); ++i) {
        if (i % kEdgeBatch == 0 && !progress.KeepRunning()) {
            result.status = RegionStatus::Stopped;
            return result;
        }
        const EdgeQuad &q = quads[i];
        cl::Path path{grid.ToGrid(q.footSt), grid.ToGrid(q.footEd), grid.ToGrid(q.shadowEd),
                      grid.ToGrid(q.shadowSt)};
        feet.push_back(FootIn{path[0], path[1], tops[i]});
        if (footprintsOnly) continue;
        const long double a = TwiceArea(path);
        if (a == 0.0L) continue;  // a vertical edge, or an edge at or below the plane
        if (chain.Add(path, a > 0.0L ? 1 : -1, swept)) continue;
        if (a < 0.0L) std::reverse(path.begin(), path.end());
        paths.push_back(std::move(path));
    }
    chain.Flush(swept);
    // The swept rings go last: the union knows every path from there on winds 0 or more.
    const std::size_t firstSwept = paths.size();
    for (cl::Path &ring : swept) paths.push_back(std::move(ring));
    swept.clear();
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
    if (tileWork > 0) {
        std::vector<RawRegion> raw;
        if (!TiledUnion(walks, {}, cl::pftPositive, tileWork, raw, progress)) {
            result.status = RegionStatus::Stopped;
            return result;
        }
        if (footprintsOnly) return Emit(std::move(raw), grid);
        footprints = Flatten(std::move(raw));
    } else {
        cl::Clipper c;
        c.AddPaths(walks, cl::ptSubject, true);
        c.Execute(cl::ctUnion, footprints, cl::pftPositive, cl::pftPositive);
    }
    if (!progress.KeepRunning()) {
        result.status = RegionStatus::Stopped;
        return result;
    }
    return Unite(std::move(paths), footprints, grid, tileWork, progress, firstSwept);
}

ShadowRegions RingsUnion(const std::vector<std::vector<TAcadPoint>> &rings, std::size_t tileWork,
                         Progress &progress) {
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
    return Unite(std::move(paths), {}, grid, tileWork, progress);
}

}  // namespace

ShadowRegions ShadowRegionsAt(std::span<const TLineEnt> edges, const solar::SolarState &sun,
                              double t, double h, Progress &progress) {
    return RegionsAt(edges, sun, t, h, kTileWork, progress);
}

ShadowRegions ShadowFootprintsAt(std::span<const TLineEnt> edges, const solar::SolarState &sun,
                                 double t, double h, Progress &progress) {
    return RegionsAt(edges, sun, t, h, kTileWork, progress, true);
}

ShadowRegions ShadowRegionsSingleUnionAt(std::span<const TLineEnt> edges,
                                         const solar::SolarState &sun, double t, double h,
                                         Progress &progress) {
    return RegionsAt(edges, sun, t, h, 0, progress);
}

ShadowRegions ShadowRegionsInTilesAt(std::span<const TLineEnt> edges, const solar::SolarState &sun,
                                     double t, double h, std::size_t tileWork, Progress &progress) {
    return RegionsAt(edges, sun, t, h, std::max<std::size_t>(tileWork, 1), progress);
}

ShadowRegions UnionRings(const std::vector<std::vector<TAcadPoint>> &rings, Progress &progress) {
    return RingsUnion(rings, kTileWork, progress);
}

ShadowRegions UnionRingsSingle(const std::vector<std::vector<TAcadPoint>> &rings,
                               Progress &progress) {
    return RingsUnion(rings, 0, progress);
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
