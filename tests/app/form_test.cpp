#include "app/form.h"

#include <gtest/gtest.h>

#include <set>

#include "app/recording_host.h"
#include "test_support.h"

namespace pimu::app {
namespace {

using testing::TempDir;

struct Window {
    TempDir dir;
    RecordingUiHost host;
    RecordingCadConnection cad;
    TForm1 form{FormPaths{dir.path(), "pimu.exe"}, host, &cad};
};

bool Enabled(TForm1 &f, const std::string &name) {
    return f.FindControl(name)->enabled;
}

TEST(Form, EveryControlHasAUniqueNameAndTypedAccess) {
    Window w;
    std::set<std::string> names;
    for (const Control *c : w.form.AllControls())
        EXPECT_TRUE(names.insert(c->name).second) << c->name;
    EXPECT_EQ(&w.form.Edit("Edit4"), &w.form.Edit4);
    EXPECT_EQ(&w.form.Button("Button23"), &w.form.Button23);
    EXPECT_EQ(w.form.FindControl("地方太陽時"), &w.form.ChihouTaiyouji);
    EXPECT_EQ(w.form.FindControl("Edit99"), nullptr);
    EXPECT_THROW(w.form.Edit("Button3"), std::out_of_range);
    EXPECT_EQ(w.form.Get<TStringGrid>("StringGrid2").ColCount(), 11);
    EXPECT_EQ(w.form.CheckListBox1.items.size(), 14u);
    EXPECT_EQ(w.form.CheckListBox1.items[3], "3.0Hr");
    EXPECT_EQ(w.form.CheckListBox1.items[13], "8.0Hr");
}

TEST(Form, FirstStartWithoutFilesShowsDefaultsCentred) {
    Window w;
    w.host.scalePercent = 150;
    w.form.Edit4.text = "9.9";  // a text stored with the form loses to the default
    w.form.FormCreate();
    TForm1 &f = w.form;

    EXPECT_EQ(f.Left, (1920 - f.Width) / 2);
    EXPECT_EQ(f.Top, (1080 - f.Height) / 2);
    EXPECT_EQ(f.Edit4.text, "4.0");
    EXPECT_EQ(f.Edit19.text, "200");
    EXPECT_EQ(f.Edit29.text, "PIMU_HTOJI");
    EXPECT_EQ(f.ProgID, "BricscadApp.AcadApplication");
    EXPECT_EQ(f.Caption, "Pimu2024.09.14 Beta");
    EXPECT_EQ(f.GroupBox15.caption, "ターゲットCAD");
    EXPECT_EQ(f.Edit42.text, "");
    EXPECT_DOUBLE_EQ(f.Declination, -0.40927970959267024);
    EXPECT_EQ(f.MeshSizeTable, (std::array<int, 4>{2000, 1600, 1200, 640}));
    EXPECT_EQ(f.IntervalTable, (std::array<int, 4>{10, 30, 60, 120}));
    EXPECT_EQ(f.MeshSize(-1), 640);
    EXPECT_EQ(f.GB_toujiidx, -1);
    EXPECT_EQ(f.ComboBox1.items.size(), 48u);
    EXPECT_EQ(f.UpDown5.position, 4);
    EXPECT_EQ(f.Edit9.text, "4");
    EXPECT_EQ(f.RadioGroup4.itemIndex, 0);
    EXPECT_FALSE(f.CheckBox3.enabled);  // AREA: no tables
    EXPECT_DOUBLE_EQ(f.Longitude, 135.0);
    EXPECT_DOUBLE_EQ(f.EqOfTime, 1.896);
    EXPECT_TRUE(f.StayOnTop);

    // Grid columns follow the display scale.
    EXPECT_EQ(f.ScalePercent, 150);
    EXPECT_EQ(f.StringGrid1.ColWidth(0), 52);  // 35 * 1.5, truncated
    EXPECT_EQ(f.StringGrid1.ColWidth(3), 82);
    EXPECT_EQ(f.StringGrid1.Cell(1, 0), " X座標");
    EXPECT_EQ(f.StringGrid2.defaultRowHeight, 28);
    EXPECT_EQ(f.StringGrid2.ColWidth(5), 103);  // 28 / 19 * 70 + 0.5
    EXPECT_EQ(f.StringGrid2.ColWidth(0), 52);
    EXPECT_EQ(f.StringGrid2.Cell(10, 0), " 出時刻 3");

    // Filter registration, then the topmost placement, come last.
    EXPECT_EQ(w.cad.calls, std::vector<std::string>{"RegisterMessageFilter"});
    EXPECT_EQ(w.host.calls.front(), "DisplayScalePercent");
    EXPECT_EQ(w.host.calls.back(), "PlaceTopmost");
    EXPECT_TRUE(w.host.messages.empty());
}

TEST(Form, MissingDisplayScaleFallsBackTo100) {
    Window w;
    w.host.scalePercent.reset();
    w.form.FormCreate();
    EXPECT_EQ(w.form.ScalePercent, 100);
    EXPECT_EQ(w.form.StringGrid1.ColWidth(0), 35);
    EXPECT_EQ(w.form.StringGrid2.ColWidth(1), 70);
}

TEST(Form, CityFileReplacesBuiltInList) {
    Window w;
    w.dir.Write("pimu_ido.txt", "札幌  ,43°03′41″\r\n那覇  ,26°12′\r\n\r\n");
    w.form.FormCreate();
    ASSERT_EQ(w.form.ComboBox1.items.size(), 2u);
    w.form.ComboBox1.itemIndex = 0;
    w.form.ComboBox1Change();
    EXPECT_EQ(w.form.Edit3.text, "43");
    EXPECT_EQ(w.form.Edit5.text, "03");
    EXPECT_EQ(w.form.Edit23.text, "41");
    w.form.ComboBox1.itemIndex = -1;  // typed text that selects no item
    w.form.Edit3.text = "x";
    w.form.ComboBox1Change();
    EXPECT_EQ(w.form.Edit3.text, "x");
}

TEST(Form, SeasonSetsDeclination) {
    Window w;
    const double expected[] = {-0.40927970959267024, 0.0, 0.40927970959267024};
    for (int i = 0; i < 3; ++i) {
        w.form.RadioGroup1.itemIndex = i;
        w.form.RadioGroup1Click();
        EXPECT_DOUBLE_EQ(w.form.Declination, expected[i]);
    }
}

TEST(Form, ShutDownSavesThenRevokesAndIgnoresRevokeFailure) {
    Window w;
    w.form.FormCreate();
    w.cad.revokeThrows = true;
    w.form.Edit3.text = "35";
    EXPECT_NO_THROW(w.form.FormDestroy());
    EXPECT_EQ(w.cad.calls.back(), "RevokeMessageFilter");
    EXPECT_NE(w.dir.Read("pimu.ini").find("ido1=35\r\n"), std::string::npos);
}

TEST(Enabling, AcquisitionEnablesCommandsButNotAnimation) {
    Window w;
    w.form.FormCreate();
    for (const char *b :
         {"Button3", "Button4", "Button5", "Button6", "Button12", "Button16", "Button17",
          "Button18", "Button21", "Button22", "Button24", "Button10", "Button7"})
        EXPECT_FALSE(Enabled(w.form, b)) << b;
    w.form.EnableAfterAcquisition();
    for (const char *b : {"Button3", "Button8", "Button9", "Button11", "Button4", "Button5",
                          "Button6", "Button21", "Button22", "Button12", "Button16", "Button20",
                          "Button18", "Button24", "SpeedButton8", "SpeedButton1"})
        EXPECT_TRUE(Enabled(w.form, b)) << b;
    EXPECT_FALSE(w.form.Button17.enabled);
    EXPECT_FALSE(w.form.Button10.enabled);
}

TEST(Enabling, BusyStatesOfTheLongCommands) {
    struct Case {
        LongCommand command;
        const char *stop;
        std::vector<std::string> disabled;
    };
    const Case cases[] = {
        {LongCommand::TimeOfDay, "Button10", {"Button2", "Button3", "Button17"}},
        {LongCommand::Isochrone,
         "Button7",
         {"Button2", "Button3", "Button17", "Button4", "Button5", "Button6", "Button8", "Button9",
          "Button11"}},
        {LongCommand::PointTimes,
         "Button7",
         {"Button5", "Button15", "Button4", "Button6", "Button2", "Button3", "Button17", "Button8",
          "Button11", "Button9"}},
    };
    for (const auto &c : cases) {
        Window w;
        w.form.FormCreate();
        w.form.EnableAfterAcquisition();
        {
            BusyScope busy(w.form, c.command);
            EXPECT_TRUE(w.form.RunFlag);
            EXPECT_TRUE(Enabled(w.form, c.stop));
            for (const auto &b : c.disabled) EXPECT_FALSE(Enabled(w.form, b)) << b;
        }
        EXPECT_FALSE(w.form.RunFlag);
        EXPECT_FALSE(Enabled(w.form, c.stop));
        EXPECT_TRUE(w.form.Button2.enabled);
        EXPECT_TRUE(w.form.Button3.enabled);
        // Only the isochronal and point commands give the animation button back.
        EXPECT_EQ(w.form.Button17.enabled, c.command != LongCommand::TimeOfDay);
    }
}

TEST(Enabling, StopButtonEndsTimeOfDayRunAtNextStep) {
    Window w;
    w.form.FormCreate();
    w.form.EnableAfterAcquisition();
    int steps = 0;
    w.host.onPendingEvents = [&] {
        if (steps == 3) w.form.Button10Click();
    };
    {
        BusyScope busy(w.form, LongCommand::TimeOfDay);
        w.form.ProgressStart(9);
        for (int i = 0; i < 9; ++i) {
            ++steps;
            if (!w.form.ProgressStep()) break;
        }
    }
    EXPECT_EQ(steps, 3);
    EXPECT_TRUE(w.form.Button2.enabled);
    EXPECT_TRUE(w.form.Button3.enabled);
    EXPECT_FALSE(w.form.Button10.enabled);
}

TEST(Enabling, PointTimesStopLeavesHiddenButtonOffAndRestoresCaption) {
    for (bool stopped : {false, true}) {
        Window w;
        w.form.FormCreate();
        w.form.EnableAfterAcquisition();
        w.form.BeginLongCommand(LongCommand::PointTimes);
        EXPECT_EQ(w.form.Button23.caption, "中止");
        w.form.ProgressStart(5);
        w.form.ProgressStep();
        if (stopped) w.form.Button23Click();
        w.form.EndLongCommand(LongCommand::PointTimes);
        EXPECT_EQ(w.form.Button4.enabled, !stopped);
        EXPECT_EQ(w.form.Button23.caption, "再計算");
        EXPECT_EQ(w.form.ProgressBar1.position, 0);
        EXPECT_FALSE(w.form.Button7.enabled);
    }
}

TEST(Enabling, RunEscGivesTheIsochroneCommandsBack) {
    Window w;
    w.form.BeginLongCommand(LongCommand::Isochrone);
    w.form.Button7Click();
    EXPECT_FALSE(w.form.RunFlag);
    w.form.RunEsc();
    for (const char *b : {"Button2", "Button3", "Button17", "Button4", "Button5", "Button8",
                          "Button11", "Button9", "Button6"})
        EXPECT_TRUE(Enabled(w.form, b)) << b;
    EXPECT_FALSE(w.form.Button7.enabled);
}

TEST(Progress, StepsAndFinish) {
    Window w;
    w.form.RunFlag = true;
    w.form.ProgressStart(3);
    for (int i = 0; i < 5; ++i) w.form.ProgressStep();
    EXPECT_EQ(w.form.ProgressBar1.position, 3);  // never beyond the maximum
    EXPECT_EQ(std::count(w.host.calls.begin(), w.host.calls.end(), "ProcessPendingEvents"), 5);
    w.form.ProgressFinish();
    EXPECT_EQ(w.form.ProgressBar1.position, 0);
}

TEST(Progress, FormProgressDrivesTheBarTheLabelAndTheRunFlag) {
    for (bool esc : {false, true}) {
        SCOPED_TRACE(esc);
        Window w;
        w.form.BeginLongCommand(LongCommand::Isochrone);
        FormProgress progress(w.form, esc, "時刻：");
        progress.Start(40);
        EXPECT_EQ(w.form.ProgressBar1.max, 40);
        EXPECT_EQ(w.form.ProgressBar1.position, 0);
        progress.Position(41);  // never past the end
        EXPECT_EQ(w.form.ProgressBar1.position, 40);
        progress.Status("08:30");
        EXPECT_EQ(w.form.Label2.caption, "時刻：08:30");
        EXPECT_TRUE(progress.KeepRunning());
        EXPECT_EQ(std::count(w.host.calls.begin(), w.host.calls.end(), "ProcessPendingEvents"), 1);

        // The stop button, pressed while events are processed, is heard at once.
        w.host.onPendingEvents = [&] { w.form.Button7Click(); };
        EXPECT_FALSE(progress.KeepRunning());
        // With escOnStop the commands come back as RunEsc gives them.
        EXPECT_EQ(w.form.Button2.enabled, esc);
        EXPECT_EQ(w.form.Button7.enabled, !esc);
    }
}

TEST(Commands, FrontEndsRunCommandsAsTheirButtonsAndStopThem) {
    Window w;
    w.form.FormCreate();
    // Without buildings the diagrams are not offered: nothing runs, nothing is said.
    EXPECT_FALSE(w.form.Button3.enabled);
    EXPECT_EQ(w.form.RunCommand(FormCommand::TimeOfDay), CommandOutcome::NotAvailable);
    EXPECT_EQ(w.form.RunCommand(FormCommand::Isochrone), CommandOutcome::NotAvailable);
    EXPECT_TRUE(w.host.messages.empty());
    EXPECT_EQ(&w.form.CommandButton(FormCommand::Acquire), &w.form.Button2);

    // The ratio table needs no CAD.
    w.form.Edit3.text = "35";
    w.form.Edit5.text = "41";
    w.form.Edit23.text = "0";
    EXPECT_EQ(w.form.RunCommand(FormCommand::RatioTable), CommandOutcome::Ran);
    EXPECT_EQ(w.form.Memo1.lines.size(), 19u);

    EXPECT_FALSE(w.form.CommandRunning());
    w.form.BeginLongCommand(LongCommand::TimeOfDay);
    EXPECT_TRUE(w.form.CommandRunning());
    w.form.StopCommand();
    EXPECT_FALSE(w.form.CommandRunning());
    w.form.EndLongCommand(LongCommand::TimeOfDay);
}

TEST(Form, TabChangeClearsProgressDetailOnIsochroneTab) {
    Window w;
    w.form.ProgressDetail = true;
    w.form.PageControl1Change(3);
    EXPECT_TRUE(w.form.ProgressDetail);
    w.form.PageControl1Change(1);
    EXPECT_FALSE(w.form.ProgressDetail);
    EXPECT_EQ(w.form.PageControl1.activePageIndex, 1);
}

TEST(Form, GridMenuActsOnTheVisibleTabsGrid) {
    Window w;
    w.form.FormCreate();
    w.form.StringGrid2.SetRowCount(3);
    w.form.StringGrid2.Cell(0, 1) = "1";
    w.form.StringGrid2.Cell(0, 2) = "2";
    w.form.PageControl1Change(2);
    w.form.N2Click();
    EXPECT_EQ(w.form.StringGrid2.Cell(0, 1), "2");
    w.form.N1Click();
    EXPECT_EQ(w.host.clipboard.rfind("番号\t", 0), 0u);
    EXPECT_NE(w.host.clipboard.find("\r\n2\t"), std::string::npos);

    w.form.PageControl1Change(4);
    w.form.N1Click();
    EXPECT_NE(w.host.clipboard.find(" 外接\r\n"), std::string::npos);
}

TEST(Form, HistoryMenuFollowsTheFilesAndEnablesCommands) {
    Window w;
    w.form.FormCreate();
    w.form.PopupMenu2Popup();
    EXPECT_FALSE(w.form.PopupMenu2.Item("N8").enabled);
    EXPECT_FALSE(w.form.PopupMenu2.Item("N6").enabled);
    w.dir.Write("dxfnow.dxf", "0\r\nEOF\r\n");
    w.form.PopupMenu2Popup();
    EXPECT_TRUE(w.form.PopupMenu2.Item("N8").enabled);
    EXPECT_FALSE(w.form.PopupMenu2.Item("N6").enabled);

    w.form.ProgressDetail = true;
    w.form.GB_toujiidx = 2;
    w.form.Label22.caption = "x";
    w.form.N8Click();
    EXPECT_FALSE(w.form.ProgressDetail);
    EXPECT_EQ(w.form.GB_toujiidx, -1);
    EXPECT_EQ(w.form.Label22.caption, "");
    for (const char *b :
         {"Button3", "Button17", "Button8", "Button9", "Button11", "Button4", "Button5", "Button6"})
        EXPECT_TRUE(Enabled(w.form, b)) << b;
    EXPECT_FALSE(w.form.Button21.enabled);
}

TEST(Form, ConverterButtons) {
    Window w;
    w.form.Edit49.text = "130.5500";
    w.form.SpeedButton7Click();
    EXPECT_EQ(w.form.Edit46.text, "130");
    EXPECT_EQ(w.form.Edit47.text, "33");
    EXPECT_EQ(w.form.Edit48.text, "00");
    w.form.Edit48.text = "0";
    w.form.Edit49.text.clear();
    w.form.SpeedButton6Click();
    EXPECT_EQ(w.form.Edit49.text, "130.5500");
}

}  // namespace
}  // namespace pimu::app

namespace pimu::app {
namespace {

TEST(FormValues, SetAndReadControlsByName) {
    Window w;
    TForm1 &f = w.form;
    f.SetValue("Edit4", "5.5");
    f.SetValue("CheckBox12", "1");
    f.SetValue("RadioGroup1", "夏至");
    f.SetValue("RadioGroup5", "0");
    f.SetValue("UpDown5", "99");
    f.SetValue("ComboBox1", "13");
    f.SetValue("CheckListBox1", "1,1,1,0,1,1,1,1,1,1,1,1,1,1");
    EXPECT_EQ(f.Edit4.text, "5.5");
    EXPECT_TRUE(f.CheckBox12.checked);
    EXPECT_EQ(f.Value("RadioGroup1"), "2");
    EXPECT_EQ(f.RadioGroup5.itemIndex, 0);
    EXPECT_EQ(f.Value("UpDown5"), "20");
    EXPECT_EQ(f.Edit9.text, "20");
    EXPECT_EQ(f.ComboBox1.text, f.ComboBox1.items[13]);
    EXPECT_FALSE(f.CheckListBox1.checked[3]);
    EXPECT_EQ(f.Value("CheckListBox1"), "1,1,1,0,1,1,1,1,1,1,1,1,1,1");
    EXPECT_EQ(f.Value("Button3"), "時刻");

    EXPECT_THROW(f.SetValue("CheckBox12", "yes please"), std::invalid_argument);
    EXPECT_THROW(f.SetValue("RadioGroup1", "3"), std::invalid_argument);
    EXPECT_THROW(f.SetValue("CheckListBox1", "1,0"), std::invalid_argument);
    EXPECT_THROW(f.SetValue("StringGrid1", "x"), std::invalid_argument);
    EXPECT_THROW(f.SetValue("Edit99", "x"), std::invalid_argument);
}

TEST(CommandHelpers, CadCheckNumbersAndErrorDisplay) {
    Window w;
    w.cad.running = false;
    EXPECT_FALSE(w.form.CadAvailable(false));
    EXPECT_TRUE(w.host.messages.empty());
    EXPECT_FALSE(w.form.CadAvailable(true));
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_EQ(w.host.messages[0].text, "有効な CAD が見つかりません．");
    w.cad.running = true;
    EXPECT_TRUE(w.form.CadAvailable(true));
    EXPECT_EQ(w.cad.calls.back(), "IsCadRunning BricscadApp.AcadApplication");

    w.form.Edit4.text = "4,0";
    w.form.Invoke([&] { w.form.GB_takasa = w.form.Number(w.form.Edit4) * 1000; });
    ASSERT_EQ(w.host.messages.size(), 2u);
    EXPECT_NE(w.host.messages[1].text.find("4,0"), std::string::npos);
    EXPECT_NE(w.host.messages[1].text.find("測定面の高さ"), std::string::npos);
    EXPECT_DOUBLE_EQ(w.form.GB_takasa, 0.0);

    {
        MinimizedWindow pick(w.host);
        EXPECT_EQ(w.host.calls.back(), "MinimizeMainWindow");
    }
    EXPECT_EQ(w.host.calls.back(), "RestoreMainWindow");
}

}  // namespace
}  // namespace pimu::app
