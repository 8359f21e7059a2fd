// Building models and an independent sky-factor integration shared by the sky tests.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "geometry/building_model.h"
#include "geometry/outline_test_util.h"
#include "geometry/types.h"

namespace pimu::sky::testing {

using geometry::TAcadPoint;
using geometry::TLineEnt;

// A solid box standing on the ground.
struct Box {
    double x0, y0, x1, y1, height;
};

inline geometry::BuildingModel ModelOf(const std::vector<Box> &boxes) {
    std::vector<TLineEnt> edges;
    for (const Box &b : boxes) {
        geometry::testing::AddBox(edges, b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0, b.height);
    }
    geometry::BuildingModel model;
    model.SetEdges(edges);
    return model;
}

// True when the ray from p in direction dir meets the solid box (slab test).
inline bool RayHitsBox(const std::array<double, 3> &p, const std::array<double, 3> &dir,
                       const Box &b) {
    const std::array<double, 3> lo{b.x0, b.y0, 0.0};
    const std::array<double, 3> hi{b.x1, b.y1, b.height};
    double t0 = 0.0;
    double t1 = 1e300;
    for (int k = 0; k < 3; ++k) {
        if (dir[k] == 0.0) {
            if (p[k] < lo[k] || p[k] > hi[k]) return false;
            continue;
        }
        double a = (lo[k] - p[k]) / dir[k];
        double c = (hi[k] - p[k]) / dir[k];
        if (a > c) std::swap(a, c);
        t0 = std::max(t0, a);
        t1 = std::min(t1, c);
        if (t0 > t1) return false;
    }
    return true;
}

// The highest elevation at which a ray in azimuth phi from the point meets a box (0 if none),
// found by bisection on rays.
inline double HighestBlocked(const std::vector<Box> &boxes, const std::array<double, 3> &p,
                             double phi) {
    const auto blocked = [&](double h) {
        const std::array<double, 3> dir{std::cos(h) * std::cos(phi), std::cos(h) * std::sin(phi),
                                        std::sin(h)};
        for (const Box &b : boxes) {
            if (RayHitsBox(p, dir, b)) return true;
        }
        return false;
    };
    if (!blocked(1e-9)) return 0.0;
    double lo = 1e-9;
    double hi = 1.5707963267948966;
    for (int i = 0; i < 50; ++i) {
        const double mid = (lo + hi) / 2.0;
        (blocked(mid) ? lo : hi) = mid;
    }
    return lo;
}

// A site for the independent sky factor: prisms over convex or concave footprints standing on the
// ground, and round towers.
struct Prism {
    std::vector<std::pair<double, double>> footprint;
    double height = 0.0;
};
struct Tower {
    double cx = 0.0, cy = 0.0, radius = 0.0, height = 0.0;
};
struct Site {
    std::vector<Prism> prisms;
    std::vector<Tower> towers;
};

// A w x d block centred on (cx, cy), turned by `degrees`.
inline Prism Block(double cx, double cy, double w, double d, double degrees, double height) {
    const double a = degrees * M_PI / 180.0;
    Prism p;
    for (const auto &[u, v] : {std::pair{-w / 2, -d / 2}, std::pair{w / 2, -d / 2},
                               std::pair{w / 2, d / 2}, std::pair{-w / 2, d / 2}})
        p.footprint.emplace_back(cx + u * std::cos(a) - v * std::sin(a),
                                 cy + u * std::sin(a) + v * std::cos(a));
    p.height = height;
    return p;
}

// The independent value: in each azimuth the highest building is found by casting the ray in
// plan against every footprint edge and every tower circle (the nearest entry decides a solid's
// elevation), and sin^2 of it is integrated by composite 5-point Gauss-Legendre between the
// azimuths of all footprint corners and tower tangents.
inline double IndependentSkyFactor(const Site &site, double px, double py, double e,
                                   int panels = 400) {
    const auto highestTan = [&](double phi) {
        const double ux = std::cos(phi);
        const double uy = std::sin(phi);
        double best = 0.0;
        for (const Prism &p : site.prisms) {
            if (p.height <= e) continue;
            double entry = 1e300;
            const std::size_t n = p.footprint.size();
            for (std::size_t i = 0; i < n; ++i) {
                const auto [ax, ay] = p.footprint[i];
                const auto [bx, by] = p.footprint[(i + 1) % n];
                const double ex = bx - ax;
                const double ey = by - ay;
                const double den = ux * ey - uy * ex;
                if (den == 0.0) continue;
                const double s = ((ax - px) * ey - (ay - py) * ex) / den;
                const double t = ((ax - px) * uy - (ay - py) * ux) / den;
                if (s > 0.0 && t >= 0.0 && t <= 1.0) entry = std::min(entry, s);
            }
            if (entry < 1e300) best = std::max(best, (p.height - e) / entry);
        }
        for (const Tower &t : site.towers) {
            if (t.height <= e) continue;
            const double cx = t.cx - px;
            const double cy = t.cy - py;
            const double along = cx * ux + cy * uy;
            const double across = cx * uy - cy * ux;
            const double disc = t.radius * t.radius - across * across;
            if (disc < 0.0 || along <= 0.0) continue;
            best = std::max(best, (t.height - e) / (along - std::sqrt(disc)));
        }
        return best;
    };
    std::vector<double> cuts{0.0, 2.0 * M_PI};
    const auto cut = [&](double a) {
        a = std::fmod(a, 2.0 * M_PI);
        if (a < 0.0) a += 2.0 * M_PI;
        cuts.push_back(a);
    };
    for (const Prism &p : site.prisms)
        for (const auto &[x, y] : p.footprint) cut(std::atan2(y - py, x - px));
    for (const Tower &t : site.towers) {
        const double d = std::hypot(t.cx - px, t.cy - py);
        const double c = std::atan2(t.cy - py, t.cx - px);
        cut(c - std::asin(std::min(1.0, t.radius / d)));
        cut(c + std::asin(std::min(1.0, t.radius / d)));
    }
    std::sort(cuts.begin(), cuts.end());
    static const double kNodes[5] = {-0.9061798459386640, -0.5384693101056831, 0.0,
                                     0.5384693101056831, 0.9061798459386640};
    static const double kWeights[5] = {0.2369268850561891, 0.4786286704993665, 0.5688888888888889,
                                       0.4786286704993665, 0.2369268850561891};
    double integral = 0.0;
    for (std::size_t c = 0; c + 1 < cuts.size(); ++c) {
        const double width = (cuts[c + 1] - cuts[c]) / panels;
        if (width <= 0.0) continue;
        for (int k = 0; k < panels; ++k) {
            const double mid = cuts[c] + (k + 0.5) * width;
            for (int g = 0; g < 5; ++g) {
                const double t = highestTan(mid + kNodes[g] * width / 2);
                integral += kWeights[g] * width / 2 * t * t / (1.0 + t * t);
            }
        }
    }
    return 100.0 * (1.0 - integral / (2.0 * M_PI));
}

}  // namespace pimu::sky::testing
