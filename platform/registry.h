// The Windows registry, read only, and the shell's local application-data
// folder: what discovery reads of the system. Other systems have neither.
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

}  // namespace kosmara
