// The private-profile format: "[Section]" lines and "key=value" lines. Section and key names are
// compared without regard to ASCII case. Editing keeps every other line as it was, so keys,
// sections and comments that Pimu does not know survive a save.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/textfile.h"

namespace pimu::app {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::vector<std::string> lines, TextEncoding encoding = TextEncoding::Utf8)
        : lines_(std::move(lines)), encoding_(encoding) {}

    // A missing file gives an empty IniFile; one that exists but cannot be read throws FileError.
    static IniFile Load(const std::filesystem::path &path);
    // Replaces the file through a temporary file (see WriteTextLinesAtomically).
    void Save(const std::filesystem::path &path) const;

    // The value with blanks around it removed and one pair of enclosing double quotes dropped.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string &fallback) const;
    // A value that is not a whole number gives the fallback.
    int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
    // True for any non-zero whole number; a value that is not one gives the fallback.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // Replaces the key's value in place, or adds the key at the end of its section, or adds the
    // section at the end of the file. Line breaks in the value become blanks.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    const std::vector<std::string> &Lines() const { return lines_; }
    TextEncoding Encoding() const { return encoding_; }

private:
    std::vector<std::string> lines_;
    TextEncoding encoding_ = TextEncoding::Utf8;
};

}  // namespace pimu::app
