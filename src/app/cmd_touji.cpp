// The isochronal shadow diagram: the raster of shaded instants over the ground around the
// buildings, the outlines of the cells shaded for each checked hour, written as one DXF file with
// an hour label per outline and inserted into the drawing; and the mesh-size preview of the tab.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/form.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "geometry/tolerances.h"
#include "shadow/touji.h"
#include "solar/sun.h"
#include "solar/timetext.h"

namespace pimu::app {

namespace {

constexpr const char *kNoBaseData = "基準データが作成されていません．";
constexpr const char *kNothingChecked = "作成する等時間にチェックを入れて下さい．";
constexpr const char *kNoOutline = "指定された等時間の日影線はありません．";
constexpr const char *kIssueCaption = "Pimu";

std::string Hours(double v) {
    return cadlink::DxfNumber(v);
}

// The user's words for inputs the diagram cannot be made for.
std::string CheckMessage(shadow::ToujiCheck check, const TForm1 &f) {
    const std::string range = "（" + f.Edit2.text + " ～ " + f.Edit7.text + "）";
    switch (check) {
        case shadow::ToujiCheck::StartNotBeforeEnd:
            return "終了時刻は開始時刻より後にして下さい．" + range;
        case shadow::ToujiCheck::OutsideSunHours:
            return "時刻は " + Hours(solar::kFirstSunTime) + " ～ " + Hours(solar::kLastSunTime) +
                   " 時の範囲で指定して下さい．" + range;
        case shadow::ToujiCheck::NothingChecked:
            return kNothingChecked;
        case shadow::ToujiCheck::Ok:
            break;
    }
    return {};
}

std::string ElapsedText(TForm1 &form, std::chrono::steady_clock::time_point start) {
    const double seconds = std::chrono::duration<double>(form.ElapsedClock() - start).count();
    return solar::FormatClock(std::max(seconds, 0.0) / 3600.0);
}

// The window's side of the three phases: the extent pass shows only the bar, the counting shows
// each instant's time, the hour loop each hour's item (pumping events as it is shown) and the
// elapsed time once an hour is done. A stop runs RunEsc.
class ToujiProgress : public FormProgress {
public:
    ToujiProgress(TForm1 &form, std::chrono::steady_clock::time_point started)
        : FormProgress(form, true), started_(started) {}
    void Start(int maximum) override {
        phase_ = static_cast<shadow::ToujiPhase>(static_cast<int>(phase_) + 1);
        if (phase_ == shadow::ToujiPhase::Hours) ShowElapsed();
        FormProgress::Start(maximum);
    }
    void Position(int position) override {
        if (hourOpen_) ShowElapsed();
        hourOpen_ = false;
        FormProgress::Position(position);
    }
    void Status(const std::string &text) override {
        if (phase_ == shadow::ToujiPhase::Counting) {
            form_.Label2.caption = "時刻：" + text;
        } else if (phase_ == shadow::ToujiPhase::Hours) {
            form_.Label2.caption = "等時間：" + text;
            hourOpen_ = true;
            form_.Host().ProcessPendingEvents();
        }
    }

private:
    void ShowElapsed() { form_.Label2.caption = "経過時間：" + ElapsedText(form_, started_); }

    std::chrono::steady_clock::time_point started_;
    // Before the extent pass's Start: one below Extent.
    shadow::ToujiPhase phase_ = static_cast<shadow::ToujiPhase>(-1);
    bool hourOpen_ = false;
};

// The mesh-size preview's extent pass: runs outside every command (RunFlag is down), so it runs
// to its end while the window keeps its events going.
class PreviewProgress : public FormProgress {
public:
    using FormProgress::FormProgress;
    bool KeepRunning() override {
        form_.Host().ProcessPendingEvents();
        return true;
    }
};

// Counting threads: the sums are the same whichever thread counted an instant, and two share
// the painting well on the machines this runs on.
int CountingThreads() {
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

}  // namespace

shadow::ToujiInputs TForm1::ReadToujiInputs(solar::SolarState &sun) {
    const CommonFields common = ReadCommonFields();
    sun = common.Sun;
    shadow::ToujiInputs in;
    in.PlaneHeight = common.PlaneHeight;
    in.Start = common.Start;
    in.End = common.End;
    // No interval chosen (-1): the coarsest pair of the tables (640 cells, 120 seconds). An index
    // the window does not offer comes only from an edited settings file: refused, not guessed.
    const int interval = RadioGroup5.itemIndex;
    if (interval < -1 || interval >= static_cast<int>(RadioGroup5.items.size()))
        throw FieldRangeError("評価時間の番号 " + std::to_string(interval) +
                              " は選べません（0 ～ " +
                              std::to_string(RadioGroup5.items.size() - 1) +
                              "）．設定 Touji/kankaku2 を確かめて下さい．");
    in.Interval = shadow::EvaluationIntervalFor(interval, CheckBox2.checked);
    for (std::size_t i = 0; i < CheckListBox1.checked.size() && i < in.Checked.size(); ++i)
        in.Checked[i] = CheckListBox1.checked[i];
    in.Smoothing = CheckBox8.checked;
    in.SmoothingFactor = UpDown5.position;
    in.TrueNorthDegrees = common.North;
    return in;
}

void TForm1::ShowToujiIssues(const std::vector<shadow::HourIssue> &issues) {
    for (const shadow::HourIssue &issue : issues) {
        const bool range = issue.End == shadow::HourEnd::Border && issue.WithinRange;
        host_.MessageBox("Form1", kIssueCaption,
                         "等時間：" + issue.ItemText +
                             (range ? " 時刻範囲を超えているため、作成しません．(1) "
                                    : " 継続不能のため、処理を中止します．(1) "),
                         MessageButtons::Ok);
    }
}

void TForm1::Button6Click() {
    ProgressDetail = false;
    Label2.caption.clear();
    if (Model.Empty()) {
        ShowMessage(kNoBaseData);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    if (!CadAvailable(true)) return;
    DrawToujikan5A();
}

void TForm1::RadioGroup5Click() {
    CheckListBox1Click();
}

void TForm1::DrawToujikan5A() {
    if (Model.Empty() || !CadAvailable(false)) return;

    // Everything typed is read and checked before the drawing is touched.
    solar::SolarState sun;
    shadow::ToujiInputs in;
    std::string layer;
    cadlink::DxfValue textHeight = 0.0;
    try {
        in = ReadToujiInputs(sun);
        layer = std::string(cadlink::CheckedLayer(Edit28.text));
        textHeight = cadlink::DxfValue::FieldText(Edit38.text, "文字高さ");
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return;
    }
    if (const shadow::ToujiCheck check = shadow::CheckToujiInputs(in);
        check != shadow::ToujiCheck::Ok) {
        ShowMessage(CheckMessage(check, *this));
        return;
    }

    BusyScope busy(*this, LongCommand::Isochrone);
    const auto started = ElapsedClock();
    ToujiProgress progress(*this, started);
    const shadow::ToujiDiagram d =
        shadow::ComputeToujikan(ShadowModel(), sun, in, CountGrid(), progress, CountingThreads());
    ProgressBar1.position = 0;
    ShowToujiIssues(d.Contours.Issues);
    if (d.Status == shadow::ToujiStatus::Stopped || !RunFlag) return;
    if (d.Status == shadow::ToujiStatus::NoExtent) {
        ShowMessage(kNoOutline);
        return;
    }
    if (d.Counted.SkippedNoSun > 0)
        ShowMessage("太陽が地平線より下にある時刻（" + std::to_string(d.Counted.SkippedNoSun) +
                    " 回）は日影時間に数えていません．");
    if (d.Contours.Outlines.empty()) {
        ShowMessage(kNoOutline);
        return;
    }

    const std::string mesh = cadlink::DxfFixed(d.Raster.Cell, 1);
    Label2.caption = "所要時間 : " + ElapsedText(*this, started);
    Label22.caption = "ﾒｯｼｭｻｲｽﾞ : " + mesh;
    cadlink::DxfText sl;
    sl.Begin();
    for (const shadow::ToujiOutline &o : d.Contours.Outlines) {
        cadlink::DxfPolylineStyle style;
        style.closed = true;
        style.colour = o.Color;
        style.elevation = cadlink::DxfValue(in.PlaneHeight);
        sl.AddPolyline(layer, o.Points, style);
        // The label in the hour's colour, left-aligned and without elevation.
        cadlink::DxfTextItem label{o.Label.x, o.Label.y, 0.0, textHeight, o.ItemText};
        label.colour = o.Color;
        label.writeZ = false;
        sl.AddText(layer, label);
    }
    sl.AddText(layer, {d.Hani.Rect.XMin, d.Hani.Rect.YMin, 0.0, textHeight, mesh + " mm/mesh"});

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    cadlink::EnsureLayer(doc, layer);
    const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtOriginLowerS,
                       path.string());
}

void TForm1::CheckListBox1Click() {
    if (!Button6.enabled || Model.Empty()) return;
    int first = -2;  // -2: no hour checked
    for (std::size_t i = 0; i < CheckListBox1.checked.size() && i < shadow::kHourItemCount; ++i)
        if (CheckListBox1.checked[i]) {
            first = static_cast<int>(i);
            break;
        }
    if (first == GB_toujiidx && GB_hyoukaidx == RadioGroup5.itemIndex) return;
    Label22.caption.clear();
    Label2.caption.clear();
    GB_toujiidx = first;
    GB_hyoukaidx = RadioGroup5.itemIndex;
    solar::SolarState sun;
    shadow::ToujiInputs in;
    try {
        in = ReadToujiInputs(sun);
    } catch (const std::exception &) {
        in.Start = in.End = 0.0;  // checked below
    }
    if (shadow::CheckToujiRange(in) != shadow::ToujiCheck::Ok) {
        // The command itself tells what is wrong; the preview just shows nothing, and runs again
        // at the next click.
        GB_toujiidx = -1;
        return;
    }
    // The extent pass shows only the bar; no command runs, so nothing stops it.
    PreviewProgress progress(*this);
    const shadow::ToujiHani hani =
        shadow::FindToujiHani(ShadowModel(), sun, in, CountGrid(), progress);
    ProgressBar1.position = 0;
    // An extent without a qualifying cell has no mesh to show.
    if (!hani.Found) return;
    Label22.caption = "ﾒｯｼｭｻｲｽﾞ : " +
                      cadlink::DxfFixed(shadow::FineCellSize(hani.Rect, in.Interval.RasterSize), 1);
}

}  // namespace pimu::app
