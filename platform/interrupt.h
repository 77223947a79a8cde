// What must not outlive the process when the user or the system ends it
// part-way (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: Ctrl-C, Ctrl-Break, a
// closed console, log-off and shut-down): the temporary files of outputs
// not yet put in place are removed, the terminal's echo comes back and a
// progress line on standard error is cleared. Then the process ends as the
// signal or event would have ended it. The command line installs the
// handlers; everything else only registers what is to be cleaned up, which
// costs nothing where no handler is installed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kosmara {

// Installs the handlers for this process.
void InstallInterruptCleanup();

// Held while a temporary file is created or put in place, so an interrupt
// comes either before (the file is removed) or after (the output is whole),
// never between. POSIX: the signals are held back; Windows: the handler
// waits. interrupted() tells (Windows) that the process is being ended and
// nothing more may be put in place.
class InterruptShield {
public:
    InterruptShield() noexcept;
    ~InterruptShield();
    InterruptShield(const InterruptShield&) = delete;
    InterruptShield& operator=(const InterruptShield&) = delete;
    bool interrupted() const noexcept;

private:
    unsigned char saved_[128];  // POSIX: the signal mask before
};

// A temporary file removed when the process is interrupted, for as long as
// the object lives (register it right after creating the file, under an
// InterruptShield). It does not remove the file itself.
class RemoveOnInterrupt {
public:
    explicit RemoveOnInterrupt(std::u16string_view path);
    ~RemoveOnInterrupt();
    RemoveOnInterrupt(RemoveOnInterrupt&& other) noexcept;
    RemoveOnInterrupt& operator=(RemoveOnInterrupt&&) = delete;
    RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;

private:
    std::size_t slot_;
};

// The terminal's state before echo is switched off: restored on interrupt
// until Forget is called.
void RememberTerminalState() noexcept;
void ForgetTerminalState() noexcept;

// The width of the status line shown on standard error (0: none); cleared
// on interrupt.
void SetStatusLineWidth(std::size_t width) noexcept;

}  // namespace kosmara
