// How a long computation tells its caller how far it has come, and learns that the user asked it
// to stop. One type for every long loop: the window model implements it over its progress bar,
// status label and run flag, the command line over its terminal and Ctrl-C; tests and benchmarks
// pass NoProgress().
#pragma once

#include <string>

namespace pimu {

class Progress {
public:
    virtual ~Progress() = default;
    // A new phase of `maximum` steps begins.
    virtual void Start(int maximum) { (void)maximum; }
    // `position` steps of the current phase are done.
    virtual void Position(int position) { (void)position; }
    // What is being worked on now (the window shows it in its status label).
    virtual void Status(const std::string &text) { (void)text; }
    // False once the user asked to stop. A window may handle its pending events here first.
    // Long loops ask at least every few hundred milliseconds; a computation that stops returns
    // what it has so far, marked as stopped.
    virtual bool KeepRunning() { return true; }
};

// A progress that shows nothing and never stops.
inline Progress &NoProgress() {
    static Progress none;  // stateless: every member is a no-op
    return none;
}

}  // namespace pimu
