// kosmara2aaf.exe in a real console window (Wine's console, on an X display
// and a desktop of its own, see gui/gui_test_main.cpp): run as a child
// sharing this program's console, it leaves the console's output code page
// as it found it, and its German text, on standard output and standard
// error, stands on the screen as written, even characters the console's
// code page lacks. The password question reads from that console without
// echo.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "paradox_builder.h"
#include "platform/win_handles.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

using testing::HoroscopeRecord;
using testing::HoroscopeTableBuilder;
using testing::TempFolder;
using testing::WriteTable;

std::string Narrow(const std::wstring& text) {
    std::string bytes(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                                     nullptr, 0, nullptr, nullptr)),
                      '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, nullptr);
    return bytes;
}

// This process's own console, made for the test: the program's standard
// handles are this console's input and screen buffer.
class ConsoleWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Should it fail, SetUp finds no screen.
        ::FreeConsole();
        ::AllocConsole();
        SECURITY_ATTRIBUTES inherited{sizeof(inherited), nullptr, TRUE};
        screen_ = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, OPEN_EXISTING, 0, nullptr);
        input_ = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               OPEN_EXISTING, 0, nullptr);
    }
    static void TearDownTestSuite() {
        ::CloseHandle(screen_);
        ::CloseHandle(input_);
        // Wine's console window outlives its last process: closed here, so
        // it does not stay on the display until that ends.
        const HWND window = ::GetConsoleWindow();
        ::FreeConsole();
        DWORD host = 0;
        if (window == nullptr || ::GetWindowThreadProcessId(window, &host) == 0) return;
        const KernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, host));
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        if (process) ::WaitForSingleObject(process.get(), 10000);
    }

    void SetUp() override {
        // An empty screen, the cursor at its top. Wine's console has a
        // screen only where it could open its window.
        CONSOLE_SCREEN_BUFFER_INFO info{};
        ASSERT_TRUE(::GetConsoleScreenBufferInfo(screen_, &info)) << "no console screen: error " << ::GetLastError();
        DWORD filled = 0;
        ::FillConsoleOutputCharacterW(screen_, L' ', info.dwSize.X * info.dwSize.Y, COORD{0, 0}, &filled);
        ::SetConsoleCursorPosition(screen_, COORD{0, 0});
        ::FlushConsoleInputBuffer(input_);
    }

    // Runs the program with arguments in this console; its exit code.
    static DWORD Run(const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + std::filesystem::path(KOSMARA2AAF_PROGRAM).wstring() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input_;
        startup.hStdOutput = screen_;
        startup.hStdError = screen_;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &started)) {
            ADD_FAILURE() << "CreateProcessW: error " << ::GetLastError();
            return ~0u;
        }
        const KernelHandle process(started.hProcess);
        const KernelHandle thread(started.hThread);
        EXPECT_EQ(::WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0);
        DWORD code = ~0u;
        ::GetExitCodeProcess(process.get(), &code);
        return code;
    }

    // What the screen shows, row after row as one text (a line longer than
    // a row goes on in the next, as it does on the screen).
    static std::wstring Screen() {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!::GetConsoleScreenBufferInfo(screen_, &info)) return {};
        std::wstring screen(static_cast<std::size_t>(info.dwSize.X * info.dwSize.Y), L' ');
        DWORD got = 0;
        ::ReadConsoleOutputCharacterW(screen_, screen.data(), static_cast<DWORD>(screen.size()), COORD{0, 0}, &got);
        screen.resize(got);
        return screen;
    }

    // The screen for a failure message: its rows, without trailing blanks.
    static std::string Rows(const std::wstring& screen) {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        ::GetConsoleScreenBufferInfo(screen_, &info);
        const std::size_t width = static_cast<std::size_t>(std::max<SHORT>(info.dwSize.X, 1));
        std::wstring rows;
        for (std::size_t at = 0; at < screen.size(); at += width) {
            const std::wstring row = screen.substr(at, width);
            const std::size_t end = row.find_last_not_of(L' ');
            if (end != std::wstring::npos) rows += row.substr(0, end + 1) + L'\n';
        }
        return Narrow(rows);
    }

    // Key presses of text, waiting in the console's input before the program reads.
    static void Type(std::wstring_view text) {
        std::vector<INPUT_RECORD> keys;
        for (const wchar_t c : text) {
            for (const BOOL down : {TRUE, FALSE}) {
                INPUT_RECORD key{};
                key.EventType = KEY_EVENT;
                key.Event.KeyEvent.bKeyDown = down;
                key.Event.KeyEvent.wRepeatCount = 1;
                key.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : 0;
                key.Event.KeyEvent.uChar.UnicodeChar = c;
                keys.push_back(key);
            }
        }
        DWORD written = 0;
        ASSERT_TRUE(::WriteConsoleInputW(input_, keys.data(), static_cast<DWORD>(keys.size()), &written));
        ASSERT_EQ(written, keys.size());
    }

    static inline HANDLE screen_ = INVALID_HANDLE_VALUE;
    static inline HANDLE input_ = INVALID_HANDLE_VALUE;
};

// Standard output (the help) and standard error (a wrong call naming an
// argument with "€", which code page 437 or 850 cannot show).
TEST_F(ConsoleWindowTest, ShowsGermanTextAndLeavesTheCodePage) {
    const struct {
        const wchar_t* arguments;
        DWORD exitCode;
        const wchar_t* shown;
    } cases[] = {
        {L"--help", 0, L"Rückgabewerte: 0 Erfolg, 1 Fehler, 2 falscher Aufruf."},
        {L"Übernahme-€", 2, L"Unbekannter Befehl \"Übernahme-€\"."},
    };
    for (const auto& c : cases) {
        SetUp();
        if (HasFatalFailure()) return;
        const UINT before = ::GetConsoleOutputCP();
        ASSERT_NE(before, 0u);
        ASSERT_NE(before, static_cast<UINT>(CP_UTF8)) << "the test needs a console that is not yet UTF-8";
        EXPECT_EQ(Run(c.arguments), c.exitCode) << Narrow(c.arguments);
        EXPECT_EQ(::GetConsoleOutputCP(), before) << Narrow(c.arguments);
        const std::wstring screen = Screen();
        EXPECT_NE(screen.find(c.shown), std::wstring::npos) << Rows(screen);
    }
}

TEST_F(ConsoleWindowTest, AsksForThePasswordInTheConsole) {
    TempFolder folder;
    const std::filesystem::path table =
        WriteTable(HoroscopeTableBuilder().Encrypt("geheim").AddRecord(HoroscopeRecord{}.Cells()).Build(),
                   folder.path(), "Geheim");
    const std::filesystem::path output = folder / "Geheim.aaf";
    const UINT before = ::GetConsoleOutputCP();
    Type(L"geheim\r");
    EXPECT_EQ(Run(L"export \"" + table.wstring() + L"\" \"" + output.wstring() + L"\""), 0u);
    EXPECT_EQ(::GetConsoleOutputCP(), before);
    const std::wstring screen = Screen();
    EXPECT_NE(screen.find(L"Kennwort für \"" + table.wstring() + L"\" (leer: abbrechen):"), std::wstring::npos)
        << Rows(screen);
    EXPECT_NE(screen.find(L"1 Horoskop gespeichert"), std::wstring::npos) << Rows(screen);
    EXPECT_EQ(screen.find(L"geheim"), std::wstring::npos) << "the typed password was shown:\n" << Rows(screen);
    EXPECT_TRUE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace kosmara
