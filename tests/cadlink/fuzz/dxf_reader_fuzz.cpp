// libFuzzer target: any bytes either read as a drawing or fail with DxfError; a drawing that
// reads must save and read back with the same entities, kept ones included.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cadlink/embedded/dxfio.h"

using namespace pimu::cadlink::embedded;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    Drawing drawing;
    try {
        drawing = ReadDxf(bytes, "fuzz");
    } catch (const pimu::cadlink::CadError &) {
        return 0;
    }
    std::string saved;
    try {
        saved = WriteDxf(drawing);
    } catch (const pimu::cadlink::CadError &) {
        // Saving refuses only a drawing that could not keep everything it read.
        if (drawing.kept.dropped.empty()) std::abort();
        return 0;
    }
    const Drawing back = ReadDxf(saved, "saved");
    if (back.ModelSpace().size() != drawing.ModelSpace().size()) std::abort();
    if (back.RawCount() != drawing.RawCount()) std::abort();  // kept entities are not lost
    for (std::size_t k = 0; k < back.ModelSpace().size(); ++k) {
        EntityData a = drawing.Get(drawing.ModelSpace()[k]);
        EntityData b = back.Get(back.ModelSpace()[k]);
        if (a.kind != b.kind || a.vertices.size() != b.vertices.size() ||
            a.thickness != b.thickness)
            std::abort();
    }
    return 0;
}
