// libFuzzer target: any command text either runs or fails with CadError, and the drawing stays
// consistent (every model-space entity readable, every reference's block defined).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>
#include <unistd.h>

#include "cadlink/embedded/document.h"

using namespace pimu::cadlink;
using namespace pimu::cadlink::embedded;

namespace {

// The program folder of every run: one per process, removed when the fuzzer exits.
class FuzzFolder {
public:
    FuzzFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pimu_command_fuzz_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        std::ofstream(path_ / "PIMU_1.dxf")
            << "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\nA\n39\n5\n10\n0\n20\n0\n11\n1\n21\n1\n"
               "0\nENDSEC\n0\nEOF\n";
    }
    ~FuzzFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    FuzzFolder(const FuzzFolder &) = delete;
    FuzzFolder &operator=(const FuzzFolder &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

const std::filesystem::path &FuzzDirectory() {
    static const FuzzFolder folder;
    return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    EmbeddedDocument doc(Drawing{}, FuzzDirectory());
    ScriptedInput input;
    input.Place({1, 2, 0}).Point({3, 4, 0});
    doc.SetInputSource(&input);
    doc.Blocks().Add({0, 0, 0}, "B")->AddCircle({0, 0, 0}, 1);
    try {
        doc.SendCommand(text);
    } catch (const CadError &) {
    }
    const Drawing &d = doc.drawing();
    for (EntityId id : d.ModelSpace()) {
        const EntityData &e = d.Get(id);
        if (e.kind == EntityKind::Insert && !d.FindBlock(e.blockName)) std::abort();
    }
    return 0;
}
