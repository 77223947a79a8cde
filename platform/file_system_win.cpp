#include <windows.h>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/file_system.h"
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
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
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
    const std::u16string probe = JoinPath(folder, u"kosmara-probe-" + FromAscii(std::to_string(::GetCurrentProcessId())));
    // Removed by the system when the handle closes, whatever happens between.
    const KernelHandle file(::CreateFileW(Wide(probe), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) return SystemErrorText(::GetLastError());
    return std::nullopt;
}

std::optional<std::vector<std::u16string>> ListFiles(std::u16string_view folder) {
    std::vector<std::u16string> names;
    const bool listed = ForEachEntry(JoinPath(folder, u"*"), [&](const WIN32_FIND_DATAW& data) {
        if (!IsFolderEntry(data)) names.push_back(FromWide(data.cFileName));
    });
    if (!listed || (!folder.empty() && !FolderExists(folder))) return std::nullopt;
    return names;
}

void CopyFileReplacing(std::u16string_view source, std::u16string_view target) {
    const std::u16string from(source);
    const std::u16string to(target);
    // Copied beside the target under a name of its own, then moved over it:
    // the name is replaced, never the file a hard link there shares.
    const std::u16string temporary = to + u"~k" + FromAscii(std::to_string(::GetCurrentProcessId() % 10000));
    if (!::CopyFileW(Wide(from), Wide(temporary), FALSE)) throw Error(SystemErrorText(::GetLastError()));
    if (!::MoveFileExW(Wide(temporary), Wide(to), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(Wide(temporary));
        throw Error(SystemErrorText(code));
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
