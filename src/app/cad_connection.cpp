#include "app/cad_connection.h"

#include <string>

namespace pimu::app {

cadlink::ApplicationPtr CadConnection::GetCadApplication(std::string_view) {
    throw cadlink::CadError("No CAD link");
}

bool CadSession::IsCadRunning(std::string_view progId) {
    return cadlink::IsCadRunning(connector_, std::string(progId));
}

cadlink::ApplicationPtr CadSession::GetCadApplication(std::string_view progId) {
    return cadlink::GetCadApplication(connector_, std::string(progId));
}

}  // namespace pimu::app
