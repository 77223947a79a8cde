#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/file_system.h"
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

[[noreturn]] void ThrowSystemError(int code) { throw Error(SystemErrorText(static_cast<unsigned long>(code))); }

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) ThrowSystemError(written < 0 ? errno : ENOSPC);
        data += written;
        size -= static_cast<std::size_t>(written);
    }
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
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
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
    const std::string probe = NativePath(JoinPath(folder, u"kosmara-probe-" + FromAscii(std::to_string(::getpid()))));
    const Descriptor file(OpenRetrying(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
    if (!file) return SystemErrorText(static_cast<unsigned long>(errno));
    if (::unlink(probe.c_str()) != 0) return SystemErrorText(static_cast<unsigned long>(errno));
    return std::nullopt;
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
    // O_NONBLOCK: a FIFO must not hold the copy; only regular files are copied.
    const Descriptor in(OpenRetrying(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in) ThrowSystemError(errno);
    struct stat info {};
    if (::fstat(static_cast<int>(in.get()), &info) != 0) ThrowSystemError(errno);
    if (!S_ISREG(info.st_mode)) ThrowSystemError(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    const int flags = ::fcntl(static_cast<int>(in.get()), F_GETFL);
    if (flags == -1 || ::fcntl(static_cast<int>(in.get()), F_SETFL, flags & ~O_NONBLOCK) == -1) ThrowSystemError(errno);

    // Written beside the target under a name of its own, then renamed over
    // it: the name is replaced, never the file a link there points to.
    std::string temporary = to + ".kosmara-XXXXXX";
    const Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out) ThrowSystemError(errno);
    try {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(static_cast<int>(in.get()), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) ThrowSystemError(errno);
            if (got == 0) break;
            WriteAll(static_cast<int>(out.get()), buffer, static_cast<std::size_t>(got));
        }
        if (::fchmod(static_cast<int>(out.get()), info.st_mode & 07777) != 0) ThrowSystemError(errno);
        if (::rename(temporary.c_str(), to.c_str()) != 0) ThrowSystemError(errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
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
