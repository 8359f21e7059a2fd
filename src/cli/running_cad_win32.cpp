// The running CAD through COM: one apartment-threaded COM thread (the program's only one), the
// connector that finds the CAD by ProgID, the message filter, the real desktop and real waits.
#include "cadlink/com/apartment.h"
#include "cadlink/com/automation_com.h"
#include "cli/running_cad.h"

namespace pimu::cli {
namespace {

class RunningCad : public app::CadSession {
public:
    RunningCad() : RunningCad(std::make_unique<Owned>()) {}

private:
    struct Owned {
        cadlink::com::ComApartment apartment;  // first in, last out
        cadlink::RealSleeper sleeper;
        cadlink::com::ComConnector connector{
            std::make_shared<cadlink::com::Context>(cadlink::com::RetryRule{}, sleeper)};
        cadlink::com::WindowsDesktop desktop;
        cadlink::com::ComMessageFilterRegistration filter;
    };
    explicit RunningCad(std::unique_ptr<Owned> parts)
        : CadSession(parts->connector, parts->desktop, parts->sleeper, parts->filter),
          parts_(std::move(parts)) {}

    std::unique_ptr<Owned> parts_;
};

}  // namespace

bool RunningCadAvailable() {
    return true;
}

std::unique_ptr<app::CadConnection> ConnectRunningCad() {
    return std::make_unique<RunningCad>();
}

}  // namespace pimu::cli
