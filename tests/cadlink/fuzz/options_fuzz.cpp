// libFuzzer target: the command line's words and the settings file they read. Any words either
// parse into options or are refused with a UsageError; the commands that take no drawing
// (settings, eot, solar-noon) also run whole, reading a settings file of the fuzzer's bytes with
// the overrides merged in. Nothing crashes, hangs or leaks, a refusal is a message of its own,
// and no standard-library text (std::bad_alloc, vector::reserve, stoi ...) reaches the user.
//
// Input: one byte choosing the subcommand, the words (one a line) up to a 0x1E byte, then the
// bytes of the settings file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

#include "base/error_text.h"
#include "cli/commands.h"
#include "cli/options.h"

using namespace pimu::cli;

namespace {

// The folder of the settings file and of the runs' temporary folders: one per process, removed
// when the fuzzer exits.
class FuzzFolder {
public:
    FuzzFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pimu_options_fuzz_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~FuzzFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    FuzzFolder(const FuzzFolder &) = delete;
    FuzzFolder &operator=(const FuzzFolder &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

const std::filesystem::path &FuzzDirectory() {
    static const FuzzFolder folder;
    return folder.path();
}

// Texts of the standard library or of an exception that should have become a sentence, unless
// the user typed them (a message quotes what it refuses).
bool ShowsLibraryText(const std::string &text, std::string_view typed) {
    for (const char *t : {"std::", "bad_alloc", "vector::", "basic_string", "what()", "stoi",
                          "stod", "bad_optional", "bad_variant", "filesystem error"})
        if (text.find(t) != std::string::npos && typed.find(t) == std::string_view::npos)
            return true;
    return false;
}

// Words that would make a run write or read files of the fuzzer's naming.
bool Unsafe(std::string_view word) {
    for (const char *w : {"-o", "--output", "--svg", "--png", "--csv", "--report", "--workdir",
                          "--tables", "--settings", "--cad"})
        if (word == w) return true;
    return false;
}

std::string ReadAll(std::FILE *f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const auto commands = Subcommands();
    const Subcommand &command = commands[data[0] % commands.size()];
    const std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    const std::size_t split = rest.find('\x1e');
    const std::string_view words = rest.substr(0, split);
    const std::string_view ini =
        split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

    std::vector<std::string> owned;
    for (std::size_t start = 0; !words.empty() && start <= words.size();) {
        const std::size_t end = std::min(words.find('\n', start), words.size());
        owned.emplace_back(words.substr(start, end - start));
        start = end + 1;
    }
    if (owned.size() > 64) return 0;
    const std::vector<std::string_view> args(owned.begin(), owned.end());

    try {
        ParseOptions(args, command.options, command.name);
    } catch (const UsageError &e) {
        if (std::string(e.what()).empty() || ShowsLibraryText(e.what(), rest)) std::abort();
    }
    if (command.drawing != DrawingUse::None) return 0;

    // The whole run, with the fuzzer's settings file.
    const std::filesystem::path settings = FuzzDirectory() / "pimu.ini";
    std::ofstream(settings, std::ios::binary | std::ios::trunc) << ini;
    std::vector<std::string_view> line{command.name};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (Unsafe(args[i])) {
            ++i;  // its value too
            continue;
        }
        line.push_back(args[i]);
    }
    line.push_back("--settings");
    const std::string settingsText = settings.string();
    line.push_back(settingsText);
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    if (!out || !err) std::abort();
    const int status = RunCommandLine(line, out, err);
    const std::string said = ReadAll(err);
    std::fclose(out);
    std::fclose(err);
    if (status < 0 || status > 3) std::abort();
    if (status != 0 && said.empty()) std::abort();  // a refusal without its reason
    if (ShowsLibraryText(said, rest)) std::abort();
    return 0;
}
