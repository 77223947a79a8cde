#include <windows.h>

#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/system_error_text.h"
#include "platform/win_handles.h"
#include "platform/win_text.h"

namespace kosmara {

void NativeFileTraits::Close(Value value) noexcept { ::CloseHandle(reinterpret_cast<HANDLE>(value)); }

namespace {

HANDLE Native(const NativeFile& file) { return reinterpret_cast<HANDLE>(file.get()); }

// Every byte into the file, or kCannotWriteFile naming path.
void WriteAllOrFail(const NativeFile& file, const std::u16string& path, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        const BOOL ok = ::WriteFile(Native(file), data, chunk, &written, nullptr);
        if (!ok || written == 0) {
            const DWORD code = ok ? ERROR_DISK_FULL : ::GetLastError();
            throw Error(FillMessage(kCannotWriteFile, {path, SystemErrorText(code)}));
        }
        data += written;
        size -= written;
    }
}

}  // namespace

namespace {

// FILE_ID_INFO of GetFileInformationByHandleEx (Windows 8 and later): the
// 128-bit number ReFS needs, since its 64-bit file indexes are not unique.
struct FileIdInfo128 {
    ULONGLONG volumeSerialNumber;
    BYTE identifier[16];
};
constexpr int kFileIdInfoClass = 18;

}  // namespace

std::optional<FileIdentity> IdentityOfOpenFile(std::intptr_t value) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    const auto finalPath = [value] { return FinalPathOfOpenFile(value).value_or(std::u16string()); };
    // Both ways give the same numbers on NTFS: the 32-bit serial is the low
    // half of the 64-bit one, the 64-bit index the low half of the 128-bit id.
    FileIdInfo128 id{};
    if (::GetFileInformationByHandleEx(handle, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileIdInfoClass), &id,
                                       sizeof id)) {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        for (int i = 7; i >= 0; --i) low = (low << 8) | id.identifier[i];
        for (int i = 15; i >= 8; --i) high = (high << 8) | id.identifier[i];
        return MakeFileIdentity(id.volumeSerialNumber & 0xFFFFFFFFu, low, high, finalPath);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
    return MakeFileIdentity(info.dwVolumeSerialNumber,
                            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, 0,
                            finalPath);
}

std::optional<std::u16string> FinalPathOfOpenFile(std::intptr_t value) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    std::u16string path(MAX_PATH + 1, u'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, WideBuffer(path), static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            // "\\?\C:\..." and "\\?\UNC\server\..." as the user writes them.
            if (path.starts_with(u"\\\\?\\UNC\\")) return u"\\\\" + path.substr(8);
            if (path.starts_with(u"\\\\?\\")) return path.substr(4);
            return path;
        }
        path.assign(length + 1, u'\0');
    }
    return std::nullopt;
}

namespace {

// Short, so a destination just below the path limit leaves room for it; a
// name taken already is passed by (CREATE_NEW).
std::u16string TemporaryName() {
    static unsigned counter = 0;
    return u"~kosmara" + FromAscii(std::to_string(::GetCurrentProcessId())) + u"-" +
           FromAscii(std::to_string(++counter));
}

}  // namespace

ReplacingOutputFile ReplacingOutputFile::Open(std::u16string_view path) {
    ReplacingOutputFile output;
    output.path_ = FullPath(path);
    const std::u16string& full = output.path_;
    const auto fail = [&full](DWORD code) { return Error(FillMessage(kCannotCreateFile, {full, SystemErrorText(code)})); };
    output.finalPath_ = full;

    // An existing destination: a disk file this user may write that no other
    // program holds open (opened without sharing, as the writer always did).
    const KernelHandle existing(::CreateFileW(Wide(full), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (existing) {
        // "NUL", "CON", "COM1.aaf", pipes: devices whatever their name says.
        if (::GetFileType(existing.get()) != FILE_TYPE_DISK) throw Error(FillMessage(kNotARegularFile, {full}));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(existing.get(), &info)) throw fail(::GetLastError());
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw Error(FillMessage(kNotARegularFile, {full}));
        const std::intptr_t value = reinterpret_cast<std::intptr_t>(existing.get());
        output.destinationIdentity_ = IdentityOfOpenFile(value);
        // Named through a symbolic link: the file the link names is replaced.
        if (const std::optional<std::u16string> final = FinalPathOfOpenFile(value)) output.finalPath_ = *final;
    } else if (const DWORD code = ::GetLastError(); code != ERROR_FILE_NOT_FOUND) {
        throw fail(code);
    }

    const std::u16string folder = output.finalPath_.substr(0, output.finalPath_.find_last_of(u"\\/") + 1);
    for (int attempt = 0;; ++attempt) {
        const std::u16string temporary = folder + TemporaryName();
        const InterruptShield shield;
        if (shield.interrupted()) throw fail(ERROR_OPERATION_ABORTED);
        // Delete sharing: the interrupt handler can remove it while it is open.
        HANDLE raw = ::CreateFileW(Wide(temporary), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE) {
            const DWORD code = ::GetLastError();
            if ((code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) && attempt < 100) continue;
            throw fail(code);
        }
        output.handle_ = NativeFile(reinterpret_cast<std::intptr_t>(raw));
        output.temporaryPath_ = temporary;
        output.cleanup_.emplace(temporary);
        break;
    }
    return output;
}

void ReplacingOutputFile::Discard() noexcept {
    if (committed_ || temporaryPath_.empty()) return;
    handle_.reset();
    ::DeleteFileW(Wide(temporaryPath_));
    cleanup_.reset();
}

FileIdentity ReplacingOutputFile::TemporaryIdentity() const {
    const std::optional<FileIdentity> identity = IdentityOfOpenFile(handle_.get());
    if (!identity) throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(::GetLastError())}));
    return *identity;
}

void ReplacingOutputFile::Write(const char* data, std::size_t size) {
    WriteAllOrFail(handle_, path_, data, size);
}

void ReplacingOutputFile::Commit() {
    if (committed_) return;
    // On the disk before it takes the name: a power cut leaves the old file
    // or the whole new one.
    if (!::FlushFileBuffers(Native(handle_)))
        throw Error(FillMessage(kCannotWriteFile, {path_, SystemErrorText(::GetLastError())}));
    const InterruptShield shield;
    if (shield.interrupted()) throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(ERROR_OPERATION_ABORTED)}));
    handle_.reset();
    if (!::MoveFileExW(Wide(temporaryPath_), Wide(finalPath_), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(::GetLastError())}));
    committed_ = true;
    cleanup_.reset();
}

std::u16string FullPath(std::u16string_view path) {
    const std::u16string input(path);
    DWORD needed = ::GetFullPathNameW(Wide(input), 0, nullptr, nullptr);
    if (needed == 0) return input;
    std::u16string full(needed, u'\0');
    const DWORD length = ::GetFullPathNameW(Wide(input), needed, WideBuffer(full), nullptr);
    if (length == 0 || length >= needed) return input;
    full.resize(length);
    return full;
}

std::u16string SystemErrorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (length != 0 && buffer != nullptr) text.assign(reinterpret_cast<const char16_t*>(buffer), length);
    if (buffer != nullptr) ::LocalFree(buffer);
    if (text.empty()) text = u"Systemfehler " + FromAscii(std::to_string(code));
    return TrimSystemErrorText(std::move(text));
}

}  // namespace kosmara
