// The strict DXF reader: faults are reported with their line, text encodings are honoured, and
// open -> save -> open keeps every supported entity.
#include <cmath>

#include "cadlink/embedded/dxfio.h"
#include "cadlink/textcodec.h"
#include "test_util.h"

namespace pimu::cadlink::embedded {
namespace {

using test::OfKind;
using test::R12;

struct Fault {
    const char *name;
    std::string text;
    int line;
    const char *reason;
};

TEST(DxfReader, ReportsTheLineAndReasonOfTheFirstFault) {
    const std::string line = "0\nLINE\n8\n0\n10\n1\n20\n2\n11\n3\n21\n4\n";
    const Fault faults[] = {
        {"empty", "", 0, "empty"},
        {"code not a number", "0\nSECTION\nX2\nENTITIES\n", 3, "expected a group code"},
        {"value missing", "0\nSECTION\n2", 3, "has no value"},
        {"no EOF", "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n", 7, "without EOF"},
        {"section unterminated", "0\nSECTION\n2\nENTITIES\n" + line + "0\nEOF\n", 17, "ENDSEC"},
        {"bad number", R12("0\nLINE\n8\n0\n10\n1,5\n20\n2\n11\n3\n21\n4\n"), 20, "needs a number"},
        {"missing end point", R12("0\nLINE\n8\n0\n10\n1\n20\n2\n"), 15,
         "lacks its start or end point"},
        {"vertex count", R12("0\nLWPOLYLINE\n90\n3\n10\n0\n20\n0\n10\n1\n20\n1\n"), 15,
         "declares 3"},
        {"polyline unterminated", R12("0\nPOLYLINE\n70\n0\n0\nVERTEX\n10\n0\n20\n0\n"), 25,
         "SEQEND"},
        {"lonely vertex", R12("0\nVERTEX\n10\n0\n20\n0\n"), 15, "outside a POLYLINE"},
        {"a coordinate no site has", R12("0\nLINE\n5\n3A\n10\n1\n20\n1e308\n11\n3\n21\n4\n"), 15,
         "LINE 3A: the coordinate 1e+308 is beyond what a drawing of a site holds"},
        {"a thickness no building has", R12("0\nLINE\n39\n1e12\n10\n1\n20\n2\n11\n3\n21\n4\n"), 15,
         "LINE: the thickness 1e+12"},
        {"a radius no site has", R12("0\nCIRCLE\n10\n1\n20\n2\n40\n2e10\n"), 15,
         "the radius 2e+10"},
        {"a bulge of 1e9", R12("0\nLWPOLYLINE\n10\n0\n20\n0\n42\n1e9\n10\n1\n20\n1\n"), 15,
         "the bulge 1e+09"},
        {"undefined block", R12("0\nINSERT\n2\nNOPE\n10\n0\n20\n0\n"), 15, "undefined block"},
        {"bad Shift-JIS", R12("0\nTEXT\n10\n0\n20\n0\n40\n1\n1\n\x82\n"), 24, "Shift-JIS"},
        {"undefined inner block",
         R12("", "0\nBLOCK\n2\nA\n10\n0\n20\n0\n0\nINSERT\n2\nB\n10\n0\n20\n0\n0\nENDBLK\n"), 23,
         "undefined block \"B\""},
        {"block inside itself",
         R12("",
             "0\nBLOCK\n2\nA\n10\n0\n20\n0\n0\nINSERT\n2\nB\n10\n0\n20\n0\n0\nENDBLK\n"
             "0\nBLOCK\n2\nB\n10\n0\n20\n0\n0\nINSERT\n2\nA\n10\n0\n20\n0\n0\nENDBLK\n"),
         0, "contains itself"},
        {"control character", R12("0\nTEXT\n10\n0\n20\n0\n40\n1\n1\na\rb\n"), 24,
         "control character"},
        {"bad handle", R12("0\nPOINT\n5\nXYZ\n10\n0\n20\n0\n"), 18, "hexadecimal"},
        // What no writer could write back is refused before anything is computed.
        {"bare CR in a section name", "0\nSECTION\n2\nMY\rSECTION\n0\nENDSEC\n0\nEOF\n", 4,
         "control character (\"\\r\")"},
        {"ESC in a layer name", R12("0\nLINE\n8\nA\x1b[2J\n10\n1\n20\n2\n11\n3\n21\n4\n"), 18,
         "control character (\"\\x1B\")"},
        {"DWG", "AC1018\0\0\0\0\0\0", 0, "this is a DWG drawing"},
        {"UTF-16 with BOM", "\xFF\xFE\x30\0\n\0", 0, "UTF-16"},
        {"UTF-16 without BOM", std::string("\x30\0\n\0S\0", 6), 0, "UTF-16"},
        // A value echoed in a message is shortened and shows its control characters.
        {"long bad number", R12("0\nLINE\n8\n0\n10\n" + std::string(100000, '9') + "x\n"), 20,
         "... (100001 bytes)"},
    };
    for (const Fault &f : faults) {
        SCOPED_TRACE(f.name);
        try {
            ReadDxf(f.text, "t.dxf");
            ADD_FAILURE() << "no error";
        } catch (const DxfError &e) {
            EXPECT_EQ(e.line(), f.line) << e.what();
            EXPECT_NE(std::string(e.what()).find(f.reason), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("t.dxf", 0), 0u) << e.what();
        }
    }
}

// Curves without a proper size are kept as read and noted by handle, as CAD programs keep them;
// the drawing still loads and saves. Found refused in symbol libraries of other CAD programs.
TEST(DxfReader, DegenerateEntitiesAreKeptAndNoted) {
    const std::string good = "0\nLINE\n5\n20\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n";
    struct Case {
        const char *name;
        std::string entity;
        const char *note;
    };
    const Case cases[] = {
        {"arc of radius 0", "0\nARC\n5\n1A\n8\n0\n10\n1\n20\n1\n30\n0\n40\n0\n50\n0\n51\n90\n",
         "ARC 1A (line 29): radius 0"},
        {"circle of negative radius", "0\nCIRCLE\n5\n2B\n8\n0\n10\n1\n20\n1\n40\n-2\n",
         "CIRCLE 2B (line 29): radius -2"},
        {"ellipse with a major axis of length 0",
         "0\nELLIPSE\n5\n6F\n8\n0\n10\n0\n20\n0\n11\n0\n21\n0\n40\n0.5\n",
         "ELLIPSE 6F (line 29): a major axis of length 0"},
        {"ellipse with a ratio above 1",
         "0\nELLIPSE\n5\n5E\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n40\n2\n",
         "ELLIPSE 5E (line 29): axis ratio 2 outside (0, 1]"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Drawing d = ReadDxf(R12(good + c.entity), "t.dxf");
        ASSERT_EQ(d.degenerate.size(), 1u);
        EXPECT_EQ(d.degenerate[0], c.note);
        EXPECT_EQ(d.ModelSpace().size(), 1u);  // the good line; the other is kept as read
        EXPECT_EQ(d.RawCount(), 1u);
        const Drawing back = ReadDxf(WriteDxf(d), "saved");
        EXPECT_EQ(back.degenerate.size(), 1u);
        EXPECT_EQ(back.RawCount(), 1u);
    }
}

// A \U+XXXX escape of a control character stays an escape, so a name or text that loads can be
// saved; other escapes are decoded and written back as characters or as escapes again.
TEST(DxfReader, EscapesOfControlCharactersStayEscapes) {
    const std::string file =
        R12("0\nTEXT\n8\nL\\U+001B\n10\n0\n20\n0\n40\n1\n1\na\\U+000Ab\\U+0001\\U+00E9\\U+65E5\n");
    const Drawing d = ReadDxf(file, "t.dxf");
    const EntityData &t = d.Get(d.ModelSpace()[0]);
    EXPECT_EQ(t.layer, "L\\U+001B");
    EXPECT_EQ(t.text, "a\\U+000Ab\\U+0001\u00e9\u65e5");
    const std::string saved = WriteDxf(d);
    for (char c : saved)
        EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') || c == 0x7F);
    const Drawing back = ReadDxf(saved, "saved");
    EXPECT_EQ(back.Get(back.ModelSpace()[0]).text, t.text);
    EXPECT_EQ(back.Get(back.ModelSpace()[0]).layer, t.layer);
}

TEST(DxfReader, MissingOrBinaryFilesGiveClearErrors) {
    test::TempDir dir;
    EXPECT_THROW(OpenDxf(dir / "absent.dxf"), DxfError);
    EXPECT_THROW(OpenDxf(dir.path()), DxfError);
    test::WriteFile(dir / "bin.dxf", std::string("AutoCAD Binary DXF\r\n\x1a\0", 22));
    try {
        OpenDxf(dir / "bin.dxf");
        ADD_FAILURE();
    } catch (const DxfError &e) {
        EXPECT_NE(std::string(e.what()).find("binary"), std::string::npos);
    }
}

TEST(DxfReader, TextEncodingFollowsVersionAndCodePage) {
    const std::string sjisText = Utf8ToCp932("日影");
    // No code page before R2007: Shift-JIS.
    Drawing d =
        ReadDxf(R12("0\nTEXT\n8\n" + sjisText + "\n10\n0\n20\n0\n40\n1\n1\n" + sjisText + "\n"));
    EXPECT_EQ(OfKind(d, EntityKind::Text).at(0).text, "日影");
    EXPECT_EQ(OfKind(d, EntityKind::Text).at(0).layer, "日影");

    // R2007 and later: UTF-8, and \U+ escapes in every version.
    const std::string r2018 =
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1032\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
        "0\nTEXT\n10\n0\n20\n0\n40\n1\n1\n天空 \\U+7387 \\U+00B0\n0\nENDSEC\n0\nEOF\n";
    d = ReadDxf(r2018);
    EXPECT_EQ(OfKind(d, EntityKind::Text).at(0).text, "天空 率 °");
    d = ReadDxf(R12("0\nTEXT\n10\n0\n20\n0\n40\n1\n1\n\\M+193FAx\\M+1ZZZZ\n"));  // 日 in Shift-JIS
    EXPECT_EQ(OfKind(d, EntityKind::Text).at(0).text, "日x\\M+1ZZZZ");

    std::string badUtf8 = r2018;
    badUtf8.replace(badUtf8.find("天空"), 3, "\xff\xfe\xfd");
    EXPECT_THROW(ReadDxf(badUtf8), DxfError);

    // Another code page with non-ASCII text is refused rather than garbled.
    const std::string greek =
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n9\n$DWGCODEPAGE\n3\nANSI_1253\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n0\nTEXT\n10\n0\n20\n0\n40\n1\n1\n\xe1\n0\nENDSEC\n0\nEOF\n";
    EXPECT_THROW(ReadDxf(greek), DxfError);

    // A drawing in ANSI_1252 is saved in it: its own characters a byte each, others escaped.
    const std::string latin =
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n9\n$DWGCODEPAGE\n3\nANSI_1252\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n0\nTEXT\n8\n\xdf\xdf\xdf\n10\n0\n20\n0\n40\n1\n1\n\xe9t\xe9\n"
        "0\nENDSEC\n0\nEOF\n";
    d = ReadDxf(latin);
    EXPECT_EQ(OfKind(d, EntityKind::Text).at(0).layer, "ßßß");
    EntityData jp = OfKind(d, EntityKind::Text).at(0);
    jp.handle = 0;
    jp.text = "日影 é";
    d.Add(jp);
    const std::string saved = WriteDxf(d);
    EXPECT_NE(saved.find("ANSI_1252"), std::string::npos);
    EXPECT_EQ(saved.find("ANSI_932"), std::string::npos);
    EXPECT_NE(saved.find("\n\xdf\xdf\xdf\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\\U+65E5\\U+5F71 \xe9"), std::string::npos);
    const Drawing back = ReadDxf(saved);
    EXPECT_EQ(OfKind(back, EntityKind::Text).at(0).text, "été");
    EXPECT_EQ(OfKind(back, EntityKind::Text).at(1).text, "日影 é");
    EXPECT_EQ(OfKind(back, EntityKind::Text).at(1).layer, "ßßß");
}

TEST(DxfReader, AcceptsCrLfLongLinesAndSkipsWhatItDoesNotKeep) {
    const std::string longText(5000, 'A');
    std::string text = R12("0\nTEXT\n10\n0\n20\n0\n40\n1\n1\n" + longText +
                           "\n0\nHATCH\n8\n0\n0\nLINE\n67\n1\n10\n0\n20\n0\n11\n1\n21\n1\n");
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const Drawing d = ReadDxf(crlf);
    EXPECT_EQ(OfKind(d, EntityKind::Text).at(0).text, longText);
    EXPECT_EQ(d.ModelSpace().size(), 1u);
    EXPECT_EQ(d.skipped.at("HATCH"), 1);
    EXPECT_EQ(d.skipped.at("paper space"), 1);
}

TEST(DxfReader, AnonymousBlocksAreKeptForTheirReferences) {
    const std::string text = test::R12("0\nINSERT\n2\n*U7\n10\n1\n20\n2\n",
                                       "0\nBLOCK\n2\n*U7\n70\n1\n10\n0\n20\n0\n"
                                       "0\nLINE\n10\n0\n20\n0\n11\n1\n21\n0\n0\nENDBLK\n");
    const Drawing d = ReadDxf(text);
    ASSERT_NE(d.FindBlock("*U7"), nullptr);
    EXPECT_EQ(d.FindBlock("*U7")->flags, 1);
    const Drawing back = ReadDxf(WriteDxf(d));
    ASSERT_NE(back.FindBlock("*U7"), nullptr);
    EXPECT_EQ(back.FindBlock("*U7")->flags, 1);
    EXPECT_EQ(OfKind(back, EntityKind::Line, "*U7").size(), 1u);
}

TEST(DxfRoundTrip, OpenSaveOpenKeepsEverySupportedEntity) {
    for (const char *file : {"ezdxf_r12.dxf", "ezdxf_r2000.dxf", "ezdxf_r2018.dxf"}) {
        SCOPED_TRACE(file);
        const Drawing first = OpenDxf(test::kData / file);
        test::TempDir dir;
        SaveDxf(first, dir / "out.dxf");
        const Drawing second = OpenDxf(dir / "out.dxf");
        ASSERT_EQ(first.ModelSpace().size(), second.ModelSpace().size());
        for (std::size_t k = 0; k < first.ModelSpace().size(); ++k)
            EXPECT_EQ(first.Get(first.ModelSpace()[k]), second.Get(second.ModelSpace()[k]))
                << "entity " << k;
        EXPECT_EQ(first.Layers(), second.Layers());
        ASSERT_EQ(first.Blocks().size(), second.Blocks().size());
        for (std::size_t k = 0; k < first.Blocks().size(); ++k) {
            const BlockRecord &a = first.Blocks()[k], &b = second.Blocks()[k];
            EXPECT_EQ(a.name, b.name);
            ASSERT_EQ(a.entities.size(), b.entities.size());
            for (std::size_t j = 0; j < a.entities.size(); ++j)
                EXPECT_EQ(first.Get(a.entities[j]), second.Get(b.entities[j]));
        }
    }
}

TEST(DxfSave, AFailedSaveLeavesTheExistingFileAlone) {
    test::TempDir dir;
    test::WriteFile(dir / "keep.dxf", "original");
    Drawing d;
    std::filesystem::create_directory(dir / "blocked.dxf");  // a directory where the file should go
    EXPECT_THROW(SaveDxf(d, dir / "blocked.dxf"), DxfError);
    EXPECT_EQ(test::ReadFile(dir / "keep.dxf"), "original");
    // A line break that slipped into a name is refused, not written.
    Drawing broken;
    broken.AddLayer({"A\nB", 7, "CONTINUOUS", 0});
    EXPECT_THROW(SaveDxf(broken, dir / "keep.dxf"), DxfError);
    EXPECT_EQ(test::ReadFile(dir / "keep.dxf"), "original");
    // Characters Shift-JIS lacks survive as escapes.
    EntityData t;
    t.kind = EntityKind::Text;
    t.text = "Ω 😀 ∑";
    t.height = 1;
    d.Add(t);
    SaveDxf(d, dir / "keep.dxf");
    const Drawing back = OpenDxf(dir / "keep.dxf");
    EXPECT_EQ(OfKind(back, EntityKind::Text).at(0).text, "Ω \xEF\xBF\xBD ∑");
}

}  // namespace
}  // namespace pimu::cadlink::embedded
