// Saving the embedded drawing as R2000 DXF with the tables, block records and owner links that
// CAD programs expect of that version.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>

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

class Writer {
public:
    explicit Writer(const Drawing &d) : d_(d), next_(d.HandleSeed() + 1) {}

    std::string Run() {
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
        for (const LinetypeRecord &lt : d_.Linetypes()) {
            G(0, "LTYPE"), G(5, Hex(New())), G(330, Hex(ltypeTable));
            G(100, "AcDbSymbolTableRecord"), G(100, "AcDbLinetypeTableRecord");
            G(2, Encode(lt.name)), G(70, "0"), G(3, Encode(lt.description)), G(72, "65");
            G(73, std::to_string(lt.pattern.size()));
            double length = 0.0;
            for (double p : lt.pattern) length += std::abs(p);
            G(40, Num(length));
            for (double p : lt.pattern) G(49, Num(p)), G(74, "0");
        }
        G(0, "ENDTAB");
        Table("LAYER", layerTable, static_cast<int>(d_.Layers().size()));
        for (const LayerRecord &l : d_.Layers()) {
            G(0, "LAYER"), G(5, Hex(New())), G(330, Hex(layerTable));
            G(100, "AcDbSymbolTableRecord"), G(100, "AcDbLayerTableRecord");
            G(2, Encode(l.name)), G(70, std::to_string(l.flags)), G(62, std::to_string(l.color));
            G(6, Encode(d_.FindLinetype(l.linetype) ? l.linetype : "CONTINUOUS"));
        }
        G(0, "ENDTAB");
        // Every text style the texts name gets an entry, so the file stays self-consistent.
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
        Table("STYLE", styleTable, static_cast<int>(styles.size()));
        for (const std::string &style : styles) {
            G(0, "STYLE"), G(5, Hex(New())), G(330, Hex(styleTable));
            G(100, "AcDbSymbolTableRecord"), G(100, "AcDbTextStyleTableRecord");
            G(2, Encode(style)), G(70, "0"), G(40, "0.0"), G(41, "1.0"), G(50, "0.0"), G(71, "0");
            G(42, "2.5"), G(3, "txt"), G(4, "");
        }
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
            BlockRecordEntry(blockRecords[k], brTable, Encode(d_.Blocks()[k].name));
        G(0, "ENDTAB");
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "BLOCKS");
        Block(modelRecord, "*Model_Space", {}, {}, 0);
        Block(paperRecord, "*Paper_Space", {}, {}, 0);
        for (std::size_t k = 0; k < d_.Blocks().size(); ++k) {
            const BlockRecord &b = d_.Blocks()[k];
            Block(blockRecords[k], Encode(b.name), b.base, b.entities, b.flags);
        }
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "ENTITIES");
        for (EntityId id : d_.ModelSpace()) Entity(d_.Get(id), modelRecord);
        G(0, "ENDSEC");

        G(0, "SECTION"), G(2, "OBJECTS");
        G(0, "DICTIONARY"), G(5, Hex(rootDict)), G(330, "0"), G(100, "AcDbDictionary");
        G(281, "1"), G(3, "ACAD_GROUP"), G(350, Hex(groupDict));
        G(0, "DICTIONARY"), G(5, Hex(groupDict)), G(330, Hex(rootDict)), G(100, "AcDbDictionary");
        G(281, "1");
        G(0, "ENDSEC");
        G(0, "EOF");

        std::swap(body, out_);
        G(0, "SECTION"), G(2, "HEADER");
        G(9, "$ACADVER"), G(1, "AC1015");
        G(9, "$DWGCODEPAGE"), G(3, "ANSI_932");
        G(9, "$INSBASE"), G(10, Num(d_.insBase.x)), G(20, Num(d_.insBase.y)),
            G(30, Num(d_.insBase.z));
        G(9, "$HANDSEED"), G(5, Hex(next_));
        G(0, "ENDSEC");
        return out_ + body;
    }

private:
    const Drawing &d_;
    std::uint64_t next_;
    std::string out_;

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

    void Block(std::uint64_t record, const std::string &name, const TAcadPoint &base,
               const std::vector<EntityId> &entities, int flags) {
        G(0, "BLOCK"), G(5, Hex(New())), G(330, Hex(record)), G(100, "AcDbEntity"), G(8, "0");
        G(100, "AcDbBlockBegin"), G(2, name), G(70, std::to_string(flags)), P(10, base), G(3, name),
            G(1, "");
        for (EntityId id : entities) Entity(d_.Get(id), record);
        G(0, "ENDBLK"), G(5, Hex(New())), G(330, Hex(record)), G(100, "AcDbEntity"), G(8, "0");
        G(100, "AcDbBlockEnd");
    }

    void Head(const char *type, const EntityData &e, std::uint64_t handle, std::uint64_t owner) {
        G(0, type), G(5, Hex(handle)), G(330, Hex(owner)), G(100, "AcDbEntity");
        G(8, Encode(e.layer));
        if (UpperAscii(e.linetype) != "BYLAYER") G(6, Encode(e.linetype));
        if (e.color != 256) G(62, std::to_string(e.color));
    }
    void Normal(const EntityData &e) {
        if (!(e.normal.x == 0.0 && e.normal.y == 0.0 && e.normal.z == 1.0)) P(210, e.normal);
    }
    void Thickness(const EntityData &e) {
        if (e.thickness != 0.0) G(39, Num(e.thickness));
    }

    void Entity(const EntityData &e, std::uint64_t owner) {
        switch (e.kind) {
            case EntityKind::Line:
                Head("LINE", e, e.handle, owner), G(100, "AcDbLine"), Thickness(e);
                P(10, e.p1), P(11, e.p2), Normal(e);
                break;
            case EntityKind::Point:
                Head("POINT", e, e.handle, owner), G(100, "AcDbPoint"), P(10, e.p1), Thickness(e);
                Normal(e);
                break;
            case EntityKind::Circle:
            case EntityKind::Arc:
                Head(e.kind == EntityKind::Arc ? "ARC" : "CIRCLE", e, e.handle, owner);
                G(100, "AcDbCircle"), Thickness(e), P(10, e.p1), G(40, Num(e.radius)), Normal(e);
                if (e.kind == EntityKind::Arc)
                    G(100, "AcDbArc"), G(50, Num(e.startAngle * kRadToDeg)),
                        G(51, Num(e.endAngle * kRadToDeg));
                break;
            case EntityKind::Ellipse:
                Head("ELLIPSE", e, e.handle, owner), G(100, "AcDbEllipse"), P(10, e.p1),
                    P(11, e.p2);
                Normal(e), G(40, Num(e.ratio)), G(41, Num(e.startAngle)), G(42, Num(e.endAngle));
                break;
            case EntityKind::LwPolyline:
                Head("LWPOLYLINE", e, e.handle, owner), G(100, "AcDbPolyline");
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
                Head("POLYLINE", e, e.handle, owner);
                G(100, is3d ? "AcDb3dPolyline" : "AcDb2dPolyline"), G(66, "1");
                P(10, {0.0, 0.0, is3d ? 0.0 : e.elevation}), Thickness(e);
                G(70, std::to_string((e.closed ? 1 : 0) | (is3d ? 8 : 0)));
                if (!is3d) Normal(e);
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
                break;
            }
            case EntityKind::Text:
                Head("TEXT", e, e.handle, owner), G(100, "AcDbText"), Thickness(e), P(10, e.p1);
                G(40, Num(e.height)), G(1, Encode(e.text));
                if (e.rotation != 0.0) G(50, Num(e.rotation * kRadToDeg));
                if (e.widthFactor != 1.0) G(41, Num(e.widthFactor));
                G(7, Encode(e.style));
                if (e.hAlign != 0) G(72, std::to_string(e.hAlign));
                if (e.hAlign != 0 || e.vAlign != 0) P(11, e.p2);
                Normal(e), G(100, "AcDbText");
                if (e.vAlign != 0) G(73, std::to_string(e.vAlign));
                break;
            case EntityKind::Insert:
                Head("INSERT", e, e.handle, owner), G(100, "AcDbBlockReference");
                G(2, Encode(e.blockName)), P(10, e.p1);
                if (e.sx != 1.0) G(41, Num(e.sx));
                if (e.sy != 1.0) G(42, Num(e.sy));
                if (e.sz != 1.0) G(43, Num(e.sz));
                if (e.rotation != 0.0) G(50, Num(e.rotation * kRadToDeg));
                Normal(e);
                break;
        }
    }
};

}  // namespace

std::string WriteDxf(const Drawing &drawing) {
    Writer writer(drawing);
    return writer.Run();
}

void SaveDxf(const Drawing &drawing, const std::filesystem::path &path) {
    const std::string text = WriteDxf(drawing);
    const std::string source = path.filename().string();
    std::filesystem::path temp = path;
    temp += ".pimu-tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw DxfError(source, 0, "the file cannot be written");
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            throw DxfError(source, 0, "the file could not be written completely");
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw DxfError(source, 0, "the file cannot be replaced");
    }
}

}  // namespace pimu::cadlink::embedded
