// The CAD's automation object model as Pimu uses it: application, document, collections,
// utility, selection sets and entities. Backends (the embedded drawing, COM on Windows) implement
// these classes; the drawing commands see nothing else of the CAD.
//
// Points travel as TAcadPoint (x, y, z). Angles are radians unless a member says otherwise.
// Every failed call throws CadError carrying the CAD's message.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "geometry/types.h"

namespace pimu::cadlink {

using geometry::TAcadPoint;

// The one error type of the CAD link: a refused or failed CAD call.
class CadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An entity's object id: stable for the life of the drawing, never reused; 0 means "none".
struct ObjectId {
    std::int64_t value = 0;
    friend auto operator<=>(const ObjectId &, const ObjectId &) = default;
};

// A system variable's value: 0/1 switches as int, DIMSCALE as double, LASTPOINT as a point.
using SysValue = std::variant<int, double, TAcadPoint>;

// A selection filter: pairs of DXF group code and value, e.g. {0, "CIRCLE,TEXT"} or {8, "BLD"}.
// An empty filter selects everything.
using SelectionFilter = std::vector<std::pair<int, std::string>>;

// Selection modes of ISelectionSet::Select.
enum class SelectMode : int { Crossing = 1, Last = 4 };

// Text alignment as the automation model numbers it (AcAlignment).
enum class TextAlignment : int {
    Left = 0,
    Center = 1,
    Right = 2,
    Aligned = 3,
    Middle = 4,
    Fit = 5,
    TopLeft = 6,
    TopCenter = 7,
    TopRight = 8,
    MiddleLeft = 9,
    MiddleCenter = 10,
    MiddleRight = 11,
    BottomLeft = 12,
    BottomCenter = 13,
    BottomRight = 14,
};

class IEntity;
using EntityPtr = std::shared_ptr<IEntity>;

// One drawing entity. A property the entity's kind does not have throws CadError.
class IEntity {
public:
    virtual ~IEntity() = default;

    // Read.
    virtual std::string EntityName() = 0;  // "AcDbLine", "AcDbPolyline", "AcDbBlockReference", ...
    virtual std::string Handle() = 0;
    // The handle the user's CAD shows for the entity, for messages: the one its drawing file gave
    // it, where a reader had to give a handle the file used twice a new one.
    virtual std::string FileHandle() { return Handle(); }
    virtual ObjectId ObjectID() = 0;
    virtual TAcadPoint StartPoint() = 0;
    virtual TAcadPoint EndPoint() = 0;
    virtual TAcadPoint Center() = 0;
    virtual double Radius() = 0;
    virtual double StartAngle() = 0;  // radians; for an ellipse the true angle from the major axis
    virtual double EndAngle() = 0;
    virtual double StartParameter() = 0;  // ellipse: parameter t of centre + a cos t U + b sin t V
    virtual double EndParameter() = 0;
    virtual double RadiusRatio() = 0;
    virtual TAcadPoint MajorAxis() = 0;  // ellipse: end of the major axis relative to the centre
    virtual double Thickness() = 0;
    virtual TAcadPoint Normal() = 0;
    virtual double Elevation() = 0;
    virtual std::vector<double> Coordinates() = 0;  // x,y pairs (lightweight) or x,y,z triples
    virtual TAcadPoint Coordinate(int index) = 0;
    virtual double GetBulge(int index) = 0;
    virtual std::string TextString() = 0;
    virtual double Area() = 0;
    virtual std::string Name() = 0;  // block reference: the block's name
    virtual double Height() = 0;

    // Read and written.
    virtual bool Closed() = 0;
    virtual void SetClosed(bool closed) = 0;
    virtual TAcadPoint InsertionPoint() = 0;
    virtual void SetInsertionPoint(const TAcadPoint &p) = 0;
    virtual int Color() = 0;  // 0 BYBLOCK, 256 BYLAYER
    virtual void SetColor(int color) = 0;
    virtual std::string Layer() = 0;
    virtual void SetLayer(const std::string &name) = 0;
    virtual std::string Linetype() = 0;
    virtual void SetLinetype(const std::string &name) = 0;
    virtual double Rotation() = 0;
    virtual void SetRotation(double radians) = 0;
    virtual double ScaleFactor() = 0;  // text width factor
    virtual void SetScaleFactor(double factor) = 0;
    virtual TextAlignment Alignment() = 0;
    virtual void SetAlignment(TextAlignment alignment) = 0;
    virtual int HorizontalAlignment() = 0;  // DXF 72
    virtual void SetHorizontalAlignment(int value) = 0;
    virtual int VerticalAlignment() = 0;  // DXF 73
    virtual void SetVerticalAlignment(int value) = 0;
    virtual TAcadPoint TextAlignmentPoint() = 0;
    virtual void SetTextAlignmentPoint(const TAcadPoint &p) = 0;

    // Methods.
    virtual void SetBulge(int index, double bulge) = 0;
    virtual std::vector<EntityPtr> Explode() = 0;  // the parts, added beside the entity
    virtual void Delete() = 0;
    virtual void Highlight(bool on) = 0;
    virtual void Update() = 0;
};

// Model space or a block definition: a container that new entities go into.
class IEntityContainer {
public:
    virtual ~IEntityContainer() = default;
    virtual int Count() = 0;
    virtual EntityPtr Item(int index) = 0;
    virtual EntityPtr AddLine(const TAcadPoint &p1, const TAcadPoint &p2) = 0;
    virtual EntityPtr AddCircle(const TAcadPoint &center, double radius) = 0;
    virtual EntityPtr AddText(const std::string &text, const TAcadPoint &point, double height) = 0;
    // x,y pairs.
    virtual EntityPtr AddLightWeightPolyline(const std::vector<double> &xy) = 0;
    virtual EntityPtr InsertBlock(const TAcadPoint &point, const std::string &name, double sx,
                                  double sy, double sz, double rotation) = 0;
};

class IBlock : public IEntityContainer {
public:
    virtual std::string Name() = 0;
    virtual TAcadPoint Origin() = 0;
    virtual void Delete() = 0;  // throws while the block is referenced
};
using BlockPtr = std::shared_ptr<IBlock>;

class IBlocks {
public:
    virtual ~IBlocks() = default;
    virtual int Count() = 0;
    virtual BlockPtr Item(int index) = 0;
    virtual BlockPtr Add(const TAcadPoint &origin, const std::string &name) = 0;
};

// A layer or linetype: only its name is used.
class ITableRecord {
public:
    virtual ~ITableRecord() = default;
    virtual std::string Name() = 0;
};
using TableRecordPtr = std::shared_ptr<ITableRecord>;

class ILayers {
public:
    virtual ~ILayers() = default;
    virtual int Count() = 0;
    virtual TableRecordPtr Item(int index) = 0;
    virtual TableRecordPtr Add(const std::string &name) = 0;
};

class ILinetypes {
public:
    virtual ~ILinetypes() = default;
    virtual int Count() = 0;
    virtual TableRecordPtr Item(int index) = 0;
    virtual void Load(const std::string &name, const std::string &file) = 0;
};

class ISelectionSet {
public:
    virtual ~ISelectionSet() = default;
    virtual std::string Name() = 0;
    virtual int Count() = 0;
    virtual EntityPtr Item(int index) = 0;
    virtual void Clear() = 0;
    virtual void Delete() = 0;
    virtual void SelectOnScreen(const SelectionFilter &filter = {}) = 0;
    virtual void Select(SelectMode mode, const TAcadPoint &p1, const TAcadPoint &p2,
                        const SelectionFilter &filter = {}) = 0;
};
using SelectionSetPtr = std::shared_ptr<ISelectionSet>;

class ISelectionSets {
public:
    virtual ~ISelectionSets() = default;
    virtual int Count() = 0;
    virtual SelectionSetPtr Item(int index) = 0;
    virtual SelectionSetPtr Add(const std::string &name) = 0;  // throws if the name is taken
};

class IUtility {
public:
    virtual ~IUtility() = default;
    virtual void Prompt(const std::string &text) = 0;
    // Throws CadError when the user ends input without picking.
    virtual TAcadPoint GetPoint(const std::optional<TAcadPoint> &base,
                                const std::string &prompt) = 0;
    virtual double GetAngle(const std::optional<TAcadPoint> &base, const std::string &prompt) = 0;
    // The picked entity and the point it was picked at; throws CadError when nothing is picked.
    virtual std::pair<EntityPtr, TAcadPoint> GetEntity(const std::string &prompt) = 0;
};

class IDocument {
public:
    virtual ~IDocument() = default;
    virtual IEntityContainer &ModelSpace() = 0;
    virtual IBlocks &Blocks() = 0;
    virtual ILayers &Layers() = 0;
    virtual ILinetypes &Linetypes() = 0;
    virtual ISelectionSets &SelectionSets() = 0;
    virtual IUtility &Utility() = 0;
    // Types a command. A real CAD may still be busy when this returns (see WaitQuiescent).
    virtual void SendCommand(const std::string &text) = 0;
    virtual void SetVariable(const std::string &name, const SysValue &value) = 0;
    virtual SysValue GetVariable(const std::string &name) = 0;
    virtual void StartUndoMark() = 0;
    virtual void EndUndoMark() = 0;
    virtual void Regen(int which) = 0;
    virtual EntityPtr ObjectIDToObject(ObjectId id) = 0;
};

class ICadState {
public:
    virtual ~ICadState() = default;
    virtual bool IsQuiescent() = 0;
};
using CadStatePtr = std::shared_ptr<ICadState>;

class IApplication {
public:
    virtual ~IApplication() = default;
    virtual std::intptr_t HWND() = 0;  // 0 when the CAD has no window
    virtual IDocument &ActiveDocument() = 0;
    virtual CadStatePtr GetAcadState() = 0;
    virtual CadStatePtr GetGcadState() = 0;
    virtual CadStatePtr GetZcadState() = 0;
};
using ApplicationPtr = std::shared_ptr<IApplication>;

}  // namespace pimu::cadlink
