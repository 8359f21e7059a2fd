// Case folding for the ASCII names CAD programs compare without regard to case (layers, blocks,
// commands, ProgIDs). Bytes outside a-z, including every byte of a multi-byte character, stay.
#pragma once

#include <string>
#include <string_view>

namespace pimu {

inline std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace pimu
