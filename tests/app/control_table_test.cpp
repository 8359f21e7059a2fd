#include "app/control_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/form.h"
#include "app/recording_host.h"
#include "app/settings.h"
#include "base/ascii.h"
#include "test_support.h"

namespace pimu::app {
namespace {

using testing::TempDir;

struct Window {
    TempDir dir;
    RecordingUiHost host;
    TForm1 form{FormPaths{dir.path(), "pimu"}, host};
};

// The form is made from the table and nothing else: the same controls in the same order, each of
// the row's kind, and every row complete enough for a front end to build its widget.
TEST(ControlTable, DescribesEveryControlOfTheForm) {
    Window w;
    const auto &controls = w.form.AllControls();
    ASSERT_EQ(controls.size(), std::size(kFormControls));

    std::map<std::string_view, const ControlEntry *> byName;
    for (const ControlEntry &entry : kFormControls)
        EXPECT_TRUE(byName.emplace(entry.Name(), &entry).second) << entry.Name();
    for (size_t i = 0; i < controls.size(); ++i) {
        const ControlEntry &entry = kFormControls[i];
        const Control &c = *controls[i];
        EXPECT_EQ(c.name, entry.Name());
        EXPECT_EQ(c.Kind(), entry.kind) << entry.Name();
        EXPECT_EQ(FindControlEntry(c.name), &entry);
        EXPECT_FALSE(entry.note.empty()) << entry.Name() << ": every control says what it means";

        // Only the tab control, the progress bar and the menus belong to the window itself.
        const bool onWindow = entry.kind == ControlKind::PageControl ||
                              entry.kind == ControlKind::ProgressBar ||
                              entry.kind == ControlKind::PopupMenu;
        EXPECT_EQ(entry.tab < 0, onWindow) << entry.Name();
        EXPECT_LT(entry.tab, static_cast<int>(w.form.PageControl1.tabs.size())) << entry.Name();
        if (!entry.group.empty()) {
            const auto group = byName.find(entry.group);
            ASSERT_NE(group, byName.end()) << entry.Name() << " in " << entry.group;
            EXPECT_TRUE(group->second->kind == ControlKind::GroupBox ||
                        group->second->kind == ControlKind::Panel)
                << entry.Name();
            EXPECT_EQ(group->second->tab, entry.tab) << entry.Name();
        }
        const auto items = ControlItems(entry);
        if (entry.kind == ControlKind::RadioGroup || entry.kind == ControlKind::CheckListBox ||
            entry.kind == ControlKind::ComboBox || entry.kind == ControlKind::PopupMenu) {
            EXPECT_FALSE(items.empty()) << entry.Name();
        }
        if (entry.kind == ControlKind::RadioGroup) {
            EXPECT_GE(entry.index, 0) << entry.Name();
            EXPECT_LT(entry.index, static_cast<int>(items.size())) << entry.Name();
        }
        if (entry.kind == ControlKind::UpDown) {
            EXPECT_LE(entry.min, entry.position) << entry.Name();
            EXPECT_LE(entry.position, entry.max) << entry.Name();
            if (!entry.associate.empty()) {
                const auto edit = byName.find(entry.associate);
                ASSERT_NE(edit, byName.end()) << entry.Name();
                EXPECT_EQ(edit->second->kind, ControlKind::Edit);
                EXPECT_EQ(edit->second->text, std::to_string(entry.position)) << entry.Name();
            }
        }
    }
    EXPECT_EQ(FindControlEntry("地方太陽時")->member, "ChihouTaiyouji");
    EXPECT_EQ(FindControlEntry("Edit99"), nullptr);
    EXPECT_EQ(w.form.StringGrid2.Cell(4, 0), " 日影時間");
    EXPECT_EQ(w.form.PopupMenu2.Item("N6").caption, "その１つ前に取得した図形を採用");
}

// Each key of the settings file belongs to one control of a kind the file can hold, or to the
// documented run state; the places in the file are a permutation.
TEST(ControlTable, EverySettingsKeyBelongsToAControlOrTheRunState) {
    std::set<std::string> keys;
    std::set<int> orders;
    for (const ControlEntry &entry : kFormControls) {
        if (!entry.Saved()) {
            EXPECT_TRUE(entry.key.empty()) << entry.Name();
            continue;
        }
        EXPECT_TRUE(entry.kind == ControlKind::Edit || entry.kind == ControlKind::CheckBox ||
                    entry.kind == ControlKind::RadioGroup || entry.kind == ControlKind::UpDown ||
                    entry.kind == ControlKind::CheckListBox || entry.kind == ControlKind::ComboBox)
            << entry.Name();
        EXPECT_TRUE(orders.insert(entry.order).second) << entry.Name();
    }
    for (const RunStateSetting &s : kRunStateSettings) {
        EXPECT_FALSE(s.note.empty());
        EXPECT_TRUE(orders.insert(s.order).second) << s.key;
    }
    EXPECT_EQ(*orders.begin(), 0);
    EXPECT_EQ(*orders.rbegin(), static_cast<int>(orders.size()) - 1);

    for (const SettingName &name : SettingsWriteOrder()) {
        // Keys are compared without regard to case, as the file does.
        EXPECT_TRUE(keys.insert(UpperAscii(name.section + "/" + name.key)).second) << name.key;
        if (name.control.empty()) {
            const bool runState = std::any_of(
                std::begin(kRunStateSettings), std::end(kRunStateSettings),
                [&](const auto &s) { return s.section == name.section && s.key == name.key; });
            EXPECT_TRUE(runState) << name.section << "/" << name.key;
        } else {
            const ControlEntry *entry = FindControlEntry(name.control);
            ASSERT_NE(entry, nullptr) << name.control;
            EXPECT_EQ(entry->section, name.section);
            EXPECT_EQ(name.key.rfind(entry->key, 0), 0u) << name.key;
        }
    }
    EXPECT_EQ(SettingsWriteOrder().size(), 73u + 13u);  // 14 keys for the hours of CheckListBox1
}

// Observers hear of each control whose shown state changed, once, with its new revision: from a
// front end setting a value, from a handler run through Invoke, and from a long command each
// time it lets the window process events. Setting what is already there announces nothing.
TEST(ControlChanges, AnnounceWhatChangedFromFrontEndsAndHandlers) {
    Window w;
    TForm1 &f = w.form;
    f.FormCreate();
    std::vector<std::string> heard;
    const int id = f.Subscribe(
        [&](const Control &c) { heard.push_back(c.name + "#" + std::to_string(c.Revision())); });

    f.SetValue("Edit4", "4.0");  // the text it has
    f.SetValue("RadioGroup1", "0");
    EXPECT_TRUE(heard.empty());

    const auto before = f.Edit4.Revision();
    f.SetValue("Edit4", "5.5");
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], "Edit4#" + std::to_string(before + 1));
    EXPECT_TRUE(f.PublishChanges().empty());

    // A handler writing fields: choosing Tokyo (35°41′) fills the three latitude fields.
    f.SetValue("ComboBox1", "13");
    heard.clear();
    f.Invoke([&] { f.ComboBox1Change(); });
    std::vector<std::string> names;
    for (const auto &h : heard) names.push_back(h.substr(0, h.find('#')));
    EXPECT_EQ(names, (std::vector<std::string>{"Edit3", "Edit5", "Edit23"}));
    EXPECT_EQ(f.Edit5.text, "41");

    // A long command: the window hears of the busy state and the progress at each step.
    heard.clear();
    std::vector<int> positions;
    w.host.onPendingEvents = [&] { positions.push_back(f.ProgressBar1.position); };
    const int idBar = f.Subscribe([&](const Control &c) {
        if (&c == &f.ProgressBar1) positions.push_back(-f.ProgressBar1.position);
    });
    {
        BusyScope busy(f, LongCommand::TimeOfDay);
        f.ProgressStart(2);
        f.ProgressStep();
        f.ProgressStep();
    }
    f.Unsubscribe(idBar);
    // Each announcement (negative) comes before the window processes its events.
    EXPECT_EQ(positions, (std::vector<int>{-1, 1, -2, 2}));
    const std::string stopEnabled = "Button10#" + std::to_string(f.Button10.Revision());
    EXPECT_NE(std::find(heard.begin(), heard.end(), stopEnabled), heard.end());
    // The end of the busy state is announced at the next occasion.
    EXPECT_EQ(f.PublishChanges().size(), 3u);  // Button2, Button3, Button10

    // An observer that sets another control: that change is announced in the same round.
    heard.clear();
    const int idEcho = f.Subscribe([&](const Control &c) {
        if (&c == &f.Edit2) f.SetValue("Edit7", "17.0");
    });
    f.SetValue("Edit2", "9.0");
    f.Unsubscribe(idEcho);
    f.Unsubscribe(id);
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard.back().rfind("Edit7#", 0), 0u);
    f.SetValue("Edit2", "10.0");
    EXPECT_EQ(heard.size(), 2u);  // unsubscribed
}

}  // namespace
}  // namespace pimu::app
