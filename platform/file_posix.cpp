#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/system_error_text.h"

namespace kosmara {

void NativeFileTraits::Close(Value value) noexcept { ::close(static_cast<int>(value)); }

namespace {

int Descriptor(const NativeFile& file) { return static_cast<int>(file.get()); }

}  // namespace

OutputFile OutputFile::Open(std::u16string_view path) {
    std::u16string full = FullPath(path);
    const auto fail = [&full](int code) { return Error(FillMessage(kCannotCreateFile, {full, SystemErrorText(code)})); };

    // O_NONBLOCK: opening a FIFO or a device must not wait; either is
    // refused below, once it is known what was opened.
    const std::string native = ToNativeBytes(full);
    int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    while (fd < 0 && errno == EINTR) fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) throw fail(errno);
    NativeFile handle(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw fail(errno);
    if (!S_ISREG(info.st_mode)) throw Error(FillMessage(kNotARegularFile, {full}));
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) throw fail(errno);
    // No sharing: another writer of this program (or any flock user) is kept out.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) throw fail(errno);
    return OutputFile(std::move(handle), std::move(full));
}

FileIdentity OutputFile::Identity() const {
    struct stat info {};
    if (::fstat(Descriptor(handle_), &info) != 0)
        throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(errno)}));
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

void OutputFile::Truncate() {
    if (::ftruncate(Descriptor(handle_), 0) != 0)
        throw Error(FillMessage(kCannotCreateFile, {path_, SystemErrorText(errno)}));
}

void OutputFile::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(Descriptor(handle_), data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int code = written < 0 ? errno : ENOSPC;
            throw Error(FillMessage(kCannotWriteFile, {path_, SystemErrorText(code)}));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
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
    // stay as they are.
    static const locale_t messages = ::newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(0));
    const char* text = messages != static_cast<locale_t>(0) ? ::strerror_l(static_cast<int>(code), messages)
                                                            : ::strerror(static_cast<int>(code));
    return TrimSystemErrorText(FromUtf8(text));
}

}  // namespace kosmara
