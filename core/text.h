// Conversions of the system's text type (UTF-16 code units) at the edges:
// UTF-8 for files, the console and POSIX file names.
#pragma once

#include <cstdint>
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

// File names and arguments on POSIX are bytes, mostly UTF-8 but not always
// (a disk copied from an old Windows machine has names in Latin-1). A byte
// that is no part of valid UTF-8 becomes the lone surrogate U+DC00 + byte,
// and ToNativeBytes turns it back, so every name survives the round trip.
std::u16string FromNativeBytes(std::string_view bytes);
std::string ToNativeBytes(std::u16string_view text);

// Text for a person to read (messages on the console): as ToUtf8, but a byte
// kept by FromNativeBytes shows as the character it is in Windows-1252,
// since such names come from Windows disks ("Hor\xF6skop" reads "Horöskop").
std::string ToReadableUtf8(std::u16string_view text);

// Text with its control characters made visible, so that a value from
// outside (a table's field, a path from the registry) neither breaks a line
// or a column nor reaches a terminal as a control: tab "\t", LF "\n", CR
// "\r", every other control character (below U+0020, U+007F to U+009F)
// "\xNN" with two upper-case hexadecimal digits. kDoubled writes a
// backslash itself "\\", so the text reads back unambiguously (the check
// report); kKept leaves it, for Windows paths shown on the console.
enum class Backslashes { kDoubled, kKept };
std::u16string VisibleText(std::u16string_view text, Backslashes backslashes);

// Plain ASCII text (such as a number) to the system's text type.
std::u16string FromAscii(std::string_view text);

// Appends value in decimal with at least minDigits digits, filled with
// leading zeros; "-" stands before the digits of a negative number.
void AppendDecimal(std::u16string& out, long long value, int minDigits);
// The same in upper-case hexadecimal, for error codes.
void AppendHex(std::u16string& out, std::uint32_t value, int minDigits);

// Letters folded for a case-insensitive comparison of names (ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic).
char16_t FoldCase(char16_t c);
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);
bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view suffix);

}  // namespace kosmara
