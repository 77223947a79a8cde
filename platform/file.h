// Files as the system writes them, their identities, and the texts of the
// system's errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_sink.h"
#include "platform/unique_handle.h"

namespace kosmara {

// "Datei "%s" kann nicht erstellt werden. %s": full path, system error text.
inline constexpr char16_t kCannotCreateFile[] = u"Datei \"%s\" kann nicht erstellt werden. %s";
// A write the file system refused (a full disk, a lost network share).
inline constexpr char16_t kCannotWriteFile[] = u"In die Datei \"%s\" kann nicht geschrieben werden. %s";
// An output that is a device, a pipe or a socket: writing to it would hang
// or go nowhere.
inline constexpr char16_t kNotARegularFile[] =
    u"Datei \"%s\" kann nicht erstellt werden. Sie ist keine gewöhnliche Datei, sondern ein Gerät, eine Pipe oder ein "
    u"Socket";

// The identity of a file on its volume: two paths with equal identities name
// the same file (links, other spellings, 8.3 names).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// An output file, open for reading and writing and not shared with other
// openers while the object lives; closed when it is destroyed.
class OutputFile final : public ByteSink {
public:
    // Opens the regular file at path, creating it when it does not exist,
    // and leaves its contents as they are, so the caller can look at the file
    // it got (Identity) before emptying it. Anything else than a regular
    // disk file fails with kNotARegularFile; any other failure with
    // kCannotCreateFile. Both name the full path.
    static OutputFile Open(std::u16string_view path);
    // Open, then Truncate: the file created anew.
    static OutputFile Create(std::u16string_view path) {
        OutputFile file = Open(path);
        file.Truncate();
        return file;
    }

    OutputFile(OutputFile&&) noexcept = default;
    OutputFile& operator=(OutputFile&&) noexcept = default;
    ~OutputFile() override = default;

    FileIdentity Identity() const;
    // Empties the file; fails with kCannotCreateFile.
    void Truncate();

    // Writes all bytes or fails with kCannotWriteFile; whatever an earlier
    // call wrote stays in the file.
    void Write(const char* data, std::size_t size) override;

    const std::u16string& path() const noexcept { return path_; }

private:
    OutputFile(NativeFile handle, std::u16string path) noexcept : handle_(std::move(handle)), path_(std::move(path)) {}

    NativeFile handle_;
    std::u16string path_;
};

// The path made absolute against the current folder, as the system's own
// file calls would take it: Windows resolves "." and ".." in the text, so
// does this; POSIX leaves them to the kernel, which follows links first, so
// they stay.
std::u16string FullPath(std::u16string_view path);

// The operating system's text for an error code (errno or GetLastError),
// in the user's language, without trailing blanks, line ends and dots.
std::u16string SystemErrorText(unsigned long code);

}  // namespace kosmara
