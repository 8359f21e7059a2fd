// The main window as data: every control of the eight tabs under its component name, the
// program-wide state of a run, the start and shut-down sequences, and the rules by which commands
// are enabled, stopped and show their progress. The Qt window and the command line only set
// controls and call handlers; everything here runs headless.
#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/cad_connection.h"
#include "app/command_table.h"
#include "app/control_changes.h"
#include "app/control_table.h"
#include "app/controls.h"
#include "app/form_results.h"
#include "app/inifile.h"
#include "app/input_rules.h"
#include "app/targetcad.h"
#include "app/uihost.h"
#include "base/progress.h"
#include "cadlink/automation.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "geometry/building_model.h"
#include "geometry/entities.h"
#include "geometry/height_check.h"
#include "geometry/shadow_outline.h"
#include "geometry/types.h"
#include "geometry/wireframe.h"
#include "regulation/regulation.h"
#include "shadow/jikoku.h"
#include "shadow/touji.h"
#include "sky/sky_compare.h"
#include "sky/sky_envelope.h"
#include "sky/sky_factor.h"
#include "sky/sky_projection.h"
#include "solar/eqtime.h"
#include "solar/sun.h"

namespace pimu::app {

inline constexpr const char *kAppTitle = "Pimu2024 Beta";
inline constexpr const char *kFormCaption = "Pimu2024.09.14 Beta";
inline constexpr const char *kDefaultProgID = "BricscadApp.AcadApplication";
inline constexpr const char *kCityListFile = "pimu_ido.txt";
inline constexpr const char *kAcquiredNowFile = "dxfnow.dxf";
inline constexpr const char *kAcquiredBeforeFile = "dxfpre.dxf";
// The optional equation-of-time tables beside the program, one value in minutes a line.
inline constexpr const char *kEqTimeTable2024File = "kinjisa_2024-135.txt";
inline constexpr const char *kEqTimeTable2025File = "kinjisa_2025-135.txt";
inline constexpr const char *kNoCadMessage = "有効な CAD が見つかりません．";
// The entities that give the buildings no height, each named by kind, handle and layer, with how
// to give them one (the window's words; `english` for the command line's).
std::string WithoutHeightMessage(const std::vector<geometry::HeightFinding> &findings,
                                 bool english = false);
// The local calendar date of now.
std::chrono::year_month_day LocalToday();
// 23.45 degrees: the declination of the solstices.
inline constexpr double kSolsticeDeclination = 0.40927970959267024;

// Where the program's files are. Front ends default programFolder to the executable's folder.
struct FormPaths {
    FormPaths() = default;
    explicit FormPaths(std::filesystem::path folder, std::string exe = "pimu",
                       std::optional<std::filesystem::path> settings = std::nullopt)
        : programFolder(std::move(folder)),
          executableName(std::move(exe)),
          settingsFile(std::move(settings)) {}

    std::filesystem::path programFolder;
    std::string executableName = "pimu";                // its base name names the settings file
    std::optional<std::filesystem::path> settingsFile;  // overrides "<executable>.ini"

    std::filesystem::path SettingsFile() const;
    std::filesystem::path File(std::string_view name) const { return programFolder / name; }
};

// The three kinds of long command and their busy states.
// The arrow of an up-down control that was pressed.
enum class UpDownButton { Next, Previous };

enum class LongCommand {
    TimeOfDay,   // Button3; stopped by Button10
    Isochrone,   // Button6 and the wall commands of Button5; stopped by Button7
    PointTimes,  // Button23 and the specific-point commands; stopped by Button7 or Button23
};

class TForm1;
struct WallFields;

// Puts the window into a command's busy state and gives it back when it goes out of scope, also
// when the command stops or throws.
class BusyScope {
public:
    BusyScope(TForm1 &form, LongCommand command);
    ~BusyScope();
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    TForm1 &form_;
    LongCommand command_;
};

// Minimises the main window for a pick in the CAD and restores it afterwards, also on errors.
class MinimizedWindow {
public:
    explicit MinimizedWindow(UiHost &host) : host_(host) { host_.MinimizeMainWindow(); }
    ~MinimizedWindow() { host_.RestoreMainWindow(); }
    MinimizedWindow(const MinimizedWindow &) = delete;
    MinimizedWindow &operator=(const MinimizedWindow &) = delete;

private:
    UiHost &host_;
};

// The window's progress bar, status label and run flag as the computations' one progress type.
// KeepRunning lets the window process its pending events and answers RunFlag; with `escOnStop`
// (the isochronal and wall commands) a cleared flag also runs RunEsc. Status texts go to Label2
// behind `statusPrefix`.
class FormProgress : public Progress {
public:
    explicit FormProgress(TForm1 &form, bool escOnStop = false, std::string statusPrefix = {});
    void Start(int maximum) override;
    void Position(int position) override;
    void Status(const std::string &text) override;
    bool KeepRunning() override;

protected:
    TForm1 &form_;
    bool escOnStop_;
    std::string statusPrefix_;
};

// A field's value that no command can work with; what() is the message for the user, naming the
// field and the range it must lie in.
class FieldRangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The fields every shadow command reads from the time-of-day tab, read and checked once.
struct CommonFields {
    double North = 90.0;       // Edit12, degrees counter-clockwise from +x
    double Latitude = 36.0;    // Edit3, Edit5, Edit23 as decimal degrees
    double PlaneHeight = 0.0;  // Edit4 in mm
    double Start = 8.0;        // Edit2, hours
    double End = 16.0;         // Edit7, hours
    solar::StandardTime Time;  // CheckBox13, Edit43, Edit44
    solar::SolarState Sun;     // of the chosen day (RadioGroup1)
};

// How RunCommand went.
enum class CommandOutcome {
    Ran,           // the handler ran (it may have shown messages)
    NotAvailable,  // its button is disabled now
};

class TForm1 {
public:
    // `cad` may be null where no CAD link exists (tests of the window alone).
    TForm1(FormPaths paths, UiHost &host, CadConnection *cad = nullptr);
    TForm1(const TForm1 &) = delete;
    TForm1 &operator=(const TForm1 &) = delete;

    // ---- Start and shut-down ------------------------------------------------------------
    void FormCreate();
    // Saves the settings (a failure is shown and leaves the old file), then revokes the filter.
    void FormDestroy();

    // Settings file: read fills the controls, write stores them. WriteSettings throws FileError.
    void ReadSettings();
    void WriteSettings();
    // Keeps the settings in memory instead of the file (a front end that must not write the
    // user's file): ReadSettings reads `ini`, WriteSettings writes into it. Before FormCreate.
    void KeepSettingsInMemory(IniFile ini) { memorySettings_ = std::move(ini); }
    // The settings kept in memory, as WriteSettings last left them; null when they go to a file.
    const IniFile *SettingsInMemory() const {
        return memorySettings_ ? &*memorySettings_ : nullptr;
    }
    // The controls' values written into `ini` (keys Pimu does not know stay as they are).
    void StoreSettings(IniFile &ini) const;

    // ---- Controls by component name ----------------------------------------------------
    Control *FindControl(std::string_view name);
    template <class T>
    T &Get(std::string_view name) {
        Control *c = FindControl(name);
        auto *typed = dynamic_cast<T *>(c);
        if (!typed) throw std::out_of_range("no such control: " + std::string(name));
        return *typed;
    }
    TEdit &Edit(std::string_view name) { return Get<TEdit>(name); }
    TCheckBox &CheckBox(std::string_view name) { return Get<TCheckBox>(name); }
    TButton &Button(std::string_view name) { return Get<TButton>(name); }
    TRadioGroup &RadioGroup(std::string_view name) { return Get<TRadioGroup>(name); }
    TLabel &Label(std::string_view name) { return Get<TLabel>(name); }
    const std::vector<Control *> &AllControls() const { return order_; }
    // A control's value as text, and setting it from text, for the command line and scripts:
    // an edit's text, a check box "1"/"0", a radio group's or combo box's index (or item text),
    // an up-down's position, a check list as "1,0,1,...", a tab index, a label's caption.
    // Throws std::invalid_argument with a message naming the control.
    std::string Value(std::string_view name);
    void SetValue(std::string_view name, std::string_view value);

    // ---- Change notification -------------------------------------------------------------
    // Announces every control whose shown state changed since the last announcement: its
    // Revision() goes up and each observer is called with it. Handlers need not call it: Invoke,
    // SetValue and every visible call to the UiHost (message box, pending events) announce.
    // A front end that writes a control's fields itself calls it afterwards.
    std::vector<const Control *> PublishChanges() { return changes_.Publish(); }
    int Subscribe(ControlChanges::Observer observer) {
        return changes_.Subscribe(std::move(observer));
    }
    void Unsubscribe(int id) { changes_.Unsubscribe(id); }

    // ---- Messages ----------------------------------------------------------------------
    // A message box owned by the main window with the application title as caption.
    MessageResult ShowMessage(std::string_view text, MessageButtons buttons = MessageButtons::Ok);
    UiHost &Host() { return host_; }
    CadConnection *Cad() { return cad_; }
    const FormPaths &Paths() const { return paths_; }

    // ---- Command enabling --------------------------------------------------------------
    void EnableAfterAcquisition();
    void BeginLongCommand(LongCommand command);
    void EndLongCommand(LongCommand command);
    // What the isochronal and wall commands do when they find RunFlag cleared.
    void RunEsc();

    // ---- Progress bar ------------------------------------------------------------------
    void ProgressStart(int maximum);
    // One step: advances the bar, lets the window process pending events, and returns RunFlag
    // (false: the user stopped the command).
    bool ProgressStep();
    // Shows the bar full, then empty.
    void ProgressFinish();

    // ---- Command-level interface of front ends ---------------------------------------------
    // Runs a command as a click on its button would: not at all while the button is disabled.
    // Errors escape as from the handler (front ends wrap it in Invoke or their own handling).
    CommandOutcome RunCommand(FormCommand command);
    // The button a command is started by.
    TButton &CommandButton(FormCommand command);
    // A long command runs (the stop buttons are live).
    bool CommandRunning() const { return RunFlag; }
    // Asks the running command to stop at its next chance, as every stop button does.
    void StopCommand();

    // ---- Command helpers ---------------------------------------------------------------
    // Runs a handler the way the window's default error display would: an exception that
    // escapes it (a field that is not a number, a CAD error) becomes a message box.
    void Invoke(const std::function<void()> &handler);
    // Whether the target CAD runs; when it does not and `tellUser` is set, says so.
    bool CadAvailable(bool tellUser);
    // A field's text as a number; a text that is not one throws InputError naming the field.
    double Number(const TEdit &field) const;
    int Integer(const TEdit &field) const;
    // Sets an up-down within its range and shows the position in its edit.
    void SetUpDownPosition(TUpDown &updown, int position);

    // ---- Input rules -------------------------------------------------------------------
    // A key typed into a field: false when the key is discarded. Enter may move ActiveControl.
    bool KeyPress(std::string_view field, char32_t key);

    // ---- Handlers of the window's own controls ------------------------------------------
    void RadioGroup1Click();  // Declination
    void RadioGroup2Click();  // keeps RadioGroup4 on the same area target
    void RadioGroup4Click();  // keeps RadioGroup2 on the same area target
    void Button10Click();     // stop
    void Button7Click();      // stop
    void Button23Click();     // recompute the point times; stop while it reads "中止"
    void PageControl1Change(int newIndex);
    void ComboBox1Change();    // a city chosen: fills the latitude fields
    void ComboBox2Change();    // a zone chosen: shows its limits and plane height
    void SpeedButton6Click();  // ">" degrees, minutes, seconds to decimal
    void SpeedButton7Click();  // "<" decimal to degrees, minutes, seconds
    void SpeedButton4Click();  // shows the target-CAD dialog
    void N1Click();            // grid to the clipboard
    void N2Click();            // reverse the grid's rows
    void PopupMenu2Popup();    // enables the history menu's items
    void N8Click();            // take the last acquired drawing
    void N6Click();            // take the one before
    // The target CAD chosen in the dialog.
    void ApplyTargetCad(const std::string &name, const std::string &progId);

    // ---- Command handlers -------------------------------------------------------------
    // The drawing commands, each reading its tab's fields into the GB_ copies, checking
    // CadAvailable first and using BusyScope, ProgressStart/ProgressStep and ShowMessage for its
    // run. Front ends call them through Invoke so that an error becomes a message box.
    //
    // Acquisition (cmd_acquire.cpp): the buildings selected on screen in the CAD become the
    // building model; the selection comes from the CAD's user (with the embedded drawing, from
    // its input source). Each acquisition keeps its entities as "dxfnow.dxf" (the one before as
    // "dxfpre.dxf"), which N8Click and N6Click bring back.
    void Button2Click();
    // Rebuilds the model from entity arrays as the reader fills them (the end of an acquisition).
    // No stop button is live meanwhile, but the front end may ask to stop (UiHost::StopRequested,
    // the command line's Ctrl-C): a stop in the conversion keeps the model there was, one in the
    // preview leaves the preview empty.
    void AcquireFromEntities();
    // Empties the entity arrays the conversion consumed.
    void ClearAryEnt();
    // Wireframe preview (cmd_preview.cpp). DrawWaku3D fills Image2Picture; with makeDxf it also
    // draws the picture into the CAD as a block the user places. A stop the progress asks for
    // leaves the preview empty and draws nothing.
    void DrawWaku3D(bool makeDxf, Progress &progress = NoProgress());
    void UpDown3Click(UpDownButton button);  // turn about the vertical axis
    void UpDown4Click(UpDownButton button);  // tilt
    void CheckBox1Click();                   // foot lines on or off (set CheckBox1 first)
    void SpeedButton2Click();                // the preview into the drawing
    void SpeedButton1Click();                // true north from an angle picked in the CAD
    // Time-of-day shadow diagram (cmd_jikoku.cpp).
    void Button3Click();
    void DrawPimuLine();
    void Button17Click();  // animation: not offered
    // The ground extent of the shadows over the day at whole hours; false (outputs unchanged)
    // without a model. Reads the time-of-day tab's fields.
    bool GetPimuHani(double &xmin, double &ymin, double &xmax, double &ymax);

    // ---- Helpers of the drawing commands ------------------------------------------------
    // The fields of the time-of-day tab every shadow command shares, into the GB_ copies,
    // Declination, UseStdTime, Longitude and EqOfTime. Throws InputError naming the field for a
    // text that is not a number or a latitude outside -90..90; a latitude outside Japan (20..46)
    // is said once per value in a message box, and the command goes on.
    CommonFields ReadCommonFields();
    // The latitude fields (Edit3, Edit5, Edit23) into the GB_ copies, as decimal degrees; throws
    // InputError or FieldRangeError (outside -90..90).
    double ReadLatitude();
    // Says once per value that a latitude lies outside Japan (20..46 degrees); the command goes on.
    void WarnOutsideJapan(double latitude);
    // The user's words for time-of-day inputs (Edit2, Edit7, Edit11) that no instants can be made
    // for; the wall shadow lines share them.
    std::string JikokuCheckMessage(shadow::JikokuCheck check) const;
    // The running CAD's application, brought to the front (a running CAD command cancelled).
    cadlink::ApplicationPtr AttachCad();
    // Everything InsertDxf needs: waits through the connection's sleeper, a stop that processes
    // pending events and looks at RunFlag, and the main window minimised and restored.
    cadlink::InsertContext InsertContextFor(cadlink::IApplication &app);
    // WriteDxfFile into the program folder with the connection's sleeper.
    std::filesystem::path WriteDxf(cadlink::DxfText &list, std::string_view prefix,
                                   cadlink::IDocument &doc);
    // An equation-of-time plot's lines into model space, its largest difference into Label65.
    void DrawEqTimePlot(const solar::EqTimePlot &plot);
    // The isochronal raster, allocated on first use (2000 x 2000 counters).
    shadow::ShadowCountGrid &CountGrid();
    bool HasBuildingModel() const { return !Model.Empty(); }
    // Whether every acquired building entity gives a height (BuildingsWithoutHeight is empty);
    // when not, says which do not and how to give them one. Every command that computes from the
    // buildings asks this first.
    bool BuildingsHaveHeight();
    // Isochronal shadow diagram (cmd_touji.cpp). Button6Click checks the model and the CAD and
    // runs DrawToujikan5A under the isochrone busy state; Button7Click stops it.
    void Button6Click();
    void DrawToujikan5A();
    // The isochronal inputs of the tab (common fields, interval, hours, smoothing). Throws
    // InputError as ReadCommonFields, and for an interval index the window does not offer.
    shadow::ToujiInputs ReadToujiInputs(solar::SolarState &sun);
    // Tells the user of the hours whose tracing ended early, one message box each ("Pimu").
    void ShowToujiIssues(const std::vector<shadow::HourIssue> &issues);
    // The mesh-size preview: reruns the extent pass when the first checked hour or the
    // evaluation interval changed, and shows the fine cell size in Label22. Only while Button6
    // is enabled.
    void CheckListBox1Click();
    void RadioGroup5Click();
    // Wall shadows (cmd_wall.cpp). Button5Click reads and checks the fields, asks for the wall
    // line in the CAD, makes WallLine of it and, when both parts succeed, inserts the elevation
    // with the wall shadow lines (DrawKabeLine) and the wall isochrones (DrawKabeTouji) on the
    // wall line (CheckBox4; as a block with CheckBox12) or where the user places it.
    void Button5Click();
    bool DrawKabeLine(cadlink::DxfText &sl, const WallFields &fields);
    bool DrawKabeTouji(cadlink::DxfText &sl, const WallFields &fields);
    void SpeedButton3Click();  // refills Memo1 with the shadow ratio table
    void SpeedButton5Click();  // draws Memo1 as a ruled table the user places (cmd_ratiotable.cpp)
    void CheckBox14Click();    // degrees, minutes, seconds on or off (set CheckBox14 first)
    void CheckBox15Click();    // 3 decimals on or off (set CheckBox15 first)
    // Deemed boundary lines (cmd_boundary.cpp): the site outline selected on screen, the lines
    // 5 m and 10 m outside it inserted at the origin; a site that does not close is said on the
    // CAD's command line.
    void Button20Click();
    // Asks for the site's lines on screen (the window minimized meanwhile) and reads them into
    // `site`; the count read, 0 when the selection was cancelled or failed.
    int SelectSiteLines(cadlink::IDocument &doc, geometry::EntityArrays &site);
    // The shadow-regulation check (cmd_regulation.cpp): the site lines selected on screen, the
    // acquired buildings, the zone of ComboBox2 (or the limits and plane height of Edit50 to
    // Edit52 for 直接指定) at the step of Edit53, the sides facing a road or river of the width
    // of Edit54 picked after the site (none when it is 0). Runs under the isochrone busy state
    // (Button7 stops it), draws the lines, regions, crossings and the result table on their layers
    // (inserted exploded at the origin), shows the verdict in Label66 and keeps the result in
    // LastRegulation. Without buildings it says so and asks for nothing.
    void Button26Click();
    // The zone, limits, plane height and step of the check as the tab gives them, with the open
    // sides of RegulationOpenSides. Throws InputError naming a field that is not a number and
    // FieldRangeError for a zone index the list does not have.
    regulation::RegulationInputs ReadRegulationInputs() const;
    // The width of Edit54 in mm (0: no open side is picked); FieldRangeError below 0.
    double ReadOpenSideWidth() const;
    // Edit50 to Edit52 are open for typing only while 直接指定 is chosen.
    void ShowRegulationFields();
    // The sky-factor comparison (cmd_skycompare.cpp): the site lines selected on screen, then the
    // sides facing a road picked one by one (width Edit55, setback Edit56; Enter ends), or the
    // roads of SkyCompareRoads when a front end gave them. At the statutory points of the limits
    // checked (CheckBox18 to CheckBox20) of the zone group of ComboBox3 (applicable distance
    // Edit57), the planned buildings' 計画 against the conforming buildings' 適合, on the map
    // size 再計算 uses. Draws the points, the conforming buildings and the table on their layers
    // (inserted exploded at the origin), shows the verdict in Label67 and keeps the result in
    // LastSkyComparison.
    void Button27Click();
    // The sky maps of the comparison's point of the smallest margin: the planned buildings with
    // their 計画 triangles centred at `at`, the conforming building with its 適合 triangles
    // `pitch` to the right.
    struct SkyCompareRun;
    void DrawSmallestMarginMaps(const SkyCompareRun &run, int typ, geometry::TAcadPoint at,
                                double pitch);
    // Equation-of-time tools on hidden controls (cmd_eqtime.cpp). Button19Click writes the
    // equation of time of Today() plus Edit1 days into Edit45; ChihouTaiyoujiClick shows the
    // standard time of true solar noon at Edit43 / Edit44; Button1Click plots the two tables
    // beside the program against each other, Button25Click the formula against the 2025 table
    // (nothing when a table is missing), with the largest difference in Label65.
    void Button19Click();
    void ChihouTaiyoujiClick();
    void Button1Click();
    void Button25Click();
    // The measurement point list (cmd_sky.cpp). Button9Click (再計算) computes the sky factors of
    // every row of StringGrid1 (計画, 適合 and the exact 精算) with the map type of the larger
    // radius; a coordinate or height cell that is not a number stops it before anything is
    // computed, with a message naming the cell.
    void Button9Click();
    void StringGrid1Click();  // the selected row's label and height into Edit10 and Edit26
    void Edit10Change();      // Edit10 into the selected row's label
    void Edit26Change();      // Edit26 into the selected row's height; the drawing buttons wait
    // Keys typed into Edit10 / Edit26: false when the key is discarded (Enter moves on).
    bool Edit10KeyPress(char32_t key);
    bool Edit26KeyPress(char32_t key);
    void SpeedButton8Click();  // the CAD's DIMSCALE into Edit19
    // Whether a row of StringGrid1 holds a point (X and Y both filled).
    bool SkyRowHasPoint(int row) const;
    // MENTAKA as the plane height in mm: empty is 0; a text that is not a number throws
    // InputError naming the field.
    double MentakaHeight() const;
    // Specific points (cmd_tokutei.cpp). TempPointsToSG fills StringGrid2 (sgno != 0) or
    // StringGrid1 (0) from Workspace.TempPoints (duplicates dropped, sorted along the longer side
    // of their extent) and empties it.
    void TempPointsToSG(int sgno);
    // Continuous picking (sender Button21, or Button12 for StringGrid1), then the times (or
    // SkyPointsRecompute).
    void Button21Click() { Button21Click(Button21); }
    void Button21Click(const TButton &sender);
    // Picking by circle and text marks (sender Button22, or Button16 for StringGrid1).
    void Button22Click() { Button22Click(Button22); }
    void Button22Click(const TButton &sender);
    // The shadow times of every StringGrid2 row with coordinates into columns 4 to 10. False when
    // nothing was computed (no model, a refused field or cell) or the run was stopped.
    bool GetTokuteiJikan();
    void Button15Click();     // the summary block, after the checks of Button23
    void DrawNiniText();      // the summary block placed by the user, as single texts
    void StringGrid2Click();  // the selected row's name into Edit41
    void Edit41Change();      // Edit41 into the selected row's name
    void Edit6Change();       // a new plane height: Button15 waits for a recomputation
    // Sky maps (cmd_skymap.cpp). Button8Click (測定点指示; Button8 type A, Button11 type B): the
    // point picked in the CAD, named by a text within 1000 units, drawn; a cancelled pick draws
    // nothing. Button13Click (作図; Button13 A, Button14 B): the selected row of StringGrid1.
    // Button18Click (一括; Button18 A, Button24 B): every row, the first map at a picked centre,
    // the next ones the batch pitch further in +x. The AREA target is refused with a message.
    void Button8Click(const TButton &sender);
    void Button13Click(const TButton &sender);
    void Button18Click(const TButton &sender);
    // One map of IDPOINT1: placed by the user (InsertFlag) or at insertVpt, then its outline,
    // overlay and (placed by the user) the triangle and position tables. The result is empty.
    // `buildings`, when given, stands for the acquired model (the sky-factor comparison draws the
    // planned and the conforming buildings' maps).
    std::string MakeTenkuzu(int typ, bool InsertFlag, geometry::TAcadPoint insertVpt,
                            const geometry::BuildingModel *buildings = nullptr);
    // Where the triangle area table and the position table of a type `typ` map centred at `at`
    // go when no user places them: right of the circle, their headings level with its top (a
    // field that is no number counts as 0).
    std::array<geometry::TAcadPoint, 2> SkyMapTablePlaces(int typ, geometry::TAcadPoint at) const;
    // What Button12 and Button16 start once StringGrid1 is filled: the sky-factor recomputation
    // (再計算). A front end may replace it.
    std::function<void()> SkyPointsRecompute = [this] { Button9Click(); };

    // ---- Window ----------------------------------------------------------------------
    std::string Caption = kFormCaption;
    int Left = 0;
    int Top = 0;
    int Width = 428;  // the outer size of a 412 x 335 client area with a single border
    int Height = 374;
    bool StayOnTop = false;
    std::string ActiveControl;  // the focused control's name

    // ---- Program-wide state of a run -----------------------------------------------------
    bool RunFlag = false;
    // The clock of the elapsed-time labels; tests may replace it.
    std::function<std::chrono::steady_clock::time_point()> ElapsedClock = [] {
        return std::chrono::steady_clock::now();
    };
    // Today's date for the equation-of-time calculator; tests and the command line may replace it.
    std::function<std::chrono::year_month_day()> Today = LocalToday;
    bool ProgressDetail = false;
    std::string ProgID = kDefaultProgID;
    double Declination = -kSolsticeDeclination;
    int ScalePercent = 100;
    std::array<int, 4> MeshSizeTable{};
    std::array<int, 4> IntervalTable{};
    int GB_toujiidx = -1;
    int GB_hyoukaidx = -1;
    // The last wall picked by Button5Click (top heights in z, thickness in atumi).
    geometry::TLineEnt WallLine;
    geometry::TAcadPoint IDPOINT1;
    geometry::TAcadPoint IDPOINT2;
    // Copies of the inputs, taken when a command starts.
    double GB_kita = 90.0;
    double GB_idodo = 36.0;
    double GB_idohun = 0.0;
    double GB_idobyou = 0.0;
    double GB_takasa = 0.0;
    int GB_kisetu = 0;
    double GB_kaisi = 8.0;
    double GB_owari = 16.0;
    std::string MENTAKA;     // sky measurement plane height as text
    std::string GB_TenMeiA;  // label printed on type A sky maps
    std::string GB_TenMeiB;  // label printed on type B sky maps
    // Start values of the true-solar-time tools, from the hidden longitude and
    // equation-of-time fields.
    bool UseStdTime = false;
    double Longitude = 135.0;
    double EqOfTime = 1.896;

    // The sides of the site that face a road, river or the like, for the regulation check
    // (the window has none; the command line fills them).
    std::vector<regulation::OpenSide> RegulationOpenSides;
    // The result of the last regulation check that ran to its end; empty before one and after
    // one that failed or was stopped.
    std::optional<regulation::RegulationResult> LastRegulation;
    // The roads of the sky-factor comparison when a front end gives them (the window picks them):
    // a point near the side, the road's width and the setback (mm).
    struct SkyCompareRoad {
        geometry::TAcadPoint Near;
        double Width = 0.0;
        double Setback = 0.0;
    };
    std::vector<SkyCompareRoad> SkyCompareRoads;
    // The last comparison that ran to its end, with the site and rules it used.
    struct SkyCompareRun {
        sky::CompareSite Site;
        sky::SlantRules Rules;
        sky::SkyComparison Result;
    };
    std::optional<SkyCompareRun> LastSkyComparison;
    // The texts and rows of the commands that present them, as their handlers computed them.
    FormResults Results;

    // ---- Building model and work arrays ----------------------------------------------------
    // The model (AryTatemono, gbzmax), replaced only by an acquisition.
    geometry::BuildingModel Model;
    // The model the shadow diagrams cast: Model, or with CheckBox17 every volume standing on the
    // ground (the reading before raised volumes cast their true shadow).
    geometry::BuildingModel ShadowModel() const {
        return CheckBox17.checked ? geometry::StandingOnGround(Model) : Model;
    }
    // The acquired entities that give no height (geometry::FindEntitiesWithoutHeight).
    std::vector<geometry::HeightFinding> BuildingsWithoutHeight;
    // AryLine, AryRinkaku, TempPoints and the trace state of the polygon operations.
    geometry::PolygonWorkspace Workspace;
    // What the entity reader filled (AryLine holds the acquisition's edges afterwards).
    geometry::EntityArrays Entities;

    // ---- Wireframe preview ---------------------------------------------------------------
    int GB_Draw3dHdeg = 315;  // turn about the vertical axis, degrees
    int GB_Draw3dVdeg = 60;   // tilt, degrees
    double GB_cvsc = 0.0;     // drawing units per pixel; 0: choose at the next drawing
    double GB_xcen = 0.0;
    double GB_ycen = 0.0;
    // What Image2 shows (214 x 212, black, coloured lines); a front end paints it.
    geometry::PreviewPicture Image2Picture;

    // Raster size of a mesh index (-1 means the smallest).
    int MeshSize(int index) const;

    // ---- Controls: one typed member per row of the control table (control_table.h) ----------
#define PIMU_DECLARE_CONTROL(Type, Member, ...) Type Member{#Member};
    PIMU_FORM_CONTROLS(PIMU_DECLARE_CONTROL)
#undef PIMU_DECLARE_CONTROL

    // The target-CAD dialog, created with the window and shown modally by SpeedButton4.
    TTargetCADForm TargetCADForm;

private:
    struct SkyMapFields;
    // The fields one sky map reads; throws InputError or FieldRangeError naming a bad one.
    SkyMapFields ReadSkyMapFields(int typ);
    void InsertLineEnt(const SkyMapFields &f, bool InsertFlag, const sky::TenkuRituResult &ritu,
                       const sky::SkyEnvelope &exact, std::vector<sky::TTateiti> &AryTateiti);
    void DrawTateiti(const SkyMapFields &f, std::vector<sky::TTateiti> &AryTateiti);
    void InitControls();
    void Register(Control &c);
    void SetupGrids();
    void LoadCityList();
    void LookupTargetCad();
    // Enables or disables the named buttons.
    void SetEnabled(std::initializer_list<TButton *> buttons, bool enabled);
    TStringGrid &PopupGrid();
    void TakeHistoryDrawing(const char *file);
    void StoreAcquisitionHistory();

    ControlChanges changes_;
    AnnouncingHost announcing_;  // the front end's host; announces changes first
    FormPaths paths_;
    UiHost &host_;
    CadConnection *cad_;
    std::map<std::string, Control *, std::less<>> byName_;
    std::vector<Control *> order_;
    std::unique_ptr<shadow::ShadowCountGrid> countGrid_;
    std::optional<IniFile> memorySettings_;  // KeepSettingsInMemory
    // The stop test of the CAD waits: processes pending events, stops once RunFlag is cleared.
    FormProgress cadWait_{*this};
    // The latitude outside Japan last said so (NaN: none yet).
    double latitudeWarned_ = std::numeric_limits<double>::quiet_NaN();
};

}  // namespace pimu::app
