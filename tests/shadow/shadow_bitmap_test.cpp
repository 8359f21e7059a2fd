#include "shadow/shadow_bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace pimu::shadow {
namespace {

// The top-left `rows` x `cols` corner as text, '#' black and '.' white, one line per row.
std::string Picture(const ShadowBitmap &bmp, int rows, int cols) {
    std::string s;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) s += bmp.IsWhite(x, y) ? '.' : '#';
        s += '\n';
    }
    return s;
}

int BlackCount(const ShadowBitmap &bmp) {
    int count = 0;
    for (int y = 0; y < bmp.Size(); ++y)
        for (int x = 0; x < bmp.Size(); ++x) count += bmp.IsWhite(x, y) ? 0 : 1;
    return count;
}

struct HandCase {
    const char *name;
    std::vector<PixelPoint> polygon;
    const char *picture;  // first 9 rows, 10 columns
};

TEST(ShadowBitmapFill, HandCountedPolygons) {
    const HandCase cases[] = {
        {"triangle",
         {{1, 1}, {9, 3}, {3, 7}},
         "..........\n"
         ".##.......\n"
         ".######...\n"
         "..########\n"
         "..#######.\n"
         "..#####...\n"
         "...###....\n"
         "...#......\n"
         "..........\n"},
        {"rectangle",
         {{2, 1}, {5, 1}, {5, 3}, {2, 3}},
         "..........\n"
         "..####....\n"
         "..####....\n"
         "..####....\n"
         "..........\n"
         "..........\n"
         "..........\n"
         "..........\n"
         "..........\n"},
        {"quadrilateral collapsed to a line",
         {{1, 1}, {1, 1}, {5, 3}, {5, 3}},
         "..........\n"
         ".#........\n"
         "..##......\n"
         "....##....\n"
         "..........\n"
         "..........\n"
         "..........\n"
         "..........\n"
         "..........\n"},
        {"quadrilateral collapsed to a point",
         {{4, 4}, {4, 4}, {4, 4}, {4, 4}},
         "..........\n"
         "..........\n"
         "..........\n"
         "..........\n"
         "....#.....\n"
         "..........\n"
         "..........\n"
         "..........\n"
         "..........\n"},
        {"bow-tie",
         {{1, 1}, {7, 7}, {7, 1}, {1, 7}},
         "..........\n"
         ".#.....#..\n"
         ".##...##..\n"
         ".###.###..\n"
         ".#######..\n"
         ".###.###..\n"
         ".##...##..\n"
         ".#.....#..\n"
         "..........\n"},
    };
    for (const HandCase &c : cases) {
        ShadowBitmap bmp(16);
        bmp.SetColor(PixelColor::Black);
        bmp.FillPolygon(c.polygon);
        EXPECT_EQ(Picture(bmp, 9, 10), c.picture) << c.name;
        // Nothing outside the shown corner.
        EXPECT_EQ(BlackCount(bmp),
                  static_cast<int>(std::count(c.picture, c.picture + std::strlen(c.picture), '#')))
            << c.name;
    }
}

TEST(ShadowBitmapFill, ScanlineBytesAreMostSignificantBitFirst) {
    ShadowBitmap bmp(16);
    bmp.SetColor(PixelColor::Black);
    bmp.FillPolygon(std::vector<PixelPoint>{{0, 0}, {2, 0}});  // pixels 0..2 of row 0
    bmp.DrawPolyline(std::vector<PixelPoint>{{9, 1}, {15, 1}});
    EXPECT_EQ(bmp.Scanline(0)[0], 0x1F);
    EXPECT_EQ(bmp.Scanline(0)[1], 0xFF);
    EXPECT_EQ(bmp.Scanline(1)[0], 0xFF);
    EXPECT_EQ(bmp.Scanline(1)[1], 0x80);
    bmp.Clear();
    EXPECT_EQ(BlackCount(bmp), 0);
    bmp.Clear(PixelColor::Black);
    EXPECT_EQ(BlackCount(bmp), 16 * 16);
    // Painting white erases.
    bmp.SetColor(PixelColor::White);
    bmp.FillPolygon(std::vector<PixelPoint>{{0, 0}, {15, 0}, {15, 15}, {0, 15}});
    EXPECT_EQ(BlackCount(bmp), 0);
}

TEST(ShadowBitmapFill, PolylineIsOpenAndDirectionIndependent) {
    ShadowBitmap forward(16), backward(16);
    forward.SetColor(PixelColor::Black);
    backward.SetColor(PixelColor::Black);
    const std::vector<PixelPoint> path{{0, 0}, {7, 2}, {3, 11}, {12, 12}};
    const std::vector<PixelPoint> reversed(path.rbegin(), path.rend());
    forward.DrawPolyline(path);
    backward.DrawPolyline(reversed);
    EXPECT_EQ(Picture(forward, 16, 16), Picture(backward, 16, 16));
    // Open: the closing segment from (12,12) back to (0,0) is not drawn.
    EXPECT_TRUE(forward.IsWhite(6, 6));
}

// Per-pixel statement of the documented rule, written independently of the span fill.
bool OnSegment(PixelPoint a, PixelPoint b, std::int64_t x, std::int64_t y) {
    if (a == b) return x == a.x && y == a.y;
    const bool xMajor = std::abs(b.x - a.x) >= std::abs(b.y - a.y);
    if (!xMajor) {  // swap the roles of the axes
        std::swap(a.x, a.y);
        std::swap(b.x, b.y);
        std::swap(x, y);
    }
    if (a.x > b.x) std::swap(a, b);
    if (x < a.x || x > b.x) return false;
    const std::int64_t dx = b.x - a.x, dy = b.y - a.y;
    // floor(v + 1/2) == y  <=>  -1/2 < y - v <= 1/2, scaled by 2 dx.
    const std::int64_t t = 2 * (y - a.y) * dx - 2 * (x - a.x) * dy;
    return -dx < t && t <= dx;
}

bool ReferencePainted(const std::vector<PixelPoint> &poly, int x, int y) {
    bool inside = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        if (OnSegment(poly[j], poly[i], x, y)) return true;
        const double xi = poly[i].x, yi = poly[i].y, xj = poly[j].x, yj = poly[j].y;
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

TEST(ShadowBitmapFill, MatchesPerPixelRuleOnRandomPolygonsIncludingClipped) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-12, 44);
    std::uniform_int_distribution<int> count(1, 7);
    ShadowBitmap bmp(32);
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<PixelPoint> poly(count(rng));
        for (PixelPoint &p : poly) p = {coord(rng), coord(rng)};
        bmp.Clear();
        bmp.SetColor(PixelColor::Black);
        bmp.FillPolygon(poly);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(!bmp.IsWhite(x, y), ReferencePainted(poly, x, y))
                    << "trial " << trial << " pixel " << x << "," << y;
    }
}

TEST(ShadowBitmapFill, FarVerticesAreClippedQuickly) {
    constexpr int far = ShadowBitmap::kMaxCoord;
    ShadowBitmap bmp(64);
    bmp.SetColor(PixelColor::Black);
    bmp.FillPolygon(std::vector<PixelPoint>{{-far, -far}, {far, -far}, {0, far}});
    EXPECT_EQ(BlackCount(bmp), 64 * 64);
    bmp.Clear();
    bmp.DrawPolyline(std::vector<PixelPoint>{{-far, 10}, {far, 10}});
    EXPECT_EQ(BlackCount(bmp), 64);
    bmp.Clear();
    // Entirely outside: nothing painted.
    bmp.FillPolygon(std::vector<PixelPoint>{{-far, -far}, {-1, -far}, {-1, far}});
    EXPECT_EQ(BlackCount(bmp), 0);
    EXPECT_THROW(bmp.FillPolygon(std::vector<PixelPoint>{{0, 0}, {far + 1, 0}, {0, 5}}),
                 std::out_of_range);
}

TEST(ShadowBitmap, RejectsSizesThatAreNotMultiplesOfEight) {
    EXPECT_THROW(ShadowBitmap(0), std::invalid_argument);
    EXPECT_THROW(ShadowBitmap(12), std::invalid_argument);
    EXPECT_EQ(ShadowBitmap(24).BytesPerRow(), 3);
}

}  // namespace
}  // namespace pimu::shadow
