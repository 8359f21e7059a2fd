#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <system_error>

#include "cli/platform.h"

namespace pimu::cli {
namespace fs = std::filesystem;

fs::path MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "pimu-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

fs::path ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : exe.parent_path();
}

bool IsTerminal(std::FILE *stream) {
    return isatty(fileno(stream)) != 0;
}

void CatchInterruptOnce(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESETHAND;  // the second Ctrl-C is not caught
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void ReleaseInterrupt() {
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace pimu::cli
