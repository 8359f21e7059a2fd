// The building acquisition and its history.
#include <filesystem>
#include <string>
#include <utility>

#include "app/acquisition_history.h"
#include "app/form.h"
#include "cadlink/reader.h"
#include "cadlink/tables.h"
#include "geometry/acquisition.h"

namespace pimu::app {

namespace {

constexpr const char *kSelectPrompt = "建物図形を選択して下さい.\r\n";
constexpr const char *kNothingSelected = "何も選択されませんでした.\r\n";
constexpr const char *kSelected = "図形が選択されました.\r\n";
constexpr const char *kSelectFailed = "選択処理失敗";
constexpr const char *kHistoryNotSaved = "取得した図形を履歴に保存できませんでした．\n";
constexpr const char *kHistoryNotRead = "取得履歴の図形を読み込めませんでした．\n";

}  // namespace

void TForm1::ClearAryEnt() {
    cadlink::ClearAryEnt(Entities);
}

void TForm1::AcquireFromEntities() {
    geometry::AcquiredModel acquired = geometry::ConvertAcquisition(Entities);
    ClearAryEnt();
    Model = std::move(acquired.Model);
    const bool negative = acquired.NegativeCoordinate;

    GB_cvsc = 0.0;
    SetUpDownPosition(UpDown4, 60);
    GB_Draw3dVdeg = 60;
    SetUpDownPosition(UpDown3, 315);
    GB_Draw3dHdeg = 315;
    DrawWaku3D(false);

    if (negative) ShowMessage(kNegativeCoordinateMessage);
}

void TForm1::StoreAcquisitionHistory() {
    // The new file is complete before the old ones move, so a failed save loses no history.
    const std::filesystem::path now = paths_.File(kAcquiredNowFile);
    const std::filesystem::path before = paths_.File(kAcquiredBeforeFile);
    const std::filesystem::path fresh = paths_.File(std::string(kAcquiredNowFile) + ".new");
    try {
        SaveAcquiredEntities(Entities, fresh);
        if (std::filesystem::exists(now)) std::filesystem::rename(now, before);
        std::filesystem::rename(fresh, now);
    } catch (const std::exception &e) {
        std::error_code ec;
        std::filesystem::remove(fresh, ec);
        ShowMessage(std::string(kHistoryNotSaved) + e.what());
    }
}

void TForm1::Button2Click() {
    ProgressDetail = false;
    Label22.caption.clear();
    Label2.caption.clear();
    GB_hyoukaidx = -1;
    GB_toujiidx = -1;
    if (!CadAvailable(true)) return;

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    cadlink::SelectionSetPtr set = cadlink::GetSelectionSet(doc, cadlink::kPimuSelectionSet);

    try {
        {
            // Out of the user's way while the buildings are selected in the CAD.
            MinimizedWindow minimized(host_);
            doc.Utility().Prompt(kSelectPrompt);
            try {
                set->SelectOnScreen();
            } catch (const cadlink::CadError &) {
                ShowMessage(kSelectFailed);
            }
            cad_->Sleeper().Sleep(200);
        }

        if (set->Count() == 0) {
            doc.Utility().Prompt(kNothingSelected);
        } else {
            doc.Utility().Prompt(kSelected);
            cad_->Sleeper().Sleep(200);
            cadlink::ReadEntities(*set, Entities);
            StoreAcquisitionHistory();
            AcquireFromEntities();
        }
    } catch (const std::exception &e) {
        // The commands are given back all the same; the user learns why nothing changed.
        ShowMessage(e.what());
    }

    EnableAfterAcquisition();
    try {
        set->Delete();
    } catch (const cadlink::CadError &) {
        // A set the CAD already dropped needs no deleting.
    }
}

void TForm1::TakeHistoryDrawing(const char *file) {
    ProgressDetail = false;
    Label22.caption.clear();
    Label2.caption.clear();
    GB_hyoukaidx = -1;
    GB_toujiidx = -1;
    try {
        Entities = LoadAcquiredEntities(paths_.File(file));
    } catch (const std::exception &e) {
        ShowMessage(std::string(kHistoryNotRead) + e.what());
        return;
    }
    AcquireFromEntities();
    SetEnabled({&Button3, &Button17, &Button8, &Button9, &Button11, &Button4, &Button5, &Button6},
               true);
}

void TForm1::N8Click() {
    TakeHistoryDrawing(kAcquiredNowFile);
}

void TForm1::N6Click() {
    TakeHistoryDrawing(kAcquiredBeforeFile);
}

}  // namespace pimu::app
