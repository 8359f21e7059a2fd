// Saving the embedded drawing as R2000 DXF with the tables, block records and owner links that
// CAD programs expect of that version.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <optional>

#include "base/atomic_file.h"
#include "cadlink/embedded/dxfio.h"
#include "cadlink/textcodec.h"

namespace pimu::cadlink::embedded {

namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;

std::string Hex(std::uint64_t h) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(h));
    return buf;
}

// Shortest text that reads back as the same double.
std::string Num(double v) {
    if (v == 0.0) return "0.0";
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, res.ptr);
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

// A \U+XXXX escape of a character the code page lacks (four hex digits: U+FFFD beyond them).
std::string Escape(unsigned cp) {
    char buf[16];
    if (cp > 0xFFFF) cp = 0xFFFD;
    std::snprintf(buf, sizeof buf, "\\U+%04X", cp);
    return buf;
}

// UTF-8 -> ANSI_1252 as the reader decodes it (a byte per character up to U+00FF); other
// characters become \U+XXXX escapes.
std::string EncodeLatin(const std::string &utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        unsigned cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        if (cp <= 0xFF)
            out += static_cast<char>(cp);
        else
            out += Escape(cp);
    }
    return out;
}

// UTF-8 -> Shift-JIS; characters that Shift-JIS lacks become \U+XXXX escapes.
std::string Encode(const std::string &utf8) {
    try {
        return Utf8ToCp932(utf8);
    } catch (const TextCodecError &) {
    }
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        const std::string ch = utf8.substr(i, len);
        i += len;
        try {
            out += Utf8ToCp932(ch);
        } catch (const TextCodecError &) {
            unsigned cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
            for (std::size_t k = 1; k < ch.size(); ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
            char buf[16];
            if (cp > 0xFFFF) cp = 0xFFFD;  // the escape holds four hex digits only
            std::snprintf(buf, sizeof buf, "\\U+%04X", cp);
            out += buf;
        }
    }
    return out;
}

// Thrown by the writer when its keepGoing answers false.
struct TextStopped {};

class Writer {
public:
    explicit Writer(const Drawing &d, const std::function<bool()> *keepGoing = nullptr)
        : d_(d),
          next_(d.HandleSeed() + 1),
          legacy_(d.sourceVersion < "AC1015"),
          keepGoing_(keepGoing) {}

    std::string Run() {
        const KeptContent &k = d_.kept;
        if (!k.dropped.empty()) {
            std::string list;
            for (const std::string &what : k.dropped) list += (list.empty() ? "" : "; ") + what;
            throw DxfError("DXF", 0, "the drawing cannot be saved without losing " + list);
        }
        if (!k.tables.empty() || !k.header.empty() || !k.layoutBlocks.empty() ||
            !k.repeatedBlocks.empty() || k.classes || k.objects || !k.otherSections.empty())
            return RunKept();
        return RunGenerated();
    }

private:
    std::string RunGenerated() {
        // Handles of the structure objects come after the entities' own.
        const std::uint64_t ltypeTable = New(), layerTable = New(), styleTable = New(),
                            appidTable = New(), vportTable = New(), viewTable = New(),
                            ucsTable = New(), dimTable = New(), brTable = New(), rootDict = New(),
                            groupDict = New();
        const std::uint64_t modelRecord = New(), paperRecord = New();
        std::vector<std::uint64_t> blockRecords;
        for (std::size_t k = 0; k < d_.Blocks().size(); ++k) blockRecords.push_back(New());

        // The header's seed must exceed every handle; it is known only at the end.
        std::string body;
        std::swap(body, out_);

        G(0, "SECTION"), G(2, "CLASSES"), G(0, "ENDSEC");
        G(0, "SECTION"), G(2, "TABLES");
        Table("VPORT", vportTable, 0);
        G(0, "ENDTAB");
        Table("LTYPE", ltypeTable, static_cast<int>(d_.Linetypes().size()));
        for (const LinetypeRecord &lt : d_.Linetypes()) LinetypeEntry(lt, 0, ltypeTable);
        G(0, "ENDTAB");
        Table("LAYER", layerTable, static_cast<int>(d_.Layers().size()));
        for (const LayerRecord &l : d_.Layers()) LayerEntry(l, 0, layerTable);
        G(0, "ENDTAB");
        // Every text style the texts name gets an entry, so the file stays self-consistent.
        const std::vector<std::string> styles = TextStyles();
        Table("STYLE", styleTable, static_cast<int>(styles.size()));
        for (const std::string &style : styles) StyleEntry(style, styleTable);
        G(0, "ENDTAB");
        Table("VIEW", viewTable, 0);
        G(0, "ENDTAB");
        Table("UCS", ucsTable, 0);
        G(0, "ENDTAB");
        Table("APPID", appidTable, 1);
        G(0, "APPID"), G(5, Hex(New())), G(330, Hex(appidTable));
        G(100, "AcDbSymbolTableRecord"), G(100, "AcDbRegAppTableRecord"), G(2, "ACAD"), G(70, "0");
        G(0, "ENDTAB");
        Table("DIMSTYLE", dimTable, 0);
        G(0, "ENDTAB");
        Table("BLOCK_RECORD", brTable, static_cast<int>(d_.Blocks().size()) + 2);
        BlockRecordEntry(modelRecord, brTable, "*Model_Space");
        BlockRecordEntry(paperRecord, brTable, "*Paper_Space");
        for (std::size_t k = 0; k < d_.Blocks().size(); ++k)
            BlockRecordEntry(blockRecords[k], brTable, E(d_.Blocks()[k].name));
        G(0, "ENDTAB");
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "BLOCKS");
        Block(modelRecord, "*Model_Space", {}, std::nullopt, 0);
        Block(paperRecord, "*Paper_Space", {}, std::nullopt, 0);
        for (std::size_t k = 0; k < d_.Blocks().size(); ++k) {
            const BlockRecord &b = d_.Blocks()[k];
            Block(blockRecords[k], E(b.name), b.base, b.name, b.flags);
        }
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "ENTITIES");
        Contents("", modelRecord);
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "OBJECTS");
        G(0, "DICTIONARY"), G(5, Hex(rootDict)), G(330, "0"), G(100, "AcDbDictionary");
        G(281, "1"), G(3, "ACAD_GROUP"), G(350, Hex(groupDict));
        G(0, "DICTIONARY"), G(5, Hex(groupDict)), G(330, Hex(rootDict)), G(100, "AcDbDictionary");
        G(281, "1");
        G(0, "ENDSEC");
        OtherSections();
        G(0, "EOF");

        std::swap(body, out_);
        Header();
        return out_ + body;
    }

    // A drawing read from an R2000+ file: what it kept is written back as read, with the handles
    // it had; only what changed or is new is written anew.
    std::string RunKept() {
        const KeptContent &k = d_.kept;
        version_ = d_.sourceVersion >= "AC1015" ? d_.sourceVersion : "AC1015";
        utf8_ = version_ >= "AC1021";
        std::string body;
        std::swap(body, out_);

        // Block records keep their handles: kept entities and objects point at them.
        const KeptTable *records = FindTable("BLOCK_RECORD");
        std::map<std::string, std::uint64_t> recordHandles;
        if (records)
            for (const RawGroups &entry : records->entries)
                recordHandles.emplace(UpperAscii(Value(entry, 2)), HandleIn(entry));
        auto record = [&](const std::string &name) {
            auto [it, added] = recordHandles.emplace(UpperAscii(name), 0);
            if (added || it->second == 0) it->second = New();
            return it->second;
        };
        const std::uint64_t modelRecord = record("*Model_Space");
        const std::uint64_t paperRecord = record("*Paper_Space");
        for (const BlockRecord &b : d_.Blocks()) record(b.name);

        G(0, "SECTION"), G(2, "CLASSES");
        if (k.classes) Raw(*k.classes);
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "TABLES");
        static const char *const kOrder[] = {"VPORT", "LTYPE", "LAYER",    "STYLE",       "VIEW",
                                             "UCS",   "APPID", "DIMSTYLE", "BLOCK_RECORD"};
        for (const char *name : kOrder) KeptTableOut(name, recordHandles);
        for (const KeptTable &t : k.tables) {
            bool standard = false;
            for (const char *name : kOrder) standard = standard || t.name == name;
            if (!standard) KeptTableOut(t.name, recordHandles);
        }
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "BLOCKS");
        if (k.layoutBlocks.empty()) {
            Block(modelRecord, "*Model_Space", {}, std::nullopt, 0);
            Block(paperRecord, "*Paper_Space", {}, std::nullopt, 0);
        }
        for (const RawGroups &layout : k.layoutBlocks) Raw(layout);
        for (const BlockRecord &b : d_.Blocks()) {
            const std::uint64_t rec = recordHandles.at(UpperAscii(b.name));
            auto kb = k.blocks.find(UpperAscii(b.name));
            if (kb == k.blocks.end() || legacy_) {
                Block(rec, E(b.name), b.base, b.name, b.flags);
                continue;
            }
            if (kb->second.base == b.base && kb->second.flags == b.flags) {
                Raw(kb->second.begin);
            } else {
                const std::uint64_t h = HandleIn(kb->second.begin);
                G(0, "BLOCK"), G(5, Hex(h ? h : New())), G(330, Hex(rec)), G(100, "AcDbEntity");
                G(8, "0"), G(100, "AcDbBlockBegin"), G(2, E(b.name)),
                    G(70, std::to_string(b.flags));
                P(10, b.base), G(3, E(b.name)), G(1, "");
            }
            Contents(b.name, rec);
            Raw(kb->second.end);
        }
        for (const RawGroups &repeated : k.repeatedBlocks)
            legacy_ ? LegacyRaw(repeated) : Raw(repeated);
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "ENTITIES");
        Contents("", modelRecord);
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "OBJECTS");
        if (k.objects) {
            Raw(*k.objects);
        } else {
            const std::uint64_t rootDict = New(), groupDict = New();
            G(0, "DICTIONARY"), G(5, Hex(rootDict)), G(330, "0"), G(100, "AcDbDictionary");
            G(281, "1"), G(3, "ACAD_GROUP"), G(350, Hex(groupDict));
            G(0, "DICTIONARY"), G(5, Hex(groupDict)), G(330, Hex(rootDict));
            G(100, "AcDbDictionary"), G(281, "1");
        }
        G(0, "ENDSEC");
        OtherSections();
        G(0, "EOF");

        std::swap(body, out_);
        Header();
        return out_ + body;
    }

    const KeptTable *FindTable(std::string_view name) const {
        for (const KeptTable &t : d_.kept.tables)
            if (t.name == name) return &t;
        return nullptr;
    }

    // The first value of `code` after an object's type group.
    static std::string Value(const RawGroups &groups, int code) {
        for (std::size_t k = 1; k < groups.size(); ++k) {
            if (groups[k].code == 0) break;
            if (groups[k].code == code) return groups[k].value;
        }
        return {};
    }
    static std::uint64_t HandleIn(const RawGroups &groups) {
        std::string v = Value(groups, 105);  // a dimension style's; its group 5 names a block
        if (v.empty()) v = Value(groups, 5);
        std::uint64_t h = 0;
        const auto res = std::from_chars(v.data(), v.data() + v.size(), h, 16);
        return res.ec == std::errc() && res.ptr == v.data() + v.size() ? h : 0;
    }
    static const RawGroups *EntryNamed(const KeptTable *t, std::string_view name) {
        if (!t) return nullptr;
        const std::string key = UpperAscii(name);
        for (const RawGroups &entry : t->entries)
            if (UpperAscii(Value(entry, 2)) == key) return &entry;
        return nullptr;
    }

    // One table of a kept drawing: kept entries as read, changed and new ones written anew.
    void KeptTableOut(const std::string &name,
                      const std::map<std::string, std::uint64_t> &recordHandles) {
        const KeptTable *t = FindTable(name);
        std::uint64_t table = 0;
        if (t)
            for (const RawGroup &g : t->head)
                if (g.code == 5) table = HandleIn({{0, "TABLE"}, g});
        if (!table) table = New();
        std::string entries;
        std::swap(entries, out_);
        int count = 0;
        const KeptContent &k = d_.kept;
        if (name == "LTYPE") {
            for (const LinetypeRecord &lt : d_.Linetypes()) {
                ++count;
                const RawGroups *raw = EntryNamed(t, lt.name);
                auto asRead = k.linetypesAsRead.find(UpperAscii(lt.name));
                if (raw && !legacy_ && asRead != k.linetypesAsRead.end() && asRead->second == lt)
                    Raw(*raw);
                else
                    LinetypeEntry(lt, raw ? HandleIn(*raw) : 0, table);
            }
        } else if (name == "LAYER") {
            for (const LayerRecord &l : d_.Layers()) {
                ++count;
                const RawGroups *raw = EntryNamed(t, l.name);
                auto asRead = k.layersAsRead.find(UpperAscii(l.name));
                if (raw && !legacy_ && asRead != k.layersAsRead.end() && asRead->second == l)
                    Raw(*raw);
                else
                    LayerEntry(l, raw ? HandleIn(*raw) : 0, table);
            }
        } else if (name == "BLOCK_RECORD") {
            if (t)
                for (const RawGroups &entry : t->entries) {
                    const std::string upper = UpperAscii(Value(entry, 2));
                    const bool layout =
                        upper.starts_with("*MODEL_SPACE") || upper.starts_with("*PAPER_SPACE");
                    if (!layout && !d_.FindBlock(upper)) continue;  // removed by a command
                    Raw(entry), ++count;
                }
            for (const char *layout : {"*Model_Space", "*Paper_Space"})
                if (!EntryNamed(t, layout))
                    BlockRecordEntry(recordHandles.at(UpperAscii(layout)), table, layout), ++count;
            for (const BlockRecord &b : d_.Blocks())
                if (!EntryNamed(t, b.name))
                    BlockRecordEntry(recordHandles.at(UpperAscii(b.name)), table, E(b.name)),
                        ++count;
        } else {
            if (t)
                for (const RawGroups &entry : t->entries) {
                    if (legacy_)
                        LegacyEntry(name, entry, table);
                    else
                        Raw(entry);
                    ++count;
                }
            if (name == "STYLE")
                for (const std::string &style : TextStyles())
                    if (!EntryNamed(t, style)) StyleEntry(style, table), ++count;
            if (name == "APPID" && !EntryNamed(t, "ACAD")) {
                G(0, "APPID"), G(5, Hex(New())), G(330, Hex(table));
                G(100, "AcDbSymbolTableRecord"), G(100, "AcDbRegAppTableRecord"), G(2, "ACAD");
                G(70, "0"), ++count;
            }
        }
        std::swap(entries, out_);
        if (t && !legacy_) {
            // The entry count is rewritten; everything else of the table object stays.
            G(0, "TABLE");
            bool counted = false;
            for (const RawGroup &g : t->head) {
                if (g.code == 70 && !counted)
                    G(70, std::to_string(count)), counted = true;
                else
                    G(g.code, E(g.value));
            }
        } else {
            Table(name.c_str(), table, count);
        }
        out_ += entries;
        G(0, "ENDTAB");
    }

    // An R12 table entry with the handle, owner and subclass markers R2000 needs; its own
    // groups follow unchanged, as the R2000 record holds them in the same order.
    void LegacyEntry(const std::string &table, const RawGroups &entry, std::uint64_t owner) {
        static const std::map<std::string, std::string> kRecord = {
            {"VPORT", "AcDbViewportTableRecord"}, {"STYLE", "AcDbTextStyleTableRecord"},
            {"VIEW", "AcDbViewTableRecord"},      {"UCS", "AcDbUCSTableRecord"},
            {"APPID", "AcDbRegAppTableRecord"},   {"DIMSTYLE", "AcDbDimStyleTableRecord"}};
        auto record = kRecord.find(table);
        if (record == kRecord.end() || entry.empty()) {
            Raw(entry);
            return;
        }
        const int handleCode = table == "DIMSTYLE" ? 105 : 5;
        const std::uint64_t h = HandleIn(entry);
        G(0, E(entry.front().value)), G(handleCode, Hex(h ? h : New())), G(330, Hex(owner));
        G(100, "AcDbSymbolTableRecord"), G(100, record->second);
        for (std::size_t k = 1; k < entry.size(); ++k)
            if (entry[k].code != handleCode && entry[k].code != 330 && entry[k].code != 100)
                G(entry[k].code, E(entry[k].value));
    }

    // An R12 entity as read; R2000 needs a handle on every object, so one without gets one.
    void LegacyRaw(const RawGroups &groups) {
        for (std::size_t k = 0; k < groups.size(); ++k) {
            G(groups[k].code, E(groups[k].value));
            if (groups[k].code == 0 && (k + 1 == groups.size() || groups[k + 1].code != 5))
                G(5, Hex(New()));
        }
    }

    void Raw(const RawGroups &groups) {
        for (const RawGroup &g : groups) G(g.code, E(g.value));
    }

    // An owner's entities in drawing order: kept ones and unchanged read ones as read.
    void Contents(const std::string &owner, std::uint64_t record) {
        for (EntityId id : d_.Sequence(owner)) {
            // A large drawing's text takes seconds to build: a stop is heard between entities.
            if (keepGoing_ && ++written_ % kEntitiesPerQuestion == 0 && !(*keepGoing_)())
                throw TextStopped{};
            if (const RawGroups *raw = d_.RawOf(id))
                legacy_ ? LegacyRaw(*raw) : Raw(*raw);
            else if (const std::optional<RawGroups> source = d_.UnchangedSource(id))
                legacy_ ? LegacyRaw(*source) : Raw(*source);
            else if (const std::optional<RawGroups> changed = d_.SourceOf(id))
                Entity(d_.Get(id), record, &*changed);
            else
                Entity(d_.Get(id), record);
        }
    }

    void OtherSections() {
        for (const auto &[name, groups] : d_.kept.otherSections) {
            G(0, "SECTION"), G(2, E(name));
            Raw(groups);
            G(0, "ENDSEC");
        }
    }

    // The kept header with the values this save decides: version, code page, base point, seed.
    void Header() {
        G(0, "SECTION"), G(2, "HEADER");
        G(9, "$ACADVER"), G(1, version_);
        bool codepage = false, insbase = false, handseed = false;
        auto writeCodepage = [&] {
            G(9, "$DWGCODEPAGE"), G(3, latin_ ? "ANSI_1252" : "ANSI_932"), codepage = true;
        };
        auto writeInsbase = [&] {
            G(9, "$INSBASE"), G(10, Num(d_.insBase.x)), G(20, Num(d_.insBase.y)),
                G(30, Num(d_.insBase.z));
            insbase = true;
        };
        auto writeHandseed = [&] { G(9, "$HANDSEED"), G(5, Hex(next_)), handseed = true; };
        for (const RawGroups &var : d_.kept.header) {
            const std::string &name = var.front().value;
            if (name == "$ACADVER") continue;
            if (name == "$DWGCODEPAGE" && !utf8_)
                writeCodepage();
            else if (name == "$INSBASE")
                writeInsbase();
            else if (name == "$HANDSEED")
                writeHandseed();
            else
                Raw(var);
        }
        if (!codepage && !utf8_) writeCodepage();
        if (!insbase) writeInsbase();
        if (!handseed) writeHandseed();
        G(0, "ENDSEC");
    }

    std::vector<std::string> TextStyles() const {
        std::vector<std::string> styles{"STANDARD"};
        auto noteStyle = [&](const EntityData &e) {
            if (e.kind != EntityKind::Text) return;
            for (const std::string &known : styles)
                if (UpperAscii(known) == UpperAscii(e.style)) return;
            styles.push_back(e.style);
        };
        for (EntityId id : d_.ModelSpace()) noteStyle(d_.Get(id));
        for (const BlockRecord &b : d_.Blocks())
            for (EntityId id : b.entities) noteStyle(d_.Get(id));
        return styles;
    }

    void LinetypeEntry(const LinetypeRecord &lt, std::uint64_t handle, std::uint64_t table) {
        G(0, "LTYPE"), G(5, Hex(handle ? handle : New())), G(330, Hex(table));
        G(100, "AcDbSymbolTableRecord"), G(100, "AcDbLinetypeTableRecord");
        G(2, E(lt.name)), G(70, "0"), G(3, E(lt.description)), G(72, "65");
        G(73, std::to_string(lt.pattern.size()));
        double length = 0.0;
        for (double p : lt.pattern) length += std::abs(p);
        G(40, Num(length));
        for (double p : lt.pattern) G(49, Num(p)), G(74, "0");
    }
    void LayerEntry(const LayerRecord &l, std::uint64_t handle, std::uint64_t table) {
        G(0, "LAYER"), G(5, Hex(handle ? handle : New())), G(330, Hex(table));
        G(100, "AcDbSymbolTableRecord"), G(100, "AcDbLayerTableRecord");
        G(2, E(l.name)), G(70, std::to_string(l.flags)), G(62, std::to_string(l.color));
        G(6, E(d_.FindLinetype(l.linetype) ? l.linetype : "CONTINUOUS"));
    }
    void StyleEntry(const std::string &style, std::uint64_t table) {
        G(0, "STYLE"), G(5, Hex(New())), G(330, Hex(table));
        G(100, "AcDbSymbolTableRecord"), G(100, "AcDbTextStyleTableRecord");
        G(2, E(style)), G(70, "0"), G(40, "0.0"), G(41, "1.0"), G(50, "0.0"), G(71, "0");
        G(42, "2.5"), G(3, "txt"), G(4, "");
    }

    static constexpr std::size_t kEntitiesPerQuestion = 4096;
    const Drawing &d_;
    std::uint64_t next_;
    std::string out_;
    std::string version_ = "AC1015";
    bool utf8_ = false;
    // Read in ANSI_1252: saved in it (any other drawing is saved in ANSI_932).
    bool latin_ = UpperAscii(d_.sourceCodepage) == "ANSI_1252";
    bool legacy_;  // read from an R12 file: its own groups lack what R2000 needs
    const std::function<bool()> *keepGoing_ = nullptr;
    std::size_t written_ = 0;

    std::string E(const std::string &utf8) const {
        return utf8_ ? utf8 : latin_ ? EncodeLatin(utf8) : Encode(utf8);
    }

    std::uint64_t New() { return next_++; }

    void G(int code, const std::string &value) {
        // A line break inside a value would end the group early and corrupt everything after it.
        if (value.find_first_of("\r\n") != std::string::npos)
            throw DxfError("DXF", 0, "group " + std::to_string(code) + " would hold a line break");
        char buf[8];
        std::snprintf(buf, sizeof buf, "%3d", code);
        out_ += buf;
        out_ += "\r\n";
        out_ += value;
        out_ += "\r\n";
    }
    void P(int code, const TAcadPoint &p) {
        G(code, Num(p.x)), G(code + 10, Num(p.y)), G(code + 20, Num(p.z));
    }

    void Table(const char *name, std::uint64_t handle, int count) {
        G(0, "TABLE"), G(2, name), G(5, Hex(handle)), G(330, "0");
        G(100, "AcDbSymbolTable");
        G(70, std::to_string(count));
        if (std::string_view(name) == "DIMSTYLE") G(100, "AcDbDimStyleTable");
    }

    void BlockRecordEntry(std::uint64_t handle, std::uint64_t table, const std::string &name) {
        G(0, "BLOCK_RECORD"), G(5, Hex(handle)), G(330, Hex(table));
        G(100, "AcDbSymbolTableRecord"), G(100, "AcDbBlockTableRecord"), G(2, name);
    }

    // `owner`: the block whose contents follow; none for an empty layout block.
    void Block(std::uint64_t record, const std::string &name, const TAcadPoint &base,
               const std::optional<std::string> &owner, int flags) {
        G(0, "BLOCK"), G(5, Hex(New())), G(330, Hex(record)), G(100, "AcDbEntity"), G(8, "0");
        G(100, "AcDbBlockBegin"), G(2, name), G(70, std::to_string(flags)), P(10, base), G(3, name),
            G(1, "");
        if (owner) Contents(*owner, record);
        G(0, "ENDBLK"), G(5, Hex(New())), G(330, Hex(record)), G(100, "AcDbEntity"), G(8, "0");
        G(100, "AcDbBlockEnd");
    }

    // `source`: the groups a changed entity was read from; what the model lacks of them is
    // carried over (reactors and extension dictionary, common properties, XDATA, attributes).
    void Head(const char *type, const EntityData &e, std::uint64_t handle, std::uint64_t owner,
              const RawGroups *source = nullptr) {
        G(0, type), G(5, Hex(handle)), G(330, Hex(owner));
        std::size_t end = source ? ObjectEnd(*source) : 0;
        for (std::size_t k = 1, depth = 0; k < end; ++k) {
            const RawGroup &g = (*source)[k];
            if (g.code == 1001) break;
            if (g.code == 102 && g.value.starts_with("{")) ++depth;
            if (depth > 0) G(g.code, E(g.value));
            if (g.code == 102 && g.value == "}" && depth > 0) --depth;
        }
        G(100, "AcDbEntity");
        G(8, E(e.layer));
        if (UpperAscii(e.linetype) != "BYLAYER") G(6, E(e.linetype));
        if (e.color != 256) G(62, std::to_string(e.color));
        static constexpr int kCommon[] = {370, 420, 430, 440, 48, 60, 347, 348, 390, 284};
        for (std::size_t k = 1; k < end; ++k) {
            const RawGroup &g = (*source)[k];
            if (g.code == 1001) break;
            for (int c : kCommon)
                if (g.code == c) G(g.code, E(g.value));
        }
    }
    // Where the entity's own groups end and its followers (VERTEX, ATTRIB, SEQEND) begin.
    static std::size_t ObjectEnd(const RawGroups &groups) {
        for (std::size_t k = 1; k < groups.size(); ++k)
            if (groups[k].code == 0) return k;
        return groups.size();
    }
    void Xdata(const RawGroups *source) {
        if (!source) return;
        const std::size_t end = ObjectEnd(*source);
        bool on = false;
        for (std::size_t k = 1; k < end; ++k) {
            on = on || (*source)[k].code == 1001;
            if (on) G((*source)[k].code, E((*source)[k].value));
        }
    }
    static bool HasAttributes(const RawGroups *source) {
        if (!source) return false;
        const std::size_t end = ObjectEnd(*source);
        return end < source->size() && (*source)[end].value == "ATTRIB";
    }
    void Normal(const EntityData &e) {
        if (!(e.normal.x == 0.0 && e.normal.y == 0.0 && e.normal.z == 1.0)) P(210, e.normal);
    }
    void Thickness(const EntityData &e) {
        if (e.thickness != 0.0) G(39, Num(e.thickness));
    }

    // A changed entity is written from the model; a group of its source that neither the model
    // nor the carried-over groups hold would be lost, so the save stops instead.
    void CheckCarried(const EntityData &e, const RawGroups &source) {
        static const std::map<EntityKind, std::vector<int>> kOwn = {
            {EntityKind::Line, {10, 20, 30, 11, 21, 31}},
            {EntityKind::Point, {10, 20, 30}},
            {EntityKind::Circle, {10, 20, 30, 40}},
            {EntityKind::Arc, {10, 20, 30, 40, 50, 51}},
            {EntityKind::Ellipse, {10, 20, 30, 11, 21, 31, 40, 41, 42}},
            {EntityKind::LwPolyline, {90, 70, 38, 10, 20, 42}},
            {EntityKind::Polyline2d, {66, 10, 20, 30, 70, 42}},
            {EntityKind::Polyline3d, {66, 10, 20, 30, 70, 42}},
            {EntityKind::Text, {10, 20, 30, 11, 21, 31, 40, 1, 50, 41, 72, 73, 7}},
            {EntityKind::Insert, {2, 10, 20, 30, 41, 42, 43, 50, 66}}};
        static const int kCommon[] = {0,  5,   330, 100, 8,   6,  62, 39,  210, 220, 230,
                                      67, 370, 420, 430, 440, 48, 60, 347, 348, 390, 284};
        const std::vector<int> &own = kOwn.at(e.kind);
        // ATTRIB followers are carried whole; VERTEX and SEQEND ones are written anew.
        const std::size_t end = e.kind == EntityKind::Insert ? ObjectEnd(source) : source.size();
        const std::size_t head = ObjectEnd(source);
        int depth = 0;
        for (std::size_t k = 1; k < end; ++k) {
            const RawGroup &g = source[k];
            bool known = false;
            if (g.code == 0) {
                if (g.value != "VERTEX" && g.value != "SEQEND") break;
                known = true;
            } else if (g.code >= 1000 || depth > 0) {
                known = true;  // XDATA, reactors and extension dictionary: carried
                if (g.code == 102 && g.value == "}") --depth;
            } else if (g.code == 102) {
                known = g.value.starts_with("{");
                depth += known ? 1 : 0;
            } else if (k > head && g.code == 70) {
                int flags = 0;
                std::from_chars(g.value.data(), g.value.data() + g.value.size(), flags);
                known = (flags & 16) == 0;  // spline frame points are not kept
            } else {
                known = std::find(own.begin(), own.end(), g.code) != own.end();
                for (int c : kCommon) known = known || g.code == c;
            }
            if (!known)
                throw DxfError("DXF", 0,
                               source.front().value + " " + Hex(e.handle) +
                                   " was changed and holds group " + std::to_string(g.code) +
                                   " that cannot be written back; the drawing was not saved");
        }
    }

    void Entity(const EntityData &e, std::uint64_t owner, const RawGroups *source = nullptr) {
        if (source) CheckCarried(e, *source);
        const RawGroups *src = source;
        switch (e.kind) {
            case EntityKind::Line:
                Head("LINE", e, e.handle, owner, src), G(100, "AcDbLine"), Thickness(e);
                P(10, e.p1), P(11, e.p2), Normal(e);
                break;
            case EntityKind::Point:
                Head("POINT", e, e.handle, owner, src), G(100, "AcDbPoint"), P(10, e.p1),
                    Thickness(e);
                Normal(e);
                break;
            case EntityKind::Circle:
            case EntityKind::Arc:
                Head(e.kind == EntityKind::Arc ? "ARC" : "CIRCLE", e, e.handle, owner, src);
                G(100, "AcDbCircle"), Thickness(e), P(10, e.p1), G(40, Num(e.radius)), Normal(e);
                if (e.kind == EntityKind::Arc)
                    G(100, "AcDbArc"), G(50, Num(e.startAngle * kRadToDeg)),
                        G(51, Num(e.endAngle * kRadToDeg));
                break;
            case EntityKind::Ellipse:
                Head("ELLIPSE", e, e.handle, owner, src), G(100, "AcDbEllipse"), P(10, e.p1),
                    P(11, e.p2);
                Normal(e), G(40, Num(e.ratio)), G(41, Num(e.startAngle)), G(42, Num(e.endAngle));
                break;
            case EntityKind::LwPolyline:
                Head("LWPOLYLINE", e, e.handle, owner, src), G(100, "AcDbPolyline");
                G(90, std::to_string(e.vertices.size())), G(70, e.closed ? "1" : "0");
                if (e.elevation != 0.0) G(38, Num(e.elevation));
                Thickness(e);
                for (const Vertex &v : e.vertices) {
                    G(10, Num(v.pt.x)), G(20, Num(v.pt.y));
                    if (v.bulge != 0.0) G(42, Num(v.bulge));
                }
                Normal(e);
                break;
            case EntityKind::Polyline2d:
            case EntityKind::Polyline3d: {
                const bool is3d = e.kind == EntityKind::Polyline3d;
                Head("POLYLINE", e, e.handle, owner, src);
                G(100, is3d ? "AcDb3dPolyline" : "AcDb2dPolyline"), G(66, "1");
                P(10, {0.0, 0.0, is3d ? 0.0 : e.elevation}), Thickness(e);
                G(70, std::to_string((e.closed ? 1 : 0) | (is3d ? 8 : 0)));
                if (!is3d) Normal(e);
                Xdata(src);
                for (const Vertex &v : e.vertices) {
                    EntityData vx;
                    vx.layer = e.layer;
                    vx.color = e.color;
                    Head("VERTEX", vx, New(), e.handle), G(100, "AcDbVertex");
                    G(100, is3d ? "AcDb3dPolylineVertex" : "AcDb2dVertex");
                    // A 2D polyline's elevation lives in its header, as CAD programs write it.
                    P(10, {v.pt.x, v.pt.y, is3d ? v.pt.z : 0.0});
                    if (!is3d && v.bulge != 0.0) G(42, Num(v.bulge));
                    G(70, is3d ? "32" : "0");
                }
                Head("SEQEND", e, New(), e.handle);
                return;
                break;
            }
            case EntityKind::Text:
                Head("TEXT", e, e.handle, owner, src), G(100, "AcDbText"), Thickness(e),
                    P(10, e.p1);
                G(40, Num(e.height)), G(1, E(e.text));
                if (e.rotation != 0.0) G(50, Num(e.rotation * kRadToDeg));
                if (e.widthFactor != 1.0) G(41, Num(e.widthFactor));
                G(7, E(e.style));
                if (e.hAlign != 0) G(72, std::to_string(e.hAlign));
                if (e.hAlign != 0 || e.vAlign != 0) P(11, e.p2);
                Normal(e), G(100, "AcDbText");
                if (e.vAlign != 0) G(73, std::to_string(e.vAlign));
                break;
            case EntityKind::Insert:
                Head("INSERT", e, e.handle, owner, src), G(100, "AcDbBlockReference");
                if (HasAttributes(src)) G(66, "1");
                G(2, E(e.blockName)), P(10, e.p1);
                if (e.sx != 1.0) G(41, Num(e.sx));
                if (e.sy != 1.0) G(42, Num(e.sy));
                if (e.sz != 1.0) G(43, Num(e.sz));
                if (e.rotation != 0.0) G(50, Num(e.rotation * kRadToDeg));
                Normal(e);
                break;
        }
        Xdata(src);
        if (HasAttributes(src))  // as read, with their handles; the reference owns them
            for (std::size_t k = ObjectEnd(*src); k < src->size(); ++k)
                G((*src)[k].code, E((*src)[k].value));
    }
};

}  // namespace

std::string WriteDxf(const Drawing &drawing) {
    Writer writer(drawing);
    return writer.Run();
}

void SaveDxf(const Drawing &drawing, const std::filesystem::path &path,
             const std::function<bool()> &keepGoing) {
    if (keepGoing && !keepGoing()) throw WriteStopped(path);
    std::string text;
    try {
        Writer writer(drawing, keepGoing ? &keepGoing : nullptr);
        text = writer.Run();
    } catch (const TextStopped &) {
        throw WriteStopped(path);
    }
    const std::string source = path.filename().string();
    try {
        WriteFileAtomically(path, text, keepGoing);
    } catch (const WriteStopped &) {
        throw;
    } catch (const FileWriteError &e) {
        throw DxfError(source, 0, e.reason());
    }
}

}  // namespace pimu::cadlink::embedded
