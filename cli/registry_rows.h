// The registry that "list", "export --row" and "export --all" read: the
// system's own, or that of a Wine prefix, and the rows discovery finds in it.
#pragma once

#include <memory>

#include "cli/commands.h"
#include "databases/discovery.h"
#include "databases/system_services.h"
#include "databases/wine_prefix.h"

namespace kosmara {

// The system whose registry lists the databases and whose files a row names:
// the Wine prefix named by --wine-prefix, the default one where the system
// has no registry of its own and reading it is wanted, else the system's.
struct RegistrySystem {
    std::unique_ptr<WinePrefixSystem> prefix;
    const SystemServices* system = nullptr;
};

RegistrySystem SystemOfRegistry(const Command& command, const CommandLineEnvironment& environment);

// The rows discovery finds in system's registry; fails where it has none.
DatabaseRows DiscoveredRows(const SystemServices& system);

}  // namespace kosmara
