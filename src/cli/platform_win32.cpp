#include <io.h>
#include <windows.h>

#include <csignal>
#include <random>
#include <string>
#include <system_error>

#include "cli/platform.h"

namespace pimu::cli {
namespace fs = std::filesystem;

fs::path MakeTempFolder() {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) return {};
    std::random_device seed;
    std::mt19937 random(seed() ^ GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("pimu-" + std::to_string(random() % 1000000000u));
        // CreateDirectoryW fails when the name exists, so the folder is ours alone.
        if (CreateDirectoryW(candidate.c_str(), nullptr)) return candidate;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

fs::path ExecutableFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return fs::current_path();
        if (n < buffer.size()) {
            buffer.resize(n);
            return fs::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool IsTerminal(std::FILE *stream) {
    return _isatty(_fileno(stream)) != 0;
}

// The C runtime puts SIGINT back to the default before it calls the handler, so the second
// Ctrl-C ends the program.
void CatchInterruptOnce(void (*handler)(int)) {
    std::signal(SIGINT, handler);
}

void ReleaseInterrupt() {
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace pimu::cli
