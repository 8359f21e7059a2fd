// The drawing window, the CAD's stand-in: a DXF drawing (the embedded drawing) in a view with
// open / save / save as, undo and redo of whole commands, layers on and off, and a command-line
// strip with the prompts of the program and the commands typed into it. The view answers the
// picks the CAD link asks for.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <tuple>
#include <vector>

#include "cadlink/embedded/document.h"
#include "gui/drawing_view.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QLabel;

namespace pimu::gui {

class DrawingWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit DrawingWindow(cadlink::embedded::EmbeddedDocument &document,
                           QWidget *parent = nullptr);

    DrawingView &View() { return *view_; }
    // Opens a drawing; on failure the message names the file and the drawing is unchanged.
    bool Open(const std::filesystem::path &path);
    bool Save();
    bool SaveAs();
    bool SaveTo(const std::filesystem::path &path);
    const std::optional<std::filesystem::path> &File() const { return file_; }
    // Whether the drawing changed since it was opened or saved.
    bool Modified() const { return Signature() != saved_; }

    // Shows what changed in the drawing and the new prompts; cheap when nothing did.
    void Refresh();
    void Undo();
    void Redo();
    std::size_t RedoCount() const { return redo_.size(); }
    // Types a command as into the command line.
    void Type(const std::string &text);

    // Whether a command runs (nothing is opened, undone or typed meanwhile).
    std::function<bool()> busy;
    // Shows a message box with the application title.
    std::function<void(const std::string &)> message;
    std::function<bool()> closeRequested;

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    using Sig = std::tuple<std::size_t, std::uint64_t, std::size_t, std::size_t, std::uint64_t>;
    Sig Signature() const;
    void Rebuild(bool fit);
    void FillLayers();
    void Echo(const QString &line);
    void UpdateTitle();
    bool Idle();

    cadlink::embedded::EmbeddedDocument &doc_;
    DrawingView *view_ = nullptr;
    QListWidget *layers_ = nullptr;
    QPlainTextEdit *history_ = nullptr;
    QLineEdit *command_ = nullptr;
    QLabel *coords_ = nullptr;
    std::optional<std::filesystem::path> file_;
    Sig shown_{};
    Sig saved_{};
    std::uint64_t opened_ = 0;  // counts drawings opened, part of the signature
    std::size_t promptsShown_ = 0;
    std::size_t commandsShown_ = 0;
    std::vector<cadlink::embedded::Drawing> redo_;
    std::size_t groupsAfterRedo_ = 0;
};

}  // namespace pimu::gui
