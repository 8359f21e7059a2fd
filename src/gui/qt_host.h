// The window model's UiHost over Qt: message boxes, event pumping, the main window's place on
// the screen and the clipboard.
#pragma once

#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/uihost.h"

namespace pimu::gui {

class QtUiHost : public app::UiHost {
public:
    // The window message boxes belong to and that is minimised, restored and kept on top.
    void SetMainWindow(QWidget *window) { main_ = window; }

    app::MessageResult MessageBox(std::string_view owner, std::string_view caption,
                                  std::string_view text, app::MessageButtons buttons) override;
    void ProcessPendingEvents() override;
    void MinimizeMainWindow() override;
    void RestoreMainWindow() override;
    void PlaceTopmost() override;
    void ShowModal(std::string_view formName) override;
    void SetClipboardText(std::string_view text) override;
    std::string ClipboardText() override;
    app::ScreenSize Screen() override;
    std::optional<int> DisplayScalePercent() override;

    // Whether the main window stays above other windows (the window menu's switch).
    void SetKeepOnTop(bool on);
    bool KeepOnTop() const { return keepOnTop_; }

    // Called after each round of pending events (the drawing view shows what was inserted).
    std::function<void()> afterEvents;
    // Shows another form of the window model modally.
    std::function<void(std::string_view)> showModal;

    // For scripted runs and tests: answers queued here are given instead of showing a box; every
    // message, shown or answered, is kept in `messages`.
    std::deque<app::MessageResult> answers;
    bool answerAll = false;  // with no queued answer: Ok / Yes without showing anything
    std::vector<std::string> messages;

private:
    QPointer<QWidget> main_;
    bool keepOnTop_ = true;
    bool wantTopmost_ = false;
};

}  // namespace pimu::gui
