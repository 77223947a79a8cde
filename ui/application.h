// The process's application object as the window sees it: the title its
// boxes carry, the default error handler, and the guard that keeps every
// failure inside a window procedure on its way to that handler.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kosmara {

// The application title (see ApplicationTitleOf), from the running
// executable's name.
const std::u16string& ApplicationTitle();

// A modal message box owned by owner, titled with caption.
int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style);

// The default error handler: shows the exception being handled (call it
// inside a catch block) with the stop icon and an OK button, titled with the
// application title. kosmara::Error shows its German message; running out of
// memory and other C++ errors show a German text of their own. Never throws.
void ShowCurrentException(HWND owner) noexcept;

// Runs work; whatever it throws goes to the default handler, so no failure
// ends the process from inside a window procedure and the message loop
// goes on.
template <typename Work>
void RunGuarded(HWND owner, Work&& work) noexcept {
    try {
        work();
    } catch (...) {
        ShowCurrentException(owner);
    }
}

}  // namespace kosmara
