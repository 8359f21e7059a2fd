// Runs the built `pimu` the way a user does, in a scratch folder.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern char **environ;

namespace pimu::cli::testing {

namespace fs = std::filesystem;

inline const fs::path kPimu = PIMU_CLI_BINARY;
inline const fs::path kSource = PIMU_SOURCE_DIR;
inline const fs::path kExample = kSource / "examples" / "site.dxf";

class Scratch {
public:
    Scratch() {
        std::random_device rd;
        path_ = fs::temp_directory_path() /
                ("pimu_cli_test_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    const fs::path &path() const { return path_; }
    fs::path operator/(const std::string &name) const { return path_ / name; }
    void Write(const std::string &name, const std::string &bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string &name) const { return ReadFile(path_ / name); }
    static std::string ReadFile(const fs::path &p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    fs::path path_;
};

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `pimu ARGS...` in `folder` with stdout and stderr captured (stderr is not a terminal,
// so no progress bar).
inline Result RunPimu(const std::vector<std::string> &args, const fs::path &folder) {
    const fs::path outFile = folder / ".stdout", errFile = folder / ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> argv = {kPimu.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargv;
    for (auto &a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    // The messages' language follows the locale; the tests choose it with --lang, so the
    // locale of the machine running them is left out.
    std::vector<char *> env;
    for (char **e = environ; *e; ++e) {
        const std::string_view v(*e);
        if (!v.starts_with("LANG=") && !v.starts_with("LC_ALL=") && !v.starts_with("LC_MESSAGES="))
            env.push_back(*e);
    }
    env.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, kPimu.c_str(), &actions, nullptr, cargv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    Result r;
    if (spawned != 0) return r;
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = Scratch::ReadFile(outFile);
    r.err = Scratch::ReadFile(errFile);
    return r;
}

// Debian's python with ezdxf: exit status of a script run on a file.
inline int RunPython(const std::string &script, const fs::path &file) {
    const std::string command =
        "/usr/bin/python3 -c '" + script + "' '" + file.string() + "' >/dev/null 2>&1";
    return std::system(command.c_str());
}

}  // namespace pimu::cli::testing
