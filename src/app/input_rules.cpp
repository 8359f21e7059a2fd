#include "app/input_rules.h"

#include <charconv>
#include <cmath>
#include <map>
#include <utility>

#include "base/numconv.h"

namespace pimu::app {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    const char *blanks = " \t";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

const std::map<std::string, FieldKeyRule, std::less<>> &KeyRules() {
    static const auto rules = [] {
        std::map<std::string, FieldKeyRule, std::less<>> m;
        auto add = [&m](std::initializer_list<const char *> fields, KeyClass k, EnterRule e,
                        const char *next = "") {
            for (const char *f : fields) m[f] = FieldKeyRule{k, e, next};
        };
        add({"Edit3"}, KeyClass::Whole, EnterRule::Focus, "Edit5");
        add({"Edit5"}, KeyClass::Whole, EnterRule::Focus, "Edit23");
        add({"Edit12", "Edit43", "Edit44"}, KeyClass::Signed, EnterRule::Focus, "Edit2");
        add({"Edit2"}, KeyClass::Decimal, EnterRule::Focus, "Edit7");
        add({"Edit7"}, KeyClass::Decimal, EnterRule::Focus, "Edit11");
        add({"Edit11"}, KeyClass::Decimal, EnterRule::Focus, "Edit4");
        add({"Edit4", "Edit6", "Edit19", "Edit18", "Edit20", "Edit22"}, KeyClass::Decimal,
            EnterRule::Discard);
        add({"Edit17"}, KeyClass::Signed, EnterRule::Discard);
        add({"Edit15", "Edit13", "Edit21", "Edit24", "Edit25"}, KeyClass::Whole,
            EnterRule::Discard);
        add({"Edit26"}, KeyClass::Signed, EnterRule::Handler);
        // The converter's fields only take digits (a property of the field, not a key handler).
        add({"Edit46", "Edit47", "Edit48"}, KeyClass::Whole, EnterRule::Pass);
        return m;
    }();
    return rules;
}

double NumberOrZero(std::string_view text) {
    double v = 0.0;
    return TryParseNumber(text, v) ? v : 0.0;
}

std::string TwoDigits(long long v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

}  // namespace

FieldKeyRule KeyRuleOf(std::string_view field) {
    const auto &rules = KeyRules();
    const auto it = rules.find(field);
    return it == rules.end() ? FieldKeyRule{} : it->second;
}

bool AcceptsKey(KeyClass keys, char32_t key) {
    if (keys == KeyClass::Any) return true;
    if ((key >= U'0' && key <= U'9') || key == kKeyBackspace || key == kKeyEnter) return true;
    if (key == U'.') return keys == KeyClass::Decimal || keys == KeyClass::Signed;
    if (key == U'-') return keys == KeyClass::Signed;
    return false;
}

std::string Between(std::string_view start, std::string_view stop, std::string_view s) {
    const auto at = s.rfind(start);
    if (start.empty() || at == std::string_view::npos) return {};
    const std::string_view rest = s.substr(at + start.size());
    const auto end = rest.find(stop);
    if (end == std::string_view::npos || end == 0) return {};
    return std::string(TrimBlanks(rest.substr(0, end)));
}

LatitudeTexts LatitudeOfCityLine(std::string_view line) {
    LatitudeTexts t{Between(",", "°", line), Between("°", "′", line), Between("′", "″", line)};
    if (t.degrees.empty()) t.degrees = "36";
    if (t.minutes.empty()) t.minutes = "00";
    if (t.seconds.empty()) t.seconds = "00";
    return t;
}

const std::vector<std::string> &BuiltInCityLines() {
    // Latitude of each prefectural office (geodetic, JGD2011) cut to whole minutes.
    static const std::pair<const char *, const char *> cities[] = {
        {"基準", "36°00′"}, {"北海道", "43°03′"}, {"青森", "40°49′"},   {"岩手", "39°42′"},
        {"宮城", "38°16′"}, {"秋田", "39°43′"},   {"山形", "38°14′"},   {"福島", "37°45′"},
        {"茨城", "36°20′"}, {"栃木", "36°33′"},   {"群馬", "36°23′"},   {"埼玉", "35°51′"},
        {"千葉", "35°36′"}, {"東京", "35°41′"},   {"神奈川", "35°26′"}, {"新潟", "37°54′"},
        {"富山", "36°41′"}, {"石川", "36°35′"},   {"福井", "36°03′"},   {"山梨", "35°39′"},
        {"長野", "36°39′"}, {"岐阜", "35°23′"},   {"静岡", "34°58′"},   {"愛知", "35°10′"},
        {"三重", "34°43′"}, {"滋賀", "35°00′"},   {"京都", "35°01′"},   {"大阪", "34°41′"},
        {"兵庫", "34°41′"}, {"奈良", "34°41′"},   {"和歌山", "34°13′"}, {"鳥取", "35°30′"},
        {"島根", "35°28′"}, {"岡山", "34°39′"},   {"広島", "34°23′"},   {"山口", "34°11′"},
        {"徳島", "34°03′"}, {"香川", "34°20′"},   {"愛媛", "33°50′"},   {"高知", "33°33′"},
        {"福岡", "33°36′"}, {"佐賀", "33°14′"},   {"長崎", "32°44′"},   {"熊本", "32°47′"},
        {"大分", "33°14′"}, {"宮崎", "31°54′"},   {"鹿児島", "31°33′"}, {"沖縄", "26°12′"},
    };
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> v;
        for (const auto &[name, lat] : cities) {
            // Names are full-width characters (3 bytes each in UTF-8); pad with half-width
            // blanks to the width of three full-width characters.
            const size_t chars = std::string_view(name).size() / 3;
            v.push_back(std::string(name) + std::string(2 * (3 - chars), ' ') + "," + lat);
        }
        return v;
    }();
    return lines;
}

std::string DmsToDecimalText(std::string_view deg, std::string_view min, std::string_view sec) {
    const double value = NumberOrZero(deg) + NumberOrZero(min) / 60.0 + NumberOrZero(sec) / 3600.0;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 4);
    return std::string(buf, res.ptr);
}

LatitudeTexts DecimalToDmsTexts(std::string_view decimal) {
    const double v = NumberOrZero(decimal);
    // Work on the magnitude and allow for the binary form of the decimal text: 1.15 is stored as
    // 1.1499999..., which plain truncation would show as 1°08′59″.
    const double a = std::fabs(v);
    const double eps = 1e-9;
    const long long d = static_cast<long long>(std::floor(a + eps));
    const long long m = static_cast<long long>(std::floor((a - d) * 60.0 + eps));
    long long s = static_cast<long long>(std::floor((a - d) * 3600.0 - m * 60.0 + 1e-6));
    if (s < 0) s = 0;
    const long long sign = v < 0 ? -1 : 1;
    const auto signedText = [sign](long long x) { return x == 0 ? 0 : sign * x; };
    return {std::to_string(signedText(d)), TwoDigits(signedText(m)), TwoDigits(signedText(s))};
}

std::string GridAsTabText(const TStringGrid &grid) {
    std::string text;
    for (int r = 0; r < grid.RowCount(); ++r) {
        for (int c = 0; c < grid.ColCount(); ++c) {
            if (c > 0) text += '\t';
            text += grid.Cell(c, r);
        }
        text += "\r\n";
    }
    return text;
}

void ReverseGridRows(TStringGrid &grid) {
    int top = 1;
    int bottom = grid.RowCount() - 1;
    while (top < bottom) std::swap(grid.Row(top++), grid.Row(bottom--));
}

}  // namespace pimu::app
