// `--cad running`: the CAD running on this computer as the window's CAD, found by the ProgID of
// the settings (Target/ProgID). Windows reaches it through COM (cadlink/com); elsewhere there
// is none and Connect throws UsageError.
#pragma once

#include <memory>

#include "app/cad_connection.h"

namespace pimu::cli {

bool RunningCadAvailable();
std::unique_ptr<app::CadConnection> ConnectRunningCad();

}  // namespace pimu::cli
