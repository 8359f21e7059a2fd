// The command table: every row names a button of the control table that the window model runs
// it by, and only keys the settings file keeps.
#include "app/command_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/form.h"
#include "app/recording_host.h"
#include "test_support.h"

namespace pimu::app {
namespace {

using testing::TempDir;

std::vector<std::string_view> Split(std::string_view list) {
    std::vector<std::string_view> out;
    while (!list.empty()) {
        const auto bar = list.find('|');
        out.push_back(list.substr(0, bar));
        if (bar == std::string_view::npos) break;
        list.remove_prefix(bar + 1);
    }
    return out;
}

TEST(CommandTable, EveryRowIsAButtonOfTheWindowAndReadsKeptSettings) {
    TempDir dir;
    RecordingUiHost host;
    TForm1 form{FormPaths{dir.path(), "pimu"}, host};
    std::set<std::string> keys;
    for (const ControlEntry &e : kFormControls)
        if (e.Saved()) keys.insert(std::string(e.section) + "/" + std::string(e.key));

    std::set<std::string_view> buttons;
    for (std::size_t i = 0; i < std::size(kFormCommands); ++i) {
        const CommandEntry &c = kFormCommands[i];
        SCOPED_TRACE(c.id);
        EXPECT_EQ(static_cast<std::size_t>(c.command), i);
        EXPECT_EQ(&CommandOf(c.command), &c);
        const ControlEntry *button = FindControlEntry(ButtonName(c));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->kind, ControlKind::Button);
        EXPECT_EQ(button->member, c.member);
        EXPECT_TRUE(buttons.insert(ButtonName(c)).second) << "two commands on one button";
        EXPECT_EQ(CommandOfButton(ButtonName(c)), &c);
        // The window model's generated switch starts it from the same button.
        EXPECT_EQ(form.CommandButton(c.command).name, ButtonName(c));
        for (std::string_view key : Split(c.inputs)) {
            if (key.ends_with('*')) {
                const std::string prefix(key.substr(0, key.size() - 1));
                EXPECT_NE(keys.lower_bound(prefix), keys.end()) << key;
                EXPECT_TRUE(keys.lower_bound(prefix)->starts_with(prefix)) << key;
            } else {
                EXPECT_TRUE(keys.count(std::string(key))) << key;
            }
        }
        EXPECT_FALSE(c.note.empty());
        EXPECT_TRUE(!c.cli.empty() || !c.cliNote.empty()) << "no way to run it from pimu";
    }
    EXPECT_EQ(CommandOfButton("Button7"), nullptr);  // a stop button starts no command
}

// A disabled button runs nothing, as a click on it would.
TEST(CommandTable, ADisabledButtonRunsNothing) {
    TempDir dir;
    RecordingUiHost host;
    TForm1 form{FormPaths{dir.path(), "pimu"}, host};
    ASSERT_FALSE(form.Button3.enabled);  // no buildings yet
    EXPECT_EQ(form.RunCommand(FormCommand::TimeOfDay), CommandOutcome::NotAvailable);
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace pimu::app
