#include "cli/commands.h"

#include <algorithm>

#include "cli/layers.h"
#include "base/quote.h"

// Adding a subcommand when its command exists in the window model:
//  1. write `int Name(Session &s)` below: OpenDrawing(), Acquire() if it needs the buildings,
//     queue the user's answers from the options (s.input().Point / Place / Select / Entity, in
//     the order the handler asks; LineHandleAt turns --wall X,Y into the picked LINE), set the
//     tab's controls the options stand for, RunCommand() the window model's command (add it to
//     app::FormCommand when it is new), then EmitTable() for a grid and return FinishDrawing()
//     (or Status() for a command that draws nothing);
//  2. put the function into its entry of kSubcommands (run), whose options are already listed;
//  3. add it to examples/run-example.sh (it runs only what is available) and a test in
//     tests/cli comparing the saved drawing with what the window model draws.
namespace pimu::cli {
namespace {

// ---- The subcommands ---------------------------------------------------------------------

int Shadow(Session &s) {
    s.OpenDrawing();
    s.Acquire();
    s.RunCommand(app::FormCommand::TimeOfDay);
    return s.FinishDrawing();
}

int Isochrone(Session &s) {
    s.OpenDrawing();
    s.Acquire();
    s.RunCommand(app::FormCommand::Isochrone);
    return s.FinishDrawing();
}

// Turns the preview as the user does, one click of the up-down buttons (5 degrees) at a time.
void TurnPreview(app::TForm1 &f, int turn, int tilt) {
    for (int i = 0; i < 80 && f.GB_Draw3dHdeg != turn; ++i) f.UpDown3Click(app::UpDownButton::Next);
    for (int i = 0; i < 80 && f.GB_Draw3dVdeg != tilt; ++i) f.UpDown4Click(app::UpDownButton::Next);
}

int Preview(Session &s) {
    const Options &o = s.options();
    if (!o.svg && !o.png && !o.place)
        throw UsageError("the preview is a picture: give --svg FILE, --png FILE or --place X,Y");
    app::TForm1 &f = s.form();
    s.OpenDrawing();
    s.Acquire();
    if (o.view) s.Command([&] { TurnPreview(f, o.view->first, o.view->second); });
    s.WritePreview();
    if (!o.place) return s.Status();
    s.input().Place(*o.place);
    s.RunCommand(app::FormCommand::PreviewToDrawing);
    return s.FinishDrawing(false);
}

int RatioTable(Session &s) {
    app::TForm1 &f = s.form();
    const Options &o = s.options();
    if (o.drawing && !o.place)
        throw UsageError("with a drawing, --place X,Y says where the table goes");
    if (o.dms) f.CheckBox14.checked = true;
    if (o.threeDecimals) f.CheckBox15.checked = true;
    if (!s.Run([&] { f.RunCommand(app::FormCommand::RatioTable); })) return 1;
    s.EmitTable(TabRows(f.Memo1.lines));
    if (!o.drawing) return 0;
    s.OpenDrawing();
    s.input().Place(*o.place);
    s.RunCommand(app::FormCommand::RatioTableToDrawing);
    return s.FinishDrawing();
}

// The layers of the drawing and the closed shapes with thickness (buildings) on each.
int Layers(Session &s) {
    s.OpenDrawing();
    s.EmitTable(LayerRows(CountLayers(s.document().drawing()), s.lang()));
    if (s.entitiesAtOpen() == 0)
        s.host().Say(Tr(s.lang(), "the drawing has no entities in model space",
                        "モデル空間に図形がありません"));
    return 0;
}

int Settings(Session &s) {
    s.EmitTable(s.SettingsRows());
    return 0;
}

// ---- The table -----------------------------------------------------------------------------

constexpr unsigned kDrawingOptions = kOptDrawing;
constexpr unsigned kSettingOptions =
    kOptSun | kOptTimes | kOptInterval | kOptPlane | kOptTextHeight | kOptHours | kOptStep;

constexpr Subcommand kSubcommands[] = {
    {"shadow", "time-of-day shadow diagram",
     "Acquires the buildings (--buildings) and draws the outline of their shadow on the\n"
     "measurement plane at every time step (Jikoku/kaishi, owari, kankaku; Common/takasa).",
     kDrawingOptions | kOptSun | kOptTimes | kOptInterval | kOptPlane | kOptTextHeight,
     DrawingUse::Required, Shadow},
    {"isochrone", "isochronal shadow diagram",
     "Acquires the buildings and draws the lines shaded for 1.5 to 8.0 hours on the\n"
     "measurement plane (Touji/chk0..13 choose the hours, Touji/kankaku2 the interval).",
     kDrawingOptions | kOptSun | kOptTimes | kOptPlane | kOptTextHeight | kOptHours | kOptStep,
     DrawingUse::Required, Isochrone},
    {"wall", "wall shadow lines and wall isochrones",
     "Acquires the buildings, picks the wall LINE through --wall X,Y and draws the wall's\n"
     "shadow lines and isochrones as an elevation.",
     kDrawingOptions | kOptWall | kOptSun | kOptTimes | kOptTextHeight | kOptStep,
     DrawingUse::Required, nullptr},
    {"points", "shadow times of specific points",
     "Acquires the buildings, takes the points (--point X,Y repeated, or the marks chosen by\n"
     "--marks SEL), computes when each is in shadow and prints the point grid;\n"
     "--summary X,Y places the summary block.",
     kDrawingOptions | kOptPoint | kOptMarks | kOptSummary | kOptCsv | kOptSun | kOptTimes |
         kOptStep,
     DrawingUse::Required, nullptr},
    {"sky", "sky map of one point",
     "Acquires the buildings and draws the sky map of --point X,Y, type --type A|B,\n"
     "placed at --place X,Y.",
     kDrawingOptions | kOptPoint | kOptType | kOptPlace | kOptNorth, DrawingUse::Required, nullptr},
    {"sky-list", "sky factors of many points (再計算)",
     "Acquires the buildings, takes the measurement points (--point X,Y repeated, or --marks\n"
     "SEL) and computes their sky factors; prints the point list.",
     kDrawingOptions | kOptPoint | kOptMarks | kOptCsv | kOptNorth, DrawingUse::Required, nullptr},
    {"sky-batch", "sky maps of all points in a row",
     "As sky-list, then draws the sky map of every point in a row starting at --center X,Y,\n"
     "type --type A|B.",
     kDrawingOptions | kOptPoint | kOptMarks | kOptCsv | kOptCenter | kOptType | kOptNorth,
     DrawingUse::Required, nullptr},
    {"boundary", "deemed boundary lines",
     "Draws the deemed boundary lines offset from the site outline chosen by --site SEL.",
     kDrawingOptions | kOptSite, DrawingUse::Required, nullptr},
    {"ratio-table", "the shadow ratio table",
     "Prints the shadow ratio table of the winter solstice at the set latitude (--latitude\n"
     "or Common/ido1..3). --dms shows angles in degrees, minutes and seconds,\n"
     "--three-decimals three decimals; with DRAWING.dxf, --place X,Y draws it there.",
     kOptOutput | kOptRatio | kOptPlace | kOptCsv | kOptLatitude | kOptTextHeight,
     DrawingUse::Optional, RatioTable},
    {"preview", "wireframe of the acquired buildings",
     "Acquires the buildings and writes the wireframe the window previews to --svg / --png\n"
     "(turned and tilted by --view H,V, default 315,60); --place X,Y also draws it into the\n"
     "drawing as a block placed there (saved to -o).",
     kDrawingOptions | kOptView | kOptPlace | kOptNorth, DrawingUse::Required, Preview},
    {"layers", "the drawing's layers and the buildings on each",
     "Prints every layer of the drawing with its model-space entities and the closed\n"
     "polylines and circles with thickness on it (what --buildings layer:NAME would take).",
     kOptCsv, DrawingUse::Required, Layers},
    {"settings", "every settings key with its value, default and meaning",
     "Prints every key of the settings file with the value this run would use (from the\n"
     "settings file, --set and the plain options), its default, what it does and the\n"
     "option that sets it.",
     kOptCsv | kSettingOptions, DrawingUse::None, Settings},
};

void PrintUsage(std::FILE *f) {
    std::fprintf(f,
                 "usage: pimu COMMAND DRAWING.dxf [options]\n"
                 "       pimu COMMAND --help    the options of one command\n"
                 "       pimu --version\n\ncommands:\n");
    for (const Subcommand &c : kSubcommands) {
        std::fprintf(f, "  %-12.*s %.*s%s\n", static_cast<int>(c.name.size()), c.name.data(),
                     static_cast<int>(c.summary.size()), c.summary.data(),
                     c.run ? "" : " (not available yet)");
    }
    std::fprintf(f, "\noptions of every command:\n%s", CommonOptionsHelp(0).c_str());
}

void PrintHelp(std::FILE *f, const Subcommand &c) {
    const char *drawing = c.drawing == DrawingUse::Required   ? " DRAWING.dxf"
                          : c.drawing == DrawingUse::Optional ? " [DRAWING.dxf]"
                                                              : "";
    std::fprintf(f, "usage: pimu %.*s%s [options]\n\n%.*s\n", static_cast<int>(c.name.size()),
                 c.name.data(), drawing, static_cast<int>(c.details.size()), c.details.data());
    if (!c.run) std::fprintf(f, "(not available yet in this version of Pimu)\n");
    std::fprintf(f, "\noptions:\n");
    struct Own {
        unsigned bit;
        const char *text;
    };
    static constexpr Own kOwn[] = {
        {kOptPoint, "  --point X,Y            a point (repeatable)\n"},
        {kOptMarks, "  --marks SEL            the point marks (circles and number texts)\n"},
        {kOptSummary, "  --summary X,Y          where the summary block goes\n"},
        {kOptType, "  --type A|B             the sky map type\n"},
        {kOptPlace, "  --place X,Y            where the drawing is placed\n"},
        {kOptCenter, "  --center X,Y           the centre of the first map\n"},
        {kOptWall, "  --wall X,Y             a point on the wall's LINE\n"},
        {kOptSite, "  --site SEL             the site outline\n"},
        {kOptRatio, "  --dms, --three-decimals  the table's number form\n"},
        {kOptView, "  --view H,V             preview turn and tilt in degrees (steps of 5)\n"},
    };
    for (const Own &o : kOwn)
        if (c.options & o.bit) std::fputs(o.text, f);
    std::fputs(CommonOptionsHelp(c.options, c.name).c_str(), f);
}

}  // namespace

std::span<const Subcommand> Subcommands() {
    return kSubcommands;
}

const Subcommand *FindSubcommand(std::string_view name) {
    for (const Subcommand &c : kSubcommands)
        if (c.name == name) return &c;
    return nullptr;
}

int RunCommandLine(const std::vector<std::string_view> &args, std::FILE *out, std::FILE *err) {
    if (args.empty()) {
        PrintUsage(err);
        return 2;
    }
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        PrintUsage(out);
        return 0;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::fprintf(out, "pimu %s\n", PIMU_VERSION);
        return 0;
    }
    const Subcommand *c = FindSubcommand(args[0]);
    if (!c) {
        PrintMessage(err, "unknown command " + std::string(args[0]));
        PrintUsage(err);
        return 2;
    }
    const std::string name(c->name);
    try {
        Options o = ParseOptions({args.begin() + 1, args.end()}, c->options, c->name);
        if (o.help) {
            PrintHelp(out, *c);
            return 0;
        }
        if (!c->run) {
            PrintMessage(err, "pimu " + name + ": not available yet in this version of Pimu");
            return 2;
        }
        if (c->drawing == DrawingUse::Required && !o.drawing)
            throw UsageError("which drawing? (pimu " + name + " DRAWING.dxf)");
        if (c->drawing == DrawingUse::None && o.drawing) throw UsageError("takes no drawing");
        if (!o.drawing && (o.place || o.output || o.svg || o.png))
            throw UsageError("--place, -o, --svg and --png need a drawing");
        Session session(name, std::move(o), out, err);
        return c->run(session);
    } catch (const UsageError &e) {
        PrintMessage(err, "pimu " + name + ": " + e.what() + "\n(pimu " + name +
                              Tr(MessageLanguage(args), " --help shows the options)",
                                 " --help でオプションを表示します)"));
        return 2;
    } catch (const std::exception &e) {
        PrintMessage(err, "pimu " + name + ": " + e.what());
        return 1;
    }
}

}  // namespace pimu::cli
