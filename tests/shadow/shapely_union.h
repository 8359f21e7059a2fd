// The area of a union of polygons by shapely (GEOS), an implementation independent of the one
// under test, for the shadow tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "geometry/types.h"

namespace pimu::shadow::testing {

using geometry::TAcadPoint;
using Ring = std::vector<TAcadPoint>;

// The areas of the unions of each case by shapely (GEOS), an implementation independent of the
// one under test. One run of Python for many cases.
inline std::vector<double> ShapelyAreas(const std::vector<std::vector<Ring>> &cases) {
    // Named per process: CTest runs the tests of this file side by side.
    const std::string tag = std::to_string(getpid());
    const std::string path = ::testing::TempDir() + "shadow_union_cases_" + tag + ".txt";
    {
        std::FILE *f = std::fopen(path.c_str(), "w");
        if (f == nullptr) return {};
        for (const auto &parts : cases) {
            std::fprintf(f, "C\n");
            for (const Ring &r : parts) {
                for (const TAcadPoint &p : r) std::fprintf(f, "%.17g %.17g ", p.x, p.y);
                std::fprintf(f, "\n");
            }
        }
        std::fclose(f);
    }
    const char *script =
        "import sys\n"
        "from shapely.geometry import Polygon\n"
        "from shapely.ops import unary_union\n"
        "from shapely.validation import make_valid\n"
        "cases = []\n"
        "for line in open(sys.argv[1]):\n"
        "    if line.startswith('C'):\n"
        "        cases.append([]); continue\n"
        "    v = [float(x) for x in line.split()]\n"
        "    pts = list(zip(v[0::2], v[1::2]))\n"
        "    if len(pts) < 3: continue\n"
        "    p = Polygon(pts)\n"
        "    if not p.is_valid: p = make_valid(p)\n"
        "    if p.area > 0: cases[-1].append(p)\n"
        "for c in cases:\n"
        "    print(repr(unary_union(c).area if c else 0.0))\n";
    const std::string scriptPath = ::testing::TempDir() + "shadow_union_" + tag + ".py";
    {
        std::FILE *f = std::fopen(scriptPath.c_str(), "w");
        if (f == nullptr) return {};
        std::fputs(script, f);
        std::fclose(f);
    }
    const std::string command = "/usr/bin/python3 " + scriptPath + " " + path;
    std::FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::vector<double> areas;
    double a = 0.0;
    while (std::fscanf(pipe, "%lf", &a) == 1) areas.push_back(a);
    pclose(pipe);
    return areas;
}

}  // namespace pimu::shadow::testing
