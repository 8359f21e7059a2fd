#include "cadlink/com/automation_com.h"

#include <optional>

namespace pimu::cadlink::com {
namespace {

// Values of the filter arguments of SelectOnScreen and Select: group codes as shorts, values
// as texts, or both left out when there is no filter.
std::pair<Variant, Variant> FilterArguments(const SelectionFilter &filter) {
    if (filter.empty()) return {Variant::Missing(), Variant::Missing()};
    std::vector<short> codes;
    std::vector<Variant> values;
    for (const auto &[code, value] : filter) {
        codes.push_back(static_cast<short>(code));
        values.push_back(Variant::String(value));
    }
    return {Variant::Shorts(codes), Variant::Variants(std::move(values))};
}

Variant OptionalPoint(const std::optional<TAcadPoint> &p) {
    return p ? Variant::Point(*p) : Variant();
}

class ComEntity : public IEntity {
public:
    explicit ComEntity(Dispatch d) : d_(std::move(d)) {}
    Dispatch &dispatch() { return d_; }

    std::string EntityName() override { return Str("EntityName"); }
    std::string Handle() override { return Str("Handle"); }
    ObjectId ObjectID() override { return {d_.Call("ObjectID").AsLong("ObjectID")}; }
    TAcadPoint StartPoint() override { return Pt("StartPoint"); }
    TAcadPoint EndPoint() override { return Pt("EndPoint"); }
    TAcadPoint Center() override { return Pt("Center"); }
    double Radius() override { return Num("Radius"); }
    double StartAngle() override { return Num("StartAngle"); }
    double EndAngle() override { return Num("EndAngle"); }
    double StartParameter() override { return Num("StartParameter"); }
    double EndParameter() override { return Num("EndParameter"); }
    double RadiusRatio() override { return Num("RadiusRatio"); }
    TAcadPoint MajorAxis() override { return Pt("MajorAxis"); }
    double Thickness() override { return Num("Thickness"); }
    TAcadPoint Normal() override { return Pt("Normal"); }
    double Elevation() override { return Num("Elevation"); }
    std::vector<double> Coordinates() override {
        return d_.Call("Coordinates").AsDoubles("Coordinates");
    }
    TAcadPoint Coordinate(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return d_.Call("Coordinate", std::move(args)).AsPoint("Coordinate");
    }
    double GetBulge(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return d_.Call("GetBulge", std::move(args)).AsDouble("GetBulge");
    }
    std::string TextString() override { return Str("TextString"); }
    double Area() override { return Num("Area"); }
    std::string Name() override { return Str("Name"); }
    double Height() override { return Num("Height"); }

    bool Closed() override { return d_.Call("Closed").AsBool("Closed"); }
    void SetClosed(bool closed) override { d_.Put("Closed", Variant::Bool(closed)); }
    TAcadPoint InsertionPoint() override { return Pt("InsertionPoint"); }
    void SetInsertionPoint(const TAcadPoint &p) override {
        d_.Put("InsertionPoint", Variant::Point(p));
    }
    int Color() override { return d_.Call("Color").AsInt("Color"); }
    void SetColor(int color) override { d_.Put("Color", Variant::Int(color)); }
    std::string Layer() override { return Str("Layer"); }
    void SetLayer(const std::string &name) override { d_.Put("Layer", Variant::String(name)); }
    std::string Linetype() override { return Str("Linetype"); }
    void SetLinetype(const std::string &name) override {
        d_.Put("Linetype", Variant::String(name));
    }
    double Rotation() override { return Num("Rotation"); }
    void SetRotation(double radians) override { d_.Put("Rotation", Variant::Double(radians)); }
    double ScaleFactor() override { return Num("ScaleFactor"); }
    void SetScaleFactor(double factor) override { d_.Put("ScaleFactor", Variant::Double(factor)); }
    TextAlignment Alignment() override {
        return static_cast<TextAlignment>(d_.Call("Alignment").AsInt("Alignment"));
    }
    void SetAlignment(TextAlignment alignment) override {
        d_.Put("Alignment", Variant::Int(static_cast<int>(alignment)));
    }
    int HorizontalAlignment() override {
        return d_.Call("HorizontalAlignment").AsInt("HorizontalAlignment");
    }
    void SetHorizontalAlignment(int value) override {
        d_.Put("HorizontalAlignment", Variant::Int(value));
    }
    int VerticalAlignment() override {
        return d_.Call("VerticalAlignment").AsInt("VerticalAlignment");
    }
    void SetVerticalAlignment(int value) override {
        d_.Put("VerticalAlignment", Variant::Int(value));
    }
    TAcadPoint TextAlignmentPoint() override { return Pt("TextAlignmentPoint"); }
    void SetTextAlignmentPoint(const TAcadPoint &p) override {
        d_.Put("TextAlignmentPoint", Variant::Point(p));
    }

    void SetBulge(int index, double bulge) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        args.push_back(Variant::Double(bulge));
        d_.Call("SetBulge", std::move(args));
    }
    std::vector<EntityPtr> Explode() override {
        const Variant parts = d_.Call("Explode");
        std::vector<EntityPtr> out;
        for (ComPtr<IDispatch> &p : parts.AsObjects("Explode"))
            out.push_back(std::make_shared<ComEntity>(d_.Wrap(std::move(p), "Entity")));
        return out;
    }
    void Delete() override { d_.Call("Delete"); }
    void Highlight(bool on) override {
        std::vector<Variant> args;
        args.push_back(Variant::Bool(on));
        d_.Call("Highlight", std::move(args));
    }
    void Update() override { d_.Call("Update"); }

private:
    std::string Str(const char *name) { return d_.Call(name).AsString(name); }
    double Num(const char *name) { return d_.Call(name).AsDouble(name); }
    TAcadPoint Pt(const char *name) { return d_.Call(name).AsPoint(name); }

    Dispatch d_;
};

EntityPtr EntityOf(Dispatch &from, const Variant &v, const char *what) {
    return std::make_shared<ComEntity>(from.Wrap(v.AsObject(what), "Entity"));
}

// Model space and block definitions.
template <class Base>
class ComContainerOf : public Base {
public:
    explicit ComContainerOf(Dispatch d) : d_(std::move(d)) {}

    int Count() override { return d_.Call("Count").AsInt("Count"); }
    EntityPtr Item(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return EntityOf(d_, d_.Call("Item", std::move(args)), "Item");
    }
    EntityPtr AddLine(const TAcadPoint &p1, const TAcadPoint &p2) override {
        std::vector<Variant> args;
        args.push_back(Variant::Point(p1));
        args.push_back(Variant::Point(p2));
        return EntityOf(d_, d_.Call("AddLine", std::move(args)), "AddLine");
    }
    EntityPtr AddCircle(const TAcadPoint &center, double radius) override {
        std::vector<Variant> args;
        args.push_back(Variant::Point(center));
        args.push_back(Variant::Double(radius));
        return EntityOf(d_, d_.Call("AddCircle", std::move(args)), "AddCircle");
    }
    EntityPtr AddText(const std::string &text, const TAcadPoint &point, double height) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(text));
        args.push_back(Variant::Point(point));
        args.push_back(Variant::Double(height));
        return EntityOf(d_, d_.Call("AddText", std::move(args)), "AddText");
    }
    EntityPtr AddLightWeightPolyline(const std::vector<double> &xy) override {
        std::vector<Variant> args;
        args.push_back(Variant::Doubles(xy));
        return EntityOf(d_, d_.Call("AddLightWeightPolyline", std::move(args)),
                        "AddLightWeightPolyline");
    }
    EntityPtr InsertBlock(const TAcadPoint &point, const std::string &name, double sx, double sy,
                          double sz, double rotation) override {
        std::vector<Variant> args;
        args.push_back(Variant::Point(point));
        args.push_back(Variant::String(name));
        args.push_back(Variant::Double(sx));
        args.push_back(Variant::Double(sy));
        args.push_back(Variant::Double(sz));
        args.push_back(Variant::Double(rotation));
        return EntityOf(d_, d_.Call("InsertBlock", std::move(args)), "InsertBlock");
    }

protected:
    Dispatch d_;
};

using ComContainer = ComContainerOf<IEntityContainer>;

class ComBlock : public ComContainerOf<IBlock> {
public:
    explicit ComBlock(Dispatch d) : ComContainerOf(std::move(d)) {}
    std::string Name() override { return this->d_.Call("Name").AsString("Name"); }
    TAcadPoint Origin() override { return this->d_.Call("Origin").AsPoint("Origin"); }
    void Delete() override { this->d_.Call("Delete"); }
};

class ComBlocks : public IBlocks {
public:
    explicit ComBlocks(Dispatch d) : d_(std::move(d)) {}
    int Count() override { return d_.Call("Count").AsInt("Count"); }
    BlockPtr Item(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return std::make_shared<ComBlock>(d_.Child("Item", "Block", std::move(args)));
    }
    BlockPtr Add(const TAcadPoint &origin, const std::string &name) override {
        std::vector<Variant> args;
        args.push_back(Variant::Point(origin));
        args.push_back(Variant::String(name));
        return std::make_shared<ComBlock>(d_.Child("Add", "Block", std::move(args)));
    }

private:
    Dispatch d_;
};

class ComTableRecord : public ITableRecord {
public:
    explicit ComTableRecord(Dispatch d) : d_(std::move(d)) {}
    std::string Name() override { return d_.Call("Name").AsString("Name"); }

private:
    Dispatch d_;
};

class ComLayers : public ILayers {
public:
    explicit ComLayers(Dispatch d) : d_(std::move(d)) {}
    int Count() override { return d_.Call("Count").AsInt("Count"); }
    TableRecordPtr Item(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return std::make_shared<ComTableRecord>(d_.Child("Item", "Layer", std::move(args)));
    }
    TableRecordPtr Add(const std::string &name) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(name));
        return std::make_shared<ComTableRecord>(d_.Child("Add", "Layer", std::move(args)));
    }

private:
    Dispatch d_;
};

class ComLinetypes : public ILinetypes {
public:
    explicit ComLinetypes(Dispatch d) : d_(std::move(d)) {}
    int Count() override { return d_.Call("Count").AsInt("Count"); }
    TableRecordPtr Item(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return std::make_shared<ComTableRecord>(d_.Child("Item", "Linetype", std::move(args)));
    }
    void Load(const std::string &name, const std::string &file) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(name));
        args.push_back(Variant::String(file));
        d_.Call("Load", std::move(args));
    }

private:
    Dispatch d_;
};

class ComSelectionSet : public ISelectionSet {
public:
    explicit ComSelectionSet(Dispatch d) : d_(std::move(d)) {}
    std::string Name() override { return d_.Call("Name").AsString("Name"); }
    int Count() override { return d_.Call("Count").AsInt("Count"); }
    EntityPtr Item(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return EntityOf(d_, d_.Call("Item", std::move(args)), "Item");
    }
    void Clear() override { d_.Call("Clear"); }
    void Delete() override { d_.Call("Delete"); }
    void SelectOnScreen(const SelectionFilter &filter) override {
        auto [codes, values] = FilterArguments(filter);
        std::vector<Variant> args;
        args.push_back(std::move(codes));
        args.push_back(std::move(values));
        d_.Call("SelectOnScreen", std::move(args));
    }
    void Select(SelectMode mode, const TAcadPoint &p1, const TAcadPoint &p2,
                const SelectionFilter &filter) override {
        auto [codes, values] = FilterArguments(filter);
        std::vector<Variant> args;
        args.push_back(Variant::Int(static_cast<int>(mode)));
        args.push_back(Variant::Point(p1));
        args.push_back(Variant::Point(p2));
        args.push_back(std::move(codes));
        args.push_back(std::move(values));
        d_.Call("Select", std::move(args));
    }

private:
    Dispatch d_;
};

class ComSelectionSets : public ISelectionSets {
public:
    explicit ComSelectionSets(Dispatch d) : d_(std::move(d)) {}
    int Count() override { return d_.Call("Count").AsInt("Count"); }
    SelectionSetPtr Item(int index) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(index));
        return std::make_shared<ComSelectionSet>(d_.Child("Item", "SelectionSet", std::move(args)));
    }
    SelectionSetPtr Add(const std::string &name) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(name));
        return std::make_shared<ComSelectionSet>(d_.Child("Add", "SelectionSet", std::move(args)));
    }

private:
    Dispatch d_;
};

class ComUtility : public IUtility {
public:
    explicit ComUtility(Dispatch d) : d_(std::move(d)) {}
    void Prompt(const std::string &text) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(text));
        d_.Call("Prompt", std::move(args));
    }
    TAcadPoint GetPoint(const std::optional<TAcadPoint> &base, const std::string &prompt) override {
        std::vector<Variant> args;
        args.push_back(OptionalPoint(base));
        args.push_back(Variant::String(prompt));
        return d_.Call("GetPoint", std::move(args)).AsPoint("GetPoint");
    }
    double GetAngle(const std::optional<TAcadPoint> &base, const std::string &prompt) override {
        std::vector<Variant> args;
        args.push_back(OptionalPoint(base));
        args.push_back(Variant::String(prompt));
        return d_.Call("GetAngle", std::move(args)).AsDouble("GetAngle");
    }
    std::pair<EntityPtr, TAcadPoint> GetEntity(const std::string &prompt) override {
        // The entity and the point come back through two VARIANTs passed by reference.
        Variant entity, point;
        std::vector<Variant> args(3);
        args[0].get()->vt = VT_BYREF | VT_VARIANT;
        args[0].get()->pvarVal = entity.get();
        args[1].get()->vt = VT_BYREF | VT_VARIANT;
        args[1].get()->pvarVal = point.get();
        args[2] = Variant::String(prompt);
        d_.Call("GetEntity", std::move(args));
        return {EntityOf(d_, entity, "GetEntity"), point.AsPoint("GetEntity")};
    }

private:
    Dispatch d_;
};

class ComDocument : public IDocument {
public:
    explicit ComDocument(Dispatch d) : d_(std::move(d)) {}

    IEntityContainer &ModelSpace() override {
        if (!modelSpace_)
            modelSpace_ = std::make_unique<ComContainer>(d_.Child("ModelSpace", "ModelSpace"));
        return *modelSpace_;
    }
    IBlocks &Blocks() override {
        if (!blocks_) blocks_ = std::make_unique<ComBlocks>(d_.Child("Blocks", "Blocks"));
        return *blocks_;
    }
    ILayers &Layers() override {
        if (!layers_) layers_ = std::make_unique<ComLayers>(d_.Child("Layers", "Layers"));
        return *layers_;
    }
    ILinetypes &Linetypes() override {
        if (!linetypes_)
            linetypes_ = std::make_unique<ComLinetypes>(d_.Child("Linetypes", "Linetypes"));
        return *linetypes_;
    }
    ISelectionSets &SelectionSets() override {
        if (!selectionSets_)
            selectionSets_ =
                std::make_unique<ComSelectionSets>(d_.Child("SelectionSets", "SelectionSets"));
        return *selectionSets_;
    }
    IUtility &Utility() override {
        if (!utility_) utility_ = std::make_unique<ComUtility>(d_.Child("Utility", "Utility"));
        return *utility_;
    }
    void SendCommand(const std::string &text) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(text));
        d_.Call("SendCommand", std::move(args));
    }
    void SetVariable(const std::string &name, const SysValue &value) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(name));
        // Integer system variables take a 16-bit integer; a 32-bit one is refused.
        if (const int *i = std::get_if<int>(&value))
            args.push_back(Variant::Short(*i));
        else if (const double *x = std::get_if<double>(&value))
            args.push_back(Variant::Double(*x));
        else
            args.push_back(Variant::Point(std::get<TAcadPoint>(value)));
        d_.Call("SetVariable", std::move(args));
    }
    SysValue GetVariable(const std::string &name) override {
        std::vector<Variant> args;
        args.push_back(Variant::String(name));
        const Variant v = d_.Call("GetVariable", std::move(args));
        if (v.type() & VT_ARRAY) return v.AsPoint("GetVariable");
        switch (v.type()) {
            case VT_R4:
            case VT_R8:
                return v.AsDouble("GetVariable");
            default:
                return v.AsInt("GetVariable");
        }
    }
    void StartUndoMark() override { d_.Call("StartUndoMark"); }
    void EndUndoMark() override { d_.Call("EndUndoMark"); }
    void Regen(int which) override {
        std::vector<Variant> args;
        args.push_back(Variant::Int(which));
        d_.Call("Regen", std::move(args));
    }
    EntityPtr ObjectIDToObject(ObjectId id) override {
        std::vector<Variant> args;
        args.push_back(Variant::Long(id.value));
        return EntityOf(d_, d_.Call("ObjectIDToObject", std::move(args)), "ObjectIDToObject");
    }

private:
    Dispatch d_;
    std::unique_ptr<ComContainer> modelSpace_;
    std::unique_ptr<ComBlocks> blocks_;
    std::unique_ptr<ComLayers> layers_;
    std::unique_ptr<ComLinetypes> linetypes_;
    std::unique_ptr<ComSelectionSets> selectionSets_;
    std::unique_ptr<ComUtility> utility_;
};

class ComState : public ICadState {
public:
    explicit ComState(Dispatch d) : d_(std::move(d)) {}
    bool IsQuiescent() override { return d_.Call("IsQuiescent").AsBool("IsQuiescent"); }

private:
    Dispatch d_;
};

class ComApplication : public IApplication {
public:
    explicit ComApplication(Dispatch d) : d_(std::move(d)) {}
    std::intptr_t HWND() override {
        return static_cast<std::intptr_t>(d_.Call("HWND").AsLong("HWND"));
    }
    IDocument &ActiveDocument() override {
        if (!document_)
            document_ = std::make_unique<ComDocument>(d_.Child("ActiveDocument", "Document"));
        return *document_;
    }
    CadStatePtr GetAcadState() override { return State("GetAcadState"); }
    CadStatePtr GetGcadState() override { return State("GetGcadState"); }
    CadStatePtr GetZcadState() override { return State("GetZcadState"); }

private:
    CadStatePtr State(const char *member) {
        return std::make_shared<ComState>(d_.Child(member, "State"));
    }

    Dispatch d_;
    std::unique_ptr<ComDocument> document_;
};

}  // namespace

ApplicationPtr WrapApplication(Dispatch application) {
    return std::make_shared<ComApplication>(std::move(application));
}

ApplicationPtr ComConnector::GetActiveObject(const std::string &progId) {
    CLSID clsid{};
    const std::wstring wide = Widen(progId);
    const HRESULT known = CLSIDFromProgID(wide.c_str(), &clsid);
    if (FAILED(known))
        throw CadError("The CAD class \"" + progId + "\" is not registered on this computer (" +
                       HresultText(known) + ")");
    ComPtr<IUnknown> running;
    if (FAILED(::GetActiveObject(clsid, nullptr, running.put())) || !running) return nullptr;
    ComPtr<IDispatch> dispatch;
    if (FAILED(running->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(dispatch.put()))))
        return nullptr;
    return WrapApplication(Dispatch(std::move(dispatch), context_, "Application"));
}

}  // namespace pimu::cadlink::com
