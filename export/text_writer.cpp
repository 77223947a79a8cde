#include "export/text_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/text.h"

namespace kosmara {

namespace {

// Parts are encoded in slices of this many code units, so the UTF-8 of a
// slice (at most 3 bytes a unit) is all the room a line of any length needs.
constexpr std::size_t kSliceUnits = 512;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

Utf8TextWriter::Utf8TextWriter(ByteSink& output) : output_(output) {
    static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
    Append(kByteOrderMark, 3);
    Flush();
}

void Utf8TextWriter::WriteLine(std::u16string_view text) {
    Put(text);
    EndLine();
}

void Utf8TextWriter::Put(std::u16string_view part) {
    if (part.empty()) return;
    if (pendingHigh_ != 0) {
        const char16_t pair[2] = {std::exchange(pendingHigh_, u'\0'), part.front()};
        const bool joined = IsLowSurrogate(part.front());
        Encode(std::u16string_view(pair, joined ? 2 : 1));
        if (joined) part.remove_prefix(1);
    }
    // A high surrogate at the end waits for the next part's first unit.
    if (!part.empty() && IsHighSurrogate(part.back())) {
        pendingHigh_ = part.back();
        part.remove_suffix(1);
    }
    while (!part.empty()) {
        std::size_t size = std::min(kSliceUnits, part.size());
        // A high surrogate starts the next slice, so a pair stays in one.
        if (size < part.size() && IsHighSurrogate(part[size - 1])) --size;
        Encode(part.substr(0, size));
        part.remove_prefix(size);
    }
}

void Utf8TextWriter::EndLine() {
    if (pendingHigh_ != 0) {
        const char16_t lone = std::exchange(pendingHigh_, u'\0');
        Encode(std::u16string_view(&lone, 1));
    }
    Append("\r\n", 2);
    Flush();
}

void Utf8TextWriter::Encode(std::u16string_view text) {
    encoded_.clear();
    AppendUtf8(text, encoded_);
    Append(encoded_.data(), encoded_.size());
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
