#include "app/settings.h"

#include <algorithm>

#include "app/form.h"
#include "app/inifile.h"
#include "base/numconv.h"

namespace pimu::app {
namespace {

enum class Kind { Text, Radio, UpDown, Check, CheckListItem, FormLeft, FormTop, ProgId };

struct Setting {
    const char *section;
    const char *key;
    Kind kind;
    std::string fallback;  // text, or the integer / boolean as "0" / "1"
    Control *control = nullptr;
    int item = 0;  // CheckListItem: the item
};

// The keys in the order they are read. The defaults here, not the texts the controls carry,
// are what a missing key gives.
std::vector<Setting> Settings(TForm1 &f) {
    std::vector<Setting> s = {
        {"Form", "Left", Kind::FormLeft, ""},
        {"Form", "Top", Kind::FormTop, ""},
        {"Common", "ido1", Kind::Text, "36", &f.Edit3},
        {"Common", "ido2", Kind::Text, "0", &f.Edit5},
        {"Common", "ido3", Kind::Text, "0", &f.Edit23},
        {"Common", "makita", Kind::Text, "90.0", &f.Edit12},
        {"Common", "takasa", Kind::Text, "4.0", &f.Edit4},
        {"Tokutei", "takasa", Kind::Text, "0.0", &f.Edit6},
        {"Common", "takasa2", Kind::Text, "300.0", &f.Edit38},
        {"Common", "kisetsu", Kind::Radio, "0", &f.RadioGroup1},
        {"Jikoku", "NotHoui", Kind::Check, "1", &f.CheckBox11},
        {"Jikoku", "kaishi", Kind::Text, "8.0", &f.Edit2},
        {"Jikoku", "owari", Kind::Text, "16.0", &f.Edit7},
        {"Jikoku", "kankaku", Kind::Text, "1.0", &f.Edit11},
        {"Jikoku", "keido", Kind::Text, "135.0", &f.Edit43},
        {"Jikoku", "kinjisa", Kind::Text, "1.896", &f.Edit44},
    };
    static const char *chk[] = {"chk0", "chk1", "chk2", "chk3",  "chk4",  "chk5",  "chk6",
                                "chk7", "chk8", "chk9", "chk10", "chk11", "chk12", "chk13"};
    for (int i = 0; i < 14; ++i)
        s.push_back({"Touji", chk[i], Kind::CheckListItem, "1", &f.CheckListBox1, i});
    const std::vector<Setting> rest = {
        {"Touji", "kankaku", Kind::Radio, "1", &f.RadioGroup3},
        {"Touji", "kankaku2", Kind::Radio, "1", &f.RadioGroup5},
        {"Touji", "kankaku3", Kind::Radio, "1", &f.RadioGroup6},
        {"Touji", "tyokusen", Kind::UpDown, "4", &f.UpDown5},
        {"Touji", "tyokuchk", Kind::Check, "1", &f.CheckBox8},
        {"Hekimen", "senjou", Kind::Check, "1", &f.CheckBox4},
        {"Hekimen", "block", Kind::Check, "0", &f.CheckBox12},
        {"Tenku", "Takasa", Kind::Text, "0", &f.Edit17},
        {"Tenku", "Menseki", Kind::Radio, "0", &f.RadioGroup2},
        {"Tenku", "Hankei", Kind::Text, "25", &f.Edit15},
        {"Tenku", "Kyuseki", Kind::Check, "1", &f.CheckBox3},
        {"Tenku", "Syakudo", Kind::Text, "200", &f.Edit19},
        {"Tenku", "Moji", Kind::Text, "3.0", &f.Edit20},
        {"Tenku", "tateiti", Kind::Check, "1", &f.CheckBox5},
        {"Tenku", "HankeiB", Kind::Text, "100", &f.Edit21},
        {"Tenku", "NextRow", Kind::Check, "0", &f.CheckBox9},
        {"Tenku", "MemoriB", Kind::Text, "10", &f.Edit24},
        {"Tenku", "HatchB", Kind::Text, "2", &f.Edit25},
        {"Tenku", "Memori", Kind::Text, "0", &f.Edit13},
        {"Tenku", "Hatch", Kind::Text, "0", &f.Edit18},
        {"Tenku", "KyusekiB", Kind::Check, "1", &f.CheckBox6},
        {"Tenku", "MojiB", Kind::Text, "10.0", &f.Edit22},
        {"Tenku", "tateitiB", Kind::Check, "1", &f.CheckBox7},
        {"Layer", "Jikoku", Kind::Text, "PIMU_JIKOKU", &f.Edit27},
        {"Layer", "Touji", Kind::Text, "PIMU_TOUJI", &f.Edit28},
        {"Layer", "Hjikoku", Kind::Text, "PIMU_HJIKOKU", &f.Edit31},
        {"Layer", "Hwaku", Kind::Text, "PIMU_HWAKU", &f.Edit30},
        {"Layer", "Htouji", Kind::Text, "PIMU_HTOJI", &f.Edit29},
        {"Layer", "Nini", Kind::Text, "PIMU_NINI", &f.Edit32},
        {"Layer", "Tenku", Kind::Text, "PIMU_TENKU", &f.Edit33},
        {"Layer", "Tmemori", Kind::Text, "PIMU_TMEMORI", &f.Edit34},
        {"Layer", "Thatch", Kind::Text, "PIMU_THATCH", &f.Edit35},
        {"Layer", "Tsansya", Kind::Text, "PIMU_TSANSYA", &f.Edit36},
        {"Layer", "Ttateiti", Kind::Text, "PIMU_TTATEITI", &f.Edit37},
        {"Tenku", "IkkatsuA", Kind::Text, "75", &f.Edit8},
        {"Tenku", "IkkatsuB", Kind::Text, "300", &f.Edit40},
        {"Bairitsu", "useDMS", Kind::Check, "0", &f.CheckBox14},
        {"Bairitsu", "wdigit", Kind::Check, "0", &f.CheckBox15},
        {"Tenku", "Kaiten", Kind::Check, "1", &f.CheckBox10},
        {"Target", "ProgID", Kind::ProgId, kDefaultProgID},
    };
    s.insert(s.end(), rest.begin(), rest.end());
    return s;
}

bool SameKey(const Setting &s, const SettingName &n) {
    return n.section == s.section && n.key == s.key;
}

}  // namespace

const std::vector<SettingName> &SettingsWriteOrder() {
    static const std::vector<SettingName> order = [] {
        std::vector<SettingName> o = {
            {"Form", "Left"},      {"Form", "Top"},       {"Common", "ido1"},
            {"Common", "ido2"},    {"Common", "ido3"},    {"Common", "makita"},
            {"Common", "takasa"},  {"Tokutei", "takasa"}, {"Common", "takasa2"},
            {"Common", "kisetsu"}, {"Jikoku", "NotHoui"}, {"Jikoku", "kaishi"},
            {"Jikoku", "owari"},   {"Jikoku", "kankaku"}, {"Jikoku", "keido"},
            {"Jikoku", "kinjisa"},
        };
        for (int i = 0; i < 14; ++i) o.push_back({"Touji", "chk" + std::to_string(i)});
        const std::vector<SettingName> rest = {
            {"Touji", "kankaku"},   {"Touji", "kankaku2"}, {"Touji", "kankaku3"},
            {"Touji", "tyokusen"},  {"Touji", "tyokuchk"}, {"Hekimen", "senjou"},
            {"Hekimen", "block"},   {"Tenku", "Takasa"},   {"Tenku", "Menseki"},
            {"Tenku", "Hankei"},    {"Tenku", "Kyuseki"},  {"Tenku", "Syakudo"},
            {"Tenku", "Moji"},      {"Tenku", "tateiti"},  {"Tenku", "HankeiB"},
            {"Tenku", "KyusekiB"},  {"Tenku", "MojiB"},    {"Tenku", "tateitiB"},
            {"Tenku", "NextRow"},   {"Tenku", "MemoriB"},  {"Tenku", "HatchB"},
            {"Tenku", "Memori"},    {"Tenku", "Hatch"},    {"Layer", "Jikoku"},
            {"Layer", "Touji"},     {"Layer", "Hjikoku"},  {"Layer", "Hwaku"},
            {"Layer", "Htouji"},    {"Layer", "Nini"},     {"Layer", "Tenku"},
            {"Layer", "Tmemori"},   {"Layer", "Thatch"},   {"Layer", "Tsansya"},
            {"Layer", "Ttateiti"},  {"Tenku", "IkkatsuA"}, {"Tenku", "IkkatsuB"},
            {"Tenku", "Kaiten"},    {"Target", "ProgID"},  {"Bairitsu", "useDMS"},
            {"Bairitsu", "wdigit"},
        };
        o.insert(o.end(), rest.begin(), rest.end());
        return o;
    }();
    return order;
}

void TForm1::ReadSettings() {
    IniFile ini;
    try {
        ini = IniFile::Load(paths_.SettingsFile());
    } catch (const FileError &e) {
        // Start with the defaults; the unreadable file is left alone until the next save.
        ShowMessage(std::string(e.what()) + "\n既定の設定で起動します．");
    }

    const ScreenSize screen = host_.Screen();
    const int centredLeft = (screen.width - Width) / 2;
    const int centredTop = (screen.height - Height) / 2;

    for (const Setting &s : Settings(*this)) {
        switch (s.kind) {
            case Kind::FormLeft:
                Left = ini.ReadInteger(s.section, s.key, centredLeft);
                break;
            case Kind::FormTop:
                Top = ini.ReadInteger(s.section, s.key, centredTop);
                break;
            case Kind::Text:
                static_cast<TEdit *>(s.control)->text =
                    ini.ReadString(s.section, s.key, s.fallback);
                break;
            case Kind::Radio: {
                auto *r = static_cast<TRadioGroup *>(s.control);
                const int fallback = std::stoi(s.fallback);
                const int v = ini.ReadInteger(s.section, s.key, fallback);
                const bool offered = v >= 0 && v < static_cast<int>(r->items.size());
                r->itemIndex = offered ? v : fallback;
                // A choice the window does not offer is refused, not quietly replaced.
                if (!offered)
                    ShowMessage(std::string("設定 ") + s.section + "/" + s.key + " = " +
                                std::to_string(v) + " は選べる値（0 ～ " +
                                std::to_string(r->items.size() - 1) + "）ではありません．既定の " +
                                s.fallback + " を使います．");
                break;
            }
            case Kind::UpDown:
                SetUpDownPosition(*static_cast<TUpDown *>(s.control),
                                  ini.ReadInteger(s.section, s.key, std::stoi(s.fallback)));
                break;
            case Kind::Check:
                static_cast<TCheckBox *>(s.control)->checked =
                    ini.ReadBool(s.section, s.key, s.fallback == "1");
                break;
            case Kind::CheckListItem:
                CheckListBox1.checked[static_cast<size_t>(s.item)] =
                    ini.ReadBool(s.section, s.key, s.fallback == "1");
                break;
            case Kind::ProgId: {
                const std::string id = ini.ReadString(s.section, s.key, s.fallback);
                // An empty class string could reach no CAD at all.
                ProgID = id.empty() ? s.fallback : id;
                break;
            }
        }
    }

    if (screen.width < Left + Width) Left = centredLeft;
    if (screen.height < Top + Height) Top = centredTop;
    RadioGroup4.itemIndex = RadioGroup2.itemIndex;

    // The true-solar-time tools start from these; a text that is not a number keeps the default.
    double v = 0.0;
    Longitude = TryParseNumber(Edit43.text, v) ? v : 135.0;
    EqOfTime = TryParseNumber(Edit44.text, v) ? v : 1.896;
}

void TForm1::WriteSettings() {
    const auto path = paths_.SettingsFile();
    // Start from the file as it is so that keys Pimu does not know survive.
    IniFile ini = IniFile::Load(path);
    const std::vector<Setting> settings = Settings(*this);
    for (const SettingName &name : SettingsWriteOrder()) {
        const auto it = std::find_if(settings.begin(), settings.end(),
                                     [&](const Setting &s) { return SameKey(s, name); });
        const Setting &s = *it;
        switch (s.kind) {
            case Kind::FormLeft:
                ini.WriteInteger(s.section, s.key, Left);
                break;
            case Kind::FormTop:
                ini.WriteInteger(s.section, s.key, Top);
                break;
            case Kind::Text:
                ini.Write(s.section, s.key, static_cast<TEdit *>(s.control)->text);
                break;
            case Kind::Radio:
                ini.WriteInteger(s.section, s.key,
                                 static_cast<TRadioGroup *>(s.control)->itemIndex);
                break;
            case Kind::UpDown:
                ini.WriteInteger(s.section, s.key, static_cast<TUpDown *>(s.control)->position);
                break;
            case Kind::Check:
                ini.WriteBool(s.section, s.key, static_cast<TCheckBox *>(s.control)->checked);
                break;
            case Kind::CheckListItem:
                ini.WriteBool(s.section, s.key, CheckListBox1.checked[static_cast<size_t>(s.item)]);
                break;
            case Kind::ProgId:
                ini.Write(s.section, s.key, ProgID);
                break;
        }
    }
    ini.Save(path);
}

}  // namespace pimu::app
