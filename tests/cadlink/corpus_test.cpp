// Drawings made by another CAD program: every DXF file of Debian's librecad package (its symbol
// library and hatch patterns; installed by the test step, deps/test-cadlink.txt) reads without a
// crash, saves again, and any drawing Pimu refuses is one that ezdxf refuses too.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cadlink/embedded/dxfio.h"

namespace pimu::cadlink::embedded {
namespace {

namespace fs = std::filesystem;

std::string Output(const std::string &command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    if (!pipe) return out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe.get())) out.append(buf, n);
    return out;
}

std::vector<fs::path> LibrecadDrawings() {
    std::vector<fs::path> files;
    const std::string listed = Output("dpkg -L librecad librecad-data 2>/dev/null");
    std::size_t pos = 0;
    while (pos < listed.size()) {
        std::size_t end = listed.find('\n', pos);
        if (end == std::string::npos) end = listed.size();
        const fs::path p = listed.substr(pos, end - pos);
        pos = end + 1;
        std::string ext = p.extension().string();
        for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::error_code ec;
        if (ext == ".dxf" && fs::is_regular_file(p, ec)) files.push_back(p);
    }
    return files;
}

TEST(Corpus, LibrecadDrawingsReadSaveOrAreRefusedByEzdxfToo) {
    const std::vector<fs::path> files = LibrecadDrawings();
    ASSERT_GT(files.size(), 1000u) << "the librecad package is missing (deps/test-cadlink.txt)";
    std::vector<fs::path> refused;
    std::size_t degenerate = 0;
    for (const fs::path &file : files) {
        Drawing drawing;
        try {
            drawing = OpenDxf(file);
        } catch (const CadError &e) {
            refused.push_back(file);
            std::printf("refused: %s\n", e.what());
            continue;
        }
        degenerate += drawing.degenerate.empty() ? 0 : 1;
        if (!drawing.kept.dropped.empty()) continue;  // saving says what it would lose
        try {
            const Drawing back = ReadDxf(WriteDxf(drawing), "saved");
            EXPECT_EQ(back.ModelSpace().size(), drawing.ModelSpace().size()) << file;
        } catch (const CadError &e) {
            ADD_FAILURE() << file << ": " << e.what();
        }
    }
    std::printf("%zu drawings, %zu refused, %zu with degenerate curves kept as read\n",
                files.size(), refused.size(), degenerate);
    if (refused.empty()) return;
    // ezdxf must refuse each as well: the script prints the ones it reads.
    std::string command = std::string(PIMU_SYSTEM_PYTHON) +
                          " -c 'import sys, ezdxf\n"
                          "for f in sys.argv[1:]:\n"
                          "    try:\n"
                          "        ezdxf.readfile(f)\n"
                          "        print(f)\n"
                          "    except Exception:\n"
                          "        pass\n'";
    for (const fs::path &f : refused) command += " '" + f.string() + "'";
    const std::string readByEzdxf = Output(command + " 2>/dev/null");
    EXPECT_EQ(readByEzdxf, "") << "Pimu refuses what ezdxf reads";
}

}  // namespace
}  // namespace pimu::cadlink::embedded
