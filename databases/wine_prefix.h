// The system of a Wine prefix, seen from outside Wine: the registry of its
// user (user.reg), its local application-data folder, and its Windows
// drive paths reached through the links in its "dosdevices" folder
// ("c:" -> ../drive_c, "z:" -> /), so that discovery and the export job
// find the legacy program's databases of a Windows installation kept in
// the prefix. Rows and messages keep the Windows paths; the files are read
// at the paths the links lead to.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "databases/discovery.h"
#include "databases/registry_hive.h"
#include "databases/system_services.h"

namespace kosmara {

// %s: the prefix folder.
inline constexpr char16_t kWinePrefixMissing[] = u"Das Wine-Präfix \"%s\" existiert nicht oder ist kein Ordner";
// %s: the prefix folder, %s: the system's reason.
inline constexpr char16_t kWinePrefixUnreadable[] =
    u"Die Registrierung des Wine-Präfixes \"%s\" (user.reg) kann nicht gelesen werden. %s";
inline constexpr char16_t kNoWinePrefix[] = u"Kein Wine-Präfix angegeben, und weder WINEPREFIX noch HOME ist gesetzt";
// %s: the hive file, %s: what lies there instead ("eine benannte Pipe (FIFO)").
inline constexpr char16_t kHiveNotAFile[] = u"Die Registrierungsdatei \"%s\" ist keine gewöhnliche Datei, sondern %s.";
// %s: the Windows path, %s: the prefix folder.
inline constexpr char16_t kUnreachableWinePath[] =
    u"Der Pfad \"%s\" liegt auf keinem Laufwerk des Wine-Präfixes \"%s\"";

class WinePrefixSystem : public SystemServices {
public:
    WinePrefixSystem(std::u16string prefixFolder, RegistryHive user);

    // The registry of the prefix's user; the machine's is not read.
    bool HasRegistry() const override { return true; }
    std::optional<std::vector<RegistryValue>> RegistryValues(RegistryRoot root,
                                                             std::u16string_view keyPath) const override;
    // "Local AppData" of the user's shell folders: from "User Shell
    // Folders" with its environment references expanded as Wine's would be
    // (the user's stored environment, else the profile folder that
    // system.reg lists for the user), else from "Shell Folders".
    std::optional<std::u16string> LocalAppDataFolder() const override;
    // The running system's: the export's staging folder lies outside the prefix.
    std::u16string TemporaryFolder() const override;
    // The prefix user's documents folder, where Wine's programs save, at its
    // LinuxPath: "Personal" of the user's shell folders as for
    // LocalAppDataFolder, else "Documents" in the user's profile folder
    // (from system.reg, else "C:\users\" and the name Wine gives the
    // profile, the Unix user's); nothing when none of them is reachable.
    // The home folder stays the running system's.
    std::optional<std::u16string> DocumentsFolder() const override;
    // Windows paths, tested at their LinuxPath; one without one exists not.
    bool FileExists(std::u16string_view path) const override;
    bool FolderExists(std::u16string_view path) const override;
    // LinuxPath, or kUnreachableWinePath.
    std::u16string FileSystemPath(std::u16string_view path) const override;
    // By Windows' rules: "\" and "/" separate, "C:" is a drive prefix.
    std::u16string FolderOf(std::u16string_view path) const override;

    // Where a Windows path of the prefix lies on this system: the target of
    // its drive's link in "dosdevices" (the letter in either case), then its
    // components, each spelled as the folder holds it where only the case of
    // letters differs (Wine finds names that way). Nothing for a path
    // without drive letter (a UNC path, a relative path) or on a drive the
    // prefix does not map.
    std::optional<std::u16string> LinuxPath(std::u16string_view windowsPath) const;

    const std::u16string& prefixFolder() const { return prefixFolder_; }

private:
    // The user's profile folder from system.reg, read on first use only.
    std::optional<std::u16string> ProfileFolder() const;
    std::optional<std::u16string> ProfileFolderOfMachine() const;
    std::optional<std::u16string> StoredVariable(std::u16string_view name) const;
    std::optional<std::u16string> Expanded(std::u16string_view text) const;
    // A folder of the user's shell folders by its value name, as a Windows path.
    std::optional<std::u16string> ShellFolder(std::u16string_view name) const;
    // The folder of the drive's link in "dosdevices", spelled as the link
    // names it where that reaches the same folder; nothing when the prefix
    // has no such drive.
    std::optional<std::u16string> DriveFolder(char16_t letter) const;

    std::u16string prefixFolder_;
    RegistryHive user_;
    struct Profile {
        bool read = false;
        std::optional<std::u16string> folder;
        std::optional<std::u16string> fault;  // the message reading system.reg failed with
    };
    mutable Profile profile_;
};

// Opens the prefix in prefixFolder and reads its user's registry. Fails with
// kWinePrefixMissing, kWinePrefixUnreadable, kHiveNotAFile or the hive's
// kDamagedHive.
std::unique_ptr<WinePrefixSystem> OpenWinePrefix(std::u16string prefixFolder);

// The prefix Wine itself would use: $WINEPREFIX, else $HOME/.wine; fails
// with kNoWinePrefix when neither is set.
std::u16string DefaultWinePrefix();

// Where the data of a discovered row lies on this system: the LinuxPath of
// its Paths entry (for an XP-mode row its VirtualStore copy); nothing for
// the placeholder row or a path the prefix cannot reach.
std::optional<std::u16string> LinuxPathOfRow(const WinePrefixSystem& system, const DatabaseRows& rows,
                                             std::size_t row);

}  // namespace kosmara
