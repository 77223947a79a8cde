// The folder operations of discovery and the export job, on the real file
// system (natively, and under Wine for the Windows build).
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/file.h"
#include "temp_folder.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <locale.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace kosmara {
namespace {

using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteFileBytes;

std::u16string U16(const std::filesystem::path& path) { return path.u16string(); }

std::vector<std::u16string> Sorted(std::vector<std::u16string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileSystemTest, ListsTheFilesOfAFolderHiddenOnesIncluded) {
    TempFolder folder;
    WriteFileBytes(folder / "Horoskop.DB", "db");
    WriteFileBytes(folder / "HOROSKOP.mb", "mb");
    WriteFileBytes(folder / ".versteckt", "");
    WriteFileBytes(folder.path() / std::filesystem::path(u"Ä.txt"), "");  // not an ANSI name
    std::filesystem::create_directory(folder / "sub");
    WriteFileBytes(folder / "sub" / "tiefer.DB", "");
#ifdef _WIN32
    ASSERT_TRUE(::SetFileAttributesW((folder / "HOROSKOP.mb").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
#endif
    const std::optional<std::vector<std::u16string>> names = ListFiles(U16(folder.path()));
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(Sorted(*names), (std::vector<std::u16string>{u".versteckt", u"HOROSKOP.mb", u"Horoskop.DB", u"Ä.txt"}));
    EXPECT_FALSE(ListFiles(U16(folder / "nofolder")).has_value());
    EXPECT_FALSE(ListFiles(U16(folder / "Horoskop.DB")).has_value());
    std::filesystem::create_directory(folder / "leer");
    EXPECT_EQ(ListFiles(U16(folder / "leer")), std::vector<std::u16string>{});
#ifdef _WIN32
    ::SetFileAttributesW((folder / "HOROSKOP.mb").c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}

TEST(FileSystemTest, TellsFilesFromFolders) {
    TempFolder folder;
    WriteFileBytes(folder / "a.db", "");
    std::filesystem::create_directory(folder / "sub");
    const struct {
        std::u16string path;
        bool file;
        bool folder;
    } cases[] = {
        {U16(folder / "a.db"), true, false},
        {U16(folder / "sub"), false, true},
        {U16(folder / "missing"), false, false},
        {U16(folder / "missing" / "a.db"), false, false},
        {u"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        EXPECT_EQ(FileExists(c.path), c.file);
        EXPECT_EQ(FolderExists(c.path), c.folder);
    }
}

TEST(FileSystemTest, TemporaryFolderEndsWithASeparatorAndExists) {
    const std::u16string folder = TemporaryFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(IsPathSeparator(folder.back())) << ToUtf8(folder);
    EXPECT_TRUE(FolderExists(folder)) << ToUtf8(folder);
#ifdef _WIN32
    // Long names only: no "~1" of an 8.3 name.
    EXPECT_EQ(folder.find(u'~'), std::u16string::npos) << ToUtf8(folder);
#endif
}

TEST(FileSystemTest, CreatesFoldersWithTheirParents) {
    TempFolder folder;
    const std::u16string deep = JoinPath(JoinPath(JoinPath(U16(folder.path()), u"a"), u"b c"), u"Kosmara 3.5 Export");
    CreateFolders(WithClosingSeparator(deep));
    EXPECT_TRUE(FolderExists(deep));
    WriteFileBytes(std::filesystem::path(deep) / "bleibt.txt", "x");
    CreateFolders(deep);  // an existing folder stays as it is
    EXPECT_EQ(ReadFileBytes(std::filesystem::path(deep) / "bleibt.txt"), "x");
    // Where a file stands in the way nothing is created, and nothing fails.
    WriteFileBytes(folder / "datei", "");
    CreateFolders(JoinPath(U16(folder / "datei"), u"unter"));
    EXPECT_FALSE(FolderExists(JoinPath(U16(folder / "datei"), u"unter")));
}

TEST(FileSystemTest, CopyReplacesTheNameNotTheFileBehindIt) {
    TempFolder folder;
    WriteFileBytes(folder / "quelle.db", "neu");
    WriteFileBytes(folder / "ziel.db", "alt und länger");
    CopyFileReplacing(U16(folder / "quelle.db"), U16(folder / "ziel.db"));
    EXPECT_EQ(ReadFileBytes(folder / "ziel.db"), "neu");
    EXPECT_EQ(ReadFileBytes(folder / "quelle.db"), "neu");
    CopyFileReplacing(U16(folder / "quelle.db"), U16(folder / "frisch.db"));
    EXPECT_EQ(ReadFileBytes(folder / "frisch.db"), "neu");

    // A hard link standing at the target keeps its old contents: the copy
    // takes the name, it does not write through the link into the original.
    WriteFileBytes(folder / "original.db", "original");
    std::filesystem::create_hard_link(folder / "original.db", folder / "verknuepft.db");
    CopyFileReplacing(U16(folder / "quelle.db"), U16(folder / "verknuepft.db"));
    EXPECT_EQ(ReadFileBytes(folder / "verknuepft.db"), "neu");
    EXPECT_EQ(ReadFileBytes(folder / "original.db"), "original");

    // Copying a file onto itself leaves it whole.
    CopyFileReplacing(U16(folder / "original.db"), U16(folder / "original.db"));
    EXPECT_EQ(ReadFileBytes(folder / "original.db"), "original");

    // Failures carry the system's text and leave nothing behind.
    const std::vector<std::u16string> before = Sorted(*ListFiles(U16(folder.path())));
    EXPECT_THROW(CopyFileReplacing(U16(folder / "fehlt.db"), U16(folder / "x.db")), Error);
    EXPECT_THROW(CopyFileReplacing(U16(folder / "quelle.db"), U16(folder / "kein Ordner" / "x.db")), Error);
    EXPECT_EQ(Sorted(*ListFiles(U16(folder.path()))), before);
}

#ifndef _WIN32
// A device, pipe or socket where the merge expects a table's file is named
// with its path and what it is, and nothing is left behind.
TEST(FileSystemTest, CopyNamesWhatIsNoOrdinaryFile) {
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "rohr.VAL").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", folder / "geraet.VAL");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (folder / "dose.VAL").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    const int bound = ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(listener);
    ASSERT_EQ(bound, 0);
    const std::vector<std::u16string> before = Sorted(*ListFiles(U16(folder.path())));

    const struct {
        const char* name;
        const char16_t* kind;
    } cases[] = {
        {"rohr.VAL", kSourceIsAPipe},
        {"geraet.VAL", kSourceIsADevice},
        {"dose.VAL", kSourceIsASocket},
    };
    for (const auto& c : cases) {
        const std::u16string source = U16(folder / c.name);
        const std::u16string target = U16(folder / "kopie.VAL");
        EXPECT_ERROR_MESSAGE(CopyFileReplacing(source, target), FillMessage(kCannotCopyFile, {source, target, c.kind}));
    }
    EXPECT_EQ(Sorted(*ListFiles(U16(folder.path()))), before);
}
#endif

TEST(FileSystemTest, FindsFilesNamedLikeAPrefix) {
    TempFolder folder;
    for (const char* name : {"Horoskop.DB", "HOROSKOP.mb", "horoskop.px", "Horoskope.DB", "Horoskop", "Kunden.DB"})
        WriteFileBytes(folder / name, "");
    std::filesystem::create_directory(folder / "Horoskop.alt");
    std::vector<std::u16string> names;
    for (const std::u16string& path : FilesNamedLike(U16(folder.path()), u"Horoskop.")) names.push_back(NameOfPath(path));
    // Folders never; "Horoskop" itself only where the system's own matching
    // takes "Horoskop.*" for it (Windows).
    names.erase(std::remove(names.begin(), names.end(), u"Horoskop"), names.end());
    EXPECT_EQ(Sorted(names), (std::vector<std::u16string>{u"HOROSKOP.mb", u"Horoskop.DB", u"horoskop.px"}));
}

#ifndef _WIN32
// File names on Linux are bytes: a name in Latin-1, as disks copied from old
// Windows machines have them, is found, listed and copied byte for byte.
TEST(FileSystemTest, NamesThatAreNoUtf8SurviveByteForByte) {
    TempFolder folder;
    const std::string latin1 = "Hor\xF6skop.DB";
    WriteFileBytes(folder.path() / latin1, "tabelle");
    const std::u16string path = JoinPath(U16(folder.path()), FromNativeBytes(latin1));
    EXPECT_TRUE(FileExists(path));
    const std::optional<std::vector<std::u16string>> names = ListFiles(U16(folder.path()));
    ASSERT_TRUE(names.has_value());
    ASSERT_EQ(names->size(), 1u);
    EXPECT_EQ(ToNativeBytes(names->front()), latin1);
    CopyFileReplacing(path, path + u".kopie");
    EXPECT_EQ(ReadFileBytes(folder.path() / (latin1 + ".kopie")), "tabelle");
    // In messages the name reads as Windows-1252 text.
    EXPECT_EQ(ToReadableUtf8(NameOfPath(path)), "Horöskop.DB");
}
#endif

}  // namespace
}  // namespace kosmara

namespace kosmara {
namespace {

// A file system that reports no file number (0, as some network shares and
// FAT volumes do) neither makes every file one file nor lets one file pass
// as another: without a number the final path decides. 128-bit numbers
// (ReFS) are compared whole.
TEST(FileSystemTest, IdentitiesWithoutAFileNumberAreComparedByTheirFinalPath) {
#ifdef _WIN32
    const std::u16string table = u"\\\\server\\share\\Kosmara\\Horoskop.DB";
    const std::u16string sameInOtherCase = u"\\\\SERVER\\share\\kosmara\\HOROSKOP.db";
#else
    const std::u16string table = u"/mnt/share/Kosmara/Horoskop.DB";
    const std::u16string sameInOtherCase = table;
#endif
    const std::u16string output = u"/mnt/share/Kosmara/Horoskop.aaf";
    const auto make = [](std::uint64_t volume, std::uint64_t low, std::uint64_t high, std::u16string path) {
        return MakeFileIdentity(volume, low, high, [path] { return path; });
    };
    const struct {
        const char* name;
        FileIdentity a;
        FileIdentity b;
        bool same;
    } cases[] = {
        {"no numbers, two files", make(7, 0, 0, table), make(7, 0, 0, output), false},
        {"no numbers, one file", make(7, 0, 0, table), make(7, 0, 0, sameInOtherCase), true},
        {"numbers decide over paths", make(7, 42, 0, table), make(7, 42, 0, output), true},
        {"one number, other volume", make(7, 42, 0, table), make(8, 42, 0, table), false},
        {"a number and none", make(7, 42, 0, table), make(7, 0, 0, table), false},
        {"128-bit numbers differing in their high half", make(7, 42, 1, table), make(7, 42, 2, table), false},
        {"no number and no path", make(7, 0, 0, u""), make(7, 0, 0, u""), false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.a == c.b, c.same) << c.name;

    // The path is asked only where there is no number.
    int asked = 0;
    MakeFileIdentity(7, 42, 0, [&asked] { return ++asked, std::u16string(u"x"); });
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(MakeFileIdentity(7, 0, 0, [&asked] { return ++asked, std::u16string(u"x"); }).finalPath, u"x");
    EXPECT_EQ(asked, 1);

    // Real files have numbers here, and two names of one file are one file.
    TempFolder folder;
    WriteFileBytes(folder / "a", "a");
    WriteFileBytes(folder / "b", "b");
    const std::optional<FileIdentity> a = IdentityOfPath((folder / "a").u16string());
    ASSERT_TRUE(a.has_value());
    EXPECT_TRUE(a->HasNumber());
    EXPECT_EQ(a, IdentityOfPath((folder / "." / "a").u16string()));
    EXPECT_NE(a, IdentityOfPath((folder / "b").u16string()));
}

#ifndef _WIN32
// The variables that choose the messages locale, set for one scope and
// restored after it.
class LocaleVariables {
public:
    LocaleVariables() {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            if (const char* value = std::getenv(kNames[i])) saved_[i] = value;
            ::unsetenv(kNames[i]);
        }
    }
    ~LocaleVariables() {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            if (saved_[i]) ::setenv(kNames[i], saved_[i]->c_str(), 1);
            else ::unsetenv(kNames[i]);
        }
    }
    LocaleVariables(const LocaleVariables&) = delete;
    LocaleVariables& operator=(const LocaleVariables&) = delete;

    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG", "LANGUAGE"};

private:
    std::optional<std::string> saved_[std::size(kNames)];
};

// System error texts follow the messages locale and keep their umlauts
// however the German setting is made, also where the character type of the
// environment is plain ASCII.
TEST(FileSystemTest, SystemErrorTextsKeepTheirUmlauts) {
    if (locale_t german = ::newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0))) {
        ::freelocale(german);
    } else {
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/setup.sh installs it)";
    }
    const struct {
        std::vector<std::pair<const char*, const char*>> variables;
        std::u16string expected;  // EAGAIN's text
    } cases[] = {
        {{{"LC_ALL", "de_DE.UTF-8"}}, u"Die Ressource ist zur Zeit nicht verfügbar"},
        {{{"LANG", "de_DE.UTF-8"}}, u"Die Ressource ist zur Zeit nicht verfügbar"},
        {{{"LC_MESSAGES", "de_DE.UTF-8"}}, u"Die Ressource ist zur Zeit nicht verfügbar"},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_CTYPE", "C"}}, u"Die Ressource ist zur Zeit nicht verfügbar"},
        {{{"LC_ALL", "C"}}, u"Resource temporarily unavailable"},
        {{}, u"Resource temporarily unavailable"},
    };
    for (const auto& c : cases) {
        const LocaleVariables scope;
        std::string shown;
        for (const auto& [name, value] : c.variables) {
            ::setenv(name, value, 1);
            shown += std::string(name) + "=" + value + " ";
        }
        EXPECT_EQ(SystemErrorText(EAGAIN), c.expected) << shown;
        EXPECT_EQ(SystemErrorText(EWOULDBLOCK), c.expected) << shown;
    }
}
#endif

}  // namespace
}  // namespace kosmara
