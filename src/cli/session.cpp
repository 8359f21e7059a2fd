#include "cli/session.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <system_error>

#include "app/inifile.h"
#include "app/settings.h"
#include "base/ascii.h"
#include "base/atomic_file.h"
#include "base/numconv.h"
#include "base/quote.h"
#include "cadlink/embedded/dxfio.h"

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
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::error_code ec;
    const fs::path na = fs::weakly_canonical(fs::absolute(a), ec).lexically_normal();
    const fs::path nb = fs::weakly_canonical(fs::absolute(b), ec).lexically_normal();
    return na == nb;
}

// The settings file the run reads (never written).
fs::path SettingsSource(const Options &options) {
    if (options.settings) return *options.settings;
    return (options.workdir ? *options.workdir : ExecutableFolder()) / "pimu.ini";
}

// Temporary folders of one run live in a folder of Pimu's own under $XDG_RUNTIME_DIR (emptied
// by the system at logout) or the temporary folder, named "run-<pid>-<random>". A folder whose
// process is gone (a run that was killed) is removed by the next run.
fs::path RunFolderRoot() {
    std::error_code ec;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    fs::path base;
    if (runtime && *runtime && fs::is_directory(runtime, ec))
        base = runtime;
    else
        base = fs::temp_directory_path(ec);
    if (base.empty()) base = "/tmp";
    return base / ("pimu-" + std::to_string(::getuid()));
}

bool ProcessAlive(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void RemoveStaleRunFolders(const fs::path &root) {
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with("run-")) continue;
        const std::string rest = name.substr(4);
        long pid = 0;
        const auto dash = rest.find('-');
        if (dash == std::string::npos) continue;
        try {
            pid = std::stol(rest.substr(0, dash));
        } catch (const std::exception &) {
            continue;
        }
        if (pid == static_cast<long>(::getpid()) || ProcessAlive(pid)) continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

}  // namespace

TempFolder::TempFolder() {
    const fs::path root = RunFolderRoot();
    // Private to the user; an existing root must be a real folder of this user.
    if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST)
        throw RunError("cannot make the temporary folder " + Q(root) + ": " + std::strerror(errno));
    struct stat st {};
    if (::lstat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        throw RunError("the temporary folder " + Q(root) + " is not a folder of this user");
    RemoveStaleRunFolders(root);
    std::string pattern = (root / ("run-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw RunError("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : exe.parent_path();
}

Session::Session(std::string command, Options options, std::FILE *out, std::FILE *err)
    : command_(std::move(command)), options_(std::move(options)), out_(out), host_(err) {
    host_.SetVerbose(options_.verbose);
    if (options_.workdir) {
        std::error_code ec;
        if (!fs::is_directory(*options_.workdir, ec))
            throw UsageError("--workdir " + VisibleText(options_.workdir->string(), 200) +
                             ": no such folder");
        programFolder_ = fs::absolute(*options_.workdir);
    } else {
        work_ = std::make_unique<TempFolder>();
        programFolder_ = work_->path();
    }
    CheckOutputs();
    if (options_.drawing) {
        document_ =
            std::make_shared<EmbeddedDocument>(cadlink::embedded::Drawing{}, programFolder_);
        document_->SetInputSource(&input_);
        cad_ = std::make_unique<app::EmbeddedCad>(document_);
    }
    const fs::path settings = PrepareSettings();

    form_ = std::make_unique<app::TForm1>(app::FormPaths(programFolder_, "pimu", settings), host_,
                                          cad_.get());
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

void Session::OpenDrawing() {
    EmbeddedDocument &doc = document();
    const fs::path &path = *options_.drawing;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        throw RunError(VisibleText(path.string(), 200) + ": no such file");
    try {
        doc.Open(path);
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
        output_ = options_.output ? *options_.output
                                  : options_.drawing->parent_path() /
                                        (options_.drawing->stem().string() + "-pimu.dxf");
    struct Named {
        std::string option;
        fs::path path;
    };
    std::vector<Named> outputs;
    if (options_.drawing) outputs.push_back({options_.output ? "-o" : "the output", output_});
    const std::pair<const char *, const std::optional<fs::path> *> pictures[] = {
        {"--svg", &options_.svg}, {"--png", &options_.png}, {"--csv", &options_.csv}};
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
    CheckSelection(options_.buildings, "--buildings", options_.buildingsText);
    input_.Select(options_.buildings);
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

int Session::FinishDrawing(bool pictures) {
    EmbeddedDocument &doc = document();
    host_.Flush();
    if (host_.Interrupted()) {
        host_.Say(command_ + ": stopped; no drawing was saved");
        return 1;
    }
    if (doc.drawing().ModelSpace().size() <= entitiesAtOpen_) {
        // A drawing of flat shapes casts no shadow: say so rather than leave the user guessing.
        const bool flat = form_->HasBuildingModel() && !(form_->Model.gbzmax > 0.0);
        host_.Say(command_ + (flat ? ": nothing was drawn: the buildings have no height (no "
                                     "closed shapes with thickness); no drawing was saved"
                                   : ": nothing was drawn; no drawing was saved"));
        return 1;
    }
    try {
        doc.Save(output_);
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
