#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/text.h"
#include "platform/registry.h"

namespace kosmara {

bool SystemHasRegistry() { return false; }

std::optional<std::vector<RegistryValue>> ReadRegistryValues(RegistryRoot, std::u16string_view) { return std::nullopt; }

std::optional<std::u16string> LocalAppDataFolder() { return std::nullopt; }

namespace {

// The home folder as bytes; empty when unknown.
std::string HomeBytes() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_dir != nullptr &&
                                                        entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return {};
}

}  // namespace

std::optional<std::u16string> DocumentsFolder() {
    const std::string home = HomeBytes();
    std::string config;
    if (const char* given = std::getenv("XDG_CONFIG_HOME"); given != nullptr && given[0] == '/') {
        config = given;
    } else if (!home.empty()) {
        config = home + "/.config";
    } else {
        return std::nullopt;
    }
    std::ifstream file(config + "/user-dirs.dirs", std::ios::binary);
    if (!file) return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::optional<std::string> folder = XdgUserFolder(text, "XDG_DOCUMENTS_DIR", home);
    if (!folder) return std::nullopt;
    return FromNativeBytes(*folder);
}

std::optional<std::u16string> HomeFolder() {
    const std::string home = HomeBytes();
    if (home.empty()) return std::nullopt;
    return FromNativeBytes(home);
}

}  // namespace kosmara
