// Files as the system writes them, and the texts of the system's errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kosmara {

// "Datei "%s" kann nicht erstellt werden. %s": full path, system error text.
inline constexpr char16_t kCannotCreateFile[] = u"Datei \"%s\" kann nicht erstellt werden. %s";
// A write the file system refused (a full disk, a lost network share).
inline constexpr char16_t kCannotWriteFile[] = u"In die Datei \"%s\" kann nicht geschrieben werden. %s";

// An output file created anew: an existing file of that name is emptied.
// Open for reading and writing and not shared with other openers while the
// object lives; closed when it is destroyed.
class OutputFile {
public:
    // Fails with kCannotCreateFile, naming the full path.
    static OutputFile Create(std::u16string_view path);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Writes all bytes or fails with kCannotWriteFile; whatever an earlier
    // call wrote stays in the file.
    void Write(const char* data, std::size_t size);

    const std::u16string& path() const noexcept { return path_; }

private:
    OutputFile(std::intptr_t handle, std::u16string path) noexcept : handle_(handle), path_(std::move(path)) {}
    void Close() noexcept;

    std::intptr_t handle_;  // file descriptor or Windows handle; -1 when closed
    std::u16string path_;
};

// The path made absolute against the current folder.
std::u16string FullPath(std::u16string_view path);

// The operating system's text for an error code (errno or GetLastError),
// without trailing blanks, line ends and dots.
std::u16string SystemErrorText(unsigned long code);

}  // namespace kosmara
