#include "app/targetcad.h"

#include <gtest/gtest.h>

#include "app/form.h"
#include "app/recording_host.h"
#include "test_support.h"

namespace pimu::app {
namespace {

using testing::TempDir;

TEST(TargetCad, StartLookupIgnoresCase) {
    const std::vector<std::string> lines = {"ZWCAD\tZWCAD.Application",
                                            " BricsCAD \tbricscadapp.acadapplication.24",
                                            "Other\tBricscadApp.AcadApplication"};
    const TargetCadMatch m = FindTargetCad(lines, "BricscadApp.AcadApplication");
    ASSERT_TRUE(m.found);
    EXPECT_EQ(m.name, "BricsCAD");
    EXPECT_EQ(m.rest, "bricscadapp.acadapplication.24");
    EXPECT_FALSE(FindTargetCad(lines, "GCAD.Application").found);
}

struct Window {
    TempDir dir;
    RecordingUiHost host;
    TForm1 form{FormPaths(dir.path()), host};
    std::vector<std::string> FileLines() const { return ReadTextLines(dir / kTargetCadFile).lines; }
};

TEST(TargetCad, StartSetsCaptionsFromTheList) {
    Window w;
    w.dir.Write(kTargetCadFile,
                "AutoCAD\tAutoCAD.Application\r\nBricsCAD\tBricscadApp.AcadApplication\r\n");
    w.form.FormCreate();
    EXPECT_EQ(w.form.Caption, "Pimu2024 Beta [ BricsCAD ]");
    EXPECT_EQ(w.form.GroupBox15.caption, "ターゲットCAD = BricsCAD");
    EXPECT_EQ(w.form.Edit42.text, "BricscadApp.AcadApplication");

    Window none;
    none.dir.Write(kTargetCadFile, "AutoCAD\tAutoCAD.Application\r\n");
    none.form.FormCreate();
    EXPECT_EQ(none.form.Caption, "Pimu2024.09.14 Beta");
    EXPECT_EQ(none.form.GroupBox15.caption, "ターゲットCAD");
    EXPECT_EQ(none.form.Edit42.text, "");
}

TEST(TargetCadDialog, ShowSortsAndSelectsExactCase) {
    Window w;
    w.dir.Write(kTargetCadFile,
                "zw\tZWCAD.Application\r\nbrics lower\tbricscadapp.acadapplication\r\n"
                "Brics\tBricscadApp.AcadApplication\r\nAuto\tAutoCAD.Application\r\n");
    w.form.FormCreate();
    TTargetCADForm &d = w.form.TargetCADForm;
    w.host.onShowModal = [&](std::string_view) { EXPECT_EQ(d.ListBox1.itemIndex, 1); };
    w.form.SpeedButton4Click();
    EXPECT_EQ(w.host.calls.back(), "ShowModal TargetCADForm");
    const std::vector<std::string> sorted = {
        "Auto\tAutoCAD.Application", "Brics\tBricscadApp.AcadApplication",
        "brics lower\tbricscadapp.acadapplication", "zw\tZWCAD.Application"};
    EXPECT_EQ(d.ListBox1.items, sorted);
    EXPECT_EQ(d.Edit1.text, "Brics");
    EXPECT_EQ(d.Edit2.text, "BricscadApp.AcadApplication");

    // Cancel applies nothing; OK applies the fields without writing the file.
    d.ListBox1.itemIndex = 3;
    d.ListBox1Click();
    d.Button2Click();
    EXPECT_EQ(w.form.ProgID, "BricscadApp.AcadApplication");
    const std::string fileBefore = w.dir.Read(kTargetCadFile);
    d.Button1Click();
    EXPECT_EQ(d.modalResult, TTargetCADForm::ModalResult::Ok);
    EXPECT_EQ(w.form.ProgID, "ZWCAD.Application");
    EXPECT_EQ(w.form.Edit42.text, "ZWCAD.Application");
    EXPECT_EQ(w.form.Caption, "Pimu2024 Beta [ zw ]");
    EXPECT_EQ(w.form.GroupBox15.caption, "ターゲットCAD = zw");
    EXPECT_EQ(w.dir.Read(kTargetCadFile), fileBefore);
}

TEST(TargetCadDialog, AddChangeAndNoSelection) {
    Window w;
    TTargetCADForm &d = w.form.TargetCADForm;
    d.FormShow("x");  // no file: nothing loaded
    EXPECT_TRUE(d.ListBox1.items.empty());

    d.Edit1.text = "Mid";
    d.Edit2.text = "Mid.App";
    d.SpeedButton1Click();
    d.Edit1.text = "Alpha\tname";  // a tab would split the line when read back
    d.Edit2.text = "A.App";
    d.SpeedButton1Click();
    EXPECT_EQ(d.ListBox1.itemIndex, 0);
    EXPECT_EQ(w.FileLines(), (std::vector<std::string>{"Alpha name\tA.App", "Mid\tMid.App"}));
    EXPECT_EQ(w.dir.Read(kTargetCadFile), "Alpha name\tA.App\r\nMid\tMid.App\r\n");

    d.Edit1.text = "Zed";
    d.Edit2.text = "Z.App";
    EXPECT_FALSE(d.EditKeyPress(U'\r'));  // Enter acts as 変更
    EXPECT_EQ(w.FileLines(), (std::vector<std::string>{"Mid\tMid.App", "Zed\tZ.App"}));
    EXPECT_EQ(d.ListBox1.itemIndex, 1);
    EXPECT_TRUE(d.EditKeyPress(U'a'));

    d.ListBox1.itemIndex = -1;
    d.Edit1.text = "ignored";
    d.SpeedButton3Click();
    d.SpeedButton2Click();
    EXPECT_EQ(w.FileLines(), (std::vector<std::string>{"Mid\tMid.App", "Zed\tZ.App"}));
    EXPECT_EQ(d.Edit1.text, "ignored");
}

TEST(TargetCadDialog, DeleteSelectsANeighbour) {
    struct Case {
        int lines, deleted, selectedAfter;
    };
    const Case cases[] = {
        {4, 0, 0}, {4, 1, 1}, {4, 2, 1}, {4, 3, 2}, {2, 0, -1}, {2, 1, 0}, {1, 0, -1},
    };
    for (const auto &c : cases) {
        Window w;
        TTargetCADForm &d = w.form.TargetCADForm;
        for (int i = 0; i < c.lines; ++i)
            d.ListBox1.items.push_back("n" + std::to_string(i) + "\tp");
        d.ListBox1.itemIndex = c.deleted;
        d.ListBox1Click();
        d.SpeedButton2Click();
        EXPECT_EQ(d.ListBox1.itemIndex, c.selectedAfter) << c.lines << " " << c.deleted;
        EXPECT_EQ(static_cast<int>(w.FileLines().size()), c.lines - 1);
        const std::string expectName =
            c.selectedAfter < 0
                ? ""
                : d.ListBox1.items[static_cast<size_t>(c.selectedAfter)].substr(0, 2);
        EXPECT_EQ(d.Edit1.text, expectName);
    }
}

TEST(TargetCadDialog, DeletingTheOnlyLineSavesAnEmptyFile) {
    Window w;
    w.dir.Write(kTargetCadFile, "Only\tOnly.App\r\n");
    TTargetCADForm &d = w.form.TargetCADForm;
    d.FormShow("Only.App");
    ASSERT_EQ(d.ListBox1.itemIndex, 0);
    d.SpeedButton2Click();
    EXPECT_TRUE(d.ListBox1.items.empty());
    EXPECT_EQ(d.Edit1.text, "");
    EXPECT_EQ(d.Edit2.text, "");
    EXPECT_EQ(w.dir.Read(kTargetCadFile), "");
}

TEST(TargetCadDialog, LineWithoutTabIsABareProgId) {
    Window w;
    TTargetCADForm &d = w.form.TargetCADForm;
    d.ListBox1.items = {"Plain.Application"};
    d.ListBox1.itemIndex = 0;
    d.ListBox1Click();
    EXPECT_EQ(d.Edit1.text, "");
    EXPECT_EQ(d.Edit2.text, "Plain.Application");
}

}  // namespace
}  // namespace pimu::app
