#include "cli/tables.h"

#include <algorithm>
#include <stdexcept>
#include "base/atomic_file.h"

namespace pimu::cli {
namespace {

std::string Trim(std::string_view s) {
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

bool Wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}

std::string CsvField(const std::string &cell) {
    if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
    std::string out = "\"";
    for (char c : cell) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

Rows TabRows(const std::vector<std::string> &lines) {
    Rows rows;
    for (const std::string &line : lines) {
        std::vector<std::string> row;
        size_t start = 0;
        while (true) {
            const size_t tab = line.find('\t', start);
            row.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

int DisplayWidth(std::string_view s) {
    int width = 0;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t c = b;
        size_t n = 1;
        if (b >= 0xF0) {
            c = b & 0x07, n = 4;
        } else if (b >= 0xE0) {
            c = b & 0x0F, n = 3;
        } else if (b >= 0xC0) {
            c = b & 0x1F, n = 2;
        }
        for (size_t k = 1; k < n && i + k < s.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        width += Wide(c) ? 2 : 1;
        i += n;
    }
    return width;
}

std::string FormatTable(const Rows &rows) {
    // The last filled cell of a row runs on to the right as in a spreadsheet, so a long caption
    // in a row of its own (a title, a zone's name) does not widen its column.
    auto filled = [](const std::vector<std::string> &row) {
        size_t n = row.size();
        while (n > 0 && Trim(row[n - 1]).empty()) --n;
        return n;
    };
    std::vector<int> widths;
    for (const auto &row : rows) {
        const size_t n = filled(row);
        if (n < 2) continue;
        if (widths.size() < n) widths.resize(n, 0);
        for (size_t c = 0; c + 1 < n; ++c)
            widths[c] = std::max(widths[c], DisplayWidth(Trim(row[c])));
    }
    std::string text;
    for (const auto &row : rows) {
        const size_t n = filled(row);
        std::string line;
        for (size_t c = 0; c < n; ++c) {
            const std::string cell = Trim(row[c]);
            line += cell;
            if (c + 1 < n)
                line += std::string(static_cast<size_t>(widths[c] - DisplayWidth(cell) + 2), ' ');
        }
        text += line + "\n";
    }
    return text;
}

void PrintTable(std::FILE *out, const Rows &rows) {
    std::fputs(FormatTable(rows).c_str(), out);
    std::fflush(out);
}

void WriteCsv(const std::filesystem::path &path, const Rows &rows, CsvBom bom) {
    std::string text = bom == CsvBom::Yes ? "\xEF\xBB\xBF" : "";
    for (const auto &row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c) text += ',';
            text += CsvField(row[c]);
        }
        text += "\r\n";
    }
    WriteFileAtomically(path, text);
}

}  // namespace pimu::cli
