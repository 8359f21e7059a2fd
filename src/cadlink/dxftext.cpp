#include "cadlink/dxftext.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <locale>
#include <system_error>
#include <utility>

#include "base/atomic_file.h"
#include "base/numconv.h"
#include "cadlink/textcodec.h"

namespace pimu::cadlink {
namespace {

constexpr std::string_view kCrLf = "\r\n";

void CheckFinite(double value) {
    if (!std::isfinite(value)) throw std::invalid_argument("DXF number is not finite");
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

std::string ColourItem(int colour) {
    // 0 is BYBLOCK, 256 BYLAYER; anything else is a fault of the caller.
    if (colour < 0 || colour > 256)
        throw std::invalid_argument("DXF colour number out of range: " + std::to_string(colour));
    return " 62\r\n" + std::to_string(colour);
}

bool IsAllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Decimal digit strings without leading zeros, compared as numbers.
bool DigitsLess(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::string DigitsPlusOne(std::string digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return digits;
        }
        *it = '0';
    }
    return "1" + digits;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (AsciiUpper(s[i]) != AsciiUpper(prefix[i])) return false;
    return true;
}

std::string PathText(const std::filesystem::path &path) {
    const std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace

std::string DxfNumber(double value) {
    CheckFinite(value);
    if (value == 0.0) return "0";  // also -0.0

    // 15 significant digits as d.dddddddddddddde±x; to_chars ignores the locale.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    if (res.ec != std::errc()) throw std::logic_error("DXF number formatting failed");
    const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));

    const bool negative = sci.front() == '-';
    const std::size_t ePos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (c >= '0' && c <= '9') digits += c;
    int exponent = 0;
    const std::string_view expText = sci.substr(ePos + 1);
    std::from_chars(expText.data() + (expText.front() == '+' ? 1 : 0),
                    expText.data() + expText.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent < -5 || exponent > 14) {
        out += digits.front();
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const auto intDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits + std::string(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
        }
    }
    return out;
}

std::string DxfFixed(double value, int decimals) {
    CheckFinite(value);
    if (decimals < 0 || decimals > 17) throw std::invalid_argument("DXF decimals out of range");
    char buf[400];  // the largest double has 309 integer digits
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) throw std::logic_error("DXF number formatting failed");
    std::string out(buf, res.ptr);
    if (out.front() == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
    return out;
}

DxfValue DxfValue::Fixed(double value, int decimals) {
    return DxfValue(DxfFixed(value, decimals));
}

DxfValue DxfValue::FieldText(std::string_view text, std::string_view field) {
    double unused = 0.0;
    if (!TryParseNumber(text, unused))
        throw DxfError(InputError(std::string(field), std::string(text)).what());
    const auto first = text.find_first_not_of(" \t\r\n");
    const auto last = text.find_last_not_of(" \t\r\n");
    return DxfValue(std::string(text.substr(first, last - first + 1)));
}

std::string_view CheckedLayer(std::string_view layer) {
    if (layer.empty()) throw DxfError("画層名が空です。");
    if (!IsValidUtf8(layer)) throw DxfError("画層名の文字コードが正しくありません。");
    for (char c : layer)
        if (IsControl(static_cast<unsigned char>(c)))
            throw DxfError("画層名 \"" + CleanText(layer) +
                           "\" に制御文字 (改行など) が含まれています。");
    return layer;
}

std::string CleanText(std::string_view text) {
    if (!IsValidUtf8(text)) throw DxfError("文字列の文字コードが正しくありません。");
    std::string out(text);
    for (char &c : out)
        if (IsControl(static_cast<unsigned char>(c))) c = ' ';
    return out;
}

void DxfText::Begin(DxfTables tables) {
    AddHeader();
    if (tables == DxfTables::Include) AddTables();
    BeginEntities();
}

void DxfText::AddHeader() {
    Add("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1009\r\n  0\r\nENDSEC");
}

void DxfText::AddTables() {
    Add("  0\r\nSECTION\r\n  2\r\nTABLES\r\n  0\r\nTABLE");
    Add("  2\r\nLTYPE");
    Add("  0\r\nLTYPE\r\n  2\r\nHIDDEN2\r\n 70\r\n     0");
    Add("  3\r\nHidden (.5x) _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _");
    Add(" 72\r\n    65\r\n 73\r\n     2");
    Add(" 40\r\n4.7625\r\n 49\r\n3.175\r\n 49\r\n-1.5875");
    Add("  0\r\nENDTAB");
    Add("  0\r\nENDSEC");
}

void DxfText::BeginEntities() {
    Add("  0\r\nSECTION\r\n  2\r\nENTITIES");
}

void DxfText::AddLine(std::string_view layer, DxfValue x1, DxfValue y1, DxfValue x2, DxfValue y2,
                      const DxfLineStyle &style) {
    const std::string name(CheckedLayer(layer));
    const std::string colour = style.colour ? ColourItem(*style.colour) : std::string();
    Add("  0\r\nLINE\r\n  8\r\n" + name);
    if (style.colour) Add(colour);
    if (style.hidden) Add("  6\r\nHIDDEN2");
    Add(" 10\r\n" + x1.Text());
    Add(" 20\r\n" + y1.Text());
    Add(" 30\r\n0.0");
    Add(" 11\r\n" + x2.Text());
    Add(" 21\r\n" + y2.Text());
    Add(" 31\r\n0.0");
}

void DxfText::AddLine(std::string_view layer, const geometry::TAcadPoint &st,
                      const geometry::TAcadPoint &ed, const DxfLineStyle &style) {
    AddLine(layer, st.x, st.y, ed.x, ed.y, style);
}

void DxfText::Add3DLine(std::string_view layer, const geometry::TAcadPoint &st,
                        const geometry::TAcadPoint &ed, const DxfLineStyle &style) {
    const std::string name(CheckedLayer(layer));
    Add("  0\r\nLINE\r\n  8\r\n" + name);
    if (style.colour) Add(ColourItem(*style.colour));
    if (style.hidden) Add("  6\r\nHIDDEN2");
    Add(" 10\r\n" + DxfValue(st.x).Text());
    Add(" 20\r\n" + DxfValue(st.y).Text());
    Add(" 30\r\n" + DxfValue(st.z).Text());
    Add(" 11\r\n" + DxfValue(ed.x).Text());
    Add(" 21\r\n" + DxfValue(ed.y).Text());
    Add(" 31\r\n" + DxfValue(ed.z).Text());
}

void DxfText::AddPolyline(std::string_view layer, std::span<const DxfVertex> vertices,
                          const DxfPolylineStyle &style) {
    const std::string name(CheckedLayer(layer));
    const std::string colour = style.colour ? ColourItem(*style.colour) : std::string();
    if (vertices.empty()) return;
    Add("  0\r\nPOLYLINE\r\n  8\r\n" + name);
    if (style.hidden) Add("  6\r\nHIDDEN2");
    if (style.colour) Add(colour);
    Add(" 66\r\n     1\r\n 10\r\n0.0");
    Add(" 20\r\n0.0\r\n 30\r\n" + (style.elevation ? style.elevation->Text() : std::string("0.0")));
    Add(style.closed ? " 70\r\n     1" : " 70\r\n     0");
    for (const DxfVertex &v : vertices) {
        Add("  0\r\nVERTEX\r\n  8\r\n" + name);
        Add(" 10\r\n" + v.x.Text());
        Add(" 20\r\n" + v.y.Text());
        if (v.bulge) Add(" 42\r\n" + v.bulge->Text());
    }
    Add("  0\r\nSEQEND");
}

void DxfText::AddPolyline(std::string_view layer, std::span<const geometry::TAcadPoint> points,
                          const DxfPolylineStyle &style) {
    std::vector<DxfVertex> vertices;
    vertices.reserve(points.size());
    for (const auto &p : points) vertices.push_back({p.x, p.y, std::nullopt});
    AddPolyline(layer, std::span<const DxfVertex>(vertices), style);
}

void DxfText::AddText(std::string_view layer, const DxfTextItem &entry) {
    const std::string name(CheckedLayer(layer));
    const std::string text = CleanText(entry.text);
    const std::string colour = entry.colour ? ColourItem(*entry.colour) : std::string();
    Add("  0\r\nTEXT\r\n  8\r\n" + name);
    if (entry.colour) Add(colour);
    Add(" 10\r\n" + entry.x.Text());
    Add(" 20\r\n" + entry.y.Text());
    if (entry.writeZ) Add(" 30\r\n" + entry.z.Text());
    if (entry.align) {
        Add(" 11\r\n" + entry.align->x.Text());
        Add(" 21\r\n" + entry.align->y.Text());
        if (entry.writeZ) Add(" 31\r\n" + entry.align->z.Text());
    }
    Add(" 40\r\n" + entry.height.Text());
    Add("  1\r\n" + text);
    if (entry.rotation) Add(" 50\r\n" + entry.rotation->Text());
    Add(" 41\r\n" + entry.widthFactor.Text());
    if (entry.align) {
        Add(" 72\r\n" + std::to_string(static_cast<int>(entry.align->horizontal)));
        Add(" 73\r\n" + std::to_string(static_cast<int>(entry.align->vertical)));
    }
}

void DxfText::AddCircle(std::string_view layer, DxfValue x, DxfValue y, DxfValue r,
                        const DxfLineStyle &style) {
    const std::string name(CheckedLayer(layer));
    const std::string colour = style.colour ? ColourItem(*style.colour) : std::string();
    Add("  0\r\nCIRCLE\r\n  8\r\n" + name);
    if (style.colour) Add(colour);
    if (style.hidden) Add("  6\r\nHIDDEN2");
    Add(" 10\r\n" + x.Text());
    Add(" 20\r\n" + y.Text());
    Add(" 30\r\n0.0");
    Add(" 40\r\n" + r.Text());
}

bool DxfText::Finished() const {
    // The end may have been added as one item or as several.
    constexpr std::string_view tail = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
    std::string end;
    for (auto it = items_.rbegin(); it != items_.rend() && end.size() < tail.size(); ++it)
        end = *it + std::string(kCrLf) + end;
    return end.size() >= tail.size() &&
           end.compare(end.size() - tail.size(), tail.size(), tail) == 0;
}

void DxfText::Finish() {
    if (!Finished()) Add(std::string(kEndItem));
}

std::string DxfText::Text() const {
    std::string out;
    for (const auto &item : items_) {
        out += item;
        out += kCrLf;
    }
    return out;
}

void DxfText::Save(const std::filesystem::path &path) const {
    const std::string where = PathText(path);
    std::string bytes;
    try {
        bytes = Utf8ToCp932(Text());
    } catch (const TextCodecError &e) {
        throw DxfError(std::string(e.what()) + " (" + where + ")");
    }

    try {
        WriteFileAtomically(path, bytes);
    } catch (const FileWriteError &e) {
        throw DxfError("DXF ファイルを保存できません: " + std::string(e.what()));
    }
}

std::string NewBlockNameFrom(std::string_view prefix, std::span<const std::string> names) {
    std::string largest = "0";
    for (const std::string &name : names) {
        if (!StartsWithNoCase(name, prefix)) continue;
        std::string_view suffix = std::string_view(name).substr(prefix.size());
        if (!IsAllDigits(suffix)) continue;
        const auto firstNonZero = suffix.find_first_not_of('0');
        if (firstNonZero == std::string_view::npos) continue;
        suffix.remove_prefix(firstNonZero);
        if (DigitsLess(largest, suffix)) largest = std::string(suffix);
    }
    return std::string(prefix) + DigitsPlusOne(largest);
}

}  // namespace pimu::cadlink
