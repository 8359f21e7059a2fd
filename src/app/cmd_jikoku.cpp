// The time-of-day shadow diagram: the shadow outline of the buildings at every time step of the
// day, each labelled with its time, written as one DXF file and inserted into the drawing.
#include <cmath>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "shadow/jikoku.h"
#include "solar/sun.h"
#include "solar/timetext.h"

namespace pimu::app {

namespace {

constexpr const char *kNoModel = "建物の図形が取得されていません．";
constexpr const char *kTraceFailed = " 日影作成に失敗しました．";
constexpr const char *kAnimationMessage = "[アニメ]には対応していません．";
// Times are summed step by step (8 + 0.1 + 0.1 ...); this much drift in hours still counts as
// reaching the end time, a whole hour, or the edge of the sun's window.
constexpr double kTimeSlack = 1e-9;
// More time steps than this means an interval typed by mistake (a few seconds at most).
constexpr int kMaxInstants = 10000;

// The inputs of the diagram, read and checked before anything is drawn.
struct JikokuInputs {
    double t0 = 0.0, t1 = 0.0, dt = 0.0;
    int instants = 0;
    double h = 0.0;  // plane height, mm
    std::string layer;
    cadlink::DxfValue textHeight = 0.0;
    bool timeOnly = true;
};

bool WholeHour(double t) {
    return std::fabs(t - std::round(t)) <= kTimeSlack;
}

std::string Hours(double v) {
    return cadlink::DxfNumber(v);
}

}  // namespace

void TForm1::Button17Click() {
    ShowMessage(kAnimationMessage);
}

void TForm1::Button3Click() {
    try {
        Longitude = ParseNumber(Edit43.text, "経度");
        UseStdTime = CheckBox13.checked;
        EqOfTime = ParseNumber(Edit44.text, "均時差");
    } catch (const InputError &e) {
        ShowMessage(e.what());
        return;
    }
    ProgressDetail = false;
    if (!CadAvailable(true)) return;
    if (Model.Empty()) {
        ShowMessage(kNoModel);
        return;
    }
    DrawPimuLine();
}

void TForm1::DrawPimuLine() {
    if (Model.Empty() || !CadAvailable(false)) return;

    // Everything typed is read and checked first: a bad field stops the command before the
    // drawing is touched.
    JikokuInputs in;
    solar::SolarState sun;
    try {
        GB_kita = ParseNumber(Edit12.text, "真北");
        GB_idodo = ParseNumber(Edit3.text, "緯度（度）");
        GB_idohun = ParseNumber(Edit5.text, "緯度（分）");
        GB_idobyou = ParseNumber(Edit23.text, "緯度（秒）");
        GB_takasa = ParseNumber(Edit4.text, "測定面の高さ") * 1000.0;
        GB_kaisi = ParseNumber(Edit2.text, "時刻（開始）");
        GB_owari = ParseNumber(Edit7.text, "時刻（終了）");
        in.dt = ParseNumber(Edit11.text, "間隔");
        in.layer = std::string(cadlink::CheckedLayer(Edit27.text));
        in.textHeight = cadlink::DxfValue::FieldText(Edit38.text, "文字高さ");
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return;
    }
    in.t0 = GB_kaisi;
    in.t1 = GB_owari;
    in.h = GB_takasa;
    in.timeOnly = CheckBox11.checked;
    if (!(in.dt > 0.0)) {
        ShowMessage("間隔には 0 より大きい時間を指定して下さい．（間隔: " + Edit11.text + "）");
        return;
    }
    if (in.t0 > in.t1) {
        ShowMessage("開始時刻が終了時刻より後になっています．（" + Edit2.text + " ～ " +
                    Edit7.text + "）");
        return;
    }
    const double steps = std::floor((in.t1 - in.t0) / in.dt + kTimeSlack);
    if (steps + 1.0 > kMaxInstants) {
        ShowMessage("間隔が小さすぎます．（間隔: " + Edit11.text + "）");
        return;
    }
    in.instants = static_cast<int>(steps) + 1;
    // Outside this window there is no computed sun: an outline would be drawn for a made-up one.
    const double last = in.t0 + steps * in.dt;
    if (in.t0 < solar::kFirstSunTime - kTimeSlack || last > solar::kLastSunTime + kTimeSlack) {
        ShowMessage("時刻は " + Hours(solar::kFirstSunTime) + " ～ " + Hours(solar::kLastSunTime) +
                    " 時の範囲で指定して下さい．（" + Edit2.text + " ～ " + Edit7.text + "）");
        return;
    }
    RadioGroup1Click();
    GB_kisetu = RadioGroup1.itemIndex;
    sun = solar::MakeSolarState(solar::LatitudeDegrees(GB_idodo, GB_idohun, GB_idobyou),
                                Declination, GB_kita, {UseStdTime, Longitude, EqOfTime});

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    try {
        cadlink::EnsureDashedLinetype(*app,
                                      {ProgID, cad_->Sleeper(), cad_->Desktop(),
                                       [this](const std::string &text) { ShowMessage(text); }});
        cadlink::EnsureLayer(doc, in.layer);

        BusyScope busy(*this, LongCommand::TimeOfDay);
        cadlink::DxfText sl;
        sl.Begin();
        ProgressStart(in.instants);

        const double north = GB_kita * geometry::kDegToRad;
        const auto stop = [this] {
            host_.ProcessPendingEvents();
            return !RunFlag;
        };
        double t = in.t0;
        for (int i = 0; i < in.instants; ++i, t += in.dt) {
            if (!ProgressStep()) {
                Workspace.AryLine.clear();
                break;
            }
            // Drift must not move the first or last instant out of the sun's window.
            const double ts = std::fmin(std::fmax(t, solar::kFirstSunTime), solar::kLastSunTime);
            bool stopped = false;
            for (std::size_t e = 0; e < Model.AryTatemono.size() && !stopped; ++e) stopped = stop();
            if (stopped) {
                Workspace.AryLine.clear();
                break;
            }
            Workspace.ShadowSegments(Model, sun, ts, in.h);

            const bool hidden = !WholeHour(t);
            std::string label = solar::FormatHM(t);
            if (!in.timeOnly)
                label += " " +
                         cadlink::DxfFixed(
                             solar::SunPosition(sun, ts).Azimuth * geometry::kRadToDeg, 2) +
                         "%%d";
            const auto write = [&](const std::vector<geometry::TLineEnt> &outline) {
                std::vector<geometry::TAcadPoint> points;
                points.push_back(outline.front().st);
                for (std::size_t k = 0; k + 1 < outline.size(); ++k)
                    points.push_back(outline[k].ed);
                cadlink::DxfPolylineStyle style;
                style.closed = true;
                style.hidden = hidden;
                style.elevation = cadlink::DxfValue(in.h);
                sl.AddPolyline(in.layer, points, style);
                const geometry::TAcadPoint at = shadow::NorthmostVertex(outline, north);
                cadlink::DxfTextSpec text{at.x, at.y, in.h, in.textHeight, label};
                sl.AddText(in.layer, text);
            };
            const geometry::OutlineLoopResult result =
                Workspace.AllOutlines(geometry::MaxSpanRule::MeasureTimes1000, write, stop);
            if (result == geometry::OutlineLoopResult::Stopped || !RunFlag) {
                Workspace.AryLine.clear();
                break;
            }
            if (result == geometry::OutlineLoopResult::TraceFailed)
                ShowMessage(solar::FormatHMS(t) + kTraceFailed);
        }

        ProgressBar1.position = ProgressBar1.max;
        undo.Close();
        if (RunFlag) {
            const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);
            cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtOrigin,
                               path.string());
        }
    } catch (...) {
        ProgressBar1.position = 0;
        undo.Close();
        throw;
    }
    ProgressBar1.position = 0;
}

bool TForm1::GetPimuHani(double &xmin, double &ymin, double &xmax, double &ymax) {
    if (Model.Empty()) return false;
    GB_kita = ParseNumber(Edit12.text, "真北");
    GB_idodo = ParseNumber(Edit3.text, "緯度（度）");
    GB_idohun = ParseNumber(Edit5.text, "緯度（分）");
    GB_idobyou = ParseNumber(Edit23.text, "緯度（秒）");
    GB_takasa = ParseNumber(Edit4.text, "測定面の高さ") * 1000.0;
    GB_kaisi = ParseNumber(Edit2.text, "時刻（開始）");
    GB_owari = ParseNumber(Edit7.text, "時刻（終了）");
    RadioGroup1Click();
    GB_kisetu = RadioGroup1.itemIndex;
    const solar::SolarState sun = solar::MakeSolarState(
        solar::LatitudeDegrees(GB_idodo, GB_idohun, GB_idobyou), Declination, GB_kita);
    shadow::GetPimuHani(Model, sun, GB_takasa, GB_kaisi, GB_owari, xmin, ymin, xmax, ymax);
    return true;
}

}  // namespace pimu::app
