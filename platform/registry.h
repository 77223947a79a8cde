// The Windows registry, read only, and the user's folders the shell knows:
// the local application-data folder discovery reads, and the documents and
// home folders an output goes to where the table's folder takes no file.
// Other systems have no registry; their user's folders are XDG's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kosmara {

enum class RegistryRoot { kCurrentUser, kLocalMachine };

// Registry value types as the registry numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// One value as the registry lists it: its name, its type unless asking for
// it failed, and its raw data unless reading it failed.
struct RegistryValue {
    std::u16string name;
    std::optional<std::uint32_t> type;
    std::optional<std::string> data;
};

// Whether this system has a Windows registry.
bool SystemHasRegistry();

// The values of keyPath under root in the registry's enumeration order;
// nothing when the key cannot be opened for reading or asked for its values.
// Nothing is cached: every call reads the registry afresh.
std::optional<std::vector<RegistryValue>> ReadRegistryValues(RegistryRoot root, std::u16string_view keyPath);

// The current user's local application-data folder (CSIDL_LOCAL_APPDATA),
// without a closing separator; nothing when the shell cannot tell.
std::optional<std::u16string> LocalAppDataFolder();

// The current user's documents folder, without a closing separator; nothing
// when the system cannot tell. Windows: the known folder Documents (a
// folder that exists; it is never created). POSIX: XDG_DOCUMENTS_DIR of
// $XDG_CONFIG_HOME/user-dirs.dirs (else ~/.config/user-dirs.dirs), read as
// xdg-user-dir reads it; nothing when the file or the entry is missing or
// names the home folder itself (XDG's way of saying there is none).
std::optional<std::u16string> DocumentsFolder();

// The current user's home folder: Windows the profile folder; POSIX $HOME
// when it is an absolute path, else the password database's.
std::optional<std::u16string> HomeFolder();

// The folder an XDG user-dirs.dirs text gives for name ("XDG_DOCUMENTS_DIR"),
// as xdg-user-dir takes it from the shell assignments there: the last
// assignment wins; its value double-quoted, with "\\", "\"", "\$" and "\`"
// escaped, or bare; "$HOME" or "${HOME}" at its start stands for home.
// Nothing when there is no such assignment, its value is no absolute path,
// or it names home itself. Bytes in, bytes out (POSIX names).
std::optional<std::string> XdgUserFolder(std::string_view userDirs, std::string_view name, std::string_view home);

}  // namespace kosmara
