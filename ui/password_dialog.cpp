#include "ui/password_dialog.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "engine/engine_objects.h"
#include "platform/file.h"
#include "platform/win_text.h"

namespace kosmara {
namespace {

// A dialog template (DLGTEMPLATEEX with its items) built in memory.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, std::u16string_view title, short width, short height, std::u16string_view font,
                   WORD points) {
        Word(1);       // dlgVer
        Word(0xFFFF);  // signature: the extended template
        Dword(0);      // helpID
        Dword(0);      // exStyle
        Dword(style | DS_SETFONT);
        Word(0);  // cDlgItems, counted by AddControl
        Word(0);  // x, y: placed when it is shown
        Word(0);
        Word(static_cast<WORD>(width));
        Word(static_cast<WORD>(height));
        Word(0);  // no menu
        Word(0);  // the dialog class
        Text(title);
        Word(points);
        Word(FW_NORMAL);
        Word(static_cast<WORD>(DEFAULT_CHARSET << 8));  // italic (low byte) no, character set (high byte)
        Text(font);
    }

    // classAtom: 0x0080 button, 0x0081 edit, 0x0082 static. Position and
    // size in dialog units.
    void AddControl(WORD classAtom, std::u16string_view text, DWORD style, DWORD exStyle, short x, short y,
                    short width, short height, int id) {
        if (words_.size() % 2 != 0) Word(0);  // items start on a DWORD boundary
        Dword(0);                             // helpID
        Dword(exStyle);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(width));
        Word(static_cast<WORD>(height));
        Dword(static_cast<DWORD>(id));
        Word(0xFFFF);
        Word(classAtom);
        Text(text);
        Word(0);  // no creation data
        ++words_[kItemCountIndex];
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    static constexpr std::size_t kItemCountIndex = 8;  // after dlgVer, signature and three DWORDs

    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value) {
        Word(static_cast<WORD>(value & 0xFFFF));
        Word(static_cast<WORD>(value >> 16));
    }
    void Text(std::u16string_view text) {
        words_.insert(words_.end(), text.begin(), text.end());
        Word(0);
    }

    std::vector<WORD> words_;
};

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;

// Layout in dialog units: the group with field and its three buttons on the
// left, "&OK" and "Cancel" on the right.
DialogTemplate PasswordTemplate() {
    DialogTemplate dialog(DS_MODALFRAME | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU, kPasswordDialogTitle, 243,
                          67, u"Tahoma", 8);
    dialog.AddControl(kButtonClass, u"Password", BS_GROUPBOX, 0, 7, 7, 172, 53, kPasswordGroupId);
    dialog.AddControl(kEditClass, u"", ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE, 14,
                      19, 158, 14, kPasswordFieldId);
    dialog.AddControl(kButtonClass, u"&Add", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, 14, 39, 50, 14,
                      kPasswordAddId);
    dialog.AddControl(kButtonClass, u"&Remove", BS_PUSHBUTTON | WS_TABSTOP, 0, 68, 39, 50, 14, kPasswordRemoveId);
    dialog.AddControl(kButtonClass, u"Re&move all", BS_PUSHBUTTON | WS_TABSTOP, 0, 122, 39, 50, 14,
                      kPasswordRemoveAllId);
    dialog.AddControl(kButtonClass, u"&OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, 186, 7, 50, 14, IDOK);
    dialog.AddControl(kButtonClass, u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, 186, 24, 50, 14, IDCANCEL);
    return dialog;
}

struct PasswordDialogState {
    explicit PasswordDialogState(Session& s) : session(s) {}

    Session& session;
    bool addedHere = false;
    std::u16string password;
    std::exception_ptr failure;
};

constexpr INT_PTR kEndedByFailure = 3;  // neither IDOK nor IDCANCEL

HWND Field(HWND dialog) { return ::GetDlgItem(dialog, kPasswordFieldId); }

std::u16string FieldText(HWND dialog) {
    const HWND field = Field(dialog);
    const int length = ::GetWindowTextLengthW(field);
    if (length <= 0) return {};
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    const int copied = ::GetWindowTextW(field, WideBuffer(text), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

void UpdateButtons(HWND dialog, const PasswordDialogState& state) {
    const bool hasText = ::GetWindowTextLengthW(Field(dialog)) > 0;
    ::EnableWindow(::GetDlgItem(dialog, kPasswordAddId), hasText);
    ::EnableWindow(::GetDlgItem(dialog, kPasswordRemoveId), hasText);
    ::EnableWindow(::GetDlgItem(dialog, IDOK), hasText || state.addedHere);
}

// The focus goes back to the field before the button that has it is
// disabled, so the keyboard never ends up on a disabled control.
void EmptyField(HWND dialog) {
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Field(dialog)), TRUE);
    ::SetWindowTextW(Field(dialog), L"");
}

// Centred on the owner (on the work area when there is no visible owner),
// and wholly inside the work area of the owner's monitor.
void CenterOnOwner(HWND dialog) {
    const HWND owner = ::GetWindow(dialog, GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    RECT around = work;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &around);
    RECT own{};
    if (!::GetWindowRect(dialog, &own)) return;
    const LONG width = own.right - own.left;
    const LONG height = own.bottom - own.top;
    LONG x = around.left + (around.right - around.left - width) / 2;
    LONG y = around.top + (around.bottom - around.top - height) / 2;
    x = std::max(std::min(x, work.right - width), work.left);
    y = std::max(std::min(y, work.bottom - height), work.top);
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// What a command does. The rules are checked here, not only by the
// buttons' enabling: a command can come by keyboard or message too.
void OnCommand(HWND dialog, PasswordDialogState& state, int id, int code) {
    switch (id) {
    case kPasswordFieldId:
        if (code == EN_CHANGE) UpdateButtons(dialog, state);
        break;
    case kPasswordAddId: {
        const std::u16string text = FieldText(dialog);
        if (text.empty()) break;
        state.session.AddPassword(text);
        state.addedHere = true;
        EmptyField(dialog);
        UpdateButtons(dialog, state);
        break;
    }
    case kPasswordRemoveId: {
        const std::u16string text = FieldText(dialog);
        if (text.empty()) break;
        state.session.RemovePassword(text);
        EmptyField(dialog);
        break;
    }
    case kPasswordRemoveAllId:
        state.session.RemoveAllPasswords();
        break;
    case IDOK: {
        std::u16string text = FieldText(dialog);
        if (text.empty() && !state.addedHere) break;  // "&OK" is disabled: Enter does nothing
        if (!text.empty()) state.session.AddPassword(text);
        state.password = std::move(text);
        ::EndDialog(dialog, IDOK);
        break;
    }
    case IDCANCEL:  // also Escape and the close box
        ::EndDialog(dialog, IDCANCEL);
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        CenterOnOwner(dialog);
        UpdateButtons(dialog, *reinterpret_cast<PasswordDialogState*>(lParam));
        return TRUE;  // the focus goes to the field, the first tab stop
    }
    auto* state = reinterpret_cast<PasswordDialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (state == nullptr || message != WM_COMMAND) return FALSE;
    // No exception may cross the system's frames: it ends the dialog and is
    // thrown again when the dialog has returned.
    try {
        OnCommand(dialog, *state, LOWORD(wParam), HIWORD(wParam));
    } catch (...) {
        state->failure = std::current_exception();
        ::EndDialog(dialog, kEndedByFailure);
    }
    return TRUE;
}

}  // namespace

std::optional<std::u16string> RunPasswordDialog(HWND owner, Session& session) {
    const DialogTemplate dialog = PasswordTemplate();
    PasswordDialogState state(session);
    const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.get(), owner,
                                                     PasswordDialogProc, reinterpret_cast<LPARAM>(&state));
    const DWORD error = ::GetLastError();
    if (state.failure) std::rethrow_exception(state.failure);
    if (result == IDOK) return std::move(state.password);
    if (result == IDCANCEL) return std::nullopt;
    // -1, or 0 for an owner that is no window.
    throw Error(FillMessage(kPasswordDialogFailed, {SystemErrorText(result == 0 && error == 0
                                                                        ? ERROR_INVALID_WINDOW_HANDLE
                                                                        : error)}));
}

}  // namespace kosmara
