// The example drawing as a hostile or careless export leaves it: heights lost or negative,
// numbers no site can have, outlines of very many vertices. Every command either refuses with a
// message naming the entity or gives its result; none crashes, says 適合, or leaves a result.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_util.h"

namespace pimu::cli {
namespace {

using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;
namespace fs = std::filesystem;

const std::string kSettings = (kSource / "examples" / "pimu.ini").string();

// One edit of the example: the value of group `code` of the entity with handle `handle`; a
// negative code adds group -code after the entity's first vertex (its first group 20).
struct Edit {
    std::string handle;
    int code;
    std::string value;
};

// The example with the edits made (its text is group code and value lines, CR LF or LF).
std::string Edited(const std::vector<Edit> &edits) {
    std::istringstream in(Scratch::ReadFile(kExample));
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
    }
    std::string handle;
    std::vector<std::string> added;
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        const int code = std::stoi(lines[i]);
        if (code == 0) handle.clear();
        if (code == 5) handle = lines[i + 1];
        for (const Edit &e : edits) {
            if (handle.empty() || e.handle != handle) continue;
            if (e.code == code) lines[i + 1] = e.value;
            if (e.code < 0 && code == 20 &&
                std::find(added.begin(), added.end(), handle) == added.end()) {
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                             {std::to_string(-e.code), e.value});
                added.push_back(handle);
            }
        }
    }
    std::string out;
    for (const std::string &l : lines) out += l + "\n";
    return out;
}

// Every command that computes from the buildings, with the answers it needs and its outputs.
const std::vector<std::vector<std::string>> kCommands = {
    {"shadow", "-o", "r.dxf"},
    {"isochrone", "-o", "r.dxf"},
    {"regulation", "--site", "layer:敷地", "--zone", "2-1-4", "-o", "r.dxf", "--csv", "r.csv"},
    {"points", "--point", "30000,52000", "--csv", "r.csv"},
    {"wall", "--wall", "35000,62000", "-o", "r.dxf"},
    {"sky-list", "--point", "30000,6000", "--csv", "r.csv"},
    {"sky", "--point", "30000,6000", "--type", "B", "--place", "30000,-30000", "-o", "r.dxf"},
    {"sky-batch", "--point", "30000,6000", "--center", "0,-20000", "-o", "r.dxf", "--csv", "r.csv"},
};

struct Case {
    const char *what;
    std::vector<Edit> edits;
    std::vector<std::string> err;  // texts every command's stderr holds
};

void RunEveryCommand(const Case &c) {
    SCOPED_TRACE(c.what);
    Scratch dir;
    dir.Write("d.dxf", Edited(c.edits));
    for (const auto &command : kCommands) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> args = command;
        args.insert(args.begin() + 1, "d.dxf");
        args.push_back("--settings");
        args.push_back(kSettings);
        const auto r = RunPimu(args, dir.path());
        EXPECT_EQ(r.status, 1) << r.err;
        for (const std::string &t : c.err) EXPECT_NE(r.err.find(t), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("適合"), std::string::npos) << r.out;
        for (const char *t : {"std::", "bad_alloc", "vector::", "what()"})
            EXPECT_EQ(r.err.find(t), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "r.dxf"));
        EXPECT_FALSE(fs::exists(dir / "r.csv"));
    }
}

TEST(CliHostile, BuildingsWithoutHeightAreNamedAndNothingIsComputed) {
    const Case cases[] = {
        {"lines without thickness among the buildings",
         {{"3A", 39, "0"}, {"3B", 39, "0"}},
         {"no height above the ground in 2 building entities", "LINE handle 3A on layer 建物",
          "LINE handle 3B on layer 建物", "group code 39"}},
        {"a box with a negative thickness",
         {{"36", 39, "-21000"}},
         {"POLYLINE handle 36 on layer 建物: negative thickness", "positive height"}},
        {"every thickness lost (the raised volume stays a roof standing on the ground)",
         {{"36", 39, "0"},
          {"37", 39, "0"},
          {"38", 39, "0"},
          {"3C", 39, "0"},
          {"3A", 39, "0"},
          {"3B", 39, "0"}},
         {"in 5 building entities", "POLYLINE handle 3C on layer 隣地建物"}},
        {"two lines of one handle, the second without thickness: named as the file names it",
         {{"3B", 5, "3A"}, {"3B", 39, "0"}},
         {"in 1 building entity:", "LINE handle 3A on layer 建物"}},
    };
    for (const Case &c : cases) RunEveryCommand(c);
}

TEST(CliHostile, NumbersNoSiteHasAreRefusedByEntity) {
    const Case cases[] = {
        {"a building vertex at y 1e308",
         {{"3A", 20, "1e308"}},
         {"d.dxf: line ",
          "LINE 3A: the coordinate 1e+308 is beyond what a drawing of a site holds"}},
        {"a building vertex at y 1e20", {{"3A", 20, "1e20"}}, {"LINE 3A: the coordinate 1e+20"}},
        {"a thickness of 1e12", {{"3A", 39, "1e12"}}, {"LINE 3A: the thickness 1e+12"}},
        {"a bulge of 1e9", {{"37", -42, "1e9"}}, {"LWPOLYLINE 37: the bulge 1e+09"}},
        {"a thickness of 1e9: readable, but higher than a building",
         {{"3A", 39, "1e9"}},
         {"LINE handle 3A on layer 建物: higher or deeper than 2 km"}},
        {"a tower of radius 1e9",
         {{"39", 40, "1e9"}},
         {"CIRCLE handle 39 on layer 建物: wider than a site (10 km)"}},
    };
    for (const Case &c : cases) RunEveryCommand(c);
}

}  // namespace
}  // namespace pimu::cli
