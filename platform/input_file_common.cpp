#include "platform/input_file.h"

#include <utility>

namespace kosmara {

namespace {

#ifdef _WIN32
// Windows takes both slashes; "X:" starts a path on a drive.
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
constexpr char16_t kSeparator = u'\\';
std::size_t DrivePrefixLength(std::u16string_view path) {
    const bool letter = !path.empty() && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
    return letter && path.size() >= 2 && path[1] == u':' ? 2 : 0;
}
#else
bool IsSeparator(char16_t c) { return c == u'/'; }
constexpr char16_t kSeparator = u'/';
std::size_t DrivePrefixLength(std::u16string_view) { return 0; }
#endif

// Where the last component starts: after the last separator, else after the
// drive prefix.
std::size_t NameStart(std::u16string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1])) return i;
    return DrivePrefixLength(path);
}

}  // namespace

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

InputFile::~InputFile() { Close(); }

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string joined(folder);
    // "C:" + "x.db" stays "C:x.db" (relative to that drive's current folder).
    const bool needsSeparator =
        !folder.empty() && !IsSeparator(folder.back()) && DrivePrefixLength(folder) != folder.size();
    if (needsSeparator) joined += kSeparator;
    joined += name;
    return joined;
}

std::u16string FolderOfPath(std::u16string_view path) {
    const std::size_t start = NameStart(path);
    const std::size_t prefix = DrivePrefixLength(path);
    if (start <= prefix) return std::u16string(path.substr(0, start));
    // The root ("/", "\", "C:\") keeps its separator.
    if (start == prefix + 1) return std::u16string(path.substr(0, start));
    return std::u16string(path.substr(0, start - 1));
}

std::u16string NameOfPath(std::u16string_view path) { return std::u16string(path.substr(NameStart(path))); }

char16_t FoldCase(char16_t c) {
    // ASCII and Latin-1.
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
    if (c < 0x100) return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? static_cast<char16_t>(c + 0x20) : c;
    // Latin Extended-A: pairs of capital and small letter, capital first,
    // except where the runs shift by one (ĸ and ŉ have no capital).
    if (c < 0x180) {
        if (c == 0x178) return 0xFF;  // Ÿ
        // İ and ı pair with ASCII letters only in Turkish; ĸ, ŉ and ſ have no capital.
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return (c % 2 == 1) == oddCapitals ? static_cast<char16_t>(c + 1) : c;
    }
    // Greek.
    if (c >= 0x386 && c <= 0x3AB) {
        if (c >= 0x391 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
        if (c == 0x386) return 0x3AC;
        if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 0x25);
        if (c == 0x38C) return 0x3CC;
        if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 0x3F);
        return c;
    }
    if (c == 0x3C2) return 0x3C3;  // final sigma compares as sigma
    // Cyrillic.
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return c % 2 == 0 ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return c % 2 == 1 ? static_cast<char16_t>(c + 1) : c;
    return c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

}  // namespace kosmara
