// The part of the CAD link that the window itself needs at start and shut-down, and the check
// every command makes first. The CAD link implements it; the window model only calls it.
#pragma once

#include <string_view>

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
};

}  // namespace pimu::app
