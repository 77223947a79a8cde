#include "export/aaf_writer.h"

#include <algorithm>
#include <string>

#include "core/text.h"
#include "export/calendar.h"
#include "export/text_writer.h"
#include "platform/file.h"
#include "platform/x87_control.h"

namespace kosmara {

namespace {

enum Field : int {
    kName = 1,
    kJulianDay = 2,
    kPlace = 3,
    kLongitude = 4,
    kLatitude = 5,
    kZoneOffset = 6,
    kZoneName = 7,
    kComment = 8,
    kSeptarText = 9,
    kSeptarFlag = 12,
};

std::u16string RemoveAll(std::u16string_view text, char16_t unwanted) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text)
        if (c != unwanted) out += c;
    return out;
}

// The shortest run of two or more "/" that, followed by ";", does not occur
// in value: one "/" more than the longest run of "/" right before a ";" in
// it. Counted in one pass, since a comment of many slashes is no reason for
// the export to take hours.
std::size_t TerminatorLength(std::u16string_view value) {
    std::size_t run = 0;
    std::size_t longest = 0;
    for (const char16_t c : value) {
        if (c == u'/') {
            ++run;
            continue;
        }
        if (c == u';') longest = std::max(longest, run);
        run = 0;
    }
    return std::max<std::size_t>(2, longest + 1);
}

// Hands the pieces of the extension line of value to put, in order:
// "#EXT_<tag>_<terminator>:", the value with the prefix again after each of
// its CR LF, then the terminator and ";".
template <typename Put>
void PutExtensionLine(std::u16string_view tag, std::u16string_view value, Put&& put) {
    static constexpr std::u16string_view kSlashes = u"////////////////////////////////";
    const std::size_t length = TerminatorLength(value);
    std::u16string longTerminator;
    if (length > kSlashes.size()) longTerminator.assign(length, u'/');
    const std::u16string_view terminator =
        length > kSlashes.size() ? std::u16string_view(longTerminator) : kSlashes.substr(0, length);
    const auto putPrefix = [&] {
        put(std::u16string_view(u"#EXT_"));
        put(tag);
        put(std::u16string_view(u"_"));
        put(terminator);
        put(std::u16string_view(u":"));
    };
    putPrefix();
    std::size_t from = 0;
    for (std::size_t at = value.find(u"\r\n"); at != std::u16string_view::npos; at = value.find(u"\r\n", from)) {
        put(value.substr(from, at + 2 - from));
        putPrefix();
        from = at + 2;
    }
    put(value.substr(from));
    put(terminator);
    put(std::u16string_view(u";"));
}

// Written in pieces: a value of many megabytes is not copied into a line.
void WriteExtensionLine(Utf8TextWriter& writer, std::u16string_view tag, std::u16string_view value) {
    PutExtensionLine(tag, value, [&writer](std::u16string_view piece) { writer.Put(piece); });
    writer.EndLine();
}

// Puts text without any of unwanted, piece by piece.
void PutWithout(Utf8TextWriter& writer, std::u16string_view text, char16_t unwanted) {
    for (std::size_t at = text.find(unwanted); at != std::u16string_view::npos; at = text.find(unwanted)) {
        writer.Put(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    writer.Put(text);
}

// The characters a field of the "#A93:" and "#ZNAM:" lines leaves out.
constexpr std::u16string_view kFieldSeparators = u",#";

// Appends text without any of unwanted.
void AppendWithout(std::u16string& out, std::u16string_view text, std::u16string_view unwanted) {
    for (std::size_t at = text.find_first_of(unwanted); at != std::u16string_view::npos;
         at = text.find_first_of(unwanted)) {
        out.append(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    out.append(text);
}

bool Contains(std::u16string_view text, std::u16string_view any) {
    return text.find_first_of(any) != std::u16string_view::npos;
}

// The storage of one record's texts, kept from record to record so that a
// record costs no allocations once the longest values have been seen.
struct RecordTexts {
    std::u16string line;
    std::u16string name;
    std::u16string place;
    std::u16string zone;
    std::u16string comment;
};

void WriteRecordBlock(Utf8TextWriter& writer, RecordCursor& table, const TimeFormatSettings& timeFormat,
                      RecordTexts& texts) {
    std::u16string& line = texts.line;
    table.FieldAsText(kName, texts.name);
    const std::u16string_view name = texts.name;
    const bool septar = table.FieldAsBoolean(kSeptarFlag);
    const double julianDay = table.FieldAsReal(kJulianDay);
    line.assign(u"#A93:");
    AppendWithout(line, name, kFieldSeparators);
    line += u",*,";
    line += septar ? u"SO," : u"*,";
    AppendJulianDayToDateText(line, julianDay);
    line += u',';
    AppendTimeOfDayText(line, julianDay, timeFormat);
    line += u',';
    table.FieldAsText(kPlace, texts.place);
    const std::u16string_view place = texts.place;
    AppendWithout(line, place, kFieldSeparators);
    line += u",*";
    writer.WriteLine(line);

    if (Contains(name, kFieldSeparators)) WriteExtensionLine(writer, u"A93_N", name);
    if (Contains(place, kFieldSeparators)) WriteExtensionLine(writer, u"A93_O", place);
    if (septar) {
        WriteExtensionLine(writer, u"A93_T", u"Septar");
        WriteExtensionLine(writer, u"A93_T2", table.FieldAsText(kSeptarText));
    }

    const double zoneOffset = table.FieldAsReal(kZoneOffset);
    line.assign(u"#B93:");
    AppendJulianDayText(line, julianDay, zoneOffset);
    line += u',';
    AppendLatitudeText(line, table.FieldAsReal(kLatitude));
    line += u',';
    AppendLongitudeText(line, table.FieldAsReal(kLongitude));
    line += u',';
    AppendZoneOffsetText(line, zoneOffset);
    line += u",*";
    writer.WriteLine(line);

    table.FieldAsText(kZoneName, texts.zone);
    // "Wahre Ortszeit" is written "WOZ", with the extension line of "WOZ".
    const bool trueLocalTime = texts.zone == u"Wahre Ortszeit";
    const std::u16string_view zone = trueLocalTime ? std::u16string_view(u"WOZ") : std::u16string_view(texts.zone);
    line.assign(u"#ZNAM:");
    AppendWithout(line, zone, kFieldSeparators);
    writer.WriteLine(line);
    if (trueLocalTime || Contains(zone, kFieldSeparators)) WriteExtensionLine(writer, u"ZNAM", zone);

    // The comment, a memo of any length, is held once: its "#COM:" line
    // (the comment without "#") and its extension line are written from it.
    table.FieldAsText(kComment, texts.comment);
    const std::u16string_view comment = texts.comment;
    if (!comment.empty()) {
        writer.Put(u"#COM:");
        PutWithout(writer, comment, u'#');
        writer.EndLine();
        if (comment.find(u'#') != std::u16string_view::npos) WriteExtensionLine(writer, u"COM", comment);
    }

    writer.WriteLine(u"");
}

}  // namespace

std::u16string CleanField(std::u16string_view text) { return RemoveAll(RemoveAll(text, u','), u'#'); }

std::u16string CleanComment(std::u16string_view text) { return RemoveAll(text, u'#'); }

std::u16string ExtensionLine(std::u16string_view tag, std::u16string_view value) {
    std::u16string line;
    PutExtensionLine(tag, value, [&line](std::u16string_view piece) { line += piece; });
    return line;
}

std::u16string CountMessage(std::int32_t count) {
    if (count == 1) return u"1 Horoskop gespeichert";
    return FromAscii(std::to_string(count)) + u" Horoskope gespeichert";
}

std::int32_t WriteAafFile(std::u16string_view outputFileName, RecordCursor& table, UserInterface& ui,
                          const TimeFormatSettings& timeFormat) {
    ReplacingOutputFile file = ReplacingOutputFile::Open(outputFileName);
    return WriteAafFile(file, table, ui, timeFormat);
}

std::int32_t WriteAafFile(ByteSink& output, RecordCursor& table, UserInterface& ui,
                          const TimeFormatSettings& timeFormat) {
    Utf8TextWriter writer(output);
    // One scope for the walk, so the texts' own scopes find the word set.
    const ExtendedPrecisionScope precision;
    table.First();
    const std::optional<std::uint32_t> total = table.RecordCountHint();
    std::int32_t count = 0;
    RecordTexts texts;
    while (!table.Eof()) {
        WriteRecordBlock(writer, table, timeFormat, texts);
        table.Next();
        ++count;
        ui.ShowProgress(static_cast<std::uint32_t>(count), total);
    }
    // Every line is in the file, and the file in place, before the message.
    output.Finish();
    ui.ShowMessage(CountMessage(count));
    return count;
}

}  // namespace kosmara
