#include "app/control_table.h"

#include "app/regulation_output.h"
#include "regulation/regulation.h"

namespace pimu::app {

const std::vector<std::string> &RegulationZoneItems() {
    static const std::vector<std::string> items = [] {
        std::vector<std::string> out;
        for (const regulation::ZoneRule &rule : regulation::ZoneRules())
            out.emplace_back(rule.Caption);
        out.emplace_back(kDirectLimits);
        return out;
    }();
    return items;
}

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
