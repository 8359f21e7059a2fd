#include "cadlink/dxftext.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cadlink/textcodec.h"

namespace pimu::cadlink {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A fresh folder per test, removed afterwards.
class DxfTextFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("pimu_dxftext_" + std::string(info->name()) + "_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

// Compares the saved bytes with tests/data/cadlink/golden/<name>; PIMU_UPDATE_GOLDEN=1 rewrites it.
void ExpectGolden(const fs::path &written, const std::string &name) {
    const fs::path golden = fs::path(PIMU_TEST_DATA) / "cadlink" / "golden" / name;
    const std::string actual = ReadBytes(written);
    if (const char *update = std::getenv("PIMU_UPDATE_GOLDEN");
        update && std::string(update) == "1") {
        WriteBytes(golden, actual);
        return;
    }
    ASSERT_TRUE(fs::exists(golden)) << golden << " is missing; run with PIMU_UPDATE_GOLDEN=1";
    EXPECT_EQ(actual, ReadBytes(golden)) << "differs from " << golden;
}

// Every entity template with each of its options once.
DxfText AllEntitiesDrawing() {
    DxfText sl;
    sl.Begin();
    sl.AddLine("PIMU_JIKOKU", 0.0, 0.0, 1000.5, -250.25);
    sl.AddLine("PIMU_KABE", {1.0, 2.0, 9.0}, {3.0, 4.0, 9.0}, {.colour = 251, .hidden = true});
    const std::vector<DxfVertex> closed = {
        {0.0, 0.0, std::nullopt}, {5000.0, 0.0, std::nullopt}, {5000.0, 3000.0, 0.414213562373095}};
    sl.AddPolyline("PIMU_JIKOKU", closed);
    const std::vector<geometry::TAcadPoint> open = {{-1.5, 1e-6, 0.0}, {2.0, 1e15, 0.0}};
    sl.AddPolyline(
        "PIMU_TOUJI", open,
        {.closed = false, .hidden = true, .colour = 3, .elevation = DxfValue::Fixed(1500.0, 4)});
    sl.AddText("PIMU_JIKOKU", {.x = 10.0, .y = 20.0, .height = 350.0, .text = "8:00"});
    sl.AddText("PIMU_TENKU", {.x = 1.0,
                              .y = 2.0,
                              .z = 0.5,
                              .height = DxfValue::FieldText("2.5", "文字高さ"),
                              .text = "天空率 45.123%",
                              .rotation = 90.0,
                              .widthFactor = 0.75,
                              .align = DxfTextAlign{.x = 100.0,
                                                    .y = 200.0,
                                                    .horizontal = DxfHAlign::Center,
                                                    .vertical = DxfVAlign::Middle}});
    sl.AddCircle("PIMU_TENKU", 0.0, 0.0, 10000.0);
    sl.Finish();
    return sl;
}

TEST_F(DxfTextFiles, GoldenAllEntities) {
    const fs::path path = dir_ / "all.dxf";
    AllEntitiesDrawing().Save(path);
    ExpectGolden(path, "all_entities.dxf");
}

TEST_F(DxfTextFiles, GoldenWithoutTables) {
    DxfText sl;
    sl.Begin(DxfTables::Omit);
    sl.AddLine("PIMU_KYOUKAI", 0.0, 0.0, 10.0, 0.0);
    sl.Finish();
    const std::string text = sl.Text();
    EXPECT_EQ(text.find("TABLES"), std::string::npos);
    EXPECT_EQ(text.rfind("  0\r\nSECTION\r\n  2\r\nHEADER\r\n", 0), 0u);
    EXPECT_TRUE(text.ends_with("  0\r\nENDSEC\r\n  0\r\nEOF\r\n"));
    const fs::path path = dir_ / "boundary.dxf";
    sl.Save(path);
    ExpectGolden(path, "without_tables.dxf");
}

TEST(DxfText, FinishAddsTheEndOnlyOnce) {
    DxfText a;
    a.Begin();
    a.Finish();
    a.Finish();
    DxfText b;
    b.Begin();
    b.Add("  0\r\nENDSEC");  // the end written by the caller in two items
    b.Add("  0\r\nEOF");
    b.Finish();
    for (const DxfText *sl : {&a, &b}) {
        const std::string text = sl->Text();
        EXPECT_EQ(text.find("EOF"), text.rfind("EOF"));
        EXPECT_TRUE(text.ends_with("ENDSEC\r\n  0\r\nEOF\r\n"));
    }
}

std::size_t Count(const std::string &text, const std::string &what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

TEST(DxfText, FiveVerticesThenOneSeqend) {
    DxfText sl;
    const std::vector<geometry::TAcadPoint> pts = {
        {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 2, 0}};
    sl.AddPolyline("L", pts);
    const std::string text = sl.Text();
    EXPECT_EQ(Count(text, "\r\nVERTEX\r\n"), 5u);
    EXPECT_EQ(Count(text, "\r\nSEQEND\r\n"), 1u);
    EXPECT_TRUE(
        text.ends_with("  0\r\nVERTEX\r\n  8\r\nL\r\n 10\r\n0\r\n 20\r\n2\r\n  0\r\nSEQEND\r\n"));

    DxfText empty;
    empty.AddPolyline("L", std::span<const geometry::TAcadPoint>());
    EXPECT_EQ(empty.size(), 0u);
}

// A hidden circle (the sky map's outer ring) carries its linetype right after its layer, as a
// line does.
TEST(DxfText, HiddenCircle) {
    DxfText sl;
    sl.AddCircle("PIMU_TENKU", 1.5, -2.0, 250.0, {.hidden = true});
    EXPECT_EQ(sl.Text(),
              "  0\r\nCIRCLE\r\n  8\r\nPIMU_TENKU\r\n  6\r\nHIDDEN2\r\n 10\r\n1.5\r\n 20\r\n-2\r\n"
              " 30\r\n0.0\r\n 40\r\n250\r\n");
}

TEST(DxfNumber, GeneralForm) {
    const std::pair<double, const char *> cases[] = {
        {12.5, "12.5"},
        {-0.25, "-0.25"},
        {100.0, "100"},
        {0.1, "0.1"},
        {0.0, "0"},
        {-0.0, "0"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {0.00001, "0.00001"},
        {0.0000123, "0.0000123"},
        {1e-6, "1E-6"},
        {1.5e-7, "1.5E-7"},
        {-2.5e-300, "-2.5E-300"},
        {1e14, "100000000000000"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {999999999999999.9, "1E15"},  // rounding to 15 digits carries into the next power
        {1.23456789012345678e20, "1.23456789012346E20"},
        {5000.000000000001, "5000"},
        {-1234.5678, "-1234.5678"},
        {0.1 + 0.2, "0.3"},
        {std::numeric_limits<double>::max(), "1.79769313486232E308"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
    };
    for (const auto &[value, expected] : cases) EXPECT_EQ(DxfNumber(value), expected) << value;
}

TEST(DxfNumber, FixedForm) {
    EXPECT_EQ(DxfFixed(1.5, 4), "1.5000");
    EXPECT_EQ(DxfFixed(-2.123456, 4), "-2.1235");
    EXPECT_EQ(DxfFixed(-0.00001, 4), "0.0000");
    EXPECT_EQ(DxfFixed(-0.0, 0), "0");
    EXPECT_EQ(DxfFixed(45.0, 12), "45.000000000000");
    EXPECT_EQ(DxfValue::Fixed(3.0, 3).Text(), "3.000");
}

TEST(DxfNumber, NotFiniteIsAFault) {
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        EXPECT_THROW(DxfNumber(bad), std::invalid_argument);
        EXPECT_THROW(DxfFixed(bad, 4), std::invalid_argument);
    }
}

TEST(DxfValue, FieldTextMustBeANumber) {
    EXPECT_EQ(DxfValue::FieldText(" 2.50 ", "文字高さ").Text(), "2.50");
    for (const char *bad : {"", "abc", "1,5", "2.5\r\n  0\r\nLINE", "nan"})
        EXPECT_THROW(DxfValue::FieldText(bad, "文字高さ"), DxfError) << bad;
}

TEST(NewBlockNameFrom, Cases) {
    struct Case {
        std::vector<std::string> names;
        const char *expected;
    };
    const Case cases[] = {
        {{}, "PIMU_1"},
        {{"PIMU_3", "pimu_7"}, "PIMU_8"},
        {{"PIMU_A"}, "PIMU_1"},
        {{"PIMU_3x", "PIMU_2"}, "PIMU_3"},
        {{"PIMU_", "PIMU_-5", "PIMU_+5", "PIMU_ 5"}, "PIMU_1"},
        {{"PIMU_007"}, "PIMU_8"},
        {{"TENKU_9", "*Model_Space"}, "PIMU_1"},
        {{"PIMU_99999999999999999999"}, "PIMU_100000000000000000000"},
        {{"PIMU_18446744073709551615"}, "PIMU_18446744073709551616"},
        {{"PIMU_9", "PIMU_10"}, "PIMU_11"},
    };
    for (const auto &c : cases) EXPECT_EQ(NewBlockNameFrom("PIMU_", c.names), c.expected);
    const std::vector<std::string> names = {"Tenku_4"};
    EXPECT_EQ(NewBlockNameFrom("TENKU_", names), "TENKU_5");
}

TEST_F(DxfTextFiles, JapaneseLabelIsShiftJis) {
    DxfText sl;
    sl.Begin();
    sl.AddText("日影", {.x = 0.0, .y = 0.0, .height = 1.0, .text = "時刻日影図"});
    sl.Finish();
    const fs::path path = dir_ / "jp.dxf";
    sl.Save(path);
    const std::string bytes = ReadBytes(path);
    // 時刻日影図 and 日影 in CP932; no byte-order mark.
    EXPECT_NE(bytes.find("  1\r\n\x8E\x9E\x8D\x8F\x93\xFA\x89\x65\x90\x7D\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("  8\r\n\x93\xFA\x89\x65\r\n"), std::string::npos);
    EXPECT_EQ(bytes.rfind("  0\r\nSECTION", 0), 0u);
}

// Saving must not report success for a file it did not write, nor damage the file it replaces.
TEST_F(DxfTextFiles, FailedSaveKeepsTheOldFile) {
    const fs::path path = dir_ / "PIMU_1.dxf";
    WriteBytes(path, "old drawing");

    DxfText unencodable;
    unencodable.AddText("L", {.x = 0.0, .y = 0.0, .height = 1.0, .text = "\xF0\x9F\x98\x80"});
    EXPECT_THROW(unencodable.Save(path), DxfError);
    EXPECT_EQ(ReadBytes(path), "old drawing");

    EXPECT_THROW(AllEntitiesDrawing().Save(dir_ / "missing" / "PIMU_1.dxf"), DxfError);
}

TEST_F(DxfTextFiles, ReadOnlyFolderKeepsTheOldFile) {
    const fs::path path = dir_ / "PIMU_1.dxf";
    WriteBytes(path, "old drawing");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    const bool stillWritable = std::ofstream(dir_ / "probe").good();
    if (stillWritable) GTEST_SKIP() << "running with rights that ignore folder permissions";
    try {
        AllEntitiesDrawing().Save(path);
        FAIL() << "saving into a read-only folder succeeded";
    } catch (const DxfError &e) {
        EXPECT_NE(std::string(e.what()).find("PIMU_1.dxf"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadBytes(path), "old drawing");
}

// A write that fails half-way (here: a file size limit, as a full disk would) is an error, leaves
// the old file and no stray temporary file.
TEST_F(DxfTextFiles, WriteFailureMidwayKeepsTheOldFile) {
    const fs::path path = dir_ / "PIMU_2.dxf";
    WriteBytes(path, "old drawing");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        AllEntitiesDrawing().Save(path);
    } catch (const DxfError &) {
        threw = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(threw);
    EXPECT_EQ(ReadBytes(path), "old drawing");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// The file read back as (code, value) pairs.
std::vector<std::pair<std::string, std::string>> Pairs(const std::string &text) {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(text);
    std::string code, value;
    while (std::getline(in, code) && std::getline(in, value)) {
        if (!code.empty() && code.back() == '\r') code.pop_back();
        if (!value.empty() && value.back() == '\r') value.pop_back();
        out.emplace_back(code, value);
    }
    return out;
}

TEST(DxfText, UserTextCannotInjectGroupCodes) {
    const std::string injected = "A\r\n  0\r\nLINE\r\n  8\r\nX\nB\tC";
    DxfText sl;
    sl.AddText("L", {.x = 0.0, .y = 0.0, .height = 1.0, .text = injected});
    const auto pairs = Pairs(sl.Text());
    std::size_t entities = 0;
    for (const auto &[code, value] : pairs) {
        if (code == "  0") ++entities;
        if (code == "  1") {
            EXPECT_EQ(value, "A    0  LINE    8  X B C");
        }
    }
    EXPECT_EQ(entities, 1u);

    DxfText layers;
    for (const char *bad : {"", "L\r\n  0\r\nCIRCLE", "L\n", "L\t1", "\x7F", "\xFF\xFE"}) {
        EXPECT_THROW(layers.AddLine(bad, 0.0, 0.0, 1.0, 1.0), DxfError) << bad;
        EXPECT_THROW(layers.AddCircle(bad, 0.0, 0.0, 1.0), DxfError) << bad;
        EXPECT_THROW(layers.AddPolyline(bad, std::vector<DxfVertex>{{0.0, 0.0, {}}}), DxfError);
        EXPECT_THROW(layers.AddText(bad, {.x = 0.0, .y = 0.0, .height = 1.0, .text = "t"}),
                     DxfError);
    }
    EXPECT_THROW(layers.AddLine("L", 0.0, 0.0, 1.0, 1.0, {.colour = 257}), std::invalid_argument);
    EXPECT_EQ(layers.size(), 0u);  // a rejected entity leaves nothing half-added
}

// Debian's ezdxf reads the written drawing and finds nothing to repair.
TEST_F(DxfTextFiles, EzdxfReadsTheFileWithoutErrors) {
    const char *python = "/usr/bin/python3";
    if (!fs::exists(python) ||
        std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-ezdxf is not installed";
    const fs::path path = dir_ / "ezdxf.dxf";
    AllEntitiesDrawing().Save(path);
    const fs::path script = dir_ / "check.py";
    WriteBytes(
        script,
        "import sys, ezdxf\n"
        "from ezdxf import recover\n"
        "doc = ezdxf.readfile(sys.argv[1], encoding='cp932')\n"
        "auditor = doc.audit()\n"
        "doc2, rec = recover.readfile(sys.argv[1])\n"
        "kinds = sorted(e.dxftype() for e in doc.modelspace())\n"
        "texts = [e.dxf.text for e in doc.modelspace().query('TEXT')]\n"
        "ok = (not auditor.has_errors and not rec.has_errors\n"
        "      and doc.dxfversion == 'AC1009' and 'HIDDEN2' in doc.linetypes\n"
        "      and kinds == ['CIRCLE', 'LINE', 'LINE', 'POLYLINE', 'POLYLINE', 'TEXT', 'TEXT']\n"
        "      and '天空率 45.123%' in texts)\n"
        "for e in auditor.errors + rec.errors: print(e.message)\n"
        "print(kinds, texts)\n"
        "sys.exit(0 if ok else 1)\n");
    const std::string command = std::string(python) + " '" + script.string() + "' '" +
                                path.string() + "' > '" + (dir_ / "out.txt").string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadBytes(dir_ / "out.txt");
}

}  // namespace
}  // namespace pimu::cadlink
