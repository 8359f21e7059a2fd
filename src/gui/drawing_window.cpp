#include "gui/drawing_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cstdio>

#include "base/ascii.h"
#include "cadlink/embedded/scene.h"

namespace pimu::gui {

namespace fs = std::filesystem;
using cadlink::embedded::Drawing;
using cadlink::embedded::EntityData;
using cadlink::embedded::EntityId;

DrawingWindow::DrawingWindow(cadlink::embedded::EmbeddedDocument &document, QWidget *parent)
    : QMainWindow(parent), doc_(document) {
    setObjectName("DrawingWindow");
    resize(900, 640);
    auto *central = new QWidget(this);
    auto *box = new QVBoxLayout(central);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    view_ = new DrawingView(central);
    box->addWidget(view_, 1);
    history_ = new QPlainTextEdit(central);
    history_->setObjectName("CommandHistory");
    history_->setReadOnly(true);
    history_->setMaximumBlockCount(500);
    history_->setFixedHeight(history_->fontMetrics().lineSpacing() * 4 + 10);
    box->addWidget(history_);
    auto *line = new QWidget(central);
    auto *h = new QHBoxLayout(line);
    h->setContentsMargins(4, 2, 4, 2);
    h->addWidget(new QLabel("コマンド:", line));
    command_ = new QLineEdit(line);
    command_->setObjectName("CommandLine");
    h->addWidget(command_, 1);
    box->addWidget(line);
    setCentralWidget(central);
    connect(command_, &QLineEdit::returnPressed, this, [this] {
        const std::string text = command_->text().toStdString();
        command_->clear();
        if (!text.empty()) Type(text);
    });

    auto *dock = new QDockWidget("画層", this);
    dock->setObjectName("LayersDock");
    layers_ = new QListWidget(dock);
    layers_->setObjectName("Layers");
    dock->setWidget(layers_);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    connect(layers_, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        view_->Scene().SetLayerOn(item->data(Qt::UserRole).toInt(),
                                  item->checkState() == Qt::Checked);
        view_->update();
    });

    coords_ = new QLabel(this);
    statusBar()->addPermanentWidget(coords_);
    connect(view_, &DrawingView::cursorAt, this, [this](double x, double y) {
        coords_->setText(QString("%1, %2").arg(x, 0, 'f', 1).arg(y, 0, 'f', 1));
    });

    QMenu *file = menuBar()->addMenu("ファイル(&F)");
    QAction *open = file->addAction("開く(&O)...", this, [this] {
        if (!Idle()) return;
        const QString name =
            QFileDialog::getOpenFileName(this, "図面を開く", QString(), "DXF (*.dxf *.DXF)");
        if (!name.isEmpty()) Open(name.toStdString());
    });
    open->setShortcut(QKeySequence::Open);
    file->addAction("上書き保存(&S)", this, [this] { Save(); })->setShortcut(QKeySequence::Save);
    file->addAction("名前を付けて保存(&A)...", this, [this] { SaveAs(); })
        ->setShortcut(QKeySequence::SaveAs);
    QMenu *edit = menuBar()->addMenu("編集(&E)");
    QAction *undo = edit->addAction("元に戻す(&U)", this, [this] { Undo(); });
    undo->setObjectName("Undo");
    undo->setShortcut(QKeySequence::Undo);
    QAction *redo = edit->addAction("やり直し(&R)", this, [this] { Redo(); });
    redo->setObjectName("Redo");
    redo->setShortcut(QKeySequence::Redo);
    QMenu *viewMenu = menuBar()->addMenu("表示(&V)");
    viewMenu->addAction("全体表示(&E)", this, [this] { view_->ZoomExtents(); })
        ->setShortcut(QKeySequence(Qt::Key_Home));
    viewMenu->addAction(dock->toggleViewAction());

    view_->handleOf = [this](std::int64_t key) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%llX",
                      static_cast<unsigned long long>(doc_.drawing().Get(EntityId{key}).handle));
        return std::string(buf);
    };
    view_->blockScene = [this](const std::string &block) -> std::optional<view::Scene> {
        if (!doc_.drawing().FindBlock(block)) return std::nullopt;
        // The block alone, referenced at the origin, in a copy of the drawing's tables.
        Drawing d = doc_.drawing();
        const std::vector<EntityId> model = d.ModelSpace();
        for (EntityId id : model) d.Erase(id);
        EntityData insert;
        insert.kind = cadlink::embedded::EntityKind::Insert;
        insert.blockName = block;
        d.Add(insert);
        return cadlink::embedded::SceneOf(d);
    };
    view_->prompt = [this](const std::string &text) { Echo(QString::fromStdString(text)); };
    Rebuild(true);
    saved_ = Signature();
    UpdateTitle();
}

DrawingWindow::Sig DrawingWindow::Signature() const {
    const Drawing &d = doc_.drawing();
    return {d.ModelSpace().size(), d.HandleSeed(), doc_.undoGroups(), d.Layers().size(), opened_};
}

bool DrawingWindow::Idle() {
    if (busy && busy()) {
        if (message) message("コマンドの実行中です．");
        return false;
    }
    return true;
}

bool DrawingWindow::Open(const fs::path &path) {
    try {
        doc_.Open(path);
    } catch (const std::exception &e) {
        if (message) message(path.string() + ": " + e.what());
        return false;
    }
    file_ = path;
    ++opened_;
    redo_.clear();
    Rebuild(true);
    saved_ = Signature();
    UpdateTitle();
    Echo(QString::fromStdString("開く: " + path.string()));
    return true;
}

bool DrawingWindow::Save() {
    if (!file_) return SaveAs();
    return SaveTo(*file_);
}

bool DrawingWindow::SaveAs() {
    const QString name = QFileDialog::getSaveFileName(
        this, "名前を付けて保存", file_ ? QString::fromStdString(file_->string()) : QString(),
        "DXF (*.dxf)");
    if (name.isEmpty()) return false;
    fs::path path = name.toStdString();
    if (path.extension().empty()) path += ".dxf";
    return SaveTo(path);
}

bool DrawingWindow::SaveTo(const fs::path &path) {
    try {
        doc_.Save(path);
    } catch (const std::exception &e) {
        if (message) message(path.string() + ": " + e.what());
        return false;
    }
    file_ = path;
    saved_ = Signature();
    UpdateTitle();
    return true;
}

void DrawingWindow::UpdateTitle() {
    const QString name = file_ ? QString::fromStdString(file_->filename().string()) : "(無題)";
    setWindowTitle(name + (Modified() ? " *" : "") + " - 図面");
}

void DrawingWindow::Rebuild(bool fit) {
    view::Scene scene = cadlink::embedded::SceneOf(doc_.drawing());
    // Layers switched off in the view stay off.
    std::vector<std::string> off;
    for (int i = 0; i < layers_->count(); ++i)
        if (layers_->item(i)->checkState() != Qt::Checked)
            off.push_back(layers_->item(i)->text().toStdString());
    for (const std::string &name : off)
        if (const int l = scene.FindLayer(name); l >= 0) scene.SetLayerOn(l, false);
    view_->SetScene(std::move(scene), fit);
    shown_ = Signature();
    FillLayers();
}

void DrawingWindow::FillLayers() {
    const QSignalBlocker block(layers_);
    layers_->clear();
    const auto &layers = view_->Scene().Layers();
    for (int i = 0; i < static_cast<int>(layers.size()); ++i) {
        auto *item = new QListWidgetItem(
            QString::fromStdString(layers[static_cast<size_t>(i)].name), layers_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(layers[static_cast<size_t>(i)].on ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, i);
    }
}

void DrawingWindow::Refresh() {
    const auto &prompts = doc_.prompts();
    for (; promptsShown_ < prompts.size(); ++promptsShown_)
        Echo(QString::fromStdString(prompts[promptsShown_]));
    const auto &commands = doc_.commands();
    for (; commandsShown_ < commands.size(); ++commandsShown_)
        Echo("コマンド: " + QString::fromStdString(commands[commandsShown_]));
    if (Signature() == shown_) return;
    // A command ran since the last undo or redo: what was undone cannot come back.
    if (doc_.undoGroups() != groupsAfterRedo_) {
        redo_.clear();
        groupsAfterRedo_ = doc_.undoGroups();
    }
    Rebuild(false);
    UpdateTitle();
}

void DrawingWindow::Undo() {
    if (!Idle()) return;
    if (doc_.undoGroups() == 0) {
        Echo("元に戻す操作はありません");
        return;
    }
    Drawing now = doc_.drawing();
    doc_.UndoLastGroup();
    redo_.push_back(std::move(now));
    groupsAfterRedo_ = doc_.undoGroups();
    Echo("元に戻す");
    Rebuild(false);
    UpdateTitle();
}

void DrawingWindow::Redo() {
    if (!Idle()) return;
    if (redo_.empty()) {
        Echo("やり直す操作はありません");
        return;
    }
    // The redo is itself an undo group, so it can be undone again.
    doc_.StartUndoMark();
    doc_.drawing() = std::move(redo_.back());
    doc_.EndUndoMark();
    redo_.pop_back();
    groupsAfterRedo_ = doc_.undoGroups();
    Echo("やり直し");
    Rebuild(false);
    UpdateTitle();
}

void DrawingWindow::Type(const std::string &text) {
    Echo("コマンド: " + QString::fromStdString(text));
    const std::string word = UpperAscii(text);
    if (word == "Z" || word == "ZOOM" || word == "Z E" || word == "ZOOM E") {
        view_->ZoomExtents();
        return;
    }
    if (word == "U" || word == "UNDO") return Undo();
    if (word == "REDO") return Redo();
    if (!Idle()) return;
    try {
        doc_.SendCommand(text + "\n");
    } catch (const std::exception &e) {
        Echo(QString::fromStdString(e.what()));
    }
    commandsShown_ = doc_.commands().size();  // echoed above
    Refresh();
}

void DrawingWindow::Echo(const QString &line) {
    history_->appendPlainText(line);
}

void DrawingWindow::closeEvent(QCloseEvent *e) {
    if (closeRequested && !closeRequested()) {
        e->ignore();
        return;
    }
    e->accept();
}

}  // namespace pimu::gui
