// The settings file: every value the user can set on the main window, kept between runs.
// TForm1::ReadSettings and TForm1::WriteSettings use these keys.
#pragma once

#include <string>
#include <vector>

namespace pimu::app {

struct SettingName {
    std::string section;
    std::string key;
};

// Every key in the order it is written.
const std::vector<SettingName> &SettingsWriteOrder();

}  // namespace pimu::app
