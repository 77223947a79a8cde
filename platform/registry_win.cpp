#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "platform/registry.h"
#include "platform/win_handles.h"
#include "platform/win_text.h"

namespace kosmara {

bool SystemHasRegistry() { return true; }

std::optional<std::vector<RegistryValue>> ReadRegistryValues(RegistryRoot root, std::u16string_view keyPath) {
    HKEY opened = nullptr;
    // KEY_READ without a 32- or 64-bit view flag: the view the process has.
    if (::RegOpenKeyExW(root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                        Wide(std::u16string(keyPath)), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const RegistryKey key(opened);

    DWORD valueCount = 0;
    DWORD longestName = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, &longestName,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::nullopt;

    // The names first, in the order of their positions.
    std::vector<RegistryValue> values;
    std::u16string name;
    for (DWORD position = 0; position < valueCount; ++position) {
        name.assign(longestName + 1, u'\0');
        DWORD length = longestName + 1;
        if (::RegEnumValueW(key.get(), position, WideBuffer(name), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            continue;
        name.resize(length);
        values.push_back({name, std::nullopt, std::nullopt});
    }

    // Then for each name its type, its size and its data.
    for (RegistryValue& value : values) {
        DWORD type = 0;
        if (::RegQueryValueExW(key.get(), Wide(value.name), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) continue;
        value.type = type;
        DWORD size = 0;
        if (::RegQueryValueExW(key.get(), Wide(value.name), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) continue;
        std::string data(size, '\0');
        if (::RegQueryValueExW(key.get(), Wide(value.name), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                               &size) != ERROR_SUCCESS)
            continue;
        data.resize(size);
        value.data = std::move(data);
    }
    return values;
}

std::optional<std::u16string> LocalAppDataFolder() {
    // The characters up to the first null, at most 261; the folder is not
    // created when it is missing.
    std::u16string folder(MAX_PATH + 2, u'\0');
    if (!::SHGetSpecialFolderPathW(nullptr, WideBuffer(folder), CSIDL_LOCAL_APPDATA, FALSE)) return std::nullopt;
    folder.resize(std::min<std::size_t>(folder.find(u'\0'), MAX_PATH + 1));
    return folder;
}

namespace {

// A known folder of the current user as the shell names it: one that
// exists (the shell verifies it), never created.
std::optional<std::u16string> KnownFolder(const KNOWNFOLDERID& id) {
    wchar_t* raw = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(id, 0, nullptr, &raw);
    const CoTaskMemText path(raw);
    if (FAILED(result) || !path) return std::nullopt;
    std::u16string folder = FromWide(path.get());
    if (folder.empty()) return std::nullopt;
    return folder;
}

}  // namespace

std::optional<std::u16string> DocumentsFolder() { return KnownFolder(FOLDERID_Documents); }

std::optional<std::u16string> HomeFolder() { return KnownFolder(FOLDERID_Profile); }

}  // namespace kosmara
