// The operating system's converter for code pages our own tables do not
// cover (Windows: MultiByteToWideChar; POSIX: iconv).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kosmara {

// Whether the system can convert from this code page.
bool SystemKnowsCodePage(int codePage);
// Bytes of the code page to text; bytes without a character become U+FFFD.
std::u16string SystemDecode(int codePage, std::string_view bytes);
// Text to bytes of the code page; nothing when a character has no byte.
std::optional<std::string> SystemEncode(int codePage, std::u16string_view text);

}  // namespace kosmara
