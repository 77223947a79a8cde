#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"
#include "platform/system_error_text.h"

namespace kosmara {

OutputFile OutputFile::Create(std::u16string_view path) {
    std::u16string full = FullPath(path);
    const std::string native = ToUtf8(full);
    const auto fail = [&](int code) { return Error(FillMessage(kCannotCreateFile, {full, SystemErrorText(code)})); };

    const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw fail(errno);
    OutputFile file(fd, std::move(full));
    // No sharing: another writer of this program (or any flock user) is kept out.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) throw fail(errno);
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) throw fail(errno);
    return file;
}

void OutputFile::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(static_cast<int>(handle_), data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int code = written < 0 ? errno : ENOSPC;
            throw Error(FillMessage(kCannotWriteFile, {path_, SystemErrorText(code)}));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::Close() noexcept {
    if (handle_ != -1) ::close(static_cast<int>(std::exchange(handle_, -1)));
}

std::u16string FullPath(std::u16string_view path) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(ToUtf8(path)), ignored);
    return FromUtf8(absolute.lexically_normal().string());
}

std::u16string SystemErrorText(unsigned long code) {
    char buffer[512];
    // GNU strerror_r returns the text (in the user's language where the C
    // library has a translation), not always in the buffer.
    const char* text = ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return TrimSystemErrorText(FromUtf8(text));
}

}  // namespace kosmara
