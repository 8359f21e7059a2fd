#include "app/targetcad.h"

#include <algorithm>
#include <system_error>

#include "app/form.h"
#include "app/textfile.h"

namespace pimu::app {
namespace {

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string_view TrimBlanksAndTabs(std::string_view s) {
    const char *blanks = " \t";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

// Alphabetical without regard to case; lines that differ only in case keep a fixed order.
bool SortsBefore(const std::string &a, const std::string &b) {
    const std::string la = AsciiLower(a), lb = AsciiLower(b);
    return la != lb ? la < lb : a < b;
}

// A tab or line break typed or pasted into a field would split the line when it is read back.
std::string FieldText(const std::string &s) {
    std::string out = s;
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return out;
}

}  // namespace

TargetCadMatch FindTargetCad(const std::vector<std::string> &lines, std::string_view progId) {
    const std::string needle = AsciiLower(progId);
    for (const auto &line : lines) {
        const auto p = AsciiLower(line).find(needle);
        if (p == std::string::npos) continue;
        return {true, std::string(TrimBlanksAndTabs(std::string_view(line).substr(0, p))),
                line.substr(p)};
    }
    return {};
}

TTargetCADForm::TTargetCADForm(std::filesystem::path listFile, UiHost &host, TForm1 &owner)
    : listFile_(std::move(listFile)), host_(host), owner_(owner) {
    ListBox1.sorted = true;
    Edit1.caption = "名称 （説明）";
    Edit2.caption = "ProgID （クラス文字列）";
    SpeedButton1.caption = "追加";
    SpeedButton2.caption = "削除";
    SpeedButton3.caption = "変更";
    Button1.caption = "OK";
    Button2.caption = "取り消し";
}

void TTargetCADForm::FormShow(const std::string &progId) {
    modalResult = ModalResult::None;
    std::error_code ec;
    if (!std::filesystem::exists(listFile_, ec)) return;
    try {
        TextLines text = ReadTextLines(listFile_);
        ListBox1.items = std::move(text.lines);
        encoding_ = text.encoding;
    } catch (const FileError &e) {
        host_.MessageBox("TargetCADForm", kAppTitle, e.what());
        return;
    }
    std::stable_sort(ListBox1.items.begin(), ListBox1.items.end(), SortsBefore);
    ListBox1.itemIndex = -1;
    const std::string needle = "\t" + progId;
    for (size_t i = 0; i < ListBox1.items.size(); ++i) {
        if (ListBox1.items[i].find(needle) != std::string::npos) {
            ListBox1.itemIndex = static_cast<int>(i);
            ListBox1Click();
            break;
        }
    }
}

void TTargetCADForm::ListBox1Click() {
    if (ListBox1.itemIndex < 0 || ListBox1.itemIndex >= static_cast<int>(ListBox1.items.size()))
        return;
    const std::string &line = ListBox1.items[static_cast<size_t>(ListBox1.itemIndex)];
    const auto tab = line.find('\t');
    // A line without a tab is taken as a bare ProgID.
    Edit1.text = tab == std::string::npos ? "" : line.substr(0, tab);
    Edit2.text = tab == std::string::npos ? line : line.substr(tab + 1);
}

std::string TTargetCADForm::FieldsAsLine() const {
    return FieldText(Edit1.text) + "\t" + FieldText(Edit2.text);
}

void TTargetCADForm::InsertSorted(const std::string &line) {
    auto &items = ListBox1.items;
    const auto at = std::upper_bound(items.begin(), items.end(), line, SortsBefore);
    ListBox1.itemIndex = static_cast<int>(at - items.begin());
    items.insert(at, line);
}

void TTargetCADForm::SpeedButton1Click() {
    InsertSorted(FieldsAsLine());
    ListBox1Click();
    SaveList();
}

void TTargetCADForm::SpeedButton2Click() {
    auto &items = ListBox1.items;
    const int n = static_cast<int>(items.size());
    const int i = ListBox1.itemIndex;
    if (i < 0 || i >= n) return;
    items.erase(items.begin() + i);
    Edit1.text.clear();
    Edit2.text.clear();
    if (i + 1 < n - 1)
        ListBox1.itemIndex = i;
    else if (i > 0)
        ListBox1.itemIndex = i - 1;
    else
        ListBox1.itemIndex = -1;
    ListBox1Click();
    SaveList();
}

void TTargetCADForm::SpeedButton3Click() {
    auto &items = ListBox1.items;
    const int i = ListBox1.itemIndex;
    if (i < 0 || i >= static_cast<int>(items.size())) return;
    items.erase(items.begin() + i);
    InsertSorted(FieldsAsLine());
    SaveList();
}

bool TTargetCADForm::EditKeyPress(char32_t key) {
    if (key != U'\r') return true;
    SpeedButton3Click();
    return false;
}

void TTargetCADForm::Button1Click() {
    owner_.ApplyTargetCad(Edit1.text, Edit2.text);
    modalResult = ModalResult::Ok;
}

void TTargetCADForm::Button2Click() {
    modalResult = ModalResult::Cancel;
}

void TTargetCADForm::SaveList() {
    try {
        WriteTextLinesAtomically(listFile_, ListBox1.items, encoding_);
    } catch (const FileError &e) {
        host_.MessageBox("TargetCADForm", kAppTitle, e.what());
    }
}

}  // namespace pimu::app
