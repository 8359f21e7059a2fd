// The part of the CAD link that the window needs: the message filter at start and shut-down, the
// check every command makes first, and for the drawing commands the CAD's application object,
// the desktop around its window and the waits. The CAD link implements it (CadSession); the
// window model only calls it.
#pragma once

#include <string_view>

#include "cadlink/automation.h"
#include "cadlink/connection.h"

namespace pimu::app {

class CadConnection {
public:
    virtual ~CadConnection() = default;

    // Keeps the window's thread answering while an outgoing call waits for a busy CAD.
    virtual void RegisterMessageFilter() = 0;
    // Puts back the filter that was there before. May throw; the caller ignores failures.
    virtual void RevokeMessageFilter() = 0;

    // Whether a CAD of this class string is running. May throw for an unknown class string; the
    // error then reaches the user through the command that asked.
    virtual bool IsCadRunning(std::string_view progId) = 0;

    // The running CAD's application object. Throws cadlink::CadError when none runs (the default:
    // a connection that only answers the checks above).
    virtual cadlink::ApplicationPtr GetCadApplication(std::string_view progId);
    // The desktop around the CAD's window; the default has no windows.
    virtual cadlink::IDesktop &Desktop() { return nullDesktop_; }
    // Waits; the default returns at once and only adds up the time asked for.
    virtual cadlink::ISleeper &Sleeper() { return noWait_; }

    // What the default sleeper was asked to wait, in ms.
    int WaitedMs() const { return noWait_.total; }

private:
    struct NoWait : cadlink::ISleeper {
        int total = 0;
        void Sleep(int ms) override { total += ms; }
    };
    cadlink::NullDesktop nullDesktop_;
    NoWait noWait_;
};

// A connection through the CAD link: a connector that finds the running CAD by its ProgID, the
// desktop, the sleeper and the message-filter registration (all owned by the caller).
class CadSession : public CadConnection {
public:
    CadSession(cadlink::ICadConnector &connector, cadlink::IDesktop &desktop,
               cadlink::ISleeper &sleeper, cadlink::IMessageFilterRegistration &filter)
        : connector_(connector), desktop_(desktop), sleeper_(sleeper), filter_(filter) {}

    void RegisterMessageFilter() override { filter_.RegisterFilter(); }
    void RevokeMessageFilter() override { filter_.RevokeFilter(); }
    bool IsCadRunning(std::string_view progId) override;
    cadlink::ApplicationPtr GetCadApplication(std::string_view progId) override;
    cadlink::IDesktop &Desktop() override { return desktop_; }
    cadlink::ISleeper &Sleeper() override { return sleeper_; }

private:
    cadlink::ICadConnector &connector_;
    cadlink::IDesktop &desktop_;
    cadlink::ISleeper &sleeper_;
    cadlink::IMessageFilterRegistration &filter_;
};

}  // namespace pimu::app
