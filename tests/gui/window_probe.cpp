// Reads the state of another program's windows for the GUI tests, as far as
// one process can see another's: rectangles, styles, texts, combo items,
// enabled and visible state, the default button, the keyboard focus, and
// which standard icon a message box shows. Fonts cannot be read from here
// (GDI objects belong to their process); but the font the window program
// asks for, Tahoma of 8 points, is asked for here too, and the system of
// the same prefix chooses the same (or the same substitute): the widths of
// the controls' texts in it are written, and which face was chosen.
//
//   kosmara_window_probe [SELECTION] [--timeout SECONDS] show
//   kosmara_window_probe [SELECTION] [--timeout SECONDS] resize WIDTH HEIGHT
//   kosmara_window_probe [SELECTION] [--timeout SECONDS] close
//   kosmara_window_probe [SELECTION] [--timeout SECONDS] post-registered NAME
//   kosmara_window_probe [SELECTION] [--timeout SECONDS] gone
//   kosmara_window_probe list
//
// SELECTION picks one visible top-level window; every part given must hold:
//   --caption TEXT   the exact caption
//   --class NAME     the window class (a dialog or message box: #32770)
//   --owner TEXT     the exact caption of the window that owns it
//   --not HANDLE     not this window (a dialog that is still closing)
// The probe waits for the window up to the deadline (10 s by default) and
// ends with 1 when there is none; "gone" waits until there is none. "resize"
// sets the outer size with SetWindowPos, as dragging the border would, and
// then prints the state. "post-registered" posts the window the message
// registered under NAME (RegisterWindowMessage), as the system would.
//
// Output: UTF-8, one line per item, fields separated by tabs: the kind of
// line, then key=value pairs. In values, backslash, tab, CR and LF are
// written as \\, \t, \r and \n. Rectangles are left,top,width,height;
// those of controls in the client coordinates of the window.
//   window   hwnd pid caption class outer client client_origin caption_bar
//            sysmenu minimizebox maximizebox thickframe visible enabled dpi
//            owner defid active foreground
//   control  depth index hwnd class id text rect visible enabled tabstop
//            defpush style text_width (every descendant, in z-order;
//                                      text_width: of the text without "&"
//                                      in Tahoma 8 points at the window's dpi)
//   font     face                     (the face chosen for Tahoma)
//   item     id index text selected   (the items of a combo box)
//   focus    hwnd class id text inside
//   icon     present kind             (dialogs: the icon static)
//   buttons  ids default              (dialogs: the visible push buttons' ids,
//                                      and the one drawn as the default)
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

std::string Escaped(const std::wstring& text) {
    std::string out;
    for (char c : Utf8(text)) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Hex(unsigned long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx", value);
    return buffer;
}

std::string Handle(HWND window) { return Hex(reinterpret_cast<std::uintptr_t>(window)); }

std::string Rect(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right - rect.left) +
           "," + std::to_string(rect.bottom - rect.top);
}

// A line: the kind, then the fields, each already "key=value".
void Print(const char* kind, const std::vector<std::string>& fields) {
    std::string line = kind;
    for (const std::string& field : fields) line += "\t" + field;
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::string Flag(const char* key, bool value) { return std::string(key) + "=" + (value ? "1" : "0"); }

// Messages to the other process never wait longer than this: a program
// that does not answer makes the probe fail instead of hang.
constexpr UINT kAnswerMilliseconds = 3000;

std::optional<LRESULT> Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerMilliseconds,
                               &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

// The text through WM_GETTEXT, which the system carries across processes
// (GetWindowText would not ask a control of another process).
std::wstring TextOf(HWND window) {
    const std::optional<LRESULT> length = Ask(window, WM_GETTEXTLENGTH, 0, 0);
    if (!length || *length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(*length) + 1, L'\0');
    const std::optional<LRESULT> copied =
        Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied ? static_cast<std::size_t>(std::max<LRESULT>(*copied, 0)) : 0);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

UINT DpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
}

struct Selection {
    std::optional<std::wstring> caption;
    std::optional<std::wstring> windowClass;
    std::optional<std::wstring> owner;
    HWND excluded = nullptr;
};

bool Matches(HWND window, const Selection& selection) {
    if (!::IsWindowVisible(window) || window == selection.excluded) return false;
    if (selection.caption && TextOf(window) != *selection.caption) return false;
    if (selection.windowClass && ClassOf(window) != *selection.windowClass) return false;
    if (selection.owner) {
        const HWND owner = ::GetWindow(window, GW_OWNER);
        if (owner == nullptr || TextOf(owner) != *selection.owner) return false;
    }
    return true;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindWindowOnce(const Selection& selection) {
    for (HWND window : TopLevelWindows()) {
        if (Matches(window, selection)) return window;
    }
    return nullptr;
}

// Polls until the wanted state holds or the deadline passes.
template <typename Condition>
bool WaitFor(double seconds, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The standard icons a message box can show.
struct StandardIcon {
    const char* kind;
    LPCWSTR id;
};
const std::array kStandardIcons = {
    StandardIcon{"stop", IDI_HAND},          StandardIcon{"exclamation", IDI_EXCLAMATION},
    StandardIcon{"question", IDI_QUESTION},  StandardIcon{"information", IDI_ASTERISK},
    StandardIcon{"application", IDI_APPLICATION},
};

// 32-bit pixels of a device context's area, top row first.
std::vector<std::uint32_t> Pixels(HDC source, int x, int y, int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    const HDC memory = ::CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr) {
        const HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
        ::GdiFlush();
        const auto* begin = static_cast<const std::uint32_t*>(bits);
        std::copy(begin, begin + pixels.size(), pixels.begin());
        ::SelectObject(memory, old);
    }
    if (bitmap != nullptr) ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
}

// An icon of this process drawn on a plain background.
std::vector<std::uint32_t> Drawn(HICON icon, int size, COLORREF background) {
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, size, size);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    const HBRUSH brush = ::CreateSolidBrush(background);
    const RECT all{0, 0, size, size};
    ::FillRect(memory, &all, brush);
    ::DeleteObject(brush);
    ::DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    std::vector<std::uint32_t> pixels = Pixels(memory, 0, 0, size, size);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

// Which standard icon the icon control shows on the screen. The icon
// handle of another process cannot be read here, so the picture is
// compared: each standard icon of this process is drawn on black and on
// white, and its opaque pixels (the same on both) must all be found in
// the control at one offset near its corner.
std::string IconKind(HWND iconControl) {
    RECT rect{};
    ::GetWindowRect(iconControl, &rect);
    const int size = ::GetSystemMetrics(SM_CXICON);
    constexpr int kSlack = 4;  // a centred or framed icon
    const int width = std::max<int>(rect.right - rect.left, size) + 2 * kSlack;
    const int height = std::max<int>(rect.bottom - rect.top, size) + 2 * kSlack;
    const HDC screen = ::GetDC(nullptr);
    const std::vector<std::uint32_t> shown = Pixels(screen, rect.left - kSlack, rect.top - kSlack, width, height);
    ::ReleaseDC(nullptr, screen);
    for (const StandardIcon& candidate : kStandardIcons) {
        const HICON icon = ::LoadIconW(nullptr, candidate.id);
        if (icon == nullptr) continue;
        const std::vector<std::uint32_t> onBlack = Drawn(icon, size, RGB(0, 0, 0));
        const std::vector<std::uint32_t> onWhite = Drawn(icon, size, RGB(255, 255, 255));
        for (int dy = 0; dy + size <= height; ++dy) {
            for (int dx = 0; dx + size <= width; ++dx) {
                int opaque = 0;
                int equal = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        const std::size_t at = static_cast<std::size_t>(y) * size + x;
                        if (onBlack[at] != onWhite[at]) continue;
                        ++opaque;
                        if (shown[static_cast<std::size_t>(y + dy) * width + x + dx] == onBlack[at]) ++equal;
                    }
                }
                if (opaque > size * size / 8 && equal == opaque) return candidate.kind;
            }
        }
    }
    return "unknown";
}

// Tahoma of 8 points at dpi, as the window program asks for it, selected
// into a device context for measuring.
class TahomaMeasure {
public:
    explicit TahomaMeasure(UINT dpi)
        : dc_(::CreateCompatibleDC(nullptr)),
          font_(::CreateFontW(-::MulDiv(8, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, L"Tahoma")),
          old_(::SelectObject(dc_, font_)) {}
    TahomaMeasure(const TahomaMeasure&) = delete;
    TahomaMeasure& operator=(const TahomaMeasure&) = delete;
    ~TahomaMeasure() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(font_);
        ::DeleteDC(dc_);
    }
    int Width(std::wstring text) const {
        text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
        SIZE size{};
        ::GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    std::wstring Face() const {
        wchar_t face[LF_FACESIZE] = {};
        ::GetTextFaceW(dc_, LF_FACESIZE, face);
        return face;
    }

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_;
};

void PrintWindow(HWND window) {
    RECT outer{};
    ::GetWindowRect(window, &outer);
    RECT client{};
    ::GetClientRect(window, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    DWORD pid = 0;
    const DWORD thread = ::GetWindowThreadProcessId(window, &pid);
    const HWND owner = ::GetWindow(window, GW_OWNER);
    const std::wstring windowClass = ClassOf(window);
    std::string defid = "none";
    if (windowClass == L"#32770") {
        const std::optional<LRESULT> answer = Ask(window, DM_GETDEFID, 0, 0);
        if (answer && HIWORD(*answer) == DC_HASDEFID) defid = std::to_string(LOWORD(*answer));
    }
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const bool haveGui = ::GetGUIThreadInfo(thread, &gui) != FALSE;
    Print("window", {"hwnd=" + Handle(window), "pid=" + std::to_string(pid), "caption=" + Escaped(TextOf(window)),
                     "class=" + Escaped(windowClass), "outer=" + Rect(outer),
                     "client=" + std::to_string(client.right) + "," + std::to_string(client.bottom),
                     "client_origin=" + std::to_string(origin.x) + "," + std::to_string(origin.y),
                     Flag("caption_bar", (style & WS_CAPTION) == WS_CAPTION), Flag("sysmenu", style & WS_SYSMENU),
                     Flag("minimizebox", style & WS_MINIMIZEBOX), Flag("maximizebox", style & WS_MAXIMIZEBOX),
                     Flag("thickframe", style & WS_THICKFRAME), Flag("visible", ::IsWindowVisible(window)),
                     Flag("enabled", ::IsWindowEnabled(window)), "dpi=" + std::to_string(DpiOf(window)),
                     "owner=" + (owner != nullptr ? Escaped(TextOf(owner)) : std::string()), "defid=" + defid,
                     Flag("active", haveGui && gui.hwndActive == window),
                     Flag("foreground", ::GetForegroundWindow() == window)});

    // Every descendant, in z-order (the tab order of a dialog's controls).
    std::vector<int> buttonIds;
    int defaultButton = 0;
    HWND iconControl = nullptr;
    const UINT dpi = DpiOf(window);
    const TahomaMeasure tahoma(dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI);
    struct Walk {
        static void Children(HWND parent, HWND top, int depth, std::vector<int>& buttons, int& defaultId,
                             HWND& icon, const TahomaMeasure& measure) {
            int index = 0;
            for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
                 child = ::GetWindow(child, GW_HWNDNEXT), ++index) {
                const LONG_PTR childStyle = ::GetWindowLongPtrW(child, GWL_STYLE);
                const std::wstring childClass = ClassOf(child);
                RECT rect{};
                ::GetWindowRect(child, &rect);
                ::MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rect), 2);
                const int id = ::GetDlgCtrlID(child);
                const bool isButton = _wcsicmp(childClass.c_str(), L"Button") == 0;
                const LONG_PTR buttonType = childStyle & BS_TYPEMASK;
                const bool pushButton = isButton && (buttonType == BS_PUSHBUTTON || buttonType == BS_DEFPUSHBUTTON);
                const std::wstring text = TextOf(child);
                Print("control", {"depth=" + std::to_string(depth), "index=" + std::to_string(index),
                                  "hwnd=" + Handle(child), "class=" + Escaped(childClass), "id=" + std::to_string(id),
                                  "text=" + Escaped(text), "rect=" + Rect(rect),
                                  Flag("visible", ::IsWindowVisible(child)), Flag("enabled", ::IsWindowEnabled(child)),
                                  Flag("tabstop", childStyle & WS_TABSTOP),
                                  Flag("defpush", isButton && buttonType == BS_DEFPUSHBUTTON),
                                  "style=" + Hex(static_cast<unsigned long long>(childStyle) & 0xFFFFFFFF),
                                  "text_width=" + std::to_string(measure.Width(text))});
                if (_wcsicmp(childClass.c_str(), L"ComboBox") == 0) {
                    const LRESULT count = Ask(child, CB_GETCOUNT, 0, 0).value_or(CB_ERR);
                    const LRESULT selected = Ask(child, CB_GETCURSEL, 0, 0).value_or(CB_ERR);
                    for (LRESULT item = 0; item < count; ++item) {
                        const LRESULT length = Ask(child, CB_GETLBTEXTLEN, item, 0).value_or(CB_ERR);
                        std::wstring text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
                        const LRESULT copied =
                            Ask(child, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data())).value_or(CB_ERR);
                        text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
                        Print("item", {"id=" + std::to_string(id), "index=" + std::to_string(item),
                                       "text=" + Escaped(text), Flag("selected", item == selected)});
                    }
                }
                if (depth == 0 && pushButton && ::IsWindowVisible(child)) {
                    buttons.push_back(id);
                    if (buttonType == BS_DEFPUSHBUTTON) defaultId = id;
                }
                if (depth == 0 && _wcsicmp(childClass.c_str(), L"Static") == 0 &&
                    (childStyle & SS_TYPEMASK) == SS_ICON && icon == nullptr)
                    icon = child;
                Children(child, top, depth + 1, buttons, defaultId, icon, measure);
            }
        }
    };
    Walk::Children(window, window, 0, buttonIds, defaultButton, iconControl, tahoma);
    Print("font", {"face=" + Escaped(tahoma.Face())});

    if (haveGui) {
        const HWND focus = gui.hwndFocus;
        Print("focus", {"hwnd=" + Handle(focus), "class=" + (focus != nullptr ? Escaped(ClassOf(focus)) : std::string()),
                        "id=" + std::to_string(focus != nullptr ? ::GetDlgCtrlID(focus) : 0),
                        "text=" + (focus != nullptr ? Escaped(TextOf(focus)) : std::string()),
                        Flag("inside", focus != nullptr && (focus == window || ::IsChild(window, focus)))});
    }
    if (windowClass == L"#32770") {
        bool present = false;
        std::string kind = "none";
        if (iconControl != nullptr) {
            RECT rect{};
            ::GetWindowRect(iconControl, &rect);
            present = ::IsWindowVisible(iconControl) && rect.right > rect.left && rect.bottom > rect.top &&
                      Ask(iconControl, STM_GETICON, 0, 0).value_or(0) != 0;
            if (present) kind = IconKind(iconControl);
        }
        Print("icon", {Flag("present", present), "kind=" + kind});
        std::string ids;
        for (int id : buttonIds) ids += (ids.empty() ? "" : ",") + std::to_string(id);
        Print("buttons", {"ids=" + ids, "default=" + (defaultButton != 0 ? std::to_string(defaultButton) : "none")});
    }
}

void ListWindows() {
    for (HWND window : TopLevelWindows()) {
        if (!::IsWindowVisible(window)) continue;
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        const HWND owner = ::GetWindow(window, GW_OWNER);
        Print("toplevel", {"hwnd=" + Handle(window), "pid=" + std::to_string(pid), "caption=" + Escaped(TextOf(window)),
                           "class=" + Escaped(ClassOf(window)),
                           "owner=" + (owner != nullptr ? Escaped(TextOf(owner)) : std::string())});
    }
}

int Usage() {
    std::fputs("Aufruf: kosmara_window_probe [--caption TEXT] [--class NAME] [--owner TEXT] [--not HANDLE]\n"
               "                             [--timeout SEKUNDEN] show | resize BREITE HOEHE | close | gone | list\n"
               "                             | post-registered NAME\n",
               stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    Selection selection;
    double timeout = 10;
    int at = 1;
    for (; at + 1 < argc && std::wcsncmp(argv[at], L"--", 2) == 0; at += 2) {
        const std::wstring option = argv[at];
        const wchar_t* value = argv[at + 1];
        if (option == L"--caption") selection.caption = value;
        else if (option == L"--class") selection.windowClass = value;
        else if (option == L"--owner") selection.owner = value;
        else if (option == L"--not") selection.excluded = reinterpret_cast<HWND>(std::wcstoull(value, nullptr, 0));
        else if (option == L"--timeout") timeout = std::wcstod(value, nullptr);
        else return Usage();
    }
    if (at >= argc) return Usage();
    const std::wstring mode = argv[at];
    if (mode == L"list") {
        ListWindows();
        return 0;
    }
    if (!selection.caption && !selection.windowClass && !selection.owner) return Usage();
    if (mode == L"gone") {
        if (WaitFor(timeout, [&] { return FindWindowOnce(selection) == nullptr; })) return 0;
        std::fputs("kosmara_window_probe: das Fenster ist noch da\n", stderr);
        return 1;
    }
    HWND window = nullptr;
    if (!WaitFor(timeout, [&] { return (window = FindWindowOnce(selection)) != nullptr; })) {
        std::fputs("kosmara_window_probe: kein passendes Fenster gefunden\n", stderr);
        ListWindows();
        return 1;
    }
    if (mode == L"show") {
        PrintWindow(window);
    } else if (mode == L"resize" && at + 2 < argc) {
        const int width = static_cast<int>(std::wcstol(argv[at + 1], nullptr, 10));
        const int height = static_cast<int>(std::wcstol(argv[at + 2], nullptr, 10));
        ::SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        PrintWindow(window);
    } else if (mode == L"close") {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (mode == L"post-registered" && at + 1 < argc) {
        const UINT message = ::RegisterWindowMessageW(argv[at + 1]);
        if (message == 0 || !::PostMessageW(window, message, 0, 0)) {
            std::fputs("kosmara_window_probe: die Nachricht kann nicht gesendet werden\n", stderr);
            return 1;
        }
    } else {
        return Usage();
    }
    std::fflush(stdout);
    return 0;
}
