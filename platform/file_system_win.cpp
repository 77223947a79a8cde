#include <windows.h>

#include <optional>
#include <vector>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"
#include "platform/win_handles.h"
#include "platform/win_text.h"

namespace kosmara {

namespace {

DWORD Attributes(std::u16string_view path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(Wide(std::u16string(path)));
}

// Calls fill(buffer, size) → length as the system's text functions answer:
// the length without the null when it fits, the size needed otherwise, 0 on
// failure.
template <typename Fill>
std::optional<std::u16string> SystemText(Fill fill) {
    std::u16string text(MAX_PATH + 1, u'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = fill(WideBuffer(text), static_cast<DWORD>(text.size()));
        if (length == 0) return std::nullopt;
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.assign(length + 1, u'\0');
    }
    return std::nullopt;
}

// Visits the entries of FindFirstFileW(query); false when the query failed
// for another reason than finding nothing.
template <typename Visit>
bool ForEachEntry(const std::u16string& query, Visit visit) {
    WIN32_FIND_DATAW data{};
    const FindHandle find(::FindFirstFileW(Wide(query), &data));
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        visit(data);
    } while (::FindNextFileW(find.get(), &data));
    return true;
}

bool IsFolderEntry(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

bool FileExists(std::u16string_view path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(std::u16string_view path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<FileIdentity> IdentityOfPath(std::u16string_view path) {
    if (path.empty()) return std::nullopt;
    // No access asked for: works while others hold the file exclusively, and
    // backup semantics let folders open too.
    const KernelHandle handle(::CreateFileW(Wide(std::u16string(path)), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return std::nullopt;
    return IdentityOfOpenFile(reinterpret_cast<std::intptr_t>(handle.get()));
}

std::u16string FinalPathOf(std::u16string_view path) {
    const std::u16string full = FullPath(path);
    const KernelHandle handle(::CreateFileW(Wide(full), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return full;
    return FinalPathOfOpenFile(reinterpret_cast<std::intptr_t>(handle.get())).value_or(full);
}

std::u16string TemporaryFolder() {
    const std::u16string reported =
        SystemText([](wchar_t* buffer, DWORD size) { return ::GetTempPathW(size, buffer); }).value_or(u"");
    const std::u16string longForm = LongPathOf(reported);
    return WithClosingSeparator(longForm);
}

void CreateFolders(std::u16string_view path) {
    if (path.empty() || FolderExists(path)) return;
    std::u16string folder(path);
    while (folder.size() > 1 && IsPathSeparator(folder.back()) && folder.size() > DrivePrefixLength(folder) + 1)
        folder.pop_back();
    const std::u16string parent = FolderOfPath(folder);
    if (!parent.empty() && parent != folder) CreateFolders(parent);
    ::CreateDirectoryW(Wide(folder), nullptr);
}

std::optional<std::u16string> CannotCreateFilesIn(std::u16string_view folder) {
    static unsigned counter = 0;
    for (int attempt = 0;; ++attempt) {
        const std::u16string probe = JoinPath(
            folder, kProbeFilePrefix + FromAscii(std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter)));
        // Removed by the system when the handle closes, whatever happens
        // between; Wine removes the Unix file below it then.
        const KernelHandle file(::CreateFileW(Wide(probe), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (file) return std::nullopt;
        const DWORD code = ::GetLastError();
        // A probe of another run that ended before it was removed: another name.
        if ((code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) && attempt < 100) continue;
        return SystemErrorText(code);
    }
}

std::optional<std::vector<std::u16string>> ListFiles(std::u16string_view folder) {
    std::vector<std::u16string> names;
    const bool listed = ForEachEntry(JoinPath(folder, u"*"), [&](const WIN32_FIND_DATAW& data) {
        if (!IsFolderEntry(data)) names.push_back(FromWide(data.cFileName));
    });
    if (!listed || (!folder.empty() && !FolderExists(folder))) return std::nullopt;
    return names;
}

namespace {

// Errors of a file that another program (a virus scanner, an indexer)
// holds for a moment.
bool IsPassing(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

constexpr int kAttempts = 5;
constexpr DWORD kPauseMilliseconds = 200;

// One attempt of the copy; 0 or the error that stopped it.
DWORD CopyOnce(const std::u16string& from, const std::u16string& to) {
    // Read as the engine reads: every sharing mode, so a table the legacy
    // program holds open for writing can be copied (CopyFileW cannot).
    KernelHandle in(::CreateFileW(Wide(from), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return ::GetLastError();
    if (::GetFileType(in.get()) != FILE_TYPE_DISK) return ERROR_INVALID_FUNCTION;

    // Beside the target under a name without ".", then moved over it: the
    // name is replaced, never the file a hard link there shares.
    static unsigned counter = 0;
    const std::u16string folder = to.substr(0, to.find_last_of(u"\\/") + 1);
    std::u16string temporary;
    KernelHandle out;
    std::optional<RemoveOnInterrupt> cleanup;
    for (int attempt = 0; !out; ++attempt) {
        // Short: a target path just below the copy limit must leave room for it.
        temporary = folder + u"~kosmara" + FromAscii(std::to_string(::GetCurrentProcessId())) + u"c" +
                    FromAscii(std::to_string(++counter));
        const InterruptShield shield;
        if (shield.interrupted()) return ERROR_OPERATION_ABORTED;
        out.reset(::CreateFileW(Wide(temporary), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) {
            const DWORD code = ::GetLastError();
            if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt >= 100) return code;
        } else {
            cleanup.emplace(temporary);
        }
    }
    const auto failed = [&](DWORD code) {
        out.reset();
        ::DeleteFileW(Wide(temporary));
        return code;
    };
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return failed(::GetLastError());
        if (got == 0) break;
        DWORD written = 0;
        if (!::WriteFile(out.get(), buffer.data(), got, &written, nullptr)) return failed(::GetLastError());
        if (written != got) return failed(ERROR_DISK_FULL);
    }
    out.reset();
    // Closed before the move: a file copied onto itself is replaced too.
    in.reset();
    // A read-only copy of an earlier run (CopyFileW kept the source's
    // attributes) would refuse the replacement.
    const DWORD attributes = ::GetFileAttributesW(Wide(to));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(Wide(to), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (!::MoveFileExW(Wide(temporary), Wide(to), MOVEFILE_REPLACE_EXISTING)) return failed(::GetLastError());
    return 0;
}

}  // namespace

void CopyFileReplacing(std::u16string_view source, std::u16string_view target) {
    const std::u16string from(source);
    const std::u16string to(target);
    DWORD code = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) ::Sleep(kPauseMilliseconds);
        code = CopyOnce(from, to);
        if (code == 0 || !IsPassing(code)) break;
    }
    if (code != 0) throw Error(FillMessage(kCannotCopyFile, {from, to, SystemErrorText(code)}));
}

void RemoveFile(std::u16string_view path) {
    const std::u16string file(path);
    DWORD code = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) ::Sleep(kPauseMilliseconds);
        const DWORD attributes = ::GetFileAttributesW(Wide(file));
        if (attributes == INVALID_FILE_ATTRIBUTES && ::GetLastError() == ERROR_FILE_NOT_FOUND) return;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            ::SetFileAttributesW(Wide(file), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        if (::DeleteFileW(Wide(file))) return;
        code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return;
        if (!IsPassing(code)) break;
    }
    throw Error(FillMessage(kCannotRemoveFile, {file, SystemErrorText(code)}));
}

void CreatePrivateFolder(std::u16string_view path) {
    CreateFolders(path);
    if (FolderExists(path)) return;
    std::u16string bare(path);
    while (bare.size() > DrivePrefixLength(bare) + 1 && IsPathSeparator(bare.back())) bare.pop_back();
    if (FileExists(bare)) throw Error(FillMessage(kFolderNotPrivate, {path}));
    throw Error(FillMessage(kCannotCreateFolder, {path, SystemErrorText(ERROR_PATH_NOT_FOUND)}));
}

std::optional<FolderLock> FolderLock::Acquire(std::u16string_view folder, std::u16string_view name,
                                              std::chrono::milliseconds wait, const std::function<void()>& waiting) {
    const std::u16string path = JoinPath(folder, name);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        // No sharing: a second opener gets a sharing violation until this
        // handle closes, also when the process ends without a word.
        HANDLE raw = ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw != INVALID_HANDLE_VALUE) return FolderLock(NativeFile(reinterpret_cast<std::intptr_t>(raw)));
        const DWORD code = ::GetLastError();
        if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION && code != ERROR_ACCESS_DENIED)
            throw Error(FillMessage(kCannotCreateFile, {path, SystemErrorText(code)}));
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        if (waiting) waiting();
        ::Sleep(100);
    }
}

std::u16string LongPathOf(std::u16string_view path) {
    const std::u16string input(path);
    if (input.empty()) return input;
    return SystemText([&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(Wide(input), buffer, size); })
        .value_or(input);
}

std::vector<std::u16string> FilesNamedLike(std::u16string_view folder, std::u16string_view prefix) {
    std::vector<std::u16string> paths;
    // The system's own matching: without regard to case, by the volume's
    // rules, and against short names as well.
    ForEachEntry(JoinPath(folder, std::u16string(prefix) + u"*"), [&](const WIN32_FIND_DATAW& data) {
        if (!IsFolderEntry(data)) paths.push_back(JoinPath(folder, FromWide(data.cFileName)));
    });
    return paths;
}

std::size_t MaxPathLength() { return MAX_PATH; }
std::size_t MaxCopyPathLength() { return MAX_PATH - 12; }

}  // namespace kosmara
