#include "gui/session.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <algorithm>

#include "app/inifile.h"

namespace pimu::gui {

namespace fs = std::filesystem;

namespace {

constexpr const char *kStopQuestion = "コマンドを実行中です．中止して終了しますか？";
constexpr const char *kViewSection = "DrawingWindow";
// The main window's size: the eight tabs with their captions unclipped.
constexpr int kMainWidth = 560;
constexpr int kMainHeight = 600;

std::shared_ptr<cadlink::embedded::EmbeddedDocument> NewDocument(const fs::path &folder) {
    return std::make_shared<cadlink::embedded::EmbeddedDocument>(cadlink::embedded::Drawing{},
                                                                 folder);
}

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

}  // namespace

void SetUpApplication(QApplication &app) {
    app.setApplicationName(app::kAppTitle);
    app.setApplicationDisplayName(app::kAppTitle);
    app.setStyle(QStyleFactory::create("Fusion"));
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), accent(0, 120, 215);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 62));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(120, 120, 120));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(40, 40, 42));
    app.setPalette(p);
    // IPA Gothic for the Japanese captions (fonts-ipafont-gothic).
    QFont font("IPAGothic");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    app.setFont(font);
}

GuiSession::GuiSession(GuiOptions options)
    : options_(std::move(options)),
      cad_(NewDocument(options_.programFolder)),
      form_(app::FormPaths(options_.programFolder, options_.executableName, options_.settingsFile),
            host_, &cad_) {
    main_ = std::make_unique<FormWindow>(form_, host_);
    drawing_ = std::make_unique<DrawingWindow>(cad_.Document());
    host_.SetMainWindow(main_.get());
    cad_.Document().SetInputSource(&drawing_->View());
    host_.afterEvents = [this] { drawing_->Refresh(); };
    host_.showModal = [this](std::string_view name) {
        if (name == "TargetCADForm") ShowTargetCadDialog();
    };
    main_->afterRun = [this] { AfterRun(); };
    main_->closeRequested = [this] { return Close(); };
    main_->showDrawing = [this] {
        drawing_->show();
        drawing_->raise();
    };
    drawing_->busy = [this] { return main_->Busy(); };
    drawing_->message = [this](const std::string &text) { form_.ShowMessage(text); };
    drawing_->closeRequested = [this] { return Close(); };

    // The model centres the window and checks its saved place against the window's real size.
    form_.Width = kMainWidth;
    form_.Height = kMainHeight;
    form_.FormCreate();
    // The saved place is kept on the screen on every side (the model checks right and bottom,
    // and a screen smaller than the window puts its top left corner on the screen).
    if (const QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        form_.Left = std::max(std::min(form_.Left, r.right() + 1 - kMainWidth), r.left());
        form_.Top = std::max(std::min(form_.Top, r.bottom() + 1 - kMainHeight), r.top());
    }
    main_->RefreshAll();
    main_->resize(kMainWidth, kMainHeight);
    main_->move(form_.Left, form_.Top);
    ReadViewSettings();
    if (options_.drawing) drawing_->Open(*options_.drawing);
}

GuiSession::~GuiSession() {
    cad_.Document().SetInputSource(nullptr);
    if (!closed_) {
        closing_ = true;
        try {
            form_.FormDestroy();
        } catch (...) {
        }
    }
}

void GuiSession::Show() {
    drawing_->show();
    main_->show();
    main_->raise();
}

void GuiSession::AfterRun() {
    main_->setWindowTitle(Q(form_.Caption));
    drawing_->Refresh();
    if (closePending_ && !main_->Busy()) {
        closePending_ = false;
        QTimer::singleShot(0, main_.get(), [this] { main_->close(); });
    }
}

bool GuiSession::Close() {
    if (closed_) return true;
    if (closing_) return false;
    if (main_->Busy()) {
        // Asked once; after a yes the window closes when the command has ended.
        if (closePending_ || asking_) return false;
        asking_ = true;
        const bool stop = host_.MessageBox("Form1", app::kAppTitle, kStopQuestion,
                                           app::MessageButtons::YesNo) == app::MessageResult::Yes;
        asking_ = false;
        if (stop) {
            closePending_ = true;
            form_.StopCommand();
            drawing_->View().CancelPick();
        }
        return false;
    }
    closing_ = true;
    const QPoint at = main_->pos();
    form_.Left = at.x();
    form_.Top = at.y();
    form_.FormDestroy();  // writes the settings; a failure is shown and leaves the old file
    WriteViewSettings();
    closed_ = true;
    closing_ = false;
    drawing_->hide();
    main_->hide();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return true;
}

// The drawing window's place and the window menu's switch, beside the window's own settings.
void GuiSession::ReadViewSettings() {
    try {
        const app::IniFile ini = app::IniFile::Load(SettingsFile());
        const QRect screen = QGuiApplication::primaryScreen()
                                 ? QGuiApplication::primaryScreen()->availableGeometry()
                                 : QRect(0, 0, 1024, 768);
        const int w = std::clamp(ini.ReadInteger(kViewSection, "Width", 900), 320, screen.width());
        const int h =
            std::clamp(ini.ReadInteger(kViewSection, "Height", 640), 240, screen.height());
        const int x = std::clamp(ini.ReadInteger(kViewSection, "Left", screen.left() + 40),
                                 screen.left(), screen.right() - w + 1);
        const int y = std::clamp(ini.ReadInteger(kViewSection, "Top", screen.top() + 40),
                                 screen.top(), screen.bottom() - h + 1);
        drawing_->resize(w, h);
        drawing_->move(x, y);
        main_->KeepOnTopAction()->setChecked(ini.ReadBool(kViewSection, "StayOnTop", true));
    } catch (const std::exception &) {
        // The window model has said what was wrong with the file already.
    }
}

void GuiSession::WriteViewSettings() {
    const fs::path file = SettingsFile();
    try {
        app::IniFile ini = app::IniFile::Load(file);
        ini.WriteInteger(kViewSection, "Left", drawing_->x());
        ini.WriteInteger(kViewSection, "Top", drawing_->y());
        ini.WriteInteger(kViewSection, "Width", drawing_->width());
        ini.WriteInteger(kViewSection, "Height", drawing_->height());
        ini.WriteBool(kViewSection, "StayOnTop", main_->KeepOnTopAction()->isChecked());
        ini.Save(file);
    } catch (const std::exception &e) {
        form_.ShowMessage(e.what());
    }
}

// The target-CAD dialog over the model's TTargetCADForm.
void GuiSession::ShowTargetCadDialog() {
    app::TTargetCADForm &t = form_.TargetCADForm;
    QDialog dialog(main_.get());
    dialog.setObjectName("TargetCADForm");
    dialog.setWindowTitle(Q(t.Caption));
    auto *grid = new QGridLayout(&dialog);
    auto *list = new QListWidget(&dialog);
    list->setObjectName("ListBox1");
    auto *edit1 = new QLineEdit(&dialog);
    edit1->setObjectName("Edit1");
    auto *edit2 = new QLineEdit(&dialog);
    edit2->setObjectName("Edit2");
    grid->addWidget(list, 0, 0, 1, 4);
    grid->addWidget(edit1, 1, 0, 1, 4);
    grid->addWidget(edit2, 2, 0, 1, 4);
    app::TButton *buttons[] = {&t.SpeedButton1, &t.SpeedButton2, &t.SpeedButton3, &t.Button1,
                               &t.Button2};
    std::vector<QPushButton *> widgets;
    for (int i = 0; i < 5; ++i) {
        auto *b = new QPushButton(&dialog);
        b->setObjectName(Q(buttons[i]->name));
        widgets.push_back(b);
        grid->addWidget(b, i < 3 ? 3 : 4, i < 3 ? i : i - 2);
    }
    bool filling = false;
    auto show = [&] {
        filling = true;
        list->clear();
        for (const std::string &s : t.ListBox1.items) list->addItem(Q(s));
        list->setCurrentRow(t.ListBox1.itemIndex);
        edit1->setText(Q(t.Edit1.text));
        edit2->setText(Q(t.Edit2.text));
        for (int i = 0; i < 5; ++i) {
            widgets[static_cast<size_t>(i)]->setText(Q(buttons[i]->caption));
            widgets[static_cast<size_t>(i)]->setEnabled(buttons[i]->enabled);
        }
        filling = false;
        if (t.modalResult != app::TTargetCADForm::ModalResult::None) dialog.accept();
    };
    auto run = [&](const std::function<void()> &h) {
        form_.Invoke(h);
        show();
    };
    QObject::connect(list, &QListWidget::currentRowChanged, &dialog, [&](int row) {
        if (filling) return;
        t.ListBox1.itemIndex = row;
        run([&] { t.ListBox1Click(); });
    });
    QObject::connect(edit1, &QLineEdit::textEdited, &dialog,
                     [&](const QString &s) { t.Edit1.text = s.toStdString(); });
    QObject::connect(edit2, &QLineEdit::textEdited, &dialog,
                     [&](const QString &s) { t.Edit2.text = s.toStdString(); });
    void (app::TTargetCADForm::*handlers[])() = {
        &app::TTargetCADForm::SpeedButton1Click, &app::TTargetCADForm::SpeedButton2Click,
        &app::TTargetCADForm::SpeedButton3Click, &app::TTargetCADForm::Button1Click,
        &app::TTargetCADForm::Button2Click};
    for (int i = 0; i < 5; ++i)
        QObject::connect(widgets[static_cast<size_t>(i)], &QPushButton::clicked, &dialog,
                         [&, h = handlers[i]] { run([&] { (t.*h)(); }); });
    t.modalResult = app::TTargetCADForm::ModalResult::None;
    show();  // SpeedButton4Click has loaded the list
    dialog.exec();
    main_->RefreshAll();
}

}  // namespace pimu::gui
