// The sky factors of the measurement point list (tab 天空２): 再計算 over every row of StringGrid1,
// the editing of a row's label and height, the drawing scale from the CAD.
#include <string>
#include <variant>
#include <vector>

#include "app/form.h"
#include "base/numconv.h"
#include "cadlink/dxftext.h"
#include "sky/sky_list.h"

namespace pimu::app {

namespace {

constexpr const char *kNoBuildings = "建物データがありません．";
constexpr const char *kNoPoints = "測定点データがありません．";

// Columns of StringGrid1.
constexpr int kColX = 1;
constexpr int kColY = 2;
constexpr int kColName = 3;
constexpr int kColHeight = 4;
constexpr int kColNaisetu = 5;
constexpr int kColGaisetu = 6;
constexpr int kColArea = 7;
constexpr int kColExact = 8;

bool Blank(const std::string &s) {
    return s.find_first_not_of(" \t") == std::string::npos;
}

// What the rows of the grid hold, read and checked before anything is computed.
struct GridPoint {
    int row = 0;
    geometry::TAcadPoint pt;
};

}  // namespace

bool TForm1::SkyRowHasPoint(int row) const {
    if (row < 1 || row >= StringGrid1.RowCount()) return false;
    return !StringGrid1.Cell(kColX, row).empty() && !StringGrid1.Cell(kColY, row).empty();
}

double TForm1::MentakaHeight() const {
    if (Blank(MENTAKA)) return 0.0;
    return ParseNumber(MENTAKA, "測定面") * 1000.0;
}

std::vector<std::vector<std::string>> SkyListTable(const std::vector<SkyListRow> &rows) {
    const auto trim = [](const std::string &t) {
        const std::size_t b = t.find_first_not_of(' ');
        return b == std::string::npos ? std::string()
                                      : t.substr(b, t.find_last_not_of(' ') + 1 - b);
    };
    std::vector<std::vector<std::string>> table(1);
    std::string_view headers = FindControlEntry("StringGrid1")->items;
    for (int c = 0; c < kColNaisetu; ++c) {
        const std::size_t bar = headers.find('|');
        table[0].push_back(trim(std::string(headers.substr(0, bar))));
        headers = bar == std::string_view::npos ? std::string_view() : headers.substr(bar + 1);
    }
    for (const char *h : kSkyResultHeaders) table[0].push_back(h);
    for (const SkyListRow &r : rows) {
        std::vector<std::string> &cells = table.emplace_back();
        for (const std::string *t : {&r.number, &r.x, &r.y, &r.name, &r.height})
            cells.push_back(trim(*t));
        if (r.values) {
            cells.push_back(cadlink::DxfFixed(r.values->naisetu, 3));
            cells.push_back(cadlink::DxfFixed(r.values->gaisetu, 3));
            cells.push_back("");
            cells.push_back(cadlink::DxfFixed(r.values->exact, 3));
        } else {
            cells.resize(cells.size() + 4);
        }
    }
    return table;
}

void TForm1::Button9Click() {
    // Another long command runs and processes the window's events: its run flag is not ours.
    if (RunFlag) return;
    // The inputs every row shares; a bad one stops before the grid is touched.
    sky::SkyMapSizes sizes;
    sizes.HankeiA = ParseNumber(Edit15.text, "半径 (type A)");
    sizes.HankeiB = ParseNumber(Edit21.text, "半径 (type B)");
    sizes.Syakudo = ParseNumber(Edit19.text, "図面の尺度");
    ParseNumber(Edit12.text, "真北");
    // The map type whose radius is larger measures the finer triangles.
    const int typ = sizes.HankeiA > sizes.HankeiB ? 0 : 1;
    const double r = sky::PaperRadius(sizes, typ);
    if (!(r > 0.0))
        throw FieldRangeError("半径には 0 より大きい値を指定して下さい．（半径: " +
                              (typ == 0 ? Edit15.text : Edit21.text) + "）");
    if (!(sizes.Syakudo > 0.0))
        throw FieldRangeError(
            "図面の尺度には 0 より大きい値を指定して下さい．（図面の尺度: " + Edit19.text + "）");

    ProgressDetail = true;
    Button9.enabled = false;
    // The drawing buttons come back at the end whatever happened, and RunFlag lets the
    // projection's progress stop the run.
    struct Finish {
        TForm1 &f;
        ~Finish() {
            f.RunFlag = false;
            f.ProgressBar1.position = 0;
            for (TButton *b : {&f.Button9, &f.Button13, &f.Button14, &f.Button18, &f.Button24})
                b->enabled = true;
        }
    } finish{*this};

    if (Model.Empty()) {
        ShowMessage(kNoBuildings);
        return;
    }
    if (!BuildingsHaveHeight()) return;

    TStringGrid &sg = StringGrid1;
    sg.SetColCount(9);
    sg.SetColWidth(kColArea, sg.ColWidth(kColGaisetu));
    sg.SetColWidth(kColExact, sg.ColWidth(kColGaisetu));
    for (int c = kColNaisetu; c <= kColExact; ++c)
        sg.Cell(c, 0) = std::string(" ") + kSkyResultHeaders[c - kColNaisetu];

    // Every point row is read first: a coordinate or a height that is not a number is named and
    // nothing is computed (a height read as 0 would give a plausible but wrong sky factor).
    std::vector<GridPoint> points;
    bool endsEarly = false;
    for (int row = 1; row < sg.RowCount(); ++row) {
        std::string &height = sg.Cell(kColHeight, row);
        if (height.find(':') != std::string::npos) height = "0";
        if (!SkyRowHasPoint(row)) {
            endsEarly = true;
            break;
        }
        const std::string where = "（" + std::to_string(row) + " 行目）";
        GridPoint p;
        p.row = row;
        p.pt.x = ParseNumber(sg.Cell(kColX, row), "X座標" + where);
        p.pt.y = ParseNumber(sg.Cell(kColY, row), "Y座標" + where);
        if (!Blank(height)) ParseNumber(height, "測定面" + where);
        points.push_back(p);
    }
    for (int row = 1; row < sg.RowCount(); ++row)
        for (int c = kColNaisetu; c <= kColExact; ++c) sg.Cell(c, row).clear();
    std::vector<SkyListRow> &list = Results.skyList;
    list.clear();
    for (const GridPoint &p : points)
        list.push_back({sg.Cell(0, p.row), sg.Cell(kColX, p.row), sg.Cell(kColY, p.row),
                        sg.Cell(kColName, p.row), sg.Cell(kColHeight, p.row), std::nullopt});

    RunFlag = true;
    FormProgress progress(*this);
    progress.Start(static_cast<int>(points.size()));
    const sky::SkyBuildings buildings = sky::SkyBuildingsOf(Model);
    std::string refused;
    int position = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const GridPoint &p = points[k];
        IDPOINT1 = p.pt;
        if (!Blank(sg.Cell(kColHeight, p.row))) MENTAKA = sg.Cell(kColHeight, p.row);
        const sky::SkyPointResult result =
            sky::ComputeSkyPoint(buildings, IDPOINT1, MentakaHeight(), r, sizes.Syakudo);
        progress.Position(++position);
        if (!progress.KeepRunning()) return;
        if (!result.Consistent) {
            // Never a number that breaks 計画 <= 精算 <= 適合: the row stays empty and is named.
            sky::TenkuRituResult values;
            values.naisetu = result.naisetu;
            values.gaisetu = result.gaisetu;
            values.exact = result.exact;
            refused += sky::InconsistentMessage(std::to_string(p.row) + " 行目", values) + "\n";
        } else {
            list[k].values = result;
            const std::vector<std::string> cells = SkyListTable({list[k]}).back();
            for (int c = kColNaisetu; c <= kColExact; ++c)
                sg.Cell(c, p.row) = cells[static_cast<std::size_t>(c)];
        }
        sg.row = p.row;
        StringGrid1Click();
    }
    progress.Position(0);
    if (!refused.empty()) ShowMessage(refused);
    if (endsEarly) ShowMessage(kNoPoints);
}

void TForm1::StringGrid1Click() {
    const int row = StringGrid1.row;
    if (row < 1 || row >= StringGrid1.RowCount() || StringGrid1.Cell(kColX, row).empty()) return;
    Edit10.text = StringGrid1.Cell(kColName, row);
    Edit26.text = StringGrid1.Cell(kColHeight, row);
}

void TForm1::Edit10Change() {
    const int row = StringGrid1.row;
    if (row < 1 || row >= StringGrid1.RowCount() || StringGrid1.Cell(kColX, row).empty()) return;
    StringGrid1.Cell(kColName, row) = Edit10.text;
}

bool TForm1::Edit10KeyPress(char32_t key) {
    if (!KeyPress("Edit10", key)) return false;
    if (key != kKeyEnter) return true;
    Edit10Change();
    ActiveControl = "Edit26";
    return false;
}

void TForm1::Edit26Change() {
    if (!SkyRowHasPoint(StringGrid1.row)) return;
    StringGrid1.Cell(kColHeight, StringGrid1.row) = Edit26.text;
    // The drawn maps would no longer match the grid's results.
    for (TButton *b : {&Button13, &Button14, &Button18, &Button24}) b->enabled = false;
}

bool TForm1::Edit26KeyPress(char32_t key) {
    if (!KeyPress("Edit26", key)) return false;
    if (key != kKeyEnter) return true;
    const int row = StringGrid1.row;
    if (SkyRowHasPoint(row)) {
        if (!Blank(Edit26.text)) StringGrid1.Cell(kColHeight, row) = Edit26.text;
        StringGrid1.row = row + 1 < StringGrid1.RowCount() ? row + 1 : 1;
        StringGrid1Click();
        ActiveControl = "Edit10";
    }
    return false;
}

void TForm1::SpeedButton8Click() {
    if (!CadAvailable(false)) return;
    cadlink::ApplicationPtr app = AttachCad();
    const cadlink::SysValue v = app->ActiveDocument().GetVariable("DIMSCALE");
    double scale = 0.0;
    if (const double *d = std::get_if<double>(&v))
        scale = *d;
    else if (const int *i = std::get_if<int>(&v))
        scale = *i;
    else
        return;
    Edit19.text = cadlink::DxfFixed(scale, 2);
}

}  // namespace pimu::app
