#include "shadow/touji_raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/outline_test_util.h"
#include "shadow/reference_counting.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_runs.h"
#include "solar/timetext.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;
using geometry::TLineEnt;

TLineEnt Edge(TAcadPoint st, TAcadPoint ed) {
    TLineEnt e;
    e.st = st;
    e.ed = ed;
    return e;
}

// A box standing on the ground: 4 foot edges, 4 roof edges and 4 vertical edges.
std::vector<TLineEnt> Box(double x0, double y0, double x1, double y1, double height) {
    const double xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    std::vector<TLineEnt> edges;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        edges.push_back(Edge({xs[i], ys[i], 0}, {xs[j], ys[j], 0}));
        edges.push_back(Edge({xs[i], ys[i], height}, {xs[j], ys[j], height}));
        edges.push_back(Edge({xs[i], ys[i], 0}, {xs[i], ys[i], height}));
    }
    return edges;
}

// Tokyo, winter solstice, north up.
solar::SolarState Tokyo() {
    return solar::MakeSolarState(35.68, solar::kWinterDeclination);
}

// Records a pass's progress: the maximum, each instant announced (its Position) and the times
// shown as Status, and answers "stop" at instant `stopAt`.
struct Recorder : Progress {
    int maximum = -1;
    std::vector<int> instants;
    std::vector<std::string> times;
    int stopAt = -1;
    void Start(int m) override { maximum = m; }
    void Position(int p) override { instants.push_back(p - 1); }
    void Status(const std::string &text) override { times.push_back(text); }
    bool KeepRunning() override { return instants.empty() || instants.back() != stopAt; }
};

int MaxCount(const ShadowCountGrid &grid, int n) {
    int m = 0;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) m = std::max<int>(m, grid.At(r, c));
    return m;
}

long TotalCount(const ShadowCountGrid &grid, int n) {
    long t = 0;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) t += grid.At(r, c);
    return t;
}

class TouJiRaster : public ::testing::Test {
protected:
    // Heap-allocated once per test: 8 MB.
    std::unique_ptr<ShadowCountGrid> grid = std::make_unique<ShadowCountGrid>();
    std::unique_ptr<ShadowCountGrid> other = std::make_unique<ShadowCountGrid>();
    RasterGeometry raster;
};

TEST(EvaluationInterval, TablesByIndexWithTenthAndDefault) {
    struct Case {
        int index;
        bool tenth;
        int size, seconds;
    } cases[] = {
        {0, false, 2000, 10},  {1, false, 1600, 30}, {2, false, 1200, 60}, {3, false, 640, 120},
        {0, true, 2000, 1},    {1, true, 1600, 3},   {2, true, 1200, 6},   {3, true, 640, 12},
        {-1, false, 640, 120}, {4, false, 640, 120}, {-1, true, 640, 12},
    };
    for (const Case &c : cases) {
        const EvaluationInterval e = EvaluationIntervalFor(c.index, c.tenth);
        EXPECT_EQ(e.RasterSize, c.size) << c.index << " " << c.tenth;
        EXPECT_EQ(e.Seconds, c.seconds) << c.index << " " << c.tenth;
    }
    EXPECT_DOUBLE_EQ(EvaluationIntervalFor(1, false).StepMinutes(), 0.5);
}

TEST(EvaluationInterval, ReferenceHourIsFirstCheckedOrOneAndAHalf) {
    EXPECT_EQ(ReferenceHour(-1), 1.5);
    EXPECT_EQ(ReferenceHour(0), 1.5);
    EXPECT_EQ(ReferenceHour(5), 4.0);
    EXPECT_EQ(ReferenceHour(13), 8.0);
}

TEST(EvaluationInterval, InstantCountRefusesRangesThatCannotBeMeant) {
    EXPECT_EQ(InstantCount(8.0, 16.0, 1.0), 480);
    EXPECT_EQ(InstantCount(8.0, 16.0, 2.0), 240);
    EXPECT_EQ(InstantCount(8.0, 16.0, 3.0 / 60.0), 9600);
    EXPECT_EQ(InstantCount(16.0, 8.0, 1.0), 0);
    EXPECT_EQ(InstantCount(8.0, 8.0, 1.0), 0);
    EXPECT_EQ(InstantCount(-1e300, 16.0, 1.0), 0);
    EXPECT_EQ(InstantCount(8.0, NAN, 1.0), 0);
    EXPECT_EQ(InstantCount(8.0, 16.0, 0.0), 0);
}

TEST_F(TouJiRaster, SamplesEveryInstantStrictlyInsideTheRange) {
    const auto edges = Box(0, 0, 10000, 10000, 20000);
    Recorder rec;
    const PassSummary s = CountFinePass(edges, Tokyo(), {-40000, -10000, 40000, 70000}, 4000, 64,
                                        1.0, 8.0, 16.0, *grid, rec, raster);
    EXPECT_EQ(rec.maximum, 480);
    EXPECT_EQ(s.Maximum, 480);
    ASSERT_EQ(rec.times.size(), 480u);  // 8:00:30 ... 15:59:30
    EXPECT_EQ(rec.times.front(), "08:00");
    EXPECT_EQ(rec.times.back(), "15:59");
    EXPECT_EQ(rec.instants.size(), 480u);
    EXPECT_EQ(s.Sampled, 480);
    EXPECT_EQ(s.Counted, 480);
    EXPECT_EQ(s.SkippedNoSun, 0);
    EXPECT_FALSE(s.Stopped);
    EXPECT_EQ(MaxCount(*grid, 64), 480);  // the cells next to the north wall stay shaded
    EXPECT_EQ(raster.Cell, 80000.0 / 64);
    EXPECT_EQ(raster.X0, -40000.0);
    EXPECT_EQ(raster.Y0, -10000.0);
}

TEST_F(TouJiRaster, StopEndsThePassBeforeTheInstant) {
    const auto edges = Box(0, 0, 10000, 10000, 20000);
    Recorder rec;
    rec.stopAt = 5;
    const PassSummary s = CountFinePass(edges, Tokyo(), {-40000, -10000, 40000, 70000}, 64, 64, 1.0,
                                        8.0, 16.0, *grid, rec, raster);
    EXPECT_TRUE(s.Stopped);
    EXPECT_EQ(rec.times.size(), 6u);  // instants 0 ... 4 counted, the stop asked before 5
    EXPECT_EQ(s.Counted, 5);
    EXPECT_EQ(MaxCount(*grid, 64), 5);
}

TEST_F(TouJiRaster, InstantsWithoutARealSunAreSkippedAndReported) {
    const auto edges = Box(0, 0, 10000, 10000, 20000);
    // 7:00:30 ... 8:59:30: the 30 instants before 7:30 are outside the daytime window.
    PassSummary s = CountFinePass(edges, Tokyo(), {-40000, -10000, 40000, 70000}, 0, 64, 1.0, 7.0,
                                  9.0, *grid, NoProgress(), raster);
    EXPECT_EQ(s.Sampled, 120);
    EXPECT_EQ(s.SkippedNoSun, 30);
    EXPECT_EQ(s.Counted, 90);
    EXPECT_EQ(MaxCount(*grid, 64), 90);
    // At 45 degrees north in winter the sun is still below the horizon at 7:30.
    const auto north = solar::MakeSolarState(45.0, solar::kWinterDeclination);
    EXPECT_LT(solar::SunPosition(north, 7.5).Ratio, 0.0);
    s = CountFinePass(edges, north, {-40000, -10000, 40000, 70000}, 0, 64, 1.0, 7.5, 8.0, *grid,
                      NoProgress(), raster);
    EXPECT_GT(s.SkippedNoSun, 0);
    EXPECT_EQ(s.Counted + s.SkippedNoSun, s.Sampled);
}

TEST_F(TouJiRaster, EdgesAtOrBelowThePlaneCastNoShadow) {
    const double plane = 4000;
    const Extent ext{-40000, -10000, 40000, 70000};
    struct Case {
        const char *name;
        std::vector<TLineEnt> edges;
        bool shades;
    } cases[] = {
        {"top exactly at the plane", Box(0, 0, 10000, 10000, plane), false},
        {"one end at the plane", {Edge({0, 0, plane}, {5000, 0, 20000})}, false},
        {"one end below the plane", {Edge({0, 0, 100}, {5000, 0, 20000})}, false},
        {"just above the plane", Box(0, 0, 10000, 10000, plane + 1), true},
    };
    for (const Case &c : cases) {
        const PassSummary s = CountFinePass(c.edges, Tokyo(), ext, plane, 64, 30.0, 8.0, 16.0,
                                            *grid, NoProgress(), raster);
        EXPECT_EQ(s.Counted, 16) << c.name;
        EXPECT_EQ(TotalCount(*grid, 64) > 0, c.shades) << c.name;
    }
}

TEST_F(TouJiRaster, OutlinePixelsCountAsShaded) {
    // At noon with north up a north-south edge's shadow quadrilateral collapses onto a line:
    // only its outline pixels can be shaded, and they are.
    const std::vector<TLineEnt> edges{Edge({1000, 1000, 10000}, {1000, 5000, 10000})};
    const RasterGeometry r{0, 0, 500, 64};
    ShadowBitmap bitmap(64);
    EXPECT_TRUE(CountShadowInstant(edges, Tokyo(), 12.0, 0, r, bitmap, *grid));
    // Column 2 from y = 1000 (row 62) to the tip of the shadow, 5000 + 10000 * 1.69 mm north.
    const double tip = 5000 + 10000 * solar::SunPosition(Tokyo(), 12.0).Ratio;
    const int tipRow = static_cast<int>(std::lround(64 - tip / 500));
    ASSERT_GT(tipRow, 0);
    EXPECT_EQ(TotalCount(*grid, 64), 62 - tipRow + 1);
    for (int row = tipRow; row <= 62; ++row) EXPECT_EQ(grid->At(row, 2), 1) << row;
}

TEST(PaintShadowBitmap, RefusesNothingToPaintAndLeavesTheRange) {
    const auto edges = Box(0, 0, 1000, 1000, 5000);
    ShadowBitmap bitmap(64);
    PaintedRange range{1, 2, 3, 4};
    const solar::SolarState sun = Tokyo();
    EXPECT_FALSE(PaintShadowBitmap({}, sun, 12.0, 0, {0, 0, 100, 64}, bitmap, range));
    EXPECT_FALSE(PaintShadowBitmap(edges, sun, 12.0, 0, {0, 0, 0, 64}, bitmap, range));
    EXPECT_FALSE(PaintShadowBitmap(edges, sun, 12.0, 0, {0, 0, -5, 64}, bitmap, range));
    EXPECT_FALSE(PaintShadowBitmap(edges, sun, 12.0, 0, {0, 0, NAN, 64}, bitmap, range));
    EXPECT_FALSE(PaintShadowBitmap(edges, sun, 17.0, 0, {0, 0, 100, 64}, bitmap, range));
    EXPECT_EQ(range.MinCol, 1);
    EXPECT_EQ(range.MaxRow, 4);
    EXPECT_THROW(PaintShadowBitmap(edges, sun, 12.0, 0, {0, 0, 100, 72}, bitmap, range),
                 std::invalid_argument);
    ShadowCountGrid grid;
    EXPECT_THROW(CountShadowBitmap(ShadowBitmap(2008), {0, 7, 0, 7}, grid), std::invalid_argument);
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 64; ++c) ASSERT_TRUE(bitmap.IsWhite(c, r));
}

TEST(PaintShadowBitmap, ShadowReachingFarBeyondTheRasterIsClipped) {
    // A 200 m roof edge on a raster of 0.001 mm cells: vertices a billion pixels away. The
    // raster lies inside the shadow and must come out entirely black.
    const std::vector<TLineEnt> edges{Edge({-1e5, 0, 1e5}, {1e5, 0, 1e5})};
    ShadowBitmap bitmap(64);
    bitmap.SetColor(PixelColor::Black);
    PaintedRange range;
    ASSERT_TRUE(PaintShadowBitmap(edges, Tokyo(), 12.0, 0, {0, 1000, 0.001, 64}, bitmap, range));
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 64; ++c) ASSERT_FALSE(bitmap.IsWhite(c, r));
    EXPECT_EQ(range.MinCol, 0);
    EXPECT_EQ(range.MaxCol, 63);
    EXPECT_EQ(range.MinRow, 0);
    EXPECT_EQ(range.MaxRow, 63);
}

TEST_F(TouJiRaster, ProductionCountingEqualsPerPixelCountingOnRandomBoxes) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> pos(-30000, 30000), size(2000, 25000),
        height(1000, 40000);
    const solar::SolarState suns[] = {Tokyo(), solar::MakeSolarState(43.0, 0.0, 60.0),
                                      solar::MakeSolarState(26.2, solar::kSummerDeclination, 135)};
    for (int trial = 0; trial < 12; ++trial) {
        std::vector<TLineEnt> edges;
        const int boxes = 1 + trial % 4;
        for (int b = 0; b < boxes; ++b) {
            const double x = pos(rng), y = pos(rng);
            const auto box = Box(x, y, x + size(rng), y + size(rng), height(rng));
            edges.insert(edges.end(), box.begin(), box.end());
        }
        // Rasters that cut through the shadows as well as ones that hold them whole.
        const double half = trial % 3 == 0 ? 20000 : 90000;
        const Extent ext{-half, -half, half, half * 1.3};
        const int n = 8 * (8 + trial * 3);
        const solar::SolarState &sun = suns[trial % 3];
        CountFinePass(edges, sun, ext, 3000, n, 20.0, 7.0, 17.0, *grid, NoProgress(), raster);
        reference::FinePass(edges, sun, ext, 3000, n, 20.0, 7.0, 17.0, *other);
        ASSERT_TRUE(*grid == *other) << "trial " << trial;
        EXPECT_GT(TotalCount(*grid, n), 0) << "trial " << trial;
    }
}

// The runs of polygons of every kind (bow-ties, slivers, single points, lines, polygons reaching
// far outside the raster, several overlapping in one instant) against the bitmap's own painting.
TEST(RunCounter, PaintsExactlyTheBitmapsPixels) {
    std::mt19937 rng(7);
    auto coord = [&](int spread) {
        return static_cast<std::int32_t>(static_cast<int>(rng() % (2 * spread + 1)) - spread + 20);
    };
    constexpr int n = 48;
    auto grid = std::make_unique<ShadowCountGrid>(), expected = std::make_unique<ShadowCountGrid>();
    RunCounter counter(n);
    ShadowBitmap bitmap(n);
    for (int instant = 0; instant < 400; ++instant) {
        bitmap.Clear();
        bitmap.SetColor(PixelColor::Black);
        const int polygons = 1 + instant % 3;
        const int spread = instant % 5 == 0 ? 5000 : instant % 5 == 1 ? 3 : 40;
        for (int k = 0; k < polygons; ++k) {
            std::vector<PixelPoint> poly(1 + rng() % 7);
            for (PixelPoint &p : poly) p = {coord(spread), coord(spread)};
            if (instant % 7 == 0) poly = {poly[0], {poly[0].x + 1, poly[0].y + 40}};  // steep line
            bitmap.FillPolygon(poly);
            counter.AddPolygon(poly);
        }
        counter.EndInstant();
        reference::CountEveryPixel(bitmap, *expected);
    }
    counter.AddTo(*grid);
    EXPECT_TRUE(*grid == *expected);
}

// Long quadrilaterals like the edges' shadows, whose rows between two vertex rows are counted as
// one run each where two edges cross them: sides of slope exactly 1 and 1/2 (halves to round),
// vertical and horizontal sides, slivers thinner than a pixel, crossed and concave ones, polygons
// apart in the same rows and one bridging them, polygons leaving the raster; then random shadows
// of random foot edges. Each against the bitmap's own painting.
TEST(RunCounter, LongQuadrilateralsPaintExactlyTheBitmapsPixels) {
    constexpr int n = 160;
    using Polygon = std::vector<PixelPoint>;
    struct Case {
        const char *what;
        std::vector<Polygon> polygons;
    };
    std::vector<Case> cases = {
        {"slope 1", {{{10, 10}, {20, 10}, {120, 110}, {110, 110}}}},
        {"slope 1/2 rising and falling",
         {{{5, 30}, {9, 28}, {149, 98}, {145, 100}}, {{150, 20}, {154, 23}, {14, 93}, {10, 90}}}},
        {"steep and shallow sides", {{{30, 3}, {33, 150}, {100, 157}, {96, 9}}}},
        {"vertical and horizontal sides", {{{40, -20}, {41, -20}, {41, 200}, {40, 200}}}},
        {"horizontal top and bottom", {{{20, 40}, {90, 40}, {130, 120}, {60, 120}}}},
        {"sliver thinner than a pixel", {{{0, 0}, {1, 0}, {151, 149}, {150, 149}}}},
        {"sliver along a shallow line", {{{3, 50}, {157, 97}, {157, 98}, {3, 51}}}},
        {"crossed", {{{10, 10}, {150, 150}, {150, 10}, {10, 150}}}},
        {"concave", {{{10, 10}, {80, 70}, {150, 10}, {80, 150}}}},
        {"apart in the same rows, then bridged",
         {{{10, 10}, {30, 10}, {40, 150}, {20, 150}},
          {{100, 10}, {120, 10}, {130, 150}, {110, 150}},
          {{60, 10}, {70, 10}, {80, 150}, {70, 150}},
          {{25, 80}, {125, 80}, {125, 82}, {25, 82}}}},
        {"leaving the raster on every side", {{{-300, -50}, {-280, -60}, {400, 250}, {380, 260}}}},
        {"far outside, crossing it",
         {{{-ShadowBitmap::kMaxCoord, 7},
           {ShadowBitmap::kMaxCoord, 9},
           {5, ShadowBitmap::kMaxCoord}}}},
        {"a point and a line", {{{77, 77}}, {{3, 140}, {157, 141}}}},
    };
    std::mt19937 rng(11);
    auto uniform = [&](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    for (int k = 0; k < 300; ++k) {
        Case c{"random shadows", {}};
        const int sx = uniform(-400, 400), sy = uniform(-400, 400);
        for (int q = uniform(1, 6); q > 0; --q) {
            const PixelPoint a{uniform(0, n - 1), uniform(0, n - 1)};
            const PixelPoint b{a.x + uniform(-30, 30), a.y + uniform(-30, 30)};
            c.polygons.push_back({a,
                                  b,
                                  {b.x + sx + uniform(-1, 1), b.y + sy + uniform(-1, 1)},
                                  {a.x + sx + uniform(-1, 1), a.y + sy + uniform(-1, 1)}});
        }
        cases.push_back(c);
    }
    auto grid = std::make_unique<ShadowCountGrid>(), expected = std::make_unique<ShadowCountGrid>();
    RunCounter counter(n);
    ShadowBitmap bitmap(n);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        grid->Clear();
        expected->Clear();
        counter.Clear();
        bitmap.Clear();
        bitmap.SetColor(PixelColor::Black);
        for (const Polygon &polygon : cases[i].polygons) {
            counter.AddPolygon(polygon);
            bitmap.FillPolygon(polygon);
        }
        counter.EndInstant();
        counter.AddTo(*grid);
        reference::CountEveryPixel(bitmap, *expected);
        ASSERT_TRUE(*grid == *expected) << cases[i].what << " " << i;
        EXPECT_GT(TotalCount(*grid, n), 0) << cases[i].what << " " << i;
    }
}

// An instant that repeats the last one exactly is counted again without being painted again.
TEST(RunCounter, RepeatedInstantsCountByWeight) {
    auto grid = std::make_unique<ShadowCountGrid>();
    RunCounter counter(16);
    const std::vector<PixelPoint> square{{2, 2}, {6, 2}, {6, 6}, {2, 6}}, other{{8, 8}, {9, 12}};
    for (const auto *poly : {&square, &square, &square, &other, &square}) {
        counter.AddPolygon(*poly);
        counter.EndInstant();
    }
    counter.AddTo(*grid);
    EXPECT_EQ(grid->At(4, 4), 4);
    EXPECT_EQ(grid->At(2, 6), 4);
    EXPECT_EQ(grid->At(7, 4), 0);
    EXPECT_EQ(grid->At(10, 9), 1);  // the line, drawn once
    EXPECT_THROW(counter.AddPolygon(std::vector<PixelPoint>{{ShadowBitmap::kMaxCoord + 1, 0}}),
                 std::out_of_range);
    EXPECT_THROW(RunCounter(2001), std::invalid_argument);
}

// Polygons of many vertices (a wavy ring, a random one crossing itself) take their rows' edges
// from an active list; they paint exactly the bitmap's pixels.
TEST(RunCounter, ManyVertexPolygonsPaintExactlyTheBitmapsPixels) {
    constexpr int n = 200;
    std::mt19937 rng(11);
    std::vector<std::vector<PixelPoint>> polygons(2);
    for (int k = 0; k < 3000; ++k) {
        const double a = geometry::kTwoPi * k / 3000, r = 80 + 12 * std::sin(a * 37);
        polygons[0].push_back({static_cast<std::int32_t>(std::lround(100 + r * std::cos(a))),
                               static_cast<std::int32_t>(std::lround(100 + r * std::sin(a)))});
    }
    for (int k = 0; k < 500; ++k)
        polygons[1].push_back({static_cast<std::int32_t>(rng() % 240) - 20,
                               static_cast<std::int32_t>(rng() % 240) - 20});
    for (const auto &poly : polygons) {
        auto grid = std::make_unique<ShadowCountGrid>(),
             expected = std::make_unique<ShadowCountGrid>();
        RunCounter counter(n);
        ShadowBitmap bitmap(n);
        bitmap.SetColor(PixelColor::Black);
        bitmap.FillPolygon(poly);
        counter.AddPolygon(poly);
        counter.EndInstant();
        reference::CountEveryPixel(bitmap, *expected);
        counter.AddTo(*grid);
        EXPECT_TRUE(*grid == *expected) << poly.size();
    }
}

// A round building of 4,000 vertices with bays: its long runs of edges facing the sun the same
// way are painted as one ring each. Every pixel whose centre and neighbourhood the rays decide
// alike is painted as the rays say: in an edge's shadow when the ray from it towards the sun
// passes through a wall below the roof (the ground under the building is counted apart).
TEST(PaintShadowBitmap, LongRunsOfEdgesAgreeWithRays) {
    std::vector<TAcadPoint> ring;
    for (int k = 0; k < 4000; ++k) {
        const double a = geometry::kTwoPi * k / 4000;
        const double r = 30000 + 1500 * std::sin(geometry::kTwoPi * (k % 400) / 400);
        ring.push_back({r * std::cos(a), r * std::sin(a), 0});
    }
    const double top = 20000, h = 4000;
    std::vector<TLineEnt> edges;
    geometry::testing::AddPrism(edges, ring, top);
    const auto crosses = [&](double ax, double ay, double bx, double by) {
        const auto side = [](double px, double py, double qx, double qy, double rx, double ry) {
            return (qx - px) * (ry - py) - (qy - py) * (rx - px);
        };
        for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
            const TAcadPoint c = ring[j], d = ring[i];
            if ((side(ax, ay, bx, by, c.x, c.y) > 0) != (side(ax, ay, bx, by, d.x, d.y) > 0) &&
                (side(c.x, c.y, d.x, d.y, ax, ay) > 0) != (side(c.x, c.y, d.x, d.y, bx, by) > 0))
                return true;
        }
        return false;
    };
    const solar::SolarState sun = Tokyo();
    constexpr int n = 72;
    const RasterGeometry raster{-100000, -40000, 200000.0 / n, n};
    for (double t : {9.0, 12.0, 14.5}) {
        SCOPED_TRACE(t);
        const solar::SunResult pos = solar::SunPosition(sun, t);
        const double toSun = solar::ShadowAngle(sun, pos.Azimuth) + geometry::kPi;
        const double run = (top - h) * pos.Ratio;
        const auto ray = [&](double x, double y) {
            const double ex = x + run * std::cos(toSun), ey = y + run * std::sin(toSun);
            return crosses(x, y, ex, ey);
        };
        ShadowBitmap bitmap(n);
        bitmap.SetColor(PixelColor::Black);
        PaintedRange range;
        ASSERT_TRUE(PaintShadowBitmap(edges, sun, t, h, raster, bitmap, range));
        int decided = 0, shaded = 0;
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) {
                const TAcadPoint p = CellPoint(raster, r, c);
                const bool at = ray(p.x, p.y);
                bool clear = true;
                for (double dx : {-1.5, 1.5})
                    for (double dy : {-1.5, 1.5})
                        clear = clear && ray(p.x + dx * raster.Cell, p.y + dy * raster.Cell) == at;
                if (!clear) continue;
                ++decided;
                shaded += at;
                EXPECT_EQ(!bitmap.IsWhite(c, r), at) << "row " << r << " col " << c;
            }
        EXPECT_GT(decided, n * n / 2);
        EXPECT_GT(shaded, 100);
    }
}

// The example site (a block, a stepped volume, a round tower of 36 chords, two walls, the
// neighbour) counted by runs and per pixel, at every instant of the 60 s interval.
TEST_F(TouJiRaster, ProductionCountingEqualsPerPixelCountingOnTheExampleSite) {
    std::vector<TLineEnt> edges;
    geometry::testing::AddBox(edges, 18000, 36000, 24000, 12000, 21000);
    geometry::testing::AddBox(edges, 48000, 30000, 16000, 16000, 9000);
    std::vector<TAcadPoint> step = geometry::testing::Rect(48000, 38000, 16000, 8000);
    for (TAcadPoint &p : step) p.z = 9000;
    geometry::testing::AddPrism(edges, step, 9000);
    std::vector<TAcadPoint> tower;
    for (int k = 0; k < 36; ++k)
        tower.push_back({30000 + 4500 * std::cos(k * geometry::kPi / 18),
                         20000 + 4500 * std::sin(k * geometry::kPi / 18), 0});
    geometry::testing::AddPrism(edges, tower, 33000);
    edges.push_back(geometry::testing::Edge({26000, 24000, 6000}, {26000, 36000, 6000}));
    edges.push_back(geometry::testing::Edge({34000, 24000, 6000}, {34000, 36000, 6000}));
    geometry::testing::AddBox(edges, 20000, 62000, 30000, 10000, 12000);
    const Extent ext{-40000, -20000, 120000, 140000};
    CountFinePass(edges, Tokyo(), ext, 4000, 320, 1.0, 8.0, 16.0, *grid, NoProgress(), raster);
    reference::FinePass(edges, Tokyo(), ext, 4000, 320, 1.0, 8.0, 16.0, *other);
    EXPECT_TRUE(*grid == *other);
    EXPECT_GT(TotalCount(*grid, 320), 0);
}

TEST_F(TouJiRaster, CountingThreadsGiveTheSameGridAndStopAtTheSameInstant) {
    std::vector<TLineEnt> edges = Box(0, 0, 12000, 8000, 25000);
    const auto tower = Box(15000, -5000, 22000, 3000, 45000);
    edges.insert(edges.end(), tower.begin(), tower.end());
    const Extent ext{-60000, -10000, 70000, 90000};
    for (int stopAt : {-1, 1, 37}) {
        Recorder one, several;
        one.stopAt = several.stopAt = stopAt;
        const PassSummary a =
            CountFinePass(edges, Tokyo(), ext, 4000, 200, 5.0, 7.0, 16.0, *grid, one, raster, 1);
        for (int threads : {2, 3}) {
            several.times.clear();
            several.instants.clear();
            const PassSummary b = CountFinePass(edges, Tokyo(), ext, 4000, 200, 5.0, 7.0, 16.0,
                                                *other, several, raster, threads);
            EXPECT_TRUE(*grid == *other) << "stop " << stopAt << " threads " << threads;
            EXPECT_EQ(a.Counted, b.Counted);
            EXPECT_EQ(a.SkippedNoSun, b.SkippedNoSun);
            EXPECT_EQ(a.Stopped, b.Stopped);
            EXPECT_EQ(one.times, several.times);
        }
    }
}

// Even-odd point-in-polygon in drawing coordinates.
bool InsideQuad(const std::array<TAcadPoint, 4> &q, double x, double y) {
    bool inside = false;
    for (int i = 0, j = 3; i < 4; j = i++) {
        if ((q[i].y > y) != (q[j].y > y) &&
            x < (q[j].x - q[i].x) * (y - q[i].y) / (q[j].y - q[i].y) + q[i].x) {
            inside = !inside;
        }
    }
    return inside;
}

double DistanceToSegment(TAcadPoint a, TAcadPoint b, double x, double y) {
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (a.x + t * dx), y - (a.y + t * dy));
}

TEST_F(TouJiRaster, CountsMatchAnIndependentShadowTestAwayFromOutlines) {
    const double plane = 4000, height = 25000;
    const auto edges = Box(0, 0, 12000, 8000, height);
    const solar::SolarState sun = solar::MakeSolarState(35.0, solar::kWinterDeclination, 80.0);
    const Extent ext{-50000, -10000, 60000, 70000};
    const int n = 128;
    const double step = 20.0;
    CountFinePass(edges, sun, ext, plane, n, step, 8.0, 16.0, *grid, NoProgress(), raster);

    // Per cell: instants at which the centre is surely in the shadow, and instants at which it
    // lies so close to an outline that the rounding of vertices decides.
    const int m = InstantCount(8.0, 16.0, step);
    int exact = 0, partial = 0;
    for (int row = 1; row < n; row += 2) {
        for (int col = 1; col < n; col += 2) {
            const double x = raster.X0 + raster.Cell * col;
            const double y = raster.Y0 + raster.Cell * (n - row);
            int sure = 0, unsure = 0;
            for (int i = 0; i < m; ++i) {
                const solar::SunResult s = solar::SunPosition(sun, 8.0 + step * (i + 0.5) / 60.0);
                const double dir = solar::ShadowAngle(sun, s.Azimuth);
                const double len = (height - plane) * s.Ratio;
                bool shaded = false, nearOutline = false;
                for (const TLineEnt &e : edges) {
                    if (e.st.z != height || e.ed.z != height) continue;
                    const TAcadPoint s1{e.st.x + len * std::cos(dir), e.st.y + len * std::sin(dir)};
                    const TAcadPoint s2{e.ed.x + len * std::cos(dir), e.ed.y + len * std::sin(dir)};
                    const std::array<TAcadPoint, 4> q{e.st, e.ed, s2, s1};
                    for (int k = 0; k < 4; ++k) {
                        // Rounded vertices and the line rule stay within 1.5 cells of the edge.
                        if (DistanceToSegment(q[k], q[(k + 1) % 4], x, y) < 1.5 * raster.Cell) {
                            nearOutline = true;
                        }
                    }
                    shaded = shaded || InsideQuad(q, x, y);
                }
                if (nearOutline) {
                    ++unsure;
                } else if (shaded) {
                    ++sure;
                }
            }
            const int count = grid->At(row, col);
            EXPECT_GE(count, sure) << "row " << row << " col " << col;
            EXPECT_LE(count, sure + unsure) << "row " << row << " col " << col;
            if (unsure == 0) {
                ++exact;
                if (sure > 0 && sure < m - 1) ++partial;
            }
        }
    }
    EXPECT_GT(exact, 1000);
    EXPECT_GT(partial, 30);
}

TEST_F(TouJiRaster, ExtentPassFramesTheCellsOfTheReferenceHour) {
    const auto edges = Box(0, 0, 12000, 8000, 25000);
    const Extent hani{-60000, -5000, 70000, 90000};
    Recorder rec;
    const ToujiHani t = GetToujiHani(edges, Tokyo(), 4000, 8.0, 16.0, 2.0, hani, *grid, rec);
    EXPECT_EQ(rec.maximum, 240);
    EXPECT_EQ(rec.instants.size(), 240u);
    EXPECT_TRUE(rec.times.empty());
    ASSERT_TRUE(t.Found);
    const double xmin = -60000 - 130000 * 0.025, ymin = -5000 - 95000 * 0.025;
    const double c = std::max((70000 - xmin) * 1.0244, (90000 - ymin) * 1.0244) / 480;
    EXPECT_NEAR(t.Cell, c, 1e-9);
    // Every cell shaded for 2 hours lies inside, with the margins to spare.
    int qualifying = 0;
    for (int r = 0; r < 480; ++r) {
        for (int col = 0; col < 480; ++col) {
            if (grid->At(r, col) < 60) continue;
            ++qualifying;
            const double x = xmin + t.Cell * col, y = ymin + t.Cell * (480 - r);
            EXPECT_GE(x - t.Rect.XMin, 10 * t.Cell - 1e-6);
            EXPECT_GE(t.Rect.XMax - x, 10 * t.Cell - 1e-6);
            EXPECT_GE(y - t.Rect.YMin, 11 * t.Cell - 1e-6);
            EXPECT_GE(t.Rect.YMax - y, 9 * t.Cell - 1e-6);
        }
    }
    EXPECT_GT(qualifying, 0);
    // The frame is tight: the 2-hour area touches each margin.
    EXPECT_LT(t.Rect.XMax - t.Rect.XMin, 130000);
}

TEST_F(TouJiRaster, ExtentPassWithNoQualifyingCellGivesTheInvertedRectangle) {
    const auto edges = Box(0, 0, 12000, 8000, 25000);
    const Extent hani{0, 0, 48000, 48000};
    // A building below the plane shades nothing.
    const ToujiHani t =
        GetToujiHani(edges, Tokyo(), 30000, 8.0, 16.0, 2.0, hani, *grid, NoProgress());
    EXPECT_FALSE(t.Found);
    const double xmin = -48000 * 0.025, ymin = -48000 * 0.025;
    EXPECT_DOUBLE_EQ(t.Rect.XMin, xmin + t.Cell * (479 - 10));
    EXPECT_DOUBLE_EQ(t.Rect.XMax, xmin + t.Cell * 10);
    EXPECT_DOUBLE_EQ(t.Rect.YMin, ymin + t.Cell * (480 - 0 - 11));
    EXPECT_DOUBLE_EQ(t.Rect.YMax, ymin + t.Cell * (480 - 479 + 9));
    EXPECT_GT(t.Rect.XMin, t.Rect.XMax);
    EXPECT_GT(t.Rect.YMin, t.Rect.YMax);
    // A fine pass over it paints nothing instead of drawing a mirrored raster.
    const PassSummary s = CountFinePass(edges, Tokyo(), t.Rect, 4000, 64, 2.0, 8.0, 16.0, *grid,
                                        NoProgress(), raster);
    EXPECT_EQ(s.Counted, 0);
    EXPECT_EQ(TotalCount(*grid, 64), 0);
}

TEST_F(TouJiRaster, ExtentPassFramesAnHourAsLongAsTheRange) {
    // 8 hours over 8:00-16:00 need all 240 instants: the cells shaded at every one of them are
    // framed, around the building's footprint.
    const auto edges = Box(0, 0, 12000, 8000, 25000);
    const Extent hani{-60000, -5000, 70000, 90000};
    const ToujiHani t =
        GetToujiHani(edges, Tokyo(), 4000, 8.0, 16.0, 8.0, hani, *grid, NoProgress());
    ASSERT_TRUE(t.Found);
    EXPECT_LT(t.Rect.XMin, 0.0);
    EXPECT_GT(t.Rect.XMax, 12000.0);
    EXPECT_LT(t.Rect.YMin, 0.0);
    EXPECT_GT(t.Rect.YMax, 8000.0);
    EXPECT_LT(t.Rect.XMax - t.Rect.XMin, 40000.0);
    // Nothing is counted in an empty range, and nothing then qualifies.
    const ToujiHani none =
        GetToujiHani(edges, Tokyo(), 4000, 8.0, 8.02, 1.5, hani, *grid, NoProgress());
    EXPECT_EQ(none.Summary.Sampled, 0);
    EXPECT_FALSE(none.Found);
}

TEST_F(TouJiRaster, RejectsRasterSizesTheGridCannotHold) {
    const auto edges = Box(0, 0, 1000, 1000, 5000);
    for (int n : {0, 12, 2008}) {
        EXPECT_THROW(CountFinePass(edges, Tokyo(), {0, 0, 1, 1}, 0, n, 1.0, 8, 16, *grid,
                                   NoProgress(), raster),
                     std::invalid_argument)
            << n;
    }
}

}  // namespace
}  // namespace pimu::shadow
