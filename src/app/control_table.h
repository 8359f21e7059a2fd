// The one table of the main window's controls. Each row is one control: its component name (the
// member of TForm1 and the object name of its widget), where it sits (tab and group), its kind,
// what it shows at first (caption, hint, items, default value, enabled, visible), the settings
// key that keeps it between runs, and what it means. The form declares its members, registers
// them and sets them up from this table; the settings file is read and written from it; a front
// end builds its widgets from it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/controls.h"
#include "app/input_rules.h"

namespace pimu::app {

// One control. Fields a row leaves out keep the defaults below.
struct ControlEntry {
    std::string_view member;          // the member of TForm1
    ControlKind kind;                 // from the member's type
    std::string_view component = {};  // the component name where it is no C++ name
    int tab = -1;                     // page of PageControl1; -1: on the window itself
    std::string_view group = {};      // the group box or panel it sits in; empty: on its tab
    std::string_view caption = {};    // caption; of an edit, the label before it
    std::string_view suffix = {};     // of an edit, the label after it (a unit)
    std::string_view hint = {};       // tool tip
    std::string_view text = {};       // default text of an edit or combo box
    // '|'-separated: items of a radio group, combo box or check list, tab captions, the header
    // row of a grid, "name=caption" items of a pop-up menu.
    std::string_view items = {};
    const std::vector<std::string> &(*itemList)() = nullptr;  // items made elsewhere
    int index = -1;        // default item of a radio group or combo box
    bool checked = false;  // default of a check box, of every item of a check list
    int min = 0;           // range and default position of up-downs, progress bars
    int max = 0;
    int position = 0;
    std::string_view associate = {};  // the edit that shows an up-down's position
    int columns = 0;                  // columns of items; of a grid, its column count
    int rows = 0;                     // row count of a grid; drop-down rows of a combo box
    bool enabled = true;
    bool visible = true;
    bool readOnly = false;
    std::string_view section = {};  // settings file; empty: not kept between runs
    std::string_view key = {};      // of a check list, a prefix followed by the item index
    int order = -1;                 // place of the key in the settings file
    std::string_view note = {};     // what the control means

    constexpr std::string_view Name() const { return component.empty() ? member : component; }
    constexpr bool Saved() const { return !section.empty(); }
};

inline constexpr std::string_view kIntervalItems = "10秒|30秒|60秒";
// The zone captions of the shadow regulation, then 直接指定 (the limits typed in).
const std::vector<std::string> &RegulationZoneItems();

inline constexpr std::string_view kHourItems =
    "1.5Hr|2.0Hr|2.5Hr|3.0Hr|3.5Hr|4.0Hr|4.5Hr|5.0Hr|5.5Hr|6.0Hr|6.5Hr|7.0Hr|7.5Hr|8.0Hr";

// X(Type, Member, fields...): the rows in the order of the tabs. The settings keys are written
// (and read) in the order of `.order`; Form/Left, Form/Top and Target/ProgID are run state
// (kRunStateSettings).
// clang-format off
#define PIMU_FORM_CONTROLS(X) \
    X(TPageControl, PageControl1, .items = " 時刻|等時間|特定点|天空１|天空２| 設定１|設定２|影倍率", .note = "the eight tabs; the 等時間 tab refreshes the mesh preview, the 影倍率 tab refills Memo1") \
    X(TProgressBar, ProgressBar1, .max = 100, .note = "progress of the running command, docked at the bottom") \
    /* tab 0 " 時刻": time-of-day shadows */ \
    X(TButton, Button2, .tab = 0, .caption = "取得", .hint = "建物の図形を選択（右クリックで前回取得した建物）", .note = "acquire the buildings selected in the CAD; the right button opens PopupMenu2") \
    X(TPanel, Panel1, .tab = 0, .note = "frame of the wireframe preview") \
    X(TImage, Image2, .tab = 0, .group = "Panel1", .note = "the wireframe preview (214 x 212), painted from Image2Picture") \
    X(TUpDown, UpDown3, .tab = 0, .group = "Panel1", .hint = "左右に回転", .min = 0, .max = 1000, .position = 500, .note = "turns the preview about the vertical axis") \
    X(TUpDown, UpDown4, .tab = 0, .group = "Panel1", .hint = "上下に回転", .min = 0, .max = 1000, .position = 500, .note = "tilts the preview") \
    X(TCheckBox, CheckBox1, .tab = 0, .caption = "直下", .hint = "仮想の直下線分を表示", .checked = true, .note = "the preview shows the virtual foot lines of raised edges") \
    X(TButton, SpeedButton2, .tab = 0, .caption = "描画", .hint = "表示中のイメージを描画", .note = "draws the preview into the CAD as a block") \
    X(TButton, Button17, .tab = 0, .caption = "ｱﾆﾒ", .hint = "時間ごとの日影線を表示", .enabled = false, .note = "hour-by-hour animation: answers that it is not offered") \
    X(TButton, Button3, .tab = 0, .caption = "時刻", .hint = "時刻日影図を作成", .enabled = false, .note = "draws the time-of-day shadow diagram") \
    X(TButton, Button10, .tab = 0, .caption = "中止", .hint = "アニメ、時刻日影の描画を中止", .enabled = false, .note = "stops the time-of-day diagram (clears RunFlag)") \
    X(TComboBox, ComboBox1, .tab = 0, .caption = "都市参照", .hint = "主要都市の緯度を採用", .text = "都市参照", .itemList = BuiltInCityLines, .rows = 16, .note = "city list (pimu_ido.txt replaces it); a choice fills the latitude fields") \
    X(TEdit, Edit3, .tab = 0, .caption = "緯度", .suffix = "度", .text = "36", .section = "Common", .key = "ido1", .order = 2, .note = "latitude, degrees") \
    X(TEdit, Edit5, .tab = 0, .caption = "分", .text = "0", .section = "Common", .key = "ido2", .order = 3, .note = "latitude, minutes") \
    X(TEdit, Edit23, .tab = 0, .caption = "秒", .text = "0", .section = "Common", .key = "ido3", .order = 4, .note = "latitude, seconds") \
    X(TEdit, Edit12, .tab = 0, .caption = "真北", .text = "90.0", .section = "Common", .key = "makita", .order = 5, .note = "true north: direction of north in the drawing, degrees counter-clockwise from +x") \
    X(TButton, SpeedButton1, .tab = 0, .caption = "2点指示", .hint = "２点指示で真北を設定", .note = "sets true north from two points picked in the CAD") \
    X(TRadioGroup, RadioGroup1, .tab = 0, .items = "冬至|秋春|夏至", .index = 0, .columns = 3, .section = "Common", .key = "kisetsu", .order = 9, .note = "season (kisetsu): winter solstice, equinox, summer solstice; sets Declination") \
    X(TEdit, Edit2, .tab = 0, .caption = "時刻", .text = "8.0", .section = "Jikoku", .key = "kaishi", .order = 11, .note = "first hour of the diagram (kaishi), decimal hours") \
    X(TEdit, Edit7, .tab = 0, .caption = "～", .suffix = "時", .text = "16.0", .section = "Jikoku", .key = "owari", .order = 12, .note = "last hour of the diagram (owari), decimal hours") \
    X(TEdit, Edit11, .tab = 0, .caption = "間隔", .suffix = "時間", .text = "1.0", .section = "Jikoku", .key = "kankaku", .order = 13, .note = "time step of the diagram (kankaku), hours") \
    X(TCheckBox, CheckBox13, .tab = 0, .caption = "中央標準時", .visible = false, .note = "central standard time: copied into UseStdTime when a command starts") \
    X(TEdit, Edit4, .tab = 0, .caption = "測定面の高さ", .suffix = "ｍ", .text = "4.0", .section = "Common", .key = "takasa", .order = 6, .note = "height of the measurement plane (takasa) of the time-of-day and isochronal diagrams, metres") \
    /* tab 1 "等時間": isochronal and wall shadows */ \
    X(TGroupBox, GroupBox4, .tab = 1, .caption = "等時間日影図", .note = "isochronal shadow diagram") \
    X(TCheckListBox, CheckListBox1, .tab = 1, .group = "GroupBox4", .items = kHourItems, .checked = true, .columns = 2, .section = "Touji", .key = "chk", .order = 16, .note = "which isochrones (hours in shadow) are drawn; a click updates the mesh preview") \
    X(TRadioGroup, RadioGroup5, .tab = 1, .group = "GroupBox4", .caption = "評価時間", .items = kIntervalItems, .index = 1, .columns = 1, .section = "Touji", .key = "kankaku2", .order = 18, .note = "evaluation interval of the isochrones (IntervalTable index)") \
    X(TLabel, Label22, .tab = 1, .group = "GroupBox4", .note = "mesh size of the isochronal raster") \
    X(TLabel, Label2, .tab = 1, .group = "GroupBox4", .note = "status of the running isochronal diagram") \
    X(TButton, Button6, .tab = 1, .group = "GroupBox4", .caption = "等時間日影", .hint = "等時間日影図を作成", .enabled = false, .note = "draws the isochronal shadow diagram") \
    X(TButton, Button5, .tab = 1, .group = "GroupBox9", .caption = "壁面/壁面等時間", .hint = "壁面線分を選択", .enabled = false, .note = "wall shadow lines and wall isochrones of a wall picked in the CAD") \
    X(TButton, Button7, .tab = 1, .caption = "中止", .enabled = false, .note = "stops the isochronal, wall and point commands (clears RunFlag)") \
    X(TGroupBox, GroupBox9, .tab = 1, .caption = "壁面/壁面等時間", .note = "wall shadows (kabe, hekimen)") \
    X(TCheckBox, CheckBox4, .tab = 1, .group = "GroupBox9", .caption = "壁線上に描く", .checked = true, .section = "Hekimen", .key = "senjou", .order = 22, .note = "wall drawings are placed on the wall line") \
    X(TCheckBox, CheckBox12, .tab = 1, .group = "GroupBox9", .caption = "ブロックとして作成", .checked = false, .section = "Hekimen", .key = "block", .order = 23, .note = "wall drawings are made as a block") \
    X(TRadioGroup, RadioGroup6, .tab = 1, .group = "GroupBox9", .caption = "評価時間", .items = kIntervalItems, .index = 1, .columns = 1, .section = "Touji", .key = "kankaku3", .order = 19, .note = "evaluation interval of the wall isochrones (IntervalTable index)") \
    X(TLabel, Label24, .tab = 1, .group = "GroupBox9", .note = "mesh size of the wall isochrones") \
    X(TLabel, Label26, .tab = 1, .group = "GroupBox9", .note = "status of the running wall isochrones") \
    X(TGroupBox, GroupBox17, .tab = 1, .caption = "日影規制", .note = "the shadow-regulation check against the 5 m and 10 m lines") \
    X(TComboBox, ComboBox2, .tab = 1, .group = "GroupBox17", .caption = "用途地域", .itemList = RegulationZoneItems, .index = 0, .rows = 16, .section = "Kisei", .key = "chiiki", .order = 59, .note = "the zone and limit pair of the check; the last item takes the limits and plane height typed below") \
    X(TEdit, Edit50, .tab = 1, .group = "GroupBox17", .caption = "5m～10m", .suffix = "時間", .text = "3.0", .section = "Kisei", .key = "jikan5", .order = 60, .note = "直接指定: hours allowed between the 5 m and the 10 m line") \
    X(TEdit, Edit51, .tab = 1, .group = "GroupBox17", .caption = "10m超", .suffix = "時間", .text = "2.0", .section = "Kisei", .key = "jikan10", .order = 61, .note = "直接指定: hours allowed beyond the 10 m line") \
    X(TEdit, Edit52, .tab = 1, .group = "GroupBox17", .caption = "測定面", .suffix = "ｍ", .text = "1.5", .section = "Kisei", .key = "takasa", .order = 62, .note = "直接指定: height of the measurement plane, metres") \
    X(TEdit, Edit53, .tab = 1, .group = "GroupBox17", .caption = "計算間隔", .suffix = "分", .text = "1.0", .section = "Kisei", .key = "kankaku", .order = 63, .note = "sampling step of the check, minutes") \
    X(TEdit, Edit54, .tab = 1, .group = "GroupBox17", .caption = "道路等の幅", .suffix = "ｍ", .text = "0.0", .section = "Kisei", .key = "douro", .order = 64, .note = "width of the road, river or the like that the sides picked after the site face (their boundary is deemed further out); 0: no side is picked") \
    X(TButton, Button26, .tab = 1, .group = "GroupBox17", .caption = "日影規制チェック", .hint = "敷地の線分を選択", .enabled = false, .note = "checks the acquired buildings against the zone's limits on the lines around the site picked in the CAD, and draws the result") \
    X(TLabel, Label66, .tab = 1, .group = "GroupBox17", .note = "verdict of the last shadow-regulation check") \
    /* tab 2 "特定点": specific points */ \
    X(TButton, Button21, .tab = 2, .caption = "特定点連続指示", .hint = "特定点を連続で指示", .enabled = false, .note = "picks specific points (tokutei) one after another") \
    X(TButton, Button22, .tab = 2, .caption = "特定点一括取得", .hint = "複数の特定点のマーク（円、番号）を一括で選択", .enabled = false, .note = "takes specific points from their marks (circle and number) in a selection") \
    X(TButton, Button4, .tab = 2, .caption = "特定点", .enabled = false, .visible = false, .note = "specific points: hidden, never shown") \
    X(TEdit, Edit41, .tab = 2, .caption = "点番号修正", .text = "1", .note = "new number of the selected specific point") \
    X(TEdit, Edit6, .tab = 2, .caption = "測定面の高さ", .suffix = "ﾒｰﾄﾙ", .text = "0.0", .section = "Tokutei", .key = "takasa", .order = 7, .note = "height of the specific points' plane, metres") \
    X(TRadioGroup, RadioGroup3, .tab = 2, .items = kIntervalItems, .index = 1, .columns = 1, .section = "Touji", .key = "kankaku", .order = 17, .note = "evaluation interval of the specific points (IntervalTable index)") \
    X(TStringGrid, StringGrid2, .tab = 2, .hint = "右クリックで順位反転", .items = "番号| X座標| Y座標| 測定点| 日影時間| 入時刻 1| 出時刻 1| 入時刻 2| 出時刻 2| 入時刻 3| 出時刻 3", .columns = 11, .rows = 2, .note = "the specific points with their shadow time and up to three intervals; PopupMenu1") \
    X(TButton, Button15, .tab = 2, .caption = "作成", .note = "writes the point labels into the drawing") \
    X(TButton, Button23, .tab = 2, .caption = "再計算", .note = "recomputes the point times; reads 中止 and stops while they run") \
    /* tab 3 "天空１": sky maps */ \
    X(TEdit, Edit19, .tab = 3, .caption = "図面の尺度", .text = "200", .section = "Tenku", .key = "Syakudo", .order = 28, .note = "drawing scale denominator (syakudo)") \
    X(TButton, SpeedButton8, .tab = 3, .caption = "取得", .hint = "DIMSCALEを取得", .note = "reads the CAD's DIMSCALE into Edit19") \
    X(TEdit, Edit17, .tab = 3, .caption = "測定面高さ", .suffix = "ﾒｰﾄﾙ", .text = "0", .section = "Tenku", .key = "Takasa", .order = 24, .note = "height of the sky measurement plane (MENTAKA), metres") \
    X(TRadioGroup, RadioGroup2, .tab = 3, .caption = "求積対象", .items = "AREA|計画建物|適合建物", .index = 0, .columns = 1, .section = "Tenku", .key = "Menseki", .order = 25, .note = "area target of the sky maps; RadioGroup4 follows it") \
    X(TGroupBox, GroupBox14, .tab = 3, .note = "sky map orientation") \
    X(TCheckBox, CheckBox10, .tab = 3, .group = "GroupBox14", .caption = "天空図回転", .hint = "方位に合わせて天空図を回転", .checked = true, .section = "Tenku", .key = "Kaiten", .order = 53, .note = "rotates the sky map to true north") \
    X(TGroupBox, GroupBox6, .tab = 3, .caption = "type A ", .note = "sky map type A") \
    X(TCheckBox, CheckBox3, .tab = 3, .group = "GroupBox6", .caption = "求積表", .checked = true, .section = "Tenku", .key = "Kyuseki", .order = 27, .note = "type A: triangle area table") \
    X(TCheckBox, CheckBox5, .tab = 3, .group = "GroupBox6", .caption = "位置表", .checked = true, .section = "Tenku", .key = "tateiti", .order = 30, .note = "type A: building position table (tateiti)") \
    X(TEdit, Edit16, .tab = 3, .group = "GroupBox6", .caption = "測定点No.", .text = "1", .readOnly = true, .note = "type A: number of the measurement point") \
    X(TUpDown, UpDown2, .tab = 3, .group = "GroupBox6", .min = 1, .max = 9999, .position = 1, .associate = "Edit16", .note = "type A: steps the measurement point number") \
    X(TEdit, Edit15, .tab = 3, .group = "GroupBox6", .caption = "半径", .suffix = "(図寸)", .text = "25", .section = "Tenku", .key = "Hankei", .order = 26, .note = "type A: sky map radius (hankei), paper millimetres") \
    X(TEdit, Edit13, .tab = 3, .group = "GroupBox6", .caption = "目盛", .suffix = "（度）", .text = "0", .section = "Tenku", .key = "Memori", .order = 38, .note = "type A: scale tick interval (memori), degrees") \
    X(TEdit, Edit20, .tab = 3, .group = "GroupBox6", .caption = "文字", .text = "3.0", .section = "Tenku", .key = "Moji", .order = 29, .note = "type A: text height (moji), paper millimetres") \
    X(TEdit, Edit18, .tab = 3, .group = "GroupBox6", .caption = "ﾊｯﾁ", .text = "0", .section = "Tenku", .key = "Hatch", .order = 39, .note = "type A: hatch setting") \
    X(TEdit, Edit8, .tab = 3, .group = "GroupBox6", .caption = "一括作図のXピッチ", .text = "75", .section = "Tenku", .key = "IkkatsuA", .order = 51, .note = "type A: X pitch of batch drawings (ikkatsu)") \
    X(TGroupBox, GroupBox10, .tab = 3, .caption = "type B ", .note = "sky map type B") \
    X(TCheckBox, CheckBox6, .tab = 3, .group = "GroupBox10", .caption = "求積表", .checked = true, .section = "Tenku", .key = "KyusekiB", .order = 32, .note = "type B: triangle area table") \
    X(TCheckBox, CheckBox7, .tab = 3, .group = "GroupBox10", .caption = "位置表", .checked = true, .section = "Tenku", .key = "tateitiB", .order = 34, .note = "type B: building position table") \
    X(TEdit, Edit14, .tab = 3, .group = "GroupBox10", .caption = "測定点No.", .text = "1", .note = "type B: number of the measurement point") \
    X(TUpDown, UpDown6, .tab = 3, .group = "GroupBox10", .min = 1, .max = 9999, .position = 1, .associate = "Edit14", .note = "type B: steps the measurement point number") \
    X(TEdit, Edit21, .tab = 3, .group = "GroupBox10", .caption = "半径", .suffix = "(図寸)", .text = "100", .section = "Tenku", .key = "HankeiB", .order = 31, .note = "type B: sky map radius, paper millimetres") \
    X(TEdit, Edit24, .tab = 3, .group = "GroupBox10", .caption = "目盛", .suffix = "（度）", .text = "10", .section = "Tenku", .key = "MemoriB", .order = 36, .note = "type B: scale tick interval, degrees") \
    X(TEdit, Edit22, .tab = 3, .group = "GroupBox10", .caption = "文字", .text = "10.0", .section = "Tenku", .key = "MojiB", .order = 33, .note = "type B: text height, paper millimetres") \
    X(TEdit, Edit25, .tab = 3, .group = "GroupBox10", .caption = "ﾊｯﾁ", .text = "2", .section = "Tenku", .key = "HatchB", .order = 37, .note = "type B: hatch setting") \
    X(TEdit, Edit40, .tab = 3, .group = "GroupBox10", .caption = "一括作図のXピッチ", .text = "300", .section = "Tenku", .key = "IkkatsuB", .order = 52, .note = "type B: X pitch of batch drawings") \
    X(TButton, Button8, .tab = 3, .group = "GroupBox6", .caption = "測定点指示", .hint = "測定位置を指示", .note = "type A: pick a measurement point and draw its sky map") \
    X(TButton, Button11, .tab = 3, .group = "GroupBox10", .caption = "測定点指示", .hint = "測定位置を指示", .note = "type B: pick a measurement point and draw its sky map") \
    /* tab 4 "天空２": measurement point list */ \
    X(TButton, Button12, .tab = 4, .caption = "測定点連続指示", .hint = "測定点の座標を連続で指示", .enabled = false, .note = "picks sky measurement points one after another") \
    X(TButton, Button16, .tab = 4, .caption = "測定点一括取得", .hint = "複数の測定点のマーク（円と文字）を選択", .enabled = false, .note = "takes measurement points from their marks (circle and text) in a selection") \
    X(TRadioGroup, RadioGroup4, .tab = 4, .items = "AREA|計画|適合", .index = 0, .columns = 1, .note = "area target of the point list; the same index as RadioGroup2") \
    X(TEdit, Edit10, .tab = 4, .caption = "番号修正", .text = "1", .note = "new number of the selected measurement point") \
    X(TEdit, Edit26, .tab = 4, .caption = "高さ修正", .suffix = "ﾒｰﾄﾙ", .text = "0", .note = "new height of the selected measurement point, metres") \
    X(TStringGrid, StringGrid1, .tab = 4, .hint = "右クリックで順位反転", .items = "番号| X座標| Y座標| 測定点| 測定面| 内接| 外接", .columns = 7, .rows = 2, .note = "the measurement points with their sky factors (inscribed, circumscribed); PopupMenu1") \
    X(TButton, Button13, .tab = 4, .caption = "作図(A)", .note = "draws the selected point's sky map, type A") \
    X(TButton, Button14, .tab = 4, .caption = "作図(B)", .note = "draws the selected point's sky map, type B") \
    X(TCheckBox, CheckBox9, .tab = 4, .caption = "↓", .checked = false, .section = "Tenku", .key = "NextRow", .order = 35, .note = "batch drawings continue on the next row") \
    X(TButton, Button18, .tab = 4, .caption = "一括(A)", .enabled = false, .note = "draws every point's sky map, type A") \
    X(TButton, Button24, .tab = 4, .caption = "一括(B)", .enabled = false, .note = "draws every point's sky map, type B") \
    X(TButton, Button9, .tab = 4, .caption = "再計算", .hint = "天空率の計算だけを行います", .note = "computes the sky factors only") \
    X(TGroupBox, GroupBox18, .tab = 4, .caption = "天空率比較", .note = "the sky factors of the planned building against the conforming building at the statutory measurement points") \
    X(TComboBox, ComboBox3, .tab = 4, .group = "GroupBox18", .caption = "用途地域", .items = "低層住居系|中高層住居系|住居系|その他", .index = 2, .rows = 4, .section = "Hikaku", .key = "chiiki", .order = 66, .note = "the zone group of the slant limits: low-rise residential (north 5 m), mid/high-rise residential (adjacent 20 m, north 10 m), residential (adjacent 20 m), other (road 1.5, adjacent 31 m)") \
    X(TEdit, Edit55, .tab = 4, .group = "GroupBox18", .caption = "道路幅", .suffix = "ｍ", .text = "6.0", .section = "Hikaku", .key = "douro", .order = 67, .note = "width of the road the sides picked after the site face") \
    X(TEdit, Edit56, .tab = 4, .group = "GroupBox18", .caption = "後退距離", .suffix = "ｍ", .text = "0.0", .section = "Hikaku", .key = "koutai", .order = 68, .note = "setback of the building from those roads") \
    X(TEdit, Edit57, .tab = 4, .group = "GroupBox18", .caption = "適用距離", .suffix = "ｍ", .text = "20.0", .section = "Hikaku", .key = "tekiyou", .order = 69, .note = "applicable distance of the road limit, from the far side of the road") \
    X(TCheckBox, CheckBox18, .tab = 4, .group = "GroupBox18", .caption = "道路", .checked = true, .section = "Hikaku", .key = "dourosen", .order = 70, .note = "compares at the road limit's points") \
    X(TCheckBox, CheckBox19, .tab = 4, .group = "GroupBox18", .caption = "隣地", .checked = true, .section = "Hikaku", .key = "rinchi", .order = 71, .note = "compares at the adjacent limit's points") \
    X(TCheckBox, CheckBox20, .tab = 4, .group = "GroupBox18", .caption = "北側", .checked = true, .section = "Hikaku", .key = "kita", .order = 72, .note = "compares at the north limit's points (zones that have it)") \
    X(TButton, Button27, .tab = 4, .group = "GroupBox18", .caption = "天空率比較", .hint = "敷地の線分を選択し、道路に面する辺を指示", .enabled = false, .note = "compares the sky factors at the statutory points of the site picked in the CAD and draws the points, the conforming buildings and the table") \
    X(TLabel, Label67, .tab = 4, .group = "GroupBox18", .note = "verdict of the last sky-factor comparison") \
    /* tab 5 " 設定１": settings */ \
    X(TGroupBox, GroupBox5, .tab = 5, .caption = "画層", .note = "layers of the drawings") \
    X(TEdit, Edit27, .tab = 5, .group = "GroupBox5", .caption = "時刻", .text = "PIMU_JIKOKU", .section = "Layer", .key = "Jikoku", .order = 40, .note = "layer of the time-of-day diagram") \
    X(TEdit, Edit28, .tab = 5, .group = "GroupBox5", .caption = "等時間", .text = "PIMU_TOUJI", .section = "Layer", .key = "Touji", .order = 41, .note = "layer of the isochronal diagram") \
    X(TEdit, Edit31, .tab = 5, .group = "GroupBox5", .caption = "壁面", .text = "PIMU_HJIKOKU", .section = "Layer", .key = "Hjikoku", .order = 42, .note = "layer of the wall shadow lines") \
    X(TEdit, Edit30, .tab = 5, .group = "GroupBox5", .caption = "(枠)", .text = "PIMU_HWAKU", .section = "Layer", .key = "Hwaku", .order = 43, .note = "layer of the wall elevation frame (waku)") \
    X(TEdit, Edit29, .tab = 5, .group = "GroupBox5", .caption = "(等時)", .text = "PIMU_HTOJI", .section = "Layer", .key = "Htouji", .order = 44, .note = "layer of the wall isochrones (the default lacks the U of the key)") \
    X(TEdit, Edit32, .tab = 5, .group = "GroupBox5", .caption = "特定点", .text = "PIMU_NINI", .section = "Layer", .key = "Nini", .order = 45, .note = "layer of the specific points (nini)") \
    X(TEdit, Edit33, .tab = 5, .group = "GroupBox5", .caption = "天空図", .text = "PIMU_TENKU", .section = "Layer", .key = "Tenku", .order = 46, .note = "layer of the sky maps") \
    X(TEdit, Edit34, .tab = 5, .group = "GroupBox5", .caption = "(目盛)", .text = "PIMU_TMEMORI", .section = "Layer", .key = "Tmemori", .order = 47, .note = "layer of the sky map ticks") \
    X(TEdit, Edit36, .tab = 5, .group = "GroupBox5", .caption = "(三斜)", .text = "PIMU_TSANSYA", .section = "Layer", .key = "Tsansya", .order = 49, .note = "layer of the sky map triangles (sansya)") \
    X(TEdit, Edit35, .tab = 5, .group = "GroupBox5", .caption = "(ﾊｯﾁ)", .text = "PIMU_THATCH", .section = "Layer", .key = "Thatch", .order = 48, .note = "layer of the sky map hatch") \
    X(TEdit, Edit37, .tab = 5, .group = "GroupBox5", .caption = "(位置)", .text = "PIMU_TTATEITI", .section = "Layer", .key = "Ttateiti", .order = 50, .note = "layer of the building position tables") \
    X(TGroupBox, GroupBox11, .tab = 5, .caption = "共通", .note = "settings common to the drawings") \
    X(TEdit, Edit38, .tab = 5, .group = "GroupBox11", .caption = "文字高さ", .suffix = "(実寸)", .text = "300.0", .section = "Common", .key = "takasa2", .order = 8, .note = "text height in the drawing, drawing units") \
    X(TGroupBox, GroupBox7, .tab = 5, .caption = "等時間・壁面等時間", .note = "isochrones and wall isochrones") \
    X(TCheckBox, CheckBox8, .tab = 5, .group = "GroupBox7", .caption = "ｽﾑｰｼﾞﾝｸﾞ係数", .checked = true, .section = "Touji", .key = "tyokuchk", .order = 21, .note = "smoothing of the isochronal outlines on") \
    X(TEdit, Edit9, .tab = 5, .group = "GroupBox7", .text = "4", .readOnly = true, .note = "shows the smoothing factor of UpDown5") \
    X(TUpDown, UpDown5, .tab = 5, .group = "GroupBox7", .min = 2, .max = 20, .position = 4, .associate = "Edit9", .section = "Touji", .key = "tyokusen", .order = 20, .note = "smoothing factor of the isochronal outlines (tyokusen), 2 to 20") \
    /* tab 6 "設定２": settings and tools */ \
    X(TGroupBox, GroupBox15, .tab = 6, .caption = "ターゲットCAD", .note = "the target CAD; its caption names it") \
    X(TEdit, Edit42, .tab = 6, .group = "GroupBox15", .readOnly = true, .note = "ProgID line of the target CAD") \
    X(TButton, SpeedButton4, .tab = 6, .group = "GroupBox15", .caption = "変更", .note = "shows the target-CAD dialog") \
    X(TGroupBox, GroupBox12, .tab = 6, .note = "switches of the diagrams") \
    X(TCheckBox, CheckBox2, .tab = 6, .group = "GroupBox12", .caption = "等時間の評価時間を 1/10 に", .checked = false, .section = "Touji", .key = "kankaku10", .order = 58, .note = "divides the evaluation interval of isochrones and points by 10") \
    X(TCheckBox, CheckBox11, .tab = 6, .group = "GroupBox12", .caption = "時刻日影図に時刻のみ記入（方位角不要）", .checked = true, .section = "Jikoku", .key = "NotHoui", .order = 10, .note = "time-of-day labels without the azimuth (houi)") \
    X(TCheckBox, CheckBox16, .tab = 6, .group = "GroupBox12", .caption = "時刻日影図に日影の穴（囲まれた日なた）も作図", .checked = false, .section = "Jikoku", .key = "Ana", .order = 57, .note = "time-of-day diagrams also draw the lit holes inside the outlines (ana)") \
    X(TCheckBox, CheckBox17, .tab = 6, .group = "GroupBox12", .caption = "浮いた建物（ピロティ等）も地面から建つとして日影を計算", .checked = false, .section = "Common", .key = "Jimen", .order = 65, .note = "shadow diagrams, points, wall and regulation take every volume as standing on the ground (jimen), as before raised volumes cast their true shadow") \
    X(TButton, Button20, .tab = 6, .caption = "境界線作成", .hint = "敷地の線分を選択", .note = "deemed boundary line (kyoukaisen) from the site outline") \
    X(TGroupBox, GroupBox16, .tab = 6, .caption = "換算", .note = "degree converter") \
    X(TEdit, Edit46, .tab = 6, .group = "GroupBox16", .caption = "度", .text = "130", .note = "converter: degrees") \
    X(TEdit, Edit47, .tab = 6, .group = "GroupBox16", .caption = "分", .text = "33", .note = "converter: minutes") \
    X(TEdit, Edit48, .tab = 6, .group = "GroupBox16", .caption = "秒", .text = "00", .note = "converter: seconds") \
    X(TButton, SpeedButton7, .tab = 6, .group = "GroupBox16", .caption = "<", .note = "converter: decimal degrees to degrees, minutes, seconds") \
    X(TButton, SpeedButton6, .tab = 6, .group = "GroupBox16", .caption = ">", .note = "converter: degrees, minutes, seconds to decimal degrees") \
    X(TEdit, Edit49, .tab = 6, .group = "GroupBox16", .caption = "度", .text = "130.5500", .note = "converter: decimal degrees") \
    X(TEdit, Edit43, .tab = 6, .text = "135.0", .visible = false, .section = "Jikoku", .key = "keido", .order = 14, .note = "longitude (keido) for true solar time; its number starts Longitude") \
    X(TLabel, Label60, .tab = 6, .caption = "経度", .visible = false, .note = "label of Edit43") \
    X(TEdit, Edit44, .tab = 6, .hint = "測定日の均時差を入力", .text = "1.896", .visible = false, .section = "Jikoku", .key = "kinjisa", .order = 15, .note = "equation of time (kinjisa) in minutes; its number starts EqOfTime") \
    X(TLabel, Label62, .tab = 6, .caption = "均時差", .visible = false, .note = "label of Edit44") \
    X(TButton, ChihouTaiyouji, .component = "地方太陽時", .tab = 6, .caption = "真太陽時", .visible = false, .note = "true solar time message (chihou taiyouji: local solar time)") \
    X(TButton, Button1, .tab = 6, .caption = "均時差描画", .visible = false, .note = "plots the 2024 equation-of-time table against the 2025 one") \
    X(TButton, Button25, .tab = 6, .caption = "均時差描画", .visible = false, .note = "plots the equation-of-time formula against the 2025 table") \
    X(TButton, Button19, .tab = 6, .caption = "均時差計算", .visible = false, .note = "computes the equation of time") \
    X(TEdit, Edit1, .tab = 6, .text = "-2.5", .visible = false, .note = "input of the equation-of-time calculation") \
    X(TEdit, Edit45, .tab = 6, .text = "0.0", .visible = false, .note = "result of the equation-of-time calculation") \
    X(TLabel, Label65, .tab = 6, .visible = false, .note = "largest difference of the equation-of-time plots, minutes") \
    X(TGroupBox, GroupBox1, .tab = 6, .caption = "Pimu2024", .hint = "Build 2024.09.20 Beta", .note = "about panel: logo, program name, build label") \
    /* tab 7 "影倍率": shadow ratios */ \
    X(TButton, SpeedButton5, .tab = 7, .caption = "倍率表作成", .note = "draws the shadow ratio table into the CAD") \
    X(TButton, SpeedButton3, .tab = 7, .caption = "倍率", .visible = false, .note = "refills Memo1 with the shadow ratio table") \
    X(TMemo, Memo1, .tab = 7, .note = "the shadow ratio table (bairitsu) as text") \
    X(TCheckBox, CheckBox14, .tab = 7, .caption = "度、分、秒で表示", .checked = false, .section = "Bairitsu", .key = "useDMS", .order = 55, .note = "ratio table: angles as degrees, minutes, seconds") \
    X(TCheckBox, CheckBox15, .tab = 7, .caption = "小数点以下 3 桁", .checked = false, .section = "Bairitsu", .key = "wdigit", .order = 56, .note = "ratio table: three decimals") \
    /* pop-up menus */ \
    X(TPopupMenu, PopupMenu1, .items = "N2=順位を反転|N3=-|N1=すべてをクリップボードにコピー", .note = "menu of both grids: reverse the rows, copy everything to the clipboard") \
    X(TPopupMenu, PopupMenu2, .items = "N8=直前に取得した図形を採用|N6=その１つ前に取得した図形を採用|N4=-|N5=取り消し", .note = "menu of Button2: take the last or the one before last acquired drawing again")
// clang-format on

#define PIMU_CONTROL_SPEC(Type, Member, ...) \
    ControlEntry{.member = #Member, .kind = Type::kKind, __VA_ARGS__},
// Every control of the main window, in the order of the tabs.
inline constexpr ControlEntry kFormControls[] = {PIMU_FORM_CONTROLS(PIMU_CONTROL_SPEC)};
#undef PIMU_CONTROL_SPEC

// A settings key that keeps run state, not a control.
struct RunStateSetting {
    std::string_view section;
    std::string_view key;
    int order;
    std::string_view note;
};
inline constexpr RunStateSetting kRunStateSettings[] = {
    {"Form", "Left", 0, "left edge of the window; centred when missing or beyond the screen"},
    {"Form", "Top", 1, "top edge of the window; centred when missing or beyond the screen"},
    {"Target", "ProgID", 54, "ProgID: COM class string of the target CAD"},
};

// The row of a component name; null for a name the window does not have.
const ControlEntry *FindControlEntry(std::string_view name);
// The items of a row (radio, combo and check-list items, tab captions, grid headers), split.
std::vector<std::string> ControlItems(const ControlEntry &entry);

}  // namespace pimu::app
