// The embedded drawing through the automation interface: entity properties, explode, selection
// sets, system variables and undo groups.
#include <cmath>
#include <numbers>

#include "cadlink/embedded/document.h"
#include "cadlink/embedded/dxfio.h"
#include "test_util.h"

namespace pimu::cadlink::embedded {
namespace {

using test::OfKind;
constexpr double kTol = 1e-9;
constexpr double kPi = std::numbers::pi;

class DrawingTest : public ::testing::Test {
protected:
    ScriptedInput input;
    EmbeddedDocument doc;
    void SetUp() override { doc.SetInputSource(&input); }
    EntityPtr Add(EntityData e, const std::string &owner = "") {
        return doc.ObjectIDToObject(ObjectId{doc.drawing().Add(std::move(e), owner).value});
    }
};

TEST_F(DrawingTest, EntitiesAnswerTheirPropertiesInWorldCoordinates) {
    EntityData arc;
    arc.kind = EntityKind::Arc;
    arc.normal = {0, 0, -1};  // mirrored: OCS x runs along world -x
    arc.p1 = {100, 0, 0};
    arc.radius = 10;
    arc.startAngle = 0;
    arc.endAngle = kPi / 2;
    arc.thickness = 500;
    EntityPtr a = Add(arc);
    EXPECT_EQ(a->EntityName(), "AcDbArc");
    EXPECT_POINT_NEAR(a->Center(), -100, 0, 0, kTol);
    EXPECT_POINT_NEAR(a->StartPoint(), -110, 0, 0, kTol);
    EXPECT_POINT_NEAR(a->EndPoint(), -100, 10, 0, kTol);
    EXPECT_EQ(a->Thickness(), 500);
    EXPECT_THROW(a->Coordinates(), CadError);

    EntityData el;
    el.kind = EntityKind::Ellipse;
    el.p1 = {0, 0, 0};
    el.p2 = {0, 200, 0};
    el.ratio = 0.5;
    el.startAngle = kPi / 4;  // parameters
    el.endAngle = kPi;
    EntityPtr e = Add(el);
    EXPECT_POINT_NEAR(e->MajorAxis(), 0, 200, 0, 0);
    EXPECT_EQ(e->StartParameter(), kPi / 4);
    // The angle of parameter t is atan(ratio * tan t) from the major axis.
    EXPECT_NEAR(e->StartAngle(), std::atan(0.5), kTol);
    EXPECT_POINT_NEAR(e->EndPoint(), 0, -200, 0, kTol);

    EntityPtr lw = doc.ModelSpace().AddLightWeightPolyline({0, 0, 10, 0, 10, 10, 0, 10});
    lw->SetClosed(true);
    lw->SetBulge(1, 0.5);
    EXPECT_EQ(lw->EntityName(), "AcDbPolyline");
    EXPECT_EQ(lw->Coordinates().size(), 8u);
    EXPECT_EQ(lw->GetBulge(1), 0.5);
    EXPECT_THROW(lw->GetBulge(4), CadError);
    const double theta = 4 * std::atan(0.5);  // the bulge's arc bulges out of the square
    EXPECT_NEAR(lw->Area(), 100 + 6.25 * 6.25 / 2 * (theta - std::sin(theta)), 1e-9);

    EntityPtr t = doc.ModelSpace().AddText("高さ", {1, 2, 0}, 3.5);
    t->SetScaleFactor(0.8);
    t->SetAlignment(TextAlignment::MiddleCenter);
    t->SetTextAlignmentPoint({5, 5, 0});
    EXPECT_EQ(t->HorizontalAlignment(), 1);
    EXPECT_EQ(t->VerticalAlignment(), 2);
    EXPECT_EQ(t->Alignment(), TextAlignment::MiddleCenter);
    EXPECT_THROW(t->SetLayer("NOLAYER"), CadError);
    EXPECT_THROW(doc.ModelSpace().AddText("a\r\nb", {0, 0, 0}, 1), CadError);

    // Handles are unique hex texts, ids are stable and never reused.
    EXPECT_NE(a->Handle(), e->Handle());
    const ObjectId id = t->ObjectID();
    t->Delete();
    EXPECT_THROW(t->TextString(), CadError);
    EXPECT_THROW(doc.ObjectIDToObject(id), CadError);
    EXPECT_GT(doc.ModelSpace().AddLine({0, 0, 0}, {1, 0, 0})->ObjectID(), id);
}

TEST_F(DrawingTest, ExplodeAppliesTheReferenceTransform) {
    BlockPtr block = doc.Blocks().Add({10, 0, 0}, "B");
    block->AddLine({10, 0, 0}, {20, 0, 0});
    EntityData arc;
    arc.kind = EntityKind::Arc;
    arc.p1 = {10, 0, 0};
    arc.radius = 5;
    arc.startAngle = 0;
    arc.endAngle = kPi / 2;
    arc.layer = "0";
    doc.drawing().Add(arc, "B");
    EntityData lw;
    lw.kind = EntityKind::LwPolyline;
    lw.vertices = {{{10, 0, 0}, 1.0}, {{12, 0, 0}, 0.0}};
    lw.elevation = 7;
    lw.thickness = 100;
    doc.drawing().Add(lw, "B");

    doc.Layers().Add("REF");
    EntityPtr ref = doc.ModelSpace().InsertBlock({100, 100, 0}, "B", 2, 2, 2, kPi / 2);
    ref->SetLayer("REF");
    const auto parts = ref->Explode();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_POINT_NEAR(parts[0]->StartPoint(), 100, 100, 0, kTol);
    EXPECT_POINT_NEAR(parts[0]->EndPoint(), 100, 120, 0, kTol);
    EXPECT_POINT_NEAR(parts[1]->Center(), 100, 100, 0, kTol);
    EXPECT_NEAR(parts[1]->Radius(), 10, kTol);
    EXPECT_NEAR(parts[1]->StartAngle(), kPi / 2, kTol);
    EXPECT_NEAR(parts[1]->EndAngle(), kPi, kTol);
    EXPECT_POINT_NEAR(parts[2]->Coordinate(1), 100, 104, 14, kTol);
    EXPECT_EQ(parts[2]->GetBulge(0), 1.0);
    EXPECT_EQ(parts[2]->Thickness(), 200);
    EXPECT_EQ(parts[0]->Layer(), "0");  // parts keep their own layer, as in a CAD
    // The reference stays until it is deleted; the block cannot go while referenced.
    EXPECT_EQ(doc.ModelSpace().Count(), 4);
    EXPECT_THROW(block->Delete(), CadError);
    ref->Delete();
    block->Delete();
    EXPECT_EQ(doc.Blocks().Count(), 0);

    // An arc across angle 0 keeps its sweep.
    EntityData wrap = arc;
    wrap.startAngle = 350 * kPi / 180;
    wrap.endAngle = 10 * kPi / 180;
    doc.Blocks().Add({0, 0, 0}, "W");
    doc.drawing().Add(wrap, "W");
    const auto turned = doc.ModelSpace().InsertBlock({0, 0, 0}, "W", 1, 1, 1, kPi / 2)->Explode();
    EXPECT_NEAR(turned[0]->StartAngle(), 80 * kPi / 180, kTol);
    EXPECT_NEAR(turned[0]->EndAngle(), 100 * kPi / 180, kTol);

    doc.Blocks().Add({0, 0, 0}, "C")->AddLine({0, 0, 0}, {1, 0, 0});
    EXPECT_THROW(doc.ModelSpace().InsertBlock({0, 0, 0}, "C", 1, 2, 1, 0)->Explode(), CadError);
}

TEST_F(DrawingTest, SelectionSetsSelectOnScreenLastAndCrossing) {
    doc.Layers().Add("BLD");
    EntityPtr l1 = doc.ModelSpace().AddLine({0, 0, 0}, {10, 0, 0});
    l1->SetLayer("BLD");
    EntityPtr c = doc.ModelSpace().AddCircle({100, 100, 0}, 5);
    EntityPtr t = doc.ModelSpace().AddText("x", {50, 50, 0}, 1);
    SelectionSetPtr ss = doc.SelectionSets().Add("ssPimu");
    EXPECT_THROW(doc.SelectionSets().Add("ssPimu"), CadError);

    input.Select({{EntityQuery::Kind::Layer, "bld", {}, {}},
                  {EntityQuery::Kind::Handles, c->Handle(), {}, {}}});
    ss->SelectOnScreen();
    ASSERT_EQ(ss->Count(), 2);
    EXPECT_EQ(ss->Item(0)->Handle(), l1->Handle());

    ss->Clear();
    input.Select({{EntityQuery::Kind::All, "", {}, {}}});
    ss->SelectOnScreen({{0, "CIRCLE,TEXT"}});
    EXPECT_EQ(ss->Count(), 2);

    ss->Clear();
    input.Select({{EntityQuery::Kind::Window, "", {-1, -1, 0}, {60, 60, 0}}});
    ss->SelectOnScreen();
    EXPECT_EQ(ss->Count(), 2);  // the line and the text lie inside; the circle does not

    ss->Clear();
    input.Cancel();
    ss->SelectOnScreen();
    EXPECT_EQ(ss->Count(), 0);
    input.Fail("selection failed");
    EXPECT_THROW(ss->SelectOnScreen(), CadError);

    ss->Select(SelectMode::Last, {}, {});
    ASSERT_EQ(ss->Count(), 1);
    EXPECT_EQ(ss->Item(0)->Handle(), t->Handle());

    ss->Clear();
    ss->Select(SelectMode::Crossing, {5, -5, 0}, {97, 200, 0}, {{0, "LINE,CIRCLE"}});
    ASSERT_EQ(ss->Count(), 2);  // the line crosses, the circle's edge reaches x = 95
    ss->Clear();
    ss->Select(SelectMode::Crossing, {5, -5, 0}, {94, 200, 0}, {{0, "CIRCLE"}});
    EXPECT_EQ(ss->Count(), 0);

    ss->Delete();
    EXPECT_THROW(ss->Count(), CadError);
    EXPECT_EQ(doc.SelectionSets().Count(), 0);
}

TEST_F(DrawingTest, SystemVariablesAndUndoGroups) {
    EXPECT_EQ(std::get<int>(doc.GetVariable("FILEDIA")), 1);
    doc.SetVariable("blipmode", 1);
    EXPECT_EQ(std::get<int>(doc.GetVariable("BLIPMODE")), 1);
    doc.SetVariable("DIMSCALE", 100);
    EXPECT_EQ(std::get<double>(doc.GetVariable("DIMSCALE")), 100.0);
    EXPECT_THROW(doc.SetVariable("SNAPMODE", 2), CadError);
    EXPECT_THROW(doc.SetVariable("LASTPOINT", 1), CadError);
    EXPECT_THROW(doc.GetVariable("CLAYER"), CadError);

    doc.ModelSpace().AddLine({0, 0, 0}, {1, 0, 0});
    doc.StartUndoMark();
    doc.Layers().Add("PIMU_JIKOKU");
    doc.ModelSpace().AddCircle({0, 0, 0}, 1);
    doc.StartUndoMark();  // nested marks belong to the outer group
    doc.Blocks().Add({0, 0, 0}, "PIMU_1");
    doc.EndUndoMark();
    doc.EndUndoMark();
    doc.Regen(0);
    EXPECT_EQ(doc.regenCount(), 1);
    EXPECT_EQ(doc.ModelSpace().Count(), 2);
    ASSERT_TRUE(doc.UndoLastGroup());
    EXPECT_EQ(doc.ModelSpace().Count(), 1);
    EXPECT_EQ(doc.Blocks().Count(), 0);
    EXPECT_EQ(doc.drawing().FindLayer("PIMU_JIKOKU"), nullptr);
    EXPECT_FALSE(doc.UndoLastGroup());
}

TEST_F(DrawingTest, OpeningABrokenFileKeepsTheDrawing) {
    test::TempDir dir;
    test::WriteFile(dir / "bad.dxf", "0\nSECTION\n2\nENTITIES\n0\nLINE\n");
    doc.ModelSpace().AddLine({0, 0, 0}, {1, 0, 0});
    EXPECT_THROW(doc.Open(dir / "bad.dxf"), CadError);
    EXPECT_THROW(doc.Open(dir / "missing.dxf"), CadError);
    EXPECT_EQ(doc.ModelSpace().Count(), 1);
    EXPECT_EQ(test::ReadFile(dir / "bad.dxf"), "0\nSECTION\n2\nENTITIES\n0\nLINE\n");
    doc.Open(test::kData / "ezdxf_r12.dxf");
    EXPECT_EQ(doc.ModelSpace().Count(), 9);
}

TEST_F(DrawingTest, UtilityAsksTheInputSource) {
    EntityPtr line = doc.ModelSpace().AddLine({0, 0, 0}, {1, 0, 0});
    input.Point({1, 2, 3})
        .Angle(kPi / 3)
        .Entity(line->Handle(), {0.5, 0, 0})
        .Entity("FFFF")
        .Cancel();
    EXPECT_EQ(doc.Utility().GetPoint(std::nullopt, "pick"), (TAcadPoint{1, 2, 3}));
    EXPECT_EQ(doc.Utility().GetAngle(std::nullopt, "angle"), kPi / 3);
    EXPECT_EQ(doc.Utility().GetEntity("wall").first->Handle(), line->Handle());
    EXPECT_THROW(doc.Utility().GetEntity("wall"), CadError);            // nothing under the pick
    EXPECT_THROW(doc.Utility().GetPoint(std::nullopt, "p"), CadError);  // cancelled
    EXPECT_THROW(doc.Utility().GetPoint(std::nullopt, "p"), CadError);  // script used up
    input.Angle(1);
    EXPECT_THROW(doc.Utility().GetPoint(std::nullopt, "p"), CadError);  // script out of step
    doc.Utility().Prompt("建物図形を選択して下さい.\r\n");
    EXPECT_EQ(doc.prompts().back(), "建物図形を選択して下さい.\r\n");
}

TEST(ScriptedInputParse, ReadsEveryAnswerAndRejectsNonsense) {
    ScriptedInput in = ScriptedInput::Parse(
        "# acquisition\n"
        "select layer BLD\n"
        "+ select type LINE,ARC\n"
        "select window 0,0 100,100\n"
        "point 1.5,2\n"
        "angle 90\n"
        "entity 1A\n"
        "place 10,20,30\n"
        "cancel\n");
    EXPECT_EQ(in.Remaining(), 7u);
    auto sel = in.SelectOnScreen("");
    ASSERT_TRUE(sel);
    ASSERT_EQ(sel->size(), 2u);
    EXPECT_EQ((*sel)[1].kind, EntityQuery::Kind::Type);
    EXPECT_EQ(in.SelectOnScreen("")->at(0).p2, (TAcadPoint{100, 100, 0}));
    EXPECT_EQ(in.PickPoint(""), (TAcadPoint{1.5, 2, 0}));
    EXPECT_NEAR(*in.PickAngle(""), kPi / 2, kTol);
    EXPECT_EQ(in.PickEntity("")->handle, "1A");
    EXPECT_EQ(in.PlacementPoint(""), (TAcadPoint{10, 20, 30}));
    EXPECT_EQ(in.PickPoint(""), std::nullopt);

    for (const char *bad : {"jump 1,2", "point 1", "point a,b", "angle x", "+ select all",
                            "select window 1,1", "select colour red"})
        EXPECT_THROW(ScriptedInput::Parse(bad), CadError) << bad;
}

}  // namespace
}  // namespace pimu::cadlink::embedded
