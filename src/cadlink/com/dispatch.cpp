#include "cadlink/com/dispatch.h"

#include <cstdio>

namespace pimu::cadlink::com {
namespace {

// HRESULTs of a server that went away, by name for the reader.
constexpr HRESULT kServerDied = static_cast<HRESULT>(0x80010007);     // RPC_E_SERVER_DIED
constexpr HRESULT kServerDiedDne = static_cast<HRESULT>(0x80010012);  // RPC_E_SERVER_DIED_DNE
constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108);   // RPC_E_DISCONNECTED
constexpr HRESULT kServerUnavailable =
    static_cast<HRESULT>(0x800706BA);                                 // RPC_S_SERVER_UNAVAILABLE
constexpr HRESULT kCallFailed = static_cast<HRESULT>(0x800706BE);     // RPC_S_CALL_FAILED
constexpr HRESULT kCallFailedDne = static_cast<HRESULT>(0x800706BF);  // RPC_S_CALL_FAILED_DNE
constexpr HRESULT kNotConnected = static_cast<HRESULT>(0x800401FD);   // CO_E_OBJNOTCONNECTED
constexpr HRESULT kCallRejected = static_cast<HRESULT>(0x80010001);   // RPC_E_CALL_REJECTED
constexpr HRESULT kRetryLater = static_cast<HRESULT>(0x8001010A);     // RPC_E_SERVERCALL_RETRYLATER

std::string SystemMessage(HRESULT hr) {
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer) text = Narrow(std::wstring_view(buffer, n));
    if (buffer) LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

// Takes the SAFEARRAY out of a VARIANT holding one directly or by reference.
SAFEARRAY *ArrayOf(const VARIANT &v, VARTYPE &elementType) {
    if (!(v.vt & VT_ARRAY)) return nullptr;
    elementType = v.vt & VT_TYPEMASK;
    if (v.vt & VT_BYREF) return v.pparray ? *v.pparray : nullptr;
    return v.parray;
}

class ArrayAccess {
public:
    explicit ArrayAccess(SAFEARRAY *array) : array_(array) {
        if (!array_ || SafeArrayGetDim(array_) != 1) return;
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(array_, 1, &lo);
        SafeArrayGetUBound(array_, 1, &hi);
        if (SUCCEEDED(SafeArrayAccessData(array_, &data_))) count_ = hi - lo + 1;
    }
    ~ArrayAccess() {
        if (data_) SafeArrayUnaccessData(array_);
    }
    ArrayAccess(const ArrayAccess &) = delete;
    ArrayAccess &operator=(const ArrayAccess &) = delete;
    bool ok() const { return data_ != nullptr && count_ >= 0; }
    long count() const { return count_; }
    template <class T>
    const T *data() const {
        return static_cast<const T *>(data_);
    }

private:
    SAFEARRAY *array_;
    void *data_ = nullptr;
    long count_ = -1;
};

[[noreturn]] void Unconvertible(const char *what, VARTYPE vt) {
    throw CadError(std::string("The CAD answered ") + what +
                   " with a value of another kind (type " + std::to_string(vt) + ")");
}

Variant Converted(const VARIANT &from, VARTYPE to, const char *what) {
    Variant out;
    if (FAILED(VariantChangeType(out.get(), const_cast<VARIANT *>(&from), 0, to)))
        Unconvertible(what, from.vt);
    return out;
}

SAFEARRAY *NewVector(VARTYPE type, std::size_t n) {
    SAFEARRAY *array = SafeArrayCreateVector(type, 0, static_cast<ULONG>(n));
    if (!array) throw CadError("Out of memory for an automation array");
    return array;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

bool IsRejection(HRESULT hr) {
    return hr == kCallRejected || hr == kRetryLater;
}

bool IsServerGone(HRESULT hr) {
    return hr == kServerDied || hr == kServerDiedDne || hr == kDisconnected ||
           hr == kServerUnavailable || hr == kCallFailed || hr == kCallFailedDne ||
           hr == kNotConnected;
}

// ---- Variant ---------------------------------------------------------------------------------

Variant::Variant(const Variant &o) {
    VariantInit(&v_);
    if (FAILED(VariantCopy(&v_, const_cast<VARIANT *>(&o.v_))))
        throw CadError("Out of memory copying an automation value");
}

Variant::Variant(Variant &&o) noexcept {
    v_ = o.v_;
    VariantInit(&o.v_);
}

Variant &Variant::operator=(Variant o) noexcept {
    std::swap(v_, o.v_);
    return *this;
}

Variant Variant::Int(int value) {
    Variant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = value;
    return v;
}

Variant Variant::Short(int value) {
    Variant v;
    v.v_.vt = VT_I2;
    v.v_.iVal = static_cast<SHORT>(value);
    return v;
}

Variant Variant::Long(std::int64_t value) {
    Variant v;
    v.v_.vt = VT_I8;
    v.v_.llVal = value;
    return v;
}

Variant Variant::Double(double value) {
    Variant v;
    v.v_.vt = VT_R8;
    v.v_.dblVal = value;
    return v;
}

Variant Variant::Bool(bool value) {
    Variant v;
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::String(std::string_view utf8) {
    const std::wstring wide = Widen(utf8);
    Variant v;
    v.v_.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!v.v_.bstrVal) throw CadError("Out of memory for an automation text");
    v.v_.vt = VT_BSTR;
    return v;
}

Variant Variant::Doubles(const std::vector<double> &values) {
    SAFEARRAY *array = NewVector(VT_R8, values.size());
    void *data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::copy(values.begin(), values.end(), static_cast<double *>(data));
        SafeArrayUnaccessData(array);
    }
    Variant v;
    v.v_.vt = VT_ARRAY | VT_R8;
    v.v_.parray = array;
    return v;
}

Variant Variant::Point(const TAcadPoint &p) {
    return Doubles({p.x, p.y, p.z});
}

Variant Variant::Shorts(const std::vector<short> &values) {
    SAFEARRAY *array = NewVector(VT_I2, values.size());
    void *data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::copy(values.begin(), values.end(), static_cast<short *>(data));
        SafeArrayUnaccessData(array);
    }
    Variant v;
    v.v_.vt = VT_ARRAY | VT_I2;
    v.v_.parray = array;
    return v;
}

Variant Variant::Variants(std::vector<Variant> values) {
    SAFEARRAY *array = NewVector(VT_VARIANT, values.size());
    void *data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        VARIANT *items = static_cast<VARIANT *>(data);
        for (std::size_t i = 0; i < values.size(); ++i) {
            items[i] = values[i].v_;  // moved in: the array now owns it
            VariantInit(&values[i].v_);
        }
        SafeArrayUnaccessData(array);
    }
    Variant v;
    v.v_.vt = VT_ARRAY | VT_VARIANT;
    v.v_.parray = array;
    return v;
}

Variant Variant::Object(IDispatch *object) {
    Variant v;
    v.v_.vt = VT_DISPATCH;
    v.v_.pdispVal = object;
    if (object) object->AddRef();
    return v;
}

Variant Variant::Missing() {
    Variant v;
    v.v_.vt = VT_ERROR;
    v.v_.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

int Variant::AsInt(const char *what) const {
    return Converted(v_, VT_I4, what).v_.lVal;
}

std::int64_t Variant::AsLong(const char *what) const {
    return Converted(v_, VT_I8, what).v_.llVal;
}

double Variant::AsDouble(const char *what) const {
    return Converted(v_, VT_R8, what).v_.dblVal;
}

bool Variant::AsBool(const char *what) const {
    return Converted(v_, VT_BOOL, what).v_.boolVal != VARIANT_FALSE;
}

std::string Variant::AsString(const char *what) const {
    const Variant s = Converted(v_, VT_BSTR, what);
    if (!s.v_.bstrVal) return {};
    return Narrow(std::wstring_view(s.v_.bstrVal, SysStringLen(s.v_.bstrVal)));
}

std::vector<double> Variant::AsDoubles(const char *what) const {
    const VARIANT &v = (v_.vt == (VT_BYREF | VT_VARIANT) && v_.pvarVal) ? *v_.pvarVal : v_;
    VARTYPE element = VT_EMPTY;
    SAFEARRAY *array = ArrayOf(v, element);
    if (!array) Unconvertible(what, v.vt);
    ArrayAccess access(array);
    if (!access.ok()) Unconvertible(what, v.vt);
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(access.count()));
    for (long i = 0; i < access.count(); ++i) {
        if (element == VT_R8) {
            out.push_back(access.data<double>()[i]);
        } else if (element == VT_R4) {
            out.push_back(access.data<float>()[i]);
        } else if (element == VT_VARIANT) {
            out.push_back(Converted(access.data<VARIANT>()[i], VT_R8, what).v_.dblVal);
        } else {
            Unconvertible(what, v.vt);
        }
    }
    return out;
}

TAcadPoint Variant::AsPoint(const char *what) const {
    const std::vector<double> xyz = AsDoubles(what);
    if (xyz.size() < 2) throw CadError(std::string("The CAD answered ") + what + " with no point");
    return {xyz[0], xyz[1], xyz.size() > 2 ? xyz[2] : 0.0};
}

ComPtr<IDispatch> Variant::AsObject(const char *what) const {
    const VARIANT &v = (v_.vt == (VT_BYREF | VT_VARIANT) && v_.pvarVal) ? *v_.pvarVal : v_;
    if (v.vt == VT_DISPATCH && v.pdispVal) return ComPtr<IDispatch>(v.pdispVal, true);
    if (v.vt == VT_UNKNOWN && v.punkVal) {
        ComPtr<IDispatch> d;
        if (SUCCEEDED(v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(d.put()))))
            return d;
    }
    throw CadError(std::string("The CAD answered ") + what + " with no object");
}

std::vector<ComPtr<IDispatch>> Variant::AsObjects(const char *what) const {
    VARTYPE element = VT_EMPTY;
    SAFEARRAY *array = ArrayOf(v_, element);
    if (!array) Unconvertible(what, v_.vt);
    ArrayAccess access(array);
    if (!access.ok()) Unconvertible(what, v_.vt);
    std::vector<ComPtr<IDispatch>> out;
    for (long i = 0; i < access.count(); ++i) {
        if (element == VT_DISPATCH) {
            out.emplace_back(access.data<IDispatch *>()[i], true);
        } else if (element == VT_VARIANT) {
            Variant item;
            VariantCopy(item.get(), const_cast<VARIANT *>(&access.data<VARIANT>()[i]));
            out.push_back(item.AsObject(what));
        } else {
            Unconvertible(what, v_.vt);
        }
    }
    return out;
}

// ---- Context and Dispatch -------------------------------------------------------------------

std::int64_t Context::SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DISPID Context::MemberId(IDispatch *object, const std::wstring &interfaceKey,
                         const std::string &name) {
    std::wstring wide = Widen(name);
    const auto key = std::make_pair(interfaceKey, wide);
    if (const auto found = ids_.find(key); found != ids_.end()) return found->second;
    ++lookups_;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {wide.data()};
    const std::int64_t start = NowMs();
    for (;;) {
        const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (SUCCEEDED(hr)) break;
        if (IsRejection(hr) && NowMs() - start < rule_.limitMs) {
            sleeper_.Sleep(rule_.everyMs);
            continue;
        }
        if (IsServerGone(hr))
            throw CadError("The CAD stopped answering: it was closed or it crashed (" + name +
                           ", " + HresultText(hr) + ")");
        throw CadError("The CAD has no member \"" + name + "\" (" + HresultText(hr) + ")");
    }
    ids_.emplace(key, id);
    return id;
}

Dispatch::Dispatch(ComPtr<IDispatch> object, ContextPtr context, std::string role)
    : object_(std::move(object)), context_(std::move(context)), role_(std::move(role)) {}

// The interface's type-library id when the object has type information (a real CAD: line and
// circle answer to different interfaces), else the role the caller gave it.
const std::wstring &Dispatch::InterfaceKey() {
    if (!interfaceKey_.empty()) return interfaceKey_;
    interfaceKey_ = Widen(role_);
    UINT count = 0;
    if (SUCCEEDED(object_->GetTypeInfoCount(&count)) && count > 0) {
        ComPtr<ITypeInfo> info;
        if (SUCCEEDED(object_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) && info) {
            TYPEATTR *attr = nullptr;
            if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
                wchar_t guid[64] = {};
                if (StringFromGUID2(attr->guid, guid, 64) > 0) interfaceKey_ = guid;
                info->ReleaseTypeAttr(attr);
            }
        }
    }
    return interfaceKey_;
}

Variant Dispatch::Invoke(const std::string &name, WORD flags, std::vector<Variant> &args) {
    if (!object_) throw CadError("No CAD object for " + name);
    Context &context = *context_;
    const DISPID id = context.MemberId(object_.get(), InterfaceKey(), name);
    // IDispatch takes the arguments last first.
    std::vector<VARIANT> reversed;
    reversed.reserve(args.size());
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(reversed.size());
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    if (flags & DISPATCH_PROPERTYPUT) {
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &named;
    }
    const std::int64_t start = context.NowMs();
    for (;;) {
        Variant result;
        EXCEPINFO error{};
        UINT badArgument = 0;
        const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                           result.get(), &error, &badArgument);
        std::string description;
        if (error.bstrDescription)
            description = Narrow(
                std::wstring_view(error.bstrDescription, SysStringLen(error.bstrDescription)));
        SysFreeString(error.bstrSource);
        SysFreeString(error.bstrDescription);
        SysFreeString(error.bstrHelpFile);
        if (SUCCEEDED(hr)) return result;
        const std::string member = role_ + "." + name;
        if (IsRejection(hr)) {
            const std::int64_t elapsed = context.NowMs() - start;
            if (elapsed < context.rule().limitMs) {
                context.sleeper().Sleep(context.rule().everyMs);
                continue;
            }
            throw CadError("The CAD stayed busy and refused " + member + " for " +
                           std::to_string(elapsed / 1000) +
                           " s; finish what is running in the CAD (a command or a dialog) and try "
                           "again");
        }
        if (IsServerGone(hr))
            throw CadError("The CAD stopped answering: it was closed or it crashed (" + member +
                           ", " + HresultText(hr) + ")");
        if (hr == DISP_E_EXCEPTION) {
            const HRESULT code = error.scode != 0 ? error.scode : static_cast<HRESULT>(error.wCode);
            throw CadError(member + ": " +
                           (description.empty() ? SystemMessage(code) : description) + " (" +
                           HresultText(code) + ")");
        }
        const std::string text = SystemMessage(hr);
        throw CadError(member + " failed" + (text.empty() ? "" : ": " + text) + " (" +
                       HresultText(hr) + ")");
    }
}

Variant Dispatch::Call(const std::string &name, std::vector<Variant> args) {
    return Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

void Dispatch::Put(const std::string &name, Variant value) {
    std::vector<Variant> args;
    args.push_back(std::move(value));
    Invoke(name, DISPATCH_PROPERTYPUT, args);
}

Dispatch Dispatch::Child(const std::string &name, const std::string &role,
                         std::vector<Variant> args) {
    const Variant v = Call(name, std::move(args));
    return Wrap(v.AsObject((role_ + "." + name).c_str()), role);
}

}  // namespace pimu::cadlink::com
