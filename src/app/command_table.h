// The one table of the window's commands, beside the table of its controls. Each row is one
// command: the button that starts it (its caption and tab are the button's row of the control
// table), the handler its button runs, the settings keys it reads from the controls, the answers
// a front end gives it (picks, placements), the pure computation it calls, where its result is
// presented, and the `pimu` subcommand that runs it. `FormCommand`, `TForm1::CommandButton` and
// `TForm1::RunCommand` are generated from it; the desktop window wires its command buttons from
// it; the command line names its rows; the tests walk it.
#pragma once

#include <string_view>

#include "app/control_table.h"

namespace pimu::app {

// What a front end answers when the command asks (a CAD's prompts): the bits of `picks`.
enum PickBit : unsigned {
    kPickSelection = 1u << 0,  // entities chosen on screen (window, crossing, clicks), Enter ends
    kPickPoint = 1u << 1,      // one point
    kPickPoints = 1u << 2,     // points one after another, Enter ends
    kPickEntity = 1u << 3,     // one entity clicked
    kPickPlace = 1u << 4,      // where an inserted drawing goes (it follows the cursor)
    kPickAngle = 1u << 5,      // an angle by two points
};

// Where the window model presents a command's result.
enum class Presented {
    Drawing,  // entities inserted into the CAD's drawing
    Grid,     // rows of a string grid
    Text,     // texts of a memo, a field or a label
    Message,  // a message box
    Preview,  // the preview picture and the building model
};

// X(Id, Button, Run, fields...): Id names the FormCommand, Button the TButton member that starts
// it, Run the call its button makes on the window model `f`. The fields:
//   .inputs       settings keys it reads from the controls, "Section/key" separated by '|';
//                 "Touji/chk*" is every item of that check list
//   .picks        PickBit mask of what a front end answers
//   .computation  the pure routine it calls
//   .result       where its result goes, .shows the controls or layers that present it
//   .cli          the subcommand of `pimu` that runs it; .cliNote how the command line covers a
//                 command it does not run by itself
// clang-format off
#define PIMU_COMMON_INPUTS "Common/ido1|Common/ido2|Common/ido3|Common/kisetsu|Common/makita|Common/takasa|Jikoku/kaishi|Jikoku/owari|Jikoku/keido|Jikoku/kinjisa|Common/Jimen"
#define PIMU_SKY_MAP_INPUTS "Common/ido1|Common/ido2|Common/ido3|Common/makita|Tenku/Takasa|Tenku/Syakudo|Tenku/Menseki|Tenku/Kaiten|Tenku/Hankei|Tenku/Moji|Tenku/Memori|Tenku/Hatch|Tenku/HankeiB|Tenku/MojiB|Tenku/MemoriB|Tenku/HatchB|Layer/Tenku|Layer/Tmemori|Layer/Thatch|Layer/Tsansya"
#define PIMU_FORM_COMMANDS(X) \
    X(Acquire, Button2, f.Button2Click(), .picks = kPickSelection, .computation = "geometry::ConvertAcquisition", .result = Presented::Preview, .shows = "Image2", .cli = "layers", .cliNote = "every command that needs the buildings acquires them from --buildings or Layer/Tatemono", .note = "acquires the buildings selected in the CAD") \
    X(TimeOfDay, Button3, f.Button3Click(), .inputs = PIMU_COMMON_INPUTS "|Common/takasa2|Jikoku/kankaku|Jikoku/Ana|Jikoku/NotHoui|Layer/Jikoku", .computation = "shadow::ComputeJikoku", .shows = "Layer/Jikoku", .cli = "shadow", .note = "time-of-day shadow diagram") \
    X(Isochrone, Button6, f.Button6Click(), .inputs = PIMU_COMMON_INPUTS "|Common/takasa2|Touji/chk*|Touji/kankaku2|Touji/kankaku10|Touji/tyokuchk|Touji/tyokusen|Layer/Touji", .computation = "shadow::ComputeToujikan", .shows = "Layer/Touji", .cli = "isochrone", .note = "isochronal shadow diagram") \
    X(Wall, Button5, f.Button5Click(), .inputs = PIMU_COMMON_INPUTS "|Common/takasa2|Jikoku/kankaku|Touji/kankaku3|Touji/tyokusen|Hekimen/senjou|Hekimen/block|Layer/Hjikoku|Layer/Hwaku|Layer/Htouji", .picks = kPickEntity | kPickPlace, .computation = "shadow::ComputeWallShadowLines, shadow::ComputeWallTouji", .shows = "Layer/Hjikoku|Layer/Hwaku|Layer/Htouji", .cli = "wall", .note = "shadow lines and isochrones of a wall line picked in the CAD") \
    X(Regulation, Button26, f.Button26Click(), .inputs = PIMU_COMMON_INPUTS "|Common/takasa2|Kisei/chiiki|Kisei/jikan5|Kisei/jikan10|Kisei/takasa|Kisei/kankaku|Kisei/douro", .picks = kPickSelection | kPickPoints, .computation = "regulation::CheckRegulation", .shows = "規制_5mライン|規制_10mライン|規制_等時間|規制_超過|規制_表", .cli = "regulation", .note = "shadow-regulation check around the site selected in the CAD") \
    X(PreviewToDrawing, SpeedButton2, f.SpeedButton2Click(), .inputs = "Common/makita", .picks = kPickPlace, .computation = "geometry::ProjectWireframe", .cli = "preview", .note = "the preview as a block placed by the user") \
    X(TrueNorth, SpeedButton1, f.SpeedButton1Click(), .picks = kPickAngle, .result = Presented::Text, .shows = "Edit12", .cliNote = "the command line sets true north with --north", .note = "true north from an angle picked in the CAD") \
    X(PointsPick, Button21, f.Button21Click(), .inputs = PIMU_COMMON_INPUTS "|Common/takasa2|Tokutei/takasa|Touji/kankaku|Touji/kankaku10", .picks = kPickPoints, .computation = "shadow::GetTokuteiJikan", .result = Presented::Grid, .shows = "StringGrid2", .cli = "points", .note = "specific points picked one after another, then their shadow times") \
    X(PointsFromMarks, Button22, f.Button22Click(), .inputs = PIMU_COMMON_INPUTS "|Common/takasa2|Tokutei/takasa|Touji/kankaku|Touji/kankaku10", .picks = kPickSelection, .computation = "shadow::GetTokuteiJikan", .result = Presented::Grid, .shows = "StringGrid2", .cli = "points", .note = "specific points from their circle and text marks, then their shadow times") \
    X(PointTimes, Button23, f.Button23Click(), .inputs = PIMU_COMMON_INPUTS "|Tokutei/takasa|Touji/kankaku|Touji/kankaku10", .computation = "shadow::GetTokuteiJikan", .result = Presented::Grid, .shows = "StringGrid2", .cli = "points", .note = "the specific points' shadow times recomputed") \
    X(PointSummary, Button15, f.Button15Click(), .inputs = "Common/takasa2", .picks = kPickPlace, .cli = "points", .note = "the points' summary block placed by the user") \
    X(SkyMapPickA, Button8, f.Button8Click(f.Button8), .inputs = PIMU_SKY_MAP_INPUTS "|Tenku/Kyuseki|Tenku/tateiti|Layer/Ttateiti", .picks = kPickPoint | kPickPlace, .computation = "sky::SkyMapEntities, sky::BuildOverlay, sky::TriangleTable, sky::TateitiTable", .shows = "Layer/Tenku", .cli = "sky", .note = "a picked point's sky map with its tables, type A") \
    X(SkyMapPickB, Button11, f.Button8Click(f.Button11), .inputs = PIMU_SKY_MAP_INPUTS "|Tenku/KyusekiB|Tenku/tateitiB|Layer/Ttateiti", .picks = kPickPoint | kPickPlace, .computation = "sky::SkyMapEntities, sky::BuildOverlay, sky::TriangleTable, sky::TateitiTable", .shows = "Layer/Tenku", .cli = "sky", .note = "a picked point's sky map with its tables, type B") \
    X(SkyPointsPick, Button12, f.Button21Click(f.Button12), .inputs = "Tenku/Takasa|Tenku/Syakudo|Tenku/Hankei|Tenku/HankeiB|Common/makita", .picks = kPickPoints, .computation = "sky::ComputeSkyPoint", .result = Presented::Grid, .shows = "StringGrid1", .cli = "sky-list", .note = "sky measurement points picked one after another, then their sky factors") \
    X(SkyPointsFromMarks, Button16, f.Button22Click(f.Button16), .inputs = "Tenku/Takasa|Tenku/Syakudo|Tenku/Hankei|Tenku/HankeiB|Common/makita", .picks = kPickSelection, .computation = "sky::ComputeSkyPoint", .result = Presented::Grid, .shows = "StringGrid1", .cli = "sky-list", .note = "sky measurement points from their circle and text marks, then their sky factors") \
    X(SkyFactors, Button9, f.Button9Click(), .inputs = "Tenku/Takasa|Tenku/Syakudo|Tenku/Hankei|Tenku/HankeiB|Common/makita", .computation = "sky::ComputeSkyPoint", .result = Presented::Grid, .shows = "StringGrid1", .cli = "sky-list", .note = "the sky factors of every row of StringGrid1") \
    X(SkyMapRowA, Button13, f.Button13Click(f.Button13), .inputs = PIMU_SKY_MAP_INPUTS "|Tenku/Kyuseki|Tenku/tateiti|Layer/Ttateiti", .picks = kPickPlace, .computation = "sky::SkyMapEntities, sky::BuildOverlay, sky::TriangleTable, sky::TateitiTable", .shows = "Layer/Tenku", .cli = "sky", .note = "the selected row's sky map, type A") \
    X(SkyMapRowB, Button14, f.Button13Click(f.Button14), .inputs = PIMU_SKY_MAP_INPUTS "|Tenku/KyusekiB|Tenku/tateitiB|Layer/Ttateiti", .picks = kPickPlace, .computation = "sky::SkyMapEntities, sky::BuildOverlay, sky::TriangleTable, sky::TateitiTable", .shows = "Layer/Tenku", .cli = "sky", .note = "the selected row's sky map, type B") \
    X(SkyMapBatchA, Button18, f.Button18Click(f.Button18), .inputs = PIMU_SKY_MAP_INPUTS "|Tenku/IkkatsuA|Tenku/NextRow", .picks = kPickPoint, .computation = "sky::SkyMapEntities, sky::BuildOverlay", .shows = "Layer/Tenku", .cli = "sky-batch", .note = "the sky maps of every row in a line, type A") \
    X(SkyMapBatchB, Button24, f.Button18Click(f.Button24), .inputs = PIMU_SKY_MAP_INPUTS "|Tenku/IkkatsuB|Tenku/NextRow", .picks = kPickPoint, .computation = "sky::SkyMapEntities, sky::BuildOverlay", .shows = "Layer/Tenku", .cli = "sky-batch", .note = "the sky maps of every row in a line, type B") \
    X(SkyCompare, Button27, f.Button27Click(), .inputs = PIMU_SKY_MAP_INPUTS "|Common/takasa2|Hikaku/chiiki|Hikaku/douro|Hikaku/koutai|Hikaku/tekiyou|Hikaku/dourosen|Hikaku/rinchi|Hikaku/kita", .picks = kPickSelection | kPickPoints, .computation = "sky::CompareSkyFactors", .shows = "天空_測定点|天空_適合建築物|天空_比較表|Layer/Tenku|Label67", .cli = "sky-compare", .note = "sky factors of the planned against the conforming buildings at the statutory points of the site selected in the CAD, with the sky maps of the point of the smallest margin") \
    X(Boundary, Button20, f.Button20Click(), .picks = kPickSelection, .computation = "boundary::MakeKyoukaisen", .cli = "boundary", .note = "deemed boundary lines around the site selected in the CAD") \
    X(EqTime, Button19, f.Button19Click(), .computation = "solar::EqTimeText", .result = Presented::Text, .shows = "Edit45", .cli = "eot", .note = "the equation of time of today (hidden button)") \
    X(TrueSolarNoon, ChihouTaiyouji, f.ChihouTaiyoujiClick(), .inputs = "Jikoku/keido|Jikoku/kinjisa", .computation = "solar::TrueSolarNoonText", .result = Presented::Message, .cli = "solar-noon", .note = "the standard time of true solar noon (hidden button)") \
    X(EqTimePlotTables, Button1, f.Button1Click(), .computation = "solar::CompareEqTimeTables", .shows = "Label65", .cli = "eot-plot", .note = "the two equation-of-time tables plotted (hidden button)") \
    X(EqTimePlotFormula, Button25, f.Button25Click(), .computation = "solar::CompareEqTimeFormula", .shows = "Label65", .cli = "eot-plot", .note = "the formula against the 2025 table plotted (hidden button)") \
    X(RatioTable, SpeedButton3, f.SpeedButton3Click(), .inputs = "Common/ido1|Common/ido2|Common/ido3|Bairitsu/useDMS|Bairitsu/wdigit", .computation = "solar::RatioTableLines", .result = Presented::Text, .shows = "Memo1", .cli = "ratio-table", .note = "the shadow ratio table into Memo1") \
    X(RatioTableToDrawing, SpeedButton5, f.SpeedButton5Click(), .inputs = "Common/takasa2", .picks = kPickPlace, .shows = "Memo1", .cli = "ratio-table", .note = "Memo1 as a ruled table placed by the user")
// clang-format on

// The commands a front end runs on the window model, each as its button would.
enum class FormCommand {
#define PIMU_COMMAND_ID(Id, ...) Id,
    PIMU_FORM_COMMANDS(PIMU_COMMAND_ID)
#undef PIMU_COMMAND_ID
};

// One command. Fields a row leaves out keep the defaults below.
struct CommandEntry {
    FormCommand command;
    std::string_view id;      // the FormCommand enumerator's name
    std::string_view member;  // the TButton member of TForm1 that starts it
    std::string_view inputs = {};
    unsigned picks = 0;
    std::string_view computation = {};
    Presented result = Presented::Drawing;
    std::string_view shows = {};
    std::string_view cli = {};
    std::string_view cliNote = {};
    std::string_view note = {};
};

#define PIMU_COMMAND_SPEC(Id, Button, Run, ...) \
    CommandEntry{.command = FormCommand::Id, .id = #Id, .member = #Button, __VA_ARGS__},
// Every command of the window, grouped by tab.
inline constexpr CommandEntry kFormCommands[] = {PIMU_FORM_COMMANDS(PIMU_COMMAND_SPEC)};
#undef PIMU_COMMAND_SPEC

// The component name of the button that starts a command (its object name in a window).
constexpr std::string_view ButtonName(const CommandEntry &e) {
    for (const ControlEntry &c : kFormControls)
        if (c.member == e.member) return c.Name();
    return e.member;
}

// The row of a command.
constexpr const CommandEntry &CommandOf(FormCommand c) {
    return kFormCommands[static_cast<int>(c)];
}
// The row of the command a button starts; null for a button that starts none.
constexpr const CommandEntry *CommandOfButton(std::string_view button) {
    for (const CommandEntry &e : kFormCommands)
        if (ButtonName(e) == button) return &e;
    return nullptr;
}

}  // namespace pimu::app
