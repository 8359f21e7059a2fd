// The thread's side of COM: the single-threaded apartment, the message filter that keeps calls
// to a busy CAD alive, and the desktop around the CAD's window.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <cstdint>

#include "cadlink/com/dispatch.h"
#include "cadlink/connection.h"

namespace pimu::cadlink::com {

// CoInitializeEx(COINIT_APARTMENTTHREADED) for the life of the object. Everything that talks to
// the CAD runs on this one thread. Throws CadError when COM cannot start.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment &) = delete;
    ComApartment &operator=(const ComApartment &) = delete;

private:
    bool initialized_ = false;
};

// IMessageFilter over MessageFilterPolicy. Owned by its registration, never by COM: its
// reference count only counts.
class MessageFilter : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                               LPINTERFACEINFO info) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount,
                                              DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount,
                                           DWORD pendingType) override;

    ULONG references() const { return references_; }

private:
    ULONG references_ = 0;
};

// Registers the filter as the thread's message filter and puts the previous one back.
class ComMessageFilterRegistration : public IMessageFilterRegistration {
public:
    ~ComMessageFilterRegistration() override;
    void RegisterFilter() override;  // throws CadError when COM refuses
    void RevokeFilter() override;
    bool registered() const { return registered_; }
    MessageFilter &filter() { return filter_; }

private:
    MessageFilter filter_;
    IMessageFilter *old_ = nullptr;  // FOldFilter: the reference COM handed back
    bool registered_ = false;
};

// The desktop calls of BringCadForward on a real desktop.
class WindowsDesktop : public IDesktop {
public:
    bool IsIconic(std::intptr_t hwnd) override;
    void OpenIcon(std::intptr_t hwnd) override;
    void SetForegroundWindow(std::intptr_t hwnd) override;
    std::intptr_t GetForegroundWindow() override;
    void KeyEscape(bool down) override;
};

// Puts a window into the topmost band of the desktop, position and size unchanged.
bool PlaceTopmost(std::intptr_t hwnd);

// The display scale of the first monitor in percent through Shcore.dll's
// GetScaleFactorForMonitor; 100 where that does not exist or fails.
int DisplayScalePercent();

}  // namespace pimu::cadlink::com
