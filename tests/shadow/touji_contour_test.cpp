#include "shadow/touji_contour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "geometry/outline_test_util.h"
#include "solar/sun.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;

constexpr int kN = 16;

// Counts by map letter; with a 1-minute step over 8..16 the thresholds are 90 (1.5Hr), 120,
// ... 450 (7.5Hr) and 480 (8.0Hr).
int CountOf(char ch) {
    switch (ch) {
        case 'a':
            return 100;  // 1.5Hr only
        case 'b':
            return 300;  // up to 5.0Hr
        case 'f':
            return 480;  // 8.0Hr exactly
        case 'g':
            return 500;  // every hour
        default:
            return 0;
    }
}

struct Recorder : Progress {
    int calls = 0;
    int stopAtCall = -1;  // KeepRunning answers false from this call on
    std::vector<std::string> statuses;
    bool KeepRunning() override {
        ++calls;
        return stopAtCall < 0 || calls < stopAtCall;
    }
    void Status(const std::string &text) override { statuses.push_back(text); }
};

class ToujiContour : public ::testing::Test {
protected:
    std::unique_ptr<ShadowCountGrid> grid = std::make_unique<ShadowCountGrid>();
    ShadowBitmap bitmap{kN};
    RasterGeometry raster{0.0, 0.0, 1.0, kN};
    Recorder progress;

    void Load(const std::vector<std::string> &map) {
        for (int r = 0; r < static_cast<int>(map.size()); ++r)
            for (int c = 0; c < static_cast<int>(map[r].size()); ++c)
                grid->At(r, c) = static_cast<std::uint16_t>(CountOf(map[r][c]));
    }

    ContourRun Run(std::vector<int> checked, double startHour = 8.0, double endHour = 16.0,
                   bool smoothing = false) {
        ContourSettings s;
        for (int i : checked) s.Checked[i] = true;
        s.StepMinutes = 1.0;
        s.StartHour = startHour;
        s.EndHour = endHour;
        s.Smoothing = smoothing;
        s.SmoothingFactor = 2;
        return TraceToujiContours(*grid, raster, bitmap, s, progress);
    }

    HourExtraction Extract(int index) {
        return ExtractHour(*grid, raster, bitmap, MakeContourHour(index, 1.0, 8.0, 16.0), progress);
    }
};

// Cells (row, col) as drawing points of the 16 x 16 unit raster.
std::vector<TAcadPoint> Cells(std::vector<std::pair<int, int>> cells) {
    std::vector<TAcadPoint> pts;
    for (auto [r, c] : cells) pts.push_back({c * 1.0, kN - r * 1.0, 0.0});
    return pts;
}

// A cell is drawn at the point where the counting pass sampled it (before, half a cell east).
TEST(CellPoint, IsWhereTheCellWasCounted) {
    const RasterGeometry raster{1000.0, -2000.0, 250.0, 64};
    for (auto [row, col] : {std::pair{0, 0}, {10, 37}, {63, 63}}) {
        const TAcadPoint p = CellPoint(raster, row, col);
        EXPECT_DOUBLE_EQ((p.x - raster.X0) / raster.Cell, col);
        EXPECT_DOUBLE_EQ(raster.N - (p.y - raster.Y0) / raster.Cell, row);
    }
}

// A 12 x 8 m box, 25 m high, standing on the ground.
struct TLineEntBox {
    std::vector<geometry::TLineEnt> edges;
    TLineEntBox() {
        const double xs[4] = {0, 12000, 12000, 0}, ys[4] = {0, 0, 8000, 8000};
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            for (double z : {0.0, 25000.0}) {
                geometry::TLineEnt e;
                e.st = {xs[i], ys[i], z};
                e.ed = {xs[j], ys[j], z};
                edges.push_back(e);
            }
            geometry::TLineEnt v;
            v.st = {xs[i], ys[i], 0};
            v.ed = {xs[i], ys[i], 25000};
            edges.push_back(v);
        }
    }
};

std::vector<PixelPoint> Pixels(std::vector<std::pair<int, int>> cells) {
    std::vector<PixelPoint> px;
    for (auto [r, c] : cells) px.push_back({c, r});
    return px;
}

TEST(ToujiHours, ItemsColoursAndThresholds) {
    EXPECT_EQ(HourItemText(0), "1.5Hr");
    EXPECT_EQ(HourItemText(1), "2.0Hr");
    EXPECT_EQ(HourItemText(13), "8.0Hr");
    EXPECT_DOUBLE_EQ(HourOfItemText("7.5Hr"), 7.5);
    EXPECT_THROW(HourOfItemText("Hr"), std::invalid_argument);
    const int colours[kHourItemCount] = {2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 2, 3, 4, 5};
    for (int i = 0; i < kHourItemCount; ++i) EXPECT_EQ(HourColor(i), colours[i]) << i;

    struct Case {
        double hour, step, threshold;
    } cases[] = {
        {8.0, 1.0, 480},  // the whole 8:00-16:00 range: every one of its 480 instants
        {7.5, 1.0, 450}, {1.5, 0.5, 180}, {1.5, 1.0 / 6.0, 540}, {8.0, 2.0, 240},
    };
    for (const Case &c : cases) {
        EXPECT_DOUBLE_EQ(HourThreshold(c.hour, c.step), c.threshold) << c.hour;
        EXPECT_EQ(LoweredCount(c.threshold), static_cast<int>(c.threshold) - 1);
    }
    EXPECT_EQ(LoweredCount(0.5), 0);
}

TEST_F(ToujiContour, HoursAreDrawnFromTheLongestDownAndOnlyWhenChecked) {
    Load({
        "................",
        "................",
        "..aaaaaaaaaa....",
        "..aaaaaaaaaa....",
        "..aaaaaaaaaa....",
        "..aaabbbbaaa....",
        "..aaabbbbaaa....",
        "..aaabbbbaaa....",
        "..aaabbbbaaa....",
        "..aaaaaaaaaa....",
        "..aaaaaaaaaa....",
        "..aaaaaaaaaa....",
    });
    // 8.0Hr reaches no cell and says nothing; 4.5Hr (270) takes the inner block; 2.0Hr is
    // not checked; 1.5Hr takes the outer block, which the 4.5Hr erase left whole.
    const ContourRun run = Run({0, 6, 13});
    ASSERT_EQ(run.Outlines.size(), 2u);
    EXPECT_FALSE(run.Stopped);
    EXPECT_TRUE(run.Issues.empty());
    EXPECT_EQ(progress.statuses, (std::vector<std::string>{"8.0Hr", "4.5Hr", "1.5Hr"}));

    const ToujiOutline &inner = run.Outlines[0];
    EXPECT_EQ(inner.ItemText, "4.5Hr");
    EXPECT_EQ(inner.Color, 3);
    EXPECT_EQ(inner.Points.size(), 12u);
    EXPECT_EQ(inner.Points.front(), Cells({{5, 5}})[0]);

    const ToujiOutline &outer = run.Outlines[1];
    EXPECT_EQ(outer.ItemText, "1.5Hr");
    EXPECT_EQ(outer.Color, 2);
    EXPECT_EQ(outer.Points.size(), 36u);  // the full ring of a 10 x 10 block
    EXPECT_EQ(outer.Points.front(), Cells({{2, 2}})[0]);

    // Both passes erased the inner block: first to 269, then with the outer block to 89.
    EXPECT_EQ(grid->At(6, 6), 89);
    EXPECT_EQ(grid->At(0, 0), 0);
}

TEST_F(ToujiContour, EraseLowersTheRegionJustBelowItsHourOnly) {
    Load({
        "................",
        "................",
        "..aaaaaaaaaa....",
        "..aaaaaaaaaa....",
        "..aabbbbbbaa....",
        "..aabbbbbbaa....",
        "..aabbbbbbaa....",
        "..aaaaaaaaaa....",
        "..aaaaaaaaaa....",
    });
    const HourExtraction ex = Extract(6);  // 4.5Hr, T = 270
    ASSERT_EQ(ex.Outlines.size(), 1u);
    EXPECT_EQ(ex.End, HourEnd::NoStart);
    for (int r = 0; r < kN; ++r)
        for (int c = 0; c < kN; ++c) {
            const char before = (r >= 4 && r <= 6 && c >= 4 && c <= 9)    ? 'b'
                                : (r >= 2 && r <= 8 && c >= 2 && c <= 11) ? 'a'
                                                                          : '.';
            const int expected = before == 'b' ? 269 : CountOf(before);
            EXPECT_EQ(grid->At(r, c), expected) << r << "," << c;
        }
}

TEST_F(ToujiContour, FullDayHourNeedsEveryInstant) {
    struct Case {
        double end;
        std::size_t outlines;
    } cases[] = {{16.0, 1}, {17.0, 1}};  // T = 480, whether 8 hours fill the range or not
    for (const Case &c : cases) {
        grid->Clear();
        Load({"", "", "", "....ffff", "....ffff", "....ffff"});
        const ContourRun run = Run({13}, 8.0, c.end);
        EXPECT_EQ(run.Outlines.size(), c.outlines) << c.end;
        EXPECT_TRUE(run.Issues.empty());
    }
}

TEST_F(ToujiContour, OutlineFollowsCellCentresAndRowEdges) {
    struct Case {
        std::vector<std::string> map;
        std::vector<std::pair<int, int>> cells;
    } cases[] = {
        {{"", "", "", "....gggg", "....gggg", "....gggg"},
         {{3, 4}, {4, 4}, {5, 4}, {5, 5}, {5, 6}, {5, 7}, {4, 7}, {3, 7}, {3, 6}, {3, 5}}},
        // A 2 x 2 block keeps all four corners.
        {{"", "", "", "...gg", "...gg"}, {{3, 3}, {4, 3}, {4, 4}, {3, 4}}},
        // A one-cell top: the trace comes back to it diagonally.
        {{"", "", "", "....g", "...ggg"}, {{3, 4}, {4, 3}, {4, 4}, {4, 5}}},
    };
    for (const Case &c : cases) {
        grid->Clear();
        Load(c.map);
        const HourExtraction ex = Extract(0);
        ASSERT_EQ(ex.Outlines.size(), 1u);
        EXPECT_EQ(ex.Outlines[0].Pixels, Pixels(c.cells));
        EXPECT_EQ(ex.Outlines[0].Points, Cells(c.cells));
    }
}

TEST_F(ToujiContour, SpikeIsTracedOutAndBackWithoutItsTip) {
    Load({
        "",
        "",
        "",
        "",
        ".....gggg",
        ".....gggg",
        "..ggggggg",
        ".....gggg",
    });
    const HourExtraction ex = Extract(0);
    ASSERT_EQ(ex.Outlines.size(), 1u);
    const auto &px = ex.Outlines[0].Pixels;
    const std::vector<PixelPoint> spike = Pixels({{5, 5}, {6, 4}, {6, 3}, {6, 4}, {7, 5}});
    EXPECT_NE(std::search(px.begin(), px.end(), spike.begin(), spike.end()), px.end());
    EXPECT_EQ(std::count(px.begin(), px.end(), PixelPoint{2, 6}), 0);  // the tip
    EXPECT_EQ(std::count(px.begin(), px.end(), PixelPoint{3, 6}), 1);
    EXPECT_EQ(grid->At(6, 2), LoweredCount(90.0));
    EXPECT_EQ(ex.Outlines[0].Points.size(), px.size());
}

TEST_F(ToujiContour, SeparateRegionsComeInTheOrderOfTheirTopLeftCells) {
    Load({
        "",
        "",
        "",
        ".........aaa",
        ".........aaa",
        ".........aaa",
        "",
        "",
        "..aaa",
        "..aaa",
        "..aaa",
    });
    const HourExtraction ex = Extract(0);
    ASSERT_EQ(ex.Outlines.size(), 2u);
    EXPECT_EQ(ex.Outlines[0].Pixels.front(), (PixelPoint{9, 3}));
    EXPECT_EQ(ex.Outlines[1].Pixels.front(), (PixelPoint{2, 8}));
    EXPECT_EQ(ex.End, HourEnd::NoStart);
}

TEST_F(ToujiContour, RegionAtTheBorderIsReportedAndGivesNoOutline) {
    const HourIssue within{0, "1.5Hr", HourEnd::Border, true};
    struct Case {
        const char *name;
        std::vector<std::string> map;
        int item;
        double end;
        HourIssue issue;
        std::size_t outlines;
    } cases[] = {
        {"top row and first column", {"aaa", "aaa", "aaa"}, 0, 16.0, within, 0},
        {"east side", {"", "", "", "..........aaaaa", "..........aaaaa"}, 0, 16.0, within, 0},
        {"bottom, after an inner region",
         {"", "", "..aa", "..aa", "", "", "", "", "", "", "", "", "", "", ".....aaa", ".....aaa"},
         0,
         16.0,
         within,
         1},
        // An hour longer than the range: the window says it cannot go on rather than that the
        // range was exceeded.
        {"hour beyond the range",
         {"", "", "", "...gggggg", "...gggggg", "...ggggggggggggg"},
         13,
         14.0,
         {13, "8.0Hr", HourEnd::Border, false},
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        grid->Clear();
        Load(c.map);
        const ContourRun run = Run({c.item}, 8.0, c.end);
        EXPECT_EQ(run.Outlines.size(), c.outlines);
        EXPECT_EQ(run.Issues, std::vector<HourIssue>{c.issue});
        EXPECT_FALSE(run.Stopped);
    }
}

// A region of one or two cells gets the square half a cell round its cells, and however few
// cells remain after it, they still get their line.
TEST_F(ToujiContour, OneAndTwoCellRegionsGetTheSquareRoundTheirCellsAndTheHourGoesOn) {
    struct Case {
        const char *name;
        std::vector<std::string> map;
        int lastRow;  // of the small region, in column 3 from row 3
    } cases[] = {
        {"lone cell, 12 cells left", {"", "", "", "...a", "", "", "..aaaa", "..aaaa", "..aaaa"}, 3},
        {"lone cell, 4 cells left", {"", "", "", "...a", "", "", "..aa", "..aa"}, 3},
        {"two cells, 12 cells left",
         {"", "", "", "...a", "...a", "", "..aaaa", "..aaaa", "..aaaa"},
         4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        grid->Clear();
        Load(c.map);
        const HourExtraction ex = Extract(0);
        ASSERT_EQ(ex.Outlines.size(), 2u);
        EXPECT_EQ(ex.End, HourEnd::NoStart);
        const std::vector<TAcadPoint> &square = ex.Outlines[0].Points;
        ASSERT_EQ(square.size(), 4u);
        EXPECT_EQ(square[0], (TAcadPoint{2.5, kN - c.lastRow - 0.5, 0}));
        EXPECT_EQ(square[2], (TAcadPoint{3.5, kN - 3 + 0.5, 0}));
        EXPECT_GE(ex.Outlines[1].Points.size(), 4u);
        EXPECT_EQ(grid->At(3, 3), LoweredCount(90.0));
        EXPECT_LT(grid->At(4, 3), 90);
    }
}

TEST_F(ToujiContour, StopEndsTheRunWithoutErasingOrOutput) {
    // Only 1.5Hr checked: 14 hour checks, then rows 0..5 of the start search (calls 15..20),
    // then one call per trace step (21..28 for the 8 cells of the ring).
    struct Case {
        int stopAtCall;
        bool stopped;
    } cases[] = {{17, true}, {24, true}, {-1, false}};
    for (const Case &c : cases) {
        grid->Clear();
        progress = Recorder{};
        progress.stopAtCall = c.stopAtCall;
        Load({"", "", "", "", "", ".....aaa", ".....aaa", ".....aaa"});
        const ContourRun run = Run({0});
        EXPECT_EQ(run.Stopped, c.stopped) << c.stopAtCall;
        EXPECT_EQ(run.Outlines.size(), c.stopped ? 0u : 1u);
        EXPECT_EQ(grid->At(6, 6), c.stopped ? 100 : 89);
    }
}

// A counted building, end to end: every hour gives one outline around
// the box, and each hour's outline lies inside that of every shorter hour, so erasing one hour
// did not eat into the next.
TEST_F(ToujiContour, OutlinesOfACountedBuildingNestFromLongestToShortest) {
    TLineEntBox box;
    const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination);
    const ToujiHani hani = GetToujiHani(box.edges, sun, 4000.0, 8.0, 16.0, 1.5,
                                        Extent{-60000, -5000, 70000, 90000}, *grid, NoProgress());
    ASSERT_TRUE(hani.Found);
    ShadowBitmap fine(640);
    RasterGeometry fineRaster;
    CountFinePass(box.edges, sun, hani.Rect, 4000.0, 640, 2.0, 8.0, 16.0, *grid, NoProgress(),
                  fineRaster);
    ContourSettings s;
    s.Checked.fill(true);
    s.StepMinutes = 2.0;
    const ContourRun run = TraceToujiContours(*grid, fineRaster, fine, s, progress);
    EXPECT_TRUE(run.Issues.empty());
    // One outline per hour round the box (the footprint is shaded all day); beside them a few
    // squares of one or two cells counted an instant above their neighbours, each within two
    // cells of its hour's outline.
    std::vector<ToujiOutline> main, small;
    for (const ToujiOutline &o : run.Outlines) (o.Points.size() == 4 ? small : main).push_back(o);
    ASSERT_EQ(main.size(), 14u);
    for (const ToujiOutline &sq : small) {
        double best = 1e300;
        for (const ToujiOutline &o : main)
            if (o.ItemIndex == sq.ItemIndex)
                for (const TAcadPoint &p : o.Points)
                    best = std::min(best, std::hypot(p.x - sq.Points[0].x, p.y - sq.Points[0].y));
        EXPECT_LE(best, 2.5 * fineRaster.Cell) << sq.ItemText;
    }
    struct Box {
        double x0, y0, x1, y1;
    };
    std::vector<std::pair<int, Box>> boxes;
    for (const ToujiOutline &o : main) {
        Box b{1e300, 1e300, -1e300, -1e300};
        for (const TAcadPoint &p : o.Points) {
            b = {std::min(b.x0, p.x), std::min(b.y0, p.y), std::max(b.x1, p.x),
                 std::max(b.y1, p.y)};
        }
        ASSERT_TRUE(boxes.empty() || boxes.back().first > o.ItemIndex) << o.ItemText;
        EXPECT_GE(o.Points.size(), 4u);
        if (!boxes.empty()) {
            const Box &inner = boxes.back().second;
            EXPECT_LE(b.x0, inner.x0) << o.ItemText;
            EXPECT_LE(b.y0, inner.y0) << o.ItemText;
            EXPECT_GE(b.x1, inner.x1) << o.ItemText;
            EXPECT_GE(b.y1, inner.y1) << o.ItemText;
        }
        boxes.push_back({o.ItemIndex, b});
    }
    EXPECT_EQ(boxes.back().first, 0);  // 1.5Hr, the hour the extent was framed for
}

// A site counted as the command counts it: the extent pass for "1.5Hr", then the fine pass on an
// N-cell raster at 120 s.
struct CountedSite {
    std::unique_ptr<ShadowCountGrid> grid = std::make_unique<ShadowCountGrid>();
    RasterGeometry raster;
    std::unique_ptr<ShadowCountGrid> counts;  // as counted, before any hour was traced
    CountedSite(const std::vector<geometry::TLineEnt> &edges, double plane, int n) {
        const solar::SolarState sun = solar::MakeSolarState(35.68, solar::kWinterDeclination);
        const ToujiHani hani =
            GetToujiHani(edges, sun, plane, 8.0, 16.0, 1.5,
                         Extent{-150000, -150000, 350000, 350000}, *grid, NoProgress());
        EXPECT_TRUE(hani.Found);
        CountFinePass(edges, sun, hani.Rect, plane, n, 2.0, 8.0, 16.0, *grid, NoProgress(), raster);
        counts = std::make_unique<ShadowCountGrid>(*grid);
    }
    ContourRun Trace(std::vector<int> items) {
        ContourSettings s;
        for (int i : items) s.Checked[static_cast<std::size_t>(i)] = true;
        s.StepMinutes = 2.0;
        ShadowBitmap bitmap(raster.N);
        return TraceToujiContours(*grid, raster, bitmap, s, NoProgress());
    }
    PixelPoint Pixel(const TAcadPoint &p) const {
        return {static_cast<std::int32_t>(std::lround((p.x - raster.X0) / raster.Cell)),
                static_cast<std::int32_t>(std::lround(raster.N - (p.y - raster.Y0) / raster.Cell))};
    }
};

// What the lines of one hour say against the counted cells: the cells inside an outer line and
// inside no hole's line (nested lines count in turn) that do not reach the threshold, the cells
// reaching it that no line takes in, and the regions of two or more cells no line touches.
struct LineCheck {
    std::int64_t reaching = 0, shadedButLit = 0, litButShaded = 0, unlinedRegions = 0;
    std::size_t holes = 0;
};

LineCheck CheckLines(const CountedSite &site, const ContourRun &run, int item) {
    const int n = site.raster.N;
    const double t = CountThreshold(HourThreshold(HourOfItem(item), 2.0));
    std::vector<int> inside(static_cast<std::size_t>(n) * n, 0);
    std::vector<bool> onLine(inside.size(), false);
    LineCheck check;
    for (const ToujiOutline &o : run.Outlines) {
        if (o.ItemIndex != item) continue;
        std::vector<PixelPoint> ring;
        for (const TAcadPoint &p : o.Points) ring.push_back(site.Pixel(p));
        ShadowBitmap fill(n);
        fill.FillPolygon(ring);
        if (o.Hole) {  // the line itself runs through shaded cells
            ++check.holes;
            fill.SetColor(PixelColor::White);
            std::vector<PixelPoint> closed = ring;
            closed.push_back(ring.front());
            fill.DrawPolyline(closed);
        }
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                if (!fill.IsWhite(c, r))
                    inside[static_cast<std::size_t>(r) * n + c] += o.Hole ? -1 : 1;
        if (!o.Hole)
            for (const PixelPoint &p : ring) onLine[static_cast<std::size_t>(p.y) * n + p.x] = true;
    }
    // Regions of the counted cells (8-connected), each checked for a line through it.
    std::vector<int> region(inside.size(), 0);
    int regions = 0;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * n + c;
            const bool reaches = site.counts->At(r, c) >= t;
            check.reaching += reaches;
            check.shadedButLit += !reaches && inside[i] > 0;
            check.litButShaded += reaches && inside[i] <= 0;
            if (!reaches || region[i] != 0) continue;
            region[i] = ++regions;
            std::vector<std::pair<int, int>> stack{{r, c}};
            int cells = 0;
            bool lined = false;
            while (!stack.empty()) {
                const auto [rr, cc] = stack.back();
                stack.pop_back();
                ++cells;
                lined = lined || onLine[static_cast<std::size_t>(rr) * n + cc];
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc) {
                        const int r2 = rr + dr, c2 = cc + dc;
                        if (r2 < 0 || c2 < 0 || r2 >= n || c2 >= n) continue;
                        const std::size_t j = static_cast<std::size_t>(r2) * n + c2;
                        if (region[j] != 0 || site.counts->At(r2, c2) < t) continue;
                        region[j] = regions;
                        stack.push_back({r2, c2});
                    }
            }
            if (cells >= 2 && !lined) ++check.unlinedRegions;
        }
    }
    return check;
}

// A block round a courtyard 40 m square: at noon the sun reaches the courtyard's north half, so
// the lines of the shorter hours have a hole there. Lines and cells agree but for the cells along
// the lines (a notch open at a corner, a lone cell, the tip of a spike).
TEST(ToujiHoles, CourtyardGivesEachHourItsHoleAndTheLinesMatchTheCells) {
    std::vector<geometry::TLineEnt> edges;
    geometry::testing::AddBox(edges, 0, 0, 60000, 60000, 12000);
    geometry::testing::AddBox(edges, 10000, 10000, 40000, 40000, 12000);
    CountedSite site(edges, 4000.0, 400);
    const std::vector<int> items{1, 3, 5};  // 2.0Hr, 3.0Hr, 4.0Hr
    const ContourRun run = site.Trace(items);
    EXPECT_TRUE(run.Issues.empty());
    for (int item : items) {
        SCOPED_TRACE(HourItemText(item));
        const LineCheck check = CheckLines(site, run, item);
        EXPECT_GE(check.holes, 1u);
        EXPECT_EQ(check.unlinedRegions, 0);
        EXPECT_LT(check.shadedButLit + check.litButShaded, check.reaching / 50);
    }
    // The hole lies in the courtyard and runs clockwise: the shade is on its left.
    for (const ToujiOutline &o : run.Outlines) {
        if (!o.Hole) continue;
        double area = 0.0;
        for (std::size_t i = 0; i < o.Points.size(); ++i) {
            const TAcadPoint &a = o.Points[i], &b = o.Points[(i + 1) % o.Points.size()];
            area += a.x * b.y - b.x * a.y;
            EXPECT_GT(a.x, 10000 - site.raster.Cell);
            EXPECT_LT(a.x, 50000 + site.raster.Cell);
            EXPECT_GT(a.y, 10000 - site.raster.Cell);
            EXPECT_LT(a.y, 50000 + site.raster.Cell);
        }
        EXPECT_LT(area, 0.0) << o.ItemText;
        EXPECT_EQ(o.Color, HourColor(o.ItemIndex));
    }
}

// A hundred low blocks far enough apart that "6.5Hr" and "8.0Hr" have a region for each (twice
// the fifty lines an hour once stopped at), and every region of every hour gets its line.
TEST(ToujiHoles, DenseSiteGivesEveryRegionOfEveryHourItsLine) {
    std::vector<geometry::TLineEnt> edges;
    for (int i = 0; i < 100; ++i) {
        const double x = (i % 10) * 20000.0, y = (i / 10) * 30000.0;
        geometry::testing::AddBox(edges, x, y, 7000 + (i * 37 % 5) * 1000.0,
                                  7000 + (i * 53 % 4) * 1000.0, 6000 + (i * 71 % 7) * 1500.0);
    }
    CountedSite site(edges, 4000.0, 400);
    const std::vector<int> items{0, 5, 10, 13};  // 1.5Hr, 4.0Hr, 6.5Hr, 8.0Hr
    const ContourRun run = site.Trace(items);
    EXPECT_TRUE(run.Issues.empty());
    std::size_t longest = 0;
    for (const ToujiOutline &o : run.Outlines) longest += o.ItemIndex == 13 && !o.Hole;
    EXPECT_GE(longest, 100u);
    for (int item : items) {
        SCOPED_TRACE(HourItemText(item));
        const LineCheck check = CheckLines(site, run, item);
        EXPECT_EQ(check.unlinedRegions, 0);
        EXPECT_LT(check.shadedButLit + check.litButShaded, check.reaching / 20);
    }
}

TEST(SmoothOutline, ShortOutlinesAreLeftAloneAndABlockBecomesItsCorners) {
    // Collinear points too: nothing at all happens to an outline of s + 2 points or fewer.
    const std::vector<TAcadPoint> shortRing =
        Cells({{3, 3}, {4, 3}, {5, 3}, {5, 4}, {5, 5}, {4, 5}});
    EXPECT_EQ(SmoothOutline(shortRing, 4), shortRing);
    EXPECT_EQ(SmoothOutline(shortRing, 0), shortRing);

    const std::vector<TAcadPoint> ring =
        Cells({{3, 3}, {4, 3}, {5, 3}, {5, 4}, {5, 5}, {4, 5}, {3, 5}, {3, 4}});
    EXPECT_EQ(SmoothOutline(ring, 2), Cells({{3, 3}, {5, 3}, {5, 5}, {3, 5}}));
}

TEST_F(ToujiContour, SmoothingSwitchAppliesToTheRun) {
    Load({"", "", "", "...aaa", "...aaa", "...aaa"});
    ContourRun run = Run({0}, 8.0, 16.0, true);
    ASSERT_EQ(run.Outlines.size(), 1u);
    EXPECT_EQ(run.Outlines[0].Points, Cells({{3, 3}, {5, 3}, {5, 5}, {3, 5}}));
    EXPECT_EQ(run.Outlines[0].Label, Cells({{3, 5}})[0]);  // top edge; the later point wins
}

TEST(LabelPoint, FarthestAlongTrueNorthLaterWinsTies) {
    const std::vector<TAcadPoint> pts{{0, 0, 0}, {2, 1, 0}, {1, 3, 0}, {-1, 3, 0}, {-2, 1, 0}};
    struct Case {
        double northDegrees;
        TAcadPoint expected;
    } cases[] = {
        {90.0, {-1, 3, 0}},  // north up: highest, the later of the two
        {0.0, {2, 1, 0}},    // north to the east
        {180.0, {-2, 1, 0}},
        {270.0, {0, 0, 0}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(LabelPoint(pts, c.northDegrees * geometry::kDegToRad), c.expected)
            << c.northDegrees;
    EXPECT_THROW(LabelPoint({}, 0.0), std::invalid_argument);
}

TEST_F(ToujiContour, RejectsRastersThatDoNotFit) {
    ContourSettings s;
    RasterGeometry wrong{0.0, 0.0, 1.0, 24};
    EXPECT_THROW(TraceToujiContours(*grid, wrong, bitmap, s, progress), std::invalid_argument);
    s.StepMinutes = 0.0;
    EXPECT_THROW(TraceToujiContours(*grid, raster, bitmap, s, progress), std::invalid_argument);
}

}  // namespace
}  // namespace pimu::shadow
