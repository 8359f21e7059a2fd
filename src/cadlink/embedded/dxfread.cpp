// The strict DXF reader: a group-code/value tokenizer, then parsers for the sections, tables,
// blocks and entities the embedded drawing keeps.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <locale>
#include <memory>
#include <numbers>
#include <set>
#include <sstream>
#include <vector>

#include "base/numconv.h"
#include "base/quote.h"
#include "cadlink/embedded/dxfio.h"
#include "cadlink/textcodec.h"
#include "geometry/site_limits.h"

namespace pimu::cadlink::embedded {

DxfError::DxfError(const std::string &source, int line, const std::string &reason)
    : CadError(line > 0
                   ? VisibleText(source, 120) + ": line " + std::to_string(line) + ": " + reason
                   : VisibleText(source, 120) + ": " + reason),
      line_(line) {}

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;

struct Group {
    std::string_view value;
    const char *start = nullptr;  // where the group's code line starts
    int code = 0;
    int line = 0;  // line of the group code
};

// The text of a DXF file without its byte order mark; other encodings are refused.
std::string_view Body(std::string_view text, const std::string &source) {
    if (text.starts_with("AutoCAD Binary DXF"))
        throw DxfError(source, 0, "binary DXF is not supported; save the drawing as ASCII DXF");
    // A DWG drawing starts with its version, "AC1015" and the like.
    if (text.size() >= 6 && text.starts_with("AC1") && text[3] >= '0' && text[3] <= '9' &&
        text[4] >= '0' && text[4] <= '9' && text[5] >= '0' && text[5] <= '9')
        throw DxfError(source, 0, "this is a DWG drawing, not DXF; save it as ASCII DXF");
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
        (text.size() >= 4 && (text[1] == '\0' || text[0] == '\0')))
        throw DxfError(source, 0,
                       "UTF-16 text is not supported; save the drawing as ASCII DXF (UTF-8 or "
                       "Shift-JIS)");
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text;
}

// Splits text into groups one at a time. Lines end in LF or CR LF.
class Tokenizer {
public:
    Tokenizer(std::string_view text, const std::string &source) : text_(text), source_(source) {}

    bool Next(Group &out) {
        std::string_view codeLine, valueLine;
        const char *start = text_.data() + pos_;
        if (!NextLine(codeLine)) return false;
        const int codeLineNo = line_;
        std::string_view trimmed = codeLine;
        while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
        while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t'))
            trimmed.remove_suffix(1);
        if (trimmed.empty() && pos_ >= text_.size()) return false;  // trailing blank line
        int code = 0;
        if (!TryParseInteger(trimmed, code) || code < -5 || code > 1071)
            throw DxfError(source_, codeLineNo,
                           "expected a group code, found " + QuoteForMessage(codeLine, 40));
        if (!NextLine(valueLine))
            throw DxfError(source_, codeLineNo,
                           "group code " + std::to_string(code) + " has no value");
        out = {valueLine, start, code, codeLineNo};
        return true;
    }

private:
    std::string_view text_;
    const std::string &source_;
    std::size_t pos_ = 0;
    int line_ = 0;

    bool NextLine(std::string_view &out) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        out = text_.substr(pos_, end - pos_);
        if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
        pos_ = end + 1;
        ++line_;
        return true;
    }
};

// The groups the parser looks at, read from the text as it asks for them. Those before the
// position given to Release are forgotten: a drawing of a million lines has some twenty million
// groups, which need not all be held at once.
class GroupWindow {
public:
    GroupWindow(std::string_view text, const std::string &source)
        : tokens_(text, source), source_(source) {}

    bool Has(std::size_t k) {
        while (base_ + groups_.size() <= k && !done_) {
            Group g;
            if (tokens_.Next(g)) {
                groups_.push_back(g);
                lastLine_ = g.line;
                any_ = true;
            } else {
                done_ = true;
            }
        }
        return k < base_ + groups_.size();
    }
    const Group &operator[](std::size_t k) {
        if (k < base_ || !Has(k))
            throw DxfError(source_, lastLine_, "the reader lost its place in the file");
        return groups_[k - base_];
    }
    void Release(std::size_t k) {
        while (base_ < k && !groups_.empty()) {
            groups_.pop_front();
            ++base_;
        }
    }
    bool empty() {
        Has(0);
        return !any_;
    }
    int lastLine() const { return lastLine_; }

private:
    Tokenizer tokens_;
    const std::string &source_;
    std::deque<Group> groups_;
    std::size_t base_ = 0;
    int lastLine_ = 0;
    bool done_ = false, any_ = false;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

void AppendUtf8(std::string &out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// \U+XXXX escapes (written by many producers for characters outside the code page) and
// \M+1XXXX escapes (a Shift-JIS character given by its two bytes, as older Japanese CADs write).
std::string DecodeEscapes(const std::string &in) {
    if (in.find("\\U+") == std::string::npos && in.find("\\u+") == std::string::npos &&
        in.find("\\M+") == std::string::npos && in.find("\\m+") == std::string::npos)
        return in;
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        if (in[i] == '\\' && i + 8 <= in.size() && (in[i + 1] == 'M' || in[i + 1] == 'm') &&
            in[i + 2] == '+' && in[i + 3] == '1') {
            const int h[4] = {HexDigit(in[i + 4]), HexDigit(in[i + 5]), HexDigit(in[i + 6]),
                              HexDigit(in[i + 7])};
            if (h[0] >= 0 && h[1] >= 0 && h[2] >= 0 && h[3] >= 0) {
                const char bytes[2] = {static_cast<char>(h[0] * 16 + h[1]),
                                       static_cast<char>(h[2] * 16 + h[3])};
                try {
                    out += Cp932ToUtf8(std::string_view(bytes, 2));
                    i += 8;
                    continue;
                } catch (const TextCodecError &) {
                }
            }
        }
        if (in[i] == '\\' && i + 7 <= in.size() && (in[i + 1] == 'U' || in[i + 1] == 'u') &&
            in[i + 2] == '+') {
            unsigned cp = 0;
            bool ok = true;
            for (int k = 0; k < 4; ++k) {
                const char c = in[i + 3 + k];
                cp <<= 4;
                if (c >= '0' && c <= '9')
                    cp |= static_cast<unsigned>(c - '0');
                else if (c >= 'A' && c <= 'F')
                    cp |= static_cast<unsigned>(c - 'A' + 10);
                else if (c >= 'a' && c <= 'f')
                    cp |= static_cast<unsigned>(c - 'a' + 10);
                else
                    ok = false;
            }
            // An escaped control character stays an escape: as a character it could break the
            // file's lines when written, and no name or text needs one.
            const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
            if (ok && !control && (cp < 0xD800 || cp > 0xDFFF)) {
                AppendUtf8(out, cp);
                i += 7;
                continue;
            }
        }
        out += in[i++];
    }
    return out;
}

// A text value as read, decoded to UTF-8 by the file's version and code page; an empty
// `error` when it is fine, else why the file could not hold it.
std::string DecodeValue(std::string_view value, const std::string &version,
                        const std::string &codepage, std::string &error) {
    error.clear();
    std::string raw(value);
    // A stray CR or other control character would break the file for other readers.
    for (unsigned char c : raw)
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            error = "a control character (" + QuoteForMessage(std::string(1, char(c))) +
                    ") in a text value; no DXF file can hold it";
            return raw;
        }
    bool ascii = true;
    for (unsigned char c : raw)
        if (c >= 0x80) ascii = false;
    if (!ascii) {
        if (version >= "AC1021") {
            if (!IsValidUtf8(raw)) error = "the text is not valid UTF-8";
        } else if (codepage.empty() || UpperAscii(codepage) == "ANSI_932") {
            try {
                raw = Cp932ToUtf8(raw);
            } catch (const TextCodecError &e) {
                error = std::string("the text is not valid Shift-JIS: ") + e.what();
            }
        } else if (UpperAscii(codepage) == "ANSI_1252") {
            std::string out;
            for (unsigned char c : raw) AppendUtf8(out, c);
            raw = out;
        } else {
            error = "text in code page " + codepage + " is not supported";
        }
    }
    return raw;
}

// Whether a value is plain printable ASCII, which every version and code page reads as it is.
bool PlainAscii(std::string_view value) {
    for (unsigned char c : value)
        if ((c < 0x20 && c != '\t') || c >= 0x7F) return false;
    return true;
}

class Parser {
public:
    Parser(std::shared_ptr<const std::string> bytes, std::string source,
           std::function<bool()> keepGoing = {})
        : bytes_(std::move(bytes)),
          text_(Body(*bytes_, source)),
          source_(std::move(source)),
          g_(text_, source_),
          keepGoing_(std::move(keepGoing)) {
        d_.SetSourceText({bytes_, version_, codepage_});
    }

    Drawing Run() {
        // Before anything gets a handle of its own, so none can take one the file uses later.
        ReserveFileHandles();
        bool sawEof = false;
        while (g_.Has(i_)) {
            const Group &gr = g_[i_];
            if (gr.code == 999) {
                ++i_;
                continue;
            }
            if (gr.code == 0 && gr.value == "EOF") {
                sawEof = true;
                ++i_;
                break;
            }
            if (gr.code != 0 || gr.value != "SECTION") Fail(gr, "expected SECTION or EOF");
            ++i_;
            const Group &name = Next("a section name");
            if (name.code != 2) Fail(name, "expected the section name (group 2)");
            RawText(name);  // a name the file could not be written with is refused here
            const std::string_view section = name.value;
            if (section == "HEADER")
                Header();
            else if (section == "TABLES")
                Tables();
            else if (section == "BLOCKS")
                Blocks();
            else if (section == "ENTITIES")
                Entities("");
            else
                KeepSection(std::string(section));
        }
        if (!sawEof) {
            const int last = g_.empty() ? 0 : g_.lastLine() + 2;
            throw DxfError(source_, last,
                           g_.empty() ? "the file is empty" : "the file ends without EOF");
        }
        for (const LayerRecord &l : d_.Layers()) d_.kept.layersAsRead[UpperAscii(l.name)] = l;
        for (const LinetypeRecord &lt : d_.Linetypes())
            d_.kept.linetypesAsRead[UpperAscii(lt.name)] = lt;
        return std::move(d_);
    }

private:
    std::shared_ptr<const std::string> bytes_;
    std::string_view text_;
    std::string source_;
    GroupWindow g_;
    bool slicesKept_ = false;  // the source text's version and code page are fixed
    std::size_t i_ = 0;
    Drawing d_;
    std::string version_ = "AC1009";
    std::string codepage_;                                // empty: absent
    std::pair<std::size_t, std::size_t> endBlock_{0, 0};  // the last ENDBLK read
    std::set<std::string> layersRead_;
    std::function<bool()> keepGoing_;
    unsigned polls_ = 0;

    // Asks keepGoing once in `every` calls; a stop ends the reading.
    void Poll(unsigned every) {
        if (keepGoing_ && ++polls_ % every == 0 && !keepGoing_()) throw ReadStopped(source_);
    }

    [[noreturn]] void Fail(const Group &gr, const std::string &reason) {
        throw DxfError(source_, gr.line, reason);
    }
    // A fault in the value itself is reported at the value's line.
    [[noreturn]] void FailValue(const Group &gr, const std::string &reason) {
        throw DxfError(source_, gr.line + 1, reason);
    }
    const Group &Next(const char *what) {
        if (!g_.Has(i_))
            throw DxfError(source_, g_.empty() ? 0 : g_.lastLine() + 2,
                           std::string("the file ends where ") + what + " was expected");
        return g_[i_++];
    }
    bool AtEnd() { return !g_.Has(i_); }

    double Real(const Group &gr) {
        double v = 0.0;
        if (!TryParseNumber(Trim(gr.value), v))
            FailValue(gr, "group " + std::to_string(gr.code) + " needs a number, found " +
                              QuoteForMessage(gr.value, 40));
        return v;
    }
    int Int(const Group &gr) {
        int v = 0;
        if (!TryParseInteger(Trim(gr.value), v))
            FailValue(gr, "group " + std::to_string(gr.code) + " needs an integer, found " +
                              QuoteForMessage(gr.value, 40));
        return v;
    }
    std::string Text(const Group &gr) { return DecodeEscapes(RawText(gr)); }

    std::string RawText(const Group &gr) {
        std::string error;
        std::string raw = DecodeValue(gr.value, version_, codepage_, error);
        if (!error.empty()) FailValue(gr, error);
        return raw;
    }

    std::string Name(const Group &gr) {
        std::string name = Text(gr);
        if (name.empty()) FailValue(gr, "an empty name");
        return name;
    }

    // Sections the drawing does not model (CLASSES, OBJECTS, THUMBNAILIMAGE, ...) are kept as read.
    void KeepSection(const std::string &name) {
        const std::size_t begin = i_;
        for (;;) {
            const Group &gr = Next("ENDSEC");
            if (gr.code == 0 && gr.value == "ENDSEC") break;
            if (gr.code == 0 && (gr.value == "EOF" || gr.value == "SECTION"))
                Fail(gr, "section without ENDSEC");
        }
        RawGroups groups = Raw(begin, i_ - 1);
        if (name == "CLASSES" && !d_.kept.classes)
            d_.kept.classes = std::move(groups);
        else if (name == "OBJECTS" && !d_.kept.objects)
            d_.kept.objects = std::move(groups);
        else
            d_.kept.otherSections.push_back({name, std::move(groups)});
    }

    static bool IsNumericCode(int code) {
        return (code >= 10 && code <= 99) || (code >= 110 && code <= 149) ||
               (code >= 160 && code <= 179) || (code >= 210 && code <= 239) ||
               (code >= 270 && code <= 299) || (code >= 370 && code <= 389) ||
               (code >= 400 && code <= 409) || (code >= 420 && code <= 429) ||
               (code >= 440 && code <= 469) || (code >= 1010 && code <= 1071);
    }

    // Groups kept as read: text decoded like any other text (escapes stay as written), numbers
    // and handles checked so that a broken file is still refused at its first fault.
    // In a DIMSTYLE entry group 5 names a block and 105 is the handle.
    RawGroups Raw(std::size_t begin, std::size_t end, bool fiveIsHandle = true) {
        RawGroups out;
        out.reserve(end - begin);
        for (std::size_t k = begin; k < end; ++k) {
            const Group &gr = g_[k];
            CheckValue(gr, fiveIsHandle);
            out.push_back({gr.code, RawText(gr)});
        }
        return out;
    }

    // Checks groups as Raw does, without keeping them.
    void Check(std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            const Group &gr = g_[k];
            CheckValue(gr, true);
            if (!PlainAscii(gr.value)) RawText(gr);
        }
    }

    // A number group must hold a number and a handle group a hexadecimal handle.
    void CheckValue(const Group &gr, bool fiveIsHandle) {
        if (IsNumericCode(gr.code)) {
            Real(gr);
        } else if ((gr.code == 5 && fiveIsHandle) || gr.code == 105) {
            if (!IsHandle(Trim(gr.value))) FailValue(gr, "a handle must be hexadecimal");
        }
    }

    // Keeps where the groups [begin, end) of an entity are in the file, checked as Raw checks
    // them. All kept entities are decoded alike: one read before a header that changes the
    // version or code page is written anew instead.
    void KeepSlice(EntityId id, std::uint64_t handle, std::size_t begin, std::size_t end) {
        Check(begin, end);
        if (!slicesKept_) {
            d_.SetSourceText({bytes_, version_, codepage_});
            slicesKept_ = true;
        } else if (d_.sourceText().version != version_ || d_.sourceText().codepage != codepage_) {
            return;
        }
        const char *base = bytes_->data();
        const char *last = g_.Has(end) ? g_[end].start : text_.data() + text_.size();
        d_.KeepSource(id, handle, static_cast<std::uint64_t>(g_[begin].start - base),
                      static_cast<std::uint64_t>(last - base));
    }

    static bool IsHandle(std::string_view v) {
        if (v.empty() || v.size() > 16) return false;
        for (char c : v)
            if (HexDigit(c) < 0) return false;
        return true;
    }

    // New handles must not reuse any handle the file holds, nor fall below its $HANDSEED.
    void ReserveFileHandles() {
        Tokenizer tokens(text_, source_);
        for (Group gr; tokens.Next(gr);) {
            Poll(1u << 16);
            if (gr.code != 5 && gr.code != 105) continue;
            const std::string_view v = Trim(gr.value);
            if (!IsHandle(v)) continue;
            std::uint64_t h = 0;
            for (char c : v) h = h * 16 + static_cast<std::uint64_t>(HexDigit(c));
            if (h != ~std::uint64_t{0}) d_.ReserveHandles(h + 1);
        }
    }

    void Header() {
        std::string variable;
        const Group *var = nullptr;
        std::vector<std::size_t> starts;  // of each variable; decoded once the code page is known
        for (;;) {
            const Group &gr = Next("ENDSEC");
            if (gr.code == 0) {
                if (gr.value == "ENDSEC") break;
                Fail(gr, "header without ENDSEC");
            }
            if (gr.code == 9) {
                variable = std::string(gr.value);
                var = &gr;
                starts.push_back(i_ - 1);
                continue;
            }
            if (!var) Fail(gr, "a header value before any variable name");
            if (variable == "$ACADVER" && gr.code == 1)
                version_ = std::string(Trim(gr.value));
            else if (variable == "$DWGCODEPAGE" && gr.code == 3)
                codepage_ = std::string(Trim(gr.value));
            else if (variable == "$INSBASE") {
                if (gr.code == 10) d_.insBase.x = Real(gr);
                if (gr.code == 20) d_.insBase.y = Real(gr);
                if (gr.code == 30) d_.insBase.z = Real(gr);
            }
        }
        d_.sourceVersion = version_;
        d_.sourceCodepage = codepage_;
        starts.push_back(i_ - 1);  // the ENDSEC group
        for (std::size_t k = 0; k + 1 < starts.size(); ++k)
            d_.kept.header.push_back(Raw(starts[k], starts[k + 1]));
    }

    // References inside blocks may point forward; once all blocks are read each must resolve,
    // and no block may contain itself.
    std::vector<std::pair<EntityId, int>> blockInserts_;
    void CheckBlockReferences() {
        for (const auto &[id, line] : blockInserts_) {
            const std::string target = d_.Get(id).blockName;
            if (!d_.FindBlock(target))
                throw DxfError(source_, line,
                               "INSERT of an undefined block " + QuoteForMessage(target));
        }
        for (const BlockRecord &start : d_.Blocks()) {
            std::vector<const BlockRecord *> stack{&start};
            std::size_t visited = 0;
            while (!stack.empty()) {
                const BlockRecord *block = stack.back();
                stack.pop_back();
                if (++visited > 100000) throw DxfError(source_, 0, "blocks are nested too deeply");
                for (EntityId id : block->entities) {
                    const EntityData &e = d_.Get(id);
                    if (e.kind != EntityKind::Insert) continue;
                    const BlockRecord *inner = d_.FindBlock(e.blockName);
                    if (inner == &start)
                        throw DxfError(source_, 0,
                                       "block " + QuoteForMessage(start.name) + " contains itself");
                    stack.push_back(inner);
                }
            }
        }
    }

    // Groups of one object: from the current (0, TYPE) group up to the next group 0.
    std::pair<std::size_t, std::size_t> ObjectRange() {
        const std::size_t begin = i_;
        ++i_;
        while (g_.Has(i_) && g_[i_].code != 0) ++i_;
        return {begin, i_};
    }

    void Tables() {
        for (;;) {
            const Group &gr = Next("ENDSEC");
            if (gr.code == 0 && gr.value == "ENDSEC") return;
            if (gr.code != 0 || gr.value != "TABLE") Fail(gr, "expected TABLE or ENDSEC");
            const Group &name = Next("a table name");
            if (name.code != 2) Fail(name, "expected the table name (group 2)");
            const std::string table(name.value);
            const std::size_t headBegin = i_ - 1;
            while (!AtEnd() && g_[i_].code != 0) ++i_;  // table header groups
            d_.kept.tables.push_back({table, Raw(headBegin, i_), {}});
            KeptTable *kept = &d_.kept.tables.back();
            for (;;) {
                if (AtEnd()) Next("ENDTAB");
                const Group &entry = g_[i_];
                if (entry.code != 0) Fail(entry, "expected a table entry");
                if (entry.value == "ENDTAB") {
                    ++i_;
                    break;
                }
                if (entry.value == "ENDSEC" || entry.value == "EOF")
                    Fail(entry, "table without ENDTAB");
                const auto [b, e] = ObjectRange();
                kept->entries.push_back(Raw(b, e, table != "DIMSTYLE"));
                if (table == "LAYER" && entry.value == "LAYER")
                    Layer(b, e);
                else if (table == "LTYPE" && entry.value == "LTYPE")
                    Linetype(b, e);
            }
        }
    }

    void Layer(std::size_t b, std::size_t e) {
        LayerRecord l;
        bool named = false;
        for (std::size_t k = b + 1; k < e; ++k) {
            const Group &gr = g_[k];
            if (gr.code == 2)
                l.name = Name(gr), named = true;
            else if (gr.code == 62)
                l.color = Int(gr);
            else if (gr.code == 6)
                l.linetype = Text(gr);
            else if (gr.code == 70)
                l.flags = Int(gr);
        }
        if (!named) Fail(g_[b], "LAYER without a name");
        // The file's own layer "0" replaces the default one; a repeated name keeps the first.
        if (layersRead_.insert(UpperAscii(l.name)).second) d_.ReplaceLayer(l);
    }

    void Linetype(std::size_t b, std::size_t e) {
        LinetypeRecord lt;
        bool named = false;
        for (std::size_t k = b + 1; k < e; ++k) {
            const Group &gr = g_[k];
            if (gr.code == 2)
                lt.name = Name(gr), named = true;
            else if (gr.code == 3)
                lt.description = Text(gr);
            else if (gr.code == 49)
                lt.pattern.push_back(Real(gr));
        }
        if (!named) Fail(g_[b], "LTYPE without a name");
        const std::string key = UpperAscii(lt.name);
        if (key == "BYBLOCK" || key == "BYLAYER") return;
        d_.AddLinetype(lt);
    }

    void Blocks() {
        for (;;) {
            const Group &gr = Next("ENDSEC");
            if (gr.code == 0 && gr.value == "ENDSEC") {
                CheckBlockReferences();
                return;
            }
            if (gr.code != 0 || gr.value != "BLOCK") Fail(gr, "expected BLOCK or ENDSEC");
            --i_;
            const auto [b, e] = ObjectRange();
            std::string name;
            TAcadPoint base;
            int flags = 0;
            for (std::size_t k = b + 1; k < e; ++k) {
                const Group &g = g_[k];
                if (g.code == 2)
                    name = Name(g);
                else if (g.code == 10)
                    base.x = Real(g);
                else if (g.code == 20)
                    base.y = Real(g);
                else if (g.code == 30)
                    base.z = Real(g);
                else if (g.code == 70)
                    flags = Int(g);
            }
            if (name.empty()) Fail(g_[b], "BLOCK without a name");
            // Model and paper space blocks of R2000+ files carry no definition we keep; a layout's
            // contents live in ENTITIES.
            // R12 producers spell them "$MODEL_SPACE".
            const std::string upper = UpperAscii(name);
            const bool layout =
                upper.starts_with("*MODEL_SPACE") || upper.starts_with("*PAPER_SPACE") ||
                upper.starts_with("$MODEL_SPACE") || upper.starts_with("$PAPER_SPACE");
            // Anonymous blocks (dynamic block states, "*U12") are kept: model-space references
            // use them. Only the anonymous and external-reference flags are kept.
            if (layout || d_.FindBlock(name)) {
                Entities("\x01");
                // Layouts (with any paper-space contents) are kept whole. A second definition of
                // a name is a fault of the file: the first one is the block, the other is kept
                // as read. R12 layout blocks are empty but for a few producers: those are named.
                if (!layout)
                    d_.kept.repeatedBlocks.push_back(Raw(b, i_));
                else if (version_ >= "AC1015")
                    d_.kept.layoutBlocks.push_back(Raw(b, i_));
                else if (endBlock_.first > e)
                    d_.kept.dropped.push_back("the contents of R12 layout block " +
                                              QuoteForMessage(name) + " (line " +
                                              std::to_string(g_[b].line) + ")");
            } else {
                d_.AddBlock(name, base, flags & (1 | 4));
                Entities(name);
                d_.kept.blocks[UpperAscii(name)] = KeptBlock{
                    Raw(b, e), Raw(endBlock_.first, endBlock_.second), base, flags & (1 | 4)};
            }
        }
    }

    // Entities until ENDSEC (owner "") or ENDBLK (a block). Owner "\x01" reads and drops them.
    void Entities(const std::string &owner) {
        const bool inBlock = !owner.empty();
        for (;;) {
            if (owner.empty()) g_.Release(i_);  // the entities before are stored
            Poll(1u << 10);
            if (AtEnd()) Next(inBlock ? "ENDBLK" : "ENDSEC");
            const Group &gr = g_[i_];
            if (gr.code != 0) Fail(gr, "expected an entity (group 0)");
            if (!inBlock && gr.value == "ENDSEC") {
                ++i_;
                return;
            }
            if (inBlock && gr.value == "ENDBLK") {
                endBlock_ = ObjectRange();
                return;
            }
            if (gr.value == "ENDSEC" || gr.value == "EOF" || gr.value == "SECTION" ||
                gr.value == "ENDBLK" || gr.value == "BLOCK")
                Fail(gr, std::string(inBlock ? "block" : "section") + " ends without " +
                             (inBlock ? "ENDBLK" : "ENDSEC"));
            const std::size_t at = i_;
            auto entity = Entity();
            if (owner == "\x01") continue;
            if (entity) {
                if (entity->kind == EntityKind::Insert && !d_.FindBlock(entity->blockName) &&
                    !inBlock)
                    Fail(g_[at],
                         "INSERT of an undefined block " + QuoteForMessage(entity->blockName));
                const bool isInsert = entity->kind == EntityKind::Insert;
                const std::uint64_t handle = entity->handle;
                const EntityId id = d_.Add(std::move(*entity), owner);
                if (isInsert && inBlock) blockInserts_.push_back({id, g_[at].line});
                if (handle != 0) KeepSlice(id, handle, at, i_);
            } else {
                // Kinds the drawing does not model, and paper-space entities, are kept as read.
                d_.AddRaw(Raw(at, i_), owner);
            }
        }
    }

    // Common groups; returns false when the group was not one of them.
    bool Common(const Group &gr, EntityData &e, bool &paper) {
        switch (gr.code) {
            case 5: {
                std::uint64_t h = 0;
                std::string_view v = Trim(gr.value);
                for (char c : v) {
                    int dgt = -1;
                    if (c >= '0' && c <= '9')
                        dgt = c - '0';
                    else if (c >= 'A' && c <= 'F')
                        dgt = c - 'A' + 10;
                    else if (c >= 'a' && c <= 'f')
                        dgt = c - 'a' + 10;
                    if (dgt < 0 || v.size() > 16) FailValue(gr, "a handle must be hexadecimal");
                    h = h * 16 + static_cast<std::uint64_t>(dgt);
                }
                e.handle = h;
                return true;
            }
            case 8:
                e.layer = Name(gr);
                return true;
            case 6:
                e.linetype = Name(gr);
                return true;
            case 62:
                e.color = Int(gr);
                return true;
            case 39:
                e.thickness = Real(gr);
                return true;
            case 210:
                e.normal.x = Real(gr);
                return true;
            case 220:
                e.normal.y = Real(gr);
                return true;
            case 230:
                e.normal.z = Real(gr);
                return true;
            case 67:
                paper = Int(gr) != 0;
                return true;
            default:
                return false;
        }
    }

    static bool Point(const Group &gr, int base, TAcadPoint &p, Parser &self) {
        if (gr.code == base)
            p.x = self.Real(gr);
        else if (gr.code == base + 10)
            p.y = self.Real(gr);
        else if (gr.code == base + 20)
            p.z = self.Real(gr);
        else
            return false;
        return true;
    }

    // Parses the entity at the cursor (with its VERTEX/ATTRIB followers); nullopt for a skipped
    // one.
    std::optional<EntityData> Entity() {
        const Group &head = g_[i_];
        const std::string type(head.value);
        const auto range = ObjectRange();
        const std::size_t b = range.first, e = range.second;
        EntityData d;
        bool paper = false;
        unsigned seen = 0;  // bit per required group
        auto need = [&](unsigned mask, const char *what) {
            if ((seen & mask) != mask) Fail(head, type + " lacks its " + what);
        };
        auto each = [&](auto &&fn) {
            for (std::size_t k = b + 1; k < e; ++k) {
                const Group &gr = g_[k];
                if (!Common(gr, d, paper)) fn(gr);
            }
        };
        if (type == "LINE") {
            d.kind = EntityKind::Line;
            each([&](const Group &gr) {
                if (Point(gr, 10, d.p1, *this))
                    seen |= gr.code == 10 ? 1 : gr.code == 20 ? 2 : 0;
                else if (Point(gr, 11, d.p2, *this))
                    seen |= gr.code == 11 ? 4 : gr.code == 21 ? 8 : 0;
            });
            need(15, "start or end point");
        } else if (type == "POINT") {
            d.kind = EntityKind::Point;
            each([&](const Group &gr) {
                if (Point(gr, 10, d.p1, *this)) seen |= gr.code == 10 ? 1 : gr.code == 20 ? 2 : 0;
            });
            need(3, "location");
        } else if (type == "CIRCLE" || type == "ARC") {
            d.kind = type == "ARC" ? EntityKind::Arc : EntityKind::Circle;
            each([&](const Group &gr) {
                if (Point(gr, 10, d.p1, *this))
                    seen |= gr.code == 10 ? 1 : gr.code == 20 ? 2 : 0;
                else if (gr.code == 40)
                    d.radius = Real(gr), seen |= 4;
                else if (gr.code == 50)
                    d.startAngle = Real(gr) * kDegToRad, seen |= 8;
                else if (gr.code == 51)
                    d.endAngle = Real(gr) * kDegToRad, seen |= 16;
            });
            need(7, "centre or radius");
            if (d.kind == EntityKind::Arc) need(24, "start or end angle");
            if (!(d.radius > 0.0)) return Degenerate(head, d, "radius " + Short(d.radius));
        } else if (type == "ELLIPSE") {
            d.kind = EntityKind::Ellipse;
            d.endAngle = 2.0 * std::numbers::pi;
            each([&](const Group &gr) {
                if (Point(gr, 10, d.p1, *this))
                    seen |= gr.code == 10 ? 1 : gr.code == 20 ? 2 : 0;
                else if (Point(gr, 11, d.p2, *this))
                    seen |= gr.code == 11 ? 4 : gr.code == 21 ? 8 : 0;
                else if (gr.code == 40)
                    d.ratio = Real(gr), seen |= 16;
                else if (gr.code == 41)
                    d.startAngle = Real(gr);
                else if (gr.code == 42)
                    d.endAngle = Real(gr);
            });
            need(31, "centre, major axis or ratio");
            if (!(d.ratio > 0.0 && d.ratio <= 1.0))
                return Degenerate(head, d, "axis ratio " + Short(d.ratio) + " outside (0, 1]");
            if (d.p2.x == 0.0 && d.p2.y == 0.0 && d.p2.z == 0.0)
                return Degenerate(head, d, "a major axis of length 0");
        } else if (type == "TEXT") {
            d.kind = EntityKind::Text;
            bool hasAlign = false;
            each([&](const Group &gr) {
                if (Point(gr, 10, d.p1, *this))
                    seen |= gr.code == 10 ? 1 : gr.code == 20 ? 2 : 0;
                else if (Point(gr, 11, d.p2, *this))
                    hasAlign = true;
                else if (gr.code == 40)
                    d.height = Real(gr), seen |= 4;
                else if (gr.code == 1)
                    d.text = Text(gr), seen |= 8;
                else if (gr.code == 50)
                    d.rotation = Real(gr) * kDegToRad;
                else if (gr.code == 41)
                    d.widthFactor = Real(gr);
                else if (gr.code == 72)
                    d.hAlign = Int(gr);
                else if (gr.code == 73)
                    d.vAlign = Int(gr);
                else if (gr.code == 7)
                    d.style = Name(gr);
            });
            need(15, "insertion point, height or text");
            if (!hasAlign) d.p2 = d.p1;
        } else if (type == "INSERT") {
            d.kind = EntityKind::Insert;
            bool attribs = false;
            each([&](const Group &gr) {
                if (Point(gr, 10, d.p1, *this))
                    seen |= gr.code == 10 ? 1 : gr.code == 20 ? 2 : 0;
                else if (gr.code == 2)
                    d.blockName = Name(gr), seen |= 4;
                else if (gr.code == 41)
                    d.sx = Real(gr);
                else if (gr.code == 42)
                    d.sy = Real(gr);
                else if (gr.code == 43)
                    d.sz = Real(gr);
                else if (gr.code == 50)
                    d.rotation = Real(gr) * kDegToRad;
                else if (gr.code == 66)
                    attribs = Int(gr) != 0;
                else if ((gr.code == 70 || gr.code == 71) && Int(gr) > 1)
                    Fail(gr, "INSERT arrays (MINSERT) are not supported");
            });
            need(7, "insertion point or block name");
            if (attribs) SkipFollowers("ATTRIB");
        } else if (type == "LWPOLYLINE") {
            d.kind = EntityKind::LwPolyline;
            int declared = -1;
            each([&](const Group &gr) {
                if (gr.code == 10) {
                    d.vertices.push_back({{Real(gr), 0.0, 0.0}, 0.0});
                    seen |= 1;
                } else if (gr.code == 20 || gr.code == 42) {
                    if (d.vertices.empty()) Fail(gr, "a vertex value before the first vertex");
                    if (gr.code == 20)
                        d.vertices.back().pt.y = Real(gr);
                    else
                        d.vertices.back().bulge = Real(gr);
                } else if (gr.code == 38)
                    d.elevation = Real(gr);
                else if (gr.code == 70)
                    d.closed = (Int(gr) & 1) != 0;
                else if (gr.code == 90)
                    declared = Int(gr);
            });
            if (declared >= 0 && declared != static_cast<int>(d.vertices.size()))
                Fail(head, "LWPOLYLINE declares " + std::to_string(declared) +
                               " vertices but has " + std::to_string(d.vertices.size()));
        } else if (type == "POLYLINE") {
            int flags = 0;
            TAcadPoint origin;
            each([&](const Group &gr) {
                if (Point(gr, 10, origin, *this)) {
                } else if (gr.code == 70)
                    flags = Int(gr);
            });
            const bool mesh = (flags & (16 | 64)) != 0;
            d.kind = (flags & 8) ? EntityKind::Polyline3d : EntityKind::Polyline2d;
            d.closed = (flags & 1) != 0;
            d.elevation = origin.z;
            Vertices(d, head);
            if (mesh) return Skip("POLYLINE mesh", paper);
        } else {
            if (type == "ATTRIB" || type == "VERTEX" || type == "SEQEND")
                Fail(head, type + " outside a POLYLINE or INSERT");
            if (type.empty()) Fail(head, "an empty entity type");
            ++d_.skipped[type];
            return std::nullopt;
        }
        if (paper) return Skip(type, paper);
        CheckNumbers(head, d);
        return d;
    }

    // Numbers no site can have (a coordinate of 1e308, a thickness of 1e12, a bulge of 1e9)
    // would overflow or size the work past any memory: the entity is refused by its line and
    // handle, before anything is computed from it.
    void CheckNumbers(const Group &head, const EntityData &d) {
        using geometry::kMaxBulge;
        using geometry::kMaxDrawingNumber;
        const auto refuse = [&](const char *what, double v, double limit) {
            std::string name = std::string(head.value);
            if (d.handle != 0) {
                char buf[24];
                std::snprintf(buf, sizeof buf, " %llX", static_cast<unsigned long long>(d.handle));
                name += buf;
            }
            Fail(head, name + ": " + what + " " + Short(v) +
                           " is beyond what a drawing of a site " + "holds (at most " +
                           Short(limit) + ")");
        };
        const auto number = [&](const char *what, double v) {
            if (std::abs(v) > kMaxDrawingNumber) refuse(what, v, kMaxDrawingNumber);
        };
        const auto point = [&](const TAcadPoint &p) {
            number("the coordinate", p.x);
            number("the coordinate", p.y);
            number("the coordinate", p.z);
        };
        point(d.p1);
        point(d.p2);
        number("the elevation", d.elevation);
        number("the thickness", d.thickness);
        number("the radius", d.radius);
        number("the height", d.height);
        for (const Vertex &v : d.vertices) {
            point(v.pt);
            if (std::abs(v.bulge) > kMaxBulge) refuse("the bulge", v.bulge, kMaxBulge);
        }
    }

    static std::string Short(double v) {
        std::ostringstream out;
        out.imbue(std::locale::classic());
        out << v;
        return out.str();
    }

    // A curve without a proper size (a circle of radius 0, an ellipse without an axis) is kept
    // as read and noted, as CAD programs keep it; it draws nothing and is no building. Lines of
    // length 0 and one-point polylines are modelled as they are (the wireframe has them).
    std::optional<EntityData> Degenerate(const Group &head, const EntityData &d,
                                         const std::string &why) {
        std::string note = std::string(head.value);
        if (d.handle != 0) {
            char buf[24];
            std::snprintf(buf, sizeof buf, " %llX", static_cast<unsigned long long>(d.handle));
            note += buf;
        }
        note += " (line " + std::to_string(head.line) + "): " + why;
        d_.degenerate.push_back(std::move(note));
        return std::nullopt;
    }

    std::optional<EntityData> Skip(const std::string &what, bool paper) {
        ++d_.skipped[paper ? "paper space" : what];
        return std::nullopt;
    }

    void Vertices(EntityData &d, const Group &head) {
        for (;;) {
            if (AtEnd()) Fail(head, "POLYLINE without SEQEND");
            const Group &gr = g_[i_];
            if (gr.code != 0) Fail(gr, "expected VERTEX or SEQEND");
            if (gr.value == "SEQEND") {
                ObjectRange();
                return;
            }
            if (gr.value != "VERTEX") Fail(gr, "POLYLINE without SEQEND");
            const auto [b, e] = ObjectRange();
            Vertex v;
            int flags = 0;
            unsigned seen = 0;
            for (std::size_t k = b + 1; k < e; ++k) {
                const Group &g = g_[k];
                if (Point(g, 10, v.pt, *this))
                    seen |= g.code == 10 ? 1 : g.code == 20 ? 2 : 0;
                else if (g.code == 42)
                    v.bulge = Real(g);
                else if (g.code == 70)
                    flags = Int(g);
            }
            if (seen != 3) Fail(gr, "VERTEX lacks its location");
            if (flags & 16) continue;  // spline frame control point
            if (d.kind == EntityKind::Polyline2d) v.pt.z = 0.0;
            d.vertices.push_back(v);
        }
    }

    void SkipFollowers(const char *type) {
        for (;;) {
            if (AtEnd()) Next("SEQEND");
            const Group &gr = g_[i_];
            if (gr.code == 0 && gr.value == "SEQEND") {
                ObjectRange();
                return;
            }
            if (gr.code != 0 || gr.value != type)
                Fail(gr, std::string("expected ") + type + " or SEQEND");
            ObjectRange();
        }
    }
};

}  // namespace

RawGroups GroupsIn(const SourceText &text, std::uint64_t begin, std::uint64_t end) {
    if (!text.bytes || begin > end || end > text.bytes->size())
        throw CadError("The drawing's source text does not hold the entity");
    const std::string source = "DXF";
    Tokenizer tokens(std::string_view(*text.bytes).substr(begin, end - begin), source);
    RawGroups out;
    std::string error;
    for (Group gr; tokens.Next(gr);) {
        out.push_back({gr.code, DecodeValue(gr.value, text.version, text.codepage, error)});
        if (!error.empty()) throw CadError("The drawing's source text changed: " + error);
    }
    return out;
}

Drawing ReadDxf(std::shared_ptr<const std::string> bytes, const std::string &source,
                const std::function<bool()> &keepGoing) {
    Parser parser(std::move(bytes), source, keepGoing);
    return parser.Run();
}

Drawing ReadDxf(std::string_view bytes, const std::string &source) {
    return ReadDxf(std::make_shared<const std::string>(bytes), source);
}

Drawing OpenDxf(const std::filesystem::path &path, const std::function<bool()> &keepGoing) {
    const std::string source = path.filename().string();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw DxfError(source, 0, "the file does not exist or is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw DxfError(source, 0, "the file cannot be opened");
    // Read into one buffer of the file's size (a string stream would hold it twice); the drawing
    // keeps it for the entities it does not change.
    // It is read in pieces of 4 MB, a stop heard between them.
    auto bytes = std::make_shared<std::string>();
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec) bytes->reserve(static_cast<std::size_t>(size));
    std::vector<char> piece(std::size_t{4} << 20);
    while (in) {
        if (keepGoing && !keepGoing()) throw ReadStopped(source);
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        bytes->append(piece.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) throw DxfError(source, 0, "the file cannot be read");
    return ReadDxf(std::shared_ptr<const std::string>(std::move(bytes)), source, keepGoing);
}

}  // namespace pimu::cadlink::embedded
