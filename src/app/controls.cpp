#include "app/controls.h"

#include <algorithm>
#include <stdexcept>

#include "app/control_table.h"

namespace pimu::app {

void Control::Apply(const ControlEntry &entry) {
    name = entry.Name();
    caption = entry.caption;
    hint = entry.hint;
    enabled = entry.enabled;
    visible = entry.visible;
}

void TEdit::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    text = entry.text;
    readOnly = entry.readOnly;
}

void TCheckBox::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    checked = entry.checked;
}

void TRadioGroup::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    items = ControlItems(entry);
    itemIndex = entry.index;
    columns = std::max(entry.columns, 1);
}

void TCheckListBox::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    items = ControlItems(entry);
    checked.assign(items.size(), entry.checked);
    columns = std::max(entry.columns, 1);
}

void TComboBox::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    items = ControlItems(entry);
    itemIndex = entry.index;
    text = entry.text;
    // A list without a text of its own shows its chosen item.
    if (text.empty() && itemIndex >= 0 && itemIndex < static_cast<int>(items.size()))
        text = items[static_cast<size_t>(itemIndex)];
    if (entry.rows > 0) dropDownCount = entry.rows;
}

void TUpDown::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    min = entry.min;
    max = entry.max;
    position = entry.position;
    associate = entry.associate;
}

void TProgressBar::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    min = entry.min;
    max = entry.max;
    position = entry.position;
}

void TPageControl::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    tabs = ControlItems(entry);
    activePageIndex = 0;
}

void TPopupMenu::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    items.clear();
    for (const std::string &item : ControlItems(entry)) {
        const auto eq = item.find('=');
        items.push_back({item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1)});
    }
}

void TStringGrid::Apply(const ControlEntry &entry) {
    Control::Apply(entry);
    SetColCount(entry.columns);
    SetRowCount(entry.rows);
    const std::vector<std::string> headers = ControlItems(entry);
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
