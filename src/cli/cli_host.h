// What the window's host does, on a terminal: message boxes become lines on stderr
// ("Pimu: <text>"), the progress bar is drawn on stderr only when stderr is a terminal, and the
// CAD's command-line prompts are echoed with --verbose.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/uihost.h"

namespace pimu::cli {

// The one form of every message on stderr: "Pimu: <text>", later lines indented below it.
void PrintMessage(std::FILE *err, std::string_view text);

class CliUiHost : public app::UiHost {
public:
    explicit CliUiHost(std::FILE *err = stderr);
    ~CliUiHost() override;
    CliUiHost(const CliUiHost &) = delete;
    CliUiHost &operator=(const CliUiHost &) = delete;

    // Where ProcessPendingEvents reads the progress bar (maximum, position) and new CAD prompts.
    struct Observed {
        std::function<std::pair<int, int>()> progress;
        std::function<const std::vector<std::string> *()> prompts;
        std::function<void()> stop;  // what the window's stop buttons do
    };
    void Observe(Observed observed) { observed_ = std::move(observed); }
    void SetVerbose(bool verbose) { verbose_ = verbose; }
    // Forces the progress bar on or off (tests); by default it follows isatty(stderr).
    void SetProgressShown(bool shown) { progressShown_ = shown; }

    const std::vector<std::string> &messages() const { return messages_; }
    // Prints the prompts the CAD collected since the last call (with --verbose) and clears the
    // progress line.
    void Flush();

    app::MessageResult MessageBox(std::string_view owner, std::string_view caption,
                                  std::string_view text, app::MessageButtons buttons) override;
    void ProcessPendingEvents() override;
    bool StopRequested() override { return Interrupted(); }
    void MinimizeMainWindow() override {}
    void RestoreMainWindow() override {}
    void PlaceTopmost() override {}
    void ShowModal(std::string_view) override {}
    void SetClipboardText(std::string_view text) override { clipboard_ = text; }
    std::string ClipboardText() override { return clipboard_; }
    app::ScreenSize Screen() override { return {1920, 1080}; }
    std::optional<int> DisplayScalePercent() override { return 100; }

    // Ctrl-C (and SIGTERM, SIGHUP) while a command runs is the stop button: the next
    // ProcessPendingEvents calls Observed::stop. A second signal ends the program at once.
    void CatchInterrupt();
    bool Interrupted() const;

    // Prints one line on stderr as "Pimu: <text>", later lines of the text indented below it.
    void Say(std::string_view text);

private:
    void ClearProgress();
    void EchoPrompts();

    std::FILE *err_;
    bool catching_ = false;
    bool stopped_ = false;
    bool verbose_ = false;
    bool progressShown_;
    bool progressOnScreen_ = false;
    int lastDrawn_ = -1;
    std::size_t promptsShown_ = 0;
    Observed observed_;
    std::vector<std::string> messages_;
    std::string clipboard_;
};

}  // namespace pimu::cli
