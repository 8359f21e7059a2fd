// Conversion between the program's UTF-8 and the Shift-JIS (CP932) text of Japanese CAD files.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pimu::cadlink {

class TextCodecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// UTF-8 -> CP932. A character that CP932 cannot hold throws TextCodecError naming it.
std::string Utf8ToCp932(std::string_view utf8);

// CP932 -> UTF-8. Bytes that are not valid CP932 throw TextCodecError with their offset.
std::string Cp932ToUtf8(std::string_view cp932);

// True when the text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace pimu::cadlink
