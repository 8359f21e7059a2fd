// The acquisition end to end on the embedded drawing: selection, conversion, model, preview,
// warnings, enabling and the history files.
#include <gtest/gtest.h>

#include <filesystem>

#include "cad_fixture.h"
#include "cadlink/tables.h"

namespace pimu::app {
namespace {

using testing::CadWindow;
using testing::EntityQuery;
using testing::kSiteSmall;
using testing::OnLayer;

const char *const kModelCommands[] = {"Button3",  "Button8",  "Button9",      "Button11",
                                      "Button4",  "Button5",  "Button6",      "Button21",
                                      "Button22", "Button12", "Button16",     "Button20",
                                      "Button18", "Button24", "SpeedButton8", "SpeedButton1"};

bool HasSet(cadlink::IDocument &doc, const std::string &name) {
    for (int i = 0; i < doc.SelectionSets().Count(); ++i)
        if (doc.SelectionSets().Item(i)->Name() == name) return true;
    return false;
}

TEST(Acquire, BuildingsOfALayerBecomeTheModel) {
    CadWindow w;
    w.form.GB_toujiidx = 3;
    w.form.Label22.caption = "old";
    w.Acquire(kSiteSmall, {OnLayer("BLD")});

    // Rectangle A 4 + 12, parapet line 4, bay arc 20 chords (each within 10 mm of the arc)
    // + 20 raised + 21 verticals, rectangle B 4 + 12.
    EXPECT_EQ(w.form.Model.AryTatemono.size(), 16u + 4u + 61u + 16u);
    EXPECT_EQ(w.form.Model.gbzmax, 12000.0);
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_EQ(w.form.GB_toujiidx, -1);
    EXPECT_EQ(w.form.Label22.caption, "");
    EXPECT_EQ(w.doc().prompts(), (std::vector<std::string>{"建物図形を選択して下さい.\r\n",
                                                           "図形が選択されました.\r\n"}));
    for (const char *b : kModelCommands) EXPECT_TRUE(w.form.FindControl(b)->enabled) << b;
    EXPECT_FALSE(w.form.Button17.enabled);
    EXPECT_FALSE(HasSet(w.doc(), cadlink::kPimuSelectionSet));
    EXPECT_EQ(w.cad.Waits().totalMs, 400);  // after the selection and before reading it

    // The preview is drawn with the start angles.
    EXPECT_EQ(w.form.GB_Draw3dHdeg, 315);
    EXPECT_EQ(w.form.GB_Draw3dVdeg, 60);
    EXPECT_EQ(w.form.UpDown3.position, 315);
    EXPECT_EQ(w.form.UpDown4.position, 60);
    EXPECT_GT(w.form.GB_cvsc, 0.0);
    EXPECT_FALSE(w.form.Image2Picture.segments.empty());
    // The window was out of the way while the user selected.
    ASSERT_GE(w.host.calls.size(), 2u);
    EXPECT_EQ(w.host.calls[0], "MinimizeMainWindow");
    EXPECT_EQ(w.host.calls[1], "RestoreMainWindow");
}

// A stop asked at the k-th question while the buildings are taken: in the conversion the model
// stays as it was (none), in the preview the model is taken and the preview left empty; asked
// after the last question, nothing changes. Both phases ask.
TEST(Acquire, AStopWhileTheBuildingsAreTakenKeepsNoHalfModelOrPreview) {
    std::size_t full = 0;
    {
        CadWindow w;
        w.Acquire(kSiteSmall, {OnLayer("BLD")});
        full = w.form.Model.AryTatemono.size();
    }
    ASSERT_GT(full, 0u);
    bool inConversion = false, inPreview = false, after = false;
    for (int k = 1; !after && k < 50; ++k) {
        SCOPED_TRACE(k);
        CadWindow w;
        int asked = 0;
        w.host.stopRequested = [&] { return ++asked >= k; };
        w.Acquire(kSiteSmall, {OnLayer("BLD")});
        const bool model = w.form.HasBuildingModel();
        const bool preview = !w.form.Image2Picture.segments.empty();
        if (asked < k) {
            after = true;
            EXPECT_TRUE(model && preview);
        } else if (!model) {
            inConversion = true;
            EXPECT_TRUE(w.form.Model.AryTatemono.empty());
            EXPECT_FALSE(preview);
        } else {
            inPreview = true;
            EXPECT_EQ(w.form.Model.AryTatemono.size(), full);
            EXPECT_FALSE(preview);
        }
    }
    EXPECT_TRUE(inConversion);
    EXPECT_TRUE(inPreview);
    EXPECT_TRUE(after);
}

TEST(Acquire, NothingSelectedKeepsTheModelAndEnablesTheCommands) {
    CadWindow w;
    w.Acquire(kSiteSmall, {OnLayer("TOWER")});
    ASSERT_EQ(w.form.Model.AryTatemono.size(), 36u);  // the ring only: 36 sides round it
    for (const char *b : kModelCommands) w.form.FindControl(b)->enabled = false;

    w.input.Select({});
    w.form.Button2Click();
    EXPECT_EQ(w.doc().prompts().back(), "何も選択されませんでした.\r\n");
    EXPECT_EQ(w.form.Model.AryTatemono.size(), 36u);
    for (const char *b : kModelCommands) EXPECT_TRUE(w.form.FindControl(b)->enabled) << b;

    // A selection the CAD refuses is reported, and the command goes on with an empty set.
    w.input.Fail("refused");
    w.form.Button2Click();
    EXPECT_EQ(w.Messages(), std::vector<std::string>{"選択処理失敗"});
    EXPECT_EQ(w.doc().prompts().back(), "何も選択されませんでした.\r\n");
    EXPECT_EQ(w.form.Model.AryTatemono.size(), 36u);
}

// Results do not depend on where the site lies, so negative coordinates need no warning.
TEST(Acquire, NegativeCoordinatesAreTakenWithoutAWarning) {
    CadWindow w;
    w.doc().ModelSpace().AddLine({-1000, 0, 0}, {1000, 0, 0});
    w.Acquire("", {EntityQuery{}});
    EXPECT_TRUE(w.Messages().empty());
    EXPECT_EQ(w.form.Model.AryTatemono.size(), 1u);
}

// Buildings without a height: every command that computes from them names them and draws
// nothing; the regulation check keeps no result.
TEST(Acquire, BuildingsWithoutHeightStopEveryCommand) {
    CadWindow w;
    w.doc().Layers().Add("建物");
    auto line = w.doc().ModelSpace().AddLine({0, 0, 0}, {10000, 0, 0});
    line->SetLayer("建物");
    const std::string handle = line->Handle();
    w.Acquire("", {EntityQuery{}});
    ASSERT_TRUE(w.form.HasBuildingModel());
    ASSERT_EQ(w.form.BuildingsWithoutHeight.size(), 1u);
    w.form.Edit17.text = "0";
    w.form.RadioGroup2.itemIndex = w.form.RadioGroup4.itemIndex = 1;  // the 計画 triangles
    w.form.StringGrid1.Cell(1, 1) = "5000";
    w.form.StringGrid1.Cell(2, 1) = "-5000";
    w.form.StringGrid2.Cell(1, 1) = "5000";
    w.form.StringGrid2.Cell(2, 1) = "-5000";
    const std::size_t entities = w.drawing().ModelSpace().size();
    for (FormCommand c :
         {FormCommand::TimeOfDay, FormCommand::Isochrone, FormCommand::Regulation,
          FormCommand::SkyFactors, FormCommand::PointTimes, FormCommand::SkyMapRowA}) {
        SCOPED_TRACE(w.form.CommandButton(c).name);
        w.host.messages.clear();
        w.form.CommandButton(c).enabled = true;
        w.form.Invoke([&] { w.form.RunCommand(c); });
        ASSERT_FALSE(w.Messages().empty());
        EXPECT_NE(w.Messages().front().find("高さのない建物図形が 1 個あります"), std::string::npos)
            << w.Messages().front();
        EXPECT_NE(w.Messages().front().find("LINE ハンドル " + handle + " 画層 建物"),
                  std::string::npos)
            << w.Messages().front();
        EXPECT_EQ(w.drawing().ModelSpace().size(), entities);
        EXPECT_FALSE(w.form.LastRegulation);
    }
}

TEST(Acquire, WithoutARunningCadNothingChanges) {
    testing::TempDir dir;
    RecordingUiHost host;
    RecordingCadConnection cad;
    cad.running = false;
    TForm1 form{FormPaths{dir.path(), "pimu.exe"}, host, &cad};
    form.Button2Click();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kNoCadMessage);
    EXPECT_FALSE(form.Button3.enabled);
}

TEST(Acquire, HistoryBringsBackTheLastTwoAcquisitions) {
    CadWindow w;
    const auto now = w.dir / "dxfnow.dxf";
    const auto before = w.dir / "dxfpre.dxf";
    w.Acquire(kSiteSmall, {OnLayer("BLD")});
    const std::vector<geometry::TLineEnt> buildings = w.form.Model.AryTatemono;
    EXPECT_TRUE(std::filesystem::exists(now));
    EXPECT_FALSE(std::filesystem::exists(before));

    w.Acquire("", {OnLayer("TOWER")});
    const std::vector<geometry::TLineEnt> tower = w.form.Model.AryTatemono;
    EXPECT_TRUE(std::filesystem::exists(before));
    w.form.PopupMenu2Popup();
    EXPECT_TRUE(w.form.PopupMenu2.Item("N8").enabled);
    EXPECT_TRUE(w.form.PopupMenu2.Item("N6").enabled);
    EXPECT_TRUE(w.form.PopupMenu2.Item("N4").enabled);

    // The one before: the buildings, rebuilt from the file, without the CAD.
    w.doc().drawing() = cadlink::embedded::Drawing{};
    w.form.Button3.enabled = false;
    w.form.GB_Draw3dHdeg = 100;
    w.form.N6Click();
    testing::ExpectSameEdges(w.form.Model.AryTatemono, buildings);
    EXPECT_EQ(w.form.Model.gbzmax, 12000.0);
    EXPECT_TRUE(w.form.Button3.enabled);
    EXPECT_EQ(w.form.GB_Draw3dHdeg, 315);
    EXPECT_FALSE(w.form.Image2Picture.segments.empty());

    w.form.N8Click();
    testing::ExpectSameEdges(w.form.Model.AryTatemono, tower);
    EXPECT_TRUE(w.Messages().empty());

    // A history file that cannot be read says so and keeps the model.
    std::filesystem::remove(now);
    w.dir.Write("dxfnow.dxf", "not a drawing");
    w.form.N8Click();
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_EQ(w.host.messages[0].text.rfind("取得履歴の図形を読み込めませんでした．", 0), 0u);
    EXPECT_EQ(w.form.Model.AryTatemono.size(), tower.size());
}

TEST(Acquire, HistoryKeepsEveryKindOfEntity) {
    // Ellipses, 3D polylines and tilted circles survive the round trip through the file.
    CadWindow w;
    auto &d = w.drawing();
    using cadlink::embedded::EntityData;
    using cadlink::embedded::EntityKind;
    EntityData el;
    el.kind = EntityKind::Ellipse;
    el.p1 = {5000, 5000, 3000};
    el.p2 = {2000, 1000, 0};
    el.ratio = 0.4;
    el.startAngle = 0.5;
    el.endAngle = 5.0;
    d.Add(el);
    EntityData p3;
    p3.kind = EntityKind::Polyline3d;
    p3.vertices = {{{0, 0, 0}, 0}, {{1000, 0, 2000}, 0}, {{1000, 1000, 4000}, 0}};
    p3.closed = true;
    d.Add(p3);
    EntityData c;
    c.kind = EntityKind::Circle;
    c.normal = {0.6, 0, 0.8};
    c.p1 = {100, 200, 300};
    c.radius = 500;
    d.Add(c);
    EntityData lw;
    lw.kind = EntityKind::LwPolyline;
    lw.elevation = 700;
    lw.thickness = 2500;
    lw.vertices = {{{0, 0, 0}, 0.5}, {{3000, 0, 0}, 0}, {{3000, 2000, 0}, -0.3}};
    d.Add(lw);
    w.Acquire("", {EntityQuery{}});
    const std::vector<geometry::TLineEnt> acquired = w.form.Model.AryTatemono;
    ASSERT_FALSE(acquired.empty());
    w.form.N8Click();
    testing::ExpectSameEdges(w.form.Model.AryTatemono, acquired, 1e-6);
}

}  // namespace
}  // namespace pimu::app
