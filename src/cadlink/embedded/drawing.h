// The embedded drawing's database: entities, layers, linetypes and block definitions, with
// typed ids. Geometry is stored as DXF stores it (circle, arc, text, insert and 2D polyline
// points in the entity's object coordinate system), so a drawing survives open -> save intact.
#pragma once

#include <compare>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/ascii.h"
#include "cadlink/automation.h"

namespace pimu::cadlink::embedded {

struct EntityId {
    std::int64_t value = 0;
    friend auto operator<=>(const EntityId &, const EntityId &) = default;
};

enum class EntityKind : std::uint8_t {
    Line,
    Circle,
    Arc,
    Ellipse,
    LwPolyline,
    Polyline2d,
    Polyline3d,
    Text,
    Point,
    Insert
};

// DXF type name ("LINE") and automation class name ("AcDbLine") of a kind.
std::string_view DxfTypeName(EntityKind kind);
std::string_view ClassName(EntityKind kind);

struct Vertex {
    TAcadPoint pt;  // lightweight and 2D polylines: OCS x, y (z unused); 3D polyline: WCS
    double bulge = 0.0;
    friend bool operator==(const Vertex &, const Vertex &) = default;
};

struct EntityData {
    EntityKind kind = EntityKind::Line;
    std::uint64_t handle = 0;  // assigned by Drawing::Add when 0
    std::string layer = "0";
    std::string linetype = "BYLAYER";
    int color = 256;
    double thickness = 0.0;
    TAcadPoint normal{0.0, 0.0, 1.0};

    // LINE: p1 start, p2 end (WCS). POINT: p1 (WCS). CIRCLE/ARC: p1 centre (OCS).
    // ELLIPSE: p1 centre (WCS), p2 end of the major axis relative to the centre.
    // TEXT: p1 insertion point, p2 alignment point (OCS). INSERT: p1 insertion point (OCS).
    TAcadPoint p1;
    TAcadPoint p2;
    double radius = 0.0;
    double startAngle = 0.0;  // ARC: radians in the OCS; ELLIPSE: start parameter
    double endAngle = 0.0;
    double ratio = 1.0;  // ELLIPSE minor/major

    std::vector<Vertex> vertices;
    bool closed = false;
    double elevation = 0.0;

    std::string text;
    double height = 0.0;
    double widthFactor = 1.0;
    double rotation = 0.0;  // TEXT and INSERT, radians
    int hAlign = 0;         // DXF 72
    int vAlign = 0;         // DXF 73
    std::string style = "STANDARD";

    std::string blockName;
    double sx = 1.0, sy = 1.0, sz = 1.0;

    bool highlighted = false;
    friend bool operator==(const EntityData &, const EntityData &) = default;
};

struct LayerRecord {
    std::string name;
    int color = 7;
    std::string linetype = "CONTINUOUS";
    int flags = 0;
    friend bool operator==(const LayerRecord &, const LayerRecord &) = default;
};

struct LinetypeRecord {
    std::string name;
    std::string description;
    std::vector<double> pattern;  // dashes positive, gaps negative, dots 0
    friend bool operator==(const LinetypeRecord &, const LinetypeRecord &) = default;
};

struct BlockRecord {
    std::string name;
    TAcadPoint base;
    std::vector<EntityId> entities;
    int flags = 0;
};

// One group of a DXF file as read: the value is decoded to UTF-8 like any other text and encoded
// again on saving.
struct RawGroup {
    int code = 0;
    std::string value;
    friend bool operator==(const RawGroup &, const RawGroup &) = default;
};
using RawGroups = std::vector<RawGroup>;

// The bytes of the file a drawing was read from, shared by the drawing and its copies, with what
// decides how its text is decoded. An entity read from it and not changed since keeps only where
// its groups are, not the groups themselves.
struct SourceText {
    std::shared_ptr<const std::string> bytes;
    std::string version = "AC1009";
    std::string codepage;  // empty: absent
};
// The groups of bytes [begin, end) of a source text, decoded as the reader decoded them (the
// reader defines it). Throws CadError if they are not whole groups.
RawGroups GroupsIn(const SourceText &text, std::uint64_t begin, std::uint64_t end);

// Everything of a loaded R2000+ file outside the entities that the drawing does not model, kept so
// that saving writes it back as it was read.
struct KeptTable {
    std::string name;                // "STYLE"
    RawGroups head;                  // the TABLE object without its (0, "TABLE") group
    std::vector<RawGroups> entries;  // each from its (0, TYPE) group
};
struct KeptBlock {
    RawGroups begin, end;  // the BLOCK and ENDBLK objects
    TAcadPoint base;       // as read: a changed definition is written anew
    int flags = 0;
};
struct KeptContent {
    std::vector<RawGroups> header;              // one variable each, from its (9, "$NAME") group
    std::optional<RawGroups> classes, objects;  // section contents without SECTION/name/ENDSEC
    std::vector<KeptTable> tables;
    std::vector<RawGroups> layoutBlocks;      // *Model_Space, *Paper_Space... with their contents
    std::vector<RawGroups> repeatedBlocks;    // later definitions of a name a block already has
    std::vector<std::string> dropped;         // what could not be kept: saving refuses while any
    std::map<std::string, KeptBlock> blocks;  // by upper-cased name
    std::map<std::string, LayerRecord> layersAsRead;               // by upper-cased name
    std::map<std::string, LinetypeRecord> linetypesAsRead;         // by upper-cased name
    std::vector<std::pair<std::string, RawGroups>> otherSections;  // e.g. THUMBNAILIMAGE
};

// Arbitrary-axis conversion between an entity's object coordinate system and the world.
TAcadPoint OcsToWcs(const TAcadPoint &p, const TAcadPoint &normal);
TAcadPoint WcsToOcs(const TAcadPoint &p, const TAcadPoint &normal);

// A similarity placing block contents: scale (uniform, positive) then rotation about the world
// z axis, then translation. Explode refuses anything else rather than draw it wrongly.
struct Placement {
    TAcadPoint base;    // block origin
    TAcadPoint origin;  // insertion point (WCS)
    double scale = 1.0;
    double rotation = 0.0;
    TAcadPoint Apply(const TAcadPoint &p) const;
    TAcadPoint ApplyVector(const TAcadPoint &v) const;
};

// The entity as it is after the placement (new copy; handle cleared).
EntityData Transformed(const EntityData &e, const Placement &placement);

class Drawing {
public:
    Drawing();  // layer "0", linetypes BYBLOCK, BYLAYER, CONTINUOUS

    // Entities. Owner "" is model space, else a block name (any case).
    EntityId Add(EntityData data, const std::string &owner = "");
    void Erase(EntityId id);
    bool Exists(EntityId id) const;
    // A copy of the entity; throws CadError for an erased one.
    EntityData Get(EntityId id) const;
    // The entity without a copy where it is held whole (polylines, texts, ...), else nullptr; valid
    // until the next change to the drawing's entities. Throws CadError for an erased one.
    const EntityData *Peek(EntityId id) const;
    // The entity for changing in place; the reference is valid until the next change to the
    // drawing's entities.
    EntityData &Edit(EntityId id);
    const std::string &OwnerOf(EntityId id) const;
    const std::vector<EntityId> &ModelSpace() const { return modelSpace_; }
    std::optional<EntityId> FindHandle(std::string_view hex) const;
    // The handle the entity had in the file it was read from (which the user's CAD shows), where
    // Add gave it a new one because another entity of the drawing had it; else its handle.
    std::uint64_t FileHandle(EntityId id) const;
    std::optional<EntityId> LastEntity() const;
    std::uint64_t HandleSeed() const { return nextHandle_; }
    // New handles start at `next` or later (handles a loaded file already uses).
    void ReserveHandles(std::uint64_t next);

    // Entities of kinds the drawing does not model, kept as read in their place among the
    // modelled ones. They are not in ModelSpace() or a block's `entities`, so commands never see
    // them; Erase removes one, and removing a block removes its own.
    EntityId AddRaw(RawGroups groups, const std::string &owner = "");
    const RawGroups *RawOf(EntityId id) const;  // nullptr for a modelled entity
    std::size_t RawCount() const { return raw_.size(); }
    // Modelled and raw entities of an owner in drawing order.
    const std::vector<EntityId> &Sequence(const std::string &owner = "") const;
    // The groups a modelled entity was read from, bytes [begin, end) of the source text; saving
    // writes them while the entity is as read. Ignored unless the entity still has the handle it
    // was read with.
    void SetSourceText(SourceText text) { sourceText_ = std::move(text); }
    const SourceText &sourceText() const { return sourceText_; }
    void KeepSource(EntityId id, std::uint64_t handleRead, std::uint64_t begin, std::uint64_t end);
    std::optional<RawGroups> UnchangedSource(EntityId id) const;
    std::optional<RawGroups> SourceOf(EntityId id) const;  // whether changed or not

    // Layers and linetypes: found without regard to case.
    const std::vector<LayerRecord> &Layers() const { return layers_; }
    const LayerRecord *FindLayer(std::string_view name) const;
    const LayerRecord &AddLayer(const LayerRecord &layer);  // returns the existing one if any
    void ReplaceLayer(const LayerRecord &layer);            // adds it or replaces its namesake
    const std::vector<LinetypeRecord> &Linetypes() const { return linetypes_; }
    const LinetypeRecord *FindLinetype(std::string_view name) const;
    void AddLinetype(const LinetypeRecord &linetype);  // replaces one of the same name

    // Block definitions.
    const std::vector<BlockRecord> &Blocks() const { return blocks_; }
    const BlockRecord *FindBlock(std::string_view name) const;
    // Throws if it exists. Flags: 1 anonymous, 4 external reference.
    void AddBlock(const std::string &name, const TAcadPoint &base, int flags = 0);
    void SetBlockBase(std::string_view name, const TAcadPoint &base);
    void RemoveBlock(std::string_view name);  // with its entities; throws while referenced
    bool IsReferenced(std::string_view name) const;

    // Header values kept from a loaded file.
    TAcadPoint insBase;
    std::string sourceVersion = "AC1015";
    std::string sourceCodepage;  // $DWGCODEPAGE as read; empty: absent
    // Entity kinds of a loaded file that the drawing does not model and keeps only as read
    // ("HATCH" -> 3, "paper space" -> 1).
    std::map<std::string, int> skipped;
    // Curves of a loaded file without a proper size (an arc or circle of radius 0 or less, an
    // ellipse without a proper axis): kept as read like the kinds above, one note each
    // ("ARC 1A (line 120): radius 0").
    std::vector<std::string> degenerate;
    KeptContent kept;

private:
    // A value that lives on the heap and is copied with its holder.
    template <class T>
    class Boxed {
    public:
        Boxed() = default;
        explicit Boxed(T value) : p_(std::make_unique<T>(std::move(value))) {}
        Boxed(const Boxed &o) : p_(o.p_ ? std::make_unique<T>(*o.p_) : nullptr) {}
        Boxed(Boxed &&) noexcept = default;
        Boxed &operator=(const Boxed &o) {
            if (this != &o) p_ = o.p_ ? std::make_unique<T>(*o.p_) : nullptr;
            return *this;
        }
        Boxed &operator=(Boxed &&) noexcept = default;
        T *get() const { return p_.get(); }
        void reset() { p_.reset(); }

    private:
        std::unique_ptr<T> p_;
    };
    // An entity held whole, and, once it was given out for editing, as it was read (until then
    // it is as read).
    struct Whole {
        EntityData data;
        std::shared_ptr<const EntityData> asRead;
    };
    // One entity. Lines, points, circles and arcs with the usual normal, no ratio and the like
    // are held in the slot's own fields, with layer, linetype and owner as indices into names_;
    // any other entity, and any entity once given out for editing, is held in `whole`.
    struct Slot {
        TAcadPoint p1, p2;
        double thickness = 0.0, radius = 0.0, startAngle = 0.0, endAngle = 0.0;
        std::uint64_t handle = 0;
        std::uint64_t sourceBegin = 0;  // in sourceText_
        Boxed<Whole> whole;
        std::uint32_t sourceLength = 0;  // 0: no source
        int color = 256;
        std::uint32_t layer = 0, linetype = 0, owner = 0;
        EntityKind kind = EntityKind::Line;
        bool highlighted = false;
        bool live = false;
    };
    std::deque<Slot> slots_;  // by id - 1; raw entities have a slot that is not live
    std::unordered_map<std::uint64_t, std::int64_t> handles_;
    std::deque<std::string> names_;  // layer, linetype and owner names of slots
    std::unordered_map<std::string, std::uint32_t> nameIndex_;
    SourceText sourceText_;
    std::vector<EntityId> modelSpace_;
    std::vector<LayerRecord> layers_;
    std::vector<LinetypeRecord> linetypes_;
    std::vector<BlockRecord> blocks_;
    std::map<std::int64_t, RawGroups> raw_;
    std::map<std::uint64_t, std::int64_t> rawHandles_;
    std::unordered_map<std::int64_t, std::uint64_t> fileHandles_;  // by id, of renumbered ones
    std::map<std::string, std::vector<EntityId>> sequences_;       // by upper-cased owner
    std::int64_t nextId_ = 1;
    std::uint64_t nextHandle_ = 0x100;

    const Slot *Find(EntityId id) const;
    Slot &Need(EntityId id);
    const Slot &Need(EntityId id) const;
    std::uint32_t Intern(const std::string &name);
    EntityData Expand(const Slot &slot) const;
    void Store(Slot &slot, EntityData data);
    std::vector<EntityId> &ListOf(const std::string &owner);
    BlockRecord *FindBlockMutable(std::string_view name);
};

// Copies the entities of `from`'s model space into block `blockName` of `into` (created or
// replaced), adding the layers, linetypes and blocks they need that `into` lacks.
void DefineBlockFrom(Drawing &into, const Drawing &from, const std::string &blockName);

}  // namespace pimu::cadlink::embedded
