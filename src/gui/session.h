// One run of the desktop program: the window model over the embedded drawing, the main window
// with its tabs, the drawing window whose view answers the picks, and the start and shut-down
// sequences (settings read at start, written at close).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/embedded_cad.h"
#include "app/form.h"
#include "gui/drawing_window.h"
#include "gui/form_window.h"
#include "gui/qt_host.h"

class QApplication;

namespace pimu::gui {

struct GuiOptions {
    std::filesystem::path programFolder;  // settings file, lists and the DXF files written
    std::string executableName = "pimu-gui";
    std::optional<std::filesystem::path> settingsFile;
    std::optional<std::filesystem::path> drawing;  // opened at start
};

// The dark look, the Japanese font and the application title.
void SetUpApplication(QApplication &app);

class GuiSession {
public:
    explicit GuiSession(GuiOptions options);
    ~GuiSession();
    GuiSession(const GuiSession &) = delete;
    GuiSession &operator=(const GuiSession &) = delete;

    void Show();
    // The shut-down sequence, as closing either window runs it. False when the user kept the
    // program open (a command runs and the user did not want to stop it).
    bool Close();
    bool Closed() const { return closed_; }

    app::TForm1 &Form() { return form_; }
    FormWindow &Main() { return *main_; }
    DrawingWindow &Drawing() { return *drawing_; }
    QtUiHost &Host() { return host_; }
    cadlink::embedded::EmbeddedDocument &Document() { return cad_.Document(); }
    std::filesystem::path SettingsFile() const { return form_.Paths().SettingsFile(); }

private:
    void AfterRun();
    void ReadViewSettings();
    void WriteViewSettings();
    void ShowTargetCadDialog();

    GuiOptions options_;
    QtUiHost host_;
    app::EmbeddedCad cad_;
    app::TForm1 form_;
    std::unique_ptr<FormWindow> main_;
    std::unique_ptr<DrawingWindow> drawing_;
    bool closing_ = false;
    bool closePending_ = false;
    bool asking_ = false;
    bool closed_ = false;
};

}  // namespace pimu::gui
