#include "sky/sky_compare.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "geometry/tolerances.h"

namespace pimu::sky {

using geometry::kDegToRad;
using geometry::TLineEnt;

namespace {

// A linear function of the plan: value = c + cx x + cy y (a height, or a signed distance).
struct Linear {
    double c = 0.0;
    double cx = 0.0;
    double cy = 0.0;
    double At(TAcadPoint p) const { return c + cx * p.x + cy * p.y; }
    Linear Plus(double k) const { return {c + k, cx, cy}; }
    Linear Times(double k) const { return {c * k, cx * k, cy * k}; }
    Linear Minus(const Linear &o) const { return {c - o.c, cx - o.cx, cy - o.cy}; }
};

// Side i of the ring: its ends, length and outward unit normal (the ring runs counter-clockwise).
struct Side {
    TAcadPoint a;
    TAcadPoint b;
    double length = 0.0;
    double nx = 0.0;
    double ny = 0.0;
    // The distance of a point from the side's line, positive inside the site.
    Linear Inward() const { return {a.x * nx + a.y * ny, -nx, -ny}; }
};

Side SideOf(const std::vector<TAcadPoint> &ring, std::size_t i) {
    Side s;
    s.a = ring[i];
    s.b = ring[(i + 1) % ring.size()];
    const double dx = s.b.x - s.a.x;
    const double dy = s.b.y - s.a.y;
    s.length = std::hypot(dx, dy);
    if (s.length > 0.0) {
        s.nx = dy / s.length;
        s.ny = -dx / s.length;
    }
    return s;
}

const RoadSide *RoadOf(const CompareSite &site, std::size_t side) {
    for (const RoadSide &r : site.roads)
        if (r.side == side) return &r;
    return nullptr;
}

TAcadPoint Lerp(TAcadPoint p, TAcadPoint q, double t) {
    return {p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t, p.z + (q.z - p.z) * t};
}

double SegmentDistance(TAcadPoint p, TAcadPoint a, TAcadPoint b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double l2 = dx * dx + dy * dy;
    double t = l2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Inside the ring or on its outline (within tol).
bool InSite(const std::vector<TAcadPoint> &ring, TAcadPoint p, double tol) {
    bool inside = false;
    const std::size_t n = ring.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const TAcadPoint a = ring[j];
        const TAcadPoint b = ring[i];
        if (SegmentDistance(p, a, b) <= tol) return true;
        if ((b.y > p.y) != (a.y > p.y) && p.x < (a.x - b.x) * (p.y - b.y) / (a.y - b.y) + b.x)
            inside = !inside;
    }
    return inside;
}

// The part of a plan polygon where h >= 0 (the polygon may be concave: where it leaves the
// half-plane more than once, the result runs along the boundary line; such runs are cut to the
// site later).
std::vector<TAcadPoint> ClipHalfPlane(const std::vector<TAcadPoint> &poly, const Linear &h) {
    std::vector<TAcadPoint> out;
    const std::size_t n = poly.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint p = poly[i];
        const TAcadPoint q = poly[(i + 1) % n];
        const double hp = h.At(p);
        const double hq = h.At(q);
        if (hp >= 0.0) out.push_back(p);
        if ((hp >= 0.0) != (hq >= 0.0)) out.push_back(Lerp(p, q, hp / (hp - hq)));
    }
    return out;
}

// The pieces of the plan segment p-q (z carried along) that lie on the site, inside or on its
// outline.
void AppendOnSite(const std::vector<TAcadPoint> &ring, TAcadPoint p, TAcadPoint q, double base,
                  std::vector<TLineEnt> &out) {
    const double len = std::hypot(q.x - p.x, q.y - p.y);
    if (!(len > geometry::kPointTol)) return;
    std::vector<double> cuts = {0.0, 1.0};
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TAcadPoint a = ring[i];
        const TAcadPoint b = ring[(i + 1) % n];
        const double rx = q.x - p.x, ry = q.y - p.y, sx = b.x - a.x, sy = b.y - a.y;
        const double den = rx * sy - ry * sx;
        if (std::fabs(den) < 1e-12 * len * std::hypot(sx, sy)) continue;
        const double t = ((a.x - p.x) * sy - (a.y - p.y) * sx) / den;
        const double u = ((a.x - p.x) * ry - (a.y - p.y) * rx) / den;
        if (t > 0.0 && t < 1.0 && u >= 0.0 && u <= 1.0) cuts.push_back(t);
    }
    std::sort(cuts.begin(), cuts.end());
    const double tol = 1e-6 * std::max(1.0, len);
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
        if (cuts[k + 1] - cuts[k] < 1e-12) continue;
        const TAcadPoint mid = Lerp(p, q, 0.5 * (cuts[k] + cuts[k + 1]));
        if (!InSite(ring, mid, tol)) continue;
        TLineEnt e;
        e.st = Lerp(p, q, cuts[k]);
        e.ed = Lerp(p, q, cuts[k + 1]);
        e.base = base;
        if (!out.empty() && out.back().ed.x == e.st.x && out.back().ed.y == e.st.y &&
            out.back().ed.z == e.st.z && out.back().base == base) {
            // Continue the previous piece when they meet in line.
            const TAcadPoint s = out.back().st;
            const double cross =
                (e.st.x - s.x) * (e.ed.y - e.st.y) - (e.st.y - s.y) * (e.ed.x - e.st.x);
            if (std::fabs(cross) < 1e-9 * len * len) {
                out.back().ed = e.ed;
                continue;
            }
        }
        out.push_back(e);
    }
}

// One planar piece of a slant solid: its height, where it applies (every h >= 0) and the
// other planes it must stay under.
struct SlantPlane {
    Linear height;
    std::vector<Linear> bounds;
};

// The planes of a limit over the site.
std::vector<SlantPlane> SlantPlanesOf(const CompareSite &site, const SlantRules &rules,
                                      SlantLimit limit) {
    std::vector<SlantPlane> planes;
    const std::size_t n = site.ring.size();
    const double nx = std::cos(site.north * kDegToRad);
    const double ny = std::sin(site.north * kDegToRad);
    for (std::size_t i = 0; i < n; ++i) {
        const Side s = SideOf(site.ring, i);
        if (!(s.length > 0.0)) continue;
        const RoadSide *road = RoadOf(site, i);
        const Linear in = s.Inward();
        SlantPlane plane;
        if (limit == SlantLimit::Road) {
            if (!road) continue;
            // From the far side of the road moved out by the setback; within the applicable
            // distance of it; the conforming building keeps the setback.
            const double from = road->width + road->setback;
            plane.height = in.Plus(from).Times(rules.roadSlope);
            plane.bounds.push_back(in.Times(-1.0).Plus(rules.roadDistance - from));
            if (road->setback > 0.0) plane.bounds.push_back(in.Plus(-road->setback));
        } else if (limit == SlantLimit::Adjacent) {
            if (road || !rules.adjacent) continue;
            plane.height = in.Times(rules.adjacentSlope).Plus(rules.adjacentRise);
        } else {
            if (!rules.north) continue;
            const double facing = s.nx * nx + s.ny * ny;  // cosine of the side's normal to north
            if (!(facing > 1e-9)) continue;
            // The horizontal distance northward to the boundary (for a road, its far side).
            const double from = road ? road->width : 0.0;
            plane.height = in.Plus(from).Times(rules.northSlope / facing).Plus(rules.northRise);
        }
        plane.bounds.push_back(plane.height);  // never below the ground
        planes.push_back(std::move(plane));
    }
    // Each plane holds where it is the lowest.
    for (std::size_t k = 0; k < planes.size(); ++k)
        for (std::size_t j = 0; j < planes.size(); ++j)
            if (j != k) planes[k].bounds.push_back(planes[j].height.Minus(planes[k].height));
    return planes;
}

// Evenly spaced points from p to q, at most `spacing` apart, both ends included.
void AppendEvenly(TAcadPoint p, TAcadPoint q, double spacing, std::vector<TAcadPoint> &out) {
    const double len = std::hypot(q.x - p.x, q.y - p.y);
    const int parts = std::max(1, static_cast<int>(std::ceil(len / spacing - 1e-9)));
    for (int k = 0; k <= parts; ++k) out.push_back(Lerp(p, q, static_cast<double>(k) / parts));
}

// Evenly spaced points on the arc round c from angle a0 turning by sweep (radians, either
// sign), at most `spacing` apart along it, both ends included.
void AppendArc(TAcadPoint c, double r, double a0, double sweep, double spacing,
               std::vector<TAcadPoint> &out) {
    const double len = std::fabs(sweep) * r;
    const int parts = std::max(1, static_cast<int>(std::ceil(len / spacing - 1e-9)));
    for (int k = 0; k <= parts; ++k) {
        const double a = a0 + sweep * k / parts;
        out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a), 0.0});
    }
}

// Where the lines p + t d and q + u e meet, as t.
bool MeetAt(TAcadPoint p, TAcadPoint d, TAcadPoint q, TAcadPoint e, double &t) {
    const double den = d.x * e.y - d.y * e.x;
    if (std::fabs(den) < 1e-12) return false;
    t = ((q.x - p.x) * e.y - (q.y - p.y) * e.x) / den;
    return true;
}

// The turn at the ring's vertex i: positive at an outer corner of a counter-clockwise ring.
double Turn(const std::vector<TAcadPoint> &ring, std::size_t i) {
    const std::size_t n = ring.size();
    const TAcadPoint p = ring[(i + n - 1) % n], v = ring[i], q = ring[(i + 1) % n];
    return (v.x - p.x) * (q.y - v.y) - (v.y - p.y) * (q.x - v.x);
}

std::vector<TAcadPoint> AdjacentLine(const CompareSite &site, const SlantRules &rules,
                                     std::size_t i) {
    const std::size_t n = site.ring.size();
    const Side s = SideOf(site.ring, i);
    const double d = rules.adjacentLine;
    TAcadPoint p{s.a.x + d * s.nx, s.a.y + d * s.ny, 0.0};
    TAcadPoint q{s.b.x + d * s.nx, s.b.y + d * s.ny, 0.0};
    const TAcadPoint dir{q.x - p.x, q.y - p.y, 0.0};
    double t0 = 0.0, t1 = 1.0;
    // At an inner corner the line ends where it meets the neighbour's line.
    const auto neighbour = [&](std::size_t j, bool atStart) {
        if (RoadOf(site, j)) return;
        const std::size_t vertex = atStart ? i : (i + 1) % n;
        if (!(Turn(site.ring, vertex) < 0.0)) return;
        const Side o = SideOf(site.ring, j);
        const TAcadPoint op{o.a.x + d * o.nx, o.a.y + d * o.ny, 0.0};
        const TAcadPoint od{o.b.x - o.a.x, o.b.y - o.a.y, 0.0};
        double t = 0.0;
        if (!MeetAt(p, dir, op, od, t)) return;
        if (atStart)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    };
    neighbour((i + n - 1) % n, true);
    neighbour((i + 1) % n, false);
    std::vector<TAcadPoint> out;
    if (t1 - t0 <= 1e-9) return out;
    AppendEvenly(Lerp(p, q, t0), Lerp(p, q, t1), rules.adjacentSpacing, out);
    // The arc round an outer corner at the side's end, to the next side's line.
    const std::size_t next = (i + 1) % n;
    if (!RoadOf(site, next) && Turn(site.ring, next) > 0.0) {
        const Side o = SideOf(site.ring, next);
        const double a0 = std::atan2(s.ny, s.nx);
        double sweep = std::atan2(o.ny, o.nx) - a0;
        while (sweep <= 0.0) sweep += 2.0 * geometry::kPi;
        if (sweep < geometry::kPi) AppendArc(s.b, d, a0, sweep, rules.adjacentSpacing, out);
    }
    return out;
}

std::string LabelPrefix(SlantLimit limit) {
    switch (limit) {
        case SlantLimit::Road:
            return "道";
        case SlantLimit::Adjacent:
            return "隣";
        case SlantLimit::North:
            return "北";
    }
    return "";
}

double Pow10(int decimals) {
    return std::pow(10.0, decimals);
}

}  // namespace

SlantRules SlantRulesOf(SlantZone zone) {
    SlantRules r;
    switch (zone) {
        case SlantZone::LowRise:
            r.adjacent = false;
            r.north = true;
            r.northRise = 5000.0;
            r.northLine = 4000.0;
            r.northSpacing = 1000.0;
            break;
        case SlantZone::MidHigh:
            r.north = true;
            r.northRise = 10000.0;
            r.northLine = 8000.0;
            r.northSpacing = 2000.0;
            break;
        case SlantZone::Residential:
            break;
        case SlantZone::Other:
            r.roadSlope = 1.5;
            r.adjacentRise = 31000.0;
            r.adjacentSlope = 2.5;
            r.adjacentLine = 12400.0;
            r.adjacentSpacing = 6200.0;
            break;
    }
    return r;
}

std::vector<MeasurementPoint> MeasurementPoints(const CompareSite &site, const SlantRules &rules,
                                                SlantLimit limit) {
    std::vector<MeasurementPoint> out;
    const std::size_t n = site.ring.size();
    if (n < 3) return out;
    const double nx = std::cos(site.north * kDegToRad);
    const double ny = std::sin(site.north * kDegToRad);
    for (std::size_t i = 0; i < n; ++i) {
        const Side s = SideOf(site.ring, i);
        if (!(s.length > 0.0)) continue;
        const RoadSide *road = RoadOf(site, i);
        std::vector<TAcadPoint> pts;
        if (limit == SlantLimit::Road) {
            if (!road || !(road->width > 0.0)) continue;
            const double d = road->width + road->setback;
            const TAcadPoint p{s.a.x + d * s.nx, s.a.y + d * s.ny, 0.0};
            const TAcadPoint q{s.b.x + d * s.nx, s.b.y + d * s.ny, 0.0};
            AppendEvenly(p, q, road->width / 2.0, pts);
        } else if (limit == SlantLimit::Adjacent) {
            if (road || !rules.adjacent || !(rules.adjacentSpacing > 0.0)) continue;
            pts = AdjacentLine(site, rules, i);
        } else {
            if (!rules.north || !(rules.northSpacing > 0.0)) continue;
            const double facing = s.nx * nx + s.ny * ny;
            if (!(facing > 1e-9)) continue;
            const double d = (road ? road->width / facing : 0.0) + rules.northLine;
            const TAcadPoint p{s.a.x + d * nx, s.a.y + d * ny, 0.0};
            const TAcadPoint q{s.b.x + d * nx, s.b.y + d * ny, 0.0};
            AppendEvenly(p, q, rules.northSpacing, pts);
        }
        for (const TAcadPoint &p : pts) {
            // Never on the site, never twice, and on the adjacent line only where the boundary
            // is no nearer than the line's distance.
            if (InSite(site.ring, p, -1.0)) continue;
            bool twice = false;
            for (const MeasurementPoint &m : out)
                twice = twice || std::hypot(m.pt.x - p.x, m.pt.y - p.y) < 1.0;
            if (twice) continue;
            if (limit == SlantLimit::Adjacent) {
                bool nearer = false;
                for (std::size_t j = 0; j < n && !nearer; ++j)
                    nearer = !RoadOf(site, j) &&
                             SegmentDistance(p, site.ring[j], site.ring[(j + 1) % n]) <
                                 rules.adjacentLine - 1.0;
                if (nearer) continue;
            }
            MeasurementPoint m;
            m.limit = limit;
            m.side = i;
            m.pt = p;
            out.push_back(m);
        }
    }
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k].label = LabelPrefix(limit) + std::to_string(k + 1);
    return out;
}

ConformingBuilding ConformingBuildingOf(const CompareSite &site, const SlantRules &rules,
                                        SlantLimit limit) {
    ConformingBuilding out;
    if (site.ring.size() < 3) return out;
    double extent = 0.0;
    for (const TAcadPoint &p : site.ring)
        extent = std::max({extent, std::fabs(p.x), std::fabs(p.y)});
    const double tol = 1e-9 * std::max(1.0, extent);
    for (const SlantPlane &plane : SlantPlanesOf(site, rules, limit)) {
        std::vector<TAcadPoint> piece = site.ring;
        for (const Linear &h : plane.bounds) {
            piece = ClipHalfPlane(piece, h.Plus(tol));
            if (piece.size() < 3) break;
        }
        if (piece.size() < 3) continue;
        std::vector<TAcadPoint> face;
        for (TAcadPoint p : piece) {
            p.z = std::max(0.0, plane.height.At(p));
            face.push_back(p);
        }
        for (std::size_t k = 0; k < face.size(); ++k)
            AppendOnSite(site.ring, face[k], face[(k + 1) % face.size()], 0.0, out.sky.edges);
        out.faces.push_back(std::move(face));
    }
    return out;
}

SkyBuildings PlannedBuildingsFor(const geometry::BuildingModel &model, const CompareSite &site,
                                 const SlantRules &rules, SlantLimit limit) {
    if (limit != SlantLimit::Road) return SkyBuildingsOf(model);
    SkyBuildings out;
    // The strips within the applicable distance of each road.
    std::vector<Linear> strips;
    for (const RoadSide &road : site.roads) {
        if (road.side >= site.ring.size()) continue;
        const Linear in = SideOf(site.ring, road.side).Inward();
        strips.push_back(in.Times(-1.0).Plus(rules.roadDistance - road.width - road.setback));
    }
    std::vector<bool> inVolume(model.AryTatemono.size(), false);
    for (const geometry::Volume &v : model.Volumes) {
        const std::size_t end = std::min(v.firstEdge + v.edgeCount, inVolume.size());
        for (std::size_t i = v.firstEdge; i < end; ++i) inVolume[i] = true;
        if (v.footprint.size() < 3) continue;
        bool whole = false;
        for (const Linear &h : strips) {
            bool all = true;
            for (const TAcadPoint &p : v.footprint) all = all && h.At(p) >= 0.0;
            whole = whole || all;
        }
        if (whole && v.circle) {
            out.rings.push_back(SkyRing{v.centre, v.radius, v.top});
            continue;
        }
        // The footprint cut to each strip; a part two strips share is listed twice, which
        // covers nothing more.
        for (const Linear &h : strips) {
            std::vector<TAcadPoint> part = ClipHalfPlane(v.footprint, h);
            if (part.size() < 3) continue;
            for (TAcadPoint &p : part) p.z = v.top;
            for (std::size_t k = 0; k < part.size(); ++k)
                AppendOnSite(v.footprint, part[k], part[(k + 1) % part.size()], v.bottom,
                             out.edges);
        }
    }
    for (std::size_t i = 0; i < model.AryTatemono.size(); ++i) {
        if (inVolume[i]) continue;
        const TLineEnt &e = model.AryTatemono[i];
        for (const Linear &h : strips) {
            const double hs = h.At(e.st), he = h.At(e.ed);
            if (hs < 0.0 && he < 0.0) continue;
            TLineEnt cut = e;
            if (hs < 0.0) cut.st = Lerp(e.st, e.ed, hs / (hs - he));
            if (he < 0.0) cut.ed = Lerp(e.st, e.ed, hs / (hs - he));
            out.edges.push_back(cut);
        }
    }
    return out;
}

geometry::BuildingModel ModelOf(const SkyBuildings &buildings) {
    std::vector<TLineEnt> edges = buildings.edges;
    std::vector<geometry::Volume> volumes;
    for (const SkyRing &r : buildings.rings) {
        geometry::Volume v;
        v.circle = true;
        v.centre = r.centre;
        v.radius = r.radius;
        v.top = r.top;
        v.firstEdge = edges.size();
        const int n = RingSides(r.radius);
        const double R = r.radius / std::cos(geometry::kPi / n);
        for (int k = 0; k < n; ++k) {
            const double a = 2.0 * geometry::kPi * k / n;
            v.footprint.push_back(
                {r.centre.x + R * std::cos(a), r.centre.y + R * std::sin(a), 0.0});
        }
        for (int k = 0; k < n; ++k) {
            TLineEnt e;
            e.st = v.footprint[static_cast<std::size_t>(k)];
            e.ed = v.footprint[static_cast<std::size_t>((k + 1) % n)];
            e.st.z = e.ed.z = r.top;
            edges.push_back(e);
        }
        v.edgeCount = static_cast<std::size_t>(n);
        volumes.push_back(std::move(v));
    }
    geometry::BuildingModel model;
    model.SetEdges(std::move(edges));
    model.Volumes = std::move(volumes);
    return model;
}

double RoundDown(double value, int decimals) {
    const double k = Pow10(decimals);
    return std::floor(value * k + 1e-7) / k;
}

double RoundUp(double value, int decimals) {
    const double k = Pow10(decimals);
    return std::ceil(value * k - 1e-7) / k;
}

bool SkyComparison::Complies() const {
    if (status != ComparisonStatus::Done || rows.empty()) return false;
    for (const ComparisonRow &r : rows)
        if (!r.passes) return false;
    return true;
}

SkyComparison CompareSkyFactors(const geometry::BuildingModel &model, const CompareSite &site,
                                const SlantRules &rules, const std::vector<SlantLimit> &limits,
                                const SansyaFrame &frame, int decimals, Progress &progress) {
    SkyComparison out;
    out.decimals = decimals;
    struct Work {
        SlantLimit limit;
        std::vector<MeasurementPoint> points;
        ConformingBuilding conforming;
        SkyBuildings planned;
    };
    std::vector<Work> work;
    int total = 0;
    for (SlantLimit limit : limits) {
        Work w{limit, MeasurementPoints(site, rules, limit), {}, {}};
        if (w.points.empty()) continue;
        w.conforming = ConformingBuildingOf(site, rules, limit);
        w.planned = PlannedBuildingsFor(model, site, rules, limit);
        total += static_cast<int>(w.points.size());
        work.push_back(std::move(w));
    }
    if (total == 0) {
        out.status = ComparisonStatus::NoPoints;
        return out;
    }
    progress.Start(total);
    const double k = Pow10(decimals);
    int done = 0;
    for (const Work &w : work) {
        for (const MeasurementPoint &m : w.points) {
            if (!progress.KeepRunning()) {
                out.status = ComparisonStatus::Stopped;
                return out;
            }
            progress.Status(m.label);
            const TenkuRituResult plan = GetTenkuRitu(w.planned, m.pt, m.pt.z, frame);
            const TenkuRituResult conf = GetTenkuRitu(w.conforming.sky, m.pt, m.pt.z, frame);
            ComparisonRow row;
            row.point = m;
            row.consistent = plan.Ok() && conf.Ok();
            row.planned = RoundDown(plan.naisetu, decimals);
            row.plannedExact = plan.exact;
            row.conforming = RoundUp(conf.gaisetu, decimals);
            row.conformingExact = conf.exact;
            const long long p = std::llround(row.planned * k);
            const long long c = std::llround(row.conforming * k);
            row.difference = static_cast<double>(p - c) / k;
            row.passes = row.consistent && p >= c;
            if (!row.consistent) out.status = ComparisonStatus::Inconsistent;
            out.rows.push_back(row);
            progress.Position(++done);
        }
    }
    for (std::size_t i = 1; i < out.rows.size(); ++i)
        if (out.rows[i].difference < out.rows[out.worst].difference) out.worst = i;
    return out;
}

}  // namespace pimu::sky
