#include "export/record_check.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "core/error.h"
#include "core/text.h"
#include "platform/file.h"

namespace kosmara {

namespace {

// Thresholds: beyond them a value is no place on Earth or no civil time.
// NaN is beyond every threshold (the tests are written as "not within").
constexpr double kLargestLatitude = 90.0;
constexpr double kLargestLongitude = 180.0;
constexpr double kLargestZoneOffset = 15.0;

bool IsZero(double value) { return value == 0.0; }
bool IsNotFinite(double value) { return !std::isfinite(value); }
bool BeyondLatitude(double value) { return !(std::fabs(value) <= kLargestLatitude); }
bool BeyondLongitude(double value) { return !(std::fabs(value) <= kLargestLongitude); }
bool BeyondZoneOffset(double value) { return !(std::fabs(value) <= kLargestZoneOffset); }

bool IsBlank(std::u16string_view text) { return text.find_first_not_of(u' ') == std::u16string_view::npos; }

// The engine gives U+FFFD for a byte a multi-byte page has no character
// for; single-byte pages map such bytes to U+0080..U+009F, as Windows does.
bool IsC1(char16_t c) { return c >= 0x80 && c <= 0x9F; }
bool HasUnassigned(std::u16string_view text) {
    for (const char16_t c : text)
        if (c == u'\uFFFD' || IsC1(c)) return true;
    return false;
}

bool IsC0OrDelete(char16_t c) { return c < 0x20 || c == 0x7F; }

bool HasControlInLine(std::u16string_view text) {
    for (const char16_t c : text)
        if (IsC0OrDelete(c)) return true;
    return false;
}

// CR LF pairs and tabs are a multi-line text's own; anything else, a lone
// CR or LF included, is not.
bool HasControlInLines(std::u16string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char16_t c = text[at];
        if (!IsC0OrDelete(c) || c == u'\t') continue;
        if (c == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n') {
            ++at;
            continue;
        }
        return true;
    }
    return false;
}

constexpr char16_t kNotRepresentable[] = u"Zeichen, das die Codepage der Tabelle nicht kennt";
constexpr char16_t kControlInLine[] = u"Steuerzeichen in einem einzeiligen Feld";
constexpr char16_t kControlInLines[] = u"Steuerzeichen (außer Zeilenumbruch CR LF und Tabulator)";

constexpr CheckRule kRules[] = {
    {kNameField, nullptr, IsBlank, u"Name leer"},
    {kNameField, nullptr, HasUnassigned, kNotRepresentable},
    {kNameField, nullptr, HasControlInLine, kControlInLine},
    {kJulianDayField, IsZero, nullptr, u"Geburtszeitpunkt leer oder 0 (ergibt den 01.01.-4712)"},
    {kJulianDayField, IsNotFinite, nullptr, u"Geburtszeitpunkt ist keine endliche Zahl"},
    {kPlaceField, nullptr, HasUnassigned, kNotRepresentable},
    {kPlaceField, nullptr, HasControlInLine, kControlInLine},
    {kLongitudeField, BeyondLongitude, nullptr, u"Länge außerhalb von ±180°"},
    {kLatitudeField, BeyondLatitude, nullptr, u"Breite außerhalb von ±90°"},
    {kZoneOffsetField, BeyondZoneOffset, nullptr, u"Zeitzone außerhalb von ±15 Stunden"},
    {kZoneNameField, nullptr, HasUnassigned, kNotRepresentable},
    {kZoneNameField, nullptr, HasControlInLine, kControlInLine},
    {kCommentField, nullptr, HasUnassigned, kNotRepresentable},
    {kCommentField, nullptr, HasControlInLines, kControlInLines},
    {kSeptarTextField, nullptr, HasUnassigned, kNotRepresentable},
    {kSeptarTextField, nullptr, HasControlInLines, kControlInLines},
};

// The shortest decimal that reads back as the same double; std::to_chars
// does not follow the locale or the C runtime.
std::u16string RealText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return FromAscii(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

// The fields in the order findings are listed; the Septar text only when
// the flag is set.
constexpr int kCheckedFields[] = {kNameField,     kJulianDayField, kPlaceField,      kLongitudeField,
                                  kLatitudeField, kZoneOffsetField, kZoneNameField,   kCommentField,
                                  kSeptarTextField};

bool ReadAsReal(int field) {
    for (const CheckRule& rule : kRules)
        if (rule.field == field) return rule.doubtfulReal != nullptr;
    return false;
}

void CheckField(RecordCursor& table, std::int64_t record, int field, std::vector<RecordFinding>& findings) {
    const bool real = ReadAsReal(field);
    double number = 0.0;
    std::u16string text;
    try {
        if (real)
            number = table.FieldAsReal(field);
        else
            text = table.FieldAsText(field);
    } catch (const Error& error) {
        findings.push_back({record, field, error.message(), kUnreadableField});
        return;
    }
    for (const CheckRule& rule : kRules) {
        if (rule.field != field) continue;
        const bool doubtful = real ? rule.doubtfulReal(number) : rule.doubtfulText(text);
        if (doubtful) findings.push_back({record, field, real ? RealText(number) : text, rule.reason});
    }
}

void AddWalkFailure(std::vector<RecordFinding>& findings, std::int64_t record, const Error& error) {
    findings.push_back({record, kTableField, error.message(), kTableNotWalkable});
}

}  // namespace

std::span<const CheckRule> CheckRules() { return kRules; }

std::u16string CheckFieldLabel(int field) {
    switch (field) {
        case kNameField: return u"Name";
        case kJulianDayField: return u"Geburtszeitpunkt";
        case kPlaceField: return u"Ort";
        case kLongitudeField: return u"Länge";
        case kLatitudeField: return u"Breite";
        case kZoneOffsetField: return u"Zeitzone";
        case kZoneNameField: return u"Zonenname";
        case kCommentField: return u"Kommentar";
        case kSeptarTextField: return u"Septar-Text";
        case kSeptarFlagField: return u"Septar";
        case kTableField: return u"Tabelle";
        default: return u"Feld " + FromAscii(std::to_string(field));
    }
}

std::vector<RecordFinding> CheckRecord(RecordCursor& table, std::int64_t record) {
    std::vector<RecordFinding> findings;
    // Read as the writer reads it; a flag it cannot read leaves the Septar text aside.
    std::optional<RecordFinding> flagFinding;
    bool septar = false;
    try {
        septar = table.FieldAsBoolean(kSeptarFlagField);
    } catch (const Error& error) {
        flagFinding = RecordFinding{record, kSeptarFlagField, error.message(), kUnreadableField};
    }
    for (const int field : kCheckedFields) {
        if (field == kSeptarTextField && !septar) continue;
        CheckField(table, record, field, findings);
    }
    if (flagFinding) findings.push_back(std::move(*flagFinding));
    return findings;
}

std::vector<RecordFinding> CheckRecords(RecordCursor& table) {
    std::vector<RecordFinding> findings;
    CheckingCursor checked(table, findings);
    try {
        checked.First();
        if (table.FieldCount() < kHoroscopeFieldCount) return findings;
        while (!checked.Eof()) checked.Next();
    } catch (const Error&) {
        // Already a finding of its own.
    }
    return findings;
}

void CheckingCursor::First() {
    record_ = 1;
    if (table_.FieldCount() < kHoroscopeFieldCount)
        findings_.push_back({0, kTableField, FromAscii(std::to_string(table_.FieldCount())), kTooFewColumns});
    try {
        table_.First();
    } catch (const Error& error) {
        AddWalkFailure(findings_, record_, error);
        throw;
    }
    Arrived();
}

void CheckingCursor::Next() {
    ++record_;
    try {
        table_.Next();
    } catch (const Error& error) {
        AddWalkFailure(findings_, record_, error);
        throw;
    }
    Arrived();
}

void CheckingCursor::Arrived() {
    if (table_.Eof()) return;
    // A table too narrow for the writer has its one finding already.
    if (table_.FieldCount() < kHoroscopeFieldCount) return;
    std::vector<RecordFinding> found = CheckRecord(table_, record_);
    findings_.insert(findings_.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
}

std::string CheckReportText(std::span<const RecordFinding> findings) {
    std::string out = "Datensatz\tFeld\tWert\tGrund\r\n";
    for (const RecordFinding& finding : findings) {
        if (finding.record > 0) out += std::to_string(finding.record);
        out += '\t';
        AppendUtf8(CheckFieldLabel(finding.field), out);
        out += '\t';
        AppendUtf8(VisibleText(finding.value, Backslashes::kDoubled), out);
        out += '\t';
        AppendUtf8(VisibleText(finding.reason, Backslashes::kDoubled), out);
        out += "\r\n";
    }
    return out;
}

void WriteCheckReport(ByteSink& output, std::span<const RecordFinding> findings) {
    const std::string text = CheckReportText(findings);
    output.Write(text.data(), text.size());
}

void WriteCheckReportFile(ByteSink& output, std::span<const RecordFinding> findings) {
    constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
    output.Write(kByteOrderMark, 3);
    WriteCheckReport(output, findings);
}

void WriteCheckReport(std::u16string_view fileName, std::span<const RecordFinding> findings) {
    ReplacingOutputFile file = ReplacingOutputFile::Open(fileName);
    WriteCheckReportFile(file, findings);
    file.Commit();
}

}  // namespace kosmara
