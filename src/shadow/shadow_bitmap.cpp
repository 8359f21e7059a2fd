// Span-based polygon fill and clipped line drawing on the 1-bit shadow bitmap.
#include "shadow/shadow_bitmap.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace pimu::shadow {
namespace {

// Floor of a / b for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

void CheckRange(std::span<const PixelPoint> vertices) {
    for (const PixelPoint &p : vertices) {
        if (p.x > ShadowBitmap::kMaxCoord || p.x < -ShadowBitmap::kMaxCoord ||
            p.y > ShadowBitmap::kMaxCoord || p.y < -ShadowBitmap::kMaxCoord) {
            throw std::out_of_range("bitmap vertex too far outside the raster");
        }
    }
}

}  // namespace

ShadowBitmap::ShadowBitmap(int n) : n_(n) {
    if (n <= 0 || n % 8 != 0) {
        throw std::invalid_argument("bitmap size must be a positive multiple of 8");
    }
    bits_.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n) / 8, 0xFF);
}

bool ShadowBitmap::IsWhite(int x, int y) const {
    if (x < 0 || y < 0 || x >= n_ || y >= n_) return true;
    return (Scanline(y)[x >> 3] & (0x80 >> (x & 7))) != 0;
}

void ShadowBitmap::Clear(PixelColor color) {
    std::fill(bits_.begin(), bits_.end(), color == PixelColor::White ? 0xFF : 0x00);
}

void ShadowBitmap::PaintSpan(std::int64_t row, std::int64_t first, std::int64_t last) {
    if (row < 0 || row >= n_) return;
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, n_ - 1);
    if (first > last) return;
    std::uint8_t *line = Scanline(static_cast<int>(row)).data();
    const auto fb = static_cast<int>(first >> 3);
    const auto lb = static_cast<int>(last >> 3);
    const auto headMask = static_cast<std::uint8_t>(0xFF >> (first & 7));
    const auto tailMask = static_cast<std::uint8_t>(0xFF << (7 - (last & 7)));
    const bool white = color_ == PixelColor::White;
    auto apply = [white](std::uint8_t &b, std::uint8_t mask) {
        b = white ? static_cast<std::uint8_t>(b | mask) : static_cast<std::uint8_t>(b & ~mask);
    };
    if (fb == lb) {
        apply(line[fb], static_cast<std::uint8_t>(headMask & tailMask));
        return;
    }
    apply(line[fb], headMask);
    if (lb > fb + 1) std::memset(line + fb + 1, white ? 0xFF : 0x00, lb - fb - 1);
    apply(line[lb], tailMask);
}

void ShadowBitmap::DrawSegment(PixelPoint a, PixelPoint b) {
    std::int64_t dx = std::int64_t{b.x} - a.x;
    std::int64_t dy = std::int64_t{b.y} - a.y;
    if (dx == 0 && dy == 0) {
        PaintSpan(a.y, a.x, a.x);
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
        // Consecutive pixels in one row are painted as one span.
        std::int64_t runStart = from, runRow = 0;
        for (std::int64_t x = from; x <= to; ++x) {
            const std::int64_t y = a.y + FloorDiv(2 * (x - a.x) * dy + dx, 2 * dx);
            if (x == from) {
                runRow = y;
            } else if (y != runRow) {
                PaintSpan(runRow, runStart, x - 1);
                runStart = x;
                runRow = y;
            }
        }
        if (from <= to) PaintSpan(runRow, runStart, to);
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
            if (x >= 0 && x < n_) PaintPixel(static_cast<int>(x), static_cast<int>(y));
        }
    }
}

void ShadowBitmap::DrawPolyline(std::span<const PixelPoint> vertices) {
    CheckRange(vertices);
    if (vertices.size() == 1) DrawSegment(vertices[0], vertices[0]);
    for (std::size_t i = 1; i < vertices.size(); ++i) DrawSegment(vertices[i - 1], vertices[i]);
}

void ShadowBitmap::FillPolygon(std::span<const PixelPoint> vertices) {
    CheckRange(vertices);
    if (vertices.empty()) return;

    // Interior: scan the rows with an active edge list. An edge takes part in rows
    // topY <= r < topY + dy, so a vertex shared by two edges is counted once or twice
    // consistently and the crossing parity is the even-odd rule.
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
        for (std::size_t i = 0; i + 1 < crossings_.size(); i += 2) {
            // ceil of the left crossing to floor of the right one.
            PaintSpan(static_cast<int>(r), (crossings_[i] + 1) >> 1, crossings_[i + 1] >> 1);
        }
    }

    for (std::size_t i = 0; i < vertices.size(); ++i) {
        DrawSegment(vertices[i], vertices[(i + 1) % vertices.size()]);
    }
}

}  // namespace pimu::shadow
