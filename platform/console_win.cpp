#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "core/text.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/win_text.h"

namespace kosmara {

namespace {

// The console's input mode as it was, put back on every way out.
class EchoOff {
public:
    explicit EchoOff(HANDLE input) : input_(input), saved_(::GetConsoleMode(input, &before_) != 0) {
        if (!saved_) return;
        RememberTerminalState();
        ::SetConsoleMode(input_, (before_ | ENABLE_LINE_INPUT) & ~ENABLE_ECHO_INPUT);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff() {
        if (!saved_) return;
        ::SetConsoleMode(input_, before_);
        ForgetTerminalState();
    }

private:
    HANDLE input_;
    DWORD before_ = 0;
    bool saved_;
};

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode) != 0;
}

// All of text to a console, in pieces it takes at once (a surrogate pair is
// never cut).
bool WriteAllToConsole(HANDLE console, std::u16string_view text) {
    constexpr std::size_t kPiece = 8192;
    while (!text.empty()) {
        std::size_t piece = std::min(text.size(), kPiece);
        if (piece < text.size() && text[piece - 1] >= 0xD800 && text[piece - 1] <= 0xDBFF) --piece;
        DWORD written = 0;
        if (!::WriteConsoleW(console, text.data(), static_cast<DWORD>(piece), &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(std::min<std::size_t>(written, text.size()));
    }
    return true;
}

// The stream's buffer replaced by one writing to the console, where the
// handle is one; the buffer it had is returned.
std::streambuf* WriteToConsoleIfOne(std::ostream& stream, DWORD which, std::unique_ptr<Utf16OutputBuffer>& buffer) {
    HANDLE handle = ::GetStdHandle(which);
    if (!IsConsole(handle)) return nullptr;
    stream.flush();
    buffer = std::make_unique<Utf16OutputBuffer>(
        [handle](std::u16string_view text) { return WriteAllToConsole(handle, text); });
    return stream.rdbuf(buffer.get());
}

void WriteToConsole(std::u16string_view text) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (IsConsole(error)) {
        WriteAllToConsole(error, text);
    } else {
        const std::string bytes = ToUtf8(text);
        ::WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

}  // namespace

ConsoleOutput::ConsoleOutput() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    outBefore_ = WriteToConsoleIfOne(std::cout, STD_OUTPUT_HANDLE, out_);
    errBefore_ = WriteToConsoleIfOne(std::cerr, STD_ERROR_HANDLE, err_);
}

ConsoleOutput::~ConsoleOutput() {
    std::cout.flush();
    std::cerr.flush();
    if (out_) std::cout.rdbuf(outBefore_);
    if (err_) std::cerr.rdbuf(errBefore_);
}

std::optional<std::u16string> ReadSecretLine(std::u16string_view prompt) {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || input == nullptr || !::GetConsoleMode(input, &mode)) return std::nullopt;
    WriteToConsole(prompt);
    std::u16string line;
    bool ended = false;
    {
        const EchoOff quiet(input);
        for (;;) {
            wchar_t buffer[256];
            DWORD got = 0;
            if (!::ReadConsoleW(input, buffer, 256, &got, nullptr) || got == 0) {
                ended = line.empty();
                break;
            }
            line.append(reinterpret_cast<const char16_t*>(buffer), got);
            if (line.find(u'\n') != std::u16string::npos) break;
        }
    }
    WriteToConsole(u"\r\n");
    if (ended) return std::nullopt;
    line.resize(std::min(line.find(u'\n'), line.size()));
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    return line;
}

bool StandardErrorIsTerminal() { return IsConsole(::GetStdHandle(STD_ERROR_HANDLE)); }

}  // namespace kosmara
