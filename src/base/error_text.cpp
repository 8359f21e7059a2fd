#include "base/error_text.h"

#include <new>
#include <stdexcept>

namespace pimu {

bool IsLibraryText(const std::string &what) {
    if (what.empty() || what.starts_with("std::")) return true;
    // "vector::reserve", "basic_string::_M_create", "map::at": a name, no words.
    if (what.find("::") != std::string::npos && what.find(' ') == std::string::npos) return true;
    for (const char *f : {"stoi", "stol", "stoll", "stoul", "stoull", "stof", "stod", "stold"})
        if (what == f) return true;
    return false;
}

std::string UserMessage(const std::exception &e, bool japanese) {
    const bool memory = dynamic_cast<const std::bad_alloc *>(&e) != nullptr ||
                        dynamic_cast<const std::length_error *>(&e) != nullptr;
    if (memory)
        return japanese ? "メモリが足りず，処理を中止しました．図面に敷地では有り得ない大きさの"
                          "数値（座標，半径，厚み）がないか確かめて下さい．"
                        : "the work ran out of memory and was stopped; look for numbers no site "
                          "has in the drawing (coordinates, radii, thicknesses)";
    const std::string what = e.what();
    if (!IsLibraryText(what)) return what;
    return japanese ? "内部エラーのため処理を中止しました．" : "an internal error stopped the work";
}

}  // namespace pimu
