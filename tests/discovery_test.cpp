// Discovery of the registered databases with a registry and a local
// application-data folder of the test's own; files and folders are real.
#include "databases/discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "drive_tree.h"
#include "fake_system.h"
#include "test_support.h"

namespace kosmara {
namespace {

using testing::DriveTree;
using testing::FakeSystem;

std::vector<std::string> Utf8(const std::vector<std::u16string>& texts) {
    std::vector<std::string> out;
    for (const std::u16string& text : texts) out.push_back(ToUtf8(text));
    return out;
}

TEST(DiscoveryTest, ListsTheTextValuesOfTheKey) {
    FakeSystem system;
    const std::string path = FakeSystem::Utf16Data(u"C:\\Daten\\Horoskop.DB", true);
    system.Add(u"sz", u"C:\\a.db")
        .Add(u"expand", u"%USERPROFILE%\\b.db", kRegExpandSz)
        .AddRaw(u"binary", kRegBinary, FakeSystem::Utf16Data(u"C:\\c.db", true))
        .AddRaw(u"dword", kRegDword, std::string("\x01\x00\x00\x00", 4))
        .AddRaw(u"multi", kRegMultiSz, FakeSystem::Utf16Data(u"C:\\d.db\0", true))
        .AddRaw(u"no type", std::nullopt, path)
        .AddRaw(u"unreadable", kRegSz, std::nullopt)
        .Add(u"empty", u"")
        .AddRaw(u"one unit", kRegSz, std::string("A\0", 2))
        .AddRaw(u"no null", kRegSz, FakeSystem::Utf16Data(u"C:\\e.dbX", false))
        .AddRaw(u"odd size", kRegSz, FakeSystem::Utf16Data(u"C:\\f.db", true) + "\x07")
        .Add(u"a=b", u"C:\\g.db");
    const std::vector<RegistryText> values = ListRegistryTextValues(system, RegistryRoot::kCurrentUser, kHoroscopeRegistryKey);
    std::vector<std::u16string> names;
    std::vector<std::u16string> texts;
    for (const RegistryText& value : values) {
        names.push_back(value.name);
        texts.push_back(value.text);
    }
    EXPECT_EQ(Utf8(names), (std::vector<std::string>{"sz", "expand", "binary", "no null", "odd size", "a=b"}));
    EXPECT_EQ(Utf8(texts), (std::vector<std::string>{"C:\\a.db", "%USERPROFILE%\\b.db", "C:\\c.db", "C:\\e.db",
                                                      "C:\\f.db", "C:\\g.db"}));
    EXPECT_TRUE(ListRegistryTextValues(system, RegistryRoot::kCurrentUser, u"Software\\Andere").empty());
}

TEST(DiscoveryTest, MakesDoubledBackslashesSingleFromLeftToRight) {
    const struct {
        const char16_t* text;
        const char16_t* single;
    } cases[] = {
        {u"C:\\\\Daten\\\\Horoskop.DB", u"C:\\Daten\\Horoskop.DB"},
        {u"\\\\\\", u"\\\\"},
        {u"\\\\\\\\", u"\\\\"},
        {u"\\\\\\\\\\", u"\\\\\\"},
        {u"\\\\server\\share", u"\\server\\share"},
        {u"a\\b", u"a\\b"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(SingleBackslashes(c.text)), ToUtf8(c.single)) << ToUtf8(c.text);
}

TEST(DiscoveryTest, MapsDrivePathsIntoTheVirtualStore) {
    FakeSystem system;
    const struct {
        const char16_t* appData;
        const char16_t* path;
        const char16_t* mapped;
    } cases[] = {
        {u"C:\\Users\\Gast\\AppData\\Local", u"C:\\Programme\\Astro\\Daten\\Horoskop.DB",
         u"C:\\Users\\Gast\\AppData\\Local\\VirtualStore\\Programme\\Astro\\Daten\\Horoskop.DB"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"D:\\Astro\\Horoskop.DB",
         u"C:\\Users\\Gast\\AppData\\Local\\VirtualStore\\Astro\\Horoskop.DB"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"d:\\astro", u"C:\\Users\\Gast\\AppData\\Local\\VirtualStore\\astro"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"D:Daten\\Horoskop.DB",
         u"C:\\Users\\Gast\\AppData\\Local\\VirtualStoreDaten\\Horoskop.DB"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"D:", u"C:\\Users\\Gast\\AppData\\Local\\VirtualStore"},
        // The folder's text enters as it is: "\1", "$" and "$&" mean nothing.
        {u"C:\\Users\\1984\\AppData\\$&\\Local", u"E:\\x.db", u"C:\\Users\\1984\\AppData\\$&\\Local\\VirtualStore\\x.db"},
        // No drive prefix: unchanged.
        {u"C:\\Users\\Gast\\AppData\\Local", u"\\\\server\\share\\Horoskop.DB", u"\\\\server\\share\\Horoskop.DB"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"%APPDATA%\\Horoskop.DB", u"%APPDATA%\\Horoskop.DB"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"1:\\x.db", u"1:\\x.db"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"\u00C4:\\x.db", u"\u00C4:\\x.db"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"C", u"C"},
        {u"C:\\Users\\Gast\\AppData\\Local", u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        system.localAppData = c.appData;
        std::u16string mapped = u"stale";
        EXPECT_FALSE(MapToVirtualStore(system, c.path, mapped));
        EXPECT_EQ(ToUtf8(mapped), ToUtf8(c.mapped));
    }

    // A shell that cannot tell the folder: nothing found, the path unchanged.
    system.localAppData.reset();
    std::u16string mapped;
    EXPECT_FALSE(MapToVirtualStore(system, u"C:\\Daten\\Horoskop.DB", mapped));
    EXPECT_EQ(ToUtf8(mapped), "C:\\Daten\\Horoskop.DB");
}

TEST(DiscoveryTest, FindsFilesAndFoldersAtTheMappedPathAfresh) {
    DriveTree tree;
    FakeSystem system;
    system.localAppData = tree.appData();
    const std::u16string table = tree.Path(u"Daten/Horoskop.DB");
    std::u16string mapped;
    EXPECT_FALSE(MapToVirtualStore(system, table, mapped));
    EXPECT_EQ(mapped, tree.StorePath(table));
    // Nothing is cached: a copy made now is found by the next call.
    DriveTree::CreateFile(tree.StorePath(table), "kopie");
    EXPECT_TRUE(MapToVirtualStore(system, table, mapped));
    EXPECT_TRUE(MapToVirtualStore(system, tree.Path(u"Daten"), mapped));  // a folder counts as well
    EXPECT_EQ(mapped, tree.StorePath(tree.Path(u"Daten")));
    EXPECT_EQ(system.appDataQueries, 3);
}

struct Rows {
    std::vector<std::u16string> items, paths, purePaths;
};

void ExpectRows(const DatabaseRows& rows, const Rows& expected) {
    EXPECT_EQ(Utf8(rows.items), Utf8(expected.items));
    EXPECT_EQ(Utf8(rows.paths), Utf8(expected.paths));
    EXPECT_EQ(Utf8(rows.purePaths), Utf8(expected.purePaths));
}

TEST(DiscoveryTest, AddsPlainXpModeAndMissingRowsInTheOrderOfTheListing) {
    DriveTree tree;
    const std::u16string both = tree.Path(u"Beide/Horoskop.DB");
    const std::u16string plain = tree.Path(u"Nur hier/Horoskop.DB");
    const std::u16string store = tree.Path(u"Nur Kopie/Horoskop.DB");
    const std::u16string folder = tree.Path(u"Ordner/Horoskop.DB");
    const std::u16string missing = tree.Path(u"Fehlt/Horoskop.DB");
    DriveTree::CreateFile(both, "t");
    DriveTree::CreateFile(tree.StorePath(both), "k");
    DriveTree::CreateFile(plain, "t");
    DriveTree::CreateFile(tree.StorePath(store), "k");
    DriveTree::CreateFolder(tree.StorePath(folder));  // a folder where the copy would be

    FakeSystem system;
    system.localAppData = tree.appData();
    std::u16string doubled;
    for (const char16_t c : both) doubled += c == u'\\' ? std::u16string(u"\\\\") : std::u16string(1, c);
    system.Add(u"5", doubled).Add(u"1", plain).Add(u"3", store).Add(u"2", folder).Add(u"4", missing).Add(u"6", plain);

    DatabaseRows rows;
    rows.items = {u"alt"};
    EXPECT_TRUE(DiscoverDatabases(system, rows));
    ExpectRows(rows, {{both, u"(XP-Modus) " + both, plain, u"(XP-Modus) " + store, u"(XP-Modus) " + folder,
                       u"(Existiert nicht) " + missing, plain},
                      {both, tree.StorePath(both), plain, tree.StorePath(store), tree.StorePath(folder), missing, plain},
                      {both, both, plain, store, folder, missing, plain}});
    // Rows export in XP mode exactly when their two paths differ.
    const std::vector<bool> xp = {false, true, false, true, true, false, false};
    for (std::size_t row = 0; row < xp.size(); ++row) {
        const RowExport exported = ExportOfRow(rows, static_cast<std::ptrdiff_t>(row));
        EXPECT_EQ(exported.path, rows.purePaths[row]);
        EXPECT_EQ(exported.xpMode, xp[row]) << row;
    }
    EXPECT_ERROR_MESSAGE(ExportOfRow(rows, 7), u"Listenindex überschreitet das Maximum (7)");
    EXPECT_ERROR_MESSAGE(ExportOfRow(rows, -1), u"Listenindex überschreitet das Maximum (-1)");
}

// A path without drive prefix maps onto itself: a file there gives the plain
// row and an XP-mode row whose two paths are equal, so both export it in
// normal mode; nothing there gives one missing row.
TEST(DiscoveryTest, PathsWithoutDrivePrefixMapOntoThemselves) {
    testing::TempFolder folder;
    testing::WriteFileBytes(folder / "Horoskop.DB", "t");
    const std::u16string there = (folder / "Horoskop.DB").u16string();
    const std::u16string absent = (folder / "Fehlt.DB").u16string();
#ifdef _WIN32
    // The same file by a path without drive prefix, "\\?\C:\..." (whose
    // leading pair of backslashes is stored doubled, as every pair is).
    const std::u16string path = u"\\\\?\\" + there;
    const std::u16string stored = u"\\\\\\\\?\\" + there;
#else
    const std::u16string path = there;
    const std::u16string stored = there;
#endif
    FakeSystem system;
    system.localAppData = u"C:\\Users\\Gast\\AppData\\Local";
    system.Add(u"a", stored).Add(u"b", absent);
    DatabaseRows rows;
    EXPECT_TRUE(DiscoverDatabases(system, rows));
    ExpectRows(rows, {{path, u"(XP-Modus) " + path, u"(Existiert nicht) " + absent},
                      {path, path, absent},
                      {path, path, absent}});
    EXPECT_FALSE(ExportOfRow(rows, 1).xpMode);
}

TEST(DiscoveryTest, WithoutEntriesShowsThePlaceholderOnly) {
    const auto noKey = [](FakeSystem&) {};
    const auto emptyKey = [](FakeSystem& s) { s.values.emplace(); };
    const auto otherTypes = [](FakeSystem& s) {
        s.AddRaw(u"d", kRegDword, std::string(4, '\0')).AddRaw(u"m", kRegMultiSz, FakeSystem::Utf16Data(u"C:\\x", true));
    };
    const auto emptyTexts = [](FakeSystem& s) { s.Add(u"a", u"").AddRaw(u"b", kRegSz, std::string(2, '\0')); };
    for (const auto& setUp : std::vector<void (*)(FakeSystem&)>{noKey, emptyKey, otherTypes, emptyTexts}) {
        FakeSystem system;
        system.localAppData = u"C:\\Users\\Gast\\AppData\\Local";
        setUp(system);
        DatabaseRows rows;
        AddDatabaseEntry(rows, u"alt", u"alt", u"alt");
        EXPECT_FALSE(DiscoverDatabases(system, rows));
        ExpectRows(rows, {{u"(Keine Datenbanken gefunden)"}, {}, {}});
        EXPECT_ERROR_MESSAGE(ExportOfRow(rows, 0), u"Listenindex überschreitet das Maximum (0)");
    }
}

}  // namespace
}  // namespace kosmara
