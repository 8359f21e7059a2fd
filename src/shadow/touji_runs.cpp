// Counting the isochronal raster by runs and a difference array.
#include "shadow/touji_runs.h"

#include <algorithm>
#include <bit>
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

RunCounter::RunCounter(int n) : n_(n), words_((n + 63) / 64) {
    if (n <= 0 || n > ShadowCountGrid::kSize) {
        throw std::invalid_argument("run counter size must be from 1 to 2000");
    }
    diff_.assign(static_cast<std::size_t>(n) * (n + 1), 0);
    bits_.assign(static_cast<std::size_t>(n) * words_, 0);
}

void RunCounter::Clear() {
    std::fill(diff_.begin(), diff_.end(), 0);
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
    std::vector<PixelPoint> vertices;
    for (std::size_t i = 0; i < polygons_.size();) {
        const auto count = static_cast<std::size_t>(polygons_[i++]);
        vertices.resize(count);
        for (std::size_t k = 0; k < count; ++k, i += 2) {
            vertices[k] = PixelPoint{polygons_[i], polygons_[i + 1]};
            minRow_ = std::min(minRow_, static_cast<int>(vertices[k].y));
            maxRow_ = std::max(maxRow_, static_cast<int>(vertices[k].y));
        }
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
    const auto r = static_cast<std::size_t>(row);
    std::uint64_t *line = bits_.data() + r * static_cast<std::size_t>(words_);
    const auto wf = static_cast<int>(first >> 6), wl = static_cast<int>(last >> 6);
    const std::uint64_t head = ~std::uint64_t{0} << (first & 63);
    const std::uint64_t tail = ~std::uint64_t{0} >> (63 - (last & 63));
    if (wf == wl) {
        line[wf] |= head & tail;
    } else {
        line[wf] |= head;
        for (int w = wf + 1; w < wl; ++w) line[w] = ~std::uint64_t{0};
        line[wl] |= tail;
    }
}

// floor(num / den) kept exact while num grows by a fixed step: den > 0.
class FloorStepper {
public:
    FloorStepper(std::int64_t num, std::int64_t step, std::int64_t den)
        : den_(den),
          q_(FloorDiv(num, den)),
          rem_(num - q_ * den),
          dq_(FloorDiv(step, den)),
          drem_(step - dq_ * den) {}
    std::int64_t Quotient() const { return q_; }
    bool Exact() const { return rem_ == 0; }
    void Next() {
        q_ += dq_;
        rem_ += drem_;
        if (rem_ >= den_) {
            ++q_;
            rem_ -= den_;
        }
    }

private:
    std::int64_t den_, q_, rem_, dq_, drem_;
};

// The rasterisation of ShadowBitmap::FillPolygon, emitting runs instead of painting them: the
// same crossings (2 * floor(x) + (x is not whole)) of the same edges in the same rows, found
// edge by edge by exact stepping instead of row by row by division.
void RunCounter::Fill(std::span<const PixelPoint> vertices) {
    edges_.clear();
    std::int64_t top = n_, bottom = -1;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        PixelPoint a = vertices[i];
        PixelPoint b = vertices[(i + 1) % vertices.size()];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        if (b.y <= 0 || a.y >= n_) continue;
        edges_.push_back({a.x, a.y, std::int64_t{b.x} - a.x, std::int64_t{b.y} - a.y});
        top = std::min<std::int64_t>(top, std::max<std::int64_t>(a.y, 0));
        bottom = std::max<std::int64_t>(bottom, std::min<std::int64_t>(b.y - 1, n_ - 1));
    }
    if (!edges_.empty() && top <= bottom) {
        const auto slots = edges_.size();
        const auto rows = static_cast<std::size_t>(bottom - top + 1);
        crossings_.resize(rows * slots);
        crossingCount_.assign(rows, 0);
        for (const Edge &e : edges_) {
            const std::int64_t first = std::max<std::int64_t>(e.topY, 0);
            const std::int64_t last = std::min<std::int64_t>(e.topY + e.dy - 1, n_ - 1);
            FloorStepper x((first - e.topY) * e.dx, e.dx, e.dy);
            for (std::int64_t r = first; r <= last; ++r, x.Next()) {
                const auto k = static_cast<std::size_t>(r - top);
                crossings_[k * slots + crossingCount_[k]++] =
                    2 * (e.topX + x.Quotient()) + (x.Exact() ? 0 : 1);
            }
        }
        for (std::size_t k = 0; k < rows; ++k) {
            std::int64_t *c = crossings_.data() + k * slots;
            const int count = crossingCount_[k];
            for (int i = 1; i < count; ++i)  // a handful: insertion sort
                for (int j = i; j > 0 && c[j - 1] > c[j]; --j) std::swap(c[j - 1], c[j]);
            for (int i = 0; i + 1 < count; i += 2)
                Emit(top + static_cast<std::int64_t>(k), (c[i] + 1) >> 1, c[i + 1] >> 1);
        }
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
        if (from > to) return;
        FloorStepper y(2 * (from - a.x) * dy + dx, 2 * dy, 2 * dx);
        std::int64_t runStart = from, runRow = a.y + y.Quotient();
        for (std::int64_t x = from + 1; x <= to; ++x) {
            y.Next();
            const std::int64_t row = a.y + y.Quotient();
            if (row != runRow) {
                Emit(runRow, runStart, x - 1);
                runStart = x;
                runRow = row;
            }
        }
        Emit(runRow, runStart, to);
    } else {
        if (dy < 0) {
            std::swap(a, b);
            dx = -dx;
            dy = -dy;
        }
        const std::int64_t from = std::max<std::int64_t>(a.y, 0);
        const std::int64_t to = std::min<std::int64_t>(b.y, n_ - 1);
        if (from > to) return;
        FloorStepper x(2 * (from - a.y) * dx + dy, 2 * dx, 2 * dy);
        for (std::int64_t y = from; y <= to; ++y, x.Next()) {
            const std::int64_t col = a.x + x.Quotient();
            Emit(y, col, col);
        }
    }
}

// The runs of the instant's pixels, row by row from the bits set, which are cleared again.
void RunCounter::Unite() {
    united_.clear();
    for (int r = std::max(minRow_, 0); r <= std::min(maxRow_, n_ - 1); ++r) {
        const auto row = static_cast<std::size_t>(r);
        const int lo = 0, hi = words_ - 1;
        std::uint64_t *line = bits_.data() + row * static_cast<std::size_t>(words_);
        std::uint64_t carry = 0;  // the last bit of the previous word
        std::int32_t start = 0;
        for (int w = lo; w <= hi; ++w) {
            const std::uint64_t word = line[w];
            line[w] = 0;
            std::uint64_t change = word ^ ((word << 1) | carry);
            carry = word >> 63;
            while (change != 0) {
                const int bit = std::countr_zero(change);
                change &= change - 1;
                const std::int32_t col = w * 64 + bit;
                if ((word >> bit) & 1) {
                    start = col;
                } else {
                    united_.push_back({r, start, col - 1});
                }
            }
        }
        if (carry != 0) united_.push_back({r, start, (hi + 1) * 64 - 1});
    }
    minRow_ = n_;
    maxRow_ = -1;
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
