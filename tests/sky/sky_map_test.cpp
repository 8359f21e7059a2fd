// The drawn sky map: scale marks, hatch, the overlay turned with the map, the triangle area table
// and the building position table.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/progress.h"
#include "geometry/outline_test_util.h"
#include "geometry/primitives.h"
#include "sky/sky_map.h"
#include "sky_test_util.h"

namespace pimu::sky {
namespace {

using testing::Box;
using testing::HighestBlocked;
using testing::ModelOf;

constexpr double kDeg = 0.017453292519943295;

template <class T>
std::vector<T> Only(const MapEntities &entities, MapLayer layer) {
    std::vector<T> out;
    for (const MapEntity &e : entities)
        if (const T *t = std::get_if<T>(&e); t != nullptr && t->layer == layer) out.push_back(*t);
    return out;
}

const MapText *FindText(const MapEntities &entities, const std::string &text) {
    for (const MapEntity &e : entities)
        if (const auto *t = std::get_if<MapText>(&e); t != nullptr && t->text == text) return t;
    return nullptr;
}

TEST(ScaleMarks, RaysAndRingsDashedUnlessAMultipleOfThree) {
    struct Case {
        double interval;
        int rays, solidRays, rings, solidRings;
    };
    for (const Case &c : {Case{0, 0, 0, 0, 0}, Case{10, 36, 12, 7, 2}, Case{30, 12, 4, 1, 0},
                          Case{45, 8, 3, 0, 0}}) {
        const MapEntities marks = ScaleMarks(1000.0, c.interval);
        const auto rays = Only<MapLine>(marks, MapLayer::Memori);
        const auto rings = Only<MapCircle>(marks, MapLayer::Memori);
        int solidRays = 0;
        int solidRings = 0;
        for (const MapLine &l : rays) solidRays += l.hidden ? 0 : 1;
        for (const MapCircle &r : rings) solidRings += r.hidden ? 0 : 1;
        EXPECT_EQ(static_cast<int>(rays.size()), c.rays) << c.interval;
        EXPECT_EQ(solidRays, c.solidRays) << c.interval;
        EXPECT_EQ(static_cast<int>(rings.size()), c.rings) << c.interval;
        EXPECT_EQ(solidRings, c.solidRings) << c.interval;
    }
    // Interval 10: the rings of elevations 80 ... 20 degrees, continuous at 60 and 30.
    const auto rings = Only<MapCircle>(ScaleMarks(1000.0, 10.0), MapLayer::Memori);
    EXPECT_NEAR(rings.front().radius, 1000.0 * std::cos(80.0 * kDeg), 1e-9);
    EXPECT_NEAR(rings.back().radius, 1000.0 * std::cos(20.0 * kDeg), 1e-9);
    EXPECT_FALSE(rings[2].hidden);
    EXPECT_NEAR(rings[2].radius, 1000.0 * std::cos(60.0 * kDeg), 1e-9);
    // Interval 45: the continuous rays at 0, 135 and 270 degrees.
    const auto rays = Only<MapLine>(ScaleMarks(1000.0, 45.0), MapLayer::Memori);
    EXPECT_NEAR(rays[3].b.x, 1000.0 * std::cos(135.0 * kDeg), 1e-9);
    EXPECT_FALSE(rays[3].hidden);
}

TEST(MapFrame, LettersReadOutwardOneTextHeightOutsideTheCircle) {
    // Type B with its defaults at 1:200: R = 100 x 200, text 10 x 200.
    const MapEntities frame = MapFrame(20000.0, 2000.0);
    struct Case {
        const char *letter;
        double x, y, rotation;
    };
    for (const Case &c : {Case{"N", 0, 22000, 0}, Case{"W", -22000, 0, 90},
                          Case{"E", 22000, 0, 270}, Case{"S", 0, -22000, 180}}) {
        const MapText *t = FindText(frame, c.letter);
        ASSERT_NE(t, nullptr) << c.letter;
        EXPECT_DOUBLE_EQ(t->at.x, c.x) << c.letter;
        EXPECT_DOUBLE_EQ(t->at.y, c.y) << c.letter;
        EXPECT_DOUBLE_EQ(t->rotation, c.rotation) << c.letter;
        EXPECT_DOUBLE_EQ(t->height, 1600.0) << c.letter;  // 8 mm on paper
    }
}

// A box north of the measurement point, its sky factors for a map of radius R (1:200).
struct BoxSite {
    std::vector<Box> boxes{{-6000, 8000, 9000, 14000, 15000}};
    double R = 20000.0;
    SkyEnvelope env;
    TenkuRituResult ritu;
    std::vector<TTateiti> entries;
    BoxSite() {
        SkyView view;
        view.SkyRadius = R;
        view.north = 90.0;
        const geometry::BuildingModel model = ModelOf(boxes);
        entries = ProjectSky(model, view, NoProgress()).AryTateiti;
        ritu = GetTenkuRitu(SkyBuildingsOf(model), TAcadPoint{}, 0.0,
                            SansyaFrame{R / 200.0, 200.0, 90.0}, &env);
        EXPECT_TRUE(ritu.Ok());
    }
};

TEST(HatchLines, MarkEveryCoveredDirectionFromTheOutlineToTheCircle) {
    BoxSite site;
    EXPECT_TRUE(HatchLines(site.env, site.R, 0.0, 90.0).empty());
    const auto lines = HatchLines(site.env, site.R, 2.0, 90.0);
    // Independently: a direction is covered where a ray at the horizon meets the box (the ray at
    // 90 degrees passes through an outline vertex and must not be missed).
    std::vector<int> expected;
    for (int k = 0; k <= 179; ++k) {
        const double phi = 2.0 * k * kDeg;
        if (HighestBlocked(site.boxes, {0, 0, 0}, phi) > 0.0) expected.push_back(k);
    }
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double phi = 2.0 * expected[i] * kDeg;
        const auto &[a, b] = lines[i];
        EXPECT_NEAR(std::atan2(b.y, b.x), std::atan2(std::sin(phi), std::cos(phi)), 1e-9);
        EXPECT_NEAR(std::hypot(b.x, b.y), site.R, 1e-6);
        // The line starts where the outline shows the top of the box: R cos(h).
        const double h = HighestBlocked(site.boxes, {0, 0, 0}, phi);
        EXPECT_NEAR(std::hypot(a.x, a.y), site.R * std::cos(h), 1e-6 * site.R) << expected[i];
    }
    // Turned for north: the same lines, each in its direction on the north-up map.
    const auto turned = HatchLines(site.env, site.R, 2.0, 60.0);
    ASSERT_FALSE(turned.empty());
    for (const auto &[a, b] : turned) {
        const double map = std::atan2(b.y, b.x);
        const double t = site.env.TanAt(map - 30.0 * kDeg);
        EXPECT_GT(t, 0.0);
        EXPECT_NEAR(std::hypot(a.x, a.y), MapRadius(t, site.R), 1e-6);
    }
}

TEST(HatchLines, AnOutlineOnTheCircleIsPassedOver) {
    // A 0.5 m wall 100 m away lies within 1 drawing unit of the circle: no hatch there.
    SkyBuildings low;
    geometry::testing::AddBox(low.edges, -10000, 100000, 20000, 5000, 500);
    const SkyEnvelope env = BuildEnvelope(SkyElementsOf(low, TAcadPoint{}, 0.0, RoundAs::Curve));
    ASSERT_TRUE(env.Covered());
    EXPECT_TRUE(HatchLines(env, 20000.0, 1.0, 90.0).empty());
}

OverlayInputs Inputs(const BoxSite &site, AreaTarget target, double rot) {
    OverlayInputs in;
    in.R = site.R;
    in.s = 200.0;
    in.t = 2000.0;
    in.H = 2.0;
    in.rot = rot;
    in.target = target;
    in.marks = true;
    in.triangles = true;
    in.texts.label = "P1";
    in.texts.interval = "10";
    return in;
}

TEST(BuildOverlay, TurnsWithTheMapButNotItsTexts) {
    BoxSite site;
    std::vector<TTateiti> e0 = site.entries;
    std::vector<TTateiti> e1 = site.entries;
    const SkyOverlay flat =
        BuildOverlay(site.ritu, site.env, e0, Inputs(site, AreaTarget::Keikaku, 0.0));
    const SkyOverlay turned =
        BuildOverlay(site.ritu, site.env, e1, Inputs(site, AreaTarget::Keikaku, 30.0));
    ASSERT_EQ(flat.entities.size(), turned.entities.size());
    int texts = 0;
    for (std::size_t i = 0; i < flat.entities.size(); ++i) {
        const auto near = [&](TAcadPoint a, TAcadPoint b) {
            const TAcadPoint t = Turn(a, 30.0);
            EXPECT_NEAR(t.x, b.x, 1e-6) << i;
            EXPECT_NEAR(t.y, b.y, 1e-6) << i;
        };
        if (const auto *l = std::get_if<MapLine>(&flat.entities[i])) {
            const auto &m = std::get<MapLine>(turned.entities[i]);
            near(l->a, m.a);
            near(l->b, m.b);
        } else if (const auto *c = std::get_if<MapCircle>(&flat.entities[i])) {
            near(c->centre, std::get<MapCircle>(turned.entities[i]).centre);
        } else if (const auto *t = std::get_if<MapText>(&flat.entities[i])) {
            const auto &u = std::get<MapText>(turned.entities[i]);
            if (t->layer == MapLayer::Tenku) {
                ++texts;
                EXPECT_EQ(t->at.x, u.at.x);
                EXPECT_EQ(t->at.y, u.at.y);
                EXPECT_EQ(t->at.x, 0.0);
            } else if (t->aligned) {
                near(t->at, u.at);
            }
        }
    }
    EXPECT_EQ(texts, 6);
    // Hatch, vertex marks and triangles are all there.
    EXPECT_FALSE(Only<MapLine>(flat.entities, MapLayer::Hatch).empty());
    EXPECT_FALSE(Only<MapCircle>(flat.entities, MapLayer::Tateiti).empty());
    EXPECT_FALSE(Only<MapCircle>(flat.entities, MapLayer::Sansya).empty());
}

TEST(BuildOverlay, InscribedAndCircumscribedTablesDifferAndMatchTheSkyFactors) {
    BoxSite site;
    std::vector<TTateiti> e0 = site.entries;
    std::vector<TTateiti> e1 = site.entries;
    const SkyOverlay in =
        BuildOverlay(site.ritu, site.env, e0, Inputs(site, AreaTarget::Keikaku, 0.0));
    const SkyOverlay out =
        BuildOverlay(site.ritu, site.env, e1, Inputs(site, AreaTarget::Tekigou, 0.0));
    ASSERT_TRUE(in.HasTable());
    ASSERT_TRUE(out.HasTable());
    const TenkuRituResult &check = site.ritu;
    EXPECT_DOUBLE_EQ(in.pass->value, check.naisetu);
    EXPECT_DOUBLE_EQ(out.pass->value, check.gaisetu);
    EXPECT_LT(in.pass->value, out.pass->value);

    const MapEntities ti = TriangleTable(*in.pass, in.ritu.K, site.R, 200.0, 2000.0, "10", 0.0);
    const MapEntities to = TriangleTable(*out.pass, out.ritu.K, site.R, 200.0, 2000.0, "10", 0.0);
    const double p = 4000.0;
    const auto cell = [&](const MapEntities &table, double x, double y) {
        for (const MapEntity &e : table)
            if (const auto *t = std::get_if<MapText>(&e);
                t && std::fabs(t->at.x - x) < 1e-6 && std::fabs(t->at.y - y) < 1e-6)
                return t->text;
        return std::string("?");
    };
    // The first row's base and height differ; the last line states the sky factor of the pass.
    EXPECT_NE(cell(ti, 7.5 * p, -1.5 * p) + cell(ti, 11.5 * p, -1.5 * p),
              cell(to, 7.5 * p, -1.5 * p) + cell(to, 11.5 * p, -1.5 * p));
    const double N = static_cast<double>(in.pass->triangles.size());
    const std::string last = cell(ti, 0.5 * p, -p * (N + 6.5));
    char value[32];
    std::snprintf(value, sizeof value, "%.3f%%", check.naisetu);
    EXPECT_TRUE(last.ends_with(value)) << last;
    // One numbered mark and one table row per triangle, all higher than a tenth.
    EXPECT_EQ(Only<MapCircle>(in.entities, MapLayer::Sansya).size(), in.pass->triangles.size());
    for (const TSansya &t : in.pass->triangles) EXPECT_GT(t.takasa, kMinTriangleHeight);
    EXPECT_EQ(cell(ti, 2 * p, -p * (static_cast<double>(in.pass->triangles.size()) + 0.5)),
              std::to_string(in.pass->triangles.size()));
}

TEST(TriangleTable, ATriangleNoHigherThanATenthHasNoRow) {
    // Standing a hundredth of a millimetre west of the box's west face: that face is seen almost
    // edge on, its triangle far lower than a tenth.
    BoxSite site;
    const SkyBuildings b = SkyBuildingsOf(ModelOf(site.boxes));
    const TenkuRituResult ritu =
        GetTenkuRitu(b, TAcadPoint{-6000.01, 0.0, 0.0}, 0.0, SansyaFrame{100.0, 200.0, 90.0});
    ASSERT_TRUE(ritu.Ok());
    const SansyaPass &pass = ritu.naisetuPass;
    ASSERT_FALSE(pass.triangles.empty());
    for (const TSansya &t : pass.triangles) EXPECT_GT(t.takasa, kMinTriangleHeight);
    // The left-out triangle is in the unrounded value only.
    EXPECT_NE(pass.unrounded, pass.value);
    const MapEntities table = TriangleTable(pass, ritu.K, site.R, 200.0, 2000.0, "", 0.0);
    // Rows 1 ... n and nothing more before the sum row; no scale-mark line without marks.
    const std::size_t n = pass.triangles.size();
    const MapText *sum = FindText(table, "三斜面積合計");
    ASSERT_NE(sum, nullptr);
    EXPECT_DOUBLE_EQ(sum->at.y, -4000.0 * (static_cast<double>(n) + 1.5));
    EXPECT_EQ(FindText(table, std::to_string(n + 1)), nullptr);
    for (const MapEntity &e : table) {
        if (const auto *t = std::get_if<MapText>(&e)) {
            EXPECT_FALSE(t->text.starts_with("目盛間隔"));
        }
    }
}

// Buildings north and south: one table lists both sectors, their sum is the sector area, and
// the result states the same sky factor as the list.
TEST(TriangleTable, TwoSectorsAddUp) {
    SkyBuildings b;
    geometry::testing::AddBox(b.edges, -8000, 10000, 16000, 6000, 20000);
    geometry::testing::AddBox(b.edges, -5000, -16000, 12000, 5000, 12000);
    SkyEnvelope env;
    const TenkuRituResult ritu =
        GetTenkuRitu(b, TAcadPoint{}, 0.0, SansyaFrame{100.0, 200.0, 90.0}, &env);
    ASSERT_TRUE(ritu.Ok());
    const SansyaPass &pass = ritu.naisetuPass;
    ASSERT_EQ(pass.sectors.size(), 2u);
    const MapEntities table = TriangleTable(pass, ritu.K, 20000.0, 200.0, 2000.0, "10", 0.0);
    const auto value = [&](const std::string &start) {
        for (const MapEntity &e : table) {
            const auto *t = std::get_if<MapText>(&e);
            if (t == nullptr || !t->text.starts_with(start)) continue;
            for (const MapEntity &f : table) {
                const auto *v = std::get_if<MapText>(&f);
                if (v != nullptr && v != t && std::fabs(v->at.y - t->at.y) < 1e-6 &&
                    v->horizontal == 2)
                    return std::stod(v->text);
            }
        }
        return -1.0;
    };
    EXPECT_NEAR(value("扇形1") + value("扇形2"), value("扇形面積 ("), 0.002);
    EXPECT_NEAR(value("扇形面積 -"), pass.F, 0.0005);
    std::vector<TTateiti> entries;
    OverlayInputs in;
    in.R = 20000.0;
    in.s = 200.0;
    in.t = 2000.0;
    in.H = 2.0;
    in.target = AreaTarget::Keikaku;
    in.triangles = true;
    const SkyOverlay overlay = BuildOverlay(ritu, env, entries, in);
    // Both buildings hatched, every triangle numbered on the map.
    bool north = false;
    bool south = false;
    for (const MapLine &l : Only<MapLine>(overlay.entities, MapLayer::Hatch))
        (l.b.y > 0 ? north : south) = true;
    EXPECT_TRUE(north && south);
    EXPECT_EQ(Only<MapCircle>(overlay.entities, MapLayer::Sansya).size(), pass.triangles.size());
    char stated[32];
    std::snprintf(stated, sizeof stated, "天空率 = %.3f%%", ritu.naisetu);
    EXPECT_NE(FindText(overlay.entities, stated), nullptr);
}

TEST(TateitiTable, GridOfTheTypeAExample) {
    // Type A, text 3.0 at 1:200: p = 1200; four numbered entries.
    std::vector<TTateiti> entries(5);
    for (int i = 0; i < 5; ++i) entries[i].no = i;  // one without a number
    TateitiInputs in;
    in.R = 5000.0;
    in.s = 200.0;
    in.p = 1200.0;
    const MapEntities table = TateitiTable(entries, in);
    const auto lines = Only<MapLine>(table, MapLayer::Tateiti);
    std::vector<double> rows;
    for (const MapLine &l : lines) {
        if (l.a.y != l.b.y) {  // vertical
            EXPECT_DOUBLE_EQ(l.b.y, -8400.0);
            continue;
        }
        rows.push_back(l.a.y);
        EXPECT_DOUBLE_EQ(l.b.x, 21600.0);
        EXPECT_DOUBLE_EQ(l.a.x, l.a.y == -1200.0 ? 3600.0 : 0.0);
    }
    EXPECT_EQ(rows, (std::vector<double>{0, -1200, -3600, -4800, -6000, -7200, -8400}));
    // Verticals: x = 0, 3p ... 18p; those at 6p, 12p and 15p start one row down.
    std::vector<std::pair<double, double>> verticals;
    for (const MapLine &l : lines)
        if (l.a.y != l.b.y) verticals.emplace_back(l.a.x, l.a.y);
    EXPECT_EQ(verticals, (std::vector<std::pair<double, double>>{{0, 0},
                                                                 {3600, 0},
                                                                 {7200, -1200},
                                                                 {10800, 0},
                                                                 {14400, -1200},
                                                                 {18000, -1200},
                                                                 {21600, 0}}));
    EXPECT_NE(FindText(table, "建物位置確認表"), nullptr);
    EXPECT_DOUBLE_EQ(FindText(table, "建物位置確認表")->height, 600.0);
}

TEST(TateitiTable, RowsSortedByNumberWithTheMapAzimuth) {
    std::vector<TTateiti> entries(4);
    const int numbers[] = {3, 1, 0, 2};
    const double houido[] = {350.0, 200.0, 10.0, 90.0};
    for (int i = 0; i < 4; ++i) {
        entries[i].no = numbers[i];
        entries[i].houido = houido[i];
    }
    TateitiInputs in;
    in.s = 200.0;
    in.p = 1000.0;
    in.north = 90.0;
    const MapEntities table = TateitiTable(entries, in);
    struct Row {
        const char *no;
        const char *azimuth;
    };
    int a = 1;
    for (const Row &r : {Row{"[1]", "200.000"}, Row{"[2]", "90.000"}, Row{"[3]", "-10.000"}}) {
        const double y = -(a + 2.5) * 1000.0;
        const MapText *no = FindText(table, r.no);
        ASSERT_NE(no, nullptr) << r.no;
        EXPECT_DOUBLE_EQ(no->at.y, y);
        const MapText *az = FindText(table, r.azimuth);
        ASSERT_NE(az, nullptr) << r.azimuth;
        EXPECT_DOUBLE_EQ(az->at.y, y);
        ++a;
    }
    EXPECT_EQ(FindText(table, "[0]"), nullptr);
    struct Case {
        double houido, north, azimuth;
    };
    for (const Case &c : {Case{350, 90, -10}, Case{200, 90, 200}, Case{0, 0, 90},
                          Case{90, 270, 270}, Case{100, 270, -80}})
        EXPECT_DOUBLE_EQ(MapAzimuth(c.houido, c.north), c.azimuth) << c.houido << " " << c.north;
    EXPECT_TRUE(TateitiTable({TTateiti{}}, in).empty());
}

TEST(NumberVertices, RepeatedEntriesOfOneVertexGetOneNumber) {
    BoxSite site;
    std::vector<TTateiti> entries = site.entries;
    std::vector<TTateiti> twice = entries;
    twice.insert(twice.end(), entries.begin(), entries.end());
    const std::vector<TAcadPoint> &corners = site.ritu.naisetuPass.corners;
    NumberVertices(twice, corners, site.R, 90.0);
    std::vector<int> seen(corners.size() + 1, 0);
    for (const TTateiti &e : twice)
        if (e.no > 0) ++seen[static_cast<std::size_t>(e.no)];
    int numbered = 0;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LE(seen[i], 1) << i;
        numbered += seen[i];
    }
    // The two near top corners of the box are the outline's corners; the far ones lie hidden
    // below the near wall.
    EXPECT_EQ(numbered, 2);
}

}  // namespace
}  // namespace pimu::sky
