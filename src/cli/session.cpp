#include "cli/session.h"
#include "base/ascii.h"

#include <algorithm>
#include <system_error>

#include "app/inifile.h"
#include "app/settings.h"
#include "base/numconv.h"
#include "cadlink/embedded/dxfio.h"
#include "cli/platform.h"
#include "cli/running_cad.h"

namespace pimu::cli {
namespace fs = std::filesystem;
using cadlink::embedded::EmbeddedDocument;

namespace {

bool SameAscii(std::string_view a, std::string_view b) {
    return UpperAscii(a) == UpperAscii(b);
}

// Whether two paths name the same file, also when the second does not exist yet.
bool SameFile(const fs::path &a, const fs::path &b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

}  // namespace

TempFolder::TempFolder() : path_(MakeTempFolder()) {
    if (path_.empty()) throw RunError("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Session::Session(std::string command, Options options, std::FILE *out, std::FILE *err)
    : command_(std::move(command)), options_(std::move(options)), out_(out), host_(err) {
    host_.SetVerbose(options_.verbose);
    if (options_.workdir) {
        std::error_code ec;
        if (!fs::is_directory(*options_.workdir, ec))
            throw UsageError("--workdir " + options_.workdir->string() + ": no such folder");
        programFolder_ = fs::absolute(*options_.workdir);
    } else if (options_.cadRunning) {
        // A running CAD reads the inserted files after the typed command returns, maybe after
        // Pimu has ended: they stay beside the program, as the window leaves them.
        programFolder_ = ExecutableFolder();
    } else {
        work_ = std::make_unique<TempFolder>();
        programFolder_ = work_->path();
    }
    // A result that could not be written is found out before the command runs, not after.
    const std::pair<const char *, const std::optional<fs::path> *> outputs[] = {
        {"-o", &options_.output},
        {"--svg", &options_.svg},
        {"--png", &options_.png},
        {"--csv", &options_.csv}};
    for (const auto &[option, path] : outputs) {
        if (!*path) continue;
        const fs::path folder = fs::absolute(**path).parent_path();
        std::error_code ec;
        if (!fs::is_directory(folder, ec))
            throw UsageError(std::string(option) + " " + (*path)->string() + ": no folder " +
                             folder.string());
    }
    if (options_.cadRunning) {
        if (options_.drawing)
            throw UsageError("--cad running works on the CAD's active drawing: no DRAWING.dxf");
        if (options_.output || options_.svg || options_.png)
            throw UsageError(
                "with --cad running the results go into the CAD's drawing: no -o, "
                "--svg or --png");
        runningCad_ = ConnectRunningCad();
    } else if (options_.drawing) {
        output_ = options_.output ? *options_.output
                                  : options_.drawing->parent_path() /
                                        (options_.drawing->stem().string() + "-pimu.dxf");
        if (SameFile(output_, *options_.drawing))
            throw UsageError("the output " + output_.string() +
                             " is the input drawing; Pimu never writes over its input");
        for (const auto *picture : {&options_.svg, &options_.png, &options_.csv}) {
            if (*picture && SameFile(**picture, *options_.drawing))
                throw UsageError(picture->value().string() + " is the input drawing");
        }
        document_ =
            std::make_shared<EmbeddedDocument>(cadlink::embedded::Drawing{}, programFolder_);
        document_->SetInputSource(&input_);
        cad_ = std::make_unique<app::EmbeddedCad>(document_);
    }
    const fs::path settings = PrepareSettings();

    app::CadConnection *cad =
        cad_ ? static_cast<app::CadConnection *>(cad_.get()) : runningCad_.get();
    form_ =
        std::make_unique<app::TForm1>(app::FormPaths(programFolder_, "pimu", settings), host_, cad);
    host_.Observe({[this] {
                       return std::pair{form_->ProgressBar1.max, form_->ProgressBar1.position};
                   },
                   [this]() -> const std::vector<std::string> * {
                       return document_ ? &document_->prompts() : nullptr;
                   },
                   [this] {
                       form_->Button10Click();
                       form_->Button7Click();
                       if (form_->Button23.caption == "中止") form_->Button23Click();
                   }});
    host_.CatchInterrupt();
    form_->FormCreate();
    CheckOverridesTaken(settings);
    if (options_.season) {
        form_->RadioGroup1.itemIndex = *options_.season;
        form_->RadioGroup1Click();
    }
    if (options_.latitude) {
        const std::vector<std::string> parts = [&] {
            std::vector<std::string> p;
            std::string_view t = *options_.latitude;
            while (true) {
                const size_t c = t.find(',');
                p.emplace_back(t.substr(0, c));
                if (c == std::string_view::npos) break;
                t.remove_prefix(c + 1);
            }
            return p;
        }();
        if (parts.size() > 3) throw UsageError("--latitude: at most D,M,S");
        form_->Edit3.text = parts[0];
        form_->Edit5.text = parts.size() > 1 ? parts[1] : "0";
        form_->Edit23.text = parts.size() > 2 ? parts[2] : "0";
    }
}

Session::~Session() {
    host_.Flush();
    // Runs the shut-down sequence; the settings it writes go to the private copy only.
    if (form_) form_->FormDestroy();
}

fs::path Session::PrepareSettings() {
    fs::path source;
    if (options_.settings) {
        std::error_code ec;
        if (!fs::is_regular_file(*options_.settings, ec))
            throw UsageError("--settings " + options_.settings->string() + ": no such file");
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
        const auto &keys = app::SettingsWriteOrder();
        const auto known = std::find_if(keys.begin(), keys.end(), [&](const auto &k) {
            return SameAscii(k.section, s.section) && SameAscii(k.key, s.key);
        });
        if (known == keys.end())
            throw UsageError("--set " + s.section + "/" + s.key +
                             ": no such setting (keys as in the settings file, e.g. "
                             "Common/ido1, Jikoku/kankaku)");
        if (s.value.find_first_of("\r\n") != std::string::npos)
            throw UsageError("--set " + s.section + "/" + s.key + ": a value of one line");
        ini.Write(known->section, known->key, s.value);
    }
    // The user's own file is never written: the window's shut-down saves into this copy.
    const fs::path merged = private_.path() / "pimu.ini";
    ini.Save(merged);
    return merged;
}

// A setting the window reads as a number or a switch falls back to its default when the text is
// not one; on the command line that would run silently with another value than the one asked
// for. The window writes back what it took, so each override is compared with that.
void Session::CheckOverridesTaken(const fs::path &settings) {
    if (options_.sets.empty()) return;
    form_->WriteSettings();
    const app::IniFile taken = app::IniFile::Load(settings);
    for (const SettingOverride &s : options_.sets) {
        if (SameAscii(s.section, "Form")) continue;  // the window's position: no meaning here
        const std::string value = taken.ReadString(s.section, s.key, "");
        std::string typed = s.value;
        while (!typed.empty() && typed.back() == ' ') typed.pop_back();
        while (!typed.empty() && typed.front() == ' ') typed.erase(0, 1);
        if (value == typed) continue;
        int a = 0, b = 0;
        if (TryParseInteger(typed, a) && TryParseInteger(value, b) &&
            (a == b || (b == 1 && a != 0)))
            continue;  // the same number, or a switch that is on
        throw UsageError("--set " + s.section + "/" + s.key + "=" + s.value +
                         ": not a value this setting takes (" +
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
    if (!fs::is_regular_file(path, ec)) throw RunError(path.string() + ": no such file");
    try {
        doc.Open(path);
    } catch (const std::exception &e) {
        throw RunError(e.what());
    }
    entitiesAtOpen_ = doc.drawing().ModelSpace().size();
    skippedAtOpen_ = doc.drawing().skipped;
}

void Session::CheckSelection(const Selection &selection, const std::string &option,
                             const std::string &text) {
    EmbeddedDocument &doc = document();
    cadlink::embedded::ScriptedInput probe;
    probe.Select(selection);
    doc.SetInputSource(&probe);
    int count = 0;
    try {
        auto set = doc.SelectionSets().Add("PIMU_CLI_CHECK");
        set->SelectOnScreen();
        count = set->Count();
        set->Delete();
    } catch (...) {
        doc.SetInputSource(&input_);
        throw;
    }
    doc.SetInputSource(&input_);
    if (count == 0) throw RunError(option + " " + text + ": nothing in the drawing matches");
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
    if (!runningCad_) {  // in a running CAD the user selects the buildings there
        CheckSelection(options_.buildings, "--buildings", options_.buildingsText);
        input_.Select(options_.buildings);
    }
    if (!form_->Button2.enabled) throw RunError("\"取得\" (Button2) is not available now");
    Run([&] { form_->Button2Click(); });
    if (!form_->HasBuildingModel())
        throw RunError("--buildings " + options_.buildingsText +
                       ": no building edges among the chosen entities");
}

void Session::Command(const std::function<void()> &handler) {
    const size_t before = host_.messages().size();
    Run(handler);
    if (host_.messages().size() > before) reported_ = true;
}

void Session::Click(const app::TButton &button, const std::function<void()> &handler) {
    if (!button.enabled)
        throw RunError("\"" + button.caption + "\" (" + button.name + ") is not available now");
    Command(handler);
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
        host_.Say(command_ + ": stopped; no drawing was saved");
        return 1;
    }
    if (doc.drawing().ModelSpace().size() <= entitiesAtOpen_) {
        host_.Say(command_ + ": nothing was drawn; no drawing was saved");
        return 1;
    }
    try {
        doc.Save(output_);
    } catch (const std::exception &e) {
        throw RunError("cannot save " + output_.string() + ": " + e.what());
    }
    WarnAboutWhatWasNotKept();
    std::fprintf(out_, "%s: %zu entities added, saved %s\n", command_.c_str(),
                 doc.drawing().ModelSpace().size() - entitiesAtOpen_, output_.string().c_str());
    RenderOptions ro;
    ro.background = options_.background;
    ro.widthPixels = options_.pictureSize;
    try {
        if (pictures && options_.svg)
            RenderDrawing(doc.drawing(), *options_.svg, PictureFormat::Svg, ro);
        if (pictures && options_.png)
            RenderDrawing(doc.drawing(), *options_.png, PictureFormat::Png, ro);
    } catch (const RenderError &e) {
        throw RunError(e.what());
    }
    std::fflush(out_);
    if (failed_ || reported_) {
        host_.Say(command_ + ": the command reported a problem (above); what it drew was saved");
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
        throw RunError(output_.string() + " does not read back: " + e.what());
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
    try {
        const auto &picture = form_->Image2Picture;
        if (options_.svg) RenderPreview(picture, *options_.svg, PictureFormat::Svg);
        if (options_.png) RenderPreview(picture, *options_.png, PictureFormat::Png);
    } catch (const RenderError &e) {
        throw RunError(e.what());
    }
}

void Session::EmitTable(const Rows &rows) {
    PrintTable(out_, rows);
    if (options_.csv) {
        try {
            WriteCsv(*options_.csv, rows);
        } catch (const std::exception &e) {
            throw RunError(e.what());
        }
    }
}

}  // namespace pimu::cli
