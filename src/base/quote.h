// Quoting user text (file names, values read from files or typed) in messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pimu {

// The text in double quotes, fit to show on a terminal: control characters become visible
// escapes (ESC as \x1B, NUL as \0, CR and LF as \r and \n, DEL as \x7F), a backslash and a
// double quote are escaped, bytes that are not UTF-8 become \xNN, and a text longer than
// `maxChars` characters is cut with "..." and its full length in bytes:
// QuoteForMessage("a\x1b[2Jb") == "\"a\\x1B[2Jb\"".
std::string QuoteForMessage(std::string_view text, std::size_t maxChars = 80);

// The same without the quotes (and with '"' and '\\' as they are), for a name that a message
// shows bare, such as the file a reader names as its source.
std::string VisibleText(std::string_view text, std::size_t maxChars = 80);

// A whole message made safe for a terminal: line breaks stay, every other control character
// becomes visible as in QuoteForMessage; nothing is cut.
std::string ShowControlCharacters(std::string_view message);

}  // namespace pimu
