#include "sky/sky_projection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "geometry/primitives.h"
#include "geometry/shadow_outline.h"
#include "geometry/tolerances.h"
#include "sky/map_angles.h"

namespace pimu::sky {

using geometry::Angle2D;
using geometry::Dist2D;
using geometry::kHalfPi;
using geometry::kPi;
using geometry::kPointTol;
using geometry::kRadToDeg;
using geometry::kThreeHalfPi;
using geometry::kTwoPi;
using geometry::PolarPoint;

namespace {

constexpr TAcadPoint kOrigin{0.0, 0.0, 0.0};

TLineEnt Segment(TAcadPoint st, TAcadPoint ed) {
    TLineEnt s;
    s.st = st;
    s.ed = ed;
    return s;
}

// Steps the progress about 100 times over `count` items.
class ItemProgress {
public:
    ItemProgress(Progress &progress, std::size_t count) : progress_(progress) {
        every_ = count <= 100 ? 1 : count / 100;
        progress_.Start(static_cast<int>(std::min<std::size_t>(count, 100)));
    }
    ItemProgress(const ItemProgress &) = delete;
    ItemProgress &operator=(const ItemProgress &) = delete;
    ~ItemProgress() { progress_.Position(0); }

    // False when the run is to stop.
    bool Step(std::size_t i) {
        if (i % every_ != 0) return true;
        progress_.Position(++position_);
        return progress_.KeepRunning();
    }

private:
    Progress &progress_;
    std::size_t every_ = 1;
    int position_ = 0;
};

// Passes the planar routines' progress on and remembers a stop request, which is tested between
// their steps.
// The pair of ground points whose directions open widest (Fold(CcwAngle)), the first of every
// pair (i, j) in that order to reach the largest opening, as the comparison of every pair finds
// it. The opening from point i grows with the direction of j turning counter-clockwise from i's up
// to the opposite direction and shrinks beyond it, so i's widest partners stand next to the
// opposite direction among the sorted directions: the time grows with n log n. False when the
// progress asked to stop.
bool WidestPair(const std::vector<TAcadPoint> &ground, Progress &progress, double &best,
                TAcadPoint &a, TAcadPoint &b) {
    const std::size_t n = ground.size();
    constexpr TAcadPoint centre{0.0, 0.0, 0.0};
    std::vector<double> dir(n);
    for (std::size_t i = 0; i < n; ++i) dir[i] = Angle2D(centre, ground[i]);
    // As Fold(CcwAngle(ground[i], ground[j])), from the same directions.
    const auto opening = [&](std::size_t i, std::size_t j) {
        double d = dir[j] - dir[i];
        if (d < 0.0) d += kTwoPi;
        if (d >= kTwoPi) d -= kTwoPi;
        return Fold(d);
    };
    std::vector<std::size_t> sorted(n);
    for (std::size_t i = 0; i < n; ++i) sorted[i] = i;
    std::sort(sorted.begin(), sorted.end(),
              [&](std::size_t p, std::size_t q) { return dir[p] < dir[q]; });
    // The widest opening from i: the neighbours (in direction order) of the opposite direction on
    // either side of the turn, and of the turn from the last direction round to the first.
    constexpr std::size_t kAskEvery = 16384;
    constexpr std::ptrdiff_t kReach = 2;
    const auto widest = [&](std::size_t i) {
        double w = 0.0;
        const auto around = [&](std::ptrdiff_t at) {
            for (std::ptrdiff_t k = at - kReach; k <= at + kReach; ++k) {
                const std::ptrdiff_t m = static_cast<std::ptrdiff_t>(n);
                const std::size_t j = sorted[static_cast<std::size_t>(((k % m) + m) % m)];
                if (j != i) w = std::max(w, opening(i, j));
            }
        };
        const auto position = [&](double v) {
            return std::lower_bound(sorted.begin(), sorted.end(), v,
                                    [&](std::size_t p, double x) { return dir[p] < x; }) -
                   sorted.begin();
        };
        around(position(dir[i] + kPi));
        around(position(dir[i] - kPi));
        around(0);
        return w;
    };
    best = 0.0;
    std::size_t first = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % kAskEvery == 0 && !progress.KeepRunning()) return false;
        const double w = widest(i);
        if (w > best) {
            best = w;
            first = i;
        }
    }
    if (first == n) return true;
    for (std::size_t j = 0; j < n; ++j) {
        if (j == first || opening(first, j) != best) continue;
        a = ground[first];
        b = ground[j];
        break;
    }
    return true;
}

class StopLatch : public Progress {
public:
    explicit StopLatch(Progress &progress) : progress_(progress) {}
    void Start(int max) override { progress_.Start(max); }
    void Position(int position) override { progress_.Position(position); }
    bool KeepRunning() override { return !Stopped(); }
    bool Stopped() {
        if (!stopped_ && !progress_.KeepRunning()) stopped_ = true;
        return stopped_;
    }

private:
    Progress &progress_;
    bool stopped_ = false;
};

// The turn of the map so that true north points up.
struct NorthUp {
    double c;
    double s;
    explicit NorthUp(double north)
        : c(std::cos((90.0 - north) * geometry::kDegToRad)),
          s(std::sin((90.0 - north) * geometry::kDegToRad)) {}
    TAcadPoint operator()(TAcadPoint p) const {
        return TAcadPoint{p.x * c - p.y * s, p.x * s + p.y * c, 0.0};
    }
};

}  // namespace

double PaperRadius(const SkyMapSizes &sizes, int typ) {
    return typ == 0 ? sizes.HankeiA : sizes.HankeiB;
}

double SkyRadiusOf(const SkyMapSizes &sizes, int typ) {
    return PaperRadius(sizes, typ) * sizes.Syakudo;
}

std::vector<TAcadPoint> SubdivideElement(const TLineEnt &element) {
    const TAcadPoint st = element.st;
    const TAcadPoint ed = element.ed;
    const double v = Dist2D(st, ed);
    const double azimuth = Angle2D(st, ed);
    const double dz = st.z - ed.z;
    const double c = std::sqrt(v * v + dz * dz);
    std::vector<TAcadPoint> points;
    if (c <= kPointTol) return points;
    double slope;
    if (v > kPointTol) {
        slope = std::atan(dz / v);
    } else {
        slope = st.z > ed.z ? kThreeHalfPi : kHalfPi;
    }
    double a = kSubdivisionStep;
    if (v < kPointTol) a = c / 3.0;
    auto n = static_cast<std::size_t>(std::trunc(c / a)) + 1;
    if (n == 1) {
        n = 2;
        a = c / 3.0;
    }
    points.reserve(n + 1);
    for (std::size_t k = 0; k < n; ++k) {
        const double along = a * static_cast<double>(k);
        TAcadPoint p = PolarPoint(st, azimuth, along * std::cos(slope));
        const double rise = std::fabs(along * std::sin(slope));
        p.z = dz < 0.0 ? st.z + rise : st.z - rise;
        points.push_back(p);
    }
    points.push_back(ed);
    return points;
}

std::vector<TLineEnt> ExpandModel(const geometry::BuildingModel &model, double e,
                                  Progress &progress, bool *stopped) {
    const auto above = [e](const TLineEnt &l) {
        return l.st.z > e && l.ed.z > e && l.st.z > kPointTol && l.ed.z > kPointTol;
    };
    std::vector<TLineEnt> work;
    for (const TLineEnt &l : model.AryTatemono) {
        if (above(l)) work.push_back(Segment(l.st, l.ed));
    }
    for (const TLineEnt &l : model.AryTatemono) {
        if (!above(l)) continue;
        TLineEnt foot = Segment(TAcadPoint{l.st.x, l.st.y, e}, TAcadPoint{l.ed.x, l.ed.y, e});
        foot.id = 1;
        work.push_back(foot);
    }
    for (const TLineEnt &l : model.AryTatemono) {
        if (!above(l)) continue;
        TLineEnt v1 = Segment(l.st, TAcadPoint{l.st.x, l.st.y, e});
        TLineEnt v2 = Segment(l.ed, TAcadPoint{l.ed.x, l.ed.y, e});
        v1.id = 2;
        v2.id = 2;
        work.push_back(v1);
        work.push_back(v2);
    }
    // Neighbouring walls share their verticals, touching buildings their edges: keep the later
    // copy of each. An element's copies have an end within the tolerance of its start, so they
    // are looked for among the elements with an end in the cells (of the tolerance's size)
    // around it.
    if (stopped) *stopped = false;
    const auto cell = [](const TAcadPoint &p) {
        return std::array<std::int64_t, 3>{static_cast<std::int64_t>(std::floor(p.x / kPointTol)),
                                           static_cast<std::int64_t>(std::floor(p.y / kPointTol)),
                                           static_cast<std::int64_t>(std::floor(p.z / kPointTol))};
    };
    struct CellHash {
        std::size_t operator()(const std::array<std::int64_t, 3> &c) const {
            std::uint64_t h = 1469598103934665603ULL;
            for (std::int64_t v : c) h = (h ^ static_cast<std::uint64_t>(v)) * 1099511628211ULL;
            return static_cast<std::size_t>(h);
        }
    };
    std::unordered_map<std::array<std::int64_t, 3>, std::vector<std::size_t>, CellHash> ends;
    ends.reserve(2 * work.size());
    for (std::size_t j = 0; j < work.size(); ++j) {
        ends[cell(work[j].st)].push_back(j);
        if (!(cell(work[j].ed) == cell(work[j].st))) ends[cell(work[j].ed)].push_back(j);
    }
    constexpr std::size_t kAskEvery = 16384;
    for (std::size_t i = 0; i + 1 < work.size(); ++i) {
        if (i % kAskEvery == 0 && !progress.KeepRunning()) {
            if (stopped) *stopped = true;
            return {};
        }
        const TLineEnt &a = work[i];
        const std::array<std::int64_t, 3> c = cell(a.st);
        bool repeated = false;
        for (std::int64_t dx = -1; dx <= 1 && !repeated; ++dx)
            for (std::int64_t dy = -1; dy <= 1 && !repeated; ++dy)
                for (std::int64_t dz = -1; dz <= 1 && !repeated; ++dz) {
                    const auto it = ends.find({c[0] + dx, c[1] + dy, c[2] + dz});
                    if (it == ends.end()) continue;
                    for (std::size_t j : it->second) {
                        if (j <= i) continue;
                        const TLineEnt &b = work[j];
                        if ((geometry::Near3D(a.st, b.st) && geometry::Near3D(a.ed, b.ed)) ||
                            (geometry::Near3D(a.st, b.ed) && geometry::Near3D(a.ed, b.st))) {
                            repeated = true;
                            break;
                        }
                    }
                }
        if (repeated) work[i].id = -1;
    }
    return work;
}

SkyProjection ProjectSky(const geometry::BuildingModel &model, const SkyView &view,
                         Progress &progress) {
    SkyProjection out;
    const double e = view.e;
    const double r = view.SkyRadius;
    const TAcadPoint mp{view.IDPOINT1.x, view.IDPOINT1.y, 0.0};
    bool stopped = false;
    const std::vector<TLineEnt> work = ExpandModel(model, e, progress, &stopped);
    if (stopped) {
        out.Stopped = true;
        return out;
    }
    std::vector<TAcadPoint> ground;

    ItemProgress steps(progress, work.size());
    for (std::size_t index = 0; index < work.size(); ++index) {
        if (!steps.Step(index)) {
            out.Stopped = true;
            return out;
        }
        const TLineEnt &el = work[index];
        if (el.id < 0) continue;
        const double v = Dist2D(el.st, el.ed);
        const double dz = el.st.z - el.ed.z;
        if (std::sqrt(v * v + dz * dz) <= kPointTol) continue;

        if (el.st.z - e <= 0.0 && el.ed.z - e <= 0.0) {
            // A foot: its ends mark the covered part of the horizon. An end right below the
            // measurement point has no azimuth of its own; the wall runs away from it towards
            // the other end, so that direction is taken.
            const auto horizon = [&](TAcadPoint p, TAcadPoint other) {
                const double az = Dist2D(mp, p) < kPointTol ? Angle2D(p, other) : Angle2D(mp, p);
                return PolarPoint(kOrigin, az, r);
            };
            ground.push_back(horizon(el.st, el.ed));
            ground.push_back(horizon(el.ed, el.st));
            continue;
        }
        // A vertical edge standing on the measurement point is seen end on: it covers nothing.
        if (v < kPointTol && Dist2D(mp, el.st) < kPointTol) continue;

        const std::vector<TAcadPoint> pts = SubdivideElement(el);
        const std::size_t first = out.AryLine.size();
        const std::size_t n = pts.size() - 1;
        std::vector<TAcadPoint> projected;
        projected.reserve(pts.size());
        for (std::size_t k = 0; k <= n; ++k) {
            TAcadPoint p = pts[k];
            if (p.z < kPointTol) p.z = 0.0;
            double zr = p.z;
            if (e >= 0.0 || p.z > 0.0) zr = std::max(p.z - e, 0.0);
            const double d = Dist2D(mp, p);
            double az = Angle2D(mp, p);
            double h;
            TAcadPoint q;
            if (d < kPointTol && zr > 0.0) {
                // Right above the measurement point: the zenith, the centre of the map. Its
                // azimuth is that of the element running away from it.
                const TAcadPoint far = Dist2D(mp, el.st) > Dist2D(mp, el.ed) ? el.st : el.ed;
                az = Angle2D(p, far);
                h = kHalfPi;
                q = kOrigin;
            } else if (zr > 0.0) {
                h = std::atan(zr / d);
                q = PolarPoint(kOrigin, az, r * std::cos(h));
            } else {
                h = 0.0;
                q = PolarPoint(kOrigin, az, r);
            }
            q.z = zr;
            projected.push_back(q);
            if ((k == 0 || k == n) && zr > 0.0) {
                TTateiti t;
                t.no = static_cast<std::int32_t>(k == 0 ? first : first + n - 1);
                t.kyori = d;
                t.takasa = zr;
                t.houido = az * kRadToDeg;
                t.miagedo = h * kRadToDeg;
                t.rcosh = r * std::cos(h);
                out.AryTateiti.push_back(t);
            }
        }
        for (std::size_t k = 0; k < n; ++k) {
            out.AryLine.push_back(Segment(projected[k], projected[k + 1]));
        }
        out.Chains.push_back(std::move(projected));
    }

    // The foot of the buildings along the horizon: the widest pair of ground points (at most a
    // half turn apart) joined counter-clockwise in 0.25-degree steps.
    if (ground.size() > 1) {
        double best = 0.0;
        TAcadPoint a;
        TAcadPoint b;
        if (!WidestPair(ground, progress, best, a, b)) {
            out.Stopped = true;
            return out;
        }
        // All ground points in one direction (a single radial wall) leave no arc.
        if (best > 0.0) {
            if (CcwAngle(a, b) > CcwAngle(b, a)) std::swap(a, b);
            const double start = Angle2D(kOrigin, a);
            const auto m = static_cast<std::size_t>(std::trunc(CcwAngle(a, b) / kGroundArcStep));
            out.GroundArc.push_back(a);
            TAcadPoint prev = a;
            for (std::size_t k = 1; k <= m; ++k) {
                const TAcadPoint q =
                    PolarPoint(kOrigin, start + static_cast<double>(k) * kGroundArcStep, r);
                out.AryLine.push_back(Segment(prev, q));
                out.GroundArc.push_back(q);
                prev = q;
            }
            out.AryLine.push_back(Segment(prev, b));
            out.GroundArc.push_back(b);
        }
    }

    const NorthUp turn(view.north);
    for (TLineEnt &s : out.AryLine) {
        s.st = turn(s.st);
        s.ed = turn(s.ed);
    }
    for (std::vector<TAcadPoint> &chain : out.Chains) {
        for (TAcadPoint &p : chain) p = turn(p);
    }
    for (TAcadPoint &p : out.GroundArc) p = turn(p);
    return out;
}

bool TraceSkyLiteral(std::vector<TLineEnt> &segments, Progress &progress) {
    if (segments.size() <= 2) return false;
    StopLatch sink(progress);
    geometry::PolygonWorkspace ws;
    ws.ProgressDetail = &sink;
    ws.AryLine = std::move(segments);
    const auto give_back = [&] {
        segments = std::move(ws.AryLine);
        return false;
    };
    ws.MergeCollinear();
    if (sink.Stopped()) return give_back();
    ws.AryRinkaku.clear();
    ws.SplitAtCrossings();
    if (sink.Stopped()) return give_back();
    ws.RemoveDuplicates();
    // A loose end can never lie on the closed outline; left in the graph it may become the
    // trace start and make the trace fail.
    ws.PruneDangling();
    if (sink.Stopped()) return give_back();
    ws.GetMinCorner();
    ws.TraceRef = ws.MinCorner;
    ws.TraceRef.y -= 1000.0;
    ws.TraceStart = ws.GetTraceStart();
    ws.AryLine.clear();
    const bool ok = ws.TraceOutline();
    segments = std::move(ws.AryLine);
    return ok && !sink.Stopped();
}

namespace {

SkyOutline Trace(std::vector<TLineEnt> segments, Progress &progress, const SkyTracer &tracer) {
    SkyOutline out;
    if (segments.size() < 3) return out;
    const bool ok = tracer(segments, progress);
    if (!progress.KeepRunning()) {
        out.status = SkyStatus::Stopped;
        return out;
    }
    out.status = ok ? SkyStatus::Ok : SkyStatus::TraceFailed;
    out.AryLine = std::move(segments);
    return out;
}

}  // namespace

SkyOutline GetTenkuLine(const geometry::BuildingModel &model, const SkyView &view,
                        Progress &progress, const SkyTracer &tracer) {
    SkyProjection projection = ProjectSky(model, view, progress);
    if (projection.Stopped) {
        SkyOutline out;
        out.status = SkyStatus::Stopped;
        return out;
    }
    return Trace(std::move(projection.AryLine), progress, tracer);
}

double WorkingScale(const SkyMapSizes &sizes, int typ) {
    if (typ == 0 && sizes.HankeiB > sizes.HankeiA && sizes.HankeiA > 0.0) {
        return sizes.HankeiB / sizes.HankeiA;
    }
    if (typ == 1 && sizes.HankeiA > sizes.HankeiB && sizes.HankeiB > 0.0) {
        return sizes.HankeiA / sizes.HankeiB;
    }
    return 1.0;
}

SkyOutline TenkuRinkaku(std::vector<TLineEnt> segments, double k, Progress &progress,
                        const SkyTracer &tracer) {
    const bool scaled = k > 1.0;
    const auto scale = [](std::vector<TLineEnt> &segs, double f) {
        for (TLineEnt &s : segs) {
            s.st.x *= f;
            s.st.y *= f;
            s.ed.x *= f;
            s.ed.y *= f;
        }
    };
    if (scaled) scale(segments, k);
    SkyOutline out = Trace(std::move(segments), progress, tracer);
    if (out.status != SkyStatus::Ok) return out;
    geometry::PolygonWorkspace ws;
    ws.AryLine = std::move(out.AryLine);
    ws.RemoveBackPairs();
    out.AryLine = std::move(ws.AryLine);
    if (scaled) scale(out.AryLine, 1.0 / k);
    return out;
}

}  // namespace pimu::sky
