// Nothing lost, nothing hung: the command line never writes over what it reads or what is not a
// plain file, reads drawings other CAD programs write, stops cleanly on a signal and leaves no
// temporary folder behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "cadlink/embedded/dxfio.h"
#include "cli_test_util.h"

namespace pimu::cli {
namespace {

namespace fs = std::filesystem;
using testing::kExample;
using testing::kSource;
using testing::RunPimu;
using testing::Scratch;

const fs::path kFixtures = kSource / "tests" / "data" / "cli";
const std::string kExampleSettings = (kSource / "examples" / "pimu.ini").string();

struct Case {
    std::vector<std::string> args;
    int status;
    const char *message;
};

// The drawing commands need a building selection; these cases are about files, so every entity
// of the small fixtures is taken.
std::vector<std::string> WithBuildings(std::vector<std::string> args) {
    if (!args.empty() && args[0] == "shadow") args.insert(args.end(), {"--buildings", "all"});
    return args;
}

void Check(const Case &c, const fs::path &folder) {
    const auto r = RunPimu(WithBuildings(c.args), folder);
    std::string line;
    for (const auto &a : c.args) line += a + " ";
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << line << "\n" << r.err;
}

// Every output is checked before the command runs: a device, pipe or folder is refused, and so
// is an output that is the input, the settings file, another output or a temporary name of one.
TEST(CliSafety, OutputsThatWouldDestroySomethingAreRefused) {
    Scratch dir;
    const std::string block = Scratch::ReadFile(kFixtures / "one_block.dxf");
    dir.Write("b.dxf", block);
    dir.Write("a.dxf.pimu-tmp", block);
    dir.Write("s.ini", Scratch::ReadFile(kExampleSettings));
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink("b.dxf", dir / "link-to-input.dxf");
    const Case cases[] = {
        {{"shadow", "b.dxf", "-o", ""}, 2, "-o: an empty file name"},
        {{"shadow", "b.dxf", "-o", "fifo"}, 2, "a pipe (FIFO), not a file"},
        {{"shadow", "b.dxf", "-o", "folder"}, 2, "a folder, not a file"},
        {{"shadow", "b.dxf", "-o", "/dev/null"}, 2, "a device, not a file"},
        {{"shadow", "b.dxf", "--png", "fifo"}, 2, "a pipe (FIFO)"},
        {{"shadow", "a.dxf.pimu-tmp", "-o", "a.dxf"}, 2, "temporary file"},
        {{"shadow", "b.dxf", "-o", "link-to-input.dxf"}, 2, "is the input drawing"},
        {{"shadow", "b.dxf", "-o", "r.png", "--png", "r.png"}, 2, "is the file of -o"},
        {{"shadow", "b.dxf", "-o", "./p.png", "--png", "p.png"}, 2, "is the file of -o"},
        {{"shadow", "b.dxf", "-o", "s.ini", "--settings", "s.ini"}, 2, "is the settings file"},
        {{"shadow", "b.dxf", "-o", "r.png.pimu-tmp", "--png", "r.png"}, 2, "temporary file"},
    };
    for (const Case &c : cases) Check(c, dir.path());
    EXPECT_EQ(dir.Read("b.dxf"), block);
    EXPECT_EQ(dir.Read("a.dxf.pimu-tmp"), block);
    EXPECT_EQ(dir.Read("s.ini"), Scratch::ReadFile(kExampleSettings));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_FALSE(fs::exists(dir / "r.dxf"));
    EXPECT_FALSE(fs::exists(dir / "a.dxf"));
}

// A symbolic link as the output is written through: the file it names gets the result.
TEST(CliSafety, OutputThroughASymbolicLink) {
    Scratch dir;
    fs::create_directory(dir / "results");
    dir.Write("results/r.dxf", "old");
    fs::create_symlink("results/r.dxf", dir / "r.dxf");
    const auto r = RunPimu(
        {"shadow", (kFixtures / "one_block.dxf").string(), "-o", "r.dxf", "--buildings", "all"},
        dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "r.dxf"));
    EXPECT_NO_THROW(cadlink::embedded::OpenDxf(dir / "results" / "r.dxf"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "results"), {}), 1);
}

// Drawings that loaded but could not be processed, or were refused for what CAD programs
// tolerate, and drawings that are not DXF at all.
TEST(CliSafety, DrawingsFromTheWild) {
    Scratch dir;
    dir.Write("cr.dxf", "0\r\nSECTION\r\n2\r\nMY\rSECTION\r\n0\r\nENDSEC\r\n0\r\nEOF\r\n");
    dir.Write("u16.dxf", std::string("\xFF\xFE\x30\x00\x0A\x00", 6));
    dir.Write("a.dwg.dxf", std::string("AC1027\0\0\0\0", 10));
    dir.Write(std::string("esc\x1b[31m.dxf"), "0\nNONSENSE\n");
    auto fixture = [](const char *name) { return (kFixtures / name).string(); };
    const Case cases[] = {
        {{"shadow", fixture("degenerate_arc.dxf"), "-o", "d.dxf"},
         0,
         "note: degenerate_arc.dxf: 1 entities without a proper size skipped (kept in the "
         "drawing as they are):\n        ARC 1A (line"},
        {{"shadow", fixture("flat.dxf"), "-o", "f.dxf"},
         1,
         "no height above the ground in 3 building entities:\n        LINE handle 100 on layer B"},
        {{"shadow", fixture("escapes.dxf"), "-o", "e.dxf"}, 0, ""},
        {{"shadow", fixture("block_2147483647.dxf"), "-o", "n.dxf"}, 0, ""},
        {{"shadow", "cr.dxf", "-o", "c.dxf"}, 1, "cr.dxf: line 4: a control character (\"\\r\")"},
        {{"shadow", "u16.dxf", "-o", "c.dxf"}, 1, "UTF-16 text is not supported"},
        {{"shadow", "a.dwg.dxf", "-o", "c.dxf"}, 1, "this is a DWG drawing"},
        {{"shadow", std::string("esc\x1b[31m.dxf"), "-o", "c.dxf"}, 1, "esc\\x1B[31m.dxf"},
    };
    for (const Case &c : cases) Check(c, dir.path());
    EXPECT_FALSE(fs::exists(dir / "f.dxf"));
    EXPECT_FALSE(fs::exists(dir / "c.dxf"));
    // The escapes went back into the result as escapes.
    const auto e = cadlink::embedded::OpenDxf(dir / "e.dxf");
    bool sawText = false;
    for (auto id : e.ModelSpace())
        if (e.Get(id).text == "line\\U+000Abreak\\U+0001") sawText = true;
    EXPECT_TRUE(sawText);
    EXPECT_NE(cadlink::embedded::OpenDxf(dir / "n.dxf").FindBlock("PIMU_2147483648"), nullptr);
}

// Runs pimu with XDG_RUNTIME_DIR set to `runtime` and returns its pid.
pid_t Start(const std::vector<std::string> &args, const fs::path &folder, const fs::path &runtime) {
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime.string()};
    for (char **e = environ; *e; ++e)
        if (!std::string_view(*e).starts_with("XDG_RUNTIME_DIR=")) env.emplace_back(*e);
    std::vector<char *> cenv;
    for (auto &v : env) cenv.push_back(v.data());
    cenv.push_back(nullptr);
    std::vector<std::string> argv = {testing::kPimu.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargv;
    for (auto &a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const fs::path err = folder / ".stderr";
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    posix_spawn(&pid, testing::kPimu.c_str(), &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid) {
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

// SIGTERM and SIGHUP stop a command as Ctrl-C does: no result, no temporary folder left; and a
// folder a killed run left behind is removed by the next run.
TEST(CliSafety, SignalsStopCleanlyAndStaleFoldersGo) {
    Scratch dir;
    fs::create_directory(dir / "runtime");
    const fs::path root = dir / "runtime" / ("pimu-" + std::to_string(::getuid()));
    fs::create_directory(root);
    fs::create_directory(root / "run-4194305-stale");  // above any pid: its run is gone
    const std::string alive = "run-" + std::to_string(::getpid()) + "-alive";
    fs::create_directory(root / alive);
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(sig);
        const pid_t pid =
            Start({"isochrone", kExample.string(), "--settings", kExampleSettings, "-o", "i.dxf"},
                  dir.path(), dir / "runtime");
        // Once its folders exist the run catches the signals; then let it compute a little.
        for (int k = 0; k < 400; ++k) {
            bool running = false;
            for (const auto &e : fs::directory_iterator(root))
                running |=
                    e.path().filename().string().starts_with("run-" + std::to_string(pid) + "-");
            if (running) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::kill(pid, sig);
        EXPECT_EQ(Wait(pid), 1) << dir.Read(".stderr");
        EXPECT_NE(dir.Read(".stderr").find("stopped; no drawing was saved"), std::string::npos)
            << dir.Read(".stderr");
        EXPECT_FALSE(fs::exists(dir / "i.dxf"));
    }
    std::vector<std::string> left;
    for (const auto &e : fs::directory_iterator(root)) left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{alive});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);  // runtime, .stderr
}

// A stop while the result of a large drawing is written: status 1, the old output as it was,
// no temporary file. The signal is sent once the run holds a file open in the output's folder
// (the temporary file of the atomic write), so it lands in the save, not in the reading.
TEST(CliSafety, StopDuringTheSaveKeepsTheOldOutput) {
    Scratch dir;
    fs::create_directory(dir / "runtime");
    fs::create_directory(dir / "out");
    std::string text =
        "0\nSECTION\n2\nENTITIES\n"
        "0\nLWPOLYLINE\n8\nS\n90\n4\n70\n1\n"
        "10\n0\n20\n0\n10\n40000\n20\n0\n10\n40000\n20\n30000\n10\n0\n20\n30000\n";
    for (int i = 0; i < 120000; ++i) {
        const std::string x = std::to_string(i % 400 * 100), y = std::to_string(i / 400 * 100);
        text += "0\nLINE\n8\nL\n10\n" + x + "\n20\n" + y + "\n11\n" + x + ".5\n21\n" + y + ".5\n";
    }
    text += "0\nENDSEC\n0\nEOF\n";
    dir.Write("big.dxf", text);
    dir.Write("out/r.dxf", "old result");
    const pid_t pid = Start({"boundary", "big.dxf", "--site", "layer:S", "-o", "out/r.dxf"},
                            dir.path(), dir / "runtime");
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    const std::string outFolder = fs::canonical(dir / "out").string();
    bool saving = false;
    for (int k = 0; k < 60000 && !saving; ++k) {
        std::error_code ec;
        for (const auto &e : fs::directory_iterator(fds, ec)) {
            std::error_code ec2;
            saving |= fs::read_symlink(e.path(), ec2).string().starts_with(outFolder);
        }
        if (ec) break;  // the run ended
        if (!saving) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(saving) << "the run ended before its save was seen: " << dir.Read(".stderr");
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 1) << dir.Read(".stderr");
    EXPECT_NE(dir.Read(".stderr").find("stopped; no drawing was saved"), std::string::npos)
        << dir.Read(".stderr");
    EXPECT_EQ(dir.Read("out/r.dxf"), "old result");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 1);
}

}  // namespace
}  // namespace pimu::cli
