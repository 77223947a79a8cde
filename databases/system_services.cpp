#include "databases/system_services.h"

#include "platform/file_system.h"
#include "platform/registry.h"

namespace kosmara {

std::optional<std::u16string> SystemServices::DocumentsFolder() const { return kosmara::DocumentsFolder(); }

std::optional<std::u16string> SystemServices::HomeFolder() const { return kosmara::HomeFolder(); }

bool SystemServices::FolderTakesNewFiles(std::u16string_view folder) const {
    return !CannotCreateFilesIn(folder).has_value();
}

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

std::u16string SystemServicesOfPlatform::FinalPath(std::u16string_view path) const {
#ifdef _WIN32
    // Only an existing path has a final form; its text is kept otherwise.
    if (!kosmara::FileExists(path) && !kosmara::FolderExists(path)) return std::u16string(path);
    return FinalPathOf(path);
#else
    // POSIX paths are no drive paths: there is no VirtualStore to find.
    return std::u16string(path);
#endif
}

}  // namespace kosmara
