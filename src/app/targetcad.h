// The list of target CAD programs ("TargetCAD_APIVersion.txt": display name, tab, ProgID per line)
// and the dialog that edits it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/controls.h"
#include "app/textfile.h"
#include "app/uihost.h"

namespace pimu::app {

inline constexpr const char *kTargetCadFile = "TargetCAD_APIVersion.txt";

class TForm1;

// The start-up lookup: the first line (file order) that contains the ProgID, compared without
// regard to case. `name` is the text before it, blanks and tabs trimmed; `rest` the line from the
// ProgID to its end.
struct TargetCadMatch {
    bool found = false;
    std::string name;
    std::string rest;
};
TargetCadMatch FindTargetCad(const std::vector<std::string> &lines, std::string_view progId);

class TTargetCADForm {
public:
    TTargetCADForm(std::filesystem::path listFile, UiHost &host, TForm1 &owner);
    TTargetCADForm(const TTargetCADForm &) = delete;
    TTargetCADForm &operator=(const TTargetCADForm &) = delete;

    enum class ModalResult { None, Ok, Cancel };

    // Loads the list (when the file exists) and selects the line of the current ProgID.
    void FormShow(const std::string &progId);
    void ListBox1Click();
    void SpeedButton1Click();  // 追加
    void SpeedButton2Click();  // 削除
    void SpeedButton3Click();  // 変更
    void Button1Click();       // OK
    void Button2Click();       // 取り消し
    // A key in Edit1 or Edit2: Enter acts as 変更. False when the key is consumed.
    bool EditKeyPress(char32_t key);

    std::string Caption = "ターゲット CAD";
    TListBox ListBox1{"ListBox1"};
    TEdit Edit1{"Edit1"};
    TEdit Edit2{"Edit2"};
    TButton SpeedButton1{"SpeedButton1"};
    TButton SpeedButton2{"SpeedButton2"};
    TButton SpeedButton3{"SpeedButton3"};
    TButton Button1{"Button1"};
    TButton Button2{"Button2"};
    ModalResult modalResult = ModalResult::None;

    const std::filesystem::path &ListFile() const { return listFile_; }

private:
    std::string FieldsAsLine() const;
    void InsertSorted(const std::string &line);
    void SaveList();

    std::filesystem::path listFile_;
    TextEncoding encoding_ = TextEncoding::Utf8;  // kept from the file as read
    UiHost &host_;
    TForm1 &owner_;
};

}  // namespace pimu::app
