// Tables on stdout and in CSV files: the window model's result tables (headers and cells) and
// text tables such as the shadow ratio table.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pimu::cli {

using Rows = std::vector<std::vector<std::string>>;

// Lines split at tab characters.
Rows TabRows(const std::vector<std::string> &lines);

// Columns of a terminal a text takes: East Asian wide characters count two.
int DisplayWidth(std::string_view utf8);

// The rows with the columns aligned (blanks around the cells trimmed), one line each.
std::string FormatTable(const Rows &rows);
// Prints FormatTable.
void PrintTable(std::FILE *out, const Rows &rows);
// Writes the rows as CSV (UTF-8, RFC 4180 quoting, CRLF), with `bom` a byte-order mark first
// (spreadsheet programs then read the file as UTF-8 rather than the system's code page). Throws
// std::runtime_error when the file cannot be written.
enum class CsvBom { No, Yes };
void WriteCsv(const std::filesystem::path &path, const Rows &rows, CsvBom bom = CsvBom::No);

}  // namespace pimu::cli
