// `pimu regulation` as a user runs it on the bundled example: the exit statuses, the printed
// table, the CSV, the report sheet and the refusals.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "boundary/kyoukaisen.h"
#include "cadlink/embedded/dxfio.h"
#include "cli/regulation_report.h"
#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;
namespace fs = std::filesystem;

const std::string kSettings = (kSource / "examples" / "pimu.ini").string();

std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> args = {"regulation", kExample.string(), "--settings",
                                     kSettings,    "--lang",          "en"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST(CliRegulation, RefusalsAndTheirStatus) {
    struct Case {
        std::vector<std::string> extra;
        int status;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{"--site", "layer:敷地", "--zone", "9-9"}, 2, "--zone \"9-9\": no such zone; one of 1-1,"},
        {{"--site", "layer:敷地", "--zone", "2-1-4", "--limits", "3,2"}, 2, "not both"},
        {{"--zone", "2-1-4"}, 2, "--site SEL"},
        {{"--site", "layer:敷地"}, 2, "which limits?"},
        {{"--site", "layer:敷地", "--limits", "3,2"}, 2, "--plane-height M"},
        {{"--site", "layer:敷地", "--zone", "2-1-4", "--plane-height", "4"},
         2,
         "--zone sets the plane height"},
        {{"--site", "layer:敷地", "--limits", "3"}, 2, "two numbers of hours"},
        {{"--site", "layer:敷地", "--zone", "2-1-4", "--report", "r.txt"}, 2, ".pdf or .png"},
        {{"--site", "layer:敷地", "--zone", "2-1-4", "--report", "a.pdf", "-o", "a.pdf"},
         2,
         "Pimu never writes over it"},
        {{"--site", "layer:敷地", "--zone", "2-1-4", "--report", "a.pdf", "--csv", "a.pdf"},
         2,
         "Pimu never writes over it"},
        {{"--site", "layer:敷地", "--zone", "2-1-4", "--open-side", "1,2"}, 2, "X,Y,WIDTH"},
        {{"--site", "layer:敷地", "--zone", "2-1-4", "--open-side", "1,2,0"}, 2, "above 0"},
        {{"--site", "layer:NONE", "--zone", "2-1-4"}, 2, "nothing in the drawing matches"},
        // The wall's single line closes no site.
        {{"--site", "layer:壁面", "--zone", "2-1-4"}, 1, "敷地の外形が閉じていません"},
    };
    for (const Case &c : cases) {
        Scratch dir;
        const auto r = RunPimu(Args(c.extra), dir.path());
        std::string line;
        for (const auto &a : c.extra) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << line << "\n" << r.err;
        EXPECT_FALSE(fs::exists(dir / "a.pdf")) << line;
        EXPECT_FALSE(fs::exists(dir / "site-regulation.dxf")) << line;
    }
}

TEST(CliRegulation, HelpListsTheZones) {
    Scratch dir;
    const auto r = RunPimu({"regulation", "--help"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  2-1-4       第一種・第二種中高層住居専用地域 (一) 測定面 4m\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  4ro-3-n     "), std::string::npos);
    EXPECT_NE(r.out.find("--open-side X,Y,WIDTH"), std::string::npos);
}

// A small block well inside a large site (the acquisition tests' drawing) keeps the lowest
// zone's limits: status 0, the table printed, the drawing with the check's layers, the CSV with
// its byte-order mark, the report sheet.
TEST(CliRegulation, CompliantSiteWritesTableDrawingCsvAndReport) {
    Scratch dir;
    const std::string small = (kSource / "tests" / "data" / "app" / "site_small.dxf").string();
    const auto r =
        RunPimu({"regulation", small,    "--settings", kSettings, "--lang", "en",     "--buildings",
                 "layer:BLD",  "--site", "layer:SITE", "--zone",  "1-1",    "--step", "5",
                 "--csv",      "r.csv",  "--report",   "r.pdf",   "-o",     "r.dxf"},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("用途地域"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("第一種・第二種低層住居専用地域"), std::string::npos);
    EXPECT_NE(r.out.find("判定"), std::string::npos);
    EXPECT_EQ(r.out.find("不適合"), std::string::npos);
    EXPECT_NE(r.out.find("5 分ごと"), std::string::npos);

    const std::string csv = dir.Read("r.csv");
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF用途地域,", 0), 0u) << csv.substr(0, 60);
    EXPECT_NE(csv.find("規制時間,3 時間,2 時間\r\n"), std::string::npos) << csv;

    const std::string pdf = dir.Read("r.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_GT(pdf.size(), 5000u);

    const auto d = cadlink::embedded::OpenDxf(dir / "r.dxf");
    std::set<std::string> layers;
    for (auto id : d.ModelSpace()) layers.insert(d.Get(id).layer);
    for (const char *l : {"規制_5mライン", "規制_10mライン", "規制_表"})
        EXPECT_TRUE(layers.count(l)) << l;
}

// Limits far below what the example's buildings cast on the lines: status 3, 不適合 printed,
// the report still written.
TEST(CliRegulation, NonCompliantSiteEndsWithStatusThree) {
    Scratch dir;
    const auto r = RunPimu(Args({"--site", "layer:敷地", "--limits", "0.1,0.1", "--plane-height",
                                 "1.5", "--step", "5", "--report", "r.png", "-o", "r.dxf"}),
                           dir.path());
    ASSERT_EQ(r.status, 3) << r.err << r.out;
    EXPECT_NE(r.out.find("不適合"), std::string::npos) << r.out;
    EXPECT_EQ(dir.Read("r.png").rfind("\x89PNG", 0), 0u);
    EXPECT_TRUE(fs::exists(dir / "r.dxf"));
}

// The sheet of a result made by hand (a crossing on the north, a hole, a deemed outline moved
// out on the south), as PDF and as the same page in PNG: both written whole. PIMU_REPORT_PNG
// keeps the picture for a look.
TEST(RegulationReport, SheetOfAHandMadeResult) {
    using geometry::TAcadPoint;
    auto rect = [](double x0, double y0, double x1, double y1) {
        return std::vector<TAcadPoint>{{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
    };
    auto outline = [](const std::vector<TAcadPoint> &ring) {
        std::vector<geometry::TLineEnt> out;
        for (std::size_t i = 0; i < ring.size(); ++i) {
            geometry::TLineEnt e;
            e.st = ring[i];
            e.ed = ring[(i + 1) % ring.size()];
            out.push_back(e);
        }
        return out;
    };
    regulation::RegulationResult r;
    r.Inputs = regulation::InputsForZone(*regulation::FindZoneRule("1-1"));
    r.SiteOutline = outline(rect(0, 0, 20000, 15000));
    r.DeemedOutline = outline(rect(0, -3000, 20000, 15000));
    for (int k = 0; k < 2; ++k) {
        auto &l = r.Limits[static_cast<std::size_t>(k)];
        l.Distance = boundary::kKyoukaisenDistances[k];
        l.LimitHours = k == 0 ? r.Inputs.Limit5 : r.Inputs.Limit10;
        l.Line = boundary::OffsetOutline(r.DeemedOutline, l.Distance);
    }
    r.Limits[0].Regions = {rect(3000, 12000, 17000, 22000)};
    r.Limits[0].Holes = {rect(9000, 13000, 11000, 14000)};
    r.Limits[0].Crossings = {rect(3000, 20000, 17000, 22000)};
    r.Limits[0].CrossingArea = 28e6;
    r.Limits[0].MaxBeyond = 2000;
    r.Limits[0].MaxHoursOnLine = 3.4;
    r.Limits[0].MaxHoursAt = {10000, 20000, 0};
    r.Limits[0].Complies = false;
    r.Limits[1].Regions = {rect(6000, 13000, 14000, 21000)};
    r.Limits[1].Margin = 4000;
    r.Limits[1].MaxHoursOnLine = 1.2;
    r.Limits[1].MaxHoursAt = {10000, 25000, 0};
    geometry::BuildingModel model;
    model.SetEdges(outline(rect(5000, 5000, 15000, 11000)));
    Scratch dir;
    const char *keep = std::getenv("PIMU_REPORT_PNG");
    const fs::path png = keep ? fs::path(keep) : dir / "sheet.png";
    WriteRegulationReport(r, model, {90.0, "hand.dxf"}, dir / "sheet.pdf", ReportFormat::Pdf);
    WriteRegulationReport(r, model, {90.0, "hand.dxf"}, png, ReportFormat::Png);
    const std::string pdf = dir.Read("sheet.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdf.find("%%EOF"), std::string::npos);
    EXPECT_EQ(Scratch::ReadFile(png).rfind("\x89PNG", 0), 0u);
    EXPECT_THROW(WriteRegulationReport(r, model, {}, dir / "no" / "x.pdf", ReportFormat::Pdf),
                 RenderError);
}

}  // namespace
}  // namespace pimu::cli
