#include "app/form.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>

#include "app/textfile.h"
#include "base/error_text.h"
#include "base/numconv.h"
#include "shadow/touji_raster.h"

namespace pimu::app {

std::filesystem::path FormPaths::SettingsFile() const {
    if (settingsFile) return *settingsFile;
    return programFolder / (std::filesystem::path(executableName).stem().string() + ".ini");
}

TForm1::TForm1(FormPaths paths, UiHost &host, CadConnection *cad)
    : TargetCADForm(paths.File(kTargetCadFile), host, *this),
      announcing_(host, changes_),
      paths_(std::move(paths)),
      host_(announcing_),
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
#define PIMU_CONTROL_MEMBER(Type, Member, ...) &Member,
    Control *const members[] = {PIMU_FORM_CONTROLS(PIMU_CONTROL_MEMBER)};
#undef PIMU_CONTROL_MEMBER
    static_assert(std::size(members) == std::size(kFormControls));
    for (std::size_t i = 0; i < std::size(members); ++i) {
        members[i]->Apply(kFormControls[i]);
        Register(*members[i]);
    }
    changes_.Watch(order_);
}

// ---- Start and shut-down ------------------------------------------------------------------

void TForm1::FormCreate() {
    ScalePercent = host_.DisplayScalePercent().value_or(100);
    if (ScalePercent <= 0) ScalePercent = 100;

    ProgID = kDefaultProgID;
    // The isochrones' own tables: raster sizes and seconds per instant of each interval choice.
    std::ranges::copy(shadow::MeshSizeTable, MeshSizeTable.begin());
    std::ranges::copy(shadow::IntervalTable, IntervalTable.begin());

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
    ShowRegulationFields();
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

    // Row heights follow the display scale; the column width follows the row height.
    StringGrid2.defaultRowHeight = 19 * scale / 100;
    StringGrid2.defaultColWidth =
        static_cast<int>(StringGrid2.defaultRowHeight / 19.0 * 70.0 + 0.5);
    StringGrid2.SetColWidth(0, scale * 35 / 100);
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
                &Button22, &Button12, &Button16, &Button20, &Button18, &Button24, &Button26,
                &Button27, &SpeedButton8, &SpeedButton1},
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
                        &Button9, &Button11, &Button26, &Button27},
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
                        &Button9, &Button11, &Button26, &Button27},
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
                &Button6, &Button26, &Button27},
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
        ShowMessage(UserMessage(e, true));
    }
    PublishChanges();
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
#define PIMU_COMMAND_BUTTON(Id, Button, ...) \
    case FormCommand::Id:                    \
        return Button;
        PIMU_FORM_COMMANDS(PIMU_COMMAND_BUTTON)
#undef PIMU_COMMAND_BUTTON
    }
    throw std::invalid_argument("unknown command");
}

CommandOutcome TForm1::RunCommand(FormCommand command) {
    if (!CommandButton(command).enabled) return CommandOutcome::NotAvailable;
    TForm1 &f = *this;
    switch (command) {
#define PIMU_COMMAND_RUN(Id, Button, Run, ...) \
    case FormCommand::Id:                      \
        Run;                                   \
        break;
        PIMU_FORM_COMMANDS(PIMU_COMMAND_RUN)
#undef PIMU_COMMAND_RUN
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
