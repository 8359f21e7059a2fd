// Shadows on a picked wall: the wall's frame, the outline at an instant against rays cast towards
// the sun, the cutting at the wall's borders, and the counted wall isochrones.
#include "shadow/wall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/outline_test_util.h"
#include "geometry/primitives.h"
#include "geometry/shadow_outline.h"
#include "reference_counting.h"
#include "solar/sun.h"

namespace pimu::shadow {
namespace {

using geometry::TAcadPoint;
using geometry::TLineEnt;
using geometry::testing::AddBox;

geometry::BuildingModel Model(const std::vector<TLineEnt> &edges) {
    geometry::BuildingModel m;
    m.SetEdges(edges);
    return m;
}

solar::SolarState Winter() {
    return solar::MakeSolarState(36.0, solar::kWinterDeclination, 90.0);
}

TLineEnt Line(TAcadPoint a, TAcadPoint b, double thickness = 0.0) {
    TLineEnt l;
    l.st = a;
    l.ed = b;
    l.atumi = thickness;
    return l;
}

TEST(WallLine, HeightAndOrientation) {
    std::vector<TLineEnt> edges;
    AddBox(edges, 10000, 10000, 10000, 8000, 9000);  // south of the wall at y = 25000
    const geometry::BuildingModel model = Model(edges);
    struct Case {
        TLineEnt picked;
        TAcadPoint st, ed;
        double height;
    };
    const Case cases[] = {
        // Drawn at z 0 without thickness: as high as the tallest building; st in the west, so
        // that the buildings (south) lie to the right of st -> ed.
        {Line({5000, 25000, 0}, {25000, 25000, 0}),
         {5000, 25000, 9000},
         {25000, 25000, 9000},
         9000},
        {Line({25000, 25000, 0}, {5000, 25000, 0}),
         {5000, 25000, 9000},
         {25000, 25000, 9000},
         9000},
        // A thickness above an end's height replaces it; a given height stays.
        {Line({5000, 25000, 4000}, {25000, 25000, 0}, 12000),
         {5000, 25000, 12000},
         {25000, 25000, 12000},
         12000},
        {Line({25000, 25000, 7000}, {5000, 25000, 3000}),
         {5000, 25000, 3000},
         {25000, 25000, 7000},
         7000},
    };
    for (const Case &c : cases) {
        const std::optional<WallLine> w = MakeWallLine(c.picked, model);
        ASSERT_TRUE(w);
        EXPECT_EQ(w->st, c.st);
        EXPECT_EQ(w->ed, c.ed);
        EXPECT_EQ(WallHeight(*w), c.height);
        EXPECT_EQ(WallLength(*w), 20000.0);
    }
    EXPECT_FALSE(MakeWallLine(Line({1, 1, 0}, {1, 1, 5}), model));
    EXPECT_EQ(WallHeight(Line({0, 0, 0}, {1, 0, -5})), kDefaultWallHeight);
}

TEST(WallFrame, TwelveBySevenAndAHalfMetres) {
    for (bool onWallLine : {true, false}) {
        const std::vector<WallFrameLine> lines = WallFrameLines(12000, 7500, onWallLine);
        std::vector<double> heights, columns;
        for (const WallFrameLine &l : lines) {
            if (l.vertical) {
                EXPECT_EQ(l.st.y, 0.0);
                EXPECT_EQ(l.ed.y, 7500.0);
                EXPECT_EQ(l.st.x, l.ed.x);
                EXPECT_FALSE(l.dashed);
                columns.push_back(l.st.x);
            } else {
                EXPECT_EQ(l.st.x, 0.0);
                EXPECT_EQ(l.ed.x, 12000.0);
                EXPECT_EQ(l.dashed, static_cast<int>(l.st.y / 1000) % 2 == 1) << l.st.y;
                heights.push_back(l.st.y);
            }
        }
        EXPECT_EQ(columns, (std::vector<double>{0, 5000, 10000, 12000}));
        std::vector<double> expected = {1000, 2000, 3000, 4000, 5000, 6000, 7000};
        // On the wall line the ground line is the wall line itself.
        if (!onWallLine) expected.insert(expected.begin(), 0.0);
        EXPECT_EQ(heights, expected);
    }
}

TEST(ClipOutlineToWall, CutAtTheBordersIntoSeparateChains) {
    using Chains = std::vector<std::vector<TAcadPoint>>;
    struct Case {
        const char *what;
        std::vector<TAcadPoint> outline;
        Chains chains;
    };
    const Case cases[] = {
        {"inside: one chain back to its start",
         {{2, 1, 0}, {6, 1, 0}, {6, 4, 0}},
         {{{2, 1, 0}, {6, 1, 0}, {6, 4, 0}, {2, 1, 0}}}},
        {"through the top and the ground: the two sides",
         {{2, -1, 0}, {6, -1, 0}, {6, 7, 0}, {2, 7, 0}},
         {{{6, 0, 0}, {6, 5, 0}}, {{2, 5, 0}, {2, 0, 0}}}},
        {"over the end: one chain across the outline's start",
         {{5, 1, 0}, {12, 2, 0}, {5, 3, 0}},
         {{{10, 3.0 - 5.0 / 7.0, 0}, {5, 3, 0}, {5, 1, 0}, {10, 1 + 5.0 / 7.0, 0}}}},
        {"over both ends and the top: three pieces",
         {{-2, 1, 0},
          {12, 1, 0},
          {12, 3, 0},
          {7, 3, 0},
          {7, 8, 0},
          {3, 8, 0},
          {3, 3, 0},
          {-2, 3, 0}},
         {{{0, 1, 0}, {10, 1, 0}},
          {{10, 3, 0}, {7, 3, 0}, {7, 5, 0}},
          {{3, 5, 0}, {3, 3, 0}, {0, 3, 0}}}},
        {"outside", {{11, 1, 0}, {13, 1, 0}, {13, 3, 0}}, {}},
    };
    for (const Case &c : cases) {
        const Chains got = ClipOutlineToWall(c.outline, 10, 5);
        ASSERT_EQ(got.size(), c.chains.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].size(), c.chains[i].size()) << c.what << " chain " << i;
            for (std::size_t j = 0; j < got[i].size(); ++j) {
                EXPECT_NEAR(got[i][j].x, c.chains[i][j].x, 1e-9) << c.what;
                EXPECT_NEAR(got[i][j].y, c.chains[i][j].y, 1e-9) << c.what;
            }
        }
    }
}

// ---- The shadow on the wall against rays cast towards the sun --------------------------------

struct Box {
    double x0, y0, x1, y1, h;
};

struct Scene {
    const char *what;
    std::vector<Box> boxes;
    TLineEnt picked;
};

// Whether the ray from p towards the sun (unit vector s) passes through a vertical face of a box.
bool RayHitsBox(const TAcadPoint &p, const TAcadPoint &s, const Box &b) {
    const TAcadPoint c[4] = {{b.x0, b.y0, 0}, {b.x1, b.y0, 0}, {b.x1, b.y1, 0}, {b.x0, b.y1, 0}};
    for (int i = 0; i < 4; ++i) {
        const TAcadPoint a = c[i], e = c[(i + 1) % 4];
        // p + t s meets the face's plane where (a, e) x (p + t s - a) vanishes in plan.
        const double ex = e.x - a.x, ey = e.y - a.y;
        const double den = ex * s.y - ey * s.x;
        if (std::fabs(den) < 1e-12) continue;
        const double t = -(ex * (p.y - a.y) - ey * (p.x - a.x)) / den;
        if (t <= 0.0) continue;
        const double qx = p.x + t * s.x, qy = p.y + t * s.y, qz = p.z + t * s.z;
        const double u = ((qx - a.x) * ex + (qy - a.y) * ey) / (ex * ex + ey * ey);
        if (u >= 0.0 && u <= 1.0 && qz >= 0.0 && qz <= b.h) return true;
    }
    return false;
}

TEST(WallShadow, MatchesRaysCastTowardsTheSun) {
    const Scene scenes[] = {
        {"a box facing the wall",
         {{10000, 10000, 20000, 18000, 9000}},
         Line({5000, 25000, 12000}, {25000, 25000, 12000})},
        {"an oblique wall, a box beside it and one behind it",
         {{10000, 10000, 20000, 18000, 15000},
          {26000, 16000, 30000, 20000, 6000},
          {12000, 32000, 20000, 38000, 30000}},
         Line({4000, 22000, 10000}, {30000, 28000, 10000})},
        {"a wall through a building",
         {{10000, 10000, 20000, 18000, 9000}},
         Line({5000, 15000, 12000}, {25000, 19000, 12000})},
        {"a wall on a building's facade",
         {{10000, 10000, 20000, 18000, 9000}, {8000, 25000, 22000, 30000, 12000}},
         Line({5000, 25000, 0}, {25000, 25000, 0})},
    };
    const solar::SolarState sun = Winter();
    for (const Scene &sc : scenes) {
        std::vector<TLineEnt> edges;
        for (const Box &b : sc.boxes) AddBox(edges, b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0, b.h);
        const WallLine w = *MakeWallLine(sc.picked, Model(edges));
        const double len = WallLength(w), h = WallHeight(w);
        const double ux = (w.ed.x - w.st.x) / len, uy = (w.ed.y - w.st.y) / len;
        int shaded = 0, lit = 0;
        for (double t : {8.25, 9.0, 10.5, 12.0, 13.25, 15.0, 16.0}) {
            const ShadowRegions shadow = WallShadowAt(edges, w, sun, t);
            const solar::SunResult pos = solar::SunPosition(sun, t);
            const double towardsSun = solar::ShadowAngle(sun, pos.Azimuth) + geometry::kPi;
            const double alt = std::atan(1.0 / pos.Ratio);
            const TAcadPoint s{std::cos(towardsSun) * std::cos(alt),
                               std::sin(towardsSun) * std::cos(alt), std::sin(alt)};
            // The face seen in the elevation looks towards the buildings (to the right of
            // st -> ed); with the sun behind it nothing is drawn.
            const bool faceLit = s.x * uy - s.y * ux > 0.0;
            if (!faceLit) {
                EXPECT_TRUE(shadow.regions.empty()) << sc.what << " at " << t;
                continue;
            }
            for (double x = 130; x < len; x += 470) {
                for (double y = 110; y < h; y += 390) {
                    const TAcadPoint p{w.st.x + ux * x, w.st.y + uy * x, y};
                    bool hit = false;
                    for (const Box &b : sc.boxes) hit = hit || RayHitsBox(p, s, b);
                    const PointPlace place = LocatePoint(shadow, {x, y, 0}, 1.0);
                    if (place == PointPlace::On) continue;
                    EXPECT_EQ(place == PointPlace::Inside, hit)
                        << sc.what << " at " << t << " x " << x << " y " << y;
                    (hit ? shaded : lit)++;
                }
            }
        }
        EXPECT_GT(shaded, 20) << sc.what;
        EXPECT_GT(lit, 20) << sc.what;
    }
}

// The union of the faces' shadows against the literal segment trace of the same polygons: the
// same islands with the same areas.
TEST(WallShadow, MatchesTheLiteralTrace) {
    std::vector<TLineEnt> edges;
    AddBox(edges, 10000, 10000, 10000, 8000, 15000);
    AddBox(edges, 26000, 16000, 4000, 4000, 6000);
    const WallLine w =
        *MakeWallLine(Line({4000, 22000, 10000}, {30000, 28000, 10000}), Model(edges));
    int traced = 0;
    for (double t : {9.0, 10.5, 12.0, 14.0}) {
        const auto polygons = WallShadowPolygons(edges, w, Winter(), t);
        const ShadowRegions shadow = UnionRings(polygons);
        geometry::PolygonWorkspace ws;
        for (const auto &poly : polygons) {
            for (std::size_t i = 0; i < poly.size(); ++i) {
                TLineEnt s;
                s.st = poly[i];
                s.ed = poly[(i + 1) % poly.size()];
                ws.AryLine.push_back(s);
            }
        }
        std::vector<double> literal;
        ASSERT_EQ(ws.AllOutlines(geometry::MaxSpanRule::Measure,
                                 [&](const std::vector<TLineEnt> &o) {
                                     literal.push_back(geometry::testing::SignedArea(o));
                                 }),
                  geometry::OutlineLoopResult::Done);
        ASSERT_EQ(literal.size(), shadow.regions.size()) << t;
        for (std::size_t i = 0; i < literal.size(); ++i)
            EXPECT_NEAR(literal[i], RingArea(shadow.regions[i].outer), 1e-6 * std::fabs(literal[i]))
                << t;
        traced += static_cast<int>(literal.size());
    }
    EXPECT_GE(traced, 4);
}

TEST(WallShadowLines, InstantsLabelsAndNoShadowBehind) {
    std::vector<TLineEnt> edges;
    AddBox(edges, 10000, 10000, 10000, 8000, 9000);
    const WallLine w = *MakeWallLine(Line({5000, 25000, 0}, {25000, 25000, 0}), Model(edges));
    WallLineInputs in;
    in.TextHeight = 500.0;
    const WallShadowLines lines = ComputeWallShadowLines(edges, w, Winter(), in, NoProgress());
    ASSERT_EQ(lines.Instants.size(), 17u);
    int drawn = 0;
    for (std::size_t i = 0; i < lines.Instants.size(); ++i) {
        const WallInstant &inst = lines.Instants[i];
        EXPECT_DOUBLE_EQ(inst.Time, 8.0 + 0.5 * static_cast<double>(i));
        EXPECT_EQ(inst.WholeHour, i % 2 == 0);
        for (const auto &outline : inst.Outlines) {
            ++drawn;
            for (std::size_t k = 0; k < outline.size(); ++k) {
                const WallChain &c = outline[k];
                const TAcadPoint anchor = k == 0 ? c.Points.back() : c.Points.front();
                const double d = 500.0 * 0.2 / std::sqrt(2.0);
                EXPECT_NEAR(c.Label.x, anchor.x + d, 1e-9);
                EXPECT_NEAR(c.Label.y, anchor.y - d, 1e-9);
                EXPECT_EQ(c.LabelAngle, 0.0);
                for (const TAcadPoint &p : c.Points) {
                    EXPECT_GE(p.x, -1e-9);
                    EXPECT_LE(p.x, 20000 + 1e-9);
                    EXPECT_GE(p.y, -1e-9);
                    EXPECT_LE(p.y, 9000 + 1e-9);
                }
            }
        }
    }
    EXPECT_GE(drawn, 10);

    // Seen from the north, the wall's face looks away from the buildings and the sun.
    const geometry::BuildingModel north = Model([] {
        std::vector<TLineEnt> e;
        AddBox(e, 10000, 30000, 10000, 8000, 9000);
        return e;
    }());
    const WallLine back = *MakeWallLine(Line({5000, 25000, 0}, {25000, 25000, 0}), north);
    for (const WallInstant &inst :
         ComputeWallShadowLines(north.AryTatemono, back, Winter(), in, NoProgress()).Instants)
        EXPECT_TRUE(inst.Outlines.empty()) << inst.Time;
}

// ---- The wall isochrones -----------------------------------------------------------------------

struct WallSite {
    std::vector<TLineEnt> edges;
    WallLine wall;
    WallSite() {
        AddBox(edges, 10000, 10000, 10000, 8000, 20000);
        AddBox(edges, 24000, 14000, 4000, 4000, 6000);
        wall = *MakeWallLine(Line({5000, 21000, 12000}, {35000, 21000, 12000}), Model(edges));
    }
};

TEST(WallIsochrones, CountingMatchesThePerPixelReferenceOnAnyThreads) {
    const WallSite site;
    const solar::SolarState sun = Winter();
    const RasterGeometry raster{-2000, -2000, 34000.0 / 160, 160};
    ShadowCountGrid one, two, reference;
    const PassSummary a =
        CountWallPass(site.edges, site.wall, sun, raster, 2.0, 8.0, 16.0, one, NoProgress(), 1);
    const PassSummary b =
        CountWallPass(site.edges, site.wall, sun, raster, 2.0, 8.0, 16.0, two, NoProgress(), 3);
    EXPECT_EQ(a.Counted, b.Counted);
    EXPECT_GT(a.Counted, 200);
    EXPECT_TRUE(one == two);

    reference.Clear();
    ShadowBitmap bitmap(raster.N);
    for (int i = 0; i < a.Maximum; ++i) {
        bitmap.Clear();
        bitmap.SetColor(PixelColor::Black);
        PaintedRange unused;
        if (PaintWallShadowBitmap(site.edges, site.wall, sun, 8.0 + 2.0 * (i + 0.5) / 60.0, raster,
                                  bitmap, unused))
            reference::CountEveryPixel(bitmap, reference);
    }
    EXPECT_TRUE(one == reference);
}

TEST(WallIsochrones, StopDuringCountingLeavesNothing) {
    const WallSite site;
    struct StopAt : Progress {
        int calls = 0;
        bool KeepRunning() override { return ++calls < 5; }
    } stop;
    WallToujiInputs in;
    in.Interval = EvaluationInterval{480, 120};
    ShadowCountGrid grid;
    const WallTouji t = ComputeWallTouji(site.edges, site.wall, Winter(), in, grid, stop);
    EXPECT_EQ(t.Status, WallToujiStatus::Stopped);
    EXPECT_TRUE(t.Hours.empty());
}

TEST(WallIsochrones, HoursCutToTheWallWithTurnedLabels) {
    const WallSite site;
    WallToujiInputs in;
    in.Interval = EvaluationInterval{480, 120};
    in.SmoothingFactor = 4;
    in.TextHeight = 400.0;
    ShadowCountGrid grid;
    const WallTouji t =
        ComputeWallTouji(site.edges, site.wall, Winter(), in, grid, NoProgress(), 2);
    ASSERT_EQ(t.Status, WallToujiStatus::Done);
    ASSERT_EQ(t.Hours.size(), 8u);
    const double len = WallLength(site.wall), h = WallHeight(site.wall);
    int pieces = 0;
    for (std::size_t k = 0; k < 8; ++k) {
        const WallHourLines &hour = t.Hours[k];
        EXPECT_EQ(hour.Hour, 8 - static_cast<int>(k));
        EXPECT_EQ(hour.Label, std::to_string(hour.Hour) + ".0Hr");
        for (const auto &outline : hour.Outlines) {
            pieces += static_cast<int>(outline.size());
            for (std::size_t i = 0; i < outline.size(); ++i) {
                const WallChain &c = outline[i];
                for (const TAcadPoint &p : c.Points) {
                    EXPECT_GE(p.x, -1e-6);
                    EXPECT_LE(p.x, len + 1e-6);
                    EXPECT_GE(p.y, -1e-6);
                    EXPECT_LE(p.y, h + 1e-6);
                }
                // Turned along the anchor segment: end to start of the last one for the first
                // chain, start to end of the first one for the others.
                const std::size_t n = c.Points.size();
                const TAcadPoint from = i == 0 ? c.Points[n - 1] : c.Points[0];
                const TAcadPoint to = i == 0 ? c.Points[n - 2] : c.Points[1];
                EXPECT_NEAR(c.LabelAngle, geometry::Angle2D(from, to), 1e-12);
                const TAcadPoint at =
                    geometry::PolarPoint(from, c.LabelAngle + geometry::kPi / 4, 80.0);
                EXPECT_NEAR(c.Label.x, at.x, 1e-9);
                EXPECT_NEAR(c.Label.y, at.y, 1e-9);
            }
        }
    }
    // The tall box shades the wall's foot all day: the hour as long as the range has its line.
    EXPECT_FALSE(t.Hours[0].Outlines.empty());
    // The longer hours reach the ground and are cut there: more pieces than outlines.
    EXPECT_GT(pieces, 8);
}

// The counts of the pass against rays cast from each cell's point towards the sun at every
// instant: equal, but for the few instants an outline passes over the cell.
TEST(WallIsochrones, CountsMatchRaysCastTowardsTheSun) {
    const WallSite site;
    const solar::SolarState sun = Winter();
    const RasterGeometry raster{-2000, -2000, 34000.0 / 160, 160};
    ShadowCountGrid grid;
    const PassSummary pass =
        CountWallPass(site.edges, site.wall, sun, raster, 4.0, 8.0, 16.0, grid, NoProgress(), 2);
    const std::vector<Box> boxes = {{10000, 10000, 20000, 18000, 20000},
                                    {24000, 14000, 28000, 18000, 6000}};
    const double len = WallLength(site.wall);
    const double ux = (site.wall.ed.x - site.wall.st.x) / len;
    const double uy = (site.wall.ed.y - site.wall.st.y) / len;
    int cells = 0, shadedCells = 0, extras = 0, total = 0;
    // Only the edges of the shadows move over the cells of this coarse raster.
    for (int row = 3; row < raster.N; row += 7) {
        for (int col = 5; col < raster.N; col += 7) {
            const TAcadPoint q = CellPoint(raster, row, col);
            if (q.x < 0 || q.x > len || q.y < 0 || q.y > WallHeight(site.wall)) continue;
            const TAcadPoint p{site.wall.st.x + ux * q.x, site.wall.st.y + uy * q.x, q.y};
            int count = 0;
            for (int i = 0; i < pass.Maximum; ++i) {
                const solar::SunResult pos = solar::SunPosition(sun, 8.0 + 4.0 * (i + 0.5) / 60.0);
                const double a = solar::ShadowAngle(sun, pos.Azimuth) + geometry::kPi;
                const double alt = std::atan(1.0 / pos.Ratio);
                const TAcadPoint s{std::cos(a) * std::cos(alt), std::sin(a) * std::cos(alt),
                                   std::sin(alt)};
                if (s.x * uy - s.y * ux <= 0.0) continue;  // the face is turned from the sun
                bool hit = false;
                for (const Box &b : boxes) hit = hit || RayHitsBox(p, s, b);
                count += hit;
            }
            ++cells;
            shadedCells += count > 0;
            // A pixel on an outline is painted, so a cell an outline sweeps over counts the
            // instants the outline crosses it too.
            const int extra = grid.At(row, col) - count;
            EXPECT_GE(extra, 0) << q.x << " " << q.y;
            EXPECT_LE(extra, 8) << q.x << " " << q.y;
            extras += extra;
            total += count;
        }
    }
    EXPECT_GT(shadedCells, cells / 4);
    EXPECT_LE(extras, total / 20) << extras << " of " << total;
}

}  // namespace
}  // namespace pimu::shadow
