#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#include "base/quote.h"
#include "cli/platform.h"

namespace pimu::cli {
namespace fs = std::filesystem;

namespace {

// Temporary folders of one run live in a folder of Pimu's own under $XDG_RUNTIME_DIR (emptied
// by the system at logout) or the temporary folder, named "run-<pid>-<random>". A folder whose
// process is gone (a run that was killed) is removed by the next run.
fs::path RunFolderRoot() {
    std::error_code ec;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    fs::path base;
    if (runtime && *runtime && fs::is_directory(runtime, ec))
        base = runtime;
    else
        base = fs::temp_directory_path(ec);
    if (base.empty()) base = "/tmp";
    return base / ("pimu-" + std::to_string(::getuid()));
}

bool ProcessAlive(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void RemoveStaleRunFolders(const fs::path &root) {
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with("run-")) continue;
        const std::string rest = name.substr(4);
        long pid = 0;
        const auto dash = rest.find('-');
        if (dash == std::string::npos) continue;
        try {
            pid = std::stol(rest.substr(0, dash));
        } catch (const std::exception &) {
            continue;
        }
        if (pid == static_cast<long>(::getpid()) || ProcessAlive(pid)) continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

std::string Q(const fs::path &path) {
    return QuoteForMessage(path.string(), 200);
}

// Ctrl-C, a kill (SIGTERM) and a closed terminal (SIGHUP).
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

fs::path MakeTempFolder() {
    const fs::path root = RunFolderRoot();
    // Private to the user; an existing root must be a real folder of this user.
    if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot make the temporary folder " + Q(root) + ": " +
                                 std::strerror(errno));
    struct stat st {};
    if (::lstat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        throw std::runtime_error("the temporary folder " + Q(root) +
                                 " is not a folder of this user");
    RemoveStaleRunFolders(root);
    std::string pattern = (root / ("run-" + std::to_string(::getpid()) + "-XXXXXX")).string();
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
    action.sa_flags = SA_RESETHAND;  // the second signal is not caught
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals) sigaction(sig, &action, nullptr);
}

void ReleaseInterrupt() {
    for (int sig : kStopSignals) std::signal(sig, SIG_DFL);
}

}  // namespace pimu::cli
