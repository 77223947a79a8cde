#include "databases/discovery.h"

#include "core/error.h"
#include "core/text.h"
#include "databases/drive_prefix.h"

namespace kosmara {

namespace {

// The data as little-endian UTF-16 code units, the last one dropped.
std::u16string TextOfData(const std::string& data) {
    const std::size_t units = data.size() / 2;
    if (units < 2) return {};
    std::u16string text(units - 1, u'\0');
    for (std::size_t i = 0; i + 1 < units; ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                        (static_cast<unsigned char>(data[2 * i + 1]) << 8));
    }
    return text;
}

bool IsTextType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegBinary; }

}  // namespace

std::vector<RegistryText> ListRegistryTextValues(const SystemServices& system, RegistryRoot root,
                                                 std::u16string_view keyPath) {
    std::vector<RegistryText> result;
    const std::optional<std::vector<RegistryValue>> values = system.RegistryValues(root, keyPath);
    if (!values) return result;
    for (const RegistryValue& value : *values) {
        if (!value.type || !IsTextType(*value.type)) continue;
        std::u16string text = value.data ? TextOfData(*value.data) : std::u16string();
        if (text.empty()) continue;
        result.push_back({value.name, std::move(text)});
    }
    return result;
}

void AddDatabaseEntry(DatabaseRows& rows, std::u16string_view displayText, std::u16string_view path,
                      std::u16string_view purePath) {
    rows.items.emplace_back(displayText);
    rows.paths.emplace_back(path);
    rows.purePaths.emplace_back(purePath);
}

bool MapToVirtualStore(const SystemServices& system, std::u16string_view path, std::u16string& mapped) {
    mapped.clear();
    const std::optional<std::u16string> folder = system.LocalAppDataFolder();
    if (!folder) {
        mapped = path;
        return false;
    }
    // The folder's text enters as it is: no character in it means anything.
    const std::u16string prefix = *folder + u"\\VirtualStore";
    const auto map = [&prefix](std::u16string_view from) {
        if (!HasDrivePrefix(from)) return std::u16string(from);
        std::u16string result = prefix;
        result += from.substr(2);
        return result;
    };
    const auto exists = [&system](const std::u16string& at) { return system.FileExists(at) || system.FolderExists(at); };
    mapped = map(path);
    if (exists(mapped)) return true;
    // Windows virtualised the folder under its long, final name: a path
    // registered with an 8.3 name (C:\PROGRA~2\...) or through a junction
    // (the C:\Programme of older German systems) finds its copy there.
    // Missing it would convert the old data without a word.
    const std::u16string final = system.FinalPath(path);
    if (final == path) return false;
    std::u16string mappedFinal = map(final);
    if (!exists(mappedFinal)) return false;
    mapped = std::move(mappedFinal);
    return true;
}

std::u16string SingleBackslashes(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        result += text[i];
        if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'\\') ++i;
    }
    return result;
}

bool DiscoverDatabases(const SystemServices& system, DatabaseRows& rows) {
    rows = DatabaseRows{};
    const std::vector<RegistryText> entries =
        ListRegistryTextValues(system, RegistryRoot::kCurrentUser, kHoroscopeRegistryKey);
    if (entries.empty()) {
        rows.items.emplace_back(kNoDatabasesFound);
        return false;
    }
    for (const RegistryText& entry : entries) {
        const std::u16string path = SingleBackslashes(entry.text);
        const bool fileThere = system.FileExists(path);
        if (fileThere) AddDatabaseEntry(rows, path, path, path);
        std::u16string mapped;
        if (MapToVirtualStore(system, path, mapped)) {
            AddDatabaseEntry(rows, kXpModePrefix + path, mapped, path);
        } else if (!fileThere) {
            AddDatabaseEntry(rows, kMissingPrefix + path, path, path);
        }
    }
    return true;
}

RowExport ExportOfRow(const std::vector<std::u16string>& paths, const std::vector<std::u16string>& purePaths,
                      std::ptrdiff_t row) {
    if (row < 0 || static_cast<std::size_t>(row) >= purePaths.size() || static_cast<std::size_t>(row) >= paths.size()) {
        std::u16string position;
        AppendDecimal(position, row, 1);
        throw Error(FillMessage(kListIndexOutOfBounds, {position}));
    }
    const std::u16string& purePath = purePaths[static_cast<std::size_t>(row)];
    return {purePath, paths[static_cast<std::size_t>(row)] != purePath};
}

}  // namespace kosmara
