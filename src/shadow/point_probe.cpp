#include "shadow/point_probe.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "shadow/shadow_direction.h"

namespace pimu::shadow {

namespace {

using geometry::TAcadPoint;

// Edges between two questions to the progress.
constexpr std::size_t kProbeBatch = 8192;

double Cross(double ax, double ay, double bx, double by) {
    return ax * by - ay * bx;
}

}  // namespace

QuadProbe::QuadProbe(std::span<const TAcadPoint> points) : points_(points.begin(), points.end()) {
    if (points_.empty()) return;
    x0_ = x1_ = points_[0].x;
    y0_ = y1_ = points_[0].y;
    for (const TAcadPoint &p : points_) {
        x0_ = std::min(x0_, p.x);
        x1_ = std::max(x1_, p.x);
        y0_ = std::min(y0_, p.y);
        y1_ = std::max(y1_, p.y);
    }
    // About one point per bucket, at most 256 a side.
    const double side =
        std::clamp(std::ceil(std::sqrt(static_cast<double>(points_.size()))), 1.0, 256.0);
    size_ = std::max({x1_ - x0_, y1_ - y0_, 1.0}) / side;
    cols_ = static_cast<int>(std::min((x1_ - x0_) / size_, side)) + 1;
    rows_ = static_cast<int>(std::min((y1_ - y0_) / size_, side)) + 1;
    const std::size_t buckets = static_cast<std::size_t>(cols_) * static_cast<std::size_t>(rows_);
    first_.assign(buckets + 1, 0);
    const auto bucket = [&](TAcadPoint p) {
        return static_cast<std::size_t>(Row(p.y)) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(Col(p.x));
    };
    for (const TAcadPoint &p : points_) ++first_[bucket(p) + 1];
    for (std::size_t b = 1; b < first_.size(); ++b) first_[b] += first_[b - 1];
    order_.resize(points_.size());
    std::vector<int> fill(first_.begin(), first_.end() - 1);
    for (std::size_t i = 0; i < points_.size(); ++i)
        order_[static_cast<std::size_t>(fill[bucket(points_[i])]++)] = static_cast<int>(i);
    open_.resize(buckets);
}

int QuadProbe::Col(double x) const {
    const double c = std::floor((x - x0_) / size_);
    return static_cast<int>(std::clamp(c, 0.0, static_cast<double>(cols_ - 1)));
}

int QuadProbe::Row(double y) const {
    const double r = std::floor((y - y0_) / size_);
    return static_cast<int>(std::clamp(r, 0.0, static_cast<double>(rows_ - 1)));
}

bool QuadProbe::Mark(std::span<const geometry::TLineEnt> edges, double h, double shadowAngle,
                     double ratio, std::vector<char> &shaded, Progress &progress, double tol) {
    shaded.resize(points_.size(), 0);
    if (points_.empty()) return true;
    int open = 0;
    for (std::size_t b = 0; b + 1 < first_.size(); ++b) {
        open_[b] = 0;
        for (int k = first_[b]; k < first_[b + 1]; ++k)
            if (!shaded[static_cast<std::size_t>(order_[static_cast<std::size_t>(k)])]) ++open_[b];
        open += open_[b];
    }
    const ShadowDirection dir(shadowAngle);
    for (std::size_t i = 0; i < edges.size() && open > 0; ++i) {
        if (i % kProbeBatch == 0 && !progress.KeepRunning()) return false;
        const geometry::TLineEnt &e = edges[i];
        if (!(std::max(e.st.z, e.ed.z) > h)) continue;
        // A vertical edge sweeps no area.
        if (e.st.x == e.ed.x && e.st.y == e.ed.y) continue;
        // Foot start, foot end, shadow end, shadow start: ShadowQuad's to the last bit.
        const TAcadPoint v[4] = {
            dir.Cast(e.st.x, e.st.y, e.base, h, ratio), dir.Cast(e.ed.x, e.ed.y, e.base, h, ratio),
            dir.Cast(e.ed.x, e.ed.y, e.ed.z, h, ratio), dir.Cast(e.st.x, e.st.y, e.st.z, h, ratio)};
        double qx0 = v[0].x, qx1 = v[0].x, qy0 = v[0].y, qy1 = v[0].y;
        for (int k = 1; k < 4; ++k) {
            qx0 = std::min(qx0, v[k].x);
            qx1 = std::max(qx1, v[k].x);
            qy0 = std::min(qy0, v[k].y);
            qy1 = std::max(qy1, v[k].y);
        }
        if (qx1 < x0_ - tol || qx0 > x1_ + tol || qy1 < y0_ - tol || qy0 > y1_ + tol) continue;
        double area = 0.0;
        for (int k = 0; k < 4; ++k)
            area += Cross(v[k].x, v[k].y, v[(k + 1) % 4].x, v[(k + 1) % 4].y);
        if (!std::isfinite(area) || area == 0.0) continue;
        // Each side with the inside on its left; a point may lie tol times its length right of
        // it (the length found only for a point right of it).
        struct Side {
            double ax, ay, dx, dy;
        } sides[4];
        const double sign = area > 0.0 ? 1.0 : -1.0;
        for (int k = 0; k < 4; ++k)
            sides[k] = {v[k].x, v[k].y, sign * (v[(k + 1) % 4].x - v[k].x),
                        sign * (v[(k + 1) % 4].y - v[k].y)};
        // Bucket row by bucket row, only the columns the quadrilateral crosses there (a long thin
        // shadow crosses few of the buckets under its box). The margin takes in the tolerance and
        // any rounding of the buckets' edges.
        const double margin = tol + 1e-6 * size_;
        const int r0 = Row(qy0 - margin), r1 = Row(qy1 + margin);
        for (int r = r0; r <= r1; ++r) {
            const double ys = y0_ + r * size_ - margin, ye = y0_ + (r + 1) * size_ + margin;
            double xs = std::numeric_limits<double>::infinity(), xe = -xs;
            for (int k = 0; k < 4; ++k) {
                const TAcadPoint a = v[k], b = v[(k + 1) % 4];
                if (std::max(a.y, b.y) < ys || std::min(a.y, b.y) > ye) continue;
                // The side's part within the slab: its ends there, or where it crosses a border.
                double lo = std::min(a.x, b.x), hi = std::max(a.x, b.x);
                if (a.y != b.y) {
                    const auto at = [&](double y) {
                        const double f = std::clamp((y - a.y) / (b.y - a.y), 0.0, 1.0);
                        return a.x + (b.x - a.x) * f;
                    };
                    const double xa = at(ys), xb = at(ye);
                    lo = std::min(xa, xb);
                    hi = std::max(xa, xb);
                }
                xs = std::min(xs, lo);
                xe = std::max(xe, hi);
            }
            if (!(xs <= xe)) continue;
            const int c0 = Col(xs - margin), c1 = Col(xe + margin);
            for (int c = c0; c <= c1; ++c) {
                const std::size_t b =
                    static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_) +
                    static_cast<std::size_t>(c);
                if (open_[b] == 0) continue;
                for (int k = first_[b]; k < first_[b + 1]; ++k) {
                    const auto p = static_cast<std::size_t>(order_[static_cast<std::size_t>(k)]);
                    if (shaded[p]) continue;
                    const TAcadPoint pt = points_[p];
                    if (pt.x < qx0 - tol || pt.x > qx1 + tol || pt.y < qy0 - tol ||
                        pt.y > qy1 + tol)
                        continue;
                    bool in = true;
                    for (const Side &s : sides) {
                        const double c = Cross(s.dx, s.dy, pt.x - s.ax, pt.y - s.ay);
                        if (c < 0.0 && c < -tol * std::hypot(s.dx, s.dy)) {
                            in = false;
                            break;
                        }
                    }
                    if (!in) continue;
                    shaded[p] = 1;
                    --open_[b];
                    --open;
                }
            }
        }
    }
    return true;
}

void QuadProbe::MarkInRing(std::span<const TAcadPoint> ring, double dx, double dy,
                           std::vector<char> &shaded) const {
    shaded.resize(points_.size(), 0);
    if (points_.empty() || ring.size() < 3) return;
    double qx0 = ring[0].x, qx1 = qx0, qy0 = ring[0].y, qy1 = qy0;
    for (const TAcadPoint &p : ring) {
        qx0 = std::min(qx0, p.x);
        qx1 = std::max(qx1, p.x);
        qy0 = std::min(qy0, p.y);
        qy1 = std::max(qy1, p.y);
    }
    qx0 += dx, qx1 += dx, qy0 += dy, qy1 += dy;
    if (qx1 < x0_ || qx0 > x1_ || qy1 < y0_ || qy0 > y1_) return;
    // Even-odd: whether (x, y) lies inside the ring.
    const auto inside = [&](double x, double y) {
        bool in = false;
        for (std::size_t k = 0, m = ring.size(); k < m; ++k) {
            const TAcadPoint a = ring[k], b = ring[(k + 1) % m];
            if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y)) in = !in;
        }
        return in;
    };
    for (int r = Row(qy0); r <= Row(qy1); ++r)
        for (int c = Col(qx0); c <= Col(qx1); ++c) {
            const std::size_t b = static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_) +
                                  static_cast<std::size_t>(c);
            for (int k = first_[b]; k < first_[b + 1]; ++k) {
                const auto p = static_cast<std::size_t>(order_[static_cast<std::size_t>(k)]);
                if (shaded[p]) continue;
                const TAcadPoint pt = points_[p];
                if (pt.x < qx0 || pt.x > qx1 || pt.y < qy0 || pt.y > qy1) continue;
                if (inside(pt.x - dx, pt.y - dy)) shaded[p] = 1;
            }
        }
}

}  // namespace pimu::shadow
