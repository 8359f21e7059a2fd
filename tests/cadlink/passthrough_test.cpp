// Open -> save keeps what the embedded drawing does not model: entities of other kinds (in model
// space, paper space and blocks), XDATA, styles, dimension styles, header values, CLASSES and
// OBJECTS, with their handles; new entities get handles nothing else uses.
#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>

#include "cadlink/embedded/document.h"
#include "cadlink/embedded/dxfio.h"
#include "test_util.h"

namespace pimu::cadlink::embedded {
namespace {

std::vector<std::string> Content(const std::filesystem::path &file, const char *encoding,
                                 const std::filesystem::path &out) {
    const std::string command =
        std::string(PIMU_SYSTEM_PYTHON) + " \"" + (test::kData / "ezdxf_content.py").string() +
        "\" \"" + file.string() + "\" " + encoding + " > \"" + out.string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    const std::string text = test::ReadFile(out);
    EXPECT_EQ(status, 0) << "ezdxf (python3-ezdxf, see deps/test-cadlink.txt) failed:\n" << text;
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Removes and returns the line starting with `prefix`.
std::string Take(std::vector<std::string> &lines, const std::string &prefix) {
    for (auto it = lines.begin(); it != lines.end(); ++it)
        if (it->starts_with(prefix)) {
            std::string line = *it;
            lines.erase(it);
            return line;
        }
    return "(none)";
}

TEST(PassThrough, OpenAddLineSaveKeepsEverythingElse) {
    // R12 has no CLASSES or OBJECTS; its tables and modelled entities are written in R2000 form,
    // the others as read.
    for (const auto &[file, encoding] :
         {std::pair{"passthrough_r12.dxf", "cp932"}, std::pair{"passthrough_r2000.dxf", "cp932"},
          std::pair{"passthrough_r2018.dxf", "utf-8"}}) {
        SCOPED_TRACE(file);
        test::TempDir dir;
        auto original = Content(test::kData / file, encoding, dir / "a.txt");
        EmbeddedDocument doc;
        doc.Open(test::kData / file);
        const EntityPtr line = doc.ModelSpace().AddLine({1, 2, 0}, {3, 4, 0});
        doc.Save(dir / "saved.dxf");
        auto saved = Content(dir / "saved.dxf", encoding, dir / "b.txt");

        // Every handle of the saved file is unique, the new line's included, and below the seed.
        EXPECT_EQ(Take(saved, "handle-dups"), "handle-dups 0");
        Take(original, "handle-dups");
        EXPECT_EQ(Take(saved, "seed-above-handles"), "seed-above-handles True");
        Take(original, "seed-above-handles");
        Take(original, "$HANDSEED");
        Take(saved, "$HANDSEED");
        // Apart from the new line, the drawing reads back the same.
        EXPECT_EQ(Take(original, "count model LINE "), "count model LINE 1");
        EXPECT_EQ(Take(saved, "count model LINE "), "count model LINE 2");
        ASSERT_GE(original.size(), 2u);
        original.insert(original.end() - 1,
                        "model LINE|0|1.0000,2.0000,0.0000;3.0000,4.0000,0.0000;0.0000");
        EXPECT_EQ(saved, original);

        const Drawing back = OpenDxf(dir / "saved.dxf");
        const auto found = back.FindHandle(line->Handle());
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(back.Get(*found).p2.y, 4.0);
    }
}

// Type names of an owner's entities in drawing order, kept ones included.
std::vector<std::string> Kinds(const Drawing &d, const std::string &owner = "") {
    std::vector<std::string> out;
    for (EntityId id : d.Sequence(owner))
        out.push_back(d.RawOf(id) ? d.RawOf(id)->front().value
                                  : std::string(DxfTypeName(d.Get(id).kind)));
    return out;
}

// Values of every handle group (5, 105) of a saved text, the header's seed left out.
std::vector<std::string> Handles(const std::string &dxf) {
    std::vector<std::string> lines;
    std::istringstream in(dxf);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.substr(
            line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' ')));
    }
    std::vector<std::string> out;
    for (std::size_t k = 0; k + 1 < lines.size(); k += 2)
        if ((lines[k] == "5" || lines[k] == "105") && (k == 0 || lines[k - 1] != "$HANDSEED"))
            out.push_back(lines[k + 1]);
    return out;
}

const std::string kFace =
    "0\n3DFACE\n5\n100\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n"
    "12\n1\n22\n1\n32\n0\n13\n1\n23\n1\n33\n0\n";
const std::string kHatch = "0\nHATCH\n8\n0\n2\nWALL\n70\n1\n";

TEST(PassThrough, KeptEntitiesStayInPlaceAndCommandsOnlySeeModelledOnes) {
    const std::string text = test::R12("0\nLINE\n5\nA1\n10\n0\n20\n0\n11\n1\n21\n0\n" + kFace +
                                           "0\nCIRCLE\n10\n0\n20\n0\n40\n1\n" + kHatch,
                                       "0\nBLOCK\n2\nWALL\n70\n0\n10\n0\n20\n0\n" + kHatch +
                                           "0\nLINE\n10\n0\n20\n0\n11\n1\n21\n0\n0\nENDBLK\n");
    Drawing d = ReadDxf(text);
    EXPECT_EQ(d.ModelSpace().size(), 2u);
    d.Erase(d.ModelSpace().front());
    EntityData line;
    line.p2 = {5, 5, 0};
    const EntityId added = d.Add(line);
    // The face kept handle 100, the drawing's first own handle: the new line takes another.
    EXPECT_NE(d.Get(added).handle, 0x100u);
    const std::string saved = WriteDxf(d);
    const Drawing back = ReadDxf(saved);
    EXPECT_EQ(Kinds(back), (std::vector<std::string>{"3DFACE", "CIRCLE", "HATCH", "LINE"}));
    EXPECT_EQ(Kinds(back, "WALL"), (std::vector<std::string>{"HATCH", "LINE"}));
    // The hatch names block WALL: removing the block would leave it dangling.
    Drawing copy = back;
    EXPECT_THROW(copy.RemoveBlock("WALL"), CadError);
    // Every handle of the saved file is used once.
    const std::vector<std::string> handles = Handles(saved);
    EXPECT_EQ(std::set<std::string>(handles.begin(), handles.end()).size(), handles.size());
    EXPECT_NE(std::find(handles.begin(), handles.end(), "100"), handles.end());
    // Inserting a drawing whose kept entities would be left out fails instead.
    Drawing into;
    try {
        DefineBlockFrom(into, back, "PIMU_1");
        ADD_FAILURE() << "inserted";
    } catch (const CadError &e) {
        EXPECT_NE(std::string(e.what()).find("1 3DFACE, 1 HATCH"), std::string::npos) << e.what();
    }
    EXPECT_EQ(into.FindBlock("PIMU_1"), nullptr);
}

TEST(PassThrough, ChangedEntityKeepsWhatTheModelLacks) {
    const std::string text =
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n9\n$LTSCALE\n40\n50.0\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n0\nLINE\n5\n2A\n102\n{ACAD_XDICTIONARY\n360\n3F\n102\n}\n"
        "100\nAcDbEntity\n8\n0\n370\n50\n100\nAcDbLine\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n"
        "1001\nPIMUTEST\n1000\n\x8a\x4f\x95\xc7\n0\nENDSEC\n0\nEOF\n";  // Shift-JIS
    Drawing d = ReadDxf(text);
    const std::string unchanged = WriteDxf(d);
    d.Edit(d.ModelSpace().front()).color = 3;
    const std::string changed = WriteDxf(d);
    for (const std::string &saved : {unchanged, changed}) {
        for (const char *kept : {"$LTSCALE\r\n 40\r\n50.0", "{ACAD_XDICTIONARY\r\n360\r\n3F",
                                 "370\r\n50", "1001\r\nPIMUTEST\r\n1000\r\n\x8a\x4f\x95\xc7"})
            EXPECT_NE(saved.find(kept), std::string::npos) << kept;
    }
    EXPECT_NE(changed.find(" 62\r\n3\r\n"), std::string::npos);
    EXPECT_EQ(ReadDxf(changed).Get(ReadDxf(changed).ModelSpace().front()).color, 3);

    // A changed polyline whose width the model cannot hold: the save stops rather than drop it.
    Drawing wide = ReadDxf(
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
        "0\nLWPOLYLINE\n5\n2B\n8\n0\n90\n2\n70\n0\n43\n20\n10\n0\n20\n0\n10\n5\n20\n0\n"
        "0\nENDSEC\n0\nEOF\n");
    EXPECT_NO_THROW(WriteDxf(wide));
    wide.Edit(wide.ModelSpace().front()).layer = "建物";
    try {
        WriteDxf(wide);
        ADD_FAILURE() << "saved without the width";
    } catch (const DxfError &e) {
        EXPECT_NE(std::string(e.what()).find("LWPOLYLINE 2B was changed and holds group 43"),
                  std::string::npos)
            << e.what();
    }
}

// The text a save wrote for the entity with handle `handle`, up to the next entity.
std::string Written(const std::string &dxf, const std::string &handle) {
    const std::size_t at = dxf.find("  5\r\n" + handle + "\r\n");
    if (at == std::string::npos) return "(none)";
    return dxf.substr(at, dxf.find("  0\r\n", at) - at);
}

TEST(PassThrough, UnchangedEntitiesAreSavedFromTheBytesTheyWereReadFrom) {
    // Spacing and line ends of the file's own, Shift-JIS in kept groups, no final line end.
    auto line = [](const std::string &handle, int y) {
        return "  0\r\nLINE\r\n  5\r\n" + handle +
               "\r\n100\r\nAcDbEntity\r\n  8\r\n\x8c\x9a\x95\xa8\r\n370\r\n   50\r\n"
               "100\r\nAcDbLine\r\n 10\r\n0\r\n 20\r\n" +
               std::to_string(y) + "\r\n 30\r\n0\r\n 11\r\n5\r\n 21\r\n" + std::to_string(y) +
               "\r\n 31\r\n0\r\n1001\r\nPIMU\r\n1000\r\n\x8a\x4f\x95\xc7 " + handle + "\r\n";
    };
    Drawing d;
    {
        std::string text =
            "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1015\r\n"
            "  0\r\nENDSEC\r\n  0\r\nSECTION\r\n  2\r\nENTITIES\r\n" +
            line("2A", 0) + line("2B", 10) + line("2C", 20) + "  0\r\nENDSEC\r\n  0\r\nEOF";
        d = ReadDxf(text);
        text.assign(text.size(), 'x');  // the caller's bytes are gone; the drawing has its own
    }
    const std::string before = WriteDxf(d);
    for (const char *handle : {"2A", "2B", "2C"})
        EXPECT_NE(Written(before, handle).find("1000\r\n\x8a\x4f\x95\xc7 " + std::string(handle)),
                  std::string::npos)
            << handle;

    // An undo copy changed in the middle: its neighbours are written as before, and the drawing
    // it was copied from stays as read.
    auto copy = std::make_unique<Drawing>(d);
    copy->Edit(copy->ModelSpace()[1]).color = 3;
    EXPECT_EQ(WriteDxf(d), before);
    d = Drawing{};
    const std::string after = WriteDxf(*copy);
    copy.reset();
    EXPECT_EQ(Written(after, "2A"), Written(before, "2A"));
    EXPECT_EQ(Written(after, "2C"), Written(before, "2C"));
    const std::string middle = Written(after, "2B");
    EXPECT_NE(middle, Written(before, "2B"));
    EXPECT_NE(middle.find(" 62\r\n3\r\n"), std::string::npos) << middle;
    EXPECT_NE(middle.find("370\r\n   50\r\n"), std::string::npos) << middle;
    EXPECT_NE(middle.find("1000\r\n\x8a\x4f\x95\xc7 2B"), std::string::npos) << middle;
    const Drawing back = ReadDxf(after);
    ASSERT_EQ(back.ModelSpace().size(), 3u);
    EXPECT_EQ(back.Get(back.ModelSpace()[1]).color, 3);
    EXPECT_EQ(back.Get(back.ModelSpace()[2]).p1.y, 20.0);
    EXPECT_EQ(back.Get(back.ModelSpace()[2]).layer, "建物");
}

TEST(PassThrough, KeptGroupsAreCheckedAsStrictlyAsModelledOnes) {
    const struct {
        std::string entity;
        int line;
    } cases[] = {
        {"0\nHATCH\n8\n0\n41\nwide\n", 20},  // a number group
        {"0\nSPLINE\n5\nXYZ\n", 18},         // a handle
        {"0\nMTEXT\n1\n\x81\n", 18},         // broken Shift-JIS
        {"0\nSOLID\n1001\nA\x01"
         "B\n",
         18},  // a control character
        // The same in the groups of modelled entities, which keep them for saving
        {"0\nLINE\n5\n2A\n10\n0\n20\n0\n11\n1\n21\n0\n1001\nA\x01"
         "B\n",
         28},
        {"0\nLINE\n5\n2A\n10\n0\n20\n0\n11\n1\n21\n0\n1001\nPIMU\n1000\n\x81\n", 30},
        {"0\nCIRCLE\n5\n2A\n10\n0\n20\n0\n40\n1\n1040\nbig\n", 26},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.entity);
        try {
            ReadDxf(test::R12(c.entity));
            ADD_FAILURE() << "accepted";
        } catch (const DxfError &e) {
            EXPECT_EQ(e.line(), c.line) << e.what();
        }
    }
}

}  // namespace
}  // namespace pimu::cadlink::embedded
