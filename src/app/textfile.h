// Small text files beside the executable (settings, target-CAD list, city list). They may come from
// a Windows editor in Shift-JIS or be UTF-8; inside the program everything is UTF-8.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace pimu::app {

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TextEncoding { Utf8, Utf8Bom, ShiftJis };

struct TextLines {
    std::vector<std::string> lines;  // UTF-8, without line ends
    TextEncoding encoding = TextEncoding::Utf8;
};

// Reads the file and splits it at CR LF, LF or CR. A final line end adds no empty line. Text that
// is not UTF-8 is read as Shift-JIS. Throws FileError when the file cannot be read.
TextLines ReadTextLines(const std::filesystem::path &path);

// Writes the lines, each followed by CR LF, in the given encoding (Shift-JIS falls back to UTF-8
// when a character has no Shift-JIS form). The text goes to a temporary file in the same folder
// that then replaces the old file, so a failed write leaves the old file as it was. Throws
// FileError naming the file and the reason.
void WriteTextLinesAtomically(const std::filesystem::path &path,
                              const std::vector<std::string> &lines, TextEncoding encoding);

}  // namespace pimu::app
