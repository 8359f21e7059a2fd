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
        {"zero radius", R12("0\nCIRCLE\n10\n0\n20\n0\n40\n0\n"), 15, "radius"},
        {"vertex count", R12("0\nLWPOLYLINE\n90\n3\n10\n0\n20\n0\n10\n1\n20\n1\n"), 15,
         "declares 3"},
        {"polyline unterminated", R12("0\nPOLYLINE\n70\n0\n0\nVERTEX\n10\n0\n20\n0\n"), 25,
         "SEQEND"},
        {"lonely vertex", R12("0\nVERTEX\n10\n0\n20\n0\n"), 15, "outside a POLYLINE"},
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
