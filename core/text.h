// Conversions of the system's text type (UTF-16 code units) at the edges:
// UTF-8 for files, the console and POSIX file names.
#pragma once

#include <string>
#include <string_view>

namespace kosmara {

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD, so the output is
// always well-formed UTF-8.
std::string ToUtf8(std::u16string_view text);
// Appends the UTF-8 form of text to out (same rules as ToUtf8).
void AppendUtf8(std::u16string_view text, std::string& out);

// UTF-8 to UTF-16. A malformed sequence becomes U+FFFD for each byte that
// cannot start or continue a valid sequence.
std::u16string FromUtf8(std::string_view text);

// Plain ASCII text (such as a number) to the system's text type.
std::u16string FromAscii(std::string_view text);

// Appends value in decimal with at least minDigits digits, filled with
// leading zeros; "-" stands before the digits of a negative number.
void AppendDecimal(std::u16string& out, long long value, int minDigits);

}  // namespace kosmara
