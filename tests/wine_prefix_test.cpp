// The registry of a Wine prefix read from its hive files, its drives
// reached through its "dosdevices" links, and discovery and the export job
// run on such a prefix made in a temporary folder. A prefix made by a real
// Wine is read by RealWinePrefix, which wine_hive.sh starts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "core/error.h"
#include "core/text.h"
#include "core/time_format.h"
#include "databases/discovery.h"
#include "databases/export_job.h"
#include "databases/registry_hive.h"
#include "databases/wine_prefix.h"
#include "fake_system.h"
#include "paradox_builder.h"
#include "platform/file.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteFileBytes;

constexpr char kHeader[] = "WINE REGISTRY Version 2\n";

// The data the registry returns for a string: UTF-16LE with its closing null.
std::string StringData(std::u16string_view text) {
    std::string data;
    for (const char16_t c : text) {
        data += static_cast<char>(c & 0xFF);
        data += static_cast<char>(c >> 8);
    }
    return data + std::string(2, '\0');
}

std::string Repeated(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text;
    return result;
}

RegistryHive HiveOf(const std::string& body) { return RegistryHive::Parse(kHeader + body, u"/p/user.reg"); }

std::u16string DamageOf(const std::string& text) {
    try {
        RegistryHive::Parse(text, u"/p/user.reg");
    } catch (const Error& error) {
        return error.message();
    }
    return u"(keine Meldung)";
}

// Sets an environment variable for one scope, and restores it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(RegistryHive, ValuesComeOutWithTheTypeAndDataOfTheRegistry) {
    const struct {
        const char* line;
        const char16_t* name;
        std::uint32_t type;
        std::string data;
    } cases[] = {
        // Doubled backslashes and characters outside ASCII, as "wine reg add" stores them.
        {R"("a"="C:\\\\Daten\\\\H\xf6rosk\xf6p.DB")", u"a", kRegSz, StringData(u"C:\\\\Daten\\\\Hörosköp.DB")},
        {R"("q"="sagt \"ja\"\n\r\t\a\b\e\f\v!")", u"q", kRegSz, StringData(u"sagt \"ja\"\n\r\t\a\b\x1B\f\v!")},
        // \x takes up to four digits: Wine writes four when a digit follows.
        {R"("x"="\x00e4b\x20ac\x41x\xq")", u"x", kRegSz, StringData(u"äb€Axxq")},
        {R"("o"="\0011\12\101\0")", u"o", kRegSz, StringData(std::u16string(u"\x01" u"1\nA") + u'\0')},
        {R"(@="Vorgabe")", u"", kRegSz, StringData(u"Vorgabe")},
        {R"("s"=str:"schlicht")", u"s", kRegSz, StringData(u"schlicht")},
        {R"("leer"="")", u"leer", kRegSz, StringData(u"")},
        {R"("exp"=str(2):"%USERPROFILE%\\x")", u"exp", kRegExpandSz, StringData(u"%USERPROFILE%\\x")},
        {R"("multi"=str(7):"eins\0zwei\0")", u"multi", kRegMultiSz,
         StringData(std::u16string(u"eins") + u'\0' + u"zwei" + u'\0')},
        {R"("d"=dword:0000002a)", u"d", kRegDword, std::string("\x2a\0\0\0", 4)},
        {R"("dmax"=dword:FFFFFFFF)", u"dmax", kRegDword, std::string(4, '\xFF')},
        {R"("b"=hex:01,02,ff)", u"b", kRegBinary, "\x01\x02\xFF"},
        {R"("b0"=hex:)", u"b0", kRegBinary, ""},
        {"\"h2\"=hex(2):25,00,41,00,\\\n  25,00,00,00", u"h2", kRegExpandSz, StringData(u"%A%")},
        {"\"h7\"=hex(7):61,00,00,00,\\\n  62,00,00,00,\\\n  00,00", u"h7", kRegMultiSz,
         std::string("a\0\0\0b\0\0\0\0\0", 10)},
        {R"("none"=hex(0):)", u"none", 0, ""},
        {R"("big"=hex(ffff0007):0a)", u"big", 0xFFFF0007u, "\x0a"},
        {R"("Bei\"spiel\\x\[\]"="v")", u"Bei\"spiel\\x[]", kRegSz, StringData(u"v")},
        {"  \"eingerückt\" = \"v\"  ", u"eingerückt", kRegSz, StringData(u"v")},
        {"\"utf8\"=\"H\xC3\xB6ren\"", u"utf8", kRegSz, StringData(u"Hören")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const RegistryHive hive = HiveOf(std::string("[Software\\\\Test] 1700000000\n#time=1d9\n") + c.line + "\n");
        const std::vector<RegistryValue>* values = hive.Values(u"Software\\Test");
        ASSERT_NE(values, nullptr);
        ASSERT_EQ(values->size(), 1u);
        EXPECT_EQ(ToUtf8(values->front().name), ToUtf8(c.name));
        EXPECT_EQ(values->front().type, c.type);
        EXPECT_EQ(values->front().data, c.data);
    }
}

TEST(RegistryHive, KeysAreFoundWithoutRegardToCase) {
    const RegistryHive hive = HiveOf(
        ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
        "\n"
        "#arch=win64\n"
        "[Software\\\\Veltrane\\\\Kosmara 3.5\\\\Horoskope] 1700000000\r\n"
        "#time=1d98a7b3c2d1e0f\r\n"
        "#class=\"Klasse\"\r\n"
        "; a comment\r\n"
        "\"Zweiter\"=\"b\"\r\n"
        "\"Erster\"=\"a\"\r\n"
        "\"zweiter\"=\"c\"\r\n"
        "\n"
        "[Software\\\\Wine\\\\Link] 1700000000\n"
        "#link\n"
        "\"SymbolicLinkValue\"=hex(6):5c,00\n"
        "[Software\\\\Ecke\\]n] 1700000000\n"
        "[software\\\\veltrane\\\\kosmara 3.5\\\\horoskope] 1700000001\n"
        "\"Dritter\"=\"d\"\n");
    EXPECT_EQ(hive.relativeTo(), u"REGISTRY\\User\\S-1-5-21-0-0-0-1000");
    const std::vector<RegistryValue>* values = hive.Values(u"SOFTWARE\\veltrane\\KOSMARA 3.5\\Horoskope");
    ASSERT_NE(values, nullptr);
    // A name given again replaces the data at its first place; a section
    // given again adds to the same key.
    ASSERT_EQ(values->size(), 3u);
    EXPECT_EQ((*values)[0].name, u"zweiter");
    EXPECT_EQ((*values)[0].data, StringData(u"c"));
    EXPECT_EQ((*values)[1].name, u"Erster");
    EXPECT_EQ((*values)[2].name, u"Dritter");
    EXPECT_EQ(hive.Text(u"software\\Veltrane\\Kosmara 3.5\\Horoskope", u"ERSTER"), u"a");
    EXPECT_EQ(hive.Text(u"Software\\Veltrane\\Kosmara 3.5\\Horoskope", u"Vierter"), std::nullopt);
    // The keys on the way exist, without values.
    ASSERT_NE(hive.Values(u"Software\\Veltrane"), nullptr);
    EXPECT_TRUE(hive.Values(u"Software\\Veltrane")->empty());
    EXPECT_EQ(hive.Values(u"Software\\Veltrane\\Kosmara"), nullptr);
    EXPECT_NE(hive.Values(u"Software\\Ecke]n"), nullptr);
    EXPECT_EQ(hive.Values(u"Software\\Wine\\Link")->size(), 1u);
}

TEST(RegistryHive, ADamagedFileNamesTheLineAtFault) {
    const struct {
        std::string text;
        const char16_t* message;
    } cases[] = {
        {"", u"1 beschädigt: die Kopfzeile \"WINE REGISTRY Version 2\" fehlt"},
        {"WINE REGISTRY Version 1\n[A] 1\n", u"1 beschädigt: die Kopfzeile \"WINE REGISTRY Version 2\" fehlt"},
        {"REGEDIT4\n", u"1 beschädigt: die Kopfzeile \"WINE REGISTRY Version 2\" fehlt"},
        {"WINE REGISTRY Version 2\n\"a\"=\"b\"\n", u"2 beschädigt: Wert vor dem ersten Schlüssel"},
        {"WINE REGISTRY Version 2\n\n[A] 1\n\"a\"=\"b\n", u"4 beschädigt: der Zeichenkette fehlt das schließende Anführungszeichen"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a=\"b\"\n", u"3 beschädigt: nach dem Wertnamen fehlt \"=\""},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=\"b\\\"\n", u"3 beschädigt: der Zeichenkette fehlt das schließende Anführungszeichen"},
        {"WINE REGISTRY Version 2\n[A\\\\B 1\n", u"2 beschädigt: dem Schlüsselnamen fehlt die schließende Klammer"},
        {"WINE REGISTRY Version 2\n[A] 1\nSoftware\n", u"3 beschädigt: die Zeile ist weder Schlüssel noch Wert"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=foo:1\n", u"3 beschädigt: unbekannter Werttyp"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=\"b\" c\n", u"3 beschädigt: unerwartete Zeichen nach dem Wert"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=dword:\n", u"3 beschädigt: nach \"dword:\" fehlt die Zahl"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=dword:12x\n", u"3 beschädigt: unerwartete Zeichen nach dem Wert"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=dword:123456789\n", u"3 beschädigt: die Zahl hat mehr als acht Hexadezimalziffern"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=hex:01,zz\n", u"3 beschädigt: ungültiges Zeichen in der Bytefolge"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=hex:100\n", u"3 beschädigt: ein Byte hat mehr als zwei Hexadezimalziffern"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=hex(2:01\n", u"3 beschädigt: der Typ in \"hex(...):\" ist keine Hexadezimalzahl"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=hex:01,\\\n  02,\\\n  0g\n",
         u"5 beschädigt: ungültiges Zeichen in der Bytefolge"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=hex:01,\\\n", u"3 beschädigt: die fortgesetzte Bytefolge bricht am Dateiende ab"},
        {"WINE REGISTRY Version 2\n[A] 1\n\"a\"=hex:01,\\ x\n", u"3 beschädigt: unerwartete Zeichen nach dem Wert"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ToUtf8(DamageOf(c.text)),
                  ToUtf8(std::u16string(u"Die Registrierungsdatei \"/p/user.reg\" ist in Zeile ") + c.message));
    }
}

// Hives far larger than Wine writes: one key path of 60,000 names (every
// parent exists) and one key of 100,000 values, each name given twice in
// another case; the later data replaces the earlier at its place.
TEST(RegistryHive, LongKeyPathsAndManyValuesAreRead) {
    std::string deep = "[";
    for (int i = 0; i < 60000; ++i) deep += i == 0 ? "k" : "\\\\k";
    deep += "] 1\n\"tief\"=\"unten\"\n";
    std::string many = "[Software\\\\Viele] 1\n";
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 100000; ++i)
            many += (round == 0 ? "\"Wert" : "\"WERT") + std::to_string(i) + "\"=dword:" + (round == 0 ? "0" : "1") + "\n";
    const RegistryHive hive = HiveOf(deep + many);

    std::u16string path = u"K";
    for (int i = 1; i < 60000; ++i) path += u"\\k";
    EXPECT_EQ(hive.Text(path, u"TIEF"), u"unten");
    ASSERT_NE(hive.Values(path.substr(0, 2 * 30000 - 1)), nullptr);
    EXPECT_TRUE(hive.Values(path.substr(0, 2 * 30000 - 1))->empty());
    EXPECT_EQ(hive.Values(path + u"\\k"), nullptr);
    EXPECT_EQ(hive.Values(u"k\\K\\x"), nullptr);

    const std::vector<RegistryValue>* values = hive.Values(u"software\\viele");
    ASSERT_NE(values, nullptr);
    ASSERT_EQ(values->size(), 100000u);
    EXPECT_EQ((*values)[99999].name, u"WERT99999");
    EXPECT_EQ((*values)[99999].data, std::string("\1\0\0\0", 4));
    EXPECT_EQ((*values)[0].name, u"WERT0");
}

// A prefix as Wine makes it: dosdevices with "c:" -> ../drive_c and a
// second drive linked to a folder elsewhere, user.reg with the shell's
// folders, and drive_c with the user's profile.
class PrefixTree {
public:
    PrefixTree() : prefix_(temp_.path() / "prefix"), elsewhere_(temp_.path() / "anderswo") {
        fs::create_directories(prefix_ / "dosdevices");
        fs::create_directories(prefix_ / "drive_c" / "users" / "anna" / "AppData" / "Local");
        fs::create_directories(elsewhere_);
        fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
        fs::create_directory_symlink(elsewhere_, prefix_ / "dosdevices" / "d:");
        fs::create_symlink("/dev/ttyS0", prefix_ / "dosdevices" / "com1");
    }
    const fs::path& prefix() const { return prefix_; }
    const fs::path& elsewhere() const { return elsewhere_; }
    fs::path DriveC() const { return prefix_ / "drive_c"; }
    // A folder outside the prefix for the test's own files.
    fs::path Scratch() const {
        fs::create_directories(temp_.path() / "scratch");
        return temp_.path() / "scratch";
    }
    fs::path Store() const { return DriveC() / "users" / "anna" / "AppData" / "Local" / "VirtualStore"; }
    std::u16string PrefixText() const { return FromNativeBytes(prefix_.native()); }
    std::u16string Text(const fs::path& path) const { return FromNativeBytes(path.native()); }

    void WriteUserHive(const std::string& keys) const { WriteFileBytes(prefix_ / "user.reg", HiveText(keys)); }
    static std::string HiveText(const std::string& keys) {
        return std::string(kHeader) + ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n" +
               keys;
    }
    std::unique_ptr<WinePrefixSystem> Open() const { return OpenWinePrefix(PrefixText()); }

private:
    TempFolder temp_;
    fs::path prefix_;
    fs::path elsewhere_;
};

const std::string kShellFolders =
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1700000000\n"
    "\"Local AppData\"=\"C:\\\\users\\\\anna\\\\AppData\\\\Local\"\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1700000000\n"
    "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n"
    "\n"
    "[Volatile Environment] 1700000000\n"
    "\"USERPROFILE\"=\"C:\\\\users\\\\anna\"\n";

TEST(WinePrefix, LocalAppDataComesFromTheShellFoldersAsWineStoresThem) {
    const std::string userShell =
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1\n";
    const std::string shell = "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1\n";
    const std::string profileList =
        std::string(kHeader) +
        "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-0-0-1000] 1\n"
        "\"ProfileImagePath\"=str(2):\"%SystemDrive%\\\\users\\\\bert\"\n";
    const struct {
        const char* what;
        std::string user;
        std::string system;  // system.reg; empty: none
        std::optional<std::u16string> folder;
    } cases[] = {
        {"expanded from the volatile environment", kShellFolders, "", u"C:\\users\\anna\\AppData\\Local"},
        {"the user's variables, one referring to another",
         userShell + "\"Local AppData\"=str(2):\"%Daten%\\\\Lokal\\\\\"\n[Environment] 1\n"
                     "\"DATEN\"=str(2):\"%USERPROFILE%\\\\Eigene\"\n[Volatile Environment] 1\n\"UserProfile\"=\"D:\\\\anna\"\n",
         "", u"D:\\anna\\Eigene\\Lokal"},
        {"the profile folder from system.reg",
         userShell + "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n", profileList,
         u"C:\\users\\bert\\AppData\\Local"},
        {"unexpandable: the plain shell folder",
         userShell + "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n" + shell +
             "\"Local AppData\"=\"C:\\\\users\\\\carl\\\\AppData\\\\Local\"\n",
         "", u"C:\\users\\carl\\AppData\\Local"},
        {"a plain string needs no expanding", userShell + "\"Local AppData\"=\"E:\\\\Lokal\"\n", "", u"E:\\Lokal"},
        {"no folder at all", userShell + "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\x\"\n", "", std::nullopt},
        {"a number is no folder", shell + "\"Local AppData\"=dword:00000001\n", "", std::nullopt},
        // 1,000 references to 1,000 references to 1,000 letters: beyond the
        // 32,767 characters Windows expands, so the plain shell folder.
        {"references multiplying beyond what Windows expands",
         userShell + "\"Local AppData\"=str(2):\"C:\\\\" + Repeated("%A%", 1000) + "\"\n[Environment] 1\n\"A\"=str(2):\"" +
             Repeated("%B%", 1000) + "\"\n\"B\"=\"" + std::string(1000, 'x') + "\"\n" + shell +
             "\"Local AppData\"=\"C:\\\\users\\\\carl\"\n",
         "", u"C:\\users\\carl"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PrefixTree tree;
        tree.WriteUserHive(c.user);
        if (!c.system.empty()) WriteFileBytes(tree.prefix() / "system.reg", c.system);
        EXPECT_EQ(tree.Open()->LocalAppDataFolder(), c.folder);
    }
}

// The prefix user's documents folder, where an output goes when the
// table's folder takes no new file: "Personal" of the shell folders, else
// "Documents" in the profile folder, else in the folder Wine names after
// the Unix user; only an existing folder, at its Linux path.
TEST(WinePrefix, TheDocumentsFolderIsTheOneWinesProgramsSaveTo) {
    const std::string userShell =
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1\n";
    const std::string shell = "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1\n";
    const std::string profile = "[Volatile Environment] 1\n\"USERPROFILE\"=\"C:\\\\users\\\\anna\"\n";
    const struct {
        const char* what;
        std::string user;
        std::vector<std::string> folders;  // below the prefix's parent: "prefix/drive_c/...", "anderswo/..."
        const char* unixUser;
        std::optional<std::string> expected;
    } cases[] = {
        {"Personal, expanded as Wine stores it", userShell + "\"Personal\"=str(2):\"%USERPROFILE%\\\\Documents\"\n" + profile,
         {"prefix/drive_c/users/anna/Documents"}, "root", "prefix/drive_c/users/anna/Documents"},
        {"Personal on another drive", shell + "\"Personal\"=\"D:\\\\Texte\\\\\"\n", {"anderswo/Texte"}, "root",
         "anderswo/Texte"},
        {"Personal missing on the disk: the profile's Documents", shell + "\"Personal\"=\"D:\\\\Fehlt\"\n" + profile,
         {"prefix/drive_c/users/anna/Documents"}, "root", "prefix/drive_c/users/anna/Documents"},
        {"no shell folder, no profile: the Unix user's", "", {"prefix/drive_c/users/bert/Documents"}, "bert",
         "prefix/drive_c/users/bert/Documents"},
        {"none of them exists", shell + "\"Personal\"=\"C:\\\\users\\\\anna\\\\Documents\"\n", {}, "anna", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PrefixTree tree;
        tree.WriteUserHive(c.user);
        for (const std::string& folder : c.folders) fs::create_directories(tree.prefix().parent_path() / folder);
        const ScopedVariable user("USER", c.unixUser);
        const ScopedVariable logName("LOGNAME", nullptr);
        const std::optional<std::u16string> documents = tree.Open()->DocumentsFolder();
        if (!c.expected) {
            EXPECT_EQ(documents, std::nullopt);
            continue;
        }
        ASSERT_TRUE(documents.has_value());
        EXPECT_TRUE(fs::equivalent(fs::path(ToNativeBytes(*documents)), tree.prefix().parent_path() / *c.expected))
            << ToUtf8(*documents);
    }
}

TEST(WinePrefix, WindowsPathsLeadThroughTheDriveLinks) {
    const PrefixTree tree;
    tree.WriteUserHive(kShellFolders);
    fs::create_directories(tree.DriveC() / "Programme" / "Astro");
    WriteFileBytes(tree.DriveC() / "Programme" / "Astro" / "Horoskop.DB", "x");
    fs::create_directories(tree.elsewhere() / "Kunden");
    const auto system = tree.Open();
    const std::u16string c = tree.Text(tree.DriveC());
    const std::u16string d = tree.Text(tree.elsewhere());
    const struct {
        const char16_t* windows;
        std::optional<std::u16string> linux;
    } cases[] = {
        {u"C:\\Programme\\Astro\\Horoskop.DB", c + u"/Programme/Astro/Horoskop.DB"},
        // The drive letter and every name found without regard to case;
        // "/" separates as "\" does; empty components drop out.
        {u"c:/PROGRAMME\\\\astro\\HOROSKOP.db", c + u"/Programme/Astro/Horoskop.DB"},
        {u"C:\\Programme\\Fehlt\\Astro\\Horoskop.DB", c + u"/Programme/Fehlt/Astro/Horoskop.DB"},
        {u"D:\\kunden\\Kunden.DB", d + u"/Kunden/Kunden.DB"},
        {u"C:\\", c},
        {u"C:Programme", c + u"/Programme"},
        // ".." at the drive's root stays there, as in Windows: no path
        // leaves the drive's folder.
        {u"C:\\..\\Programme\\Astro", c + u"/Programme/Astro"},
        {u"C:\\..\\..\\..\\x", c + u"/x"},
        {u"C:..", c},
        {u"C:\\Programme\\.\\..\\programme\\Astro\\..\\..\\..\\Programme", c + u"/Programme"},
        {u"C:\\Programme\\Fehlt\\..\\Astro", c + u"/Programme/Astro"},
        {u"E:\\Daten\\Horoskop.DB", std::nullopt},  // no such drive
        {u"\\\\server\\freigabe\\Horoskop.DB", std::nullopt},
        {u"Daten\\Horoskop.DB", std::nullopt},
        {u"%USERPROFILE%\\Horoskop.DB", std::nullopt},
        {u"1:\\x", std::nullopt},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(ToUtf8(test.windows));
        EXPECT_EQ(system->LinuxPath(test.windows), test.linux);
    }
    // A registered path of 200,000 names below a missing folder.
    std::u16string deepWindows = u"C:\\Fehlt";
    std::u16string deepLinux = c + u"/Fehlt";
    for (int i = 0; i < 200000; ++i) {
        deepWindows += u"\\a";
        deepLinux += u"/a";
    }
    EXPECT_EQ(system->LinuxPath(deepWindows), deepLinux);
    // A null would end the name where the file calls read it ("..\0x").
    EXPECT_EQ(system->LinuxPath(std::u16string(u"C:\\..\0x\\..\\x", 12)), std::nullopt);
    EXPECT_TRUE(system->FileExists(u"C:\\PROGRAMME\\Astro\\horoskop.db"));
    EXPECT_FALSE(system->FolderExists(u"C:\\PROGRAMME\\Astro\\horoskop.db"));
    EXPECT_TRUE(system->FolderExists(u"d:\\KUNDEN"));
    EXPECT_FALSE(system->FileExists(u"E:\\Daten\\Horoskop.DB"));
    EXPECT_FALSE(system->FolderExists(u"\\\\server\\freigabe"));
    EXPECT_EQ(system->FileSystemPath(u"C:\\Programme"), c + u"/Programme");
    try {
        system->FileSystemPath(u"\\\\server\\freigabe\\Horoskop.DB");
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), u"Der Pfad \"\\\\server\\freigabe\\Horoskop.DB\" liegt auf keinem Laufwerk des "
                                   u"Wine-Präfixes \"" + tree.PrefixText() + u"\"");
    }
    // Folders by Windows' rules.
    EXPECT_EQ(system->FolderOf(u"C:\\Programme\\Astro\\Horoskop.DB"), u"C:\\Programme\\Astro");
    EXPECT_EQ(system->FolderOf(u"C:/Programme/Horoskop.DB"), u"C:/Programme");
    EXPECT_EQ(system->FolderOf(u"C:\\Horoskop.DB"), u"C:\\");
    EXPECT_EQ(system->FolderOf(u"C:Horoskop.DB"), u"C:");
    // The machine's registry is not read.
    EXPECT_TRUE(system->HasRegistry());
    EXPECT_EQ(system->RegistryValues(RegistryRoot::kLocalMachine, u"Software"), std::nullopt);
}

TEST(WinePrefix, AMissingOrUnreadablePrefixSaysWhichFolder) {
    const PrefixTree tree;
    const auto messageOf = [](const std::u16string& folder) {
        try {
            OpenWinePrefix(folder);
        } catch (const Error& error) {
            return error.message();
        }
        return std::u16string(u"(keine Meldung)");
    };
    const std::u16string missing = tree.PrefixText() + u"/fehlt";
    EXPECT_EQ(messageOf(missing + u"/"),
              u"Das Wine-Präfix \"" + missing + u"\" existiert nicht oder ist kein Ordner");
    EXPECT_EQ(messageOf(tree.PrefixText()), u"Die Registrierung des Wine-Präfixes \"" + tree.PrefixText() +
                                                u"\" (user.reg) kann nicht gelesen werden. " + SystemErrorText(ENOENT));
    WriteFileBytes(tree.prefix() / "user.reg", std::string(kHeader) + "[A] 1\n\"a\"=hex:0x\n");
    EXPECT_EQ(messageOf(tree.PrefixText()), u"Die Registrierungsdatei \"" + tree.PrefixText() +
                                                u"/user.reg\" ist in Zeile 3 beschädigt: ungültiges Zeichen in der Bytefolge");
    // A damaged system.reg shows when it is needed for the profile folder.
    tree.WriteUserHive(
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1\n"
        "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n");
    WriteFileBytes(tree.prefix() / "system.reg", "WINE REGISTRY\n");
    try {
        tree.Open()->LocalAppDataFolder();
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), u"Die Registrierungsdatei \"" + tree.PrefixText() +
                                       u"/system.reg\" ist in Zeile 1 beschädigt: die Kopfzeile \"WINE REGISTRY "
                                       u"Version 2\" fehlt");
    }
}

// system.reg is read once: the profile folder it gave stays when the file
// changes afterwards, and a user.reg or system.reg that is no file is named
// with what it is, without waiting on it.
TEST(WinePrefix, TheHivesAreReadOnceAndOnlyFromFiles) {
    const std::string userShell =
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1\n"
        "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n";
    const std::string profileList =
        std::string(kHeader) +
        "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-0-0-1000] 1\n"
        "\"ProfileImagePath\"=\"C:\\\\users\\\\bert\"\n";
    {
        const PrefixTree tree;
        tree.WriteUserHive(userShell);
        WriteFileBytes(tree.prefix() / "system.reg", profileList);
        const auto system = tree.Open();
        EXPECT_EQ(system->LocalAppDataFolder(), u"C:\\users\\bert\\AppData\\Local");
        WriteFileBytes(tree.prefix() / "system.reg", "kaputt\n");
        EXPECT_EQ(system->LocalAppDataFolder(), u"C:\\users\\bert\\AppData\\Local");
    }
    const struct {
        const char* what;
        const char* file;
        const char16_t* kind;
        std::function<void(const fs::path&)> make;
    } cases[] = {
        {"a FIFO", "user.reg", u"eine benannte Pipe (FIFO)",
         [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"a device", "user.reg", u"ein zeichenorientiertes Gerät",
         [](const fs::path& at) { fs::create_symlink("/dev/null", at); }},
        {"a folder", "user.reg", u"ein Ordner", [](const fs::path& at) { fs::create_directory(at); }},
        {"a socket", "user.reg", u"ein Socket",
         [](const fs::path& at) {
             const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
             ASSERT_GE(sock, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             ASSERT_LT(at.native().size(), sizeof address.sun_path);
             std::copy(at.native().begin(), at.native().end(), address.sun_path);
             EXPECT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             ::close(sock);
         }},
        {"system.reg a FIFO", "system.reg", u"eine benannte Pipe (FIFO)",
         [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PrefixTree tree;
        if (std::string(c.file) != "user.reg") tree.WriteUserHive(userShell);
        c.make(tree.prefix() / c.file);
        try {
            tree.Open()->LocalAppDataFolder();
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(ToUtf8(error.message()), ToUtf8(u"Die Registrierungsdatei \"" + tree.PrefixText() + u"/" +
                                                      FromUtf8(c.file) + u"\" ist keine gewöhnliche Datei, sondern " +
                                                      c.kind + u"."));
        }
    }
}

TEST(WinePrefix, TheDefaultPrefixIsWinesOwn) {
    {
        const ScopedVariable prefix("WINEPREFIX", "/srv/wein");
        EXPECT_EQ(DefaultWinePrefix(), u"/srv/wein");
    }
    {
        const ScopedVariable prefix("WINEPREFIX", "");
        const ScopedVariable home("HOME", "/home/anna");
        EXPECT_EQ(DefaultWinePrefix(), u"/home/anna/.wine");
    }
    const ScopedVariable prefix("WINEPREFIX", nullptr);
    const ScopedVariable home("HOME", nullptr);
    EXPECT_THROW(DefaultWinePrefix(), Error);
}

// Answers the output question with a file of the test's and keeps what it
// was shown.
class RecordingUi : public UserInterface {
public:
    explicit RecordingUi(std::u16string output) : output_(std::move(output)) {}
    std::vector<std::u16string> proposals;
    std::vector<std::u16string> messages;
    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
    std::optional<std::u16string> AskOutputFile(std::u16string_view proposed) override {
        proposals.emplace_back(proposed);
        return output_;
    }
    std::optional<std::u16string> AskPassword(std::u16string_view) override { return std::nullopt; }

private:
    std::u16string output_;
};

void CopySample(const fs::path& folder) {
    const fs::path samples(KOSMARA_SAMPLES_DIR);
    fs::create_directories(folder);
    for (const char* name : {"Horoskop.DB", "Horoskop.MB"})
        fs::copy_file(samples / name, folder / name, fs::copy_options::overwrite_existing);
}

// The registered databases of a prefix: discovery as on Windows, rows with
// Windows paths and the Linux paths they read, and the XP-mode row
// exported through the VirtualStore copy.
TEST(WinePrefix, DiscoveryAndExportWorkOnThePrefix) {
    const PrefixTree tree;
    tree.WriteUserHive(kShellFolders +
                       "\n[Software\\\\Veltrane\\\\Kosmara 3.5\\\\Horoskope] 1700000000\n"
                       "\"Astro\"=\"C:\\\\\\\\Programme\\\\\\\\Astro\\\\\\\\Horoskop.DB\"\n"
                       "\"Kunden\"=str(2):\"d:\\\\kunden\\\\HOROSKOP.DB\"\n"
                       "\"Binaer\"=hex:45,00,3a,00,5c,00,78,00,00,00\n"
                       "\"Netz\"=\"\\\\\\\\server\\\\h.DB\"\n"
                       "\"Zahl\"=dword:00000001\n");
    // The table folder holds an older table of one horoscope; the legacy
    // program's writes went to the VirtualStore, which holds the sample.
    const fs::path astro = tree.DriveC() / "Programme" / "Astro";
    auto builder = testing::HoroscopeTableBuilder();
    testing::HoroscopeRecord record;
    record.id = "1";
    record.name = "Alt";
    builder.AddRecord(record.Cells());
    fs::create_directories(astro);
    testing::WriteTable(builder.Build(), astro, "Horoskop", ".DB");
    CopySample(tree.Store() / "Programme" / "Astro");
    CopySample(tree.elsewhere() / "Kunden");

    const auto system = tree.Open();
    DatabaseRows rows;
    ASSERT_TRUE(DiscoverDatabases(*system, rows));
    const std::u16string store = u"C:\\users\\anna\\AppData\\Local\\VirtualStore\\Programme\\Astro\\Horoskop.DB";
    EXPECT_EQ(rows.items, (std::vector<std::u16string>{
                              u"C:\\Programme\\Astro\\Horoskop.DB", u"(XP-Modus) C:\\Programme\\Astro\\Horoskop.DB",
                              u"d:\\kunden\\HOROSKOP.DB", u"(Existiert nicht) E:\\x", u"(Existiert nicht) \\server\\h.DB"}));
    EXPECT_EQ(rows.paths, (std::vector<std::u16string>{u"C:\\Programme\\Astro\\Horoskop.DB", store,
                                                       u"d:\\kunden\\HOROSKOP.DB", u"E:\\x", u"\\server\\h.DB"}));
    EXPECT_EQ(rows.purePaths[1], u"C:\\Programme\\Astro\\Horoskop.DB");

    const std::u16string linuxAstro = tree.Text(astro / "Horoskop.DB");
    const std::u16string linuxStore = tree.Text(tree.Store() / "Programme" / "Astro" / "Horoskop.DB");
    EXPECT_EQ(LinuxPathOfRow(*system, rows, 0), linuxAstro);
    EXPECT_EQ(LinuxPathOfRow(*system, rows, 1), linuxStore);
    EXPECT_EQ(LinuxPathOfRow(*system, rows, 2), tree.Text(tree.elsewhere() / "Kunden" / "Horoskop.DB"));
    EXPECT_EQ(LinuxPathOfRow(*system, rows, 3), std::nullopt);
    EXPECT_EQ(LinuxPathOfRow(*system, rows, 4), std::nullopt);
    EXPECT_EQ(LinuxPathOfRow(*system, rows, 5), std::nullopt);

    // The staging folder lies in the system's temporary folder: the test's.
    const fs::path temp = tree.Scratch();
    const ScopedVariable tmpdir("TMPDIR", temp.c_str());
    const std::u16string staging = FromNativeBytes((temp / "Kosmara 3.5 Export").native());
    const auto exportRow = [&](std::size_t row, const char* output) {
        const RowExport what = ExportOfRow(rows, static_cast<std::ptrdiff_t>(row));
        Session session(u"Test");
        Database db1(session);
        Table tbl1(db1);
        RecordingUi ui(FromNativeBytes((temp / output).native()));
        ExportContext context{*system, session, db1, tbl1, ui, GermanTimeFormat()};
        const std::optional<std::int32_t> count = ExportDatabase(context, what.path, what.xpMode);
        EXPECT_EQ(ui.proposals, std::vector<std::u16string>{ReplaceExtension(linuxAstro, u".aaf")});
        EXPECT_EQ(db1.Param(u"PATH"), what.xpMode ? staging + u"/" : tree.Text(astro));
        return count;
    };
    EXPECT_EQ(exportRow(0, "normal.aaf"), 1);
    EXPECT_EQ(exportRow(1, "xp.aaf"), 28);
    EXPECT_EQ(ReadFileBytes(temp / "xp.aaf"), ReadFileBytes(fs::path(KOSMARA_SAMPLES_DIR) / "Horoskop.aaf"));
    EXPECT_TRUE(fs::exists(temp / "Kosmara 3.5 Export" / "Horoskop.MB"));

    // The guard against overwriting the table holds through the links: the
    // output named by its Linux path is refused, the message shows the
    // Windows path.
    Session session(u"Test");
    Database db1(session);
    Table tbl1(db1);
    RecordingUi ui(FromNativeBytes((tree.prefix() / "dosdevices" / "c:" / "Programme" / "Astro" / "Horoskop.DB").native()));
    ExportContext context{*system, session, db1, tbl1, ui, GermanTimeFormat()};
    try {
        ExportDatabase(context, u"C:\\Programme\\Astro\\Horoskop.DB", false);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_NE(error.message().find(u"ist eine Datei der Tabelle \"C:\\Programme\\Astro\\Horoskop.DB\""),
                  std::u16string::npos)
            << ToUtf8(error.message());
    }
    // A row the prefix cannot reach fails before anything is asked.
    RecordingUi unasked(u"nie.aaf");
    ExportContext network{*system, session, db1, tbl1, unasked, GermanTimeFormat()};
    EXPECT_THROW(ExportDatabase(network, rows.purePaths[4], false), Error);
    EXPECT_TRUE(unasked.proposals.empty());
}

// A table of n horoscopes in folder: the count "export" reports tells which
// of two tables it read.
void WriteHoroscopes(const fs::path& folder, int n) {
    auto builder = testing::HoroscopeTableBuilder();
    for (int i = 1; i <= n; ++i) {
        testing::HoroscopeRecord record;
        record.id = std::to_string(i);
        builder.AddRecord(record.Cells());
    }
    fs::create_directories(folder);
    testing::WriteTable(builder.Build(), folder, "Horoskop", ".DB");
}

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliResult RunOnPrefix(std::vector<std::u16string> arguments, const fs::path& prefix) {
    arguments.insert(arguments.begin() + 1, {u"--wine-prefix", FromNativeBytes(prefix.native())});
    std::ostringstream out;
    std::ostringstream err;
    const testing::FakeSystem noRegistry = [] {
        testing::FakeSystem system;
        system.hasRegistry = false;
        return system;
    }();
    CommandLineEnvironment environment{out, err, noRegistry, {}, false, {}};
    CliResult result;
    result.exitCode = RunCommandLine(arguments, environment);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::string Replaced(std::string text, const std::string& root) {
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + root.size()))
        text.replace(at, 1, root);
    return text;
}

// Prefixes built to mislead: what "list" shows (the start of its output, "@"
// for the test's folder) and what "export --row 1" reads. Each prefix is
// "prefix" in the test's folder with "c:" -> ../drive_c, unless the case
// makes it otherwise; a table the row must not read holds one horoscope, the
// right one two.
TEST(WinePrefix, HostilePrefixesListAndExportTheRightTable) {
    const std::string rowsKey = "[Software\\\\Veltrane\\\\Kosmara 3.5\\\\Horoskope] 1\n";
    const std::string userShell =
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1\n"
        "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n";
    const auto manyRows = [&] {
        std::string rows = rowsKey;
        for (int i = 0; i < 200; ++i) rows += "\"r" + std::to_string(i) + "\"=\"C:\\\\P" + std::to_string(i) + "\\\\Horoskop.DB\"\n";
        return rows;
    };
    const auto bigSystemHive = [] {
        std::string text = std::string(kHeader) +
                           "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-0-0-1000] 1\n"
                           "\"ProfileImagePath\"=str(2):\"%SystemDrive%\\\\users\\\\bert\"\n";
        for (int i = 0; i < 20000; ++i) text += "[Software\\\\Klasse" + std::to_string(i) + "] 1\n\"Wert\"=\"" + std::string(60, 'x') + "\"\n";
        return text;
    };
    const auto hugeKeys = [] {
        std::string text = "[";
        for (int i = 0; i < 40000; ++i) text += i == 0 ? "k" : "\\\\k";
        text += "] 1\n[Software\\\\Viele] 1\n";
        for (int i = 0; i < 100000; ++i) text += "\"w" + std::to_string(i) + "\"=dword:00000001\n";
        return text;
    };
    const struct {
        const char* what;
        const char* prefixGiven;  // the prefix as the command line names it
        std::function<void(const fs::path& root)> make;
        std::string userKeys;
        std::string systemHive;  // empty: none
        const char* listed;
        const char* exported;   // "export --row 1": the start of its output, or of its message
        const char* aafAt;      // the AAF file it writes; "" when none
    } cases[] = {
        {"the prefix reached through a link, a drive linked relatively",
         "lnk/prefix",
         [](const fs::path& root) {
             fs::create_directories(root / "lnk");
             fs::create_directory_symlink("../prefix", root / "lnk" / "prefix");
             fs::create_directory_symlink("../../shared/x", root / "prefix" / "dosdevices" / "d:");
             WriteHoroscopes(root / "shared" / "x", 2);
             WriteHoroscopes(root / "lnk" / "shared" / "x", 1);  // where the link's text points
             WriteHoroscopes(root / "prefix" / "drive_c" / "Daten", 2);
         },
         rowsKey + "\"a\"=\"D:\\\\Horoskop.DB\"\n\"b\"=\"C:\\\\Daten\\\\Horoskop.DB\"\n", "",
         "1\tD:\\Horoskop.DB\t@/shared/x/Horoskop.DB\n2\tC:\\Daten\\Horoskop.DB\t@/lnk/prefix/drive_c/Daten/Horoskop.DB\n",
         "2 Horoskope gespeichert\n", "shared/x/Horoskop.aaf"},
        {"a drive linked absolutely, the letter and names in another case",
         "prefix",
         [](const fs::path& root) {
             fs::create_directory_symlink(root / "abs" / "daten", root / "prefix" / "dosdevices" / "d:");
             WriteHoroscopes(root / "abs" / "daten", 2);
         },
         rowsKey + "\"a\"=\"d:\\\\HOROSKOP.db\"\n", "", "1\td:\\HOROSKOP.db\t@/abs/daten/Horoskop.DB\n",
         "2 Horoskope gespeichert\n", "abs/daten/Horoskop.aaf"},
        {"\"..\" at the drive's root stays there",
         "prefix",
         [](const fs::path& root) {
             WriteHoroscopes(root / "prefix" / "drive_c" / "K", 2);
             WriteHoroscopes(root / "prefix" / "K", 1);
         },
         rowsKey + "\"a\"=\"C:\\\\..\\\\K\\\\Horoskop.DB\"\n", "",
         "1\tC:\\..\\K\\Horoskop.DB\t@/prefix/drive_c/K/Horoskop.DB\n", "2 Horoskope gespeichert\n",
         "prefix/drive_c/K/Horoskop.aaf"},
        {"\"..\" beyond the root reaches nothing outside the drive",
         "prefix",
         [](const fs::path& root) { WriteHoroscopes(root / "outside", 1); },
         rowsKey + "\"a\"=\"C:\\\\..\\\\..\\\\outside\\\\Horoskop.DB\"\n", "",
         "1\t(Existiert nicht) C:\\..\\..\\outside\\Horoskop.DB\t@/prefix/drive_c/outside/Horoskop.DB\n",
         "Der Ordner \"@/prefix/drive_c/outside\" wurde nicht gefunden.", ""},
        {"a key path of 40,000 names and a key of 100,000 values",
         "prefix",
         [](const fs::path& root) { WriteHoroscopes(root / "prefix" / "drive_c" / "K", 2); },
         hugeKeys() + rowsKey + "\"a\"=\"C:\\\\K\\\\Horoskop.DB\"\n", "",
         "1\tC:\\K\\Horoskop.DB\t@/prefix/drive_c/K/Horoskop.DB\n", "2 Horoskope gespeichert\n",
         "prefix/drive_c/K/Horoskop.aaf"},
        {"200 rows, each asking for the profile folder of a large system.reg",
         "prefix",
         [](const fs::path& root) {
             WriteHoroscopes(root / "prefix" / "drive_c" / "users" / "bert" / "AppData" / "Local" / "VirtualStore" / "P0", 2);
             fs::create_directories(root / "prefix" / "drive_c" / "P0");
         },
         userShell + manyRows(), bigSystemHive(),
         "1\t(XP-Modus) C:\\P0\\Horoskop.DB\t@/prefix/drive_c/users/bert/AppData/Local/VirtualStore/P0/Horoskop.DB\n"
         "2\t(Existiert nicht) C:\\P1\\Horoskop.DB\t@/prefix/drive_c/P1/Horoskop.DB\n",
         "2 Horoskope gespeichert\n", "prefix/drive_c/P0/Horoskop.aaf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TempFolder temp;
        const fs::path root = fs::canonical(temp.path());
        fs::create_directories(root / "prefix" / "dosdevices");
        fs::create_directories(root / "prefix" / "drive_c");
        fs::create_directory_symlink("../drive_c", root / "prefix" / "dosdevices" / "c:");
        WriteFileBytes(root / "prefix" / "user.reg", PrefixTree::HiveText(c.userKeys));
        if (!c.systemHive.empty()) WriteFileBytes(root / "prefix" / "system.reg", c.systemHive);
        c.make(root);
        const fs::path prefix = root / c.prefixGiven;

        const CliResult listed = RunOnPrefix({u"list"}, prefix);
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        const std::string expected = Replaced(c.listed, root.native());
        EXPECT_EQ(listed.out.substr(0, expected.size()), expected);

        const fs::path scratch = root / "tmp";
        fs::create_directories(scratch);
        const ScopedVariable tmpdir("TMPDIR", scratch.c_str());
        const CliResult exported = RunOnPrefix({u"export", u"--row", u"1"}, prefix);
        const std::string& shown = *c.aafAt ? exported.out : exported.err;
        EXPECT_EQ(exported.exitCode, *c.aafAt ? 0 : 1) << exported.err;
        const std::string message = Replaced(c.exported, root.native());
        EXPECT_EQ(shown.substr(0, message.size()), message) << shown;
        if (*c.aafAt) {
            EXPECT_TRUE(fs::is_regular_file(root / c.aafAt));
        }
        // Nothing written beside a table the row must not read.
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.path().extension() == ".aaf") {
                EXPECT_EQ(entry.path(), root / c.aafAt);
            }
        }
    }
}

// A prefix that a real Wine made and wrote (tests/wine_hive.sh sets
// KOSMARA_REAL_WINE_PREFIX after "wine reg add" and "wineserver -w").
TEST(RealWinePrefix, ReadsWhatWineWrote) {
    const char* prefixFolder = std::getenv("KOSMARA_REAL_WINE_PREFIX");
    if (prefixFolder == nullptr) GTEST_SKIP() << "KOSMARA_REAL_WINE_PREFIX not set: tests/wine_hive.sh runs this with a prefix made by Wine";
    const auto system = OpenWinePrefix(FromNativeBytes(prefixFolder));
    const std::optional<std::vector<RegistryValue>> values =
        system->RegistryValues(RegistryRoot::kCurrentUser, kHoroscopeRegistryKey);
    ASSERT_TRUE(values);
    // Wine keeps values sorted by name without regard to case.
    const struct {
        const char16_t* name;
        std::uint32_t type;
        std::string data;
    } expected[] = {
        {u"Bei\"spiel", kRegSz, StringData(u"C:\\\\Daten\\\\Hörosköp.DB")},
        {u"binär", kRegBinary, "\x01\x02\xFF"},
        {u"Daten", kRegSz, StringData(u"C:\\Daten\\Horoskop.DB")},
        {u"erweitert", kRegExpandSz, StringData(u"%USERPROFILE%\\Horoskop.DB")},
        {u"mehrfach", kRegMultiSz, StringData(std::u16string(u"eins") + u'\0' + u"zwei" + u'\0')},
        {u"Sonder", kRegSz, StringData(u"Tab\tZeichen öa € ∑")},
        {u"Zahl", kRegDword, std::string("\x2a\0\0\0", 4)},
    };
    ASSERT_EQ(values->size(), std::size(expected));
    for (std::size_t i = 0; i < values->size(); ++i) {
        SCOPED_TRACE(ToUtf8(expected[i].name));
        EXPECT_EQ(ToUtf8((*values)[i].name), ToUtf8(expected[i].name));
        EXPECT_EQ((*values)[i].type, expected[i].type);
        EXPECT_EQ((*values)[i].data, expected[i].data);
    }
    const std::optional<std::u16string> appData = system->LocalAppDataFolder();
    ASSERT_TRUE(appData);
    const std::optional<std::u16string> linuxAppData = system->LinuxPath(*appData);
    ASSERT_TRUE(linuxAppData);
    EXPECT_TRUE(system->FolderExists(*appData)) << ToUtf8(*linuxAppData);

    // C:\Daten\Horoskop.DB lies in the prefix's drive_c and in the
    // VirtualStore: a plain and an XP-mode row.
    DatabaseRows rows;
    ASSERT_TRUE(DiscoverDatabases(*system, rows));
    ASSERT_GE(rows.items.size(), 2u);
    const auto at = std::find(rows.items.begin(), rows.items.end(), u"C:\\Daten\\Horoskop.DB");
    ASSERT_NE(at, rows.items.end());
    const std::size_t row = static_cast<std::size_t>(at - rows.items.begin());
    EXPECT_EQ(rows.items[row + 1], u"(XP-Modus) C:\\Daten\\Horoskop.DB");
    EXPECT_EQ(rows.paths[row + 1], *appData + u"\\VirtualStore\\Daten\\Horoskop.DB");
    EXPECT_EQ(LinuxPathOfRow(*system, rows, row),
              FromNativeBytes((fs::path(prefixFolder) / "drive_c" / "Daten" / "Horoskop.DB").lexically_normal().native()));
    EXPECT_TRUE(fs::is_regular_file(ToNativeBytes(*LinuxPathOfRow(*system, rows, row + 1))));
}

}  // namespace
}  // namespace kosmara
