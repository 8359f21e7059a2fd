// InsertDxf end to end: every form into the embedded drawing, the clean-ups that follow
// (PCAD and not), insertions the user places, and names that must not reach the CAD.
#include <numbers>

#include "cadlink/embedded/document.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "test_util.h"

namespace pimu::cadlink {
namespace {

using embedded::EmbeddedApplication;
using embedded::EmbeddedDocument;
using embedded::EntityKind;
using test::OfKind;

struct NoSleep : ISleeper {
    int total = 0;
    void Sleep(int ms) override { total += ms; }
};

class InsertTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::shared_ptr<EmbeddedDocument> doc = std::make_shared<EmbeddedDocument>();
    EmbeddedApplication app{doc};
    embedded::ScriptedInput input;
    NoSleep sleeper;
    std::vector<std::string> window;
    std::string file;

    void SetUp() override {
        doc->SetInputSource(&input);
        file = (dir / "PIMU_1.dxf").string();
        test::WriteFile(file, test::R12("0\nLINE\n8\nPIMU_JIKOKU\n10\n0\n20\n0\n11\n10\n21\n0\n"
                                        "0\nPOLYLINE\n8\nPIMU_JIKOKU\n66\n1\n70\n1\n"
                                        "0\nVERTEX\n8\nPIMU_JIKOKU\n10\n0\n20\n0\n"
                                        "0\nVERTEX\n8\nPIMU_JIKOKU\n10\n5\n20\n0\n42\n1\n"
                                        "0\nVERTEX\n8\nPIMU_JIKOKU\n10\n5\n20\n5\n0\nSEQEND\n"));
    }
    InsertContext Context(const std::string &progId) {
        return {app,
                progId,
                sleeper,
                NoProgress(),
                [this] { window.push_back("min"); },
                [this] { window.push_back("restore"); }};
    }
};

TEST_F(InsertTest, ExplodedFormsKeepTheDefinitionExceptWithPcad) {
    const InsertForm forms[] = {
        InsertForm::ExplodedAtOrigin,        InsertForm::ExplodedAtOriginLowerS,
        InsertForm::ExplodedAtOriginSplit,   InsertForm::ExplodedAtPoint,
        InsertForm::ExplodedAtPointBlankEnd, InsertForm::ExplodedAtPointRotated};
    for (const char *progId : {"BricscadApp.AcadApplication", "PCAD.Application"}) {
        for (InsertForm form : forms) {
            SCOPED_TRACE(std::string(progId) + " " + InsertCommandText(form, file, {3, 4, "30"}));
            auto fresh = std::make_shared<EmbeddedDocument>();
            EmbeddedApplication freshApp(fresh);
            InsertContext context{freshApp, progId, sleeper, NoProgress(), {}, {}};
            ASSERT_TRUE(InsertDxf(context, form, file, {3, 4, "30"}));
            const auto &d = fresh->drawing();
            EXPECT_EQ(OfKind(d, EntityKind::Line).size(), 1u);
            const auto polys = OfKind(d, EntityKind::Polyline2d);
            ASSERT_EQ(polys.size(), 1u);
            EXPECT_EQ(polys[0].vertices.size(), 3u);
            EXPECT_EQ(polys[0].vertices[1].bulge, 1.0);
            EXPECT_TRUE(OfKind(d, EntityKind::Insert).empty());
            const bool pcad = std::string(progId).find("PCAD") != std::string::npos;
            EXPECT_EQ(d.FindBlock("PIMU_1") != nullptr, !pcad);
        }
    }
    // The next name counts past a definition left in the drawing.
    InsertDxf(Context("BricscadApp.AcadApplication"), InsertForm::ExplodedAtOrigin, file);
    EXPECT_EQ(NewBlockName(*doc, "PIMU_"), "PIMU_2");
    // "PCAD" is matched with its case.
    auto lower = std::make_shared<EmbeddedDocument>();
    EmbeddedApplication lowerApp(lower);
    InsertDxf({lowerApp, "pcad.application", sleeper, NoProgress(), {}, {}},
              InsertForm::ExplodedAtOrigin, file);
    EXPECT_NE(lower->drawing().FindBlock("PIMU_1"), nullptr);
}

TEST_F(InsertTest, BlockAtPointLeavesTheReference) {
    ASSERT_TRUE(InsertDxf(Context("AutoCAD.Application"), InsertForm::BlockAtPointRotated, file,
                          {100, 200, FormatCommandNumber(12.5)}));
    const auto refs = OfKind(doc->drawing(), EntityKind::Insert);
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_NEAR(refs[0].rotation, 12.5 * std::numbers::pi / 180, 1e-12);
    EXPECT_EQ(refs[0].p1, (TAcadPoint{100, 200, 0}));
}

TEST_F(InsertTest, PlacedInsertionsAreExplodedAndCleanedUp) {
    doc->ModelSpace().AddCircle({0, 0, 0}, 1);  // something already drawn
    input.Place({1000, 2000, 0});
    ASSERT_TRUE(InsertDxf(Context("BricscadApp.AcadApplication"), InsertForm::PlacedByUser, file,
                          {0, 0, "0"}));
    EXPECT_EQ(window, (std::vector<std::string>{"min", "restore"}));
    EXPECT_EQ(sleeper.total, 400);  // WaitQuiescent(200): before and after the poll
    const auto &d = doc->drawing();
    EXPECT_TRUE(OfKind(d, EntityKind::Insert).empty());
    EXPECT_EQ(d.FindBlock("PIMU_1"), nullptr);
    const auto lines = OfKind(d, EntityKind::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].p1, (TAcadPoint{1000, 2000, 0}));
    EXPECT_EQ(lines[0].layer, "PIMU_JIKOKU");

    // The user cancels: nothing placed, nothing cleaned up, the drawing unchanged.
    input.Cancel();
    const std::size_t before = d.ModelSpace().size();
    ASSERT_TRUE(InsertDxf(Context("BricscadApp.AcadApplication"), InsertForm::PlacedByUser, file,
                          {0, 0, "0"}));
    EXPECT_EQ(d.ModelSpace().size(), before);
    EXPECT_EQ(d.FindBlock("PIMU_1"), nullptr);  // a cancelled command leaves no definition either

    // A block built through the interface and placed by name.
    BlockPtr block = NewBlock(*doc, "PIMU_");
    block->AddText("1.5h", {0, 0, 0}, 2)->SetScaleFactor(0.8);
    input.Place({7, 7, 0});
    ASSERT_TRUE(
        InsertDxf(Context("AutoCAD.Application"), InsertForm::BlockPlacedByUser, block->Name()));
    EXPECT_EQ(d.FindBlock("PIMU_2"), nullptr);
    const auto texts = OfKind(d, EntityKind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].p1, (TAcadPoint{7, 7, 0}));
    EXPECT_EQ(texts[0].widthFactor, 0.8);
}

// With keepPlacedBlock the placed reference and its definition stay, and nothing is reported.
TEST_F(InsertTest, PlacedBlockKeptOnRequest) {
    input.Place({1000, 2000, 0});
    InsertArgs args{0, 0, "0.0"};
    args.keepPlacedBlock = true;
    InsertPlacement placement;
    ASSERT_TRUE(InsertDxf(Context("BricscadApp.AcadApplication"), InsertForm::PlacedByUser, file,
                          args, &placement));
    const auto refs = OfKind(doc->drawing(), EntityKind::Insert);
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_EQ(refs[0].p1, (TAcadPoint{1000, 2000, 0}));
    EXPECT_NE(doc->drawing().FindBlock("PIMU_1"), nullptr);
    EXPECT_FALSE(placement.placed);
    EXPECT_TRUE(placement.explodeFailed.empty());
}

TEST_F(InsertTest, MissingFilesAndUnsafeNamesAreNotSent) {
    EXPECT_FALSE(InsertDxf(Context("AutoCAD.Application"), InsertForm::ExplodedAtOrigin,
                           (dir / "none.dxf").string()));
    EXPECT_TRUE(doc->commands().empty());

    const std::string unsafe[] = {"a\rINSERT", "a\nb", "with\"quote", std::string("nul\0x", 5),
                                  "tab\there"};
    for (const std::string &name : unsafe) {
        EXPECT_THROW(InsertCommandText(InsertForm::ExplodedAtOrigin, name), CadError);
        EXPECT_THROW(InsertCommandText(InsertForm::BlockPlacedByUser, name), CadError);
    }
    EXPECT_THROW(InsertCommandText(InsertForm::BlockPlacedByUser, "two words"), CadError);
    EXPECT_NO_THROW(InsertCommandText(InsertForm::PlacedByUser, "C:\\my drawings\\PIMU_1.dxf"));
    EXPECT_THROW(InsertCommandText(InsertForm::PlacedByUser, "x.dxf", {0, 0, "0\rERASE"}),
                 CadError);
    EXPECT_THROW(InsertCommandText(InsertForm::PlacedByUser, "x.dxf", {0, 0, "abc"}), CadError);
    EXPECT_TRUE(doc->commands().empty());
}

TEST(InsertText, CommandTextsAreExact) {
    const std::string p = "C:\\Pimu\\PIMU_3.dxf";
    const std::pair<InsertForm, std::string> cases[] = {
        {InsertForm::ExplodedAtOrigin, "-INSERT\r\"*C:\\Pimu\\PIMU_3.dxf\"\r0,0 1 0\r"},
        {InsertForm::ExplodedAtOriginLowerS, "-INsERT\r\"*C:\\Pimu\\PIMU_3.dxf\"\r0,0 1 0\r"},
        {InsertForm::ExplodedAtOriginSplit, "-InSERT\r\"*C:\\Pimu\\PIMU_3.dxf\"\r0,0\r1 0\r"},
        {InsertForm::ExplodedAtPoint, "-InSERT\r\"*C:\\Pimu\\PIMU_3.dxf\"\r12.5,-0.25\r1 0\r"},
        {InsertForm::ExplodedAtPointBlankEnd,
         "-INSERt\r\"*C:\\Pimu\\PIMU_3.dxf\"\r12.5,-0.25\r1 0 "},
        {InsertForm::ExplodedAtPointRotated,
         "-INSERT\r\"*C:\\Pimu\\PIMU_3.dxf\"\r12.5,-0.25\r1.0\r90\r"},
        {InsertForm::BlockAtPointRotated,
         "-INSERT\r\"C:\\Pimu\\PIMU_3.dxf\"\r12.5,-0.25\r1.0 1.0\r90\r"},
        {InsertForm::PlacedByUser, "-INSERT\r\"C:\\Pimu\\PIMU_3.dxf\"\rS\r1.0\rR\r90\r"},
    };
    for (const auto &[form, text] : cases)
        EXPECT_EQ(InsertCommandText(form, p, {12.5, -0.25, "90"}), text);
    EXPECT_EQ(InsertCommandText(InsertForm::BlockPlacedByUser, "PIMU_4"),
              "-INSERT\rPIMU_4\rS\r1.0\rR\r0.0\r");
    EXPECT_EQ(FormatCommandNumber(1e-6), "1E-06");
    EXPECT_EQ(FormatCommandNumber(-0.0), "0");
    EXPECT_EQ(FormatCommandNumber(0.1 + 0.2), "0.3");
    EXPECT_EQ(BlockNameOfFile("C:\\Pimu\\TENKU_2.dxf"), "TENKU_2");
}

}  // namespace
}  // namespace pimu::cadlink
