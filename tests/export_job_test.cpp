// The export job end to end on real folders: the output question, the data
// folder, the XP-mode merge into the staging folder, the engine objects and
// the writer, every failure in its order of effects, and the folders of the
// database left exactly as they were.
#include "databases/export_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#endif
#include <string>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "drive_tree.h"
#include "engine/engine_error.h"
#include "export/aaf_writer.h"
#include "fake_system.h"
#include "paradox_builder.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "temp_folder.h"
#include "export_world.h"
#include "test_support.h"

namespace kosmara {
namespace {


TEST(ExportJobTest, TheRecordCheckInTheWalkLeavesTheFileAsItIs) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteHoroscopes(folder, "Horoskop", {"Anna", "", "Bernd"});
    const std::u16string table = folder + kPathSeparator + u"Horoskop.DB";
    const std::u16string plain = world.tree.Path(u"Ohne.aaf");
    const std::u16string checked = world.tree.Path(u"Mit.aaf");

    world.ui.output = plain;
    EXPECT_EQ(world.Export(table, false), 3);
    world.ui.output = checked;
    std::vector<RecordFinding> findings;
    EXPECT_EQ(world.ExportChecked(table, false, findings), 3);
    world.ExpectClosed();

    EXPECT_EQ(ReadFileBytes(DriveTree::Native(checked)), ReadFileBytes(DriveTree::Native(plain)));
    const std::vector<RecordFinding> expected = {{2, kNameField, u"", u"Name leer"}};
    EXPECT_EQ(findings, expected);
}

TEST(ExportJobTest, NormalModeReadsTheTableFolderItself) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteHoroscopes(folder, "Horoskop", {"Anna", "Bernd"});
    const Snapshot before = SnapshotOf(DriveTree::Native(folder));
    const std::u16string output = world.tree.Path(u"Ausgabe.aaf");
    world.ui.output = output;

    for (const bool xpMode : {false, true}) {  // XP mode without a VirtualStore copy is normal mode
        SCOPED_TRACE(xpMode);
        world.ui.messages.clear();
        EXPECT_EQ(world.Export(folder + kPathSeparator + u"Horoskop.DB", xpMode), 2);
        EXPECT_EQ(world.ui.messages, std::vector<std::u16string>{u"2 Horoskope gespeichert"});
        EXPECT_EQ(AafNames(DriveTree::Native(output)), "Anna;Bernd;");
        EXPECT_EQ(world.db1.Param(u"PATH"), folder);  // no closing separator
        EXPECT_EQ(world.session.networkControlFolder(), world.tree.TemporaryFolder());
        EXPECT_EQ(world.tbl1.tableName(), u"Horoskop.DB");
        world.ExpectClosed();
        EXPECT_FALSE(std::filesystem::exists(DriveTree::Native(world.Staging())));
    }
    EXPECT_EQ(world.ui.proposals.front(), folder + kPathSeparator + u"Horoskop.aaf");
    EXPECT_EQ(SnapshotOf(DriveTree::Native(folder)), before);
}

// Where the proposed output goes: beside the table where its folder takes
// a new file, else in the first of the documents and home folders that
// takes one, else beside the table again. A folder that takes one is asked
// no further.
TEST(ExportJobTest, TheProposalLeavesAFolderThatTakesNoFile) {
    ExportWorld world;
    const std::u16string table = world.tree.Path(u"Programme/Astro");
    const std::u16string documents = world.tree.Path(u"Dokumente");
    const std::u16string home = world.tree.Path(u"Heim");
    const std::u16string missing = world.tree.Path(u"Fehlt");
    for (const std::u16string& folder : {table, documents, home}) DriveTree::CreateFolder(folder);
    WriteHoroscopes(table, "Horoskop", {"Anna"});
    const Snapshot before = SnapshotOf(DriveTree::Native(table));
    const struct {
        const char* what;
        std::vector<std::u16string> refusing;
        std::optional<std::u16string> documents;
        std::optional<std::u16string> home;
        std::u16string expected;  // folder
        std::vector<std::u16string> probed;
    } cases[] = {
        {"the table's folder takes it", {}, documents, home, table, {table}},
        {"into the documents folder", {table}, documents, home, documents, {table, documents}},
        {"documents unknown: home", {table}, std::nullopt, home, home, {table, home}},
        {"documents refuses: home", {table, documents}, documents, home, home, {table, documents, home}},
        {"documents missing: home", {table}, missing, home, home, {table, missing, home}},
        {"nothing known: beside the table", {table}, std::nullopt, std::nullopt, table, {table}},
        {"nothing takes it: beside the table", {table, documents, home}, documents, home, table,
         {table, documents, home}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        world.system.refusing = c.refusing;
        world.system.documents = c.documents;
        world.system.home = c.home;
        world.system.probed.clear();
        EXPECT_EQ(ProposedOutputFile(world.system, table + kPathSeparator + u"Horoskop.DB"),
                  c.expected + kPathSeparator + u"Horoskop.aaf");
        EXPECT_EQ(world.system.probed, c.probed);
    }
    // The real probes left nothing in the table's folder.
    EXPECT_EQ(SnapshotOf(DriveTree::Native(table)), before);
}

// An XP-mode export whose table's folder takes no file (a program folder an
// unelevated user cannot write): proposed in the documents folder, and the
// table's folders stay as they were.
TEST(ExportJobTest, XpModeOfAProtectedFolderProposesDocuments) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Programme/Astro");
    const std::u16string store = world.tree.StorePath(folder);
    const std::u16string documents = world.tree.Path(u"Dokumente");
    WriteHoroscopes(folder, "Horoskop", {"Alt"});
    WriteHoroscopes(store, "Horoskop", {"Neu", "Neuer"});
    DriveTree::CreateFolder(documents);
    world.system.refusing = {folder};
    world.system.documents = documents;
    const Snapshot folderBefore = SnapshotOf(DriveTree::Native(folder));
    const Snapshot storeBefore = SnapshotOf(DriveTree::Native(store));

    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Horoskop.DB", true), std::nullopt);  // the user cancels
    const std::u16string proposed = documents + kPathSeparator + u"Horoskop.aaf";
    EXPECT_EQ(world.ui.proposals, std::vector<std::u16string>{proposed});
    world.ui.output = proposed;
    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Horoskop.DB", true), 2);
    EXPECT_EQ(AafNames(DriveTree::Native(proposed)), "Neu;Neuer;");
    EXPECT_EQ(SnapshotOf(DriveTree::Native(folder)), folderBefore);
    EXPECT_EQ(SnapshotOf(DriveTree::Native(store)), storeBefore);
    EXPECT_EQ(SnapshotOf(DriveTree::Native(documents)).size(), 1u);
}

TEST(ExportJobTest, CancellingTheOutputQuestionDoesNothing) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteHoroscopes(folder, "Horoskop", {"Anna"});
    DriveTree::CreateFile(world.tree.StorePath(folder + kPathSeparator + u"Horoskop.DB"), "kopie");
    world.db1.SetParam(u"PATH", u"vorher");
    const Snapshot before = SnapshotOf(world.tree.root());
    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Horoskop.DB", true), std::nullopt);
    EXPECT_EQ(world.ui.proposals.size(), 1u);
    EXPECT_EQ(SnapshotOf(world.tree.root()), before);  // nothing created or copied
    EXPECT_EQ(world.db1.Param(u"PATH"), u"vorher");    // the engine was not touched
    EXPECT_EQ(world.session.networkControlFolder(), u"");
    EXPECT_TRUE(world.ui.messages.empty());
}

// The merge: the table's files from its folder, then from the VirtualStore,
// into the staging folder, whose copy the engine then reads.
TEST(ExportJobTest, XpModeMergesTheTableFilesIntoTheStagingFolder) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Programme/Astro");
    const std::u16string store = world.tree.StorePath(folder);
    WriteHoroscopes(folder, "Horoskop", {"Alt"});
    WriteHoroscopes(store, "Horoskop", {"Neu", "Neuer"});
    const auto put = [](const std::u16string& where, const char* name, const std::string& bytes) {
        DriveTree::CreateFile(where + kPathSeparator + FromUtf8(name), bytes);
    };
    put(folder, "HOROSKOP.px", "index aus dem Ordner");
    put(folder, "Horoskop.DB.old", "alt");
    put(folder, "horoskop.val", "nur im Ordner");
    put(folder, "Horoskope.DB", "anderer Name");
    put(folder, "Horoskop", "ohne Punkt");
    put(folder, "Kunden.DB", "andere Tabelle");
    put(folder + kPathSeparator + u"Horoskop.sub", "Horoskop.DB", "im Unterordner");
    put(store, "HOROSKOP.px", "index aus dem VirtualStore");
    put(store, "Horoskop.tv", "nur im VirtualStore");
    put(store + kPathSeparator + u"Horoskop.old", "x", "Unterordner");
    // Left by an earlier export: another table's file stays, this table's
    // go before the merge, whatever the letter case.
    put(world.Staging(), "Fremd.txt", "bleibt");
    put(world.Staging(), "Horoskop.val", "wird entfernt");
    put(world.Staging(), "HOROSKOP.x01", "wird entfernt");
    const Snapshot folderBefore = SnapshotOf(DriveTree::Native(folder));
    const Snapshot storeBefore = SnapshotOf(DriveTree::Native(store));
    const std::u16string output = world.tree.Path(u"x.aaf");
    world.ui.output = output;

    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Horoskop.DB", true), 2);
    EXPECT_EQ(AafNames(DriveTree::Native(output)), "Neu;Neuer;");  // the VirtualStore's table
    EXPECT_EQ(world.db1.Param(u"PATH"), world.Staging());          // with its closing separator
    world.ExpectClosed();

    Snapshot staging = SnapshotOf(DriveTree::Native(world.Staging()));
    EXPECT_EQ(staging.erase("Horoskop.DB"), 1u);
    EXPECT_EQ(staging.erase("Horoskop.MB"), 1u);
    EXPECT_EQ(staging.erase("kosmara-sperre"), 1u);  // the lock file, held only during an export
    const std::map<std::string, std::string> expected = {
        {"HOROSKOP.px", "index aus dem VirtualStore"}, {"Horoskop.DB.old", "alt"},
        {"Horoskop.tv", "nur im VirtualStore"},        {"Fremd.txt", "bleibt"},
        {"horoskop.val", "nur im Ordner"},
    };
    EXPECT_EQ(staging, expected);
    EXPECT_EQ(ReadFileBytes(DriveTree::Native(world.Staging() + u"Horoskop.DB")),
              ReadFileBytes(DriveTree::Native(store + kPathSeparator + u"Horoskop.DB")));
    EXPECT_EQ(SnapshotOf(DriveTree::Native(folder)), folderBefore);
    EXPECT_EQ(SnapshotOf(DriveTree::Native(store)), storeBefore);

    // Again: the same result.
    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Horoskop.DB", true), 2);
    EXPECT_EQ(AafNames(DriveTree::Native(output)), "Neu;Neuer;");
}

// A table chosen by hand under another name, and one without extension.
TEST(ExportJobTest, MergesByTheTablesOwnBaseName) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    const std::u16string store = world.tree.StorePath(folder);
    WriteHoroscopes(folder, "Kunden", {"Kunde"}, "", ".db");
    WriteHoroscopes(store, "Kunden", {"Kunde aus dem VirtualStore"}, "", ".db");
    WriteHoroscopes(store, "Horoskop", {"nicht diese"});
    world.ui.output = world.tree.Path(u"k.aaf");
    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Kunden.db", true), 1);
    EXPECT_EQ(world.tbl1.tableName(), u"Kunden.db");
    EXPECT_EQ(AafNames(DriveTree::Native(world.tree.Path(u"k.aaf"))), "Kunde aus dem VirtualStore;");
    EXPECT_FALSE(std::filesystem::exists(DriveTree::Native(world.Staging() + u"Horoskop.DB")));

    // Without extension: ".aaf" appended for the proposal, the mask is the
    // whole name and ".*", the engine takes the name as a Paradox table.
    world.ui.output = world.tree.Path(u"k2.aaf");
    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Kunden", true), 1);
    EXPECT_EQ(world.ui.proposals.back(), folder + kPathSeparator + u"Kunden.aaf");
    EXPECT_EQ(AafNames(DriveTree::Native(world.tree.Path(u"k2.aaf"))), "Kunde aus dem VirtualStore;");
}

TEST(ExportJobTest, MatchesFileMasksAsTheListingRulesSay) {
    const struct {
        const char16_t* name;
        const char16_t* mask;
        bool match;
    } cases[] = {
        {u"Horoskop.DB", u"Horoskop.*", true},     {u"HOROSKOP.DB", u"Horoskop.*", true},
        {u"horoskop.db", u"Horoskop.*", true},     {u"Horoskop.DB.old", u"Horoskop.*", true},
        {u"Horoskop.", u"Horoskop.*", true},       {u"Horoskope.DB", u"Horoskop.*", false},
        {u"Horoskop", u"Horoskop.*", false},       {u"xHoroskop.DB", u"Horoskop.*", false},
        {u"Ärger.DB", u"ärger.*", false},           // only A to Z ignore case
        {u"Ärger.DB", u"Ärger.*", true},           {u"a.b.c", u"*.c", true},
        {u"a.b.c", u"*.b", false},                 {u"abc", u"a*b*c", true},
        {u"ac", u"a*b*c", false},                  {u"Horo?kop.DB", u"Horo?kop.*", true},
        {u"Horoskop.DB", u"Horo?kop.*", false},    {u"", u"*", true},
        {u"x", u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.match) << ToUtf8(c.name) << " ~ " << ToUtf8(c.mask);
    EXPECT_EQ(FileMaskOf(u"Horoskop.DB"), u"Horoskop.*");
    EXPECT_EQ(FileMaskOf(u"Horo.skop.DB"), u"Horo.skop.*");
    EXPECT_EQ(FileMaskOf(u"Horoskop"), u"Horoskop.*");
}

// Failures in the order of their effects: what exists on disk after each.
TEST(ExportJobTest, OnlyTheVirtualStoreCopyStopsAtTheMergeAfterTheStagingFolderIsMade) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Verschwunden");
    WriteHoroscopes(world.tree.StorePath(folder), "Horoskop", {"Kopie"});
    world.ui.output = world.tree.Path(u"x.aaf");
    EXPECT_ERROR_MESSAGE(world.Export(folder + kPathSeparator + u"Horoskop.DB", true),
                         u"Der angegebene Pfad wurde nicht gefunden");
    EXPECT_TRUE(std::filesystem::is_directory(DriveTree::Native(world.Staging())));
    EXPECT_EQ(SnapshotOf(DriveTree::Native(world.Staging())), (Snapshot{{"kosmara-sperre", ""}}));
    EXPECT_FALSE(std::filesystem::exists(DriveTree::Native(world.tree.Path(u"x.aaf"))));
    EXPECT_EQ(world.session.networkControlFolder(), u"");  // the engine was not reached
    world.ExpectClosed();
}

// The staging folder cannot be made (a file stands in its place): the
// export stops before it copies anything, naming the folder, also when
// there would be nothing to copy.
TEST(ExportJobTest, AStagingFolderThatCannotBeMadeStopsTheMerge) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteHoroscopes(folder, "Horoskop", {"A"});
    DriveTree::CreateFolder(world.tree.StorePath(folder));
    DriveTree::CreateFile(world.Staging().substr(0, world.Staging().size() - 1), "eine Datei");
    world.ui.output = world.tree.Path(u"x.aaf");
    const std::u16string message = FillMessage(kFolderNotPrivate, {world.Staging()});
    EXPECT_ERROR_MESSAGE(world.Export(folder + kPathSeparator + u"Horoskop.DB", true), message);
    EXPECT_ERROR_MESSAGE(world.Export(folder + kPathSeparator + u"Kunden.DB", true), message);
    EXPECT_FALSE(std::filesystem::exists(DriveTree::Native(world.tree.Path(u"x.aaf"))));
    world.ExpectClosed();
}

// A copy that fails names the file and carries the system's text.
TEST(ExportJobTest, AFailedCopyNamesTheFile) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    const std::u16string store = world.tree.StorePath(folder);
    WriteHoroscopes(folder, "Horoskop", {"A"});
    WriteHoroscopes(store, "Horoskop", {"B"});
    world.ui.output = world.tree.Path(u"x.aaf");
#ifdef _WIN32
    // Held exclusively by another program.
    const std::u16string locked = store + u"\\Horoskop.MB";
    const std::u16string target = world.Staging() + u"Horoskop.MB";
    HANDLE holder = ::CreateFileW(reinterpret_cast<const wchar_t*>(locked.c_str()), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::u16string why = SystemErrorText(ERROR_SHARING_VIOLATION);
#else
    // A FIFO is no file to copy, and is called what it is; the copy does
    // not wait for a writer.
    const std::u16string locked = store + u"/Horoskop.VAL";
    const std::u16string target = world.Staging() + u"Horoskop.VAL";
    ASSERT_EQ(::mkfifo(DriveTree::Native(locked).c_str(), 0600), 0);
    const std::u16string why = kSourceIsAPipe;
#endif
    EXPECT_ERROR_MESSAGE(world.Export(folder + kPathSeparator + u"Horoskop.DB", true),
                         FillMessage(kCannotCopyFile, {locked, target, why}));
    EXPECT_FALSE(std::filesystem::exists(DriveTree::Native(world.tree.Path(u"x.aaf"))));
    world.ExpectClosed();
#ifdef _WIN32
    ::CloseHandle(holder);
#endif
}

TEST(ExportJobTest, RefusesBadTablePathsBeforeTouchingAnything) {
    ExportWorld world;
    world.ui.output = world.tree.Path(u"x.aaf");
    const std::u16string folder = world.tree.Path(u"Daten");
    const Snapshot before = SnapshotOf(world.tree.root());
#ifdef _WIN32
    const std::vector<std::u16string> invalid = {folder + u"\\Horo|skop.DB", folder + u"\\\"Horoskop\".DB",
                                                 folder + u"\\<Horoskop>.DB", folder + u"\\Horo\tskop.DB"};
    const std::u16string tooLong = folder + u"\\" + std::u16string(260 - folder.size() - 1, u'x');
#else
    const std::vector<std::u16string> invalid = {folder + u"/Horo" + std::u16string(1, u'\0') + u"skop.DB"};
    const std::u16string tooLong = folder + u"/" + std::u16string(4096, u'x');
#endif
    for (const std::u16string& path : invalid)
        EXPECT_ERROR_MESSAGE(world.Export(path, true), u"Ungültige Zeichen im Pfad");
    EXPECT_ERROR_MESSAGE(world.Export(tooLong, true), u"Der angegebene Pfad ist zu lang");
#ifdef _WIN32
    EXPECT_EQ(tooLong.size(), 260u);
    // 259 characters are still a path: the engine then looks for it.
    EXPECT_ENGINE_ERROR(world.Export(tooLong.substr(0, 259), false), EngineErrorCode::kFolderNotFound);
#endif
    EXPECT_EQ(SnapshotOf(world.tree.root()), before);
    world.ExpectClosed();
}

#ifdef _WIN32
// A copy's source or target of 248 characters or more is refused; here the
// target, in a staging folder whose temporary folder has a long name.
TEST(ExportJobTest, RefusesCopyPathsOfMaxPathLessTwelve) {
    for (const std::size_t targetLength : {247u, 248u}) {
        SCOPED_TRACE(targetLength);
        ExportWorld world;
        const std::u16string folder = world.tree.Path(u"Daten");
        WriteHoroscopes(folder, "Horoskop", {"A"});
        WriteHoroscopes(world.tree.StorePath(folder), "Horoskop", {"B"});
        const std::u16string fixed = u"\\Kosmara 3.5 Export\\Horoskop.DB";
        const std::u16string base = world.tree.Path(u"T");
        world.system.temporaryFolder = base + std::u16string(targetLength - base.size() - fixed.size(), u't') + u"\\";
        DriveTree::CreateFolder(world.system.temporaryFolder);
        world.ui.output = world.tree.Path(u"x.aaf");
        if (targetLength == 247) {
            EXPECT_EQ(world.Export(folder + u"\\Horoskop.DB", true), 1);
            continue;
        }
        const std::u16string staging = world.system.temporaryFolder + u"Kosmara 3.5 Export\\";
        EXPECT_EQ((staging + u"Horoskop.DB").size(), 248u);
        EXPECT_ERROR_MESSAGE(world.Export(folder + u"\\Horoskop.DB", true), u"Der angegebene Pfad ist zu lang");
        EXPECT_EQ(SnapshotOf(DriveTree::Native(staging)), (Snapshot{{"kosmara-sperre", ""}}));
        world.ExpectClosed();
    }
}
#endif

TEST(ExportJobTest, EngineAndWriterFailuresCloseTableAndConnection) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteHoroscopes(folder, "Horoskop", {"Anna"});
    world.ui.output = world.tree.Path(u"x.aaf");

    // Missing folder: the connection fails, nothing to close.
    EXPECT_ENGINE_ERROR(world.Export(world.tree.Path(u"Fehlt/Horoskop.DB"), false), EngineErrorCode::kFolderNotFound);
    world.ExpectClosed();
    // Missing table: connected, then closed again.
    EXPECT_ENGINE_ERROR(world.Export(folder + kPathSeparator + u"Fehlt.DB", false), EngineErrorCode::kTableNotFound);
    world.ExpectClosed();
    // The output cannot be created: the writer's message, after closing.
    world.ui.output = world.tree.Path(u"kein Ordner/x.aaf");
    try {
        world.Export(folder + kPathSeparator + u"Horoskop.DB", false);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_TRUE(error.message().starts_with(u"Datei \"" + FullPath(*world.ui.output) + u"\" kann nicht erstellt werden. "))
            << error.what();
    }
    world.ExpectClosed();
    EXPECT_TRUE(world.ui.messages.empty());
    // And then an export that works.
    world.ui.output = world.tree.Path(u"x.aaf");
    EXPECT_EQ(world.Export(folder + kPathSeparator + u"Horoskop.DB", false), 1);
    world.ExpectClosed();
}

TEST(ExportJobTest, AsksForPasswordsUntilOneOpensTheTable) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Geheim");
    WriteHoroscopes(folder, "Horoskop", {"Anna"}, "geheim");
    const std::u16string table = folder + kPathSeparator + u"Horoskop.DB";
    world.ui.output = world.tree.Path(u"x.aaf");

    // The user gives up: the engine's error, nothing written.
    EXPECT_ENGINE_ERROR(world.Export(table, false), EngineErrorCode::kInsufficientRights);
    EXPECT_EQ(world.ui.passwordQuestions, std::vector<std::u16string>{table});
    EXPECT_FALSE(std::filesystem::exists(DriveTree::Native(*world.ui.output)));
    world.ExpectClosed();

    // A wrong one, an empty answer (try again as it is), then the right one.
    world.ui.passwordQuestions.clear();
    world.ui.passwords = {u"falsch", u"", u"geheim"};
    EXPECT_EQ(world.Export(table, false), 1);
    EXPECT_EQ(world.ui.passwordQuestions.size(), 3u);
    world.ExpectClosed();
    // The session keeps them for the run: no question the next time.
    world.ui.passwordQuestions.clear();
    EXPECT_EQ(world.Export(table, false), 1);
    EXPECT_TRUE(world.ui.passwordQuestions.empty());
    EXPECT_EQ(world.session.passwords(), (std::vector<std::u16string>{u"falsch", u"geheim"}));
}

// The output is never a file the export reads, however it is spelled: the
// file actually opened is compared with the table's files by identity, and
// a refused output is left as it was.
TEST(ExportJobTest, NeverWritesIntoAFileOfTheTable) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Programme/Astro");
    const std::u16string store = world.tree.StorePath(folder);
    WriteHoroscopes(folder, "Horoskop", {"Anna"});
    WriteHoroscopes(store, "Horoskop", {"Bernd"});
    DriveTree::CreateFile(folder + kPathSeparator + u"HOROSKOP.px", "index");
    DriveTree::CreateFile(store + kPathSeparator + u"Horoskop.PX", "index im VirtualStore");
    DriveTree::CreateFile(folder + kPathSeparator + u"horoskop.x01", "zweiter Index");
    DriveTree::CreateFile(folder + kPathSeparator + u"Horoskop.VAL", "Gültigkeit");
    const std::filesystem::path native = DriveTree::Native(folder);
    std::filesystem::create_directory(native / "sub");
    std::filesystem::create_directory(native / "links");
    std::filesystem::create_hard_link(native / "Horoskop.MB", native / "links" / "memo.aaf");
    std::filesystem::create_hard_link(native / "HOROSKOP.px", native / "links" / "index.aaf");
    const std::u16string sep(1, kPathSeparator);
    const std::u16string table = folder + sep + u"Horoskop.DB";

    struct Case {
        std::u16string output;
        bool xpMode;
    };
    std::vector<Case> cases = {
        {table, false},
        {folder + sep + u"Horoskop.MB", false},
        {folder + sep + u"HOROSKOP.px", false},
        {folder + sep + u"horoskop.x01", false},
        {folder + sep + u"Horoskop.VAL", true},
        {folder + sep + u"sub" + sep + u".." + sep + u"Horoskop.DB", false},
        {folder + sep + u"." + sep + u"Horoskop.MB", false},
        {folder + sep + u"links" + sep + u"memo.aaf", false},
        {folder + sep + u"links" + sep + u"index.aaf", false},
        {table, true},  // in XP mode the table folder's files stay protected
        {store + sep + u"Horoskop.PX", true},
        {world.Staging() + u"Horoskop.DB", true},  // the staging copies the engine reads
        {world.Staging() + u"Horoskop.MB", true},
    };
#ifdef _WIN32
    cases.push_back({folder + u"\\horoskop.db", false});
    cases.push_back({folder + u"\\HOROSKOP.mb", false});
    cases.push_back({folder + u"\\nope\\..\\Horoskop.PX", false});
    cases.push_back({u"\\\\?\\" + folder + u"\\HOROSKOP.px", false});
    cases.push_back({folder + u"\\Horoskop.MB.", false});  // a trailing dot is dropped by the system
    cases.push_back({folder + u"\\Horoskop.MB ", false});  // so is a trailing blank
#else
    std::filesystem::create_symlink(std::filesystem::absolute(native / "Horoskop.DB"), native / "links" / "table.aaf");
    std::filesystem::create_directory_symlink(std::filesystem::absolute(native / "sub"), native / "links" / "dir");
    cases.push_back({folder + u"/links/table.aaf", false});
    // The kernel follows the link before "..": links/dir/.. is the folder sub's parent.
    cases.push_back({folder + u"/links/dir/../Horoskop.MB", false});
#endif
    const Snapshot folderBefore = SnapshotOf(native);
    const Snapshot storeBefore = SnapshotOf(DriveTree::Native(store));
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.output) + (c.xpMode ? " (XP)" : ""));
        world.ui.output = c.output;
        const std::string before = ReadFileBytes(DriveTree::Native(c.output));
        try {
            world.Export(table, c.xpMode);
            ADD_FAILURE() << "written";
        } catch (const Error& error) {
            EXPECT_EQ(ToUtf8(error.message()),
                      ToUtf8(FillMessage(kOutputIsTableFile, {FullPath(c.output), table})));
        }
        EXPECT_EQ(ReadFileBytes(DriveTree::Native(c.output)), before);
        world.ExpectClosed();
    }
    EXPECT_EQ(SnapshotOf(native), folderBefore);
    EXPECT_EQ(SnapshotOf(DriveTree::Native(store)), storeBefore);

#ifndef _WIN32
    // A path through a missing folder does not resolve, so it names no file
    // of the table: it cannot be created, and nothing is written anywhere.
    world.ui.output = folder + u"/missing/../Horoskop.MB";
    EXPECT_THROW(world.Export(table, false), Error);
    EXPECT_EQ(SnapshotOf(native), folderBefore);
#endif
    // A report refused is called the report file.
    world.ui.output = world.tree.Path(u"x.aaf");
    {
        ExportContext context{world.system, world.session, world.db1, world.tbl1, world.ui, GermanTimeFormat()};
        std::vector<RecordFinding> findings;
        const std::u16string report = folder + sep + u"HOROSKOP.px";
        EXPECT_ERROR_MESSAGE(ExportDatabase(context, table, false, findings, report),
                             FillMessage(kReportIsTableFile, {FullPath(report), table}));
    }
    EXPECT_EQ(SnapshotOf(native), folderBefore);

    // An earlier AAF file beside the table is no file of the table, nor are
    // the user's own files named like it: each is replaced as any other
    // file, the second time too.
    for (const char16_t* name : {u"Horoskop.aaf", u"Horoskop.txt", u"Horoskop", u"Horoskop.DB.old"}) {
        SCOPED_TRACE(ToUtf8(name));
        world.ui.output = folder + sep + name;
        DriveTree::CreateFile(*world.ui.output, "eigene Datei");
        EXPECT_EQ(world.Export(table, false), 1);
        EXPECT_EQ(AafNames(DriveTree::Native(*world.ui.output)), "Anna;");
        EXPECT_EQ(world.Export(table, true), 1);
        EXPECT_EQ(AafNames(DriveTree::Native(*world.ui.output)), "Bernd;");
    }
}

#ifdef _WIN32
// Windows compares names its own way: 8.3 short names, and letters whose
// case the program's own folding does not know (Armenian here). A table
// given by its short name still has its companions found by its long name.
TEST(ExportJobTest, NeverWritesIntoAFileOfTheTableNamedTheSystemsWay) {
    ExportWorld world;
    const std::u16string folder = world.tree.Path(u"Daten");
    WriteHoroscopes(folder, "Horoskopdaten", {"Anna"});
    WriteHoroscopes(folder, "armenisch", {"Bernd"});
    for (const char16_t* extension : {u".DB", u".MB"}) {  // renamed to "աstro": narrow names take the ANSI code page
        std::filesystem::rename(DriveTree::Native(folder + u"\\armenisch" + extension),
                                DriveTree::Native(folder + u"\\\u0561stro" + extension));
    }
    DriveTree::CreateFile(folder + u"\\Horoskopdaten.PX", "index");
    DriveTree::CreateFile(folder + u"\\\u0561stro.px", "index");
    const auto shortName = [](const std::u16string& path) {
        wchar_t buffer[MAX_PATH];
        const DWORD length = ::GetShortPathNameW(reinterpret_cast<const wchar_t*>(path.c_str()), buffer, MAX_PATH);
        return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
    };
    const std::u16string longTable = folder + u"\\Horoskopdaten.DB";
    const std::u16string shortTable = shortName(longTable);
    ASSERT_NE(NameOfPath(shortTable), u"Horoskopdaten.DB");
    const struct {
        std::u16string table;
        std::u16string output;
    } cases[] = {
        {shortTable, folder + u"\\Horoskopdaten.PX"},
        {shortTable, shortName(folder + u"\\Horoskopdaten.PX")},
        {longTable, shortName(folder + u"\\Horoskopdaten.PX")},
        {folder + u"\\\u0531stro.DB", folder + u"\\\u0531STRO.PX"},  // "ԱSTRO.PX" names "աstro.px"
        {folder + u"\\\u0561stro.DB", folder + u"\\\u0531stro.px"},
    };
    const Snapshot before = SnapshotOf(DriveTree::Native(folder));
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.table) + " -> " + ToUtf8(c.output));
        world.ui.output = c.output;
        EXPECT_ERROR_MESSAGE(world.Export(c.table, false), FillMessage(kOutputIsTableFile, {FullPath(c.output), c.table}));
        world.ExpectClosed();
    }
    EXPECT_EQ(SnapshotOf(DriveTree::Native(folder)), before);
}
#endif

}  // namespace
}  // namespace kosmara
