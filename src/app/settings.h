// The settings file: every value the user can set on the main window, kept between runs. The
// keys come from the control table (control_table.h) and its run-state keys;
// TForm1::ReadSettings and TForm1::WriteSettings use them.
#pragma once

#include <string>
#include <vector>

namespace pimu::app {

struct SettingName {
    std::string section;
    std::string key;
    std::string control;  // component name; empty for run state (kRunStateSettings)
    int item = -1;        // the item of a check list
};

// Every key in the order it is written (and read).
const std::vector<SettingName> &SettingsWriteOrder();

}  // namespace pimu::app
