// The AAF file's text writer: UTF-8 with byte-order mark, lines ending in
// CR LF, a buffer of 1024 bytes handed to the file at the end of every write
// call, so each line is in the file when its call returns.
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

private:
    void Append(const char* data, std::size_t size);
    void Flush();

    ByteSink& output_;
    std::array<char, kBufferSize> buffer_{};
    std::size_t used_ = 0;
    std::string encoded_;
};

}  // namespace kosmara
