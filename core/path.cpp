#include "core/path.h"

namespace kosmara {

namespace {

// Where the last component starts.
std::size_t NameStart(std::u16string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        const char16_t c = path[i - 1];
#ifdef _WIN32
        if (c == u':') return i;
#endif
        if (IsPathSeparator(c)) return i;
    }
    return 0;
}

}  // namespace

bool IsPathSeparator(char16_t c) {
#ifdef _WIN32
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

std::size_t DrivePrefixLength([[maybe_unused]] std::u16string_view path) {
#ifdef _WIN32
    const bool letter = !path.empty() && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
    return letter && path.size() >= 2 && path[1] == u':' ? 2 : 0;
#else
    return 0;
#endif
}

std::u16string NameOfPath(std::u16string_view path) { return std::u16string(path.substr(NameStart(path))); }

std::u16string FolderOfPath(std::u16string_view path) {
    std::size_t last = path.size();
    while (last > 0 && !IsPathSeparator(path[last - 1])) --last;
    const std::size_t prefix = DrivePrefixLength(path);
    if (last == 0) return std::u16string(path.substr(0, prefix));
    // The separator of a root ("/", "\", "C:\") stays.
    if (last == prefix + 1) return std::u16string(path.substr(0, last));
    return std::u16string(path.substr(0, last - 1));
}

std::size_t ExtensionStart(std::u16string_view path) {
    const std::size_t start = NameStart(path);
    const std::size_t dot = path.rfind(u'.');
    return dot != std::u16string_view::npos && dot >= start ? dot : std::u16string_view::npos;
}

std::u16string ReplaceExtension(std::u16string_view path, std::u16string_view extension) {
    std::u16string result(path.substr(0, ExtensionStart(path)));
    result += extension;
    return result;
}

std::u16string BaseNameOf(std::u16string_view name) {
    const std::size_t dot = name.rfind(u'.');
    return std::u16string(name.substr(0, dot));
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string joined(folder);
    // "C:" + "x.db" stays "C:x.db" (relative to that drive's current folder).
    const bool needsSeparator =
        !folder.empty() && !IsPathSeparator(folder.back()) && DrivePrefixLength(folder) != folder.size();
    if (needsSeparator) joined += kPathSeparator;
    joined += name;
    return joined;
}

std::u16string WithClosingSeparator(std::u16string_view folder) {
    std::u16string result(folder);
    if (result.empty() || !IsPathSeparator(result.back())) result += kPathSeparator;
    return result;
}

}  // namespace kosmara
