#include "ui/application.h"

#include <exception>
#include <new>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/win_text.h"
#include "ui/application_text.h"

namespace kosmara {

const std::u16string& ApplicationTitle() {
    static const std::u16string title = [] {
        std::u16string path(MAX_PATH, u'\0');
        for (;;) {
            const DWORD length = ::GetModuleFileNameW(nullptr, WideBuffer(path), static_cast<DWORD>(path.size()));
            if (length == 0) return std::u16string();
            if (length < path.size()) {
                path.resize(length);
                return ApplicationTitleOf(NameOfPath(path));
            }
            path.resize(path.size() * 2);
        }
    }();
    return title;
}

int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style) {
    const std::u16string textCopy(text);
    const std::u16string captionCopy(caption);
    return ::MessageBoxW(owner, Wide(textCopy), Wide(captionCopy), style);
}

void ShowCurrentException(HWND owner) noexcept {
    // Building the text may itself run out of memory; then the box shows
    // in its plainest form rather than the program ending here.
    try {
        std::u16string message;
        try {
            throw;
        } catch (const Error& error) {
            message = error.message();
        } catch (const std::bad_alloc&) {
            message = kOutOfMemory;
        } catch (const std::exception& error) {
            message = FillMessage(kUnexpectedError, {FromUtf8(error.what())});
        } catch (...) {
            message = FillMessage(kUnexpectedError, {u"?"});
        }
        ShowMessageBox(owner, ErrorBoxText(message), ApplicationTitle(), MB_OK | MB_ICONSTOP);
    } catch (...) {
        ::MessageBoxW(owner, L"Nicht genügend Arbeitsspeicher.", nullptr, MB_OK | MB_ICONSTOP);
    }
}

}  // namespace kosmara
