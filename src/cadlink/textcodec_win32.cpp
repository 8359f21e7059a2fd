// UTF-8 <-> CP932 through the Win32 code-page functions (MultiByteToWideChar and
// WideCharToMultiByte over UTF-16), strict both ways: no best-fit mapping, no replacement
// characters. Where a whole text fails, it is converted again one character at a time to find
// the first one that does not convert.
#include <windows.h>

#include <algorithm>

#include "cadlink/textcodec_convert.h"

namespace pimu::cadlink {
namespace {

constexpr UINT kCp932 = 932;

bool ToWide(UINT codePage, std::string_view in, std::wstring &out) {
    out.clear();
    if (in.empty()) return true;
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                                      static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                               static_cast<int>(in.size()), out.data(), n) == n;
}

bool FromWide(UINT codePage, std::wstring_view in, std::string &out) {
    out.clear();
    if (in.empty()) return true;
    const bool utf8 = codePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()),
                                      nullptr, 0, nullptr, utf8 ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.resize(static_cast<std::size_t>(n));
    return WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(),
                               n, nullptr, utf8 ? nullptr : &usedDefault) == n &&
           !usedDefault;
}

bool Convert(UINT from, UINT to, std::string_view in, std::string &out) {
    std::wstring wide;
    return ToWide(from, in, wide) && FromWide(to, wide, out);
}

// The byte length of the character that starts at `in[i]`.
std::size_t CharLength(TextDirection direction, std::string_view in, std::size_t i) {
    const unsigned char lead = static_cast<unsigned char>(in[i]);
    std::size_t len = 1;
    if (direction == TextDirection::Cp932ToUtf8) {
        len = IsDBCSLeadByteEx(kCp932, lead) ? 2 : 1;
    } else if (lead >= 0xF0) {
        len = 4;
    } else if (lead >= 0xE0) {
        len = 3;
    } else if (lead >= 0xC0) {
        len = 2;
    }
    return std::min(len, in.size() - i);
}

}  // namespace

bool ConvertText(TextDirection direction, std::string_view in, std::string &out,
                 std::size_t &badOffset) {
    const UINT from = direction == TextDirection::Utf8ToCp932 ? CP_UTF8 : kCp932;
    const UINT to = direction == TextDirection::Utf8ToCp932 ? kCp932 : CP_UTF8;
    if (Convert(from, to, in, out)) return true;
    out.clear();
    std::string piece;
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t len = CharLength(direction, in, i);
        if (!Convert(from, to, in.substr(i, len), piece)) {
            badOffset = i;
            return false;
        }
        out += piece;
        i += len;
    }
    return true;  // every character converts on its own
}

}  // namespace pimu::cadlink
