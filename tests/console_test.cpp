// The password question on a real terminal: a pseudo-terminal stands in for
// the user's, the child process asks, the test types.
#include "platform/console.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/text.h"

namespace kosmara {
namespace {

// Everything the terminal shows until it has been quiet for a moment.
std::string ReadScreen(int master) {
    std::string screen;
    for (;;) {
        pollfd wait{master, POLLIN, 0};
        if (::poll(&wait, 1, 500) <= 0) return screen;
        char buffer[256];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) return screen;
        screen.append(buffer, static_cast<std::size_t>(got));
    }
}

TEST(ConsoleTest, AsksAtTheTerminalWithoutEcho) {
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Two answers, an empty line, then the end of the input; the child
        // reports what it read through its exit code.
        const auto first = ReadSecretLine(u"Kennwort für \"Hör.DB\": ");
        const auto second = ReadSecretLine(u"Nochmal: ");
        const auto third = ReadSecretLine(u"Leer: ");
        termios settings{};
        ::tcgetattr(STDIN_FILENO, &settings);
        const bool echoBack = (settings.c_lflag & ECHO) != 0;
        const auto fourth = ReadSecretLine(u"Ende: ");
        const bool ok = first == u"geheim" && second == u"Grüße" && third == u"" && !fourth && echoBack;
        std::_Exit(ok ? 0 : 3);
    }
    EXPECT_EQ(ReadScreen(master), "Kennwort für \"Hör.DB\": ");
    ASSERT_EQ(::write(master, "geheim\n", 7), 7);
    EXPECT_EQ(ReadScreen(master), "\r\nNochmal: ");  // the answer is not shown
    ASSERT_EQ(::write(master, "Grüße\r\n", 8), 8);
    EXPECT_EQ(ReadScreen(master), "\r\nLeer: ");
    ASSERT_EQ(::write(master, "\n", 1), 1);
    EXPECT_EQ(ReadScreen(master), "\r\nEnde: ");
    ASSERT_EQ(::write(master, "\x04", 1), 1);  // end of input (Ctrl-D)
    ReadScreen(master);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Without a terminal nobody is asked.
TEST(ConsoleTest, WithoutATerminalAsksNothing) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int saved = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    EXPECT_FALSE(ReadSecretLine(u"Kennwort: ").has_value());
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
}  // namespace kosmara
#endif
