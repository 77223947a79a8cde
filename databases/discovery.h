// Discovery of the horoscope databases the legacy program registered for
// the current user, with their per-user VirtualStore copies ("XP-Modus"),
// and the row lists the window shows in its drop-down list and the command
// line prints.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "databases/system_services.h"

namespace kosmara {

// The legacy program's key under HKEY_CURRENT_USER.
inline constexpr char16_t kHoroscopeRegistryKey[] = u"Software\\Veltrane\\Kosmara 3.5\\Horoskope";

inline constexpr char16_t kXpModePrefix[] = u"(XP-Modus) ";
inline constexpr char16_t kMissingPrefix[] = u"(Existiert nicht) ";
inline constexpr char16_t kNoDatabasesFound[] = u"(Keine Datenbanken gefunden)";
// A row looked up outside the lists; %s: the position.
inline constexpr char16_t kListIndexOutOfBounds[] = u"Listenindex überschreitet das Maximum (%s)";

// One text-like registry value: its name and its data read as text.
struct RegistryText {
    std::u16string name;
    std::u16string text;
};

// The values of keyPath under root of type REG_SZ, REG_EXPAND_SZ or
// REG_BINARY, in enumeration order, with their data taken as UTF-16 without
// its last code unit (a string's closing null); expandable strings stay as
// stored. Values whose type cannot be read, of other types, or whose text is
// empty are left out; a key that cannot be read gives nothing.
std::vector<RegistryText> ListRegistryTextValues(const SystemServices& system, RegistryRoot root,
                                                 std::u16string_view keyPath);

// The three row lists, kept in step: the display texts (the window's
// drop-down list), where each row's data lies (Paths) and the registered
// path or chosen file (PurePaths). In the placeholder case the display texts
// hold one row and the other two lists none.
struct DatabaseRows {
    std::vector<std::u16string> items;
    std::vector<std::u16string> paths;
    std::vector<std::u16string> purePaths;
};

// Appends one row: displayText, then path, then purePath. Tests nothing.
void AddDatabaseEntry(DatabaseRows& rows, std::u16string_view displayText, std::u16string_view path,
                      std::u16string_view purePath);

// The path in the user's VirtualStore: a leading drive letter and ":" are
// replaced by the local application-data folder and "\VirtualStore", any
// other path stays as it is. Returns whether a file or a folder exists at
// mapped. When the shell cannot tell the folder, nothing is found and mapped
// is path. Nothing is cached: every call asks the shell and the file system.
bool MapToVirtualStore(const SystemServices& system, std::u16string_view path, std::u16string& mapped);

// The doubled backslashes of a registered entry made single, left to right:
// "\\\" becomes "\\", "\\\\" becomes "\\".
std::u16string SingleBackslashes(std::u16string_view text);

// Empties rows and fills them from the registry: for each registered path a
// plain row (the file exists), an XP-mode row (something exists at its
// VirtualStore path), or a missing row (neither), in the order of the
// listing; the placeholder row when nothing is registered. Returns whether
// any database is registered (false: the placeholder, and the window
// disables its export button and list). Row 0 is the one selected.
bool DiscoverDatabases(const SystemServices& system, DatabaseRows& rows);

// What exporting row r means: its registered path, in XP mode exactly when
// its Paths entry differs from it. A row outside the lists fails with
// kListIndexOutOfBounds.
struct RowExport {
    std::u16string path;
    bool xpMode = false;
};
RowExport ExportOfRow(const std::vector<std::u16string>& paths, const std::vector<std::u16string>& purePaths,
                      std::ptrdiff_t row);
inline RowExport ExportOfRow(const DatabaseRows& rows, std::ptrdiff_t row) {
    return ExportOfRow(rows.paths, rows.purePaths, row);
}

}  // namespace kosmara
