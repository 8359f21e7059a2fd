#include "cadlink/embedded/drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

namespace pimu::cadlink::embedded {

namespace {

TAcadPoint Cross(const TAcadPoint &a, const TAcadPoint &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

TAcadPoint Unit(const TAcadPoint &v) {
    const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (len == 0.0) return {0.0, 0.0, 1.0};
    return {v.x / len, v.y / len, v.z / len};
}

// The arbitrary axis algorithm of the DXF format.
void OcsAxes(const TAcadPoint &normal, TAcadPoint &ax, TAcadPoint &ay, TAcadPoint &az) {
    az = Unit(normal);
    if (std::abs(az.x) < 1.0 / 64.0 && std::abs(az.y) < 1.0 / 64.0)
        ax = Unit(Cross({0.0, 1.0, 0.0}, az));
    else
        ax = Unit(Cross({0.0, 0.0, 1.0}, az));
    ay = Unit(Cross(az, ax));
}

bool IsWorldZ(const TAcadPoint &n) {
    return n.x == 0.0 && n.y == 0.0 && n.z == 1.0;
}

}  // namespace

std::string_view DxfTypeName(EntityKind kind) {
    switch (kind) {
        case EntityKind::Line:
            return "LINE";
        case EntityKind::Circle:
            return "CIRCLE";
        case EntityKind::Arc:
            return "ARC";
        case EntityKind::Ellipse:
            return "ELLIPSE";
        case EntityKind::LwPolyline:
            return "LWPOLYLINE";
        case EntityKind::Polyline2d:
        case EntityKind::Polyline3d:
            return "POLYLINE";
        case EntityKind::Text:
            return "TEXT";
        case EntityKind::Point:
            return "POINT";
        case EntityKind::Insert:
            return "INSERT";
    }
    return "";
}

std::string_view ClassName(EntityKind kind) {
    switch (kind) {
        case EntityKind::Line:
            return "AcDbLine";
        case EntityKind::Circle:
            return "AcDbCircle";
        case EntityKind::Arc:
            return "AcDbArc";
        case EntityKind::Ellipse:
            return "AcDbEllipse";
        case EntityKind::LwPolyline:
            return "AcDbPolyline";
        case EntityKind::Polyline2d:
            return "AcDb2dPolyline";
        case EntityKind::Polyline3d:
            return "AcDb3dPolyline";
        case EntityKind::Text:
            return "AcDbText";
        case EntityKind::Point:
            return "AcDbPoint";
        case EntityKind::Insert:
            return "AcDbBlockReference";
    }
    return "";
}

TAcadPoint OcsToWcs(const TAcadPoint &p, const TAcadPoint &normal) {
    if (IsWorldZ(normal)) return p;
    TAcadPoint ax, ay, az;
    OcsAxes(normal, ax, ay, az);
    return {p.x * ax.x + p.y * ay.x + p.z * az.x, p.x * ax.y + p.y * ay.y + p.z * az.y,
            p.x * ax.z + p.y * ay.z + p.z * az.z};
}

TAcadPoint WcsToOcs(const TAcadPoint &p, const TAcadPoint &normal) {
    if (IsWorldZ(normal)) return p;
    TAcadPoint ax, ay, az;
    OcsAxes(normal, ax, ay, az);
    return {p.x * ax.x + p.y * ax.y + p.z * ax.z, p.x * ay.x + p.y * ay.y + p.z * ay.z,
            p.x * az.x + p.y * az.y + p.z * az.z};
}

TAcadPoint Placement::ApplyVector(const TAcadPoint &v) const {
    const double c = std::cos(rotation), s = std::sin(rotation);
    return {scale * (v.x * c - v.y * s), scale * (v.x * s + v.y * c), scale * v.z};
}

TAcadPoint Placement::Apply(const TAcadPoint &p) const {
    const TAcadPoint v = ApplyVector({p.x - base.x, p.y - base.y, p.z - base.z});
    return {origin.x + v.x, origin.y + v.y, origin.z + v.z};
}

EntityData Transformed(const EntityData &e, const Placement &pl) {
    EntityData out = e;
    out.handle = 0;
    out.highlighted = false;
    const TAcadPoint n = Unit(pl.ApplyVector(e.normal));
    out.normal = IsWorldZ(e.normal) ? e.normal : n;
    out.thickness = e.thickness * pl.scale;
    // An angle measured in the old OCS, carried over as a direction into the new OCS.
    auto carryAngle = [&](double angle) {
        const TAcadPoint dir = OcsToWcs({std::cos(angle), std::sin(angle), 0.0}, e.normal);
        const TAcadPoint moved = WcsToOcs(pl.ApplyVector(dir), out.normal);
        return std::atan2(moved.y, moved.x);
    };
    auto ocsPoint = [&](const TAcadPoint &p) {
        return WcsToOcs(pl.Apply(OcsToWcs(p, e.normal)), out.normal);
    };
    switch (e.kind) {
        case EntityKind::Line:
            out.p1 = pl.Apply(e.p1);
            out.p2 = pl.Apply(e.p2);
            break;
        case EntityKind::Point:
            out.p1 = pl.Apply(e.p1);
            break;
        case EntityKind::Circle:
            out.p1 = ocsPoint(e.p1);
            out.radius = e.radius * pl.scale;
            break;
        case EntityKind::Arc: {
            out.p1 = ocsPoint(e.p1);
            out.radius = e.radius * pl.scale;
            double span = e.endAngle - e.startAngle;  // arcs run counter-clockwise, maybe across 0
            if (span < 0.0) span += 2.0 * std::numbers::pi;
            out.startAngle = carryAngle(e.startAngle);
            if (out.startAngle < 0.0) out.startAngle += 2.0 * std::numbers::pi;
            out.endAngle = out.startAngle + span;
            if (out.endAngle >= 2.0 * std::numbers::pi) out.endAngle -= 2.0 * std::numbers::pi;
            break;
        }
        case EntityKind::Ellipse:
            out.p1 = pl.Apply(e.p1);
            out.p2 = pl.ApplyVector(e.p2);
            break;
        case EntityKind::LwPolyline:
        case EntityKind::Polyline2d: {
            for (Vertex &v : out.vertices) {
                const TAcadPoint w = ocsPoint({v.pt.x, v.pt.y, e.elevation});
                v.pt = {w.x, w.y, 0.0};
                out.elevation = w.z;
            }
            if (out.vertices.empty()) out.elevation = ocsPoint({0.0, 0.0, e.elevation}).z;
            break;
        }
        case EntityKind::Polyline3d:
            for (Vertex &v : out.vertices) v.pt = pl.Apply(v.pt);
            break;
        case EntityKind::Text:
            out.p1 = ocsPoint(e.p1);
            out.p2 = ocsPoint(e.p2);
            out.height = e.height * pl.scale;
            out.rotation = carryAngle(e.rotation);
            break;
        case EntityKind::Insert:
            out.p1 = ocsPoint(e.p1);
            out.sx = e.sx * pl.scale;
            out.sy = e.sy * pl.scale;
            out.sz = e.sz * pl.scale;
            out.rotation = carryAngle(e.rotation);
            break;
    }
    return out;
}

Drawing::Drawing() {
    layers_.push_back({"0", 7, "CONTINUOUS", 0});
    linetypes_.push_back({"BYBLOCK", "", {}});
    linetypes_.push_back({"BYLAYER", "", {}});
    linetypes_.push_back({"CONTINUOUS", "Solid line", {}});
}

std::vector<EntityId> &Drawing::ListOf(const std::string &owner) {
    if (owner.empty()) return modelSpace_;
    BlockRecord *block = FindBlockMutable(owner);
    if (!block) throw CadError("No block named \"" + owner + "\"");
    return block->entities;
}

std::uint32_t Drawing::Intern(const std::string &name) {
    auto [it, added] = nameIndex_.try_emplace(name, static_cast<std::uint32_t>(names_.size()));
    if (added) names_.push_back(name);
    return it->second;
}

EntityData Drawing::Expand(const Slot &slot) const {
    if (const Whole *whole = slot.whole.get()) return whole->data;
    EntityData e;
    e.kind = slot.kind;
    e.handle = slot.handle;
    e.layer = names_[slot.layer];
    e.linetype = names_[slot.linetype];
    e.color = slot.color;
    e.thickness = slot.thickness;
    e.p1 = slot.p1;
    e.p2 = slot.p2;
    e.radius = slot.radius;
    e.startAngle = slot.startAngle;
    e.endAngle = slot.endAngle;
    e.highlighted = slot.highlighted;
    return e;
}

void Drawing::Store(Slot &slot, EntityData data) {
    slot.kind = data.kind;
    slot.handle = data.handle;
    slot.layer = Intern(data.layer);
    slot.linetype = Intern(data.linetype);
    slot.color = data.color;
    slot.thickness = data.thickness;
    slot.p1 = data.p1;
    slot.p2 = data.p2;
    slot.radius = data.radius;
    slot.startAngle = data.startAngle;
    slot.endAngle = data.endAngle;
    slot.highlighted = data.highlighted;
    slot.whole.reset();
    // Whatever the slot's own fields cannot give back exactly is held whole.
    const bool small = data.kind == EntityKind::Line || data.kind == EntityKind::Point ||
                       data.kind == EntityKind::Circle || data.kind == EntityKind::Arc;
    if (!small || !(Expand(slot) == data)) slot.whole = Boxed<Whole>(Whole{std::move(data), {}});
}

const Drawing::Slot *Drawing::Find(EntityId id) const {
    if (id.value < 1 || static_cast<std::uint64_t>(id.value) > slots_.size()) return nullptr;
    const Slot &slot = slots_[static_cast<std::size_t>(id.value - 1)];
    return slot.live ? &slot : nullptr;
}

const Drawing::Slot &Drawing::Need(EntityId id) const {
    const Slot *slot = Find(id);
    if (!slot) throw CadError("The entity was erased");
    return *slot;
}

Drawing::Slot &Drawing::Need(EntityId id) {
    return const_cast<Slot &>(std::as_const(*this).Need(id));
}

EntityId Drawing::Add(EntityData data, const std::string &owner) {
    std::vector<EntityId> &list = ListOf(owner);
    const EntityId id{nextId_++};
    if (data.handle == 0 || handles_.count(data.handle) || rawHandles_.count(data.handle)) {
        // A handle the file used twice: the messages still name the one the user's CAD shows.
        if (data.handle != 0) fileHandles_.emplace(id.value, data.handle);
        data.handle = nextHandle_++;
    } else if (data.handle >= nextHandle_) {
        nextHandle_ = data.handle + 1;
    }
    if (!FindLayer(data.layer)) AddLayer({data.layer, 7, "CONTINUOUS", 0});
    const std::string ownerName = owner.empty() ? "" : FindBlock(owner)->name;
    handles_.emplace(data.handle, id.value);
    Slot &slot = slots_.emplace_back();
    slot.owner = Intern(ownerName);
    slot.live = true;
    Store(slot, std::move(data));
    list.push_back(id);
    sequences_[UpperAscii(ownerName)].push_back(id);
    return id;
}

namespace {

std::uint64_t HandleOf(const RawGroups &groups) {
    for (const RawGroup &g : groups) {
        if (g.code == 0 && &g != &groups.front()) break;  // a follower's own handle
        if (g.code != 5 && g.code != 105) continue;
        std::uint64_t h = 0;
        if (g.value.empty() || g.value.size() > 16) return 0;
        for (char c : g.value) {
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            if (d < 0) return 0;
            h = h * 16 + static_cast<std::uint64_t>(d);
        }
        return h;
    }
    return 0;
}

}  // namespace

void Drawing::ReserveHandles(std::uint64_t next) {
    if (next > nextHandle_) nextHandle_ = next;
}

EntityId Drawing::AddRaw(RawGroups groups, const std::string &owner) {
    ListOf(owner);  // the owner must exist
    const std::string ownerName = owner.empty() ? "" : FindBlock(owner)->name;
    const EntityId id{nextId_++};
    slots_.emplace_back();  // not live: ids stay dense
    if (std::uint64_t h = HandleOf(groups)) {
        if (handles_.count(h) || rawHandles_.count(h)) {
            // A handle the file used twice: this copy gets a fresh one.
            h = nextHandle_++;
            char hex[24];
            std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(h));
            for (RawGroup &g : groups)
                if (g.code == 5) {
                    g.value = hex;
                    break;
                }
        }
        rawHandles_.emplace(h, id.value);
        if (h != ~std::uint64_t{0}) ReserveHandles(h + 1);
    }
    raw_.emplace(id.value, std::move(groups));
    sequences_[UpperAscii(ownerName)].push_back(id);
    return id;
}

const RawGroups *Drawing::RawOf(EntityId id) const {
    auto it = raw_.find(id.value);
    return it == raw_.end() ? nullptr : &it->second;
}

const std::vector<EntityId> &Drawing::Sequence(const std::string &owner) const {
    static const std::vector<EntityId> kNone;
    auto it = sequences_.find(UpperAscii(owner));
    return it == sequences_.end() ? kNone : it->second;
}

void Drawing::KeepSource(EntityId id, std::uint64_t handleRead, std::uint64_t begin,
                         std::uint64_t end) {
    Slot &slot = Need(id);
    if (slot.handle != handleRead) return;  // renumbered: written anew
    if (end <= begin || end - begin > 0xFFFFFFFFu) return;
    slot.sourceBegin = begin;
    slot.sourceLength = static_cast<std::uint32_t>(end - begin);
}

std::optional<RawGroups> Drawing::UnchangedSource(EntityId id) const {
    const Slot *slot = Find(id);
    if (!slot || slot->sourceLength == 0) return std::nullopt;
    if (const Whole *whole = slot->whole.get(); whole && whole->asRead) {
        EntityData now = whole->data;
        now.highlighted = false;
        if (!(now == *whole->asRead)) return std::nullopt;
    }
    return GroupsIn(sourceText_, slot->sourceBegin, slot->sourceBegin + slot->sourceLength);
}

std::optional<RawGroups> Drawing::SourceOf(EntityId id) const {
    const Slot *slot = Find(id);
    if (!slot || slot->sourceLength == 0) return std::nullopt;
    return GroupsIn(sourceText_, slot->sourceBegin, slot->sourceBegin + slot->sourceLength);
}

void Drawing::Erase(EntityId id) {
    if (auto raw = raw_.find(id.value); raw != raw_.end()) {
        rawHandles_.erase(HandleOf(raw->second));
        for (auto &[owner, seq] : sequences_)
            seq.erase(std::remove(seq.begin(), seq.end(), id), seq.end());
        raw_.erase(raw);
        return;
    }
    Slot &slot = Need(id);
    const std::string owner = names_[slot.owner];
    std::vector<EntityId> &list = ListOf(owner);
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
    std::vector<EntityId> &seq = sequences_[UpperAscii(owner)];
    seq.erase(std::remove(seq.begin(), seq.end(), id), seq.end());
    handles_.erase(slot.whole.get() ? slot.whole.get()->data.handle : slot.handle);
    fileHandles_.erase(id.value);
    slot = Slot{};
}

bool Drawing::Exists(EntityId id) const {
    return Find(id) != nullptr;
}

EntityData Drawing::Get(EntityId id) const {
    return Expand(Need(id));
}

const EntityData *Drawing::Peek(EntityId id) const {
    const Whole *whole = Need(id).whole.get();
    return whole ? &whole->data : nullptr;
}

EntityData &Drawing::Edit(EntityId id) {
    Slot &slot = Need(id);
    if (!slot.whole.get()) slot.whole = Boxed<Whole>(Whole{Expand(slot), {}});
    Whole &whole = *slot.whole.get();
    if (slot.sourceLength != 0 && !whole.asRead) {
        auto asRead = std::make_shared<EntityData>(whole.data);
        asRead->highlighted = false;
        whole.asRead = std::move(asRead);
    }
    return whole.data;
}

const std::string &Drawing::OwnerOf(EntityId id) const {
    return names_[Need(id).owner];
}

std::uint64_t Drawing::FileHandle(EntityId id) const {
    const auto it = fileHandles_.find(id.value);
    if (it != fileHandles_.end()) return it->second;
    const Slot &slot = Need(id);
    return slot.whole.get() ? slot.whole.get()->data.handle : slot.handle;
}

std::optional<EntityId> Drawing::FindHandle(std::string_view hex) const {
    std::uint64_t h = 0;
    if (hex.empty() || hex.size() > 16) return std::nullopt;
    for (char c : hex) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return std::nullopt;
        h = h * 16 + static_cast<std::uint64_t>(d);
    }
    auto it = handles_.find(h);
    if (it == handles_.end()) return std::nullopt;
    return EntityId{it->second};
}

std::optional<EntityId> Drawing::LastEntity() const {
    if (modelSpace_.empty()) return std::nullopt;
    return modelSpace_.back();
}

const LayerRecord *Drawing::FindLayer(std::string_view name) const {
    const std::string key = UpperAscii(name);
    for (const LayerRecord &l : layers_)
        if (UpperAscii(l.name) == key) return &l;
    return nullptr;
}

const LayerRecord &Drawing::AddLayer(const LayerRecord &layer) {
    if (const LayerRecord *found = FindLayer(layer.name)) return *found;
    layers_.push_back(layer);
    return layers_.back();
}

void Drawing::ReplaceLayer(const LayerRecord &layer) {
    const std::string key = UpperAscii(layer.name);
    for (LayerRecord &l : layers_)
        if (UpperAscii(l.name) == key) {
            l = layer;
            return;
        }
    layers_.push_back(layer);
}

const LinetypeRecord *Drawing::FindLinetype(std::string_view name) const {
    const std::string key = UpperAscii(name);
    for (const LinetypeRecord &l : linetypes_)
        if (UpperAscii(l.name) == key) return &l;
    return nullptr;
}

void Drawing::AddLinetype(const LinetypeRecord &linetype) {
    const std::string key = UpperAscii(linetype.name);
    for (LinetypeRecord &l : linetypes_)
        if (UpperAscii(l.name) == key) {
            l = linetype;
            return;
        }
    linetypes_.push_back(linetype);
}

const BlockRecord *Drawing::FindBlock(std::string_view name) const {
    const std::string key = UpperAscii(name);
    for (const BlockRecord &b : blocks_)
        if (UpperAscii(b.name) == key) return &b;
    return nullptr;
}

BlockRecord *Drawing::FindBlockMutable(std::string_view name) {
    return const_cast<BlockRecord *>(FindBlock(name));
}

void Drawing::AddBlock(const std::string &name, const TAcadPoint &base, int flags) {
    if (name.empty()) throw CadError("A block needs a name");
    if (FindBlock(name)) throw CadError("Block \"" + name + "\" already exists");
    blocks_.push_back({name, base, {}, flags});
}

void Drawing::SetBlockBase(std::string_view name, const TAcadPoint &base) {
    BlockRecord *block = FindBlockMutable(name);
    if (!block) throw CadError("No block named \"" + std::string(name) + "\"");
    block->base = base;
}

bool Drawing::IsReferenced(std::string_view name) const {
    const std::string key = UpperAscii(name);
    for (const Slot &slot : slots_)
        if (slot.live && slot.kind == EntityKind::Insert &&
            UpperAscii(slot.whole.get()->data.blockName) == key)
            return true;
    // A kept dimension or other raw entity may name the block (group 2): keep it to be safe.
    for (const auto &[id, groups] : raw_)
        for (const RawGroup &g : groups)
            if (g.code == 2 && UpperAscii(g.value) == key) return true;
    return false;
}

void Drawing::RemoveBlock(std::string_view name) {
    const BlockRecord *block = FindBlock(name);
    if (!block) throw CadError("No block named \"" + std::string(name) + "\"");
    if (IsReferenced(name)) throw CadError("Block \"" + block->name + "\" is referenced");
    const std::vector<EntityId> contents = Sequence(block->name);
    for (EntityId id : contents) Erase(id);
    sequences_.erase(UpperAscii(block->name));
    blocks_.erase(blocks_.begin() + (block - blocks_.data()));
}

namespace {

void CopyBlockDefinition(Drawing &into, const Drawing &from, const BlockRecord &block, int depth) {
    if (depth > 32) throw CadError("Blocks are nested too deeply");
    if (into.FindBlock(block.name)) return;  // an existing definition wins, as in a CAD
    into.AddBlock(block.name, block.base, block.flags);
    for (EntityId id : block.entities) {
        EntityData e = from.Get(id);
        e.handle = 0;
        if (e.kind == EntityKind::Insert)
            if (const BlockRecord *inner = from.FindBlock(e.blockName))
                CopyBlockDefinition(into, from, *inner, depth + 1);
        if (const LayerRecord *l = from.FindLayer(e.layer)) into.AddLayer(*l);
        if (!into.FindLinetype(e.linetype))
            if (const LinetypeRecord *lt = from.FindLinetype(e.linetype)) into.AddLinetype(*lt);
        into.Add(std::move(e), block.name);
    }
}

// Entities the drawing keeps only as read cannot be placed into another drawing (their handles
// and references belong to their own file), so inserting such a drawing fails rather than
// leaving them out unseen.
void RefuseKeptEntities(const Drawing &from, const std::string &owner,
                        std::map<std::string, int> &kinds, std::vector<std::string> &seen,
                        int depth) {
    if (depth > 32) throw CadError("Blocks are nested too deeply");
    for (EntityId id : from.Sequence(owner)) {
        if (const RawGroups *raw = from.RawOf(id)) {
            // Paper space is not part of a drawing inserted as a block, as in a CAD.
            bool paper = false;
            for (std::size_t k = 1; k < raw->size() && (*raw)[k].code != 0; ++k)
                if ((*raw)[k].code == 67 && (*raw)[k].value.find('1') != std::string::npos)
                    paper = true;
            if (!paper) ++kinds[raw->empty() ? std::string("?") : raw->front().value];
            continue;
        }
        const EntityData &e = from.Get(id);
        if (e.kind != EntityKind::Insert) continue;
        const std::string key = UpperAscii(e.blockName);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        if (const BlockRecord *inner = from.FindBlock(e.blockName))
            RefuseKeptEntities(from, inner->name, kinds, seen, depth + 1);
    }
}

}  // namespace

void DefineBlockFrom(Drawing &into, const Drawing &from, const std::string &blockName) {
    std::map<std::string, int> kinds;
    std::vector<std::string> seen;
    RefuseKeptEntities(from, "", kinds, seen, 0);
    if (!kinds.empty()) {
        std::string list;
        for (const auto &[kind, count] : kinds)
            list += (list.empty() ? "" : ", ") + std::to_string(count) + " " + kind;
        throw CadError("The drawing cannot be inserted as block \"" + blockName +
                       "\": it holds entities that would be left out (" + list + ")");
    }
    // An existing definition of that name is redefined in place, so references to it stay valid.
    if (const BlockRecord *old = into.FindBlock(blockName)) {
        const std::vector<EntityId> stale = into.Sequence(old->name);
        for (EntityId id : stale) into.Erase(id);
        into.SetBlockBase(blockName, from.insBase);
    } else {
        into.AddBlock(blockName, from.insBase);
    }
    for (const LayerRecord &l : from.Layers()) into.AddLayer(l);
    for (const LinetypeRecord &lt : from.Linetypes())
        if (!into.FindLinetype(lt.name)) into.AddLinetype(lt);
    for (EntityId id : from.ModelSpace()) {
        EntityData e = from.Get(id);
        e.handle = 0;
        if (e.kind == EntityKind::Insert)
            if (const BlockRecord *inner = from.FindBlock(e.blockName))
                CopyBlockDefinition(into, from, *inner, 1);
        into.Add(std::move(e), blockName);
    }
}

}  // namespace pimu::cadlink::embedded
