#include "base/atomic_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
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

fs::path FolderOf(const fs::path &path) {
    const fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
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
    std::string tail = ".";
    tail += RandomPart();
    tail += kTempSuffix;
    fs::path name = target.filename();
    name += tail;
    return FolderOf(target) / name;
}

// What the target is: the path written (through a link) and a refusal reason, if any.
struct Target {
    fs::path path;
    std::string refusal;
    bool exists = false;
};

}  // namespace

FileWriteError::FileWriteError(const fs::path &path, const std::string &reason)
    : std::runtime_error(QuoteForMessage(PathText(path), 200) + ": " + reason), reason_(reason) {}

bool IsTemporaryNameOf(const fs::path &candidate, const fs::path &target) {
    const std::string name = PathText(candidate.filename());
    const std::string base = PathText(target.filename());
    if (base.empty() || !name.starts_with(base)) return false;
    const std::string_view rest = std::string_view(name).substr(base.size());
    if (rest != ".tmp" && !rest.ends_with(kTempSuffix)) return false;
    if (rest != ".tmp" && rest != kTempSuffix && !rest.starts_with(".")) return false;
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(fs::absolute(candidate).parent_path(), ec);
    const fs::path b = fs::weakly_canonical(fs::absolute(target).parent_path(), ec);
    return a == b;
}

#ifdef _WIN32

namespace {

// The system's text for an error code, in UTF-8.
std::string ErrorText(DWORD error) {
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0,
                                             nullptr, nullptr);
        text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), text.data(), size, nullptr,
                                nullptr);
    }
    if (buffer) LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : text;
}

// Closes the handle it holds.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    // Closes now and reports the result.
    bool Close() {
        const bool ok = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

// Opening the target (links followed) tells a file from a folder or a device; a link is
// written through to the file it names.
Target Resolve(const fs::path &requested) {
    Target t;
    t.path = requested;
    Handle h(CreateFileW(requested.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            const DWORD own = GetFileAttributesW(requested.c_str());
            if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT))
                t.refusal = "a symbolic link to nothing";
            return t;
        }
        t.refusal = ErrorText(error);
        return t;
    }
    t.exists = true;
    if (GetFileType(h.get()) != FILE_TYPE_DISK) {
        t.refusal = "a device, not a file";
        return t;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h.get(), &info)) {
        t.refusal = ErrorText(GetLastError());
        return t;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        t.refusal = "a folder, not a file";
        return t;
    }
    const DWORD own = GetFileAttributesW(requested.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT)) {
        std::wstring final(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetFinalPathNameByHandleW(h.get(), final.data(),
                                                      static_cast<DWORD>(final.size()), 0);
            if (n == 0) {
                t.refusal = ErrorText(GetLastError());
                return t;
            }
            if (n < final.size()) {
                final.resize(n);
                break;
            }
            final.resize(n + 1);
        }
        t.path = fs::path(final);
    }
    return t;
}

void WriteAll(HANDLE h, std::string_view bytes, const fs::path &path) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr))
            throw FileWriteError(path, "cannot write: " + ErrorText(GetLastError()));
        bytes.remove_prefix(written);
    }
}

// The bytes in pieces of 4 MB, asking keepGoing before each.
template <class File>
void WriteInPieces(File f, std::string_view bytes, const fs::path &path,
                   const std::function<bool()> &keepGoing) {
    constexpr std::size_t kPiece = std::size_t{4} << 20;
    do {
        if (keepGoing && !keepGoing()) throw WriteStopped(path);
        const std::string_view piece = bytes.substr(0, kPiece);
        WriteAll(f, piece, path);
        bytes.remove_prefix(piece.size());
    } while (!bytes.empty());
}

}  // namespace

void CheckWritableTarget(const fs::path &path) {
    if (path.empty()) throw FileWriteError(path, "an empty file name");
    const Target t = Resolve(path);
    if (!t.refusal.empty()) throw FileWriteError(path, t.refusal);
    std::error_code ec;
    if (!fs::is_directory(FolderOf(t.path), ec))
        throw FileWriteError(path, "the folder does not exist");
}

// The new content goes to "<name>.<random>.pimu-tmp" beside the target, created only if no such
// file exists (CREATE_NEW), flushed to the disk, then moved over the target in one step.
void WriteFileAtomically(const fs::path &path, std::string_view bytes,
                         const std::function<bool()> &keepGoing) {
    if (path.empty()) throw FileWriteError(path, "an empty file name");
    const Target target = Resolve(path);
    if (!target.refusal.empty()) throw FileWriteError(path, target.refusal);

    fs::path temp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
        temp = TempNameFor(target.path);
        raw = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
        }
    }
    if (raw == INVALID_HANDLE_VALUE)
        throw FileWriteError(path, "cannot create a file here: " + ErrorText(error));
    Handle file(raw);
    bool created = true;  // `temp` is ours (created exclusively) and must go on failure
    try {
        WriteInPieces(file.get(), bytes, path, keepGoing);
        if (!FlushFileBuffers(file.get()))
            throw FileWriteError(path, "cannot flush to the disk: " + ErrorText(GetLastError()));
        if (!file.Close()) throw FileWriteError(path, "cannot write: " + ErrorText(GetLastError()));
        if (keepGoing && !keepGoing()) throw WriteStopped(path);
        if (!MoveFileExW(temp.c_str(), target.path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw FileWriteError(path, "cannot replace the file: " + ErrorText(GetLastError()));
        created = false;
    } catch (...) {
        if (file.valid()) file.Close();
        if (created) DeleteFileW(temp.c_str());
        throw;
    }
}

#else  // POSIX

namespace {

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

void SyncFolder(const fs::path &folder, const fs::path &path) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
        // Some file systems do not sync folders (EINVAL); the rename itself has happened.
        if (errno != EINVAL && errno != EROFS)
            throw FileWriteError(path, "cannot flush the folder: " + ErrnoText(errno));
    }
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

// The bytes in pieces of 4 MB, asking keepGoing before each.
template <class File>
void WriteInPieces(File f, std::string_view bytes, const fs::path &path,
                   const std::function<bool()> &keepGoing) {
    constexpr std::size_t kPiece = std::size_t{4} << 20;
    do {
        if (keepGoing && !keepGoing()) throw WriteStopped(path);
        const std::string_view piece = bytes.substr(0, kPiece);
        WriteAll(f, piece, path);
        bytes.remove_prefix(piece.size());
    } while (!bytes.empty());
}

// The new file keeps the old one's permissions; a new file gets the usual 0666 less the umask
// (open applied it already).
void KeepMode(int fd, const Target &target) {
    if (!target.exists) return;
    struct stat st {};
    if (::stat(target.path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
}

}  // namespace

void CheckWritableTarget(const fs::path &path) {
    if (path.empty()) throw FileWriteError(path, "an empty file name");
    const Target t = Resolve(path);
    if (!t.refusal.empty()) throw FileWriteError(path, t.refusal);
    std::error_code ec;
    if (!fs::is_directory(FolderOf(t.path), ec))
        throw FileWriteError(path, "the folder does not exist");
}

void WriteFileAtomically(const fs::path &path, std::string_view bytes,
                         const std::function<bool()> &keepGoing) {
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
        WriteInPieces(fd.get(), bytes, path, keepGoing);
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
        if (keepGoing && !keepGoing()) throw WriteStopped(path);
        if (::rename(temp.c_str(), target.path.c_str()) != 0)
            throw FileWriteError(path, "cannot replace the file: " + ErrnoText(errno));
        linked = false;
        SyncFolder(folder, path);
    } catch (...) {
        if (linked) ::unlink(temp.c_str());  // ours: created exclusively by this call
        throw;
    }
}

#endif

void WriteFileAtomically(const fs::path &path, std::string_view bytes) {
    WriteFileAtomically(path, bytes, {});
}

}  // namespace pimu
