#include <windows.h>

#include <utility>

#include "core/error.h"
#include "platform/file.h"
#include "platform/input_file.h"

namespace kosmara {

namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

class Handle {
public:
    explicit Handle(HANDLE handle) noexcept : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) ::CloseHandle(handle_);
    }
    bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) noexcept : handle_(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (valid()) ::FindClose(handle_);
    }
    bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsFolderPath(const std::u16string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFilePath(const std::u16string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

OpenFailure FailureOfCode(DWORD code, const std::u16string& path) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return OpenFailure::kNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return OpenFailure::kFolderNotFound;
    case ERROR_ACCESS_DENIED:
        // Opening a folder without backup semantics is refused this way.
        return IsFolderPath(path) ? OpenFailure::kIsFolder : OpenFailure::kAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return OpenFailure::kLocked;
    default:
        return OpenFailure::kOther;
    }
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Names in folder matching pattern ("*" for all), with their attributes.
template <typename Visit>
void ForEachEntry(std::u16string_view folder, std::u16string_view pattern, Visit visit) {
    const std::u16string query = JoinPath(folder, pattern);
    WIN32_FIND_DATAW data{};
    const FindHandle find(::FindFirstFileW(Wide(query), &data));
    if (!find.valid()) return;
    do {
        if (!visit(std::u16string(reinterpret_cast<const char16_t*>(data.cFileName)), data.dwFileAttributes)) return;
    } while (::FindNextFileW(find.get(), &data));
}

}  // namespace

std::optional<InputFile> InputFile::Open(std::u16string_view path, OpenError& error) {
    const std::u16string name(path);
    HANDLE handle = ::CreateFileW(Wide(name), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        error = {FailureOfCode(code, name), code};
        return std::nullopt;
    }
    InputFile file(reinterpret_cast<std::intptr_t>(handle), name);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        error = {OpenFailure::kOther, ::GetLastError()};
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = {OpenFailure::kIsFolder, ERROR_ACCESS_DENIED};
        return std::nullopt;
    }
    // Devices and pipes ("CON", "\\.\pipe\...") are no table files.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        error = {OpenFailure::kOther, ERROR_INVALID_FUNCTION};
        return std::nullopt;
    }
    return file;
}

std::uint64_t InputFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) {
        const DWORD code = ::GetLastError();
        throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(code)}));
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t position = offset + done;
        if (position < offset) break;
        const DWORD chunk = size - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size - done);
        // The offset travels with the call: no shared file pointer.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD got = 0;
        if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), bytes + done, chunk, &got, &at)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF) break;
            throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(code)}));
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

FileIdentity InputFile::Identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), &info)) {
        const DWORD code = ::GetLastError();
        throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(code)}));
    }
    return IdentityOf(info);
}

void InputFile::Close() noexcept {
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, -1)));
}

std::optional<FileIdentity> IdentityOfPath(std::u16string_view path) {
    if (path.empty()) return std::nullopt;
    const std::u16string name(path);
    // No access asked for: works while others hold the file exclusively, and
    // backup semantics let folders open too.
    const Handle handle(::CreateFileW(Wide(name), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr));
    if (!handle.valid()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
    return IdentityOf(info);
}

bool FolderExists(std::u16string_view path) {
    if (path.empty()) return true;  // the current folder
    return IsFolderPath(std::u16string(path));
}

std::optional<std::u16string> FindFileIgnoringCase(std::u16string_view folder, std::u16string_view name) {
    // Wildcards would make the search below match other names.
    if (name.empty() || name.find_first_of(u"*?") != std::u16string_view::npos) return std::nullopt;
    // The file system ignores case already; the name is returned as the
    // directory spells it.
    if (!IsFilePath(JoinPath(folder, name))) return std::nullopt;
    std::optional<std::u16string> found;
    ForEachEntry(folder, name, [&](std::u16string entry, DWORD attributes) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
        found = JoinPath(folder, entry);
        return false;
    });
    return found ? found : JoinPath(folder, name);
}

std::vector<std::u16string> ListFileNames(std::u16string_view folder) {
    std::vector<std::u16string> names;
    ForEachEntry(folder, u"*", [&](std::u16string entry, DWORD attributes) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(std::move(entry));
        return true;
    });
    return names;
}

}  // namespace kosmara
