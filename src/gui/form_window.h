// The main window: the eight tabs of the window model, one widget per row of the control table
// (object name = component name), the progress bar and the window menu. The model is the only
// state: widgets are refreshed from its change announcements and write what the user does back
// through TForm1::SetValue and the handlers.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "app/form.h"

class QAction;
class QButtonGroup;
class QLabel;
class QTabWidget;
class QProgressBar;

namespace pimu::gui {

class QtUiHost;

class FormWindow : public QMainWindow {
    Q_OBJECT
public:
    FormWindow(app::TForm1 &form, QtUiHost &host, QWidget *parent = nullptr);
    ~FormWindow() override;

    // The widget of a component name; null when there is none.
    QWidget *Widget(std::string_view name) const;
    // Shows a control's current state.
    void Refresh(const app::Control &control);
    void RefreshAll();

    // Runs a handler as a click does: errors become message boxes, changes are announced.
    void Run(const std::function<void()> &handler);
    // Whether a handler runs (a long command, or a pick waiting for the user).
    bool Busy() const { return depth_ > 0; }
    // The handler behind a control's click; empty when the control has none (yet).
    std::function<void()> ClickHandler(std::string_view name);

    QAction *KeepOnTopAction() const { return keepOnTop_; }

    // Asked before the window closes; false keeps it open.
    std::function<bool()> closeRequested;
    // After every handler run (the drawing window shows what changed).
    std::function<void()> afterRun;
    // The window menu's "drawing window" item.
    std::function<void()> showDrawing;

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    QWidget *MakeRow(const app::ControlEntry &entry, QWidget *parent);
    QWidget *MakeWidget(const app::ControlEntry &entry, QWidget *parent);
    QWidget *MakePage(int tab);
    void PopupMenuAt(const std::string &menu, QPoint global);
    void SetValue(const std::string &name, const std::string &value,
                  const std::function<void()> &then = {});

    app::TForm1 &form_;
    QtUiHost &host_;
    QTabWidget *tabs_ = nullptr;
    QProgressBar *progress_ = nullptr;
    QAction *keepOnTop_ = nullptr;
    std::map<std::string, QWidget *, std::less<>> widgets_;
    std::map<std::string, QWidget *, std::less<>> rows_;     // what hides with a control
    std::map<std::string, QLabel *, std::less<>> captions_;  // label before an edit
    std::map<std::string, QButtonGroup *, std::less<>> radios_;
    int subscription_ = 0;
    int depth_ = 0;
};

}  // namespace pimu::gui
