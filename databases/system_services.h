// What discovery and the export job ask of the system beyond reading and
// copying files: the registry, the shell's local application-data folder,
// the user's temporary, documents and home folders, the existence tests and
// whether a folder takes a new file. The system's own
// answers come from the platform layer; tests give their own registry and
// folders where the system has none.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/path.h"
#include "platform/registry.h"

namespace kosmara {

class SystemServices {
public:
    virtual ~SystemServices() = default;

    // Whether there is a registry to read at all (not on POSIX systems).
    virtual bool HasRegistry() const = 0;
    // The values of a registry key in enumeration order; nothing when the
    // key cannot be opened or asked.
    virtual std::optional<std::vector<RegistryValue>> RegistryValues(RegistryRoot root,
                                                                     std::u16string_view keyPath) const = 0;
    // The local application-data folder without closing separator; nothing
    // when the shell cannot tell.
    virtual std::optional<std::u16string> LocalAppDataFolder() const = 0;
    // The user's temporary folder in long form, with its closing separator.
    virtual std::u16string TemporaryFolder() const = 0;
    // An existing entry that is not a folder / an existing folder, links followed.
    virtual bool FileExists(std::u16string_view path) const = 0;
    virtual bool FolderExists(std::u16string_view path) const = 0;

    // Where the platform's file calls find what path names: the path itself
    // for the running system; another system's paths (the Windows paths of
    // a Wine prefix) are translated, and one it cannot reach fails with an
    // Error. The existence tests above take the untranslated path.
    virtual std::u16string FileSystemPath(std::u16string_view path) const { return std::u16string(path); }
    // The path's full final form as the system resolves it (long names,
    // junctions and links followed), or the path itself where the system
    // cannot tell or nothing exists there.
    virtual std::u16string FinalPath(std::u16string_view path) const { return std::u16string(path); }
    // The folder part of one of this system's paths, by its own rules (those
    // of FolderOfPath for the running system).
    virtual std::u16string FolderOf(std::u16string_view path) const { return FolderOfPath(path); }

    // Where an output goes when the table's folder takes no new file: the
    // user's documents folder, else the home folder, each as the file calls
    // reach it (a FileSystemPath) without closing separator; nothing when
    // the system cannot tell. The running system's by default.
    virtual std::optional<std::u16string> DocumentsFolder() const;
    virtual std::optional<std::u16string> HomeFolder() const;
    // Whether a new file can be made in folder (a FileSystemPath), decided
    // by making one that leaves nothing behind (CannotCreateFilesIn).
    virtual bool FolderTakesNewFiles(std::u16string_view folder) const;
};

// The running system's: the platform layer's registry, shell and files.
class SystemServicesOfPlatform : public SystemServices {
public:
    bool HasRegistry() const override;
    std::optional<std::vector<RegistryValue>> RegistryValues(RegistryRoot root,
                                                             std::u16string_view keyPath) const override;
    std::optional<std::u16string> LocalAppDataFolder() const override;
    std::u16string TemporaryFolder() const override;
    bool FileExists(std::u16string_view path) const override;
    bool FolderExists(std::u16string_view path) const override;
    std::u16string FinalPath(std::u16string_view path) const override;
};

}  // namespace kosmara
