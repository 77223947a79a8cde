// Paths taken apart as text, the one way the whole system does it. Windows
// takes "\" and "/" as separators and "X:" as a drive prefix; on POSIX only
// "/" separates, and "\" and ":" are ordinary characters of a name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kosmara {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

bool IsPathSeparator(char16_t c);

// 2 for a path that begins with a drive letter and ":" (Windows), else 0.
std::size_t DrivePrefixLength(std::u16string_view path);

// The last component: the text after the last separator (on Windows also
// after the last ":"), the whole path when it holds none.
std::u16string NameOfPath(std::u16string_view path);

// The folder part: the text before the last separator. A root keeps its
// separator ("/", "C:\"); a path without separator gives its drive prefix
// ("C:" of "C:x.db") or the empty text.
std::u16string FolderOfPath(std::u16string_view path);

// Where the extension of the last component starts (its last "."), or npos
// when it has none.
std::size_t ExtensionStart(std::u16string_view path);

// The path with the extension of its last component replaced by extension
// (which includes its "."), or extension appended when it has none.
std::u16string ReplaceExtension(std::u16string_view path, std::u16string_view extension);

// A name without its last extension: "Horoskop" of "Horoskop.DB", the whole
// name when it has no ".".
std::u16string BaseNameOf(std::u16string_view name);

// folder and name joined with the separator (none added when the folder
// already ends with one, is empty, or is a bare drive prefix "C:").
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// The folder with one closing separator.
std::u16string WithClosingSeparator(std::u16string_view folder);

}  // namespace kosmara
