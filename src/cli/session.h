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
#include "app/inifile.h"
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

// A folder made for one run and removed with everything in it at the end. It lives in Pimu's own
// folder under $XDG_RUNTIME_DIR (or the temporary folder); folders of runs whose process is gone
// are removed by the next run.
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
    // Validates the paths and the settings overrides (UsageError), merges them into the
    // settings the window model keeps in memory and runs the window's start sequence. Nothing is
    // read from the drawing yet.
    Session(std::string command, Options options, std::FILE *out = stdout, std::FILE *err = stderr);
    ~Session();

    app::TForm1 &form() { return *form_; }
    const Options &options() const { return options_; }
    Lang lang() const { return options_.lang; }
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
    // The model-space entities SEL chooses, as an on-screen selection would.
    std::vector<cadlink::embedded::EntityData> Selected(const Selection &selection);

    // Calls a handler as the window does (an escaping error becomes a message box). Returns
    // false when it ended in an error.
    bool Run(const std::function<void()> &handler);
    // Runs the acquisition (Button2Click) on the entities --buildings chooses, or without it
    // the layers the settings name (Layer/Tatemono). Without either, or when the selection
    // matches nothing, throws UsageError listing the drawing's layers and their buildings.
    // Messages the acquisition shows are warnings; a drawing without model-space entities or a
    // selection without building edges (saying why: no thickness) throws RunError.
    void Acquire();
    // Runs a command's handler: any message box it shows reports a problem (status 1).
    void Command(const std::function<void()> &handler);
    // Runs a command of the window model as its button would: only while it is available (else
    // RunError). With messagesReport (the drawing commands) it runs as Command, else as Run.
    void RunCommand(app::FormCommand command, bool messagesReport = true);

    // The end of a drawing command: fails (status 1) when nothing was added to the drawing,
    // else saves the drawing to -o and draws the pictures; status 1 all the same when the
    // command reported a problem.
    int FinishDrawing(bool pictures = true);
    // Writes the window's wireframe preview to --svg / --png.
    void WritePreview();
    // The status of a command that draws nothing: 1 when it reported a problem.
    int Status() const { return failed_ || reported_ || host_.Interrupted() ? 1 : 0; }
    // Prints a grid and writes it to --csv.
    void EmitTable(const Rows &rows, CsvBom bom = CsvBom::No);
    // Every settings key with its value in this run, its default and what it does.
    Rows SettingsRows();

    // Model-space entities when the drawing was opened.
    std::size_t entitiesAtOpen() const { return entitiesAtOpen_; }

private:
    void CheckOutputs();
    void StopIfInterrupted();
    void CheckBuildingHeights(const std::string &chosenBy);
    app::IniFile PrepareSettings();
    void CheckOverridesTaken();
    void WarnAboutWhatWasNotKept();
    void NameCommandLineValues();
    std::string LayerTable();
    std::size_t RunningCadEntities();
    int FinishInRunningCad();

    std::string command_;
    Options options_;
    std::FILE *out_;
    std::FILE *err_;
    CliUiHost host_;
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
    bool named_ = false;     // the command-line values behind a reported problem were named
};

}  // namespace pimu::cli
