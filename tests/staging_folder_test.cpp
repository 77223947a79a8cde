// The export staging folder as a busy or hostile user meets it: files an
// earlier export left there, a second export at the same moment, tables the
// legacy program holds open or made read-only, a folder planted by someone
// else, and a VirtualStore copy registered under another spelling.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/error.h"
#include "databases/discovery.h"
#include "databases/export_job.h"
#include "engine/engine_error.h"
#include "export_world.h"
#include "platform/file_system.h"

namespace kosmara {
namespace {

// What one export gave: the AAF file's bytes, or the message it failed with.
using Outcome = std::variant<std::string, std::u16string>;

Outcome ExportOutcome(ExportWorld& world, const std::u16string& table, const std::u16string& output) {
    std::filesystem::remove(DriveTree::Native(output));
    world.ui.output = output;
    try {
        world.Export(table, true);
        return ReadFileBytes(DriveTree::Native(output));
    } catch (const Error& error) {
        return error.message();
    }
}

std::string Describe(const Outcome& outcome) {
    if (const std::string* bytes = std::get_if<std::string>(&outcome)) return "AAF-Datei, " + std::to_string(bytes->size()) + " Bytes";
    return "Fehler: " + ToUtf8(std::get<std::u16string>(outcome));
}

// A database whose table lies in folder, with its VirtualStore copy holding
// the given names; memoExtension: how the copy's memo file is spelled, ""
// for none at all.
void WriteXpDatabase(ExportWorld& world, const std::u16string& folder, const std::vector<std::string>& names,
                     const std::string& memoExtension = ".MB") {
    // The table folder holds the old table without memo file; the copy is
    // what the merge must read.
    WriteHoroscopes(folder, "Horoskop", {"Alt"});
    std::filesystem::remove(DriveTree::Native(folder + kPathSeparator + u"Horoskop.MB"));
    const std::u16string store = world.tree.StorePath(folder);
    WriteHoroscopes(store, "Horoskop", names);
    const auto memo = DriveTree::Native(store + kPathSeparator + u"Horoskop.MB");
    if (memoExtension.empty()) {
        std::filesystem::remove(memo);
    } else if (memoExtension != ".MB") {
        std::filesystem::rename(memo, DriveTree::Native(store + kPathSeparator + u"Horoskop" + FromUtf8(memoExtension)));
    }
}

// An XP-mode export after another database's gives what it gives alone:
// the other's memo file, left in the staging folder under another letter
// case, or where this database has none at all, is never read.
TEST(StagingFolder, AnEarlierExportsFilesAreNeverRead) {
    const struct {
        const char* name;
        std::string memoExtension;
    } cases[] = {
        {"memo file spelled in lower case", ".mb"},
        {"no memo file", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExportWorld world;
        const std::u16string first = world.tree.Path(u"Erste");
        const std::u16string second = world.tree.Path(u"Zweite");
        WriteXpDatabase(world, first, {"Erste Eins", "Erste Zwei"});
        WriteXpDatabase(world, second, {"Zweite Eins"}, c.memoExtension);
        const std::u16string table = second + kPathSeparator + u"Horoskop.DB";
        const std::u16string output = world.tree.Path(u"zweite.aaf");

        const Outcome alone = ExportOutcome(world, table, output);
        ASSERT_TRUE(std::holds_alternative<std::string>(
            ExportOutcome(world, first + kPathSeparator + u"Horoskop.DB", world.tree.Path(u"erste.aaf"))));
        const Outcome after = ExportOutcome(world, table, output);
        EXPECT_EQ(after, alone) << Describe(after) << " / " << Describe(alone);
        world.ExpectClosed();
    }
}

// One export at a time holds the staging folder: a second one waits,
// tells the user so, and after its time gives up with a message naming the
// folder, before it copies or writes anything.
TEST(StagingFolder, ASecondExportWaitsForTheFirstAndGivesUpNamingTheFolder) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteXpDatabase(world, folder, {"Neu"});
    const std::u16string table = folder + kPathSeparator + u"Horoskop.DB";
    world.ui.output = world.tree.Path(u"x.aaf");
    world.stagingWait = std::chrono::milliseconds(300);
    CreatePrivateFolder(world.Staging());
    {
        const std::optional<FolderLock> other =
            FolderLock::Acquire(world.Staging(), kStagingLockName, std::chrono::milliseconds(0), {});
        ASSERT_TRUE(other.has_value());
        EXPECT_ERROR_MESSAGE(world.Export(table, true), FillMessage(kStagingFolderBusy, {world.Staging()}));
        EXPECT_EQ(world.ui.waits, std::vector<std::u16string>{world.Staging()});
        // Told once, and called on while it waits, so a window can answer.
        EXPECT_GE(world.ui.stillWaiting, 1);
        EXPECT_EQ(SnapshotOf(DriveTree::Native(world.Staging())), (Snapshot{{"kosmara-sperre", ""}}));
        EXPECT_FALSE(std::filesystem::exists(DriveTree::Native(world.ui.output.value())));
        EXPECT_EQ(world.session.networkControlFolder(), u"");  // the engine was not reached
    }
    // Released: the export goes through without waiting.
    world.ui.waits.clear();
    world.ui.stillWaiting = 0;
    EXPECT_EQ(world.Export(table, true), 1);
    EXPECT_TRUE(world.ui.waits.empty());
    EXPECT_EQ(world.ui.stillWaiting, 0);
    world.ExpectClosed();
}

#ifndef _WIN32
// Two processes export two databases in XP mode at the same moment, round
// after round, through one staging folder: every output holds its own
// database's horoscopes.
TEST(StagingFolder, RacingExportsNeverMixTheirDatabases) {
    ExportWorld world;
    const std::u16string folders[] = {world.tree.Path(u"Erste"), world.tree.Path(u"Zweite")};
    // Some hundred records: the copies take long enough for the exports to
    // meet between one's merge and its engine opening the table.
    std::vector<std::string> firstNames, secondNames;
    for (int i = 0; i < 300; ++i) {
        firstNames.push_back("Erste " + std::to_string(i));
        secondNames.push_back("Zweite " + std::to_string(i));
    }
    secondNames.resize(200);
    WriteXpDatabase(world, folders[0], firstNames);
    WriteXpDatabase(world, folders[1], secondNames);
    std::string expected[2];
    for (int i = 0; i < 2; ++i) {
        const Outcome alone = ExportOutcome(world, folders[i] + u"/Horoskop.DB", world.tree.Path(u"allein.aaf"));
        ASSERT_TRUE(std::holds_alternative<std::string>(alone)) << Describe(alone);
        expected[i] = std::get<std::string>(alone);
    }
    constexpr int kRounds = 40;
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = ::fork();
        ASSERT_NE(children[i], -1);
        if (children[i] != 0) continue;
        // 0: every round gave its own bytes; 1: another's or none.
        int status = 0;
        const std::u16string output = world.tree.Path(i == 0 ? u"erste.aaf" : u"zweite.aaf");
        for (int round = 0; round < kRounds && status == 0; ++round) {
            const Outcome outcome = ExportOutcome(world, folders[i] + u"/Horoskop.DB", output);
            if (outcome != Outcome(expected[i])) status = 1;
        }
        ::_exit(status);
    }
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a round gave another database's horoscopes";
    }
}
#endif

// The copies work as a real Windows lets them: a VirtualStore table made
// read-only copies every time (a read-only copy used to stop the next
// merge), and on Windows one the legacy program holds open for writing
// copies too (CopyFileW refuses it).
TEST(StagingFolder, CopiesReadOnlyTablesAndTablesHeldOpenForWriting) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteXpDatabase(world, folder, {"Neu", "Neuer"});
    const std::u16string store = world.tree.StorePath(folder);
    const auto storeTable = DriveTree::Native(store + kPathSeparator + u"Horoskop.DB");
    std::filesystem::permissions(storeTable, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                                 std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    const std::u16string table = folder + kPathSeparator + u"Horoskop.DB";
    world.ui.output = world.tree.Path(u"x.aaf");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(world.Export(table, true), 2);
        EXPECT_EQ(AafNames(DriveTree::Native(world.tree.Path(u"x.aaf"))), "Neu;Neuer;");
    }
#ifdef _WIN32
    std::filesystem::permissions(storeTable, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    // The legacy program, still running, has its table open for writing.
    std::vector<HANDLE> held;
    for (const char16_t* name : {u"\\Horoskop.DB", u"\\Horoskop.MB"}) {
        const std::u16string path = store + name;
        held.push_back(::CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(world.Export(table, true), 2);
    EXPECT_EQ(AafNames(DriveTree::Native(world.tree.Path(u"x.aaf"))), "Neu;Neuer;");
    for (const HANDLE handle : held) ::CloseHandle(handle);
#endif
    world.ExpectClosed();
}

#ifndef _WIN32
// On a shared /tmp the staging folder is the user's alone: made 0700 (an
// older one of the user's own is closed up), and a link or a folder of
// another user planted under its name is refused, not used.
TEST(StagingFolder, IsTheUsersOwnAndAPlantedOneIsRefused) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteXpDatabase(world, folder, {"Neu"});
    const std::u16string table = folder + kPathSeparator + u"Horoskop.DB";
    world.ui.output = world.tree.Path(u"x.aaf");
    const auto staging = DriveTree::Native(world.Staging()).parent_path();
    const auto modeOf = [](const std::filesystem::path& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0);
        return info.st_mode & 07777;
    };

    std::filesystem::create_directories(staging);
    ASSERT_EQ(::chmod(staging.c_str(), 0755), 0);
    EXPECT_EQ(world.Export(table, true), 1);
    EXPECT_EQ(modeOf(staging), 0700u);

    // A link planted where the folder would be: its target stays untouched.
    std::filesystem::remove_all(staging);
    const auto elsewhere = DriveTree::Native(world.tree.Path(u"Woanders"));
    std::filesystem::create_directories(elsewhere);
    std::filesystem::create_directory_symlink(elsewhere, staging);
    const std::u16string refused = FillMessage(kFolderNotPrivate, {world.Staging()});
    EXPECT_ERROR_MESSAGE(world.Export(table, true), refused);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));

    // A folder of another user (only root can make one here).
    if (::geteuid() == 0) {
        std::filesystem::remove(staging);
        std::filesystem::create_directories(staging);
        ASSERT_EQ(::chown(staging.c_str(), 65534, 65534), 0);
        EXPECT_ERROR_MESSAGE(world.Export(table, true), refused);
        EXPECT_TRUE(std::filesystem::is_empty(staging));
    }
    world.ExpectClosed();
}
#endif

// A database kept in the staging folder itself, or whose VirtualStore copy
// is that folder, is never changed: no lock file, no clearing, no copies.
TEST(StagingFolder, ADatabaseKeptThereIsNeverTouched) {
    for (const bool store : {false, true}) {
        SCOPED_TRACE(store ? "the VirtualStore folder is the staging folder" : "the table folder is the staging folder");
        ExportWorld world;
        const std::u16string folder = world.tree.Path(u"Kosmara 3.5 Export");
        WriteXpDatabase(world, folder, {"Neu"});
        DriveTree::CreateFile(world.tree.StorePath(folder) + kPathSeparator + u"Horoskop.PX", "Index");
        const std::u16string kept = store ? world.tree.StorePath(folder) : folder;
        world.system.temporaryFolder = WithClosingSeparator(FolderOfPath(kept));
        const Snapshot before = SnapshotOf(DriveTree::Native(kept));
        world.ui.output = world.tree.Path(u"x.aaf");
        EXPECT_ERROR_MESSAGE(world.Export(folder + kPathSeparator + u"Horoskop.DB", true),
                             FillMessage(kStagingFolderIsTableFolder, {world.system.temporaryFolder + kStagingFolderName +
                                                                       kPathSeparator}));
        EXPECT_EQ(SnapshotOf(DriveTree::Native(kept)), before);
        world.ExpectClosed();
    }
}

// A path registered with an 8.3 short name or through a junction still finds
// the VirtualStore copy that Windows made under the folder's long, final
// name: the row is an XP-mode row and the export reads the copy, not the
// old data.
TEST(StagingFolder, ShortNamesFindTheirCopy) {
    ExportWorld world;
    const std::u16string registered = world.tree.Path(u"PROGRA~2/K");
    const std::u16string final = world.tree.Path(u"Program Files (x86)/K");
    WriteHoroscopes(registered, "Horoskop", {"Alt"});
    WriteHoroscopes(world.tree.StorePath(final), "Horoskop", {"Neu"});
    const std::u16string table = registered + kPathSeparator + u"Horoskop.DB";
    world.system.finalPaths[registered] = final;
    world.system.finalPaths[table] = final + kPathSeparator + u"Horoskop.DB";

    std::u16string mapped;
    EXPECT_TRUE(MapToVirtualStore(world.system, registered, mapped));
    EXPECT_EQ(mapped, world.tree.StorePath(final));

    world.system.Add(u"Horoskope", table);
    DatabaseRows rows;
    ASSERT_TRUE(DiscoverDatabases(world.system, rows));
    ASSERT_EQ(rows.items.size(), 2u);  // the table itself, and its copy
    EXPECT_EQ(rows.items[1], kXpModePrefix + table);

    world.ui.output = world.tree.Path(u"x.aaf");
    EXPECT_EQ(world.Export(table, true), 1);
    EXPECT_EQ(AafNames(DriveTree::Native(world.tree.Path(u"x.aaf"))), "Neu;");
}

}  // namespace
}  // namespace kosmara
