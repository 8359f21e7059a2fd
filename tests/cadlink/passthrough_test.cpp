// Open -> save keeps what the embedded drawing does not model: entities of other kinds (in model
// space, paper space and blocks), XDATA, styles, dimension styles, header values, CLASSES and
// OBJECTS, with their handles; new entities get handles nothing else uses.
#include <cstdlib>
#include <set>
#include <sstream>

#include "cadlink/embedded/document.h"
#include "cadlink/embedded/dxfio.h"
#include "test_util.h"

namespace pimu::cadlink::embedded {
namespace {

std::vector<std::string> Content(const std::filesystem::path &file, const char *encoding,
                                 const std::filesystem::path &out) {
    const std::string command =
        std::string(PIMU_SYSTEM_PYTHON) + " \"" + (test::kData / "ezdxf_content.py").string() +
        "\" \"" + file.string() + "\" " + encoding + " > \"" + out.string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    const std::string text = test::ReadFile(out);
    EXPECT_EQ(status, 0) << "ezdxf (python3-ezdxf, see deps/test-cadlink.txt) failed:\n" << text;
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Removes and returns the line starting with `prefix`.
std::string Take(std::vector<std::string> &lines, const std::string &prefix) {
    for (auto it = lines.begin(); it != lines.end(); ++it)
        if (it->starts_with(prefix)) {
            std::string line = *it;
            lines.erase(it);
            return line;
        }
    return "(none)";
}

TEST(PassThrough, OpenAddLineSaveKeepsEverythingElse) {
    for (const auto &[file, encoding] : {std::pair{"passthrough_r2000.dxf", "cp932"},
                                         std::pair{"passthrough_r2018.dxf", "utf-8"}}) {
        SCOPED_TRACE(file);
        test::TempDir dir;
        auto original = Content(test::kData / file, encoding, dir / "a.txt");
        EmbeddedDocument doc;
        doc.Open(test::kData / file);
        const EntityPtr line = doc.ModelSpace().AddLine({1, 2, 0}, {3, 4, 0});
        doc.Save(dir / "saved.dxf");
        auto saved = Content(dir / "saved.dxf", encoding, dir / "b.txt");

        // Every handle of the saved file is unique, the new line's included, and below the seed.
        EXPECT_EQ(Take(saved, "handle-dups"), "handle-dups 0");
        Take(original, "handle-dups");
        EXPECT_EQ(Take(saved, "seed-above-handles"), "seed-above-handles True");
        Take(original, "seed-above-handles");
        Take(original, "$HANDSEED");
        Take(saved, "$HANDSEED");
        // Apart from the new line, the drawing reads back the same.
        EXPECT_EQ(Take(original, "count model LINE "), "count model LINE 1");
        EXPECT_EQ(Take(saved, "count model LINE "), "count model LINE 2");
        ASSERT_GE(original.size(), 2u);
        original.insert(original.end() - 1,
                        "model LINE|0|1.0000,2.0000,0.0000;3.0000,4.0000,0.0000;0.0000");
        EXPECT_EQ(saved, original);

        const Drawing back = OpenDxf(dir / "saved.dxf");
        const auto found = back.FindHandle(line->Handle());
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(back.Get(*found).p2.y, 4.0);
    }
}

}  // namespace
}  // namespace pimu::cadlink::embedded
