// The deemed boundary lines: the site outline selected on screen becomes edges, the boundary lines
// 5 m and 10 m outside it go into one DXF file without a TABLES section, which is inserted
// exploded at the origin.
#include <string>
#include <vector>

#include "app/form.h"
#include "app/undo_group.h"
#include "boundary/kyoukaisen.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/reader.h"
#include "cadlink/tables.h"
#include "geometry/acquisition.h"

namespace pimu::app {

namespace {

constexpr const char *kSelectSite = "敷地の線分、ポリラインを選択 : \r\n";
constexpr const char *kBoundaryFailed = "\r\nみなし境界線の作成に失敗しました.\r\n";
constexpr const char *kBoundaryLayer = "0";

// The boundary lines as closed POLYLINEs, the 5000 one first; no TABLES section.
cadlink::DxfText KyoukaisenDxf(const std::vector<boundary::KyoukaisenLine> &lines) {
    cadlink::DxfText sl;
    sl.Begin(cadlink::DxfTables::Omit);
    for (const boundary::KyoukaisenLine &line : lines) {
        std::vector<cadlink::DxfVertex> vertices;
        for (const boundary::KyoukaisenVertex &v : line.vertices) {
            cadlink::DxfVertex vertex{v.pt.x, v.pt.y};
            if (v.bulge) vertex.bulge = cadlink::DxfValue(*v.bulge);
            vertices.push_back(vertex);
        }
        sl.AddPolyline(kBoundaryLayer, vertices);
    }
    sl.Finish();
    return sl;
}

}  // namespace

int TForm1::SelectSiteLines(cadlink::IDocument &doc, geometry::EntityArrays &site) {
    // The site's lines, polylines, arcs, circles and ellipses; the building model stays as it is.
    int count = 0;
    MinimizedWindow minimized(host_);
    try {
        cadlink::SelectionSetPtr set = cadlink::GetSelectionSet(doc, cadlink::kPimuSelectionSet);
        try {
            doc.Utility().Prompt(kSelectSite);
            set->SelectOnScreen();
            count = cadlink::ReadEntities(*set, site);
        } catch (const cadlink::CadError &) {
            count = 0;  // a cancelled or failed selection gives nothing
        }
        try {
            set->Delete();
        } catch (const cadlink::CadError &) {
            // A set the CAD already dropped needs no deleting.
        }
    } catch (const cadlink::CadError &) {
        count = 0;
    }
    return count;
}

void TForm1::Button20Click() {
    if (!CadAvailable(false)) return;
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);

    geometry::EntityArrays site;
    if (SelectSiteLines(doc, site) <= 0) return;

    geometry::ConvertToEdges(site, geometry::CircleFit::Inside);
    // Not a long command: it has no stop button, and a site's outline is traced at once.
    const boundary::KyoukaisenResult result = boundary::MakeKyoukaisen(std::move(site.AryLine));
    switch (result.status) {
        case boundary::KyoukaisenStatus::TraceFailed:
            doc.Utility().Prompt(kBoundaryFailed);
            return;
        case boundary::KyoukaisenStatus::TooFewEdges:
        case boundary::KyoukaisenStatus::Stopped:
            return;
        case boundary::KyoukaisenStatus::Done:
            break;
    }
    cadlink::DxfText sl = KyoukaisenDxf(result.lines);
    const std::filesystem::path path = WriteDxf(sl, "PIMU_", doc);
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtOriginSplit,
                       path.string());
}

}  // namespace pimu::app
