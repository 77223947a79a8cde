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
constexpr int kClientHeight = 101;
constexpr int kOuterHeight = 140;
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

RECT OuterRectForClient(int width, int height, UINT dpi) {
    RECT rect{0, 0, width, height};
    using AdjustForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi == nullptr || !adjustForDpi(&rect, kWindowStyle, FALSE, kWindowExStyle, dpi))
        ::AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
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
    // Without databases btn2 is the default button, and looks it.
    if (!::IsWindowEnabled(btn1)) {
        ::SendMessageW(btn1, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        ::SendMessageW(btn2, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
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
    switch (message) {
    case WM_INITDIALOG:
        TakeOverDpiScaling(window_);
        ::SetWindowTextW(window_, Wide(std::u16string(kMainCaption)));
        CreateControls();
        dpi_ = DpiOfWindow(window_);
        {
            const RECT outer = OuterRectForClient(Scale(kClientWidth), Scale(kClientHeight), dpi_);
            ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, Scale(kOuterHeight),
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ApplyDpi(dpi_);
        // An error in FormCreate is shown, and the window is still made.
        RunGuarded(window_, [this] { FormCreate(); });
        return TRUE;  // the focus goes to the first enabled control in tab order

    case DM_GETDEFID:
        // Enter on a control that is no button triggers btn1; with btn1 greyed
        // (no databases) the first usable button, btn2, takes its place.
        ::SetWindowLongPtrW(window_, DWLP_MSGRESULT,
                            MAKELRESULT(::IsWindowEnabled(btn1) ? kExportButtonId : kSearchButtonId, DC_HASDEFID));
        return TRUE;

    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case kExportButtonId: btn1Click(); return TRUE;
        case kSearchButtonId: btn2Click(); return TRUE;
        case kSpecialButtonId: btn3Click(); return TRUE;
        case IDCANCEL: return TRUE;  // Escape does not close the window
        default: return FALSE;
        }

    case WM_CLOSE:
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

    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize.x = Scale(kMinimumWidth);
        limits->ptMinTrackSize.y = Scale(kOuterHeight);
        limits->ptMaxTrackSize.y = Scale(kOuterHeight);
        return TRUE;
    }

    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        dpi_ = HIWORD(wParam);
        ApplyDpi(dpi_);
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       Scale(kOuterHeight), SWP_NOZORDER | SWP_NOACTIVATE);
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
    // The label is as wide as its text needs, at least its width in the
    // layout: no font (another Tahoma, another density) cuts it.
    place(lbl1, kLabelPlace, std::max(Scale(kLabelPlace.width), TextWidth(lbl1, kLabelText)));
    place(btn1, kExportButtonPlace, Scale(kExportButtonPlace.width));
    place(btn2, kSearchButtonPlace, Scale(kSearchButtonPlace.width));
    place(btn3, kSpecialButtonPlace, Scale(kSpecialButtonPlace.width));
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

void TForm1::SetBusy(bool busy) {
    busy_ = busy;
    ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
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

std::optional<std::u16string> TForm1::AskPassword(std::u16string_view) {
    SetBusy(false);
    std::optional<std::u16string> password = RunPasswordDialog(window_, Session::Default());
    SetBusy(true);
    return password;
}

}  // namespace kosmara
