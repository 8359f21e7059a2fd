// The sky-factor comparison: the site's lines selected on screen and the sides facing a road
// picked after them give the statutory measurement points and the conforming buildings of the
// zone's slant limits; at every point the planned buildings' sky factor is compared with the
// conforming building's. The points, the conforming buildings and the table go into one DXF file
// inserted exploded at the origin, each kind on its own layer.
#include <cmath>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/sky_compare_output.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "boundary/kyoukaisen.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "geometry/acquisition.h"
#include "sky/sky_compare.h"
#include "sky/sky_map.h"
#include "sky/sky_projection.h"

namespace pimu::app {

namespace {

constexpr const char *kNoBuildings =
    "建物が取得されていません．先に「取得」で建物を選択して下さい．";
constexpr const char *kPickRoadSide = "道路に面する辺の近くを指示（Enterで終了） : \r\n";
constexpr const char *kSiteNotClosed =
    "敷地の外形が閉じていません．敷地の線分を閉じた形で選択して下さい．";
constexpr const char *kNoPoints =
    "測定点がありません．道路に面する辺を指示し，比較する斜線を選んで下さい．";
constexpr const char *kInconsistent =
    "計画・精算・適合の順になっていない測定点があります．判定できません．";

double NonNegative(const TEdit &edit, const char *field) {
    const double v = ParseNumber(edit.text, field);
    if (!(v >= 0.0) || !std::isfinite(v))
        throw FieldRangeError(std::string(field) + "は 0 以上にして下さい．（" + edit.text + "）");
    return v * 1000.0;
}

// The site's outline as a counter-clockwise ring without vertices in line with their neighbours.
std::vector<geometry::TAcadPoint> RingOf(const std::vector<geometry::TLineEnt> &outline) {
    std::vector<geometry::TAcadPoint> pts;
    for (const geometry::TLineEnt &e : outline) pts.push_back({e.st.x, e.st.y, 0.0});
    bool changed = true;
    while (changed && pts.size() > 3) {
        changed = false;
        for (std::size_t i = 0; i < pts.size() && pts.size() > 3; ++i) {
            const auto &p = pts[(i + pts.size() - 1) % pts.size()];
            const auto &v = pts[i];
            const auto &q = pts[(i + 1) % pts.size()];
            const double cross = (v.x - p.x) * (q.y - v.y) - (v.y - p.y) * (q.x - v.x);
            const double scale =
                std::hypot(v.x - p.x, v.y - p.y) * std::hypot(q.x - v.x, q.y - v.y);
            const double dot = (v.x - p.x) * (q.x - v.x) + (v.y - p.y) * (q.y - v.y);
            if (scale == 0.0 || (std::fabs(cross) <= 1e-9 * scale && dot > 0.0)) {
                pts.erase(pts.begin() + static_cast<std::ptrdiff_t>(i));
                changed = true;
                break;
            }
        }
    }
    return pts;
}

// The side of the ring nearest to p.
std::size_t NearestSide(const std::vector<geometry::TAcadPoint> &ring, geometry::TAcadPoint p) {
    std::size_t best = 0;
    double bestD = INFINITY;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const auto a = ring[i], b = ring[(i + 1) % ring.size()];
        const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
        double t = l2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0.0;
        t = std::fmax(0.0, std::fmin(1.0, t));
        const double d = std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

}  // namespace

void TForm1::DrawSmallestMarginMaps(const SkyCompareRun &run, int typ, geometry::TAcadPoint at,
                                    double pitch) {
    const sky::ComparisonRow &worst = run.Result.rows[run.Result.worst];
    // The maps read the point, its plane, its label and the area target from the window's state:
    // they are set for the two maps and given back afterwards.
    const geometry::TAcadPoint point = IDPOINT1;
    const std::string mentaka = MENTAKA;
    std::string &label = typ == 1 ? GB_TenMeiB : GB_TenMeiA;
    const std::string oldLabel = label;
    const int target = RadioGroup2.itemIndex;
    const bool running = RunFlag;
    RunFlag = true;  // the maps' projection runs until a stop is asked for
    IDPOINT1 = worst.point.pt;
    MENTAKA = "0";
    const geometry::BuildingModel planned =
        sky::ModelOf(sky::PlannedBuildingsFor(Model, run.Site, run.Rules, worst.point.limit));
    const geometry::BuildingModel conforming =
        sky::ModelOf(sky::ConformingBuildingOf(run.Site, run.Rules, worst.point.limit).sky);
    try {
        label = worst.point.label + " 計画建築物";
        RadioGroup2.itemIndex = static_cast<int>(sky::AreaTarget::Keikaku);
        if (!planned.Empty()) MakeTenkuzu(typ, false, at, &planned);
        label = worst.point.label + " 適合建築物";
        RadioGroup2.itemIndex = static_cast<int>(sky::AreaTarget::Tekigou);
        MakeTenkuzu(typ, false, {at.x + pitch, at.y, 0.0}, &conforming);
    } catch (...) {
        IDPOINT1 = point;
        MENTAKA = mentaka;
        label = oldLabel;
        RadioGroup2.itemIndex = target;
        RunFlag = running;
        throw;
    }
    IDPOINT1 = point;
    MENTAKA = mentaka;
    label = oldLabel;
    RadioGroup2.itemIndex = target;
    RunFlag = running;
}

void TForm1::Button27Click() {
    Label67.caption.clear();
    LastSkyComparison.reset();
    if (Model.Empty()) {
        ShowMessage(kNoBuildings);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    if (!CadAvailable(true)) return;

    // Everything typed is read and checked before the user is asked for the site.
    sky::SlantRules rules;
    std::vector<sky::SlantLimit> limits;
    double width = 0.0, setback = 0.0, textHeight = 0.0, north = 90.0;
    sky::SansyaFrame frame;
    int typ = 1;
    double mapRadius = 0.0;
    try {
        const int zone = ComboBox3.itemIndex;
        if (zone < 0 || zone > 3)
            throw FieldRangeError("用途地域（天空率比較）を選んで下さい．（番号 " +
                                  std::to_string(zone) + " は選べません）");
        rules = sky::SlantRulesOf(static_cast<sky::SlantZone>(zone));
        rules.roadDistance = NonNegative(Edit57, "適用距離");
        width = NonNegative(Edit55, "道路幅");
        setback = NonNegative(Edit56, "後退距離");
        textHeight = ParseNumber(Edit38.text, "文字高さ");
        north = ParseNumber(Edit12.text, "真北");
        sky::SkyMapSizes sizes;
        sizes.HankeiA = ParseNumber(Edit15.text, "半径 (type A)");
        sizes.HankeiB = ParseNumber(Edit21.text, "半径 (type B)");
        sizes.Syakudo = ParseNumber(Edit19.text, "図面の尺度");
        typ = sizes.HankeiA > sizes.HankeiB ? 0 : 1;
        frame = sky::SansyaFrame{sky::PaperRadius(sizes, typ), sizes.Syakudo, 90.0};
        mapRadius = sky::SkyRadiusOf(sizes, typ);
        if (!(frame.r > 0.0) || !(frame.s > 0.0))
            throw FieldRangeError("半径と図面の尺度には 0 より大きい値を指定して下さい．");
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return;
    }
    if (!(textHeight > 0.0) || !std::isfinite(textHeight)) {
        ShowMessage("文字高さは 0 より大きくして下さい．（" + Edit38.text + "）");
        return;
    }
    if (CheckBox18.checked) limits.push_back(sky::SlantLimit::Road);
    if (CheckBox19.checked) limits.push_back(sky::SlantLimit::Adjacent);
    if (CheckBox20.checked) limits.push_back(sky::SlantLimit::North);

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();

    geometry::EntityArrays site;
    if (SelectSiteLines(doc, site) <= 0) return;
    std::vector<SkyCompareRoad> roads = SkyCompareRoads;
    if (roads.empty() && width > 0.0) {
        MinimizedWindow minimized(host_);
        while (true) {
            geometry::TAcadPoint p;
            try {
                p = doc.Utility().GetPoint(std::nullopt, kPickRoadSide);
            } catch (const cadlink::CadError &) {
                break;  // Enter: the picking ends
            }
            roads.push_back({{p.x, p.y, 0.0}, width, setback});
        }
    }
    geometry::ConvertToEdges(site, geometry::CircleFit::Inside);

    SkyCompareRun run;
    run.Rules = rules;
    {
        BusyScope busy(*this, LongCommand::Isochrone);
        FormProgress progress(*this, true, "天空率比較：");
        const boundary::KyoukaisenResult traced =
            boundary::MakeKyoukaisen(std::move(site.AryLine), progress);
        if (traced.status == boundary::KyoukaisenStatus::Stopped || !RunFlag) {
            Label67.caption = "中止しました";
            return;
        }
        if (traced.status != boundary::KyoukaisenStatus::Done) {
            ShowMessage(kSiteNotClosed);
            return;
        }
        run.Site.ring = RingOf(traced.outline);
        run.Site.north = north;
        for (const SkyCompareRoad &r : roads) {
            if (!(r.Width > 0.0)) continue;
            const std::size_t side = NearestSide(run.Site.ring, r.Near);
            bool again = false;
            for (const sky::RoadSide &o : run.Site.roads) again = again || o.side == side;
            if (!again) run.Site.roads.push_back({side, r.Width, r.Setback});
        }
        run.Result = sky::CompareSkyFactors(Model, run.Site, rules, limits, frame, 3, progress);
        ProgressBar1.position = 0;
        if (!RunFlag) run.Result.status = sky::ComparisonStatus::Stopped;
    }
    switch (run.Result.status) {
        case sky::ComparisonStatus::Stopped:
            Label67.caption = "中止しました";
            return;
        case sky::ComparisonStatus::NoPoints:
            ShowMessage(kNoPoints);
            return;
        case sky::ComparisonStatus::Inconsistent:
            ShowMessage(kInconsistent);
            return;
        case sky::ComparisonStatus::Done:
            break;
    }

    cadlink::DxfText sl;
    sl.Begin();
    const geometry::TAcadPoint table =
        AddSkyCompareDxf(sl, run.Site, run.Rules, run.Result, textHeight);
    sl.Finish();
    UndoGroup undo(doc);
    for (const char *layer : {kSkyPointLayer, kSkyConformingLayer, kSkyCompareTableLayer})
        cadlink::EnsureLayer(doc, layer);
    const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtOriginSplit,
                       path.string());
    DrawSmallestMarginMaps(run, typ, {table.x + mapRadius, table.y - 1.5 * mapRadius, 0.0},
                           2.5 * mapRadius);
    Label67.caption = SkyCompareVerdict(run.Result);
    LastSkyComparison = std::move(run);
}

}  // namespace pimu::app
