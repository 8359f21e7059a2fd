// pimu: Pimu's main job without a window. See commands.cpp for the subcommands.
#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/render.h"

int main(int argc, char **argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const int status = pimu::cli::RunCommandLine(args, stdout, stderr);
    pimu::cli::ReleaseRenderCaches();
    return status;
}
