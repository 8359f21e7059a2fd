#include "app/settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "../base/file_size_limit.h"
#include "app/form.h"
#include "app/inifile.h"
#include "app/recording_host.h"
#include "cadlink/textcodec.h"
#include "test_support.h"

namespace pimu::app {
namespace {

using testing::TempDir;

// Every text key with its control and default.
struct TextKey {
    const char *section, *key, *control, *fallback;
};
const TextKey kTextKeys[] = {
    {"Common", "ido1", "Edit3", "36"},
    {"Common", "ido2", "Edit5", "0"},
    {"Common", "ido3", "Edit23", "0"},
    {"Common", "makita", "Edit12", "90.0"},
    {"Common", "takasa", "Edit4", "4.0"},
    {"Tokutei", "takasa", "Edit6", "0.0"},
    {"Common", "takasa2", "Edit38", "300.0"},
    {"Jikoku", "kaishi", "Edit2", "8.0"},
    {"Jikoku", "owari", "Edit7", "16.0"},
    {"Jikoku", "kankaku", "Edit11", "1.0"},
    {"Jikoku", "keido", "Edit43", "135.0"},
    {"Jikoku", "kinjisa", "Edit44", "1.896"},
    {"Tenku", "Takasa", "Edit17", "0"},
    {"Tenku", "Hankei", "Edit15", "25"},
    {"Tenku", "Syakudo", "Edit19", "200"},
    {"Tenku", "Moji", "Edit20", "3.0"},
    {"Tenku", "HankeiB", "Edit21", "100"},
    {"Tenku", "MemoriB", "Edit24", "10"},
    {"Tenku", "HatchB", "Edit25", "2"},
    {"Tenku", "Memori", "Edit13", "0"},
    {"Tenku", "Hatch", "Edit18", "0"},
    {"Tenku", "MojiB", "Edit22", "10.0"},
    {"Layer", "Jikoku", "Edit27", "PIMU_JIKOKU"},
    {"Layer", "Touji", "Edit28", "PIMU_TOUJI"},
    {"Layer", "Hjikoku", "Edit31", "PIMU_HJIKOKU"},
    {"Layer", "Hwaku", "Edit30", "PIMU_HWAKU"},
    {"Layer", "Htouji", "Edit29", "PIMU_HTOJI"},
    {"Layer", "Nini", "Edit32", "PIMU_NINI"},
    {"Layer", "Tenku", "Edit33", "PIMU_TENKU"},
    {"Layer", "Tmemori", "Edit34", "PIMU_TMEMORI"},
    {"Layer", "Thatch", "Edit35", "PIMU_THATCH"},
    {"Layer", "Tsansya", "Edit36", "PIMU_TSANSYA"},
    {"Layer", "Ttateiti", "Edit37", "PIMU_TTATEITI"},
    {"Tenku", "IkkatsuA", "Edit8", "75"},
    {"Tenku", "IkkatsuB", "Edit40", "300"},
};
struct BoolKey {
    const char *section, *key, *control;
    bool fallback;
};
const BoolKey kBoolKeys[] = {
    {"Jikoku", "NotHoui", "CheckBox11", true},   {"Touji", "tyokuchk", "CheckBox8", true},
    {"Hekimen", "senjou", "CheckBox4", true},    {"Hekimen", "block", "CheckBox12", false},
    {"Tenku", "Kyuseki", "CheckBox3", true},     {"Tenku", "tateiti", "CheckBox5", true},
    {"Tenku", "NextRow", "CheckBox9", false},    {"Tenku", "KyusekiB", "CheckBox6", true},
    {"Tenku", "tateitiB", "CheckBox7", true},    {"Bairitsu", "useDMS", "CheckBox14", false},
    {"Bairitsu", "wdigit", "CheckBox15", false}, {"Tenku", "Kaiten", "CheckBox10", true},
};
struct RadioKey {
    const char *section, *key, *control;
    int fallback;
};
const RadioKey kRadioKeys[] = {
    {"Common", "kisetsu", "RadioGroup1", 0}, {"Touji", "kankaku", "RadioGroup3", 1},
    {"Touji", "kankaku2", "RadioGroup5", 1}, {"Touji", "kankaku3", "RadioGroup6", 1},
    {"Tenku", "Menseki", "RadioGroup2", 0},
};

struct Window {
    TempDir dir;
    RecordingUiHost host;
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>(FormPaths(dir.path(), "pimu"), host);
    void Restart() {
        form = std::make_unique<TForm1>(FormPaths(dir.path(), "pimu"), host);
        form->FormCreate();
    }
};

TEST(Settings, MissingFileGivesEveryDefault) {
    Window w;
    // Texts stored with the form do not count: the defaults win.
    for (const auto &k : kTextKeys) w.form->Edit(k.control).text = "form text";
    for (const auto &k : kBoolKeys) w.form->CheckBox(k.control).checked = !k.fallback;
    w.form->FormCreate();
    for (const auto &k : kTextKeys) EXPECT_EQ(w.form->Edit(k.control).text, k.fallback) << k.key;
    for (const auto &k : kBoolKeys)
        EXPECT_EQ(w.form->CheckBox(k.control).checked, k.fallback) << k.key;
    for (const auto &k : kRadioKeys)
        EXPECT_EQ(w.form->RadioGroup(k.control).itemIndex, k.fallback) << k.key;
    EXPECT_EQ(w.form->CheckListBox1.checked, std::vector<bool>(14, true));
    EXPECT_EQ(w.form->UpDown5.position, 4);
    EXPECT_EQ(w.form->ProgID, "BricscadApp.AcadApplication");
    EXPECT_FALSE(std::filesystem::exists(w.dir / "pimu.ini"));  // reading never creates it
}

TEST(Settings, EveryKeyRoundTripsInWriteOrder) {
    Window w;
    w.form->FormCreate();
    TForm1 &f = *w.form;
    int n = 0;
    for (const auto &k : kTextKeys) f.Edit(k.control).text = "v" + std::to_string(n++) + " 画層";
    for (const auto &k : kBoolKeys) f.CheckBox(k.control).checked = !k.fallback;
    for (const auto &k : kRadioKeys) f.RadioGroup(k.control).itemIndex = 2;
    for (int i = 0; i < 14; ++i) f.CheckListBox1.checked[static_cast<size_t>(i)] = i % 3 == 0;
    f.UpDown5.position = 17;
    f.Left = 100;
    f.Top = 50;
    f.ProgID = "GCAD.Application.23";
    f.WriteSettings();

    // The file: CR LF lines, keys in write order.
    const std::string bytes = w.dir.Read("pimu.ini");
    EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1);
    IniFile ini = IniFile::Load(w.dir / "pimu.ini");
    std::vector<std::string> keysInFile;
    std::string section;
    for (const auto &line : ini.Lines()) {
        if (line.front() == '[')
            section = line.substr(1, line.size() - 2);
        else
            keysInFile.push_back(section + "/" + line.substr(0, line.find('=')));
    }
    // Keys are grouped by section, so compare the order within each section.
    for (const auto &name : SettingsWriteOrder())
        EXPECT_NE(std::find(keysInFile.begin(), keysInFile.end(), name.section + "/" + name.key),
                  keysInFile.end())
            << name.key;
    EXPECT_EQ(keysInFile.size(), SettingsWriteOrder().size());
    EXPECT_EQ(ini.Read("Touji", "chk3"), "1");
    EXPECT_EQ(ini.Read("Touji", "chk4"), "0");

    w.Restart();
    TForm1 &g = *w.form;
    n = 0;
    for (const auto &k : kTextKeys)
        EXPECT_EQ(g.Edit(k.control).text, "v" + std::to_string(n++) + " 画層") << k.key;
    for (const auto &k : kBoolKeys) EXPECT_EQ(g.CheckBox(k.control).checked, !k.fallback) << k.key;
    for (const auto &k : kRadioKeys) EXPECT_EQ(g.RadioGroup(k.control).itemIndex, 2) << k.key;
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(g.CheckListBox1.checked[static_cast<size_t>(i)], i % 3 == 0);
    EXPECT_EQ(g.UpDown5.position, 17);
    EXPECT_EQ(g.Edit9.text, "17");
    EXPECT_EQ(g.Left, 100);
    EXPECT_EQ(g.Top, 50);
    EXPECT_EQ(g.ProgID, "GCAD.Application.23");
    EXPECT_EQ(g.RadioGroup4.itemIndex, 2);
    EXPECT_DOUBLE_EQ(g.Declination, 0.40927970959267024);
}

TEST(Settings, WindowPositionBeyondTheScreenIsCentredPerAxis) {
    struct Case {
        int left, top, expectLeft, expectTop;
    };
    RecordingUiHost probeHost;
    const TForm1 probe(FormPaths("/x"), probeHost);
    const int w0 = probe.Width;
    const int h0 = probe.Height;
    const Case cases[] = {
        {5000, 200, (1920 - w0) / 2, 200},
        {300, 1000, 300, (1080 - h0) / 2},
        {-40, -10, -40, -10},  // negative values stay
        {1920 - w0, 1080 - h0, 1920 - w0, 1080 - h0},
    };
    for (const auto &c : cases) {
        Window w;
        w.dir.Write("pimu.ini", "[Form]\r\nLeft=" + std::to_string(c.left) +
                                    "\r\nTop=" + std::to_string(c.top) + "\r\n");
        w.form->FormCreate();
        EXPECT_EQ(w.form->Left, c.expectLeft) << c.left;
        EXPECT_EQ(w.form->Top, c.expectTop) << c.top;
    }
}

TEST(Settings, TextsStayAsTypedAndBadNumbersKeepDefaults) {
    Window w;
    w.dir.Write("pimu.ini",
                "[common]\r\nIDO1=abc\r\nkisetsu=7\r\n[Jikoku]\r\nkeido=abc\r\nkinjisa= -2.5 \r\n"
                "[Touji]\r\ntyokusen=50\r\nchk0=2\r\nchk1=x\r\nkankaku2=-1\r\n"
                "[Target]\r\nProgID=\r\n");
    w.form->FormCreate();
    TForm1 &f = *w.form;
    EXPECT_EQ(f.Edit3.text, "abc");  // keys compared without case; text kept
    EXPECT_EQ(f.RadioGroup1.itemIndex, 0);
    EXPECT_EQ(f.Edit43.text, "abc");
    EXPECT_DOUBLE_EQ(f.Longitude, 135.0);
    EXPECT_DOUBLE_EQ(f.EqOfTime, -2.5);
    EXPECT_EQ(f.UpDown5.position, 20);  // clamped to the up-down's range
    EXPECT_TRUE(f.CheckListBox1.checked[0]);
    EXPECT_TRUE(f.CheckListBox1.checked[1]);  // not a number: the default
    EXPECT_EQ(f.RadioGroup5.itemIndex, 1);
    EXPECT_EQ(f.ProgID, "BricscadApp.AcadApplication");
    // The choices no radio group offers are refused aloud, in one message naming each key.
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_NE(w.host.messages[0].text.find("Common/kisetsu=7"), std::string::npos);
    EXPECT_NE(w.host.messages[0].text.find("Touji/kankaku2=-1"), std::string::npos);
}

TEST(Settings, CheckListStateIsStored) {
    Window w;
    w.form->FormCreate();
    w.form->CheckListBox1.checked[3] = false;  // "3.0Hr"
    w.form->FormDestroy();
    EXPECT_NE(w.dir.Read("pimu.ini").find("chk3=0\r\n"), std::string::npos);
    w.Restart();
    EXPECT_FALSE(w.form->CheckListBox1.checked[3]);
    EXPECT_TRUE(w.form->CheckListBox1.checked[2]);
}

TEST(Settings, SaveKeepsUnknownKeysSectionsAndShiftJis) {
    Window w;
    const std::string original =
        "; written by hand\r\n[Layer]\r\nJikoku=時刻画層\r\nMine=1\r\n[Other]\r\nx=y\r\n";
    w.dir.Write("pimu.ini", cadlink::Utf8ToCp932(original));
    w.form->FormCreate();
    EXPECT_EQ(w.form->Edit27.text, "時刻画層");
    w.form->Edit28.text = "等時間";
    w.form->FormDestroy();

    const std::string saved = cadlink::Cp932ToUtf8(w.dir.Read("pimu.ini"));
    EXPECT_EQ(saved.rfind("; written by hand\r\n[Layer]\r\nJikoku=時刻画層\r\nMine=1\r\n", 0), 0u);
    EXPECT_NE(saved.find("[Other]\r\nx=y\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Touji=等時間\r\n"), std::string::npos);
    EXPECT_TRUE(w.host.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(w.dir / "pimu.ini.tmp"));
}

TEST(Settings, UnwritableFileGivesAMessageAndKeepsTheOldFile) {
    Window w;
    w.dir.Write("pimu.ini", "[Common]\r\nido1=33\r\n");
    w.form->FormCreate();
    w.form->Edit3.text = "40";
    {
        // A file size limit of 8 bytes makes the writes fail, even for root.
        test::FileSizeLimit limit(8);
        EXPECT_THROW(w.form->WriteSettings(), FileError);
        w.form->FormDestroy();
    }
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_EQ(w.host.messages[0].owner, "Form1");
    EXPECT_EQ(w.host.messages[0].caption, "Pimu2024 Beta");
    EXPECT_NE(w.host.messages[0].text.find("設定を保存できませんでした"), std::string::npos);
    EXPECT_NE(w.host.messages[0].text.find("pimu.ini"), std::string::npos);
    EXPECT_EQ(w.dir.Read("pimu.ini"), "[Common]\r\nido1=33\r\n");
}

TEST(Settings, UnreadableFileStartsWithDefaultsAndIsNotOverwritten) {
    Window w;
    const std::string garbage = "[Common]\r\nido1=\xFF\xFF\r\n";  // neither UTF-8 nor Shift-JIS
    w.dir.Write("pimu.ini", garbage);
    w.form->FormCreate();
    EXPECT_EQ(w.form->Edit3.text, "36");
    ASSERT_EQ(w.host.messages.size(), 1u);
    w.form->FormDestroy();
    EXPECT_EQ(w.host.messages.size(), 2u);
    EXPECT_EQ(w.dir.Read("pimu.ini"), garbage);
}

TEST(Settings, FileNameFollowsTheExecutableOrTheOverride) {
    EXPECT_EQ(FormPaths("/opt/p", "pimu.exe").SettingsFile(),
              std::filesystem::path("/opt/p/pimu.ini"));
    EXPECT_EQ(FormPaths("/opt/p", "pimu-gui").SettingsFile(),
              std::filesystem::path("/opt/p/pimu-gui.ini"));
    EXPECT_EQ(FormPaths("/opt/p", "pimu", "/tmp/s.ini").SettingsFile(),
              std::filesystem::path("/tmp/s.ini"));

    TempDir dir;
    RecordingUiHost host;
    TForm1 form(FormPaths(dir.path(), "pimu", dir / "elsewhere.ini"), host);
    dir.Write("elsewhere.ini", "[Tenku]\r\nSyakudo=500\r\n");
    form.FormCreate();
    EXPECT_EQ(form.Edit19.text, "500");
}

// A value the window cannot show does not silently become another choice: a radio-group index
// outside its items and a switch that is no number keep the default, an up-down position is
// clamped to its range, and one message names each value with what the window took instead.
// Values it can show start without a message.
TEST(Settings, ValuesTheWindowCannotShowAreReplacedAndReported) {
    struct Case {
        const char *line;     // in [Section] key=value form
        const char *control;  // and its value after the start
        const char *value;
        const char *reported;  // nullptr: no message
    };
    const Case cases[] = {
        {"[Touji]\r\nkankaku2=3", "RadioGroup5", "1", "Touji/kankaku2=3 → 1 (30秒)"},
        {"[Common]\r\nkisetsu=-1", "RadioGroup1", "0", "Common/kisetsu=-1 → 0 (冬至)"},
        {"[Tenku]\r\nMenseki=abc", "RadioGroup2", "0", "Tenku/Menseki=abc → 0 (AREA)"},
        {"[Touji]\r\ntyokusen=50", "UpDown5", "20", "Touji/tyokusen=50 → 20"},
        {"[Touji]\r\ntyokusen=1", "Edit9", "2", "Touji/tyokusen=1 → 2"},
        {"[Hekimen]\r\nblock=yes", "CheckBox12", "0", "Hekimen/block=yes → 0"},
        {"[Touji]\r\nchk13=", "CheckListBox1", "1,1,1,1,1,1,1,1,1,1,1,1,1,1", "Touji/chk13= → 1"},
        {"[Common]\r\nkisetsu=\x1b[2J0123456789012345678901234567890123456789", "RadioGroup1", "0",
         "kisetsu=\\x1B[2J012345678901234567890123456789012…"},
        {"[Touji]\r\nkankaku2=2", "RadioGroup5", "2", nullptr},
        {"[Hekimen]\r\nblock=7", "CheckBox12", "1", nullptr},
        {"[Common]\r\nido1=abc", "Edit3", "abc", nullptr},
    };
    for (const Case &c : cases) {
        Window w;
        w.dir.Write("pimu.ini", std::string(c.line) + "\r\n");
        w.form->FormCreate();
        EXPECT_EQ(w.form->Value(c.control), c.value) << c.line;
        if (!c.reported) {
            EXPECT_TRUE(w.host.messages.empty()) << c.line;
            continue;
        }
        ASSERT_EQ(w.host.messages.size(), 1u) << c.line;
        EXPECT_NE(w.host.messages[0].text.find("pimu.ini"), std::string::npos);
        EXPECT_NE(w.host.messages[0].text.find(c.reported), std::string::npos)
            << w.host.messages[0].text;
    }

    // Several at once: one message, in the order of the file's keys.
    Window w;
    w.dir.Write("pimu.ini", "[Touji]\r\nkankaku3=9\r\nkankaku=9\r\n");
    w.form->FormCreate();
    ASSERT_EQ(w.host.messages.size(), 1u);
    const std::string &text = w.host.messages[0].text;
    EXPECT_LT(text.find("Touji/kankaku=9"), text.find("Touji/kankaku3=9"));
}

// Settings files as the window writes them; the bytes are the contract. A first start, every
// value changed, and a hand-edited Shift-JIS file with unknown keys, other letter case and values
// the window cannot show. Each saved file also loads and saves again unchanged.
TEST(Settings, SavedFilesMatchTheirGoldenBytes) {
    struct Case {
        const char *golden;
        std::string before;  // the file before the start; empty: none
        std::function<void(TForm1 &)> change;
    };
    const Case cases[] = {
        {"settings_first_start.ini", "", [](TForm1 &) {}},
        {"settings_every_value.ini", "",
         [](TForm1 &f) {
             int n = 0;
             for (const auto &k : kTextKeys) f.Edit(k.control).text = "v" + std::to_string(n++);
             f.Edit27.text = "時刻 画層";
             for (const auto &k : kBoolKeys) f.CheckBox(k.control).checked = !k.fallback;
             for (const auto &k : kRadioKeys) f.RadioGroup(k.control).itemIndex = 2;
             for (int i = 0; i < 14; ++i) f.CheckListBox1.checked[static_cast<size_t>(i)] = i % 2;
             f.UpDown5.position = 9;
             f.Left = 12;
             f.Top = -3;
             f.ProgID = "GCAD.Application.23";
         }},
        {"settings_hand_edited.ini",
         cadlink::Utf8ToCp932("; 手で書いた設定\r\n[tenku]\r\n syakudo = 500 \r\nExtra=keep me\r\n"
                              "[Touji]\r\nkankaku2=3\r\ntyokusen=50\r\nchk1=x\r\n\r\n"
                              "[Mine]\r\na=b\r\n[Common]\r\nkisetsu=7\r\nido1=abc\r\n"),
         [](TForm1 &f) { f.Edit28.text = "等時間"; }},
    };
    for (const Case &c : cases) {
        Window w;
        if (!c.before.empty()) w.dir.Write("pimu.ini", c.before);
        w.form->FormCreate();
        c.change(*w.form);
        w.form->FormDestroy();
        const std::string bytes = w.dir.Read("pimu.ini");
        const std::string golden = std::string(PIMU_TEST_DATA) + "/golden/" + c.golden;
        if (std::getenv("PIMU_UPDATE_GOLDEN")) std::ofstream(golden, std::ios::binary) << bytes;
        std::ifstream in(golden, std::ios::binary);
        EXPECT_EQ(bytes, std::string(std::istreambuf_iterator<char>(in), {}))
            << c.golden << ": regenerate with PIMU_UPDATE_GOLDEN=1";

        w.Restart();
        w.form->FormDestroy();
        EXPECT_EQ(w.dir.Read("pimu.ini"), bytes) << c.golden << ": load and save again";
    }
}

}  // namespace
}  // namespace pimu::app
