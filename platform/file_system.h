// The folder operations of discovery and the export job: existence tests,
// the user's temporary folder, folder creation, listing and copying. The
// export job writes through these only into its staging folder.
#pragma once

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

// The current user's temporary folder in long-name form, with its closing
// separator (Windows: GetTempPathW expanded by GetLongPathNameW; POSIX:
// TMPDIR, else /tmp).
std::u16string TemporaryFolder();

// Creates the folder with any missing parents; an existing one stays as it
// is. Whether it worked shows when the folder is used.
void CreateFolders(std::u16string_view path);

// Whether a file can be made in folder: creates a probe file there,
// "kosmara-probe-" and the process id (no "." in it, so no table's file
// mask and no 8.3 form of another name can take it), and removes it again.
// Nothing when it worked, else the operating system's text of the failure.
std::optional<std::u16string> CannotCreateFilesIn(std::u16string_view folder);

// The names of the files (not folders) in folder itself, hidden and system
// files included, in the order the file system lists them; nothing when the
// folder does not exist or cannot be listed.
std::optional<std::vector<std::u16string>> ListFiles(std::u16string_view folder);

// Copies source to target, replacing a file of that name; the replacement
// takes the name's place, so a link that stood there is not written
// through. Fails with the operating system's text.
void CopyFileReplacing(std::u16string_view source, std::u16string_view target);

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
