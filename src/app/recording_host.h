// Test doubles for UiHost and CadConnection that record every call.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/cad_connection.h"
#include "app/uihost.h"

namespace pimu::app {

class RecordingUiHost : public UiHost {
public:
    struct Message {
        std::string owner;
        std::string caption;
        std::string text;
        MessageButtons buttons;
    };

    std::vector<Message> messages;
    std::deque<MessageResult> answers;  // answers to give, in order; Ok/Yes when empty
    std::vector<std::string> calls;     // "ProcessPendingEvents", "MinimizeMainWindow", ...
    std::string clipboard;
    ScreenSize screen{1920, 1080};
    std::optional<int> scalePercent = 100;
    // Runs at every ProcessPendingEvents: stands for a click that arrives during a long command.
    std::function<void()> onPendingEvents;
    // Runs while a modal form is showing: stands for what the user does in it.
    std::function<void(std::string_view)> onShowModal;
    // Answers StopRequested (no stop when unset): stands for a Ctrl-C where no stop button is live.
    std::function<bool()> stopRequested;

    MessageResult MessageBox(std::string_view owner, std::string_view caption,
                             std::string_view text, MessageButtons buttons) override {
        messages.push_back({std::string(owner), std::string(caption), std::string(text), buttons});
        calls.push_back("MessageBox");
        if (!answers.empty()) {
            const MessageResult r = answers.front();
            answers.pop_front();
            return r;
        }
        return buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    }
    void ProcessPendingEvents() override {
        calls.push_back("ProcessPendingEvents");
        if (onPendingEvents) onPendingEvents();
    }
    bool StopRequested() override { return stopRequested && stopRequested(); }
    void MinimizeMainWindow() override { calls.push_back("MinimizeMainWindow"); }
    void RestoreMainWindow() override { calls.push_back("RestoreMainWindow"); }
    void PlaceTopmost() override { calls.push_back("PlaceTopmost"); }
    void ShowModal(std::string_view formName) override {
        calls.push_back("ShowModal " + std::string(formName));
        if (onShowModal) onShowModal(formName);
    }
    void SetClipboardText(std::string_view text) override {
        calls.push_back("SetClipboardText");
        clipboard = text;
    }
    std::string ClipboardText() override { return clipboard; }
    ScreenSize Screen() override { return screen; }
    std::optional<int> DisplayScalePercent() override {
        calls.push_back("DisplayScalePercent");
        return scalePercent;
    }
};

class RecordingCadConnection : public CadConnection {
public:
    std::vector<std::string> calls;
    bool running = true;
    bool revokeThrows = false;

    void RegisterMessageFilter() override { calls.push_back("RegisterMessageFilter"); }
    void RevokeMessageFilter() override {
        calls.push_back("RevokeMessageFilter");
        if (revokeThrows) throw std::runtime_error("revoke failed");
    }
    bool IsCadRunning(std::string_view progId) override {
        calls.push_back("IsCadRunning " + std::string(progId));
        return running;
    }
};

}  // namespace pimu::app
