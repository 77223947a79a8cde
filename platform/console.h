// The console as the command line uses it: UTF-8 bytes out, "\n" as is, and
// a line typed without echo (a password).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kosmara {

// Windows: sets the console's output code page to UTF-8 and puts standard
// output and standard error in binary mode, so no "\n" becomes CR LF.
// POSIX terminals take the bytes as they are.
void PrepareConsoleOutput();

// Shows prompt on the terminal and reads one line typed there without
// echoing it. Nothing when standard input is no terminal (a pipe, a file, no
// console) or the input ends before a line.
std::optional<std::u16string> ReadSecretLine(std::u16string_view prompt);

// Whether standard error goes to a terminal.
bool StandardErrorIsTerminal();

}  // namespace kosmara
