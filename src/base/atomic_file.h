// Writing a file so that readers see the old content or the new, never a part of either.
//
// Every writer of the program goes through WriteFileAtomically: the DXF writers, the settings
// file, the command line's pictures and tables.
//   - Only regular files are written: a device, FIFO, socket or folder at the target is refused.
//   - A symbolic link at the target is written through: the file it names is replaced and the
//     link stays. A link that names nothing is refused.
//   - The new content goes to an unnamed file in the target's folder (O_TMPFILE) or, where the
//     file system lacks that, to a new name created exclusively (O_EXCL) there:
//     "<name>.<random>.pimu-tmp". A name that exists is never reused or removed, so two runs
//     writing beside each other cannot take each other's file.
//   - The file and its folder are flushed to the disk (fsync) before and after the rename.
//   - On Windows the new content goes to "<name>.<random>.pimu-tmp" created with CREATE_NEW,
//     is flushed (FlushFileBuffers) and moved over the target with MoveFileExW
//     (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH); paths stay UTF-16 throughout.
//   - A failure throws FileWriteError and leaves the old file as it was.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pimu {

// what() is "<path>: <reason>", the path quoted as QuoteForMessage does.
class FileWriteError : public std::runtime_error {
public:
    FileWriteError(const std::filesystem::path &path, const std::string &reason);
    const std::string &reason() const { return reason_; }

private:
    std::string reason_;
};

// Thrown when a write was stopped (keepGoing answered false): the old file is as it was.
class WriteStopped : public FileWriteError {
public:
    explicit WriteStopped(const std::filesystem::path &path) : FileWriteError(path, "stopped") {}
};

void WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes);
// The same, asking `keepGoing` between pieces of the write and last of all just before the new
// file replaces the old: once it answers false, the new file is removed and WriteStopped thrown.
void WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes,
                         const std::function<bool()> &keepGoing);

// Throws FileWriteError when `path` names something other than a regular file (or a link to
// one), or a folder that is missing: what WriteFileAtomically would refuse, checked before
// anything is computed.
void CheckWritableTarget(const std::filesystem::path &path);

// Whether `candidate` has the form of a temporary file of `target` ("<name>.<any>.pimu-tmp" in
// the same folder, or the older "<name>.pimu-tmp" and "<name>.tmp").
bool IsTemporaryNameOf(const std::filesystem::path &candidate, const std::filesystem::path &target);

}  // namespace pimu
