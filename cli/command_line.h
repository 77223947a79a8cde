// The command line front end: "dump" and "export", as a function the tests
// call directly and main() calls with the process's arguments.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kosmara {

// Runs one command (arguments without the program name). out and err take
// UTF-8 bytes. Exit codes: 0 success, 1 failure (German message on err),
// 2 wrong usage.
int RunCommandLine(const std::vector<std::u16string>& arguments, std::ostream& out, std::ostream& err);

// The output path export uses when none is given: the table path with its
// extension (from the last "." after the last separator) replaced by ".aaf",
// or ".aaf" appended when it has none.
std::u16string DefaultOutputPath(std::u16string_view tablePath);

}  // namespace kosmara
