// Driving a modal dialog from a second thread. The test thread shows the
// dialog and waits in it as the program does; a driver thread finds the
// dialog among the test thread's windows and works it with messages:
// WM_SETTEXT, BM_CLICK, keys posted to the control with the focus (the
// dialog manager takes them as typed), WM_COMMAND. Every wait polls with a
// deadline. Whatever the script leaves open when it ends (also when an
// ASSERT ends it early) is cancelled, so the test thread always gets out of
// its dialog; that a window had to be cancelled so is reported.
//
// The test program runs on a desktop of its own (see gui_test_main.cpp).
// Under Wine a new thread starts on the default desktop, whatever the
// process's desktop is, and sees no window of another desktop: the threads
// of the tests first move to the desktop of the thread that made them
// (SetThreadDesktop, before they touch any window).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/win_text.h"

namespace kosmara::testing {

// Long enough for a dialog to come up on a loaded machine under Wine;
// the test is wrong when it takes longer.
inline constexpr std::chrono::seconds kDialogTimeout{20};

struct WindowTraits {
    using Value = HWND;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { ::DestroyWindow(value); }
};
using Window = UniqueHandle<WindowTraits>;

// A plain visible top-level window, to own a dialog.
inline Window MakeOwnerWindow(int left, int top, int width, int height) {
    Window owner(::CreateWindowExW(0, L"STATIC", L"Besitzer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, left, top, width,
                                   height, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(owner.valid()) << "no owner window, error " << ::GetLastError();
    return owner;
}

// A thread that is to show windows beside the test thread's.
inline std::thread ThreadOnThisDesktop(std::function<void()> body) {
    return std::thread([desktop = ::GetThreadDesktop(::GetCurrentThreadId()), body = std::move(body)] {
        ::SetThreadDesktop(desktop);
        body();
    });
}

inline std::u16string ClassNameOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return FromWide(name);
}

// Sends with a time limit: a driver never hangs on a dialog thread that has
// stopped answering.
inline LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result)) {
        ADD_FAILURE() << "message " << message << " was not answered";
    }
    return static_cast<LRESULT>(result);
}

inline std::u16string TextOf(HWND window) {
    std::u16string text(4096, u'\0');
    const LRESULT length = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(WideBuffer(text)));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

inline void SetText(HWND window, const std::u16string& text) {
    Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text)));
}

inline void Click(HWND button) { Send(button, BM_CLICK); }

// A key pressed and released on the window with the focus, as the dialog
// manager of the window's thread sees it from its message loop.
inline void PressKey(HWND focus, WPARAM key, bool alt = false) {
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? (1 << 29) : 0);
    const LPARAM up = down | (1 << 30) | (static_cast<LPARAM>(1) << 31);
    if (alt) {
        // A mnemonic: what TranslateMessage makes of Alt and the key.
        const wchar_t character = static_cast<wchar_t>(::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_CHAR));
        ::PostMessageW(focus, WM_SYSCHAR, static_cast<WPARAM>(::towlower(character)), down);
        return;
    }
    ::PostMessageW(focus, WM_KEYDOWN, key, down);
    ::PostMessageW(focus, WM_KEYUP, key, up);
}

// The window with the keyboard focus in the thread's dialog.
inline HWND FocusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// The visible dialog windows (class "#32770") of a thread.
inline std::vector<HWND> DialogsOf(DWORD thread) {
    std::vector<HWND> dialogs;
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM found) -> BOOL {
            if (::IsWindowVisible(window) && ClassNameOf(window) == u"#32770") {
                reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

// The descendants of a window, depth first.
inline std::vector<HWND> DescendantsOf(HWND window) {
    std::vector<HWND> children;
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM found) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

class DialogDriver {
public:
    using Script = std::function<void(DialogDriver&)>;

    // Starts the script on its own thread; it drives the dialogs of the
    // thread that makes the driver.
    explicit DialogDriver(Script script)
        : target_(::GetCurrentThreadId()),
          thread_([this, desktop = ::GetThreadDesktop(target_), script = std::move(script)] {
              ::SetThreadDesktop(desktop);
              Run(script);
          }) {}
    ~DialogDriver() { Finish(); }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Called by the test thread once its dialog has returned: waits for the
    // script's end. True when the driver had to cancel windows the script
    // left open.
    bool Finish() {
        finished_ = true;
        if (thread_.joinable()) thread_.join();
        return leftOpen_;
    }

    DWORD target() const noexcept { return target_; }

    // Polls the condition until it holds or the deadline passes (or the
    // test thread's dialog has returned already).
    bool WaitUntil(const std::function<bool()>& condition,
                   std::chrono::steady_clock::duration timeout = kDialogTimeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (condition()) return true;
            if (finished_ || std::chrono::steady_clock::now() > deadline) return false;
            ::Sleep(10);
        }
    }

    // The test thread's visible dialog with this title (any title when
    // empty, except windows in `except`); null when none comes up in time.
    HWND WaitForDialog(std::u16string_view title = {}, const std::vector<HWND>& except = {}) {
        HWND found = nullptr;
        WaitUntil([&] {
            for (HWND dialog : DialogsOf(target_)) {
                if (std::find(except.begin(), except.end(), dialog) != except.end()) continue;
                wchar_t text[256] = {};
                ::GetWindowTextW(dialog, text, 256);
                if (title.empty() || FromWide(text) == title) {
                    found = dialog;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    // Waits until the window is gone (its dialog has closed).
    bool WaitUntilClosed(HWND window) {
        return WaitUntil([window] { return !::IsWindow(window) || !::IsWindowVisible(window); });
    }

private:
    void Run(const Script& script) {
        script(*this);
        // A dialog the script has just closed may still be visible a moment.
        WaitUntil([this] { return DialogsOf(target_).empty(); }, std::chrono::seconds(3));
        // Cancel whatever is still open, message boxes with "No" (a Yes/No
        // box has no Cancel), until the test thread's dialog returns.
        const auto deadline = std::chrono::steady_clock::now() + kDialogTimeout;
        while (!finished_ && std::chrono::steady_clock::now() < deadline) {
            for (HWND dialog : DialogsOf(target_)) {
                leftOpen_ = true;
                const WPARAM answer = ::GetDlgItem(dialog, IDNO) != nullptr ? IDNO : IDCANCEL;
                ::PostMessageW(dialog, WM_COMMAND, answer, 0);
            }
            ::Sleep(50);
        }
    }

    DWORD target_;
    std::atomic<bool> finished_{false};
    std::atomic<bool> leftOpen_{false};
    std::thread thread_;
};

}  // namespace kosmara::testing
