#include "base/numconv.h"

#include "base/quote.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace pimu {
namespace {

std::string_view Trim(std::string_view s) {
    const char *blanks = " \t\r\n";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

// from_chars rejects a leading '+', which users do type.
std::string_view StripPlus(std::string_view s, bool &ok) {
    ok = true;
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        ok = !s.empty() && s.front() != '-' && s.front() != '+';
    }
    return s;
}

}  // namespace

InputError::InputError(std::string field, std::string text)
    : std::runtime_error("\"" + field + "\" の値 " + QuoteForMessage(text) +
                         " は数値ではありません。"),
      field_(std::move(field)),
      text_(std::move(text)) {}

bool TryParseNumber(std::string_view text, double &value) {
    bool ok = false;
    std::string_view s = StripPlus(Trim(text), ok);
    if (!ok || s.empty()) return false;
    // Only digits, sign, point and exponent: from_chars would also take "inf", "nan" and hex.
    for (char c : s) {
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!allowed) return false;
    }
    double v = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool TryParseInteger(std::string_view text, int &value) {
    bool ok = false;
    std::string_view s = StripPlus(Trim(text), ok);
    if (!ok || s.empty()) return false;
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    value = v;
    return true;
}

double ParseNumber(std::string_view text, std::string_view field) {
    double v = 0.0;
    if (!TryParseNumber(text, v)) throw InputError(std::string(field), std::string(text));
    return v;
}

int ParseInteger(std::string_view text, std::string_view field) {
    int v = 0;
    if (!TryParseInteger(text, v)) throw InputError(std::string(field), std::string(text));
    return v;
}

}  // namespace pimu
