// What the commands of the command line share: the call as parsed
// (Command) and one function per command, which RunCommandLine calls.
// Errors leave them as Error (or EngineError) carrying the German message.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace kosmara {

enum class CommandKind { kList, kDump, kExport, kCheck };

struct Command {
    CommandKind kind = CommandKind::kExport;
    std::vector<std::u16string> passwords;
    std::vector<std::u16string> operands;
    bool xpMode = false;
    bool all = false;
    std::optional<std::u16string> into;
    std::optional<int> codePage;
    std::optional<std::u16string> report;
    std::optional<std::u16string> winePrefix;
    std::optional<int> row;  // from 1
};

// One line of UTF-8 on out.
void WriteLine(std::ostream& out, const std::string& line);

// "list" (cli/list_command.cpp).
void RunList(const Command& command, CommandLineEnvironment& environment);
// "export" of a table or of a row (cli/export_command.cpp).
void RunExport(const Command& command, CommandLineEnvironment& environment);
// "export --all" (cli/export_command.cpp); true when every database was saved.
bool RunExportAll(const Command& command, CommandLineEnvironment& environment);
// "dump" and "check" of the table named on the command line (cli/table_commands.cpp);
// RunCheck is false when the table could be checked only part of the way.
void RunDump(const Command& command, CommandLineEnvironment& environment);
bool RunCheck(const Command& command, CommandLineEnvironment& environment);

}  // namespace kosmara
