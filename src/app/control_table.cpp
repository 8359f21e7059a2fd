#include "app/control_table.h"

namespace pimu::app {

const ControlEntry *FindControlEntry(std::string_view name) {
    for (const ControlEntry &entry : kFormControls)
        if (entry.Name() == name) return &entry;
    return nullptr;
}

std::vector<std::string> ControlItems(const ControlEntry &entry) {
    if (entry.itemList) return entry.itemList();
    std::vector<std::string> items;
    std::string_view rest = entry.items;
    while (!rest.empty()) {
        const auto bar = rest.find('|');
        items.emplace_back(rest.substr(0, bar));
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
    }
    return items;
}

}  // namespace pimu::app
