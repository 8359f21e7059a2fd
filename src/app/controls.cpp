#include "app/controls.h"

#include <stdexcept>

namespace pimu::app {

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
