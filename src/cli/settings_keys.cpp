#include "cli/settings_keys.h"

#include <map>

#include "app/command_table.h"
#include "app/control_table.h"
#include "app/settings.h"
#include "base/ascii.h"
#include "base/numconv.h"

namespace pimu::cli {
namespace {

// The plain options of the command line that set a key (the command line's own knowledge; what
// a key means is the control table's).
const std::map<std::string, std::string> &Options() {
    static const std::map<std::string, std::string> options = {
        {"Common/ido1", "--latitude D,M,S"},
        {"Common/ido2", "--latitude D,M,S"},
        {"Common/ido3", "--latitude D,M,S"},
        {"Common/makita", "--north"},
        {"Common/takasa", "--plane-height"},
        {"Tokutei/takasa", "--plane-height (points)"},
        {"Common/takasa2", "--text-height"},
        {"Common/kisetsu", "--season"},
        {"Common/Jimen", "--volumes-on-ground"},
        {"Jikoku/kaishi", "--start"},
        {"Jikoku/owari", "--end"},
        {"Jikoku/kankaku", "--interval"},
        {"Touji/kankaku", "--step (points)"},
        {"Touji/kankaku2", "--step"},
        {"Touji/kankaku3", "--step (wall)"},
        {"Kisei/chiiki", "--zone / --limits"},
        {"Kisei/jikan5", "--limits H1,H2"},
        {"Kisei/jikan10", "--limits H1,H2"},
        {"Kisei/takasa", "--plane-height (regulation)"},
        {"Kisei/kankaku", "--step (regulation)"},
        {"Kisei/douro", "--open-side X,Y,WIDTH (per side)"},
        {"Touji/chk", "--hours"},
        {"Bairitsu/useDMS", "--dms"},
        {"Bairitsu/wdigit", "--three-decimals"},
        {"Jikoku/keido", "--longitude (solar-noon)"},
        {"Jikoku/kinjisa", "--eot (solar-noon)"},
    };
    return options;
}

// How a control's value is read.
SettingKind KindOf(const app::ControlEntry &e) {
    switch (e.kind) {
        case app::ControlKind::Edit: {
            double v = 0.0;
            return TryParseNumber(std::string(e.text), v) ? SettingKind::Number : SettingKind::Text;
        }
        case app::ControlKind::CheckBox:
        case app::ControlKind::CheckListBox:
            return SettingKind::Switch;
        default:
            return SettingKind::Choice;
    }
}

// The window's label of a control: its caption and unit, or its group's caption.
std::string FieldOf(const app::ControlEntry &e) {
    std::string field(e.caption);
    if (!e.suffix.empty()) field += (field.empty() ? "" : " ") + std::string(e.suffix);
    if (field.empty() && !e.group.empty())
        if (const app::ControlEntry *g = app::FindControlEntry(e.group)) field = g->caption;
    return field;
}

// The subcommands whose results a key changes: those of the commands that read it.
std::string CommandsReading(std::string_view listed) {
    std::string out;
    for (const app::CommandEntry &c : app::kFormCommands) {
        if (c.cli.empty()) continue;
        bool reads = false;
        std::string_view rest = c.inputs;
        while (!rest.empty() && !reads) {
            const auto bar = rest.find('|');
            const std::string_view key = rest.substr(0, bar);
            reads = key == listed ||
                    (key.ends_with('*') && listed.starts_with(key.substr(0, key.size() - 1)));
            if (bar == std::string_view::npos) break;
            rest.remove_prefix(bar + 1);
        }
        if (!reads) continue;
        const std::string cli(c.cli);
        if ((", " + out + ",").find(", " + cli + ",") != std::string::npos) continue;
        out += (out.empty() ? "" : ", ") + cli;
    }
    return out;
}

std::vector<SettingKey> MakeKeys() {
    std::vector<SettingKey> keys;
    for (const app::SettingName &n : app::SettingsWriteOrder()) {
        SettingKey k;
        k.section = n.section;
        k.key = n.key;
        const app::ControlEntry *e = n.control.empty() ? nullptr : app::FindControlEntry(n.control);
        if (e) {
            k.kind = KindOf(*e);
            k.field = FieldOf(*e);
            k.what = e->note;
            if (n.item >= 0) {
                const std::vector<std::string> items = app::ControlItems(*e);
                const std::string item = items.at(static_cast<std::size_t>(n.item));
                k.field = item;
                k.what = "draw the " + item + " line: " + std::string(e->note);
            }
            // A check list's items are listed by the list's key.
            k.commands = CommandsReading(
                n.item >= 0 ? std::string(e->section) + "/" + std::string(e->key) : k.Name());
        } else {
            for (const app::RunStateSetting &r : app::kRunStateSettings)
                if (r.section == n.section && r.key == n.key) k.what = r.note;
            k.kind = n.section == "Form" ? SettingKind::Number : SettingKind::Text;
        }
        const std::string optionKey =
            e && n.item >= 0 ? std::string(e->section) + "/" + std::string(e->key) : k.Name();
        if (const auto o = Options().find(optionKey); o != Options().end()) k.option = o->second;
        keys.push_back(std::move(k));
    }
    keys.push_back({std::string(kBuildingLayersSection), std::string(kBuildingLayersKey),
                    SettingKind::Text, "",
                    "building layers when --buildings is not given, comma separated (command "
                    "line only)",
                    "--buildings", "every command that acquires the buildings"});
    return keys;
}

}  // namespace

const std::vector<SettingKey> &SettingKeys() {
    static const std::vector<SettingKey> keys = MakeKeys();
    return keys;
}

const SettingKey *FindSettingKey(std::string_view section, std::string_view key) {
    for (const SettingKey &k : SettingKeys())
        if (UpperAscii(k.section) == UpperAscii(section) && UpperAscii(k.key) == UpperAscii(key))
            return &k;
    return nullptr;
}

}  // namespace pimu::cli
