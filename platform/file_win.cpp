#include <windows.h>

#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/system_error_text.h"
#include "platform/win_text.h"

namespace kosmara {

void NativeFileTraits::Close(Value value) noexcept { ::CloseHandle(reinterpret_cast<HANDLE>(value)); }

namespace {

HANDLE Native(const NativeFile& file) { return reinterpret_cast<HANDLE>(file.get()); }

}  // namespace

OutputFile OutputFile::Open(std::u16string_view path) {
    std::u16string full = FullPath(path);
    const auto fail = [&full](DWORD code) { return Error(FillMessage(kCannotCreateFile, {full, SystemErrorText(code)})); };
    // Read and write, no sharing while the writer holds it; an existing file
    // keeps its contents until the caller empties it.
    HANDLE raw = ::CreateFileW(Wide(full), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) throw fail(::GetLastError());
    NativeFile handle(reinterpret_cast<std::intptr_t>(raw));
    // "NUL", "CON", "COM1.aaf", pipes: devices whatever their name says.
    if (::GetFileType(raw) != FILE_TYPE_DISK) throw Error(FillMessage(kNotARegularFile, {full}));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(raw, &info)) throw fail(::GetLastError());
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw Error(FillMessage(kNotARegularFile, {full}));
    return OutputFile(std::move(handle), std::move(full));
}

FileIdentity OutputFile::Identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Native(handle_), &info))
        throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(::GetLastError())}));
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

void OutputFile::Truncate() {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(Native(handle_), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(Native(handle_)))
        throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(::GetLastError())}));
}

void OutputFile::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        const BOOL ok = ::WriteFile(Native(handle_), data, chunk, &written, nullptr);
        if (!ok || written == 0) {
            const DWORD code = ok ? ERROR_DISK_FULL : ::GetLastError();
            throw Error(FillMessage(kCannotWriteFile, {path_, SystemErrorText(code)}));
        }
        data += written;
        size -= written;
    }
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
