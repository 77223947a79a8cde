// Files as the engine reads them: opened read-only and shared with every
// other opener (the legacy program may keep its tables open while we read),
// plus the few folder operations the engine needs. Nothing here writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kosmara {

// "Die Datei "%s" kann nicht gelesen werden. %s": full path, system error text.
inline constexpr char16_t kCannotReadFile[] = u"Die Datei \"%s\" kann nicht gelesen werden. %s";

// Why a file could not be opened.
enum class OpenFailure {
    kNotFound,          // no such file (the folder exists)
    kFolderNotFound,    // a folder on the way does not exist
    kIsFolder,          // the path names a folder
    kAccessDenied,      // no permission
    kLocked,            // another program holds it exclusively (sharing or lock violation)
    kOther,
};

struct OpenError {
    OpenFailure failure = OpenFailure::kOther;
    unsigned long systemCode = 0;  // errno or GetLastError
};

// The identity of a file on its volume: two paths with equal identities name
// the same file (links, other spellings, 8.3 names).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class InputFile {
public:
    // Opens an existing regular file for reading, shared for reading, writing
    // and deleting by others. On failure returns nothing and fills error.
    static std::optional<InputFile> Open(std::u16string_view path, OpenError& error);

    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Size in bytes at the time of the call.
    std::uint64_t Size() const;
    // Reads up to size bytes at offset; returns how many were read, fewer
    // only at the end of the file. A failing read throws kCannotReadFile.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    FileIdentity Identity() const;

    const std::u16string& path() const noexcept { return path_; }

private:
    InputFile(std::intptr_t handle, std::u16string path) noexcept : handle_(handle), path_(std::move(path)) {}
    void Close() noexcept;

    std::intptr_t handle_;  // file descriptor or Windows handle; -1 when closed
    std::u16string path_;
};

// The identity of the file or folder at path, or nothing when nothing exists
// there or it cannot be asked.
std::optional<FileIdentity> IdentityOfPath(std::u16string_view path);

bool FolderExists(std::u16string_view path);

// folder and name joined with the platform's separator (none added when the
// folder already ends with one, or is empty).
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// The folder part of a path (before its last separator; a drive root keeps
// its separator), and the last component.
std::u16string FolderOfPath(std::u16string_view path);
std::u16string NameOfPath(std::u16string_view path);

// The path of the file named name in folder, compared without regard to the
// case of letters: the exact name first, otherwise the first directory entry
// that matches (POSIX file systems are case-sensitive; Windows' are not).
// Nothing when there is none.
std::optional<std::u16string> FindFileIgnoringCase(std::u16string_view folder, std::u16string_view name);

// The names of the files in folder (folders left out), in the order the file
// system lists them; empty when the folder cannot be read.
std::vector<std::u16string> ListFileNames(std::u16string_view folder);

// Letters folded for a case-insensitive comparison of file names (ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic).
char16_t FoldCase(char16_t c);
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace kosmara
