// A system for discovery and the export job whose registry, local
// application-data folder and temporary folder a test sets; files and
// folders are the real ones.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "databases/discovery.h"
#include "databases/system_services.h"
#include "platform/file_system.h"

namespace kosmara::testing {

class FakeSystem : public SystemServices {
public:
    bool hasRegistry = true;
    // The values of the legacy program's key; nothing: there is no key.
    std::optional<std::vector<RegistryValue>> values;
    std::optional<std::u16string> localAppData;
    std::u16string temporaryFolder;
    mutable int appDataQueries = 0;

    bool HasRegistry() const override { return hasRegistry; }
    std::optional<std::vector<RegistryValue>> RegistryValues(RegistryRoot root,
                                                             std::u16string_view keyPath) const override {
        if (root != RegistryRoot::kCurrentUser || keyPath != kHoroscopeRegistryKey) return std::nullopt;
        return values;
    }
    std::optional<std::u16string> LocalAppDataFolder() const override {
        ++appDataQueries;
        return localAppData;
    }
    std::u16string TemporaryFolder() const override { return temporaryFolder; }
    bool FileExists(std::u16string_view path) const override { return kosmara::FileExists(path); }
    bool FolderExists(std::u16string_view path) const override { return kosmara::FolderExists(path); }
    // Final forms of paths (a short name's long one, a junction's target);
    // other paths are final as they are.
    std::map<std::u16string, std::u16string> finalPaths;
    std::u16string FinalPath(std::u16string_view path) const override {
        const auto found = finalPaths.find(std::u16string(path));
        return found == finalPaths.end() ? std::u16string(path) : found->second;
    }

    // The user's folders where the table's folder takes no file, and the
    // folders that take no new file whatever the probe would say (as a
    // protected folder does for a user; as root every folder takes one).
    // Other folders are probed for real; every folder asked is noted.
    std::optional<std::u16string> documents;
    std::optional<std::u16string> home;
    std::vector<std::u16string> refusing;
    mutable std::vector<std::u16string> probed;
    std::optional<std::u16string> DocumentsFolder() const override { return documents; }
    std::optional<std::u16string> HomeFolder() const override { return home; }
    bool FolderTakesNewFiles(std::u16string_view folder) const override {
        probed.emplace_back(folder);
        for (const std::u16string& refused : refusing) {
            if (refused == folder) return false;
        }
        return SystemServices::FolderTakesNewFiles(folder);
    }

    // A value of the key with text data as the registry stores strings:
    // UTF-16 little-endian with a closing null.
    FakeSystem& Add(std::u16string name, std::u16string_view text, std::uint32_t type = kRegSz) {
        return AddRaw(std::move(name), type, Utf16Data(text, true));
    }
    FakeSystem& AddRaw(std::u16string name, std::optional<std::uint32_t> type, std::optional<std::string> data) {
        if (!values) values.emplace();
        values->push_back({std::move(name), type, std::move(data)});
        return *this;
    }

    static std::string Utf16Data(std::u16string_view text, bool closingNull) {
        std::string data;
        for (const char16_t c : text) {
            data += static_cast<char>(c & 0xFF);
            data += static_cast<char>(c >> 8);
        }
        if (closingNull) data.append(2, '\0');
        return data;
    }
};

}  // namespace kosmara::testing
