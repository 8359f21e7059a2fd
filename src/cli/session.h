// One run of a subcommand: the settings, the window model, the drawing and the scripted user,
// then the outcome, the saved drawing and its pictures. Subcommands set controls and call
// handlers through it; the command logic stays in the window model.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/embedded_cad.h"
#include "app/form.h"
#include "cadlink/embedded/document.h"
#include "cadlink/embedded/input.h"
#include "cli/cli_host.h"
#include "cli/options.h"
#include "cli/tables.h"

namespace pimu::cli {

// A failure the command line reports itself (not through a message box): a line on stderr
// and exit status 1.
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A folder made for one run and removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

class Session {
public:
    // Validates the paths and the settings overrides (UsageError), prepares the settings file
    // and runs the window's start sequence. Nothing is read from the drawing yet.
    Session(std::string command, Options options, std::FILE *out = stdout, std::FILE *err = stderr);
    ~Session();

    app::TForm1 &form() { return *form_; }
    const Options &options() const { return options_; }
    CliUiHost &host() { return host_; }
    std::FILE *out() { return out_; }
    cadlink::embedded::ScriptedInput &input() { return input_; }
    bool hasDrawing() const { return document_ != nullptr; }
    // --cad running: the commands work on the running CAD's active drawing.
    bool inRunningCad() const { return runningCad_ != nullptr; }
    cadlink::embedded::EmbeddedDocument &document();

    // Opens DRAWING into the embedded drawing. Throws RunError (status 1) for a missing or
    // broken file, UsageError when no drawing was named.
    void OpenDrawing();
    // Throws RunError when SEL chooses nothing in the drawing.
    void CheckSelection(const Selection &selection, const std::string &option,
                        const std::string &text);

    // Calls a handler as the window does (an escaping error becomes a message box). Returns
    // false when it ended in an error.
    bool Run(const std::function<void()> &handler);
    // Runs the acquisition (Button2Click) on the entities --buildings chooses. Messages it
    // shows are warnings; a selection without building edges throws RunError.
    void Acquire();
    // Runs a command's handler: any message box it shows reports a problem (status 1).
    void Command(const std::function<void()> &handler);
    // Clicks a button: as in the window, only an enabled one (else RunError), then Command.
    void Click(const app::TButton &button, const std::function<void()> &handler);

    // The end of a drawing command: fails (status 1) when nothing was added to the drawing,
    // else saves the drawing to -o and draws the pictures; status 1 all the same when the
    // command reported a problem.
    int FinishDrawing(bool pictures = true);
    // Writes the window's wireframe preview to --svg / --png.
    void WritePreview();
    // The status of a command that draws nothing: 1 when it reported a problem.
    int Status() const { return failed_ || reported_ || host_.Interrupted() ? 1 : 0; }
    // Prints a grid and writes it to --csv.
    void EmitTable(const Rows &rows);

    // Model-space entities when the drawing was opened.
    std::size_t entitiesAtOpen() const { return entitiesAtOpen_; }

private:
    std::filesystem::path PrepareSettings();
    void CheckOverridesTaken(const std::filesystem::path &settings);
    void WarnAboutWhatWasNotKept();
    void Fail(const std::string &text);
    std::size_t RunningCadEntities();
    int FinishInRunningCad();

    std::string command_;
    Options options_;
    std::FILE *out_;
    CliUiHost host_;
    TempFolder private_;                // the merged settings file
    std::unique_ptr<TempFolder> work_;  // the program folder unless --workdir
    std::filesystem::path programFolder_;
    std::filesystem::path output_;
    cadlink::embedded::ScriptedInput input_;
    std::shared_ptr<cadlink::embedded::EmbeddedDocument> document_;
    std::unique_ptr<app::EmbeddedCad> cad_;
    std::unique_ptr<app::CadConnection> runningCad_;  // --cad running
    std::unique_ptr<app::TForm1> form_;
    std::size_t entitiesAtOpen_ = 0;
    std::map<std::string, int> skippedAtOpen_;
    bool failed_ = false;    // a handler ended in an error
    bool reported_ = false;  // a command's handler showed a message
};

}  // namespace pimu::cli
