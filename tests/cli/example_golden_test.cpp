// Every command of `pimu` on the bundled example, compared byte for byte with the outputs kept in
// tests/data/cli/example_golden/<case>/: the exit status, stdout, stderr and every file the
// command writes (drawings, CSV). A change of structure must leave all of them as they are; a
// deliberate change of results regenerates them with PIMU_UPDATE_GOLDEN=1 and shows in the diff.
// Outputs larger than kKeptWhole (the hatched drawings of the regulation and the sky maps) are
// kept as their size and 64-bit FNV-1a checksum in "<name>.sum", not whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "cli/commands.h"
#include "cli_test_util.h"
#include "solar/eqtime.h"

namespace pimu::cli {
namespace {

using testing::kSource;
using testing::RunPimu;
using testing::Scratch;
namespace fs = std::filesystem;

const fs::path kGolden = kSource / "tests" / "data" / "cli" / "example_golden";
constexpr std::size_t kKeptWhole = 256 * 1024;

// What is kept of a large output: its size and checksum, one line.
std::string Summary(const std::string &bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    char line[64];
    std::snprintf(line, sizeof line, "%zu %016llx\n", bytes.size(),
                  static_cast<unsigned long long>(h));
    return line;
}

struct Case {
    const char *name;                // the golden folder
    std::vector<std::string> args;   // run in a folder holding site.dxf, pimu.ini and tables/
    std::vector<std::string> files;  // what the command writes there
};

// The example's own runs (examples/run-example.sh) and the commands it leaves out, each with
// the options that reach its every input: the drawing, the settings, the picks and placements.
const std::vector<Case> &Cases() {
    static const std::vector<Case> cases = {
        {"shadow", {"shadow", "site.dxf", "--settings", "pimu.ini", "-o", "r.dxf"}, {"r.dxf"}},
        {"shadow_options",
         {"shadow", "site.dxf", "--settings", "pimu.ini", "--start", "9", "--end", "15",
          "--interval", "0.5", "--text-height", "1000", "--set", "Jikoku/Ana=1", "-o", "r.dxf"},
         {"r.dxf"}},
        {"isochrone",
         {"isochrone", "site.dxf", "--settings", "pimu.ini", "--hours", "2.5,4.0", "--step", "60",
          "-o", "r.dxf"},
         {"r.dxf"}},
        {"wall",
         {"wall", "site.dxf", "--settings", "pimu.ini", "--wall", "35000,62000", "--step", "60",
          "-o", "r.dxf"},
         {"r.dxf"}},
        {"wall_placed",
         {"wall", "site.dxf", "--settings", "pimu.ini", "--wall", "35000,62000", "--step", "60",
          "--set", "Hekimen/senjou=0", "--place", "0,90000", "-o", "r.dxf"},
         {"r.dxf"}},
        {"points",
         {"points", "site.dxf", "--settings", "pimu.ini", "--marks", "layer:測定点", "--place",
          "90000,70000", "--csv", "r.csv", "-o", "r.dxf"},
         {"r.dxf", "r.csv"}},
        {"points_picked",
         {"points", "site.dxf", "--settings", "pimu.ini", "--point", "30000,52000", "--point",
          "60000,50000"},
         {}},
        {"sky_list",
         {"sky-list", "site.dxf", "--settings", "pimu.ini", "--marks", "layer:測定点", "--csv",
          "r.csv"},
         {"r.csv"}},
        {"sky_b",
         {"sky", "site.dxf", "--settings", "pimu.ini", "--point", "30000,6000", "--type", "B",
          "--place", "30000,-30000", "-o", "r.dxf"},
         {"r.dxf"}},
        {"sky_a",
         {"sky", "site.dxf", "--settings", "pimu.ini", "--point", "14000,6000", "--type", "A",
          "--place", "0,-30000", "-o", "r.dxf"},
         {"r.dxf"}},
        {"sky_batch",
         {"sky-batch", "site.dxf", "--settings", "pimu.ini", "--marks", "layer:測定点", "--type",
          "A", "--center", "0,-20000", "--csv", "r.csv", "-o", "r.dxf"},
         {"r.dxf", "r.csv"}},
        {"boundary", {"boundary", "site.dxf", "--site", "layer:敷地", "-o", "r.dxf"}, {"r.dxf"}},
        {"regulation",
         {"regulation", "site.dxf", "--settings", "pimu.ini", "--buildings", "layer:建物", "--site",
          "layer:敷地", "--zone", "2-1-4", "--csv", "r.csv", "-o", "r.dxf"},
         {"r.dxf", "r.csv"}},
        {"sky_compare",
         {"sky-compare", "site.dxf", "--settings", "pimu.ini", "--buildings", "layer:建物",
          "--site", "layer:敷地", "--road", "30000,-1000,6", "--zone", "mid-high", "--csv",
          "r.csv", "-o", "r.dxf"},
         {"r.dxf", "r.csv"}},
        {"ratio_table",
         {"ratio-table", "--latitude", "35,41", "--dms", "--csv", "r.csv"},
         {"r.csv"}},
        {"ratio_table_drawn",
         {"ratio-table", "site.dxf", "--settings", "pimu.ini", "--three-decimals", "--place",
          "80000,50000", "-o", "r.dxf"},
         {"r.dxf"}},
        {"eot", {"eot", "--date", "2025-02-11"}, {}},
        {"solar_noon", {"solar-noon", "--longitude", "139.75", "--eot", "0"}, {}},
        {"eot_plot",
         {"eot-plot", "site.dxf", "--tables", "tables", "--compare-tables", "-o", "r.dxf"},
         {"r.dxf"}},
        {"preview",
         {"preview", "site.dxf", "--settings", "pimu.ini", "--view", "30,20", "--place", "100000,0",
          "-o", "r.dxf"},
         {"r.dxf"}},
        {"layers", {"layers", "site.dxf"}, {}},
        {"settings",
         {"settings", "--settings", "pimu.ini", "--start", "9", "--hours", "2.5", "--set",
          "Touji/kankaku10=1"},
         {}},
    };
    return cases;
}

void Prepare(const Scratch &dir) {
    fs::copy_file(kSource / "examples" / "site.dxf", dir / "site.dxf");
    fs::copy_file(kSource / "examples" / "pimu.ini", dir / "pimu.ini");
    fs::create_directories(dir / "tables");
    std::string t2024, t2025;
    for (int k = 0; k < 366; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "%.4f\r\n", solar::EqTimeSpencer(k) + 0.01);
        t2024 += line;
        std::snprintf(line, sizeof line, "%.4f\r\n", solar::EqTimeSpencer(k));
        t2025 += line;
    }
    dir.Write("tables/kinjisa_2024-135.txt", t2024);
    dir.Write("tables/kinjisa_2025-135.txt", t2025);
}

class ExampleGolden : public ::testing::TestWithParam<Case> {};

TEST_P(ExampleGolden, OutputsAreThoseRecorded) {
    const Case &c = GetParam();
    Scratch dir;
    Prepare(dir);
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, {"--lang", "en"});
    const auto r = RunPimu(args, dir.path());
    std::vector<std::pair<std::string, std::string>> outputs = {
        {"status", std::to_string(r.status) + "\n"}, {"stdout", r.out}, {"stderr", r.err}};
    for (const std::string &f : c.files) {
        std::string bytes = dir.Read(f);
        if (bytes.size() > kKeptWhole)
            outputs.push_back({f + ".sum", Summary(bytes)});
        else
            outputs.push_back({f, std::move(bytes)});
    }
    const fs::path golden = kGolden / c.name;
    if (std::getenv("PIMU_UPDATE_GOLDEN")) {
        fs::create_directories(golden);
        for (const auto &[name, bytes] : outputs) {
            std::ofstream(golden / name, std::ios::binary) << bytes;
        }
        GTEST_SKIP() << "golden files written to " << golden;
    }
    for (const auto &[name, bytes] : outputs) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(golden / name)) << golden / name;
        const std::string want = Scratch::ReadFile(golden / name);
        EXPECT_EQ(bytes.size(), want.size());
        if (bytes == want) continue;
        std::size_t at = 0;
        while (at < bytes.size() && at < want.size() && bytes[at] == want[at]) ++at;
        ADD_FAILURE() << c.name << "/" << name << " differs from byte " << at << ": got \""
                      << bytes.substr(at > 80 ? at - 80 : 0, 200) << "\", want \""
                      << want.substr(at > 80 ? at - 80 : 0, 200) << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, ExampleGolden, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case> &i) {
                             return std::string(i.param.name);
                         });

// Every subcommand of pimu has at least one case above.
TEST(ExampleGoldenCoverage, EverySubcommandIsRecorded) {
    std::vector<std::string> run;
    for (const Case &c : Cases()) run.push_back(c.args.front());
    for (const Subcommand &s : Subcommands())
        EXPECT_NE(std::find(run.begin(), run.end(), s.name), run.end()) << s.name;
}

// Every command of the window's command table is run by a subcommand of pimu, or the table says
// how the command line covers it.
TEST(ExampleGoldenCoverage, EveryCommandOfTheTableIsOffered) {
    for (const app::CommandEntry &c : app::kFormCommands) {
        SCOPED_TRACE(c.id);
        if (c.cli.empty()) {
            EXPECT_FALSE(c.cliNote.empty());
            continue;
        }
        const Subcommand *s = FindSubcommand(c.cli);
        ASSERT_NE(s, nullptr) << c.cli;
        EXPECT_NE(s->run, nullptr) << c.cli;
    }
}

}  // namespace
}  // namespace pimu::cli
