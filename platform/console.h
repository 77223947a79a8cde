// The console as the command line uses it: UTF-8 bytes out, "\n" as is, and
// a line typed without echo (a password).
#pragma once

#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

#include "platform/utf16_output_buffer.h"

namespace kosmara {

// While it lives, std::cout and std::cerr write the program's UTF-8 text so
// that it reads right wherever it goes. Windows: standard output and
// standard error are in binary mode (no "\n" becomes CR LF), bytes for a
// file or a pipe stay UTF-8, and where one of them is a console its text
// goes there as UTF-16 (WriteConsoleW), whatever the console's code page;
// that code page is never changed, so the next program in the window shows
// its text as before. POSIX terminals take the bytes as they are.
class ConsoleOutput {
public:
    ConsoleOutput();
    // Writes what is left and gives the streams their buffers back.
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

private:
    std::unique_ptr<Utf16OutputBuffer> out_, err_;
    std::streambuf* outBefore_ = nullptr;
    std::streambuf* errBefore_ = nullptr;
};

// Shows prompt on the terminal and reads one line typed there without
// echoing it. Nothing when standard input is no terminal (a pipe, a file, no
// console) or the input ends before a line.
std::optional<std::u16string> ReadSecretLine(std::u16string_view prompt);

// Whether standard error goes to a terminal.
bool StandardErrorIsTerminal();

}  // namespace kosmara
