#include "gui/qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScreen>
#include <cmath>

namespace pimu::gui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

}  // namespace

app::MessageResult QtUiHost::MessageBox(std::string_view, std::string_view caption,
                                        std::string_view text, app::MessageButtons buttons) {
    messages.emplace_back(text);
    const bool twoWay = buttons != app::MessageButtons::Ok;
    if (!answers.empty()) {
        const app::MessageResult r = answers.front();
        answers.pop_front();
        return r;
    }
    if (answerAll)
        return buttons == app::MessageButtons::YesNo ? app::MessageResult::Yes
                                                     : app::MessageResult::Ok;
    QMessageBox box(twoWay ? QMessageBox::Question : QMessageBox::Information, Q(caption), Q(text),
                    QMessageBox::NoButton, main_);
    switch (buttons) {
        case app::MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case app::MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case app::MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    box.setObjectName("MessageBox");
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return app::MessageResult::Cancel;
        case QMessageBox::Yes:
            return app::MessageResult::Yes;
        case QMessageBox::No:
            return app::MessageResult::No;
        default:
            return buttons == app::MessageButtons::OkCancel ? app::MessageResult::Ok
                   : buttons == app::MessageButtons::YesNo  ? app::MessageResult::No
                                                            : app::MessageResult::Ok;
    }
}

void QtUiHost::ProcessPendingEvents() {
    // Long commands call this between steps; what waits is handled, with a small time limit so
    // a stream of repaints cannot hold the command up.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (afterEvents) afterEvents();
}

void QtUiHost::MinimizeMainWindow() {
    if (main_) main_->showMinimized();
}

void QtUiHost::RestoreMainWindow() {
    if (main_) main_->showNormal();
}

void QtUiHost::PlaceTopmost() {
    wantTopmost_ = true;
    SetKeepOnTop(keepOnTop_);
}

void QtUiHost::SetKeepOnTop(bool on) {
    keepOnTop_ = on;
    if (!main_ || !wantTopmost_) return;
    const bool now = main_->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    if (now == on) return;
    const bool shown = main_->isVisible();
    main_->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (shown) main_->show();  // changing the flags hides a window
}

void QtUiHost::ShowModal(std::string_view formName) {
    if (showModal) showModal(formName);
}

void QtUiHost::SetClipboardText(std::string_view text) {
    QGuiApplication::clipboard()->setText(Q(text));
}

std::string QtUiHost::ClipboardText() {
    return QGuiApplication::clipboard()->text().toStdString();
}

app::ScreenSize QtUiHost::Screen() {
    const QScreen *s = QGuiApplication::primaryScreen();
    if (!s) return {1024, 768};
    const QRect r = s->availableGeometry();
    return {r.x() + r.width(), r.y() + r.height()};
}

std::optional<int> QtUiHost::DisplayScalePercent() {
    const QScreen *s = QGuiApplication::primaryScreen();
    if (!s) return std::nullopt;
    return static_cast<int>(std::lround(s->devicePixelRatio() * 100.0));
}

}  // namespace pimu::gui
