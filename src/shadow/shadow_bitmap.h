// The 1-bit bitmap the isochronal rasters paint shadows into and read back by scanline.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pimu::shadow {

// A pixel position: column x (grows east) and row y (grows south).
struct PixelPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const PixelPoint &, const PixelPoint &) = default;
};

enum class PixelColor : std::uint8_t { Black = 0, White = 1 };

// An N x N bitmap, 1 bit per pixel: bit 0 is black (shaded), 1 is white (lit); within a byte
// the most significant bit is the leftmost pixel. N is a positive multiple of 8, so a scanline
// is exactly N/8 bytes.
//
// Every drawing call paints with the current colour and is clipped to the bitmap; vertices may
// lie anywhere within +-kMaxCoord of the origin, and the work done depends on the part of the
// figure inside the bitmap, not on how far the vertices reach outside it.
//
// Line rule (DrawPolyline, and the outline of FillPolygon). A segment between integer vertices
// (x0,y0) and (x1,y1) paints, when |dx| >= |dy|, one pixel in each column x between x0 and x1
// inclusive, in the row floor(v + 1/2) where v is the exact ordinate of the segment at x; when
// |dy| > |dx|, one pixel in each row y, in the column floor(u + 1/2) likewise. Halves therefore
// go to the larger coordinate, which makes the result independent of the segment's direction.
// A segment of zero length paints its one pixel. Any pixel whose centre lies exactly on the
// segment is painted.
//
// Fill rule (FillPolygon). The vertices form a closed outline (last joined to first). Painted
// are (a) every pixel of the outline drawn with the line rule and (b) every pixel whose centre
// lies inside the polygon by the even-odd rule. Pixel centres are the integer points; centres
// exactly on the outline are painted by (a). Degenerate polygons (all vertices on one line or
// one point) paint just their outline; a self-crossing polygon (a bow-tie) paints both lobes.
class ShadowBitmap {
public:
    static constexpr std::int32_t kMaxCoord = 1 << 29;

    // Throws std::invalid_argument unless n is a positive multiple of 8. Starts white.
    explicit ShadowBitmap(int n);

    int Size() const { return n_; }
    int BytesPerRow() const { return n_ / 8; }

    // The N/8 bytes of row `row` (0 <= row < N).
    std::span<std::uint8_t> Scanline(int row) {
        return {bits_.data() + static_cast<std::size_t>(row) * BytesPerRow(),
                static_cast<std::size_t>(BytesPerRow())};
    }
    std::span<const std::uint8_t> Scanline(int row) const {
        return {bits_.data() + static_cast<std::size_t>(row) * BytesPerRow(),
                static_cast<std::size_t>(BytesPerRow())};
    }

    // True when the pixel is white; pixels outside the bitmap read as white.
    bool IsWhite(int x, int y) const;

    void Clear(PixelColor color = PixelColor::White);
    void SetColor(PixelColor color) { color_ = color; }
    PixelColor Color() const { return color_; }

    // Throws std::out_of_range when a vertex lies beyond kMaxCoord; nothing is painted then.
    void FillPolygon(std::span<const PixelPoint> vertices);
    void DrawPolyline(std::span<const PixelPoint> vertices);

private:
    void PaintSpan(std::int64_t row, std::int64_t first, std::int64_t last);
    void PaintPixel(int x, int y) {  // inside the bitmap
        std::uint8_t &b = bits_[static_cast<std::size_t>(y) * BytesPerRow() + (x >> 3)];
        const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
        b = color_ == PixelColor::White ? static_cast<std::uint8_t>(b | mask)
                                        : static_cast<std::uint8_t>(b & ~mask);
    }
    void DrawSegment(PixelPoint a, PixelPoint b);

    int n_;
    PixelColor color_ = PixelColor::Black;
    std::vector<std::uint8_t> bits_;
    // Work arrays of FillPolygon, kept to avoid allocating on every instant.
    struct Edge {
        std::int64_t topX, topY, dx, dy;  // dy > 0; runs from row topY to row topY + dy
    };
    std::vector<Edge> edges_;
    std::vector<const Edge *> active_;
    std::vector<std::int64_t> crossings_;  // 2 * floor(x) + (x is not an integer)
};

}  // namespace pimu::shadow
