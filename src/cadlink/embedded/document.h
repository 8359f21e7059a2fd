// The embedded drawing behind the automation interface: one document over a Drawing, with
// selection sets, system variables, undo groups, the typed-command interpreter and an input
// source for what the user does. It needs no window and is idle whenever a call returns.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cadlink/automation.h"
#include "cadlink/embedded/drawing.h"
#include "cadlink/embedded/input.h"

namespace pimu::cadlink::embedded {

// The linetype files the embedded drawing knows, as a CAD installs them: "acadiso.lin",
// "iso.lin", "gcadiso.lin", "zwcadiso.lin" and "MM.LIN", each with HIDDEN, HIDDEN2, DASHED and
// CENTER. Names compare without regard to case; nullptr for an unknown file.
const std::vector<LinetypeRecord> *BuiltInLinetypeFile(std::string_view fileName);

// The entity, block and selection-set objects it hands out refer to the document: they must not
// outlive it.
class EmbeddedDocument : public IDocument {
public:
    // `baseDirectory` resolves relative file names in typed commands.
    explicit EmbeddedDocument(Drawing drawing = {}, std::filesystem::path baseDirectory = {});
    ~EmbeddedDocument() override;

    // Replaces the drawing by a DXF file. On any error the document is unchanged.
    void Open(const std::filesystem::path &path, const std::function<bool()> &keepGoing = {});
    void Save(const std::filesystem::path &path, const std::function<bool()> &keepGoing = {}) const;

    Drawing &drawing() { return drawing_; }
    const Drawing &drawing() const { return drawing_; }

    // The user's side. Without one, every request for user input fails with CadError.
    void SetInputSource(IInputSource *input) { input_ = input; }
    IInputSource *inputSource() const { return input_; }

    // What the program wrote with Prompt, and the commands it typed, in order.
    const std::vector<std::string> &prompts() const { return prompts_; }
    void AppendPrompt(const std::string &text) { prompts_.push_back(text); }
    const std::vector<std::string> &commands() const { return commands_; }
    int regenCount() const { return regens_; }
    bool undoGroupOpen() const { return undoDepth_ > 0; }
    std::size_t undoGroups() const { return undoStack_.size(); }
    // Undoes the most recent undo group (closing it first if it is open). False if none.
    bool UndoLastGroup();

    IEntityContainer &ModelSpace() override;
    IBlocks &Blocks() override;
    ILayers &Layers() override;
    ILinetypes &Linetypes() override;
    ISelectionSets &SelectionSets() override;
    IUtility &Utility() override;
    void SendCommand(const std::string &text) override;
    void SetVariable(const std::string &name, const SysValue &value) override;
    SysValue GetVariable(const std::string &name) override;
    void StartUndoMark() override;
    void EndUndoMark() override;
    void Regen(int which) override;
    EntityPtr ObjectIDToObject(ObjectId id) override;

    // Implementation access for the proxies.
    struct Impl;
    Impl &impl() { return *impl_; }

private:
    Drawing drawing_;
    std::filesystem::path baseDirectory_;
    IInputSource *input_ = nullptr;
    std::vector<std::string> prompts_;
    std::vector<std::string> commands_;
    std::map<std::string, SysValue> variables_;
    std::vector<Drawing> undoStack_;
    std::optional<Drawing> openGroup_;
    int undoDepth_ = 0;
    int regens_ = 0;
    std::unique_ptr<Impl> impl_;

    friend struct Impl;
    friend class CommandInterpreter;
};

// The state object answers "idle" always; the counts show which member a caller used.
class EmbeddedApplication : public IApplication {
public:
    explicit EmbeddedApplication(std::shared_ptr<EmbeddedDocument> document);
    std::intptr_t HWND() override { return 0; }
    IDocument &ActiveDocument() override { return *document_; }
    EmbeddedDocument &document() { return *document_; }
    CadStatePtr GetAcadState() override;
    CadStatePtr GetGcadState() override;
    CadStatePtr GetZcadState() override;
    int acadStateCalls = 0, gcadStateCalls = 0, zcadStateCalls = 0;

private:
    std::shared_ptr<EmbeddedDocument> document_;
};

}  // namespace pimu::cadlink::embedded
