// The command line of one subcommand: `pimu COMMAND [DRAWING.dxf] [options]`.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/render.h"
#include "cli/selection.h"
#include "geometry/types.h"
#include "regulation/regulation.h"

namespace pimu::cli {

// Options that only some subcommands take; each subcommand lists the ones it accepts.
enum OptionBit : unsigned {
    kOptPoint = 1u << 0,        // --point X,Y (repeatable)
    kOptMarks = 1u << 1,        // --marks SEL
    kOptSummary = 1u << 2,      // --summary X,Y
    kOptType = 1u << 3,         // --type A|B
    kOptPlace = 1u << 4,        // --place X,Y
    kOptCenter = 1u << 5,       // --center X,Y
    kOptWall = 1u << 6,         // --wall X,Y
    kOptSite = 1u << 7,         // --site SEL
    kOptRatio = 1u << 8,        // --dms, --three-decimals
    kOptCsv = 1u << 9,          // --csv FILE
    kOptBuildings = 1u << 10,   // --buildings SEL
    kOptView = 1u << 11,        // --view H,V
    kOptOutput = 1u << 12,      // -o, --svg, --png, --background, --size
    kOptLatitude = 1u << 13,    // --latitude
    kOptTimes = 1u << 14,       // --start, --end
    kOptPlane = 1u << 15,       // --plane-height
    kOptTextHeight = 1u << 16,  // --text-height
    kOptHours = 1u << 17,       // --hours
    kOptStep = 1u << 18,        // --step
    kOptSeason = 1u << 19,      // --season
    kOptNorth = 1u << 20,       // --north
    kOptInterval = 1u << 21,    // --interval
    kOptDate = 1u << 22,        // --date YYYY-MM-DD, --offset DAYS
    kOptSolarNoon = 1u << 23,   // --longitude DEG, --eot MIN
    kOptEqTimePlot = 1u << 24,  // --tables FOLDER, --compare-tables, --formula
    kOptRegulation = 1u << 25,  // --zone, --limits, --open-side, --report
    kOptVolumes = 1u << 26,     // --volumes-on-ground
    kOptSkyCompare = 1u << 27,  // --road, --zone and --limits of sky-compare, --distance
    kOptDrawing = kOptBuildings | kOptOutput,
    kOptSun = kOptLatitude | kOptSeason | kOptNorth,
};

// The language of the command line's own messages; the window's messages stay as it has them.
enum class Lang { En, Ja };

// `en` or `ja` as the language asks.
inline std::string Tr(Lang lang, std::string_view en, std::string_view ja) {
    return std::string(lang == Lang::Ja ? ja : en);
}

// One settings key given on the command line, by --set or by a plain option (`origin` is what
// the user typed, so a message can name it).
struct SettingOverride {
    std::string section;
    std::string key;
    std::string value;
    std::string origin;
};

struct Options {
    std::optional<std::filesystem::path> drawing;
    std::optional<Selection> buildings;  // none: the settings' building layers, or stop
    std::string buildingsText;
    std::optional<std::filesystem::path> output, svg, png, csv, settings, workdir;
    std::vector<SettingOverride> sets;
    std::vector<geometry::TAcadPoint> points;
    std::optional<Selection> marks, site;
    std::string marksText, siteText;
    std::optional<geometry::TAcadPoint> wall, summary, place, center;
    std::optional<char> type;                 // 'A' or 'B'
    std::optional<std::pair<int, int>> view;  // preview turn and tilt, degrees
    bool dms = false;
    bool threeDecimals = false;
    std::optional<std::chrono::year_month_day> date;  // the calculator's day (default today)
    std::optional<std::string> offset;                // days added to it, a number
    std::optional<std::filesystem::path> tables;      // folder of the equation-of-time tables
    bool compareTables = false;                       // plot the 2024 table against 2025
    bool formula = false;                             // plot the formula against 2025
    // The regulation check: a zone of the table (its name), or the limits typed in; the sides
    // of the site facing a road or river; the report sheet.
    std::optional<std::string> zone;
    std::optional<std::pair<double, double>> limits;
    bool planeHeight = false;  // --plane-height was given
    std::vector<regulation::OpenSide> openSides;
    std::optional<std::filesystem::path> report;
    // The sky-factor comparison: the sides of the site facing a road (a point near the side, the
    // road's width and the setback, mm).
    struct Road {
        geometry::TAcadPoint nearSide;
        double width = 0.0;
        double setback = 0.0;
    };
    std::vector<Road> roads;
    bool cadRunning = false;  // --cad running: the running CAD's drawing instead of a file
    bool verbose = false;
    bool help = false;
    bool noClobber = false;  // refuse to replace an existing output
    Lang lang = Lang::En;
    Background background = Background::White;
    int pictureSize = 1600;  // the longer side of a drawing's picture, pixels
};

// Parses the words after the subcommand's name. `accepted` is a mask of OptionBit; `command`
// chooses the settings key of --step. Throws UsageError for an option the command does not take,
// a missing or malformed value, or a second drawing. Plain options that stand for settings keys
// become SettingOverrides in the order given, as --set does.
Options ParseOptions(const std::vector<std::string_view> &args, unsigned accepted,
                     std::string_view command = {});

// The language of the messages: --lang ja|en among the words, else the environment's locale
// (LC_ALL, LC_MESSAGES, LANG starting with "ja"), else English.
Lang MessageLanguage(const std::vector<std::string_view> &args);

// The options of `accepted` (and those every command takes), as the help text lists them.
std::string CommonOptionsHelp(unsigned accepted, std::string_view command = {});

}  // namespace pimu::cli
