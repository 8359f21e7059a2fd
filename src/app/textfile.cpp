#include "app/textfile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/atomic_file.h"
#include "cadlink/textcodec.h"

namespace pimu::app {
namespace {

std::string PathText(const std::filesystem::path &p) {
    const auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace

TextLines ReadTextLines(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError("ファイルを読み込めません: " + PathText(path));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw FileError("ファイルを読み込めません: " + PathText(path));

    TextLines result;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        bytes.erase(0, 3);
        result.encoding = TextEncoding::Utf8Bom;
    }
    if (!cadlink::IsValidUtf8(bytes)) {
        try {
            bytes = cadlink::Cp932ToUtf8(bytes);
            result.encoding = TextEncoding::ShiftJis;
        } catch (const cadlink::TextCodecError &) {
            throw FileError("ファイルの文字コードが UTF-8 でも Shift-JIS でもありません: " +
                            PathText(path));
        }
    }

    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            result.lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) result.lines.push_back(line);
    return result;
}

void WriteTextLinesAtomically(const std::filesystem::path &path,
                              const std::vector<std::string> &lines, TextEncoding encoding) {
    std::string text;
    for (const auto &l : lines) text += l + "\r\n";
    std::string bytes;
    if (encoding == TextEncoding::ShiftJis) {
        try {
            bytes = cadlink::Utf8ToCp932(text);
        } catch (const cadlink::TextCodecError &) {
            bytes = text;  // a character Shift-JIS cannot hold: keep it rather than lose it
        }
    } else {
        bytes = (encoding == TextEncoding::Utf8Bom ? "\xEF\xBB\xBF" : "") + text;
    }

    try {
        WriteFileAtomically(path, bytes);
    } catch (const FileWriteError &e) {
        throw FileError("ファイルに書き込めません: " + std::string(e.what()));
    }
}

}  // namespace pimu::app
