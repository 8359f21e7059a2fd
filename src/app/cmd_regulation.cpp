// The shadow-regulation check: the site's lines selected on screen, the acquired buildings and the
// zone's limits give the 5 m and 10 m lines, the regions shaded at least each limit and the parts
// that cross their line; all of it and the result table go into one DXF file inserted exploded at
// the origin, each kind on its own layer.
#include <cmath>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/regulation_output.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/reader.h"
#include "cadlink/tables.h"
#include "geometry/acquisition.h"
#include "regulation/regulation.h"
#include "solar/timetext.h"

namespace pimu::app {

namespace {

constexpr const char *kNoBuildings =
    "建物が取得されていません．先に「取得」で建物を選択して下さい．";
constexpr const char *kPickOpenSide = "道路等に面する辺の近くを指示（Enterで終了） : \r\n";
constexpr const char *kSiteNotClosed =
    "敷地の外形が閉じていません．敷地の線分を閉じた形で選択して下さい．";

std::string CheckMessage(regulation::RegulationCheck check) {
    switch (check) {
        case regulation::RegulationCheck::BadLimits:
            return "規制時間は 0 より大きく、測定時間の長さ以下にして下さい．（5m～10m、10m超）";
        case regulation::RegulationCheck::BadPlaneHeight:
            return "測定面の高さは 0 以上にして下さい．";
        case regulation::RegulationCheck::BadHours:
            return "測定時間の範囲が正しくありません．";
        case regulation::RegulationCheck::BadStep:
            return "計算間隔（分）は 0 より大きく、測定時間の長さ以下にして下さい．";
        case regulation::RegulationCheck::BadOpenSide:
            return "道路等の幅は 0 より大きくして下さい．";
        case regulation::RegulationCheck::Ok:
            break;
    }
    return {};
}

std::string VerdictText(const regulation::RegulationResult &r) {
    std::string text = std::string("日影規制：") + (r.Complies() ? kComplies : kFails);
    const char *names[] = {"5m", "10m"};
    for (int k = 0; k < 2; ++k) {
        const regulation::LimitResult &l = r.Limits[static_cast<std::size_t>(k)];
        text += std::string("  ") + names[k] + " " + solar::FormatClock(l.MaxHoursOnLine) + "/" +
                cadlink::DxfNumber(l.LimitHours) + "h";
    }
    return text;
}

}  // namespace

void TForm1::ShowRegulationFields() {
    // The typed limits and plane height count only for 直接指定; a zone brings its own.
    const bool typed = ComboBox2.itemIndex == static_cast<int>(regulation::ZoneRules().size());
    for (TEdit *e : {&Edit50, &Edit51, &Edit52}) e->enabled = typed;
}

void TForm1::ComboBox2Change() {
    const auto zones = regulation::ZoneRules();
    const int index = ComboBox2.itemIndex;
    if (index >= 0 && index < static_cast<int>(zones.size())) {
        // Shown so that 直接指定 starts from the zone last chosen.
        const regulation::ZoneRule &zone = zones[static_cast<std::size_t>(index)];
        Edit50.text = cadlink::DxfFixed(zone.Limit5, 1);
        Edit51.text = cadlink::DxfFixed(zone.Limit10, 1);
        Edit52.text = cadlink::DxfFixed(zone.PlaneHeight / 1000.0, 1);
    }
    ShowRegulationFields();
}

regulation::RegulationInputs TForm1::ReadRegulationInputs() const {
    const auto zones = regulation::ZoneRules();
    const int index = ComboBox2.itemIndex;
    regulation::RegulationInputs in;
    if (index >= 0 && index < static_cast<int>(zones.size())) {
        in = regulation::InputsForZone(zones[static_cast<std::size_t>(index)]);
    } else if (index == static_cast<int>(zones.size())) {
        in.Limit5 = ParseNumber(Edit50.text, "5m～10m の規制時間");
        in.Limit10 = ParseNumber(Edit51.text, "10m超 の規制時間");
        in.PlaneHeight = ParseNumber(Edit52.text, "測定面の高さ（規制）") * 1000.0;
    } else {
        throw FieldRangeError("用途地域を選んで下さい．（番号 " + std::to_string(index) +
                              " は選べません．設定 Kisei/chiiki を確かめて下さい．）");
    }
    in.StepMinutes = ParseNumber(Edit53.text, "計算間隔（分）");
    in.OpenSides = RegulationOpenSides;
    return in;
}

double TForm1::ReadOpenSideWidth() const {
    const double width = ParseNumber(Edit54.text, "道路等の幅");
    if (!(width >= 0.0) || !std::isfinite(width))
        throw FieldRangeError("道路等の幅は 0 以上にして下さい．（" + Edit54.text + "）");
    return width * 1000.0;
}

void TForm1::Button26Click() {
    Label66.caption.clear();
    LastRegulation.reset();
    if (Model.Empty()) {
        ShowMessage(kNoBuildings);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    if (!CadAvailable(true)) return;

    // Everything typed is read and checked before the user is asked for the site.
    solar::SolarState sun;
    regulation::RegulationInputs in;
    double openWidth = 0.0;
    double textHeight = 0.0;
    try {
        sun = ReadCommonFields().Sun;
        in = ReadRegulationInputs();
        openWidth = ReadOpenSideWidth();
        textHeight = ParseNumber(Edit38.text, "文字高さ");
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return;
    }
    if (!(textHeight > 0.0) || !std::isfinite(textHeight)) {
        ShowMessage("文字高さは 0 より大きくして下さい．（" + Edit38.text + "）");
        return;
    }
    if (const regulation::RegulationCheck check = regulation::CheckRegulationInputs(in);
        check != regulation::RegulationCheck::Ok) {
        ShowMessage(CheckMessage(check));
        return;
    }

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();

    geometry::EntityArrays site;
    if (SelectSiteLines(doc, site) <= 0) return;
    // With a width typed, the sides facing a road or river are picked one by one.
    if (openWidth > 0.0) {
        MinimizedWindow minimized(host_);
        while (true) {
            geometry::TAcadPoint p;
            try {
                p = doc.Utility().GetPoint(std::nullopt, kPickOpenSide);
            } catch (const cadlink::CadError &) {
                break;  // Enter: the picking ends
            }
            in.OpenSides.push_back({{p.x, p.y, 0.0}, openWidth});
        }
    }
    geometry::ConvertToEdges(site, geometry::CircleFit::Inside);

    regulation::RegulationResult result;
    {
        BusyScope busy(*this, LongCommand::Isochrone);
        FormProgress progress(*this, true, "日影規制：");
        result =
            regulation::CheckRegulation(ShadowModel(), sun, std::move(site.AryLine), in, progress);
        ProgressBar1.position = 0;
        if (!RunFlag) result.Status = regulation::RegulationStatus::Stopped;
    }
    switch (result.Status) {
        case regulation::RegulationStatus::Stopped:
            Label66.caption = "中止しました";
            return;
        case regulation::RegulationStatus::SiteNotClosed:
            ShowMessage(kSiteNotClosed);
            return;
        case regulation::RegulationStatus::NoModel:
            ShowMessage(kNoBuildings);
            return;
        case regulation::RegulationStatus::Invalid:
            ShowMessage(CheckMessage(result.Check));
            return;
        case regulation::RegulationStatus::Done:
            break;
    }

    cadlink::DxfText sl;
    sl.Begin();
    AddRegulationDxf(sl, result, textHeight);
    sl.Finish();
    UndoGroup undo(doc);
    for (const char *layer : {kRegulationLine5Layer, kRegulationLine10Layer, kRegulationRegionLayer,
                              kRegulationCrossingLayer, kRegulationTableLayer})
        cadlink::EnsureLayer(doc, layer);
    const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtOriginSplit,
                       path.string());
    Label66.caption = VerdictText(result);
    LastRegulation = std::move(result);
}

}  // namespace pimu::app
