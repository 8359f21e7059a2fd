// The command line of one subcommand: `pimu COMMAND [DRAWING.dxf] [options]`.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/render.h"
#include "cli/selection.h"
#include "geometry/types.h"

namespace pimu::cli {

// Options that only some subcommands take; each subcommand lists the ones it accepts.
enum OptionBit : unsigned {
    kOptPoint = 1u << 0,     // --point X,Y (repeatable)
    kOptMarks = 1u << 1,     // --marks SEL
    kOptSummary = 1u << 2,   // --summary X,Y
    kOptType = 1u << 3,      // --type A|B
    kOptPlace = 1u << 4,     // --place X,Y
    kOptCenter = 1u << 5,    // --center X,Y
    kOptWall = 1u << 6,      // --wall X,Y
    kOptSite = 1u << 7,      // --site SEL
    kOptRatio = 1u << 8,     // --dms, --three-decimals
    kOptCsv = 1u << 9,       // --csv FILE
    kOptDrawing = 1u << 10,  // --buildings, -o, --svg, --png, --background
    kOptView = 1u << 11,     // --view H,V
};

struct SettingOverride {
    std::string section;
    std::string key;
    std::string value;
};

struct Options {
    std::optional<std::filesystem::path> drawing;
    Selection buildings;  // default: all
    std::string buildingsText = "all";
    std::optional<std::filesystem::path> output, svg, png, csv, settings, workdir;
    std::vector<SettingOverride> sets;
    std::optional<std::string> latitude;  // D[,M[,S]]
    std::optional<int> season;            // RadioGroup1: 0 winter, 1 equinox, 2 summer
    std::vector<geometry::TAcadPoint> points;
    std::optional<Selection> marks, site;
    std::string marksText, siteText;
    std::optional<geometry::TAcadPoint> wall, summary, place, center;
    std::optional<char> type;                 // 'A' or 'B'
    std::optional<std::pair<int, int>> view;  // preview turn and tilt, degrees
    bool dms = false;
    bool threeDecimals = false;
    bool cadRunning = false;  // --cad running: the running CAD's drawing instead of a file
    bool verbose = false;
    bool help = false;
    Background background = Background::White;
    int pictureSize = 1600;  // the longer side of a drawing's picture, pixels
};

// Parses the words after the subcommand's name. `accepted` is a mask of OptionBit. Throws
// UsageError for an unknown option, a missing or malformed value, or a second drawing.
Options ParseOptions(const std::vector<std::string_view> &args, unsigned accepted);

// The options every drawing subcommand takes, as the help text lists them.
std::string CommonOptionsHelp(unsigned accepted);

}  // namespace pimu::cli
