// What only a real window can do. The Qt window and the command line implement it; tests use
// RecordingUiHost (recording_host.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pimu::app {

struct ScreenSize {
    int width = 0;
    int height = 0;
};

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageResult { Ok, Cancel, Yes, No };

class UiHost {
public:
    virtual ~UiHost() = default;

    // A modal message box. `owner` is the component name of the owning form ("Form1",
    // "TargetCADForm"); `caption` is normally the application title.
    virtual MessageResult MessageBox(std::string_view owner, std::string_view caption,
                                     std::string_view text,
                                     MessageButtons buttons = MessageButtons::Ok) = 0;

    // Let the window handle what is waiting (repaints, a click on a stop button). Long commands
    // call it between steps and test the run flag afterwards; a front end also shows the model's
    // current state here (ProgressBar1, labels, enabled buttons).
    virtual void ProcessPendingEvents() = 0;
    // Whether the user asked to stop where no stop button is live (the command line's Ctrl-C
    // while the buildings are acquired). Asked without handling any event.
    virtual bool StopRequested() { return false; }

    virtual void MinimizeMainWindow() = 0;
    virtual void RestoreMainWindow() = 0;
    // Keep the main window above other windows, position and size unchanged.
    virtual void PlaceTopmost() = 0;

    // Shows another form of the window model ("TargetCADForm") modally; returns when it closes.
    virtual void ShowModal(std::string_view formName) = 0;

    virtual void SetClipboardText(std::string_view text) = 0;
    virtual std::string ClipboardText() = 0;

    virtual ScreenSize Screen() = 0;
    // The first monitor's display scale in percent; nothing when the platform cannot tell.
    virtual std::optional<int> DisplayScalePercent() = 0;
};

}  // namespace pimu::app
