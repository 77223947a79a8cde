// The XDG user-dirs.dirs text as xdg-user-dir reads it; portable, so that
// both builds test it.
#include <cctype>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kosmara {

namespace {

std::string_view WithoutClosingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

// The value of one assignment as the shell gives it, with "$HOME" or
// "${HOME}" at its start replaced by home; nothing when it is unfinished or
// names home where home is unknown.
std::optional<std::string> ValueOf(std::string_view raw, std::string_view home) {
    const bool quoted = !raw.empty() && raw.front() == '"';
    if (quoted) raw.remove_prefix(1);
    std::string value;
    for (const std::string_view reference : {std::string_view("${HOME}"), std::string_view("$HOME")}) {
        if (!raw.starts_with(reference)) continue;
        const std::string_view rest = raw.substr(reference.size());
        // "$HOMEX" would be another variable.
        if (reference == "$HOME" && !rest.empty() && (std::isalnum(static_cast<unsigned char>(rest[0])) || rest[0] == '_'))
            break;
        if (home.empty()) return std::nullopt;
        value = home;
        raw = rest;
        break;
    }
    std::size_t at = 0;
    for (; at < raw.size(); ++at) {
        const char c = raw[at];
        if (quoted && c == '"') break;
        if (!quoted && (c == ' ' || c == '\t' || c == ';' || c == '\r')) break;
        if (c == '\\' && at + 1 < raw.size()) {
            const char next = raw[at + 1];
            // In double quotes the backslash escapes only these; bare, every character.
            if (!quoted || next == '\\' || next == '"' || next == '$' || next == '`') {
                value += next;
                ++at;
                continue;
            }
        }
        // Another expansion than $HOME at the start cannot be followed.
        if (c == '$' || c == '`') return std::nullopt;
        value += c;
    }
    if (quoted && at == raw.size()) return std::nullopt;  // no closing quote
    return value;
}

}  // namespace

std::optional<std::string> XdgUserFolder(std::string_view userDirs, std::string_view name, std::string_view home) {
    home = WithoutClosingSlashes(home);
    std::optional<std::string> found;
    std::size_t at = 0;
    while (at < userDirs.size()) {
        std::size_t end = userDirs.find('\n', at);
        if (end == std::string_view::npos) end = userDirs.size();
        std::string_view line = userDirs.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (!line.starts_with(name) || line.size() == name.size() || line[name.size()] != '=') continue;
        std::optional<std::string> value = ValueOf(line.substr(name.size() + 1), home);
        // Only an absolute path names a folder; other lines are passed over.
        if (!value || value->empty() || value->front() != '/') continue;
        found = std::string(WithoutClosingSlashes(*value));
    }
    if (found && *found == home) return std::nullopt;
    return found;
}

}  // namespace kosmara
