// The settings keys as the command line shows and checks them: the field each key fills (the
// window's label), what it does, how its value is read, the plain option that stands for it and
// the subcommands whose results it changes. The keys, their order, their defaults, their labels
// and meanings are the control table's (app/control_table.h), the commands that read them the
// command table's (app/command_table.h); the command line adds only its options.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pimu::cli {

enum class SettingKind {
    Number,  // a text the window reads as a number when a command runs
    Choice,  // an item index of a radio group or an up-down position
    Switch,  // 1 on, 0 off
    Text,    // taken as it is (layer names, the CAD's class string)
};

struct SettingKey {
    std::string section;
    std::string key;
    SettingKind kind = SettingKind::Text;
    std::string field;     // the window's label of the field the key fills
    std::string what;      // one line: what it does
    std::string option;    // the plain option that sets it, or empty
    std::string commands;  // the subcommands whose results it changes, ", "-separated
    std::string Name() const { return section + "/" + key; }
};

// The layers whose closed shapes with thickness are the buildings when --buildings is not
// given, comma separated. The window does not use it; the command line reads it from the same
// settings file.
inline constexpr std::string_view kBuildingLayersSection = "Layer";
inline constexpr std::string_view kBuildingLayersKey = "Tatemono";

// Every key of the settings file in the window's order, then the command line's own.
const std::vector<SettingKey> &SettingKeys();
// The key with that section and name, compared without regard to ASCII case.
const SettingKey *FindSettingKey(std::string_view section, std::string_view key);

}  // namespace pimu::cli
