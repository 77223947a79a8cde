#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/input_file.h"
#include "platform/posix_files.h"

namespace kosmara {

namespace {

int Descriptor(const NativeFile& file) { return static_cast<int>(file.get()); }

OpenFailure FailureOfErrno(int code, std::u16string_view path) {
    switch (code) {
    case ENOENT: {
        const std::u16string folder = FolderOfPath(path);
        return folder.empty() || FolderExists(folder) ? OpenFailure::kNotFound : OpenFailure::kFolderNotFound;
    }
    case ENOTDIR:
        return OpenFailure::kFolderNotFound;
    case EACCES:
    case EPERM:
        return OpenFailure::kAccessDenied;
    case EISDIR:
        return OpenFailure::kIsFolder;
    case ENXIO:   // a socket, or a device without its hardware
    case ENODEV:
        return OpenFailure::kNotARegularFile;
    default:
        return OpenFailure::kOther;
    }
}

}  // namespace

std::optional<InputFile> InputFile::Open(std::u16string_view path, OpenError& error) {
    const std::string native = NativePath(path);
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    while (fd < 0 && errno == EINTR) fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int code = errno;
        error = {FailureOfErrno(code, path), static_cast<unsigned long>(code)};
        return std::nullopt;
    }
    InputFile file{NativeFile(fd), std::u16string(path)};
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
        error = {OpenFailure::kNotARegularFile, EINVAL};
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
    if (::fstat(Descriptor(handle_), &info) != 0)
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
        const ssize_t got = ::pread(Descriptor(handle_), bytes + done, chunk, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(errno)}));
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

FileIdentity InputFile::Identity() const {
    const std::optional<FileIdentity> identity = IdentityOfOpenFile(handle_.get());
    if (!identity) throw Error(FillMessage(kCannotReadFile, {FullPath(path_), SystemErrorText(errno)}));
    return *identity;
}

std::optional<std::u16string> FindFileIgnoringCase(std::u16string_view folder, std::u16string_view name) {
    if (name.empty()) return std::nullopt;
    std::u16string exact = JoinPath(folder, name);
    if (FileExists(exact)) return exact;
    const Directory directory = OpenDirectory(folder);
    if (!directory) return std::nullopt;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::u16string entryName = FromNativeBytes(entry->d_name);
        if (!EqualIgnoringCase(entryName, name)) continue;
        std::u16string path = JoinPath(folder, entryName);
        if (FileExists(path)) return path;
    }
    return std::nullopt;
}

}  // namespace kosmara
