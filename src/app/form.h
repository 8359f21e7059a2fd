// The main window as data: every control of the eight tabs under its component name, the
// program-wide state of a run, the start and shut-down sequences, and the rules by which commands
// are enabled, stopped and show their progress. The Qt window and the command line only set
// controls and call handlers; everything here runs headless.
#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/cad_connection.h"
#include "app/control_changes.h"
#include "app/control_table.h"
#include "app/controls.h"
#include "app/input_rules.h"
#include "app/targetcad.h"
#include "app/uihost.h"
#include "cadlink/automation.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "geometry/building_model.h"
#include "geometry/entities.h"
#include "geometry/shadow_outline.h"
#include "geometry/types.h"
#include "geometry/wireframe.h"
#include "shadow/touji_contour.h"
#include "shadow/touji_raster.h"

namespace pimu::app {

inline constexpr const char *kAppTitle = "Pimu2024 Beta";
inline constexpr const char *kFormCaption = "Pimu2024.09.14 Beta";
inline constexpr const char *kDefaultProgID = "BricscadApp.AcadApplication";
inline constexpr const char *kCityListFile = "pimu_ido.txt";
inline constexpr const char *kAcquiredNowFile = "dxfnow.dxf";
inline constexpr const char *kAcquiredBeforeFile = "dxfpre.dxf";
inline constexpr const char *kNoCadMessage = "有効な CAD が見つかりません．";
inline constexpr const char *kNegativeCoordinateMessage =
    "マイナスの座標が含まれています．\n日影図、天空図が正しく作成されない可能性があります．";
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

// Progress of the shared polygon routines: at most 100 steps however many items they handle, and
// nothing at all unless ProgressDetail is set. Call once per item.
class DetailProgress {
public:
    DetailProgress(TForm1 &form, int items);
    // One item done. Returns RunFlag after a step, true between steps and when inactive.
    bool operator()();
    int Maximum() const { return maximum_; }

private:
    TForm1 *form_;
    bool active_;
    int maximum_ = 0;
    int every_ = 1;
    int count_ = 0;
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
    void Button23Click();     // stop while its caption reads "中止"
    void PageControl1Change(int newIndex);
    void ComboBox1Change();    // a city chosen: fills the latitude fields
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
    void AcquireFromEntities();
    // Empties the entity arrays the conversion consumed.
    void ClearAryEnt();
    // Wireframe preview (cmd_preview.cpp). DrawWaku3D fills Image2Picture; with makeDxf it also
    // draws the picture into the CAD as a block the user places.
    void DrawWaku3D(bool makeDxf);
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
    // The running CAD's application, brought to the front (a running CAD command cancelled).
    cadlink::ApplicationPtr AttachCad();
    // Everything InsertDxf needs: waits through the connection's sleeper, a stop that processes
    // pending events and looks at RunFlag, and the main window minimised and restored.
    cadlink::InsertContext InsertContextFor(cadlink::IApplication &app);
    // WriteDxfFile into the program folder with the connection's sleeper.
    std::filesystem::path WriteDxf(cadlink::DxfText &list, std::string_view prefix,
                                   cadlink::IDocument &doc);
    // The isochronal raster, allocated on first use (2000 x 2000 counters).
    shadow::ShadowCountGrid &CountGrid();
    bool HasBuildingModel() const { return !Model.Empty(); }
    // Isochronal shadow diagram (cmd_touji.cpp). Button6Click checks the model and the CAD and
    // runs DrawToujikan5A under the isochrone busy state; Button7Click stops it.
    void Button6Click();
    void DrawToujikan5A();
    // The hour loop of DrawToujikan5A over the counted CountGrid(): the outlines of every checked
    // hour, with the progress bar, Label2, the stop test (RunEsc when stopped) and the messages
    // of the tracing shown as they arise. `started` is when the command began.
    shadow::ContourRun TraceToujiHours(const shadow::RasterGeometry &raster,
                                       const shadow::ContourSettings &settings,
                                       std::chrono::steady_clock::time_point started);
    // The mesh-size preview: reruns the extent pass when the first checked hour or the
    // evaluation interval changed, and shows the fine cell size in Label22. Only while Button6
    // is enabled.
    void CheckListBox1Click();
    void RadioGroup5Click();
    void SpeedButton3Click();  // refills Memo1 with the shadow ratio table
    void SpeedButton5Click();  // draws Memo1 as a ruled table the user places (cmd_ratiotable.cpp)

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
    bool ProgressDetail = false;
    std::string ProgID = kDefaultProgID;
    double Declination = -kSolsticeDeclination;
    int ScalePercent = 100;
    std::array<int, 4> MeshSizeTable{};
    std::array<int, 4> IntervalTable{};
    int GB_toujiidx = -1;
    int GB_hyoukaidx = -1;
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
    std::string MENTAKA;  // sky measurement plane height as text
    // Start values of the true-solar-time tools, from the hidden longitude and
    // equation-of-time fields.
    bool UseStdTime = false;
    double Longitude = 135.0;
    double EqOfTime = 1.896;

    // ---- Building model and work arrays ----------------------------------------------------
    // The model (AryTatemono, gbzmax), replaced only by an acquisition.
    geometry::BuildingModel Model;
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
};

}  // namespace pimu::app
