// The controls of a window as plain values: what a front end shows and what a handler reads.
// Each control carries its component name, so a front end or the command line can find it by name.
#pragma once

#include <string>
#include <vector>

namespace pimu::app {

class Control {
public:
    explicit Control(std::string name) : name(std::move(name)) {}
    virtual ~Control() = default;
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    std::string name;
    std::string caption;
    std::string hint;
    bool enabled = true;
    bool visible = true;
};

// Buttons, speed buttons, labels, group boxes, panels and images need nothing beyond the base.
class TButton : public Control {
public:
    using Control::Control;
};
class TLabel : public Control {
public:
    using Control::Control;
};
class TGroupBox : public Control {
public:
    using Control::Control;
};
class TPanel : public Control {
public:
    using Control::Control;
};

class TEdit : public Control {
public:
    using Control::Control;
    std::string text;
    bool readOnly = false;
};

class TCheckBox : public Control {
public:
    using Control::Control;
    bool checked = false;
};

class TRadioGroup : public Control {
public:
    using Control::Control;
    std::vector<std::string> items;
    int itemIndex = -1;
    int columns = 1;
};

class TCheckListBox : public Control {
public:
    using Control::Control;
    std::vector<std::string> items;
    std::vector<bool> checked;  // one per item
    int columns = 1;
};

class TComboBox : public Control {
public:
    using Control::Control;
    std::vector<std::string> items;
    int itemIndex = -1;
    std::string text;
    int dropDownCount = 8;
};

class TUpDown : public Control {
public:
    using Control::Control;
    int min = 0;
    int max = 100;
    int position = 0;
    std::string associate;  // the edit that shows the position, if any
};

class TProgressBar : public Control {
public:
    using Control::Control;
    int min = 0;
    int max = 100;
    int position = 0;
};

class TMemo : public Control {
public:
    using Control::Control;
    std::vector<std::string> lines;
};

class TPageControl : public Control {
public:
    using Control::Control;
    std::vector<std::string> tabs;  // tab captions
    int activePageIndex = 0;
};

class TMenuItem {
public:
    std::string name;
    std::string caption;  // "-" is a separator
    bool enabled = true;
    bool visible = true;
};

class TPopupMenu : public Control {
public:
    using Control::Control;
    std::vector<TMenuItem> items;
    TMenuItem &Item(const std::string &itemName);
    const TMenuItem &Item(const std::string &itemName) const;
};

// A grid of text cells. Row 0 is the header row; cells are addressed [row][column].
class TStringGrid : public Control {
public:
    using Control::Control;

    int ColCount() const { return colCount_; }
    int RowCount() const { return static_cast<int>(cells_.size()); }
    void SetColCount(int n);
    void SetRowCount(int n);  // new rows are empty, removed rows are dropped

    std::string &Cell(int col, int row);
    const std::string &Cell(int col, int row) const;
    std::vector<std::string> &Row(int row) { return cells_.at(static_cast<size_t>(row)); }

    int ColWidth(int col) const;  // the column's own width, else the default
    void SetColWidth(int col, int width);

    int defaultColWidth = 64;
    int defaultRowHeight = 24;
    int fixedRows = 1;
    int fixedCols = 1;
    int row = 1;  // the selected cell
    int col = 1;

private:
    int colCount_ = 5;
    std::vector<std::vector<std::string>> cells_ =
        std::vector<std::vector<std::string>>(5, std::vector<std::string>(5));
    std::vector<int> colWidths_ = std::vector<int>(5, -1);  // -1: the default width
};

}  // namespace pimu::app

namespace pimu::app {

class TListBox : public Control {
public:
    using Control::Control;
    std::vector<std::string> items;
    int itemIndex = -1;
    bool sorted = false;
};

}  // namespace pimu::app
