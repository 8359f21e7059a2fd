// The wall command: the user picks a wall line in the CAD; an elevation of the wall with its
// frame, the shadow outline of every time step and the wall isochrones is written as one DXF file
// and inserted lying along the wall line or where the user places it.
#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/form.h"
#include "app/undo_group.h"
#include "base/ascii.h"
#include "base/numconv.h"
#include "cadlink/connection.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "shadow/jikoku.h"
#include "shadow/wall.h"
#include "solar/sun.h"
#include "solar/timetext.h"

namespace pimu::app {

// Every field the wall command reads, read and checked before the drawing is touched.
struct WallFields {
    CommonFields common;
    shadow::WallLineInputs lines;
    shadow::WallToujiInputs touji;
    std::string frameLayer;              // Edit30
    std::string linesLayer;              // Edit31
    std::string toujiLayer;              // Edit29
    cadlink::DxfValue textHeight = 0.0;  // Edit38 as typed
};

namespace {

constexpr const char *kNoModel = "建物の図形が取得されていません．";
constexpr const char *kPickPrompt = "壁面の線分を選択して下さい : ";
constexpr const char *kPickFailed = "線分取得失敗\r\n";
constexpr const char *kPicked = "線分が選択されました.\r\n";
constexpr const char *kNotALine = "線分ではありません.\r\n";
constexpr const char *kNoMesh = "壁面等時間は作成できません．";
constexpr const char *kNoMeshCaption = "Pimu.exe";
constexpr const char *kExplodeFailed = " の分解、パージに失敗しました．";

// The wall isochrones' side of the progress: the counting shows each instant's time, the hour
// loop each hour, in Label26. A stop runs RunEsc.
class WallProgress : public FormProgress {
public:
    explicit WallProgress(TForm1 &form) : FormProgress(form, true) {}
    void Start(int maximum) override {
        ++phase_;
        FormProgress::Start(maximum);
    }
    void Status(const std::string &text) override {
        form_.Label26.caption = (phase_ <= 1 ? "時刻：" : "時間：") + text;
        if (phase_ > 1) form_.Host().ProcessPendingEvents();
    }

private:
    int phase_ = 0;
};

int CountingThreads() {
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

std::string ElapsedText(TForm1 &form, std::chrono::steady_clock::time_point start) {
    const double seconds = std::chrono::duration<double>(form.ElapsedClock() - start).count();
    return solar::FormatClock(std::max(seconds, 0.0) / 3600.0);
}

// The picked entity's line, when it is one.
std::optional<geometry::TLineEnt> PickedLine(cadlink::IEntity &e) {
    if (e.EntityName() != "AcDbLine") return std::nullopt;
    geometry::TLineEnt l;
    l.st = e.StartPoint();
    l.ed = e.EndPoint();
    l.atumi = e.Thickness();
    return l;
}

}  // namespace

void TForm1::Button5Click() {
    ProgressDetail = false;
    if (!CadAvailable(true)) return;
    if (Model.Empty()) {
        ShowMessage(kNoModel);
        return;
    }
    if (!BuildingsHaveHeight()) return;

    WallFields fields;
    try {
        fields.common = ReadCommonFields();
        fields.lines.Start = fields.common.Start;
        fields.lines.End = fields.common.End;
        fields.lines.Interval = ParseNumber(Edit11.text, "間隔");
        fields.frameLayer = std::string(cadlink::CheckedLayer(Edit30.text));
        fields.linesLayer = std::string(cadlink::CheckedLayer(Edit31.text));
        fields.toujiLayer = std::string(cadlink::CheckedLayer(Edit29.text));
        fields.textHeight = cadlink::DxfValue::FieldText(Edit38.text, "文字高さ");
        fields.lines.TextHeight = ParseNumber(Edit38.text, "文字高さ");
        const int interval = RadioGroup6.itemIndex;
        if (interval < -1 || interval >= static_cast<int>(RadioGroup6.items.size()))
            throw FieldRangeError("壁面の評価時間の番号 " + std::to_string(interval) +
                                  " は選べません（0 ～ " +
                                  std::to_string(RadioGroup6.items.size() - 1) +
                                  "）．設定 Touji/kankaku3 を確かめて下さい．");
        fields.touji.Interval = shadow::EvaluationIntervalFor(interval, false);
        fields.touji.Start = fields.common.Start;
        fields.touji.End = fields.common.End;
        fields.touji.SmoothingFactor = UpDown5.position;
        fields.touji.TextHeight = fields.lines.TextHeight;
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return;
    }
    shadow::JikokuInputs check{fields.lines.Start, fields.lines.End, fields.lines.Interval, 0.0};
    int instants = 0;
    if (const shadow::JikokuCheck c = shadow::CheckJikokuInputs(check, instants);
        c != shadow::JikokuCheck::Ok) {
        ShowMessage(JikokuCheckMessage(c));
        return;
    }

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    cadlink::EntityPtr picked;
    {
        MinimizedWindow minimized(host_);
        int snap = 0;
        try {
            const cadlink::SysValue v = doc.GetVariable("SNAPMODE");
            if (const int *i = std::get_if<int>(&v)) snap = *i;
            doc.SetVariable("SNAPMODE", 0);
        } catch (const cadlink::CadError &) {
            // A CAD without snap settings picks all the same.
        }
        try {
            picked = doc.Utility().GetEntity(kPickPrompt).first;
        } catch (const cadlink::CadError &) {
            doc.Utility().Prompt(kPickFailed);
        }
        if (snap == 1) {
            try {
                doc.SetVariable("SNAPMODE", 1);
            } catch (const cadlink::CadError &) {
            }
        }
    }
    if (!picked) return;
    // The highlight of the pick goes off however the command ends.
    struct Unhighlight {
        cadlink::EntityPtr entity;
        ~Unhighlight() {
            try {
                entity->Highlight(false);
            } catch (...) {
            }
        }
    } unhighlight{picked};
    const std::optional<geometry::TLineEnt> line = PickedLine(*picked);
    if (!line) {
        doc.Utility().Prompt(kNotALine);  // the pick said nothing else
        return;
    }
    doc.Utility().Prompt(kPicked);
    ClearAryEnt();
    const std::optional<shadow::WallLine> wall = shadow::MakeWallLine(*line, Model);
    if (!wall) return;
    WallLine = *wall;

    BusyScope busy(*this, LongCommand::Isochrone);
    cadlink::EnsureDashedLinetype(*app, {ProgID, cad_->Sleeper(), cad_->Desktop(),
                                         [this](const std::string &text) { ShowMessage(text); }});
    for (const std::string &layer : {fields.frameLayer, fields.toujiLayer, fields.linesLayer})
        cadlink::EnsureLayer(doc, layer);
    cadlink::DxfText sl;
    sl.Begin();
    if (!DrawKabeLine(sl, fields) || !DrawKabeTouji(sl, fields)) return;
    const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);

    if (CheckBox4.checked) {
        cadlink::InsertArgs args;
        args.x = WallLine.st.x;
        args.y = WallLine.st.y;
        args.angle = cadlink::FormatCommandNumber(geometry::Angle2D(WallLine.st, WallLine.ed) *
                                                  geometry::kRadToDeg);
        cadlink::InsertDxf(InsertContextFor(*app),
                           CheckBox12.checked ? cadlink::InsertForm::BlockAtPointRotated
                                              : cadlink::InsertForm::ExplodedAtPointRotated,
                           path.string(), args);
        return;
    }

    // Placed by the user: kept as a block with CheckBox12, else exploded and purged.
    cadlink::InsertArgs args;
    args.angle = "0.0";
    args.keepPlacedBlock = CheckBox12.checked;
    cadlink::InsertPlacement placement;
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::PlacedByUser, path.string(),
                       args, &placement);
    doc.Regen(0);
    if (!placement.explodeFailed.empty()) ShowMessage(placement.explodeFailed + kExplodeFailed);
}

bool TForm1::DrawKabeLine(cadlink::DxfText &sl, const WallFields &fields) {
    if (Model.Empty()) return false;
    const double len = shadow::WallLength(WallLine), h = shadow::WallHeight(WallLine);
    const cadlink::DxfValue zero = cadlink::DxfValue::Fixed(0.0, 1);
    for (const shadow::WallFrameLine &l : shadow::WallFrameLines(len, h, CheckBox4.checked)) {
        cadlink::DxfLineStyle style;
        style.colour = 251;
        style.hidden = l.dashed;
        if (l.vertical)
            sl.AddLine(fields.frameLayer, l.st.x, zero, l.ed.x, l.ed.y, style);
        else
            sl.AddLine(fields.frameLayer, zero, l.st.y, l.ed.x, l.ed.y, style);
    }

    // The shadow lines stop with the stop button too: a stop here ends the whole command.
    FormProgress progress(*this, true);
    const geometry::BuildingModel model = ShadowModel();
    const shadow::WallShadowLines lines = shadow::ComputeWallShadowLines(
        model.AryTatemono, WallLine, fields.common.Sun, fields.lines, progress, model.Volumes);
    ProgressBar1.position = 0;
    if (lines.Stopped || !RunFlag) return false;
    for (const shadow::WallInstant &instant : lines.Instants) {
        const std::string label = solar::FormatHM(instant.Time);
        cadlink::DxfPolylineStyle style;
        style.closed = false;
        style.hidden = !instant.WholeHour;
        for (const auto &outline : instant.Outlines) {
            for (const shadow::WallChain &c : outline) {
                sl.AddPolyline(fields.linesLayer, c.Points, style);
                cadlink::DxfTextItem text{c.Label.x, c.Label.y, 0.0, fields.textHeight, label};
                text.writeZ = false;
                text.rotation = cadlink::DxfValue::Fixed(0.0, 1);
                text.align = cadlink::DxfTextAlign{
                    c.Label.x, c.Label.y, 0.0, cadlink::DxfHAlign::Left, cadlink::DxfVAlign::Top};
                sl.AddText(fields.linesLayer, text);
            }
        }
    }
    return true;
}

bool TForm1::DrawKabeTouji(cadlink::DxfText &sl, const WallFields &fields) {
    if (Model.Empty() || !CadAvailable(false)) return false;
    const auto started = ElapsedClock();
    RunFlag = true;
    WallProgress progress(*this);
    const geometry::BuildingModel model = ShadowModel();
    const shadow::WallTouji t =
        shadow::ComputeWallTouji(model.AryTatemono, WallLine, fields.common.Sun, fields.touji,
                                 CountGrid(), progress, CountingThreads(), model.Volumes);
    ProgressBar1.position = 0;
    if (t.Status == shadow::WallToujiStatus::NoMesh) {
        Label24.caption = "ﾒｯｼｭｻｲｽﾞ :" + cadlink::DxfFixed(0.0, 1);
        host_.MessageBox("Form1", kNoMeshCaption, kNoMesh, MessageButtons::Ok);
        return false;
    }
    if (t.Status != shadow::WallToujiStatus::Done || !RunFlag) return false;
    for (const shadow::WallHourLines &hour : t.Hours) {
        cadlink::DxfPolylineStyle style;
        style.closed = false;
        style.colour = hour.Hour;
        for (const auto &outline : hour.Outlines) {
            for (const shadow::WallChain &c : outline) {
                sl.AddPolyline(fields.toujiLayer, c.Points, style);
                cadlink::DxfTextItem text{c.Label.x, c.Label.y, 0.0, fields.textHeight, hour.Label};
                text.writeZ = false;
                text.colour = hour.Hour;
                text.rotation = cadlink::DxfValue::Fixed(c.LabelAngle * geometry::kRadToDeg, 4);
                sl.AddText(fields.toujiLayer, text);
            }
        }
    }
    Label26.caption = "所要時間 : " + ElapsedText(*this, started);
    Label24.caption = "ﾒｯｼｭｻｲｽﾞ : " + cadlink::DxfFixed(t.Raster.Cell, 1);
    return true;
}

}  // namespace pimu::app
