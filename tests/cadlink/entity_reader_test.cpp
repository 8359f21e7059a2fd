// Reading a selection into the entity arrays.
#include <cmath>
#include <numbers>

#include "cadlink/embedded/document.h"
#include "cadlink/embedded/dxfio.h"
#include "cadlink/reader.h"
#include "cadlink/tables.h"
#include "test_util.h"

namespace pimu::cadlink {
namespace {

using embedded::EmbeddedDocument;
using embedded::EntityData;
using embedded::EntityKind;
constexpr double kTol = 1e-9;

int ReadAll(EmbeddedDocument &doc, EntityArrays &arrays) {
    SelectionSetPtr set = GetSelectionSet(doc, kPimuSelectionSet);
    embedded::ScriptedInput input;
    input.Select({{embedded::EntityQuery::Kind::All, "", {}, {}}});
    doc.SetInputSource(&input);
    set->SelectOnScreen();
    return ReadEntities(*set, arrays);
}

TEST(EntityReader, LinesArcsAndWhatIsCounted) {
    EmbeddedDocument doc;
    doc.ModelSpace().AddLine({0, 0, 0}, {1000, 0, 0});
    doc.ModelSpace().AddLine({0, 0, 0}, {0, 0, 0});  // zero length is copied unchanged
    EntityData arc;
    arc.kind = EntityKind::Arc;
    arc.radius = 5;
    arc.endAngle = std::numbers::pi / 2;
    doc.drawing().Add(arc);
    doc.ModelSpace().AddText("x", {0, 0, 0}, 1);
    EntityArrays a;
    a.AryText.push_back({});  // cleared by the read
    EXPECT_EQ(ReadAll(doc, a), 2);
    ASSERT_EQ(a.AryArc.size(), 1u);
    EXPECT_EQ(a.AryArc[0].stdeg, 0.0);
    EXPECT_NEAR(a.AryArc[0].eddeg, 90.0, kTol);
    EXPECT_TRUE(a.AryText.empty());
    EXPECT_EQ(a.AryLine[0].id, 0);

    EmbeddedDocument empty;
    empty.ModelSpace().AddText("only text", {0, 0, 0}, 1);
    EXPECT_EQ(ReadAll(empty, a), 0);
    EXPECT_TRUE(a.AryLine.empty() && a.AryArc.empty() && a.AryLwp.empty() && a.AryLwpEle.empty());
}

TEST(EntityReader, PolylinesOfEveryKind) {
    EmbeddedDocument doc;
    EntityPtr rect = doc.ModelSpace().AddLightWeightPolyline({0, 0, 10, 0, 10, 10, 0, 10});
    rect->SetClosed(true);
    doc.drawing().Edit(embedded::EntityId{rect->ObjectID().value}).elevation = 250;
    doc.drawing().Edit(embedded::EntityId{rect->ObjectID().value}).thickness = 6000;
    rect->SetBulge(2, 0.5);
    EntityData p3;
    p3.kind = EntityKind::Polyline3d;
    p3.vertices = {{{0, 0, 1}, 0}, {{5, 0, 2}, 0}};
    doc.drawing().Add(p3);
    EntityData p2;
    p2.kind = EntityKind::Polyline2d;
    p2.vertices = {{{1, 2, 0}, 0.25}, {{3, 4, 0}, 0}};
    p2.elevation = 30;
    p2.normal = {0, 0, -1};
    doc.drawing().Add(p2);

    EntityArrays a;
    EXPECT_EQ(ReadAll(doc, a), 3);
    ASSERT_EQ(a.AryLwp.size(), 3u);
    EXPECT_EQ(a.AryLwp[0].code70, 1);
    EXPECT_EQ(a.AryLwp[0].code38, 250);
    EXPECT_EQ(a.AryLwp[0].code39, 6000);
    EXPECT_EQ(a.AryLwp[0].atumi, 6000);
    ASSERT_EQ(a.AryLwpEle.size(), 8u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(a.AryLwpEle[k].hand, a.AryLwp[0].hand);
        EXPECT_EQ(a.AryLwpEle[k].code10.z, 250);
    }
    EXPECT_EQ(a.AryLwpEle[2].code42, 0.5);
    EXPECT_EQ(a.AryLwp[1].code210, (TAcadPoint{0, 0, 1}));
    EXPECT_EQ(a.AryLwpEle[5].code10, (TAcadPoint{5, 0, 2}));
    EXPECT_EQ(a.AryLwp[2].code210, (TAcadPoint{0, 0, -1}));
    EXPECT_EQ(a.AryLwpEle[6].code10, (TAcadPoint{1, 2, 30}));
    EXPECT_EQ(a.AryLwpEle[6].code42, 0.25);
    EXPECT_EQ(a.AryLwpEle[7].hand, a.AryLwp[2].hand);
}

TEST(EntityReader, EllipsesKeepTheirRealAxisAndAForwardSweep) {
    EmbeddedDocument doc;
    EntityData full;
    full.kind = EntityKind::Ellipse;
    full.p1 = {1000, 2000, 0};
    full.p2 = {3000, 0, 0};
    full.ratio = 0.5;
    full.endAngle = 2 * std::numbers::pi;
    doc.drawing().Add(full);
    EntityData part = full;
    part.startAngle = 5.0;  // crosses parameter 0
    part.endAngle = 1.0;
    doc.drawing().Add(part);
    EntityArrays a;
    EXPECT_EQ(ReadAll(doc, a), 0);  // ellipses are read, not counted
    ASSERT_EQ(a.AryEllipse.size(), 2u);
    EXPECT_EQ(a.AryEllipse[0].endpoint, (TAcadPoint{3000, 0, 0}));
    EXPECT_EQ(a.AryEllipse[0].kaisi, 0.0);
    EXPECT_NEAR(a.AryEllipse[0].owari, 360.0, kTol);
    // The arc's end point is not on the major axis; the axis still is.
    EXPECT_EQ(a.AryEllipse[1].endpoint, (TAcadPoint{3000, 0, 0}));
    EXPECT_NEAR(a.AryEllipse[1].kaisi, 5.0 * 180 / std::numbers::pi, kTol);
    EXPECT_NEAR(a.AryEllipse[1].owari, 1.0 * 180 / std::numbers::pi + 360, kTol);
}

TEST(EntityReader, ArraysFromAnotherProducersDrawing) {
    EmbeddedDocument doc;
    doc.Open(test::kData / "ezdxf_r2000.dxf");
    EntityArrays a;
    EXPECT_EQ(ReadAll(doc, a), 2 + 1 + 4);  // lines, the circle, four polylines
    EXPECT_EQ(a.AryLine[0].atumi, 3000);
    EXPECT_EQ(a.AryCircle[0].center,
              (TAcadPoint{-100, 200, 0}));  // world centre of the mirrored circle
    EXPECT_EQ(a.AryCircle[0].code210, (TAcadPoint{0, 0, -1}));
    ClearAryEnt(a);
    EXPECT_TRUE(a.AryCircle.empty() && a.AryArc.empty() && a.AryLwp.empty() &&
                a.AryEllipse.empty());
    EXPECT_FALSE(a.AryLine.empty());
    EXPECT_FALSE(a.AryLwpEle.empty());
}

TEST(EntityReader, ReadPoint) {
    const double xyz[] = {1, 2, 3};
    EXPECT_EQ(ReadPoint(xyz), (TAcadPoint{1, 2, 3}));
    const double xy[] = {1, 2};
    EXPECT_EQ(ReadPoint(xy), (TAcadPoint{1, 2, 0}));
    EXPECT_THROW(ReadPoint(std::span<const double>(xy, 1)), CadError);
}

}  // namespace
}  // namespace pimu::cadlink
