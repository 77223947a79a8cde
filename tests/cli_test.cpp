#include "cli/command_line.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "drive_tree.h"
#include "engine/engine_objects.h"
#include "fake_system.h"
#include "paradox_builder.h"
#include "platform/file.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

using testing::FakeSystem;
using testing::HoroscopeRecord;
using testing::HoroscopeTableBuilder;
using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteTable;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the command line with a system of the test's (no registry key unless
// the test sets one) and, when given, a terminal at which the lines of
// `typed` are entered one per question.
Result RunCli(const std::vector<std::u16string>& arguments, const FakeSystem& system = FakeSystem{},
              std::optional<std::vector<std::u16string>> typed = std::nullopt, std::vector<std::u16string>* prompts = nullptr) {
    std::ostringstream out;
    std::ostringstream err;
    CommandLineEnvironment environment{out, err, system, {}, false, {}};
    std::size_t next = 0;
    if (typed) {
        environment.readPassword = [&](std::u16string_view prompt) -> std::optional<std::u16string> {
            if (prompts) prompts->emplace_back(prompt);
            if (next == typed->size()) return std::nullopt;
            return (*typed)[next++];
        };
    }
    Result result;
    result.exitCode = RunCommandLine(arguments, environment);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::u16string U16(const std::filesystem::path& path) { return path.u16string(); }

std::vector<std::string> SortedNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Two horoscopes, one with a comment in the .MB file.
std::filesystem::path WriteHoroscopeTable(const std::filesystem::path& folder, const std::string& baseName = "Horoskop",
                                          const std::string& extension = ".DB") {
    HoroscopeRecord second;
    second.id = "2";
    second.name = "M\xFCller";  // "Müller" in code page 1252
    second.comment = std::string(300, 'k');
    return WriteTable(HoroscopeTableBuilder().AddRecord(HoroscopeRecord{}.Cells()).AddRecord(second.Cells()).Build(),
                      folder, baseName, extension);
}

// The tables of a plain row (plain) and of an XP row (xp) whose own folder
// holds no table any more: its data lies in the VirtualStore.
void WriteRowTables(const testing::DriveTree& tree, const std::u16string& plain, const std::u16string& xp) {
    testing::DriveTree::CreateFolder(FolderOfPath(xp));
    for (const std::u16string& folder : {FolderOfPath(plain), FolderOfPath(tree.StorePath(xp))}) {
        testing::DriveTree::CreateFolder(folder);
        WriteHoroscopeTable(testing::DriveTree::Native(folder));
    }
}

TEST(CommandLineTest, RefusesWrongUsage) {
    const struct {
        std::vector<std::u16string> arguments;
        const char* message;  // first line on err; "" for the usage text alone
    } cases[] = {
        {{}, ""},
        {{u"convert", u"t.db"}, "Unbekannter Befehl \"convert\"."},
        {{u"--verbose"}, "Unbekannte Option \"--verbose\"."},
        {{u"dump"}, "Es fehlt die Tabelle."},
        {{u"export"}, "Es fehlt die Tabelle."},
        {{u"export", u""}, "Es fehlt die Tabelle."},
        {{u"export", u"--password", u"x"}, "Es fehlt die Tabelle."},
        {{u"dump", u"a.db", u"b.db"}, "Zu viele Argumente: \"b.db\"."},
        {{u"export", u"a.db", u"b.aaf", u"c"}, "Zu viele Argumente: \"c\"."},
        {{u"export", u"a.db", u"--password"}, "Nach \"--password\" fehlt das Kennwort."},
        {{u"export", u"--force", u"a.db"}, "Unbekannte Option \"--force\"."},
        {{u"dump", u"-x", u"a.db"}, "Unbekannte Option \"-x\"."},
        {{u"export", u"a.db", u""}, "Die Ausgabedatei ist leer angegeben."},
        {{u"list", u"x"}, "Zu viele Argumente: \"x\"."},
        {{u"--version", u"list"}, "Zu viele Argumente: \"list\"."},
        {{u"list", u"--password", u"x"}, "Die Option \"--password\" gilt nicht für \"list\"."},
        {{u"dump", u"--xp-mode", u"a.db"}, "Die Option \"--xp-mode\" gilt nicht für \"dump\"."},
        {{u"dump", u"--row", u"1"}, "Die Option \"--row\" gilt nicht für \"dump\"."},
        {{u"export", u"--row"}, "Nach \"--row\" fehlt die Zeilennummer."},
        {{u"export", u"--row", u"0"}, "\"0\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row=+2"}, "\"+2\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row", u"zwei"}, "\"zwei\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row", u"99999999999"}, "\"99999999999\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row", u"1", u"a.db", u"b.aaf"}, "Mit \"--row\" wird keine Tabelle angegeben: \"a.db\"."},
        {{u"export", u"--row", u"1", u"a.aaf", u"B.DB"}, "Mit \"--row\" wird keine Tabelle angegeben: \"B.DB\"."},
        {{u"export", u"--row", u"1", u"a.aaf", u"b.aaf"}, "Zu viele Argumente: \"b.aaf\"."},
        {{u"export", u"--row", u"1", u"--row", u"2"}, "Die Option \"--row\" ist doppelt angegeben."},
        {{u"export", u"--row=1", u"a.aaf", u"--row=1"}, "Die Option \"--row\" ist doppelt angegeben."},
        {{u"export", u"--row", u"1", u"--xp-mode"}, "\"--xp-mode\" und \"--row\" schließen sich aus: die Zeile bestimmt den Modus."},
        {{u"export", u"--row", u"1", u""}, "Die Ausgabedatei ist leer angegeben."},
        {{u"export", u"--all", u"a.db"}, "Mit \"--all\" werden weder Tabelle noch Ausgabedatei angegeben: \"a.db\"."},
        {{u"export", u"--all", u"--row", u"1"}, "\"--all\" und \"--row\" schließen sich aus."},
        {{u"export", u"--xp-mode", u"--all"}, "\"--all\" und \"--xp-mode\" schließen sich aus."},
        {{u"export", u"--all", u"--codepage", u"1251"}, "\"--all\" und \"--codepage\" schließen sich aus."},
        {{u"export", u"--all=ja"}, "Die Option \"--all\" nimmt keinen Wert: \"--all=ja\"."},
        {{u"export", u"--into", u"aus", u"a.db"}, "\"--into\" gilt nur zusammen mit \"--all\"."},
        {{u"export", u"--all", u"--into"}, "Nach \"--into\" fehlt der Ordner."},
        {{u"export", u"--all", u"--into="}, "Der Ordner nach \"--into\" ist leer angegeben."},
        {{u"export", u"--all", u"--into", u"a", u"--into", u"b"}, "Die Option \"--into\" ist doppelt angegeben."},
        {{u"list", u"--all"}, "Die Option \"--all\" gilt nicht für \"list\"."},
        {{u"dump", u"--codepage"}, "Nach \"--codepage\" fehlt die Nummer der Codepage."},
        {{u"dump", u"--codepage", u"0", u"a.db"}, "\"0\" ist keine Nummer einer Codepage (etwa 1251)."},
        {{u"dump", u"--codepage=65536", u"a.db"}, "\"65536\" ist keine Nummer einer Codepage (etwa 1251)."},
        {{u"dump", u"--codepage", u"cp1251", u"a.db"}, "\"cp1251\" ist keine Nummer einer Codepage (etwa 1251)."},
        {{u"export", u"--codepage=1251", u"--codepage=1252", u"a.db"}, "Die Option \"--codepage\" ist doppelt angegeben."},
        {{u"list", u"--codepage", u"1251"}, "Die Option \"--codepage\" gilt nicht für \"list\"."},
        {{u"check"}, "Es fehlt die Tabelle."},
        {{u"check", u"a.db", u"b"}, "Zu viele Argumente: \"b\"."},
        {{u"check", u"--report", u"r.txt", u"a.db"}, "Die Option \"--report\" gilt nicht für \"check\"."},
        {{u"export", u"--report"}, "Nach \"--report\" fehlt die Datei für den Prüfbericht."},
        {{u"export", u"--report=", u"a.db"}, "Die Datei für den Prüfbericht ist leer angegeben."},
        {{u"export", u"--all", u"--report", u"r.txt"}, "\"--all\" und \"--report\" schließen sich aus."},
#ifdef _WIN32
        {{u"list", u"--wine-prefix", u"p"}, "Die Option \"--wine-prefix\" gibt es nur unter Linux."},
#else
        {{u"export", u"--wine-prefix", u"p", u"a.db"}, "\"--wine-prefix\" gilt für \"--row\" und \"--all\"; eine Tabelle wird mit ihrem Linux-Pfad angegeben."},
        {{u"list", u"--wine-prefix"}, "Nach \"--wine-prefix\" fehlt der Ordner des Wine-Präfixes."},
#endif
    };
    for (const auto& c : cases) {
        const Result result = RunCli(c.arguments);
        SCOPED_TRACE(result.err);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        const std::string expectedStart = *c.message ? std::string(c.message) + "\nAufruf: " : "Aufruf: ";
        EXPECT_EQ(result.err.substr(0, expectedStart.size()), expectedStart);
    }
}

TEST(CommandLineTest, PrintsHelp) {
    const std::vector<std::u16string> calls[] = {
        {u"--help"}, {u"-h"}, {u"dump", u"--help"}, {u"export", u"t.db", u"-h"},
        {u"export", u"--password", u"x", u"--help"},
    };
    for (const auto& arguments : calls) {
        const Result result = RunCli(arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
        // Every command and every option is explained.
        for (const char* named : {"kosmara2aaf list", "kosmara2aaf export", "kosmara2aaf dump", "kosmara2aaf check",
                                  "  --row N ", "  --all ", "  --into ORDNER ", "  --xp-mode ", "  --password KENNWORT ",
                                  "  --codepage N ", "  --report DATEI ", "  --wine-prefix ORDNER "}) {
            EXPECT_NE(result.out.find(named), std::string::npos) << named;
        }
        EXPECT_NE(result.out.find("Rückgabewerte"), std::string::npos);
    }
}

TEST(CommandLineTest, PrintsVersionAndLicence) {
    const Result result = RunCli({u"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "kosmara2aaf 1.0.0\n"
              "Freie Software unter der MIT-Lizenz; \u00A9 2026 die Autoren von kosmara2aaf.\n");
    // Help and usage name it.
    EXPECT_NE(RunCli({u"--help"}).out.find("  kosmara2aaf --version\n"), std::string::npos);
    EXPECT_NE(RunCli({u"--help"}).out.find("  --version "), std::string::npos);
    EXPECT_NE(RunCli({}).err.find(" kosmara2aaf --version\n"), std::string::npos);
}

// The output must never be a file of the table: not the table itself, nor
// its .MB or .PX, whatever the spelling or link that names it.
TEST(CommandLineTest, NeverOverwritesAFileOfTheTable) {
    TempFolder folder;
    const std::filesystem::path table = WriteHoroscopeTable(folder.path());
    testing::WriteFileBytes(folder / "HOROSKOP.px", "index");
    std::filesystem::create_directory(folder / "sub");
    std::filesystem::create_directory(folder / "links");
    std::filesystem::create_hard_link(folder / "Horoskop.MB", folder / "links" / "memo.aaf");
    std::filesystem::create_hard_link(folder / "HOROSKOP.px", folder / "links" / "index.aaf");
    const std::string db = ReadFileBytes(folder / "Horoskop.DB");
    const std::string mb = ReadFileBytes(folder / "Horoskop.MB");
    const std::vector<std::string> names = SortedNames(folder.path());

    const std::u16string base = U16(folder.path());
    const struct {
        std::u16string table;
        std::u16string output;
    } cases[] = {
        {U16(table), U16(table)},
        {U16(table), U16(folder / "sub" / ".." / "Horoskop.DB")},
        {U16(table), U16(folder / "Horoskop.MB")},
        {U16(table), U16(folder / "HOROSKOP.px")},
        {U16(table), U16(folder / "links" / "memo.aaf")},
        {U16(table), U16(folder / "links" / "index.aaf")},
        {U16(folder / "Horoskop"), U16(table)},  // the engine adds ".DB"
        {U16(folder / "sub" / ".." / "Horoskop.DB"), U16(folder / "Horoskop.MB")},
#ifdef _WIN32
        {U16(table), base + u"\\horoskop.db"},
        {U16(table), base + u"\\sub\\..\\HOROSKOP.mb"},
        {base + u"\\HOROSKOP.DB", base + u"\\horoskop.MB"},
#else
        {U16(table), U16(folder / "Horoskop.DB")},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.table) + " -> " + ToUtf8(c.output));
        const Result result = RunCli({u"export", c.table, c.output});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("\" ist eine Datei der Tabelle \""), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("und wird nicht überschrieben.\n"), std::string::npos) << result.err;
    }
#ifndef _WIN32
    // A symbolic link to the table.
    std::filesystem::create_symlink(table, folder / "links" / "table.aaf");
    EXPECT_EQ(RunCli({u"export", U16(table), U16(folder / "links" / "table.aaf")}).exitCode, 1);
#endif
    EXPECT_EQ(ReadFileBytes(folder / "Horoskop.DB"), db);
    EXPECT_EQ(ReadFileBytes(folder / "Horoskop.MB"), mb);
    EXPECT_EQ(ReadFileBytes(folder / "HOROSKOP.px"), "index");
    EXPECT_EQ(SortedNames(folder.path()), names);  // nothing created
}

// A table named like its own default output.
TEST(CommandLineTest, RefusesATableNamedLikeItsOutput) {
    TempFolder folder;
    const std::filesystem::path table = WriteHoroscopeTable(folder.path(), "Daten", ".aaf");
    const std::string before = ReadFileBytes(table);
    const Result result = RunCli({u"export", U16(table)});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("wird nicht überschrieben"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFileBytes(table), before);
}

TEST(CommandLineTest, ExportsEveryHoroscope) {
    TempFolder folder;
    const std::filesystem::path table = WriteHoroscopeTable(folder.path());
    const Result result = RunCli({u"export", U16(table), U16(folder / "out.aaf")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "2 Horoskope gespeichert\n");
    const std::string aaf = ReadFileBytes(folder / "out.aaf");
    EXPECT_EQ(aaf.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(aaf.find("#A93:Test,"), std::string::npos) << aaf;
    EXPECT_NE(aaf.find("#A93:Müller,"), std::string::npos) << aaf;

    // The default output lies beside the table; an earlier export there is
    // replaced, it is no file of the table.
    for (int run = 0; run < 2; ++run) {
        const Result again = RunCli({u"export", U16(folder / "Horoskop.DB")});
        EXPECT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(ReadFileBytes(folder / "Horoskop.aaf"), aaf);
    }
}

TEST(CommandLineTest, DumpsFieldsAndRecords) {
    TempFolder folder;
    const std::filesystem::path table = WriteHoroscopeTable(folder.path());
    const Result result = RunCli({u"dump", U16(table)});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0].substr(0, 39), "Nr:A:10\tName:A:40\tJulianisch:N:8\tOrt:A:");
    EXPECT_TRUE(lines[1].starts_with("1\tTest\t2451545\tBerlin\t")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("2\tMüller\t2451545\tBerlin\t")) << lines[2];
    EXPECT_EQ(result.out.back(), '\n');
}

TEST(CommandLineTest, OpensAProtectedTableWithItsPassword) {
    TempFolder folder;
    const std::filesystem::path table =
        WriteTable(HoroscopeTableBuilder().Encrypt("geheim").AddRecord(HoroscopeRecord{}.Cells()).Build(),
                   folder.path(), "Geheim");
    const std::vector<std::u16string> before = Session::Default().passwords();

    const Result refused = RunCli({u"dump", U16(table)});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("--password KENNWORT"), std::string::npos) << refused.err;

    const Result wrong = RunCli({u"export", u"--password", u"falsch", U16(table)});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(folder / "Geheim.aaf"));

    const Result dumped = RunCli({u"dump", u"--password", u"falsch", u"--password=geheim", U16(table)});
    EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
    const Result exported = RunCli({u"export", u"--password", u"geheim", U16(table)});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out, "1 Horoskop gespeichert\n");
    // The passwords served that one command only.
    EXPECT_EQ(Session::Default().passwords(), before);
}

// Without a terminal the message names the option; at a terminal the
// password is asked for until one opens the table or the line is empty.
TEST(CommandLineTest, AsksForThePasswordAtTheTerminal) {
    TempFolder folder;
    const std::filesystem::path table =
        WriteTable(HoroscopeTableBuilder().Encrypt("geheim").AddRecord(HoroscopeRecord{}.Cells()).Build(),
                   folder.path(), "Geheim");
    const std::vector<std::u16string> before = Session::Default().passwords();
    const std::string prompt = "Kennwort für \"" + table.string() + "\" (leer: abbrechen): ";

    std::vector<std::u16string> prompts;
    const Result typed = RunCli({u"export", U16(table)}, FakeSystem{}, std::vector<std::u16string>{u"falsch", u"geheim"}, &prompts);
    EXPECT_EQ(typed.exitCode, 0) << typed.err;
    EXPECT_EQ(typed.out, "1 Horoskop gespeichert\n");
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(ToUtf8(prompts[0]), prompt);

    const struct {
        std::vector<std::u16string> lines;
        std::size_t questions;
    } refusals[] = {
        {{u"falsch", u""}, 2},  // an empty line gives up
        {{u"falsch"}, 2},       // so does the end of the input
    };
    for (const auto& c : refusals) {
        prompts.clear();
        const Result refused = RunCli({u"export", U16(table)}, FakeSystem{}, c.lines, &prompts);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(prompts.size(), c.questions);
        EXPECT_NE(refused.err.find("Unzureichende Rechte für die Tabelle"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("--password KENNWORT"), std::string::npos) << refused.err;
    }
    // A given password that fits asks nothing.
    prompts.clear();
    EXPECT_EQ(RunCli({u"export", u"--password=geheim", U16(table)}, FakeSystem{}, std::vector<std::u16string>{}, &prompts).exitCode, 0);
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(Session::Default().passwords(), before);
}

// "dump" and "check" ask for a missing password at the terminal as
// "export" does: until one opens the table, giving up on an empty line or
// the end of the input; without a terminal the message names the option.
TEST(CommandLineTest, DumpAndCheckAskForThePasswordAtTheTerminal) {
    TempFolder folder;
    const std::filesystem::path table =
        WriteTable(HoroscopeTableBuilder().Encrypt("geheim").AddRecord(HoroscopeRecord{}.Cells()).Build(),
                   folder.path(), "Geheim");
    const std::vector<std::u16string> before = Session::Default().passwords();
    const std::string prompt = "Kennwort für \"" + table.string() + "\" (leer: abbrechen): ";
    const struct {
        std::optional<std::vector<std::u16string>> typed;  // nothing: no terminal
        int exitCode;
        std::size_t questions;
    } cases[] = {
        {std::vector<std::u16string>{u"falsch", u"geheim"}, 0, 2},
        {std::vector<std::u16string>{u"falsch", u""}, 1, 2},
        {std::vector<std::u16string>{u"falsch"}, 1, 2},
        {std::nullopt, 1, 0},
    };
    for (const char16_t* command : {u"dump", u"check"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(ToUtf8(command) + ", " + std::to_string(c.typed ? c.typed->size() : 0) + " lines");
            std::vector<std::u16string> prompts;
            const Result result = RunCli({command, U16(table)}, FakeSystem{}, c.typed, &prompts);
            EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
            ASSERT_EQ(prompts.size(), c.questions);
            for (const std::u16string& asked : prompts) EXPECT_EQ(ToUtf8(asked), prompt);
            if (c.exitCode == 0) {
                EXPECT_EQ(result.err, "");
                EXPECT_NE(result.out.find("\n"), std::string::npos);
            } else {
                EXPECT_EQ(result.out, "");
                EXPECT_NE(result.err.find("Unzureichende Rechte für die Tabelle"), std::string::npos) << result.err;
                EXPECT_NE(result.err.find("--password KENNWORT"), std::string::npos) << result.err;
            }
            EXPECT_EQ(Session::Default().passwords(), before);
        }
    }
}

// "list" shows the registered databases as discovery finds them, numbered as
// "--row" takes them; "export --row N" exports row N as the window would.
TEST(CommandLineTest, ListsAndExportsRegisteredDatabases) {
    testing::DriveTree tree;
    const std::u16string plain = tree.Path(u"Daten/Horoskop.DB");
    const std::u16string xp = tree.Path(u"Programme/Astro/Horoskop.DB");
    const std::u16string missing = tree.Path(u"Fehlt/Horoskop.DB");
    WriteRowTables(tree, plain, xp);
    FakeSystem system;
    system.localAppData = tree.appData();
    system.temporaryFolder = tree.TemporaryFolder();
    system.Add(u"eins", plain).Add(u"zwei", xp).Add(u"drei", missing);

    const Result listed = RunCli({u"list"}, system);
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out, ToUtf8(u"1\t" + plain + u"\n2\t(XP-Modus) " + xp + u"\t" + FolderOfPath(tree.StorePath(xp)) +
                                 u"\n3\t(Existiert nicht) " + missing + u"\n"));

    const Result first = RunCli({u"export", u"--row", u"1"}, system);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "2 Horoskope gespeichert\n");
    EXPECT_FALSE(ReadFileBytes(testing::DriveTree::Native(ReplaceExtension(plain, u".aaf"))).empty());

    // The XP row: the registered path in XP mode, merged in the staging folder.
    const std::u16string output = tree.Path(u"xp.aaf");
    const Result second = RunCli({u"export", u"--row=2", output}, system);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(std::filesystem::exists(testing::DriveTree::Native(tree.TemporaryFolder() + u"Kosmara 3.5 Export")));
    EXPECT_FALSE(ReadFileBytes(testing::DriveTree::Native(output)).empty());

    const Result third = RunCli({u"export", u"--row", u"3", output}, system);
    EXPECT_EQ(third.exitCode, 1);
    EXPECT_NE(third.err.find("wurde nicht gefunden"), std::string::npos) << third.err;

    const Result fourth = RunCli({u"export", u"--row", u"4"}, system);
    EXPECT_EQ(fourth.exitCode, 1);
    EXPECT_EQ(fourth.err, "Es gibt keine Zeile 4; \"kosmara2aaf list\" zeigt die Zeilen 1 bis 3.\n");
}

// Whether text holds a control character other than the line ends and the
// tabs between columns: what a terminal would act on or hide.
bool HasHiddenControls(const std::string& text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) return true;
        // U+0080 to U+009F in UTF-8.
        if (c == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) <= 0x9F) return true;
    }
    return false;
}

// Paths from the registry may hold line breaks, tabs, escape sequences and
// other controls: "list", the lines and the summary of "export --all" and the
// messages of "export --row" show them visibly, as the check report does, and
// a Windows path keeps its backslashes.
TEST(CommandLineTest, ShowsControlCharactersFromTheRegistryVisibly) {
    testing::DriveTree tree;
    FakeSystem system;
    system.localAppData = tree.appData();
    system.temporaryFolder = tree.TemporaryFolder();
    const struct {
        std::u16string folder;  // as registered
        std::u16string shown;   // as the console shows it
    } missing{u"Fehlt\r\n2\tzwei\u0007\u001B[2J\u0085\u007F", u"Fehlt\\r\\n2\\tzwei\\x07\\x1B[2J\\x85\\x7F"};
    const std::u16string missingPath = tree.Path(missing.folder + u"/Horoskop.DB");
    const std::u16string missingShown = tree.Path(missing.shown + u"/Horoskop.DB");
    std::u16string listed;
    std::u16string summary = u"Datenbank\tModus\tHoroskope\tAAF-Datei\tErgebnis\n";
    int row = 1;
#ifndef _WIN32
    // Only POSIX names take control characters: a table that exists there.
    const std::u16string existing = tree.Path(u"Da\nten\t\u001B[31m/Horoskop.DB");
    const std::u16string existingShown = tree.Path(u"Da\\nten\\t\\x1B[31m/Horoskop.DB");
    testing::DriveTree::CreateFolder(FolderOfPath(existing));
    WriteHoroscopeTable(testing::DriveTree::Native(FolderOfPath(existing)));
    system.Add(u"1", existing);
    listed += u"1\t" + existingShown + u"\n";
    summary += existingShown + u"\tnormal\t2\t" + ReplaceExtension(existingShown, u".aaf") + u"\tgespeichert\n";
    ++row;
#endif
    system.Add(u"2", missingPath);
    std::u16string number;
    AppendDecimal(number, row, 1);
    listed += number + u"\t(Existiert nicht) " + missingShown + u"\n";
    summary += missingShown + u"\t\t\t\tübersprungen: die Datenbank existiert nicht\n";

    const Result list = RunCli({u"list"}, system);
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, ToUtf8(listed));

    const Result all = RunCli({u"export", u"--all"}, system);
    EXPECT_EQ(all.exitCode, 1);
    EXPECT_EQ(all.out, ToUtf8(summary));
    EXPECT_EQ(all.err, ToUtf8(u"(Existiert nicht) " + missingShown + u"\n"));

    const Result one = RunCli({u"export", u"--row", number}, system);
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_FALSE(one.err.empty());
    EXPECT_FALSE(HasHiddenControls(one.err)) << one.err;
#ifndef _WIN32
    // The engine's message quotes the folder it did not find.
    EXPECT_NE(one.err.find(ToUtf8(missing.shown)), std::string::npos) << one.err;

    // The --into folder refused as a table's folder names the registered path.
    const Result into = RunCli({u"export", u"--all", u"--into", FolderOfPath(existing)}, system);
    EXPECT_EQ(into.exitCode, 1);
    EXPECT_NE(into.err.find(ToUtf8(u"ein Ordner der Datenbank \"" + existingShown + u"\"")), std::string::npos)
        << into.err;
#endif
    for (const Result* result : {&list, &all}) {
        EXPECT_FALSE(HasHiddenControls(result->out)) << result->out;
        EXPECT_FALSE(HasHiddenControls(result->err)) << result->err;
    }
}

// "export --all" takes every row in order, each through the export job; a
// missing or damaged database is noted and the next one taken; the summary
// says what became of each, and the exit code whether all were saved.
TEST(CommandLineTest, ExportsEveryRegisteredDatabase) {
    testing::DriveTree tree;
    const std::u16string plain = tree.Path(u"Daten/Horoskop.DB");
    const std::u16string xp = tree.Path(u"Programme/Astro/Horoskop.DB");
    const std::u16string missing = tree.Path(u"Fehlt/Horoskop.DB");
    const std::u16string damaged = tree.Path(u"Kaputt/Horoskop.DB");
    const std::u16string other = tree.Path(u"Andere/Kunden.db");
    WriteRowTables(tree, plain, xp);
    testing::DriveTree::CreateFolder(FolderOfPath(other));
    WriteHoroscopeTable(testing::DriveTree::Native(FolderOfPath(other)), "Kunden", ".db");
    testing::DriveTree::CreateFolder(FolderOfPath(damaged));
    std::ofstream(testing::DriveTree::Native(damaged), std::ios::binary) << std::string(100, '\x07');
    FakeSystem system;
    system.localAppData = tree.appData();
    system.temporaryFolder = tree.TemporaryFolder();
    system.Add(u"1", plain).Add(u"2", xp).Add(u"3", missing).Add(u"4", damaged).Add(u"5", other);

    // Into one folder: the second and third "Horoskop" get numbered names.
    const std::u16string into = tree.Path(u"AAF/neu");
    const Result result = RunCli({u"export", u"--all", u"--into", into}, system);
    const std::u16string written = FullPath(into);  // the folder as the program names it
    EXPECT_EQ(result.exitCode, 1);
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> split;
        std::istringstream in(result.out);
        for (std::string line; std::getline(in, line);) split.push_back(line);
        return split;
    }();
    ASSERT_EQ(lines.size(), 6u) << result.out;
    EXPECT_EQ(lines[0], "Datenbank\tModus\tHoroskope\tAAF-Datei\tErgebnis");
    EXPECT_EQ(lines[1], ToUtf8(plain + u"\tnormal\t2\t" + JoinPath(written, u"Horoskop.aaf") + u"\tgespeichert"));
    EXPECT_EQ(lines[2], ToUtf8(xp + u"\tXP-Modus\t2\t" + JoinPath(written, u"Horoskop (2).aaf") + u"\tgespeichert"));
    EXPECT_EQ(lines[3], ToUtf8(missing + u"\t\t\t\tübersprungen: die Datenbank existiert nicht"));
    EXPECT_EQ(lines[4].substr(0, ToUtf8(damaged + u"\tnormal\t\t" + JoinPath(written, u"Horoskop (3).aaf") + u"\t").size()),
              ToUtf8(damaged + u"\tnormal\t\t" + JoinPath(written, u"Horoskop (3).aaf") + u"\t"));
    EXPECT_EQ(lines[5], ToUtf8(other + u"\tnormal\t2\t" + JoinPath(written, u"Kunden.aaf") + u"\tgespeichert"));
    // The failures are said on err as they happen.
    EXPECT_NE(result.err.find(ToUtf8(u"(Existiert nicht) " + missing)), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(ToUtf8(damaged) + ": "), std::string::npos) << result.err;
    const std::string expected = ReadFileBytes(testing::DriveTree::Native(JoinPath(into, u"Horoskop.aaf")));
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(ReadFileBytes(testing::DriveTree::Native(JoinPath(into, u"Horoskop (2).aaf"))), expected);

    // Without --into each file goes beside its table; all saved: exit code 0.
    FakeSystem good;
    good.localAppData = tree.appData();
    good.temporaryFolder = tree.TemporaryFolder();
    good.Add(u"1", plain).Add(u"2", other);
    const Result beside = RunCli({u"export", u"--all"}, good);
    EXPECT_EQ(beside.exitCode, 0) << beside.err;
    EXPECT_EQ(beside.err, "");
    EXPECT_EQ(ReadFileBytes(testing::DriveTree::Native(ReplaceExtension(plain, u".aaf"))), expected);
    EXPECT_TRUE(std::filesystem::exists(testing::DriveTree::Native(ReplaceExtension(other, u".aaf"))));

    const Result none = RunCli({u"export", u"--all"}, FakeSystem{});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, "Es sind keine Datenbanken eingetragen.\n");
}

// Without AUSGABE an export whose table's folder takes no new file (a
// program folder an unelevated user cannot write) goes to the documents
// folder, and a line after the count says where; "export --all" without
// --into does the same per row and its summary names the file.
// (A short name: the VirtualStore path holds the test's folder twice, and
// Windows copies no path of MAX_PATH - 12 characters or more.)
TEST(CommandLineTest, DocumentsTakeWhatTheFolderRefuses) {
    testing::DriveTree tree;
    const std::u16string plain = tree.Path(u"Programme/Daten/Horoskop.DB");
    const std::u16string xp = tree.Path(u"Programme/Astro/Horoskop.DB");
    const std::u16string documents = FullPath(tree.Path(u"Dokumente"));
    testing::DriveTree::CreateFolder(documents);
    WriteRowTables(tree, plain, xp);
    FakeSystem system;
    system.localAppData = tree.appData();
    system.temporaryFolder = tree.TemporaryFolder();
    system.documents = documents;
    // The folders as a row and as a full path name them.
    for (const std::u16string& table : {plain, xp}) {
        system.refusing.push_back(FolderOfPath(table));
        system.refusing.push_back(FolderOfPath(FullPath(table)));
    }
    system.Add(u"1", plain).Add(u"2", xp);
    const std::u16string aaf = JoinPath(documents, u"Horoskop.aaf");
    const std::string elsewhere =
        ToUtf8(u"Im Ordner der Tabelle kann keine Datei angelegt werden; die AAF-Datei liegt stattdessen in \"" + aaf +
               u"\".\n");
    const std::vector<std::string> tableFolder = SortedNames(testing::DriveTree::Native(FolderOfPath(plain)));

    const struct {
        const char* what;
        std::vector<std::u16string> arguments;
    } cases[] = {
        {"a table", {u"export", plain}},
        {"a plain row", {u"export", u"--row", u"1"}},
        {"an XP-mode row", {u"export", u"--row", u"2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(testing::DriveTree::Native(aaf));
        const Result result = RunCli(c.arguments, system);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, "2 Horoskope gespeichert\n" + elsewhere);
        EXPECT_TRUE(std::filesystem::exists(testing::DriveTree::Native(aaf)));
    }
    EXPECT_EQ(SortedNames(testing::DriveTree::Native(FolderOfPath(plain))), tableFolder);
    EXPECT_EQ(SortedNames(testing::DriveTree::Native(FolderOfPath(xp))), std::vector<std::string>{});

    // An output given is taken as it is, without a word.
    const std::u16string given = tree.Path(u"Ausgabe.aaf");
    const Result withOutput = RunCli({u"export", plain, given}, system);
    EXPECT_EQ(withOutput.out, "2 Horoskope gespeichert\n");

    // Every row: numbered in the documents folder, named in the summary.
    std::filesystem::remove(testing::DriveTree::Native(aaf));
    const Result all = RunCli({u"export", u"--all"}, system);
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, ToUtf8(u"Datenbank\tModus\tHoroskope\tAAF-Datei\tErgebnis\n" + plain + u"\tnormal\t2\t" + aaf +
                             u"\tgespeichert\n" + xp + u"\tXP-Modus\t2\t" + JoinPath(documents, u"Horoskop (2).aaf") +
                             u"\tgespeichert\n"));
    EXPECT_EQ(SortedNames(testing::DriveTree::Native(documents)),
              (std::vector<std::string>{"Horoskop (2).aaf", "Horoskop.aaf"}));
}

// Each row of "export --all" writes a file of its own, also where two rows
// would take one name beside their table: the plain and the XP-mode row of
// one table (same registered path), and one table registered under two
// spellings of its folder. The summary names the file each row wrote, and
// each file holds what exporting that row alone writes.
TEST(CommandLineTest, ExportAllGivesEveryRowAFileOfItsOwn) {
    testing::DriveTree tree;
    // Both the table and a VirtualStore copy with one record more: a plain
    // and an XP-mode row, whose files differ.
    const std::u16string both = tree.Path(u"Programme/Astro/Horoskop.DB");
    testing::DriveTree::CreateFolder(FolderOfPath(both));
    WriteHoroscopeTable(testing::DriveTree::Native(FolderOfPath(both)));
    testing::DriveTree::CreateFolder(FolderOfPath(tree.StorePath(both)));
    WriteTable(HoroscopeTableBuilder()
                   .AddRecord(HoroscopeRecord{}.Cells())
                   .AddRecord(HoroscopeRecord{}.Cells())
                   .AddRecord(HoroscopeRecord{}.Cells())
                   .Build(),
               testing::DriveTree::Native(FolderOfPath(tree.StorePath(both))), "Horoskop");
    // One table, and a second spelling of it: on Windows its folder and name
    // in other case, on POSIX its folder through a link.
    const std::u16string table = tree.Path(u"Daten/Kunden.db");
    testing::DriveTree::CreateFolder(FolderOfPath(table));
    WriteHoroscopeTable(testing::DriveTree::Native(FolderOfPath(table)), "Kunden", ".db");
#ifdef _WIN32
    const std::u16string spelling = tree.Path(u"DATEN/kunden.db");
#else
    const std::u16string spelling = tree.Path(u"Verweis/Kunden.db");
    std::filesystem::create_directory_symlink("Daten", testing::DriveTree::Native(tree.Path(u"Verweis")));
#endif
    FakeSystem system;
    system.localAppData = tree.appData();
    system.temporaryFolder = tree.TemporaryFolder();
    system.Add(u"1", both).Add(u"2", table).Add(u"3", spelling);

    // What each row writes when it is exported alone.
    std::vector<std::string> alone;
    for (int row = 1; row <= 4; ++row) {
        std::u16string output = tree.Path(u"einzeln-");
        AppendDecimal(output, row, 1);
        output += u".aaf";
        const Result single = RunCli({u"export", u"--row", std::u16string(1, static_cast<char16_t>(u'0' + row)), output},
                                     system);
        ASSERT_EQ(single.exitCode, 0) << single.err;
        alone.push_back(ReadFileBytes(testing::DriveTree::Native(output)));
    }
    ASSERT_NE(alone[0], alone[1]);  // the XP-mode row reads the copy

    const Result result = RunCli({u"export", u"--all"}, system);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::u16string written[] = {
        ReplaceExtension(both, u".aaf"),
        ReplaceExtension(both, u"") + u" (2).aaf",
        ReplaceExtension(table, u".aaf"),
        ReplaceExtension(spelling, u"") + u" (2).aaf",
    };
    EXPECT_EQ(result.out, ToUtf8(u"Datenbank\tModus\tHoroskope\tAAF-Datei\tErgebnis\n" +
                                 both + u"\tnormal\t2\t" + written[0] + u"\tgespeichert\n" +
                                 both + u"\tXP-Modus\t3\t" + written[1] + u"\tgespeichert\n" +
                                 table + u"\tnormal\t2\t" + written[2] + u"\tgespeichert\n" +
                                 spelling + u"\tnormal\t2\t" + written[3] + u"\tgespeichert\n"));
    for (std::size_t row = 0; row < alone.size(); ++row)
        EXPECT_EQ(ReadFileBytes(testing::DriveTree::Native(written[row])), alone[row]) << ToUtf8(written[row]);
    // Nothing else was written beside the tables.
    const auto aafFiles = [](const std::u16string& folder) {
        std::vector<std::string> names;
        for (const std::string& name : SortedNames(testing::DriveTree::Native(folder)))
            if (name.ends_with(".aaf")) names.push_back(name);
        return names;
    };
    EXPECT_EQ(aafFiles(FolderOfPath(both)), (std::vector<std::string>{"Horoskop (2).aaf", "Horoskop.aaf"}));
    EXPECT_EQ(aafFiles(FolderOfPath(table)).size(), 2u);

    // A second run replaces the files of the first, as a single export does.
    const Result again = RunCli({u"export", u"--all"}, system);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, result.out);
    EXPECT_EQ(aafFiles(FolderOfPath(both)).size(), 2u);
    EXPECT_EQ(ReadFileBytes(testing::DriveTree::Native(written[1])), alone[1]);
}

// "--into" must name a folder the batch may fill: it is refused, with one
// message naming it and before any export, when it is a file, cannot be
// made or written, is the staging folder of the XP-mode merge, or is a
// folder a table is read from (however it is spelled).
TEST(CommandLineTest, ExportAllRefusesAnIntoFolderItMustNotFill) {
    testing::DriveTree tree;
    const std::u16string plain = tree.Path(u"Daten/Horoskop.DB");
    const std::u16string xp = tree.Path(u"Programme/Astro/Horoskop.DB");
    WriteRowTables(tree, plain, xp);
    testing::DriveTree::CreateFile(tree.Path(u"Datei.txt"), "kein Ordner");
    FakeSystem system;
    system.localAppData = tree.appData();
    system.temporaryFolder = tree.TemporaryFolder();
    system.Add(u"1", plain).Add(u"2", xp);
    const std::u16string staging = tree.TemporaryFolder() + u"Kosmara 3.5 Export";
#ifndef _WIN32
    std::filesystem::create_directory_symlink("Daten", testing::DriveTree::Native(tree.Path(u"Verweis")));
#endif

    const char16_t notAFolder[] = u"\"%s\" (nach \"--into\") ist kein Ordner.";
    const char16_t cannotCreate[] = u"Der Ordner \"%s\" (nach \"--into\") kann nicht angelegt werden.";
    const char16_t isStaging[] =
        u"Der Ordner \"%s\" (nach \"--into\") ist der Exportordner, in den Tabellen im XP-Modus kopiert werden; "
        u"die AAF-Dateien werden nicht dorthin geschrieben.";
    const std::u16string isTableFolder = u"Der Ordner \"%s\" (nach \"--into\") ist ein Ordner der Datenbank \"%s\"; "
                                         u"die AAF-Dateien werden nicht dorthin geschrieben.";
    const struct {
        std::u16string into;
        std::u16string message;  // %s: the folder made absolute
    } cases[] = {
        {tree.Path(u"Datei.txt"), notAFolder},
        {tree.Path(u"Datei.txt/unter"), cannotCreate},
        {staging, isStaging},
        {FolderOfPath(plain), FillMessage(isTableFolder, {u"%s", plain})},
        // The XP-mode row's VirtualStore folder.
        {FolderOfPath(tree.StorePath(xp)), FillMessage(isTableFolder, {u"%s", xp})},
#ifdef _WIN32
        {tree.Path(u"DATEN"), FillMessage(isTableFolder, {u"%s", plain})},
#else
        {tree.Path(u"Verweis"), FillMessage(isTableFolder, {u"%s", plain})},  // a link to the folder
#endif
    };
    for (const auto& c : cases) {
        const Result result = RunCli({u"export", u"--all", u"--into", c.into}, system);
        EXPECT_EQ(result.exitCode, 1) << ToUtf8(c.into);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, ToUtf8(FillMessage(c.message, {FullPath(c.into)})) + "\n");
    }
    // No export ran: nothing beside the tables, nothing in the staging folder.
    EXPECT_FALSE(std::filesystem::exists(testing::DriveTree::Native(ReplaceExtension(plain, u".aaf"))));
    EXPECT_FALSE(std::filesystem::exists(testing::DriveTree::Native(ReplaceExtension(xp, u".aaf"))));
    EXPECT_TRUE(std::filesystem::is_empty(testing::DriveTree::Native(staging)));

#ifndef _WIN32
    // A pipe is no folder either; and a folder no file can be made in (even
    // for root) is refused with the system's reason.
    const std::u16string pipe = tree.Path(u"Rohr");
    ASSERT_EQ(::mkfifo(ToNativeBytes(pipe).c_str(), 0600), 0);
    const Result piped = RunCli({u"export", u"--all", u"--into", pipe}, system);
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_EQ(piped.err, ToUtf8(FillMessage(notAFolder, {FullPath(pipe)})) + "\n");
    if (std::filesystem::is_directory("/proc/self")) {
        const Result locked = RunCli({u"export", u"--all", u"--into", u"/proc/self"}, system);
        EXPECT_EQ(locked.exitCode, 1);
        EXPECT_EQ(locked.out, "");
        EXPECT_TRUE(locked.err.starts_with("In den Ordner \"/proc/self\" (nach \"--into\") kann nicht geschrieben werden: "))
            << locked.err;
    }
#endif
}

// On a terminal the export shows its progress on err, at most ten times a
// second, and clears the line at the end; elsewhere err stays as it was.
TEST(CommandLineTest, ShowsProgressOnlyOnATerminal) {
    TempFolder folder;
    auto builder = HoroscopeTableBuilder();
    for (int i = 0; i < 12; ++i) builder.AddRecord(HoroscopeRecord{}.Cells());
    const std::filesystem::path table = WriteTable(builder.Build(), folder.path(), "Horoskop", ".DB");
    for (const bool terminal : {false, true}) {
        std::ostringstream out;
        std::ostringstream err;
        FakeSystem system;
        CommandLineEnvironment environment{out, err, system, {}, terminal, {}};
        double now = 0;
        int calls = 0;
        environment.clock = [&] {
            ++calls;
            return now += 0.04;  // three records take a little more than a tenth of a second
        };
        EXPECT_EQ(RunCommandLine({u"export", U16(table), U16(folder.path() / "out.aaf")}, environment), 0);
        EXPECT_EQ(out.str(), "12 Horoskope gespeichert\n");
        if (!terminal) {
            EXPECT_EQ(err.str(), "");
            EXPECT_EQ(calls, 0);
            continue;
        }
        const std::string shown = err.str();
        EXPECT_EQ(shown.find("\r3 von 12 Datensätzen, 25 je Sekunde"), 0u) << shown;
        EXPECT_NE(shown.find("\r6 von 12 Datensätzen, 25 je Sekunde"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("\r4 von 12"), std::string::npos) << shown;
        const std::string cleared = "\r" + std::string(std::string("12 von 12 Datensätzen, 25 je Sekunde").size() - 1, ' ') + "\r";
        EXPECT_TRUE(shown.ends_with(cleared)) << shown;
    }
}

// --codepage reads the text in another code page than the header names.
TEST(CommandLineTest, ReadsTextInTheCodePageGiven) {
    TempFolder folder;
    const std::filesystem::path table = WriteHoroscopeTable(folder.path());
    const Result header = RunCli({u"dump", U16(table)});
    EXPECT_EQ(header.exitCode, 0) << header.err;
    EXPECT_NE(header.out.find("Müller"), std::string::npos);
    const Result cyrillic = RunCli({u"dump", u"--codepage", u"1251", U16(table)});
    EXPECT_EQ(cyrillic.exitCode, 0) << cyrillic.err;
    EXPECT_NE(cyrillic.out.find("Mьller"), std::string::npos) << cyrillic.out;
    const Result exported = RunCli({u"export", u"--codepage=1251", U16(table), U16(folder.path() / "k.aaf")});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    const std::string bytes = ReadFileBytes(folder.path() / "k.aaf");
    EXPECT_NE(bytes.find("Mьller"), std::string::npos);
    const Result unknown = RunCli({u"dump", u"--codepage", u"4711", U16(table)});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("4711"), std::string::npos) << unknown.err;
}

// A code page after --codepage that the system cannot read is said to be
// that, before any table is opened or output made; the table is not blamed.
TEST(CommandLineTest, RefusesACodePageTheSystemCannotRead) {
    TempFolder folder;
    const std::filesystem::path table = WriteHoroscopeTable(folder.path());
    const std::vector<std::string> before = SortedNames(folder.path());
    const std::vector<std::u16string> calls[] = {
        {u"dump", u"--codepage", u"4711", U16(table)},
        {u"check", u"--codepage=4711", U16(table)},
        {u"export", u"--codepage", u"4711", U16(table), U16(folder / "k.aaf")},
        {u"export", u"--codepage", u"4711", U16(folder / "Fehlt.DB")},
    };
    for (const auto& arguments : calls) {
        const Result result = RunCli(arguments);
        EXPECT_EQ(result.exitCode, 1) << ToUtf8(arguments[0]);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Die Codepage 4711 (nach \"--codepage\") wird auf diesem System nicht unterstützt.\n");
    }
    EXPECT_EQ(SortedNames(folder.path()), before);
}

// A check that cannot walk the table to its end lists what it found up to
// there and the record it could not reach, says so on err and ends with 1.
TEST(CommandLineTest, CheckThatStopsEarlyFails) {
    TempFolder folder;
    std::vector<HoroscopeRecord> records(3);
    records[0].name.clear();
    auto builder = HoroscopeTableBuilder();
    builder.SetRecordsPerBlock(1);
    for (const HoroscopeRecord& record : records) builder.AddRecord(record.Cells());
    testing::BuiltTable built = builder.Build();
    testing::paradox_detail::PutU16(built.db, built.BlockOffset(2), 7);  // block 2 points beyond the file
    const std::filesystem::path table = WriteTable(built, folder.path(), "Horoskop");

    const Result result = RunCli({u"check", U16(table)});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.starts_with("Datensatz\tFeld\tWert\tGrund\r\n1\tName\t\t")) << result.out;
    EXPECT_NE(result.out.find("\r\n3\tTabelle\t"), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with("\tTabelle ab hier nicht lesbar, Prüfung abgebrochen\r\n")) << result.out;
    EXPECT_EQ(result.err, "Die Tabelle ist ab Datensatz 3 nicht lesbar; die Prüfung wurde dort abgebrochen.\n");
}

// "check" lists the doubtful records; "export --report" writes the same list
// beside an AAF file that is the same as without it, and never over the
// AAF file or a file of the table.
TEST(CommandLineTest, ChecksRecordsAndWritesTheReport) {
    TempFolder folder;
    HoroscopeRecord doubtful;
    doubtful.id = "2";
    doubtful.name.clear();
    doubtful.latitude = 95.0;
    const std::filesystem::path table = WriteTable(
        HoroscopeTableBuilder().AddRecord(HoroscopeRecord{}.Cells()).AddRecord(doubtful.Cells()).Build(),
        folder.path(), "Horoskop", ".DB");

    const Result checked = RunCli({u"check", U16(table)});
    EXPECT_EQ(checked.exitCode, 0) << checked.err;
    EXPECT_EQ(checked.err, "");
    EXPECT_TRUE(checked.out.starts_with("Datensatz\tFeld\tWert\tGrund\r\n")) << checked.out;
    std::size_t lines = 0;
    for (std::size_t at = checked.out.find("\r\n2\t"); at != std::string::npos; at = checked.out.find("\r\n2\t", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << checked.out;  // the empty name and the latitude
    EXPECT_EQ(checked.out.find("\r\n1\t"), std::string::npos) << checked.out;

    const Result plain = RunCli({u"export", U16(table), U16(folder / "ohne.aaf")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const Result reported =
        RunCli({u"export", u"--report", U16(folder / "bericht.txt"), U16(table), U16(folder / "mit.aaf")});
    ASSERT_EQ(reported.exitCode, 0) << reported.err;
    EXPECT_EQ(reported.out, "2 Horoskope gespeichert\n");
    EXPECT_EQ(ReadFileBytes(folder / "mit.aaf"), ReadFileBytes(folder / "ohne.aaf"));
    EXPECT_EQ(ReadFileBytes(folder / "bericht.txt"), "\xEF\xBB\xBF" + checked.out);

    // The report may be neither the AAF file nor a file of the table.
    const std::string tableBytes = ReadFileBytes(table);
    const Result onOutput =
        RunCli({u"export", u"--report", U16(folder / "mit.aaf"), U16(table), U16(folder / "mit.aaf")});
    EXPECT_EQ(onOutput.exitCode, 1);
    EXPECT_NE(onOutput.err.find("Der Prüfbericht"), std::string::npos) << onOutput.err;
    EXPECT_EQ(ReadFileBytes(folder / "mit.aaf"), ReadFileBytes(folder / "ohne.aaf"));
    for (const char* name : {"Horoskop.DB", "Horoskop.MB", "./Horoskop.DB"}) {
        const Result onTable = RunCli({u"export", u"--report", U16(folder / name), U16(table), U16(folder / "x.aaf")});
        EXPECT_EQ(onTable.exitCode, 1) << name;
        EXPECT_NE(onTable.err.find("ist eine Datei der Tabelle"), std::string::npos) << onTable.err;
    }
    EXPECT_EQ(ReadFileBytes(table), tableBytes);
}

// A header that names the wrong code page: "check" says so and names the
// option; read in the right page, the hint is gone.
TEST(CommandLineTest, CheckPointsAtAWrongCodePage) {
#ifdef KOSMARA_FIXTURES_DIR
    const std::filesystem::path table =
        std::filesystem::path(KOSMARA_FIXTURES_DIR) / "leonhad-paradoxdriver" / "NOTE1251.DB";
    if (!std::filesystem::exists(table)) GTEST_SKIP() << "fixture missing: " << table;
    const Result header = RunCli({u"check", U16(table)});
    EXPECT_EQ(header.exitCode, 0) << header.err;
    EXPECT_NE(header.err.find("--codepage"), std::string::npos) << header.err;
    const Result right = RunCli({u"check", u"--codepage", u"1251", U16(table)});
    EXPECT_EQ(right.exitCode, 0) << right.err;
    EXPECT_EQ(right.err, "");
#else
    GTEST_SKIP() << "../shared/fixtures/paradox is not there";
#endif
}

TEST(CommandLineTest, ListSaysWhenThereIsNothingToList) {
    FakeSystem empty;
    const Result placeholder = RunCli({u"list"}, empty);
    EXPECT_EQ(placeholder.exitCode, 0);
    EXPECT_EQ(placeholder.out, "(Keine Datenbanken gefunden)\n");
    const Result noRow = RunCli({u"export", u"--row", u"1"}, empty);
    EXPECT_EQ(noRow.exitCode, 1);
    EXPECT_EQ(noRow.err, "Es sind keine Datenbanken eingetragen.\n");

    FakeSystem noRegistry;
    noRegistry.hasRegistry = false;
    for (const std::vector<std::u16string>& arguments : {std::vector<std::u16string>{u"list"},
                                                         std::vector<std::u16string>{u"export", u"--row", u"1"}}) {
        const Result result = RunCli(arguments, noRegistry);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err,
                  "Auf diesem System gibt es keine Windows-Registrierung, in der Kosmara 3.5 seine Datenbanken "
                  "einträgt.\n");
    }
}

#ifndef _WIN32
// File names on Linux are bytes: a table named in Latin-1 is found, converted
// beside itself under the same bytes, and named readably in messages.
TEST(CommandLineTest, ExportsATableWhoseNameIsNoUtf8) {
    TempFolder folder;
    WriteHoroscopeTable(folder.path(), "Hor\xF6skop");
    const std::u16string table = FromNativeBytes((folder.path() / "Hor\xF6skop.DB").string());
    const Result result = RunCli({u"export", table});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Hor\xF6skop.aaf"));
    const Result missing = RunCli({u"export", FromNativeBytes((folder.path() / "Gr\xFC\xDF" "e.DB").string())});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Grüße.DB\" wurde nicht gefunden."), std::string::npos) << missing.err;
}
#endif

TEST(CommandLineTest, ReportsAMissingTable) {
    TempFolder folder;
    const struct {
        std::vector<std::u16string> arguments;
        const char* named;  // in the message
    } cases[] = {
        {{u"dump", U16(folder / "Fehlt.DB")}, "Fehlt.DB"},
        {{u"export", U16(folder / "Fehlt.DB")}, "Fehlt.DB"},
        {{u"export", U16(folder / "kein Ordner" / "Fehlt.DB")}, "kein Ordner"},
    };
    for (const auto& c : cases) {
        const Result result = RunCli(c.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        ASSERT_FALSE(result.err.empty());
        EXPECT_EQ(result.err.back(), '\n');
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));  // no output made
}

}  // namespace
}  // namespace kosmara
