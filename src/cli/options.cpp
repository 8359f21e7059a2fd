#include "cli/options.h"

#include <cmath>

#include "base/numconv.h"
#include "cli/running_cad.h"

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

SettingOverride ParseSet(std::string_view text) {
    const size_t slash = text.find('/');
    const size_t eq = text.find('=');
    if (slash == std::string_view::npos || eq == std::string_view::npos || eq < slash ||
        slash == 0 || eq == slash + 1) {
        throw UsageError("--set \"" + std::string(text) + "\": expected SECTION/KEY=VALUE");
    }
    return {std::string(text.substr(0, slash)), std::string(text.substr(slash + 1, eq - slash - 1)),
            std::string(text.substr(eq + 1))};
}

void Require(unsigned accepted, unsigned bit, std::string_view option) {
    if (!(accepted & bit)) throw UsageError("this command does not take " + std::string(option));
}

}  // namespace

Options ParseOptions(const std::vector<std::string_view> &args, unsigned accepted) {
    Options o;
    o.buildings = ParseSelection("all", "--buildings");
    Reader r{args};
    for (; r.i < args.size(); ++r.i) {
        const std::string_view a = args[r.i];
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else if (a == "--settings") {
            o.settings = std::filesystem::path(r.Value(a));
        } else if (a == "--set") {
            o.sets.push_back(ParseSet(r.Value(a)));
        } else if (a == "--workdir") {
            o.workdir = std::filesystem::path(r.Value(a));
        } else if (a == "--latitude") {
            o.latitude = std::string(r.Value(a));
        } else if (a == "--season") {
            const std::string_view v = r.Value(a);
            if (v == "winter" || v == "冬至") {
                o.season = 0;
            } else if (v == "equinox" || v == "秋春") {
                o.season = 1;
            } else if (v == "summer" || v == "夏至") {
                o.season = 2;
            } else {
                throw UsageError("--season \"" + std::string(v) + "\": winter, equinox or summer");
            }
        } else if (a == "--buildings") {
            Require(accepted, kOptDrawing, a);
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
            Require(accepted, kOptDrawing, a);
            o.output = std::filesystem::path(r.Value(a));
        } else if (a == "--svg") {
            Require(accepted, kOptDrawing, a);
            o.svg = std::filesystem::path(r.Value(a));
        } else if (a == "--png") {
            Require(accepted, kOptDrawing, a);
            o.png = std::filesystem::path(r.Value(a));
        } else if (a == "--background") {
            Require(accepted, kOptDrawing, a);
            const std::string_view v = r.Value(a);
            if (v == "white") {
                o.background = Background::White;
            } else if (v == "dark") {
                o.background = Background::Dark;
            } else {
                throw UsageError("--background \"" + std::string(v) + "\": white or dark");
            }
        } else if (a == "--size") {
            Require(accepted, kOptDrawing, a);
            const std::string_view v = r.Value(a);
            int size = 0;
            if (!TryParseInteger(v, size) || size < 64 || size > 20000)
                throw UsageError("--size \"" + std::string(v) + "\": pixels from 64 to 20000");
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
                    throw UsageError("--view \"" + std::string(v) +
                                     "\": turn and tilt in steps of 5 degrees from 0 to 360");
                return static_cast<int>(d);
            };
            o.view = std::pair{step(p.x), step(p.y)};
        } else if (a == "--type") {
            Require(accepted, kOptType, a);
            const std::string_view v = r.Value(a);
            if (v != "A" && v != "B" && v != "a" && v != "b")
                throw UsageError("--type \"" + std::string(v) + "\": A or B");
            o.type = static_cast<char>(v[0] & ~0x20);
        } else if (a == "--dms") {
            Require(accepted, kOptRatio, a);
            o.dms = true;
        } else if (a == "--three-decimals") {
            Require(accepted, kOptRatio, a);
            o.threeDecimals = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + std::string(a));
        } else if (!o.drawing) {
            o.drawing = std::filesystem::path(a);
        } else {
            throw UsageError("one drawing only (\"" + std::string(a) + "\" is a second one)");
        }
    }
    return o;
}

std::string CommonOptionsHelp(unsigned accepted) {
    std::string h;
    if (accepted & kOptDrawing) {
        h += "  --buildings SEL        the building entities (default all)\n"
             "                         SEL: all | layer:NAME[,NAME] | window:X1,Y1,X2,Y2 |\n"
             "                         crossing:X1,Y1,X2,Y2 | handle:H[,H] | type:NAME[,NAME],\n"
             "                         several joined by '+'\n"
             "  -o, --output FILE      the drawing with the results (default DRAWING-pimu.dxf)\n"
             "  --svg FILE, --png FILE a picture of the result drawing\n"
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
    h += "  --settings FILE        settings file to read instead of the program folder's\n"
         "  --set SECTION/KEY=VALUE  override one setting (repeatable), e.g. --set "
         "Common/ido1=35\n"
         "  --latitude D[,M[,S]]   latitude in degrees, minutes, seconds (Common/ido1..3)\n"
         "  --season winter|equinox|summer  the day (Common/kisetsu)\n"
         "  --workdir DIR          program folder for the DXF files Pimu writes\n"
         "  --verbose              show the CAD's command-line prompts\n"
         "  -h, --help             this help\n";
    return h;
}

}  // namespace pimu::cli
