#include "app/settings.h"

#include <algorithm>

#include "app/control_table.h"
#include "app/form.h"
#include "app/inifile.h"
#include "base/numconv.h"

namespace pimu::app {
namespace {

struct Key {
    SettingName name;
    const ControlEntry *entry = nullptr;  // null: run state
};

// Every key in write order: the saved controls of the table and the run state, sorted by their
// place in the file; a check list gives one key per item.
const std::vector<Key> &Keys() {
    static const std::vector<Key> keys = [] {
        std::vector<std::pair<int, Key>> byOrder;
        for (const ControlEntry &entry : kFormControls)
            if (entry.Saved())
                byOrder.push_back({entry.order,
                                   {{std::string(entry.section), std::string(entry.key),
                                     std::string(entry.Name()), -1},
                                    &entry}});
        for (const RunStateSetting &s : kRunStateSettings)
            byOrder.push_back(
                {s.order, {{std::string(s.section), std::string(s.key), std::string(), -1}}});
        std::stable_sort(byOrder.begin(), byOrder.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<Key> out;
        for (auto &[order, key] : byOrder) {
            if (!key.entry || key.entry->kind != ControlKind::CheckListBox) {
                out.push_back(std::move(key));
                continue;
            }
            const auto items = ControlItems(*key.entry);
            for (size_t i = 0; i < items.size(); ++i) {
                Key item = key;
                item.name.key += std::to_string(i);
                item.name.item = static_cast<int>(i);
                out.push_back(std::move(item));
            }
        }
        return out;
    }();
    return keys;
}

// A value as a message shows it: control characters made visible, long values shortened.
std::string Quoted(std::string_view value) {
    constexpr size_t kMaxBytes = 40;
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        // Cut between characters, never inside one.
        if (out.size() >= kMaxBytes && (c & 0xC0) != 0x80) return out + "…";
        if (c < 0x20 || c == 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Collects the values of the file that the window cannot show, with what it shows instead.
class Refusals {
public:
    void Add(const SettingName &name, std::string_view value, const std::string &taken) {
        lines_ += "\n" + name.section + "/" + name.key + "=" + Quoted(value) + " → " + taken;
    }
    bool Empty() const { return lines_.empty(); }
    std::string Message(const std::filesystem::path &file) const {
        return "設定ファイル " + file.filename().string() +
               " の次の値は使えないため、→ の値にしました．" + lines_;
    }

private:
    std::string lines_;
};

}  // namespace

const std::vector<SettingName> &SettingsWriteOrder() {
    static const std::vector<SettingName> order = [] {
        std::vector<SettingName> o;
        for (const Key &k : Keys()) o.push_back(k.name);
        return o;
    }();
    return order;
}

// What the file holds is taken as the window can show it. A number or switch that is not a
// whole number keeps the default; a radio-group index outside its items keeps the default (the
// index of another item would silently choose something else); an up-down position outside its
// range is clamped to the range. Each of them is reported in one message. Texts are shown as
// they are.
void TForm1::ReadSettings() {
    IniFile ini;
    if (memorySettings_) {
        ini = *memorySettings_;
    } else {
        try {
            ini = IniFile::Load(paths_.SettingsFile());
        } catch (const FileError &e) {
            // Start with the defaults; the unreadable file is left alone until the next save.
            ShowMessage(std::string(e.what()) + "\n既定の設定で起動します．");
        }
    }

    const ScreenSize screen = host_.Screen();
    const int centredLeft = (screen.width - Width) / 2;
    const int centredTop = (screen.height - Height) / 2;

    Refusals refused;
    for (const Key &k : Keys()) {
        const std::string &section = k.name.section;
        const std::string &key = k.name.key;
        if (!k.entry) {
            if (section == "Form" && key == "Left") {
                Left = ini.ReadInteger(section, key, centredLeft);
            } else if (section == "Form" && key == "Top") {
                Top = ini.ReadInteger(section, key, centredTop);
            } else {
                const std::string id = ini.ReadString(section, key, kDefaultProgID);
                // An empty class string could reach no CAD at all.
                ProgID = id.empty() ? kDefaultProgID : id;
            }
            continue;
        }
        const ControlEntry &entry = *k.entry;
        Control &control = *FindControl(entry.Name());
        if (entry.kind == ControlKind::Edit) {
            static_cast<TEdit &>(control).text =
                ini.ReadString(section, key, std::string(entry.text));
            continue;
        }
        const std::optional<std::string> raw = ini.Read(section, key);
        int v = 0;
        const bool number = raw && TryParseInteger(*raw, v);
        switch (entry.kind) {
            case ControlKind::CheckBox:
            case ControlKind::CheckListBox: {
                const bool on = number ? v != 0 : entry.checked;
                if (raw && !number) refused.Add(k.name, *raw, on ? "1" : "0");
                if (entry.kind == ControlKind::CheckBox)
                    static_cast<TCheckBox &>(control).checked = on;
                else
                    static_cast<TCheckListBox &>(control)
                        .checked[static_cast<size_t>(k.name.item)] = on;
                break;
            }
            case ControlKind::RadioGroup: {
                auto &r = static_cast<TRadioGroup &>(control);
                const bool shown = number && v >= 0 && v < static_cast<int>(r.items.size());
                r.itemIndex = shown ? v : entry.index;
                if (raw && !shown)
                    refused.Add(k.name, *raw,
                                std::to_string(entry.index) + " (" +
                                    r.items[static_cast<size_t>(entry.index)] + ")");
                break;
            }
            case ControlKind::ComboBox: {
                // A list keeps the index of its item, as a radio group does.
                auto &x = static_cast<TComboBox &>(control);
                const bool shown = number && v >= 0 && v < static_cast<int>(x.items.size());
                x.itemIndex = shown ? v : entry.index;
                x.text = x.itemIndex >= 0 ? x.items[static_cast<size_t>(x.itemIndex)] : "";
                if (raw && !shown)
                    refused.Add(k.name, *raw, std::to_string(entry.index) + " (" + x.text + ")");
                break;
            }
            case ControlKind::UpDown: {
                auto &u = static_cast<TUpDown &>(control);
                SetUpDownPosition(u, number ? v : entry.position);
                if (raw && (!number || u.position != v))
                    refused.Add(k.name, *raw, std::to_string(u.position));
                break;
            }
            default:
                break;  // the table keeps no other kind
        }
    }

    if (screen.width < Left + Width) Left = centredLeft;
    if (screen.height < Top + Height) Top = centredTop;
    RadioGroup4.itemIndex = RadioGroup2.itemIndex;

    // The true-solar-time tools start from these; a text that is not a number keeps the default.
    double v = 0.0;
    Longitude = TryParseNumber(Edit43.text, v) ? v : 135.0;
    EqOfTime = TryParseNumber(Edit44.text, v) ? v : 1.896;

    if (!refused.Empty()) ShowMessage(refused.Message(paths_.SettingsFile()));
}

void TForm1::WriteSettings() {
    if (memorySettings_) {
        StoreSettings(*memorySettings_);
        return;
    }
    const auto path = paths_.SettingsFile();
    // Start from the file as it is so that keys Pimu does not know survive.
    IniFile ini = IniFile::Load(path);
    StoreSettings(ini);
    ini.Save(path);
}

void TForm1::StoreSettings(IniFile &ini) const {
    for (const Key &k : Keys()) {
        const std::string &section = k.name.section;
        const std::string &key = k.name.key;
        if (!k.entry) {
            if (section == "Form" && key == "Left")
                ini.WriteInteger(section, key, Left);
            else if (section == "Form" && key == "Top")
                ini.WriteInteger(section, key, Top);
            else
                ini.Write(section, key, ProgID);
            continue;
        }
        const auto found = byName_.find(k.entry->Name());
        const Control &control = *found->second;
        switch (k.entry->kind) {
            case ControlKind::Edit:
                ini.Write(section, key, static_cast<const TEdit &>(control).text);
                break;
            case ControlKind::CheckBox:
                ini.WriteBool(section, key, static_cast<const TCheckBox &>(control).checked);
                break;
            case ControlKind::CheckListBox:
                ini.WriteBool(section, key,
                              static_cast<const TCheckListBox &>(control)
                                  .checked[static_cast<size_t>(k.name.item)]);
                break;
            case ControlKind::RadioGroup:
                ini.WriteInteger(section, key, static_cast<const TRadioGroup &>(control).itemIndex);
                break;
            case ControlKind::ComboBox:
                ini.WriteInteger(section, key, static_cast<const TComboBox &>(control).itemIndex);
                break;
            case ControlKind::UpDown:
                ini.WriteInteger(section, key, static_cast<const TUpDown &>(control).position);
                break;
            default:
                break;  // the table keeps no other kind
        }
    }
}

}  // namespace pimu::app
