#include "databases/system_services.h"

#include "platform/file_system.h"

namespace kosmara {

bool SystemServicesOfPlatform::HasRegistry() const { return SystemHasRegistry(); }

std::optional<std::vector<RegistryValue>> SystemServicesOfPlatform::RegistryValues(RegistryRoot root,
                                                                                   std::u16string_view keyPath) const {
    return ReadRegistryValues(root, keyPath);
}

std::optional<std::u16string> SystemServicesOfPlatform::LocalAppDataFolder() const {
    return kosmara::LocalAppDataFolder();
}

std::u16string SystemServicesOfPlatform::TemporaryFolder() const { return kosmara::TemporaryFolder(); }

bool SystemServicesOfPlatform::FileExists(std::u16string_view path) const { return kosmara::FileExists(path); }

bool SystemServicesOfPlatform::FolderExists(std::u16string_view path) const { return kosmara::FolderExists(path); }

}  // namespace kosmara
