#include "ui/unit1.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "core/error.h"
#include "core/text.h"
#include "databases/discovery.h"
#include "databases/export_job.h"
#include "platform/locale.h"
#include "platform/win_text.h"
#include "ui/application.h"
#include "ui/application_text.h"
#include "ui/password_dialog.h"
#include "ui/resource_ids.h"

namespace kosmara {

namespace {

// Control identifiers.
constexpr int kLabelId = 100;
constexpr int kExportButtonId = 101;
constexpr int kListId = 102;
constexpr int kSearchButtonId = 103;
constexpr int kSpecialButtonId = 104;

// The layout at 96 dots per inch: client area, then each control's
// left, top, width and height.
constexpr int kClientWidth = 660;
// The client height is held; the outer height is what the system's frame
// adds to it (140 with the standard frame of Windows 10 and 11 at 96 dots per
// inch, more with a taller title bar).
constexpr int kClientHeight = 101;
constexpr int kMinimumWidth = 250;
struct Place {
    int left, top, width, height;
};
constexpr Place kLabelPlace{15, 13, 188, 13};
constexpr Place kExportButtonPlace{15, 58, 114, 25};
constexpr Place kListPlace{15, 31, 618, 21};
constexpr Place kSearchButtonPlace{151, 58, 234, 25};
constexpr Place kSpecialButtonPlace{407, 58, 218, 25};
// The list keeps its distance to the right edge as the window widens.
constexpr int kListRightMargin = kClientWidth - kListPlace.left - kListPlace.width;
// Room for the list's drop-down part, in rows of the list.
constexpr int kDroppedRows = 8;
// What a push button needs beside its text, on both sides together: its
// edge and the focus frame inside it (2 + 2 pixels a side) and 4 pixels of
// air. At Tahoma on Windows every button's text fits its layout width so.
constexpr int kButtonTextMargin = 16;

// While an export runs, how often the window handles what waits for it.
constexpr ULONGLONG kAnswerIntervalMilliseconds = 50;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

// The window is a dialog of the system's dialog class, so the keyboard works
// as users expect (Tab, Enter on the default button, mnemonics); its controls
// are made by hand from the layout above.
struct alignas(4) EmptyDialogTemplate {
    DLGTEMPLATE dialog;
    WORD menu;
    WORD windowClass;
    WCHAR title;
};

// The per-monitor functions of newer Windows, where present.
UINT DpiOfWindow(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// The outer rectangle of the window for a client area of width x height: the
// frame the system draws for the window's styles at this density.
RECT OuterRectForClient(HWND window, int width, int height, UINT dpi) {
    RECT rect{0, 0, width, height};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    using AdjustForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi == nullptr || !adjustForDpi(&rect, style, FALSE, exStyle, dpi))
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return rect;
}

// Newer Windows would rescale a dialog's controls itself when the window
// moves to a monitor of another density; this window scales its own.
void TakeOverDpiScaling(HWND window) {
    using SetBehaviorFunction = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = reinterpret_cast<SetBehaviorFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
    constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
    if (setBehavior != nullptr) setBehavior(window, kDisableAll, kDisableAll);
}

HWND CreateControl(HWND parent, const wchar_t* windowClass, std::u16string_view text, DWORD style, int id) {
    const std::u16string caption(text);
    HWND control = ::CreateWindowExW(0, windowClass, Wide(caption), WS_CHILD | style, 0, 0, 0, 0, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (control == nullptr) throw Error(u"Das Fenster kann nicht angelegt werden.");
    return control;
}

// The width text takes in a control's font.
int TextWidth(HWND control, std::u16string_view text) {
    const HDC dc = ::GetDC(control);
    if (dc == nullptr) return 0;
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return size.cx;
}

// The text of a control, as it stands.
std::u16string TextOf(HWND control) {
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(std::max(::GetWindowTextW(control, text.data(), length + 1), 0)));
    return FromWide(text.c_str());
}

// The icon at the size the system asks for this density.
HICON LoadAppIcon(HINSTANCE instance, int metric, UINT dpi) {
    const int size = ::MulDiv(::GetSystemMetrics(metric), static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, const SystemServices& system)
    : system_(system),
      db1(Session::Default()),
      tbl1(db1),
      dlgSave1(FileDialogKind::kSave, kSaveFilter, u"aaf"),
      dlgOpen1(FileDialogKind::kOpen, kOpenFilter, u"db") {
    EmptyDialogTemplate layout{};
    layout.dialog.style = kWindowStyle;
    layout.dialog.dwExtendedStyle = kWindowExStyle;
    layout.dialog.cx = 100;
    layout.dialog.cy = 50;
    window_ = ::CreateDialogIndirectParamW(instance, &layout.dialog, nullptr, &TForm1::DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) throw Error(u"Das Fenster kann nicht angelegt werden.");
    for (const auto& [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
        if (HICON icon = LoadAppIcon(instance, metric, dpi_))
            ::SendMessageW(window_, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
    }
}

TForm1::~TForm1() {
    if (window_ != nullptr) ::DestroyWindow(window_);
}

void TForm1::Show(int showCommand) {
    // Centred in the work area of the monitor the window is on.
    RECT outer{};
    ::GetWindowRect(window_, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        const RECT& work = monitor.rcWork;
        const int width = outer.right - outer.left;
        const int height = outer.bottom - outer.top;
        ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                       work.top + (work.bottom - work.top - height) / 2, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(window_, showCommand);
    ::UpdateWindow(window_);
}

INT_PTR CALLBACK TForm1::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<TForm1*>(lParam)->window_ = window;
    }
    auto* form = reinterpret_cast<TForm1*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (form == nullptr) return FALSE;
    INT_PTR result = FALSE;
    // Nothing a handler throws leaves the window procedure.
    RunGuarded(window, [&] { result = form->HandleMessage(message, wParam, lParam); });
    return result;
}

INT_PTR TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarButtonCreated_ && message != 0) {
        // The taskbar has (again) made the window's button: from now on its
        // progress can show there.
        taskbar_.reset();
        ITaskbarList3* taskbar = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                         reinterpret_cast<void**>(&taskbar)))) {
            ComPtr<ITaskbarList3> owned(taskbar);
            if (SUCCEEDED(owned.get()->HrInit())) taskbar_ = std::move(owned);
        }
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        TakeOverDpiScaling(window_);
        ::SetWindowTextW(window_, Wide(std::u16string(kMainCaption)));
        CreateControls();
        dpi_ = DpiOfWindow(window_);
        {
            const RECT outer = OuterRectForClient(window_, Scale(kClientWidth), Scale(kClientHeight), dpi_);
            ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ApplyDpi(dpi_);
        // An error in FormCreate is shown, and the window is still made.
        RunGuarded(window_, [this] { FormCreate(); });
        SetDefaultButton();
        return TRUE;  // the focus goes to the first enabled control in tab order

    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case kExportButtonId: RunExportingHandler([this] { btn1Click(); }); return TRUE;
        case kSearchButtonId: RunExportingHandler([this] { btn2Click(); }); return TRUE;
        case kSpecialButtonId: btn3Click(); return TRUE;
        case IDCANCEL: return TRUE;  // Escape does not close the window
        default: return FALSE;
        }

    case WM_CLOSE:
        // An export is not broken off: the window closes when it is done.
        if (exporting_) {
            closeRequested_ = true;
            return TRUE;
        }
        ::DestroyWindow(window_);
        return TRUE;

    case WM_DESTROY:
        FormDestroy();
        ::PostQuitMessage(0);
        return TRUE;

    case WM_NCDESTROY:
        ::SetWindowLongPtrW(window_, DWLP_USER, 0);
        window_ = nullptr;
        return FALSE;

    case WM_SIZE:
        Layout();
        return TRUE;

    case WM_SETTINGCHANGE:
    case WM_THEMECHANGED: {
        // Another title bar (a text size, a theme): the client area keeps its height.
        RECT outer{};
        ::GetWindowRect(window_, &outer);
        ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, OuterHeight(),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return FALSE;
    }

    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize.x = Scale(kMinimumWidth);
        limits->ptMinTrackSize.y = OuterHeight();
        limits->ptMaxTrackSize.y = OuterHeight();
        return TRUE;
    }

    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        dpi_ = HIWORD(wParam);
        ApplyDpi(dpi_);
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       OuterHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
        return TRUE;
    }

    case WM_SETCURSOR:
        if (!busy_) return FALSE;
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
        return TRUE;

    default:
        return FALSE;
    }
}

void TForm1::CreateControls() {
    // Created in this order: the tab order is btn1, cbb1, btn2, btn3.
    lbl1 = CreateControl(window_, WC_STATICW, kLabelText, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kLabelId);
    btn1 = CreateControl(window_, WC_BUTTONW, kExportButtonText, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                         kExportButtonId);
    cbb1 = CreateControl(window_, WC_COMBOBOXW, u"", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                         kListId);
    btn2 = CreateControl(window_, WC_BUTTONW, kSearchButtonText, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                         kSearchButtonId);
    btn3 = CreateControl(window_, WC_BUTTONW, kSpecialButtonText, WS_TABSTOP | BS_PUSHBUTTON, kSpecialButtonId);
}

int TForm1::Scale(int designPixels) const {
    return ::MulDiv(designPixels, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

int TForm1::OuterHeight() const {
    const RECT outer = OuterRectForClient(window_, Scale(kClientWidth), Scale(kClientHeight), dpi_);
    return outer.bottom - outer.top;
}

void TForm1::ApplyDpi(UINT dpi) {
    dpi_ = dpi;
    // Tahoma, 8 points: 11 pixels at 96 dots per inch.
    GdiObject font(::CreateFontW(-::MulDiv(8, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
    if (!font) throw Error(u"Die Schrift Tahoma kann nicht angelegt werden.");
    for (HWND control : {lbl1, btn1, cbb1, btn2, btn3})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    font_ = std::move(font);  // the old font goes once no control uses it
    Layout();
}

void TForm1::Layout() {
    if (cbb1 == nullptr) return;
    RECT client{};
    ::GetClientRect(window_, &client);
    const auto place = [this](HWND control, const Place& at, int width) {
        ::MoveWindow(control, Scale(at.left), Scale(at.top), width, Scale(at.height), TRUE);
    };
    // The label and the buttons are as wide as their texts need (a button
    // with room for its edge and focus frame), at least their widths in the
    // layout: no font (another Tahoma, a substitute, another density) cuts
    // a text. Left and top stay.
    const auto fitted = [this](HWND control, const Place& at, int margin) {
        return std::max(Scale(at.width), TextWidth(control, TextOf(control)) + Scale(margin));
    };
    place(lbl1, kLabelPlace, fitted(lbl1, kLabelPlace, 0));
    place(btn1, kExportButtonPlace, fitted(btn1, kExportButtonPlace, kButtonTextMargin));
    place(btn2, kSearchButtonPlace, fitted(btn2, kSearchButtonPlace, kButtonTextMargin));
    place(btn3, kSpecialButtonPlace, fitted(btn3, kSpecialButtonPlace, kButtonTextMargin));
    // The list widens and narrows with the window. Its height given here
    // includes the drop-down part; the closed list gets the layout's height.
    const int listWidth = std::max(0, static_cast<int>(client.right) - Scale(kListPlace.left) - Scale(kListRightMargin));
    const int closedHeight = Scale(kListPlace.height);
    ::MoveWindow(cbb1, Scale(kListPlace.left), Scale(kListPlace.top), listWidth, closedHeight * (kDroppedRows + 1),
                 TRUE);
    RECT list{};
    ::GetWindowRect(cbb1, &list);
    const int difference = closedHeight - static_cast<int>(list.bottom - list.top);
    if (difference != 0) {
        const LRESULT itemHeight = ::SendMessageW(cbb1, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        if (itemHeight != CB_ERR && itemHeight + difference > 0)
            ::SendMessageW(cbb1, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight + difference);
    }
}

// Busy: the table is read and written. The wait cursor shows, the list and
// the buttons are greyed and the taskbar button shows the progress; when
// the work is done (or waits for the user) all is as before, the focus back
// where it was.
void TForm1::SetBusy(bool busy) {
    ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
    if (busy == busy_) return;
    busy_ = busy;
    const std::array<HWND, 3> controls{btn1, cbb1, btn2};
    if (busy) {
        const HWND focus = ::GetFocus();
        focusBeforeBusy_ = focus != nullptr && ::IsChild(window_, focus) ? focus : nullptr;
        for (std::size_t at = 0; at < controls.size(); ++at) {
            enabledBeforeBusy_[at] = ::IsWindowEnabled(controls[at]) != FALSE;
            ::EnableWindow(controls[at], FALSE);
        }
        ShowTaskbarProgress(std::nullopt, std::nullopt);
        lastHandled_ = ::GetTickCount64();
        return;
    }
    for (std::size_t at = 0; at < controls.size(); ++at) ::EnableWindow(controls[at], enabledBeforeBusy_[at]);
    if (taskbar_) taskbar_.get()->SetProgressState(window_, TBPF_NOPROGRESS);
    if (::GetActiveWindow() == window_) {
        const HWND focus = ::GetFocus();
        if (focus == nullptr || focus == window_ || !::IsWindowEnabled(focus)) {
            HWND target = focusBeforeBusy_;
            if (target == nullptr || !::IsWindowEnabled(target)) target = ::GetNextDlgTabItem(window_, nullptr, FALSE);
            if (target != nullptr) ::SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
        }
    }
    focusBeforeBusy_ = nullptr;
}

// Enter on a control that is no button triggers btn1; with btn1 greyed (no
// databases) the first usable button, btn2, takes its place. The dialog
// manager draws that button as the default one whenever the focus is on a
// control that is no button.
void TForm1::SetDefaultButton() {
    ::SendMessageW(window_, DM_SETDEFID, ::IsWindowEnabled(btn1) ? kExportButtonId : kSearchButtonId, 0);
}

template <typename Handler>
void TForm1::RunExportingHandler(Handler&& handler) {
    if (exporting_) return;  // a click that waited while the export ran
    exporting_ = true;
    RunGuarded(window_, handler);
    exporting_ = false;
    // What was asked for meanwhile, now that the export has ended (its
    // message or error box has been closed).
    if (quitRequested_) {
        ::PostQuitMessage(*quitRequested_);
        quitRequested_.reset();
    }
    if (closeRequested_) {
        closeRequested_ = false;
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
    }
}

// One thread does all: the export calls back here after every record, and
// every so often the window handles the messages that have come for it
// (repainting, moving, messages other programs send it, clicks on the greyed
// controls), so the system never marks it as not answering. A second click
// and a close are held off by RunExportingHandler and WM_CLOSE.
void TForm1::ShowProgress(std::uint32_t done, std::optional<std::uint32_t> total) {
    const ULONGLONG now = ::GetTickCount64();
    if (now - lastHandled_ < kAnswerIntervalMilliseconds) return;
    lastHandled_ = now;
    ShowTaskbarProgress(done, total);
    HandleWaitingMessages();
}

void TForm1::HandleWaitingMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The message loop ends once the export is done.
            quitRequested_ = static_cast<int>(message.wParam);
            break;
        }
        if (window_ != nullptr && ::IsDialogMessageW(window_, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// done of total records on the taskbar button; without them, a bar that
// says only that the export runs.
void TForm1::ShowTaskbarProgress(std::optional<std::uint32_t> done, std::optional<std::uint32_t> total) {
    if (!taskbar_) return;
    if (done && total && *total > 0) {
        taskbar_.get()->SetProgressState(window_, TBPF_NORMAL);
        taskbar_.get()->SetProgressValue(window_, std::min(*done, *total), *total);
    } else {
        taskbar_.get()->SetProgressState(window_, TBPF_INDETERMINATE);
    }
}

void TForm1::FormCreate() {
    Paths = std::make_unique<std::vector<std::u16string>>();
    PurePaths = std::make_unique<std::vector<std::u16string>>();
    DatabaseRows rows;
    if (DiscoverDatabases(system_, rows)) {
        for (std::size_t row = 0; row < rows.items.size(); ++row)
            AddDatabaseEntry(rows.items[row], rows.paths[row], rows.purePaths[row]);
    } else {
        ::EnableWindow(btn1, FALSE);
        ::SendMessageW(cbb1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(rows.items.front())));
        ::EnableWindow(cbb1, FALSE);
    }
    ::SendMessageW(cbb1, CB_SETCURSEL, 0, 0);
}

void TForm1::FormDestroy() {
    Paths.reset();
    PurePaths.reset();
}

void TForm1::AddDatabaseEntry(std::u16string_view displayText, std::u16string_view path,
                              std::u16string_view purePath) {
    const std::u16string item(displayText);
    ::SendMessageW(cbb1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item)));
    Paths->emplace_back(path);
    PurePaths->emplace_back(purePath);
}

bool TForm1::MapToVirtualStore(std::u16string_view path, std::u16string& mapped) const {
    return kosmara::MapToVirtualStore(system_, path, mapped);
}

void TForm1::btn1Click() {
    const auto row = static_cast<std::ptrdiff_t>(::SendMessageW(cbb1, CB_GETCURSEL, 0, 0));
    static const std::vector<std::u16string> none;
    const RowExport exported = ExportOfRow(Paths ? *Paths : none, PurePaths ? *PurePaths : none, row);
    ExportDatabase(exported.path, exported.xpMode);
}

void TForm1::btn2Click() {
    if (!dlgOpen1.Execute(window_)) return;
    const std::u16string file = dlgOpen1.FileName();
    bool xpMode = false;
    std::u16string mapped;
    if (MapToVirtualStore(file, mapped)) {
        const int answer = ShowMessageBox(window_, kXpQuestionText, kXpQuestionCaption, MB_YESNOCANCEL | MB_ICONEXCLAMATION);
        if (answer != IDYES && answer != IDNO) return;  // Cancel, Escape or the close box
        xpMode = answer == IDYES;
    }
    ExportDatabase(file, xpMode);
}

void TForm1::btn3Click() {}

void TForm1::ExportDatabase(std::u16string_view path, bool xpMode) {
    struct Idle {
        TForm1& form;
        ~Idle() { form.SetBusy(false); }
    } idle{*this};
    ExportContext context{system_, Session::Default(), db1, tbl1, *this, UserTimeFormatSettings()};
    kosmara::ExportDatabase(context, path, xpMode);
}

void TForm1::ShowMessage(std::u16string_view text) {
    SetBusy(false);
    ShowMessageBox(window_, text, ApplicationTitle(), MB_OK);
}

std::optional<std::u16string> TForm1::AskOutputFile(std::u16string_view proposed) {
    dlgSave1.SetFileName(std::u16string(proposed));
    if (!dlgSave1.Execute(window_)) return std::nullopt;
    // From here on the table is read and written.
    SetBusy(true);
    return dlgSave1.FileName();
}

// Another conversion (a second window, the command line) holds the staging
// folder: the export waits for it under the wait cursor, as it waits for
// the disk.
void TForm1::WaitingForStagingFolder(std::u16string_view) { SetBusy(true); }

void TForm1::StillWaiting() {
    SetBusy(true);
    HandleWaitingMessages();
}

std::optional<std::u16string> TForm1::AskPassword(std::u16string_view) {
    SetBusy(false);
    std::optional<std::u16string> password = RunPasswordDialog(window_, Session::Default());
    SetBusy(true);
    return password;
}

}  // namespace kosmara
