#include "cadlink/com/apartment.h"

namespace pimu::cadlink::com {

ComApartment::ComApartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) throw CadError("COM does not start on this thread (" + HresultText(hr) + ")");
    initialized_ = true;  // S_FALSE too: every successful call is balanced
}

ComApartment::~ComApartment() {
    if (initialized_) CoUninitialize();
}

HRESULT MessageFilter::QueryInterface(REFIID riid, void **object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
        *object = static_cast<IMessageFilter *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

DWORD MessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) {
    return MessageFilterPolicy::HandleInComingCall();
}

DWORD MessageFilter::RetryRejectedCall(HTASK, DWORD tickCount, DWORD rejectType) {
    return static_cast<DWORD>(
        MessageFilterPolicy::RetryRejectedCall(static_cast<int>(rejectType), tickCount));
}

DWORD MessageFilter::MessagePending(HTASK, DWORD, DWORD) {
    return MessageFilterPolicy::MessagePending();
}

ComMessageFilterRegistration::~ComMessageFilterRegistration() {
    if (registered_) {
        try {
            RevokeFilter();
        } catch (...) {
        }
    }
}

void ComMessageFilterRegistration::RegisterFilter() {
    if (registered_) return;
    IMessageFilter *old = nullptr;
    const HRESULT hr = CoRegisterMessageFilter(&filter_, &old);
    if (FAILED(hr))
        throw CadError("The COM message filter cannot be registered (" + HresultText(hr) + ")");
    old_ = old;
    registered_ = true;
}

void ComMessageFilterRegistration::RevokeFilter() {
    if (!registered_) return;
    registered_ = false;
    IMessageFilter *ours = nullptr;
    const HRESULT hr = CoRegisterMessageFilter(old_, &ours);
    if (ours) ours->Release();
    if (old_) old_->Release();
    old_ = nullptr;
    if (FAILED(hr))
        throw CadError("The COM message filter cannot be revoked (" + HresultText(hr) + ")");
}

bool WindowsDesktop::IsIconic(std::intptr_t hwnd) {
    return ::IsIconic(reinterpret_cast<::HWND>(hwnd)) != FALSE;
}

void WindowsDesktop::OpenIcon(std::intptr_t hwnd) {
    ::OpenIcon(reinterpret_cast<::HWND>(hwnd));
}

void WindowsDesktop::SetForegroundWindow(std::intptr_t hwnd) {
    ::SetForegroundWindow(reinterpret_cast<::HWND>(hwnd));
}

std::intptr_t WindowsDesktop::GetForegroundWindow() {
    return reinterpret_cast<std::intptr_t>(::GetForegroundWindow());
}

void WindowsDesktop::KeyEscape(bool down) {
    keybd_event(VK_ESCAPE, 0, down ? 0 : KEYEVENTF_KEYUP, 0);
}

bool PlaceTopmost(std::intptr_t hwnd) {
    return ::SetWindowPos(reinterpret_cast<::HWND>(hwnd), HWND_TOPMOST, 0, 0, 0, 0,
                          SWP_NOMOVE | SWP_NOSIZE) != FALSE;
}

int DisplayScalePercent() {
    HMODULE shcore = LoadLibraryW(L"Shcore.dll");
    if (!shcore) return 100;
    using GetScale = HRESULT(WINAPI *)(HMONITOR, int *);
    // Through void(*)() as the language allows for a function looked up by name.
    const auto get = reinterpret_cast<GetScale>(
        reinterpret_cast<void (*)()>(GetProcAddress(shcore, "GetScaleFactorForMonitor")));
    int scale = 0;
    bool ok = false;
    if (get) {
        const HMONITOR first = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        ok = SUCCEEDED(get(first, &scale)) && scale > 0;
    }
    FreeLibrary(shcore);
    return ok ? scale : 100;
}

}  // namespace pimu::cadlink::com
