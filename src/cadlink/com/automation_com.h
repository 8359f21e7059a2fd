// The automation interface of cadlink/automation.h over a running CAD's IDispatch objects, and
// what finds that CAD: the running-object lookup by ProgID.
#pragma once

#include <memory>
#include <string>

#include "cadlink/automation.h"
#include "cadlink/com/dispatch.h"
#include "cadlink/connection.h"

namespace pimu::cadlink::com {

// The CAD's application object. Objects handed out from it keep their COM references; they
// stay usable while the CAD runs.
ApplicationPtr WrapApplication(Dispatch application);

// Finds the running CAD of a ProgID: CLSIDFromProgID, then GetActiveObject. The COM apartment
// must be set up on this thread (ComApartment).
class ComConnector : public ICadConnector {
public:
    explicit ComConnector(ContextPtr context) : context_(std::move(context)) {}
    // nullptr when no CAD of that class runs; throws CadError when the ProgID is not registered.
    ApplicationPtr GetActiveObject(const std::string &progId) override;
    const ContextPtr &context() const { return context_; }

private:
    ContextPtr context_;
};

}  // namespace pimu::cadlink::com
