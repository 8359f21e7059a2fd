// The 影倍率 tab: the shadow ratio table of the winter solstice at the set latitude, as text in
// Memo1 and drawn into the CAD as a ruled table the user places.
#include "app/form.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "solar/ratiotable.h"

namespace pimu::app {

void TForm1::SpeedButton3Click() {
    solar::RatioTableOptions options;
    options.UseDms = CheckBox14.checked;
    options.ThreeDecimals = CheckBox15.checked;
    // Read before Memo1 is touched, so a latitude that is not a number leaves it as it was.
    const double latitude = ReadLatitude();
    WarnOutsideJapan(latitude);
    // In degrees, minutes and seconds the title shows the latitude as typed.
    Results.ratioTable = solar::RatioTableLines(
        latitude, Edit3.text + "°" + Edit5.text + "′" + Edit23.text + "″", options);
    Memo1.lines = Results.ratioTable;
}

void TForm1::CheckBox14Click() {
    SpeedButton3Click();
}

void TForm1::CheckBox15Click() {
    SpeedButton3Click();
}

void TForm1::SpeedButton5Click() {
    double th = 300.0;
    if (!TryParseNumber(Edit38.text, th)) th = 300.0;
    if (!CadAvailable(false)) return;

    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    {
        cadlink::BlockPtr block = cadlink::NewBlock(doc, "PIMU_");
        geometry::TAcadPoint p{0.0, 0.0, 0.0};
        for (std::size_t i = 0; i < Memo1.lines.size(); ++i) {
            const std::string &line = Memo1.lines[i];
            std::size_t start = 0;
            for (int j = 0;; ++j) {
                const std::size_t tab = line.find('\t', start);
                const std::string field =
                    line.substr(start, tab == std::string::npos ? tab : tab - start);
                cadlink::EntityPtr text = block->AddText(field, p, th);
                text->SetInsertionPoint(p);
                if (i > 0) text->SetScaleFactor(0.8);
                cadlink::TextAlignment alignment = cadlink::TextAlignment::MiddleRight;
                double x = p.x + 6.0 * th;
                if (i == 0) {
                    alignment = cadlink::TextAlignment::MiddleLeft;
                    x = p.x + th;
                } else if (i == 1) {
                    alignment = cadlink::TextAlignment::MiddleCenter;
                    x = p.x + 4.0 * th;
                } else if (j == 1 || j == 2) {
                    x = p.x + 7.0 * th;
                }
                text->SetAlignment(alignment);
                text->SetTextAlignmentPoint({x, p.y, 0.0});
                if (i == 1) block->AddLine({p.x, -th, 0.0}, {p.x, -37.0 * th, 0.0});
                p.x += 8.0 * th;
                if (tab == std::string::npos) break;
                start = tab + 1;
            }
            if (i > 0) block->AddLine({0.0, p.y + th, 0.0}, {48.0 * th, p.y + th, 0.0});
            p.x = 0.0;
            p.y -= 2.0 * th;
        }
        block->AddLine({0.0, p.y + th, 0.0}, {48.0 * th, p.y + th, 0.0});
        block->AddLine({48.0 * th, -th, 0.0}, {48.0 * th, -37.0 * th, 0.0});
        cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::BlockPlacedByUser,
                           block->Name());
    }
}

}  // namespace pimu::app
