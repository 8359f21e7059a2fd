#include "regulation/regulation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "geometry/box_tree.h"
#include "shadow/exact_time.h"
#include "shadow/jikoku.h"
#include "shadow/point_probe.h"
#include "shadow/shadow_bitmap.h"
#include "shadow/shadow_regions.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_raster.h"
#include "shadow/touji_runs.h"
#include "solar/timetext.h"

namespace pimu::regulation {

namespace {

// The zone kinds, limit pairs and plane heights of the shadow regulation: Building Standards Act
// (建築基準法) article 56-2 and its appended table 4 (別表第四), columns (い) to (に). A local
// ordinance picks the kind's row (号) and, where the table offers two, the plane height. Within
// Hokkaido (道の区域内) the hours are 9:00-15:00 and the bracketed limits apply.
constexpr ZoneRule kZoneRules[] = {
    {"1-1", "第一種・第二種低層住居専用地域、田園住居地域 (一) 測定面 1.5m", 1500.0, 3.0, 2.0,
     false},
    {"1-2", "第一種・第二種低層住居専用地域、田園住居地域 (二) 測定面 1.5m", 1500.0, 4.0, 2.5,
     false},
    {"1-3", "第一種・第二種低層住居専用地域、田園住居地域 (三) 測定面 1.5m", 1500.0, 5.0, 3.0,
     false},
    {"2-1-4", "第一種・第二種中高層住居専用地域 (一) 測定面 4m", 4000.0, 3.0, 2.0, false},
    {"2-1-6.5", "第一種・第二種中高層住居専用地域 (一) 測定面 6.5m", 6500.0, 3.0, 2.0, false},
    {"2-2-4", "第一種・第二種中高層住居専用地域 (二) 測定面 4m", 4000.0, 4.0, 2.5, false},
    {"2-2-6.5", "第一種・第二種中高層住居専用地域 (二) 測定面 6.5m", 6500.0, 4.0, 2.5, false},
    {"2-3-4", "第一種・第二種中高層住居専用地域 (三) 測定面 4m", 4000.0, 5.0, 3.0, false},
    {"2-3-6.5", "第一種・第二種中高層住居専用地域 (三) 測定面 6.5m", 6500.0, 5.0, 3.0, false},
    {"3-1-4", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 4m", 4000.0,
     4.0, 2.5, false},
    {"3-1-6.5", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 6.5m",
     6500.0, 4.0, 2.5, false},
    {"3-2-4", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 4m", 4000.0,
     5.0, 3.0, false},
    {"3-2-6.5", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 6.5m",
     6500.0, 5.0, 3.0, false},
    {"4i-1", "用途地域の指定のない区域 (イ) (一) 測定面 1.5m", 1500.0, 3.0, 2.0, false},
    {"4i-2", "用途地域の指定のない区域 (イ) (二) 測定面 1.5m", 1500.0, 4.0, 2.5, false},
    {"4i-3", "用途地域の指定のない区域 (イ) (三) 測定面 1.5m", 1500.0, 5.0, 3.0, false},
    {"4ro-1", "用途地域の指定のない区域 (ロ) (一) 測定面 4m", 4000.0, 3.0, 2.0, false},
    {"4ro-2", "用途地域の指定のない区域 (ロ) (二) 測定面 4m", 4000.0, 4.0, 2.5, false},
    {"4ro-3", "用途地域の指定のない区域 (ロ) (三) 測定面 4m", 4000.0, 5.0, 3.0, false},
    {"1-1-n", "第一種・第二種低層住居専用地域、田園住居地域 (一) 測定面 1.5m 北海道", 1500.0, 2.0,
     1.5, true},
    {"1-2-n", "第一種・第二種低層住居専用地域、田園住居地域 (二) 測定面 1.5m 北海道", 1500.0, 3.0,
     2.0, true},
    {"1-3-n", "第一種・第二種低層住居専用地域、田園住居地域 (三) 測定面 1.5m 北海道", 1500.0, 4.0,
     2.5, true},
    {"2-1-4-n", "第一種・第二種中高層住居専用地域 (一) 測定面 4m 北海道", 4000.0, 2.0, 1.5, true},
    {"2-1-6.5-n", "第一種・第二種中高層住居専用地域 (一) 測定面 6.5m 北海道", 6500.0, 2.0, 1.5,
     true},
    {"2-2-4-n", "第一種・第二種中高層住居専用地域 (二) 測定面 4m 北海道", 4000.0, 3.0, 2.0, true},
    {"2-2-6.5-n", "第一種・第二種中高層住居専用地域 (二) 測定面 6.5m 北海道", 6500.0, 3.0, 2.0,
     true},
    {"2-3-4-n", "第一種・第二種中高層住居専用地域 (三) 測定面 4m 北海道", 4000.0, 4.0, 2.5, true},
    {"2-3-6.5-n", "第一種・第二種中高層住居専用地域 (三) 測定面 6.5m 北海道", 6500.0, 4.0, 2.5,
     true},
    {"3-1-4-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 4m 北海道", 4000.0,
     3.0, 2.0, true},
    {"3-1-6.5-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 6.5m 北海道", 6500.0,
     3.0, 2.0, true},
    {"3-2-4-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 4m 北海道", 4000.0,
     4.0, 2.5, true},
    {"3-2-6.5-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 6.5m 北海道", 6500.0,
     4.0, 2.5, true},
    {"4i-1-n", "用途地域の指定のない区域 (イ) (一) 測定面 1.5m 北海道", 1500.0, 2.0, 1.5, true},
    {"4i-2-n", "用途地域の指定のない区域 (イ) (二) 測定面 1.5m 北海道", 1500.0, 3.0, 2.0, true},
    {"4i-3-n", "用途地域の指定のない区域 (イ) (三) 測定面 1.5m 北海道", 1500.0, 4.0, 2.5, true},
    {"4ro-1-n", "用途地域の指定のない区域 (ロ) (一) 測定面 4m 北海道", 4000.0, 2.0, 1.5, true},
    {"4ro-2-n", "用途地域の指定のない区域 (ロ) (二) 測定面 4m 北海道", 4000.0, 3.0, 2.0, true},
    {"4ro-3-n", "用途地域の指定のない区域 (ロ) (三) 測定面 4m 北海道", 4000.0, 4.0, 2.5, true},
};

}  // namespace

std::span<const ZoneRule> ZoneRules() {
    return kZoneRules;
}

const ZoneRule *FindZoneRule(std::string_view name) {
    for (const ZoneRule &rule : kZoneRules)
        if (rule.Name == name) return &rule;
    return nullptr;
}

RegulationInputs InputsForZone(const ZoneRule &rule) {
    RegulationInputs in;
    in.Zone = std::string(rule.Caption);
    in.PlaneHeight = rule.PlaneHeight;
    in.Limit5 = rule.Limit5;
    in.Limit10 = rule.Limit10;
    in.Start = rule.Northern ? 9.0 : 8.0;
    in.End = rule.Northern ? 15.0 : 16.0;
    return in;
}

int RegulationInstantCount(const RegulationInputs &in) {
    const double k = std::round((in.End - in.Start) * 60.0 / in.StepMinutes);
    if (!std::isfinite(k) || !(k >= 1.0) || k > std::numeric_limits<std::uint16_t>::max()) return 0;
    return static_cast<int>(k);
}

int RegulationCount(double hours, double stepMinutes) {
    return static_cast<int>(shadow::CountThreshold(hours * 60.0 / stepMinutes));
}

RegulationCheck CheckRegulationInputs(const RegulationInputs &in) {
    const double hours = in.End - in.Start;
    if (!std::isfinite(in.Start) || !std::isfinite(in.End) || !(hours > 0.0) ||
        in.Start < solar::kFirstSunTime || in.End > solar::kLastSunTime)
        return RegulationCheck::BadHours;
    for (double limit : {in.Limit5, in.Limit10})
        if (!std::isfinite(limit) || !(limit > 0.0) || limit > hours)
            return RegulationCheck::BadLimits;
    if (!std::isfinite(in.PlaneHeight) || in.PlaneHeight < 0.0)
        return RegulationCheck::BadPlaneHeight;
    // The counters hold at most 65535 instants.
    if (!std::isfinite(in.StepMinutes) || !(in.StepMinutes > 0.0) ||
        in.StepMinutes > hours * 60.0 || RegulationInstantCount(in) == 0)
        return RegulationCheck::BadStep;
    for (const OpenSide &side : in.OpenSides)
        if (!std::isfinite(side.Width) || !(side.Width > 0.0) || !std::isfinite(side.Near.x) ||
            !std::isfinite(side.Near.y))
            return RegulationCheck::BadOpenSide;
    return RegulationCheck::Ok;
}

namespace {

using shadow::RasterGeometry;
using shadow::ShadowCountGrid;

struct Vec {
    double x = 0.0, y = 0.0;
};
Vec Sub(TAcadPoint a, TAcadPoint b) {
    return {a.x - b.x, a.y - b.y};
}
double Cross(Vec a, Vec b) {
    return a.x * b.y - a.y * b.x;
}
double Dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y;
}

double SegmentDistance2(TAcadPoint p, TAcadPoint a, TAcadPoint b) {
    const Vec ab = Sub(b, a), ap = Sub(p, a);
    const double len2 = Dot(ab, ab);
    double t = len2 > 0.0 ? Dot(ap, ab) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = ap.x - t * ab.x, dy = ap.y - t * ab.y;
    return dx * dx + dy * dy;
}
double SegmentDistance(TAcadPoint p, TAcadPoint a, TAcadPoint b) {
    return std::sqrt(SegmentDistance2(p, a, b));
}

// How far the open side moves the boundary out.
double OpenShift(double width) {
    return width <= 10000.0 ? width / 2.0 : width - 5000.0;
}

// The distance of p from a closed outline, negative inside it (even-odd).
// The sides are found through a tree of their boxes: only those that may be nearer than the
// nearest so far, or that may cross the ray to the east of p, are looked at.
class OutlineDistance {
public:
    explicit OutlineDistance(const std::vector<TLineEnt> &outline) : tree_(Boxes(outline, pts_)) {}
    double operator()(TAcadPoint p) const {
        const std::size_t n = pts_.size();
        if (n == 0) return std::numeric_limits<double>::infinity();
        // Side i runs from vertex i - 1 (the last for i = 0) to vertex i.
        const auto side = [&](std::size_t i) {
            return std::pair{pts_[i == 0 ? n - 1 : i - 1], pts_[i]};
        };
        // The side nearest the last point asked (the cells come row by row) bounds the search.
        const auto [la, lb] = side(std::min(last_, n - 1));
        double d = SegmentDistance2(p, la, lb);
        tree_.Query(
            [&](const geometry::BoxTree::Box &b) {
                // Slack for rounding: a side no farther than the nearest so far is never dropped.
                return geometry::BoxDistance2(b, p) > d * (1.0 + 1e-9);
            },
            [&](std::size_t i) {
                const auto [a, b] = side(i);
                const double di = SegmentDistance2(p, a, b);
                if (di < d) {
                    d = di;
                    last_ = i;
                }
                return true;
            });
        bool inside = false;
        tree_.Query(
            [&](const geometry::BoxTree::Box &b) {
                return b.minY > p.y || b.maxY <= p.y || b.maxX <= p.x;
            },
            [&](std::size_t i) {
                const auto [a, b] = side(i);
                if ((a.y > p.y) != (b.y > p.y) &&
                    p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y))
                    inside = !inside;
                return true;
            });
        d = std::sqrt(d);
        return inside ? -d : d;
    }

private:
    static std::vector<geometry::BoxTree::Box> Boxes(const std::vector<TLineEnt> &outline,
                                                     std::vector<TAcadPoint> &pts) {
        pts.reserve(outline.size());
        for (const TLineEnt &e : outline) pts.push_back(e.st);
        std::vector<geometry::BoxTree::Box> boxes;
        const std::size_t n = pts.size();
        for (std::size_t i = 0; i < n; ++i) {
            const TAcadPoint a = pts[i == 0 ? n - 1 : i - 1], b = pts[i];
            boxes.push_back(
                {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)});
        }
        return boxes;
    }
    std::vector<TAcadPoint> pts_;
    geometry::BoxTree tree_;
    mutable std::size_t last_ = 0;
};

// Exact shadow counts of a set of points: at every instant each point inside (or on) the
// shadow quadrilateral of an edge, or under the cast underside of a raised volume, counts once.
// The probe keeps the points in buckets, so that a quadrilateral or underside looks only at the
// points near it.
class PointCounter {
public:
    explicit PointCounter(std::vector<TAcadPoint> points)
        : points_(std::move(points)), counts_(points_.size(), 0), probe_(points_) {}

    const std::vector<TAcadPoint> &Points() const { return points_; }
    const std::vector<int> &Counts() const { return counts_; }

    // One instant; false when the sun casts no shadows then. The undersides of volumes raised
    // above the plane are cast on it too.
    bool Add(std::span<const TLineEnt> edges, std::span<const geometry::Volume> volumes,
             const solar::SolarState &sun, double t, double h) {
        const solar::SunResult pos = solar::SunPosition(sun, t);
        if (!shadow::CastsShadows(pos)) return false;
        if (points_.empty()) return true;
        const double theta = solar::ShadowAngle(sun, pos.Azimuth);
        shaded_.assign(points_.size(), 0);
        probe_.Mark(edges, h, theta, pos.Ratio, shaded_, NoProgress());
        for (const geometry::Volume &v : volumes) {
            if (!(v.bottom > h && v.top > v.bottom) || v.footprint.size() < 3) continue;
            const double dx = std::cos(theta) * (v.bottom - h) * pos.Ratio;
            const double dy = std::sin(theta) * (v.bottom - h) * pos.Ratio;
            if (!std::isfinite(dx) || !std::isfinite(dy)) continue;
            probe_.MarkInRing(v.footprint, dx, dy, shaded_);
        }
        for (std::size_t i = 0; i < points_.size(); ++i) counts_[i] += shaded_[i];
        return true;
    }

private:
    std::vector<TAcadPoint> points_;
    std::vector<int> counts_;
    shadow::QuadProbe probe_;  // the edges' quadrilaterals and the undersides against the points
    std::vector<char> shaded_;
};

// A cell the judgement looks at: shaded at least the smaller limit (less a margin for the
// refinement), with its distance beyond the deemed outline.
struct Candidate {
    int Row = 0, Col = 0;
    double Outside = 0.0;  // distance from the deemed outline, negative inside
};

// Rows and columns of the count grid holding some cells.
struct CellBox {
    int R0 = std::numeric_limits<int>::max(), C0 = std::numeric_limits<int>::max();
    int R1 = -1, C1 = -1;
    void Add(int r, int c) {
        R0 = std::min(R0, r);
        C0 = std::min(C0, c);
        R1 = std::max(R1, r);
        C1 = std::max(C1, c);
    }
    bool Empty() const { return R1 < 0; }
};

// Traces the cells of `grid` reaching `threshold` inside a square window around `box` (two lit
// cells around it, so that no outline meets the window's border), copied into `work`: labelling
// the whole raster for a region of a few hundred cells would take most of the check's time.
// Stopped when the progress asked to stop.
shadow::HourExtraction TraceWindow(const ShadowCountGrid &grid, const RasterGeometry &raster,
                                   const CellBox &box, double threshold, ShadowCountGrid &work,
                                   Progress &progress) {
    const int n = raster.N;
    int size = std::max(box.R1 - box.R0, box.C1 - box.C0) + 5;
    size = std::min((size + 7) / 8 * 8, n);  // the work bitmap takes whole bytes a row
    const int r0 = std::clamp(box.R0 - 2, 0, n - size);
    const int c0 = std::clamp(box.C0 - 2, 0, n - size);
    for (int r = 0; r < size; ++r) {
        const std::span<const std::uint16_t> from = grid.Row(r0 + r);
        std::copy_n(from.begin() + c0, size, work.Row(r).begin());
    }
    RasterGeometry window;
    window.X0 = raster.X0 + raster.Cell * c0;
    window.Y0 = raster.Y0 + raster.Cell * (n - r0 - size);
    window.Cell = raster.Cell;
    window.N = size;
    shadow::ShadowBitmap bitmap(size);
    shadow::ContourHour hour;
    hour.Threshold = threshold;
    return shadow::ExtractHour(work, window, bitmap, hour, progress);
}

// One pass over the instants with the time shown and the stop asked before each: `visit(i, t)`.
// False when the user stopped it.
template <class Visit>
bool EachInstant(const RegulationInputs &in, int instants, Progress &progress, Visit visit) {
    progress.Start(instants);
    for (int i = 0; i < instants; ++i) {
        const double t = RegulationInstant(in, i);
        progress.Status(solar::FormatHM(t));
        progress.Position(i + 1);
        if (!progress.KeepRunning()) return false;
        visit(i, t);
    }
    return true;
}

// A stopped check keeps its inputs and lines and judges nothing.
RegulationResult Stopped(RegulationResult result) {
    result.Status = RegulationStatus::Stopped;
    for (LimitResult &limit : result.Limits) {
        LimitResult cleared;
        cleared.Distance = limit.Distance;
        cleared.LimitHours = limit.LimitHours;
        cleared.Line = std::move(limit.Line);
        cleared.Threshold = limit.Threshold;
        limit = std::move(cleared);
    }
    return result;
}

// Line samples are this far apart at most (mm), whatever the raster.
constexpr double kLineSpacing = 50.0;

// Hours rounded to the second: the times are judged and shown to the second.
double ToSecond(double hours) {
    return std::round(hours * 3600.0) / 3600.0;
}

// "At least the limit": a time equal to the limit to the second reaches it.
bool Reaches(double hours, double limit) {
    return std::round(hours * 3600.0) >= std::round(limit * 3600.0);
}

// The exact shadow times of points for the check.
class ExactTimes {
public:
    ExactTimes(const geometry::BuildingModel &model, const solar::SolarState &sun,
               const RegulationInputs &in)
        : probe_(model.AryTatemono, sun, in.PlaneHeight, model.Volumes, in.Start, in.End) {}

    // The time of p to the second.
    double Hours(TAcadPoint p) const { return ToSecond(probe_.ShadedHours(p)); }

private:
    shadow::ExactShadow probe_;
};

// A count standing for an exact time in the grid: on the same side of both thresholds as the
// time is of both limits.
std::uint16_t CountFor(double hours, const std::array<LimitResult, 2> &limits, double step) {
    int c = static_cast<int>(std::floor(hours * 60.0 / step + 1e-9));
    std::array<const LimitResult *, 2> order{&limits[0], &limits[1]};
    if (order[0]->LimitHours > order[1]->LimitHours) std::swap(order[0], order[1]);
    for (const LimitResult *limit : order)
        c = Reaches(hours, limit->LimitHours) ? std::max(c, limit->Threshold)
                                              : std::min(c, limit->Threshold - 1);
    return static_cast<std::uint16_t>(std::clamp(c, 0, 65535));
}

}  // namespace

std::vector<TLineEnt> DeemOutline(const std::vector<TLineEnt> &outline,
                                  std::span<const OpenSide> sides) {
    const std::size_t n = outline.size();
    if (n < 3) return outline;
    std::vector<double> shift(n, 0.0);
    for (const OpenSide &side : sides) {
        std::size_t best = 0;
        double bestDistance = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < n; ++i) {
            const double d = SegmentDistance(side.Near, outline[i].st, outline[i].ed);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        shift[best] = std::max(shift[best], OpenShift(side.Width));
    }
    if (std::all_of(shift.begin(), shift.end(), [](double d) { return d == 0.0; })) return outline;

    // Each side as a line: a point on it (moved out along the right-hand normal of the
    // counter-clockwise outline) and its direction.
    struct Line {
        TAcadPoint p;
        Vec d;
    };
    std::vector<Line> lines(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec d = Sub(outline[i].ed, outline[i].st);
        const double len = std::hypot(d.x, d.y);
        if (len == 0.0) return {};
        const Vec out{d.y / len, -d.x / len};
        lines[i] = {{outline[i].st.x + out.x * shift[i], outline[i].st.y + out.y * shift[i], 0.0},
                    d};
    }
    std::vector<TAcadPoint> vertices;
    for (std::size_t i = 0; i < n; ++i) {
        const Line &a = lines[(i + n - 1) % n];
        const Line &b = lines[i];
        const double den = Cross(a.d, b.d);
        const double lenA = std::hypot(a.d.x, a.d.y), lenB = std::hypot(b.d.x, b.d.y);
        if (std::fabs(den) <= 1e-12 * lenA * lenB) {
            // Parallel neighbours: a step joins the moved side to the other.
            const TAcadPoint endA{a.p.x + a.d.x, a.p.y + a.d.y, 0.0};
            vertices.push_back(endA);
            if (geometry::Dist2D(endA, b.p) > geometry::kPointTol) vertices.push_back(b.p);
            continue;
        }
        const double t = Cross(Sub(b.p, a.p), b.d) / den;
        vertices.push_back({a.p.x + a.d.x * t, a.p.y + a.d.y * t, 0.0});
    }
    std::vector<TLineEnt> deemed;
    const std::size_t m = vertices.size();
    for (std::size_t i = 0; i < m; ++i) {
        TLineEnt e = outline[std::min(i, n - 1)];
        e.st = vertices[i];
        e.ed = vertices[(i + 1) % m];
        deemed.push_back(e);
    }
    // A side cut to nothing or turned round folds the outline.
    if (m == n) {
        for (std::size_t i = 0; i < n; ++i) {
            const Vec d = Sub(deemed[i].ed, deemed[i].st);
            if (!(Dot(d, lines[i].d) > 0.0)) return {};
        }
    }
    double area = 0.0;
    for (const TLineEnt &e : deemed) area += Cross(Vec{e.st.x, e.st.y}, Vec{e.ed.x, e.ed.y});
    if (!(area > 0.0)) return {};
    return deemed;
}

std::vector<TAcadPoint> SampleLine(const boundary::KyoukaisenLine &line, double spacing) {
    std::vector<TAcadPoint> out;
    const std::size_t n = line.vertices.size();
    if (n == 0 || !(spacing > 0.0)) return out;
    for (std::size_t i = 0; i < n; ++i) {
        const boundary::KyoukaisenVertex &v = line.vertices[i];
        const TAcadPoint p = v.pt, q = line.vertices[(i + 1) % n].pt;
        out.push_back({p.x, p.y, 0.0});
        const double c = geometry::Dist2D(p, q);
        if (c == 0.0) continue;
        if (v.bulge && *v.bulge != 0.0) {
            // From p to q about the arc's centre: theta turns counter-clockwise when positive.
            const double theta = 4.0 * std::atan(*v.bulge);
            const geometry::TBulgeArc arc = geometry::BulgeToArc(p, q, *v.bulge);
            const double r = arc.Radius;
            const TAcadPoint centre = arc.Center;
            const double a0 = std::atan2(p.y - centre.y, p.x - centre.x);
            const int pieces =
                std::max(1, static_cast<int>(std::ceil(r * std::fabs(theta) / spacing)));
            for (int j = 1; j < pieces; ++j) {
                const double a = a0 + theta * j / pieces;
                out.push_back({centre.x + r * std::cos(a), centre.y + r * std::sin(a), 0.0});
            }
        } else {
            const int pieces = std::max(1, static_cast<int>(std::ceil(c / spacing)));
            for (int j = 1; j < pieces; ++j) {
                const double f = static_cast<double>(j) / pieces;
                out.push_back({p.x + (q.x - p.x) * f, p.y + (q.y - p.y) * f, 0.0});
            }
        }
    }
    return out;
}

RegulationResult CheckRegulation(const geometry::BuildingModel &model,
                                 const solar::SolarState &state, std::vector<TLineEnt> siteEdges,
                                 const RegulationInputs &in, Progress &progress) {
    RegulationResult result;
    result.Inputs = in;
    result.Check = CheckRegulationInputs(in);
    if (result.Check != RegulationCheck::Ok) {
        result.Status = RegulationStatus::Invalid;
        return result;
    }
    if (model.Empty()) {
        result.Status = RegulationStatus::NoModel;
        return result;
    }
    boundary::KyoukaisenResult site = boundary::MakeKyoukaisen(std::move(siteEdges), progress);
    if (site.status == boundary::KyoukaisenStatus::Stopped) {
        return Stopped(std::move(result));
    }
    if (site.status != boundary::KyoukaisenStatus::Done) {
        result.Status = RegulationStatus::SiteNotClosed;
        return result;
    }
    result.SiteOutline = site.outline;
    result.DeemedOutline = DeemOutline(site.outline, in.OpenSides);
    if (result.DeemedOutline.empty()) {
        result.Check = RegulationCheck::BadOpenSide;
        result.Status = RegulationStatus::Invalid;
        return result;
    }
    for (int k = 0; k < 2; ++k) {
        LimitResult &limit = result.Limits[static_cast<std::size_t>(k)];
        limit.Distance = boundary::kKyoukaisenDistances[k];
        limit.LimitHours = k == 0 ? in.Limit5 : in.Limit10;
        limit.Line = boundary::OffsetOutline(result.DeemedOutline, limit.Distance);
        limit.Threshold = RegulationCount(limit.LimitHours, in.StepMinutes);
        if (limit.Line.vertices.size() < 2) {
            result.Status = RegulationStatus::SiteNotClosed;
            return result;
        }
    }

    // The winter solstice in true solar time at the state's latitude and north.
    solar::SolarState sun = state;
    sun.Declination = solar::kWinterDeclination;
    sun.SinDecl = std::sin(sun.Declination);
    sun.CosDecl = std::cos(sun.Declination);
    sun.UseStdTime = false;

    const std::span<const TLineEnt> edges = model.AryTatemono;
    const int instants = RegulationInstantCount(in);
    result.Instants = instants;
    const double step = in.StepMinutes;
    const int low = std::min(result.Limits[0].Threshold, result.Limits[1].Threshold);

    // Extent: the ground shaded for a little less than the smaller limit, on the coarse raster.
    auto grid = std::make_unique<ShadowCountGrid>();
    shadow::Extent pimuHani;
    shadow::GetPimuHani(model, sun, in.PlaneHeight, in.Start, in.End, pimuHani.XMin, pimuHani.YMin,
                        pimuHani.XMax, pimuHani.YMax);
    const double referenceHour =
        std::max(std::min(in.Limit5, in.Limit10) - 4.0 * shadow::kExtentStepMinutes / 60.0,
                 shadow::kExtentStepMinutes / 60.0);
    const shadow::ToujiHani hani =
        shadow::GetToujiHani(edges, sun, in.PlaneHeight, in.Start, in.End, referenceHour, pimuHani,
                             *grid, progress, model.Volumes);
    if (hani.Summary.Stopped || !progress.KeepRunning()) {
        return Stopped(std::move(result));
    }

    // Counting: every instant on the fine raster.
    RasterGeometry raster;
    const int n = ShadowCountGrid::kSize;
    if (hani.Found) {
        raster.X0 = hani.Rect.XMin;
        raster.Y0 = hani.Rect.YMin;
        raster.Cell = shadow::FineCellSize(hani.Rect, n);
        raster.N = n;
    }
    const bool counting = hani.Found && raster.Cell > 0.0 && std::isfinite(raster.Cell);
    result.Cell = counting ? raster.Cell : 0.0;
    grid->Clear();
    {
        std::unique_ptr<shadow::RunCounter> counter;
        if (counting) counter = std::make_unique<shadow::RunCounter>(n);
        const bool ran = EachInstant(in, instants, progress, [&](int, double t) {
            if (!shadow::CastsShadows(solar::SunPosition(sun, t))) {
                ++result.NoSunInstants;
                return;
            }
            if (counter)
                shadow::CountShadowRuns(edges, sun, t, in.PlaneHeight, raster, *counter,
                                        model.Volumes);
        });
        if (!ran) return Stopped(std::move(result));
        if (counter) {
            counter->AddTo(*grid);
            shadow::CountFootprints(model.Volumes, in.PlaneHeight, raster,
                                    instants - result.NoSunInstants, *grid);
        }
    }

    // The cells near the thresholds and the lines: their distances from the deemed outline, and
    // those within a cell and a half of a line with a count near its threshold get exact counts.
    const OutlineDistance outside(result.DeemedOutline);
    const int slack = std::max(3, low / 10);
    std::vector<Candidate> candidates;
    std::vector<std::size_t> refine;  // indices into candidates
    std::vector<TAcadPoint> points;
    if (counting) {
        const double band = 1.5 * raster.Cell;
        for (int r = 0; r < n; ++r) {
            if (!progress.KeepRunning()) {
                return Stopped(std::move(result));
            }
            const std::span<const std::uint16_t> row = grid->Row(r);
            for (int c = 0; c < n; ++c) {
                const int count = row[static_cast<std::size_t>(c)];
                if (count < low - slack || count == 0) continue;
                const TAcadPoint p = shadow::CellPoint(raster, r, c);
                const double d = outside(p);
                candidates.push_back({r, c, d});
                for (const LimitResult &limit : result.Limits) {
                    if (std::fabs(d - limit.Distance) <= band &&
                        std::abs(count - limit.Threshold) <= slack) {
                        refine.push_back(candidates.size() - 1);
                        points.push_back(p);
                        break;
                    }
                }
            }
        }
    }
    result.RefinedCells = static_cast<int>(refine.size());

    // The lines, sampled every kLineSpacing at most (the same samples whatever the raster).
    std::array<std::size_t, 3> lineStart{};
    lineStart[0] = points.size();
    for (int k = 0; k < 2; ++k) {
        const std::vector<TAcadPoint> samples =
            SampleLine(result.Limits[static_cast<std::size_t>(k)].Line, kLineSpacing);
        points.insert(points.end(), samples.begin(), samples.end());
        lineStart[static_cast<std::size_t>(k) + 1] = points.size();
    }
    result.LineSamples = static_cast<int>(points.size() - lineStart[0]);

    // The counts of the lines and the refined cells at the check's instants.
    PointCounter counted(std::move(points));
    if (!EachInstant(in, instants, progress, [&](int, double t) {
            counted.Add(edges, model.Volumes, sun, t, in.PlaneHeight);
        }))
        return Stopped(std::move(result));
    const std::vector<int> &counts = counted.Counts();
    const std::vector<TAcadPoint> &at = counted.Points();

    // Where a count lies within `band` instants of a threshold the time is made exact: sampled
    // counts differ from the exact time by less than a step at each end of a shadow.
    const ExactTimes exact(model, sun, in);
    const int band = 3 + static_cast<int>(std::ceil(2.0 / step));
    constexpr double kUnknown = -1.0;
    std::vector<double> cellHours(candidates.size(), kUnknown);
    for (std::size_t j = 0; j < refine.size(); ++j) {
        const Candidate &cell = candidates[refine[j]];
        grid->At(cell.Row, cell.Col) = static_cast<std::uint16_t>(counts[j]);
    }

    // The lines: the exact time of every sample near its limit or near the line's largest count,
    // and around each local maximum near either the largest time on the line is searched for
    // between the neighbouring samples.
    std::array<bool, 2> crossesOnLine{};
    for (int k = 0; k < 2; ++k) {
        LimitResult &limit = result.Limits[static_cast<std::size_t>(k)];
        const std::size_t first = lineStart[static_cast<std::size_t>(k)];
        const std::size_t m = lineStart[static_cast<std::size_t>(k) + 1] - first;
        if (m == 0) continue;
        int maxCount = 0;
        for (std::size_t j = 0; j < m; ++j) maxCount = std::max(maxCount, counts[first + j]);
        std::vector<double> hours(m, kUnknown);
        const auto hoursAt = [&](std::size_t j) {
            if (hours[j] == kUnknown) hours[j] = exact.Hours(at[first + j]);
            return hours[j];
        };
        double best = -1.0;
        for (std::size_t j = 0; j < m; ++j) {
            const int c = counts[first + j];
            if (c < maxCount - band && std::abs(c - limit.Threshold) > band) continue;
            if (!progress.KeepRunning()) return Stopped(std::move(result));
            if (hoursAt(j) > best) {
                best = hours[j];
                limit.MaxHoursAt = at[first + j];
            }
        }
        // Local maxima within two minutes of the limit or of the largest time: the largest time
        // between their neighbours, by golden-section search along the chord.
        const double close = 2.0 / 60.0;
        for (std::size_t j = 0; j < m; ++j) {
            if (hours[j] == kUnknown) continue;
            const double h = hours[j];
            if (std::fabs(h - limit.LimitHours) > close && h < best - close) continue;
            const std::size_t prev = (j + m - 1) % m, next = (j + 1) % m;
            // A peak, not a plateau: no neighbour higher, one lower.
            if (hoursAt(prev) > h || hoursAt(next) > h || (hours[prev] == h && hours[next] == h))
                continue;
            if (!progress.KeepRunning()) return Stopped(std::move(result));
            const TAcadPoint a = at[first + prev], b = at[first + next];
            const auto point = [&](double f) {
                return TAcadPoint{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, 0.0};
            };
            const double g = (std::sqrt(5.0) - 1.0) / 2.0;
            double lo = 0.0, hi = 1.0;
            double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
            double f1 = exact.Hours(point(x1)), f2 = exact.Hours(point(x2));
            for (int it = 0; it < 16; ++it) {
                if (f1 >= f2) {
                    hi = x2;
                    x2 = x1;
                    f2 = f1;
                    x1 = hi - g * (hi - lo);
                    f1 = exact.Hours(point(x1));
                } else {
                    lo = x1;
                    x1 = x2;
                    f1 = f2;
                    x2 = lo + g * (hi - lo);
                    f2 = exact.Hours(point(x2));
                }
            }
            if (std::max(f1, f2) > best) {
                best = std::max(f1, f2);
                limit.MaxHoursAt = point(f1 >= f2 ? x1 : x2);
            }
        }
        limit.MaxHoursOnLine = std::max(best, 0.0);
        crossesOnLine[static_cast<std::size_t>(k)] =
            Reaches(limit.MaxHoursOnLine, limit.LimitHours);
    }

    // Beyond a line the line does not decide: cells whose count is near its threshold are made
    // exact, so that a region that crosses without touching the line is judged to the second.
    for (int k = 0; k < 2; ++k) {
        const LimitResult &limit = result.Limits[static_cast<std::size_t>(k)];
        if (crossesOnLine[static_cast<std::size_t>(k)] || !counting) continue;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const Candidate &cell = candidates[i];
            if (cellHours[i] != kUnknown || cell.Outside < limit.Distance) continue;
            std::uint16_t &value = grid->At(cell.Row, cell.Col);
            if (std::abs(value - limit.Threshold) > band) continue;
            if (!progress.KeepRunning()) return Stopped(std::move(result));
            cellHours[i] = exact.Hours(shadow::CellPoint(raster, cell.Row, cell.Col));
            value = CountFor(cellHours[i], result.Limits, step);
        }
    }

    // The judgement: the cells beyond each line that reach its limit, and how far inside the
    // others stay.
    const double cellArea = raster.Cell * raster.Cell;
    std::unique_ptr<ShadowCountGrid> crossing, work;
    if (counting) {
        crossing = std::make_unique<ShadowCountGrid>();
        work = std::make_unique<ShadowCountGrid>();
    }
    progress.Start(4);
    for (int k = 0; k < 2; ++k) {
        LimitResult &limit = result.Limits[static_cast<std::size_t>(k)];
        std::int64_t crossingCells = 0;
        CellBox regionBox, crossingBox;
        // Cells inside the line that may reach the limit, nearest the line first.
        std::vector<std::pair<double, std::size_t>> inside;
        if (counting) {
            crossing->Clear();
            for (std::size_t i = 0; i < candidates.size(); ++i) {
                const Candidate &cell = candidates[i];
                const int value = grid->At(cell.Row, cell.Col);
                const double beyond = cell.Outside - limit.Distance;
                if (beyond < 0.0 && value >= limit.Threshold - band) inside.push_back({-beyond, i});
                if (value < limit.Threshold) continue;
                regionBox.Add(cell.Row, cell.Col);
                if (beyond >= 0.0) {  // on the line counts as beyond
                    crossing->At(cell.Row, cell.Col) = 1;
                    crossingBox.Add(cell.Row, cell.Col);
                    ++crossingCells;
                    limit.MaxBeyond = std::max(limit.MaxBeyond, beyond);
                }
            }
        }
        limit.Complies = crossingCells == 0 && !crossesOnLine[static_cast<std::size_t>(k)];
        limit.CrossingArea = static_cast<double>(crossingCells) * cellArea;
        if (!limit.Complies) {
            limit.Margin = -limit.MaxBeyond;
        } else {
            // The nearest cells whose exact times reach the limit (those within two cells of the
            // first found), and from each the place towards the line where the time falls below
            // the limit.
            std::sort(inside.begin(), inside.end());
            double reach = std::numeric_limits<double>::infinity();
            for (const auto &[distance, i] : inside) {
                if (distance > reach + 2.0 * raster.Cell) break;
                const Candidate &cell = candidates[i];
                const TAcadPoint p = shadow::CellPoint(raster, cell.Row, cell.Col);
                if (!progress.KeepRunning()) return Stopped(std::move(result));
                if (cellHours[i] == kUnknown) cellHours[i] = exact.Hours(p);
                if (!Reaches(cellHours[i], limit.LimitHours)) continue;
                reach = std::min(reach, distance);
                // Towards the line: up the distance from the deemed outline.
                const double e = raster.Cell / 8.0;
                double gx = outside({p.x + e, p.y, 0.0}) - outside({p.x - e, p.y, 0.0});
                double gy = outside({p.x, p.y + e, 0.0}) - outside({p.x, p.y - e, 0.0});
                const double gl = std::hypot(gx, gy);
                double margin = distance;
                if (gl > 0.0) {
                    gx /= gl;
                    gy /= gl;
                    const auto along = [&](double s) {
                        return TAcadPoint{p.x + gx * s, p.y + gy * s, 0.0};
                    };
                    double lo = 0.0, hi = std::min(distance, 1.5 * raster.Cell);
                    if (Reaches(exact.Hours(along(hi)), limit.LimitHours)) lo = hi;
                    while (hi - lo > 1.0) {
                        const double mid = (lo + hi) / 2.0;
                        (Reaches(exact.Hours(along(mid)), limit.LimitHours) ? lo : hi) = mid;
                    }
                    margin = std::max(0.0, limit.Distance - outside(along(lo)));
                }
                limit.Margin = std::min(limit.Margin.value_or(margin), margin);
            }
        }

        // The outlines: the crossings, then the regions with their holes.
        for (int part = 0; part < 2; ++part) {
            const CellBox &box = part == 0 ? crossingBox : regionBox;
            if (box.Empty()) continue;
            progress.Position(2 * k + part + 1);
            const shadow::HourExtraction traced =
                part == 0 ? TraceWindow(*crossing, raster, box, 1.0, *work, progress)
                          : TraceWindow(*grid, raster, box, limit.Threshold, *work, progress);
            if (traced.End == shadow::HourEnd::Stopped) return Stopped(std::move(result));
            for (const shadow::TracedOutline &o : traced.Outlines)
                (part == 0 ? limit.Crossings : limit.Regions).push_back(o.Points);
            if (part == 1)
                for (const shadow::TracedOutline &o : traced.Holes) limit.Holes.push_back(o.Points);
        }
    }
    result.Status = RegulationStatus::Done;
    return result;
}

}  // namespace pimu::regulation
