// The one file writer: only regular files, links written through, no temporary name taken from
// another run, and a failure leaves the old file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/atomic_file.h"
#include "file_size_limit.h"

namespace pimu {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public ::testing::Test {
protected:
    AtomicFile() {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("pimu_atomic_" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    ~AtomicFile() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    static std::string Read(const fs::path &p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const fs::path &p, const std::string &s) {
        std::ofstream(p, std::ios::binary) << s;
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
    }
    fs::path dir_;
};

TEST_F(AtomicFile, ReplacesARegularFileAndKeepsItsPermissions) {
    Write(dir_ / "a.dxf", "old");
    fs::permissions(dir_ / "a.dxf",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Another run's temporary file beside the target is neither reused nor removed.
    Write(dir_ / "a.dxf.pimu-tmp", "another run");
    WriteFileAtomically(dir_ / "a.dxf", "new");
    EXPECT_EQ(Read(dir_ / "a.dxf"), "new");
    EXPECT_EQ(Read(dir_ / "a.dxf.pimu-tmp"), "another run");
    EXPECT_EQ(fs::status(dir_ / "a.dxf").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(), 2u);  // nothing left behind
    WriteFileAtomically(dir_ / "b.dxf", "");
    EXPECT_TRUE(fs::is_regular_file(dir_ / "b.dxf"));
}

TEST_F(AtomicFile, RefusesWhatIsNotARegularFile) {
    fs::create_directory(dir_ / "folder");
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
    struct Case {
        fs::path path;
        const char *reason;
    };
    const Case cases[] = {
        {dir_ / "folder", "a folder"},
        {dir_ / "fifo", "a pipe"},
        {"/dev/null", "a device"},
        {dir_ / "dangling", "a symbolic link to nothing"},
        {dir_ / "nofolder" / "x.dxf", "No such file"},
        {"", "an empty file name"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.string());
        try {
            WriteFileAtomically(c.path, "x");
            ADD_FAILURE() << "written";
        } catch (const FileWriteError &e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
    EXPECT_THROW(CheckWritableTarget(dir_ / "fifo"), FileWriteError);
    EXPECT_NO_THROW(CheckWritableTarget(dir_ / "new.dxf"));
}

TEST_F(AtomicFile, WritesThroughASymbolicLink) {
    fs::create_directory(dir_ / "real");
    Write(dir_ / "real" / "a.dxf", "old");
    fs::create_symlink(dir_ / "real" / "a.dxf", dir_ / "link.dxf");
    WriteFileAtomically(dir_ / "link.dxf", "new");
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.dxf"));
    EXPECT_EQ(Read(dir_ / "real" / "a.dxf"), "new");
}

TEST_F(AtomicFile, AFailureLeavesTheOldFile) {
    Write(dir_ / "a.dxf", "old");
    {
        test::FileSizeLimit limit(4);  // the disk is "full" after 4 bytes
        try {
            WriteFileAtomically(dir_ / "a.dxf", "new and longer");
            ADD_FAILURE() << "written";
        } catch (const FileWriteError &e) {
            EXPECT_NE(std::string(e.what()).find("a.dxf\": cannot write"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(Read(dir_ / "a.dxf"), "old");
    EXPECT_EQ(Entries(), 1u);  // no temporary file left
}

// A stop at any point of the write (before it, between pieces, just before the rename) leaves
// the old file and no temporary one; with no stop the new content is there.
TEST_F(AtomicFile, AStopLeavesTheOldFile) {
    const std::string bytes((std::size_t{9} << 20) + 5, 'n');  // three pieces of 4 MB
    for (int allowed : {0, 1, 2, 3}) {
        SCOPED_TRACE(allowed);
        Write(dir_ / "a.dxf", "old");
        int asked = 0;
        const auto keepGoing = [&] { return asked++ < allowed; };
        EXPECT_THROW(WriteFileAtomically(dir_ / "a.dxf", bytes, keepGoing), WriteStopped);
        EXPECT_EQ(Read(dir_ / "a.dxf"), "old");
        EXPECT_EQ(Entries(), 1u);
    }
    WriteFileAtomically(dir_ / "a.dxf", bytes, [] { return true; });
    EXPECT_EQ(Read(dir_ / "a.dxf"), bytes);
}

TEST(TemporaryName, MatchesOnlyTemporaryFilesOfTheTarget) {
    EXPECT_TRUE(IsTemporaryNameOf("a.dxf.pimu-tmp", "a.dxf"));
    EXPECT_TRUE(IsTemporaryNameOf("./a.dxf.x7k2m9qa.pimu-tmp", "a.dxf"));
    EXPECT_TRUE(IsTemporaryNameOf("a.dxf.tmp", "a.dxf"));
    EXPECT_FALSE(IsTemporaryNameOf("a.dxf", "a.dxf"));
    EXPECT_FALSE(IsTemporaryNameOf("b.dxf.pimu-tmp", "a.dxf"));
    EXPECT_FALSE(IsTemporaryNameOf("sub/a.dxf.pimu-tmp", "a.dxf"));
}

}  // namespace
}  // namespace pimu
