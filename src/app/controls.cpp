#include "app/controls.h"

#include <algorithm>
#include <stdexcept>

#include "app/control_table.h"

namespace pimu::app {

void Control::Apply(const ControlSpec &spec) {
    name = spec.Name();
    caption = spec.caption;
    hint = spec.hint;
    enabled = spec.enabled;
    visible = spec.visible;
}

void TEdit::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    text = spec.text;
    readOnly = spec.readOnly;
}

void TCheckBox::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    checked = spec.checked;
}

void TRadioGroup::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    items = ControlItems(spec);
    itemIndex = spec.index;
    columns = std::max(spec.columns, 1);
}

void TCheckListBox::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    items = ControlItems(spec);
    checked.assign(items.size(), spec.checked);
    columns = std::max(spec.columns, 1);
}

void TComboBox::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    items = ControlItems(spec);
    itemIndex = spec.index;
    text = spec.text;
    if (spec.rows > 0) dropDownCount = spec.rows;
}

void TUpDown::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    min = spec.min;
    max = spec.max;
    position = spec.position;
    associate = spec.associate;
}

void TProgressBar::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    min = spec.min;
    max = spec.max;
    position = spec.position;
}

void TPageControl::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    tabs = ControlItems(spec);
    activePageIndex = 0;
}

void TPopupMenu::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    items.clear();
    for (const std::string &item : ControlItems(spec)) {
        const auto eq = item.find('=');
        items.push_back({item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1)});
    }
}

void TStringGrid::Apply(const ControlSpec &spec) {
    Control::Apply(spec);
    SetColCount(spec.columns);
    SetRowCount(spec.rows);
    const std::vector<std::string> headers = ControlItems(spec);
    for (size_t c = 0; c < headers.size() && c < static_cast<size_t>(colCount_); ++c)
        cells_[0][c] = headers[c];
}

TMenuItem &TPopupMenu::Item(const std::string &itemName) {
    for (auto &item : items)
        if (item.name == itemName) return item;
    throw std::out_of_range("no menu item " + itemName + " in " + name);
}

const TMenuItem &TPopupMenu::Item(const std::string &itemName) const {
    return const_cast<TPopupMenu *>(this)->Item(itemName);
}

void TStringGrid::SetColCount(int n) {
    if (n < 1) n = 1;
    colCount_ = n;
    for (auto &r : cells_) r.resize(static_cast<size_t>(n));
    colWidths_.resize(static_cast<size_t>(n), -1);
    if (col >= n) col = n - 1;
}

void TStringGrid::SetRowCount(int n) {
    if (n < 1) n = 1;
    cells_.resize(static_cast<size_t>(n), std::vector<std::string>(static_cast<size_t>(colCount_)));
    if (row >= n) row = n - 1;
}

std::string &TStringGrid::Cell(int c, int r) {
    if (c < 0 || c >= colCount_ || r < 0 || r >= RowCount())
        throw std::out_of_range("cell outside " + name);
    return cells_[static_cast<size_t>(r)][static_cast<size_t>(c)];
}

const std::string &TStringGrid::Cell(int c, int r) const {
    return const_cast<TStringGrid *>(this)->Cell(c, r);
}

int TStringGrid::ColWidth(int c) const {
    const int w = colWidths_.at(static_cast<size_t>(c));
    return w < 0 ? defaultColWidth : w;
}

void TStringGrid::SetColWidth(int c, int width) {
    colWidths_.at(static_cast<size_t>(c)) = width;
}

}  // namespace pimu::app
