// The AAF file's text writer: UTF-8 with byte-order mark, lines ending in
// CR LF, a buffer of 1024 bytes handed to the file at the end of every line,
// so each line is in the file when its call returns.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/byte_sink.h"

namespace kosmara {

class Utf8TextWriter {
public:
    static constexpr std::size_t kBufferSize = 1024;

    // Writes the byte-order mark to output at once. The output (an emptied
    // file, or memory) stays the caller's and outlives the writer.
    explicit Utf8TextWriter(ByteSink& output);

    // Writes the text and CR LF.
    void WriteLine(std::u16string_view text);

    // A line in parts, none of them copied: each Put adds a part, EndLine
    // adds CR LF. The parts are encoded as the one text they make together
    // (a surrogate pair split between two parts is one character), so the
    // bytes are those of the whole line given to WriteLine.
    void Put(std::u16string_view part);
    void EndLine();

private:
    void Encode(std::u16string_view text);
    void Append(const char* data, std::size_t size);
    void Flush();

    ByteSink& output_;
    std::array<char, kBufferSize> buffer_{};
    std::size_t used_ = 0;
    char16_t pendingHigh_ = 0;  // a high surrogate that ended the last part
};

}  // namespace kosmara
