#include "base/quote.h"

#include <cstdio>

namespace pimu {
namespace {

// Length of the UTF-8 sequence starting at `s[i]`, or 0 when it is not well formed.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2, min = 0x80, cp = c & 0x1Fu;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3, min = 0x800, cp = c & 0x0Fu;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4, min = 0x10000, cp = c & 0x07u;
    else
        return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    // C1 control characters are shown as escapes too.
    if (cp >= 0x80 && cp < 0xA0) return 0;
    return len;
}

std::string HexEscape(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    return buf;
}

std::string Shown(std::string_view text, std::size_t maxChars, bool quoted) {
    std::string out = quoted ? "\"" : "";
    std::size_t shown = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (shown == maxChars) break;
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = Utf8Length(text, i);
        if (len == 0) {
            // A C1 control character (two bytes) or a byte that is not UTF-8: each byte shown.
            const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                            (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
            const std::size_t bytes = c1 ? 2 : 1;
            for (std::size_t k = 0; k < bytes; ++k)
                out += HexEscape(static_cast<unsigned char>(text[i + k]));
            i += bytes;
        } else if (c == '\0') {
            out += "\\0", ++i;
        } else if (c == '\r') {
            out += "\\r", ++i;
        } else if (c == '\n') {
            out += "\\n", ++i;
        } else if (c == '\t') {
            out += "\\t", ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += HexEscape(c), ++i;
        } else if (quoted && (c == '"' || c == '\\')) {
            out += '\\', out += static_cast<char>(c), ++i;
        } else {
            out.append(text.substr(i, len));
            i += len;
        }
        ++shown;
    }
    if (quoted) out += '"';
    if (i < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

}  // namespace

std::string QuoteForMessage(std::string_view text, std::size_t maxChars) {
    return Shown(text, maxChars, true);
}

std::string VisibleText(std::string_view text, std::size_t maxChars) {
    return Shown(text, maxChars, false);
}

std::string ShowControlCharacters(std::string_view message) {
    std::string out;
    std::size_t start = 0;
    while (start <= message.size()) {
        std::size_t end = message.find('\n', start);
        if (end == std::string_view::npos) end = message.size();
        out += Shown(message.substr(start, end - start), std::string_view::npos, false);
        if (end == message.size()) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

}  // namespace pimu
