#include "cli/options.h"
#include "cli/running_cad.h"

namespace pimu::cli {

bool RunningCadAvailable() {
    return false;
}

std::unique_ptr<app::CadConnection> ConnectRunningCad() {
    throw UsageError(
        "--cad running: only the Windows build of Pimu drives a running CAD (through COM)");
}

}  // namespace pimu::cli
