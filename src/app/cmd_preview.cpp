// The wireframe preview of the building model and the true-north pick.
#include <string>
#include <utility>

#include "app/form.h"
#include "app/undo_group.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "geometry/tolerances.h"
#include "geometry/wireframe.h"

namespace pimu::app {

namespace {

constexpr const char *kNorthPrompt = "真北の方向（角度）を指示 : ";
constexpr const char *kNorthResult = "指示された角度 : ";

}  // namespace

void TForm1::DrawWaku3D(bool makeDxf, Progress &progress) {
    const geometry::Wireframe wire =
        geometry::ProjectWireframe(Model.AryTatemono, GB_Draw3dHdeg, GB_Draw3dVdeg,
                                   CheckBox1.enabled && CheckBox1.checked, progress);
    if (wire.Empty()) {
        Image2Picture = geometry::PreviewPicture{};
        return;
    }
    geometry::PreviewScale scale{GB_cvsc, GB_xcen, GB_ycen};
    geometry::PreviewPicture picture = geometry::PaintWireframe(wire, scale, progress);
    if (picture.stopped) {
        Image2Picture = geometry::PreviewPicture{};
        return;
    }
    Image2Picture = std::move(picture);
    GB_cvsc = scale.cvsc;
    GB_xcen = scale.xcen;
    GB_ycen = scale.ycen;

    if (!makeDxf || !CadAvailable(false)) return;
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    cadlink::BlockPtr block = cadlink::NewBlock(doc, "PIMU_");
    for (const geometry::ProjectedSegment &s : wire.segments) {
        cadlink::EntityPtr line = block->AddLine({s.p1.x - wire.xmin, s.p1.y - wire.ymin, 0.0},
                                                 {s.p2.x - wire.xmin, s.p2.y - wire.ymin, 0.0});
        line->SetColor(geometry::PreviewColourIndex(s.kind));
    }
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::BlockPlacedByUser,
                       block->Name());
}

namespace {

int NextAngle(int deg, UpDownButton button) {
    if (button == UpDownButton::Next) return deg < 360 ? deg + 5 : 0;
    return deg < 1 ? 360 : deg - 5;
}

}  // namespace

void TForm1::UpDown3Click(UpDownButton button) {
    GB_Draw3dHdeg = NextAngle(GB_Draw3dHdeg, button);
    if (HasBuildingModel()) DrawWaku3D(false);
}

void TForm1::UpDown4Click(UpDownButton button) {
    GB_Draw3dVdeg = NextAngle(GB_Draw3dVdeg, button);
    if (HasBuildingModel()) DrawWaku3D(false);
}

void TForm1::CheckBox1Click() {
    GB_cvsc = 0.0;
    if (HasBuildingModel()) DrawWaku3D(false);
}

void TForm1::SpeedButton2Click() {
    if (HasBuildingModel() && CadAvailable(false)) DrawWaku3D(true);
}

void TForm1::SpeedButton1Click() {
    if (!CadAvailable(false)) return;
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    doc.SetVariable("BLIPMODE", 1);
    Workspace.TempPoints.clear();
    // A cancelled pick must not leave the CAD with blips on or the window minimised.
    struct Framing {
        cadlink::IDocument &doc;
        std::vector<geometry::TTempPoint> &points;
        ~Framing() {
            points.clear();
            try {
                doc.SetVariable("BLIPMODE", 0);
            } catch (...) {
                // The pick's outcome stands even if the CAD refuses the variable now.
            }
        }
    } framing{doc, Workspace.TempPoints};
    MinimizedWindow minimized(host_);
    double radians = 0.0;
    try {
        radians = doc.Utility().GetAngle(std::nullopt, kNorthPrompt);
    } catch (const cadlink::CadError &) {
        return;  // cancelled: true north unchanged
    }
    const std::string text = cadlink::DxfFixed(radians * geometry::kRadToDeg, 4);
    Edit12.text = text;
    doc.Utility().Prompt(kNorthResult + text + "\r\n");
}

}  // namespace pimu::app
