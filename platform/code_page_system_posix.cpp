#include <iconv.h>

#include <bit>
#include <cerrno>
#include <string>

#include "platform/code_page_system.h"

namespace kosmara {

namespace {

// UTF-16 in the byte order of char16_t, without a byte order mark.
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

struct IconvPage {
    int codePage;
    const char* name;
};

// Windows code pages glibc's iconv knows under a name other than "CP<n>",
// each compared with Windows' (Wine's) conversion of every byte and every
// two-byte sequence. Where glibc follows another edition of a table, a few
// characters differ: 10000 reads 0xBD and 0xC6 as Greek letters (Windows:
// Ohm and increment signs) and 0xF0 as a private-use character; 20127 has no character for bytes from 0x80
// (Windows drops their top bit); 20932 and 20949 lack Windows' user-defined
// rows and 20932 its two-byte form of JIS X 0212; 21866 has box drawing at
// 0xAE and 0xBE; 28597 is the 2003 edition (euro sign, quotation marks);
// 28598 has the direction marks; 65000 refuses control bytes, "\" and "~"
// outside a "+...-" run, which Windows takes as they are.
constexpr IconvPage kIconvPages[] = {
    {37, "IBM037"},
    {10000, "MACINTOSH"},
    {10017, "MAC-UK"},
    {10029, "MAC-CENTRALEUROPE"},
    {20127, "ANSI_X3.4-1968"},
    {20866, "KOI8-R"},
    {20932, "EUC-JP"},
    {20949, "EUC-KR"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"},
    {65000, "UTF-7"},
    {65001, "UTF-8"},
};

// The DOS and Windows code pages glibc knows as "CP<n>"; the rest by their own names.
std::string IconvName(int codePage) {
    for (const IconvPage& page : kIconvPages)
        if (page.codePage == codePage) return page.name;
    return "CP" + std::to_string(codePage);
}

class Converter {
public:
    Converter(const std::string& to, const std::string& from) : handle_(::iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (valid()) ::iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

}  // namespace

bool SystemKnowsCodePage(int codePage) {
    return codePage > 0 && Converter(kUtf16, IconvName(codePage)).valid();
}

std::u16string SystemDecode(int codePage, std::string_view bytes) {
    const Converter converter(kUtf16, IconvName(codePage));
    if (!converter.valid()) return std::u16string(bytes.size(), u'\uFFFD');
    std::u16string text;
    // Code pages give at most one code unit per byte (a four-byte sequence
    // gives two): reserved at once, a long memo's text need not move while
    // it grows.
    text.reserve(bytes.size());
    char16_t buffer[1024];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    // The last call (in == nullptr) ends a stateful encoding's shift state.
    for (;;) {
        const bool flush = inLeft == 0;
        char* out = reinterpret_cast<char*>(buffer);
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = ::iconv(converter.get(), flush ? nullptr : &in, &inLeft, &out, &outLeft);
        const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        text.append(buffer, (sizeof buffer - outLeft) / sizeof(char16_t));
        if (error == E2BIG) continue;
        if ((error == EILSEQ || error == EINVAL) && inLeft > 0) {
            // A sequence without a character, or cut off at the end: one U+FFFD, and on with the next byte.
            text.push_back(u'\uFFFD');
            ++in;
            --inLeft;
            ::iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
        } else if (error != 0) {
            // Not expected from iconv: the rest has no text.
            text.append(inLeft, u'\uFFFD');
            if (flush) break;
            inLeft = 0;
        } else if (flush) {
            break;
        }
    }
    return text;
}

std::optional<std::string> SystemEncode(int codePage, std::u16string_view text) {
    const Converter converter(IconvName(codePage), kUtf16);
    if (!converter.valid()) return std::nullopt;
    std::string bytes;
    char buffer[1024];
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    std::size_t inLeft = text.size() * sizeof(char16_t);
    for (;;) {
        const bool flush = inLeft == 0;
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = ::iconv(converter.get(), flush ? nullptr : &in, &inLeft, &out, &outLeft);
        const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        bytes.append(buffer, sizeof buffer - outLeft);
        if (error == E2BIG) continue;
        // Any other error is a character without a byte (or a lone surrogate); a positive count means
        // iconv substituted a character, so that one has no byte either.
        if (error != 0 || result != 0) return std::nullopt;
        if (flush) break;
    }
    return bytes;
}

}  // namespace kosmara
