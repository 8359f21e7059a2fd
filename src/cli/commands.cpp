#include "cli/commands.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/form.h"
#include "app/point_grid.h"
#include "app/regulation_output.h"
#include "app/sky_compare_output.h"
#include "base/ascii.h"
#include "base/error_text.h"
#include "base/numconv.h"
#include "base/quote.h"
#include "cadlink/dxftext.h"
#include "cli/layers.h"
#include "cli/regulation_report.h"
#include "cli/selection.h"
#include "cli/sky_compare_report.h"
#include "geometry/primitives.h"

// Adding a subcommand for a command of the window model (a row of app/command_table.h):
//  1. write `int Name(Session &s)` below: OpenDrawing(), Acquire() if it needs the buildings,
//     queue the user's answers from the options (s.input().Point / Place / Select / Entity, in
//     the order the handler asks; LineHandleAt turns --wall X,Y into the picked LINE), set the
//     tab's controls the options stand for, RunCommand() the row's FormCommand, then EmitTable()
//     for a grid and return FinishDrawing() (or Status() for a command that draws nothing);
//  2. put the function into its entry of kSubcommands (run) and name the subcommand in the
//     row's .cli;
//  3. add it to examples/run-example.sh and a case to tests/cli/example_golden_test.cpp.
namespace pimu::cli {
namespace {

// ---- The subcommands ---------------------------------------------------------------------

int Shadow(Session &s) {
    s.OpenDrawing();
    s.Acquire();
    s.RunCommand(app::FormCommand::TimeOfDay);
    return s.FinishDrawing();
}

int Isochrone(Session &s) {
    s.OpenDrawing();
    s.Acquire();
    s.RunCommand(app::FormCommand::Isochrone);
    return s.FinishDrawing();
}

// The wall: --wall X,Y picks the LINE under the point as a click on it would; the settings choose
// the insertion form (Hekimen/senjou, Hekimen/block), and --place answers the placement when
// the drawing is placed by hand.
int Wall(Session &s) {
    const Options &o = s.options();
    app::TForm1 &f = s.form();
    if (!o.wall)
        throw UsageError(Tr(s.lang(), "which line is the wall? Give --wall X,Y, a point on it",
                            "壁面の線分はどれですか．--wall X,Y（線分上の点）を指定して下さい"));
    if (!f.CheckBox4.checked && !o.place)
        throw UsageError(Tr(s.lang(),
                            "the settings place the wall drawing by hand (Hekimen/senjou=0): give "
                            "--place X,Y",
                            "設定（Hekimen/senjou=0）では壁面図を指示した位置に置きます．--place "
                            "X,Y を指定して下さい"));
    s.OpenDrawing();
    const std::optional<std::string> handle = LineHandleAt(s.document().drawing(), *o.wall);
    if (!handle)
        throw UsageError("--wall " + cadlink::DxfNumber(o.wall->x) + "," +
                         cadlink::DxfNumber(o.wall->y) +
                         Tr(s.lang(), ": no LINE passes within 1 drawing unit of the point",
                            ": その点から 1 単位以内に線分（LINE）がありません"));
    s.Acquire();
    s.input().Entity(*handle, *o.wall);
    if (!f.CheckBox4.checked) s.input().Place(*o.place);
    s.RunCommand(app::FormCommand::Wall);
    return s.FinishDrawing();
}

// Turns the preview as the user does, one click of the up-down buttons (5 degrees) at a time.
void TurnPreview(app::TForm1 &f, int turn, int tilt) {
    for (int i = 0; i < 80 && f.GB_Draw3dHdeg != turn; ++i) f.UpDown3Click(app::UpDownButton::Next);
    for (int i = 0; i < 80 && f.GB_Draw3dVdeg != tilt; ++i) f.UpDown4Click(app::UpDownButton::Next);
}

int Preview(Session &s) {
    const Options &o = s.options();
    if (!o.svg && !o.png && !o.place)
        throw UsageError("the preview is a picture: give --svg FILE, --png FILE or --place X,Y");
    app::TForm1 &f = s.form();
    s.OpenDrawing();
    s.Acquire();
    if (o.view) s.Command([&] { TurnPreview(f, o.view->first, o.view->second); });
    s.WritePreview();
    if (!o.place) return s.Status();
    s.input().Place(*o.place);
    s.RunCommand(app::FormCommand::PreviewToDrawing);
    return s.FinishDrawing(false);
}

// The specific points: the points picked one after another (--point) or taken from their marks
// (--marks), their shadow times printed as the grid shows them, and with --place the summary
// block drawn there.
int Points(Session &s) {
    app::TForm1 &f = s.form();
    const Options &o = s.options();
    if (o.points.empty() == !o.marks)
        throw UsageError("give the points: --point X,Y (repeatable) or --marks SEL, not both");
    s.OpenDrawing();
    if (o.marks && s.Selected(*o.marks).empty())
        throw UsageError(
            "--marks " + o.marksText +
            Tr(s.lang(), ": nothing in the drawing matches", ": 一致する図形がありません"));
    s.Acquire();
    if (o.marks) {
        s.input().Select(*o.marks);
        s.RunCommand(app::FormCommand::PointsFromMarks);
    } else {
        for (const geometry::TAcadPoint &p : o.points) s.input().Point(p);
        s.input().Cancel();  // Enter: the picking ends
        s.RunCommand(app::FormCommand::PointsPick);
    }
    const std::vector<app::PointTimesRow> &times = f.Results.pointTimes;
    if (times.empty()) {
        if (o.marks)
            throw RunError("--marks " + o.marksText +
                           Tr(s.lang(), ": no point marks (circles) among the chosen entities",
                              ": 選んだ図形に測定点の円がありません"));
        throw RunError(Tr(s.lang(), "no point was taken", "測定点を取得できませんでした"));
    }
    s.EmitTable(app::PointTimesTable(times));
    if (!o.place) return s.Status();
    s.input().Place(*o.place);
    s.RunCommand(app::FormCommand::PointSummary);
    return s.FinishDrawing();
}

int RatioTable(Session &s) {
    app::TForm1 &f = s.form();
    const Options &o = s.options();
    if (o.drawing && !o.place)
        throw UsageError("with a drawing, --place X,Y says where the table goes");
    if (o.dms) f.CheckBox14.checked = true;
    if (o.threeDecimals) f.CheckBox15.checked = true;
    if (!s.Run([&] { f.RunCommand(app::FormCommand::RatioTable); })) return 1;
    s.EmitTable(TabRows(f.Results.ratioTable));
    if (!o.drawing) return 0;
    s.OpenDrawing();
    s.input().Place(*o.place);
    s.RunCommand(app::FormCommand::RatioTableToDrawing);
    return s.FinishDrawing();
}

int Boundary(Session &s) {
    const Options &o = s.options();
    if (!o.site)
        throw UsageError(Tr(s.lang(),
                            "which entities are the site outline? Give --site SEL (e.g. --site "
                            "layer:NAME)",
                            "敷地の外形はどの図形ですか．--site SEL（例 --site layer:画層名）を指定"
                            "して下さい"));
    s.OpenDrawing();
    if (s.Selected(*o.site).empty())
        throw UsageError(
            "--site " + o.siteText +
            Tr(s.lang(), ": nothing in the drawing matches", ": 一致する図形がありません"));
    s.input().Select(*o.site);
    const std::size_t prompts = s.document().prompts().size();
    s.RunCommand(app::FormCommand::Boundary);
    // The window says it on the CAD's command line only.
    const auto &said = s.document().prompts();
    for (std::size_t i = prompts; i < said.size(); ++i)
        if (said[i].find("みなし境界線の作成に失敗しました") != std::string::npos)
            s.host().Say(Tr(s.lang(), "the site outline does not close: no boundary line was made",
                            "敷地の外形が閉じていません．みなし境界線は作成されませんでした"));
    return s.FinishDrawing();
}

// --site SEL, which the judging commands need.
void RequireSite(const Session &s) {
    if (!s.options().site)
        throw UsageError(Tr(s.lang(),
                            "which entities are the site outline? Give --site SEL (e.g. --site "
                            "layer:NAME)",
                            "敷地の外形はどの図形ですか．--site SEL（例 --site layer:画層名）を指定"
                            "して下さい"));
}

// After the drawing is open: --site must choose something in it.
void RequireSiteInDrawing(Session &s) {
    const Options &o = s.options();
    if (!s.inRunningCad() && s.Selected(*o.site).empty())
        throw UsageError(
            "--site " + o.siteText +
            Tr(s.lang(), ": nothing in the drawing matches", ": 一致する図形がありません"));
}

// --report needs a build that draws pictures; said before anything is computed.
void RequireReports(const Session &s) {
    if (s.options().report && !ReportsAvailable())
        throw RunError(Tr(s.lang(),
                          "--report: the report is not available in this build of Pimu (no "
                          "cairo); the table is printed and --csv writes it",
                          "--report: この版の Pimu では報告書を作成できません．表は表示され，"
                          "--csv で書き出せます"));
}

// The report of --report (PDF, or PNG by its extension), written by `write`, and said.
void WriteReport(Session &s, const char *name, double north,
                 const std::function<void(const ReportInfo &, ReportFormat)> &write) {
    const Options &o = s.options();
    if (!o.report) return;
    ReportInfo info;
    info.northDegrees = north;
    if (o.drawing) info.drawingName = o.drawing->filename().string();
    const bool png = UpperAscii(o.report->extension().string()) == ".PNG";
    try {
        write(info, png ? ReportFormat::Png : ReportFormat::Pdf);
    } catch (const RenderError &e) {
        throw RunError(e.what());
    }
    std::fprintf(s.out(), "%s: wrote %s\n", name, o.report->string().c_str());
}

// A judging command that kept no result says why (a stop, the reason said above, or none) and
// ends with status 1.
int NoJudgement(Session &s, const char *name, std::size_t said) {
    const Lang l = s.lang();
    const std::string prefix = std::string(name) + ": ";
    s.host().Flush();
    if (s.host().Interrupted()) {  // a stop says nothing of its own
        s.host().Say(prefix + Tr(l, "stopped; nothing was judged and no drawing was saved",
                                 "中止しました．判定せず，図面は保存していません"));
    } else if (s.host().messages().size() > said) {
        s.host().Say(prefix +
                     Tr(l, "no result (the reason is above)", "結果がありません（理由は上記）"));
    } else {
        s.host().Say(prefix + Tr(l, "no result; it ended without a reason",
                                 "結果がありません．理由なく終わりました"));
    }
    return 1;
}

// The regulation check: the buildings, the site lines of --site and the zone of --zone (or the
// limits of --limits on the plane of --plane-height); the result table printed (and written to
// --csv), the sheet to --report, the drawing saved. 0: it complies, 3: it does not.
int Regulation(Session &s) {
    const Options &o = s.options();
    const Lang l = s.lang();
    RequireSite(s);
    if (o.zone && o.limits)
        throw UsageError(Tr(l, "--zone or --limits, not both",
                            "--zone と --limits のどちらか一方を指定して下さい"));
    if (!o.zone && !o.limits)
        throw UsageError(Tr(l,
                            "which limits? Give --zone NAME, or --limits H1,H2 with "
                            "--plane-height M",
                            "規制を --zone NAME，または --limits H1,H2 と --plane-height M で指定"
                            "して下さい"));
    if (o.zone && o.planeHeight)
        throw UsageError(Tr(l, "--zone sets the plane height; --plane-height goes with --limits",
                            "--zone で測定面の高さが決まります．--plane-height は --limits と"
                            "指定して下さい"));
    if (o.limits && !o.planeHeight)
        throw UsageError(Tr(l, "--limits needs the plane height: --plane-height M",
                            "--limits には測定面の高さ --plane-height M が必要です"));
    RequireReports(s);
    app::TForm1 &f = s.form();
    s.OpenDrawing();
    RequireSiteInDrawing(s);
    s.Acquire();
    // The open sides are those of --open-side; none is picked.
    f.RegulationOpenSides = o.openSides;
    f.Edit54.text = "0";
    s.input().Select(*o.site);
    const std::size_t said = s.host().messages().size();
    s.RunCommand(app::FormCommand::Regulation);
    if (!f.LastRegulation) return NoJudgement(s, "regulation", said);
    const regulation::RegulationResult &result = *f.LastRegulation;
    // The CSV is for spreadsheet users: with a byte-order mark they read it as UTF-8.
    s.EmitTable(app::RegulationRows(result), CsvBom::Yes);
    WriteReport(s, "regulation", f.GB_kita, [&](const ReportInfo &info, ReportFormat format) {
        WriteRegulationReport(result, f.Model, info, *o.report, format);
    });
    const int status = s.FinishDrawing();
    if (status != 0) return status;
    return result.Complies() ? 0 : 3;
}

// The sky-factor comparison: the buildings, the site lines of --site and the roads of --road; at
// the statutory points of the zone's slant limits the planned buildings against the conforming
// buildings. The table printed (and written to --csv), the drawing saved. 0: every point passes,
// 3: one does not.
int SkyCompare(Session &s) {
    const Options &o = s.options();
    RequireSite(s);
    RequireReports(s);
    app::TForm1 &f = s.form();
    s.OpenDrawing();
    RequireSiteInDrawing(s);
    s.Acquire();
    // The roads are those of --road; none is picked.
    f.SkyCompareRoads.clear();
    for (const Options::Road &r : o.roads)
        f.SkyCompareRoads.push_back({r.nearSide, r.width, r.setback});
    f.Edit55.text = "0";
    s.input().Select(*o.site);
    const std::size_t said = s.host().messages().size();
    s.RunCommand(app::FormCommand::SkyCompare);
    if (!f.LastSkyComparison) return NoJudgement(s, "sky-compare", said);
    const sky::SkyComparison &result = f.LastSkyComparison->Result;
    s.EmitTable(app::SkyCompareRows(result), CsvBom::Yes);
    const app::TForm1::SkyCompareRun &run = *f.LastSkyComparison;
    WriteReport(s, "sky-compare", run.Site.north, [&](const ReportInfo &info, ReportFormat format) {
        WriteSkyCompareReport(run.Site, run.Rules, result, f.Model, info, *o.report, format);
    });
    const int status = s.FinishDrawing();
    if (status != 0) return status;
    return result.Complies() ? 0 : 3;
}

int EqTime(Session &s) {
    app::TForm1 &f = s.form();
    const Options &o = s.options();
    if (o.date) f.Today = [date = *o.date] { return date; };
    if (o.offset) f.Edit1.text = *o.offset;
    if (!s.Run([&] { f.RunCommand(app::FormCommand::EqTime); })) return 1;
    std::fprintf(s.out(), "%s\n", f.Results.eqTime.c_str());
    return s.Status();
}

// The window shows the time in a message box (on stderr here); the result goes to stdout too.
int SolarNoon(Session &s) {
    app::TForm1 &f = s.form();
    s.RunCommand(app::FormCommand::TrueSolarNoon, false);
    if (f.Results.trueSolarNoon.empty()) return 1;
    std::fprintf(s.out(), "%s\n", f.Results.trueSolarNoon.c_str());
    return s.Status();
}

int EqTimePlot(Session &s) {
    namespace fs = std::filesystem;
    const Options &o = s.options();
    if (o.compareTables == o.formula)
        throw UsageError(Tr(s.lang(), "which plot? --compare-tables or --formula",
                            "どちらの図ですか．--compare-tables か --formula を指定して下さい"));
    if (!o.tables)
        throw UsageError(Tr(s.lang(), "--tables FOLDER: the folder that holds ",
                            "--tables FOLDER: 次の表があるフォルダ: ") +
                         app::kEqTimeTable2024File + ", " + app::kEqTimeTable2025File);
    std::vector<const char *> files = {app::kEqTimeTable2025File};
    if (o.compareTables) files.insert(files.begin(), app::kEqTimeTable2024File);
    app::TForm1 &f = s.form();
    // The window reads the tables beside the program.
    for (const char *name : files) {
        const fs::path from = *o.tables / name;
        const fs::path to = f.Paths().File(name);
        std::error_code ec;
        if (!fs::is_regular_file(from, ec))
            throw RunError(from.string() +
                           Tr(s.lang(), ": no such file", ": ファイルがありません"));
        if (fs::exists(to, ec) && fs::equivalent(from, to, ec)) continue;
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    }
    s.OpenDrawing();
    s.RunCommand(o.compareTables ? app::FormCommand::EqTimePlotTables
                                 : app::FormCommand::EqTimePlotFormula);
    std::fprintf(s.out(), "%s %s\n", Tr(s.lang(), "largest difference:", "最大差:").c_str(),
                 f.Results.eqTimeDifference.c_str());
    return s.FinishDrawing();
}

// The measurement points of --point (in the order given) or of the marks --marks chooses (circles
// named by the text beside them, ordered as the picking orders them), on the plane of Tenku/Takasa.
std::vector<geometry::TTempPoint> SkyListPoints(Session &s, app::PointOrder &order) {
    const Options &o = s.options();
    double height = 0.0;
    try {
        height = ParseNumber(s.form().Edit17.text, "測定面高さ (Tenku/Takasa)");
    } catch (const InputError &e) {
        throw UsageError(e.what());
    }
    std::vector<geometry::TTempPoint> points;
    if (o.marks) {
        std::vector<geometry::TAcadPoint> circles;
        std::vector<app::MarkText> texts;
        for (const auto &e : s.Selected(*o.marks)) {
            using cadlink::embedded::EntityKind;
            if (e.kind == EntityKind::Circle) circles.push_back(geometry::OcsToWcs(e.p1, e.normal));
            if (e.kind == EntityKind::Text)
                texts.push_back({geometry::OcsToWcs(e.p1, e.normal), e.text});
        }
        if (circles.empty())
            throw RunError("--marks " + o.marksText +
                           Tr(s.lang(), ": no circle (point mark) is chosen",
                              ": 測定点の円が選択されていません"));
        points = app::PointsFromMarks(circles, texts);
        order = app::PointOrder::Sorted;
    } else {
        for (const geometry::TAcadPoint &p : o.points) {
            geometry::TTempPoint t;
            t.pt = {p.x, p.y, 0.0};
            points.push_back(t);
        }
        order = app::PointOrder::AsGiven;
    }
    for (auto &p : points) p.pt.z = height * 1000.0;
    return points;
}

int SkyList(Session &s) {
    const Options &o = s.options();
    if (o.points.empty() == !o.marks)
        throw UsageError(
            Tr(s.lang(), "give the points: --point X,Y (repeatable) or --marks SEL",
               "測定点を --point X,Y（繰り返し可）または --marks SEL で指定して下さい"));
    app::TForm1 &f = s.form();
    s.OpenDrawing();
    s.Acquire();
    app::PointOrder order = app::PointOrder::AsGiven;
    const std::vector<geometry::TTempPoint> points = SkyListPoints(s, order);
    app::FillPointGrid(f.StringGrid1, points, order);
    s.RunCommand(app::FormCommand::SkyFactors);
    s.EmitTable(app::SkyListTable(f.Results.skyList));
    return s.Status();
}

bool TypeB(const Options &o) {
    return o.type && (*o.type == 'B' || *o.type == 'b');
}

// 測定点指示 for --point: the map placed at --place, its triangle table and position table to
// the right of it, side by side.
int Sky(Session &s) {
    const Options &o = s.options();
    if (o.points.size() != 1 || !o.place)
        throw UsageError(Tr(s.lang(), "give one --point X,Y and --place X,Y",
                            "--point X,Y を 1 つと --place X,Y を指定して下さい"));
    app::TForm1 &f = s.form();
    s.OpenDrawing();
    s.Acquire();
    const bool b = TypeB(o);
    const geometry::TAcadPoint at = *o.place;
    s.input().Point(o.points.front());
    s.input().Place(at);
    for (const geometry::TAcadPoint &table : f.SkyMapTablePlaces(b ? 1 : 0, at))
        s.input().Place(table);
    s.RunCommand(b ? app::FormCommand::SkyMapPickB : app::FormCommand::SkyMapPickA);
    return s.FinishDrawing();
}

// 一括 over the points of --point or --marks (after 再計算), the first map centred at --center.
int SkyBatch(Session &s) {
    const Options &o = s.options();
    if (o.points.empty() == !o.marks)
        throw UsageError(
            Tr(s.lang(), "give the points: --point X,Y (repeatable) or --marks SEL",
               "測定点を --point X,Y（繰り返し可）または --marks SEL で指定して下さい"));
    const std::optional<geometry::TAcadPoint> centre = o.center ? o.center : o.place;
    if (!centre)
        throw UsageError(Tr(s.lang(), "give the centre of the first map: --center X,Y",
                            "最初の天空図の中心を --center X,Y で指定して下さい"));
    app::TForm1 &f = s.form();
    s.OpenDrawing();
    s.Acquire();
    app::PointOrder order = app::PointOrder::AsGiven;
    const std::vector<geometry::TTempPoint> points = SkyListPoints(s, order);
    app::FillPointGrid(f.StringGrid1, points, order);
    s.RunCommand(app::FormCommand::SkyFactors);
    s.EmitTable(app::SkyListTable(f.Results.skyList));
    s.input().Point(*centre);
    s.RunCommand(TypeB(o) ? app::FormCommand::SkyMapBatchB : app::FormCommand::SkyMapBatchA);
    return s.FinishDrawing();
}

// The layers of the drawing and the closed shapes with thickness (buildings) on each.
int Layers(Session &s) {
    s.OpenDrawing();
    s.EmitTable(LayerRows(CountLayers(s.document().drawing()), s.lang()));
    if (s.entitiesAtOpen() == 0)
        s.host().Say(Tr(s.lang(), "the drawing has no entities in model space",
                        "モデル空間に図形がありません"));
    return 0;
}

int Settings(Session &s) {
    s.EmitTable(s.SettingsRows());
    return 0;
}

// ---- The table -----------------------------------------------------------------------------

constexpr unsigned kDrawingOptions = kOptDrawing;
constexpr unsigned kSettingOptions =
    kOptSun | kOptTimes | kOptInterval | kOptPlane | kOptTextHeight | kOptHours | kOptStep;

constexpr Subcommand kSubcommands[] = {
    {"shadow", "time-of-day shadow diagram",
     "Acquires the buildings (--buildings) and draws the outline of their shadow on the\n"
     "measurement plane at every time step (Jikoku/kaishi, owari, kankaku; Common/takasa).",
     kDrawingOptions | kOptSun | kOptTimes | kOptInterval | kOptPlane | kOptTextHeight |
         kOptVolumes,
     DrawingUse::Required, Shadow},
    {"isochrone", "isochronal shadow diagram",
     "Acquires the buildings and draws the lines shaded for 1.5 to 8.0 hours on the\n"
     "measurement plane (Touji/chk0..13 choose the hours, Touji/kankaku2 the interval).",
     kDrawingOptions | kOptSun | kOptTimes | kOptPlane | kOptTextHeight | kOptHours | kOptStep |
         kOptVolumes,
     DrawingUse::Required, Isochrone},
    {"wall", "wall shadow lines and wall isochrones",
     "Acquires the buildings, picks the LINE nearest to --wall X,Y (within 1 unit) as the\n"
     "wall and draws its elevation with the shadow outline of every time step (Jikoku/kaishi,\n"
     "owari, kankaku) and the wall isochrones of 8 to 1 hours (Touji/kankaku3 the interval),\n"
     "inserted along the wall line (Hekimen/senjou; as a block with Hekimen/block) or, with\n"
     "Hekimen/senjou=0, placed at --place X,Y.",
     kDrawingOptions | kOptWall | kOptPlace | kOptSun | kOptTimes | kOptTextHeight | kOptStep |
         kOptVolumes,
     DrawingUse::Required, Wall},
    {"points", "shadow times of specific points",
     "Acquires the buildings, takes the points (--point X,Y repeated, or the circles and\n"
     "their label texts chosen by --marks SEL), computes when each enters and leaves the\n"
     "shadow and for how long it is shaded (Tokutei/takasa, Touji/kankaku, Jikoku/kaishi,\n"
     "owari) and prints the point grid; --place X,Y also draws the summary block there.",
     kDrawingOptions | kOptPoint | kOptMarks | kOptPlace | kOptCsv | kOptSun | kOptTimes |
         kOptPlane | kOptStep | kOptVolumes,
     DrawingUse::Required, Points},
    {"sky", "sky map of one point",
     "Acquires the buildings and draws the sky map of --point X,Y, type --type A|B,\n"
     "placed at --place X,Y (its triangle and position tables to the right of it), as\n"
     "測定点指示 does; the area target is Tenku/Menseki (1 計画, 2 適合; AREA is refused).",
     kDrawingOptions | kOptPoint | kOptType | kOptPlace | kOptNorth, DrawingUse::Required, Sky},
    {"sky-list", "sky factors of many points (再計算)",
     "Acquires the buildings, takes the measurement points (--point X,Y repeated, in that\n"
     "order, or the circle marks chosen by --marks SEL, named by the text beside them) on the\n"
     "plane of Tenku/Takasa, computes their sky factors as 再計算 does (計画, 適合 and the\n"
     "exact 精算; map type of the larger radius, Tenku/Hankei or Tenku/HankeiB, at Tenku/Syakudo)\n"
     "and prints the point list.",
     kOptBuildings | kOptPoint | kOptMarks | kOptCsv | kOptNorth, DrawingUse::Required, SkyList},
    {"sky-batch", "sky maps of all points in a row",
     "As sky-list, then draws the sky map of every point in a row starting at --center X,Y,\n"
     "type --type A|B, Tenku/IkkatsuA or IkkatsuB paper mm apart (一括).",
     kDrawingOptions | kOptPoint | kOptMarks | kOptCsv | kOptCenter | kOptPlace | kOptType |
         kOptNorth,
     DrawingUse::Required, SkyBatch},
    {"boundary", "deemed boundary lines",
     "Draws the deemed boundary lines offset from the site outline chosen by --site SEL.",
     kDrawingOptions | kOptSite, DrawingUse::Required, Boundary},
    {"regulation", "shadow-regulation check against the 5 m and 10 m lines",
     "Acquires the buildings, takes the site outline chosen by --site SEL and checks the\n"
     "shadows of the winter solstice against the zone's limits (--zone NAME, or --limits\n"
     "H1,H2 with --plane-height M): the regions shaded at least each limit, the parts that\n"
     "cross the 5 m and the 10 m line, and the margin of a design that complies. Prints the\n"
     "result table, draws the lines, regions, crossings (hatched) and the table into the\n"
     "drawing (layers 規制_5mライン, 規制_10mライン, 規制_等時間, 規制_超過, 規制_表),\n"
     "writes the report sheet to --report and the table to --csv (UTF-8 with a byte-order\n"
     "mark). Exit status: 0 complies, 3 does not comply, 1 a problem, 2 a usage error.",
     kDrawingOptions | kOptSite | kOptRegulation | kOptCsv | kOptPlane | kOptStep | kOptLatitude |
         kOptNorth | kOptTextHeight | kOptVolumes,
     DrawingUse::Required, Regulation},
    {"sky-compare", "sky factors against the conforming buildings (天空率比較)",
     "Acquires the buildings, takes the site outline chosen by --site SEL and the sides\n"
     "facing a road (--road X,Y,WIDTH[,SETBACK], repeatable), places the measurement points\n"
     "of the slant limits of the zone group (--zone low-rise|mid-high|residential|other;\n"
     "--limits road,adjacent,north chooses among them) and compares at every point the\n"
     "planned buildings' sky factor (計画, rounded down) with the conforming building's\n"
     "(適合, rounded up), each beside its exact value (精算). Prints the table, draws the\n"
     "points, the conforming buildings and the table into the drawing (layers 天空_測定点,\n"
     "天空_適合建築物, 天空_比較表), the table to --csv and the report to --report.\n"
     "Exit status: 0 every\n"
     "point passes, 3 one does not, 1 a problem, 2 a usage error.",
     kDrawingOptions | kOptSite | kOptSkyCompare | kOptCsv | kOptNorth | kOptTextHeight,
     DrawingUse::Required, SkyCompare},
    {"ratio-table", "the shadow ratio table",
     "Prints the shadow ratio table of the winter solstice at the set latitude (--latitude\n"
     "or Common/ido1..3). --dms shows angles in degrees, minutes and seconds,\n"
     "--three-decimals three decimals; with DRAWING.dxf, --place X,Y draws it there.",
     kOptOutput | kOptRatio | kOptPlace | kOptCsv | kOptLatitude | kOptTextHeight,
     DrawingUse::Optional, RatioTable},
    {"eot", "the equation of time of a day",
     "Prints the equation of time in minutes of --date YYYY-MM-DD (default today) plus\n"
     "--offset DAYS (default -2.5, as the window's field), by the two-term formula.",
     kOptDate, DrawingUse::None, EqTime},
    {"solar-noon", "the standard time of true solar noon",
     "Prints the central standard time at which true solar noon falls at --longitude DEG\n"
     "(Jikoku/keido) with the equation of time --eot MIN (Jikoku/kinjisa).",
     kOptSolarNoon, DrawingUse::None, SolarNoon},
    {"eot-plot", "equation-of-time curves into the drawing",
     "Draws the tabulated equation of time from --tables FOLDER into the drawing, 2 units a\n"
     "day and 10 a minute: --compare-tables the 2024 table (kinjisa_2024-135.txt) against\n"
     "the 2025 one (kinjisa_2025-135.txt), --formula the five-term formula against the 2025\n"
     "table; prints the largest difference.",
     kOptOutput | kOptEqTimePlot, DrawingUse::Required, EqTimePlot},
    {"preview", "wireframe of the acquired buildings",
     "Acquires the buildings and writes the wireframe the window previews to --svg / --png\n"
     "(turned and tilted by --view H,V, default 315,60); --place X,Y also draws it into the\n"
     "drawing as a block placed there (saved to -o).",
     kDrawingOptions | kOptView | kOptPlace | kOptNorth, DrawingUse::Required, Preview},
    {"layers", "the drawing's layers and the buildings on each",
     "Prints every layer of the drawing with its model-space entities and the closed\n"
     "polylines and circles with thickness on it (what --buildings layer:NAME would take).",
     kOptCsv, DrawingUse::Required, Layers},
    {"settings", "every settings key with its value, default and meaning",
     "Prints every key of the settings file with the value this run would use (from the\n"
     "settings file, --set and the plain options), its default, what it does and the\n"
     "option that sets it.",
     kOptCsv | kSettingOptions, DrawingUse::None, Settings},
};

void PrintUsage(std::FILE *f) {
    std::fprintf(f,
                 "usage: pimu COMMAND DRAWING.dxf [options]\n"
                 "       pimu COMMAND --help    the options of one command\n"
                 "       pimu --version\n\ncommands:\n");
    for (const Subcommand &c : kSubcommands) {
        std::fprintf(f, "  %-12.*s %.*s%s\n", static_cast<int>(c.name.size()), c.name.data(),
                     static_cast<int>(c.summary.size()), c.summary.data(),
                     c.run ? "" : " (not available yet)");
    }
    std::fprintf(f, "\noptions of every command:\n%s", CommonOptionsHelp(0).c_str());
}

void PrintHelp(std::FILE *f, const Subcommand &c) {
    const char *drawing = c.drawing == DrawingUse::Required   ? " DRAWING.dxf"
                          : c.drawing == DrawingUse::Optional ? " [DRAWING.dxf]"
                                                              : "";
    std::fprintf(f, "usage: pimu %.*s%s [options]\n\n%.*s\n", static_cast<int>(c.name.size()),
                 c.name.data(), drawing, static_cast<int>(c.details.size()), c.details.data());
    if (!c.run) std::fprintf(f, "(not available yet in this version of Pimu)\n");
    std::fprintf(f, "\noptions:\n");
    struct Own {
        unsigned bit;
        const char *text;
    };
    static constexpr Own kOwn[] = {
        {kOptPoint, "  --point X,Y            a point (repeatable)\n"},
        {kOptMarks, "  --marks SEL            the point marks (circles and number texts)\n"},
        {kOptSummary, "  --summary X,Y          where the summary block goes\n"},
        {kOptType, "  --type A|B             the sky map type\n"},
        {kOptPlace, "  --place X,Y            where the drawing is placed\n"},
        {kOptCenter, "  --center X,Y           the centre of the first map\n"},
        {kOptWall, "  --wall X,Y             a point on the wall's LINE\n"},
        {kOptSite, "  --site SEL             the site outline\n"},
        {kOptRatio, "  --dms, --three-decimals  the table's number form\n"},
        {kOptView, "  --view H,V             preview turn and tilt in degrees (steps of 5)\n"},
        {kOptDate,
         "  --date YYYY-MM-DD      the day (default today)\n"
         "  --offset DAYS          days added to it (default -2.5)\n"},
        {kOptSolarNoon,
         "  --longitude DEG        longitude, degrees east          Jikoku/keido\n"
         "  --eot MIN              equation of time, minutes        Jikoku/kinjisa\n"},
        {kOptEqTimePlot,
         "  --tables FOLDER        the folder of the two tables\n"
         "  --compare-tables       the 2024 table against the 2025 table\n"
         "  --formula              the formula against the 2025 table\n"},
    };
    for (const Own &o : kOwn)
        if (c.options & o.bit) std::fputs(o.text, f);
    if (c.options & kOptSkyCompare) {
        std::fputs(
            "  --road X,Y,WIDTH[,SETBACK]  the side of the site nearest to X,Y faces a road\n"
            "                         WIDTH metres wide; the building stands SETBACK metres\n"
            "                         back from it (repeatable)\n"
            "  --zone GROUP           low-rise, mid-high, residential (default) or other\n"
            "                         Hikaku/chiiki\n"
            "  --limits LIST          the limits compared: road, adjacent, north, comma\n"
            "                         separated (default all the zone has)\n"
            "  --distance M           the road limit's applicable distance from the far side\n"
            "                         of the road (default 20)   Hikaku/tekiyou\n"
            "  --report FILE.pdf      the report: the plan with the points and a summary, then\n"
            "                         the table (.png: the first page as a picture)\n",
            f);
    }
    if (c.options & kOptRegulation) {
        std::fputs(
            "  --zone NAME            the zone and its limits (names below)  Kisei/chiiki\n"
            "  --limits H1,H2         instead of a zone: hours allowed beyond the 5 m and the\n"
            "                         10 m line (with --plane-height)   Kisei/jikan5, jikan10\n"
            "  --open-side X,Y,WIDTH  the side of the site nearest to X,Y faces a road, river\n"
            "                         or the like WIDTH metres wide (repeatable)\n"
            "  --report FILE.pdf      the report sheet (A4: plan, legend, table; .png: the\n"
            "                         same page as a picture)\n",
            f);
    }
    std::fputs(CommonOptionsHelp(c.options, c.name).c_str(), f);
    if (c.options & kOptRegulation) {
        std::fputs("\nzones (--zone NAME; -n: the northern region, 9:00-15:00):\n", f);
        for (const regulation::ZoneRule &rule : regulation::ZoneRules())
            std::fprintf(f, "  %-11.*s %.*s\n", static_cast<int>(rule.Name.size()),
                         rule.Name.data(), static_cast<int>(rule.Caption.size()),
                         rule.Caption.data());
    }
}

}  // namespace

std::span<const Subcommand> Subcommands() {
    return kSubcommands;
}

const Subcommand *FindSubcommand(std::string_view name) {
    for (const Subcommand &c : kSubcommands)
        if (c.name == name) return &c;
    return nullptr;
}

int RunCommandLine(const std::vector<std::string_view> &args, std::FILE *out, std::FILE *err) {
    if (args.empty()) {
        PrintUsage(err);
        return 2;
    }
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        PrintUsage(out);
        return 0;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::fprintf(out, "pimu %s\n", PIMU_VERSION);
        return 0;
    }
    const Subcommand *c = FindSubcommand(args[0]);
    if (!c) {
        PrintMessage(err, "unknown command " + std::string(args[0]));
        PrintUsage(err);
        return 2;
    }
    const std::string name(c->name);
    try {
        Options o = ParseOptions({args.begin() + 1, args.end()}, c->options, c->name);
        if (o.help) {
            PrintHelp(out, *c);
            return 0;
        }
        if (!c->run) {
            PrintMessage(err, "pimu " + name + ": not available yet in this version of Pimu");
            return 2;
        }
        if (c->drawing == DrawingUse::Required && !o.drawing && !o.cadRunning)
            throw UsageError("which drawing? (pimu " + name + " DRAWING.dxf)");
        if (c->drawing == DrawingUse::None && o.drawing) throw UsageError("takes no drawing");
        if (!o.drawing && !o.cadRunning && (o.place || o.output || o.svg || o.png))
            throw UsageError("--place, -o, --svg and --png need a drawing");
        Session session(name, std::move(o), out, err);
        return c->run(session);
    } catch (const UsageError &e) {
        PrintMessage(err, "pimu " + name + ": " + e.what() + "\n(pimu " + name +
                              Tr(MessageLanguage(args), " --help shows the options)",
                                 " --help でオプションを表示します)"));
        return 2;
    } catch (const std::exception &e) {
        PrintMessage(err,
                     "pimu " + name + ": " + UserMessage(e, MessageLanguage(args) == Lang::Ja));
        return 1;
    }
}

}  // namespace pimu::cli
