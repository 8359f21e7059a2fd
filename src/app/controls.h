// The controls of a window as plain values: what a front end shows and what a handler reads.
// Each control carries its component name, so a front end or the command line can find it by name,
// and a revision that goes up each time a change of what it shows is announced (ControlChanges).
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace pimu::app {

struct ControlEntry;

// What kind of widget shows a control.
enum class ControlKind {
    Button,  // buttons and speed buttons
    Label,
    GroupBox,
    Panel,
    Image,  // a picture the window paints (the wireframe preview)
    Edit,
    CheckBox,
    RadioGroup,
    CheckListBox,
    ComboBox,
    UpDown,
    ProgressBar,
    Memo,
    PageControl,
    PopupMenu,
    StringGrid,
    ListBox,
};

// The last announced copy of some fields of a control.
template <class... T>
class StateCopy {
public:
    // Whether `now` differs from the copy; the copy becomes `now`.
    template <class Tuple>
    bool Take(const Tuple &now) {
        if (now == copy_) return false;
        copy_ = now;
        return true;
    }

private:
    std::tuple<T...> copy_{};
};

class Control {
public:
    explicit Control(std::string name) : name(std::move(name)) {}
    virtual ~Control() = default;
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    virtual ControlKind Kind() const = 0;
    // Caption, hint, state and contents as the control table gives them.
    virtual void Apply(const ControlEntry &entry);
    // Counts the announced changes of what the control shows (ControlChanges::Publish).
    std::uint64_t Revision() const { return revision_; }

    std::string name;
    std::string caption;
    std::string hint;
    bool enabled = true;
    bool visible = true;

protected:
    // Whether anything a widget shows differs from the last announced state; takes the current
    // state as announced. Each kind adds its own fields.
    virtual bool TakeChange() { return base_.Take(std::tie(caption, hint, enabled, visible)); }

private:
    friend class ControlChanges;
    std::uint64_t revision_ = 0;
    StateCopy<std::string, std::string, bool, bool> base_;
};

// Buttons, speed buttons, labels, group boxes, panels and images need nothing beyond the base.
class TButton : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::Button;
    ControlKind Kind() const override { return kKind; }
};
class TLabel : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::Label;
    ControlKind Kind() const override { return kKind; }
};
class TGroupBox : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::GroupBox;
    ControlKind Kind() const override { return kKind; }
};
class TPanel : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::Panel;
    ControlKind Kind() const override { return kKind; }
};
class TImage : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::Image;
    ControlKind Kind() const override { return kKind; }
};

class TEdit : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::Edit;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    std::string text;
    bool readOnly = false;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(text, readOnly));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::string, bool> state_;
};

class TCheckBox : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::CheckBox;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    bool checked = false;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(checked));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<bool> state_;
};

class TRadioGroup : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::RadioGroup;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    std::vector<std::string> items;
    int itemIndex = -1;
    int columns = 1;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(items, itemIndex, columns));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::vector<std::string>, int, int> state_;
};

class TCheckListBox : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::CheckListBox;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    std::vector<std::string> items;
    std::vector<bool> checked;  // one per item
    int columns = 1;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(items, checked, columns));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::vector<std::string>, std::vector<bool>, int> state_;
};

class TComboBox : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::ComboBox;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    std::vector<std::string> items;
    int itemIndex = -1;
    std::string text;
    int dropDownCount = 8;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(items, itemIndex, text, dropDownCount));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::vector<std::string>, int, std::string, int> state_;
};

class TUpDown : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::UpDown;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    int min = 0;
    int max = 100;
    int position = 0;
    std::string associate;  // the edit that shows the position, if any

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(min, max, position, associate));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<int, int, int, std::string> state_;
};

class TProgressBar : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::ProgressBar;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    int min = 0;
    int max = 100;
    int position = 0;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(min, max, position));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<int, int, int> state_;
};

class TMemo : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::Memo;
    ControlKind Kind() const override { return kKind; }
    std::vector<std::string> lines;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(lines));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::vector<std::string>> state_;
};

class TPageControl : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::PageControl;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    std::vector<std::string> tabs;  // tab captions
    int activePageIndex = 0;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(tabs, activePageIndex));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::vector<std::string>, int> state_;
};

class TMenuItem {
public:
    std::string name;
    std::string caption;  // "-" is a separator
    bool enabled = true;
    bool visible = true;
    bool operator==(const TMenuItem &) const = default;
};

class TPopupMenu : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::PopupMenu;
    ControlKind Kind() const override { return kKind; }
    void Apply(const ControlEntry &entry) override;
    std::vector<TMenuItem> items;
    TMenuItem &Item(const std::string &itemName);
    const TMenuItem &Item(const std::string &itemName) const;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(items));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::vector<TMenuItem>> state_;
};

// A grid of text cells. Row 0 is the header row; cells are addressed [row][column].
class TStringGrid : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::StringGrid;
    ControlKind Kind() const override { return kKind; }
    // Column and row counts, and the header row from the table's items.
    void Apply(const ControlEntry &entry) override;

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

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(cells_, colWidths_, defaultColWidth, defaultRowHeight,
                                              fixedRows, fixedCols, row, col));
        return Control::TakeChange() || own;
    }

private:
    int colCount_ = 5;
    std::vector<std::vector<std::string>> cells_ =
        std::vector<std::vector<std::string>>(5, std::vector<std::string>(5));
    std::vector<int> colWidths_ = std::vector<int>(5, -1);  // -1: the default width
    StateCopy<std::vector<std::vector<std::string>>, std::vector<int>, int, int, int, int, int, int>
        state_;
};

class TListBox : public Control {
public:
    using Control::Control;
    static constexpr ControlKind kKind = ControlKind::ListBox;
    ControlKind Kind() const override { return kKind; }
    std::vector<std::string> items;
    int itemIndex = -1;
    bool sorted = false;

protected:
    bool TakeChange() override {
        const bool own = state_.Take(std::tie(items, itemIndex, sorted));
        return Control::TakeChange() || own;
    }

private:
    StateCopy<std::vector<std::string>, int, bool> state_;
};

}  // namespace pimu::app
