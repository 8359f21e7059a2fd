// Layers, the dashed linetype, block names and definitions, the temporary selection set.
#include "cadlink/tables.h"
#include "cadlink/embedded/document.h"
#include "test_util.h"

namespace pimu::cadlink {
namespace {

using embedded::EmbeddedApplication;
using embedded::EmbeddedDocument;

struct NoSleep : ISleeper {
    int total = 0;
    void Sleep(int ms) override { total += ms; }
};

class TablesTest : public ::testing::Test {
protected:
    std::shared_ptr<EmbeddedDocument> doc = std::make_shared<EmbeddedDocument>();
    EmbeddedApplication app{doc};
    NoSleep sleeper;
    NullDesktop desktop;
    std::vector<std::string> messages;
    LinetypeContext Context(const std::string &progId) {
        return {progId, sleeper, desktop, [this](const std::string &m) { messages.push_back(m); }};
    }
};

TEST_F(TablesTest, EnsureLayerAddsOnlyMissingLayers) {
    EXPECT_TRUE(EnsureLayer(*doc, "PIMU_JIKOKU"));
    const int count = doc->Layers().Count();
    EXPECT_TRUE(EnsureLayer(*doc, "pimu_jikoku"));
    EXPECT_TRUE(EnsureLayer(*doc, "PIMU_JIKOKU"));
    EXPECT_EQ(doc->Layers().Count(), count);
    EXPECT_THROW(EnsureLayer(*doc, "BAD\r\nLAYER"), CadError);  // never reaches a table or command
}

TEST_F(TablesTest, DashedLinetypePerCad) {
    const std::tuple<const char *, const char *, const char *> choices[] = {
        {"GCAD.Application", "gcadiso.lin", "HIDDEN2"},
        {"PCAD.Application", "MM.LIN", "HIDDEN"},
        {"AutoCAD.Application", "acadiso.lin", "HIDDEN2"},
        {"BricscadApp.AcadApplication", "iso.lin", "HIDDEN2"},
        {"ZWCAD.Application", "zwcadiso.lin", "HIDDEN2"},
        {"Other.App", "", "HIDDEN2"},
    };
    for (const auto &[progId, file, name] : choices) {
        EXPECT_EQ(ChooseDashedLinetype(progId).file, file) << progId;
        EXPECT_EQ(ChooseDashedLinetype(progId).name, name) << progId;
    }

    EXPECT_EQ(EnsureDashedLinetype(app, Context("BricscadApp.AcadApplication")), "HIDDEN2");
    EXPECT_EQ(EnsureDashedLinetype(app, Context("AutoCAD.Application")),
              "HIDDEN2");  // found, not reloaded
    EXPECT_TRUE(messages.empty());

    // No linetype file for this CAD: one message, an empty name, drawing goes on.
    auto other = std::make_shared<EmbeddedDocument>();
    EmbeddedApplication otherApp(other);
    EXPECT_EQ(EnsureDashedLinetype(otherApp, Context("Other.App")), "");
    EXPECT_EQ(messages, (std::vector<std::string>{"線種ロードエラー"}));
}

TEST_F(TablesTest, PcadLoadsThroughTheTypedCommandAndRestoresFileDialogs) {
    doc->SetVariable("FILEDIA", 0);
    EXPECT_EQ(EnsureDashedLinetype(app, Context("PCAD.Application")), "");
    EXPECT_NE(doc->drawing().FindLinetype("HIDDEN"), nullptr);
    EXPECT_EQ(std::get<int>(doc->GetVariable("FILEDIA")), 1);
    EXPECT_EQ(doc->commands().back(), "-LINETYPE\rL\rHIDDEN\rMM.LIN\r\r");
    EXPECT_EQ(sleeper.total, 100);
    // Already there: nothing typed again.
    EXPECT_EQ(EnsureDashedLinetype(app, Context("PCAD.Application")), "HIDDEN");
    EXPECT_EQ(doc->commands().size(), 1u);
}

TEST_F(TablesTest, BlockNamesCountPastExistingBlocks) {
    EXPECT_EQ(NewBlockName(*doc, "PIMU_"), "PIMU_1");
    doc->Blocks().Add({0, 0, 0}, "PIMU_3");
    doc->Blocks().Add({0, 0, 0}, "pimu_7");
    doc->Blocks().Add({0, 0, 0}, "PIMU_A");
    doc->Blocks().Add({0, 0, 0}, "TENKU_12");
    EXPECT_EQ(NewBlockName(*doc, "PIMU_"), "PIMU_8");
    EXPECT_EQ(NewBlockName(*doc, "Tenku_"), "Tenku_13");
    BlockPtr block = NewBlock(*doc, "PIMU_");
    EXPECT_EQ(block->Name(), "PIMU_8");
    EXPECT_EQ(block->Origin(), (TAcadPoint{0, 0, 0}));

    // A number past the range of int counts exactly, without overflow.
    doc->Blocks().Add({0, 0, 0}, "PIMU_2147483647");
    EXPECT_EQ(NewBlockName(*doc, "PIMU_"), "PIMU_2147483648");
    DeleteBlock(*doc, "PIMU_2147483647");

    DeleteBlock(*doc, "pimu_8");
    EXPECT_EQ(doc->drawing().FindBlock("PIMU_8"), nullptr);
    doc->ModelSpace().InsertBlock({0, 0, 0}, "PIMU_3", 1, 1, 1, 0);
    DeleteBlock(*doc, "PIMU_3");  // still referenced: stays, nothing reported
    DeleteBlock(*doc, "NONE");
    EXPECT_NE(doc->drawing().FindBlock("PIMU_3"), nullptr);
}

TEST_F(TablesTest, LastObjectIdAndExplodeLastInsert) {
    EXPECT_EQ(LastObjectId(*doc), ObjectId{});
    BlockPtr block = doc->Blocks().Add({0, 0, 0}, "PIMU_1");
    block->AddLine({0, 0, 0}, {10, 0, 0});
    doc->Blocks().Add({0, 0, 0}, "OTHER")->AddLine({0, 0, 0}, {1, 0, 0});

    TAcadPoint at;
    EXPECT_FALSE(ExplodeLastInsert(*doc, "PIMU_1", at));  // empty drawing

    EntityPtr other = doc->ModelSpace().InsertBlock({1, 1, 0}, "OTHER", 1, 1, 1, 0);
    EXPECT_EQ(LastObjectId(*doc), other->ObjectID());
    std::string failed;
    EXPECT_FALSE(ExplodeLastInsert(*doc, "PIMU_1", at, &failed));
    EXPECT_EQ(failed, "OTHER");               // the block that was placed instead is named
    EXPECT_EQ(doc->ModelSpace().Count(), 1);  // left alone

    EntityPtr ref = doc->ModelSpace().InsertBlock({5, 6, 0}, "PIMU_1", 1, 1, 1, 0);
    EXPECT_FALSE(ExplodeLastInsert(*doc, "pimu_1", at));  // the name must match exactly
    ASSERT_TRUE(ExplodeLastInsert(*doc, "PIMU_1", at));
    EXPECT_EQ(at, (TAcadPoint{5, 6, 0}));
    EXPECT_EQ(doc->ModelSpace().Count(), 2);  // OTHER's reference and the exploded line
    EXPECT_EQ(doc->ModelSpace().Item(1)->EntityName(), "AcDbLine");
    EXPECT_EQ(doc->SelectionSets().Count(), 0);  // the temporary set is gone in every case

    // The temporary set is reused (cleared) when it exists.
    SelectionSetPtr first = GetTempSelectionSet(*doc);
    first->Select(SelectMode::Last, {}, {});
    SelectionSetPtr again = GetTempSelectionSet(*doc);
    EXPECT_EQ(again->Count(), 0);
    EXPECT_EQ(doc->SelectionSets().Count(), 1);
}

}  // namespace
}  // namespace pimu::cadlink
