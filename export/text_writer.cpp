#include "export/text_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/text.h"

namespace kosmara {

Utf8TextWriter::Utf8TextWriter(ByteSink& output) : output_(output) {
    static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
    Append(kByteOrderMark, 3);
    Flush();
}

void Utf8TextWriter::WriteLine(std::u16string_view text) {
    encoded_.clear();
    AppendUtf8(text, encoded_);
    encoded_ += "\r\n";
    Append(encoded_.data(), encoded_.size());
    Flush();
}

void Utf8TextWriter::Append(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t part = std::min(size, kBufferSize - used_);
        std::memcpy(buffer_.data() + used_, data, part);
        used_ += part;
        data += part;
        size -= part;
        if (used_ == kBufferSize) Flush();
    }
}

void Utf8TextWriter::Flush() {
    if (used_ == 0) return;
    const std::size_t size = std::exchange(used_, 0);
    output_.Write(buffer_.data(), size);
}

}  // namespace kosmara
