// The typed commands of the embedded drawing: every "-INSERT" form the program sends, inserting
// DXF files as blocks; "-LINETYPE"; "ID"; and refusal of anything else.
#include <cmath>
#include <numbers>

#include "cadlink/embedded/document.h"
#include "cadlink/embedded/dxfio.h"
#include "cadlink/insert.h"
#include "cadlink/textcodec.h"
#include "test_util.h"

namespace pimu::cadlink::embedded {
namespace {

using test::OfKind;
constexpr double kTol = 1e-9;

// A wall line with thickness, a circle and a Japanese label on layer "L1".
std::string SmallDrawing() {
    return test::R12(
        "0\nLINE\n8\nL1\n39\n3000\n10\n0\n20\n0\n30\n0\n11\n100\n21\n0\n31\n0\n"
        "0\nCIRCLE\n8\nL1\n10\n50\n20\n50\n30\n0\n40\n10\n"
        "0\nTEXT\n8\nL1\n10\n1\n20\n2\n30\n0\n40\n5\n1\n" +
        Utf8ToCp932("時刻") + "\n");
}

class CommandTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path file;
    ScriptedInput input;
    EmbeddedDocument doc{Drawing{}, {}};

    void SetUp() override {
        file = dir / "PIMU_3.dxf";
        test::WriteFile(file, SmallDrawing());
        doc.SetInputSource(&input);
    }
    const Drawing &d() { return doc.drawing(); }
};

struct ExplodedCase {
    InsertForm form;
    double x, y;
    const char *angle;
    double expectX, expectY, expectAngleDeg;
};

TEST_F(CommandTest, ExplodedFormsPlaceTheFileEntitiesAndDefineTheBlock) {
    const ExplodedCase cases[] = {
        {InsertForm::ExplodedAtOrigin, 0, 0, "0", 0, 0, 0},
        {InsertForm::ExplodedAtOriginLowerS, 0, 0, "0", 0, 0, 0},
        {InsertForm::ExplodedAtOriginSplit, 0, 0, "0", 0, 0, 0},
        {InsertForm::ExplodedAtPoint, 1500.5, -20, "0", 1500.5, -20, 0},
        {InsertForm::ExplodedAtPointBlankEnd, 7, 8, "0", 7, 8, 0},
        {InsertForm::ExplodedAtPointRotated, 1000, 2000, "90", 1000, 2000, 90},
    };
    for (const ExplodedCase &c : cases) {
        SCOPED_TRACE(InsertCommandText(c.form, file.string(), {c.x, c.y, c.angle}));
        EmbeddedDocument fresh;
        fresh.SendCommand(InsertCommandText(c.form, file.string(), {c.x, c.y, c.angle}));
        const Drawing &out = fresh.drawing();
        ASSERT_EQ(out.ModelSpace().size(), 3u);
        EXPECT_TRUE(OfKind(out, EntityKind::Insert).empty());
        const auto lines = OfKind(out, EntityKind::Line);
        ASSERT_EQ(lines.size(), 1u);
        const double a = c.expectAngleDeg * std::numbers::pi / 180;
        EXPECT_POINT_NEAR(lines[0].p1, c.expectX, c.expectY, 0, kTol);
        EXPECT_POINT_NEAR(lines[0].p2, c.expectX + 100 * std::cos(a), c.expectY + 100 * std::sin(a),
                          0, kTol);
        EXPECT_EQ(lines[0].thickness, 3000.0);
        EXPECT_EQ(lines[0].layer, "L1");
        EXPECT_EQ(OfKind(out, EntityKind::Text).at(0).text, "時刻");
        EXPECT_NEAR(OfKind(out, EntityKind::Text).at(0).rotation, a, kTol);
        ASSERT_NE(out.FindBlock("PIMU_3"), nullptr);
        EXPECT_EQ(out.FindBlock("PIMU_3")->entities.size(), 3u);
        ASSERT_NE(out.FindLayer("L1"), nullptr);
    }
}

TEST_F(CommandTest, BlockFormsInsertAReference) {
    doc.SendCommand(
        InsertCommandText(InsertForm::BlockAtPointRotated, file.string(), {10, 20, "45"}));
    auto refs = OfKind(d(), EntityKind::Insert);
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_EQ(refs[0].blockName, "PIMU_3");
    EXPECT_POINT_NEAR(refs[0].p1, 10, 20, 0, 0);
    EXPECT_NEAR(refs[0].rotation, std::numbers::pi / 4, kTol);
    EXPECT_EQ(refs[0].sx, 1.0);
    EXPECT_EQ(refs[0].sy, 1.0);

    // Placed by the user: the insertion point comes from the input source.
    input.Place({300, 400, 0});
    doc.SendCommand(
        InsertCommandText(InsertForm::PlacedByUser, file.string(), {0, 0, "0.000000000000"}));
    refs = OfKind(d(), EntityKind::Insert);
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_POINT_NEAR(refs[1].p1, 300, 400, 0, 0);

    input.Place({5, 6, 0});
    doc.SendCommand(InsertCommandText(InsertForm::BlockPlacedByUser, "PIMU_3"));
    EXPECT_EQ(OfKind(d(), EntityKind::Insert).size(), 3u);
    EXPECT_EQ(std::get<TAcadPoint>(doc.GetVariable("LASTPOINT")), (TAcadPoint{5, 6, 0}));

    // The user cancels the placement: nothing is inserted and no error is raised.
    input.Cancel();
    doc.SendCommand(InsertCommandText(InsertForm::BlockPlacedByUser, "PIMU_3"));
    EXPECT_EQ(OfKind(d(), EntityKind::Insert).size(), 3u);
    EXPECT_EQ(input.Remaining(), 0u);
}

TEST_F(CommandTest, ReinsertingAFileRedefinesItsBlockInPlace) {
    doc.SendCommand(InsertCommandText(InsertForm::BlockAtPointRotated, file.string(), {0, 0, "0"}));
    test::WriteFile(file, test::R12("0\nPOINT\n10\n1\n20\n1\n"));
    doc.SendCommand(InsertCommandText(InsertForm::BlockAtPointRotated, file.string(), {0, 0, "0"}));
    EXPECT_EQ(d().Blocks().size(), 1u);
    EXPECT_EQ(d().FindBlock("PIMU_3")->entities.size(), 1u);
    EXPECT_EQ(OfKind(d(), EntityKind::Insert).size(), 2u);
}

TEST_F(CommandTest, QuotedPathsMayHoldBlanks) {
    std::filesystem::create_directory(dir / "my drawings");
    const auto spaced = dir / "my drawings" / "TENKU_1.dxf";
    std::filesystem::copy_file(file, spaced);
    doc.SendCommand(InsertCommandText(InsertForm::ExplodedAtOrigin, spaced.string()));
    EXPECT_NE(d().FindBlock("TENKU_1"), nullptr);
    EXPECT_EQ(d().ModelSpace().size(), 3u);
}

TEST_F(CommandTest, BadCommandsFailAndChangeNothing) {
    const std::string bad[] = {
        "CIRCLE\r0,0\r10\r",                                               // not one of ours
        "-INSERT\r\"*" + (dir / "absent.dxf").string() + "\"\r0,0 1 0\r",  // no such file
        "-INSERT\rNOBLOCK\r0,0\r1\r1\r0\r",                                // no such block
        "-INSERT\r\"*" + file.string() + "\"\rX\r",                        // not a point
        "-INSERT\r\"*" + file.string() + "\"\r0,0 0 0\r",                  // zero scale
        "-INSERT\r\"*" + file.string() + "\r",                             // quote not closed
        "-INSERT\r\"*" + file.string() + "\"\r0,0\x1b 1 0\r",              // control character
        "-LINETYPE\rL\rHIDDEN\rNOFILE.LIN\r\r",
        "-LINETYPE\rL\rNOSUCH\rMM.LIN\r\r",
    };
    for (const std::string &text : bad) {
        SCOPED_TRACE(text);
        EXPECT_THROW(doc.SendCommand(text), CadError);
        EXPECT_TRUE(d().ModelSpace().empty());
        EXPECT_TRUE(d().Blocks().empty());
    }
    // A broken file is reported with its line and leaves the drawing alone.
    test::WriteFile(dir / "BROKEN.dxf", "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nx\n");
    try {
        doc.SendCommand("-INSERT\r\"*" + (dir / "BROKEN.dxf").string() + "\"\r0,0 1 0\r");
        ADD_FAILURE();
    } catch (const CadError &e) {
        EXPECT_NE(std::string(e.what()).find("BROKEN.dxf: line 8"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(d().Blocks().empty());
}

TEST_F(CommandTest, LinetypeAndIdCommands) {
    doc.SendCommand("-LINETYPE\rL\rHIDDEN\rMM.LIN\r\r");
    ASSERT_NE(d().FindLinetype("HIDDEN"), nullptr);
    EXPECT_EQ(d().FindLinetype("HIDDEN")->pattern, (std::vector<double>{6.35, -3.175}));
    doc.SendCommand("-LINETYPE\rL\rHIDDEN\rMM.LIN\r\r");  // loading again is harmless

    doc.SendCommand("ID\r12.5,-3\r");
    EXPECT_EQ(std::get<TAcadPoint>(doc.GetVariable("LASTPOINT")), (TAcadPoint{12.5, -3, 0}));
    input.Point({1, 2, 3});
    doc.SendCommand("ID\r");
    EXPECT_EQ(std::get<TAcadPoint>(doc.GetVariable("LASTPOINT")), (TAcadPoint{1, 2, 3}));
    doc.SetVariable("LASTPOINT", TAcadPoint{});
    input.Cancel();
    doc.SendCommand("ID\r");  // the user ends input: LASTPOINT stays
    EXPECT_EQ(std::get<TAcadPoint>(doc.GetVariable("LASTPOINT")), (TAcadPoint{}));

    EmbeddedDocument noUser;
    EXPECT_THROW(noUser.SendCommand("ID\r"), CadError);
}

}  // namespace
}  // namespace pimu::cadlink::embedded
