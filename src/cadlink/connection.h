// Finding the target CAD, bringing it forward, waiting until it is idle, keeping calls alive
// while it is busy, and reading point texts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/progress.h"
#include "cadlink/automation.h"

namespace pimu::cadlink {

// Waits; tests pass one that only records.
class ISleeper {
public:
    virtual ~ISleeper() = default;
    virtual void Sleep(int ms) = 0;
};

class RealSleeper : public ISleeper {
public:
    void Sleep(int ms) override;
};

// Finds the running CAD of a ProgID. The COM backend asks the system's running-object table;
// the embedded one answers with its own application for any ProgID.
class ICadConnector {
public:
    virtual ~ICadConnector() = default;
    // Throws CadError when the ProgID is not registered.
    virtual ApplicationPtr GetActiveObject(const std::string &progId) = 0;
};

class EmbeddedConnector : public ICadConnector {
public:
    explicit EmbeddedConnector(ApplicationPtr app) : app_(std::move(app)) {}
    ApplicationPtr GetActiveObject(const std::string &) override { return app_; }

private:
    ApplicationPtr app_;
};

bool IsCadRunning(ICadConnector &connector, const std::string &progId);
// Throws CadError when no such CAD runs.
ApplicationPtr GetCadApplication(ICadConnector &connector, const std::string &progId);

// The desktop around the CAD's window (Windows: IsIconic, OpenIcon, SetForegroundWindow,
// GetForegroundWindow, keybd_event). The embedded drawing has no window: NullDesktop.
class IDesktop {
public:
    virtual ~IDesktop() = default;
    virtual bool IsIconic(std::intptr_t hwnd) = 0;
    virtual void OpenIcon(std::intptr_t hwnd) = 0;
    virtual void SetForegroundWindow(std::intptr_t hwnd) = 0;
    virtual std::intptr_t GetForegroundWindow() = 0;
    virtual void KeyEscape(bool down) = 0;
};

class NullDesktop : public IDesktop {
public:
    bool IsIconic(std::intptr_t) override { return false; }
    void OpenIcon(std::intptr_t) override {}
    void SetForegroundWindow(std::intptr_t) override {}
    std::intptr_t GetForegroundWindow() override { return -1; }  // never the CAD: no Escape
    void KeyEscape(bool) override {}
};

void BringCadForward(IApplication &app, IDesktop &desktop, ISleeper &sleeper);

// The ProgID words that steer CAD-specific branches, on every backend. "PCAD" is matched with
// its case where insertions are cleaned up (IsPcadFamily) and without it where the linetype is
// chosen (ChooseDashedLinetype); "Auto" with its case chooses the point-pick method.
bool IsPcadFamily(std::string_view progId);
bool IsAutoFamily(std::string_view progId);

enum class StateMember { Acad, Gcad, Zcad };
// Which state member tells whether the CAD of this ProgID is idle.
StateMember ChooseStateMember(std::string_view progId);

// Sleeps ms, polls the chosen state member every ms until the CAD is idle, sleeps ms once more.
// `progress` is asked before every further poll (the program's KeepRunning processes pending
// window events and looks at its stop flag), so a CAD that never becomes idle cannot hang the
// program. Returns true when the CAD became idle, false when the wait was stopped.
bool WaitQuiescent(IApplication &app, std::string_view progId, int ms, ISleeper &sleeper,
                   Progress &progress);

struct ParsedPoint {
    bool ok = false;
    double x = 0.0, y = 0.0, z = 0.0;
};
// "10.5,20" -> (10.5, 20, 0); "1,2,3"; a text in double quotes has them dropped. Numbers use
// '.' whatever the locale. A failed parse keeps the values read so far.
ParsedPoint ParsePoint(std::string_view text);

// The COM message filter. Its decisions are plain functions so every platform can test them;
// the COM backend wraps them in an IMessageFilter and registers it.
struct MessageFilterPolicy {
    static constexpr unsigned kServerCallIsHandled = 0;
    static constexpr int kRetryLaterType = 2;      // SERVERCALL_RETRYLATER
    static constexpr unsigned kWaitNoProcess = 1;  // PENDINGMSG_WAITNOPROCESS
    static constexpr int kRetryEveryMs = 1000;
    // A CAD that stays busy longer than this (a dialog left open in it, a command that hangs)
    // ends the call with an error instead of holding Pimu forever.
    static constexpr int kRetryLimitMs = 60000;
    static unsigned HandleInComingCall() { return kServerCallIsHandled; }
    // Milliseconds until the retry, or -1 to cancel the call. `elapsedMs`: since the call began.
    static int RetryRejectedCall(int rejectType, long long elapsedMs = 0) {
        return rejectType == kRetryLaterType && elapsedMs < kRetryLimitMs ? kRetryEveryMs : -1;
    }
    // Keeps waiting for the CAD without dispatching the window's message.
    static unsigned MessagePending() { return kWaitNoProcess; }
};

class IMessageFilterRegistration {
public:
    virtual ~IMessageFilterRegistration() = default;
    virtual void RegisterFilter() = 0;
    virtual void RevokeFilter() = 0;
};

// The embedded drawing answers every call at once: there is nothing to filter.
class NullMessageFilter : public IMessageFilterRegistration {
public:
    void RegisterFilter() override { registered_ = true; }
    void RevokeFilter() override { registered_ = false; }
    bool registered() const { return registered_; }

private:
    bool registered_ = false;
};

}  // namespace pimu::cadlink
