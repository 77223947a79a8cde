#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"
#include "platform/posix_files.h"

namespace kosmara {

namespace {

bool StatPath(std::u16string_view path, struct stat& info) {
    return !path.empty() && ::stat(NativePath(path).c_str(), &info) == 0;
}

using Descriptor = UniqueHandle<NativeFileTraits>;

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR) fd = ::open(path, flags, mode);
    return fd;
}


// 0, or the error that stopped the writing.
int WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : ENOSPC;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

bool FileExists(std::u16string_view path) {
    struct stat info {};
    return StatPath(path, info) && !S_ISDIR(info.st_mode);
}

bool FolderExists(std::u16string_view path) {
    struct stat info {};
    return StatPath(path, info) && S_ISDIR(info.st_mode);
}

std::optional<FileIdentity> IdentityOfPath(std::u16string_view path) {
    struct stat info {};
    if (!StatPath(path, info)) return std::nullopt;
    return MakeFileIdentity(static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino), 0,
                            [path] { return FinalPathOf(path); });
}

std::u16string FinalPathOf(std::u16string_view path) {
    const std::u16string full = FullPath(path);
    char* resolved = ::realpath(NativePath(full).c_str(), nullptr);
    if (resolved == nullptr) return full;
    std::u16string result = FromNativeBytes(resolved);
    std::free(resolved);
    return result;
}

std::u16string TemporaryFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::u16string folder = tmpdir != nullptr && *tmpdir == '/' ? FromNativeBytes(tmpdir) : std::u16string(u"/tmp");
    return WithClosingSeparator(folder);
}

void CreateFolders(std::u16string_view path) {
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty()) return;
    // Each missing folder on the way, from the top.
    for (std::size_t at = 1; at <= native.size(); ++at) {
        if (at != native.size() && native[at] != '/') continue;
        const std::string part = native.substr(0, at);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return;
    }
}

std::optional<std::u16string> CannotCreateFilesIn(std::u16string_view folder) {
    const std::string native = NativePath(folder.empty() ? std::u16string_view(u".") : folder);
#ifdef O_TMPFILE
    // A file without a name: nothing to remove, and nothing shows in the
    // folder even for a moment. Where the file system has no such files,
    // a named one is made and removed.
    {
        const Descriptor file(OpenRetrying(native.c_str(), O_TMPFILE | O_WRONLY | O_EXCL | O_CLOEXEC, 0600));
        if (file) return std::nullopt;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOSYS)
            return SystemErrorText(static_cast<unsigned long>(errno));
    }
#endif
    static unsigned counter = 0;
    for (int attempt = 0;; ++attempt) {
        const std::string probe = NativePath(JoinPath(
            folder, kProbeFilePrefix + FromAscii(std::to_string(::getpid()) + "-" + std::to_string(++counter))));
        const Descriptor file(OpenRetrying(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
        if (!file) {
            // A probe of another run that ended before removing it: another name.
            if (errno == EEXIST && attempt < 100) continue;
            return SystemErrorText(static_cast<unsigned long>(errno));
        }
        if (::unlink(probe.c_str()) != 0) return SystemErrorText(static_cast<unsigned long>(errno));
        return std::nullopt;
    }
}

std::optional<std::vector<std::u16string>> ListFiles(std::u16string_view folder) {
    const Directory directory = OpenDirectory(folder);
    if (!directory) return std::nullopt;
    std::vector<std::u16string> names;
    while (const dirent* entry = ::readdir(directory.get())) {
        std::u16string name = FromNativeBytes(entry->d_name);
        if (name == u"." || name == u"..") continue;
        if (FileExists(JoinPath(folder, name))) names.push_back(std::move(name));
    }
    return names;
}

void CopyFileReplacing(std::u16string_view source, std::u16string_view target) {
    const std::string from = NativePath(source);
    const std::string to = NativePath(target);
    const auto fail = [&](int code) {
        return Error(FillMessage(kCannotCopyFile, {source, target, SystemErrorText(static_cast<unsigned long>(code))}));
    };
    // A device, pipe or socket is said as what it is; opening it is not
    // even tried (a socket cannot be opened, a device may act on it).
    const auto refuseKind = [&](const struct stat& info) {
        if (S_ISREG(info.st_mode)) return;
        if (S_ISDIR(info.st_mode)) throw fail(EISDIR);
        const char16_t* kind = S_ISFIFO(info.st_mode)   ? kSourceIsAPipe
                               : S_ISSOCK(info.st_mode) ? kSourceIsASocket
                                                        : kSourceIsADevice;
        throw Error(FillMessage(kCannotCopyFile, {source, target, kind}));
    };
    struct stat info {};
    if (::stat(from.c_str(), &info) == 0) refuseKind(info);
    // O_NONBLOCK: a FIFO put there meanwhile must not hold the copy; what
    // was opened decides, only regular files are copied.
    const Descriptor in(OpenRetrying(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in) throw fail(errno);
    if (::fstat(static_cast<int>(in.get()), &info) != 0) throw fail(errno);
    refuseKind(info);
    const int flags = ::fcntl(static_cast<int>(in.get()), F_GETFL);
    if (flags == -1 || ::fcntl(static_cast<int>(in.get()), F_SETFL, flags & ~O_NONBLOCK) == -1) throw fail(errno);

    // Written beside the target under a name of its own (no "." in it, so
    // no table's mask takes it), then renamed over it: the name is
    // replaced, never the file a link there points to.
    const std::string folder = to.substr(0, to.rfind('/') + 1);
    std::string temporary;
    Descriptor out;
    std::optional<RemoveOnInterrupt> cleanup;
    static unsigned counter = 0;
    for (int attempt = 0; !out; ++attempt) {
        temporary = folder + "~kosmara-copy-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        const InterruptShield shield;
        out.reset(OpenRetrying(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!out && (errno != EEXIST || attempt >= 100)) throw fail(errno);
        if (out) cleanup.emplace(FromNativeBytes(temporary));
    }
    try {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(static_cast<int>(in.get()), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw fail(errno);
            if (got == 0) break;
            if (const int code = WriteAll(static_cast<int>(out.get()), buffer, static_cast<std::size_t>(got)))
                throw fail(code);
        }
        // Readable and writable for the user whatever the source allowed:
        // the next merge must be able to replace and remove it.
        if (::fchmod(static_cast<int>(out.get()), 0600) != 0) throw fail(errno);
        if (::rename(temporary.c_str(), to.c_str()) != 0) throw fail(errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

void RemoveFile(std::u16string_view path) {
    if (::unlink(NativePath(path).c_str()) != 0 && errno != ENOENT)
        throw Error(FillMessage(kCannotRemoveFile, {path, SystemErrorText(static_cast<unsigned long>(errno))}));
}

void CreatePrivateFolder(std::u16string_view path) {
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    const auto notPrivate = [&] { return Error(FillMessage(kFolderNotPrivate, {path})); };
    const auto fail = [&](int code) {
        return Error(FillMessage(kCannotCreateFolder, {path, SystemErrorText(static_cast<unsigned long>(code))}));
    };
    CreateFolders(FromNativeBytes(native.substr(0, native.rfind('/') + 1)));
    if (::mkdir(native.c_str(), 0700) != 0 && errno != EEXIST) throw fail(errno);
    // Decided on the folder opened, not on its name: a link planted there
    // is never followed, a folder of another user never used.
    const Descriptor folder(OpenRetrying(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        if (errno == ELOOP || errno == ENOTDIR) throw notPrivate();
        throw fail(errno);
    }
    struct stat info {};
    if (::fstat(static_cast<int>(folder.get()), &info) != 0) throw fail(errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) throw notPrivate();
    if ((info.st_mode & 077) != 0 && ::fchmod(static_cast<int>(folder.get()), 0700) != 0) throw fail(errno);
}

std::optional<FolderLock> FolderLock::Acquire(std::u16string_view folder, std::u16string_view name,
                                              std::chrono::milliseconds wait, const std::function<void()>& waiting) {
    const std::u16string path = JoinPath(folder, name);
    const std::string native = NativePath(path);
    NativeFile handle(OpenRetrying(native.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    if (!handle)
        throw Error(FillMessage(kCannotCreateFile, {path, SystemErrorText(static_cast<unsigned long>(errno))}));
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(static_cast<int>(handle.get()), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK)
            throw Error(FillMessage(kCannotCreateFile, {path, SystemErrorText(static_cast<unsigned long>(errno))}));
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        if (waiting) waiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return FolderLock(std::move(handle));
}

std::u16string LongPathOf(std::u16string_view path) { return std::u16string(path); }

std::vector<std::u16string> FilesNamedLike(std::u16string_view folder, std::u16string_view prefix) {
    std::vector<std::u16string> paths;
    const Directory directory = OpenDirectory(folder);
    if (!directory) return paths;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::u16string name = FromNativeBytes(entry->d_name);
        if (!StartsWithIgnoringCase(name, prefix)) continue;
        std::u16string path = JoinPath(folder, name);
        if (FileExists(path)) paths.push_back(std::move(path));
    }
    return paths;
}

std::size_t MaxPathLength() { return PATH_MAX; }
std::size_t MaxCopyPathLength() { return PATH_MAX; }

}  // namespace kosmara
