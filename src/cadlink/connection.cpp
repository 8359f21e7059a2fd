#include "cadlink/connection.h"

#include <chrono>
#include <thread>

#include "base/ascii.h"
#include "base/numconv.h"

namespace pimu::cadlink {

void RealSleeper::Sleep(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool IsCadRunning(ICadConnector &connector, const std::string &progId) {
    return connector.GetActiveObject(progId) != nullptr;
}

ApplicationPtr GetCadApplication(ICadConnector &connector, const std::string &progId) {
    ApplicationPtr app = connector.GetActiveObject(progId);
    if (!app) throw CadError("No running CAD for \"" + progId + "\"");
    return app;
}

void BringCadForward(IApplication &app, IDesktop &desktop, ISleeper &sleeper) {
    const std::intptr_t hwnd = app.HWND();
    if (desktop.IsIconic(hwnd)) {
        desktop.OpenIcon(hwnd);
        sleeper.Sleep(500);
    }
    desktop.SetForegroundWindow(hwnd);
    if (desktop.GetForegroundWindow() == hwnd) {
        desktop.KeyEscape(true);
        sleeper.Sleep(5);
        desktop.KeyEscape(false);
        sleeper.Sleep(200);
    }
}

bool IsPcadFamily(std::string_view progId) {
    return progId.find("PCAD") != std::string_view::npos;
}
bool IsAutoFamily(std::string_view progId) {
    return progId.find("Auto") != std::string_view::npos;
}

StateMember ChooseStateMember(std::string_view progId) {
    const std::string upper = UpperAscii(progId);
    if (upper.find("GCAD") != std::string::npos) {
        const std::size_t dot = upper.rfind('.');
        int version = 0;
        if (dot == std::string::npos ||
            !TryParseInteger(std::string_view(upper).substr(dot + 1), version))
            version = 0;
        return version < 24 ? StateMember::Gcad : StateMember::Acad;
    }
    if (upper.find("ZWCAD") != std::string::npos) return StateMember::Zcad;
    return StateMember::Acad;
}

bool WaitQuiescent(IApplication &app, std::string_view progId, int ms, ISleeper &sleeper,
                   Progress &progress) {
    sleeper.Sleep(ms);
    const StateMember member = ChooseStateMember(progId);
    for (;;) {
        CadStatePtr state = member == StateMember::Gcad   ? app.GetGcadState()
                            : member == StateMember::Zcad ? app.GetZcadState()
                                                          : app.GetAcadState();
        if (!state) throw CadError("The CAD gave no state object");
        if (state->IsQuiescent()) break;
        if (!progress.KeepRunning()) return false;
        sleeper.Sleep(ms);
    }
    sleeper.Sleep(ms);
    return true;
}

ParsedPoint ParsePoint(std::string_view text) {
    ParsedPoint r;
    std::string s(text);
    if (!s.empty() && s.front() == '"')
        s = s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string();
    const std::size_t c1 = s.find(',');
    if (c1 == std::string::npos || c1 == 0) return r;
    if (!TryParseNumber(s.substr(0, c1), r.x)) return r;
    s.erase(0, c1 + 1);
    const std::size_t c2 = s.find(',');
    if (c2 != std::string::npos) {
        if (!TryParseNumber(s.substr(0, c2), r.y)) return r;
        if (!TryParseNumber(s.substr(c2 + 1), r.z)) return r;
    } else {
        if (!TryParseNumber(s, r.y)) return r;
        r.z = 0.0;
    }
    r.ok = true;
    return r;
}

}  // namespace pimu::cadlink
