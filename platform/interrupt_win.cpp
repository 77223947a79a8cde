#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <cwchar>
#include <mutex>

#include "platform/interrupt.h"

namespace kosmara {

namespace {

constexpr std::size_t kSlots = 32;
constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

std::atomic<wchar_t*> g_files[kSlots];
std::atomic<bool> g_terminalSaved{false};
DWORD g_terminalMode = 0;
std::atomic<std::size_t> g_statusWidth{0};
// The handler runs on a thread of its own while the program goes on: it
// and the putting in place of an output exclude each other.
std::recursive_mutex g_commit;
std::atomic<bool> g_interrupted{false};

// Short ASCII text (up to 64 characters) to standard error: as UTF-16 to a
// console, so its code page does not matter, else as the bytes they are.
void WriteError(const wchar_t* text, std::size_t length) {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(error, &mode)) {
        ::WriteConsoleW(error, text, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    char bytes[64];
    for (std::size_t i = 0; i < length && i < sizeof bytes; ++i) bytes[i] = static_cast<char>(text[i]);
    ::WriteFile(error, bytes, static_cast<DWORD>(std::min(length, sizeof bytes)), &written, nullptr);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: break;
    default: return FALSE;
    }
    {
        const std::lock_guard<std::recursive_mutex> lock(g_commit);
        g_interrupted.store(true);
        // The temporary files are open with delete sharing: they go when
        // the process's handles close.
        for (std::atomic<wchar_t*>& slot : g_files) {
            if (wchar_t* path = slot.load()) ::DeleteFileW(path);
        }
    }
    if (g_terminalSaved.load()) ::SetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), g_terminalMode);
    std::size_t width = g_statusWidth.exchange(0);
    if (width > 0) {
        WriteError(L"\r", 1);
        constexpr wchar_t kSpaces[] = L"                                ";
        constexpr std::size_t kSpaceCount = std::size(kSpaces) - 1;
        for (; width > 0; width -= std::min(width, kSpaceCount)) WriteError(kSpaces, std::min(width, kSpaceCount));
        WriteError(L"\r", 1);
    }
    // The default handler ends the process, as Ctrl-C always did.
    return FALSE;
}

}  // namespace

void InstallInterruptCleanup() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

InterruptShield::InterruptShield() noexcept { g_commit.lock(); }

InterruptShield::~InterruptShield() { g_commit.unlock(); }

bool InterruptShield::interrupted() const noexcept { return g_interrupted.load(); }

RemoveOnInterrupt::RemoveOnInterrupt(std::u16string_view path) : slot_(kNoSlot) {
    auto* copy = static_cast<wchar_t*>(std::calloc(path.size() + 1, sizeof(wchar_t)));
    if (copy == nullptr) return;
    std::wmemcpy(copy, reinterpret_cast<const wchar_t*>(path.data()), path.size());
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        wchar_t* expected = nullptr;
        if (g_files[slot].compare_exchange_strong(expected, copy)) {
            slot_ = slot;
            return;
        }
    }
    std::free(copy);
}

RemoveOnInterrupt::RemoveOnInterrupt(RemoveOnInterrupt&& other) noexcept : slot_(other.slot_) {
    other.slot_ = kNoSlot;
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
    if (slot_ != kNoSlot) std::free(g_files[slot_].exchange(nullptr));
}

void RememberTerminalState() noexcept {
    if (::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &g_terminalMode)) g_terminalSaved.store(true);
}

void ForgetTerminalState() noexcept { g_terminalSaved.store(false); }

void SetStatusLineWidth(std::size_t width) noexcept { g_statusWidth.store(width); }

}  // namespace kosmara
