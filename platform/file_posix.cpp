#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <type_traits>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/system_error_text.h"

namespace kosmara {

void NativeFileTraits::Close(Value value) noexcept { ::close(static_cast<int>(value)); }

namespace {

int Descriptor(const NativeFile& file) { return static_cast<int>(file.get()); }

// Every byte into the file, or kCannotWriteFile naming path.
void WriteAllOrFail(const NativeFile& file, const std::u16string& path, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(Descriptor(file), data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int code = written < 0 ? errno : ENOSPC;
            throw Error(FillMessage(kCannotWriteFile, {path, SystemErrorText(code)}));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

}  // namespace

std::optional<FileIdentity> IdentityOfOpenFile(std::intptr_t handle) {
    struct stat info {};
    if (::fstat(static_cast<int>(handle), &info) != 0) return std::nullopt;
    return MakeFileIdentity(static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino), 0,
                            [handle] { return FinalPathOfOpenFile(handle).value_or(std::u16string()); });
}

std::optional<std::u16string> FinalPathOfOpenFile(std::intptr_t handle) {
    const std::string link = "/proc/self/fd/" + std::to_string(handle);
    std::string target(4096, '\0');
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    return FromNativeBytes(target);
}

namespace {

// The file a path names once symbolic links in its last component are
// followed, with its folder as the kernel resolves it; the path of a file
// that does not exist yet when nothing is to follow.
std::string FinalDestination(const std::u16string& full, const std::function<Error(int)>& fail) {
    std::string native = ToNativeBytes(full);
    for (int depth = 0;; ++depth) {
        struct stat info {};
        if (::lstat(native.c_str(), &info) != 0) {
            if (errno == ENOENT) break;
            throw fail(errno);
        }
        if (!S_ISLNK(info.st_mode)) break;
        if (depth == 40) throw fail(ELOOP);
        std::string target(4096, '\0');
        const ssize_t length = ::readlink(native.c_str(), target.data(), target.size());
        if (length < 0) throw fail(errno);
        if (static_cast<std::size_t>(length) >= target.size()) throw fail(ENAMETOOLONG);
        target.resize(static_cast<std::size_t>(length));
        if (target.front() != '/') target = native.substr(0, native.rfind('/') + 1) + target;
        native = std::move(target);
    }
    const std::size_t slash = native.rfind('/');
    const std::string name = native.substr(slash + 1);
    const std::string folder = slash == 0 ? std::string("/") : native.substr(0, slash);
    if (name.empty() || name == "." || name == "..") throw fail(EISDIR);
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) throw fail(errno);
    std::string result(resolved);
    std::free(resolved);
    if (result.back() != '/') result += '/';
    return result + name;
}

std::string TemporaryName() {
    static unsigned counter = 0;
    std::random_device random;
    char name[64];
    std::snprintf(name, sizeof name, "~kosmara-%ld-%u-%08x", static_cast<long>(::getpid()), ++counter,
                  static_cast<unsigned>(random()));
    return name;
}

}  // namespace

ReplacingOutputFile ReplacingOutputFile::Open(std::u16string_view path) {
    ReplacingOutputFile output;
    output.path_ = FullPath(path);
    const std::u16string& full = output.path_;
    const auto fail = [&full](int code) { return Error(FillMessage(kCannotCreateFile, {full, SystemErrorText(code)})); };
    const std::string destination = FinalDestination(full, fail);
    output.finalPath_ = FromNativeBytes(destination);

    // An existing destination: a regular file this user may write, not
    // locked by another writer. O_NONBLOCK: a FIFO or device must not wait.
    int fd = ::open(destination.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    while (fd < 0 && errno == EINTR) fd = ::open(destination.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        const NativeFile existing(fd);
        struct stat info {};
        if (::fstat(fd, &info) != 0) throw fail(errno);
        if (!S_ISREG(info.st_mode)) throw Error(FillMessage(kNotARegularFile, {full}));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) throw fail(errno);
        output.destinationIdentity_ = IdentityOfOpenFile(fd);
        output.destinationMode_ = static_cast<std::uint32_t>(info.st_mode & 07777);
    } else if (errno == ENXIO) {
        // A FIFO without a reader, or a device without its driver.
        throw Error(FillMessage(kNotARegularFile, {full}));
    } else if (errno != ENOENT) {
        throw fail(errno);
    }

    // The temporary file beside it, created and registered for removal with
    // no interrupt between.
    const std::string folder = destination.substr(0, destination.rfind('/') + 1);
    for (int attempt = 0;; ++attempt) {
        const std::string temporary = folder + TemporaryName();
        const InterruptShield shield;
        const int created = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
        if (created < 0) {
            if ((errno == EEXIST || errno == EINTR) && attempt < 100) continue;
            throw fail(errno);
        }
        output.handle_ = NativeFile(created);
        output.temporaryPath_ = FromNativeBytes(temporary);
        output.cleanup_.emplace(output.temporaryPath_);
        break;
    }
    return output;
}

void ReplacingOutputFile::Discard() noexcept {
    if (committed_ || temporaryPath_.empty()) return;
    handle_.reset();
    ::unlink(ToNativeBytes(temporaryPath_).c_str());
    cleanup_.reset();
}

FileIdentity ReplacingOutputFile::TemporaryIdentity() const {
    const std::optional<FileIdentity> identity = IdentityOfOpenFile(handle_.get());
    if (!identity) throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(errno)}));
    return *identity;
}

void ReplacingOutputFile::Write(const char* data, std::size_t size) {
    WriteAllOrFail(handle_, path_, data, size);
}

void ReplacingOutputFile::Commit() {
    if (committed_) return;
    const int fd = Descriptor(handle_);
    // On the disk before it takes the name: a power cut leaves the old file
    // or the whole new one.
    if (::fsync(fd) != 0 && errno != EINVAL) throw Error(FillMessage(kCannotWriteFile, {path_, SystemErrorText(errno)}));
    // A replaced file keeps its permissions (where this user may set them).
    if (destinationMode_) ::fchmod(fd, static_cast<mode_t>(*destinationMode_));
    const std::string destination = ToNativeBytes(finalPath_);
    {
        const InterruptShield shield;
        if (::rename(ToNativeBytes(temporaryPath_).c_str(), destination.c_str()) != 0)
            throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(errno)}));
        committed_ = true;
        cleanup_.reset();
    }
    handle_.reset();
    // The new entry durable as well.
    const std::string folder = destination.substr(0, destination.rfind('/') + 1);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
}

std::u16string FullPath(std::u16string_view path) {
    if (!path.empty() && path.front() == u'/') return std::u16string(path);
    std::string folder(256, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE) return std::u16string(path);
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    std::u16string full = FromNativeBytes(folder);
    if (path.empty()) return full;
    if (full.back() != u'/') full += u'/';
    full += path;
    return full;
}

std::u16string SystemErrorText(unsigned long code) {
    // In the language of the user's messages locale (LC_ALL, LC_MESSAGES,
    // LANG), without touching the process's own locale: numbers elsewhere
    // stay as they are. The translation comes in the character set of the
    // locale's LC_CTYPE, which the messages category alone leaves at the C
    // locale's ASCII ("verf?gbar"); UTF-8 is asked for, as the text is read
    // as UTF-8, and the environment's own set where the system lacks C.UTF-8.
    using Locale = std::unique_ptr<std::remove_pointer_t<locale_t>, decltype(&::freelocale)>;
    Locale messages(::newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(0)), &::freelocale);
    if (messages) {
        locale_t withType = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", messages.get());
        if (withType == static_cast<locale_t>(0)) withType = ::newlocale(LC_CTYPE_MASK, "", messages.get());
        // On success the new locale took the old one over.
        if (withType != static_cast<locale_t>(0)) {
            static_cast<void>(messages.release());
            messages.reset(withType);
        }
    }
    const char* text = messages ? ::strerror_l(static_cast<int>(code), messages.get()) : ::strerror(static_cast<int>(code));
    return TrimSystemErrorText(FromUtf8(text));
}

}  // namespace kosmara
