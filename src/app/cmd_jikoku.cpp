// The time-of-day shadow diagram: the shadow outline of the buildings at every time step of the
// day, each labelled with its time, written as one DXF file and inserted into the drawing.
#include <string>
#include <vector>

#include "app/form.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "geometry/tolerances.h"
#include "shadow/jikoku.h"
#include "solar/sun.h"
#include "solar/timetext.h"

namespace pimu::app {

namespace {

constexpr const char *kNoModel = "建物の図形が取得されていません．";
constexpr const char *kAnimationMessage = "[アニメ]には対応していません．";

std::string Hours(double v) {
    return cadlink::DxfNumber(v);
}

// One instant's outlines as closed POLYLINEs (dashed off the whole hour) with their time labels;
// with `holes`, the lit holes inside them too, in the same layer and linetype, without labels.
void AddInstant(cadlink::DxfText &sl, const shadow::JikokuInstant &instant,
                const std::string &layer, double h, const cadlink::DxfValue &textHeight,
                bool timeOnly, bool holes) {
    std::string label = solar::FormatHM(instant.Time);
    if (!timeOnly) label += " " + cadlink::DxfFixed(instant.AzimuthDegrees, 2) + "%%d";
    cadlink::DxfPolylineStyle style;
    style.closed = true;
    style.hidden = !instant.WholeHour;
    style.elevation = cadlink::DxfValue(h);
    for (const shadow::JikokuOutline &o : instant.Outlines) {
        sl.AddPolyline(layer, o.Points, style);
        sl.AddText(layer, cadlink::DxfTextItem{o.Label.x, o.Label.y, h, textHeight, label});
        if (!holes) continue;
        for (const std::vector<geometry::TAcadPoint> &hole : o.Holes)
            sl.AddPolyline(layer, hole, style);
    }
}

// The instants skipped because the sun was not above the horizon, in one sentence; empty when
// there were none.
std::string NoSunMessage(const shadow::JikokuDiagram &diagram) {
    std::string times;
    for (const shadow::JikokuInstant &instant : diagram.Instants) {
        if (!instant.NoSun) continue;
        if (!times.empty()) times += ", ";
        times += solar::FormatHM(instant.Time);
    }
    if (times.empty()) return {};
    return "太陽が地平線より下にある時刻（" + times + "）の日影は作図していません．";
}

}  // namespace

std::string TForm1::JikokuCheckMessage(shadow::JikokuCheck check) const {
    const std::string range = "（" + Edit2.text + " ～ " + Edit7.text + "）";
    switch (check) {
        case shadow::JikokuCheck::IntervalNotPositive:
            return "間隔には 0 より大きい時間を指定して下さい．（間隔: " + Edit11.text + "）";
        case shadow::JikokuCheck::StartAfterEnd:
            return "開始時刻が終了時刻より後になっています．" + range;
        case shadow::JikokuCheck::TooManyInstants:
            return "間隔が小さすぎます．（間隔: " + Edit11.text + "）";
        case shadow::JikokuCheck::OutsideSunHours:
            return "時刻は " + Hours(solar::kFirstSunTime) + " ～ " + Hours(solar::kLastSunTime) +
                   " 時の範囲で指定して下さい．" + range;
        case shadow::JikokuCheck::Ok:
            break;
    }
    return {};
}

void TForm1::Button17Click() {
    ShowMessage(kAnimationMessage);
}

void TForm1::Button3Click() {
    ProgressDetail = false;
    if (!CadAvailable(true)) return;
    if (Model.Empty()) {
        ShowMessage(kNoModel);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    DrawPimuLine();
}

void TForm1::DrawPimuLine() {
    if (Model.Empty() || !CadAvailable(false)) return;

    // Everything typed is read and checked first: a bad field stops the command before the
    // drawing is touched.
    CommonFields common;
    shadow::JikokuInputs in;
    std::string layer;
    cadlink::DxfValue textHeight = 0.0;
    try {
        common = ReadCommonFields();
        in.Interval = ParseNumber(Edit11.text, "間隔");
        layer = std::string(cadlink::CheckedLayer(Edit27.text));
        textHeight = cadlink::DxfValue::FieldText(Edit38.text, "文字高さ");
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return;
    }
    in.Start = common.Start;
    in.End = common.End;
    in.PlaneHeight = common.PlaneHeight;
    int instants = 0;
    if (const shadow::JikokuCheck check = shadow::CheckJikokuInputs(in, instants);
        check != shadow::JikokuCheck::Ok) {
        ShowMessage(JikokuCheckMessage(check));
        return;
    }

    BusyScope busy(*this, LongCommand::TimeOfDay);
    FormProgress progress(*this);
    const shadow::JikokuDiagram diagram = shadow::ComputeJikoku(
        ShadowModel(), common.Sun, in, common.North * geometry::kDegToRad, progress);
    ProgressBar1.position = ProgressBar1.max;
    ProgressBar1.position = 0;
    if (diagram.Stopped || !RunFlag) return;
    if (const std::string noSun = NoSunMessage(diagram); !noSun.empty()) ShowMessage(noSun);

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    {
        // The layer and linetype in one undo group; the insertion is the CAD's own step.
        UndoGroup undo(doc);
        cadlink::EnsureDashedLinetype(*app,
                                      {ProgID, cad_->Sleeper(), cad_->Desktop(),
                                       [this](const std::string &text) { ShowMessage(text); }});
        cadlink::EnsureLayer(doc, layer);
    }
    cadlink::DxfText sl;
    sl.Begin();
    for (const shadow::JikokuInstant &instant : diagram.Instants)
        AddInstant(sl, instant, layer, in.PlaneHeight, textHeight, CheckBox11.checked,
                   CheckBox16.checked);
    const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtOrigin,
                       path.string());
}

bool TForm1::GetPimuHani(double &xmin, double &ymin, double &xmax, double &ymax) {
    if (Model.Empty()) return false;
    const CommonFields common = ReadCommonFields();
    shadow::GetPimuHani(Model, common.Sun, common.PlaneHeight, common.Start, common.End, xmin, ymin,
                        xmax, ymax);
    return true;
}

}  // namespace pimu::app
