// What the command line needs from the operating system: a private temporary folder, the
// executable's folder, whether a stream is a terminal, and catching the first Ctrl-C.
// platform_posix.cpp and platform_win32.cpp implement it.
#pragma once

#include <cstdio>
#include <filesystem>

namespace pimu::cli {

// Makes a new, empty folder of its own under the system's temporary folder (on POSIX a run
// folder under $XDG_RUNTIME_DIR/pimu-UID, where folders of killed runs are removed). Returns an
// empty path or throws std::runtime_error with the reason when that fails.
std::filesystem::path MakeTempFolder();

// The folder of the running executable (its settings file lives there).
std::filesystem::path ExecutableFolder();

bool IsTerminal(std::FILE *stream);

// Calls `handler` on the first Ctrl-C (on POSIX also SIGTERM and SIGHUP); a second one ends the
// program as usual. Restore with ReleaseInterrupt.
void CatchInterruptOnce(void (*handler)(int));
void ReleaseInterrupt();

}  // namespace pimu::cli
