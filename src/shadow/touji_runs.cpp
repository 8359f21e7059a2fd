// Counting the isochronal raster by runs and a difference array.
#include "shadow/touji_runs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
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
    spans_.assign(static_cast<std::size_t>(n), RowSpans{Span{n, -1}, Span{n, -1}});
    spilled_.assign(static_cast<std::size_t>(n), 0);
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
    for (std::size_t i = 0; i < polygons_.size();) {
        const auto count = static_cast<std::size_t>(polygons_[i++]);
        vertices_.resize(count);
        for (std::size_t k = 0; k < count; ++k, i += 2)
            vertices_[k] = PixelPoint{polygons_[i], polygons_[i + 1]};
        Fill(vertices_);
    }
    Unite();
    weight_ = 1;
    std::swap(polygons_, lastPolygons_);
    polygons_.clear();
}

inline void RunCounter::Add(std::int64_t row, std::int64_t first, std::int64_t last) {
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, n_ - 1);
    if (first > last) return;
    const auto f = static_cast<std::int32_t>(first), l = static_cast<std::int32_t>(last);
    const auto r = static_cast<std::size_t>(row);
    for (Span &span : spans_[r]) {
        if (span.first > span.last) {
            span = {f, l};
            return;
        }
        if (f <= span.last + 1 && l + 1 >= span.first) {
            span.first = std::min(span.first, f);
            span.last = std::max(span.last, l);
            return;
        }
    }
    Spill(r, first, last);
}

void RunCounter::Spill(std::size_t row, std::int64_t first, std::int64_t last) {
    spilled_[row] = 1;
    std::uint64_t *line = bits_.data() + row * static_cast<std::size_t>(words_);
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

namespace {

// floor(num / den) + offset kept exact while num grows by a fixed step: den > 0.
class FloorStepper {
public:
    FloorStepper(std::int64_t num, std::int64_t step, std::int64_t den, std::int64_t offset)
        : den_(den),
          q_(FloorDiv(num, den)),
          rem_(num - q_ * den),
          dq_(FloorDiv(step, den)),
          drem_(step - dq_ * den) {
        q_ += offset;
    }
    std::int64_t Value() const { return q_; }
    void Next() {
        rem_ += drem_;
        const std::int64_t carry = rem_ >= den_ ? 1 : 0;
        q_ += dq_ + carry;
        rem_ -= carry * den_;
    }

private:
    std::int64_t den_, q_, rem_, dq_, drem_;
};

// The line rule of ShadowBitmap::DrawSegment within the rows of an edge (y0 < y1): in row
// y0 + t, a steep edge paints the one pixel floor(u + 1/2), u the edge's abscissa in that row; a
// shallow one (|dx| >= dy) the columns whose exact ordinate v rounds to the row,
// y0 + t - 1/2 <= v < y0 + t + 1/2: from ceil(x(v = row - 1/2)) to ceil(x(v = row + 1/2)) - 1
// when it rises to the east, from floor(x(v = row + 1/2)) + 1 to floor(x(v = row - 1/2)) when it
// falls. In the rows strictly between the ends these columns never pass the edge's ends.
enum class Slope { Steep, Rising, Falling };

Slope SlopeOf(std::int64_t dx, std::int64_t dy) {
    if ((dx < 0 ? -dx : dx) < dy) return Slope::Steep;
    return dx > 0 ? Slope::Rising : Slope::Falling;
}

// x0 + the column of the steep edge in row y0 + t, or x0 + the column where the shallow edge's
// run of row y0 + t starts (rising) or ends (falling): as a stepper from that row on.
FloorStepper OutlineStepper(Slope slope, std::int64_t x0, std::int64_t dx, std::int64_t dy,
                            std::int64_t t) {
    const std::int64_t step = 2 * dx, den = 2 * dy;
    switch (slope) {
        case Slope::Steep:
            return {2 * t * dx + dy, step, den, x0};
        case Slope::Rising:
            return {(2 * t - 1) * dx + den - 1, step, den, x0};
        case Slope::Falling:
            break;
    }
    return {(2 * t - 1) * dx, step, den, x0};
}

// The first and last outline pixels of an edge, row after row.
template <Slope kSlope>
class OutlineWalker {
public:
    OutlineWalker(std::int64_t x0, std::int64_t dx, std::int64_t dy, std::int64_t t)
        : next_(OutlineStepper(kSlope, x0, dx, dy, t)) {
        if constexpr (kSlope != Slope::Steep) {
            current_ = next_.Value();
            next_.Next();
        }
    }
    // The ends in the current row; moves on to the next row.
    void Ends(std::int64_t &first, std::int64_t &last) {
        const std::int64_t next = next_.Value();
        next_.Next();
        if constexpr (kSlope == Slope::Steep) {
            first = last = next;
        } else if constexpr (kSlope == Slope::Rising) {
            first = current_;
            last = next - 1;
            current_ = next;
        } else {
            first = next + 1;
            last = current_;
            current_ = next;
        }
    }

private:
    FloorStepper next_;  // the row after current_'s for a shallow edge, the current row's else
    std::int64_t current_ = 0;
};

template <Slope kA, Slope kB, class Add>
void WalkBand(const std::array<std::int64_t, 4> &a, const std::array<std::int64_t, 4> &b,
              std::int64_t from, std::int64_t to, Add add) {
    OutlineWalker<kA> wa(a[0], a[1], a[2], a[3]);
    OutlineWalker<kB> wb(b[0], b[1], b[2], b[3]);
    for (std::int64_t r = from; r <= to; ++r) {
        std::int64_t fa, la, fb, lb;
        wa.Ends(fa, la);
        wb.Ends(fb, lb);
        add(r, std::min(fa, fb), std::max(la, lb));
    }
}

template <Slope kA, class Add>
void WalkBandWith(Slope b, const std::array<std::int64_t, 4> &ea,
                  const std::array<std::int64_t, 4> &eb, std::int64_t from, std::int64_t to,
                  Add add) {
    switch (b) {
        case Slope::Steep:
            return WalkBand<kA, Slope::Steep>(ea, eb, from, to, add);
        case Slope::Rising:
            return WalkBand<kA, Slope::Rising>(ea, eb, from, to, add);
        case Slope::Falling:
            return WalkBand<kA, Slope::Falling>(ea, eb, from, to, add);
    }
}

}  // namespace

// The pixels ShadowBitmap::FillPolygon paints: each row of a vertex, and each row of a band with
// other than two edges, piece by piece; the rows between where exactly two edges cross as one run.
// The edges taking part in a row come from an active list (sorted by their first row), so a
// polygon of many vertices costs its vertex rows times the edges crossing them, not its vertex
// rows times all its edges.
void RunCounter::Fill(std::span<const PixelPoint> vertices) {
    edges_.clear();
    rows_.clear();
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        PixelPoint a = vertices[i];
        PixelPoint b = vertices[(i + 1) % vertices.size()];
        if (a.y > b.y) std::swap(a, b);
        edges_.push_back({a.x, a.y, b.x, b.y});
        rows_.push_back(vertices[i].y);
    }
    std::sort(rows_.begin(), rows_.end());
    rows_.erase(std::unique(rows_.begin(), rows_.end()), rows_.end());
    if (rows_.back() < 0 || rows_.front() >= n_) return;
    minRow_ =
        static_cast<int>(std::min<std::int64_t>(minRow_, std::max<std::int64_t>(rows_.front(), 0)));
    maxRow_ = static_cast<int>(
        std::max<std::int64_t>(maxRow_, std::min<std::int64_t>(rows_.back(), n_ - 1)));
    std::sort(edges_.begin(), edges_.end(),
              [](const Edge &l, const Edge &r) { return l.y0 < r.y0; });
    active_.clear();
    std::size_t next = 0;
    for (std::size_t k = 0; k < rows_.size(); ++k) {
        const std::int64_t y = rows_[k];
        if (y >= n_) break;
        // The edges of row y: y0 <= y <= y1 (every y0 and y1 is a vertex row).
        std::erase_if(active_, [y](const Edge &e) { return e.y1 < y; });
        while (next < edges_.size() && edges_[next].y0 <= y) active_.push_back(edges_[next++]);
        if (y >= 0) Row(y, active_);
        if (k + 1 == rows_.size()) break;
        const std::int64_t below = rows_[k + 1];
        const std::int64_t from = std::max<std::int64_t>(y + 1, 0);
        const std::int64_t to = std::min<std::int64_t>(below - 1, n_ - 1);
        if (from > to) continue;
        // The edges crossing the band: those of row y that go on past it.
        band_.clear();
        for (const Edge &e : active_)
            if (e.y1 >= below) band_.push_back(e);
        if (band_.size() == 2) {
            Band(band_[0], band_[1], from, to);
        } else {
            for (std::int64_t r = from; r <= to; ++r) Row(r, band_);
        }
    }
}

// One row, piece by piece: the interior spans between the sorted crossings (edges taking part in
// rows y0 <= row < y1, so the even-odd parity holds at vertices) and each edge's outline pixels.
void RunCounter::Row(std::int64_t row, std::span<const Edge> edges) {
    crossings_.clear();
    for (const Edge &e : edges) {
        if (row < e.y0 || row > e.y1) continue;
        const std::int64_t dx = e.x1 - e.x0, dy = e.y1 - e.y0;
        const std::int64_t t = row - e.y0;
        if (row < e.y1) {
            const std::int64_t num = t * dx;
            crossings_.push_back(2 * (e.x0 + FloorDiv(num, dy)) + (num % dy != 0 ? 1 : 0));
        }
        if (dy == 0) {
            Add(row, std::min(e.x0, e.x1), std::max(e.x0, e.x1));
        } else if ((dx < 0 ? -dx : dx) < dy) {
            const std::int64_t x = e.x0 + FloorDiv(2 * t * dx + dy, 2 * dy);
            Add(row, x, x);
        } else {
            const Slope slope = SlopeOf(dx, dy);
            const std::int64_t at = OutlineStepper(slope, e.x0, dx, dy, t).Value();
            const std::int64_t after = OutlineStepper(slope, e.x0, dx, dy, t + 1).Value();
            if (slope == Slope::Rising) {
                Add(row, std::max(at, e.x0), std::min(after - 1, e.x1));
            } else {
                Add(row, std::max(after + 1, e.x1), std::min(at, e.x0));
            }
        }
    }
    std::sort(crossings_.begin(), crossings_.end());
    for (std::size_t i = 0; i + 1 < crossings_.size(); i += 2)
        Add(row, (crossings_[i] + 1) >> 1, crossings_[i + 1] >> 1);
}

// Rows from..to, strictly between the rows of both edges' ends and crossed by no other edge.
void RunCounter::Band(const Edge &a, const Edge &b, std::int64_t from, std::int64_t to) {
    const std::array<std::int64_t, 4> ea{a.x0, a.x1 - a.x0, a.y1 - a.y0, from - a.y0};
    const std::array<std::int64_t, 4> eb{b.x0, b.x1 - b.x0, b.y1 - b.y0, from - b.y0};
    const Slope sb = SlopeOf(eb[1], eb[2]);
    auto add = [this](std::int64_t r, std::int64_t first, std::int64_t last) {
        Add(r, first, last);
    };
    switch (SlopeOf(ea[1], ea[2])) {
        case Slope::Steep:
            return WalkBandWith<Slope::Steep>(sb, ea, eb, from, to, add);
        case Slope::Rising:
            return WalkBandWith<Slope::Rising>(sb, ea, eb, from, to, add);
        case Slope::Falling:
            return WalkBandWith<Slope::Falling>(sb, ea, eb, from, to, add);
    }
}

// The runs of the instant's pixels, row by row; the rows are emptied again.
void RunCounter::Unite() {
    united_.clear();
    for (int r = minRow_; r <= maxRow_; ++r) {
        const auto row = static_cast<std::size_t>(r);
        RowSpans &spans = spans_[row];
        Span a = spans[0], b = spans[1];
        spans = {Span{n_, -1}, Span{n_, -1}};
        if (spilled_[row] == 0) {
            if (a.first > a.last) continue;
            if (b.first > b.last) {
                united_.push_back({r, a.first, a.last});
                continue;
            }
            if (b.first < a.first) std::swap(a, b);
            if (b.first <= a.last + 1) {
                united_.push_back({r, a.first, std::max(a.last, b.last)});
            } else {
                united_.push_back({r, a.first, a.last});
                united_.push_back({r, b.first, b.last});
            }
            continue;
        }
        for (const Span &s : {a, b})
            if (s.first <= s.last) Spill(row, s.first, s.last);
        spilled_[row] = 0;
        std::uint64_t *line = bits_.data() + row * static_cast<std::size_t>(words_);
        std::uint64_t carry = 0;  // the last bit of the previous word
        std::int32_t start = 0;
        for (int w = 0; w < words_; ++w) {
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
        if (carry != 0) united_.push_back({r, start, words_ * 64 - 1});
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
