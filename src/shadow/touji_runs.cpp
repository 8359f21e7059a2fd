// Counting the isochronal raster by runs and a difference array.
#include "shadow/touji_runs.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace pimu::shadow {
namespace {

// Floor of a / b for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

}  // namespace

RunCounter::RunCounter(int n) : n_(n) {
    if (n <= 0 || n > ShadowCountGrid::kSize) {
        throw std::invalid_argument("run counter size must be from 1 to 2000");
    }
    diff_.assign(static_cast<std::size_t>(n) * (n + 1), 0);
    rowStart_.assign(static_cast<std::size_t>(n) + 2, 0);
}

void RunCounter::Clear() {
    std::fill(diff_.begin(), diff_.end(), 0);
    runs_.clear();
    polygons_.clear();
    lastPolygons_.clear();
    united_.clear();
    weight_ = 0;
}

void RunCounter::AddPolygon(std::span<const PixelPoint> vertices) {
    for (const PixelPoint &p : vertices) {
        if (p.x > ShadowBitmap::kMaxCoord || p.x < -ShadowBitmap::kMaxCoord ||
            p.y > ShadowBitmap::kMaxCoord || p.y < -ShadowBitmap::kMaxCoord) {
            throw std::out_of_range("bitmap vertex too far outside the raster");
        }
    }
    if (vertices.empty()) return;
    polygons_.push_back(static_cast<std::int32_t>(vertices.size()));
    for (const PixelPoint &p : vertices) {
        polygons_.push_back(p.x);
        polygons_.push_back(p.y);
    }
}

void RunCounter::EndInstant() {
    if (weight_ > 0 && polygons_ == lastPolygons_) {
        ++weight_;
        polygons_.clear();
        return;
    }
    Flush();
    runs_.clear();
    std::vector<PixelPoint> vertices;
    for (std::size_t i = 0; i < polygons_.size();) {
        const auto count = static_cast<std::size_t>(polygons_[i++]);
        vertices.resize(count);
        for (std::size_t k = 0; k < count; ++k, i += 2)
            vertices[k] = PixelPoint{polygons_[i], polygons_[i + 1]};
        Fill(vertices);
    }
    Unite();
    weight_ = 1;
    std::swap(polygons_, lastPolygons_);
    polygons_.clear();
}

void RunCounter::Emit(std::int64_t row, std::int64_t first, std::int64_t last) {
    if (row < 0 || row >= n_) return;
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, n_ - 1);
    if (first > last) return;
    runs_.push_back({static_cast<std::int32_t>(row), static_cast<std::int32_t>(first),
                     static_cast<std::int32_t>(last)});
}

// The rasterisation of ShadowBitmap::FillPolygon, emitting runs instead of painting them.
void RunCounter::Fill(std::span<const PixelPoint> vertices) {
    edges_.clear();
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        PixelPoint a = vertices[i];
        PixelPoint b = vertices[(i + 1) % vertices.size()];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        if (b.y <= 0 || a.y >= n_) continue;
        edges_.push_back({a.x, a.y, std::int64_t{b.x} - a.x, std::int64_t{b.y} - a.y});
    }
    std::sort(edges_.begin(), edges_.end(),
              [](const Edge &l, const Edge &r) { return l.topY < r.topY; });
    active_.clear();
    std::size_t next = 0;
    const std::int64_t firstRow = edges_.empty() ? n_ : std::max<std::int64_t>(edges_[0].topY, 0);
    for (std::int64_t r = firstRow; r < n_ && (next < edges_.size() || !active_.empty()); ++r) {
        while (next < edges_.size() && edges_[next].topY <= r) active_.push_back(&edges_[next++]);
        std::erase_if(active_, [r](const Edge *e) { return e->topY + e->dy <= r; });
        crossings_.clear();
        for (const Edge *e : active_) {
            const std::int64_t num = (r - e->topY) * e->dx;
            const std::int64_t fl = e->topX + FloorDiv(num, e->dy);
            crossings_.push_back(2 * fl + (num % e->dy != 0 ? 1 : 0));
        }
        std::sort(crossings_.begin(), crossings_.end());
        for (std::size_t i = 0; i + 1 < crossings_.size(); i += 2)
            Emit(r, (crossings_[i] + 1) >> 1, crossings_[i + 1] >> 1);
    }
    for (std::size_t i = 0; i < vertices.size(); ++i)
        Segment(vertices[i], vertices[(i + 1) % vertices.size()]);
}

// The line rule of ShadowBitmap::DrawSegment, emitting runs.
void RunCounter::Segment(PixelPoint a, PixelPoint b) {
    std::int64_t dx = std::int64_t{b.x} - a.x;
    std::int64_t dy = std::int64_t{b.y} - a.y;
    if (dx == 0 && dy == 0) {
        Emit(a.y, a.x, a.x);
        return;
    }
    if ((dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy)) {
        if (dx < 0) {
            std::swap(a, b);
            dx = -dx;
            dy = -dy;
        }
        const std::int64_t from = std::max<std::int64_t>(a.x, 0);
        const std::int64_t to = std::min<std::int64_t>(b.x, n_ - 1);
        std::int64_t runStart = from, runRow = 0;
        for (std::int64_t x = from; x <= to; ++x) {
            const std::int64_t y = a.y + FloorDiv(2 * (x - a.x) * dy + dx, 2 * dx);
            if (x == from) {
                runRow = y;
            } else if (y != runRow) {
                Emit(runRow, runStart, x - 1);
                runStart = x;
                runRow = y;
            }
        }
        if (from <= to) Emit(runRow, runStart, to);
    } else {
        if (dy < 0) {
            std::swap(a, b);
            dx = -dx;
            dy = -dy;
        }
        const std::int64_t from = std::max<std::int64_t>(a.y, 0);
        const std::int64_t to = std::min<std::int64_t>(b.y, n_ - 1);
        for (std::int64_t y = from; y <= to; ++y) {
            const std::int64_t x = a.x + FloorDiv(2 * (y - a.y) * dx + dy, 2 * dy);
            Emit(y, x, x);
        }
    }
}

// The runs of the instant sorted by row (a counting sort) and by first column, and merged where
// they overlap or touch.
void RunCounter::Unite() {
    united_.clear();
    if (runs_.empty()) return;
    std::fill(rowStart_.begin(), rowStart_.end(), 0);
    for (const Run &r : runs_) ++rowStart_[static_cast<std::size_t>(r.row) + 1];
    for (int r = 0; r < n_; ++r) rowStart_[r + 1] += rowStart_[r];
    sorted_.resize(runs_.size());
    {
        std::vector<std::int32_t> &fill = rowStart_;
        for (const Run &r : runs_) sorted_[static_cast<std::size_t>(fill[r.row]++)] = r;
        // fill[r] now holds the end of row r, which is the start of row r + 1.
    }
    std::size_t begin = 0;
    for (int r = 0; r < n_; ++r) {
        const auto end = static_cast<std::size_t>(rowStart_[r]);
        if (end == begin) continue;
        std::sort(sorted_.begin() + static_cast<std::ptrdiff_t>(begin),
                  sorted_.begin() + static_cast<std::ptrdiff_t>(end),
                  [](const Run &a, const Run &b) { return a.first < b.first; });
        Run cur = sorted_[begin];
        for (std::size_t i = begin + 1; i < end; ++i) {
            const Run &next = sorted_[i];
            if (next.first <= cur.last + 1) {
                cur.last = std::max(cur.last, next.last);
            } else {
                united_.push_back(cur);
                cur = next;
            }
        }
        united_.push_back(cur);
        begin = end;
    }
}

void RunCounter::Flush() {
    if (weight_ == 0) return;
    const auto stride = static_cast<std::size_t>(n_) + 1;
    for (const Run &r : united_) {
        std::int32_t *row = diff_.data() + static_cast<std::size_t>(r.row) * stride;
        row[r.first] += weight_;
        row[r.last + 1] -= weight_;
    }
    weight_ = 0;
}

void RunCounter::AddTo(ShadowCountGrid &grid) {
    Flush();
    const auto stride = static_cast<std::size_t>(n_) + 1;
    for (int r = 0; r < n_; ++r) {
        const std::int32_t *row = diff_.data() + static_cast<std::size_t>(r) * stride;
        std::uint16_t *cells = grid.Row(r).data();
        std::int32_t sum = 0;
        for (int c = 0; c < n_; ++c) {
            sum += row[c];
            if (sum != 0) cells[c] = static_cast<std::uint16_t>(cells[c] + sum);
        }
    }
}

}  // namespace pimu::shadow
