// The command line's own pieces: SEL texts, point options, tables, CSV and pictures.
#include <gtest/gtest.h>

#include <cairo.h>

#include <csignal>
#include <numbers>
#include "cadlink/embedded/dxfio.h"

#include "cli/cli_host.h"
#include "cli/options.h"
#include "cli/render.h"
#include "cli/selection.h"
#include "cli/settings_keys.h"
#include "cli/tables.h"
#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using cadlink::embedded::EntityData;
using cadlink::embedded::EntityQuery;
using testing::Scratch;

// cairo and fontconfig keep caches for the life of the process; free them before the leak check.
class RenderCaches : public ::testing::Environment {
public:
    void TearDown() override { ReleaseRenderCaches(); }
};
const auto *const kRenderCaches = ::testing::AddGlobalTestEnvironment(new RenderCaches);

TEST(Selection, FormsAndUnions) {
    Selection s = ParseSelection("layer:建物,隣地建物+window:0,0,10.5,-20", "--buildings");
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].kind, EntityQuery::Kind::Layer);
    EXPECT_EQ(s[0].text, "建物");
    EXPECT_EQ(s[1].text, "隣地建物");
    EXPECT_EQ(s[2].kind, EntityQuery::Kind::Window);
    EXPECT_DOUBLE_EQ(s[2].p2.x, 10.5);
    EXPECT_DOUBLE_EQ(s[2].p2.y, -20.0);
    EXPECT_EQ(ParseSelection("all", "--site")[0].kind, EntityQuery::Kind::All);
    EXPECT_EQ(ParseSelection("handle:1A,2B", "--marks")[0].kind, EntityQuery::Kind::Handles);
    EXPECT_EQ(ParseSelection("crossing:1,2,3,4", "--marks")[0].kind, EntityQuery::Kind::Crossing);
}

TEST(Selection, RefusesWhatIsNotASelection) {
    for (const char *bad : {"", "everything", "layer:", "layer:a,,b", "window:1,2,3",
                            "window:1,2,3,x", "circle:1", "all+", "+all"}) {
        try {
            ParseSelection(bad, "--buildings");
            ADD_FAILURE() << bad;
        } catch (const UsageError &e) {
            EXPECT_NE(std::string(e.what()).find("--buildings"), std::string::npos) << bad;
        }
    }
}

TEST(Selection, Points) {
    const auto p = ParsePointOption("1.5,-2", "--place");
    EXPECT_DOUBLE_EQ(p.x, 1.5);
    EXPECT_DOUBLE_EQ(p.y, -2.0);
    EXPECT_DOUBLE_EQ(ParsePointOption("1,2,3", "--place").z, 3.0);
    for (const char *bad : {"1", "1,2,3,4", "1;2", "a,b", "1,,2", "1,2,"})
        EXPECT_THROW(ParsePointOption(bad, "--place"), UsageError) << bad;
}

// --wall X,Y answers the pick with the LINE under the point, as a click on it would.
TEST(Selection, LineUnderAPoint) {
    const auto drawing = cadlink::embedded::OpenDxf(testing::kExample);
    const auto handle = LineHandleAt(drawing, {35000, 62000.4, 0});
    ASSERT_TRUE(handle.has_value());
    const auto id = drawing.FindHandle(*handle);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(drawing.Get(*id).layer, "壁面");
    EXPECT_FALSE(LineHandleAt(drawing, {35000, 63000, 0}).has_value());
}

TEST(Options, WhichCommandTakesWhat) {
    const Options o = ParseOptions(
        {"d.dxf", "--point", "1,2", "--point", "3,4", "--set", "Common/ido1=35", "-o", "r.dxf"},
        kOptDrawing | kOptPoint);
    EXPECT_EQ(o.drawing->string(), "d.dxf");
    EXPECT_EQ(o.points.size(), 2u);
    ASSERT_EQ(o.sets.size(), 1u);
    EXPECT_EQ(o.sets[0].section, "Common");
    EXPECT_EQ(o.sets[0].key, "ido1");
    EXPECT_EQ(o.sets[0].value, "35");
    EXPECT_THROW(ParseOptions({"--point", "1,2"}, kOptDrawing), UsageError);
    EXPECT_THROW(ParseOptions({"a.dxf", "b.dxf"}, kOptDrawing), UsageError);
    EXPECT_THROW(ParseOptions({"--svg"}, kOptDrawing), UsageError);
    EXPECT_THROW(ParseOptions({"--set", "ido1=35"}, kOptDrawing), UsageError);
    EXPECT_THROW(ParseOptions({"--type", "C"}, kOptType), UsageError);
    EXPECT_THROW(ParseOptions({"--frobnicate"}, kOptDrawing), UsageError);
}

// A plain option is its settings key, in the order given, remembering what the user typed.
TEST(Options, PlainOptionsAreSettingsKeys) {
    const Options o = ParseOptions(
        {"--start", "9", "--latitude", "35,41", "--step", "10", "--hours", "8.0", "--png", "a.PNG"},
        kOptTimes | kOptLatitude | kOptStep | kOptHours | kOptOutput, "isochrone");
    ASSERT_EQ(o.sets.size(), 1u + 3u + 1u + 14u);
    EXPECT_EQ(o.sets[0].key, "kaishi");
    EXPECT_EQ(o.sets[0].origin, "--start 9");
    EXPECT_EQ(o.sets[3].key, "ido3");
    EXPECT_EQ(o.sets[3].value, "0");
    EXPECT_EQ(o.sets[4].key, "kankaku2");
    EXPECT_EQ(o.sets[4].value, "0");
    EXPECT_EQ(o.sets[5].key, "chk0");
    EXPECT_EQ(o.sets[5].value, "0");
    EXPECT_EQ(o.sets.back().key, "chk13");
    EXPECT_EQ(o.sets.back().value, "1");
    EXPECT_EQ(ParseOptions({"--step", "60"}, kOptStep, "wall").sets[0].key, "kankaku3");
    for (const std::vector<std::string_view> &bad :
         {std::vector<std::string_view>{"--png", "a.svg"},
          {"--svg", "a.png"},
          {"--latitude", "35°41"},
          {"--latitude", "35,41,0,0"},
          {"--hours", "9"},
          {"--hours", "2.25"},
          {"--step", "30s"},
          {"--interval", "1"},
          {"--lang", "fr"}})
        EXPECT_THROW(
            ParseOptions(bad, kOptTimes | kOptLatitude | kOptStep | kOptHours | kOptOutput),
            UsageError)
            << bad[0] << " " << bad[1];
}

// What `pimu settings` says of a key comes from the control table and the command table: every
// key of the window has a meaning, is read as its control reads it, and names the subcommands
// whose results it changes.
TEST(SettingKeys, DescribedByTheControlAndCommandTables) {
    for (const SettingKey &k : SettingKeys()) EXPECT_FALSE(k.what.empty()) << k.Name();
    struct Case {
        const char *section, *key;
        SettingKind kind;
        const char *field, *changes, *option;
    };
    for (const Case &c : std::vector<Case>{
             {"Common", "ido1", SettingKind::Number, "緯度 度", "shadow", "--latitude D,M,S"},
             {"Jikoku", "Ana", SettingKind::Switch, "時刻日影図に日影の穴（囲まれた日なた）も作図",
              "shadow", ""},
             {"Touji", "kankaku10", SettingKind::Switch, "等時間の評価時間を 1/10 に",
              "isochrone, points", ""},
             {"Kisei", "douro", SettingKind::Number, "道路等の幅 ｍ", "regulation",
              "--open-side X,Y,WIDTH (per side)"},
             {"Touji", "chk3", SettingKind::Switch, "3.0Hr", "isochrone", "--hours"},
             {"Touji", "kankaku3", SettingKind::Choice, "評価時間", "wall", "--step (wall)"},
             {"Layer", "Jikoku", SettingKind::Text, "時刻", "shadow", ""},
             {"Tenku", "Hatch", SettingKind::Number, "ﾊｯﾁ", "sky", ""},
             {"Target", "ProgID", SettingKind::Text, "", "", ""},
         }) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        const SettingKey *k = FindSettingKey(c.section, c.key);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->kind, c.kind);
        EXPECT_EQ(k->field, c.field);
        EXPECT_NE(k->commands.find(c.changes), std::string::npos) << k->commands;
        EXPECT_EQ(k->commands.empty(), *c.changes == 0) << k->commands;
        EXPECT_EQ(k->option, c.option);
        EXPECT_EQ(k->what.find("kept for the window"), std::string::npos);
    }
}

TEST(Tables, AlignsWideCharactersAndQuotesCsv) {
    EXPECT_EQ(DisplayWidth("abc"), 3);
    EXPECT_EQ(DisplayWidth("番号"), 4);
    EXPECT_EQ(DisplayWidth("ｱﾆﾒ"), 3);  // half-width katakana
    Scratch dir;
    {
        std::FILE *f = std::fopen((dir / "t.txt").c_str(), "w");
        PrintTable(f, {{"番号", "X"}, {"1", "12.5"}});
        std::fclose(f);
    }
    EXPECT_EQ(dir.Read("t.txt"), "番号  X\n1     12.5\n");
    WriteCsv(dir / "t.csv", {{"a,b", "say \"hi\"", "日影"}, {"1", "", "2"}});
    EXPECT_EQ(dir.Read("t.csv"), "\"a,b\",\"say \"\"hi\"\"\",日影\r\n1,,2\r\n");
}

TEST(Render, ColoursFollowTheBackground) {
    EXPECT_DOUBLE_EQ(AciColor(7, Background::White).r, 0.0);
    EXPECT_DOUBLE_EQ(AciColor(7, Background::Dark).r, 1.0);
    const Rgb red = AciColor(1, Background::White);
    EXPECT_EQ(red.r, 1.0);
    EXPECT_EQ(red.g + red.b, 0.0);
    const Rgb orange = AciColor(30, Background::White);  // hue 30 degrees
    EXPECT_DOUBLE_EQ(orange.r, 1.0);
    EXPECT_DOUBLE_EQ(orange.g, 0.5);
}

// The example drawing as PNG and SVG: the picture fits the drawing and is not blank.
TEST(Render, ExampleDrawing) {
    const auto drawing = cadlink::embedded::OpenDxf(testing::kExample);
    Scratch dir;
    RenderOptions options;
    options.widthPixels = 400;
    RenderDrawing(drawing, dir / "site.png", PictureFormat::Png, options);
    RenderDrawing(drawing, dir / "site.svg", PictureFormat::Svg, options);
    const std::string png = dir.Read("site.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) |
               (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) |
               static_cast<unsigned char>(png[at + 3]);
    };
    // The site is a little taller than wide: 400 pixels high, less wide.
    EXPECT_EQ(be32(20), 400u);
    EXPECT_LT(be32(16), 400u);
    EXPECT_GT(be32(16), 300u);
    const std::string svg = dir.Read("site.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("glyph"), std::string::npos);  // texts are drawn as glyphs

    cadlink::embedded::Drawing empty;
    EXPECT_THROW(RenderDrawing(empty, dir / "empty.png", PictureFormat::Png), RenderError);
    EXPECT_THROW(RenderDrawing(drawing, dir / "no" / "such" / "x.png", PictureFormat::Png),
                 RenderError);
}

// Block references: the contents placed, rotated and scaled, BYBLOCK taking the reference's
// colour. Checked on the pixels where the placed lines must land.
TEST(Render, BlockReferencesArePlaced) {
    using cadlink::embedded::EntityKind;
    cadlink::embedded::Drawing d;
    auto add = [&](EntityData e, const std::string &owner = "") { d.Add(std::move(e), owner); };
    EntityData point;
    point.kind = EntityKind::Point;
    add(point);
    point.p1 = {1000, 1000, 0};
    add(point);
    d.AddBlock("B", {0, 0, 0});
    EntityData red;
    red.kind = EntityKind::Line;
    red.color = 1;
    red.p2 = {100, 0, 0};
    add(red, "B");
    EntityData byBlock = red;
    byBlock.color = 0;
    byBlock.p2 = {0, -100, 0};
    add(byBlock, "B");
    EntityData insert;
    insert.kind = EntityKind::Insert;
    insert.blockName = "B";
    insert.p1 = {500, 500, 0};
    insert.sx = insert.sy = insert.sz = 2.0;
    insert.rotation = std::numbers::pi / 2;
    insert.color = 3;
    add(insert);

    Scratch dir;
    RenderOptions options;
    options.widthPixels = 400;
    RenderDrawing(d, dir / "b.png", PictureFormat::Png, options);
    cairo_surface_t *png = cairo_image_surface_create_from_png((dir / "b.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(png), 400);
    const unsigned char *data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    // The strongest tint of one colour over a few pixels (ARGB32 in native order).
    auto tint = [&](int x, int y, int channel) {
        int best = -255;
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy) {
                const auto *px =
                    reinterpret_cast<const std::uint32_t *>(data + (y + dy) * stride) + (x + dx);
                const int c[3] = {static_cast<int>((*px >> 16) & 0xFF),
                                  static_cast<int>((*px >> 8) & 0xFF),
                                  static_cast<int>(*px & 0xFF)};
                best = std::max(best, c[channel] - (c[0] + c[1] + c[2] - c[channel]) / 2);
            }
        }
        return best;
    };
    // 400 pixels for 1000 units with a 12-pixel margin: 0.376 pixels a unit, y upwards.
    auto px = [](double x) { return static_cast<int>(12 + x * 0.376); };
    auto py = [](double y) { return static_cast<int>(400 - 12 - y * 0.376); };
    EXPECT_GT(tint(px(500), py(600), 0), 60);  // red: (500,500)-(500,700)
    EXPECT_GT(tint(px(600), py(500), 1), 60);  // green: (500,500)-(700,500)
    EXPECT_LT(tint(px(400), py(500), 0), 10);  // nothing where the unrotated block would be
    cairo_surface_destroy(png);
}

std::string Contents(std::FILE *f) {
    std::fflush(f);
    std::rewind(f);
    std::string out;
    for (int c; (c = std::fgetc(f)) != EOF;) out += static_cast<char>(c);
    return out;
}

// Message boxes, prompts and the progress bar on stderr.
TEST(CliHost, MessagesPromptsProgress) {
    std::FILE *err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
        CliUiHost host(err);
        host.SetProgressShown(false);
        std::vector<std::string> prompts = {"建物図形を選択して下さい.\r\n"};
        host.Observe({[] { return std::pair{10, 5}; }, [&] { return &prompts; }, nullptr});
        host.MessageBox("Form1", "Pimu2024 Beta", "一行目\n二行目", app::MessageButtons::Ok);
        EXPECT_EQ(
            host.MessageBox("Form1", "Pimu2024 Beta", "続けますか", app::MessageButtons::YesNo),
            app::MessageResult::Yes);
        host.ProcessPendingEvents();  // not a terminal: no bar; not verbose: no prompts
        EXPECT_EQ(host.messages().size(), 2u);
    }
    EXPECT_EQ(Contents(err), "Pimu: 一行目\n      二行目\nPimu: 続けますか [はい]\n");
    std::fclose(err);

    err = std::tmpfile();
    {
        CliUiHost host(err);
        host.SetProgressShown(true);
        host.SetVerbose(true);
        std::vector<std::string> prompts = {"選択して下さい.\r\n"};
        host.Observe({[] { return std::pair{4, 2}; }, [&] { return &prompts; }, nullptr});
        host.ProcessPendingEvents();
        host.Flush();
    }
    const std::string shown = Contents(err);
    EXPECT_NE(shown.find("CAD: 選択して下さい.\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find(" 50%"), std::string::npos) << shown;
    std::fclose(err);
}

// Ctrl-C is the stop button: the next pending-events call stops the command, once.
TEST(CliHost, InterruptStopsTheCommand) {
    std::FILE *err = std::tmpfile();
    CliUiHost host(err);
    int stops = 0;
    host.Observe({nullptr, nullptr, [&] { ++stops; }});
    host.CatchInterrupt();
    host.ProcessPendingEvents();
    EXPECT_EQ(stops, 0);
    std::raise(SIGINT);
    EXPECT_TRUE(host.Interrupted());
    host.ProcessPendingEvents();
    host.ProcessPendingEvents();
    EXPECT_EQ(stops, 1);
    std::fclose(err);
}

}  // namespace
}  // namespace pimu::cli
