// The DXF text writer: R12 ("AC1009") drawings built as a list of text items, saved in Shift-JIS.
//
// A drawing is collected item by item (one item per call; an item may hold several lines joined by
// CR LF) and saved with CR LF after every item, so each group code and each value stands on a line
// of its own. Order: Begin() (HEADER, the TABLES section with the HIDDEN2 linetype unless left out,
// the start of ENTITIES), the entities, Finish() (ENDSEC/EOF), Save().
//
// User text cannot break the file's structure. A DXF value is one line, so a CR or LF inside a
// value would make the rest read as fake group codes and values:
//   - layer names (and any other value that names something) with a control character, an empty
//     name or malformed UTF-8 are rejected with DxfError;
//   - text strings of TEXT entities are cleaned: every control character (CR, LF, TAB, ...) becomes
//     a blank, so a label typed with a line break still lands in the drawing, on one line;
//   - a number given as a field's text must read as a number, or DxfError is thrown.
// Characters that Shift-JIS cannot hold make Save() fail with DxfError naming the character.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geometry/types.h"

namespace pimu::cadlink {

// A drawing could not be built or saved. what() is a message for the user.
class DxfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The shortest general form with up to 15 significant digits, '.' as the decimal separator
// whatever the locale: 12.5, -0.25, 100, 0.1, 0.00001, 1E-6, 1.5E-7, 100000000000000, 1E15,
// 1.23456789012346E20. Plain notation while the decimal exponent (after rounding) lies in -5..14.
// Negative zero is "0". NaN and infinities are a programming error: std::invalid_argument.
std::string DxfNumber(double value);

// The value with a fixed number of decimals, as "%.4f" would write it but always with '.':
// DxfFixed(1.5, 4) == "1.5000". A result that rounds to zero carries no minus sign.
// NaN/infinities or decimals outside 0..17 throw std::invalid_argument.
std::string DxfFixed(double value, int decimals);

// A number as it goes into the file. Made implicitly from a double (general form), or with a fixed
// number of decimals, or from the text of a field (written as typed, without surrounding blanks).
class DxfValue {
public:
    DxfValue(double value) : text_(DxfNumber(value)) {}  // NOLINT: implicit by design
    static DxfValue Fixed(double value, int decimals);
    // Throws DxfError when the text is not a number; `field` names it in the message.
    static DxfValue FieldText(std::string_view text, std::string_view field);
    const std::string &Text() const { return text_; }

private:
    explicit DxfValue(std::string text) : text_(std::move(text)) {}
    std::string text_;
};

// Optional parts of a LINE.
struct DxfLineStyle {
    std::optional<int> colour = std::nullopt;  // colour number 0..256 (" 62")
    bool hidden = false;                       // linetype HIDDEN2 ("  6")
};

// Optional parts of a POLYLINE.
struct DxfPolylineStyle {
    bool closed = true;                                // " 70" 1 (closed outline) or 0 (open)
    bool hidden = false;                               // linetype HIDDEN2
    std::optional<int> colour = std::nullopt;          // colour number 0..256
    std::optional<DxfValue> elevation = std::nullopt;  // " 30" of the polyline; "0.0" when absent
};

struct DxfVertex {
    DxfValue x;
    DxfValue y;
    std::optional<DxfValue> bulge = std::nullopt;  // " 42", for an arc segment
};

enum class DxfHAlign { Left = 0, Center = 1, Right = 2 };
enum class DxfVAlign { Baseline = 0, Bottom = 1, Middle = 2, Top = 3 };

// The alignment point and justification of a justified TEXT.
struct DxfTextAlign {
    DxfValue x;
    DxfValue y;
    DxfValue z = 0.0;
    DxfHAlign horizontal = DxfHAlign::Left;
    DxfVAlign vertical = DxfVAlign::Baseline;
};

// One TEXT entity.
struct DxfTextItem {
    DxfValue x;
    DxfValue y;
    DxfValue z = 0.0;
    DxfValue height;
    std::string text;                                  // UTF-8; control characters become blanks
    std::optional<DxfValue> rotation = std::nullopt;   // degrees (" 50")
    DxfValue widthFactor = 0.8;                        // " 41": 0.8, or 0.75 for some tables
    std::optional<DxfTextAlign> align = std::nullopt;  // justified text: " 11/21/31" and " 72/73"
    std::optional<int> colour = std::nullopt;          // colour number 0..256 (" 62")
    bool writeZ = true;  // false: no " 30" (and no " 31"); the text takes the insertion's z
};

enum class DxfTables { Include, Omit };

// The DXF text list of one drawing.
class DxfText {
public:
    // The item that ends every file.
    static constexpr std::string_view kEndItem = "  0\r\nENDSEC\r\n  0\r\nEOF";

    // HEADER, then (unless omitted) TABLES with the HIDDEN2 linetype, then the start of ENTITIES.
    void Begin(DxfTables tables = DxfTables::Include);
    void AddHeader();
    void AddTables();
    void BeginEntities();

    void AddLine(std::string_view layer, DxfValue x1, DxfValue y1, DxfValue x2, DxfValue y2,
                 const DxfLineStyle &style = {});
    void AddLine(std::string_view layer, const geometry::TAcadPoint &st,
                 const geometry::TAcadPoint &ed, const DxfLineStyle &style = {});
    // A LINE in space: its ends' z are written (the plan overloads above write 0).
    void Add3DLine(std::string_view layer, const geometry::TAcadPoint &st,
                   const geometry::TAcadPoint &ed, const DxfLineStyle &style = {});

    // A POLYLINE, its VERTEX entities and SEQEND. An empty vertex list writes nothing.
    void AddPolyline(std::string_view layer, std::span<const DxfVertex> vertices,
                     const DxfPolylineStyle &style = {});
    // Vertices from points (x and y; z is not written), no bulges.
    void AddPolyline(std::string_view layer, std::span<const geometry::TAcadPoint> points,
                     const DxfPolylineStyle &style = {});

    void AddText(std::string_view layer, const DxfTextItem &entry);
    void AddCircle(std::string_view layer, DxfValue x, DxfValue y, DxfValue r,
                   const DxfLineStyle &style = {});

    // An item as it stands, for program-made items written in another order. Values from the
    // user must pass CheckedLayer or CleanText first.
    void Add(std::string item) { items_.push_back(std::move(item)); }

    // Appends kEndItem unless the list already ends with "ENDSEC" and "EOF".
    void Finish();
    bool Finished() const;

    // Writes every item followed by CR LF, in Shift-JIS, no byte-order mark, through
    // WriteFileAtomically (base/atomic_file.h): a failure (folder not writable, disk full, a
    // character Shift-JIS lacks, a target that is no regular file) throws DxfError and leaves any
    // old file as it was. Save does not call Finish.
    void Save(const std::filesystem::path &path) const;

    // The file's text in UTF-8 (every item followed by CR LF).
    std::string Text() const;
    const std::vector<std::string> &Items() const { return items_; }
    std::size_t size() const { return items_.size(); }

private:
    std::vector<std::string> items_;
};

// The layer name unchanged, or DxfError when it is empty, malformed UTF-8 or holds a control
// character.
std::string_view CheckedLayer(std::string_view layer);

// The text with every control character (below U+0020 and U+007F) replaced by a blank.
// Malformed UTF-8 throws DxfError.
std::string CleanText(std::string_view text);

// The prefix followed by one more than the largest number that follows the prefix (compared
// without regard to ASCII case) in `names`; 1 when there is none. Only a suffix made entirely of
// digits counts ("PIMU_A" and "PIMU_3x" count as 0); leading zeros are ignored and numbers of any
// length are handled exactly, so the result never equals an existing name.
std::string NewBlockNameFrom(std::string_view prefix, std::span<const std::string> names);

}  // namespace pimu::cadlink
