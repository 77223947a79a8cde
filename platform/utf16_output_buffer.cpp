#include "platform/utf16_output_buffer.h"

#include <utility>

#include "core/text.h"

namespace kosmara {

namespace {

// Bytes held before they are written even without a line end.
constexpr std::size_t kFlushAt = 4096;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the sequence a byte starts (as FromUtf8 reads it); 1 for
// ASCII and for bytes that start none.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

}  // namespace

std::size_t CompleteUtf8Length(std::string_view text) noexcept {
    // A sequence is at most four bytes long: only the last three can belong
    // to one still missing bytes. FromUtf8 reads a byte that does not
    // continue a sequence afresh, so what stands before it converts the same
    // whatever follows.
    const std::size_t size = text.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if (IsContinuation(byte)) continue;
        return SequenceLength(byte) > back ? size - back : size;
    }
    return size;
}

Utf16OutputBuffer::Utf16OutputBuffer(Writer write) : write_(std::move(write)) {}

Utf16OutputBuffer::~Utf16OutputBuffer() { Emit(true); }

bool Utf16OutputBuffer::Emit(bool finish) {
    const std::size_t length = finish ? pending_.size() : CompleteUtf8Length(pending_);
    if (length == 0) return true;
    const std::u16string text = FromUtf8(std::string_view(pending_).substr(0, length));
    pending_.erase(0, length);
    return write_(text);
}

Utf16OutputBuffer::int_type Utf16OutputBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    pending_ += byte;
    if ((byte == '\n' || pending_.size() >= kFlushAt) && !Emit(false)) return traits_type::eof();
    return c;
}

std::streamsize Utf16OutputBuffer::xsputn(const char* bytes, std::streamsize count) {
    if (count <= 0) return 0;
    const std::string_view text(bytes, static_cast<std::size_t>(count));
    pending_.append(text);
    if ((text.find('\n') != std::string_view::npos || pending_.size() >= kFlushAt) && !Emit(false)) return 0;
    return count;
}

int Utf16OutputBuffer::sync() { return Emit(false) ? 0 : -1; }

}  // namespace kosmara
