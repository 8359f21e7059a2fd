#include "gui/form_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "gui/qt_host.h"

namespace pimu::gui {

namespace {

using app::ControlEntry;
using app::ControlKind;

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// The wireframe preview: paints the model's Image2Picture as it is now.
class PreviewWidget : public QWidget {
public:
    PreviewWidget(const geometry::PreviewPicture &picture, QWidget *parent)
        : QWidget(parent), picture_(picture) {
        setFixedSize(geometry::kPreviewWidth, geometry::kPreviewHeight);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.fillRect(rect(), QColor::fromRgb(picture_.background));
        for (const geometry::PictureSegment &s : picture_.segments) {
            p.setPen(QColor::fromRgb(s.colour));
            p.drawLine(s.x1, s.y1, s.x2, s.y2);
        }
    }

private:
    const geometry::PreviewPicture &picture_;
};

// Passes each typed character through the window's input rules (digits only, Enter moves on).
class KeyRules : public QObject {
public:
    KeyRules(app::TForm1 &form, FormWindow &window)
        : QObject(&window), form_(form), window_(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto *key = static_cast<QKeyEvent *>(event);
        char32_t ch = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            ch = U'\r';
        else if (!key->text().isEmpty())
            ch = key->text().toUcs4().value(0);
        if (ch == 0 || ch == 8 || ch == 127) return false;  // editing keys stay the edit's own
        const std::string name = watched->objectName().toStdString();
        const std::string before = form_.ActiveControl;
        bool accepted;
        if (name == "Edit10")
            accepted = form_.Edit10KeyPress(ch);
        else if (name == "Edit26")
            accepted = form_.Edit26KeyPress(ch);
        else
            accepted = form_.KeyPress(name, ch);
        form_.PublishChanges();
        if (!accepted) {
            if (form_.ActiveControl != before && !form_.ActiveControl.empty())
                if (QWidget *next = window_.Widget(form_.ActiveControl)) next->setFocus();
            return true;
        }
        return false;
    }

private:
    app::TForm1 &form_;
    FormWindow &window_;
};

// A grid or text area: shown below a tab's two columns, at the page's full width.
bool Wide(const ControlEntry &s) {
    return s.kind == ControlKind::StringGrid || s.kind == ControlKind::Memo;
}

// How many lines a control takes, to share a tab's controls between its two columns.
int Weight(const ControlEntry &s) {
    const int n = static_cast<int>(app::ControlItems(s).size());
    const int cols = std::max(1, s.columns);
    switch (s.kind) {
        case ControlKind::RadioGroup:
            return (n + cols - 1) / cols + 1;
        case ControlKind::CheckListBox:
            return (n + cols - 1) / cols;
        case ControlKind::StringGrid:
            return 8;
        case ControlKind::Memo:
            return 14;
        case ControlKind::Panel:
            return 9;
        case ControlKind::GroupBox:
            return 1;
        default:
            return s.visible ? 1 : 0;
    }
}

}  // namespace

FormWindow::FormWindow(app::TForm1 &form, QtUiHost &host, QWidget *parent)
    : QMainWindow(parent), form_(form), host_(host) {
    setObjectName("Form1");
    auto *central = new QWidget(this);
    auto *box = new QVBoxLayout(central);
    box->setContentsMargins(2, 2, 2, 2);
    tabs_ = new QTabWidget(central);
    tabs_->setObjectName("PageControl1");
    for (int t = 0; t < static_cast<int>(form_.PageControl1.tabs.size()); ++t)
        tabs_->addTab(MakePage(t), Q(form_.PageControl1.tabs[static_cast<size_t>(t)]));
    widgets_["PageControl1"] = tabs_;
    box->addWidget(tabs_, 1);
    progress_ = new QProgressBar(central);
    progress_->setObjectName("ProgressBar1");
    progress_->setTextVisible(false);
    progress_->setFixedHeight(14);
    widgets_["ProgressBar1"] = progress_;
    box->addWidget(progress_);
    setCentralWidget(central);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int i) {
        if (i != form_.PageControl1.activePageIndex) SetValue("PageControl1", std::to_string(i));
    });

    QMenu *file = menuBar()->addMenu("ファイル(&F)");
    file->addAction("終了(&X)", this, &QWidget::close);
    QMenu *win = menuBar()->addMenu("表示(&V)");
    keepOnTop_ = win->addAction("常に手前に表示(&T)");
    keepOnTop_->setObjectName("KeepOnTop");
    keepOnTop_->setCheckable(true);
    keepOnTop_->setChecked(host_.KeepOnTop());
    connect(keepOnTop_, &QAction::toggled, this, [this](bool on) { host_.SetKeepOnTop(on); });
    win->addAction("図面ウィンドウ(&D)", this, [this] {
        if (showDrawing) showDrawing();
    });

    RefreshAll();
    subscription_ = form_.Subscribe([this](const app::Control &c) { Refresh(c); });
}

FormWindow::~FormWindow() {
    form_.Unsubscribe(subscription_);
}

QWidget *FormWindow::Widget(std::string_view name) const {
    const auto it = widgets_.find(name);
    return it == widgets_.end() ? nullptr : it->second;
}

// ---- Building the tabs from the control table ----------------------------------------------

QWidget *FormWindow::MakePage(int tab) {
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto *page = new QWidget;
    page->setObjectName(QString("TabSheet%1").arg(tab + 1));
    // Two columns of controls; grids and text areas below them at the page's full width, so
    // that their columns show.
    auto *outer = new QVBoxLayout(page);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->setSpacing(6);
    auto *columns = new QHBoxLayout;
    columns->setSpacing(10);
    outer->addLayout(columns);
    QVBoxLayout *column[2] = {new QVBoxLayout, new QVBoxLayout};
    for (QVBoxLayout *c : column) {
        c->setSpacing(4);
        columns->addLayout(c, 1);
    }
    std::vector<const ControlEntry *> top;
    int total = 0;
    for (const ControlEntry &s : app::kFormControls) {
        if (s.tab != tab || !s.group.empty() || s.kind == ControlKind::UpDown) continue;
        if (Wide(s)) continue;
        top.push_back(&s);
        int w = Weight(s);
        if (s.kind == ControlKind::GroupBox)
            for (const ControlEntry &c : app::kFormControls)
                if (c.group == s.Name()) w += Weight(c);
        total += w;
    }
    int used = 0;
    for (const ControlEntry *s : top) {
        int w = Weight(*s);
        if (s->kind == ControlKind::GroupBox)
            for (const ControlEntry &c : app::kFormControls)
                if (c.group == s->Name()) w += Weight(c);
        const int col = (used > 0 && used + w / 2 > (total + 1) / 2) ? 1 : 0;
        column[col]->addWidget(MakeRow(*s, page));
        used += w;
    }
    bool wide = false;
    for (const ControlEntry &s : app::kFormControls)
        if (s.tab == tab && s.group.empty() && Wide(s)) {
            outer->addWidget(MakeRow(s, page), 1);
            wide = true;
        }
    for (QVBoxLayout *c : column) c->addStretch(1);
    if (!wide) outer->addStretch(1);
    scroll->setWidget(page);
    return scroll;
}

// One control with its labels; an edit takes the up-down that shows in it.
QWidget *FormWindow::MakeRow(const ControlEntry &entry, QWidget *parent) {
    const std::string name(entry.Name());
    if (entry.kind != ControlKind::Edit) {
        QWidget *w = MakeWidget(entry, parent);
        rows_[name] = w;
        return w;
    }
    auto *row = new QWidget(parent);
    auto *h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(4);
    auto *caption = new QLabel(Q(entry.caption), row);
    caption->setMinimumWidth(caption->sizeHint().width());
    captions_[name] = caption;
    h->addWidget(caption);
    h->addWidget(MakeWidget(entry, row), 1);
    for (const ControlEntry &u : app::kFormControls)
        if (u.kind == ControlKind::UpDown && u.associate == entry.Name())
            h->addWidget(MakeWidget(u, row));
    if (!entry.suffix.empty()) h->addWidget(new QLabel(Q(entry.suffix), row));
    rows_[name] = row;
    return row;
}

QWidget *FormWindow::MakeWidget(const ControlEntry &entry, QWidget *parent) {
    const std::string name(entry.Name());
    QWidget *w = nullptr;
    switch (entry.kind) {
        case ControlKind::Button: {
            auto *b = new QPushButton(parent);
            connect(b, &QPushButton::clicked, this, [this, name] {
                if (auto h = ClickHandler(name)) Run(h);
            });
            if (entry.Name() == "Button2") {
                b->setContextMenuPolicy(Qt::CustomContextMenu);
                connect(b, &QWidget::customContextMenuRequested, this, [this, b](QPoint at) {
                    Run([this] { form_.PopupMenu2Popup(); });
                    PopupMenuAt("PopupMenu2", b->mapToGlobal(at));
                });
            }
            w = b;
            break;
        }
        case ControlKind::Label: {
            auto *l = new QLabel(parent);
            l->setWordWrap(true);
            w = l;
            break;
        }
        case ControlKind::GroupBox:
        case ControlKind::Panel: {
            QWidget *g;
            if (entry.kind == ControlKind::GroupBox) {
                g = new QGroupBox(parent);
            } else {
                auto *f = new QFrame(parent);
                f->setFrameShape(QFrame::StyledPanel);
                g = f;
            }
            QBoxLayout *inner = entry.kind == ControlKind::Panel
                                    ? static_cast<QBoxLayout *>(new QHBoxLayout(g))
                                    : new QVBoxLayout(g);
            inner->setContentsMargins(6, 4, 6, 4);
            inner->setSpacing(3);
            bool empty = true;
            for (const ControlEntry &c : app::kFormControls) {
                if (c.group != entry.Name()) continue;
                empty = false;
                if (c.kind == ControlKind::UpDown && !c.associate.empty()) continue;
                inner->addWidget(MakeRow(c, g));
            }
            // The about panel holds nothing but its build label.
            if (empty && !entry.hint.empty()) inner->addWidget(new QLabel(Q(entry.hint), g));
            if (entry.kind == ControlKind::GroupBox) inner->addStretch(1);
            w = g;
            break;
        }
        case ControlKind::Image:
            w = new PreviewWidget(form_.Image2Picture, parent);
            break;
        case ControlKind::Edit: {
            auto *e = new QLineEdit(parent);
            e->setMinimumWidth(60);
            e->setMaximumWidth(entry.tab == 5 ? 200 : 130);
            e->installEventFilter(new KeyRules(form_, *this));
            connect(e, &QLineEdit::textEdited, this, [this, name](const QString &t) {
                SetValue(name, t.toStdString(), ClickHandler(name));
            });
            w = e;
            break;
        }
        case ControlKind::CheckBox: {
            auto *c = new QCheckBox(parent);
            connect(c, &QCheckBox::clicked, this,
                    [this, name](bool on) { SetValue(name, on ? "1" : "0", ClickHandler(name)); });
            w = c;
            break;
        }
        case ControlKind::RadioGroup: {
            auto *g = new QGroupBox(parent);
            auto *grid = new QGridLayout(g);
            grid->setContentsMargins(6, 2, 6, 2);
            auto *group = new QButtonGroup(g);
            const auto items = app::ControlItems(entry);
            const int cols = std::max(1, entry.columns);
            for (int i = 0; i < static_cast<int>(items.size()); ++i) {
                auto *r = new QRadioButton(Q(items[static_cast<size_t>(i)]), g);
                r->setObjectName(Q(name) + QString("_%1").arg(i));
                group->addButton(r, i);
                grid->addWidget(r, i / cols, i % cols);
            }
            connect(group, &QButtonGroup::idClicked, this,
                    [this, name](int i) { SetValue(name, std::to_string(i), ClickHandler(name)); });
            radios_[name] = group;
            w = g;
            break;
        }
        case ControlKind::CheckListBox: {
            auto *l = new QListWidget(parent);
            const auto items = app::ControlItems(entry);
            const int cols = std::max(1, entry.columns);
            l->setFlow(QListView::TopToBottom);
            l->setWrapping(true);
            l->setResizeMode(QListView::Adjust);
            for (const std::string &it : items) {
                auto *item = new QListWidgetItem(Q(it), l);
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            }
            const int rows = (static_cast<int>(items.size()) + cols - 1) / cols;
            l->setFixedHeight(rows * (l->fontMetrics().height() + 4) + 8);
            connect(l, &QListWidget::itemChanged, this, [this, name, l](QListWidgetItem *) {
                std::string v;
                for (int i = 0; i < l->count(); ++i)
                    v += std::string(i ? "," : "") +
                         (l->item(i)->checkState() == Qt::Checked ? "1" : "0");
                SetValue(name, v, ClickHandler(name));
            });
            w = l;
            break;
        }
        case ControlKind::ComboBox: {
            auto *c = new QComboBox(parent);
            c->setMaxVisibleItems(std::max(8, entry.rows));
            // Long items (the zones of the regulation check) must not widen the window: the box
            // keeps a modest width and its list opens as wide as its items.
            c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            c->setMinimumContentsLength(14);
            connect(c, QOverload<int>::of(&QComboBox::activated), this,
                    [this, name](int i) { SetValue(name, std::to_string(i), ClickHandler(name)); });
            w = c;
            break;
        }
        case ControlKind::UpDown: {
            auto *box = new QWidget(parent);
            auto *v = new QVBoxLayout(box);
            v->setContentsMargins(0, 0, 0, 0);
            v->setSpacing(0);
            for (auto [arrow, button] : {std::pair{Qt::UpArrow, app::UpDownButton::Next},
                                         std::pair{Qt::DownArrow, app::UpDownButton::Previous}}) {
                auto *t = new QToolButton(box);
                t->setArrowType(arrow);
                t->setFixedSize(18, 12);
                t->setAutoRepeat(true);
                connect(t, &QToolButton::clicked, this, [this, name, button = button] {
                    Run([this, name, button] {
                        if (name == "UpDown3") return form_.UpDown3Click(button);
                        if (name == "UpDown4") return form_.UpDown4Click(button);
                        auto &u = form_.Get<app::TUpDown>(name);
                        form_.SetUpDownPosition(
                            u, u.position + (button == app::UpDownButton::Next ? 1 : -1));
                    });
                });
                v->addWidget(t);
            }
            w = box;
            break;
        }
        case ControlKind::StringGrid: {
            auto *t = new QTableWidget(parent);
            t->setMinimumHeight(140);
            t->verticalHeader()->setVisible(false);
            t->setEditTriggers(QAbstractItemView::NoEditTriggers);
            t->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(t, &QWidget::customContextMenuRequested, this, [this, t, name](QPoint at) {
                form_.ActiveControl = name;
                PopupMenuAt("PopupMenu1", t->viewport()->mapToGlobal(at));
            });
            // The selected cell (the header row is the model's row 0).
            connect(t, &QTableWidget::currentCellChanged, this, [this, name](int row, int col) {
                if (row < 0) return;
                Run([this, name, row, col] {
                    auto &grid = form_.Get<app::TStringGrid>(name);
                    grid.row = row + 1;
                    grid.col = std::max(col, 0);
                    if (auto h = ClickHandler(name)) h();
                });
            });
            w = t;
            break;
        }
        case ControlKind::Memo: {
            auto *m = new QPlainTextEdit(parent);
            m->setReadOnly(true);
            m->setLineWrapMode(QPlainTextEdit::NoWrap);
            m->setMinimumHeight(200);
            w = m;
            break;
        }
        case ControlKind::ListBox:
            w = new QListWidget(parent);
            break;
        case ControlKind::ProgressBar:
        case ControlKind::PageControl:
        case ControlKind::PopupMenu:
            w = new QWidget(parent);
            break;
    }
    w->setObjectName(Q(name));
    widgets_[name] = w;
    return w;
}

void FormWindow::PopupMenuAt(const std::string &menuName, QPoint global) {
    const auto &menu = form_.Get<app::TPopupMenu>(menuName);
    QMenu m(this);
    m.setObjectName(Q(menuName));
    for (const app::TMenuItem &item : menu.items) {
        if (!item.visible) continue;
        if (item.caption == "-") {
            m.addSeparator();
            continue;
        }
        QAction *a = m.addAction(Q(item.caption));
        a->setObjectName(Q(item.name));
        a->setEnabled(item.enabled);
        if (auto h = ClickHandler(item.name))
            connect(a, &QAction::triggered, this, [this, h] { Run(h); });
    }
    m.exec(global);
}

// ---- Handlers ---------------------------------------------------------------------------------

std::function<void()> FormWindow::ClickHandler(std::string_view name) {
    app::TForm1 &f = form_;
    // The commands of the command table run as their buttons do, through the window model's
    // one entry point.
    if (const app::CommandEntry *c = app::CommandOfButton(name))
        return [&f, id = c->command] { f.RunCommand(id); };
    // The window's own controls.
    using Handler = void (app::TForm1::*)();
    static constexpr std::pair<std::string_view, Handler> kHandlers[] = {
        {"Button7", &app::TForm1::Button7Click},
        {"Button10", &app::TForm1::Button10Click},
        {"Button17", &app::TForm1::Button17Click},
        {"SpeedButton4", &app::TForm1::SpeedButton4Click},
        {"SpeedButton6", &app::TForm1::SpeedButton6Click},
        {"SpeedButton7", &app::TForm1::SpeedButton7Click},
        {"SpeedButton8", &app::TForm1::SpeedButton8Click},
        {"CheckBox1", &app::TForm1::CheckBox1Click},
        {"CheckBox14", &app::TForm1::CheckBox14Click},
        {"CheckBox15", &app::TForm1::CheckBox15Click},
        {"RadioGroup1", &app::TForm1::RadioGroup1Click},
        {"RadioGroup2", &app::TForm1::RadioGroup2Click},
        {"RadioGroup4", &app::TForm1::RadioGroup4Click},
        {"RadioGroup5", &app::TForm1::RadioGroup5Click},
        {"CheckListBox1", &app::TForm1::CheckListBox1Click},
        {"ComboBox1", &app::TForm1::ComboBox1Change},
        {"ComboBox2", &app::TForm1::ComboBox2Change},
        {"StringGrid1", &app::TForm1::StringGrid1Click},
        {"StringGrid2", &app::TForm1::StringGrid2Click},
        {"Edit6", &app::TForm1::Edit6Change},
        {"Edit10", &app::TForm1::Edit10Change},
        {"Edit26", &app::TForm1::Edit26Change},
        {"Edit41", &app::TForm1::Edit41Change},
        {"N1", &app::TForm1::N1Click},
        {"N2", &app::TForm1::N2Click},
        {"N6", &app::TForm1::N6Click},
        {"N8", &app::TForm1::N8Click},
    };
    for (const auto &[n, h] : kHandlers)
        if (n == name) return [&f, h = h] { (f.*h)(); };
    return {};
}

void FormWindow::Run(const std::function<void()> &handler) {
    ++depth_;
    form_.Invoke(handler);
    --depth_;
    if (QWidget *image = Widget("Image2")) image->update();
    if (afterRun) afterRun();
}

void FormWindow::SetValue(const std::string &name, const std::string &value,
                          const std::function<void()> &then) {
    Run([&] {
        form_.SetValue(name, value);
        if (then) then();
    });
}

void FormWindow::closeEvent(QCloseEvent *e) {
    if (closeRequested && !closeRequested()) {
        e->ignore();
        return;
    }
    e->accept();
}

// ---- Showing the model ------------------------------------------------------------------------

void FormWindow::RefreshAll() {
    for (const app::Control *c : form_.AllControls()) Refresh(*c);
    setWindowTitle(Q(form_.Caption));
}

void FormWindow::Refresh(const app::Control &c) {
    QWidget *w = Widget(c.name);
    if (!w) return;
    const QSignalBlocker block(w);
    w->setToolTip(Q(c.hint));
    w->setEnabled(c.enabled);
    if (const auto row = rows_.find(c.name); row != rows_.end()) row->second->setVisible(c.visible);
    switch (c.Kind()) {
        case ControlKind::Button:
            static_cast<QPushButton *>(w)->setText(Q(c.caption));
            break;
        case ControlKind::Label:
            static_cast<QLabel *>(w)->setText(Q(c.caption));
            break;
        case ControlKind::GroupBox:
            static_cast<QGroupBox *>(w)->setTitle(Q(c.caption));
            break;
        case ControlKind::Edit: {
            const auto &e = static_cast<const app::TEdit &>(c);
            auto *le = static_cast<QLineEdit *>(w);
            if (le->text() != Q(e.text)) le->setText(Q(e.text));
            le->setReadOnly(e.readOnly);
            if (const auto l = captions_.find(c.name); l != captions_.end()) {
                l->second->setText(Q(c.caption));
                l->second->setVisible(!c.caption.empty());
            }
            break;
        }
        case ControlKind::CheckBox: {
            auto *b = static_cast<QCheckBox *>(w);
            b->setText(Q(c.caption));
            b->setChecked(static_cast<const app::TCheckBox &>(c).checked);
            break;
        }
        case ControlKind::RadioGroup: {
            const auto &r = static_cast<const app::TRadioGroup &>(c);
            static_cast<QGroupBox *>(w)->setTitle(Q(c.caption));
            QButtonGroup *g = radios_.at(c.name);
            const QSignalBlocker blockGroup(g);
            const auto buttons = g->buttons();
            for (int i = 0; i < static_cast<int>(buttons.size()); ++i) {
                QAbstractButton *b = g->button(i);
                if (!b) continue;
                if (i < static_cast<int>(r.items.size()))
                    b->setText(Q(r.items[static_cast<size_t>(i)]));
                b->setVisible(i < static_cast<int>(r.items.size()));
            }
            if (QAbstractButton *b = g->button(r.itemIndex)) {
                b->setChecked(true);
            } else if (QAbstractButton *on = g->checkedButton()) {
                g->setExclusive(false);
                on->setChecked(false);
                g->setExclusive(true);
            }
            break;
        }
        case ControlKind::CheckListBox: {
            const auto &l = static_cast<const app::TCheckListBox &>(c);
            auto *list = static_cast<QListWidget *>(w);
            for (int i = 0; i < list->count(); ++i) {
                QListWidgetItem *item = list->item(i);
                if (i < static_cast<int>(l.items.size()))
                    item->setText(Q(l.items[static_cast<size_t>(i)]));
                const bool on =
                    i < static_cast<int>(l.checked.size()) && l.checked[static_cast<size_t>(i)];
                item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
            }
            break;
        }
        case ControlKind::ComboBox: {
            const auto &cb = static_cast<const app::TComboBox &>(c);
            auto *box = static_cast<QComboBox *>(w);
            QStringList items;
            for (const std::string &s : cb.items) items << Q(s);
            QStringList now;
            for (int i = 0; i < box->count(); ++i) now << box->itemText(i);
            if (now != items) {
                box->clear();
                box->addItems(items);
                box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
            }
            box->setPlaceholderText(Q(cb.text));
            box->setCurrentIndex(cb.itemIndex);
            break;
        }
        case ControlKind::ProgressBar: {
            const auto &p = static_cast<const app::TProgressBar &>(c);
            progress_->setRange(p.min, std::max(p.min, p.max));
            progress_->setValue(std::clamp(p.position, p.min, std::max(p.min, p.max)));
            break;
        }
        case ControlKind::Memo: {
            const auto &m = static_cast<const app::TMemo &>(c);
            QString text;
            for (size_t i = 0; i < m.lines.size(); ++i) text += (i ? "\n" : "") + Q(m.lines[i]);
            auto *edit = static_cast<QPlainTextEdit *>(w);
            if (edit->toPlainText() != text) edit->setPlainText(text);
            break;
        }
        case ControlKind::PageControl: {
            const auto &p = static_cast<const app::TPageControl &>(c);
            for (int i = 0; i < tabs_->count() && i < static_cast<int>(p.tabs.size()); ++i)
                tabs_->setTabText(i, Q(p.tabs[static_cast<size_t>(i)]));
            tabs_->setCurrentIndex(p.activePageIndex);
            break;
        }
        case ControlKind::StringGrid: {
            const auto &g = static_cast<const app::TStringGrid &>(c);
            auto *t = static_cast<QTableWidget *>(w);
            t->setColumnCount(g.ColCount());
            t->setRowCount(std::max(0, g.RowCount() - 1));
            QStringList headers;
            for (int col = 0; col < g.ColCount(); ++col) {
                headers << Q(g.Cell(col, 0)).trimmed();
                t->setColumnWidth(col, g.ColWidth(col));
                for (int row = 1; row < g.RowCount(); ++row) {
                    const QString text = Q(g.Cell(col, row));
                    QTableWidgetItem *item = t->item(row - 1, col);
                    if (!item) t->setItem(row - 1, col, item = new QTableWidgetItem);
                    if (item->text() != text) item->setText(text);
                }
            }
            t->setHorizontalHeaderLabels(headers);
            if (g.row >= 1 && g.row < g.RowCount() && t->currentRow() != g.row - 1)
                t->setCurrentCell(g.row - 1, std::clamp(g.col, 0, g.ColCount() - 1));
            break;
        }
        case ControlKind::ListBox: {
            const auto &l = static_cast<const app::TListBox &>(c);
            auto *list = static_cast<QListWidget *>(w);
            list->clear();
            for (const std::string &s : l.items) list->addItem(Q(s));
            list->setCurrentRow(l.itemIndex);
            break;
        }
        case ControlKind::Panel:
        case ControlKind::Image:
        case ControlKind::UpDown:
        case ControlKind::PopupMenu:
            break;
    }
    if (c.name == "PageControl1" || c.name == "ProgressBar1") return;
    if (rows_.find(c.name) == rows_.end()) w->setVisible(c.visible);
}

}  // namespace pimu::gui
