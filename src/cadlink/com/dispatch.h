// Late-bound automation over IDispatch: owned COM pointers, VARIANT values (numbers, texts,
// points as SAFEARRAYs of doubles, objects), and calls by member name with the ids cached per
// interface and name. Texts are UTF-8 on our side and UTF-16 (BSTR) on the CAD's.
//
// A call the CAD refuses because it is busy (RPC_E_CALL_REJECTED, RPC_E_SERVERCALL_RETRYLATER)
// is tried again every second until a limit; a CAD that is gone (closed, crashed) ends the call
// at once with a CadError that says so.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cadlink/automation.h"
#include "cadlink/connection.h"

namespace pimu::cadlink::com {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// "0x80010001"
std::string HresultText(HRESULT hr);

// An owned interface pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T *p, bool addRef = false) : p_(p) {
        if (p_ && addRef) p_->AddRef();
    }
    ComPtr(const ComPtr &o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr &&o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr &operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() {
        if (p_) p_->Release();
    }
    T *get() const { return p_; }
    T *operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held.
    T **put() {
        *this = ComPtr();
        return &p_;
    }

private:
    T *p_ = nullptr;
};

// An owned VARIANT.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant &o);
    Variant(Variant &&o) noexcept;
    Variant &operator=(Variant o) noexcept;
    ~Variant() { VariantClear(&v_); }

    static Variant Int(int value);            // VT_I4
    static Variant Short(int value);          // VT_I2: integer system variables want it
    static Variant Long(std::int64_t value);  // VT_I8
    static Variant Double(double value);
    static Variant Bool(bool value);
    static Variant String(std::string_view utf8);
    static Variant Doubles(const std::vector<double> &values);  // SAFEARRAY(VT_R8)
    static Variant Point(const TAcadPoint &p);                  // 3 doubles from index 0
    static Variant Shorts(const std::vector<short> &values);    // SAFEARRAY(VT_I2)
    static Variant Variants(std::vector<Variant> values);       // SAFEARRAY(VT_VARIANT)
    static Variant Object(IDispatch *object);                   // adds a reference
    static Variant Missing();                                   // an optional argument left out

    VARTYPE type() const { return v_.vt; }
    bool isEmpty() const { return v_.vt == VT_EMPTY || v_.vt == VT_NULL; }
    VARIANT *get() { return &v_; }
    const VARIANT *get() const { return &v_; }

    // Conversions; each throws CadError naming `what` when the value does not convert.
    int AsInt(const char *what) const;
    std::int64_t AsLong(const char *what) const;
    double AsDouble(const char *what) const;
    bool AsBool(const char *what) const;
    std::string AsString(const char *what) const;
    std::vector<double> AsDoubles(const char *what) const;
    TAcadPoint AsPoint(const char *what) const;
    ComPtr<IDispatch> AsObject(const char *what) const;
    // An array of objects (Explode), as a SAFEARRAY of VARIANTs or of IDispatch.
    std::vector<ComPtr<IDispatch>> AsObjects(const char *what) const;

private:
    VARIANT v_;
};

// How refused calls are retried. The clock and the sleeper are injectable for tests.
struct RetryRule {
    int everyMs = 1000;
    int limitMs = MessageFilterPolicy::kRetryLimitMs;
};

// What all objects of one connection share: the member ids, the retry rule, the waits.
class Context {
public:
    Context(RetryRule rule, ISleeper &sleeper,
            std::function<std::int64_t()> nowMs = SteadyMilliseconds)
        : rule_(rule), sleeper_(sleeper), nowMs_(std::move(nowMs)) {}

    const RetryRule &rule() const { return rule_; }
    ISleeper &sleeper() { return sleeper_; }
    std::int64_t NowMs() const { return nowMs_(); }

    // The id of `name` on an interface; asks the object once per interface and name.
    DISPID MemberId(IDispatch *object, const std::wstring &interfaceKey, const std::string &name);
    std::size_t CachedIds() const { return ids_.size(); }
    std::size_t IdLookups() const { return lookups_; }

    static std::int64_t SteadyMilliseconds();

private:
    RetryRule rule_;
    ISleeper &sleeper_;
    std::function<std::int64_t()> nowMs_;
    std::map<std::pair<std::wstring, std::wstring>, DISPID> ids_;
    std::size_t lookups_ = 0;
};
using ContextPtr = std::shared_ptr<Context>;

// One automation object: calls by name.
class Dispatch {
public:
    Dispatch() = default;
    // `role` names the object for messages ("Document", "Entity") and keys the id cache when the
    // object has no type information.
    Dispatch(ComPtr<IDispatch> object, ContextPtr context, std::string role);

    explicit operator bool() const { return static_cast<bool>(object_); }
    IDispatch *get() const { return object_.get(); }
    const ContextPtr &context() const { return context_; }
    const std::string &role() const { return role_; }

    // Property get (also with arguments, e.g. Item(i)) and method call: DISPATCH_METHOD |
    // DISPATCH_PROPERTYGET. Arguments in their natural order.
    Variant Call(const std::string &name, std::vector<Variant> args = {});
    void Put(const std::string &name, Variant value);
    // An object that a call returns, with its role.
    Dispatch Child(const std::string &name, const std::string &role,
                   std::vector<Variant> args = {});
    Dispatch Wrap(ComPtr<IDispatch> object, const std::string &role) const {
        return Dispatch(std::move(object), context_, role);
    }

private:
    Variant Invoke(const std::string &name, WORD flags, std::vector<Variant> &args);
    const std::wstring &InterfaceKey();

    ComPtr<IDispatch> object_;
    ContextPtr context_;
    std::string role_;
    std::wstring interfaceKey_;
};

// Whether an HRESULT means that the CAD refused the call because it is busy, or that the CAD's
// process is gone.
bool IsRejection(HRESULT hr);
bool IsServerGone(HRESULT hr);

}  // namespace pimu::cadlink::com
