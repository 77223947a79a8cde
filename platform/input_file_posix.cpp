#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/input_file.h"

namespace kosmara {

namespace {

// POSIX file names are UTF-8 bytes.
std::string Native(std::u16string_view path) { return path.empty() ? std::string() : ToUtf8(path); }

struct DirectoryCloser {
    void operator()(DIR* directory) const noexcept { ::closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

// The folder for listing: "" is the current folder.
Directory OpenDirectory(std::u16string_view folder) {
    return Directory(::opendir(folder.empty() ? "." : Native(folder).c_str()));
}

bool IsFolderOrMissing(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode);
}

OpenFailure FailureOfErrno(int code, std::u16string_view path) {
    switch (code) {
    case ENOENT:
        return FolderExists(FolderOfPath(path)) ? OpenFailure::kNotFound : OpenFailure::kFolderNotFound;
    case ENOTDIR:
        return OpenFailure::kFolderNotFound;
    case EACCES:
    case EPERM:
        return OpenFailure::kAccessDenied;
    case EISDIR:
        return OpenFailure::kIsFolder;
    default:
        return OpenFailure::kOther;
    }
}

}  // namespace

std::optional<InputFile> InputFile::Open(std::u16string_view path, OpenError& error) {
    const std::string native = Native(path);
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR) fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int code = errno;
        error = {FailureOfErrno(code, path), static_cast<unsigned long>(code)};
        return std::nullopt;
    }
    InputFile file(fd, std::u16string(path));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = {OpenFailure::kOther, static_cast<unsigned long>(errno)};
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode)) {
        error = {OpenFailure::kIsFolder, EISDIR};
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        error = {OpenFailure::kOther, EINVAL};
        return std::nullopt;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        error = {OpenFailure::kOther, static_cast<unsigned long>(errno)};
        return std::nullopt;
    }
    return file;
}

std::uint64_t InputFile::Size() const {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0)
        throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(errno)}));
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t position = offset + done;
        // Beyond what off_t can address nothing can be read.
        if (position > static_cast<std::uint64_t>(LLONG_MAX) || position < offset) break;
        const std::size_t chunk = size - done > 0x40000000u ? 0x40000000u : size - done;
        const ssize_t got = ::pread(static_cast<int>(handle_), bytes + done, chunk, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(errno)}));
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

FileIdentity InputFile::Identity() const {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0)
        throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(errno)}));
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

void InputFile::Close() noexcept {
    if (handle_ != -1) ::close(static_cast<int>(std::exchange(handle_, -1)));
}

std::optional<FileIdentity> IdentityOfPath(std::u16string_view path) {
    struct stat info {};
    if (path.empty() || ::stat(Native(path).c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool FolderExists(std::u16string_view path) {
    if (path.empty()) return true;  // the current folder
    struct stat info {};
    return ::stat(Native(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::u16string> FindFileIgnoringCase(std::u16string_view folder, std::u16string_view name) {
    if (name.empty()) return std::nullopt;
    std::u16string exact = JoinPath(folder, name);
    if (!IsFolderOrMissing(Native(exact))) return exact;
    const Directory directory = OpenDirectory(folder);
    if (!directory) return std::nullopt;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::u16string entryName = FromUtf8(entry->d_name);
        if (!EqualIgnoringCase(entryName, name)) continue;
        std::u16string path = JoinPath(folder, entryName);
        if (!IsFolderOrMissing(Native(path))) return path;
    }
    return std::nullopt;
}

std::vector<std::u16string> ListFileNames(std::u16string_view folder) {
    std::vector<std::u16string> names;
    const Directory directory = OpenDirectory(folder);
    if (!directory) return names;
    while (const dirent* entry = ::readdir(directory.get())) {
        std::u16string name = FromUtf8(entry->d_name);
        if (!IsFolderOrMissing(Native(JoinPath(folder, name)))) names.push_back(std::move(name));
    }
    return names;
}

}  // namespace kosmara
