// The equation-of-time tools of the 設定２ tab (their controls are hidden): the calculator, the
// true-solar-noon message and the two plots of the tabulated equation of time.
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/textfile.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "solar/eqtime.h"

namespace pimu::app {

namespace {

// A table beside the program, one value a line (a line that is not a number counts as 0); none
// when the file is missing or cannot be read.
std::optional<std::vector<double>> ReadEqTimeTable(const std::filesystem::path &path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    try {
        std::string text;
        for (const std::string &line : ReadTextLines(path).lines) text += line + "\n";
        return solar::ParseEqTimeTable(text);
    } catch (const FileError &) {
        return std::nullopt;
    }
}

}  // namespace

std::chrono::year_month_day LocalToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return std::chrono::year{local.tm_year + 1900} /
           std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
           std::chrono::day{static_cast<unsigned>(local.tm_mday)};
}

void TForm1::Button19Click() {
    Results.eqTime = solar::EqTimeText(Today(), Edit1.text);
    Edit45.text = Results.eqTime;
}

void TForm1::ChihouTaiyoujiClick() {
    Longitude = ParseNumber(Edit43.text, "経度");
    EqOfTime = ParseNumber(Edit44.text, "均時差");
    Results.trueSolarNoon = solar::TrueSolarNoonText(Longitude, EqOfTime);
    ShowMessage(Results.trueSolarNoon);
}

// Draws the plot's lines into model space, letting the window breathe after every day.
void TForm1::DrawEqTimePlot(const solar::EqTimePlot &plot) {
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    cadlink::IEntityContainer &space = doc.ModelSpace();
    Results.eqTimeDifference.clear();
    Label65.caption = "0";
    // The window breathes every few dozen lines: each breath may repaint the drawing, and a
    // year's plot is over a thousand lines.
    constexpr std::size_t kLinesPerBreath = 96;
    for (std::size_t i = 0; i < plot.lines.size(); ++i) {
        const solar::EqTimePlotLine &l = plot.lines[i];
        space.AddLine(l.st, l.ed)->SetColor(l.colour);
        if (i % kLinesPerBreath == kLinesPerBreath - 1) host_.ProcessPendingEvents();
    }
    Results.eqTimeDifference = solar::EqTimeDifferenceText(plot.maxDifference);
    Label65.caption = Results.eqTimeDifference;
}

void TForm1::Button1Click() {
    if (!CadAvailable(false)) return;
    const auto a = ReadEqTimeTable(paths_.File(kEqTimeTable2024File));
    const auto b = ReadEqTimeTable(paths_.File(kEqTimeTable2025File));
    if (!a || !b) return;
    DrawEqTimePlot(solar::CompareEqTimeTables(*a, *b));
}

void TForm1::Button25Click() {
    if (!CadAvailable(false)) return;
    const auto t = ReadEqTimeTable(paths_.File(kEqTimeTable2025File));
    if (!t) return;
    DrawEqTimePlot(solar::CompareEqTimeFormula(*t));
}

}  // namespace pimu::app
