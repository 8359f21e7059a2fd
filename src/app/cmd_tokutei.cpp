// The 特定点 tab: specific points picked in the CAD (one after another, or from circle and text
// marks), listed in StringGrid2 with the times each enters and leaves the buildings' shadow and
// its total shadow time, and a block of summary lines the user places in the drawing. The picks
// also fill the sky-factor tab's StringGrid1.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "cadlink/connection.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "shadow/tokutei.h"
#include "solar/timetext.h"

namespace pimu::app {

namespace {

constexpr const char *kNoBuilding = "建物データがありません．";
constexpr const char *kNoPoints = "測定点データがありません．";
constexpr const char *kPickError = "エラーです．";
constexpr const char *kPicked = "座標が指示されました.\r\n";
constexpr const char *kSelectMarks = "測定点の円と文字を一緒に選択して下さい.\r\n";
constexpr const char *kStop = "中止";
// How far around a point (drawing units, in x and in y) its label text is looked for.
constexpr double kLabelReach = 1000.0;
// Failed ID cycles in a row after which the picking ends: a CAD that refuses every cycle would
// otherwise keep the window waiting for ever.
constexpr int kMaxFailedCycles = 3;

// Columns of StringGrid2.
constexpr int kColX = 1, kColY = 2, kColName = 3, kColTotal = 4, kColFirstTime = 5;

// The shortest decimal text in fixed notation that reads back as the value (200000, not 2e+05).
std::string ShortestText(double v) {
    char buf[400];  // the largest double has 309 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

bool HasCoordinates(const TStringGrid &g, int row) {
    return !g.Cell(kColX, row).empty() && !g.Cell(kColY, row).empty();
}

std::string Hours(double v) {
    return cadlink::DxfNumber(v);
}

std::string CheckMessage(shadow::TokuteiCheck check, const TForm1 &f) {
    const std::string range = "（" + f.Edit2.text + " ～ " + f.Edit7.text + "）";
    switch (check) {
        case shadow::TokuteiCheck::StepNotPositive:
            return "評価時間を選んで下さい．";
        case shadow::TokuteiCheck::NoInstants:
            return "開始時刻から終了時刻までに評価する時刻がありません．" + range;
        case shadow::TokuteiCheck::OutsideSunHours:
            return "時刻は " + Hours(solar::kFirstSunTime) + " ～ " + Hours(solar::kLastSunTime) +
                   " 時の範囲で指定して下さい．" + range;
        case shadow::TokuteiCheck::Ok:
            break;
    }
    return {};
}

// The interval texts of RadioGroup3 in the summary heading.
const char *IntervalHeading(int index) {
    switch (index) {
        case 0:
            return "10 秒";
        case 1:
            return "30 秒";
        case 2:
            return "60 秒";
        default:
            return "";
    }
}

}  // namespace

// ---- Filling a point grid ---------------------------------------------------------------------

void TForm1::TempPointsToSG(int sgno) {
    TStringGrid &sg = sgno != 0 ? StringGrid2 : StringGrid1;
    std::vector<geometry::TTempPoint> &points = Workspace.TempPoints;
    const std::size_t n = points.size();
    // Of points at the same place only the last one stays.
    for (std::size_t i = 0; i < n; ++i) {
        points[i].id = 0;
        for (std::size_t j = i + 1; j < n; ++j)
            if (geometry::Near2D(points[i].pt, points[j].pt, geometry::kPointTol)) {
                points[i].id = -1;
                break;
            }
    }
    // Sorted along the longer side of the points' extent (exchange sort, as the list shows them).
    if (n > 0) {
        double xmin = points[0].pt.x, xmax = xmin, ymin = points[0].pt.y, ymax = ymin;
        for (const geometry::TTempPoint &p : points) {
            xmin = std::min(xmin, p.pt.x);
            xmax = std::max(xmax, p.pt.x);
            ymin = std::min(ymin, p.pt.y);
            ymax = std::max(ymax, p.pt.y);
        }
        const bool byX = xmax - xmin > ymax - ymin;
        const auto key = [byX](const geometry::TTempPoint &p) { return byX ? p.pt.x : p.pt.y; };
        for (std::size_t i = 0; i + 1 < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j)
                if (key(points[i]) > key(points[j])) std::swap(points[i], points[j]);
    }
    int k = 0;
    for (const geometry::TTempPoint &p : points) {
        if (p.id == -1) continue;
        ++k;
        if (sg.RowCount() <= k) sg.SetRowCount(k + 1);
        const std::string number = std::to_string(k);
        sg.Cell(0, k) = number;
        sg.Cell(kColX, k) = ShortestText(p.pt.x);
        sg.Cell(kColY, k) = ShortestText(p.pt.y);
        sg.Cell(kColTotal, k) = ShortestText(p.pt.z / 1000.0);
        sg.Cell(kColName, k) = p.Name.empty() ? number : p.Name;
        for (int c = kColFirstTime; c < sg.ColCount() && c <= 10; ++c) sg.Cell(c, k).clear();
    }
    sg.SetRowCount(k + 1);
    if (sg.row > k) sg.row = std::max(k, 1);
    points.clear();
}

// ---- Picking ----------------------------------------------------------------------------------

void TForm1::Button21Click(const TButton &sender) {
    const bool sky = &sender == &Button12;
    if (!CadAvailable(false)) return;
    const std::string prompt =
        sky ? "測定点を指示 <Enter=終了> : " : "特定点を指示 <Enter=終了> : ";
    std::vector<geometry::TTempPoint> &points = Workspace.TempPoints;
    bool failed = false;
    bool filled = false;
    {
        cadlink::ApplicationPtr app = AttachCad();
        cadlink::IDocument &doc = app->ActiveDocument();
        cadlink::SelectionSetPtr ss;
        // One picked point: said on the CAD's command line, numbered in picking order and named
        // after the first text around it.
        const auto add = [&](const geometry::TAcadPoint &p) {
            doc.Utility().Prompt(kPicked);
            geometry::TTempPoint tp;
            tp.pt = p;
            tp.Name = std::to_string(points.size() + 1);
            points.push_back(tp);
            ss->Clear();
            ss->Select(cadlink::SelectMode::Crossing, {p.x - kLabelReach, p.y + kLabelReach, 0.0},
                       {p.x + kLabelReach, p.y - kLabelReach, 0.0}, {{0, "TEXT"}});
            if (ss->Count() > 0) points.back().Name = ss->Item(0)->TextString();
        };
        try {
            doc.SetVariable("BLIPMODE", 1);
            points.clear();
            MinimizedWindow minimized(host_);
            ss = cadlink::GetTempSelectionSet(doc);
            if (cadlink::IsAutoFamily(ProgID)) {
                // The CAD's ID command leaves the picked point in LASTPOINT; the origin, which
                // it is reset to before each cycle, means the user ended the picking.
                // The waits only let the window breathe: the picking ends when the user ends it.
                struct Breathe : Progress {
                    UiHost &host;
                    explicit Breathe(UiHost &h) : host(h) {}
                    bool KeepRunning() override {
                        host.ProcessPendingEvents();
                        return true;
                    }
                } stop(host_);
                for (int failures = 0; failures < kMaxFailedCycles;) {
                    try {
                        doc.SetVariable("LASTPOINT", geometry::TAcadPoint{});
                        doc.SendCommand("ID\r");
                        cadlink::WaitQuiescent(*app, ProgID, 200, cad_->Sleeper(), stop);
                        const auto p = std::get<geometry::TAcadPoint>(doc.GetVariable("LASTPOINT"));
                        if (p.x == 0.0 && p.y == 0.0 && p.z == 0.0) break;
                        failures = 0;
                        add(p);
                    } catch (const std::exception &) {
                        ++failures;
                    }
                }
            } else {
                for (;;) {
                    cad_->Desktop().SetForegroundWindow(app->HWND());
                    geometry::TAcadPoint p;
                    try {
                        p = doc.Utility().GetPoint(std::nullopt, prompt);
                    } catch (const cadlink::CadError &) {
                        break;  // Enter: the picking ends
                    }
                    add(p);
                }
            }
        } catch (const std::exception &) {
            failed = true;
        }
        // The clean-up runs whatever happened; the points picked so far go into the grid.
        try {
            if (ss) ss->Delete();
        } catch (const std::exception &) {
            failed = true;
        }
        if (!points.empty()) {
            TempPointsToSG(sky ? 0 : 1);
            filled = true;
        }
        try {
            doc.SetVariable("BLIPMODE", 0);
        } catch (const std::exception &) {
            failed = true;
        }
        points.clear();
    }
    if (failed) {
        ShowMessage(kPickError);
        return;
    }
    if (!filled) return;
    if (!sky)
        GetTokuteiJikan();
    else if (SkyPointsRecompute)
        SkyPointsRecompute();
}

void TForm1::Button22Click(const TButton &sender) {
    const bool sky = &sender == &Button16;
    if (!CadAvailable(false)) return;
    ProgressDetail = false;
    std::vector<geometry::TTempPoint> &points = Workspace.TempPoints;
    bool filled = false;
    try {
        cadlink::ApplicationPtr app = AttachCad();
        cadlink::IDocument &doc = app->ActiveDocument();
        cadlink::SelectionSetPtr ss = cadlink::GetTempSelectionSet(doc);
        {
            MinimizedWindow minimized(host_);
            doc.Utility().Prompt(kSelectMarks);
            ss->SelectOnScreen({{0, "CIRCLE,TEXT"}});
        }
        cad_->Sleeper().Sleep(200);
        if (ss->Count() > 0) {
            points.clear();
            struct Label {
                geometry::TAcadPoint at;
                std::string text;
            };
            std::vector<Label> labels;
            for (int i = 0; i < ss->Count(); ++i) {
                const cadlink::EntityPtr e = ss->Item(i);
                const std::string kind = e->EntityName();
                if (kind == "AcDbCircle") {
                    geometry::TTempPoint tp;
                    tp.pt = e->Center();
                    points.push_back(tp);
                } else if (kind == "AcDbText") {
                    labels.push_back({e->InsertionPoint(), e->TextString()});
                }
            }
            for (geometry::TTempPoint &p : points) {
                p.Name.clear();
                for (const Label &l : labels)
                    if (std::fabs(l.at.x - p.pt.x) <= kLabelReach &&
                        std::fabs(l.at.y - p.pt.y) <= kLabelReach) {
                        p.Name = l.text;
                        break;
                    }
            }
        }
        if (!points.empty()) {
            TempPointsToSG(sky ? 0 : 1);
            filled = true;
        }
    } catch (const std::exception &) {
        // A selection the CAD refused, or marks it could not read: nothing is taken.
        points.clear();
        return;
    }
    if (!filled) return;
    if (!sky)
        GetTokuteiJikan();
    else if (SkyPointsRecompute)
        SkyPointsRecompute();
}

// ---- Shadow times -----------------------------------------------------------------------------

bool TForm1::GetTokuteiJikan() {
    if (Model.Empty() || !BuildingsHaveHeight()) return false;
    TStringGrid &grid = StringGrid2;
    // Everything is read and checked before a cell changes: a bad field or cell stops the
    // computation with a message and leaves the grid as it was.
    CommonFields common;
    shadow::TokuteiInputs in;
    std::vector<int> rows;
    std::vector<geometry::TAcadPoint> points;
    try {
        common = ReadCommonFields();
        GB_takasa = ParseNumber(Edit6.text, "測定面の高さ（特定点）") * 1000.0;
        const int index = RadioGroup3.itemIndex;
        if (index < 0 || index >= static_cast<int>(RadioGroup3.items.size()) ||
            index >= static_cast<int>(IntervalTable.size()))
            throw FieldRangeError("評価時間の番号 " + std::to_string(index) +
                                  " は選べません（0 ～ " +
                                  std::to_string(RadioGroup3.items.size() - 1) +
                                  "）．設定 Touji/kankaku を確かめて下さい．");
        in.StepMinutes = IntervalTable[static_cast<std::size_t>(index)] / 60.0;
        if (CheckBox2.checked) in.StepMinutes /= 10.0;
        for (int r = 1; r < grid.RowCount(); ++r) {
            if (!HasCoordinates(grid, r)) continue;
            const std::string row = "（" + std::to_string(r) + " 行目）";
            const double x = ParseNumber(grid.Cell(kColX, r), "X座標" + row);
            const double y = ParseNumber(grid.Cell(kColY, r), "Y座標" + row);
            rows.push_back(r);
            points.push_back({x, y, 0.0});
        }
    } catch (const std::exception &e) {
        ShowMessage(e.what());
        return false;
    }
    std::vector<PointTimesRow> &list = Results.pointTimes;
    list.clear();
    for (const int r : rows)
        list.push_back({grid.Cell(0, r),
                        grid.Cell(kColX, r),
                        grid.Cell(kColY, r),
                        grid.Cell(kColName, r),
                        {},
                        {}});
    in.Start = common.Start;
    in.End = common.End;
    in.PlaneHeight = GB_takasa;
    int instants = 0;
    if (const shadow::TokuteiCheck check = shadow::CheckTokuteiInputs(in, instants);
        check != shadow::TokuteiCheck::Ok) {
        ShowMessage(CheckMessage(check, *this));
        return false;
    }

    shadow::TokuteiResult result;
    {
        BusyScope busy(*this, LongCommand::PointTimes);
        for (int r = 1; r < grid.RowCount(); ++r)
            for (int c = kColTotal; c < grid.ColCount() && c <= 10; ++c) grid.Cell(c, r).clear();
        FormProgress progress(*this);
        result = shadow::GetTokuteiJikan(points, ShadowModel(), common.Sun, in, progress);
        for (std::size_t k = 0; k < rows.size() && k < result.Points.size(); ++k) {
            const shadow::PointShadowTimes &t = result.Points[k];
            const int r = rows[k];
            PointTimesRow &row = list[k];
            int c = kColFirstTime;
            for (const shadow::ShadowInterval &iv : t.Intervals) {
                if (c + 1 >= grid.ColCount()) break;
                row.intervals.emplace_back(solar::FormatHMS(iv.In),
                                           iv.Out ? solar::FormatHMS(*iv.Out) : std::string());
                grid.Cell(c, r) = row.intervals.back().first;
                grid.Cell(c + 1, r) = row.intervals.back().second;
                c += 2;
            }
            if (t.TotalHours) row.total = solar::FormatHMS(*t.TotalHours);
            grid.Cell(kColTotal, r) = row.total;
        }
    }
    if (result.NoSunInstants > 0)
        ShowMessage("太陽が地平線の下にある時刻（" + std::to_string(result.NoSunInstants) +
                    " 個）は日影に数えていません．");
    return result.Status == shadow::TokuteiStatus::Done;
}

std::vector<std::vector<std::string>> PointTimesTable(const std::vector<PointTimesRow> &rows) {
    const auto trim = [](std::string_view t) {
        const std::size_t b = t.find_first_not_of(' ');
        return b == std::string_view::npos
                   ? std::string()
                   : std::string(t.substr(b, t.find_last_not_of(' ') + 1 - b));
    };
    std::vector<std::vector<std::string>> table(1);
    std::string_view headers = FindControlEntry("StringGrid2")->items;
    while (true) {
        const std::size_t bar = headers.find('|');
        table[0].push_back(trim(headers.substr(0, bar)));
        if (bar == std::string_view::npos) break;
        headers = headers.substr(bar + 1);
    }
    for (const PointTimesRow &r : rows) {
        std::vector<std::string> &cells = table.emplace_back();
        for (const std::string *t : {&r.number, &r.x, &r.y, &r.name, &r.total})
            cells.push_back(trim(*t));
        for (const auto &[in, out] : r.intervals) {
            cells.push_back(trim(in));
            cells.push_back(trim(out));
        }
        cells.resize(table[0].size());
    }
    return table;
}

void TForm1::Button23Click() {
    if (Button23.caption == kStop) {
        RunFlag = false;
        return;
    }
    if (Model.Empty()) {
        ShowMessage(kNoBuilding);
        return;
    }
    bool any = false;
    for (int r = StringGrid2.RowCount() - 1; r >= 1 && !any; --r)
        any = HasCoordinates(StringGrid2, r);
    if (!any) {
        ShowMessage(kNoPoints);
        return;
    }
    // The summary block is offered only for times that were computed to the end.
    if (GetTokuteiJikan()) Button15.enabled = true;
}

// ---- Summary block ----------------------------------------------------------------------------

void TForm1::Button15Click() {
    if (Model.Empty()) {
        ShowMessage(kNoBuilding);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    bool any = false;
    for (int r = StringGrid2.RowCount() - 1; r >= 1 && !any; --r)
        any = HasCoordinates(StringGrid2, r);
    if (!any) {
        ShowMessage(kNoPoints);
        return;
    }
    if (CadAvailable(false)) DrawNiniText();
}

void TForm1::DrawNiniText() {
    const double h = ParseNumber(Edit38.text, "文字高さ");
    if (!(h > 0.0) || !std::isfinite(h))
        throw FieldRangeError(
            "文字高さには 0 より大きい値を指定して下さい．（文字高さ: " + Edit38.text + "）");
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    cadlink::BlockPtr block = cadlink::NewBlock(doc, "PIMU_");
    TStringGrid &g = StringGrid2;
    for (int k = 1; k < g.RowCount(); ++k) {
        if (g.Cell(kColName, k).empty()) g.Cell(kColName, k) = std::to_string(k);
        std::string line = g.Cell(kColName, k) + " " + g.Cell(kColTotal, k) + " [" + g.Cell(5, k) +
                           "-" + g.Cell(6, k) + "] ";
        if (g.ColCount() > 8 && !g.Cell(7, k).empty())
            line += " [" + g.Cell(7, k) + "-" + g.Cell(8, k) + "] ";
        if (g.ColCount() > 10 && !g.Cell(9, k).empty())
            line += " [" + g.Cell(9, k) + "-" + g.Cell(10, k) + "] ";
        cadlink::EntityPtr text = block->AddText(line, {0.0, -2.0 * h * k, 0.0}, h);
        text->SetScaleFactor(0.8);
    }
    cadlink::EntityPtr heading =
        block->AddText("測定面の高さ= " + Edit6.text +
                           " メートル /評価時間= " + IntervalHeading(RadioGroup3.itemIndex),
                       {0.0, 0.0, 0.0}, h);
    heading->SetScaleFactor(0.8);
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::BlockPlacedByUser,
                       block->Name());
}

// ---- Name editing -------------------------------------------------------------------------------

void TForm1::StringGrid2Click() {
    const int r = StringGrid2.row;
    if (r < 1 || r >= StringGrid2.RowCount()) return;
    if (!StringGrid2.Cell(kColX, r).empty()) Edit41.text = StringGrid2.Cell(kColName, r);
}

void TForm1::Edit41Change() {
    const int r = StringGrid2.row;
    if (r < 1 || r >= StringGrid2.RowCount()) return;
    if (!StringGrid2.Cell(kColX, r).empty()) StringGrid2.Cell(kColName, r) = Edit41.text;
}

void TForm1::Edit6Change() {
    Button15.enabled = false;
}

}  // namespace pimu::app
