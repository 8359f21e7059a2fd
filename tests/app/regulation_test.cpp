// The shadow-regulation check's front end in the window: its drawing items and result table from
// a result made by hand, the hatch and arc helpers against independent computations, and the
// command end to end on the embedded drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/regulation_output.h"
#include "app/settings.h"
#include "base/numconv.h"
#include "boundary/kyoukaisen.h"
#include "cad_fixture.h"
#include "cadlink/embedded/dxfio.h"

namespace pimu::app::testing {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityKind;
using geometry::TAcadPoint;
using Ring = std::vector<TAcadPoint>;

Ring Rect(double x0, double y0, double x1, double y1) {
    return {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
}

std::vector<geometry::TLineEnt> Outline(const Ring &ring) {
    std::vector<geometry::TLineEnt> out;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        geometry::TLineEnt e;
        e.st = ring[i];
        e.ed = ring[(i + 1) % ring.size()];
        out.push_back(e);
    }
    return out;
}

// Even-odd point in rings.
bool Inside(const std::vector<Ring> &rings, const TAcadPoint &p) {
    bool in = false;
    for (const Ring &r : rings)
        for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++)
            if ((r[i].y > p.y) != (r[j].y > p.y) &&
                p.x < (r[j].x - r[i].x) * (p.y - r[i].y) / (r[j].y - r[i].y) + r[i].x)
                in = !in;
    return in;
}

// A 20 x 10 m site whose 5 m region crosses the 5 m line on the north (a 4 m deep band across
// x 4..16 m, 2 m beyond the line) and whose 10 m region stays 3 m inside the 10 m line.
regulation::RegulationResult HandMadeResult() {
    regulation::RegulationResult r;
    r.Inputs = regulation::InputsForZone(*regulation::FindZoneRule("2-1-4"));
    r.SiteOutline = Outline(Rect(0, 0, 20000, 10000));
    r.DeemedOutline = r.SiteOutline;
    for (int k = 0; k < 2; ++k) {
        auto &l = r.Limits[static_cast<std::size_t>(k)];
        l.Distance = boundary::kKyoukaisenDistances[k];
        l.LimitHours = k == 0 ? r.Inputs.Limit5 : r.Inputs.Limit10;
        l.Line = boundary::OffsetOutline(r.SiteOutline, l.Distance);
    }
    auto &a = r.Limits[0];
    a.Regions = {Rect(4000, 10000, 16000, 17000)};
    a.Holes = {Rect(9000, 11000, 11000, 12000)};
    a.Crossings = {Rect(4000, 15000, 16000, 17000)};
    a.CrossingArea = 12000.0 * 2000.0;
    a.MaxBeyond = 2000.0;
    a.MaxHoursOnLine = 3.5;
    a.Complies = false;
    auto &b = r.Limits[1];
    b.Regions = {Rect(6000, 10000, 14000, 17000)};
    b.Margin = 3000.0;
    b.MaxHoursOnLine = 1.25;
    return r;
}

TEST(RegulationOutput, TableRowsSayTheVerdictAndTheFigures) {
    const auto rows = RegulationRows(HandMadeResult());
    std::map<std::string, std::vector<std::string>> byCaption;
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 3u);
        if (!byCaption.count(row[0])) byCaption[row[0]] = row;
    }
    EXPECT_EQ(rows.front()[1], "第一種・第二種中高層住居専用地域 (一) 測定面 4m");
    EXPECT_EQ(byCaption["測定面の高さ"][1], "4.0 m");
    EXPECT_EQ(byCaption["測定時間"][1], "冬至日 真太陽時 8:00～16:00（1 分ごと）");
    EXPECT_EQ(byCaption["判定"][1], "不適合");  // the first 判定 row is the whole check
    EXPECT_EQ(rows.back(), (std::vector<std::string>{"判定", "不適合", "適合"}));
    EXPECT_EQ(byCaption["規制時間"], (std::vector<std::string>{"規制時間", "3 時間", "2 時間"}));
    EXPECT_EQ(byCaption["ライン上の最大日影時間"][1], "3:30:00");  // to the second it was judged by
    EXPECT_EQ(byCaption["はみ出し面積"][1], "24.00 ㎡");
    EXPECT_EQ(byCaption["最大はみ出し距離"][1], "2.00 m");
    EXPECT_EQ(byCaption["余裕（ラインまで）"],
              (std::vector<std::string>{"余裕（ラインまで）", "-", "3.00 m"}));

    regulation::RegulationResult direct = HandMadeResult();
    direct.Inputs.Zone.clear();
    direct.Limits[1].Margin.reset();
    const auto rows2 = RegulationRows(direct);
    EXPECT_EQ(rows2.front()[1], "直接指定");
    EXPECT_EQ(rows2[rows2.size() - 2][2], "規制時間以上の日影なし");
}

// Every item on its layer; the lines closed with their corner arcs; the hatch only inside the
// crossing; the table to the right of everything else.
TEST(RegulationOutput, DrawingItemsOnTheirLayers) {
    const regulation::RegulationResult r = HandMadeResult();
    cadlink::DxfText sl;
    sl.Begin();
    AddRegulationDxf(sl, r, 300.0);
    sl.Finish();
    TempDir dir;
    const auto path = dir.path() / "regulation.dxf";
    sl.Save(path);
    const cadlink::embedded::Drawing d = cadlink::embedded::OpenDxf(path);

    std::map<std::string, std::map<EntityKind, int>> counts;
    std::vector<EntityData> lines5, hatch, texts;
    double plotRight = -1e300, tableLeft = 1e300;
    for (auto id : d.ModelSpace()) {
        const EntityData e = d.Get(id);
        ++counts[e.layer][e.kind];
        if (e.layer == kRegulationLine5Layer && e.kind == EntityKind::Polyline2d)
            lines5.push_back(e);
        if (e.layer == kRegulationCrossingLayer && e.kind == EntityKind::Line) hatch.push_back(e);
        if (e.layer == kRegulationTableLayer) {
            if (e.kind == EntityKind::Text) texts.push_back(e);
            tableLeft = std::min(tableLeft, e.kind == EntityKind::Line ? e.p1.x : e.p2.x);
        } else if (e.kind == EntityKind::Polyline2d) {
            for (const auto &v : e.vertices) plotRight = std::max(plotRight, v.pt.x);
        }
        if (e.kind == EntityKind::Polyline2d) {
            EXPECT_TRUE(e.closed) << e.layer;
        }
    }
    EXPECT_EQ(counts.size(), 5u);
    EXPECT_EQ((counts[kRegulationLine5Layer][EntityKind::Polyline2d]), 1);
    EXPECT_EQ((counts[kRegulationLine10Layer][EntityKind::Polyline2d]), 1);
    EXPECT_EQ((counts[kRegulationRegionLayer][EntityKind::Polyline2d]), 3);  // 2 regions, 1 hole
    EXPECT_EQ((counts[kRegulationRegionLayer][EntityKind::Text]), 2);        // their hours
    EXPECT_EQ((counts[kRegulationCrossingLayer][EntityKind::Polyline2d]), 1);

    ASSERT_EQ(lines5.size(), 1u);
    int arcs = 0;
    for (const auto &v : lines5[0].vertices)
        if (v.bulge != 0.0) {
            ++arcs;
            EXPECT_NEAR(v.bulge, std::tan(M_PI / 8.0), 1e-12);
        }
    EXPECT_EQ(arcs, 4);

    // Hatch lines 600 apart at 45 degrees across the 12 x 2 m crossing: inside it end to end,
    // and together they cover its area (length times spacing).
    ASSERT_FALSE(hatch.empty());
    const std::vector<Ring> crossing = r.Limits[0].Crossings;
    double length = 0.0;
    for (const EntityData &e : hatch) {
        for (double t : {0.01, 0.5, 0.99}) {
            const TAcadPoint p{e.p1.x + t * (e.p2.x - e.p1.x), e.p1.y + t * (e.p2.y - e.p1.y), 0};
            EXPECT_TRUE(Inside(crossing, p)) << p.x << "," << p.y;
        }
        EXPECT_NEAR(std::abs(e.p2.x - e.p1.x), std::abs(e.p2.y - e.p1.y), 1e-6);
        length += std::hypot(e.p2.x - e.p1.x, e.p2.y - e.p1.y);
    }
    EXPECT_NEAR(length * 600.0, 24e6, 24e6 * 0.03);

    std::set<std::string> said;
    for (const EntityData &e : texts) said.insert(e.text);
    for (const char *t : {"用途地域", "不適合", "適合", "5mライン", "10mライン", "3:30:00",
                          "24.00 ㎡", "2.00 m", "3.00 m"})
        EXPECT_TRUE(said.count(t)) << t;
    EXPECT_GT(tableLeft, plotRight);

    // Every text of the table ends before the next rule to its right in its row (a capital is
    // about 0.73 of the font's em; full-width characters take the em, the others half of it).
    std::vector<EntityData> rules;
    for (auto id : d.ModelSpace()) {
        const EntityData e = d.Get(id);
        if (e.layer == kRegulationTableLayer && e.kind == EntityKind::Line && e.p1.x == e.p2.x)
            rules.push_back(e);
    }
    for (const EntityData &e : texts) {
        double ems = 0.0;
        for (std::size_t i = 0; i < e.text.size();) {
            const auto c = static_cast<unsigned char>(e.text[i]);
            const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            ems += n >= 3 ? 1.0 : 0.5;
            i += n;
        }
        const double right = e.p2.x + ems * e.height / 0.73 * e.widthFactor;
        double next = 1e300;
        for (const EntityData &l : rules)
            if (l.p1.x > e.p2.x && std::min(l.p1.y, l.p2.y) < e.p2.y &&
                std::max(l.p1.y, l.p2.y) > e.p2.y)
                next = std::min(next, l.p1.x);
        EXPECT_LT(right, next) << e.text;
    }
}

// The hatch's clipped length against shapely on an L-shaped area with a hole, at an angle that
// meets no edge squarely.
TEST(RegulationOutput, HatchSegmentsMatchShapelyClipping) {
    const std::vector<Ring> rings = {
        {{0, 0, 0}, {9000, 0, 0}, {9000, 3000, 0}, {3000, 3000, 0}, {3000, 8000, 0}, {0, 8000, 0}},
        Rect(1000, 1000, 2000, 5000)};
    const double spacing = 370.0, angle = 30.0;
    const auto segments = HatchSegments(rings, spacing, angle);
    double ours = 0.0;
    for (const auto &[a, b] : segments) {
        ours += std::hypot(b.x - a.x, b.y - a.y);
        const TAcadPoint mid{(a.x + b.x) / 2, (a.y + b.y) / 2, 0};
        EXPECT_TRUE(Inside(rings, mid));
    }
    const std::string tag = std::to_string(getpid());
    const std::string script = ::testing::TempDir() + "hatch_" + tag + ".py";
    {
        std::FILE *f = std::fopen(script.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(
            "import math\n"
            "from shapely.geometry import Polygon, LineString\n"
            "outer=[(0,0),(9000,0),(9000,3000),(3000,3000),(3000,8000),(0,8000)]\n"
            "hole=[(1000,1000),(2000,1000),(2000,5000),(1000,5000)]\n"
            "poly=Polygon(outer,[hole])\n"
            "s,t=370.0,math.radians(30.0)\n"
            "c,n=math.cos(t),math.sin(t)\n"
            "vs=[-n*x+c*y for x,y in outer]\n"
            "lo,hi=min(vs),max(vs)\n"
            "v=(math.floor(lo/s)+0.5)*s\n"
            "total=0.0\n"
            "while v<hi:\n"
            "    a=(c*-1e5-n*v, n*-1e5+c*v); b=(c*1e5-n*v, n*1e5+c*v)\n"
            "    total+=LineString([a,b]).intersection(poly).length\n"
            "    v+=s\n"
            "print(repr(total))\n",
            f);
        std::fclose(f);
    }
    std::FILE *p = popen(("/usr/bin/python3 " + script).c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buffer[64] = {};
    const bool read = std::fgets(buffer, sizeof buffer, p) != nullptr;
    pclose(p);
    std::remove(script.c_str());
    ASSERT_TRUE(read);
    EXPECT_NEAR(ours, std::stod(buffer), 1e-6 * ours);
    EXPECT_TRUE(HatchSegments(rings, 0.0).empty());
}

// The chords of the arcs stay on the circles about the corners, and the flattened line encloses
// the area of the exact one to within the chords' sagitta.
TEST(RegulationOutput, FlattenedLineFollowsTheArcs) {
    const auto site = Outline(Rect(0, 0, 20000, 10000));
    const boundary::KyoukaisenLine line = boundary::OffsetOutline(site, 5000.0);
    const Ring points = FlattenLine(line, 0.05);
    ASSERT_GT(points.size(), 4u * 30u);
    double area = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TAcadPoint &a = points[i];
        const TAcadPoint &b = points[(i + 1) % points.size()];
        area += a.x * b.y - b.x * a.y;
        // Every point is 5 m from the site: outside it, at the distance of its nearest corner
        // or side.
        const double dx = std::max({0.0 - a.x, 0.0, a.x - 20000.0});
        const double dy = std::max({0.0 - a.y, 0.0, a.y - 10000.0});
        EXPECT_NEAR(std::hypot(dx, dy), 5000.0, 1e-6);
    }
    const double exact = boundary::EnclosedArea(line);
    EXPECT_NEAR(area / 2.0, exact, 4 * 5000.0 * 5000.0 * 0.05 * 0.05 / 12.0 * 2);
    EXPECT_LT(area / 2.0, exact);
}

// ---- The command on the embedded drawing ---------------------------------------------------

void Site(CadWindow &w, const Ring &ring) {
    EntityData e;
    e.kind = EntityKind::LwPolyline;
    e.layer = "SITE";
    e.closed = true;
    for (const TAcadPoint &p : ring) e.vertices.push_back({p, 0});
    w.drawing().Add(e);
}

void Building(CadWindow &w, const Ring &ring, double height) {
    EntityData e;
    e.kind = EntityKind::LwPolyline;
    e.layer = "BLD";
    e.closed = true;
    e.thickness = height;
    for (const TAcadPoint &p : ring) e.vertices.push_back({p, 0});
    w.drawing().Add(e);
}

TEST(RegulationCommand, WithoutBuildingsItSaysSoAndAsksForNothing) {
    CadWindow w;
    Site(w, Rect(0, 0, 30000, 20000));
    w.form.Button26Click();
    EXPECT_EQ(w.Messages(), (std::vector<std::string>{
                                "建物が取得されていません．先に「取得」で建物を選択して下さい．"}));
    EXPECT_TRUE(w.doc().prompts().empty());
    EXPECT_FALSE(w.form.LastRegulation);
    // The button itself waits for an acquisition.
    EXPECT_EQ(w.form.RunCommand(FormCommand::Regulation), CommandOutcome::NotAvailable);
}

TEST(RegulationCommand, ChecksTheSiteAndDrawsTheResult) {
    CadWindow w;
    Site(w, Rect(0, 0, 30000, 20000));
    Building(w, Rect(10000, 5000, 20000, 12000), 9000.0);
    w.Acquire("", {OnLayer("BLD")});
    ASSERT_FALSE(w.form.Model.Empty());
    w.form.SetValue("ComboBox2", "3");  // 2-1-4
    const std::size_t before = w.drawing().ModelSpace().size();
    w.input.Select({OnLayer("SITE")});
    ASSERT_EQ(w.form.RunCommand(FormCommand::Regulation), CommandOutcome::Ran);
    EXPECT_TRUE(w.Messages().empty()) << w.Messages().front();
    ASSERT_TRUE(w.form.LastRegulation);
    const regulation::RegulationResult &r = *w.form.LastRegulation;
    EXPECT_EQ(r.Inputs.Zone, regulation::ZoneRules()[3].Caption);
    EXPECT_EQ(r.Inputs.PlaneHeight, 4000.0);
    EXPECT_FALSE(w.form.Label66.caption.empty());
    EXPECT_EQ(w.form.Label66.caption.rfind(
                  std::string("日影規制：") + (r.Complies() ? "適合" : "不適合"), 0),
              0u);
    EXPECT_FALSE(w.doc().undoGroupOpen());
    EXPECT_FALSE(w.form.CommandRunning());
    EXPECT_TRUE(w.form.Button26.enabled);

    std::set<std::string> layers;
    for (std::size_t i = before; i < w.drawing().ModelSpace().size(); ++i)
        layers.insert(w.drawing().Get(w.drawing().ModelSpace()[i]).layer);
    EXPECT_TRUE(layers.count(kRegulationLine5Layer));
    EXPECT_TRUE(layers.count(kRegulationLine10Layer));
    EXPECT_TRUE(layers.count(kRegulationTableLayer));

    // 直接指定 with a field that is not a number: said, nothing drawn, no old result kept.
    w.form.SetValue("ComboBox2", std::to_string(regulation::ZoneRules().size()));
    w.form.Edit50.text = "abc";
    const std::size_t after = w.drawing().ModelSpace().size();
    w.input.Select({OnLayer("SITE")});
    w.form.RunCommand(FormCommand::Regulation);
    ASSERT_EQ(w.Messages().size(), 1u);
    EXPECT_NE(w.Messages()[0].find("5m～10m の規制時間"), std::string::npos) << w.Messages()[0];
    EXPECT_EQ(w.drawing().ModelSpace().size(), after);
    EXPECT_FALSE(w.form.LastRegulation);
}

// With a width typed, the sides picked after the site face a road: a 20 m road on the north moves
// that side out by 15 m (5 m short of the far side) and the lines with it.
TEST(RegulationCommand, PickedSidesFaceARoad) {
    CadWindow w;
    Site(w, Rect(0, 0, 30000, 20000));
    Building(w, Rect(10000, 5000, 20000, 12000), 9000.0);
    w.Acquire("", {OnLayer("BLD")});
    w.form.Edit54.text = "20";
    w.input.Select({OnLayer("SITE")});
    w.input.Point({15000, 19000, 0}).Cancel();
    ASSERT_EQ(w.form.RunCommand(FormCommand::Regulation), CommandOutcome::Ran);
    EXPECT_TRUE(w.Messages().empty()) << w.Messages().front();
    ASSERT_TRUE(w.form.LastRegulation);
    double north = -1e300;
    for (const auto &e : w.form.LastRegulation->DeemedOutline) north = std::max(north, e.st.y);
    EXPECT_NEAR(north, 35000.0, 1e-6);

    w.form.Edit54.text = "-1";
    w.input.Select({OnLayer("SITE")});
    w.form.RunCommand(FormCommand::Regulation);
    ASSERT_EQ(w.Messages().size(), 1u);
    EXPECT_NE(w.Messages()[0].find("道路等の幅"), std::string::npos) << w.Messages()[0];
    EXPECT_FALSE(w.form.LastRegulation);
}

TEST(RegulationCommand, OpenSiteIsSaid) {
    CadWindow w;
    for (auto [a, b] : {std::pair{TAcadPoint{0, 0, 0}, TAcadPoint{30000, 0, 0}},
                        std::pair{TAcadPoint{30000, 0, 0}, TAcadPoint{30000, 20000, 0}},
                        std::pair{TAcadPoint{30000, 20000, 0}, TAcadPoint{0, 20000, 0}}}) {
        EntityData e;
        e.kind = EntityKind::Line;
        e.layer = "SITE";
        e.p1 = a;
        e.p2 = b;
        w.drawing().Add(e);
    }
    Building(w, Rect(10000, 5000, 20000, 12000), 9000.0);
    w.Acquire("", {OnLayer("BLD")});
    const std::size_t before = w.drawing().ModelSpace().size();
    w.input.Select({OnLayer("SITE")});
    w.form.RunCommand(FormCommand::Regulation);
    EXPECT_EQ(w.Messages(), (std::vector<std::string>{"敷地の外形が閉じていません．敷地の線分を"
                                                      "閉じた形で選択して下さい．"}));
    EXPECT_EQ(w.drawing().ModelSpace().size(), before);
    EXPECT_FALSE(w.form.LastRegulation);
}

// The zone list keeps its choice between runs; an index the list lacks is refused.
TEST(RegulationCommand, ZoneChoiceIsKept) {
    TempDir dir;
    {
        RecordingUiHost host;
        TForm1 f{FormPaths{dir.path(), "pimu"}, host};
        f.FormCreate();
        EXPECT_EQ(f.ComboBox2.itemIndex, 0);
        EXPECT_EQ(f.ComboBox2.text, regulation::ZoneRules()[0].Caption);
        EXPECT_EQ(f.ComboBox2.items.back(), "直接指定");
        // The fields show the zone's own figures and are open only for 直接指定.
        EXPECT_FALSE(f.Edit52.enabled);
        EXPECT_EQ(f.Edit52.text, "1.5");
        const int direct = static_cast<int>(regulation::ZoneRules().size());
        f.SetValue("ComboBox2", std::to_string(direct));
        f.ComboBox2Change();
        EXPECT_TRUE(f.Edit50.enabled && f.Edit51.enabled && f.Edit52.enabled);
        f.SetValue("ComboBox2", "5");
        f.ComboBox2Change();
        const regulation::ZoneRule &zone = regulation::ZoneRules()[5];
        EXPECT_EQ(ParseNumber(f.Edit50.text, ""), zone.Limit5);
        EXPECT_EQ(ParseNumber(f.Edit51.text, ""), zone.Limit10);
        EXPECT_EQ(ParseNumber(f.Edit52.text, "") * 1000.0, zone.PlaneHeight);
        EXPECT_FALSE(f.Edit50.enabled || f.Edit51.enabled || f.Edit52.enabled);
        f.Edit53.text = "2.5";
        f.FormDestroy();
    }
    {
        RecordingUiHost host;
        TForm1 f{FormPaths{dir.path(), "pimu"}, host};
        f.FormCreate();
        EXPECT_EQ(f.ComboBox2.itemIndex, 5);
        EXPECT_EQ(f.ComboBox2.text, regulation::ZoneRules()[5].Caption);
        EXPECT_EQ(f.ReadRegulationInputs().StepMinutes, 2.5);
        EXPECT_TRUE(host.messages.empty());
    }
    std::string text = dir.Read("pimu.ini");
    const auto at = text.find("chiiki=5");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 8, "chiiki=999");
    dir.Write("pimu.ini", text);
    RecordingUiHost host;
    TForm1 f{FormPaths{dir.path(), "pimu"}, host};
    f.FormCreate();
    EXPECT_EQ(f.ComboBox2.itemIndex, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].text.find("Kisei/chiiki=999"), std::string::npos);
}

}  // namespace
}  // namespace pimu::app::testing
