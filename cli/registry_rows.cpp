#include "cli/registry_rows.h"

#include "core/error.h"
#include "platform/file_system.h"

namespace kosmara {

namespace {

constexpr char16_t kNoRegistry[] =
    u"Auf diesem System gibt es keine Windows-Registrierung, in der Kosmara 3.5 seine Datenbanken einträgt.";
constexpr char16_t kNoRegistryNorPrefix[] =
    u"Auf diesem System gibt es keine Windows-Registrierung, in der Kosmara 3.5 seine Datenbanken einträgt, "
    u"und kein Wine-Präfix \"%s\" (ein anderes nennt --wine-prefix ORDNER).";

}  // namespace

DatabaseRows DiscoveredRows(const SystemServices& system) {
    if (!system.HasRegistry()) throw Error(kNoRegistry);
    DatabaseRows rows;
    DiscoverDatabases(system, rows);
    return rows;
}

RegistrySystem SystemOfRegistry(const Command& command, const CommandLineEnvironment& environment) {
    RegistrySystem chosen;
    if (command.winePrefix) {
        chosen.prefix = OpenWinePrefix(*command.winePrefix);
    } else if (!environment.system.HasRegistry() && environment.useDefaultWinePrefix) {
        const std::u16string folder = DefaultWinePrefix();
        if (!FolderExists(folder)) throw Error(FillMessage(kNoRegistryNorPrefix, {folder}));
        chosen.prefix = OpenWinePrefix(folder);
    }
    chosen.system = chosen.prefix ? chosen.prefix.get() : &environment.system;
    return chosen;
}

}  // namespace kosmara
