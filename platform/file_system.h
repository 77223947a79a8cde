// The folder operations of discovery and the export job: existence tests,
// the user's temporary folder, folder creation, listing and copying. The
// export job writes through these only into its staging folder.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace kosmara {

// Whether something that is not a folder exists at path (links followed; a
// file another program holds open counts).
bool FileExists(std::u16string_view path);
// Whether a folder exists at path (links followed). The empty path names
// nothing.
bool FolderExists(std::u16string_view path);

// The identity of the file or folder at path, or nothing when nothing exists
// there or it cannot be asked.
std::optional<FileIdentity> IdentityOfPath(std::u16string_view path);

// The full final path of what path names, as the system resolves it: links
// and junctions followed, long names (Windows); the full path itself where
// nothing exists there or the system cannot tell.
std::u16string FinalPathOf(std::u16string_view path);

// The current user's temporary folder in long-name form, with its closing
// separator (Windows: GetTempPathW expanded by GetLongPathNameW; POSIX:
// TMPDIR, else /tmp).
std::u16string TemporaryFolder();

// Creates the folder with any missing parents; an existing one stays as it
// is. Whether it worked shows when the folder is used.
void CreateFolders(std::u16string_view path);

// Whether a file can be made in folder, decided by making one that leaves
// nothing behind: POSIX a file without a name (O_TMPFILE) where the file
// system has them, else, as on Windows, a file named kProbeFilePrefix, the
// process id and a number (no "." in it, so no table's file mask and no
// 8.3 form of another name can take it), removed at once (Windows: deleted
// on close by the system). The system's own answer, so also a read-only
// share, a CD or a folder made immutable refuse it, and Wine answers for the
// Unix folder below. Nothing when it worked, else the system's text of the
// failure.
inline constexpr char16_t kProbeFilePrefix[] = u"~kosmara-probe-";
std::optional<std::u16string> CannotCreateFilesIn(std::u16string_view folder);

// The names of the files (not folders) in folder itself, hidden and system
// files included, in the order the file system lists them; nothing when the
// folder does not exist or cannot be listed.
std::optional<std::vector<std::u16string>> ListFiles(std::u16string_view folder);

// "Die Datei "%s" kann nicht nach "%s" kopiert werden. %s": source, target,
// system error text.
inline constexpr char16_t kCannotCopyFile[] = u"Die Datei \"%s\" kann nicht nach \"%s\" kopiert werden. %s";
// In place of the system's text in kCannotCopyFile: a source that is no
// ordinary file, said as what it is (the merge copies only files).
inline constexpr char16_t kSourceIsADevice[] = u"Sie ist keine gewöhnliche Datei, sondern ein Gerät";
inline constexpr char16_t kSourceIsAPipe[] = u"Sie ist keine gewöhnliche Datei, sondern eine Pipe";
inline constexpr char16_t kSourceIsASocket[] = u"Sie ist keine gewöhnliche Datei, sondern ein Socket";
// "Die Datei "%s" kann nicht entfernt werden. %s": path, system error text.
inline constexpr char16_t kCannotRemoveFile[] = u"Die Datei \"%s\" kann nicht entfernt werden. %s";
// "Der Ordner "%s" kann nicht angelegt werden. %s": folder, system error text.
inline constexpr char16_t kCannotCreateFolder[] = u"Der Ordner \"%s\" kann nicht angelegt werden. %s";
// A folder that must be the user's own but is not: %s the folder.
inline constexpr char16_t kFolderNotPrivate[] =
    u"Der Ordner \"%s\" gehört einem anderen Benutzer, ist eine Verknüpfung oder kein Ordner und wird nicht benutzt.";

// Copies source to target, replacing a file of that name. The source is
// read as the engine reads it (read access, shared with every other opener,
// so a table the legacy program holds open for writing can be copied); the
// copy is written beside the target under a name without "." and renamed
// over it, so a link that stood there is not written through, and it is an
// ordinary writable file whatever the source's attributes. A file another
// program holds briefly (a virus scanner, an indexer) is tried again a few
// times. Fails with kCannotCopyFile; a device, pipe or socket is not opened
// for reading and is named as what it is (kSourceIsADevice ...).
void CopyFileReplacing(std::u16string_view source, std::u16string_view target);

// Removes the file at path, a read-only one too. Fails with
// kCannotRemoveFile, after trying again a few times where another program
// holds the file briefly.
void RemoveFile(std::u16string_view path);

// Creates the folder, with any missing parents, as one only the current
// user can reach. POSIX: mode 0700; an existing one must be a folder owned
// by the user, not a link to one (it is made 0700 when it was more open);
// kFolderNotPrivate otherwise. Windows: the user's temporary folder is the
// user's own already; the folder is created as CreateFolders does.
void CreatePrivateFolder(std::u16string_view path);

// A file in a folder held by one process at a time (Windows: open without
// sharing; POSIX: flock), released when the object goes.
class FolderLock {
public:
    // Takes the lock file name in folder, creating it where needed. While
    // another holds it, calls waiting before each short pause and tries
    // again until wait has passed; then nothing. A lock file that cannot be opened at all fails
    // with kCannotCreateFile.
    static std::optional<FolderLock> Acquire(std::u16string_view folder, std::u16string_view name,
                                             std::chrono::milliseconds wait, const std::function<void()>& waiting);

private:
    explicit FolderLock(NativeFile handle) noexcept : handle_(std::move(handle)) {}
    NativeFile handle_;
};

// The path with its last component in long form (Windows: an 8.3 name
// expanded); the path itself where there is nothing to expand.
std::u16string LongPathOf(std::u16string_view path);

// The full paths of the files in folder whose names begin with prefix,
// compared as the file system compares names (Windows: without regard to
// case, by the system's own rules, short names included; POSIX: exact, and
// without regard to case as the engine looks for companion files).
std::vector<std::u16string> FilesNamedLike(std::u16string_view folder, std::u16string_view prefix);

// The longest path the platform's file calls take, and the longest path of
// a file that is copied (Windows: MAX_PATH and MAX_PATH - 12, as the
// system's folder and copy functions count them).
std::size_t MaxPathLength();
std::size_t MaxCopyPathLength();

}  // namespace kosmara
