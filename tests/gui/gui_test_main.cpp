// The dialog tests show real windows. The program starts itself once more
// on a desktop of its own and runs the tests there, passing the exit code
// on; COM is initialised by each test that needs it, as the program does
// once at its start.
//
// Why a desktop of its own, from the start: under Wine each desktop has a
// desktop process, started on the display of the program that first needs
// it, and a program settles on its display driver from the desktop it starts
// on, already while its libraries load (the common controls do). The default
// desktop is shared with every other Wine program of the test run; its
// desktop process may have been started without any display (by a console
// test) or on the display of a test that has ended, and a program that
// starts meanwhile can make no window at all. A desktop of our own gets its
// desktop process on our display, and its own foreground and focus, so tests
// running side by side do not take each other's focus either.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win_handles.h"

namespace {

constexpr wchar_t kDesktopVariable[] = L"KOSMARA_TEST_DESKTOP";

struct DesktopTraits {
    using Value = HDESK;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { ::CloseDesktop(value); }
};

int Fail(const char* what) {
    std::fprintf(stderr, "%s failed, error %lu\n", what, ::GetLastError());
    return 1;
}

// Starts this program again, with the same command line and standard
// handles, on a new desktop; returns its exit code.
int RunOnOwnDesktop() {
    std::wstring name = L"kosmara-test-" + std::to_wstring(::GetCurrentProcessId());
    const kosmara::UniqueHandle<DesktopTraits> desktop(
        ::CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    if (!desktop) return Fail("CreateDesktopW");
    if (!::SetEnvironmentVariableW(kDesktopVariable, name.c_str())) return Fail("SetEnvironmentVariableW");

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.lpDesktop = name.data();
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = ::GetCommandLineW();
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &started)) {
        return Fail("CreateProcessW");
    }
    const kosmara::KernelHandle process(started.hProcess);
    const kosmara::KernelHandle thread(started.hThread);
    DWORD exitCode = 1;
    if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.get(), &exitCode)) {
        return Fail("waiting for the tests");
    }
    return static_cast<int>(exitCode);
}

// The name of the desktop this thread works on.
std::wstring ThreadDesktopName() {
    wchar_t name[256] = {};
    DWORD needed = 0;
    ::GetUserObjectInformationW(::GetThreadDesktop(::GetCurrentThreadId()), UOI_NAME, name, sizeof(name), &needed);
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t wanted[256] = {};
    if (::GetEnvironmentVariableW(kDesktopVariable, wanted, 256) == 0) return RunOnOwnDesktop();
    if (ThreadDesktopName() != wanted) {
        std::fprintf(stderr, "the tests are not on their own desktop \"%ls\" but on \"%ls\"\n", wanted,
                     ThreadDesktopName().c_str());
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
