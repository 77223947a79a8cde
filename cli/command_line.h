// The command line front end: "list", "export" and "dump", as a function
// the tests call directly and main() calls with the process's arguments.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "databases/system_services.h"

namespace kosmara {

// What a command works with besides its arguments. out and err take UTF-8
// bytes. readPassword asks on the terminal without echo and returns the line
// typed, or nothing when there is no terminal or input ended.
struct CommandLineEnvironment {
    std::ostream& out;
    std::ostream& err;
    const SystemServices& system;
    std::function<std::optional<std::u16string>(std::u16string_view prompt)> readPassword;
    // Whether err is a terminal: then a long export shows its progress there.
    bool errIsTerminal = false;
    // Seconds on a steady clock, for the progress line's rate and pace.
    std::function<double()> clock;
    // Where system has no registry (Linux): whether "list", "export --row"
    // and "export --all" read the registry of the default Wine prefix
    // instead ($WINEPREFIX, else ~/.wine). "--wine-prefix DIR" names one.
    bool useDefaultWinePrefix = false;
};

// Runs one command (arguments without the program name). Exit codes: 0
// success, 1 failure (German message on err), 2 wrong usage.
int RunCommandLine(const std::vector<std::u16string>& arguments, CommandLineEnvironment& environment);

// What "--help" prints (UTF-8): also the source of the manual page (cli/man_page.h).
std::string_view HelpText();

}  // namespace kosmara
