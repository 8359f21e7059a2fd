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
#include "shadow/jikoku.h"
#include "shadow/shadow_bitmap.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_raster.h"
#include "solar/sun.h"
#include "solar/timetext.h"

namespace pimu::app {

namespace {

constexpr const char *kNoBaseData = "基準データが作成されていません．";
constexpr const char *kNothingChecked = "作成する等時間にチェックを入れて下さい．";
constexpr const char *kNoOutline = "指定された等時間の日影線はありません．";

// The inputs both the command and the preview count with.
struct ToujiRange {
    solar::SolarState sun;
    double h = 0.0;  // plane height, mm
    double t0 = 0.0;
    double t1 = 0.0;
    shadow::EvaluationInterval interval;
    int firstChecked = -2;  // -2 when no hour is checked
    std::array<bool, shadow::kHourItemCount> checked{};
};

int FirstChecked(const TCheckListBox &list) {
    for (std::size_t i = 0; i < list.checked.size() && i < shadow::kHourItemCount; ++i)
        if (list.checked[i]) return static_cast<int>(i);
    return -2;
}

// A time range the diagram cannot be made for; what() is the message for the user.
class RangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Hours(double v) {
    return cadlink::DxfNumber(v);
}

// Reads the tab's fields into the GB_ copies and the solar state. A field that is not a number
// throws InputError; a range the sun cannot be computed for throws RangeError: counting
// instants with a made-up sun would draw plainly wrong lines.
ToujiRange ReadToujiRange(TForm1 &f) {
    f.Longitude = ParseNumber(f.Edit43.text, "経度");
    f.UseStdTime = f.CheckBox13.checked;
    f.EqOfTime = ParseNumber(f.Edit44.text, "均時差");
    f.GB_kita = ParseNumber(f.Edit12.text, "真北");
    f.GB_idodo = ParseNumber(f.Edit3.text, "緯度（度）");
    f.GB_idohun = ParseNumber(f.Edit5.text, "緯度（分）");
    f.GB_idobyou = ParseNumber(f.Edit23.text, "緯度（秒）");
    f.GB_takasa = ParseNumber(f.Edit4.text, "測定面の高さ") * 1000.0;
    f.GB_kaisi = ParseNumber(f.Edit2.text, "時刻（開始）");
    f.GB_owari = ParseNumber(f.Edit7.text, "時刻（終了）");
    if (!(f.GB_kaisi < f.GB_owari))
        throw RangeError("終了時刻は開始時刻より後にして下さい．（" + f.Edit2.text + " ～ " +
                         f.Edit7.text + "）");
    if (f.GB_kaisi < solar::kFirstSunTime || f.GB_owari > solar::kLastSunTime)
        throw RangeError("時刻は " + Hours(solar::kFirstSunTime) + " ～ " +
                         Hours(solar::kLastSunTime) + " 時の範囲で指定して下さい．（" +
                         f.Edit2.text + " ～ " + f.Edit7.text + "）");
    f.RadioGroup1Click();
    f.GB_kisetu = f.RadioGroup1.itemIndex;

    ToujiRange r;
    r.sun =
        solar::MakeSolarState(solar::LatitudeDegrees(f.GB_idodo, f.GB_idohun, f.GB_idobyou),
                              f.Declination, f.GB_kita, {f.UseStdTime, f.Longitude, f.EqOfTime});
    r.h = f.GB_takasa;
    r.t0 = f.GB_kaisi;
    r.t1 = f.GB_owari;
    // No interval chosen: the coarsest pair of the tables (640 cells, 120 seconds).
    r.interval = shadow::EvaluationIntervalFor(f.RadioGroup5.itemIndex, f.CheckBox2.checked);
    r.firstChecked = FirstChecked(f.CheckListBox1);
    for (std::size_t i = 0; i < f.CheckListBox1.checked.size() && i < r.checked.size(); ++i)
        r.checked[i] = f.CheckListBox1.checked[i];
    return r;
}

// The extent pass drives the progress bar; it cannot be stopped.
class ExtentProgress : public shadow::PassProgress {
public:
    explicit ExtentProgress(TForm1 &form) : form_(form) {}
    void Start(int maximum) override { form_.ProgressStart(maximum); }
    bool Instant(int index, double) override {
        form_.ProgressBar1.position = std::min(index + 1, form_.ProgressBar1.max);
        form_.Host().ProcessPendingEvents();
        return true;
    }

private:
    TForm1 &form_;
};

// The fine pass shows each instant's time and stops at the next instant once RunFlag is cleared.
class FineProgress : public shadow::PassProgress {
public:
    explicit FineProgress(TForm1 &form) : form_(form) {}
    void Start(int maximum) override { form_.ProgressStart(maximum); }
    bool Instant(int index, double time) override {
        form_.Label2.caption = "時刻：" + solar::FormatHM(time);
        form_.ProgressBar1.position = std::min(index + 1, form_.ProgressBar1.max);
        form_.Host().ProcessPendingEvents();
        if (form_.RunFlag) return true;
        form_.RunEsc();
        return false;
    }

private:
    TForm1 &form_;
};

std::string ElapsedText(TForm1 &form, std::chrono::steady_clock::time_point start) {
    const double seconds = std::chrono::duration<double>(form.ElapsedClock() - start).count();
    return solar::FormatClock(std::max(seconds, 0.0) / 3600.0);
}

class HourProgress : public shadow::ContourProgress {
public:
    HourProgress(TForm1 &form, std::chrono::steady_clock::time_point start)
        : form_(form), start_(start) {}
    void Start(int maximum) override { form_.ProgressStart(maximum); }
    void Position(int position) override {
        form_.ProgressBar1.position = std::min(position, form_.ProgressBar1.max);
    }
    void Status(const std::string &text) override {
        form_.Label2.caption = text;
        form_.Host().ProcessPendingEvents();
    }
    bool KeepRunning() override {
        form_.Host().ProcessPendingEvents();
        if (form_.RunFlag) return true;
        form_.RunEsc();
        return false;
    }
    void Message(const shadow::ContourMessage &message) override {
        form_.Host().MessageBox("Form1", message.Caption, message.Text, MessageButtons::Ok);
    }
    void HourFinished(int) override {
        form_.Label2.caption = "経過時間：" + ElapsedText(form_, start_);
    }

private:
    TForm1 &form_;
    std::chrono::steady_clock::time_point start_;
};

// Counting threads: the sums are the same whichever thread counted an instant, and two share
// the painting well on the machines this runs on.
int CountingThreads() {
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

// An outline's label: the item text in the hour's colour, left-aligned and without elevation.
void AddHourLabel(cadlink::DxfText &sl, const std::string &layer, const shadow::ToujiOutline &o,
                  const cadlink::DxfValue &height) {
    sl.Add("  0\r\nTEXT\r\n  8\r\n" + layer);
    sl.Add(" 62\r\n" + std::to_string(o.Color));
    sl.Add(" 10\r\n" + cadlink::DxfNumber(o.Label.x));
    sl.Add(" 20\r\n" + cadlink::DxfNumber(o.Label.y));
    sl.Add(" 40\r\n" + height.Text());
    sl.Add("  1\r\n" + cadlink::CleanText(o.ItemText));
    sl.Add(" 41\r\n0.8");
}

}  // namespace

void TForm1::Button6Click() {
    ProgressDetail = false;
    Label2.caption.clear();
    if (Model.Empty()) {
        ShowMessage(kNoBaseData);
        return;
    }
    if (!CadAvailable(true)) return;
    DrawToujikan5A();
}

void TForm1::RadioGroup5Click() {
    CheckListBox1Click();
}

void TForm1::DrawToujikan5A() {
    if (Model.Empty() || !CadAvailable(false)) return;

    // Everything typed is read and checked before the drawing is touched.
    ToujiRange in;
    std::string layer;
    cadlink::DxfValue textHeight = 0.0;
    try {
        in = ReadToujiRange(*this);
        layer = std::string(cadlink::CheckedLayer(Edit28.text));
        textHeight = cadlink::DxfValue::FieldText(Edit38.text, "文字高さ");
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return;
    }
    if (in.firstChecked < 0) {
        ShowMessage(kNothingChecked);
        return;
    }
    shadow::ContourSettings settings;
    settings.Checked = in.checked;
    settings.StepMinutes = in.interval.StepMinutes();
    settings.StartHour = in.t0;
    settings.EndHour = in.t1;
    settings.Smoothing = CheckBox8.checked;
    settings.SmoothingFactor = UpDown5.position;
    settings.TrueNorthDegrees = GB_kita;

    BusyScope busy(*this, LongCommand::Isochrone);
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    try {
        cadlink::EnsureLayer(doc, layer);
        const auto started = ElapsedClock();

        shadow::Extent pimuHani;
        shadow::GetPimuHani(Model, in.sun, in.h, in.t0, in.t1, pimuHani.XMin, pimuHani.YMin,
                            pimuHani.XMax, pimuHani.YMax);
        ExtentProgress extentProgress(*this);
        const shadow::ToujiHani hani = shadow::GetToujiHani(
            Model.AryTatemono, in.sun, in.h, in.t0, in.t1, shadow::ReferenceHour(in.firstChecked),
            pimuHani, CountGrid(), &extentProgress);
        ProgressBar1.position = 0;
        if (!RunFlag) {  // stopped while the extent was found
            RunEsc();
            undo.Close();
            return;
        }
        if (!hani.Found) {
            undo.Close();
            ShowMessage(kNoOutline);
            return;
        }

        cadlink::DxfText sl;
        sl.Begin();

        FineProgress fineProgress(*this);
        shadow::RasterGeometry raster;
        const shadow::PassSummary counted =
            shadow::CountFinePass(Model.AryTatemono, in.sun, hani.Rect, in.h,
                                  in.interval.RasterSize, in.interval.StepMinutes(), in.t0, in.t1,
                                  CountGrid(), &fineProgress, raster, CountingThreads());
        ProgressBar1.position = 0;
        if (counted.Stopped || !RunFlag) {
            undo.Close();
            return;
        }
        Label2.caption = "経過時間：" + ElapsedText(*this, started);

        const shadow::ContourRun run = TraceToujiHours(raster, settings, started);
        if (run.Stopped || !RunFlag) {
            undo.Close();
            return;
        }

        if (counted.SkippedNoSun > 0)
            ShowMessage("太陽が地平線より下にある時刻（" + std::to_string(counted.SkippedNoSun) +
                        " 回）は日影時間に数えていません．");
        if (run.Outlines.empty()) {
            undo.Close();
            ShowMessage(kNoOutline);
            return;
        }
        for (const shadow::ToujiOutline &o : run.Outlines) {
            cadlink::DxfPolylineStyle style;
            style.closed = true;
            style.colour = o.Color;
            style.elevation = cadlink::DxfValue(in.h);
            sl.AddPolyline(layer, o.Points, style);
            AddHourLabel(sl, layer, o, textHeight);
        }
        const std::string mesh = cadlink::DxfFixed(raster.Cell, 1);
        Label2.caption = "所要時間 : " + ElapsedText(*this, started);
        Label22.caption = "ﾒｯｼｭｻｲｽﾞ : " + mesh;
        sl.AddText(layer, {hani.Rect.XMin, hani.Rect.YMin, 0.0, textHeight, mesh + " mm/mesh"});
        const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);
        cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtOriginLowerS,
                           path.string());
        undo.Close();
    } catch (...) {
        ProgressBar1.position = 0;
        undo.Close();
        throw;
    }
}

shadow::ContourRun TForm1::TraceToujiHours(const shadow::RasterGeometry &raster,
                                           const shadow::ContourSettings &settings,
                                           std::chrono::steady_clock::time_point started) {
    shadow::ShadowBitmap bitmap(raster.N);
    HourProgress progress(*this, started);
    shadow::ContourRun run =
        shadow::TraceToujiContours(CountGrid(), raster, bitmap, settings, progress);
    ProgressBar1.position = 0;
    return run;
}

void TForm1::CheckListBox1Click() {
    if (!Button6.enabled || Model.Empty()) return;
    const int first = FirstChecked(CheckListBox1);
    if (first == GB_toujiidx && GB_hyoukaidx == RadioGroup5.itemIndex) return;
    Label22.caption.clear();
    Label2.caption.clear();
    GB_toujiidx = first;
    GB_hyoukaidx = RadioGroup5.itemIndex;
    ToujiRange in;
    try {
        in = ReadToujiRange(*this);
    } catch (const std::exception &) {
        // The command itself tells what is wrong; the preview just shows nothing, and runs again
        // at the next click.
        GB_toujiidx = -1;
        return;
    }
    shadow::Extent pimuHani;
    shadow::GetPimuHani(Model, in.sun, in.h, in.t0, in.t1, pimuHani.XMin, pimuHani.YMin,
                        pimuHani.XMax, pimuHani.YMax);
    ExtentProgress progress(*this);
    const shadow::ToujiHani hani = shadow::GetToujiHani(
        Model.AryTatemono, in.sun, in.h, in.t0, in.t1, shadow::ReferenceHour(in.firstChecked),
        pimuHani, CountGrid(), &progress);
    ProgressBar1.position = 0;
    // An extent without a qualifying cell has no mesh to show.
    if (!hani.Found) return;
    Label22.caption = "ﾒｯｼｭｻｲｽﾞ : " +
                      cadlink::DxfFixed(shadow::FineCellSize(hani.Rect, in.interval.RasterSize), 1);
}

}  // namespace pimu::app
