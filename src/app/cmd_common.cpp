// What the drawing commands share: attaching to the CAD, the insertion context, writing a DXF
// file beside the program, and the isochronal raster.
#include "app/form.h"
#include "cadlink/connection.h"
#include "cadlink/dxfoutput.h"

namespace pimu::app {

cadlink::ApplicationPtr TForm1::AttachCad() {
    if (!cad_) throw cadlink::CadError("No CAD link");
    cadlink::ApplicationPtr app = cad_->GetCadApplication(ProgID);
    cadlink::BringCadForward(*app, cad_->Desktop(), cad_->Sleeper());
    return app;
}

cadlink::InsertContext TForm1::InsertContextFor(cadlink::IApplication &app) {
    return {app,
            ProgID,
            cad_->Sleeper(),
            [this] {
                host_.ProcessPendingEvents();
                return !RunFlag;
            },
            [this] { host_.MinimizeMainWindow(); },
            [this] { host_.RestoreMainWindow(); }};
}

std::filesystem::path TForm1::WriteDxf(cadlink::DxfText &list, std::string_view prefix,
                                       cadlink::IDocument &doc) {
    return cadlink::WriteDxfFile(list, prefix, doc, paths_.programFolder, cad_->Sleeper());
}

shadow::ShadowCountGrid &TForm1::CountGrid() {
    if (!countGrid_) countGrid_ = std::make_unique<shadow::ShadowCountGrid>();
    return *countGrid_;
}

}  // namespace pimu::app
