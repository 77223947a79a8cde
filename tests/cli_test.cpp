#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/text.h"
#include "engine/engine_objects.h"
#include "fake_system.h"
#include "paradox_builder.h"
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
    CommandLineEnvironment environment{out, err, system, {}};
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
        {{u"list", u"--password", u"x"}, "Die Option \"--password\" gilt nicht für \"list\"."},
        {{u"dump", u"--xp-mode", u"a.db"}, "Die Option \"--xp-mode\" gilt nicht für \"dump\"."},
        {{u"dump", u"--row", u"1"}, "Die Option \"--row\" gilt nicht für \"dump\"."},
        {{u"export", u"--row"}, "Nach \"--row\" fehlt die Zeilennummer."},
        {{u"export", u"--row", u"0"}, "\"0\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row=+2"}, "\"+2\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row", u"zwei"}, "\"zwei\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row", u"99999999999"}, "\"99999999999\" ist keine Zeilennummer (1, 2, 3 ...)."},
        {{u"export", u"--row", u"1", u"a.db", u"b.aaf"}, "Mit \"--row\" wird keine Tabelle angegeben: \"a.db\"."},
        {{u"export", u"--row", u"1", u"--xp-mode"}, "\"--xp-mode\" und \"--row\" schließen sich aus: die Zeile bestimmt den Modus."},
        {{u"export", u"--row", u"1", u""}, "Die Ausgabedatei ist leer angegeben."},
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
        EXPECT_NE(result.out.find("kosmara2aaf export [--xp-mode] [--password KENNWORT]... TABELLE [AUSGABE]"),
                  std::string::npos);
        EXPECT_NE(result.out.find("kosmara2aaf export [--password KENNWORT]... --row N [AUSGABE]"), std::string::npos);
        EXPECT_NE(result.out.find("kosmara2aaf list"), std::string::npos);
        EXPECT_NE(result.out.find("Rückgabewerte"), std::string::npos);
    }
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
