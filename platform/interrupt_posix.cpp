#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "core/text.h"
#include "platform/interrupt.h"
#include "platform/posix_files.h"

namespace kosmara {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kSlots = 32;
constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

// Paths as the kernel takes them, allocated by the registering code; the
// handler only reads them.
std::atomic<char*> g_files[kSlots];
std::atomic<bool> g_terminalSaved{false};
termios g_terminal{};
std::atomic<std::size_t> g_statusWidth{0};

void WriteAll(int fd, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

extern "C" void OnInterrupt(int signal) {
    const int savedErrno = errno;
    for (std::atomic<char*>& slot : g_files) {
        if (char* path = slot.load()) ::unlink(path);
    }
    if (g_terminalSaved.load()) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_terminal);
    std::size_t width = g_statusWidth.exchange(0);
    if (width > 0) {
        static const char blanks[64] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
        WriteAll(STDERR_FILENO, "\r", 1);
        while (width > 0) {
            const std::size_t part = width < sizeof blanks ? width : sizeof blanks;
            WriteAll(STDERR_FILENO, blanks, part);
            width -= part;
        }
        WriteAll(STDERR_FILENO, "\r", 1);
    } else if (g_terminalSaved.load()) {
        // The password prompt's line stays; the shell's prompt starts anew.
        WriteAll(STDERR_FILENO, "\n", 1);
    }
    errno = savedErrno;
    // Ended as the signal ends a process, so the caller sees which it was.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

sigset_t InterruptSignals() {
    sigset_t set;
    ::sigemptyset(&set);
    for (const int signal : kSignals) ::sigaddset(&set, signal);
    return set;
}

}  // namespace

void InstallInterruptCleanup() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) ::sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        // A signal ignored by whoever started us (nohup) stays ignored.
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

InterruptShield::InterruptShield() noexcept {
    static_assert(sizeof(sigset_t) <= sizeof saved_);
    const sigset_t set = InterruptSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(saved_));
}

InterruptShield::~InterruptShield() { ::pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(saved_), nullptr); }

bool InterruptShield::interrupted() const noexcept { return false; }

RemoveOnInterrupt::RemoveOnInterrupt(std::u16string_view path) : slot_(kNoSlot) {
    char* copy = ::strdup(NativePath(path).c_str());
    if (copy == nullptr) return;
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        char* expected = nullptr;
        if (g_files[slot].compare_exchange_strong(expected, copy)) {
            slot_ = slot;
            return;
        }
    }
    std::free(copy);  // all slots taken: removed only on the normal ways out
}

RemoveOnInterrupt::RemoveOnInterrupt(RemoveOnInterrupt&& other) noexcept : slot_(other.slot_) {
    other.slot_ = kNoSlot;
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
    if (slot_ != kNoSlot) std::free(g_files[slot_].exchange(nullptr));
}

void RememberTerminalState() noexcept {
    if (::tcgetattr(STDIN_FILENO, &g_terminal) == 0) g_terminalSaved.store(true);
}

void ForgetTerminalState() noexcept { g_terminalSaved.store(false); }

void SetStatusLineWidth(std::size_t width) noexcept { g_statusWidth.store(width); }

}  // namespace kosmara
