#include "export/text_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kosmara {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The most bytes one code unit becomes (a pair: 4 bytes for 2 units).
constexpr std::size_t kMaxBytesPerUnit = 3;

// The UTF-8 of text, written from out on; returns the end. A high surrogate
// followed by a low one is one character; any other surrogate becomes
// U+FFFD, as in AppendUtf8.
char* EncodeUtf8(std::u16string_view text, char* out) {
    const char16_t* at = text.data();
    const char16_t* const end = at + text.size();
    while (at != end) {
        char32_t c = *at++;
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && at != end && IsLowSurrogate(*at)) {
                c = 0x10000 + ((c - 0xD800) << 10) + (*at++ - 0xDC00);
                *out++ = static_cast<char>(0xF0 | (c >> 18));
                *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (c & 0x3F));
                continue;
            }
            c = 0xFFFD;
        }
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

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
    Encode(part);
}

void Utf8TextWriter::EndLine() {
    if (pendingHigh_ != 0) {
        const char16_t lone = std::exchange(pendingHigh_, u'\0');
        Encode(std::u16string_view(&lone, 1));
    }
    Append("\r\n", 2);
    Flush();
}

// Encodes straight into the buffer as far as the room surely holds the
// bytes; a character that may not fit goes through a few bytes of its own,
// so the buffer is handed over whenever it is full, even inside a
// character, exactly as if the whole text were encoded first and appended.
void Utf8TextWriter::Encode(std::u16string_view text) {
    while (!text.empty()) {
        std::size_t units = std::min(text.size(), (kBufferSize - used_) / kMaxBytesPerUnit);
        // A pair stays in one piece.
        if (units > 0 && units < text.size() && IsHighSurrogate(text[units - 1])) --units;
        if (units == 0) {
            units = text.size() > 1 && IsHighSurrogate(text[0]) && IsLowSurrogate(text[1]) ? 2 : 1;
            char bytes[4];
            const char* const end = EncodeUtf8(text.substr(0, units), bytes);
            Append(bytes, static_cast<std::size_t>(end - bytes));
        } else {
            char* const end = EncodeUtf8(text.substr(0, units), buffer_.data() + used_);
            used_ = static_cast<std::size_t>(end - buffer_.data());
            if (used_ == kBufferSize) Flush();
        }
        text.remove_prefix(units);
    }
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
