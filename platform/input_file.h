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

#include "core/path.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/file_system.h"

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
    kNotARegularFile,   // a device, a FIFO or a socket
    kOther,
};

struct OpenError {
    OpenFailure failure = OpenFailure::kOther;
    unsigned long systemCode = 0;  // errno or GetLastError
};

class InputFile {
public:
    // Opens an existing regular file for reading, shared for reading, writing
    // and deleting by others. On failure returns nothing and fills error.
    static std::optional<InputFile> Open(std::u16string_view path, OpenError& error);

    InputFile(InputFile&&) noexcept = default;
    InputFile& operator=(InputFile&&) noexcept = default;

    // Size in bytes at the time of the call.
    std::uint64_t Size() const;
    // Reads up to size bytes at offset; returns how many were read, fewer
    // only at the end of the file. A failing read throws kCannotReadFile.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    FileIdentity Identity() const;

    const std::u16string& path() const noexcept { return path_; }

private:
    InputFile(NativeFile handle, std::u16string path) noexcept : handle_(std::move(handle)), path_(std::move(path)) {}

    NativeFile handle_;
    std::u16string path_;
};

// The identity of the file or folder at path, or nothing when nothing exists
// there or it cannot be asked.
std::optional<FileIdentity> IdentityOfPath(std::u16string_view path);

// The path of the file named name in folder, compared without regard to the
// case of letters: the exact name first, otherwise the first directory entry
// that matches (POSIX file systems are case-sensitive; Windows' are not).
// Nothing when there is none.
std::optional<std::u16string> FindFileIgnoringCase(std::u16string_view folder, std::u16string_view name);

}  // namespace kosmara
