#include "cadlink/textcodec.h"

#include <cstdio>

#include "cadlink/textcodec_convert.h"

namespace pimu::cadlink {

std::string Utf8ToCp932(std::string_view utf8) {
    std::string out;
    size_t bad = 0;
    if (!ConvertText(TextDirection::Utf8ToCp932, utf8, out, bad)) {
        // Quote the character that failed (up to its UTF-8 length).
        size_t len = 1;
        const unsigned char lead = static_cast<unsigned char>(utf8[bad]);
        if (lead >= 0xF0)
            len = 4;
        else if (lead >= 0xE0)
            len = 3;
        else if (lead >= 0xC0)
            len = 2;
        throw TextCodecError("文字 \"" + std::string(utf8.substr(bad, len)) +
                             "\" は Shift-JIS で書き出せません。");
    }
    return out;
}

std::string Cp932ToUtf8(std::string_view cp932) {
    std::string out;
    size_t bad = 0;
    if (!ConvertText(TextDirection::Cp932ToUtf8, cp932, out, bad)) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "invalid Shift-JIS byte sequence at byte %zu", bad);
        throw TextCodecError(msg);
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = 0;
        unsigned int cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else
            return false;
        for (size_t k = 1; k <= n; ++k) {
            if (i + k >= text.size()) return false;
            const unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += n + 1;
    }
    return true;
}

}  // namespace pimu::cadlink
