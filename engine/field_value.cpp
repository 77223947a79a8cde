#include "engine/field_value.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "core/text.h"
#include "engine/engine_error.h"
#include "platform/input_file.h"

namespace kosmara {
namespace {

constexpr std::int64_t kMillisecondsPerDay = 86400000;
// Day 1 is 1 January 0001; day 0 of the Delphi date scale is 30 December
// 1899, which is day 693594 here.
constexpr std::int64_t kDelphiDateOffset = 693594;
// 1 January 1970 on the same scale.
constexpr std::int64_t kUnixEpochDay = 719163;

void AppendDate(std::u16string& out, std::int64_t day) {
    const CivilDate date = DateOfDay(day);
    AppendDecimal(out, date.day, 2);
    out += u'.';
    AppendDecimal(out, date.month, 2);
    out += u'.';
    AppendDecimal(out, date.year, 4);
}

void AppendTime(std::u16string& out, std::int64_t milliseconds) {
    if (milliseconds < 0) {
        out += u'-';
        milliseconds = -milliseconds;
    }
    AppendDecimal(out, milliseconds / 3600000, 2);
    out += u':';
    AppendDecimal(out, milliseconds / 60000 % 60, 2);
    out += u':';
    AppendDecimal(out, milliseconds / 1000 % 60, 2);
    if (milliseconds % 1000 != 0) {
        out += u',';
        AppendDecimal(out, milliseconds % 1000, 3);
    }
}

std::u16string ShortestText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return FromAscii(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A number as a user or another program may have typed it into a text
// field: sign, digits with "." or "," before the decimals, exponent.
bool ParseNumber(std::u16string_view text, double& value) {
    std::string ascii;
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') ascii += static_cast<char>(text[i++]);
        return i - start;
    };
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-') ascii += '-';
        ++i;
    }
    std::size_t mantissa = digits();
    if (i < text.size() && (text[i] == u'.' || text[i] == u',')) {
        ascii += '.';
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ascii += static_cast<char>(text[i++]);
        if (digits() == 0) return false;
    }
    if (i != text.size()) return false;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    return result.ec == std::errc() && std::isfinite(value);
}

}  // namespace

// Counted from 0000-03-01, so that the leap day ends its year, in eras of
// 400 years (146097 days).
CivilDate DateOfDay(std::int64_t day) {
    const std::int64_t z = day - kUnixEpochDay + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int dayOfMonth = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, dayOfMonth};
}

std::u16string ValueAsText(const FieldValue& value, const CodePage& codePage) {
    using Kind = FieldValue::Kind;
    std::u16string text;
    switch (value.kind) {
        case Kind::kNull: break;
        case Kind::kText: text = value.text; break;
        case Kind::kInteger: AppendDecimal(text, value.integer, 1); break;
        case Kind::kReal:
        case Kind::kDecimal: text = ShortestText(value.real); break;
        case Kind::kBoolean: text = value.boolean ? u"True" : u"False"; break;
        case Kind::kDate: AppendDate(text, value.integer); break;
        case Kind::kTime: AppendTime(text, value.integer); break;
        case Kind::kTimestamp: {
            // Far outside any calendar a timestamp is shown as its number.
            if (!std::isfinite(value.real) || std::fabs(value.real) > 1e17) return ShortestText(value.real);
            const std::int64_t total = std::llround(value.real);
            std::int64_t day = total / kMillisecondsPerDay;
            std::int64_t rest = total % kMillisecondsPerDay;
            if (rest < 0) {
                rest += kMillisecondsPerDay;
                --day;
            }
            AppendDate(text, day);
            text += u' ';
            AppendTime(text, rest);
            break;
        }
        case Kind::kBytes: text = codePage.Decode(value.bytes); break;
    }
    return text;
}

std::u16string ValueAsText(FieldValue&& value, const CodePage& codePage) {
    if (value.kind == FieldValue::Kind::kText) return std::move(value.text);
    return ValueAsText(static_cast<const FieldValue&>(value), codePage);
}

double ValueAsReal(const FieldValue& value, const FieldDescription& field) {
    using Kind = FieldValue::Kind;
    switch (value.kind) {
        case Kind::kNull: return 0.0;
        case Kind::kInteger: return static_cast<double>(value.integer);
        case Kind::kReal:
        case Kind::kDecimal: return value.real;
        case Kind::kDate: return static_cast<double>(value.integer - kDelphiDateOffset);
        case Kind::kTime: return static_cast<double>(value.integer) / kMillisecondsPerDay;
        case Kind::kTimestamp: {
            const double day = std::floor(value.real / kMillisecondsPerDay);
            const double rest = value.real - day * kMillisecondsPerDay;
            return (day - kDelphiDateOffset) + rest / kMillisecondsPerDay;
        }
        case Kind::kText: {
            double number = 0.0;
            if (!ParseNumber(Trimmed(value.text), number)) {
                ThrowEngineError(EngineErrorCode::kNotANumber, {value.text, field.name});
            }
            return number;
        }
        case Kind::kBoolean:
        case Kind::kBytes: break;
    }
    ThrowEngineError(EngineErrorCode::kCannotReadAsNumber, {field.name});
}

bool ValueAsBoolean(const FieldValue& value, const FieldDescription& field) {
    using Kind = FieldValue::Kind;
    switch (value.kind) {
        case Kind::kNull: return false;
        case Kind::kBoolean: return value.boolean;
        case Kind::kInteger: return value.integer != 0;
        case Kind::kReal:
        case Kind::kDecimal: return value.real != 0.0;
        case Kind::kText: {
            const std::u16string_view word = Trimmed(value.text);
            for (const char16_t* yes : {u"true", u"t", u"yes", u"y", u"ja", u"j", u"wahr", u"w", u"1"}) {
                if (EqualIgnoringCase(word, yes)) return true;
            }
            for (const char16_t* no : {u"false", u"f", u"no", u"n", u"nein", u"falsch", u"0"}) {
                if (EqualIgnoringCase(word, no)) return false;
            }
            ThrowEngineError(EngineErrorCode::kNotABoolean, {value.text, field.name});
        }
        case Kind::kDate:
        case Kind::kTime:
        case Kind::kTimestamp:
        case Kind::kBytes: break;
    }
    ThrowEngineError(EngineErrorCode::kCannotReadAsBoolean, {field.name});
}

std::u16string FieldText(const ParadoxTable& table, int position) {
    return ValueAsText(table.Value(position), table.codePage());
}

void FieldTextInto(const ParadoxTable& table, int position, std::u16string& text) {
    if (table.TextInto(position, text)) return;
    text = ValueAsText(table.Value(position), table.codePage());
}

double FieldReal(const ParadoxTable& table, int position) {
    return ValueAsReal(table.Value(position), table.fields()[static_cast<std::size_t>(position)]);
}

bool FieldBoolean(const ParadoxTable& table, int position) {
    return ValueAsBoolean(table.Value(position), table.fields()[static_cast<std::size_t>(position)]);
}

}  // namespace kosmara
