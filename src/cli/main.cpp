// pimu: Pimu's command line. One entry per subcommand in kCommands.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "solar/ratiotable.h"

namespace {

using Args = std::vector<std::string_view>;

// Latitude defaults as the window shows them on a first start.
constexpr std::string_view kDefaultDegrees = "36";
constexpr std::string_view kDefaultMinutes = "0";
constexpr std::string_view kDefaultSeconds = "0";

int RatioTable(const Args &args) {
    pimu::solar::RatioTableOptions options;
    std::vector<std::string_view> latitude;
    for (std::string_view a : args) {
        if (a == "--dms") {
            options.UseDms = true;
        } else if (a == "--three-decimals") {
            options.ThreeDecimals = true;
        } else if (a.starts_with("--")) {
            std::fprintf(stderr, "pimu ratio-table: unknown option %.*s\n",
                         static_cast<int>(a.size()), a.data());
            return 2;
        } else {
            latitude.push_back(a);
        }
    }
    if (latitude.size() > 3) {
        std::fprintf(stderr, "pimu ratio-table: at most three latitude values (deg min sec)\n");
        return 2;
    }
    const std::string_view deg = latitude.size() > 0 ? latitude[0] : kDefaultDegrees;
    const std::string_view min = latitude.size() > 1 ? latitude[1] : kDefaultMinutes;
    const std::string_view sec = latitude.size() > 2 ? latitude[2] : kDefaultSeconds;
    for (const std::string &line : pimu::solar::RatioTableLines(deg, min, sec, options)) {
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(const Args &);
};

constexpr Command kCommands[] = {
    {"ratio-table", "ratio-table [--dms] [--three-decimals] [DEG [MIN [SEC]]]", RatioTable},
};

int Usage() {
    std::fprintf(stderr, "usage:\n");
    for (const Command &c : kCommands) {
        std::fprintf(stderr, "  pimu %.*s\n", static_cast<int>(c.usage.size()), c.usage.data());
    }
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return Usage();
    const std::string_view name = argv[1];
    const Args args(argv + 2, argv + argc);
    for (const Command &c : kCommands) {
        if (c.name != name) continue;
        try {
            return c.run(args);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "pimu %s: %s\n", argv[1], e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "pimu: unknown command %s\n", argv[1]);
    return Usage();
}
