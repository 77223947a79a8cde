#include "databases/wine_prefix.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/input_file.h"

namespace kosmara {

namespace {

constexpr char16_t kUserShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kLocalAppData[] = u"Local AppData";
constexpr char16_t kProfileList[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

namespace fs = std::filesystem;

fs::path NativeOf(std::u16string_view path) {
#ifdef _WIN32
    return fs::path(std::u16string(path));
#else
    return fs::path(ToNativeBytes(path));
#endif
}

std::u16string TextOf(const fs::path& path) {
#ifdef _WIN32
    return path.u16string();
#else
    return FromNativeBytes(path.native());
#endif
}

bool IsWindowsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool HasDriveLetter(std::u16string_view path) {
    return path.size() >= 2 && path[1] == u':' &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

// What a path that is no regular file names, for kHiveNotAFile.
const char16_t* KindOfFile(std::u16string_view path) {
    std::error_code error;
    switch (fs::status(NativeOf(path), error).type()) {
    case fs::file_type::directory: return u"ein Ordner";
    case fs::file_type::fifo: return u"eine benannte Pipe (FIFO)";
    case fs::file_type::character: return u"ein zeichenorientiertes Gerät";
    case fs::file_type::block: return u"ein blockorientiertes Gerät";
    case fs::file_type::socket: return u"ein Socket";
    default: return u"keine Datei, die sich lesen lässt";
    }
}

// The whole hive file; nothing when it cannot be opened (error says why).
// A FIFO, device, socket or folder in its place fails with kHiveNotAFile:
// it is opened without waiting for a writer and never read.
std::optional<std::string> ReadHiveFile(std::u16string_view path, OpenError& error) {
    const std::optional<InputFile> file = InputFile::Open(path, error);
    if (!file) {
        if (error.failure == OpenFailure::kNotARegularFile || error.failure == OpenFailure::kIsFolder)
            throw Error(FillMessage(kHiveNotAFile, {path, KindOfFile(path)}));
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(file->Size()), '\0');
    bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
}

// The name of an entry of folder that equals name but for the case of
// letters; nothing when there is none or the folder cannot be listed.
std::optional<std::u16string> EntryIgnoringCase(std::u16string_view folder, std::u16string_view name) {
    std::error_code error;
    for (fs::directory_iterator entry(NativeOf(folder), error), end; !error && entry != end; entry.increment(error)) {
        std::u16string entryName = TextOf(entry->path().filename());
        if (EqualIgnoringCase(entryName, name)) return entryName;
    }
    return std::nullopt;
}

// The longest text an expansion gives, as Windows' ExpandEnvironmentStrings
// (32,767 characters); a longer one counts as not expandable, so that
// variables naming each other many times over cannot grow without bound.
constexpr std::size_t kLongestExpansion = 32767;

// Each "%NAME%" of text for which lookUp knows a value replaced by it;
// nothing when the result grows beyond kLongestExpansion.
std::optional<std::u16string> ExpandReferences(
    std::u16string_view text, const std::function<const std::u16string*(std::u16string_view)>& lookUp) {
    std::u16string result;
    std::size_t at = 0;
    for (;;) {
        const std::size_t open = text.find(u'%', at);
        const std::size_t close = open == std::u16string_view::npos ? open : text.find(u'%', open + 1);
        if (close == std::u16string_view::npos) break;
        result += text.substr(at, open - at);
        const std::u16string* value = lookUp(text.substr(open + 1, close - open - 1));
        result += value ? std::u16string_view(*value) : text.substr(open, close - open + 1);
        if (result.size() > kLongestExpansion) return std::nullopt;
        at = close + 1;
    }
    result += text.substr(at);
    if (result.size() > kLongestExpansion) return std::nullopt;
    return result;
}

std::u16string Folded(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded) c = FoldCase(c);
    return folded;
}

std::u16string WithoutClosingBackslash(std::u16string text) {
    while (text.size() > 3 && IsWindowsSeparator(text.back())) text.pop_back();
    return text;
}

}  // namespace

WinePrefixSystem::WinePrefixSystem(std::u16string prefixFolder, RegistryHive user)
    : prefixFolder_(std::move(prefixFolder)), user_(std::move(user)) {}

std::optional<std::vector<RegistryValue>> WinePrefixSystem::RegistryValues(RegistryRoot root,
                                                                           std::u16string_view keyPath) const {
    if (root != RegistryRoot::kCurrentUser) return std::nullopt;
    const std::vector<RegistryValue>* values = user_.Values(keyPath);
    if (values == nullptr) return std::nullopt;
    return *values;
}

// system.reg is read once, on the first reference to the profile folder;
// what it gave, or why it failed, answers every later one.
std::optional<std::u16string> WinePrefixSystem::ProfileFolder() const {
    if (!profile_.read) {
        profile_.read = true;
        try {
            profile_.folder = ProfileFolderOfMachine();
        } catch (const Error& error) {
            profile_.fault = error.message();
        }
    }
    if (profile_.fault) throw Error(*profile_.fault);
    return profile_.folder;
}

std::optional<std::u16string> WinePrefixSystem::ProfileFolderOfMachine() const {
    // The user's SID ends the path the user's hive hangs below.
    const std::u16string& relativeTo = user_.relativeTo();
    const std::size_t cut = relativeTo.rfind(u'\\');
    if (cut == std::u16string::npos || cut + 1 == relativeTo.size()) return std::nullopt;
    const std::u16string systemHive = JoinPath(prefixFolder_, u"system.reg");
    OpenError error;
    const std::optional<std::string> text = ReadHiveFile(systemHive, error);
    if (!text) return std::nullopt;
    const RegistryHive machine = RegistryHive::Parse(*text, systemHive);
    return machine.Text(kProfileList + relativeTo.substr(cut + 1), u"ProfileImagePath");
}

std::optional<std::u16string> WinePrefixSystem::StoredVariable(std::u16string_view name) const {
    for (const char16_t* key : {u"Volatile Environment", u"Environment"}) {
        if (std::optional<std::u16string> value = user_.Text(key, name)) return value;
    }
    if (EqualIgnoringCase(name, u"USERPROFILE")) return ProfileFolder();
    if (EqualIgnoringCase(name, u"SystemDrive")) return u"C:";
    if (EqualIgnoringCase(name, u"SystemRoot") || EqualIgnoringCase(name, u"windir")) return u"C:\\windows";
    return std::nullopt;
}

// Environment references "%NAME%" replaced as the user's processes see
// them: the stored volatile environment first, then the user's own
// variables, then the profile folder and the system drive's defaults. A
// stored variable may refer to others itself ("%USERPROFILE%\Temp"); an
// unknown reference stays as written, as Windows leaves it. Each name is
// looked up and expanded once per text; nothing when the text grows beyond
// what Windows expands.
std::optional<std::u16string> WinePrefixSystem::Expanded(std::u16string_view text) const {
    std::unordered_map<std::u16string, std::optional<std::u16string>> stored;
    const std::function<const std::u16string*(std::u16string_view)> storedValue =
        [&](std::u16string_view name) -> const std::u16string* {
        const auto [entry, added] = stored.try_emplace(Folded(name));
        if (added) {
            entry->second = StoredVariable(name);
        }
        return entry->second ? &*entry->second : nullptr;
    };
    std::unordered_map<std::u16string, std::optional<std::u16string>> expanded;
    return ExpandReferences(text, [&](std::u16string_view name) -> const std::u16string* {
        const auto [entry, added] = expanded.try_emplace(Folded(name));
        if (added) {
            if (const std::u16string* value = storedValue(name)) entry->second = ExpandReferences(*value, storedValue);
        }
        return entry->second ? &*entry->second : nullptr;
    });
}

std::optional<std::u16string> WinePrefixSystem::ShellFolder(std::u16string_view name) const {
    if (std::optional<std::u16string> folder = user_.Text(kUserShellFolders, name)) {
        std::optional<std::u16string> expanded = Expanded(*folder);
        if (expanded && HasDriveLetter(*expanded) && expanded->find(u'%') == std::u16string::npos)
            return WithoutClosingBackslash(std::move(*expanded));
    }
    if (std::optional<std::u16string> folder = user_.Text(kShellFolders, name)) {
        if (HasDriveLetter(*folder)) return WithoutClosingBackslash(std::move(*folder));
    }
    return std::nullopt;
}

std::optional<std::u16string> WinePrefixSystem::LocalAppDataFolder() const { return ShellFolder(kLocalAppData); }

std::optional<std::u16string> WinePrefixSystem::DocumentsFolder() const {
    std::vector<std::u16string> candidates;
    if (std::optional<std::u16string> personal = ShellFolder(u"Personal")) candidates.push_back(std::move(*personal));
    // The profile folder as the user's processes see it; a system.reg that
    // cannot be read leaves it unknown.
    std::optional<std::u16string> inProfile;
    try {
        inProfile = Expanded(u"%USERPROFILE%\\Documents");
    } catch (const Error&) {
    }
    if (inProfile && HasDriveLetter(*inProfile) && inProfile->find(u'%') == std::u16string::npos) {
        candidates.push_back(std::move(*inProfile));
    } else {
        for (const char* variable : {"USER", "LOGNAME"}) {
            const char* user = std::getenv(variable);
            if (user == nullptr || *user == '\0') continue;
            candidates.push_back(u"C:\\users\\" + FromNativeBytes(user) + u"\\Documents");
            break;
        }
    }
    for (const std::u16string& candidate : candidates) {
        if (std::optional<std::u16string> linuxPath = LinuxPath(candidate); linuxPath && kosmara::FolderExists(*linuxPath))
            return linuxPath;
    }
    return std::nullopt;
}

std::u16string WinePrefixSystem::TemporaryFolder() const { return kosmara::TemporaryFolder(); }

bool WinePrefixSystem::FileExists(std::u16string_view path) const {
    const std::optional<std::u16string> linuxPath = LinuxPath(path);
    return linuxPath && kosmara::FileExists(*linuxPath);
}

bool WinePrefixSystem::FolderExists(std::u16string_view path) const {
    const std::optional<std::u16string> linuxPath = LinuxPath(path);
    return linuxPath && kosmara::FolderExists(*linuxPath);
}

std::u16string WinePrefixSystem::FileSystemPath(std::u16string_view path) const {
    std::optional<std::u16string> linuxPath = LinuxPath(path);
    if (!linuxPath) throw Error(FillMessage(kUnreachableWinePath, {path, prefixFolder_}));
    return std::move(*linuxPath);
}

std::u16string WinePrefixSystem::FolderOf(std::u16string_view path) const {
    std::size_t last = path.size();
    while (last > 0 && !IsWindowsSeparator(path[last - 1])) --last;
    const std::size_t prefix = HasDriveLetter(path) ? 2 : 0;
    if (last == 0) return std::u16string(path.substr(0, prefix));
    // The separator of a root ("\", "C:\") stays.
    if (last == prefix + 1) return std::u16string(path.substr(0, last));
    return std::u16string(path.substr(0, last - 1));
}

// The kernel takes a relative link's target from the folder the link really
// lies in, which differs from the folder its path names when a folder on
// the way (the prefix itself, say) is a link. The folder the link leads to is
// therefore taken from the disk; the link's own spelling of it ("../drive_c"
// beside the prefix's path as given) is kept only where it reaches that very
// folder, so paths read as the user knows them.
std::optional<std::u16string> WinePrefixSystem::DriveFolder(char16_t letter) const {
    const fs::path link = NativeOf(prefixFolder_) / "dosdevices" / NativeOf(std::u16string{FoldCase(letter), u':'});
    std::error_code error;
    const fs::path real = fs::canonical(link, error);
    if (error || !fs::is_directory(real, error)) return std::nullopt;
    std::vector<fs::path> spellings;
    const fs::path target = fs::read_symlink(link, error);
    if (error) {
        spellings.push_back(link);  // a folder, no link
    } else if (target.is_absolute()) {
        spellings.push_back(target.lexically_normal());
    } else {
        spellings.push_back((link.parent_path() / target).lexically_normal());
        const fs::path folder = fs::canonical(link.parent_path(), error);
        if (!error) spellings.push_back((folder / target).lexically_normal());
    }
    for (const fs::path& spelling : spellings) {
        if (fs::equivalent(spelling, real, error) && !error) return TextOf(spelling);
    }
    return TextOf(real);
}

std::optional<std::u16string> WinePrefixSystem::LinuxPath(std::u16string_view windowsPath) const {
    if (!HasDriveLetter(windowsPath) || windowsPath.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    std::optional<std::u16string> root = DriveFolder(windowsPath[0]);
    if (!root) return std::nullopt;

    // The names below the drive's root as Windows reads them: "." is the
    // folder itself, ".." its parent, and the root its own parent, so no
    // path leaves the drive's folder.
    std::vector<std::u16string> names;
    std::size_t at = 2;
    while (at < windowsPath.size()) {
        std::size_t end = at;
        while (end < windowsPath.size() && !IsWindowsSeparator(windowsPath[end])) ++end;
        const std::u16string_view name = windowsPath.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == u".") continue;
        if (name == u"..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.emplace_back(name);
    }

    std::u16string path = std::move(*root);
    bool resolving = true;
    for (std::u16string& name : names) {
        if (resolving) {
            const std::u16string exact = JoinPath(path, name);
            if (!kosmara::FileExists(exact) && !kosmara::FolderExists(exact)) {
                if (std::optional<std::u16string> found = EntryIgnoringCase(path, name)) {
                    name = std::move(*found);
                } else {
                    resolving = false;  // nothing below a missing name to look up
                }
            }
        }
        // Appended in place: a registered path of very many names costs its length.
        if (!IsPathSeparator(path.back())) path += kPathSeparator;
        path += name;
    }
    return path;
}

std::unique_ptr<WinePrefixSystem> OpenWinePrefix(std::u16string prefixFolder) {
    while (prefixFolder.size() > 1 && IsPathSeparator(prefixFolder.back())) prefixFolder.pop_back();
    if (!kosmara::FolderExists(prefixFolder)) throw Error(FillMessage(kWinePrefixMissing, {prefixFolder}));
    const std::u16string userHive = JoinPath(prefixFolder, u"user.reg");
    OpenError error;
    const std::optional<std::string> text = ReadHiveFile(userHive, error);
    if (!text) throw Error(FillMessage(kWinePrefixUnreadable, {prefixFolder, SystemErrorText(error.systemCode)}));
    RegistryHive hive = RegistryHive::Parse(*text, userHive);
    return std::make_unique<WinePrefixSystem>(std::move(prefixFolder), std::move(hive));
}

std::u16string DefaultWinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
        return FromNativeBytes(prefix);
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return JoinPath(FromNativeBytes(home), u".wine");
    throw Error(kNoWinePrefix);
}

std::optional<std::u16string> LinuxPathOfRow(const WinePrefixSystem& system, const DatabaseRows& rows,
                                             std::size_t row) {
    if (row >= rows.paths.size()) return std::nullopt;
    return system.LinuxPath(rows.paths[row]);
}

}  // namespace kosmara
