#include "platform/registry.h"

namespace kosmara {

bool SystemHasRegistry() { return false; }

std::optional<std::vector<RegistryValue>> ReadRegistryValues(RegistryRoot, std::u16string_view) { return std::nullopt; }

std::optional<std::u16string> LocalAppDataFolder() { return std::nullopt; }

}  // namespace kosmara
