#include "app/inifile.h"

#include <algorithm>
#include <system_error>

#include "base/numconv.h"

namespace pimu::app {
namespace {

std::string_view Trim(std::string_view s) {
    const char *blanks = " \t";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

// The section name of a "[...]" line, or nothing.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    return Trim(
        line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

bool IsComment(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.front() == ';';
}

// The key of a "key=value" line, or nothing.
std::optional<std::string_view> KeyOf(std::string_view line) {
    if (IsComment(line)) return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(0, eq));
}

struct Position {
    std::optional<size_t> sectionLine;  // the "[...]" line
    std::optional<size_t> keyLine;
    size_t sectionEnd = 0;  // where a new key of the section goes
};

Position Find(const std::vector<std::string> &lines, std::string_view section,
              std::string_view key) {
    Position pos;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto s = SectionOf(lines[i])) {
            inSection = SameName(*s, section);
            if (inSection && !pos.sectionLine) {
                pos.sectionLine = i;
                pos.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        if (const auto k = KeyOf(lines[i])) {
            pos.sectionEnd = i + 1;
            if (!pos.keyLine && SameName(*k, key)) pos.keyLine = i;
        }
    }
    return pos;
}

}  // namespace

IniFile IniFile::Load(const std::filesystem::path &path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return IniFile();
    TextLines text = ReadTextLines(path);
    return IniFile(std::move(text.lines), text.encoding);
}

void IniFile::Save(const std::filesystem::path &path) const {
    WriteTextLinesAtomically(path, lines_, encoding_);
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
    const Position pos = Find(lines_, section, key);
    if (!pos.keyLine) return std::nullopt;
    const std::string &line = lines_[*pos.keyLine];
    std::string_view value = Trim(std::string_view(line).substr(line.find('=') + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string &fallback) const {
    return Read(section, key).value_or(fallback);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
    int value = fallback;
    if (const auto text = Read(section, key); !text || !TryParseInteger(*text, value))
        return fallback;
    return value;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    std::string clean(value);
    std::replace(clean.begin(), clean.end(), '\r', ' ');
    std::replace(clean.begin(), clean.end(), '\n', ' ');

    const Position pos = Find(lines_, section, key);
    if (pos.keyLine) {
        std::string &line = lines_[*pos.keyLine];
        line = line.substr(0, line.find('=') + 1) + clean;
        return;
    }
    std::string newLine = std::string(key) + "=" + clean;
    if (pos.sectionLine) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(pos.sectionEnd), newLine);
        return;
    }
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(newLine);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    Write(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    Write(section, key, value ? "1" : "0");
}

}  // namespace pimu::app
