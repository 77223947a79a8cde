// Discovery and the export job on the real registry, shell and folders of
// Windows (run under Wine): values written into the legacy program's key,
// VirtualStore copies under the user's real local application-data folder,
// the staging folder in the user's real temporary folder. The tests share
// the key and those folders, so ctest runs them one at a time, and each
// test leaves both as it found them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "core/path.h"
#include "core/text.h"
#include "databases/discovery.h"
#include "databases/export_job.h"
#include "databases/system_services.h"
#include "paradox_builder.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/win_handles.h"
#include "platform/win_text.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

namespace fs = std::filesystem;

// The legacy program's key, made by the test and removed with everything in it.
class LegacyKey {
public:
    LegacyKey() {
        Remove();
        HKEY key = nullptr;
        EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(std::u16string(kHoroscopeRegistryKey)), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        key_.reset(key);
    }
    ~LegacyKey() {
        key_.reset();
        Remove();
    }
    LegacyKey(const LegacyKey&) = delete;
    LegacyKey& operator=(const LegacyKey&) = delete;

    LegacyKey& Set(const std::u16string& name, DWORD type, const std::string& data) {
        EXPECT_EQ(::RegSetValueExW(key_.get(), Wide(name), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        return *this;
    }
    LegacyKey& Text(const std::u16string& name, std::u16string_view text, DWORD type = REG_SZ) {
        std::string data(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        data.append(2, '\0');
        return Set(name, type, data);
    }

    static void Remove() { ::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(std::u16string(kHoroscopeRegistryKey))); }

private:
    RegistryKey key_;
};

// The VirtualStore folder of a path, under the user's real local
// application-data folder, removed again at the end.
class StoreCopy {
public:
    explicit StoreCopy(const std::u16string& folder) {
        std::u16string mapped;
        MapToVirtualStore(system_, folder, mapped);
        path_ = mapped;
        fs::remove_all(fs::path(path_));
        fs::create_directories(fs::path(path_));
    }
    ~StoreCopy() {
        std::error_code ignored;
        fs::remove_all(fs::path(path_), ignored);
    }
    StoreCopy(const StoreCopy&) = delete;
    StoreCopy& operator=(const StoreCopy&) = delete;
    const std::u16string& path() const { return path_; }

private:
    SystemServicesOfPlatform system_;
    std::u16string path_;
};

void WriteHoroscopes(const fs::path& folder, const std::vector<std::string>& names) {
    auto builder = testing::HoroscopeTableBuilder();
    for (const std::string& name : names) {
        testing::HoroscopeRecord record;
        record.name = name;
        builder.AddRecord(record.Cells());
    }
    fs::create_directories(folder);
    testing::WriteTable(builder.Build(), folder, "Horoskop");
}

TEST(SystemTest, ShellAndTemporaryFolderAreTheUsersOwn) {
    const std::optional<std::u16string> appData = LocalAppDataFolder();
    ASSERT_TRUE(appData.has_value());
    EXPECT_TRUE(FolderExists(*appData)) << ToUtf8(*appData);
    EXPECT_FALSE(IsPathSeparator(appData->back()));
    EXPECT_TRUE(appData->ends_with(u"\\AppData\\Local")) << ToUtf8(*appData);
    const std::u16string temporary = TemporaryFolder();
    EXPECT_TRUE(temporary.ends_with(u"\\Temp\\")) << ToUtf8(temporary);
    EXPECT_TRUE(SystemHasRegistry());
}

TEST(SystemTest, ReadsTheValuesOfTheKeyAsTheRegistryListsThem) {
    LegacyKey key;
    key.Text(u"b", u"C:\\\\Daten\\\\Horoskop.DB")
        .Text(u"A expand", u"%TEMP%\\x.db", REG_EXPAND_SZ)
        .Set(u"c binary", REG_BINARY, std::string("C\0:\0\\\0y\0.\0d\0b\0\0\0", 16))
        .Set(u"d dword", REG_DWORD, std::string("\x05\0\0\0", 4))
        .Text(u"e leer", u"")
        .Set(u"f multi", REG_MULTI_SZ, std::string("a\0\0\0\0\0", 6))
        .Text(u"g=h", u"C:\\z.db");
    const std::optional<std::vector<RegistryValue>> values =
        ReadRegistryValues(RegistryRoot::kCurrentUser, kHoroscopeRegistryKey);
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 7u);

    // Whatever order the registry enumerates in (Wine sorts by name), the
    // listing keeps it: the text values in the registry's order.
    std::vector<std::u16string> textNames;
    for (const RegistryValue& value : *values) {
        ASSERT_TRUE(value.type.has_value());
        ASSERT_TRUE(value.data.has_value());
        if (*value.type == REG_SZ || *value.type == REG_EXPAND_SZ || *value.type == REG_BINARY) {
            if (value.data->size() > 2) textNames.push_back(value.name);
        }
    }
    const SystemServicesOfPlatform system;
    const std::vector<RegistryText> texts = ListRegistryTextValues(system, RegistryRoot::kCurrentUser, kHoroscopeRegistryKey);
    std::vector<std::u16string> names;
    for (const RegistryText& text : texts) names.push_back(text.name);
    EXPECT_EQ(names, textNames);
    std::vector<std::u16string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::u16string>{u"A expand", u"b", u"c binary", u"g=h"}));
    for (const RegistryText& text : texts) {
        if (text.name == u"A expand") {
            EXPECT_EQ(text.text, u"%TEMP%\\x.db");  // not expanded
        } else if (text.name == u"b") {
            EXPECT_EQ(text.text, u"C:\\\\Daten\\\\Horoskop.DB");
        } else if (text.name == u"c binary") {
            EXPECT_EQ(text.text, u"C:\\y.db");
        }
    }

    LegacyKey::Remove();
    EXPECT_FALSE(ReadRegistryValues(RegistryRoot::kCurrentUser, kHoroscopeRegistryKey).has_value());
}

TEST(SystemTest, DiscoversRowsWithTheirRealVirtualStoreCopies) {
    testing::TempFolder folder;
    const std::u16string both = (folder / "Beide" / "Horoskop.DB").u16string();
    const std::u16string storeOnly = (folder / "Nur Kopie" / "Horoskop.DB").u16string();
    const std::u16string missing = (folder / "Fehlt" / "Horoskop.DB").u16string();
    WriteHoroscopes(folder / "Beide", {"A"});
    const StoreCopy bothCopy(FolderOfPath(both));
    const StoreCopy storeCopy(FolderOfPath(storeOnly));
    WriteHoroscopes(fs::path(bothCopy.path()), {"A2"});
    WriteHoroscopes(fs::path(storeCopy.path()), {"B"});
    LegacyKey key;
    key.Text(u"1", both).Text(u"2", storeOnly).Text(u"3", missing);

    const SystemServicesOfPlatform system;
    DatabaseRows rows;
    ASSERT_TRUE(DiscoverDatabases(system, rows));
    // Rows per entry in the order the registry lists the entries.
    std::vector<std::u16string> expected;
    for (const RegistryText& entry : ListRegistryTextValues(system, RegistryRoot::kCurrentUser, kHoroscopeRegistryKey)) {
        if (entry.text == both) expected.insert(expected.end(), {both, u"(XP-Modus) " + both});
        if (entry.text == storeOnly) expected.push_back(u"(XP-Modus) " + storeOnly);
        if (entry.text == missing) expected.push_back(u"(Existiert nicht) " + missing);
    }
    EXPECT_EQ(rows.items, expected);
    for (std::size_t row = 0; row < rows.items.size(); ++row) {
        if (rows.items[row].starts_with(u"(XP-Modus) ")) {
            EXPECT_EQ(FolderOfPath(rows.paths[row]), FolderOfPath(rows.purePaths[row]) == FolderOfPath(both)
                                                         ? bothCopy.path()
                                                         : storeCopy.path());
        }
    }

    LegacyKey::Remove();
    ASSERT_FALSE(DiscoverDatabases(system, rows));
    EXPECT_EQ(rows.items, std::vector<std::u16string>{u"(Keine Datenbanken gefunden)"});
}

// The command line on the real registry: "list", then "export --row" of the
// XP row, merged in the user's real staging folder.
TEST(SystemTest, CommandLineListsAndExportsTheRegisteredDatabases) {
    testing::TempFolder folder;
    const std::u16string table = (folder / "Daten" / "Horoskop.DB").u16string();
    WriteHoroscopes(folder / "Daten", {"im Ordner"});
    const StoreCopy copy(FolderOfPath(table));
    WriteHoroscopes(fs::path(copy.path()), {"im VirtualStore", "auch"});
    LegacyKey key;
    key.Text(u"Datenbank", table);

    const SystemServicesOfPlatform system;
    std::ostringstream out;
    std::ostringstream err;
    CommandLineEnvironment environment{out, err, system, {}, false, {}};
    ASSERT_EQ(RunCommandLine({u"list"}, environment), 0) << err.str();
    EXPECT_EQ(out.str(), ToUtf8(u"1\t" + table + u"\n2\t(XP-Modus) " + table + u"\t" + copy.path() + u"\n"));

    const std::u16string output = (folder / "xp.aaf").u16string();
    out.str("");
    ASSERT_EQ(RunCommandLine({u"export", u"--row", u"2", output}, environment), 0) << err.str();
    EXPECT_EQ(out.str(), "2 Horoskope gespeichert\n");
    const std::u16string staged = TemporaryFolder() + u"Kosmara 3.5 Export\\Horoskop.DB";
    EXPECT_EQ(testing::ReadFileBytes(fs::path(staged)), testing::ReadFileBytes(fs::path(copy.path()) / "Horoskop.DB"));

    out.str("");
    ASSERT_EQ(RunCommandLine({u"export", u"--row", u"1", output}, environment), 0) << err.str();
    EXPECT_EQ(out.str(), "1 Horoskop gespeichert\n");
    out.str("");
    ASSERT_EQ(RunCommandLine({u"export", u"--xp-mode", table, output}, environment), 0) << err.str();
    EXPECT_EQ(out.str(), "2 Horoskope gespeichert\n");
}

// A database registered under the 8.3 short name of its folder: Windows
// virtualised the folder under its long name, and that is where the copy
// is found, so the row is an XP-mode row and its export reads the copy.
TEST(SystemTest, AShortNameRegistrationFindsTheCopyUnderTheLongName) {
    testing::TempFolder folder;
    const fs::path longFolder = folder / "Kosmara Datenbanken";
    WriteHoroscopes(longFolder, {"alter Stand"});
    const std::u16string longTable = (longFolder / "Horoskop.DB").u16string();
    wchar_t buffer[MAX_PATH];
    const DWORD length = ::GetShortPathNameW(Wide(longTable), buffer, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::u16string shortTable(reinterpret_cast<const char16_t*>(buffer), length);
    if (EqualIgnoringCase(shortTable, longTable)) GTEST_SKIP() << "no short names on this volume";
    const StoreCopy copy(FolderOfPath(longTable));
    WriteHoroscopes(fs::path(copy.path()), {"im VirtualStore", "auch"});
    LegacyKey key;
    key.Text(u"Kurz", shortTable);

    const SystemServicesOfPlatform system;
    DatabaseRows rows;
    ASSERT_TRUE(DiscoverDatabases(system, rows));
    EXPECT_EQ(rows.items, (std::vector<std::u16string>{shortTable, u"(XP-Modus) " + shortTable}));

    std::ostringstream out;
    std::ostringstream err;
    CommandLineEnvironment environment{out, err, system, {}, false, {}};
    const std::u16string output = (folder / "kurz.aaf").u16string();
    ASSERT_EQ(RunCommandLine({u"export", u"--row", u"2", output}, environment), 0) << err.str();
    EXPECT_EQ(out.str(), "2 Horoskope gespeichert\n");
}

}  // namespace
}  // namespace kosmara
