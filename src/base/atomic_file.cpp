#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "base/quote.h"

namespace pimu {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kTempSuffix = ".pimu-tmp";

std::string PathText(const fs::path &path) {
    const std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// Closes the descriptor it holds.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    // Closes now and reports the result (a delayed write error shows up here).
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// What the target is: the path written (through a link) and a refusal reason, if any.
struct Target {
    fs::path path;
    std::string refusal;
    bool exists = false;
};

Target Resolve(const fs::path &requested) {
    Target t;
    t.path = requested;
    struct stat st {};
    if (::lstat(requested.c_str(), &st) != 0) {
        if (errno != ENOENT) t.refusal = ErrnoText(errno);
        return t;
    }
    if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        const fs::path real = fs::canonical(requested, ec);
        if (ec) {
            t.refusal = "a symbolic link to nothing";
            return t;
        }
        t.path = real;
        if (::stat(real.c_str(), &st) != 0) {
            t.refusal = ErrnoText(errno);
            return t;
        }
    }
    t.exists = true;
    if (S_ISDIR(st.st_mode))
        t.refusal = "a folder, not a file";
    else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        t.refusal = "a device, not a file";
    else if (S_ISFIFO(st.st_mode))
        t.refusal = "a pipe (FIFO), not a file";
    else if (S_ISSOCK(st.st_mode))
        t.refusal = "a socket, not a file";
    else if (!S_ISREG(st.st_mode))
        t.refusal = "not a regular file";
    return t;
}

fs::path FolderOf(const fs::path &path) {
    const fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

void SyncFolder(const fs::path &folder, const fs::path &path) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
        // Some file systems do not sync folders (EINVAL); the rename itself has happened.
        if (errno != EINVAL && errno != EROFS)
            throw FileWriteError(path, "cannot flush the folder: " + ErrnoText(errno));
    }
}

std::string RandomPart() {
    std::random_device device;
    std::uniform_int_distribution<unsigned> digit(0, 35);
    std::string out;
    for (int k = 0; k < 8; ++k) {
        const unsigned d = digit(device);
        out += static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
    }
    return out;
}

fs::path TempNameFor(const fs::path &target) {
    return FolderOf(target) /
           (target.filename().string() + "." + RandomPart() + std::string(kTempSuffix));
}

void WriteAll(int fd, std::string_view bytes, const fs::path &path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileWriteError(path, "cannot write: " + ErrnoText(errno));
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// The new file keeps the old one's permissions; a new file gets the usual 0666 less the umask
// (open applied it already).
void KeepMode(int fd, const Target &target) {
    if (!target.exists) return;
    struct stat st {};
    if (::stat(target.path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
}

}  // namespace

FileWriteError::FileWriteError(const fs::path &path, const std::string &reason)
    : std::runtime_error(QuoteForMessage(PathText(path), 200) + ": " + reason), reason_(reason) {}

void CheckWritableTarget(const fs::path &path) {
    if (path.empty()) throw FileWriteError(path, "an empty file name");
    const Target t = Resolve(path);
    if (!t.refusal.empty()) throw FileWriteError(path, t.refusal);
    std::error_code ec;
    if (!fs::is_directory(FolderOf(t.path), ec))
        throw FileWriteError(path, "the folder does not exist");
}

void WriteFileAtomically(const fs::path &path, std::string_view bytes) {
    if (path.empty()) throw FileWriteError(path, "an empty file name");
    const Target target = Resolve(path);
    if (!target.refusal.empty()) throw FileWriteError(path, target.refusal);
    const fs::path folder = FolderOf(target.path);

    // Preferably an unnamed file: a run killed while writing leaves nothing behind.
    int raw = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const bool unnamed = raw >= 0;
    fs::path temp;
    if (!unnamed) {
        for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
            temp = TempNameFor(target.path);
            raw = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (raw < 0 && errno != EEXIST) break;
        }
        if (raw < 0) throw FileWriteError(path, "cannot create a file here: " + ErrnoText(errno));
    }
    Fd fd(raw);
    bool linked = !unnamed;  // whether `temp` names our file and must go on failure
    try {
        KeepMode(fd.get(), target);
        WriteAll(fd.get(), bytes, path);
        if (::fsync(fd.get()) != 0)
            throw FileWriteError(path, "cannot flush to the disk: " + ErrnoText(errno));
        if (unnamed) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
            for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
                temp = TempNameFor(target.path);
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) ==
                    0)
                    linked = true;
                else if (errno != EEXIST)
                    throw FileWriteError(path, "cannot name the new file: " + ErrnoText(errno));
            }
            if (!linked) throw FileWriteError(path, "cannot name the new file");
        }
        if (fd.Close() != 0) throw FileWriteError(path, "cannot write: " + ErrnoText(errno));
        SyncFolder(folder, path);
        if (::rename(temp.c_str(), target.path.c_str()) != 0)
            throw FileWriteError(path, "cannot replace the file: " + ErrnoText(errno));
        linked = false;
        SyncFolder(folder, path);
    } catch (...) {
        if (linked) ::unlink(temp.c_str());  // ours: created exclusively by this call
        throw;
    }
}

bool IsTemporaryNameOf(const fs::path &candidate, const fs::path &target) {
    const std::string name = candidate.filename().string();
    const std::string base = target.filename().string();
    if (base.empty() || !name.starts_with(base)) return false;
    const std::string_view rest = std::string_view(name).substr(base.size());
    if (rest != ".tmp" && !rest.ends_with(kTempSuffix)) return false;
    if (rest != ".tmp" && rest != kTempSuffix && !rest.starts_with(".")) return false;
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(fs::absolute(candidate).parent_path(), ec);
    const fs::path b = fs::weakly_canonical(fs::absolute(target).parent_path(), ec);
    return a == b;
}

}  // namespace pimu
