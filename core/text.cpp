#include "core/text.h"

namespace kosmara {

void AppendUtf8(std::u16string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    AppendUtf8(text, out);
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b0 < 0x80) {
            length = 1, c = b0;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2, c = b0 & 0x1F, minimum = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3, c = b0 & 0x0F, minimum = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4, c = b0 & 0x07, minimum = 0x10000;
        }
        bool ok = length > 0 && i + length <= text.size();
        for (int k = 1; ok && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            ok = (b & 0xC0) == 0x80;
            c = (c << 6) | (b & 0x3F);
        }
        if (ok && length > 1 && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::u16string FromAscii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

void AppendDecimal(std::u16string& out, long long value, int minDigits) {
    const std::string digits = std::to_string(value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                                        : static_cast<unsigned long long>(value));
    if (value < 0) out += u'-';
    for (int i = static_cast<int>(digits.size()); i < minDigits; ++i) out += u'0';
    out += FromAscii(digits);
}

}  // namespace kosmara
