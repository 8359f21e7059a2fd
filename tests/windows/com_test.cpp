// The COM side of the CAD link, run under Wine (or Windows): values, calls by name with cached
// ids, refused calls retried every second up to the limit, a vanished CAD reported, the message
// filter's decisions (Wine never calls RetryRejectedCall itself, so they are asked directly), and
// the running-object lookup by ProgID.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cadlink/com/apartment.h"
#include "cadlink/com/automation_com.h"
#include "cadlink/com/dispatch.h"

namespace pimu::cadlink::com {
namespace {

class ComTest : public ::testing::Test {
protected:
    ComApartment apartment;
};

// Waits only on a clock of its own.
struct FakeTime : ISleeper {
    std::int64_t now = 0;
    std::vector<int> sleeps;
    void Sleep(int ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
};

// An automation object answering "Value" (get/put) and "Twice"(x); it can be told to refuse
// calls, to vanish, or to raise an error.
class FakeObject : public IDispatch {
public:
    int idLookups = 0;
    int refusals = 0;  // calls still to refuse with RPC_E_CALL_REJECTED
    HRESULT failWith = S_OK;
    double value = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT, LCID,
                                            DISPID *ids) override {
        ++idLookups;
        if (_wcsicmp(names[0], L"Value") == 0) return *ids = 1, S_OK;
        if (_wcsicmp(names[0], L"Twice") == 0) return *ids = 2, S_OK;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *p,
                                     VARIANT *result, EXCEPINFO *error, UINT *) override {
        if (refusals > 0) return --refusals, static_cast<HRESULT>(0x80010001);
        if (failWith == DISP_E_EXCEPTION) {
            *error = EXCEPINFO{};
            error->scode = E_FAIL;
            error->bstrDescription = SysAllocString(L"レイヤがロックされています");
            return DISP_E_EXCEPTION;
        }
        if (failWith != S_OK) return failWith;
        if (id == 1 && (flags & DISPATCH_PROPERTYPUT)) {
            if (p->cNamedArgs != 1 || p->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            value = p->rgvarg[0].dblVal;
            return S_OK;
        }
        if (id == 1) return result->vt = VT_R8, result->dblVal = value, S_OK;
        if (id == 2 && p->cArgs == 1) {
            return result->vt = VT_R8, result->dblVal = 2 * p->rgvarg[0].dblVal, S_OK;
        }
        return DISP_E_BADPARAMCOUNT;
    }

private:
    ULONG refs = 1;
};

struct Rig {
    FakeTime time;
    FakeObject object;
    ContextPtr context = std::make_shared<Context>(RetryRule{}, time, [this] { return time.now; });
    Dispatch dispatch{ComPtr<IDispatch>(&object, true), context, "Fake"};
};

TEST_F(ComTest, ValuesRoundTrip) {
    const Variant p = Variant::Point({1.5, -2.25, 1e-9});
    EXPECT_EQ(p.type(), VT_ARRAY | VT_R8);
    const TAcadPoint back = p.AsPoint("p");
    EXPECT_EQ(back.x, 1.5);
    EXPECT_EQ(back.y, -2.25);
    EXPECT_EQ(back.z, 1e-9);
    EXPECT_EQ(Variant::Doubles({1, 2, 3, 4}).AsDoubles("xy"), (std::vector<double>{1, 2, 3, 4}));
    const std::string text = "PIMU_時刻 ①";
    EXPECT_EQ(Variant::String(text).AsString("t"), text);
    EXPECT_EQ(Variant::Short(1).type(), VT_I2);
    EXPECT_EQ(Variant::Int(7).AsDouble("n"), 7.0);
    EXPECT_TRUE(Variant::Bool(true).AsBool("b"));
    EXPECT_THROW(Variant::String("x").AsPoint("pt"), CadError);
    EXPECT_THROW(Variant().AsObject("o"), CadError);
}

TEST_F(ComTest, CallsByNameCacheTheIdPerInterfaceAndName) {
    Rig rig;
    rig.dispatch.Put("Value", Variant::Double(4.5));
    EXPECT_EQ(rig.dispatch.Call("Value").AsDouble("Value"), 4.5);
    std::vector<Variant> args;
    args.push_back(Variant::Double(21));
    EXPECT_EQ(rig.dispatch.Call("Twice", std::move(args)).AsDouble("Twice"), 42.0);
    EXPECT_EQ(rig.object.idLookups, 2);  // "Value" once for get and put, "Twice" once
    // Another object of the same interface uses the same ids.
    Dispatch other(ComPtr<IDispatch>(&rig.object, true), rig.context, "Fake");
    other.Call("Value");
    EXPECT_EQ(rig.object.idLookups, 2);
    EXPECT_THROW(rig.dispatch.Call("NoSuchMember"), CadError);
}

TEST_F(ComTest, RefusedCallsAreRetriedEverySecondUpToTheLimit) {
    Rig rig;
    rig.object.refusals = 3;
    rig.object.value = 8;
    EXPECT_EQ(rig.dispatch.Call("Value").AsDouble("Value"), 8.0);
    EXPECT_EQ(rig.time.sleeps, (std::vector<int>{1000, 1000, 1000}));

    Rig busy;
    busy.object.refusals = 1000000;
    try {
        busy.dispatch.Call("Value");
        FAIL() << "a CAD busy past the limit must end the call";
    } catch (const CadError &e) {
        EXPECT_NE(std::string(e.what()).find("busy"), std::string::npos) << e.what();
    }
    EXPECT_EQ(busy.time.now, MessageFilterPolicy::kRetryLimitMs);
}

TEST_F(ComTest, FailuresBecomeCadErrorsThatSayWhy) {
    struct Case {
        HRESULT hr;
        const char *says;
    };
    const Case cases[] = {
        {static_cast<HRESULT>(0x800706BE), "stopped answering"},  // the CAD died in the call
        {static_cast<HRESULT>(0x800706BA), "stopped answering"},  // ... and afterwards
        {static_cast<HRESULT>(0x80010108), "stopped answering"},  // disconnected
        {DISP_E_EXCEPTION, "レイヤがロックされています"},         // the CAD's own message
        {DISP_E_TYPEMISMATCH, "Fake.Value failed"},
    };
    for (const Case &c : cases) {
        Rig rig;
        rig.object.failWith = c.hr;
        try {
            rig.dispatch.Call("Value");
            ADD_FAILURE() << HresultText(c.hr);
        } catch (const CadError &e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_TRUE(rig.time.sleeps.empty()) << HresultText(c.hr);
    }
}

TEST_F(ComTest, MessageFilterDecisions) {
    MessageFilter filter;
    EXPECT_EQ(filter.HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr),
              static_cast<DWORD>(SERVERCALL_ISHANDLED));
    EXPECT_EQ(filter.RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), 1000u);
    EXPECT_EQ(filter.RetryRejectedCall(nullptr, 59999, SERVERCALL_RETRYLATER), 1000u);
    EXPECT_EQ(filter.RetryRejectedCall(nullptr, 60000, SERVERCALL_RETRYLATER),
              static_cast<DWORD>(-1));
    EXPECT_EQ(filter.RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED), static_cast<DWORD>(-1));
    EXPECT_EQ(filter.MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL),
              static_cast<DWORD>(PENDINGMSG_WAITNOPROCESS));
}

TEST_F(ComTest, FilterRegistrationPutsThePreviousFilterBack) {
    MessageFilter before;
    IMessageFilter *none = nullptr;
    ASSERT_EQ(CoRegisterMessageFilter(&before, &none), S_OK);
    {
        ComMessageFilterRegistration registration;
        registration.RegisterFilter();
        EXPECT_TRUE(registration.registered());
        IMessageFilter *current = nullptr;
        CoRegisterMessageFilter(nullptr, &current);  // look, then put it back
        EXPECT_EQ(current, &registration.filter());
        CoRegisterMessageFilter(current, nullptr);
        if (current) current->Release();
        registration.RevokeFilter();
        EXPECT_FALSE(registration.registered());
    }
    IMessageFilter *current = nullptr;
    CoRegisterMessageFilter(none, &current);
    EXPECT_EQ(current, &before);
    if (current) current->Release();
    if (none) none->Release();
}

// {0C6A9F4E-3E2B-4F55-8E7D-2D7B5C1A9E60}
constexpr CLSID kTestClsid = {
    0x0c6a9f4e, 0x3e2b, 0x4f55, {0x8e, 0x7d, 0x2d, 0x7b, 0x5c, 0x1a, 0x9e, 0x60}};

bool SetKey(const std::wstring &key, const std::wstring &value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r =
        RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

TEST_F(ComTest, TheRunningCadIsFoundByItsProgId) {
    wchar_t clsid[64];
    StringFromGUID2(kTestClsid, clsid, 64);
    ASSERT_TRUE(SetKey(L"PimuTest.Application\\CLSID", clsid));
    ASSERT_TRUE(SetKey(std::wstring(L"CLSID\\") + clsid, L"Pimu test"));

    FakeTime time;
    ComConnector connector(std::make_shared<Context>(RetryRule{}, time));
    EXPECT_THROW(connector.GetActiveObject("PimuTest.NotRegistered"), CadError);
    EXPECT_EQ(connector.GetActiveObject("PimuTest.Application"), nullptr);
    EXPECT_FALSE(IsCadRunning(connector, "PimuTest.Application"));

    FakeObject running;
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(&running, kTestClsid, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    EXPECT_TRUE(IsCadRunning(connector, "PimuTest.Application"));
    EXPECT_TRUE(IsCadRunning(connector, "pimutest.application"));  // ProgIDs ignore case
    RevokeActiveObject(cookie, nullptr);
    EXPECT_FALSE(IsCadRunning(connector, "PimuTest.Application"));
}

TEST_F(ComTest, DesktopFallbacks) {
    EXPECT_GE(DisplayScalePercent(), 100);
    WindowsDesktop desktop;
    EXPECT_FALSE(desktop.IsIconic(0));
}

}  // namespace
}  // namespace pimu::cadlink::com
