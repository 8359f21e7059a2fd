// The 影倍率 tab: the shadow ratio table of the winter solstice at the set latitude.
#include "app/form.h"
#include "solar/ratiotable.h"

namespace pimu::app {

void TForm1::SpeedButton3Click() {
    solar::RatioTableOptions options;
    options.UseDms = CheckBox14.checked;
    options.ThreeDecimals = CheckBox15.checked;
    // Computed before Memo1 is touched, so a latitude that is not a number leaves it as it was.
    std::vector<std::string> lines =
        solar::RatioTableLines(Edit3.text, Edit5.text, Edit23.text, options);
    Memo1.lines = std::move(lines);
}

}  // namespace pimu::app
