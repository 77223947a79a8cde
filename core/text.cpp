#include "core/text.h"

#include <iterator>

namespace kosmara {

namespace {

// Windows-1252 for the bytes 0x80..0x9F; the rest of 0x80..0xFF is Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// What a lone surrogate becomes.
enum class LoneSurrogates { kReplace, kRawByte, kWindows1252 };

bool IsEscapedByte(char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

void Encode(std::u16string_view text, std::string& out, LoneSurrogates lone) {
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (lone == LoneSurrogates::kRawByte && IsEscapedByte(c)) {
                out += static_cast<char>(c - 0xDC00);
                continue;
            }
            if (lone == LoneSurrogates::kWindows1252 && IsEscapedByte(c)) {
                const char32_t byte = c - 0xDC00;
                c = byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
            } else {
                c = 0xFFFD;
            }
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

// Malformed input: each byte that cannot start or continue a valid
// sequence becomes U+FFFD, or its escape.
std::u16string Decode(std::string_view text, bool escapeBytes) {
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
            out += escapeBytes ? static_cast<char16_t>(0xDC00 + b0) : u'\uFFFD';
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

}  // namespace

void AppendUtf8(std::u16string_view text, std::string& out) { Encode(text, out, LoneSurrogates::kReplace); }

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    AppendUtf8(text, out);
    return out;
}

std::u16string FromUtf8(std::string_view text) { return Decode(text, false); }

std::u16string FromNativeBytes(std::string_view bytes) { return Decode(bytes, true); }

std::string ToNativeBytes(std::u16string_view text) {
    std::string out;
    Encode(text, out, LoneSurrogates::kRawByte);
    return out;
}

std::string ToReadableUtf8(std::u16string_view text) {
    std::string out;
    Encode(text, out, LoneSurrogates::kWindows1252);
    return out;
}

std::u16string VisibleText(std::u16string_view text, Backslashes backslashes) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (!control && (c != u'\\' || backslashes == Backslashes::kKept)) {
            out += c;
            continue;
        }
        out += u'\\';
        switch (c) {
            case u'\\': out += u'\\'; break;
            case u'\t': out += u't'; break;
            case u'\n': out += u'n'; break;
            case u'\r': out += u'r'; break;
            default:
                out += u'x';
                out += kHex[(c >> 4) & 0x0F];
                out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::u16string FromAscii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

void AppendHex(std::u16string& out, std::uint32_t value, int minDigits) {
    char16_t digits[8];
    char16_t* first = digits + std::size(digits);
    do {
        *--first = u"0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (auto n = digits + std::size(digits) - first; n < minDigits; ++n) out += u'0';
    out.append(first, digits + std::size(digits));
}

void AppendDecimal(std::u16string& out, long long value, int minDigits) {
    unsigned long long magnitude =
        value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char16_t digits[20];
    char16_t* first = digits + std::size(digits);
    do {
        *--first = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const auto count = static_cast<int>(digits + std::size(digits) - first);
    if (value < 0) out += u'-';
    if (count < minDigits) out.append(static_cast<std::size_t>(minDigits - count), u'0');
    out.append(first, static_cast<std::size_t>(count));
}

char16_t FoldCase(char16_t c) {
    // ASCII and Latin-1.
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
    if (c < 0x100) return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? static_cast<char16_t>(c + 0x20) : c;
    // Latin Extended-A: pairs of capital and small letter, capital first,
    // except where the runs shift by one (ĸ and ŉ have no capital).
    if (c < 0x180) {
        if (c == 0x178) return 0xFF;  // Ÿ
        // İ and ı pair with ASCII letters only in Turkish; ĸ, ŉ and ſ have no capital.
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return (c % 2 == 1) == oddCapitals ? static_cast<char16_t>(c + 1) : c;
    }
    // Greek.
    if (c >= 0x386 && c <= 0x3AB) {
        if (c >= 0x391 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
        if (c == 0x386) return 0x3AC;
        if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 0x25);
        if (c == 0x38C) return 0x3CC;
        if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 0x3F);
        return c;
    }
    if (c == 0x3C2) return 0x3C3;  // final sigma compares as sigma
    // Cyrillic.
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return c % 2 == 0 ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return c % 2 == 1 ? static_cast<char16_t>(c + 1) : c;
    return c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && EqualIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace kosmara
