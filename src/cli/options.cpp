#include "cli/options.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/control_table.h"
#include "base/ascii.h"
#include "base/numconv.h"
#include "cli/running_cad.h"
#include "shadow/touji_raster.h"

namespace pimu::cli {
namespace {

struct Reader {
    const std::vector<std::string_view> &args;
    size_t i = 0;
    std::string_view Value(std::string_view option) {
        if (i + 1 >= args.size()) throw UsageError(std::string(option) + " needs a value");
        return args[++i];
    }
};

std::string Quoted(std::string_view option, std::string_view value) {
    return std::string(option) + " \"" + std::string(value) + "\"";
}

SettingOverride ParseSet(std::string_view text) {
    const size_t slash = text.find('/');
    const size_t eq = text.find('=');
    if (slash == std::string_view::npos || eq == std::string_view::npos || eq < slash ||
        slash == 0 || eq == slash + 1) {
        throw UsageError("--set \"" + std::string(text) + "\": expected SECTION/KEY=VALUE");
    }
    return {std::string(text.substr(0, slash)), std::string(text.substr(slash + 1, eq - slash - 1)),
            std::string(text.substr(eq + 1)), "--set " + std::string(text)};
}

void Require(unsigned accepted, unsigned bit, std::string_view option) {
    if (!(accepted & bit)) throw UsageError("this command does not take " + std::string(option));
}

std::vector<std::string_view> SplitCommas(std::string_view t) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t c = t.find(',');
        parts.push_back(t.substr(0, c));
        if (c == std::string_view::npos) break;
        t.remove_prefix(c + 1);
    }
    return parts;
}

// --latitude D[,M[,S]]: Common/ido1..3, each a number.
void AddLatitude(Options &o, std::string_view value) {
    const std::vector<std::string_view> parts = SplitCommas(value);
    double unused = 0.0;
    bool numbers = parts.size() <= 3;
    for (std::string_view p : parts) numbers = numbers && TryParseNumber(p, unused);
    if (!numbers)
        throw UsageError(Quoted("--latitude", value) +
                         ": degrees[,minutes[,seconds]] as numbers, e.g. --latitude 35,41 "
                         "(緯度, Common/ido1..3)");
    const std::string origin = "--latitude " + std::string(value);
    const char *keys[] = {"ido1", "ido2", "ido3"};
    for (size_t i = 0; i < 3; ++i)
        o.sets.push_back(
            {"Common", keys[i], i < parts.size() ? std::string(parts[i]) : "0", origin});
}

// --hours 1.5,2.5,...: which of the isochrones 1.5 ... 8.0 h are drawn (Touji/chk0..13).
void AddHours(Options &o, std::string_view value) {
    bool wanted[14] = {};
    for (std::string_view p : SplitCommas(value)) {
        double h = 0.0;
        if (!TryParseNumber(p, h) || !(h >= 1.5 && h <= 8.0) ||
            (h - 1.5) * 2.0 != std::floor((h - 1.5) * 2.0))
            throw UsageError(Quoted("--hours", value) +
                             ": hours from 1.5 to 8.0 in steps of 0.5, comma separated "
                             "(Touji/chk0..13)");
        wanted[static_cast<int>((h - 1.5) * 2.0)] = true;
    }
    const std::string origin = "--hours " + std::string(value);
    for (int i = 0; i < 14; ++i)
        o.sets.push_back({"Touji", "chk" + std::to_string(i), wanted[i] ? "1" : "0", origin});
}

// The plane height of the specific points and of the regulation check are settings of their own.
std::string PlaneKey(std::string_view command) {
    if (command == "regulation") return "Kisei/takasa";
    return command == "points" ? "Tokutei/takasa" : "Common/takasa";
}

std::string StepKey(std::string_view command) {
    if (command == "regulation") return "kankaku";
    if (command == "wall") return "kankaku3";
    if (command == "points") return "kankaku";
    return "kankaku2";
}

// A picture is written in the format of its option; a name with another extension would hide
// what the file is.
std::filesystem::path PictureName(std::string_view option, std::string_view value,
                                  std::string_view extension) {
    const std::filesystem::path path(value);
    const std::string ext = UpperAscii(path.extension().string());
    if (!ext.empty() && ext != UpperAscii(extension))
        throw UsageError(Quoted(option, value) + ": " + std::string(option) + " writes a " +
                         UpperAscii(extension.substr(1)) + " picture; give a name ending in " +
                         std::string(extension));
    return path;
}

// --date YYYY-MM-DD: a day of the calendar.
std::chrono::year_month_day ParseDate(std::string_view option, std::string_view value) {
    int y = 0, m = 0, d = 0;
    const bool shape = value.size() == 10 && value[4] == '-' && value[7] == '-' &&
                       TryParseInteger(value.substr(0, 4), y) &&
                       TryParseInteger(value.substr(5, 2), m) &&
                       TryParseInteger(value.substr(8, 2), d);
    const std::chrono::year_month_day date{std::chrono::year{y},
                                           std::chrono::month{static_cast<unsigned>(m)},
                                           std::chrono::day{static_cast<unsigned>(d)}};
    if (!shape || m < 1 || d < 1 || !date.ok())
        throw UsageError(Quoted(option, value) + ": a date as YYYY-MM-DD, e.g. 2025-02-11");
    return date;
}

// The zone names, comma separated, for a message.
std::string ZoneNames() {
    std::string names;
    for (const regulation::ZoneRule &rule : regulation::ZoneRules())
        names += (names.empty() ? "" : ", ") + std::string(rule.Name);
    return names;
}

// --zone NAME: the row of the zone table, as the index of the window's list (Kisei/chiiki).
void AddZone(Options &o, std::string_view value) {
    const auto rules = regulation::ZoneRules();
    for (std::size_t i = 0; i < rules.size(); ++i)
        if (rules[i].Name == value) {
            o.zone = std::string(value);
            o.sets.push_back(
                {"Kisei", "chiiki", std::to_string(i), "--zone " + std::string(value)});
            return;
        }
    throw UsageError(Quoted("--zone", value) + ": no such zone; one of " + ZoneNames() +
                     " (pimu regulation --help shows what each means)");
}

// --limits H1,H2: the hours allowed beyond the 5 m and the 10 m line, typed in (the last item of
// the window's list).
void AddLimits(Options &o, std::string_view value) {
    const std::vector<std::string_view> parts = SplitCommas(value);
    double h1 = 0.0, h2 = 0.0;
    if (parts.size() != 2 || !TryParseNumber(parts[0], h1) || !TryParseNumber(parts[1], h2) ||
        !(h1 > 0.0) || !(h2 > 0.0))
        throw UsageError(Quoted("--limits", value) +
                         ": two numbers of hours above 0, e.g. --limits 3,2 (beyond the 5 m "
                         "line, beyond the 10 m line)");
    o.limits = std::pair{h1, h2};
    const std::string origin = "--limits " + std::string(value);
    o.sets.push_back({"Kisei", "jikan5", std::string(parts[0]), origin});
    o.sets.push_back({"Kisei", "jikan10", std::string(parts[1]), origin});
    o.sets.push_back({"Kisei", "chiiki", std::to_string(regulation::ZoneRules().size()), origin});
}

// --road X,Y,WIDTH[,SETBACK]: the side of the site nearest to X,Y faces a road WIDTH metres wide;
// the building stands SETBACK metres back from it.
Options::Road ParseRoad(std::string_view value) {
    const std::vector<std::string_view> parts = SplitCommas(value);
    double v[4] = {};
    bool ok = parts.size() == 3 || parts.size() == 4;
    for (std::size_t i = 0; ok && i < parts.size(); ++i) ok = TryParseNumber(parts[i], v[i]);
    if (!ok || !(v[2] > 0.0) || !(v[3] >= 0.0) || !(v[2] < 1000.0) || !(v[3] < 1000.0))
        throw UsageError(Quoted("--road", value) +
                         ": X,Y,WIDTH[,SETBACK]: a point near the side (drawing units), the "
                         "road's width in metres (above 0) and the building's setback from it "
                         "in metres (0 or more)");
    return Options::Road{{v[0], v[1], 0.0}, v[2] * 1000.0, v[3] * 1000.0};
}

// The zone groups of sky-compare, in the order of the window's list (Hikaku/chiiki).
constexpr const char *kSlantZones[] = {"low-rise", "mid-high", "residential", "other"};

void AddSlantZone(Options &o, std::string_view value) {
    for (std::size_t i = 0; i < std::size(kSlantZones); ++i)
        if (value == kSlantZones[i]) {
            o.sets.push_back({"Hikaku", "chiiki", std::to_string(i), "--zone " + std::string(value)});
            return;
        }
    throw UsageError(Quoted("--zone", value) +
                     ": one of low-rise, mid-high, residential, other (pimu sky-compare --help)");
}

// --limits road,adjacent,north: the limits compared (the others are left out).
void AddSlantLimits(Options &o, std::string_view value) {
    bool on[3] = {false, false, false};
    const char *names[] = {"road", "adjacent", "north"};
    const char *keys[] = {"dourosen", "rinchi", "kita"};
    for (std::string_view part : SplitCommas(value)) {
        bool known = false;
        for (int k = 0; k < 3; ++k)
            if (part == names[k]) on[k] = known = true;
        if (!known)
            throw UsageError(Quoted("--limits", value) +
                             ": names of the limits, comma separated: road, adjacent, north");
    }
    for (int k = 0; k < 3; ++k)
        o.sets.push_back({"Hikaku", keys[k], on[k] ? "1" : "0", "--limits " + std::string(value)});
}

// --open-side X,Y,WIDTH: the side of the site nearest to X,Y faces open ground WIDTH metres wide.
regulation::OpenSide ParseOpenSide(std::string_view value) {
    const std::vector<std::string_view> parts = SplitCommas(value);
    double v[3] = {};
    bool ok = parts.size() == 3;
    for (std::size_t i = 0; ok && i < 3; ++i) ok = TryParseNumber(parts[i], v[i]);
    if (!ok || !(v[2] > 0.0))
        throw UsageError(Quoted("--open-side", value) +
                         ": X,Y,WIDTH: a point near the side (drawing units) and the width of "
                         "the road, river or the like in metres, above 0");
    regulation::OpenSide side;
    side.Near = {v[0], v[1], 0.0};
    side.Width = v[2] * 1000.0;
    return side;
}

}  // namespace

Options ParseOptions(const std::vector<std::string_view> &args, unsigned accepted,
                     std::string_view command) {
    Options o;
    o.lang = MessageLanguage(args);
    Reader r{args};
    // A plain option standing for one settings key.
    auto plain = [&](std::string_view a, unsigned bit, const char *section, std::string key) {
        Require(accepted, bit, a);
        const std::string_view v = r.Value(a);
        o.sets.push_back(
            {section, std::move(key), std::string(v), std::string(a) + " " + std::string(v)});
    };
    for (; r.i < args.size(); ++r.i) {
        const std::string_view a = args[r.i];
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else if (a == "--lang") {
            const std::string_view v = r.Value(a);
            if (v != "en" && v != "ja") throw UsageError(Quoted(a, v) + ": en or ja");
        } else if (a == "--settings") {
            o.settings = std::filesystem::path(r.Value(a));
        } else if (a == "--set") {
            o.sets.push_back(ParseSet(r.Value(a)));
        } else if (a == "--workdir") {
            o.workdir = std::filesystem::path(r.Value(a));
        } else if (a == "--latitude") {
            Require(accepted, kOptLatitude, a);
            AddLatitude(o, r.Value(a));
        } else if (a == "--season") {
            Require(accepted, kOptSeason, a);
            const std::string_view v = r.Value(a);
            const char *index = v == "winter" || v == "冬至"    ? "0"
                                : v == "equinox" || v == "秋春" ? "1"
                                : v == "summer" || v == "夏至"  ? "2"
                                                                : nullptr;
            if (!index)
                throw UsageError(Quoted(a, v) + ": winter, equinox or summer (Common/kisetsu)");
            o.sets.push_back({"Common", "kisetsu", index, "--season " + std::string(v)});
        } else if (a == "--north") {
            plain(a, kOptNorth, "Common", "makita");
        } else if (a == "--start") {
            plain(a, kOptTimes, "Jikoku", "kaishi");
        } else if (a == "--end") {
            plain(a, kOptTimes, "Jikoku", "owari");
        } else if (a == "--interval") {
            plain(a, kOptInterval, "Jikoku", "kankaku");
        } else if (a == "--plane-height") {
            o.planeHeight = true;
            plain(a, kOptPlane,
                  command == "points"       ? "Tokutei"
                  : command == "regulation" ? "Kisei"
                                            : "Common",
                  "takasa");
        } else if (a == "--volumes-on-ground") {
            Require(accepted, kOptVolumes, a);
            o.sets.push_back({"Common", "Jimen", "1", std::string(a)});
        } else if (a == "--text-height") {
            plain(a, kOptTextHeight, "Common", "takasa2");
        } else if (a == "--hours") {
            Require(accepted, kOptHours, a);
            AddHours(o, r.Value(a));
        } else if (a == "--step" && command == "regulation") {
            plain(a, kOptStep, "Kisei", "kankaku");
        } else if (a == "--step") {
            Require(accepted, kOptStep, a);
            const std::string_view v = r.Value(a);
            // The radio groups offer the first steps of the isochrones' interval table.
            const auto offered = static_cast<int>(std::ranges::count(app::kIntervalItems, '|')) + 1;
            std::string index, steps;
            for (int i = 0; i < offered; ++i) {
                const std::string seconds = std::to_string(shadow::IntervalTable[i]);
                if (v == seconds) index = std::to_string(i);
                steps += (i == 0 ? "" : i + 1 < offered ? ", " : " or ") + seconds;
            }
            if (index.empty())
                throw UsageError(Quoted(a, v) + ": " + steps + " seconds (Touji/" +
                                 StepKey(command) + ")");
            o.sets.push_back({"Touji", StepKey(command), index, "--step " + std::string(v)});
        } else if (a == "--buildings") {
            Require(accepted, kOptBuildings, a);
            o.buildingsText = r.Value(a);
            o.buildings = ParseSelection(o.buildingsText, a);
        } else if (a == "--cad") {
            Require(accepted, kOptDrawing, a);
            const std::string_view v = r.Value(a);
            if (v != "running")
                throw UsageError("--cad \"" + std::string(v) +
                                 "\": running (the CAD running on this computer)");
            o.cadRunning = true;
        } else if (a == "-o" || a == "--output") {
            Require(accepted, kOptOutput, a);
            o.output = std::filesystem::path(r.Value(a));
        } else if (a == "--svg") {
            Require(accepted, kOptOutput, a);
            o.svg = PictureName(a, r.Value(a), ".svg");
        } else if (a == "--png") {
            Require(accepted, kOptOutput, a);
            o.png = PictureName(a, r.Value(a), ".png");
        } else if (a == "--no-clobber") {
            Require(accepted, kOptOutput | kOptCsv, a);
            o.noClobber = true;
        } else if (a == "--background") {
            Require(accepted, kOptOutput, a);
            const std::string_view v = r.Value(a);
            if (v == "white") {
                o.background = Background::White;
            } else if (v == "dark") {
                o.background = Background::Dark;
            } else {
                throw UsageError(Quoted(a, v) + ": white or dark");
            }
        } else if (a == "--size") {
            Require(accepted, kOptOutput, a);
            const std::string_view v = r.Value(a);
            int size = 0;
            if (!TryParseInteger(v, size) || size < 64 || size > 20000)
                throw UsageError(Quoted(a, v) + ": pixels from 64 to 20000");
            o.pictureSize = size;
        } else if (a == "--csv") {
            Require(accepted, kOptCsv, a);
            o.csv = std::filesystem::path(r.Value(a));
        } else if (a == "--point") {
            Require(accepted, kOptPoint, a);
            o.points.push_back(ParsePointOption(r.Value(a), a));
        } else if (a == "--marks") {
            Require(accepted, kOptMarks, a);
            o.marksText = r.Value(a);
            o.marks = ParseSelection(o.marksText, a);
        } else if (a == "--site") {
            Require(accepted, kOptSite, a);
            o.siteText = r.Value(a);
            o.site = ParseSelection(o.siteText, a);
        } else if (a == "--summary") {
            Require(accepted, kOptSummary, a);
            o.summary = ParsePointOption(r.Value(a), a);
        } else if (a == "--place") {
            Require(accepted, kOptPlace, a);
            o.place = ParsePointOption(r.Value(a), a);
        } else if (a == "--center") {
            Require(accepted, kOptCenter, a);
            o.center = ParsePointOption(r.Value(a), a);
        } else if (a == "--wall") {
            Require(accepted, kOptWall, a);
            o.wall = ParsePointOption(r.Value(a), a);
        } else if (a == "--view") {
            Require(accepted, kOptView, a);
            const std::string_view v = r.Value(a);
            const geometry::TAcadPoint p = ParsePointOption(v, a);
            auto step = [&](double d) {
                if (!(d >= 0.0 && d <= 360.0) || std::fmod(d, 5.0) != 0.0)
                    throw UsageError(Quoted(a, v) +
                                     ": turn and tilt in steps of 5 degrees from 0 to 360");
                return static_cast<int>(d);
            };
            o.view = std::pair{step(p.x), step(p.y)};
        } else if (a == "--type") {
            Require(accepted, kOptType, a);
            const std::string_view v = r.Value(a);
            if (v != "A" && v != "B" && v != "a" && v != "b")
                throw UsageError(Quoted(a, v) + ": A or B");
            o.type = static_cast<char>(v[0] & ~0x20);
        } else if (a == "--dms") {
            Require(accepted, kOptRatio, a);
            o.dms = true;
        } else if (a == "--three-decimals") {
            Require(accepted, kOptRatio, a);
            o.threeDecimals = true;
        } else if (a == "--date") {
            Require(accepted, kOptDate, a);
            o.date = ParseDate(a, r.Value(a));
        } else if (a == "--offset") {
            Require(accepted, kOptDate, a);
            const std::string_view v = r.Value(a);
            double days = 0.0;
            if (!TryParseNumber(v, days))
                throw UsageError(Quoted(a, v) + ": days as a number, e.g. -2.5");
            o.offset = std::string(v);
        } else if (a == "--longitude") {
            plain(a, kOptSolarNoon, "Jikoku", "keido");
        } else if (a == "--eot") {
            plain(a, kOptSolarNoon, "Jikoku", "kinjisa");
        } else if (command == "sky-compare" && (a == "--zone" || a == "--limits")) {
            Require(accepted, kOptSkyCompare, a);
            if (a == "--zone") AddSlantZone(o, r.Value(a));
            else AddSlantLimits(o, r.Value(a));
        } else if (a == "--road") {
            Require(accepted, kOptSkyCompare, a);
            o.roads.push_back(ParseRoad(r.Value(a)));
        } else if (a == "--distance") {
            Require(accepted, kOptSkyCompare, a);
            const std::string_view v = r.Value(a);
            double d = 0.0;
            if (!TryParseNumber(v, d) || !(d > 0.0) || !(d < 1000.0))
                throw UsageError(Quoted("--distance", v) +
                                 ": the road limit's applicable distance in metres, above 0");
            o.sets.push_back({"Hikaku", "tekiyou", std::string(v), "--distance " + std::string(v)});
        } else if (a == "--zone") {
            Require(accepted, kOptRegulation, a);
            AddZone(o, r.Value(a));
        } else if (a == "--limits") {
            Require(accepted, kOptRegulation, a);
            AddLimits(o, r.Value(a));
        } else if (a == "--open-side") {
            Require(accepted, kOptRegulation, a);
            o.openSides.push_back(ParseOpenSide(r.Value(a)));
        } else if (a == "--report") {
            Require(accepted, kOptRegulation | kOptSkyCompare, a);
            const std::string_view v = r.Value(a);
            const std::string ext = UpperAscii(std::filesystem::path(v).extension().string());
            if (ext != ".PDF" && ext != ".PNG")
                throw UsageError(Quoted(a, v) +
                                 ": the report is a PDF sheet (or a PNG picture of it): give a "
                                 "name ending in .pdf or .png");
            o.report = std::filesystem::path(v);
        } else if (a == "--tables") {
            Require(accepted, kOptEqTimePlot, a);
            o.tables = std::filesystem::path(r.Value(a));
        } else if (a == "--compare-tables") {
            Require(accepted, kOptEqTimePlot, a);
            o.compareTables = true;
        } else if (a == "--formula") {
            Require(accepted, kOptEqTimePlot, a);
            o.formula = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + std::string(a));
        } else if (!o.drawing) {
            o.drawing = std::filesystem::path(a);
        } else {
            throw UsageError("one drawing only (\"" + std::string(a) + "\" is a second one)");
        }
    }
    if (o.zone && o.limits) throw UsageError("--zone or --limits, not both");
    return o;
}

Lang MessageLanguage(const std::vector<std::string_view> &args) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] != "--lang") continue;
        if (args[i + 1] == "ja") return Lang::Ja;
        if (args[i + 1] == "en") return Lang::En;
    }
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *v = std::getenv(name);
        if (v && *v) return std::string_view(v).starts_with("ja") ? Lang::Ja : Lang::En;
    }
    return Lang::En;
}

std::string CommonOptionsHelp(unsigned accepted, std::string_view command) {
    std::string h;
    if (accepted & kOptBuildings) {
        h += "  --buildings SEL        the building entities; without it the layers of\n"
             "                         Layer/Tatemono in the settings (no default: `pimu layers\n"
             "                         DRAWING.dxf` lists the layers and their buildings)\n"
             "                         SEL: all | layer:NAME[,NAME] | window:X1,Y1,X2,Y2 |\n"
             "                         crossing:X1,Y1,X2,Y2 | handle:H[,H] | type:NAME[,NAME],\n"
             "                         several joined by '+'\n";
    }
    if (accepted & kOptOutput) {
        h += "  -o, --output FILE      the drawing with the results (default: here, named after\n"
             "                         the drawing, e.g. site.dxf gives site-" +
             std::string(command) + ".dxf)\n" +
             "  --svg FILE.svg, --png FILE.png  a picture of the result drawing\n"
             "  --background white|dark  the picture's background (default white)\n"
             "  --size PIXELS          the picture's longer side (default 1600)\n";
        if (!PicturesAvailable())
            h += "                         (no pictures in this build: --svg and --png fail)\n";
        h +=
            RunningCadAvailable()
                ? "  --cad running          instead of DRAWING.dxf, the active drawing of the CAD\n"
                  "                         running on this computer (Target/ProgID); the\n"
                  "                         buildings and points are picked in the CAD\n"
                : "  --cad running          (Windows build only) the running CAD's drawing\n";
    }
    if (accepted & kOptCsv) h += "  --csv FILE             the table as CSV (UTF-8)\n";
    if (accepted & (kOptOutput | kOptCsv))
        h += "  --no-clobber           refuse to replace an output that exists\n";
    if (accepted & kOptLatitude)
        h += "  --latitude D[,M[,S]]   latitude: degrees, minutes, seconds   Common/ido1..3\n";
    if (accepted & kOptSeason)
        h += "  --season winter|equinox|summer  the day                     Common/kisetsu\n";
    if (accepted & kOptNorth)
        h += "  --north DEG            north in the drawing, ccw from +x     Common/makita\n";
    if (accepted & kOptTimes) {
        h += "  --start HOUR           first hour (8.5 = 8:30)               Jikoku/kaishi\n"
             "  --end HOUR             last hour                             Jikoku/owari\n";
    }
    if (accepted & kOptInterval)
        h += "  --interval HOURS       time step                             Jikoku/kankaku\n";
    if (accepted & kOptPlane)
        h += "  --plane-height M       measurement plane height, metres      " + PlaneKey(command) +
             "\n";
    if (accepted & kOptVolumes)
        h += "  --volumes-on-ground    raised volumes reach down to the ground   Common/Jimen\n";
    if (accepted & kOptTextHeight)
        h += "  --text-height MM       label height in drawing units         Common/takasa2\n";
    if (accepted & kOptHours)
        h += "  --hours H[,H...]       isochrones to draw, 1.5 to 8.0        Touji/chk0..13\n";
    if ((accepted & kOptStep) && command == "regulation")
        h += "  --step MIN             sampling step, minutes (default 1)    Kisei/kankaku\n";
    else if (accepted & kOptStep)
        h += "  --step 10|30|60        evaluation interval, seconds          Touji/" +
             StepKey(command) + "\n";
    h += "  --settings FILE        settings file to read instead of the program folder's\n"
         "  --set SECTION/KEY=VALUE  override one setting (repeatable), e.g. --set "
         "Common/ido1=35\n"
         "                         (`pimu settings` lists every key)\n"
         "  --workdir DIR          program folder for the DXF files Pimu writes\n"
         "  --lang en|ja           language of pimu's own messages\n"
         "  --verbose              show the CAD's command-line prompts\n"
         "  -h, --help             this help\n";
    return h;
}

}  // namespace pimu::cli
