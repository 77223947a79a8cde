#include <windows.h>

#include <utility>

#include "core/error.h"
#include "platform/file.h"
#include "platform/input_file.h"
#include "platform/win_handles.h"
#include "platform/win_text.h"

namespace kosmara {

namespace {

HANDLE Native(const NativeFile& file) { return reinterpret_cast<HANDLE>(file.get()); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
        return FolderExists(path) ? OpenFailure::kIsFolder : OpenFailure::kAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return OpenFailure::kLocked;
    default:
        return OpenFailure::kOther;
    }
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
    InputFile file(NativeFile(reinterpret_cast<std::intptr_t>(handle)), name);
    BY_HANDLE_FILE_INFORMATION info{};
    // Devices and pipes ("CON", "\\.\pipe\...") are no table files.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        error = {OpenFailure::kNotARegularFile, ERROR_INVALID_FUNCTION};
        return std::nullopt;
    }
    if (!::GetFileInformationByHandle(handle, &info)) {
        error = {OpenFailure::kOther, ::GetLastError()};
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = {OpenFailure::kIsFolder, ERROR_ACCESS_DENIED};
        return std::nullopt;
    }
    return file;
}

std::uint64_t InputFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Native(handle_), &size)) {
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
        if (!::ReadFile(Native(handle_), bytes + done, chunk, &got, &at)) {
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
    const std::optional<FileIdentity> identity = IdentityOfOpenFile(handle_.get());
    if (!identity) {
        const DWORD code = ::GetLastError();
        throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(code)}));
    }
    return *identity;
}

std::optional<std::u16string> FindFileIgnoringCase(std::u16string_view folder, std::u16string_view name) {
    // Wildcards would make the search below match other names.
    if (name.empty() || name.find_first_of(u"*?") != std::u16string_view::npos) return std::nullopt;
    // The file system ignores case already; the name is returned as the
    // directory spells it.
    const std::u16string exact = JoinPath(folder, name);
    if (!FileExists(exact)) return std::nullopt;
    WIN32_FIND_DATAW data{};
    const FindHandle find(::FindFirstFileW(Wide(exact), &data));
    if (find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return JoinPath(folder, FromWide(data.cFileName));
    return exact;
}

}  // namespace kosmara
