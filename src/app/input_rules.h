// Input rules of the main window's fields and the small tools that work on controls only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/controls.h"

namespace pimu::app {

inline constexpr char32_t kKeyBackspace = U'\b';
inline constexpr char32_t kKeyEnter = U'\r';

// Which single keys a field accepts. The filter looks at one key at a time: pasted text, a second
// point or a minus sign in the middle are not its business (the command's conversion is).
enum class KeyClass {
    Any,      // no filter
    Whole,    // digits, Backspace, Enter
    Decimal,  // digits, ".", Backspace, Enter
    Signed,   // digits, ".", "-", Backspace, Enter
};

enum class EnterRule {
    Pass,     // the field's own handling (fields without a filter)
    Discard,  // Enter is swallowed
    Focus,    // Enter moves the focus to `next`
    Handler,  // the field's command handles Enter (Edit26)
};

struct FieldKeyRule {
    KeyClass keys = KeyClass::Any;
    EnterRule enter = EnterRule::Pass;
    std::string next;  // for EnterRule::Focus
};

// The rule of a main-window field by component name; fields without one take any key.
FieldKeyRule KeyRuleOf(std::string_view field);
bool AcceptsKey(KeyClass keys, char32_t key);

// Text between the last `start` and the first `stop` after it, blanks trimmed; empty when `start`
// is missing, `stop` does not follow, or follows at once.
std::string Between(std::string_view start, std::string_view stop, std::string_view s);

// The latitude fields (degrees, minutes, seconds) a city line fills in.
struct LatitudeTexts {
    std::string degrees;
    std::string minutes;
    std::string seconds;
};
LatitudeTexts LatitudeOfCityLine(std::string_view line);

// The 48 built-in lines of the city list: a reference line and the 47 prefectures with the
// latitude of the prefectural office.
const std::vector<std::string> &BuiltInCityLines();

// The degree converter. ">" : degrees, minutes and seconds to "%.4f" decimal degrees; "<" : back.
std::string DmsToDecimalText(std::string_view deg, std::string_view min, std::string_view sec);
LatitudeTexts DecimalToDmsTexts(std::string_view decimal);

// Every row, header included, cells joined by tabs, each row ended by CR LF.
std::string GridAsTabText(const TStringGrid &grid);
// Reverses the data rows 1 .. last; the header row stays.
void ReverseGridRows(TStringGrid &grid);

}  // namespace pimu::app
