// Reading and setting controls by name from text.
#include <sstream>
#include <stdexcept>

#include "app/form.h"
#include "base/numconv.h"

namespace pimu::app {
namespace {

[[noreturn]] void Refuse(std::string_view name, std::string_view value, std::string_view why) {
    throw std::invalid_argument(std::string(name) + " に \"" + std::string(value) +
                                "\" は設定できません (" + std::string(why) + ")");
}

bool ParseFlag(std::string_view name, std::string_view v) {
    if (v == "1" || v == "true" || v == "on") return true;
    if (v == "0" || v == "false" || v == "off") return false;
    Refuse(name, v, "1 または 0");
}

// An index into items: the number itself, or the position of an item with this text.
int IndexOf(std::string_view name, std::string_view v, const std::vector<std::string> &items) {
    int index = -1;
    if (!TryParseInteger(v, index)) {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == v) return static_cast<int>(i);
        Refuse(name, v, "項目の番号または項目名");
    }
    if (index < -1 || index >= static_cast<int>(items.size())) Refuse(name, v, "範囲外");
    return index;
}

}  // namespace

std::string TForm1::Value(std::string_view name) {
    Control *c = FindControl(name);
    if (!c) throw std::invalid_argument("コントロール " + std::string(name) + " はありません");
    if (auto *e = dynamic_cast<TEdit *>(c)) return e->text;
    if (auto *b = dynamic_cast<TCheckBox *>(c)) return b->checked ? "1" : "0";
    if (auto *r = dynamic_cast<TRadioGroup *>(c)) return std::to_string(r->itemIndex);
    if (auto *x = dynamic_cast<TComboBox *>(c)) return x->text;
    if (auto *u = dynamic_cast<TUpDown *>(c)) return std::to_string(u->position);
    if (auto *p = dynamic_cast<TPageControl *>(c)) return std::to_string(p->activePageIndex);
    if (auto *p = dynamic_cast<TProgressBar *>(c)) return std::to_string(p->position);
    if (auto *l = dynamic_cast<TCheckListBox *>(c)) {
        std::string out;
        for (size_t i = 0; i < l->checked.size(); ++i)
            out += (i ? "," : "") + std::string(l->checked[i] ? "1" : "0");
        return out;
    }
    if (auto *m = dynamic_cast<TMemo *>(c)) {
        std::string out;
        for (const auto &line : m->lines) out += line + "\n";
        return out;
    }
    return c->caption;
}

void TForm1::SetValue(std::string_view name, std::string_view value) {
    Control *c = FindControl(name);
    if (!c) throw std::invalid_argument("コントロール " + std::string(name) + " はありません");
    if (auto *e = dynamic_cast<TEdit *>(c)) {
        e->text = value;
    } else if (auto *b = dynamic_cast<TCheckBox *>(c)) {
        b->checked = ParseFlag(name, value);
    } else if (auto *r = dynamic_cast<TRadioGroup *>(c)) {
        r->itemIndex = IndexOf(name, value, r->items);
    } else if (auto *x = dynamic_cast<TComboBox *>(c)) {
        x->itemIndex = IndexOf(name, value, x->items);
        x->text = x->itemIndex >= 0 ? x->items[static_cast<size_t>(x->itemIndex)] : "";
    } else if (auto *u = dynamic_cast<TUpDown *>(c)) {
        int position = 0;
        if (!TryParseInteger(value, position)) Refuse(name, value, "整数");
        SetUpDownPosition(*u, position);
    } else if (auto *p = dynamic_cast<TPageControl *>(c)) {
        PageControl1Change(IndexOf(name, value, p->tabs));
    } else if (auto *l = dynamic_cast<TCheckListBox *>(c)) {
        std::vector<bool> checked;
        std::stringstream in{std::string(value)};
        for (std::string part; std::getline(in, part, ',');)
            checked.push_back(ParseFlag(name, part));
        if (checked.size() != l->items.size()) Refuse(name, value, "項目の数");
        l->checked = checked;
    } else if (auto *m = dynamic_cast<TMemo *>(c)) {
        m->lines.clear();
        std::stringstream in{std::string(value)};
        for (std::string line; std::getline(in, line);) m->lines.push_back(line);
    } else if (dynamic_cast<TButton *>(c) || dynamic_cast<TLabel *>(c) ||
               dynamic_cast<TGroupBox *>(c)) {
        c->caption = value;
    } else {
        Refuse(name, value, "文字で設定できないコントロール");
    }
    PublishChanges();
}

}  // namespace pimu::app
