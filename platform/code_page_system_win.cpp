#include <windows.h>

#include <climits>
#include <string>

#include "platform/code_page_system.h"

namespace kosmara {

namespace {

// Appends the text of bytes; false (and nothing appended) when a byte
// sequence has no character under `flags` or the call fails.
bool AppendDecoded(int codePage, DWORD flags, std::string_view bytes, std::u16string& text) {
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length <= 0) return false;
    const std::size_t at = text.size();
    text.resize(at + static_cast<std::size_t>(length));
    if (::MultiByteToWideChar(codePage, flags, bytes.data(), size, reinterpret_cast<wchar_t*>(&text[at]), length) ==
        length)
        return true;
    text.resize(at);
    return false;
}

// The bytes of text; nothing when the call fails. usedDefault (may be null)
// reports a character that had no byte.
std::optional<std::string> Encoded(int codePage, DWORD flags, std::u16string_view text, BOOL* usedDefault) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(codePage, flags, wide, size, nullptr, 0, nullptr, usedDefault);
    if (length <= 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(length), '\0');
    if (::WideCharToMultiByte(codePage, flags, wide, size, bytes.data(), length, nullptr, usedDefault) != length)
        return std::nullopt;
    return bytes;
}

}  // namespace

bool SystemKnowsCodePage(int codePage) {
    return codePage > 0 && ::IsValidCodePage(static_cast<UINT>(codePage));
}

std::u16string SystemDecode(int codePage, std::string_view bytes) {
    std::u16string text;
    if (bytes.empty()) return text;
    if (bytes.size() <= INT_MAX) {
        if (AppendDecoded(codePage, MB_ERR_INVALID_CHARS, bytes, text)) return text;
        // Stateful pages (ISO-2022 and the like) take no flags; they mark bad bytes themselves.
        if (::GetLastError() == ERROR_INVALID_FLAGS && AppendDecoded(codePage, 0, bytes, text)) return text;
    }
    // Some sequence has no character. Without MB_ERR_INVALID_CHARS Windows would give the page's default
    // character or a private-use one, so go piece by piece: the shortest piece that is a character (one
    // byte, a lead and trail byte, a GB18030 four-byte sequence), else U+FFFD and on with the next byte.
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 1;
        while (length <= 4 && at + length <= bytes.size() &&
               !AppendDecoded(codePage, MB_ERR_INVALID_CHARS, bytes.substr(at, length), text))
            ++length;
        if (length > 4 || at + length > bytes.size()) {
            text.push_back(u'\uFFFD');
            length = 1;
        }
        at += length;
    }
    return text;
}

std::optional<std::string> SystemEncode(int codePage, std::u16string_view text) {
    if (text.empty()) return std::string();
    if (text.size() > INT_MAX / 4) return std::nullopt;
    // No best fit: a character without its own byte must not turn into a look-alike.
    BOOL usedDefault = FALSE;
    if (auto bytes = Encoded(codePage, WC_NO_BEST_FIT_CHARS, text, &usedDefault)) {
        if (usedDefault) return std::nullopt;
        return bytes;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_INVALID_FLAGS && error != ERROR_INVALID_PARAMETER) return std::nullopt;
    // UTF-8, GB18030 and the stateful pages take neither the flag nor lpUsedDefaultChar: a character
    // without bytes shows when the bytes are converted back.
    auto bytes = Encoded(codePage, 0, text, nullptr);
    if (!bytes || SystemDecode(codePage, *bytes) != text) return std::nullopt;
    return bytes;
}

}  // namespace kosmara
