#include "app/control_changes.h"

#include <algorithm>

namespace pimu::app {

void ControlChanges::Watch(std::vector<Control *> controls) {
    controls_ = std::move(controls);
    for (Control *c : controls_) c->TakeChange();
}

std::vector<const Control *> ControlChanges::Publish() {
    std::vector<const Control *> changed;
    if (publishing_) {
        again_ = true;
        return changed;
    }
    publishing_ = true;
    try {
        do {
            again_ = false;
            std::vector<const Control *> round;
            for (Control *c : controls_) {
                if (!c->TakeChange()) continue;
                ++c->revision_;
                round.push_back(c);
            }
            // A copy: an observer may subscribe or unsubscribe while it runs.
            const auto observers = observers_;
            for (const Control *c : round)
                for (const auto &o : observers) o.second(*c);
            for (const Control *c : round)
                if (std::find(changed.begin(), changed.end(), c) == changed.end())
                    changed.push_back(c);
        } while (again_);
    } catch (...) {
        publishing_ = false;
        throw;
    }
    publishing_ = false;
    return changed;
}

int ControlChanges::Subscribe(Observer observer) {
    observers_.emplace_back(nextId_, std::move(observer));
    return nextId_++;
}

void ControlChanges::Unsubscribe(int id) {
    std::erase_if(observers_, [id](const auto &o) { return o.first == id; });
}

}  // namespace pimu::app
