// "list": the registered databases as the window lists them.
#include <cstddef>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/registry_rows.h"
#include "core/text.h"

namespace kosmara {

// One line per row: number, display text, and for an XP-mode row the
// folder read; from a Wine prefix instead the Linux path of the file read.
// The registry's texts with their control characters made visible, so a
// line break or an escape sequence in a value neither starts a line nor
// reaches the terminal.
void RunList(const Command& command, CommandLineEnvironment& environment) {
    const RegistrySystem registry = SystemOfRegistry(command, environment);
    const DatabaseRows rows = DiscoveredRows(*registry.system);
    if (rows.paths.empty()) {
        WriteLine(environment.out, ToReadableUtf8(rows.items.front()));
        return;
    }
    const auto append = [](std::u16string& line, std::u16string_view column) {
        line += u'\t';
        line += VisibleText(column, Backslashes::kKept);
    };
    for (std::size_t row = 0; row < rows.items.size(); ++row) {
        std::u16string line;
        AppendDecimal(line, static_cast<long long>(row) + 1, 1);
        append(line, rows.items[row]);
        if (registry.prefix) {
            append(line, LinuxPathOfRow(*registry.prefix, rows, row).value_or(std::u16string()));
        } else if (rows.paths[row] != rows.purePaths[row]) {
            append(line, registry.system->FolderOf(rows.paths[row]));
        }
        WriteLine(environment.out, ToReadableUtf8(line));
    }
}

}  // namespace kosmara
