#include "engine/table_dump.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "core/text.h"
#include "engine/field_value.h"

// Every number is written by our own code or std::to_chars, never by printf
// or streams: the text must not depend on the locale or on the C runtime, so
// that the Linux and the Windows build dump a table byte for byte the same.

namespace kosmara {
namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

constexpr std::int64_t kMillisecondsPerDay = 86400000;
// Timestamps further away than this (about 27 million years) have no date
// the dump writes; they keep only their raw value.
constexpr double kLargestTimestampDay = 1e10;

// Appends UTF-8 text with backslash escapes, so that a value never breaks
// the line into columns or lines: \\ \t \n \r, and \xNN for the other control
// bytes (below 0x20, and 0x7F).
void AppendEscaped(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\x";
                    out += kHexUpper[byte >> 4];
                    out += kHexUpper[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
}

void AppendEscaped(std::string& out, std::u16string_view text) { AppendEscaped(out, ToUtf8(text)); }

// printf's "%0<width>lld": the sign counts towards the width.
void AppendPadded(std::string& out, std::int64_t value, int width) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    std::string_view text(digits, static_cast<std::size_t>(result.ptr - digits));
    if (value < 0) {
        out += '-';
        text.remove_prefix(1);
        --width;
    }
    for (int i = static_cast<int>(text.size()); i < width; ++i) out += '0';
    out += text;
}

// printf's "%.17g" in the "C" locale: 17 significant digits, trailing zeros
// dropped, exponent form below 1e-4 and from 1e17 on.
void AppendReal(std::string& out, double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
    out.append(buffer, result.ptr);
}

// A day number (1 = 0001-01-01, proleptic Gregorian) as YYYY-MM-DD. Years
// before 1 are astronomical (0 is 1 BC, -1 is 2 BC) and written like printf's
// "%04d" writes them: -001.
void AppendDate(std::string& out, std::int64_t day) {
    const CivilDate date = DateOfDay(day);
    AppendPadded(out, date.year, 4);
    out += '-';
    AppendPadded(out, date.month, 2);
    out += '-';
    AppendPadded(out, date.day, 2);
}

// Milliseconds as HH:MM:SS.mmm; hours are not taken modulo 24, and a negative
// value gives negative parts, as C's truncating division does.
void AppendTime(std::string& out, std::int64_t milliseconds) {
    AppendPadded(out, milliseconds / 3600000, 2);
    out += ':';
    AppendPadded(out, (milliseconds / 60000) % 60, 2);
    out += ':';
    AppendPadded(out, (milliseconds / 1000) % 60, 2);
    out += '.';
    AppendPadded(out, milliseconds % 1000, 3);
}

// The day is the floor of the milliseconds, the time of day the remainder;
// a remainder with a fraction of a millisecond adds the raw value.
void AppendTimestamp(std::string& out, double milliseconds) {
    const double day = std::floor(milliseconds / static_cast<double>(kMillisecondsPerDay));
    if (!std::isfinite(day) || std::fabs(day) > kLargestTimestampDay) {
        out += "(raw=";
        AppendReal(out, milliseconds);
        out += ')';
        return;
    }
    const double rest = milliseconds - day * static_cast<double>(kMillisecondsPerDay);
    AppendDate(out, static_cast<std::int64_t>(day));
    out += ' ';
    AppendTime(out, static_cast<std::int64_t>(rest));
    if (rest != std::floor(rest)) {
        out += "(raw=";
        AppendReal(out, milliseconds);
        out += ')';
    }
}

void AppendInteger(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void AppendBlob(std::string& out, std::string_view bytes) {
    out += "BLOB[len=";
    AppendInteger(out, static_cast<std::int64_t>(bytes.size()));
    out += " crc32=";
    const std::uint32_t crc = Crc32(bytes);
    for (int shift = 28; shift >= 0; shift -= 4) out += kHexUpper[(crc >> shift) & 0x0F];
    out += ']';
}

void AppendValue(std::string& out, const FieldValue& value, FieldType type) {
    switch (value.kind) {
        case FieldValue::Kind::kNull: out += "\\N"; break;
        case FieldValue::Kind::kText:
        case FieldValue::Kind::kDecimal: AppendEscaped(out, value.text); break;
        case FieldValue::Kind::kInteger: AppendInteger(out, value.integer); break;
        case FieldValue::Kind::kReal: AppendReal(out, value.real); break;
        case FieldValue::Kind::kBoolean: out += value.boolean ? '1' : '0'; break;
        case FieldValue::Kind::kDate: AppendDate(out, value.integer); break;
        case FieldValue::Kind::kTime: AppendTime(out, value.integer); break;
        case FieldValue::Kind::kTimestamp: AppendTimestamp(out, value.real); break;
        case FieldValue::Kind::kBytes:
            if (type == FieldType::kBytes) {
                for (char c : value.bytes) {
                    const auto byte = static_cast<unsigned char>(c);
                    out += kHexLower[byte >> 4];
                    out += kHexLower[byte & 0x0F];
                }
            } else {
                AppendBlob(out, value.bytes);
            }
            break;
    }
}

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes) crc = kCrcTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string DumpValue(const FieldValue& value, FieldType type) {
    std::string out;
    AppendValue(out, value, type);
    return out;
}

std::string DumpFieldLine(const std::vector<FieldDescription>& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldDescription& field = fields[i];
        if (i > 0) out += '\t';
        AppendEscaped(out, field.name);
        out += ':';
        out += FieldTypeLetter(field.type);
        out += ':';
        AppendInteger(out, field.type == FieldType::kBcd ? field.decimals : field.size);
    }
    return out;
}

std::string DumpRecordLine(const ParadoxTable& table) {
    const std::vector<FieldDescription>& fields = table.fields();
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += '\t';
        AppendValue(out, table.Value(static_cast<int>(i)), fields[i].type);
    }
    return out;
}

}  // namespace kosmara
