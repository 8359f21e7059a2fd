// pimu: Pimu's main job without a window. See commands.cpp for the subcommands.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/render.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int Run(const std::vector<std::string_view> &args) {
    const int status = pimu::cli::RunCommandLine(args, stdout, stderr);
    pimu::cli::ReleaseRenderCaches();
    return status;
}

}  // namespace

#ifdef _WIN32
// Windows hands the arguments over as UTF-16; inside, every text is UTF-8, and so is what the
// console shows.
int wmain(int argc, wchar_t **argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> utf8;
    for (int i = 1; i < argc; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(n > 0 ? static_cast<std::size_t>(n) : 1u, '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), n, nullptr, nullptr);
        text.resize(text.size() - 1);  // the terminating zero
        utf8.push_back(std::move(text));
    }
    return Run(std::vector<std::string_view>(utf8.begin(), utf8.end()));
}
#else
int main(int argc, char **argv) {
    return Run(std::vector<std::string_view>(argv + 1, argv + argc));
}
#endif
