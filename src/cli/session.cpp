#include "cli/session.h"

#include <algorithm>
#include <system_error>

#include "app/inifile.h"
#include "app/settings.h"
#include "base/ascii.h"
#include "base/atomic_file.h"
#include "base/numconv.h"
#include "base/quote.h"
#include "cadlink/embedded/dxfio.h"
#include "cli/layers.h"
#include "cli/platform.h"
#include "cli/running_cad.h"
#include "cli/settings_keys.h"

namespace pimu::cli {
namespace fs = std::filesystem;
using cadlink::embedded::EmbeddedDocument;

namespace {

bool SameAscii(std::string_view a, std::string_view b) {
    return UpperAscii(a) == UpperAscii(b);
}

std::string Q(const fs::path &path) {
    return QuoteForMessage(path.string(), 200);
}

// Whether two paths name the same file: by identity (device and inode) where both exist, by
// their normalised absolute paths (links resolved as far as they exist) otherwise.
bool SameFile(const fs::path &a, const fs::path &b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        const bool same = fs::equivalent(a, b, ec);
        if (!ec) return same;
    }
    const fs::path na = fs::weakly_canonical(fs::absolute(a), ec).lexically_normal();
    const fs::path nb = fs::weakly_canonical(fs::absolute(b), ec).lexically_normal();
    return na == nb;
}

// The settings file the run reads (never written).
fs::path SettingsSource(const Options &options) {
    if (options.settings) return *options.settings;
    return (options.workdir ? *options.workdir : ExecutableFolder()) / "pimu.ini";
}

}  // namespace

TempFolder::TempFolder() {
    try {
        path_ = MakeTempFolder();
    } catch (const std::exception &e) {
        throw RunError(e.what());
    }
    if (path_.empty()) throw RunError("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Session::Session(std::string command, Options options, std::FILE *out, std::FILE *err)
    : command_(std::move(command)), options_(std::move(options)), out_(out), err_(err), host_(err) {
    host_.SetVerbose(options_.verbose);
    if (options_.workdir) {
        std::error_code ec;
        if (!fs::is_directory(*options_.workdir, ec))
            throw UsageError("--workdir " + VisibleText(options_.workdir->string(), 200) +
                             ": no such folder");
        programFolder_ = fs::absolute(*options_.workdir);
    } else if (options_.cadRunning) {
        // A running CAD reads the inserted files after the typed command returns, maybe after
        // Pimu has ended: they stay beside the program, as the window leaves them.
        programFolder_ = ExecutableFolder();
    } else {
        work_ = std::make_unique<TempFolder>();
        programFolder_ = work_->path();
    }
    if (options_.cadRunning) {
        if (options_.drawing)
            throw UsageError("--cad running works on the CAD's active drawing: no DRAWING.dxf");
        if (options_.output || options_.svg || options_.png)
            throw UsageError(
                "with --cad running the results go into the CAD's drawing: no -o, "
                "--svg or --png");
    }
    CheckOutputs();
    if (options_.cadRunning) {
        runningCad_ = ConnectRunningCad();
    } else if (options_.drawing) {
        document_ =
            std::make_shared<EmbeddedDocument>(cadlink::embedded::Drawing{}, programFolder_);
        document_->SetInputSource(&input_);
        cad_ = std::make_unique<app::EmbeddedCad>(document_);
    }
    if (options_.noClobber) {
        std::error_code ec;
        for (const fs::path &p :
             {output_, options_.svg.value_or(fs::path()), options_.png.value_or(fs::path()),
              options_.csv.value_or(fs::path()), options_.report.value_or(fs::path())})
            if (!p.empty() && fs::exists(p, ec))
                throw RunError(p.string() + Tr(lang(), " exists; --no-clobber leaves it as it is",
                                               " があります．--no-clobber のため置き換えません"));
    }
    // The settings of the run live in memory: the user's file is read, never written.
    app::IniFile settings = PrepareSettings();
    app::CadConnection *cad =
        cad_ ? static_cast<app::CadConnection *>(cad_.get()) : runningCad_.get();
    form_ = std::make_unique<app::TForm1>(
        app::FormPaths(programFolder_, "pimu", SettingsSource(options_)), host_, cad);
    form_->KeepSettingsInMemory(std::move(settings));
    host_.Observe({[this] {
                       return std::pair{form_->ProgressBar1.max, form_->ProgressBar1.position};
                   },
                   [this]() -> const std::vector<std::string> * {
                       return document_ ? &document_->prompts() : nullptr;
                   },
                   [this] { form_->StopCommand(); }});
    host_.CatchInterrupt();
    form_->FormCreate();
    CheckOverridesTaken();
}

Session::~Session() {
    host_.Flush();
    // Runs the shut-down sequence; the settings it writes stay in memory.
    if (form_) form_->FormDestroy();
}

app::IniFile Session::PrepareSettings() {
    fs::path source;
    if (options_.settings) {
        std::error_code ec;
        if (!fs::is_regular_file(*options_.settings, ec))
            throw UsageError("--settings " + VisibleText(options_.settings->string(), 200) +
                             ": no such file");
        source = *options_.settings;
    } else {
        source = (options_.workdir ? *options_.workdir : ExecutableFolder()) / "pimu.ini";
    }
    app::IniFile ini;
    try {
        ini = app::IniFile::Load(source);
    } catch (const std::exception &e) {
        throw RunError(e.what());
    }
    for (const SettingOverride &s : options_.sets) {
        const SettingKey *known = FindSettingKey(s.section, s.key);
        if (!known)
            throw UsageError("--set " + s.section + "/" + s.key +
                             ": no such setting (`pimu settings` lists the keys, e.g. "
                             "Common/ido1, Jikoku/kankaku)");
        if (s.value.find_first_of("\r\n") != std::string::npos)
            throw UsageError(s.origin + ": a value of one line");
        double number = 0.0;
        if (known->kind == SettingKind::Number && !TryParseNumber(s.value, number))
            throw UsageError(s.origin + ": \"" + s.value + "\" is not a number (" + known->field +
                             ", " + known->Name() + ")");
        ini.Write(known->section, known->key, s.value);
    }
    return ini;
}

// A setting the window reads as a number or a switch falls back to its default when the text is
// not one; on the command line that would run silently with another value than the one asked
// for. The window writes back what it took, so each override is compared with that.
void Session::CheckOverridesTaken() {
    if (options_.sets.empty()) return;
    form_->WriteSettings();
    const app::IniFile &taken = *form_->SettingsInMemory();
    for (const SettingOverride &s : options_.sets) {
        if (SameAscii(s.section, "Form")) continue;  // the window's position: no meaning here
        const SettingKey *known = FindSettingKey(s.section, s.key);
        if (known->kind == SettingKind::Text) continue;  // taken as it is
        const std::string value = taken.ReadString(s.section, s.key, "");
        std::string typed = s.value;
        while (!typed.empty() && typed.back() == ' ') typed.pop_back();
        while (!typed.empty() && typed.front() == ' ') typed.erase(0, 1);
        if (value == typed) continue;
        int a = 0, b = 0;
        if (TryParseInteger(typed, a) && TryParseInteger(value, b) &&
            (a == b || (b == 1 && a != 0)))
            continue;  // the same number, or a switch that is on
        throw UsageError(s.origin + ": not a value " + known->Name() + " (" + known->field +
                         ") takes (" +
                         (value.empty() ? std::string("refused") : "it would be " + value) + ")");
    }
}

EmbeddedDocument &Session::document() {
    if (!document_) throw UsageError("this command needs a drawing (DRAWING.dxf)");
    return *document_;
}

// The running CAD's model space, counted through its automation interface.
std::size_t Session::RunningCadEntities() {
    try {
        const int n =
            runningCad_->GetCadApplication(form_->ProgID)->ActiveDocument().ModelSpace().Count();
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    } catch (const std::exception &e) {
        throw RunError(e.what());
    }
}

void Session::OpenDrawing() {
    if (runningCad_) {
        bool running = false;
        try {
            running = runningCad_->IsCadRunning(form_->ProgID);
        } catch (const std::exception &e) {
            throw RunError(e.what());
        }
        if (!running)
            throw RunError(std::string(app::kNoCadMessage) + " (Target/ProgID " + form_->ProgID +
                           ")");
        entitiesAtOpen_ = RunningCadEntities();
        return;
    }
    EmbeddedDocument &doc = document();
    const fs::path &path = *options_.drawing;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        throw RunError(VisibleText(path.string(), 200) + ": no such file");
    try {
        doc.Open(path, [this] { return !host_.Interrupted(); });
    } catch (const cadlink::embedded::ReadStopped &) {
        throw RunError(Tr(lang(), "stopped while reading the drawing; no drawing was saved",
                          "図面の読み込み中に中止しました．図面は保存していません"));
    } catch (const std::exception &e) {
        throw RunError(e.what());
    }
    entitiesAtOpen_ = doc.drawing().ModelSpace().size();
    skippedAtOpen_ = doc.drawing().skipped;
    // Curves without a proper size are kept in the drawing as they are, and are no buildings.
    const std::vector<std::string> &degenerate = doc.drawing().degenerate;
    if (!degenerate.empty()) {
        std::string list;
        const std::size_t shown = std::min<std::size_t>(degenerate.size(), 5);
        for (std::size_t k = 0; k < shown; ++k) list += "\n  " + degenerate[k];
        if (shown < degenerate.size())
            list += "\n  ... and " + std::to_string(degenerate.size() - shown) + " more";
        host_.Say(
            "note: " + VisibleText(path.filename().string(), 120) + ": " +
            std::to_string(degenerate.size()) +
            " entities without a proper size skipped (kept in the drawing as they are):" + list);
    }
}

// Every file the run writes is checked before anything runs: it must be a file Pimu may replace
// (not a device, pipe or folder), and none may be the input drawing, the settings file, another
// output of the run or the temporary name of one of them.
void Session::CheckOutputs() {
    if (options_.output && options_.output->empty()) throw UsageError("-o: an empty file name");
    if (options_.drawing)
        // Each command has its own result name, so one command's result never replaces
        // another's: site.dxf gives site-shadow.dxf, site-isochrone.dxf, ... in this folder.
        output_ = options_.output
                      ? *options_.output
                      : fs::path(options_.drawing->stem().string() + "-" + command_ + ".dxf");
    struct Named {
        std::string option;
        fs::path path;
    };
    std::vector<Named> outputs;
    if (options_.drawing) outputs.push_back({options_.output ? "-o" : "the output", output_});
    const std::pair<const char *, const std::optional<fs::path> *> pictures[] = {
        {"--svg", &options_.svg},
        {"--png", &options_.png},
        {"--csv", &options_.csv},
        {"--report", &options_.report}};
    for (const auto &[option, path] : pictures) {
        if (!*path) continue;
        if ((*path)->empty()) throw UsageError(std::string(option) + ": an empty file name");
        outputs.push_back({option, **path});
    }
    std::vector<Named> protectedFiles;
    if (options_.drawing) protectedFiles.push_back({"the input drawing", *options_.drawing});
    protectedFiles.push_back({"the settings file", SettingsSource(options_)});

    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const Named &out = outputs[k];
        const fs::path folder = fs::absolute(out.path).parent_path();
        std::error_code ec;
        if (!fs::is_directory(folder, ec))
            throw UsageError(out.option + " " + Q(out.path) + ": no folder " + Q(folder));
        try {
            CheckWritableTarget(out.path);
        } catch (const FileWriteError &e) {
            throw UsageError(out.option + " " + e.what() + "; Pimu writes only regular files");
        }
        auto clash = [&](const Named &other) {
            if (SameFile(out.path, other.path))
                throw UsageError(out.option + " " + Q(out.path) + " is " + other.option +
                                 "; Pimu never writes over it");
            if (IsTemporaryNameOf(other.path, out.path) || IsTemporaryNameOf(out.path, other.path))
                throw UsageError(out.option + " " + Q(out.path) + " and " + other.option + " " +
                                 Q(other.path) + ": one is named like the other's temporary file");
        };
        for (const Named &p : protectedFiles) clash(p);
        for (std::size_t j = 0; j < k; ++j) {
            Named other = outputs[j];
            other.option = "the file of " + other.option;
            clash(other);
        }
    }
}

std::vector<cadlink::embedded::EntityData> Session::Selected(const Selection &selection) {
    EmbeddedDocument &doc = document();
    cadlink::embedded::ScriptedInput probe;
    probe.Select(selection);
    doc.SetInputSource(&probe);
    std::vector<cadlink::embedded::EntityData> chosen;
    try {
        auto set = doc.SelectionSets().Add("PIMU_CLI_CHECK");
        set->SelectOnScreen();
        for (int i = 0; i < set->Count(); ++i) {
            const auto id = doc.drawing().FindHandle(set->Item(i)->Handle());
            if (id) chosen.push_back(doc.drawing().Get(*id));
        }
        set->Delete();
    } catch (...) {
        doc.SetInputSource(&input_);
        throw;
    }
    doc.SetInputSource(&input_);
    return chosen;
}

std::string Session::LayerTable() {
    std::string table = FormatTable(LayerRows(CountLayers(document().drawing()), lang()));
    if (!table.empty()) table.pop_back();  // the message's own line end follows
    return table;
}

bool Session::Run(const std::function<void()> &handler) {
    bool threw = false;
    form_->Invoke([&] {
        try {
            handler();
        } catch (...) {
            threw = true;
            throw;
        }
    });
    host_.Flush();
    if (threw) failed_ = true;
    return !threw;
}

void Session::Acquire() {
    if (runningCad_) {  // in a running CAD the user selects the buildings there
        RunCommand(app::FormCommand::Acquire, false);
        StopIfInterrupted();
        if (!form_->HasBuildingModel())
            throw RunError("no building edges among the entities selected in the CAD");
        CheckBuildingHeights({});
        return;
    }
    const Lang l = lang();
    const std::string name = options_.drawing->filename().string();
    if (entitiesAtOpen_ == 0)
        throw RunError(name + Tr(l,
                                 ": no entities in model space. Pimu reads the buildings from "
                                 "model space; paper space and block definitions are not read.",
                                 ": モデル空間に図形がありません．建物はモデル空間から読み取り"
                                 "ます（ペーパー空間とブロック定義は読みません）．"));
    // Which entities are the buildings is always said: by --buildings, or by the settings.
    Selection selection;
    std::string chosenBy;
    if (options_.buildings) {
        selection = *options_.buildings;
        chosenBy = "--buildings " + options_.buildingsText;
    } else {
        const std::string layers =
            form_->SettingsInMemory()->ReadString(kBuildingLayersSection, kBuildingLayersKey, "");
        const std::string key =
            std::string(kBuildingLayersSection) + "/" + std::string(kBuildingLayersKey);
        if (layers.find_first_not_of(' ') == std::string::npos)
            throw UsageError(
                Tr(l,
                   "which entities are the buildings? Give --buildings SEL (e.g. --buildings "
                   "layer:NAME) or name the building layers in the settings (" +
                       key + "=NAME,NAME). The layers of " + name + ":\n",
                   "建物はどの図形ですか．--buildings SEL（例 --buildings layer:画層名）を指定"
                   "するか，設定の " +
                       key + "=画層名,画層名 に建物の画層を書いて下さい．" + name + " の画層:\n") +
                LayerTable());
        selection = ParseSelection("layer:" + layers, key);
        chosenBy = key + "=" + layers;
    }
    const auto chosen = Selected(selection);
    if (chosen.empty())
        throw UsageError(chosenBy +
                         Tr(l, ": nothing in the drawing matches. The layers of ",
                            ": 一致する図形がありません．") +
                         name + Tr(l, ":\n", " の画層:\n") + LayerTable());
    input_.Select(selection);
    RunCommand(app::FormCommand::Acquire, false);
    StopIfInterrupted();
    if (!form_->HasBuildingModel())
        throw RunError(chosenBy + Tr(l, ": no building edges among the chosen entities",
                                     ": 選んだ図形に建物の辺がありません"));
    CheckBuildingHeights(chosenBy);
}

// A stop while the buildings were acquired ends the run: no command starts from a model (or a
// preview) cut short.
void Session::StopIfInterrupted() {
    if (host_.Interrupted())
        throw RunError(Tr(lang(), "stopped while the buildings were acquired; no drawing was saved",
                          "建物の取得中に中止しました．図面は保存していません"));
}

// An entity without height would give a result from buildings that are not there (its "shadow"
// is its own footprint): no command runs on such a selection.
void Session::CheckBuildingHeights(const std::string &chosenBy) {
    const auto &without = form_->BuildingsWithoutHeight;
    if (without.empty()) return;
    throw RunError((chosenBy.empty() ? "" : chosenBy + ": ") +
                   app::WithoutHeightMessage(without, lang() == Lang::En));
}

void Session::Command(const std::function<void()> &handler) {
    const size_t before = host_.messages().size();
    Run(handler);
    if (host_.messages().size() > before) {
        reported_ = true;
        NameCommandLineValues();
    }
}

// The window's message names its field; the user typed an option or a key. Both are named.
void Session::NameCommandLineValues() {
    if (named_ || options_.sets.empty()) return;
    named_ = true;
    std::string text = Tr(lang(), "values given on the command line:", "コマンドラインの値:");
    std::string last;
    for (const SettingOverride &s : options_.sets) {
        const SettingKey *k = FindSettingKey(s.section, s.key);
        if (s.origin == last && !s.origin.starts_with("--set")) continue;  // one line per option
        last = s.origin;
        text += "\n" + s.origin;
        if (k && !s.origin.starts_with("--set")) text += " (" + k->Name() + ")";
        if (k && !k->field.empty() && !s.origin.starts_with("--latitude") &&
            !s.origin.starts_with("--hours"))
            text += "  " + k->field;
    }
    host_.Say(text);
}

void Session::RunCommand(app::FormCommand command, bool messagesReport) {
    const app::TButton &button = form_->CommandButton(command);
    bool available = true;
    const auto run = [&] { available = form_->RunCommand(command) == app::CommandOutcome::Ran; };
    if (messagesReport)
        Command(run);
    else
        Run(run);
    if (!available)
        throw RunError("\"" + button.caption + "\" (" + button.name + ") is not available now");
}

int Session::FinishInRunningCad() {
    host_.Flush();
    if (host_.Interrupted()) {
        host_.Say(command_ + ": stopped");
        return 1;
    }
    if (failed_) {  // the CAD may be gone: nothing more is asked of it
        host_.Say(command_ + ": the command ended in an error (above)");
        return 1;
    }
    const std::size_t now = RunningCadEntities();
    if (now <= entitiesAtOpen_) {
        host_.Say(command_ + ": nothing was drawn");
        return 1;
    }
    std::fprintf(out_, "%s: %zu entities added to the CAD's drawing\n", command_.c_str(),
                 now - entitiesAtOpen_);
    std::fflush(out_);
    if (failed_ || reported_) {
        host_.Say(command_ + ": the command reported a problem (above)");
        return 1;
    }
    return 0;
}

int Session::FinishDrawing(bool pictures) {
    if (runningCad_) return FinishInRunningCad();
    EmbeddedDocument &doc = document();
    host_.Flush();
    if (host_.Interrupted()) {
        host_.Say(command_ + Tr(lang(), ": stopped; no drawing was saved",
                                ": 中止しました．図面は保存していません"));
        return 1;
    }
    if (doc.drawing().ModelSpace().size() <= entitiesAtOpen_) {
        // A drawing of flat shapes casts no shadow: say so rather than leave the user guessing.
        const bool flat = form_->HasBuildingModel() && !(form_->Model.gbzmax > 0.0);
        host_.Say(command_ +
                  (flat ? Tr(lang(),
                             ": nothing was drawn: the buildings have no height (no closed shapes "
                             "with thickness); no drawing was saved",
                             ": 何も作図されませんでした．建物に高さがありません（厚みのある閉じた"
                             "図形がありません）．図面は保存していません")
                        : Tr(lang(), ": nothing was drawn; no drawing was saved",
                             ": 何も作図されませんでした．図面は保存していません")));
        return 1;
    }
    std::error_code ec;
    if (options_.noClobber && fs::exists(output_, ec))  // made while the command ran
        throw RunError(output_.string() + Tr(lang(), " exists; --no-clobber leaves it as it is",
                                             " があります．--no-clobber のため置き換えません"));
    // A stop while the drawing is written leaves the old file: the new one replaces it only
    // when it is complete and no stop came.
    try {
        doc.Save(output_, [this] { return !host_.Interrupted(); });
    } catch (const WriteStopped &) {
        host_.Say(command_ + Tr(lang(), ": stopped; no drawing was saved",
                                ": 中止しました．図面は保存していません"));
        return 1;
    } catch (const std::exception &e) {
        throw RunError("cannot save " + Q(output_) + ": " + e.what());
    }
    WarnAboutWhatWasNotKept();
    std::fprintf(out_, "%s: %zu entities added, saved %s\n", command_.c_str(),
                 doc.drawing().ModelSpace().size() - entitiesAtOpen_, output_.string().c_str());
    RenderOptions ro;
    ro.background = options_.background;
    ro.widthPixels = options_.pictureSize;
    try {
        if (pictures && options_.svg) {
            RenderDrawing(doc.drawing(), *options_.svg, PictureFormat::Svg, ro);
            std::fprintf(out_, "%s: wrote %s\n", command_.c_str(), options_.svg->string().c_str());
        }
        if (pictures && options_.png) {
            RenderDrawing(doc.drawing(), *options_.png, PictureFormat::Png, ro);
            std::fprintf(out_, "%s: wrote %s\n", command_.c_str(), options_.png->string().c_str());
        }
    } catch (const RenderError &e) {
        throw RunError(e.what());
    }
    std::fflush(out_);
    if (failed_ || reported_) {
        host_.Say(command_ +
                  Tr(lang(), ": the command reported a problem (above); what it drew was saved",
                     ": コマンドが問題を報告しました（上記）．作図した分は保存しました"));
        return 1;
    }
    return 0;
}

// The result is the user's drawing plus Pimu's; whatever of the input did not make it into the
// saved file is named, read back from the file itself.
void Session::WarnAboutWhatWasNotKept() {
    if (skippedAtOpen_.empty()) return;
    std::map<std::string, int> after;
    try {
        after = cadlink::embedded::OpenDxf(output_).skipped;
    } catch (const std::exception &e) {
        throw RunError(Q(output_) + " does not read back: " + e.what());
    }
    std::string lost;
    for (const auto &[kind, count] : skippedAtOpen_) {
        const auto kept = after.find(kind);
        const int missing = count - (kept == after.end() ? 0 : kept->second);
        if (missing > 0) lost += (lost.empty() ? "" : ", ") + kind + " " + std::to_string(missing);
    }
    if (!lost.empty())
        host_.Say(options_.drawing->filename().string() +
                  ": not carried into the result drawing (not modelled by Pimu): " + lost);
}

void Session::WritePreview() {
    const auto keepRunning = [this] { return !host_.Interrupted(); };
    try {
        const auto &picture = form_->Image2Picture;
        if (options_.svg) {
            RenderPreview(picture, *options_.svg, PictureFormat::Svg, 4, keepRunning);
            std::fprintf(out_, "%s: wrote %s\n", command_.c_str(), options_.svg->string().c_str());
        }
        if (options_.png) {
            RenderPreview(picture, *options_.png, PictureFormat::Png, 4, keepRunning);
            std::fprintf(out_, "%s: wrote %s\n", command_.c_str(), options_.png->string().c_str());
        }
        std::fflush(out_);
    } catch (const RenderStopped &) {
        throw RunError(Tr(lang(),
                          "stopped while the preview was drawn; the picture was not written",
                          "プレビューの作図中に中止しました．画像は書き出していません"));
    } catch (const RenderError &e) {
        throw RunError(e.what());
    }
}

Rows Session::SettingsRows() {
    // The values of this run: what the window took from the settings file and the command line.
    form_->WriteSettings();
    const app::IniFile &now = *form_->SettingsInMemory();
    // The defaults: what the window takes from no settings at all (and no files beside it).
    const TempFolder blank;
    CliUiHost quiet(err_);
    app::TForm1 fresh(app::FormPaths(blank.path(), "pimu"), quiet, nullptr);
    fresh.KeepSettingsInMemory({});
    fresh.FormCreate();
    fresh.WriteSettings();
    const app::IniFile defaults = *fresh.SettingsInMemory();
    fresh.FormDestroy();
    Rows rows;
    rows.push_back(
        lang() == Lang::Ja
            ? std::vector<std::string>{"キー", "値", "既定値", "内容", "オプション"}
            : std::vector<std::string>{"key", "value", "default", "what it does", "option"});
    for (const SettingKey &k : SettingKeys()) {
        const bool form = k.section == "Form";
        std::string what = k.what;
        if (!k.field.empty()) what += " [" + k.field + "]";
        if (!k.commands.empty()) what += "; changes " + k.commands;
        rows.push_back({k.Name(), now.ReadString(k.section, k.key, ""),
                        form ? "(centred)" : defaults.ReadString(k.section, k.key, ""), what,
                        k.option});
    }
    return rows;
}

void Session::EmitTable(const Rows &rows, CsvBom bom) {
    PrintTable(out_, rows);
    if (options_.csv) {
        try {
            WriteCsv(*options_.csv, rows, bom);
        } catch (const std::exception &e) {
            throw RunError(e.what());
        }
    }
}

}  // namespace pimu::cli
