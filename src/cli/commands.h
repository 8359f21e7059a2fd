// The subcommands of `pimu`. Each is a small function that sets controls and calls the window
// model's handlers through a Session; one that has no handler yet has run == nullptr and says so.
#pragma once

#include <span>
#include <string_view>

#include "cli/session.h"

namespace pimu::cli {

enum class DrawingUse { None, Optional, Required };

struct Subcommand {
    std::string_view name;
    std::string_view summary;  // one line in `pimu --help`
    std::string_view details;  // what `pimu NAME --help` adds above the options
    unsigned options;          // OptionBit mask of the options it takes
    DrawingUse drawing;
    int (*run)(Session &);  // nullptr: not available yet
};

std::span<const Subcommand> Subcommands();
const Subcommand *FindSubcommand(std::string_view name);

// `pimu COMMAND ...` as main() runs it; returns the exit status.
int RunCommandLine(const std::vector<std::string_view> &args, std::FILE *out, std::FILE *err);

}  // namespace pimu::cli
