#include <windows.h>

#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/system_error_text.h"

namespace kosmara {

namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

OutputFile OutputFile::Create(std::u16string_view path) {
    std::u16string full = FullPath(path);
    // Created anew, read and write, no sharing while the writer holds it.
    HANDLE handle = ::CreateFileW(Wide(full), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        throw Error(FillMessage(kCannotCreateFile, {full, SystemErrorText(code)}));
    }
    return OutputFile(reinterpret_cast<std::intptr_t>(handle), std::move(full));
}

void OutputFile::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        const BOOL ok = ::WriteFile(reinterpret_cast<HANDLE>(handle_), data, chunk, &written, nullptr);
        if (!ok || written == 0) {
            const DWORD code = ok ? ERROR_DISK_FULL : ::GetLastError();
            throw Error(FillMessage(kCannotWriteFile, {path_, SystemErrorText(code)}));
        }
        data += written;
        size -= written;
    }
}

void OutputFile::Close() noexcept {
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, -1)));
}

std::u16string FullPath(std::u16string_view path) {
    const std::u16string input(path);
    DWORD needed = ::GetFullPathNameW(Wide(input), 0, nullptr, nullptr);
    if (needed == 0) return input;
    std::u16string full(needed, u'\0');
    const DWORD length = ::GetFullPathNameW(Wide(input), needed, reinterpret_cast<wchar_t*>(full.data()), nullptr);
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
