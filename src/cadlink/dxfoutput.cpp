#include "cadlink/dxfoutput.h"

#include <string>

#include "cadlink/tables.h"

namespace pimu::cadlink {

std::filesystem::path WriteDxfFile(DxfText &list, std::string_view prefix, IDocument &doc,
                                   const std::filesystem::path &folder, ISleeper &sleeper) {
    list.Finish();
    const std::string name = NewBlockName(doc, prefix);
    const std::filesystem::path path = folder / (name + ".dxf");
    list.Save(path);
    sleeper.Sleep(100);
    return path;
}

}  // namespace pimu::cadlink
