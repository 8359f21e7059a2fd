#include "app/form.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>

#include "app/textfile.h"
#include "base/numconv.h"

namespace pimu::app {
namespace {

const std::vector<std::string> kIntervals = {"10秒", "30秒", "60秒"};

void Setup(Control &c, std::string caption, std::string hint = "") {
    c.caption = std::move(caption);
    c.hint = std::move(hint);
}

void SetupEdit(TEdit &e, std::string caption, std::string text, bool readOnly = false) {
    e.caption = std::move(caption);
    e.text = std::move(text);
    e.readOnly = readOnly;
}

void SetupCheck(TCheckBox &c, std::string caption, bool checked, std::string hint = "") {
    Setup(c, std::move(caption), std::move(hint));
    c.checked = checked;
}

void SetupRadio(TRadioGroup &r, std::string caption, std::vector<std::string> items, int index,
                int columns = 1) {
    r.caption = std::move(caption);
    r.items = std::move(items);
    r.itemIndex = index;
    r.columns = columns;
}

void SetupUpDown(TUpDown &u, int min, int max, int position, std::string associate,
                 std::string hint = "") {
    u.min = min;
    u.max = max;
    u.position = position;
    u.associate = std::move(associate);
    u.hint = std::move(hint);
}

}  // namespace

std::filesystem::path FormPaths::SettingsFile() const {
    if (settingsFile) return *settingsFile;
    return programFolder / (std::filesystem::path(executableName).stem().string() + ".ini");
}

TForm1::TForm1(FormPaths paths, UiHost &host, CadConnection *cad)
    : TargetCADForm(paths.File(kTargetCadFile), host, *this),
      paths_(std::move(paths)),
      host_(host),
      cad_(cad) {
    InitControls();
}

void TForm1::Register(Control &c) {
    byName_[c.name] = &c;
    order_.push_back(&c);
}

Control *TForm1::FindControl(std::string_view name) {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void TForm1::InitControls() {
    for (Control *c : std::initializer_list<Control *>{
             &PageControl1,   &ProgressBar1, &Button2,      &Panel1,       &Image2,
             &UpDown3,        &UpDown4,      &CheckBox1,    &SpeedButton2, &Button17,
             &Button3,        &Button10,     &ComboBox1,    &Edit3,        &Edit5,
             &Edit23,         &Edit12,       &SpeedButton1, &RadioGroup1,  &Edit2,
             &Edit7,          &Edit11,       &CheckBox13,   &Edit4,        &GroupBox4,
             &CheckListBox1,  &RadioGroup5,  &Label22,      &Label2,       &Button6,
             &Button5,        &Button7,      &GroupBox9,    &CheckBox4,    &CheckBox12,
             &RadioGroup6,    &Label24,      &Label26,      &Label8,       &Label61,
             &Button21,       &Button22,     &Button4,      &Edit41,       &Edit6,
             &RadioGroup3,    &StringGrid2,  &Button15,     &Button23,     &Edit19,
             &SpeedButton8,   &Edit17,       &RadioGroup2,  &GroupBox14,   &CheckBox10,
             &GroupBox6,      &CheckBox3,    &CheckBox5,    &Edit16,       &UpDown2,
             &Edit15,         &Edit13,       &Edit20,       &Edit18,       &Edit8,
             &GroupBox10,     &CheckBox6,    &CheckBox7,    &Edit14,       &UpDown6,
             &Edit21,         &Edit24,       &Edit22,       &Edit25,       &Edit40,
             &Button8,        &Button11,     &Button12,     &Button16,     &RadioGroup4,
             &Edit10,         &Edit26,       &StringGrid1,  &Button13,     &Button14,
             &CheckBox9,      &Button18,     &Button24,     &Button9,      &GroupBox5,
             &Edit27,         &Edit28,       &Edit31,       &Edit30,       &Edit29,
             &Edit32,         &Edit33,       &Edit34,       &Edit36,       &Edit35,
             &Edit37,         &GroupBox11,   &Edit38,       &GroupBox7,    &CheckBox8,
             &Edit9,          &UpDown5,      &GroupBox15,   &Edit42,       &SpeedButton4,
             &GroupBox12,     &CheckBox2,    &CheckBox11,   &Button20,     &GroupBox16,
             &Edit46,         &Edit47,       &Edit48,       &SpeedButton7, &SpeedButton6,
             &Edit49,         &Edit43,       &Label60,      &Edit44,       &Label62,
             &ChihouTaiyouji, &Button1,      &Button25,     &Button19,     &Edit1,
             &Edit45,         &GroupBox1,    &SpeedButton5, &SpeedButton3, &Memo1,
             &CheckBox14,     &CheckBox15,   &PopupMenu1,   &PopupMenu2})
        Register(*c);

    PageControl1.tabs = {" 時刻",  "等時間",  "特定点", "天空１",
                         "天空２", " 設定１", "設定２", "影倍率"};
    PageControl1.activePageIndex = 0;
    ProgressBar1.max = 100;

    // Tab 0.
    Setup(Button2, "取得", "建物の図形を選択（右クリックで前回取得した建物）");
    SetupUpDown(UpDown3, 0, 1000, 500, "", "左右に回転");
    SetupUpDown(UpDown4, 0, 1000, 500, "", "上下に回転");
    SetupCheck(CheckBox1, "直下", true, "仮想の直下線分を表示");
    Setup(SpeedButton2, "描画", "表示中のイメージを描画");
    Setup(Button17, "ｱﾆﾒ", "時間ごとの日影線を表示");
    Setup(Button3, "時刻", "時刻日影図を作成");
    Setup(Button10, "中止", "アニメ、時刻日影の描画を中止");
    Setup(ComboBox1, "都市参照", "主要都市の緯度を採用");
    ComboBox1.text = "都市参照";
    ComboBox1.dropDownCount = 16;
    ComboBox1.items = BuiltInCityLines();
    SetupEdit(Edit3, "緯度", "36");
    SetupEdit(Edit5, "分", "0");
    SetupEdit(Edit23, "秒", "0");
    SetupEdit(Edit12, "真北", "90.0");
    Setup(SpeedButton1, "2点指示", "２点指示で真北を設定");
    SetupRadio(RadioGroup1, "", {"冬至", "秋春", "夏至"}, 0, 3);
    SetupEdit(Edit2, "時刻", "8.0");
    SetupEdit(Edit7, "～", "16.0");
    SetupEdit(Edit11, "間隔", "1.0");
    SetupCheck(CheckBox13, "中央標準時", false);
    CheckBox13.visible = false;
    SetupEdit(Edit4, "測定面の高さ", "4.0");

    // Tab 1.
    GroupBox4.caption = "等時間日影図";
    for (int i = 0; i < 14; ++i) {
        const int tenths = 15 + 5 * i;
        CheckListBox1.items.push_back(std::to_string(tenths / 10) + "." +
                                      std::to_string(tenths % 10) + "Hr");
    }
    CheckListBox1.checked.assign(14, true);
    CheckListBox1.columns = 2;
    SetupRadio(RadioGroup5, "評価時間", kIntervals, 1);
    Setup(Button6, "等時間日影", "等時間日影図を作成");
    Setup(Button5, "壁面/壁面等時間", "壁面線分を選択");
    Setup(Button7, "中止");
    GroupBox9.caption = "壁面/壁面等時間";
    SetupCheck(CheckBox4, "壁線上に描く", true);
    SetupCheck(CheckBox12, "ブロックとして作成", false);
    SetupRadio(RadioGroup6, "評価時間", kIntervals, 1);
    Label8.caption = "※すべてがプラス座標でないと";
    Label61.caption = "　正しく作成されません｡";

    // Tab 2.
    Setup(Button21, "特定点連続指示", "特定点を連続で指示");
    Setup(Button22, "特定点一括取得", "複数の特定点のマーク（円、番号）を一括で選択");
    Setup(Button4, "特定点");
    Button4.visible = false;
    SetupEdit(Edit41, "点番号修正", "1");
    SetupEdit(Edit6, "測定面の高さ", "0.0");
    SetupRadio(RadioGroup3, "", kIntervals, 1);
    StringGrid2.hint = "右クリックで順位反転";
    Setup(Button15, "作成");
    Setup(Button23, "再計算");

    // Tab 3.
    SetupEdit(Edit19, "図面の尺度", "200");
    Setup(SpeedButton8, "取得", "DIMSCALEを取得");
    SetupEdit(Edit17, "測定面高さ", "0");
    SetupRadio(RadioGroup2, "求積対象", {"AREA", "計画建物", "適合建物"}, 0);
    SetupCheck(CheckBox10, "天空図回転", true, "方位に合わせて天空図を回転");
    GroupBox6.caption = "type A ";
    SetupCheck(CheckBox3, "求積表", true);
    SetupCheck(CheckBox5, "位置表", true);
    SetupEdit(Edit16, "測定点No.", "1", true);
    SetupUpDown(UpDown2, 1, 9999, 1, "Edit16");
    SetupEdit(Edit15, "半径", "25");
    SetupEdit(Edit13, "目盛", "0");
    SetupEdit(Edit20, "文字", "3.0");
    SetupEdit(Edit18, "ﾊｯﾁ", "0");
    SetupEdit(Edit8, "一括作図のXピッチ", "75");
    GroupBox10.caption = "type B ";
    SetupCheck(CheckBox6, "求積表", true);
    SetupCheck(CheckBox7, "位置表", true);
    SetupEdit(Edit14, "測定点No.", "1");
    SetupUpDown(UpDown6, 1, 9999, 1, "Edit14");
    SetupEdit(Edit21, "半径", "100");
    SetupEdit(Edit24, "目盛", "10");
    SetupEdit(Edit22, "文字", "10.0");
    SetupEdit(Edit25, "ﾊｯﾁ", "2");
    SetupEdit(Edit40, "一括作図のXピッチ", "300");
    Setup(Button8, "測定点指示", "測定位置を指示");
    Setup(Button11, "測定点指示", "測定位置を指示");

    // Tab 4.
    Setup(Button12, "測定点連続指示", "測定点の座標を連続で指示");
    Setup(Button16, "測定点一括取得", "複数の測定点のマーク（円と文字）を選択");
    SetupRadio(RadioGroup4, "", {"AREA", "計画", "適合"}, 0);
    SetupEdit(Edit10, "番号修正", "1");
    SetupEdit(Edit26, "高さ修正", "0");
    StringGrid1.hint = "右クリックで順位反転";
    Setup(Button13, "作図(A)");
    Setup(Button14, "作図(B)");
    SetupCheck(CheckBox9, "↓", false);
    Setup(Button18, "一括(A)");
    Setup(Button24, "一括(B)");
    Setup(Button9, "再計算", "天空率の計算だけを行います");

    // Tab 5.
    GroupBox5.caption = "画層";
    SetupEdit(Edit27, "時刻", "PIMU_JIKOKU");
    SetupEdit(Edit28, "等時間", "PIMU_TOUJI");
    SetupEdit(Edit31, "壁面", "PIMU_HJIKOKU");
    SetupEdit(Edit30, "(枠)", "PIMU_HWAKU");
    SetupEdit(Edit29, "(等時)", "PIMU_HTOJI");
    SetupEdit(Edit32, "特定点", "PIMU_NINI");
    SetupEdit(Edit33, "天空図", "PIMU_TENKU");
    SetupEdit(Edit34, "(目盛)", "PIMU_TMEMORI");
    SetupEdit(Edit36, "(三斜)", "PIMU_TSANSYA");
    SetupEdit(Edit35, "(ﾊｯﾁ)", "PIMU_THATCH");
    SetupEdit(Edit37, "(位置)", "PIMU_TTATEITI");
    GroupBox11.caption = "共通";
    SetupEdit(Edit38, "文字高さ", "300.0");
    GroupBox7.caption = "等時間・壁面等時間";
    SetupCheck(CheckBox8, "ｽﾑｰｼﾞﾝｸﾞ係数", true);
    SetupEdit(Edit9, "", "4", true);
    SetupUpDown(UpDown5, 2, 20, 4, "Edit9");

    // Tab 6.
    GroupBox15.caption = "ターゲットCAD";
    SetupEdit(Edit42, "", "", true);
    Setup(SpeedButton4, "変更");
    SetupCheck(CheckBox2, "等時間の評価時間を 1/10 に", false);
    SetupCheck(CheckBox11, "時刻日影図に時刻のみ記入（方位角不要）", true);
    Setup(Button20, "境界線作成", "敷地の線分を選択");
    GroupBox16.caption = "換算";
    SetupEdit(Edit46, "度", "130");
    SetupEdit(Edit47, "分", "33");
    SetupEdit(Edit48, "秒", "00");
    Setup(SpeedButton7, "<");
    Setup(SpeedButton6, ">");
    SetupEdit(Edit49, "度", "130.5500");
    SetupEdit(Edit43, "", "135.0");
    Label60.caption = "経度";
    SetupEdit(Edit44, "", "1.896");
    Edit44.hint = "測定日の均時差を入力";
    Label62.caption = "均時差";
    Setup(ChihouTaiyouji, "真太陽時");
    Setup(Button1, "均時差描画");
    Setup(Button25, "均時差描画");
    Setup(Button19, "均時差計算");
    SetupEdit(Edit1, "", "-2.5");
    SetupEdit(Edit45, "", "0.0");
    GroupBox1.caption = "Pimu2024";
    GroupBox1.hint = "Build 2024.09.20 Beta";
    for (Control *c :
         std::initializer_list<Control *>{&Edit43, &Label60, &Edit44, &Label62, &ChihouTaiyouji,
                                          &Button1, &Button25, &Button19, &Edit1, &Edit45})
        c->visible = false;

    // Tab 7.
    Setup(SpeedButton5, "倍率表作成");
    Setup(SpeedButton3, "倍率");
    SpeedButton3.visible = false;
    SetupCheck(CheckBox14, "度、分、秒で表示", false);
    SetupCheck(CheckBox15, "小数点以下 3 桁", false);

    PopupMenu1.items = {
        {"N2", "順位を反転"}, {"N3", "-"}, {"N1", "すべてをクリップボードにコピー"}};
    PopupMenu2.items = {{"N8", "直前に取得した図形を採用"},
                        {"N6", "その１つ前に取得した図形を採用"},
                        {"N4", "-"},
                        {"N5", "取り消し"}};

    SetEnabled({&Button17, &Button3, &Button10, &Button6, &Button5, &Button7, &Button21, &Button22,
                &Button4, &Button12, &Button16, &Button18, &Button24},
               false);

    StringGrid1.SetColCount(7);
    StringGrid1.SetRowCount(2);
    StringGrid2.SetColCount(11);
    StringGrid2.SetRowCount(2);
}

// ---- Start and shut-down ------------------------------------------------------------------

void TForm1::FormCreate() {
    ScalePercent = host_.DisplayScalePercent().value_or(100);
    if (ScalePercent <= 0) ScalePercent = 100;

    ProgID = kDefaultProgID;
    MeshSizeTable = {2000, 1600, 1200, 640};
    IntervalTable = {10, 30, 60, 120};

    LoadCityList();

    GB_hyoukaidx = -1;
    GB_toujiidx = -1;
    PageControl1.activePageIndex = 0;
    CheckBox13.checked = false;
    UseStdTime = false;

    SetupGrids();

    RadioGroup1.itemIndex = 0;
    CheckListBox1.checked[0] = true;
    for (TLabel *l : {&Label22, &Label2, &Label24, &Label26}) l->caption.clear();

    ReadSettings();
    LookupTargetCad();
    StayOnTop = true;
    RadioGroup1Click();
    RadioGroup2Click();
    if (cad_) cad_->RegisterMessageFilter();
    host_.PlaceTopmost();
}

void TForm1::FormDestroy() {
    try {
        WriteSettings();
    } catch (const FileError &e) {
        ShowMessage(std::string("設定を保存できませんでした．\n") + e.what());
    }
    if (cad_) {
        try {
            cad_->RevokeMessageFilter();
        } catch (...) {
            // Nothing useful can be done about it while the window goes away.
        }
    }
}

void TForm1::LoadCityList() {
    const auto path = paths_.File(kCityListFile);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    try {
        std::vector<std::string> items;
        for (auto &line : ReadTextLines(path).lines)
            if (line.find_first_not_of(" \t") != std::string::npos) items.push_back(line);
        ComboBox1.items = std::move(items);
    } catch (const FileError &e) {
        ShowMessage(e.what());
    }
}

void TForm1::SetupGrids() {
    const int scale = ScalePercent;
    const int widths1[] = {35, 50, 50, 55, 55, 45, 45};
    for (int c = 0; c < 7; ++c) StringGrid1.SetColWidth(c, scale * widths1[c] / 100);
    const char *headers1[] = {"番号", " X座標", " Y座標", " 測定点", " 測定面", " 内接", " 外接"};
    for (int c = 0; c < 7; ++c) StringGrid1.Cell(c, 0) = headers1[c];

    // Row heights follow the display scale; the column width follows the row height.
    StringGrid2.defaultRowHeight = 19 * scale / 100;
    StringGrid2.defaultColWidth =
        static_cast<int>(StringGrid2.defaultRowHeight / 19.0 * 70.0 + 0.5);
    StringGrid2.SetColWidth(0, scale * 35 / 100);
    const char *headers2[] = {"番号",      " X座標",    " Y座標",    " 測定点",
                              " 日影時間", " 入時刻 1", " 出時刻 1", " 入時刻 2",
                              " 出時刻 2", " 入時刻 3", " 出時刻 3"};
    for (int c = 0; c < 11; ++c) StringGrid2.Cell(c, 0) = headers2[c];
}

void TForm1::LookupTargetCad() {
    const auto path = paths_.File(kTargetCadFile);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    TargetCadMatch match;
    try {
        match = FindTargetCad(ReadTextLines(path).lines, ProgID);
    } catch (const FileError &e) {
        ShowMessage(e.what());
        return;
    }
    if (!match.found) return;
    Caption = std::string(kAppTitle) + " [ " + match.name + " ]";
    GroupBox15.caption = "ターゲットCAD = " + match.name;
    Edit42.text = match.rest;
}

void TForm1::ApplyTargetCad(const std::string &name, const std::string &progId) {
    Caption = std::string(kAppTitle) + " [ " + name + " ]";
    ProgID = progId;
    Edit42.text = progId;
    GroupBox15.caption = "ターゲットCAD = " + name;
}

// ---- Messages --------------------------------------------------------------------------

MessageResult TForm1::ShowMessage(std::string_view text, MessageButtons buttons) {
    return host_.MessageBox("Form1", kAppTitle, text, buttons);
}

// ---- Command enabling -------------------------------------------------------------------

void TForm1::SetEnabled(std::initializer_list<TButton *> buttons, bool enabled) {
    for (TButton *b : buttons) b->enabled = enabled;
}

void TForm1::EnableAfterAcquisition() {
    SetEnabled({&Button3, &Button8, &Button9, &Button11, &Button4, &Button5, &Button6, &Button21,
                &Button22, &Button12, &Button16, &Button20, &Button18, &Button24, &SpeedButton8,
                &SpeedButton1},
               true);
}

void TForm1::BeginLongCommand(LongCommand command) {
    RunFlag = true;
    switch (command) {
        case LongCommand::TimeOfDay:
            Button10.enabled = true;
            SetEnabled({&Button2, &Button3, &Button17}, false);
            break;
        case LongCommand::Isochrone:
            Button7.enabled = true;
            SetEnabled({&Button2, &Button3, &Button17, &Button4, &Button5, &Button6, &Button8,
                        &Button9, &Button11},
                       false);
            break;
        case LongCommand::PointTimes:
            Button7.enabled = true;
            Button23.caption = "中止";
            SetEnabled({&Button5, &Button15, &Button4, &Button6, &Button2, &Button3, &Button17,
                        &Button8, &Button11, &Button9},
                       false);
            break;
    }
}

void TForm1::EndLongCommand(LongCommand command) {
    switch (command) {
        case LongCommand::TimeOfDay:
            SetEnabled({&Button2, &Button3}, true);
            Button10.enabled = false;
            break;
        case LongCommand::Isochrone:
            SetEnabled({&Button2, &Button3, &Button17, &Button4, &Button5, &Button6, &Button8,
                        &Button9, &Button11},
                       true);
            Button7.enabled = false;
            break;
        case LongCommand::PointTimes:
            SetEnabled({&Button5, &Button15, &Button6, &Button2, &Button3, &Button17, &Button8,
                        &Button11, &Button9},
                       true);
            // Only a run that was not stopped gives the hidden point button back.
            if (RunFlag) Button4.enabled = true;
            Button7.enabled = false;
            Button23.caption = "再計算";
            ProgressBar1.position = 0;
            break;
    }
    RunFlag = false;
}

void TForm1::RunEsc() {
    SetEnabled({&Button2, &Button3, &Button17, &Button4, &Button5, &Button8, &Button11, &Button9,
                &Button6},
               true);
    Button7.enabled = false;
    RunFlag = false;
}

BusyScope::BusyScope(TForm1 &form, LongCommand command) : form_(form), command_(command) {
    form_.BeginLongCommand(command_);
}

BusyScope::~BusyScope() {
    form_.EndLongCommand(command_);
}

// ---- Progress bar ------------------------------------------------------------------------

void TForm1::ProgressStart(int maximum) {
    ProgressBar1.min = 0;
    ProgressBar1.max = std::max(maximum, 0);
    ProgressBar1.position = 0;
}

bool TForm1::ProgressStep() {
    ProgressBar1.position = std::min(ProgressBar1.position + 1, ProgressBar1.max);
    host_.ProcessPendingEvents();
    return RunFlag;
}

void TForm1::ProgressFinish() {
    ProgressBar1.position = ProgressBar1.max;
    host_.ProcessPendingEvents();
    ProgressBar1.position = 0;
}

FormProgress::FormProgress(TForm1 &form, bool escOnStop, std::string statusPrefix)
    : form_(form), escOnStop_(escOnStop), statusPrefix_(std::move(statusPrefix)) {}

void FormProgress::Start(int maximum) {
    form_.ProgressStart(maximum);
}

void FormProgress::Position(int position) {
    form_.ProgressBar1.position = std::min(position, form_.ProgressBar1.max);
}

void FormProgress::Status(const std::string &text) {
    form_.Label2.caption = statusPrefix_ + text;
}

bool FormProgress::KeepRunning() {
    form_.Host().ProcessPendingEvents();
    if (form_.RunFlag) return true;
    if (escOnStop_) form_.RunEsc();
    return false;
}

// ---- Command helpers -----------------------------------------------------------------------

void TForm1::Invoke(const std::function<void()> &handler) {
    try {
        handler();
    } catch (const std::exception &e) {
        ShowMessage(e.what());
    }
}

bool TForm1::CadAvailable(bool tellUser) {
    if (cad_ && cad_->IsCadRunning(ProgID)) return true;
    if (tellUser) ShowMessage(kNoCadMessage);
    return false;
}

double TForm1::Number(const TEdit &field) const {
    return ParseNumber(field.text, field.caption.empty() ? field.name : field.caption);
}

int TForm1::Integer(const TEdit &field) const {
    return ParseInteger(field.text, field.caption.empty() ? field.name : field.caption);
}

// ---- Handlers ----------------------------------------------------------------------------

void TForm1::RadioGroup1Click() {
    switch (RadioGroup1.itemIndex) {
        case 1:
            Declination = 0.0;
            break;
        case 2:
            Declination = kSolsticeDeclination;
            break;
        default:
            Declination = -kSolsticeDeclination;
            break;
    }
}

void TForm1::RadioGroup2Click() {
    const bool tables = RadioGroup2.itemIndex != 0;
    for (TCheckBox *c : {&CheckBox3, &CheckBox6, &CheckBox5, &CheckBox7}) c->enabled = tables;
    RadioGroup4.itemIndex = RadioGroup2.itemIndex;
}

void TForm1::RadioGroup4Click() {
    RadioGroup2.itemIndex = RadioGroup4.itemIndex;
    const bool tables = RadioGroup2.itemIndex != 0;
    for (TCheckBox *c : {&CheckBox3, &CheckBox6, &CheckBox5, &CheckBox7}) c->enabled = tables;
}

// ---- Command-level interface ---------------------------------------------------------------

TButton &TForm1::CommandButton(FormCommand command) {
    switch (command) {
        case FormCommand::Acquire:
            return Button2;
        case FormCommand::TimeOfDay:
            return Button3;
        case FormCommand::Isochrone:
            return Button6;
        case FormCommand::PreviewToDrawing:
            return SpeedButton2;
        case FormCommand::TrueNorth:
            return SpeedButton1;
        case FormCommand::RatioTable:
            return SpeedButton3;
        case FormCommand::RatioTableToDrawing:
            return SpeedButton5;
    }
    throw std::invalid_argument("unknown command");
}

CommandOutcome TForm1::RunCommand(FormCommand command) {
    if (!CommandButton(command).enabled) return CommandOutcome::NotAvailable;
    switch (command) {
        case FormCommand::Acquire:
            Button2Click();
            break;
        case FormCommand::TimeOfDay:
            Button3Click();
            break;
        case FormCommand::Isochrone:
            Button6Click();
            break;
        case FormCommand::PreviewToDrawing:
            SpeedButton2Click();
            break;
        case FormCommand::TrueNorth:
            SpeedButton1Click();
            break;
        case FormCommand::RatioTable:
            SpeedButton3Click();
            break;
        case FormCommand::RatioTableToDrawing:
            SpeedButton5Click();
            break;
    }
    return CommandOutcome::Ran;
}

void TForm1::StopCommand() {
    RunFlag = false;
}

void TForm1::Button10Click() {
    RunFlag = false;
}

void TForm1::Button7Click() {
    RunFlag = false;
}

void TForm1::Button23Click() {
    if (Button23.caption == "中止") {
        RunFlag = false;
        return;
    }
    // Recomputing the point times belongs to the specific-point commands.
}

void TForm1::PageControl1Change(int newIndex) {
    PageControl1.activePageIndex = newIndex;
    if (newIndex == 1) {
        ProgressDetail = false;
        if (Button6.enabled) CheckListBox1Click();
    } else if (newIndex == 7) {
        SpeedButton3Click();
    }
}

int TForm1::MeshSize(int index) const {
    if (index < 0 || index >= static_cast<int>(MeshSizeTable.size())) return MeshSizeTable[3];
    return MeshSizeTable[static_cast<size_t>(index)];
}

bool TForm1::KeyPress(std::string_view field, char32_t key) {
    const FieldKeyRule rule = KeyRuleOf(field);
    if (!AcceptsKey(rule.keys, key)) return false;
    if (key != kKeyEnter) return true;
    switch (rule.enter) {
        case EnterRule::Focus:
            ActiveControl = rule.next;
            return false;
        case EnterRule::Discard:
            return false;
        case EnterRule::Handler:
        case EnterRule::Pass:
            return true;
    }
    return true;
}

void TForm1::ComboBox1Change() {
    const int i = ComboBox1.itemIndex;
    if (i < 0 || i >= static_cast<int>(ComboBox1.items.size())) return;
    const LatitudeTexts t = LatitudeOfCityLine(ComboBox1.items[static_cast<size_t>(i)]);
    Edit3.text = t.degrees;
    Edit5.text = t.minutes;
    Edit23.text = t.seconds;
}

void TForm1::SpeedButton6Click() {
    Edit49.text = DmsToDecimalText(Edit46.text, Edit47.text, Edit48.text);
}

void TForm1::SpeedButton7Click() {
    const LatitudeTexts t = DecimalToDmsTexts(Edit49.text);
    Edit46.text = t.degrees;
    Edit47.text = t.minutes;
    Edit48.text = t.seconds;
}

void TForm1::SpeedButton4Click() {
    TargetCADForm.FormShow(ProgID);
    host_.ShowModal("TargetCADForm");
}

TStringGrid &TForm1::PopupGrid() {
    return PageControl1.activePageIndex == 2 ? StringGrid2 : StringGrid1;
}

void TForm1::N1Click() {
    host_.SetClipboardText(GridAsTabText(PopupGrid()));
}

void TForm1::N2Click() {
    ReverseGridRows(PopupGrid());
}

void TForm1::PopupMenu2Popup() {
    std::error_code ec;
    PopupMenu2.Item("N4").enabled = HasBuildingModel();
    PopupMenu2.Item("N8").enabled = std::filesystem::exists(paths_.File(kAcquiredNowFile), ec);
    PopupMenu2.Item("N6").enabled = std::filesystem::exists(paths_.File(kAcquiredBeforeFile), ec);
}

void TForm1::SetUpDownPosition(TUpDown &updown, int position) {
    updown.position = std::clamp(position, updown.min, updown.max);
    if (!updown.associate.empty()) Edit(updown.associate).text = std::to_string(updown.position);
}

}  // namespace pimu::app
