// The platform's half of textcodec.h: the raw conversion between UTF-8 and CP932. iconv on
// POSIX (textcodec_iconv.cpp), the Win32 code-page functions on Windows (textcodec_win32.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pimu::cadlink {

enum class TextDirection { Utf8ToCp932, Cp932ToUtf8 };

// Converts all of `in` into `out`. On a sequence that cannot be converted returns false with
// `badOffset` at its first byte; `out` then holds an unspecified prefix.
bool ConvertText(TextDirection direction, std::string_view in, std::string &out,
                 std::size_t &badOffset);

}  // namespace pimu::cadlink
