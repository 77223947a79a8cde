#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/text.h"
#include "platform/console.h"
#include "platform/interrupt.h"

namespace kosmara {

namespace {

// The terminal's settings as they were, put back on every way out.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd), saved_(::tcgetattr(fd, &before_) == 0) {
        if (!saved_) return;
        RememberTerminalState();
        termios quiet = before_;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ICANON;
        ::tcsetattr(fd_, TCSAFLUSH, &quiet);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff() {
        if (!saved_) return;
        ::tcsetattr(fd_, TCSAFLUSH, &before_);
        ForgetTerminalState();
    }

private:
    int fd_;
    termios before_{};
    bool saved_;
};

void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace

ConsoleOutput::ConsoleOutput() = default;

ConsoleOutput::~ConsoleOutput() = default;

std::optional<std::u16string> ReadSecretLine(std::u16string_view prompt) {
    if (::isatty(STDIN_FILENO) == 0) return std::nullopt;
    WriteAll(STDERR_FILENO, ToReadableUtf8(prompt));
    std::string line;
    bool ended = false;
    {
        const EchoOff quiet(STDIN_FILENO);
        for (;;) {
            char c = 0;
            const ssize_t got = ::read(STDIN_FILENO, &c, 1);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ended = line.empty();
                break;
            }
            if (c == '\n') break;
            line += c;
        }
    }
    // The line end the user typed was not echoed.
    WriteAll(STDERR_FILENO, "\n");
    if (ended) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return FromUtf8(line);
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

}  // namespace kosmara
