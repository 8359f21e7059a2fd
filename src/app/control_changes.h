// Tells a window which controls changed. The model's controls are plain values that handlers
// write directly; what changed is found by comparing each control with the state last announced,
// and announced at the points where a window shows the model: after a handler, after a front end
// set a value, and before every visible call to the UiHost (AnnouncingHost).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/controls.h"
#include "app/uihost.h"

namespace pimu::app {

class ControlChanges {
public:
    using Observer = std::function<void(const Control &)>;

    // The controls to watch; their current state counts as announced.
    void Watch(std::vector<Control *> controls);
    // Each control that differs from its last announced state gets the next revision and goes to
    // every observer, in the order of the controls. Returns those controls. A publish asked for
    // while observers run (an observer that sets a value) is done when they return.
    std::vector<const Control *> Publish();

    int Subscribe(Observer observer);
    void Unsubscribe(int id);

private:
    std::vector<Control *> controls_;
    std::vector<std::pair<int, Observer>> observers_;
    int nextId_ = 1;
    bool publishing_ = false;
    bool again_ = false;
};

// The front end's UiHost, announcing the changes first: whenever the window is asked to show
// something (a message box, pending events, a modal form, minimise, restore), it shows the
// model's current state.
class AnnouncingHost : public UiHost {
public:
    AnnouncingHost(UiHost &host, ControlChanges &changes) : host_(host), changes_(changes) {}

    MessageResult MessageBox(std::string_view owner, std::string_view caption,
                             std::string_view text, MessageButtons buttons) override {
        changes_.Publish();
        return host_.MessageBox(owner, caption, text, buttons);
    }
    void ProcessPendingEvents() override {
        changes_.Publish();
        host_.ProcessPendingEvents();
    }
    bool StopRequested() override { return host_.StopRequested(); }
    void MinimizeMainWindow() override {
        changes_.Publish();
        host_.MinimizeMainWindow();
    }
    void RestoreMainWindow() override {
        changes_.Publish();
        host_.RestoreMainWindow();
    }
    void PlaceTopmost() override {
        changes_.Publish();
        host_.PlaceTopmost();
    }
    void ShowModal(std::string_view formName) override {
        changes_.Publish();
        host_.ShowModal(formName);
    }
    void SetClipboardText(std::string_view text) override { host_.SetClipboardText(text); }
    std::string ClipboardText() override { return host_.ClipboardText(); }
    ScreenSize Screen() override { return host_.Screen(); }
    std::optional<int> DisplayScalePercent() override { return host_.DisplayScalePercent(); }

private:
    UiHost &host_;
    ControlChanges &changes_;
};

}  // namespace pimu::app
