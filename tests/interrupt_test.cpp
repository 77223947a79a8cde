// The command line ended part-way through a large export, as a user's Ctrl-C,
// a closed terminal, a "kill" or a crash ends it: the file that was there
// stays byte for byte, and no temporary file is left, except after SIGKILL,
// which no program can clean up after.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "paradox_builder.h"
#include "temp_folder.h"

extern char** environ;

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

TEST(Interrupt, AnExportEndedPartWayLeavesTheOldFileWhole) {
    TempFolder folder;
    const auto tables = folder / "Daten";
    const auto outputs = folder / "Ausgabe";
    std::filesystem::create_directories(tables);
    std::filesystem::create_directories(outputs);
    // Large enough that the export takes a good part of a second.
    auto builder = testing::HoroscopeTableBuilder();
    testing::HoroscopeRecord record;
    record.comment = "Ein Kommentar, der in der Memo-Datei steht: " + std::string(300, '.');
    for (int i = 0; i < 150000; ++i) {
        record.id = std::to_string(i + 1);
        builder.AddRecord(record.Cells());
    }
    const auto table = testing::WriteTable(builder.Build(), tables, "Horoskop");
    const auto output = outputs / "Horoskop.aaf";
    const std::string old = "eine ältere AAF-Datei, die ganz bleiben muss\r\n";

    const struct {
        int signal;
        std::uintmax_t after;  // bytes in the temporary file before the signal
    } cases[] = {
        {SIGINT, 0}, {SIGINT, 4u << 20}, {SIGTERM, 4u << 20}, {SIGHUP, 4u << 20}, {SIGKILL, 4u << 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + " after " + std::to_string(c.after) + " bytes");
        for (const auto& stray : TemporaryFilesIn(outputs)) std::filesystem::remove(stray);
        WriteFileBytes(output, old);

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
        bool reached = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!reached && std::chrono::steady_clock::now() < deadline) {
            std::error_code error;
            for (const auto& file : TemporaryFilesIn(outputs)) {
                const std::uintmax_t size = std::filesystem::file_size(file, error);
                if (!error && size >= c.after) reached = true;
            }
            if (!reached) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_TRUE(reached) << "the export ended before the point";
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

}  // namespace
}  // namespace kosmara

#endif
