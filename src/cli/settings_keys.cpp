#include "cli/settings_keys.h"

#include <map>

#include "app/settings.h"
#include "base/ascii.h"

namespace pimu::cli {
namespace {

struct About {
    SettingKind kind;
    const char *field;
    const char *what;
    const char *option = "";
};

// What the command line says about each key of the window's settings file.
const std::map<std::string, About> &Abouts() {
    static const std::map<std::string, About> abouts = {
        {"Form/Left", {SettingKind::Number, "", "window position (not used by the command line)"}},
        {"Form/Top", {SettingKind::Number, "", "window position (not used by the command line)"}},
        {"Common/ido1", {SettingKind::Number, "緯度 度", "latitude, degrees", "--latitude D,M,S"}},
        {"Common/ido2", {SettingKind::Number, "緯度 分", "latitude, minutes", "--latitude D,M,S"}},
        {"Common/ido3", {SettingKind::Number, "緯度 秒", "latitude, seconds", "--latitude D,M,S"}},
        {"Common/makita",
         {SettingKind::Number, "真北",
          "direction of north in the drawing, degrees counter-clockwise from +x (90 = up)",
          "--north"}},
        {"Common/takasa",
         {SettingKind::Number, "測定面の高さ",
          "measurement plane height in metres (time-of-day and isochrones)", "--plane-height"}},
        {"Tokutei/takasa",
         {SettingKind::Number, "特定点 測定面の高さ", "plane height of specific points, metres",
          "--plane-height (points)"}},
        {"Common/takasa2",
         {SettingKind::Number, "文字高さ", "text height of the labels in drawing units (mm)",
          "--text-height"}},
        {"Common/kisetsu",
         {SettingKind::Choice, "冬至/秋春/夏至",
          "the day: 0 winter solstice, 1 equinox, 2 summer solstice", "--season"}},
        {"Common/Jimen",
         {SettingKind::Switch, "浮いた建物も地面から",
          "1: every volume stands on the ground (a raised one casts as if solid down to it)",
          "--volumes-on-ground"}},
        {"Jikoku/NotHoui",
         {SettingKind::Switch, "時刻のみ記入", "time-of-day labels without the sun's azimuth"}},
        {"Jikoku/kaishi", {SettingKind::Number, "時刻", "first hour (8.5 = 8:30)", "--start"}},
        {"Jikoku/owari", {SettingKind::Number, "～ 時", "last hour", "--end"}},
        {"Jikoku/kankaku",
         {SettingKind::Number, "間隔", "time step of the time-of-day diagram, hours",
          "--interval"}},
        {"Jikoku/keido", {SettingKind::Number, "経度", "longitude for true solar time"}},
        {"Jikoku/kinjisa", {SettingKind::Number, "均時差", "equation of time, minutes"}},
        {"Touji/kankaku",
         {SettingKind::Choice, "評価時間 (特定点)",
          "evaluation interval of specific points: 0 10 s, 1 30 s, 2 60 s", "--step (points)"}},
        {"Touji/kankaku2",
         {SettingKind::Choice, "評価時間 (等時間)",
          "evaluation interval of the isochrones: 0 10 s, 1 30 s, 2 60 s", "--step"}},
        {"Touji/kankaku3",
         {SettingKind::Choice, "評価時間 (壁面)",
          "evaluation interval of the wall isochrones: 0 10 s, 1 30 s, 2 60 s"}},
        {"Touji/tyokusen", {SettingKind::Choice, "ｽﾑｰｼﾞﾝｸﾞ係数", "smoothing factor, 2 to 20"}},
        {"Touji/tyokuchk", {SettingKind::Switch, "ｽﾑｰｼﾞﾝｸﾞ係数", "smooth the isochronal lines"}},
        {"Hekimen/senjou", {SettingKind::Switch, "壁線上に描く", "wall drawings on the wall line"}},
        {"Hekimen/block", {SettingKind::Switch, "ブロックとして作成", "wall drawings as a block"}},
        {"Tenku/Takasa", {SettingKind::Number, "測定面高さ", "sky map measurement height, metres"}},
        {"Tenku/Menseki",
         {SettingKind::Choice, "求積対象", "area target: 0 AREA, 1 計画建物, 2 適合建物"}},
        {"Tenku/Hankei", {SettingKind::Number, "半径 (A)", "sky map radius on paper, mm, type A"}},
        {"Tenku/Kyuseki", {SettingKind::Switch, "求積表 (A)", "area table, type A"}},
        {"Tenku/Syakudo", {SettingKind::Number, "図面の尺度", "drawing scale denominator"}},
        {"Tenku/Moji", {SettingKind::Number, "文字 (A)", "text height on paper, mm, type A"}},
        {"Tenku/tateiti", {SettingKind::Switch, "位置表 (A)", "position table, type A"}},
        {"Tenku/HankeiB", {SettingKind::Number, "半径 (B)", "sky map radius on paper, mm, type B"}},
        {"Tenku/KyusekiB", {SettingKind::Switch, "求積表 (B)", "area table, type B"}},
        {"Tenku/MojiB", {SettingKind::Number, "文字 (B)", "text height on paper, mm, type B"}},
        {"Tenku/tateitiB", {SettingKind::Switch, "位置表 (B)", "position table, type B"}},
        {"Tenku/NextRow", {SettingKind::Switch, "↓", "batch drawings go to the next row"}},
        {"Tenku/MemoriB", {SettingKind::Number, "目盛 (B)", "tick interval, degrees, type B"}},
        {"Tenku/HatchB", {SettingKind::Number, "ﾊｯﾁ (B)", "hatch setting, type B"}},
        {"Tenku/Memori", {SettingKind::Number, "目盛 (A)", "tick interval, degrees, type A"}},
        {"Tenku/Hatch", {SettingKind::Number, "ﾊｯﾁ (A)", "hatch setting, type A"}},
        {"Layer/Jikoku", {SettingKind::Text, "画層 時刻", "layer of the time-of-day diagram"}},
        {"Layer/Touji", {SettingKind::Text, "画層 等時間", "layer of the isochrones"}},
        {"Layer/Hjikoku", {SettingKind::Text, "画層 壁面", "layer of the wall shadow lines"}},
        {"Layer/Hwaku", {SettingKind::Text, "画層 (枠)", "layer of the wall frame"}},
        {"Layer/Htouji", {SettingKind::Text, "画層 (等時)", "layer of the wall isochrones"}},
        {"Layer/Nini", {SettingKind::Text, "画層 特定点", "layer of the specific points"}},
        {"Layer/Tenku", {SettingKind::Text, "画層 天空図", "layer of the sky maps"}},
        {"Layer/Tmemori", {SettingKind::Text, "画層 (目盛)", "layer of the sky map ticks"}},
        {"Layer/Thatch", {SettingKind::Text, "画層 (ﾊｯﾁ)", "layer of the sky map hatch"}},
        {"Layer/Tsansya", {SettingKind::Text, "画層 (三斜)", "layer of the area triangles"}},
        {"Layer/Ttateiti", {SettingKind::Text, "画層 (位置)", "layer of the position tables"}},
        {"Tenku/IkkatsuA", {SettingKind::Number, "一括作図のXピッチ (A)", "batch X pitch, type A"}},
        {"Tenku/IkkatsuB", {SettingKind::Number, "一括作図のXピッチ (B)", "batch X pitch, type B"}},
        {"Tenku/Kaiten", {SettingKind::Switch, "天空図回転", "turn the sky map to true north"}},
        {"Kisei/chiiki",
         {SettingKind::Choice, "用途地域",
          "zone of the shadow-regulation check: item index (the last one: limits typed in)",
          "--zone / --limits"}},
        {"Kisei/jikan5",
         {SettingKind::Number, "5m～10m 時間",
          "regulation check, limits typed in: hours allowed between the 5 m and 10 m lines",
          "--limits H1,H2"}},
        {"Kisei/jikan10",
         {SettingKind::Number, "10m超 時間",
          "regulation check, limits typed in: hours allowed beyond the 10 m line",
          "--limits H1,H2"}},
        {"Kisei/takasa",
         {SettingKind::Number, "測定面 (規制)",
          "regulation check, limits typed in: measurement plane height, metres",
          "--plane-height (regulation)"}},
        {"Kisei/kankaku",
         {SettingKind::Number, "計算間隔 (規制)", "sampling step of the regulation check, minutes",
          "--step (regulation)"}},
        {"Target/ProgID", {SettingKind::Text, "ターゲットCAD", "the CAD the window works with"}},
        {"Bairitsu/useDMS",
         {SettingKind::Switch, "度、分、秒で表示", "ratio table in degrees, minutes, seconds",
          "--dms"}},
        {"Bairitsu/wdigit",
         {SettingKind::Switch, "小数点以下 3 桁", "ratio table with three decimals",
          "--three-decimals"}},
    };
    return abouts;
}

std::vector<SettingKey> MakeKeys() {
    std::vector<SettingKey> keys;
    for (const app::SettingName &n : app::SettingsWriteOrder()) {
        SettingKey k;
        k.section = n.section;
        k.key = n.key;
        const auto about = Abouts().find(k.Name());
        if (about != Abouts().end()) {
            k.kind = about->second.kind;
            k.field = about->second.field;
            k.what = about->second.what;
            k.option = about->second.option;
        } else if (n.section == "Touji" && n.key.starts_with("chk")) {
            const int item = std::stoi(n.key.substr(3));
            const std::string hour =
                std::to_string(1 + (item + 1) / 2) + ((item + 1) % 2 ? ".5" : ".0");
            k.kind = SettingKind::Switch;
            k.field = hour + "Hr";
            k.what = "draw the " + hour + " h isochrone";
            k.option = "--hours";
        } else {
            k.what = "(kept for the window)";
        }
        keys.push_back(std::move(k));
    }
    keys.push_back({std::string(kBuildingLayersSection), std::string(kBuildingLayersKey),
                    SettingKind::Text, "",
                    "building layers when --buildings is not given, comma separated (command "
                    "line only)",
                    "--buildings"});
    return keys;
}

}  // namespace

const std::vector<SettingKey> &SettingKeys() {
    static const std::vector<SettingKey> keys = MakeKeys();
    return keys;
}

const SettingKey *FindSettingKey(std::string_view section, std::string_view key) {
    for (const SettingKey &k : SettingKeys())
        if (UpperAscii(k.section) == UpperAscii(section) && UpperAscii(k.key) == UpperAscii(key))
            return &k;
    return nullptr;
}

}  // namespace pimu::cli
