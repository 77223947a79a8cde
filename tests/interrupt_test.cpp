// The command line ended part-way through a large export, as a user's Ctrl-C,
// a closed terminal, a "kill" or a crash ends it: the file that was there
// stays byte for byte, and no temporary file is left, except after SIGKILL,
// which no program can clean up after.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include "paradox_builder.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteFileBytes;

// The temporary files an export writes beside its destination.
std::vector<std::filesystem::path> TemporaryFilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("~kosmara")) found.push_back(entry.path());
    }
    return found;
}

// A large table and an old AAF file in folders of their own.
struct LargeExport {
    TempFolder folder;
    std::filesystem::path table;
    std::filesystem::path outputs = folder / "Ausgabe";
    std::filesystem::path output = outputs / "Horoskop.aaf";
    std::string old = "eine ältere AAF-Datei, die ganz bleiben muss\r\n";

    LargeExport() {
        std::filesystem::create_directories(folder / "Daten");
        std::filesystem::create_directories(outputs);
        // Large enough that the export takes a good part of a second.
        auto builder = testing::HoroscopeTableBuilder();
        testing::HoroscopeRecord record;
        record.comment = "Ein Kommentar, der in der Memo-Datei steht: " + std::string(300, '.');
        for (int i = 0; i < 150000; ++i) {
            record.id = std::to_string(i + 1);
            builder.AddRecord(record.Cells());
        }
        table = testing::WriteTable(builder.Build(), folder / "Daten", "Horoskop");
    }
    void Reset() const {
        for (const auto& stray : TemporaryFilesIn(outputs)) std::filesystem::remove(stray);
        WriteFileBytes(output, old);
    }
    // Whether the temporary file has reached after bytes (waiting for it).
    bool Reached(std::uintmax_t after) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code error;
            for (const auto& file : TemporaryFilesIn(outputs)) {
                const std::uintmax_t size = std::filesystem::file_size(file, error);
                if (!error && size >= after) return true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return false;
    }
};

#ifdef _WIN32
// Ctrl-Break sent to the program's process group, and the program
// terminated as the task manager ends it: the old file stays whole; after
// Ctrl-Break no temporary file stays, after termination at most one.
TEST(Interrupt, AnExportEndedPartWayLeavesTheOldFileWhole) {
    const LargeExport work;
    for (const bool terminate : {false, true}) {
        SCOPED_TRACE(terminate ? "TerminateProcess" : "Ctrl-Break");
        work.Reset();
        std::wstring commandLine = L"kosmara2aaf.exe export \"" + work.table.wstring() + L"\" \"" +
                                   work.output.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        const std::u16string program = u"" KOSMARA2AAF_PROGRAM;
        ASSERT_TRUE(::CreateProcessW(reinterpret_cast<const wchar_t*>(program.c_str()), commandLine.data(), nullptr,
                                     nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process));
        ASSERT_TRUE(work.Reached(4u << 20)) << "the export ended before the point";
        bool ended = false;
        if (!terminate && ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId)) {
            ended = ::WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
        }
        if (!terminate && !ended) {
            // Ctrl-Break travels through a console the two share; a test run
            // without one (Wine under ctest) terminates the program instead.
            std::cout << "Ctrl-Break could not be delivered (no console); terminated instead\n";
        }
        if (!ended) {
            ::TerminateProcess(process.hProcess, 1);
            ::WaitForSingleObject(process.hProcess, INFINITE);
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        EXPECT_NE(code, 0u);
        EXPECT_EQ(ReadFileBytes(work.output), work.old);
        if (ended) {
            EXPECT_TRUE(TemporaryFilesIn(work.outputs).empty());
        } else {
            EXPECT_LE(TemporaryFilesIn(work.outputs).size(), 1u);
        }
    }
}
#else
TEST(Interrupt, AnExportEndedPartWayLeavesTheOldFileWhole) {
    const LargeExport work;
    const auto& table = work.table;
    const auto& output = work.output;
    const auto& outputs = work.outputs;
    const std::string& old = work.old;
    const struct {
        int signal;
        std::uintmax_t after;  // bytes in the temporary file before the signal
    } cases[] = {
        {SIGINT, 0}, {SIGINT, 4u << 20}, {SIGTERM, 4u << 20}, {SIGHUP, 4u << 20}, {SIGKILL, 4u << 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + " after " + std::to_string(c.after) + " bytes");
        work.Reset();

        const std::string program = KOSMARA2AAF_PROGRAM;
        std::vector<std::string> arguments = {program, "export", table.string(), output.string()};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = -1;
        ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);

        // Wait for the temporary file to reach the point, then end the program.
        ASSERT_TRUE(work.Reached(c.after)) << "the export ended before the point";
        ASSERT_EQ(::kill(child, c.signal), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), c.signal);  // ended as the signal ends a program
            EXPECT_EQ(ReadFileBytes(output), old);
        } else {
            // Only possible when the signal came after the file was put in
            // place: then the file is the whole new one.
            ADD_FAILURE() << "the export finished before the signal; exit code " << WEXITSTATUS(status);
        }
        if (c.signal == SIGKILL) {
            EXPECT_LE(TemporaryFilesIn(outputs).size(), 1u);
        } else {
            EXPECT_TRUE(TemporaryFilesIn(outputs).empty());
        }
        EXPECT_TRUE(std::filesystem::exists(table));
    }
}

#endif

}  // namespace
}  // namespace kosmara
