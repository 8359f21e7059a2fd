// A stand-in for a running CAD, for the Windows tests under Wine: a local COM server whose
// application object answers the automation calls Pimu makes from Pimu's own embedded drawing.
// It has no type library; every object is a hand-written IDispatch with a name table.
//
//   standin.exe /regserver PROGID...    maps the ProgIDs to the stand-in's class (HKCR)
//   standin.exe --open site.dxf --script picks.txt --save out.dxf --quit-file F --ready-file R
//               [--log FILE] [--reject-after K --reject N] [--busy-ms M] [--die-on MEMBER]
//
// It registers its application as the running object of its class, answers calls until the
// quit file appears, then saves the drawing. The picks come from the script (the embedded
// drawing's ScriptedInput format). --reject makes its message filter refuse N incoming calls
// after the first K; --busy-ms reports the CAD busy (IsQuiescent false, calls answered
// "retry later") for M ms after every typed command; --die-on ends the process in the middle of
// the first call of that member.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "cadlink/embedded/document.h"
#include "cadlink/embedded/input.h"

namespace {

using namespace pimu::cadlink;
using pimu::geometry::TAcadPoint;
namespace fs = std::filesystem;

// {6F1E3A52-4D0B-4C7E-9B1A-5A1D0C2E7F31}: the stand-in's class.
constexpr CLSID kStandInClsid = {
    0x6f1e3a52, 0x4d0b, 0x4c7e, {0x9b, 0x1a, 0x5a, 0x1d, 0x0c, 0x2e, 0x7f, 0x31}};

std::wstring Widen(const std::string &s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Narrow(const wchar_t *w, size_t len) {
    if (len == 0) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), s.data(), n, nullptr, nullptr);
    return s;
}

// What the test asked of the stand-in, and what it counts. One per process, owned by main.
struct Behaviour {
    long rejectAfter = -1;  // incoming calls answered before the rejections start
    long rejections = 0;    // calls still to refuse
    int busyMs = 0;
    std::string dieOn;
    long incoming = 0;
    long rejected = 0;
    long long busyUntil = 0;
    std::FILE *log = nullptr;

    void Log(const std::string &line) {
        if (!log) return;
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
    }
    bool Busy() const { return static_cast<long long>(GetTickCount64()) < busyUntil; }
};

// ---- Arguments and results ---------------------------------------------------------------------

class Args {
public:
    explicit Args(DISPPARAMS *p) {
        // Positional arguments arrive last first; named ones (the value of a property put) first.
        for (UINT i = 0; i < p->cArgs; ++i) all_.push_back(&p->rgvarg[p->cArgs - 1 - i]);
    }
    size_t size() const { return all_.size(); }
    VARIANT *Raw(size_t i) const {
        if (i >= all_.size()) throw CadError("argument missing");
        VARIANT *v = all_[i];
        if (v->vt == (VT_BYREF | VT_VARIANT)) return v->pvarVal;
        return v;
    }
    VARIANT *Out(size_t i) const {
        VARIANT *v = all_.at(i);
        if (v->vt != (VT_BYREF | VT_VARIANT))
            throw CadError("an out argument must be by reference");
        return v->pvarVal;
    }
    bool Missing(size_t i) const {
        if (i >= all_.size()) return true;
        const VARIANT *v = Raw(i);
        return v->vt == VT_EMPTY || v->vt == VT_NULL ||
               (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
    }
    VARIANT Changed(size_t i, VARTYPE to) const {
        VARIANT out;
        VariantInit(&out);
        if (FAILED(VariantChangeType(&out, Raw(i), 0, to)))
            throw CadError("argument " + std::to_string(i + 1) + " has the wrong type");
        return out;
    }
    double Double(size_t i) const { return Changed(i, VT_R8).dblVal; }
    long long Long(size_t i) const { return Changed(i, VT_I8).llVal; }
    int Int(size_t i) const { return static_cast<int>(Changed(i, VT_I4).lVal); }
    bool Bool(size_t i) const { return Changed(i, VT_BOOL).boolVal != VARIANT_FALSE; }
    std::string String(size_t i) const {
        VARIANT v = Changed(i, VT_BSTR);
        std::string s = Narrow(v.bstrVal, SysStringLen(v.bstrVal));
        VariantClear(&v);
        return s;
    }
    std::vector<double> Doubles(size_t i) const {
        const VARIANT *v = Raw(i);
        if (v->vt != (VT_ARRAY | VT_R8))
            throw CadError("argument " + std::to_string(i + 1) + " is no array of doubles");
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(v->parray, 1, &lo);
        SafeArrayGetUBound(v->parray, 1, &hi);
        std::vector<double> out;
        for (LONG k = lo; k <= hi; ++k) {
            double d = 0;
            SafeArrayGetElement(v->parray, &k, &d);
            out.push_back(d);
        }
        return out;
    }
    TAcadPoint Point(size_t i) const {
        const std::vector<double> d = Doubles(i);
        if (d.size() != 3) throw CadError("a point is 3 doubles");
        return {d[0], d[1], d[2]};
    }
    std::optional<TAcadPoint> OptionalPoint(size_t i) const {
        if (Missing(i)) return std::nullopt;
        return Point(i);
    }
    // Filter pair: SAFEARRAY(VT_I2) codes and SAFEARRAY(VT_VARIANT) values.
    SelectionFilter Filter(size_t codes, size_t values) const {
        SelectionFilter f;
        if (Missing(codes) || Missing(values)) return f;
        const VARIANT *c = Raw(codes);
        const VARIANT *v = Raw(values);
        if (c->vt != (VT_ARRAY | VT_I2) || v->vt != (VT_ARRAY | VT_VARIANT))
            throw CadError("the filter must be short codes and variant values");
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(c->parray, 1, &lo);
        SafeArrayGetUBound(c->parray, 1, &hi);
        for (LONG k = lo; k <= hi; ++k) {
            SHORT code = 0;
            VARIANT value;
            VariantInit(&value);
            SafeArrayGetElement(c->parray, &k, &code);
            SafeArrayGetElement(v->parray, &k, &value);
            VARIANT text;
            VariantInit(&text);
            VariantChangeType(&text, &value, 0, VT_BSTR);
            f.emplace_back(code, Narrow(text.bstrVal, SysStringLen(text.bstrVal)));
            VariantClear(&text);
            VariantClear(&value);
        }
        return f;
    }

private:
    std::vector<VARIANT *> all_;
};

void SetDoubles(VARIANT *r, const std::vector<double> &values) {
    SAFEARRAY *a = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    for (LONG k = 0; k < static_cast<LONG>(values.size()); ++k) {
        double d = values[static_cast<size_t>(k)];
        SafeArrayPutElement(a, &k, &d);
    }
    r->vt = VT_ARRAY | VT_R8;
    r->parray = a;
}
void SetPoint(VARIANT *r, const TAcadPoint &p) {
    SetDoubles(r, {p.x, p.y, p.z});
}
void SetDouble(VARIANT *r, double d) {
    r->vt = VT_R8, r->dblVal = d;
}
void SetInt(VARIANT *r, long i) {
    r->vt = VT_I4, r->lVal = i;
}
void SetBool(VARIANT *r, bool b) {
    r->vt = VT_BOOL, r->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}
void SetString(VARIANT *r, const std::string &s) {
    const std::wstring w = Widen(s);
    r->vt = VT_BSTR;
    r->bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

// ---- The generic object ------------------------------------------------------------------------

struct Member {
    const wchar_t *name;
    std::function<void(const Args &, VARIANT *)> get;  // also methods
    std::function<void(const Args &)> put;             // property put: the value is argument 0
};

class Object : public IDispatch {
public:
    Object(Behaviour &b, const char *role) : behaviour_(b), role_(role) {}
    virtual ~Object() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID,
                                            DISPID *ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (size_t m = 0; m < members_.size(); ++m)
                if (_wcsicmp(members_[m].name, names[i]) == 0) ids[i] = static_cast<DISPID>(m + 1);
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *error, UINT *) override {
        if (id < 1 || static_cast<size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
        const Member &m = members_[static_cast<size_t>(id - 1)];
        const std::string name = Narrow(m.name, wcslen(m.name));
        behaviour_.Log(role_ + "." + name);
        if (!behaviour_.dieOn.empty() &&
            pimu::UpperAscii(name) == pimu::UpperAscii(behaviour_.dieOn)) {
            behaviour_.Log("dying in " + name);
            ExitProcess(3);
        }
        VARIANT scratch;
        VariantInit(&scratch);
        VARIANT *r = result ? result : &scratch;
        VariantInit(r);
        try {
            const Args args(params);
            if (flags & DISPATCH_PROPERTYPUT) {
                if (!m.put) return DISP_E_MEMBERNOTFOUND;
                m.put(args);
            } else {
                if (!m.get) return DISP_E_MEMBERNOTFOUND;
                m.get(args, r);
            }
        } catch (const std::exception &e) {
            VariantClear(r);
            if (error) {
                *error = EXCEPINFO{};
                error->scode = E_FAIL;
                error->bstrSource = SysAllocString(L"Pimu stand-in CAD");
                const std::wstring text = Widen(e.what());
                error->bstrDescription =
                    SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            }
            behaviour_.Log("  error: " + std::string(e.what()));
            VariantClear(&scratch);
            return DISP_E_EXCEPTION;
        }
        VariantClear(&scratch);
        return S_OK;
    }

protected:
    void Add(const wchar_t *name, std::function<void(const Args &, VARIANT *)> get,
             std::function<void(const Args &)> put = {}) {
        members_.push_back({name, std::move(get), std::move(put)});
    }
    // Hands a new object out as the call's result.
    static void Return(VARIANT *r, Object *o) {
        r->vt = VT_DISPATCH;
        r->pdispVal = o;
        o->AddRef();
    }

    Behaviour &behaviour_;

private:
    std::string role_;
    std::vector<Member> members_;
    LONG refs_ = 0;
};

class EntityObject : public Object {
public:
    EntityObject(Behaviour &b, EntityPtr e) : Object(b, "Entity"), e_(std::move(e)) {
        IEntity &x = *e_;
        Add(L"EntityName", [&x](const Args &, VARIANT *r) { SetString(r, x.EntityName()); });
        Add(L"Handle", [&x](const Args &, VARIANT *r) { SetString(r, x.Handle()); });
        Add(L"ObjectID", [&x](const Args &, VARIANT *r) {
            r->vt = VT_I8;
            r->llVal = x.ObjectID().value;
        });
        Point(L"StartPoint", &IEntity::StartPoint);
        Point(L"EndPoint", &IEntity::EndPoint);
        Point(L"Center", &IEntity::Center);
        Point(L"MajorAxis", &IEntity::MajorAxis);
        Point(L"Normal", &IEntity::Normal);
        Number(L"Radius", &IEntity::Radius);
        Number(L"StartAngle", &IEntity::StartAngle);
        Number(L"EndAngle", &IEntity::EndAngle);
        Number(L"StartParameter", &IEntity::StartParameter);
        Number(L"EndParameter", &IEntity::EndParameter);
        Number(L"RadiusRatio", &IEntity::RadiusRatio);
        Number(L"Thickness", &IEntity::Thickness);
        Number(L"Elevation", &IEntity::Elevation);
        Number(L"Area", &IEntity::Area);
        Number(L"Height", &IEntity::Height);
        Add(L"Coordinates", [&x](const Args &, VARIANT *r) { SetDoubles(r, x.Coordinates()); });
        Add(L"Coordinate",
            [&x](const Args &a, VARIANT *r) { SetPoint(r, x.Coordinate(a.Int(0))); });
        Add(L"GetBulge", [&x](const Args &a, VARIANT *r) { SetDouble(r, x.GetBulge(a.Int(0))); });
        Add(L"SetBulge", [&x](const Args &a, VARIANT *) { x.SetBulge(a.Int(0), a.Double(1)); });
        Add(L"TextString", [&x](const Args &, VARIANT *r) { SetString(r, x.TextString()); });
        Add(L"Name", [&x](const Args &, VARIANT *r) { SetString(r, x.Name()); });
        Add(
            L"Closed", [&x](const Args &, VARIANT *r) { SetBool(r, x.Closed()); },
            [&x](const Args &a) { x.SetClosed(a.Bool(0)); });
        Add(
            L"InsertionPoint", [&x](const Args &, VARIANT *r) { SetPoint(r, x.InsertionPoint()); },
            [&x](const Args &a) { x.SetInsertionPoint(a.Point(0)); });
        Add(
            L"Color", [&x](const Args &, VARIANT *r) { SetInt(r, x.Color()); },
            [&x](const Args &a) { x.SetColor(a.Int(0)); });
        Add(
            L"Layer", [&x](const Args &, VARIANT *r) { SetString(r, x.Layer()); },
            [&x](const Args &a) { x.SetLayer(a.String(0)); });
        Add(
            L"Linetype", [&x](const Args &, VARIANT *r) { SetString(r, x.Linetype()); },
            [&x](const Args &a) { x.SetLinetype(a.String(0)); });
        Add(
            L"Rotation", [&x](const Args &, VARIANT *r) { SetDouble(r, x.Rotation()); },
            [&x](const Args &a) { x.SetRotation(a.Double(0)); });
        Add(
            L"ScaleFactor", [&x](const Args &, VARIANT *r) { SetDouble(r, x.ScaleFactor()); },
            [&x](const Args &a) { x.SetScaleFactor(a.Double(0)); });
        Add(
            L"Alignment",
            [&x](const Args &, VARIANT *r) { SetInt(r, static_cast<int>(x.Alignment())); },
            [&x](const Args &a) { x.SetAlignment(static_cast<TextAlignment>(a.Int(0))); });
        Add(
            L"HorizontalAlignment",
            [&x](const Args &, VARIANT *r) { SetInt(r, x.HorizontalAlignment()); },
            [&x](const Args &a) { x.SetHorizontalAlignment(a.Int(0)); });
        Add(
            L"VerticalAlignment",
            [&x](const Args &, VARIANT *r) { SetInt(r, x.VerticalAlignment()); },
            [&x](const Args &a) { x.SetVerticalAlignment(a.Int(0)); });
        Add(
            L"TextAlignmentPoint",
            [&x](const Args &, VARIANT *r) { SetPoint(r, x.TextAlignmentPoint()); },
            [&x](const Args &a) { x.SetTextAlignmentPoint(a.Point(0)); });
        Add(L"Explode", [this, &x](const Args &, VARIANT *r) {
            const std::vector<EntityPtr> parts = x.Explode();
            SAFEARRAY *arr = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(parts.size()));
            for (LONG k = 0; k < static_cast<LONG>(parts.size()); ++k) {
                VARIANT v;
                VariantInit(&v);
                Return(&v, new EntityObject(behaviour_, parts[static_cast<size_t>(k)]));
                SafeArrayPutElement(arr, &k, &v);
                VariantClear(&v);
            }
            r->vt = VT_ARRAY | VT_VARIANT;
            r->parray = arr;
        });
        Add(L"Delete", [&x](const Args &, VARIANT *) { x.Delete(); });
        Add(L"Highlight", [&x](const Args &a, VARIANT *) { x.Highlight(a.Bool(0)); });
        Add(L"Update", [&x](const Args &, VARIANT *) { x.Update(); });
    }

private:
    void Point(const wchar_t *name, TAcadPoint (IEntity::*read)()) {
        Add(name, [this, read](const Args &, VARIANT *r) { SetPoint(r, ((*e_).*read)()); });
    }
    void Number(const wchar_t *name, double (IEntity::*read)()) {
        Add(name, [this, read](const Args &, VARIANT *r) { SetDouble(r, ((*e_).*read)()); });
    }
    EntityPtr e_;
};

void ReturnEntity(Behaviour &b, VARIANT *r, EntityPtr e) {
    r->vt = VT_DISPATCH;
    r->pdispVal = new EntityObject(b, std::move(e));
    r->pdispVal->AddRef();
}

class RecordObject : public Object {
public:
    RecordObject(Behaviour &b, TableRecordPtr rec) : Object(b, "Record"), rec_(std::move(rec)) {
        Add(L"Name", [this](const Args &, VARIANT *r) { SetString(r, rec_->Name()); });
    }

private:
    TableRecordPtr rec_;
};

// Model space and blocks: `keep` holds a block alive.
class ContainerObject : public Object {
public:
    ContainerObject(Behaviour &b, IEntityContainer &c, BlockPtr keep = nullptr)
        : Object(b, keep ? "Block" : "ModelSpace"), keep_(std::move(keep)) {
        IEntityContainer &x = c;
        Add(L"Count", [&x](const Args &, VARIANT *r) { SetInt(r, x.Count()); });
        Add(L"Item", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r, x.Item(a.Int(0)));
        });
        Add(L"AddLine", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r, x.AddLine(a.Point(0), a.Point(1)));
        });
        Add(L"AddCircle", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r, x.AddCircle(a.Point(0), a.Double(1)));
        });
        Add(L"AddText", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r, x.AddText(a.String(0), a.Point(1), a.Double(2)));
        });
        Add(L"AddLightWeightPolyline", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r, x.AddLightWeightPolyline(a.Doubles(0)));
        });
        Add(L"InsertBlock", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r,
                         x.InsertBlock(a.Point(0), a.String(1), a.Double(2), a.Double(3),
                                       a.Double(4), a.Double(5)));
        });
        if (keep_) {
            Add(L"Name", [this](const Args &, VARIANT *r) { SetString(r, keep_->Name()); });
            Add(L"Origin", [this](const Args &, VARIANT *r) { SetPoint(r, keep_->Origin()); });
            Add(L"Delete", [this](const Args &, VARIANT *) { keep_->Delete(); });
        }
    }

private:
    BlockPtr keep_;
};

class SelectionSetObject : public Object {
public:
    SelectionSetObject(Behaviour &b, SelectionSetPtr s)
        : Object(b, "SelectionSet"), s_(std::move(s)) {
        ISelectionSet &x = *s_;
        Add(L"Name", [&x](const Args &, VARIANT *r) { SetString(r, x.Name()); });
        Add(L"Count", [&x](const Args &, VARIANT *r) { SetInt(r, x.Count()); });
        Add(L"Item", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r, x.Item(a.Int(0)));
        });
        Add(L"Clear", [&x](const Args &, VARIANT *) { x.Clear(); });
        Add(L"Delete", [&x](const Args &, VARIANT *) { x.Delete(); });
        Add(L"SelectOnScreen",
            [&x](const Args &a, VARIANT *) { x.SelectOnScreen(a.Filter(0, 1)); });
        Add(L"Select", [&x](const Args &a, VARIANT *) {
            x.Select(static_cast<SelectMode>(a.Int(0)), a.OptionalPoint(1).value_or(TAcadPoint{}),
                     a.OptionalPoint(2).value_or(TAcadPoint{}), a.Filter(3, 4));
        });
    }

private:
    SelectionSetPtr s_;
};

class StateObject : public Object {
public:
    explicit StateObject(Behaviour &b) : Object(b, "State") {
        Add(L"IsQuiescent", [this](const Args &, VARIANT *r) { SetBool(r, !behaviour_.Busy()); });
    }
};

class DocumentObject : public Object {
public:
    DocumentObject(Behaviour &b, embedded::EmbeddedDocument &d) : Object(b, "Document") {
        embedded::EmbeddedDocument &x = d;
        Add(L"ModelSpace", [this, &x](const Args &, VARIANT *r) {
            Return(r, new ContainerObject(behaviour_, x.ModelSpace()));
        });
        Add(L"Blocks", [this, &x](const Args &, VARIANT *r) { Return(r, Blocks(x)); });
        Add(L"Layers", [this, &x](const Args &, VARIANT *r) { Return(r, Layers(x)); });
        Add(L"Linetypes", [this, &x](const Args &, VARIANT *r) { Return(r, Linetypes(x)); });
        Add(L"SelectionSets",
            [this, &x](const Args &, VARIANT *r) { Return(r, SelectionSets(x)); });
        Add(L"Utility", [this, &x](const Args &, VARIANT *r) { Return(r, Utility(x)); });
        Add(L"SendCommand", [this, &x](const Args &a, VARIANT *) {
            x.SendCommand(a.String(0));
            if (behaviour_.busyMs > 0)
                behaviour_.busyUntil = static_cast<long long>(GetTickCount64()) + behaviour_.busyMs;
        });
        Add(L"SetVariable", [&x](const Args &a, VARIANT *) {
            const std::string name = a.String(0);
            const VARIANT *v = a.Raw(1);
            if (v->vt & VT_ARRAY)
                x.SetVariable(name, a.Point(1));
            else if (v->vt == VT_R8 || v->vt == VT_R4)
                x.SetVariable(name, a.Double(1));
            else if (v->vt == VT_I2)
                x.SetVariable(name, a.Int(1));
            else
                throw CadError("SetVariable: integer variables take a 16-bit integer");
        });
        Add(L"GetVariable", [&x](const Args &a, VARIANT *r) {
            const SysValue v = x.GetVariable(a.String(0));
            if (const int *i = std::get_if<int>(&v)) {
                r->vt = VT_I2;
                r->iVal = static_cast<SHORT>(*i);
            } else if (const double *d = std::get_if<double>(&v)) {
                SetDouble(r, *d);
            } else {
                SetPoint(r, std::get<TAcadPoint>(v));
            }
        });
        Add(L"StartUndoMark", [&x](const Args &, VARIANT *) { x.StartUndoMark(); });
        Add(L"EndUndoMark", [&x](const Args &, VARIANT *) { x.EndUndoMark(); });
        Add(L"Regen", [&x](const Args &a, VARIANT *) { x.Regen(a.Int(0)); });
        Add(L"ObjectIDToObject", [this, &x](const Args &a, VARIANT *r) {
            ReturnEntity(behaviour_, r, x.ObjectIDToObject(ObjectId{a.Long(0)}));
        });
    }

private:
    Object *Blocks(embedded::EmbeddedDocument &d);
    Object *Layers(embedded::EmbeddedDocument &d);
    Object *Linetypes(embedded::EmbeddedDocument &d);
    Object *SelectionSets(embedded::EmbeddedDocument &d);
    Object *Utility(embedded::EmbeddedDocument &d);
};

// A collection object made of three lambdas.
class Collection : public Object {
public:
    Collection(Behaviour &b, const char *role) : Object(b, role) {}
    using Object::Add;
};

Object *DocumentObject::Blocks(embedded::EmbeddedDocument &d) {
    auto *c = new Collection(behaviour_, "Blocks");
    IBlocks &x = d.Blocks();
    Behaviour &b = behaviour_;
    c->Add(L"Count", [&x](const Args &, VARIANT *r) { SetInt(r, x.Count()); });
    c->Add(L"Item", [&b, &x](const Args &a, VARIANT *r) {
        BlockPtr block = x.Item(a.Int(0));
        IEntityContainer &content = *block;
        r->vt = VT_DISPATCH;
        r->pdispVal = new ContainerObject(b, content, block);
        r->pdispVal->AddRef();
    });
    c->Add(L"Add", [&b, &x](const Args &a, VARIANT *r) {
        BlockPtr block = x.Add(a.Point(0), a.String(1));
        IEntityContainer &content = *block;
        r->vt = VT_DISPATCH;
        r->pdispVal = new ContainerObject(b, content, block);
        r->pdispVal->AddRef();
    });
    return c;
}

Object *DocumentObject::Layers(embedded::EmbeddedDocument &d) {
    auto *c = new Collection(behaviour_, "Layers");
    ILayers &x = d.Layers();
    Behaviour &b = behaviour_;
    c->Add(L"Count", [&x](const Args &, VARIANT *r) { SetInt(r, x.Count()); });
    c->Add(L"Item", [&b, &x](const Args &a, VARIANT *r) {
        r->vt = VT_DISPATCH;
        r->pdispVal = new RecordObject(b, x.Item(a.Int(0)));
        r->pdispVal->AddRef();
    });
    c->Add(L"Add", [&b, &x](const Args &a, VARIANT *r) {
        r->vt = VT_DISPATCH;
        r->pdispVal = new RecordObject(b, x.Add(a.String(0)));
        r->pdispVal->AddRef();
    });
    return c;
}

Object *DocumentObject::Linetypes(embedded::EmbeddedDocument &d) {
    auto *c = new Collection(behaviour_, "Linetypes");
    ILinetypes &x = d.Linetypes();
    Behaviour &b = behaviour_;
    c->Add(L"Count", [&x](const Args &, VARIANT *r) { SetInt(r, x.Count()); });
    c->Add(L"Item", [&b, &x](const Args &a, VARIANT *r) {
        r->vt = VT_DISPATCH;
        r->pdispVal = new RecordObject(b, x.Item(a.Int(0)));
        r->pdispVal->AddRef();
    });
    c->Add(L"Load", [&x](const Args &a, VARIANT *) { x.Load(a.String(0), a.String(1)); });
    return c;
}

Object *DocumentObject::SelectionSets(embedded::EmbeddedDocument &d) {
    auto *c = new Collection(behaviour_, "SelectionSets");
    ISelectionSets &x = d.SelectionSets();
    Behaviour &b = behaviour_;
    c->Add(L"Count", [&x](const Args &, VARIANT *r) { SetInt(r, x.Count()); });
    c->Add(L"Item", [&b, &x](const Args &a, VARIANT *r) {
        r->vt = VT_DISPATCH;
        r->pdispVal = new SelectionSetObject(b, x.Item(a.Int(0)));
        r->pdispVal->AddRef();
    });
    c->Add(L"Add", [&b, &x](const Args &a, VARIANT *r) {
        r->vt = VT_DISPATCH;
        r->pdispVal = new SelectionSetObject(b, x.Add(a.String(0)));
        r->pdispVal->AddRef();
    });
    return c;
}

Object *DocumentObject::Utility(embedded::EmbeddedDocument &d) {
    auto *c = new Collection(behaviour_, "Utility");
    IUtility &x = d.Utility();
    Behaviour &b = behaviour_;
    c->Add(L"Prompt", [&x](const Args &a, VARIANT *) { x.Prompt(a.String(0)); });
    c->Add(L"GetPoint", [&x](const Args &a, VARIANT *r) {
        SetPoint(r, x.GetPoint(a.OptionalPoint(0), a.Missing(1) ? "" : a.String(1)));
    });
    c->Add(L"GetAngle", [&x](const Args &a, VARIANT *r) {
        SetDouble(r, x.GetAngle(a.OptionalPoint(0), a.Missing(1) ? "" : a.String(1)));
    });
    c->Add(L"GetEntity", [&b, &x](const Args &a, VARIANT *) {
        auto [entity, point] = x.GetEntity(a.Missing(2) ? "" : a.String(2));
        VARIANT *out = a.Out(0);
        VariantClear(out);
        ReturnEntity(b, out, entity);
        VARIANT *at = a.Out(1);
        VariantClear(at);
        SetPoint(at, point);
    });
    return c;
}

class ApplicationObject : public Object {
public:
    ApplicationObject(Behaviour &b, embedded::EmbeddedDocument &d) : Object(b, "Application") {
        Add(L"HWND", [](const Args &, VARIANT *r) { SetInt(r, 0); });
        Add(L"ActiveDocument",
            [this, &d](const Args &, VARIANT *r) { Return(r, new DocumentObject(behaviour_, d)); });
        for (const wchar_t *name : {L"GetAcadState", L"GetGcadState", L"GetZcadState"})
            Add(name, [this](const Args &, VARIANT *r) { Return(r, new StateObject(behaviour_)); });
    }
};

// ---- The server's own message filter: rejections and "retry later" on request ----------------

class ServerFilter : public IMessageFilter {
public:
    explicit ServerFilter(Behaviour &b) : b_(b) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
            *out = static_cast<IMessageFilter *>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        ++b_.incoming;
        if (b_.rejectAfter >= 0 && b_.incoming > b_.rejectAfter && b_.rejections > 0) {
            --b_.rejections;
            ++b_.rejected;
            b_.Log("rejected call " + std::to_string(b_.incoming));
            return SERVERCALL_REJECTED;
        }
        if (b_.Busy()) return SERVERCALL_RETRYLATER;
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

private:
    Behaviour &b_;
};

// ---- Registration and main ---------------------------------------------------------------------

int RegisterProgIds(int argc, wchar_t **argv) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    wchar_t clsid[64];
    StringFromGUID2(kStandInClsid, clsid, 64);
    auto set = [](const std::wstring &key, const std::wstring &value) {
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const bool ok =
            RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
            ERROR_SUCCESS;
        RegCloseKey(h);
        return ok;
    };
    const std::wstring classes;  // HKEY_CLASSES_ROOT itself
    bool ok =
        set(classes + L"CLSID\\" + clsid, L"Pimu stand-in CAD") &&
        set(classes + L"CLSID\\" + clsid + L"\\LocalServer32", std::wstring(L"\"") + exe + L"\"");
    for (int i = 2; i < argc; ++i) {
        ok = ok && set(classes + argv[i], L"Pimu stand-in CAD") &&
             set(classes + argv[i] + L"\\CLSID", clsid);
        if (i == 2) ok = ok && set(classes + L"CLSID\\" + clsid + L"\\ProgID", argv[i]);
    }
    return ok ? 0 : 1;
}

std::string ReadFile(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"/regserver") return RegisterProgIds(argc, argv);

    fs::path open, script, save, quitFile, readyFile, logFile;
    Behaviour behaviour;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring a = argv[i];
        const std::wstring v = argv[i + 1];
        if (a == L"--open")
            open = v;
        else if (a == L"--script")
            script = v;
        else if (a == L"--save")
            save = v;
        else if (a == L"--quit-file")
            quitFile = v;
        else if (a == L"--ready-file")
            readyFile = v;
        else if (a == L"--log")
            logFile = v;
        else if (a == L"--reject-after")
            behaviour.rejectAfter = std::wcstol(v.c_str(), nullptr, 10);
        else if (a == L"--reject")
            behaviour.rejections = std::wcstol(v.c_str(), nullptr, 10);
        else if (a == L"--busy-ms")
            behaviour.busyMs = static_cast<int>(std::wcstol(v.c_str(), nullptr, 10));
        else if (a == L"--die-on")
            behaviour.dieOn = Narrow(v.c_str(), v.size());
    }
    // A server COM starts has no standard handles: everything it says goes to its log file.
    if (!logFile.empty()) behaviour.log = _wfopen(logFile.c_str(), L"w");

    auto document = std::make_shared<embedded::EmbeddedDocument>();
    embedded::ScriptedInput input;
    try {
        if (!open.empty()) document->Open(open);
        if (!script.empty()) input = embedded::ScriptedInput::Parse(ReadFile(script));
    } catch (const std::exception &e) {
        behaviour.Log(std::string("cannot start: ") + e.what());
        return 2;
    }
    document->SetInputSource(&input);

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    ServerFilter filter(behaviour);
    IMessageFilter *old = nullptr;
    CoRegisterMessageFilter(&filter, &old);
    auto *application = new ApplicationObject(behaviour, *document);
    application->AddRef();
    DWORD cookie = 0;
    const HRESULT registered =
        RegisterActiveObject(application, kStandInClsid, ACTIVEOBJECT_STRONG, &cookie);
    if (FAILED(registered)) {
        behaviour.Log("RegisterActiveObject failed");
        return 2;
    }
    behaviour.Log("running");
    if (!readyFile.empty()) std::ofstream(readyFile) << "ready\n";

    SetTimer(nullptr, 0, 50, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            std::error_code ec;
            if (!quitFile.empty() && fs::exists(quitFile, ec)) break;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    RevokeActiveObject(cookie, nullptr);
    int status = 0;
    try {
        if (!save.empty()) document->Save(save);
    } catch (const std::exception &e) {
        behaviour.Log(std::string("cannot save: ") + e.what());
        status = 2;
    }
    behaviour.Log("rejected " + std::to_string(behaviour.rejected) + " calls");
    behaviour.Log("unanswered picks " + std::to_string(input.Remaining()));
    application->Release();
    CoRegisterMessageFilter(old, nullptr);
    CoUninitialize();
    if (behaviour.log) std::fclose(behaviour.log);
    return status;
}
