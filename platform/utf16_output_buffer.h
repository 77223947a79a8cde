// A stream buffer that takes the program's UTF-8 text and hands it on as
// UTF-16, for a console written with WriteConsoleW: what the console shows
// then does not depend on its code page. Bytes are kept until a line ends,
// the buffer fills or the stream is flushed; a character whose bytes came
// only in part stays in the buffer until the rest arrives, so a flush never
// cuts it in two. Malformed UTF-8 becomes U+FFFD as in FromUtf8. Portable,
// so the conversion is tested in every build.
#pragma once

#include <cstddef>
#include <functional>
#include <streambuf>
#include <string>
#include <string_view>

namespace kosmara {

// How many leading bytes of text can be converted now: all of them, except
// for the start of a multi-byte sequence at the end whose remaining bytes
// have not arrived yet. Converting text in such pieces gives what
// FromUtf8 gives for the whole.
std::size_t CompleteUtf8Length(std::string_view text) noexcept;

class Utf16OutputBuffer : public std::streambuf {
public:
    // write takes each piece of text and reports whether it was written.
    using Writer = std::function<bool(std::u16string_view)>;

    explicit Utf16OutputBuffer(Writer write);
    // Writes what is left; the start of a sequence never completed becomes U+FFFD.
    ~Utf16OutputBuffer() override;
    Utf16OutputBuffer(const Utf16OutputBuffer&) = delete;
    Utf16OutputBuffer& operator=(const Utf16OutputBuffer&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize count) override;
    int sync() override;

private:
    // Converts and writes the complete sequences (with finish: everything).
    bool Emit(bool finish);

    Writer write_;
    std::string pending_;
};

}  // namespace kosmara
