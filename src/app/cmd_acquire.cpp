// The building acquisition and its history.
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>

#include "app/acquisition_history.h"
#include "app/form.h"
#include "base/quote.h"
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

// The longest list of entities a message names.
constexpr std::size_t kNamedEntities = 20;

// While the buildings are acquired no stop button is live; the front end may still be asked to
// stop (the command line's Ctrl-C). No window event is handled here.
class AcquisitionProgress : public Progress {
public:
    explicit AcquisitionProgress(UiHost &host) : host_(host) {}
    bool KeepRunning() override { return !host_.StopRequested(); }

private:
    UiHost &host_;
};

}  // namespace

std::string WithoutHeightMessage(const std::vector<geometry::HeightFinding> &findings,
                                 bool english) {
    using geometry::HeightFault;
    const auto any = [&](auto pred) { return std::any_of(findings.begin(), findings.end(), pred); };
    const bool negative =
        any([](const auto &f) { return f.Fault == HeightFault::NegativeThickness; });
    const bool height = any([](const auto &f) {
        return f.Fault == HeightFault::NoHeight || f.Fault == HeightFault::NegativeThickness;
    });
    const bool extent = any([](const auto &f) {
        return f.Fault != HeightFault::NoHeight && f.Fault != HeightFault::NegativeThickness;
    });
    const std::string n = std::to_string(findings.size());
    std::string text;
    if (english)
        text = (height && !extent   ? "no height above the ground in "
                : extent && !height ? "a size or place no site has in "
                                    : "no height, or a size or place no site has, in ") +
               n + (findings.size() == 1 ? " building entity:" : " building entities:");
    else
        text = std::string(height && !extent ? "高さのない"
                           : extent && !height
                               ? "敷地では有り得ない大きさ・位置の"
                               : "高さのない，または敷地では有り得ない大きさ・位置の") +
               "建物図形が " + n + " 個あります．";
    for (std::size_t i = 0; i < findings.size() && i < kNamedEntities; ++i) {
        const geometry::HeightFinding &f = findings[i];
        const std::string hand = f.Hand.empty() ? "?" : VisibleText(f.Hand, 20);
        const std::string layer = VisibleText(f.Layer, 60);
        const char *why = "";
        switch (f.Fault) {
            case HeightFault::NoHeight:
                why = english ? ": no thickness and nothing above z 0"
                              : "：厚みがなく高さ 0 以下です";
                break;
            case HeightFault::NegativeThickness:
                why = english ? ": negative thickness" : "：厚みが負です";
                break;
            case HeightFault::TooLarge:
                why = english ? ": wider than a site (10 km)" : "：敷地より大きい（10 km 超）です";
                break;
            case HeightFault::TooHigh:
                why = english ? ": higher or deeper than 2 km" : "：高さか深さが 2 km を超えます";
                break;
            case HeightFault::FarFromOthers:
                why = english ? ": more than 5 km from the middle of the others"
                              : "：他の建物の中心から 5 km 以上離れています";
                break;
        }
        text += english ? "\n  " + f.Kind + " handle " + hand + " on layer " + layer + why
                        : "\n  " + f.Kind + " ハンドル " + hand + " 画層 " + layer + why;
    }
    if (findings.size() > kNamedEntities) {
        const std::string more = std::to_string(findings.size() - kNamedEntities);
        text += english ? "\n  ... and " + more + " more" : "\n  ほか " + more + " 個";
    }
    if (english) {
        if (height) {
            text +=
                "\nPimu takes a building's height from the thickness of its outline (or the "
                "height it is drawn at): give each its height in drawing units (mm) as thickness "
                "(in the CAD: Properties > Thickness; in DXF: group code 39)";
            if (negative) text += ", and make a negative thickness the positive height";
            text += ", or leave it out of the building selection.";
        }
        if (extent)
            text +=
                "\nCheck the coordinates, radii and thicknesses of those beyond a site (drawing "
                "units are mm), or leave them out of the building selection.";
        text += " Nothing was computed.";
    } else {
        if (height) {
            text +=
                "\n建物の高さは外形線の厚み（または図形を描いた高さ）から取ります．各図形に高さ"
                "（mm）を厚みとして与えるか（CAD のプロパティの厚さ，DXF のグループコード 39）";
            if (negative) text += "，負の厚みを正の高さに直すか";
            text += "，建物の選択から外して下さい．";
        }
        if (extent)
            text +=
                "\n敷地を超える図形の座標・半径・厚み（単位 mm）を確かめるか，建物の選択から外し"
                "て下さい．";
        text += "計算は行っていません．";
    }
    return text;
}

bool TForm1::BuildingsHaveHeight() {
    if (BuildingsWithoutHeight.empty()) return true;
    ShowMessage(WithoutHeightMessage(BuildingsWithoutHeight));
    return false;
}

void TForm1::ClearAryEnt() {
    cadlink::ClearAryEnt(Entities);
}

void TForm1::AcquireFromEntities() {
    AcquisitionProgress progress(host_);
    geometry::AcquiredModel acquired = geometry::ConvertAcquisition(Entities, progress);
    ClearAryEnt();
    if (acquired.Stopped) return;
    Model = std::move(acquired.Model);
    BuildingsWithoutHeight = std::move(acquired.WithoutHeight);

    GB_cvsc = 0.0;
    SetUpDownPosition(UpDown4, 60);
    GB_Draw3dVdeg = 60;
    SetUpDownPosition(UpDown3, 315);
    GB_Draw3dHdeg = 315;
    DrawWaku3D(false, progress);
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
