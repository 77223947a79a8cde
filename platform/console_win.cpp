#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
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

void WriteToConsole(std::u16string_view text) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(error, &mode)) {
        ::WriteConsoleW(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string bytes = ToUtf8(text);
        ::WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

}  // namespace

void PrepareConsoleOutput() {
    ::SetConsoleOutputCP(CP_UTF8);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
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

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace kosmara
