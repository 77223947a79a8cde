// Files as the system writes them, their identities, and the texts of the
// system's errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/byte_sink.h"
#include "platform/interrupt.h"
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
// the same file (links, other spellings, 8.3 names). Where the file system
// gives the file no usable number (0, as some network shares and FAT
// volumes report), the file's full final path stands in for it.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;      // the file's number, or the low half of a 128-bit one
    std::uint64_t fileHigh = 0;  // the high half of a 128-bit number (ReFS)
    std::u16string finalPath;    // only where the number is 0
    bool HasNumber() const noexcept { return file != 0 || fileHigh != 0; }
};
// Same file: by volume and number where both have a number, by the final
// path (as the file system compares names) where neither has; a file with a
// number and one without are different files.
bool operator==(const FileIdentity& a, const FileIdentity& b);

// Whether two full final paths name one file, as the file system compares
// names (Windows: without regard to case).
bool SameFinalPath(std::u16string_view a, std::u16string_view b);

// The identity from what the system reports of an open file; finalPath is
// asked only when the number is 0.
FileIdentity MakeFileIdentity(std::uint64_t volume, std::uint64_t fileLow, std::uint64_t fileHigh,
                              const std::function<std::u16string()>& finalPath);

// The identity of an open file (a NativeFile's value); nothing when the
// system cannot tell.
std::optional<FileIdentity> IdentityOfOpenFile(std::intptr_t handle);
// The full final path of an open file as the system resolves it (links
// followed); nothing when the system cannot tell.
std::optional<std::u16string> FinalPathOfOpenFile(std::intptr_t handle);

// An output put in place only when it is whole: the bytes go to a
// temporary file in the destination's folder (a name without "." that no
// table's file mask can match), and Commit flushes it to disk and puts it in
// place of the destination by one rename. Until then the destination is as
// it was; a file that is not committed is removed when the object goes, and
// on Ctrl-C and the other ends of the process that platform/interrupt.h
// catches.
class ReplacingOutputFile final : public ByteSink {
public:
    // Looks at the destination first: an existing one must be a regular
    // disk file that is not held open by another program and may be
    // written (kCannotCreateFile otherwise, kNotARegularFile for devices,
    // pipes and sockets; both name the full path). A destination named
    // through a symbolic link is the file the link names. Then creates the
    // temporary file (kCannotCreateFile naming the destination).
    static ReplacingOutputFile Open(std::u16string_view path);

    ReplacingOutputFile(ReplacingOutputFile&& other) noexcept;
    ReplacingOutputFile& operator=(ReplacingOutputFile&&) = delete;
    ReplacingOutputFile(const ReplacingOutputFile&) = delete;
    ~ReplacingOutputFile() override;

    // The destination's identity, when it exists; the temporary file's.
    const std::optional<FileIdentity>& DestinationIdentity() const noexcept { return destinationIdentity_; }
    FileIdentity TemporaryIdentity() const;

    // Writes all bytes to the temporary file or fails with kCannotWriteFile
    // naming the destination.
    void Write(const char* data, std::size_t size) override;
    // Flushed to disk, then put in place of the destination; the folder's
    // entry made durable where the system allows. Fails with
    // kCannotWriteFile or kCannotCreateFile; the destination then is as it
    // was.
    void Commit();
    void Finish() override { Commit(); }

    // The destination's full path as given (for messages) and the file that
    // is replaced (links followed).
    const std::u16string& path() const noexcept { return path_; }
    const std::u16string& finalPath() const noexcept { return finalPath_; }
    const std::u16string& temporaryPath() const noexcept { return temporaryPath_; }

private:
    ReplacingOutputFile() = default;
    void Discard() noexcept;

    NativeFile handle_;
    std::u16string path_;
    std::u16string finalPath_;
    std::u16string temporaryPath_;
    std::optional<FileIdentity> destinationIdentity_;
    std::optional<std::uint32_t> destinationMode_;  // POSIX: the permissions the replaced file had
    std::optional<RemoveOnInterrupt> cleanup_;
    bool committed_ = false;
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
